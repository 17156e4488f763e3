// Decoding and encoding every gump of a generated pair of about 50 000 gumps, beside a plain read
// of the same slot bytes. All report bytes per second over the same data file, so the decode and
// encode figures read as a multiple of the time it takes just to touch the bytes. Decoding also
// writes every pixel of its pictures, so its fair bound is reading the slot bytes plus filling
// pictures of the same sizes: BM_DecodeOverReadAndFill prints that ratio ("decode/(read+fill)").
//
//   cmake --build build/<dir> --target bench_gump && build/<dir>/bench/bench_gump
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <numeric>

#include "app/FileIO.h"
#include "models/Gump.h"
#include "support/TestFiles.h"

using namespace quillotide;

namespace {

constexpr std::int64_t kGumps = 50000;

std::uint32_t hash(std::uint32_t a, std::uint32_t b) {
  std::uint32_t h = a * 0x8DA6B343u ^ b * 0xD8163841u;
  h ^= h >> 13;
  h *= 0x5BD1E995u;
  return h ^ (h >> 15);
}

// Interface-like pictures: 16 to 143 pixels wide, 8 to 71 high, rows of a few bands of colour
// with some noise, every 25th slot empty.
Bitmap32 generatedPicture(std::int64_t g) {
  const auto seed = static_cast<std::uint32_t>(g);
  const int w = 16 + static_cast<int>(hash(seed, 1) % 128);
  const int h = 8 + static_cast<int>(hash(seed, 2) % 64);
  Bitmap32 p(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::uint32_t band = static_cast<std::uint32_t>(x / 12 + y / 9);
      const bool speck = hash(static_cast<std::uint32_t>(x + y * w), seed) % 16 == 0;
      p.at(x, y) =
          colour16ToPixel(static_cast<Colour16>((hash(band, seed) + (speck ? 0x21 : 0)) & 0x7FFF));
    }
  return p;
}

struct Fixture {
  test::TempDir dir;
  TGump gump;
  std::uint64_t bytes = 0;
  Fixture() {
    ByteWriter index(kGumps * 12);
    ByteWriter data;
    for (std::int64_t g = 0; g < kGumps; ++g) {
      if (g % 25 == 0) {
        index.i32(-1);
        index.i32(-1);
        index.i32(-1);
        continue;
      }
      const Bitmap32 p = generatedPicture(g);
      const Bytes b = encodeGump(p);
      index.i32(static_cast<std::int32_t>(data.size()));
      index.i32(static_cast<std::int32_t>(b.size()));
      index.i32(gumpExtra(p.width, p.height));
      data.bytes(b);
    }
    bytes = data.size();
    writeFileAtomic(dir.file("gumpidx.mul"), index.data());
    writeFileAtomic(dir.file("gumpart.mul"), data.data());
    gump.load(dir.file("gumpidx.mul"), dir.file("gumpart.mul"));
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

// The same bytes the decoder reads, summed without decoding.
void BM_PlainReadOfEveryGump(benchmark::State& state) {
  Fixture& f = fixture();
  for (auto _ : state) {
    std::uint64_t sum = 0;
    for (std::int64_t g = 0; g < kGumps; ++g) {
      const auto r = f.gump.record(g);
      if (!r || r->isEmpty()) continue;
      const auto view = *f.gump.files().dataView(*r);
      sum = std::accumulate(view.begin(), view.end(), sum);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(f.bytes));
  state.counters["gumps"] = static_cast<double>(kGumps);
}
BENCHMARK(BM_PlainReadOfEveryGump)->Unit(benchmark::kMillisecond);

void BM_DecodeEveryGump(benchmark::State& state) {
  Fixture& f = fixture();
  for (auto _ : state) {
    std::uint64_t pixels = 0;
    for (std::int64_t g = 0; g < kGumps; ++g) pixels += f.gump.gumpPicture(g).pixels.size();
    benchmark::DoNotOptimize(pixels);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(f.bytes));
}
BENCHMARK(BM_DecodeEveryGump)->Unit(benchmark::kMillisecond);

// The least a decoder must do: read every slot byte and write every pixel of a picture of the
// slot's size, allocated fresh as a decoded picture is.
std::uint64_t readAndFillEveryGump(Fixture& f) {
  std::uint64_t sum = 0;
  for (std::int64_t g = 0; g < kGumps; ++g) {
    const auto r = f.gump.record(g);
    if (!r || r->isEmpty()) continue;
    const auto view = *f.gump.files().dataView(*r);
    const auto bytes = std::accumulate(view.begin(), view.end(), std::uint64_t{0});
    Bitmap32 picture(gumpWidthOf(r->extra), gumpHeightOf(r->extra),
                     static_cast<Pixel>(bytes) | 0xFF000000u);
    benchmark::DoNotOptimize(picture.pixels.data());
    sum += bytes + picture.pixels.size();
  }
  return sum;
}

void BM_ReadAndFillEveryGump(benchmark::State& state) {
  Fixture& f = fixture();
  for (auto _ : state) benchmark::DoNotOptimize(readAndFillEveryGump(f));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(f.bytes));
}
BENCHMARK(BM_ReadAndFillEveryGump)->Unit(benchmark::kMillisecond);

// Both in one loop, so the ratio printed comes from the same moments of a noisy machine.
void BM_DecodeOverReadAndFill(benchmark::State& state) {
  Fixture& f = fixture();
  using Clock = std::chrono::steady_clock;
  double boundSeconds = 0, decodeSeconds = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    benchmark::DoNotOptimize(readAndFillEveryGump(f));
    const auto t1 = Clock::now();
    std::uint64_t pixels = 0;
    for (std::int64_t g = 0; g < kGumps; ++g) pixels += f.gump.gumpPicture(g).pixels.size();
    benchmark::DoNotOptimize(pixels);
    const auto t2 = Clock::now();
    boundSeconds += std::chrono::duration<double>(t1 - t0).count();
    decodeSeconds += std::chrono::duration<double>(t2 - t1).count();
  }
  state.counters["decode/(read+fill)"] = boundSeconds > 0 ? decodeSeconds / boundSeconds : 0;
}
BENCHMARK(BM_DecodeOverReadAndFill)->Unit(benchmark::kMillisecond)->Iterations(20);

// Pictures are decoded in batches outside the timing, so only encoding is measured.
void BM_EncodeEveryGump(benchmark::State& state) {
  Fixture& f = fixture();
  constexpr std::int64_t kBatch = 1000;
  std::vector<Bitmap32> batch;
  for (auto _ : state) {
    std::uint64_t written = 0;
    for (std::int64_t first = 0; first < kGumps; first += kBatch) {
      state.PauseTiming();
      batch.clear();
      for (std::int64_t g = first; g < std::min(first + kBatch, kGumps); ++g)
        if (f.gump.gumpExists(g)) batch.push_back(f.gump.gumpPicture(g));
      state.ResumeTiming();
      for (const Bitmap32& p : batch) written += encodeGump(p).size();
    }
    if (written != f.bytes) state.SkipWithError("the encoding differs from the generated file");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(f.bytes));
}
BENCHMARK(BM_EncodeEveryGump)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
