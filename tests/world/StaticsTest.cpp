#include <gtest/gtest.h>

#include "app/Bmp.h"
#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Text.h"
#include "world/Statics.h"
#include "world/WorldFile.h"
#include "support/TestFiles.h"
#include "support/WorldFiles.h"

using namespace quillotide;
using quillotide::test::PlacedStatic;
using quillotide::test::TempDir;

namespace {

Progress g_silent;

struct Pair {
  std::string index;
  std::string data;
};

Pair writeStatics(const TempDir& dir, int w, int h, const std::vector<PlacedStatic>& statics,
                  const std::string& stem = "0") {
  const auto files = test::makeStaticsFiles(w, h, statics);
  Pair p{dir.file("staidx" + stem + ".mul"), dir.file("statics" + stem + ".mul")};
  test::writeBytes(p.index, files.index);
  test::writeBytes(p.data, files.data);
  return p;
}

// A 32 x 24 world (three blocks per column) with statics in blocks 0, 1 and 3.
const std::vector<PlacedStatic> kSample = {
    {0x100, 1, 2, 5, 0},   {0x101, 7, 7, -3, 0x21}, {0x102, 3, 9, 0, 0},
    {0x103, 12, 3, 20, 7}, {0x104, 12, 3, 21, 0},
};

std::vector<std::tuple<int, int, int, int, int>> positions(const std::vector<TItem>& items) {
  std::vector<std::tuple<int, int, int, int, int>> out;
  for (const TItem& s : items) out.emplace_back(s.tileId, s.x, s.y, s.z, s.hue);
  return out;
}

IndexRecord indexRecordOf(const std::string& path, std::int64_t b) {
  const Bytes bytes = test::readBytes(path);
  const auto* p = bytes.data() + b * 12;
  return {static_cast<std::int32_t>(loadU32(p)), static_cast<std::int32_t>(loadU32(p + 4)),
          static_cast<std::int32_t>(loadU32(p + 8))};
}

class StaticsModes : public ::testing::TestWithParam<StorageMode> {};

}  // namespace

TEST(TStatics, RefusesBadWorldSizesAndKeepsThePreviousFilesOnFailure) {
  TempDir dir;
  const Pair p = writeStatics(dir, 32, 24, kSample);
  TStatics statics;
  EXPECT_THROW(statics.open(p.index, p.data, 30, 24, StorageMode::Memory), Error);
  EXPECT_THROW(statics.open(p.index, p.data, 32, 0, StorageMode::Memory), Error);
  EXPECT_FALSE(statics.isLoaded());
  statics.open(p.index, p.data, 32, 24, StorageMode::Memory);
  EXPECT_THROW(statics.open(p.index, dir.file("none.mul"), 32, 24, StorageMode::Memory), FileError);
  EXPECT_EQ(statics.width(), 32);
  EXPECT_EQ(statics.getItemsInRect(0, 31, 0, 23).size(), kSample.size());
}

TEST_P(StaticsModes, ItemsInARectangleComeInReverseListOrder) {
  TempDir dir;
  const Pair p = writeStatics(dir, 32, 24, kSample);
  TStatics statics;
  statics.open(p.index, p.data, 32, 24, GetParam());
  const auto all = statics.getItemsInRect(31, 0, 23, 0);
  // Loaded row by row: block 0 (x 0..7, y 0..7), block 3 (x 8..15, y 0..7), then block 1.
  EXPECT_EQ(positions(all),
            (std::vector<std::tuple<int, int, int, int, int>>{{0x102, 3, 9, 0, 0},
                                                              {0x104, 12, 3, 21, 0},
                                                              {0x103, 12, 3, 20, 7},
                                                              {0x101, 7, 7, -3, 0x21},
                                                              {0x100, 1, 2, 5, 0}}));
  EXPECT_EQ(all.back().serial, kStaticSerialBase);
  EXPECT_EQ(all.back().kind, ItemKind::Static);
  // The rectangle is inclusive and clipped.
  EXPECT_EQ(positions(statics.getItemsInRect(7, 12, 3, 7)).size(), 3u);
  EXPECT_EQ(statics.getItemsInRect(-50, 1, -50, 2).size(), 1u);
  EXPECT_TRUE(statics.getItemsInRect(100, 200, 100, 200).empty());
  // A block a static diff replaces is left out.
  statics.setReplacedBlocks([](std::int32_t b) { return b == 3; });
  EXPECT_EQ(statics.getItemsInRect(0, 31, 0, 23).size(), 3u);
}

