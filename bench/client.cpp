// A client folder in the forms and at the sizes of a client installed today, generated once into
// the build folder: the art (330 MB), gump (225 MB) and sound (170 MB) containers, the six facets'
// map containers (7168 x 4096 twice, 2304 x 1600, 2560 x 2048, 1448 x 1448, 1280 x 4096: 90, 90,
// 11, 16, 6.5 and 16 MB) with their statics (about a million on each large facet), about 700 MB
// of animation files, and the rest as the sample has them. Times "Find files" plus a load of every
// family (the facet 0 world) beside a plain read of the same files in the same run, and prints
// the resident memory afterwards.

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "Compare.h"
#include "app/ClientFolder.h"
#include "app/FileIO.h"
#include "app/Uop.h"
#include "registry/Registry.h"
#include "sample/SampleClient.h"
#include "support/TestFiles.h"
#include "world/Map.h"

using namespace quillotide;

namespace {

std::string clientDir() { return joinPath(executableDir(), "current-client-bench"); }

// A pair of `slots` slots of `slotSize` bytes each (every 16th empty), written in place of the
// sample's pair.
void writeLargePair(const std::string& dir, const std::string& index, const std::string& data,
                    std::int64_t slots, std::size_t slotSize) {
  const test::GeneratedPair pair = test::generatePair(slots, slotSize, 16);
  writeFileAtomic(joinPath(dir, index), pair.index);
  writeFileAtomic(joinPath(dir, data), pair.data);
}

// Bytes of a slot, different for every slot; `head` bytes of it (a gump's width and height) first.
Bytes slotBytes(std::uint32_t slot, std::size_t n, const Bytes& head = {}) {
  Bytes b(n);
  std::uint32_t v = slot * 2654435761u + 1;
  for (auto& x : b) {
    v = v * 1103515245u + 12345u;
    x = static_cast<std::uint8_t>(v >> 24);
  }
  std::copy(head.begin(), head.end(), b.begin());
  return b;
}

// A container of stored entries, as the client's art, gumps and sounds are, replacing the
// sample's pair and container of the family.
void writeContainer(const std::string& dir, UopFamily family, const std::string& name,
                    std::uint32_t slots, std::uint32_t every, std::size_t bytes,
                    const std::vector<std::string>& pairNames) {
  UopContainer c = UopContainer::create();
  const std::size_t perSlot = bytes / (slots / every);
  for (std::uint32_t s = 0; s < slots; s += every) {
    const std::size_t n = perSlot / 2 + (s * 2246822519u >> 8) % perSlot;
    Bytes head;
    if (family == UopFamily::Gump) {
      head.assign(8, 0);
      storeU32(head.data(), 32);
      storeU32(head.data() + 4, static_cast<std::uint32_t>(n / 64 + 1));
    }
    c.setPayload(uopHash(uopEntryName(family, s)), slotBytes(s, n, head));
  }
  c.save(joinPath(dir, name));
  for (const auto& p : pairNames) std::remove(joinPath(dir, p).c_str());
}

struct FacetFiles {
  int width, height;
};
constexpr FacetFiles kFacets[6] = {{7168, 4096}, {7168, 4096}, {2304, 1600},
                                   {2560, 2048}, {1448, 1448}, {1280, 4096}};

// Facet n's map as a container, every cell set, and its statics: two to the block on average.
void writeFacet(const std::string& dir, int n) {
  const FacetFiles f = kFacets[n];
  const std::size_t blocks = std::size_t{static_cast<unsigned>(f.width / 8)} *
                             static_cast<unsigned>(f.height / 8);
  Bytes map(blocks * 196);
  for (std::size_t i = 0; i < map.size(); ++i) map[i] = static_cast<std::uint8_t>(i * 31 + 7);
  const std::string number = std::to_string(n);
  containerOfMapFile(map, n).save(joinPath(dir, "map" + number + "LegacyMUL.uop"));
  // The sample's map of the facet, whatever the case of its name.
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::string name = entry.path().filename().string();
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name == "map" + number + ".mul") std::filesystem::remove(entry.path());
  }
  Bytes index(blocks * 12), statics;
  statics.reserve(blocks * 2 * 7);
  for (std::size_t b = 0; b < blocks; ++b) {
    const std::size_t count = (b * 7) % 5;
    storeU32(index.data() + b * 12, count ? static_cast<std::uint32_t>(statics.size()) : 0xFFFFFFFF);
    storeU32(index.data() + b * 12 + 4, static_cast<std::uint32_t>(count * 7));
    storeU32(index.data() + b * 12 + 8, 0);
    for (std::size_t k = 0; k < count; ++k) {
      const std::uint8_t item[7] = {static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(k + 1),
                                    static_cast<std::uint8_t>(k),  static_cast<std::uint8_t>(b % 8),
                                    0, 0, 0};
      statics.insert(statics.end(), item, item + 7);
    }
  }
  writeFileAtomic(joinPath(dir, "staidx" + number + ".mul"), index);
  writeFileAtomic(joinPath(dir, "statics" + number + ".mul"), statics);
}

const std::string& generated() {
  static const std::string dir = [] {
    const std::string d = clientDir();
    const std::string done = joinPath(d, "generated");
    if (fileExists(done)) return d;
    sample::writeSampleClient(d);
    writeContainer(d, UopFamily::Art, "artLegacyMUL.uop", 0x14000, 1, 330u << 20,
                   {"artidx.mul", "art.mul"});
    writeContainer(d, UopFamily::Gump, "gumpartLegacyMUL.uop", 0x10000, 1, 225u << 20,
                   {"gumpidx.mul", "gumpart.mul"});
    writeContainer(d, UopFamily::Sound, "soundLegacyMUL.uop", 0x1000, 1, 170u << 20,
                   {"soundidx.mul", "sound.mul"});
    for (int n = 0; n < 6; ++n) writeFacet(d, n);
    writeLargePair(d, "anim.idx", "anim.mul", 0x10000, 6000);
    for (const char* n : {"2", "3", "4", "5"})
      writeLargePair(d, std::string("anim") + n + ".idx", std::string("anim") + n + ".mul", 0x4000,
                     5000);
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
  r.cliloc->load(v("Cliloc"));
  r.fonts->load(v("Fonts"));
  r.unifont->load(v("Unifont"));
  r.skills->load(v("SkillsIdx"), v("SkillsMul"));
  r.skillGroups->load(v("SkillGroups"));
  r.speech->load(v("Speech"));
  r.multimap->load(v("Multimap"));
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
  std::vector<std::string> every;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    every.push_back(entry.path().string());
  state.counters["clientMB"] = static_cast<double>(bench::sizeOf(every)) / 1e6;
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
