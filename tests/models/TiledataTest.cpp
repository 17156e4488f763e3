#include <gtest/gtest.h>

#include "app/Error.h"
#include "app/Text.h"
#include "models/Tiledata.h"
#include "support/Mutations.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

constexpr std::size_t kClassicLand = 428032;
constexpr std::size_t kClassicGroup = 1188;
constexpr std::size_t kWideLand = 493568;
constexpr std::size_t kWideGroup = 1316;

// A tile data file whose every byte is set (records, group headers, name padding) so that any
// byte lost or moved on a round trip shows.
Bytes tiledataFile(TiledataLayout layout, std::size_t staticGroups, std::size_t tail = 0) {
  const bool wide = layout == TiledataLayout::Wide;
  Bytes b(
      (wide ? kWideLand + staticGroups * kWideGroup : kClassicLand + staticGroups * kClassicGroup) +
      tail);
  std::uint32_t x = 0x12345678;
  for (auto& byte : b) {
    x = x * 1103515245u + 12345u;
    byte = static_cast<std::uint8_t>(x >> 24);
    // TAB, CR and LF cannot stand inside a name of the text files.
    if (byte == '\t' || byte == '\r' || byte == '\n') byte = 'x';
  }
  return b;
}

LandTileRecord land(std::uint64_t flags, std::uint16_t texture, const std::string& name) {
  LandTileRecord r;
  r.flags = flags;
  r.textureId = texture;
  r.name = makeTileName(name);
  return r;
}

std::string field(const std::string& line, std::size_t i) { return split(line, "\t").at(i); }

// A file of the given layout whose land and static records carry names, flags and numbers, as
// the records of a real file do; `tail` bytes of a partial group follow.
Bytes namedTiledata(TiledataLayout layout, std::size_t staticGroups, std::size_t tail = 0) {
  const TiledataSizes& z = TiledataSizes::of(layout);
  TTiledata t;
  t.loadBytes(Bytes(z.landSection + staticGroups * z.staticGroup + tail, 0), layout);
  for (int id = 0; id < TTiledata::kLandCount; id += 3)
    t.writeLand(id, land(0x40u | static_cast<std::uint64_t>(id % 7),
                         static_cast<std::uint16_t>(id + 1), "land " + std::to_string(id)));
  for (std::uint32_t id = 0; id < t.staticCount(); id += 2) {
    StaticTileRecord s;
    s.flags = TileFlags::Surface | id;
    s.weight = 255, s.height = 5, s.animId = static_cast<std::uint16_t>(id + 3);
    s.name = makeTileName("thing " + std::to_string(id));
    t.writeStatic(id, s);
  }
  return t.image();
}

}  // namespace

TEST(Tiledata, BothLayoutsLoadAndSaveTheSameBytes) {
  TempDir dir;
  for (auto layout : {TiledataLayout::Classic, TiledataLayout::Wide}) {
    SCOPED_TRACE(layout == TiledataLayout::Wide ? "newer" : "older");
    const Bytes original = tiledataFile(layout, 5);
    test::writeBytes(dir.file("tiledata.mul"), original);
    TTiledata t;
    t.load(dir.file("tiledata.mul"));
    EXPECT_EQ(t.layout(), layout);
    EXPECT_EQ(t.staticCount(), 5u * 32);
    t.save(dir.file("out.mul"));
    EXPECT_EQ(test::readBytes(dir.file("out.mul")), original);
  }
}

TEST(Tiledata, LayoutsTellApartByFileSize) {
  TTiledata t;
  t.loadBytes(tiledataFile(TiledataLayout::Classic, 512));
  EXPECT_EQ(t.layout(), TiledataLayout::Classic);
  EXPECT_EQ(t.staticCount(), 0x4000u);
  t.loadBytes(tiledataFile(TiledataLayout::Wide, 2048));
  EXPECT_EQ(t.layout(), TiledataLayout::Wide);
  EXPECT_EQ(t.staticCount(), 0x10000u);  // a full count, not 0
  // A trailing partial group is not counted and is kept.
  t.loadBytes(tiledataFile(TiledataLayout::Classic, 3, 100));
  EXPECT_EQ(t.layout(), TiledataLayout::Classic);
  EXPECT_EQ(t.staticCount(), 96u);
  EXPECT_EQ(t.image(), tiledataFile(TiledataLayout::Classic, 3, 100));
  t.loadBytes(tiledataFile(TiledataLayout::Wide, 3, 10));
  EXPECT_EQ(t.layout(), TiledataLayout::Wide);
  EXPECT_EQ(t.staticCount(), 96u);
  // Exactly the land section: no statics.
  t.loadBytes(Bytes(kClassicLand));
  EXPECT_EQ(t.staticCount(), 0u);
  EXPECT_EQ(t.staticText().size(), 1u);
}

