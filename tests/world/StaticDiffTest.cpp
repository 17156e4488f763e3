#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "app/Error.h"
#include "app/FileIO.h"
#include "registry/Registry.h"
#include "world/StaticDiff.h"
#include "world/WorldFile.h"
#include "support/TestFiles.h"
#include "support/WorldFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

struct DiffBlock {
  std::int32_t block = 0;
  std::vector<StaticRecord> records;  // x and y are offsets in the block
};

// Writes the three static diff files of the blocks, in order, into the directory.
void writeDiff(const TempDir& dir, const std::vector<DiffBlock>& blocks) {
  ByteWriter list;
  ByteWriter index;
  Bytes data;
  for (const DiffBlock& b : blocks) {
    list.i32(b.block);
    const auto start = static_cast<std::int32_t>(data.size());
    for (const StaticRecord& r : b.records) appendStaticRecord(data, r);
    index.i32(b.records.empty() ? -1 : start);
    index.i32(b.records.empty() ? -1 : static_cast<std::int32_t>(data.size()) - start);
    index.i32(0);
  }
  test::writeBytes(dir.file("Stadifl0.mul"), list.take());
  test::writeBytes(dir.file("Stadifi0.mul"), index.take());
  test::writeBytes(dir.file("Stadif0.mul"), data);
}

std::vector<TItem> rect(TStaticDiff& diff, int xa, int xb, int ya, int yb) {
  std::vector<TItem> list;
  return diff.appendItemsInRect(xa, xb, ya, yb, list);
}

IndexRecord indexAt(const Bytes& index, std::size_t p) {
  return {static_cast<std::int32_t>(loadU32(index.data() + p * 12)),
          static_cast<std::int32_t>(loadU32(index.data() + p * 12 + 4)),
          static_cast<std::int32_t>(loadU32(index.data() + p * 12 + 8))};
}

}  // namespace

TEST(StaticDiffTest, LoadsEntriesAndReadsBlocksByTheirPosition) {
  TempDir dir;
  writeDiff(
      dir,
      {{5, {{0x10, 0, 0, 1, 0}}}, {7, {}}, {0x1234, {{0x20, 3, 5, -4, 0x33}, {0x21, 3, 5, 2, 0}}}});
  TStaticDiff diff;
  EXPECT_FALSE(diff.hasBlock(5));
  diff.loadDiffs(dir.path() + "/");
  EXPECT_TRUE(diff.isLoaded());
  ASSERT_EQ(diff.entries().size(), 3u);
  EXPECT_EQ(diff.entries()[2].position, 2);
  EXPECT_TRUE(diff.hasBlock(0x1234));
  EXPECT_FALSE(diff.hasBlock(6));

  // The third block's items come from the record at offset 24; the first item read is 0x3FFFFFF.
  auto items = rect(diff, 70, 80, 416, 423);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[1].serial, kDiffSerialBase);
  EXPECT_EQ(items[1].kind, ItemKind::DiffStatic);
  EXPECT_EQ(items[1].x, 75);
  EXPECT_EQ(items[1].y, 421);
  EXPECT_EQ(items[1].z, -4);
  EXPECT_EQ(items[1].hue, 0x33);
  EXPECT_EQ(items[0].tileId, 0x21);  // front insertion: reverse list order
  EXPECT_TRUE(diff.entries()[2].itemsLoaded);
  EXPECT_FALSE(diff.entries()[0].itemsLoaded);

  // Copies go in front of what the caller's list holds; the rectangle is clipped.
  std::vector<TItem> list(1);
  diff.appendItemsInRect(-100, 10, 60, -5, list);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].tileId, 0x10);
  EXPECT_EQ(list[0].serial, kDiffSerialBase + 2);
  EXPECT_EQ(list[1].kind, ItemKind::None);

  // Deleted items are left out; serials outside the list are ignored.
  diff.remove(kDiffSerialBase);
  diff.setHue(kDiffSerialBase + 3, 1);
  diff.setHue(kDiffSerialBase - 1, 1);
  EXPECT_EQ(rect(diff, 70, 80, 416, 423).size(), 1u);
}

