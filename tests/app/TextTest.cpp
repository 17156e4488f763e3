#include <gtest/gtest.h>

#include "app/Error.h"
#include "app/Text.h"

using namespace quillotide;

TEST(IntegerText, AcceptsDecimalAndEveryHexPrefix) {
  EXPECT_EQ(tryParseInt("  42"), 42);
  EXPECT_EQ(tryParseInt("-17"), -17);
  EXPECT_EQ(tryParseInt("+5"), 5);
  EXPECT_EQ(tryParseInt("$1F"), 0x1F);
  EXPECT_EQ(tryParseInt("x1f"), 0x1F);
  EXPECT_EQ(tryParseInt("X10"), 16);
  EXPECT_EQ(tryParseInt("0x3FFF"), 0x3FFF);
  EXPECT_EQ(tryParseInt("0XfF"), 255);
  EXPECT_EQ(tryParseInt("2147483647"), 2147483647);
  EXPECT_EQ(tryParseInt("-2147483648"), INT32_MIN);
  // Hexadecimal may use all 32 bits.
  EXPECT_EQ(tryParseInt("0xFFFFFFFF"), -1);
  EXPECT_EQ(tryParseInt("$80000000"), INT32_MIN);
}

TEST(IntegerText, RefusesWhatDoesNotParse) {
  for (const char* bad : {"", " ", "abc", "12 ", "1.5", "0x", "$", "2147483648", "-2147483649",
                          "0x100000000", "--1", "1e3", "0xG"})
    EXPECT_FALSE(tryParseInt(bad).has_value()) << bad;
  try {
    parseInt("abc");
    FAIL();
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
  }
}

TEST(SlotLabels, UpperCaseHexWithoutLeadingZeros) {
  EXPECT_EQ(hexLabel(0), "0x0");
  EXPECT_EQ(hexLabel(16383), "0x3FFF");
  EXPECT_EQ(hexLabel(0xFFFFFFFFu), "0xFFFFFFFF");
}

TEST(Messages, ArgumentsAreNeverPatterns) {
  EXPECT_EQ(formatMessage("Cannot open file %s", {"/tmp/%s%d%n"}), "Cannot open file /tmp/%s%d%n");
  EXPECT_EQ(formatMessage("%d of %d", {"1", "2"}), "1 of 2");
  EXPECT_EQ(formatMessage("%s and %s", {"only"}), "only and %s");
}

TEST(Split, KeepsEmptyPieces) {
  EXPECT_EQ(split("a,b,", ","), (std::vector<std::string>{"a", "b", ""}));
  EXPECT_EQ(split("", ","), (std::vector<std::string>{""}));
  EXPECT_EQ(split("H: 0x10 (16)", " "), (std::vector<std::string>{"H:", "0x10", "(16)"}));
  EXPECT_EQ(split("none", ","), (std::vector<std::string>{"none"}));
}

TEST(TextLines, ReadsEveryLineEnd) {
  EXPECT_EQ(splitLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(splitLines("a\r\n\r\nb\r\n"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_TRUE(splitLines("").empty());
  // Line ends found past the reader's 4096-byte steps, in each of the three kinds.
  const std::string longLine(5000, 'x');
  for (const char* end : {"\r\n", "\n", "\r"})
    EXPECT_EQ(splitLines(longLine + end + "b" + end + longLine),
              (std::vector<std::string>{longLine, "b", longLine}))
        << end;
}

TEST(CodePage, EveryByteRoundTripsAndTheHighBytesAreWindows1252) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(toWindows1252(fromWindows1252(all)), all);
  EXPECT_EQ(fromWindows1252("caf\xE9"), "caf\xC3\xA9");  // é
  EXPECT_EQ(fromWindows1252("\x80"), "\xE2\x82\xAC");    // €, not the C1 control
  EXPECT_EQ(fromWindows1252("\x9F"), "\xC5\xB8");        // Ÿ
  EXPECT_EQ(toWindows1252("\xE2\x80\x9Cquoted\xE2\x80\x9D"), "\x93quoted\x94");
  EXPECT_EQ(toWindows1252("plain"), "plain");
}

TEST(CodePage, CharactersOutsideTheCodePageAreRefusedByName) {
  try {
    toWindows1252("Mon\xC4\x81rch");  // ā
    FAIL();
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("'\xC4\x81' (U+0101)"), std::string::npos) << e.what();
  }
  // U+0080 has no byte: 0x80 holds the euro sign.
  EXPECT_THROW(toWindows1252("\xC2\x80"), Error);
  EXPECT_THROW(toWindows1252("\xF0\x9F\x90\x89"), Error);  // a dragon
  // Bytes that are not UTF-8 at all: a lone high byte, an overlong slash, a surrogate.
  for (const char* bad : {"caf\xE9", "\xC0\xAF", "\xED\xA0\x80", "\xE2\x82"})
    EXPECT_THROW(toWindows1252(bad), Error) << bad;
}

TEST(CodePage, InvalidUtf8BecomesReplacementCharacters) {
  EXPECT_EQ(toValidUtf8("ok \xC3\xA9"), "ok \xC3\xA9");
  EXPECT_EQ(toValidUtf8("a\xE9z"), "a\xEF\xBF\xBDz");
  EXPECT_EQ(toValidUtf8("\xE2\x82"), "\xEF\xBF\xBD\xEF\xBF\xBD");
  const std::string r = "\xEF\xBF\xBD";                       // U+FFFD
  EXPECT_EQ(toValidUtf8("\xF4\x90\x80\x80"), r + r + r + r);  // above U+10FFFF
}
