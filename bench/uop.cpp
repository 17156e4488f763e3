// Reading and saving UOP containers, each figure beside zlib or a plain read and write of the
// same bytes:
// - the art family opened from that container against the same slots opened from a MUL pair
//   (goal: at most 1.3 times the pair's time, resident memory at most 1.2 times the file); the
//   counters give the resident memory the open added, in MB and over the file's size;
// - the container saved onto itself with one slot changed against a plain write of the file
//   (write beside, flush, rename: goal 1.5 times), and the memory that save adds at its peak
//   (goal: at most 1.2 times the file);
// - one cell of a 7168 x 4096 map container (90 MB) changed and patched into it, against a plain
//   write of one chunk plus the atomic replacement of the file (a copy of it beside, flushed and
//   renamed): goal 1.5 times;
// - an art container the size of a current client's (about 150 MB, stored entries, generated once
//   into uop-bench/ beside this program): read it and save it again, against reading the file
//   whole and writing the bytes back (goal: at most 1.5 times the plain time);
// - a container of zlib entries: every payload inflated against zlib's own uncompress of the same
//   streams, and every payload replaced (deflated) against zlib's own compress2 of the same bytes.
//
//   cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DQUILLOTIDE_BUILD_UI=OFF
//   cmake --build build/bench -j2 --target bench_uop && build/bench/bench/bench_uop

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <sys/stat.h>
#include <cstdint>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

#include <malloc.h>

#include <fstream>

#include "Compare.h"
#include "app/FileIO.h"
#include "app/Uop.h"
#include "app/UopPair.h"
#include "models/Art.h"
#include "world/Map.h"

using namespace quillotide;

namespace {

constexpr std::uint32_t kLandTiles = 0x4000;
constexpr std::uint32_t kArtRecords = 0x14000;
constexpr std::uint32_t kZlibEntries = 4000;

// Art-like bytes: land tiles of 2024 bytes, statics of run-length rows of a few hundred to a few
// thousand bytes; every 7th static slot empty as in a client's file.
Bytes artSlot(std::uint32_t slot) {
  const std::size_t n = slot < kLandTiles ? 2024 : 400 + (slot * 2654435761u >> 20) % 3700;
  Bytes b(n);
  std::uint32_t v = slot * 2246822519u + 1;
  for (auto& x : b) {
    v = v * 1103515245u + 12345u;
    x = static_cast<std::uint8_t>((v >> 16) & 0x3F);  // colours of a few bits: compresses as art
  }
  return b;
}

std::string folder() {
  const std::string dir = joinPath(executableDir(), "uop-bench");
  ::mkdir(dir.c_str(), 0755);
  return dir;
}

const std::string& artContainer() {
  static const std::string path = [] {
    const std::string p = joinPath(folder(), "artLegacyMUL.uop");
    if (!fileExists(p)) {
      UopContainer c = UopContainer::create();
      for (std::uint32_t s = 0; s < kArtRecords; ++s)
        if (s < kLandTiles || s % 7 != 0)
          c.setPayload(uopHash(uopEntryName(UopFamily::Art, s)), artSlot(s));
      c.save(p);
    }
    return p;
  }();
  return path;
}

void BM_ReadAndSaveStoredContainer(benchmark::State& state) {
  const std::string& in = artContainer();
  const std::string out = joinPath(folder(), "saved.uop");
  const std::string plainOut = joinPath(folder(), "plain.uop");
  bench::compareWithPlain(
      state, "uop",
      [&] {
        const UopContainer c = UopContainer::read(in);
        c.save(out);
      },
      [&] {
        const Bytes b = readFile(in);
        writeFileAtomic(plainOut, b);
      });
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fileSize(in)));
  // The generated container stays for the next run; the copies go.
  std::remove(out.c_str());
  std::remove(plainOut.c_str());
}

