#pragma once
// TMultimap: the overview picture of the world in Multimap.rle, in either of its two layouts.
//
// Monochrome: an 8-byte head (i32 width, i32 height, each 1 .. 65536), then one byte per run:
// bit 7 the pixel (1 = on, drawn black), bits 0-6 the count. Pixels fill the picture left to
// right and top to bottom, and a run goes on across the end of a row. The client's own file is
// the greedy encoding (runs of at most 127, cut only where the pixel changes), which a save
// writes, so an unchanged picture saves byte for byte.
//
// Colour: no head; runs of three bytes, a count 1 .. 255 and an RGB555 colour with bit 15 set,
// row by row (no run crosses the end of a row). The width is not stored: it is the narrowest
// width at which every row end is a run end, unless the caller gives one. A file is read in this
// layout only when its first eight bytes are no picture size, which colours with bit 15 set never
// are.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/Bytes.h"
#include "app/Colour.h"

namespace quillotide {

enum class MultimapLayout { Monochrome, Colour };

class TMultimap {
public:
  // The largest picture read, in pixels: eight times the largest map of the game, well beyond
  // any overview the client draws.
  static constexpr std::int64_t kMaxPixels = std::int64_t{1} << 27;

  // Throws FileError when the file cannot be read and FormatError when it is neither layout (or
  // a colour file fits no width); the model keeps what it had. `colourWidth` sets the width of
  // a colour file instead of finding it.
  void load(const std::string& path, std::optional<int> colourWidth = std::nullopt);
  void loadBytes(std::span<const std::uint8_t> bytes, std::optional<int> colourWidth = std::nullopt);
  // The encoding of the picture in its layout; a save replaces the file whole.
  Bytes bytes() const;
  void save(const std::string& path) const;
  bool isLoaded() const { return m_loaded; }
  bool isChanged() const { return m_changed; }

  MultimapLayout layout() const { return m_layout; }
  int width() const { return m_width; }
  int height() const { return m_height; }
  // Whether the width of a colour file was found from its runs rather than given to the load.
  bool widthInferred() const { return m_widthInferred; }
  // What the load found and mended: runs past the head's size, runs of count 0. Empty for a file
  // that saves back byte for byte. (Runs that stop short of the size are refused.)
  const std::vector<std::string>& problems() const { return m_problems; }
  // Pixels switched on (monochrome) or the number of distinct colours (colour).
  std::int64_t pixelsOn() const;
  std::int64_t colourCount() const;

  // The picture: on pixels black and off pixels white, or each colour as it is drawn.
  Bitmap32 picture() const;
  // Takes a picture of the same size: a monochrome pixel is on when it is dark (the mean of its
  // red, green and blue below 128), a colour is reduced to RGB555. Throws Error naming both sizes
  // otherwise; nothing changes then.
  void setPicture(const Bitmap32& picture);
  void exportPng(const std::string& path) const;
  void importPng(const std::string& path);

private:
  void readMonochrome(std::span<const std::uint8_t> bytes, int width, int height);
  void readColour(std::span<const std::uint8_t> bytes, std::optional<int> width);

  MultimapLayout m_layout = MultimapLayout::Monochrome;
  int m_width = 0;
  int m_height = 0;
  std::vector<std::uint8_t> m_on;       // monochrome: 0 or 1 per pixel
  std::vector<std::uint16_t> m_colour;  // colour: the stored value per pixel
  std::vector<std::string> m_problems;
  bool m_loaded = false;
  bool m_widthInferred = false;
  mutable bool m_changed = false;
};

}  // namespace quillotide
