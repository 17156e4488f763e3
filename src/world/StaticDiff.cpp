#include "world/StaticDiff.h"

#include <algorithm>

#include "app/Error.h"
#include "app/Facet.h"
#include "app/FileIO.h"
#include "app/IndexedFile.h"
#include "app/Text.h"
#include "world/DiffFiles.h"
#include "world/WorldFile.h"

namespace quillotide {

using namespace StaticDiffLayout;

namespace {

std::string decimal(std::int64_t v) { return std::to_string(v); }

std::string outsideWorld(std::int64_t x, std::int64_t y, int width, int height) {
  return formatMessage("The position %d,%d lies outside the world (%d x %d).",
                       {decimal(x), decimal(y), decimal(width), decimal(height)});
}

void growTo(Bytes& bytes, std::size_t size) {
  if (bytes.size() < size) bytes.resize(size, 0);
}

std::string fileNameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void TStaticDiff::setWorldSize(int width, int height) {
  checkWorldSize(width, height);
  m_width = width;
  m_height = height;
  m_state.byBlock.clear();
  for (std::size_t i = 0; i < m_state.items.size(); ++i)
    m_state.byBlock[blockKey(m_state.items[i])].push_back(static_cast<std::uint32_t>(i));
}

void TStaticDiff::setFacet(int facet) {
  checkFacet(facet);
  m_facet = facet;
}

std::int64_t TStaticDiff::blockOf(std::int64_t x, std::int64_t y) const {
  if (x < 0 || y < 0 || x >= m_width || y >= m_height) return -1;
  return (x / 8) * (m_height / 8) + y / 8;
}

std::int64_t TStaticDiff::blockKey(const TItem& item) const {
  return static_cast<std::int64_t>(item.x / 8) * (m_height / 8) + item.y / 8;
}

void TStaticDiff::rebuildFirstEntries() {
  m_state.firstEntry.clear();
  for (std::size_t i = 0; i < m_state.entries.size(); ++i)
    m_state.firstEntry.emplace(m_state.entries[i].block, i);
}

void TStaticDiff::loadDiffs(const std::string& directory) {
  // All three are read before anything is replaced.
  const StaticDiffPaths paths = StaticDiffPaths::in(directory, m_facet);
  Bytes list = readFile(paths.blockList);
  Bytes index = readFile(paths.index);
  Bytes data = readFile(paths.data);

  std::vector<std::string> problems;
  if (list.size() % kBlockNumberSize != 0)
    problems.push_back(formatMessage(
        "%s: %d bytes is not a whole number of 4-byte block numbers; the last %d bytes are left "
        "out.",
        {fileNameOf(paths.blockList), decimal(static_cast<std::int64_t>(list.size())),
         decimal(static_cast<std::int64_t>(list.size() % kBlockNumberSize))}));
  const std::size_t n = std::min<std::size_t>(list.size() / kBlockNumberSize, 0x7FFFFFFF);
  list.resize(n * kBlockNumberSize);
  const std::size_t records = index.size() / kIndexSize;
  if (n != records)
    problems.push_back(formatMessage(
        "The static diff's block list names %d blocks but its index holds %d records; blocks "
        "without a record have no statics.",
        {decimal(static_cast<std::int64_t>(n)), decimal(static_cast<std::int64_t>(records))}));

  State fresh;
  fresh.entries.reserve(n);
  std::int64_t outside = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const auto b = static_cast<std::int32_t>(loadU32(list.data() + i * kBlockNumberSize));
    if (b < 0 || b >= blockCount()) ++outside;
    fresh.entries.push_back({b, false, static_cast<std::int32_t>(i), false});
    fresh.firstEntry.emplace(b, i);
  }
  if (outside > 0)
    problems.push_back(formatMessage(
        "%d entries of the static diff name blocks outside the world (%d blocks); they are left "
        "out.",
        {decimal(outside), decimal(blockCount())}));

