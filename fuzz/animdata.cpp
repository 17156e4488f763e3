// Feeds arbitrary bytes to the animation data table: queries never read outside the image, and
// writing a record back changes nothing else.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "app/Error.h"
#include "models/Animdata.h"

using namespace quillotide;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TAnimdata a;
  a.loadBytes(Bytes(data, data + size));
  const int tiles = std::min(a.tileCount(), 2048);
  std::size_t animated = 0;
  for (int t = 0; t < tiles; ++t) {
    const auto r = a.readEntry(t);
    if (!r) std::abort();
    animated += a.isAnimated(t) ? 1 : 0;
    for (int k = -1; k <= 64; ++k) {
      const int id = a.frameArtId(t, k);
      if (id < t - 128 || id > t + 127) std::abort();
    }
    if (a.playableFrames(t) > 64) std::abort();
    if (r->frameCount <= 64) {
      a.writeEntry(t, *r);
      if (a.readEntry(t) != r) std::abort();
    }
  }
  if (a.tileCount() <= 2048 && a.animatedTiles().size() != animated) std::abort();
  a.readEntry(a.tileCount());
  return 0;
}
