// The world editor's frame at 1024 x 768 with OpenGL (run under xvfb with Mesa llvmpipe): the
// prepared scene drawn and read back, over the sample world and over a dense generated area with
// more than 10 000 visible items (goal: under 8 ms). The counter "plain" is the frame's time over
// drawing an empty scene and reading back the same 1024 x 768 pixels.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTest>

#include "sample/Sample.h"
#include "support/EditorWorld.h"
#include "ui/editor/EditorView.h"

using namespace quillotide;

namespace {

double frameSeconds(ui::EditorView& view, int frames) {
  view.frame();  // textures made
  QElapsedTimer t;
  t.start();
  for (int i = 0; i < frames; ++i) benchmark::DoNotOptimize(view.frame().constBits());
  return static_cast<double>(t.nsecsElapsed()) / 1e9 / frames;
}

void runFrame(benchmark::State& state, const SceneSources& sources, int cx, int cy) {
  EditorScene scene(sources);
  scene.setViewCentre(cx, cy);
  EditorScene empty;
  ui::EditorView view(scene, true);
  ui::EditorView blank(empty, true);
  for (ui::EditorView* v : {&view, &blank}) {
    v->setFixedSize(1024, 768);
    v->show();
    if (!QTest::qWaitForWindowExposed(v)) state.SkipWithError("no window");
  }
  if (!view.drawsWithOpenGL()) {
    state.SkipWithError("OpenGL cannot draw here");
    return;
  }
  double frame = 0, plain = 0;
  for (auto _ : state) {
    frame += frameSeconds(view, 5);
    plain += frameSeconds(blank, 5);
  }
  state.counters["visible"] = static_cast<double>(scene.visibleItems().size());
  state.counters["frame_ms"] = frame * 1000 / static_cast<double>(state.iterations());
  state.counters["plain"] = plain > 0 ? frame / plain : 0;
}

void FrameSampleWorld(benchmark::State& state) {
  static test::SampleEditorWorld world;
  runFrame(state, world.sources(), sample::kSampleWorldSize / 2, sample::kSampleWorldSize / 2);
}
BENCHMARK(FrameSampleWorld)->Unit(benchmark::kMillisecond)->Iterations(10);

void FrameDenseArea(benchmark::State& state) {
  static test::EditorWorld world(128, test::denseStatics(128, 11));
  runFrame(state, world.sources(), 64, 64);
}
BENCHMARK(FrameDenseArea)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
  ui::setEditorSurfaceFormat();
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
