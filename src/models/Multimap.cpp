#include "models/Multimap.h"

#include <algorithm>
#include <set>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/IndexedFile.h"
#include "app/Png.h"
#include "app/Text.h"

namespace quillotide {

namespace {

constexpr std::int64_t kMaxSide = 65536;
constexpr Pixel kOn = makePixel(0, 0, 0);
constexpr Pixel kOff = makePixel(255, 255, 255);

std::string number(std::int64_t v) { return std::to_string(v); }

std::string tooLarge(std::int64_t pixels) {
  return formatMessage("Multimap.rle: a picture of %d pixels is larger than this program reads "
                       "(at most %d).",
                       {number(pixels), number(TMultimap::kMaxPixels)});
}

}  // namespace

void TMultimap::load(const std::string& path, std::optional<int> colourWidth) {
  loadBytes(readFile(path), colourWidth);
}

void TMultimap::loadBytes(std::span<const std::uint8_t> bytes, std::optional<int> colourWidth) {
  // A colour map of one or two runs (a small picture of few colours) is shorter than a head.
  const bool colourOnly = bytes.size() < 8 && !bytes.empty() && bytes.size() % 3 == 0;
  if (bytes.size() < 8 && !colourOnly)
    throw FormatError(formatMessage(
        "Multimap.rle holds %d bytes: too few for a picture (a monochrome map begins with 8).",
        {number(static_cast<std::int64_t>(bytes.size()))}));
  TMultimap read;
  const auto w = colourOnly ? 0 : static_cast<std::int32_t>(loadU32(bytes.data()));
  const auto h = colourOnly ? 0 : static_cast<std::int32_t>(loadU32(bytes.data() + 4));
  if (w >= 1 && w <= kMaxSide && h >= 1 && h <= kMaxSide)
    read.readMonochrome(bytes.subspan(8), w, h);
  else
    read.readColour(bytes, colourWidth);
  read.m_loaded = true;
  *this = std::move(read);
}

void TMultimap::readMonochrome(std::span<const std::uint8_t> runs, int width, int height) {
  const std::int64_t total = std::int64_t{width} * height;
  if (total > kMaxPixels) throw FormatError(tooLarge(total));
  // Runs that stop short of the size are a cut or foreign file, not a picture with a blank end:
  // refused before the picture is allocated, so a few bytes cannot claim a huge one.
  std::int64_t covered = 0;
  for (const std::uint8_t run : runs) covered += run & 0x7F;
  if (covered < total)
    throw FormatError(formatMessage("Multimap.rle: its runs cover %d of its %d x %d pixels.",
                                    {number(covered), number(width), number(height)}));
  m_layout = MultimapLayout::Monochrome;
  m_width = width;
  m_height = height;
  m_on.assign(static_cast<std::size_t>(total), 0);
  std::int64_t at = 0, zeroRuns = 0, beyond = 0;
  for (const std::uint8_t run : runs) {
    const std::int64_t count = run & 0x7F;
    if (count == 0) ++zeroRuns;
    const std::int64_t inside = std::clamp<std::int64_t>(total - at, 0, count);
    if (run & 0x80)
      std::fill_n(m_on.begin() + static_cast<std::ptrdiff_t>(at), static_cast<std::size_t>(inside),
                  std::uint8_t{1});
    beyond += count - inside;
    at += inside;
  }
  if (beyond > 0)
    m_problems.push_back(formatMessage(
        "Multimap.rle runs on for %d pixels past its %d x %d; they are left out.",
        {number(beyond), number(width), number(height)}));
  if (zeroRuns > 0)
    m_problems.push_back(formatMessage("Multimap.rle holds %d runs of no pixels; a save drops them.",
                                       {number(zeroRuns)}));
}

void TMultimap::readColour(std::span<const std::uint8_t> bytes, std::optional<int> width) {
  if (bytes.size() % 3 != 0)  // only reached with a head of 8 bytes
    throw FormatError(formatMessage(
        "Multimap.rle is no picture: its head gives no size from 1 to 65536 (%d x %d), and its %d "
        "bytes are no whole number of colour runs.",
        {number(static_cast<std::int32_t>(loadU32(bytes.data()))),
         number(static_cast<std::int32_t>(loadU32(bytes.data() + 4))),
         number(static_cast<std::int64_t>(bytes.size()))}));
  std::vector<std::int64_t> ends;  // the pixel after each run
  ends.reserve(bytes.size() / 3);
  std::int64_t total = 0;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    if (bytes[i] == 0)
      throw FormatError(formatMessage("Multimap.rle: colour run %d (offset %d) holds no pixels.",
                                      {number(static_cast<std::int64_t>(i / 3)),
                                       number(static_cast<std::int64_t>(i))}));
    total += bytes[i];
    if (total > kMaxPixels) throw FormatError(tooLarge(total));
    ends.push_back(total);
  }
  // Every row end must be a run end: the narrowest width where that holds, or the one given.
  std::vector<std::uint8_t> isEnd(static_cast<std::size_t>(total) + 1, 0);
  for (const std::int64_t e : ends) isEnd[static_cast<std::size_t>(e)] = 1;
  const auto rowsEndRuns = [&](std::int64_t w) {
    for (std::int64_t k = w; k < total; k += w)
      if (!isEnd[static_cast<std::size_t>(k)]) return false;
    return true;
  };
  std::int64_t chosen = 0;
  if (width) {
    if (*width < 1 || *width > kMaxSide || total % *width != 0)
      throw FormatError(formatMessage(
          "Multimap.rle: its %d pixels make no whole rows of %d.", {number(total), number(*width)}));
    chosen = *width;
    if (!rowsEndRuns(chosen))
      m_problems.push_back(formatMessage(
          "Multimap.rle: runs cross the ends of rows %d pixels wide; a save cuts them there.",
          {number(chosen)}));
  } else {
    for (std::int64_t w = 1; w <= std::min(total, kMaxSide) && chosen == 0; ++w)
      if (total % w == 0 && total / w <= kMaxSide && rowsEndRuns(w)) chosen = w;
    if (chosen == 0)
      throw FormatError(formatMessage(
          "Multimap.rle: no width up to 65536 makes whole rows of its %d colour pixels.",
          {number(total)}));
  }
  m_layout = MultimapLayout::Colour;
  m_widthInferred = !width;
  m_width = static_cast<int>(chosen);
  m_height = static_cast<int>(total / chosen);
  m_colour.resize(static_cast<std::size_t>(total));
  std::size_t at = 0;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::fill_n(m_colour.begin() + static_cast<std::ptrdiff_t>(at), bytes[i],
                loadU16(bytes.data() + i + 1));
    at += bytes[i];
  }
}

