#include <gtest/gtest.h>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Uop.h"
#include "app/UopPair.h"
#include "world/DiffFiles.h"
#include "world/Map.h"
#include "world/Statics.h"
#include "sample/Sample.h"
#include "support/TestFiles.h"
#include "support/WorldFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

Progress g_silent;

struct WorldPaths {
  std::string map;
  std::string index;
  std::string data;
  explicit WorldPaths(const TempDir& dir)
      : map(dir.file("map0.mul")), index(dir.file("staidx0.mul")), data(dir.file("statics0.mul")) {}
};

void copyWorld(const WorldPaths& from, const WorldPaths& to) {
  test::writeBytes(to.map, test::readBytes(from.map));
  test::writeBytes(to.index, test::readBytes(from.index));
  test::writeBytes(to.data, test::readBytes(from.data));
}

// The statics of every block, in stored order, read through the index.
std::vector<std::vector<StaticRecord>> blocksOf(const WorldPaths& w, std::int64_t blocks) {
  const Bytes index = test::readBytes(w.index);
  const Bytes data = test::readBytes(w.data);
  std::vector<std::vector<StaticRecord>> out(static_cast<std::size_t>(blocks));
  for (std::int64_t b = 0; b < blocks && static_cast<std::size_t>(b + 1) * 12 <= index.size();
       ++b) {
    const auto* p = index.data() + b * 12;
    const auto lookup = static_cast<std::int32_t>(loadU32(p));
    const auto length = static_cast<std::int32_t>(loadU32(p + 4));
    if (lookup == -1 || length <= 0) continue;
    out[static_cast<std::size_t>(b)] =
        decodeStaticRecords(std::span<const std::uint8_t>(data).subspan(
            static_cast<std::size_t>(lookup), static_cast<std::size_t>(length)));
  }
  return out;
}

void setCell(Bytes& map, int height, int x, int y, std::uint16_t id, std::int8_t z) {
  const std::size_t b = static_cast<std::size_t>(x / 8 * (height / 8) + y / 8);
  std::uint8_t* cell = map.data() + b * 196 + 4 + static_cast<std::size_t>((y % 8) * 8 + x % 8) * 3;
  storeU16(cell, id);
  cell[2] = static_cast<std::uint8_t>(z);
}

// Creates both diffs from orig to changed, applies them to a third copy of orig and checks that
// it became the changed world: the map byte for byte, the statics block for block.
void expectRoundTrip(const WorldPaths& orig, const WorldPaths& changed, const WorldPaths& target,
                     const std::string& diffDir, const DiffWorld& world,
                     std::size_t changedMapBlocks) {
  const DiffResult map =
      createMapDiff(orig.map, changed.map, MapDiffPaths::in(diffDir), world, g_silent);
  EXPECT_EQ(map.blocks, changedMapBlocks);
  EXPECT_TRUE(map.problems.empty());
  const DiffResult statics = createStaticDiff(orig.index, orig.data, changed.index, changed.data,
                                              StaticDiffPaths::in(diffDir), world, g_silent);
  EXPECT_TRUE(statics.problems.empty());
  EXPECT_GT(statics.blocks, 0u);
  copyWorld(orig, target);
  const DiffResult appliedMap =
      applyMapDiff(target.map, MapDiffPaths::in(diffDir), world, g_silent);
  EXPECT_EQ(appliedMap.message, map.message);
  const DiffResult appliedStatics =
      applyStaticDiff(target.index, target.data, StaticDiffPaths::in(diffDir), world, g_silent);
  EXPECT_EQ(appliedStatics.message, statics.message);
  EXPECT_TRUE(appliedStatics.problems.empty());
  EXPECT_EQ(test::readBytes(target.map), test::readBytes(changed.map));
  EXPECT_EQ(blocksOf(target, world.blockCount()), blocksOf(changed, world.blockCount()));
  EXPECT_NE(blocksOf(orig, world.blockCount()), blocksOf(changed, world.blockCount()));
}

}  // namespace

