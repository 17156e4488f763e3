#pragma once
// The "Animdata" page: tile ids 0 .. 0x3FFF of the animation data (black when animated), the
// frames of the selected record with the picture of one frame, the five edits that change the
// record at once, "Choose" (the static chooser) for a frame's art id, and a preview player that
// runs the animation on a timer with the record's own start delay and frame interval.

#include <cstdint>
#include <optional>

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;
class PictureView;
class SlotListView;
class TMainForm;
class TStaticChooseForm;

class AnimdataPage : public QWidget {
  Q_OBJECT
public:
  AnimdataPage(TMainForm& main, QWidget* parent = nullptr);

  static constexpr int kFrameWidth = 161;
  static constexpr int kFrameHeight = 137;
  static constexpr int kPreviewSide = 192;
  static constexpr int kTickUnit = 50;       // ms per unit of interval and delay
  static constexpr int kStartPad = 10;       // ms added to the first start delay
  static constexpr int kRepeatPause = 2000;  // ms of empty preview before a repeat

  SlotListView* list() const { return m_list; }
  QListWidget* frames() const { return m_frames; }
  PictureView* framePicture() const { return m_framePicture; }
  PictureView* preview() const { return m_preview; }
  QTimer* previewTimer() const { return m_timer; }
  TStaticChooseForm* chooser() const { return m_chooser; }
  // The preview's frame counter: the frame drawn next, -1 while a repeat is pending.
  int previewCounter() const { return m_counter; }

private:
  void selectTile(std::int32_t tile);
  void clearTile();
  void fillFrames(int count);
  void showFrame(int k);
  std::optional<int> selectedFrame() const;
  void applyPicture();
  void applyRelPicture();
  void applyCounts();
  void writeOffset(int offset);
  void choose();
  void start();
  void tick();
  void stopPreview();

  Registry& m_registry;
  Dialogs& m_dialogs;
  SlotListView* m_list;
  QListWidget* m_frames;
  PictureView* m_framePicture;
  PictureView* m_preview;
  QLineEdit* m_picture;
  QLineEdit* m_relPicture;
  QLineEdit* m_count;
  QLineEdit* m_delay;
  QLineEdit* m_interval;
  QPushButton* m_choose;
  QPushButton* m_start;
  QPushButton* m_stop;
  QCheckBox* m_repeat;
  QTimer* m_timer;
  TStaticChooseForm* m_chooser;

  std::optional<std::int32_t> m_tile;
  int m_counter = 0;
  // Raised while the page fills the edits itself, so their handlers write nothing.
  bool m_filling = false;
};

}  // namespace quillotide::ui
