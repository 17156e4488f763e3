#pragma once
// PNG files written with libpng itself rather than the program's writer: 16-bit channels and the
// colour-space chunks other painting programs add, so the reader is tried on what it will meet.

#include <cstdint>

#include "app/Bytes.h"

namespace quillotide::test {

// The chunk that says how the stored numbers relate to light.
enum class PngColourChunk {
  None,     // nothing: a reader must not guess
  Srgb,     // sRGB
  Gamma22,  // gAMA 1/2.2, as many programs write
  Linear,   // gAMA 1.0: the numbers claim to be linear light
};

struct Rgba16 {
  std::uint16_t red, green, blue, alpha = 0xFFFF;
};

// A width x height picture of one colour, 16 bits per channel; RGBA when `alpha`, else RGB.
Bytes png16(int width, int height, Rgba16 colour, bool alpha, PngColourChunk chunk);

}  // namespace quillotide::test
