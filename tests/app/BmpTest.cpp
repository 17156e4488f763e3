#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>

#include "app/Bmp.h"
#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Image.h"
#include "app/Png.h"
#include "support/Mutations.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

constexpr const char* kConvert = "/usr/bin/convert";

bool haveConvert() { return fileExists(kConvert); }

// Runs ImageMagick's convert with the arguments; true on success.
bool convert(const std::string& args) {
  const std::string command = std::string(kConvert) + " " + args + " 2>/dev/null";
  return std::system(command.c_str()) == 0;
}

// An odd-width picture (rows need padding at every depth) whose colours come from a palette of
// `colours` entries, so the same picture fits 1-, 4- and 8-bit files.
Bitmap32 knownPicture(int colours) {
  Bitmap32 b(37, 11);
  for (int y = 0; y < b.height; ++y)
    for (int x = 0; x < b.width; ++x) {
      const int i = (x / 3 + y * 5 + (x * y) % 7) % colours;
      b.at(x, y) = makePixel(static_cast<std::uint8_t>(i * 53 % 256),
                             static_cast<std::uint8_t>(i * 97 % 256),
                             static_cast<std::uint8_t>(255 - i * 31 % 256));
    }
  return b;
}

Bitmap32 opaque(Bitmap32 b) {
  for (Pixel& p : b.pixels) p |= 0xFF000000u;
  return b;
}

// "" when the pictures are equal, else where and how they first differ.
std::string difference(const Bitmap32& a, const Bitmap32& b) {
  if (a.width != b.width || a.height != b.height)
    return "size " + std::to_string(a.width) + "x" + std::to_string(a.height) + " vs " +
           std::to_string(b.width) + "x" + std::to_string(b.height);
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x)
      if (a.at(x, y) != b.at(x, y)) {
        char text[80];
        std::snprintf(text, sizeof text, "(%d,%d): %08X vs %08X", x, y, a.at(x, y), b.at(x, y));
        return text;
      }
  return "";
}

std::uint32_t headerU32(const Bytes& b, std::size_t off) { return loadU32(b.data() + off); }
std::uint16_t headerU16(const Bytes& b, std::size_t off) { return loadU16(b.data() + off); }

struct Variant {
  const char* name;
  int colours;          // colours of the source picture
  const char* options;  // convert options and output prefix
  std::uint32_t headerSize;
  int bpp;
  std::uint32_t compression;
  bool lossless;  // pixels equal the source; otherwise equal convert's own reading of the file
  int channelBits = 8;  // below 8: the source cut to this many bits per channel, bits repeated
};

// The picture with each channel on the grid of `bits`-bit values (multiples of 17 for 4 bits), so
// a writer keeping `bits` bits per channel loses nothing whichever way it rounds.
Bitmap32 quantised(Bitmap32 b, int bits) {
  auto cut = [bits](std::uint8_t c) {
    const unsigned v = c >> (8 - bits);
    unsigned r = v << (8 - bits);
    for (int filled = bits; filled < 8; filled *= 2) r |= r >> filled;
    return static_cast<std::uint8_t>(r);
  };
  for (Pixel& p : b.pixels) p = makePixel(cut(redOf(p)), cut(greenOf(p)), cut(blueOf(p)));
  return b;
}

}  // namespace