TEST_P(StaticsModes, EditsSavedThroughTheModelReadBackExactly) {
  TempDir dir;
  const Pair p = writeStatics(dir, 32, 24, kSample);
  const Pair out{dir.file("staidx9.mul"), dir.file("statics9.mul")};
  TStatics statics;
  statics.open(p.index, p.data, 32, 24, GetParam());
  statics.getItemsInRect(0, 0, 0, 0);  // block 0 only
  const std::int32_t first = kStaticSerialBase;
  statics.setHue(first, 0x44);
  statics.setTileId(first, 0x200);
  statics.remove(first + 1);
  statics.select(first);
  EXPECT_EQ(statics.item(first)->selected, 1);
  statics.deselect(first);
  // Across a block border into a block that is not loaded: it is loaded, both blocks saved.
  statics.move(first, 8, 0, 130);
  EXPECT_EQ(statics.item(first)->z, 127);
  EXPECT_EQ(statics.loadedBlocks(), 2u);
  // Add into a block never loaded keeps that block's statics.
  const std::int32_t added = statics.add(0x300, 4, 10, -5, 3);
  EXPECT_EQ(added, kStaticSerialBase + 5);
  EXPECT_THROW(statics.move(added, 0, 100, 0), Error);
  EXPECT_THROW(statics.move(added, -5, 0, 0), Error);
  EXPECT_EQ(statics.item(added)->x, 4);
  EXPECT_THROW(statics.add(1, 32, 0, 0, 0), Error);
  statics.setHue(first + 100, 1);  // no such static: ignored
  statics.move(kStaticSerialBase - 1, 1, 1, 1);

  const auto message =
      statics.save(out.index, out.data, StaticsSaveMode::StaticsOnly, nullptr, g_silent);
  EXPECT_EQ(message, std::optional<std::string>("3 Static-Blocks Patched."));
  EXPECT_EQ(statics.itemCount(), 0u);
  EXPECT_EQ(statics.loadedBlocks(), 0u);

  const Pair written = GetParam() == StorageMode::Memory ? out : p;
  TStatics fresh;
  fresh.open(written.index, written.data, 32, 24, StorageMode::Memory);
  EXPECT_EQ(indexRecordOf(written.index, 0), (IndexRecord{-1, -1, -1}));  // last static gone
  auto items = positions(fresh.getItemsInRect(0, 31, 0, 23));
  std::sort(items.begin(), items.end());
  EXPECT_EQ(items, (std::vector<std::tuple<int, int, int, int, int>>{{0x102, 3, 9, 0, 0},
                                                                     {0x103, 12, 3, 20, 7},
                                                                     {0x104, 12, 3, 21, 0},
                                                                     {0x200, 9, 2, 127, 0x44},
                                                                     {0x300, 4, 10, -5, 3}}));
  if (GetParam() == StorageMode::Memory) {
    // The opened files are untouched until saved over.
    EXPECT_EQ(test::readBytes(p.index), test::makeStaticsFiles(32, 24, kSample).index);
    // Saving again right after a save writes the copies and shows nothing.
    EXPECT_FALSE(statics.save(dir.file("i2.mul"), dir.file("d2.mul"), StaticsSaveMode::StaticsOnly,
                              nullptr, g_silent));
    EXPECT_EQ(test::readBytes(dir.file("d2.mul")), test::readBytes(out.data));
  } else {
    EXPECT_FALSE(fileExists(out.index));
    EXPECT_FALSE(
        statics.save(out.index, out.data, StaticsSaveMode::StaticsOnly, nullptr, g_silent));
    EXPECT_FALSE(fileExists(out.index));
  }
}

