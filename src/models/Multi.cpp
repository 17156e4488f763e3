#include "models/Multi.h"

#include <algorithm>
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

std::vector<MultiComponent> decodeMultiComponents(std::span<const std::uint8_t> bytes) {
  std::vector<MultiComponent> out;
  out.reserve(bytes.size() / kComponentSize);
  for (std::size_t at = 0; at + kComponentSize <= bytes.size(); at += kComponentSize) {
    const std::uint8_t* p = bytes.data() + at;
    out.push_back({loadU16(p), static_cast<std::int16_t>(loadU16(p + 2)),
                   static_cast<std::int16_t>(loadU16(p + 4)),
                   static_cast<std::int16_t>(loadU16(p + 6)), loadU32(p + 8)});
  }
  return out;
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
  return w.data();
}

Bytes encodeMultiComponents(const std::vector<MultiComponent>& parts) {
  ByteWriter w(parts.size() * kComponentSize);
  for (const MultiComponent& c : parts) {
    w.u16(c.id);
    w.i16(c.x);
    w.i16(c.y);
    w.i16(c.z);
    w.u32(c.flags);
  }
  return w.data();
}

UopForm multiUopForm() {
  UopForm form;
  form.family = UopFamily::Multi;
  form.slotLimit = kMaxSlot + 1;
  form.emptyExtra = -1;
  // The client's multi entries are zlib streams.
  form.compressNew = true;
  form.fromPayload = [](std::int64_t, std::span<const std::uint8_t> payload) {
    return UopSlotData{encodeMultiComponents(decodeUopMulti(payload)), -1};
  };
  form.toPayload = [](std::int64_t n, std::span<const std::uint8_t> data, const IndexRecord&) {
    return encodeUopMulti(static_cast<std::uint32_t>(n), decodeMultiComponents(data));
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

void TMulti::load(const std::string& indexPath, const std::string& dataPath) {
  if (isUopPair(indexPath, dataPath)) return loadUop(indexPath);
  m_files.load(indexPath, dataPath, StorageMode::Memory);
  m_clilocs.clear();
}

void TMulti::loadBytes(Bytes index, Bytes data) {
  m_files.adopt(makeMemoryStream(std::move(index)), makeMemoryStream(std::move(data)),
                StorageMode::Memory);
  m_clilocs.clear();
}

std::int64_t TMulti::save(const std::string& indexPath, const std::string& dataPath) const {
  if (!isLoaded()) throw Error(notLoadedMessage("Multi"));
  if (isUopPair(indexPath, dataPath)) {
    saveUop(indexPath);
    return 0;
  }
  m_files.save(indexPath, dataPath);
  return clilocListCount();
}

UopForm TMulti::uopFormFor() const {
  UopForm form = multiUopForm();
  form.toPayload = [this](std::int64_t n, std::span<const std::uint8_t>, const IndexRecord&) {
    return encodeUopMulti(static_cast<std::uint32_t>(n), components(n));
  };
  return form;
}

void TMulti::loadUop(const std::string& path) {
  std::map<std::int64_t, std::vector<std::vector<std::uint32_t>>> lists;
  UopForm form = uopFormFor();
  form.fromPayload = [&lists](std::int64_t n, std::span<const std::uint8_t> payload) {
    const auto parts = decodeUopMulti(payload);
    std::vector<std::vector<std::uint32_t>> slotLists;
    bool any = false;
    for (const MultiComponent& c : parts) {
      slotLists.push_back(c.clilocs);
      any = any || !c.clilocs.empty();
    }
    if (any) lists[n] = std::move(slotLists);
    return UopSlotData{encodeMultiComponents(parts), -1};
  };
  m_files.loadUop(path, form);
  m_clilocs.clear();
  for (auto& [n, slotLists] : lists)
    if (const auto r = m_files.record(n)) m_clilocs[n] = {*r, std::move(slotLists)};
}

void TMulti::saveUop(const std::string& path) const {
  if (!isLoaded()) throw Error(notLoadedMessage("Multi"));
  m_files.saveUop(path, uopFormFor());
}

std::int64_t TMulti::clilocListCount() const {
  std::int64_t count = 0;
  for (const auto& [n, held] : m_clilocs) {
    if (m_files.record(n) != held.record) continue;
    for (const auto& list : held.lists) count += list.empty() ? 0 : 1;
  }
  return count;
}

std::vector<MultiComponent> TMulti::components(std::int64_t slot) const {
  const auto r = m_files.record(slot);
  if (!r || r->isEmpty()) return {};
  std::vector<MultiComponent> parts;
  try {
    parts = decodeMultiComponents(m_files.readData(*r));
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

void TMulti::importText(std::int64_t slot, const std::string& path, MultiTextFormat format) {
  if (!isLoaded()) throw Error(notLoadedMessage("Multi"));
  auto parts = parseMultiText(readTextLines(path), format);
  recentre(parts);
  writeComponents(slot, parts);
}

void TMulti::writeComponents(std::int64_t slot, const std::vector<MultiComponent>& parts) {
  if (!isLoaded()) throw Error(notLoadedMessage("Multi"));
  if (slot < 0 || slot > kMaxSlot)
    throw Error(formatMessage("Multi slot %d is out of range (0 to 0xFFFF).", {num(slot)}));
  m_files.writeSlot(slot, encodeMultiComponents(parts), -1);
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
  m_files.deleteSlot(slot);
  m_clilocs.erase(slot);
}

}  // namespace quillotide
