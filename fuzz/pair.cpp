// Run: cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_pair
//      build/fuzz/fuzz/fuzz_pair /tmp/corpus-pair -max_total_time=60
//
// Loads an index/data pair whose index is arbitrary bytes into the art, gump, texture or light
// model and asks every slot lookup of the model for the slots the index holds (and for the slots
// just past it): hostile lookups, lengths and sizes must give an empty slot or one FormatError,
// never a read outside the files, and the pictures must have the sizes the records give. A
// rebuild of the pair (when bit 4 of byte 0 asks for one; it writes and flushes two files) must
// refuse with one FormatError or succeed.
//
// Input: byte 0 chooses the model (bits 0-1: art, gump, texture, light), the low-memory mode
// (bit 2, art and textures) and, for art, whether the index records are statics (bit 3: they
// follow 0x4000 empty land records); bytes 1-2 are the index size (u16), then the index, then the
// data file.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "FuzzFiles.h"
#include "app/Bytes.h"
#include "app/Error.h"
#include "app/Progress.h"
#include "app/Random.h"
#include "models/Art.h"
#include "models/Gump.h"
#include "models/Light.h"
#include "models/Textures.h"

using namespace quillotide;

namespace {

constexpr std::int64_t kLandRecords = 0x4000;
constexpr std::int64_t kRecordSize = 12;
// Enough slots to cover every record a small index holds.
constexpr std::int64_t kMaxSlots = 600;

template <typename F>
void quietly(F&& f) {
  try {
    f();
  } catch (const FormatError&) {
  }
}

void checkArt(const std::string& idx, const std::string& mul, StorageMode mode, bool statics,
              std::int64_t records) {
  TArt art;
  art.load(idx, mul, mode);
  const std::int64_t last = std::min<std::int64_t>(records + 2, kMaxSlots);
  Bitmap32 target(48, 48, 0);
  for (std::int64_t i = -1; i < last; ++i) {
    if (statics) {
      art.staticExists(i);
      art.staticRecord(i);
      const int width = art.staticArtWidth(i);
      const int height = art.staticArtHeight(i);
      quietly([&] {
        const Bitmap32 p = art.staticPicture(i);
        if (!p.empty() && (p.width != width || p.height != height)) std::abort();
      });
      quietly([&] { art.staticData(i); });
      quietly([&] { art.staticAverageColour(i); });
      quietly([&] { art.drawStaticHued(i, -3, 5, HueChoice::hue(3), nullptr, target); });
    } else {
      art.landExists(i);
      art.landRecord(i);
      quietly([&] {
        const Bitmap32 p = art.landPicture(i);
        if (!p.empty() && (p.width != 44 || p.height != 44)) std::abort();
      });
      quietly([&] { art.landAverageColour(i); });
      quietly([&] { art.drawLandHued(i, 7, -2, HueChoice::selection(), nullptr, target); });
    }
  }
}

void checkGump(const std::string& idx, const std::string& mul, std::int64_t records) {
  TGump gump;
  gump.load(idx, mul);
  const std::int64_t last = std::min<std::int64_t>(records + 2, kMaxSlots);
  for (std::int64_t g = -1; g < last; ++g) {
    gump.gumpExists(g);
    const int width = gump.gumpWidth(g);
    const int height = gump.gumpHeight(g);
    quietly([&] {
      std::string problem;
      const Bitmap32 p = gump.gumpPicture(g, &problem);
      if (!p.empty() && (p.width != width || p.height != height)) std::abort();
    });
  }
}

void checkTextures(const std::string& idx, const std::string& mul, StorageMode mode,
                   std::int64_t records) {
  TTextures textures;
  textures.load(idx, mul, mode);
  const std::int64_t last = std::min<std::int64_t>(records + 2, kMaxSlots);
  for (std::int64_t i = -1; i < last; ++i) {
    textures.textureExists(i);
    const int side = textures.textureSide(i);
    quietly([&] {
      const Bitmap32 p = textures.texturePicture(i);
      if (!p.empty() && (p.width != side || p.height != side)) std::abort();
    });
    quietly([&] { textures.texturePictureHued(i, HueChoice::selection(), nullptr); });
    quietly([&] { textures.slotBytes(i); });
  }
}

void checkLight(const std::string& idx, const std::string& mul, std::int64_t records) {
  TLight light;
  light.load(idx, mul);
  const std::int64_t last = std::min<std::int64_t>(records + 2, kMaxSlots);
  for (std::int64_t i = -1; i < last; ++i) {
    light.lightExists(i);
    const int width = light.lightWidth(i);
    const int height = light.lightHeight(i);
    quietly([&] {
      const Bitmap32 p = light.lightPicture(i);
      if (!p.empty() && (p.width != width || p.height != height)) std::abort();
    });
    quietly([&] { light.slotBytes(i); });
  }
}

template <typename Model, typename... Load>
void checkRebuild(const std::string& idx, const std::string& mul, Load... load) {
  Model model;
  model.load(idx, mul, load...);
  Progress silent;
  Random random(1);
  try {
    model.rebuild(fuzz::folder() + "/new.idx", fuzz::folder() + "/new.mul", silent, random);
  } catch (const FormatError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const unsigned which = data[0] & 3u;
  const StorageMode mode = (data[0] & 4u) ? StorageMode::LowMemory : StorageMode::Memory;
  const bool statics = which == 0 && (data[0] & 8u);
  const bool rebuild = data[0] & 16u;
  const std::size_t indexSize = std::min<std::size_t>(loadU16(data + 1), size - 3);
  const std::span<const std::uint8_t> index(data + 3, indexSize);
  const std::span<const std::uint8_t> rest(data + 3 + indexSize, size - 3 - indexSize);

  // Statics follow the land records, which stay empty: zero bytes give records of length 0.
  const std::uint64_t at = statics ? kLandRecords * kRecordSize : 0;
  const std::string idx = fuzz::writeFile("index.mul", index, at);
  const std::string mul = fuzz::writeFile("data.mul", rest);
  const auto records = static_cast<std::int64_t>(indexSize) / kRecordSize;
  switch (which) {
    case 0:
      checkArt(idx, mul, mode, statics, records);
      if (rebuild) checkRebuild<TArt>(idx, mul, mode);
      break;
    case 1:
      checkGump(idx, mul, records);
      if (rebuild) checkRebuild<TGump>(idx, mul);
      break;
    case 2:
      checkTextures(idx, mul, mode, records);
      if (rebuild) checkRebuild<TTextures>(idx, mul, mode);
      break;
    default:
      checkLight(idx, mul, records);
      if (rebuild) checkRebuild<TLight>(idx, mul);
      break;
  }
  return 0;
}
