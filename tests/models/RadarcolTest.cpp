#include <gtest/gtest.h>

#include "app/Error.h"
#include "models/Radarcol.h"
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
  test::writeBytes(dir.file("r.mul"), Bytes{1, 2, 3});
  TRadarcol radar;
  radar.load(dir.file("r.mul"));
  EXPECT_EQ(radar.entryCount(), 1);
  EXPECT_EQ(radar.radarColour(0), 0x0201);
  radar.save(dir.file("r2.mul"));
  EXPECT_EQ(test::readBytes(dir.file("r2.mul")), (Bytes{1, 2, 3}));
  EXPECT_THROW(TRadarcol().save(dir.file("r3.mul")), Error);
}
