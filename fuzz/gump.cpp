// Run: cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_gump
//      mkdir -p /tmp/corpus-gump && build/fuzz/fuzz/fuzz_gump /tmp/corpus-gump -max_total_time=60
//
// Feeds arbitrary slot bytes and sizes to the gump decoder: it must never crash or read outside
// the slot, and every picture it draws must survive an encode and a decode (pixels no run covered
// come back as opaque black, colour 0).
#include <cstdint>
#include <cstdlib>
#include <span>

#include "app/Bytes.h"
#include "app/Error.h"
#include "models/Gump.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillotide;
  if (size < 4) return 0;
  const int width = loadU16(data);
  const int height = loadU16(data + 2);
  Bitmap32 picture;
  try {
    picture = decodeGump(std::span(data + 4, size - 4), width, height);
  } catch (const FormatError&) {
    return 0;
  }
  if (picture.width != width || picture.height != height) std::abort();
  for (Pixel& p : picture.pixels) p |= 0xFF000000u;
  const Bytes again = encodeGump(picture);
  if (decodeGump(again, width, height) != picture) std::abort();
  return 0;
}
