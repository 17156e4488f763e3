#include <gtest/gtest.h>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Text.h"
#include "app/Uop.h"
#include "models/Art.h"
#include "models/Multi.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

Bytes componentBytes(const std::vector<MultiComponent>& cs) {
  ByteWriter w;
  for (const auto& c : cs) {
    w.u16(c.id);
    w.i16(c.x);
    w.i16(c.y);
    w.i16(c.z);
    w.u32(c.flags);
  }
  return w.take();
}

// Centred (x and y span symmetric about 0, lowest z 0), so every format reads back unchanged.
const std::vector<MultiComponent> kHouse = {
    {0x64, -3, 2, 5, 0}, {0x65, 3, -2, 0, 7}, {0x1F4, 0, 0, 20, 0xFFFFFFFF}, {0x66, -3, -2, 0, 1}};

struct MultiFiles {
  TempDir dir;
  std::string idx = dir.file("multi.idx");
  std::string mul = dir.file("multi.mul");
  TMulti multi;
  MultiFiles() {
    const Bytes data = componentBytes(kHouse);
    test::writeBytes(
        idx, test::indexBytes({{0, static_cast<std::int32_t>(data.size()), 0}, {-1, -1, -1}}));
    test::writeBytes(mul, data);
    multi.load(idx, mul);
  }
};

std::vector<MultiComponent> withFlags(std::vector<MultiComponent> cs, std::uint32_t flags) {
  for (auto& c : cs) c.flags = flags;
  return cs;
}

}  // namespace

TEST(MultiExport, SphereAndWscNumberTheItemsAndPlaceThemInTheWorld) {
  const auto sphere = multiText(kHouse, MultiTextFormat::Sphere51a);
  ASSERT_EQ(sphere.size(), 20u);
  EXPECT_EQ(sphere[0], "[WORLDITEM 064]");
  EXPECT_EQ(sphere[1], "SERIAL=0404D5D94");
  EXPECT_EQ(sphere[2], "ID=064");
  EXPECT_EQ(sphere[3], "P=5397,1102,5");
  EXPECT_EQ(sphere[4], "");
  EXPECT_EQ(sphere[6], "SERIAL=0404D5D95");
  const auto wsc = multiText(kHouse, MultiTextFormat::Wsc);
  ASSERT_EQ(wsc.size(), 36u);
  EXPECT_EQ(std::vector<std::string>(wsc.begin(), wsc.begin() + 9),
            (std::vector<std::string>{"SECTION WORLDITEM 0", "{", "SERIAL 1078812052", "ID 100",
                                      "X 5397", "Y 1102", "Z 5", "}", ""}));
  EXPECT_EQ(wsc[9], "SECTION WORLDITEM 1");
  const auto text = multiText(kHouse, MultiTextFormat::PlainText);
  EXPECT_EQ(text[0], "0x64 -3 2 5 0x0 0");
  EXPECT_EQ(text[2], "0x1F4 0 0 20 0x0 -1");
  const auto uoa = multiText(kHouse, MultiTextFormat::UoaText);
  EXPECT_EQ(std::vector<std::string>(uoa.begin(), uoa.begin() + 5),
            (std::vector<std::string>{"6 version", "1 template id", "-1 item version",
                                      "4 num components", "100 -3 2 5 0"}));
}

// The round trip other tools lose: every format's export imports back into another slot with the
// same components in the same order, flags kept where the format carries them.
TEST(MultiImport, EveryExportReadsBackIntoAnotherSlot) {
  MultiFiles f;
  const std::vector<std::pair<MultiTextFormat, std::vector<MultiComponent>>> cases = {
      {MultiTextFormat::Sphere51a, withFlags(kHouse, 1)},
      {MultiTextFormat::Wsc, withFlags(kHouse, 1)},
      {MultiTextFormat::PlainText, kHouse},
      {MultiTextFormat::UoaText, kHouse}};
  std::int64_t slot = 0x10;
  for (const auto& [format, expected] : cases) {
    const std::string path = f.dir.file("house.txt");
    ASSERT_TRUE(f.multi.exportText(0, path, format));
    EXPECT_NE(test::readText(path).find("\r\n"), std::string::npos);
    const auto end = static_cast<std::int32_t>(f.multi.files().dataSize());
    f.multi.importText(slot, path, format);
    EXPECT_EQ(f.multi.components(slot), expected) << static_cast<int>(format);
    EXPECT_EQ(f.multi.record(slot), (IndexRecord{end, 48, -1}));
    ++slot;
  }
  f.multi.save(f.idx, f.mul);
  TMulti again;
  again.load(f.idx, f.mul);
  EXPECT_EQ(again.components(0x13), kHouse);
  EXPECT_FALSE(f.multi.exportText(1, f.dir.file("none.txt"), MultiTextFormat::PlainText));
  EXPECT_FALSE(fileExists(f.dir.file("none.txt")));
}