TEST(StaticDiffTest, BlockPictureMarksTheDiffsBlocks) {
  TempDir dir;
  writeDiff(dir, {{100 * 512 + 200, {}}});
  TStaticDiff diff;
  Bitmap32 blank = diff.blockPicture();
  EXPECT_EQ(blank.width, 384);
  EXPECT_EQ(blank.height, 256);
  diff.loadDiffs(dir.path());
  const Bitmap32 picture = diff.blockPicture();
  EXPECT_EQ(picture.at(50, 100), makePixel(0, 0, 0));
  EXPECT_EQ(picture.at(50, 101), makePixel(255, 255, 255));
  EXPECT_EQ(blank.at(50, 100), makePixel(255, 255, 255));
}

TEST(StaticDiffTest, LoadIsAllOrNothing) {
  TempDir good;
  TempDir broken;
  writeDiff(good, {{3, {{0x10, 1, 1, 0, 0}}}});
  writeDiff(broken, {{9, {{0x11, 1, 1, 0, 0}}}});
  std::remove(broken.file("Stadif0.mul").c_str());
  TStaticDiff fresh;
  EXPECT_THROW(fresh.loadDiffs(broken.path()), FileError);
  EXPECT_FALSE(fresh.isLoaded());

  TStaticDiff diff;
  diff.loadDiffs(good.path());
  ASSERT_EQ(rect(diff, 0, 30, 0, 30).size(), 1u);
  try {
    diff.loadDiffs(broken.path());
    FAIL();
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find("Cannot open file"), std::string::npos);
  }
  EXPECT_TRUE(diff.isLoaded());
  EXPECT_TRUE(diff.hasBlock(3));
  EXPECT_FALSE(diff.hasBlock(9));
  EXPECT_EQ(diff.itemCount(), 1u);
  diff.setHue(kDiffSerialBase, 5);
  EXPECT_EQ(diff.item(kDiffSerialBase)->hue, 5);
}

TEST(StaticDiffTest, DamagedFilesLoadWhatIsWholeAndSaySo) {
  TempDir dir;
  writeDiff(dir, {{1, {{0x10, 1, 1, 0, 0}}}, {2, {{0x11, 2, 2, 0, 0}}}});
  // A block list cut inside its third number, an index of two records for it.
  Bytes list = test::readBytes(dir.file("Stadifl0.mul"));
  list.insert(list.end(), {9, 0});
  test::writeBytes(dir.file("Stadifl0.mul"), list);
  TStaticDiff diff;
  diff.loadDiffs(dir.path());
  EXPECT_EQ(diff.entries().size(), 2u);
  auto problems = diff.takeProblems();
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("not a whole number of 4-byte block numbers"), std::string::npos);

  // Counts that disagree, a block outside the world, and records running past the data.
  ByteWriter list2;
  list2.i32(1);
  list2.i32(2);
  list2.i32(0x60000);
  test::writeBytes(dir.file("Stadifl0.mul"), list2.take());
  Bytes index = test::readBytes(dir.file("Stadifi0.mul"));
  storeU32(index.data() + 12 + 4, 700);
  test::writeBytes(dir.file("Stadifi0.mul"), index);
  diff.loadDiffs(dir.path());
  problems = diff.takeProblems();
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_NE(problems[0].find("names 3 blocks but its index holds 2 records"), std::string::npos);
  EXPECT_NE(problems[1].find("outside the world"), std::string::npos);
  EXPECT_EQ(rect(diff, 0, 7, 0, 23).size(), 2u);
  problems = diff.takeProblems();
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("run past the end"), std::string::npos);
}

