// The region and whole-world tools on a generated 6144 x 4096 world (77 MB map, about 4 million
// statics, art and texture pairs): Create and Apply of a 512 x 512 region patch with statics, art
// and textures, MapCopy of a 1024 x 1024 region between two full-size maps, Change Heights of a
// 1024 x 1024 region and the world radar map. Each is timed in one loop beside a plain
// sequential read of as many bytes as it reads and a plain write of as many bytes as it writes;
// the counter "<tool>/plain" is that ratio (the goal is 1.5 or less).

#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <chrono>

#include "app/FileIO.h"
#include "app/Image.h"
#include "models/Radarcol.h"
#include "world/RegionPatch.h"
#include "world/WorldTools.h"
#include "Compare.h"
#include "support/TestFiles.h"
#include "support/WorldFiles.h"

using namespace quillotide;

namespace {

constexpr int kW = 6144;
constexpr int kH = 4096;
constexpr int kRows = kH / 8;
constexpr std::size_t kBlocks = static_cast<std::size_t>(kW / 8) * kRows;

Bytes slotPair(std::int64_t slots, Bytes& data) {
  ByteWriter index(static_cast<std::size_t>(slots) * 12);
  ByteWriter d;
  for (std::int64_t s = 0; s < slots; ++s) {
    index.i32(static_cast<std::int32_t>(d.size()));
    index.i32(2048);
    index.i32(0);
    d.zeros(2048);
  }
  data = d.take();
  return index.take();
}

struct Fixture {
  test::TempDir dir;
  PatchDirectory source{dir.path() + "/from", 0};
  PatchDirectory target{dir.path() + "/to", 0};
  Fixture() {
    for (const PatchDirectory* d : {&source, &target}) {
      ::mkdir(d->dir.c_str(), 0700);
      test::writeBytes(d->mapPath(), test::makeMapBytes(kW, kH, [](int x, int y) {
                         return test::CellSpec{static_cast<std::uint16_t>(0x10 + (x * 7 + y) % 64),
                                               static_cast<std::int8_t>((x ^ y) % 64 - 20)};
                       }));
      // About ten statics a block.
      ByteWriter index(kBlocks * 12);
      ByteWriter data(kBlocks * 10 * 7);
      for (std::size_t b = 0; b < kBlocks; ++b) {
        const std::size_t n = 8 + b % 5;
        index.i32(static_cast<std::int32_t>(data.size()));
        index.i32(static_cast<std::int32_t>(n * 7));
        index.i32(0);
        for (std::size_t k = 0; k < n; ++k) {
          data.u16(static_cast<std::uint16_t>(1 + (b + k) % 0x200));
          data.u8(static_cast<std::uint8_t>(k % 8));
          data.u8(static_cast<std::uint8_t>((k * 3 + b) % 8));
          data.i8(static_cast<std::int8_t>(k));
          data.u16(0);
        }
      }
      test::writeBytes(d->staticsIndexPath(), index.data());
      test::writeBytes(d->staticsDataPath(), data.data());
      Bytes artData, texData;
      test::writeBytes(d->artIndexPath(), slotPair(0x4400, artData));
      test::writeBytes(d->artDataPath(), artData);
      test::writeBytes(d->textureIndexPath(), slotPair(0x100, texData));
      test::writeBytes(d->textureDataPath(), texData);
    }
    Bytes colours(0x10000 * 4, 7);
    test::writeBytes(dir.file("radarcol.mul"), colours);
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

Progress g_silent;

// Reads `readBytes` bytes of the files in one sequential pass each, in order, and writes
// `writeBytes` bytes to a file of its own.
void plainReadWrite(const std::vector<std::string>& from, std::uint64_t readBytes,
                    std::uint64_t writeBytes) {
  for (const std::string& path : from) {
    if (readBytes == 0) break;
    const auto stream = WorldStream::openForReading(path);
    Bytes buffer(static_cast<std::size_t>(std::min<std::uint64_t>(readBytes, stream->size())));
    stream->read(0, buffer.data(), buffer.size());
    benchmark::DoNotOptimize(buffer.data());
    readBytes -= buffer.size();
  }
  if (writeBytes > 0)
    writeFileAtomic(fixture().dir.file("plain.out"),
                    Bytes(static_cast<std::size_t>(writeBytes), 1));
}

template <typename Tool>
void compare(benchmark::State& state, const char* name, const std::vector<std::string>& from,
             std::uint64_t readBytes, std::uint64_t writeBytes, Tool&& tool) {
  bench::compareWithPlain(state, name, tool,
                          [&] { plainReadWrite(from, readBytes, writeBytes); });
}

// The map and statics bytes a region of the world reads: its blocks and their statics.
std::uint64_t regionBytes(int side) {
  const auto blocks = static_cast<std::uint64_t>(side / 8) * static_cast<std::uint64_t>(side / 8);
  return blocks * (196 + 12 + 10 * 7);
}

const CellRegion kPatchRegion = CellRegion::of(1024, 1024, 1535, 1535);
const PatchContents kEverything{true, true, true, true};

void BM_CreatePatch(benchmark::State& state) {
  auto& f = fixture();
  const std::string patch = f.dir.file("region.pkx");
  createPatchFile(f.source, kW, kH, kPatchRegion, kEverything, patch, g_silent);
  compare(state, "CreatePatch", {f.source.mapPath()}, regionBytes(512), fileSize(patch),
          [&] { createPatchFile(f.source, kW, kH, kPatchRegion, kEverything, patch, g_silent); });
}

void BM_ApplyPatch(benchmark::State& state) {
  auto& f = fixture();
  const std::string patch = f.dir.file("region.pkx");
  createPatchFile(f.source, kW, kH, kPatchRegion, kEverything, patch, g_silent);
  const std::string backup = f.dir.file("backup.pkx");
  // Read: the patch and the blocks it lands on; written: the blocks, their statics, the backup.
  const std::uint64_t patchBytes = fileSize(patch);
  // Every apply appends the region's statics and slots to the target's data files: they are put
  // back, untimed, before each apply, so each one lands on the same world instead of one whose
  // blocks hold ever more statics.
  const std::vector<std::string> grown = {
      f.target.staticsIndexPath(), f.target.staticsDataPath(), f.target.artIndexPath(),
      f.target.artDataPath(),      f.target.textureIndexPath(), f.target.textureDataPath()};
  std::vector<Bytes> pristine;
  for (const std::string& path : grown) pristine.push_back(readFile(path));
  double applySeconds = 0;
  double plainSeconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (std::size_t i = 0; i < grown.size(); ++i) writeFileAtomic(grown[i], pristine[i]);
    state.ResumeTiming();
    const auto t0 = bench::Clock::now();
    applyPatchFile(f.target, kW, kH, 1024, 1024, patch, backup, g_silent);
    const auto t1 = bench::Clock::now();
    plainReadWrite({f.target.mapPath()}, regionBytes(512) + patchBytes,
                   regionBytes(512) + 2 * patchBytes);
    const auto t2 = bench::Clock::now();
    applySeconds += bench::seconds(t0, t1);
    plainSeconds += bench::seconds(t1, t2);
  }
  state.counters["ApplyPatch/plain"] = plainSeconds > 0 ? applySeconds / plainSeconds : 0;
}

void BM_MapCopy(benchmark::State& state) {
  auto& f = fixture();
  MapCopyRequest q{CellRegion::of(0, 0, 1023, 1023), kW, kH, kW, kH, 2048, 1024, -1};
  const std::uint64_t bytes = 128ull * 128 * 196;
  compare(state, "MapCopy", {f.source.mapPath()}, 2 * bytes, bytes,
          [&] { copyMapFile(f.source.mapPath(), f.target.mapPath(), q, g_silent); });
}

void BM_ChangeHeights(benchmark::State& state) {
  auto& f = fixture();
  const std::uint64_t bytes = 128ull * 128 * (196 + 12 + 10 * 7);
  int amount = 1;
  compare(state, "ChangeHeights", {f.target.mapPath()}, bytes, bytes, [&] {
    changeHeightsInDirectory(f.target, kW, kH, CellRegion::of(3000, 2000, 4023, 3023), amount, true,
                             true, g_silent);
    amount = -amount;
  });
}

void BM_WorldRadarMap(benchmark::State& state) {
  auto& f = fixture();
  TRadarcol radar;
  radar.load(f.dir.file("radarcol.mul"));
  const std::string out = f.dir.file("radar.bmp");
  const std::uint64_t read = fileSize(f.source.mapPath()) + fileSize(f.source.staticsIndexPath()) +
                             fileSize(f.source.staticsDataPath());
  compare(state, "WorldRadarMap",
          {f.source.mapPath(), f.source.staticsIndexPath(), f.source.staticsDataPath()}, read,
          static_cast<std::uint64_t>(kW) * kH * 4, [&] {
            const auto map = WorldStream::openForReading(f.source.mapPath());
            const auto index = WorldStream::openForReading(f.source.staticsIndexPath());
            const auto data = WorldStream::openForReading(f.source.staticsDataPath());
            writeImageFile(out, worldRadarMap(*map, *index, *data, kW, kH, radar, 0, {}));
          });
}

}  // namespace

BENCHMARK(BM_CreatePatch)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ApplyPatch)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MapCopy)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ChangeHeights)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_WorldRadarMap)->Unit(benchmark::kMillisecond)->Iterations(2);

BENCHMARK_MAIN();
