#include "world/EditorScene.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "app/Error.h"
#include "models/Animdata.h"
#include "models/Art.h"
#include "models/Hues.h"
#include "world/Map.h"
#include "models/PatchedSlots.h"
#include "world/Statics.h"
#include "models/Textures.h"
#include "models/Tiledata.h"
#include "world/WorldFile.h"

namespace quillotide {

namespace {

constexpr int kCell = 44;
constexpr int kHalfCell = 22;
constexpr int kAltitudeStep = 4;
// Land tile 2 is the game's "nothing drawn here" tile: it shows only in the flat view.
constexpr std::uint16_t kNoDrawLand = 2;
constexpr std::uint16_t kHueOneReplacement = 0x455;
constexpr std::int32_t kStaticKeyBase = 0xF000;
constexpr std::int32_t kTextureKeyBase = 0x8000;
constexpr std::uint64_t kFloorFlags = TileFlags::Background | TileFlags::Surface;
// Items name cells with 16-bit coordinates: a view centre beyond them shows nothing anyway.
constexpr int kCoordinateRange = 0x10000;

int objectWeight(const TItem& item, const TTiledata* tiledata) {
  if (isLandKind(item.kind)) return 0;
  const bool floor = tiledata && tiledata->isLoaded() &&
                     (tiledata->staticFlags(item.tileId) & kFloorFlags) == kFloorFlags;
  return floor ? 1 : 2;
}

int staticHeightOf(const TItem& item, const TTiledata* tiledata) {
  return tiledata && tiledata->isLoaded() ? tiledata->staticHeight(item.tileId) : 0;
}

// A verdata patch's picture drawn into `target` at (0, 0) as the art file's slot would be: hued
// pixels through the hue's ramp, the background (transparent or white) left white.
void drawPatchHued(const Bitmap32& patch, HueChoice hue, bool landOnly, const THues* hues,
                   Bitmap32& target) {
  std::optional<int> entry = hue.tableEntry();
  if (landOnly && !hue.isSelection()) entry.reset();
  if (!hues || !hues->isLoaded()) entry.reset();
  for (int y = 0; y < std::min(patch.height, target.height); ++y)
    for (int x = 0; x < std::min(patch.width, target.width); ++x) {
      Pixel p = patch.at(x, y);
      // Patches leave their background transparent (0); the art file's is white.
      if (alphaOf(p) == 0 || (p & 0xFFFFFFu) == 0xFFFFFFu) continue;
      const bool grey = redOf(p) == greenOf(p) && greenOf(p) == blueOf(p);
      if (entry && (!hue.greyOnly() || grey)) p = hues->huedPixel(*entry, p);
      target.at(x, y) = p;
    }
}

// Pure white is the background every picture is drawn on, and it becomes transparent.
void keyWhite(Bitmap32& picture) {
  for (Pixel& p : picture.pixels) p = (p & 0xFFFFFFu) == 0xFFFFFFu ? 0u : (p | 0xFF000000u);
}

}  // namespace

bool isLandKind(ItemKind kind) { return kind == ItemKind::Land || kind == ItemKind::LandTexture; }

bool isObjectKind(ItemKind kind) {
  return kind == ItemKind::Static || kind == ItemKind::DiffStatic ||
         kind == ItemKind::WorldWritten || kind == ItemKind::WorldUnwritten;
}

int drawOrder(const TItem& a, const TItem& b, const TTiledata* tiledata) {
  const int sumA = a.x + a.y;
  const int sumB = b.x + b.y;
  if (sumA != sumB) return sumA < sumB ? -1 : 1;
  const int zA = a.z + objectWeight(a, tiledata);
  const int zB = b.z + objectWeight(b, tiledata);
  if (zA != zB) return zA < zB ? -1 : 1;
  const bool landA = isLandKind(a.kind);
  const bool landB = isLandKind(b.kind);
  if (landA != landB) return landA ? -1 : 1;
  if (landA) return 0;
  const int hA = staticHeightOf(a, tiledata);
  const int hB = staticHeightOf(b, tiledata);
  if (hA != hB) return hA < hB ? -1 : 1;
  if ((a.hue == 0) != (b.hue == 0)) return a.hue == 0 ? -1 : 1;
  return 0;
}

int viewRadius(int w, int h) {
  const double diagonal = std::sqrt(static_cast<double>(w) * w + static_cast<double>(h) * h);
  return static_cast<int>(diagonal / 2) / 25;
}

int worldExtent(int clientSide, double zoom) {
  return static_cast<int>(std::nearbyint(clientSide * zoom));
}

ScreenAnchor screenAnchor(const TItem& item, int cx, int cy, int w, int h, int pictureHeight,
                          bool flat2D) {
  const int sx = (item.x - item.y - cx + cy) * kHalfCell + w / 2;
  const int sy = (item.x + item.y - cx - cy) * kHalfCell + h / 2;
  if (isObjectKind(item.kind))
    return {sx - item.width / 2, sy - kAltitudeStep * item.z - pictureHeight + kCell};
  if (flat2D) return {sx - kHalfCell, sy};
  if (item.kind == ItemKind::Land) return {sx - kHalfCell, sy - kAltitudeStep * item.z};
  return {sx, sy};
}

std::int32_t textureKey(const TItem& item, bool flat2D, std::uint32_t artId) {
  if (isObjectKind(item.kind)) return static_cast<std::int32_t>(artId) + kStaticKeyBase;
  if (item.kind == ItemKind::LandTexture && !flat2D) return item.tileId + kTextureKeyBase;
  return item.tileId;
}

std::int32_t drawHue(const TItem& item) {
  if (item.selected & kHoverLook) return -1;
  return item.hue == 1 ? kHueOneReplacement : item.hue;
}

EditorScene::EditorScene(SceneSources sources) : m_sources(std::move(sources)) {}

void EditorScene::setSources(SceneSources sources) {
  m_sources = std::move(sources);
  m_frameSizes.clear();
  clampCentre();
  m_rebuild = true;
  m_keepValid = false;
}

std::optional<std::pair<int, int>> EditorScene::loadedWorldSize() const {
  if (m_sources.map && m_sources.map->isLoaded())
    return std::pair{m_sources.map->width(), m_sources.map->height()};
  if (m_sources.statics && m_sources.statics->isLoaded())
    return std::pair{m_sources.statics->width(), m_sources.statics->height()};
  return std::nullopt;
}

void EditorScene::clampCentre() {
  const auto size = loadedWorldSize().value_or(std::pair{kCoordinateRange, kCoordinateRange});
  m_cx = std::clamp(m_cx, 0, std::max(0, size.first - 1));
  m_cy = std::clamp(m_cy, 0, std::max(0, size.second - 1));
}

void EditorScene::setClientSize(int width, int height) {
  m_clientWidth = std::max(1, width);
  m_clientHeight = std::max(1, height);
  m_rebuild = true;
}

void EditorScene::setViewCentre(int x, int y) {
  m_cx = x;
  m_cy = y;
  clampCentre();
  m_rebuild = true;
}

void EditorScene::setZoom(double zoom) {
  m_zoom = zoom;
  m_rebuild = true;
}

double EditorScene::steppedZoom(double zoom, int steps) {
  return std::clamp(zoom * std::pow(kZoomFactor, steps), kMinZoom, kMaxZoom);
}

CellPos EditorScene::cellsForShift(double dx, double dy) {
  // A cell to the east moves the picture 22 right and 22 down; one to the south 22 left and 22
  // down.
  return {static_cast<int>(std::lround((dx + dy) / kCell)),
          static_cast<int>(std::lround((dy - dx) / kCell))};
}

void EditorScene::zoomAbout(double zoom, int mx, int my) {
  const double ox = mx + 0.5 - m_clientWidth / 2.0;
  const double oy = my + 0.5 - m_clientHeight / 2.0;
  const CellPos shift = cellsForShift(ox * (m_zoom - zoom), oy * (m_zoom - zoom));
  const CellPos pointed = cellAt(mx, my);
  const int cx = m_cx, cy = m_cy;
  setZoom(zoom);
  // The centre moves by whole cells: of the nearest centres, the first that keeps the pointed
  // cell under the mouse.
  for (const auto& [dx, dy] : {std::pair{0, 0}, {1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1},
                               {-1, -1}, {1, -1}, {-1, 1}}) {
    setViewCentre(cx + shift.x + dx, cy + shift.y + dy);
    if (cellAt(mx, my) == pointed) return;
  }
  setViewCentre(cx + shift.x, cy + shift.y);
}

CellPos EditorScene::cellAt(int mx, int my) const {
  // The middle of cell (X, Y) at altitude 0 lies at ((X - Y - cx + cy) * 22 + w / 2,
  // (X + Y - cx - cy) * 22 + h / 2 + 22); the diamonds tile the plane around those points.
  const double u = ((mx + 0.5) * m_zoom - worldWidth() / 2) / kHalfCell;
  const double v = ((my + 0.5) * m_zoom - worldHeight() / 2 - kHalfCell) / kHalfCell;
  return {m_cx + static_cast<int>(std::floor((u + v) / 2 + 0.5)),
          m_cy + static_cast<int>(std::floor((v - u) / 2 + 0.5))};
}

std::array<CellPos, 4> EditorScene::viewCorners() const {
  const int r = m_clientWidth - 1;
  const int b = m_clientHeight - 1;
  return {cellAt(0, 0), cellAt(r, 0), cellAt(r, b), cellAt(0, b)};
}

bool EditorScene::inWorld(CellPos cell) const {
  const auto size = loadedWorldSize().value_or(std::pair{kCoordinateRange, kCoordinateRange});
  return cell.x >= 0 && cell.y >= 0 && cell.x < size.first && cell.y < size.second;
}

int EditorScene::landAltitude(CellPos cell) const {
  if (!m_sources.map || !m_sources.map->isLoaded() || !inWorld(cell)) return 0;
  try {
    return m_sources.map->getAltitude(cell.x, cell.y);
  } catch (const std::exception&) {
    return 0;
  }
}

std::array<std::pair<float, float>, 4> EditorScene::cornersOf(CellPos c, float inset) const {
  TItem probe;
  probe.x = static_cast<std::uint16_t>(c.x);
  probe.y = static_cast<std::uint16_t>(c.y);
  probe.kind = ItemKind::Land;
  if (!m_flat2D) {
    ++m_overlayReads;
    probe.z = static_cast<std::int8_t>(landAltitude(c));
  }
  const ScreenAnchor at =
      screenAnchor(probe, m_cx, m_cy, worldWidth(), worldHeight(), kCell, m_flat2D);
  const float l = static_cast<float>(at.left);
  const float t = static_cast<float>(at.top);
  return {std::pair{l + kHalfCell, t + inset}, std::pair{l + kCell - inset, t + kHalfCell},
          std::pair{l + kHalfCell, t + kCell - inset}, std::pair{l + inset, t + kHalfCell}};
}

std::vector<OverlayLine> EditorScene::overlayLines() const {
  std::vector<OverlayLine> lines;
  m_overlayReads = 0;
  for (const CellMark& m : m_marks) {
    // Two diamonds, the cell's own and one inside it, so the mark stands out from a web.
    for (float inset : {0.0f, 5.0f}) {
      const auto k = cornersOf(m.cell, inset);
      for (std::size_t i = 0; i < 4; ++i)
        lines.push_back({k[i].first, k[i].second, k[(i + 1) % 4].first, k[(i + 1) % 4].second,
                         m.colour});
    }
  }
  if (m_outline) appendOutline(lines);
  return lines;
}

std::array<int, 4> EditorScene::viewBox() const {
  std::array<int, 4> box{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
  for (const CellPos& c : viewCorners()) {
    box[0] = std::min(box[0], c.x);
    box[1] = std::min(box[1], c.y);
    box[2] = std::max(box[2], c.x);
    box[3] = std::max(box[3], c.y);
  }
  return box;
}

void EditorScene::appendOutline(std::vector<OverlayLine>& lines) const {
  const BrushOutline& o = *m_outline;
  const auto size = loadedWorldSize().value_or(std::pair{kCoordinateRange, kCoordinateRange});
  // The cells that can show in the window: the box around its corner cells, widened by the
  // cells an altitude of -128 .. 127 lifts or lowers a diamond across the window's edge.
  constexpr std::int64_t kAltitudeMargin = (128 * kAltitudeStep) / kHalfCell + 2;
  const auto box = viewBox();
  std::int64_t vx0 = box[0], vy0 = box[1], vx1 = box[2], vy1 = box[3];
  vy0 = std::max<std::int64_t>(vy0 - kAltitudeMargin, 0);
  vy1 = std::min<std::int64_t>(vy1 + kAltitudeMargin, size.second - 1);
  vx0 = std::max<std::int64_t>(vx0 - kAltitudeMargin, 0);
  vx1 = std::min<std::int64_t>(vx1 + kAltitudeMargin, size.first - 1);
  // The rows the brush covers in column x, within the world; empty when first > second.
  const auto column = [&](std::int64_t x) -> std::pair<std::int64_t, std::int64_t> {
    if (x < 0 || x >= size.first) return {1, 0};
    const auto span = o.brush.columnSpan(x - o.centre.x);
    if (!span) return {1, 0};
    return {std::max<std::int64_t>(o.centre.y + span->first, 0),
            std::min<std::int64_t>(o.centre.y + span->second, size.second - 1)};
  };
  const auto draw = [&](std::int64_t x, std::int64_t y, std::size_t side) {
    const auto k = cornersOf({static_cast<int>(x), static_cast<int>(y)}, 0);
    const auto& a = k[side];
    const auto& b = k[(side + 1) % 4];
    lines.push_back({a.first, a.second, b.first, b.second, o.colour});
  };
  // Edges 0 to 3 (top-right, right-bottom, bottom-left, left-top) face the cells north, east,
  // south and west; an edge is drawn where that neighbour lies outside the brush. Runs are
  // unbroken, so each column has one north and one south edge, and its west (east) edges are
  // the part of its run the column before (after) does not cover.
  const auto sideEdges = [&](std::int64_t x, std::pair<std::int64_t, std::int64_t> run,
                             std::pair<std::int64_t, std::int64_t> beside, std::size_t side) {
    const auto drawRows = [&](std::int64_t from, std::int64_t to) {
      for (std::int64_t y = std::max(from, vy0); y <= std::min(to, vy1); ++y) draw(x, y, side);
    };
    if (beside.first > beside.second) {
      drawRows(run.first, run.second);
      return;
    }
    drawRows(run.first, std::min(run.second, beside.first - 1));
    drawRows(std::max(run.first, beside.second + 1), run.second);
  };
  for (std::int64_t x = vx0; x <= vx1; ++x) {
    const auto run = column(x);
    if (run.first > run.second) continue;
    if (run.first >= vy0 && run.first <= vy1) draw(x, run.first, 0);
    if (run.second >= vy0 && run.second <= vy1) draw(x, run.second, 2);
    sideEdges(x, run, column(x + 1), 1);
    sideEdges(x, run, column(x - 1), 3);
  }
}

bool EditorScene::changeSetting(bool& field, bool on) {
  field = on;
  m_rebuild = true;
  m_keepValid = false;
  return on;
}

void EditorScene::setShowMap(bool on) { changeSetting(m_showMap, on); }
void EditorScene::setFlat2D(bool on) { changeSetting(m_flat2D, on); }
void EditorScene::setShowAltitudes(bool on) { changeSetting(m_showAltitudes, on); }
void EditorScene::setShowWeb(bool on) { changeSetting(m_showWeb, on); }
void EditorScene::setSourceStatics(bool on) { changeSetting(m_srcStatics, on); }
void EditorScene::setSourceWorldFile(bool on) { changeSetting(m_srcWorld, on); }
void EditorScene::setSourceDiffs(bool on) { changeSetting(m_srcDiffs, on); }

void EditorScene::setMaxZ(int z) {
  m_maxZ = z;
  m_remake = true;
}

TItem* EditorScene::findVisibleItem(std::int32_t serial) {
  if (serial < 0) return nullptr;
  for (TItem& item : m_items)
    if (item.serial == serial) return &item;
  return nullptr;
}

void EditorScene::clearPictures() {
  // The commands name the pictures dropped: none is picked or drawn until the next frame.
  m_commands.clear();
  m_commandOf.assign(m_items.size(), -1);
  m_recentPictures.fill({});
  m_pictures.clear();
  m_frameSizes.clear();
  ++m_pictureGeneration;
  m_remake = true;
}

namespace {

// The order the models hand out items that compare equal in draw order, as one read of a whole
// rectangle lists them: land first, from the map's last block row and column back, then the
// diffs' items and the statics' from the newest, then the world file's in its order. Keyed so,
// items read in pieces sort as one read of the whole would.
constexpr std::uint64_t kRankLand = 0, kRankDiff = 1, kRankStatic = 2, kRankWorld = 3;

std::uint64_t sourceRank(ItemKind kind) {
  switch (kind) {
    case ItemKind::Land:
    case ItemKind::LandTexture: return kRankLand;
    case ItemKind::DiffStatic: return kRankDiff;
    case ItemKind::Static: return kRankStatic;
    default: return kRankWorld;
  }
}

std::uint32_t sourcePlace(const TItem& it) {
  const auto serial = static_cast<std::uint32_t>(it.serial);
  switch (it.kind) {
    case ItemKind::Land:
    case ItemKind::LandTexture: {
      const std::uint32_t x = it.x, y = it.y;
      return ~(((y >> 3) << 19) | ((x >> 3) << 6) | ((y & 7) << 3) | (x & 7));
    }
    case ItemKind::DiffStatic:
    case ItemKind::Static: return ~serial;
    default: return serial;
  }
}

// The parts of [a0, a1] outside [b0, b1].
std::vector<std::pair<int, int>> rangeLessRange(int a0, int a1, int b0, int b1) {
  std::vector<std::pair<int, int>> out;
  if (a0 > a1) return out;
  if (b0 > b1 || b1 < a0 || b0 > a1) return {{a0, a1}};
  if (a0 < b0) out.push_back({a0, b0 - 1});
  if (a1 > b1) out.push_back({b1 + 1, a1});
  return out;
}

}  // namespace

EditorScene::CellRect EditorScene::squareOfView() const {
  const int r = viewRadius(worldWidth(), worldHeight()) + 2;
  return {m_cx - r, m_cx + r, m_cy - r, m_cy + r};
}

EditorScene::CellRect EditorScene::landBlocksOf(const CellRect& square) const {
  if (!m_showMap || !m_sources.map || !m_sources.map->isLoaded()) return {};
  // As the map reads a rectangle: its ends clamped to the map, whole blocks from the first
  // cell's to the block after the last cell's (unless the last cell starts a block).
  const int w = m_sources.map->width();
  const int h = m_sources.map->height();
  const int xmin = std::max(square.x0, 0), xmax = std::min(square.x1, w);
  const int ymin = std::max(square.y0, 0), ymax = std::min(square.y1, h);
  if (xmin > xmax || ymin > ymax) return {};
  return {xmin / 8, std::min((xmax + 7) / 8, w / 8 - 1), ymin / 8,
          std::min((ymax + 7) / 8, h / 8 - 1)};
}

bool EditorScene::readItems(const std::vector<CellRect>& cells,
                            const std::vector<CellRect>& blocks, std::vector<TItem>& into) {
  // World-file items may lie anywhere in the loaded world; the classic size while none is.
  const auto world = loadedWorldSize().value_or(std::pair{kWorldFileWidth, kWorldFileHeight});
  // The diffs and the map put what they find in front of the list: they get one of their own.
  std::vector<TItem>& part = m_readPart;
  m_readSegments.clear();
  // Each model hands out one call's items in its order; the calls are noted, so that the sort
  // can visit them so that most items of equal rank come already in order.
  const auto noteSegment = [&](std::size_t start) {
    if (into.size() > start)
      m_readSegments.push_back({static_cast<std::uint32_t>(start),
                                static_cast<std::uint32_t>(into.size() - start),
                                (sourceRank(into[start].kind) << 32) | sourcePlace(into[start])});
  };
  try {
    for (const CellRect& c : cells) {
      if (c.empty()) continue;
      if (m_srcStatics && m_sources.statics && m_sources.statics->isLoaded()) {
        // A block at a time (clamped to the statics, as they clamp): the statics sort what one
        // call finds, and small sorts and lists are quicker than one large one.
        const int x0 = std::max(c.x0, 0), x1 = std::min(c.x1, m_sources.statics->width());
        const int y0 = std::max(c.y0, 0), y1 = std::min(c.y1, m_sources.statics->height());
        for (int y = y0; y <= y1; y = (y & ~7) + 8)
          for (int x = x0; x <= x1; x = (x & ~7) + 8) {
            const std::vector<TItem> found = m_sources.statics->getItemsInRect(
                x, std::min(x1, (x & ~7) + 7), y, std::min(y1, (y & ~7) + 7));
            const std::size_t start = into.size();
            into.insert(into.end(), found.begin(), found.end());
            noteSegment(start);
          }
      }
      if (m_srcWorld && m_sources.worldFile) {
        const std::size_t start = into.size();
        m_sources.worldFile->appendItemsInRect(c.x0, c.x1, c.y0, c.y1, into, world.first,
                                               world.second);
        noteSegment(start);
      }
      if (m_srcDiffs && m_sources.diffItems) {
        part.clear();
        m_sources.diffItems(c.x0, c.x1, c.y0, c.y1, part);
        const std::size_t start = into.size();
        into.insert(into.end(), part.begin(), part.end());
        noteSegment(start);
      }
    }
    for (const CellRect& b : blocks) {
      if (b.empty()) continue;
      part.clear();
      m_sources.map->getLandItems(b.x0 * 8, b.x1 * 8, b.y0 * 8, b.y1 * 8, part);
      const std::size_t start = into.size();
      into.insert(into.end(), part.begin(), part.end());
      noteSegment(start);
    }
  } catch (const std::exception& e) {
    // Drawing goes on with what was read; trying again every frame would only fail again.
    m_problems.emplace_back(e.what());
    // Items of a call cut short may have been appended without their segment.
    const std::size_t noted = m_readSegments.empty()
                                  ? 0
                                  : m_readSegments.back().start + m_readSegments.back().count;
    if (into.size() > noted)
      m_readSegments.push_back({static_cast<std::uint32_t>(noted),
                                static_cast<std::uint32_t>(into.size() - noted), ~0ull});
    return false;
  }
  return true;
}

EditorScene::OrderKey EditorScene::orderKeyOf(const TItem& it) {
  // Bits from the top: altitude plus weight (9), object (1), tile height (8), hued (1), source
  // (2), place in the source (32). Land compares by altitude and source place only.
  const bool land = isLandKind(it.kind);
  int weight = 0, height = 0;
  if (!land) {
    // A sort asks the tile data about the same few tiles again and again.
    std::int16_t& known = m_tileOrder[it.tileId];
    if (known < 0)
      known = static_cast<std::int16_t>(objectWeight(it, m_sources.tiledata) * 256 +
                                        std::clamp(staticHeightOf(it, m_sources.tiledata), 0, 255));
    weight = known >> 8;
    height = known & 255;
  }
  const auto zw = static_cast<std::uint64_t>(it.z + weight + 128);
  std::uint64_t rest = zw << kZwShift;
  if (!land) {
    rest |= std::uint64_t{1} << 43;
    rest |= static_cast<std::uint64_t>(height) << 35;
    rest |= static_cast<std::uint64_t>(it.hue != 0 ? 1 : 0) << 34;
  }
  rest |= sourceRank(it.kind) << 32;
  rest |= sourcePlace(it);
  return {it.x + it.y, rest};
}

void EditorScene::sortItems(const std::vector<TItem>& from,
                            const std::vector<ReadSegment>* segments, std::vector<TItem>& to,
                            std::vector<OrderKey>& keys) {
  // A counting pass puts the items in order of their cell sums and altitudes; only a group of
  // one sum and altitude that does not come in order already is sorted by the rest of its key.
  // The models hand out their items in the order of the rest of the key, so the groups mostly
  // do when the calls' items are visited in the order of their first items.
  const std::size_t n = from.size();
  m_tileOrder.assign(std::size_t{1} << 16, -1);
  m_sortSums.resize(n);
  m_sortRests.resize(n);
  int minSum = 0, maxSum = -1;
  std::uint64_t minZw = 0, maxZw = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const OrderKey k = orderKeyOf(from[i]);
    m_sortSums[i] = k.sum;
    m_sortRests[i] = k.rest;
    const std::uint64_t zw = k.rest >> kZwShift;
    if (i == 0 || k.sum < minSum) minSum = k.sum;
    if (i == 0 || k.sum > maxSum) maxSum = k.sum;
    if (i == 0 || zw < minZw) minZw = zw;
    if (i == 0 || zw > maxZw) maxZw = zw;
  }
  const std::size_t sums = static_cast<std::size_t>(maxSum - minSum + 1);
  std::size_t zws = static_cast<std::size_t>(maxZw - minZw + 1);
  // Altitudes spread wide over many sums would make more groups than items: sums alone then.
  if (sums * zws > 4 * n + 4096) zws = 1;
  const auto group = [&](std::size_t i) {
    const std::size_t zw = zws == 1 ? 0 : static_cast<std::size_t>((m_sortRests[i] >> kZwShift) - minZw);
    return static_cast<std::size_t>(m_sortSums[i] - minSum) * zws + zw;
  };
  m_sortStarts.assign(n == 0 ? 1 : sums * zws + 1, 0);
  for (std::size_t i = 0; i < n; ++i) ++m_sortStarts[group(i) + 1];
  for (std::size_t b = 1; b < m_sortStarts.size(); ++b) m_sortStarts[b] += m_sortStarts[b - 1];
  m_sortNext.assign(m_sortStarts.begin(), m_sortStarts.end() - 1);
  m_sortEntries.resize(n);
  const auto scatter = [&](std::size_t first, std::size_t count) {
    for (std::size_t i = first; i < first + count; ++i)
      m_sortEntries[m_sortNext[group(i)]++] = {m_sortRests[i], static_cast<std::uint32_t>(i)};
  };
  if (segments) {
    m_segmentOrder = *segments;
    std::stable_sort(m_segmentOrder.begin(), m_segmentOrder.end(),
                     [](const ReadSegment& a, const ReadSegment& b) { return a.first < b.first; });
    for (const ReadSegment& seg : m_segmentOrder) scatter(seg.start, seg.count);
  } else {
    scatter(0, n);
  }
  const auto byRest = [](const SortEntry& a, const SortEntry& b) { return a.rest < b.rest; };
  for (std::size_t b = 0; b + 1 < m_sortStarts.size(); ++b) {
    const auto begin = m_sortEntries.begin() + m_sortStarts[b];
    const auto end = m_sortEntries.begin() + m_sortStarts[b + 1];
    if (end - begin > 1 && !std::is_sorted(begin, end, byRest)) std::sort(begin, end, byRest);
  }
  to.resize(n);
  keys.resize(n);
  for (std::size_t p = 0; p < n; ++p) {
    const std::uint32_t i = m_sortEntries[p].index;
    to[p] = from[i];
    keys[p] = {m_sortSums[i], m_sortEntries[p].rest};
  }
}

void EditorScene::rebuild() {
  m_animations.clear();
  m_rebuild = false;
  m_resort = false;
  m_remake = true;
  const CellRect square = squareOfView();
  const CellRect blocks = landBlocksOf(square);
  m_readItems.clear();
  // While the copies and the items off the window still hold the read square as the models
  // hand it out, only the cells that came into view are read.
  const bool keep = m_keepValid && m_itemKeys.size() == m_items.size();
  bool complete = true;
  if (keep) {
    std::vector<CellRect> cells, landBlocks;
    for (const auto& ys : rangeLessRange(square.y0, square.y1, m_square.y0, m_square.y1))
      cells.push_back({square.x0, square.x1, ys.first, ys.second});
    const int my0 = std::max(square.y0, m_square.y0), my1 = std::min(square.y1, m_square.y1);
    if (my0 <= my1)
      for (const auto& xs : rangeLessRange(square.x0, square.x1, m_square.x0, m_square.x1))
        cells.push_back({xs.first, xs.second, my0, my1});
    for (const auto& ys : rangeLessRange(blocks.y0, blocks.y1, m_landBlocks.y0, m_landBlocks.y1))
      landBlocks.push_back({blocks.x0, blocks.x1, ys.first, ys.second});
    const int by0 = std::max(blocks.y0, m_landBlocks.y0);
    const int by1 = std::min(blocks.y1, m_landBlocks.y1);
    if (by0 <= by1)
      for (const auto& xs : rangeLessRange(blocks.x0, blocks.x1, m_landBlocks.x0, m_landBlocks.x1))
        landBlocks.push_back({xs.first, xs.second, by0, by1});
    complete = readItems(cells, landBlocks, m_readItems);
    std::vector<OrderKey> readKeys;
    std::vector<TItem> read;
    sortItems(m_readItems, &m_readSegments, read, readKeys);
    // What a fresh read shows of a copy: the model's mark of the item under the mouse, which
    // the copies follow, and no selection tint until the selection marks it again.
    const auto kept = [&](const TItem& it) {
      return isLandKind(it.kind) ? blocks.contains(it.x >> 3, it.y >> 3)
                                 : square.contains(it.x, it.y);
    };
    const auto fresh = [](TItem it) {
      it.selected = isLandKind(it.kind) ? 0 : (it.selected & kHoverLook);
      return it;
    };
    // Three lists in draw order, merged: the copies (in their places among the pool's items
    // off the window), the items off the window kept aside, and what was read now.
    m_sortedItems.clear();
    m_sortedKeys.clear();
    m_sortedItems.reserve(m_pool.size() + m_items.size() + m_offWindow.size() + read.size());
    m_sortedKeys.reserve(m_sortedItems.capacity());
    const bool pooled = !m_poolState.empty();
    const std::size_t na = pooled ? m_pool.size() : m_items.size();
    std::size_t a = 0, copy = 0, b = 0, c = 0;
    const TItem* nextA = nullptr;
    const TItem* nextB = nullptr;
    OrderKey keyA, keyB;
    const auto advanceA = [&] {
      nextA = nullptr;
      while (a < na && !nextA) {
        // A copy stands for its place in the pool; a deleted item is gone.
        const std::size_t i = a++;
        const TItem* it = !pooled                           ? &m_items[i]
                          : m_poolState[i] == kInCopies     ? &m_items[copy++]
                          : m_poolState[i] == kOffWindow ? &m_pool[i]
                                                            : nullptr;
        if (it && kept(*it)) nextA = it, keyA = pooled ? m_poolKeys[i] : m_itemKeys[i];
      }
    };
    const auto advanceB = [&] {
      nextB = nullptr;
      while (b < m_offWindow.size() && !nextB) {
        const KeyedItem& k = m_offWindow[b++];
        if (kept(k.item)) nextB = &k.item, keyB = k.key;
      }
    };
    advanceA();
    advanceB();
    while (nextA || nextB || c < read.size()) {
      const bool cFirst = c < read.size() && (!nextA || readKeys[c] < keyA) &&
                          (!nextB || readKeys[c] < keyB);
      if (cFirst) {
        m_sortedKeys.push_back(readKeys[c]);
        m_sortedItems.push_back(read[c++]);
      } else if (nextA && (!nextB || keyA < keyB)) {
        m_sortedKeys.push_back(keyA);
        m_sortedItems.push_back(fresh(*nextA));
        advanceA();
      } else {
        m_sortedKeys.push_back(keyB);
        m_sortedItems.push_back(fresh(*nextB));
        advanceB();
      }
    }
    m_items.swap(m_sortedItems);
    m_itemKeys.swap(m_sortedKeys);
  } else {
    complete = readItems({square}, {blocks}, m_readItems);
    sortItems(m_readItems, &m_readSegments, m_items, m_itemKeys);
  }
  m_lastRebuildKept = keep;
  m_lastRebuildRead = m_readItems.size();
  m_pool.clear();
  m_poolKeys.clear();
  m_poolState.clear();
  m_offWindow.clear();
  m_square = square;
  m_landBlocks = blocks;
  // A read cut short by a failing model is not kept: the next rebuild tries every cell again.
  m_keepValid = complete;
  if (m_afterRebuild) m_afterRebuild(m_items);
}

void EditorScene::resort() {
  // The copies were changed by a tool: their keys are made afresh.
  m_sortedItems.clear();
  sortItems(m_items, nullptr, m_sortedItems, m_itemKeys);
  m_items.swap(m_sortedItems);
  m_resort = false;
  m_remake = true;
}

EditorScene::ArtSize EditorScene::frameSize(std::uint32_t artId) {
  const auto known = m_frameSizes.find(artId);
  if (known != m_frameSizes.end()) return known->second;
  ArtSize size;
  const TArt* art = m_sources.art;
  if (art && art->isLoaded()) {
    const auto slot = static_cast<std::int32_t>(artId);
    try {
      // Frames the verdata file patches are drawn from the patch, so they take its size.
      const std::optional<PatchedSlots> patches =
          m_sources.verdata ? std::optional(PatchedSlots::statics(*m_sources.verdata, *art))
                            : std::nullopt;
      if (patches && patches->isPatched(slot)) {
        const Bitmap32 picture = patches->picture(slot);
        size = {picture.width, picture.height};
      } else {
        size = {art->staticArtWidth(artId), art->staticArtHeight(artId)};
      }
    } catch (const Error&) {
      // A damaged frame draws nothing, as a damaged picture does.
      size = {};
    }
  }
  m_frameSizes.emplace(artId, size);
  return size;
}

EditorScene::AnimationState& EditorScene::animationOf(std::uint32_t tileId, std::int64_t now) {
  for (AnimationState& a : m_animations)
    if (a.tileId == tileId) return a;
  const TAnimdata* ad = m_sources.animdata;
  AnimationState a;
  a.tileId = tileId;
  a.nextSwitch = now + 50 * (ad ? ad->startDelay(static_cast<int>(tileId)) : 0);
  a.artId = tileId;
  const ArtSize size = frameSize(tileId);
  a.artWidth = size.width;
  a.artHeight = size.height;
  m_animations.push_back(a);
  return m_animations.back();
}

bool EditorScene::advanceAnimations(std::int64_t now) {
  const TAnimdata* ad = m_sources.animdata;
  if (!ad || !ad->isLoaded()) return false;
  bool switched = false;
  for (AnimationState& a : m_animations) {
    if (a.nextSwitch >= 0 && now < a.nextSwitch) continue;
    switched = true;
    const int tile = static_cast<int>(a.tileId);
    const int count = ad->frameCount(tile);
    a.frame = count > 0 ? (a.frame + 1) % count : 0;
    a.artId = static_cast<std::uint32_t>(std::max(0, ad->frameArtId(tile, a.frame)));
    const ArtSize size = frameSize(a.artId);
    a.artWidth = size.width;
    a.artHeight = size.height;
    const int interval = ad->frameInterval(tile);
    a.nextSwitch = now + 50 * (a.frame != 0 ? interval : ad->startDelay(tile) + interval);
  }
  return switched;
}

std::optional<std::int64_t> EditorScene::nextAnimationDue() const {
  std::optional<std::int64_t> due;
  for (const AnimationState& a : m_animations)
    if (!due || a.nextSwitch < *due) due = a.nextSwitch;
  return due;
}

Bitmap32 EditorScene::makePicture(const TItem& item, std::int32_t hue, std::uint32_t artId,
                                  int pictureHeight) const {
  const SceneSources& s = m_sources;
  // A partial hue colours only the grey pixels of a static, as the art pages show it.
  const bool partial = isObjectKind(item.kind) && s.tiledata && s.tiledata->isLoaded() &&
                       s.tiledata->staticHasFlags(artId, TileFlags::PartialHue);
  const HueChoice choice = HueChoice::fromItemHue(hue, partial).value_or(HueChoice::none());
  if (item.kind == ItemKind::LandTexture && !m_flat2D) {
    if (!s.textures || !s.textures->isLoaded() || !s.tiledata || !s.tiledata->isLoaded()) return {};
    const std::uint16_t textureId = s.tiledata->landTextureId(item.tileId);
    Bitmap32 picture;
    if (s.verdata && PatchedSlots::textures(*s.verdata, *s.textures).isPatched(textureId)) {
      picture = PatchedSlots::textures(*s.verdata, *s.textures).picture(textureId);
      if (choice.isSelection() && s.hues)
        picture = s.hues->huedPicture(picture, choice, HuedPixels::All);
    } else {
      picture = s.textures->texturePictureHued(textureId, choice, s.hues);
    }
    keyWhite(picture);
    return picture;
  }
  if (!s.art || !s.art->isLoaded()) return {};
  const bool object = isObjectKind(item.kind);
  const int w = object ? item.width : kCell;
  const int h = object ? pictureHeight : kCell;
  if (w <= 0 || h <= 0) return {};
  const int pw = static_cast<int>(nextPowerOfTwo(static_cast<std::uint32_t>(w)));
  const int ph = static_cast<int>(nextPowerOfTwo(static_cast<std::uint32_t>(h)));
  if (pw > m_maxTextureSide || ph > m_maxTextureSide) return {};
  Bitmap32 picture(pw, ph, 0xFFFFFFFFu);
  if (s.verdata) {
    const PatchedSlots patches =
        object ? PatchedSlots::statics(*s.verdata, *s.art) : PatchedSlots::land(*s.verdata, *s.art);
    const std::int32_t slot = static_cast<std::int32_t>(object ? artId : item.tileId);
    if (patches.isPatched(slot)) {
      drawPatchHued(patches.picture(slot), choice, !object, s.hues, picture);
      keyWhite(picture);
      return picture;
    }
  }
  if (object)
    s.art->drawStaticHued(artId, 0, 0, choice, s.hues, picture);
  else
    s.art->drawLandHued(item.tileId, 0, 0, choice, s.hues, picture);
  keyWhite(picture);
  return picture;
}

const ScenePicture* EditorScene::pictureFor(const TItem& item, std::int32_t key, std::int32_t hue,
                                            std::uint32_t artId, int pictureHeight) {
  const std::uint64_t id = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(key)) << 32) |
                           static_cast<std::uint32_t>(hue);
  RecentPicture& recent = m_recentPictures[(id ^ (id >> 29) ^ (id >> 7)) & 255];
  if (recent.id == id) return recent.picture;
  auto found = m_pictures.find(id);
  if (found == m_pictures.end()) {
    auto entry = std::make_unique<ScenePicture>();
    entry->id = m_nextPictureId++;
    try {
      entry->pixels = makePicture(item, hue, artId, pictureHeight);
    } catch (const Error&) {
      // A damaged slot draws nothing; its entry stays so that it is not decoded every frame.
      entry->pixels = {};
    }
    if (entry->pixels.width > m_maxTextureSide || entry->pixels.height > m_maxTextureSide)
      entry->pixels = {};
    const bool padded = item.kind != ItemKind::LandTexture || m_flat2D;
    const int contentW = isObjectKind(item.kind) ? item.width : kCell;
    const int contentH = isObjectKind(item.kind) ? pictureHeight : kCell;
    entry->contentWidth = padded ? std::min(contentW, entry->pixels.width) : entry->pixels.width;
    entry->contentHeight = padded ? std::min(contentH, entry->pixels.height) : entry->pixels.height;
    // A texture laid through a cell's corners is not drawn 1:1: it covers nothing for sure.
    if (padded) {
      const SolidRect solid =
          largestSolidRect(entry->pixels, entry->contentWidth, entry->contentHeight);
      entry->solidLeft = solid.left;
      entry->solidTop = solid.top;
      entry->solidWidth = solid.width;
      entry->solidHeight = solid.height;
    }
    found = m_pictures.emplace(id, std::move(entry)).first;
  }
  recent = {id, found->second->pixels.empty() ? nullptr : found->second.get()};
  return recent.picture;
}

