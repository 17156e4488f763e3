// Run: cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_unifont
//      build/fuzz/fuzz/fuzz_unifont /tmp/corpus-unifont -max_total_time=60
//
// A Unicode font built from arbitrary bytes: the first byte says how many table entries follow
// (each a u16 code and a u16 offset counted from the end of the table, or into the table when its
// top bit is set), the rest is what follows the table. Refused with a FormatError or read: an
// unchanged font writes its bytes back, an edited one reads back as edited, and text renders.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "app/Error.h"
#include "models/Unifont.h"

using namespace quillotide;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t entries = std::min<std::size_t>(data[0], (size - 1) / 4);
  Bytes file(TUnifont::kTableBytes, 0);
  for (std::size_t k = 0; k < entries; ++k) {
    const std::uint8_t* e = data + 1 + 4 * k;
    const std::uint16_t code = loadU16(e);
    const std::uint16_t rel = loadU16(e + 2);
    storeU32(file.data() + 4 * code,
             rel & 0x8000 ? rel & 0x7FFF : static_cast<std::uint32_t>(TUnifont::kTableBytes + rel));
  }
  file.insert(file.end(), data + 1 + 4 * entries, data + size);
  TUnifont font;
  try {
    font.loadBytes(file);
  } catch (const FormatError&) {
    return 0;
  }
  if (font.bytes() != file) std::abort();
  (void)font.renderText("Britain \xEA\xB0\x80 A", 4);
  Bitmap32 drawn(9, 2, makePixel(0, 0, 0));
  font.setPicture(U'Q', drawn, -2, 3);
  TUnifont again;
  again.loadBytes(font.bytes());
  if (!(again.glyph(U'Q') == font.glyph(U'Q')) || again.glyphs().size() != font.glyphs().size())
    std::abort();
  return 0;
}
