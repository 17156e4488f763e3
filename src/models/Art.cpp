#include "models/Art.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "app/Error.h"
#include "app/Image.h"
#include "app/Text.h"
#include "app/UopPair.h"
#include "models/Hues.h"

namespace quillotide {

namespace {

namespace ArtLayout {
// Static art: a 4-byte header (not interpreted), u16 width, u16 height, the row table of one u16
// per row, then the rows of runs. Each run: u16 gap, u16 length, length colours.
constexpr std::size_t kWidthOffset = 4;
constexpr std::size_t kHeightOffset = 6;
constexpr std::size_t kRowTableOffset = 8;
constexpr std::uint32_t kHeaderValue = 1234;
constexpr std::size_t kRunHeaderBytes = 4;
// The row table counts 16-bit words from the first byte after the table.
constexpr std::size_t kMaxRowStartWords = 0xFFFF;
constexpr int kMaxSide = 0xFFFF;
// The most words a row of `width` pixels can take: a run per pixel at worst, plus the end marker.
constexpr std::size_t kMaxRowWords(int width) { return 3 * static_cast<std::size_t>(width) + 2; }
}  // namespace ArtLayout

constexpr Pixel kWhite = 0xFFFFFFFF;

// Column where row y of the land diamond starts and how many pixels it stores.
constexpr int landRowStart(int y) { return y < 22 ? 21 - y : y - 22; }
constexpr int landRowLength(int y) { return y < 22 ? 2 * y + 2 : 44 - 2 * (y - 22); }

std::string num(std::int64_t v) { return std::to_string(v); }

struct StaticHeader {
  int width = 0;
  int height = 0;
};

StaticHeader readStaticHeader(std::span<const std::uint8_t> bytes) {
  using namespace ArtLayout;
  if (bytes.size() < kRowTableOffset)
    throw FormatError(formatMessage("The static art of %d bytes is too short for its header.",
                                    {num(static_cast<std::int64_t>(bytes.size()))}));
  ByteReader r(bytes, "static art");
  StaticHeader h{r.u16At(kWidthOffset), r.u16At(kHeightOffset)};
  if (h.width == 0 || h.height == 0)
    throw FormatError(formatMessage("The static art of %d x %d pixels holds no picture.",
                                    {num(h.width), num(h.height)}));
  if (static_cast<std::int64_t>(h.width) * h.height > kMaxStaticPixels)
    throw FormatError(
        formatMessage("The static art claims %d x %d pixels, more than a static can have.",
                      {num(h.width), num(h.height)}));
  if (kRowTableOffset + 2 * static_cast<std::size_t>(h.height) > bytes.size())
    throw FormatError(
        formatMessage("The row table of %d rows does not fit the %d bytes of the static art.",
                      {num(h.height), num(static_cast<std::int64_t>(bytes.size()))}));
  return h;
}

// Calls plot(x, y, pixels, count) for each run segment inside the static's own W x H box;
// `pixels` points at `count` little-endian colours. Every read is checked against the bytes.
template <typename Plot>
StaticHeader walkStatic(std::span<const std::uint8_t> bytes, Plot&& plot) {
  using namespace ArtLayout;
  const StaticHeader h = readStaticHeader(bytes);
  const std::size_t rows = kRowTableOffset + 2 * static_cast<std::size_t>(h.height);
  ByteReader r(bytes, "static art");
  for (int y = 0; y < h.height; ++y) {
    const std::size_t start =
        rows + 2 * std::size_t{r.u16At(kRowTableOffset + 2 * static_cast<std::size_t>(y))};
    if (start > bytes.size())
      throw FormatError(formatMessage("Row %d of the static art starts past its end (%d bytes).",
                                      {num(y), num(static_cast<std::int64_t>(bytes.size()))}));
    r.seek(start);
    std::int64_t x = 0;
    for (;;) {
      if (r.remaining() < kRunHeaderBytes)
        throw FormatError(formatMessage("Row %d of the static art runs past its end (%d bytes).",
                                        {num(y), num(static_cast<std::int64_t>(bytes.size()))}));
      const std::uint16_t gap = r.readU16();
      const std::uint16_t length = r.readU16();
      if (length == 0) break;
      if (2 * std::size_t{length} > r.remaining())
        throw FormatError(formatMessage("Row %d of the static art runs past its end (%d bytes).",
                                        {num(y), num(static_cast<std::int64_t>(bytes.size()))}));
      const auto pixels = r.readBytes(2 * std::size_t{length});
      x += gap;
      // The rest of the row lies outside the static's box and would draw nothing.
      if (x >= h.width) break;
      const int count = static_cast<int>(std::min<std::int64_t>(length, h.width - x));
      plot(static_cast<int>(x), y, pixels.data(), count);
      x += length;
      if (x >= h.width) break;
    }
  }
  return h;
}

Pixel* rowOf(Bitmap32& target, int y) {
  return target.pixels.data() +
         static_cast<std::size_t>(y) * static_cast<std::size_t>(target.width);
}

// 16-bit words of an encoded slot. Unlike a vector it hands out uninitialised room, so a row is
// written without clearing its worst-case space first.
class WordBuffer {
 public:
  WordBuffer(std::size_t size, std::size_t capacity)
      : m_words(std::make_unique_for_overwrite<std::uint16_t[]>(std::max(size, capacity))),
        m_size(size),
        m_capacity(std::max(size, capacity)) {
    std::fill_n(m_words.get(), size, std::uint16_t{0});
  }
  std::uint16_t& operator[](std::size_t i) { return m_words[i]; }
  std::size_t size() const { return m_size; }
  const std::uint16_t* data() const { return m_words.get(); }
  // At least n writable words after the end; setEnd() then marks how many were used.
  std::uint16_t* room(std::size_t n) {
    if (m_capacity - m_size < n) {
      const std::size_t capacity = std::max(2 * m_capacity, m_size + n);
      auto words = std::make_unique_for_overwrite<std::uint16_t[]>(capacity);
      std::copy_n(m_words.get(), m_size, words.get());
      m_words = std::move(words);
      m_capacity = capacity;
    }
    return m_words.get() + m_size;
  }
  void setEnd(const std::uint16_t* end) { m_size = static_cast<std::size_t>(end - m_words.get()); }

