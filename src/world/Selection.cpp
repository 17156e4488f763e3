#include "world/Selection.h"

#include <algorithm>
#include <cmath>

#include "app/Error.h"
#include "app/Text.h"
#include "world/EditorScene.h"
#include "world/Map.h"
#include "world/StaticDiff.h"
#include "world/Statics.h"
#include "world/WorldFile.h"

namespace quillotide {

namespace {

// The owners a selected item can have, as the key's high word.
enum Owner : std::uint32_t { kStatics = 0, kDiffs = 1, kWorld = 2, kNoOwner = 3 };

Owner ownerOf(ItemKind kind) {
  switch (kind) {
    case ItemKind::Static:
      return kStatics;
    case ItemKind::DiffStatic:
      return kDiffs;
    case ItemKind::WorldWritten:
    case ItemKind::WorldUnwritten:
      return kWorld;
    default:
      return kNoOwner;
  }
}

std::uint64_t generationOf(const WorldModels& m, std::uint32_t owner) {
  switch (owner) {
    case kStatics:
      return m.statics ? m.statics->generation() : 0;
    case kDiffs:
      return m.diffs ? m.diffs->generation() : 0;
    default:
      return m.world ? m.world->generation() : 0;
  }
}

std::optional<TItem> heldItem(const WorldModels& m, std::uint32_t owner, std::int32_t serial) {
  switch (owner) {
    case kStatics:
      return m.statics ? m.statics->item(serial) : std::nullopt;
    case kDiffs:
      return m.diffs ? m.diffs->item(serial) : std::nullopt;
    default:
      return m.world ? m.world->item(serial) : std::nullopt;
  }
}

// Group texts may name positions anywhere a 16-bit world reaches, relative to either end.
constexpr ValueRange kGroupPosition{-0xFFFF, 0xFFFF};
constexpr ValueRange kGroupHeight{-0xFF, 0xFF};
// id, x, y, z, hue
constexpr std::size_t kGroupValues = 5;

}  // namespace

WorldBounds worldBoundsOf(const WorldModels& m) {
  if (m.map && m.map->isLoaded()) return {m.map->width(), m.map->height()};
  if (m.statics && m.statics->isLoaded()) return {m.statics->width(), m.statics->height()};
  if (m.diffs && m.diffs->isLoaded()) return {m.diffs->width(), m.diffs->height()};
  return {kWorldFileWidth, kWorldFileHeight};
}

std::string leftOutMessage(std::size_t leftOut) {
  if (leftOut == 0) return {};
  if (leftOut == 1) return "1 item was left out: it would lie outside the world.";
  return formatMessage("%d items were left out: they would lie outside the world.",
                       {std::to_string(leftOut)});
}

std::string groupText(const std::vector<TItem>& items, int groundZ) {
  std::string out;
  if (items.empty()) return out;
  const TItem& first = items.front();
  for (const TItem& it : items) {
    out += plainWorldLine(it.tileId, std::int64_t(it.x) - first.x, std::int64_t(it.y) - first.y,
                          std::int64_t(it.z) - groundZ, it.hue);
    out += '\n';
  }
  return out;
}

std::vector<GroupItem> parseGroupText(const std::string& text) {
  std::vector<GroupItem> group;
  const std::vector<std::string> lines = splitLines(text);
  TextItem first;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    // Text editors and mail add blank lines and trailing blanks; neither is an item.
    const std::string line = trim(lines[i]);
    if (line.empty()) continue;
    TextItem p;
    try {
      const std::size_t values = split(line, " ").size();
      if (values < kGroupValues)
        throw Error(formatMessage("'%s' holds %d of the 5 values of an item: id x y z hue.",
                                  {line, std::to_string(values)}));
      p = readPlainWorldLine(line, i + 1, kGroupPosition, kGroupHeight);
      requireInRange(i + 1, "the id", p.id, {0, kLastGroupId});
    } catch (const Error& e) {
      const std::string said = e.what();
      if (said.rfind("Line ", 0) == 0) throw;
      throw Error(formatMessage("Line %d: %s", {std::to_string(i + 1), said}));
    }
    if (group.empty()) first = p;
    group.push_back({static_cast<std::uint16_t>(p.id), p.x - first.x, p.y - first.y, p.z,
                     static_cast<std::uint16_t>(p.hue)});
  }
  return group;
}