TEST(StaticDiffTest, SavesChangedBlocksAndReadsThemBack) {
  TempDir dir;
  TempDir out;
  writeDiff(dir, {{0, {{0x10, 1, 1, 0, 0}, {0x11, 2, 2, 0, 0}}},
                  {1, {{0x12, 3, 3, 0, 0}}},
                  {513, {{0x13, 4, 4, 7, 0}}}});
  TStaticDiff diff;
  diff.loadDiffs(dir.path());
  // Mode 0 before any item was read writes nothing.
  EXPECT_EQ(diff.saveDiffs(out.path(), StaticsSaveMode::StaticsOnly, nullptr), std::nullopt);
  EXPECT_FALSE(fileExists(out.file("Stadif0.mul")));

  rect(diff, 0, 15, 0, 15);
  EXPECT_EQ(diff.itemCount(), 4u);
  const auto serialOf = [&](std::uint16_t id) {
    for (std::size_t i = 0; i < diff.itemCount(); ++i)
      if (diff.item(kDiffSerialBase + static_cast<std::int32_t>(i))->tileId == id)
        return kDiffSerialBase + static_cast<std::int32_t>(i);
    return -1;
  };
  // Every item of block 0 deleted; a static of block 1 recoloured, retyped and moved into
  // block 513; moves into a block the diff does not hold or out of the world are refused.
  const std::int32_t moved = serialOf(0x12);
  diff.remove(serialOf(0x10));
  diff.remove(serialOf(0x11));
  diff.setHue(moved, 0x44);
  diff.setTileId(moved, 0x99);
  EXPECT_THROW(diff.move(moved, 0, 8, 0), Error);  // block 2: not in the diff
  EXPECT_THROW(diff.move(moved, -20, 0, 0), Error);
  EXPECT_EQ(diff.item(moved)->x, 3);
  diff.move(moved, 8, 0, 200);  // into block 513, z clamped
  const Bytes dataBefore = diff.dataImage();
  auto written = diff.saveDiffs(out.path(), StaticsSaveMode::StaticsOnly, nullptr);
  ASSERT_TRUE(written);
  EXPECT_EQ(*written, 3u);
  EXPECT_EQ(diff.itemCount(), 0u);

  const Bytes index = test::readBytes(out.file("Stadifi0.mul"));
  EXPECT_EQ(indexAt(index, 0), (IndexRecord{static_cast<std::int32_t>(dataBefore.size()), 0, 0}));
  TStaticDiff again;
  again.loadDiffs(out.path());
  EXPECT_EQ(test::readBytes(out.file("Stadifl0.mul")), test::readBytes(dir.file("Stadifl0.mul")));
  auto items = rect(again, 0, 15, 0, 15);
  ASSERT_EQ(items.size(), 2u);
  std::sort(items.begin(), items.end(), [](const TItem& a, const TItem& b) { return a.x < b.x; });
  EXPECT_EQ(items[0].tileId, 0x99);
  EXPECT_EQ(items[0].hue, 0x44);
  EXPECT_EQ(items[0].x, 11);
  EXPECT_EQ(items[0].y, 11);
  EXPECT_EQ(items[0].z, 127);
  EXPECT_EQ(items[1].tileId, 0x13);
}

TEST(StaticDiffTest, SerialsRestartWithTheItemListAfterASave) {
  TempDir dir;
  writeDiff(dir, {{0, {{0x10, 1, 1, 0, 0}}}, {1, {{0x11, 2, 2, 0, 0}}}});
  TStaticDiff diff;
  diff.loadDiffs(dir.path());
  rect(diff, 0, 15, 0, 15);
  diff.setHue(kDiffSerialBase, 1);
  ASSERT_TRUE(diff.saveDiffs(dir.path(), StaticsSaveMode::StaticsOnly, nullptr));
  // The editor reads the items again; an edit on what it shows reaches that item.
  const auto items = rect(diff, 0, 7, 8, 15);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].serial, kDiffSerialBase);
  diff.setHue(items[0].serial, 0x77);
  EXPECT_EQ(diff.item(items[0].serial)->tileId, 0x11);
  EXPECT_EQ(diff.item(items[0].serial)->hue, 0x77);
}

