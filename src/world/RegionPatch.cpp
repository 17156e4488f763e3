#include "world/RegionPatch.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Text.h"
#include "world/Item.h"
#include "world/Map.h"
#include "world/Statics.h"
#include "world/WorldBlocks.h"

namespace quillotide {

using namespace PatchLayout;

namespace {

std::string decimal(std::int64_t v) { return std::to_string(v); }

IndexRecord indexAt(const std::uint8_t* p) {
  return {static_cast<std::int32_t>(loadU32(p)), static_cast<std::int32_t>(loadU32(p + 4)),
          static_cast<std::int32_t>(loadU32(p + 8))};
}

void putIndex(std::uint8_t* p, const IndexRecord& r) {
  storeU32(p, static_cast<std::uint32_t>(r.lookup));
  storeU32(p + 4, static_cast<std::uint32_t>(r.length));
  storeU32(p + 8, static_cast<std::uint32_t>(r.extra));
}

std::size_t cellOffset(int x, int y) {
  return MapLayout::kHeaderSize +
         MapLayout::kCellSize * static_cast<std::size_t>((y % 8) * 8 + (x % 8));
}

// The statics data of a set of blocks, read in stretches: records that lie close together in the
// data file (as they do in files written block by block, a block column after another) are read
// at once, so a region costs one read per stretch instead of one per block.
class StaticsSpan {
public:
  StaticsSpan(const WorldStream& data, std::vector<IndexRecord> records) : m_data(data) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
    for (const IndexRecord& r : records) {
      const auto [start, length] = extent(r);
      if (length > 0) ranges.emplace_back(start, start + length);
    }
    std::sort(ranges.begin(), ranges.end());
    constexpr std::uint64_t kGap = 64 * 1024;
    for (std::size_t k = 0; k < ranges.size();) {
      Stretch s{ranges[k].first, ranges[k].second, {}, false};
      for (++k; k < ranges.size() && ranges[k].first <= s.end + kGap; ++k)
        s.end = std::max(s.end, ranges[k].second);
      s.bytes.resize(static_cast<std::size_t>(s.end - s.start));
      data.read(s.start, s.bytes.data(), s.bytes.size());
      m_stretches.push_back(std::move(s));
    }
  }
  // The block's whole records inside the data file.
  std::vector<StaticRecord> read(const IndexRecord& r) const {
    const auto [start, length] = extent(r);
    if (length == 0) return {};
    const Stretch& s = stretchOf(start);
    return decodeStaticRecords(std::span<const std::uint8_t>(s.bytes).subspan(
        static_cast<std::size_t>(start - s.start), static_cast<std::size_t>(length)));
  }
  // Replaces the block's records (the same number of them); flush() writes the changed stretches.
  void replace(const IndexRecord& r, const Bytes& records) {
    const auto [start, length] = extent(r);
    if (length == 0) return;
    Stretch& s = const_cast<Stretch&>(stretchOf(start));
    std::copy(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(length),
              s.bytes.begin() + static_cast<std::ptrdiff_t>(start - s.start));
    s.changed = true;
  }
  void flush(WorldStream& file) const {
    for (const Stretch& s : m_stretches)
      if (s.changed) file.write(s.start, s.bytes);
  }

private:
  struct Stretch {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    Bytes bytes;
    bool changed = false;
  };
  // Where the block's whole records lie inside the data file (length 0 for none).
  std::pair<std::uint64_t, std::uint64_t> extent(const IndexRecord& r) const {
    if (r.lookup == -1 || r.length == -1 || r.lookup < 0 || r.length <= 0 ||
        static_cast<std::uint64_t>(r.lookup) >= m_data.size())
      return {0, 0};
    const auto start = static_cast<std::uint64_t>(r.lookup);
    std::uint64_t length =
        std::min<std::uint64_t>(static_cast<std::uint32_t>(r.length), m_data.size() - start);
    length -= length % StaticsLayout::kRecordSize;
    return {start, length};
  }
  const Stretch& stretchOf(std::uint64_t start) const {
    auto it = std::upper_bound(m_stretches.begin(), m_stretches.end(), start,
                               [](std::uint64_t v, const Stretch& s) { return v < s.start; });
    return *std::prev(it);
  }
  const WorldStream& m_data;
  std::vector<Stretch> m_stretches;
};

// The data of a slot's index record; throws FormatError when it lies outside the data file.
Bytes readSlotData(const WorldStream& data, const IndexRecord& r, const std::string& slotName) {
  if (!slotHasData(r) || r.length == 0) return {};
  if (r.lookup < 0 || r.length < 0 ||
      static_cast<std::uint64_t>(r.lookup) + static_cast<std::uint64_t>(r.length) > data.size())
    throw FormatError(
        formatMessage("%s: the record (%d, %d) points outside its data file (%d bytes).",
                      {slotName, decimal(r.lookup), decimal(r.length),
                       decimal(static_cast<std::int64_t>(data.size()))}));
  Bytes bytes(static_cast<std::size_t>(r.length));
  data.read(static_cast<std::uint64_t>(r.lookup), bytes.data(), bytes.size());
  return bytes;
}

IndexRecord slotRecord(const WorldStream& index, std::uint32_t slot) {
  const std::uint64_t at = static_cast<std::uint64_t>(slot) * kIndexRecordSize;
  if (at + kIndexRecordSize > index.size()) return {-1, -1, -1};
  std::uint8_t raw[kIndexRecordSize];
  index.read(at, raw, kIndexRecordSize);
  return indexAt(raw);
}

std::string slotName(std::uint8_t type, std::uint32_t slot) {
  return (type == kTexture ? "Texture " : "Art ") + hexLabel(slot);
}

void checkDataOffset(std::uint64_t end, const std::string& path) {
  if (end > 0x7FFFFFFF) throw Error("The data file " + path + " would grow past 2 GB.");
}

void requireStream(const WorldStream* s, const char* what) {
  if (!s) throw Error(std::string("The patch needs the ") + what + " files.");
}

}  // namespace

