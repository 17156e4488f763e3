#include <gtest/gtest.h>

#include "app/Error.h"
#include "models/Unifont.h"
#include "support/TestFiles.h"
#include "support/TextFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

using test::appendUnifontGlyph;

// The client's layout: the table, four unused bytes, the glyphs in code order. 'A' is 10 x 2
// (two bytes a row), starting with the row "....######" of the real font.
Bytes font() {
  Bytes file(0x40004, 0);
  appendUnifontGlyph(file, U'A', 0, 4, 10, 2, {0x0F, 0xC0, 0x19, 0x80});
  appendUnifontGlyph(file, U'Z', -1, 4, 3, 1, {0xA0});
  appendUnifontGlyph(file, 0xAC00, 1, -1, 9, 1, {0xFF, 0x80});
  return file;
}

}  // namespace

TEST(TUnifont, GlyphsByCodePointAndAnUnchangedFontSavesAsItWas) {
  TempDir dir;
  test::writeBytes(dir.file("unifont.mul"), font());
  TUnifont f;
  f.load(dir.file("unifont.mul"));
  EXPECT_TRUE(f.problems().empty());
  EXPECT_EQ(f.glyphs().size(), 3u);
  EXPECT_FALSE(f.has(U' '));
  const UniGlyph& a = f.glyph(U'A');
  EXPECT_EQ(a.yOffset, 4);
  EXPECT_FALSE(a.ink(3, 0));
  EXPECT_TRUE(a.ink(4, 0));
  EXPECT_TRUE(a.ink(9, 0));
  EXPECT_EQ(f.glyph(U'Z').xOffset, -1);
  EXPECT_EQ(f.glyph(0xAC00).yOffset, -1);
  EXPECT_STREQ(TUnifont::blockName(0xAC00), "Hangul Syllables");
  f.save(dir.file("out.mul"));
  EXPECT_EQ(test::readBytes(dir.file("out.mul")), font());

  // Edits lay the glyphs out anew in code order after the kept unused bytes: removing the last
  // one added gives the client's file back.
  Bitmap32 dot(1, 1, makePixel(0, 0, 0));
  f.setPicture(U'.', dot, 0, 9);
  EXPECT_TRUE(f.isChanged());
  TUnifont again;
  again.loadBytes(f.bytes());
  EXPECT_TRUE(again.problems().empty());
  EXPECT_TRUE(again.glyph(U'.').ink(0, 0));
  EXPECT_EQ(again.glyph(U'.').yOffset, 9);
  EXPECT_EQ(loadU32(f.bytes().data() + 4 * U'.'), 0x40004u);
  f.remove(U'.');
  EXPECT_EQ(f.bytes(), font());

  // A picture's ink is its dark opaque pixels.
  const Bitmap32 z = f.picture(U'Z');
  EXPECT_EQ(z.at(0, 0), makePixel(0, 0, 0));
  EXPECT_EQ(alphaOf(z.at(1, 0)), 0);
  EXPECT_THROW(f.setPicture(0x10000, dot, 0, 0), Error);
  EXPECT_THROW(f.setPicture(U'b', dot, 128, 0), Error);
  EXPECT_THROW(f.setOffsets(U'b', 0, 0), Error);
  EXPECT_FALSE(f.has(U'b'));

  // Text: each glyph at its offsets from the pen; a missing character moves the pen only.
  const Bitmap32 line = f.renderText("Z AZ", 4);
  EXPECT_EQ(line.height, 6);  // the top of the line down to the bottom of 'A'
  // 'Z' stands one pixel left of the pen, four down: the picture starts at its left edge.
  EXPECT_EQ(line.at(0, 4), makePixel(0, 0, 0));
  EXPECT_EQ(alphaOf(line.at(0, 0)), 0);
  EXPECT_EQ(line.width, 1 + 3 + 4 + 11 + 3);  // from x -1 to the pen after the last glyph
}

TEST(TUnifont, DamagedFontsAreRefusedOrReadAndSaid) {
  TUnifont f;
  EXPECT_THROW(f.loadBytes(Bytes(0x3FFFF, 0)), FormatError);
  Bytes into = font();
  storeU32(into.data() + 4 * U'B', 0x100);
  EXPECT_THROW(f.loadBytes(into), FormatError);
  Bytes past = font();
  storeU32(past.data() + 4 * U'B', static_cast<std::uint32_t>(past.size() - 2));
  EXPECT_THROW(f.loadBytes(past), FormatError);
  Bytes bits = font();
  bits.pop_back();
  EXPECT_THROW(f.loadBytes(bits), FormatError);
  EXPECT_FALSE(f.isLoaded());

  // Two codes sharing one glyph, and bytes of no glyph: read, said, and an unchanged save keeps
  // them.
  Bytes odd = font();
  storeU32(odd.data() + 4 * U'a', loadU32(odd.data() + 4 * U'A'));
  odd.insert(odd.end(), {7, 7});
  f.loadBytes(odd);
  EXPECT_EQ(f.glyph(U'a'), f.glyph(U'A'));
  ASSERT_EQ(f.problems().size(), 2u);
  EXPECT_EQ(f.bytes(), odd);
  // An empty table is a font without glyphs.
  f.loadBytes(Bytes(0x40000, 0));
  EXPECT_EQ(f.glyphs().size(), 0u);
  EXPECT_EQ(f.bytes().size(), 0x40000u);
}
