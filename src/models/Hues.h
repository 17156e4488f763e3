#pragma once
// THues: the hue table of hues.mul. A hue entry is a ramp of 32 colours (0 darkest, 31 brightest),
// two table bounds nobody interprets and a 20-byte name. Entry e is the game's hue number e + 1
// (hue 0 means "no hue"). Entries come in blocks of 8 behind a 4-byte header; the headers and any
// bytes past the last whole block are kept, so loading and saving an untouched file gives back the
// same bytes.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/Bytes.h"
#include "app/Colour.h"
#include "models/HueChoice.h"

namespace quillotide {

// Which pixels of a picture take a hue.
enum class HuedPixels {
  NotZero,   // every pixel whose 32-bit value is not 0 (animation frames, static art)
  NotBlack,  // every pixel whose colour is not black (gumps, whose colour 0 is drawn opaque)
  All,       // every pixel, a red of 0 taking ramp colour 1 (textures under the selection tint)
};

struct HueEntry {
  static constexpr int kColourCount = 32;
  static constexpr std::size_t kNameSize = 20;

  std::array<Colour16, kColourCount> colours{};
  std::uint16_t tableStart = 0;
  std::uint16_t tableEnd = 0;
  // The name field as stored: text, then zero bytes; a 20-character name has no terminator.
  std::array<std::uint8_t, kNameSize> name{};

  // The name up to its first zero byte, as UTF-8 (the file holds Windows-1252).
  std::string nameText() const;
  // The first up to 20 characters of the UTF-8 text, the rest of the field zero. Throws Error
  // naming a character that Windows-1252 cannot hold; the name then stays as it was.
  void setNameText(const std::string& text);
  // The same for the 8-bit bytes as the file holds them (the hue text file keeps them so).
  std::string nameBytes() const;
  void setNameBytes(std::string_view bytes);
  bool operator==(const HueEntry&) const = default;
};

class THues {
 public:
  static constexpr std::size_t kEntrySize = 88;
  static constexpr std::size_t kEntriesPerBlock = 8;
  static constexpr std::size_t kBlockSize = 4 + kEntriesPerBlock * kEntrySize;  // 708

  // Reads the whole file; a second load replaces the table. Throws FileError when the file cannot
  // be read; the table then stays as it was.
  void load(const std::string& path);
  // The same from bytes already in memory (never throws for any content).
  void loadBytes(std::span<const std::uint8_t> bytes);
  // Replaces the file whole with toBytes(); throws Error when nothing was loaded.
  void save(const std::string& path) const;
  // Whole blocks of 8 entries with their headers, then the kept tail bytes.
  Bytes toBytes() const;
  bool isLoaded() const { return m_loaded; }

  // Number of entries (0 when not loaded).
  int hueCount() const { return static_cast<int>(m_entries.size()); }
  bool hasEntry(int e) const { return e >= 0 && e < hueCount(); }
  // A copy of entry e; nullopt when there is no such entry.
  std::optional<HueEntry> entry(int e) const;
  // Colour n (0..31) of entry e; nullopt when either lies outside the table.
  std::optional<Colour16> hueColour(int e, int n) const;
  // The name of entry e up to its first zero byte, as UTF-8; empty for an unknown entry.
  std::string hueName(int e) const;

  // The hued colour of a pixel: colour n of entry e, where n is the colour's 5-bit red. With
  // zeroAsOne (art and textures) n = 0 becomes 1; the hue preview uses n as is. An entry outside
  // the table leaves the colour unhued.
  Colour16 huedColour(int e, Colour16 c, bool zeroAsOne = true) const;
  Pixel huedPixel(int e, Pixel p, bool zeroAsOne = true) const;
  // A copy of the picture hued as chosen: each pixel that `which` names (and, for a partial hue,
  // is grey) becomes ramp colour n of the hue, n its 5-bit red. No hue, or one the table does not
  // hold, gives the picture unchanged.
  Bitmap32 huedPicture(const Bitmap32& picture, HueChoice hue, HuedPixels which) const;

  // Changes throw Error naming the entry or colour when it lies outside the table.
  void setHueColour(int e, int n, std::uint8_t r, std::uint8_t g, std::uint8_t b);
  void setHueColour16(int e, int n, Colour16 c);
  void setHueName(int e, const std::string& text);
  // Replaces colours 0..31 of entry e; name and table bounds stay ("<<<" of the hue page).
  void setColours(int e, const std::array<Colour16, HueEntry::kColourCount>& colours);
  void setEntry(int e, const HueEntry& entry);
  // Colours from..to of entry e on the straight line between colour from and colour to, each
  // channel rounded to nearest (ties to even) and cut to 5 bits. Throws Error unless
  // 0 <= from < to <= 31.
  void spreadHue(int from, int to, int e);

  // A hue as text: "Name", "TableStart", "TableEnd" lines, then one "Colour<k>" line per colour in
  // "0x%x" (the 16-bit value), TAB-separated.
  std::vector<std::string> hueText(int e) const;
  // Reads hueText's format; the lines may come in any order and any subset. Throws Error naming
  // the line and the field for a line it cannot read or a value the entry cannot hold (a number
  // outside 0..0xFFFF, a name of more than 20 characters); nothing changes then.
  void setHueText(int e, const std::vector<std::string>& lines);
  // Export and import of one hue: ".txt" as hueText; ".bmp" / ".png" as a strip of 32 columns of
  // 8 pixels each (import: any picture whose width is a multiple of 32; colour k is the middle
  // pixel of column k, cut to 16 bits).
  void exportHue(int e, const std::string& path) const;
  void importHue(int e, const std::string& path);

 private:
  HueEntry& checkedEntry(int e);
  const HueEntry& checkedEntry(int e) const;

  std::vector<HueEntry> m_entries;
  std::vector<std::uint32_t> m_blockHeaders;  // one per block of 8 entries
  Bytes m_tail;                               // bytes past the last whole block
  bool m_loaded = false;
};

}  // namespace quillotide