// Every kind of BMP, written by ImageMagick from a known picture, reads back as the picture (or,
// for the 16-bit kinds that drop colour bits, as ImageMagick itself reads the file).
TEST(BmpReader, ReadsEveryVariantImageMagickWrites) {
  if (!haveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  const Variant variants[] = {
      {"1-bit palette", 2, "-type palette BMP3:", 40, 1, 0, true},
      {"4-bit palette", 16, "-type palette BMP3:", 40, 4, 0, true},
      {"8-bit palette", 100, "-type palette -compress none BMP3:", 40, 8, 0, true},
      {"RLE8", 100, "-type palette -compress RLE BMP3:", 40, 8, 1, true},
      {"24-bit", 1000, "-type truecolor BMP3:", 40, 24, 0, true},
      {"32-bit with alpha", 1000,
       "-alpha set -channel A -evaluate set 50% +channel -define bmp3:alpha=true BMP3:", 40, 32, 0,
       true},
      {"OS/2 palette", 16, "-type palette BMP2:", 12, 4, 0, true},
      {"OS/2 24-bit", 1000, "-type truecolor BMP2:", 12, 24, 0, true},
      {"V4 header", 1000, "-intent undefined -type truecolor BMP:", 108, 24, 0, true},
      {"V5 header", 1000, "-type truecolor BMP:", 124, 24, 0, true},
      {"V5 palette", 16, "-type palette BMP:", 124, 4, 0, true},
      {"V5 32-bit masks", 1000, "-alpha set -type truecolormatte BMP:", 124, 32, 3, true},
      {"RGB565 masks", 1000, "-type truecolor -define bmp:subtype=RGB565 BMP:", 124, 16, 3, false},
      {"RGB555 masks", 1000, "-type truecolor -define bmp:subtype=RGB555 BMP:", 124, 16, 3, false},
      // ImageMagick reads 4-bit channels without repeating their bits (15 as 240), so the
      // source is drawn on the 4-bit grid and compared directly.
      {"ARGB4444 masks", 1000, "-alpha set -define bmp:subtype=ARGB4444 BMP:", 124, 16, 3, true, 4},
  };
  TempDir dir;
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.name);
    const Bitmap32 source = quantised(knownPicture(v.colours), v.channelBits);
    const std::string src = dir.file("source.png");
    const std::string bmp = dir.file("variant.bmp");
    writePngFile(src, source);
    ASSERT_TRUE(convert(src + " " + v.options + bmp));
    const Bytes bytes = readFile(bmp);
    // The file is really the variant we asked for.
    ASSERT_EQ(headerU32(bytes, 14), v.headerSize);
    const int bpp = headerU16(bytes, v.headerSize == 12 ? 24 : 28);
    ASSERT_EQ(bpp, v.bpp);
    if (v.headerSize != 12) {
      ASSERT_EQ(headerU32(bytes, 30), v.compression);
    }
    const Bitmap32 read = decodeBmp(bytes);
    if (v.lossless) {
      EXPECT_EQ(difference(read, opaque(source)), "");
    } else {
      ASSERT_TRUE(convert(bmp + " -alpha off " + dir.file("reference.png")));
      EXPECT_EQ(difference(read, opaque(readPngFile(dir.file("reference.png")))), "");
    }
  }
}

// Top-down rows: an ImageMagick file turned upside down in place (negative height, rows
// reversed) reads as the same picture.
TEST(BmpReader, ReadsTopDownRows) {
  if (!haveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  TempDir dir;
  const Bitmap32 source = knownPicture(1000);
  writePngFile(dir.file("s.png"), source);
  ASSERT_TRUE(convert(dir.file("s.png") + " -type truecolor BMP3:" + dir.file("s.bmp")));
  Bytes bytes = readFile(dir.file("s.bmp"));
  const std::size_t offset = headerU32(bytes, 10);
  const std::size_t stride = (37 * 3 + 3) / 4 * 4;
  Bytes flipped = bytes;
  for (std::size_t y = 0; y < 11; ++y)
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset + y * stride), stride,
                flipped.begin() + static_cast<std::ptrdiff_t>(offset + (10 - y) * stride));
  storeU32(flipped.data() + 22, static_cast<std::uint32_t>(-11));
  EXPECT_EQ(decodeBmp(flipped), opaque(source));
}

namespace {

// A 4-bit RLE file drawn by hand: runs, an absolute stretch of odd length (padded), a delta and
// line ends, covering every pixel of an 8 x 3 picture.
Bytes rle4File() {
  ByteWriter w;
  const std::uint8_t stream[] = {
      0x08, 0x12,                          // row 0 (bottom): 1 2 1 2 1 2 1 2
      0x00, 0x00,                          // end of line
      0x00, 0x05, 0x34, 0x56, 0x70, 0x00,  // row 1: absolute 3 4 5 6 7, padded
      0x03, 0x11,                          // then 1 1 1
      0x00, 0x00,                          // end of line
      0x04, 0x22, 0x04, 0x33,              // row 2: 2 2 2 2 3 3 3 3
      0x00, 0x01,                          // end of bitmap
  };
  const std::uint32_t offset = 14 + 40 + 16 * 4;
  w.u16(0x4D42);
  w.u32(offset + sizeof stream);
  w.u32(0);
  w.u32(offset);
  w.u32(40);
  w.i32(8);
  w.i32(3);
  w.u16(1);
  w.u16(4);
  w.u32(2);  // BI_RLE4
  w.u32(sizeof stream);
  w.i32(0);
  w.i32(0);
  w.u32(16);
  w.u32(0);
  for (int i = 0; i < 16; ++i) {
    w.u8(static_cast<std::uint8_t>(i * 16));        // blue
    w.u8(static_cast<std::uint8_t>(255 - i * 16));  // green
    w.u8(static_cast<std::uint8_t>(i * 8));         // red
    w.u8(0);
  }
  w.bytes(stream);
  return w.take();
}

Pixel rle4Colour(int i) {
  return makePixel(static_cast<std::uint8_t>(i * 8), static_cast<std::uint8_t>(255 - i * 16),
                   static_cast<std::uint8_t>(i * 16));
}

}  // namespace

