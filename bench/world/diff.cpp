// Map and static diffs between two generated 6144 x 4096 worlds that differ in 1 % of their
// blocks: creating each diff and applying it to a copy of the original, each timed in one loop
// beside a plain read of the same input bytes plus a plain write of the same output bytes; the
// counter "<operation>/plain" is that ratio (the goal is 1.5 or less).

#include <benchmark/benchmark.h>

#include <chrono>

#include "app/FileIO.h"
#include "world/DiffFiles.h"
#include "Compare.h"
#include "support/TestFiles.h"
#include "support/WorldFiles.h"

using namespace quillotide;

namespace {

constexpr int kW = 6144;
constexpr int kH = 4096;
constexpr std::size_t kBlocks = static_cast<std::size_t>(kW / 8) * (kH / 8);

// About ten statics a block; every 100th block of the changed world holds other statics.
void writeStatics(const std::string& idx, const std::string& mul, bool changed) {
  ByteWriter index(kBlocks * 12);
  ByteWriter data(kBlocks * 11 * 7);
  for (std::size_t b = 0; b < kBlocks; ++b) {
    const std::size_t n = 8 + b % 5;
    const bool other = changed && b % 100 == 0;
    index.i32(static_cast<std::int32_t>(data.size()));
    index.i32(static_cast<std::int32_t>(n * 7));
    index.i32(0);
    for (std::size_t k = 0; k < n; ++k) {
      data.u16(static_cast<std::uint16_t>(1 + (b + k) % 0x20 + (other ? 0x100 : 0)));
      data.u8(static_cast<std::uint8_t>(k % 8));
      data.u8(static_cast<std::uint8_t>((k * 3 + b) % 8));
      data.i8(static_cast<std::int8_t>(k));
      data.u16(0);
    }
  }
  test::writeBytes(idx, index.data());
  test::writeBytes(mul, data.data());
}

struct Fixture {
  test::TempDir dir;
  std::string map = dir.file("map0.mul");
  std::string map1 = dir.file("map1.mul");
  std::string target = dir.file("map2.mul");
  std::string idx = dir.file("staidx0.mul");
  std::string mul = dir.file("statics0.mul");
  std::string idx1 = dir.file("staidx1.mul");
  std::string mul1 = dir.file("statics1.mul");
  std::string idx2 = dir.file("staidx2.mul");
  std::string mul2 = dir.file("statics2.mul");
  std::string diffs = dir.path();
  Fixture() {
    const auto cell = [](int x, int y) {
      return test::CellSpec{static_cast<std::uint16_t>(0x10 + (x * 7 + y) % 3),
                            static_cast<std::int8_t>((x ^ y) % 64 - 20)};
    };
    const Bytes orig = test::makeMapBytes(kW, kH, cell);
    test::writeBytes(map, orig);
    test::writeBytes(target, orig);
    // Every 100th block gets another first cell.
    Bytes changed = orig;
    for (std::size_t b = 0; b < kBlocks; b += 100) changed[b * 196 + 4] ^= 0x40;
    test::writeBytes(map1, changed);
    writeStatics(idx, mul, false);
    writeStatics(idx2, mul2, false);
    writeStatics(idx1, mul1, true);
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

Progress g_silent;
using bench::sizeOf;

// Reads the inputs whole and writes as many bytes to as many files as the operation wrote.
void plainReadWrite(const std::vector<std::string>& inputs,
                    const std::vector<std::string>& outputs) {
  std::uint64_t read = 0;
  for (const auto& path : inputs) read += readFile(path).size();
  benchmark::DoNotOptimize(read);
  int k = 0;
  for (const auto& path : outputs)
    writeFileAtomic(fixture().dir.file("plain" + std::to_string(k++) + ".out"),
                    Bytes(static_cast<std::size_t>(sizeOf({path})), 1));
}

template <typename Operation>
void compare(benchmark::State& state, const char* name, const std::vector<std::string>& inputs,
             const std::vector<std::string>& outputs, Operation&& operation) {
  bench::compareWithPlain(state, name, operation, [&] { plainReadWrite(inputs, outputs); });
}

void BM_CreateMapDiff(benchmark::State& state) {
  auto& f = fixture();
  const MapDiffPaths out = MapDiffPaths::in(f.diffs);
  compare(state, "CreateMapDiff", {f.map, f.map1}, {out.blockList, out.data}, [&] {
    createMapDiff(f.map, f.map1, out, {kW, kH}, g_silent);
  });
}

void BM_ApplyMapDiff(benchmark::State& state) {
  auto& f = fixture();
  const MapDiffPaths diff = MapDiffPaths::in(f.diffs);
  if (!fileExists(diff.data)) createMapDiff(f.map, f.map1, diff, {kW, kH}, g_silent);
  compare(state, "ApplyMapDiff", {f.target, diff.blockList, diff.data}, {f.target}, [&] {
    applyMapDiff(f.target, diff, {kW, kH}, g_silent);
  });
}

void BM_CreateStaticDiff(benchmark::State& state) {
  auto& f = fixture();
  const StaticDiffPaths out = StaticDiffPaths::in(f.diffs);
  compare(state, "CreateStaticDiff", {f.idx, f.mul, f.idx1, f.mul1},
          {out.blockList, out.index, out.data}, [&] {
            createStaticDiff(f.idx, f.mul, f.idx1, f.mul1, out, {kW, kH}, g_silent);
          });
}

void BM_ApplyStaticDiff(benchmark::State& state) {
  auto& f = fixture();
  const StaticDiffPaths diff = StaticDiffPaths::in(f.diffs);
  if (!fileExists(diff.data))
    createStaticDiff(f.idx, f.mul, f.idx1, f.mul1, diff, {kW, kH}, g_silent);
  compare(state, "ApplyStaticDiff", {f.idx2, f.mul2, diff.blockList, diff.index, diff.data},
          {f.idx2, f.mul2}, [&] {
            applyStaticDiff(f.idx2, f.mul2, diff, {kW, kH}, g_silent);
          });
}

}  // namespace

BENCHMARK(BM_CreateMapDiff)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ApplyMapDiff)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CreateStaticDiff)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ApplyStaticDiff)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_MAIN();
