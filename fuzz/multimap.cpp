// Run: cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_multimap
//      build/fuzz/fuzz/fuzz_multimap /tmp/corpus-multimap -max_total_time=60
//
// Arbitrary bytes as Multimap.rle: refused with a FormatError or read as a picture of the size it
// reports; its encoding reads back to the same picture, and a file read without a problem
// encodes to its own bytes when it is monochrome (the greedy runs of the client's file).
#include <cstdint>
#include <cstdlib>
#include <span>

#include "app/Error.h"
#include "models/Multimap.h"

using namespace quillotide;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  TMultimap map;
  try {
    map.loadBytes(bytes);
  } catch (const FormatError&) {
    return 0;
  }
  const Bitmap32 picture = map.picture();
  if (picture.width != map.width() || picture.height != map.height()) std::abort();
  const Bytes encoded = map.bytes();
  TMultimap again;
  if (map.layout() == MultimapLayout::Colour)
    again.loadBytes(encoded, map.width());
  else
    again.loadBytes(encoded);
  if (again.picture() != picture || !again.problems().empty()) std::abort();
  return 0;
}