std::vector<PatchRecord> readPatch(std::span<const std::uint8_t> bytes, const std::string& name) {
  std::vector<PatchRecord> records;
  records.reserve(bytes.size() / kMapCellSize);
  ByteReader in(bytes, name);
  while (!in.atEnd()) {
    PatchRecord r;
    r.offset = in.pos();
    r.type = in.readU8();
    const std::size_t rest = in.remaining();
    const auto cut = [&](std::size_t need) {
      if (rest < need)
        throw FormatError(
            formatMessage("%s: the record at offset %d ends past the end of the patch.",
                          {name, decimal(static_cast<std::int64_t>(r.offset))}));
    };
    switch (r.type) {
      case kMapCell:
        cut(kMapCellSize - 1);
        r.dx = in.readU16();
        r.dy = in.readU16();
        r.tileId = in.readU16();
        r.z = in.readI8();
        break;
      case kStatic:
      case kAddedStatic:
        cut(kStaticSize - 1);
        r.dx = in.readU16();
        r.dy = in.readU16();
        r.z = in.readI8();
        r.tileId = in.readU16();
        r.hue = in.readU16();
        break;
      case kTexture:
      case kArt: {
        cut(kSlotHeadSize - 1);
        r.slot = in.readU16();
        r.index = {in.readI32(), in.readI32(), in.readI32()};
        if (slotHasData(r.index)) {
          if (r.index.length < 0 || static_cast<std::uint64_t>(r.index.length) > in.remaining())
            throw FormatError(formatMessage(
                "%s: the slot record at offset %d holds %d data bytes, more than the patch has "
                "left.",
                {name, decimal(static_cast<std::int64_t>(r.offset)), decimal(r.index.length)}));
          const auto data = in.readBytes(static_cast<std::size_t>(r.index.length));
          r.data.assign(data.begin(), data.end());
        }
        break;
      }
      default:
        throw FormatError(
            formatMessage("%s: unknown record type %d at offset %d.",
                          {name, decimal(r.type), decimal(static_cast<std::int64_t>(r.offset))}));
    }
    records.push_back(std::move(r));
  }
  return records;
}

void appendPatchRecord(Bytes& out, const PatchRecord& r) {
  // Written straight into the patch: a region holds hundreds of thousands of records.
  std::uint8_t head[kSlotHeadSize];
  std::size_t n = 1;
  head[0] = r.type;
  const auto u16 = [&](std::uint16_t v) {
    storeU16(head + n, v);
    n += 2;
  };
  const auto i32 = [&](std::int32_t v) {
    storeU32(head + n, static_cast<std::uint32_t>(v));
    n += 4;
  };
  switch (r.type) {
    case kMapCell:
      u16(r.dx);
      u16(r.dy);
      u16(r.tileId);
      head[n++] = static_cast<std::uint8_t>(r.z);
      break;
    case kStatic:
    case kAddedStatic:
      u16(r.dx);
      u16(r.dy);
      head[n++] = static_cast<std::uint8_t>(r.z);
      u16(r.tileId);
      u16(r.hue);
      break;
    default:
      u16(r.slot);
      i32(r.index.lookup);
      i32(r.index.length);
      i32(r.index.extra);
  }
  out.insert(out.end(), head, head + n);
  if ((r.type == kTexture || r.type == kArt) && slotHasData(r.index))
    out.insert(out.end(), r.data.begin(), r.data.end());
}

CellRegion CellRegion::of(int x1, int y1, int x2, int y2) {
  return {std::min(x1, x2), std::max(x1, x2), std::min(y1, y2), std::max(y1, y2)};
}