TEST(DiffFilesTest, SampleWorldChangesTravelThroughBothDiffs) {
  TempDir a, b, c, d;
  const WorldPaths orig(a), changed(b), target(c);
  sample::writeWorld(a.path());
  copyWorld(orig, changed);
  const int n = sample::kSampleWorldSize;
  const DiffWorld world{n, n};

  // Map cells changed in three blocks.
  Bytes map = test::readBytes(changed.map);
  setCell(map, n, 3, 3, 0x44, 10);
  setCell(map, n, 100, 37, 0x45, -10);
  setCell(map, n, 101, 38, 0x46, 0);
  setCell(map, n, 255, 255, 0x47, 1);
  test::writeBytes(changed.map, map);

  // Statics changed, added and deleted through the model, one block emptied.
  TStatics statics;
  statics.open(changed.index, changed.data, n, n, StorageMode::Memory);
  auto items = statics.getItemsInRect(0, n - 1, 0, n - 1);
  ASSERT_GT(items.size(), 20u);
  const TItem first = items.back();
  statics.setHue(first.serial, 0x22);
  statics.remove(items[3].serial);
  statics.setTileId(items[10].serial, 0x1234);
  for (const TItem& s : items)
    if (s.x / 8 == items[5].x / 8 && s.y / 8 == items[5].y / 8) statics.remove(s.serial);
  statics.add(0x300, 200, 200, 5, 1);
  statics.add(0x301, 201, 200, 6, 0);
  ASSERT_TRUE(
      statics.save(changed.index, changed.data, StaticsSaveMode::StaticsOnly, nullptr, g_silent));

  expectRoundTrip(orig, changed, target, d.path(), world, 3);
}

TEST(DiffFilesTest, GeneratedFullSizeWorldRoundTrips) {
  TempDir a, b, c, d;
  const WorldPaths orig(a), changed(b), target(c);
  const DiffWorld world;  // 6144 x 4096
  const auto cell = [](int x, int y) {
    return test::CellSpec{static_cast<std::uint16_t>((x * 7 + y * 3) % 0x200),
                          static_cast<std::int8_t>((x ^ y) % 40)};
  };
  Bytes map = test::makeMapBytes(world.width, world.height, cell);
  std::vector<test::PlacedStatic> placed;
  for (int i = 0; i < 3000; ++i)
    placed.push_back({static_cast<std::uint16_t>(i), (i * 97) % world.width,
                      (i * 61) % world.height, static_cast<std::int8_t>(i % 50), 0});
  auto files = test::makeStaticsFiles(world.width, world.height, placed);
  test::writeBytes(orig.map, map);
  test::writeBytes(orig.index, files.index);
  test::writeBytes(orig.data, files.data);

  // Every 100th block's first cell changes; statics move to other blocks.
  std::size_t changedBlocks = 0;
  for (int bx = 0; bx < world.width / 8; bx += 10)
    for (int by = 0; by < world.height / 8; by += 10) {
      setCell(map, world.height, bx * 8, by * 8, 0x3FF, 0);
      ++changedBlocks;
    }
  for (int i = 0; i < 3000; i += 7) {
    auto& s = placed[static_cast<std::size_t>(i)];
    s.x = (s.x + 8) % world.width;
  }
  placed.push_back({0x999, 6143, 4095, 0, 0});
  files = test::makeStaticsFiles(world.width, world.height, placed);
  test::writeBytes(changed.map, map);
  test::writeBytes(changed.index, files.index);
  test::writeBytes(changed.data, files.data);

  expectRoundTrip(orig, changed, target, d.path(), world, changedBlocks);
}

