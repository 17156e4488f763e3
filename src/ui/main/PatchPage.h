#pragma once
// The "Patch" page: region patches between the world files of a patch directory ("Dir", kept
// under PatchDir) and height changes of a region. "Map:" lists the map numbers whose map (a MUL
// file or a container), staidx and statics files the directory holds; a container beside the MUL
// files it replaces is what the client reads, and so what the tools read and patch. "Create
// Patch" writes the region's cells and statics (and on request their texture and art slots) into
// a *.pkx file; "Apply Patch" writes a patch at X1, Y1, with "Create Backup" first writing the
// patch that undoes it; "Start Height Changing" raises or lowers the region. All three work on the files, not on the loaded models; Apply and
// Start Height Changing on files a loaded model holds let it go first and load it again
// afterwards. The world size is checked against the directory's map before any work is planned.
// The page's bar shows their progress.

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QProgressBar;

namespace quillotide {
class Registry;
struct CellRegion;
struct PatchDirectory;
}  // namespace quillotide

namespace quillotide::ui {

class Dialogs;
class TMainForm;

class PatchPage : public QWidget {
  Q_OBJECT
public:
  explicit PatchPage(TMainForm& main, QWidget* parent = nullptr);

  // Fills "Map:" from the directory in "Dir".
  void rebuildMapList();

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void chooseDirectory();
  void createPatch();
  void applyPatch();
  void changeHeights();
  // The selected map number; throws Error when none is selected.
  int mapNumber() const;
  // "Width:" and "Height:" with the integer rule (throws on text that is not a number), checked
  // as a world size and against the blocks the directory's map holds (throws Error).
  std::pair<int, int> worldSize() const;
  // The patch directory with the selected map number; throws as mapNumber().
  PatchDirectory directory() const;
  CellRegion region() const;

  TMainForm& m_main;
  Registry& m_registry;
  Dialogs& m_dialogs;
  QLineEdit* m_dir = nullptr;
  QComboBox* m_map = nullptr;
  QLineEdit* m_width = nullptr;
  QLineEdit* m_height = nullptr;
  QLineEdit* m_x1 = nullptr;
  QLineEdit* m_y1 = nullptr;
  QLineEdit* m_x2 = nullptr;
  QLineEdit* m_y2 = nullptr;
  QCheckBox* m_withMap = nullptr;
  QCheckBox* m_withStatics = nullptr;
  QCheckBox* m_withArt = nullptr;
  QCheckBox* m_withTextures = nullptr;
  QCheckBox* m_backup = nullptr;
  QLineEdit* m_amount = nullptr;
  QCheckBox* m_heightMap = nullptr;
  QCheckBox* m_heightStatics = nullptr;
  QProgressBar* m_bar = nullptr;
};

}  // namespace quillotide::ui
