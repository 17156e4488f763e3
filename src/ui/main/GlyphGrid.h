#pragma once
// The character grid of the font pages: sixteen cells to a row, each a character's picture over
// its code, characters the font lacks on a grey ground. A cell is asked of its page when it first
// comes into view, so a block of twenty thousand code points costs only what is shown. A click or
// an arrow key selects a cell; the tooltip names it.

#include <functional>
#include <unordered_map>

#include <QImage>
#include <QPixmap>
#include <QScrollArea>
#include <QString>
#include <QValidator>

class QLabel;

#include "app/Colour.h"

namespace quillotide::ui {

class GlyphCanvas;

class GlyphGrid : public QScrollArea {
  Q_OBJECT
public:
  struct Cell {
    QImage picture;  // null: nothing drawn (an empty character)
    bool present = true;
    QString caption;  // under the picture: the code in hex digits
    QString toolTip;
  };
  using Source = std::function<Cell(int index)>;
  static constexpr int kColumns = 16;

  explicit GlyphGrid(QWidget* parent = nullptr);

  // Shows `count` cells whose pictures fit a square of `side` pixels (larger ones are scaled
  // down); nothing is selected afterwards.
  void setCells(int count, int side, Source source);
  // The cell (or every cell) is asked of the source again when next drawn.
  void refresh(int index);
  void refreshAll();
  // The ground under each picture; the palette's base while none is set. The classic fonts are
  // light letters the client draws over dark gumps, so their page sets a dark one.
  void setGround(const QColor& ground);

  int count() const { return m_count; }
  // The selected cell, or -1.
  int selected() const { return m_selected; }
  // Selects the cell, scrolls it into view and emits cellSelected, even when it was selected.
  // An index outside the grid clears the selection (no signal).
  void select(int index);
  // The cell's rectangle on the canvas, the widget that takes the clicks.
  QRect cellRect(int index) const;
  QWidget* canvas() const;

signals:
  void cellSelected(int index);

private:
  friend class GlyphCanvas;
  const Cell& cell(int index);
  QSize cellSize() const;
  int indexAt(QPoint pos) const;

  GlyphCanvas* m_canvas;
  int m_count = 0;
  int m_side = 16;
  int m_captionHeight = 0;
  int m_captionWidth = 0;
  int m_selected = -1;
  QColor m_ground;
  Source m_source;
  std::unordered_map<int, Cell> m_cells;  // the cells drawn so far
};

// Refuses an edit of a text line that brings in a character the font cannot hold (`holds` says
// which it can), and tells `refused` which one.
class CharacterValidator : public QValidator {
public:
  CharacterValidator(std::function<bool(char32_t)> holds, std::function<void(char32_t)> refused,
                     QObject* parent);
  State validate(QString& input, int& pos) const override;

private:
  std::function<bool(char32_t)> m_holds;
  std::function<void(char32_t)> m_refused;
};

// A scroll area that shows the label's picture in its middle (the enlarged character, the text).
QScrollArea* pictureArea(QLabel* picture, QWidget* parent);

// The picture enlarged `zoom` times without smoothing, over `ground` (the picture views'
// background when none is given); a null pixmap for an empty picture.
QPixmap zoomedPicture(const Bitmap32& picture, int zoom, const QColor& ground = {});

}  // namespace quillotide::ui