  m_blockList = std::move(list);
  m_index = std::move(index);
  m_data = std::move(data);
  m_state = std::move(fresh);
  ++m_generation;
  m_loaded = true;
  m_directory = directory;
  for (auto& p : problems) m_problems.push_back(std::move(p));
}

StaticDiffEntry* TStaticDiff::entryOf(std::int64_t b) {
  if (b < INT32_MIN || b > INT32_MAX) return nullptr;
  const auto it = m_state.firstEntry.find(static_cast<std::int32_t>(b));
  return it == m_state.firstEntry.end() ? nullptr : &m_state.entries[it->second];
}

void TStaticDiff::appendItem(const TItem& item) {
  const auto pos = static_cast<std::uint32_t>(m_state.items.size());
  m_state.items.push_back(item);
  m_state.byBlock[blockKey(item)].push_back(pos);
}

void TStaticDiff::loadBlockItems(std::int32_t b) {
  StaticDiffEntry* entry = entryOf(b);
  if (!entry) return;
  entry->itemsLoaded = true;
  if (b < 0 || b >= blockCount()) return;
  const std::uint64_t at = static_cast<std::uint64_t>(entry->position) * kIndexSize;
  if (at + kIndexSize > m_index.size()) return;
  const auto lookup = static_cast<std::int32_t>(loadU32(m_index.data() + at));
  const auto length = static_cast<std::int32_t>(loadU32(m_index.data() + at + 4));
  if (lookup == -1 || length == -1 || length == 0) return;
  if (lookup < 0 || length < 0 || static_cast<std::uint64_t>(lookup) > m_data.size()) {
    m_problems.push_back(
        formatMessage("Static diff block %d: %d bytes at %d lie outside the data file (%d bytes).",
                      {decimal(b), decimal(length), decimal(lookup),
                       decimal(static_cast<std::int64_t>(m_data.size()))}));
    return;
  }
  const auto start = static_cast<std::size_t>(lookup);
  std::size_t size = static_cast<std::size_t>(length);
  if (size > m_data.size() - start) {
    m_problems.push_back(formatMessage(
        "Static diff block %d: %d bytes at %d run past the end of the data file (%d bytes); only "
        "the records inside it are read.",
        {decimal(b), decimal(length), decimal(lookup),
         decimal(static_cast<std::int64_t>(m_data.size()))}));
    size = m_data.size() - start;
  }
  if (size % kRecordSize != 0)
    m_problems.push_back(formatMessage(
        "Static diff block %d: %d bytes is not a whole number of 7-byte records; the last %d bytes "
        "are left out.",
        {decimal(b), decimal(static_cast<std::int64_t>(size)),
         decimal(static_cast<std::int64_t>(size % kRecordSize))}));
  const int rows = m_height / 8;
  const int x0 = (b / rows) * 8;
  const int y0 = (b % rows) * 8;
  const std::vector<StaticRecord> records =
      decodeStaticRecords(std::span<const std::uint8_t>(m_data).subspan(start, size));
  for (const StaticRecord& r : records) {
    TItem item =
        placedItem(r.id, x0 + r.x, y0 + r.y, r.z, r.hue, m_state.nextSerial++, ItemKind::DiffStatic);
    applyStaticLook(item, m_sources);
    appendItem(item);
  }
}

std::vector<TItem>& TStaticDiff::appendItemsInRect(int xa, int xb, int ya, int yb,
                                                   std::vector<TItem>& list) {
  if (!m_loaded) return list;
  const int xmin = std::max(std::min(xa, xb), 0);
  const int xmax = std::min(std::max(xa, xb), m_width - 1);
  const int ymin = std::max(std::min(ya, yb), 0);
  const int ymax = std::min(std::max(ya, yb), m_height - 1);
  if (xmin > xmax || ymin > ymax) return list;
  const int cols = m_width / 8;
  const int rows = m_height / 8;
  for (int r = ymin / 8; r <= (ymax + 7) / 8; ++r)
    for (int c = xmin / 8; c <= (xmax + 7) / 8; ++c) {
      if (c >= cols || r >= rows) continue;
      const std::int64_t b = static_cast<std::int64_t>(c) * rows + r;
      const StaticDiffEntry* entry = entryOf(b);
      if (entry && !entry->itemsLoaded) loadBlockItems(static_cast<std::int32_t>(b));
    }
  std::vector<std::uint32_t> hits;
  for (int c = xmin / 8; c <= xmax / 8; ++c)
    for (int r = ymin / 8; r <= ymax / 8; ++r) {
      const auto it = m_state.byBlock.find(static_cast<std::int64_t>(c) * rows + r);
      if (it == m_state.byBlock.end()) continue;
      for (const std::uint32_t pos : it->second) {
        const TItem& s = m_state.items[pos];
        if (!s.deleted && s.x >= xmin && s.x <= xmax && s.y >= ymin && s.y <= ymax)
          hits.push_back(pos);
      }
    }
  // Each item goes to the front in list order, so the newest ends up first.
  std::sort(hits.begin(), hits.end(), std::greater<>());
  std::vector<TItem> front;
  front.reserve(hits.size());
  for (const std::uint32_t pos : hits) front.push_back(m_state.items[pos]);
  list.insert(list.begin(), front.begin(), front.end());
  return list;
}

Bitmap32 TStaticDiff::blockPicture() const {
  Bitmap32 picture(m_width / 16, m_height / 16, makePixel(255, 255, 255));
  if (!m_loaded) return picture;
  const Pixel black = makePixel(0, 0, 0);
  const std::int64_t rows = m_height / 8;
  for (const StaticDiffEntry& e : m_state.entries) {
    if (e.block < 0 || e.block >= blockCount()) continue;
    const auto px = static_cast<int>((e.block / rows) * 8 / 16);
    const auto py = static_cast<int>((e.block % rows) * 8 / 16);
    if (px < picture.width && py < picture.height) picture.at(px, py) = black;
  }
  return picture;
}

TItem* TStaticDiff::find(std::int32_t serial) {
  return itemAtSerial(m_state.items, serial, kDiffSerialBase);
}

std::optional<TItem> TStaticDiff::item(std::int32_t serial) const {
  const TItem* found = itemAtSerial(m_state.items, serial, kDiffSerialBase);
  return found ? std::optional<TItem>(*found) : std::nullopt;
}

void TStaticDiff::markChanged(std::int64_t b) {
  StaticDiffEntry* entry = entryOf(b);
  if (!entry) return;
  // A block saved without its items read would lose the statics it holds.
  if (!entry->itemsLoaded) loadBlockItems(static_cast<std::int32_t>(b));
  entry->changed = true;
}

void TStaticDiff::select(std::int32_t serial) {
  if (TItem* s = find(serial)) s->selected = 1;
}

void TStaticDiff::deselect(std::int32_t serial) {
  if (TItem* s = find(serial)) s->selected = 0;
}

void TStaticDiff::remove(std::int32_t serial) {
  editItem(serial, [](TItem& s) { s.deleted = 1; });
}

void TStaticDiff::restore(std::int32_t serial) {
  editItem(serial, [](TItem& s) { s.deleted = 0; });
}

bool TStaticDiff::blockChanged(std::int64_t b) const {
  if (b < INT32_MIN || b > INT32_MAX) return false;
  const auto it = m_state.firstEntry.find(static_cast<std::int32_t>(b));
  return it != m_state.firstEntry.end() && m_state.entries[it->second].changed;
}

void TStaticDiff::setBlockChanged(std::int64_t b, bool changed) {
  if (StaticDiffEntry* entry = entryOf(b)) entry->changed = changed;
}

void TStaticDiff::setHue(std::int32_t serial, std::uint16_t hue) {
  editItem(serial, [hue](TItem& s) { s.hue = hue; });
}

void TStaticDiff::setTileId(std::int32_t serial, std::uint16_t id) {
  editItem(serial, [this, id](TItem& s) {
    s.tileId = id;
    applyStaticLook(s, m_sources);
  });
}

void TStaticDiff::move(std::int32_t serial, int dx, int dy, int dz) {
  const TItem* s = find(serial);
  if (!s) return;
  const std::int64_t nx = static_cast<std::int64_t>(s->x) + dx;
  const std::int64_t ny = static_cast<std::int64_t>(s->y) + dy;
  const std::int64_t to = blockOf(nx, ny);
  if (to < 0) throw Error(outsideWorld(nx, ny, m_width, m_height));
  const std::int64_t from = blockKey(*s);
  if (to != from && !entryOf(to))
    throw Error(formatMessage(
        "The static diff holds no block at %d,%d; a diff static can only move within the diff's "
        "blocks.",
        {decimal(nx), decimal(ny)}));
  markChanged(from);
  markChanged(to);  // may read the block's items and grow the list
  TItem& item = m_state.items[static_cast<std::size_t>(serial - kDiffSerialBase)];
  if (to != from) {
    const auto pos = static_cast<std::uint32_t>(serial - kDiffSerialBase);
    auto& left = m_state.byBlock[from];
    left.erase(std::remove(left.begin(), left.end(), pos), left.end());
    auto& entered = m_state.byBlock[to];
    entered.insert(std::upper_bound(entered.begin(), entered.end(), pos), pos);
  }
  item.x = static_cast<std::uint16_t>(nx);
  item.y = static_cast<std::uint16_t>(ny);
  item.z = clampAltitude(static_cast<std::int64_t>(item.z) + dz);
}

std::int32_t TStaticDiff::newItem(std::uint16_t id, int x, int y, int z, std::uint16_t hue) {
  TItem item =
      placedItem(id, x, y, clampAltitude(z), hue, m_state.nextSerial++, ItemKind::DiffStatic);
  applyStaticLook(item, m_sources);
  appendItem(item);
  return item.serial;
}

std::int32_t TStaticDiff::addItem(std::uint16_t id, int x, int y, int z, std::uint16_t hue) {
  const std::int64_t b = blockOf(x, y);
  if (b < 0) throw Error(outsideWorld(x, y, m_width, m_height));
  const auto block = static_cast<std::int32_t>(b);
  if (StaticDiffEntry* entry = entryOf(b)) {
    if (!entry->itemsLoaded) loadBlockItems(block);
  } else {
    const std::size_t p = m_state.entries.size();
    m_state.entries.push_back({block, true, static_cast<std::int32_t>(p), false});
    m_state.firstEntry.emplace(block, p);
  }
  const std::int32_t serial = newItem(id, x, y, z, hue);
  markChanged(b);
  return serial;
}

std::optional<std::size_t> TStaticDiff::saveDiffs(const std::string& directory,
                                                  StaticsSaveMode mode, TWorldFile* world) {
  // Everything below either completes or leaves the store and the world file as they were.
  State before = m_state;
  m_skipped = 0;
  try {
    const bool withWorld = world && mode != StaticsSaveMode::StaticsOnly;
    if (withWorld) {
      const std::vector<TItem> items =
          mode == StaticsSaveMode::WithUnwrittenItems ? world->unwrittenItems() : world->allItems();
      for (const TItem& it : items) {
        const std::int64_t b = blockOf(it.x, it.y);
        if (b < 0) {
          ++m_skipped;
          continue;
        }
        if (!it.deleted) addItem(it.tileId, it.x, it.y, it.z, it.hue);
        markChanged(b);
      }
    }
    if (m_state.entries.empty() || m_state.items.empty()) {
      // Nothing is written, so the world file keeps its unwritten items.
      m_state = std::move(before);
      return std::nullopt;
    }

    Bytes list = m_blockList;
    Bytes index = m_index;
    Bytes data = m_data;
    std::size_t written = 0;
    for (const StaticDiffEntry& entry : m_state.entries) {
      if (!entry.changed) continue;
      const auto p = static_cast<std::size_t>(entry.position);
      growTo(list, (p + 1) * kBlockNumberSize);
      storeU32(list.data() + p * kBlockNumberSize, static_cast<std::uint32_t>(entry.block));
      const std::size_t start = data.size();
      const auto it = m_state.byBlock.find(entry.block);
      if (it != m_state.byBlock.end())
        for (const std::uint32_t pos : it->second) {
          const TItem& s = m_state.items[pos];
          if (s.deleted) continue;
          appendStaticRecord(data, {s.tileId, static_cast<std::uint8_t>(s.x % 8),
                                    static_cast<std::uint8_t>(s.y % 8), s.z, s.hue});
        }
      if (data.size() > 0x7FFFFFFF)
        throw Error("The static diff data " + facetNames(m_facet).staticDiff +
                    " would grow past 2 GB.");
      growTo(index, (p + 1) * kIndexSize);
      std::uint8_t* r = index.data() + p * kIndexSize;
      storeU32(r, static_cast<std::uint32_t>(start));
      storeU32(r + 4, static_cast<std::uint32_t>(data.size() - start));
      storeU32(r + 8, 0);
      ++written;
    }
    // A file replaced keeps the case of its name.
    const StaticDiffPaths paths = StaticDiffPaths::in(directory, m_facet);
    AtomicFile listFile(paths.blockList);
    AtomicFile indexFile(paths.index);
    AtomicFile dataFile(paths.data);
    listFile.write(list);
    indexFile.write(index);
    dataFile.write(data);
    commitAll({&listFile, &indexFile, &dataFile});
    m_directory = directory;

    m_blockList = std::move(list);
    m_index = std::move(index);
    m_data = std::move(data);
    if (withWorld) world->dropUnwritten();
    for (StaticDiffEntry& e : m_state.entries) {
      e.changed = false;
      e.itemsLoaded = false;
    }
    m_state.items.clear();
    m_state.byBlock.clear();
    // Serials restart with the list, so a serial handed out after the save names its item.
    m_state.nextSerial = kDiffSerialBase;
    ++m_generation;
    return written;
  } catch (...) {
    m_state = std::move(before);
    throw;
  }
}

}  // namespace quillotide