TEST(Tiledata, LayoutIsToldByTheRecordsBeforeTheSize) {
  TTiledata t;
  // An older file with 452 trailing bytes is exactly the size of a newer one of 2 static groups.
  const Bytes trailing = namedTiledata(TiledataLayout::Classic, 57, 452);
  ASSERT_EQ((trailing.size() - 493568) % 1316, 0u);
  t.loadBytes(trailing);
  EXPECT_EQ(t.layout(), TiledataLayout::Classic);
  EXPECT_EQ(t.layoutReason(), TiledataLayoutReason::Records);
  EXPECT_EQ(t.staticCount(), 57u * 32);
  EXPECT_EQ(t.staticName(6), "thing 6");
  EXPECT_EQ(t.layoutDescription(), "older (32-bit flags), told by the records' names");
  // An edit lands in the older record's bytes.
  StaticTileRecord s = *t.readStatic(33);
  s.height = 77;
  t.writeStatic(33, s);
  EXPECT_EQ(t.image()[kClassicLand + 4 + 33 * 37 + 4 + 16], 77);

  // 601480 bytes are whole groups in both layouts; the records say which.
  for (auto [layout, groups] : {std::pair{TiledataLayout::Classic, std::size_t{146}},
                                std::pair{TiledataLayout::Wide, std::size_t{82}}}) {
    const Bytes both = namedTiledata(layout, groups);
    ASSERT_EQ(both.size(), 601480u);
    t.loadBytes(both);
    EXPECT_EQ(t.layout(), layout);
    EXPECT_EQ(t.layoutReason(), TiledataLayoutReason::Records);
    EXPECT_EQ(t.landName(9), "land 9");
  }

  // Records that say nothing (all zero): whole groups decide, the older when both fit.
  t.loadBytes(Bytes(601480, 0));
  EXPECT_EQ(t.layout(), TiledataLayout::Classic);
  EXPECT_EQ(t.layoutReason(), TiledataLayoutReason::WholeGroups);
  t.loadBytes(Bytes(kWideLand + kWideGroup, 0));
  EXPECT_EQ(t.layout(), TiledataLayout::Wide);
  EXPECT_EQ(t.layoutReason(), TiledataLayoutReason::WholeGroups);
}

