// Region patches: the record layout, Create Patch from a changed region, Apply at an origin with
// a backup that undoes it (added statics included), cells outside the target world, damaged
// patches, and Change Heights.

#include <gtest/gtest.h>

#include <filesystem>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/IndexedFile.h"
#include "app/Uop.h"
#include "app/UopPair.h"
#include "world/Map.h"
#include "world/RegionPatch.h"
#include "world/Statics.h"
#include "support/TestFiles.h"
#include "support/WorldFiles.h"

using namespace quillotide;
using namespace quillotide::test;

namespace {

constexpr int kW = 64;
constexpr int kH = 32;
Progress g_silent;

// The statics of every block of a pair, block by block.
std::vector<std::vector<StaticRecord>> blocksOf(const Bytes& index, const Bytes& data) {
  std::vector<std::vector<StaticRecord>> out;
  for (std::size_t p = 0; p + 12 <= index.size(); p += 12) {
    const auto lookup = static_cast<std::int32_t>(loadU32(index.data() + p));
    const auto length = static_cast<std::int32_t>(loadU32(index.data() + p + 4));
    if (lookup < 0 || length <= 0) {
      out.emplace_back();
      continue;
    }
    out.push_back(decodeStaticRecords(std::span<const std::uint8_t>(data).subspan(
        static_cast<std::size_t>(lookup), static_cast<std::size_t>(length))));
  }
  return out;
}

// A patch directory holding map 0 of a kW x kH world, its statics, and art and texture pairs.
struct World {
  TempDir dir;
  PatchDirectory files{dir.path(), 0};
  World(const std::function<CellSpec(int, int)>& cell, const std::vector<PlacedStatic>& statics) {
    writeBytes(files.mapPath(), makeMapBytes(kW, kH, cell));
    const StaticsFiles pair = makeStaticsFiles(kW, kH, statics);
    writeBytes(files.staticsIndexPath(), pair.index);
    writeBytes(files.staticsDataPath(), pair.data);
    // Texture slots 0..0x1F and art slots 0..0x41FF, each holding four bytes of its number.
    const auto slots = [](std::int64_t n, Bytes& index, Bytes& data) {
      ByteWriter i, d;
      for (std::int64_t s = 0; s < n; ++s) {
        i.i32(static_cast<std::int32_t>(d.size()));
        i.i32(4);
        i.i32(static_cast<std::int32_t>(s));
        d.u32(static_cast<std::uint32_t>(s) | 0xAB000000u);
      }
      index = i.take();
      data = d.take();
    };
    Bytes ti, td, ai, ad;
    slots(0x20, ti, td);
    slots(0x4200, ai, ad);
    writeBytes(files.textureIndexPath(), ti);
    writeBytes(files.textureDataPath(), td);
    writeBytes(files.artIndexPath(), ai);
    writeBytes(files.artDataPath(), ad);
  }
  Bytes map() const { return readBytes(files.mapPath()); }
  std::vector<std::vector<StaticRecord>> statics() const {
    return blocksOf(readBytes(files.staticsIndexPath()), readBytes(files.staticsDataPath()));
  }
};

CellSpec plain(int x, int y) {
  return {static_cast<std::uint16_t>(1 + (x + y) % 4), static_cast<std::int8_t>(x - y)};
}
CellSpec changed(int x, int y) {
  if (x >= 10 && x <= 25 && y >= 4 && y <= 19)
    return {static_cast<std::uint16_t>(0x10 + x % 3), static_cast<std::int8_t>(100 + y)};
  return plain(x, y);
}

const std::vector<PlacedStatic> kStatics = {
    {0x100, 3, 3, 5, 0}, {0x101, 12, 6, 0, 2}, {0x102, 12, 6, 9, 0}, {0x103, 30, 20, -3, 1}};

std::size_t blockOf(int x, int y) { return static_cast<std::size_t>((x / 8) * (kH / 8) + y / 8); }

}  // namespace