void EditorScene::rebuildAndSort() {
  // A copy changed by a tool in more than its look (without a rebuild asked for) no longer
  // shows what the models hand out: the next rebuild reads every cell again.
  if (m_rebuild && m_keepValid && (m_looks.size() != m_items.size() || !changedLooks()))
    m_keepValid = false;
  if (m_rebuild) rebuild();
  if (m_resort) resort();
}

CommandChanges EditorScene::takeCommandChanges() {
  CommandChanges taken = std::move(m_changes);
  m_changes = {};
  m_changes.all = false;
  return taken;
}

void EditorScene::noteAllChanged() {
  m_changes.all = true;
  m_changes.commands.clear();
}

std::optional<std::vector<std::uint32_t>> EditorScene::changedLooks() const {
  if (m_looks.size() != m_items.size()) return std::nullopt;
  std::vector<std::uint32_t> changed;
  for (std::size_t i = 0; i < m_items.size(); ++i) {
    const ItemLook now = ItemLook::of(m_items[i]);
    if (now == m_looks[i]) continue;
    if (!now.sameButLook(m_looks[i])) return std::nullopt;
    changed.push_back(static_cast<std::uint32_t>(i));
  }
  return changed;
}

void EditorScene::prepare(std::int64_t now) {
  // Looks (hue, the mouse's and the selection's marks) changed on a few copies, or animations
  // switched frames: only their commands are drawn anew. Anything else makes the frame afresh.
  std::optional<std::vector<std::uint32_t>> looks;
  const bool asked = m_rebuild || m_resort || m_remake || !m_prepared ||
                     m_commandsGeneration != m_pictureGeneration;
  if (!asked) {
    looks = changedLooks();
    if (!looks) m_keepValid = false;
  }
  rebuildAndSort();
  m_prepared = true;
  const bool switched = advanceAnimations(now);
  if (looks && (!looks->empty() || switched)) {
    if (refreshCommands(now, *looks, switched)) {
      ++m_frameVersion;
      return;
    }
  } else if (looks) {
    return;  // nothing changed
  }
  makeCommands(now);
}

