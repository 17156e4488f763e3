// The cliloc table as the page and the commands edit it: order, exact texts, damage, search,
// edits, the text table and the difference of two files.
#include <gtest/gtest.h>

#include "app/Error.h"
#include "models/Cliloc.h"
#include "support/TestFiles.h"
#include "support/TextFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

using test::appendClilocEntry;

// Not sorted, as a shard's file: the high numbers first, then 500000.., then custom ones; a text
// with a leading TAB, one with blanks at both ends, Korean and an empty one.
Bytes unsorted() {
  Bytes b{2, 0, 0, 0, 1, 0};
  appendClilocEntry(b, 1042971, 0, "~1_NOTHING~");
  appendClilocEntry(b, 1114931, 2, "\tindented");
  appendClilocEntry(b, 500000, 0, "Reputation aversion triggered.");
  appendClilocEntry(b, 500001, 1, "  I have no reaction to you. ");
  appendClilocEntry(b, 500002, 0, "\xED\x8F\x89\xED\x8C\x90");  // 평판
  appendClilocEntry(b, 6661000, 0, "");
  return b;
}

}  // namespace

TEST(TCliloc, KeepsOrderAndExactTextsAndFindsByNumberRangeAndWords) {
  TempDir dir;
  test::writeBytes(dir.file("Cliloc.enu"), unsorted());
  TCliloc c;
  c.load(dir.file("cliloc.ENU"));  // found whatever the case of its name
  ASSERT_EQ(c.size(), 6u);
  ASSERT_EQ(c.problems().size(), 1u);
  EXPECT_EQ(c.problems()[0], "The numbers go down or repeat in 1 places; the order of the file is kept.");
  EXPECT_EQ(c.find(500001), 3u);
  EXPECT_EQ(c.entry(1).text, "\tindented");
  EXPECT_EQ(c.inRange(500000, 599999), (std::vector<std::size_t>{2, 3, 4}));
  EXPECT_EQ(c.search("REACTION you"), (std::vector<std::size_t>{3}));
  EXPECT_EQ(c.search("\xED\x8C\x90"), (std::vector<std::size_t>{4}));
  EXPECT_EQ(c.search("nothing~"), (std::vector<std::size_t>{0}));
  c.save(dir.file("out.enu"));
  EXPECT_EQ(test::readBytes(dir.file("out.enu")), unsorted());

  // Edits keep every byte typed; a new number goes before the first larger one.
  c.setText(2, " \tTrailing blanks stay  ");
  c.setFlag(2, 2);
  EXPECT_EQ(c.add(500003, 0, "Caf\xC3\xA9"), 5u);  // after 500002, not before 1042971
  EXPECT_EQ(c.add(499999, 0, "first"), 2u);        // before 500000: nothing smaller
  EXPECT_EQ(c.find(500000), 3u);
  c.remove(*c.find(6661000));
  TCliloc again;
  again.loadBytes(c.bytes());
  EXPECT_EQ(again.entry(*again.find(500000)).text, " \tTrailing blanks stay  ");
  EXPECT_EQ(again.entry(*again.find(500000)).flag, 2);
  EXPECT_FALSE(again.find(6661000));

  // Refused edits change nothing.
  const Bytes before = c.bytes();
  EXPECT_THROW(c.add(500001, 0, "again"), Error);
  EXPECT_THROW(c.setFlag(0, 3), Error);
  EXPECT_THROW(c.setText(0, std::string(0x10000, 'a')), Error);
  EXPECT_THROW(c.setText(0, "caf\xE9"), Error);
  EXPECT_THROW(c.setText(99, "x"), Error);
  EXPECT_EQ(c.bytes(), before);
}

