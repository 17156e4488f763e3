#include <gtest/gtest.h>

#include "app/Error.h"
#include "models/Skills.h"
#include "support/TestFiles.h"
#include "support/TextFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

using test::appendSkillEntry;
using test::appendSkillRecord;

// Records stored out of index order, as a real English pair has its last three, and an index of
// 256 entries whose unused tail is (-1, 0, 0).
struct Pair {
  Bytes index, data;
  Pair() {
    appendSkillRecord(data, 0, "Alchemy");      // 0..9
    appendSkillRecord(data, 1, "Throwing");     // 9..19
    appendSkillRecord(data, 1, "Mysticism");    // 19..30
    appendSkillEntry(index, 0, 9, 15);
    appendSkillEntry(index, 19, 11, 1);
    appendSkillEntry(index, 9, 10, 1);
    for (int i = 3; i < 256; ++i) appendSkillEntry(index, -1, 0, 0);
  }
};

Bytes groups(std::initializer_list<std::string_view> names, std::initializer_list<std::int32_t> table) {
  Bytes b(4);
  storeU32(b.data(), static_cast<std::uint32_t>(names.size() + 1));
  for (std::string_view n : names) {
    Bytes field(17, 0);
    std::copy(n.begin(), n.end(), field.begin());
    b.insert(b.end(), field.begin(), field.end());
  }
  for (std::int32_t g : table) {
    b.resize(b.size() + 4);
    storeU32(b.data() + b.size() - 4, static_cast<std::uint32_t>(g));
  }
  return b;
}

}  // namespace

TEST(TSkills, KeepsRecordsWhereTheyAreAndAppendsWhatChanged) {
  const Pair pair;
  TempDir dir;
  test::writeBytes(dir.file("skills.idx"), pair.index);
  test::writeBytes(dir.file("skills.mul"), pair.data);
  TSkills skills;
  skills.load(dir.file("skills.idx"), dir.file("skills.mul"));
  EXPECT_TRUE(skills.problems().empty());
  ASSERT_EQ(skills.size(), 256u);
  EXPECT_EQ(skills.skill(1).name, "Mysticism");
  EXPECT_EQ(skills.skill(1).flag, 1);
  EXPECT_EQ(skills.extra(0), 15u);
  EXPECT_FALSE(skills.skill(3).used);
  skills.save(dir.file("out.idx"), dir.file("out.mul"));
  EXPECT_EQ(test::readBytes(dir.file("out.idx")), pair.index);
  EXPECT_EQ(test::readBytes(dir.file("out.mul")), pair.data);

  skills.setName(2, "Lanzar Armas \xC3\xA1");  // "á": one byte in the file
  skills.setFlag(0, 1);
  EXPECT_EQ(skills.add("Imbuing", 0), 3u);
  skills.remove(1);
  skills.save(dir.file("out.idx"), dir.file("out.mul"));
  TSkills again;
  again.load(dir.file("out.idx"), dir.file("out.mul"));
  EXPECT_EQ(again.skill(0).flag, 1);
  EXPECT_EQ(again.skill(2).name, "Lanzar Armas \xC3\xA1");
  EXPECT_EQ(again.skill(3).name, "Imbuing");
  EXPECT_FALSE(again.skill(1).used);
  EXPECT_EQ(again.extra(0), 15u);
  const Bytes mul = test::readBytes(dir.file("out.mul"));
  // The old records stay where they were; the changed ones follow, the name in Windows-1252.
  EXPECT_TRUE(std::equal(pair.data.begin(), pair.data.end(), mul.begin()));
  EXPECT_EQ(mul[30 + 9 + 1 + 13], 0xE1);

  // Refused edits change nothing.
  EXPECT_THROW(skills.setName(256, "x"), Error);
  EXPECT_THROW(skills.setName(0, ""), Error);
  EXPECT_THROW(skills.setName(0, "\xE2\x82\xAC\xE4\xB8\x80"), Error);  // a CJK character
  EXPECT_THROW(skills.setFlag(0, 2), Error);
  EXPECT_THROW(skills.setName(1, "x"), Error);  // unused
  EXPECT_EQ(skills.skill(0).name, "Alchemy");
}

TEST(TSkills, DamagedPairsAreRefusedOrReadAndSaid) {
  Pair pair;
  TSkills skills;
  Bytes odd = pair.index;
  odd.pop_back();
  EXPECT_THROW(skills.loadBytes(odd, pair.data), FormatError);
  Bytes past = pair.index;
  storeU32(past.data() + 16, 40);
  EXPECT_THROW(skills.loadBytes(past, pair.data), FormatError);
  EXPECT_FALSE(skills.isLoaded());

  // A flag of 2, a zero inside a name, a record without its zero, overlapping records and bytes
  // no skill holds: read, each said once.
  Bytes data;
  appendSkillRecord(data, 2, "Alchemy");
  appendSkillRecord(data, 0, std::string_view("Ana\0tomy", 8));
  data.push_back(1);
  data.insert(data.end(), {'B', 'a', 'r', 'd'});
  data.insert(data.end(), {9, 9, 9});
  Bytes index;
  appendSkillEntry(index, 0, 9, 0);
  appendSkillEntry(index, 9, 10, 0);
  appendSkillEntry(index, 19, 5, 0);
  appendSkillEntry(index, 0, 9, 0);
  skills.loadBytes(index, data);
  EXPECT_EQ(skills.skill(1).name, "Ana");
  EXPECT_EQ(skills.skill(2).name, "Bard");
  EXPECT_EQ(skills.skill(3).name, "Alchemy");
  ASSERT_EQ(skills.problems().size(), 6u);
  EXPECT_EQ(skills.problems()[0], "Skill 0 ('Alchemy') has the flag 2 (not 0 or 1).");
  EXPECT_EQ(skills.problems()[1], "Skill 1 ('Ana') holds a zero inside its name.");
  EXPECT_EQ(skills.problems()[2], "Skill 2 ('Bard') has no terminating zero.");
  EXPECT_EQ(skills.problems()[4], "1 records of skills.mul overlap others.");
  EXPECT_EQ(skills.problems()[5], "3 bytes of skills.mul belong to no skill; they are kept.");
  EXPECT_EQ(skills.dataBytes(), data);
  EXPECT_EQ(skills.indexBytes(), index);
}

