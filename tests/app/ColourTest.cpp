#include <gtest/gtest.h>

#include "app/Colour.h"
#include "app/Text.h"

using namespace quillotide;

TEST(ColourConversion, ExactShiftsWithoutSpreadingLowBits) {
  EXPECT_EQ(colour16ToPixel(0x7FFF), 0xFFF8F8F8u);
  EXPECT_EQ(colour16ToPixel(0x8000), 0xFF000000u);  // bit 15 is ignored
  EXPECT_EQ(colour16ToPixel(0x001F), 0xFF0000F8u);
  EXPECT_EQ(rgbToColour16(255, 255, 255), 0x7FFF);
  EXPECT_EQ(rgbToColour16(7, 7, 7), 0);  // near black becomes the value many formats skip
  EXPECT_EQ(makePixel(1, 2, 3, 4), 0x04010203u);
  EXPECT_EQ(redOf(0x12345678), 0x34);
  EXPECT_EQ(greenOf(0x12345678), 0x56);
  EXPECT_EQ(blueOf(0x12345678), 0x78);
  // Every 15-bit colour survives the trip to a pixel and back; bit 15 never comes back.
  for (unsigned c = 0; c <= 0xFFFF; ++c)
    ASSERT_EQ(pixelToColour16(colour16ToPixel(static_cast<Colour16>(c))), c & 0x7FFF) << c;
}

TEST(ColourConversion, PowersOfTwoAndSplitPieces) {
  EXPECT_EQ(nextPowerOfTwo(44), 64u);
  EXPECT_EQ(nextPowerOfTwo(64), 64u);
  EXPECT_EQ(nextPowerOfTwo(1), 1u);
  EXPECT_EQ(nextPowerOfTwo(65), 128u);
  EXPECT_EQ(split("one,two,", ","), (std::vector<std::string>{"one", "two", ""}));
  EXPECT_EQ(split("", ","), (std::vector<std::string>{""}));
  EXPECT_EQ(split("0x3 grass 7", " "), (std::vector<std::string>{"0x3", "grass", "7"}));
  EXPECT_EQ(split("a\t\tb", "\t"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(split("whole", ","), (std::vector<std::string>{"whole"}));
}