 private:
  std::unique_ptr<std::uint16_t[]> m_words;
  std::size_t m_size;
  std::size_t m_capacity;
};

// Calls put(pixel, k) for each pixel k of a run of n that lands inside the target when the run at
// (x, y) of a picture is drawn with the picture's top left at (dx, dy).
template <typename Put>
void drawRun(Bitmap32& target, int dx, int dy, int x, int y, int n, Put&& put) {
  const std::int64_t ty = std::int64_t{dy} + y, tx = std::int64_t{dx} + x;
  if (ty < 0 || ty >= target.height) return;
  const std::int64_t first = std::max<std::int64_t>(0, -tx);
  const std::int64_t last = std::min<std::int64_t>(n, target.width - tx);
  if (first >= last) return;
  Pixel* out = rowOf(target, static_cast<int>(ty)) + (tx + first);
  for (auto k = static_cast<int>(first); k < last; ++k) put(out[k - first], k);
}

Pixel huedPixel(Colour16 c, const HueRamp* ramp, bool greyOnly) {
  const Pixel p = colour16ToPixel(c);
  if (!ramp) return p;
  const int red = (c >> 10) & 31;
  if (greyOnly && !(red == ((c >> 5) & 31) && red == (c & 31))) return p;
  return colour16ToPixel((*ramp)[static_cast<std::size_t>(red == 0 ? 1 : red)]);
}

template <typename Plot>
void walkLand(std::span<const std::uint8_t> bytes, Plot&& plot) {
  if (bytes.size() < kLandTileBytes)
    throw FormatError(formatMessage("The land tile holds %d bytes instead of %d.",
                                    {num(static_cast<std::int64_t>(bytes.size())),
                                     num(static_cast<std::int64_t>(kLandTileBytes))}));
  const std::uint8_t* p = bytes.data();
  for (int y = 0; y < kLandTileSize; ++y) {
    const int n = landRowLength(y);
    plot(landRowStart(y), y, p, n);
    p += 2 * n;
  }
}

// The ramp of a hue entry; nullopt when there is no table or the table does not hold the entry.
std::optional<HueRamp> rampOf(const THues* hues, int entry) {
  if (!hues) return std::nullopt;
  const auto e = hues->entry(entry);
  if (!e) return std::nullopt;
  return e->colours;
}

std::string slotLabel(const char* kind, std::int64_t id) {
  return std::string(kind) + " " + hexLabel(static_cast<std::uint32_t>(id));
}

// Runs a decoder on a slot's bytes and names the slot in any format error.
template <typename F>
auto forSlot(const char* kind, std::int64_t id, F&& f) -> decltype(f()) {
  return withContext(slotLabel(kind, id), std::forward<F>(f));
}

}  // namespace

// ---- free functions ------------------------------------------------------------------------

Bitmap32 decodeLandTile(std::span<const std::uint8_t> bytes) {
  Bitmap32 picture(kLandTileSize, kLandTileSize, kWhite);
  walkLand(bytes, [&](int x, int y, const std::uint8_t* px, int n) {
    Pixel* row = &picture.at(x, y);
    for (int k = 0; k < n; ++k) row[k] = colour16ToPixel(loadU16(px + 2 * k));
  });
  return picture;
}

Bitmap32 decodeStaticArt(std::span<const std::uint8_t> bytes) {
  const StaticHeader h = readStaticHeader(bytes);
  Bitmap32 picture(h.width, h.height, kWhite);
  drawStaticArt(bytes, 0, 0, picture);
  return picture;
}

void drawStaticArt(std::span<const std::uint8_t> bytes, int dx, int dy, Bitmap32& target) {
  walkStatic(bytes, [&](int x, int y, const std::uint8_t* px, int n) {
    drawRun(target, dx, dy, x, y, n, [px](Pixel& out, int k) {
      const Colour16 c = loadU16(px + 2 * k);
      if (c != kStaticSkipColour) out = colour16ToPixel(c);
    });
  });
}

void drawStaticArtHued(std::span<const std::uint8_t> bytes, int dx, int dy, const HueRamp* ramp,
                       bool greyOnly, Bitmap32& target) {
  walkStatic(bytes, [&](int x, int y, const std::uint8_t* px, int n) {
    drawRun(target, dx, dy, x, y, n,
            [&](Pixel& out, int k) { out = huedPixel(loadU16(px + 2 * k), ramp, greyOnly); });
  });
}

void drawLandTileHued(std::span<const std::uint8_t> bytes, int dx, int dy, const HueRamp* ramp,
                      Bitmap32& target) {
  walkLand(bytes, [&](int x, int y, const std::uint8_t* px, int n) {
    drawRun(target, dx, dy, x, y, n,
            [&](Pixel& out, int k) { out = huedPixel(loadU16(px + 2 * k), ramp, false); });
  });
}

std::optional<std::pair<int, int>> staticArtSize(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < ArtLayout::kRowTableOffset) return std::nullopt;
  return std::pair<int, int>{loadU16(bytes.data() + ArtLayout::kWidthOffset),
                             loadU16(bytes.data() + ArtLayout::kHeightOffset)};
}

