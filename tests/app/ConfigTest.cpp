#include <gtest/gtest.h>

#include <filesystem>

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
  ASSERT_TRUE(config.loadText(
      "<c><config key=\"a\" value=\"True\"/><config key=\"b\" value=\"true\"/>"
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

TEST(Config, MalformedFileGivesEmptySettings) {
  TempDir dir;
  test::writeText(dir.file("config.xml"), "<configuration><config key=\"a\" value=\"1\"/> garbage <");
  TConfig config;
  config.load(dir.file("config.xml"));
  EXPECT_TRUE(config.entries().empty());
  test::writeText(dir.file("config.xml"), std::string("\xff\xfe\x00\x01", 4));
  config.load(dir.file("config.xml"));
  EXPECT_TRUE(config.entries().empty());
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
