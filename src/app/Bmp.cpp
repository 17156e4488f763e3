#include "app/Bmp.h"

#include <algorithm>
#include <bit>
#include <vector>

#include "app/FileIO.h"
#include "app/Png.h"

namespace quillotide {

namespace BmpLayout {
constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kCoreHeaderSize = 12;  // OS/2 1.x: 16-bit sizes, 3-byte palette entries
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kMasksOffset = 40;     // V2 and later carry the masks inside the header
constexpr std::size_t kMaxHeaderSize = 124;  // V5
constexpr std::uint16_t kMagic = 0x4D42;     // "BM"

constexpr std::uint32_t kRgb = 0;
constexpr std::uint32_t kRle8 = 1;
constexpr std::uint32_t kRle4 = 2;
constexpr std::uint32_t kBitfields = 3;
constexpr std::uint32_t kJpeg = 4;
constexpr std::uint32_t kPng = 5;
constexpr std::uint32_t kAlphaBitfields = 6;
}  // namespace BmpLayout

namespace {

using namespace BmpLayout;

[[noreturn]] void bad(const std::string& what) { throw FormatError("Bitmap: " + what); }

// One colour channel given by a bit mask, widened or narrowed to 8 bits.
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  int bits = 0;

  explicit Channel(std::uint32_t m) : mask(m) {
    if (m == 0) return;
    shift = std::countr_zero(m);
    bits = 32 - std::countl_zero(m) - shift;
  }
  std::uint8_t value(std::uint32_t px) const {
    if (bits == 0) return 0;
    const std::uint32_t v = (px & mask) >> shift;
    if (bits >= 8) return static_cast<std::uint8_t>(v >> (bits - 8));
    // Narrow channels repeat their bits downwards (5-bit 7 -> 57), as bitmap readers do.
    std::uint32_t r = v << (8 - bits);
    for (int filled = bits; filled < 8; filled *= 2) r |= r >> filled;
    return static_cast<std::uint8_t>(r);
  }
};

struct Header {
  std::int64_t width = 0;
  std::int64_t height = 0;  // negative: rows stored top-down
  int bpp = 0;
  std::uint32_t compression = kRgb;
  std::uint32_t colorsUsed = 0;
  std::uint32_t masks[3] = {0, 0, 0};
  bool core = false;
  std::size_t headerSize = 0;
  std::size_t pixelOffset = 0;
};

Header readHeader(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kFileHeaderSize + 4) bad("the file is too short for a bitmap header");
  ByteReader r(bytes, "Bitmap");
  if (r.readU16() != kMagic) bad("the file does not start with \"BM\"");
  r.skip(8);
  Header h;
  h.pixelOffset = r.readU32();
  h.headerSize = r.readU32();
  if (h.headerSize != kCoreHeaderSize && (h.headerSize < 16 || h.headerSize > kMaxHeaderSize))
    bad("unknown header size " + std::to_string(h.headerSize));
  if (h.headerSize > bytes.size() - kFileHeaderSize) bad("the header is cut short");
  if (h.headerSize == kCoreHeaderSize) {
    h.core = true;
    h.width = r.readU16();
    h.height = r.readU16();
    r.skip(2);
    h.bpp = r.readU16();
    return h;
  }
  // Every field past the header's own size is taken as zero (OS/2 2.x headers may be short).
  std::uint8_t full[kMaxHeaderSize] = {};
  const auto given = r.readBytes(h.headerSize - 4);
  std::copy(given.begin(), given.end(), full + 4);
  h.width = static_cast<std::int32_t>(loadU32(full + 4));
  h.height = static_cast<std::int32_t>(loadU32(full + 8));
  h.bpp = loadU16(full + 14);
  h.compression = loadU32(full + 16);
  h.colorsUsed = loadU32(full + 32);
  if (h.compression == kBitfields || h.compression == kAlphaBitfields) {
    if (h.headerSize >= kMasksOffset + 12) {
      for (int i = 0; i < 3; ++i) h.masks[i] = loadU32(full + kMasksOffset + 4 * i);
    } else {
      // The masks follow a 40-byte header. Some writers leave them out and start the pixels
      // right after the header; the usual masks of the depth apply then.
      const std::size_t at = kFileHeaderSize + h.headerSize;
      if (h.pixelOffset >= at + 12) {
        ByteReader m(bytes, "Bitmap");
        m.seek(at);
        if (m.remaining() < 12) bad("the colour masks are cut short");
        for (auto& mask : h.masks) mask = m.readU32();
      }
    }
  }
  return h;
}

