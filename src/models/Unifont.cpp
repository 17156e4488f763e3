#include "models/Unifont.h"

#include <algorithm>
#include <cstdio>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/IndexedFile.h"
#include "app/Text.h"

namespace quillotide {

namespace {

std::string number(std::int64_t v) { return std::to_string(v); }

std::size_t rowBytes(std::uint8_t width) { return (std::size_t{width} + 7) / 8; }

}  // namespace

bool UniGlyph::ink(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return false;
  const std::uint8_t b = bits[static_cast<std::size_t>(y) * rowBytes(width) + static_cast<std::size_t>(x) / 8];
  return (b & (0x80u >> (x % 8))) != 0;
}

void TUnifont::load(const std::string& path) { loadBytes(readFile(path)); }

void TUnifont::loadBytes(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kTableBytes)
    throw FormatError(formatMessage(
        "The Unicode font holds %d bytes: fewer than its table of 65536 offsets (262144 bytes).",
        {number(static_cast<std::int64_t>(bytes.size()))}));
  TUnifont read;
  std::vector<std::pair<std::size_t, std::size_t>> ranges;
  std::size_t first = bytes.size();
  for (char32_t code = 0; code < 0x10000; ++code) {
    const std::uint32_t offset = loadU32(bytes.data() + 4 * code);
    if (offset == 0) continue;
    if (offset < kTableBytes)
      throw FormatError(formatMessage("The glyph of %s lies at %d, inside the table of offsets.",
                                      {codePointLabel(code), number(offset)}));
    if (bytes.size() - std::min<std::size_t>(bytes.size(), offset) < 4)
      throw FormatError(formatMessage("The glyph of %s at %d runs past the end of the font.",
                                      {codePointLabel(code), number(offset)}));
    UniGlyph g;
    const std::uint8_t* p = bytes.data() + offset;
    g.xOffset = static_cast<std::int8_t>(p[0]);
    g.yOffset = static_cast<std::int8_t>(p[1]);
    g.width = p[2];
    g.height = p[3];
    const std::size_t n = rowBytes(g.width) * g.height;
    if (bytes.size() - offset - 4 < n)
      throw FormatError(formatMessage(
          "The glyph of %s at %d (%d x %d) runs past the end of the font.",
          {codePointLabel(code), number(offset), number(g.width), number(g.height)}));
    g.bits.assign(p + 4, p + 4 + n);
    ranges.emplace_back(offset, offset + 4 + n);
    first = std::min<std::size_t>(first, offset);
    read.m_glyphs.emplace(code, std::move(g));
  }
  std::sort(ranges.begin(), ranges.end());
  std::size_t reach = first, covered = 0, shared = 0;
  for (const auto& [start, end] : ranges) {
    if (start < reach) ++shared;
    covered += end > std::max(start, reach) ? end - std::max(start, reach) : 0;
    reach = std::max(reach, end);
  }
  if (shared > 0)
    read.m_problems.push_back(formatMessage(
        "%d glyphs share their bytes with others; a save after an edit stores each on its own.",
        {number(static_cast<std::int64_t>(shared))}));
  const std::size_t loose = bytes.size() - first - covered;
  if (loose > 0)
    read.m_problems.push_back(formatMessage(
        "%d bytes after the first glyph belong to none; a save after an edit leaves them out.",
        {number(static_cast<std::int64_t>(loose))}));
  read.m_gap.assign(bytes.begin() + kTableBytes, bytes.begin() + static_cast<std::ptrdiff_t>(first));
  read.m_loadedBytes.assign(bytes.begin(), bytes.end());
  read.m_loaded = true;
  *this = std::move(read);
}

Bytes TUnifont::bytes() const {
  if (!m_edited) return m_loadedBytes;
  Bytes out(kTableBytes, 0);
  out.insert(out.end(), m_gap.begin(), m_gap.end());
  for (const auto& [code, g] : m_glyphs) {
    storeU32(out.data() + 4 * code, static_cast<std::uint32_t>(out.size()));
    out.push_back(static_cast<std::uint8_t>(g.xOffset));
    out.push_back(static_cast<std::uint8_t>(g.yOffset));
    out.push_back(g.width);
    out.push_back(g.height);
    out.insert(out.end(), g.bits.begin(), g.bits.end());
  }
  return out;
}

void TUnifont::save(const std::string& path) const {
  requireLoaded();
  writeFileAtomic(path, bytes());
  m_changed = false;
}

void TUnifont::requireLoaded() const {
  if (!m_loaded) throw Error(notLoadedMessage("Unicode font"));
}

const UniGlyph& TUnifont::glyph(char32_t code) const {
  requireLoaded();
  const auto it = m_glyphs.find(code);
  if (it == m_glyphs.end())
    throw Error(formatMessage("The font has no glyph for %s.", {codePointLabel(code)}));
  return it->second;
}

Bitmap32 TUnifont::picture(char32_t code) const {
  const UniGlyph& g = glyph(code);
  Bitmap32 out(g.width, g.height, 0);
  for (int y = 0; y < g.height; ++y)
    for (int x = 0; x < g.width; ++x)
      if (g.ink(x, y)) out.at(x, y) = makePixel(0, 0, 0);
  return out;
}

void TUnifont::checkOffset(int value, const char* which) {
  if (value < -128 || value > 127)
    throw Error(formatMessage("The %s offset of a glyph is -128 to 127, not %d.",
                              {which, number(value)}));
}

