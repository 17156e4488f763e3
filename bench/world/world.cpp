// The world models over a generated 6144 x 4096 map (77 MB) and about 4 million statics. Every
// whole-file tool is timed in one loop beside a plain sequential read of the same input bytes
// plus a plain write of the same output bytes; the counter "<tool>/plain" is that ratio (the
// goal is 1.5 or less). ItemsInRect times a 46 x 46-cell query with 100 000 statics loaded
// (goal: under 0.2 ms).

#include <benchmark/benchmark.h>

#include <chrono>

#include "app/FileIO.h"
#include "app/Image.h"
#include "world/Map.h"
#include "models/Radarcol.h"
#include "world/Statics.h"
#include "models/Tiledata.h"
#include "Compare.h"
#include "support/TestFiles.h"
#include "support/WorldFiles.h"

using namespace quillotide;

namespace {

constexpr int kW = 6144;
constexpr int kH = 4096;
constexpr int kRows = kH / 8;
constexpr std::size_t kBlocks = static_cast<std::size_t>(kW / 8) * kRows;

struct Fixture {
  test::TempDir dir;
  std::string map = dir.file("map0.mul");
  std::string idx = dir.file("staidx0.mul");
  std::string mul = dir.file("statics0.mul");
  Fixture() {
    test::writeBytes(map, test::makeMapBytes(kW, kH, [](int x, int y) {
                       return test::CellSpec{static_cast<std::uint16_t>(0x10 + (x * 7 + y) % 3),
                                             static_cast<std::int8_t>((x ^ y) % 64 - 20)};
                     }));
    // About ten statics a block, every 16th block holding one duplicate: 4.1 million records.
    ByteWriter index(kBlocks * 12);
    ByteWriter data(kBlocks * 11 * 7);
    for (std::size_t b = 0; b < kBlocks; ++b) {
      const std::size_t n = 8 + b % 5;
      index.i32(static_cast<std::int32_t>(data.size()));
      index.i32(static_cast<std::int32_t>((n + (b % 16 == 0 ? 1 : 0)) * 7));
      index.i32(0);
      for (std::size_t k = 0; k < n; ++k) {
        data.u16(static_cast<std::uint16_t>(1 + (b + k) % 0x20));
        data.u8(static_cast<std::uint8_t>(k % 8));
        data.u8(static_cast<std::uint8_t>((k * 3 + b) % 8));
        data.i8(static_cast<std::int8_t>(k));
        data.u16(0);
      }
      if (b % 16 == 0) {
        data.u16(static_cast<std::uint16_t>(1 + b % 0x20));
        data.u8(0);
        data.u8(static_cast<std::uint8_t>(b % 8));
        data.i8(0);
        data.u16(0);
      }
    }
    test::writeBytes(idx, index.data());
    test::writeBytes(mul, data.data());
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

Progress g_silent;
using bench::sizeOf;

// Reads the inputs whole and writes `outputBytes` bytes to one file.
void plainReadWrite(const std::vector<std::string>& inputs, std::uint64_t outputBytes) {
  std::uint64_t read = 0;
  for (const auto& path : inputs) read += readFile(path).size();
  benchmark::DoNotOptimize(read);
  if (outputBytes > 0)
    writeFileAtomic(fixture().dir.file("plain.out"),
                    Bytes(static_cast<std::size_t>(outputBytes), 1));
}

template <typename Tool>
void compare(benchmark::State& state, const char* name, const std::vector<std::string>& inputs,
             const std::vector<std::string>& outputs, Tool&& tool) {
  bench::compareWithPlain(state, name, tool, [&] { plainReadWrite(inputs, sizeOf(outputs)); });
}

void BM_CountTiles(benchmark::State& state) {
  auto& f = fixture();
  TTiledata tiledata;
  tiledata.loadBytes(Bytes(428032 + 1188, 0));
  const std::string tex = f.dir.file("texturelist.csv");
  const std::string art = f.dir.file("artlist.csv");
  compare(state, "CountTiles", {f.map}, {tex, art}, [&] {
    TMap map(WorldSources{nullptr, &tiledata, nullptr, nullptr, nullptr});
    map.open(f.map, kW, kH);
    map.countTiles(tex, art, g_silent);
  });
}

void BM_ReplaceIds(benchmark::State& state) {
  auto& f = fixture();
  const std::vector<MapIdRule> rules = {{0x10, "0x11,0x12"}, {0x11, "0x12"}, {0x12, "0x10"}};
  compare(state, "ReplaceIds", {f.map}, {f.map}, [&] {
    TMap map;
    map.open(f.map, kW, kH);
    Random random(1);
    map.replaceIds(rules, random, g_silent);
  });
}

void BM_HeightMap(benchmark::State& state) {
  auto& f = fixture();
  const std::string out = f.dir.file("height.bmp");
  compare(state, "HeightMap", {f.map}, {out}, [&] {
    TMap map;
    map.open(f.map, kW, kH);
    map.exportHeightMap(out, g_silent);
  });
}

void BM_AdjustedHeightMap(benchmark::State& state) {
  auto& f = fixture();
  const std::string out = f.dir.file("adjusted.bmp");
  compare(state, "AdjustedHeightMap", {f.map}, {out}, [&] {
    TMap map;
    map.open(f.map, kW, kH);
    map.exportAdjustedHeightMap(out, -20, g_silent);
  });
}

void BM_Overview(benchmark::State& state) {
  auto& f = fixture();
  test::writeBytes(f.dir.file("radarcol.mul"), Bytes(0x8000 * 2, 7));
  TRadarcol radar;
  radar.load(f.dir.file("radarcol.mul"));
  compare(state, "Overview", {f.map}, {}, [&] {
    TMap map(WorldSources{nullptr, nullptr, nullptr, nullptr, &radar});
    map.open(f.map, kW, kH);
    benchmark::DoNotOptimize(map.overviewPicture().pixels.data());
  });
}

void BM_RenderStaticMap(benchmark::State& state) {
  auto& f = fixture();
  const std::string out = f.dir.file("staticmap.bmp");
  compare(state, "RenderStaticMap", {f.idx, f.mul}, {out}, [&] {
    TStatics statics;
    statics.open(f.idx, f.mul, kW, kH, StorageMode::Memory);
    writeImageFile(out, statics.renderStaticMap(g_silent));
  });
}

void BM_Compact(benchmark::State& state) {
  auto& f = fixture();
  const std::string ci = f.dir.file("c_idx.mul");
  const std::string cd = f.dir.file("c_statics.mul");
  compare(state, "Compact", {f.idx, f.mul}, {ci, cd}, [&] {
    TStatics statics;
    statics.open(f.idx, f.mul, kW, kH, StorageMode::Memory);
    statics.compact(ci, cd, g_silent);
  });
}

void BM_RemoveDuplicates(benchmark::State& state) {
  auto& f = fixture();
  const std::string ri = f.dir.file("r_idx.mul");
  const std::string rd = f.dir.file("r_statics.mul");
  compare(state, "RemoveDuplicates", {f.idx, f.mul}, {ri, rd}, [&] {
    TStatics statics;
    statics.open(f.idx, f.mul, kW, kH, StorageMode::Memory);
    statics.removeDuplicates(g_silent);
    statics.save(ri, rd, StaticsSaveMode::StaticsOnly, nullptr, g_silent);
  });
}

void BM_ExportText(benchmark::State& state) {
  auto& f = fixture();
  const std::string out = f.dir.file("statics.txt");
  compare(state, "ExportText", {f.idx, f.mul}, {out}, [&] {
    TStatics statics;
    statics.open(f.idx, f.mul, kW, kH, StorageMode::Memory);
    statics.exportText(out, g_silent);
  });
}

void BM_ItemsInRect(benchmark::State& state) {
  auto& f = fixture();
  TStatics statics;
  statics.open(f.idx, f.mul, kW, kH, StorageMode::Memory);
  // About 100 000 statics: a square of 96 x 96 blocks around the query.
  statics.getItemsInRect(1000, 1767, 1000, 1767);
  state.counters["loaded"] = static_cast<double>(statics.itemCount());
  int k = 0;
  std::size_t found = 0;
  for (auto _ : state) {
    const int x = 1100 + (k * 37) % 500;
    const int y = 1100 + (k * 53) % 500;
    found += statics.getItemsInRect(x, x + 45, y, y + 45).size();
    ++k;
  }
  benchmark::DoNotOptimize(found);
}

}  // namespace

BENCHMARK(BM_CountTiles)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReplaceIds)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_HeightMap)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_AdjustedHeightMap)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Overview)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RenderStaticMap)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Compact)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RemoveDuplicates)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExportText)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ItemsInRect)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