// An older file as real clients ship it: names of few characters with leftovers of longer names
// behind their zero byte, many empty records, flags, textures and heights.
Bytes realisticOlderTiledata(std::size_t staticGroups) {
  static const char* const landNames[] = {"void",  "grass", "dirt",    "forest", "jungle",
                                          "sand",  "rock",  "water",   "cave",   "snow",
                                          "swamp", "lava",  "furrows", "embank", "NoName"};
  static const char* const staticNames[] = {
      "wooden box", "stone wall", "tree",   "door",       "chair", "table", "banner",
      "lamp post",  "fence",      "barrel", "wall torch", "rock",  "brush", "roof"};
  TTiledata t;
  t.loadBytes(Bytes(kClassicLand + staticGroups * kClassicGroup, 0), TiledataLayout::Classic);
  std::uint32_t x = 0x2468ACE1;
  const auto next = [&x] { return x = x * 1103515245u + 12345u, x >> 16; };
  // The name over leftovers of a longer one: "dirt\0st" after "forest".
  const auto name = [&](const char* text) {
    TileName n = makeTileName(std::string(text) + "leftover of an old name");
    const std::size_t len = std::string(text).size();
    n[len] = 0;
    if (next() % 2) std::fill(n.begin() + static_cast<std::ptrdiff_t>(len), n.end(), 0);
    return n;
  };
  for (int id = 0; id < TTiledata::kLandCount; ++id) {
    if (next() % 5 == 0) continue;
    LandTileRecord r;
    r.flags =
        (next() % 3 == 0 ? TileFlags::Impassable : 0) | (next() % 7 == 0 ? TileFlags::Wet : 0);
    r.textureId = static_cast<std::uint16_t>(next() % 0x800);
    r.name = name(landNames[next() % std::size(landNames)]);
    t.writeLand(id, r);
  }
  for (std::uint32_t id = 0; id < t.staticCount(); ++id) {
    if (next() % 3 == 0) continue;
    StaticTileRecord r;
    r.flags = (next() % 2 ? TileFlags::Impassable | TileFlags::Wall : TileFlags::Background) |
              (next() % 4 == 0 ? TileFlags::Surface : 0);
    r.weight = static_cast<std::uint8_t>(next() % 256);
    r.quality = static_cast<std::uint8_t>(next() % 25);
    r.animId = static_cast<std::uint16_t>(next() % 0x400);
    r.height = static_cast<std::uint8_t>(next() % 21);
    r.name = name(staticNames[next() % std::size(staticNames)]);
    t.writeStatic(id, r);
  }
  return t.image();
}

TEST(Tiledata, OlderFileWithAnAppendedTailKeepsEveryRecordInPlace) {
  // 1,036,288 bytes: the older land section and 0x4000 statics; then 1,000 bytes of something
  // else, which in the newer layout leave the shorter partial group (212 bytes against 1,000).
  Bytes file = realisticOlderTiledata(512);
  ASSERT_EQ(file.size(), 1036288u);
  Bytes tail(1000);
  for (std::size_t i = 0; i < tail.size(); ++i) tail[i] = static_cast<std::uint8_t>(i * 7 + 3);
  file.insert(file.end(), tail.begin(), tail.end());
  TempDir dir;
  test::writeBytes(dir.file("tiledata.mul"), file);

  TTiledata t;
  t.load(dir.file("tiledata.mul"));
  EXPECT_EQ(t.layout(), TiledataLayout::Classic);
  EXPECT_EQ(t.layoutReason(), TiledataLayoutReason::Records);
  EXPECT_EQ(t.staticCount(), 0x4000u);
  // An edit of the tab's kind lands in the older record and nowhere else.
  StaticTileRecord s = *t.readStatic(0x1234);
  s.height = 99;
  s.name = makeTileName("edited");
  t.writeStatic(0x1234, s);
  t.save(dir.file("tiledata.mul"));
  const Bytes saved = test::readBytes(dir.file("tiledata.mul"));
  ASSERT_EQ(saved.size(), file.size());
  const std::size_t at = kClassicLand + 4 + 0x1234 * 37 + (0x1234 / 32) * 4;
  for (std::size_t i = 0; i < saved.size(); ++i) {
    if (i < at || i >= at + 37) {
      ASSERT_EQ(saved[i], file[i]) << "byte " << i;
    }
  }
  EXPECT_EQ(saved[at + 4 + 12], 99);
  EXPECT_TRUE(std::equal(tail.begin(), tail.end(), saved.end() - 1000));
  // Loaded again, it is the same older file.
  TTiledata again;
  again.load(dir.file("tiledata.mul"));
  EXPECT_EQ(again.layout(), TiledataLayout::Classic);
  EXPECT_EQ(again.staticName(0x1234), "edited");
  EXPECT_EQ(again.readLand(7), t.readLand(7));

  // A newer file of the same kind read with a tail is still the newer one.
  TTiledata wide;
  const Bytes wideFile = namedTiledata(TiledataLayout::Wide, 300, 900);
  wide.loadBytes(wideFile);
  EXPECT_EQ(wide.layout(), TiledataLayout::Wide);
  EXPECT_EQ(wide.layoutReason(), TiledataLayoutReason::Records);
}

