#include <gtest/gtest.h>

#include "app/Error.h"
#include "models/IdList.h"
#include "support/TestFiles.h"

using namespace quillotide;

TEST(IdList, ReadsOneIdALineAndStopsAtTheFirstLineThatIsNoNumber) {
  IdList list = parseIdList("0x10\r\n\r\n3\n$1F\r-2\r\n");
  EXPECT_EQ(list.ids, (std::vector<std::int32_t>{0x10, 3, 0x1F, -2}));
  EXPECT_FALSE(list.error);

  // The ids before the bad line stay, so the action can extract them before it stops.
  list = parseIdList("0x1\r\n0x2 \r\n0x3\r\n");
  EXPECT_EQ(list.ids, (std::vector<std::int32_t>{1}));
  ASSERT_TRUE(list.error);
  EXPECT_EQ(*list.error, "'0x2 ' is not a valid integer value");

  EXPECT_TRUE(parseIdList("").ids.empty());
  test::TempDir dir;
  test::writeText(dir.file("ids.txt"), "7\r\n0x8");
  EXPECT_EQ(readIdList(dir.file("ids.txt")).ids, (std::vector<std::int32_t>{7, 8}));
  EXPECT_THROW(readIdList(dir.file("missing.txt")), FileError);
}
