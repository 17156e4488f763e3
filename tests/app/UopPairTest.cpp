#include <gtest/gtest.h>
#include <unistd.h>

#include <array>

#include "app/Error.h"
#include "app/Facet.h"
#include "app/FileIO.h"
#include "app/IndexedFile.h"
#include "app/Uop.h"
#include "app/UopPair.h"
#include "models/Art.h"
#include "models/Gump.h"
#include "models/Multi.h"
#include "models/Sound.h"
#include "sample/Sample.h"
#include "support/TestFiles.h"
#include "world/Map.h"
#include "world/WorldStream.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

Bytes pattern(std::size_t n, int seed) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i)
    b[i] = static_cast<std::uint8_t>(i * 13 + static_cast<std::size_t>(seed));
  return b;
}

// A pair in the form a container gives back: slots back to back in slot order, the last full.
test::GeneratedPair packedPair(std::int32_t extraOf0, std::int32_t emptyExtra) {
  Bytes data;
  std::vector<IndexRecord> records;
  for (int i = 0; i < 6; ++i) {
    if (i == 2 || i == 4) {
      records.push_back({-1, -1, emptyExtra});
      continue;
    }
    const Bytes slot = pattern(20 + static_cast<std::size_t>(i) * 3, i);
    records.push_back({static_cast<std::int32_t>(data.size()),
                       static_cast<std::int32_t>(slot.size()), extraOf0 + i});
    data.insert(data.end(), slot.begin(), slot.end());
  }
  return {test::indexBytes(records), data};
}

Bytes gumpPayload(std::uint32_t width, std::uint32_t height, const Bytes& data) {
  Bytes out(8);
  storeU32(out.data(), width);
  storeU32(out.data() + 4, height);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

Bytes multiPayload(std::uint32_t id, const std::vector<MultiComponent>& parts) {
  return encodeUopMulti(id, parts);
}

}  // namespace

TEST(UopPair, SoundsGoThroughAContainerAndBackByteForByte) {
  TempDir dir;
  const auto pair = packedPair(1, -1);
  test::writeBytes(dir.file("soundidx.mul"), pair.index);
  test::writeBytes(dir.file("sound.mul"), pair.data);
  TSound sounds;
  sounds.load(dir.file("soundidx.mul"), dir.file("sound.mul"));
  sounds.save(dir.file("soundLegacyMUL.uop"), "");
  EXPECT_FALSE(verifyUop(test::readBytes(dir.file("soundLegacyMUL.uop"))));
  EXPECT_EQ(UopContainer::read(dir.file("soundLegacyMUL.uop")).entries().size(), 4u);

  TSound again;
  again.load(dir.file("soundLegacyMUL.uop"), "");
  EXPECT_TRUE(again.isUop());
  EXPECT_EQ(again.uopPath(), dir.file("soundLegacyMUL.uop"));
  again.save(dir.file("back.idx"), dir.file("back.mul"));
  EXPECT_EQ(test::readBytes(dir.file("back.idx")), pair.index);
  EXPECT_EQ(test::readBytes(dir.file("back.mul")), pair.data);
}

TEST(UopPair, AnUnchangedContainerIsSavedByteForByteAndAChangedSlotOnlyChangesItsEntry) {
  TempDir dir;
  // A container of the client's kind: compressed entries, one that is no slot at all.
  UopContainer made = UopContainer::create();
  for (std::uint32_t i = 0; i < 5; ++i)
    made.setPayload(uopHash(uopEntryName(UopFamily::Art, i)), pattern(40 + i, static_cast<int>(i)),
                    true);
  made.setPayload(uopHash("build/artlegacymul/readme.txt"), pattern(9, 99), false);
  made.save(dir.file("artLegacyMUL.uop"));
  const Bytes original = test::readBytes(dir.file("artLegacyMUL.uop"));

  TArt art;
  EXPECT_EQ(art.loadUop(dir.file("artLegacyMUL.uop"), StorageMode::LowMemory).has_value(), true);
  EXPECT_EQ(art.mode(), StorageMode::Memory);
  EXPECT_EQ(art.recordCount(), kLandTileCount);
  EXPECT_EQ(*art.landData(3), pattern(43, 3));
  art.saveUop(dir.file("same.uop"));
  EXPECT_EQ(test::readBytes(dir.file("same.uop")), original);

  art.writeLandData(1, pattern(2024, 7));
  art.deleteLand(4);
  art.writeStaticData(0x10, pattern(30, 8));
  art.save(dir.file("artLegacyMUL.uop"), dir.file("artLegacyMUL.uop"));
  const Bytes changed = test::readBytes(dir.file("artLegacyMUL.uop"));
  EXPECT_FALSE(verifyUop(changed));
  const UopContainer read = UopContainer::read(dir.file("artLegacyMUL.uop"));
  const UopContainer before = UopContainer::parse(original, "before");
  for (std::uint32_t i : {0u, 2u, 3u}) {
    const auto* now = read.find(uopEntryName(UopFamily::Art, i));
    const auto* was = before.find(uopEntryName(UopFamily::Art, i));
    ASSERT_TRUE(now && was);
    EXPECT_EQ(read.stored(*now), before.stored(*was));
    EXPECT_EQ(read.header(*now), before.header(*was));
  }
  const auto* replaced = read.find(uopEntryName(UopFamily::Art, 1));
  ASSERT_TRUE(replaced);
  EXPECT_EQ(replaced->compression, 1);
  EXPECT_EQ(read.payload(*replaced), pattern(2024, 7));
  EXPECT_FALSE(read.find(uopEntryName(UopFamily::Art, 4)));
  EXPECT_TRUE(read.find("build/artlegacymul/readme.txt"));
  const auto* added = read.find(uopEntryName(UopFamily::Art, 0x4010));
  ASSERT_TRUE(added);
  EXPECT_EQ(read.payload(*added), pattern(30, 8));

  // Saved into the container it came from, that container is the base of the next save.
  EXPECT_FALSE(art.files().changedSinceSaved());
  art.saveUop(dir.file("again.uop"));
  EXPECT_EQ(test::readBytes(dir.file("again.uop")), changed);
}

