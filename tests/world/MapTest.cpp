#include <gtest/gtest.h>

#include <set>

#include "app/Bmp.h"
#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Text.h"
#include "world/Map.h"
#include "models/Radarcol.h"
#include "models/Textures.h"
#include "models/Tiledata.h"
#include "support/TestFiles.h"
#include "support/WorldFiles.h"

using namespace quillotide;
using quillotide::test::CellSpec;
using quillotide::test::TempDir;

namespace {

Progress g_silent;

// Tile id x + 100 y, altitude (x + y) mod 20 - 10.
CellSpec patterned(int x, int y) {
  return {static_cast<std::uint16_t>(x + 100 * y), static_cast<std::int8_t>((x + y) % 20 - 10)};
}

std::string writeMap(const TempDir& dir, int w, int h,
                     const std::function<CellSpec(int, int)>& cell = patterned,
                     const std::string& name = "map0.mul") {
  test::writeBytes(dir.file(name), test::makeMapBytes(w, h, cell));
  return dir.file(name);
}

// A classic tile data image with 32 static records.
TTiledata tiledataWith(const std::vector<std::pair<int, LandTileRecord>>& land) {
  TTiledata td;
  td.loadBytes(Bytes(428032 + 1188, 0));
  for (const auto& [id, record] : land) td.writeLand(id, record);
  return td;
}

// The tile id of a cell as the file holds it.
int fileTileId(const Bytes& file, int h, int x, int y) {
  const std::size_t b = static_cast<std::size_t>(x / 8 * (h / 8) + y / 8);
  return loadU16(file.data() + b * 196 + 4 + 3 * static_cast<std::size_t>((y % 8) * 8 + x % 8));
}

}  // namespace

TEST(TMap, RefusesWorldSizesThatAreNotMultiplesOfEight) {
  TempDir dir;
  const std::string path = writeMap(dir, 16, 16);
  TMap map;
  for (const auto& [w, h] :
       std::vector<std::pair<int, int>>{{0, 16}, {12, 16}, {16, 4}, {-8, 16}, {16, 0x10008}}) {
    try {
      map.open(path, w, h);
      FAIL() << w << " x " << h;
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()), kWorldSizeMessage);
    }
  }
  EXPECT_FALSE(map.isLoaded());
}

TEST(TMap, FailedOpenKeepsThePreviousMap) {
  TempDir dir;
  const std::string first = writeMap(dir, 16, 16);
  const std::string shorter = writeMap(dir, 16, 8, patterned, "short.mul");
  TMap map;
  map.open(first, 16, 16);
  map.setTileId(3, 3, 0x77);
  EXPECT_THROW(map.open(dir.file("missing.mul"), 16, 16), FileError);
  try {
    map.open(shorter, 16, 16);  // 392 bytes, 784 needed
    FAIL();
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("784 bytes needed"), std::string::npos);
  }
  EXPECT_THROW(map.open(first, 16, 24), Error);  // the held file is too short for that size
  EXPECT_EQ(map.width(), 16);
  EXPECT_EQ(map.path(), first);
  EXPECT_EQ(map.cell(3, 3)->tileId, 0x77);
  EXPECT_EQ(map.saveChangedBlocks(), 1);
  // Opening the same file again works although the model holds it locked.
  map.open(first, 16, 16);
  EXPECT_EQ(map.cachedBlocks(), 0u);
  EXPECT_EQ(map.cell(3, 3)->tileId, 0x77);
}

TEST(TMap, CellsOfANonSquareMapFollowTheGivenHeight) {
  TempDir dir;
  // 24 x 40: five blocks per column, so cell (9, 33) lies in block 1 x 5 + 4 = 9.
  const std::string path = writeMap(dir, 24, 40);
  TMap map;
  EXPECT_FALSE(map.cell(0, 0));
  map.open(path, 24, 40);
  EXPECT_EQ(map.blockCount(), 15);
  EXPECT_EQ(map.blockOf(9, 33), 9);
  EXPECT_EQ(map.cell(9, 33), (MapCell{static_cast<std::uint16_t>(9 + 3300), -8}));
  EXPECT_EQ(map.cell(23, 39)->tileId, 23 + 3900);
  EXPECT_EQ(map.getAltitude(24, 0), 0);
  EXPECT_EQ(map.getAltitude(0, 40), 0);
  EXPECT_EQ(map.getAltitude(-1, 0), 0);
  map.setTileId(24, 3, 5);  // outside: nothing
  map.setAltitude(-1, 3, 5);
  EXPECT_EQ(map.saveChangedBlocks(), 0);
  EXPECT_EQ(TMap::patchedMessage(0), "0 MapBlocks patched.");
}

