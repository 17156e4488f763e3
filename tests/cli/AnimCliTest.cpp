#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "cli/Cli.h"
#include "cli/CliRun.h"
#include "models/Animation.h"
#include "models/Animdata.h"
#include "models/Verdata.h"
#include "sample/Sample.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

using Run = test::CliRun;
Run run(const std::vector<std::string>& words) { return test::runCliWords(words); }

// The sample animation, animation data and verdata files in a fresh folder.
struct Sample {
  TempDir dir;
  std::string idx = dir.file("anim.idx");
  std::string mul = dir.file("anim.mul");
  Sample() {
    sample::writeAnimations(dir.path());
    sample::writeAnimdata(dir.path());
    sample::writeVerdata(dir.path());
  }
  std::vector<AnimFrame> frames(int body, int offset, const std::string& name = "anim") const {
    std::unique_ptr<TAnimation> a = name == "anim2" ? std::make_unique<TAnim2>() : std::make_unique<TAnimation>();
    a->load(dir.file(name + ".idx"), dir.file(name + ".mul"));
    return a->slotFrames(body, offset);
  }
};

void expectSameFrames(const std::vector<AnimFrame>& a, const std::vector<AnimFrame>& b) {
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].picture, b[i].picture) << i;
    EXPECT_EQ(a[i].centerX, b[i].centerX);
    EXPECT_EQ(a[i].centerY, b[i].centerY);
  }
}

}  // namespace

