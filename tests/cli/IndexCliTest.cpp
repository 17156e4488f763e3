#include <gtest/gtest.h>

#include <sstream>

#include "app/FileIO.h"
#include "app/Uop.h"
#include "cli/Cli.h"
#include "cli/CliRun.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

using Run = test::CliRun;
Run run(const std::vector<std::string>& words) { return test::runCliWords(words); }

struct Pair {
  TempDir dir;
  std::string idx = dir.file("idx.mul");
  std::string mul = dir.file("data.mul");
  Pair() {
    test::writeBytes(idx, test::indexBytes({{0, 4, 9}, {-1, -1, -1}, {4, 4, 0}}));
    test::writeBytes(mul, Bytes{1, 2, 3, 4, 5, 6, 7, 8});
  }
};

}  // namespace

TEST(IndexCli, InfoAndRecordReportInTextAndJson) {
  Pair p;
  auto r = run({"index", "info", p.idx, p.mul, "--json"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "{\"slots\":3,\"full\":2,\"empty\":1,\"dataBytes\":8,\"indexTailBytes\":0}\n");
  r = run({"index", "record", p.idx, p.mul, "0x0"});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("extra: 9"), std::string::npos);
  r = run({"index", "list", p.idx, p.mul, "--empty"});
  EXPECT_EQ(r.out, "0x1 -1 -1 -1\n");
}

TEST(IndexCli, DeleteWorksInPlaceAndRebuildIsRepeatable) {
  Pair p;
  ASSERT_EQ(run({"index", "delete", p.idx, p.mul, "2"}).code, 0);
  EXPECT_EQ(test::readBytes(p.idx), test::indexBytes({{0, 4, 9}, {-1, -1, -1}, {-1, -1, -1}}));
  EXPECT_EQ(test::readBytes(p.mul).size(), 8u);

  ASSERT_EQ(run({"index", "rebuild", p.idx, p.mul, p.dir.file("a.idx"), p.dir.file("a.mul"),
                 "--seed", "5"}).code, 0);
  ASSERT_EQ(run({"index", "rebuild", p.idx, p.mul, p.dir.file("b.idx"), p.dir.file("b.mul"),
                 "--seed=5"}).code, 0);
  EXPECT_EQ(test::readBytes(p.dir.file("a.mul")), test::readBytes(p.dir.file("b.mul")));
  EXPECT_EQ(test::readBytes(p.dir.file("a.idx")), test::readBytes(p.dir.file("b.idx")));
}

TEST(IndexCli, ErrorsGoToStderrWithNonZeroExit) {
  Pair p;
  auto r = run({"index", "info", p.dir.file("missing"), p.mul});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "quillotide-cli: Cannot open file " + p.dir.file("missing") + "\n");
  EXPECT_TRUE(r.out.empty());

  r = run({"index", "delete", p.idx, p.mul, "7"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(test::readBytes(p.idx).size(), 36u);  // nothing grew

  r = run({"index", "record", p.idx, p.mul, "abc"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("'abc' is not a valid integer value"), std::string::npos);

  EXPECT_EQ(run({"index", "info", p.idx}).code, 2);
  EXPECT_EQ(run({"index", "info", p.idx, p.mul, "--bogus"}).code, 2);
  EXPECT_EQ(run({"nogroup"}).code, 2);
  EXPECT_EQ(run({"index", "nocommand"}).code, 2);
}

TEST(IndexCli, HelpAtEveryLevel) {
  auto r = run({"--help"});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("index"), std::string::npos);
  r = run({"index", "--help"});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("rebuild"), std::string::npos);
  r = run({"index", "rebuild", "--help"});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("--seed"), std::string::npos);
}

