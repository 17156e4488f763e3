#include <gtest/gtest.h>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Image.h"
#include "models/Light.h"
#include "support/Mutations.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

Bytes ramp(std::size_t n, int step) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i)
    b[i] = static_cast<std::uint8_t>((i * static_cast<std::size_t>(step)) & 0xFF);
  return b;
}

struct LightFiles {
  TempDir dir;
  std::string idx = dir.file("lightidx.mul");
  std::string mul = dir.file("light.mul");
  TLight light;
  LightFiles(const std::vector<IndexRecord>& records, const Bytes& data)
      : LightFiles(test::indexBytes(records), data) {}
  LightFiles(const Bytes& index, const Bytes& data) {
    test::writeBytes(idx, index);
    test::writeBytes(mul, data);
    light.load(idx, mul);
  }
};

}  // namespace

TEST(LightCodec, IntensityZeroIsGreenAndTheBlueChannelIsStored) {
  const Bitmap32 pic = decodeLight(Bytes{0, 1, 200, 255}, 2, 2);
  EXPECT_EQ(pic.pixels, (std::vector<Pixel>{makePixel(0, 255, 0), makePixel(1, 1, 1),
                                            makePixel(200, 200, 200), makePixel(255, 255, 255)}));
  EXPECT_EQ(encodeLight(pic), (Bytes{0, 1, 200, 255}));
  Bitmap32 other(1, 1, makePixel(10, 200, 30));
  EXPECT_EQ(encodeLight(other), Bytes{30});
  EXPECT_THROW(decodeLight(test::mutated(Bytes{0, 1, 200, 255}, test::cutBy(1)), 2, 2),
               FormatError);
  EXPECT_THROW(encodeLight(Bitmap32()), Error);
}

TEST(TLight, PresenceRuleDiffersFromTheCommonOne) {
  const Bytes data = ramp(400, 3);
  LightFiles f({{100, 0, 0x00100010},   // length 0 counts as present: 16 x 16 from offset 100
                {0, 16, -1},            // extra -1: not present
                {-1, 16, 0x00040004},   // lookup -1: not present
                {0, -5, 0x00020002},    // a negative size other than -1 is still present
                {390, 16, 0x00040004},  // reaches past the data file
                {0, 4, static_cast<std::int32_t>(0xFFFF0001u)}},  // 65535 x 1 on 400 bytes
               data);
  TLight& l = f.light;
  EXPECT_EQ(l.lightCount(), 6);
  EXPECT_TRUE(l.lightExists(0));
  const Bitmap32 pic = l.lightPicture(0);
  ASSERT_EQ(pic.width, 16);
  EXPECT_EQ(pic.at(1, 0), makePixel(data[101], data[101], data[101]));
  EXPECT_FALSE(l.lightExists(1));
  EXPECT_TRUE(l.lightPicture(1).empty());
  EXPECT_FALSE(l.lightExists(2));
  EXPECT_TRUE(l.lightExists(3));
  EXPECT_EQ(l.lightPicture(3).width, 2);
  EXPECT_THROW(l.lightPicture(4), FormatError);
  try {
    l.lightPicture(5);
    FAIL();
  } catch (const FormatError& e) {
    EXPECT_NE(std::string(e.what()).find("Light 0x5 is damaged"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(l.lightExists(6));
  EXPECT_FALSE(TLight().lightExists(0));
}

TEST(TLight, ExportImportRoundTripAndRebuildKeepsZeroLengthSlots) {
  const Bytes data = ramp(256 + 64, 7);
  LightFiles f({{0, 0, 0x00100010}, {-1, -1, -1}, {256, 64, 0x00080008}}, data);
  TLight& l = f.light;

  // Export and import through a bitmap reproduces the slot exactly.
  writeImageFile(f.dir.file("l0.bmp"), l.lightPicture(0));
  l.importLight(1, f.dir.file("l0.bmp"));
  EXPECT_EQ(*l.slotBytes(1), Bytes(data.begin(), data.begin() + 256));
  EXPECT_EQ(*l.record(1), (IndexRecord{static_cast<std::int32_t>(data.size()), 256, 0x00100010}));

  l.deleteLight(2);
  EXPECT_FALSE(l.lightExists(2));
  l.writeLight(2, decodeLight(ramp(64, 5), 8, 8));

  Random random(11);
  Progress silent;
  l.rebuild(f.dir.file("i2"), f.dir.file("m2"), silent, random);
  TLight rebuilt;
  rebuilt.load(f.dir.file("i2"), f.dir.file("m2"));
  for (std::int64_t i = 0; i < 3; ++i) {
    ASSERT_TRUE(rebuilt.lightExists(i));
    EXPECT_EQ(rebuilt.lightPicture(i), l.lightPicture(i)) << i;
    EXPECT_EQ(rebuilt.record(i)->length, l.record(i)->length);
  }
  EXPECT_LT(rebuilt.files().dataSize(), l.files().dataSize());

  ASSERT_TRUE(l.save(f.dir.file("i3"), f.dir.file("m3")));
  EXPECT_EQ(test::readBytes(f.dir.file("m3")).size(), l.files().dataSize());
  EXPECT_THROW(TLight().save(f.dir.file("i4"), f.dir.file("m4")), Error);
}

TEST(TLight, RebuildNamesADamagedLightAndCanLeaveItOut) {
  const test::Mutation slot1PastTheDataEnd = test::setRecordLookup(1, 390);
  const Bytes valid = test::indexBytes({{0, 4, 0x00020002}, {0, 16, 0x00040004}});
  LightFiles f(test::mutated(valid, slot1PastTheDataEnd), ramp(400, 3));
  Random random(2);
  Progress silent;
  try {
    f.light.rebuild(f.dir.file("i2"), f.dir.file("m2"), silent, random);
    FAIL();
  } catch (const DamagedSlotError& e) {
    EXPECT_EQ(e.slot(), 1);
    EXPECT_NE(std::string(e.what()).find("Light 0x1 is damaged"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(fileExists(f.dir.file("i2")));
  EXPECT_EQ(f.light.rebuild(f.dir.file("i2"), f.dir.file("m2"), silent, random, true),
            std::vector<std::int64_t>{1});
  TLight rebuilt;
  rebuilt.load(f.dir.file("i2"), f.dir.file("m2"));
  EXPECT_EQ(rebuilt.lightPicture(0), f.light.lightPicture(0));
  EXPECT_FALSE(rebuilt.lightExists(1));
}
