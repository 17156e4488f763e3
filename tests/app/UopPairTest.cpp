#include <gtest/gtest.h>

#include "app/Error.h"
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
    EXPECT_EQ(now->stored, was->stored);
    EXPECT_EQ(now->header, was->header);
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
  for (const auto& [what, payload] : bad) {
    UopContainer hostile = UopContainer::create();
    hostile.setPayload(uopHash(uopEntryName(UopFamily::Gump, 7)), payload);
    hostile.save(dir.file(what + ".uop"));
    TGump kept;
    kept.loadUop(dir.file("gumpartLegacyMUL.uop"));
    try {
      kept.loadUop(dir.file(what + ".uop"));
      ADD_FAILURE() << what << " was read";
    } catch (const FormatError& e) {
      EXPECT_NE(std::string(e.what()).find("000007"), std::string::npos) << e.what();
    }
    EXPECT_EQ(kept.uopPath(), dir.file("gumpartLegacyMUL.uop")) << what;
    EXPECT_EQ(kept.gumpWidth(1), 3) << what;
  }
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
  EXPECT_EQ(multis.components(0), boat);
  EXPECT_EQ(multis.clilocListCount(), 2);
  multis.saveUop(dir.file("same.uop"));
  EXPECT_EQ(test::readBytes(dir.file("same.uop")), original);

  // A change elsewhere leaves the boat's lists and the housing table as they were.
  multis.writeComponents(3, {{0x11, 1, 1, 1, 0x101}});
  multis.saveUop(dir.file("changed.uop"));
  const UopContainer changed = UopContainer::read(dir.file("changed.uop"));
  EXPECT_FALSE(verifyUop(test::readBytes(dir.file("changed.uop"))));
  EXPECT_EQ(changed.payload(*changed.find(kUopHousingName)), housing);
  EXPECT_EQ(decodeUopMulti(changed.payload(*changed.find(uopEntryName(UopFamily::Multi, 0)))),
            boat);
  EXPECT_EQ(decodeUopMulti(changed.payload(*changed.find(uopEntryName(UopFamily::Multi, 3)))),
            (std::vector<MultiComponent>{{0x11, 1, 1, 1, 0x101}}));

  // As MUL the lists have no place: the save says how many it left out; tiles and flags stay.
  EXPECT_EQ(multis.save(dir.file("multi.idx"), dir.file("multi.mul")), 2);
  TMulti mul;
  mul.load(dir.file("multi.idx"), dir.file("multi.mul"));
  auto plain = boat;
  for (auto& c : plain) c.clilocs.clear();
  EXPECT_EQ(mul.components(0), plain);

  // Flags wider than the container's 16 bits are refused before anything is written.
  mul.writeComponents(1, {{0x12, 0, 0, 0, 0x10001}});
  EXPECT_THROW(mul.saveUop(dir.file("wide.uop")), Error);
  EXPECT_FALSE(fileExists(dir.file("wide.uop")));
}

TEST(UopPair, HostileMultiEntriesAreRefusedNamingTheEntry) {
  TempDir dir;
  Bytes tooMany = multiPayload(2, {{1, 0, 0, 0, 0}});
  storeU32(tooMany.data() + 4, 0x10000000);
  Bytes manyClilocs = multiPayload(2, {{1, 0, 0, 0, 0}});
  storeU32(manyClilocs.data() + 8 + 10, 0xFFFFFFF0u);
  Bytes trailing = multiPayload(2, {{1, 0, 0, 0, 0}});
  trailing.push_back(0);
  for (const Bytes& payload : {tooMany, manyClilocs, trailing}) {
    UopContainer hostile = UopContainer::create();
    hostile.setPayload(uopHash(uopEntryName(UopFamily::Multi, 2)), payload, true);
    hostile.save(dir.file("MultiCollection.uop"));
    TMulti multis;
    try {
      multis.loadUop(dir.file("MultiCollection.uop"));
      ADD_FAILURE() << "read";
    } catch (const FormatError& e) {
      EXPECT_NE(std::string(e.what()).find("000002.bin"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(multis.isLoaded());
  }
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