TEST(BmpReader, ReadsRle4AsImageMagickDoes) {
  const Bytes bytes = rle4File();
  const Bitmap32 read = decodeBmp(bytes);
  const int rows[3][8] = {
      {2, 2, 2, 2, 3, 3, 3, 3}, {3, 4, 5, 6, 7, 1, 1, 1}, {1, 2, 1, 2, 1, 2, 1, 2}};
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(read.at(x, y), rle4Colour(rows[y][x])) << x << "," << y;
  if (!haveConvert()) return;
  TempDir dir;
  quillotide::test::writeBytes(dir.file("rle4.bmp"), bytes);
  ASSERT_TRUE(convert(dir.file("rle4.bmp") + " " + dir.file("rle4.png")));
  EXPECT_EQ(read, opaque(readPngFile(dir.file("rle4.png"))));
}

TEST(BmpReader, RleDeltaLeavesSkippedPixelsBlack) {
  // Row 0 becomes: two pixels, then a delta of (3, 1) that jumps to row 1, column 5.
  const std::size_t runsAt = 14 + 40 + 64;
  const Bytes runs = {0x02, 0x12, 0x00, 0x02, 0x03, 0x01, 0x03, 0x11, 0x00, 0x01};
  const Bytes bytes =
      test::mutated(rle4File(), test::all({test::cutTo(runsAt), test::append(runs)}));
  const Bitmap32 read = decodeBmp(bytes);
  EXPECT_EQ(read.at(0, 2), rle4Colour(1));
  EXPECT_EQ(read.at(1, 2), rle4Colour(2));
  EXPECT_EQ(read.at(2, 2), makePixel(0, 0, 0));
  EXPECT_EQ(read.at(4, 1), makePixel(0, 0, 0));
  EXPECT_EQ(read.at(5, 1), rle4Colour(1));
  EXPECT_EQ(read.at(7, 1), rle4Colour(1));
  EXPECT_EQ(read.at(0, 0), makePixel(0, 0, 0));
}

TEST(BmpWriter, WritesThirtyTwoBitBottomUpAndReadsBack) {
  Bitmap32 picture(3, 2);
  picture.pixels = {0xFF102030, 0xFF405060, 0x80708090, 0xFFA0B0C0, 0xFFD0E0F0, 0x00000000};
  const Bytes bytes = encodeBmp(picture);
  ASSERT_EQ(bytes.size(), 14u + 40 + 3 * 2 * 4);
  EXPECT_EQ(headerU16(bytes, 0), 0x4D42);
  EXPECT_EQ(headerU16(bytes, 28), 32);
  EXPECT_EQ(headerU32(bytes, 30), 0u);
  EXPECT_EQ(static_cast<std::int32_t>(headerU32(bytes, 22)), 2);  // bottom-up
  // The first stored row is the picture's bottom row.
  EXPECT_EQ(headerU32(bytes, 54), 0xFFA0B0C0u);
  EXPECT_EQ(decodeBmp(bytes), opaque(picture));
  EXPECT_THROW(encodeBmp(Bitmap32()), Error);

  if (!haveConvert()) return;
  // An independent reader sees the same pixels.
  TempDir dir;
  writeBmpFile(dir.file("ours.bmp"), opaque(picture));
  ASSERT_TRUE(convert(dir.file("ours.bmp") + " -alpha off " + dir.file("theirs.png")));
  EXPECT_EQ(readPngFile(dir.file("theirs.png")), opaque(picture));
}