namespace {

// The part of a region inside a W x H world; empty (minX > maxX) when none is.
CellRegion clipRegion(const CellRegion& r, int width, int height) {
  return {std::max(r.minX, 0), std::min(r.maxX, width - 1), std::max(r.minY, 0),
          std::min(r.maxY, height - 1)};
}

std::int64_t cellsOf(const CellRegion& r) {
  return r.minX > r.maxX || r.minY > r.maxY ? 0 : r.cells();
}

}  // namespace

CreatedPatch createPatch(const PatchStreams& from, int width, int height, const CellRegion& region,
                         const PatchContents& what, Progress& progress) {
  checkWorldSize(width, height);
  if (static_cast<std::int64_t>(region.maxX) - region.minX > 0xFFFF ||
      static_cast<std::int64_t>(region.maxY) - region.minY > 0xFFFF)
    throw Error("A patch holds at most 65536 cells a side.");
  if (what.map) requireStream(from.map, "map");
  if (what.statics) {
    requireStream(from.staticsIndex, "statics");
    requireStream(from.staticsData, "statics");
  }
  const bool textures = what.map && what.textures;
  const bool art = what.statics && what.art;
  if (textures) {
    requireStream(from.textureIndex, "texture");
    requireStream(from.textureData, "texture");
  }
  if (art) {
    requireStream(from.artIndex, "art");
    requireStream(from.artData, "art");
  }
  CreatedPatch out;
  const CellRegion in = clipRegion(region, width, height);
  out.skippedCells = region.cells() - cellsOf(in);
  if (cellsOf(in) == 0) return out;
  const int rows = height / 8;
  std::vector<bool> textureDone(0x10000, false);
  std::vector<bool> artDone(0x10000, false);
  const auto addSlot = [&](std::uint8_t type, std::uint32_t indexSlot, const WorldStream& index,
                           const WorldStream& data) {
    // The record holds the slot in 16 bits; a wider one would land on another slot.
    if (indexSlot > kMaxPatchSlot) throw Error("A patch holds slots up to 0xFFFF.");
    PatchRecord r;
    r.type = type;
    r.slot = static_cast<std::uint16_t>(indexSlot);
    r.index = slotRecord(index, indexSlot);
    r.data = readSlotData(data, r.index, slotName(type, indexSlot));
    // A record whose data bytes are missing would be read as a shorter one.
    if (slotHasData(r.index) && r.index.length < 0) r.index = {-1, -1, r.index.extra};
    appendPatchRecord(out.bytes, r);
  };
  ProgressSteps steps(progress, in.maxX / 8 - in.minX / 8 + 1);
  for (int bx = in.minX / 8; bx <= in.maxX / 8; ++bx) {
    steps.at(bx - in.minX / 8);
    const int x0 = std::max(bx * 8, in.minX);
    const int x1 = std::min(bx * 8 + 7, in.maxX);
    const std::vector<std::int64_t> blocks = regionBlocks(x0, x1, in.minY, in.maxY, height);
    std::optional<WorldBlocks> mapBlocks;
    if (what.map) mapBlocks.emplace(*from.map, MapLayout::kBlockSize, blocks);
    // The statics of the column's blocks, sorted into their 64 cells in file order.
    std::unordered_map<std::int64_t, std::array<std::vector<StaticRecord>, 64>> cellStatics;
    if (what.statics) {
      const WorldBlocks index(*from.staticsIndex, kIndexRecordSize, blocks);
      std::vector<IndexRecord> records;
      for (const std::int64_t b : blocks)
        if (index.has(b)) records.push_back(indexAt(index.at(b)));
      const StaticsSpan span(*from.staticsData, records);
      for (const std::int64_t b : blocks) {
        if (!index.has(b)) continue;
        const IndexRecord r = indexAt(index.at(b));
        if (r.lookup == -1 || r.length == -1) continue;
        auto& cells = cellStatics[b];
        for (const StaticRecord& s : span.read(r))
          if (s.x < 8 && s.y < 8) cells[static_cast<std::size_t>(s.y) * 8 + s.x].push_back(s);
      }
    }
    for (int x = x0; x <= x1; ++x) {
      for (int y = in.minY; y <= in.maxY; ++y) {
        const std::int64_t b = static_cast<std::int64_t>(bx) * rows + y / 8;
        const auto dx = static_cast<std::uint16_t>(x - region.minX);
        const auto dy = static_cast<std::uint16_t>(y - region.minY);
        if (mapBlocks) {
          if (!mapBlocks->has(b)) {
            ++out.skippedCells;
            continue;
          }
          const std::uint8_t* cell = mapBlocks->at(b) + cellOffset(x, y);
          PatchRecord r;
          r.type = kMapCell;
          r.dx = dx;
          r.dy = dy;
          r.tileId = loadU16(cell);
          r.z = static_cast<std::int8_t>(cell[2]);
          appendPatchRecord(out.bytes, r);
          if (textures && !textureDone[r.tileId]) {
            textureDone[r.tileId] = true;
            addSlot(kTexture, r.tileId, *from.textureIndex, *from.textureData);
          }
        }
        const auto found = cellStatics.find(b);
        if (found == cellStatics.end()) continue;
        for (const StaticRecord& s : found->second[static_cast<std::size_t>((y % 8) * 8 + x % 8)]) {
          PatchRecord r;
          r.type = kStatic;
          r.dx = dx;
          r.dy = dy;
          r.z = s.z;
          r.tileId = s.id;
          r.hue = s.hue;
          appendPatchRecord(out.bytes, r);
          if (art && !artDone[s.id]) {
            artDone[s.id] = true;
            const std::uint32_t slot = kArtStaticBase + s.id;
            if (slot > kMaxPatchSlot)
              out.artLeftOut.push_back(s.id);
            else
              addSlot(kArt, slot, *from.artIndex, *from.artData);
          }
        }
      }
    }
  }
  steps.at(in.maxX / 8 - in.minX / 8 + 1);
  return out;
}