TEST(Tiledata, GivenLayoutOverridesTheChoiceAndKeepsChanges) {
  TTiledata t;
  t.loadBytes(namedTiledata(TiledataLayout::Classic, 57, 452), TiledataLayout::Wide);
  EXPECT_EQ(t.layout(), TiledataLayout::Wide);
  EXPECT_EQ(t.layoutReason(), TiledataLayoutReason::Given);
  EXPECT_EQ(t.layoutDescription(), "newer (64-bit flags), as set");
  t.setLayout(std::nullopt);
  EXPECT_EQ(t.layout(), TiledataLayout::Classic);
  EXPECT_EQ(t.layoutReason(), TiledataLayoutReason::Records);
  t.writeLand(0, land(1, 2, "changed"));
  t.setLayout(TiledataLayout::Classic);
  EXPECT_EQ(t.layoutReason(), TiledataLayoutReason::Given);
  EXPECT_EQ(t.landName(0), "changed");
  // Too short for the newer land section: refused, nothing changes.
  t.loadBytes(Bytes(kClassicLand + kClassicGroup, 0));
  EXPECT_THROW(t.setLayout(TiledataLayout::Wide), FormatError);
  EXPECT_EQ(t.layout(), TiledataLayout::Classic);
  EXPECT_EQ(t.staticCount(), 32u);
  EXPECT_EQ(tiledataLayoutFromName("NEW"), TiledataLayout::Wide);
  EXPECT_EQ(tiledataLayoutFromName("older"), TiledataLayout::Classic);
  EXPECT_FALSE(tiledataLayoutFromName("").has_value());
}

TEST(Tiledata, FileTooShortForTheLandSectionIsRefused) {
  const Bytes landOnly = tiledataFile(TiledataLayout::Classic, 0);
  const test::Defect defects[] = {
      {"land_section_cut_by_one_byte", test::cutBy(1), "too short"},
      {"empty", test::cutTo(0)},
      {"cut_to_100_bytes", test::cutTo(100)},
  };
  for (const auto& d : defects) {
    SCOPED_TRACE(d.name);
    // Both a loaded table and a fresh one stay as they were.
    TTiledata t;
    t.loadBytes(tiledataFile(TiledataLayout::Classic, 1));
    const Bytes before = t.image();
    TTiledata fresh;
    for (TTiledata* table : {&t, &fresh}) {
      try {
        table->loadBytes(test::mutated(landOnly, d.mutate));
        ADD_FAILURE() << "a short file was loaded";
      } catch (const FormatError& e) {
        EXPECT_NE(std::string(e.what()).find(d.message), std::string::npos) << e.what();
      }
    }
    EXPECT_EQ(t.image(), before);
    EXPECT_FALSE(fresh.isLoaded());
  }
  TTiledata fresh;
  EXPECT_THROW(fresh.save("/tmp/never-written-tiledata.mul"), Error);
}

TEST(Tiledata, RecordsReadAndWriteAtTheirOffsets) {
  TTiledata t;
  t.loadBytes(Bytes(kClassicLand + 2 * kClassicGroup, 0));
  t.writeLand(33, land(0x80000080, 0x1234, "exactly twenty chars"));
  // Land 33 is record 1 of group 1: 4 + 33 * 26 + 1 * 4.
  EXPECT_EQ(loadU32(t.image().data() + 4 + 33 * 26 + 4), 0x80000080u);
  EXPECT_EQ(t.landName(33), "exactly twenty chars");
  EXPECT_EQ(t.landTextureId(33), 0x1234);
  EXPECT_TRUE(t.landHasFlags(33, 0x80000000));
  EXPECT_TRUE(t.landHasFlags(33, TileFlags::Wet | TileFlags::StairRight));
  EXPECT_FALSE(t.landHasFlags(33, TileFlags::Wet | TileFlags::Wall));

  StaticTileRecord s;
  s.flags = TileFlags::StairRight;
  s.weight = 1, s.quality = 2, s.unknown1 = 0x0304, s.unknown2 = 5, s.quantity = 6,
  s.animId = 0x0708;
  s.unknown3 = 9, s.hue = 10, s.unknown4 = 11, s.unknown5 = 12, s.height = 13;
  s.name = makeTileName("lamp");
  t.writeStatic(40, s);
  const std::size_t o = kClassicLand + 4 + 40 * 37 + 4;
  EXPECT_EQ(t.image()[o + 4], 1);
  EXPECT_EQ(t.image()[o + 16], 13);
  EXPECT_EQ(*t.readStatic(40), s);
  EXPECT_EQ(t.staticAnimId(40), 0x0708);
  EXPECT_EQ(t.staticUnknown1(40), 0x0304);
  EXPECT_EQ(t.staticHeight(40), 13);
  EXPECT_EQ(t.staticUnknown5(40), 12);
  EXPECT_TRUE(t.staticHasFlags(40, 0x80000000));
  EXPECT_EQ(t.staticName(40), "lamp");
}

