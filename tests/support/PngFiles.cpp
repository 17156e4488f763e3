#include "support/PngFiles.h"

#include <png.h>

#include <cstring>
#include <stdexcept>
#include <vector>

namespace quillotide::test {

namespace {

void append(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void flush(png_structp) {}

}  // namespace

Bytes png16(int width, int height, Rgba16 colour, bool alpha, PngColourChunk chunk) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  const std::size_t channels = alpha ? 4 : 3;
  std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * channels * 2);
  for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x) {
    const std::uint16_t values[] = {colour.red, colour.green, colour.blue, colour.alpha};
    for (std::size_t c = 0; c < channels; ++c) {
      // PNG stores 16-bit samples big-endian.
      row[(x * channels + c) * 2] = static_cast<std::uint8_t>(values[c] >> 8);
      row[(x * channels + c) * 2 + 1] = static_cast<std::uint8_t>(values[c]);
    }
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("libpng could not write the test picture");
  }
  png_set_write_fn(png, &out, append, flush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 16,
               alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  switch (chunk) {
    case PngColourChunk::None:
      break;
    case PngColourChunk::Srgb:
      png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
      break;
    case PngColourChunk::Gamma22:
      png_set_gAMA_fixed(png, info, 45455);
      break;
    case PngColourChunk::Linear:
      png_set_gAMA_fixed(png, info, 100000);
      break;
  }
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) png_write_row(png, row.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

}  // namespace quillotide::test
