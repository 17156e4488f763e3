#include "world/Statics.h"

#include <algorithm>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Text.h"
#include "world/WorldFile.h"

namespace quillotide {

using namespace StaticsLayout;

namespace {

std::string decimal(std::int64_t v) { return std::to_string(v); }

StaticRecord recordAt(const std::uint8_t* p) {
  return {loadU16(p), p[2], p[3], static_cast<std::int8_t>(p[4]), loadU16(p + 5)};
}

std::uint64_t recordKey(const StaticRecord& r) {
  return static_cast<std::uint64_t>(r.id) | (static_cast<std::uint64_t>(r.x) << 16) |
         (static_cast<std::uint64_t>(r.y) << 24) |
         (static_cast<std::uint64_t>(static_cast<std::uint8_t>(r.z)) << 32) |
         (static_cast<std::uint64_t>(r.hue) << 40);
}

void putIndex(std::uint8_t* p, const IndexRecord& r) {
  storeU32(p, static_cast<std::uint32_t>(r.lookup));
  storeU32(p + 4, static_cast<std::uint32_t>(r.length));
  storeU32(p + 8, static_cast<std::uint32_t>(r.extra));
}

IndexRecord indexAt(const std::uint8_t* p) {
  return {static_cast<std::int32_t>(loadU32(p)), static_cast<std::int32_t>(loadU32(p + 4)),
          static_cast<std::int32_t>(loadU32(p + 8))};
}

const IndexRecord kEmptyRecord{-1, -1, -1};

// The statics files store offsets from a 32-bit lookup.
void checkDataOffset(std::uint64_t offset, const std::string& path) {
  if (offset > 0x7FFFFFFF)
    throw Error("Statics data file " + path + " would grow past 2 GB; compact it first.");
}

void putStaticRecord(std::uint8_t* b, const StaticRecord& r) {
  storeU16(b, r.id);
  b[2] = r.x;
  b[3] = r.y;
  b[4] = static_cast<std::uint8_t>(r.z);
  storeU16(b + 5, r.hue);
}

// The records of one block seen so far, by their key: open addressing in a table kept from block
// to block, so that millions of records cost no allocation each; a block clears only the places
// it filled.
class SeenKeys {
public:
  void startBlock(std::size_t records) {
    for (const std::size_t at : m_filled) m_table[at] = kFree;
    m_filled.clear();
    if (records * 2 > m_table.size()) {
      std::size_t size = 64;
      while (size < records * 2) size *= 2;
      m_table.assign(size, kFree);
      m_shift = 64;
      for (std::size_t n = size; n > 1; n /= 2) --m_shift;
    }
  }
  // True when the key is new to the block (it is then remembered).
  bool insert(std::uint64_t key) {
    const std::size_t mask = m_table.size() - 1;
    for (std::size_t at = static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> m_shift);;
         at = (at + 1) & mask) {
      if (m_table[at] == key) return false;
      if (m_table[at] == kFree) {
        m_table[at] = key;
        m_filled.push_back(at);
        return true;
      }
    }
  }

private:
  // Keys use 56 bits, so no record has this one.
  static constexpr std::uint64_t kFree = ~std::uint64_t{0};
  std::vector<std::uint64_t> m_table;
  std::vector<std::size_t> m_filled;
  int m_shift = 64;
};

}  // namespace

std::vector<StaticRecord> decodeStaticRecords(std::span<const std::uint8_t> bytes) {
  std::vector<StaticRecord> out;
  out.reserve(bytes.size() / kRecordSize);
  for (std::size_t p = 0; p + kRecordSize <= bytes.size(); p += kRecordSize)
    out.push_back(recordAt(bytes.data() + p));
  return out;
}

void appendStaticRecord(Bytes& out, const StaticRecord& r) {
  std::uint8_t b[kRecordSize];
  putStaticRecord(b, r);
  out.insert(out.end(), b, b + kRecordSize);
}

std::int64_t TStatics::blockCount() const {
  return m_loaded ? static_cast<std::int64_t>(m_width / 8) * (m_height / 8) : 0;
}

std::int64_t TStatics::blockOf(std::int64_t x, std::int64_t y) const {
  if (!m_loaded || x < 0 || y < 0 || x >= m_width || y >= m_height) return -1;
  return (x / 8) * (m_height / 8) + y / 8;
}