TEST(PngFiles, RoundTripKeepsAlphaAndRefusesDamage) {
  TempDir dir;
  Bitmap32 picture(5, 4);
  for (std::size_t i = 0; i < picture.pixels.size(); ++i)
    picture.pixels[i] = static_cast<Pixel>(i * 0x0B0D0F11u + 0x01020304u);
  writePngFile(dir.file("a.png"), picture);
  EXPECT_EQ(readPngFile(dir.file("a.png")), picture);
  // Choice by extension, in any letter case.
  writeImageFile(dir.file("b.PNG"), picture);
  EXPECT_EQ(readImageFile(dir.file("b.PNG")), picture);
  writeImageFile(dir.file("c.Bmp"), picture);
  EXPECT_EQ(readImageFile(dir.file("c.Bmp")), opaque(picture));
  EXPECT_THROW(writeImageFile(dir.file("d.gif"), picture), Error);
  EXPECT_THROW(readImageFile(dir.file("noextension")), Error);

  const Bytes bytes = encodePng(picture);
  const test::Defect defects[] = {
      {"cut_in_half", test::cutTo(bytes.size() / 2)},
      {"cut_inside_the_signature", test::cutTo(3)},
      {"empty", test::cutTo(0)},
  };
  for (const auto& d : defects) {
    SCOPED_TRACE(d.name);
    EXPECT_THROW(decodePng(test::mutated(bytes, d.mutate)), FormatError);
  }
}

namespace {

// Where the fields of a file with a 40-byte header lie.
constexpr std::size_t kPixelOffsetAt = 10;
constexpr std::size_t kHeaderSizeAt = 14;
constexpr std::size_t kWidthAt = 18;
constexpr std::size_t kHeightAt = 22;
constexpr std::size_t kBitsPerPixelAt = 28;
constexpr std::size_t kCompressionAt = 30;
constexpr std::size_t kSmall8BitSize = 14 + 40 + 4 * 4 + 8;

// A valid 8-bit, 4 x 2 picture with a palette of 4 colours, to be damaged by the tests.
Bytes small8Bit() {
  ByteWriter w;
  const std::uint32_t offset = 14 + 40 + 4 * 4;
  w.u16(0x4D42);
  w.u32(offset + 8);
  w.u32(0);
  w.u32(offset);
  w.u32(40);
  w.i32(4);
  w.i32(2);
  w.u16(1);
  w.u16(8);
  w.u32(0);
  w.u32(8);
  w.i32(0);
  w.i32(0);
  w.u32(4);
  w.u32(0);
  for (std::uint8_t i = 0; i < 4; ++i) w.bytes(std::vector<std::uint8_t>{i, i, i, 0});
  w.bytes(std::vector<std::uint8_t>{0, 1, 2, 3, 3, 2, 1, 0});
  return w.take();
}

std::string failureOf(const Bytes& bytes) {
  try {
    decodeBmp(bytes);
  } catch (const FormatError& e) {
    return e.what();
  }
  return "";
}

}  // namespace

TEST(BmpReader, TheValidSampleReads) {
  EXPECT_EQ(decodeBmp(small8Bit()).at(3, 0), makePixel(0, 0, 0));
  EXPECT_EQ(decodeBmp(rle4File()).width, 8);
}

class DamagedBmp8Bit : public ::testing::TestWithParam<test::Defect> {};
class DamagedBmpRle4 : public ::testing::TestWithParam<test::Defect> {};

// The file is refused with a reason; where the reason is known its text is checked.
TEST_P(DamagedBmp8Bit, IsRefusedWithAReason) {
  const std::string failure = failureOf(test::mutated(small8Bit(), GetParam().mutate));
  EXPECT_NE(failure, "");
  EXPECT_NE(failure.find(GetParam().message), std::string::npos) << failure;
}

TEST_P(DamagedBmpRle4, IsRefusedWithAReason) {
  const std::string failure = failureOf(test::mutated(rle4File(), GetParam().mutate));
  EXPECT_NE(failure, "");
  EXPECT_NE(failure.find(GetParam().message), std::string::npos) << failure;
}

INSTANTIATE_TEST_SUITE_P(
    Defects, DamagedBmp8Bit,
    ::testing::Values(
        test::Defect{"cut_by_one_byte", test::cutBy(1), "cut short"},
        test::Defect{"pixel_index_past_the_palette", test::setU8(kSmall8BitSize - 1, 4),
                     "palette index 4"},
        test::Defect{"width_huge", test::setU32(kWidthAt, 0x7FFFFFFF), "larger than"},
        test::Defect{"width_past_the_pixels", test::setU32(kWidthAt, 0x7000), "cut short"},
        test::Defect{"height_the_lowest_integer", test::setU32(kHeightAt, 0x80000000u)},
        test::Defect{"width_zero", test::setU32(kWidthAt, 0), "invalid size"},
        test::Defect{"header_size_unknown", test::setU32(kHeaderSizeAt, 200), "header size"},
        test::Defect{"pixel_offset_inside_the_header", test::setU32(kPixelOffsetAt, 20)},
        test::Defect{"pixel_offset_past_the_end", test::setU32(kPixelOffsetAt, 0xFFFFFFF0u)},
        test::Defect{"bits_per_pixel_unknown", test::setU16(kBitsPerPixelAt, 7), "bits per pixel"},
        test::Defect{"compression_jpeg", test::setU32(kCompressionAt, 4), "JPEG"},
        test::Defect{"magic_not_bm", test::setU8(0, 'X'), "BM"},
        test::Defect{"cut_inside_the_file_header", test::cutTo(10)}),
    test::DefectName());

