#include <gtest/gtest.h>

#include "cli/CliRun.h"
#include "models/Hues.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

// A strict UTF-8 check of its own, so the test does not trust the converter it tests.
bool strictUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    std::uint32_t c = n == 1 ? b : b & (0xFFu >> (n + 1));
    for (std::size_t k = 1; k < n; ++k) {
      const auto t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      c = (c << 6) | (t & 0x3Fu);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < least[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    i += n;
  }
  return true;
}

// One block of eight hues whose names hold high bytes of the game's code page.
Bytes huesWithHighByteNames() {
  Bytes b(708, 0);
  const char* names[] = {"Caf\xE9",      "\x80uro", "\x93quoted\x94", "\x81\x8D\x8F\x90\x9D",
                         "\xFF\xFE\xA0", "plain",   "\x01\x1F",       "twenty characters!!!"};
  for (std::size_t k = 0; k < 8; ++k) {
    const std::string n = names[k];
    std::copy(n.begin(), n.end(), b.begin() + static_cast<std::ptrdiff_t>(4 + 88 * k + 68));
  }
  return b;
}

}  // namespace

TEST(HueCli, JsonOfHighByteNamesIsValidUtf8) {
  TempDir dir;
  test::writeBytes(dir.file("hues.mul"), huesWithHighByteNames());
  auto r = test::runCliWords({"hues", "list", dir.file("hues.mul"), "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(strictUtf8(r.out)) << r.out;
  EXPECT_NE(r.out.find("\"Caf\xC3\xA9\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"\xE2\x82\xACuro\""), std::string::npos);
  EXPECT_NE(r.out.find("\"\\u0001\\u001f\""), std::string::npos);  // control characters escaped
  r = test::runCliWords({"hues", "show", dir.file("hues.mul"), "2", "--json"});
  EXPECT_TRUE(strictUtf8(r.out));
  // A path that is not UTF-8 still gives valid JSON.
  const std::string odd = dir.file("h\xE9.mul");
  test::writeBytes(odd, huesWithHighByteNames());
  r = test::runCliWords({"hues", "export", odd, "1", dir.file("x\xE9.txt"), "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(strictUtf8(r.out)) << r.out;
}

TEST(HueCli, NamesAreStoredInTheCodePageAndTheTextFileKeepsItsBytes) {
  TempDir dir;
  const std::string path = dir.file("hues.mul");
  test::writeBytes(path, huesWithHighByteNames());
  auto r = test::runCliWords({"hues", "set-name", path, "5", "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC"});
  ASSERT_EQ(r.code, 0) << r.err;
  const Bytes saved = test::readBytes(path);
  EXPECT_EQ(std::string(saved.begin() + 4 + 88 * 5 + 68, saved.begin() + 4 + 88 * 5 + 74),
            std::string("\xE9t\xE9 \x80\0", 6));
  r = test::runCliWords({"hues", "set-name", path, "5", "\xC4\x81"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("U+0101"), std::string::npos) << r.err;
  EXPECT_EQ(test::readBytes(path), saved);
  // The exchange text file holds the 8-bit name as the hue file does.
  r = test::runCliWords({"hues", "export", path, "0", dir.file("hue.txt")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(test::readText(dir.file("hue.txt")).substr(0, 11), "Name\tCaf\xE9\r\n");
}