namespace {

// One slot file pair being patched: its index whole in memory, its new data gathered for one
// append at the end.
struct SlotPair {
  WorldStream* index = nullptr;
  WorldStream* data = nullptr;
  Bytes indexBytes;
  std::uint64_t originalSize = 0;
  Bytes appended;
  bool changed = false;
  std::uint64_t firstChanged = UINT64_MAX;

  void load() {
    originalSize = index->size();
    indexBytes.resize(static_cast<std::size_t>(originalSize));
    index->read(0, indexBytes.data(), indexBytes.size());
  }
  IndexRecord current(std::uint32_t slot) const {
    const std::size_t at = static_cast<std::size_t>(slot) * kIndexRecordSize;
    if (at + kIndexRecordSize > indexBytes.size()) return {-1, -1, -1};
    return indexAt(indexBytes.data() + at);
  }
  // The slot's record and data as they are now, for a backup.
  PatchRecord backupOf(std::uint8_t type, std::uint16_t slot, std::uint32_t indexSlot) const {
    PatchRecord r;
    r.type = type;
    r.slot = slot;
    const std::size_t at = static_cast<std::size_t>(indexSlot) * kIndexRecordSize;
    if (at >= indexBytes.size()) {
      // Beyond the index: the slot was empty, and applying the backup empties it again.
      r.index = {-1, -1, 0};
      return r;
    }
    r.index = current(indexSlot);
    if (!slotHasData(r.index)) return r;
    const std::uint64_t base = data->size();
    const bool inside =
        r.index.lookup >= 0 && r.index.length >= 0 &&
        static_cast<std::uint64_t>(r.index.lookup) + static_cast<std::uint64_t>(r.index.length) <=
            base;
    if (!inside) {
      r.index = {-1, -1, r.index.extra};
      return r;
    }
    r.data.resize(static_cast<std::size_t>(r.index.length));
    data->read(static_cast<std::uint64_t>(r.index.lookup), r.data.data(), r.data.size());
    return r;
  }
  void put(std::uint32_t slot, const PatchRecord& r) {
    const std::size_t at = static_cast<std::size_t>(slot) * kIndexRecordSize;
    if (at + kIndexRecordSize > indexBytes.size()) {
      // A partial last record is completed as empty before the index grows.
      const std::size_t whole = indexBytes.size() - indexBytes.size() % kIndexRecordSize;
      firstChanged = std::min<std::uint64_t>(firstChanged, whole);
      indexBytes.resize(whole);
      std::uint8_t empty[kIndexRecordSize];
      putIndex(empty, {-1, -1, 0});
      while (indexBytes.size() < at + kIndexRecordSize)
        indexBytes.insert(indexBytes.end(), empty, empty + kIndexRecordSize);
    }
    firstChanged = std::min<std::uint64_t>(firstChanged, at);
    IndexRecord written = r.index;
    if (slotHasData(r.index)) {
      const std::uint64_t lookup = data->size() + appended.size();
      checkDataOffset(lookup + r.data.size(), data->path());
      written = {static_cast<std::int32_t>(lookup), r.index.length, r.index.extra};
      appended.insert(appended.end(), r.data.begin(), r.data.end());
    }
    putIndex(indexBytes.data() + at, written);
    changed = true;
  }
  void write() {
    if (!changed) return;
    data->write(data->size(), appended);
    // Only the records from the first changed one on go back.
    if (indexBytes.size() < originalSize) index->resize(indexBytes.size());
    index->write(
        firstChanged,
        std::span<const std::uint8_t>(indexBytes).subspan(static_cast<std::size_t>(firstChanged)));
  }
};

}  // namespace

