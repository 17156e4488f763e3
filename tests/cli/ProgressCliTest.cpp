#include <gtest/gtest.h>

#include "app/Png.h"
#include "cli/CliRun.h"
#include "models/ProgressArchive.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::runCliWords;
using quillotide::test::TempDir;

TEST(ProgressCli, CreatesImportsListsExportsAndDeletes) {
  TempDir dir;
  auto r = runCliWords({"progress", "create", dir.path()});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string idx = dir.file("Progress.idx");
  const std::string mul = dir.file("Progress.mul");
  Bitmap32 picture(2, 2, makePixel(1, 2, 3, 77));
  const std::string png = dir.file("in.png");
  writePngFile(png, picture);

  r = runCliWords({"progress", "import", idx, mul, "gump", "0x10", png});
  ASSERT_EQ(r.code, 0) << r.err;
  r = runCliWords({"progress", "list", idx, mul, "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"kind\":\"gump\",\"id\":16"), std::string::npos) << r.out;

  const std::string out = dir.file("out.png");
  r = runCliWords({"progress", "export", idx, mul, "gump", "0x10", out});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(readPngFile(out), picture);
  EXPECT_EQ(runCliWords({"progress", "export", idx, mul, "art", "0x10", out}).code, 1);
  EXPECT_EQ(runCliWords({"progress", "export", idx, mul, "hue", "0x10", out}).code, 2);

  r = runCliWords({"progress", "delete", idx, mul, "gump", "0x10"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(test::readBytes(idx).empty());
  EXPECT_TRUE(test::readBytes(mul).empty());
}
