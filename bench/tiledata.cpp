// Tile data text export and import of a file of the older layout with 0x10000 static records
// (about 3 MB, every record named), timed in the same loop as their floors, so the ratio holds on
// a noisy machine: the export beside writing the same text bytes (goal 1.5), the import beside
// reading the same text and splitting it into its lines and fields (goal 3).

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "app/FileIO.h"
#include "models/Tiledata.h"
#include "Compare.h"
#include "support/TestFiles.h"

using namespace quillotide;

namespace {

struct Fixture {
  test::TempDir dir;
  TTiledata tiles;
  std::string land = dir.file("TileMap.txt");
  std::string statics = dir.file("StaticTiles.txt");
  Fixture() {
    const TiledataSizes& z = TiledataSizes::of(TiledataLayout::Classic);
    tiles.loadBytes(Bytes(z.landSection + 2048 * z.staticGroup, 0), TiledataLayout::Classic);
    std::uint32_t x = 1;
    const auto next = [&x] { return x = x * 1103515245u + 12345u; };
    for (int id = 0; id < TTiledata::kLandCount; ++id) {
      LandTileRecord r;
      r.flags = next() & 0x40FF;
      r.textureId = static_cast<std::uint16_t>(next() >> 16);
      r.name = makeTileName("ground " + std::to_string(id));
      tiles.writeLand(id, r);
    }
    for (std::uint32_t id = 0; id < tiles.staticCount(); ++id) {
      StaticTileRecord r;
      r.flags = next();
      r.weight = static_cast<std::uint8_t>(next() >> 24);
      r.height = static_cast<std::uint8_t>(next() >> 27);
      r.animId = static_cast<std::uint16_t>(next() >> 16);
      r.name = makeTileName("item number " + std::to_string(id));
      tiles.writeStatic(id, r);
    }
    tiles.exportLandText(land);
    tiles.exportStaticText(statics);
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

using bench::Clock;
using bench::seconds;

// Export of both tables beside writing the same text bytes as plain files.
void BM_ExportOverWrite(benchmark::State& state) {
  auto& f = fixture();
  const Bytes landBytes = readFile(f.land);
  const Bytes staticBytes = readFile(f.statics);
  double plain = 0, work = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    writeFileAtomic(f.dir.file("plain-land.txt"), landBytes);
    writeFileAtomic(f.dir.file("plain-static.txt"), staticBytes);
    const auto t1 = Clock::now();
    f.tiles.exportLandText(f.dir.file("out-land.txt"));
    f.tiles.exportStaticText(f.dir.file("out-static.txt"));
    const auto t2 = Clock::now();
    plain += seconds(t0, t1);
    work += seconds(t1, t2);
  }
  state.counters["export/write"] = plain > 0 ? work / plain : 0;
  state.counters["text MB"] = static_cast<double>(landBytes.size() + staticBytes.size()) / 1e6;
}

// The floor of any import: the file read whole, cut into lines and each line into its
// TAB-separated fields.
std::size_t readAndSplit(const std::string& path) {
  const Bytes bytes = readFile(path);
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  std::vector<std::string_view> fields;
  std::size_t count = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    fields.clear();
    std::size_t start = 0;
    for (;;) {
      const std::size_t tab = line.find('\t', start);
      fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
      if (tab == std::string_view::npos) break;
      start = tab + 1;
    }
    count += fields.size();
    benchmark::DoNotOptimize(fields.data());
    pos = end + 1;
  }
  return count;
}

// Import of both tables beside reading and splitting the same text files.
void BM_ImportOverRead(benchmark::State& state) {
  auto& f = fixture();
  double plain = 0, work = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    benchmark::DoNotOptimize(readAndSplit(f.land));
    benchmark::DoNotOptimize(readAndSplit(f.statics));
    const auto t1 = Clock::now();
    f.tiles.importLandText(f.land);
    const StaticImportResult r = f.tiles.importStaticText(f.statics);
    benchmark::DoNotOptimize(r.written);
    const auto t2 = Clock::now();
    plain += seconds(t0, t1);
    work += seconds(t1, t2);
  }
  state.counters["import/read+split"] = plain > 0 ? work / plain : 0;
}

// Both beside reading the tile data file itself (the 3 MB the texts describe). The text is 2.6
// times the file's size, so the floors are shown beside them: writing the same text bytes as a
// plain file, reading them, and making the text in memory without writing it.
void BM_TextOverReadingTheFile(benchmark::State& state) {
  auto& f = fixture();
  f.tiles.save(f.dir.file("tiledata.mul"));
  const Bytes text = readFile(f.statics);
  double plain = 0, exportSeconds = 0, importSeconds = 0, writeText = 0, readText = 0, make = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    benchmark::DoNotOptimize(readFile(f.dir.file("tiledata.mul")));
    const auto t1 = Clock::now();
    f.tiles.exportStaticText(f.dir.file("out-static.txt"));
    const auto t2 = Clock::now();
    benchmark::DoNotOptimize(f.tiles.importStaticText(f.statics).written);
    const auto t3 = Clock::now();
    writeFileAtomic(f.dir.file("plain-static.txt"), text);
    const auto t4 = Clock::now();
    benchmark::DoNotOptimize(readFile(f.statics));
    const auto t5 = Clock::now();
    benchmark::DoNotOptimize(f.tiles.staticTextFile());
    const auto t6 = Clock::now();
    plain += seconds(t0, t1);
    exportSeconds += seconds(t1, t2);
    importSeconds += seconds(t2, t3);
    writeText += seconds(t3, t4);
    readText += seconds(t4, t5);
    make += seconds(t5, t6);
  }
  const auto over = [plain](double s) { return plain > 0 ? s / plain : 0; };
  state.counters["export/read file"] = over(exportSeconds);
  state.counters["import/read file"] = over(importSeconds);
  state.counters["write text/read file"] = over(writeText);
  state.counters["read text/read file"] = over(readText);
  state.counters["make text/read file"] = over(make);
}

}  // namespace

BENCHMARK(BM_ExportOverWrite)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_ImportOverRead)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_TextOverReadingTheFile)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK_MAIN();
