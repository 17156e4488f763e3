// The sample's text families: a cliloc table in several scripts, three classic fonts and a
// Unicode font drawn from one small letter pattern, a skills pair with its groups, and speech
// keywords in two language lists. Everything is computed, so every run writes the same bytes.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/Bytes.h"
#include "app/FileIO.h"
#include "models/Cliloc.h"
#include "sample/Sample.h"

namespace quillotide::sample {

namespace {

// Letters and digits as five rows of three pixels (bit 2 the leftmost), drawn at twice the size.
struct Pattern {
  char c;
  std::array<std::uint8_t, 5> rows;
};
constexpr Pattern kPatterns[] = {
    {'A', {2, 5, 7, 5, 5}}, {'B', {6, 5, 6, 5, 6}}, {'C', {3, 4, 4, 4, 3}},
    {'D', {6, 5, 5, 5, 6}}, {'E', {7, 4, 6, 4, 7}}, {'F', {7, 4, 6, 4, 4}},
    {'G', {3, 4, 5, 5, 3}}, {'H', {5, 5, 7, 5, 5}}, {'I', {7, 2, 2, 2, 7}},
    {'J', {1, 1, 1, 5, 2}}, {'K', {5, 5, 6, 5, 5}}, {'L', {4, 4, 4, 4, 7}},
    {'M', {5, 7, 7, 5, 5}}, {'N', {6, 5, 5, 5, 5}}, {'O', {2, 5, 5, 5, 2}},
    {'P', {6, 5, 6, 4, 4}}, {'Q', {2, 5, 5, 6, 3}}, {'R', {6, 5, 6, 5, 5}},
    {'S', {3, 4, 2, 1, 6}}, {'T', {7, 2, 2, 2, 2}}, {'U', {5, 5, 5, 5, 7}},
    {'V', {5, 5, 5, 5, 2}}, {'W', {5, 5, 7, 7, 5}}, {'X', {5, 5, 2, 5, 5}},
    {'Y', {5, 5, 2, 2, 2}}, {'Z', {7, 1, 2, 4, 7}}, {'0', {7, 5, 5, 5, 7}},
    {'1', {2, 6, 2, 2, 7}}, {'2', {6, 1, 2, 4, 7}}, {'3', {6, 1, 2, 1, 6}},
    {'4', {5, 5, 7, 1, 1}}, {'5', {7, 4, 6, 1, 6}}, {'6', {3, 4, 7, 5, 7}},
    {'7', {7, 1, 2, 2, 2}}, {'8', {7, 5, 7, 5, 7}}, {'9', {7, 5, 7, 1, 6}},
    {'.', {0, 0, 0, 0, 2}}, {',', {0, 0, 0, 2, 4}}, {'!', {2, 2, 2, 0, 2}},
    {'?', {6, 1, 2, 0, 2}}, {'-', {0, 0, 7, 0, 0}}, {'\'', {2, 2, 0, 0, 0}},
    {':', {0, 2, 0, 2, 0}}, {'(', {1, 2, 2, 2, 1}}, {')', {4, 2, 2, 2, 4}},
};

// The pattern of a character: lower case as upper case; a box for what the pattern lacks.
std::array<std::uint8_t, 5> patternOf(char c) {
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  for (const Pattern& p : kPatterns)
    if (p.c == c) return p.rows;
  return {7, 5, 5, 5, 7};
}

// Whether pixel (x, y) of a glyph `scale` times the pattern's size is ink.
bool ink(const std::array<std::uint8_t, 5>& rows, int x, int y, int scale) {
  if (x < 0 || y < 0) return false;
  const int px = x / scale, py = y / scale;
  return px < 3 && py < 5 && ((rows[static_cast<std::size_t>(py)] >> (2 - px)) & 1) != 0;
}

// One classic font: each character its pattern at `scale`, one blank column after it and a
// blank row above and below; the space is blank. The third byte is 4, and 3 for 0x80 .. 0x9F,
// as in the client's fonts.
void appendFont(ByteWriter& out, int scale, std::uint16_t colour) {
  out.u8(1);
  const int w = 3 * scale + 1, h = 5 * scale + 2;
  for (int code = 0x20; code <= 0xFF; ++code) {
    const bool space = code == 0x20;
    out.u8(static_cast<std::uint8_t>(space ? 2 * scale : w));
    out.u8(static_cast<std::uint8_t>(h));
    out.u8(code >= 0x80 && code <= 0x9F ? 3 : 4);
    if (space) {
      out.zeros(static_cast<std::size_t>(2 * scale * h) * 2);
      continue;
    }
    const auto rows = patternOf(static_cast<char>(code < 0x80 ? code : '#'));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) out.u16(ink(rows, x, y - 1, scale) ? colour : 0);
  }
}

}  // namespace

void writeCliloc(const std::string& dir) {
  Cliloc cliloc;
  cliloc.header = {2, 0, 0, 0, 1, 0};
  cliloc.entries = {
      {500000, 0, "Sample client"},
      {500001, 0, "Welcome to the sample world!"},
      {500002, 1, "Name:\t~1_NAME~"},
      {500003, 2, "  A text with blanks at both ends  "},
      {clilocLayout::kTileNameBase + 1, 0, "oak tree"},
      {clilocLayout::kTileNameBase + 2, 0, "pine tree"},
      {1060000, 0, "Café crème"},
      {1060001, 0, "Grüße aus Britannia"},
      {1060002, 0, "\xE4\xBD\xA0\xE5\xA5\xBD"},                          // 你好
      {1060003, 0, "\xEC\x95\x88\xEB\x85\x95\xED\x95\x98\xEC\x84\xB8\xEC\x9A\x94"},  // 안녕하세요
  };
  saveCliloc(joinPath(dir, clilocLayout::kFileName), cliloc);
}

