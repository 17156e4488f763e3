#include "world/Map.h"

#include <algorithm>
#include <array>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Image.h"
#include "app/Text.h"
#include "app/Uop.h"
#include "app/UopPair.h"
#include "models/Radarcol.h"
#include "models/Textures.h"
#include "models/Tiledata.h"

namespace quillotide {

using namespace MapLayout;

namespace {

// Whole-map operations read this many blocks at a time (about 3 MB).
constexpr std::size_t kChunkBlocks = 16384;

std::size_t cellOffset(int c) { return kHeaderSize + kCellSize * static_cast<std::size_t>(c); }
std::uint16_t cellId(const std::uint8_t* block, int c) { return loadU16(block + cellOffset(c)); }
std::int8_t cellZ(const std::uint8_t* block, int c) {
  return static_cast<std::int8_t>(block[cellOffset(c) + 2]);
}

std::string decimal(std::int64_t v) { return std::to_string(v); }

std::string chunkName(int map, std::int64_t k) {
  return uopEntryName(UopFamily::Map, static_cast<std::uint32_t>(k),
                      static_cast<std::uint32_t>(map));
}

// The map a container holds: the number its file name gives when the container has that map's
// first chunk, else the first map number whose first chunk it has.
int containerMapNumber(const UopContainer& uop, const std::string& path) {
  if (const auto named = mapNumberOfName(path); named && uop.find(chunkName(*named, 0)))
    return *named;
  for (int map = 0; map < 10; ++map)
    if (uop.find(chunkName(map, 0))) return map;
  throw FormatError(formatMessage("%s holds no map: it has no entry %s.", {path, chunkName(0, 0)}));
}

// The chunks of map `map` in order, as the map file's bytes. Every chunk but the last is whole.
Bytes readUopMap(const UopContainer& uop, int map, const std::string& path) {
  Bytes bytes;
  std::uint64_t total = 0;
  for (std::int64_t k = 0; k < kUopMapChunkLimit; ++k) {
    const UopEntry* entry = uop.find(chunkName(map, k));
    if (!entry) break;
    total += entry->fullSize;
  }
  bytes.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(
      total, std::uint64_t{kUopMapChunkLimit} * kUopMapChunk)));
  for (std::int64_t k = 0; k < kUopMapChunkLimit; ++k) {
    const UopEntry* entry = uop.find(chunkName(map, k));
    if (!entry) break;
    if (bytes.size() % kUopMapChunk != 0)
      throw FormatError(formatMessage("%s, %s: it follows a chunk shorter than %d bytes.",
                                      {path, uop.describe(*entry), decimal(kUopMapChunk)}));
    // The container's own message names the file and the entry.
    const Bytes chunk = uop.payload(*entry);
    if (chunk.size() > kUopMapChunk)
      throw FormatError(
          formatMessage("%s, %s: it holds %d bytes, more than a chunk's %d.",
                        {path, uop.describe(*entry),
                         decimal(static_cast<std::int64_t>(chunk.size())), decimal(kUopMapChunk)}));
    bytes.insert(bytes.end(), chunk.begin(), chunk.end());
  }
  return bytes;
}

}  // namespace

Bytes mapFileOfContainer(const UopContainer& uop, const std::string& path, int* mapNumber) {
  const int map = containerMapNumber(uop, path);
  if (mapNumber) *mapNumber = map;
  return readUopMap(uop, map, path);
}

std::uint64_t mapFileSizeOfContainer(const UopContainer& uop, const std::string& path) {
  const int map = containerMapNumber(uop, path);
  std::uint64_t size = 0;
  for (std::int64_t k = 0; k < kUopMapChunkLimit; ++k) {
    const UopEntry* entry = uop.find(chunkName(map, k));
    if (!entry) break;
    size += entry->fullSize;
  }
  return size;
}

