// The world editor's rebuild: VisibleItems gathered from the statics, the world file and the map
// around the view centre, sorted into draw order and walked once (projection, culling, pictures
// from the cache), over the sample world and over a dense generated area (11 statics on every
// cell) at 1024 x 768, and over the dense area at 1920 x 1080 at every zoom step from 0.1 to 10.1
// (goal: under 16 ms at every zoom), read whole and after a move by one cell. The counter
// "plain" is the rebuild's time over a plain copy of the same items' bytes (a move: over a
// rebuild that reads every cell).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>

#include "world/EditorScene.h"
#include "sample/Sample.h"
#include "Compare.h"
#include "support/EditorWorld.h"

using namespace quillotide;

namespace {

using bench::Clock;
using bench::seconds;

void runRebuild(benchmark::State& state, EditorScene& scene, int width = 1024, int height = 768) {
  scene.setClientSize(width, height);
  scene.prepare(0);  // blocks loaded, pictures made: what every later rebuild finds
  double rebuild = 0, plain = 0;
  std::vector<TItem> copy;
  for (auto _ : state) {
    auto t0 = Clock::now();
    scene.requestRebuild();
    scene.prepare(0);
    auto t1 = Clock::now();
    copy.resize(scene.visibleItems().size());
    std::memcpy(copy.data(), scene.visibleItems().data(), copy.size() * sizeof(TItem));
    benchmark::DoNotOptimize(copy.data());
    auto t2 = Clock::now();
    rebuild += seconds(t0, t1);
    plain += seconds(t1, t2);
  }
  state.counters["visible"] = static_cast<double>(scene.visibleItems().size());
  state.counters["rebuild_ms"] = rebuild * 1000 / static_cast<double>(state.iterations());
  state.counters["plain"] = plain > 0 ? rebuild / plain : 0;
}

test::EditorWorld& denseWorld() {
  static test::EditorWorld world(128, test::denseStatics(128, 11));
  return world;
}

void RebuildSampleWorld(benchmark::State& state) {
  static test::SampleEditorWorld world;
  EditorScene scene(world.sources());
  scene.setViewCentre(sample::kSampleWorldSize / 2, sample::kSampleWorldSize / 2);
  runRebuild(state, scene);
}
BENCHMARK(RebuildSampleWorld)->Unit(benchmark::kMillisecond);

void RebuildDenseArea(benchmark::State& state) {
  EditorScene scene(denseWorld().sources());
  scene.setViewCentre(64, 64);
  runRebuild(state, scene);
}
BENCHMARK(RebuildDenseArea)->Unit(benchmark::kMillisecond);

// The dense area in a 1920 x 1080 window at the zoom `argument` steps away from 1, as the
// editor's keys and wheel step it (factor 1.25, held at 0.1 and 10.1): every cell read afresh,
// as after an edit (goal: under 16 ms at every step). From step -5 (0.33) down the whole area
// of 128 x 128 cells and 11 statics a cell lies in the square read.
void RebuildDenseAreaFullHD(benchmark::State& state) {
  EditorScene scene(denseWorld().sources());
  scene.setViewCentre(64, 64);
  const double zoom = EditorScene::steppedZoom(1.0, static_cast<int>(state.range(0)));
  scene.setZoom(zoom);
  runRebuild(state, scene, 1920, 1080);
  state.counters["zoom"] = zoom;
}
BENCHMARK(RebuildDenseAreaFullHD)->Unit(benchmark::kMillisecond)->DenseRange(-11, 11);

// A move by one cell, back and forth: what a pan or an arrow key asks of the rebuild. The cells
// still in view are kept and only those that came in are read ("read" items a move); "plain"
// is the time over a rebuild that reads every cell at the same place.
void RebuildAfterAMoveFullHD(benchmark::State& state) {
  EditorScene scene(denseWorld().sources());
  scene.setClientSize(1920, 1080);
  const double zoom = EditorScene::steppedZoom(1.0, static_cast<int>(state.range(0)));
  scene.setZoom(zoom);
  scene.setViewCentre(40, 64);
  scene.prepare(0);
  double moved = 0, whole = 0;
  std::size_t read = 0;
  int step = 1;
  for (auto _ : state) {
    auto t0 = Clock::now();
    scene.setViewCentre(scene.centreX() + step, scene.centreY());
    scene.prepare(0);
    auto t1 = Clock::now();
    read += scene.lastRebuildRead();
    scene.requestRebuild();
    scene.prepare(0);
    auto t2 = Clock::now();
    moved += seconds(t0, t1);
    whole += seconds(t1, t2);
    step = -step;
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["visible"] = static_cast<double>(scene.visibleItems().size());
  state.counters["read"] = static_cast<double>(read) / n;
  state.counters["rebuild_ms"] = moved * 1000 / n;
  state.counters["plain"] = whole > 0 ? moved / whole : 0;
  state.counters["zoom"] = zoom;
}
BENCHMARK(RebuildAfterAMoveFullHD)
    ->Unit(benchmark::kMillisecond)
    ->Arg(-6)
    ->Arg(-3)
    ->Arg(0)
    ->Arg(4)
    ->Arg(11);

}  // namespace

BENCHMARK_MAIN();
