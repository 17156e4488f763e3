#include "models/Hues.h"

#include <cmath>

#include "app/FileIO.h"
#include "app/Image.h"
#include "app/IndexedFile.h"
#include "app/Text.h"

namespace quillotide {

namespace HuesLayout {
constexpr std::size_t kHeaderSize = 4;
constexpr std::size_t kColoursOffset = 0;
constexpr std::size_t kTableStartOffset = 64;
constexpr std::size_t kTableEndOffset = 66;
constexpr std::size_t kNameOffset = 68;
constexpr int kStripColumnWidth = 8;
constexpr int kStripHeight = 16;
}  // namespace HuesLayout

using namespace HuesLayout;

std::string HueEntry::nameBytes() const {
  std::size_t len = 0;
  while (len < kNameSize && name[len] != 0) ++len;
  return std::string(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(len));
}

void HueEntry::setNameBytes(std::string_view bytes) {
  name.fill(0);
  std::copy_n(bytes.begin(), std::min(bytes.size(), kNameSize), name.begin());
}

std::string HueEntry::nameText() const { return fromWindows1252(nameBytes()); }

void HueEntry::setNameText(const std::string& text) { setNameBytes(toWindows1252(text)); }

void THues::load(const std::string& path) {
  const Bytes bytes = readFile(path);
  loadBytes(bytes);
}

void THues::loadBytes(std::span<const std::uint8_t> bytes) {
  const std::size_t blocks = bytes.size() / kBlockSize;
  std::vector<HueEntry> entries;
  std::vector<std::uint32_t> headers;
  entries.reserve(blocks * kEntriesPerBlock);
  headers.reserve(blocks);
  for (std::size_t b = 0; b < blocks; ++b) {
    const std::uint8_t* block = bytes.data() + b * kBlockSize;
    headers.push_back(loadU32(block));
    for (std::size_t k = 0; k < kEntriesPerBlock; ++k) {
      const std::uint8_t* p = block + kHeaderSize + k * kEntrySize;
      HueEntry e;
      for (int n = 0; n < HueEntry::kColourCount; ++n)
        e.colours[static_cast<std::size_t>(n)] =
            loadU16(p + kColoursOffset + 2 * static_cast<std::size_t>(n));
      e.tableStart = loadU16(p + kTableStartOffset);
      e.tableEnd = loadU16(p + kTableEndOffset);
      std::copy_n(p + kNameOffset, HueEntry::kNameSize, e.name.begin());
      entries.push_back(e);
    }
  }
  m_entries = std::move(entries);
  m_blockHeaders = std::move(headers);
  m_tail.assign(bytes.begin() + static_cast<std::ptrdiff_t>(blocks * kBlockSize), bytes.end());
  m_loaded = true;
}

Bytes THues::toBytes() const {
  const std::size_t blocks = m_entries.size() / kEntriesPerBlock;
  ByteWriter w(blocks * kBlockSize + m_tail.size());
  for (std::size_t b = 0; b < blocks; ++b) {
    w.u32(b < m_blockHeaders.size() ? m_blockHeaders[b] : 0);
    for (std::size_t k = 0; k < kEntriesPerBlock; ++k) {
      const HueEntry& e = m_entries[b * kEntriesPerBlock + k];
      for (Colour16 c : e.colours) w.u16(c);
      w.u16(e.tableStart);
      w.u16(e.tableEnd);
      w.bytes(e.name);
    }
  }
  w.bytes(m_tail);
  return w.take();
}

void THues::save(const std::string& path) const {
  if (!m_loaded) throw Error(notLoadedMessage("Hues"));
  writeFileAtomic(path, toBytes());
}

std::optional<HueEntry> THues::entry(int e) const {
  if (!hasEntry(e)) return std::nullopt;
  return m_entries[static_cast<std::size_t>(e)];
}

std::optional<Colour16> THues::hueColour(int e, int n) const {
  if (!hasEntry(e) || n < 0 || n >= HueEntry::kColourCount) return std::nullopt;
  return m_entries[static_cast<std::size_t>(e)].colours[static_cast<std::size_t>(n)];
}

std::string THues::hueName(int e) const {
  return hasEntry(e) ? m_entries[static_cast<std::size_t>(e)].nameText() : std::string();
}

Colour16 THues::huedColour(int e, Colour16 c, bool zeroAsOne) const {
  if (!hasEntry(e)) return c;
  int n = (c >> 10) & 31;
  if (n == 0 && zeroAsOne) n = 1;
  return m_entries[static_cast<std::size_t>(e)].colours[static_cast<std::size_t>(n)];
}

Pixel THues::huedPixel(int e, Pixel p, bool zeroAsOne) const {
  if (!hasEntry(e)) return p;
  int n = redOf(p) >> 3;
  if (n == 0 && zeroAsOne) n = 1;
  return colour16ToPixel(
      m_entries[static_cast<std::size_t>(e)].colours[static_cast<std::size_t>(n)]);
}

HueEntry& THues::checkedEntry(int e) {
  return const_cast<HueEntry&>(static_cast<const THues*>(this)->checkedEntry(e));
}

const HueEntry& THues::checkedEntry(int e) const {
  if (!hasEntry(e))
    throw Error("Hue entry " + hexLabel(static_cast<std::uint32_t>(e)) +
                " does not exist (the table has " + std::to_string(hueCount()) + " entries).");
  return m_entries[static_cast<std::size_t>(e)];
}

namespace {
void checkColourIndex(int n) {
  if (n < 0 || n >= HueEntry::kColourCount)
    throw Error("Colour " + std::to_string(n) + " does not exist (a hue has colours 0 to 31).");
}
}  // namespace

void THues::setHueColour(int e, int n, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  setHueColour16(e, n, rgbToColour16(r, g, b));
}

void THues::setHueColour16(int e, int n, Colour16 c) {
  HueEntry& entry = checkedEntry(e);
  checkColourIndex(n);
  entry.colours[static_cast<std::size_t>(n)] = c;
}

void THues::setHueName(int e, const std::string& text) { checkedEntry(e).setNameText(text); }

void THues::setColours(int e, const std::array<Colour16, HueEntry::kColourCount>& colours) {
  checkedEntry(e).colours = colours;
}

void THues::setEntry(int e, const HueEntry& entry) { checkedEntry(e) = entry; }

void THues::spreadHue(int from, int to, int e) {
  HueEntry& entry = checkedEntry(e);
  checkColourIndex(from);
  checkColourIndex(to);
  if (from >= to)
    throw Error("A spread needs a first colour below the last (" + std::to_string(from) + " to " +
                std::to_string(to) + ").");
  const Pixel a = colour16ToPixel(entry.colours[static_cast<std::size_t>(from)]);
  const Pixel b = colour16ToPixel(entry.colours[static_cast<std::size_t>(to)]);
  const double span = to - from;
  auto line = [&](int ca, int cb, int k) {
    const double d = cb - ca;
    const double c = (ca + cb - (from + to) * d / span) * 0.5;
    // nearbyint rounds ties to even in the default rounding mode.
    const double v = std::nearbyint(k * d / span + c);
    return static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
  };
  for (int k = from; k <= to; ++k)
    entry.colours[static_cast<std::size_t>(k)] =
        rgbToColour16(line(redOf(a), redOf(b), k), line(greenOf(a), greenOf(b), k),
                      line(blueOf(a), blueOf(b), k));
}

std::vector<std::string> THues::hueText(int e) const {
  const HueEntry& entry = checkedEntry(e);
  std::vector<std::string> lines;
  lines.push_back("Name\t" + entry.nameBytes());
  lines.push_back("TableStart\t" + hexLabel(entry.tableStart));
  lines.push_back("TableEnd\t" + hexLabel(entry.tableEnd));
  for (int n = 0; n < HueEntry::kColourCount; ++n)
    lines.push_back("Colour" + std::to_string(n) + "\t" +
                    hexLabel(entry.colours[static_cast<std::size_t>(n)]));
  return lines;
}

void THues::setHueText(int e, const std::vector<std::string>& lines) {
  HueEntry entry = checkedEntry(e);
  int lineNumber = 0;
  for (const std::string& line : lines) {
    ++lineNumber;
    if (line.empty()) continue;
    const auto tab = line.find('\t');
    const std::string key = line.substr(0, tab);
    const std::string value = tab == std::string::npos ? std::string() : line.substr(tab + 1);
    auto fail = [&](const std::string& why) {
      throw Error("Hue text line " + std::to_string(lineNumber) + ": " + why);
    };
    if (tab == std::string::npos) fail("no TAB between name and value");
    const std::string field = "field \"" + key + "\": ";
    if (key == "Name") {
      // Refused, not cut: the file holds 20 characters.
      if (value.size() > HueEntry::kNameSize)
        fail(field + "'" + fromWindows1252(value) + "' has " + std::to_string(value.size()) +
             " characters; a hue name holds at most " + std::to_string(HueEntry::kNameSize) + ".");
      entry.setNameBytes(value);
      continue;
    }
    const auto v = tryParseInt(value);
    if (!v) fail(field + formatMessage("'%s' is not a valid integer value", {value}));
    if (*v < 0 || *v > 0xFFFF) fail(field + "'" + value + "' does not fit 0 to 65535.");
    const auto v16 = static_cast<std::uint16_t>(*v);
    if (key == "TableStart") {
      entry.tableStart = v16;
    } else if (key == "TableEnd") {
      entry.tableEnd = v16;
    } else if (key.rfind("Colour", 0) == 0) {
      const auto n = tryParseInt(key.substr(6));
      if (!n || *n < 0 || *n >= HueEntry::kColourCount || key.size() == 6)
        fail("unknown colour '" + key + "'");
      entry.colours[static_cast<std::size_t>(*n)] = v16;
    } else {
      fail("unknown field '" + key + "'");
    }
  }
  checkedEntry(e) = entry;
}

void THues::exportHue(int e, const std::string& path) const {
  const auto dot = path.find_last_of("./");
  if (dot != std::string::npos && path[dot] == '.' && toUpper(path.substr(dot)) == ".TXT") {
    writeTextLines(path, hueText(e));
    return;
  }
  const HueEntry& entry = checkedEntry(e);
  Bitmap32 strip(HueEntry::kColourCount * kStripColumnWidth, kStripHeight);
  for (int y = 0; y < strip.height; ++y)
    for (int x = 0; x < strip.width; ++x)
      strip.at(x, y) =
          colour16ToPixel(entry.colours[static_cast<std::size_t>(x / kStripColumnWidth)]);
  writeImageFile(path, strip);
}

void THues::importHue(int e, const std::string& path) {
  checkedEntry(e);
  const auto dot = path.find_last_of("./");
  if (dot != std::string::npos && path[dot] == '.' && toUpper(path.substr(dot)) == ".TXT") {
    setHueText(e, readTextLines(path));
    return;
  }
  const Bitmap32 strip = readImageFile(path);
  if (strip.width % HueEntry::kColourCount != 0)
    throw Error(path +
                ": a hue picture needs a width that is a multiple of 32 (one column per "
                "colour), not " +
                std::to_string(strip.width) + ".");
  const int column = strip.width / HueEntry::kColourCount;
  std::array<Colour16, HueEntry::kColourCount> colours{};
  for (int n = 0; n < HueEntry::kColourCount; ++n)
    colours[static_cast<std::size_t>(n)] =
        pixelToColour16(strip.at(n * column + column / 2, strip.height / 2));
  setColours(e, colours);
}

Bitmap32 THues::huedPicture(const Bitmap32& picture, HueChoice hue, HuedPixels which) const {
  Bitmap32 hued = picture;
  const std::optional<int> e = hue.tableEntry();
  if (!e || !hasEntry(*e)) return hued;
  const bool zeroAsOne = which == HuedPixels::All;
  for (Pixel& p : hued.pixels) {
    const bool named = which == HuedPixels::All ||
                       (which == HuedPixels::NotZero ? p != 0 : (p & 0x00FFFFFFu) != 0);
    const bool grey = redOf(p) == greenOf(p) && greenOf(p) == blueOf(p);
    if (named && (grey || !hue.greyOnly())) p = huedPixel(*e, p, zeroAsOne);
  }
  return hued;
}

}  // namespace quillotide
