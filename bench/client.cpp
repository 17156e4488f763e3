// A client folder of a current client's sizes (art about 150 MB, gumps about 60 MB, animations
// about 300 MB, maps of 7168 x 4096 and 6144 x 4096 with their statics, the rest as the sample),
// generated once into the build folder. Times finding its files plus loading every family beside
// a plain read of the same files, and prints the resident memory afterwards.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>

#include "Compare.h"
#include "app/ClientFolder.h"
#include "app/FileIO.h"
#include "registry/Registry.h"
#include "sample/SampleClient.h"
#include "support/TestFiles.h"

using namespace quillotide;

namespace {

std::string clientDir() { return joinPath(executableDir(), "client-bench"); }

// A pair of `slots` slots of `slotSize` bytes each (every 16th empty), written in place of the
// sample's pair, its container removed so the large pair is what the folder holds.
void writeLargePair(const std::string& dir, const std::string& index, const std::string& data,
                    const std::string& uop, std::int64_t slots, std::size_t slotSize) {
  const test::GeneratedPair pair = test::generatePair(slots, slotSize, 16);
  writeFileAtomic(joinPath(dir, index), pair.index);
  writeFileAtomic(joinPath(dir, data), pair.data);
  if (!uop.empty()) std::remove(joinPath(dir, uop).c_str());
}

// The maps of facets 0 and 1 written whole, every cell set, as a real client's are (the sample's
// are sparse).
void fillMap(const std::string& path) {
  const std::uint64_t size = fileSize(path);
  Bytes piece(196 * 4096);
  for (std::size_t i = 0; i < piece.size(); ++i) piece[i] = static_cast<std::uint8_t>(i * 31 + 7);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (std::uint64_t at = 0; at < size; at += piece.size()) {
    const std::uint64_t n = std::min<std::uint64_t>(piece.size(), size - at);
    out.write(reinterpret_cast<const char*>(piece.data()), static_cast<std::streamsize>(n));
  }
}

const std::string& generated() {
  static const std::string dir = [] {
    const std::string d = clientDir();
    const std::string done = joinPath(d, "generated");
    if (fileExists(done)) return d;
    sample::writeSampleClient(d);
    writeLargePair(d, "artidx.mul", "Art.mul", "artLegacyMUL.uop", 0x14000, 1920);
    writeLargePair(d, "Gumpidx.mul", "Gumpart.mul", "gumpartLegacyMUL.uop", 0x10000, 960);
    writeLargePair(d, "anim.idx", "Anim.mul", "", 0x10000, 4800);
    fillMap(joinPath(d, "map0.mul"));
    fillMap(joinPath(d, "Map1.mul"));
    writeFileAtomic(done, Bytes{1});
    return d;
  }();
  return dir;
}

std::string value(const std::vector<std::pair<std::string, std::string>>& settings,
                  const std::string& key) {
  for (const auto& [k, v] : settings)
    if (k == key) return v;
  return {};
}

// Finds the files and loads every family as the settings page does after "Find files".
void findAndLoad(Registry& r, const std::string& dir) {
  const ClientScan scan = scanClientFolder(dir);
  const auto s = scan.settings(0);
  const auto v = [&](const char* key) { return value(s, key); };
  r.animation->load(v("AnimIdx"), v("AnimMul"));
  r.verdata->load(v("Verdata"));
  r.gumps->load(v("GumpIdx"), v("GumpMul"));
  r.art->load(v("ArtIdx"), v("ArtMul"), StorageMode::Memory);
  r.textures->load(v("TexIdx"), v("TexMul"), StorageMode::Memory);
  r.radarcol->load(v("RadarCol"));
  r.light->load(v("LightIdx"), v("LightMul"));
  r.tiledata->load(v("Tiledata"));
  r.anim2->load(v("Anim2Idx"), v("Anim2Mul"));
  r.anim3->load(v("Anim3Idx"), v("Anim3Mul"));
  r.anim4->load(v("Anim4Idx"), v("Anim4Mul"));
  r.anim5->load(v("Anim5Idx"), v("Anim5Mul"));
  r.animdata->load(v("Animdata"));
  r.hues->load(v("Hues"));
  r.sound->load(v("SoundIdx"), v("SoundMul"));
  r.multis->load(v("MultiIdx"), v("MultiMul"));
  r.progress->load(v("ProgressIdx"), v("ProgressMul"));
  const FacetSize size = *scan.facets[0].worldSize;
  r.statics->open(v("StaticIdx"), v("StaticMul"), size.width, size.height, StorageMode::Memory);
  r.map->open(v("Map"), size.width, size.height);
}

// Every distinct file the load above reads.
std::vector<std::string> loadedFiles(const std::string& dir) {
  std::vector<std::string> files;
  for (const auto& [key, path] : scanClientFolder(dir).settings(0))
    if (std::find(files.begin(), files.end(), path) == files.end()) files.push_back(path);
  return files;
}

std::uint64_t residentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stoull(line.substr(6));
  return 0;
}

void BM_FindFilesAndLoadEveryFamily(benchmark::State& state) {
  const std::string& dir = generated();
  const std::vector<std::string> files = loadedFiles(dir);
  std::uint64_t afterKiB = 0;
  bench::compareWithPlain(
      state, "load",
      [&] {
        Registry r;
        findAndLoad(r, dir);
        afterKiB = std::max(afterKiB, residentKiB());
      },
      [&] {
        for (const std::string& f : files) benchmark::DoNotOptimize(readFile(f).size());
      });
  state.counters["MB"] = static_cast<double>(bench::sizeOf(files)) / 1e6;
  state.counters["residentMB"] = static_cast<double>(afterKiB) / 1024.0;
}
BENCHMARK(BM_FindFilesAndLoadEveryFamily)->Unit(benchmark::kMillisecond)->Iterations(3);

// What stays resident while the models hold every family.
void BM_ResidentWhileLoaded(benchmark::State& state) {
  const std::string& dir = generated();
  for (auto _ : state) {
    const std::uint64_t before = residentKiB();
    Registry r;
    findAndLoad(r, dir);
    state.counters["residentMB"] = static_cast<double>(residentKiB()) / 1024.0;
    state.counters["addedMB"] = static_cast<double>(residentKiB() - before) / 1024.0;
  }
}
BENCHMARK(BM_ResidentWhileLoaded)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
