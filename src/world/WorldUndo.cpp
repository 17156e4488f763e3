#include "world/WorldUndo.h"

#include <array>
#include <climits>
#include <cstdint>
#include <utility>
#include <map>
#include <memory>
#include <optional>
#include <tuple>

#include "app/Error.h"
#include "world/Items.h"
#include "world/Map.h"
#include "world/StaticDiff.h"
#include "world/Statics.h"

namespace quillotide {

namespace {

enum class Owner { None, Statics, Diffs, World };

Owner ownerOf(ItemKind kind) {
  switch (kind) {
    case ItemKind::Static:
      return Owner::Statics;
    case ItemKind::DiffStatic:
      return Owner::Diffs;
    case ItemKind::WorldWritten:
    case ItemKind::WorldUnwritten:
      return Owner::World;
    default:
      return Owner::None;
  }
}

std::uint32_t partOf(Owner owner) {
  switch (owner) {
    case Owner::Statics:
      return partBit(WorldPart::Statics);
    case Owner::Diffs:
      return partBit(WorldPart::Diffs);
    case Owner::World:
      return partBit(WorldPart::WorldFile);
    default:
      return 0;
  }
}

// What an item holds that a save writes.
using ItemKey = std::tuple<std::uint16_t, std::uint16_t, std::uint16_t, std::int8_t, std::uint16_t>;
ItemKey keyOf(const TItem& it) { return {it.tileId, it.x, it.y, it.z, it.hue}; }

// The calls every owner answers alike, chosen by the owner.
class OwnerAccess {
public:
  OwnerAccess(const WorldModels& m, Owner owner) : m_m(m), m_owner(owner) {}

  bool present() const {
    if (!m_m.items) return false;
    switch (m_owner) {
      case Owner::Statics:
        return m_m.statics != nullptr;
      case Owner::Diffs:
        return m_m.diffs != nullptr;
      case Owner::World:
        return m_m.world != nullptr;
      default:
        return false;
    }
  }
  std::optional<TItem> item(std::int32_t serial) const {
    switch (m_owner) {
      case Owner::Statics:
        return m_m.statics->item(serial);
      case Owner::Diffs:
        return m_m.diffs->item(serial);
      default:
        return m_m.world->item(serial);
    }
  }
  std::uint64_t generation() const {
    switch (m_owner) {
      case Owner::Statics:
        return m_m.statics->generation();
      case Owner::Diffs:
        return m_m.diffs->generation();
      default:
        return m_m.world->generation();
    }
  }
  // The block whose change mark a save reads; -1 where there is none (world-file items).
  std::int64_t blockOf(std::int64_t x, std::int64_t y) const {
    switch (m_owner) {
      case Owner::Statics:
        return m_m.statics->blockOf(x, y);
      case Owner::Diffs:
        return m_m.diffs->blockOf(x, y);
      default:
        return -1;
    }
  }
  bool blockChanged(std::int64_t b) const {
    if (b < 0) return false;
    return m_owner == Owner::Statics ? m_m.statics->blockChanged(b) : m_m.diffs->blockChanged(b);
  }
  void setBlockChanged(std::int64_t b, bool changed) const {
    if (b < 0) return;
    if (m_owner == Owner::Statics)
      m_m.statics->setBlockChanged(b, changed);
    else
      m_m.diffs->setBlockChanged(b, changed);
  }
  // An undeleted item holding what `look` holds, found where it stands.
  std::optional<std::int32_t> findLike(const TItem& look) const {
    std::vector<TItem> here;
    switch (m_owner) {
      case Owner::Statics:
        here = m_m.statics->itemsAt(look.x, look.y);
        break;
      case Owner::Diffs:
        m_m.diffs->appendItemsInRect(look.x, look.x, look.y, look.y, here);
        break;
      default:
        // World-file items may lie beyond the rectangle query's world; the list is searched.
        for (const TItem& it : m_m.world->items())
          if (!it.deleted && keyOf(it) == keyOf(look)) return it.serial;
        return std::nullopt;
    }
    for (const TItem& it : here)
      if (keyOf(it) == keyOf(look)) return it.serial;
    return std::nullopt;
  }
  // A deleted item that a save has dropped comes back as a new one holding the same.
  std::int32_t recreate(const TItem& look) const {
    switch (m_owner) {
      case Owner::Statics:
        return m_m.statics->add(look.tileId, look.x, look.y, look.z, look.hue);
      case Owner::Diffs:
        return m_m.diffs->addItem(look.tileId, look.x, look.y, look.z, look.hue);
      default:
        return m_m.items->add(look.tileId, look.x, look.y, look.z, look.hue);
    }
  }

private:
  const WorldModels& m_m;
  Owner m_owner;
};

// What of an item an edit changes and a save writes; kept small, a nuke records many.
struct ItemFields {
  std::uint16_t tileId = 0;
  std::uint16_t x = 0;
  std::uint16_t y = 0;
  std::uint16_t hue = 0;
  std::int8_t z = 0;
  bool deleted = false;