std::size_t rowStride(std::int64_t width, int bpp) {
  return static_cast<std::size_t>((width * bpp + 31) / 32 * 4);
}

std::vector<Pixel> readPalette(std::span<const std::uint8_t> bytes, const Header& h) {
  std::vector<Pixel> palette;
  if (h.bpp > 8) return palette;
  const std::size_t entrySize = h.core ? 3 : 4;
  std::size_t start = kFileHeaderSize + h.headerSize;
  if (!h.core && h.headerSize == kInfoHeaderSize &&
      (h.compression == kBitfields || h.compression == kAlphaBitfields))
    start += 12;
  std::size_t count = std::size_t{1} << h.bpp;
  if (h.colorsUsed != 0 && h.colorsUsed < count) count = h.colorsUsed;
  // A palette ends where the pixels begin, whatever the header claims.
  const std::size_t end = std::min(h.pixelOffset, bytes.size());
  if (start >= end) bad("the palette is missing");
  count = std::min(count, (end - start) / entrySize);
  if (count == 0) bad("the palette is missing");
  palette.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* p = bytes.data() + start + i * entrySize;
    palette.push_back(makePixel(p[2], p[1], p[0]));
  }
  return palette;
}

class PixelSink {
public:
  PixelSink(Bitmap32& bitmap, bool topDown) : m_bitmap(bitmap), m_topDown(topDown) {}
  // Row y counted in file order (the first stored row is 0).
  Pixel* row(std::int64_t y) {
    const std::int64_t shown = m_topDown ? y : m_bitmap.height - 1 - y;
    return m_bitmap.pixels.data() +
           static_cast<std::size_t>(shown) * static_cast<std::size_t>(m_bitmap.width);
  }

private:
  Bitmap32& m_bitmap;
  bool m_topDown;
};

Pixel paletteColour(const std::vector<Pixel>& palette, unsigned index) {
  if (index >= palette.size())
    bad("palette index " + std::to_string(index) + " is past the palette of " +
        std::to_string(palette.size()) + " colours");
  return palette[index];
}

