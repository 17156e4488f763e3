#include "models/Fonts.h"

#include <algorithm>
#include <optional>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/IndexedFile.h"
#include "app/Text.h"

namespace quillotide {

namespace {

std::string number(std::int64_t v) { return std::to_string(v); }

// One whole font at `at`, or nothing when the bytes end inside it; `at` moves past it.
std::optional<Font> readFont(std::span<const std::uint8_t> bytes, std::size_t& at) {
  std::size_t p = at;
  if (p >= bytes.size()) return std::nullopt;
  Font font;
  font.header = bytes[p++];
  for (FontChar& c : font.chars) {
    if (bytes.size() - p < 3) return std::nullopt;
    c.width = bytes[p];
    c.height = bytes[p + 1];
    c.third = bytes[p + 2];
    p += 3;
    const std::size_t n = std::size_t{c.width} * c.height;
    if ((bytes.size() - p) / 2 < n) return std::nullopt;
    c.pixels.resize(n);
    for (std::size_t k = 0; k < n; ++k) c.pixels[k] = loadU16(bytes.data() + p + 2 * k);
    p += 2 * n;
  }
  at = p;
  return font;
}

// Hex digits of three by five pixels for the codes of a sheet, bit 14 the top left pixel.
constexpr std::array<std::uint16_t, 16> kDigits = {
    0x7B6F, 0x2C97, 0x73E7, 0x72CF, 0x5BC9, 0x79CF, 0x79EF, 0x7249,
    0x7BEF, 0x7BCF, 0x2BED, 0x6BAE, 0x7927, 0x6B6E, 0x79E7, 0x79E4};

void drawDigit(Bitmap32& out, int x, int y, int digit, Pixel ink) {
  for (int row = 0; row < 5; ++row)
    for (int col = 0; col < 3; ++col)
      if (kDigits[static_cast<std::size_t>(digit)] & (1u << (14 - (row * 3 + col))))
        out.at(x + col, y + row) = ink;
}

void drawChar(Bitmap32& out, int x, int y, const FontChar& c) {
  for (int row = 0; row < c.height; ++row)
    for (int col = 0; col < c.width; ++col) {
      const std::uint16_t v = c.pixels[static_cast<std::size_t>(row) * c.width + static_cast<std::size_t>(col)];
      if (v != 0) out.at(x + col, y + row) = colour16ToPixel(static_cast<Colour16>(v & 0x7FFF));
    }
}

}  // namespace

void TFonts::load(const std::string& path) { loadBytes(readFile(path)); }

void TFonts::loadBytes(std::span<const std::uint8_t> bytes) {
  TFonts read;
  std::size_t at = 0;
  while (bytes.size() - at >= kMinFontBytes) {
    std::optional<Font> font = readFont(bytes, at);
    if (!font) {
      if (read.m_fonts.empty())
        throw FormatError(formatMessage(
            "fonts.mul holds no whole font: the first one ends past the end of its %d bytes.",
            {number(static_cast<std::int64_t>(bytes.size()))}));
      read.m_problems.push_back(formatMessage(
          "Font %d (at %d) is cut short by the end of fonts.mul; its %d bytes are kept as they "
          "are, after the %d whole fonts.",
          {number(static_cast<std::int64_t>(read.m_fonts.size())), number(static_cast<std::int64_t>(at)),
           number(static_cast<std::int64_t>(bytes.size() - at)),
           number(static_cast<std::int64_t>(read.m_fonts.size()))}));
      break;
    }
    read.m_fonts.push_back(std::move(*font));
  }
  if (read.m_fonts.empty())
    throw FormatError(formatMessage(
        "fonts.mul holds %d bytes: too few for one font (at least %d).",
        {number(static_cast<std::int64_t>(bytes.size())), number(kMinFontBytes)}));
  read.m_trailer.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end());
  read.m_loaded = true;
  *this = std::move(read);
}

Bytes TFonts::bytes() const {
  Bytes out;
  for (const Font& font : m_fonts) {
    out.push_back(font.header);
    for (const FontChar& c : font.chars) {
      out.push_back(c.width);
      out.push_back(c.height);
      out.push_back(c.third);
      const std::size_t at = out.size();
      out.resize(at + 2 * c.pixels.size());
      for (std::size_t k = 0; k < c.pixels.size(); ++k) storeU16(out.data() + at + 2 * k, c.pixels[k]);
    }
  }
  out.insert(out.end(), m_trailer.begin(), m_trailer.end());
  return out;
}

