#pragma once
// One file group of the Settings page (and of the Progress page's "Files"): a path field with a
// browse button "..." per file, a "Load" button and, where the group has one, a "Save" button.
//
// Object names follow the stored keys and the group's id, so tests and pages find them:
//   group box          gb<Id>            (gbArt)
//   path field         e<Key>            (eArtIdx, eArtMul)
//   browse button      btnBrowse<Key>    (btnBrowseArtIdx)
//   load / save        btnLoad<Id> / btnSave<Id>   (btnLoadArt, btnSaveArt)
//   a group that also takes a UOP container:
//   its form           lForm<Id>         ("MUL" or "UOP")
//   conversions        btnSaveAsMul<Id> / btnSaveAsUop<Id>

#include <functional>
#include <optional>
#include <vector>

#include <QGroupBox>
#include <QStringList>

class QLabel;
class QLineEdit;
class QPushButton;
class QGridLayout;

namespace quillotide {
class TConfig;
}

namespace quillotide::ui {

class Dialogs;

struct PathField {
  QString label;  // the file name shown beside the field ("Artidx.mul")
  QString key;    // the configuration key that stores the path ("ArtIdx")
  QString name;   // the name the browse filter shows ("Artidx.mul", or "Staidx*.mul")
};

struct FileGroupInfo {
  QString id;
  QString title;
  std::vector<PathField> fields;
  bool hasSave = true;
  // The container that holds the same files in a current client ("artLegacyMUL.uop"), and the
  // name its filter shows ("map*LegacyMUL.uop"); empty when the family has none.
  QString uopLabel{};
  QString uopName{};
  bool takesUop() const { return !uopLabel.isEmpty(); }
};

// Whether a path names a UOP container (".uop" in any case).
bool isUopFile(const QString& path);

class FileGroupBox : public QGroupBox {
  Q_OBJECT
public:
  FileGroupBox(const FileGroupInfo& info, TConfig& config, Dialogs& dialogs,
               QWidget* parent = nullptr);

  const FileGroupInfo& info() const { return m_info; }
  // The fields' texts in field order (index path first); the one container path alone when the
  // group holds a UOP.
  QStringList paths() const;
  bool anyPathEmpty() const;
  // The labels of the fields left empty, in field order ("Artidx.mul").
  QStringList emptyFieldLabels() const;
  // Whether the group holds a UOP container: its first field names one.
  bool holdsUop() const;
  // Puts a path into field i and stores it under the field's key. A container goes into every
  // field of the group (it holds what they would); a pair put in place of a container frees the
  // other fields again.
  void setPath(int i, const QString& path);
  // Shows the form the fields hold (after their texts were set from outside).
  void showForm();
  // Shows what is open from where ("Open: art.mul, artidx.mul in /games/uo"; "Not open"), the
  // full paths as the tooltip.
  void showOpen(const QStringList& files);
  QLineEdit* field(int i) const { return m_fields[static_cast<std::size_t>(i)]; }
  // The layout below the fields, for extra controls of a group ("Width:", "Height:").
  QGridLayout* grid() const { return m_grid; }
  int nextRow() const { return static_cast<int>(m_info.fields.size()) + (m_form ? 1 : 0); }

  // Asks one save dialog per file, in field order, each proposing the path at the same position
  // of `proposed` (the files the model loaded). nullopt when any of them is cancelled: then
  // nothing may be written.
  // asUop: one dialog for the container instead, with its name.
  std::optional<QStringList> askSavePaths(const QStringList& proposed, bool asUop = false);

  // Shows the file-open dialog of field i; a chosen existing file is stored under the field's key
  // and put into the field. A file that does not exist changes nothing.
  void browse(int i);
  // A path typed into field i (Enter, or the field left) is stored as a browsed one is: an
  // existing file or an emptied field is stored; a file that does not exist is reported once and
  // not stored, and the field keeps the typed text.
  void storeTyped(int i);

signals:
  void loadClicked();
  void saveClicked();
  void saveAsClicked(bool asUop);

private:
  FileGroupInfo m_info;
  TConfig& m_config;
  Dialogs& m_dialogs;
  std::vector<QLineEdit*> m_fields;
  QGridLayout* m_grid;
  QLabel* m_form = nullptr;
  QLabel* m_open = nullptr;
  static constexpr int kOpenRow = 9;
  QString m_reportedTyped;  // the typed path last reported as missing, so it is said once
};

// The browse and save filter that shows only the given name: "name|name".
QString nameFilter(const QString& name);
// The filter of a field of a group that also takes a container: its name, then the container's.
QString pairOrUopFilter(const PathField& field, const FileGroupInfo& group);

}  // namespace quillotide::ui