// The text formats carry no cliloc lists: a slot read back with the same tiles in the same places
// keeps the lists (and further values) of its container entry; other tiles drop them, counted.
TEST(MultiImport, AContainerSlotKeepsItsClilocListsWhenTheTilesStillMatch) {
  TempDir dir;
  const std::vector<MultiComponent> door = {
      {0x6A5, -1, 0, 0, 0x101, {1041205, 500}}, {0x6A6, 1, 0, 0, 1}, {0x6A7, 0, 0, 0, 0, {7}}};
  UopContainer made = UopContainer::create();
  made.setPayload(uopHash(uopEntryName(UopFamily::Multi, 2)), encodeUopMulti(2, door), true);
  made.save(dir.file("MultiCollection.uop"));
  TMulti m;
  m.loadUop(dir.file("MultiCollection.uop"));
  const auto before = m.components(2);
  ASSERT_EQ(before[0].clilocs, (std::vector<std::uint32_t>{1041205, 500}));
  ASSERT_EQ(before[0].further, 1u);
  for (const MultiTextFormat format : {MultiTextFormat::PlainText, MultiTextFormat::UoaText}) {
    ASSERT_TRUE(m.exportText(2, dir.file("door.txt"), format));
    EXPECT_EQ(m.importText(2, dir.file("door.txt"), format), 0);
    EXPECT_EQ(m.components(2), before);
    EXPECT_EQ(m.clilocListCount(), 2);
  }
  test::writeText(dir.file("other.txt"), "0x6A5 -1 0 0 0x0 0\r\n0x6A6 1 0 0 0x0 1\r\n");
  EXPECT_EQ(m.importText(2, dir.file("other.txt"), MultiTextFormat::PlainText), 2);
  EXPECT_EQ(m.clilocListCount(), 0);
  EXPECT_EQ(droppedOnImportMessage(2, 2),
            "2 cliloc lists of Multi 0x2 were dropped: the imported components are not the tiles "
            "they belonged to.");
}

TEST(MultiImport, RecentresAsTheSpanAndLowestHeightGive) {
  // x 5395 .. 5405, y 1095 .. 1105: centre (5400, 1100), offsets -5 .. 5, lowest z 0.
  auto cs = parseMultiText(
      {"[WORLDITEM 01]", "P=5395,1095,7", "[WORLDITEM 02]", "P=5405,1105,9", "[WORLDITEM 03]"},
      MultiTextFormat::Sphere51a);
  recentre(cs);
  ASSERT_EQ(cs.size(), 3u);
  EXPECT_EQ(cs[0], (MultiComponent{1, -5, -5, 0, 1}));
  EXPECT_EQ(cs[1], (MultiComponent{2, 5, 5, 2, 1}));
  // The last section has no position line: it takes the one before it.
  EXPECT_EQ(cs[2], (MultiComponent{3, 5, 5, 2, 1}));

  // All x negative: maxX stays 0, so cx = 0 - (0 + 10) div 2 = -5.
  cs = parseMultiText({"0x1 -10 0 0 0x0 0", "0x1 -2 0 0 0x0 0"}, MultiTextFormat::PlainText);
  recentre(cs);
  EXPECT_EQ(cs[0].x, -5);
  EXPECT_EQ(cs[1].x, 3);
}

// Saves of real servers: indented keys, "MOREX"-like keys that contain a position key, Sphere's
// "P=x,y" for height 0, sections of other kinds; and values a component cannot hold, refused with
// their line instead of cut.
TEST(MultiImport, ServerSavesReadKeysAsWholeWordsAndRefuseWhatDoesNotFit) {
  auto cs = parseMultiText({"SECTION WORLDITEM 0",
                            "{",
                            "\tSERIAL 1078812052",
                            "\tID 100",
                            "\tX 5397",
                            "\tY 1102",
                            "\tZ 5",
                            "\tMOREX 0",
                            "\tMOREY 0",
                            "\tMOREZ 0",
                            "}",
                            "SECTION CHARACTER 1",
                            "{",
                            "ID 400",
                            "X 1",
                            "}",
                            "SECTION WORLDITEM 2",
                            "{",
                            "ID 101",
                            "X 5403",
                            "}"},
                           MultiTextFormat::Wsc);
  EXPECT_EQ(cs, (std::vector<MultiComponent>{{100, 5397, 1102, 5, 1}, {101, 5403, 1102, 5, 1}}));
  cs =
      parseMultiText({"[WORLDITEM 064]", "SERIAL=0404D5D94", "ID=064", "P=5397,1102", "MOREP=1,1,1",
                      "[WORLDCHAR 0190]", "P=1,1,1", "[WORLDITEM 065]", "  P=5403,1098,7", "[EOF]"},
                     MultiTextFormat::Sphere51a);
  EXPECT_EQ(cs, (std::vector<MultiComponent>{{0x64, 5397, 1102, 0, 1}, {0x65, 5403, 1098, 7, 1}}));

  const auto refusal = [](const std::vector<std::string>& lines, MultiTextFormat format) {
    try {
      parseMultiText(lines, format);
    } catch (const Error& e) {
      return std::string(e.what());
    }
    return std::string("(read)");
  };
  EXPECT_EQ(refusal({"SECTION WORLDITEM 0", "ID 65536"}, MultiTextFormat::Wsc),
            "Line 2: the id 65536 does not fit (0 to 65535).");
  EXPECT_EQ(refusal({"SECTION WORLDITEM 0", "ID 1", "X 40000"}, MultiTextFormat::Wsc),
            "Line 3: x 40000 does not fit (-32768 to 32767).");
  EXPECT_EQ(refusal({"[WORLDITEM 010000]"}, MultiTextFormat::Sphere51a),
            "Line 1: the id 65536 does not fit (0 to 65535).");
  EXPECT_EQ(refusal({"[WORLDITEM 01]", "P=1,2,-40000"}, MultiTextFormat::Sphere51a),
            "Line 2: z -40000 does not fit (-32768 to 32767).");
  EXPECT_EQ(refusal({"0x1 2 3 4 0x0 1", "0x10000 2 3 4 0x0 1"}, MultiTextFormat::PlainText),
            "Line 2: the id 65536 does not fit (0 to 65535).");
  EXPECT_EQ(refusal({"6 version", "1 t", "-1 v", "1 num components", "1 0 70000 0 0"},
                    MultiTextFormat::UoaText),
            "Line 5: y 70000 does not fit (-32768 to 32767).");
  // Offsets from the centre are 16 bits too.
  auto wide =
      parseMultiText({"0x1 -32768 0 0 0x0 0", "0x1 32767 0 0 0x0 0"}, MultiTextFormat::PlainText);
  EXPECT_NO_THROW(recentre(wide));
  wide = parseMultiText({"0x1 -32768 0 0 0x0 0", "0x1 32767 0 32767 0x0 0", "0x1 0 0 -2 0x0 0"},
                        MultiTextFormat::PlainText);
  EXPECT_THROW(recentre(wide), Error);
}