Bytes encodeLandTile(const Bitmap32& picture) {
  // The diamond's rows are fixed at 44 x 44: any other picture would be stored shifted and cut.
  if (picture.width != kLandTileSize || picture.height != kLandTileSize)
    throw Error(formatMessage(
        "A picture of %d x %d pixels cannot be stored as a land tile: land tiles are %d x %d.",
        {num(picture.width), num(picture.height), num(kLandTileSize), num(kLandTileSize)}));
  ByteWriter w(kLandTileBytes);
  for (int y = 0; y < kLandTileSize; ++y) {
    const int start = landRowStart(y);
    for (int x = start; x < start + landRowLength(y); ++x) w.u16(pixelToColour16(picture.at(x, y)));
  }
  return w.take();
}

Bytes encodeStaticArt(const Bitmap32& picture) {
  using namespace ArtLayout;
  const int width = picture.width;
  const int height = picture.height;
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide)
    throw Error(
        formatMessage("A picture of %d x %d pixels cannot be stored as static art: width "
                      "and height must be 1 to 65535.",
                      {num(width), num(height)}));
  if (static_cast<std::int64_t>(width) * height > kMaxStaticPixels)
    throw Error(
        formatMessage("A picture of %d x %d pixels is too large for static art (at most %d "
                      "pixels).",
                      {num(width), num(height), num(kMaxStaticPixels)}));

  // The header and row table come first; rows are built behind them in 16-bit words (gaps,
  // lengths and colours are all words) and the whole slot is stored little-endian at the end.
  const std::size_t tableWords = kRowTableOffset / 2 + static_cast<std::size_t>(height);
  WordBuffer out(tableWords, tableWords + static_cast<std::size_t>(height) * 8);
  out[0] = static_cast<std::uint16_t>(kHeaderValue & 0xFFFF);
  out[1] = static_cast<std::uint16_t>(kHeaderValue >> 16);
  out[2] = static_cast<std::uint16_t>(width);
  out[3] = static_cast<std::uint16_t>(height);
  for (int y = 0; y < height; ++y) {
    const std::size_t rowStart = out.size() - tableWords;
    if (rowStart > kMaxRowStartWords)
      throw Error(
          formatMessage("A picture of %d x %d pixels cannot be stored as static art: row %d "
                        "would start past the 16-bit row table (128 KB of runs).",
                        {num(width), num(height), num(y)}));
    out[kRowTableOffset / 2 + static_cast<std::size_t>(y)] = static_cast<std::uint16_t>(rowStart);
    const Pixel* row =
        picture.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    // Room for the worst row (runs of single pixels) so the loop writes without checks.
    std::uint16_t* w = out.room(kMaxRowWords(width));
    int gap = 0;
    for (int x = 0; x < width;) {
      // A fully transparent pixel is a gap, as black and white are.
      Colour16 c = pixelToColour16(row[x], 0);
      if (c == 0 || c == kStaticSkipColour) {
        ++gap;
        ++x;
        continue;
      }
      // A run takes opaque pixels up to its limit; a longer stretch continues in a run of gap 0.
      w[0] = static_cast<std::uint16_t>(gap);
      std::uint16_t* px = w + 2;
      int n = 0;
      const int limit = std::min(kMaxStaticRun, width - x);
      do {
        px[n++] = c;
        if (n == limit) break;
        c = pixelToColour16(row[x + n], 0);
      } while (c != 0 && c != kStaticSkipColour);
      w[1] = static_cast<std::uint16_t>(n);
      w = px + n;
      x += n;
      gap = 0;
    }
    w[0] = 0;
    w[1] = 0;
    out.setEnd(w + 2);
  }

  Bytes bytes(2 * out.size());
  const std::uint16_t* words = out.data();
  for (std::size_t i = 0; i < out.size(); ++i) storeU16(bytes.data() + 2 * i, words[i]);
  return bytes;
}

