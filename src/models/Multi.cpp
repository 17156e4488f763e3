#include "models/Multi.h"

#include <algorithm>
#include <filesystem>
#include <tuple>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Text.h"
#include "app/Uop.h"
#include "models/Art.h"
#include "models/ItemText.h"

namespace quillotide {

namespace {

using namespace multilayout;

std::string num(std::int64_t v) { return std::to_string(v); }
std::string label(std::int64_t slot) {
  return "Multi " + hexLabel(static_cast<std::uint32_t>(slot));
}

constexpr ValueRange kIdRange{0, 0xFFFF};
constexpr ValueRange kOffsetRange{-32768, 32767};

MultiComponent component(std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t z,
                         std::int32_t flags) {
  return {static_cast<std::uint16_t>(id), static_cast<std::int16_t>(x),
          static_cast<std::int16_t>(y), static_cast<std::int16_t>(z),
          static_cast<std::uint32_t>(flags)};
}

// Fields of a line split at single spaces; Error naming the line when fewer than `need`.
std::vector<std::string> fields(const std::string& line, std::size_t need, std::size_t lineNo) {
  auto parts = split(line, " ");
  if (parts.size() < need)
    throw Error(formatMessage(
        "Line %d \"%s\" has %d fields; a component needs %d.",
        {num(static_cast<std::int64_t>(lineNo)), line, num(static_cast<std::int64_t>(parts.size())),
         num(static_cast<std::int64_t>(need))}));
  return parts;
}

}  // namespace

namespace MultiComponentLayout {
constexpr std::size_t kId = 0;
constexpr std::size_t kX = 2;
constexpr std::size_t kY = 4;
constexpr std::size_t kZ = 6;
constexpr std::size_t kFlags = 8;
constexpr std::size_t kFurther = 12;
static_assert(kFlags + 4 == kOlderComponentSize && kFurther + 4 == kNewerComponentSize);
// Real flags and further values are 0 or 1; a misread component shows ids and offsets there.
constexpr std::uint32_t kSmallValue = 0xFF;
}  // namespace MultiComponentLayout

namespace {

// Whole components of one reading of slot bytes, and how many of them look misread.
struct Reading {
  std::int64_t components = 0;
  std::int64_t implausible = 0;
};

void tally(std::span<const std::uint8_t> bytes, MultiLayout layout, Reading& reading) {
  using namespace MultiComponentLayout;
  const std::size_t size = componentSize(layout);
  for (std::size_t at = 0; at + size <= bytes.size(); at += size) {
    const std::uint8_t* p = bytes.data() + at;
    const std::uint32_t further = layout == MultiLayout::Newer16 ? loadU32(p + kFurther) : 0;
    ++reading.components;
    if (loadU32(p + kFlags) > kSmallValue || further > kSmallValue) ++reading.implausible;
  }
}

// Whether a has the smaller share of misread-looking components than b.
bool morePlausible(const Reading& a, const Reading& b) {
  return a.implausible * b.components < b.implausible * a.components;
}

std::string sizeText(MultiLayout layout) {
  return std::to_string(componentSize(layout)) + "-byte components";
}

std::string fileName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

}  // namespace

std::vector<MultiComponent> decodeMultiComponents(std::span<const std::uint8_t> bytes,
                                                  MultiLayout layout) {
  using namespace MultiComponentLayout;
  const std::size_t size = componentSize(layout);
  std::vector<MultiComponent> out;
  out.reserve(bytes.size() / size);
  for (std::size_t at = 0; at + size <= bytes.size(); at += size) {
    const std::uint8_t* p = bytes.data() + at;
    MultiComponent& c =
        out.emplace_back(loadU16(p + kId), static_cast<std::int16_t>(loadU16(p + kX)),
                         static_cast<std::int16_t>(loadU16(p + kY)),
                         static_cast<std::int16_t>(loadU16(p + kZ)), loadU32(p + kFlags));
    if (layout == MultiLayout::Newer16) c.further = loadU32(p + kFurther);
  }
  return out;
}

Bytes encodeMultiComponents(const std::vector<MultiComponent>& parts, MultiLayout layout) {
  ByteWriter w(parts.size() * componentSize(layout));
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const MultiComponent& c = parts[i];
    w.u16(c.id);
    w.i16(c.x);
    w.i16(c.y);
    w.i16(c.z);
    w.u32(c.flags);
    if (layout == MultiLayout::Newer16)
      w.u32(c.further);
    else if (c.further != 0)
      throw Error(formatMessage(
          "Component %d has the further value %d, which 12-byte components have no place for; "
          "convert the multis to 16-byte components first. Nothing was changed.",
          {num(static_cast<std::int64_t>(i + 1)), num(c.further)}));
  }
  return w.take();
}