void decodeUncompressed(std::span<const std::uint8_t> bytes, const Header& h, Bitmap32& out,
                        PixelSink& sink, const std::vector<Pixel>& palette) {
  const std::size_t stride = rowStride(h.width, h.bpp);
  const std::size_t rows = static_cast<std::size_t>(out.height);
  std::uint32_t defaultMasks[3];
  if (h.bpp == 16) {
    defaultMasks[0] = 0x7C00;
    defaultMasks[1] = 0x03E0;
    defaultMasks[2] = 0x001F;
  } else {
    defaultMasks[0] = 0xFF0000;
    defaultMasks[1] = 0x00FF00;
    defaultMasks[2] = 0x0000FF;
  }
  const bool fields = (h.compression == kBitfields || h.compression == kAlphaBitfields) &&
                      (h.masks[0] | h.masks[1] | h.masks[2]) != 0;
  const Channel red(fields ? h.masks[0] : defaultMasks[0]);
  const Channel green(fields ? h.masks[1] : defaultMasks[1]);
  const Channel blue(fields ? h.masks[2] : defaultMasks[2]);
  const std::size_t width = static_cast<std::size_t>(out.width);

  for (std::size_t y = 0; y < rows; ++y) {
    const std::uint8_t* src = bytes.data() + h.pixelOffset + y * stride;
    Pixel* dst = sink.row(static_cast<std::int64_t>(y));
    switch (h.bpp) {
      case 1:
      case 2:
      case 4:
      case 8: {
        const unsigned perByte = 8u / static_cast<unsigned>(h.bpp);
        const unsigned mask = (1u << h.bpp) - 1;
        for (std::size_t x = 0; x < width; ++x) {
          const unsigned shift =
              static_cast<unsigned>(h.bpp) * (perByte - 1 - static_cast<unsigned>(x % perByte));
          dst[x] = paletteColour(palette, (src[x / perByte] >> shift) & mask);
        }
        break;
      }
      case 16:
        for (std::size_t x = 0; x < width; ++x) {
          const std::uint32_t px = loadU16(src + 2 * x);
          dst[x] = makePixel(red.value(px), green.value(px), blue.value(px));
        }
        break;
      case 24:
        if (fields) {
          for (std::size_t x = 0; x < width; ++x) {
            const std::uint8_t* p = src + 3 * x;
            const std::uint32_t px =
                std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16);
            dst[x] = makePixel(red.value(px), green.value(px), blue.value(px));
          }
        } else {
          for (std::size_t x = 0; x < width; ++x) {
            const std::uint8_t* p = src + 3 * x;
            dst[x] = makePixel(p[2], p[1], p[0]);
          }
        }
        break;
      case 32:
        if (fields) {
          for (std::size_t x = 0; x < width; ++x) {
            const std::uint32_t px = loadU32(src + 4 * x);
            dst[x] = makePixel(red.value(px), green.value(px), blue.value(px));
          }
        } else {
          // Blue, green, red, unused: the little-endian word is the pixel once its top byte is
          // opaque, so a row is one pass of word loads.
          for (std::size_t x = 0; x < width; ++x) dst[x] = loadU32(src + 4 * x) | 0xFF000000u;
        }
        break;
      default:
        bad("unsupported depth of " + std::to_string(h.bpp) + " bits per pixel");
    }
  }
}

// BI_RLE8 and BI_RLE4: runs and absolute stretches, with end-of-line, end-of-bitmap and delta
// escapes. Pixels the stream never reaches stay black.
void decodeRle(std::span<const std::uint8_t> bytes, const Header& h, Bitmap32& out, PixelSink& sink,
               const std::vector<Pixel>& palette) {
  if (h.pixelOffset > bytes.size()) bad("the pixel data lies past the end of the file");
  const bool four = h.compression == kRle4;
  ByteReader r(bytes.subspan(h.pixelOffset), "Bitmap");
  std::int64_t x = 0;
  std::int64_t y = 0;
  const std::int64_t width = out.width;
  const std::int64_t height = out.height;
  auto put = [&](unsigned index) {
    if (x < width && y < height) sink.row(y)[x] = paletteColour(palette, index);
    ++x;
  };
  try {
    while (y < height) {
      const std::uint8_t count = r.readU8();
      const std::uint8_t value = r.readU8();
      if (count > 0) {
        for (unsigned i = 0; i < count; ++i)
          put(four ? ((i & 1) ? (value & 15u) : (value >> 4u)) : value);
        continue;
      }
      if (value == 0) {  // end of line
        x = 0;
        ++y;
      } else if (value == 1) {  // end of bitmap
        break;
      } else if (value == 2) {  // delta
        x += r.readU8();
        y += r.readU8();
      } else {  // absolute stretch, padded to a 16-bit boundary
        const std::size_t n = value;
        const std::size_t stored = four ? (n + 1) / 2 : n;
        const auto run = r.readBytes(stored);
        for (std::size_t i = 0; i < n; ++i)
          put(four ? ((i & 1) ? (run[i / 2] & 15u) : (run[i / 2] >> 4u)) : run[i]);
        if (stored & 1) r.skip(1);
      }
    }
  } catch (const FormatError&) {
    bad("the run-length data is cut short");
  }
}

}  // namespace