UopContainer containerOfMapFile(std::span<const std::uint8_t> bytes, int mapNumber) {
  UopContainer out = UopContainer::create();
  for (std::uint64_t at = 0, k = 0; at < bytes.size(); at += kUopMapChunk, ++k)
    out.setPayload(uopHash(chunkName(mapNumber, static_cast<std::int64_t>(k))),
                   bytes.subspan(static_cast<std::size_t>(at),
                                 static_cast<std::size_t>(
                                     std::min<std::uint64_t>(kUopMapChunk, bytes.size() - at))));
  return out;
}

std::vector<MapIdRule> parseMapIdRules(const std::vector<std::string>& lines,
                                       std::vector<std::string>* messages) {
  std::vector<MapIdRule> rules;
  for (std::size_t n = 0; n < lines.size(); ++n) {
    const auto fields = split(lines[n], " ");
    if (fields.size() < 2) throw Error("List index out of bounds (1)");
    MapIdRule rule;
    const auto id = tryParseInt(fields[0]);
    // An id wider than a tile id is as wrong as one that is no number. Such a line is skipped:
    // run as tile 0 it would rewrite every cell of tile 0.
    if (!id || *id < 0 || *id > 0xFFFF) {
      if (messages)
        messages->push_back(
            formatMessage("Bug in Zeile %d", {decimal(static_cast<std::int64_t>(n))}));
      continue;
    }
    rule.id = static_cast<std::uint16_t>(*id);
    rule.text = fields[1];
    rules.push_back(std::move(rule));
  }
  return rules;
}

std::int64_t TMap::blockCount() const {
  return m_loaded ? static_cast<std::int64_t>(m_width / 8) * (m_height / 8) : 0;
}

std::int64_t TMap::blockOf(int x, int y) const {
  if (!m_loaded || x < 0 || y < 0 || x >= m_width || y >= m_height) return -1;
  return static_cast<std::int64_t>(x / 8) * (m_height / 8) + y / 8;
}

std::optional<std::string> TMap::open(const std::string& path, int width, int height) {
  checkWorldSize(width, height);
  const std::uint64_t needed =
      static_cast<std::uint64_t>(width / 8) * static_cast<std::uint64_t>(height / 8) * kBlockSize;
  // The file this model already holds (and locks) is taken over rather than opened twice.
  std::unique_ptr<WorldStream> file;
  // A container is read whole; its chunks in order are the map file.
  std::shared_ptr<const UopContainer> uop;
  int uopMap = 0;
  const bool reuse =
      !isUopPath(path) && m_file && fileExists(path) && sameFile(path, m_file->path());
  if (isUopPath(path)) {
    uop = std::make_shared<const UopContainer>(UopContainer::read(path));
    file = WorldStream::memory(mapFileOfContainer(*uop, path, &uopMap));
  } else if (!reuse) {
    // Shared with readers (the command line, a tool reading the map) while only read; each save
    // takes the file alone.
    file = WorldStream::openShared(path);
  }
  WorldStream& target = reuse ? *m_file : *file;
  if (target.size() < needed)
    throw Error(
        formatMessage("Map file %s holds %d bytes, too few for %d x %d cells (%d bytes needed).",
                      {path, decimal(static_cast<std::int64_t>(target.size())), decimal(width),
                       decimal(height), decimal(static_cast<std::int64_t>(needed))}));
  Bitmap32 overview;
  auto warning = buildOverview(target, width, height, overview);
  if (!reuse) m_file = std::move(file);
  m_uop = std::move(uop);
  m_uopMapNumber = uopMap;
  m_uopDirty.assign(m_uop ? (m_file->size() + kUopMapChunk - 1) / kUopMapChunk : 0, false);
  m_path = path;
  m_width = width;
  m_height = height;
  m_loaded = true;
  m_blocks.clear();
  m_cache.clear();
  m_unsaved = false;
  ++m_generation;
  ++m_opens;
  m_serialCounter = 0;
  if (!warning) m_overview = std::move(overview);
  return warning;
}

