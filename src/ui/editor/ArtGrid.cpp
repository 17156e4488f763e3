#include "ui/editor/ArtGrid.h"

#include <algorithm>
#include <cstring>

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include "app/Registry.h"

namespace quillotide::ui {

namespace {

constexpr int kSide = ArtGrid::kCellSide;
constexpr int kCellCount = ArtGrid::kColumns * ArtGrid::kRows;
constexpr int kGridWidth = ArtGrid::kColumns * ArtGrid::kStride + ArtGrid::kLineWidth;
constexpr int kGridHeight = ArtGrid::kRows * ArtGrid::kStride + ArtGrid::kLineWidth;
// Enough decoded cells for several screens of scrolling back and forth (about 16 MB).
constexpr int kCachedCells = 2048;

constexpr Pixel kOpaque = 0xFF000000u;
const QColor kLineColour(160, 160, 160);

Pixel backgroundOf(bool selected) {
  return selected ? makePixel(0, 0, 255) : makePixel(255, 255, 255);
}

// The land tile's diamond within the 44 x 44 cell.
bool inDiamond(int x, int y) {
  if (y <= 20) return x >= 21 - y && x <= y + 22;
  if (y <= 22) return true;
  return x >= y - 22 && x <= 65 - y;
}

// The art's pixels of a cell, 0 (transparent) where the cell shows its background.
Bitmap32 artLayer(ArtGrid::Kind kind, const Bitmap32& art) {
  Bitmap32 layer(kSide, kSide, 0);
  if (kind == ArtGrid::Kind::Static) {
    // Centred and cut; the division truncates towards zero, so a picture narrower than the cell
    // sits one pixel further left when the difference is odd.
    const int ox = (art.width - kSide) / 2;
    const int oy = (art.height - kSide) / 2;
    for (int y = 0; y < kSide; ++y)
      for (int x = 0; x < kSide; ++x) {
        const int sx = x + ox, sy = y + oy;
        if (sx < 0 || sy < 0 || sx >= art.width || sy >= art.height) continue;
        const Pixel rgb = art.at(sx, sy) & 0x00FFFFFFu;
        if (rgb == 0 || rgb == 0x00FFFFFFu) continue;
        layer.at(x, y) = rgb | kOpaque;
      }
  } else {
    for (int y = 0; y < std::min(kSide, art.height); ++y)
      for (int x = 0; x < std::min(kSide, art.width); ++x)
        if (inDiamond(x, y)) layer.at(x, y) = art.at(x, y) | kOpaque;
  }
  return layer;
}

QImage toImage(const Bitmap32& picture) {
  QImage image(picture.width, picture.height, QImage::Format_ARGB32);
  for (int y = 0; y < picture.height; ++y)
    std::memcpy(image.scanLine(y), &picture.pixels[static_cast<std::size_t>(y * picture.width)],
                static_cast<std::size_t>(picture.width) * sizeof(Pixel));
  return image;
}

}  // namespace

ArtGrid::ArtGrid(const Registry& registry, Kind kind, QWidget* parent)
    : QAbstractScrollArea(parent), m_registry(registry), m_kind(kind), m_cache(kCachedCells) {
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  verticalScrollBar()->setSingleStep(kStride);
  horizontalScrollBar()->setSingleStep(kStride);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  updateScrollBars();
}

QSize ArtGrid::sizeHint() const {
  return {kGridWidth + verticalScrollBar()->sizeHint().width() + 2 * frameWidth(),
          8 * kStride + 2 * frameWidth()};
}

Bitmap32 ArtGrid::drawCell(Kind kind, const Bitmap32& art, bool selected) {
  Bitmap32 cell = artLayer(kind, art);
  const Pixel ground = backgroundOf(selected);
  for (Pixel& p : cell.pixels)
    if (p == 0) p = ground;
  return cell;
}

bool ArtGrid::exists(int id) const {
  if (id < 0 || id > kLastId) return false;
  return m_kind == Kind::Static ? m_registry.art->staticExists(id) : m_registry.art->landExists(id);
}

const QImage& ArtGrid::cellArt(int id) {
  if (const QImage* cached = m_cache.object(id)) return *cached;
  Bitmap32 art;
  if (exists(id)) {
    // A damaged slot shows as an empty cell; painting must not end in an error box.
    try {
      const TArt& source = *m_registry.art;
      art = m_kind == Kind::Static ? source.staticPicture(id) : source.landPicture(id);
    } catch (const std::exception&) {
      art = {};
    }
  }
  ++m_decoded;
  auto* image = new QImage(toImage(artLayer(m_kind, art)));
  m_cache.insert(id, image);
  return *image;
}

void ArtGrid::refresh() {
  m_cache.clear();
  m_decoded = 0;
  viewport()->update();
}

void ArtGrid::selectId(int id) {
  m_selected = std::clamp(id, 0, kCellCount - 1);
  const int top = (m_selected / kColumns) * kStride;
  QScrollBar* bar = verticalScrollBar();
  if (top < bar->value())
    bar->setValue(top);
  else if (top + kStride > bar->value() + viewport()->height())
    bar->setValue(top + kStride + kLineWidth - viewport()->height());
  viewport()->update();
}

QRect ArtGrid::cellRect(int id) const {
  const int left = (id % kColumns) * kStride - horizontalScrollBar()->value();
  const int top = (id / kColumns) * kStride - verticalScrollBar()->value();
  return {left, top, kSide, kSide};
}

int ArtGrid::idAt(QPoint pos) const {
  const int gx = pos.x() + horizontalScrollBar()->value();
  const int gy = pos.y() + verticalScrollBar()->value();
  if (gx < 0 || gy < 0 || gx >= kGridWidth - kLineWidth || gy >= kGridHeight - kLineWidth)
    return -1;
  if (gx % kStride >= kSide || gy % kStride >= kSide) return -1;
  return (gy / kStride) * kColumns + gx / kStride;
}

void ArtGrid::updateScrollBars() {
  const QSize view = viewport()->size();
  verticalScrollBar()->setPageStep(view.height());
  verticalScrollBar()->setRange(0, std::max(0, kGridHeight - view.height()));
  horizontalScrollBar()->setPageStep(view.width());
  horizontalScrollBar()->setRange(0, std::max(0, kGridWidth - view.width()));
}

void ArtGrid::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  updateScrollBars();
}

