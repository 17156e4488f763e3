// The choosers' filter over every id of a grid: 0x4000 static names read from the tile data and
// matched against a part of a name ("wall"), against a range and against one id, each beside the
// plain read of the same names. A chooser re-filters on every key typed, so this is the cost of a
// key press before the grid paints the cells it already holds decoded.

#include <benchmark/benchmark.h>

#include <string>

#include "Compare.h"
#include "models/Tiledata.h"
#include "world/IdQuery.h"

using namespace quillotide;

namespace {

constexpr int kIds = 0x4000;

TTiledata& names() {
  static TTiledata tiles = [] {
    TTiledata t;
    const TiledataSizes& z = TiledataSizes::of(TiledataLayout::Classic);
    t.loadBytes(Bytes(z.landSection + (kIds / 32) * z.staticGroup, 0), TiledataLayout::Classic);
    const char* words[] = {"stone wall", "slate roof", "wooden floor", "tree", "wall torch"};
    for (int id = 0; id < kIds; ++id) {
      StaticTileRecord r;
      r.name = makeTileName(std::string(words[id % 5]) + " " + std::to_string(id % 97));
      t.writeStatic(id, r);
    }
    return t;
  }();
  return tiles;
}

void filterBeside(benchmark::State& state, const char* text) {
  const TTiledata& tiles = names();
  const IdFilter filter(text);
  std::size_t shown = 0;
  bench::compareWithPlain(
      state, "filter",
      [&] {
        shown = 0;
        for (int id = 0; id < kIds; ++id)
          if (filter.matches(id, filter.byName() ? tiles.staticName(id) : std::string())) ++shown;
        benchmark::DoNotOptimize(shown);
      },
      [&] {
        std::size_t length = 0;
        for (int id = 0; id < kIds; ++id) length += tiles.staticName(id).size();
        benchmark::DoNotOptimize(length);
      });
  state.counters["shown"] = static_cast<double>(shown);
}

void BM_FilterByNamePart(benchmark::State& state) { filterBeside(state, "wall"); }
void BM_FilterByRange(benchmark::State& state) { filterBeside(state, "0x100-0x1FF"); }
void BM_FilterById(benchmark::State& state) { filterBeside(state, "0x1F4"); }

}  // namespace

BENCHMARK(BM_FilterByNamePart)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilterByRange)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilterById)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
