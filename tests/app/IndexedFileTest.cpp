#include <gtest/gtest.h>

#include <filesystem>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/IndexedFile.h"
#include "support/Mutations.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

struct Pair {
  TempDir dir;
  std::string idx = dir.file("idx.mul");
  std::string mul = dir.file("data.mul");
  Pair(const Bytes& index, const Bytes& data) {
    test::writeBytes(idx, index);
    test::writeBytes(mul, data);
  }
};

Bytes someData(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7);
  return b;
}

class BothModes : public ::testing::TestWithParam<StorageMode> {};

}  // namespace

TEST(IndexedFile, EmptyRuleAndRecordsBeyondTheIndex) {
  Pair p(test::indexBytes({{-1, 10, 0}, {100, 0, 0}, {0, 1, 0}, {0, -1, 5}}), someData(4));
  IndexedFile f;
  EXPECT_EQ(f.recordCount(), 0);
  EXPECT_FALSE(f.exists(2));  // nothing loaded: every slot is empty
  f.load(p.idx, p.mul, StorageMode::Memory);
  EXPECT_EQ(f.recordCount(), 4);
  EXPECT_FALSE(f.exists(0));
  EXPECT_FALSE(f.exists(1));
  EXPECT_TRUE(f.exists(2));
  EXPECT_FALSE(f.exists(3));
  EXPECT_FALSE(f.exists(4));
  EXPECT_FALSE(f.exists(-1));
  EXPECT_EQ(*f.readSlot(2), Bytes{0});
}

TEST(IndexedFile, IndexTailIsNotARecordButIsKept) {
  Bytes index = test::indexBytes({{0, 2, 0}});
  index.insert(index.end(), {1, 2, 3, 4, 5});
  Pair p(index, someData(2));
  IndexedFile f;
  f.load(p.idx, p.mul, StorageMode::Memory);
  EXPECT_EQ(f.recordCount(), 1);
  f.save(p.dir.file("i2"), p.dir.file("d2"));
  EXPECT_EQ(test::readBytes(p.dir.file("i2")), index);
}

TEST(IndexedFile, RecordPointingOutsideTheDataIsAnError) {
  const Bytes valid = test::indexBytes({{0, 8, 0}});
  const test::Defect defects[] = {
      {"length_past_the_end",
       test::all({test::setRecordLookup(0, 2), test::setRecordLength(0, 10)})},
      {"offset_past_the_end_by_the_integer_range",
       test::all({test::setRecordLookup(0, 0x7FFFFFF0), test::setRecordLength(0, 0x7FFFFFF0)})},
  };
  for (const auto& d : defects) {
    SCOPED_TRACE(d.name);
    Pair p(test::mutated(valid, d.mutate), someData(8));
    for (auto mode : {StorageMode::Memory, StorageMode::LowMemory}) {
      IndexedFile f;
      f.load(p.idx, p.mul, mode);
      EXPECT_THROW(f.readSlot(0), FormatError);
    }
  }
}

