#pragma once
// EditorScene: what the world editor draws, without any window or OpenGL. It keeps the editor's
// copies of the drawn items (VisibleItems), rebuilds them from the world models around the view
// centre, sorts them into draw order, projects every item to its screen rectangle, makes the
// item's picture once per (key, hue) and answers which drawn item lies under a window pixel.
//
// Coordinates: a window pixel (mx, my) covers world pixel (mx * zoom, my * zoom); world pixel
// (0, 0) is the window's top left. A cell is a 44 x 44 diamond; one altitude unit lifts by 4.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/Colour.h"
#include "world/Item.h"
#include "world/LandBrush.h"

namespace quillotide {

class TArt;
class TTextures;
class THues;
class TTiledata;
class TAnimdata;
class TVerdata;
class TMap;
class TStatics;
class TWorldFile;

// The models a scene reads. Any may be null or unloaded; what it would add is then missing.
struct SceneSources {
  TMap* map = nullptr;
  TStatics* statics = nullptr;
  TWorldFile* worldFile = nullptr;
  // The static diffs' items of a rectangle, appended to the list; empty while no diff store is
  // wired in.
  std::function<void(int xa, int xb, int ya, int yb, std::vector<TItem>& list)> diffItems;
  const TArt* art = nullptr;
  const TTextures* textures = nullptr;
  const THues* hues = nullptr;
  const TTiledata* tiledata = nullptr;
  const TAnimdata* animdata = nullptr;
  // Patches of verdata win over the art and texture files' own slots.
  const TVerdata* verdata = nullptr;
};

// Draw order of two items: negative when a is drawn below b (earlier), 0 when they compare equal.
int drawOrder(const TItem& a, const TItem& b, const TTiledata* tiledata);
// Half the diagonal of the w x h world-pixel window in cells: trunc(sqrt(w² + h²) / 2) div 25.
int viewRadius(int w, int h);
// The world-pixel size of the window at a zoom: each side times the zoom, halves to even.
int worldExtent(int clientSide, double zoom);
bool isLandKind(ItemKind kind);
// A statics, world-file or diff item (kinds 3 to 6).
bool isObjectKind(ItemKind kind);

struct ScreenAnchor {
  int left = 0;
  int top = 0;
};

// A cell of the world by its position (not necessarily inside the loaded world).
struct CellPos {
  int x = 0;
  int y = 0;
  bool operator==(const CellPos&) const = default;
};

// A line drawn over the world (marks, outlines) in world pixels, colour 0xAARRGGBB.
struct OverlayLine {
  float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  Pixel colour = 0;
};

// The land brush drawn under the mouse: its cells around `centre` that lie in the loaded world.
struct BrushOutline {
  LandBrush brush;
  CellPos centre;
  Pixel colour = 0;
  bool operator==(const BrushOutline&) const = default;
};

// The looks of a drawn copy, bits of TItem::selected: the item under the mouse takes the
// selection hue; the items of the selection are drawn with a cold tint, so each look says
// one thing whether or not the other holds too.
constexpr std::uint8_t kHoverLook = 1;
constexpr std::uint8_t kSelectionLook = 2;

// A marker on one cell: the first corner of a two-click tool.
struct CellMark {
  CellPos cell;
  Pixel colour = 0;
};
// The top left of an item's picture in world pixels for the view centre (cx, cy) in a w x h
// world-pixel window; pictureHeight is the height of the picture drawn (animated frames differ).
ScreenAnchor screenAnchor(const TItem& item, int cx, int cy, int w, int h, int pictureHeight,
                          bool flat2D);

// The texture cache key of an item: statics and items tile id (or the current frame's art id)
// + 0xF000, land drawn from art its tile id, land drawn as a texture its tile id + 0x8000.
std::int32_t textureKey(const TItem& item, bool flat2D, std::uint32_t artId);
// The hue an item is drawn with: -1 under the mouse (kHoverLook), 0x455 for hue 1, else its hue.
std::int32_t drawHue(const TItem& item);

// One picture ready for a texture: P(w) x P(h) pixels (powers of two), texels of pure white
// transparent (alpha 0), all others opaque. An empty picture draws nothing.
struct ScenePicture {
  std::uint32_t id = 0;  // unique per entry, for the view's own texture objects
  Bitmap32 pixels;
  // The part that can hold opaque texels (the top left); the rest is transparent padding, which
  // a drawing may leave out.
  int contentWidth = 0;
  int contentHeight = 0;
  // A rectangle of texels that are all opaque (the largest one), empty when there is none: what
  // the picture surely covers of the items below it.
  int solidLeft = 0;
  int solidTop = 0;
  int solidWidth = 0;
  int solidHeight = 0;
  bool opaqueAt(int x, int y) const {
    return x >= 0 && y >= 0 && x < pixels.width && y < pixels.height &&
           (pixels.at(x, y) >> 24) != 0;
  }
};

// One quad (or for a sloped land cell, two triangles through its corners) of a frame.
struct DrawCommand {
  std::uint32_t item = 0;   // position in VisibleItems
  std::int32_t serial = 0;  // the serial of the item drawn, as it was when the frame was made
  const ScenePicture* picture = nullptr;
  int left = 0;
  int top = 0;
  bool throughCorners = false;  // kind 2: the corners carry the altitudes, tinted 0.8
  bool web = false;             // the cell outline is drawn
  bool diamondWeb = false;      // the outline is the whole diamond (3D), not two upper edges (2D)
  bool altitudeText = false;    // 2D mode: the altitude at (left + 10, top + 25)
  bool inSelection = false;     // drawn with the selection's tint
  // An animated item: its picture and place change between rebuilds, so it covers nothing for
  // sure and is never hidden.
  bool animated = false;
  // Every window pixel of the quad is covered by the solid part of commands above it: drawing
  // it would change no pixel (its web and altitude text are still drawn).
  bool hidden = false;
  // The world pixels outside this rectangle are covered by the solid parts of commands above:
  // a drawing may leave them out (a texture laid through the corners is drawn whole).
  float clipLeft = -1e9f, clipTop = -1e9f, clipRight = 1e9f, clipBottom = 1e9f;
};

// What changed in the commands since a view last asked: all of them (a new list), or only the
// pictures, tints and places of the commands named (same list, same order, same hidden marks).
struct CommandChanges {
  bool all = true;
  std::vector<std::uint32_t> commands;
};

// The largest rectangle of opaque texels within the top left w x h of a picture.
struct SolidRect {
  int left = 0, top = 0, width = 0, height = 0;
};
SolidRect largestSolidRect(const Bitmap32& picture, int w, int h);

class EditorScene {
public:
  static constexpr int kDefaultCentre = 1580;
  // The zoom stays within these; each step of the keys or the wheel multiplies it by kZoomFactor.
  static constexpr double kMinZoom = 0.1;
  static constexpr double kMaxZoom = 10.1;
  static constexpr double kZoomFactor = 1.25;
  // The zoom `steps` steps away (positive: farther away), within the limits.
  static double steppedZoom(double zoom, int steps);