namespace {

AppliedPatch applyRecords(const std::vector<PatchRecord>& records, std::size_t patchSize,
                          const PatchStreams& to, int width, int height, int x1, int y1,
                          const std::function<void(const Bytes& backup)>& backup,
                          Progress& progress) {
  AppliedPatch result;
  result.records = static_cast<std::int64_t>(records.size());
  bool needMap = false, needStatics = false, needArt = false, needTextures = false;
  for (const PatchRecord& r : records) {
    needMap |= r.type == kMapCell;
    needStatics |= r.type == kStatic || r.type == kAddedStatic;
    needArt |= r.type == kArt;
    needTextures |= r.type == kTexture;
  }
  if (needMap) requireStream(to.map, "map");
  if (needStatics) {
    requireStream(to.staticsIndex, "statics");
    requireStream(to.staticsData, "statics");
  }
  if (needArt) {
    requireStream(to.artIndex, "art");
    requireStream(to.artData, "art");
  }
  if (needTextures) {
    requireStream(to.textureIndex, "texture");
    requireStream(to.textureData, "texture");
  }
  const int rows = height / 8;
  // The block of a record's target cell, or -1 outside the world.
  const auto targetOf = [&](const PatchRecord& r, int& x, int& y) -> std::int64_t {
    const std::int64_t tx = static_cast<std::int64_t>(x1) + r.dx;
    const std::int64_t ty = static_cast<std::int64_t>(y1) + r.dy;
    if (tx < 0 || ty < 0 || tx >= width || ty >= height) return -1;
    x = static_cast<int>(tx);
    y = static_cast<int>(ty);
    return (tx / 8) * rows + ty / 8;
  };
  std::vector<std::int64_t> mapIndices, staticIndices;
  for (const PatchRecord& r : records) {
    int x = 0, y = 0;
    const std::int64_t b = targetOf(r, x, y);
    if (b < 0) continue;
    if (r.type == kMapCell) mapIndices.push_back(b);
    if (r.type == kStatic || r.type == kAddedStatic) staticIndices.push_back(b);
  }
  std::optional<WorldBlocks> mapBlocks;
  if (needMap) mapBlocks.emplace(*to.map, MapLayout::kBlockSize, std::move(mapIndices));
  std::optional<WorldBlocks> staticIndex;
  std::optional<StaticsSpan> staticSpan;
  if (needStatics) {
    staticIndex.emplace(*to.staticsIndex, kIndexRecordSize, staticIndices);
    std::vector<IndexRecord> old;
    for (const std::int64_t b : staticIndices)
      if (staticIndex->has(b)) old.push_back(indexAt(staticIndex->at(b)));
    staticSpan.emplace(*to.staticsData, old);
  }
  // The statics of every block the patch changes, in order, read once.
  std::map<std::int64_t, std::vector<StaticRecord>> blockStatics;
  std::set<std::int64_t> changedStatics;
  const auto staticsOf = [&](std::int64_t b) -> std::vector<StaticRecord>& {
    auto it = blockStatics.find(b);
    if (it == blockStatics.end())
      it = blockStatics.emplace(b, staticSpan->read(indexAt(staticIndex->at(b)))).first;
    return it->second;
  };
  SlotPair art;
  art.index = to.artIndex;
  art.data = to.artData;
  SlotPair textures;
  textures.index = to.textureIndex;
  textures.data = to.textureData;
  if (needArt) art.load();
  if (needTextures) textures.load();

  Bytes undo;
  const bool withBackup = static_cast<bool>(backup);
  // Each cell's first state goes into the backup; later records of the same cell add nothing.
  std::vector<bool> cellsSeen(
      withBackup ? static_cast<std::size_t>(width) * static_cast<std::size_t>(height) : 0);
  std::unordered_set<std::uint32_t> artSeen, texturesSeen;
  ProgressSteps steps(progress, static_cast<long long>(patchSize));
  for (const PatchRecord& r : records) {
    steps.at(static_cast<long long>(r.offset));
    if (r.type == kTexture || r.type == kArt) {
      SlotPair& pair = r.type == kArt ? art : textures;
      auto& seen = r.type == kArt ? artSeen : texturesSeen;
      if (withBackup && seen.insert(r.slot).second)
        appendPatchRecord(undo, pair.backupOf(r.type, r.slot, r.slot));
      pair.put(r.slot, r);
      continue;
    }
    int x = 0, y = 0;
    const std::int64_t b = targetOf(r, x, y);
    if (r.type == kMapCell) {
      if (b < 0 || !mapBlocks->has(b)) {
        ++result.skippedCells;
        continue;
      }
      std::uint8_t* cell = mapBlocks->at(b) + cellOffset(x, y);
      const std::size_t key = static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                              static_cast<std::size_t>(x);
      if (withBackup && !cellsSeen[key]) {
        cellsSeen[key] = true;
        PatchRecord old = r;
        old.tileId = loadU16(cell);
        old.z = static_cast<std::int8_t>(cell[2]);
        appendPatchRecord(undo, old);
      }
      storeU16(cell, r.tileId);
      cell[2] = static_cast<std::uint8_t>(r.z);
      mapBlocks->markChanged(b);
      continue;
    }
    if (b < 0 || !staticIndex->has(b)) {
      ++result.skippedCells;
      continue;
    }
    std::vector<StaticRecord>& list = staticsOf(b);
    const StaticRecord s{r.tileId, static_cast<std::uint8_t>(x % 8),
                         static_cast<std::uint8_t>(y % 8), r.z, r.hue};
    if (r.type == kStatic) {
      if (withBackup) {
        PatchRecord added = r;
        added.type = kAddedStatic;
        appendPatchRecord(undo, added);
      }
      list.push_back(s);
      staticIndex->markChanged(b);
      changedStatics.insert(b);
    } else {
      const auto it = std::find(list.rbegin(), list.rend(), s);
      if (it == list.rend()) {
        ++result.missingStatics;
        continue;
      }
      list.erase(std::next(it).base());
      staticIndex->markChanged(b);
      changedStatics.insert(b);
    }
  }
  steps.at(static_cast<long long>(patchSize));

  // Every block's new statics go into one append; the index records follow.
  Bytes staticsAppend;
  if (needStatics) {
    const std::uint64_t base = to.staticsData->size();
    for (const std::int64_t b : changedStatics) {
      const std::vector<StaticRecord>& list = blockStatics.at(b);
      if (list.empty()) {
        putIndex(staticIndex->at(b), {-1, -1, -1});
        continue;
      }
      const std::uint64_t lookup = base + staticsAppend.size();
      for (const StaticRecord& s : list) appendStaticRecord(staticsAppend, s);
      checkDataOffset(base + staticsAppend.size(), to.staticsData->path());
      putIndex(staticIndex->at(b),
               {static_cast<std::int32_t>(lookup),
                static_cast<std::int32_t>(list.size() * StaticsLayout::kRecordSize), 0});
    }
  }
  if (withBackup) backup(undo);
  if (needStatics) {
    to.staticsData->write(to.staticsData->size(), staticsAppend);
    staticIndex->writeChanged(*to.staticsIndex);
  }
  if (needArt) art.write();
  if (needTextures) textures.write();
  if (needMap) mapBlocks->writeChanged(*to.map);
  return result;
}

}  // namespace

