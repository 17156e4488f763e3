// Rebuild of a generated index/data pair of about 100 MB, beside a plain copy of the same bytes
// (read both files whole, write them whole), so the ratio holds on a noisy machine.

#include <benchmark/benchmark.h>

#include <chrono>
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

// Both in one loop, so the ratio printed comes from the same moments of a noisy machine.
void BM_RebuildOverCopy(benchmark::State& state) {
  auto& f = fixture();
  using Clock = std::chrono::steady_clock;
  double copySeconds = 0, rebuildSeconds = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    writeFileAtomic(f.dir.file("copy.idx"), readFile(f.idx));
    writeFileAtomic(f.dir.file("copy.mul"), readFile(f.mul));
    auto t1 = Clock::now();
    IndexedFile pair;
    pair.load(f.idx, f.mul, StorageMode::Memory);
    Random random(7);
    Progress silent;
    pair.rebuild(f.dir.file("new.idx"), f.dir.file("new.mul"), silent, random);
    auto t2 = Clock::now();
    copySeconds += std::chrono::duration<double>(t1 - t0).count();
    rebuildSeconds += std::chrono::duration<double>(t2 - t1).count();
  }
  state.counters["rebuild/copy"] = copySeconds > 0 ? rebuildSeconds / copySeconds : 0;
}

}  // namespace

BENCHMARK(BM_RebuildOverCopy)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Rebuild)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
