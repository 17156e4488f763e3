#include <gtest/gtest.h>

#include "app/Error.h"
#include "models/Animdata.h"
#include "support/Mutations.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

// Where the fields of tile 9's record lie.
constexpr std::size_t kTile9At = 620, kFrameCountAt = kTile9At + 65, kIntervalAt = kTile9At + 66;

// Two groups with distinct headers and a record for tile 9: offsets 0, 1, -1, count 3, interval 2,
// delay 5; plus a tail of 3 bytes that no record covers.
Bytes sampleFile() {
  Bytes b(2 * 548 + 3, 0);
  for (int i = 0; i < 4; ++i) {
    b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(0xA0 + i);
    b[static_cast<std::size_t>(548 + i)] = static_cast<std::uint8_t>(0xB0 + i);
  }
  std::uint8_t* r = b.data() + 620;
  r[1] = 1;
  r[2] = 0xFF;
  r[64] = 0x42;
  r[65] = 3;
  r[66] = 2;
  r[67] = 5;
  b[b.size() - 1] = 0x99;
  return b;
}

}  // namespace

TEST(TAnimdata, ReadsRecordsAtTheirOffsets) {
  TempDir dir;
  test::writeBytes(dir.file("a.mul"), sampleFile());
  TAnimdata a;
  EXPECT_FALSE(a.isAnimated(9));
  EXPECT_EQ(a.tileCount(), 0);
  a.load(dir.file("a.mul"));
  EXPECT_EQ(TAnimdata::recordOffset(9), 620u);
  EXPECT_EQ(a.tileCount(), 16);
  EXPECT_TRUE(a.isAnimated(9));
  EXPECT_EQ(a.frameCount(9), 3);
  EXPECT_EQ(a.frameInterval(9), 2);
  EXPECT_EQ(a.startDelay(9), 5);
  EXPECT_EQ(a.frameArtId(9, 1), 10);
  EXPECT_EQ(a.frameArtId(9, 2), 8);  // 0xFF is -1
  EXPECT_EQ(a.animatedTiles(), std::vector<int>{9});
  EXPECT_EQ(a.readEntry(9)->unknown, 0x42);
  EXPECT_FALSE(a.readEntry(16));  // past the end: not animated
  EXPECT_FALSE(a.isAnimated(5000));
}

TEST(TAnimdata, CountWithoutIntervalIsNotAnimated) {
  TempDir dir;
  const test::Mutation intervalZero = test::setU8(kIntervalAt, 0);
  test::writeBytes(dir.file("a.mul"), test::mutated(sampleFile(), intervalZero));
  TAnimdata a;
  a.load(dir.file("a.mul"));
  EXPECT_FALSE(a.isAnimated(9));
  EXPECT_EQ(a.frameCount(9), 3);
  EXPECT_TRUE(a.animatedTiles().empty());
}

TEST(TAnimdata, SaveIsByteExactAndEditsTouchOnlyTheirRecord) {
  TempDir dir;
  const Bytes original = sampleFile();
  test::writeBytes(dir.file("a.mul"), original);
  TAnimdata a;
  EXPECT_THROW(a.save(dir.file("x.mul")), Error);
  a.load(dir.file("a.mul"));
  a.save(dir.file("same.mul"));
  EXPECT_EQ(test::readBytes(dir.file("same.mul")), original);

  AnimdataRecord r = *a.readEntry(8);
  r.frameCount = 64;
  r.frameInterval = 1;
  r.offsets[63] = 5;
  a.writeEntry(8, r);
  a.setFrameOffset(8, 0, -3);
  a.save(dir.file("edited.mul"));
  Bytes expected = original;
  expected[552 + 63] = 5;
  expected[552 + 65] = 64;
  expected[552 + 66] = 1;
  expected[552] = 0xFD;
  EXPECT_EQ(test::readBytes(dir.file("edited.mul")), expected);
  EXPECT_EQ(a.frameArtId(8, 0), 5);
}

TEST(TAnimdata, FrameCountsStayWithinTheSixtyFourOffsets) {
  TempDir dir;
  const test::Mutation countPastTheOffsets = test::setU8(kFrameCountAt, 200);
  const Bytes b = test::mutated(sampleFile(), countPastTheOffsets);
  test::writeBytes(dir.file("a.mul"), b);
  TAnimdata a;
  a.load(dir.file("a.mul"));
  EXPECT_EQ(a.frameCount(9), 200);
  EXPECT_EQ(a.playableFrames(9), 64);
  EXPECT_EQ(a.frameArtId(9, 64), 9);  // no offset beyond the 64: the tile itself
  AnimdataRecord r;
  r.frameCount = 65;
  EXPECT_THROW(a.writeEntry(1, r), Error);
  EXPECT_THROW(a.setFrameOffset(1, 64, 1), Error);
  EXPECT_THROW(a.setFrameOffset(1, 0, 128), Error);
  a.save(dir.file("b.mul"));
  EXPECT_EQ(test::readBytes(dir.file("b.mul")), b);  // refused edits wrote nothing
}

TEST(TAnimdata, WritingPastTheEndGrowsWholeGroups) {
  TempDir dir;
  const Bytes original = sampleFile();
  test::writeBytes(dir.file("a.mul"), original);
  TAnimdata a;
  a.load(dir.file("a.mul"));
  AnimdataRecord r;
  r.frameCount = 2;
  r.frameInterval = 4;
  r.offsets[1] = 1;
  a.writeEntry(20, r);
  EXPECT_EQ(a.tileCount(), 24);
  EXPECT_EQ(*a.readEntry(20), r);
  a.save(dir.file("b.mul"));
  const Bytes saved = test::readBytes(dir.file("b.mul"));
  ASSERT_EQ(saved.size(), 3u * 548u);
  EXPECT_TRUE(std::equal(original.begin(), original.end(), saved.begin()));  // the tail kept
  EXPECT_THROW(a.writeEntry(0x10000, r), Error);
}
