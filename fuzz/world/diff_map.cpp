// Run: cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_diff_map
//      mkdir -p /tmp/corpus-diff-map && build/fuzz/fuzz/fuzz_diff_map /tmp/corpus-diff-map
//      -max_total_time=120
//
// Arbitrary bytes as a map diff (block list and blocks) applied to the map of a small world:
// blocks outside the world or without data are skipped, the map keeps its size.
#include <cstdlib>

#include "DiffFuzz.h"
#include "app/FileIO.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillotide;
  const auto p = fuzz::parts(data, size, 2);
  if (p.size() != 2) return 0;
  fuzz::writeSmallWorld();
  const std::string map = fuzz::folder() + "/map0.mul";
  const std::uint64_t before = fileSize(map);
  fuzz::writeFile("Mapdifl0.mul", p[0]);
  fuzz::writeFile("Mapdif0.mul", p[1]);
  Progress silent;
  const DiffWorld world{fuzz::kDiffWidth, fuzz::kDiffHeight};
  (void)applyMapDiff(map, MapDiffPaths::in(fuzz::folder()), world, silent);
  if (fileSize(map) != before) std::abort();
  return 0;
}