TEST(RegionPatch, PatchOfAChangedRegionMakesTheTargetEqualAndItsBackupRestoresIt) {
  std::vector<PlacedStatic> more = kStatics;
  more.push_back({0x104, 11, 5, 7, 3});   // a second static beside one already there
  more.push_back({0x105, 20, 17, 1, 0});  // into a block the original has empty
  World source(changed, more);
  World target(plain, kStatics);
  const Bytes originalMap = target.map();
  const auto originalStatics = target.statics();

  const CellRegion region = CellRegion::of(25, 19, 10, 4);
  const std::string patch = source.dir.file("region.pkx");
  ASSERT_FALSE(
      createPatchFile(source.files, kW, kH, region, {true, true, true, true}, patch, g_silent));
  const std::string backup = target.dir.file("backup.pkx");
  ASSERT_FALSE(applyPatchFile(target.files, kW, kH, 10, 4, patch, backup, g_silent));

  const Bytes patchedMap = target.map();
  const Bytes changedMap = source.map();
  for (int x = 0; x < kW; ++x)
    for (int y = 0; y < kH; ++y) {
      const std::size_t at =
          blockOf(x, y) * 196 + 4 + 3 * static_cast<std::size_t>((y % 8) * 8 + x % 8);
      const Bytes& want = (x >= 10 && x <= 25 && y >= 4 && y <= 19) ? changedMap : originalMap;
      ASSERT_EQ(patchedMap[at], want[at]) << x << "," << y;
      ASSERT_EQ(patchedMap[at + 1], want[at + 1]);
      ASSERT_EQ(patchedMap[at + 2], want[at + 2]);
    }
  const auto patched = target.statics();
  // The region's statics (0x101, 0x102 on 12,6 and the new 0x104, 0x105) are added to what the
  // target held: the target's own 0x101 and 0x102 now stand twice.
  EXPECT_EQ(patched[blockOf(12, 6)].size(), 5u);
  EXPECT_EQ(patched[blockOf(20, 17)], (std::vector<StaticRecord>{{0x105, 4, 1, 1, 0}}));
  EXPECT_EQ(patched[blockOf(3, 3)], originalStatics[blockOf(3, 3)]);

  // The art and texture slots the region uses came along.
  const Bytes texIndex = readBytes(target.files.textureIndexPath());
  EXPECT_EQ(texIndex.size(), 0x20u * 12);

  ASSERT_FALSE(applyPatchFile(target.files, kW, kH, 10, 4, backup, std::nullopt, g_silent));
  EXPECT_EQ(target.map(), originalMap);
  EXPECT_EQ(target.statics(), originalStatics);
}

TEST(RegionPatch, RecordsFollowTheLayout) {
  World source(plain, kStatics);
  const auto open = [&](const std::string& p) { return WorldStream::openForReading(p); };
  auto map = open(source.files.mapPath());
  auto si = open(source.files.staticsIndexPath());
  auto sd = open(source.files.staticsDataPath());
  auto ti = open(source.files.textureIndexPath());
  auto td = open(source.files.textureDataPath());
  auto ai = open(source.files.artIndexPath());
  auto ad = open(source.files.artDataPath());
  const PatchStreams from{map.get(), si.get(), sd.get(), ai.get(), ad.get(), ti.get(), td.get()};

  // One cell with "Map" only: exactly 8 bytes.
  const CreatedPatch one =
      createPatch(from, kW, kH, CellRegion::of(5, 6, 5, 6), {true, false, false, false}, g_silent);
  EXPECT_EQ(one.bytes, (Bytes{0, 0, 0, 0, 0, 4, 0, static_cast<std::uint8_t>(-1)}));

  // Tile 1 is used by many cells of a row: one texture record, right after its first cell.
  const CreatedPatch row =
      createPatch(from, kW, kH, CellRegion::of(0, 0, 7, 0), {true, false, false, true}, g_silent);
  const auto records = readPatch(row.bytes, "row");
  int textures = 0;
  for (std::size_t k = 0; k < records.size(); ++k)
    if (records[k].type == PatchLayout::kTexture) {
      ++textures;
      EXPECT_EQ(records[k - 1].type, PatchLayout::kMapCell);
      EXPECT_EQ(records[k].slot, records[k - 1].tileId);
      EXPECT_EQ(records[k].data.size(), 4u);
    }
  EXPECT_EQ(textures, 4);

  // "Textures" without "Map" and "Art" without "Statics" add nothing; statics with art give the
  // static record then its art slot 0x4000 + id.
  const CreatedPatch none =
      createPatch(from, kW, kH, CellRegion::of(0, 0, 7, 7), {false, false, true, true}, g_silent);
  EXPECT_TRUE(none.bytes.empty());
  const CreatedPatch withArt =
      createPatch(from, kW, kH, CellRegion::of(3, 3, 3, 3), {false, true, true, false}, g_silent);
  const auto art = readPatch(withArt.bytes, "art");
  ASSERT_EQ(art.size(), 2u);
  EXPECT_EQ(art[0].type, PatchLayout::kStatic);
  EXPECT_EQ(art[0].tileId, 0x100);
  EXPECT_EQ(art[0].z, 5);
  EXPECT_EQ(art[1].type, PatchLayout::kArt);
  EXPECT_EQ(art[1].slot, 0x4100);
  ASSERT_EQ(art[1].data.size(), 4u);
  EXPECT_EQ(loadU32(art[1].data.data()), 0xAB004100u);

  // A region reaching past the world is cut to it and the rest counted.
  const CreatedPatch edge = createPatch(from, kW, kH, CellRegion::of(62, 30, 65, 31),
                                        {true, false, false, false}, g_silent);
  EXPECT_EQ(edge.bytes.size(), 4u * 8);
  EXPECT_EQ(edge.skippedCells, 4);
}

