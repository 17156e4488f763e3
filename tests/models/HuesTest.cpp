#include <gtest/gtest.h>

#include "app/Error.h"
#include "app/FileIO.h"
#include "models/Hues.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

// `blocks` whole blocks with non-zero headers and entries whose colours, bounds and names tell
// them apart, then `tail` extra bytes.
Bytes huesFile(std::size_t blocks, std::size_t tail = 0) {
  ByteWriter w;
  for (std::size_t b = 0; b < blocks; ++b) {
    w.u32(static_cast<std::uint32_t>(0xA0B0C000 + b));
    for (std::size_t k = 0; k < 8; ++k) {
      const std::size_t e = b * 8 + k;
      for (std::size_t n = 0; n < 32; ++n) w.u16(static_cast<std::uint16_t>((e * 32 + n) & 0x7FFF));
      w.u16(static_cast<std::uint16_t>(e));
      w.u16(static_cast<std::uint16_t>(e + 1000));
      w.fixedString("hue " + std::to_string(e), 20);
    }
  }
  for (std::size_t i = 0; i < tail; ++i) w.u8(static_cast<std::uint8_t>(0xE0 + i));
  return w.take();
}

}  // namespace

TEST(Hues, LoadsWholeBlocksAndSavesTheSameBytes) {
  TempDir dir;
  const Bytes original = huesFile(3, 100);
  test::writeBytes(dir.file("hues.mul"), original);
  THues hues;
  EXPECT_EQ(hues.hueCount(), 0);
  EXPECT_FALSE(hues.hueColour(0, 0).has_value());
  hues.load(dir.file("hues.mul"));
  EXPECT_TRUE(hues.isLoaded());
  EXPECT_EQ(hues.hueCount(), 24);
  EXPECT_EQ(hues.hueColour(23, 5), 23 * 32 + 5);
  EXPECT_EQ(hues.entry(9)->tableStart, 9);
  EXPECT_EQ(hues.entry(9)->tableEnd, 1009);
  EXPECT_EQ(hues.hueName(17), "hue 17");
  // Block headers and the bytes past the last whole block come back unchanged.
  hues.save(dir.file("out.mul"));
  EXPECT_EQ(test::readBytes(dir.file("out.mul")), original);
}

TEST(Hues, SecondLoadReplacesTheTable) {
  THues hues;
  hues.loadBytes(huesFile(3));
  hues.loadBytes(huesFile(1));
  EXPECT_EQ(hues.hueCount(), 8);
  EXPECT_EQ(hues.toBytes(), huesFile(1));
  // A file that cannot be read leaves the table as it was.
  EXPECT_THROW(hues.load("/nonexistent/hues.mul"), FileError);
  EXPECT_EQ(hues.hueCount(), 8);
}

TEST(Hues, NamesOfTwentyCharactersHaveNoTerminator) {
  THues hues;
  hues.loadBytes(huesFile(1));
  hues.setHueName(2, "exactly twenty chars");
  EXPECT_EQ(hues.hueName(2), "exactly twenty chars");
  hues.setHueName(3, "longer than twenty characters");
  EXPECT_EQ(hues.hueName(3), "longer than twenty c");
  hues.setHueName(4, "ab");
  const HueEntry e = *hues.entry(4);
  EXPECT_EQ(e.name[2], 0);
  EXPECT_EQ(e.name[19], 0);
  const Bytes bytes = hues.toBytes();
  EXPECT_EQ(std::string(bytes.begin() + 4 + 2 * 88 + 68, bytes.begin() + 4 + 2 * 88 + 88),
            "exactly twenty chars");
}