AppliedPatch applyPatch(std::span<const std::uint8_t> patch, const std::string& name,
                        const PatchStreams& to, int width, int height, int x1, int y1,
                        const std::function<void(const Bytes& backup)>& backup,
                        Progress& progress) {
  checkWorldSize(width, height);
  return applyRecords(readPatch(patch, name), patch.size(), to, width, height, x1, y1, backup,
                      progress);
}

std::int64_t changeHeights(const PatchStreams& files, int width, int height,
                           const CellRegion& region, int amount, bool map, bool statics,
                           Progress& progress) {
  checkWorldSize(width, height);
  if (map) requireStream(files.map, "map");
  if (statics) {
    requireStream(files.staticsIndex, "statics");
    requireStream(files.staticsData, "statics");
  }
  const CellRegion in = clipRegion(region, width, height);
  std::int64_t skipped = region.cells() - cellsOf(in);
  if (cellsOf(in) == 0 || (!map && !statics)) return skipped;
  const int rows = height / 8;
  const std::vector<std::int64_t> blocks = regionBlocks(in.minX, in.maxX, in.minY, in.maxY, height);
  const auto lift = [amount](std::uint8_t z) {
    return static_cast<std::uint8_t>(
        clampAltitude(static_cast<std::int64_t>(static_cast<std::int8_t>(z)) + amount));
  };
  ProgressSteps steps(progress, static_cast<long long>(blocks.size()) * 2);
  if (map) {
    WorldBlocks mapBlocks(*files.map, MapLayout::kBlockSize, blocks);
    for (std::size_t k = 0; k < blocks.size(); ++k) {
      steps.at(static_cast<long long>(k));
      const std::int64_t b = blocks[k];
      const int bx0 = static_cast<int>(b / rows) * 8;
      const int by0 = static_cast<int>(b % rows) * 8;
      const int xa = std::max(bx0, in.minX), xb = std::min(bx0 + 7, in.maxX);
      const int ya = std::max(by0, in.minY), yb = std::min(by0 + 7, in.maxY);
      if (!mapBlocks.has(b)) {
        skipped += static_cast<std::int64_t>(xb - xa + 1) * (yb - ya + 1);
        continue;
      }
      std::uint8_t* block = mapBlocks.at(b);
      for (int x = xa; x <= xb; ++x)
        for (int y = ya; y <= yb; ++y) {
          std::uint8_t& z = block[cellOffset(x, y) + 2];
          z = lift(z);
        }
      mapBlocks.markChanged(b);
    }
    mapBlocks.writeChanged(*files.map);
  }
  if (statics) {
    const WorldBlocks index(*files.staticsIndex, kIndexRecordSize, blocks);
    std::vector<IndexRecord> records;
    for (const std::int64_t b : blocks)
      if (index.has(b)) records.push_back(indexAt(index.at(b)));
    StaticsSpan span(*files.staticsData, records);
    for (std::size_t k = 0; k < blocks.size(); ++k) {
      steps.at(static_cast<long long>(blocks.size() + k));
      const std::int64_t b = blocks[k];
      if (!index.has(b)) continue;
      const IndexRecord r = indexAt(index.at(b));
      if (r.lookup == -1 || r.length == -1) continue;
      std::vector<StaticRecord> list = span.read(r);
      if (list.empty()) continue;
      const int bx0 = static_cast<int>(b / rows) * 8;
      const int by0 = static_cast<int>(b % rows) * 8;
      bool changed = false;
      for (StaticRecord& s : list) {
        const int x = bx0 + s.x;
        const int y = by0 + s.y;
        if (s.x > 7 || s.y > 7 || x < in.minX || x > in.maxX || y < in.minY || y > in.maxY)
          continue;
        s.z = static_cast<std::int8_t>(lift(static_cast<std::uint8_t>(s.z)));
        changed = true;
      }
      if (!changed) continue;
      Bytes bytes;
      for (const StaticRecord& s : list) appendStaticRecord(bytes, s);
      span.replace(r, bytes);
    }
    span.flush(*files.staticsData);
  }
  steps.at(static_cast<long long>(blocks.size()) * 2);
  return skipped;
}