bool EditorScene::commandOf(std::uint32_t pos, std::int64_t now, DrawCommand& c, bool& outside) {
  const TItem* shown = &m_items[pos];
  const bool object = isObjectKind(shown->kind);
  int pictureHeight = shown->height;
  std::uint32_t artId = shown->tileId;
  // An animated item shows its current frame, at that frame's size.
  TItem frame;
  if (object && shown->animated) {
    const AnimationState& a = animationOf(shown->tileId, now);
    pictureHeight = a.artHeight;
    artId = a.artId;
    frame = *shown;
    frame.width = static_cast<std::int16_t>(a.artWidth);
    frame.height = static_cast<std::int16_t>(a.artHeight);
    shown = &frame;
  }
  const TItem& item = *shown;
  const int w = worldWidth();
  const int h = worldHeight();
  const ScreenAnchor at = screenAnchor(item, m_cx, m_cy, w, h, pictureHeight, m_flat2D);
  outside = (at.left + item.width <= 0 || at.left >= w || at.top + item.height <= 0 ||
             at.top >= h) &&
            item.kind != ItemKind::LandTexture;
  if (outside || item.deleted) return false;
  if (object && item.z > m_maxZ) return false;
  if (!object && !m_flat2D && item.tileId == kNoDrawLand) return false;
  const ScenePicture* picture =
      pictureFor(item, textureKey(item, m_flat2D, artId), drawHue(item), artId, pictureHeight);
  if (!picture) return false;
  c = {};
  c.item = pos;
  c.serial = item.serial;
  c.picture = picture;
  c.left = at.left;
  c.top = at.top;
  c.throughCorners = item.kind == ItemKind::LandTexture && !m_flat2D;
  c.web = !object && m_showWeb;
  c.diamondWeb = !m_flat2D;
  c.altitudeText = !object && m_flat2D && m_showAltitudes;
  c.inSelection = (item.selected & kSelectionLook) != 0;
  c.animated = object && item.animated;
  return true;
}