Bitmap32 decodeBmp(std::span<const std::uint8_t> bytes, ZeroSizeBitmaps zero) {
  const Header h = readHeader(bytes);
  if (h.compression == kPng) {
    if (h.pixelOffset >= bytes.size()) bad("the embedded PNG lies past the end of the file");
    Bitmap32 png = decodePng(bytes.subspan(h.pixelOffset));
    for (Pixel& p : png.pixels) p |= 0xFF000000u;
    return png;
  }
  if (h.compression == kJpeg) bad("JPEG compressed bitmaps are not supported");
  if (h.compression != kRgb && h.compression != kRle8 && h.compression != kRle4 &&
      h.compression != kBitfields && h.compression != kAlphaBitfields)
    bad("unknown compression " + std::to_string(h.compression));

  const std::int64_t height = h.height < 0 ? -h.height : h.height;
  if (zero == ZeroSizeBitmaps::Allow && h.width >= 0 && (h.width == 0 || height == 0) &&
      h.width <= kMaxBitmapSide && height <= kMaxBitmapSide)
    return Bitmap32(static_cast<int>(h.width), static_cast<int>(height));
  if (h.width <= 0 || height <= 0)
    bad("invalid size " + std::to_string(h.width) + " x " + std::to_string(h.height));
  if (h.width > kMaxBitmapSide || height > kMaxBitmapSide)
    bad("the size " + std::to_string(h.width) + " x " + std::to_string(height) +
        " is larger than " + std::to_string(kMaxBitmapSide) + " x " +
        std::to_string(kMaxBitmapSide));
  if (static_cast<std::uint64_t>(h.width) * static_cast<std::uint64_t>(height) > kMaxBitmapPixels)
    bad("the size " + std::to_string(h.width) + " x " + std::to_string(height) +
        " is larger than a picture may be (" + std::to_string(kMaxBitmapPixels) + " pixels)");

  switch (h.compression) {
    case kRle8:
      if (h.bpp != 8) bad("BI_RLE8 needs 8 bits per pixel, not " + std::to_string(h.bpp));
      break;
    case kRle4:
      if (h.bpp != 4) bad("BI_RLE4 needs 4 bits per pixel, not " + std::to_string(h.bpp));
      break;
    case kBitfields:
    case kAlphaBitfields:
      if (h.bpp != 16 && h.bpp != 24 && h.bpp != 32)
        bad("colour masks need 16, 24 or 32 bits per pixel, not " + std::to_string(h.bpp));
      break;
    default:
      if (h.bpp != 1 && h.bpp != 2 && h.bpp != 4 && h.bpp != 8 && h.bpp != 16 && h.bpp != 24 &&
          h.bpp != 32)
        bad("unsupported depth of " + std::to_string(h.bpp) + " bits per pixel");
  }

  if (h.pixelOffset < kFileHeaderSize + h.headerSize)
    bad("the pixel data offset " + std::to_string(h.pixelOffset) + " lies inside the header");
  const bool rle = h.compression == kRle8 || h.compression == kRle4;
  const std::size_t available = bytes.size() - std::min(bytes.size(), h.pixelOffset);
  const auto pixels = static_cast<std::uint64_t>(h.width) * static_cast<std::uint64_t>(height);
  if (rle) {
    // A run pair draws at most 255 pixels; allow delta and line-end skips generous room, but no
    // gigabytes from a few bytes.
    if (pixels > (static_cast<std::uint64_t>(available) + 1) * 1024 + 0x10000)
      bad("the size " + std::to_string(h.width) + " x " + std::to_string(height) +
          " is far larger than its " + std::to_string(available) + " bytes of run-length data");
  } else {
    const std::uint64_t needed =
        static_cast<std::uint64_t>(height - 1) * rowStride(h.width, h.bpp) +
        static_cast<std::uint64_t>((h.width * h.bpp + 7) / 8);
    if (needed > available)
      bad("the pixel data is cut short (" + std::to_string(available) + " bytes for " +
          std::to_string(h.width) + " x " + std::to_string(height) + " pixels at " +
          std::to_string(h.bpp) + " bits)");
  }

  const std::vector<Pixel> palette = readPalette(bytes, h);
  Bitmap32 out(static_cast<int>(h.width), static_cast<int>(height), makePixel(0, 0, 0));
  PixelSink sink(out, h.height < 0);
  if (rle)
    decodeRle(bytes, h, out, sink, palette);
  else
    decodeUncompressed(bytes, h, out, sink, palette);
  return out;
}