TEST(Tiledata, IdsOutsideTheirSectionsAreRefused) {
  TTiledata t;
  t.loadBytes(Bytes(kClassicLand + kClassicGroup, 0));
  const Bytes before = t.image();
  // A land id of 0x4000 must not write static record 0.
  EXPECT_THROW(t.writeLand(0x4000, land(1, 1, "x")), Error);
  EXPECT_THROW(t.writeLand(-1, land(1, 1, "x")), Error);
  EXPECT_THROW(t.writeStatic(32, StaticTileRecord{}), Error);
  EXPECT_THROW(t.writeStatic(-1, StaticTileRecord{}), Error);
  // The older layout has no upper flag bits.
  EXPECT_THROW(t.writeLand(0, land(std::uint64_t{1} << 40, 0, "")), Error);
  EXPECT_EQ(t.image(), before);
  EXPECT_FALSE(t.readLand(0x4000).has_value());
  EXPECT_FALSE(t.readStatic(32).has_value());
  EXPECT_EQ(t.staticName(1000000), "");
  EXPECT_EQ(t.staticHeight(-5), 0);
  TTiledata unloaded;
  EXPECT_FALSE(unloaded.readLand(0).has_value());
  EXPECT_EQ(unloaded.staticCount(), 0u);
}

TEST(Tiledata, NewerLayoutKeepsTheUpperFlagBits) {
  TTiledata t;
  t.loadBytes(Bytes(kWideLand + kWideGroup, 0));
  ASSERT_EQ(t.layout(), TiledataLayout::Wide);
  t.writeLand(1, land(0x8000000100000001ull, 7, "deep water"));
  EXPECT_EQ(loadU64(t.image().data() + 4 + 30), 0x8000000100000001ull);
  EXPECT_EQ(loadU16(t.image().data() + 4 + 30 + 8), 7);
  EXPECT_TRUE(t.landHasFlags(1, std::uint64_t{1} << 63));
  StaticTileRecord s;
  s.flags = std::uint64_t{1} << 35;
  s.height = 9;
  s.name = makeTileName("crystal");
  t.writeStatic(31, s);
  EXPECT_EQ(t.image()[kWideLand + 4 + 31 * 41 + 8 + 12], 9);
  EXPECT_EQ(*t.readStatic(31), s);
  // The text files carry the upper bits in 32 more columns.
  const auto lines = t.landText();
  EXPECT_EQ(split(lines[0], "\t").size(), 3u + 64);
  EXPECT_EQ(field(lines[0], 35), "Flag32");
  EXPECT_EQ(field(lines[2], 66), "1");
  const auto statics = t.staticText();
  EXPECT_EQ(field(statics[32], 12 + 35), "1");

  TTiledata again;
  again.loadBytes(Bytes(kWideLand + kWideGroup, 0));
  again.importLandLines(lines);
  again.importStaticLines(statics);
  EXPECT_EQ(again.image(), t.image());
}

