#include <gtest/gtest.h>

#include "cli/CliRun.h"
#include "models/Sound.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::runCliWords;
using quillotide::test::TempDir;

namespace {

struct SoundPair {
  TempDir dir;
  std::string idx = dir.file("soundidx.mul");
  std::string mul = dir.file("sound.mul");
  SoundPair() {
    ByteWriter data;
    data.fixedString("chime", 32);
    data.zeros(100);
    test::writeBytes(idx, test::indexBytes({{0, 132, 1}, {-1, -1, -1}}));
    test::writeBytes(mul, data.take());
  }
};

}  // namespace

TEST(SoundCli, ListsExportsImportsAndDeletes) {
  SoundPair p;
  auto r = runCliWords({"sound", "list", p.idx, p.mul, "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"name\":\"chime\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"sampleBytes\":100"), std::string::npos) << r.out;

  const std::string wav = p.dir.file("0x0.wav");
  r = runCliWords({"sound", "export", p.idx, p.mul, "0", wav});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(test::readBytes(wav).size(), 144u);

  r = runCliWords({"sound", "export", p.idx, p.mul, "1", p.dir.file("none.wav")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("empty"), std::string::npos);

  r = runCliWords({"sound", "import", p.idx, p.mul, "0x5", wav});
  ASSERT_EQ(r.code, 0) << r.err;
  r = runCliWords({"sound", "delete", p.idx, p.mul, "0"});
  ASSERT_EQ(r.code, 0) << r.err;
  TSound s;
  s.load(p.idx, p.mul);
  EXPECT_FALSE(s.slotExists(0));
  EXPECT_EQ(s.soundName(5), "5");
  EXPECT_EQ(s.samples(5)->size(), 100u);

  // A refused wave leaves both files as they were.
  const Bytes index = test::readBytes(p.idx);
  test::writeBytes(wav, Bytes(10, 0));
  r = runCliWords({"sound", "import", p.idx, p.mul, "1", wav});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(test::readBytes(p.idx), index);
  EXPECT_EQ(runCliWords({"sound", "import", p.idx, p.mul}).code, 2);
}