TEST(IndexCli, RebuildNamesADamagedSlotAndSkipDamagedLeavesItOut) {
  Pair p;
  test::writeBytes(p.idx, test::indexBytes({{0, 4, 9}, {6, 40, 0}, {4, 4, 0}}));
  const std::string ni = p.dir.file("n.idx"), nm = p.dir.file("n.mul");
  for (const char* group : {"index", "gump", "texture"}) {
    auto r = run({group, "rebuild", p.idx, p.mul, ni, nm});
    EXPECT_EQ(r.code, 1) << group;
    EXPECT_NE(r.err.find(" 0x1 is damaged: The record (6, 40) points outside the data file"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("--skip-damaged"), std::string::npos) << r.err;
    EXPECT_FALSE(fileExists(ni));
  }
  auto r = run({"index", "rebuild", "--skip-damaged", p.idx, p.mul, ni, nm});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\nleft out damaged slots: 0x1"), std::string::npos) << r.out;
  r = run({"gump", "rebuild", "--skip-damaged", "--json", p.idx, p.mul, ni, nm});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"skipped\":[1]"), std::string::npos) << r.out;
  EXPECT_EQ(test::readBytes(ni).size(), 36u);
  r = run({"index", "record", ni, nm, "1"});
  EXPECT_NE(r.out.find("state: empty"), std::string::npos);
}

TEST(IndexCli, AnInterruptedSaveFoundOnTheWayIsNotedOnStderr) {
  Pair p;
  test::writeInterruptedSave(p.idx, test::indexBytes({{0, 2, 0}}), p.mul, Bytes{7, 7});
  auto r = run({"index", "info", p.idx, p.mul});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("slots: 1"), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "quillotide-cli: note: An earlier save of " + p.idx + " and " + p.mul +
                       " stopped half-way; it has now been completed.\n");
  EXPECT_FALSE(fileExists(p.idx + ".commit"));
  EXPECT_EQ(test::readBytes(p.mul), (Bytes{7, 7}));
}

TEST(IndexCli, AnIndexTargetThatIsTheDataTargetIsRefused) {
  Pair p;
  const std::string same = p.dir.file("same.mul");
  for (const std::vector<std::string>& words :
       {std::vector<std::string>{"index", "rebuild", p.idx, p.mul, same, same},
        {"gump", "save", p.idx, p.mul, same, same},
        {"art", "save", p.idx, p.mul, same, same}}) {
    const auto r = run(words);
    EXPECT_EQ(r.code, 1) << words[0];
    EXPECT_EQ(r.err,
              "quillotide-cli: The index file and the data file must be two different "
              "files: " +
                  same + "\n");
    EXPECT_FALSE(fileExists(same));
  }
}

TEST(IndexCli, AContainerSlotThatCannotBeReadIsListedAsUnreadable) {
  TempDir dir;
  const std::string path = dir.file("gumpartLegacyMUL.uop");
  UopContainer made = UopContainer::create();
  Bytes gump(8 + 4, 0);
  storeU32(gump.data(), 1);
  storeU32(gump.data() + 4, 1);
  made.setPayload(uopHash(uopEntryName(UopFamily::Gump, 0)), gump);
  UopEntry newer;  // compressed as newer clients compress some gumps
  newer.hash = uopHash(uopEntryName(UopFamily::Gump, 1));
  newer.compression = 3;
  newer.fullSize = 12;
  newer.stored = Bytes(6, 0x5A);
  made.putEntry(newer);
  made.save(path);

  auto r = run({"index", "list", path});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "0x0 0 4 65537\n0x1 -1 -1 -1 unreadable\n");
  // Said once, on stderr, naming the file once.
  EXPECT_EQ(r.err.find("note: " + path + ": Gump 0x1 cannot be read: entry 1 (hash "),
            r.err.find("note: ")) << r.err;
  EXPECT_EQ(r.err.find("quillotide-cli: note:", r.err.find("note:") + 1), std::string::npos);
  r = run({"index", "info", path, "--json"});
  EXPECT_EQ(r.out,
            "{\"slots\":2,\"full\":1,\"empty\":1,\"dataBytes\":4,\"indexTailBytes\":0,"
            "\"unreadable\":1}\n");
  r = run({"index", "record", path, "1"});
  EXPECT_NE(r.out.find("\nunreadable: Gump 0x1: entry 1 (hash "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("compression 3 is not supported"), std::string::npos) << r.out;
  // Deleting another slot writes the container again with the unreadable entry as it was.
  ASSERT_EQ(run({"index", "delete", path, "0"}).code, 0);
  const UopContainer after = UopContainer::read(path);
  ASSERT_EQ(after.entries().size(), 1u);
  EXPECT_EQ(after.entries()[0].compression, 3);
  EXPECT_EQ(after.stored(after.entries()[0]), Bytes(6, 0x5A));
}