TEST_P(BothModes, ReplaceAppendsAndDeleteKeepsTheData) {
  Pair p(test::indexBytes({{0, 4, 0}, {4, 4, 0}}), someData(8));
  IndexedFile f;
  f.load(p.idx, p.mul, GetParam());
  const Bytes slot = {9, 9, 9};
  for (int i = 0; i < 3; ++i) f.writeSlot(0, slot, 7);
  EXPECT_EQ(f.dataSize(), 8u + 9u);
  EXPECT_EQ(*f.record(0), (IndexRecord{14, 3, 7}));
  EXPECT_EQ(*f.readSlot(0), slot);
  f.deleteSlot(1);
  EXPECT_EQ(*f.record(1), (IndexRecord{-1, -1, -1}));
  EXPECT_EQ(f.dataSize(), 17u);
  // A slot beyond the index is reached through empty records.
  f.writeSlot(4, slot, 0);
  EXPECT_EQ(f.recordCount(), 5);
  EXPECT_EQ(*f.record(2), (IndexRecord{-1, -1, 0}));
  EXPECT_EQ(*f.record(3), (IndexRecord{-1, -1, 0}));

  const bool written = f.save(p.dir.file("i2"), p.dir.file("d2"));
  if (GetParam() == StorageMode::Memory) {
    ASSERT_TRUE(written);
    EXPECT_EQ(test::readBytes(p.dir.file("d2")).size(), 20u);
    EXPECT_EQ(test::readBytes(p.idx).size(), 24u);  // the loaded files are untouched
  } else {
    // Low-memory writes each change into the open files and nothing on save.
    EXPECT_FALSE(written);
    EXPECT_FALSE(fileExists(p.dir.file("i2")));
    EXPECT_EQ(test::readBytes(p.mul).size(), 20u);
    EXPECT_EQ(test::readBytes(p.idx).size(), 60u);
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, BothModes,
                         ::testing::Values(StorageMode::Memory, StorageMode::LowMemory));

TEST_P(BothModes, RunsOfRecordsReadAndWriteInOnePiece) {
  // Two records and a partial third one at the end of the index.
  Bytes index = test::indexBytes({{0, 2, 1}, {2, 2, 2}});
  index.insert(index.end(), {9, 9, 9, 9, 9});
  Pair p(index, someData(4));
  IndexedFile f;
  EXPECT_EQ(f.records(0, 2), (std::vector<IndexRecord>(2, IndexRecord{-1, -1, -1})));
  f.load(p.idx, p.mul, GetParam());
  EXPECT_EQ(f.records(1, 3),
            (std::vector<IndexRecord>{{2, 2, 2}, {-1, -1, -1}, {-1, -1, -1}}));  // beyond: empty

  // A run past the end grows the index with gap records over the partial one.
  f.writeRecords(4, std::vector<IndexRecord>{{0, 4, 7}, {1, 1, 8}});
  EXPECT_EQ(f.recordCount(), 6);
  EXPECT_EQ(f.records(0, 6),
            (std::vector<IndexRecord>{
                {0, 2, 1}, {2, 2, 2}, {-1, -1, 0}, {-1, -1, 0}, {0, 4, 7}, {1, 1, 8}}));
  f.writeRecords(1, std::vector<IndexRecord>{{3, 1, 5}});
  EXPECT_EQ(*f.record(1), (IndexRecord{3, 1, 5}));
  EXPECT_EQ(f.recordCount(), 6);
  EXPECT_THROW(f.writeRecords(-1, std::vector<IndexRecord>{{0, 1, 0}}), Error);

  EXPECT_EQ(f.readDataAt(1, 2), (Bytes{7, 14}));
  EXPECT_THROW(f.readDataAt(3, 2), FormatError);
  // Only a pair held in memory lends its bytes in place.
  EXPECT_EQ(f.dataView({1, 2, 0}).has_value(), GetParam() == StorageMode::Memory);
  EXPECT_FALSE(f.dataView({3, 2, 0}));
}

TEST(IndexedFile, FailedLoadKeepsWhatWasLoaded) {
  Pair p(test::indexBytes({{0, 4, 0}}), someData(4));
  IndexedFile f;
  f.load(p.idx, p.mul, StorageMode::Memory);
  EXPECT_THROW(f.load(p.idx, p.dir.file("missing.mul"), StorageMode::Memory), FileError);
  EXPECT_TRUE(f.isLoaded());
  EXPECT_EQ(f.indexPath(), p.idx);
  EXPECT_EQ(*f.readSlot(0), someData(4));
  try {
    f.load(p.dir.file("missing.idx"), p.mul, StorageMode::Memory);
  } catch (const FileError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + p.dir.file("missing.idx"));
  }
}