TEST(Tiledata, TextExportImportGivesTheSameBytes) {
  for (auto layout : {TiledataLayout::Classic, TiledataLayout::Wide}) {
    SCOPED_TRACE(layout == TiledataLayout::Wide ? "newer" : "older");
    TempDir dir;
    TTiledata t;
    const Bytes original = tiledataFile(layout, 4, 7);
    t.loadBytes(original);
    t.exportLandText(dir.file("TileMap.txt"));
    t.exportStaticText(dir.file("StaticTiles.txt"));
    // Wipe every record, then import both texts: the file comes back byte for byte, including
    // Unknown5 (not in the text), 20-character names and the bytes behind each name's terminator.
    TTiledata wiped;
    wiped.loadBytes(original);
    for (int id = 0; id < TTiledata::kLandCount; ++id) {
      LandTileRecord r = *wiped.readLand(id);
      r.flags ^= 0x55;
      r.textureId ^= 0x1111;
      wiped.writeLand(id, r);
    }
    for (std::uint32_t id = 0; id < wiped.staticCount(); ++id) {
      StaticTileRecord r = *wiped.readStatic(id);
      r.weight ^= 0x0F, r.hue ^= 0xF0, r.animId ^= 0x0101, r.unknown4 ^= 1, r.flags ^= 0x80000000u;
      wiped.writeStatic(id, r);
    }
    EXPECT_EQ(wiped.importLandText(dir.file("TileMap.txt")), 0x4000u);
    const StaticImportResult result = wiped.importStaticText(dir.file("StaticTiles.txt"));
    EXPECT_EQ(result.written, 128u);
    EXPECT_TRUE(result.failedLines.empty());
    EXPECT_EQ(wiped.image(), original);
  }
}

TEST(Tiledata, TextFilesFollowTheirColumns) {
  TTiledata t;
  t.loadBytes(Bytes(kClassicLand + kClassicGroup, 0));
  t.writeLand(0x3FFF, land(TileFlags::Wet | 0x80000000, 0xABC, "water"));
  StaticTileRecord s;
  s.flags = TileFlags::StairRight;
  s.weight = 255, s.quality = 3, s.animId = 0x1F4, s.height = 20, s.hue = 7, s.quantity = 2;
  s.unknown1 = 300, s.unknown2 = 4, s.unknown3 = 5, s.unknown4 = 6, s.name = makeTileName("door");
  t.writeStatic(1, s);

  const auto landLines = t.landText();
  ASSERT_EQ(landLines.size(), 0x4001u);
  EXPECT_EQ(landLines[0].substr(0, 40), "ID\tName\tTextureID\tUnused\tUnused\tTranspar");
  EXPECT_EQ(field(landLines[0], 3 + 4), "Block");
  EXPECT_EQ(landLines[0x4000].substr(0, 20), "0x3FFF\twater\t0xABC\t0");
  EXPECT_EQ(field(landLines[0x4000], 3 + 7), "1");
  EXPECT_EQ(field(landLines[0x4000], 3 + 31), "1");

  const auto staticLines = t.staticText();
  ASSERT_EQ(staticLines.size(), 33u);
  EXPECT_EQ(field(staticLines[0], 2), "Weight/Quantity");
  EXPECT_EQ(field(staticLines[0], 12 + 31), "StairRight");
  EXPECT_EQ(split(staticLines[0], "\t").size(), 44u);
  EXPECT_EQ(staticLines[2].substr(0, 37), "0x1\tdoor\t255\t3\t0x1F4\t20\t7\t2\t300\t4\t5\t6");
  EXPECT_EQ(field(staticLines[2], 43), "1");
  EXPECT_EQ(split(staticLines[2], "\t").size(), 44u);
}