MultiLayout guessSlotLayout(std::span<const std::uint8_t> bytes) {
  const bool fits12 = bytes.size() % kOlderComponentSize == 0;
  const bool fits16 = bytes.size() % kNewerComponentSize == 0;
  if (fits12 != fits16) return fits12 ? MultiLayout::Older12 : MultiLayout::Newer16;
  Reading older, newer;
  tally(bytes, MultiLayout::Older12, older);
  tally(bytes, MultiLayout::Newer16, newer);
  return morePlausible(older, newer) ? MultiLayout::Older12 : MultiLayout::Newer16;
}

namespace UopFlagBits {
constexpr std::uint16_t kInverted = 0x1;
constexpr std::uint16_t kFurther = 0x100;
constexpr std::uint32_t kMulFlagsKnown = kInverted | kCarriedFlagBits;
}  // namespace UopFlagBits

std::optional<std::uint16_t> uopFlagsOf(std::uint32_t flags, std::uint32_t further) {
  using namespace UopFlagBits;
  if ((flags & ~kMulFlagsKnown) != 0 || further > 1) return std::nullopt;
  return static_cast<std::uint16_t>(((flags & kInverted) ? 0 : kInverted) |
                                    (flags & kCarriedFlagBits) | (further ? kFurther : 0));
}

MulFlags mulFlagsOf(std::uint16_t uopFlags) {
  using namespace UopFlagBits;
  return {((uopFlags & kInverted) ? 0u : 1u) | (uopFlags & kCarriedFlagBits),
          (uopFlags & kFurther) ? 1u : 0u};
}

std::string droppedOnImportMessage(std::int64_t lists, std::int64_t slot) {
  return formatMessage(
      "%d cliloc lists of %s were dropped: the imported components are not the tiles they "
      "belonged to.",
      {num(lists), label(slot)});
}

std::string MultiConversion::message() const {
  std::string text = formatMessage("Converted %d slots.", {num(rewritten)});
  if (furtherDropped > 0)
    text +=
        formatMessage(" %d further values were dropped: 12-byte components have no place for them.",
                      {num(furtherDropped)});
  if (trailingBytes > 0)
    text += formatMessage(" %d bytes after the last whole components of their slots were left out.",
                          {num(trailingBytes)});
  return text;
}

namespace UopMultiLayout {
// u16 id, i16 x, y, z, u16 flags, u32 cliloc count.
constexpr std::size_t kTileSize = 14;
constexpr std::size_t kClilocSize = 4;
constexpr std::uint32_t kMaxFlags = 0xFFFF;
}  // namespace UopMultiLayout

std::vector<MultiComponent> decodeUopMulti(std::span<const std::uint8_t> payload) {
  using namespace UopMultiLayout;
  ByteReader r(payload, "multi entry");
  r.readU32();  // the multi's id, the number its name carries
  const std::uint32_t count = r.readU32();
  if (count > r.remaining() / kTileSize)
    throw FormatError(formatMessage("It claims %d tiles, more than its %d bytes can hold.",
                                    {num(count), num(static_cast<std::int64_t>(payload.size()))}));
  std::vector<MultiComponent> out(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    MultiComponent& c = out[i];
    c.id = r.readU16();
    c.x = r.readI16();
    c.y = r.readI16();
    c.z = r.readI16();
    c.flags = r.readU16();
    const std::uint32_t clilocs = r.readU32();
    if (clilocs > r.remaining() / kClilocSize)
      throw FormatError(formatMessage(
          "Tile %d claims %d cliloc numbers, more than the entry holds.", {num(i), num(clilocs)}));
    c.clilocs.resize(clilocs);
    for (std::uint32_t& n : c.clilocs) n = r.readU32();
  }
  if (!r.atEnd())
    throw FormatError(formatMessage("%d bytes follow its last tile.",
                                    {num(static_cast<std::int64_t>(r.remaining()))}));
  return out;
}

