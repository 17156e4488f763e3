#include "world/WorldFile.h"

#include <algorithm>

#include "app/Error.h"
#include "app/Text.h"
#include "models/ItemText.h"

namespace quillotide {

namespace {

std::string decimal(std::int64_t v) { return std::to_string(v); }

// The piece `i` of a split line, or the out-of-bounds message.
const std::string& piece(const std::vector<std::string>& pieces, std::size_t i) {
  if (i >= pieces.size())
    throw Error(
        formatMessage("List index out of bounds (%d)", {decimal(static_cast<std::int64_t>(i))}));
  return pieces[i];
}

// What a world item holds: positions of 16 bits, a height of 8.
constexpr ValueRange kPositionRange{0, 0xFFFF};
constexpr ValueRange kHeightRange{-128, 127};
constexpr ValueRange kIdRange{0, 0xFFFF};

}  // namespace

TextItem readPlainWorldLine(std::string_view line, std::size_t number, ValueRange position,
                            ValueRange height) {
  const auto pieces = split(line, " ");
  const auto value = [&](std::size_t k, std::string_view what, ValueRange range) {
    const std::int32_t v = parseInt(piece(pieces, k));
    requireInRange(number, what, v, range);
    return v;
  };
  TextItem p;
  p.id = value(0, "the id", kIdRange);
  p.x = value(1, "x", position);
  p.y = value(2, "y", position);
  p.z = value(3, "z", height);
  p.hue = value(4, "the hue", kIdRange);
  p.line = number;
  return p;
}

std::string plainWorldLine(std::uint16_t id, std::int64_t x, std::int64_t y, std::int64_t z,
                           std::uint16_t hue) {
  return hexLabel(id) + " " + decimal(x) + " " + decimal(y) + " " + decimal(z) + " " +
         hexLabel(hue);
}

WorldTextFormat worldTextFormatByName(const std::string& name) {
  if (name == "text") return WorldTextFormat::Plain;
  if (name == "sphere") return WorldTextFormat::Sphere51a;
  if (name == "wsc") return WorldTextFormat::Wsc;
  throw Error("Unknown world file format '" + name + "' (text, sphere or wsc).");
}

std::int32_t TWorldFile::add(std::uint16_t id, std::uint16_t x, std::uint16_t y, std::int8_t z,
                             std::uint16_t hue) {
  TItem item = placedItem(id, x, y, z, hue, m_nextSerial++, ItemKind::WorldUnwritten);
  applyStaticLook(item, m_sources);
  m_items.push_back(item);
  return item.serial;
}

std::vector<TItem>& TWorldFile::appendItemsInRect(int xa, int xb, int ya, int yb,
                                                  std::vector<TItem>& list, int worldWidth,
                                                  int worldHeight) const {
  if (m_items.empty()) return list;
  const int xmin = std::max(std::min(xa, xb), 0);
  const int xmax = std::min(std::max(xa, xb), worldWidth - 1);
  const int ymin = std::max(std::min(ya, yb), 0);
  const int ymax = std::min(std::max(ya, yb), worldHeight - 1);
  for (const TItem& item : m_items)
    if (!item.deleted && item.x >= xmin && item.x <= xmax && item.y >= ymin && item.y <= ymax)
      list.push_back(item);
  return list;
}

TItem* TWorldFile::find(std::int32_t serial) {
  return itemAtSerial(m_items, serial, kWorldSerialBase);
}

void TWorldFile::remove(std::int32_t serial) {
  if (TItem* item = find(serial)) item->deleted = 1;
}

void TWorldFile::restore(std::int32_t serial) {
  if (TItem* item = find(serial)) item->deleted = 0;
}

std::optional<TItem> TWorldFile::item(std::int32_t serial) const {
  const TItem* found = itemAtSerial(m_items, serial, kWorldSerialBase);
  return found ? std::optional<TItem>(*found) : std::nullopt;
}

void TWorldFile::assign(std::vector<TItem> items) {
  m_items = std::move(items);
  for (std::size_t i = 0; i < m_items.size(); ++i)
    m_items[i].serial = kWorldSerialBase + static_cast<std::int32_t>(i);
  m_nextSerial = kWorldSerialBase + static_cast<std::int32_t>(m_items.size());
}

void TWorldFile::truncate(std::size_t size) {
  if (size >= m_items.size()) return;
  m_items.resize(size);
  m_nextSerial = kWorldSerialBase + static_cast<std::int32_t>(size);
}

void TWorldFile::setHue(std::int32_t serial, std::uint16_t hue) {
  if (TItem* item = find(serial)) item->hue = hue;
}

void TWorldFile::setTileId(std::int32_t serial, std::uint16_t id) {
  if (TItem* item = find(serial)) {
    item->tileId = id;
    applyStaticLook(*item, m_sources);
  }
}

void TWorldFile::move(std::int32_t serial, int dx, int dy, int dz) {
  if (TItem* item = find(serial)) {
    item->x = static_cast<std::uint16_t>(item->x + dx);
    item->y = static_cast<std::uint16_t>(item->y + dy);
    item->z = static_cast<std::int8_t>(static_cast<std::uint8_t>(item->z + dz));
  }
}

void TWorldFile::clear() {
  m_items.clear();
  m_nextSerial = kWorldSerialBase;
}

std::vector<TItem> TWorldFile::unwrittenItems() const {
  std::vector<TItem> out;
  for (const TItem& item : m_items)
    if (item.kind == ItemKind::WorldUnwritten) out.push_back(item);
  return out;
}

std::vector<TItem> TWorldFile::allItems() const { return m_items; }

void TWorldFile::dropUnwritten() {
  std::vector<TItem> kept;
  for (const TItem& item : m_items)
    if (item.kind == ItemKind::WorldWritten) kept.push_back(item);
  if (kept.size() != m_items.size()) ++m_generation;
  m_items = std::move(kept);
  m_nextSerial = kWorldSerialBase + static_cast<std::int32_t>(m_items.size());
}

std::size_t TWorldFile::load(const std::string& path, WorldTextFormat format) {
  return loadLines(readTextLines(path), format);
}

std::size_t TWorldFile::loadLines(const std::vector<std::string>& lines, WorldTextFormat format) {
  std::size_t added = 0;
  const auto addItem = [&](const TextItem& p) {
    add(static_cast<std::uint16_t>(p.id), static_cast<std::uint16_t>(p.x),
        static_cast<std::uint16_t>(p.y), static_cast<std::int8_t>(p.z),
        static_cast<std::uint16_t>(p.hue));
    ++added;
  };
  if (format == WorldTextFormat::Plain) {
    for (std::size_t i = 0; i < lines.size(); ++i)
      addItem(readPlainWorldLine(lines[i], i + 1, kPositionRange, kHeightRange));
    return added;
  }
  ItemTextRules rules;
  rules.readHue = true;
  rules.position = kPositionRange;
  rules.height = kHeightRange;
  readTextItems(
      lines,
      format == WorldTextFormat::Sphere51a ? ItemTextDialect::Sphere51a : ItemTextDialect::Wsc,
      rules, addItem);
  return added;
}

std::vector<std::string> TWorldFile::lines(WorldTextFormat format) const {
  std::vector<std::string> out;
  for (std::size_t pos = 0; pos < m_items.size(); ++pos) {
    const TItem& item = m_items[pos];
    if (item.deleted) continue;
    // Files carry the serial shifted into the range the game's servers give items.
    const std::int64_t serial = static_cast<std::int64_t>(item.serial) + 0xFFFFFFF;
    switch (format) {
      case WorldTextFormat::Plain:
        out.push_back(plainWorldLine(item.tileId, item.x, item.y, item.z, item.hue));
        break;
      case WorldTextFormat::Sphere51a:
        out.push_back("[WORLDITEM 0" + hexDigits(item.tileId) + "]");
        out.push_back("SERIAL=0" + hexDigits(static_cast<std::uint32_t>(serial)));
        out.push_back("ID=0" + hexDigits(item.tileId));
        out.push_back("P=" + decimal(item.x) + "," + decimal(item.y) + "," + decimal(item.z));
        out.push_back("Color=" + hexLabel(item.hue));
        out.push_back("");
        break;
      case WorldTextFormat::Wsc:
        out.push_back("SECTION WORLDITEM " + decimal(static_cast<std::int64_t>(pos)));
        out.push_back("{");
        out.push_back("SERIAL " + decimal(serial));
        out.push_back("ID " + decimal(item.tileId));
        out.push_back("X " + decimal(item.x));
        out.push_back("Y " + decimal(item.y));
        out.push_back("Z " + decimal(item.z));
        out.push_back("Color " + decimal(item.hue));
        out.push_back("}");
        out.push_back("");
        break;
    }
  }
  return out;
}

bool TWorldFile::save(const std::string& path, WorldTextFormat format) {
  if (m_items.empty()) return false;
  writeTextLines(path, lines(format));
  for (TItem& item : m_items) item.kind = ItemKind::WorldWritten;
  return true;
}

}  // namespace quillotide
