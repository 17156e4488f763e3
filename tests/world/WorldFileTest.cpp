#include <gtest/gtest.h>

#include "app/Error.h"
#include "app/Text.h"
#include "world/WorldFile.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

std::string errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.what();
  }
  return "";
}

std::vector<std::tuple<int, int, int, int, int>> fields(const std::vector<TItem>& items) {
  std::vector<std::tuple<int, int, int, int, int>> out;
  for (const TItem& s : items) out.emplace_back(s.tileId, s.x, s.y, s.z, s.hue);
  return out;
}

}  // namespace

TEST(TWorldFile, SerialsListsAndDropUnwritten) {
  TWorldFile world;
  EXPECT_EQ(world.add(1, 10, 10, 0, 0), 0x2FFFFFF);
  EXPECT_EQ(world.add(2, 6143, 4095, 0, 0), 0x3000000);
  const std::int32_t third = world.add(3, 7000, 10, 0, 0);
  EXPECT_EQ(world.items()[0].kind, ItemKind::WorldUnwritten);
  world.setHue(0x3000000, 5);
  world.setTileId(0x2FFFFFF, 9);
  world.move(0x2FFFFFF, -11, 2, 200);
  EXPECT_EQ(world.items()[0].x, 0xFFFF);  // 16-bit wrap
  EXPECT_EQ(world.items()[0].z, -56);
  world.move(0x2FFFFFF, 1, 0, 0);
  world.setHue(0x2FFFFFE, 1);  // names no item
  world.remove(third + 1);
  std::vector<TItem> list(1);
  world.appendItemsInRect(10000, 0, 0, 10000, list);
  ASSERT_EQ(list.size(), 3u);  // 7000 lies past 6143
  EXPECT_EQ(list[1].tileId, 9);
  EXPECT_EQ(list[2].hue, 5);
  world.remove(0x2FFFFFF);
  list.clear();
  EXPECT_EQ(world.appendItemsInRect(0, 6143, 0, 4095, list).size(), 1u);

  TempDir dir;
  EXPECT_TRUE(world.saveText(dir.file("w.txt")));
  world.add(4, 1, 1, 1, 1);
  EXPECT_EQ(world.unwrittenItems().size(), 1u);
  EXPECT_EQ(world.allItems().size(), 4u);
  world.dropUnwritten();
  EXPECT_EQ(world.size(), 3u);
  EXPECT_EQ(world.add(5, 1, 1, 1, 1), 0x2FFFFFF + 3);
  world.clear();
  EXPECT_EQ(world.add(5, 1, 1, 1, 1), 0x2FFFFFF);
}

TEST(TWorldFile, PlainTextReadsAndWritesItsLines) {
  TempDir dir;
  test::writeText(dir.file("in.txt"), "0x1F4 100 200 -5 0x0\r\n$10 1 2 3 4 extra\nx20 0 0 0 0\r");
  TWorldFile world;
  EXPECT_EQ(world.loadText(dir.file("in.txt")), 3u);
  EXPECT_EQ(fields(world.allItems()),
            (std::vector<std::tuple<int, int, int, int, int>>{
                {0x1F4, 100, 200, -5, 0}, {0x10, 1, 2, 3, 4}, {0x20, 0, 0, 0, 0}}));
  world.saveText(dir.file("out.txt"));
  EXPECT_EQ(test::readText(dir.file("out.txt")),
            "0x1F4 100 200 -5 0x0\r\n0x10 1 2 3 0x4\r\n0x20 0 0 0 0x0\r\n");
  EXPECT_EQ(world.items()[2].kind, ItemKind::WorldWritten);

  // A failing line stops the load; the items before it stay.
  TWorldFile partial;
  EXPECT_EQ(errorOf([&] {
              partial.loadLines({"1 2 3 4 5", "1  3 4 5", "1 2 3 4 5"}, WorldTextFormat::Plain);
            }),
            "'' is not a valid integer value");
  EXPECT_EQ(partial.size(), 1u);
  EXPECT_EQ(errorOf([&] { partial.loadLines({"1 2 3"}, WorldTextFormat::Plain); }),
            "List index out of bounds (3)");
  EXPECT_EQ(errorOf([&] { partial.loadLines({""}, WorldTextFormat::Plain); }),
            "'' is not a valid integer value");
  EXPECT_EQ(errorOf([&] { partial.loadText(dir.file("missing.txt")); }),
            "Cannot open file " + dir.file("missing.txt"));
  // Values an item cannot hold stop the load at their line; nothing is cut to fit.
  for (const auto& [line, message] : std::vector<std::pair<std::string, std::string>>{
           {"1 70000 2 0 0", "Line 2: x 70000 does not fit (0 to 65535)."},
           {"1 2 -1 0 0", "Line 2: y -1 does not fit (0 to 65535)."},
           {"0x10001 2 3 0 0", "Line 2: the id 65537 does not fit (0 to 65535)."},
           {"1 2 3 128 0", "Line 2: z 128 does not fit (-128 to 127)."},
           {"1 2 3 0 0x10000", "Line 2: the hue 65536 does not fit (0 to 65535)."}}) {
    TWorldFile outside;
    EXPECT_EQ(errorOf([&] {
                outside.loadLines({"2 3 4 -128 0", line}, WorldTextFormat::Plain);
              }),
              message);
    EXPECT_EQ(outside.size(), 1u);
  }
}