std::string PatchDirectory::mapPath() const {
  return joinPath(dir, "map" + std::to_string(mapNumber) + ".mul");
}
std::string PatchDirectory::staticsIndexPath() const {
  return joinPath(dir, "staidx" + std::to_string(mapNumber) + ".mul");
}
std::string PatchDirectory::staticsDataPath() const {
  return joinPath(dir, "statics" + std::to_string(mapNumber) + ".mul");
}
std::string PatchDirectory::artIndexPath() const { return joinPath(dir, "artidx.mul"); }
std::string PatchDirectory::artDataPath() const { return joinPath(dir, "art.mul"); }
std::string PatchDirectory::textureIndexPath() const { return joinPath(dir, "texidx.mul"); }
std::string PatchDirectory::textureDataPath() const { return joinPath(dir, "texmaps.mul"); }

std::vector<int> patchMapNumbers(const std::string& dir) {
  std::vector<int> out;
  if (dir.empty()) return out;
  for (int n = 0; n < 256; ++n) {
    const PatchDirectory d{dir, n};
    if (fileExists(d.mapPath()) && fileExists(d.staticsIndexPath()) &&
        fileExists(d.staticsDataPath()))
      out.push_back(n);
  }
  return out;
}

std::optional<std::string> artLeftOutMessage(const std::vector<std::uint16_t>& ids) {
  if (ids.empty()) return std::nullopt;
  constexpr std::size_t kNamed = 16;
  std::string names;
  for (std::size_t k = 0; k < ids.size() && k < kNamed; ++k)
    names += (k == 0 ? "" : ", ") + hexLabel(ids[k]);
  if (ids.size() > kNamed)
    names +=
        formatMessage(" and %d more", {decimal(static_cast<std::int64_t>(ids.size() - kNamed))});
  return formatMessage(
      "The art of the statics %s was left out of the patch: their art slots lie above 0xFFFF, "
      "which a patch record cannot hold. The statics themselves are in it.",
      {names});
}

std::optional<std::string> skippedCellsMessage(std::int64_t skipped, int width, int height) {
  if (skipped <= 0) return std::nullopt;
  return formatMessage(
      "%d cells lie outside the world of %d x %d cells or its files; they were "
      "skipped.",
      {decimal(skipped), decimal(width), decimal(height)});
}

namespace {

std::optional<std::string> joinedMessage(const std::vector<std::string>& lines) {
  if (lines.empty()) return std::nullopt;
  std::string text = lines[0];
  for (std::size_t i = 1; i < lines.size(); ++i) text += "\n" + lines[i];
  return text;
}

// The streams of a directory's files, opened for reading or for writing as a tool needs them.
struct OpenedFiles {
  std::vector<std::unique_ptr<WorldStream>> held;
  PatchStreams streams;
  WorldStream* open(const std::string& path, bool write) {
    held.push_back(write ? WorldStream::openFile(path) : WorldStream::openForReading(path));
    return held.back().get();
  }
};

}  // namespace