std::optional<Pixel> averageColour(const Bitmap32& picture) {
  std::uint64_t red = 0, green = 0, blue = 0, count = 0;
  for (const Pixel p : picture.pixels) {
    if ((p & 0xFFFFFF) == 0xFFFFFF) continue;
    red += redOf(p);
    green += greenOf(p);
    blue += blueOf(p);
    ++count;
  }
  if (count == 0) return std::nullopt;
  // Integer division truncates as the mean's floating-point value would.
  return makePixel(static_cast<std::uint8_t>(red / count), static_cast<std::uint8_t>(green / count),
                   static_cast<std::uint8_t>(blue / count));
}

// ---- TArt ----------------------------------------------------------------------------------

std::optional<std::string> TArt::loadUop(const std::string& path, StorageMode mode) {
  m_files.loadUop(path, uopForm(UopFamily::Art));
  if (mode == StorageMode::Memory) return std::nullopt;
  return formatMessage(
      "%s is a UOP container: its slots are read where they lie, and changes wait in memory for "
      "Save. Low Memory writes changes at once only into MUL files.",
      {path});
}

void TArt::saveUop(const std::string& path) const {
  if (!isLoaded()) throw Error(notLoadedMessage("art"));
  m_files.saveUop(path, uopForm(UopFamily::Art));
}

void TArt::load(const std::string& indexPath, const std::string& dataPath, StorageMode mode) {
  if (isUopPair(indexPath, dataPath)) {
    loadUop(indexPath, mode);
    return;
  }
  m_files.load(indexPath, dataPath, mode);
}

bool TArt::save(const std::string& indexPath, const std::string& dataPath) const {
  if (isUopPair(indexPath, dataPath)) {
    saveUop(indexPath);
    return true;
  }
  return m_files.save(indexPath, dataPath);
}

