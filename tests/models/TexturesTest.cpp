#include <gtest/gtest.h>

#include <array>
#include <fstream>

#include "app/Error.h"
#include "app/Image.h"
#include "models/Hues.h"
#include "models/Textures.h"
#include "support/Mutations.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

Bitmap32 square(int side, int seed = 0) {
  Bitmap32 b(side, side);
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x)
      b.at(x, y) = colour16ToPixel(static_cast<Colour16>((x * 37 + y * 101 + seed * 7) & 0x7FFF));
  return b;
}

Bytes rawColours(std::size_t count, Colour16 first) {
  ByteWriter w;
  for (std::size_t i = 0; i < count; ++i) w.u16(static_cast<Colour16>((first + i) & 0x7FFF));
  return w.take();
}

struct TextureFiles {
  TempDir dir;
  std::string idx = dir.file("texidx.mul");
  std::string mul = dir.file("texmaps.mul");
  TextureFiles(const std::vector<IndexRecord>& records, const Bytes& data) {
    test::writeBytes(idx, test::indexBytes(records));
    test::writeBytes(mul, data);
  }
};

class TextureModes : public ::testing::TestWithParam<StorageMode> {};

}  // namespace

TEST(TextureCodec, SideFollowsFromTheLength) {
  EXPECT_EQ(textureSideForLength(128), 8);
  EXPECT_EQ(textureSideForLength(8192), 64);
  EXPECT_EQ(textureSideForLength(32768), 128);
  EXPECT_EQ(textureSideForLength(0x20000), 256);
  EXPECT_EQ(textureSideForLength(0x80000), 512);
  EXPECT_EQ(textureSideForLength(100), 128);
  EXPECT_EQ(textureSideForLength(40000), 128);
}

TEST(TextureCodec, RoundTripsEveryAllowedSize) {
  for (int side : {8, 16, 32, 64, 128, 256, 512}) {
    const Bitmap32 pic = square(side, side);
    const Bytes bytes = encodeTexture(pic);
    ASSERT_EQ(bytes.size(), static_cast<std::size_t>(side * side * 2));
    EXPECT_EQ(decodeTexture(bytes), pic) << side;
  }
  // Rows are stored from the top, left to right.
  const Bitmap32 pic = decodeTexture(rawColours(64 * 64, 0x0100));
  EXPECT_EQ(pic.at(1, 0), colour16ToPixel(0x0101));
  EXPECT_EQ(pic.at(0, 1), colour16ToPixel(0x0140));
}

TEST(TextureCodec, OddLengthsAndSizesAreRefusedWithOneMessage) {
  const Bytes valid = rawColours(128 * 128, 5);
  // A length of 100 stands for 128 x 128: reported rather than read past the slot.
  const test::Defect defects[] = {
      {"cut_to_100_bytes", test::cutTo(100)},
      {"empty", test::cutTo(0)},
  };
  for (const auto& d : defects) {
    SCOPED_TRACE(d.name);
    EXPECT_THROW(decodeTexture(test::mutated(valid, d.mutate)), FormatError);
  }
  // Longer than 128 x 128: the first 32768 bytes are the picture.
  const test::Mutation colourWordsAppended = test::append(rawColours(20000 - 128 * 128, 5));
  EXPECT_EQ(decodeTexture(test::mutated(valid, colourWordsAppended)).width, 128);

  try {
    encodeTexture(Bitmap32(64, 32));
    FAIL();
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(),
                 "Bitmap muss 8x8 oder 16x16 oder 32x32 oder 64x64 oder 128x128 oder "
                 "256x256 oder 512x512 sein. ");
  }
  EXPECT_THROW(encodeTexture(Bitmap32(100, 100)), Error);
  EXPECT_THROW(encodeTexture(Bitmap32()), Error);
  EXPECT_FALSE(textureSizeWarning(square(64)));
  EXPECT_FALSE(textureSizeWarning(square(128)));
  EXPECT_EQ(*textureSizeWarning(square(256)),
            "Diese Grösse wird mit den meisten (inkl. aller Osi) Clients nicht funktioneren.");
}

TEST(TextureCodec, HighlightTakesTheRampColourOfTheRedChannel) {
  std::array<Colour16, 32> ramp{};
  for (std::size_t n = 0; n < 32; ++n) ramp[n] = static_cast<Colour16>(0x0400 * (31 - n) + n);
  Bitmap32 pic(3, 1);
  pic.pixels = {colour16ToPixel(0x0000), colour16ToPixel(0x03FF), colour16ToPixel(0x7C00)};
  const Bitmap32 lit = highlightTexture(pic, ramp);
  EXPECT_EQ(lit.pixels[0], colour16ToPixel(ramp[1]));  // red 0 takes colour 1
  EXPECT_EQ(lit.pixels[1], colour16ToPixel(ramp[1]));
  EXPECT_EQ(lit.pixels[2], colour16ToPixel(ramp[31]));

  // The model takes the ramp from entry 154 of the first hue table.
  Bytes hueFile(20 * THues::kBlockSize, 0);
  const std::size_t entry154 = 19 * THues::kBlockSize + 4 + 2 * THues::kEntrySize;
  for (std::size_t n = 0; n < 32; ++n) storeU16(hueFile.data() + entry154 + 2 * n, ramp[n]);
  THues hues;
  hues.loadBytes(hueFile);
  const Bytes bytes = encodeTexture(Bitmap32(8, 8, colour16ToPixel(0x7C00)));
  TextureFiles f({{0, static_cast<std::int32_t>(bytes.size()), 1}}, bytes);
  TTextures tex;
  tex.load(f.idx, f.mul, StorageMode::Memory);
  EXPECT_EQ(tex.texturePictureHued(0, HueChoice::selection(), &hues).pixels[0],
            colour16ToPixel(ramp[31]));
  EXPECT_EQ(tex.texturePictureHued(0, HueChoice::hue(5), &hues).pixels[0],
            colour16ToPixel(0x7C00));
  EXPECT_EQ(tex.texturePictureHued(0, HueChoice::selection(), nullptr).pixels[0],
            colour16ToPixel(0x7C00));
}