Bytes encodeUopMulti(std::uint32_t id, const std::vector<MultiComponent>& components) {
  using namespace UopMultiLayout;
  std::size_t size = 8;
  for (std::size_t i = 0; i < components.size(); ++i) {
    const MultiComponent& c = components[i];
    if (c.flags > kMaxFlags)
      throw Error(formatMessage(
          "Multi %s, component %d: its flags 0x%s need more than the 16 bits a UOP container "
          "holds; nothing was written.",
          {hexLabel(id), num(static_cast<std::int64_t>(i + 1)), hexDigits(c.flags)}));
    size += kTileSize + kClilocSize * c.clilocs.size();
  }
  ByteWriter w(size);
  w.u32(id);
  w.u32(static_cast<std::uint32_t>(components.size()));
  for (const MultiComponent& c : components) {
    w.u16(c.id);
    w.i16(c.x);
    w.i16(c.y);
    w.i16(c.z);
    w.u16(static_cast<std::uint16_t>(c.flags));
    w.u32(static_cast<std::uint32_t>(c.clilocs.size()));
    for (const std::uint32_t n : c.clilocs) w.u32(n);
  }
  return w.take();
}

namespace {

// Flag bits of no known meaning met on the way between the forms: how many components carried
// them, and the first one named.
struct CarriedFlags {
  std::int64_t count = 0;
  std::string first;
  void note(std::int64_t slot, std::size_t index, const std::string& value) {
    if (count++ == 0)
      first = formatMessage("%s, component %d, %s",
                            {label(slot), num(static_cast<std::int64_t>(index + 1)), value});
  }
};

// The components as a container stores them. Throws Error naming a component whose MUL flags or
// further value have no counterpart there.
std::vector<MultiComponent> toUopTiles(std::int64_t slot, std::vector<MultiComponent> parts,
                                       CarriedFlags* carried) {
  for (std::size_t i = 0; i < parts.size(); ++i) {
    MultiComponent& c = parts[i];
    const auto flags = uopFlagsOf(c.flags, c.further);
    if (!flags)
      throw Error(formatMessage(
          "%s, component %d: MUL flags 0x%s with the further value %d have no counterpart in a "
          "UOP container (its tiles hold bit 0 inverted, 0x100 for a further value of 1 and the "
          "bits 0xFEFE as they are); nothing was written.",
          {label(slot), num(static_cast<std::int64_t>(i + 1)), hexDigits(c.flags),
           num(c.further)}));
    if ((*flags & kCarriedFlagBits) != 0 && carried)
      carried->note(slot, i, "MUL flags " + hexLabel(c.flags));
    c.flags = *flags;
    c.further = 0;
  }
  return parts;
}

// The tiles of a container entry in the MUL form.
std::vector<MultiComponent> fromUopTiles(std::int64_t slot, std::vector<MultiComponent> tiles,
                                         CarriedFlags* carried) {
  for (std::size_t i = 0; i < tiles.size(); ++i) {
    MultiComponent& c = tiles[i];
    const auto stored = static_cast<std::uint16_t>(c.flags);
    if ((stored & kCarriedFlagBits) != 0 && carried)
      carried->note(slot, i, "flags " + hexLabel(stored));
    const MulFlags mul = mulFlagsOf(stored);
    c.flags = mul.flags;
    c.further = mul.further;
  }
  return tiles;
}

}  // namespace

UopForm multiUopForm(std::optional<MultiLayout> layout) {
  UopForm form;
  form.family = UopFamily::Multi;
  form.slotLimit = kMaxSlot + 1;
  form.emptyExtra = -1;
  // The client's multi entries are zlib streams.
  form.compressNew = true;
  form.keepsUnreadable = true;
  const MultiLayout into = layout.value_or(MultiLayout::Newer16);
  form.fromPayload = [into](std::int64_t n, std::span<const std::uint8_t> payload) {
    return UopSlotData{
        encodeMultiComponents(fromUopTiles(n, decodeUopMulti(payload), nullptr), into), -1};
  };
  form.toPayload = [layout](std::int64_t n, std::span<const std::uint8_t> data,
                            const IndexRecord&) {
    const MultiLayout from = layout.value_or(guessSlotLayout(data));
    return encodeUopMulti(static_cast<std::uint32_t>(n),
                          toUopTiles(n, decodeMultiComponents(data, from), nullptr));
  };
  return form;
}