  explicit EditorScene(SceneSources sources = {});

  void setSources(SceneSources sources);
  const SceneSources& sources() const { return m_sources; }

  // The drawing area's client size in window pixels.
  void setClientSize(int width, int height);
  int clientWidth() const { return m_clientWidth; }
  int clientHeight() const { return m_clientHeight; }
  // World pixels of the window at the current zoom.
  int worldWidth() const { return worldExtent(m_clientWidth, m_zoom); }
  int worldHeight() const { return worldExtent(m_clientHeight, m_zoom); }

  // Moving the centre or changing the zoom requests a rebuild. The centre stays on the loaded
  // world (on the cells items can name while no world is loaded), so a centre typed or stored
  // far outside cannot make the view's rectangle wrap around.
  void setViewCentre(int x, int y);
  int centreX() const { return m_cx; }
  int centreY() const { return m_cy; }
  void setZoom(double zoom);
  double zoom() const { return m_zoom; }
  // Changes the zoom so that the world under window pixel (mx, my) stays there (as nearly as a
  // centre on whole cells allows).
  void zoomAbout(double zoom, int mx, int my);
  // The cells a shift of the view by (dx, dy) world pixels moves its centre, rounded.
  static CellPos cellsForShift(double dx, double dy);
  // The cell whose diamond at the land's altitude 0 holds window pixel (mx, my); it may lie
  // outside the world.
  CellPos cellAt(int mx, int my) const;
  // The cells at the window's four corners (top left, top right, bottom right, bottom left): the
  // view's outline on the world.
  std::array<CellPos, 4> viewCorners() const;
  // The box around those cells: x0, y0, x1, y1 (it may reach outside the world).
  std::array<int, 4> viewBox() const;
  // Whether the cell lies inside the loaded world (any 16-bit cell while none is loaded).
  bool inWorld(CellPos cell) const;
  // The altitude of a cell's land; 0 without a map, outside it, or where the map cannot be read
  // (the rebuild reports that failure).
  int landAltitude(CellPos cell) const;
  // The loaded world's size in cells, or nullopt.
  std::optional<std::pair<int, int>> worldSize() const { return loadedWorldSize(); }

