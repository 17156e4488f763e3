#include "ui/main/GlyphGrid.h"

#include <algorithm>

#include <QHelpEvent>
#include <QLabel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

#include "ui/main/PictureView.h"
#include "ui/platform/ImageBridge.h"

namespace quillotide::ui {

namespace {

constexpr int kPad = 3;
const QColor kAbsentGround(205, 205, 205);
const QColor kCaptionInk(110, 110, 110);

QFont captionFont(const QFont& base) {
  QFont small = base;
  small.setPointSizeF(std::max(6.0, base.pointSizeF() * 0.75));
  return small;
}

}  // namespace

// The cells themselves, inside the grid's scroll area: only the rows in view are painted.
class GlyphCanvas : public QWidget {
public:
  explicit GlyphCanvas(GlyphGrid& grid) : QWidget(&grid), m_grid(grid) {
    setFocusPolicy(Qt::StrongFocus);
  }

  void resizeToCells() {
    const QSize cell = m_grid.cellSize();
    const int rows = (m_grid.m_count + GlyphGrid::kColumns - 1) / GlyphGrid::kColumns;
    setFixedSize(GlyphGrid::kColumns * cell.width() + 1, std::max(1, rows * cell.height() + 1));
  }

protected:
  void paintEvent(QPaintEvent* event) override {
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().color(QPalette::Window));
    const QSize size = m_grid.cellSize();
    const int firstRow = std::max(0, event->rect().top() / size.height());
    const int lastRow = event->rect().bottom() / size.height();
    const QFont caption = captionFont(font());
    for (int row = firstRow; row <= lastRow; ++row)
      for (int col = 0; col < GlyphGrid::kColumns; ++col) {
        const int index = row * GlyphGrid::kColumns + col;
        if (index >= m_grid.m_count) return;
        paintCell(painter, index, caption);
      }
  }

  void mousePressEvent(QMouseEvent* event) override {
    setFocus(Qt::MouseFocusReason);
    const int index = m_grid.indexAt(event->position().toPoint());
    if (index >= 0 && event->button() == Qt::LeftButton) m_grid.select(index);
  }

  void keyPressEvent(QKeyEvent* event) override {
    int step = 0;
    switch (event->key()) {
      case Qt::Key_Left:
        step = -1;
        break;
      case Qt::Key_Right:
        step = 1;
        break;
      case Qt::Key_Up:
        step = -GlyphGrid::kColumns;
        break;
      case Qt::Key_Down:
        step = GlyphGrid::kColumns;
        break;
      default:
        QWidget::keyPressEvent(event);
        return;
    }
    const int next = m_grid.m_selected < 0 ? 0 : m_grid.m_selected + step;
    if (next >= 0 && next < m_grid.m_count) m_grid.select(next);
  }

  bool event(QEvent* event) override {
    if (event->type() == QEvent::ToolTip) {
      auto* help = static_cast<QHelpEvent*>(event);
      const int index = m_grid.indexAt(help->pos());
      if (index >= 0)
        QToolTip::showText(help->globalPos(), m_grid.cell(index).toolTip, this,
                           m_grid.cellRect(index));
      else
        QToolTip::hideText();
      return true;
    }
    return QWidget::event(event);
  }

private:
  void paintCell(QPainter& painter, int index, const QFont& captionFont) {
    const GlyphGrid::Cell& cell = m_grid.cell(index);
    const QRect r = m_grid.cellRect(index);
    painter.fillRect(r, cell.present ? palette().color(QPalette::Base) : kAbsentGround);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(r);  // the right and bottom lines are the neighbours' left and top
    const int side = m_grid.m_side;
    const QRect area(r.left() + (r.width() - side) / 2, r.top() + kPad, side, side);
    if (cell.present && m_grid.m_ground.isValid()) painter.fillRect(area, m_grid.m_ground);
    if (!cell.picture.isNull()) {
      QImage shown = cell.picture;
      if (shown.width() > side || shown.height() > side)
        shown = shown.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
      painter.drawImage(area.left() + (side - shown.width()) / 2,
                        area.top() + (side - shown.height()) / 2, shown);
    }
    painter.setFont(captionFont);
    painter.setPen(kCaptionInk);
    painter.drawText(QRect(r.left(), area.bottom() + 1, r.width(), m_grid.m_captionHeight),
                     Qt::AlignCenter, cell.caption);
    if (index == m_grid.m_selected) {
      QPen pen(palette().color(QPalette::Highlight));
      pen.setWidth(2);
      painter.setPen(pen);
      painter.setBrush(Qt::NoBrush);
      painter.drawRect(r.adjusted(1, 1, -1, -1));
    }
  }

