// The PNG reader gives the stored numbers of every channel, whatever the file says about light.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Png.h"
#include "support/PngFiles.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::PngColourChunk;
using quillotide::test::TempDir;

namespace {

constexpr const char* kConvert = "/usr/bin/convert";

constexpr PngColourChunk kChunks[] = {PngColourChunk::None, PngColourChunk::Srgb,
                                      PngColourChunk::Gamma22, PngColourChunk::Linear};

bool convert(const std::string& args) {
  return std::system((std::string(kConvert) + " " + args + " 2>/dev/null").c_str()) == 0;
}

}  // namespace

TEST(PngReader, SixteenBitChannelsAreTheStoredValuesWhateverChunksTheFileHas) {
  for (const bool alpha : {false, true}) {
    for (const PngColourChunk chunk : kChunks) {
      SCOPED_TRACE(testing::Message()
                   << "alpha " << alpha << ", chunk " << static_cast<int>(chunk));
      const Bitmap32 p =
          decodePng(test::png16(3, 2, {0x8485, 0x4445, 0x1415, 0x8080}, alpha, chunk));
      ASSERT_EQ(p.width, 3);
      ASSERT_EQ(p.height, 2);
      EXPECT_EQ(p.at(2, 1), makePixel(132, 68, 20, alpha ? 128 : 255));
    }
  }
  // The ends of the range stay the ends.
  EXPECT_EQ(decodePng(test::png16(1, 1, {0xFFFF, 0, 0x00FF}, false, PngColourChunk::None)).at(0, 0),
            makePixel(255, 0, 1));
}

TEST(PngReader, ImageMagicksSixteenBitFilesWithAndWithoutColourChunks) {
  if (!fileExists(kConvert)) GTEST_SKIP() << "ImageMagick's convert is not installed";
  TempDir dir;
  const std::string colour = " -size 4x3 xc:'#848544451415' -depth 16 ";
  const std::string plain = dir.file("plain.png");
  const std::string chunks = dir.file("chunks.png");
  ASSERT_TRUE(convert(colour + "-define png:exclude-chunk=gAMA,cHRM,sRGB,iCCP PNG48:" + plain));
  ASSERT_TRUE(convert(colour + "PNG48:" + chunks));
  for (const std::string& path : {plain, chunks}) {
    SCOPED_TRACE(path);
    const Bitmap32 p = readPngFile(path);
    EXPECT_EQ(p.at(3, 2), makePixel(132, 68, 20));
  }
  // Other layouts the painting programs write: interlaced, palette with transparency, grey.
  const std::string interlaced = dir.file("interlaced.png");
  ASSERT_TRUE(convert("-size 9x7 xc:'rgb(10,200,30)' -interlace PNG PNG24:" + interlaced));
  EXPECT_EQ(readPngFile(interlaced).at(8, 6), makePixel(10, 200, 30));
  const std::string palette = dir.file("palette.png");
  ASSERT_TRUE(
      convert("-size 2x1 xc:'rgb(10,200,30)' -alpha set -channel A -fx 'i==1?0:1' +channel "
              "PNG8:" +
              palette));
  const Bitmap32 pal = readPngFile(palette);
  EXPECT_EQ(pal.at(0, 0), makePixel(10, 200, 30));
  EXPECT_EQ(alphaOf(pal.at(1, 0)), 0);
  const std::string grey = dir.file("grey.png");
  ASSERT_TRUE(convert("-size 2x2 xc:'gray(77)' -depth 16 -type Grayscale PNG:" + grey));
  EXPECT_EQ(readPngFile(grey).at(1, 1), makePixel(77, 77, 77));
}

TEST(PngReader, DamagedFilesAreRefusedWithTheReason) {
  const Bytes good = test::png16(2, 2, {1, 2, 3}, false, PngColourChunk::None);
  EXPECT_NO_THROW(decodePng(good));
  const auto reason = [](const Bytes& bytes) {
    try {
      decodePng(bytes);
    } catch (const FormatError& e) {
      return std::string(e.what());
    }
    return std::string("(read)");
  };
  EXPECT_EQ(reason({}), "PNG: the file is empty");
  EXPECT_EQ(reason(Bytes{'B', 'M', 0, 0, 0, 0, 0, 0, 0}), "PNG: not a PNG file (no PNG signature)");
  EXPECT_EQ(reason(Bytes(good.begin(), good.begin() + 20)), "PNG: the file ends early");
  EXPECT_NE(reason(Bytes(good.begin(), good.end() - 20)).rfind("PNG: ", 0), std::string::npos);
}

// A glyph goes out one bit a pixel and reads back as the same ink, with the program's reader and
// with ImageMagick's.
TEST(PngWriter, OneBitPicturesHoldTheInkAndAreOneBitDeep) {
  Bitmap32 glyph(9, 3, 0);
  glyph.at(0, 0) = makePixel(0, 0, 0);
  glyph.at(8, 2) = makePixel(20, 20, 20);
  glyph.at(4, 1) = makePixel(250, 250, 250);  // light: ground
  glyph.at(5, 1) = makePixel(0, 0, 0, 40);    // nearly transparent: ground
  const Bytes png = encodeOneBitPng(glyph);
  ASSERT_GT(png.size(), 26u);
  EXPECT_EQ(png[24], 1);  // bit depth in the header
  EXPECT_EQ(png[25], 3);  // a palette picture
  const Bitmap32 back = decodePng(png);
  ASSERT_EQ(back.width, 9);
  ASSERT_EQ(back.height, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 9; ++x) {
      const bool ink = (x == 0 && y == 0) || (x == 8 && y == 2);
      EXPECT_EQ(back.at(x, y), ink ? makePixel(0, 0, 0) : makePixel(255, 255, 255, 0)) << x << "," << y;
    }
  EXPECT_THROW(encodeOneBitPng(Bitmap32()), Error);
  if (!fileExists(kConvert)) GTEST_SKIP() << "ImageMagick's convert is not installed";
  TempDir dir;
  writeFileAtomic(dir.file("g.png"), png);
  const std::string out = dir.file("depth.txt");
  ASSERT_EQ(std::system(("/usr/bin/identify -format '%[png:IHDR.bit-depth-orig] %w %h' " + dir.file("g.png") + " > " + out +
                         " 2>/dev/null").c_str()),
            0);
  EXPECT_EQ(test::readText(out), "1 9 3");
}