TEST(TMap, AltitudesClampAndSavedBlocksReadBackExactly) {
  TempDir dir;
  const std::string path = writeMap(dir, 16, 16, [](int, int) { return CellSpec{1, 120}; });
  // A longer file is accepted; its tail is kept.
  Bytes bytes = test::readBytes(path);
  bytes.push_back(0xAB);
  test::writeBytes(path, bytes);
  {
    TMap map;
    map.open(path, 16, 16);
    map.addAltitude(1, 1, 10);
    map.addAltitude(9, 1, -300);
    map.setAltitude(2, 1, 500);
    map.setAltitude(9, 9, -129);
    map.setTileId(1, 9, 0xBEEF);
    EXPECT_EQ(map.getAltitude(1, 1), 127);
    EXPECT_EQ(map.getAltitude(9, 1), -128);
    EXPECT_EQ(map.getAltitude(2, 1), 127);
    EXPECT_EQ(map.getAltitude(9, 9), -128);
    EXPECT_EQ(map.saveChangedBlocks(), 4);
    EXPECT_EQ(map.saveChangedBlocks(), 4);  // flags stay set
  }
  const Bytes after = test::readBytes(path);
  ASSERT_EQ(after.size(), bytes.size());
  EXPECT_EQ(after.back(), 0xAB);
  EXPECT_EQ(loadU32(after.data() + 196), 1u);  // block headers kept as read
  TMap fresh;
  fresh.open(path, 16, 16);
  EXPECT_EQ(fresh.getAltitude(1, 1), 127);
  EXPECT_EQ(fresh.getAltitude(9, 1), -128);
  EXPECT_EQ(fresh.cell(1, 9)->tileId, 0xBEEF);
  EXPECT_EQ(fresh.getAltitude(3, 3), 120);
}

TEST(TMap, LandItemsCarryCornersKindsAndSerialsInReverseOrder) {
  TempDir dir;
  // Cell (1, 0) is raised, so its neighbours slope; tile 2 has texture 5, tile 3 texture 6 (none).
  const std::string path = writeMap(dir, 16, 16, [](int x, int y) {
    return CellSpec{static_cast<std::uint16_t>(x < 4 ? 2 : 3),
                    static_cast<std::int8_t>(x == 1 && y == 0 ? 8 : 0)};
  });
  LandTileRecord textured;
  textured.textureId = 5;
  LandTileRecord missing;
  missing.textureId = 6;
  const TTiledata td = tiledataWith({{2, textured}, {3, missing}});
  test::writeBytes(dir.file("texidx.mul"), test::indexBytes({{}, {}, {}, {}, {}, {0, 8192, 0}}));
  test::writeBytes(dir.file("texmaps.mul"), Bytes(8192, 0));
  TTextures tex;
  tex.load(dir.file("texidx.mul"), dir.file("texmaps.mul"), StorageMode::Memory);
  TMap map(WorldSources{nullptr, &td, nullptr, &tex, nullptr});
  map.open(path, 16, 16);

  std::vector<TItem> list(1);
  list[0].serial = -5;
  map.getLandItems(0, 3, 0, 3, list);
  // Blocks by = 0..1 and bx = 0..1, 64 cells each, then the caller's item.
  ASSERT_EQ(list.size(), 4u * 64 + 1);
  EXPECT_EQ(list.back().serial, -5);
  const TItem& last = list[list.size() - 2];  // the first generated: cell (0, 0)
  EXPECT_EQ(last.x, 0);
  EXPECT_EQ(last.y, 0);
  EXPECT_EQ(last.serial, 0);
  EXPECT_EQ(last.width, 44);
  // (0, 0): right corner at (1, 0) is raised: sloped with an existing texture.
  EXPECT_EQ(last.kind, ItemKind::LandTexture);
  EXPECT_EQ(last.cornerDy(kCornerTop), 0);
  EXPECT_EQ(last.cornerDy(kCornerRight), 22 - 32);
  EXPECT_EQ(last.cornerDx(kCornerLeft), -22);
  EXPECT_EQ(last.cornerDy(kCornerBottom), 44);
  const auto find = [&](int x, int y) {
    for (const TItem& item : list)
      if (item.x == x && item.y == y && item.serial >= 0) return item;
    return TItem{};
  };
  EXPECT_EQ(find(2, 2).kind, ItemKind::Land);  // flat
  // (7, 7): its south-east neighbour lies in another block; everything is 0: flat.
  EXPECT_EQ(find(7, 7).kind, ItemKind::Land);
  EXPECT_EQ(find(3, 0).kind, ItemKind::Land);
  EXPECT_EQ(list.front().x, 15);  // the last generated comes first
  EXPECT_EQ(list.front().y, 15);
  std::set<std::int32_t> serials;
  for (const TItem& item : list) serials.insert(item.serial);
  EXPECT_EQ(serials.size(), list.size());

  // The east edge slopes towards altitude 0 outside the map.
  TMap edge;
  const std::string high = writeMap(
      dir, 8, 8,
      [](int, int) {
        return CellSpec{2, 5};
      },
      "h.mul");
  edge.open(high, 8, 8);
  std::vector<TItem> cells;
  edge.getLandItems(0, 8, 0, 8, cells);
  ASSERT_EQ(cells.size(), 64u);
  EXPECT_EQ(cells.front().cornerDy(kCornerRight), 22);  // (7, 7): right neighbour outside
  EXPECT_EQ(edge.overviewPicture().width, 0);
}