std::optional<std::string> TMap::buildOverview(WorldStream& file, int width, int height,
                                               Bitmap32& picture) const {
  if (!m_sources.radarcol || !m_sources.radarcol->isLoaded())
    return std::string("Radarcol not Loaded.");
  const int pw = width / 16;
  const int ph = height / 16;
  picture = Bitmap32(pw, ph);
  const std::size_t strip = static_cast<std::size_t>(height / 8) * kBlockSize;
  Bytes column(strip);
  for (int px = 0; px < pw; ++px) {
    // Only the first cell of every second block of every second column is drawn: one read of
    // the column gives all of them.
    file.read(static_cast<std::uint64_t>(2 * px) * strip, column.data(), strip);
    for (int py = 0; py < ph; ++py) {
      const std::uint16_t id =
          cellId(column.data() + static_cast<std::size_t>(2 * py) * kBlockSize, 0);
      picture.at(px, py) = colour16ToPixel(m_sources.radarcol->landColour(id));
    }
  }
  return std::nullopt;
}

TMap::MapBlock* TMap::cachedBlock(std::int64_t b) {
  const auto it = m_cache.find(static_cast<std::int32_t>(b));
  return it == m_cache.end() ? nullptr : &m_blocks[it->second];
}

TMap::MapBlock* TMap::obtainBlock(std::int64_t b) {
  if (!m_loaded || b < 0 || static_cast<std::uint64_t>(b) * kBlockSize >= m_file->size())
    return nullptr;
  if (MapBlock* cached = cachedBlock(b)) return cached;
  if ((static_cast<std::uint64_t>(b) + 1) * kBlockSize > m_file->size()) return nullptr;
  MapBlock block;
  block.index = static_cast<std::int32_t>(b);
  m_file->read(static_cast<std::uint64_t>(b) * kBlockSize, block.bytes.data(), kBlockSize);
  block.serialBase = m_serialCounter;
  m_serialCounter += kCellsPerBlock;
  m_cache.emplace(block.index, m_blocks.size());
  m_blocks.push_back(block);
  return &m_blocks.back();
}

TMap::MapBlock* TMap::cellBlock(int x, int y, int& c) {
  const std::int64_t b = blockOf(x, y);
  if (b < 0) return nullptr;
  c = (y % 8) * 8 + (x % 8);
  return obtainBlock(b);
}

std::optional<MapCell> TMap::cell(int x, int y) {
  int c = 0;
  MapBlock* block = cellBlock(x, y, c);
  if (!block) return std::nullopt;
  return MapCell{cellId(block->bytes.data(), c), cellZ(block->bytes.data(), c)};
}

int TMap::getAltitude(int x, int y) {
  const auto found = cell(x, y);
  return found ? found->z : 0;
}

void TMap::setTileId(int x, int y, std::uint16_t id) {
  int c = 0;
  if (MapBlock* block = cellBlock(x, y, c)) {
    storeU16(block->bytes.data() + cellOffset(c), id);
    block->changed = true;
    m_unsaved = true;
  }
}

void TMap::setAltitude(int x, int y, int z) {
  int c = 0;
  if (MapBlock* block = cellBlock(x, y, c)) {
    block->bytes[cellOffset(c) + 2] = static_cast<std::uint8_t>(clampAltitude(z));
    block->changed = true;
    m_unsaved = true;
  }
}

void TMap::addAltitude(int x, int y, int delta) {
  int c = 0;
  if (MapBlock* block = cellBlock(x, y, c)) {
    const std::int64_t z = cellZ(block->bytes.data(), c);
    block->bytes[cellOffset(c) + 2] = static_cast<std::uint8_t>(clampAltitude(z + delta));
    block->changed = true;
    m_unsaved = true;
  }
}

