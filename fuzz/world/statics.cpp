// Run: cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_statics
//      mkdir -p /tmp/corpus-statics && build/fuzz/fuzz/fuzz_statics /tmp/corpus-statics
//      -max_total_time=120
//
// Feeds arbitrary index and data bytes to the statics block reader of a small world: loading
// every block, the whole-file walks, edits and a save into memory must never read outside the
// bytes or crash; damage is reported per block.
#include <cstdint>
#include <cstdlib>

#include "app/Bytes.h"
#include "app/Error.h"
#include "world/Statics.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillotide;
  if (size < 3) return 0;
  // A world of 8..64 cells a side, the index part of the bytes first.
  const int width = 8 * (1 + (data[0] & 7));
  const int height = 8 * (1 + ((data[0] >> 3) & 7));
  const std::size_t split = std::min<std::size_t>(size - 2, static_cast<std::size_t>(data[1]) * 4);
  Bytes index(data + 2, data + 2 + split);
  Bytes bytes(data + 2 + split, data + size);
  TStatics statics;
  statics.openBytes(index, bytes, width, height);
  Progress silent;
  const auto items = statics.getItemsInRect(0, width, 0, height);
  (void)statics.searchLines(0, silent);
  if (!items.empty()) {
    statics.setHue(items.front().serial, 1);
    try {
      statics.move(items.front().serial, 1, 1, 1);
    } catch (const Error&) {
    }
  }
  statics.add(1, width - 1, height - 1, 0, 0);
  (void)statics.removeDuplicates(silent);
  (void)statics.clearAll(silent);
  (void)statics.takeProblems();
  return 0;
}