TEST(StaticDiffTest, SavesWorldFileItemsAsNewDiffBlocks) {
  TempDir out;
  TWorldFile world;
  world.add(0x200, 10, 10, 0, 0);
  world.add(0x201, 11, 12, 1, 2);
  const std::int32_t gone = world.add(0x202, 12, 12, 0, 0);
  world.remove(gone);
  world.add(0x203, 7000, 12, 0, 0);  // outside the world: skipped and counted
  TStaticDiff diff;
  const auto written = diff.saveDiffs(out.path(), StaticsSaveMode::WithUnwrittenItems, &world);
  ASSERT_TRUE(written);
  EXPECT_EQ(*written, 1u);
  EXPECT_EQ(diff.lastSkipped(), 1u);
  EXPECT_EQ(test::readBytes(out.file("Stadifl0.mul")), (Bytes{0x01, 0x02, 0, 0}));
  EXPECT_EQ(indexAt(test::readBytes(out.file("Stadifi0.mul")), 0), (IndexRecord{0, 14, 0}));
  EXPECT_EQ(test::readBytes(out.file("Stadif0.mul")).size(), 14u);
  EXPECT_TRUE(world.unwrittenItems().empty());
  // Not loaded: the new blocks show only after a load.
  EXPECT_FALSE(diff.hasBlock(0x201));
  EXPECT_TRUE(rect(diff, 0, 100, 0, 100).empty());
}

TEST(StaticDiffTest, AFailedSaveKeepsStoreAndWorldFile) {
  TempDir dir;
  TWorldFile world;
  world.add(0x200, 10, 10, 0, 0);
  TStaticDiff diff;
  EXPECT_THROW(
      diff.saveDiffs(dir.file("missing/deeper"), StaticsSaveMode::WithUnwrittenItems, &world),
      FileError);
  EXPECT_EQ(world.unwrittenItems().size(), 1u);
  EXPECT_TRUE(diff.entries().empty());
  EXPECT_EQ(diff.itemCount(), 0u);
}

TEST(StaticDiffTest, WorldSizeSetsTheBlockGeometry) {
  TempDir dir;
  // A 32 x 24 world: three blocks per column, so block 4 starts at (8, 8).
  writeDiff(dir, {{4, {{0x10, 2, 3, 0, 0}}}});
  TStaticDiff diff;
  EXPECT_THROW(diff.setWorldSize(30, 24), Error);
  diff.setWorldSize(32, 24);
  diff.loadDiffs(dir.path());
  const auto items = rect(diff, 0, 100, 0, 100);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].x, 10);
  EXPECT_EQ(items[0].y, 11);
  EXPECT_EQ(diff.blockPicture().width, 2);
  EXPECT_THROW(diff.addItem(1, 32, 0, 0, 0), Error);
}

TEST(StaticDiffTest, RegistryWiresTheDiffIntoTheStaticsRectangle) {
  TempDir dir;
  Registry registry;
  const auto files = test::makeStaticsFiles(32, 24, {{0x100, 1, 1, 0, 0}, {0x101, 9, 9, 0, 0}});
  registry.statics->openBytes(files.index, files.data, 32, 24);
  EXPECT_EQ(registry.statics->getItemsInRect(0, 31, 0, 23).size(), 2u);
  writeDiff(dir, {{4, {{0x10, 2, 3, 0, 0}}}});
  registry.staticDiff->setWorldSize(32, 24);
  registry.staticDiff->loadDiffs(dir.path());
  const auto shown = registry.statics->getItemsInRect(0, 31, 0, 23);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].tileId, 0x100);

  EXPECT_EQ(registry.settingsWorldSize(), std::make_pair(6144, 4096));
}