void TFonts::save(const std::string& path) const {
  if (!m_loaded) throw Error(notLoadedMessage("Fonts"));
  writeFileAtomic(path, bytes());
  m_changed = false;
}

void TFonts::checkFont(std::size_t font) const {
  if (!m_loaded) throw Error(notLoadedMessage("Fonts"));
  if (font >= m_fonts.size())
    throw Error(formatMessage("There is no font %d: fonts.mul holds %d (0 to %d).",
                              {number(static_cast<std::int64_t>(font)),
                               number(static_cast<std::int64_t>(m_fonts.size())),
                               number(static_cast<std::int64_t>(m_fonts.size()) - 1)}));
}

const Font& TFonts::font(std::size_t index) const {
  checkFont(index);
  return m_fonts[index];
}

const FontChar& TFonts::character(std::size_t font, int code) const {
  checkFont(font);
  if (code < Font::kFirstCode || code > 0xFF)
    throw Error(formatMessage("A font holds the characters 0x20 to 0xFF; %s is none of them.",
                              {hexLabel(static_cast<std::uint32_t>(code))}));
  return m_fonts[font].chars[static_cast<std::size_t>(code - Font::kFirstCode)];
}

Bitmap32 TFonts::picture(std::size_t font, int code) const {
  const FontChar& c = character(font, code);
  Bitmap32 out(c.width, c.height, 0);
  drawChar(out, 0, 0, c);
  return out;
}

void TFonts::setPicture(std::size_t font, int code, const Bitmap32& picture) {
  const FontChar& old = character(font, code);
  if (picture.width < 0 || picture.height < 0 || picture.width > 255 || picture.height > 255)
    throw Error(formatMessage("A character is at most 255 x 255 pixels; the picture is %d x %d.",
                              {number(picture.width), number(picture.height)}));
  FontChar c;
  c.width = static_cast<std::uint8_t>(picture.width);
  c.height = static_cast<std::uint8_t>(picture.height);
  c.third = old.third;
  c.pixels.resize(picture.pixels.size());
  std::transform(picture.pixels.begin(), picture.pixels.end(), c.pixels.begin(),
                 [](Pixel p) { return pixelToColour16(p, 0); });
  if (c == old) return;
  m_fonts[font].chars[static_cast<std::size_t>(code - Font::kFirstCode)] = std::move(c);
  m_changed = true;
}

Bitmap32 TFonts::renderText(std::size_t font, const std::string& text) const {
  checkFont(font);
  std::vector<int> codes;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t start = i;
    int code = '?';
    if (nextUtf8(text, i)) {
      try {
        const std::string b = toWindows1252(text.substr(start, i - start));
        code = static_cast<unsigned char>(b[0]);
      } catch (const Error&) {
      }
    } else {
      ++i;
    }
    codes.push_back(code < Font::kFirstCode ? '?' : code);
  }
  int width = 0, height = 0;
  for (int code : codes) {
    const FontChar& c = character(font, code);
    width += c.width;
    height = std::max(height, int{c.height});
  }
  Bitmap32 out(width, height, 0);
  int x = 0;
  for (int code : codes) {
    const FontChar& c = character(font, code);
    drawChar(out, x, 0, c);
    x += c.width;
  }
  return out;
}

Bitmap32 TFonts::sheet(std::size_t font) const {
  checkFont(font);
  int widest = 7, tallest = 1;
  for (const FontChar& c : m_fonts[font].chars) {
    widest = std::max(widest, int{c.width});
    tallest = std::max(tallest, int{c.height});
  }
  const int cellW = widest + 3;
  const int cellH = tallest + 9;
  const Pixel line = makePixel(160, 160, 160);
  const Pixel ink = makePixel(64, 64, 64);
  Bitmap32 out(16 * cellW + 1, 14 * cellH + 1, makePixel(255, 255, 255));
  for (int k = 0; k < Font::kChars; ++k) {
    const int x0 = (k % 16) * cellW;
    const int y0 = (k / 16) * cellH;
    for (int x = x0; x <= x0 + cellW; ++x) out.at(x, y0) = out.at(x, y0 + cellH) = line;
    for (int y = y0; y <= y0 + cellH; ++y) out.at(x0, y) = out.at(x0 + cellW, y) = line;
    const int code = k + Font::kFirstCode;
    drawDigit(out, x0 + 2, y0 + 2, code >> 4, ink);
    drawDigit(out, x0 + 6, y0 + 2, code & 15, ink);
    drawChar(out, x0 + 2, y0 + 8, m_fonts[font].chars[static_cast<std::size_t>(k)]);
  }
  return out;
}

}  // namespace quillotide
