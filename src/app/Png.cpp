#include "app/Png.h"

#include <png.h>

#include <cstring>

#include "app/Bmp.h"
#include "app/FileIO.h"

namespace quillotide {

namespace {

[[noreturn]] void bad(const std::string& what) { throw FormatError("PNG: " + what); }

// Frees libpng's reader state on every path out, including exceptions.
struct ImageGuard {
  png_image* image;
  ~ImageGuard() { png_image_free(image); }
};

}  // namespace

Bitmap32 decodePng(std::span<const std::uint8_t> bytes) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  ImageGuard guard{&image};
  if (bytes.empty()) bad("the file is empty");
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) bad(image.message);
  if (image.width == 0 || image.height == 0 || image.width > kMaxBitmapSide ||
      image.height > kMaxBitmapSide)
    bad("the size " + std::to_string(image.width) + " x " + std::to_string(image.height) +
        " is outside 1 .. " + std::to_string(kMaxBitmapSide));
  // BGRA bytes in memory are 0xAARRGGBB pixels on a little-endian machine; build them explicitly
  // so the result does not depend on byte order.
  image.format = PNG_FORMAT_BGRA;
  const std::size_t width = image.width;
  const std::size_t height = image.height;
  std::vector<std::uint8_t> buffer(width * height * 4);
  if (!png_image_finish_read(&image, nullptr, buffer.data(), 0, nullptr)) bad(image.message);
  Bitmap32 out(static_cast<int>(width), static_cast<int>(height));
  for (std::size_t i = 0; i < out.pixels.size(); ++i) {
    const std::uint8_t* p = buffer.data() + 4 * i;
    out.pixels[i] = makePixel(p[2], p[1], p[0], p[3]);
  }
  return out;
}

Bitmap32 readPngFile(const std::string& path) {
  const Bytes bytes = readFile(path);
  try {
    return decodePng(bytes);
  } catch (const FormatError& e) {
    throw FormatError(path + ": " + e.what());
  }
}

Bytes encodePng(const Bitmap32& bitmap) {
  if (bitmap.empty()) throw Error("An empty picture cannot be written as a PNG.");
  std::vector<std::uint8_t> rgba(bitmap.pixels.size() * 4);
  for (std::size_t i = 0; i < bitmap.pixels.size(); ++i) {
    const Pixel p = bitmap.pixels[i];
    rgba[4 * i] = redOf(p);
    rgba[4 * i + 1] = greenOf(p);
    rgba[4 * i + 2] = blueOf(p);
    rgba[4 * i + 3] = alphaOf(p);
  }
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(bitmap.width);
  image.height = static_cast<png_uint_32>(bitmap.height);
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr))
    throw Error(std::string("PNG: ") + image.message);
  Bytes out(size);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr))
    throw Error(std::string("PNG: ") + image.message);
  out.resize(size);
  return out;
}

void writePngFile(const std::string& path, const Bitmap32& bitmap) {
  writeFileAtomic(path, encodePng(bitmap));
}

}  // namespace quillotide