std::int64_t TArt::staticCount() const {
  return std::max<std::int64_t>(0, m_files.recordCount() - kStaticBase);
}

std::optional<IndexRecord> TArt::landRecord(std::int64_t t) const {
  if (t < 0 || t >= kLandTileCount) return std::nullopt;
  return m_files.record(t);
}

std::optional<IndexRecord> TArt::staticRecord(std::int64_t s) const {
  if (s < 0) return std::nullopt;
  return m_files.record(kStaticBase + s);
}

bool TArt::landExists(std::int64_t t) const {
  const auto r = landRecord(t);
  return r && !r->isEmpty();
}

bool TArt::staticExists(std::int64_t s) const {
  const auto r = staticRecord(s);
  return r && !r->isEmpty();
}

std::optional<Bytes> TArt::landData(std::int64_t t) const {
  const auto r = landRecord(t);
  if (!r || r->isEmpty()) return std::nullopt;
  return forSlot("Land tile", t, [&] { return m_files.readData(*r); });
}

std::optional<Bytes> TArt::staticData(std::int64_t s) const {
  const auto r = staticRecord(s);
  if (!r || r->isEmpty()) return std::nullopt;
  return forSlot("Static", s, [&] { return m_files.readData(*r); });
}

std::optional<std::pair<int, int>> TArt::staticHeaderSize(std::int64_t s) const {
  const auto r = staticRecord(s);
  if (!r || r->isEmpty() || static_cast<std::size_t>(r->length) < ArtLayout::kRowTableOffset ||
      r->lookup < 0 ||
      static_cast<std::uint64_t>(r->lookup) + static_cast<std::uint64_t>(r->length) >
          m_files.dataSize())
    return std::nullopt;
  // Only the header is read: lists ask every slot for its size.
  std::uint8_t head[ArtLayout::kRowTableOffset];
  m_files.readDataAt(static_cast<std::uint64_t>(r->lookup), head, sizeof head);
  return staticArtSize(head);
}

int TArt::staticArtWidth(std::int64_t s) const {
  const auto size = staticHeaderSize(s);
  return size ? size->first : 0;
}

int TArt::staticArtHeight(std::int64_t s) const {
  const auto size = staticHeaderSize(s);
  return size ? size->second : 0;
}

Bitmap32 TArt::landPicture(std::int64_t t) const {
  const auto data = landData(t);
  if (!data) return {};
  return forSlot("Land tile", t, [&] { return decodeLandTile(*data); });
}

Bitmap32 TArt::staticPicture(std::int64_t s) const {
  const auto data = staticData(s);
  if (!data) return {};
  return forSlot("Static", s, [&] { return decodeStaticArt(*data); });
}

void TArt::drawStatic(std::int64_t s, int dx, int dy, Bitmap32& target) const {
  const auto data = staticData(s);
  if (!data) return;
  forSlot("Static", s, [&] { drawStaticArt(*data, dx, dy, target); });
}

void TArt::drawStaticHued(std::int64_t s, int dx, int dy, HueChoice hue, const THues* hues,
                          Bitmap32& target) const {
  const auto data = staticData(s);
  if (!data) return;
  const auto entry = hue.tableEntry();
  const auto ramp = entry ? rampOf(hues, *entry) : std::nullopt;
  forSlot("Static", s, [&] {
    drawStaticArtHued(*data, dx, dy, ramp ? &*ramp : nullptr, hue.greyOnly(), target);
  });
}

void TArt::drawLandHued(std::int64_t t, int dx, int dy, HueChoice hue, const THues* hues,
                        Bitmap32& target) const {
  const auto data = landData(t);
  if (!data) return;
  const auto ramp =
      hue.isSelection() ? rampOf(hues, HueChoice::kSelectionEntry) : std::nullopt;
  forSlot("Land tile", t,
          [&] { drawLandTileHued(*data, dx, dy, ramp ? &*ramp : nullptr, target); });
}