void TStatics::open(const std::string& indexPath, const std::string& dataPath, int width,
                    int height, StorageMode mode) {
  checkWorldSize(width, height);
  const bool inPlace = mode != StorageMode::Memory;
  // Files this model already holds open (and locked) are taken over as they are.
  const auto held = [&](const std::unique_ptr<WorldStream>& s, const std::string& path) {
    return inPlace && s && s->isFile() && fileExists(path) && sameFile(path, s->path());
  };
  const bool keepIndex = held(m_index, indexPath);
  const bool keepData = held(m_data, dataPath);
  const auto openOne = [&](const std::string& path) {
    return inPlace ? WorldStream::openFile(path) : WorldStream::memory(readFile(path));
  };
  std::unique_ptr<WorldStream> index = keepIndex ? nullptr : openOne(indexPath);
  std::unique_ptr<WorldStream> data = keepData ? nullptr : openOne(dataPath);
  if (!keepIndex) m_index = std::move(index);
  if (!keepData) m_data = std::move(data);
  m_mode = inPlace ? StorageMode::LowMemory : StorageMode::Memory;
  m_indexPath = indexPath;
  m_dataPath = dataPath;
  m_width = width;
  m_height = height;
  m_loaded = true;
  m_problems.clear();
  m_streamsChanged = false;
  resetLists();
  ++m_opens;
  const std::uint64_t needed = static_cast<std::uint64_t>(blockCount()) * kIndexSize;
  if (m_index->size() < needed)
    m_problems.push_back(formatMessage(
        "Statics index %s holds %d of the %d block records of a %d x %d world; the missing "
        "blocks read as empty.",
        {indexPath, decimal(static_cast<std::int64_t>(m_index->size() / kIndexSize)),
         decimal(blockCount()), decimal(width), decimal(height)}));
}

void TStatics::openBytes(Bytes index, Bytes data, int width, int height) {
  checkWorldSize(width, height);
  m_index = WorldStream::memory(std::move(index));
  m_data = WorldStream::memory(std::move(data));
  m_mode = StorageMode::Memory;
  m_indexPath.clear();
  m_dataPath.clear();
  m_width = width;
  m_height = height;
  m_loaded = true;
  m_problems.clear();
  m_streamsChanged = false;
  resetLists();
  ++m_opens;
}

void TStatics::resetLists() {
  m_state = State{};
  ++m_generation;
}

std::vector<std::int32_t> TStatics::serialsInBlock(std::int64_t b) const {
  std::vector<std::int32_t> serials;
  const std::int64_t rows = m_height / 8;
  if (b < 0 || rows <= 0 || b >= blockCount()) return serials;
  const auto it = m_state.byCell.find(cellKey(static_cast<std::uint32_t>(b / rows) << 3,
                                              static_cast<std::uint32_t>(b % rows) << 3));
  if (it == m_state.byCell.end()) return serials;
  for (const std::uint32_t pos : it->second)
    serials.push_back(kStaticSerialBase + static_cast<std::int32_t>(pos));
  return serials;
}

bool TStatics::blockChanged(std::int64_t b) const {
  const auto it = m_state.blockPos.find(static_cast<std::int32_t>(b));
  return it != m_state.blockPos.end() && m_state.blocks[it->second].changed;
}

void TStatics::setBlockChanged(std::int64_t b, bool changed) {
  const auto it = m_state.blockPos.find(static_cast<std::int32_t>(b));
  if (it != m_state.blockPos.end()) m_state.blocks[it->second].changed = changed;
}

bool TStatics::hasUnsavedChanges() const {
  return m_streamsChanged || std::any_of(m_state.blocks.begin(), m_state.blocks.end(),
                                         [](const BlockEntry& e) { return e.changed; });
}

void TStatics::requireLoaded() const {
  if (!m_loaded) throw Error("Load Statics first.");
}

std::int64_t TStatics::indexRecordCount() const {
  return m_loaded ? static_cast<std::int64_t>(m_index->size() / kIndexSize) : 0;
}

IndexRecord TStatics::readIndex(std::int64_t b) const {
  if (b < 0 || b >= indexRecordCount()) return kEmptyRecord;
  std::uint8_t raw[kIndexSize];
  m_index->read(static_cast<std::uint64_t>(b) * kIndexSize, raw, kIndexSize);
  return indexAt(raw);
}