TEST_P(StaticsModes, WorldFileItemsBecomeStaticsExactlyOnce) {
  TempDir dir;
  const Pair p = writeStatics(dir, 32, 24, kSample);
  TWorldFile world;
  world.add(0x500, 20, 20, 1, 0);
  world.saveText(dir.file("w.txt"));  // written: kind 5
  world.add(0x501, 2, 2, 2, 0);
  const std::int32_t gone = world.add(0x502, 3, 3, 3, 0);
  world.remove(gone);
  world.add(0x503, 40, 2, 0, 0);  // outside the 32 x 24 world
  TStatics statics;
  statics.open(p.index, p.data, 32, 24, GetParam());
  const auto message = statics.save(dir.file("i.mul"), dir.file("d.mul"),
                                    StaticsSaveMode::WithUnwrittenItems, &world, g_silent);
  EXPECT_EQ(message,
            std::optional<std::string>(
                "1 Static-Blocks Patched.\n1 world items outside the world were left out."));
  EXPECT_EQ(world.size(), 1u);
  EXPECT_EQ(world.add(1, 1, 1, 1, 1), kWorldSerialBase + 1);
  world.remove(kWorldSerialBase + 1);
  // A second save finds nothing unwritten to add.
  statics.save(dir.file("i.mul"), dir.file("d.mul"), StaticsSaveMode::WithUnwrittenItems, &world,
               g_silent);
  const Pair result =
      GetParam() == StorageMode::Memory ? Pair{dir.file("i.mul"), dir.file("d.mul")} : p;
  TStatics fresh;
  fresh.open(result.index, result.data, 32, 24, StorageMode::Memory);
  auto items = fresh.getItemsInRect(0, 31, 0, 23);
  EXPECT_EQ(items.size(), kSample.size() + 1);
  EXPECT_EQ(
      std::count_if(items.begin(), items.end(), [](const TItem& s) { return s.tileId == 0x501; }),
      1);
  // Mode 2 takes the written item as well.
  statics.open(result.index, result.data, 32, 24, GetParam());
  statics.save(result.index, result.data, StaticsSaveMode::WithAllItems, &world, g_silent);
  fresh.open(result.index, result.data, 32, 24, StorageMode::Memory);
  items = fresh.getItemsInRect(0, 31, 0, 23);
  EXPECT_EQ(
      std::count_if(items.begin(), items.end(), [](const TItem& s) { return s.tileId == 0x500; }),
      1);
  EXPECT_EQ(items.size(), kSample.size() + 2);
}

