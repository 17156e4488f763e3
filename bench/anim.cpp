// Export and import of every body of a generated animation file (twelve bodies of all three types,
// every slot filled with eight frames), through animation folders and through .kx files. Each is
// timed in the same loop as its plain counterpart, and the ratio is printed: an export beside a
// plain write of the same files (same names and bytes, no flush, no rename), an import beside a
// plain read of the same files and a plain write of the bytes it adds to the data file.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "Compare.h"
#include "app/FileIO.h"
#include "app/IndexedFile.h"
#include "models/Animation.h"
#include "support/TestFiles.h"

using namespace quillotide;

namespace {

constexpr int kFrames = 8;
const std::vector<int> kBodies = {1, 2, 3, 4, 201, 202, 203, 204, 400, 401, 402, 403};
using bench::Clock;
using bench::seconds;

// A 48 x 64 figure with a body, a head and swinging legs; about half its pixels are opaque.
Bitmap32 frame(int body, int slot, int f) {
  Bitmap32 p(48, 64, 0);
  const double swing = 8 * std::sin(f * 0.785);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 48; ++x) {
      const double dx = x - 24, dy = y - 28;
      const bool torso = dx * dx / 120 + dy * dy / 300 < 1;
      const bool head = dx * dx + (y - 8) * (y - 8) < 40;
      const bool leg = y > 40 && (std::abs(x - 18 - swing * (y - 40) / 24) < 3 ||
                                  std::abs(x - 30 + swing * (y - 40) / 24) < 3);
      if (torso || head || leg)
        p.at(x, y) = makePixel(static_cast<std::uint8_t>(40 + (body * 7 + x) % 180),
                               static_cast<std::uint8_t>(40 + (slot * 3 + y) % 180),
                               static_cast<std::uint8_t>(60 + (f * 20 + x + y) % 160));
    }
  return p;
}

// The files of one export, read back once, for the plain write and read of the same bytes.
struct ExportedFiles {
  std::vector<std::pair<std::filesystem::path, Bytes>> files;
  void collect(const std::string& root) {
    files.clear();
    for (const auto& e : std::filesystem::recursive_directory_iterator(root))
      if (e.is_regular_file())
        files.emplace_back(std::filesystem::relative(e.path(), root), readFile(e.path().string()));
  }
};

