// Run: cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_pkx
//      mkdir -p /tmp/corpus-pkx && build/fuzz/fuzz/fuzz_pkx /tmp/corpus-pkx -max_total_time=120
//
// Feeds arbitrary bytes as a region patch, applied with a backup to a small world held in
// memory (map, statics, art and texture pairs) at an origin taken from the input: the reader and
// Apply must never read or write outside the world's bytes or crash; a damaged patch is a
// FormatError with nothing written.
#include <cstdint>
#include <cstdlib>

#include "app/Bytes.h"
#include "app/Error.h"
#include "world/RegionPatch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillotide;
  if (size < 2) return 0;
  constexpr int kW = 32;
  constexpr int kH = 16;
  const int x1 = static_cast<std::int8_t>(data[0]);
  const int y1 = static_cast<std::int8_t>(data[1]);
  const std::span<const std::uint8_t> patch(data + 2, size - 2);
  Bytes emptyIndex;
  for (int b = 0; b < (kW / 8) * (kH / 8); ++b)
    for (int k = 0; k < 12; ++k) emptyIndex.push_back(0xFF);
  auto map = WorldStream::memory(Bytes(static_cast<std::size_t>(kW / 8 * kH / 8) * 196, 0));
  auto staticsIndex = WorldStream::memory(emptyIndex);
  auto staticsData = WorldStream::memory({});
  auto artIndex = WorldStream::memory(Bytes(24, 0));
  auto artData = WorldStream::memory(Bytes(8, 0));
  auto texIndex = WorldStream::memory({});
  auto texData = WorldStream::memory({});
  const PatchStreams to{map.get(),     staticsIndex.get(), staticsData.get(), artIndex.get(),
                        artData.get(), texIndex.get(),     texData.get()};
  Progress silent;
  const std::size_t mapSize = map->size();
  Bytes backup;
  try {
    applyPatch(
        patch, "fuzz.pkx", to, kW, kH, x1, y1, [&](const Bytes& b) { backup = b; }, silent);
  } catch (const FormatError&) {
    if (map->size() != mapSize || staticsData->size() != 0) std::abort();
    return 0;
  } catch (const Error&) {
    return 0;
  }
  if (map->size() != mapSize) std::abort();
  // The backup is a patch of its own and applies back.
  applyPatch(backup, "backup.pkx", to, kW, kH, x1, y1, {}, silent);
  return 0;
}
