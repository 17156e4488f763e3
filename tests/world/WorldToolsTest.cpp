// The whole-file world tools: MapCopy between worlds of different sizes, Delete Statics, Merge
// Statics, the world radar map and the statics repair.

#include <gtest/gtest.h>

#include "app/Error.h"
#include "app/FileIO.h"
#include "world/Map.h"
#include "models/Radarcol.h"
#include "world/Statics.h"
#include "world/WorldTools.h"
#include "support/TestFiles.h"
#include "support/WorldFiles.h"

using namespace quillotide;
using namespace quillotide::test;

namespace {

Progress g_silent;

MapCell cellAt(const Bytes& map, int height, int x, int y) {
  const std::size_t at = static_cast<std::size_t>((x / 8) * (height / 8) + y / 8) * 196 + 4 +
                         3 * static_cast<std::size_t>((y % 8) * 8 + x % 8);
  return {loadU16(map.data() + at), static_cast<std::int8_t>(map[at + 2])};
}

IndexRecord recordAt(const Bytes& index, std::size_t b) {
  return {static_cast<std::int32_t>(loadU32(index.data() + b * 12)),
          static_cast<std::int32_t>(loadU32(index.data() + b * 12 + 4)),
          static_cast<std::int32_t>(loadU32(index.data() + b * 12 + 8))};
}

std::vector<StaticRecord> blockAt(const Bytes& index, const Bytes& data, std::size_t b) {
  const IndexRecord r = recordAt(index, b);
  if (r.lookup < 0 || r.length <= 0) return {};
  return decodeStaticRecords(std::span<const std::uint8_t>(data).subspan(
      static_cast<std::size_t>(r.lookup), static_cast<std::size_t>(r.length)));
}

}  // namespace

TEST(MapCopy, CopiesARegionIntoAnotherSizeSkippingIgnoredIdsAndCellsOutside) {
  TempDir dir;
  const std::string from = dir.file("map0.mul");
  const std::string to = dir.file("map1.mul");
  writeBytes(from, makeMapBytes(32, 16, [](int x, int y) {
               return CellSpec{static_cast<std::uint16_t>(x == 3 ? 0x99 : 0x10 + x),
                               static_cast<std::int8_t>(y)};
             }));
  MapCopyRequest q;
  q.region = CellRegion::of(5, 2, 2, 4);  // x 2..5, y 2..4
  q.sourceWidth = 32;
  q.sourceHeight = 16;
  q.targetWidth = 16;
  q.targetHeight = 24;
  q.targetX = 13;
  q.targetY = 20;
  q.ignoreId = 0x99;
  // A target that does not exist is created whole: every other cell tile 0 at altitude 0.
  const auto message = copyMapFile(from, to, q, g_silent);
  ASSERT_TRUE(message);
  EXPECT_NE(message->find("3 cells"), std::string::npos) << *message;
  const Bytes made = readBytes(to);
  ASSERT_EQ(made.size(), 2u * 3 * 196);
  EXPECT_EQ(cellAt(made, 24, 13, 20), (MapCell{0x12, 2}));
  EXPECT_EQ(cellAt(made, 24, 14, 20), (MapCell{0, 0}));  // under the ignored 0x99
  EXPECT_EQ(cellAt(made, 24, 15, 22), (MapCell{0x14, 4}));
  EXPECT_EQ(cellAt(made, 24, 0, 0), (MapCell{0, 0}));
  // Into the existing file: only the copied cells change.
  writeBytes(to, makeMapBytes(16, 24, [](int, int) { return CellSpec{7, 7}; }));
  copyMapFile(from, to, q, g_silent);
  const Bytes again = readBytes(to);
  EXPECT_EQ(cellAt(again, 24, 14, 20), (MapCell{7, 7}));
  EXPECT_EQ(cellAt(again, 24, 15, 21), (MapCell{0x14, 3}));
  EXPECT_EQ(cellAt(again, 24, 12, 20), (MapCell{7, 7}));
  EXPECT_THROW(copyMapFile(from, from, q, g_silent), Error);
}

TEST(DeleteStatics, EmptiesEveryRecordAndTheData) {
  TempDir dir;
  const StaticsFiles pair = makeStaticsFiles(80, 80, {{1, 3, 3, 0, 0}, {2, 70, 70, 0, 0}});
  ASSERT_EQ(pair.index.size(), 100u * 12);
  writeBytes(dir.file("i.mul"), pair.index);
  writeBytes(dir.file("d.mul"), pair.data);
  deleteStaticsFiles(dir.file("i.mul"), dir.file("d.mul"), g_silent);
  const Bytes index = readBytes(dir.file("i.mul"));
  ASSERT_EQ(index.size(), 100u * 12);
  for (std::size_t b = 0; b < 100; ++b) ASSERT_EQ(recordAt(index, b), (IndexRecord{-1, -1, 0}));
  EXPECT_TRUE(readBytes(dir.file("d.mul")).empty());
  EXPECT_THROW(deleteStaticsFiles(dir.file("i.mul"), dir.file("i.mul"), g_silent), Error);
}

