// The sample radarcol.mul: 0x4000 land entries, then one entry per static of the sample art (at
// least 0x4000). Every entry whose art slot holds a picture takes that picture's average colour,
// so the radar map matches the art; entries without art stay 0.
#include <algorithm>

#include "app/FileIO.h"
#include "models/Art.h"
#include "models/Radarcol.h"
#include "sample/Sample.h"

namespace quillotide::sample {

void writeRadarcol(const std::string& dir) {
  constexpr std::int64_t kMinStatics = 0x4000;
  TArt art;
  const std::string artIdx = joinPath(dir, "artidx.mul"), artMul = joinPath(dir, "art.mul");
  if (fileExists(artIdx) && fileExists(artMul)) art.load(artIdx, artMul, StorageMode::Memory);

  const std::int64_t statics =
      std::min(std::max(art.staticCount(), kMinStatics), kRadarMaxEntries - kRadarStaticBase);
  Bytes table(static_cast<std::size_t>(kRadarStaticBase + statics) * 2, 0);
  auto put = [&](std::int64_t entry, std::optional<Pixel> average) {
    if (average)
      storeU16(table.data() + entry * 2,
               rgbToColour16(redOf(*average), greenOf(*average), blueOf(*average)));
  };
  for (std::int64_t t = 0; t < kLandTileCount; ++t)
    if (art.landExists(t)) put(t, art.landAverageColour(t));
  for (std::int64_t s = 0; s < statics; ++s)
    if (art.staticExists(s)) put(kRadarStaticBase + s, art.staticAverageColour(s));
  writeFileAtomic(joinPath(dir, "radarcol.mul"), table);
}

}  // namespace quillotide::sample
