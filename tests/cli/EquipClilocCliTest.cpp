// "equip patch" on the sample set and "cliloc merge", "list" and "show", with their refusals.
#include <gtest/gtest.h>

#include "app/FileIO.h"
#include "app/Image.h"
#include "cli/CliRun.h"
#include "models/Animation.h"
#include "models/Art.h"
#include "models/Cliloc.h"
#include "models/Gump.h"
#include "models/ProgressArchive.h"
#include "models/Tiledata.h"
#include "sample/Sample.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::readBytes;
using quillotide::test::runCliWords;
using quillotide::test::TempDir;
using quillotide::test::writeBytes;

namespace {

class EquipCli : public ::testing::Test {
protected:
  void SetUp() override {
    sample::writeGumps(dir.path());
    sample::writeArt(dir.path());
    sample::writeAnimations(dir.path());
    sample::writeTiledata(dir.path());
    writeImageFile(dir.file("gump.bmp"), Bitmap32(10, 12, makePixel(8, 16, 24)));
    writeImageFile(dir.file("art.png"), Bitmap32(6, 7, makePixel(40, 48, 56, 200)));
    writeBytes(dir.file("Progress.idx"), {});
    writeBytes(dir.file("Progress.mul"), {});
  }
  std::vector<std::string> files() const {
    return {"--gump-idx", dir.file("gumpidx.mul"), "--gump-mul", dir.file("gumpart.mul"),
            "--anim-idx", dir.file("anim.idx"),    "--anim-mul", dir.file("anim.mul"),
            "--tiledata", dir.file("tiledata.mul")};
  }
  TempDir dir;
};

TEST_F(EquipCli, PatchWritesEveryFamilyBack) {
  std::vector<std::string> words = {"equip", "patch"};
  for (const auto& w : files()) words.push_back(w);
  for (const std::string& w : std::vector<std::string>{"--progress-idx", dir.file("Progress.idx"),
                                                       "--progress-mul", dir.file("Progress.mul"),
                                                       "--gump",         dir.file("gump.bmp"),
                                                       "--art",          dir.file("art.png"),
                                                       "--progress-art", "--gump-id",
                                                       "50600",          "--art-id",
                                                       "0x310",          "--anim-id",
                                                       "0x190",          "--wearable",
                                                       "--armor",        "--partial-hue",
                                                       "--layer",        "layer_hat",
                                                       "--weight",       "3",
                                                       "--name",         "helm",
                                                       "--json"})
    words.push_back(w);
  const auto r = runCliWords(words);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"body\":600"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"femaleGumpId\":null"), std::string::npos) << r.out;

  TGump gumps;
  gumps.load(dir.file("gumpidx.mul"), dir.file("gumpart.mul"));
  EXPECT_EQ(gumps.gumpWidth(50600), 10);
  TProgress progress;
  progress.load(dir.file("Progress.idx"), dir.file("Progress.mul"));
  EXPECT_EQ(progress.entryImage(0, 0x310), Bitmap32(6, 7, makePixel(40, 48, 56, 200)));
  TAnimation anim;
  anim.load(dir.file("anim.idx"), dir.file("anim.mul"));
  EXPECT_EQ(anim.slotRecord(600, 3), anim.slotRecord(0x190, 3));
  TTiledata t;
  t.load(dir.file("tiledata.mul"));
  const auto record = t.readStatic(0x310);
  ASSERT_TRUE(record);
  EXPECT_EQ(record->flags, 0x400000u | 0x8000000u | 0x40000u);
  EXPECT_EQ(record->quality, 6);
  EXPECT_EQ(record->weight, 3);
  EXPECT_EQ(record->animId, 600);
  EXPECT_EQ(tileNameText(record->name), "helm");
}

TEST_F(EquipCli, RefusedPatchWritesNothing) {
  const Bytes tiles = readBytes(dir.file("tiledata.mul"));
  const Bytes gumpIndex = readBytes(dir.file("gumpidx.mul"));
  const Bytes animIndex = readBytes(dir.file("anim.idx"));
  std::vector<std::string> words = {"equip", "patch"};
  for (const auto& w : files()) words.push_back(w);
  for (const std::string& w : std::vector<std::string>{
           "--gump", dir.file("gump.bmp"), "--art", dir.file("art.png"), "--gump-id", "1000",
           "--art-id", "0x310", "--anim-id", "0x190", "--layer", "3"})
    words.push_back(w);
  // Without the art files the art model is not loaded.
  auto r = runCliWords(words);
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("Load Art."), std::string::npos) << r.err;
  words.insert(words.end(),
               {"--art-idx", dir.file("artidx.mul"), "--art-mul", dir.file("art.mul")});
  r = runCliWords(words);
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("GumpId 1000 lies outside 50000"), std::string::npos) << r.err;
  EXPECT_EQ(runCliWords({"equip", "patch", "--layer", "Layer_Nose"}).code, 2);
  EXPECT_EQ(readBytes(dir.file("tiledata.mul")), tiles);
  EXPECT_EQ(readBytes(dir.file("gumpidx.mul")), gumpIndex);
  EXPECT_EQ(readBytes(dir.file("anim.idx")), animIndex);
}

TEST(ClilocCli, MergeListShowAndADamagedFile) {
  TempDir dir;
  sample::writeTiledata(dir.path());
  const std::string cliloc = dir.file("cliloc.enu");
  Cliloc start;
  start.entries = {{3000001, 1, "other \xE2\x98\x83"}, {1020001, 0, "old name"}};
  saveCliloc(cliloc, start);

  auto r = runCliWords({"cliloc", "merge", dir.file("tiledata.mul"), cliloc, "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"replaced\":1"), std::string::npos) << r.out;
  r = runCliWords({"cliloc", "show", cliloc, "1020001"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "oak tree\n");
  r = runCliWords({"cliloc", "show", cliloc, "3000001", "--json"});
  EXPECT_EQ(r.out, "{\"number\":3000001,\"flag\":1,\"text\":\"other \xE2\x98\x83\"}\n");
  r = runCliWords({"cliloc", "list", cliloc, "--from", "1020000", "--to", "1020002"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "1020001\t0\toak tree\n1020002\t0\tpine tree\n");
  EXPECT_EQ(runCliWords({"cliloc", "show", cliloc, "7"}).code, 1);

  // A cut file is refused and left as it was.
  Bytes cut = readBytes(cliloc);
  cut.pop_back();
  writeBytes(cliloc, cut);
  r = runCliWords({"cliloc", "merge", dir.file("tiledata.mul"), cliloc});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("runs past the end"), std::string::npos) << r.err;
  EXPECT_EQ(readBytes(cliloc), cut);
  // Reading it shows every whole entry and says what is wrong with the rest.
  r = runCliWords({"cliloc", "show", cliloc, "1020001"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "oak tree\n");
  EXPECT_NE(r.err.find("no whole entry"), std::string::npos) << r.err;
  EXPECT_EQ(readBytes(cliloc), cut);
}

}  // namespace
