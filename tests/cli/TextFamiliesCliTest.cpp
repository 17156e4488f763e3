// The command groups of the text and font families: cliloc (table commands), font, unifont,
// skills, skillgroups, speech and multimap. For each: an unchanged save gives the file back byte
// for byte, the --json forms parse and hold the file's values, an edit changes what it should on
// disk, bad input exits 1 with the files as they were, and a wrong command line exits 2.
#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "app/Bytes.h"
#include "app/FileIO.h"
#include "app/Png.h"
#include "cli/CliRun.h"
#include "models/Cliloc.h"
#include "models/Fonts.h"
#include "models/Multimap.h"
#include "models/Skills.h"
#include "models/Speech.h"
#include "models/Unifont.h"
#include "support/TestFiles.h"
#include "support/TextFiles.h"

using namespace quillotide;
using quillotide::test::readBytes;
using quillotide::test::runCliWords;
using quillotide::test::TempDir;
using quillotide::test::writeBytes;

namespace {

// ---- a small JSON reader, so the tests check that the output is JSON and not only its text

struct JsonValue {
  enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<JsonValue> items;
  std::vector<std::pair<std::string, JsonValue>> members;

  const JsonValue& operator[](std::size_t i) const {
    if (kind != Kind::Array || i >= items.size())
      throw std::runtime_error("no item " + std::to_string(i));
    return items[i];
  }
  const JsonValue& operator[](const std::string& key) const {
    if (kind == Kind::Object)
      for (const auto& [k, v] : members)
        if (k == key) return v;
    throw std::runtime_error("no member " + key);
  }
  bool has(const std::string& key) const {
    for (const auto& [k, v] : members)
      if (k == key) return true;
    return false;
  }
  std::size_t size() const { return kind == Kind::Array ? items.size() : members.size(); }
  long long integer() const {
    if (kind != Kind::Number) throw std::runtime_error("not a number");
    return static_cast<long long>(number);
  }
};

class JsonReader {
public:
  explicit JsonReader(const std::string& text) : m_text(text) {}
  JsonValue document() {
    JsonValue v = value();
    blanks();
    if (m_at != m_text.size()) fail("text after the value");
    return v;
  }

private:
  [[noreturn]] void fail(const std::string& why) const {
    throw std::runtime_error("JSON: " + why + " at " + std::to_string(m_at));
  }
  void blanks() {
    while (m_at < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_at]))) ++m_at;
  }
  bool take(char c) {
    blanks();
    if (m_at < m_text.size() && m_text[m_at] == c) {
      ++m_at;
      return true;
    }
    return false;
  }
  void expect(char c) {
    if (!take(c)) fail(std::string("expected ") + c);
  }
  bool word(const std::string& w) {
    if (m_text.compare(m_at, w.size(), w) != 0) return false;
    m_at += w.size();
    return true;
  }
  std::string string() {
    expect('"');
    std::string out;
    while (m_at < m_text.size() && m_text[m_at] != '"') {
      char c = m_text[m_at++];
      if (static_cast<unsigned char>(c) < 0x20) fail("control character in a string");
      if (c == '\\') {
        if (m_at >= m_text.size()) fail("cut escape");
        c = m_text[m_at++];
        switch (c) {
          case 'n':
            out += '\n';
            break;
          case 't':
            out += '\t';
            break;
          case 'r':
            out += '\r';
            break;
          case 'u': {
            const unsigned long v = std::stoul(m_text.substr(m_at, 4), nullptr, 16);
            m_at += 4;
            out += static_cast<char>(v);  // the tests meet only control characters here
            break;
          }
          default:
            out += c;
        }
      } else {
        out += c;
      }
    }
    expect('"');
    return out;
  }
  JsonValue value() {
    blanks();
    JsonValue v;
    if (m_at >= m_text.size()) fail("no value");
    const char c = m_text[m_at];
    if (c == '{') {
      v.kind = JsonValue::Kind::Object;
      ++m_at;
      if (take('}')) return v;
      do {
        blanks();
        std::string key = string();
        expect(':');
        v.members.emplace_back(std::move(key), value());
      } while (take(','));
      expect('}');
    } else if (c == '[') {
      v.kind = JsonValue::Kind::Array;
      ++m_at;
      if (take(']')) return v;
      do v.items.push_back(value());
      while (take(','));
      expect(']');
    } else if (c == '"') {
      v.kind = JsonValue::Kind::String;
      v.text = string();
    } else if (word("true") || word("false")) {
      v.kind = JsonValue::Kind::Bool;
      v.boolean = m_text[m_at - 1] == 'e' && m_text[m_at - 2] == 'u';
    } else if (word("null")) {
      v.kind = JsonValue::Kind::Null;
    } else {
      char* end = nullptr;
      v.kind = JsonValue::Kind::Number;
      v.number = std::strtod(m_text.c_str() + m_at, &end);
      if (end == m_text.c_str() + m_at) fail("no value");
      m_at = static_cast<std::size_t>(end - m_text.c_str());
    }
    return v;
  }

  const std::string& m_text;
  std::size_t m_at = 0;
};