void TStatics::writeIndex(std::int64_t b, const IndexRecord& record) {
  // A short index grows up to the block, the gap filled with empty records.
  std::int64_t n = indexRecordCount();
  const std::uint64_t tail = m_index->size() % kIndexSize;
  if (b >= n && tail != 0) {
    // A partial last record is completed as empty before the index grows.
    m_index->resize(static_cast<std::uint64_t>(n) * kIndexSize);
  }
  if (b > n) {
    Bytes gap(static_cast<std::size_t>(b - n) * kIndexSize);
    for (std::size_t p = 0; p < gap.size(); p += kIndexSize) putIndex(gap.data() + p, kEmptyRecord);
    m_index->write(static_cast<std::uint64_t>(n) * kIndexSize, gap);
  }
  std::uint8_t raw[kIndexSize];
  putIndex(raw, record);
  m_index->write(static_cast<std::uint64_t>(b) * kIndexSize, raw);
}

std::vector<StaticRecord> TStatics::readBlock(std::int64_t b, const IndexRecord& record,
                                              ChunkReader* reader) {
  if (record.isEmpty()) return {};
  const std::uint64_t size = m_data->size();
  std::uint64_t start = static_cast<std::uint32_t>(record.lookup);
  std::uint64_t length = static_cast<std::uint32_t>(record.length);
  if (record.lookup < 0 || start > size) {
    m_problems.push_back(formatMessage(
        "Statics block %d: its data at %d lies past the end of the data file (%d bytes).",
        {decimal(b), decimal(record.lookup), decimal(static_cast<std::int64_t>(size))}));
    return {};
  }
  if (length > size - start) {
    m_problems.push_back(formatMessage(
        "Statics block %d: %d bytes at %d run past the end of the data file (%d bytes); only the "
        "records inside it are read.",
        {decimal(b), decimal(record.length), decimal(record.lookup),
         decimal(static_cast<std::int64_t>(size))}));
    length = size - start;
  }
  if (length % kRecordSize != 0)
    m_problems.push_back(formatMessage(
        "Statics block %d: %d bytes is not a whole number of 7-byte records; the last %d bytes are "
        "left out.",
        {decimal(b), decimal(static_cast<std::int64_t>(length)),
         decimal(static_cast<std::int64_t>(length % kRecordSize))}));
  length -= length % kRecordSize;
  if (length == 0) return {};
  if (reader) return decodeStaticRecords(reader->at(start, static_cast<std::size_t>(length)));
  Bytes bytes(static_cast<std::size_t>(length));
  m_data->read(start, bytes.data(), bytes.size());
  return decodeStaticRecords(bytes);
}

void TStatics::appendItem(const TItem& item) {
  const auto pos = static_cast<std::uint32_t>(m_state.items.size());
  m_state.items.push_back(item);
  m_state.byCell[cellKey(item.x, item.y)].push_back(pos);
}

void TStatics::loadBlock(std::int64_t b) {
  const int rows = m_height / 8;
  const int x0 = static_cast<int>(b / rows) * 8;
  const int y0 = static_cast<int>(b % rows) * 8;
  for (const StaticRecord& r : readBlock(b, readIndex(b), nullptr)) {
    TItem item =
        placedItem(r.id, x0 + r.x, y0 + r.y, r.z, r.hue, m_state.nextSerial++, ItemKind::Static);
    applyStaticLook(item, m_sources);
    appendItem(item);
  }
  m_state.blockPos.emplace(static_cast<std::int32_t>(b), m_state.blocks.size());
  m_state.blocks.push_back({static_cast<std::int32_t>(b), false});
}

void TStatics::ensureLoaded(std::int64_t b) {
  if (b >= 0 && !m_state.blockPos.contains(static_cast<std::int32_t>(b))) loadBlock(b);
}

void TStatics::markChanged(int x, int y) {
  const std::int64_t b = blockOf(x, y);
  if (b < 0) return;
  const auto it = m_state.blockPos.find(static_cast<std::int32_t>(b));
  if (it != m_state.blockPos.end()) m_state.blocks[it->second].changed = true;
}