TEST(AnimCli, ListsTheSampleBodiesOfEveryVariant) {
  Sample s;
  auto r = run({"anim", "list", s.idx, s.mul, "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  for (const char* body : {"\"label\":\"0x2\"", "\"label\":\"0xC9\"", "\"label\":\"0x190\"", "\"label\":\"0x1F8\""})
    EXPECT_NE(r.out.find(body), std::string::npos) << body;
  r = run({"anim", "list", s.dir.file("anim2.idx"), s.dir.file("anim2.mul"), "--variant", "2"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("0x1 type 0"), std::string::npos);
  r = run({"anim", "list", s.dir.file("anim3.idx"), s.dir.file("anim3.mul"), "--kind", "anim3"});
  EXPECT_NE(r.out.find("0x3 type 0"), std::string::npos);
  EXPECT_EQ(run({"anim", "list", s.idx, s.mul, "--variant", "6"}).code, 2);
  EXPECT_EQ(run({"anim", "list", s.idx, s.mul, "--kind", "anim9"}).code, 2);
}

TEST(AnimCli, ExportImportRoundTripsThroughFoldersAndKxFiles) {
  Sample s;
  const auto person = s.frames(0x190, 10);
  ASSERT_FALSE(person.empty());
  auto r = run({"anim", "export", s.idx, s.mul, "0x190", s.dir.file("person")});
  ASSERT_EQ(r.code, 0) << r.err;
  r = run({"anim", "import", s.idx, s.mul, "0x191", s.dir.file("person"), "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"colourProblems\":0"), std::string::npos);
  expectSameFrames(s.frames(0x191, 10), person);

  r = run({"anim", "export", s.idx, s.mul, "0x2", s.dir.file("wolf.kx")});
  ASSERT_EQ(r.code, 0) << r.err;
  r = run({"anim", "import", s.idx, s.mul, "0x7", s.dir.file("wolf.kx")});
  ASSERT_EQ(r.code, 0) << r.err;
  expectSameFrames(s.frames(0x7, 22), s.frames(0x2, 22));
  // A type 0 file onto a type 2 body.
  r = run({"anim", "import", s.idx, s.mul, "0x192", s.dir.file("wolf.kx")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("Wrong Anim Id ( Type )."), std::string::npos);

  // The variant files take the same commands.
  const auto ghost = s.frames(1, 0, "anim2");
  const std::string a2i = s.dir.file("anim2.idx"), a2m = s.dir.file("anim2.mul");
  ASSERT_EQ(run({"anim", "export", a2i, a2m, "1", s.dir.file("ghost"), "--variant", "2"}).code, 0);
  ASSERT_EQ(run({"anim", "import", a2i, a2m, "2", s.dir.file("ghost"), "--variant", "2"}).code, 0);
  expectSameFrames(s.frames(2, 0, "anim2"), ghost);
}

TEST(AnimCli, PreviewShowCopyDeleteFillAndRebuild) {
  Sample s;
  auto r = run({"anim", "preview", s.idx, s.mul, "0x2", s.dir.file("wolf.png"), "--slot", "3", "--frame", "1"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(test::readBytes(s.dir.file("wolf.png")).size() > 100);
  r = run({"anim", "show", s.idx, s.mul, "0x190", "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"action\":9"), std::string::npos);

  EXPECT_EQ(run({"anim", "copy", s.idx, s.mul, "0x2", "0x190"}).code, 1);  // types differ
  ASSERT_EQ(run({"anim", "copy", s.idx, s.mul, "0x2", "0x9"}).code, 0);
  expectSameFrames(s.frames(0x9, 0), s.frames(0x2, 0));
  ASSERT_EQ(run({"anim", "delete", s.idx, s.mul, "0x9"}).code, 0);
  EXPECT_TRUE(s.frames(0x9, 0).empty());

  ASSERT_EQ(run({"anim", "rebuild", s.idx, s.mul, s.dir.file("r1.idx"), s.dir.file("r1.mul"), "--seed", "5"}).code, 0);
  ASSERT_EQ(run({"anim", "rebuild", s.idx, s.mul, s.dir.file("r2.idx"), s.dir.file("r2.mul"), "--seed", "5"}).code, 0);
  EXPECT_EQ(test::readBytes(s.dir.file("r1.mul")), test::readBytes(s.dir.file("r2.mul")));
  TAnimation rebuilt;
  rebuilt.load(s.dir.file("r1.idx"), s.dir.file("r1.mul"));
  expectSameFrames(rebuilt.slotFrames(0x1F8, 47), s.frames(0x1F8, 47));

  r = run({"anim", "fill", s.idx, s.mul, "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"bodyCount\":4096"), std::string::npos);
}

TEST(AnimCli, VariantComesFromTheOptionOrTheFileName) {
  Sample s;
  const std::string a2i = s.dir.file("anim2.idx"), a2m = s.dir.file("anim2.mul");
  std::string count;
  {
    TAnim2 anim2;  // holds the files only for the count
    anim2.load(a2i, a2m);
    count = "\"bodyCount\":" + std::to_string(anim2.bodyCount()) + ",";
  }
  auto r = run({"anim", "list", a2i, a2m, "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"kind\":\"anim2\""), std::string::npos);
  EXPECT_NE(r.out.find(count), std::string::npos) << r.out.substr(0, 80);
  EXPECT_EQ(run({"anim", "list", a2i, a2m, "--variant", "2", "--json"}).out, r.out);

  // Names that say nothing, or say two things: refused before the files are opened.
  std::filesystem::copy_file(a2i, s.dir.file("copy.idx"));
  std::filesystem::copy_file(a2m, s.dir.file("copy.mul"));
  const Bytes idx = test::readBytes(s.dir.file("copy.idx"));
  r = run({"anim", "delete", s.dir.file("copy.idx"), s.dir.file("copy.mul"), "1"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("--variant"), std::string::npos) << r.err;
  EXPECT_EQ(test::readBytes(s.dir.file("copy.idx")), idx);
  EXPECT_EQ(run({"anim", "list", a2i, s.dir.file("anim3.mul")}).code, 2);
  r = run({"anim", "list", s.dir.file("copy.idx"), s.dir.file("copy.mul"), "--kind", "anim2",
           "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find(count), std::string::npos);

  // The name is read in any case; one telling name is enough.
  std::filesystem::copy_file(s.dir.file("anim3.idx"), s.dir.file("ANIM3.IDX"));
  r = run({"anim", "list", s.dir.file("ANIM3.IDX"), s.dir.file("copy.mul"), "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"kind\":\"anim3\""), std::string::npos);
}

TEST(AnimCli, FailedImportLeavesTheFilesUntouched) {
  Sample s;
  const Bytes idx = test::readBytes(s.idx), mul = test::readBytes(s.mul);
  test::writeBytes(s.dir.file("cut.kx"), {6, 0, 0, 0, 1});
  auto r = run({"anim", "import", s.idx, s.mul, "0x2", s.dir.file("cut.kx")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("cut short"), std::string::npos);
  r = run({"anim", "import", s.idx, s.mul, "0x2", s.dir.file("no-folder")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("Cannot open file"), std::string::npos);
  EXPECT_EQ(test::readBytes(s.idx), idx);
  EXPECT_EQ(test::readBytes(s.mul), mul);
}

TEST(VerdataCli, ListShowAddRemoveAndExport) {
  Sample s;
  const std::string v = s.dir.file("verdata.mul");
  auto r = run({"verdata", "list", v, "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"block\":16417"), std::string::npos);  // static 0x21
  r = run({"verdata", "show", v, "static", "0x22", "--out", s.dir.file("fire.bmp")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(run({"verdata", "show", v, "static", "0x30"}).code, 1);

  // A body from the animation file as a patch, then out again as a .kx.
  ASSERT_EQ(run({"anim", "export", s.idx, s.mul, "0xC9", s.dir.file("cat.kx")}).code, 0);
  r = run({"verdata", "add", v, "anim", "0xC9", s.dir.file("cat.kx")});
  ASSERT_EQ(r.code, 0) << r.err;
  TVerdata model;
  model.load(v);
  EXPECT_TRUE(model.isPatched(6, 0xC9));
  TAnimation anim;
  anim.load(s.idx, s.mul);
  EXPECT_EQ(model.animPicture(0xC9), anim.firstFramePicture(0xC9));
  ASSERT_EQ(run({"verdata", "export", v, "0xC9", s.dir.file("back.kx")}).code, 0);

  r = run({"verdata", "add", v, "gump", "0x100", s.dir.file("fire.bmp"), "--out", s.dir.file("v2.mul")});
  ASSERT_EQ(r.code, 0) << r.err;
  r = run({"verdata", "add", v, "texture", "0x1", s.dir.file("fire.bmp")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("Bitmap muss 64x64 oder 128x128 sein."), std::string::npos);

  r = run({"verdata", "remove", v, "anim", "0xC9", "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"removed\":10"), std::string::npos);
  model.load(v);
  EXPECT_FALSE(model.isPatched(6, 0xC9));
  EXPECT_EQ(model.records().size(), 6u);
  EXPECT_EQ(run({"verdata", "add", v, "sound", "1", s.dir.file("fire.bmp")}).code, 2);
}

TEST(VerdataCli, IdsAreCheckedAndADamagedRecordCanBeRemoved) {
  Sample s;
  const std::string v = s.dir.file("verdata.mul");
  ASSERT_EQ(run({"verdata", "show", v, "static", "0x21", "--out", s.dir.file("p.bmp")}).code, 0);
  const Bytes before = test::readBytes(v);
  // Block 0x4021 is static 0x21, never a land tile.
  auto r = run({"verdata", "show", v, "land", "0x4021"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("Land tile 0x4021 is out of range (0 to 0x3FFF)."), std::string::npos)
      << r.err;
  EXPECT_EQ(run({"verdata", "add", v, "gump", "-5", s.dir.file("p.bmp")}).code, 2);
  EXPECT_EQ(run({"verdata", "show", v, "static", "0x7FFFFFFF"}).code, 2);
  EXPECT_EQ(run({"verdata", "remove", v, "texture", "0x4000"}).code, 2);
  EXPECT_EQ(run({"verdata", "export", v, "0x10000", s.dir.file("x.kx")}).code, 2);
  EXPECT_EQ(test::readBytes(v), before);

  // The last record points past the end of the file: every save stops at it, and says how to go.
  Bytes damaged = before;
  const std::uint32_t count = loadU32(damaged.data());
  const std::size_t last = 4 + 20 * (count - 1);
  storeU32(damaged.data() + last + 8, 0x7FFFFF00u);
  test::writeBytes(v, damaged);
  r = run({"verdata", "list", v, "--json"});
  EXPECT_NE(r.out.find("\"damaged\":true"), std::string::npos);
  r = run({"verdata", "add", v, "gump", "0x100", s.dir.file("p.bmp")});
  EXPECT_EQ(r.code, 1);
  const std::string record = std::to_string(count - 1);
  EXPECT_NE(r.err.find("Patch record " + record + " is damaged"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("verdata remove " + v + " --record " + record), std::string::npos) << r.err;
  EXPECT_EQ(test::readBytes(v), damaged);

  r = run({"verdata", "remove", v, "--record", record});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(run({"verdata", "add", v, "gump", "0x100", s.dir.file("p.bmp")}).code, 0);
  TVerdata model;
  model.load(v);
  EXPECT_EQ(model.records().size(), count);
  EXPECT_TRUE(model.isPatched(verdatafile::kArt, 0x4021));
  EXPECT_EQ(run({"verdata", "remove", v, "--record", "99"}).code, 1);
}

TEST(AnimdataCli, ShowAndEditEntries) {
  Sample s;
  const std::string a = s.dir.file("animdata.mul");
  auto r = run({"animdata", "list", a, "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"tile\":29"), std::string::npos);
  r = run({"animdata", "show", a, "0x1D", "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"artIds\":[29,33,34,33]"), std::string::npos);

  r = run({"animdata", "set", a, "0x12", "--frames", "0,1,-1", "--interval", "4", "--delay", "2"});
  ASSERT_EQ(r.code, 0) << r.err;
  TAnimdata model;
  model.load(a);
  EXPECT_TRUE(model.isAnimated(0x12));
  EXPECT_EQ(model.frameArtId(0x12, 2), 0x11);
  EXPECT_EQ(model.startDelay(0x12), 2);
  EXPECT_EQ(model.frameCount(0x1D), 4);  // the neighbours are untouched

  const Bytes before = test::readBytes(a);
  std::string many = "0";
  for (int i = 0; i < 64; ++i) many += ",1";
  EXPECT_EQ(run({"animdata", "set", a, "0x12", "--frames", many}).code, 2);
  EXPECT_EQ(run({"animdata", "set", a, "0x12", "--interval", "256"}).code, 2);
  EXPECT_EQ(run({"animdata", "set", a, "0x12", "--frames", "200"}).code, 2);
  EXPECT_EQ(test::readBytes(a), before);
}

TEST(AnimdataCli, RecordsCountingMoreThanSixtyFourFramesStayEditable) {
  Sample s;
  const std::string a = s.dir.file("animdata.mul");
  Bytes bytes = test::readBytes(a);
  bytes[TAnimdata::recordOffset(0x1D) + 65] = 200;
  test::writeBytes(a, bytes);
  auto r = run({"animdata", "set", a, "0x1D", "--interval", "9", "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  TAnimdata model;
  model.load(a);
  EXPECT_EQ(model.frameCount(0x1D), 200);  // kept as stored
  EXPECT_EQ(model.frameInterval(0x1D), 9);
  EXPECT_EQ(model.frameArtId(0x1D, 1), 33);
  EXPECT_NE(r.out.find("\"frameCount\":200"), std::string::npos);
  // The offsets shown are the 64 the record has.
  const auto ids = r.out.substr(r.out.find("\"artIds\":["));
  EXPECT_EQ(std::count(ids.begin(), ids.begin() + static_cast<std::ptrdiff_t>(ids.find(']')), ','),
            63);

  // A new count above 64 is still refused.
  AnimdataRecord record = *model.readEntry(0x1D);
  record.frameCount = 100;
  EXPECT_THROW(model.writeEntry(0x1D, record), Error);
}
