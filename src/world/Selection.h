#pragma once
// Selection: the world editor's selected items, named by owner and serial (a static, a diff item
// or a world-file item), and what is done with them as a whole. Every bulk edit goes through the
// session's recorder (WorldEdits) item by item inside one undo group, so one move, delete,
// recolour, retype or paste of any number of items is one step that undo takes back exactly.
//
// A group travels as text: the plain world-file line "0x%x %d %d %d 0x%x" per item (id, x, y, z,
// hue), x and y relative to the first item, z as the height above the ground of the first item's
// cell. Pasting puts the first item on a cell, on that cell's ground, and the others around it
// as new world-file items.

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "world/Item.h"
#include "world/WorldUndo.h"

namespace quillotide {

class EditorScene;

// The cells items may stand on: 0 <= x < width, 0 <= y < height.
struct WorldBounds {
  int width = kMaxWorldSide;
  int height = kMaxWorldSide;
  bool contains(std::int64_t x, std::int64_t y) const {
    return x >= 0 && y >= 0 && x < width && y < height;
  }
};
// The loaded world's size: the map's, else the statics', else the diff store's, else the classic
// 6144 x 4096.
WorldBounds worldBoundsOf(const WorldModels& models);

// What a bulk edit did: the items it changed, and those it left where they were because the edit
// would have put them outside the world (or the owner refused the position).
struct BulkResult {
  std::size_t changed = 0;
  std::size_t leftOut = 0;
};
// "%d items were left out: they would lie outside the world." (1 item ... it would ...), or an
// empty text when none was left out.
std::string leftOutMessage(std::size_t leftOut);

// Moves one item by (dx, dy, dz), z clamped to -128 .. 127, when its new cell lies within the
// bounds and its owner takes it there (a diff item cannot enter a block its diff does not hold);
// false, with nothing changed, otherwise. Every move of the editor keeps to this rule.
bool moveWithin(WorldEdits& edits, const TItem& item, int dx, int dy, int dz,
                const WorldBounds& bounds, const std::string& label);

// The highest tile id a group may place: the last static the tool windows offer.
constexpr int kLastGroupId = 0x3FFF;

// One item of a group, relative to the group's first item.
struct GroupItem {
  std::uint16_t id = 0;
  int dx = 0;
  int dy = 0;
  int dz = 0;
  std::uint16_t hue = 0;
  bool operator==(const GroupItem&) const = default;
};

// The group of `items` (the first one is the anchor) as text, one line per item, "\n" after
// each; groundZ is the ground's altitude at the first item's cell.
std::string groupText(const std::vector<TItem>& items, int groundZ);
// Reads a group from text: lines of the plain world-file format, positions taken relative to the
// first line (so a saved world file reads as a group too). Empty lines are skipped. A line that
// does not parse, lacks one of the five values or names an id above kLastGroupId throws Error
// naming the line ("Line %d: ..."); an empty text gives no items.
std::vector<GroupItem> parseGroupText(const std::string& text);

// The positions in VisibleItems of the statics, world-file and diff items of the scene's last
// prepared frame whose picture has an opaque pixel inside the window rectangle of corners
// (x0, y0) and (x1, y1), both included: what a rubber band touches. Topmost first.
std::vector<std::size_t> objectsInBand(const EditorScene& scene, int x0, int y0, int x1, int y1);

class Selection {
public:
  bool empty() const { return m_order.empty(); }
  std::size_t size() const { return m_order.size(); }
  bool contains(const TItem& item) const;
  // Land cells and items of no kind are never selected: these do nothing for them.
  void add(const TItem& item);
  void remove(const TItem& item);
  void toggle(const TItem& item);
  void clear();
  // Takes note of the owners' generations: the items of an owner that numbered its items afresh
  // since are forgotten (their serials name other items now). Call it before adding items.
  void follow(const WorldModels& models);

  // Sets kSelectionLook in every copy the selection holds, for drawing them tinted (the other
  // bits stay: the hovered item's highlight); follows the owners first.
  void mark(std::vector<TItem>& copies, const WorldModels& models);
  // The selected items as their owners hold them now, in the order they were selected; items
  // deleted or gone are left out (and forgotten).
  std::vector<TItem> items(const WorldModels& models);

  // Bulk edits, each one undo step named `label`. A move leaves out the items that would leave
  // the world; z is clamped to -128 .. 127 per item. A delete empties the selection.
  BulkResult move(WorldEdits& edits, int dx, int dy, int dz, const std::string& label = "Move");
  BulkResult remove(WorldEdits& edits, const std::string& label = "Delete");
  BulkResult setHue(WorldEdits& edits, std::uint16_t hue, const std::string& label = "Colour");
  BulkResult setTileId(WorldEdits& edits, std::uint16_t id, const std::string& label = "Set Id");
  // Places the group with its first item on cell (x, y) standing on groundZ, as new world-file
  // items; the ones that would lie outside the world are left out. The placed items become the
  // selection. One undo step.
  BulkResult paste(WorldEdits& edits, const std::vector<GroupItem>& group, int x, int y,
                   int groundZ, const std::string& label = "Paste");

private:
  static std::uint64_t keyOf(const TItem& item);
  void insert(std::uint64_t key);
  void erase(std::uint64_t key);
  template <class Edit>
  BulkResult editEach(WorldEdits& edits, const std::string& label, Edit&& edit);

  std::vector<std::uint64_t> m_order;
  std::unordered_set<std::uint64_t> m_keys;
  // The owners' generations when their first item was selected: statics, diffs, world file.
  std::uint64_t m_generations[3] = {};
  // The world file's length at the last follow: a clear or an undone add shortens it, and the
  // serials past its end come back for new items.
  std::size_t m_worldSize = 0;
};

}  // namespace quillotide