TEST(MultiImport, BadFilesChangeNothingAndAnEmptyFileGivesAnEmptySlot) {
  MultiFiles f;
  const std::string path = f.dir.file("bad.txt");
  const auto dataSize = f.multi.files().dataSize();
  for (const auto& [text, format] : std::vector<std::pair<std::string, MultiTextFormat>>{
           {"0x1 2 3 4 0x0 1\r\n0x2 zz 3 4 0x0 1\r\n", MultiTextFormat::PlainText},
           {"0x1 2 3\r\n", MultiTextFormat::PlainText},
           {"6 version\r\n1 t\r\n-1 v\r\n3 num components\r\n1 0 0 0 0\r\n",
            MultiTextFormat::UoaText},
           {"[WORLDITEM 0G]\r\n", MultiTextFormat::Sphere51a},
           {"SECTION WORLDITEM 0\r\nX five\r\n", MultiTextFormat::Wsc}}) {
    test::writeText(path, text);
    EXPECT_THROW(f.multi.importText(1, path, format), Error) << text;
    EXPECT_FALSE(f.multi.slotExists(1));
    EXPECT_EQ(f.multi.files().dataSize(), dataSize);
  }
  test::writeText(path, "nothing here\r\n");
  f.multi.importText(1, path, MultiTextFormat::Sphere51a);
  EXPECT_EQ(f.multi.record(1), (IndexRecord{static_cast<std::int32_t>(dataSize), 0, -1}));
  EXPECT_FALSE(f.multi.slotExists(1));
  f.multi.deleteSlot(0);
  EXPECT_EQ(f.multi.record(0), (IndexRecord{-1, -1, -1}));
}

TEST(MultiPicture, NeedsArtAndDrawsInOrderWithinTheBounds) {
  MultiFiles f;
  EXPECT_THROW(
      {
        try {
          f.multi.multiPicture(0, nullptr);
        } catch (const Error& e) {
          EXPECT_STREQ(e.what(), "Load Art first.");
          throw;
        }
      },
      Error);
  // Art with two statics: 0x64 a red 4 x 6 block, 0x65 a blue 2 x 2 block.
  TArt art;
  TempDir dir;
  const std::string aidx = dir.file("artidx.mul");
  const std::string amul = dir.file("art.mul");
  test::writeBytes(aidx, {});
  test::writeBytes(amul, {});
  art.load(aidx, amul, StorageMode::Memory);
  art.importStatic(0x64, Bitmap32(4, 6, makePixel(255, 0, 0)));
  art.importStatic(0x65, Bitmap32(2, 2, makePixel(0, 0, 255)));
  // Both at the same place: the taller red goes after the blue (H ascending) and covers it.
  f.multi.writeComponents(5, {{0x64, 1, 1, 0, 0}, {0x65, 1, 1, 0, 0}});
  const Bitmap32 p = f.multi.multiPicture(5, &art);
  // left = -W/2, top = 44 - H: the red spans x -2..2, y 38..44, the blue x -1..1, y 42..44.
  ASSERT_EQ(p.width, 4);
  ASSERT_EQ(p.height, 6);
  EXPECT_EQ(p.at(1, 5), colour16ToPixel(rgbToColour16(255, 0, 0)));
  EXPECT_TRUE(f.multi.multiPicture(1, &art).empty());
}