std::vector<TItem> TStatics::getItemsInRect(int xa, int xb, int ya, int yb) {
  std::vector<TItem> result;
  if (!m_loaded) return result;
  const int xmin = std::max(std::min(xa, xb), 0);
  const int xmax = std::min(std::max(xa, xb), m_width);
  const int ymin = std::max(std::min(ya, yb), 0);
  const int ymax = std::min(std::max(ya, yb), m_height);
  if (xmin > xmax || ymin > ymax) return result;
  const int cols = m_width / 8;
  const int rows = m_height / 8;
  for (int by = ymin / 8; by <= (ymax + 7) / 8; ++by)
    for (int bx = xmin / 8; bx <= (xmax + 7) / 8; ++bx)
      if (bx < cols && by < rows) ensureLoaded(static_cast<std::int64_t>(bx) * rows + by);
  // Only the cell blocks under the rectangle can hold matching statics.
  std::vector<std::uint32_t> hits;
  for (int bx = xmin / 8; bx <= xmax / 8; ++bx)
    for (int by = ymin / 8; by <= ymax / 8; ++by) {
      const auto it = m_state.byCell.find(
          cellKey(static_cast<std::uint32_t>(bx) << 3, static_cast<std::uint32_t>(by) << 3));
      if (it == m_state.byCell.end()) continue;
      const bool replaced = m_hasBlock && bx < cols && by < rows &&
                            m_hasBlock(static_cast<std::int32_t>(bx * rows + by));
      if (replaced) continue;
      for (const std::uint32_t pos : it->second) {
        const TItem& s = m_state.items[pos];
        if (s.deleted || s.x < xmin || s.x > xmax || s.y < ymin || s.y > ymax) continue;
        hits.push_back(pos);
      }
    }
  std::sort(hits.begin(), hits.end(), std::greater<>());
  result.reserve(hits.size());
  for (const std::uint32_t pos : hits) result.push_back(m_state.items[pos]);
  return result;
}

std::vector<TItem> TStatics::itemsAt(int x, int y) {
  std::vector<TItem> result;
  const std::int64_t b = blockOf(x, y);
  if (b < 0) return result;
  ensureLoaded(b);
  const auto it =
      m_state.byCell.find(cellKey(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y)));
  if (it == m_state.byCell.end()) return result;
  for (const std::uint32_t pos : it->second) {
    const TItem& s = m_state.items[pos];
    if (!s.deleted && s.x == x && s.y == y) result.push_back(s);
  }
  return result;
}

TItem* TStatics::find(std::int32_t serial) {
  return itemAtSerial(m_state.items, serial, kStaticSerialBase);
}

std::optional<TItem> TStatics::item(std::int32_t serial) const {
  const TItem* found = itemAtSerial(m_state.items, serial, kStaticSerialBase);
  return found ? std::optional<TItem>(*found) : std::nullopt;
}

void TStatics::select(std::int32_t serial) {
  if (TItem* s = find(serial)) s->selected = 1;
}

void TStatics::deselect(std::int32_t serial) {
  if (TItem* s = find(serial)) s->selected = 0;
}

void TStatics::remove(std::int32_t serial) {
  editItem(serial, [](TItem& s) { s.deleted = 1; });
}

void TStatics::restore(std::int32_t serial) {
  editItem(serial, [](TItem& s) { s.deleted = 0; });
}

void TStatics::setHue(std::int32_t serial, std::uint16_t hue) {
  editItem(serial, [hue](TItem& s) { s.hue = hue; });
}

void TStatics::setTileId(std::int32_t serial, std::uint16_t id) {
  editItem(serial, [this, id](TItem& s) {
    s.tileId = id;
    applyStaticLook(s, m_sources);
  });
}

void TStatics::move(std::int32_t serial, int dx, int dy, int dz) {
  TItem* s = find(serial);
  if (!s) return;
  const std::int64_t nx = static_cast<std::int64_t>(s->x) + dx;
  const std::int64_t ny = static_cast<std::int64_t>(s->y) + dy;
  if (blockOf(nx, ny) < 0)
    throw Error(formatMessage("The position %d,%d lies outside the world (%d x %d).",
                              {decimal(nx), decimal(ny), decimal(m_width), decimal(m_height)}));
  const int ox = s->x;
  const int oy = s->y;
  markChanged(ox, oy);
  // Loading the target block may grow the list; the static is found again by its serial.
  ensureLoaded(blockOf(nx, ny));
  s = find(serial);
  const auto pos = static_cast<std::uint32_t>(serial - kStaticSerialBase);
  const std::uint32_t from =
      cellKey(static_cast<std::uint32_t>(ox), static_cast<std::uint32_t>(oy));
  const std::uint32_t to = cellKey(static_cast<std::uint32_t>(nx), static_cast<std::uint32_t>(ny));
  if (from != to) {
    auto& list = m_state.byCell[from];
    list.erase(std::remove(list.begin(), list.end(), pos), list.end());
    auto& target = m_state.byCell[to];
    target.insert(std::upper_bound(target.begin(), target.end(), pos), pos);
  }
  s->x = static_cast<std::uint16_t>(nx);
  s->y = static_cast<std::uint16_t>(ny);
  s->z = clampAltitude(static_cast<std::int64_t>(s->z) + dz);
  markChanged(s->x, s->y);
}

