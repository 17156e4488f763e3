#include "world/WorldTools.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/IndexedFile.h"
#include "app/Text.h"
#include "world/Item.h"
#include "world/Map.h"
#include "models/Radarcol.h"
#include "world/Statics.h"
#include "world/WorldBlocks.h"

namespace quillotide {

namespace {

IndexRecord indexAt(const std::uint8_t* p) {
  return {static_cast<std::int32_t>(loadU32(p)), static_cast<std::int32_t>(loadU32(p + 4)),
          static_cast<std::int32_t>(loadU32(p + 8))};
}

void putIndex(Bytes& out, const IndexRecord& r) {
  std::uint8_t raw[kIndexRecordSize];
  storeU32(raw, static_cast<std::uint32_t>(r.lookup));
  storeU32(raw + 4, static_cast<std::uint32_t>(r.length));
  storeU32(raw + 8, static_cast<std::uint32_t>(r.extra));
  out.insert(out.end(), raw, raw + kIndexRecordSize);
}

std::size_t cellOffset(int x, int y) {
  return MapLayout::kHeaderSize +
         MapLayout::kCellSize * static_cast<std::size_t>((y % 8) * 8 + (x % 8));
}

// The bytes of the whole static records of a block that lie inside the data; damaged records
// give what lies inside the file, as the statics model reads them.
std::span<const std::uint8_t> blockBytes(std::span<const std::uint8_t> data, const IndexRecord& r) {
  if (r.lookup < 0 || r.length <= 0) return {};
  const auto start = static_cast<std::uint64_t>(r.lookup);
  if (start >= data.size()) return {};
  std::uint64_t length =
      std::min<std::uint64_t>(static_cast<std::uint64_t>(r.length), data.size() - start);
  length -= length % StaticsLayout::kRecordSize;
  return data.subspan(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
}

void checkDataOffset(std::uint64_t end, const std::string& path) {
  if (end > 0x7FFFFFFF) throw Error("The statics data file " + path + " would grow past 2 GB.");
}

}  // namespace

MapCopyResult copyMapRegion(const WorldStream& source, WorldStream& target, const MapCopyRequest& q,
                            Progress& progress) {
  checkWorldSize(q.sourceWidth, q.sourceHeight);
  checkWorldSize(q.targetWidth, q.targetHeight);
  MapCopyResult result;
  const CellRegion& region = q.region;
  const CellRegion in{std::max(region.minX, 0), std::min(region.maxX, q.sourceWidth - 1),
                      std::max(region.minY, 0), std::min(region.maxY, q.sourceHeight - 1)};
  const bool any = in.minX <= in.maxX && in.minY <= in.maxY;
  result.skipped = region.cells() - (any ? in.cells() : 0);
  if (!any) return result;
  // The target cells of the source cells inside their world, clipped to the target world.
  const auto tx = [&](int x) { return static_cast<std::int64_t>(q.targetX) + x - region.minX; };
  const auto ty = [&](int y) { return static_cast<std::int64_t>(q.targetY) + y - region.minY; };
  const std::int64_t txa = std::max<std::int64_t>(tx(in.minX), 0);
  const std::int64_t txb = std::min<std::int64_t>(tx(in.maxX), q.targetWidth - 1);
  const std::int64_t tya = std::max<std::int64_t>(ty(in.minY), 0);
  const std::int64_t tyb = std::min<std::int64_t>(ty(in.maxY), q.targetHeight - 1);
  const WorldBlocks from(source, MapLayout::kBlockSize,
                         regionBlocks(in.minX, in.maxX, in.minY, in.maxY, q.sourceHeight));
  std::optional<WorldBlocks> into;
  if (txa <= txb && tya <= tyb)
    into.emplace(target, MapLayout::kBlockSize,
                 regionBlocks(static_cast<int>(txa), static_cast<int>(txb), static_cast<int>(tya),
                              static_cast<int>(tyb), q.targetHeight));
  const std::int64_t sourceRows = q.sourceHeight / 8;
  const std::int64_t targetRows = q.targetHeight / 8;
  ProgressSteps steps(progress, in.maxX - in.minX + 1);
  // Eight cells in a row share their blocks: each block is looked up once per run of them.
  std::int64_t lastSource = -1, lastTarget = -1;
  const std::uint8_t* sourceBlock = nullptr;
  std::uint8_t* targetBlock = nullptr;
  for (int x = in.minX; x <= in.maxX; ++x) {
    steps.at(x - in.minX);
    for (int y = in.minY; y <= in.maxY; ++y) {
      const std::int64_t sb = (x / 8) * sourceRows + y / 8;
      if (sb != lastSource) {
        lastSource = sb;
        sourceBlock = from.has(sb) ? from.at(sb) : nullptr;
      }
      if (!sourceBlock) {
        ++result.skipped;
        continue;
      }
      const std::uint8_t* cell = sourceBlock + cellOffset(x, y);
      if (loadU16(cell) == q.ignoreId) continue;
      const std::int64_t cx = tx(x);
      const std::int64_t cy = ty(y);
      if (cx < 0 || cy < 0 || cx >= q.targetWidth || cy >= q.targetHeight || !into) {
        ++result.skipped;
        continue;
      }
      const std::int64_t tb = (cx / 8) * targetRows + cy / 8;
      if (tb != lastTarget) {
        lastTarget = tb;
        targetBlock = into->has(tb) ? into->at(tb) : nullptr;
        if (targetBlock) into->markChanged(tb);
      }
      if (!targetBlock) {
        ++result.skipped;
        continue;
      }
      std::uint8_t* out = targetBlock + cellOffset(static_cast<int>(cx), static_cast<int>(cy));
      out[0] = cell[0];
      out[1] = cell[1];
      out[2] = cell[2];
      ++result.copied;
    }
  }
  steps.at(in.maxX - in.minX + 1);
  if (into) into->writeChanged(target);
  return result;
}

std::optional<std::string> copyMapFile(const std::string& from, const std::string& to,
                                       const MapCopyRequest& request, Progress& progress) {
  if (sameTarget(from, to)) throw Error("MapCopy cannot copy " + from + " onto itself.");
  checkWorldSize(request.targetWidth, request.targetHeight);
  const auto source = WorldStream::openForReading(from);
  MapCopyResult result;
  if (fileExists(to)) {
    const auto target = WorldStream::openFile(to);
    result = copyMapRegion(*source, *target, request, progress);
  } else {
    const std::uint64_t size = static_cast<std::uint64_t>(request.targetWidth / 8) *
                               static_cast<std::uint64_t>(request.targetHeight / 8) *
                               MapLayout::kBlockSize;
    auto target = WorldStream::memory(Bytes(static_cast<std::size_t>(size), 0));
    result = copyMapRegion(*source, *target, request, progress);
    writeFileAtomic(to, target->bytes());
  }
  return skippedCellsMessage(result.skipped, request.targetWidth, request.targetHeight);
}

void deleteStaticsFiles(const std::string& indexPath, const std::string& dataPath,
                        Progress& progress) {
  if (sameTarget(indexPath, dataPath))
    throw Error("StaticIdx and StaticMul name the same file " + indexPath + ".");
  const std::uint64_t size = fileSize(indexPath);
  const std::uint64_t n = (size + kIndexRecordSize - 1) / kIndexRecordSize;
  ProgressSteps steps(progress, static_cast<long long>(n));
  Bytes index;
  index.reserve(static_cast<std::size_t>(n * kIndexRecordSize));
  for (std::uint64_t k = 0; k < n; ++k) putIndex(index, {-1, -1, 0});
  AtomicFile newIndex(indexPath);
  AtomicFile newData(dataPath);
  newIndex.write(index);
  steps.at(static_cast<long long>(n));
  commitAll({&newIndex, &newData});
}

std::string mergeStaticsFiles(const std::string& index1, const std::string& data1,
                              const std::string& index2, const std::string& data2,
                              const std::string& targetIndex, const std::string& targetData,
                              Progress& progress) {
  const std::array<const std::string*, 4> sources{&index1, &data1, &index2, &data2};
  for (const std::string* s : sources)
    if (s->empty() || !fileExists(*s))
      throw Error("Merge Statics: the source file " + *s + " does not exist.");
  for (const std::string* target : {&targetIndex, &targetData})
    for (const std::string* s : sources)
      if (sameTarget(*target, *s))
        throw Error("Merge Statics: the target " + *target + " is one of its sources.");
  const Bytes idx1 = readFile(index1);
  const Bytes mul1 = readFile(data1);
  const Bytes idx2 = readFile(index2);
  const Bytes mul2 = readFile(data2);
  const std::uint64_t n = std::max(idx1.size(), idx2.size()) / kIndexRecordSize;
  Bytes outIndex;
  outIndex.reserve(static_cast<std::size_t>(n * kIndexRecordSize));
  Bytes outData;
  outData.reserve(mul1.size() + mul2.size());
  const auto copyBlock = [&](const Bytes& idx, const Bytes& mul, std::uint64_t b) {
    if ((b + 1) * kIndexRecordSize > idx.size()) return;
    const IndexRecord r = indexAt(idx.data() + b * kIndexRecordSize);
    if (r.lookup == -1 || r.length == -1) return;
    const auto bytes = blockBytes(mul, r);
    outData.insert(outData.end(), bytes.begin(), bytes.end());
  };
  ProgressSteps steps(progress, static_cast<long long>(n));
  for (std::uint64_t b = 0; b < n; ++b) {
    if ((b & 1023) == 0) steps.at(static_cast<long long>(b));
    const std::uint64_t start = outData.size();
    copyBlock(idx1, mul1, b);
    copyBlock(idx2, mul2, b);
    checkDataOffset(outData.size(), targetData);
    if (outData.size() == start)
      putIndex(outIndex, {-1, -1, 0});
    else
      putIndex(outIndex, {static_cast<std::int32_t>(start),
                          static_cast<std::int32_t>(outData.size() - start), 0});
  }
  steps.at(static_cast<long long>(n));
  AtomicFile newIndex(targetIndex);
  AtomicFile newData(targetData);
  newIndex.write(outIndex);
  newData.write(outData);
  commitAll({&newIndex, &newData});
  return "Merging done.";
}

Bitmap32 worldRadarMap(const WorldStream& map, const WorldStream& staticsIndex,
                       const WorldStream& staticsData, int width, int height,
                       const TRadarcol& radarcol, Pixel background,
                       const std::function<void(int percent)>& percent) {
  checkWorldSize(width, height);
  Bitmap32 picture(width, height, background);
  // Every colour a cell can take, looked up once.
  std::vector<Pixel> land(0x10000), statics(0x10000);
  for (std::size_t id = 0; id < 0x10000; ++id) {
    land[id] = colour16ToPixel(radarcol.landColour(static_cast<std::int64_t>(id)));
    statics[id] = colour16ToPixel(radarcol.staticColour(static_cast<std::int64_t>(id)));
  }
  Bytes data(static_cast<std::size_t>(staticsData.size()));
  staticsData.read(0, data.data(), data.size());
  ChunkReader mapReader(map, std::size_t{4} << 20);
  ChunkReader indexReader(staticsIndex);
  const std::int64_t rows = height / 8;
  const std::int64_t total = static_cast<std::int64_t>(width / 8) * rows;
  const std::uint64_t mapBlocks = map.size() / MapLayout::kBlockSize;
  const std::uint64_t indexRecords = staticsIndex.size() / kIndexRecordSize;
  int shown = -1;
  std::array<std::int8_t, 64> heights{};
  for (std::int64_t b = 0; b < total && static_cast<std::uint64_t>(b) < mapBlocks; ++b) {
    const int p =
        static_cast<int>(std::lround(static_cast<double>(b) * 100.0 / static_cast<double>(total)));
    if (p != shown && percent) percent(shown = p);
    const int x0 = static_cast<int>(b / rows) * 8;
    const int y0 = static_cast<int>(b % rows) * 8;
    const auto block =
        mapReader.at(static_cast<std::uint64_t>(b) * MapLayout::kBlockSize, MapLayout::kBlockSize);
    for (int c = 0; c < MapLayout::kCellsPerBlock; ++c) {
      const std::uint8_t* cell = block.data() + MapLayout::kHeaderSize +
                                 MapLayout::kCellSize * static_cast<std::size_t>(c);
      heights[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(cell[2]);
      picture.at(x0 + c % 8, y0 + c / 8) = land[loadU16(cell)];
    }
    if (static_cast<std::uint64_t>(b) >= indexRecords) continue;
    const IndexRecord r = indexAt(
        indexReader.at(static_cast<std::uint64_t>(b) * kIndexRecordSize, kIndexRecordSize).data());
    if (r.lookup == -1) continue;
    const auto bytes = blockBytes(data, r);
    for (std::size_t k = 0; k < bytes.size(); k += StaticsLayout::kRecordSize) {
      const std::uint8_t* s = bytes.data() + k;
      if (s[2] > 7 || s[3] > 7) continue;
      const std::size_t c = static_cast<std::size_t>(s[3]) * 8 + s[2];
      const auto z = static_cast<std::int8_t>(s[4]);
      if (z <= heights[c]) continue;
      heights[c] = z;
      picture.at(x0 + s[2], y0 + s[3]) = statics[loadU16(s)];
    }
  }
  if (percent) percent(100);
  return picture;
}

StaticsRepair repairStatics(WorldStream& index, WorldStream& data, int height,
                            const std::function<int(int x, int y)>& altitude, Progress& progress) {
  if (height < 8) throw Error(kWorldSizeMessage);
  const std::int64_t rows = height / 8;
  Bytes idx(static_cast<std::size_t>(index.size()));
  index.read(0, idx.data(), idx.size());
  Bytes mul(static_cast<std::size_t>(data.size()));
  data.read(0, mul.data(), mul.size());
  const std::uint64_t n = idx.size() / kIndexRecordSize;
  StaticsRepair result;
  Bytes appended;
  std::uint64_t firstChanged = UINT64_MAX;
  std::vector<StaticRecord> list;
  ProgressSteps steps(progress, static_cast<long long>(n));
  for (std::uint64_t b = 0; b < n; ++b) {
    if ((b & 1023) == 0) steps.at(static_cast<long long>(b));
    std::uint8_t* raw = idx.data() + b * kIndexRecordSize;
    const IndexRecord r = indexAt(raw);
    if (r.lookup == -1 || r.length <= 0) continue;
    const int x0 = static_cast<int>(static_cast<std::int64_t>(b) / rows) * 8;
    const int y0 = static_cast<int>(static_cast<std::int64_t>(b) % rows) * 8;
    list.clear();
    bool changed = false;
    for (const StaticRecord& s : decodeStaticRecords(blockBytes(mul, r))) {
      if (s.id >= 0x39E7 && s.id <= 0x39EE) {
        ++result.dropped;
        changed = true;
        continue;
      }
      list.push_back(s);
      const bool step = s.id == 0xCF3 || s.id == 0xCF4 || s.id == 0xCF6 || s.id == 0xCF7;
      if (step && altitude(x0 + s.x, y0 + s.y) < s.z) {
        list.push_back({0x28C1, s.x, s.y, s.z, 0});
        ++result.added;
        changed = true;
      }
    }
    if (!changed) continue;
    ++result.blocks;
    firstChanged = std::min<std::uint64_t>(firstChanged, b * kIndexRecordSize);
    Bytes record;
    if (list.empty()) {
      putIndex(record, {-1, -1, 0});
    } else {
      const std::uint64_t lookup = mul.size() + appended.size();
      for (const StaticRecord& s : list) appendStaticRecord(appended, s);
      checkDataOffset(mul.size() + appended.size(), data.path());
      putIndex(record,
               {static_cast<std::int32_t>(lookup),
                static_cast<std::int32_t>(list.size() * StaticsLayout::kRecordSize), r.extra});
    }
    std::copy(record.begin(), record.end(), raw);
  }
  steps.at(static_cast<long long>(n));
  if (result.blocks == 0) return result;
  data.write(data.size(), appended);
  index.write(firstChanged,
              std::span<const std::uint8_t>(idx).subspan(static_cast<std::size_t>(firstChanged)));
  return result;
}

}  // namespace quillotide
