#include "app/SlotList.h"

#include <gtest/gtest.h>

#include <set>

namespace quillotide {
namespace {

TEST(SlotListFilter, SplitsTheRangeByTheFullQuery) {
  const auto isFull = [](std::int32_t s) { return s % 3 == 0; };
  EXPECT_EQ(buildSlotList(5, 9, SlotFilter::All, isFull), (std::vector<std::int32_t>{5, 6, 7, 8, 9}));
  EXPECT_EQ(buildSlotList(5, 9, SlotFilter::Full, isFull), (std::vector<std::int32_t>{6, 9}));
  EXPECT_EQ(buildSlotList(5, 9, SlotFilter::Empty, isFull), (std::vector<std::int32_t>{5, 7, 8}));
  // An unloaded model has no slots of its own: nothing is listed before 0 or after -1.
  EXPECT_TRUE(buildSlotList(0, -1, SlotFilter::All, isFull).empty());
}

TEST(SlotListFilter, AllSlotsNeverAsksTheModel) {
  int asked = 0;
  const auto lines = buildSlotList(0, 0x3FFF, SlotFilter::All, [&](std::int32_t) {
    ++asked;
    return true;
  });
  EXPECT_EQ(lines.size(), 0x4000u);
  EXPECT_EQ(asked, 0);
}

TEST(SlotListLabels, HexadecimalDecimalAndAnimationForms) {
  EXPECT_EQ(slotLabel(0), "0x0");
  EXPECT_EQ(slotLabel(16383), "0x3FFF");
  EXPECT_EQ(slotLabel(50000), "0xC350");
  EXPECT_EQ(decimalSlotLabel(42), "42");
  EXPECT_EQ(animationLabel(AnimationFile::Anim, 31), "H: 0x1F (31)");
  EXPECT_EQ(animationLabel(AnimationFile::Anim, 400), "P: 0x190 (400)");
}

TEST(SlotListLabels, AnimationKindBoundariesPerFile) {
  struct Case {
    AnimationFile file;
    std::int32_t body;
    char kind;
  };
  const Case cases[] = {
      {AnimationFile::Anim, 199, 'H'},  {AnimationFile::Anim, 200, 'L'},
      {AnimationFile::Anim, 399, 'L'},  {AnimationFile::Anim, 400, 'P'},
      {AnimationFile::Anim2, 121, 'H'}, {AnimationFile::Anim2, 122, 'L'},
      {AnimationFile::Anim2, 900, 'L'}, {AnimationFile::Anim3, 699, 'H'},
      {AnimationFile::Anim3, 700, 'L'}, {AnimationFile::Anim3, 1399, 'L'},
      {AnimationFile::Anim3, 1400, 'P'}, {AnimationFile::Anim4, 200, 'L'},
      {AnimationFile::Anim5, 400, 'P'},
  };
  for (const Case& c : cases)
    EXPECT_EQ(animationKind(c.file, c.body), c.kind) << "body " << c.body;
}

TEST(SlotListColours, SelectionWinsThenPatchThenFullOrEmpty) {
  EXPECT_EQ(lineStyle({true, false, false}).text, kLineBlack);
  EXPECT_EQ(lineStyle({false, false, false}).text, kLineRed);
  EXPECT_EQ(lineStyle({false, true, false}).text, kLineGreen);
  EXPECT_EQ(lineStyle({true, true, false}).text, kLineGreen);
  EXPECT_EQ(lineStyle({false, false, false}).background, kLineWhite);
  const LineStyle selected = lineStyle({false, true, true});
  EXPECT_EQ(selected.background, kLineNavy);
  EXPECT_EQ(selected.text, kLineWhite);
}

// A list of hexadecimal labels 0x0 .. 0x(n-1), searched through one shared state.
class SlotSearchTest : public ::testing::Test {
protected:
  void makeList(int n) {
    labels.clear();
    for (int i = 0; i < n; ++i) labels.push_back(slotLabel(i));
  }
  SlotSearch::Result find(std::string_view query, int listId = 1) {
    return search.find(listId, query, static_cast<int>(labels.size()), [this](int line) {
      // The search must never read a line the list does not have.
      EXPECT_GE(line, 0);
      EXPECT_LT(line, static_cast<int>(labels.size()));
      read.insert(line);
      return labels.at(static_cast<std::size_t>(line));
    });
  }
  std::vector<std::string> labels;
  std::set<int> read;
  SlotSearch search;
};

TEST_F(SlotSearchTest, EmptyQueryDoesNothingAndEmptyListIsNotFound) {
  makeList(4);
  EXPECT_EQ(find("").outcome, SlotSearch::Outcome::Ignored);
  EXPECT_EQ(search.lastSearchedList(), -1);
  labels.clear();
  EXPECT_EQ(find("0x1").outcome, SlotSearch::Outcome::NotFound);
}

TEST_F(SlotSearchTest, RepeatedQueryWalksThroughEveryMatchCaseInsensitively) {
  makeList(0x20);
  EXPECT_EQ(find("0x1").line, 1);
  EXPECT_EQ(find("0X1").line, 16);
  EXPECT_EQ(find("0x1").line, 17);
  EXPECT_EQ(search.lastFoundIndex(), 17);
}

TEST_F(SlotSearchTest, SingleMatchFoundTwiceIsNotFoundTheSecondTime) {
  makeList(0x30);
  EXPECT_EQ(find("0x2A").line, 42);
  const auto again = find("0x2A");
  EXPECT_EQ(again.outcome, SlotSearch::Outcome::NotFound);
  // A miss keeps the selection's hit.
  EXPECT_EQ(search.lastFoundIndex(), 42);
}

TEST_F(SlotSearchTest, WrapAroundCoversLineZeroAfterAHitAtLineOne) {
  labels = {"0xA", "0xB", "0xC"};
  EXPECT_EQ(find("0xB").line, 1);
  labels[0] = "0xB0";
  EXPECT_EQ(find("0xB").line, 0);
}

TEST_F(SlotSearchTest, HitAtTheLastLineRestartsAtTheTopAndCoversTheWholeList) {
  labels = {"0x5", "0x1", "0x5"};
  EXPECT_EQ(find("0x5").line, 0);
  EXPECT_EQ(find("0x5").line, 2);
  read.clear();
  EXPECT_EQ(find("0x5").line, 0);
  labels = {"0x1", "0x2", "0x5"};
  EXPECT_EQ(find("0x5").line, 2);
  read.clear();
  // Only match is the last line itself: the whole list is scanned and it is found again.
  EXPECT_EQ(find("0x5").line, 2);
  EXPECT_EQ(read.size(), 3u);
}

TEST_F(SlotSearchTest, EachListKeepsItsOwnContext) {
  makeList(0x20);
  EXPECT_EQ(find("0x1", 1).line, 1);
  EXPECT_EQ(find("0x1", 1).line, 16);
  // Another list starts at its top.
  EXPECT_EQ(find("0x1", 2).line, 1);
  // A miss in a third list must not leave list 3 continuing from list 2's hit.
  EXPECT_EQ(find("zz", 3).outcome, SlotSearch::Outcome::NotFound);
  EXPECT_EQ(find("0x1", 3).line, 1);
}

TEST_F(SlotSearchTest, AfterTheListShrankTheSearchStartsWithinIt) {
  makeList(0x100);
  for (int i = 0; i < 3; ++i) find("0xF");  // 0xF, 0xF0, 0xF1
  ASSERT_EQ(search.lastFoundIndex(), 0xF1);
  makeList(0x20);  // rebuilt with a filter that keeps 32 lines
  read.clear();
  EXPECT_EQ(find("0x1").line, 1);
  makeList(0x100);
  for (int i = 0; i < 3; ++i) find("0xF");
  makeList(0x10);
  EXPECT_EQ(find("0x9").line, 9);
  // A shrunk list without a match answers "Not found." without reading past its end.
  makeList(0x100);
  find("0xFF");
  makeList(4);
  read.clear();
  EXPECT_EQ(find("0x9").outcome, SlotSearch::Outcome::NotFound);
  EXPECT_EQ(read.count(4), 0u);
}

}  // namespace
}  // namespace quillotide