std::int32_t TStatics::add(std::uint16_t id, int x, int y, int z, std::uint16_t hue) {
  requireLoaded();
  const std::int64_t b = blockOf(x, y);
  if (b < 0)
    throw Error(formatMessage("The position %d,%d lies outside the world (%d x %d).",
                              {decimal(x), decimal(y), decimal(m_width), decimal(m_height)}));
  ensureLoaded(b);
  TItem item =
      placedItem(id, x, y, clampAltitude(z), hue, m_state.nextSerial++, ItemKind::Static);
  applyStaticLook(item, m_sources);
  appendItem(item);
  markChanged(x, y);
  return item.serial;
}

std::optional<std::string> TStatics::save(const std::string& indexPath, const std::string& dataPath,
                                          StaticsSaveMode mode, TWorldFile* world,
                                          Progress& progress) {
  requireLoaded();
  // Everything below either completes or leaves the lists, the streams' copies and the world
  // file as they were.
  State before = m_state;
  const std::vector<std::string> problemsBefore = m_problems;
  int skipped = 0;
  try {
    if (mode != StaticsSaveMode::StaticsOnly && world) {
      const std::vector<TItem> items =
          mode == StaticsSaveMode::WithUnwrittenItems ? world->unwrittenItems() : world->allItems();
      for (const TItem& it : items) {
        const std::int64_t b = blockOf(it.x, it.y);
        if (b < 0) {
          ++skipped;
          continue;
        }
        if (!it.deleted) add(it.tileId, it.x, it.y, it.z, it.hue);
        ensureLoaded(b);
        markChanged(it.x, it.y);
      }
    }
    const bool memory = m_mode == StorageMode::Memory;
    if (m_state.blocks.empty()) {
      if (memory) {
        AtomicFile index(indexPath);
        AtomicFile data(dataPath);
        index.write(m_index->bytes());
        data.write(m_data->bytes());
        commitAll({&index, &data});
      }
      if (world && mode != StaticsSaveMode::StaticsOnly) world->dropUnwritten();
      m_streamsChanged = false;
      return std::nullopt;
    }
    // Memory mode writes into copies so that a failed file write changes nothing.
    std::unique_ptr<WorldStream> indexCopy;
    std::unique_ptr<WorldStream> dataCopy;
    if (memory) {
      indexCopy = WorldStream::memory(m_index->bytes());
      dataCopy = WorldStream::memory(m_data->bytes());
      std::swap(indexCopy, m_index);
      std::swap(dataCopy, m_data);
    }
    int patched = 0;
    try {
      ProgressSteps steps(progress, static_cast<long long>(m_state.blocks.size()));
      const int rows = m_height / 8;
      for (std::size_t k = 0; k < m_state.blocks.size(); ++k) {
        steps.at(static_cast<long long>(k));
        const BlockEntry& entry = m_state.blocks[k];
        if (!entry.changed) continue;
        const std::uint32_t bx = static_cast<std::uint32_t>(entry.block / rows);
        const std::uint32_t by = static_cast<std::uint32_t>(entry.block % rows);
        Bytes bytes;
        const auto it = m_state.byCell.find(cellKey(bx << 3, by << 3));
        if (it != m_state.byCell.end())
          for (const std::uint32_t pos : it->second) {
            const TItem& s = m_state.items[pos];
            if (s.deleted) continue;
            appendStaticRecord(bytes, {s.tileId, static_cast<std::uint8_t>(s.x % 8),
                                       static_cast<std::uint8_t>(s.y % 8), s.z, s.hue});
          }
        const std::uint64_t lookup = m_data->size();
        if (bytes.empty()) {
          writeIndex(entry.block, kEmptyRecord);
        } else {
          checkDataOffset(lookup + bytes.size(), m_data->isFile() ? m_data->path() : dataPath);
          m_data->write(lookup, bytes);
          writeIndex(entry.block, {static_cast<std::int32_t>(lookup),
                                   static_cast<std::int32_t>(bytes.size()), 0});
        }
        ++patched;
      }
      steps.at(static_cast<long long>(m_state.blocks.size()));
      if (memory) {
        AtomicFile index(indexPath);
        AtomicFile data(dataPath);
        index.write(m_index->bytes());
        data.write(m_data->bytes());
        commitAll({&index, &data});
      }
    } catch (...) {
      if (memory) {
        std::swap(indexCopy, m_index);
        std::swap(dataCopy, m_data);
      }
      throw;
    }
    if (world && mode != StaticsSaveMode::StaticsOnly) world->dropUnwritten();
    resetLists();
    m_streamsChanged = false;
    std::string message = formatMessage("%d Static-Blocks Patched.", {decimal(patched)});
    if (skipped > 0) {
      message += '\n';
      message += formatMessage("%d world items outside the world were left out.", {decimal(skipped)});
    }
    return message;
  } catch (...) {
    m_state = std::move(before);
    m_problems = problemsBefore;
    throw;
  }
}

