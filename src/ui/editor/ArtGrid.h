#pragma once
// The grid of the art choosers: 12 columns and 1366 rows of 44 x 44 cells with grid lines between
// them; cell (column c, row r) stands for art id r * 12 + c, and ids above 0x3FFF stay blank.
// The grid is the whole drawing (the chooser scrolls it); only the rows in view are painted, from
// cells decoded once and kept in a cache, so the 16 392 cells scroll without decoding anything
// twice. A click selects a cell; a double-click on a cell whose art slot exists is reported by
// idChosen (an empty slot does nothing).
//
// A filter (an id, a range "A-B" or a part of the tile data name) packs the ids it takes into
// the first cells, in id order; the decoded cells stay cached, so filtering decodes nothing anew.
// With the focus, the arrows, Page Up/Down, Home and End move the selection over the cells shown
// and Enter chooses the selected id as a double-click does.

#include <QCache>
#include <QImage>
#include <QWidget>

#include "app/Colour.h"
#include "world/IdQuery.h"

class QScrollArea;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class ArtGrid : public QWidget {
  Q_OBJECT
public:
  // Static art is centred and cut to the cell; land art is the tile's diamond.
  enum class Kind { Static, Land };
  static constexpr int kColumns = 12;
  static constexpr int kRows = 1366;
  static constexpr int kCellSide = 44;
  static constexpr int kPitch = kCellSide + 1;  // a cell and its grid line
  static constexpr int kLastId = 0x3FFF;

  // The art is looked up in the registry at every use, so the grid shows whatever it holds.
  ArtGrid(const Registry& registry, Kind kind, QWidget* parent = nullptr);

  Kind kind() const { return m_kind; }
  int selectedId() const { return m_selected; }
  // Selects the cell of the id, clamped to the grid (an id the filter hides is selected but not
  // shown).
  void selectId(int id);
  // Scrolls the area that shows the grid until the selected cell is in view.
  void showSelected(QScrollArea& area) const;
  // Forgets the decoded cells, so the next paint shows the art as the model now holds it.
  void refresh();

  // The rectangle of the cell at a position counted from 0 (the id's own cell while no filter is
  // set).
  static QRect cellRect(int index);
  // The position of the cell under a grid point; -1 on a grid line or beyond the grid.
  static int idAt(QPoint pos);
  // The rectangle of the cell that shows the id now; a null rectangle when the filter hides it.
  QRect shownRect(int id) const;
  // The id shown at a grid point; -1 on a grid line, on an empty cell or beyond the grid.
  int shownIdAt(QPoint pos) const;

  // Shows only the ids the filter takes (every id for an empty one). Names come from the loaded
  // tile data (no name matches without it). Keeps the selection when it is still shown, else
  // selects the first id shown.
  void setFilter(const IdFilter& filter);
  // The ids shown, in order.
  int shownCount() const;
  int shownId(int index) const;
  // The 44 x 44 picture of id's cell as drawn (from the cache); a damaged slot shows the ground.
  QImage cellImage(int id, bool selected) const;
  // How many cells were decoded since the last refresh (each at most once while cached).
  int decodedCells() const { return m_decoded; }

  // The cell drawn for a picture of the art: the background (blue when selected, white
  // otherwise) where the art has no pixel for the cell, the art's pixels elsewhere.
  static Bitmap32 drawCell(Kind kind, const Bitmap32& art, bool selected);

signals:
  // A double-click on the cell of an existing art slot, or Enter on the selected one.
  void idChosen(int id);
  // The selection moved by a key or a filter: the area around the grid should show it.
  void selectionMoved();

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  // The position of the id among the cells shown; -1 when hidden.
  int indexOf(int id) const;
  void moveSelection(int index);
  bool exists(int id) const;
  // The art's pixels of the cell over a transparent ground; decoded on first use.
  const QImage& cellArt(int id) const;

  const Registry& m_registry;
  Kind m_kind;
  int m_selected = 0;
  bool m_filtered = false;
  std::vector<int> m_shown;  // the ids shown while filtered
  mutable int m_decoded = 0;
  mutable QCache<int, QImage> m_cache;
};

}  // namespace quillotide::ui
