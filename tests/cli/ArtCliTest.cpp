#include <gtest/gtest.h>

#include <sstream>

#include "app/Image.h"
#include "cli/Cli.h"
#include "cli/CliRun.h"
#include "models/Art.h"
#include "sample/Sample.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

using Run = test::CliRun;
Run run(const std::vector<std::string>& words) { return test::runCliWords(words); }

// The generated sample art pair in a fresh folder.
struct SampleArt {
  TempDir dir;
  std::string idx = dir.file("artidx.mul");
  std::string mul = dir.file("art.mul");
  SampleArt() { sample::writeArt(dir.path()); }
  TArt load(const std::string& i, const std::string& m) const {
    TArt art;
    art.load(i, m, StorageMode::Memory);
    return art;
  }
};

}  // namespace

TEST(ArtCli, ExportThenImportGivesBackTheSamePictureInBothFileKinds) {
  SampleArt s;
  for (const std::string ext : {".bmp", ".png"}) {
    const std::string file = s.dir.file("tree" + ext);
    auto r = run({"art", "export", s.idx, s.mul, "static", "0x1", file});
    ASSERT_EQ(r.code, 0) << r.err;
    r = run({"art", "import", s.idx, s.mul, "static", "0x30", file, "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("\"id\":48"), std::string::npos) << r.out;
    const TArt art = s.load(s.idx, s.mul);
    EXPECT_EQ(art.staticPicture(0x30), art.staticPicture(1));
    EXPECT_EQ(art.staticPicture(0x30), readImageFile(file));
  }
  const std::string land = s.dir.file("grass.png");
  ASSERT_EQ(run({"art", "export", s.idx, s.mul, "land", "1", land}).code, 0);
  ASSERT_EQ(run({"art", "import", s.idx, s.mul, "land", "0x20", land}).code, 0);
  EXPECT_EQ(s.load(s.idx, s.mul).landPicture(0x20), s.load(s.idx, s.mul).landPicture(1));
}

TEST(ArtCli, ChangesCanGoToOtherFilesAndLeaveTheSourceUntouched) {
  SampleArt s;
  const Bytes before = test::readBytes(s.idx);
  const std::string outIdx = s.dir.file("o.idx"), outMul = s.dir.file("o.mul");
  auto r =
      run({"art", "tag", s.idx, s.mul, "2", "$1F", "--out-index", outIdx, "--out-data", outMul});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(test::readBytes(s.idx), before);
  r = run({"art", "details", outIdx, outMul, "2"});
  EXPECT_EQ(r.out.substr(r.out.find("Tag:")), "Tag: 31\n");
  r = run({"art", "delete", outIdx, outMul, "land", "3"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_FALSE(s.load(outIdx, outMul).landExists(3));
  r = run({"art", "fill", outIdx, outMul, "--json"});
  EXPECT_EQ(r.out, "{\"added\":" + std::to_string(0x8000 - 0x40) + ",\"staticSlots\":32768}\n");
  // Only one of the two target options is a usage error.
  EXPECT_EQ(run({"art", "fill", s.idx, s.mul, "--out-index", outIdx}).code, 2);
}

TEST(ArtCli, ListFiltersAndAverageReport) {
  SampleArt s;
  auto r = run({"art", "list", s.idx, s.mul, "land", "--full"});
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 16);
  EXPECT_EQ(r.out.rfind("0x0 44x44 0 2024 0\n", 0), 0u) << r.out;
  r = run({"art", "list", s.idx, s.mul, "static", "--empty"});
  EXPECT_EQ(r.out.rfind("0x0 empty -1 -1 0\n", 0), 0u) << r.out;
  r = run({"art", "average", s.idx, s.mul, "land", "0", "--json"});
  EXPECT_EQ(r.out,
            "{\"kind\":\"land\",\"id\":0,\"red\":8,\"green\":8,\"blue\":8,\"colour16\":1057}\n");
  r = run({"art", "average", s.idx, s.mul, "static", "0"});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("no pixel"), std::string::npos);
}

TEST(ArtCli, BadArgumentsAndEmptySlotsFailWithAMessage) {
  SampleArt s;
  const Bytes before = test::readBytes(s.mul);
  EXPECT_EQ(run({"art", "export", s.idx, s.mul, "tile", "1", s.dir.file("a.bmp")}).code, 2);
  EXPECT_EQ(run({"art", "export", s.idx, s.mul, "static", "zz", s.dir.file("a.bmp")}).code, 2);
  auto r = run({"art", "export", s.idx, s.mul, "static", "0", s.dir.file("a.bmp")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("static slot 0x0 is empty"), std::string::npos) << r.err;
  r = run({"art", "import", s.idx, s.mul, "static", "0x10000", s.dir.file("a.bmp")});
  EXPECT_EQ(r.code, 1);
  test::writeText(s.dir.file("broken.bmp"), "BM");
  r = run({"art", "import", s.idx, s.mul, "static", "5", s.dir.file("broken.bmp")});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(test::readBytes(s.mul), before);
}

TEST(ArtCli, LandTileOfAnotherSizeIsRefusedNamingBothSizes) {
  SampleArt s;
  const Bytes index = test::readBytes(s.idx), data = test::readBytes(s.mul);
  for (const auto& [width, height] : {std::pair{44, 43}, std::pair{22, 22}, std::pair{64, 44}}) {
    const std::string file = s.dir.file("tile.png");
    writeImageFile(file, test::exactPicture(width, height, 5));
    const auto r = run({"art", "import", s.idx, s.mul, "land", "0x20", file});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("A picture of " + std::to_string(width) + " x " + std::to_string(height) +
                         " pixels cannot be stored as a land tile: land tiles are 44 x 44."),
              std::string::npos)
        << r.err;
  }
  EXPECT_EQ(test::readBytes(s.idx), index);
  EXPECT_EQ(test::readBytes(s.mul), data);
}

TEST(ArtCli, RebuildWithASeedIsRepeatableAndKeepsEveryPicture) {
  SampleArt s;
  for (const char* n : {"a", "b"})
    ASSERT_EQ(run({"art", "rebuild", s.idx, s.mul, s.dir.file(std::string(n) + ".idx"),
                   s.dir.file(std::string(n) + ".mul"), "--seed", "7"})
                  .code,
              0);
  EXPECT_EQ(test::readBytes(s.dir.file("a.mul")), test::readBytes(s.dir.file("b.mul")));
  const TArt before = s.load(s.idx, s.mul),
             after = s.load(s.dir.file("a.idx"), s.dir.file("a.mul"));
  for (std::int64_t id = 0; id < 0x40; ++id)
    EXPECT_EQ(after.staticPicture(id), before.staticPicture(id));
  ASSERT_EQ(run({"art", "save", s.idx, s.mul, s.dir.file("c.idx"), s.dir.file("c.mul")}).code, 0);
  EXPECT_EQ(test::readBytes(s.dir.file("c.mul")), test::readBytes(s.mul));
}
