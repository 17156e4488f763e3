// The sound, multi and progress groups write a change where the other groups do: over the files
// read, or to --out-index/--out-data with the sources left alone; one of the two alone is a usage
// error.
#include <gtest/gtest.h>

#include "cli/CliRun.h"
#include "models/Multi.h"
#include "models/ProgressArchive.h"
#include "models/Sound.h"
#include "sample/Sample.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::readBytes;
using quillotide::test::runCliWords;
using quillotide::test::TempDir;

namespace {

struct Family {
  std::string group;
  std::string index;
  std::string data;
  std::vector<std::string> remove;  // the delete command's arguments after the files
};

}  // namespace

TEST(FamilyWriteTargetCli, DeleteWritesToTheTargetsOrInPlace) {
  TempDir dir;
  sample::writeSounds(dir.path());
  sample::writeMultis(dir.path());
  sample::writeProgress(dir.path());
  const std::vector<Family> families = {
      {"sound", "soundidx.mul", "sound.mul", {"1"}},
      {"multi", "multi.idx", "multi.mul", {"1"}},
      {"progress", "Progress.idx", "Progress.mul", {"art", "0x10"}},
  };
  for (const Family& f : families) {
    SCOPED_TRACE(f.group);
    const std::string idx = dir.file(f.index), mul = dir.file(f.data);
    const Bytes idxBefore = readBytes(idx), mulBefore = readBytes(mul);
    const std::string newIdx = dir.file("new-" + f.index), newMul = dir.file("new-" + f.data);
    std::vector<std::string> words = {f.group, "delete", idx, mul};
    words.insert(words.end(), f.remove.begin(), f.remove.end());

    auto half = words;
    half.insert(half.end(), {"--out-index", newIdx});
    EXPECT_EQ(runCliWords(half).code, 2);

    auto targeted = words;
    targeted.insert(targeted.end(), {"--out-index", newIdx, "--out-data", newMul});
    const auto r = runCliWords(targeted);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readBytes(idx), idxBefore);
    EXPECT_EQ(readBytes(mul), mulBefore);

    const auto gone = [&](const std::string& i, const std::string& m) {
      if (f.group == "sound") {
        TSound s;
        s.load(i, m);
        return !s.slotExists(1) && s.slotExists(0);
      }
      if (f.group == "multi") {
        TMulti s;
        s.load(i, m);
        return !s.slotExists(1) && s.slotExists(0);
      }
      TProgress s;
      s.load(i, m);
      return !s.entryExists(0, 0x10) && s.entryExists(0, 0x1D);
    };
    EXPECT_TRUE(gone(newIdx, newMul));
    EXPECT_FALSE(gone(idx, mul));

    ASSERT_EQ(runCliWords(words).code, 0);
    EXPECT_TRUE(gone(idx, mul));
  }
}
