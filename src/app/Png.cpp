#include "app/Png.h"

#include <png.h>
#ifdef QUILLOTIDE_FUZZ_BUILD
#include <zlib.h>
#endif

#include <algorithm>
#include <cstring>

#include "app/Bmp.h"
#include "app/FileIO.h"

namespace quillotide {

namespace {

namespace PngLayout {
constexpr std::size_t kSignatureSize = 8;
constexpr std::size_t kChunkHeadSize = 8;  // big-endian u32 length, 4-byte type
constexpr std::size_t kChunkCrcSize = 4;
// IHDR is the first chunk: width, height (u32 each), then bit depth and colour type.
constexpr std::size_t kBitDepthAt = kSignatureSize + kChunkHeadSize + 8;
constexpr std::size_t kColourTypeAt = kBitDepthAt + 1;
// Deflate turns one byte of compressed data into at most 1032 bytes (runs of 258 bytes in two
// bits each); a few bytes of allowance cover the zlib header and its checksum.
constexpr std::uint64_t kMaxInflateRatio = 1032;
constexpr std::uint64_t kStreamAllowance = 16;
}  // namespace PngLayout

[[noreturn]] void bad(const std::string& what) { throw FormatError("PNG: " + what); }

std::uint32_t loadU32BigEndian(const std::uint8_t* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
         (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
}

bool isChunk(const std::uint8_t* head, const char* type) {
  return std::memcmp(head + 4, type, 4) == 0;
}

// The bytes of compressed picture data the file really holds: the IDAT chunks as far as the file
// goes.
std::uint64_t compressedBytes(std::span<const std::uint8_t> bytes) {
  using namespace PngLayout;
  std::uint64_t total = 0;
  std::uint64_t at = kSignatureSize;
  while (at + kChunkHeadSize <= bytes.size()) {
    const std::uint8_t* head = bytes.data() + at;
    const std::uint64_t length = loadU32BigEndian(head);
    const std::uint64_t left = bytes.size() - at - kChunkHeadSize;
    if (isChunk(head, "IDAT")) total += std::min(length, left);
    if (isChunk(head, "IEND")) break;
    at += kChunkHeadSize + length + kChunkCrcSize;
  }
  return total;
}

// Bits per pixel of the stored colour type and depth; 0 for a type libpng refuses anyway.
std::uint64_t storedBitsPerPixel(std::span<const std::uint8_t> bytes) {
  using namespace PngLayout;
  if (bytes.size() <= kColourTypeAt) return 0;
  const std::uint64_t depth = bytes[kBitDepthAt];
  switch (bytes[kColourTypeAt]) {
    case 0:
      return depth;  // grey
    case 2:
      return 3 * depth;  // RGB
    case 3:
      return depth;  // palette
    case 4:
      return 2 * depth;  // grey and alpha
    case 6:
      return 4 * depth;  // RGBA
    default:
      return 0;
  }
}

#ifdef QUILLOTIDE_FUZZ_BUILD
// Mutated inputs would otherwise all stop at a broken chunk checksum; the fuzz build mends every
// checksum so that the chunks' contents reach the decoder.
Bytes withMendedChecksums(std::span<const std::uint8_t> bytes) {
  using namespace PngLayout;
  Bytes copy(bytes.begin(), bytes.end());
  std::uint64_t at = kSignatureSize;
  while (at + kChunkHeadSize <= copy.size()) {
    const std::uint64_t length = loadU32BigEndian(copy.data() + at);
    const std::uint64_t crcAt = at + kChunkHeadSize + length;
    if (crcAt + kChunkCrcSize > copy.size()) break;
    const auto crc =
        static_cast<std::uint32_t>(crc32(0, copy.data() + at + 4, static_cast<uInt>(length + 4)));
    for (std::size_t i = 0; i < 4; ++i)
      copy[static_cast<std::size_t>(crcAt) + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
    at = crcAt + kChunkCrcSize;
  }
  return copy;
}
#endif

// Frees libpng's reader state on every path out, including exceptions.
struct ImageGuard {
  png_image* image;
  ~ImageGuard() { png_image_free(image); }
};

}  // namespace

Bitmap32 decodePng(std::span<const std::uint8_t> bytes) {
#ifdef QUILLOTIDE_FUZZ_BUILD
  const Bytes mended = withMendedChecksums(bytes);
  bytes = mended;
#endif
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
  const std::uint64_t pixels = std::uint64_t{image.width} * image.height;
  if (pixels > kMaxBitmapPixels)
    bad("the size " + std::to_string(image.width) + " x " + std::to_string(image.height) +
        " is larger than a picture may be (" + std::to_string(kMaxBitmapPixels) + " pixels)");
  // Checked before anything is allocated: a few bytes of deflate data cannot fill a huge picture.
  const std::uint64_t compressed = compressedBytes(bytes);
  const std::uint64_t rawBytes = (pixels * storedBitsPerPixel(bytes) + 7) / 8;
  if (rawBytes > (compressed + PngLayout::kStreamAllowance) * PngLayout::kMaxInflateRatio)
    bad("the size " + std::to_string(image.width) + " x " + std::to_string(image.height) +
        " is far larger than its " + std::to_string(compressed) +
        " bytes of compressed picture data can hold");
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