TEST(IndexedFile, LowMemoryReloadOfTheSameFilesWorks) {
  Pair p(test::indexBytes({{0, 4, 0}}), someData(4));
  IndexedFile f;
  f.load(p.idx, p.mul, StorageMode::LowMemory);
  f.load(p.idx, p.mul, StorageMode::LowMemory);
  EXPECT_TRUE(f.exists(0));
  // Another holder cannot open them while they are held.
  IndexedFile other;
  EXPECT_THROW(other.load(p.idx, p.mul, StorageMode::LowMemory), FileError);
}

TEST(IndexedFile, SaveOfAnUnloadedPairWritesNothing) {
  TempDir dir;
  test::writeText(dir.file("i"), "keep");
  IndexedFile f;
  EXPECT_THROW(f.save(dir.file("i"), dir.file("d")), Error);
  EXPECT_EQ(test::readText(dir.file("i")), "keep");
  EXPECT_FALSE(fileExists(dir.file("d")));
}

TEST(IndexedFile, FailedSaveLeavesBothTargetsAsTheyWere) {
  Pair p(test::indexBytes({{0, 4, 0}}), someData(4));
  IndexedFile f;
  f.load(p.idx, p.mul, StorageMode::Memory);
  test::writeText(p.dir.file("old.idx"), "old index");
  std::filesystem::create_directory(
      p.dir.file("blocked"));  // a folder cannot be replaced by a file
  EXPECT_THROW(f.save(p.dir.file("old.idx"), p.dir.file("blocked")), FileError);
  EXPECT_EQ(test::readText(p.dir.file("old.idx")), "old index");
  for (const auto& e : std::filesystem::directory_iterator(p.dir.path()))
    EXPECT_EQ(e.path().string().find(".tmp"), std::string::npos) << e.path();
}

TEST(IndexedFile, RebuildKeepsEverySlotAndDropsDeadSpace) {
  auto gen = test::generatePair(500, 20, 7);
  Pair p(gen.index, gen.data);
  IndexedFile f;
  f.load(p.idx, p.mul, StorageMode::Memory);
  for (int i = 0; i < 3; ++i) f.writeSlot(1, Bytes(1000, 1), 0);  // dead space
  Random random(42);
  Progress silent;
  f.rebuild(p.dir.file("new.idx"), p.dir.file("new.mul"), silent, random);

  IndexedFile rebuilt;
  rebuilt.load(p.dir.file("new.idx"), p.dir.file("new.mul"), StorageMode::Memory);
  ASSERT_EQ(rebuilt.recordCount(), 500);
  std::uint64_t live = 0;
  for (std::int64_t i = 0; i < 500; ++i) {
    ASSERT_EQ(rebuilt.exists(i), f.exists(i)) << i;
    if (!f.exists(i)) {
      EXPECT_EQ(*rebuilt.record(i), *f.record(i));
      continue;
    }
    EXPECT_EQ(*rebuilt.readSlot(i), *f.readSlot(i)) << i;
    EXPECT_EQ(rebuilt.record(i)->extra, f.record(i)->extra);
    live += static_cast<std::uint64_t>(f.record(i)->length);
  }
  EXPECT_GE(rebuilt.dataSize(), live + 4 * 500);
  EXPECT_LE(rebuilt.dataSize(), live + 15 * 500);

  // The same seed gives the same files.
  Random again(42);
  f.rebuild(p.dir.file("b.idx"), p.dir.file("b.mul"), silent, again);
  EXPECT_EQ(test::readBytes(p.dir.file("b.mul")), test::readBytes(p.dir.file("new.mul")));
}