TEST(UopPair, GumpsTakeTheirSizeFromTheEntryAndRefuseSizesNoGumpHas) {
  TempDir dir;
  const Bytes pixels = encodeGump(test::exactPicture(3, 2, 1));
  UopContainer made = UopContainer::create();
  made.setPayload(uopHash(uopEntryName(UopFamily::Gump, 0)), gumpPayload(0, 0, {}));
  made.setPayload(uopHash(uopEntryName(UopFamily::Gump, 1)), gumpPayload(3, 2, pixels));
  made.save(dir.file("gumpartLegacyMUL.uop"));

  TGump gumps;
  gumps.loadUop(dir.file("gumpartLegacyMUL.uop"));
  EXPECT_FALSE(gumps.gumpExists(0));
  EXPECT_EQ(gumps.gumpWidth(1), 3);
  EXPECT_EQ(gumps.gumpHeight(1), 2);
  EXPECT_EQ(gumps.gumpPicture(1), test::exactPicture(3, 2, 1));
  // Saved back, the 0 x 0 placeholder stays and the size goes back in width, height order.
  gumps.saveUop(dir.file("out.uop"));
  const UopContainer out = UopContainer::read(dir.file("out.uop"));
  EXPECT_TRUE(out.find(uopEntryName(UopFamily::Gump, 0)));
  gumps.writeGump(1, test::exactPicture(5, 4, 2));
  gumps.saveUop(dir.file("out.uop"));
  const UopContainer changed = UopContainer::read(dir.file("out.uop"));
  EXPECT_EQ(changed.payload(*changed.find(uopEntryName(UopFamily::Gump, 1))),
            gumpPayload(5, 4, encodeGump(test::exactPicture(5, 4, 2))));

  const std::vector<std::pair<std::string, Bytes>> bad = {
      {"short", Bytes{1, 0, 0, 0, 1, 0}},
      {"wide", gumpPayload(0x10000, 1, pixels)},
      {"huge", gumpPayload(0xFFFF, 0xFFFF, pixels)},
      {"no height", gumpPayload(4, 0, pixels)},
  };
  // Such an entry is no gump: its slot is unreadable, named with the entry, and the gump beside
  // it is read.
  for (const auto& [what, payload] : bad) {
    UopContainer hostile = UopContainer::create();
    hostile.setPayload(uopHash(uopEntryName(UopFamily::Gump, 1)), gumpPayload(3, 2, pixels));
    hostile.setPayload(uopHash(uopEntryName(UopFamily::Gump, 7)), payload);
    hostile.save(dir.file(what + ".uop"));
    takeFileNotes();
    TGump loaded;
    loaded.loadUop(dir.file(what + ".uop"));
    EXPECT_EQ(loaded.gumpWidth(1), 3) << what;
    EXPECT_FALSE(loaded.gumpExists(7)) << what;
    const auto why = loaded.gumpUnreadable(7);
    ASSERT_TRUE(why) << what;
    EXPECT_NE(why->find("000007"), std::string::npos) << *why;
    EXPECT_EQ(takeFileNotes().size(), 1u) << what;
  }
}

namespace {

// An entry as a newer client stores some gumps: compression 3, which this program cannot read.
UopEntry compression3Entry(std::uint32_t slot) {
  UopEntry e;
  e.hash = uopHash(uopEntryName(UopFamily::Gump, slot));
  e.compression = 3;
  e.fullSize = 40;
  e.header = {3, 0, 8, 0, 9, 9, 9, 9, 9, 9, 9, 9};
  e.adler = uopAdler32(e.header);
  e.stored = pattern(17, static_cast<int>(slot));
  return e;
}

std::size_t occurrences(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++n;
  return n;
}

}  // namespace