void TUnifont::setPicture(char32_t code, const Bitmap32& picture, int xOffset, int yOffset) {
  requireLoaded();
  if (code > 0xFFFF)
    throw Error(formatMessage("A Unicode font holds U+0000 to U+FFFF, not %s.", {codePointLabel(code)}));
  if (picture.width < 0 || picture.height < 0 || picture.width > 255 || picture.height > 255)
    throw Error(formatMessage("A glyph is at most 255 x 255 pixels; the picture is %d x %d.",
                              {number(picture.width), number(picture.height)}));
  checkOffset(xOffset, "x");
  checkOffset(yOffset, "y");
  UniGlyph g;
  g.xOffset = static_cast<std::int8_t>(xOffset);
  g.yOffset = static_cast<std::int8_t>(yOffset);
  g.width = static_cast<std::uint8_t>(picture.width);
  g.height = static_cast<std::uint8_t>(picture.height);
  g.bits.assign(rowBytes(g.width) * g.height, 0);
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x) {
      const Pixel p = picture.at(x, y);
      if (alphaOf(p) >= 128 && redOf(p) + greenOf(p) + blueOf(p) < 3 * 128)
        g.bits[static_cast<std::size_t>(y) * rowBytes(g.width) + static_cast<std::size_t>(x) / 8] |=
            static_cast<std::uint8_t>(0x80u >> (x % 8));
    }
  const auto it = m_glyphs.find(code);
  if (it != m_glyphs.end() && it->second == g) return;
  m_glyphs[code] = std::move(g);
  m_edited = true;
  m_changed = true;
}

void TUnifont::setOffsets(char32_t code, int xOffset, int yOffset) {
  glyph(code);
  checkOffset(xOffset, "x");
  checkOffset(yOffset, "y");
  UniGlyph& g = m_glyphs[code];
  if (g.xOffset == xOffset && g.yOffset == yOffset) return;
  g.xOffset = static_cast<std::int8_t>(xOffset);
  g.yOffset = static_cast<std::int8_t>(yOffset);
  m_edited = true;
  m_changed = true;
}

void TUnifont::remove(char32_t code) {
  glyph(code);
  m_glyphs.erase(code);
  m_edited = true;
  m_changed = true;
}

Bitmap32 TUnifont::renderText(std::string_view text, int spaceWidth) const {
  requireLoaded();
  struct Placed {
    const UniGlyph* glyph;
    int x;
  };
  std::vector<Placed> placed;
  int pen = 0, left = 0, right = 0, top = 0, bottom = 1;
  for (std::size_t i = 0; i < text.size();) {
    const auto c = nextUtf8(text, i);
    if (!c) {
      ++i;
      continue;
    }
    const auto it = m_glyphs.find(*c);
    if (it == m_glyphs.end()) {
      pen += spaceWidth;
      continue;
    }
    const UniGlyph& g = it->second;
    placed.push_back({&g, pen + g.xOffset});
    left = std::min(left, pen + g.xOffset);
    right = std::max(right, pen + g.xOffset + g.width);
    top = std::min(top, int{g.yOffset});
    bottom = std::max(bottom, g.yOffset + g.height);
    pen += g.xOffset + g.width + 1;
  }
  right = std::max(right, pen);
  Bitmap32 out(right - left, bottom - top, 0);
  for (const Placed& p : placed)
    for (int y = 0; y < p.glyph->height; ++y)
      for (int x = 0; x < p.glyph->width; ++x)
        if (p.glyph->ink(x, y)) out.at(p.x - left + x, p.glyph->yOffset - top + y) = makePixel(0, 0, 0);
  return out;
}

const std::vector<UnicodeBlock>& TUnifont::blocks() {
  static const std::vector<UnicodeBlock> list = {
      {0x0000, 0x007F, "Basic Latin"},
      {0x0080, 0x00FF, "Latin-1 Supplement"},
      {0x0100, 0x017F, "Latin Extended-A"},
      {0x0180, 0x024F, "Latin Extended-B"},
      {0x0250, 0x02AF, "IPA Extensions"},
      {0x02B0, 0x02FF, "Spacing Modifier Letters"},
      {0x0300, 0x036F, "Combining Diacritical Marks"},
      {0x0370, 0x03FF, "Greek and Coptic"},
      {0x0400, 0x04FF, "Cyrillic"},
      {0x2000, 0x206F, "General Punctuation"},
      {0x20A0, 0x20CF, "Currency Symbols"},
      {0x2100, 0x214F, "Letterlike Symbols"},
      {0x2190, 0x21FF, "Arrows"},
      {0x2200, 0x22FF, "Mathematical Operators"},
      {0x2500, 0x257F, "Box Drawing"},
      {0x25A0, 0x25FF, "Geometric Shapes"},
      {0x2600, 0x26FF, "Miscellaneous Symbols"},
      {0x3000, 0x303F, "CJK Symbols and Punctuation"},
      {0x3040, 0x309F, "Hiragana"},
      {0x30A0, 0x30FF, "Katakana"},
      {0x3130, 0x318F, "Hangul Compatibility Jamo"},
      {0x4E00, 0x9FFF, "CJK Unified Ideographs"},
      {0xAC00, 0xD7AF, "Hangul Syllables"},
      {0xE000, 0xF8FF, "Private Use Area"},
      {0xFF00, 0xFFEF, "Halfwidth and Fullwidth Forms"},
  };
  return list;
}

const char* TUnifont::blockName(char32_t code) {
  for (const UnicodeBlock& b : blocks())
    if (code >= b.first && code <= b.last) return b.name;
  return "Other";
}

}  // namespace quillotide
