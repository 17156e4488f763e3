// The cost of undo for the world editor's biggest steps on a 512 x 512 world with about 40 000
// statics: a "Nuke" of every static recorded and taken back, and a land stroke over every cell
// recorded and taken back, each timed beside the same edits made and reverted through the models
// with nothing recorded (flag and cell writes only, so the ratio "<step>/plain" is large). The
// goal is the time per edit, "us/edit": under 1 microsecond to record an edit and take it back,
// so that a nuke of a whole screen and its undo stay well inside one frame.

#include <benchmark/benchmark.h>

#include <chrono>

#include "registry/Registry.h"
#include "world/Items.h"
#include "world/Map.h"
#include "world/Statics.h"
#include "world/WorldUndo.h"
#include "Compare.h"
#include "support/TestFiles.h"
#include "support/WorldFiles.h"

using namespace quillotide;

namespace {

constexpr int kSide = 512;

struct Fixture {
  test::TempDir dir;
  Registry r;
  std::vector<TItem> statics;
  Fixture() {
    std::vector<test::PlacedStatic> placed;
    for (int x = 0; x < kSide; ++x)
      for (int y = 0; y < kSide; ++y)
        if ((x * 31 + y * 17) % 7 == 0)
          placed.push_back({static_cast<std::uint16_t>(1 + (x + y) % 0x40), x, y,
                            static_cast<std::int8_t>(x % 20), 0});
    const auto files = test::makeStaticsFiles(kSide, kSide, placed);
    r.statics->openBytes(files.index, files.data, kSide, kSide);
    statics = r.statics->getItemsInRect(0, kSide - 1, 0, kSide - 1);
    test::writeBytes(dir.file("map0.mul"), test::makeMapBytes(kSide, kSide, [](int x, int y) {
                       return test::CellSpec{static_cast<std::uint16_t>(3 + (x ^ y) % 4), 0};
                     }));
    r.map->open(dir.file("map0.mul"), kSide, kSide);
  }
  WorldModels models() {
    return {r.map.get(), r.statics.get(), r.staticDiff.get(), r.worldFile.get(), r.items.get()};
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

using bench::Clock;
double since(Clock::time_point from) { return bench::seconds(from, Clock::now()); }

void BM_NukeAndUndo(benchmark::State& state) {
  Fixture& f = fixture();
  UndoStack stack;
  WorldEdits edits(stack);
  edits.setModels(f.models());
  double recorded = 0, plain = 0;
  for (auto _ : state) {
    auto t = Clock::now();
    stack.beginGroup("Nuke");
    for (const TItem& it : f.statics) edits.remove(it);
    stack.endGroup();
    stack.undo();
    recorded += since(t);
    t = Clock::now();
    for (const TItem& it : f.statics) f.r.items->remove(&it);
    for (const TItem& it : f.statics) f.r.items->restore(&it);
    plain += since(t);
  }
  const double n = static_cast<double>(f.statics.size());
  state.counters["statics"] = n;
  state.counters["nuke/plain"] = recorded / plain;
  state.counters["us/edit"] = recorded / static_cast<double>(state.iterations()) / n * 1e6;
}
BENCHMARK(BM_NukeAndUndo)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_StrokeAndUndo(benchmark::State& state) {
  Fixture& f = fixture();
  UndoStack stack;
  WorldEdits edits(stack);
  edits.setModels(f.models());
  TMap& map = *f.r.map;
  double recorded = 0, plain = 0;
  for (auto _ : state) {
    auto t = Clock::now();
    stack.beginGroup("Land Id");
    for (int x = 0; x < kSide; ++x)
      for (int y = 0; y < kSide; ++y)
        edits.editCell(x, y, [x, y](TMap& m) { m.setTileId(x, y, 0x20); });
    stack.endGroup();
    stack.undo();
    recorded += since(t);
    t = Clock::now();
    for (int x = 0; x < kSide; ++x)
      for (int y = 0; y < kSide; ++y) {
        const MapCell before = *map.cell(x, y);
        map.setTileId(x, y, 0x20);
        map.setTileId(x, y, before.tileId);
      }
    plain += since(t);
  }
  const double n = static_cast<double>(kSide) * kSide;
  state.counters["cells"] = n;
  state.counters["stroke/plain"] = recorded / plain;
  state.counters["us/edit"] = recorded / static_cast<double>(state.iterations()) / n * 1e6;
}
BENCHMARK(BM_StrokeAndUndo)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