TEST(Hues, SpreadLiesOnTheLineBetweenItsEnds) {
  THues hues;
  hues.loadBytes(huesFile(1));
  hues.setHueColour16(0, 0, 0x0000);
  hues.setHueColour16(0, 31, 0x7FFF);
  hues.spreadHue(0, 31, 0);
  for (int k = 0; k < 32; ++k) EXPECT_EQ(*hues.hueColour(0, k), (k << 10) | (k << 5) | k) << k;

  // Only colours from..to change; the ends stay as they were.
  hues.setHueColour(1, 4, 80, 0, 248);
  hues.setHueColour(1, 8, 240, 128, 0);
  const Colour16 before3 = *hues.hueColour(1, 3);
  const Colour16 before9 = *hues.hueColour(1, 9);
  hues.spreadHue(4, 8, 1);
  EXPECT_EQ(*hues.hueColour(1, 4), rgbToColour16(80, 0, 248));
  EXPECT_EQ(*hues.hueColour(1, 8), rgbToColour16(240, 128, 0));
  EXPECT_EQ(*hues.hueColour(1, 6), rgbToColour16(160, 64, 124));
  EXPECT_EQ(*hues.hueColour(1, 3), before3);
  EXPECT_EQ(*hues.hueColour(1, 9), before9);

  EXPECT_THROW(hues.spreadHue(5, 5, 1), Error);
  EXPECT_THROW(hues.spreadHue(0, 32, 1), Error);
  EXPECT_THROW(hues.spreadHue(0, 31, 8), Error);
}

TEST(Hues, HuedColourPicksByRedAndLeavesUnknownHuesUnhued) {
  THues hues;
  hues.loadBytes(huesFile(1));
  // Colour n of the ramp is chosen by the 5-bit red of the pixel.
  EXPECT_EQ(hues.huedColour(2, rgbToColour16(5 << 3, 200, 10)), *hues.hueColour(2, 5));
  EXPECT_EQ(hues.huedPixel(2, makePixel(5 << 3, 200, 10)), colour16ToPixel(*hues.hueColour(2, 5)));
  // Art and textures take colour 1 for a red of 0; the preview takes colour 0.
  EXPECT_EQ(hues.huedColour(2, 0x001F), *hues.hueColour(2, 1));
  EXPECT_EQ(hues.huedColour(2, 0x001F, false), *hues.hueColour(2, 0));
  // Entries outside the table draw the colour as it is.
  for (int unknown : {-1, 8, 3000, 0x7FFFFFFF}) {
    EXPECT_EQ(hues.huedColour(unknown, 0x1234), 0x1234);
    EXPECT_EQ(hues.huedPixel(unknown, 0xFF102030), 0xFF102030u);
    EXPECT_FALSE(hues.entry(unknown).has_value());
    EXPECT_EQ(hues.hueName(unknown), "");
    EXPECT_THROW(hues.setHueName(unknown, "x"), Error);
  }
  EXPECT_FALSE(hues.hueColour(0, 32).has_value());
  EXPECT_FALSE(hues.hueColour(0, -1).has_value());
  EXPECT_THROW(hues.setHueColour16(0, 32, 0), Error);
}

TEST(Hues, SaveWritesWholeBlocksOnly) {
  THues hues;
  EXPECT_THROW(hues.save("/tmp/never-written-hues.mul"), Error);
  hues.loadBytes(huesFile(2));
  EXPECT_EQ(hues.toBytes().size(), 2 * 708u);
  hues.loadBytes(huesFile(0, 707));
  EXPECT_EQ(hues.hueCount(), 0);
  EXPECT_EQ(hues.toBytes(), huesFile(0, 707));
}

TEST(Hues, RampTextAndPictureExportImportBack) {
  TempDir dir;
  THues hues;
  hues.loadBytes(huesFile(2));
  const HueEntry original = *hues.entry(3);
  hues.exportHue(3, dir.file("ramp.txt"));
  hues.exportHue(3, dir.file("ramp.png"));
  hues.exportHue(3, dir.file("ramp.bmp"));

  hues.importHue(10, dir.file("ramp.txt"));
  EXPECT_EQ(*hues.entry(10), original);
  hues.importHue(11, dir.file("ramp.png"));
  EXPECT_EQ(hues.entry(11)->colours, original.colours);
  EXPECT_EQ(hues.hueName(11), "hue 11");  // a picture carries only the colours
  hues.importHue(12, dir.file("ramp.bmp"));
  EXPECT_EQ(hues.entry(12)->colours, original.colours);

  // A damaged line changes nothing and names its line where the test says so.
  const struct {
    const char* name;
    const char* text;
    const char* message;
  } damaged[] = {
      {"colour_beyond_16_bits", "Name\tfine\r\nColour3\t0x10000\r\n", "line 2"},
      {"colour_number_past_the_ramp", "Colour32\t0x1\r\n", ""},
      {"colour_not_a_number", "Colour1\tabc\r\n", ""},
  };
  const HueEntry before = *hues.entry(4);
  for (const auto& d : damaged) {
    SCOPED_TRACE(d.name);
    test::writeText(dir.file("bad.txt"), d.text);
    try {
      hues.importHue(4, dir.file("bad.txt"));
      ADD_FAILURE() << "a damaged ramp text was imported";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(d.message), std::string::npos) << e.what();
    }
    EXPECT_EQ(*hues.entry(4), before);
  }
}