TEST(UopPair, AnEntryThatCannotBeReadLeavesOnlyItsSlotUnreadableAndIsKeptOnSave) {
  TempDir dir;
  const Bytes pixels = encodeGump(test::exactPicture(3, 2, 1));
  UopContainer made = UopContainer::create();
  made.setPayload(uopHash(uopEntryName(UopFamily::Gump, 0)), gumpPayload(3, 2, pixels));
  made.putEntry(compression3Entry(1));
  made.setPayload(uopHash(uopEntryName(UopFamily::Gump, 2)), gumpPayload(3, 2, pixels));
  made.save(dir.file("gumpartLegacyMUL.uop"));
  const Bytes original = test::readBytes(dir.file("gumpartLegacyMUL.uop"));
  const UopEntry stored = compression3Entry(1);

  takeFileNotes();
  TGump gumps;
  gumps.loadUop(dir.file("gumpartLegacyMUL.uop"));
  EXPECT_TRUE(gumps.gumpExists(0));
  EXPECT_TRUE(gumps.gumpExists(2));
  EXPECT_FALSE(gumps.gumpExists(1));
  EXPECT_FALSE(gumps.gumpUnreadable(0));
  ASSERT_TRUE(gumps.gumpUnreadable(1));
  EXPECT_NE(gumps.gumpUnreadable(1)->find("compression 3 is not supported"), std::string::npos);
  std::string problem;
  EXPECT_TRUE(gumps.gumpPicture(1, &problem).empty());
  EXPECT_EQ(problem, *gumps.gumpUnreadable(1));
  // Said once, naming the file and the entry once each.
  const std::vector<std::string> notes = takeFileNotes();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(occurrences(notes[0], dir.file("gumpartLegacyMUL.uop")), 1u) << notes[0];
  EXPECT_EQ(occurrences(notes[0], uopEntryName(UopFamily::Gump, 1)), 1u) << notes[0];
  EXPECT_NE(notes[0].find("Gump 0x1"), std::string::npos) << notes[0];

  // Saved unchanged: the same bytes. Saved with another slot changed: the entry is as stored.
  gumps.saveUop(dir.file("same.uop"));
  EXPECT_EQ(test::readBytes(dir.file("same.uop")), original);
  gumps.writeGump(2, test::exactPicture(4, 4, 3));
  gumps.saveUop(dir.file("gumpartLegacyMUL.uop"));
  // Into another container, whose gumps are all replaced, it goes as stored as well.
  UopContainer other = UopContainer::create();
  other.setPayload(uopHash(uopEntryName(UopFamily::Gump, 9)), gumpPayload(3, 2, pixels));
  other.setPayload(uopHash("build/gumpartlegacymul/notes.txt"), pattern(5, 5));
  other.save(dir.file("other.uop"));
  gumps.saveUop(dir.file("other.uop"));
  for (const std::string name : {"gumpartLegacyMUL.uop", "other.uop"}) {
    const UopContainer saved = UopContainer::read(dir.file(name));
    const UopEntry* kept = saved.find(uopEntryName(UopFamily::Gump, 1));
    ASSERT_TRUE(kept) << name;
    EXPECT_EQ(kept->compression, 3) << name;
    EXPECT_EQ(saved.header(*kept), stored.header) << name;
    EXPECT_EQ(kept->adler, stored.adler) << name;
    EXPECT_EQ(kept->fullSize, stored.fullSize) << name;
    EXPECT_EQ(saved.stored(*kept), stored.stored) << name;
  }
  EXPECT_FALSE(UopContainer::read(dir.file("other.uop")).find(uopEntryName(UopFamily::Gump, 9)));
  EXPECT_TRUE(UopContainer::read(dir.file("other.uop")).find("build/gumpartlegacymul/notes.txt"));

  // A pair has no place for it: written empty, and said.
  takeFileNotes();
  gumps.save(dir.file("gumpidx.mul"), dir.file("gumpart.mul"));
  const std::vector<std::string> lost = takeFileNotes();
  ASSERT_EQ(lost.size(), 1u);
  EXPECT_NE(lost[0].find("Gump 0x1 was written as an empty slot"), std::string::npos) << lost[0];

  // Written by the user, the slot is an ordinary one, and its new entry (compressed, as the one
  // it replaces was) takes the old one's place.
  gumps.writeGump(1, test::exactPicture(2, 2, 4));
  EXPECT_FALSE(gumps.gumpUnreadable(1));
  gumps.saveUop(dir.file("gumpartLegacyMUL.uop"));
  const UopContainer replaced = UopContainer::read(dir.file("gumpartLegacyMUL.uop"));
  const UopEntry* now = replaced.find(uopEntryName(UopFamily::Gump, 1));
  ASSERT_TRUE(now);
  EXPECT_EQ(now->compression, 1);
  EXPECT_EQ(replaced.payload(*now),
            gumpPayload(2, 2, encodeGump(test::exactPicture(2, 2, 4))));
  EXPECT_FALSE(verifyUop(test::readBytes(dir.file("gumpartLegacyMUL.uop"))));

  // Deleted by the user, the slot is gone: its entry is not brought back on save.
  TGump again;
  again.loadUop(dir.file("other.uop"));
  ASSERT_TRUE(again.gumpUnreadable(1));
  again.deleteGump(1);
  EXPECT_FALSE(again.gumpUnreadable(1));
  again.saveUop(dir.file("other.uop"));
  EXPECT_FALSE(UopContainer::read(dir.file("other.uop")).find(uopEntryName(UopFamily::Gump, 1)));
  EXPECT_TRUE(UopContainer::read(dir.file("other.uop")).find("build/gumpartlegacymul/notes.txt"));
}

TEST(UopPair, AnEntryThatFailsAWholeLoadIsNamedOnce) {
  // A form that does not keep unreadable slots refuses the file, naming it and the entry once.
  TempDir dir;
  UopContainer made = UopContainer::create();
  made.putEntry(compression3Entry(4));
  made.save(dir.file("gumps.uop"));
  UopForm strict = uopForm(UopFamily::Gump);
  strict.keepsUnreadable = false;
  IndexedFile files;
  try {
    files.loadUop(dir.file("gumps.uop"), strict);
    ADD_FAILURE() << "the container was read";
  } catch (const FormatError& e) {
    const std::string text = e.what();
    EXPECT_EQ(occurrences(text, dir.file("gumps.uop")), 1u) << text;
    EXPECT_EQ(occurrences(text, uopEntryName(UopFamily::Gump, 4)), 1u) << text;
    EXPECT_NE(text.find("compression 3 is not supported"), std::string::npos) << text;
  }
  EXPECT_FALSE(files.isLoaded());
}