struct ZlibSet {
  UopContainer container = UopContainer::create();
  std::vector<Bytes> payloads;
  std::vector<Bytes> streams;
  std::uint64_t bytes = 0;
  ZlibSet() {
    for (std::uint32_t i = 0; i < kZlibEntries; ++i) {
      payloads.push_back(artSlot(kLandTiles + i * 3));
      container.setPayload(uopHash(uopEntryName(UopFamily::Gump, i)), payloads.back(), true);
      streams.push_back(container.stored(container.entries().back()));
      bytes += payloads.back().size();
    }
  }
};

// Resident and peak resident memory of this process, in KiB.
std::uint64_t statusKiB(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string k = key;
  while (std::getline(status, line))
    if (line.rfind(k, 0) == 0) return std::stoull(line.substr(k.size()));
  return 0;
}
// Gives the memory freed so far back to the system, so that what an operation adds is resident
// anew rather than taken from pages freed by an earlier one, and starts a new peak there (the
// kernel's high-water mark set to what is resident now). Returns the resident KiB.
std::uint64_t settleMemory() {
  ::malloc_trim(0);
  std::ofstream("/proc/self/clear_refs") << "5";
  return statusKiB("VmRSS:");
}

// The same art slots as a MUL pair, written once from the container.
std::pair<std::string, std::string> artPair() {
  const std::string idx = joinPath(folder(), "artidx.mul");
  const std::string mul = joinPath(folder(), "art.mul");
  if (!fileExists(mul)) {
    TArt art;
    art.loadUop(artContainer(), StorageMode::Memory);
    art.save(idx, mul);
  }
  return {idx, mul};
}

void BM_OpenArtFromContainerAgainstPair(benchmark::State& state) {
  const std::string& uop = artContainer();
  const auto [idx, mul] = artPair();
  double addedKiB = 0;
  {
    const std::uint64_t before = settleMemory();
    TArt art;
    art.loadUop(uop, StorageMode::Memory);
    addedKiB = static_cast<double>(statusKiB("VmHWM:") - before);
  }
  // "open/plain": the container's open over the pair's.
  bench::compareWithPlain(
      state, "open",
      [&] {
        TArt art;
        art.loadUop(uop, StorageMode::Memory);
        benchmark::DoNotOptimize(art.recordCount());
      },
      [&] {
        TArt art;
        art.load(idx, mul, StorageMode::Memory);
        benchmark::DoNotOptimize(art.recordCount());
      });
  const double fileMB = static_cast<double>(fileSize(uop)) / (1 << 20);
  state.counters["fileMB"] = fileMB;
  state.counters["residentAddedMB"] = addedKiB / 1024;
  state.counters["resident/file"] = addedKiB / 1024 / fileMB;
}

void BM_SaveContainerWithOneChangedSlot(benchmark::State& state) {
  const std::string work = joinPath(folder(), "work.uop");
  const std::string plainOut = joinPath(folder(), "plain.uop");
  writeFileAtomic(work, readFile(artContainer()));
  TArt art;
  art.loadUop(work, StorageMode::Memory);
  std::uint32_t round = 0;
  {
    const Bytes bytes = readFile(work);
    bench::compareWithPlain(
        state, "save",
        [&] {
          art.writeStaticData(0x100, artSlot(++round));
          art.saveUop(work);
        },
        [&] { writeFileAtomic(plainOut, bytes); });
  }
  // The memory the save adds at its peak, with nothing else held.
  art.writeStaticData(0x100, artSlot(++round));
  const std::uint64_t before = settleMemory();
  art.saveUop(work);
  const double peakKiB = static_cast<double>(statusKiB("VmHWM:") - before);
  const double fileMB = static_cast<double>(fileSize(work)) / (1 << 20);
  state.counters["fileMB"] = fileMB;
  state.counters["peakAddedMB"] = peakKiB / 1024;
  state.counters["peak/file"] = peakKiB / 1024 / fileMB;
  std::remove(work.c_str());
  std::remove(plainOut.c_str());
}

