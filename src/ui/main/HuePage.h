#pragma once
// The "Hues" page. On the left the edited hue table (filled by the Settings page's "Load"): its
// list, coloured by the ramp colour its track bar picks, the ramp strip of the selected hue with
// the selected range of colours, "Spread", the name field and the hue preview; on the right a
// second table loaded from another file, whose ramps "<<<" copies into the left hue.
//
// The selected range is always within colours 0 .. 31 (a drag that leaves the strip stays at its
// end), so "Spread" never writes past the ramp into the table bounds or the name.

#include <cstdint>
#include <functional>
#include <optional>

#include <QWidget>

#include "app/Colour.h"

class QLineEdit;
class QMenu;
class QPushButton;
class QSlider;

namespace quillotide {
class Registry;
class THues;
}

namespace quillotide::ui {

class Dialogs;
class PictureView;
class SlotListView;
class THueForm;
class TMainForm;

class HuePage : public QWidget {
  Q_OBJECT
public:
  // What the preview shows; the numbers are the verdata file ids of the subjects.
  enum class PreviewKind { None = 0, Art = 4, Animation = 6, Gump = 12 };
  static constexpr int kStripRow = 11;      // pixels per ramp colour on the strips
  static constexpr int kDefaultTrack = 28;  // the ramp colour that colours the list lines

  HuePage(TMainForm& main, QWidget* parent = nullptr);

  SlotListView* list() const { return m_list; }
  SlotListView* list2() const { return m_list2; }
  PictureView* strip() const { return m_strip; }
  PictureView* strip2() const { return m_strip2; }
  PictureView* preview() const { return m_preview; }
  QMenu* previewMenu() const { return m_previewMenu; }
  THueForm* hueForm() const { return m_hueForm; }

  int selFrom() const { return m_selFrom; }
  int selTo() const { return m_selTo; }
  bool dragging() const { return m_dragging; }
  PreviewKind previewKind() const { return m_previewKind; }
  std::int32_t previewId() const { return m_previewId; }

  // After the hue table was loaded: the left list filled again, no colours selected.
  void reload();
  // The ramp colour under a strip position, clamped to 0 .. 31.
  static int colourIndexAt(int y);

  // The preview's menu entries: ask for an id and show that subject hued with the selected hue.
  void showAnimation();
  void showArt();
  void showGump();

private:
  std::optional<int> selectedHue() const;
  std::optional<int> selectedHue2() const;
  // The line of entry e selected as a click selects it (the overview's choice).
  void selectHue(int e);
  void onHueSelected();
  void onHue2Selected();
  void drawStrip();
  void drawStrip2();
  void drawPreview();
  void afterColourChange();

  void onStripPressed(Qt::MouseButton button, QPoint pos);
  void onStripMoved(QPoint pos);
  void onStripReleased(Qt::MouseButton button, QPoint pos);
  void spread();
  void applyName();
  void loadSecondTable();
  void copyRamp();
  // The shared part of the three "Show" entries.
  void choosePreview(PreviewKind kind, const char* key,
                     const std::function<bool(std::int32_t)>& exists);
  Bitmap32 previewPicture() const;

  Registry& m_registry;
  Dialogs& m_dialogs;
  SlotListView* m_list;
  SlotListView* m_list2;
  QSlider* m_track;
  QSlider* m_track2;
  PictureView* m_strip;
  PictureView* m_strip2;
  QLineEdit* m_name;
  QLineEdit* m_name2;
  PictureView* m_preview;
  QMenu* m_previewMenu;
  THueForm* m_hueForm;

  int m_selFrom = -1;
  int m_selTo = -1;
  bool m_dragging = false;
  PreviewKind m_previewKind = PreviewKind::None;
  std::int32_t m_previewId = 0;
};

}  // namespace quillotide::ui