TEST(UopPair, AMapContainerIsSizedFromItsChunkTable) {
  TempDir dir;
  // A map of facet 1 at 7168 x 4096: chunks whose records give their full sizes, with streams of
  // a few bytes; nothing is inflated to size it.
  UopContainer map = UopContainer::create();
  const std::uint64_t total = 89915392;
  for (std::uint64_t at = 0, k = 0; at < total; at += kUopMapChunk, ++k) {
    UopEntry e;
    e.hash = uopHash(uopEntryName(UopFamily::Map, static_cast<std::uint32_t>(k), 1));
    e.compression = 1;
    e.fullSize = static_cast<std::uint32_t>(std::min<std::uint64_t>(kUopMapChunk, total - at));
    e.stored = {0x78, 0x9C, 3, 0};
    map.putEntry(e);
  }
  map.save(dir.file("map1LegacyMUL.uop"));
  EXPECT_EQ(uopMapFileBytes(dir.file("map1LegacyMUL.uop")), total);
  EXPECT_EQ(worldFileBytes(dir.file("map1LegacyMUL.uop")), total);
  EXPECT_EQ(facetWorldSize(1, worldFileBytes(dir.file("map1LegacyMUL.uop")), std::nullopt),
            (FacetSize{7168, 4096}));
  // Renamed to another map number, it is still the map it holds.
  test::writeBytes(dir.file("map5LegacyMUL.uop"), test::readBytes(dir.file("map1LegacyMUL.uop")));
  EXPECT_EQ(uopMapFileBytes(dir.file("map5LegacyMUL.uop")), total);
  UopContainer none = UopContainer::create();
  none.setPayload(uopHash(uopEntryName(UopFamily::Gump, 0)), Bytes(8, 0));
  none.save(dir.file("gumps.uop"));
  EXPECT_THROW((void)uopMapFileBytes(dir.file("gumps.uop")), FormatError);
  EXPECT_EQ(worldFileBytes(dir.file("none.uop")), std::nullopt);
}

TEST(UopPair, MultisKeepFlagsClilocListsAndTheHousingTable) {
  TempDir dir;
  const std::vector<MultiComponent> boat = {{0x3E4E, 0, 0, 0, 0},
                                            {0x3E85, 1, -4, 6, 257, {1041205, 1041206}},
                                            {0x3EAE, 0, 4, 0, 256, {}},
                                            {0x0001, -2, 0, 0, 1, {1000000}}};
  const Bytes housing = pattern(77, 5);
  UopContainer made = UopContainer::create();
  made.setPayload(uopHash(uopEntryName(UopFamily::Multi, 0)), multiPayload(0, boat), true);
  made.setPayload(uopHash(kUopHousingName), housing, true);
  made.setPayload(uopHash(uopEntryName(UopFamily::Multi, 3)), multiPayload(3, {{0x10, 0, 0, 0, 0}}),
                  true);
  made.save(dir.file("MultiCollection.uop"));
  const Bytes original = test::readBytes(dir.file("MultiCollection.uop"));

  TMulti multis;
  multis.load(dir.file("MultiCollection.uop"), dir.file("MultiCollection.uop"));
  EXPECT_EQ(multis.recordCount(), 4);
  // In the MUL form: bit 0 inverted, 0x100 as the further value.
  const std::vector<MultiComponent> mulBoat = {{0x3E4E, 0, 0, 0, 1, 0, {}},
                                               {0x3E85, 1, -4, 6, 0, 1, {1041205, 1041206}},
                                               {0x3EAE, 0, 4, 0, 1, 1, {}},
                                               {0x0001, -2, 0, 0, 0, 0, {1000000}}};
  EXPECT_EQ(multis.components(0), mulBoat);
  EXPECT_EQ(multis.clilocListCount(), 2);
  multis.saveUop(dir.file("same.uop"));
  EXPECT_EQ(test::readBytes(dir.file("same.uop")), original);

  // A change elsewhere leaves the boat's lists and the housing table as they were.
  multis.writeComponents(3, {{0x11, 1, 1, 1, 0, 1, {}}});
  multis.saveUop(dir.file("changed.uop"));
  const UopContainer changed = UopContainer::read(dir.file("changed.uop"));
  EXPECT_FALSE(verifyUop(test::readBytes(dir.file("changed.uop"))));
  EXPECT_EQ(changed.payload(*changed.find(kUopHousingName)), housing);
  EXPECT_EQ(decodeUopMulti(changed.payload(*changed.find(uopEntryName(UopFamily::Multi, 0)))),
            boat);
  EXPECT_EQ(decodeUopMulti(changed.payload(*changed.find(uopEntryName(UopFamily::Multi, 3)))),
            (std::vector<MultiComponent>{{0x11, 1, 1, 1, 0x101}}));

  // As MUL the lists have no place: the save says how many it left out; tiles and flags stay.
  EXPECT_EQ(multis.save(dir.file("multi.idx"), dir.file("multi.mul")).droppedClilocLists, 2);
  TMulti mul;
  mul.load(dir.file("multi.idx"), dir.file("multi.mul"));
  auto plain = mulBoat;
  for (auto& c : plain) c.clilocs.clear();
  EXPECT_EQ(mul.components(0), plain);

  // Flags wider than the container's 16 bits are refused before anything is written.
  mul.writeComponents(1, {{0x12, 0, 0, 0, 0x10001}});
  EXPECT_THROW(mul.saveUop(dir.file("wide.uop")), Error);
  EXPECT_FALSE(fileExists(dir.file("wide.uop")));
}