template <typename F>
void TStatics::forEachStoredBlock(Progress& progress, F&& f) {
  const std::int64_t n = indexRecordCount();
  const int rows = m_height / 8;
  ChunkReader indexReader(*m_index);
  ChunkReader dataReader(*m_data);
  ProgressSteps steps(progress, n);
  for (std::int64_t b = 0; b < n; ++b) {
    if ((b & 1023) == 0) steps.at(b);
    const IndexRecord r =
        indexAt(indexReader.at(static_cast<std::uint64_t>(b) * kIndexSize, kIndexSize).data());
    if (r.lookup == -1 || r.length == -1) continue;
    const int x0 = static_cast<int>(b / rows) * 8;
    const int y0 = static_cast<int>(b % rows) * 8;
    f(b, x0, y0, r, readBlock(b, r, &dataReader));
  }
  steps.at(n);
}

void TStatics::compact(const std::string& indexPath, const std::string& dataPath,
                       Progress& progress) {
  requireLoaded();
  for (const std::string& target : {indexPath, dataPath})
    for (const WorldStream* held : {m_index.get(), m_data.get()})
      if (held->isFile() && fileExists(target) && sameFile(target, held->path()))
        throw Error("Compact cannot write over the opened statics file " + target + ".");
  AtomicFile index(indexPath);
  AtomicFile data(dataPath);
  const std::int64_t n = indexRecordCount();
  Bytes indexOut(static_cast<std::size_t>(n) * kIndexSize);
  for (std::int64_t b = 0; b < n; ++b)
    putIndex(indexOut.data() + static_cast<std::size_t>(b) * kIndexSize, kEmptyRecord);
  ChunkReader indexReader(*m_index);
  ChunkReader dataReader(*m_data);
  ProgressSteps steps(progress, n);
  std::uint64_t written = 0;
  for (std::int64_t b = 0; b < n; ++b) {
    if ((b & 1023) == 0) steps.at(b);
    const IndexRecord r =
        indexAt(indexReader.at(static_cast<std::uint64_t>(b) * kIndexSize, kIndexSize).data());
    if (r.isEmpty()) continue;
    const std::uint64_t start = static_cast<std::uint32_t>(r.lookup);
    std::uint64_t length = static_cast<std::uint32_t>(r.length);
    if (r.lookup < 0 || start > m_data->size()) {
      m_problems.push_back(formatMessage(
          "Statics block %d: its data at %d lies past the end of the data file; it is left empty.",
          {decimal(b), decimal(r.lookup)}));
      continue;
    }
    if (length > m_data->size() - start) {
      m_problems.push_back(formatMessage(
          "Statics block %d: %d bytes run past the end of the data file; only the bytes inside it "
          "are kept.",
          {decimal(b), decimal(r.length)}));
      length = m_data->size() - start;
      if (length == 0) continue;
    }
    putIndex(indexOut.data() + static_cast<std::size_t>(b) * kIndexSize,
             {static_cast<std::int32_t>(written), static_cast<std::int32_t>(length), r.extra});
    data.write(dataReader.at(start, static_cast<std::size_t>(length)));
    written += length;
  }
  index.write(indexOut);
  const std::uint64_t tail = m_index->size() % kIndexSize;
  if (tail != 0) {
    Bytes rest(static_cast<std::size_t>(tail));
    m_index->read(m_index->size() - tail, rest.data(), rest.size());
    index.write(rest);
  }
  steps.at(n);
  commitAll({&index, &data});
}