void plainWrite(const std::string& path, const Bytes& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
  std::fclose(f);
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
          frames.push_back(encodeAnimFrame(frame(b, k, f), 24, 0, palette,
                                           AnimTransparency::BlackAndWhite, "f"));
        const Bytes block = buildAnimBlock(palette.palette(), frames);
        index[static_cast<std::size_t>(table.firstSlot(b) + k)] = {
            static_cast<std::int32_t>(data.size()), static_cast<std::int32_t>(block.size()), 0};
        data.bytes(block);
      }
    test::writeBytes(idx, test::indexBytes(index));
    test::writeBytes(mul, data.data());
    std::filesystem::copy_file(idx, dir.file("t.idx"));
    std::filesystem::copy_file(mul, dir.file("t.mul"));
  }
  std::string folder(const std::string& root, int body) const {
    return dir.file(root + "/body" + std::to_string(body));
  }
  std::string kx(const std::string& root, int body) const {
    return dir.file(root + "/body" + std::to_string(body) + ".kx");
  }
  // Empty folders for an export under root.
  void makeFolders(const std::string& root) const {
    std::filesystem::remove_all(dir.file(root));
    for (int b : kBodies) std::filesystem::create_directories(folder(root, b));
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

// Export against a plain write of the same files into fresh folders; folders or .kx files.
// Every round writes into folders of its own, and the folders are removed only after the last
// round: a file system that has just deleted thousands of files makes the next thousands of
// creates slow (ext4 passes over the freed inodes for a while), and that cost would fall on
// whichever side ran right after the removal. The two sides also take turns at running first.
void exportOverPlainWrite(benchmark::State& state, bool kx) {
  auto& f = fixture();
  Progress silent;
  TAnimation source;
  source.load(f.idx, f.mul);
  ExportedFiles exported;
  double exportSeconds = 0, plainSeconds = 0;
  std::int64_t bytes = 0;
  int round = 0;
  std::vector<std::string> roots;
  const auto exportAll = [&](const std::string& root) {
    for (int b : kBodies) {
      if (kx)
        source.exportToFile(b, f.kx(root, b), silent);
      else
        source.exportToDirectory(b, f.folder(root, b), silent);
    }
  };
  const auto writePlain = [&](const std::string& root) {
    for (const auto& [name, content] : exported.files)
      plainWrite(f.dir.file(root + "/" + name.string()), content);
  };
  const auto freshRoots = [&] {
    const std::string n = std::to_string(round++);
    roots.push_back("export" + n);
    roots.push_back("plain" + n);
    f.makeFolders(roots[roots.size() - 2]);
    f.makeFolders(roots.back());
    return std::pair(roots[roots.size() - 2], roots.back());
  };
  // One untimed round first: the file system is still writing the fixture's files back, and
  // that work would fall on whichever side ran first.
  {
    const auto [e, p] = freshRoots();
    exportAll(e);
    exported.collect(f.dir.file(e));
    writePlain(p);
  }
  for (auto _ : state) {
    state.PauseTiming();
    const auto [e, p] = freshRoots();
    state.ResumeTiming();
    const bool exportFirst = round % 2 == 0;
    double exportRound = 0, plainRound = 0;
    // The export flushes its files once at its end, and a flush of the file system also writes
    // whatever else waits: everything written before each side is put on the disk first, so
    // each side pays for its own files only.
    ::sync();
    if (!exportFirst) {
      const auto t0 = Clock::now();
      writePlain(p);
      plainRound = seconds(t0, Clock::now());
      ::sync();
    }
    const auto t1 = Clock::now();
    exportAll(e);
    exportRound = seconds(t1, Clock::now());
    if (exportFirst) {
      ::sync();
      const auto t2 = Clock::now();
      writePlain(p);
      plainRound = seconds(t2, Clock::now());
    }
    exportSeconds += exportRound;
    plainSeconds += plainRound;
    bytes = 0;
    for (const auto& file : exported.files) bytes += static_cast<std::int64_t>(file.second.size());
  }
  for (const auto& root : roots) std::filesystem::remove_all(f.dir.file(root));
  state.counters["files"] = static_cast<double>(exported.files.size());
  state.counters["MB"] = static_cast<double>(bytes) / 1e6;
  state.counters["export/plain"] = plainSeconds > 0 ? exportSeconds / plainSeconds : 0;
}

// Import against a plain read of the same files plus a plain write of as many bytes as the import
// appends to the data file (the import's own output: the data file only grows).
void importOverPlainRead(benchmark::State& state, bool kx) {
  auto& f = fixture();
  Progress silent;
  {
    TAnimation source;
    source.load(f.idx, f.mul);
    f.makeFolders("import");
    for (int b : kBodies) {
      if (kx)
        source.exportToFile(b, f.kx("import", b), silent);
      else
        source.exportToDirectory(b, f.folder("import", b), silent);
    }
  }
  std::vector<std::string> paths;
  for (const auto& e : std::filesystem::recursive_directory_iterator(f.dir.file("import")))
    if (e.is_regular_file() && (kx == (e.path().extension() == ".kx")))
      paths.push_back(e.path().string());
  const std::string target = f.dir.file("t.mul");
  double importSeconds = 0, plainSeconds = 0;
  for (auto _ : state) {
    const std::uint64_t before = fileSize(target);
    // A fresh file for the plain write: rewriting a truncated file may be flushed by the file
    // system on close.
    std::filesystem::remove(f.dir.file("plain.mul"));
    const auto t0 = Clock::now();
    {
      TAnimation model;
      model.load(f.dir.file("t.idx"), target);
      for (int b : kBodies) {
        if (kx)
          model.importFromFile(b, f.kx("import", b), silent);
        else
          model.importFromDirectory(b, f.folder("import", b), true, silent);
      }
    }
    const auto t1 = Clock::now();
    const auto appended = static_cast<std::size_t>(fileSize(target) - before);
    Bytes out;
    out.reserve(appended);
    for (const auto& p : paths) {
      const Bytes b = readFile(p);
      const std::size_t take = std::min(b.size(), appended - out.size());
      out.insert(out.end(), b.begin(), b.begin() + static_cast<std::ptrdiff_t>(take));
    }
    plainWrite(f.dir.file("plain.mul"), out);
    const auto t2 = Clock::now();
    importSeconds += seconds(t0, t1);
    plainSeconds += seconds(t1, t2);
  }
  state.counters["files"] = static_cast<double>(paths.size());
  state.counters["import/plain"] = plainSeconds > 0 ? importSeconds / plainSeconds : 0;
}

void BM_FolderExportOverPlainWrite(benchmark::State& state) { exportOverPlainWrite(state, false); }
void BM_FolderImportOverPlainRead(benchmark::State& state) { importOverPlainRead(state, false); }
void BM_KxExportOverPlainWrite(benchmark::State& state) { exportOverPlainWrite(state, true); }
void BM_KxImportOverPlainRead(benchmark::State& state) { importOverPlainRead(state, true); }

}  // namespace

// Six rounds: the time of creating thousands of files swings with what the file system did just
// before, and three rounds let one swing decide the ratio.
BENCHMARK(BM_FolderExportOverPlainWrite)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(6);
BENCHMARK(BM_FolderImportOverPlainRead)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
// Each round of .kx files takes a few milliseconds: enough rounds that a stall of the file system
// in one of them does not decide the ratio.
BENCHMARK(BM_KxExportOverPlainWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(30);
BENCHMARK(BM_KxImportOverPlainRead)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK_MAIN();
