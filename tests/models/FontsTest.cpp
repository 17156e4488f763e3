#include <gtest/gtest.h>

#include "app/Error.h"
#include "models/Fonts.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

// A font whose character c is (c % 5 + 1) wide and (c % 3 + 2) tall, its pixels numbered, and
// 'A' a 6 x 20 picture as the client's font 0 has its space.
Bytes fontBytes(std::uint8_t third) {
  Bytes b{1};
  for (int code = 0x20; code <= 0xFF; ++code) {
    const int w = code == 'A' ? 6 : code % 5 + 1;
    const int h = code == 'A' ? 20 : code % 3 + 2;
    b.push_back(static_cast<std::uint8_t>(w));
    b.push_back(static_cast<std::uint8_t>(h));
    b.push_back(code >= 0x80 && code <= 0x9F ? 3 : third);
    for (int k = 0; k < w * h; ++k) {
      const auto v = static_cast<std::uint16_t>(k % 4 == 0 ? 0 : (code * 31 + k) & 0x7FFF);
      b.push_back(static_cast<std::uint8_t>(v));
      b.push_back(static_cast<std::uint8_t>(v >> 8));
    }
  }
  return b;
}

Bytes twoFontsAndATrailer() {
  Bytes file = fontBytes(4);
  const Bytes second = fontBytes(5);
  file.insert(file.end(), second.begin(), second.end());
  file.insert(file.end(), 15, 0);
  for (int k = 0; k < 128; ++k)
    file.push_back(static_cast<std::uint8_t>(k == 0 || k == 127 ? 'x' : "0123456789abcdef"[k % 16]));
  return file;
}

}  // namespace

TEST(TFonts, FontsFollowOneAnotherAndTheTrailerIsKept) {
  const Bytes file = twoFontsAndATrailer();
  TempDir dir;
  test::writeBytes(dir.file("fonts.mul"), file);
  TFonts fonts;
  fonts.load(dir.file("fonts.mul"));
  EXPECT_EQ(fonts.fontCount(), 2u);
  EXPECT_EQ(fonts.trailer().size(), 143u);
  EXPECT_TRUE(fonts.problems().empty());
  const FontChar& a = fonts.character(0, 'A');
  EXPECT_EQ(a.width, 6);
  EXPECT_EQ(a.height, 20);
  EXPECT_EQ(a.third, 4);
  EXPECT_EQ(fonts.character(1, 0x85).third, 3);
  EXPECT_EQ(fonts.character(1, 0xFF).third, 5);
  fonts.save(dir.file("out.mul"));
  EXPECT_EQ(test::readBytes(dir.file("out.mul")), file);

  // A font cut short: the whole ones are read, the rest kept and said.
  Bytes cut = fontBytes(4);
  const Bytes second = fontBytes(4);
  cut.insert(cut.end(), second.begin(), second.begin() + 1000);
  fonts.loadBytes(cut);
  EXPECT_EQ(fonts.fontCount(), 1u);
  ASSERT_EQ(fonts.problems().size(), 1u);
  EXPECT_NE(fonts.problems()[0].find("Font 1 (at "), std::string::npos);
  EXPECT_EQ(fonts.bytes(), cut);

  // Not one whole font: refused, and the model keeps what it had.
  EXPECT_THROW(fonts.loadBytes(Bytes(672, 0)), FormatError);
  const Bytes whole = fontBytes(4);
  EXPECT_THROW(fonts.loadBytes(Bytes(whole.begin(), whole.end() - 1)), FormatError);
  EXPECT_EQ(fonts.fontCount(), 1u);
  // Characters without pixels are whole characters.
  fonts.loadBytes(Bytes(673, 0));
  EXPECT_EQ(fonts.character(0, 0x20).pixels.size(), 0u);
}

TEST(TFonts, CharactersAsPicturesAndText) {
  TFonts fonts;
  fonts.loadBytes(twoFontsAndATrailer());
  const Bitmap32 a = fonts.picture(0, 'A');
  EXPECT_EQ(a.width, 6);
  EXPECT_EQ(alphaOf(a.at(0, 0)), 0);  // pixel 0: transparent
  EXPECT_EQ(a.at(1, 0), colour16ToPixel(static_cast<Colour16>((0x41 * 31 + 1) & 0x7FFF)));

  // A picture of its own size becomes the character; the third byte stays.
  Bitmap32 drawn(3, 2, 0);
  drawn.at(1, 1) = makePixel(248, 0, 0);
  drawn.at(2, 0) = makePixel(0, 0, 0);  // black is the game's transparent colour
  fonts.setPicture(1, 0xE9, drawn);
  const FontChar& e = fonts.character(1, 0xE9);
  EXPECT_EQ(e.width, 3);
  EXPECT_EQ(e.third, 5);
  EXPECT_EQ(e.pixels, (std::vector<std::uint16_t>{0, 0, 0, 0, 0x7C00, 0}));
  EXPECT_TRUE(fonts.isChanged());
  TFonts again;
  again.loadBytes(fonts.bytes());
  EXPECT_EQ(again.character(1, 0xE9), e);
  EXPECT_EQ(again.trailer(), fonts.trailer());
  EXPECT_THROW(fonts.setPicture(1, 0x1F, drawn), Error);
  EXPECT_THROW(fonts.setPicture(2, 'A', drawn), Error);
  EXPECT_THROW(fonts.setPicture(0, 'A', Bitmap32(256, 1)), Error);

  // Text: characters side by side, "é" as its one byte, a character the code page lacks as '?'.
  const Bitmap32 line = fonts.renderText(1, "A\xC3\xA9\xE4\xB8\x80");
  EXPECT_EQ(line.width, 6 + 3 + fonts.character(1, '?').width);
  EXPECT_EQ(line.height, 20);
  EXPECT_EQ(line.at(6 + 1, 1), makePixel(248, 0, 0));

  const Bitmap32 sheet = fonts.sheet(0);
  EXPECT_EQ(sheet.width, 16 * (7 + 3) + 1);
  EXPECT_EQ(sheet.height, 14 * (20 + 9) + 1);
  // The code "41" heads the cell of 'A' (row 2, column 1): the top of the 4 and of the 1.
  const int x0 = 1 * 10, y0 = 2 * 29;
  EXPECT_EQ(sheet.at(x0 + 2, y0 + 2), makePixel(64, 64, 64));
  EXPECT_EQ(sheet.at(x0 + 3, y0 + 2), makePixel(255, 255, 255));
  EXPECT_EQ(sheet.at(x0 + 7, y0 + 2), makePixel(64, 64, 64));
}