TEST(DiffFilesTest, ComparisonFollowsCellsRecordsAndIndexRecords) {
  TempDir dir, out;
  const DiffWorld world{16, 16};  // four blocks
  const std::string map = dir.file("map0.mul");
  Bytes bytes = test::makeMapBytes(16, 16, [](int, int) { return test::CellSpec{1, 0}; });
  test::writeBytes(map, bytes);
  // A map compared with itself, and a map with other headers only, give empty diffs.
  DiffResult r = createMapDiff(map, map, MapDiffPaths::in(out.path()), world, g_silent);
  EXPECT_EQ(r.message, "0 Mapblocks patched.");
  EXPECT_TRUE(test::readBytes(out.file("Mapdifl0.mul")).empty());
  EXPECT_TRUE(test::readBytes(out.file("Mapdif0.mul")).empty());
  const std::string other = dir.file("map1.mul");
  bytes[196] ^= 1;
  test::writeBytes(other, bytes);
  EXPECT_EQ(createMapDiff(map, other, MapDiffPaths::in(out.path()), world, g_silent).blocks, 0u);
  // Tiles 1 and 0x244 only: a copy leaves every block out; one other tile keeps its block.
  setCell(bytes, 16, 0, 1, 0x244, 0);
  test::writeBytes(other, bytes);
  EXPECT_EQ(copyMapToDiff(other, MapDiffPaths::in(out.path()), world, g_silent).blocks, 0u);
  setCell(bytes, 16, 9, 9, 0x245, 0);
  test::writeBytes(other, bytes);
  r = copyMapToDiff(other, MapDiffPaths::in(out.path()), world, g_silent);
  EXPECT_EQ(r.blocks, 1u);
  EXPECT_EQ(test::readBytes(out.file("Mapdifl0.mul")), (Bytes{3, 0, 0, 0}));

  // Statics: same records at another lookup count as changed; an emptied block is written as
  // (start, -1, extra) without data; a copy writes every block.
  ByteWriter idx0, idx1;
  Bytes data0, data1;
  appendStaticRecord(data0, {0x10, 1, 1, 0, 0});
  appendStaticRecord(data1, {0x77, 0, 0, 0, 0});  // padding: block 0 moves to lookup 7
  appendStaticRecord(data1, {0x10, 1, 1, 0, 0});
  appendStaticRecord(data0, {0x11, 2, 2, 0, 0});
  idx0.i32(0), idx0.i32(7), idx0.i32(0);
  idx1.i32(7), idx1.i32(7), idx1.i32(0);
  idx0.i32(7), idx0.i32(7), idx0.i32(5);  // block 1: emptied below
  idx1.i32(-1), idx1.i32(-1), idx1.i32(5);
  test::writeBytes(dir.file("i0"), idx0.take());
  test::writeBytes(dir.file("d0"), data0);
  test::writeBytes(dir.file("i1"), idx1.take());
  test::writeBytes(dir.file("d1"), data1);
  r = createStaticDiff(dir.file("i0"), dir.file("d0"), dir.file("i1"), dir.file("d1"),
                       StaticDiffPaths::in(out.path()), world, g_silent);
  EXPECT_EQ(r.message, "2 Staticblocks patched.");
  EXPECT_EQ(test::readBytes(out.file("Stadifl0.mul")), (Bytes{0, 0, 0, 0, 1, 0, 0, 0}));
  ByteWriter expectIndex;
  expectIndex.i32(0), expectIndex.i32(7), expectIndex.i32(0);
  expectIndex.i32(7), expectIndex.i32(-1), expectIndex.i32(5);
  EXPECT_EQ(test::readBytes(out.file("Stadifi0.mul")), expectIndex.take());
  EXPECT_EQ(test::readBytes(out.file("Stadif0.mul")).size(), 7u);
  // Records beyond the end of the short indexes are empty blocks on both sides.
  r = copyStaticsToDiff(dir.file("i1"), dir.file("d1"), StaticDiffPaths::in(out.path()), world,
                        g_silent);
  EXPECT_EQ(r.message, "4 Staticblocks patched.");
}

