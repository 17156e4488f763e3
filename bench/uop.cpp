// Reading and saving UOP containers, each figure beside zlib or a plain read and write of the
// same bytes:
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

#include "Compare.h"
#include "app/FileIO.h"
#include "app/Uop.h"

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
BENCHMARK(BM_InflateZlibEntries)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DeflateZlibEntries)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