std::vector<std::string> multiText(const std::vector<MultiComponent>& components,
                                   MultiTextFormat format) {
  std::vector<std::string> lines;
  std::uint32_t serial = kFirstSerial;
  int section = 0;
  if (format == MultiTextFormat::UoaText) {
    lines = {"6 version", "1 template id", "-1 item version",
             num(static_cast<std::int64_t>(components.size())) + " num components"};
  }
  for (const MultiComponent& c : components) {
    ++serial;
    const int wx = c.x + kWorldX;
    const int wy = c.y + kWorldY;
    switch (format) {
      case MultiTextFormat::Sphere51a:
        lines.push_back("[WORLDITEM 0" + hexDigits(c.id) + "]");
        lines.push_back("SERIAL=0" + hexDigits(serial));
        lines.push_back("ID=0" + hexDigits(c.id));
        lines.push_back("P=" + num(wx) + "," + num(wy) + "," + num(c.z));
        lines.emplace_back();
        break;
      case MultiTextFormat::Wsc:
        lines.push_back("SECTION WORLDITEM " + num(section++));
        lines.emplace_back("{");
        lines.push_back("SERIAL " + num(static_cast<std::int32_t>(serial)));
        lines.push_back("ID " + num(c.id));
        lines.push_back("X " + num(wx));
        lines.push_back("Y " + num(wy));
        lines.push_back("Z " + num(c.z));
        lines.emplace_back("}");
        lines.emplace_back();
        break;
      case MultiTextFormat::PlainText:
        lines.push_back(hexLabel(c.id) + " " + num(c.x) + " " + num(c.y) + " " + num(c.z) +
                        " 0x0 " + num(static_cast<std::int32_t>(c.flags)));
        break;
      case MultiTextFormat::UoaText:
        lines.push_back(num(c.id) + " " + num(c.x) + " " + num(c.y) + " " + num(c.z) + " " +
                        num(static_cast<std::int32_t>(c.flags)));
        break;
    }
  }
  return lines;
}

std::vector<MultiComponent> parseMultiText(const std::vector<std::string>& lines,
                                           MultiTextFormat format) {
  std::vector<MultiComponent> out;
  if (format == MultiTextFormat::Sphere51a || format == MultiTextFormat::Wsc) {
    // Values stay current across items: an item without a position takes the previous one's. The
    // world position stays in: re-centring takes it out.
    ItemTextRules rules;
    rules.carryValues = true;
    rules.position = kOffsetRange;
    rules.height = kOffsetRange;
    readTextItems(
        lines,
        format == MultiTextFormat::Sphere51a ? ItemTextDialect::Sphere51a : ItemTextDialect::Wsc,
        rules, [&](const TextItem& item) {
          out.push_back(component(item.id, item.x, item.y, item.z, 1));
        });
    return out;
  }
  std::size_t first = 0;
  std::size_t last = lines.size();
  std::size_t flagsField = 5;
  if (format == MultiTextFormat::UoaText) {
    if (lines.size() < 4) throw Error("A UOA text file needs its four header lines.");
    const std::int32_t n = parseInt(trim(split(trim(lines[3]), " ")[0]));
    first = 4;
    last = n > 0 ? 4 + static_cast<std::size_t>(n) : 4;
    if (last > lines.size())
      throw Error(formatMessage("The file announces %d components but has only %d lines.",
                                {num(n), num(static_cast<std::int64_t>(lines.size()))}));
    flagsField = 4;
  }
  for (std::size_t i = first; i < last; ++i) {
    const std::string line = trim(lines[i]);
    if (line.empty()) continue;
    const auto f = fields(line, flagsField + 1, i + 1);
    const auto value = [&, number = i + 1](std::size_t k, std::string_view what, ValueRange range) {
      const std::int32_t v = parseInt(f[k]);
      requireInRange(number, what, v, range);
      return v;
    };
    const std::int32_t id = value(0, "the id", kIdRange);
    const std::int32_t x = value(1, "x", kOffsetRange);
    const std::int32_t y = value(2, "y", kOffsetRange);
    const std::int32_t z = value(3, "z", kOffsetRange);
    out.push_back(component(id, x, y, z, parseInt(f[flagsField])));
  }
  return out;
}

