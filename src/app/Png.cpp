#include "app/Png.h"

#include <png.h>
#ifdef QUILLOTIDE_FUZZ_BUILD
#include <zlib.h>
#endif

#include <algorithm>
#include <csetjmp>
#include <cstdio>
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

// libpng's reader state, freed on every path out, including exceptions. libpng reports errors by
// a long jump back into the function that called it; the functions below that set the jump point
// hold no object with a destructor, and the message waits here until they return.
struct PngReader {
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::span<const std::uint8_t> bytes;
  std::size_t at = 0;
  char message[200] = {};
  ~PngReader() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

void onError(png_structp png, png_const_charp message) {
  auto* reader = static_cast<PngReader*>(png_get_error_ptr(png));
  std::snprintf(reader->message, sizeof reader->message, "%s", message);
  png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

void readFromMemory(png_structp png, png_bytep out, png_size_t length) {
  auto* reader = static_cast<PngReader*>(png_get_io_ptr(png));
  if (length > reader->bytes.size() - reader->at) png_error(png, "the file ends early");
  std::memcpy(out, reader->bytes.data() + reader->at, length);
  reader->at += length;
}

struct PngHeader {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int bitDepth = 0;
  int colourType = 0;
};

// Reads the chunks before the picture data and asks for 8-bit BGRA rows of the stored values:
// 16-bit channels scaled to 8 bits, no gamma or colour-space conversion whatever chunks the file
// has (a picture's numbers are the game's colours, not light to be reproduced). False with the
// reader's message on a damaged file.
bool readHeader(PngReader& r, PngHeader& h) {
  if (setjmp(png_jmpbuf(r.png))) return false;
  png_read_info(r.png, r.info);
  png_get_IHDR(r.png, r.info, &h.width, &h.height, &h.bitDepth, &h.colourType, nullptr, nullptr,
               nullptr);
  if (h.colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(r.png);
  if (h.colourType == PNG_COLOR_TYPE_GRAY && h.bitDepth < 8) png_set_expand_gray_1_2_4_to_8(r.png);
  if (png_get_valid(r.png, r.info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(r.png);
  if (h.bitDepth == 16) png_set_scale_16(r.png);
  if (h.colourType == PNG_COLOR_TYPE_GRAY || h.colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
    png_set_gray_to_rgb(r.png);
  png_set_bgr(r.png);
  png_set_add_alpha(r.png, 0xFF, PNG_FILLER_AFTER);  // only where the file has no alpha
  png_set_interlace_handling(r.png);
  png_read_update_info(r.png, r.info);
  if (png_get_rowbytes(r.png, r.info) != std::size_t{h.width} * 4) {
    std::snprintf(r.message, sizeof r.message, "unexpected row layout");
    return false;
  }
  return true;
}

bool readRows(PngReader& r, png_bytepp rows) {
  if (setjmp(png_jmpbuf(r.png))) return false;
  png_read_image(r.png, rows);
  png_read_end(r.png, nullptr);
  return true;
}

}  // namespace

Bitmap32 decodePng(std::span<const std::uint8_t> bytes) {
#ifdef QUILLOTIDE_FUZZ_BUILD
  const Bytes mended = withMendedChecksums(bytes);
  bytes = mended;
#endif
  if (bytes.empty()) bad("the file is empty");
  if (bytes.size() < PngLayout::kSignatureSize || png_sig_cmp(bytes.data(), 0, 8) != 0)
    bad("not a PNG file (no PNG signature)");
  PngReader r;
  r.bytes = bytes;
  r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r, onError, onWarning);
  if (!r.png) bad("out of memory");
  r.info = png_create_info_struct(r.png);
  if (!r.info) bad("out of memory");
  png_set_read_fn(r.png, &r, readFromMemory);
  PngHeader h;
  if (!readHeader(r, h)) bad(r.message);
  if (h.width == 0 || h.height == 0 || h.width > kMaxBitmapSide || h.height > kMaxBitmapSide)
    bad("the size " + std::to_string(h.width) + " x " + std::to_string(h.height) +
        " is outside 1 .. " + std::to_string(kMaxBitmapSide));
  const std::uint64_t pixels = std::uint64_t{h.width} * h.height;
  if (pixels > kMaxBitmapPixels)
    bad("the size " + std::to_string(h.width) + " x " + std::to_string(h.height) +
        " is larger than a picture may be (" + std::to_string(kMaxBitmapPixels) + " pixels)");
  // Checked before anything is allocated: a few bytes of deflate data cannot fill a huge picture.
  const std::uint64_t compressed = compressedBytes(bytes);
  const std::uint64_t rawBytes = (pixels * storedBitsPerPixel(bytes) + 7) / 8;
  if (rawBytes > (compressed + PngLayout::kStreamAllowance) * PngLayout::kMaxInflateRatio)
    bad("the size " + std::to_string(h.width) + " x " + std::to_string(h.height) +
        " is far larger than its " + std::to_string(compressed) +
        " bytes of compressed picture data can hold");
  const std::size_t width = h.width;
  const std::size_t height = h.height;
  std::vector<std::uint8_t> buffer(width * height * 4);
  std::vector<png_bytep> rows(height);
  for (std::size_t y = 0; y < height; ++y) rows[y] = buffer.data() + y * width * 4;
  if (!readRows(r, rows.data())) bad(r.message);
  // BGRA bytes; the pixels are built explicitly so the result does not depend on byte order.
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

Bytes encodeOneBitPng(const Bitmap32& bitmap) {
  if (bitmap.empty()) throw Error("An empty picture cannot be written as a PNG.");
  // A palette of two entries is written one bit a pixel: 0 the ink, 1 the transparent ground.
  const std::uint8_t palette[8] = {0, 0, 0, 255, 255, 255, 255, 0};
  std::vector<std::uint8_t> indices(bitmap.pixels.size());
  for (std::size_t i = 0; i < bitmap.pixels.size(); ++i) {
    const Pixel p = bitmap.pixels[i];
    const bool ink = alphaOf(p) >= 128 && redOf(p) + greenOf(p) + blueOf(p) < 3 * 128;
    indices[i] = ink ? 0 : 1;
  }
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(bitmap.width);
  image.height = static_cast<png_uint_32>(bitmap.height);
  image.format = PNG_FORMAT_RGBA_COLORMAP;
  image.colormap_entries = 2;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, indices.data(), 0, palette))
    throw Error(std::string("PNG: ") + image.message);
  Bytes out(size);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, indices.data(), 0, palette))
    throw Error(std::string("PNG: ") + image.message);
  out.resize(size);
  return out;
}

void writePngFile(const std::string& path, const Bitmap32& bitmap) {
  writeFileAtomic(path, encodePng(bitmap));
}

}  // namespace quillotide
