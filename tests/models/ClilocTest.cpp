// The cliloc file: reading and writing byte for byte, the damaged files that are refused, and the
// merge of the tile names, which keeps every other entry and every character.
#include <gtest/gtest.h>

#include "app/Error.h"
#include "app/FileIO.h"
#include "models/Cliloc.h"
#include "models/Tiledata.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::readBytes;
using quillotide::test::TempDir;
using quillotide::test::writeBytes;

namespace {

Bytes entryBytes(std::int32_t number, std::uint8_t flag, const std::string& text) {
  ByteWriter w;
  w.i32(number);
  w.u8(flag);
  w.u16(static_cast<std::uint16_t>(text.size()));
  w.bytes({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
  return w.take();
}

Bytes fileOf(const std::vector<Bytes>& entries) {
  Bytes out = {2, 0, 0, 0, 1, 0};
  for (const Bytes& e : entries) out.insert(out.end(), e.begin(), e.end());
  return out;
}

// The older layout's land section and two static groups, statics 5 and 7 named, 6 unnamed.
TTiledata tiledataWithNames(const std::vector<std::pair<int, std::string>>& names) {
  const TiledataSizes& sizes = TiledataSizes::of(TiledataLayout::Classic);
  TTiledata t;
  t.loadBytes(Bytes(sizes.landSection + 2 * sizes.staticGroup, 0), TiledataLayout::Classic);
  for (const auto& [id, name] : names) {
    StaticTileRecord r;
    r.name = makeTileName(name);
    t.writeStatic(id, r);
  }
  return t;
}

std::vector<std::int32_t> numbers(const Cliloc& c) {
  std::vector<std::int32_t> out;
  for (const auto& e : c.entries) out.push_back(e.number);
  return out;
}

TEST(ClilocTest, ReadsAndWritesByteForByte) {
  // UTF-8 of several lengths, a stray byte that is not UTF-8, a flag, an empty text.
  const Bytes file = fileOf({entryBytes(500000, 0,
                                        "Gr\xC3\xBC\xC3\x9F"
                                        "e \xE2\x98\x83"),
                             entryBytes(1020001, 2, "bad \xFF byte"), entryBytes(3000000, 1, "")});
  const Cliloc c = decodeCliloc(file);
  ASSERT_EQ(c.entries.size(), 3u);
  EXPECT_EQ(c.entries[0].text,
            "Gr\xC3\xBC\xC3\x9F"
            "e \xE2\x98\x83");
  EXPECT_EQ(c.entries[1].flag, 2);
  EXPECT_EQ(clilocText(c.entries[1]), "bad \xEF\xBF\xBD byte");
  EXPECT_EQ(encodeCliloc(c), file);
  EXPECT_TRUE(decodeCliloc(Bytes{}).entries.empty());
  EXPECT_EQ(findClilocEntry(c, 3000000), &c.entries[2]);
  EXPECT_EQ(findClilocEntry(c, 4), nullptr);
}

TEST(ClilocTest, DamagedFilesAreRefused) {
  const Bytes good = fileOf({entryBytes(1020000, 0, "robe"), entryBytes(1020001, 0, "hat")});
  struct Case {
    const char* defect;
    Bytes bytes;
  };
  Bytes lengthPastEnd = good;
  lengthPastEnd[6 + 5] = 200;  // the first entry's length
  const std::vector<Case> cases = {
      {"header_cut_short", Bytes(good.begin(), good.begin() + 5)},
      {"entry_header_cut_short", Bytes(good.begin(), good.begin() + 6 + 11 + 3)},
      {"text_cut_short", Bytes(good.begin(), good.end() - 1)},
      {"length_past_end", lengthPastEnd},
  };
  for (const Case& c : cases) EXPECT_THROW(decodeCliloc(c.bytes), FormatError) << c.defect;

  TempDir dir;
  writeBytes(dir.file("cliloc.enu"), lengthPastEnd);
  try {
    loadCliloc(dir.file("cliloc.enu"));
    FAIL() << "no error";
  } catch (const FormatError& e) {
    EXPECT_EQ(std::string(e.what()),
              dir.file("cliloc.enu") +
                  ": The text of cliloc entry 1020000 at offset 6 runs past the end of the file "
                  "(200 bytes given, 14 left).");
  }
}

TEST(ClilocTest, MergeAddsAndReplacesOnlyTheTileNames) {
  const TTiledata t = tiledataWithNames({{5, "robe"}, {7, "hat"}, {40, "caf\xC3\xA9"}});
  Cliloc c = decodeCliloc(fileOf({
      entryBytes(-5, 0, "negative"),
      entryBytes(1020005, 1, "old robe"),  // out of its sorted place
      entryBytes(100, 0, "below"),
      entryBytes(1020006, 0, "kept \xE2\x98\x83"),  // static 6 has no name
      entryBytes(1600000, 0, "group three"),
      entryBytes(1000000, 0, "first of two"),
      entryBytes(500001, 0, "group one"),
      entryBytes(2000001, 0, "group four"),
      entryBytes(3000000, 0, "above"),
  }));
  const Cliloc before = c;
  const ClilocMergeResult r = mergeTileNames(c, t);
  EXPECT_EQ(r.added, 2u);
  EXPECT_EQ(r.replaced, 1u);
  EXPECT_EQ(numbers(c), (std::vector<std::int32_t>{-5, 100, 500001, 1000000, 1020005, 1020006,
                                                   1020007, 1020040, 1600000, 2000001, 3000000}));
  EXPECT_EQ(findClilocEntry(c, 1020005)->text, "robe");
  EXPECT_EQ(findClilocEntry(c, 1020005)->flag, 1);
  EXPECT_EQ(findClilocEntry(c, 1020007)->text, "hat");
  EXPECT_EQ(findClilocEntry(c, 1020040)->text, "caf\xC3\xA9");
  for (const TClilocEntry& e : before.entries)
    if (e.number != 1020005) {
      EXPECT_EQ(*findClilocEntry(c, e.number), e) << e.number;
    }
  EXPECT_EQ(c.header, before.header);

  // A second run finds the entries and replaces them instead of adding more.
  const ClilocMergeResult again = mergeTileNames(c, t);
  EXPECT_EQ(again.added, 0u);
  EXPECT_EQ(again.replaced, 3u);
  EXPECT_EQ(c.entries.size(), 11u);
}

TEST(ClilocTest, MergeIntoNoFileHoldsOnlyTheNames) {
  Cliloc c;
  mergeTileNames(c, tiledataWithNames({{33, "b"}, {2, "a"}}));
  EXPECT_EQ(numbers(c), (std::vector<std::int32_t>{1020002, 1020033}));
  EXPECT_EQ(encodeCliloc(c), (Bytes{0, 0, 0,   0,    0,    0,    0x62, 0x90, 0x0F, 0, 0,
                                    1, 0, 'a', 0x81, 0x90, 0x0F, 0,    0,    1,    0, 'b'}));
}

}  // namespace
