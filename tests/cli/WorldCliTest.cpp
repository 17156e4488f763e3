#include <gtest/gtest.h>

#include "app/Bmp.h"
#include "app/FileIO.h"
#include "app/Text.h"
#include "cli/CliRun.h"
#include "support/TestFiles.h"
#include "support/WorldFiles.h"
#include "world/Map.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

using Run = test::CliRun;
Run run(std::vector<std::string> words, bool sized = true) {
  if (sized) words.insert(words.end(), {"--width", "32", "--height", "24"});
  return test::runCliWords(words);
}

struct World {
  TempDir dir;
  std::string map = dir.file("map0.mul");
  std::string idx = dir.file("staidx0.mul");
  std::string mul = dir.file("statics0.mul");
  World() {
    test::writeBytes(map, test::makeMapBytes(32, 24, [](int x, int y) {
                       return test::CellSpec{static_cast<std::uint16_t>(x + 100 * y),
                                             static_cast<std::int8_t>(x - y)};
                     }));
    const auto files = test::makeStaticsFiles(
        32, 24, {{0x100, 1, 2, 5, 0}, {0x101, 7, 7, -3, 0x21}, {0x100, 12, 3, 20, 7}});
    test::writeBytes(idx, files.index);
    test::writeBytes(mul, files.data);
  }
};

}  // namespace