std::vector<TItem>& TMap::getLandItems(int xa, int xb, int ya, int yb, std::vector<TItem>& list) {
  if (!m_loaded) return list;
  const int xmin = std::max(std::min(xa, xb), 0);
  const int xmax = std::min(std::max(xa, xb), m_width);
  const int ymin = std::max(std::min(ya, yb), 0);
  const int ymax = std::min(std::max(ya, yb), m_height);
  if (xmin > xmax || ymin > ymax) return list;
  const int rows = m_height / 8;
  const TTextures* textures = m_sources.textures;
  const TTiledata* tiledata = m_sources.tiledata;
  std::vector<TItem> made;
  for (int by = ymin / 8; by <= (ymax + 7) / 8; ++by) {
    for (int bx = xmin / 8; bx <= (xmax + 7) / 8; ++bx) {
      if (bx >= m_width / 8 || by >= rows) continue;
      const std::int64_t b = static_cast<std::int64_t>(rows) * bx + by;
      MapBlock* block = obtainBlock(b);
      if (!block) continue;
      // Copies: obtaining neighbour blocks for the corners may add to the cache.
      const auto bytes = block->bytes;
      const std::int32_t base = block->serialBase;
      const int x0 = bx * 8;
      const int y0 = by * 8;
      for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 8; ++j) {
          const int c = i * 8 + j;
          TItem item;
          item.tileId = cellId(bytes.data(), c);
          item.z = cellZ(bytes.data(), c);
          item.x = static_cast<std::uint16_t>(x0 + j);
          item.y = static_cast<std::uint16_t>(y0 + i);
          item.serial = base + c;
          item.height = 44;
          item.width = 44;
          const int x = x0 + j;
          const int y = y0 + i;
          const int z00 = item.z;
          const int z10 = j < 7 ? cellZ(bytes.data(), c + 1) : getAltitude(x + 1, y);
          const int z01 = i < 7 ? cellZ(bytes.data(), c + 8) : getAltitude(x, y + 1);
          const int z11 = i < 7 && j < 7 ? cellZ(bytes.data(), c + 9) : getAltitude(x + 1, y + 1);
          item.corners = {0, -4 * z00, -22, 22 - 4 * z01, 0, 44 - 4 * z11, 22, 22 - 4 * z10};
          const bool flat = z00 == z10 && z00 == z01 && z00 == z11;
          bool textured = false;
          if (!flat && tiledata && textures && textures->isLoaded()) {
            const std::uint16_t tex = tiledata->landTextureId(item.tileId);
            textured = tex != 0 && textures->textureExists(tex);
          }
          item.kind = textured ? ItemKind::LandTexture : ItemKind::Land;
          made.push_back(item);
        }
      }
    }
  }
  list.insert(list.begin(), made.rbegin(), made.rend());
  return list;
}

int TMap::saveChangedBlocks() {
  int count = 0;
  for (const MapBlock& block : m_blocks) {
    if (!block.changed) continue;
    m_file->write(static_cast<std::uint64_t>(block.index) * kBlockSize, block.bytes);
    markUopChunks(static_cast<std::uint64_t>(block.index) * kBlockSize, kBlockSize);
    ++count;
  }
  if (count > 0) writeUop();
  m_unsaved = false;
  ++m_generation;
  return count;
}

bool TMap::blockChanged(std::int64_t b) const {
  const auto it = m_cache.find(static_cast<std::int32_t>(b));
  return it != m_cache.end() && m_blocks[it->second].changed;
}

void TMap::restoreMarks(std::int64_t b, bool changed, bool unsaved) {
  if (MapBlock* block = cachedBlock(b)) block->changed = changed;
  m_unsaved = unsaved;
}

std::string TMap::patchedMessage(int count) {
  return formatMessage("%d MapBlocks patched.", {decimal(count)});
}

void TMap::requireLoaded() const {
  if (!m_loaded) throw Error("Load Map first.");
}

void TMap::markUopChunks(std::uint64_t offset, std::size_t n) {
  if (!m_uop || n == 0) return;
  for (std::uint64_t k = offset / kUopMapChunk; k <= (offset + n - 1) / kUopMapChunk; ++k)
    if (k < m_uopDirty.size()) m_uopDirty[k] = true;
}