  // Drawn over the world without a rebuild: markers on single cells, and the outer edge of the
  // land brush under the mouse, each edge lifted to its cell's land altitude.
  void setMarks(std::vector<CellMark> marks) { m_marks = std::move(marks); }
  const std::vector<CellMark>& marks() const { return m_marks; }
  void setOutline(std::optional<BrushOutline> outline) { m_outline = std::move(outline); }
  const std::optional<BrushOutline>& outline() const { return m_outline; }
  // The lines of the marks and the outline for the current centre and zoom, in world pixels.
  // Only the outline's edges near the window are made: the work follows the window and the
  // brush's perimeter, never the brush's area.
  std::vector<OverlayLine> overlayLines() const;
  // The land altitudes the last overlayLines read.
  std::size_t overlayCellsRead() const { return m_overlayReads; }

  // What is drawn; each change requests a rebuild.
  void setShowMap(bool on);
  bool showMap() const { return m_showMap; }
  void setFlat2D(bool on);
  bool flat2D() const { return m_flat2D; }
  void setShowAltitudes(bool on);
  bool showAltitudes() const { return m_showAltitudes; }
  void setShowWeb(bool on);
  bool showWeb() const { return m_showWeb; }
  void setSourceStatics(bool on);
  void setSourceWorldFile(bool on);
  void setSourceDiffs(bool on);
  bool sourceStatics() const { return m_srcStatics; }
  bool sourceWorldFile() const { return m_srcWorld; }
  bool sourceDiffs() const { return m_srcDiffs; }
  // Statics and items above this altitude stay in VisibleItems but are not drawn.
  void setMaxZ(int z);
  int maxZ() const { return m_maxZ; }
  // The largest texture side the drawing can take; larger pictures draw nothing.
  void setMaxTextureSide(int side) { m_maxTextureSide = side; }

  // A rebuild asked for from outside reads every cell afresh: the models may have changed. A
  // resort is asked for after the copies were changed.
  void requestRebuild() {
    m_rebuild = true;
    m_keepValid = false;
  }
  void requestResort() {
    m_resort = true;
    m_keepValid = false;
  }
  bool rebuildRequested() const { return m_rebuild; }
  bool resortRequested() const { return m_resort; }
  // Whether the last prepared frame still stands for VisibleItems: false before the first
  // prepare and while a rebuild or resort waits (the copies have moved since).
  bool framePrepared() const { return m_prepared && !m_rebuild && !m_resort && !m_remake; }

