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

// One family of files: its group of path fields and what its "Load" and "Save" do. The page knows
// no family by name; adding a family is adding its row to the table in SettingsPage.cpp.
struct FileFamily {
  FileGroupInfo group{};  // id, title, one or two path fields, whether there is a "Save" button
  // Opens the files (paths in field order, index first) in the model; throws on failure. Answers
  // what the model has to say after a load that completed ("Radarcol not Loaded."), if anything.
  // Empty for a family this version cannot load yet: its buttons then say so.
  using Message = std::optional<std::string>;
  std::function<Message(Registry&, const QStringList& paths, const WorldSize& size)> load{};
  // Writes the model to the chosen targets, one save dialog per field, and answers what to show
  // afterwards: the model's own report, or that nothing was written (low-memory mode, where the
  // loaded files are the ones that change).
  std::function<Message(Registry&, const QStringList& targets, Progress& progress)> save{};
  // Tells the pages that show the family to rebuild (emits one of the page's signals).
  std::function<void(SettingsPage&)> refresh{};
  // Whether the model is loaded (the "--Worldeditor" start loads only what is not).
  std::function<bool(const Registry&)> isLoaded{};
  // Whether the loaded model holds its files open (low-memory mode): its Save then asks for no
  // target and writes what waits into those files. Empty: never.
  std::function<bool(const Registry&)> savesInPlace{};
  // Whether the model holds changes its files lack, for a model that keeps count itself. Empty:
  // the page writes the model into a scratch folder and compares with the files it loaded.
  std::function<bool(const Registry&)> unsaved{};
  // Whether the model is known to hold nothing its files lack (a pair that counts its writes):
  // then no comparison is made. Empty, or false: the comparison decides.
  std::function<bool(const Registry&)> pristine{};
  // The files the model opened, for a model that remembers them. Empty: the paths of the load.
  std::function<QStringList(const Registry&)> loadedFiles{};
  // Writes what waits into the files the model holds open, for a model saved only there (the
  // map, which has no Save button), and answers what to show. Empty: save goes into the loaded
  // files.
  std::function<Message(Registry&)> saveHeld{};
  // For a family that also takes a container (group.uopLabel): whether the loaded model was read
  // from one, so "Save" writes that form again.
  std::function<bool(const Registry&)> loadedAsUop{};
  // Writes the model in the form asked ("Save as MUL", "Save as UOP") to the chosen targets.
  // Empty: save, given the pair's targets or the container's one path.
  std::function<Message(Registry&, const QStringList& targets, bool asUop)> saveAs{};
  QString note{};                 // shown after each load by the button ("New Version does ...")
  bool refreshWhenEmpty = false;  // an empty path field opens nothing, yet the lists are rebuilt
  bool showsWorldSize = false;    // the group holds the "Width:" and "Height:" fields
  bool readsWorldSize = false;    // those fields are checked before the load and passed to it
  int worldeditorOrder = 0;       // place among the "--Worldeditor" loads; 0 when not needed
  bool numbered = false;          // its names carry the map number (Map0.mul, map0LegacyMUL.uop)
  bool onSettingsPage = true;     // false: the group sits on its own page (Progress)
};

class SettingsPage : public QWidget {
  Q_OBJECT
public:
  // Copies the stored paths and options into the fields; opens no file. Long saves report to
  // progress (the progress window); without one they run silently.
  SettingsPage(Registry& registry, Dialogs& dialogs, QWidget* parent = nullptr,
               Progress* progress = nullptr);

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
  // Finds the files of the folder, then loads every group whose files are all there.
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
  FileFamily::Message saveToLoadedFiles(const QString& id);

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

private:
  void doLoad(const QString& id, LoadMode mode);
  // convertTo: "Save as MUL" (false) or "Save as UOP" (true); none: "Save".
  void doSave(const QString& id, std::optional<bool> convertTo = std::nullopt);
  FileGroupBox* makeGroupBox(const FileFamily& family, QWidget* parent);
  void addSizeFields(FileGroupBox* box);
  QLayout* makeClientFolderRow();
  // The facet chosen: its map and statics from the client folder, the world size from them.
  void chooseFacet(int facet);
  void setWorldSize(int width, int height);
  // Puts a path into the field of a configuration key, through its group.
  void putPath(const std::string& key, const std::string& path);
  // Refuses a map and statics that disagree on the world size, naming both sizes.
  void checkWorldFilesAgree(const QString& id, const QStringList& paths) const;
  // Loads every group whose fields all name files that are there.
  void loadPresentGroups();
  QStringList proposedSavePaths(const FileFamily& family, const FileGroupBox& box,
                                bool asUop) const;
  Registry& m_registry;
  Dialogs& m_dialogs;
  Progress* m_progress;
  std::map<QString, FileGroupBox*> m_groups;
  std::map<QString, QStringList> m_loadedPaths;  // by group, the paths of its last load
  QLineEdit* m_width = nullptr;
  QLineEdit* m_height = nullptr;
  QCheckBox* m_win98 = nullptr;
  QCheckBox* m_lowMemory = nullptr;
  QLineEdit* m_clientFolder = nullptr;
  QComboBox* m_facet = nullptr;
  TClientFolderForm* m_clientForm = nullptr;
};

// The note shown after opening an animation pair ("Anim.mul", "Anim2.mul", ...).
QString animationNote(const QString& fileName);
// What a save as MUL of multis read from a container says about the cliloc lists it left out.
QString droppedClilocMessage(long long lists, const QString& target);
// The short message of a group whose family this version cannot load yet.
QString notAvailableMessage(const QString& family);

}  // namespace quillotide::ui
