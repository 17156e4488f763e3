// Run: cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_diff_static
//      mkdir -p /tmp/corpus-diff-static && build/fuzz/fuzz/fuzz_diff_static
//      /tmp/corpus-diff-static -max_total_time=120
//
// Arbitrary bytes as the three files of a static diff: loaded into the diff store of a small
// world, walked, edited and saved; then applied to the small world's statics, whose index keeps
// one record per block.
#include <cstdlib>

#include "DiffFuzz.h"
#include "app/FileIO.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillotide;
  const auto p = fuzz::parts(data, size, 3);
  if (p.size() != 3) return 0;
  const Bytes list(p[0].begin(), p[0].end());
  const Bytes index(p[1].begin(), p[1].end());
  const Bytes records(p[2].begin(), p[2].end());
  fuzz::loadIntoStore(list, index, records);
  fuzz::writeSmallWorld();
  fuzz::writeFile("Stadifl0.mul", list);
  fuzz::writeFile("Stadifi0.mul", index);
  fuzz::writeFile("Stadif0.mul", records);
  const std::string idx = fuzz::folder() + "/staidx0.mul";
  const std::uint64_t before = fileSize(idx);
  Progress silent;
  const DiffWorld world{fuzz::kDiffWidth, fuzz::kDiffHeight};
  (void)applyStaticDiff(idx, fuzz::folder() + "/statics0.mul", StaticDiffPaths::in(fuzz::folder()),
                        world, silent);
  if (fileSize(idx) != before) std::abort();
  return 0;
}