void TMap::writeUop() {
  if (!m_uop || std::find(m_uopDirty.begin(), m_uopDirty.end(), true) == m_uopDirty.end()) return;
  auto out = std::make_shared<UopContainer>(*m_uop);
  for (std::size_t k = 0; k < m_uopDirty.size(); ++k) {
    if (!m_uopDirty[k]) continue;
    const std::uint64_t at = k * kUopMapChunk;
    Bytes chunk(
        static_cast<std::size_t>(std::min<std::uint64_t>(kUopMapChunk, m_file->size() - at)));
    m_file->read(at, chunk.data(), chunk.size());
    out->setPayload(uopHash(chunkName(m_uopMapNumber, static_cast<std::int64_t>(k))), chunk);
  }
  out->save(m_path);
  m_uop = std::move(out);
  m_uopDirty.assign(m_uopDirty.size(), false);
}

std::optional<std::string> TMap::changedOnDisk() const {
  if (!m_uop || !m_uop->source()) return std::nullopt;
  return m_uop->source()->changedOnDisk();
}

Bytes TMap::currentBytes() const {
  requireLoaded();
  Bytes bytes(static_cast<std::size_t>(m_file->size()));
  m_file->read(0, bytes.data(), bytes.size());
  for (const MapBlock& block : m_blocks)
    if (block.changed)
      std::copy(block.bytes.begin(), block.bytes.end(),
                bytes.begin() + static_cast<std::ptrdiff_t>(block.index) *
                                    static_cast<std::ptrdiff_t>(kBlockSize));
  return bytes;
}

void TMap::saveMul(const std::string& path) const { writeFileAtomic(path, currentBytes()); }

void TMap::saveUop(const std::string& path) const {
  const Bytes bytes = currentBytes();
  const int map =
      mapNumberOfName(path).value_or(m_uop ? m_uopMapNumber : mapNumberOfName(m_path).value_or(0));
  // Starting from the container read keeps every chunk that did not change as it was stored.
  const bool base = m_uop && map == m_uopMapNumber;
  if (fileExists(path) && !(m_uop && sameTarget(path, m_path))) {
    // Another container already there: this map's chunks are replaced and every other entry it
    // holds is kept.
    UopContainer out = UopContainer::read(path);
    for (std::int64_t k = 0; k < kUopMapChunkLimit; ++k)
      if (out.find(uopHash(chunkName(map, k)))) out.remove(uopHash(chunkName(map, k)));
    const UopContainer fresh = containerOfMapFile(bytes, map);
    for (const UopEntry& e : fresh.entries()) out.setPayload(e.hash, fresh.payload(e), false);
    return out.save(path);
  }
  if (!base) return containerOfMapFile(bytes, map).save(path);
  UopContainer out = *m_uop;
  std::vector<bool> changed(m_uopDirty);
  for (const MapBlock& block : m_blocks)
    if (block.changed) {
      const auto k = static_cast<std::size_t>(static_cast<std::uint64_t>(block.index) * kBlockSize /
                                              kUopMapChunk);
      if (k < changed.size()) changed[k] = true;
    }
  for (std::uint64_t at = 0, k = 0; at < bytes.size(); at += kUopMapChunk, ++k) {
    if (k < changed.size() && !changed[k]) continue;
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(kUopMapChunk, bytes.size() - at));
    out.setPayload(uopHash(chunkName(map, static_cast<std::int64_t>(k))),
                   std::span<const std::uint8_t>(bytes.data() + at, n));
  }
  out.save(path);
}

template <typename F>
void TMap::forEachBlock(Progress* progress, F&& f) {
  const std::int64_t total = blockCount();
  Bytes chunk;
  std::optional<ProgressSteps> steps;
  if (progress) steps.emplace(*progress, total);
  for (std::int64_t first = 0; first < total;) {
    const std::int64_t n = std::min<std::int64_t>(kChunkBlocks, total - first);
    chunk.resize(static_cast<std::size_t>(n) * kBlockSize);
    m_file->read(static_cast<std::uint64_t>(first) * kBlockSize, chunk.data(), chunk.size());
    if (steps) steps->at(first);
    f(first, n, chunk);
    first += n;
  }
  if (steps) steps->at(total);
}