  // Called with VisibleItems after every rebuild, so the editor can mark its selected copies.
  void setAfterRebuild(std::function<void(std::vector<TItem>&)> hook) {
    m_afterRebuild = std::move(hook);
  }
  // The editor's copies of the drawn items; tools change them directly (then ask for a resort).
  std::vector<TItem>& visibleItems() { return m_items; }
  const std::vector<TItem>& visibleItems() const { return m_items; }
  // The first visible item with the serial, or nullptr (also for a negative serial).
  TItem* findVisibleItem(std::int32_t serial);

  // Runs the rebuild and the resort when they are requested (prepare does so first).
  void rebuildAndSort();
  // Makes the frame for the tick count now (milliseconds): rebuilds and resorts when requested,
  // advances the animations, walks the items from the top of the draw order down, collects what
  // is drawn and drops the items that left the window or were deleted. Pictures that cannot be
  // made (damaged data, too large) draw nothing and the walk goes on. A model that fails while
  // the items are collected (a file cut short on disk) leaves the items read before it; the
  // failure's text waits in takeProblems() and the rebuild is not tried again until asked for.
  void prepare(std::int64_t now);
  // Failures met while collecting the items since the last call.
  std::vector<std::string> takeProblems() { return std::move(m_problems); }
  // The commands of the last prepare, topmost first.
  const std::vector<DrawCommand>& commands() const { return m_commands; }
  // The tick count at which an animation switches next; nullopt when nothing is animated.
  std::optional<std::int64_t> nextAnimationDue() const;
  // Counts every prepare that produced a different frame (for views that cache their arrays).
  std::uint64_t frameVersion() const { return m_frameVersion; }
  // The changes of the commands since the last call (all of them before the first).
  CommandChanges takeCommandChanges();
  // Whether the last rebuild kept the items of the cells still in view and read only the cells
  // that came into view; false when it read every cell.
  bool lastRebuildKept() const { return m_lastRebuildKept; }
  // Items read from the models by the last rebuild.
  std::size_t lastRebuildRead() const { return m_lastRebuildRead; }

  // The serial of the topmost drawn item whose picture is opaque under window pixel (mx, my) in
  // the last prepared frame, or -1.
  std::int32_t pick(int mx, int my) const;