TEST_P(TextureModes, ImportDeleteAndSaveFollowTheStorageMode) {
  const Bytes first = encodeTexture(square(64, 1));
  TextureFiles f({{0, static_cast<std::int32_t>(first.size()), 0}}, first);
  TTextures tex;
  tex.load(f.idx, f.mul, GetParam());
  EXPECT_EQ(tex.textureCount(), 1);
  EXPECT_EQ(tex.texturePicture(0), square(64, 1));

  writeImageFile(f.dir.file("big.bmp"), square(256, 2));
  const auto warning = tex.importTexture(2, f.dir.file("big.bmp"));
  ASSERT_TRUE(warning);
  EXPECT_EQ(*tex.record(2), (IndexRecord{static_cast<std::int32_t>(first.size()), 0x20000, 1}));
  EXPECT_EQ(tex.textureSide(2), 256);
  EXPECT_FALSE(tex.textureExists(1));

  writeImageFile(f.dir.file("wrong.bmp"), Bitmap32(64, 32, makePixel(8, 8, 8)));
  EXPECT_THROW(tex.importTexture(0, f.dir.file("wrong.bmp")), Error);
  EXPECT_EQ(tex.texturePicture(0), square(64, 1));

  EXPECT_FALSE(tex.writeTexture(0, square(128, 3)));
  EXPECT_EQ(tex.record(0)->extra, 1);
  tex.deleteTexture(2);
  EXPECT_EQ(*tex.record(2), (IndexRecord{-1, -1, -1}));

  const std::string idx2 = f.dir.file("i2"), mul2 = f.dir.file("m2");
  const bool wrote = tex.save(idx2, mul2);
  EXPECT_EQ(wrote, GetParam() == StorageMode::Memory);
  TTextures again;
  // Low-memory mode wrote every change into the loaded files at once.
  if (wrote)
    again.load(idx2, mul2, StorageMode::Memory);
  else
    again.load(f.idx, f.mul, StorageMode::Memory);
  EXPECT_EQ(again.textureCount(), 3);
  EXPECT_EQ(again.texturePicture(0), square(128, 3));
  EXPECT_FALSE(again.textureExists(2));
}

INSTANTIATE_TEST_SUITE_P(BothModes, TextureModes,
                         ::testing::Values(StorageMode::Memory, StorageMode::LowMemory));

TEST(TTextures, DamagedAndEmptySlots) {
  TTextures none;
  EXPECT_EQ(none.textureCount(), 0);
  EXPECT_TRUE(none.texturePicture(0).empty());
  EXPECT_THROW(none.writeTexture(0, square(64)), Error);

  const Bytes data = rawColours(64 * 64, 0);
  // Slots 0 to 2 are whole 64 x 64 textures, slots 3 and 4 empty.
  TextureFiles f({{0, 8192, 1}, {0, 8192, 0}, {0, 8192, 0}, {100, 0, 0}, {-1, 10, 0}}, data);
  const test::Mutation lengthShortOfItsSide = test::setRecordLength(0, 100);
  const test::Mutation slotPastTheDataEnd = test::setRecordLookup(2, 8000);
  test::writeBytes(f.idx, test::mutated(test::readBytes(f.idx),
                                        test::all({lengthShortOfItsSide, slotPastTheDataEnd})));
  TTextures tex;
  tex.load(f.idx, f.mul, StorageMode::Memory);
  try {
    tex.texturePicture(0);
    FAIL();
  } catch (const FormatError& e) {
    EXPECT_NE(std::string(e.what()).find("Texture 0x0 is damaged"), std::string::npos) << e.what();
  }
  EXPECT_EQ(tex.texturePicture(1).width, 64);
  EXPECT_THROW(tex.texturePicture(2), FormatError);
  EXPECT_TRUE(tex.texturePicture(3).empty());
  EXPECT_TRUE(tex.texturePicture(4).empty());

  Random random(3);
  Progress silent;
  // The damaged record stops the rebuild with a clear message; the targets are not created.
  EXPECT_THROW(tex.rebuild(f.dir.file("i3"), f.dir.file("m3"), silent, random), FormatError);
  EXPECT_FALSE(std::ifstream(f.dir.file("i3")).good());
}
