#include "ui/editor/ArtGrid.h"

#include <algorithm>
#include <cstring>

#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>

#include "registry/Registry.h"

namespace quillotide::ui {

namespace {

constexpr int kSide = ArtGrid::kCellSide;
// Enough decoded cells for several screens of scrolling back and forth (about 16 MB).
constexpr int kCachedCells = 2048;

constexpr Pixel kOpaque = 0xFF000000u;
const QColor kLineColour(128, 128, 128);

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
    : QWidget(parent), m_registry(registry), m_kind(kind), m_cache(kCachedCells) {
  setFixedSize(kColumns * kPitch, kRows * kPitch);
  setAttribute(Qt::WA_OpaquePaintEvent);
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
  const TArt& art = *m_registry.art;
  return m_kind == Kind::Static ? art.staticExists(id) : art.landExists(id);
}

const QImage& ArtGrid::cellArt(int id) const {
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

QImage ArtGrid::cellImage(int id, bool selected) const {
  QImage cell(kCellSide, kCellSide, QImage::Format_ARGB32);
  cell.fill(id > kLastId ? backgroundOf(false) : backgroundOf(selected));
  if (id < 0 || id > kLastId) return cell;
  QPainter painter(&cell);
  painter.drawImage(0, 0, cellArt(id));
  return cell;
}

void ArtGrid::refresh() {
  m_cache.clear();
  m_decoded = 0;
  update();
}

void ArtGrid::selectId(int id) {
  const int old = m_selected;
  m_selected = std::clamp(id, 0, kColumns * kRows - 1);
  update(cellRect(old));
  update(cellRect(m_selected));
}

void ArtGrid::showSelected(QScrollArea& area) const {
  const QRect cell = cellRect(m_selected);
  area.ensureVisible(cell.center().x(), cell.center().y(), kPitch, kPitch * 2);
}

QRect ArtGrid::cellRect(int id) {
  return {(id % kColumns) * kPitch, (id / kColumns) * kPitch, kCellSide, kCellSide};
}

int ArtGrid::idAt(QPoint pos) {
  if (pos.x() < 0 || pos.y() < 0) return -1;
  const int column = pos.x() / kPitch, row = pos.y() / kPitch;
  if (column >= kColumns || row >= kRows) return -1;
  if (pos.x() % kPitch >= kCellSide || pos.y() % kPitch >= kCellSide) return -1;
  return row * kColumns + column;
}

void ArtGrid::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QRect area = event->rect();
  painter.fillRect(area, kLineColour);
  const int firstRow = std::max(0, area.top() / kPitch);
  const int lastRow = std::min(kRows - 1, area.bottom() / kPitch);
  const int firstColumn = std::max(0, area.left() / kPitch);
  const int lastColumn = std::min(kColumns - 1, area.right() / kPitch);
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
  if (event->button() == Qt::LeftButton && id >= 0) selectId(id);
}

void ArtGrid::mouseDoubleClickEvent(QMouseEvent* event) {
  const int id = idAt(event->position().toPoint());
  if (event->button() != Qt::LeftButton || id < 0) return;
  selectId(id);
  if (exists(id)) emit
    idChosen(id);
}

}  // namespace quillotide::ui
