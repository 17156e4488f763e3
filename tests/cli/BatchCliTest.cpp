#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/Bmp.h"
#include "app/FileIO.h"
#include "app/Text.h"
#include "cli/Cli.h"
#include "cli/CliRun.h"
#include "models/Art.h"
#include "models/BatchTools.h"
#include "models/Gump.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

test::CliRun run(const std::vector<std::string>& words) { return test::runCliWords(words); }

std::string cliPath() { return joinPath(executableDir(), "../quillotide-cli"); }

}  // namespace

TEST(BatchCli, AutopatchImportsFromAListAndReindexShrinksThePairToItsLiveData) {
  TempDir dir;
  const std::string idx = dir.file("artidx.mul"), mul = dir.file("art.mul");
  ASSERT_EQ(run({"batch", "create-empty", "art", dir.path()}).code, 0);
  std::vector<std::string> lines;
  for (int s = 0; s < 10; ++s) {
    writeBmpFile(dir.file("s" + std::to_string(s) + ".bmp"), test::exactPicture(8 + s, 20, s));
    lines.push_back(hexLabel(static_cast<std::uint32_t>(s)) + " s" + std::to_string(s) + ".bmp");
  }
  writeTextLines(dir.file("list.txt"), lines);
  // Imported five times over: the data file holds five copies of every static.
  for (int i = 0; i < 5; ++i) {
    const test::CliRun r = run({"batch", "autopatch", "static", dir.file("list.txt"), idx, mul});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "10 Arttiles patched.\n");
  }
  TArt grown;
  grown.load(idx, mul, StorageMode::Memory);
  const test::CliRun r = run({"batch", "reindex", "art", idx, mul, dir.file("new-idx.mul"),
                              dir.file("new.mul"), "--seed", "3", "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  TArt compact;
  compact.load(dir.file("new-idx.mul"), dir.file("new.mul"), StorageMode::Memory);
  std::uint64_t live = 0;
  for (int s = 0; s < 10; ++s) {
    EXPECT_EQ(compact.staticPicture(s), grown.staticPicture(s));
    live += static_cast<std::uint64_t>(grown.staticRecord(s)->length);
  }
  EXPECT_EQ(grown.files().dataSize(), 5 * live);
  EXPECT_GE(compact.files().dataSize(), live + 4 * 0x8000);
  EXPECT_LE(compact.files().dataSize(), live + 15 * 0x8000);
  EXPECT_EQ(compact.recordCount(), grown.recordCount());
}

TEST(BatchCli, AFailedAutopatchLineWritesNothingAndExitsWithOne) {
  TempDir dir;
  const std::string idx = dir.file("gumpidx.mul"), mul = dir.file("gumpart.mul");
  ASSERT_EQ(run({"batch", "create-empty", "gump", dir.path()}).code, 0);
  writeBmpFile(dir.file("g.bmp"), test::exactPicture(3, 3, 1));
  writeTextLines(dir.file("list.txt"), {"1 g.bmp", "0x10000 g.bmp", "2 missing.bmp"});
  const Bytes before = test::readBytes(idx);
  const test::CliRun r = run({"batch", "autopatch", "gump", dir.file("list.txt"), idx, mul});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("1 Gumps patched.\n2 lines failed:\nLine 2: Gump 0x10000 is out of range"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("Nothing was written."), std::string::npos);
  EXPECT_EQ(test::readBytes(idx), before);

  // Usage errors exit with 2; create-empty refuses to replace files without --force.
  EXPECT_EQ(run({"batch", "autopatch", "sprites", dir.file("list.txt"), idx, mul}).code, 2);
  EXPECT_EQ(run({"batch", "extract", "gump", idx}).code, 2);
  EXPECT_EQ(run({"batch", "create-empty", "gump", dir.path()}).code, 1);
  EXPECT_EQ(run({"batch", "create-empty", "gump", dir.path(), "--force"}).code, 0);
  EXPECT_EQ(run({"batch", "--help"}).code, 0);
  EXPECT_EQ(run({"batch", "cut", "--help"}).code, 0);
}

TEST(BatchCli, SmallToolsMatchTheirCoreTwins) {
  TempDir dir;
  // Cut: beyond the end says so and writes nothing.
  test::writeBytes(dir.file("f.mul"), Bytes{1, 2, 3, 4});
  test::CliRun r = run({"batch", "cut", dir.file("f.mul"), "2"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out.substr(0, 10), "File cut.\n");
  EXPECT_EQ(test::readBytes(dir.file("f.mul.new")), (Bytes{1, 2}));
  r = run({"batch", "cut", dir.file("f.mul"), "5"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(test::readBytes(dir.file("f.mul.new")), (Bytes{1, 2}));

  // Bounds of the gumps, the same bytes as the core writes.
  ASSERT_EQ(run({"batch", "create-empty", "gump", dir.path()}).code, 0);
  TGump gumps;
  gumps.load(dir.file("gumpidx.mul"), dir.file("gumpart.mul"));
  gumps.writeGump(3, test::exactPicture(4, 6, 1));
  gumps.save(dir.file("gumpidx.mul"), dir.file("gumpart.mul"));
  ASSERT_EQ(run({"batch", "bounds", "gump", dir.file("gumpidx.mul"), dir.file("gumpart.mul"),
                 dir.file("bounds.bin")})
                .code,
            0);
  EXPECT_EQ(test::readBytes(dir.file("bounds.bin")), gumpBoundFile(gumps));

  // Mark pixels writes a new bitmap; the source stays.
  Bitmap32 b(2, 1, makePixel(255, 255, 255));
  b.at(1, 0) = makePixel(80, 90, 100);
  writeBmpFile(dir.file("m.bmp"), b);
  r = run({"batch", "mark-pixels", dir.file("m.bmp"), dir.file("marked.bmp")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(readBmpFile(dir.file("marked.bmp")).at(0, 0), makePixel(255, 0, 255));
  EXPECT_EQ(readBmpFile(dir.file("marked.bmp")).at(1, 0), makePixel(80, 90, 100));
  EXPECT_EQ(readBmpFile(dir.file("m.bmp")), b);

  // Fix bitmap: the size field, and a refusal for a file that is no bitmap.
  r = run({"batch", "fix-bitmap", dir.file("m.bmp"), "--json"});
  EXPECT_EQ(r.out, "{\"file\":\"" + dir.file("m.bmp") + "\",\"imageSize\":8}\n");
  EXPECT_EQ(run({"batch", "fix-bitmap", dir.file("f.mul")}).code, 1);
  EXPECT_EQ(test::readBytes(dir.file("f.mul")), (Bytes{1, 2, 3, 4}));
}

// The patch an operator scripts: an empty set, pictures extracted, one changed by another tool,
// imported back from the extract folder's own list, compacted; then read back.
TEST(BatchCli, AShellScriptBuildsAWholePatch) {
  if (!fileExists(cliPath())) GTEST_SKIP() << "quillotide-cli is not built beside the tests";
  if (!fileExists("/usr/bin/convert")) GTEST_SKIP() << "ImageMagick's convert is not installed";
  TempDir dir;
  const std::string src = dir.file("src"), out = dir.file("out");
  ASSERT_EQ(run({"batch", "create-empty", "art", src}).code, 1);  // no such folder
  std::filesystem::create_directories(src);
  std::filesystem::create_directories(out);
  ASSERT_EQ(run({"batch", "create-empty", "art", src}).code, 0);
  TArt art;
  art.load(joinPath(src, "artidx.mul"), joinPath(src, "art.mul"), StorageMode::Memory);
  for (int s = 0; s < 6; ++s) art.importStatic(s * 0x800, test::exactPicture(10 + s, 12, s));
  art.importLand(7, test::exactPicture(44, 44, 9));
  art.save(joinPath(src, "artidx.mul"), joinPath(src, "art.mul"));

  const std::string script =
      "set -e\n"
      "cli=" +
      cliPath() +
      "\n"
      "cd " +
      dir.path() +
      "\n"
      "$cli batch extract static src/artidx.mul src/art.mul x\n"
      "$cli batch extract land src/artidx.mul src/art.mul xl\n"
      "convert x/0x1000.bmp -fill '#F80000' -draw 'point 1,1' BMP3:x/0x1000.bmp\n"
      "$cli batch create-empty art out\n"
      "$cli batch autopatch static x/list.txt out/artidx.mul out/art.mul\n"
      "$cli batch autopatch land xl/list.txt out/artidx.mul out/art.mul\n"
      "$cli batch reindex art out/artidx.mul out/art.mul out/new-idx.mul out/new.mul\n"
      "> " +
      dir.file("done") + "\n";
  test::writeText(dir.file("patch.sh"), script);
  ASSERT_EQ(std::system(("bash " + dir.file("patch.sh") + " >/dev/null 2>&1").c_str()), 0);
  ASSERT_TRUE(fileExists(dir.file("done")));

  TArt patched;
  patched.load(joinPath(out, "new-idx.mul"), joinPath(out, "new.mul"), StorageMode::Memory);
  for (int s = 0; s < 6; ++s) {
    Bitmap32 expected = art.staticPicture(s * 0x800);
    if (s == 2) expected.at(1, 1) = makePixel(248, 0, 0);
    EXPECT_EQ(patched.staticPicture(s * 0x800), expected) << s;
  }
  EXPECT_EQ(patched.landData(7), art.landData(7));
  EXPECT_FALSE(patched.staticExists(1));
}