std::vector<std::size_t> objectsInBand(const EditorScene& scene, int x0, int y0, int x1, int y1) {
  std::vector<std::size_t> hits;
  const double zoom = scene.zoom();
  // The band's world pixels: a window pixel covers zoom x zoom of them.
  const double left = std::min(x0, x1) * zoom;
  const double right = (std::max(x0, x1) + 1) * zoom;
  const double top = std::min(y0, y1) * zoom;
  const double bottom = (std::max(y0, y1) + 1) * zoom;
  const std::vector<TItem>& items = scene.visibleItems();
  for (const DrawCommand& c : scene.commands()) {
    if (c.item >= items.size() || !isObjectKind(items[c.item].kind) || !c.picture) continue;
    const ScenePicture& pic = *c.picture;
    const int u0 = std::max(0, static_cast<int>(std::floor(left)) - c.left);
    const int v0 = std::max(0, static_cast<int>(std::floor(top)) - c.top);
    const int u1 = std::min(pic.contentWidth, static_cast<int>(std::ceil(right)) - c.left);
    const int v1 = std::min(pic.contentHeight, static_cast<int>(std::ceil(bottom)) - c.top);
    bool touched = false;
    for (int v = v0; v < v1 && !touched; ++v)
      for (int u = u0; u < u1 && !touched; ++u) touched = pic.opaqueAt(u, v);
    if (touched) hits.push_back(c.item);
  }
  return hits;
}

std::uint64_t Selection::keyOf(const TItem& item) {
  return (static_cast<std::uint64_t>(ownerOf(item.kind)) << 32) |
         static_cast<std::uint32_t>(item.serial);
}

bool Selection::contains(const TItem& item) const {
  return ownerOf(item.kind) != kNoOwner && m_keys.contains(keyOf(item));
}

void Selection::insert(std::uint64_t key) {
  if (m_keys.insert(key).second) m_order.push_back(key);
}

void Selection::erase(std::uint64_t key) {
  if (m_keys.erase(key)) m_order.erase(std::find(m_order.begin(), m_order.end(), key));
}

void Selection::add(const TItem& item) {
  if (ownerOf(item.kind) != kNoOwner) insert(keyOf(item));
}

void Selection::remove(const TItem& item) {
  if (ownerOf(item.kind) != kNoOwner) erase(keyOf(item));
}

void Selection::toggle(const TItem& item) {
  if (contains(item))
    remove(item);
  else
    add(item);
}

void Selection::clear() {
  m_order.clear();
  m_keys.clear();
}

void Selection::follow(const WorldModels& models) {
  bool dropped[3] = {};
  for (std::uint32_t owner = 0; owner < 3; ++owner) {
    const std::uint64_t now = generationOf(models, owner);
    dropped[owner] = now != m_generations[owner];
    m_generations[owner] = now;
  }
  const std::size_t worldSize = models.world ? models.world->size() : 0;
  const bool worldShrank = worldSize < m_worldSize;
  m_worldSize = worldSize;
  if (m_order.empty()) return;
  if (!dropped[0] && !dropped[1] && !dropped[2] && !worldShrank) return;
  // A serial of another generation names another item, or none; so does a world-file serial
  // past the end of the list.
  const auto gone = [&](std::uint64_t key) {
    const auto owner = static_cast<std::uint32_t>(key >> 32);
    const std::int64_t pos =
        std::int64_t(static_cast<std::int32_t>(key & 0xFFFFFFFF)) - kWorldSerialBase;
    return dropped[owner] || (owner == kWorld && pos >= static_cast<std::int64_t>(worldSize));
  };
  std::vector<std::uint64_t> kept;
  for (const std::uint64_t key : m_order)
    if (!gone(key)) kept.push_back(key);
  m_order.swap(kept);
  m_keys = {m_order.begin(), m_order.end()};
}

