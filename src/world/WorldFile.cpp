#include "world/WorldFile.h"

#include <algorithm>

#include "app/Error.h"
#include "app/Text.h"

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

// The characters from 1-based position `from` to the end (empty when the line is shorter).
std::string from(const std::string& line, std::size_t pos) {
  return pos - 1 < line.size() ? line.substr(pos - 1) : std::string();
}

bool contains(const std::string& line, const char* key) {
  return line.find(key) != std::string::npos;
}

struct Pending {
  std::int32_t id = -1;
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t z = 0;
  std::int32_t hue = 0;
};

}  // namespace

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
                                                  std::vector<TItem>& list) const {
  if (m_items.empty()) return list;
  const int xmin = std::max(std::min(xa, xb), 0);
  const int xmax = std::min(std::max(xa, xb), kWorldFileWidth - 1);
  const int ymin = std::max(std::min(ya, yb), 0);
  const int ymax = std::min(std::max(ya, yb), kWorldFileHeight - 1);
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
  m_skipped = 0;
  const auto addPending = [&](const Pending& p) {
    // A position that 16 bits cannot hold lies outside every world: it is counted, not wrapped
    // into another place.
    if (p.x < 0 || p.x > 0xFFFF || p.y < 0 || p.y > 0xFFFF) {
      ++m_skipped;
      return;
    }
    add(static_cast<std::uint16_t>(p.id), static_cast<std::uint16_t>(p.x),
        static_cast<std::uint16_t>(p.y), static_cast<std::int8_t>(static_cast<std::uint8_t>(p.z)),
        static_cast<std::uint16_t>(p.hue));
    ++added;
  };
  Pending current;
  switch (format) {
    case WorldTextFormat::Plain:
      for (const std::string& line : lines) {
        const auto pieces = split(line, " ");
        Pending p;
        p.id = parseInt(piece(pieces, 0));
        p.x = parseInt(piece(pieces, 1));
        p.y = parseInt(piece(pieces, 2));
        p.z = parseInt(piece(pieces, 3));
        p.hue = parseInt(piece(pieces, 4));
        addPending(p);
      }
      return added;
    case WorldTextFormat::Wsc:
      for (const std::string& line : lines) {
        if (contains(line, "SECTION WORLDITEM ")) {
          if (current.id != -1) addPending(current);
          current = Pending{};
        } else if (contains(line, "ID ")) {
          current.id = parseInt(from(line, 4));
        } else if (contains(line, "X ")) {
          current.x = parseInt(from(line, 3));
        } else if (contains(line, "Y ")) {
          current.y = parseInt(from(line, 3));
        } else if (contains(line, "Z ")) {
          current.z = parseInt(from(line, 3));
        } else if (contains(line, "Color ")) {
          current.hue = parseInt(from(line, 7));
        }
      }
      break;
    case WorldTextFormat::Sphere51a:
      for (const std::string& line : lines) {
        if (contains(line, "[WORLDITEM ")) {
          if (current.id != -1) addPending(current);
          current.x = current.y = current.z = current.hue = 0;
          // "[WORLDITEM 0" + hex digits + "]": the digits lie from position 13 to the last
          // character, not included.
          const std::string digits =
              line.size() > 13 ? line.substr(12, line.size() - 13) : std::string();
          current.id = parseInt("0x" + digits);
        } else if (contains(line, "ID=")) {
          current.id = parseInt("0x" + from(line, 5));
        } else if (contains(line, "P=")) {
          const auto pieces = split(from(line, 3), ",");
          current.x = parseInt(piece(pieces, 0));
          current.y = parseInt(piece(pieces, 1));
          current.z = parseInt(piece(pieces, 2));
        } else if (contains(line, "Color=")) {
          current.hue = parseInt(from(line, 7));
        }
      }
      break;
  }
  if (current.id != -1) addPending(current);
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
        out.push_back(hexLabel(item.tileId) + " " + decimal(item.x) + " " + decimal(item.y) + " " +
                      decimal(item.z) + " " + hexLabel(item.hue));
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
