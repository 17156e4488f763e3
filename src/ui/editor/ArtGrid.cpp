#include "ui/editor/ArtGrid.h"

#include <algorithm>
#include <cstring>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>

#include "models/Tiledata.h"
#include "registry/Registry.h"
#include "ui/editor/ToolWidgets.h"

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
  setFocusPolicy(Qt::StrongFocus);
  keepNavigationKeys(this);
}

int ArtGrid::shownCount() const {
  return m_filtered ? static_cast<int>(m_shown.size()) : kLastId + 1;
}

int ArtGrid::shownId(int index) const {
  if (index < 0 || index >= shownCount()) return -1;
  return m_filtered ? m_shown[static_cast<std::size_t>(index)] : index;
}

int ArtGrid::indexOf(int id) const {
  if (!m_filtered) return id >= 0 && id < kColumns * kRows ? id : -1;
  const auto at = std::lower_bound(m_shown.begin(), m_shown.end(), id);
  return at != m_shown.end() && *at == id ? static_cast<int>(at - m_shown.begin()) : -1;
}

QRect ArtGrid::shownRect(int id) const {
  const int index = indexOf(id);
  return index < 0 ? QRect() : cellRect(index);
}

int ArtGrid::shownIdAt(QPoint pos) const { return shownId(idAt(pos)); }

void ArtGrid::setFilter(const IdFilter& filter) {
  m_filtered = !filter.matchesAll();
  m_shown.clear();
  if (m_filtered) {
    const TTiledata* names = m_registry.tiledata.get();
    const bool haveNames = names && names->isLoaded();
    for (int id = 0; id <= kLastId; ++id) {
      if (filter.byName() && !haveNames) break;
      const std::string name = !filter.byName()         ? std::string()
                               : m_kind == Kind::Static ? names->staticName(id)
                                                        : names->landName(id);
      if (filter.matches(id, name)) m_shown.push_back(id);
    }
  }
  const int rows = m_filtered ? std::max(1, (shownCount() + kColumns - 1) / kColumns) : kRows;
  setFixedSize(kColumns * kPitch, rows * kPitch);
  if (indexOf(m_selected) < 0 && shownCount() > 0) m_selected = shownId(0);
  update();
  emit selectionMoved();
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
  const QRect old = shownRect(m_selected);
  m_selected = std::clamp(id, 0, kColumns * kRows - 1);
  update(old);
  update(shownRect(m_selected));
}

void ArtGrid::showSelected(QScrollArea& area) const {
  const QRect cell = shownRect(m_selected);
  if (!cell.isNull()) area.ensureVisible(cell.center().x(), cell.center().y(), kPitch, kPitch * 2);
}

void ArtGrid::moveSelection(int index) {
  if (shownCount() == 0) return;
  selectId(shownId(std::clamp(index, 0, shownCount() - 1)));
  emit selectionMoved();
}

void ArtGrid::keyPressEvent(QKeyEvent* event) {
  const int index = std::max(0, indexOf(m_selected));
  // A page is the rows in view, less one so that a row stays in sight.
  const int page = std::max(1, visibleRegion().boundingRect().height() / kPitch - 1) * kColumns;
  switch (event->key()) {
    case Qt::Key_Left:
      moveSelection(index - 1);
      break;
    case Qt::Key_Right:
      moveSelection(index + 1);
      break;
    case Qt::Key_Up:
      if (index >= kColumns) moveSelection(index - kColumns);
      break;
    case Qt::Key_Down:
      if (index + kColumns < shownCount()) moveSelection(index + kColumns);
      break;
    case Qt::Key_PageUp:
      moveSelection(index - page);
      break;
    case Qt::Key_PageDown:
      moveSelection(index + page);
      break;
    case Qt::Key_Home:
      moveSelection(0);
      break;
    case Qt::Key_End:
      moveSelection(shownCount() - 1);
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (indexOf(m_selected) >= 0 && exists(m_selected)) emit
        idChosen(m_selected);
      break;
    default:
      QWidget::keyPressEvent(event);
  }
}

QRect ArtGrid::cellRect(int index) {
  return {(index % kColumns) * kPitch, (index / kColumns) * kPitch, kCellSide, kCellSide};
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
      const int index = row * kColumns + column;
      const QRect cell = cellRect(index);
      const int id = shownId(index);
      if (id < 0 || id > kLastId) {
        painter.fillRect(cell, Qt::white);
        continue;
      }
      painter.fillRect(cell, QColor::fromRgba(backgroundOf(id == m_selected)));
      painter.drawImage(cell.topLeft(), cellArt(id));
    }
}

void ArtGrid::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  const int id = shownIdAt(event->position().toPoint());
  if (event->button() == Qt::LeftButton && id >= 0) selectId(id);
}

void ArtGrid::mouseDoubleClickEvent(QMouseEvent* event) {
  const int id = shownIdAt(event->position().toPoint());
  if (event->button() != Qt::LeftButton || id < 0) return;
  selectId(id);
  if (exists(id)) emit
    idChosen(id);
}

}  // namespace quillotide::ui