TEST_P(StaticsModes, WholeFileOperations) {
  TempDir dir;
  // Duplicates 1, 2, 1 in block 0; one static in the south-east corner of the world.
  std::vector<PlacedStatic> list = kSample;
  list.push_back({0x100, 1, 2, 5, 0});
  list.push_back({0, 31, 23, -1, 0});
  const Pair p = writeStatics(dir, 32, 24, list);
  TStatics statics;
  statics.open(p.index, p.data, 32, 24, GetParam());

  statics.exportText(dir.file("all.txt"), g_silent);
  EXPECT_EQ(test::readText(dir.file("all.txt")),
            "0x100 1 2 5 0x0\r\n0x101 7 7 -3 0x21\r\n0x100 1 2 5 0x0\r\n0x102 3 9 0 0x0\r\n"
            "0x103 12 3 20 0x7\r\n0x104 12 3 21 0x0\r\n0x0 31 23 -1 0x0\r\n");

  // One pixel per cell of the opened world.
  const Bitmap32 picture = statics.renderStaticMap(g_silent);
  ASSERT_EQ(picture.width, 32);
  ASSERT_EQ(picture.height, 24);
  EXPECT_EQ(picture.at(12, 3), makePixel(0, 0, 0));
  EXPECT_EQ(picture.at(31, 23), makePixel(0, 0, 0));
  EXPECT_EQ(picture.at(2, 2), makePixel(255, 255, 255));

  int asked = 0;
  const auto ask = [&](const std::string& caption, const std::string& prompt,
                       const std::string& def) -> std::optional<std::string> {
    ++asked;
    EXPECT_EQ(caption, "ID Searching...");
    EXPECT_EQ(prompt, "Choose ID");
    return def;
  };
  EXPECT_EQ(statics.searchId(dir.path(), ask, g_silent), dir.file("0x0.txt"));
  EXPECT_EQ(test::readText(dir.file("0x0.txt")), "Item found: 0x0 31,23,-1 Color: 0x0\r\n");
  const auto answer = [](std::string text) {
    return [text](const std::string&, const std::string&, const std::string&) {
      return std::optional<std::string>(text);
    };
  };
  EXPECT_EQ(statics.searchId(dir.path(), answer("$100"), g_silent), dir.file("0x100.txt"));
  EXPECT_EQ(test::readText(dir.file("0x100.txt")),
            "Item found: 0x100 1,2,5 Color: 0x0\r\nItem found: 0x100 1,2,5 Color: 0x0\r\n");
  try {
    statics.searchId(dir.path(), answer("tree"), g_silent);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "'tree' is not a valid integer value");
  }
  // An id wider than a static tile id is refused, not searched as its low 16 bits.
  EXPECT_THROW(statics.searchId(dir.path(), answer("0x10000"), g_silent), Error);
  EXPECT_FALSE(fileExists(dir.file("0x10000.txt")));
  EXPECT_FALSE(statics.searchId(
      dir.path(), [](auto&&...) { return std::optional<std::string>(); }, g_silent));
  EXPECT_EQ(asked, 1);

  EXPECT_EQ(statics.removeDuplicates(g_silent), "1 of 7 static items deleted, 6 left.");
  statics.exportText(dir.file("clean.txt"), g_silent);
  // Kept records are stored in the reverse order of their first appearance.
  EXPECT_EQ(test::readText(dir.file("clean.txt")),
            "0x101 7 7 -3 0x21\r\n0x100 1 2 5 0x0\r\n0x102 3 9 0 0x0\r\n"
            "0x104 12 3 21 0x0\r\n0x103 12 3 20 0x7\r\n0x0 31 23 -1 0x0\r\n");

  statics.compact(dir.file("ci.mul"), dir.file("cd.mul"), g_silent);
  EXPECT_EQ(fileSize(dir.file("cd.mul")), 6u * 7);
  EXPECT_EQ(fileSize(dir.file("ci.mul")), 12u * 12);
  TStatics compacted;
  compacted.open(dir.file("ci.mul"), dir.file("cd.mul"), 32, 24, StorageMode::Memory);
  EXPECT_EQ(positions(compacted.getItemsInRect(0, 31, 0, 23)),
            positions(statics.getItemsInRect(0, 31, 0, 23)));
  if (GetParam() == StorageMode::LowMemory) {
    EXPECT_THROW(statics.compact(p.index, dir.file("x.mul"), g_silent), Error);
  }

  statics.getItemsInRect(0, 7, 0, 7);
  EXPECT_EQ(statics.clearAll(g_silent), "Statics cleared.");
  EXPECT_EQ(statics.itemCount(), 0u);
  EXPECT_TRUE(statics.getItemsInRect(0, 31, 0, 23).empty());
  EXPECT_EQ(statics.dataStream()->size(), 0u);
  if (GetParam() == StorageMode::LowMemory) {
    EXPECT_EQ(fileSize(p.data), 0u);
    EXPECT_EQ(indexRecordOf(p.index, 4), (IndexRecord{-1, -1, -1}));
  } else {
    EXPECT_NE(fileSize(p.data), 0u);  // until the next save
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, StaticsModes,
                         ::testing::Values(StorageMode::Memory, StorageMode::LowMemory),
                         [](const ::testing::TestParamInfo<StorageMode>& mode) {
                           return mode.param == StorageMode::Memory ? "Memory" : "LowMemory";
                         });

