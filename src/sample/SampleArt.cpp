// The sample artidx.mul / art.mul: ground textures as land tiles 0x0 ... 0xF and statics 0x1 ...
// 0x20, the ids and names the sample tile data gives them, all drawn by code with a fixed noise so
// every run writes the same bytes. The index holds the whole land section and 0x40 static records.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>

#include "app/FileIO.h"
#include "models/Art.h"
#include "sample/Sample.h"

namespace quillotide::sample {

namespace {

constexpr std::int64_t kSampleStaticSlots = 0x40;
constexpr double kPi = 3.14159265358979323846;

// ---- colour and noise ---------------------------------------------------------------------

struct Rgb {
  double r = 0, g = 0, b = 0;
};

Rgb operator*(Rgb c, double k) { return {c.r * k, c.g * k, c.b * k}; }
Rgb operator+(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
Rgb mix(Rgb a, Rgb b, double t) { return a * (1 - t) + b * t; }

// A repeatable hash of a lattice point, 0 ... 1.
double hash(int x, int y, int seed) {
  std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u +
                    static_cast<std::uint32_t>(y) * 668265263u +
                    static_cast<std::uint32_t>(seed) * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  h ^= h >> 16;
  return (h & 0xFFFFFF) / double(0xFFFFFF);
}

// Smooth value noise with a lattice of `cell` pixels.
double noise(double x, double y, double cell, int seed) {
  const double fx = x / cell, fy = y / cell;
  const int ix = static_cast<int>(std::floor(fx)), iy = static_cast<int>(std::floor(fy));
  const double tx = fx - ix, ty = fy - iy;
  const double sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
  const double a = hash(ix, iy, seed), b = hash(ix + 1, iy, seed);
  const double c = hash(ix, iy + 1, seed), d = hash(ix + 1, iy + 1, seed);
  return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy;
}

// Several octaves of noise, 0 ... 1.
double fractal(double x, double y, int seed) {
  return 0.5 * noise(x, y, 8, seed) + 0.3 * noise(x, y, 4, seed + 1) +
         0.2 * noise(x, y, 2, seed + 2);
}

// A pixel the art keeps: statics treat 0 and 0x7FFF as transparent, so drawn colours avoid both.
Pixel solid(Rgb c) {
  auto channel = [](double v) { return static_cast<std::uint8_t>(std::clamp(v, 0.0, 240.0)); };
  std::uint8_t r = channel(c.r), g = channel(c.g), b = channel(c.b);
  if (r < 8 && g < 8 && b < 8) r = g = b = 8;
  return makePixel(r, g, b);
}

// ---- land tiles ---------------------------------------------------------------------------

// Ground coordinates of a diamond pixel: u runs down-right, v down-left, both 0 ... 44.
void groundCoords(int x, int y, double& u, double& v) {
  u = (x - 22 + y) + 0.5;
  v = (y - x + 22) + 0.5;
}

using GroundShader = std::function<Rgb(double u, double v, int x, int y)>;

Bitmap32 landTile(const GroundShader& shade) {
  Bitmap32 tile(kLandTileSize, kLandTileSize, 0xFFFFFFFF);
  for (int y = 0; y < kLandTileSize; ++y)
    for (int x = 0; x < kLandTileSize; ++x) {
      double u, v;
      groundCoords(x, y, u, v);
      Rgb c = shade(u, v, x, y);
      // Light from the upper left: the tile's top edges are a little brighter.
      c = c * (1.04 - 0.08 * (y / 44.0));
      tile.at(x, y) = solid(c);
    }
  return tile;
}

Rgb grass(double u, double v, int seed) {
  const double n = fractal(u, v, seed);
  const double blade = hash(static_cast<int>(u * 2), static_cast<int>(v), seed + 7);
  Rgb c = mix(Rgb{40, 100, 30}, Rgb{90, 160, 50}, n);
  if (blade > 0.9) c = c * 1.25;
  if (blade < 0.06) c = c * 0.7;
  return c;
}

Rgb dirt(double u, double v, int seed) {
  const double n = fractal(u, v, seed);
  Rgb c = mix(Rgb{90, 60, 30}, Rgb{150, 105, 60}, n);
  const double pebble = hash(static_cast<int>(u / 3), static_cast<int>(v / 3), seed + 3);
  if (pebble > 0.93) c = mix(c, Rgb{150, 140, 130}, 0.7);
  return c;
}

Rgb sand(double u, double v, int seed) {
  const double ripple = 0.5 + 0.5 * std::sin((u + v) * 0.7 + 3 * noise(u, v, 6, seed));
  return mix(Rgb{200, 170, 110}, Rgb{235, 210, 150}, 0.4 * ripple + 0.6 * fractal(u, v, seed + 1));
}

Rgb water(double u, double v, int seed) {
  const double wave = std::sin(u * 0.5 + 2 * noise(u, v, 8, seed)) * std::sin(v * 0.3);
  Rgb c = mix(Rgb{20, 60, 130}, Rgb{50, 110, 190}, 0.5 + 0.5 * wave);
  if (wave > 0.85) c = mix(c, Rgb{200, 220, 240}, 0.5);
  return c;
}

Rgb rock(double u, double v, int seed) {
  const double n = fractal(u, v, seed);
  Rgb c = mix(Rgb{80, 80, 85}, Rgb{150, 150, 150}, n);
  // Cracks along the ridges of a second noise.
  if (std::abs(noise(u, v, 10, seed + 5) - 0.5) < 0.03) c = c * 0.5;
  return c;
}

Rgb snow(double u, double v, int seed) {
  const double n = fractal(u, v, seed);
  return mix(Rgb{190, 200, 225}, Rgb{235, 238, 240}, n);
}

Rgb swamp(double u, double v, int seed) {
  const double n = fractal(u, v, seed);
  if (noise(u, v, 9, seed + 4) > 0.62) return mix(Rgb{40, 60, 50}, Rgb{60, 90, 80}, n);  // puddle
  return mix(Rgb{50, 60, 25}, Rgb{100, 100, 45}, n);
}

Rgb cobblestones(double u, double v, int seed) {
  // Stones of 8 x 8 ground units, every other row shifted by half a stone.
  const int row = static_cast<int>(v / 8);
  const double su = u + (row % 2) * 4;
  const double lu = std::fmod(su, 8), lv = std::fmod(v, 8);
  const double edge = std::min({lu, 8 - lu, lv, 8 - lv});
  if (edge < 0.9) return Rgb{50, 45, 40};
  const double stone = hash(static_cast<int>(su / 8), row, seed);
  const Rgb base = mix(Rgb{110, 105, 100}, Rgb{160, 150, 140}, stone);
  return base * (0.85 + 0.15 * std::min(1.0, edge / 3) + 0.1 * noise(u, v, 3, seed));
}

Rgb lava(double u, double v, int seed) {
  const double n = fractal(u, v, seed);
  const double vein = std::abs(noise(u, v, 9, seed + 2) - 0.5);
  if (vein < 0.06) return mix(Rgb{240, 220, 60}, Rgb{240, 140, 20}, vein / 0.06);
  return mix(Rgb{60, 15, 10}, Rgb{160, 40, 10}, n);
}

Rgb forestFloor(double u, double v, int seed) {
  Rgb c = mix(Rgb{50, 40, 20}, Rgb{90, 75, 35}, fractal(u, v, seed));
  const double leaf = hash(static_cast<int>(u / 2), static_cast<int>(v / 2), seed + 9);
  if (leaf > 0.85)
    c = mix(Rgb{150, 90, 30}, Rgb{170, 130, 40}, hash(static_cast<int>(u), 0, seed));
  else if (leaf < 0.1)
    c = Rgb{50, 90, 30};
  return c;
}

std::vector<Bitmap32> landTiles() {
  using Fn = Rgb (*)(double, double, int);
  auto from = [](Fn f, int seed) {
    return landTile([f, seed](double u, double v, int, int) { return f(u, v, seed); });
  };
  return {
      Bitmap32(kLandTileSize, kLandTileSize,
               makePixel(8, 8, 8)),  // void: the black of the map's edge
      from(grass, 1),
      from(grass, 2),
      from(dirt, 3),
      from(dirt, 4),
      from(sand, 5),
      from(sand, 6),
      from(water, 7),
      from(water, 8),
      from(rock, 9),
      from(rock, 10),
      from(snow, 11),
      from(swamp, 12),
      from(cobblestones, 13),
      from(lava, 14),
      from(forestFloor, 15),
  };
}

// ---- statics ------------------------------------------------------------------------------

// A static picture being drawn: starts fully transparent (white).
struct Canvas {
  Bitmap32 pic;
  Canvas(int w, int h) : pic(w, h, 0xFFFFFFFF) {}
  void put(int x, int y, Rgb c) {
    if (x >= 0 && y >= 0 && x < pic.width && y < pic.height) pic.at(x, y) = solid(c);
  }
  // Fills every pixel whose centre satisfies inside(x, y) with shade(x, y).
  template <typename In, typename Shade>
  void fill(In inside, Shade shade) {
    for (int y = 0; y < pic.height; ++y)
      for (int x = 0; x < pic.width; ++x)
        if (inside(x + 0.5, y + 0.5)) put(x, y, shade(x + 0.5, y + 0.5));
  }
  // A lit ellipse: brighter toward the upper left.
  void ball(double cx, double cy, double rx, double ry, Rgb c, int seed = 0, double grain = 0.15) {
    fill([&](double x, double y) { return sq((x - cx) / rx) + sq((y - cy) / ry) <= 1; },
         [&](double x, double y) {
           const double lx = (x - cx) / rx, ly = (y - cy) / ry;
           const double light = 0.85 - 0.3 * lx - 0.35 * ly;
           return c * (light + grain * (noise(x, y, 3, seed) - 0.5));
         });
  }
  void rect(double x0, double y0, double x1, double y1, Rgb c, int seed = 0, double grain = 0.1) {
    fill([&](double x, double y) { return x >= x0 && x < x1 && y >= y0 && y < y1; },
         [&](double x, double y) { return c * (1 + grain * (noise(x, y, 2, seed) - 0.5)); });
  }
  void line(double x0, double y0, double x1, double y1, double width, Rgb c) {
    const double dx = x1 - x0, dy = y1 - y0, len2 = dx * dx + dy * dy;
    fill(
        [&](double x, double y) {
          const double t = std::clamp(((x - x0) * dx + (y - y0) * dy) / len2, 0.0, 1.0);
          return sq(x - x0 - t * dx) + sq(y - y0 - t * dy) <= sq(width / 2);
        },
        [&](double, double) { return c; });
  }
  static double sq(double v) { return v * v; }
};

// The ground diamond of a static that is 44 wide, with its bottom corner at the picture's bottom.
bool inDiamond(double x, double y, int height, double inset = 0) {
  const double cy = height - 22.0;
  return std::abs(x - 22) + std::abs(y - cy) * 1.0 <= 22 - inset;
}

Bitmap32 tree(bool pine, int seed) {
  Canvas c(pine ? 60 : 88, 110);
  const double cx = c.pic.width / 2.0;
  c.rect(cx - 4, 60, cx + 4, 104, Rgb{90, 60, 30}, seed, 0.4);
  c.ball(cx, 104, 10, 4, Rgb{60, 45, 25}, seed);
  if (pine) {
    for (int layer = 0; layer < 4; ++layer) {
      const double top = 4 + layer * 18, bottom = top + 34, half = 12 + layer * 5;
      c.fill(
          [&](double x, double y) {
            return y >= top && y <= bottom && std::abs(x - cx) <= half * (y - top) / (bottom - top);
          },
          [&](double x, double y) {
            const double light = 0.75 - 0.4 * (x - cx) / half + 0.2 * (noise(x, y, 2, seed) - 0.5);
            return Rgb{30, 90, 50} * light;
          });
    }
  } else {
    // A crown of overlapping leafy blobs.
    for (int i = 0; i < 14; ++i) {
      const double a = hash(i, 0, seed) * 2 * kPi, r = 8 + 20 * hash(i, 1, seed);
      const double bx = cx + std::cos(a) * r, by = 38 + std::sin(a) * r * 0.7;
      c.ball(bx, by, 16, 14, mix(Rgb{40, 110, 35}, Rgb{80, 150, 45}, hash(i, 2, seed)), seed + i,
             0.5);
    }
  }
  return c.pic;
}

Bitmap32 bush(int seed) {
  Canvas c(44, 34);
  for (int i = 0; i < 7; ++i)
    c.ball(10 + 4 * i, 18 + 6 * hash(i, 3, seed), 9, 8,
           mix(Rgb{40, 110, 35}, Rgb{70, 140, 40}, hash(i, 4, seed)), seed + i, 0.5);
  return c.pic;
}

// A wall along one edge of the ground diamond: from the left corner down to the bottom corner
// (west face) or from the bottom corner up to the right corner (east face).
template <typename Face>
Bitmap32 wall(bool west, int height, Face face) {
  Canvas c(44, height + 22 + 4);
  const int h = c.pic.height;
  for (int x = 0; x < 44; ++x) {
    // Bottom of the wall face at column x, following the diamond edge.
    const double base = west ? (h - 23 + x / 2.0) : (h - 1 - (x - 22) / 2.0);
    if (west ? x > 22 : x < 22) continue;
    for (int y = static_cast<int>(base - height); y <= static_cast<int>(base); ++y) {
      const double fx = west ? x : x - 22, fy = base - y;
      c.put(x, y, face(fx, fy) * (west ? 0.9 : 1.05));
    }
  }
  return c.pic;
}

Rgb stoneFace(double x, double y, int seed) {
  const int row = static_cast<int>(y / 7);
  const double bx = x + (row % 2) * 5;
  if (std::fmod(y, 7) < 1 || std::fmod(bx, 10) < 1) return Rgb{70, 68, 64};
  return mix(Rgb{120, 115, 105}, Rgb{170, 160, 145}, hash(static_cast<int>(bx / 10), row, seed)) *
         (0.9 + 0.2 * noise(x, y, 2, seed));
}

Rgb plankFace(double x, double y, int seed) {
  const int plank = static_cast<int>(x / 5);
  if (std::fmod(x, 5) < 0.8) return Rgb{60, 35, 15};
  const double grain = noise(x * 3, y * 0.3, 2, seed + plank);
  return mix(Rgb{120, 75, 35}, Rgb{165, 110, 55}, 0.5 * grain + 0.5 * hash(plank, 0, seed));
}

Bitmap32 door() {
  return wall(true, 60, [](double x, double y) {
    if (x < 2 || x > 20 || y > 56) return Rgb{80, 50, 25};                           // frame
    if (std::abs(x - 16) < 1.5 && std::abs(y - 28) < 1.5) return Rgb{200, 180, 60};  // handle
    return plankFace(x * 1.3, y, 21);
  });
}

Bitmap32 windowWall() {
  return wall(true, 60, [](double x, double y) {
    if (x > 5 && x < 17 && y > 24 && y < 46) {
      if (std::abs(x - 11) < 0.8 || std::abs(y - 35) < 0.8) return Rgb{70, 50, 30};  // mullions
      return mix(Rgb{90, 140, 190}, Rgb{170, 210, 235}, (y - 24) / 22);
    }
    return stoneFace(x, y, 27);
  });
}

template <typename Shade>
Bitmap32 flat(Shade shade, int height = 44) {
  Canvas c(44, height);
  c.fill([&](double x, double y) { return inDiamond(x, y, height); }, shade);
  return c.pic;
}

Bitmap32 woodenFloor() {
  return flat([](double x, double y) {
    double u, v;
    groundCoords(static_cast<int>(x), static_cast<int>(y), u, v);
    return plankFace(u, v, 9);
  });
}

Bitmap32 stoneFloor() {
  return flat([](double x, double y) {
    double u, v;
    groundCoords(static_cast<int>(x), static_cast<int>(y), u, v);
    if (std::fmod(u, 11) < 1 || std::fmod(v, 11) < 1) return Rgb{70, 70, 70};
    return mix(Rgb{130, 130, 125}, Rgb{175, 170, 160},
               hash(static_cast<int>(u / 11), static_cast<int>(v / 11), 10));
  });
}

Bitmap32 redCarpet() {
  return flat([](double x, double y) {
    const double border = 22 - (std::abs(x - 22) + std::abs(y - 22));
    if (border < 3) return Rgb{200, 170, 60};
    return mix(Rgb{140, 20, 25}, Rgb{180, 35, 40}, noise(x, y, 3, 32));
  });
}

Bitmap32 roof() {
  Canvas c(44, 60);
  c.fill([&](double x,
             double y) { return inDiamond(x, y + 8, 60) || (inDiamond(x, y, 60) && y < 38); },
         [&](double x, double y) {
           const double row = std::fmod(y + x * 0.5, 6);
           return (row < 1 ? Rgb{70, 30, 20} : Rgb{150, 60, 40}) * (0.8 + 0.3 * noise(x, y, 2, 28));
         });
  return c.pic;
}

Bitmap32 stairs() {
  Canvas c(44, 60);
  for (int step = 0; step < 4; ++step) {
    const double top = 10 + step * 10;
    c.fill(
        [&](double x, double y) {
          return y >= top && y < top + 10 && std::abs(x - 22) <= 22 - (top - 10) / 3.0;
        },
        [&](double x, double y) {
          return (y - top < 3 ? Rgb{170, 160, 145} : Rgb{120, 112, 100}) *
                 (0.95 + 0.1 * noise(x, y, 2, 11));
        });
  }
  return c.pic;
}

// An isometric box: a top diamond of half-width w and two side faces of the given height, its
// bottom corner at (cx, bottom).
void box(Canvas& c, double cx, double bottom, double w, double height, Rgb top, Rgb side,
         int seed) {
  const double bottomCentre = bottom - w / 2, topCentre = bottomCentre - height;
  c.fill(
      [&](double x, double y) {
        const double reach = w / 2 - std::abs(x - cx) / 2;
        return reach >= 0 && y >= topCentre - reach && y <= bottomCentre + reach;
      },
      [&](double x, double y) {
        const double reach = w / 2 - std::abs(x - cx) / 2;
        const double grain = 1 + 0.1 * (noise(x, y, 2, seed) - 0.5);
        if (y <= topCentre + reach) return top * grain;
        return side * (x < cx ? 0.8 : 1.0) * grain;
      });
}

Bitmap32 table() {
  Canvas c(44, 46);
  for (double lx : {8.0, 20.0, 24.0, 36.0})
    c.rect(lx - 1, 22, lx + 1, 44 - std::abs(lx - 22) / 2, Rgb{80, 50, 25});
  box(c, 22, 30, 21, 4, Rgb{170, 115, 60}, Rgb{110, 70, 35}, 12);
  return c.pic;
}

Bitmap32 chair() {
  Canvas c(24, 40);
  c.rect(4, 4, 8, 34, Rgb{100, 65, 30});
  c.rect(16, 4, 20, 30, Rgb{100, 65, 30});
  c.rect(4, 6, 20, 10, Rgb{130, 85, 40});
  box(c, 12, 30, 10, 3, Rgb{150, 100, 50}, Rgb{100, 65, 30}, 13);
  c.rect(5, 30, 7, 38, Rgb{80, 50, 25});
  c.rect(17, 30, 19, 38, Rgb{80, 50, 25});
  return c.pic;
}

Bitmap32 barrel() {
  Canvas c(30, 40);
  c.fill(
      [](double x, double y) {
        return std::abs(x - 15) <= 12 - std::pow((y - 21) / 16, 2) * 3 && y > 5 && y < 37;
      },
      [](double x, double y) {
        const double band = std::fmod(y, 11);
        const double light = 1.05 - 0.5 * std::abs(x - 11) / 14;
        if (band < 2) return Rgb{90, 90, 95} * light;
        return (std::fmod(x, 4) < 0.7 ? Rgb{80, 50, 25} : Rgb{140, 90, 45}) * light;
      });
  c.ball(15, 6, 12, 3, Rgb{120, 80, 40}, 14);
  return c.pic;
}

Bitmap32 chest() {
  Canvas c(40, 34);
  box(c, 20, 32, 18, 12, Rgb{150, 95, 45}, Rgb{120, 75, 35}, 15);
  c.line(4, 22, 20, 30, 2, Rgb{180, 160, 60});
  c.line(20, 30, 36, 22, 2, Rgb{180, 160, 60});
  c.ball(20, 24, 2, 2, Rgb{200, 180, 70});
  return c.pic;
}

Bitmap32 torch() {
  Canvas c(12, 36);
  c.rect(5, 12, 7, 35, Rgb{100, 65, 30});
  c.ball(6, 10, 4, 7, Rgb{240, 150, 30}, 16, 0.6);
  c.ball(6, 11, 2, 3, Rgb{240, 230, 120});
  return c.pic;
}

Bitmap32 lampPost() {
  Canvas c(20, 96);
  c.rect(8, 20, 12, 92, Rgb{50, 50, 55}, 17, 0.3);
  c.rect(5, 88, 15, 95, Rgb{60, 60, 65});
  c.rect(3, 6, 17, 20, Rgb{60, 60, 65});
  c.rect(5, 8, 15, 18, Rgb{240, 220, 120}, 17, 0.2);
  c.line(3, 6, 10, 0, 2, Rgb{60, 60, 65});
  c.line(17, 6, 10, 0, 2, Rgb{60, 60, 65});
  return c.pic;
}

Bitmap32 sword() {
  Canvas c(40, 40);
  c.line(10, 30, 36, 4, 3, Rgb{190, 195, 205});
  c.line(11, 29, 35, 5, 1, Rgb{230, 232, 236});
  c.line(5, 25, 15, 35, 3, Rgb{160, 130, 40});
  c.line(3, 37, 9, 31, 3, Rgb{90, 55, 30});
  return c.pic;
}

Bitmap32 shield() {
  Canvas c(34, 40);
  c.fill(
      [](double x, double y) {
        return y < 22 ? std::abs(x - 17) < 15 && y > 2
                      : std::abs(x - 17) < 15 * (1 - (y - 22) / 17);
      },
      [](double x, double y) {
        if (std::abs(x - 17) < 2 || std::abs(y - 16) < 2) return Rgb{200, 170, 60};
        return Rgb{40, 70, 150} * (1.1 - 0.4 * (x / 34) + 0.1 * (noise(x, y, 3, 19) - 0.5));
      });
  return c.pic;
}

Bitmap32 coin() {
  Canvas c(12, 10);
  c.ball(6, 5, 5, 3.5, Rgb{230, 190, 50}, 20);
  return c.pic;
}

Bitmap32 apple() {
  Canvas c(14, 16);
  c.ball(7, 9, 6, 6, Rgb{200, 30, 30}, 21, 0.1);
  c.line(7, 4, 8, 1, 1.2, Rgb{90, 60, 20});
  c.ball(10, 2, 2, 1, Rgb{60, 140, 40});
  return c.pic;
}

Bitmap32 bread() {
  Canvas c(24, 14);
  c.ball(12, 8, 11, 5, Rgb{190, 130, 60}, 22, 0.3);
  for (double x : {7.0, 12.0, 17.0}) c.line(x - 1, 5, x + 1, 9, 1, Rgb{230, 190, 120});
  return c.pic;
}

Bitmap32 bottle() {
  Canvas c(12, 26);
  // Grey glass: the partial hue colours it, the cork keeps its brown.
  c.ball(6, 18, 5, 7, Rgb{150, 150, 150}, 0, 0);
  c.rect(4, 5, 8, 12, Rgb{150, 150, 150}, 0, 0);
  c.rect(4, 1, 8, 5, Rgb{140, 100, 50});
  c.rect(3, 14, 5, 20, Rgb{220, 220, 220}, 0, 0);
  return c.pic;
}

Bitmap32 boulder() {
  Canvas c(40, 30);
  c.ball(20, 17, 18, 12, Rgb{120, 118, 112}, 24, 0.4);
  return c.pic;
}

Bitmap32 flowers() {
  Canvas c(30, 30);
  for (int i = 0; i < 6; ++i) {
    const double x = 4 + 22 * hash(i, 5, 25), top = 6 + 10 * hash(i, 6, 25);
    c.line(x, top, x + 2 * (hash(i, 7, 25) - 0.5), 29, 1.2, Rgb{50, 120, 40});
    // Grey petals take the hue; the yellow middles do not.
    c.ball(x, top, 3.5, 3, Rgb{200, 200, 200}, 0, 0);
    c.ball(x, top, 1.2, 1.2, Rgb{230, 200, 40});
  }
  return c.pic;
}

Bitmap32 fence() {
  Canvas c(44, 50);
  for (double x : {2.0, 21.0, 40.0}) {
    const double base = 27 + std::abs(x - 22) / 2 - 0;
    c.rect(x - 1.5, base - 24, x + 1.5, base, Rgb{110, 70, 35}, 26, 0.3);
  }
  c.line(2, 13, 21, 3 + 0, 2, Rgb{140, 95, 45});
  c.line(21, 3, 40, 13, 2, Rgb{140, 95, 45});
  c.line(2, 21, 21, 11, 2, Rgb{140, 95, 45});
  c.line(21, 11, 40, 21, 2, Rgb{140, 95, 45});
  return c.pic;
}

Bitmap32 campfire() {
  Canvas c(36, 34);
  c.line(4, 30, 30, 24, 4, Rgb{90, 55, 25});
  c.line(6, 24, 32, 30, 4, Rgb{110, 70, 30});
  for (int i = 0; i < 5; ++i)
    c.ball(10 + 4 * i, 18 - 4 * hash(i, 8, 29), 4, 9 - hash(i, 9, 29) * 3,
           mix(Rgb{240, 90, 20}, Rgb{240, 200, 40}, hash(i, 10, 29)), 29 + i, 0.5);
  c.ball(18, 20, 3, 5, Rgb{240, 235, 150});
  return c.pic;
}

Bitmap32 well() {
  Canvas c(44, 70);
  c.rect(6, 14, 9, 50, Rgb{90, 60, 30});
  c.rect(35, 14, 38, 50, Rgb{90, 60, 30});
  c.fill([](double x, double y) { return y < 18 && y > 2 && std::abs(x - 22) < 20 - (18 - y); },
         [](double x, double y) {
           return (std::fmod(y + x * 0.3, 4) < 1 ? Rgb{70, 35, 20} : Rgb{150, 70, 40});
         });
  c.fill(
      [](double x, double y) { return std::abs(x - 22) < 18 && y > 44 && y < 66; },
      [](double x, double y) { return stoneFace(x, y, 30) * (1.1 - 0.3 * std::abs(x - 22) / 18); });
  c.ball(22, 45, 18, 5, Rgb{30, 40, 60});
  c.line(8, 30, 36, 30, 2, Rgb{120, 80, 40});
  return c.pic;
}

Bitmap32 sign() {
  Canvas c(30, 50);
  c.rect(4, 4, 7, 49, Rgb{90, 60, 30});
  c.rect(7, 6, 29, 9, Rgb{90, 60, 30});
  c.rect(9, 12, 29, 28, Rgb{160, 110, 55}, 31, 0.4);
  c.rect(9, 12, 29, 13, Rgb{100, 65, 30});
  c.line(12, 20, 26, 20, 1.5, Rgb{60, 35, 15});
  c.line(12, 24, 22, 24, 1.5, Rgb{60, 35, 15});
  c.line(11, 9, 11, 12, 1, Rgb{60, 60, 60});
  c.line(27, 9, 27, 12, 1, Rgb{60, 60, 60});
  return c.pic;
}

std::vector<std::pair<std::int64_t, Bitmap32>> statics() {
  auto stone = [](int seed) {
    return [seed](double x, double y) { return stoneFace(x, y, seed); };
  };
  auto planks = [](int seed) {
    return [seed](double x, double y) { return plankFace(x, y, seed); };
  };
  return {
      {0x01, tree(false, 1)},
      {0x02, tree(true, 2)},
      {0x03, bush(3)},
      {0x04, wall(true, 60, stone(4))},
      {0x05, wall(false, 60, stone(5))},
      {0x06, wall(true, 60, planks(6))},
      {0x07, wall(false, 60, planks(7))},
      {0x08, door()},
      {0x09, woodenFloor()},
      {0x0A, stoneFloor()},
      {0x0B, stairs()},
      {0x0C, table()},
      {0x0D, chair()},
      {0x0E, barrel()},
      {0x0F, chest()},
      {0x10, torch()},
      {0x11, lampPost()},
      {0x12, sword()},
      {0x13, shield()},
      {0x14, coin()},
      {0x15, apple()},
      {0x16, bread()},
      {0x17, bottle()},
      {0x18, boulder()},
      {0x19, flowers()},
      {0x1A, fence()},
      {0x1B, windowWall()},
      {0x1C, roof()},
      {0x1D, campfire()},
      {0x1E, well()},
      {0x1F, sign()},
      {0x20, redCarpet()},
  };
}

}  // namespace

void writeArt(const std::string& dir) {
  ByteWriter index((kLandTileCount + kSampleStaticSlots) * kIndexRecordSize);
  ByteWriter data;
  std::vector<IndexRecord> records(static_cast<std::size_t>(kLandTileCount + kSampleStaticSlots),
                                   IndexRecord{-1, -1, 0});
  auto add = [&](std::int64_t record, const Bytes& bytes) {
    records[static_cast<std::size_t>(record)] = {static_cast<std::int32_t>(data.size()),
                                                 static_cast<std::int32_t>(bytes.size()), 0};
    data.bytes(bytes);
  };
  const auto land = landTiles();
  for (std::size_t t = 0; t < land.size(); ++t)
    add(static_cast<std::int64_t>(t), encodeLandTile(land[t]));
  for (const auto& [id, picture] : statics()) add(kStaticBase + id, encodeStaticArt(picture));
  for (const auto& r : records) {
    index.i32(r.lookup);
    index.i32(r.length);
    index.i32(r.extra);
  }
  AtomicFile idx(joinPath(dir, "artidx.mul"));
  AtomicFile mul(joinPath(dir, "art.mul"));
  idx.write(index.data());
  mul.write(data.data());
  commitAll({&idx, &mul});
}

}  // namespace quillotide::sample
