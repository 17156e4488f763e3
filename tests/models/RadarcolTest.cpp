#include <gtest/gtest.h>

#include "app/Error.h"
#include "app/Text.h"
#include "models/Art.h"
#include "models/Radarcol.h"
#include "models/Textures.h"
#include "sample/Sample.h"
#include "support/Mutations.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

TEST(TRadarcol, EntriesOfLandAndStatics) {
  TempDir dir;
  Bytes table(0x4006 * 2, 0);
  storeU16(table.data() + 0x800A, 0x1234);
  storeU16(table.data() + 6, 0x03E0);
  test::writeBytes(dir.file("radarcol.mul"), table);

  TRadarcol radar;
  EXPECT_EQ(radar.radarColour(3), 0);
  EXPECT_THROW(radar.setRadarColour(3, 1), Error);
  radar.load(dir.file("radarcol.mul"));
  EXPECT_EQ(radar.entryCount(), 0x4006);
  EXPECT_EQ(radar.staticColour(5), 0x1234);
  EXPECT_EQ(radar.radarColour(0x4005), 0x1234);
  EXPECT_EQ(radar.landColour(3), 0x03E0);
  EXPECT_EQ(radar.radarColour(0x4006), 0);  // beyond the table
  EXPECT_EQ(radar.radarColour(-1), 0);

  radar.setRadarColour(7, rgbToColour16(248, 0, 0));
  EXPECT_EQ(radar.radarColour(7), 0x7C00);
  EXPECT_EQ(colour16ToPixel(radar.radarColour(7)), makePixel(248, 0, 0));

  // Setting past the end grows the table with zero entries.
  radar.setRadarColour(0x4010, 0x7FFF);
  EXPECT_EQ(radar.entryCount(), 0x4011);
  EXPECT_EQ(radar.radarColour(0x400F), 0);
  EXPECT_THROW(radar.setRadarColour(kRadarMaxEntries, 1), Error);
  EXPECT_THROW(radar.setRadarColour(-1, 1), Error);

  radar.save(dir.file("out.mul"));
  Bytes expected = table;
  storeU16(expected.data() + 14, 0x7C00);
  expected.resize(0x4011 * 2, 0);
  storeU16(expected.data() + 0x4010 * 2, 0x7FFF);
  EXPECT_EQ(test::readBytes(dir.file("out.mul")), expected);
}

TEST(TRadarcol, OddTrailingByteIsKeptOnSave) {
  TempDir dir;
  const test::Mutation lengthOdd = test::append({3});
  test::writeBytes(dir.file("r.mul"), test::mutated(Bytes{1, 2}, lengthOdd));
  TRadarcol radar;
  radar.load(dir.file("r.mul"));
  EXPECT_EQ(radar.entryCount(), 1);
  EXPECT_EQ(radar.radarColour(0), 0x0201);
  radar.save(dir.file("r2.mul"));
  EXPECT_EQ(test::readBytes(dir.file("r2.mul")), (Bytes{1, 2, 3}));
  EXPECT_THROW(TRadarcol().save(dir.file("r3.mul")), Error);
}

TEST(TRadarcol, SampleTableMatchesTheSampleArt) {
  TempDir dir;
  sample::writeArt(dir.path());
  sample::writeTextures(dir.path());
  sample::writeRadarcol(dir.path());
  TArt art;
  art.load(dir.file("artidx.mul"), dir.file("art.mul"), StorageMode::Memory);
  TRadarcol radar;
  radar.load(dir.file("radarcol.mul"));
  ASSERT_GE(radar.entryCount(), kRadarStaticBase + 0x4000);
  int checked = 0;
  auto expect = [&](std::int64_t entry, std::optional<Pixel> average) {
    const Colour16 want =
        average ? rgbToColour16(redOf(*average), greenOf(*average), blueOf(*average)) : 0;
    EXPECT_EQ(radar.radarColour(entry), want) << hexLabel(static_cast<std::uint32_t>(entry));
    checked += average ? 1 : 0;
  };
  for (std::int64_t t = 0; t < kLandTileCount; ++t) expect(t, art.landAverageColour(t));
  for (std::int64_t s = 0; s < art.staticCount() && s < 0x4000; ++s)
    expect(kRadarStaticBase + s, art.staticAverageColour(s));
  EXPECT_GT(checked, 10);

  // Every ground kind of the sample has a texture, in both common sizes.
  TTextures tex;
  tex.load(dir.file("texidx.mul"), dir.file("texmaps.mul"), StorageMode::Memory);
  EXPECT_EQ(tex.textureCount(), 0x4000);
  for (std::int64_t t = 1; t <= 0xF; ++t) EXPECT_EQ(tex.texturePicture(t).width, t % 2 ? 64 : 128);
}
