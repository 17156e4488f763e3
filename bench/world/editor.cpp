// The world editor's rebuild: VisibleItems gathered from the statics, the world file and the map
// around the view centre, sorted into draw order and walked once (projection, culling, pictures
// from the cache), over the sample world and over a dense generated area (11 statics on every
// cell) at 1024 x 768, and over the dense area at 1920 x 1080 at zooms from 0.1 to 10.1 (goal:
// under 16 ms at every zoom). The counter "plain" is the rebuild's time over a plain copy of the
// same items' bytes.

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

// The dense area in a 1920 x 1080 window at zoom (argument / 100): at 0.25 and below the whole
// area of 128 x 128 cells and 11 statics a cell is in view.
void RebuildDenseAreaFullHD(benchmark::State& state) {
  EditorScene scene(denseWorld().sources());
  scene.setViewCentre(64, 64);
  scene.setZoom(static_cast<double>(state.range(0)) / 100);
  runRebuild(state, scene, 1920, 1080);
}
BENCHMARK(RebuildDenseAreaFullHD)
    ->Unit(benchmark::kMillisecond)
    ->Arg(10)
    ->Arg(25)
    ->Arg(50)
    ->Arg(100)
    ->Arg(400)
    ->Arg(1010);

// A move by one cell: what a pan or an arrow key asks of the rebuild.
void RebuildAfterAMoveFullHD(benchmark::State& state) {
  EditorScene scene(denseWorld().sources());
  scene.setClientSize(1920, 1080);
  scene.setZoom(static_cast<double>(state.range(0)) / 100);
  scene.setViewCentre(64, 64);
  scene.prepare(0);
  double rebuild = 0;
  int step = 1;
  for (auto _ : state) {
    auto t0 = Clock::now();
    scene.setViewCentre(scene.centreX() + step, scene.centreY());
    scene.prepare(0);
    rebuild += seconds(t0, Clock::now());
    step = -step;
  }
  state.counters["visible"] = static_cast<double>(scene.visibleItems().size());
  state.counters["rebuild_ms"] = rebuild * 1000 / static_cast<double>(state.iterations());
}
BENCHMARK(RebuildAfterAMoveFullHD)->Unit(benchmark::kMillisecond)->Arg(25)->Arg(100);

}  // namespace

BENCHMARK_MAIN();