TEST(DiffFilesTest, ApplySkipsWhatDoesNotFitAndSaysSo) {
  TempDir dir, diffDir;
  const DiffWorld world{16, 16};
  const std::string map = dir.file("map0.mul");
  const Bytes original = test::makeMapBytes(16, 16, [](int, int) { return test::CellSpec{1, 0}; });
  test::writeBytes(map, original);
  // Block numbers 2, 4 (outside), -1 (outside) and 1, with data for three blocks only, and a
  // block list cut inside a fifth number.
  ByteWriter list;
  for (const std::int32_t b : {2, 4, -1, 1}) list.i32(b);
  list.u8(7);
  Bytes blocks(3 * 196, 0xAB);
  test::writeBytes(diffDir.file("Mapdifl0.mul"), list.take());
  test::writeBytes(diffDir.file("Mapdif0.mul"), blocks);
  DiffResult r = applyMapDiff(map, MapDiffPaths::in(diffDir.path()), world, g_silent);
  EXPECT_EQ(r.message, "1 Mapblocks patched.");
  ASSERT_EQ(r.problems.size(), 4u) << r.text();
  EXPECT_NE(r.problems[0].find("not a whole number of 4-byte block numbers"), std::string::npos);
  EXPECT_NE(r.problems[1].find("names 4 blocks but"), std::string::npos);
  EXPECT_NE(r.problems[2].find("1 entries have no block"), std::string::npos);
  EXPECT_NE(r.problems[3].find("2 entries name blocks outside"), std::string::npos);
  EXPECT_NE(r.problems[3].find("1 (block 4), 2 (block -1)"), std::string::npos);
  Bytes expect = original;
  std::fill(expect.begin() + 2 * 196, expect.begin() + 3 * 196, 0xAB);
  EXPECT_EQ(test::readBytes(map), expect);

  // Statics: a record past the end of the data, a negative length, a block outside the world.
  const auto files = test::makeStaticsFiles(16, 16, {{0x10, 1, 1, 0, 0}});
  test::writeBytes(dir.file("staidx0.mul"), files.index);
  test::writeBytes(dir.file("statics0.mul"), files.data);
  ByteWriter slist, sindex;
  Bytes sdata;
  appendStaticRecord(sdata, {0x20, 3, 3, 0, 0});
  for (const std::int32_t b : {3, 2, 1, 9}) slist.i32(b);
  sindex.i32(0), sindex.i32(7), sindex.i32(0);   // fine
  sindex.i32(1), sindex.i32(7), sindex.i32(0);   // one past the end of the data
  sindex.i32(0), sindex.i32(-5), sindex.i32(0);  // negative length
  sindex.i32(0), sindex.i32(7), sindex.i32(0);   // block 9 is outside
  test::writeBytes(diffDir.file("Stadifl0.mul"), slist.take());
  test::writeBytes(diffDir.file("Stadifi0.mul"), sindex.take());
  test::writeBytes(diffDir.file("Stadif0.mul"), sdata);
  r = applyStaticDiff(dir.file("staidx0.mul"), dir.file("statics0.mul"),
                      StaticDiffPaths::in(diffDir.path()), world, g_silent);
  EXPECT_EQ(r.message, "1 Staticblocks patched.");
  ASSERT_EQ(r.problems.size(), 2u) << r.text();
  EXPECT_NE(r.problems[0].find("1 entries name blocks outside"), std::string::npos);
  EXPECT_NE(r.problems[1].find("2 entries point outside"), std::string::npos);
  const Bytes index = test::readBytes(dir.file("staidx0.mul"));
  EXPECT_EQ(index.size(), 48u);
  EXPECT_EQ(Bytes(index.begin() + 12, index.begin() + 36),
            Bytes(files.index.begin() + 12, files.index.begin() + 36));
  EXPECT_EQ(loadU32(index.data() + 36), 7u);  // appended after the one static there was
}

TEST(DiffFilesTest, InputsStayAsTheyWere) {
  TempDir dir;
  const DiffWorld world{16, 16};
  const std::string map = dir.file("Mapdif0.mul");
  const Bytes bytes = test::makeMapBytes(16, 16, [](int x, int) {
    return test::CellSpec{static_cast<std::uint16_t>(x), 0};
  });
  test::writeBytes(map, bytes);
  // The changed map is the output's data file: refused, nothing written.
  EXPECT_THROW(copyMapToDiff(map, MapDiffPaths::in(dir.path()), world, g_silent), Error);
  EXPECT_THROW(createMapDiff(map, map, MapDiffPaths::in(dir.path()), world, g_silent), Error);
  EXPECT_EQ(test::readBytes(map), bytes);
  EXPECT_FALSE(fileExists(dir.file("Mapdifl0.mul")));
  // A map diff applied to its own data file, and a map too short for the world.
  EXPECT_THROW(applyMapDiff(map, MapDiffPaths::in(dir.path()), world, g_silent), Error);
  EXPECT_THROW(copyMapToDiff(map, MapDiffPaths::in(dir.file("out")), DiffWorld{16, 24}, g_silent),
               Error);
  TempDir out;
  EXPECT_THROW(applyMapDiff(map, MapDiffPaths::in(out.path()), world, g_silent), FileError);
  EXPECT_EQ(test::readBytes(map), bytes);
}