JsonValue parseJson(const std::string& text) { return JsonReader(text).document(); }

// Runs a command that must succeed with --json and returns its parsed output.
JsonValue jsonOf(std::vector<std::string> words) {
  words.push_back("--json");
  const auto r = runCliWords(words);
  EXPECT_EQ(r.code, 0) << r.err;
  return parseJson(r.out);
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// ---- file builders

// Not sorted, a text with a leading TAB, Korean, and three bytes of a cut entry at the end.
Bytes clilocWithTail() {
  Bytes b{2, 0, 0, 0, 1, 0};
  test::appendClilocEntry(b, 1042971, 0, "~1_NOTHING~");
  test::appendClilocEntry(b, 500000, 0, "Reputation aversion triggered.");
  test::appendClilocEntry(b, 500001, 1, "\tI have no reaction to you. ");
  test::appendClilocEntry(b, 500002, 2, "\xED\x8F\x89\xED\x8C\x90");
  b.insert(b.end(), {0x40, 0x42, 0x0F});
  return b;
}

// Character c is (c % 3 + 1) wide and (c % 2 + 1) tall, its pixels numbered; a trailer follows.
Bytes fontsFile() {
  Bytes file;
  for (const std::uint8_t third : {std::uint8_t{4}, std::uint8_t{5}}) {
    file.push_back(static_cast<std::uint8_t>(third - 3));  // the header bytes 1 and 2
    for (int code = 0x20; code <= 0xFF; ++code) {
      const int w = code % 3 + 1, h = code % 2 + 1;
      file.insert(file.end(), {static_cast<std::uint8_t>(w), static_cast<std::uint8_t>(h), third});
      for (int k = 0; k < w * h; ++k) {
        const auto v = static_cast<std::uint16_t>(k % 2 == 0 ? 0 : (code * 31 + k) & 0x7FFF);
        file.insert(file.end(), {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)});
      }
    }
  }
  file.insert(file.end(), {'t', 'r', 'a', 'i', 'l'});
  return file;
}

// The client's layout: the table, four unused bytes, the glyphs in code order.
Bytes unifontFile() {
  Bytes file(0x40004, 0);
  test::appendUnifontGlyph(file, U'A', 0, 4, 10, 2, {0x0F, 0xC0, 0x19, 0x80});
  test::appendUnifontGlyph(file, U'Z', -1, 4, 3, 1, {0xA0});
  test::appendUnifontGlyph(file, 0xAC00, 1, -1, 9, 1, {0xFF, 0x80});
  return file;
}

// Records out of index order, and two unused entries at the end.
struct SkillsPair {
  Bytes index, data;
  SkillsPair() {
    test::appendSkillRecord(data, 0, "Alchemy");    // 0..9
    test::appendSkillRecord(data, 1, "Throwing");   // 9..19
    test::appendSkillRecord(data, 1, "Mysticism");  // 19..30
    test::appendSkillEntry(index, 0, 9, 15);
    test::appendSkillEntry(index, 19, 11, 1);
    test::appendSkillEntry(index, 9, 10, 1);
    test::appendSkillEntry(index, -1, 0, 0);
    test::appendSkillEntry(index, -1, 0, 0);
  }
};

