#pragma once
// The grid of the art choosers: 12 columns and 1366 rows of 44 x 44 cells with grid lines between
// them; cell (column c, row r) stands for art id r * 12 + c, and ids above 0x3FFF stay blank.
// Only the rows in view are painted, from cells decoded once and kept in a cache, so the whole
// grid of 16 392 cells scrolls without decoding anything twice. A click selects a cell; a
// double-click on a cell whose art slot exists is reported by idChosen (an empty slot does
// nothing).

#include <QAbstractScrollArea>
#include <QCache>
#include <QImage>

#include "app/Colour.h"

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class ArtGrid : public QAbstractScrollArea {
  Q_OBJECT
public:
  // Static art is centred and cut to the cell; land art is the tile's diamond.
  enum class Kind { Static, Land };
  static constexpr int kColumns = 12;
  static constexpr int kRows = 1366;
  static constexpr int kCellSide = 44;
  static constexpr int kLineWidth = 1;
  static constexpr int kStride = kCellSide + kLineWidth;
  static constexpr int kLastId = 0x3FFF;

  // The art is looked up in the registry at every use, so the grid shows whatever it holds.
  ArtGrid(const Registry& registry, Kind kind, QWidget* parent = nullptr);

  Kind kind() const { return m_kind; }
  int selectedId() const { return m_selected; }
  // Selects the cell of the id (clamped to the grid) and scrolls it into view.
  void selectId(int id);
  // Forgets the decoded cells, so the next paint shows the art as the model now holds it.
  void refresh();

  // The cell's rectangle in viewport coordinates (it may lie outside the viewport).
  QRect cellRect(int id) const;
  // The id of the cell under a viewport position; -1 on a grid line or beyond the grid.
  int idAt(QPoint pos) const;
  // How many cells were decoded since the last refresh (each at most once while cached).
  int decodedCells() const { return m_decoded; }

  // The cell drawn for a picture of the art: the background (blue when selected, white
  // otherwise) where the art has no pixel for the cell, the art's pixels elsewhere.
  static Bitmap32 drawCell(Kind kind, const Bitmap32& art, bool selected);

signals:
  // A double-click on the cell of an existing art slot.
  void idChosen(int id);

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  QSize sizeHint() const override;

private:
  bool exists(int id) const;
  // The art's pixels of the cell over a transparent ground; decoded on first use.
  const QImage& cellArt(int id);
  void updateScrollBars();

  const Registry& m_registry;
  Kind m_kind;
  int m_selected = 0;
  int m_decoded = 0;
  QCache<int, QImage> m_cache;
};

}  // namespace quillotide::ui
