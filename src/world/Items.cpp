#include "world/Items.h"

#include "app/Error.h"
#include "world/StaticDiff.h"
#include "world/Statics.h"
#include "world/WorldFile.h"

namespace quillotide {

template <typename F>
void TItems::dispatch(ItemEdit edit, const TItem* item, F&& forward) {
  if (!item) return;
  const std::int32_t serial = item->serial;
  switch (item->kind) {
    case ItemKind::Static:
      if (!m_statics) return;
      forward(*m_statics, serial);
      break;
    case ItemKind::DiffStatic:
      if (!m_diffs) return;
      forward(*m_diffs, serial);
      break;
    case ItemKind::WorldWritten:
    case ItemKind::WorldUnwritten:
      if (!m_world) return;
      forward(*m_world, serial);
      break;
    default:
      return;
  }
  if (m_notice) m_notice({edit, item->kind, serial});
}

void TItems::select(const TItem* item) {
  dispatch(ItemEdit::Select, item, [&](auto& owner, std::int32_t serial) { owner.select(serial); });
}

void TItems::deselect(const TItem* item) {
  dispatch(ItemEdit::Deselect, item,
           [&](auto& owner, std::int32_t serial) { owner.deselect(serial); });
}

void TItems::remove(const TItem* item) {
  dispatch(ItemEdit::Delete, item, [&](auto& owner, std::int32_t serial) { owner.remove(serial); });
}

void TItems::restore(const TItem* item) {
  dispatch(ItemEdit::Restore, item,
           [&](auto& owner, std::int32_t serial) { owner.restore(serial); });
}

void TItems::setHue(const TItem* item, std::uint16_t hue) {
  dispatch(ItemEdit::SetHue, item,
           [&](auto& owner, std::int32_t serial) { owner.setHue(serial, hue); });
}

void TItems::setTileId(const TItem* item, std::uint16_t id) {
  dispatch(ItemEdit::SetTileId, item,
           [&](auto& owner, std::int32_t serial) { owner.setTileId(serial, id); });
}

void TItems::move(const TItem* item, int dx, int dy, int dz) {
  dispatch(ItemEdit::Move, item,
           [&](auto& owner, std::int32_t serial) { owner.move(serial, dx, dy, dz); });
}

std::int32_t TItems::add(std::uint16_t id, std::uint16_t x, std::uint16_t y, std::int8_t z,
                         std::uint16_t hue) {
  if (!m_world) throw Error("No world file to add the item to.");
  const std::int32_t serial = m_world->add(id, x, y, z, hue);
  if (m_notice) m_notice({ItemEdit::Add, ItemKind::WorldUnwritten, serial});
  return serial;
}

}  // namespace quillotide
