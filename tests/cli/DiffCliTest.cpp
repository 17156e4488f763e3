#include <gtest/gtest.h>

#include "app/FileIO.h"
#include "app/Uop.h"
#include "cli/CliRun.h"
#include "support/TestFiles.h"
#include "support/WorldFiles.h"
#include "world/Map.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

std::vector<std::string> sized(std::vector<std::string> words) {
  words.insert(words.end(), {"--width", "32", "--height", "24"});
  return words;
}

test::CliRun run(const std::vector<std::string>& words) { return test::runCliWords(sized(words)); }

struct Worlds {
  TempDir dir;
  std::string map = dir.file("map0.mul");
  std::string map1 = dir.file("map1.mul");
  std::string idx = dir.file("staidx0.mul");
  std::string mul = dir.file("statics0.mul");
  std::string idx1 = dir.file("staidx1.mul");
  std::string mul1 = dir.file("statics1.mul");
  Worlds() {
    const auto cell = [](int x, int y) {
      return test::CellSpec{static_cast<std::uint16_t>(x + 100 * y), 0};
    };
    test::writeBytes(map, test::makeMapBytes(32, 24, cell));
    test::writeBytes(map1, test::makeMapBytes(32, 24, [&](int x, int y) {
                       return x == 20 && y == 9 ? test::CellSpec{0x44, 3} : cell(x, y);
                     }));
    auto files = test::makeStaticsFiles(32, 24, {{0x100, 1, 2, 5, 0}, {0x101, 12, 3, 20, 7}});
    test::writeBytes(idx, files.index);
    test::writeBytes(mul, files.data);
    files = test::makeStaticsFiles(32, 24, {{0x100, 1, 2, 5, 0}, {0x102, 17, 20, 1, 0}});
    test::writeBytes(idx1, files.index);
    test::writeBytes(mul1, files.data);
  }
};

}  // namespace

TEST(DiffCli, CreateListAndApplyBothFamilies) {
  Worlds w;
  TempDir out;
  auto r = run({"diff", "create-map", w.map, w.map1, out.path()});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "1 Mapblocks patched.\n");
  r = run({"diff", "create-statics", w.idx, w.mul, w.idx1, w.mul1, out.path(), "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "{\"blocks\":2,\"message\":\"2 Staticblocks patched.\",\"problems\":[]}\n");
  // Block 7 is (16, 8); block 3 is (8, 0) and block 8 is (16, 16).
  r = run({"diff", "list", out.path(), "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "{\"map\":[{\"block\":7,\"x\":16,\"y\":8,\"inside\":true}],\"statics\":[{\"block\":3,"
            "\"x\":8,\"y\":0,\"inside\":true},{\"block\":8,\"x\":16,\"y\":16,\"inside\":true}],"
            "\"problems\":[]}\n");

  r = run({"diff", "apply-map", w.map, out.path()});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(test::readBytes(w.map), test::readBytes(w.map1));
  r = run({"diff", "apply-statics", w.idx, w.mul, out.path()});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "2 Staticblocks patched.\n");
  r = run({"statics", "list", w.idx, w.mul, "0", "0", "31", "23", "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, run({"statics", "list", w.idx1, w.mul1, "0", "0", "31", "23", "--json"}).out);
}

TEST(DiffCli, CopiesAndRefusals) {
  Worlds w;
  TempDir out;
  auto r = run({"diff", "copy-statics", w.idx, w.mul, out.path()});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "12 Staticblocks patched.\n");
  r = run({"diff", "copy-map", w.map, out.path(), "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "{\"blocks\":12,\"message\":\"12 Mapblocks patched.\",\"problems\":[]}\n");
  // The classic world without a size: the small map is too short.
  r = test::runCliWords({"diff", "copy-map", w.map, out.path()});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("fewer than the 393216 blocks of a 6144 x 4096 world"), std::string::npos);
  // Half a size, a wrong count of paths, an output that is an input.
  EXPECT_EQ(test::runCliWords({"diff", "copy-map", w.map, out.path(), "--width", "32"}).code, 2);
  EXPECT_EQ(run({"diff", "apply-map", w.map}).code, 2);
  const Bytes before = test::readBytes(w.map);
  test::writeBytes(w.dir.file("Mapdif0.mul"), before);
  r = run({"diff", "copy-map", w.dir.file("Mapdif0.mul"), w.dir.path()});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("is one of the input files"), std::string::npos);
  EXPECT_EQ(test::readBytes(w.dir.file("Mapdif0.mul")), before);
  EXPECT_EQ(run({"diff", "list", w.dir.file("none")}).code, 1);
  EXPECT_EQ(test::runCliWords({"diff", "--help"}).code, 0);
}

TEST(DiffCli, AMapContainerIsReadAsItsMapAndRefusedAsTheTargetOfAnApply) {
  Worlds w;
  TempDir fromMul, fromUop;
  const std::string uop = w.dir.file("map0LegacyMUL.uop");
  containerOfMapFile(test::readBytes(w.map), 0).save(uop);
  auto r = run({"diff", "create-map", w.map, w.map1, fromMul.path()});
  ASSERT_EQ(r.code, 0) << r.err;
  r = run({"diff", "create-map", uop, w.map1, fromUop.path()});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "1 Mapblocks patched.\n");
  EXPECT_EQ(test::readBytes(fromUop.file("Mapdifl0.mul")),
            test::readBytes(fromMul.file("Mapdifl0.mul")));
  EXPECT_EQ(test::readBytes(fromUop.file("Mapdif0.mul")),
            test::readBytes(fromMul.file("Mapdif0.mul")));

  // Block 7 written at 7 x 196 bytes would land in the container's entry table.
  const Bytes before = test::readBytes(uop);
  r = run({"diff", "apply-map", uop, fromMul.path()});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find(uop + " is a UOP container"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("uop unpack"), std::string::npos) << r.err;
  EXPECT_EQ(test::readBytes(uop), before);
}
