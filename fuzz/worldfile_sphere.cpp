// Run: cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_worldfile_sphere
//      mkdir -p /tmp/corpus-worldfile-sphere && build/fuzz/fuzz/fuzz_worldfile_sphere
//      /tmp/corpus-worldfile-sphere -max_total_time=120
//
// Feeds arbitrary text to the world file reader of one format: it must never crash, a failing
// line ends the load with a message, and what was read writes and reads back unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/Error.h"
#include "app/Text.h"
#include "models/WorldFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillotide;
  constexpr WorldTextFormat kFormat = WorldTextFormat::Sphere51a;
  const std::string text(reinterpret_cast<const char*>(data), size);
  TWorldFile world;
  try {
    world.loadLines(splitLines(text), kFormat);
  } catch (const Error&) {
  }
  TWorldFile again;
  again.loadLines(world.lines(kFormat), kFormat);
  if (again.size() != world.size()) std::abort();
  for (std::size_t i = 0; i < world.size(); ++i) {
    const TItem& a = world.items()[i];
    const TItem& b = again.items()[i];
    if (a.tileId != b.tileId || a.x != b.x || a.y != b.y || a.z != b.z || a.hue != b.hue)
      std::abort();
  }
  return 0;
}