bool EditorScene::refreshCommands(std::int64_t now, const std::vector<std::uint32_t>& looks,
                                  bool switched) {
  std::vector<std::uint32_t> items = looks;
  if (switched) items.insert(items.end(), m_animatedItems.begin(), m_animatedItems.end());
  std::vector<std::pair<std::uint32_t, DrawCommand>> updates;
  for (const std::uint32_t pos : items) {
    const std::int32_t at = m_commandOf[pos];
    DrawCommand c;
    bool outside = false;
    const bool drawn = commandOf(pos, now, c, outside);
    // An item that leaves the window is dropped from the copies, which only a new frame does.
    if (outside) return false;
    if (at < 0) {
      if (drawn) return false;
      continue;
    }
    if (!drawn) return false;
    const DrawCommand& old = m_commands[static_cast<std::size_t>(at)];
    const ScenePicture& p = *c.picture;
    const ScenePicture& q = *old.picture;
    // What the command covers of those below must stay as it was, or their hidden marks
    // would be wrong; an animation covers nothing.
    if (!c.animated && (p.solidLeft != q.solidLeft || p.solidTop != q.solidTop ||
                        p.solidWidth != q.solidWidth || p.solidHeight != q.solidHeight ||
                        p.contentWidth != q.contentWidth || p.contentHeight != q.contentHeight ||
                        c.left != old.left || c.top != old.top))
      return false;
    c.hidden = old.hidden;
    c.clipLeft = old.clipLeft, c.clipTop = old.clipTop;
    c.clipRight = old.clipRight, c.clipBottom = old.clipBottom;
    updates.emplace_back(static_cast<std::uint32_t>(at), c);
  }
  for (const auto& [at, c] : updates) {
    m_commands[at] = c;
    if (!m_changes.all) m_changes.commands.push_back(at);
  }
  for (const std::uint32_t pos : looks) m_looks[pos] = ItemLook::of(m_items[pos]);
  // A view that never takes the changes is told to draw everything anew rather than gather them.
  if (m_changes.commands.size() > m_commands.size() / 4 + 16) noteAllChanged();
  return true;
}