// A damaged multi entry costs that multi only: every other one loads, the slot is marked with
// the entry's name and fault, the load says so once, and the entry goes back into the container
// byte for byte (or is gone once its slot is deleted).
TEST(UopPair, HostileMultiEntriesAreMarkedUnreadableAndKeptByteForByte) {
  TempDir dir;
  Bytes tooMany = multiPayload(2, {{1, 0, 0, 0, 0}});
  storeU32(tooMany.data() + 4, 0x10000000);
  Bytes manyClilocs = multiPayload(2, {{1, 0, 0, 0, 0}});
  storeU32(manyClilocs.data() + 8 + 10, 0xFFFFFFF0u);
  Bytes trailing = multiPayload(2, {{1, 0, 0, 0, 0}});
  trailing.push_back(0);
  const std::vector<MultiComponent> tent = {{0x20, 0, 0, 0, 0}, {0x21, 1, 0, 0, 1, {500}}};
  int round = 0;
  for (const Bytes& payload : {tooMany, manyClilocs, trailing}) {
    const auto file = [&](const std::string& name) {
      return dir.file(std::to_string(round) + name);
    };
    ++round;
    UopContainer hostile = UopContainer::create();
    hostile.setPayload(uopHash(uopEntryName(UopFamily::Multi, 1)), multiPayload(1, tent), true);
    hostile.setPayload(uopHash(uopEntryName(UopFamily::Multi, 2)), payload, true);
    hostile.setPayload(uopHash(uopEntryName(UopFamily::Multi, 3)), multiPayload(3, tent), true);
    hostile.save(file("MultiCollection.uop"));
    const Bytes original = test::readBytes(file("MultiCollection.uop"));
    takeFileNotes();
    TMulti multis;
    multis.loadUop(file("MultiCollection.uop"));
    ASSERT_TRUE(multis.isLoaded());
    const auto notes = takeFileNotes();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("Multi 0x2 cannot be read"), std::string::npos) << notes[0];
    EXPECT_NE(notes[0].find("000002.bin"), std::string::npos) << notes[0];
    EXPECT_EQ(multis.unreadableSlots(), (std::vector<std::int64_t>{2}));
    ASSERT_TRUE(multis.unreadableReason(2));
    EXPECT_TRUE(multis.components(2).empty());
    EXPECT_EQ(multis.components(3).size(), 2u);
    EXPECT_EQ(multis.components(3)[1].clilocs, (std::vector<std::uint32_t>{500}));

    // Saved into a new container, every entry is as it was; a change elsewhere keeps it too.
    multis.saveUop(file("same.uop"));
    EXPECT_EQ(test::readBytes(file("same.uop")), original);
    multis.writeComponents(1, {{0x22, 0, 0, 0, 1}});
    multis.saveUop(file("MultiCollection.uop"));
    const UopContainer kept = UopContainer::read(file("MultiCollection.uop"));
    const UopContainer before = UopContainer::parse(original, "before");
    EXPECT_EQ(kept.stored(*kept.find(uopEntryName(UopFamily::Multi, 2))),
              before.stored(*before.find(uopEntryName(UopFamily::Multi, 2))));
    EXPECT_EQ(kept.header(*kept.find(uopEntryName(UopFamily::Multi, 2))),
              before.header(*before.find(uopEntryName(UopFamily::Multi, 2))));

    // A MUL pair has no place for it: its slot is empty there, and that is said.
    takeFileNotes();
    const MultiSaveResult asMul = multis.save(file("multi.idx"), file("multi.mul"));
    EXPECT_EQ(asMul.unreadableLeftOut, (std::vector<std::int64_t>{2}));
    const auto saveNotes = takeFileNotes();
    ASSERT_EQ(saveNotes.size(), 1u);
    EXPECT_NE(saveNotes[0].find("Multi 0x2"), std::string::npos) << saveNotes[0];

    // Deleted, the slot's entry goes with it.
    multis.deleteSlot(2);
    EXPECT_FALSE(multis.unreadableReason(2));
    multis.saveUop(file("MultiCollection.uop"));
    EXPECT_FALSE(
        UopContainer::read(file("MultiCollection.uop")).find(uopEntryName(UopFamily::Multi, 2)));
  }
}

namespace {

// A 16-byte multi pair as a current client has it, in the form a container gives back (slots
// back to back in slot order, extra -1, empty records (-1, -1, -1)): flags 0 and 1, further values
// 0 and 1 in each combination.
test::GeneratedPair sixteenBytePair() {
  ByteWriter data;
  std::vector<IndexRecord> records;
  const auto slot = [&](const std::vector<std::array<std::uint32_t, 2>>& flags) {
    const auto at = static_cast<std::int32_t>(data.size());
    std::int16_t k = 0;
    for (const auto& [f, further] : flags) {
      data.u16(static_cast<std::uint16_t>(0x3E00 + k));
      data.i16(k);
      data.i16(static_cast<std::int16_t>(-k));
      data.i16(static_cast<std::int16_t>(k % 3));
      data.u32(f);
      data.u32(further);
      ++k;
    }
    records.push_back({at, static_cast<std::int32_t>(data.size()) - at, -1});
  };
  slot({{1, 0}, {0, 0}, {0, 1}, {1, 1}, {1, 0}});
  records.push_back({-1, -1, -1});
  slot({{1, 0}, {1, 0}, {0, 0}, {1, 0}, {1, 0}, {1, 0}, {0, 1}});
  return {test::indexBytes(records), data.take()};
}

}  // namespace