void recentre(std::vector<MultiComponent>& components) {
  int maxX = 0, maxY = 0, minX = 10000, minY = 10000, minZ = 10000;
  for (const MultiComponent& c : components) {
    maxX = std::max<int>(maxX, c.x);
    minX = std::min<int>(minX, c.x);
    maxY = std::max<int>(maxY, c.y);
    minY = std::min<int>(minY, c.y);
    minZ = std::min<int>(minZ, c.z);
  }
  const int cx = maxX - (maxX - minX) / 2;
  const int cy = maxY - (maxY - minY) / 2;
  // Offsets are 16 bits: a multi wider than that cannot be stored, not even shifted.
  for (std::size_t i = 0; i < components.size(); ++i) {
    const MultiComponent& c = components[i];
    const auto fits = [](int v) { return v >= kOffsetRange.min && v <= kOffsetRange.max; };
    if (!fits(c.x - cx) || !fits(c.y - cy) || !fits(c.z - minZ))
      throw Error(formatMessage(
          "Component %d lies at %d, %d, %d from the multi's centre; a multi holds offsets of "
          "-32768 to 32767.",
          {num(static_cast<std::int64_t>(i + 1)), num(c.x - cx), num(c.y - cy), num(c.z - minZ)}));
  }
  for (MultiComponent& c : components) {
    c.x = static_cast<std::int16_t>(c.x - cx);
    c.y = static_cast<std::int16_t>(c.y - cy);
    c.z = static_cast<std::int16_t>(c.z - minZ);
  }
}

struct TMulti::FlagCount : CarriedFlags {};

std::optional<std::string> TMulti::load(const std::string& indexPath, const std::string& dataPath) {
  if (isUopPair(indexPath, dataPath)) return loadUop(indexPath);
  m_files.load(indexPath, dataPath, StorageMode::Memory);
  m_clilocs.clear();
  tellLayout();
  return sayLoaded(dataPath, nullptr);
}

std::optional<std::string> TMulti::loadBytes(Bytes index, Bytes data,
                                             std::optional<MultiLayout> layout) {
  m_files.adopt(makeMemoryStream(std::move(index)), makeMemoryStream(std::move(data)),
                StorageMode::Memory);
  m_clilocs.clear();
  tellLayout();
  if (layout) {
    m_layout = *layout;
    m_basis = MultiLayoutBasis::Lengths;
  }
  // Images in memory are no file the user opened: what they hold is returned, not noted.
  m_loadNote = noteOfLoad("multi.mul", nullptr);
  return m_loadNote;
}

void TMulti::tellLayout() {
  const std::uint64_t dataSize = m_files.dataSize();
  std::vector<IndexRecord> used;
  std::int64_t fit12 = 0, fit16 = 0;
  for (const IndexRecord& r : m_files.records(0, recordCount())) {
    if (r.isEmpty() ||
        static_cast<std::uint64_t>(r.lookup) + static_cast<std::uint64_t>(r.length) > dataSize)
      continue;
    used.push_back(r);
    fit12 += r.length % static_cast<std::int32_t>(kOlderComponentSize) == 0 ? 1 : 0;
    fit16 += r.length % static_cast<std::int32_t>(kNewerComponentSize) == 0 ? 1 : 0;
  }
  if (used.empty()) {
    // Nothing to tell from: new components get the layout of current clients.
    m_layout = MultiLayout::Newer16;
    m_basis = MultiLayoutBasis::NoComponents;
    return;
  }
  if (fit12 != fit16) {
    m_layout = fit12 > fit16 ? MultiLayout::Older12 : MultiLayout::Newer16;
    m_basis = MultiLayoutBasis::Lengths;
    return;
  }
  Reading older, newer;
  for (const IndexRecord& r : used) {
    const auto view = m_files.dataView(r);
    const Bytes copy = view ? Bytes() : m_files.readData(r);
    const std::span<const std::uint8_t> bytes = view ? *view : std::span<const std::uint8_t>(copy);
    tally(bytes, MultiLayout::Older12, older);
    tally(bytes, MultiLayout::Newer16, newer);
  }
  m_layout = morePlausible(older, newer) ? MultiLayout::Older12 : MultiLayout::Newer16;
  m_basis = MultiLayoutBasis::Plausibility;
}

std::optional<std::string> TMulti::noteOfLoad(const std::string& file,
                                              const FlagCount* carried) const {
  std::vector<std::string> lines;
  const std::string name = fileName(file);
  if (m_basis == MultiLayoutBasis::Plausibility)
    lines.push_back(formatMessage(
        "Every slot of %s fits both 12- and 16-byte components; it is read as %s, the reading "
        "whose flags stay small.",
        {name, sizeText(m_layout)}));
  std::int64_t ragged = 0;
  std::string first;
  for (std::int64_t n = 0; n < recordCount(); ++n) {
    const std::int64_t over = trailingBytes(n);
    if (over == 0) continue;
    if (ragged++ == 0) first = formatMessage("%s, %d bytes over", {label(n), num(over)});
  }
  if (ragged > 0)
    lines.push_back(formatMessage(
        "%d slots of %s do not end on a whole %d-byte component (first: %s); the bytes over are "
        "no component and are kept as they are.",
        {num(ragged), name, num(static_cast<std::int64_t>(componentSize(m_layout))), first}));
  if (carried && carried->count > 0)
    lines.push_back(formatMessage(
        "%d tiles of %s have flag bits with no known counterpart in the MUL form (first: %s); "
        "they are kept in the same bits of the MUL flags.",
        {num(carried->count), name, carried->first}));
  if (lines.empty()) return std::nullopt;
  std::string text = lines.front();
  for (std::size_t i = 1; i < lines.size(); ++i) text += "\n" + lines[i];
  return text;
}