TEST(Tiledata, LandImportReadsEveryIntegerFormAndStopsAtTheFirstBadLine) {
  TTiledata t;
  t.loadBytes(Bytes(kClassicLand, 0));
  const std::string flags = "\t1\t01\t 1\t1" + std::string(28 * 2, ' ');
  std::string flagFields;
  for (int bit = 0; bit < 32; ++bit)
    flagFields += bit == 0 ? "\t1" : bit == 1 ? "\t01" : bit == 2 ? "\t 1" : "\t0";
  std::vector<std::string> lines = {"header"};
  for (const char* id : {"10", "0xB", "0XC", "xD", "XE", "$F"})
    lines.push_back(std::string(id) + "\tname\t" + id + flagFields);
  lines.push_back("0x20\ta name longer than twenty\t0xFFFF" + flagFields);
  EXPECT_EQ(t.importLandLines(lines), 7u);
  for (int id = 10; id <= 15; ++id) {
    EXPECT_EQ(t.landTextureId(id), id);
    EXPECT_EQ(t.landFlags(id), 1u);  // only the exact text "1" sets a bit
  }
  EXPECT_EQ(t.landTextureId(0x20), 0xFFFF);
  EXPECT_EQ(t.landName(0x20), "a name longer than t");

  std::vector<std::string> bad = {"header", "1\tok\t1" + flagFields, "2\tbad\tzz" + flagFields,
                                  "3\tnever\t3" + flagFields};
  try {
    t.importLandLines(bad);
    FAIL();
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Line 3, field \"TextureID\": 'zz' is not a valid integer value");
  }
  EXPECT_EQ(t.landName(1), "ok");
  EXPECT_EQ(t.landName(3), "");
  // Ids past the land section stop the import instead of writing statics.
  EXPECT_THROW(t.importLandLines({"header", "0x4000\tx\t1" + flagFields}), Error);
  EXPECT_THROW(t.importLandLines({"header", "5\tshort\t1\t1"}), Error);
  // A texture id the record cannot hold is refused, not cut to 16 bits.
  try {
    t.importLandLines({"header", "4\tok\t1" + flagFields, "5\twide\t0x12345" + flagFields});
    FAIL();
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Line 3, field \"TextureID\": '0x12345' does not fit 0 to 65535.");
  }
  EXPECT_EQ(t.landName(4), "ok");
  EXPECT_EQ(t.landName(5), "");
  EXPECT_EQ(t.image().size(), kClassicLand);
}

TEST(Tiledata, StaticImportReportsBadLinesAndGoesOn) {
  TTiledata t;
  t.loadBytes(Bytes(kClassicLand + kClassicGroup, 0));
  StaticTileRecord keep;
  keep.unknown5 = 0x5A;
  keep.weight = 9;
  keep.name = makeTileName("old");
  t.writeStatic(3, keep);
  t.writeStatic(7, keep);
  std::string flagFields;
  for (int bit = 0; bit < 32; ++bit) flagFields += bit == 31 ? "\t1" : "\t0";
  const std::vector<std::string> lines = {
      "header",
      "3\tnew name\t255\t1\t0x10\t2\t3\t4\t5\t6\t7\t8" + flagFields,
      "4\tfive\tfields\tonly\there",
      "5\tbad\tabc\t1\t1\t1\t1\t1\t1\t1\t1\t1" + flagFields,
      "32\tpast the end\t1\t1\t1\t1\t1\t1\t1\t1\t1\t1" + flagFields,
      "6\tafter\t1\t1\t1\t1\t1\t1\t1\t1\t1\t1" + flagFields,
      "7\theavy\t300\t1\t1\t1\t1\t1\t1\t1\t1\t1" + flagFields,
      "7\tbig anim\t1\t1\t0x10000\t1\t1\t1\t1\t1\t1\t1" + flagFields,
      "7\tnegative\t1\t1\t1\t1\t1\t1\t1\t1\t1\t-1" + flagFields,
  };
  const StaticImportResult r = t.importStaticLines(lines);
  EXPECT_EQ(r.written, 2u);
  const std::vector<std::pair<int, std::string>> failed = {
      {3, "5 fields; a static line needs 44."},
      {4, "field \"Weight/Quantity\": 'abc' is not a valid integer value"},
      {5, "static id 32 lies outside the static section (32 records)."},
      {7, "field \"Weight/Quantity\": '300' does not fit 0 to 255."},
      {8, "field \"Gump/AnimID\": '0x10000' does not fit 0 to 65535."},
      {9, "field \"unknown4\": '-1' does not fit 0 to 255."},
  };
  EXPECT_EQ(r.failedLines, failed);
  EXPECT_EQ(t.staticWeight(3), 255);
  EXPECT_EQ(t.staticUnknown5(3), 0x5A);  // not in the text, kept
  EXPECT_EQ(t.staticName(3), "new name");
  EXPECT_TRUE(t.staticHasFlags(3, 0x80000000));
  EXPECT_EQ(t.staticName(4), "");
  EXPECT_EQ(t.staticName(6), "after");
  // Refused lines leave their record as it was: a weight of 300 is not stored as 44.
  EXPECT_EQ(*t.readStatic(7), keep);
  EXPECT_EQ(t.staticCount(), 32u);  // nothing grew
}