TEST(RegionPatch, ApplySkipsCellsOutsideTheTargetWorldAndWritesNothingElsewhere) {
  World target(plain, {});
  Bytes patch;
  for (std::uint16_t dx = 0; dx < 4; ++dx) {
    PatchRecord r;
    r.dx = dx;
    r.tileId = 0x77;
    r.z = 9;
    appendPatchRecord(patch, r);
  }
  PatchRecord s;
  s.type = PatchLayout::kStatic;
  s.dx = 3;
  s.tileId = 0x200;
  appendPatchRecord(patch, s);
  writeBytes(target.dir.file("p.pkx"), patch);
  const Bytes before = target.map();
  const auto message = applyPatchFile(target.files, kW, kH, 62, 31, target.dir.file("p.pkx"),
                                      std::nullopt, g_silent);
  ASSERT_TRUE(message);
  EXPECT_NE(message->find("3 cells"), std::string::npos) << *message;
  // Only 62,31 and 63,31 changed; nothing wrapped into the next column or the file's start.
  Bytes expected = before;
  for (int x : {62, 63}) {
    const std::size_t at = blockOf(x, 31) * 196 + 4 + 3 * static_cast<std::size_t>(7 * 8 + x % 8);
    expected[at] = 0x77;
    expected[at + 1] = 0;
    expected[at + 2] = 9;
  }
  EXPECT_EQ(target.map(), expected);
  EXPECT_EQ(readBytes(target.files.staticsDataPath()).size(), 0u);
}

TEST(RegionPatch, ApplyOfADamagedPatchNamesTheOffsetAndWritesNothing) {
  World target(plain, kStatics);
  Bytes patch;
  PatchRecord r;
  r.tileId = 5;
  appendPatchRecord(patch, r);
  patch.push_back(7);
  writeBytes(target.dir.file("bad.pkx"), patch);
  const Bytes before = target.map();
  try {
    applyPatchFile(target.files, kW, kH, 0, 0, target.dir.file("bad.pkx"), std::nullopt, g_silent);
    FAIL() << "applied";
  } catch (const FormatError& e) {
    EXPECT_NE(std::string(e.what()).find("unknown record type 7 at offset 8"), std::string::npos)
        << e.what();
  }
  EXPECT_EQ(target.map(), before);

  // A slot record claiming more data than the patch holds.
  Bytes cut;
  PatchRecord slot;
  slot.type = PatchLayout::kTexture;
  slot.index = {0, 400, 0};
  appendPatchRecord(cut, slot);
  EXPECT_THROW(readPatch(cut, "cut"), FormatError);
  cut.resize(5);
  EXPECT_THROW(readPatch(cut, "cut"), FormatError);
}

