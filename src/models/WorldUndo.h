#pragma once
// Undo actions for the world editor's edits. Each makes and takes back its edit through the
// path the edit took: cells through the map model (which marks their blocks changed again, so a
// later "Patch Map" writes the reverted cell), items through the dispatcher (which forwards to
// the owning model by the item's kind and serial, as the tools do).

#include <cstdint>

#include "models/Item.h"
#include "models/Map.h"
#include "models/UndoStack.h"

namespace quillotide {

class TItems;

// A land cell that went from `before` to `after` (tile id and altitude).
UndoAction cellAction(TMap& map, int x, int y, MapCell before, MapCell after);
// An item recoloured from `before` to `after`; `item` as drawn (its kind and serial).
UndoAction hueAction(TItems& items, const TItem& item, std::uint16_t before, std::uint16_t after);
// An item given another tile id.
UndoAction tileIdAction(TItems& items, const TItem& item, std::uint16_t before,
                        std::uint16_t after);

}  // namespace quillotide