// Bit 0 means the opposite in each form, and the MUL further value is the container's 0x100: a
// real-layout pair goes into a container with the client's tile flags and comes back byte for byte.
TEST(UopPair, MultiFlagsMapBetweenTheFormsAndAPairComesBackByteForByte) {
  TempDir dir;
  const auto pair = sixteenBytePair();
  test::writeBytes(dir.file("multi.idx"), pair.index);
  test::writeBytes(dir.file("multi.mul"), pair.data);
  TMulti mul;
  EXPECT_FALSE(mul.load(dir.file("multi.idx"), dir.file("multi.mul")));
  EXPECT_EQ(mul.layout(), MultiLayout::Newer16);
  EXPECT_FALSE(mul.saveUop(dir.file("MultiCollection.uop")));

  const UopContainer packed = UopContainer::read(dir.file("MultiCollection.uop"));
  std::vector<std::uint32_t> flags;
  for (const MultiComponent& c :
       decodeUopMulti(packed.payload(*packed.find(uopEntryName(UopFamily::Multi, 0)))))
    flags.push_back(c.flags);
  EXPECT_EQ(flags, (std::vector<std::uint32_t>{0, 1, 0x101, 0x100, 0}));

  TMulti uop;
  EXPECT_FALSE(uop.load(dir.file("MultiCollection.uop"), ""));
  EXPECT_EQ(uop.components(2), mul.components(2));
  uop.save(dir.file("back.idx"), dir.file("back.mul"));
  EXPECT_EQ(test::readBytes(dir.file("back.idx")), pair.index);
  EXPECT_EQ(test::readBytes(dir.file("back.mul")), pair.data);
}

// What one form has and the other has no known counterpart for is named, never dropped: tile flag
// bits of no known meaning are carried in the same bits both ways and said; MUL flags or further
// values the container's 16 bits cannot hold refuse the save, naming the component.
TEST(UopPair, MultiFlagsWithoutACounterpartAreNamed) {
  EXPECT_EQ(uopFlagsOf(1, 0), 0);
  EXPECT_EQ(uopFlagsOf(0, 0), 1);
  EXPECT_EQ(uopFlagsOf(0, 1), 0x101);
  EXPECT_EQ(uopFlagsOf(1, 1), 0x100);
  EXPECT_EQ(uopFlagsOf(0x5, 0), 0x4);
  EXPECT_EQ(uopFlagsOf(0x101, 0), std::nullopt);
  EXPECT_EQ(uopFlagsOf(0x10001, 0), std::nullopt);
  EXPECT_EQ(uopFlagsOf(1, 2), std::nullopt);
  for (std::uint32_t u = 0; u <= 0xFFFF; ++u) {
    const MulFlags m = mulFlagsOf(static_cast<std::uint16_t>(u));
    ASSERT_EQ(uopFlagsOf(m.flags, m.further), u) << u;
  }

  TempDir dir;
  UopContainer made = UopContainer::create();
  made.setPayload(uopHash(uopEntryName(UopFamily::Multi, 4)),
                  multiPayload(4, {{0x10, 0, 0, 0, 0}, {0x11, 0, 1, 0, 0x3}}), true);
  made.save(dir.file("MultiCollection.uop"));
  TMulti multis;
  const auto said = multis.loadUop(dir.file("MultiCollection.uop"));
  ASSERT_TRUE(said);
  EXPECT_NE(said->find("first: Multi 0x4, component 2, flags 0x3"), std::string::npos) << *said;
  EXPECT_EQ(multis.components(4)[1].flags, 0x2u);
  multis.save(dir.file("multi.idx"), dir.file("multi.mul"));
  TMulti mul;
  mul.load(dir.file("multi.idx"), dir.file("multi.mul"));
  const auto back = mul.saveUop(dir.file("back.uop"));
  ASSERT_TRUE(back);
  EXPECT_NE(back->find("first: Multi 0x4, component 2, MUL flags 0x2"), std::string::npos) << *back;
  const UopContainer again = UopContainer::read(dir.file("back.uop"));
  EXPECT_EQ(decodeUopMulti(again.payload(*again.find(uopEntryName(UopFamily::Multi, 4))))[1].flags,
            0x3u);

  mul.writeComponents(5, {{0x12, 0, 0, 0, 1}, {0x12, 0, 0, 0, 0x101}});
  try {
    mul.saveUop(dir.file("wide.uop"));
    ADD_FAILURE() << "saved";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("Multi 0x5, component 2: MUL flags 0x101"),
              std::string::npos)
        << e.what();
  }
  EXPECT_FALSE(fileExists(dir.file("wide.uop")));
}