TEST(TStatics, DamagedBlocksGiveAMessageAndTheRestLoads) {
  TempDir dir;
  const auto files = test::makeStaticsFiles(32, 24, kSample);
  Bytes index = files.index;
  // Block 1: a length of 10 (one record and 3 bytes); block 3: data far past the end.
  storeU32(index.data() + 12 + 4, 10);
  storeU32(index.data() + 3 * 12, 100000);
  // Block 4 reaches past the end of the data; the index ends inside the record of block 11.
  storeU32(index.data() + 4 * 12, 28);
  storeU32(index.data() + 4 * 12 + 4, 70);
  index.resize(11 * 12 + 5);
  test::writeBytes(dir.file("i.mul"), index);
  test::writeBytes(dir.file("d.mul"), files.data);
  TStatics statics;
  statics.open(dir.file("i.mul"), dir.file("d.mul"), 32, 24, StorageMode::Memory);
  EXPECT_EQ(statics.takeProblems().size(), 1u);  // the short index
  const auto items = statics.getItemsInRect(0, 31, 0, 23);
  const auto problems = statics.takeProblems();
  EXPECT_EQ(problems.size(), 3u);
  EXPECT_NE(problems[0].find("Statics block 3"), std::string::npos);
  // Block 0: 2 statics, block 1: 1 whole record, block 3: none, block 4: the one record inside.
  EXPECT_EQ(items.size(), 2u + 1 + 0 + 1);
  // Whole-file operations take the same care.
  statics.exportText(dir.file("t.txt"), g_silent);
  EXPECT_EQ(readTextLines(dir.file("t.txt")).size(), 4u);
  statics.compact(dir.file("ci.mul"), dir.file("cd.mul"), g_silent);
  EXPECT_EQ(fileSize(dir.file("ci.mul")), index.size());
  // Saving a block the short index lacks grows the index up to it.
  statics.add(1, 31, 23, 0, 0);
  statics.save(dir.file("si.mul"), dir.file("sd.mul"), StaticsSaveMode::StaticsOnly, nullptr,
               g_silent);
  EXPECT_EQ(fileSize(dir.file("si.mul")), 12u * 12);
  EXPECT_EQ(indexRecordOf(dir.file("si.mul"), 11).length, 7);
  EXPECT_EQ(indexRecordOf(dir.file("si.mul"), 10), (IndexRecord{-1, -1, -1}));
}

TEST(TStatics, RectangleQueriesMatchAWalkOfTheWholeList) {
  TempDir dir;
  std::vector<PlacedStatic> list;
  for (int k = 0; k < 600; ++k)
    list.push_back({static_cast<std::uint16_t>(k), (k * 37) % 64, (k * 53) % 48,
                    static_cast<std::int8_t>(k % 50), 0});
  const Pair p = writeStatics(dir, 64, 48, list);
  TStatics statics;
  statics.open(p.index, p.data, 64, 48, StorageMode::Memory);
  statics.getItemsInRect(0, 63, 0, 47);
  for (std::int32_t s = kStaticSerialBase; s < kStaticSerialBase + 600; s += 7) {
    try {
      statics.move(s, (s % 19) - 9, (s % 13) - 6, 0);
    } catch (const Error&) {
    }
    if (s % 3 == 0) statics.remove(s);
  }
  for (const auto& [xa, xb, ya, yb] : std::vector<std::tuple<int, int, int, int>>{
           {0, 63, 0, 47}, {5, 20, 7, 30}, {40, 41, 0, 47}}) {
    std::vector<TItem> walk;
    for (std::size_t k = 0; k < statics.itemCount(); ++k) {
      const TItem s = *statics.item(kStaticSerialBase + static_cast<std::int32_t>(k));
      if (!s.deleted && s.x >= xa && s.x <= xb && s.y >= ya && s.y <= yb)
        walk.insert(walk.begin(), s);
    }
    EXPECT_EQ(statics.getItemsInRect(xa, xb, ya, yb), walk);
  }
}
