#include <gtest/gtest.h>

#include "app/Bytes.h"
#include "app/FileIO.h"
#include "app/Uop.h"
#include "cli/CliRun.h"
#include "models/Multi.h"
#include "sample/Sample.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::runCliWords;
using quillotide::test::TempDir;

namespace {

struct SampleDir {
  TempDir dir;
  SampleDir() { sample::writeSampleSet(dir.path()); }
  std::string operator()(const std::string& name) const { return dir.file(name); }
};

// The JSON rows of a list, cut after the n-th row.
std::string firstRows(const std::string& json, int n) {
  std::size_t at = 0;
  for (int i = 0; i < n; ++i) at = json.find('}', at) + 1;
  return json.substr(0, at);
}

}  // namespace

TEST(UopFamilyCli, PairGroupsReadAContainerAsTheyReadItsPair) {
  SampleDir s;
  auto pair = runCliWords({"multi", "list", s("multi.idx"), s("multi.mul"), "--json"});
  auto uop = runCliWords({"multi", "list", s("MultiCollection.uop"), "--json"});
  ASSERT_EQ(uop.code, 0) << uop.err;
  // The container holds the three sample multis; the pair's index has empty records after them.
  EXPECT_EQ(firstRows(uop.out, 3), firstRows(pair.out, 3));
  EXPECT_NE(uop.out.find("\"components\":"), std::string::npos);

  pair = runCliWords({"index", "list", s("gumpidx.mul"), s("gumpart.mul"), "--full", "--json"});
  uop = runCliWords({"index", "list", s("gumpartLegacyMUL.uop"), "--full", "--json"});
  ASSERT_EQ(uop.code, 0) << uop.err;
  EXPECT_EQ(uop.out, pair.out);

  pair = runCliWords({"gump", "show", s("gumpidx.mul"), s("gumpart.mul"), "0xF8", "--json"});
  uop = runCliWords({"gump", "show", s("gumpartLegacyMUL.uop"), "0xF8", "--json"});
  ASSERT_EQ(uop.code, 0) << uop.err;
  EXPECT_EQ(uop.out, pair.out);

  pair = runCliWords({"sound", "list", s("soundidx.mul"), s("sound.mul"), "--full"});
  uop = runCliWords({"sound", "list", s("soundLegacyMUL.uop"), "--full"});
  EXPECT_EQ(uop.out, pair.out);

  uop = runCliWords({"art", "export", s("artLegacyMUL.uop"), "static", "0x10", s("s.bmp")});
  ASSERT_EQ(uop.code, 0) << uop.err;
  pair =
      runCliWords({"art", "export", s("artidx.mul"), s("art.mul"), "static", "0x10", s("p.bmp")});
  EXPECT_EQ(test::readBytes(s("s.bmp")), test::readBytes(s("p.bmp")));

  // A .uop word in place of a pair counts as both of its files.
  EXPECT_EQ(runCliWords({"multi", "list", s("MultiCollection.uop"), s("multi.mul")}).code, 2);
}