TEST(RegionPatch, ApplyIntoAnEmptyBlockAndBeyondTheTextureIndex) {
  World target(plain, {});
  Bytes patch;
  PatchRecord s;
  s.type = PatchLayout::kStatic;
  s.dx = 1;
  s.dy = 2;
  s.z = 4;
  s.tileId = 0x300;
  s.hue = 6;
  appendPatchRecord(patch, s);
  PatchRecord tex;
  tex.type = PatchLayout::kTexture;
  tex.slot = 0x22;
  tex.index = {0, 3, 9};
  tex.data = {1, 2, 3};
  appendPatchRecord(patch, tex);
  writeBytes(target.dir.file("p.pkx"), patch);
  const std::uint64_t texData = fileSize(target.files.textureDataPath());
  ASSERT_FALSE(applyPatchFile(target.files, kW, kH, 8, 8, target.dir.file("p.pkx"),
                              target.dir.file("b.pkx"), g_silent));
  const Bytes index = readBytes(target.files.staticsIndexPath());
  const std::size_t b = blockOf(9, 10) * 12;
  EXPECT_EQ(static_cast<std::int32_t>(loadU32(index.data() + b)), 0);
  EXPECT_EQ(static_cast<std::int32_t>(loadU32(index.data() + b + 4)), 7);
  EXPECT_EQ(static_cast<std::int32_t>(loadU32(index.data() + b + 8)), 0);
  const Bytes ti = readBytes(target.files.textureIndexPath());
  ASSERT_EQ(ti.size(), 0x23u * 12);
  EXPECT_EQ(static_cast<std::int32_t>(loadU32(ti.data() + 0x20 * 12)), -1);
  EXPECT_EQ(static_cast<std::int32_t>(loadU32(ti.data() + 0x20 * 12 + 8)), 0);
  EXPECT_EQ(loadU32(ti.data() + 0x22 * 12), texData);
  EXPECT_EQ(loadU32(ti.data() + 0x22 * 12 + 8), 9u);
  // The backup removes the static and empties the slot again.
  const auto backup = readPatch(readBytes(target.dir.file("b.pkx")), "b");
  ASSERT_EQ(backup.size(), 2u);
  EXPECT_EQ(backup[0].type, PatchLayout::kAddedStatic);
  EXPECT_EQ(backup[1].index, (IndexRecord{-1, -1, 0}));
  ASSERT_FALSE(
      applyPatchFile(target.files, kW, kH, 8, 8, target.dir.file("b.pkx"), std::nullopt, g_silent));
  EXPECT_TRUE(target.statics()[blockOf(9, 10)].empty());
}

TEST(RegionPatch, ChangeHeightsClampsMapAndStaticsOfTheRegionOnly) {
  World world(
      [](int x, int) {
        return CellSpec{1, static_cast<std::int8_t>(x == 5 ? 120 : -125)};
      },
      {{0x10, 5, 5, 120, 0}, {0x11, 6, 5, 0, 0}, {0x12, 9, 5, 0, 0}});
  ASSERT_FALSE(changeHeightsInDirectory(world.files, kW, kH, CellRegion::of(8, 5, 5, 5), 10, true,
                                        true, g_silent));
  const Bytes map = world.map();
  const auto z = [&](int x, int y) {
    return static_cast<std::int8_t>(
        map[blockOf(x, y) * 196 + 4 + 3 * static_cast<std::size_t>((y % 8) * 8 + x % 8) + 2]);
  };
  EXPECT_EQ(z(5, 5), 127);
  EXPECT_EQ(z(6, 5), -115);
  EXPECT_EQ(z(9, 5), -125);
  EXPECT_EQ(z(5, 6), 120);
  const auto statics = world.statics();
  EXPECT_EQ(statics[blockOf(5, 5)][0].z, 127);
  EXPECT_EQ(statics[blockOf(5, 5)][1].z, 10);
  EXPECT_EQ(statics[blockOf(9, 5)][0].z, 0);
  const auto lowered = changeHeightsInDirectory(world.files, kW, kH, CellRegion::of(60, 0, 70, 0),
                                                -300, true, false, g_silent);
  ASSERT_TRUE(lowered);
  EXPECT_EQ(world.map()[blockOf(63, 0) * 196 + 4 + 3 * 7 + 2], static_cast<std::uint8_t>(-128));
}