  GlyphGrid& m_grid;
};

GlyphGrid::GlyphGrid(QWidget* parent) : QScrollArea(parent), m_canvas(new GlyphCanvas(*this)) {
  const QFontMetrics metrics(captionFont(font()));
  m_captionHeight = metrics.height();
  // Room for the four hex digits of a code point under every picture.
  m_captionWidth = metrics.horizontalAdvance(QStringLiteral("DDDD")) + 2;
  setWidget(m_canvas);
  setWidgetResizable(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  m_canvas->resizeToCells();
}

void GlyphGrid::setCells(int count, int side, Source source) {
  m_count = std::max(0, count);
  m_side = std::max(8, side);
  m_source = std::move(source);
  m_cells.clear();
  m_selected = -1;
  m_canvas->resizeToCells();
  // The grid is as wide as its sixteen columns; only its height scrolls.
  setMinimumWidth(m_canvas->width() + verticalScrollBar()->sizeHint().width() + 2 * frameWidth());
  m_canvas->update();
}

void GlyphGrid::refresh(int index) {
  m_cells.erase(index);
  if (index >= 0 && index < m_count) m_canvas->update(cellRect(index));
}

void GlyphGrid::refreshAll() {
  m_cells.clear();
  m_canvas->update();
}

void GlyphGrid::select(int index) {
  const int old = m_selected;
  if (index < 0 || index >= m_count) {
    m_selected = -1;
    if (old >= 0) m_canvas->update(cellRect(old));
    return;
  }
  m_selected = index;
  if (old >= 0) m_canvas->update(cellRect(old));
  const QRect r = cellRect(index);
  m_canvas->update(r);
  ensureVisible(r.center().x(), r.center().y(), r.width() / 2 + 1, r.height() / 2 + 1);
  emit cellSelected(index);
}

QSize GlyphGrid::cellSize() const {
  return {std::max(m_side + 2 * kPad, m_captionWidth), m_side + 2 * kPad + m_captionHeight};
}

QRect GlyphGrid::cellRect(int index) const {
  const QSize size = cellSize();
  return {(index % kColumns) * size.width(), (index / kColumns) * size.height(), size.width(),
          size.height()};
}

QWidget* GlyphGrid::canvas() const { return m_canvas; }

int GlyphGrid::indexAt(QPoint pos) const {
  const QSize size = cellSize();
  if (pos.x() < 0 || pos.y() < 0) return -1;
  const int col = pos.x() / size.width();
  const int index = (pos.y() / size.height()) * kColumns + col;
  return col < kColumns && index < m_count ? index : -1;
}

const GlyphGrid::Cell& GlyphGrid::cell(int index) {
  auto it = m_cells.find(index);
  if (it == m_cells.end()) it = m_cells.emplace(index, m_source ? m_source(index) : Cell{}).first;
  return it->second;
}

void GlyphGrid::setGround(const QColor& ground) {
  m_ground = ground;
  m_canvas->update();
}

CharacterValidator::CharacterValidator(std::function<bool(char32_t)> holds,
                                       std::function<void(char32_t)> refused, QObject* parent)
    : QValidator(parent), m_holds(std::move(holds)), m_refused(std::move(refused)) {}

QValidator::State CharacterValidator::validate(QString& input, int&) const {
  for (const char32_t c : input.toUcs4())
    if (!m_holds(c)) {
      m_refused(c);
      return Invalid;
    }
  return Acceptable;
}

QScrollArea* pictureArea(QLabel* picture, QWidget* parent) {
  picture->setAlignment(Qt::AlignCenter);
  auto* area = new QScrollArea(parent);
  area->setWidget(picture);
  area->setWidgetResizable(true);
  return area;
}

QPixmap zoomedPicture(const Bitmap32& picture, int zoom, const QColor& ground) {
  const QImage image = toQImage(picture);
  if (image.isNull()) return {};
  QImage shown(image.width() * zoom, image.height() * zoom, QImage::Format_ARGB32);
  shown.fill(ground.isValid() ? ground : PictureView::kBackground);
  QPainter painter(&shown);
  painter.drawImage(shown.rect(), image);
  painter.end();
  return QPixmap::fromImage(shown);
}

}  // namespace quillotide::ui