TEST(UopFamilyCli, SavesWriteTheFormTheirTargetNames) {
  SampleDir s;
  for (const auto& [group, name] :
       std::vector<std::pair<std::string, std::string>>{{"multi", "MultiCollection.uop"},
                                                        {"art", "artLegacyMUL.uop"},
                                                        {"gump", "gumpartLegacyMUL.uop"},
                                                        {"sound", "soundLegacyMUL.uop"}}) {
    // A new file each: saved onto an existing container, a family would join its entries.
    const std::string copy = s("copy-" + group + ".uop");
    const auto r = runCliWords({group, "save", s(name), copy});
    ASSERT_EQ(r.code, 0) << group << r.err;
    // Nothing changed: the same bytes.
    EXPECT_EQ(test::readBytes(copy), test::readBytes(s(name))) << group;
  }
  // A change in place rewrites the container; the verifier finds it sound.
  auto r = runCliWords({"art", "delete", s("artLegacyMUL.uop"), "static", "0x10"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_FALSE(verifyUop(test::readBytes(s("artLegacyMUL.uop"))));
  r = runCliWords({"art", "list", s("artLegacyMUL.uop"), "static", "--full"});
  EXPECT_EQ(r.out.find("0x10 "), std::string::npos) << r.out;
  r = runCliWords({"sound", "delete", s("soundLegacyMUL.uop"), "0x1"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(UopContainer::read(s("soundLegacyMUL.uop")).entries().size(), 2u);

  // MUL -> UOP -> MUL: the pair comes back byte for byte.
  r = runCliWords({"art", "save", s("artidx.mul"), s("art.mul"), s("new.uop")});
  ASSERT_EQ(r.code, 0) << r.err;
  r = runCliWords({"art", "save", s("new.uop"), s("back.idx"), s("back.mul")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(test::readBytes(s("back.mul")), test::readBytes(s("art.mul")));
}

TEST(UopFamilyCli, UnpackAndPackConvertEveryFamilyLosslessly) {
  SampleDir s;
  struct Case {
    const char* kind;
    const char* index;
    const char* data;
    const char* records;
  };
  for (const Case& c : {Case{"art", "artidx.mul", "art.mul", "0x4040"},
                        Case{"gump", "gumpidx.mul", "gumpart.mul", "0x1000"},
                        Case{"sound", "soundidx.mul", "sound.mul", "0x10"},
                        Case{"multi", "multi.idx", "multi.mul", "0x10"}}) {
    const std::string packed = s(std::string("packed-") + c.kind + ".uop");
    auto r = runCliWords({"uop", "pack", c.kind, s(c.index), s(c.data), packed});
    ASSERT_EQ(r.code, 0) << c.kind << r.err;
    EXPECT_FALSE(verifyUop(test::readBytes(packed))) << c.kind;
    r = runCliWords({"uop", "unpack", "--records", c.records, packed, s("u.idx"), s("u.mul")});
    ASSERT_EQ(r.code, 0) << c.kind << r.err;
    EXPECT_EQ(test::readBytes(s("u.idx")), test::readBytes(s(c.index))) << c.kind;
    EXPECT_EQ(test::readBytes(s("u.mul")), test::readBytes(s(c.data))) << c.kind;
  }
  auto r = runCliWords({"uop", "pack", "map", s("map0.mul"), s("m.uop"), "--map", "3"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(UopContainer::read(s("m.uop")).find(uopEntryName(UopFamily::Map, 0, 3)));
  r = runCliWords({"uop", "unpack", s("m.uop"), s("m.mul")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(test::readBytes(s("m.mul")), test::readBytes(s("map0.mul")));

  // The map group changes a container in place; only the changed cell differs once unpacked.
  r = runCliWords({"map", "set-cell", s("m.uop"), "5", "6", "--id", "0x44", "--z", "3", "--width",
                   "256", "--height", "256"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_FALSE(verifyUop(test::readBytes(s("m.uop"))));
  ASSERT_EQ(runCliWords({"uop", "unpack", s("m.uop"), s("m2.mul")}).code, 0);
  Bytes expected = test::readBytes(s("map0.mul"));
  const std::size_t cell = (0 * 32 + 0) * 196 + 4 + (6 * 8 + 5) * 3;
  expected[cell] = 0x44;
  expected[cell + 1] = 0;
  expected[cell + 2] = 3;
  EXPECT_EQ(test::readBytes(s("m2.mul")), expected);

  EXPECT_EQ(runCliWords({"uop", "pack", "anim", s("a"), s("b"), s("c.uop")}).code, 2);
  EXPECT_EQ(runCliWords({"uop", "pack", "art", s("artidx.mul"), s("art.mul"), s("c.mul")}).code, 2);
}

TEST(UopFamilyCli, MultiClilocListsAreShownAndTheirLossIsCounted) {
  TempDir dir;
  const std::vector<MultiComponent> door = {{0x6A5, 0, 0, 0, 257, {1041205, 500}},
                                            {0x6A6, 1, 0, 0, 1}};
  UopContainer made = UopContainer::create();
  made.setPayload(uopHash(uopEntryName(UopFamily::Multi, 2)), encodeUopMulti(2, door), true);
  made.setPayload(uopHash(kUopHousingName), Bytes{1, 2, 3}, true);
  made.save(dir.file("MultiCollection.uop"));

  auto r = runCliWords({"multi", "components", dir.file("MultiCollection.uop"), "2", "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"flags\":257,\"clilocs\":[1041205,500]"), std::string::npos) << r.out;
  r = runCliWords({"multi", "list", dir.file("MultiCollection.uop"), "--full"});
  EXPECT_EQ(r.out, "0x2 2 components\n");

  r = runCliWords({"uop", "unpack", dir.file("MultiCollection.uop"), dir.file("multi.idx"),
                   dir.file("multi.mul"), "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"droppedClilocLists\":1"), std::string::npos) << r.out;
  r = runCliWords(
      {"multi", "save", dir.file("MultiCollection.uop"), dir.file("a.idx"), dir.file("a.mul")});
  EXPECT_NE(r.out.find("1 cliloc lists were dropped"), std::string::npos) << r.out;
  EXPECT_EQ(test::readBytes(dir.file("a.mul")), test::readBytes(dir.file("multi.mul")));

  // A change written from the container into a pair would lose the list: refused, nothing written.
  r = runCliWords({"multi", "delete", "--out-index", dir.file("b.idx"), "--out-data",
                   dir.file("b.mul"), dir.file("MultiCollection.uop"), "7"});
  EXPECT_EQ(r.code, 1);
  EXPECT_FALSE(fileExists(dir.file("b.idx")));
}

namespace {

// The text of a list command without the line of one slot.
std::string withoutLine(const std::string& text, const std::string& start) {
  std::string out;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end == std::string::npos ? end : end + 1 - at);
    if (line.rfind(start, 0) != 0) out += line;
    at = end == std::string::npos ? text.size() : end + 1;
  }
  return out;
}

}  // namespace

TEST(UopFamilyCli, ChangesAndRebuildsWriteTheFormTheirOutputPathsName) {
  SampleDir s;
  const std::string gumps = s("gumpartLegacyMUL.uop");
  const Bytes source = test::readBytes(gumps);
  const std::string listed = runCliWords({"gump", "list", gumps, "--full"}).out;
  ASSERT_NE(listed.find("0xF8 "), std::string::npos) << listed;
  const std::string withoutF8 = withoutLine(listed, "0xF8 ");

  // A container changed into two paths gives a real index and data file.
  auto r = runCliWords(
      {"index", "delete", gumps, "0xF8", "--out-index", s("d.idx"), "--out-data", s("d.mul")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(test::readBytes(gumps), source);
  EXPECT_EQ(test::readBytes(s("d.idx")).size() % 12, 0u);
  EXPECT_FALSE(UopContainer::read(gumps).entries().empty());
  EXPECT_EQ(runCliWords({"gump", "list", s("d.idx"), s("d.mul"), "--full"}).out, withoutF8);
  EXPECT_EQ(runCliWords({"gump", "show", s("d.idx"), s("d.mul"), "0xF7"}).out,
            runCliWords({"gump", "show", gumps, "0xF7"}).out);

  // ... and into one .uop path a container that opens and verifies.
  for (const auto& group : {"index", "gump"}) {
    const std::string out = s(std::string(group) + "-d.uop");
    r = runCliWords({group, "delete", gumps, "0xF8", "--out-index", out});
    ASSERT_EQ(r.code, 0) << group << r.err;
    EXPECT_FALSE(verifyUop(test::readBytes(out))) << group;
    EXPECT_EQ(runCliWords({"gump", "list", out, "--full"}).out, withoutF8) << group;
  }
  EXPECT_EQ(test::readBytes(gumps), source);

  // Rebuilt into one .uop path: a container holding every slot.
  for (const auto& group : {"index", "gump"}) {
    const std::string out = s(std::string(group) + "-r.uop");
    r = runCliWords({group, "rebuild", gumps, out});
    ASSERT_EQ(r.code, 0) << group << r.err;
    EXPECT_NE(r.out.find(" into " + out), std::string::npos) << r.out;
    EXPECT_FALSE(verifyUop(test::readBytes(out))) << group;
    EXPECT_EQ(runCliWords({"gump", "list", out, "--full"}).out, listed) << group;
  }
  const std::string art = s("artLegacyMUL.uop");
  const std::string statics = runCliWords({"art", "list", art, "static", "--full"}).out;
  r = runCliWords({"art", "rebuild", art, s("art-r.uop")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_FALSE(verifyUop(test::readBytes(s("art-r.uop"))));
  EXPECT_EQ(runCliWords({"art", "list", s("art-r.uop"), "static", "--full"}).out, statics);
  // ... and into two paths, a pair.
  r = runCliWords({"art", "rebuild", "--seed", "3", art, s("r.idx"), s("r.mul")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(test::readBytes(s("r.idx")).size() % 12, 0u);
  for (const char* id : {"0x1", "0x20"}) {
    ASSERT_EQ(runCliWords({"art", "export", art, "static", id, s("from-uop.bmp")}).code, 0);
    ASSERT_EQ(
        runCliWords({"art", "export", s("r.idx"), s("r.mul"), "static", id, s("from-pair.bmp")})
            .code,
        0);
    EXPECT_EQ(test::readBytes(s("from-pair.bmp")), test::readBytes(s("from-uop.bmp"))) << id;
  }

  // A pair rebuilt into a container under the client's name takes that family.
  TempDir fresh;
  r = runCliWords(
      {"index", "rebuild", s("soundidx.mul"), s("sound.mul"), fresh.file("soundLegacyMUL.uop")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_FALSE(verifyUop(test::readBytes(fresh.file("soundLegacyMUL.uop"))));
  EXPECT_EQ(runCliWords({"sound", "list", fresh.file("soundLegacyMUL.uop"), "--full"}).out,
            runCliWords({"sound", "list", s("soundidx.mul"), s("sound.mul"), "--full"}).out);
  // Under another name nothing tells the family of a new container: refused, nothing written.
  r = runCliWords({"index", "rebuild", s("soundidx.mul"), s("sound.mul"), fresh.file("new.uop")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("takes its family from its name"), std::string::npos) << r.err;
  EXPECT_FALSE(fileExists(fresh.file("new.uop")));
  // A container target with a data file of another name is no form at all.
  r = runCliWords({"index", "delete", gumps, "0xF8", "--out-index", fresh.file("x.uop"),
                   "--out-data", fresh.file("x.mul")});
  EXPECT_EQ(r.code, 2);
  EXPECT_FALSE(fileExists(fresh.file("x.uop")));
  EXPECT_FALSE(fileExists(fresh.file("x.mul")));
  EXPECT_EQ(test::readBytes(gumps), source);
}

TEST(UopFamilyCli, ARebuildIntoAContainerNamesDamagedSlotsOrLeavesThemOut) {
  SampleDir s;
  // Static 0x10's record points past the end of the data file.
  Bytes index = test::readBytes(s("artidx.mul"));
  storeU32(index.data() + (0x4000 + 0x10) * 12, 0x7FFFFF00u);
  test::writeBytes(s("artidx.mul"), index);
  TempDir out;
  const std::string uop = out.file("artLegacyMUL.uop");
  auto r = runCliWords({"art", "rebuild", s("artidx.mul"), s("art.mul"), uop});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("Static 0x10 is damaged"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("--skip-damaged"), std::string::npos) << r.err;
  EXPECT_FALSE(fileExists(uop));
  r = runCliWords({"art", "rebuild", "--skip-damaged", s("artidx.mul"), s("art.mul"), uop});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("left out damaged slots: Static 0x10"), std::string::npos) << r.out;
  EXPECT_FALSE(verifyUop(test::readBytes(uop)));
  const std::string statics = runCliWords({"art", "list", uop, "static", "--full"}).out;
  EXPECT_EQ(statics.find("0x10 "), std::string::npos) << statics;
  EXPECT_NE(statics.find("0x11 "), std::string::npos) << statics;
}