std::string TStatics::clearAll(Progress& progress) {
  requireLoaded();
  const std::int64_t n = indexRecordCount();
  {
    ProgressSteps steps(progress, n);
    Bytes empty(static_cast<std::size_t>(n) * kIndexSize);
    for (std::size_t p = 0; p < empty.size(); p += kIndexSize)
      putIndex(empty.data() + p, kEmptyRecord);
    m_index->write(0, empty);
    steps.at(n);
  }
  m_data->resize(0);
  resetLists();
  m_streamsChanged = m_mode == StorageMode::Memory;
  return "Statics cleared.";
}

struct TStatics::Contents {
  Bytes index;
  Bytes data;
  State state;
  bool streamsChanged = false;
};

std::shared_ptr<const TStatics::Contents> TStatics::keepContents() const {
  requireLoaded();
  if (m_mode != StorageMode::Memory)
    throw Error("The statics are held open in their files; there is no copy to keep.");
  return std::make_shared<const Contents>(
      Contents{m_index->bytes(), m_data->bytes(), m_state, m_streamsChanged});
}

void TStatics::restoreContents(const Contents& kept) {
  m_index = WorldStream::memory(kept.index);
  m_data = WorldStream::memory(kept.data);
  m_state = kept.state;
  m_streamsChanged = kept.streamsChanged;
  ++m_generation;
}

Bitmap32 TStatics::renderStaticMap(Progress& progress) {
  requireLoaded();
  // One pixel per cell of the opened world, whatever its size.
  Bitmap32 picture(m_width, m_height, makePixel(255, 255, 255));
  const Pixel black = makePixel(0, 0, 0);
  forEachStoredBlock(progress, [&](std::int64_t, int x0, int y0, const IndexRecord&,
                                   const std::vector<StaticRecord>& records) {
    for (const StaticRecord& r : records) {
      const int x = x0 + r.x;
      const int y = y0 + r.y;
      if (x < m_width && y < m_height) picture.at(x, y) = black;
    }
  });
  return picture;
}

void TStatics::forEachPlaced(Progress& progress, bool skipReplaced,
                             const std::function<void(const TItem&)>& take) {
  requireLoaded();
  const auto replaced = [&](std::int64_t b) {
    return skipReplaced && m_hasBlock && m_hasBlock(static_cast<std::int32_t>(b));
  };
  forEachStoredBlock(progress, [&](std::int64_t b, int x0, int y0, const IndexRecord&,
                                   const std::vector<StaticRecord>& records) {
    if (m_state.blockPos.contains(static_cast<std::int32_t>(b)) || replaced(b)) return;
    for (const StaticRecord& r : records)
      take(placedItem(r.id, x0 + r.x, y0 + r.y, r.z, r.hue, -1, ItemKind::Static));
  });
  // A static moved into another block was read with its old one; the target block is read as
  // the move happens, so every listed static stands in a block that has been read.
  const int rows = m_height / 8;
  for (const BlockEntry& entry : m_state.blocks) {
    if (replaced(entry.block)) continue;
    const auto bx = static_cast<std::uint32_t>(entry.block / rows);
    const auto by = static_cast<std::uint32_t>(entry.block % rows);
    const auto it = m_state.byCell.find(cellKey(bx << 3, by << 3));
    if (it == m_state.byCell.end()) continue;
    for (const std::uint32_t pos : it->second)
      if (!m_state.items[pos].deleted) take(m_state.items[pos]);
  }
}

std::vector<std::string> TStatics::searchLines(std::uint16_t id, Progress& progress) {
  requireLoaded();
  std::vector<std::string> lines;
  forEachStoredBlock(progress, [&](std::int64_t, int x0, int y0, const IndexRecord&,
                                   const std::vector<StaticRecord>& records) {
    for (const StaticRecord& r : records)
      if (r.id == id)
        lines.push_back("Item found: " + hexLabel(r.id) + " " + decimal(x0 + r.x) + "," +
                        decimal(y0 + r.y) + "," + decimal(r.z) + " Color: " + hexLabel(r.hue));
  });
  return lines;
}