TEST(TWorldFile, SphereAndWscLinesAndRoundTrips) {
  TWorldFile world;
  world.add(0x1F4, 100, 200, -5, 0x21);
  const std::int32_t gone = world.add(2, 1, 1, 1, 1);
  world.add(0xABC, 0, 4095, 127, 0);
  world.remove(gone);
  EXPECT_EQ(
      world.lines(WorldTextFormat::Sphere51a),
      (std::vector<std::string>{"[WORLDITEM 01F4]", "SERIAL=012FFFFFE", "ID=01F4", "P=100,200,-5",
                                "Color=0x21", "", "[WORLDITEM 0ABC]", "SERIAL=013000000", "ID=0ABC",
                                "P=0,4095,127", "Color=0x0", ""}));
  const auto wsc = world.lines(WorldTextFormat::Wsc);
  ASSERT_EQ(wsc.size(), 20u);
  EXPECT_EQ(std::vector<std::string>(wsc.begin(), wsc.begin() + 10),
            (std::vector<std::string>{"SECTION WORLDITEM 0", "{", "SERIAL 318767102", "ID 500",
                                      "X 100", "Y 200", "Z -5", "Color 33", "}", ""}));
  EXPECT_EQ(wsc[10], "SECTION WORLDITEM 2");  // the deleted item's number is skipped

  TempDir dir;
  for (const WorldTextFormat f :
       {WorldTextFormat::Plain, WorldTextFormat::Sphere51a, WorldTextFormat::Wsc}) {
    TWorldFile copy = world;
    ASSERT_TRUE(copy.save(dir.file("w"), f));
    TWorldFile again;
    again.add(7, 7, 7, 7, 7);
    EXPECT_EQ(again.load(dir.file("w"), f), 2u);
    EXPECT_EQ(again.allItems()[1].serial, 0x3000000);  // new serials after the current ones
    EXPECT_EQ(fields({again.allItems()[1], again.allItems()[2]}),
              (std::vector<std::tuple<int, int, int, int, int>>{{0x1F4, 100, 200, -5, 0x21},
                                                                {0xABC, 0, 4095, 127, 0}}));
  }

  // Sphere: an item without "P=" stays at (0, 0, 0); the last item is added at the end.
  TWorldFile sphere;
  EXPECT_EQ(sphere.loadLines(
                {"[WORLDITEM 0A]", "SERIAL=01", "[WORLDITEM 0B]", "P=1,2,3", "Color=0x5", "ID=0C"},
                WorldTextFormat::Sphere51a),
            2u);
  EXPECT_EQ(fields(sphere.allItems()), (std::vector<std::tuple<int, int, int, int, int>>{
                                           {0xA, 0, 0, 0, 0}, {0xC, 1, 2, 3, 5}}));
  EXPECT_EQ(errorOf([&] {
              sphere.loadLines({"[WORLDITEM 0A]", "P=1"}, WorldTextFormat::Sphere51a);
            }),
            "List index out of bounds (1)");
  EXPECT_EQ(errorOf([&] { sphere.loadLines({"[WORLDITEM 0G]"}, WorldTextFormat::Sphere51a); }),
            "'0xG' is not a valid integer value");

  // WSC: keys are read in either case, as real saves write "COLOR".
  TWorldFile ws;
  EXPECT_EQ(ws.loadLines({"SECTION WORLDITEM 9", "{", "ID 5", "X 6", "Y 7", "Z -30", "COLOR 4", "}",
                          "SECTION WORLDITEM 1", "ID 8"},
                         WorldTextFormat::Wsc),
            2u);
  EXPECT_EQ(fields(ws.allItems()),
            (std::vector<std::tuple<int, int, int, int, int>>{{5, 6, 7, -30, 4}, {8, 0, 0, 0, 0}}));
  TWorldFile upper;
  EXPECT_EQ(upper.loadLines({"[WORLDITEM 0B]", "P=1,2,3", "COLOR=0x5", "ID=0C"},
                            WorldTextFormat::Sphere51a),
            1u);
  EXPECT_EQ(fields(upper.allItems()),
            (std::vector<std::tuple<int, int, int, int, int>>{{0xC, 1, 2, 3, 5}}));
  EXPECT_EQ(errorOf([&] { ws.loadLines({"ID five"}, WorldTextFormat::Wsc); }),
            "'five' is not a valid integer value");
}

