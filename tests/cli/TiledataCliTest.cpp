#include <gtest/gtest.h>

#include <sstream>

#include "cli/Cli.h"
#include "cli/CliRun.h"
#include "models/Hues.h"
#include "models/Tiledata.h"
#include "sample/Sample.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

using Run = test::CliRun;
Run run(const std::vector<std::string>& words) { return test::runCliWords(words); }

// The sample tile data and hue files, written once per test into a fresh folder.
struct Sample {
  TempDir dir;
  std::string tiledata = dir.file("tiledata.mul");
  std::string hues = dir.file("hues.mul");
  Sample() {
    sample::writeTiledata(dir.path());
    sample::writeHues(dir.path());
  }
};

}  // namespace

TEST(TiledataCli, ShowsRecordsOfTheSample) {
  Sample s;
  auto r = run({"tiledata", "info", s.tiledata, "--json"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "{\"layout\":\"older\",\"layoutChosenBy\":\"records\",\"flagBits\":32,\"landCount\":"
            "16384,\"staticCount\":16384,"
            "\"bytes\":1036288,\"tailBytes\":0}\n");
  r = run({"tiledata", "land", s.tiledata, "7"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("name: water"), std::string::npos);
  EXPECT_NE(r.out.find("flags: 0xC0 (Impassible Wet)"), std::string::npos);
  r = run({"tiledata", "static", s.tiledata, "0x12", "--json"});
  EXPECT_NE(r.out.find("\"name\":\"sword\""), std::string::npos);
  r = run({"tiledata", "static", s.tiledata, "0x4000"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("outside the static section"), std::string::npos);
  r = run({"tiledata", "land", s.tiledata, "0x4000"});
  EXPECT_EQ(r.code, 1);
  r = run({"tiledata", "list", s.tiledata, "land", "--named"});
  EXPECT_EQ(r.out.substr(0, 16), "0x0\tvoid\n0x1\tgra");
}

TEST(TiledataCli, FieldEditsSaveInPlaceOrToAPath) {
  Sample s;
  const Bytes before = test::readBytes(s.tiledata);
  auto r = run({"tiledata", "set-static", s.tiledata, "0x12", "--height", "9", "--set", "Door",
                "--clear", "Weapon", "--name", "long sword", "--out", s.dir.file("copy.mul")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(test::readBytes(s.tiledata), before);
  TTiledata t;
  t.load(s.dir.file("copy.mul"));
  EXPECT_EQ(t.staticHeight(0x12), 9);
  EXPECT_EQ(t.staticName(0x12), "long sword");
  EXPECT_TRUE(t.staticHasFlags(0x12, TileFlags::Door | TileFlags::Wearable));
  EXPECT_FALSE(t.staticHasFlags(0x12, TileFlags::Weapon));

  r = run({"tiledata", "set-land", s.tiledata, "3", "--texture", "0x44", "--set", "Liquid"});
  ASSERT_EQ(r.code, 0) << r.err;
  t.load(s.tiledata);
  EXPECT_EQ(t.landTextureId(3), 0x44);
  EXPECT_TRUE(t.landHasFlags(3, TileFlags::Wet));

  // Refused edits leave the file alone.
  const Bytes now = test::readBytes(s.tiledata);
  EXPECT_EQ(run({"tiledata", "set-static", s.tiledata, "1", "--height", "256"}).code, 2);
  EXPECT_EQ(run({"tiledata", "set-static", s.tiledata, "1", "--set", "Sparkly"}).code, 2);
  EXPECT_EQ(run({"tiledata", "set-land", s.tiledata, "1", "--set", "Flag40"}).code, 1);
  EXPECT_EQ(run({"tiledata", "set-land", s.tiledata, "0x4000", "--texture", "1"}).code, 1);
  EXPECT_EQ(test::readBytes(s.tiledata), now);
}

TEST(TiledataCli, TextExportImportGivesTheSameBytes) {
  Sample s;
  const Bytes before = test::readBytes(s.tiledata);
  ASSERT_EQ(run({"tiledata", "export-land", s.tiledata, s.dir.file("TileMap.txt")}).code, 0);
  ASSERT_EQ(run({"tiledata", "export-static", s.tiledata, s.dir.file("StaticTiles.txt")}).code, 0);
  auto r = run({"tiledata", "import-land", s.tiledata, s.dir.file("TileMap.txt"), "--out",
                s.dir.file("a.mul")});
  ASSERT_EQ(r.code, 0) << r.err;
  r = run(
      {"tiledata", "import-static", s.dir.file("a.mul"), s.dir.file("StaticTiles.txt"), "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"written\":16384,\"failedLines\":[]"), std::string::npos) << r.out;
  EXPECT_EQ(test::readBytes(s.dir.file("a.mul")), before);

  // A bad static line is reported with its line number and the rest still goes in.
  test::writeText(s.dir.file("bad.txt"), "header\r\n0x1\tshort\r\n");
  r = run({"tiledata", "import-static", s.tiledata, s.dir.file("bad.txt")});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("Bug in Zeile: 2"), std::string::npos);
  // A bad land line stops the import and nothing is saved.
  test::writeText(s.dir.file("badland.txt"), "header\r\nnope\tx\t1\r\n");
  r = run({"tiledata", "import-land", s.tiledata, s.dir.file("badland.txt")});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(test::readBytes(s.tiledata), before);
}

TEST(TiledataCli, FillAndForcedLayout) {
  Sample s;
  auto r = run({"tiledata", "fill-statics", s.tiledata, "--out", s.dir.file("full.mul"), "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"before\":16384,\"after\":32768"), std::string::npos);
  r = run({"tiledata", "info", s.tiledata, "--layout", "sideways"});
  EXPECT_EQ(r.code, 2);
  r = run({"tiledata", "info", s.tiledata, "--layout", "newer"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("layout: newer (64-bit flags), as set"), std::string::npos) << r.out;
  r = run({"tiledata", "info", s.tiledata, "--layout=auto"});
  EXPECT_NE(r.out.find("layout: older (32-bit flags), told by the records' names"),
            std::string::npos)
      << r.out;
  test::writeBytes(s.dir.file("short.mul"), Bytes(1000));
  r = run({"tiledata", "info", s.dir.file("short.mul")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("too short"), std::string::npos);
}

TEST(HuesCli, RampExportImportSpreadAndCopy) {
  Sample s;
  auto r = run({"hues", "info", s.hues, "--json"});
  EXPECT_EQ(r.out, "{\"entries\":3000,\"blocks\":375,\"tailBytes\":0}\n");
  r = run({"hues", "show", s.hues, "0"});
  EXPECT_NE(r.out.find("name: red"), std::string::npos);
  ASSERT_EQ(run({"hues", "export", s.hues, "0", s.dir.file("red.txt")}).code, 0);
  ASSERT_EQ(run({"hues", "export", s.hues, "1", s.dir.file("darkred.png")}).code, 0);
  ASSERT_EQ(run({"hues", "import", s.hues, "5", s.dir.file("red.txt")}).code, 0);
  ASSERT_EQ(run({"hues", "import", s.hues, "6", s.dir.file("darkred.png")}).code, 0);
  THues hues;
  hues.load(s.hues);
  EXPECT_EQ(*hues.entry(5), *hues.entry(0));
  EXPECT_EQ(hues.entry(6)->colours, hues.entry(1)->colours);

  ASSERT_EQ(run({"hues", "set-colour", s.hues, "7", "0", "0"}).code, 0);
  ASSERT_EQ(run({"hues", "set-colour", s.hues, "7", "31", "0x7FFF"}).code, 0);
  ASSERT_EQ(run({"hues", "spread", s.hues, "7", "0", "31"}).code, 0);
  ASSERT_EQ(run({"hues", "copy", s.hues, "8", s.hues, "7"}).code, 0);
  hues.load(s.hues);
  EXPECT_EQ(*hues.hueColour(8, 10), (10 << 10) | (10 << 5) | 10);

  EXPECT_EQ(run({"hues", "show", s.hues, "3000"}).code, 1);
  EXPECT_EQ(run({"hues", "set-colour", s.hues, "7", "32", "0"}).code, 1);
  EXPECT_EQ(run({"hues", "spread", s.hues, "7", "9", "9"}).code, 1);
}