namespace {

// A map container as the client stores it, its chunks zlib streams, so that a reader of the
// container's bytes as blocks sees neither the blocks nor their places.
void writeCompressedMapContainer(const std::string& path, const Bytes& map) {
  UopContainer uop = UopContainer::create();
  for (std::size_t at = 0, k = 0; at < map.size(); at += kUopMapChunk, ++k)
    uop.setPayload(uopHash(uopEntryName(UopFamily::Map, static_cast<std::uint32_t>(k), 0)),
                   std::span<const std::uint8_t>(map).subspan(
                       at, std::min<std::size_t>(kUopMapChunk, map.size() - at)),
                   true);
  uop.save(path);
}

}  // namespace

TEST(DiffFilesTest, AMapContainerIsReadAsItsMapAndNeverPatchedAsBlocks) {
  TempDir a, b, mulDiff, uopDiff;
  // 8320 blocks: two whole chunks and a short third one.
  const int w = 1024, h = 520;
  const DiffWorld world{w, h};
  const Bytes orig = test::makeMapBytes(w, h, [](int x, int y) {
    return test::CellSpec{static_cast<std::uint16_t>((x * 7 + y) % 0x4000), 0};
  });
  Bytes changed = orig;
  setCell(changed, h, 0, 40, 0x44, 3);      // block 5, in the first chunk
  setCell(changed, h, 504, 200, 0x45, 1);   // block 4120, in the second
  setCell(changed, h, 1020, 500, 0x46, 2);  // block 8317, in the short last one
  test::writeBytes(a.file("map0.mul"), orig);
  test::writeBytes(b.file("map0.mul"), changed);
  writeCompressedMapContainer(a.file("map0LegacyMUL.uop"), orig);
  writeCompressedMapContainer(b.file("map0LegacyMUL.uop"), changed);
  // A container under a map file's name is still a container.
  writeCompressedMapContainer(b.file("renamed.mul"), changed);

  const DiffResult fromMul = createMapDiff(a.file("map0.mul"), b.file("map0.mul"),
                                           MapDiffPaths::in(mulDiff.path()), world, g_silent);
  EXPECT_EQ(fromMul.blocks, 3u);
  const DiffResult fromUop = createMapDiff(a.file("map0LegacyMUL.uop"), b.file("renamed.mul"),
                                           MapDiffPaths::in(uopDiff.path()), world, g_silent);
  EXPECT_EQ(fromUop.text(), fromMul.text());
  EXPECT_EQ(test::readBytes(uopDiff.file("Mapdifl0.mul")),
            test::readBytes(mulDiff.file("Mapdifl0.mul")));
  EXPECT_EQ(test::readBytes(uopDiff.file("Mapdif0.mul")),
            test::readBytes(mulDiff.file("Mapdif0.mul")));

  TempDir copyMul, copyUop;
  const DiffResult copiedMul =
      copyMapToDiff(b.file("map0.mul"), MapDiffPaths::in(copyMul.path()), world, g_silent);
  const DiffResult copiedUop = copyMapToDiff(b.file("map0LegacyMUL.uop"),
                                             MapDiffPaths::in(copyUop.path()), world, g_silent);
  EXPECT_EQ(copiedUop.text(), copiedMul.text());
  EXPECT_EQ(test::readBytes(copyUop.file("Mapdif0.mul")),
            test::readBytes(copyMul.file("Mapdif0.mul")));

  // Applied, the diff would land on the container's tables and entries: refused, byte for byte
  // as it was, under either name.
  for (const std::string& target : {a.file("map0LegacyMUL.uop"), b.file("renamed.mul")}) {
    const Bytes before = test::readBytes(target);
    try {
      applyMapDiff(target, MapDiffPaths::in(mulDiff.path()), world, g_silent);
      FAIL() << "a map diff was applied to the container " << target;
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(target + " is a UOP container"), std::string::npos)
          << e.what();
    }
    EXPECT_EQ(test::readBytes(target), before);
  }
  // The diff belongs on the map the container holds.
  applyMapDiff(a.file("map0.mul"), MapDiffPaths::in(uopDiff.path()), world, g_silent);
  EXPECT_EQ(test::readBytes(a.file("map0.mul")), changed);
}