  // Picture lookups made so far, for tests of the cache.
  std::size_t cachedPictures() const { return m_pictures.size(); }
  // Drops every picture (after an art, hue or texture change made elsewhere).
  void clearPictures();
  // Changes with every clearPictures, so a view can free what it made of the old pictures.
  std::uint64_t pictureGeneration() const { return m_pictureGeneration; }

private:
  struct AnimationState {
    std::uint32_t tileId = 0;
    std::int64_t nextSwitch = -1;
    int frame = 0;
    std::uint32_t artId = 0;
    int artWidth = 0;
    int artHeight = 0;
  };
  struct ArtSize {
    int width = 0;
    int height = 0;
  };
  // An item's place in draw order: its cell sum, then the rest of the keys packed so that one
  // comparison of integers decides (see orderRest).
  struct OrderKey {
    std::int32_t sum = 0;
    std::uint64_t rest = 0;
    bool operator<(const OrderKey& o) const { return sum != o.sum ? sum < o.sum : rest < o.rest; }
  };
  // Cells, both ends included; empty when x0 > x1 or y0 > y1.
  struct CellRect {
    int x0 = 0, x1 = -1, y0 = 0, y1 = -1;
    bool empty() const { return x0 > x1 || y0 > y1; }
    bool contains(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
    bool operator==(const CellRect&) const = default;
  };
  // What a copy looked like when the frame was made: a change of hue or look redraws its
  // command, any other change of a copy makes the frame afresh.
  struct ItemLook {
    std::int32_t serial = 0;
    std::uint16_t tileId = 0, x = 0, y = 0, hue = 0;
    std::int16_t width = 0, height = 0;
    std::int8_t z = 0;
    std::uint8_t selected = 0, deleted = 0, animated = 0;
    ItemKind kind = ItemKind::None;
    static ItemLook of(const TItem& it) {
      return {it.serial, it.tileId, it.x, it.y, it.hue, it.width, it.height,
              it.z,      it.selected, it.deleted, it.animated, it.kind};
    }
    bool sameButLook(const ItemLook& o) const {
      return serial == o.serial && tileId == o.tileId && x == o.x && y == o.y &&
             width == o.width && height == o.height && z == o.z && deleted == o.deleted &&
             animated == o.animated && kind == o.kind;
    }
    bool operator==(const ItemLook&) const = default;
  };
  void rebuild();
  void resort();
  // The cells read for the view centre and size: the square of viewRadius + 2 around the centre.
  CellRect squareOfView() const;
  // The map blocks the map hands out land for when asked for the cells of `square`.
  CellRect landBlocksOf(const CellRect& square) const;
  // Reads the objects of `cells` and the land of the map blocks `blocks` into `into`; a model
  // that fails leaves what was read before and its text in the problems. False on a failure.
  bool readItems(const std::vector<CellRect>& cells, const std::vector<CellRect>& blocks,
                 std::vector<TItem>& into);
  // The key of an item; the tile data's answers are remembered in m_tileOrder.
  OrderKey orderKeyOf(const TItem& item);
  // The items one call of a model handed out, and the key of the first of them.
  struct ReadSegment {
    std::uint32_t start = 0;
    std::uint32_t count = 0;
    std::uint64_t first = 0;
  };
  static constexpr int kZwShift = 44;
  // Sorts `from` into draw order into `to` and `keys`; `segments`, when given, are the calls
  // that read it (see readItems).
  void sortItems(const std::vector<TItem>& from, const std::vector<ReadSegment>* segments,
                 std::vector<TItem>& to, std::vector<OrderKey>& keys);
  // Makes the commands from the items; the frame is made afresh.
  void makeCommands(std::int64_t now);
  // Redraws the commands of the copies whose hue or look changed and of the animations that
  // switched frames; false when that cannot be done without making the frame afresh.
  bool refreshCommands(std::int64_t now, const std::vector<std::uint32_t>& looks, bool switched);
  // Compares the copies with their looks at the last frame: nullopt when one changed more than
  // its hue or look (or copies were added or removed), else the copies whose look changed.
  std::optional<std::vector<std::uint32_t>> changedLooks() const;
  bool advanceAnimations(std::int64_t now);
  // Marks the commands whose every window pixel lies under the solid rectangles of commands
  // drawn above them.
  void markHidden();
  AnimationState& animationOf(std::uint32_t tileId, std::int64_t now);
  // The size of static art as it is drawn: a verdata patch's, else the art file's.
  ArtSize frameSize(std::uint32_t artId);
  // The loaded world's size in cells (the map's, else the statics'), or nullopt.
  std::optional<std::pair<int, int>> loadedWorldSize() const;
  void clampCentre();
  const ScenePicture* pictureFor(const TItem& item, std::int32_t key, std::int32_t hue,
                                 std::uint32_t artId, int pictureHeight);
  Bitmap32 makePicture(const TItem& item, std::int32_t hue, std::uint32_t artId,
                       int pictureHeight) const;
  // The command of one item as the frame shows it now; false when the item draws nothing.
  bool commandOf(std::uint32_t pos, std::int64_t now, DrawCommand& c, bool& outside);
  bool changeSetting(bool& field, bool on);
  // The diamond's corners of a cell at its land's altitude (0 in the flat view), moved `inset`
  // pixels inwards: top, right, bottom, left, in world pixels.
  std::array<std::pair<float, float>, 4> cornersOf(CellPos cell, float inset) const;
  void appendOutline(std::vector<OverlayLine>& lines) const;
  void noteAllChanged();

