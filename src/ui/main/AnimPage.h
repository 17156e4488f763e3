#pragma once
// The animation pages "Anim" and "Anim2" ... "Anim5": the bodies of one animation file in a slot
// list, the first frame of the chosen body, and a player that runs the frames of any action and
// direction at a steady rate. The pop-up menu exports and imports bodies as animation folders and
// ".kx" files and deletes them. Only "Anim" knows verdata (green lines, patched pictures, the
// verdata entries), the gump picture, "Show Image" and "Fill Slots to 0x1000".

#include <cstdint>
#include <optional>
#include <vector>

#include <QWidget>

#include "models/AnimFrame.h"
#include "models/Animation.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QTimer;

namespace quillotide {
class Progress;
class Registry;
}  // namespace quillotide

namespace quillotide::ui {

class Dialogs;
class SlotListView;
class TMainForm;

class AnimPage : public QWidget {
  Q_OBJECT
public:
  // The page of one animation file; it follows the main window's load notices for that file (and,
  // on "Anim", for verdata and gumps).
  AnimPage(TMainForm& main, AnimKind kind, QWidget* parent = nullptr);

  static constexpr int kPictureSize = 360;
  static constexpr int kGumpSize = 233;
  // The player shows one frame every 100 ms, ten frames a second, whatever the frame count.
  static constexpr int kFrameInterval = 100;
  // Bodies own their gump picture at body + 50000.
  static constexpr int kGumpBase = 50000;

  AnimKind kind() const { return m_kind; }
  SlotListView* list() const { return m_list; }
  QMenu* popupMenu() const { return m_menu; }
  // The base of the page's control names: "Anim", "Anim2", ...
  QString baseName() const { return m_base; }

  // The body on show, or nullopt before the first choice.
  std::optional<int> currentBody() const { return m_body; }
  // The frames of the chosen action and direction and the one on show (-1: none).
  int frameCount() const { return static_cast<int>(m_frames.size()); }
  int frameIndex() const { return m_frameIndex; }
  bool playing() const;
  // Shows the next frame of the chosen action and direction, as each tick of the player does.
  void advanceFrame();

  // After a load of the page's file: fills the filter box and rebuilds the list.
  void fileLoaded();

protected:
  void hideEvent(QHideEvent* event) override;

private:
  void buildControls();
  void buildMenu();
  TAnimation& model() const;
  bool hasVerdata() const { return m_kind == AnimKind::Anim; }
  bool patched(int body) const;
  bool bodyFull(int body) const;

  void showBody(int body);
  void clearPicture();
  void showCentred(const Bitmap32& picture);
  void showGump(int body);
  // No line selected (a filter change, a load): no body, no frames, empty areas.
  void clearBody();
  // Fills the action box for the body and picks action 0, direction 0, without side effects.
  void fillActions(int body);
  // Decodes the frames of the chosen action and direction and shows the first of them.
  void loadSlotFrames();
  void showFrame(int index);
  void togglePlay();
  void stopPlaying();
  void refreshAfterChange();

  void saveToDirectory();
  void loadFromDirectory();
  void loadFromDirectoryToVerdata();
  void saveToFile();
  void loadFromFile();
  void loadFromFileToVerdata();
  void deleteBody();
  void fillBodies();
  void preparePopup(std::int32_t body);

  TMainForm& m_main;
  Registry& m_registry;
  Dialogs& m_dialogs;
  Progress& m_progress;
  AnimKind m_kind;
  QString m_base;

  SlotListView* m_list = nullptr;
  QLabel* m_picture = nullptr;
  QLabel* m_gump = nullptr;
  QCheckBox* m_showImage = nullptr;
  QCheckBox* m_usePalette = nullptr;
  QComboBox* m_action = nullptr;
  QComboBox* m_direction = nullptr;
  QPushButton* m_play = nullptr;
  QLabel* m_frameLabel = nullptr;
  QPushButton* m_fill = nullptr;
  QTimer* m_timer = nullptr;
  QMenu* m_menu = nullptr;
  QAction* m_saveDirectory = nullptr;
  QAction* m_saveFile = nullptr;
  QAction* m_loadDirectoryVerdata = nullptr;
  QAction* m_loadFileVerdata = nullptr;

  std::optional<int> m_body;
  std::vector<AnimFrame> m_frames;
  // The frames share one anchor (their centre point), placed so that all of them fit the area.
  int m_anchorX = 0;
  int m_anchorY = 0;
  int m_frameIndex = -1;
  bool m_filling = false;
  // The stray pixels of the chosen body's first frame were shown to the user already.
  bool m_firstFrameReported = false;
};

}  // namespace quillotide::ui
