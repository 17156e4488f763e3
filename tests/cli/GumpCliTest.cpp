#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "app/FileIO.h"
#include "app/Image.h"
#include "app/Uop.h"
#include "cli/Cli.h"
#include "cli/CliRun.h"
#include "models/Art.h"
#include "models/Gump.h"
#include "models/Light.h"
#include "models/Radarcol.h"
#include "models/Textures.h"
#include "sample/Sample.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

using Run = test::CliRun;
Run run(const std::vector<std::string>& words) { return test::runCliWords(words); }

std::size_t lines(const std::string& s) {
  return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\n'));
}

struct Sample {
  TempDir dir;
  std::string f(const char* name) const { return dir.file(name); }
  Sample() {
    sample::writeArt(dir.path());
    sample::writeGumps(dir.path());
    sample::writeTextures(dir.path());
    sample::writeLight(dir.path());
    sample::writeRadarcol(dir.path());
  }
};

}  // namespace

TEST(GumpCli, ListExportImportRoundTripOnTheSampleFiles) {
  Sample s;
  const std::string idx = s.f("gumpidx.mul"), mul = s.f("gumpart.mul");
  auto r = run({"gump", "list", "--full", idx, mul});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(lines(r.out), 11u);
  EXPECT_NE(r.out.find("0x7D0 262x324 "), std::string::npos);

  ASSERT_EQ(run({"gump", "export", idx, mul, "0x7D0", s.f("doll.bmp")}).code, 0);
  r = run({"gump", "import", idx, mul, "0x10", s.f("doll.bmp"), "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"width\":262"), std::string::npos) << r.out;
  TGump gump;
  gump.load(idx, mul);
  EXPECT_EQ(gump.gumpPicture(0x10), gump.gumpPicture(0x7D0));
  EXPECT_EQ(*gump.slotBytes(0x10), *gump.slotBytes(0x7D0));  // the encoding is exact too

  EXPECT_EQ(run({"gump", "delete", idx, mul, "0x10"}).code, 0);
  EXPECT_EQ(run({"gump", "show", idx, mul, "0x10"}).out.find("state: empty") != std::string::npos,
            true);
  r = run({"gump", "export", idx, mul, "0x10", s.f("none.bmp")});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "quillotide-cli: Gump 0x10 is empty; nothing was exported.\n");
  EXPECT_EQ(run({"gump", "delete", idx, mul, "0x1000"}).code, 1);
  EXPECT_EQ(run({"gump", "export", idx, mul, "nope", s.f("x.bmp")}).code, 2);
}

TEST(GumpCli, DamagedSlotIsReportedOnceAndRebuildIsRepeatable) {
  Sample s;
  const std::string idx = s.f("gumpidx.mul"), mul = s.f("gumpart.mul");
  // Slot 0xF7 claims a height of 1000 rows; its row table cannot hold them.
  Bytes index = test::readBytes(idx);
  storeU32(index.data() + 0xF7 * 12 + 8, static_cast<std::uint32_t>(gumpExtra(60, 1000)));
  test::writeBytes(idx, index);
  auto r = run({"gump", "show", idx, mul, "0xF7"});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("state: damaged"), std::string::npos) << r.out;
  r = run({"gump", "export", idx, mul, "0xF7", s.f("bad.png")});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(lines(r.err), 1u) << r.err;
  EXPECT_NE(r.err.find("Gump 0xF7 is damaged"), std::string::npos);

  ASSERT_EQ(run({"gump", "rebuild", "--seed", "5", idx, mul, s.f("a.idx"), s.f("a.mul")}).code, 0);
  ASSERT_EQ(run({"gump", "rebuild", "--seed", "5", idx, mul, s.f("b.idx"), s.f("b.mul")}).code, 0);
  EXPECT_EQ(test::readBytes(s.f("a.mul")), test::readBytes(s.f("b.mul")));
  ASSERT_EQ(run({"gump", "save", idx, mul, s.f("c.idx"), s.f("c.mul")}).code, 0);
  EXPECT_EQ(test::readBytes(s.f("c.idx")), index);
}

