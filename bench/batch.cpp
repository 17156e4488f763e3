// Extract and Autopatch over a generated full-size art file (0x4000 land tiles and 0x4000
// statics): every slot written as a BMP file with its list, then every file imported back into an
// empty set made by Create empty. Beside it, the same BMP bytes written as plain files and read
// back, so the ratio printed holds on a noisy machine.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>
#include <filesystem>

#include "app/FileIO.h"
#include "models/Art.h"
#include "models/BatchTools.h"
#include "support/TestFiles.h"

using namespace quillotide;

namespace {

struct Fixture {
  test::TempDir dir;
  std::string source = dir.file("source");
  std::string empty = dir.file("empty");
  TArt art;
  Fixture() {
    std::filesystem::create_directories(source);
    std::filesystem::create_directories(empty);
    createEmptyFiles(EmptyKind::Art, source);
    createEmptyFiles(EmptyKind::Art, empty);
    art.load(joinPath(source, "artidx.mul"), joinPath(source, "art.mul"), StorageMode::Memory);
    // Statics of the sizes items have: from a few pixels to a house wall.
    for (int s = 0; s < 0x4000; ++s) {
      art.importLand(s, test::exactPicture(44, 44, s));
      art.importStatic(s, test::exactPicture(8 + s % 57, 10 + (s * 7) % 91, s));
    }
  }
  BatchModels models(TArt& a) { return {nullptr, &a, nullptr, nullptr}; }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

// Extract both kinds into out, then autopatch both into the empty set.
void extractAndAutopatch(Fixture& f, const std::string& out) {
  Progress silent;
  const std::string land = joinPath(out, "Artmap"), statics = joinPath(out, "Artstatic");
  extractPictures(f.models(f.art), PictureKind::ArtLand, land, silent);
  extractPictures(f.models(f.art), PictureKind::ArtStatic, statics, silent);
  TArt target;
  target.load(joinPath(f.empty, "artidx.mul"), joinPath(f.empty, "art.mul"), StorageMode::Memory);
  autopatch(f.models(target), AutopatchKind::ArtLand, joinPath(land, "list.txt"), silent);
  autopatch(f.models(target), AutopatchKind::ArtStatic, joinPath(statics, "list.txt"), silent);
}

// The extracted files' names and bytes, read outside the timing.
std::vector<std::pair<std::string, Bytes>> extractedFiles(const std::string& from) {
  std::vector<std::pair<std::string, Bytes>> files;
  for (const auto& sub : {"Artmap", "Artstatic"})
    for (const auto& e : std::filesystem::directory_iterator(joinPath(from, sub)))
      files.emplace_back(std::string(sub) + "-" + e.path().filename().string(),
                         readFile(e.path().string()));
  return files;
}

// The same bytes written whole as plain files, made durable with one flush of the file system as
// the tool's job is, and read back.
void plainWriteAndRead(const std::vector<std::pair<std::string, Bytes>>& files,
                       const std::string& to) {
  std::filesystem::create_directories(to);
  for (const auto& [name, bytes] : files) {
    std::FILE* file = std::fopen(joinPath(to, name).c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
  const int folder = ::open(to.c_str(), O_RDONLY | O_DIRECTORY);
  ::syncfs(folder);
  ::close(folder);
  for (const auto& [name, bytes] : files) benchmark::DoNotOptimize(readFile(joinPath(to, name)));
}

void BM_ExtractAutopatchOverPlainFiles(benchmark::State& state) {
  auto& f = fixture();
  using Clock = std::chrono::steady_clock;
  double plainSeconds = 0, toolSeconds = 0;
  int round = 0;
  for (auto _ : state) {
    // Fresh folders each round: the file system's work on deleted files would fall on whichever
    // part came first after a delete.
    const std::string out = f.dir.file("out" + std::to_string(round));
    const std::string plain = f.dir.file("plain" + std::to_string(round++));
    // Neither part pays for the other's, or an earlier round's, unwritten pages.
    ::sync();
    auto t0 = Clock::now();
    extractAndAutopatch(f, out);
    auto t1 = Clock::now();
    const auto files = extractedFiles(out);
    ::sync();
    auto t2 = Clock::now();
    plainWriteAndRead(files, plain);
    auto t3 = Clock::now();
    toolSeconds += std::chrono::duration<double>(t1 - t0).count();
    plainSeconds += std::chrono::duration<double>(t3 - t2).count();
  }
  state.counters["tool/plain"] = plainSeconds > 0 ? toolSeconds / plainSeconds : 0;
  state.counters["tool_s"] = toolSeconds / static_cast<double>(state.iterations());
  state.counters["plain_s"] = plainSeconds / static_cast<double>(state.iterations());
}

}  // namespace

BENCHMARK(BM_ExtractAutopatchOverPlainFiles)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