std::optional<std::string> createPatchFile(const PatchDirectory& from, int width, int height,
                                           const CellRegion& region, const PatchContents& what,
                                           const std::string& patchPath, Progress& progress) {
  OpenedFiles files;
  std::vector<std::string> sources;
  if (what.map) sources.push_back(from.mapPath());
  if (what.statics) {
    sources.push_back(from.staticsIndexPath());
    sources.push_back(from.staticsDataPath());
  }
  if (what.map && what.textures) {
    sources.push_back(from.textureIndexPath());
    sources.push_back(from.textureDataPath());
  }
  if (what.statics && what.art) {
    sources.push_back(from.artIndexPath());
    sources.push_back(from.artDataPath());
  }
  for (const std::string& source : sources)
    if (sameTarget(patchPath, source))
      throw Error("The patch " + patchPath + " would replace " + source +
                  ", which it is made from.");
  PatchStreams& s = files.streams;
  if (what.map) s.map = files.open(from.mapPath(), false);
  if (what.statics) {
    s.staticsIndex = files.open(from.staticsIndexPath(), false);
    s.staticsData = files.open(from.staticsDataPath(), false);
  }
  if (what.map && what.textures) {
    s.textureIndex = files.open(from.textureIndexPath(), false);
    s.textureData = files.open(from.textureDataPath(), false);
  }
  if (what.statics && what.art) {
    s.artIndex = files.open(from.artIndexPath(), false);
    s.artData = files.open(from.artDataPath(), false);
  }
  const CreatedPatch patch = createPatch(s, width, height, region, what, progress);
  writeFileAtomic(patchPath, patch.bytes);
  std::vector<std::string> lines;
  if (auto m = skippedCellsMessage(patch.skippedCells, width, height)) lines.push_back(*m);
  if (auto m = artLeftOutMessage(patch.artLeftOut)) lines.push_back(*m);
  return joinedMessage(lines);
}

std::optional<std::string> applyPatchFile(const PatchDirectory& to, int width, int height, int x1,
                                          int y1, const std::string& patchPath,
                                          const std::optional<std::string>& backupPath,
                                          Progress& progress) {
  const Bytes patch = readFile(patchPath);
  // Which files the patch needs: the records say.
  const std::vector<PatchRecord> records = readPatch(patch, patchPath);
  bool needMap = false, needStatics = false, needArt = false, needTextures = false;
  for (const PatchRecord& r : records) {
    needMap |= r.type == kMapCell;
    needStatics |= r.type == kStatic || r.type == kAddedStatic;
    needArt |= r.type == kArt;
    needTextures |= r.type == kTexture;
  }
  std::vector<std::string> targets;
  if (needMap) targets.push_back(to.mapPath());
  if (needStatics) {
    targets.push_back(to.staticsIndexPath());
    targets.push_back(to.staticsDataPath());
  }
  if (needArt) {
    targets.push_back(to.artIndexPath());
    targets.push_back(to.artDataPath());
  }
  if (needTextures) {
    targets.push_back(to.textureIndexPath());
    targets.push_back(to.textureDataPath());
  }
  for (const std::string& target : targets) {
    if (sameTarget(patchPath, target))
      throw Error("The patch " + patchPath + " is one of the files it would change.");
    if (backupPath && sameTarget(*backupPath, target))
      throw Error("The backup " + *backupPath + " would replace " + target + ".");
  }
  if (backupPath && sameTarget(*backupPath, patchPath))
    throw Error("The backup " + *backupPath + " would replace the patch it is made for.");
  OpenedFiles files;
  PatchStreams& s = files.streams;
  if (needMap) s.map = files.open(to.mapPath(), true);
  if (needStatics) {
    s.staticsIndex = files.open(to.staticsIndexPath(), true);
    s.staticsData = files.open(to.staticsDataPath(), true);
  }
  if (needArt) {
    s.artIndex = files.open(to.artIndexPath(), true);
    s.artData = files.open(to.artDataPath(), true);
  }
  if (needTextures) {
    s.textureIndex = files.open(to.textureIndexPath(), true);
    s.textureData = files.open(to.textureDataPath(), true);
  }
  std::function<void(const Bytes&)> writeBackup;
  if (backupPath) writeBackup = [&](const Bytes& bytes) { writeFileAtomic(*backupPath, bytes); };
  checkWorldSize(width, height);
  const AppliedPatch applied =
      applyRecords(records, patch.size(), s, width, height, x1, y1, writeBackup, progress);
  std::vector<std::string> lines;
  if (auto m = skippedCellsMessage(applied.skippedCells, width, height)) lines.push_back(*m);
  if (applied.missingStatics > 0)
    lines.push_back(formatMessage("%d statics to remove were not found on their cells.",
                                  {decimal(applied.missingStatics)}));
  return joinedMessage(lines);
}

std::optional<std::string> changeHeightsInDirectory(const PatchDirectory& dir, int width,
                                                    int height, const CellRegion& region,
                                                    int amount, bool map, bool statics,
                                                    Progress& progress) {
  OpenedFiles files;
  PatchStreams& s = files.streams;
  if (map) s.map = files.open(dir.mapPath(), true);
  if (statics) {
    s.staticsIndex = files.open(dir.staticsIndexPath(), true);
    s.staticsData = files.open(dir.staticsDataPath(), true);
  }
  const std::int64_t skipped =
      changeHeights(s, width, height, region, amount, map, statics, progress);
  return skippedCellsMessage(skipped, width, height);
}

}  // namespace quillotide