INSTANTIATE_TEST_SUITE_P(
    Defects, DamagedBmpRle4,
    ::testing::Values(test::Defect{"runs_cut_by_eight_bytes", test::cutBy(8), "run-length"},
                      test::Defect{"size_far_beyond_the_runs",
                                   test::all({test::setU32(kWidthAt, 0x2000),
                                              test::setU32(kHeightAt, 0x2000)}),
                                   "far larger"}),
    test::DefectName());

TEST(BmpReader, FilesNameThemselvesInErrors) {
  TempDir dir;
  quillotide::test::writeBytes(dir.file("bad.bmp"), test::mutated(small8Bit(), test::cutTo(30)));
  try {
    readBmpFile(dir.file("bad.bmp"));
    FAIL();
  } catch (const FormatError& e) {
    EXPECT_NE(std::string(e.what()).find("bad.bmp"), std::string::npos);
  }
  EXPECT_THROW(readBmpFile(dir.file("missing.bmp")), FileError);
}

namespace {

void pngChunk(ByteWriter& w, const char* type, const Bytes& body) {
  Bytes typed(type, type + 4);
  typed.insert(typed.end(), body.begin(), body.end());
  auto bigEndian = [&](std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) w.u8(static_cast<std::uint8_t>(v >> shift));
  };
  bigEndian(static_cast<std::uint32_t>(body.size()));
  w.bytes(typed);
  bigEndian(static_cast<std::uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
}

// A PNG whose header claims width x height RGBA pixels and whose only picture data is the deflate
// stream of a few zero bytes: a well-formed file of some 70 bytes.
Bytes pngClaiming(std::uint32_t width, std::uint32_t height) {
  ByteWriter w;
  w.bytes(Bytes{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A});
  Bytes header;
  for (std::uint32_t v : {width, height})
    for (int shift = 24; shift >= 0; shift -= 8)
      header.push_back(static_cast<std::uint8_t>(v >> shift));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no interlace
  pngChunk(w, "IHDR", header);
  const Bytes raw(8, 0);
  Bytes packed(64);
  uLongf packedSize = packed.size();
  compress2(packed.data(), &packedSize, raw.data(), raw.size(), 9);
  packed.resize(packedSize);
  pngChunk(w, "IDAT", packed);
  pngChunk(w, "IEND", {});
  return w.take();
}

std::string pngFailureOf(const Bytes& bytes) {
  try {
    decodePng(bytes);
  } catch (const FormatError& e) {
    return e.what();
  }
  return "";
}

}  // namespace

TEST(PictureSizes, HeadersClaimingMoreThanTheDataHoldsAreRefusedBeforeAllocating) {
  const Bytes huge = pngClaiming(0x8000, 0x8000);
  EXPECT_LT(huge.size(), 80u);
  EXPECT_NE(pngFailureOf(huge).find("larger than a picture may be"), std::string::npos);
  // Within the limit, but a few bytes of deflate data cannot fill 64 MB of pixels.
  EXPECT_NE(pngFailureOf(pngClaiming(4000, 4000)).find("far larger than its"), std::string::npos);
  // A small picture of the same kind still reaches libpng, which finds its rows too short.
  const std::string small = pngFailureOf(pngClaiming(40, 40));
  EXPECT_EQ(small.find("far larger"), std::string::npos) << small;

  // A megabyte of run-length data under a header of 32768 x 32768.
  const Bytes rle = test::mutated(
      rle4File(), test::all({test::setU32(kWidthAt, 0x8000), test::setU32(kHeightAt, 0x8000),
                             test::append(Bytes(1u << 20, 0))}));
  EXPECT_NE(failureOf(rle).find("larger than a picture may be"), std::string::npos);
}
