#include "models/Gump.h"

#include <algorithm>
#include <vector>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Image.h"
#include "app/Text.h"
#include "app/UopPair.h"

namespace quillotide {

namespace GumpLayout {
// The row table counts 4-byte units from the start of the slot, and so do the runs.
constexpr std::size_t kUnit = 4;
constexpr std::size_t kRunColour = 0;  // u16 Colour16
constexpr std::size_t kRunLength = 2;  // u16 pixel count
}  // namespace GumpLayout

namespace {

// Pictures up to this many pixels are drawn whatever their runs cover; a larger picture must be
// backed by runs that can fill it, so a lying `extra` cannot make a small slot allocate gigabytes.
constexpr std::int64_t kUncheckedPixels = 2048 * 2048;
// Writing far beyond the index would grow it by gigabytes of empty records.
constexpr std::int64_t kMaxNewSlot = 0x100000;

std::string num(std::int64_t v) { return std::to_string(v); }

// Refuses a save that would write a full slot its readers cannot take back (see gumpSizeFits),
// naming every such slot, before any file is touched.
void requireSizedSlots(const IndexedFile& files, bool inContainer) {
  std::vector<std::int64_t> unsized;
  const std::vector<IndexRecord> records = files.records(0, files.recordCount());
  for (std::size_t n = 0; n < records.size(); ++n)
    if (!records[n].isEmpty() && !gumpSizeFits(records[n].extra, inContainer))
      unsized.push_back(static_cast<std::int64_t>(n));
  if (!unsized.empty()) throw Error(gumpSizeMessage(unsized, inContainer));
}

}  // namespace

Bitmap32 decodeGump(std::span<const std::uint8_t> bytes, int width, int height,
                    std::int64_t* strayPixels) {
  using namespace GumpLayout;
  if (width <= 0 || height <= 0 || width > kMaxGumpSide || height > kMaxGumpSide)
    throw FormatError(
        formatMessage("Its size %dx%d is not a picture size.", {num(width), num(height)}));
  const std::size_t units = bytes.size() / kUnit;
  const auto rows = static_cast<std::size_t>(height);
  if (rows > units)
    throw FormatError(formatMessage("Its row table of %d rows needs %d bytes, but the slot has %d.",
                                    {num(height), num(static_cast<std::int64_t>(rows * kUnit)),
                                     num(static_cast<std::int64_t>(bytes.size()))}));

  // Every row's runs must lie between the row table and the end of the slot, in row order.
  const std::uint8_t* table = bytes.data();
  std::uint32_t previous = 0;
  for (std::size_t r = 0; r < rows; ++r) {
    const std::uint32_t start = loadU32(table + r * kUnit);
    if (start < rows || start > units)
      throw FormatError(formatMessage(
          "Row %d starts at unit %d, outside the runs (units %d to %d).",
          {num(static_cast<std::int64_t>(r)), num(start), num(static_cast<std::int64_t>(rows)),
           num(static_cast<std::int64_t>(units))}));
    if (r > 0 && start < previous)
      throw FormatError(formatMessage(
          "Row %d starts before row %d.",
          {num(static_cast<std::int64_t>(r)), num(static_cast<std::int64_t>(r - 1))}));
    previous = start;
  }

  const std::int64_t pixels = static_cast<std::int64_t>(width) * height;
  if (pixels > kUncheckedPixels) {
    std::int64_t covered = 0;
    for (std::size_t u = loadU32(table); u < units; ++u)
      covered += loadU16(bytes.data() + u * kUnit + kRunLength);
    if (covered < pixels)
      throw FormatError(
          formatMessage("Its size %dx%d is larger than its runs can fill (%d pixels).",
                        {num(width), num(height), num(covered)}));
  }

  // Runs are short (a few pixels), so the usual run is written as one fixed block of kBlock pixels
  // and the write position moves on by its length: no loop whose end depends on the run. What a
  // block writes past its run is overwritten by the next run, or by the next row, which is always
  // written whole from its left edge; the part of a row its runs leave uncovered is set to 0 at the
  // row's end. Runs that are long, that leave their row, or that end near the picture's end take
  // the exact path.
  constexpr std::ptrdiff_t kBlock = 16;
  const auto rowWidth = static_cast<std::ptrdiff_t>(width);
  Bitmap32 picture(width, height, 0);
  Pixel* const first = picture.pixels.data();
  Pixel* const last = first + picture.pixels.size();
  std::int64_t stray = 0;
  for (std::size_t r = 0; r < rows; ++r) {
    const std::size_t begin = loadU32(table + r * kUnit);
    const std::size_t end = r + 1 < rows ? loadU32(table + (r + 1) * kUnit) : units;
    Pixel* p = first + static_cast<std::ptrdiff_t>(r) * rowWidth;
    Pixel* const rowEnd = p + rowWidth;
    for (const std::uint8_t* run = bytes.data() + begin * kUnit;
         run != bytes.data() + end * kUnit; run += kUnit) {
      const std::ptrdiff_t n = loadU16(run + kRunLength);
      const Pixel colour = colour16ToPixel(loadU16(run + kRunColour));
      if (n <= kBlock && n <= rowEnd - p && last - p >= kBlock) {
        std::fill_n(p, kBlock, colour);
        p += n;
      } else {
        const std::ptrdiff_t inside = std::min(n, rowEnd - p);
        std::fill_n(p, inside, colour);
        p += inside;
        stray += n - inside;
      }
    }
    std::fill(p, rowEnd, Pixel{0});
  }
  if (strayPixels) *strayPixels = stray;
  return picture;
}

Bytes encodeGump(const Bitmap32& picture) {
  using namespace GumpLayout;
  const int width = picture.width;
  const int height = picture.height;
  if (picture.empty())
    throw Error(formatMessage("A picture of %dx%d pixels cannot be stored as a gump.",
                              {num(width), num(height)}));
  if (width > kMaxGumpSide || height > kMaxGumpSide)
    throw Error(formatMessage(
        "The picture is %dx%d pixels; a gump can be at most 65535 pixels wide and 65535 high.",
        {num(width), num(height)}));

  // All runs are collected before anything is written, so the slot is appended in one piece.
  // Each run is packed as colour | length << 16; a run never exceeds the width, so 16 bits hold it.
  std::vector<std::uint32_t> runs;
  runs.reserve(static_cast<std::size_t>(height) * 4);
  std::vector<std::uint32_t> rowEnds(static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    const Pixel* row =
        picture.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    int x = 0;
    while (x < width) {
      // Fully transparent pixels become colour 0, which the game leaves undrawn.
      const Colour16 c = pixelToColour16(row[x], 0);
      int end = x + 1;
      while (end < width && pixelToColour16(row[end], 0) == c) ++end;
      runs.push_back(static_cast<std::uint32_t>(c) | (static_cast<std::uint32_t>(end - x) << 16));
      x = end;
    }
    rowEnds[static_cast<std::size_t>(y)] = static_cast<std::uint32_t>(runs.size());
  }

  const std::uint64_t size = (static_cast<std::uint64_t>(height) + runs.size()) * kUnit;
  if (size > 0x7FFFFFFFull)
    throw Error(formatMessage("The picture of %dx%d pixels needs more than 2 GB as a gump.",
                              {num(width), num(height)}));
  Bytes out(static_cast<std::size_t>(size));
  std::uint8_t* p = out.data();
  std::uint32_t unit = static_cast<std::uint32_t>(height);
  for (int y = 0; y < height; ++y) {
    storeU32(p, unit);
    p += kUnit;
    unit = static_cast<std::uint32_t>(height) + rowEnds[static_cast<std::size_t>(y)];
  }
  for (const std::uint32_t run : runs) {
    storeU16(p + kRunColour, static_cast<std::uint16_t>(run & 0xFFFF));
    storeU16(p + kRunLength, static_cast<std::uint16_t>(run >> 16));
    p += kUnit;
  }
  return out;
}

void TGump::load(const std::string& indexPath, const std::string& dataPath) {
  if (isUopPair(indexPath, dataPath)) return loadUop(indexPath);
  m_files.load(indexPath, dataPath, StorageMode::Memory);
}

bool TGump::save(const std::string& indexPath, const std::string& dataPath) const {
  if (!isLoaded()) throw Error(notLoadedMessage("Gump"));
  if (isUopPair(indexPath, dataPath)) {
    saveUop(indexPath);
    return true;
  }
  requireDistinctTargets(indexPath, dataPath);
  requireSizedSlots(m_files, false);
  return m_files.save(indexPath, dataPath);
}

void TGump::loadUop(const std::string& path) { m_files.loadUop(path, uopForm(UopFamily::Gump)); }

void TGump::saveUop(const std::string& path) const {
  if (!isLoaded()) throw Error(notLoadedMessage("Gump"));
  requireSizedSlots(m_files, true);
  m_files.saveUop(path, uopForm(UopFamily::Gump));
}

int TGump::gumpWidth(std::int64_t g) const {
  const auto r = m_files.record(g);
  return r ? gumpWidthOf(r->extra) : 0;
}

int TGump::gumpHeight(std::int64_t g) const {
  const auto r = m_files.record(g);
  return r ? gumpHeightOf(r->extra) : 0;
}

Bitmap32 TGump::gumpPicture(std::int64_t g, std::string* problem) const {
  if (problem) problem->clear();
  const auto r = m_files.record(g);
  if (!r || r->isEmpty()) {
    if (const auto why = gumpUnreadable(g); why && problem) *problem = *why;
    return {};
  }
  const std::string label = hexLabel(static_cast<std::uint32_t>(g));
  try {
    // Memory copies are decoded in place; the codec itself never reads outside the span.
    Bytes copy;
    std::span<const std::uint8_t> bytes;
    if (const auto view = m_files.dataView(*r)) {
      bytes = *view;
    } else {
      copy = m_files.readData(*r);
      bytes = copy;
    }
    std::int64_t stray = 0;
    Bitmap32 picture = decodeGump(bytes, gumpWidthOf(r->extra), gumpHeightOf(r->extra), &stray);
    if (stray > 0 && problem)
      *problem = formatMessage(
          "Gump %s is damaged: %d pixels lie outside its %dx%d picture and were skipped.",
          {label, num(stray), num(picture.width), num(picture.height)});
    return picture;
  } catch (const FormatError& e) {
    throw FormatError(formatMessage("Gump %s is damaged: %s", {label, e.what()}));
  }
}

void TGump::writeGump(std::int64_t g, const Bitmap32& picture) {
  if (!isLoaded()) throw Error(notLoadedMessage("Gump"));
  if (g < 0 || (g >= gumpCount() && g >= kMaxNewSlot))
    throw Error(formatMessage("Gump slot %s is out of range.", {num(g)}));
  const Bytes bytes = encodeGump(picture);
  m_files.writeSlot(g, bytes, gumpExtra(picture.width, picture.height));
}

void TGump::importGump(std::int64_t g, const std::string& picturePath) {
  if (!isLoaded()) throw Error(notLoadedMessage("Gump"));
  writeGump(g, readImageFile(picturePath));
}

void TGump::deleteGump(std::int64_t g) {
  if (!isLoaded()) throw Error(notLoadedMessage("Gump"));
  m_files.deleteSlot(g);
}

std::vector<std::int64_t> TGump::rebuild(const std::string& indexPath, const std::string& dataPath,
                                         Progress& progress, Random& random,
                                         bool skipDamaged) const {
  if (!isLoaded()) throw Error(notLoadedMessage("Gump"));
  try {
    return m_files.rebuild(indexPath, dataPath, progress, random, skipDamaged);
  } catch (const DamagedSlotError& e) {
    throw e.named("Gump " + hexLabel(static_cast<std::uint32_t>(e.slot())));
  }
}

}  // namespace quillotide