Bytes skillGroupsFile(std::initializer_list<std::string_view> names,
                      std::initializer_list<std::int32_t> table) {
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

// Two language lists, each starting again at id 0, with a pair of empty entries between them.
Bytes speechFile() {
  Bytes b;
  test::appendSpeechEntry(b, 0, "*\xE6\x8F\x90\xE9\xA0\x98*");
  test::appendSpeechEntry(b, 2, "*\xE9\x8A\x80\xE8\xA1\x8C*");
  test::appendSpeechEntry(b, 0, "");
  test::appendSpeechEntry(b, 0, "");
  test::appendSpeechEntry(b, 1, "*Balance*");
  test::appendSpeechEntry(b, 2, "*bank*");
  test::appendSpeechEntry(b, 2, "*BANK account*");
  test::appendSpeechEntry(b, 380, "vendor buy\"  ");
  return b;
}

// 200 x 3: 254 pixels off (past the first row's end), one on, the 345 others off.
Bytes monochromeMap() {
  Bytes b(8);
  storeU32(b.data(), 200);
  storeU32(b.data() + 4, 3);
  b.insert(b.end(), {0x7F, 0x7F, 0x81, 0x7F, 0x7F, 0x5B});
  return b;
}

// A 10 x 3 colour map without a header: sea, a strip of land and sea, a desert row.
Bytes colourMap() { return {10, 0x4C, 0x80, 4, 0x04, 0x9A, 6, 0x4C, 0x80, 10, 0x6A, 0xDA}; }

class TextFamiliesCli : public ::testing::Test {
protected:
  // Runs a command that must fail with `code`, leaving `file` as it was.
  void refused(const std::vector<std::string>& words, int code, const std::string& file,
               const std::string& said = {}) {
    const Bytes before = readBytes(file);
    const auto r = runCliWords(words);
    EXPECT_EQ(r.code, code) << words[0] << ' ' << words[1] << ": " << r.out;
    if (!said.empty()) {
      EXPECT_TRUE(contains(r.err, said)) << r.err;
    }
    EXPECT_EQ(readBytes(file), before) << words[0] << ' ' << words[1];
  }
  TempDir dir;
};

}  // namespace

