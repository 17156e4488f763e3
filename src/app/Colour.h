#pragma once
// The game's 16-bit colours and the program's 32-bit pictures. Conversions are exact bit
// operations: no rounding, gamma or dithering.

#include <cstdint>
#include <vector>

namespace quillotide {

// Bits 10-14 red, 5-9 green, 0-4 blue; bit 15 is ignored on reading and written as 0.
using Colour16 = std::uint16_t;
// 0xAARRGGBB.
using Pixel = std::uint32_t;

constexpr Pixel makePixel(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a = 255) {
  return (static_cast<Pixel>(a) << 24) | (static_cast<Pixel>(r) << 16) |
         (static_cast<Pixel>(g) << 8) | b;
}
constexpr std::uint8_t redOf(Pixel p) { return static_cast<std::uint8_t>((p >> 16) & 255); }
constexpr std::uint8_t greenOf(Pixel p) { return static_cast<std::uint8_t>((p >> 8) & 255); }
constexpr std::uint8_t blueOf(Pixel p) { return static_cast<std::uint8_t>(p & 255); }
constexpr std::uint8_t alphaOf(Pixel p) { return static_cast<std::uint8_t>(p >> 24); }

constexpr Pixel colour16ToPixel(Colour16 c) {
  return makePixel(static_cast<std::uint8_t>(((c >> 10) & 31) << 3),
                   static_cast<std::uint8_t>(((c >> 5) & 31) << 3),
                   static_cast<std::uint8_t>((c & 31) << 3));
}
constexpr Colour16 rgbToColour16(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return static_cast<Colour16>(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
}
constexpr Colour16 pixelToColour16(Pixel p) { return rgbToColour16(redOf(p), greenOf(p), blueOf(p)); }
// The same for a format whose transparent colour is `transparent`: a fully transparent pixel
// (alpha 0, as a transparent layer of a PNG gives it) becomes that colour, whatever its channels.
constexpr Colour16 pixelToColour16(Pixel p, Colour16 transparent) {
  return alphaOf(p) == 0 ? transparent : pixelToColour16(p);
}

// The smallest power of two >= n (n >= 1).
constexpr std::uint32_t nextPowerOfTwo(std::uint32_t n) {
  std::uint32_t p = 1;
  while (p < n) p <<= 1;
  return p;
}

// The program's picture. Pixels produced from game data carry alpha 255.
struct Bitmap32 {
  int width = 0;
  int height = 0;
  std::vector<Pixel> pixels;  // row by row, top row first

  Bitmap32() = default;
  Bitmap32(int w, int h, Pixel fill = 0)
      : width(w), height(h), pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), fill) {}

  bool empty() const { return width <= 0 || height <= 0; }
  Pixel& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)]; }
  Pixel at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)]; }
  bool operator==(const Bitmap32&) const = default;
};

}  // namespace quillotide