TEST(Tiledata, FillStaticSlotsGrowsToFullGroups) {
  TTiledata t;
  t.fillStaticSlots();  // not loaded: nothing
  EXPECT_FALSE(t.isLoaded());
  const Bytes original = tiledataFile(TiledataLayout::Classic, 512);
  t.loadBytes(original);
  t.fillStaticSlots();
  EXPECT_EQ(t.image().size(), kClassicLand + 1024 * kClassicGroup);
  EXPECT_EQ(t.staticCount(), 0x8000u);
  EXPECT_TRUE(std::equal(original.begin(), original.end(), t.image().begin()));
  EXPECT_TRUE(std::all_of(t.image().begin() + static_cast<std::ptrdiff_t>(original.size()),
                          t.image().end(), [](std::uint8_t b) { return b == 0; }));
  // A full newer file of 0x10000 statics stays as it is (its count does not wrap to 0).
  const Bytes wide = tiledataFile(TiledataLayout::Wide, 2048);
  t.loadBytes(wide);
  t.fillStaticSlots();
  EXPECT_EQ(t.image(), wide);
  t.loadBytes(tiledataFile(TiledataLayout::Wide, 1));
  t.fillStaticSlots();
  EXPECT_EQ(t.image().size(), kWideLand + 1024 * kWideGroup);
  // Bytes past the last whole group are no records: the new records are zero and the tail
  // follows them.
  const Bytes withTail = tiledataFile(TiledataLayout::Classic, 512, 1000);
  t.loadBytes(withTail, TiledataLayout::Classic);
  t.fillStaticSlots();
  EXPECT_EQ(t.image().size(), kClassicLand + 1024 * kClassicGroup + 1000);
  EXPECT_EQ(*t.readStatic(0x4000), StaticTileRecord{});
  EXPECT_TRUE(std::equal(withTail.end() - 1000, withTail.end(), t.image().end() - 1000));
}

TEST(Tiledata, FlagNames) {
  EXPECT_EQ(TileFlags::flagByName("StairRight"), 0x80000000u);
  EXPECT_EQ(TileFlags::flagByName("stairs right"), 0x80000000u);
  EXPECT_EQ(TileFlags::flagByName("Liquid"), 0x80u);
  EXPECT_EQ(TileFlags::flagByName("Wet"), 0x80u);
  EXPECT_EQ(TileFlags::flagByName("flag40"), std::uint64_t{1} << 40);
  EXPECT_FALSE(TileFlags::flagByName("flag64").has_value());
  EXPECT_FALSE(TileFlags::flagByName("nonsense").has_value());
  EXPECT_EQ(TileFlags::staticColumns()[21], "Container/Height");
  EXPECT_EQ(TileFlags::landColumns()[26], "unknown3");
}

// Flag fields are read four at a time where they have the export's form; any other field among
// them ("2", "11", "a") clears its bit and the fields after it still count in place.
TEST(Tiledata, LandImportReadsEveryFlagBitInPlace) {
  TTiledata t;
  t.loadBytes(Bytes(kClassicLand, 0));
  const std::uint32_t pattern = 0xA5C30F81;
  std::string exact, odd;
  for (int bit = 0; bit < 32; ++bit) {
    const bool set = (pattern >> bit) & 1;
    exact += set ? "\t1" : "\t0";
    odd += bit == 5 ? "\t2" : bit == 6 ? "\t11" : bit == 9 ? "\ta" : set ? "\t1" : "\t0";
  }
  EXPECT_EQ(t.importLandLines({"header", "0x1\tone\t0xff" + exact, "0000000002\ttwo\t2" + odd}),
            2u);
  EXPECT_EQ(t.landFlags(1), pattern);
  EXPECT_EQ(t.landTextureId(1), 0xFF);
  EXPECT_EQ(t.landFlags(2), pattern & ~((1u << 5) | (1u << 6) | (1u << 9)));
  EXPECT_EQ(t.landName(2), "two");
}