std::optional<std::string> TMulti::sayLoaded(const std::string& file, const FlagCount* carried) {
  m_loadNote = noteOfLoad(file, carried);
  // Said once, where the file layer's notes are shown (as is an entry that cannot be read).
  if (m_loadNote) addFileNote(*m_loadNote);
  return m_loadNote;
}

std::string TMulti::layoutText() const {
  const std::string fields = m_layout == MultiLayout::Newer16
                                 ? " (id, x, y, z, flags, further value)"
                                 : " (id, x, y, z, flags)";
  const std::string what = sizeText(m_layout) + fields;
  switch (m_basis) {
    case MultiLayoutBasis::NoComponents:
      return what + ": the file holds none yet";
    case MultiLayoutBasis::Lengths:
      return what + ", as the slots' lengths give";
    case MultiLayoutBasis::Plausibility:
      return what + ": every slot fits both sizes, and this reading's flags stay small";
    case MultiLayoutBasis::Container:
      return what + " when saved as MUL; read from a container";
    case MultiLayoutBasis::Converted:
      return what + ", converted since the load";
  }
  return what;
}

MultiSaveResult TMulti::save(const std::string& indexPath, const std::string& dataPath) const {
  if (!isLoaded()) throw Error(notLoadedMessage("Multi"));
  MultiSaveResult result;
  if (isUopPair(indexPath, dataPath)) {
    result.said = saveUop(indexPath);
    return result;
  }
  // The pair's save notes the unreadable entries it has no place for.
  result.unreadableLeftOut = m_files.unreadableSlots();
  m_files.save(indexPath, dataPath);
  result.droppedClilocLists = clilocListCount();
  if (result.droppedClilocLists > 0)
    result.said = formatMessage(
        "%s has no place for the cliloc lists of the multis: %s of them were left out. Every "
        "tile, its position and its flags are written.",
        {fileName(dataPath), num(result.droppedClilocLists)});
  return result;
}

UopForm TMulti::uopFormFor(FlagCount* carried) const {
  UopForm form = multiUopForm(m_layout);
  form.toPayload = [this, carried](std::int64_t n, std::span<const std::uint8_t>,
                                   const IndexRecord&) {
    return encodeUopMulti(static_cast<std::uint32_t>(n), toUopTiles(n, components(n), carried));
  };
  return form;
}

std::optional<std::string> TMulti::loadUop(const std::string& path, std::int64_t minRecords) {
  std::map<std::int64_t, std::vector<std::vector<std::uint32_t>>> lists;
  FlagCount carried;
  UopForm form = uopFormFor(nullptr);
  form.minRecords = minRecords;
  form.fromPayload = [&](std::int64_t n, std::span<const std::uint8_t> payload) {
    // A payload that does not read as a multi leaves its slot unreadable (keepsUnreadable).
    std::vector<MultiComponent> tiles = decodeUopMulti(payload);
    std::vector<std::vector<std::uint32_t>> slotLists;
    bool any = false;
    for (const MultiComponent& c : tiles) {
      slotLists.push_back(c.clilocs);
      any = any || !c.clilocs.empty();
    }
    if (any) lists[n] = std::move(slotLists);
    return UopSlotData{
        encodeMultiComponents(fromUopTiles(n, std::move(tiles), &carried), MultiLayout::Newer16),
        -1};
  };
  m_files.loadUop(path, form);
  m_clilocs.clear();
  for (auto& [n, slotLists] : lists)
    if (const auto r = m_files.record(n)) m_clilocs[n] = {*r, std::move(slotLists)};
  m_layout = MultiLayout::Newer16;
  m_basis = MultiLayoutBasis::Container;
  return sayLoaded(path, &carried);
}