  SceneSources m_sources;
  int m_clientWidth = 800;
  int m_clientHeight = 600;
  int m_cx = kDefaultCentre;
  int m_cy = kDefaultCentre;
  double m_zoom = 1.0;
  bool m_showMap = true;
  bool m_flat2D = false;
  bool m_showAltitudes = true;
  bool m_showWeb = false;
  bool m_srcStatics = true;
  bool m_srcWorld = true;
  bool m_srcDiffs = true;
  int m_maxZ = 127;
  int m_maxTextureSide = 4096;
  bool m_rebuild = true;
  bool m_resort = false;
  bool m_prepared = false;
  // The commands must be made afresh: the items were rebuilt or sorted, or a setting changed.
  bool m_remake = true;
  std::vector<TItem> m_items;
  // The draw order keys of m_items, while the copies are as the scene left them.
  std::vector<OrderKey> m_itemKeys;
  // Every item of the read square in draw order, once the window left some of them out: a later
  // rebuild for a moved view takes them from here instead of reading their cells again. Empty
  // while the copies hold every item read.
  std::vector<TItem> m_pool;
  std::vector<OrderKey> m_poolKeys;
  // Per pool item: its copy stands for it (the copies are these, in order), it lies off the
  // window, or it was deleted.
  static constexpr std::uint8_t kInCopies = 0, kOffWindow = 1, kDropped = 2;
  std::vector<std::uint8_t> m_poolState;
  // Items off the window copied aside, in draw order, when the window left only a few out.
  struct KeyedItem {
    OrderKey key;
    TItem item;
  };
  std::vector<KeyedItem> m_offWindow;
  // The copies and the pool hold every item of m_square as the models hand them out.
  bool m_keepValid = false;
  CellRect m_square;
  CellRect m_landBlocks;
  bool m_lastRebuildKept = false;
  std::size_t m_lastRebuildRead = 0;
  std::function<void(std::vector<TItem>&)> m_afterRebuild;
  std::vector<AnimationState> m_animations;
  std::unordered_map<std::uint64_t, std::unique_ptr<ScenePicture>> m_pictures;
  // The last pictures looked up, by a hash of their ids: neighbours mostly share pictures.
  struct RecentPicture {
    std::uint64_t id = ~std::uint64_t{0};
    const ScenePicture* picture = nullptr;
  };
  std::array<RecentPicture, 256> m_recentPictures{};
  std::uint32_t m_nextPictureId = 1;
  std::uint64_t m_pictureGeneration = 0;
  std::uint64_t m_commandsGeneration = ~std::uint64_t{0};
  std::unordered_map<std::uint32_t, ArtSize> m_frameSizes;
  std::vector<std::string> m_problems;
  std::vector<DrawCommand> m_commands;
  // The command of each copy, or -1 when it draws nothing.
  std::vector<std::int32_t> m_commandOf;
  std::vector<ItemLook> m_looks;
  std::vector<std::uint32_t> m_animatedItems;  // copies whose command shows an animation
  CommandChanges m_changes;
  std::uint64_t m_frameVersion = 0;
  struct SortEntry {
    std::uint64_t rest;
    std::uint32_t index;
  };
  std::vector<SortEntry> m_sortEntries;
  std::vector<std::int32_t> m_sortSums;
  std::vector<std::uint32_t> m_sortStarts;
  std::vector<std::uint32_t> m_sortNext;
  std::vector<std::uint64_t> m_sortRests;
  // Per static tile during a sort: its weight * 256 + height in draw order, or -1 not asked yet.
  std::vector<std::int16_t> m_tileOrder;
  std::vector<std::uint32_t> m_newPos;
  std::vector<TItem> m_readItems;    // what a rebuild reads, before it is sorted
  std::vector<TItem> m_readPart;
  std::vector<ReadSegment> m_readSegments;
  std::vector<ReadSegment> m_segmentOrder;
  std::vector<TItem> m_sortedItems;  // the storage the next sort or merge writes into
  std::vector<OrderKey> m_sortedKeys;
  std::vector<std::uint8_t> m_gone;
  std::vector<std::uint8_t> m_covered;  // blocks of window pixels covered, while marking
  std::vector<CellMark> m_marks;
  std::optional<BrushOutline> m_outline;
  mutable std::size_t m_overlayReads = 0;
};

}  // namespace quillotide
