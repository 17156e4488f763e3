#pragma once
// The Settings page: where the user names every game file, loads it into its model and saves it
// back. After a load the page tells the pages that show the family (through its signals, which
// the main window passes on) so they rebuild their lists.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <QWidget>

#include "registry/OpenFiles.h"
#include "ui/main/FileGroup.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace quillotide {
class Progress;
class Registry;
}  // namespace quillotide

namespace quillotide::ui {

class Dialogs;
class TClientFolderForm;

struct WorldSize {
  int width = 0;
  int height = 0;
};

class SettingsPage;

// One family of files as the page shows it: its group of path fields and which pages rebuild
// after a load. What opening, saving and comparing it means is the open-files owner's
// (OpenFiles::family, by the same id); adding a family is adding its row there and here.
struct FileFamily {
  FileGroupInfo group{};  // id, title, one or two path fields, whether there is a "Save" button
  // Tells the pages that show the family to rebuild (emits one of the page's signals).
  std::function<void(SettingsPage&)> refresh{};
  QString note{};                 // shown after each load by the button ("New Version does ...")
  bool refreshWhenEmpty = false;  // an empty path field opens nothing, yet the lists are rebuilt
  bool showsWorldSize = false;    // the group holds the "Width:" and "Height:" fields
  bool readsWorldSize = false;    // those fields are checked before the load and passed to it
  int worldeditorOrder = 0;       // place among the "--Worldeditor" loads; 0 when not needed
  bool numbered = false;          // its names carry the map number (Map0.mul, map0LegacyMUL.uop)
  bool onSettingsPage = true;     // false: the group sits on its own page (Progress)
  // The owner's side of the family.
  const FamilyOps& ops() const { return *OpenFiles::family(group.id.toStdString()); }
};

class SettingsPage : public QWidget {
  Q_OBJECT
public:
  // Copies the stored paths and options into the fields; opens no file. Long saves report to
  // progress (the progress window); without one they run silently.
  SettingsPage(Registry& registry, Dialogs& dialogs, QWidget* parent = nullptr,
               Progress* progress = nullptr);
  ~SettingsPage() override;

  enum class LoadMode {
    Interactive,  // as the button: notes after the load are shown
    Quiet,        // for automatic loads of a whole set: no notes, no word on an empty field
  };
  // Runs the Load of group `id` (gb<id>) as if its button was pressed. Failures are shown in a
  // message box; returns true when the load ran to its end.
  bool load(const QString& id, LoadMode mode = LoadMode::Interactive);
  // Runs the Save of group `id`: one save dialog per file, each proposing the file the model
  // loaded, then the model's save. A model that holds its files open asks nothing and writes
  // into them.
  bool save(const QString& id);
  // Runs "Save as MUL" (asUop false) or "Save as UOP" of group `id`: the save dialogs of that
  // form, proposing the loaded files or the names of the other form beside them, then the save.
  bool saveAs(const QString& id, bool asUop);

  // "Find files": reads the client folder once, puts every file found into its group's fields
  // and the configuration (with the folder itself and the world size of the chosen facet), and
  // shows what was found. A folder that cannot be read or holds no client file is said in one
  // message, and nothing is stored. Returns true when the folder was read.
  bool findFiles(const QString& folder);
  // "Find files" and --client: finds the files of the folder, then opens as one step every
  // group whose files are all there and closes every group still open from the folder used
  // before that this one lacks (unsaved edits asked about first).
  void useClientFolder(const QString& folder);
  // The facet (0 to 5) chosen in the world group.
  int facet() const;
  TClientFolderForm* clientFolderForm() const { return m_clientForm; }
  // The files the loaded model of group `id` was read from (index first); empty when it is not
  // loaded.
  QStringList loadedPaths(const QString& id) const;
  // Whether the loaded model of group `id` holds changes that its files lack. Throws when the
  // comparison cannot be written or read.
  bool hasUnsavedChanges(const QString& id) const;
  // The groups with unsaved changes, in the order the user sees them; a group whose files
  // cannot be compared is among them.
  QStringList unsavedGroups() const;
  // Of the groups `ids`, those with unsaved changes, by the same rule.
  QStringList unsavedOf(const QStringList& ids) const;
  // Saves group `id` into the files its model loaded, without asking, and answers what the
  // model reports ("1 MapBlocks patched."), if anything; throws on failure.
  FamilyOps::Message saveToLoadedFiles(const QString& id);