std::optional<std::string> TMulti::saveUop(const std::string& path) const {
  if (!isLoaded()) throw Error(notLoadedMessage("Multi"));
  FlagCount carried;
  m_files.saveUop(path, uopFormFor(&carried));
  if (carried.count == 0) return std::nullopt;
  return formatMessage(
      "%d components have flag bits with no known counterpart in a UOP container (first: %s); "
      "they are kept in the same bits of the tiles' flags.",
      {num(carried.count), carried.first});
}

std::int64_t TMulti::clilocListCount() const {
  std::int64_t count = 0;
  for (const auto& [n, held] : m_clilocs) {
    if (m_files.record(n) != held.record) continue;
    for (const auto& list : held.lists) count += list.empty() ? 0 : 1;
  }
  return count;
}

std::uint32_t TMulti::storedFlags(const MultiComponent& c) const {
  if (isUop())
    if (const auto flags = uopFlagsOf(c.flags, c.further)) return *flags;
  return c.flags;
}

std::int64_t TMulti::listedSlotCount() const {
  return std::clamp<std::int64_t>(recordCount(), kSlotCount, kMaxSlot + 1);
}

std::int64_t TMulti::trailingBytes(std::int64_t slot) const {
  const auto r = m_files.record(slot);
  if (!r || r->isEmpty()) return 0;
  return r->length % static_cast<std::int32_t>(componentSize(m_layout));
}

std::optional<std::string> TMulti::unreadableReason(std::int64_t slot) const {
  return m_files.unreadable(slot);
}

std::int64_t TMulti::furtherValueCount() const {
  if (m_layout != MultiLayout::Newer16) return 0;
  std::int64_t count = 0;
  for (std::int64_t n = 0; n < recordCount(); ++n) {
    if (!slotExists(n)) continue;
    for (const MultiComponent& c : components(n)) count += c.further != 0 ? 1 : 0;
  }
  return count;
}

MultiConversion TMulti::convertLayout(MultiLayout to, bool dropFurther) {
  if (!isLoaded()) throw Error(notLoadedMessage("Multi"));
  MultiConversion done;
  if (to == m_layout) return done;
  // Every slot is decoded before the first is written, so a refusal changes nothing.
  std::vector<std::pair<std::int64_t, std::vector<MultiComponent>>> slots;
  for (std::int64_t n = 0; n < recordCount(); ++n) {
    if (!slotExists(n)) continue;
    auto parts = components(n);
    for (std::size_t i = 0; i < parts.size(); ++i) {
      if (to != MultiLayout::Older12 || parts[i].further == 0) continue;
      if (!dropFurther)
        throw Error(formatMessage(
            "%d components hold a further value that 12-byte components have no place for "
            "(first: %s, component %d, value %d); nothing was converted.",
            {num(furtherValueCount()), label(n), num(static_cast<std::int64_t>(i + 1)),
             num(parts[i].further)}));
      parts[i].further = 0;
      ++done.furtherDropped;
    }
    done.trailingBytes += trailingBytes(n);
    slots.emplace_back(n, std::move(parts));
  }
  const MultiLayout from = m_layout;
  m_layout = to;
  try {
    for (const auto& [n, parts] : slots) {
      const std::int32_t extra = m_files.record(n)->extra;
      m_files.writeSlot(n, encodeMultiComponents(parts, to), extra);
      const auto held = m_clilocs.find(n);
      if (held != m_clilocs.end()) held->second.record = *m_files.record(n);
      ++done.rewritten;
    }
  } catch (...) {
    m_layout = from;
    throw;
  }
  m_basis = MultiLayoutBasis::Converted;
  return done;
}

std::vector<MultiComponent> TMulti::components(std::int64_t slot) const {
  const auto r = m_files.record(slot);
  if (!r || r->isEmpty()) return {};
  std::vector<MultiComponent> parts;
  try {
    parts = decodeMultiComponents(m_files.readData(*r), m_layout);
  } catch (const FormatError& e) {
    throw FormatError(label(slot) + ": " + e.what());
  }
  const auto held = m_clilocs.find(slot);
  if (held != m_clilocs.end() && held->second.record == *r &&
      held->second.lists.size() == parts.size())
    for (std::size_t i = 0; i < parts.size(); ++i) parts[i].clilocs = held->second.lists[i];
  return parts;
}

