#pragma once
// The hue table shared by the two hue choosers ("Farbwahl"): a 423 x 320 picture of 47 columns of
// 64 hues each (the hue numbers run down the columns), drawn in the ramp colour the track bar
// "tbFarbe" picks; the chosen hue's number ("Farb Index:"), name ("Farbname:") and its 32 colours
// in a strip of 416 x 17 pixels.
//
// A hue is chosen by a press on the table, by Enter in the number field, or by Enter or a
// double-click on a line of the hue list beside it ("0x%x" and name of every hue). "Filter:"
// keeps the hues whose number, range "A-B" or name part it gives, in the list and in the table;
// the arrows, Page Up/Down and Enter typed in the filter move and choose in the list. A hue the
// loaded table does not hold (a press beyond the drawn hues) is refused with a message and
// changes nothing; a typed number is refused with the range of the table, and so is a number
// that does not parse.

#include <optional>

#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QSlider;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;
class PictureView;

class HueTable : public QWidget {
  Q_OBJECT
public:
  static constexpr int kColumns = 47;
  static constexpr int kHuesPerColumn = 64;
  static constexpr int kDrawnHues = 3000;
  static constexpr int kColumnStep = 9;  // pixels per column of the table
  static constexpr int kRowStep = 5;     // pixels per hue of a column
  static constexpr int kStripStep = 13;  // pixels per colour of the strip
  static constexpr int kDefaultTrack = 28;

  // allowNone: typing -1 chooses "no hue" (the static tool's chooser).
  HueTable(const Registry& registry, Dialogs& dialogs, bool allowNone, QWidget* parent = nullptr);

  PictureView* table() const { return m_table; }
  PictureView* strip() const { return m_strip; }
  QSlider* track() const { return m_track; }
  QLineEdit* numberField() const { return m_number; }
  QLabel* nameLabel() const { return m_name; }
  QLineEdit* filterField() const { return m_filter; }
  QListWidget* hueList() const { return m_list; }

  // Draws every hue of the table the filter keeps in the track bar's colour (hues the table lacks
  // stay background) and lists them.
  void drawTable();
  // The hue number under a table position.
  static int hueAt(QPoint pos) {
    return (pos.x() / kColumnStep) * kHuesPerColumn + pos.y() / kRowStep;
  }

signals:
  // A hue entry was chosen (-1: no hue, only where allowed). Its name, number and colours are
  // already shown.
  void hueChosen(int entry);

protected:
  // The list is made afresh each time the window is shown: names may have changed.
  void showEvent(QShowEvent* event) override;

private:
  // Shows the hue and reports it; refuses a hue the table does not hold.
  void choose(int entry);
  void chooseTyped();
  void fillList();
  void applyFilter();

  const Registry& m_registry;
  Dialogs& m_dialogs;
  bool m_allowNone;
  PictureView* m_table;
  QSlider* m_track;
  QLineEdit* m_number;
  QLabel* m_name;
  PictureView* m_strip;
  QLineEdit* m_filter;
  QListWidget* m_list;
};

// The window "Farbwahl" around a hue table, with "OK" (and "Abbrechen" where asked), both of
// which only hide it; a hue chosen in the table is reported through hueChosen.
class HueWindow : public QWidget {
  Q_OBJECT
public:
  HueTable* hueTable() const { return m_table; }

signals:
  void hueChosen(int entry);

protected:
  HueWindow(const Registry& registry, Dialogs& dialogs, bool allowNone, bool withCancel,
            QWidget* parent);

  HueTable* m_table;
};

}  // namespace quillotide::ui
