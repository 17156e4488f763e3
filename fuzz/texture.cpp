// Run: cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_texture
//      mkdir -p /tmp/corpus-texture && build/fuzz/fuzz/fuzz_texture /tmp/corpus-texture
//      -max_total_time=60
//
// Feeds arbitrary slot bytes to the texture decoder: it must never crash, and every picture it
// draws must encode back to the first side x side colours of the slot (bit 15 cleared).
#include <cstdint>
#include <cstdlib>
#include <span>

#include "app/Bytes.h"
#include "app/Error.h"
#include "models/Textures.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillotide;
  Bitmap32 picture;
  try {
    picture = decodeTexture(std::span(data, size));
  } catch (const FormatError&) {
    return 0;
  }
  if (picture.width != picture.height ||
      picture.width != textureSideForLength(static_cast<std::int64_t>(size)))
    std::abort();
  const Bytes again = encodeTexture(picture);
  for (std::size_t i = 0; i < again.size(); i += 2)
    if (loadU16(again.data() + i) != (loadU16(data + i) & 0x7FFF)) std::abort();
  return 0;
}
