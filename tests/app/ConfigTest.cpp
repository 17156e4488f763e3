#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <vector>

#include "app/Config.h"
#include "app/Error.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {
const char* kSample =
    "<configuration>\r\n"
    "<config key=\"ArtIdx\" value=\"C:\\UO\\artidx.mul\" />\r\n"
    "<config key=\"Win98\" value=\"-1\" />\r\n"
    "<config key=\"ArtIdx\" value=\"second\" />\r\n"
    "</configuration>\r\n";
}

TEST(Config, RoundTripsByteForByteWithDuplicatesAndOrder) {
  TempDir dir;
  test::writeText(dir.file("config.xml"), kSample);
  TConfig config;
  config.load(dir.file("config.xml"));
  EXPECT_EQ(config.getString("ArtIdx"), "C:\\UO\\artidx.mul");
  EXPECT_EQ(config.entries().size(), 3u);
  config.save(dir.file("out.xml"));
  EXPECT_EQ(test::readText(dir.file("out.xml")), kSample);

  config.setString("ArtIdx", "changed");
  config.setString("NewKey", "v");
  EXPECT_EQ(test::readText(dir.file("config.xml")),
            "<configuration>\r\n"
            "<config key=\"ArtIdx\" value=\"changed\" />\r\n"
            "<config key=\"Win98\" value=\"-1\" />\r\n"
            "<config key=\"ArtIdx\" value=\"second\" />\r\n"
            "<config key=\"NewKey\" value=\"v\" />\r\n"
            "</configuration>\r\n");
}

TEST(Config, SpecialCharactersSurviveSaveAndLoad) {
  TempDir dir;
  TConfig config;
  config.load(dir.file("config.xml"));  // missing: empty list, path remembered
  config.setString("Path", "a\"b&c<d>e");
  TConfig again;
  again.load(dir.file("config.xml"));
  EXPECT_EQ(again.getString("Path"), "a\"b&c<d>e");
}

TEST(Config, ReadsBooleansAndIntegersLeniently) {
  TConfig config;
  ASSERT_TRUE(
      config.loadText("<c><config key=\"a\" value=\"True\"/><config key=\"b\" value=\"true\"/>"
                      "<config key=\"c\" value=\"1\"/><config key=\"d\" value=\"-1\"/>"
                      "<config key=\"e\" value=\"0\"/><config key=\"f\" value=\"False\"/>"
                      "<config key=\"g\" value=\"yes\"/><config key=\"h\" value=\"0x10\"/>"
                      "<config key=\"i\" value=\"abc\"/></c>"));
  for (const char* k : {"a", "b", "c", "d"}) EXPECT_TRUE(config.getBool(k)) << k;
  for (const char* k : {"e", "f", "g", "missing"}) EXPECT_FALSE(config.getBool(k)) << k;
  EXPECT_EQ(config.getInt("h"), 16);
  EXPECT_EQ(config.getInt("i"), 0);
  EXPECT_EQ(config.getInt("missing"), 0);
}

TEST(Config, OnlyEmptyElementTagsMakeEntries) {
  TConfig config;
  ASSERT_TRUE(config.loadText(
      "<configuration><config key=\"a\" value=\"1\"></config>\n"
      "<config key=\"b\" value=\"2\" />\n<config key=\"c\"/><other key=\"d\" value=\"4\"/>"
      "<!-- <config key=\"e\" value=\"5\"/> --></configuration>"));
  ASSERT_EQ(config.entries().size(), 1u);
  EXPECT_EQ(config.entries()[0].key, "b");
}

namespace {

// The file the program writes, as the store writes it: one line per entry.
std::string lines(std::initializer_list<std::string> entries) {
  std::string text = "<configuration>\r\n";
  for (const std::string& e : entries) text += e + "\r\n";
  return text + "</configuration>\r\n";
}

std::vector<std::pair<std::string, std::string>> pairs(const TConfig& config) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& e : config.entries()) out.emplace_back(e.key, e.value);
  return out;
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