Bytes TMultimap::bytes() const {
  Bytes out;
  if (!m_loaded) return out;
  if (m_layout == MultimapLayout::Monochrome) {
    out.resize(8);
    storeU32(out.data(), static_cast<std::uint32_t>(m_width));
    storeU32(out.data() + 4, static_cast<std::uint32_t>(m_height));
    std::size_t i = 0;
    while (i < m_on.size()) {
      const std::uint8_t value = m_on[i];
      std::size_t n = 1;
      while (n < 127 && i + n < m_on.size() && m_on[i + n] == value) ++n;
      out.push_back(static_cast<std::uint8_t>((value ? 0x80 : 0) | n));
      i += n;
    }
    return out;
  }
  const auto w = static_cast<std::size_t>(m_width);
  for (std::size_t row = 0; row < static_cast<std::size_t>(m_height); ++row) {
    std::size_t i = row * w;
    const std::size_t end = i + w;
    while (i < end) {
      const std::uint16_t value = m_colour[i];
      std::size_t n = 1;
      while (n < 255 && i + n < end && m_colour[i + n] == value) ++n;
      out.push_back(static_cast<std::uint8_t>(n));
      out.push_back(static_cast<std::uint8_t>(value & 0xFF));
      out.push_back(static_cast<std::uint8_t>(value >> 8));
      i += n;
    }
  }
  return out;
}

void TMultimap::save(const std::string& path) const {
  if (!m_loaded) throw Error(notLoadedMessage("Multimap"));
  writeFileAtomic(path, bytes());
  m_changed = false;
}

std::int64_t TMultimap::pixelsOn() const {
  return static_cast<std::int64_t>(std::count(m_on.begin(), m_on.end(), std::uint8_t{1}));
}

std::int64_t TMultimap::colourCount() const {
  return static_cast<std::int64_t>(std::set<std::uint16_t>(m_colour.begin(), m_colour.end()).size());
}

Bitmap32 TMultimap::picture() const {
  Bitmap32 out(m_width, m_height);
  if (m_layout == MultimapLayout::Monochrome)
    std::transform(m_on.begin(), m_on.end(), out.pixels.begin(),
                   [](std::uint8_t on) { return on ? kOn : kOff; });
  else
    std::transform(m_colour.begin(), m_colour.end(), out.pixels.begin(),
                   [](std::uint16_t c) { return colour16ToPixel(static_cast<Colour16>(c & 0x7FFF)); });
  return out;
}

void TMultimap::setPicture(const Bitmap32& picture) {
  if (!m_loaded) throw Error(notLoadedMessage("Multimap"));
  if (picture.width != m_width || picture.height != m_height)
    throw Error(formatMessage("The picture is %d x %d; Multimap.rle is %d x %d.",
                              {number(picture.width), number(picture.height), number(m_width),
                               number(m_height)}));
  if (m_layout == MultimapLayout::Monochrome) {
    std::transform(picture.pixels.begin(), picture.pixels.end(), m_on.begin(), [](Pixel p) {
      return static_cast<std::uint8_t>(redOf(p) + greenOf(p) + blueOf(p) < 3 * 128 ? 1 : 0);
    });
  } else {
    std::transform(picture.pixels.begin(), picture.pixels.end(), m_colour.begin(), [](Pixel p) {
      return static_cast<std::uint16_t>(pixelToColour16(p) | 0x8000);
    });
  }
  m_changed = true;
}

void TMultimap::exportPng(const std::string& path) const {
  if (!m_loaded) throw Error(notLoadedMessage("Multimap"));
  writePngFile(path, picture());
}

void TMultimap::importPng(const std::string& path) { setPicture(readPngFile(path)); }

}  // namespace quillotide