  static ItemFields of(const TItem& it) {
    return {it.tileId, it.x, it.y, it.hue, it.z, it.deleted != 0};
  }
  TItem look() const {
    TItem it = placedItem(tileId, x, y, z, hue, 0, ItemKind::None);
    it.deleted = deleted ? 1 : 0;
    return it;
  }
};

// One recorded item edit. The serial and its generation follow the item when it is found again
// after its owner numbered its items afresh; the marks stay those of the generation recorded.
struct ItemChange {
  WorldModels models;
  Owner owner = Owner::None;
  std::int32_t serial = 0;
  std::uint64_t generation = 0;
  std::uint64_t marksGeneration = 0;
  ItemFields before;
  ItemFields after;
  std::array<std::int64_t, 2> blocks{-1, -1};
  std::array<bool, 2> marksBefore{};
  std::array<bool, 2> marksAfter{};
};

// Counts an edit of the recorder for its lifetime, also when the edit throws.
struct Recording {
  explicit Recording(int& depth) : m_depth(depth) { ++m_depth; }
  ~Recording() { --m_depth; }
  Recording(const Recording&) = delete;
  Recording& operator=(const Recording&) = delete;
  int& m_depth;
};

// No owner's generation: marks recorded under it are never restored.
constexpr std::uint64_t kNoGeneration = UINT64_MAX;

// Where a world-file item went that a save with new items included wrote into the statics or
// the diffs: found there by what it holds.
std::optional<std::pair<Owner, std::int32_t>> findMoved(const WorldModels& m, const TItem& look) {
  for (const Owner owner : {Owner::Statics, Owner::Diffs}) {
    const OwnerAccess o(m, owner);
    if (!o.present()) continue;
    if (const auto serial = o.findLike(look)) return std::pair{owner, *serial};
  }
  return std::nullopt;
}

// Brings the item from one recorded state to the other through the dispatcher.
void bring(ItemChange& c, bool forward) {
  const WorldModels& m = c.models;
  if (!OwnerAccess(m, c.owner).present()) return;
  const ItemFields& from = forward ? c.before : c.after;
  const ItemFields& to = forward ? c.after : c.before;
  std::optional<std::int32_t> serial;
  {
    const OwnerAccess held(m, c.owner);
    if (held.generation() == c.generation)
      serial = c.serial;
    else if (!from.deleted)
      serial = held.findLike(from.look());
  }
  if (!serial && c.owner == Owner::World && !from.deleted)
    if (const auto moved = findMoved(m, from.look())) {
      c.owner = moved->first;
      serial = moved->second;
      c.marksGeneration = kNoGeneration;  // the marks were another owner's
    }
  const OwnerAccess o(m, c.owner);
  if (!serial) {
    // The owner no longer holds the item: a delete saved since comes back as a new item; an
    // item found nowhere is left alone.
    if (from.deleted && !to.deleted) {
      c.serial = o.recreate(to.look());
      c.generation = o.generation();
    }
    return;
  }
  c.serial = *serial;
  c.generation = o.generation();
  const std::optional<TItem> current = o.item(*serial);
  if (!current) return;
  const TItem& it = *current;
  if (to.deleted) {
    if (!it.deleted) m.items->remove(&it);
  } else {
    if (it.deleted) m.items->restore(&it);
    if (it.hue != to.hue) m.items->setHue(&it, to.hue);
    if (it.tileId != to.tileId) m.items->setTileId(&it, to.tileId);
    if (it.x != to.x || it.y != to.y || it.z != to.z)
      m.items->move(&it, to.x - it.x, to.y - it.y, to.z - it.z);
  }
  if (o.generation() == c.marksGeneration) {
    const auto& marks = forward ? c.marksAfter : c.marksBefore;
    for (std::size_t i = 0; i < c.blocks.size(); ++i) o.setBlockChanged(c.blocks[i], marks[i]);
  }
}

// Makes the world file's undeleted items go from `from` to `to` by what they hold: the way back
// once a save has dropped or renumbered items.
void shiftWorld(const WorldModels& m, const std::vector<TItem>& from,
                const std::vector<TItem>& to) {
  std::map<ItemKey, std::int64_t> delta;
  for (const TItem& it : to)
    if (!it.deleted) ++delta[keyOf(it)];
  for (const TItem& it : from)
    if (!it.deleted) --delta[keyOf(it)];
  const std::vector<TItem> held = m.world->items();
  for (const TItem& it : held) {
    if (it.deleted) continue;
    const auto found = delta.find(keyOf(it));
    if (found == delta.end() || found->second >= 0) continue;
    m.items->remove(&it);
    ++found->second;
  }
  for (const auto& [key, count] : delta)
    for (std::int64_t i = 0; i < count; ++i)
      m.items->add(std::get<0>(key), std::get<1>(key), std::get<2>(key), std::get<3>(key),
                   std::get<4>(key));
}

struct ListChange {
  std::vector<TItem> before;
  std::vector<TItem> after;
  std::uint64_t generation = 0;
};

void bringList(const WorldModels& m, ListChange& c, bool forward) {
  if (!m.world) return;
  const std::vector<TItem>& from = forward ? c.before : c.after;
  const std::vector<TItem>& to = forward ? c.after : c.before;
  if (m.world->generation() == c.generation) {
    m.world->assign(to);
    return;
  }
  if (m.items) shiftWorld(m, from, to);
}

// A new world-file item; followed into the statics or the diffs when a save took it there.
struct Added {
  WorldModels models;
  Owner owner = Owner::World;
  std::int32_t serial = 0;
  std::uint64_t generation = 0;
  TItem item;