// Text of 8-bit characters as UTF-16LE with its byte order mark, as Notepad saves "Unicode".
std::string utf16(const std::string& text) {
  std::string out = "\xFF\xFE";
  for (char ch : text) {
    out += ch;
    out += '\0';
  }
  return out;
}

}  // namespace

TEST(Config, ReadsWhatThePreviousProgramWroteUnescapedAsItWasMeant) {
  struct Case {
    const char* what;
    std::string text;
    Pairs expected;
  };
  const std::vector<Case> cases = {
      {"raw ampersand",
       lines({R"(<config key="ArtMul" value="C:\Black & White\art.mul" />)"}),
       {{"ArtMul", "C:\\Black & White\\art.mul"}}},
      {"ampersand before a word and a semicolon",
       lines({R"(<config key="a" value="x&y;z &amp; &#233;&#xE9; &#0; &foo" />)"}),
       {{"a", "x&y;z & \xC3\xA9\xC3\xA9 &#0; &foo"}}},
      {"8-bit Windows-1252 text",
       lines({"<config key=\"Hues\" value=\"C:\\Caf\xE9\\\x80.mul\" />"}),
       {{"Hues", "C:\\Caf\xC3\xA9\\\xE2\x82\xAC.mul"}}},
      {"UTF-8 and 8-bit text in one file",
       lines({"<config key=\"a\" value=\"\xC3\xA9\" />", "<config key=\"b\" value=\"\xE9\" />"}),
       {{"a", "\xC3\xA9"}, {"b", "\xC3\xA9"}}},
      {"quotes and angle brackets inside a value",
       lines({R"(<config key="a" value="say "hi" <now>" />)", R"(<config key="b" value="2" />)"}),
       {{"a", "say \"hi\" <now>"}, {"b", "2"}}},
      {"a declared 8-bit encoding",
       "<?xml version=\"1.0\" encoding=\"Windows-1252\"?>\r\n" +
           lines({"<config key=\"a\" value=\"\xC3\xA9\" />"}),
       {{"a", "\xC3\x83\xC2\xA9"}}},
      {"an end-of-file mark after the root",
       lines({R"(<config key="a" value="1" />)"}) + "\x1A",
       {{"a", "1"}}},
      {"UTF-16 with its byte order mark",
       utf16("<a><config key=\"k\" value=\"\xE9\"/></a>"),
       {{"k", "\xC3\xA9"}}},
  };
  for (const Case& c : cases) {
    TConfig config;
    EXPECT_TRUE(config.loadText(c.text)) << c.what << ": " << config.defect();
    EXPECT_EQ(pairs(config), c.expected) << c.what;
    // Written back escaped and as UTF-8, the same values come back.
    TConfig again;
    EXPECT_TRUE(again.loadText(config.toText())) << c.what;
    EXPECT_EQ(pairs(again), c.expected) << c.what;
  }
}

TEST(Config, ADefectKeepsEveryEntryBeforeItAndAfterIt) {
  const std::string a = R"(<config key="a" value="1" />)";
  const std::string c = R"(<config key="c" value="3" />)";
  struct Case {
    const char* what;
    std::string text;
    Pairs expected;
    const char* defect;
  };
  const std::vector<Case> cases = {
      {"missing end tag",
       "<configuration>\r\n" + a + "\r\n" + c + "\r\n",
       {{"a", "1"}, {"c", "3"}},
       "line 4: the end tag </configuration> is missing"},
      {"broken tag",
       lines({a, R"(<config key="b" value= />)", c}),
       {{"a", "1"}, {"c", "3"}},
       "line 3: a tag is broken"},
      {"unclosed value",
       lines({a, R"(<config key="b" value="2 />)", c}),
       {{"a", "1"}, {"c", "3"}},
       "line 3: a tag is broken"},
      {"stray '<'",
       lines({a, "< garbage", c}),
       {{"a", "1"}, {"c", "3"}},
       "line 3: a '<' starts no tag"},
      {"start tag with its end tag missing",
       lines({a, R"(<config key="b" value="2">)", c}),
       {{"a", "1"}, {"c", "3"}},
       "line 5: the end tag </config> is missing"},
      {"cut in the middle of a tag",
       "<configuration>\r\n" + a + "\r\n<config key=\"c\" val",
       {{"a", "1"}},
       "line 3: a tag is broken"},
      {"entries after the root",
       lines({a}) + c,
       {{"a", "1"}, {"c", "3"}},
       "line 4: a second root element"},
      {"unclosed comment",
       "<configuration>\r\n" + a + "\r\n<!-- " + R"(<config key="b" value="2" />)" + "\r\n" + c,
       {{"a", "1"}, {"c", "3"}},
       "line 3: a comment is not closed"},
      {"no XML at all",
       std::string("\xFF\xFE\x00\x01", 4),
       {},
       "line 1: text outside the root element"},
  };
  for (const Case& k : cases) {
    TConfig config;
    EXPECT_FALSE(config.loadText(k.text)) << k.what;
    EXPECT_FALSE(config.readWhole()) << k.what;
    EXPECT_EQ(pairs(config), k.expected) << k.what;
    EXPECT_EQ(config.defect(), k.defect) << k.what;
  }
}

TEST(Config, AFileNotReadWholeIsCopiedBesideItBeforeItIsWritten) {
  TempDir dir;
  const std::string path = dir.file("config.xml");
  const std::string damaged =
      "<configuration>\r\n<config key=\"ArtIdx\" value=\"/uo/art&idx.mul\" />\r\n"
      "<config key=\"Hues\" value=\"/uo/caf\xE9.mul\" /><<\r\n";
  test::writeText(path, damaged);
  TConfig config;
  config.load(path);
  EXPECT_FALSE(config.readWhole());
  EXPECT_EQ(config.getString("ArtIdx"), "/uo/art&idx.mul");
  EXPECT_EQ(config.getString("Hues"), "/uo/caf\xC3\xA9.mul");
  EXPECT_FALSE(std::filesystem::exists(path + ".bak"));  // reading writes nothing

  config.setString("Win98", "-1");
  EXPECT_EQ(test::readText(path + ".bak"), damaged);
  TConfig again;
  again.load(path);
  EXPECT_TRUE(again.readWhole());
  EXPECT_EQ(
      pairs(again),
      Pairs({{"ArtIdx", "/uo/art&idx.mul"}, {"Hues", "/uo/caf\xC3\xA9.mul"}, {"Win98", "-1"}}));
  config.setString("Win98", "0");  // one copy per load
  EXPECT_EQ(test::readText(path + ".bak"), damaged);

  // Another damaged file does not replace the first one's copy; the same one is not kept twice.
  const std::string other = damaged + "<x";
  test::writeText(path, other);
  TConfig third;
  third.load(path);
  const TConfig::KeptCopy kept = third.keepCopy();
  EXPECT_EQ(kept.path, path + ".bak2");
  EXPECT_TRUE(kept.written);
  EXPECT_EQ(test::readText(path + ".bak"), damaged);
  EXPECT_EQ(test::readText(path + ".bak2"), other);
  TConfig fourth;
  fourth.load(path);
  EXPECT_FALSE(fourth.keepCopy().written);
  EXPECT_FALSE(std::filesystem::exists(path + ".bak3"));
}

TEST(Config, FailedWriteThrowsTheFileLayerTextAndKeepsTheNewValue) {
  TempDir dir;
  // A folder where the file should be cannot be replaced by a file.
  std::filesystem::create_directories(dir.file("config.xml") + "/inside");
  TConfig config;
  config.load(dir.file("config.xml"));
  try {
    config.setString("Win98", "0");
    FAIL();
  } catch (const FileError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot create file " + dir.file("config.xml") + ": Is a directory");
  }
  EXPECT_EQ(config.getString("Win98"), "0");
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("config.xml")));
}
