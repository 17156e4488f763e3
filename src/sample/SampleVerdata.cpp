// The sample verdata.mul: art patches for the fire frames the sample animation data plays (statics
// 0x21 and 0x22 for the campfire, 0x23 for the torch), a patched land tile (0x3, cobbles) and the
// two check box gumps (0xD2, 0xD3) in a new style. Drawn by code; every run writes the same bytes.
#include <algorithm>
#include <cmath>

#include "app/FileIO.h"
#include "models/Verdata.h"
#include "sample/Sample.h"

namespace quillotide::sample {

namespace {

// A repeatable hash of a point, 0 ... 1.
double hash(int x, int y, int seed) {
  std::uint32_t h = static_cast<std::uint32_t>(x) * 73856093u ^ static_cast<std::uint32_t>(y) * 19349663u ^
                    static_cast<std::uint32_t>(seed) * 83492791u;
  h = (h ^ (h >> 13)) * 1274126177u;
  h ^= h >> 16;
  return (h & 0xFFFF) / 65535.0;
}

// Patches keep white but drop black, so drawn colours stay above 8 per channel.
Pixel colour(double r, double g, double b) {
  auto c = [](double v) { return static_cast<std::uint8_t>(std::clamp(v, 8.0, 248.0)); };
  return makePixel(c(r), c(g), c(b));
}

void ellipse(Bitmap32& p, double cx, double cy, double rx, double ry, double r, double g, double b) {
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      const double dx = (x + 0.5 - cx) / rx, dy = (y + 0.5 - cy) / ry;
      const double d = dx * dx + dy * dy;
      if (d <= 1) p.at(x, y) = colour(r * (1.1 - 0.3 * d), g * (1.1 - 0.3 * d), b * (1.1 - 0.3 * d));
    }
}

void log(Bitmap32& p, double x0, double y0, double x1, double y1) {
  const double len2 = (x1 - x0) * (x1 - x0) + (y1 - y0) * (y1 - y0);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      const double t = std::clamp(((x - x0) * (x1 - x0) + (y - y0) * (y1 - y0)) / len2, 0.0, 1.0);
      const double dx = x0 + t * (x1 - x0) - x, dy = y0 + t * (y1 - y0) - y;
      if (dx * dx + dy * dy <= 4.5) p.at(x, y) = colour(95 + 20 * t, 60 + 10 * t, 28);
    }
}

// A campfire whose flames stand at another height in each frame.
Bitmap32 fireFrame(int frame) {
  Bitmap32 p(36, 34, 0);
  for (int i = 0; i < 5; ++i) {
    const double height = 6 + 5 * hash(i, frame, 41);
    const double lean = (hash(i, frame, 42) - 0.5) * 3;
    ellipse(p, 10 + 4 * i + lean, 22 - height / 2, 3.5, height, 240, 110 + 90 * hash(i, frame, 43), 25);
  }
  ellipse(p, 18, 21, 3, 4 + frame, 245, 235, 150);
  log(p, 4, 30, 30, 24);
  log(p, 6, 24, 32, 30);
  return p;
}

// The torch with its flame bent to one side.
Bitmap32 torchFrame() {
  Bitmap32 p(12, 36, 0);
  for (int y = 12; y < 36; ++y)
    for (int x = 5; x < 8; ++x) p.at(x, y) = colour(100, 65, 30);
  ellipse(p, 7, 9, 4, 8, 240, 140, 30);
  ellipse(p, 7.5, 10, 2, 3, 240, 230, 120);
  return p;
}

// Cobbles on a 44 x 44 land tile; the tile format stores only the diamond.
Bitmap32 cobbles() {
  Bitmap32 p(44, 44, 0);
  for (int y = 0; y < 44; ++y)
    for (int x = 0; x < 44; ++x) {
      const int cx = (x + 2 * (y / 6 % 2)) / 5, cy = y / 6;
      const bool joint = (x + 2 * (y / 6 % 2)) % 5 == 0 || y % 6 == 0;
      const double shade = 90 + 60 * hash(cx, cy, 7) + 15 * hash(x, y, 8);
      p.at(x, y) = joint ? colour(60, 55, 50) : colour(shade, shade * 0.95, shade * 0.85);
    }
  return p;
}

// A 19 x 20 check box: a bevelled frame, ticked in green when `checked`.
Bitmap32 checkBox(bool checked) {
  Bitmap32 p(19, 20, colour(70, 55, 40));
  for (int y = 2; y < 18; ++y)
    for (int x = 2; x < 17; ++x) p.at(x, y) = colour(215, 200, 165);
  for (int i = 0; i < 19; ++i) p.at(i, 0) = colour(150, 120, 80);
  if (checked)
    for (int i = 0; i < 11; ++i) {
      const int x = 4 + i, y = i < 4 ? 10 + i : 13 - (i - 4) * 8 / 6;
      for (int t = 0; t < 2; ++t) p.at(x, std::clamp(y + t, 2, 17)) = colour(40, 150, 50);
    }
  return p;
}

}  // namespace

void writeVerdata(const std::string& dir) {
  const std::string path = joinPath(dir, "verdata.mul");
  writeFileAtomic(path, Bytes(4, 0));
  TVerdata v;
  v.load(path);
  v.addStatic(0x21, fireFrame(1));
  v.addStatic(0x22, fireFrame(2));
  v.addStatic(0x23, torchFrame());
  v.addLand(0x3, cobbles());
  v.addGump(0xD2, checkBox(false));
  v.addGump(0xD3, checkBox(true));
  v.save(path);
}

}  // namespace quillotide::sample