  void follow(Owner to, std::int32_t newSerial) {
    owner = to;
    serial = newSerial;
    generation = OwnerAccess(models, to).generation();
  }
  void redo() {
    const OwnerAccess o(models, owner);
    // Within the generation the item comes back with its serial.
    if (o.generation() == generation)
      if (const auto held = o.item(serial); held && held->deleted) {
        models.items->restore(&*held);
        return;
      }
    follow(Owner::World, models.items->add(item.tileId, item.x, item.y, item.z, item.hue));
  }
  void undo() {
    TWorldFile& w = *models.world;
    const OwnerAccess o(models, owner);
    if (o.generation() == generation) {
      // The newest world-file item goes as if it had never been made.
      if (owner == Owner::World && static_cast<std::int64_t>(serial) - kWorldSerialBase + 1 ==
                                       static_cast<std::int64_t>(w.size())) {
        w.truncate(w.size() - 1);
        return;
      }
      if (const auto held = o.item(serial)) {
        models.items->remove(&*held);
        return;
      }
    }
    std::optional<std::pair<Owner, std::int32_t>> found;
    if (const auto here = OwnerAccess(models, Owner::World).findLike(item))
      found = std::pair{Owner::World, *here};
    else
      found = findMoved(models, item);
    if (!found) return;
    follow(found->first, found->second);
    if (const auto held = OwnerAccess(models, owner).item(serial)) models.items->remove(&*held);
  }
};

void putCell(TMap& map, int x, int y, std::uint16_t id, std::int8_t z) {
  map.setTileId(x, y, id);
  map.setAltitude(x, y, z);
}

}  // namespace

template <class Edit>
void WorldEdits::editItem(const TItem& drawn, int dx, int dy, const std::string& label,
                          Edit&& edit) {
  const Owner owner = ownerOf(drawn.kind);
  OwnerAccess o(m_models, owner);
  if (!o.present()) return;
  const std::optional<TItem> before = o.item(drawn.serial);
  if (!before) return;
  auto c = std::make_shared<ItemChange>();
  c->models = m_models;
  c->owner = owner;
  c->serial = drawn.serial;
  c->generation = c->marksGeneration = o.generation();
  c->before = ItemFields::of(*before);
  c->blocks = {o.blockOf(before->x, before->y),
               o.blockOf(std::int64_t(before->x) + dx, std::int64_t(before->y) + dy)};
  for (std::size_t i = 0; i < c->blocks.size(); ++i)
    c->marksBefore[i] = o.blockChanged(c->blocks[i]);
  {
    const Recording recording(m_recording);
    edit(*m_models.items, *before);
  }
  const std::optional<TItem> after = o.item(drawn.serial);
  if (!after) return;
  c->after = ItemFields::of(*after);
  for (std::size_t i = 0; i < c->blocks.size(); ++i)
    c->marksAfter[i] = o.blockChanged(c->blocks[i]);
  // The calls hold only the shared record, small enough to need no allocation of their own.
  m_stack.record(label, {[c] { bring(*c, true); }, [c] { bring(*c, false); }, partOf(owner)});
}

void WorldEdits::remove(const TItem& item, const std::string& label) {
  editItem(item, 0, 0, label, [](TItems& items, const TItem& it) { items.remove(&it); });
}

void WorldEdits::setHue(const TItem& item, std::uint16_t hue, const std::string& label) {
  editItem(item, 0, 0, label, [hue](TItems& items, const TItem& it) { items.setHue(&it, hue); });
}

void WorldEdits::setTileId(const TItem& item, std::uint16_t id, const std::string& label) {
  editItem(item, 0, 0, label, [id](TItems& items, const TItem& it) { items.setTileId(&it, id); });
}

void WorldEdits::move(const TItem& item, int dx, int dy, int dz, const std::string& label) {
  editItem(item, dx, dy, label,
           [dx, dy, dz](TItems& items, const TItem& it) { items.move(&it, dx, dy, dz); });
}

std::int32_t WorldEdits::add(std::uint16_t id, std::uint16_t x, std::uint16_t y, std::int8_t z,
                             std::uint16_t hue, const std::string& label) {
  if (!m_models.items) throw Error("No world file to add the item to.");
  std::int32_t serial = 0;
  {
    const Recording recording(m_recording);
    serial = m_models.items->add(id, x, y, z, hue);
  }
  if (!m_models.world) return serial;
  auto c = std::make_shared<Added>();
  c->models = m_models;
  c->serial = serial;
  c->generation = m_models.world->generation();
  c->item = m_models.world->item(serial).value_or(TItem{});
  m_stack.record(label, {[c] { c->redo(); }, [c] { c->undo(); }, partBit(WorldPart::WorldFile)});
  return serial;
}

void WorldEdits::recordWorldList(std::vector<TItem> before, const std::string& label,
                                 std::uint32_t parts) {
  TWorldFile& w = *m_models.world;
  if (before == w.items()) return;
  auto c = std::make_shared<ListChange>();
  c->before = std::move(before);
  c->after = w.items();
  c->generation = w.generation();
  const WorldModels m = m_models;
  m_stack.record(label,
                 {[m, c] { bringList(m, *c, true); }, [m, c] { bringList(m, *c, false); }, parts});
}

std::size_t WorldEdits::loadWorldFile(const std::string& path, WorldTextFormat format,
                                      const std::string& label) {
  if (!m_models.world) throw Error("No world file to load into.");
  std::vector<TItem> before = m_models.world->items();
  std::size_t added = 0;
  // Loaded items are held in a file already: loading leaves nothing unsaved.
  try {
    added = m_models.world->load(path, format);
  } catch (...) {
    recordWorldList(std::move(before), label, 0);
    throw;
  }
  recordWorldList(std::move(before), label, 0);
  return added;
}

void WorldEdits::clearWorldFile(const std::string& label) {
  if (!m_models.world) return;
  std::vector<TItem> before = m_models.world->items();
  m_models.world->clear();
  recordWorldList(std::move(before), label, partBit(WorldPart::WorldFile));
}

std::string WorldEdits::clearStatics(Progress& progress, const std::string& label) {
  TStatics* statics = m_models.statics;
  if (!statics) throw Error("No statics to clear.");
  if (statics->mode() != StorageMode::Memory) return statics->clearAll(progress);
  auto before = statics->keepContents();
  std::string said = statics->clearAll(progress);
  auto after = statics->keepContents();
  m_stack.record(label, {[statics, after] { statics->restoreContents(*after); },
                         [statics, before] { statics->restoreContents(*before); },
                         partBit(WorldPart::Statics)});
  return said;
}

WorldEdits::CellMarks WorldEdits::cellMarks(int x, int y) const {
  CellMarks marks;
  TMap* map = m_models.map;
  if (!map || !map->isLoaded()) return marks;
  const std::optional<MapCell> cell = map->cell(x, y);
  if (!cell) return marks;
  marks.inside = true;
  marks.tileId = cell->tileId;
  marks.z = cell->z;
  marks.blockChanged = map->blockChanged(map->blockOf(x, y));
  marks.unsaved = map->hasUnsavedChanges();
  marks.generation = map->generation();
  return marks;
}

// One changed cell: its id and altitude before and after, its block's change mark and the map's
// unsaved flag before and after (bits 1, 2, 4, 8), and the generation they belong to.
struct CellChange {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::uint64_t generation = 0;
  std::uint16_t idBefore = 0;
  std::uint16_t idAfter = 0;
  std::int8_t zBefore = 0;
  std::int8_t zAfter = 0;
  std::uint8_t marks = 0;
};

struct WorldEdits::CellBatch {
  TMap* map = nullptr;
  std::vector<CellChange> changes;