std::string TMap::countTiles(const std::string& textureListPath, const std::string& artListPath,
                             Progress& progress) {
  const TTiledata* tiledata = m_sources.tiledata;
  if (!tiledata || !tiledata->isLoaded()) throw Error("Load Tiledata first.");
  requireLoaded();
  // 64-bit counts: a large map has far more than 65535 cells of one tile.
  std::vector<std::uint64_t> counts(0x10000, 0);
  forEachBlock(&progress, [&](std::int64_t, std::int64_t n, const Bytes& chunk) {
    for (std::int64_t k = 0; k < n; ++k) {
      const std::uint8_t* block = chunk.data() + static_cast<std::size_t>(k) * kBlockSize;
      for (int c = 0; c < kCellsPerBlock; ++c) ++counts[cellId(block, c)];
    }
  });
  std::vector<std::string> textureLines;
  std::vector<std::string> artLines;
  for (std::size_t id = 0; id < counts.size(); ++id) {
    if (counts[id] == 0) continue;
    const auto tile = static_cast<std::int64_t>(id);
    const std::string wet = tiledata->landHasFlags(tile, TileFlags::Wet) ? ";Wet" : "";
    // The lists keep the game's code page, as the names have it in the tile data.
    const std::string head = hexLabel(static_cast<std::uint32_t>(id)) + ";" +
                             std::to_string(counts[id]) + ";" +
                             toWindows1252(tiledata->landName(tile));
    const std::uint16_t tex = tiledata->landTextureId(tile);
    if (tex != 0)
      textureLines.push_back(head + ";" + hexLabel(tex) + wet);
    else
      artLines.push_back(head + wet);
  }
  writeTextLines(textureListPath, textureLines);
  writeTextLines(artListPath, artLines);
  return "Done.";
}

ReplacedIds TMap::replaceIds(const std::vector<MapIdRule>& rules, Random& random,
                             Progress& progress) {
  requireLoaded();
  // The first rule of each tile id, with its pieces parsed once. A piece that is not a tile id
  // fails only the cells that draw it; they keep their id.
  struct Rule {
    std::uint16_t id = 0;
    std::vector<std::optional<std::uint16_t>> pieces;
    std::int64_t cells = 0;
    bool reported = false;
  };
  std::vector<Rule> parsed;
  std::vector<std::int32_t> ruleOf(0x10000, -1);
  for (const MapIdRule& rule : rules) {
    if (ruleOf[rule.id] >= 0) continue;
    Rule r;
    r.id = rule.id;
    for (const std::string& piece : split(rule.text, ",")) {
      const auto v = tryParseInt(piece);
      r.pieces.push_back(v && *v >= 0 && *v <= 0xFFFF
                             ? std::optional<std::uint16_t>(static_cast<std::uint16_t>(*v))
                             : std::nullopt);
    }
    ruleOf[rule.id] = static_cast<std::int32_t>(parsed.size());
    parsed.push_back(std::move(r));
  }
  ReplacedIds result;
  // `count`: the file's pass, which the result reports; the cached copies only follow it.
  const auto apply = [&](std::uint8_t* block, bool count) {
    bool changed = false;
    for (int c = 0; c < kCellsPerBlock; ++c) {
      const std::int32_t k = ruleOf[cellId(block, c)];
      if (k < 0) continue;
      Rule& rule = parsed[static_cast<std::size_t>(k)];
      const auto pick = static_cast<std::size_t>(
          random.uniform(0, static_cast<std::int64_t>(rule.pieces.size()) - 1));
      const std::optional<std::uint16_t> id = rule.pieces[pick];
      if (!id) {
        if (!rule.reported) result.messages.push_back("Bug bei Id " + hexLabel(rule.id));
        rule.reported = true;
        continue;
      }
      storeU16(block + cellOffset(c), *id);
      changed = true;
      if (count) {
        ++rule.cells;
        ++result.cells;
      }
    }
    return changed;
  };
  forEachBlock(&progress, [&](std::int64_t first, std::int64_t n, Bytes& chunk) {
    bool any = false;
    for (std::int64_t k = 0; k < n; ++k)
      any = apply(chunk.data() + static_cast<std::size_t>(k) * kBlockSize, true) || any;
    if (any) {
      m_file->write(static_cast<std::uint64_t>(first) * kBlockSize, chunk);
      markUopChunks(static_cast<std::uint64_t>(first) * kBlockSize, chunk.size());
    }
    for (std::int64_t k = 0; k < n; ++k) {
      MapBlock* cached = cachedBlock(first + k);
      if (!cached) continue;
      const std::uint8_t* fresh = chunk.data() + static_cast<std::size_t>(k) * kBlockSize;
      if (cached->changed)
        apply(cached->bytes.data(), false);
      else
        std::copy(fresh, fresh + kBlockSize, cached->bytes.begin());
    }
  });
  writeUop();
  for (const Rule& rule : parsed)
    if (rule.cells > 0) ++result.rulesApplied;
  return result;
}

