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

void EditorScene::appendOutline(std::vector<OverlayLine>& lines) const {
  const BrushOutline& o = *m_outline;
  const auto size = loadedWorldSize().value_or(std::pair{kCoordinateRange, kCoordinateRange});
  // The cells that can show in the window: the box around its corner cells, widened by the
  // cells an altitude of -128 .. 127 lifts or lowers a diamond across the window's edge.
  constexpr std::int64_t kAltitudeMargin = (128 * kAltitudeStep) / kHalfCell + 2;
  std::int64_t vx0 = INT64_MAX, vx1 = INT64_MIN, vy0 = INT64_MAX, vy1 = INT64_MIN;
  for (const CellPos& c : viewCorners()) {
    vx0 = std::min<std::int64_t>(vx0, c.x), vx1 = std::max<std::int64_t>(vx1, c.x);
    vy0 = std::min<std::int64_t>(vy0, c.y), vy1 = std::max<std::int64_t>(vy1, c.y);
  }
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
  m_resort = true;
}

TItem* EditorScene::findVisibleItem(std::int32_t serial) {
  if (serial < 0) return nullptr;
  for (TItem& item : m_items)
    if (item.serial == serial) return &item;
  return nullptr;
}

void EditorScene::clearPictures() {
  m_pictures.clear();
  m_frameSizes.clear();
  ++m_pictureGeneration;
}

void EditorScene::rebuild() {
  m_items.clear();
  m_animations.clear();
  m_rebuild = false;
  m_resort = true;
  const int r = viewRadius(worldWidth(), worldHeight()) + 2;
  const int xa = m_cx - r, xb = m_cx + r, ya = m_cy - r, yb = m_cy + r;
  // World-file items may lie anywhere in the loaded world; the classic size while none is.
  const auto world = loadedWorldSize().value_or(std::pair{kWorldFileWidth, kWorldFileHeight});
  try {
    if (m_srcStatics && m_sources.statics && m_sources.statics->isLoaded())
      m_items = m_sources.statics->getItemsInRect(xa, xb, ya, yb);
    if (m_srcWorld && m_sources.worldFile)
      m_sources.worldFile->appendItemsInRect(xa, xb, ya, yb, m_items, world.first, world.second);
    if (m_srcDiffs && m_sources.diffItems) m_sources.diffItems(xa, xb, ya, yb, m_items);
    if (m_showMap && m_sources.map && m_sources.map->isLoaded())
      m_sources.map->getLandItems(xa, xb, ya, yb, m_items);
  } catch (const std::exception& e) {
    // Drawing goes on with what was read; trying again every frame would only fail again.
    m_problems.emplace_back(e.what());
  }
  if (m_afterRebuild) m_afterRebuild(m_items);
}