Bitmap32 readBmpFile(const std::string& path, ZeroSizeBitmaps zero) {
  const Bytes bytes = readFile(path);
  try {
    return decodeBmp(bytes, zero);
  } catch (const FormatError& e) {
    throw FormatError(path + ": " + e.what());
  }
}

namespace {

// The headers of a 32-bit bottom-up bitmap of the picture's size.
Bytes bmpHeaders(const Bitmap32& bitmap, ZeroSizeBitmaps zero, std::size_t reserve) {
  const bool zeroSize = zero == ZeroSizeBitmaps::Allow && bitmap.width >= 0 && bitmap.height >= 0;
  if (bitmap.empty() && !zeroSize) throw Error("An empty picture cannot be written as a bitmap.");
  const std::size_t pixelBytes =
      static_cast<std::size_t>(bitmap.width) * static_cast<std::size_t>(bitmap.height) * 4;
  const std::size_t offset = kFileHeaderSize + kInfoHeaderSize;
  ByteWriter w(offset + reserve);
  w.u16(kMagic);
  w.u32(static_cast<std::uint32_t>(offset + pixelBytes));
  w.u32(0);
  w.u32(static_cast<std::uint32_t>(offset));
  w.u32(kInfoHeaderSize);
  w.i32(bitmap.width);
  w.i32(bitmap.height);  // positive: bottom-up
  w.u16(1);
  w.u16(32);
  w.u32(kRgb);
  w.u32(static_cast<std::uint32_t>(pixelBytes));
  w.i32(2835);  // 72 dots per inch
  w.i32(2835);
  w.u32(0);
  w.u32(0);
  return w.take();
}

// Rows first..first + count - 1 of the file (row 0 is the picture's bottom row) at dst.
void storeBmpRows(const Bitmap32& bitmap, std::size_t first, std::size_t count, std::uint8_t* dst) {
  const std::size_t width = static_cast<std::size_t>(bitmap.width);
  const std::size_t height = static_cast<std::size_t>(bitmap.height);
  for (std::size_t row = first; row < first + count; ++row) {
    const Pixel* src = bitmap.pixels.data() + (height - 1 - row) * width;
    for (std::size_t x = 0; x < width; ++x, dst += 4) storeU32(dst, src[x]);
  }
}

}  // namespace

Bytes encodeBmp(const Bitmap32& bitmap, ZeroSizeBitmaps zero) {
  const std::size_t pixelBytes = bitmap.pixels.size() * 4;
  Bytes out = bmpHeaders(bitmap, zero, pixelBytes);
  const std::size_t offset = out.size();
  out.resize(offset + pixelBytes);
  storeBmpRows(bitmap, 0, static_cast<std::size_t>(std::max(bitmap.height, 0)),
               out.data() + offset);
  return out;
}

void writeBmpFile(const std::string& path, const Bitmap32& bitmap, ZeroSizeBitmaps zero) {
  // Rows go to the file in pieces of about a megabyte: a world-sized picture (100 MB and more)
  // is never held a second time as its file's bytes.
  AtomicFile file(path);
  file.write(bmpHeaders(bitmap, zero, 0));
  const std::size_t rowBytes = static_cast<std::size_t>(std::max(bitmap.width, 0)) * 4;
  const std::size_t height = static_cast<std::size_t>(std::max(bitmap.height, 0));
  if (rowBytes > 0 && height > 0) {
    const std::size_t rowsPerPiece = std::max<std::size_t>(1, (std::size_t{1} << 20) / rowBytes);
    Bytes piece(std::min(rowsPerPiece, height) * rowBytes);
    for (std::size_t row = 0; row < height; row += rowsPerPiece) {
      const std::size_t count = std::min(rowsPerPiece, height - row);
      storeBmpRows(bitmap, row, count, piece.data());
      file.write(std::span<const std::uint8_t>(piece.data(), count * rowBytes));
    }
  }
  file.commit();
}

void writeBmpFile(const std::string& path, const Bitmap32& bitmap, WriteBatch& batch,
                  ZeroSizeBitmaps zero) {
  batch.write(path, encodeBmp(bitmap, zero));
}

}  // namespace quillotide
