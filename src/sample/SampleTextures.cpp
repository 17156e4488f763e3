// The sample texidx.mul / texmaps.mul: 0x4000 records, as the game's index has. Texture t belongs
// to land tile t of the sample tile data (grass, dirt, sand, water, rock and a few more ground
// kinds); odd ids are 64 x 64, even ids 128 x 128, so both common sizes are present. Every picture
// is drawn by code from a fixed seed and tiles without seams.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "app/Colour.h"
#include "app/FileIO.h"
#include "models/Textures.h"
#include "sample/Sample.h"

namespace quillotide::sample {

namespace {

constexpr std::int64_t kTextureRecords = 0x4000;

enum class Ground { Grass, Dirt, Sand, Water, Rock, Snow, Swamp, Cobbles, Lava, ForestFloor };

struct SampleTexture {
  int id;
  Ground ground;
};

constexpr SampleTexture kTextures[] = {
    {0x01, Ground::Grass},   {0x02, Ground::Grass}, {0x03, Ground::Dirt},
    {0x04, Ground::Dirt},    {0x05, Ground::Sand},  {0x06, Ground::Sand},
    {0x07, Ground::Water},   {0x08, Ground::Water}, {0x09, Ground::Rock},
    {0x0A, Ground::Rock},    {0x0B, Ground::Snow},  {0x0C, Ground::Swamp},
    {0x0D, Ground::Cobbles}, {0x0E, Ground::Lava},  {0x0F, Ground::ForestFloor},
};

std::uint32_t hash(std::uint32_t x, std::uint32_t y, std::uint32_t seed) {
  std::uint32_t h = x * 0x8DA6B343u ^ y * 0xD8163841u ^ seed * 0xCB1AB31Fu;
  h ^= h >> 13;
  h *= 0x5BD1E995u;
  h ^= h >> 15;
  return h;
}

// Smooth value noise in 0..1 that wraps every `period` cells, so the texture tiles.
double noise(double x, double y, int period, std::uint32_t seed) {
  const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
  const double fx = x - x0, fy = y - y0;
  auto corner = [&](int cx, int cy) {
    const auto wx = static_cast<std::uint32_t>(((cx % period) + period) % period);
    const auto wy = static_cast<std::uint32_t>(((cy % period) + period) % period);
    return (hash(wx, wy, seed) & 0xFFFF) / 65535.0;
  };
  const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
  const double top = corner(x0, y0) + (corner(x0 + 1, y0) - corner(x0, y0)) * sx;
  const double bottom = corner(x0, y0 + 1) + (corner(x0 + 1, y0 + 1) - corner(x0, y0 + 1)) * sx;
  return top + (bottom - top) * sy;
}

// Two octaves of noise over the picture, wrapping at its edges.
double field(int x, int y, int side, int cells, std::uint32_t seed) {
  const double u = static_cast<double>(x) * cells / side, v = static_cast<double>(y) * cells / side;
  return 0.65 * noise(u, v, cells, seed) + 0.35 * noise(2 * u, 2 * v, 2 * cells, seed + 1);
}

Pixel mix(int r, int g, int b, double shade) {
  auto c = [&](int v) {
    return static_cast<std::uint8_t>(std::clamp(static_cast<int>(v * shade), 0, 255));
  };
  return makePixel(c(r), c(g), c(b));
}

Pixel groundPixel(Ground ground, int x, int y, int side, std::uint32_t seed) {
  const double n = field(x, y, side, 8, seed);
  const double grain =
      (hash(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), seed + 7) & 0xFF) / 255.0;
  switch (ground) {
  case Ground::Grass:
    return grain > 0.93 ? mix(120, 170, 60, 0.8 + 0.4 * n) : mix(60, 130, 40, 0.7 + 0.5 * n);
  case Ground::Dirt:
    return grain > 0.95 ? mix(90, 70, 50, 0.9) : mix(120, 85, 50, 0.75 + 0.4 * n);
  case Ground::Sand:
    return mix(220, 195, 140, 0.85 + 0.2 * n + 0.05 * grain);
  case Ground::Water: {
    const double wave =
        0.5 + 0.5 * std::sin(2 * std::numbers::pi * (x + 6 * n * side / 64.0) * 4 / side);
    return mix(40, 80, 160, 0.75 + 0.25 * wave * n + 0.1 * n);
  }
  case Ground::Rock: {
    const double crack = std::abs(field(x, y, side, 4, seed + 3) - 0.5);
    return crack < 0.03 ? mix(60, 60, 64, 1.0) : mix(130, 128, 125, 0.7 + 0.45 * n);
  }
  case Ground::Snow:
    return mix(235, 240, 248, 0.92 + 0.08 * n);
  case Ground::Swamp:
    return n > 0.6 ? mix(50, 70, 60, 0.9 + 0.2 * grain) : mix(70, 90, 40, 0.7 + 0.4 * n);
  case Ground::Cobbles: {
    // Stones in a grid of 8 per side with mortar between, shaded one by one.
    const int cell = side / 8;
    const int cx = x / cell, cy = y / cell;
    const bool mortar = x % cell == 0 || y % cell == 0;
    const double stone =
        (hash(static_cast<std::uint32_t>(cx), static_cast<std::uint32_t>(cy), seed) & 0xFF) / 255.0;
    return mortar ? mix(70, 65, 60, 1.0) : mix(150, 145, 140, 0.7 + 0.3 * stone + 0.1 * n);
  }
  case Ground::Lava:
    return n > 0.55 ? mix(250, 160, 40, 0.8 + 0.4 * (n - 0.55)) : mix(120, 30, 10, 0.7 + 0.5 * n);
  case Ground::ForestFloor:
    return grain > 0.9 ? mix(140, 110, 40, 0.9) : mix(70, 80, 35, 0.7 + 0.5 * n);
  }
  return 0;
}

Bitmap32 sampleTexture(int id, int side) {
  Ground ground = Ground::Grass;
  for (const auto& t : kTextures)
    if (t.id == id) ground = t.ground;
  Bitmap32 picture(side, side);
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x)
      picture.at(x, y) = groundPixel(ground, x, y, side, static_cast<std::uint32_t>(id));
  return picture;
}

}  // namespace

void writeTextures(const std::string& dir) {
  ByteWriter index(kTextureRecords * 12);
  ByteWriter data;
  std::int64_t next = 0;
  for (const auto& t : kTextures) {
    for (; next < t.id; ++next) {
      index.i32(-1);
      index.i32(-1);
      index.i32(-1);
    }
    const int side = t.id % 2 ? 64 : 128;
    const Bytes bytes = encodeTexture(sampleTexture(t.id, side));
    index.i32(static_cast<std::int32_t>(data.size()));
    index.i32(static_cast<std::int32_t>(bytes.size()));
    index.i32(textureExtra(side));
    data.bytes(bytes);
    ++next;
  }
  for (; next < kTextureRecords; ++next) {
    index.i32(-1);
    index.i32(-1);
    index.i32(-1);
  }
  AtomicFile idx(joinPath(dir, "texidx.mul"));
  AtomicFile mul(joinPath(dir, "texmaps.mul"));
  idx.write(index.data());
  mul.write(data.data());
  commitAll({&idx, &mul});
}

}  // namespace quillotide::sample
