// Run: cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_light
//      mkdir -p /tmp/corpus-light && build/fuzz/fuzz/fuzz_light /tmp/corpus-light
//      -max_total_time=60
//
// Feeds arbitrary bytes and sizes to the light decoder: it must never crash, and a decoded picture
// must encode back to exactly the intensities it was drawn from.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "app/Bytes.h"
#include "app/Error.h"
#include "models/Light.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillotide;
  if (size < 2) return 0;
  // Small sizes keep the search on the bytes rather than on the size check.
  const int width = data[0];
  const int height = data[1];
  const std::span<const std::uint8_t> bytes(data + 2, size - 2);
  Bitmap32 picture;
  try {
    picture = decodeLight(bytes, width, height);
  } catch (const FormatError&) {
    return 0;
  }
  if (picture.empty()) return 0;
  const Bytes again = encodeLight(picture);
  if (!std::equal(again.begin(), again.end(), bytes.begin())) std::abort();
  return 0;
}