Bitmap32 TMulti::multiPicture(std::int64_t slot, const TArt* art) const {
  if (!art || !art->isLoaded()) throw Error("Load Art first.");
  struct Placed {
    MultiComponent c;
    int w, h, left, top;
  };
  std::vector<Placed> order;
  int minX = 1000, minY = 1000, maxX = -1000, maxY = -1000;
  for (const MultiComponent& c : components(slot)) {
    const int w = art->staticArtWidth(c.id);
    const int h = art->staticArtHeight(c.id);
    const Placed p{c, w, h, (c.x - c.y) * 22 - w / 2, (c.x + c.y) * 22 - h - c.z * 4};
    const auto key = [](const Placed& q) {
      return std::make_tuple(q.c.x + q.c.y, static_cast<int>(q.c.z), static_cast<unsigned>(q.h));
    };
    // A component goes before those equal to it on every key.
    const auto at =
        std::lower_bound(order.begin(), order.end(), p,
                         [&](const Placed& a, const Placed& b) { return key(a) < key(b); });
    order.insert(at, p);
    minX = std::min(minX, p.left);
    minY = std::min(minY, p.top);
    maxX = std::max(maxX, p.left + w);
    maxY = std::max(maxY, p.top + h);
  }
  const int width = maxX - minX;
  const int height = maxY - minY;
  if (order.empty() || width <= 0 || height <= 0) return {};
  if (static_cast<std::int64_t>(width) * height > kMaxStaticPixels)
    throw FormatError(formatMessage("%s spans %dx%d pixels, too large to draw.",
                                    {label(slot), num(width), num(height)}));
  Bitmap32 picture(width, height, makePixel(255, 255, 255));
  for (const Placed& p : order) art->drawStatic(p.c.id, p.left - minX, p.top - minY, picture);
  return picture;
}

bool TMulti::exportText(std::int64_t slot, const std::string& path, MultiTextFormat format) const {
  if (!slotExists(slot)) return false;
  writeTextLines(path, multiText(components(slot), format));
  return true;
}

std::int64_t TMulti::importText(std::int64_t slot, const std::string& path,
                                MultiTextFormat format) {
  if (!isLoaded()) throw Error(notLoadedMessage("Multi"));
  auto parts = parseMultiText(readTextLines(path), format);
  recentre(parts);
  // The text formats carry no cliloc lists and no further values: a slot read back with the same
  // tiles in the same places keeps its own.
  const std::vector<MultiComponent> old =
      slotExists(slot) ? components(slot) : std::vector<MultiComponent>{};
  const auto samePlace = [](const MultiComponent& a, const MultiComponent& b) {
    return a.id == b.id && a.x == b.x && a.y == b.y && a.z == b.z;
  };
  std::int64_t dropped = 0;
  if (old.size() == parts.size() && std::equal(old.begin(), old.end(), parts.begin(), samePlace)) {
    for (std::size_t i = 0; i < parts.size(); ++i) {
      parts[i].clilocs = old[i].clilocs;
      parts[i].further = old[i].further;
    }
  } else {
    dropped = std::count_if(old.begin(), old.end(),
                            [](const MultiComponent& c) { return !c.clilocs.empty(); });
  }
  writeComponents(slot, parts);
  return dropped;
}

void TMulti::writeComponents(std::int64_t slot, const std::vector<MultiComponent>& parts) {
  if (!isLoaded()) throw Error(notLoadedMessage("Multi"));
  if (slot < 0 || slot > kMaxSlot)
    throw Error(formatMessage("Multi slot %d is out of range (0 to 0xFFFF).", {num(slot)}));
  Bytes bytes;
  try {
    bytes = encodeMultiComponents(parts, m_layout);
  } catch (const Error& e) {
    throw Error(label(slot) + ": " + e.what());
  }
  m_files.writeSlot(slot, bytes, -1);
  m_clilocs.erase(slot);
  if (std::any_of(parts.begin(), parts.end(),
                  [](const MultiComponent& c) { return !c.clilocs.empty(); })) {
    SlotClilocs& held = m_clilocs[slot];
    held.record = *m_files.record(slot);
    for (const MultiComponent& c : parts) held.lists.push_back(c.clilocs);
  }
}

void TMulti::deleteSlot(std::int64_t slot) {
  if (!isLoaded()) throw Error(notLoadedMessage("Multi"));
  if (m_files.unreadable(slot)) {
    // Its record was already empty: an empty one the container save tells from the one read, so
    // that the entry goes with the slot.
    m_files.writeRecord(slot, {-1, -1, 0});
  } else {
    m_files.deleteSlot(slot);
  }
  m_clilocs.erase(slot);
}

}  // namespace quillotide
