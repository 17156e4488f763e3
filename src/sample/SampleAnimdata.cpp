// The sample animdata.mul: records for the first 0x40 statics, of which the campfire (0x1D) flickers
// through the fire frames 0x21 and 0x22 and the torch (0x10) through 0x23; the sample verdata.mul
// holds those frames as art patches.
#include "app/FileIO.h"
#include "models/Animdata.h"
#include "sample/Sample.h"

namespace quillotide::sample {

namespace {

constexpr int kSampleTiles = 0x40;

struct Animated {
  int tile;
  std::vector<std::int8_t> offsets;
  std::uint8_t interval;
  std::uint8_t delay;
};

}  // namespace

void writeAnimdata(const std::string& dir) {
  using namespace animdatalayout;
  const std::vector<Animated> animated = {
      {0x1D, {0, 4, 5, 4}, 2, 0},  // campfire: 0x1D, 0x21, 0x22, 0x21 every 100 ms
      {0x10, {0, 0x13}, 3, 1},     // torch: 0x10, 0x23 every 150 ms after 50 ms
  };
  Bytes bytes(kSampleTiles / kRecordsPerGroup * kGroupSize, 0);
  for (const auto& a : animated) {
    std::uint8_t* p = bytes.data() + TAnimdata::recordOffset(a.tile);
    for (std::size_t k = 0; k < a.offsets.size(); ++k) p[k] = static_cast<std::uint8_t>(a.offsets[k]);
    p[kFrameCount] = static_cast<std::uint8_t>(a.offsets.size());
    p[kFrameInterval] = a.interval;
    p[kStartDelay] = a.delay;
  }
  writeFileAtomic(joinPath(dir, "animdata.mul"), bytes);
}

}  // namespace quillotide::sample