TEST(TSkills, ADataFileAloneIsReadRecordByRecord) {
  const Pair pair;
  TSkills skills;
  skills.loadDataOnly(pair.data);
  ASSERT_EQ(skills.size(), 3u);
  EXPECT_EQ(skills.skill(1).name, "Throwing");
  EXPECT_EQ(skills.dataBytes(), pair.data);
  Bytes cut = pair.data;
  cut.pop_back();
  EXPECT_THROW(skills.loadDataOnly(cut), FormatError);
  EXPECT_THROW(skills.loadDataOnly(Bytes{1}), FormatError);
  EXPECT_EQ(skills.size(), 3u);
}

TEST(TSkillGroups, NamesOfAllButGroupZeroAndATableToTheEnd) {
  // The head of a real file: 8 groups, seven names, the table starting at offset 123.
  const Bytes file = groups({"Bard", "Crafter", "Mage", "Ranger", "Thief", "Warrior", "Not Used"},
                            {3, 6, 4, 3, 2});
  TempDir dir;
  test::writeBytes(dir.file("skillgrp.mul"), file);
  TSkillGroups g;
  g.load(dir.file("skillgrp.mul"));
  EXPECT_EQ(g.groupCount(), 8u);
  EXPECT_EQ(g.groupName(1), "Bard");
  EXPECT_EQ(g.groupName(0), "");
  EXPECT_EQ(g.groupOf(0), 3);
  EXPECT_EQ(g.groupName(static_cast<std::size_t>(g.groupOf(0))), "Mage");
  EXPECT_EQ(g.table().size(), 5u);
  EXPECT_TRUE(g.problems().empty());
  g.save(dir.file("out.mul"));
  EXPECT_EQ(test::readBytes(dir.file("out.mul")), file);

  g.removeGroup(3);  // Mage's skills join group 0, the groups after it move down
  EXPECT_EQ(g.table(), (std::vector<std::int32_t>{0, 5, 3, 0, 2}));
  EXPECT_EQ(g.groupName(3), "Ranger");
  EXPECT_EQ(g.addGroup("Mystic"), 7u);
  g.renameGroup(1, "Bardic Arts");
  g.setGroupOf(7, 7);
  EXPECT_EQ(g.table(), (std::vector<std::int32_t>{0, 5, 3, 0, 2, 0, 0, 7}));
  TSkillGroups again;
  again.loadBytes(g.bytes());
  EXPECT_EQ(again.groupName(7), "Mystic");
  EXPECT_EQ(again.groupName(1), "Bardic Arts");
  EXPECT_EQ(again.table(), g.table());

  const Bytes before = g.bytes();
  EXPECT_THROW(g.renameGroup(1, "A name of seventeen"), Error);
  EXPECT_THROW(g.renameGroup(0, "None"), Error);
  EXPECT_THROW(g.removeGroup(0), Error);
  EXPECT_THROW(g.setGroupOf(1, 8), Error);
  EXPECT_EQ(g.bytes(), before);
}

TEST(TSkillGroups, DamagedFilesAreRefusedOrReadAndSaid) {
  TSkillGroups g;
  EXPECT_THROW(g.loadBytes(Bytes{1, 0, 0}), FormatError);
  EXPECT_THROW(g.loadBytes(groups({}, {}) = Bytes{0, 0, 0, 0}), FormatError);
  Bytes shortNames = groups({"Bard", "Mage"}, {});
  shortNames.resize(30);
  EXPECT_THROW(g.loadBytes(shortNames), FormatError);
  Bytes odd = groups({"Bard"}, {1, 0});
  odd.push_back(0);
  EXPECT_THROW(g.loadBytes(odd), FormatError);

  Bytes odd2 = groups({"Bard", "Mage"}, {1, 5, -1});
  std::fill(odd2.begin() + 4, odd2.begin() + 21, 'x');  // no zero in 17 bytes
  odd2[21 + 6] = 'q';                                  // a byte after Mage's zero
  g.loadBytes(odd2);
  ASSERT_EQ(g.problems().size(), 3u);
  EXPECT_EQ(g.problems()[0], "The name of group 1 has no terminating zero.");
  EXPECT_EQ(g.problems()[1], "The name of group 2 is followed by bytes other than zero; they are kept.");
  EXPECT_EQ(g.problems()[2], "2 skills are in a group the file does not have (0 to 2).");
  EXPECT_EQ(g.bytes(), odd2);
}
