// "statics find": the placed statics of an id or a range of ids, in the form scripts read.

#include <gtest/gtest.h>

#include "cli/CliRun.h"
#include "support/TestFiles.h"
#include "support/WorldFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

test::CliRun find(const std::vector<std::string>& words) {
  std::vector<std::string> all = {"statics", "find"};
  all.insert(all.end(), words.begin(), words.end());
  return test::runCliWords(all);
}

}  // namespace

TEST(StaticsFindCli, ListsTheStaticsOfAnIdOrARangeAsJsonObjects) {
  TempDir dir;
  const std::string idx = dir.file("staidx0.mul"), mul = dir.file("statics0.mul");
  const auto files = test::makeStaticsFiles(
      32, 24, {{0x100, 1, 2, 5, 0}, {0x101, 7, 7, -3, 0x21}, {0x100, 12, 3, 20, 7},
               {0x2FF, 30, 20, 0, 0}});
  test::writeBytes(idx, files.index);
  test::writeBytes(mul, files.data);
  const std::vector<std::string> size = {"--width", "32", "--height", "24"};
  auto words = [&](std::vector<std::string> w) {
    w.insert(w.end(), size.begin(), size.end());
    return w;
  };

  auto r = find(words({idx, mul, "0x100", "--json"}));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "[{\"id\":256,\"x\":1,\"y\":2,\"z\":5,\"hue\":0},"
            "{\"id\":256,\"x\":12,\"y\":3,\"z\":20,\"hue\":7}]\n");
  // A range, by the integer rule at both ends, in either order.
  r = find(words({idx, mul, "$101-256", "--json"}));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.find("\"id\":767"), std::string::npos);
  EXPECT_NE(r.out.find("{\"id\":257,\"x\":7,\"y\":7,\"z\":-3,\"hue\":33}"), std::string::npos);
  r = find(words({idx, mul, "0x2FF"}));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "0x2FF 30 20 0 0x0\n1 found\n");
  r = find(words({idx, mul, "0x300", "--json"}));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "[]\n");

  // Ids that are no numbers or lie outside 0 .. 0xFFFF are refused; so is a missing size.
  EXPECT_EQ(find(words({idx, mul, "wall"})).code, 2);
  r = find(words({idx, mul, "0x10000"}));
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("0x0 to 0xFFFF"), std::string::npos);
  EXPECT_EQ(find({idx, mul, "0x100"}).code, 2);
  EXPECT_EQ(find({"--help"}).code, 0);
}
