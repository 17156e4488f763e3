#include "world/Item.h"

#include "app/Error.h"
#include "models/Animdata.h"
#include "models/Art.h"
#include "models/Tiledata.h"

namespace quillotide {

void applyStaticLook(TItem& item, const WorldSources& sources) {
  item.width = 0;
  item.height = 0;
  if (sources.art && sources.art->isLoaded()) {
    item.width = static_cast<std::int16_t>(sources.art->staticArtWidth(item.tileId));
    item.height = static_cast<std::int16_t>(sources.art->staticArtHeight(item.tileId));
  }
  const bool flagged = sources.tiledata && sources.tiledata->isLoaded() &&
                       sources.tiledata->staticHasFlags(item.tileId, TileFlags::Animation);
  const bool frames = sources.animdata && sources.animdata->isLoaded() &&
                      sources.animdata->frameCount(item.tileId) > 0;
  item.animated = flagged && frames ? 1 : 0;
}

void checkWorldSize(std::int64_t width, std::int64_t height) {
  const auto ok = [](std::int64_t side) {
    return side >= 8 && side <= kMaxWorldSide && side % 8 == 0;
  };
  if (!ok(width) || !ok(height)) throw Error(kWorldSizeMessage);
}

}  // namespace quillotide
