#include <gtest/gtest.h>

#include "app/Error.h"
#include "models/Speech.h"
#include "support/TestFiles.h"
#include "support/TextFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

using test::appendSpeechEntry;

// Two language lists as the real file has them: each starting again at id 0, a pair of empty
// entries between them, a byte-order mark inside a text and trailing blanks.
Bytes twoLists() {
  Bytes b;
  appendSpeechEntry(b, 0, "*\xE6\x8F\x90\xE9\xA0\x98*");  // *提領*
  appendSpeechEntry(b, 2, "*\xE9\x8A\x80\xE8\xA1\x8C*");  // *銀行*
  appendSpeechEntry(b, 0, "");
  appendSpeechEntry(b, 0, "");
  appendSpeechEntry(b, 1, "*Balance*");
  appendSpeechEntry(b, 2, "*bank*");
  appendSpeechEntry(b, 2, "*bank*");
  appendSpeechEntry(b, 379, "\xEF\xBC\xA0\xE3\x83\x90\xEF\xBB\xBF" "0 *x*");
  appendSpeechEntry(b, 380, "vendor buy\"  ");
  return b;
}

}  // namespace

TEST(TSpeech, ReadsTheListsAndWritesThemBackByteForByte) {
  // The first entry of the real file, as its bytes.
  const Bytes first = {0x00, 0x00, 0x00, 0x08, 0x2a, 0xe6, 0x8f, 0x90, 0xe9, 0xa0, 0x98, 0x2a};
  TSpeech one;
  one.loadBytes(first);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one.entry(0).id, 0);
  EXPECT_EQ(one.entry(0).text, "*\xE6\x8F\x90\xE9\xA0\x98*");

  TempDir dir;
  const Bytes file = twoLists();
  test::writeBytes(dir.file("speech.mul"), file);
  TSpeech speech;
  speech.load(dir.file("speech.mul"));
  EXPECT_EQ(speech.size(), 9u);
  EXPECT_TRUE(speech.problems().empty());
  EXPECT_EQ(speech.entry(8).text, "vendor buy\"  ");
  // The id drops once: two lists, the empty pair opening the second.
  const auto sections = speech.sections();
  ASSERT_EQ(sections.size(), 2u);
  EXPECT_EQ(sections[0].count, 2u);
  EXPECT_EQ(sections[1].first, 2u);
  EXPECT_EQ(sections[1].count, 7u);
  EXPECT_EQ(speech.entriesOfId(2), (std::vector<std::size_t>{1, 5, 6}));

  speech.save(dir.file("out.mul"));
  EXPECT_EQ(test::readBytes(dir.file("out.mul")), file);
  EXPECT_FALSE(speech.isChanged());
}

TEST(TSpeech, RefusesAFileThatEndsInsideAnEntryAndKeepsWhatItHad) {
  TSpeech speech;
  speech.loadBytes(twoLists());
  for (std::size_t stray : {1u, 2u, 3u}) {
    Bytes damaged = twoLists();
    damaged.insert(damaged.end(), stray, 0);
    EXPECT_THROW(speech.loadBytes(damaged), FormatError) << stray;
  }
  Bytes shortText = twoLists();
  appendSpeechEntry(shortText, 7, "*sell*");
  shortText.pop_back();
  try {
    speech.loadBytes(shortText);
    FAIL() << "a text running past the end was read";
  } catch (const FormatError& e) {
    EXPECT_NE(std::string(e.what()).find("Entry 9"), std::string::npos) << e.what();
  }
  EXPECT_EQ(speech.size(), 9u);
  EXPECT_EQ(speech.bytes(), twoLists());

  // An empty file is an empty list, not an error.
  TSpeech empty;
  empty.loadBytes({});
  EXPECT_TRUE(empty.isLoaded());
  EXPECT_EQ(empty.size(), 0u);
}

TEST(TSpeech, NamesTextsTheClientMayNotReadButKeepsTheirBytes) {
  Bytes b;
  appendSpeechEntry(b, 4, "*caf\xE9*");  // Windows-1252, not UTF-8
  appendSpeechEntry(b, 5, std::string_view("a\0b", 3));
  TSpeech speech;
  speech.loadBytes(b);
  ASSERT_EQ(speech.problems().size(), 2u);
  EXPECT_EQ(speech.problems()[0], "Entry 0 (id 4) is not UTF-8 text.");
  EXPECT_EQ(speech.problems()[1], "Entry 1 (id 5) holds a NUL byte.");
  EXPECT_EQ(speech.bytes(), b);
}

TEST(TSpeech, SearchAndEdits) {
  TSpeech speech;
  speech.loadBytes(twoLists());
  EXPECT_EQ(speech.search("BANK"), (std::vector<std::size_t>{5, 6}));
  EXPECT_EQ(speech.search("\xE9\x8A\x80"), (std::vector<std::size_t>{1}));
  EXPECT_EQ(speech.search("vendor buy"), (std::vector<std::size_t>{8}));
  EXPECT_EQ(speech.search("vendor sell").size(), 0u);

  speech.setText(5, "  *bank* ");
  EXPECT_TRUE(speech.isChanged());
  EXPECT_EQ(speech.entry(5).text, "  *bank* ");
  speech.setId(5, 3);
  EXPECT_EQ(speech.insert(9, {512, "\xE3\x81\xB0\xE3\x82\x8A\xE3\x81\x82*"}), 9u);
  speech.remove(0);
  EXPECT_EQ(speech.size(), 9u);
  EXPECT_EQ(speech.entry(4).id, 3);
  EXPECT_EQ(speech.entry(8).id, 512);

  // Refused edits change nothing.
  const Bytes before = speech.bytes();
  EXPECT_THROW(speech.setText(9, "x"), Error);
  EXPECT_THROW(speech.setText(0, std::string(0x10000, 'a')), Error);
  EXPECT_THROW(speech.insert(11, {1, "x"}), Error);
  EXPECT_THROW(speech.remove(9), Error);
  EXPECT_EQ(speech.bytes(), before);
  // The longest text a length field holds is taken.
  speech.setText(0, std::string(0xFFFF, 'a'));
  TSpeech again;
  again.loadBytes(speech.bytes());
  EXPECT_EQ(again.entry(0).text.size(), 0xFFFFu);

  TSpeech none;
  EXPECT_THROW(none.save("/nowhere/speech.mul"), Error);
  EXPECT_THROW(none.insert(0, {}), Error);
}