TEST(RegionPatch, MapListAndRefusedTargets) {
  World world(plain, {});
  writeBytes(world.dir.file("map2.mul"), {});
  writeBytes(world.dir.file("staidx2.mul"), {});
  writeBytes(world.dir.file("map5.mul"), {});
  EXPECT_EQ(patchMapNumbers(world.dir.path()), (std::vector<int>{0}));
  writeBytes(world.dir.file("statics2.mul"), {});
  EXPECT_EQ(patchMapNumbers(world.dir.path()), (std::vector<int>{0, 2}));
  EXPECT_TRUE(patchMapNumbers("").empty());
  const Bytes before = world.map();
  EXPECT_THROW(createPatchFile(world.files, kW, kH, CellRegion::of(0, 0, 3, 3),
                               {true, false, false, false}, world.files.mapPath(), g_silent),
               Error);
  EXPECT_EQ(world.map(), before);
}

TEST(RegionPatch, ArtOfStaticsAboveTheRecordsSlotRangeIsLeftOutAndNamed) {
  // Static 0xC001 has art slot 0x10001, which a 16-bit slot record would turn into land tile 1.
  World source(plain, {{0xC001, 2, 2, 0, 0}, {0x100, 3, 3, 0, 0}, {0xC001, 3, 4, 1, 0}});
  World target(plain, {});
  const std::string patch = source.dir.file("p.pkx");
  const auto message = createPatchFile(source.files, kW, kH, CellRegion::of(0, 0, 7, 7),
                                       {false, true, true, false}, patch, g_silent);
  ASSERT_TRUE(message);
  EXPECT_NE(message->find("0xC001"), std::string::npos) << *message;
  EXPECT_EQ(message->find("0x100,"), std::string::npos) << *message;
  std::vector<std::uint16_t> statics;
  for (const PatchRecord& r : readPatch(readBytes(patch), "p")) {
    if (r.type == PatchLayout::kStatic) statics.push_back(r.tileId);
    if (r.type == PatchLayout::kArt) {
      EXPECT_EQ(r.slot, 0x4100) << "only the art of 0x100";
    }
  }
  EXPECT_EQ(statics, (std::vector<std::uint16_t>{0xC001, 0x100, 0xC001}));

  const Bytes artIndex = readBytes(target.files.artIndexPath());
  ASSERT_FALSE(
      applyPatchFile(target.files, kW, kH, 0, 0, patch, target.dir.file("b.pkx"), g_silent));
  const Bytes after = readBytes(target.files.artIndexPath());
  // Land tile 1 keeps its record; only the slot read (0x4100) changed.
  EXPECT_TRUE(std::equal(after.begin(), after.begin() + 0x4100 * 12, artIndex.begin()));
  EXPECT_EQ(target.statics()[0].size(), 3u);
}