TEST(MapCli, AMapTheProgramHoldsOpenIsReadButNotWritten) {
  World w;
  // The program's map, opened as the Settings page opens it.
  TMap program;
  (void)program.open(w.map, 32, 24);
  auto r = run({"map", "cell", w.map, "3", "2"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("id: 0xCB"), std::string::npos) << r.out;
  r = run({"map", "info", w.map});
  EXPECT_EQ(r.code, 0) << r.err;
  // A change waits for the file to be free: the program's copy is not written under it.
  const Bytes before = test::readBytes(w.map);
  r = run({"map", "set-cell", w.map, "3", "2", "--id", "7"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("Cannot create file " + w.map), std::string::npos) << r.err;
  EXPECT_EQ(test::readBytes(w.map), before);
}

TEST(MapCli, CellsReadAndChangeInPlace) {
  World w;
  auto r = run({"map", "cell", w.map, "9", "17", "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "{\"id\":1709,\"z\":-8}\n");
  r = run({"map", "set-cell", w.map, "9", "17", "--id", "0x44", "--z", "300"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(run({"map", "cell", w.map, "9", "17", "--json"}).out, "{\"id\":68,\"z\":127}\n");
  EXPECT_EQ(run({"map", "cell", w.map, "32", "0"}).code, 1);
  // The size is required and checked.
  EXPECT_EQ(run({"map", "cell", w.map, "1", "1"}, false).code, 2);
  r = run({"map", "cell", w.map, "1", "1", "--width", "30", "--height", "24"}, false);
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("Width or Height incorrect or missing (before ML: 6144x4096)."),
            std::string::npos);
  r = run({"map", "info", w.map, "--width", "32", "--height", "32"}, false);
  EXPECT_EQ(r.code, 1);  // the file is too short for 32 x 32
  EXPECT_EQ(run({"map", "--help"}, false).code, 0);
}

TEST(MapCli, PicturesAndIdReplacement) {
  World w;
  ASSERT_EQ(run({"map", "height-map", w.map, w.dir.file("h.png")}).code, 0);
  ASSERT_EQ(run({"map", "adjusted-height-map", w.map, w.dir.file("a.bmp"), "-23"}).code, 0);
  EXPECT_EQ(readBmpFile(w.dir.file("a.bmp")).at(0, 23), makePixel(0, 0, 0));
  // The bad lines (no number, wider than a tile id) are named and skipped: run as tile 0 before
  // the rule for tile 0, they would rewrite its cells.
  test::writeText(w.dir.file("rules.txt"), "bad 7\r\n0x10064 2\r\n0x0 0x5\r\n");
  auto r = run({"map", "replace-ids", w.map, w.dir.file("rules.txt"), "--seed", "1"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Bug in Zeile 0"), std::string::npos);
  EXPECT_NE(r.out.find("Bug in Zeile 1"), std::string::npos);
  EXPECT_NE(r.out.find("1 of 1 rules applied, 1 cells changed"), std::string::npos) << r.out;
  EXPECT_EQ(run({"map", "cell", w.map, "0", "0", "--json"}).out, "{\"id\":5,\"z\":0}\n");
  EXPECT_EQ(run({"map", "cell", w.map, "0", "1", "--json"}).out, "{\"id\":100,\"z\":-1}\n");
  // A picture name without a known extension is refused before the map is read.
  r = run({"map", "height-map", w.map, w.dir.file("h")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("unknown picture format"), std::string::npos) << r.err;
  EXPECT_FALSE(fileExists(w.dir.file("h")));
}

TEST(StaticsCli, ListAddDeleteAndMoveSaveInPlace) {
  World w;
  auto r = run({"statics", "list", w.idx, w.mul, "0", "0", "31", "23", "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "[{\"id\":256,\"x\":1,\"y\":2,\"z\":5,\"hue\":0},{\"id\":257,\"x\":7,\"y\":7,\"z\":-3,"
            "\"hue\":33},{\"id\":256,\"x\":12,\"y\":3,\"z\":20,\"hue\":7}]\n");
  ASSERT_EQ(run({"statics", "add", w.idx, w.mul, "0x200", "7", "7", "-10", "2"}).code, 0);
  ASSERT_EQ(run({"statics", "delete", w.idx, w.mul, "1", "2", "0x100"}).code, 0);
  ASSERT_EQ(run({"statics", "move", w.idx, w.mul, "7", "7", "0x101", "1", "0", "1"}).code, 0);
  EXPECT_EQ(run({"statics", "delete", w.idx, w.mul, "1", "2", "0x100"}).code, 1);  // gone
  EXPECT_EQ(run({"statics", "add", w.idx, w.mul, "1", "32", "0", "0", "0"}).code, 1);
  EXPECT_EQ(run({"statics", "move", w.idx, w.mul, "12", "3", "0x100", "0", "30"}).code, 1);
  r = run({"statics", "list", w.idx, w.mul, "0", "0", "31", "23", "--json"});
  EXPECT_EQ(
      r.out,
      "[{\"id\":512,\"x\":7,\"y\":7,\"z\":-10,\"hue\":2},{\"id\":257,\"x\":8,\"y\":7,\"z\":-2,"
      "\"hue\":33},{\"id\":256,\"x\":12,\"y\":3,\"z\":20,\"hue\":7}]\n");
  r = run({"statics", "list", w.idx, w.mul, "8", "7", "8", "7"});
  EXPECT_EQ(r.out, "0x101 8 7 -2 0x21\n1 statics\n");
}

TEST(StaticsCli, WholeFileCommands) {
  World w;
  ASSERT_EQ(run({"statics", "hue", w.idx, w.mul, "12", "3", "0x100", "9"}).code, 0);
  ASSERT_EQ(run({"statics", "retype", w.idx, w.mul, "12", "3", "0x100", "0x101"}).code, 0);
  ASSERT_EQ(run({"statics", "add", w.idx, w.mul, "0x101", "12", "3", "20", "9"}).code, 0);
  EXPECT_EQ(run({"statics", "remove-duplicates", w.idx, w.mul}).out.substr(0, 38),
            "1 of 4 static items deleted, 3 left.\n");
  ASSERT_EQ(run({"statics", "export", w.idx, w.mul, w.dir.file("s.txt")}).code, 0);
  EXPECT_EQ(test::readText(w.dir.file("s.txt")),
            "0x101 7 7 -3 0x21\r\n0x100 1 2 5 0x0\r\n0x101 12 3 20 0x9\r\n");
  auto r = run({"statics", "search", w.idx, w.mul, "0x101", "--json"});
  EXPECT_EQ(
      r.out,
      "[\"Item found: 0x101 7,7,-3 Color: 0x21\",\"Item found: 0x101 12,3,20 Color: 0x9\"]\n");
  ASSERT_EQ(run({"statics", "search", w.idx, w.mul, "$100", "--dir", w.dir.path()}).code, 0);
  EXPECT_EQ(test::readText(w.dir.file("0x100.txt")), "Item found: 0x100 1,2,5 Color: 0x0\r\n");
  ASSERT_EQ(
      run({"statics", "compact", w.idx, w.mul, w.dir.file("c.idx"), w.dir.file("c.mul")}).code, 0);
  EXPECT_EQ(test::readBytes(w.dir.file("c.mul")).size(), 21u);
  // An id wider than a static tile id is refused, and nothing is written.
  r = run({"statics", "search", w.idx, w.mul, "0x10000", "--dir", w.dir.path()});
  EXPECT_EQ(r.code, 1);
  EXPECT_FALSE(fileExists(w.dir.file("0x10000.txt")));
  // The static map has the world's size.
  ASSERT_EQ(run({"statics", "static-map", w.idx, w.mul, w.dir.file("m.bmp")}).code, 0);
  const Bitmap32 staticMap = readBmpFile(w.dir.file("m.bmp"));
  EXPECT_EQ(staticMap.width, 32);
  EXPECT_EQ(staticMap.height, 24);
  EXPECT_EQ(staticMap.at(12, 3), makePixel(0, 0, 0));
  r = run({"statics", "static-map", w.idx, w.mul, w.dir.file("m")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("unknown picture format"), std::string::npos) << r.err;
  EXPECT_EQ(run({"statics", "clear", w.idx, w.mul}).out, "Statics cleared.\n");
  EXPECT_TRUE(test::readBytes(w.mul).empty());
  EXPECT_EQ(run({"statics", "list", w.idx, w.mul, "0", "0", "31", "23"}).out, "0 statics\n");
}

TEST(WorldCli, ConvertBetweenTheThreeFormats) {
  TempDir dir;
  test::writeText(dir.file("w.txt"), "0x1F4 100 200 -5 0x0\r\n0x10 1 2 3 0x4\r\n");
  ASSERT_EQ(run({"world", "convert", dir.file("w.txt"), dir.file("w.scp"), "--from", "text", "--to",
                 "sphere"},
                false)
                .code,
            0);
  EXPECT_EQ(test::readText(dir.file("w.scp"))
                .rfind("[WORLDITEM "
                       "01F4]\r\nSERIAL=012FFFFFE\r\nID=01F4\r\nP=100,200,-5\r\nColor=0x0\r\n\r\n",
                       0),
            0u);
  ASSERT_EQ(run({"world", "convert", dir.file("w.scp"), dir.file("w.wsc"), "--from", "sphere",
                 "--to", "wsc"},
                false)
                .code,
            0);
  ASSERT_EQ(run({"world", "convert", dir.file("w.wsc"), dir.file("back.txt"), "--from", "wsc",
                 "--to", "text"},
                false)
                .code,
            0);
  EXPECT_EQ(test::readText(dir.file("back.txt")), test::readText(dir.file("w.txt")));
  ASSERT_EQ(run({"world", "add", dir.file("back.txt"), "0x20", "5", "6", "-7", "1"}, false).code,
            0);
  auto r = run({"world", "list", dir.file("back.txt"), "--json"}, false);
  EXPECT_NE(r.out.find(",{\"id\":32,\"x\":5,\"y\":6,\"z\":-7,\"hue\":1}]\n"), std::string::npos);
  EXPECT_EQ(
      run({"world", "convert", dir.file("w.txt"), dir.file("x"), "--from", "csv", "--to", "text"},
          false)
          .code,
      2);
  test::writeText(dir.file("bad.txt"), "0x1 2 3\r\n");
  r = run({"world", "list", dir.file("bad.txt")}, false);
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("List index out of bounds (3)"), std::string::npos);
}
