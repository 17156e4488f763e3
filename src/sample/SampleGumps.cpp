// The sample gumpidx.mul / gumpart.mul: 0x1000 records with a paperdoll background, two window
// backgrounds (parchment and stone), the OK and Cancel buttons in their normal and pressed states,
// a check box in both states and a pair of arrow buttons. Black (colour 0) is the transparent
// colour of the game, so shapes that are not rectangles leave their corners black.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>

#include "app/Colour.h"
#include "app/FileIO.h"
#include "models/Gump.h"
#include "sample/Sample.h"

namespace quillotide::sample {

namespace {

constexpr std::int64_t kGumpRecords = 0x1000;

std::uint32_t hash(int x, int y, std::uint32_t seed) {
  std::uint32_t h = static_cast<std::uint32_t>(x) * 0x8DA6B343u ^
                    static_cast<std::uint32_t>(y) * 0xD8163841u ^ seed * 0xCB1AB31Fu;
  h ^= h >> 13;
  h *= 0x5BD1E995u;
  h ^= h >> 15;
  return h;
}

Pixel shade(int r, int g, int b, double f) {
  auto c = [&](int v) {
    return static_cast<std::uint8_t>(std::clamp(static_cast<int>(v * f), 8, 255));
  };
  return makePixel(c(r), c(g), c(b));
}

void fillRect(Bitmap32& p, int x0, int y0, int w, int h, Pixel c) {
  for (int y = std::max(0, y0); y < std::min(p.height, y0 + h); ++y)
    for (int x = std::max(0, x0); x < std::min(p.width, x0 + w); ++x) p.at(x, y) = c;
}

void fillEllipse(Bitmap32& p, double cx, double cy, double rx, double ry, Pixel c) {
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      const double dx = (x + 0.5 - cx) / rx, dy = (y + 0.5 - cy) / ry;
      if (dx * dx + dy * dy <= 1.0) p.at(x, y) = c;
    }
}

// A 5 x 7 font for the few letters the buttons need.
struct Glyph {
  char letter;
  const char* rows[7];
};
constexpr Glyph kFont[] = {
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'K', {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"}},
    {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'N', {"#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'Y', {"#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."}},
};

void drawText(Bitmap32& p, std::string_view text, int x0, int y0, Pixel c) {
  int x = x0;
  for (const char ch : text) {
    for (const auto& g : kFont) {
      if (g.letter != ch) continue;
      for (int y = 0; y < 7; ++y)
        for (int k = 0; k < 5; ++k)
          if (g.rows[y][k] == '#' && x + k < p.width && y0 + y < p.height) p.at(x + k, y0 + y) = c;
    }
    x += 6;
  }
}

// Parchment with a darker frame; `seed` varies the fibres.
Bitmap32 parchment(int w, int h, std::uint32_t seed) {
  Bitmap32 p(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double fibre = ((hash(x / 3, y, seed) & 0xFF) / 255.0) * 0.08;
      const int edge = std::min({x, y, w - 1 - x, h - 1 - y});
      const double f = edge < 3 ? 0.45 : edge < 8 ? 0.75 + 0.03 * edge : 0.95 + fibre;
      p.at(x, y) = shade(232, 214, 170, f);
    }
  return p;
}

Bitmap32 stone(int w, int h) {
  Bitmap32 p(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      // Blocks of 40 x 20 in a running bond, mortar between them.
      const int row = y / 20;
      const int bx = (x + (row % 2) * 20) / 40;
      const bool mortar = y % 20 == 0 || (x + (row % 2) * 20) % 40 == 0;
      const double grain = (hash(x, y, 9) & 0xFF) / 255.0;
      const double block = (hash(bx, row, 5) & 0xFF) / 255.0;
      const int edge = std::min({x, y, w - 1 - x, h - 1 - y});
      if (edge < 4)
        p.at(x, y) = shade(70, 66, 60, 0.8 + 0.05 * edge);
      else if (mortar)
        p.at(x, y) = shade(60, 58, 55, 1.0);
      else
        p.at(x, y) = shade(128, 124, 116, 0.75 + 0.2 * block + 0.1 * grain);
    }
  return p;
}

Bitmap32 button(int w, int h, std::string_view label, bool pressed) {
  Bitmap32 p(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool light = (x == 0 || y == 0) != pressed;
      const bool dark = (x == w - 1 || y == h - 1) != pressed;
      const bool rim = x == 0 || y == 0 || x == w - 1 || y == h - 1;
      const double f = rim ? (light ? 1.2 : dark ? 0.5 : 1.0) : (pressed ? 0.8 : 1.0) - 0.01 * y;
      p.at(x, y) = shade(150, 120, 70, f);
    }
  const int textWidth = static_cast<int>(label.size()) * 6 - 1;
  const int off = pressed ? 1 : 0;
  drawText(p, label, (w - textWidth) / 2 + off, (h - 7) / 2 + off, makePixel(40, 24, 8));
  return p;
}

Bitmap32 checkBox(bool checked) {
  Bitmap32 p = button(19, 20, "", false);
  fillRect(p, 3, 3, 13, 14, shade(232, 214, 170, 0.95));
  if (checked) {
    const Pixel tick = makePixel(24, 96, 24);
    for (int k = 0; k < 4; ++k) fillRect(p, 4 + k, 9 + k, 2, 2, tick);
    for (int k = 0; k < 7; ++k) fillRect(p, 7 + k, 12 - k, 2, 2, tick);
  }
  return p;
}

Bitmap32 arrowButton(bool right) {
  Bitmap32 p = button(30, 22, "", false);
  for (int y = 0; y < 12; ++y) {
    const int half = y < 6 ? y : 11 - y;
    for (int k = 0; k <= half; ++k) {
      const int x = right ? 10 + k : 19 - k;
      p.at(x, 5 + y) = makePixel(40, 24, 8);
    }
  }
  return p;
}

// A paperdoll background: a framed parchment panel with the grey outline of a figure.
Bitmap32 paperdoll() {
  Bitmap32 p = parchment(262, 324, 77);
  const Pixel body = makePixel(136, 128, 120);
  fillEllipse(p, 131, 58, 18, 22, body);  // head
  fillRect(p, 124, 78, 14, 10, body);     // neck
  fillRect(p, 98, 88, 66, 96, body);      // chest
  fillRect(p, 78, 92, 18, 86, body);      // arms
  fillRect(p, 166, 92, 18, 86, body);
  fillEllipse(p, 87, 184, 10, 10, body);  // hands
  fillEllipse(p, 175, 184, 10, 10, body);
  fillRect(p, 102, 184, 26, 104, body);  // legs
  fillRect(p, 134, 184, 26, 104, body);
  fillRect(p, 96, 288, 34, 10, body);  // feet
  fillRect(p, 132, 288, 34, 10, body);
  // Round the panel's corners with the transparent colour.
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x)
      if ((12 - x) * (12 - x) + (12 - y) * (12 - y) > 144) {
        p.at(x, y) = p.at(261 - x, y) = p.at(x, 323 - y) = p.at(261 - x, 323 - y) = 0;
      }
  return p;
}

}  // namespace

void writeGumps(const std::string& dir) {
  struct Piece {
    std::int64_t id;
    Bitmap32 picture;
  };
  const Piece pieces[] = {
      {0x0064, parchment(300, 200, 1)},
      {0x00D2, checkBox(false)},
      {0x00D3, checkBox(true)},
      {0x00F1, button(63, 22, "CANCEL", false)},
      {0x00F2, button(63, 22, "CANCEL", true)},
      {0x00F7, button(60, 22, "OKAY", false)},
      {0x00F8, button(60, 22, "OKAY", true)},
      {0x07D0, paperdoll()},
      {0x0A28, stone(320, 240)},
      {0x0FA5, arrowButton(true)},
      {0x0FA7, arrowButton(false)},
  };
  ByteWriter index(kGumpRecords * 12);
  for (std::int64_t i = 0; i < kGumpRecords; ++i) {
    index.i32(-1);
    index.i32(-1);
    index.i32(-1);
  }
  ByteWriter data;
  for (const auto& piece : pieces) {
    const Bytes bytes = encodeGump(piece.picture);
    const auto at = static_cast<std::size_t>(piece.id) * 12;
    index.patchU32(at, static_cast<std::uint32_t>(data.size()));
    index.patchU32(at + 4, static_cast<std::uint32_t>(bytes.size()));
    index.patchU32(
        at + 8, static_cast<std::uint32_t>(gumpExtra(piece.picture.width, piece.picture.height)));
    data.bytes(bytes);
  }
  AtomicFile idx(joinPath(dir, "gumpidx.mul"));
  AtomicFile mul(joinPath(dir, "gumpart.mul"));
  idx.write(index.data());
  mul.write(data.data());
  commitAll({&idx, &mul});
}

}  // namespace quillotide::sample