TEST(MergeStatics, PairOneThenPairTwoPerBlockOverTheLongerIndex) {
  TempDir dir;
  const StaticsFiles a = makeStaticsFiles(16, 16, {{1, 1, 1, 0, 0}, {2, 9, 9, 0, 0}});
  const StaticsFiles b = makeStaticsFiles(16, 32, {{3, 1, 2, 0, 0}, {4, 15, 31, 5, 1}});
  writeBytes(dir.file("i1"), a.index);
  writeBytes(dir.file("d1"), a.data);
  writeBytes(dir.file("i2"), b.index);
  writeBytes(dir.file("d2"), b.data);
  // A missing source or a target that is a source stops it before anything is created.
  EXPECT_THROW(mergeStaticsFiles(dir.file("i1"), dir.file("d1"), dir.file("i2"), dir.file("nope"),
                                 dir.file("ti"), dir.file("td"), g_silent),
               Error);
  EXPECT_THROW(mergeStaticsFiles(dir.file("i1"), dir.file("d1"), dir.file("i2"), dir.file("d2"),
                                 dir.file("ti"), dir.file("d1"), g_silent),
               Error);
  EXPECT_FALSE(fileExists(dir.file("ti")));
  EXPECT_EQ(mergeStaticsFiles(dir.file("i1"), dir.file("d1"), dir.file("i2"), dir.file("d2"),
                              dir.file("ti"), dir.file("td"), g_silent),
            "Merging done.");
  const Bytes ti = readBytes(dir.file("ti"));
  const Bytes td = readBytes(dir.file("td"));
  ASSERT_EQ(ti.size(), 8u * 12);
  EXPECT_EQ(blockAt(ti, td, 0), (std::vector<StaticRecord>{{1, 1, 1, 0, 0}, {3, 1, 2, 0, 0}}));
  EXPECT_EQ(blockAt(ti, td, 7), (std::vector<StaticRecord>{{4, 7, 7, 5, 1}}));
  EXPECT_EQ(recordAt(ti, 2), (IndexRecord{-1, -1, 0}));
}

TEST(WorldRadarMap, LandColourUnlessAStaticStandsHigher) {
  Bytes colours(0x10000 * 2, 0);
  storeU16(colours.data() + 2 * 5, 0x7C00);
  storeU16(colours.data() + 2 * (0x4000 + 9), 0x001F);
  storeU16(colours.data() + 2 * (0x4000 + 8), 0x03E0);
  TempDir dir;
  writeBytes(dir.file("radarcol.mul"), colours);
  TRadarcol radar;
  radar.load(dir.file("radarcol.mul"));
  const auto map = WorldStream::memory(makeMapBytes(16, 8, [](int, int) {
    return CellSpec{5, 10};
  }));
  const StaticsFiles pair = makeStaticsFiles(
      16, 8, {{9, 1, 1, 10, 0}, {9, 2, 1, 11, 0}, {8, 2, 1, 11, 0}, {8, 9, 3, 12, 0}});
  const auto index = WorldStream::memory(pair.index);
  const auto data = WorldStream::memory(pair.data);
  std::vector<int> shown;
  const Bitmap32 picture =
      worldRadarMap(*map, *index, *data, 16, 8, radar, 0, [&](int p) { shown.push_back(p); });
  EXPECT_EQ(picture.at(1, 1), colour16ToPixel(0x7C00));  // same altitude as the land
  EXPECT_EQ(picture.at(2, 1), colour16ToPixel(0x001F));  // the first of two equal statics
  EXPECT_EQ(picture.at(9, 3), colour16ToPixel(0x03E0));
  EXPECT_EQ(picture.at(0, 0), colour16ToPixel(0x7C00));
  EXPECT_EQ(shown.front(), 0);
  EXPECT_EQ(shown.back(), 100);
}

TEST(StaticsRepair, DropsAndAddsInTheWorldsOwnGeometry) {
  // A world 16 cells high: block 2 starts at x 8, y 0 (a fixed 4096 would put it at 0, 16).
  const StaticsFiles pair = makeStaticsFiles(
      16, 16,
      {{0xCF3, 9, 1, 5, 0}, {0xCF3, 10, 1, 0, 0}, {0x39E7, 11, 1, 0, 0}, {0x39EE, 0, 0, 0, 0}});
  const auto index = WorldStream::memory(pair.index);
  const auto data = WorldStream::memory(pair.data);
  const auto ground = [](int x, int y) { return x == 9 && y == 1 ? 0 : 100; };
  const StaticsRepair done = repairStatics(*index, *data, 16, ground, g_silent);
  EXPECT_EQ(done.blocks, 2);
  EXPECT_EQ(done.dropped, 2);
  EXPECT_EQ(done.added, 1);
  EXPECT_EQ(recordAt(index->bytes(), 0), (IndexRecord{-1, -1, 0}));
  EXPECT_EQ(
      blockAt(index->bytes(), data->bytes(), 2),
      (std::vector<StaticRecord>{{0xCF3, 1, 1, 5, 0}, {0x28C1, 1, 1, 5, 0}, {0xCF3, 2, 1, 0, 0}}));
}
