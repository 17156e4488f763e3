// The world editor's selection at the size of a town seen at the farthest zoom: 25 600 statics
// (one on each cell of 160 x 160) selected at once. Each bulk step (select, move, delete, paste
// of the copied group) is timed with its undo, beside the same edits made and reverted through
// the dispatcher with nothing recorded, so "<step>/plain" tells what the recording costs. The
// goal is "ms/step" well under 1000 (a step a person waits for), and far under that in practice.

#include <benchmark/benchmark.h>

#include "registry/Registry.h"
#include "world/Items.h"
#include "world/Selection.h"
#include "world/Statics.h"
#include "world/WorldFile.h"
#include "world/WorldUndo.h"
#include "Compare.h"
#include "support/WorldFiles.h"

using namespace quillotide;

namespace {

constexpr int kSide = 160;

struct Fixture {
  Registry r;
  std::vector<TItem> statics;
  Fixture() {
    std::vector<test::PlacedStatic> placed;
    for (int x = 0; x < kSide; ++x)
      for (int y = 0; y < kSide; ++y)
        placed.push_back({static_cast<std::uint16_t>(1 + (x + y) % 0x40), x, y,
                          static_cast<std::int8_t>(x % 20), 0});
    const auto files = test::makeStaticsFiles(kSide, kSide, placed);
    r.statics->openBytes(files.index, files.data, kSide, kSide);
    statics = r.statics->getItemsInRect(0, kSide - 1, 0, kSide - 1);
  }
  WorldModels models() {
    return {nullptr, r.statics.get(), r.staticDiff.get(), r.worldFile.get(), r.items.get()};
  }
  Selection selectAll() {
    Selection s;
    s.follow(models());
    for (const TItem& it : statics) s.add(it);
    return s;
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

using bench::Clock;
double since(Clock::time_point from) { return bench::seconds(from, Clock::now()); }

// Times `step` (which records one undo step) and its undo, beside `plain`.
template <class Step, class Plain>
void timeStep(benchmark::State& state, const std::string& name, Step&& step, Plain&& plain) {
  Fixture& f = fixture();
  UndoStack stack;
  WorldEdits edits(stack);
  edits.setModels(f.models());
  double recorded = 0, plainTime = 0;
  for (auto _ : state) {
    auto t = Clock::now();
    step(edits);
    stack.undo();
    recorded += since(t);
    t = Clock::now();
    plain();
    plainTime += since(t);
  }
  state.counters["items"] = static_cast<double>(f.statics.size());
  state.counters[name + "/plain"] = plainTime > 0 ? recorded / plainTime : 0;
  state.counters["ms/step"] = recorded / static_cast<double>(state.iterations()) * 1e3;
}

void BM_SelectAll(benchmark::State& state) {
  Fixture& f = fixture();
  for (auto _ : state) {
    Selection s = f.selectAll();
    std::vector<TItem> copies = f.statics;
    s.mark(copies, f.models());
    benchmark::DoNotOptimize(copies.data());
  }
  state.counters["items"] = static_cast<double>(f.statics.size());
}
BENCHMARK(BM_SelectAll)->Unit(benchmark::kMillisecond);

void BM_MoveAndUndo(benchmark::State& state) {
  Fixture& f = fixture();
  timeStep(
      state, "move",
      [&](WorldEdits& edits) {
        Selection s = f.selectAll();
        s.move(edits, 0, 0, 1);
      },
      [&] {
        for (const TItem& it : f.statics) f.r.items->move(&it, 0, 0, 1);
        for (const TItem& it : f.statics) f.r.items->move(&it, 0, 0, -1);
      });
}
BENCHMARK(BM_MoveAndUndo)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_DeleteAndUndo(benchmark::State& state) {
  Fixture& f = fixture();
  timeStep(
      state, "delete",
      [&](WorldEdits& edits) {
        Selection s = f.selectAll();
        s.remove(edits);
      },
      [&] {
        for (const TItem& it : f.statics) f.r.items->remove(&it);
        for (const TItem& it : f.statics) f.r.items->restore(&it);
      });
}
BENCHMARK(BM_DeleteAndUndo)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_CopyPasteAndUndo(benchmark::State& state) {
  Fixture& f = fixture();
  timeStep(
      state, "paste",
      [&](WorldEdits& edits) {
        Selection s = f.selectAll();
        const std::string text = groupText(s.items(f.models()), 0);
        s.paste(edits, parseGroupText(text), 10, 10, 0);
      },
      [&] {
        const std::size_t before = f.r.worldFile->size();
        for (const TItem& it : f.statics)
          f.r.worldFile->add(it.tileId, it.x, it.y, it.z, it.hue);
        f.r.worldFile->truncate(before);
      });
}
BENCHMARK(BM_CopyPasteAndUndo)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
