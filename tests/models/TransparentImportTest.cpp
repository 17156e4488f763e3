// Pictures drawn on a transparent layer: every importer with a transparent colour stores the
// fully transparent pixels as that colour, whatever colour the layer holds underneath.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/FileIO.h"
#include "models/Art.h"
#include "models/Gump.h"
#include "models/Light.h"
#include "models/Verdata.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

constexpr Pixel kOpaqueGreen = makePixel(40, 200, 40);

// 6 x 4, written by ImageMagick: the left three columns orange under alpha 0 (the file keeps the
// orange), the right three opaque green.
std::string transparentPng(const TempDir& dir) {
  const std::string file = dir.file("layer.png");
  const std::string command =
      "/usr/bin/convert -size 6x4 'xc:rgb(200,120,40)' -fill 'rgb(40,200,40)' "
      "-draw 'rectangle 3,0 5,3' -alpha set -region 3x4+0+0 -channel A -evaluate set 0 "
      "+channel PNG32:" +
      file + " 2>/dev/null";
  if (std::system(command.c_str()) != 0) return "";
  return file;
}

// An empty pair of `records` empty records.
void writeEmptyPair(const std::string& idx, const std::string& mul, std::int64_t records) {
  test::writeBytes(idx, test::indexBytes(std::vector<IndexRecord>(static_cast<std::size_t>(records),
                                                                  IndexRecord{-1, -1, 0})));
  test::writeBytes(mul, {});
}

}  // namespace

TEST(TransparentPixels, ImportAsEachFormatsTransparentColour) {
  if (!fileExists("/usr/bin/convert")) GTEST_SKIP() << "ImageMagick's convert is not installed";
  TempDir dir;
  const std::string png = transparentPng(dir);
  ASSERT_FALSE(png.empty());
  const Pixel green = colour16ToPixel(pixelToColour16(kOpaqueGreen));

  // Static art: the transparent columns are a gap, shown as the white background.
  writeEmptyPair(dir.file("artidx.mul"), dir.file("art.mul"), kStaticBase + 1);
  TArt art;
  art.load(dir.file("artidx.mul"), dir.file("art.mul"), StorageMode::Memory);
  art.importStatic(0, png);
  const Bitmap32 statik = art.staticPicture(0);
  EXPECT_EQ(statik.at(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(statik.at(2, 3), 0xFFFFFFFFu);
  EXPECT_EQ(statik.at(3, 0), green);
  const Bytes data = *art.staticData(0);
  EXPECT_EQ(loadU16(data.data() + 8 + 2 * 4), 3);  // row 0 starts with a gap of 3
  EXPECT_EQ(loadU16(data.data() + 8 + 2 * 4 + 2), 3);

  // Gumps: colour 0, which the game leaves undrawn.
  writeEmptyPair(dir.file("gumpidx.mul"), dir.file("gumpart.mul"), 1);
  TGump gump;
  gump.load(dir.file("gumpidx.mul"), dir.file("gumpart.mul"));
  gump.importGump(0, png);
  const Bitmap32 g = gump.gumpPicture(0);
  EXPECT_EQ(g.at(1, 2), colour16ToPixel(0));
  EXPECT_EQ(g.at(4, 2), green);

  // Light: no light, intensity 0.
  writeEmptyPair(dir.file("lightidx.mul"), dir.file("light.mul"), 1);
  TLight light;
  light.load(dir.file("lightidx.mul"), dir.file("light.mul"));
  light.importLight(0, png);
  const Bytes points = *light.slotBytes(0);
  EXPECT_EQ(points[0], 0);
  EXPECT_EQ(points[3], blueOf(kOpaqueGreen));

  // Verdata patches of statics and gumps: colour 0, their one transparent colour.
  TVerdata verdata;
  verdata.loadBytes(Bytes(4, 0));
  verdata.addStaticFile(1, png);
  EXPECT_EQ(verdata.staticPicture(1).at(0, 0), 0u);
  EXPECT_EQ(verdata.staticPicture(1).at(5, 3), green);
  verdata.addGumpFile(2, png);
  EXPECT_EQ(verdata.gumpPicture(2).at(0, 1), colour16ToPixel(0));
  EXPECT_EQ(verdata.gumpPicture(2).at(3, 1), green);
}
