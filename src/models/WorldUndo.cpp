#include "models/WorldUndo.h"

#include "models/Items.h"

namespace quillotide {

namespace {

void putCell(TMap& map, int x, int y, MapCell cell) {
  map.setTileId(x, y, cell.tileId);
  map.setAltitude(x, y, cell.z);
}

}  // namespace

UndoAction cellAction(TMap& map, int x, int y, MapCell before, MapCell after) {
  return {[&map, x, y, after] { putCell(map, x, y, after); },
          [&map, x, y, before] { putCell(map, x, y, before); }};
}

UndoAction hueAction(TItems& items, const TItem& item, std::uint16_t before, std::uint16_t after) {
  return {[&items, item, after] { items.setHue(&item, after); },
          [&items, item, before] { items.setHue(&item, before); }};
}

UndoAction tileIdAction(TItems& items, const TItem& item, std::uint16_t before,
                        std::uint16_t after) {
  return {[&items, item, after] { items.setTileId(&item, after); },
          [&items, item, before] { items.setTileId(&item, before); }};
}

}  // namespace quillotide