void Selection::mark(std::vector<TItem>& copies, const WorldModels& models) {
  follow(models);
  for (TItem& it : copies)
    if (ownerOf(it.kind) != kNoOwner && m_keys.contains(keyOf(it))) it.selected |= kSelectionLook;
}

std::vector<TItem> Selection::items(const WorldModels& models) {
  follow(models);
  std::vector<TItem> out;
  out.reserve(m_order.size());
  std::vector<std::uint64_t> kept;
  kept.reserve(m_order.size());
  for (const std::uint64_t key : m_order) {
    const auto held = heldItem(models, static_cast<std::uint32_t>(key >> 32),
                               static_cast<std::int32_t>(key & 0xFFFFFFFF));
    if (!held || held->deleted) continue;
    kept.push_back(key);
    out.push_back(*held);
  }
  if (kept.size() != m_order.size()) {
    m_order.swap(kept);
    m_keys = {m_order.begin(), m_order.end()};
  }
  return out;
}

template <class Edit>
BulkResult Selection::editEach(WorldEdits& edits, const std::string& label, Edit&& edit) {
  BulkResult result;
  const std::vector<TItem> chosen = items(edits.models());
  if (chosen.empty()) return result;
  const UndoGroup step(edits.stack(), label);
  for (const TItem& it : chosen) {
    if (edit(it))
      ++result.changed;
    else
      ++result.leftOut;
  }
  return result;
}

bool moveWithin(WorldEdits& edits, const TItem& item, int dx, int dy, int dz,
                const WorldBounds& bounds, const std::string& label) {
  if (!bounds.contains(std::int64_t(item.x) + dx, std::int64_t(item.y) + dy)) return false;
  try {
    edits.move(item, dx, dy, clampAltitude(std::int64_t(item.z) + dz) - item.z, label);
  } catch (const Error&) {
    // The owner keeps the item where it was; it counts as left out.
    return false;
  }
  return true;
}

BulkResult Selection::move(WorldEdits& edits, int dx, int dy, int dz, const std::string& label) {
  const WorldBounds bounds = worldBoundsOf(edits.models());
  return editEach(edits, label, [&](const TItem& it) {
    return moveWithin(edits, it, dx, dy, dz, bounds, label);
  });
}

BulkResult Selection::remove(WorldEdits& edits, const std::string& label) {
  const BulkResult result = editEach(edits, label, [&](const TItem& it) {
    edits.remove(it, label);
    return true;
  });
  clear();
  return result;
}

BulkResult Selection::setHue(WorldEdits& edits, std::uint16_t hue, const std::string& label) {
  return editEach(edits, label, [&](const TItem& it) {
    if (it.hue != hue) edits.setHue(it, hue, label);
    return true;
  });
}

BulkResult Selection::setTileId(WorldEdits& edits, std::uint16_t id, const std::string& label) {
  return editEach(edits, label, [&](const TItem& it) {
    if (it.tileId != id) edits.setTileId(it, id, label);
    return true;
  });
}

BulkResult Selection::paste(WorldEdits& edits, const std::vector<GroupItem>& group, int x, int y,
                            int groundZ, const std::string& label) {
  BulkResult result;
  if (group.empty()) return result;
  const WorldBounds bounds = worldBoundsOf(edits.models());
  std::vector<TItem> placed;
  {
    const UndoGroup step(edits.stack(), label);
    for (const GroupItem& g : group) {
      const std::int64_t px = std::int64_t(x) + g.dx;
      const std::int64_t py = std::int64_t(y) + g.dy;
      if (!bounds.contains(px, py)) {
        ++result.leftOut;
        continue;
      }
      TItem made;
      made.serial = edits.add(g.id, static_cast<std::uint16_t>(px), static_cast<std::uint16_t>(py),
                              clampAltitude(std::int64_t(groundZ) + g.dz), g.hue, label);
      made.kind = ItemKind::WorldUnwritten;
      placed.push_back(made);
      ++result.changed;
    }
  }
  clear();
  follow(edits.models());
  for (const TItem& it : placed) add(it);
  return result;
}

}  // namespace quillotide