TEST(TCliloc, ADamagedFileOpensWithWhatCanBeReadAndKeepsTheRestUntilDropped) {
  // A repeated number, a flag of 108, a NUL, and a tail that is no whole entry.
  Bytes b{2, 0, 0, 0, 1, 0};
  appendClilocEntry(b, 0, 0, "Reputation aversion triggered.");
  appendClilocEntry(b, 505200, 1, "x");
  appendClilocEntry(b, 505200, 1, "x");
  appendClilocEntry(b, 505201, 108, std::string_view("a\0b", 3));
  const std::size_t whole = b.size();
  b.insert(b.end(), {'P', 'a', 'n', 'e', 'l', 0});
  TCliloc c;
  c.loadBytes(b);
  EXPECT_EQ(c.size(), 4u);
  EXPECT_EQ(c.tail().size(), 6u);
  const auto& p = c.problems();
  ASSERT_EQ(p.size(), 5u);
  EXPECT_EQ(p[0], "The last 6 bytes (from offset " + std::to_string(whole) +
                      ") are no whole entry; they are kept as they are until you drop them.");
  EXPECT_EQ(p[1], "1 numbers repeat (505200); a lookup finds the first of each, and every one is kept.");
  EXPECT_EQ(p[3], "1 entries have a flag other than 0, 1 or 2.");
  EXPECT_EQ(p[4], "1 texts hold a NUL byte.");
  // Its own text table reads back unchanged: the repeated number's lines mean its two entries,
  // and the line of flag 108 is named and left out.
  TCliloc copy = c;
  const ClilocImportResult own = copy.importTable(c.exportTable());
  EXPECT_EQ(own.unchanged, 3u);
  ASSERT_EQ(own.failedLines.size(), 1u);
  EXPECT_EQ(own.failedLines[0], "Line 5: the flag is 0, 1 or 2.");
  EXPECT_FALSE(copy.isChanged());
  // Saved unchanged, the file is as it was; the tail goes only when asked.
  EXPECT_EQ(c.bytes(), b);
  c.dropTail();
  EXPECT_TRUE(c.isChanged());
  EXPECT_EQ(c.bytes(), Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(whole)));

  EXPECT_THROW(c.loadBytes(Bytes{2, 0, 0}), FormatError);
  EXPECT_EQ(c.size(), 4u);
  TCliloc empty;
  empty.loadBytes({});
  EXPECT_EQ(empty.size(), 0u);
  EXPECT_EQ(empty.bytes(), (Bytes{2, 0, 0, 0, 1, 0}));
}

TEST(TCliloc, TheTextTableCarriesEveryTextAndTheDiffNamesNumbers) {
  TCliloc c;
  c.loadBytes(unsorted());
  c.setText(0, "back\\slash\nand\r\nlines");
  const std::string table = c.exportTable();
  EXPECT_EQ(table.substr(0, 20), "\xEF\xBB\xBFNumber\tFlag\tText\n");
  EXPECT_NE(table.find("1042971\t0\tback\\\\slash\\nand\\r\\nlines\n"), std::string::npos);
  EXPECT_NE(table.find("1114931\t2\t\\tindented\n"), std::string::npos);
  EXPECT_NE(table.find("500001\t1\t  I have no reaction to you. \n"), std::string::npos);

  // Read back into the unchanged file: the one changed text, nothing else.
  TCliloc other;
  other.loadBytes(unsorted());
  ClilocImportResult r = other.importTable(table);
  EXPECT_EQ(r.changed, 1u);
  EXPECT_EQ(r.unchanged, 5u);
  EXPECT_TRUE(r.failedLines.empty());
  EXPECT_EQ(other.bytes(), c.bytes());

  // New numbers are added; lines that do not parse are named and left out.
  r = other.importTable(
      "Number\tFlag\tText\r\n"
      "3011033\t0\tnew\r\n"
      "abc\t0\tx\r\n"
      "500000\t7\tx\r\n"
      "500000\t0\tbad \\q escape\r\n"
      "500000 only\r\n");
  EXPECT_EQ(r.added, 1u);
  ASSERT_EQ(r.failedLines.size(), 4u);
  EXPECT_EQ(r.failedLines[0], "Line 3: 'abc' is no number.");
  EXPECT_EQ(r.failedLines[1], "Line 4: the flag is 0, 1 or 2.");
  EXPECT_EQ(r.failedLines[3], "Line 6: a line holds the number, the flag and the text, separated by TABs.");
  EXPECT_EQ(other.entry(*other.find(500000)).text, "Reputation aversion triggered.");

  const ClilocDiff d = diffCliloc(c, other);
  EXPECT_EQ(d.added, (std::vector<std::int32_t>{3011033}));
  EXPECT_TRUE(d.removed.empty());
  EXPECT_TRUE(d.changed.empty());
  c.remove(*c.find(500002));
  c.setFlag(*c.find(500000), 1);
  const ClilocDiff d2 = diffCliloc(other, c);
  EXPECT_EQ(d2.removed, (std::vector<std::int32_t>{500002, 3011033}));
  EXPECT_EQ(d2.changed, (std::vector<std::int32_t>{500000}));
}