TEST_F(TextFamiliesCli, ClilocTableCommands) {
  const std::string file = dir.file("Cliloc.enu");
  writeBytes(file, clilocWithTail());

  // An unchanged save keeps order, texts and the damaged tail; --drop-tail leaves it out.
  auto r = runCliWords({"cliloc", "save", file, dir.file("same.enu")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(readBytes(dir.file("same.enu")), clilocWithTail());
  EXPECT_TRUE(contains(r.err, "are no whole entry")) << r.err;  // the load's problem, on stderr
  JsonValue j = jsonOf({"cliloc", "save", "--drop-tail", file, dir.file("short.enu")});
  EXPECT_EQ(j["tailBytes"].integer(), 3);
  EXPECT_TRUE(j["tailDropped"].boolean);
  EXPECT_EQ(j["problems"].size(), 2u);
  Bytes withoutTail = clilocWithTail();
  withoutTail.resize(withoutTail.size() - 3);
  EXPECT_EQ(readBytes(dir.file("short.enu")), withoutTail);

  // Edits write the file in place (the tail kept) or to --out, leaving the source.
  r = runCliWords({"cliloc", "edit", file, "500001", "--text", "  two  blanks ", "--flag", "2"});
  ASSERT_EQ(r.code, 0) << r.err;
  TCliloc c;
  c.load(file);
  EXPECT_EQ(c.entry(*c.find(500001)).text, "  two  blanks ");
  EXPECT_EQ(c.entry(*c.find(500001)).flag, 2);
  EXPECT_EQ(c.tail().size(), 3u);
  r = runCliWords({"cliloc", "add", "--out", dir.file("added.enu"), file, "500003", "new one"});
  ASSERT_EQ(r.code, 0) << r.err;
  c.load(dir.file("added.enu"));
  ASSERT_TRUE(c.find(500003));
  EXPECT_EQ(*c.find(500003), 4u);  // beside 500002, not at the end
  c.load(file);
  EXPECT_FALSE(c.find(500003));
  r = runCliWords({"cliloc", "delete", "--drop-tail", file, "1042971"});
  ASSERT_EQ(r.code, 0) << r.err;
  c.load(file);
  EXPECT_FALSE(c.find(1042971));
  EXPECT_TRUE(c.tail().empty());
  EXPECT_EQ(c.size(), 3u);

  // Search by words and range; the object form of list.
  j = jsonOf({"cliloc", "search", file, "REACTION", "you"});
  ASSERT_EQ(j["entries"].size(), 0u);  // that text was replaced above
  j = jsonOf({"cliloc", "search", file, "aversion", "--to", "500000"});
  ASSERT_EQ(j["entries"].size(), 1u);
  EXPECT_EQ(j["entries"][0]["number"].integer(), 500000);
  EXPECT_EQ(j["entries"][0]["text"].text, "Reputation aversion triggered.");
  j = jsonOf({"cliloc", "search", file, "--from", "500001", "--to", "500002"});
  EXPECT_EQ(j["entries"].size(), 2u);

  // Export, then an edited table back: one replaced, one added, bad lines named.
  r = runCliWords({"cliloc", "export", file, dir.file("table.tsv")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(
      contains(quillotide::test::readText(dir.file("table.tsv")), "500001\t2\t  two  blanks "));
  quillotide::test::writeText(dir.file("in.tsv"),
                              "Number\tFlag\tText\n500000\t1\tchanged\\tvalue\nnot a line\n"
                              "7\t0\tseven\n8\t9\tbad flag\n");
  j = jsonOf({"cliloc", "import", file, dir.file("in.tsv")});
  EXPECT_EQ(j["added"].integer(), 1);
  EXPECT_EQ(j["replaced"].integer(), 1);
  ASSERT_EQ(j["leftOut"].size(), 2u);
  EXPECT_TRUE(contains(j["leftOut"][0].text, "Line 3")) << j["leftOut"][0].text;
  EXPECT_TRUE(contains(j["leftOut"][1].text, "Line 5")) << j["leftOut"][1].text;
  c.load(file);
  EXPECT_EQ(c.entry(*c.find(500000)).text, "changed\tvalue");
  EXPECT_EQ(c.entry(*c.find(7)).text, "seven");

  // The difference of two files: three arrays of numbers.
  j = jsonOf({"cliloc", "diff", dir.file("same.enu"), file});
  ASSERT_EQ(j["added"].size(), 1u);
  EXPECT_EQ(j["added"][0].integer(), 7);
  ASSERT_EQ(j["removed"].size(), 1u);
  EXPECT_EQ(j["removed"][0].integer(), 1042971);
  ASSERT_EQ(j["changed"].size(), 2u);
  EXPECT_EQ(j["changed"][0].integer(), 500000);
  EXPECT_EQ(j["changed"][1].integer(), 500001);

  // Bad values and a bad file: exit 1, nothing written; wrong command lines: exit 2.
  refused({"cliloc", "edit", file, "500000", "--flag", "5"}, 1, file, "Entry 500000");
  refused({"cliloc", "edit", file, "500000", "--text", "\xFF\xFE"}, 1, file, "no UTF-8");
  refused({"cliloc", "edit", file, "123", "--text", "x"}, 1, file, "no entry 123");
  refused({"cliloc", "add", file, "500000", "again"}, 1, file, "there already");
  writeBytes(dir.file("cut.enu"), Bytes{2, 0, 0});
  refused({"cliloc", "save", dir.file("cut.enu"), dir.file("never.enu")}, 1, dir.file("cut.enu"));
  EXPECT_FALSE(fileExists(dir.file("never.enu")));
  refused({"cliloc", "edit", file, "500000"}, 2, file);
  refused({"cliloc", "delete", file}, 2, file);
  refused({"cliloc", "search", file}, 2, file);
}

TEST_F(TextFamiliesCli, FontCommands) {
  const std::string file = dir.file("fonts.mul");
  writeBytes(file, fontsFile());

  auto r = runCliWords({"font", "save", file, dir.file("same.mul")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(readBytes(dir.file("same.mul")), fontsFile());

  JsonValue j = jsonOf({"font", "list", file});
  ASSERT_EQ(j.size(), 2u);
  EXPECT_EQ(j[1]["header"].integer(), 2);
  ASSERT_EQ(j[0]["characters"].size(), 224u);
  const JsonValue& a = j[0]["characters"]['A' - 0x20];
  EXPECT_EQ(a["code"].integer(), 'A');
  EXPECT_EQ(a["width"].integer(), 'A' % 3 + 1);
  EXPECT_EQ(a["height"].integer(), 'A' % 2 + 1);

  // One character out, a picture in: its size becomes the character's, the third byte stays.
  TFonts fonts;
  fonts.load(file);
  r = runCliWords({"font", "export", file, "1", dir.file("a.png"), "--char", "A"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(readPngFile(dir.file("a.png")), fonts.picture(1, 'A'));
  r = runCliWords({"font", "export", file, "0", dir.file("sheet.png")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(readPngFile(dir.file("sheet.png")), fonts.sheet(0));
  Bitmap32 picture(4, 5, makePixel(248, 0, 0));
  picture.at(0, 0) = 0;
  writePngFile(dir.file("new.png"), picture);
  r = runCliWords({"font", "import", file, "1", "0x42", dir.file("new.png")});
  ASSERT_EQ(r.code, 0) << r.err;
  fonts.load(file);
  const FontChar& b = fonts.character(1, 'B');
  EXPECT_EQ(b.width, 4);
  EXPECT_EQ(b.height, 5);
  EXPECT_EQ(b.third, 5);
  EXPECT_EQ(b.pixels[0], 0);
  EXPECT_EQ(b.pixels[1], 0x7C00);
  EXPECT_EQ(fonts.trailer(), (Bytes{'t', 'r', 'a', 'i', 'l'}));

  // Text drawn character by character.
  r = runCliWords({"font", "render", file, "1", "AB", dir.file("text.png"), "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(readPngFile(dir.file("text.png")).width, 'A' % 3 + 1 + 4);

  writePngFile(dir.file("huge.png"), Bitmap32(300, 2, makePixel(0, 0, 248)));
  refused({"font", "import", file, "0", "A", dir.file("huge.png")}, 1, file, "300 x 2");
  refused({"font", "import", file, "7", "A", dir.file("new.png")}, 1, file, "no font 7");
  refused({"font", "import", file, "0", "0x10", dir.file("new.png")}, 1, file, "0x10");
  writeBytes(dir.file("short.mul"), Bytes(10, 1));
  refused({"font", "save", dir.file("short.mul"), dir.file("never.mul")}, 1, dir.file("short.mul"));
  EXPECT_FALSE(fileExists(dir.file("never.mul")));
  refused({"font", "import", file, "0", "A"}, 2, file);
  refused({"font", "import", file, "zero", "A", dir.file("new.png")}, 2, file);
}

TEST_F(TextFamiliesCli, UnifontCommands) {
  const std::string file = dir.file("unifont.mul");
  writeBytes(file, unifontFile());

  auto r = runCliWords({"unifont", "save", file, dir.file("same.mul")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(readBytes(dir.file("same.mul")), unifontFile());

  JsonValue j = jsonOf({"unifont", "list", file});
  ASSERT_EQ(j.size(), 3u);
  EXPECT_EQ(j[1]["code"].integer(), 'Z');
  EXPECT_EQ(j[1]["xOffset"].integer(), -1);
  EXPECT_EQ(j[1]["yOffset"].integer(), 4);
  EXPECT_EQ(j[2]["code"].integer(), 0xAC00);
  EXPECT_EQ(j[2]["yOffset"].integer(), -1);
  EXPECT_EQ(j[0]["width"].integer(), 10);
  EXPECT_EQ(j[0]["height"].integer(), 2);
  // Every spelling of a code names the same glyph.
  for (const std::string code : {"U+0041", "0x41", "65", "A"})
    EXPECT_EQ(jsonOf({"unifont", "show", file, code})["rows"][0].text, "....######") << code;

  // Out as a one-bit PNG with its offsets said, in again as another code.
  r = runCliWords({"unifont", "export", file, "U+AC00", dir.file("g.png")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "offsets x 1, y -1")) << r.out;
  const Bytes png = readBytes(dir.file("g.png"));
  ASSERT_GT(png.size(), 26u);
  EXPECT_EQ(png[24], 1);  // bit depth
  EXPECT_EQ(png[25], 3);  // a palette of ink and ground
  const Bitmap32 read = readPngFile(dir.file("g.png"));
  EXPECT_EQ(read.width, 9);
  EXPECT_EQ(read.at(8, 0), makePixel(0, 0, 0));
  r = runCliWords(
      {"unifont", "import", file, "B", dir.file("g.png"), "--x-offset", "2", "--y-offset", "-3"});
  ASSERT_EQ(r.code, 0) << r.err;
  TUnifont font;
  font.load(file);
  EXPECT_EQ(font.glyph(U'B').bits, font.glyph(0xAC00).bits);
  EXPECT_EQ(font.glyph(U'B').xOffset, 2);
  EXPECT_EQ(font.glyph(U'B').yOffset, -3);
  r = runCliWords({"unifont", "delete", "--out", dir.file("less.mul"), file, "Z"});
  ASSERT_EQ(r.code, 0) << r.err;
  font.load(dir.file("less.mul"));
  EXPECT_FALSE(font.has(U'Z'));
  EXPECT_TRUE(font.has(U'B'));
  r = runCliWords({"unifont", "render", file, "AZ", dir.file("text.png")});
  ASSERT_EQ(r.code, 0) << r.err;
  // 'A' at the pen, then 'Z' one pixel on, moved back by its x offset, and the pen past it.
  EXPECT_EQ(readPngFile(dir.file("text.png")).width, 10 + 1 - 1 + 3 + 1);

  refused({"unifont", "import", file, "B", dir.file("g.png"), "--x-offset", "200"}, 1, file, "200");
  refused({"unifont", "delete", file, "U+0043"}, 1, file, "U+0043");
  writeBytes(dir.file("short.mul"), Bytes(100, 0));
  refused({"unifont", "save", dir.file("short.mul"), dir.file("never.mul")}, 1,
          dir.file("short.mul"));
  EXPECT_FALSE(fileExists(dir.file("never.mul")));
  refused({"unifont", "show", file, "U+XYZ"}, 2, file);
  refused({"unifont", "export", file, "A"}, 2, file);
}

TEST_F(TextFamiliesCli, SkillsCommands) {
  const SkillsPair pair;
  const std::string idx = dir.file("skills.idx"), mul = dir.file("skills.mul");
  writeBytes(idx, pair.index);
  writeBytes(mul, pair.data);

  auto r = runCliWords({"skills", "save", idx, mul, dir.file("n.idx"), dir.file("n.mul")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(readBytes(dir.file("n.idx")), pair.index);
  EXPECT_EQ(readBytes(dir.file("n.mul")), pair.data);

  JsonValue j = jsonOf({"skills", "list", idx, mul});
  ASSERT_EQ(j.size(), 3u);  // the unused entries are left out
  EXPECT_EQ(j[1]["index"].integer(), 1);
  EXPECT_EQ(j[1]["name"].text, "Mysticism");
  EXPECT_EQ(j[2]["name"].text, "Throwing");
  EXPECT_EQ(j[0]["flag"].integer(), 0);
  EXPECT_EQ(j[2]["flag"].integer(), 1);

  // An edit to other files: the name stored in Windows-1252, the sources as they were.
  r = runCliWords({"skills", "edit", idx, mul, "1", "--name", "Mystik\xE2\x82\xAC", "--flag", "0",
                   "--out-index", dir.file("e.idx"), "--out-data", dir.file("e.mul")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(readBytes(idx), pair.index);
  EXPECT_EQ(readBytes(mul), pair.data);
  TSkills skills;
  skills.load(dir.file("e.idx"), dir.file("e.mul"));
  EXPECT_EQ(skills.skill(1).name, "Mystik\xE2\x82\xAC");
  EXPECT_EQ(skills.skill(1).flag, 0);
  const Bytes data = readBytes(dir.file("e.mul"));
  const Bytes stored = {'M', 'y', 's', 't', 'i', 'k', 0x80, 0};
  EXPECT_NE(std::search(data.begin(), data.end(), stored.begin(), stored.end()), data.end());

  r = runCliWords({"skills", "add", idx, mul, "Bushido", "--flag", "1"});
  ASSERT_EQ(r.code, 0) << r.err;
  r = runCliWords({"skills", "delete", idx, mul, "0"});
  ASSERT_EQ(r.code, 0) << r.err;
  skills.load(idx, mul);
  EXPECT_FALSE(skills.skill(0).used);
  EXPECT_EQ(skills.skill(3).name, "Bushido");
  EXPECT_EQ(skills.skill(2).name, "Throwing");

  refused({"skills", "edit", idx, mul, "1", "--name", "\xE6\x97\xA5"}, 1, mul, "Skill 1");
  refused({"skills", "edit", idx, mul, "1", "--flag", "3"}, 1, mul, "3");
  refused({"skills", "edit", idx, mul, "9", "--name", "X"}, 1, idx, "no skill 9");
  writeBytes(dir.file("bad.idx"), Bytes(13, 0));
  refused({"skills", "list", dir.file("bad.idx"), mul}, 1, mul, "13 bytes");
  refused({"skills", "edit", idx, mul, "1", "--name", "X", "--out-index", dir.file("x.idx")}, 2,
          idx);
  EXPECT_FALSE(fileExists(dir.file("x.idx")));
  refused({"skills", "edit", idx, mul, "1"}, 2, idx);
}

TEST_F(TextFamiliesCli, SkillGroupsCommands) {
  const std::string file = dir.file("skillgrp.mul");
  const Bytes start = skillGroupsFile({"Misc", "Combat"}, {0, 1, 2, 1});
  writeBytes(file, start);

  auto r = runCliWords({"skillgroups", "save", file, dir.file("same.mul")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(readBytes(dir.file("same.mul")), start);

  JsonValue j = jsonOf({"skillgroups", "list", file});
  ASSERT_EQ(j["groups"].size(), 3u);
  EXPECT_EQ(j["groups"][0]["name"].text, "");
  EXPECT_FALSE(j["groups"][0]["stored"].boolean);
  EXPECT_EQ(j["groups"][2]["name"].text, "Combat");
  ASSERT_EQ(j["skills"].size(), 4u);
  EXPECT_EQ(j["skills"][2].integer(), 2);
  r = runCliWords({"skillgroups", "list", file});
  EXPECT_TRUE(contains(r.out, "group 0: (no group; its name is not stored")) << r.out;

  r = runCliWords({"skillgroups", "rename", file, "2", "K\xC3\xA4mpfe"});
  ASSERT_EQ(r.code, 0) << r.err;
  r = runCliWords({"skillgroups", "add", file, "Magic"});
  ASSERT_EQ(r.code, 0) << r.err;
  r = runCliWords({"skillgroups", "move", file, "5", "3"});
  ASSERT_EQ(r.code, 0) << r.err;
  r = runCliWords({"skillgroups", "delete", "--out", dir.file("less.mul"), file, "1"});
  ASSERT_EQ(r.code, 0) << r.err;
  TSkillGroups groups;
  groups.load(file);
  EXPECT_EQ(groups.groupName(2), "K\xC3\xA4mpfe");
  EXPECT_EQ(groups.groupName(3), "Magic");
  EXPECT_EQ(groups.table(), (std::vector<std::int32_t>{0, 1, 2, 1, 0, 3}));
  groups.load(dir.file("less.mul"));
  EXPECT_EQ(groups.groupCount(), 3u);
  EXPECT_EQ(groups.table(), (std::vector<std::int32_t>{0, 0, 1, 0, 0, 2}));

  refused({"skillgroups", "rename", file, "0", "None"}, 1, file, "group 0");
  refused({"skillgroups", "rename", file, "1", "A name of twenty chars"}, 1, file, "16");
  refused({"skillgroups", "add", file, "\xE6\x97\xA5"}, 1, file);
  refused({"skillgroups", "move", file, "1", "9"}, 1, file, "no group 9");
  writeBytes(dir.file("cut.mul"), Bytes{3, 0});
  refused({"skillgroups", "list", dir.file("cut.mul")}, 1, dir.file("cut.mul"));
  refused({"skillgroups", "move", file, "1"}, 2, file);
}

TEST_F(TextFamiliesCli, SpeechCommands) {
  const std::string file = dir.file("speech.mul");
  writeBytes(file, speechFile());

  auto r = runCliWords({"speech", "save", file, dir.file("same.mul")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(readBytes(dir.file("same.mul")), speechFile());

  JsonValue j = jsonOf({"speech", "list", file});
  ASSERT_EQ(j.size(), 8u);
  EXPECT_EQ(j[4]["id"].integer(), 1);
  EXPECT_EQ(j[4]["text"].text, "*Balance*");
  EXPECT_EQ(j[1]["text"].text, "*\xE9\x8A\x80\xE8\xA1\x8C*");
  EXPECT_EQ(j[7]["text"].text, "vendor buy\"  ");
  j = jsonOf({"speech", "search", file, "bank"});
  ASSERT_EQ(j.size(), 2u);
  EXPECT_EQ(j[0]["index"].integer(), 5);
  EXPECT_EQ(j[1]["index"].integer(), 6);

  r = runCliWords({"speech", "edit", file, "4", "--text", "*Guthaben*", "--id", "3"});
  ASSERT_EQ(r.code, 0) << r.err;
  r = runCliWords({"speech", "add", file, "5", "*vendor*", "--at", "2"});
  ASSERT_EQ(r.code, 0) << r.err;
  r = runCliWords({"speech", "delete", "--out", dir.file("less.mul"), file, "0"});
  ASSERT_EQ(r.code, 0) << r.err;
  TSpeech speech;
  speech.load(file);
  ASSERT_EQ(speech.size(), 9u);
  EXPECT_EQ(speech.entry(2), (SpeechEntry{5, "*vendor*"}));
  EXPECT_EQ(speech.entry(5), (SpeechEntry{3, "*Guthaben*"}));
  speech.load(dir.file("less.mul"));
  EXPECT_EQ(speech.size(), 8u);
  EXPECT_EQ(speech.entry(0).id, 2);

  refused({"speech", "edit", file, "4", "--id", "70000"}, 1, file, "70000");
  refused({"speech", "edit", file, "99", "--text", "x"}, 1, file, "no entry 99");
  refused({"speech", "add", file, "1", "\xC0\x80"}, 1, file, "UTF-8");
  writeBytes(dir.file("cut.mul"), Bytes{0, 1, 0, 9, 'a'});
  refused({"speech", "save", dir.file("cut.mul"), dir.file("never.mul")}, 1, dir.file("cut.mul"));
  EXPECT_FALSE(fileExists(dir.file("never.mul")));
  refused({"speech", "edit", file, "4"}, 2, file);
  refused({"speech", "add", file, "x", "text"}, 2, file);
}

TEST_F(TextFamiliesCli, MultimapCommands) {
  const std::string mono = dir.file("Multimap.rle"), colour = dir.file("colour.rle");
  writeBytes(mono, monochromeMap());
  writeBytes(colour, colourMap());

  const std::vector<std::pair<std::string, Bytes>> files = {{mono, monochromeMap()},
                                                            {colour, colourMap()}};
  for (const auto& [file, bytes] : files) {
    const auto r = runCliWords({"multimap", "save", file, dir.file("same.rle")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readBytes(dir.file("same.rle")), bytes) << file;
  }

  JsonValue j = jsonOf({"multimap", "info", mono});
  EXPECT_EQ(j["width"].integer(), 200);
  EXPECT_EQ(j["height"].integer(), 3);
  EXPECT_EQ(j["variant"].text, "monochrome");
  EXPECT_FALSE(j["widthInferred"].boolean);
  j = jsonOf({"multimap", "info", colour});
  EXPECT_EQ(j["width"].integer(), 10);
  EXPECT_EQ(j["height"].integer(), 3);
  EXPECT_EQ(j["variant"].text, "colour");
  EXPECT_TRUE(j["widthInferred"].boolean);
  EXPECT_TRUE(contains(runCliWords({"multimap", "info", colour}).out, "inferred"));
  j = jsonOf({"multimap", "info", colour, "--width", "30"});
  EXPECT_EQ(j["width"].integer(), 30);
  EXPECT_EQ(j["height"].integer(), 1);
  EXPECT_FALSE(j["widthInferred"].boolean);
  EXPECT_FALSE(
      contains(runCliWords({"multimap", "info", colour, "--width", "30"}).out, "inferred"));

  // A picture out and in: without --like a monochrome map with a header, with it the variant of
  // the file named.
  auto r = runCliWords({"multimap", "export", mono, dir.file("mono.png")});
  ASSERT_EQ(r.code, 0) << r.err;
  Bitmap32 picture = readPngFile(dir.file("mono.png"));
  picture.at(0, 0) = makePixel(10, 10, 10);  // dark enough to be on
  writePngFile(dir.file("drawn.png"), picture);
  picture.at(0, 0) = makePixel(0, 0, 0);
  r = runCliWords({"multimap", "import", dir.file("drawn.png"), dir.file("new.rle")});
  ASSERT_EQ(r.code, 0) << r.err;
  TMultimap map;
  map.load(dir.file("new.rle"));
  EXPECT_EQ(map.layout(), MultimapLayout::Monochrome);
  EXPECT_EQ(map.width(), 200);
  EXPECT_EQ(map.pixelsOn(), 2);
  EXPECT_EQ(map.picture(), picture);
  r = runCliWords({"multimap", "export", colour, dir.file("colour.png")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "inferred")) << r.out;
  picture = readPngFile(dir.file("colour.png"));
  picture.at(9, 2) = colour16ToPixel(0x7C00);
  writePngFile(dir.file("red.png"), picture);
  j = jsonOf({"multimap", "import", dir.file("red.png"), dir.file("red.rle"), "--like", colour});
  EXPECT_EQ(j["variant"].text, "colour");
  map.load(dir.file("red.rle"));
  EXPECT_EQ(map.layout(), MultimapLayout::Colour);
  EXPECT_EQ(map.picture(), picture);
  EXPECT_EQ(readBytes(colour), colourMap());

  writePngFile(dir.file("small.png"), Bitmap32(4, 4, makePixel(1, 2, 3)));
  r = runCliWords(
      {"multimap", "import", dir.file("small.png"), dir.file("never.rle"), "--like", colour});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, "4 x 4") && contains(r.err, "10 x 3")) << r.err;
  EXPECT_FALSE(fileExists(dir.file("never.rle")));
  refused({"multimap", "info", colour, "--width", "7"}, 1, colour, "7");
  writeBytes(dir.file("bad.rle"), Bytes{1, 2, 3, 4, 5});
  refused({"multimap", "save", dir.file("bad.rle"), dir.file("never.rle")}, 1, dir.file("bad.rle"));
  EXPECT_FALSE(fileExists(dir.file("never.rle")));
  refused({"multimap", "info", colour, "--width", "wide"}, 2, colour);
  refused({"multimap", "import", dir.file("small.png"), dir.file("never.rle"), "--width", "4"}, 2,
          colour);
  EXPECT_FALSE(fileExists(dir.file("never.rle")));
}

TEST_F(TextFamiliesCli, EveryNewCommandHasHelp) {
  for (const std::string group :
       {"cliloc", "font", "unifont", "skills", "skillgroups", "speech", "multimap"}) {
    const auto r = runCliWords({group, "--help"});
    ASSERT_EQ(r.code, 0) << group;
    EXPECT_TRUE(contains(r.out, "Commands:")) << group;
    const auto top = runCliWords({"--help"});
    EXPECT_TRUE(contains(top.out, "\n  " + group + " ")) << group;
  }
  const auto r = runCliWords({"unifont", "import", "--help"});
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(contains(r.out, "--x-offset")) << r.out;
}
