#pragma once
// TUnifont: a Unicode font, unifont.mul .. unifont12.mul. A table of 65,536 u32 offsets (the
// glyph of U+0000..U+FFFF; 0 = absent), then the glyphs: a signed x and y offset (from the left
// and from the top of the line), width W, height H and H rows of ceil(W / 8) bytes, one bit per
// pixel, the leftmost pixel in the highest bit. The client's files keep four unused bytes after
// the table and store the glyphs in code order without gaps; a save writes that layout, keeping
// the bytes between the table and the first glyph, and an unchanged font saves byte for byte.

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/Bytes.h"
#include "app/Colour.h"

namespace quillotide {

struct UniGlyph {
  std::int8_t xOffset = 0;
  std::int8_t yOffset = 0;
  std::uint8_t width = 0;
  std::uint8_t height = 0;
  std::vector<std::uint8_t> bits;  // height rows of (width + 7) / 8 bytes
  bool ink(int x, int y) const;
  bool operator==(const UniGlyph&) const = default;
};

// A named range of code points, for browsing.
struct UnicodeBlock {
  char32_t first;
  char32_t last;
  const char* name;
};

class TUnifont {
public:
  static constexpr std::size_t kTableBytes = 0x40000;

  // Throws FileError / FormatError (shorter than the table, an offset into the table, a glyph
  // running past the end) and keeps what it had.
  void load(const std::string& path);
  void loadBytes(std::span<const std::uint8_t> bytes);
  void save(const std::string& path) const;
  Bytes bytes() const;
  bool isLoaded() const { return m_loaded; }
  bool isChanged() const { return m_changed; }
  // Bytes that belong to no glyph (beyond the unused ones after the table) and glyphs that share
  // their bytes; kept by a save of an unchanged font, laid out anew by a save after an edit.
  const std::vector<std::string>& problems() const { return m_problems; }

  const std::map<char32_t, UniGlyph>& glyphs() const { return m_glyphs; }
  bool has(char32_t code) const { return m_glyphs.count(code) != 0; }
  // Throws Error when the font has no glyph for the code.
  const UniGlyph& glyph(char32_t code) const;

  // The glyph's pixels: ink black, the rest transparent.
  Bitmap32 picture(char32_t code) const;
  // The picture becomes the glyph of the code (added when it had none): ink where a pixel is
  // opaque and dark, at most 255 x 255. Throws Error for a code past U+FFFF or a larger picture.
  void setPicture(char32_t code, const Bitmap32& picture, int xOffset, int yOffset);
  void setOffsets(char32_t code, int xOffset, int yOffset);
  void remove(char32_t code);
  // A line of UTF-8 text: each glyph at its offsets from the pen, which moves on by the glyph's
  // x offset and width and one pixel; a character without a glyph moves it by `spaceWidth`.
  Bitmap32 renderText(std::string_view text, int spaceWidth = 4) const;

  // The blocks of the code points of the client's fonts, in order.
  static const std::vector<UnicodeBlock>& blocks();
  static const char* blockName(char32_t code);

private:
  static void checkOffset(int value, const char* which);
  void requireLoaded() const;

  std::map<char32_t, UniGlyph> m_glyphs;
  Bytes m_loadedBytes;  // the file as read, written back while nothing changed
  Bytes m_gap;          // the bytes between the table and the first glyph
  std::vector<std::string> m_problems;
  bool m_loaded = false;
  bool m_edited = false;           // glyphs differ from the file as read: bytes() lays them out
  mutable bool m_changed = false;  // edits since the load or the last save
};

}  // namespace quillotide
