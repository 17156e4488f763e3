#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

#include "app/IndexedFile.h"
#include "cli/CliRun.h"
#include "models/Animation.h"
#include "sample/Sample.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

using Run = test::CliRun;
Run run(const std::vector<std::string>& words) { return test::runCliWords(words); }

struct Sample {
  TempDir dir;
  std::string f(const std::string& name) const { return dir.file(name); }
  Sample() { sample::writeSampleSet(dir.path()); }
};

std::set<std::string> filesIn(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.insert(e.path().filename().string());
  return names;
}

// The first full slot of a pair, so a delete changes something.
std::string firstFull(const std::string& index, const std::string& data) {
  IndexedFile files;
  files.load(index, data, StorageMode::Memory);
  for (std::int64_t i = 0; i < files.recordCount(); ++i)
    if (files.exists(i)) return std::to_string(i);
  return "0";
}

bool slotEmpty(const std::string& index, const std::string& data, const std::string& slot) {
  IndexedFile files;
  files.load(index, data, StorageMode::Memory);
  return !files.exists(std::stoll(slot));
}

}  // namespace

// Every group that changes a file takes the same target options: the change lands in the named
// files, whichever way the group's model writes (memory copy, low-memory or direct mode), and the
// files it read stay as they were.
TEST(WriteTargetCli, ChangesGoToTheNamedFilesAndLeaveTheSources) {
  Sample s;
  const std::string oi = s.f("o.idx"), om = s.f("o.mul"), out = s.f("out.mul");
  const std::string gump = firstFull(s.f("gumpidx.mul"), s.f("gumpart.mul"));
  const std::string tex = firstFull(s.f("texidx.mul"), s.f("texmaps.mul"));
  struct Case {
    const char* name;
    std::vector<std::string> words;
    std::vector<std::string> sources;
    std::function<void()> check;
  };
  const std::vector<Case> cases = {
      {"index delete (written into the files at once)",
       {"index", "delete", s.f("gumpidx.mul"), s.f("gumpart.mul"), gump, "--out-index", oi,
        "--out-data", om},
       {s.f("gumpidx.mul"), s.f("gumpart.mul")},
       [&] { EXPECT_TRUE(slotEmpty(oi, om, gump)); }},
      {"gump delete (memory copy)",
       {"gump", "delete", s.f("gumpidx.mul"), s.f("gumpart.mul"), gump, "--out-index", oi,
        "--out-data", om},
       {s.f("gumpidx.mul"), s.f("gumpart.mul")},
       [&] { EXPECT_TRUE(slotEmpty(oi, om, gump)); }},
      {"texture delete --low-memory",
       {"texture", "delete", "--low-memory", s.f("texidx.mul"), s.f("texmaps.mul"), tex,
        "--out-index=" + oi, "--out-data=" + om},
       {s.f("texidx.mul"), s.f("texmaps.mul")},
       [&] { EXPECT_TRUE(slotEmpty(oi, om, tex)); }},
      {"anim delete (direct mode)",
       {"anim", "delete", s.f("anim.idx"), s.f("anim.mul"), "0x190", "--out-index", oi,
        "--out-data", om},
       {s.f("anim.idx"), s.f("anim.mul")},
       [&] {
         TAnimation a;
         a.load(oi, om);
         EXPECT_FALSE(a.bodyExists(0x190));
         EXPECT_TRUE(a.bodyExists(0xC9));
       }},
      {"anim fill",
       {"anim", "fill", s.f("anim.idx"), s.f("anim.mul"), "--out-index", oi, "--out-data", om},
       {s.f("anim.idx"), s.f("anim.mul")},
       [&] {
         TAnimation a;
         a.load(oi, om);
         EXPECT_EQ(a.bodyCount(), 0x1000);
       }},
      {"radarcol set",
       {"radarcol", "set", s.f("radarcol.mul"), "3", "0x1F", "--out", out},
       {s.f("radarcol.mul")},
       [&] { EXPECT_NE(test::readBytes(out), test::readBytes(s.f("radarcol.mul"))); }},
      {"radarcol from-art",
       {"radarcol", "from-art", "--all", s.f("radarcol.mul"), s.f("artidx.mul"), s.f("art.mul"),
        "--out", out},
       {s.f("radarcol.mul")},
       [&] { EXPECT_TRUE(std::filesystem::exists(out)); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Bytes> before;
    for (const auto& src : c.sources) before.push_back(test::readBytes(src));
    const auto r = run(c.words);
    ASSERT_EQ(r.code, 0) << r.err;
    for (std::size_t i = 0; i < c.sources.size(); ++i)
      EXPECT_EQ(test::readBytes(c.sources[i]), before[i]) << c.sources[i];
    c.check();
    for (const auto& name : filesIn(s.dir.path()))
      EXPECT_EQ(name.find(".tmp"), std::string::npos) << "left behind: " << name;
    std::filesystem::remove(oi);
    std::filesystem::remove(om);
    std::filesystem::remove(out);
  }
}

// A change into working copies that fails leaves the targets with what they held and no copies
// beside them.
TEST(WriteTargetCli, FailedChangeLeavesTheTargetsAsTheyWere) {
  Sample s;
  const std::string oi = s.f("o.idx"), om = s.f("o.mul");
  test::writeBytes(oi, {1, 2, 3});
  test::writeBytes(om, {4, 5});
  test::writeBytes(s.f("cut.kx"), {6, 0, 0, 0, 1});
  const auto names = filesIn(s.dir.path());
  const Bytes idx = test::readBytes(s.f("anim.idx"));
  auto r = run({"anim", "import", s.f("anim.idx"), s.f("anim.mul"), "0x2", s.f("cut.kx"),
                "--out-index", oi, "--out-data", om});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("cut short"), std::string::npos) << r.err;
  r = run({"index", "delete", s.f("gumpidx.mul"), s.f("gumpart.mul"), "0x7FFFFF", "--out-index", oi,
           "--out-data", om});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(test::readBytes(oi), (Bytes{1, 2, 3}));
  EXPECT_EQ(test::readBytes(om), (Bytes{4, 5}));
  EXPECT_EQ(test::readBytes(s.f("anim.idx")), idx);
  EXPECT_EQ(filesIn(s.dir.path()), names);
  // One file as both targets is refused before anything is written.
  r = run({"anim", "delete", s.f("anim.idx"), s.f("anim.mul"), "0x190", "--out-index", oi,
           "--out-data", oi});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(test::readBytes(oi), (Bytes{1, 2, 3}));
}

TEST(WriteTargetCli, HalfAPairTargetIsAUsageErrorAndWritesNothing) {
  Sample s;
  const std::string oi = s.f("o.idx");
  const std::vector<std::vector<std::string>> lines = {
      {"index", "delete", s.f("gumpidx.mul"), s.f("gumpart.mul"), "1", "--out-index", oi},
      {"gump", "import", s.f("gumpidx.mul"), s.f("gumpart.mul"), "1", s.f("x.bmp"), "--out-data",
       oi},
      {"anim", "fill", s.f("anim.idx"), s.f("anim.mul"), "--out-index", oi},
  };
  for (const auto& words : lines) {
    const auto r = run(words);
    EXPECT_EQ(r.code, 2) << words[0] << ' ' << words[1];
    EXPECT_NE(r.err.find("--out-index and --out-data go together."), std::string::npos) << r.err;
  }
  EXPECT_FALSE(std::filesystem::exists(oi));
}

// verdata show writes an exported picture, not a changed game file: --picture, with --out kept as
// the old spelling.
TEST(WriteTargetCli, VerdataShowNamesItsPictureWithPictureOrTheOldOut) {
  Sample s;
  const std::string v = s.f("verdata.mul");
  auto r = run({"verdata", "show", v, "static", "0x22", "--picture", s.f("a.bmp")});
  ASSERT_EQ(r.code, 0) << r.err;
  r = run({"verdata", "show", v, "static", "0x22", "--out", s.f("b.bmp")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(test::readBytes(s.f("a.bmp")), test::readBytes(s.f("b.bmp")));
  r = run(
      {"verdata", "show", v, "static", "0x22", "--out", s.f("c.bmp"), "--picture", s.f("d.bmp")});
  EXPECT_EQ(r.code, 2);
}