TEST(TMap, OverviewNeedsRadarColours) {
  TempDir dir;
  const std::string path = writeMap(dir, 32, 48);
  TMap map;
  EXPECT_EQ(map.open(path, 32, 48), std::optional<std::string>("Radarcol not Loaded."));
  EXPECT_TRUE(map.isLoaded());
  EXPECT_TRUE(map.overviewPicture().empty());
  Bytes table(0x8000 * 2, 0);
  for (int id : {0, 16, 1600, 1616, 3200, 3216})
    storeU16(table.data() + 2 * id, static_cast<Colour16>(id + 1));
  test::writeBytes(dir.file("radarcol.mul"), table);
  TRadarcol radar;
  radar.load(dir.file("radarcol.mul"));
  map.setSources(WorldSources{nullptr, nullptr, nullptr, nullptr, &radar});
  EXPECT_FALSE(map.open(path, 32, 48));
  ASSERT_EQ(map.overviewPicture().width, 2);
  ASSERT_EQ(map.overviewPicture().height, 3);
  // Pixel (px, py) shows the cell (16 px, 16 py).
  EXPECT_EQ(map.overviewPicture().at(1, 2), colour16ToPixel(3216 + 1));
  EXPECT_EQ(map.overviewPicture().at(0, 1), colour16ToPixel(1600 + 1));
  // Without radar colours again the old picture stays.
  map.setSources({});
  EXPECT_TRUE(map.open(path, 32, 48));
  EXPECT_EQ(map.overviewPicture().width, 2);
}

TEST(TMap, CountTilesWritesBothListsWithWideCounts) {
  TempDir dir;
  // 264 x 256 cells: 67584 of tile 0x10 but for one cell of each other tile.
  const std::string path = writeMap(dir, 264, 256, [](int x, int y) {
    if (y == 0 && x == 0) return CellSpec{0x20, 0};
    if (y == 0 && x == 1) return CellSpec{0x3, 0};
    return CellSpec{0x10, 0};
  });
  TMap map;
  map.open(path, 264, 256);
  EXPECT_THROW(
      {
        try {
          map.countTiles(dir.file("t.csv"), dir.file("a.csv"), g_silent);
        } catch (const Error& e) {
          EXPECT_EQ(std::string(e.what()), "Load Tiledata first.");
          throw;
        }
      },
      Error);
  EXPECT_FALSE(fileExists(dir.file("t.csv")));
  LandTileRecord grass;
  grass.textureId = 0x1A;
  grass.name = makeTileName("grass");
  LandTileRecord water;
  water.flags = TileFlags::Wet;
  water.name = makeTileName("caf\xC3\xA9 water");
  LandTileRecord wetTex = water;
  wetTex.textureId = 2;
  const TTiledata td = tiledataWith({{0x10, grass}, {0x20, water}, {0x3, wetTex}});
  map.setSources(WorldSources{nullptr, &td, nullptr, nullptr, nullptr});
  EXPECT_EQ(map.countTiles(dir.file("t.csv"), dir.file("a.csv"), g_silent), "Done.");
  // Names keep the game's code page: one byte 0xE9 for the e with its accent.
  EXPECT_EQ(test::readText(dir.file("t.csv")),
            "0x3;1;caf\xE9 water;0x2;Wet\r\n0x10;67582;grass;0x1A\r\n");
  EXPECT_EQ(test::readText(dir.file("a.csv")), "0x20;1;caf\xE9 water;Wet\r\n");
}