TEST(Hues, HuedPicturesTakeTheChosenHueOnTheNamedPixels) {
  THues hues;
  hues.loadBytes(huesFile(1));
  const Pixel transparent = 0, black = makePixel(0, 0, 0), grey = makePixel(3 << 3, 3 << 3, 3 << 3);
  const Pixel red = makePixel(5 << 3, 0, 0);
  Bitmap32 picture(4, 1);
  picture.pixels = {transparent, black, grey, red};
  const auto ramp = [&](int e, int n) { return colour16ToPixel(*hues.hueColour(e, n)); };

  // Hue 3 is entry 2. Animations and art: only 0 stays; gumps: black stays too.
  const Bitmap32 art = hues.huedPicture(picture, HueChoice::hue(3), HuedPixels::NotZero);
  EXPECT_EQ(art.pixels, (std::vector<Pixel>{0, ramp(2, 0), ramp(2, 3), ramp(2, 5)}));
  const Bitmap32 gump = hues.huedPicture(picture, HueChoice::entry(2), HuedPixels::NotBlack);
  EXPECT_EQ(gump.pixels, (std::vector<Pixel>{0, black, ramp(2, 3), ramp(2, 5)}));
  // Every pixel, red 0 taking colour 1; a partial hue leaves coloured pixels alone.
  const Bitmap32 all = hues.huedPicture(picture, HueChoice::hue(3, true), HuedPixels::All);
  EXPECT_EQ(all.pixels, (std::vector<Pixel>{ramp(2, 1), ramp(2, 1), ramp(2, 3), red}));
  // No hue, or one beyond the table (the selection entry 154 of an 8-entry table): unchanged.
  EXPECT_EQ(hues.huedPicture(picture, HueChoice::none(), HuedPixels::All), picture);
  EXPECT_EQ(hues.huedPicture(picture, HueChoice::selection(), HuedPixels::All), picture);
  EXPECT_EQ(hues.huedPicture(picture, HueChoice::hue(0), HuedPixels::All), picture);
}

TEST(Hues, TextImportRefusesValuesTheEntryCannotHoldNamingLineAndField) {
  THues hues;
  hues.loadBytes(Bytes(THues::kBlockSize, 0));
  const HueEntry before = *hues.entry(2);
  const struct {
    std::vector<std::string> lines;
    std::string message;
  } cases[] = {
      {{"Name\tok", "TableEnd\t65536"},
       "Hue text line 2: field \"TableEnd\": '65536' does not fit 0 to 65535."},
      {{"Colour7\t-1"}, "Hue text line 1: field \"Colour7\": '-1' does not fit 0 to 65535."},
      {{"Colour0\t1", "TableStart\t12x"},
       "Hue text line 2: field \"TableStart\": '12x' is not a valid integer value"},
      {{"Name\ta name of twenty-one!"},
       "Hue text line 1: field \"Name\": 'a name of twenty-one!' has 21 characters; a hue name "
       "holds at most 20."},
  };
  for (const auto& c : cases) {
    try {
      hues.setHueText(2, c.lines);
      ADD_FAILURE() << c.message;
    } catch (const Error& e) {
      EXPECT_EQ(e.what(), c.message);
    }
    EXPECT_EQ(*hues.entry(2), before);
  }
  // Twenty characters fit, and the name keeps its 8-bit bytes.
  hues.setHueText(2, {"Name\ttwenty characters!!\xE9", "Colour31\t0xFFFF"});
  EXPECT_EQ(hues.entry(2)->nameBytes(), "twenty characters!!\xE9");
  EXPECT_EQ(hues.hueName(2), "twenty characters!!\xC3\xA9");
}
