// Export and import of every body of a generated animation file (about 30 MB: twelve bodies of all
// three types, every slot filled with eight frames), through animation folders and through .kx
// files, beside a plain read of the same two files.

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>

#include "app/FileIO.h"
#include "app/IndexedFile.h"
#include "models/Animation.h"
#include "support/TestFiles.h"

using namespace quillotide;

namespace {

constexpr int kFrames = 8;
const std::vector<int> kBodies = {1, 2, 3, 4, 201, 202, 203, 204, 400, 401, 402, 403};

// A 48 x 64 figure with a body, a head and swinging legs; about half its pixels are opaque.
Bitmap32 frame(int body, int slot, int f) {
  Bitmap32 p(48, 64, 0);
  const double swing = 8 * std::sin(f * 0.785);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 48; ++x) {
      const double dx = x - 24, dy = y - 28;
      const bool torso = dx * dx / 120 + dy * dy / 300 < 1;
      const bool head = dx * dx + (y - 8) * (y - 8) < 40;
      const bool leg = y > 40 && (std::abs(x - 18 - swing * (y - 40) / 24) < 3 || std::abs(x - 30 + swing * (y - 40) / 24) < 3);
      if (torso || head || leg)
        p.at(x, y) = makePixel(static_cast<std::uint8_t>(40 + (body * 7 + x) % 180),
                               static_cast<std::uint8_t>(40 + (slot * 3 + y) % 180),
                               static_cast<std::uint8_t>(60 + (f * 20 + x + y) % 160));
    }
  return p;
}

struct Fixture {
  test::TempDir dir;
  std::string idx = dir.file("anim.idx");
  std::string mul = dir.file("anim.mul");
  Fixture() {
    const AnimSlotTable& table = animSlotTable(AnimKind::Anim);
    std::int64_t records = 0;
    for (int b : kBodies) records = std::max(records, table.firstSlot(b) + table.slotsPerBody(b));
    std::vector<IndexRecord> index(static_cast<std::size_t>(records), IndexRecord{-1, -1, -1});
    ByteWriter data;
    for (int b : kBodies)
      for (int k = 0; k < table.slotsPerBody(b); ++k) {
        AnimPaletteBuilder palette;
        std::vector<Bytes> frames;
        for (int f = 0; f < kFrames; ++f)
          frames.push_back(encodeAnimFrame(frame(b, k, f), 24, 0, palette, AnimTransparency::BlackAndWhite, "f"));
        const Bytes block = buildAnimBlock(palette.palette(), frames);
        index[static_cast<std::size_t>(table.firstSlot(b) + k)] = {
            static_cast<std::int32_t>(data.size()), static_cast<std::int32_t>(block.size()), 0};
        data.bytes(block);
      }
    test::writeBytes(idx, test::indexBytes(index));
    test::writeBytes(mul, data.data());
  }
  // A fresh pair for the imports to grow.
  void copyTarget() const {
    std::filesystem::copy_file(idx, dir.file("t.idx"), std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file(mul, dir.file("t.mul"), std::filesystem::copy_options::overwrite_existing);
  }
  std::int64_t bytes() const { return static_cast<std::int64_t>(fileSize(idx) + fileSize(mul)); }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void BM_PlainRead(benchmark::State& state) {
  auto& f = fixture();
  for (auto _ : state) {
    const Bytes index = readFile(f.idx);
    const Bytes data = readFile(f.mul);
    benchmark::DoNotOptimize(data.data());
    state.SetBytesProcessed(state.bytes_processed() + static_cast<int64_t>(index.size() + data.size()));
  }
}

void BM_ExportImportFolders(benchmark::State& state) {
  auto& f = fixture();
  Progress silent;
  for (auto _ : state) {
    state.PauseTiming();
    f.copyTarget();
    state.ResumeTiming();
    TAnimation source, target;
    source.load(f.idx, f.mul);
    target.load(f.dir.file("t.idx"), f.dir.file("t.mul"));
    for (int b : kBodies) {
      const std::string folder = f.dir.file("body" + std::to_string(b));
      std::filesystem::create_directories(folder);
      source.exportToDirectory(b, folder, silent);
      target.importFromDirectory(b, folder, true, silent);
    }
    state.SetBytesProcessed(state.bytes_processed() + f.bytes());
  }
}

void BM_ExportImportKx(benchmark::State& state) {
  auto& f = fixture();
  Progress silent;
  for (auto _ : state) {
    state.PauseTiming();
    f.copyTarget();
    state.ResumeTiming();
    TAnimation source, target;
    source.load(f.idx, f.mul);
    target.load(f.dir.file("t.idx"), f.dir.file("t.mul"));
    for (int b : kBodies) {
      const std::string kx = f.dir.file("body" + std::to_string(b) + ".kx");
      source.exportToFile(b, kx, silent);
      target.importFromFile(b, kx, silent);
    }
    state.SetBytesProcessed(state.bytes_processed() + f.bytes());
  }
}

}  // namespace

BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportImportFolders)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_ExportImportKx)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