void EditorScene::makeCommands(std::int64_t now) {
  ++m_frameVersion;
  m_remake = false;
  m_commandsGeneration = m_pictureGeneration;
  noteAllChanged();
  m_commands.clear();
  m_animatedItems.clear();
  const std::size_t n = m_items.size();
  m_gone.assign(n, kInCopies);
  bool anyGone = false;
  for (std::size_t pos = n; pos-- > 0;) {
    DrawCommand c;
    bool outside = false;
    const bool drawn = commandOf(static_cast<std::uint32_t>(pos), now, c, outside);
    if (outside || m_items[pos].deleted) {
      m_gone[pos] = outside && !m_items[pos].deleted ? kOffWindow : kDropped;
      anyGone = true;
      continue;
    }
    if (drawn) m_commands.push_back(c);
  }
  const bool keyed = m_itemKeys.size() == n;
  if (anyGone) {
    // The items off the window are kept for a moved view: after a rebuild that left most of
    // the read items off the window, the read items become the pool as they are and the copies
    // are taken out of it; else the items off the window are copied aside.
    const bool keepOff = keyed && m_keepValid;
    std::size_t off = 0;
    for (std::size_t i = 0; i < n; ++i) off += m_gone[i] == kOffWindow;
    if (keepOff && m_poolState.empty() && m_offWindow.empty() && 2 * off > n) {
      m_pool.swap(m_items);
      m_poolKeys.swap(m_itemKeys);
      m_poolState.assign(m_gone.begin(), m_gone.end());
      m_items.clear();
      m_itemKeys.clear();
      m_items.reserve(n - off);
      m_itemKeys.reserve(n - off);
      m_newPos.resize(n);
      for (std::uint32_t i = 0; i < n; ++i) {
        m_newPos[i] = static_cast<std::uint32_t>(m_items.size());
        if (m_gone[i] != kInCopies) continue;
        m_items.push_back(m_pool[i]);
        m_itemKeys.push_back(m_poolKeys[i]);
      }
    } else {
      // The copies close up in order; those that left the window go back to their places in
      // the pool, or aside.
      const bool pooled = keepOff && !m_poolState.empty();
      std::size_t place = 0;
      const auto nextPlace = [&] {
        while (place < m_poolState.size() && m_poolState[place] != kInCopies) ++place;
        return place++;
      };
      const std::size_t before = m_offWindow.size();
      if (keepOff && !pooled) m_offWindow.reserve(before + off);
      m_newPos.resize(n);
      std::uint32_t next = 0;
      for (std::uint32_t i = 0; i < n; ++i) {
        m_newPos[i] = next;
        const std::size_t at = pooled ? nextPlace() : 0;
        if (m_gone[i] == kInCopies) {
          if (keyed) m_itemKeys[next] = m_itemKeys[i];
          if (next != i) m_items[next] = m_items[i];
          ++next;
        } else if (pooled && at < m_poolState.size()) {
          m_poolState[at] = m_gone[i];
          if (m_gone[i] == kOffWindow) m_pool[at] = m_items[i];
        } else if (keepOff && !pooled && m_gone[i] == kOffWindow) {
          m_offWindow.push_back({m_itemKeys[i], m_items[i]});
        }
      }
      m_items.resize(next);
      if (keyed) m_itemKeys.resize(next);
      if (before > 0 && m_offWindow.size() > before)
        std::inplace_merge(m_offWindow.begin(), m_offWindow.begin() + std::ptrdiff_t(before),
                           m_offWindow.end(), [](const KeyedItem& x, const KeyedItem& y) {
                             return x.key < y.key;
                           });
    }
    for (DrawCommand& c : m_commands) c.item = m_newPos[c.item];
  }
  m_commandOf.assign(m_items.size(), -1);
  for (std::size_t i = 0; i < m_commands.size(); ++i) {
    m_commandOf[m_commands[i].item] = static_cast<std::int32_t>(i);
    if (m_commands[i].animated) m_animatedItems.push_back(m_commands[i].item);
  }
  m_looks.resize(m_items.size());
  for (std::size_t i = 0; i < m_items.size(); ++i) m_looks[i] = ItemLook::of(m_items[i]);
  markHidden();
}