void ArtGrid::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  painter.fillRect(event->rect(), kLineColour);
  const int scrollX = horizontalScrollBar()->value();
  const int scrollY = verticalScrollBar()->value();
  const QRect dirty = event->rect();
  const int firstRow = std::max(0, (dirty.top() + scrollY) / kStride);
  const int lastRow = std::min(kRows - 1, (dirty.bottom() + scrollY) / kStride);
  const int firstColumn = std::max(0, (dirty.left() + scrollX) / kStride);
  const int lastColumn = std::min(kColumns - 1, (dirty.right() + scrollX) / kStride);
  for (int row = firstRow; row <= lastRow; ++row)
    for (int column = firstColumn; column <= lastColumn; ++column) {
      const int id = row * kColumns + column;
      const QRect cell = cellRect(id);
      if (id > kLastId) {
        painter.fillRect(cell, Qt::white);
        continue;
      }
      painter.fillRect(cell, QColor::fromRgba(backgroundOf(id == m_selected)));
      painter.drawImage(cell.topLeft(), cellArt(id));
    }
}

void ArtGrid::mousePressEvent(QMouseEvent* event) {
  const int id = idAt(event->position().toPoint());
  if (event->button() != Qt::LeftButton || id < 0) return;
  m_selected = id;
  viewport()->update();
}

void ArtGrid::mouseDoubleClickEvent(QMouseEvent* event) {
  const int id = idAt(event->position().toPoint());
  if (event->button() != Qt::LeftButton || id < 0) return;
  m_selected = id;
  viewport()->update();
  if (exists(id)) emit
    idChosen(id);
}

}  // namespace quillotide::ui