TEST(TextureCli, SizeRulesAndLowMemoryChanges) {
  Sample s;
  const std::string idx = s.f("texidx.mul"), mul = s.f("texmaps.mul");
  writeImageFile(s.f("wide.bmp"), Bitmap32(64, 32, makePixel(40, 80, 120)));
  auto r = run({"texture", "import", idx, mul, "0x20", s.f("wide.bmp")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("Bitmap muss 8x8 oder"), std::string::npos);

  writeImageFile(s.f("big.png"), Bitmap32(256, 256, makePixel(40, 80, 120)));
  r = run({"texture", "import", "--low-memory", idx, mul, "0x20", s.f("big.png")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("warning: Diese Gr"), std::string::npos);
  TTextures tex;
  tex.load(idx, mul, StorageMode::Memory);
  EXPECT_EQ(tex.textureSide(0x20), 256);
  EXPECT_EQ(tex.record(0x20)->extra, 1);

  ASSERT_EQ(run({"texture", "export", idx, mul, "2", s.f("t2.bmp")}).code, 0);
  ASSERT_EQ(run({"texture", "import", idx, mul, "0x21", s.f("t2.bmp")}).code, 0);
  tex.load(idx, mul, StorageMode::Memory);
  EXPECT_EQ(*tex.slotBytes(0x21), *tex.slotBytes(2));
}

TEST(LightCli, ExportAndImportReproduceTheSlot) {
  Sample s;
  const std::string idx = s.f("lightidx.mul"), mul = s.f("light.mul");
  ASSERT_EQ(run({"light", "export", idx, mul, "6", s.f("l6.bmp")}).code, 0);
  ASSERT_EQ(run({"light", "import", idx, mul, "0x1F", s.f("l6.bmp")}).code, 0);
  TLight light;
  light.load(idx, mul);
  EXPECT_EQ(*light.slotBytes(0x1F), *light.slotBytes(6));
  auto r = run({"light", "list", "--empty", idx, mul});
  EXPECT_EQ(lines(r.out), 0x20u - 8u);
}

TEST(RadarcolCli, ShowSetAndColourFromArt) {
  Sample s;
  const std::string radar = s.f("radarcol.mul");
  auto r = run({"radarcol", "set", "--static", "5", "--rgb", "248,0,0", radar});
  ASSERT_EQ(r.code, 0) << r.err;
  r = run({"radarcol", "show", radar, "0x4005", "--json"});
  EXPECT_NE(r.out.find("\"colour\":31744,\"red\":248,\"green\":0,\"blue\":0"), std::string::npos)
      << r.out;
  EXPECT_EQ(run({"radarcol", "set", radar, "0x14000", "1"}).code, 1);
  EXPECT_EQ(run({"radarcol", "set", radar, "3", "0x8000"}).code, 2);

  TArt art;
  art.load(s.f("artidx.mul"), s.f("art.mul"), StorageMode::Memory);
  std::int64_t tile = -1;
  for (std::int64_t t = 0; t < kLandTileCount && tile < 0; ++t)
    if (art.landAverageColour(t)) tile = t;
  ASSERT_GE(tile, 0) << "the sample art has no land tile";
  ASSERT_EQ(run({"radarcol", "set", radar, std::to_string(tile), "0"}).code, 0);
  ASSERT_EQ(run({"radarcol", "from-art", "--land", std::to_string(tile), radar, s.f("artidx.mul"),
                 s.f("art.mul")})
                .code,
            0);
  TRadarcol table;
  table.load(radar);
  const Pixel avg = *art.landAverageColour(tile);
  EXPECT_EQ(table.landColour(tile), rgbToColour16(redOf(avg), greenOf(avg), blueOf(avg)));
  EXPECT_NE(table.landColour(tile), 0);

  // A range passes over slots without a picture and stays among the statics.
  r = run({"radarcol", "from-art", "--static", "0", "--to", "0xFFFF", radar, s.f("artidx.mul"),
           s.f("art.mul"), "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  table.load(radar);
  std::int64_t statics = 0;
  for (std::int64_t id = 0; id <= 0xFFFF; ++id) {
    const auto mean = art.staticAverageColour(id);
    if (!mean) continue;
    ++statics;
    EXPECT_EQ(table.staticColour(id), rgbToColour16(redOf(*mean), greenOf(*mean), blueOf(*mean)));
  }
  EXPECT_NE(r.out.find("\"changed\":" + std::to_string(statics) + ","), std::string::npos) << r.out;
}

TEST(GumpCli, ASlotWithoutASizeIsRefusedByEverySaveAndNothingIsWritten) {
  Sample s;
  const std::string idx = s.f("gumpidx.mul"), mul = s.f("gumpart.mul");
  // Slot 0xF7 keeps its data but its extra is the empty record's -1.
  Bytes index = test::readBytes(idx);
  storeU32(index.data() + 0xF7 * 12 + 8, 0xFFFFFFFFu);
  test::writeBytes(idx, index);
  const Bytes data = test::readBytes(mul);

  for (const std::vector<std::string>& words :
       {std::vector<std::string>{"gump", "save", idx, mul, s.f("c.idx"), s.f("c.mul")},
        {"gump", "save", idx, mul, s.f("gumpartLegacyMUL.uop")},
        {"gump", "delete", idx, mul, "0x10"},
        {"uop", "pack", "gump", idx, mul, s.f("gumpartLegacyMUL.uop")}}) {
    const auto r = run(words);
    EXPECT_EQ(r.code, 1) << words[1];
    EXPECT_NE(r.err.find("Gump 0xF7 cannot be saved"), std::string::npos) << r.err;
    EXPECT_EQ(lines(r.err), 1u) << r.err;
  }
  EXPECT_EQ(test::readBytes(idx), index);
  EXPECT_EQ(test::readBytes(mul), data);
  EXPECT_FALSE(fileExists(s.f("c.idx")));
  EXPECT_FALSE(fileExists(s.f("c.mul")));
  EXPECT_FALSE(fileExists(s.f("gumpartLegacyMUL.uop")));

  // Without the slot the pair saves again.
  ASSERT_EQ(run({"gump", "delete", idx, mul, "0xF7"}).code, 0);
  EXPECT_EQ(run({"gump", "save", idx, mul, s.f("gumpartLegacyMUL.uop")}).code, 0);
  EXPECT_FALSE(verifyUop(test::readBytes(s.f("gumpartLegacyMUL.uop"))));
}