constexpr int kMapWidth = 7168;
constexpr int kMapHeight = 4096;

const std::string& mapContainer() {
  static const std::string path = [] {
    const std::string p = joinPath(folder(), "map0LegacyMUL.uop");
    if (!fileExists(p)) {
      Bytes map(std::size_t{kMapWidth / 8} * (kMapHeight / 8) * 196);
      for (std::size_t i = 0; i < map.size(); ++i) map[i] = static_cast<std::uint8_t>(i * 31 + 7);
      containerOfMapFile(map, 0).save(p);
    }
    return p;
  }();
  return path;
}

void BM_PatchOneCellIntoMapContainer(benchmark::State& state) {
  const std::string work = joinPath(folder(), "map0work.uop");
  const std::string plainOut = joinPath(folder(), "map0plain.uop");
  writeFileAtomic(work, readFile(mapContainer()));
  TMap map{WorldSources{}};
  map.open(work, kMapWidth, kMapHeight);
  const Bytes chunk(kUopMapChunk, 0x5A);
  int round = 0;
  bench::compareWithPlain(
      state, "patch",
      [&] {
        map.setTileId(1000, 2000, static_cast<std::uint16_t>(++round));
        if (map.saveChangedBlocks() != 1) state.SkipWithError("the cell was not patched");
      },
      [&] {
        // The atomic replacement of the file (a copy beside it, flushed, renamed) and the
        // plain write of one chunk.
        const int fd = ::open(work.c_str(), O_RDONLY | O_CLOEXEC);
        AtomicFile file(plainOut);
        file.copyFrom(fd, work, 0, fileSize(work));
        ::close(fd);
        file.write(chunk);
        file.commit();
      });
  state.counters["fileMB"] = static_cast<double>(fileSize(work)) / (1 << 20);
  std::remove(work.c_str());
  std::remove(plainOut.c_str());
}

ZlibSet& zlibSet() {
  static ZlibSet s;
  return s;
}

void BM_InflateZlibEntries(benchmark::State& state) {
  ZlibSet& z = zlibSet();
  bench::compareWithPlain(
      state, "inflate/zlib",
      [&] {
        for (const UopEntry& e : z.container.entries()) {
          const Bytes p = z.container.payload(e);
          benchmark::DoNotOptimize(p.data());
        }
      },
      [&] {
        for (std::size_t i = 0; i < z.streams.size(); ++i) {
          Bytes p(z.payloads[i].size());
          uLongf n = static_cast<uLongf>(p.size());
          uncompress(p.data(), &n, z.streams[i].data(), static_cast<uLong>(z.streams[i].size()));
          benchmark::DoNotOptimize(p.data());
        }
      });
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(z.bytes));
}

void BM_DeflateZlibEntries(benchmark::State& state) {
  ZlibSet& z = zlibSet();
  UopContainer c = z.container;
  bench::compareWithPlain(
      state, "deflate/zlib",
      [&] {
        for (std::uint32_t i = 0; i < kZlibEntries; ++i)
          c.setPayload(uopHash(uopEntryName(UopFamily::Gump, i)), z.payloads[i]);
      },
      [&] {
        for (const Bytes& p : z.payloads) {
          uLongf n = compressBound(static_cast<uLong>(p.size()));
          Bytes s(n);
          compress2(s.data(), &n, p.data(), static_cast<uLong>(p.size()), Z_DEFAULT_COMPRESSION);
          benchmark::DoNotOptimize(s.data());
        }
      });
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(z.bytes));
}

}  // namespace

BENCHMARK(BM_ReadAndSaveStoredContainer)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();
BENCHMARK(BM_OpenArtFromContainerAgainstPair)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();
BENCHMARK(BM_SaveContainerWithOneChangedSlot)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();
BENCHMARK(BM_PatchOneCellIntoMapContainer)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();
BENCHMARK(BM_InflateZlibEntries)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DeflateZlibEntries)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
