// Run: cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_fonts
//      build/fuzz/fuzz/fuzz_fonts /tmp/corpus-fonts -max_total_time=60
//
// Arbitrary bytes as fonts.mul: refused with a FormatError or read as whole fonts and a trailer
// that together write the input back byte for byte; a character drawn anew reads back as drawn,
// and text and the sheet of every font can be drawn.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "app/Error.h"
#include "models/Fonts.h"

using namespace quillotide;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  TFonts fonts;
  try {
    fonts.loadBytes(bytes);
  } catch (const FormatError&) {
    return 0;
  }
  const Bytes back = fonts.bytes();
  if (back.size() != size || !std::equal(back.begin(), back.end(), data)) std::abort();
  for (std::size_t f = 0; f < fonts.fontCount(); ++f) {
    (void)fonts.renderText(f, "Britain \xC3\xA9");
    (void)fonts.sheet(f);
  }
  Bitmap32 drawn(2, 3, makePixel(8, 16, 24));
  fonts.setPicture(0, 'Q', drawn);
  TFonts again;
  again.loadBytes(fonts.bytes());
  if (!(again.character(0, 'Q') == fonts.character(0, 'Q'))) std::abort();
  return 0;
}
