#include <gtest/gtest.h>

#include "app/Error.h"
#include "world/IdQuery.h"

using namespace quillotide;

namespace {

const IdRange kStatics{0, 0x3FFF, "Static"};

std::string refusal(std::string_view text, const IdRange& range = kStatics) {
  try {
    parseTypedId(text, range);
  } catch (const Error& e) {
    return e.what();
  }
  return "accepted";
}

}  // namespace

TEST(IdQuery, ATypedIdFollowsTheIntegerRuleAndItsFamilysRange) {
  EXPECT_EQ(parseTypedId("0x3FFF", kStatics), 0x3FFF);
  EXPECT_EQ(parseTypedId("  $10", kStatics), 16);
  EXPECT_EQ(parseTypedId("x1f", kStatics), 31);
  EXPECT_EQ(parseTypedId("500", kStatics), 500);
  EXPECT_EQ(parseTypedId("0", kStatics), 0);
  EXPECT_EQ(refusal("0x4000"), "Static 0x4000 is outside 0x0 ... 0x3FFF.");
  EXPECT_EQ(refusal("-1"), "Static -0x1 is outside 0x0 ... 0x3FFF.");
  EXPECT_EQ(refusal("0xFFFFFFFF"), "Static -0x1 is outside 0x0 ... 0x3FFF.");
  EXPECT_EQ(refusal("wall"), "'wall' is not a valid integer value");
  EXPECT_EQ(refusal("12 "), "'12 ' is not a valid integer value");
  EXPECT_EQ(refusal("0xBB8", {-1, 0xBB7, "Hue"}), "Hue 0xBB8 is outside -0x1 ... 0xBB7.");
  EXPECT_EQ(refusal("-1", {-1, 0xBB7, "Hue"}), "accepted");
}

TEST(IdQuery, AnIdListTakesCommasAndSpacesAndRefusesAnyBadPiece) {
  const IdRange land{0, 0x3FFF, "Land tile"};
  EXPECT_EQ(parseIdList("0x3", land), (std::vector<int>{3}));
  EXPECT_EQ(parseIdList("0x3, 0x4,5  6", land), (std::vector<int>{3, 4, 5, 6}));
  EXPECT_EQ(parseIdList("7,7,8", land), (std::vector<int>{7, 7, 8}));
  EXPECT_THROW(parseIdList("", land), Error);
  EXPECT_THROW(parseIdList(" , ", land), Error);
  try {
    parseIdList("1, 0x4000", land);
    FAIL();
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Land tile 0x4000 is outside 0x0 ... 0x3FFF.");
  }
  EXPECT_THROW(parseIdList("1;2", land), Error);
}

TEST(IdQuery, AFilterMatchesAnIdARangeOrAPartOfTheName) {
  EXPECT_TRUE(IdFilter("").matchesAll());
  EXPECT_TRUE(IdFilter("   ").matches(5, "anything"));
  const IdFilter one("0x1F4");
  EXPECT_FALSE(one.byName());
  EXPECT_TRUE(one.matches(500, "wall"));
  EXPECT_FALSE(one.matches(501, "wall"));
  const IdFilter range("0x10-0x12");
  EXPECT_TRUE(range.matches(16, ""));
  EXPECT_TRUE(range.matches(18, ""));
  EXPECT_FALSE(range.matches(19, ""));
  // Reversed ends, spaces around the dash, a negative first end.
  EXPECT_TRUE(IdFilter("20 - 10").matches(15, ""));
  EXPECT_TRUE(IdFilter("-1-1").matches(-1, ""));
  EXPECT_TRUE(IdFilter("-3").matches(-3, ""));
  // Any other text is a part of the name, whatever the case.
  const IdFilter wall("Wall");
  EXPECT_TRUE(wall.byName());
  EXPECT_TRUE(wall.matches(7, "stone wall"));
  EXPECT_TRUE(wall.matches(8, "WALLPAPER"));
  EXPECT_FALSE(wall.matches(9, "roof"));
  EXPECT_TRUE(IdFilter("roof 1").matches(2, "Slate Roof 1"));
  EXPECT_TRUE(IdFilter("10-x").matches(2, "a 10-x beam"));
  EXPECT_FALSE(IdFilter("10-x").matches(10, "floor"));
}
