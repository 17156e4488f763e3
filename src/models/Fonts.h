#pragma once
// TFonts: the classic fonts of fonts.mul. No index and no count: fonts follow one another, each a
// header byte and 224 characters for the byte codes 0x20..0xFF, a character being its width W,
// height H, a third byte of unknown meaning and W x H RGB555 pixels (0 = transparent), row by
// row. Fonts are read while a whole font fits; what follows the last one (the client's file has
// a trailer of 143 bytes) is kept byte for byte, so a save of unchanged fonts gives the file back.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/Bytes.h"
#include "app/Colour.h"

namespace quillotide {

struct FontChar {
  std::uint8_t width = 0;
  std::uint8_t height = 0;
  std::uint8_t third = 0;            // kept as read; a new character takes the font's usual value
  std::vector<std::uint16_t> pixels;  // width * height, row by row
  bool operator==(const FontChar&) const = default;
};

struct Font {
  static constexpr int kFirstCode = 0x20;
  static constexpr int kChars = 224;
  std::uint8_t header = 1;
  std::array<FontChar, kChars> chars;
  bool operator==(const Font&) const = default;
};

class TFonts {
public:
  // The smallest whole font: a header and 224 characters without pixels.
  static constexpr std::size_t kMinFontBytes = 1 + 3 * Font::kChars;

  // Throws FileError / FormatError (not even one whole font) and keeps what it had.
  void load(const std::string& path);
  void loadBytes(std::span<const std::uint8_t> bytes);
  void save(const std::string& path) const;
  Bytes bytes() const;
  bool isLoaded() const { return m_loaded; }
  bool isChanged() const { return m_changed; }
  // A font cut short at the end of the file (its bytes are kept as the trailer).
  const std::vector<std::string>& problems() const { return m_problems; }

  std::size_t fontCount() const { return m_fonts.size(); }
  const Font& font(std::size_t index) const;
  const Bytes& trailer() const { return m_trailer; }
  // The character of byte code `code` (0x20..0xFF); throws Error for another code or font.
  const FontChar& character(std::size_t font, int code) const;

  // The character as a picture: transparent where its pixel is 0.
  Bitmap32 picture(std::size_t font, int code) const;
  // The picture becomes the character: its size the character's size (at most 255 x 255), fully
  // transparent and black pixels 0; the third byte is kept. Throws Error and changes nothing
  // otherwise.
  void setPicture(std::size_t font, int code, const Bitmap32& picture);
  // A line of text (UTF-8; each character taken as its Windows-1252 byte, characters the font
  // lacks or the code page cannot hold shown as '?') drawn in the font, characters side by side,
  // their tops on one line; transparent around them.
  Bitmap32 renderText(std::size_t font, const std::string& text) const;
  // Every character of the font in a grid of 16 columns and 14 rows, each cell headed by its code
  // in hex digits (0x20 at the top left, 0xFF at the bottom right).
  Bitmap32 sheet(std::size_t font) const;

private:
  void checkFont(std::size_t font) const;

  std::vector<Font> m_fonts;
  Bytes m_trailer;
  std::vector<std::string> m_problems;
  bool m_loaded = false;
  mutable bool m_changed = false;
};

}  // namespace quillotide
