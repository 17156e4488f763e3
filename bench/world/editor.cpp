// The world editor's rebuild at 1024 x 768: VisibleItems gathered from the statics, the world
// file and the map around the view centre, sorted into draw order and walked once (projection,
// culling, pictures from the cache), over the sample world and over a dense generated area with
// more than 10 000 visible items (goal: under 5 ms). The counter "plain" is the rebuild's time
// over a plain copy of the same items' bytes.

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

void runRebuild(benchmark::State& state, EditorScene& scene) {
  scene.setClientSize(1024, 768);
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

void RebuildSampleWorld(benchmark::State& state) {
  static test::SampleEditorWorld world;
  EditorScene scene(world.sources());
  scene.setViewCentre(sample::kSampleWorldSize / 2, sample::kSampleWorldSize / 2);
  runRebuild(state, scene);
}
BENCHMARK(RebuildSampleWorld)->Unit(benchmark::kMillisecond);

void RebuildDenseArea(benchmark::State& state) {
  static test::EditorWorld world(128, test::denseStatics(128, 11));
  EditorScene scene(world.sources());
  scene.setViewCentre(64, 64);
  runRebuild(state, scene);
}
BENCHMARK(RebuildDenseArea)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