SolidRect largestSolidRect(const Bitmap32& picture, int w, int h) {
  // Row by row, the run of opaque texels above each column; the largest rectangle under that
  // histogram, found with a stack of rising heights.
  w = std::min(w, picture.width);
  h = std::min(h, picture.height);
  SolidRect best;
  if (w <= 0 || h <= 0) return best;
  std::vector<int> run(static_cast<std::size_t>(w) + 1, 0);
  std::vector<int> stack;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      auto& r = run[static_cast<std::size_t>(x)];
      r = (picture.at(x, y) >> 24) != 0 ? r + 1 : 0;
    }
    stack.clear();
    for (int x = 0; x <= w; ++x) {
      const int height = run[static_cast<std::size_t>(x)];  // run[w] stays 0: empties the stack
      while (!stack.empty() && run[static_cast<std::size_t>(stack.back())] >= height) {
        const int top = run[static_cast<std::size_t>(stack.back())];
        stack.pop_back();
        const int left = stack.empty() ? 0 : stack.back() + 1;
        if (std::int64_t(top) * (x - left) > std::int64_t(best.width) * best.height)
          best = {left, y - top + 1, x - left, top};
      }
      stack.push_back(x);
    }
  }
  return best;
}

void EditorScene::markHidden() {
  // Blocks of 8 x 8 window pixels; a block is covered when each of its pixels samples a solid
  // texel of a command drawn above. Commands come topmost first, so every command is tested
  // against what is above it and then adds its own solid part.
  constexpr int kBlock = 8;
  const int bw = (m_clientWidth + kBlock - 1) / kBlock;
  const int bh = (m_clientHeight + kBlock - 1) / kBlock;
  m_covered.assign(static_cast<std::size_t>(bw) * static_cast<std::size_t>(bh), 0);
  const double zoom = m_zoom;
  // The ceiling, without a call into the maths library: this runs a few times per command.
  const auto ceiling = [](double x) {
    const auto i = static_cast<std::int64_t>(x);  // toward zero
    return static_cast<double>(i) < x ? i + 1 : i;
  };
  // The window pixels whose middles, (p + 0.5) * zoom, lie in world pixels [a, b).
  auto pixels = [zoom, ceiling](double a, double b, int limit, int& p0, int& p1) {
    p0 = static_cast<int>(std::max<std::int64_t>(0, ceiling(a / zoom - 0.5)));
    p1 = static_cast<int>(std::min<std::int64_t>(limit - 1, ceiling(b / zoom - 0.5) - 1));
    return p0 <= p1;
  };
  const double worldW = m_clientWidth * zoom;
  const double worldH = m_clientHeight * zoom;
  bool anyCovered = false;
  // The solid parts narrower than this many world pixels cover no whole block: the edge blocks
  // cut by the window are the narrowest, at least one pixel wide.
  const int lastW = m_clientWidth - (bw - 1) * kBlock;
  const int lastH = m_clientHeight - (bh - 1) * kBlock;
  const int minSolid = static_cast<int>((std::min(lastW, lastH) + 1) * zoom);
  for (DrawCommand& c : m_commands) {
    const ScenePicture& p = *c.picture;
    // An animation changes its picture without a new frame: it is drawn whatever lies above.
    if (c.animated) {
      c.hidden = false;
      continue;
    }
    // The world pixels the command's quad may touch.
    double l, t, r, b;
    if (c.throughCorners) {
      const TItem& item = m_items[c.item];
      l = t = 1e9;
      r = b = -1e9;
      for (Corner k : {kCornerTop, kCornerLeft, kCornerBottom, kCornerRight}) {
        l = std::min(l, double(c.left + item.cornerDx(k)));
        r = std::max(r, double(c.left + item.cornerDx(k)));
        t = std::min(t, double(c.top + item.cornerDy(k)));
        b = std::max(b, double(c.top + item.cornerDy(k)));
      }
    } else if (!isObjectKind(m_items[c.item].kind)) {
      l = c.left - 1, t = c.top - 1, r = c.left + kCell + 1, b = c.top + kCell + 1;
    } else {
      l = c.left, t = c.top, r = c.left + p.contentWidth, b = c.top + p.contentHeight;
    }
    // Wholly beside the window: nothing of it is drawn.
    if (r + 1 <= 0 || b + 1 <= 0 || l - 1 >= worldW || t - 1 >= worldH) {
      c.hidden = true;
      continue;
    }
    // Until some block is covered, nothing can be; most frames far away cover none.
    bool covered = false;
    c.clipLeft = c.clipTop = -1e9f;
    c.clipRight = c.clipBottom = 1e9f;
    if (anyCovered) {
      int x0, x1, y0, y1;
      if (!pixels(l - 1, r + 1, m_clientWidth, x0, x1) ||
          !pixels(t - 1, b + 1, m_clientHeight, y0, y1)) {
        c.hidden = true;
        continue;
      }
      // The blocks not covered yet; what lies outside their bounds is left out of the drawing.
      int ux0 = INT_MAX, ux1 = -1, uy0 = INT_MAX, uy1 = -1;
      for (int by = y0 / kBlock; by <= y1 / kBlock; ++by)
        for (int bx = x0 / kBlock; bx <= x1 / kBlock; ++bx)
          if (!m_covered[static_cast<std::size_t>(by * bw + bx)]) {
            ux0 = std::min(ux0, bx), ux1 = std::max(ux1, bx);
            uy0 = std::min(uy0, by), uy1 = std::max(uy1, by);
          }
      covered = ux1 < 0;
      // Block edges lie between pixel middles: a pixel is wholly in or out.
      if (!covered && !c.throughCorners && (ux0 > x0 / kBlock || ux1 < x1 / kBlock ||
                                            uy0 > y0 / kBlock || uy1 < y1 / kBlock)) {
        c.clipLeft = static_cast<float>(ux0 * kBlock * zoom);
        c.clipRight = static_cast<float>((ux1 + 1) * kBlock * zoom);
        c.clipTop = static_cast<float>(uy0 * kBlock * zoom);
        c.clipBottom = static_cast<float>((uy1 + 1) * kBlock * zoom);
      }
    }
    c.hidden = covered;
    // A solid part less than a block wide (the window's last block aside) covers no block.
    if (covered || p.solidWidth <= minSolid || p.solidHeight <= minSolid) continue;
    // A pixel off by rounding would show through: the solid part counts one pixel smaller.
    int sx0, sx1, sy0, sy1;
    if (!pixels(c.left + p.solidLeft, c.left + p.solidLeft + p.solidWidth, m_clientWidth, sx0,
                sx1) ||
        !pixels(c.top + p.solidTop, c.top + p.solidTop + p.solidHeight, m_clientHeight, sy0, sy1))
      continue;
    ++sx0, --sx1, ++sy0, --sy1;
    // Blocks wholly inside; a block cut by the window's edge needs only its pixels inside.
    const int fbx0 = (sx0 + kBlock - 1) / kBlock;
    const int fby0 = (sy0 + kBlock - 1) / kBlock;
    for (int by = fby0; by < bh; ++by) {
      const int lastY = std::min((by + 1) * kBlock, m_clientHeight) - 1;
      if (lastY > sy1) break;
      for (int bx = fbx0; bx < bw; ++bx) {
        const int lastX = std::min((bx + 1) * kBlock, m_clientWidth) - 1;
        if (lastX > sx1) break;
        m_covered[static_cast<std::size_t>(by * bw + bx)] = 1;
        anyCovered = true;
      }
    }
  }
}