TEST(TMap, ReplaceIdsFailsOnlyTheCellsOfABadPieceAndKeepsTheCacheInStep) {
  TempDir dir;
  const std::string path = writeMap(dir, 64, 64, [](int x, int) {
    return CellSpec{static_cast<std::uint16_t>(x % 3 + 1), 0};
  });
  TMap map;
  map.open(path, 64, 64);
  EXPECT_EQ(map.cell(0, 0)->tileId, 1);  // block 0 cached, unchanged
  map.setAltitude(9, 0, 7);              // block 8 cached, changed
  Random random(7);
  const Bytes before = test::readBytes(path);
  // Tile 2's rule has two bad pieces (no number, wider than a tile id) and a good one; its
  // second rule is never tried, as a rule's tile id takes only its first rule.
  const ReplacedIds done = map.replaceIds(
      {{1, "0x3,0x4"}, {2, "x,0x10000,9"}, {2, "7"}, {3, "$A"}, {0x20, "1"}}, random, g_silent);
  EXPECT_EQ(done.messages, std::vector<std::string>{"Bug bei Id 0x2"});
  EXPECT_EQ(done.rulesApplied, 3);
  const Bytes file = test::readBytes(path);
  std::set<int> fromOne, fromTwo;
  std::int64_t changed = 0;
  for (int x = 0; x < 64; ++x)
    for (int y = 0; y < 64; ++y) {
      const int id = fileTileId(file, 64, x, y);
      if (id != fileTileId(before, 64, x, y)) ++changed;
      if (x % 3 == 0) {
        fromOne.insert(id);
      } else if (x % 3 == 1) {
        fromTwo.insert(id);  // a bad piece fails only its cell, the good piece still lands
      } else {
        EXPECT_EQ(id, 10);  // a replaced id is not matched again
      }
    }
  EXPECT_EQ(fromOne, (std::set<int>{3, 4}));
  EXPECT_EQ(fromTwo, (std::set<int>{2, 9}));
  EXPECT_EQ(done.cells, changed);
  // The cached blocks show the replacement, and a save cannot undo it.
  EXPECT_EQ(map.cell(0, 0)->tileId, fileTileId(file, 64, 0, 0));
  EXPECT_NE(map.cell(9, 0)->tileId, 1);
  EXPECT_EQ(map.cell(11, 0)->tileId, 10);
  EXPECT_EQ(map.getAltitude(9, 0), 7);
  map.saveChangedBlocks();
  const Bytes saved = test::readBytes(path);
  for (int x = 8; x < 16; ++x) EXPECT_NE(fileTileId(saved, 64, x, 0), 1) << x;
}

TEST(TMap, HeightMapsAreGreyAltitudes) {
  TempDir dir;
  const std::string path = writeMap(dir, 16, 24, [](int x, int y) {
    return CellSpec{0, static_cast<std::int8_t>(x == 3 && y == 17 ? -128 : x - y)};
  });
  TMap map;
  EXPECT_THROW(map.exportHeightMap(dir.file("h.bmp"), g_silent), Error);
  map.open(path, 16, 24);
  map.exportHeightMap(dir.file("h.bmp"), g_silent);
  const Bitmap32 plain = readBmpFile(dir.file("h.bmp"));
  ASSERT_EQ(plain.width, 16);
  ASSERT_EQ(plain.height, 24);
  EXPECT_EQ(plain.at(3, 17), makePixel(0, 0, 0));
  EXPECT_EQ(plain.at(10, 2), makePixel(136, 136, 136));
  EXPECT_EQ(map.exportAdjustedHeightMap(dir.file("a.bmp"), -128, g_silent),
            "Old Minimum Height was -128. New Minimum Height is -128.");
  EXPECT_EQ(readBmpFile(dir.file("a.bmp")), plain);
  EXPECT_EQ(map.exportAdjustedHeightMap(dir.file("b.png"), 0x105, g_silent),
            "Old Minimum Height was -128. New Minimum Height is 5.");
  const Bitmap32 shifted = map.heightPicture(5, g_silent);
  EXPECT_EQ(shifted.at(10, 2), makePixel(3, 3, 3));
  EXPECT_EQ(shifted.at(0, 10), makePixel(241, 241, 241));  // -10 - 5 wraps to 241
}

TEST(TMap, AHeightMapLargerThanOneWritePieceIsWrittenWhole) {
  // 600 x 560 pixels of 4 bytes: the file is written in two pieces of rows.
  TempDir dir;
  const std::string path = writeMap(dir, 600, 560, [](int x, int y) {
    return CellSpec{0, static_cast<std::int8_t>((x * 3 + y * 5) % 256 - 128)};
  });
  TMap map;
  map.open(path, 600, 560);
  map.exportHeightMap(dir.file("h.bmp"), g_silent);
  EXPECT_EQ(test::readBytes(dir.file("h.bmp")), encodeBmp(map.heightPicture(-128, g_silent)));
  EXPECT_EQ(readBmpFile(dir.file("h.bmp")).at(599, 0),
            map.heightPicture(-128, g_silent).at(599, 0));
}
