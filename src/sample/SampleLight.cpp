// The sample lightidx.mul / light.mul: a handful of light shapes as the game uses them: round
// glows of three sizes, a wide oval, a window pane, a narrow beam and a flickering torch glow.
// Intensities run from 0 at the rim to 31 at the centre, as in the game's own masks.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>

#include "app/FileIO.h"
#include "models/Light.h"
#include "sample/Sample.h"

namespace quillotide::sample {

namespace {

constexpr int kFull = 31;

using Shape = std::function<double(double dx, double dy)>;  // distance 0 (centre) .. 1 (rim)

Bytes mask(int w, int h, const Shape& shape) {
  Bytes b(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double dx = (x + 0.5 - w / 2.0) / (w / 2.0), dy = (y + 0.5 - h / 2.0) / (h / 2.0);
      const double d = std::clamp(shape(dx, dy), 0.0, 1.0);
      // Falls off with the square of the distance, like a point light.
      const double v = kFull * (1.0 - d) * (1.0 - d);
      b[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)] =
          static_cast<std::uint8_t>(std::lround(v));
    }
  return b;
}

double round(double dx, double dy) { return std::sqrt(dx * dx + dy * dy); }

}  // namespace

void writeLight(const std::string& dir) {
  struct Light {
    int w, h;
    Shape shape;
  };
  const Light lights[] = {
      {32, 32, round},
      {64, 64, round},
      {128, 128, round},
      {128, 64, round},
      // A window: a square pane with soft edges.
      {48, 48,
       [](double dx, double dy) { return std::max(std::abs(dx), std::abs(dy)) * 1.1 - 0.1; }},
      // A beam narrowing toward the top.
      {40, 96,
       [](double dx, double dy) {
         return std::abs(dx) / (0.3 + 0.7 * (dy + 1) / 2) * 0.9 + 0.1 * std::abs(dy);
       }},
      // A torch: a round glow whose rim wavers with the angle.
      {80, 80,
       [](double dx, double dy) {
         const double a = std::atan2(dy, dx);
         return round(dx, dy) * (1.0 + 0.05 * std::sin(5 * a) + 0.03 * std::sin(11 * a + 1));
       }},
  };
  ByteWriter index;
  ByteWriter data;
  for (const auto& l : lights) {
    const Bytes bytes = mask(l.w, l.h, l.shape);
    index.i32(static_cast<std::int32_t>(data.size()));
    index.i32(static_cast<std::int32_t>(bytes.size()));
    index.i32(static_cast<std::int32_t>((static_cast<std::uint32_t>(l.w) << 16) |
                                        static_cast<std::uint32_t>(l.h)));
    data.bytes(bytes);
  }
  // Unused slots up to 0x20, as the light index of the game ends with empty records.
  for (std::size_t i = std::size(lights); i < 0x20; ++i) {
    index.i32(-1);
    index.i32(-1);
    index.i32(-1);
  }
  AtomicFile idx(joinPath(dir, "lightidx.mul"));
  AtomicFile mul(joinPath(dir, "light.mul"));
  idx.write(index.data());
  mul.write(data.data());
  commitAll({&idx, &mul});
}

}  // namespace quillotide::sample