TEST(IndexedFile, RebuildOntoTheHeldFilesIsRefusedInLowMemory) {
  Pair p(test::indexBytes({{0, 4, 0}}), someData(4));
  IndexedFile f;
  f.load(p.idx, p.mul, StorageMode::LowMemory);
  Random random(1);
  Progress silent;
  EXPECT_THROW(f.rebuild(p.idx, p.dir.file("x"), silent, random), Error);
  EXPECT_EQ(test::readBytes(p.mul), someData(4));
  // In memory mode the loaded files may be the targets.
  IndexedFile m;
  m.load(p.idx, p.mul, StorageMode::Memory);
  m.rebuild(p.idx, p.mul, silent, random);
  IndexedFile check;
  check.load(p.idx, p.mul, StorageMode::Memory);
  EXPECT_EQ(*check.readSlot(0), someData(4));
}

TEST(IndexedFile, RebuildNamesADamagedSlotOrLeavesItOut) {
  const Bytes valid = test::indexBytes({{0, 4, 5}, {2, 2, 6}, {4, 4, 7}, {0, 2, 0}});
  const test::Mutation slot1LengthPastTheEnd = test::setRecordLength(1, 100);
  const test::Mutation slot3BeforeTheStart = test::setRecordLookup(3, -5);
  Pair p(test::mutated(valid, test::all({slot1LengthPastTheEnd, slot3BeforeTheStart})),
         someData(8));
  IndexedFile f;
  f.load(p.idx, p.mul, StorageMode::Memory);
  Random random(3);
  Progress silent;
  try {
    f.rebuild(p.dir.file("new.idx"), p.dir.file("new.mul"), silent, random);
    FAIL();
  } catch (const DamagedSlotError& e) {
    EXPECT_TRUE(e.slot() == 1 || e.slot() == 3) << e.slot();
    const std::string expected =
        e.slot() == 1
            ? "Slot 0x1 is damaged: The record (2, 100) points outside the data file (8 bytes)."
            : "Slot 0x3 is damaged: The record (-5, 2) points outside the data file (8 bytes).";
    EXPECT_EQ(std::string(e.what()), expected);
  }
  EXPECT_FALSE(fileExists(p.dir.file("new.idx")));
  EXPECT_FALSE(fileExists(p.dir.file("new.mul")));

  const auto skipped = f.rebuild(p.dir.file("new.idx"), p.dir.file("new.mul"), silent, random,
                                 /*skipDamaged=*/true);
  EXPECT_EQ(skipped, (std::vector<std::int64_t>{1, 3}));
  IndexedFile rebuilt;
  rebuilt.load(p.dir.file("new.idx"), p.dir.file("new.mul"), StorageMode::Memory);
  EXPECT_EQ(*rebuilt.record(1), (IndexRecord{-1, -1, -1}));
  EXPECT_EQ(*rebuilt.record(3), (IndexRecord{-1, -1, -1}));
  EXPECT_EQ(*rebuilt.readSlot(0), f.readSlot(0));
  EXPECT_EQ(*rebuilt.readSlot(2), f.readSlot(2));
  EXPECT_EQ(rebuilt.record(2)->extra, 7);
}

TEST(IndexedFile, ChangesCountUntilSavedIntoTheLoadedFiles) {
  Pair p(test::indexBytes({{0, 2, 0}, {2, 2, 0}}), someData(4));
  IndexedFile f;
  f.load(p.idx, p.mul, StorageMode::Memory);
  EXPECT_FALSE(f.changedSinceSaved());
  f.deleteSlot(7);  // beyond the index: nothing changes
  EXPECT_FALSE(f.changedSinceSaved());
  f.deleteSlot(1);
  EXPECT_TRUE(f.changedSinceSaved());
  // A copy elsewhere leaves the loaded files without the change.
  f.save(p.dir.file("i2"), p.dir.file("d2"));
  EXPECT_TRUE(f.changedSinceSaved());
  f.save(p.idx, p.mul);
  EXPECT_FALSE(f.changedSinceSaved());
  f.writeSlot(5, someData(3), 0);
  EXPECT_TRUE(f.changedSinceSaved());
  f.load(p.idx, p.mul, StorageMode::Memory);
  EXPECT_FALSE(f.changedSinceSaved());
  EXPECT_FALSE(f.exists(1));
}
