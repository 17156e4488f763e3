#pragma once
// Finding placed items: every static, world-file item and static-diff item of a tile id, of a
// range of ids, or whose tile data name holds a text (an IdFilter), in the loaded world, as it
// stands now.

#include <vector>

#include "world/IdQuery.h"
#include "world/Item.h"
#include "world/WorldUndo.h"

namespace quillotide {

class Progress;
class TTiledata;

// The static ids the filter takes, one flag per id 0 .. 0xFFFF. A name filter reads the static
// tile data names and throws Error("Load Tiledata first.") without loaded tile data; an empty
// filter throws Error too (it would list the whole world).
std::vector<bool> filteredStaticIds(const IdFilter& filter, const TTiledata* tiledata);

// Copies of every undeleted item the filter takes: statics (those of blocks not read yet carry
// serial -1), then static-diff items, then world-file items, each owner in its own order. Statics
// of blocks a loaded static diff replaces are left out (the world shows the diff's instead). Any
// owner may be null or unloaded.
std::vector<TItem> findPlaced(const IdFilter& filter, const WorldModels& models,
                              const TTiledata* tiledata, Progress& progress);

}  // namespace quillotide
