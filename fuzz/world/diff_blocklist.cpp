// Run: cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_diff_blocklist
//      mkdir -p /tmp/corpus-diff-blocklist && build/fuzz/fuzz/fuzz_diff_blocklist
//      /tmp/corpus-diff-blocklist -max_total_time=120
//
// Arbitrary bytes as the block list "Stadifl0.mul" beside a valid index and data of three
// blocks: loaded into the diff store of a small world, walked, edited and saved; and read as
// block numbers.
#include "DiffFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillotide;
  ByteWriter index;
  ByteWriter records;
  for (int b = 0; b < 3; ++b) {
    index.i32(static_cast<std::int32_t>(records.size()));
    index.i32(14);
    index.i32(0);
    for (int k = 0; k < 2; ++k) {
      records.u16(static_cast<std::uint16_t>(b * 2 + k));
      records.u8(static_cast<std::uint8_t>(k * 7));
      records.u8(static_cast<std::uint8_t>(b));
      records.i8(0);
      records.u16(0);
    }
  }
  const std::span<const std::uint8_t> list(data, size);
  fuzz::loadIntoStore(list, index.data(), records.data());
  std::vector<std::string> problems;
  (void)readDiffBlockList(fuzz::writeFile("Mapdifl0.mul", list), problems);
  return 0;
}
