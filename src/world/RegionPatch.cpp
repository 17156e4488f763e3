#include "world/RegionPatch.h"

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "app/Error.h"
#include "app/Facet.h"
#include "app/FileIO.h"
#include "app/FileNames.h"
#include "app/Text.h"
#include "app/Uop.h"
#include "app/UopPair.h"
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
    // Reading a small gap costs less than another read; a large one would only fill memory.
    constexpr std::uint64_t kGap = 4 * 1024;
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
std::string slotName(std::uint8_t type, std::uint32_t slot);

// The number of data bytes of a slot's index record; throws FormatError when they lie outside
// the data file.
std::size_t slotDataLength(const WorldStream& data, const IndexRecord& r, std::uint8_t type,
                           std::uint32_t slot) {
  if (!slotHasData(r) || r.length == 0) return 0;
  if (r.lookup < 0 || r.length < 0 ||
      static_cast<std::uint64_t>(r.lookup) + static_cast<std::uint64_t>(r.length) > data.size())
    throw FormatError(
        formatMessage("%s: the record (%d, %d) points outside its data file (%d bytes).",
                      {slotName(type, slot), decimal(r.lookup), decimal(r.length),
                       decimal(static_cast<std::int64_t>(data.size()))}));
  return static_cast<std::size_t>(r.length);
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

namespace {

// One record of a patch as it lies in the patch's bytes; a slot's data stays there.
struct RecordView {
  std::uint8_t type = kMapCell;
  std::uint16_t dx = 0;
  std::uint16_t dy = 0;
  std::uint16_t tileId = 0;
  std::int8_t z = 0;
  std::uint16_t hue = 0;
  std::uint16_t slot = 0;
  IndexRecord index{};
  std::span<const std::uint8_t> data;
  std::size_t offset = 0;
};

// Calls f with every record in order, checking each before it is handed on: a patch is read in
// place, with nothing allocated per record, as often as a tool needs to pass over it.
template <typename F>
void forEachRecord(std::span<const std::uint8_t> bytes, const std::string& name, F&& f) {
  // One check of the length per record; the fields are then read in place.
  const std::uint8_t* const data = bytes.data();
  const std::size_t size = bytes.size();
  RecordView r;
  std::size_t pos = 0;
  while (pos < size) {
    r.offset = pos;
    r.type = data[pos];
    const std::size_t rest = size - pos - 1;
    const auto cut = [&](std::size_t need) {
      if (rest < need)
        throw FormatError(
            formatMessage("%s: the record at offset %d ends past the end of the patch.",
                          {name, decimal(static_cast<std::int64_t>(r.offset))}));
    };
    const std::uint8_t* p = data + pos + 1;
    switch (r.type) {
      case kMapCell:
        cut(kMapCellSize - 1);
        r.dx = loadU16(p);
        r.dy = loadU16(p + 2);
        r.tileId = loadU16(p + 4);
        r.z = static_cast<std::int8_t>(p[6]);
        pos += kMapCellSize;
        break;
      case kStatic:
      case kAddedStatic:
        cut(kStaticSize - 1);
        r.dx = loadU16(p);
        r.dy = loadU16(p + 2);
        r.z = static_cast<std::int8_t>(p[4]);
        r.tileId = loadU16(p + 5);
        r.hue = loadU16(p + 7);
        pos += kStaticSize;
        break;
      case kTexture:
      case kArt: {
        cut(kSlotHeadSize - 1);
        r.slot = loadU16(p);
        r.index = {static_cast<std::int32_t>(loadU32(p + 2)),
                   static_cast<std::int32_t>(loadU32(p + 6)),
                   static_cast<std::int32_t>(loadU32(p + 10))};
        pos += kSlotHeadSize;
        r.data = {};
        if (slotHasData(r.index)) {
          if (r.index.length < 0 || static_cast<std::uint64_t>(r.index.length) > size - pos)
            throw FormatError(formatMessage(
                "%s: the slot record at offset %d holds %d data bytes, more than the patch has "
                "left.",
                {name, decimal(static_cast<std::int64_t>(r.offset)), decimal(r.index.length)}));
          r.data = bytes.subspan(pos, static_cast<std::size_t>(r.index.length));
          pos += r.data.size();
        }
        break;
      }
      default:
        throw FormatError(
            formatMessage("%s: unknown record type %d at offset %d.",
                          {name, decimal(r.type), decimal(static_cast<std::int64_t>(r.offset))}));
    }
    f(static_cast<const RecordView&>(r));
  }
}

void putCellRecord(Bytes& out, std::uint16_t dx, std::uint16_t dy, std::uint16_t tileId,
                   std::int8_t z) {
  const std::size_t at = out.size();
  out.resize(at + kMapCellSize);
  std::uint8_t* p = out.data() + at;
  p[0] = kMapCell;
  storeU16(p + 1, dx);
  storeU16(p + 3, dy);
  storeU16(p + 5, tileId);
  p[7] = static_cast<std::uint8_t>(z);
}

void putStaticRecord(Bytes& out, std::uint8_t type, std::uint16_t dx, std::uint16_t dy,
                     std::int8_t z, std::uint16_t tileId, std::uint16_t hue) {
  const std::size_t at = out.size();
  out.resize(at + kStaticSize);
  std::uint8_t* p = out.data() + at;
  p[0] = type;
  storeU16(p + 1, dx);
  storeU16(p + 3, dy);
  p[5] = static_cast<std::uint8_t>(z);
  storeU16(p + 6, tileId);
  storeU16(p + 8, hue);
}

}  // namespace

std::vector<PatchRecord> readPatch(std::span<const std::uint8_t> bytes, const std::string& name) {
  std::vector<PatchRecord> records;
  forEachRecord(bytes, name, [&](const RecordView& v) {
    PatchRecord r;
    r.type = v.type;
    r.dx = v.dx;
    r.dy = v.dy;
    r.tileId = v.tileId;
    r.z = v.z;
    r.hue = v.hue;
    r.slot = v.slot;
    r.index = v.index;
    r.data.assign(v.data.begin(), v.data.end());
    r.offset = v.offset;
    records.push_back(std::move(r));
  });
  return records;
}

void appendPatchRecord(Bytes& out, const PatchRecord& r) {
  switch (r.type) {
    case kMapCell:
      putCellRecord(out, r.dx, r.dy, r.tileId, r.z);
      return;
    case kStatic:
    case kAddedStatic:
      putStaticRecord(out, r.type, r.dx, r.dy, r.z, r.tileId, r.hue);
      return;
    default: {
      std::uint8_t head[kSlotHeadSize];
      head[0] = r.type;
      storeU16(head + 1, r.slot);
      storeU32(head + 3, static_cast<std::uint32_t>(r.index.lookup));
      storeU32(head + 7, static_cast<std::uint32_t>(r.index.length));
      storeU32(head + 11, static_cast<std::uint32_t>(r.index.extra));
      out.insert(out.end(), head, head + kSlotHeadSize);
      if (slotHasData(r.index)) out.insert(out.end(), r.data.begin(), r.data.end());
    }
  }
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

namespace {

// The records of a patch as they are made, handed on in large pieces: a region's patch is
// written as it is made, never regrown in memory.
class PatchOut {
public:
  explicit PatchOut(std::function<void(std::span<const std::uint8_t>)> emit)
      : m_emit(std::move(emit)) {
    m_buffer.resize(kChunk);
  }
  // Room for n bytes of records, to be filled at once.
  std::uint8_t* room(std::size_t n) {
    if (m_end + n > m_buffer.size()) {
      flush();
      if (n > m_buffer.size()) m_buffer.resize(n);
    }
    std::uint8_t* p = m_buffer.data() + m_end;
    m_end += n;
    return p;
  }
  void flush() {
    if (m_end > 0) m_emit(std::span<const std::uint8_t>(m_buffer.data(), m_end));
    m_end = 0;
  }

private:
  static constexpr std::size_t kChunk = std::size_t{256} << 10;
  std::function<void(std::span<const std::uint8_t>)> m_emit;
  Bytes m_buffer;
  std::size_t m_end = 0;
};

CreatedPatch makePatch(const PatchStreams& from, int width, int height, const CellRegion& region,
                       const PatchContents& what, Progress& progress, PatchOut& sink) {
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
  const auto room = [&](std::size_t n) { return sink.room(n); };
  // Slot indexes are read whole once: a region uses hundreds of slots spread over them.
  const auto wholeIndex = [](const WorldStream* index) {
    Bytes bytes(index ? static_cast<std::size_t>(index->size()) : 0);
    if (index) index->read(0, bytes.data(), bytes.size());
    return bytes;
  };
  const Bytes textureIndex = wholeIndex(textures ? from.textureIndex : nullptr);
  const Bytes artIndex = wholeIndex(art ? from.artIndex : nullptr);
  const auto addSlot = [&](std::uint8_t type, std::uint32_t indexSlot, const Bytes& index,
                           const WorldStream& data) {
    // The record holds the slot in 16 bits; a wider one would land on another slot.
    if (indexSlot > kMaxPatchSlot) throw Error("A patch holds slots up to 0xFFFF.");
    const std::size_t at = static_cast<std::size_t>(indexSlot) * kIndexRecordSize;
    const IndexRecord record = at + kIndexRecordSize <= index.size() ? indexAt(index.data() + at)
                                                                     : IndexRecord{-1, -1, -1};
    const std::size_t length = slotDataLength(data, record, type, indexSlot);
    // The head and the slot's data go straight into the patch.
    std::uint8_t* p = room(kSlotHeadSize + length);
    p[0] = type;
    storeU16(p + 1, static_cast<std::uint16_t>(indexSlot));
    storeU32(p + 3, static_cast<std::uint32_t>(record.lookup));
    storeU32(p + 7, static_cast<std::uint32_t>(record.length));
    storeU32(p + 11, static_cast<std::uint32_t>(record.extra));
    if (length > 0) data.read(static_cast<std::uint64_t>(record.lookup), p + kSlotHeadSize, length);
  };
  // The statics of a column's blocks, sorted by cell (file order within a cell): the statics of
  // block k's cell c are cellStatics[cellStart[k][c] .. cellStart[k][c + 1]).
  std::vector<StaticRecord> cellStatics;
  std::vector<std::array<std::uint32_t, 65>> cellStart;
  ProgressSteps steps(progress, in.maxX / 8 - in.minX / 8 + 1);
  for (int bx = in.minX / 8; bx <= in.maxX / 8; ++bx) {
    steps.at(bx - in.minX / 8);
    const int x0 = std::max(bx * 8, in.minX);
    const int x1 = std::min(bx * 8 + 7, in.maxX);
    const std::vector<std::int64_t> blocks = regionBlocks(x0, x1, in.minY, in.maxY, height);
    const std::int64_t firstBlock = blocks.front();
    std::optional<WorldBlocks> mapBlocks;
    if (what.map) mapBlocks.emplace(*from.map, MapLayout::kBlockSize, blocks);
    cellStatics.clear();
    cellStart.assign(what.statics ? blocks.size() : 0, {});
    if (what.statics) {
      const WorldBlocks index(*from.staticsIndex, kIndexRecordSize, blocks);
      std::vector<IndexRecord> records;
      for (const std::int64_t b : blocks)
        if (index.has(b)) records.push_back(indexAt(index.at(b)));
      const StaticsSpan span(*from.staticsData, records);
      for (std::size_t k = 0; k < blocks.size(); ++k) {
        std::array<std::uint32_t, 65>& start = cellStart[k];
        const std::uint32_t base = static_cast<std::uint32_t>(cellStatics.size());
        start.fill(base);
        if (!index.has(blocks[k])) continue;
        const IndexRecord r = indexAt(index.at(blocks[k]));
        if (r.lookup == -1 || r.length == -1) continue;
        const std::vector<StaticRecord> list = span.read(r);
        // Counting sort by cell keeps the file order of the statics of each cell.
        std::array<std::uint32_t, 64> count{};
        for (const StaticRecord& st : list)
          if (st.x < 8 && st.y < 8) ++count[static_cast<std::size_t>(st.y) * 8 + st.x];
        std::uint32_t at = base;
        for (std::size_t c = 0; c < 64; ++c) {
          start[c] = at;
          at += count[c];
        }
        start[64] = at;
        cellStatics.resize(at);
        std::array<std::uint32_t, 64> next{};
        std::copy(start.begin(), start.begin() + 64, next.begin());
        for (const StaticRecord& st : list)
          if (st.x < 8 && st.y < 8)
            cellStatics[next[static_cast<std::size_t>(st.y) * 8 + st.x]++] = st;
      }
    }
    for (int x = x0; x <= x1; ++x) {
      const auto dx = static_cast<std::uint16_t>(x - region.minX);
      for (int by = in.minY / 8; by <= in.maxY / 8; ++by) {
        const std::int64_t b = static_cast<std::int64_t>(bx) * rows + by;
        const int ya = std::max(by * 8, in.minY);
        const int yb = std::min(by * 8 + 7, in.maxY);
        const std::uint8_t* block = nullptr;
        if (mapBlocks) {
          if (!mapBlocks->has(b)) {
            out.skippedCells += yb - ya + 1;
            continue;
          }
          block = mapBlocks->at(b);
        }
        const std::array<std::uint32_t, 65>* start =
            what.statics ? &cellStart[static_cast<std::size_t>(b - firstBlock)] : nullptr;
        for (int y = ya; y <= yb; ++y) {
          const auto dy = static_cast<std::uint16_t>(y - region.minY);
          if (block) {
            const std::uint8_t* cell = block + cellOffset(x, y);
            std::uint8_t* p = room(kMapCellSize);
            p[0] = kMapCell;
            storeU16(p + 1, dx);
            storeU16(p + 3, dy);
            p[5] = cell[0];
            p[6] = cell[1];
            p[7] = cell[2];
            const std::uint16_t tile = loadU16(cell);
            if (textures && !textureDone[tile]) {
              textureDone[tile] = true;
              addSlot(kTexture, tile, textureIndex, *from.textureData);
            }
          }
          if (!start) continue;
          const std::size_t c = static_cast<std::size_t>((y % 8) * 8 + x % 8);
          for (std::uint32_t k = (*start)[c]; k < (*start)[c + 1]; ++k) {
            const StaticRecord& st = cellStatics[k];
            std::uint8_t* p = room(kStaticSize);
            p[0] = kStatic;
            storeU16(p + 1, dx);
            storeU16(p + 3, dy);
            p[5] = static_cast<std::uint8_t>(st.z);
            storeU16(p + 6, st.id);
            storeU16(p + 8, st.hue);
            if (art && !artDone[st.id]) {
              artDone[st.id] = true;
              const std::uint32_t slot = kArtStaticBase + st.id;
              if (slot > kMaxPatchSlot)
                out.artLeftOut.push_back(st.id);
              else
                addSlot(kArt, slot, artIndex, *from.artData);
            }
          }
        }
      }
    }
  }
  sink.flush();
  steps.at(in.maxX / 8 - in.minX / 8 + 1);
  return out;
}

}  // namespace

CreatedPatch createPatch(const PatchStreams& from, int width, int height, const CellRegion& region,
                         const PatchContents& what, Progress& progress) {
  Bytes bytes;
  PatchOut sink([&](std::span<const std::uint8_t> piece) {
    bytes.insert(bytes.end(), piece.begin(), piece.end());
  });
  CreatedPatch out = makePatch(from, width, height, region, what, progress, sink);
  out.bytes = std::move(bytes);
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
  // Appends the backup record of the slot as it is now: its record and data, straight into the
  // backup. A slot beyond the index was empty, and applying the backup empties it again.
  void backupInto(std::uint8_t type, std::uint16_t slot, PatchOut& out) const {
    const std::size_t at = static_cast<std::size_t>(slot) * kIndexRecordSize;
    IndexRecord record = at >= indexBytes.size() ? IndexRecord{-1, -1, 0} : current(slot);
    std::size_t length = 0;
    if (at < indexBytes.size() && slotHasData(record)) {
      const bool inside =
          record.lookup >= 0 && record.length >= 0 &&
          static_cast<std::uint64_t>(record.lookup) + static_cast<std::uint64_t>(record.length) <=
              data->size();
      if (inside)
        length = static_cast<std::size_t>(record.length);
      else
        record = {-1, -1, record.extra};
    }
    std::uint8_t* p = out.room(kSlotHeadSize + length);
    p[0] = type;
    storeU16(p + 1, slot);
    storeU32(p + 3, static_cast<std::uint32_t>(record.lookup));
    storeU32(p + 7, static_cast<std::uint32_t>(record.length));
    storeU32(p + 11, static_cast<std::uint32_t>(record.extra));
    if (length > 0)
      data->read(static_cast<std::uint64_t>(record.lookup), p + kSlotHeadSize, length);
  }
  void put(std::uint32_t slot, const IndexRecord& record, std::span<const std::uint8_t> bytes) {
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
    IndexRecord written = record;
    if (slotHasData(record)) {
      const std::uint64_t lookup = data->size() + appended.size();
      checkDataOffset(lookup + bytes.size(), data->path());
      written = {static_cast<std::int32_t>(lookup), record.length, record.extra};
      appended.insert(appended.end(), bytes.begin(), bytes.end());
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

// Applies a patch in two passes over its bytes: the first checks every record and gathers the
// blocks and files it needs, the second changes the blocks read, which go back in one write each.
// What a patch needs, found in one pass that also checks every record: which files, and the
// blocks of the target it touches (a block listed once per run of records on it).
struct PatchPlan {
  std::int64_t records = 0;
  bool map = false, statics = false, art = false, textures = false;
  std::vector<std::int64_t> mapBlocks, staticBlocks;
};

// The block of a record's target cell in a W x H world at origin (x1, y1), or -1 outside it.
std::int64_t targetBlock(const RecordView& r, int width, int height, int x1, int y1, int& x,
                         int& y) {
  const std::int64_t tx = static_cast<std::int64_t>(x1) + r.dx;
  const std::int64_t ty = static_cast<std::int64_t>(y1) + r.dy;
  if (tx < 0 || ty < 0 || tx >= width || ty >= height) return -1;
  x = static_cast<int>(tx);
  y = static_cast<int>(ty);
  return (tx / 8) * (height / 8) + ty / 8;
}

PatchPlan planPatch(std::span<const std::uint8_t> patch, const std::string& name, int width,
                    int height, int x1, int y1) {
  PatchPlan plan;
  // A block is listed about once per eight map records.
  plan.mapBlocks.reserve(patch.size() / (kMapCellSize * 8) + 8);
  forEachRecord(patch, name, [&](const RecordView& r) {
    ++plan.records;
    plan.map |= r.type == kMapCell;
    plan.statics |= r.type == kStatic || r.type == kAddedStatic;
    plan.art |= r.type == kArt;
    plan.textures |= r.type == kTexture;
    std::vector<std::int64_t>* list = r.type == kMapCell ? &plan.mapBlocks
                                      : r.type == kStatic || r.type == kAddedStatic
                                          ? &plan.staticBlocks
                                          : nullptr;
    if (!list) return;
    int x = 0, y = 0;
    const std::int64_t b = targetBlock(r, width, height, x1, y1, x, y);
    if (b >= 0 && (list->empty() || list->back() != b)) list->push_back(b);
  });
  return plan;
}

// Applies a planned patch in a second pass over its bytes: the blocks it touches are read once
// and go back in one write per run. With `undo`, the backup's records go to it as they are made,
// and `beforeWrites` runs once everything is planned and before the first byte of a game file is
// written (it may throw to stop the apply with nothing written).
AppliedPatch applyRecords(std::span<const std::uint8_t> patch, const std::string& name,
                          PatchPlan plan, const PatchStreams& to, int width, int height, int x1,
                          int y1, PatchOut* undo, const std::function<void()>& beforeWrites,
                          Progress& progress) {
  AppliedPatch result;
  result.records = plan.records;
  const bool needMap = plan.map, needStatics = plan.statics, needArt = plan.art,
             needTextures = plan.textures;
  const auto targetOf = [&](const RecordView& r, int& x, int& y) {
    return targetBlock(r, width, height, x1, y1, x, y);
  };
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
  std::optional<WorldBlocks> mapBlocks;
  if (needMap) mapBlocks.emplace(*to.map, MapLayout::kBlockSize, std::move(plan.mapBlocks));
  std::optional<WorldBlocks> staticIndex;
  std::optional<StaticsSpan> staticSpan;
  if (needStatics) {
    staticIndex.emplace(*to.staticsIndex, kIndexRecordSize, std::move(plan.staticBlocks));
    std::vector<IndexRecord> old;
    old.reserve(staticIndex->count());
    staticIndex->forEachRead(
        [&](std::int64_t, const std::uint8_t* record) { old.push_back(indexAt(record)); });
    staticSpan.emplace(*to.staticsData, old);
  }
  // The statics of every block the patch changes, read once, kept by the block's place among the
  // index records read (which is block order).
  const std::size_t staticBlocks = staticIndex ? staticIndex->count() : 0;
  std::vector<std::vector<StaticRecord>> blockStatics(staticBlocks);
  std::vector<std::uint8_t> staticsRead(staticBlocks, 0), staticsChanged(staticBlocks, 0);
  const auto staticsOf = [&](std::int64_t b, std::size_t k) -> std::vector<StaticRecord>& {
    if (!staticsRead[k]) {
      staticsRead[k] = 1;
      blockStatics[k] = staticSpan->read(indexAt(staticIndex->at(b)));
      // Room for the patch's own statics of the block, which usually are about as many.
      blockStatics[k].reserve(blockStatics[k].size() * 2 + 8);
    }
    return blockStatics[k];
  };
  SlotPair art;
  art.index = to.artIndex;
  art.data = to.artData;
  SlotPair textures;
  textures.index = to.textureIndex;
  textures.data = to.textureData;
  if (needArt) art.load();
  if (needTextures) textures.load();

  const bool withBackup = undo != nullptr;
  const auto undoRoom = [&](std::size_t n) { return undo->room(n); };
  // Each cell's first state goes into the backup; later records of the same cell add nothing.
  // One bit per cell of the blocks the patch touches, so the table grows with the patch, not with
  // the world it lands in.
  std::vector<std::uint64_t> cellsSeen(withBackup && mapBlocks ? mapBlocks->count() : 0);
  std::unordered_set<std::uint32_t> artSeen, texturesSeen;
  ProgressSteps steps(progress, static_cast<long long>(patch.size()));
  std::size_t seenRecords = 0;
  forEachRecord(patch, name, [&](const RecordView& r) {
    // The share done moves by a percent per thousands of records; it is not worked out per record.
    if ((seenRecords++ & 1023) == 0) steps.at(static_cast<long long>(r.offset));
    if (r.type == kTexture || r.type == kArt) {
      SlotPair& pair = r.type == kArt ? art : textures;
      auto& seen = r.type == kArt ? artSeen : texturesSeen;
      if (withBackup && seen.insert(r.slot).second) {
        pair.backupInto(r.type, r.slot, *undo);
      }
      pair.put(r.slot, r.index, r.data);
      return;
    }
    int x = 0, y = 0;
    const std::int64_t b = targetOf(r, x, y);
    if (r.type == kMapCell) {
      std::int64_t k = -1;
      std::uint8_t* block = b < 0 ? nullptr : mapBlocks->change(b, k);
      if (!block) {
        ++result.skippedCells;
        return;
      }
      std::uint8_t* cell = block + cellOffset(x, y);
      const std::uint64_t bit = std::uint64_t{1} << ((y % 8) * 8 + x % 8);
      if (withBackup && (cellsSeen[static_cast<std::size_t>(k)] & bit) == 0) {
        cellsSeen[static_cast<std::size_t>(k)] |= bit;
        std::uint8_t* p = undoRoom(kMapCellSize);
        p[0] = kMapCell;
        storeU16(p + 1, r.dx);
        storeU16(p + 3, r.dy);
        p[5] = cell[0];
        p[6] = cell[1];
        p[7] = cell[2];
      }
      storeU16(cell, r.tileId);
      cell[2] = static_cast<std::uint8_t>(r.z);
      return;
    }
    const std::int64_t k = b < 0 ? -1 : staticIndex->ordinal(b);
    if (k < 0) {
      ++result.skippedCells;
      return;
    }
    std::vector<StaticRecord>& list = staticsOf(b, static_cast<std::size_t>(k));
    const StaticRecord s{r.tileId, static_cast<std::uint8_t>(x % 8),
                         static_cast<std::uint8_t>(y % 8), r.z, r.hue};
    if (r.type == kStatic) {
      if (withBackup) {
        // The same record, of the type that removes it again.
        std::uint8_t* p = undoRoom(kStaticSize);
        std::copy(patch.begin() + static_cast<std::ptrdiff_t>(r.offset),
                  patch.begin() + static_cast<std::ptrdiff_t>(r.offset + kStaticSize), p);
        p[0] = kAddedStatic;
      }
      list.push_back(s);
      staticIndex->markChanged(b);
      staticsChanged[static_cast<std::size_t>(k)] = 1;
    } else {
      const auto it = std::find(list.rbegin(), list.rend(), s);
      if (it == list.rend()) {
        ++result.missingStatics;
        return;
      }
      list.erase(std::next(it).base());
      staticIndex->markChanged(b);
      staticsChanged[static_cast<std::size_t>(k)] = 1;
    }
  });
  steps.at(static_cast<long long>(patch.size()));

  // Every block's new statics go into one append; the index records follow.
  Bytes staticsAppend;
  if (needStatics) {
    std::size_t total = 0;
    for (std::size_t k = 0; k < staticBlocks; ++k)
      if (staticsChanged[k]) total += blockStatics[k].size() * StaticsLayout::kRecordSize;
    staticsAppend.resize(total);
    const std::uint64_t base = to.staticsData->size();
    checkDataOffset(base + total, to.staticsData->path());
    std::uint8_t* out = staticsAppend.data();
    std::size_t k = 0;  // the records are visited in the order of their places
    staticIndex->forEachRead([&](std::int64_t, std::uint8_t* record) {
      const std::vector<StaticRecord>& list = blockStatics[k];
      if (!staticsChanged[k++]) return;
      if (list.empty()) {
        putIndex(record, {-1, -1, -1});
        return;
      }
      const std::uint64_t lookup = base + static_cast<std::uint64_t>(out - staticsAppend.data());
      for (const StaticRecord& st : list) {
        storeU16(out, st.id);
        out[2] = st.x;
        out[3] = st.y;
        out[4] = static_cast<std::uint8_t>(st.z);
        storeU16(out + 5, st.hue);
        out += StaticsLayout::kRecordSize;
      }
      putIndex(record, {static_cast<std::int32_t>(lookup),
                        static_cast<std::int32_t>(list.size() * StaticsLayout::kRecordSize), 0});
    });
  }
  if (undo) undo->flush();
  if (beforeWrites) beforeWrites();
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
  PatchPlan plan = planPatch(patch, name, width, height, x1, y1);
  if (!backup)
    return applyRecords(patch, name, std::move(plan), to, width, height, x1, y1, nullptr, {},
                        progress);
  Bytes undo;
  PatchOut sink([&](std::span<const std::uint8_t> piece) {
    undo.insert(undo.end(), piece.begin(), piece.end());
  });
  return applyRecords(
      patch, name, std::move(plan), to, width, height, x1, y1, &sink, [&] { backup(undo); },
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

// The files are found whatever the case of their names, as a client folder copied from Windows
// keeps them. Where a container stands beside the MUL files it replaces, the client reads the
// container, and so the tools read and patch it.
namespace {

std::optional<std::string> containerIn(const std::string& dir, const std::string& name) {
  if (!FolderNames::orEmpty(dir).find(name)) return std::nullopt;
  return pathWithoutCase(dir, name);
}

}  // namespace

std::string PatchDirectory::mapPath() const {
  if (auto uop = containerIn(dir, facetNames(mapNumber).mapUop)) return *uop;
  return pathWithoutCase(dir, "map" + std::to_string(mapNumber) + ".mul");
}
std::string PatchDirectory::staticsIndexPath() const {
  return pathWithoutCase(dir, "staidx" + std::to_string(mapNumber) + ".mul");
}
std::string PatchDirectory::staticsDataPath() const {
  return pathWithoutCase(dir, "statics" + std::to_string(mapNumber) + ".mul");
}
std::string PatchDirectory::artIndexPath() const {
  if (auto uop = containerIn(dir, kArtContainerName)) return *uop;
  return pathWithoutCase(dir, "artidx.mul");
}
std::string PatchDirectory::artDataPath() const {
  if (auto uop = containerIn(dir, kArtContainerName)) return *uop;
  return pathWithoutCase(dir, "art.mul");
}
std::string PatchDirectory::textureIndexPath() const { return pathWithoutCase(dir, "texidx.mul"); }
std::string PatchDirectory::textureDataPath() const { return pathWithoutCase(dir, "texmaps.mul"); }

std::uint64_t PatchDirectory::mapBytes() const {
  const std::string path = mapPath();
  return worldFileBytes(path).value_or(0);
}

std::vector<int> patchMapNumbers(const std::string& dir) {
  std::vector<int> out;
  if (dir.empty()) return out;
  const FolderNames names = FolderNames::orEmpty(dir);
  for (int n = 0; n < 256; ++n) {
    const std::string number = std::to_string(n);
    const bool map = names.find("map" + number + ".mul") || names.find(facetNames(n).mapUop);
    if (map && names.find("staidx" + number + ".mul") && names.find("statics" + number + ".mul"))
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

// The streams of a directory's files, opened for reading or for writing as a tool needs them. A
// container (a map's, the art's) is read into memory as the files it stands for; once the tool is
// done, commit() writes every chunk or slot it changed back into the container, replaced whole,
// every other entry kept as it was stored.
struct OpenedFiles {
  std::vector<std::unique_ptr<WorldStream>> held;
  PatchStreams streams;
  std::vector<std::function<void()>> commits;

  WorldStream* open(const std::string& path, bool write) {
    if (isUopPath(path)) return openMapContainer(path, write);
    held.push_back(write ? WorldStream::openFile(path) : WorldStream::openForReading(path));
    return held.back().get();
  }

  WorldStream* openMapContainer(const std::string& path, bool write) {
    auto uop = std::make_shared<const UopContainer>(UopContainer::read(path));
    int number = 0;
    Bytes original = mapFileOfContainer(*uop, path, &number);
    held.push_back(WorldStream::memory(original));
    WorldStream* map = held.back().get();
    if (!write) return map;
    commits.push_back([uop, path, number, map, original = std::move(original)] {
      UopContainer out = *uop;
      const std::span<const std::uint8_t> now = map->view();
      bool changed = false;
      for (std::size_t at = 0, k = 0; at < now.size(); at += kUopMapChunk, ++k) {
        const std::size_t n = std::min(kUopMapChunk, now.size() - at);
        if (at + n <= original.size() &&
            std::equal(now.begin() + static_cast<std::ptrdiff_t>(at),
                       now.begin() + static_cast<std::ptrdiff_t>(at + n),
                       original.begin() + static_cast<std::ptrdiff_t>(at)))
          continue;
        out.setPayload(uopHash(uopEntryName(UopFamily::Map, static_cast<std::uint32_t>(k),
                                            static_cast<std::uint32_t>(number))),
                       now.subspan(at, n));
        changed = true;
      }
      if (changed) out.save(path);
    });
    return map;
  }

  // The art pair, or the art container read as that pair.
  void openArt(const PatchDirectory& dir, bool write) {
    const std::string index = dir.artIndexPath();
    if (!isUopPath(index)) {
      streams.artIndex = open(index, write);
      streams.artData = open(dir.artDataPath(), write);
      return;
    }
    auto art = std::make_shared<IndexedFile>();
    art->loadUop(index, uopForm(UopFamily::Art));
    const std::int64_t count = art->recordCount();
    const std::vector<IndexRecord> before = art->records(0, count);
    Bytes records(static_cast<std::size_t>(count) * kIndexRecordSize);
    for (std::size_t n = 0; n < before.size(); ++n)
      putIndex(records.data() + n * kIndexRecordSize, before[n]);
    held.push_back(WorldStream::memory(std::move(records)));
    WorldStream* indexStream = held.back().get();
    held.push_back(
        WorldStream::memory(art->readDataAt(0, static_cast<std::size_t>(art->dataSize()))));
    WorldStream* dataStream = held.back().get();
    streams.artIndex = indexStream;
    streams.artData = dataStream;
    if (!write) return;
    commits.push_back([art, index, before, indexStream, dataStream] {
      const std::span<const std::uint8_t> now = indexStream->view();
      bool changed = false;
      for (std::size_t n = 0; n * kIndexRecordSize + kIndexRecordSize <= now.size(); ++n) {
        const IndexRecord r = indexAt(now.data() + n * kIndexRecordSize);
        const IndexRecord was = n < before.size() ? before[n] : IndexRecord{-1, -1, -1};
        if (r == was) continue;
        const auto slot = static_cast<std::int64_t>(n);
        if (r.isEmpty()) {
          art->deleteSlot(slot);
        } else {
          Bytes bytes(static_cast<std::size_t>(r.length));
          dataStream->read(static_cast<std::uint32_t>(r.lookup), bytes.data(), bytes.size());
          art->writeSlot(slot, bytes, r.extra);
        }
        changed = true;
      }
      if (changed) art->saveUop(index, uopForm(UopFamily::Art));
    });
  }

  void commit() {
    for (const auto& c : commits) c();
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
  if (what.statics && what.art) files.openArt(from, false);
  // Written as it is made; the old patch stays until the new one is whole.
  AtomicFile file(patchPath);
  PatchOut sink([&](std::span<const std::uint8_t> piece) { file.write(piece); });
  const CreatedPatch patch = makePatch(s, width, height, region, what, progress, sink);
  file.commit();
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
  checkWorldSize(width, height);
  // Which files the patch needs: the records say (a damaged patch is refused here, before any
  // file is opened).
  PatchPlan plan = planPatch(patch, patchPath, width, height, x1, y1);
  const bool needMap = plan.map, needStatics = plan.statics, needArt = plan.art,
             needTextures = plan.textures;
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
  if (needArt) files.openArt(to, true);
  if (needTextures) {
    s.textureIndex = files.open(to.textureIndexPath(), true);
    s.textureData = files.open(to.textureDataPath(), true);
  }
  // The backup is written as it is made and is whole on disk before a game file changes.
  std::optional<AtomicFile> backupFile;
  std::optional<PatchOut> undo;
  if (backupPath) {
    backupFile.emplace(*backupPath);
    undo.emplace([&](std::span<const std::uint8_t> piece) { backupFile->write(piece); });
  }
  const AppliedPatch applied = applyRecords(
      patch, patchPath, std::move(plan), s, width, height, x1, y1, undo ? &*undo : nullptr,
      [&] {
        if (backupFile) backupFile->commit();
      },
      progress);
  files.commit();
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
  files.commit();
  return skippedCellsMessage(skipped, width, height);
}

}  // namespace quillotide
