#pragma once
// TStaticChooseForm, "Statics": a grid of 12 columns and 1366 rows of 44 x 44 cells, cell (c, r)
// showing static art id r x 12 + c centred and cut to the cell, on white (blue for the selected
// cell). The opener sets the requested id before showing it; a double click on a cell whose static
// exists hands that id to the opener (the chosen signal) and hides the window. Ids above 0x3FFF
// stay blank.

#include <cstdint>

#include <QImage>
#include <QRect>
#include <QWidget>

class QScrollArea;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class ArtGrid;

class TStaticChooseForm : public QWidget {
  Q_OBJECT
public:
  static constexpr int kColumns = 12;
  static constexpr int kRows = 1366;
  static constexpr int kCell = 44;
  static constexpr int kPitch = kCell + 1;  // a cell and its grid line
  static constexpr int kLastId = 0x3FFF;

  explicit TStaticChooseForm(Registry& registry, QWidget* parent = nullptr);

  // The id whose cell is selected when the window is shown next.
  void setRequestedId(int id) { m_requested = id; }
  int requestedId() const { return m_requested; }
  // The selected cell's id (row x 12 + column).
  int selectedId() const;
  int selectedRow() const { return selectedId() / kColumns; }
  int selectedColumn() const { return selectedId() % kColumns; }

  // The drawn grid (what a person clicks) and a cell's rectangle on it.
  QWidget* grid() const;
  QScrollArea* scrollArea() const { return m_scroll; }
  static QRect cellRect(int id);
  // The 44 x 44 picture of id's cell: the static's middle, centred (division truncating toward
  // zero); pure black, pure white and what lies outside the art show the ground, blue when
  // selected, white otherwise. A damaged static shows the ground only.
  QImage cellImage(int id, bool selected) const;

signals:
  void chosen(int id);

protected:
  void showEvent(QShowEvent* event) override;

private:
  ArtGrid* m_grid;
  QScrollArea* m_scroll;
  int m_requested = 0;
};

}  // namespace quillotide::ui