void EditorScene::resort() {
  // The order keys are read once per item, not once per comparison. The cell sums come first:
  // a counting pass puts the items in order of their sums (keeping their order within a sum),
  // and only the items of one sum are sorted by the rest of the keys, stably, which gives the
  // order one stable sort by all keys would.
  const std::size_t n = m_items.size();
  m_sortKeys.resize(n);
  int minSum = 0, maxSum = -1;
  for (std::uint32_t i = 0; i < n; ++i) {
    const TItem& it = m_items[i];
    const bool land = isLandKind(it.kind);
    m_sortKeys[i] = {it.x + it.y, it.z + objectWeight(it, m_sources.tiledata), land ? 0 : 1,
                     land ? 0 : staticHeightOf(it, m_sources.tiledata), it.hue != 0 ? 1 : 0, i};
    if (i == 0 || m_sortKeys[i].sum < minSum) minSum = m_sortKeys[i].sum;
    if (i == 0 || m_sortKeys[i].sum > maxSum) maxSum = m_sortKeys[i].sum;
  }
  std::vector<std::uint32_t> starts(static_cast<std::size_t>(maxSum - minSum + 2), 0);
  for (const SortKey& k : m_sortKeys) ++starts[static_cast<std::size_t>(k.sum - minSum) + 1];
  for (std::size_t b = 1; b < starts.size(); ++b) starts[b] += starts[b - 1];
  m_sortedKeys.resize(n);
  {
    std::vector<std::uint32_t> next(starts.begin(), starts.end() - 1);
    for (const SortKey& k : m_sortKeys)
      m_sortedKeys[next[static_cast<std::size_t>(k.sum - minSum)]++] = k;
  }
  const auto rest = [](const SortKey& a, const SortKey& b) {
    if (a.z != b.z) return a.z < b.z;
    if (a.land != b.land) return a.land < b.land;
    if (a.land == 0) return false;
    if (a.height != b.height) return a.height < b.height;
    return a.hued < b.hued;
  };
  for (std::size_t b = 0; b + 1 < starts.size(); ++b)
    if (starts[b + 1] - starts[b] > 1)
      std::stable_sort(m_sortedKeys.begin() + starts[b], m_sortedKeys.begin() + starts[b + 1],
                       rest);
  m_sortedItems.clear();
  m_sortedItems.reserve(n);
  for (const SortKey& k : m_sortedKeys) m_sortedItems.push_back(m_items[k.index]);
  m_items.swap(m_sortedItems);
  m_resort = false;
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

void EditorScene::advanceAnimations(std::int64_t now) {
  const TAnimdata* ad = m_sources.animdata;
  if (!ad || !ad->isLoaded()) return;
  for (AnimationState& a : m_animations) {
    if (a.nextSwitch >= 0 && now < a.nextSwitch) continue;
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
  return found->second->pixels.empty() ? nullptr : found->second.get();
}

void EditorScene::rebuildAndSort() {
  if (m_rebuild) rebuild();
  if (m_resort) resort();
}

void EditorScene::prepare(std::int64_t now) {
  rebuildAndSort();
  m_prepared = true;
  advanceAnimations(now);
  ++m_frameVersion;
  m_commands.clear();
  m_removals.clear();
  const int w = worldWidth();
  const int h = worldHeight();
  for (std::size_t pos = m_items.size(); pos-- > 0;) {
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
    const ScreenAnchor at = screenAnchor(item, m_cx, m_cy, w, h, pictureHeight, m_flat2D);
    const bool outside =
        at.left + item.width <= 0 || at.left >= w || at.top + item.height <= 0 || at.top >= h;
    if ((outside && item.kind != ItemKind::LandTexture) || item.deleted) {
      m_removals.push_back(static_cast<std::uint32_t>(pos));
      continue;
    }
    if (object && item.z > m_maxZ) continue;
    if (!object && !m_flat2D && item.tileId == kNoDrawLand) continue;
    const ScenePicture* picture =
        pictureFor(item, textureKey(item, m_flat2D, artId), drawHue(item), artId, pictureHeight);
    if (!picture) continue;
    DrawCommand c;
    c.item = static_cast<std::uint32_t>(pos);
    c.serial = item.serial;
    c.picture = picture;
    c.left = at.left;
    c.top = at.top;
    c.throughCorners = item.kind == ItemKind::LandTexture && !m_flat2D;
    c.web = !object && m_showWeb;
    c.diamondWeb = !m_flat2D;
    c.altitudeText = !object && m_flat2D && m_showAltitudes;
    c.inSelection = (item.selected & kSelectionLook) != 0;
    m_commands.push_back(c);
  }
  // Highest positions were collected first, so erasing in that order keeps the others valid.
  if (!m_removals.empty()) {
    std::vector<bool> gone(m_items.size(), false);
    for (std::uint32_t p : m_removals) gone[p] = true;
    std::vector<std::uint32_t> newPos(m_items.size(), 0);
    std::uint32_t next = 0;
    for (std::uint32_t i = 0; i < m_items.size(); ++i) {
      newPos[i] = next;
      if (!gone[i]) m_items[next++] = m_items[i];
    }
    m_items.resize(next);
    for (DrawCommand& c : m_commands) c.item = newPos[c.item];
  }
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
  // The window pixels whose middles, (p + 0.5) * zoom, lie in world pixels [a, b).
  auto pixels = [zoom](double a, double b, int limit, int& p0, int& p1) {
    p0 = std::max(0, static_cast<int>(std::ceil(a / zoom - 0.5)));
    p1 = std::min(limit - 1, static_cast<int>(std::ceil(b / zoom - 0.5)) - 1);
    return p0 <= p1;
  };
  for (DrawCommand& c : m_commands) {
    const ScenePicture& p = *c.picture;
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
    int x0, x1, y0, y1;
    if (!pixels(l - 1, r + 1, m_clientWidth, x0, x1) ||
        !pixels(t - 1, b + 1, m_clientHeight, y0, y1)) {
      c.hidden = true;
      continue;
    }
    bool covered = true;
    for (int by = y0 / kBlock; covered && by <= y1 / kBlock; ++by)
      for (int bx = x0 / kBlock; bx <= x1 / kBlock; ++bx)
        if (!m_covered[static_cast<std::size_t>(by * bw + bx)]) {
          covered = false;
          break;
        }
    c.hidden = covered;
    if (covered || p.solidWidth <= 0 || p.solidHeight <= 0) continue;
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
