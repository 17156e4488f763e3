// The patch group and the world tool commands: each matches the core tool it runs, with the
// usual exit codes.

#include <gtest/gtest.h>

#include "app/FileIO.h"
#include "app/Image.h"
#include "cli/CliRun.h"
#include "models/Radarcol.h"
#include "world/RegionPatch.h"
#include "world/WorldTools.h"
#include "support/TestFiles.h"
#include "support/WorldFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

struct Dir {
  TempDir dir;
  PatchDirectory files{dir.path(), 1};
  explicit Dir(int shift) {
    test::writeBytes(
        files.mapPath(), test::makeMapBytes(32, 24, [shift](int x, int y) {
          return test::CellSpec{static_cast<std::uint16_t>(x + shift), static_cast<std::int8_t>(y)};
        }));
    const auto pair = test::makeStaticsFiles(32, 24, {{0x100, 4, 5, 1, 0}, {0x101, 20, 20, 2, 0}});
    test::writeBytes(files.staticsIndexPath(), pair.index);
    test::writeBytes(files.staticsDataPath(), pair.data);
  }
};

const std::vector<std::string> kSize = {"--width", "32", "--height", "24"};

test::CliRun run(std::vector<std::string> words, bool sized = true) {
  if (sized) words.insert(words.end(), kSize.begin(), kSize.end());
  return test::runCliWords(words);
}

}  // namespace

TEST(PatchCli, CreateApplyAndBackupRoundTrip) {
  Dir source(50), target(0);
  const Bytes originalMap = test::readBytes(target.files.mapPath());
  const std::string patch = source.dir.file("p.pkx");
  auto r = run({"patch", "create", source.dir.path(), "0", "0", "7", "7", patch, "--map", "1"});
  ASSERT_EQ(r.code, 0) << r.err;
  // The same bytes as the core makes.
  Progress silent;
  const auto map = WorldStream::openForReading(source.files.mapPath());
  const auto si = WorldStream::openForReading(source.files.staticsIndexPath());
  const auto sd = WorldStream::openForReading(source.files.staticsDataPath());
  const PatchStreams from{map.get(), si.get(), sd.get()};
  EXPECT_EQ(test::readBytes(patch),
            createPatch(from, 32, 24, CellRegion::of(0, 0, 7, 7), {}, silent).bytes);

  const std::string backup = target.dir.file("b.pkx");
  r = run({"patch", "apply", target.dir.path(), patch, "8", "8", "--map", "1", "--backup", backup,
           "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"message\":null"), std::string::npos) << r.out;
  EXPECT_NE(test::readBytes(target.files.mapPath()), originalMap);
  r = run({"patch", "apply", target.dir.path(), backup, "8", "8", "--map", "1"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(test::readBytes(target.files.mapPath()), originalMap);

  // Wrong input: a missing size is a usage error, a missing file a failure.
  EXPECT_EQ(run({"patch", "apply", target.dir.path(), patch, "0", "0"}, false).code, 2);
  EXPECT_EQ(run({"patch", "apply", target.dir.path(), patch, "0", "0", "--map", "4"}).code, 1);
}

TEST(PatchCli, ChangeHeightsClampsAndReportsSkippedCells) {
  Dir world(0);
  auto r = run({"patch", "change-heights", world.dir.path(), "0", "20", "40", "23", "120", "--map",
                "1", "--no-statics"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("36 cells"), std::string::npos) << r.out;
  const Bytes map = test::readBytes(world.files.mapPath());
  // Cell 0,23 was at 23: 143 clamps to 127.
  EXPECT_EQ(map[2 * 196 + 4 + 3 * 56 + 2], 127);
}

TEST(WorldToolCli, CopyMergeDeleteRepairAndRadarMapMatchTheCore) {
  Dir a(0), b(7);
  const std::string copy = a.dir.file("copy.mul");
  auto r = test::runCliWords({"map", "copy", a.files.mapPath(), copy, "0", "0", "15", "15", "8",
                              "0", "--source-width", "32", "--source-height", "24",
                              "--target-width", "16", "--target-height", "16"});
  ASSERT_EQ(r.code, 0) << r.err;
  MapCopyRequest q{CellRegion::of(0, 0, 15, 15), 32, 24, 16, 16, 8, 0, -1};
  Progress silent;
  copyMapFile(a.files.mapPath(), a.dir.file("core.mul"), q, silent);
  EXPECT_EQ(test::readBytes(copy), test::readBytes(a.dir.file("core.mul")));
  r = test::runCliWords({"map", "copy", copy, copy, "0", "0", "1", "1", "0", "0", "--source-width",
                         "16", "--source-height", "16", "--target-width", "16", "--target-height",
                         "16"});
  EXPECT_EQ(r.code, 1);

  r = test::runCliWords({"statics", "merge", a.files.staticsIndexPath(), a.files.staticsDataPath(),
                         b.files.staticsIndexPath(), b.files.staticsDataPath(), a.dir.file("mi"),
                         a.dir.file("md")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "Merging done.\n");
  mergeStaticsFiles(a.files.staticsIndexPath(), a.files.staticsDataPath(),
                    b.files.staticsIndexPath(), b.files.staticsDataPath(), a.dir.file("ci"),
                    a.dir.file("cd"), silent);
  EXPECT_EQ(test::readBytes(a.dir.file("mi")), test::readBytes(a.dir.file("ci")));
  EXPECT_EQ(test::readBytes(a.dir.file("md")), test::readBytes(a.dir.file("cd")));

  test::writeBytes(a.dir.file("radarcol.mul"), Bytes(0x10000 * 4, 0x11));
  r = run({"map", "radar-map", a.files.mapPath(), a.files.staticsIndexPath(),
           a.files.staticsDataPath(), a.dir.file("radarcol.mul"), a.dir.file("radar.bmp")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(readImageFile(a.dir.file("radar.bmp")).width, 32);
  // A picture name without a known extension is refused before anything is read or drawn.
  r = test::runCliWords({"map", "radar-map", a.files.mapPath(), a.files.staticsIndexPath(),
                         a.files.staticsDataPath(), a.dir.file("no-radarcol.mul"),
                         a.dir.file("radar.gif")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("unknown picture format"), std::string::npos) << r.err;
  EXPECT_FALSE(fileExists(a.dir.file("radar.gif")));

  r = run({"statics", "repair", b.files.staticsIndexPath(), b.files.staticsDataPath(),
           b.files.mapPath(), "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "{\"blocks\":0,\"dropped\":0,\"added\":0}\n");

  r = test::runCliWords(
      {"statics", "delete-all", b.files.staticsIndexPath(), b.files.staticsDataPath()});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(test::readBytes(b.files.staticsDataPath()).empty());
  EXPECT_EQ(test::readBytes(b.files.staticsIndexPath()).size(), 12u * 12);
}
