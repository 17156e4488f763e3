// Feeds arbitrary bytes to the hue loader: any content loads, saves back byte for byte, and every
// hued colour query stays inside the table.
#include <cstdint>
#include <cstdlib>

#include "models/Hues.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quillotide::THues hues;
  hues.loadBytes({data, size});
  const quillotide::Bytes again = hues.toBytes();
  if (again.size() != size || !std::equal(again.begin(), again.end(), data)) std::abort();
  // An entry number taken from the input, and its neighbour (wrapping, as a file value may).
  const std::uint32_t raw = size >= 4 ? quillotide::loadU32(data) : 0xFFFFFFFFu;
  const int probe = static_cast<int>(raw);
  const int below = static_cast<int>(raw - 1u);
  for (int e : {probe, below, 0, hues.hueCount() - 1, hues.hueCount()}) {
    (void)hues.huedColour(e, static_cast<quillotide::Colour16>(size));
    (void)hues.huedPixel(e, 0xFF000000u, false);
    (void)hues.hueName(e);
  }
  if (hues.hueCount() > 0) {
    hues.spreadHue(0, 31, hues.hueCount() - 1);
    for (int n = 0; n < 32; ++n)
      if (!hues.hueColour(hues.hueCount() - 1, n)) std::abort();
  }
  return 0;
}
