#include "world/FindPlaced.h"

#include "app/Error.h"
#include "app/Progress.h"
#include "models/Tiledata.h"
#include "world/StaticDiff.h"
#include "world/Statics.h"
#include "world/WorldFile.h"

namespace quillotide {

namespace {
constexpr std::size_t kIdCount = 0x10000;
}  // namespace

std::vector<bool> filteredStaticIds(const IdFilter& filter, const TTiledata* tiledata) {
  if (filter.matchesAll()) throw Error("Give an id, a range of ids (A-B) or a part of a tile name.");
  std::vector<bool> ids(kIdCount, false);
  if (!filter.byName()) {
    for (std::size_t id = 0; id < kIdCount; ++id)
      ids[id] = filter.matches(static_cast<std::int64_t>(id), {});
    return ids;
  }
  if (!tiledata || !tiledata->isLoaded()) throw Error("Load Tiledata first.");
  const auto count = std::min<std::size_t>(tiledata->staticCount(), kIdCount);
  for (std::size_t id = 0; id < count; ++id) {
    const auto i = static_cast<std::int64_t>(id);
    ids[id] = filter.matches(i, tiledata->staticName(i));
  }
  return ids;
}

std::vector<TItem> findPlaced(const IdFilter& filter, const WorldModels& models,
                              const TTiledata* tiledata, Progress& progress) {
  const std::vector<bool> ids = filteredStaticIds(filter, tiledata);
  std::vector<TItem> found;
  const auto take = [&](const TItem& it) {
    if (!it.deleted && ids[it.tileId]) found.push_back(it);
  };
  if (models.statics && models.statics->isLoaded())
    models.statics->forEachPlaced(progress, true, take);
  if (models.diffs && models.diffs->isLoaded()) {
    std::vector<TItem> diffItems;
    models.diffs->appendItemsInRect(0, models.diffs->width() - 1, 0, models.diffs->height() - 1,
                                    diffItems);
    // The store hands them over in reverse list order.
    for (auto it = diffItems.rbegin(); it != diffItems.rend(); ++it) take(*it);
  }
  if (models.world)
    for (const TItem& it : models.world->items()) take(it);
  return found;
}

}  // namespace quillotide