TEST(UopPair, MapsReadTheirChunksInOrderAndWriteOnlyTheChangedOnes) {
  TempDir dir;
  // 64 x 1024 cells: 1024 blocks, a whole chunk's quarter... make it span several chunks.
  const int width = 8 * 40;
  const int height = 8 * 512;
  const Bytes map = pattern(static_cast<std::size_t>(width / 8) * (height / 8) * 196, 3);
  ASSERT_GT(map.size(), 4 * kUopMapChunk);
  test::writeBytes(dir.file("map2.mul"), map);
  TMap mul;
  mul.open(dir.file("map2.mul"), width, height);
  mul.saveUop(dir.file("map2LegacyMUL.uop"));
  const Bytes original = test::readBytes(dir.file("map2LegacyMUL.uop"));
  EXPECT_FALSE(verifyUop(original));
  const UopContainer packed = UopContainer::parse(original, "map");
  EXPECT_EQ(packed.entries().size(), 5u);
  EXPECT_TRUE(packed.find(uopEntryName(UopFamily::Map, 4, 2)));

  TMap uop;
  uop.open(dir.file("map2LegacyMUL.uop"), width, height);
  EXPECT_TRUE(uop.isUop());
  EXPECT_EQ(uop.cell(5, 9), mul.cell(5, 9));
  uop.saveMul(dir.file("back.mul"));
  EXPECT_EQ(test::readBytes(dir.file("back.mul")), map);

  // The last cell lies in the last chunk; only that entry changes.
  uop.setTileId(width - 1, height - 1, 0x1234);
  EXPECT_EQ(uop.saveChangedBlocks(), 1);
  const UopContainer written = UopContainer::read(dir.file("map2LegacyMUL.uop"));
  for (std::uint32_t k = 0; k < 4; ++k)
    EXPECT_EQ(written.find(uopEntryName(UopFamily::Map, k, 2))->stored,
              packed.find(uopEntryName(UopFamily::Map, k, 2))->stored);
  TMap reread;
  reread.open(dir.file("map2LegacyMUL.uop"), width, height);
  EXPECT_EQ(reread.cell(width - 1, height - 1)->tileId, 0x1234);
}

TEST(UopPair, EverySampleContainerEqualsItsMulTwinSlotForSlot) {
  TempDir dir;
  sample::writeSampleSet(dir.path());
  const auto path = [&](const char* name) { return dir.file(name); };
  for (const char* name : {"artLegacyMUL.uop", "gumpartLegacyMUL.uop", "soundLegacyMUL.uop",
                           "MultiCollection.uop", "map0LegacyMUL.uop"})
    EXPECT_FALSE(verifyUop(test::readBytes(path(name)))) << name;

  TArt art, artUop;
  art.load(path("artidx.mul"), path("art.mul"), StorageMode::Memory);
  artUop.load(path("artLegacyMUL.uop"), "", StorageMode::Memory);
  for (std::int64_t r = 0; r < art.recordCount(); ++r) {
    EXPECT_EQ(art.files().readSlot(r), artUop.files().readSlot(r)) << r;
    if (art.files().exists(r)) {
      EXPECT_EQ(art.files().record(r)->extra, artUop.files().record(r)->extra);
    }
  }

  TGump gumps, gumpsUop;
  gumps.load(path("gumpidx.mul"), path("gumpart.mul"));
  gumpsUop.load(path("gumpartLegacyMUL.uop"), "");
  for (std::int64_t g = 0; g < gumps.gumpCount(); ++g) {
    EXPECT_EQ(gumps.slotBytes(g), gumpsUop.slotBytes(g)) << g;
    if (gumps.gumpExists(g)) {
      EXPECT_EQ(gumps.record(g)->extra, gumpsUop.record(g)->extra) << g;
    }
  }

  TSound sounds, soundsUop;
  sounds.load(path("soundidx.mul"), path("sound.mul"));
  soundsUop.load(path("soundLegacyMUL.uop"), "");
  for (std::int64_t s = 0; s < sounds.recordCount(); ++s) {
    EXPECT_EQ(sounds.files().readSlot(s), soundsUop.files().readSlot(s)) << s;
    if (sounds.slotExists(s)) {
      EXPECT_EQ(sounds.record(s), soundsUop.record(s)) << s;
    }
  }

  TMulti multis, multisUop;
  multis.load(path("multi.idx"), path("multi.mul"));
  multisUop.load(path("MultiCollection.uop"), "");
  for (std::int64_t m = 0; m < multis.recordCount(); ++m)
    EXPECT_EQ(multis.components(m), multisUop.components(m)) << m;

  EXPECT_EQ(test::readBytes(path("map0.mul")).size(),
            static_cast<std::size_t>(sample::kSampleWorldSize / 8) *
                (sample::kSampleWorldSize / 8) * 196);
  TMap map;
  map.open(path("map0LegacyMUL.uop"), sample::kSampleWorldSize, sample::kSampleWorldSize);
  map.saveMul(path("map0-back.mul"));
  EXPECT_EQ(test::readBytes(path("map0-back.mul")), test::readBytes(path("map0.mul")));
}

TEST(UopPair, WorldToolsReadAMapContainerAndNeverWriteIntoOne) {
  TempDir dir;
  const Bytes map = pattern(2 * 2 * 196, 4);
  containerOfMapFile(map, 1).save(dir.file("map1LegacyMUL.uop"));
  const Bytes container = test::readBytes(dir.file("map1LegacyMUL.uop"));
  const auto read = WorldStream::openForReading(dir.file("map1LegacyMUL.uop"));
  EXPECT_EQ(read->bytes(), map);
  EXPECT_THROW(WorldStream::openFile(dir.file("map1LegacyMUL.uop")), FileError);
  EXPECT_EQ(test::readBytes(dir.file("map1LegacyMUL.uop")), container);
}

