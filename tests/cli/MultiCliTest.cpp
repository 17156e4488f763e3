#include <gtest/gtest.h>

#include "cli/CliRun.h"
#include "models/Multi.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::runCliWords;
using quillotide::test::TempDir;

TEST(MultiCli, ExportsAndImportsEachFormatIntoAnotherSlot) {
  TempDir dir;
  const std::string idx = dir.file("multi.idx");
  const std::string mul = dir.file("multi.mul");
  test::writeBytes(idx, {});
  test::writeBytes(mul, {});
  const std::vector<MultiComponent> tent = {{0x10, -1, 0, 0, 1}, {0x11, 1, 0, 3, 1}};
  {
    TMulti m;
    m.load(idx, mul);
    m.writeComponents(0, tent);
    m.save(idx, mul);
  }
  std::int64_t slot = 1;
  for (const std::string format : {"sphere51a", "wsc", "text", "uoa"}) {
    const std::string file = dir.file("tent." + format);
    auto r = runCliWords({"multi", "export", idx, mul, format, "0", file});
    ASSERT_EQ(r.code, 0) << r.err;
    r = runCliWords({"multi", "import", idx, mul, format, std::to_string(slot), file});
    ASSERT_EQ(r.code, 0) << r.err;
    ++slot;
  }
  TMulti m;
  m.load(idx, mul);
  for (std::int64_t s = 1; s < slot; ++s) EXPECT_EQ(m.components(s), tent) << s;
  auto r = runCliWords({"multi", "list", idx, mul, "--json"});
  EXPECT_NE(r.out.find("\"components\":2"), std::string::npos) << r.out;
  EXPECT_EQ(runCliWords({"multi", "export", idx, mul, "xml", "0", dir.file("x")}).code, 2);
  EXPECT_EQ(runCliWords({"multi", "export", idx, mul, "text", "9", dir.file("x")}).code, 1);
}