TEST(RegionPatch, BackupOfAnEmptySlotReadsNothingFromItsData) {
  // A fuzzer's input: an art record for slot 1, whose current record (0, 0) names no bytes; its
  // backup reads 0 bytes into an empty buffer.
  // 9vgDAQAAAAAAAAAAAAYAAAAAAAAAAAAGAAAAAAAAAAAA in base64.
  const Bytes input = {0xF6, 0xF8, 0x03, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                       0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                       0x00, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  auto map = WorldStream::memory(Bytes(8 * 196, 0));
  auto staticsIndex = WorldStream::memory(Bytes(8 * 12, 0xFF));
  auto staticsData = WorldStream::memory({});
  auto artIndex = WorldStream::memory(Bytes(24, 0));
  auto artData = WorldStream::memory(Bytes(8, 0));
  auto texIndex = WorldStream::memory({});
  auto texData = WorldStream::memory({});
  const PatchStreams to{map.get(),     staticsIndex.get(), staticsData.get(), artIndex.get(),
                        artData.get(), texIndex.get(),     texData.get()};
  const int x1 = static_cast<std::int8_t>(input[0]);
  const int y1 = static_cast<std::int8_t>(input[1]);
  const std::span<const std::uint8_t> patch(input.data() + 2, input.size() - 2);
  Bytes backup;
  const AppliedPatch applied = applyPatch(
      patch, "fuzz.pkx", to, 32, 16, x1, y1, [&](const Bytes& b) { backup = b; }, g_silent);
  EXPECT_EQ(applied.records, 3);
  const auto undo = readPatch(backup, "backup");
  ASSERT_FALSE(undo.empty());
  EXPECT_EQ(undo[0].type, PatchLayout::kArt);
  EXPECT_EQ(undo[0].index, (IndexRecord{0, 0, 0}));
  EXPECT_TRUE(undo[0].data.empty());
  // A read of nothing never touches its (null) buffer, at any offset of any stream.
  EXPECT_EQ(artData->readSome(4, nullptr, 0), 0u);
  artData->read(8, nullptr, 0);
}

TEST(RegionPatch, ADirectoryWithContainersIsPatchedWhereTheClientReads) {
  World source(changed, kStatics);
  // The twin takes the patch in MUL files; the client folder has the map and the art in
  // containers, with the old MUL files still beside them.
  World twin(plain, kStatics);
  World client(plain, kStatics);
  const std::string mapUop = client.dir.file("map0LegacyMUL.uop");
  const std::string artUop = client.dir.file("artLegacyMUL.uop");
  containerOfMapFile(client.map(), 0).save(mapUop);
  IndexedFile art;
  art.load(client.files.artIndexPath(), client.files.artDataPath(), StorageMode::Memory);
  art.saveUop(artUop, uopForm(UopFamily::Art));
  const Bytes oldMap = readBytes(client.dir.file("map0.mul"));
  const Bytes oldArtIndex = readBytes(client.dir.file("artidx.mul"));
  EXPECT_EQ(client.files.mapPath(), mapUop);
  EXPECT_EQ(client.files.artIndexPath(), artUop);
  EXPECT_EQ(client.files.artDataPath(), artUop);
  EXPECT_EQ(client.files.mapBytes(), oldMap.size());

  // The art of static 0x101 is new in the source.
  Bytes sourceArt = readBytes(source.files.artDataPath());
  storeU32(sourceArt.data() + 0x4101 * 4, 0xDEADBEEF);
  writeBytes(source.files.artDataPath(), sourceArt);
  const std::string patch = source.dir.file("region.pkx");
  ASSERT_FALSE(createPatchFile(source.files, kW, kH, CellRegion::of(10, 4, 25, 19),
                               {true, true, true, false}, patch, g_silent));
  ASSERT_FALSE(applyPatchFile(twin.files, kW, kH, 10, 4, patch, std::nullopt, g_silent));
  const std::string backup = client.dir.file("backup.pkx");
  ASSERT_FALSE(applyPatchFile(client.files, kW, kH, 10, 4, patch, backup, g_silent));

  // The containers hold what the twin's files hold; the MUL files beside them are untouched.
  const auto mapOf = [&] {
    return mapFileOfContainer(UopContainer::read(mapUop), mapUop, nullptr);
  };
  EXPECT_EQ(mapOf(), twin.map());
  EXPECT_NE(mapOf(), oldMap);
  EXPECT_EQ(readBytes(client.dir.file("map0.mul")), oldMap);
  EXPECT_EQ(readBytes(client.dir.file("artidx.mul")), oldArtIndex);
  EXPECT_EQ(client.statics(), twin.statics());
  IndexedFile twinArt, clientArt;
  twinArt.load(twin.files.artIndexPath(), twin.files.artDataPath(), StorageMode::Memory);
  clientArt.loadUop(artUop, uopForm(UopFamily::Art));
  EXPECT_NE(art.readSlot(0x4101), twinArt.readSlot(0x4101));
  for (std::int64_t slot = 0; slot < twinArt.recordCount(); ++slot)
    ASSERT_EQ(clientArt.readSlot(slot), twinArt.readSlot(slot)) << slot;
  EXPECT_FALSE(verifyUop(readBytes(mapUop)));
  EXPECT_FALSE(verifyUop(readBytes(artUop)));

  // The backup, applied, gives the map container its old map back; Change Heights changes it too.
  ASSERT_FALSE(applyPatchFile(client.files, kW, kH, 10, 4, backup, std::nullopt, g_silent));
  EXPECT_EQ(mapOf(), oldMap);
  ASSERT_FALSE(changeHeightsInDirectory(client.files, kW, kH, CellRegion::of(0, 0, 7, 7), 1, true,
                                        false, g_silent));
  EXPECT_NE(mapOf(), oldMap);
  EXPECT_EQ(readBytes(client.dir.file("map0.mul")), oldMap);

  // Without its MUL map beside it, the container alone gives the map number.
  std::filesystem::remove(client.dir.file("map0.mul"));
  EXPECT_EQ(patchMapNumbers(client.dir.path()), (std::vector<int>{0}));
}