TEST(UopPair, SlotsAreReadWhereTheyLieAndSavesOntoTheReadFileCopyTheRest) {
  TempDir dir;
  const std::string path = dir.file("gumpartLegacyMUL.uop");
  // Stored entries as the client's gumps are, one zlib entry among them, one placeholder.
  UopContainer made = UopContainer::create(4, 3);
  for (std::uint32_t g = 0; g < 8; ++g)
    made.setPayload(uopHash(uopEntryName(UopFamily::Gump, g)),
                    gumpPayload(2 + g, 3, pattern(4 * (2 + g) * 3, static_cast<int>(g))),
                    g == 5);
  made.setPayload(uopHash(uopEntryName(UopFamily::Gump, 9)), gumpPayload(0, 0, pattern(4, 1)));
  made.save(path);
  const Bytes original = test::readBytes(path);

  IndexedFile files;
  const UopForm form = uopForm(UopFamily::Gump);
  files.loadUop(path, form);
  for (std::uint32_t g = 0; g < 8; ++g) {
    EXPECT_EQ(*files.readSlot(g), pattern(4 * (2 + g) * 3, static_cast<int>(g))) << g;
    EXPECT_EQ(files.record(g)->extra, static_cast<std::int32_t>(((2 + g) << 16) | 3)) << g;
  }
  EXPECT_FALSE(files.exists(9));  // 0 x 0 is no gump, whatever follows
  // Several slots in one read, as a pair save reads the data.
  const auto r1 = *files.record(1), r3 = *files.record(3);
  EXPECT_EQ(files.readDataAt(static_cast<std::uint64_t>(r1.lookup),
                             static_cast<std::size_t>(r3.lookup + r3.length - r1.lookup))
                .size(),
            static_cast<std::size_t>(r3.lookup + r3.length - r1.lookup));
  EXPECT_EQ(files.changedOnDisk(), std::nullopt);

  // Unchanged, the save onto the very file read gives its bytes back; then one changed slot
  // changes only its entry, twice in a row, while the rest is still read from the file opened.
  files.saveUop(path, form);
  EXPECT_EQ(test::readBytes(path), original);
  for (int round = 0; round < 2; ++round) {
    files.writeSlot(2, pattern(4 * 6 * 3, 70 + round), (6 << 16) | 3);
    files.saveUop(path, form);
    EXPECT_EQ(files.changedOnDisk(), std::nullopt) << "a save of its own is no change";
    const Bytes saved = test::readBytes(path);
    EXPECT_EQ(verifyUop(saved), std::nullopt);
    EXPECT_EQ(saved.size(), original.size() + (4 * 6 * 3 - 4 * 4 * 3));  // the entry grew
    const UopContainer read = UopContainer::read(path);
    EXPECT_EQ(read.payload(*read.find(uopEntryName(UopFamily::Gump, 2))),
              gumpPayload(6, 3, pattern(4 * 6 * 3, 70 + round)));
    for (std::uint32_t g : {0u, 1u, 3u, 5u, 7u})
      EXPECT_EQ(read.payload(*read.find(uopEntryName(UopFamily::Gump, g))),
                gumpPayload(2 + g, 3, pattern(4 * (2 + g) * 3, static_cast<int>(g))));
    EXPECT_EQ(*files.readSlot(7), pattern(4 * 9 * 3, 7));
    IndexedFile again;
    again.loadUop(path, form);
    EXPECT_EQ(*again.readSlot(2), pattern(4 * 6 * 3, 70 + round));
    EXPECT_EQ(*again.readSlot(6), pattern(4 * 8 * 3, 6));
  }
  // A pair written from it streams every slot out of the container.
  files.save(dir.file("gumpidx.mul"), dir.file("gumpart.mul"));
  TGump pair;
  pair.load(dir.file("gumpidx.mul"), dir.file("gumpart.mul"));
  EXPECT_EQ(*pair.slotBytes(6), pattern(4 * 8 * 3, 6));
  EXPECT_EQ(*pair.slotBytes(2), pattern(4 * 6 * 3, 71));
}

TEST(UopPair, AContainerTruncatedOrReplacedUnderALoadedFamilyIsAMessageNotAFault) {
  TempDir dir;
  const std::string path = dir.file("artLegacyMUL.uop");
  UopContainer made = UopContainer::create();
  for (std::uint32_t n = 0; n < 40; ++n)
    made.setPayload(uopHash(uopEntryName(UopFamily::Art, n)), pattern(2024, static_cast<int>(n)));
  made.save(path);
  const Bytes original = test::readBytes(path);

  TArt art;
  art.loadUop(path, StorageMode::Memory);
  EXPECT_EQ(*art.landData(39), pattern(2024, 39));
  // Another program cuts the file short: slots that lay beyond its new end are a message naming
  // the file, the rest still read, and a save refuses to write what it cannot copy.
  ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(original.size() / 2)), 0);
  ASSERT_TRUE(art.changedOnDisk());
  EXPECT_NE(art.changedOnDisk()->find("changed on disk"), std::string::npos);
  EXPECT_EQ(*art.landData(0), pattern(2024, 0));
  try {
    (void)art.landData(39);
    ADD_FAILURE() << "a slot past the end was read";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("Read it again"), std::string::npos) << e.what();
  }
  art.writeLandData(1, pattern(2024, 77));
  EXPECT_THROW(art.saveUop(path), Error);
  EXPECT_EQ(fileSize(path), original.size() / 2);  // as the other program left it

  // Replaced whole by another program: the family still reads the file it opened, and says the
  // file on disk is another.
  test::writeBytes(path, original);
  TArt held;
  held.loadUop(path, StorageMode::Memory);
  UopContainer other = UopContainer::create();
  other.setPayload(uopHash(uopEntryName(UopFamily::Art, 0)), pattern(2024, 99));
  other.save(path);
  ASSERT_TRUE(held.changedOnDisk());
  EXPECT_NE(held.changedOnDisk()->find("replaced"), std::string::npos);
  EXPECT_EQ(*held.landData(39), pattern(2024, 39));
}
