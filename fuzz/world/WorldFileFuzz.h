#pragma once
// The body the three world file fuzz targets share: arbitrary text fed to the reader of one
// format must never crash, a failing line ends the load with a message, and what was read writes
// and reads back unchanged.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/Error.h"
#include "app/Text.h"
#include "world/WorldFile.h"

inline int fuzzWorldFile(const std::uint8_t* data, std::size_t size,
                         quillotide::WorldTextFormat format) {
  using namespace quillotide;
  const std::string text(reinterpret_cast<const char*>(data), size);
  TWorldFile world;
  try {
    world.loadLines(splitLines(text), format);
  } catch (const Error&) {
  }
  TWorldFile again;
  again.loadLines(world.lines(format), format);
  if (again.size() != world.size()) std::abort();
  for (std::size_t i = 0; i < world.size(); ++i) {
    const TItem& a = world.items()[i];
    const TItem& b = again.items()[i];
    if (a.tileId != b.tileId || a.x != b.x || a.y != b.y || a.z != b.z || a.hue != b.hue)
      std::abort();
  }
  return 0;
}