std::uint16_t TStatics::searchedId(const std::string& answer) {
  const std::int32_t id = parseInt(answer);
  // A wider id would be searched as its low 16 bits and named after itself.
  if (id < 0 || id > 0xFFFF)
    throw Error(formatMessage("%s is not a static tile id (0x0 to 0xFFFF).", {answer}));
  return static_cast<std::uint16_t>(id);
}

std::optional<std::string> TStatics::searchId(const std::string& directory, const AskText& ask,
                                              Progress& progress) {
  if (!m_loaded) return std::nullopt;
  const auto answer = ask("ID Searching...", "Choose ID", "0x0");
  if (!answer) return std::nullopt;
  const std::uint16_t tile = searchedId(*answer);
  const std::vector<std::string> lines = searchLines(tile, progress);
  const std::string path = joinPath(directory, hexLabel(tile) + ".txt");
  writeTextLines(path, lines);
  return path;
}

std::string TStatics::removeDuplicates(Progress& progress) {
  requireLoaded();
  Bytes index(m_index->bytes().begin(), m_index->bytes().end());
  if (m_index->isFile()) {
    index.resize(static_cast<std::size_t>(m_index->size()));
    m_index->read(0, index.data(), index.size());
  }
  // The kept records are appended: a file of millions of statics is not first filled with zeros.
  Bytes data;
  data.reserve(static_cast<std::size_t>(m_data->size()));
  std::size_t end = 0;
  std::int64_t total = 0;
  std::int64_t kept = 0;
  std::int64_t removed = 0;
  SeenKeys seen;
  std::vector<const StaticRecord*> keep;
  forEachStoredBlock(progress, [&](std::int64_t b, int, int, const IndexRecord& r,
                                   const std::vector<StaticRecord>& records) {
    seen.startBlock(records.size());
    keep.clear();
    for (const StaticRecord& s : records) {
      ++total;
      if (seen.insert(recordKey(s)))
        keep.push_back(&s);
      else
        ++removed;
    }
    kept += static_cast<std::int64_t>(keep.size());
    checkDataOffset(end, "");
    putIndex(index.data() + static_cast<std::size_t>(b) * kIndexSize,
             {static_cast<std::int32_t>(end), static_cast<std::int32_t>(keep.size() * kRecordSize),
              r.extra});
    // Blocks that share their records in the file are written once each, so the result may
    // outgrow the file it came from.
    data.resize(end + keep.size() * kRecordSize);
    for (auto it = keep.rbegin(); it != keep.rend(); ++it, end += kRecordSize)
      putStaticRecord(data.data() + end, **it);
  });
  // Both new images are complete before either stream changes. Statics held in memory take the
  // new images as they are, without a copy of each.
  if (!m_index->isFile() && !m_data->isFile()) {
    m_index = WorldStream::memory(std::move(index));
    m_data = WorldStream::memory(std::move(data));
  } else {
    m_data->resize(data.size());
    m_data->write(0, data);
    m_index->write(0, index);
  }
  if (m_mode == StorageMode::Memory && removed > 0) m_streamsChanged = true;
  return formatMessage("%d of %d static items deleted, %d left.",
                       {decimal(removed), decimal(total), decimal(kept)});
}

void TStatics::exportText(const std::string& path, Progress& progress) {
  requireLoaded();
  // Lines are formatted straight into one buffer: millions of statics make a text of many
  // megabytes, and one string per line would cost more than the reading.
  std::string text;
  text.reserve(static_cast<std::size_t>(m_data->size() / kRecordSize) * 24);
  const auto hex = [&](std::uint32_t v) {
    text += "0x";
    char digits[8];
    int n = 0;
    do {
      digits[n++] = "0123456789ABCDEF"[v & 15u];
      v >>= 4;
    } while (v != 0);
    while (n > 0) text += digits[--n];
  };
  const auto dec = [&](std::int64_t v) { text += std::to_string(v); };
  forEachStoredBlock(progress, [&](std::int64_t, int x0, int y0, const IndexRecord&,
                                   const std::vector<StaticRecord>& records) {
    for (const StaticRecord& r : records) {
      hex(r.id);
      text += ' ';
      dec(x0 + r.x);
      text += ' ';
      dec(y0 + r.y);
      text += ' ';
      dec(r.z);
      text += ' ';
      hex(r.hue);
      text += "\r\n";
    }
  });
  writeFileAtomic(path, std::span<const std::uint8_t>(
                            reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace quillotide
