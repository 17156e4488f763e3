#include "models/Tiledata.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "app/FileIO.h"
#include "app/IndexedFile.h"
#include "app/Text.h"

namespace quillotide {

namespace TiledataLayoutSizes {
constexpr std::size_t kGroupHeaderSize = 4;
constexpr std::size_t kRecordsPerGroup = 32;
constexpr std::size_t kLandGroups = 512;

constexpr std::size_t landSection(std::size_t landRecord) {
  return kLandGroups * (kGroupHeaderSize + kRecordsPerGroup * landRecord);
}
constexpr std::size_t staticGroup(std::size_t staticRecord) {
  return kGroupHeaderSize + kRecordsPerGroup * staticRecord;
}

// Older layout: 32-bit flags. Newer layout: the same records behind 64-bit flags.
constexpr TiledataSizes kClassic{4, 26, 37, landSection(26), staticGroup(37)};
constexpr TiledataSizes kWide{8, 30, 41, landSection(30), staticGroup(41)};
static_assert(kClassic.landSection == 428032 && kClassic.staticGroup == 1188);
static_assert(kWide.landSection == 493568 && kWide.staticGroup == 1316);

// Field offsets after the flag word.
constexpr std::size_t kLandTexture = 0;
constexpr std::size_t kLandName = 2;
constexpr std::size_t kStaticWeight = 0;
constexpr std::size_t kStaticQuality = 1;
constexpr std::size_t kStaticUnknown1 = 2;
constexpr std::size_t kStaticUnknown2 = 4;
constexpr std::size_t kStaticQuantity = 5;
constexpr std::size_t kStaticAnimId = 6;
constexpr std::size_t kStaticUnknown3 = 8;
constexpr std::size_t kStaticHue = 9;
constexpr std::size_t kStaticUnknown4 = 10;
constexpr std::size_t kStaticUnknown5 = 11;
constexpr std::size_t kStaticHeight = 12;
constexpr std::size_t kStaticName = 13;

// Text file columns.
constexpr std::size_t kLandFixedFields = 3;     // ID, Name, TextureID
constexpr std::size_t kStaticFixedFields = 12;  // ID, Name, ten numbers
constexpr std::size_t kNameCharsOnImport = kTileNameSize;
}  // namespace TiledataLayoutSizes

using namespace TiledataLayoutSizes;

const TiledataSizes& TiledataSizes::of(TiledataLayout layout) {
  return layout == TiledataLayout::Wide ? kWide : kClassic;
}

namespace TileFlags {

const std::array<std::string_view, 32>& landColumns() {
  static const std::array<std::string_view, 32> names = {
      "Unused", "Unused",   "Transparent", "Translucent", "Block",  "Damage",   "Impassible",
      "Wet",    "unknown1", "Unused",      "Unused",      "Unused", "Unused",   "Unused",
      "Unused", "Unused",   "Unused",      "Unused",      "Unused", "unknown2", "Unused",
      "Unused", "Unused",   "Unused",      "Unused",      "Unused", "unknown3", "Unused",
      "Unused", "Unused",   "Unused",      "Unused"};
  return names;
}

const std::array<std::string_view, 32>& staticColumns() {
  static const std::array<std::string_view, 32> names = {
      "Background",  "Weapon",           "Transparent", "Translucent", "Wall",
      "Damage",      "Impassible",       "Wet",         "Unknow1",     "Surface",
      "Bridge",      "Generic",          "Window",      "NoShoot",     "PrefixA",
      "PrefixAn",    "Internal",         "Foliage",     "PartialHue",  "Unknow2",
      "Map",         "Container/Height", "Wearable",    "Lightsource", "Animation",
      "NotDiagonal", "Unknow3",          "Armor",       "Roof",        "Door",
      "StairBack",   "StairRight"};
  return names;
}

const std::array<std::string_view, 32>& staticCaptions() {
  static const std::array<std::string_view, 32> names = {
      "Background",  "Weapon",      "Transparent", "Translucent", "Wall",     "Damaging",
      "Impassable",  "Liquid",      "Unknown1",    "Surface",     "Bridge",   "Generic",
      "Window",      "No Shoot",    "A",           "An",          "Mongen",   "Foliage",
      "Partialhue",  "Unknown2",    "Map",         "Container",   "Wearable", "Lightsource",
      "Animation",   "No Diagonal", "Unknown3",    "Armor",       "Roof",     "Door",
      "Stairs Back", "Stairs Right"};
  return names;
}

const std::array<std::pair<std::uint64_t, std::string_view>, 5>& landCaptions() {
  static const std::array<std::pair<std::uint64_t, std::string_view>, 5> boxes = {{
      {Wall, "Wall"},
      {Damaging, "Damaging"},
      {Impassable, "Impassable"},
      {Wet, "Liquid"},
      {Unknown3, "Unknown3"},
  }};
  return boxes;
}

std::string upperColumn(int bit) { return "Flag" + std::to_string(bit); }

std::optional<std::uint64_t> flagByName(std::string_view name) {
  const std::string wanted = toUpper(name);
  for (std::size_t bit = 0; bit < 32; ++bit) {
    if (toUpper(staticColumns()[bit]) == wanted || toUpper(staticCaptions()[bit]) == wanted)
      return std::uint64_t{1} << bit;
  }
  for (const auto& [mask, caption] : landCaptions())
    if (toUpper(caption) == wanted) return mask;
  if (wanted.rfind("FLAG", 0) == 0 && wanted.size() > 4 && wanted.size() <= 6 &&
      std::all_of(wanted.begin() + 4, wanted.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    const int bit = std::stoi(wanted.substr(4));
    if (bit < 64) return std::uint64_t{1} << bit;
  }
  return std::nullopt;
}

}  // namespace TileFlags

std::string tileNameBytes(const TileName& name) {
  std::size_t len = 0;
  while (len < kTileNameSize && name[len] != 0) ++len;
  return std::string(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(len));
}

TileName tileNameFromBytes(std::string_view bytes) {
  TileName name{};
  std::copy_n(bytes.begin(), std::min(bytes.size(), kTileNameSize), name.begin());
  return name;
}

std::string tileNameText(const TileName& name) { return fromWindows1252(tileNameBytes(name)); }

TileName makeTileName(std::string_view text) { return tileNameFromBytes(toWindows1252(text)); }

// ---- loading and saving

std::string tiledataLayoutName(TiledataLayout layout) {
  return layout == TiledataLayout::Wide ? "newer" : "older";
}

std::optional<TiledataLayout> tiledataLayoutFromName(std::string_view name) {
  const std::string n = toUpper(name);
  if (n == "OLDER" || n == "OLD") return TiledataLayout::Classic;
  if (n == "NEWER" || n == "NEW") return TiledataLayout::Wide;
  return std::nullopt;
}

namespace {

std::size_t landOffsetIn(const TiledataSizes& z, std::size_t i) {
  return kGroupHeaderSize + i * z.landRecord + (i / kRecordsPerGroup) * kGroupHeaderSize;
}

std::size_t staticOffsetIn(const TiledataSizes& z, std::size_t i) {
  return z.landSection + kGroupHeaderSize + i * z.staticRecord +
         (i / kRecordsPerGroup) * kGroupHeaderSize;
}

// How the name fields of every record read in one layout. A name that starts its field is
// printable text up to a zero byte (or the field's end) and stands right after a number (a
// texture id's high byte, a static's height), which is below the printable range for nearly every
// real record. What follows the zero byte is not looked at: real files keep leftovers of older
// names there. Read in the wrong layout, the fields drift through flags, numbers and names; where
// one starts inside a name, the byte before it is a letter of that name, and it is not counted.
struct NameEvidence {
  std::size_t names = 0;
};
// Fewer names than this say nothing: a file of mostly empty records, or of noise.
constexpr std::size_t kNamesThatSpeak = 16;

bool isNameChar(std::uint8_t b) { return b >= 0x20 && b != 0x7F; }

bool isAlphanumeric(std::uint8_t b) {
  return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b >= 0xC0;
}

// A name starting its field: a letter or digit, then printable characters up to a zero byte or
// the field's end, two characters at least (a single one is as often a group header's number),
// and a number before it.
bool startsName(const std::uint8_t* name) {
  if (name[-1] >= 0x20 || !isAlphanumeric(name[0])) return false;
  std::size_t n = 1;
  while (n < kTileNameSize && isNameChar(name[n])) ++n;
  return n >= 2 && (n == kTileNameSize || name[n] == 0);
}

NameEvidence nameEvidence(std::span<const std::uint8_t> bytes, const TiledataSizes& z) {
  NameEvidence e;
  for (std::size_t id = 0; id < static_cast<std::size_t>(TTiledata::kLandCount); ++id)
    if (startsName(bytes.data() + landOffsetIn(z, id) + z.flagSize + kLandName)) ++e.names;
  const std::size_t statics = (bytes.size() - z.landSection) / z.staticGroup * kRecordsPerGroup;
  for (std::size_t id = 0; id < statics; ++id)
    if (startsName(bytes.data() + staticOffsetIn(z, id) + z.flagSize + kStaticName)) ++e.names;
  return e;
}

struct LayoutChoice {
  TiledataLayout layout;
  TiledataLayoutReason reason;
};

LayoutChoice chooseLayout(std::span<const std::uint8_t> bytes) {
  const std::size_t size = bytes.size();
  const bool classicFits = size >= kClassic.landSection;
  const bool wideFits = size >= kWide.landSection;
  if (!wideFits)
    return {TiledataLayout::Classic, (size - kClassic.landSection) % kClassic.staticGroup == 0
                                         ? TiledataLayoutReason::WholeGroups
                                         : TiledataLayoutReason::Remainder};
  const NameEvidence classic = nameEvidence(bytes, kClassic);
  const NameEvidence wide = nameEvidence(bytes, kWide);
  // The right layout finds a name in every named record; the wrong one only where its drifting
  // fields happen to meet the start of one, a few in every hundred records.
  const auto wins = [](const NameEvidence& a, const NameEvidence& b) {
    return a.names >= kNamesThatSpeak && a.names >= 4 * b.names;
  };
  if (wins(classic, wide)) return {TiledataLayout::Classic, TiledataLayoutReason::Records};
  if (wins(wide, classic)) return {TiledataLayout::Wide, TiledataLayoutReason::Records};
  const std::size_t classicTail = (size - kClassic.landSection) % kClassic.staticGroup;
  const std::size_t wideTail = (size - kWide.landSection) % kWide.staticGroup;
  if (classicFits && classicTail == 0)
    return {TiledataLayout::Classic, TiledataLayoutReason::WholeGroups};
  if (wideTail == 0) return {TiledataLayout::Wide, TiledataLayoutReason::WholeGroups};
  return {wideTail < classicTail ? TiledataLayout::Wide : TiledataLayout::Classic,
          TiledataLayoutReason::Remainder};
}

}  // namespace

void TTiledata::load(const std::string& path, std::optional<TiledataLayout> layout) {
  const Bytes bytes = readFile(path);
  try {
    loadBytes(bytes, layout);
  } catch (const FormatError& e) {
    throw FormatError(path + ": " + e.what());
  }
}

void TTiledata::loadBytes(std::span<const std::uint8_t> bytes,
                          std::optional<TiledataLayout> layout) {
  const std::size_t size = bytes.size();
  if (size < kClassic.landSection && !layout) layout = TiledataLayout::Classic;
  const LayoutChoice choice =
      layout ? LayoutChoice{*layout, TiledataLayoutReason::Given} : chooseLayout(bytes);
  const TiledataSizes& sizes = TiledataSizes::of(choice.layout);
  if (size < sizes.landSection)
    throw FormatError("Tile data of " + std::to_string(size) +
                      " bytes is too short: the land section alone takes " +
                      std::to_string(sizes.landSection) + " bytes.");
  m_image.assign(bytes.begin(), bytes.end());
  m_layout = choice.layout;
  m_reason = choice.reason;
  m_sizes = &sizes;
  m_loaded = true;
}

void TTiledata::setLayout(std::optional<TiledataLayout> layout) {
  if (!m_loaded) throw Error(notLoadedMessage("Tiledata"));
  const Bytes image = m_image;
  loadBytes(image, layout);
}

std::string TTiledata::layoutDescription() const {
  std::string text =
      tiledataLayoutName(m_layout) + " (" + std::to_string(flagBits()) + "-bit flags), ";
  switch (m_reason) {
    case TiledataLayoutReason::Given:
      return text + "as set";
    case TiledataLayoutReason::Records:
      return text + "told by the records' names";
    case TiledataLayoutReason::WholeGroups:
      return text + "told by the file size (whole groups)";
    case TiledataLayoutReason::Remainder:
      return text + "a guess: neither layout reads the names or takes the size in whole groups";
  }
  return text;
}

void TTiledata::save(const std::string& path) const {
  if (!m_loaded) throw Error(notLoadedMessage("Tiledata"));
  writeFileAtomic(path, m_image);
}

// ---- geometry

std::uint32_t TTiledata::staticCount() const {
  if (!m_loaded || m_image.size() < m_sizes->landSection) return 0;
  return static_cast<std::uint32_t>((m_image.size() - m_sizes->landSection) / m_sizes->staticGroup *
                                    kRecordsPerGroup);
}

std::size_t TTiledata::landOffset(std::int64_t id) const {
  return landOffsetIn(*m_sizes, static_cast<std::size_t>(id));
}

std::size_t TTiledata::staticOffset(std::int64_t id) const {
  return staticOffsetIn(*m_sizes, static_cast<std::size_t>(id));
}

const std::uint8_t* TTiledata::landFields(std::int64_t id) const {
  return hasLand(id) ? m_image.data() + landOffset(id) + m_sizes->flagSize : nullptr;
}

const std::uint8_t* TTiledata::staticFields(std::int64_t id) const {
  return hasStatic(id) ? m_image.data() + staticOffset(id) + m_sizes->flagSize : nullptr;
}

std::uint8_t TTiledata::staticU8(std::int64_t id, std::size_t field) const {
  const std::uint8_t* p = staticFields(id);
  return p ? p[field] : std::uint8_t{0};
}

std::uint16_t TTiledata::staticU16(std::int64_t id, std::size_t field) const {
  const std::uint8_t* p = staticFields(id);
  return p ? loadU16(p + field) : std::uint16_t{0};
}

// The flag word is 4 or 8 little-endian bytes.
std::uint64_t TTiledata::readFlags(std::size_t offset) const {
  std::uint64_t flags = 0;
  for (std::size_t k = 0; k < m_sizes->flagSize; ++k)
    flags |= std::uint64_t{m_image[offset + k]} << (8 * k);
  return flags;
}

void TTiledata::writeFlags(std::size_t offset, std::uint64_t flags) {
  for (std::size_t k = 0; k < m_sizes->flagSize; ++k)
    m_image[offset + k] = static_cast<std::uint8_t>(flags >> (8 * k));
}

void TTiledata::checkFlags(std::uint64_t flags) const {
  if (flagBits() < 64 && (flags >> 32) != 0)
    throw Error("This tile data file has 32 flag bits; the flags " +
                hexLabel(static_cast<std::uint32_t>(flags >> 32)) +
                "xxxxxxxx need the newer layout.");
}

// ---- records

std::optional<LandTileRecord> TTiledata::readLand(std::int64_t id) const {
  if (!hasLand(id)) return std::nullopt;
  const std::uint8_t* p = landFields(id);
  LandTileRecord r;
  r.flags = readFlags(landOffset(id));
  r.textureId = loadU16(p + kLandTexture);
  std::copy_n(p + kLandName, kTileNameSize, r.name.begin());
  return r;
}

std::optional<StaticTileRecord> TTiledata::readStatic(std::int64_t id) const {
  if (!hasStatic(id)) return std::nullopt;
  const std::uint8_t* p = staticFields(id);
  StaticTileRecord r;
  r.flags = readFlags(staticOffset(id));
  r.weight = p[kStaticWeight];
  r.quality = p[kStaticQuality];
  r.unknown1 = loadU16(p + kStaticUnknown1);
  r.unknown2 = p[kStaticUnknown2];
  r.quantity = p[kStaticQuantity];
  r.animId = loadU16(p + kStaticAnimId);
  r.unknown3 = p[kStaticUnknown3];
  r.hue = p[kStaticHue];
  r.unknown4 = p[kStaticUnknown4];
  r.unknown5 = p[kStaticUnknown5];
  r.height = p[kStaticHeight];
  std::copy_n(p + kStaticName, kTileNameSize, r.name.begin());
  return r;
}

void TTiledata::writeLand(std::int64_t id, const LandTileRecord& record) {
  if (!hasLand(id))
    throw Error(m_loaded ? "Land id " + hexLabel(static_cast<std::uint32_t>(id)) +
                               " lies outside the land section (0x0 to 0x3FFF)."
                         : notLoadedMessage("Tiledata"));
  checkFlags(record.flags);
  const std::size_t o = landOffset(id);
  std::uint8_t* p = m_image.data() + o + m_sizes->flagSize;
  writeFlags(o, record.flags);
  storeU16(p + kLandTexture, record.textureId);
  std::copy(record.name.begin(), record.name.end(), p + kLandName);
}

void TTiledata::writeStatic(std::int64_t id, const StaticTileRecord& record) {
  if (!hasStatic(id))
    throw Error(m_loaded ? "Static id " + hexLabel(static_cast<std::uint32_t>(id)) +
                               " lies outside the static section (" +
                               std::to_string(staticCount()) + " records)."
                         : notLoadedMessage("Tiledata"));
  checkFlags(record.flags);
  const std::size_t o = staticOffset(id);
  std::uint8_t* p = m_image.data() + o + m_sizes->flagSize;
  writeFlags(o, record.flags);
  p[kStaticWeight] = record.weight;
  p[kStaticQuality] = record.quality;
  storeU16(p + kStaticUnknown1, record.unknown1);
  p[kStaticUnknown2] = record.unknown2;
  p[kStaticQuantity] = record.quantity;
  storeU16(p + kStaticAnimId, record.animId);
  p[kStaticUnknown3] = record.unknown3;
  p[kStaticHue] = record.hue;
  p[kStaticUnknown4] = record.unknown4;
  p[kStaticUnknown5] = record.unknown5;
  p[kStaticHeight] = record.height;
  std::copy(record.name.begin(), record.name.end(), p + kStaticName);
}

// Single fields read straight from the image.
std::string TTiledata::landName(std::int64_t id) const {
  const auto r = readLand(id);
  return r ? tileNameText(r->name) : std::string();
}
std::uint16_t TTiledata::landTextureId(std::int64_t id) const {
  const std::uint8_t* p = landFields(id);
  return p ? loadU16(p + kLandTexture) : std::uint16_t{0};
}
std::uint64_t TTiledata::landFlags(std::int64_t id) const {
  return hasLand(id) ? readFlags(landOffset(id)) : 0;
}
bool TTiledata::landHasFlags(std::int64_t id, std::uint64_t mask) const {
  return hasLand(id) && (landFlags(id) & mask) == mask;
}
std::string TTiledata::staticName(std::int64_t id) const {
  const auto r = readStatic(id);
  return r ? tileNameText(r->name) : std::string();
}
std::uint64_t TTiledata::staticFlags(std::int64_t id) const {
  return hasStatic(id) ? readFlags(staticOffset(id)) : 0;
}
bool TTiledata::staticHasFlags(std::int64_t id, std::uint64_t mask) const {
  return hasStatic(id) && (staticFlags(id) & mask) == mask;
}

std::uint8_t TTiledata::staticHeight(std::int64_t id) const { return staticU8(id, kStaticHeight); }
std::uint8_t TTiledata::staticHue(std::int64_t id) const { return staticU8(id, kStaticHue); }
std::uint8_t TTiledata::staticQuality(std::int64_t id) const {
  return staticU8(id, kStaticQuality);
}
std::uint8_t TTiledata::staticQuantity(std::int64_t id) const {
  return staticU8(id, kStaticQuantity);
}
std::uint8_t TTiledata::staticWeight(std::int64_t id) const { return staticU8(id, kStaticWeight); }
std::uint8_t TTiledata::staticUnknown2(std::int64_t id) const {
  return staticU8(id, kStaticUnknown2);
}
std::uint8_t TTiledata::staticUnknown3(std::int64_t id) const {
  return staticU8(id, kStaticUnknown3);
}
std::uint8_t TTiledata::staticUnknown4(std::int64_t id) const {
  return staticU8(id, kStaticUnknown4);
}
std::uint8_t TTiledata::staticUnknown5(std::int64_t id) const {
  return staticU8(id, kStaticUnknown5);
}
std::uint16_t TTiledata::staticAnimId(std::int64_t id) const {
  return staticU16(id, kStaticAnimId);
}
std::uint16_t TTiledata::staticUnknown1(std::int64_t id) const {
  return staticU16(id, kStaticUnknown1);
}

// ---- text files

namespace {

// "\t0" or "\t1" for each bit of a byte, lowest bit first.
struct FlagFieldTable {
  std::array<std::array<char, 16>, 256> text{};
  FlagFieldTable() {
    for (std::size_t v = 0; v < 256; ++v)
      for (std::size_t bit = 0; bit < 8; ++bit) {
        text[v][2 * bit] = '\t';
        text[v][2 * bit + 1] = ((v >> bit) & 1) ? '1' : '0';
      }
  }
};

// The line writers put characters at a pointer into a buffer long enough for any line
// (kLineCapacity), and the line is appended once: appending field by field cost more than the
// fields themselves.
constexpr std::size_t kLineCapacity = 512;

char* putFlags(char* p, std::uint64_t flags, int bits) {
  static const FlagFieldTable table;
  for (int shift = 0; shift < bits; shift += 8) {
    std::memcpy(p, table.text[(flags >> shift) & 0xFF].data(), 16);
    p += 16;
  }
  return p;
}

char* putDecimal(char* p, std::uint32_t value) {
  char digits[10];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n > 0) *p++ = digits[--n];
  return p;
}

// "0x%x" with upper-case digits.
char* putHex(char* p, std::uint32_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  *p++ = '0';
  *p++ = 'x';
  int shift = 28;
  while (shift > 0 && (value >> shift) == 0) shift -= 4;
  for (; shift >= 0; shift -= 4) *p++ = kDigits[(value >> shift) & 0xF];
  return p;
}

// The name's bytes up to its first zero byte, at most the field's 20.
char* putName(char* p, const std::uint8_t* name) {
  for (std::size_t i = 0; i < kTileNameSize && name[i] != 0; ++i) *p++ = static_cast<char>(name[i]);
  return p;
}

std::string headerLine(std::initializer_list<std::string_view> fixed,
                       const std::array<std::string_view, 32>& columns, int bits) {
  std::string line;
  for (std::string_view f : fixed) {
    if (!line.empty()) line += '\t';
    line += f;
  }
  for (std::string_view c : columns) {
    line += '\t';
    line += c;
  }
  for (int bit = 32; bit < bits; ++bit) line += '\t' + TileFlags::upperColumn(bit);
  return line;
}

// A number of a text line, refused (never cut) when it does not parse or lies outside 0..max;
// the message names the field by its column title.
[[noreturn]] void refuseNumber(std::string_view text, std::string_view column, std::uint32_t max) {
  const auto value = tryParseInt(text);
  const std::string why = !value ? formatMessage("'%s' is not a valid integer value", {text})
                                 : "'" + std::string(text) + "' does not fit 0 to " +
                                       std::to_string(max) + ".";
  throw Error("field \"" + std::string(column) + "\": " + why);
}

// The value of each byte as a hexadecimal digit; 0x10 for a byte that is none.
struct HexDigits {
  std::array<std::uint8_t, 256> value{};
  HexDigits() {
    value.fill(0x10);
    for (int c = 0; c < 10; ++c)
      value[static_cast<std::size_t>('0' + c)] = static_cast<std::uint8_t>(c);
    for (int c = 0; c < 6; ++c) {
      value[static_cast<std::size_t>('A' + c)] = static_cast<std::uint8_t>(10 + c);
      value[static_cast<std::size_t>('a' + c)] = static_cast<std::uint8_t>(10 + c);
    }
  }
};

// The forms the export writes, read directly: up to nine decimal digits, or "0x" and up to eight
// hex digits. Anything else (signs, spaces, '$', longer numbers) takes the general integer rule.
std::optional<std::uint32_t> plainNumber(std::string_view text) {
  const std::size_t n = text.size();
  if (n >= 3 && n <= 10 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    static const HexDigits hex;
    std::uint32_t value = 0;
    std::uint32_t bad = 0;
    for (std::size_t i = 2; i < n; ++i) {
      const std::uint8_t digit = hex.value[static_cast<unsigned char>(text[i])];
      bad |= digit & 0x10;
      value = value << 4 | (digit & 0xF);
    }
    if (bad != 0) return std::nullopt;
    return value;
  }
  if (n == 0 || n > 9) return std::nullopt;
  std::uint32_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return value;
}

std::uint32_t numberField(std::string_view text, std::string_view column, std::uint32_t max) {
  const auto plain = plainNumber(text);
  if (plain && *plain <= max) return *plain;
  // The general rule decides, and names what is wrong.
  const auto value = tryParseInt(text);
  if (!value || *value < 0 || static_cast<std::uint32_t>(*value) > max)
    refuseNumber(text, column, max);
  return static_cast<std::uint32_t>(*value);
}

// The first fields of a TAB-separated line, views into it (empty fields count), and what follows
// them. A byte loop, not memchr: the fields are a few characters long.
class Fields {
public:
  void split(std::string_view line, std::size_t fixed) {
    m_count = 0;
    m_hasRest = false;
    const char* p = line.data();
    const char* end = p + line.size();
    for (;;) {
      const char* start = p;
      if (m_count == kNameField) {
        // The name is no number: only its end is wanted.
        const void* tab = std::memchr(p, '\t', static_cast<std::size_t>(end - p));
        p = tab ? static_cast<const char*>(tab) : end;
        m_decimal[m_count] = kNotDecimal;
        m_fields[m_count++] = std::string_view(start, static_cast<std::size_t>(p - start));
        if (p == end) return;
        ++p;
        continue;
      }
      // Each other field is read as decimal digits on the way, so number fields of the export's
      // own form need no second pass.
      std::uint32_t value = 0;
      bool digits = true;
      while (p != end && *p != '\t') {
        const std::uint32_t d = static_cast<std::uint32_t>(static_cast<unsigned char>(*p)) - '0';
        digits &= d < 10;
        value = value * 10 + d;
        ++p;
      }
      const auto length = static_cast<std::size_t>(p - start);
      m_decimal[m_count] = digits && length > 0 && length <= 9 ? value : kNotDecimal;
      m_fields[m_count++] = std::string_view(start, length);
      if (p == end) return;
      ++p;
      if (m_count == fixed) {
        m_hasRest = true;
        m_rest = std::string_view(p, static_cast<std::size_t>(end - p));
        return;
      }
    }
  }
  std::size_t size() const { return m_count; }
  std::string_view operator[](std::size_t i) const { return m_fields[i]; }
  // Field i as a number of 0..max, refused as numberField refuses it.
  std::uint32_t number(std::size_t i, std::string_view column, std::uint32_t max) const {
    if (m_decimal[i] <= max) return m_decimal[i];
    return numberField(m_fields[i], column, max);
  }
  std::uint8_t byte(std::size_t i, std::string_view column) const {
    return static_cast<std::uint8_t>(number(i, column, 0xFF));
  }
  std::uint16_t word(std::size_t i, std::string_view column) const {
    return static_cast<std::uint16_t>(number(i, column, 0xFFFF));
  }
  // The flag fields after the fixed ones: a bit is set exactly when its field is "1"; bits whose
  // field the line does not carry (the upper half of the newer layout in a shorter line) keep
  // their value. Returns the number of flag fields on the line.
  std::size_t readFlags(int bits, std::uint64_t& flags) const {
    if (!m_hasRest) return 0;
    const char* p = m_rest.data();
    const char* end = p + m_rest.size();
    const auto wanted = static_cast<std::size_t>(bits);
    std::size_t count = 0;
    // Four fields of one character each, as the export writes them, eight bytes at a time: the
    // odd bytes TABs, the even ones '0' or '1'. The multiplication gathers bit 0 of bytes 0, 2,
    // 4 and 6 into bits 60..63 (the other products land below 60 or above 63, never carrying).
    constexpr std::uint64_t kTabs = 0x0900090009000900ull;
    constexpr std::uint64_t kTabBytes = 0xFF00FF00FF00FF00ull;
    constexpr std::uint64_t kDigitBytes = 0x00FE00FE00FE00FEull;
    constexpr std::uint64_t kZeros = 0x0030003000300030ull;
    constexpr std::uint64_t kLowBits = 0x0001000100010001ull;
    constexpr std::uint64_t kGather = (1ull << 60) | (1ull << 45) | (1ull << 30) | (1ull << 15);
    while (count + 4 <= wanted && end - p >= 8) {
      const std::uint64_t w = loadU64(reinterpret_cast<const std::uint8_t*>(p));
      if ((w & kTabBytes) != kTabs || (w & kDigitBytes) != kZeros) break;
      const std::uint64_t four = ((w & kLowBits) * kGather) >> 60;
      flags = (flags & ~(std::uint64_t{0xF} << count)) | (four << count);
      count += 4;
      p += 8;
    }
    // Then two bytes at a time.
    while (count < wanted && end - p >= 2 && p[0] != '\t' && p[1] == '\t') {
      const std::uint64_t mask = std::uint64_t{1} << count;
      flags = p[0] == '1' ? (flags | mask) : (flags & ~mask);
      ++count;
      p += 2;
    }
    for (;;) {
      const char* start = p;
      while (p != end && *p != '\t') ++p;
      if (count < wanted) {
        const std::uint64_t mask = std::uint64_t{1} << count;
        flags = (p - start == 1 && *start == '1') ? (flags | mask) : (flags & ~mask);
      }
      ++count;
      if (p == end) return count;
      ++p;
    }
  }

private:
  static constexpr std::size_t kMaxFixed = std::max(kLandFixedFields, kStaticFixedFields);
  static constexpr std::uint32_t kNotDecimal = 0xFFFFFFFF;  // above every field's maximum
  static constexpr std::size_t kNameField = 1;              // in both files
  std::array<std::string_view, kMaxFixed> m_fields;
  std::array<std::uint32_t, kMaxFixed> m_decimal{};
  std::size_t m_count = 0;
  std::string_view m_rest;
  bool m_hasRest = false;
};

// The stored flags with the bits the line carries (its first `fields` flag fields) taken from
// the line's reading of them.
std::uint64_t mergedFlags(std::uint64_t stored, std::uint64_t read, std::size_t fields, int bits) {
  const std::size_t carried = std::min(fields, static_cast<std::size_t>(bits));
  const std::uint64_t mask = carried >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << carried) - 1;
  return (stored & ~mask) | (read & mask);
}

// The name field of an imported line: an unchanged name keeps its stored bytes (and whatever
// follows its terminator), so an export and import of an untouched file changes nothing.
TileName importedName(std::string_view text, const TileName& old) {
  const auto* end = std::find(old.begin(), old.end(), std::uint8_t{0});
  const std::string_view stored(reinterpret_cast<const char*>(old.data()),
                                static_cast<std::size_t>(end - old.begin()));
  if (stored == text) return old;
  return tileNameFromBytes(text.substr(0, std::min(text.size(), kNameCharsOnImport)));
}

std::string_view fileText(const Bytes& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

std::string TTiledata::landTextHeader() const {
  return headerLine({"ID", "Name", "TextureID"}, TileFlags::landColumns(), flagBits());
}

std::string TTiledata::staticTextHeader() const {
  return headerLine({"ID", "Name", "Weight/Quantity", "Layer/Quality", "Gump/AnimID", "Height",
                     "Hue", "Class/Quantity", "unknown1", "unknown2", "unknown3", "unknown4"},
                    TileFlags::staticColumns(), flagBits());
}

void TTiledata::appendLandLine(std::string& out, std::int64_t id) const {
  const std::uint8_t* f = landFields(id);
  if (!f) return;
  char line[kLineCapacity];
  char* p = putHex(line, static_cast<std::uint32_t>(id));
  *p++ = '\t';
  p = putName(p, f + kLandName);
  *p++ = '\t';
  p = putHex(p, loadU16(f + kLandTexture));
  p = putFlags(p, readFlags(landOffset(id)), flagBits());
  out.append(line, p);
}

void TTiledata::appendStaticLine(std::string& out, std::int64_t id) const {
  const std::uint8_t* f = staticFields(id);
  if (!f) return;
  char line[kLineCapacity];
  char* p = putHex(line, static_cast<std::uint32_t>(id));
  *p++ = '\t';
  p = putName(p, f + kStaticName);
  const auto number = [&p](unsigned v) {
    *p++ = '\t';
    p = putDecimal(p, v);
  };
  number(f[kStaticWeight]);
  number(f[kStaticQuality]);
  *p++ = '\t';
  p = putHex(p, loadU16(f + kStaticAnimId));
  number(f[kStaticHeight]);
  number(f[kStaticHue]);
  number(f[kStaticQuantity]);
  number(loadU16(f + kStaticUnknown1));
  number(f[kStaticUnknown2]);
  number(f[kStaticUnknown3]);
  number(f[kStaticUnknown4]);
  p = putFlags(p, readFlags(staticOffset(id)), flagBits());
  out.append(line, p);
}

std::string TTiledata::landTextLine(std::int64_t id) const {
  std::string line;
  appendLandLine(line, id);
  return line;
}

std::string TTiledata::staticTextLine(std::int64_t id) const {
  std::string line;
  appendStaticLine(line, id);
  return line;
}

std::vector<std::string> TTiledata::landText() const {
  std::vector<std::string> lines;
  lines.reserve(kLandCount + 1);
  lines.push_back(landTextHeader());
  if (!m_loaded) return lines;
  for (int id = 0; id < kLandCount; ++id) lines.push_back(landTextLine(id));
  return lines;
}

std::vector<std::string> TTiledata::staticText() const {
  std::vector<std::string> lines;
  const std::uint32_t count = staticCount();
  lines.reserve(count + 1);
  lines.push_back(staticTextHeader());
  for (std::uint32_t id = 0; id < count; ++id) lines.push_back(staticTextLine(id));
  return lines;
}

std::string TTiledata::landTextFile() const {
  std::string text = landTextHeader() + "\r\n";
  if (!m_loaded) return text;
  text.reserve(text.size() + static_cast<std::size_t>(kLandCount) * (50 + 2 * 64));
  for (int id = 0; id < kLandCount; ++id) {
    appendLandLine(text, id);
    text += "\r\n";
  }
  return text;
}

std::string TTiledata::staticTextFile() const {
  std::string text = staticTextHeader() + "\r\n";
  const std::uint32_t count = staticCount();
  text.reserve(text.size() + count * std::size_t{80 + 2 * 64});
  for (std::uint32_t id = 0; id < count; ++id) {
    appendStaticLine(text, id);
    text += "\r\n";
  }
  return text;
}

void TTiledata::exportLandText(const std::string& path) const {
  const std::string text = landTextFile();
  writeFileAtomic(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void TTiledata::exportStaticText(const std::string& path) const {
  const std::string text = staticTextFile();
  writeFileAtomic(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

// Land import stops at the first line that fails; the lines before it stay written.
class TTiledata::LandImport {
public:
  explicit LandImport(TTiledata& tiles) : m_tiles(tiles) {
    if (!tiles.m_loaded) throw Error(notLoadedMessage("Tiledata"));
  }
  // Line lineNumber of the file (the header is line 1, which is skipped).
  void line(std::string_view text, std::size_t lineNumber) {
    if (lineNumber == 1 || lineNumber > static_cast<std::size_t>(kLandCount) + 1) return;
    m_fields.split(text, kLandFixedFields);
    const Fields& f = m_fields;
    std::uint64_t flags = 0;
    const std::size_t flagFields = f.readFlags(m_tiles.flagBits(), flags);
    const std::size_t count = f.size() + flagFields;
    if (count < kLandFixedFields + 32)
      throw Error("Line " + std::to_string(lineNumber) + " has " + std::to_string(count) +
                  " fields; a land line needs " + std::to_string(kLandFixedFields + 32) + ".");
    std::uint32_t id = 0;
    std::uint16_t texture = 0;
    try {
      id = f.number(0, "ID", 0x7FFFFFFF);
      texture = f.word(2, "TextureID");
    } catch (const Error& e) {
      throw Error("Line " + std::to_string(lineNumber) + ", " + e.what());
    }
    if (!m_tiles.hasLand(id))
      throw Error("Line " + std::to_string(lineNumber) + ": land id " + std::string(f[0]) +
                  " lies outside the land section (0x0 to 0x3FFF).");
    const LandTileRecord old = *m_tiles.readLand(id);
    LandTileRecord r;
    r.flags = mergedFlags(old.flags, flags, flagFields, m_tiles.flagBits());
    r.textureId = texture;
    r.name = importedName(f[1], old.name);
    m_tiles.writeLand(id, r);
    ++m_written;
  }
  std::size_t written() const { return m_written; }

private:
  TTiledata& m_tiles;
  Fields m_fields;
  std::size_t m_written = 0;
};

// Static import reports each failing line and goes on with the next.
class TTiledata::StaticImport {
public:
  explicit StaticImport(TTiledata& tiles) : m_tiles(tiles) {
    if (!tiles.m_loaded) throw Error(notLoadedMessage("Tiledata"));
  }
  void line(std::string_view text, std::size_t lineNumber) {
    if (lineNumber == 1) return;
    try {
      take(text);
      ++m_result.written;
    } catch (const Error& e) {
      m_result.failedLines.emplace_back(static_cast<int>(lineNumber), e.what());
    }
  }
  StaticImportResult result() { return std::move(m_result); }

private:
  void take(std::string_view text) {
    m_fields.split(text, kStaticFixedFields);
    const Fields& f = m_fields;
    std::uint64_t flags = 0;
    const std::size_t flagFields = f.readFlags(m_tiles.flagBits(), flags);
    const std::size_t count = f.size() + flagFields;
    if (count < kStaticFixedFields + 32)
      throw Error(std::to_string(count) + " fields; a static line needs " +
                  std::to_string(kStaticFixedFields + 32) + ".");
    const std::uint32_t id = f.number(0, "ID", 0x7FFFFFFF);
    // Every field is read before the id is checked, so a bad value is named whatever the id.
    StaticTileRecord r;
    r.weight = f.byte(2, "Weight/Quantity");
    r.quality = f.byte(3, "Layer/Quality");
    r.animId = f.word(4, "Gump/AnimID");
    r.height = f.byte(5, "Height");
    r.hue = f.byte(6, "Hue");
    r.quantity = f.byte(7, "Class/Quantity");
    r.unknown1 = f.word(8, "unknown1");
    r.unknown2 = f.byte(9, "unknown2");
    r.unknown3 = f.byte(10, "unknown3");
    r.unknown4 = f.byte(11, "unknown4");
    if (!m_tiles.hasStatic(id))
      throw Error("static id " + std::string(f[0]) + " lies outside the static section (" +
                  std::to_string(m_tiles.staticCount()) + " records).");
    const StaticTileRecord old = *m_tiles.readStatic(id);
    r.unknown5 = old.unknown5;  // not carried by the text
    r.name = importedName(f[1], old.name);
    r.flags = mergedFlags(old.flags, flags, flagFields, m_tiles.flagBits());
    m_tiles.writeStatic(id, r);
  }

  TTiledata& m_tiles;
  Fields m_fields;
  StaticImportResult m_result;
};

std::size_t TTiledata::importLandLines(const std::vector<std::string>& lines) {
  LandImport import(*this);
  for (std::size_t i = 0; i < lines.size(); ++i) import.line(lines[i], i + 1);
  return import.written();
}

std::size_t TTiledata::importLandText(const std::string& path) {
  LandImport import(*this);
  const Bytes bytes = readFile(path);
  const std::string_view text = fileText(bytes);
  std::size_t pos = 0, number = 0;
  std::string_view line;
  while (nextLine(text, pos, line)) import.line(line, ++number);
  return import.written();
}

StaticImportResult TTiledata::importStaticLines(const std::vector<std::string>& lines) {
  StaticImport import(*this);
  for (std::size_t i = 0; i < lines.size(); ++i) import.line(lines[i], i + 1);
  return import.result();
}

StaticImportResult TTiledata::importStaticText(const std::string& path) {
  StaticImport import(*this);
  const Bytes bytes = readFile(path);
  const std::string_view text = fileText(bytes);
  std::size_t pos = 0, number = 0;
  std::string_view line;
  while (nextLine(text, pos, line)) import.line(line, ++number);
  return import.result();
}

// ---- growing

void TTiledata::fillStaticSlots() {
  if (!m_loaded) return;
  if (staticCount() >= static_cast<std::uint32_t>(kFilledStaticCount)) return;
  // Whole zero groups up to 0x8000 records. Bytes past the last whole group are no records (a
  // tail some tool appended): they follow the new groups as they were, rather than becoming the
  // contents of new records.
  const std::size_t whole =
      m_sizes->landSection + staticCount() / kRecordsPerGroup * m_sizes->staticGroup;
  const Bytes tail(m_image.begin() + static_cast<std::ptrdiff_t>(whole), m_image.end());
  m_image.resize(whole);
  m_image.resize(m_sizes->landSection + static_cast<std::size_t>(kFilledStaticCount) /
                                            kRecordsPerGroup * m_sizes->staticGroup,
                 0);
  m_image.insert(m_image.end(), tail.begin(), tail.end());
}

}  // namespace quillotide
