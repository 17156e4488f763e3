#include <gtest/gtest.h>

#include "app/FileIO.h"
#include "cli/CliRun.h"
#include "sample/SampleClient.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

class ClientCli : public ::testing::Test {
protected:
  TempDir dir;
  void SetUp() override { sample::writeSampleClient(dir.path()); }
  test::CliRun run(std::vector<std::string> words) { return test::runCliWords(words); }
};

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(ClientCli, ClientPrintsTheTableOfTheFolder) {
  const auto text = run({"client", dir.path()});
  ASSERT_EQ(text.code, 0) << text.err;
  EXPECT_TRUE(contains(text.out, "family")) << text.out;
  EXPECT_TRUE(contains(text.out, "artLegacyMUL.uop")) << text.out;
  EXPECT_TRUE(contains(text.out, "TileData.mul")) << text.out;
  EXPECT_TRUE(contains(text.out, "stadifl2.mul, stadifi2.mul, stadif2.mul")) << text.out;
  EXPECT_TRUE(contains(text.out, "facet 5: 1280 x 4096")) << text.out;
  EXPECT_TRUE(contains(text.out, "note: Art: artLegacyMUL.uop was taken rather than artidx.mul, "
                                 "Art.mul, as the client reads the UOP."))
      << text.out;

  const auto json = run({"client", dir.path(), "--json"});
  ASSERT_EQ(json.code, 0) << json.err;
  EXPECT_TRUE(contains(json.out, "\"id\":\"Art\",\"family\":\"Art\",\"form\":\"UOP\"")) << json.out;
  EXPECT_TRUE(contains(json.out, "\"facet\":2,\"width\":2304,\"height\":1600")) << json.out;

  TempDir empty;
  const auto none = run({"client", empty.path()});
  EXPECT_EQ(none.code, 1);
  EXPECT_TRUE(contains(none.err, "No client file in " + empty.path())) << none.err;
}

TEST_F(ClientCli, FacetGivesTheSizeOfMapStaticsDiffAndPatchCommands) {
  const auto info = run({"map", "info", dir.file("map2.mul"), "--facet", "2"});
  ASSERT_EQ(info.code, 0) << info.err;
  EXPECT_EQ(info.out, "width: 2304\nheight: 1600\nblocks: 57600\n");
  // Facet 0 has two sizes: the file tells which.
  EXPECT_TRUE(contains(run({"map", "info", dir.file("map0.mul"), "--facet", "0"}).out,
                       "width: 7168"));
  // --width/--height win.
  EXPECT_TRUE(contains(
      run({"map", "info", dir.file("map2.mul"), "--facet", "2", "--width", "2304", "--height",
           "1600"})
          .out,
      "blocks: 57600"));
  const auto wrong = run({"map", "info", dir.file("map2.mul"), "--facet", "3"});
  EXPECT_EQ(wrong.code, 2);
  EXPECT_TRUE(contains(wrong.err, "The files fit no size of facet 3 (2560 x 2048)")) << wrong.err;
  EXPECT_EQ(run({"map", "info", dir.file("map2.mul"), "--facet", "7"}).code, 1);

  const auto list = run({"diff", "list", dir.path(), "--facet", "2"});
  ASSERT_EQ(list.code, 0) << list.err;
  EXPECT_EQ(list.out, "map 0xBC7 120,120\n1 map blocks\nstatics 0xBC7 120,120\n1 statics blocks\n");
  EXPECT_EQ(run({"diff", "list", dir.path(), "--facet", "3"}).code, 1);

  const auto statics = run({"statics", "list", dir.file("staidx2.mul"), dir.file("statics2.mul"),
                            "120", "120", "127", "127", "--facet", "2"});
  ASSERT_EQ(statics.code, 0) << statics.err;
  EXPECT_TRUE(contains(statics.out, "3 statics")) << statics.out;

  const auto apply = run({"diff", "apply-statics", dir.file("staidx2.mul"),
                          dir.file("statics2.mul"), dir.path(), "--facet", "2"});
  ASSERT_EQ(apply.code, 0) << apply.err;
  EXPECT_TRUE(contains(apply.out, "1 Staticblocks patched.")) << apply.out;
  EXPECT_TRUE(contains(run({"statics", "list", dir.file("staidx2.mul"), dir.file("statics2.mul"),
                            "120", "120", "127", "127", "--facet", "2"})
                           .out,
                       "4 statics"));

  // Patch directories: --facet picks the files numbered 3 (mixed case) and their size.
  const auto patch = run({"patch", "create", dir.path(), "120", "120", "127", "127",
                          dir.file("region.pkx"), "--facet", "3"});
  ASSERT_EQ(patch.code, 0) << patch.err;
  EXPECT_TRUE(fileExists(dir.file("region.pkx")));
}

TEST_F(ClientCli, AMapContainersWorldSizeComesFromTheMapItHolds) {
  // Facet 1 comes in two sizes: the container's own length fits neither, the map it holds does.
  const std::string uop = dir.file("map1LegacyMUL.uop");
  ASSERT_EQ(run({"uop", "pack", "map", dir.file("Map1.mul"), uop, "--map", "1"}).code, 0);
  const auto info = run({"map", "info", uop, "--facet", "1"});
  ASSERT_EQ(info.code, 0) << info.err;
  EXPECT_EQ(info.out, "width: 6144\nheight: 4096\nblocks: 393216\n");
  // A container of another family holds no map: said, not guessed.
  const auto art = run({"map", "info", dir.file("artLegacyMUL.uop"), "--facet", "1"});
  EXPECT_EQ(art.code, 1);
  EXPECT_TRUE(contains(art.err, "holds no map")) << art.err;
}

TEST_F(ClientCli, TheClilocFileIsFoundInAClientFolder) {
  const auto list = run({"cliloc", "list", dir.path()});
  ASSERT_EQ(list.code, 0) << list.err;
  EXPECT_TRUE(contains(list.out, "oak tree")) << list.out;
}

}  // namespace
