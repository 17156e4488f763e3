// Decoding and encoding every slot of a full-size generated art pair: 0x4000 land tiles and 0x10000
// static slots (every 7th empty, as in a real file), each figure beside a plain read of the same
// bytes (summing the slot bytes, or the picture pixels the encoder reads).
//
//   cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DQUILLOTIDE_BUILD_UI=OFF
//   cmake --build build/bench -j2 --target bench_art && build/bench/bench/bench_art

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>

#include "app/FileIO.h"
#include "models/Art.h"
#include "support/TestFiles.h"

using namespace quillotide;

namespace {

constexpr std::int64_t kStatics = 0x10000;
constexpr int kDistinctPictures = 256;

// A static-like picture: a lit blob of colour with transparent corners and a few holes.
Bitmap32 picture(int i) {
  const int w = 20 + (i * 37) % 70, h = 24 + (i * 53) % 100;
  Bitmap32 p(w, h, 0xFFFFFFFF);
  std::uint32_t v = static_cast<std::uint32_t>(i) * 2654435761u + 1;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double dx = (x - w / 2.0) / (w / 2.0), dy = (y - h / 2.0) / (h / 2.0);
      v = v * 1103515245u + 12345u;
      if (dx * dx + dy * dy > 1 || (v >> 24) < 8) continue;
      p.at(x, y) = makePixel(static_cast<std::uint8_t>(40 + (v >> 8) % 180),
                             static_cast<std::uint8_t>(40 + (x * 3) % 180),
                             static_cast<std::uint8_t>(40 + (y * 2) % 180));
    }
  return p;
}

struct Fixture {
  test::TempDir dir;
  std::vector<Bitmap32> pictures;
  TArt art;
  Fixture() {
    for (int i = 0; i < kDistinctPictures; ++i) pictures.push_back(picture(i));
    std::vector<Bytes> encoded;
    for (const auto& p : pictures) encoded.push_back(encodeStaticArt(p));
    ByteWriter index((kStaticBase + kStatics) * 12);
    ByteWriter data;
    auto add = [&](const Bytes& bytes) {
      index.i32(static_cast<std::int32_t>(data.size()));
      index.i32(static_cast<std::int32_t>(bytes.size()));
      index.i32(0);
      data.bytes(bytes);
    };
    // Land tiles are 44 x 44: each takes the top left corner of a picture on white.
    std::vector<Bytes> land;
    for (const auto& p : pictures) {
      Bitmap32 tile(kLandTileSize, kLandTileSize, 0xFFFFFFFF);
      for (int y = 0; y < std::min(p.height, kLandTileSize); ++y)
        for (int x = 0; x < std::min(p.width, kLandTileSize); ++x) tile.at(x, y) = p.at(x, y);
      land.push_back(encodeLandTile(tile));
    }
    for (std::int64_t t = 0; t < kLandTileCount; ++t)
      add(land[static_cast<std::size_t>(t % kDistinctPictures)]);
    for (std::int64_t s = 0; s < kStatics; ++s) {
      if (s % 7 == 0) {
        index.i32(-1);
        index.i32(-1);
        index.i32(0);
        continue;
      }
      add(encoded[static_cast<std::size_t>(s % kDistinctPictures)]);
    }
    test::writeBytes(dir.file("artidx.mul"), index.data());
    test::writeBytes(dir.file("art.mul"), data.data());
    art.load(dir.file("artidx.mul"), dir.file("art.mul"), StorageMode::Memory);
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void sumInto(const Bytes& b, std::uint64_t& sum) {
  for (const auto v : b) sum += v;
}

void BM_PlainReadStaticBytes(benchmark::State& state) {
  auto& f = fixture();
  for (auto _ : state) {
    std::uint64_t sum = 0, bytes = 0;
    for (std::int64_t s = 0; s < kStatics; ++s) {
      if (const auto data = f.art.staticData(s)) {
        sumInto(*data, sum);
        bytes += data->size();
      }
    }
    benchmark::DoNotOptimize(sum);
    state.SetBytesProcessed(state.bytes_processed() + static_cast<std::int64_t>(bytes));
  }
}

void BM_DecodeStatics(benchmark::State& state) {
  auto& f = fixture();
  for (auto _ : state) {
    std::uint64_t bytes = 0;
    for (std::int64_t s = 0; s < kStatics; ++s) {
      const Bitmap32 p = f.art.staticPicture(s);
      benchmark::DoNotOptimize(p.pixels.data());
      if (!p.empty()) bytes += static_cast<std::uint64_t>(f.art.staticRecord(s)->length);
    }
    state.SetBytesProcessed(state.bytes_processed() + static_cast<std::int64_t>(bytes));
  }
}

void BM_PlainReadPicturePixels(benchmark::State& state) {
  auto& f = fixture();
  for (auto _ : state) {
    std::uint64_t sum = 0, bytes = 0;
    for (std::int64_t s = 0; s < kStatics; ++s) {
      const auto& p = f.pictures[static_cast<std::size_t>(s % kDistinctPictures)];
      for (const Pixel px : p.pixels) sum += px;
      bytes += p.pixels.size() * sizeof(Pixel);
    }
    benchmark::DoNotOptimize(sum);
    state.SetBytesProcessed(state.bytes_processed() + static_cast<std::int64_t>(bytes));
  }
}

void BM_EncodeStatics(benchmark::State& state) {
  auto& f = fixture();
  for (auto _ : state) {
    std::uint64_t bytes = 0;
    for (std::int64_t s = 0; s < kStatics; ++s) {
      const auto& p = f.pictures[static_cast<std::size_t>(s % kDistinctPictures)];
      const Bytes encoded = encodeStaticArt(p);
      benchmark::DoNotOptimize(encoded.data());
      bytes += p.pixels.size() * sizeof(Pixel);
    }
    state.SetBytesProcessed(state.bytes_processed() + static_cast<std::int64_t>(bytes));
  }
}

void BM_PlainReadLandBytes(benchmark::State& state) {
  auto& f = fixture();
  for (auto _ : state) {
    std::uint64_t sum = 0;
    for (std::int64_t t = 0; t < kLandTileCount; ++t) sumInto(*f.art.landData(t), sum);
    benchmark::DoNotOptimize(sum);
    state.SetBytesProcessed(state.bytes_processed() +
                            static_cast<std::int64_t>(kLandTileCount * kLandTileBytes));
  }
}

void BM_DecodeLand(benchmark::State& state) {
  auto& f = fixture();
  for (auto _ : state) {
    for (std::int64_t t = 0; t < kLandTileCount; ++t) {
      const Bitmap32 p = f.art.landPicture(t);
      benchmark::DoNotOptimize(p.pixels.data());
    }
    state.SetBytesProcessed(state.bytes_processed() +
                            static_cast<std::int64_t>(kLandTileCount * kLandTileBytes));
  }
}

}  // namespace

BENCHMARK(BM_PlainReadStaticBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeStatics)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainReadPicturePixels)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeStatics)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainReadLandBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeLand)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