int TMap::minimumAltitude(Progress& progress) {
  requireLoaded();
  int lowest = 127;
  forEachBlock(&progress, [&](std::int64_t, std::int64_t n, const Bytes& chunk) {
    for (std::int64_t k = 0; k < n; ++k) {
      const std::uint8_t* block = chunk.data() + static_cast<std::size_t>(k) * kBlockSize;
      for (int c = 0; c < kCellsPerBlock; ++c) lowest = std::min<int>(lowest, cellZ(block, c));
    }
  });
  return lowest;
}

Bitmap32 TMap::heightPicture(int level, Progress& progress) {
  requireLoaded();
  const int lvl = static_cast<std::int8_t>(static_cast<std::uint8_t>(level & 0xFF));
  // One grey pixel per possible altitude byte.
  std::array<Pixel, 256> grey{};
  for (int z = -128; z < 128; ++z) {
    const auto g = static_cast<std::uint8_t>((z - lvl + 256) & 0xFF);
    grey[static_cast<std::uint8_t>(z)] = makePixel(g, g, g);
  }
  Bitmap32 picture(m_width, m_height);
  const int rows = m_height / 8;
  forEachBlock(&progress, [&](std::int64_t first, std::int64_t n, const Bytes& chunk) {
    for (std::int64_t k = 0; k < n; ++k) {
      const std::int64_t b = first + k;
      const int x0 = static_cast<int>(b / rows) * 8;
      const int y0 = static_cast<int>(b % rows) * 8;
      const std::uint8_t* block = chunk.data() + static_cast<std::size_t>(k) * kBlockSize;
      for (int c = 0; c < kCellsPerBlock; ++c)
        picture.at(x0 + c % 8, y0 + c / 8) = grey[block[cellOffset(c) + 2]];
    }
  });
  return picture;
}

void TMap::exportHeightMap(const std::string& path, Progress& progress) {
  // A name the picture cannot be saved under fails before the whole map is read.
  imageFormatOf(path);
  writeImageFile(path, heightPicture(-128, progress));
}

std::string TMap::exportAdjustedHeightMap(const std::string& path, int level, Progress& progress) {
  imageFormatOf(path);
  const int lowest = minimumAltitude(progress);
  const int lvl = static_cast<std::int8_t>(static_cast<std::uint8_t>(level & 0xFF));
  writeImageFile(path, heightPicture(lvl, progress));
  return "Old Minimum Height was " + decimal(lowest) + ". New Minimum Height is " + decimal(lvl) +
         ".";
}

}  // namespace quillotide