void writeFonts(const std::string& dir) {
  ByteWriter out;
  appendFont(out, 2, 0x7FFF);
  appendFont(out, 2, 0x7FE0);
  appendFont(out, 3, 0x03FF);
  // What follows the last font in the client's file is kept; the sample has a few such bytes.
  for (int b : {0x51, 0x55, 0x49, 0x4C, 0x4C, 0x00, 0x01}) out.u8(static_cast<std::uint8_t>(b));
  writeFileAtomic(joinPath(dir, "fonts.mul"), out.take());
}

void writeUnifont(const std::string& dir) {
  struct Glyph {
    char32_t code;
    std::int8_t x, y;
    std::array<std::uint8_t, 5> rows;
  };
  std::vector<Glyph> glyphs;
  for (char c = '!'; c <= '~'; ++c) glyphs.push_back({static_cast<char32_t>(c), 0, 2, patternOf(c)});
  glyphs.push_back({0xC0, 0, -1, patternOf('A')});  // À rises above the capitals
  glyphs.push_back({0xE9, 0, 2, patternOf('E')});   // é
  glyphs.push_back({0x4E00, 1, 6, {0, 0, 7, 0, 0}});  // 一
  glyphs.push_back({0xAC00, 0, 2, {5, 6, 5, 5, 5}});  // 가, roughly
  constexpr int scale = 2, w = 3 * scale, h = 5 * scale;
  ByteWriter table, body;
  std::vector<std::uint32_t> offsets(0x10000, 0);
  constexpr std::uint32_t first = 0x10000 * 4 + 4;
  for (const Glyph& g : glyphs) {
    offsets[g.code] = first + static_cast<std::uint32_t>(body.size());
    body.i8(g.x);
    body.i8(g.y);
    body.u8(w);
    body.u8(h);
    for (int y = 0; y < h; ++y) {
      std::uint8_t row = 0;
      for (int x = 0; x < w; ++x)
        if (ink(g.rows, x, y, scale)) row = static_cast<std::uint8_t>(row | (0x80 >> x));
      body.u8(row);
    }
  }
  for (std::uint32_t o : offsets) table.u32(o);
  table.u32(0);
  Bytes bytes = table.take();
  const Bytes glyphBytes = body.take();
  bytes.insert(bytes.end(), glyphBytes.begin(), glyphBytes.end());
  writeFileAtomic(joinPath(dir, "unifont.mul"), bytes);
}

void writeSkills(const std::string& dir) {
  struct Skill {
    std::uint8_t flag;
    const char* name;
    std::int32_t group;
  };
  const std::vector<Skill> skills = {
      {0, "Alchemy", 2},     {1, "Anatomy", 3},    {1, "Animal Lore", 3}, {1, "Item Identification", 3},
      {1, "Arms Lore", 3},   {0, "Parrying", 1},   {1, "Begging", 0},     {0, "Blacksmithy", 2},
      {0, "Bowcraft/Fletching", 2}, {1, "Peacemaking", 0},
  };
  // The records are stored from the last skill to the first, as real pairs keep records out of
  // index order.
  ByteWriter index, data;
  std::vector<std::pair<std::int32_t, std::int32_t>> places(skills.size());
  for (std::size_t i = skills.size(); i-- > 0;) {
    const std::string name = skills[i].name;
    places[i] = {static_cast<std::int32_t>(data.size()), static_cast<std::int32_t>(name.size() + 2)};
    data.u8(skills[i].flag);
    data.fixedString(name, name.size() + 1);
  }
  for (const auto& [lookup, length] : places) {
    index.i32(lookup);
    index.i32(length);
    index.u32(0);
  }
  // One unused entry at the end, as the client's index has room for more skills.
  index.i32(-1);
  index.i32(0);
  index.u32(0);
  writeFileAtomic(joinPath(dir, "skills.idx"), index.take());
  writeFileAtomic(joinPath(dir, "skills.mul"), data.take());

  // Group 0 has no stored name: the count includes it, the names start at group 1.
  ByteWriter groups;
  const std::vector<std::string> names = {"Combat", "Crafting", "Lore"};
  groups.i32(static_cast<std::int32_t>(names.size() + 1));
  for (const std::string& n : names) groups.fixedString(n, 17);
  for (const Skill& s : skills) groups.i32(s.group);
  writeFileAtomic(joinPath(dir, "skillgrp.mul"), groups.take());
}

void writeSpeech(const std::string& dir) {
  struct Entry {
    std::uint16_t id;
    std::string text;
  };
  // Two language lists, each counting its ids from 0; an empty entry and a byte-order mark as
  // the client's own file has them.
  const std::vector<Entry> entries = {
      {0, "*hail*"},      {0, "*hello*"},   {1, "*bank*"},   {2, "*guards*"},
      {3, ""},            {4, "*vendor buy*"}, {0, "\xEF\xBB\xBF*hallo*"},
      {1, "*bank*"},      {2, "*wachen*"},  {3, "*grüß*"},
  };
  Bytes out;
  for (const Entry& e : entries) {
    out.push_back(static_cast<std::uint8_t>(e.id >> 8));
    out.push_back(static_cast<std::uint8_t>(e.id & 0xFF));
    out.push_back(static_cast<std::uint8_t>(e.text.size() >> 8));
    out.push_back(static_cast<std::uint8_t>(e.text.size() & 0xFF));
    out.insert(out.end(), e.text.begin(), e.text.end());
  }
  writeFileAtomic(joinPath(dir, "speech.mul"), out);
}

}  // namespace quillotide::sample
