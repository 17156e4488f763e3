#pragma once
// TItems: the item dispatcher. Every edit of a drawn item (select, deselect, delete, recolour,
// retype, move) goes through it to the model that owns the item, chosen by the item's kind:
// statics (kind 3), the diff store (kind 4) or the world file (kinds 5 and 6). Land cells
// (kinds 1 and 2) and items of no kind reach no model. New items are always world-file items.
// It holds no data of its own; an owner that is not set makes the calls for its kinds do nothing.

#include <cstdint>
#include <functional>

#include "world/Item.h"

namespace quillotide {

class TStatics;
class TStaticDiff;
class TWorldFile;

enum class ItemEdit { Select, Deselect, Delete, Restore, SetHue, SetTileId, Move, Add };

// What an edit reached: the owner's kind and the item's serial.
struct ItemNotice {
  ItemEdit edit = ItemEdit::Select;
  ItemKind kind = ItemKind::None;
  std::int32_t serial = 0;
};

class TItems {
public:
  TItems() = default;
  TItems(TStatics* statics, TStaticDiff* diffs, TWorldFile* world)
      : m_statics(statics), m_diffs(diffs), m_world(world) {}
  void setOwners(TStatics* statics, TStaticDiff* diffs, TWorldFile* world) {
    m_statics = statics;
    m_diffs = diffs;
    m_world = world;
  }
  // Called after every edit that reached an owner (not for land cells or no item).
  void setNoticeHandler(std::function<void(const ItemNotice&)> handler) {
    m_notice = std::move(handler);
  }

  // Each takes the item as drawn, or nullptr (then nothing happens), and passes its serial and
  // the other arguments unchanged to the owner; the owner's errors (a move outside the world)
  // reach the caller.
  void select(const TItem* item);
  void deselect(const TItem* item);
  void remove(const TItem* item);
  // Takes back a delete.
  void restore(const TItem* item);
  void setHue(const TItem* item, std::uint16_t hue);
  void setTileId(const TItem* item, std::uint16_t id);
  void move(const TItem* item, int dx, int dy, int dz);
  // A new world-file item (kind 6); returns its serial. Throws Error when no world file is set.
  std::int32_t add(std::uint16_t id, std::uint16_t x, std::uint16_t y, std::int8_t z,
                   std::uint16_t hue);

private:
  // Runs the call for the item's owner (every owner names its operations alike) and sends the
  // notice; nothing happens when no owner takes the item.
  template <typename F>
  void dispatch(ItemEdit edit, const TItem* item, F&& forward);

  TStatics* m_statics = nullptr;
  TStaticDiff* m_diffs = nullptr;
  TWorldFile* m_world = nullptr;
  std::function<void(const ItemNotice&)> m_notice;
};

}  // namespace quillotide