namespace {

// Whether (px, py) lies in triangle a, b, c; when it does, its barycentric weights of b and c.
bool inTriangle(double px, double py, double ax, double ay, double bx, double by, double cx,
                double cy, double& wb, double& wc) {
  const double d = (bx - ax) * (cy - ay) - (cx - ax) * (by - ay);
  if (d == 0) return false;
  wb = ((px - ax) * (cy - ay) - (cx - ax) * (py - ay)) / d;
  wc = ((bx - ax) * (py - ay) - (px - ax) * (by - ay)) / d;
  return wb >= 0 && wc >= 0 && wb + wc <= 1;
}

}  // namespace

std::int32_t EditorScene::pick(int mx, int my) const {
  // The centre of the window pixel, in world pixels, as the rasteriser samples it.
  const double px = (mx + 0.5) * m_zoom;
  const double py = (my + 0.5) * m_zoom;
  for (const DrawCommand& c : m_commands) {
    const Bitmap32& tex = c.picture->pixels;
    if (!c.throughCorners) {
      const double u = px - c.left;
      const double v = py - c.top;
      if (u < 0 || v < 0 || u >= tex.width || v >= tex.height) continue;
      if (c.picture->opaqueAt(static_cast<int>(u), static_cast<int>(v))) return c.serial;
      continue;
    }
    if (c.item >= m_items.size()) continue;
    const TItem& item = m_items[c.item];
    // Two triangles top-left-bottom and top-bottom-right, texture (0,0) (0,1) (1,1) (1,0).
    auto corner = [&](Corner k, double& x, double& y) {
      x = c.left + item.cornerDx(k);
      y = c.top + item.cornerDy(k);
    };
    double tx, ty, lx, ly, bx, by, rx, ry, wb, wc;
    corner(kCornerTop, tx, ty);
    corner(kCornerLeft, lx, ly);
    corner(kCornerBottom, bx, by);
    corner(kCornerRight, rx, ry);
    double s = 0, t = 0;
    if (inTriangle(px, py, tx, ty, lx, ly, bx, by, wb, wc)) {
      s = wc;  // left (0,1), bottom (1,1)
      t = wb + wc;
    } else if (inTriangle(px, py, tx, ty, bx, by, rx, ry, wb, wc)) {
      s = wb + wc;  // bottom (1,1), right (1,0)
      t = wb;
    } else {
      continue;
    }
    const int texX = std::min(tex.width - 1, static_cast<int>(s * tex.width));
    const int texY = std::min(tex.height - 1, static_cast<int>(t * tex.height));
    if (c.picture->opaqueAt(texX, texY)) return c.serial;
  }
  return -1;
}

}  // namespace quillotide