// Saves of real servers: indented keys, keys that contain others ("MOREX", "MOREP"), sections of
// other kinds, Sphere's "P=x,y" for height 0, and values too large for an item.
TEST(TWorldFile, ServerSavesReadKeysAsWholeWords) {
  TWorldFile wsc;
  EXPECT_EQ(wsc.loadLines({"SECTION WORLDITEM 0",
                           "{",
                           "\tSERIAL 1078812052",
                           "\tID 500",
                           "  X 1400",
                           "  Y 1600",
                           "  Z 5",
                           "  MOREX 9",
                           "  MOREY 9",
                           "  MOREZ 9",
                           "  Color 33",
                           "}",
                           "SECTION CHARACTER 1",
                           "{",
                           "ID 400",
                           "X 1",
                           "}",
                           "SECTION WORLDITEM 2",
                           "{",
                           "ID 0x1F4",
                           "X 3",
                           "Y 4",
                           "Z 0",
                           "}"},
                          WorldTextFormat::Wsc),
            2u);
  EXPECT_EQ(fields(wsc.allItems()), (std::vector<std::tuple<int, int, int, int, int>>{
                                        {500, 1400, 1600, 5, 33}, {0x1F4, 3, 4, 0, 0}}));

  TWorldFile sphere;
  EXPECT_EQ(sphere.loadLines({"[WORLDITEM 01F4]", "SERIAL=040001234", "ID=01F4", "P=1400,1600",
                              "MOREP=9,9,9", "Color=0x21", "", "[WORLDCHAR 0190]", "P=1,1,1",
                              "[WORLDITEM 0ABC]", "  ID=0ABC", "  P=10,20,-5", "[EOF]"},
                             WorldTextFormat::Sphere51a),
            2u);
  EXPECT_EQ(fields(sphere.allItems()), (std::vector<std::tuple<int, int, int, int, int>>{
                                           {0x1F4, 1400, 1600, 0, 0x21}, {0xABC, 10, 20, -5, 0}}));

  // Values an item cannot hold are refused with their line; the items before stay.
  TWorldFile refused;
  EXPECT_EQ(errorOf([&] {
              refused.loadLines({"SECTION WORLDITEM 0", "ID 1", "SECTION WORLDITEM 1", "ID 70000"},
                                WorldTextFormat::Wsc);
            }),
            "Line 4: the id 70000 does not fit (0 to 65535).");
  EXPECT_EQ(refused.size(), 1u);
  EXPECT_EQ(errorOf([&] {
              refused.loadLines({"[WORLDITEM 01]", "P=1,2,300"}, WorldTextFormat::Sphere51a);
            }),
            "Line 2: z 300 does not fit (-128 to 127).");
  EXPECT_EQ(errorOf([&] { refused.loadLines({"[WORLDITEM 010000]"}, WorldTextFormat::Sphere51a); }),
            "Line 1: the id 65536 does not fit (0 to 65535).");
  EXPECT_EQ(errorOf([&] {
              refused.loadLines({"X 65536", "ID 1"}, WorldTextFormat::Wsc);
            }),
            "Line 1: x 65536 does not fit (0 to 65535).");
}

TEST(TWorldFile, SavingAnEmptyListLeavesTheFileAlone) {
  TempDir dir;
  test::writeText(dir.file("w.txt"), "keep");
  TWorldFile world;
  for (const WorldTextFormat f :
       {WorldTextFormat::Plain, WorldTextFormat::Sphere51a, WorldTextFormat::Wsc})
    EXPECT_FALSE(world.save(dir.file("w.txt"), f));
  EXPECT_EQ(test::readText(dir.file("w.txt")), "keep");
  EXPECT_EQ(worldTextFormatByName("wsc"), WorldTextFormat::Wsc);
  EXPECT_THROW(worldTextFormatByName("csv"), Error);
}
