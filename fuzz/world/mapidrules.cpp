// Run: cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_mapidrules
//      mkdir -p /tmp/corpus-rules && build/fuzz/fuzz/fuzz_mapidrules /tmp/corpus-rules
//      -max_total_time=120
//
// Feeds arbitrary text as a "Change Map Ids" rule file, read line by line and applied to a small
// map: the reader either gives rules or its one error, and replacing never touches bytes outside
// the cells' tile ids.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "FuzzFiles.h"
#include "app/Error.h"
#include "app/Random.h"
#include "app/Text.h"
#include "world/Map.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillotide;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> messages;
  std::vector<MapIdRule> rules;
  try {
    rules = parseMapIdRules(splitLines(text), &messages);
  } catch (const Error&) {
    return 0;
  }
  Bytes bytes(2 * 196, 0);
  for (std::size_t c = 0; c < 64; ++c) bytes[4 + 3 * c] = static_cast<std::uint8_t>(c);
  static const std::string path = fuzz::writeFile("map0.mul", bytes);
  fuzz::writeFile("map0.mul", bytes);
  TMap map;
  map.open(path, 8, 16);
  Random random(1);
  Progress silent;
  (void)map.replaceIds(rules, random, silent);
  return 0;
}
