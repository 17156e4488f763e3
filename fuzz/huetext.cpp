// Feeds arbitrary text to the hue text import: it takes the lines or refuses them with the entry
// unchanged, and a hue it took writes text that reads back to the same entry.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "app/Error.h"
#include "app/Text.h"
#include "models/Hues.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillotide;
  THues hues;
  hues.loadBytes(Bytes(THues::kBlockSize, 0));
  const HueEntry before = *hues.entry(0);
  const std::vector<std::string> lines =
      splitLines(std::string_view(reinterpret_cast<const char*>(data), size));
  try {
    hues.setHueText(0, lines);
  } catch (const Error&) {
    if (*hues.entry(0) != before) std::abort();
    return 0;
  }
  // A zero byte ends a name, so such a name cannot come back whole.
  if (std::memchr(data, 0, size)) return 0;
  hues.setHueText(1, hues.hueText(0));
  HueEntry copy = *hues.entry(1);
  if (copy != *hues.entry(0)) std::abort();
  return 0;
}