  void put(const CellChange& c, bool after) const {
    putCell(*map, c.x, c.y, after ? c.idAfter : c.idBefore, after ? c.zAfter : c.zBefore);
    // Within the generation recorded the marks come back too; after a save they stay set, so
    // the next patch writes the cell.
    if (map->generation() == c.generation)
      map->restoreMarks(map->blockOf(c.x, c.y), (c.marks & (after ? 2 : 1)) != 0,
                        (c.marks & (after ? 8 : 4)) != 0);
  }
  void bring(bool forward) const {
    if (forward)
      for (const CellChange& c : changes) put(c, true);
    else
      for (auto it = changes.rbegin(); it != changes.rend(); ++it) put(*it, false);
  }
};

void WorldEdits::recordCell(int x, int y, const CellMarks& before, const std::string& label) {
  const CellMarks after = cellMarks(x, y);
  if (!after.inside || m_stack.replaying()) return;
  if (after.tileId == before.tileId && after.z == before.z &&
      after.blockChanged == before.blockChanged && after.unsaved == before.unsaved)
    return;
  const CellChange change{x,
                          y,
                          before.generation,
                          before.tileId,
                          after.tileId,
                          before.z,
                          after.z,
                          static_cast<std::uint8_t>((before.blockChanged ? 1 : 0) |
                                                    (after.blockChanged ? 2 : 0) |
                                                    (before.unsaved ? 4 : 0) |
                                                    (after.unsaved ? 8 : 0))};
  TMap* map = m_models.map;
  if (m_cellBatch && m_stack.inGroup() && m_cellBatchGroup == m_stack.groupSerial() &&
      m_cellBatch->map == map) {
    m_cellBatch->changes.push_back(change);
    return;
  }
  auto batch = std::make_shared<CellBatch>();
  batch->map = map;
  batch->changes.push_back(change);
  m_stack.record(label, {[batch] { batch->bring(true); }, [batch] { batch->bring(false); },
                         partBit(WorldPart::Map)});
  if (m_stack.inGroup()) {
    m_cellBatch = batch;
    m_cellBatchGroup = m_stack.groupSerial();
  } else {
    m_cellBatch.reset();
  }
}

}  // namespace quillotide