namespace {

void requireLandId(std::int64_t t) {
  if (t < 0 || t >= kLandTileCount)
    throw Error(formatMessage("Land tile %s is outside 0x0 ... 0x3FFF.",
                              {t < 0 ? num(t) : hexLabel(static_cast<std::uint32_t>(t))}));
}

void requireStaticId(std::int64_t s) {
  if (s < 0 || s > kMaxStaticId)
    throw Error(formatMessage("Static %s is outside 0x0 ... 0xFFFF.",
                              {s < 0 ? num(s) : hexLabel(static_cast<std::uint32_t>(s))}));
}

void requireLoaded(const IndexedFile& files) {
  if (!files.isLoaded()) throw Error(notLoadedMessage("art"));
}

}  // namespace

void TArt::writeLandData(std::int64_t t, std::span<const std::uint8_t> bytes) {
  requireLandId(t);
  requireLoaded(m_files);
  m_files.writeSlot(t, bytes, 0);
}

void TArt::writeStaticData(std::int64_t s, std::span<const std::uint8_t> bytes, std::int32_t tag) {
  requireStaticId(s);
  requireLoaded(m_files);
  m_files.writeSlot(kStaticBase + s, bytes, tag);
}

void TArt::importLand(std::int64_t t, const Bitmap32& picture) {
  requireLandId(t);
  requireLoaded(m_files);
  writeLandData(t, encodeLandTile(picture));
}

void TArt::importLand(std::int64_t t, const std::string& bitmapPath) {
  requireLandId(t);
  requireLoaded(m_files);
  importLand(t, readImageFile(bitmapPath));
}

void TArt::importStatic(std::int64_t s, const Bitmap32& picture) {
  requireStaticId(s);
  requireLoaded(m_files);
  writeStaticData(s, encodeStaticArt(picture), 0);
}

void TArt::importStatic(std::int64_t s, const std::string& bitmapPath) {
  requireStaticId(s);
  requireLoaded(m_files);
  importStatic(s, readImageFile(bitmapPath));
}

void TArt::deleteLand(std::int64_t t) {
  requireLoaded(m_files);
  if (t < 0 || t >= kLandTileCount) return;
  m_files.deleteSlot(t);
}

void TArt::deleteStatic(std::int64_t s) {
  requireLoaded(m_files);
  if (s < 0) return;
  m_files.deleteSlot(kStaticBase + s);
}

std::optional<Pixel> TArt::landAverageColour(std::int64_t t) const {
  return averageColour(landPicture(t));
}

std::optional<Pixel> TArt::staticAverageColour(std::int64_t s) const {
  return averageColour(staticPicture(s));
}

std::string TArt::staticDetails(std::int64_t s) const {
  const IndexRecord r = staticRecord(s).value_or(IndexRecord{});
  return formatMessage("Offset: %d Length: %d Tag: %d",
                       {num(r.lookup), num(r.length), num(r.extra)});
}

void TArt::setStaticTag(std::int64_t s, std::int32_t tag) {
  requireLoaded(m_files);
  auto r = staticRecord(s);
  if (!r)
    throw Error(formatMessage(
        "Static %s lies beyond the index (%d statics).",
        {s < 0 ? num(s) : hexLabel(static_cast<std::uint32_t>(s)), num(staticCount())}));
  r->extra = tag;
  m_files.writeRecord(kStaticBase + s, *r);
}

std::int64_t TArt::fillStaticSlots() {
  requireLoaded(m_files);
  constexpr std::int64_t kFilledRecords = kStaticBase + 0x8000;
  const std::int64_t count = m_files.recordCount();
  if (count >= kFilledRecords) return 0;
  // writeRecord fills every record before the last with (-1, -1, 0) as well.
  m_files.writeRecord(kFilledRecords - 1, {-1, -1, 0});
  return kFilledRecords - count;
}

std::string artRecordName(std::int64_t record) {
  if (record < kLandTileCount) return "Land tile " + hexLabel(static_cast<std::uint32_t>(record));
  return "Static " + hexLabel(static_cast<std::uint32_t>(record - kLandTileCount));
}

std::vector<std::int64_t> TArt::rebuild(const std::string& indexPath, const std::string& dataPath,
                                        Progress& progress, Random& random,
                                        bool skipDamaged) const {
  try {
    return m_files.rebuild(indexPath, dataPath, progress, random, skipDamaged);
  } catch (const DamagedSlotError& e) {
    throw e.named(artRecordName(e.slot()));
  }
}

}  // namespace quillotide
