#include <gtest/gtest.h>

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
    const auto r = runCliWords({group, "save", s(name), s("copy.uop")});
    ASSERT_EQ(r.code, 0) << group << r.err;
    // Nothing changed: the same bytes.
    EXPECT_EQ(test::readBytes(s("copy.uop")), test::readBytes(s(name))) << group;
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
    auto r = runCliWords({"uop", "pack", c.kind, s(c.index), s(c.data), s("packed.uop")});
    ASSERT_EQ(r.code, 0) << c.kind << r.err;
    EXPECT_FALSE(verifyUop(test::readBytes(s("packed.uop")))) << c.kind;
    r = runCliWords(
        {"uop", "unpack", "--records", c.records, s("packed.uop"), s("u.idx"), s("u.mul")});
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
