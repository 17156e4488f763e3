#include <gtest/gtest.h>

#include "app/Error.h"
#include "app/Png.h"
#include "models/Multimap.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

Bytes monochrome(std::uint32_t w, std::uint32_t h, std::initializer_list<std::uint8_t> runs) {
  Bytes b(8);
  storeU32(b.data(), w);
  storeU32(b.data() + 4, h);
  for (const std::uint8_t run : runs) b.push_back(run);
  return b;
}

// A 10 x 3 colour map, row by row: sea, a strip of land and sea, a desert row.
Bytes colourRows() {
  return {10, 0x4C, 0x80, 4, 0x04, 0x9A, 6, 0x4C, 0x80, 10, 0x6A, 0xDA};
}

}  // namespace

TEST(TMultimap, MonochromeRunsGoOnAcrossRowsAndSaveBackGreedily) {
  // 200 x 3: 254 pixels off (past the first row's end), one on, the 345 others off.
  const Bytes file = monochrome(200, 3, {0x7F, 0x7F, 0x81, 0x7F, 0x7F, 0x5B});
  TempDir dir;
  test::writeBytes(dir.file("Multimap.rle"), file);
  TMultimap map;
  map.load(dir.file("Multimap.rle"));
  EXPECT_EQ(map.layout(), MultimapLayout::Monochrome);
  EXPECT_EQ(map.width(), 200);
  EXPECT_EQ(map.height(), 3);
  EXPECT_TRUE(map.problems().empty());
  EXPECT_EQ(map.pixelsOn(), 1);
  const Bitmap32 picture = map.picture();
  EXPECT_EQ(picture.at(54, 1), makePixel(0, 0, 0));
  EXPECT_EQ(picture.at(53, 1), makePixel(255, 255, 255));
  map.save(dir.file("out.rle"));
  EXPECT_EQ(test::readBytes(dir.file("out.rle")), file);

  // Through a PNG and back: the same runs.
  map.exportPng(dir.file("map.png"));
  EXPECT_EQ(readPngFile(dir.file("map.png")), picture);
  Bitmap32 drawn = picture;
  drawn.at(0, 0) = makePixel(20, 30, 10);  // dark enough to be on
  drawn.at(54, 1) = makePixel(200, 200, 200);
  writePngFile(dir.file("drawn.png"), drawn);
  map.importPng(dir.file("drawn.png"));
  EXPECT_TRUE(map.isChanged());
  EXPECT_EQ(map.bytes(), monochrome(200, 3, {0x81, 0x7F, 0x7F, 0x7F, 0x7F, 0x5B}));
}

TEST(TMultimap, DamagedMonochromeFilesAreReadAndSaid) {
  TMultimap map;
  // Runs that stop short of the size are refused, naming what they cover.
  try {
    map.loadBytes(monochrome(10, 2, {0x85}));
    ADD_FAILURE() << "a file of 5 of its 20 pixels was read";
  } catch (const FormatError& e) {
    EXPECT_STREQ(e.what(), "Multimap.rle: its runs cover 5 of its 10 x 2 pixels.");
  }
  EXPECT_FALSE(map.isLoaded());

  map.loadBytes(monochrome(4, 2, {0x00, 0x86, 0x7F}));
  ASSERT_EQ(map.problems().size(), 2u);
  EXPECT_EQ(map.problems()[0], "Multimap.rle runs on for 125 pixels past its 4 x 2; they are left out.");
  EXPECT_EQ(map.problems()[1], "Multimap.rle holds 1 runs of no pixels; a save drops them.");
  EXPECT_EQ(map.bytes(), monochrome(4, 2, {0x86, 0x02}));

  // Too short, or a head that is no size over bytes that are no colour runs: refused, and the
  // model keeps its picture.
  EXPECT_THROW(map.loadBytes(Bytes(7, 1)), FormatError);
  EXPECT_THROW(map.loadBytes(monochrome(0, 5, {1, 2})), FormatError);
  EXPECT_THROW(map.loadBytes(monochrome(70000, 5, {1})), FormatError);
  EXPECT_EQ(map.width(), 4);
  EXPECT_EQ(map.pixelsOn(), 6);
  // A size the head allows but no overview needs is refused before anything is allocated.
  EXPECT_THROW(map.loadBytes(monochrome(65536, 65536, {})), FormatError);
}

TEST(TMultimap, HeadlessColourFilesFindTheirWidthAndSaveRowByRow) {
  TMultimap map;
  map.loadBytes(colourRows());
  EXPECT_EQ(map.layout(), MultimapLayout::Colour);
  EXPECT_EQ(map.width(), 10);
  EXPECT_EQ(map.height(), 3);
  EXPECT_EQ(map.colourCount(), 3);
  EXPECT_EQ(map.bytes(), colourRows());
  const Bitmap32 picture = map.picture();
  EXPECT_EQ(picture.at(3, 1), colour16ToPixel(0x1A04));

  TempDir dir;
  map.exportPng(dir.file("colour.png"));
  TMultimap again;
  again.loadBytes(colourRows());
  again.importPng(dir.file("colour.png"));
  EXPECT_EQ(again.bytes(), colourRows());

  // A width given by the caller: whole rows only; runs crossing a row end are cut and said.
  TMultimap thirty;
  thirty.loadBytes(colourRows(), 30);
  EXPECT_EQ(thirty.height(), 1);
  EXPECT_TRUE(thirty.problems().empty());
  EXPECT_EQ(thirty.bytes(), colourRows());
  TMultimap five;
  five.loadBytes(colourRows(), 5);
  EXPECT_EQ(five.height(), 6);
  ASSERT_EQ(five.problems().size(), 1u);
  EXPECT_EQ(five.problems()[0],
            "Multimap.rle: runs cross the ends of rows 5 pixels wide; a save cuts them there.");
  EXPECT_EQ(five.bytes().size(), 7u * 3);
  EXPECT_THROW(five.loadBytes(colourRows(), 7), FormatError);
  EXPECT_EQ(five.width(), 5);
  // One run is a colour map too, though shorter than a monochrome head.
  TMultimap tiny;
  tiny.loadBytes(Bytes{5, 0x4C, 0x80});
  EXPECT_EQ(tiny.width(), 5);
  EXPECT_EQ(tiny.height(), 1);
  // A run of no pixels is refused.
  Bytes zero = colourRows();
  zero[3] = 0;
  EXPECT_THROW(map.loadBytes(zero), FormatError);

  // A picture of another size is refused, naming both.
  writePngFile(dir.file("small.png"), Bitmap32(4, 4, makePixel(1, 2, 3)));
  try {
    map.importPng(dir.file("small.png"));
    FAIL() << "a picture of another size was taken";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "The picture is 4 x 4; Multimap.rle is 10 x 3.");
  }
  EXPECT_EQ(map.bytes(), colourRows());
}
