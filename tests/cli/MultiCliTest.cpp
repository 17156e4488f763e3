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

TEST(MultiCli, ImportOfARealSaveKeepsPlacesAndRefusesWhatDoesNotFit) {
  TempDir dir;
  const std::string idx = dir.file("multi.idx");
  const std::string mul = dir.file("multi.mul");
  test::writeBytes(idx, {});
  test::writeBytes(mul, {});
  // Indented keys and the MORE lines of a server's save; the second item at height 0 as Sphere
  // writes it.
  test::writeText(dir.file("house.wsc"),
                  "SECTION WORLDITEM 0\r\n{\r\n\tID 100\r\n\tX 5399\r\n\tY 1100\r\n\tZ 0\r\n"
                  "\tMOREX 7\r\n\tMOREY 7\r\n\tMOREZ 7\r\n}\r\nSECTION WORLDITEM 1\r\n{\r\n"
                  "\tID 101\r\n\tX 5401\r\n\tY 1100\r\n\tZ 5\r\n}\r\n");
  test::writeText(dir.file("house.scp"),
                  "[WORLDITEM 064]\r\nP=5399,1100\r\nMOREP=7,7,7\r\n[WORLDITEM 065]\r\n"
                  "P=5401,1100,5\r\n");
  auto r = runCliWords({"multi", "import", idx, mul, "wsc", "1", dir.file("house.wsc")});
  ASSERT_EQ(r.code, 0) << r.err;
  r = runCliWords({"multi", "import", idx, mul, "sphere51a", "2", dir.file("house.scp")});
  ASSERT_EQ(r.code, 0) << r.err;
  TMulti m;
  m.load(idx, mul);
  EXPECT_EQ(m.components(1), (std::vector<MultiComponent>{{100, -1, 0, 0, 1}, {101, 1, 0, 5, 1}}));
  EXPECT_EQ(m.components(2), (std::vector<MultiComponent>{{100, -1, 0, 0, 1}, {101, 1, 0, 5, 1}}));

  const Bytes before = test::readBytes(mul);
  test::writeText(dir.file("big.txt"), "0x64 0 0 0 0x0 1\r\n0x1F064 1 0 0 0x0 1\r\n");
  r = runCliWords({"multi", "import", idx, mul, "text", "3", dir.file("big.txt")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("Line 2: the id 127076 does not fit (0 to 65535)."), std::string::npos)
      << r.err;
  EXPECT_EQ(test::readBytes(mul), before);
}
