// A shared world at a current client's size, against a throwaway PostgreSQL cluster, each figure
// beside the same work on files in the same run:
// - importing a 7168 x 4096 facet with a million statics, beside reading its three files and
//   writing them again (write beside, flush, rename);
// - opening a 1920 x 1080 view at zoom 1 in the dense area (the map blocks and statics of about
//   100 x 100 cells; goal under 300 ms), beside reading the same area from the files with the
//   map and statics models;
// - a step's propagation to another editor: 20 builders making 5 steps a second each, another
//   connection hearing of each step and reading it (goal: 99 in 100 within 500 ms);
// - writing the facet's files out of the world, beside writing the same files from memory
//   (goal 2 times), on a connection that has read them before and on a new one.
//
//   cmake --build build/bench -j2 --target bench_sharedworld && build/bench/bench/bench_sharedworld

#include <benchmark/benchmark.h>
#include <sys/select.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "Compare.h"
#include "app/FileIO.h"
#include "world/Map.h"
#include "world/SharedWorld.h"
#include "world/Statics.h"
#include "support/PgCluster.h"
#include "support/WorldFiles.h"

using namespace quillotide;
using quillotide::test::PgCluster;

namespace {

constexpr int kW = 7168;
constexpr int kH = 4096;
constexpr int kStatics = 1000000;
// Half the statics stand in this square, as a town does: the view is opened there.
constexpr int kDenseX = 1400;
constexpr int kDenseY = 1600;
constexpr int kDenseSide = 1024;
constexpr int kViewCells = 100;

Progress g_silent;

struct Files {
  std::string folder, map, index, data;
};

const Files& files() {
  static const Files f = [] {
    Files out;
    out.folder = joinPath(executableDir(), "sharedworld-bench");
    ::mkdir(out.folder.c_str(), 0755);
    out.map = joinPath(out.folder, "map1.mul");
    out.index = joinPath(out.folder, "staidx1.mul");
    out.data = joinPath(out.folder, "statics1.mul");
    if (!fileExists(out.data)) {
      AtomicFile map(out.map);
      map.write(test::makeMapBytes(kW, kH, [](int x, int y) {
        return test::CellSpec{static_cast<std::uint16_t>(3 + (x * 7 + y * 13) % 400),
                              static_cast<std::int8_t>((x / 8 + y / 8) % 30 - 15)};
      }));
      map.commit();
      std::mt19937 rng(1);
      std::vector<test::PlacedStatic> placed;
      placed.reserve(kStatics);
      for (int i = 0; i < kStatics; ++i) {
        const bool dense = i % 2 == 0;
        placed.push_back({static_cast<std::uint16_t>(0x100 + rng() % 0x3000),
                          dense ? kDenseX + static_cast<int>(rng() % kDenseSide)
                                : static_cast<int>(rng() % kW),
                          dense ? kDenseY + static_cast<int>(rng() % kDenseSide)
                                : static_cast<int>(rng() % kH),
                          static_cast<std::int8_t>(rng() % 40), 0});
      }
      const auto statics = test::makeStaticsFiles(kW, kH, placed);
      AtomicFile index(out.index);
      index.write(statics.index);
      AtomicFile data(out.data);
      data.write(statics.data);
      commitAll({&index, &data});
    }
    return out;
  }();
  return f;
}

// The world every benchmark but the import reads: imported once.
const std::string& worldUrl() {
  static const std::string url = [] {
    PgCluster& cluster = PgCluster::shared();
    if (!cluster.running()) return std::string();
    const std::string u = cluster.createDatabase("bench_world");
    SharedWorld::init(u);
    SharedWorld(u).importFacet(1, {kW, kH}, files().map, files().index, files().data, g_silent);
    return u;
  }();
  return url;
}

bool needServer(benchmark::State& state) {
  if (PgCluster::shared().running()) return true;
  state.SkipWithError(("no PostgreSQL: " + PgCluster::shared().reason()).c_str());
  return false;
}

void plainRewrite(const std::vector<std::string>& paths) {
  for (const std::string& p : paths) {
    AtomicFile f(p + ".plain");
    f.write(readFile(p));
    f.commit();
  }
}

void BM_ImportFacet(benchmark::State& state) {
  if (!needServer(state)) return;
  const Files& f = files();
  static int round = 0;
  double importSeconds = 0, plainSeconds = 0;
  for (auto _ : state) {
    const std::string url = PgCluster::shared().createDatabase("bench_import_" + std::to_string(round++));
    SharedWorld::init(url);
    SharedWorld world(url);
    const auto t0 = bench::Clock::now();
    const std::int64_t n = world.importFacet(1, {kW, kH}, f.map, f.index, f.data, g_silent);
    const auto t1 = bench::Clock::now();
    plainRewrite({f.map, f.index, f.data});
    const auto t2 = bench::Clock::now();
    benchmark::DoNotOptimize(n);
    importSeconds += bench::seconds(t0, t1);
    plainSeconds += bench::seconds(t1, t2);
  }
  state.counters["import_s"] = importSeconds / static_cast<double>(state.iterations());
  state.counters["files_s"] = plainSeconds / static_cast<double>(state.iterations());
  state.counters["import/plain"] = importSeconds / plainSeconds;
}
BENCHMARK(BM_ImportFacet)->Iterations(2)->Unit(benchmark::kMillisecond);

void BM_OpenView(benchmark::State& state) {
  if (!needServer(state) || worldUrl().empty()) return;
  const int x = kDenseX + 300;
  const int y = kDenseY + 300;
  std::size_t statics = 0;
  double worldSeconds = 0, filesSeconds = 0;
  for (auto _ : state) {
    const auto t0 = bench::Clock::now();
    // An editor opening: connect, check the world, read the view's area.
    SharedWorld world(worldUrl());
    const SharedArea area = world.readArea(1, x, y, kViewCells, kViewCells);
    const auto t1 = bench::Clock::now();
    TMap map;
    map.open(files().map, kW, kH);
    TStatics st;
    st.open(files().index, files().data, kW, kH, StorageMode::LowMemory);
    std::vector<TItem> land;
    map.getLandItems(x, x + kViewCells - 1, y, y + kViewCells - 1, land);
    const auto items = st.getItemsInRect(x, x + kViewCells - 1, y, y + kViewCells - 1);
    const auto t2 = bench::Clock::now();
    statics = area.statics.size();
    benchmark::DoNotOptimize(items.size());
    worldSeconds += bench::seconds(t0, t1);
    filesSeconds += bench::seconds(t1, t2);
  }
  state.counters["statics"] = static_cast<double>(statics);
  state.counters["view_ms"] = 1000 * worldSeconds / static_cast<double>(state.iterations());
  state.counters["files_ms"] = 1000 * filesSeconds / static_cast<double>(state.iterations());
  state.counters["view/files"] = worldSeconds / filesSeconds;
}
BENCHMARK(BM_OpenView)->Iterations(20)->Unit(benchmark::kMillisecond);

void BM_Propagation(benchmark::State& state) {
  if (!needServer(state) || worldUrl().empty()) return;
  constexpr int kBuilders = 20;
  constexpr int kStepsPerSecond = 5;
  constexpr double kRunSeconds = 6;
  std::vector<double> latencies;
  int refused = 0;
  for (auto _ : state) {
    SharedWorld listener(worldUrl());
    listener.listen();
    std::mutex lock;
    std::map<std::int64_t, bench::Clock::time_point> started;
    std::atomic<bool> stop = false;
    std::atomic<int> refusals = 0;
    std::vector<std::thread> builders;
    for (int b = 0; b < kBuilders; ++b)
      builders.emplace_back([&, b] {
        SharedWorld me(worldUrl());
        std::mt19937 rng(static_cast<unsigned>(b));
        // Each builder works on its own strip of the dense area, one cell at a time.
        const int x0 = kDenseX + b * 40;
        auto next = bench::Clock::now();
        while (!stop) {
          next += std::chrono::milliseconds(1000 / kStepsPerSecond);
          const int x = x0 + static_cast<int>(rng() % 40);
          const int y = kDenseY + static_cast<int>(rng() % 200);
          const SharedArea area = me.readArea(1, x, y, 1, 1);
          const Bytes& block = area.blocks.at(0).second;
          const std::size_t at = 4 + static_cast<std::size_t>((y % 8) * 8 + x % 8) * 3;
          const MapCell seen{static_cast<std::uint16_t>(block[at] | (block[at + 1] << 8)),
                             static_cast<std::int8_t>(block[at + 2])};
          const MapCell after{static_cast<std::uint16_t>(seen.tileId ^ 1), seen.z};
          const auto t = bench::Clock::now();
          const SharedStepResult r = me.apply({1, "Land", {{x, y, seen, after}}, {}});
          if (r.applied) {
            std::lock_guard guard(lock);
            started[r.step] = t;
          } else {
            ++refusals;
          }
          std::this_thread::sleep_until(next);
        }
      });
    const auto end = bench::Clock::now() + std::chrono::duration<double>(kRunSeconds);
    while (bench::Clock::now() < end) {
      fd_set read;
      FD_ZERO(&read);
      const int fd = listener.connection().socket();
      FD_SET(fd, &read);
      timeval wait{0, 50000};
      select(fd + 1, &read, nullptr, nullptr, &wait);
      for (const PgNotification& n : listener.connection().takeNotifications()) {
        const std::int64_t step = std::stoll(n.payload.substr(n.payload.find(' ') + 1));
        const SharedStep changes = listener.stepChanges(step);
        benchmark::DoNotOptimize(changes.cells.size());
        const auto seen = bench::Clock::now();
        std::lock_guard guard(lock);
        const auto it = started.find(step);
        if (it != started.end())
          latencies.push_back(1000 * bench::seconds(it->second, seen));
      }
    }
    stop = true;
    for (std::thread& t : builders) t.join();
    refused += refusals;
  }
  std::sort(latencies.begin(), latencies.end());
  const auto at = [&](double q) {
    return latencies.empty() ? 0.0
                             : latencies[std::min(latencies.size() - 1,
                                                  static_cast<std::size_t>(q * static_cast<double>(latencies.size())))];
  };
  state.counters["steps"] = static_cast<double>(latencies.size());
  state.counters["steps_per_s"] = static_cast<double>(latencies.size()) / kRunSeconds /
                                  static_cast<double>(state.iterations());
  state.counters["p50_ms"] = at(0.50);
  state.counters["p99_ms"] = at(0.99);
  state.counters["max_ms"] = latencies.empty() ? 0 : latencies.back();
  state.counters["refused"] = refused;
}
BENCHMARK(BM_Propagation)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_ExportFacet(benchmark::State& state) {
  if (!needServer(state) || worldUrl().empty()) return;
  const std::string out = joinPath(files().folder, "export");
  ::mkdir(out.c_str(), 0755);
  const Bytes map = readFile(files().map);
  const Bytes index = readFile(files().index);
  const Bytes data = readFile(files().data);
  const auto plain = [&] {
    AtomicFile m(joinPath(out, "map1.plain"));
    AtomicFile i(joinPath(out, "staidx1.plain"));
    AtomicFile d(joinPath(out, "statics1.plain"));
    m.write(map);
    i.write(index);
    d.write(data);
    commitAll({&m, &i, &d});
  };
  // What `shared export` does: a new connection. A server process reading the facet's pages for
  // the first time maps its shared memory page by page, which costs as much again as the reading
  // (less where the server has huge pages); it is shown on its own.
  {
    const auto t0 = bench::Clock::now();
    SharedWorld(worldUrl()).exportFacet(1, out, false, g_silent);
    const auto t1 = bench::Clock::now();
    plain();
    const auto t2 = bench::Clock::now();
    state.counters["first_ms"] = bench::seconds(t0, t1) * 1000;
    state.counters["first/plain"] = bench::seconds(t0, t1) / bench::seconds(t1, t2);
  }
  SharedWorld world(worldUrl());
  world.exportFacet(1, out, false, g_silent);
  bench::compareWithPlain(state, "export", [&] { world.exportFacet(1, out, false, g_silent); },
                          plain);
}
BENCHMARK(BM_ExportFacet)->Iterations(8)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
