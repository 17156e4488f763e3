// The world editor's frame with OpenGL (run under xvfb with Mesa llvmpipe): the prepared scene
// drawn and read back, over the sample world and a dense generated area at 1024 x 768, and over
// the dense area at 1920 x 1080 at every zoom the editor's keys and wheel reach from its start at
// 1, from the nearest 0.1 to the farthest 10.1 (goal: under 16 ms at zoom 1). The zoom is the
// world pixels per window pixel, so a larger zoom shows more of the world and draws more items.
// The counter "plain" is the frame's time over drawing an empty scene and reading back the same
// pixels; "cpu_ms" is the processor time of all the program's threads per frame, the renderer's
// included, which a busy machine disturbs less than the time on the clock. The frames after a
// hover and after a move are measured apart, and so are frames as the window shows them
// (drawn and swapped onto the screen rather than read back).

#include <benchmark/benchmark.h>

#include <ctime>

#include <QApplication>
#include <QOpenGLWindow>
#include <QTest>

#include "sample/Sample.h"
#include "support/EditorWorld.h"
#include "ui/editor/EditorView.h"

using namespace quillotide;

namespace {

// Processor seconds of the whole program, the renderer's threads included: on a busy machine
// they vary less than the time on the clock.
double processSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double frameSeconds(ui::EditorView& view, int frames, double* cpu = nullptr) {
  view.frame();  // textures made
  QElapsedTimer t;
  t.start();
  const double cpu0 = processSeconds();
  for (int i = 0; i < frames; ++i) benchmark::DoNotOptimize(view.frame().constBits());
  if (cpu) *cpu += (processSeconds() - cpu0) / frames;
  return static_cast<double>(t.nsecsElapsed()) / 1e9 / frames;
}

void runFrame(benchmark::State& state, const SceneSources& sources, int cx, int cy,
              int width = 1024, int height = 768, double zoom = 1.0) {
  EditorScene scene(sources);
  scene.setViewCentre(cx, cy);
  scene.setZoom(zoom);
  EditorScene empty;
  ui::EditorView view(scene, true);
  ui::EditorView blank(empty, true);
  for (ui::EditorView* v : {&view, &blank}) {
    v->setFixedSize(width, height);
    v->show();
    if (!QTest::qWaitForWindowExposed(v)) state.SkipWithError("no window");
  }
  if (!view.drawsWithOpenGL()) {
    state.SkipWithError("OpenGL cannot draw here");
    return;
  }
  double frame = 0, plain = 0, cpu = 0;
  for (auto _ : state) {
    frame += frameSeconds(view, 5, &cpu);
    plain += frameSeconds(blank, 5);
  }
  state.counters["visible"] = static_cast<double>(scene.visibleItems().size());
  state.counters["frame_ms"] = frame * 1000 / static_cast<double>(state.iterations());
  state.counters["cpu_ms"] = cpu * 1000 / static_cast<double>(state.iterations());
  state.counters["plain"] = plain > 0 ? frame / plain : 0;
}

void FrameSampleWorld(benchmark::State& state) {
  static test::SampleEditorWorld world;
  runFrame(state, world.sources(), sample::kSampleWorldSize / 2, sample::kSampleWorldSize / 2);
}
BENCHMARK(FrameSampleWorld)->Unit(benchmark::kMillisecond)->Iterations(10);

test::EditorWorld& denseWorld() {
  static test::EditorWorld world(128, test::denseStatics(128, 11));
  return world;
}

void FrameDenseArea(benchmark::State& state) { runFrame(state, denseWorld().sources(), 64, 64); }
BENCHMARK(FrameDenseArea)->Unit(benchmark::kMillisecond)->Iterations(10);

// 1920 x 1080 at the zoom `argument` steps away from 1 (negative: nearer), each step the
// editor's factor of 1.25, the ends held at 0.1 and 10.1 as the editor holds them. From step 8
// (zoom 5.96) on, the window's 1080 rows span the whole 128 x 128 dense area (5632 world pixels
// high); nearer, only its middle is drawn.
void FrameDenseAreaFullHD(benchmark::State& state) {
  const double zoom = EditorScene::steppedZoom(1.0, static_cast<int>(state.range(0)));
  runFrame(state, denseWorld().sources(), 64, 64, 1920, 1080, zoom);
  state.counters["zoom"] = zoom;
}
// Steps -11 and 11 are the limits 0.1 and 10.1, one step beyond 1.25^-10 and 1.25^10.
BENCHMARK(FrameDenseAreaFullHD)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->DenseRange(-11, 11);

// Frames at 1920 x 1080, zoom 1, when something changed since the last one: the mouse moved to
// another item (only its quad is drawn anew), or the view moved by one cell (the cells still in
// view kept, the vertex buffer made afresh). "plain" is the time over a frame with no change.
void runChangingFrames(benchmark::State& state, bool move) {
  EditorScene scene(denseWorld().sources());
  scene.setViewCentre(64, 64);
  ui::EditorView view(scene, true);
  view.setFixedSize(1920, 1080);
  view.show();
  if (!QTest::qWaitForWindowExposed(&view) || !view.drawsWithOpenGL()) {
    state.SkipWithError("OpenGL cannot draw here");
    return;
  }
  view.frame();
  double changed = 0, still = 0;
  int step = 1;
  std::size_t hovered = 0;
  for (auto _ : state) {
    for (int i = 0; i < 5; ++i) {
      if (move) {
        scene.setViewCentre(scene.centreX() + step, scene.centreY());
        step = -step;
      } else {
        auto& items = scene.visibleItems();
        items[hovered].selected = 0;
        hovered = (hovered + 997) % items.size();
        items[hovered].selected = kHoverLook;
      }
      QElapsedTimer t;
      t.start();
      benchmark::DoNotOptimize(view.frame().constBits());
      changed += static_cast<double>(t.nsecsElapsed()) / 1e9;
    }
    still += frameSeconds(view, 5) * 5;
  }
  state.counters["frame_ms"] = changed * 1000 / 5 / static_cast<double>(state.iterations());
  state.counters["plain"] = still > 0 ? changed / still : 0;
}

void FrameAfterAHoverFullHD(benchmark::State& state) { runChangingFrames(state, false); }
BENCHMARK(FrameAfterAHoverFullHD)->Unit(benchmark::kMillisecond)->Iterations(3);

void FrameAfterAMoveFullHD(benchmark::State& state) { runChangingFrames(state, true); }
BENCHMARK(FrameAfterAMoveFullHD)->Unit(benchmark::kMillisecond)->Iterations(3);

// Frames as the window shows them: drawn and put on the screen, as a user waits for them
// (frame() draws and reads the pixels back instead); the drawing window says when a frame was
// swapped.
double shownSeconds(ui::EditorView& view, int frames) {
  auto* window = qobject_cast<QOpenGLWindow*>(view.drawingWindow());
  if (!window) return 0;
  int swapped = 0;
  const auto connection =
      QObject::connect(window, &QOpenGLWindow::frameSwapped, [&swapped] { ++swapped; });
  QElapsedTimer limit;
  limit.start();
  const auto one = [&] {
    const int before = swapped;
    view.refresh();
    while (swapped == before && limit.elapsed() < 10000) QCoreApplication::processEvents();
  };
  one();
  QElapsedTimer t;
  t.start();
  for (int i = 0; i < frames; ++i) one();
  const double s = static_cast<double>(t.nsecsElapsed()) / 1e9 / frames;
  QObject::disconnect(connection);
  return s;
}

// The frame as shown at zoom 1, 1024 x 768 (argument 0) or 1920 x 1080 (1); "plain" is the time
// over showing an empty scene in the same window ("empty_ms"). A frame asked for waits for the
// platform's next update tick (5 ms on X11 unless QT_QPA_UPDATE_IDLE_TIME says otherwise), which
// spaces frames but costs no work.
void FrameShownDenseArea(benchmark::State& state) {
  const bool fullHD = state.range(0) != 0;
  EditorScene scene(denseWorld().sources());
  scene.setViewCentre(64, 64);
  EditorScene empty;
  ui::EditorView view(scene, true);
  ui::EditorView blank(empty, true);
  for (ui::EditorView* v : {&view, &blank}) {
    v->setFixedSize(fullHD ? 1920 : 1024, fullHD ? 1080 : 768);
    v->show();
    if (!QTest::qWaitForWindowExposed(v)) state.SkipWithError("no window");
  }
  if (!view.drawsWithOpenGL()) {
    state.SkipWithError("OpenGL cannot draw here");
    return;
  }
  double frame = 0, plain = 0;
  for (auto _ : state) {
    frame += shownSeconds(view, 5);
    plain += shownSeconds(blank, 5);
  }
  state.counters["frame_ms"] = frame * 1000 / static_cast<double>(state.iterations());
  state.counters["empty_ms"] = plain * 1000 / static_cast<double>(state.iterations());
  state.counters["plain"] = plain > 0 ? frame / plain : 0;
}
BENCHMARK(FrameShownDenseArea)->Unit(benchmark::kMillisecond)->Iterations(5)->Arg(0)->Arg(1);

}  // namespace

int main(int argc, char** argv) {
  ui::setEditorSurfaceFormat();
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
