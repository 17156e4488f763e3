// Rebuild of a generated index/data pair of about 100 MB, beside a plain copy of the same bytes
// (read both files whole, write them whole), so the ratio holds on a noisy machine.

#include <benchmark/benchmark.h>

#include <cstdlib>

#include "app/FileIO.h"
#include "app/IndexedFile.h"
#include "support/TestFiles.h"

using namespace quillotide;

namespace {

struct Fixture {
  test::TempDir dir;
  std::string idx = dir.file("gumpidx.mul");
  std::string mul = dir.file("gumpart.mul");
  Fixture() {
    // 65 536 slots of 1600 bytes with every 9th empty: about 93 MB of data.
    const auto pair = test::generatePair(0x10000, 1600, 9);
    test::writeBytes(idx, pair.index);
    test::writeBytes(mul, pair.data);
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void BM_PlainCopy(benchmark::State& state) {
  auto& f = fixture();
  for (auto _ : state) {
    const Bytes index = readFile(f.idx);
    const Bytes data = readFile(f.mul);
    writeFileAtomic(f.dir.file("copy.idx"), index);
    writeFileAtomic(f.dir.file("copy.mul"), data);
    state.SetBytesProcessed(state.bytes_processed() + static_cast<int64_t>(index.size() + data.size()));
  }
}

void BM_Rebuild(benchmark::State& state) {
  auto& f = fixture();
  for (auto _ : state) {
    IndexedFile pair;
    pair.load(f.idx, f.mul, StorageMode::Memory);
    Random random(7);
    Progress silent;
    pair.rebuild(f.dir.file("new.idx"), f.dir.file("new.mul"), silent, random);
    state.SetBytesProcessed(state.bytes_processed() +
                            static_cast<int64_t>(pair.indexSize() + pair.dataSize()));
  }
}

}  // namespace

BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Rebuild)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