  // The automatic loads of the "--Worldeditor" start: every group the world editor needs whose
  // model exists and is not loaded yet.
  void loadForWorldeditor();
  // Stores every file of the sample set in dir under its key and field, and the sample's world
  // size and start cell, then loads each group whose files are all there.
  void useSampleSet(const QString& dir);

  // "Width:" and "Height:" parsed; shows the size message and answers nullopt when either does
  // not parse or is below one block of 8 cells.
  std::optional<WorldSize> worldSize();

  FileGroupBox* group(const QString& id) const;
  // The group box of a family that sits on another page, wired to this page's Load and Save.
  FileGroupBox* createGroupBox(const QString& id, QWidget* parent);
  // Every family in the order the user sees them; nullptr for an unknown id.
  static const std::vector<FileFamily>& families();
  static const FileFamily* family(const QString& id);
  // The path field of a configuration key, or nullptr.
  QLineEdit* pathField(const QString& key) const;
  bool win98() const;

  static inline const QString kSizeMessage =
      QStringLiteral("Width or Height incorrect or missing (before ML: 6144x4096).");

signals:
  // file 1 is anim.mul, 2 to 5 are anim2.mul to anim5.mul.
  void animationLoaded(int file);
  void verdataLoaded();
  void gumpsLoaded();
  void artLoaded();
  void texturesLoaded();
  void radarcolLoaded();
  void lightLoaded();
  void tiledataLoaded();
  void animdataLoaded();
  void huesLoaded();
  void soundLoaded();
  void multisLoaded();
  void staticsLoaded();
  void mapLoaded();
  void progressLoaded();
  void win98Changed(bool checked);
  void aboutRequested();
  // "Open in Editor" of the shared world row: the URL (without a password) and the facet chosen.
  void sharedWorldRequested(const QString& url, int facet);

private:
  void doLoad(const QString& id, LoadMode mode);
  // convertTo: "Save as MUL" (false) or "Save as UOP" (true); none: "Save".
  void doSave(const QString& id, std::optional<bool> convertTo = std::nullopt);
  FileGroupBox* makeGroupBox(const FileFamily& family, QWidget* parent);
  // Shows on the group what is open from where (after every open, save as and close).
  void showOpenForm(const QString& id);
  void addSizeFields(FileGroupBox* box);
  QLayout* makeClientFolderRow();
  QLayout* makeSharedWorldRow();
  // The facet chosen: its map and statics from the client folder, the world size from them.
  void chooseFacet(int facet);
  void setWorldSize(int width, int height);
  // Puts a path into the field of a configuration key, through its group.
  void putPath(const std::string& key, const std::string& path);
  // Refuses a map and statics that disagree on the world size, naming both sizes.
  void checkWorldFilesAgree(const QString& id, const QStringList& paths) const;
  // Loads every group whose fields all name files that are there.
  void loadPresentGroups();
  // Of the groups, those whose fields all name files that are there, to open; those without
  // and open from the folder `leaving`, to close. Empty when the world size does not parse.
  std::vector<OpenFiles::PlanStep> planOfFields(const QStringList& ids, const std::string& leaving);
  // Opens and closes as planned, as one step; says which could not be opened.
  void applyPlan(const std::vector<OpenFiles::PlanStep>& plan);
  QStringList proposedSavePaths(const FileFamily& family, const FileGroupBox& box,
                                bool asUop) const;
  Registry& m_registry;
  Dialogs& m_dialogs;
  Progress* m_progress;
  std::map<QString, FileGroupBox*> m_groups;
  QLineEdit* m_width = nullptr;
  QLineEdit* m_height = nullptr;
  QCheckBox* m_win98 = nullptr;
  QCheckBox* m_lowMemory = nullptr;
  QLineEdit* m_clientFolder = nullptr;
  QComboBox* m_facet = nullptr;
  TClientFolderForm* m_clientForm = nullptr;
  std::string m_previousFolder;  // the client folder used before the last "Find files"
  int m_ownerToken = 0;          // the subscription to the open-files owner's events
};

// The note shown after opening an animation pair ("Anim.mul", "Anim2.mul", ...).
QString animationNote(const QString& fileName);
// What a save as MUL of multis read from a container says about the cliloc lists it left out.
QString droppedClilocMessage(long long lists, const QString& target);
// The short message of a group whose family this version cannot load yet.
QString notAvailableMessage(const QString& family);

}  // namespace quillotide::ui
