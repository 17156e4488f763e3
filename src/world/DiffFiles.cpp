#include "world/DiffFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <span>

#include "app/Bytes.h"
#include "app/Error.h"
#include "app/Facet.h"
#include "app/FileIO.h"
#include "app/FileNames.h"
#include "app/IndexedFile.h"
#include "app/Text.h"
#include "app/Uop.h"
#include "app/UopPair.h"
#include "world/Map.h"
#include "world/StaticDiff.h"

namespace quillotide {

using MapDiffLayout::kBlockSize;
using MapDiffLayout::kHeaderSize;

namespace {

constexpr std::size_t kIndexSize = 12;
constexpr std::size_t kRecordSize = 7;
constexpr std::size_t kNumberSize = 4;
// Statics offsets are 32-bit lookups.
constexpr std::uint64_t kMaxData = 0x7FFFFFFF;
// Pieces in which a file is copied through.
constexpr std::size_t kCopyPiece = std::size_t{1} << 20;
// Skipped entries named one by one before the rest are only counted.
constexpr std::size_t kNamedSkips = 8;

std::string decimal(std::int64_t v) { return std::to_string(v); }
std::string decimal(std::size_t v) { return std::to_string(v); }

// An input read front to back in large pieces.
class SequentialFile {
public:
  explicit SequentialFile(const std::string& path) : m_path(path) {
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) throwCannotOpen(path, errno);
    m_size = fileSize(path);
    m_buffer.resize(kWindow);
  }
  ~SequentialFile() {
    if (m_fd >= 0) ::close(m_fd);
  }
  SequentialFile(const SequentialFile&) = delete;
  SequentialFile& operator=(const SequentialFile&) = delete;

  std::uint64_t size() const { return m_size; }
  // The next n bytes (fewer at the end of the file), valid until the next call.
  std::span<const std::uint8_t> next(std::size_t n) {
    if (m_end - m_pos < n) refill();
    const std::size_t got = std::min(n, m_end - m_pos);
    const std::span<const std::uint8_t> out(m_buffer.data() + m_pos, got);
    m_pos += got;
    return out;
  }

private:
  static constexpr std::size_t kWindow = std::size_t{4} << 20;
  void refill() {
    std::memmove(m_buffer.data(), m_buffer.data() + m_pos, m_end - m_pos);
    m_end -= m_pos;
    m_pos = 0;
    while (m_end < m_buffer.size()) {
      const ssize_t r = ::read(m_fd, m_buffer.data() + m_end, m_buffer.size() - m_end);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0)
        throw FileError(formatMessage("Cannot open file %s", {m_path}) + ": " +
                        std::strerror(errno));
      if (r == 0) break;
      m_end += static_cast<std::size_t>(r);
    }
  }
  std::string m_path;
  int m_fd = -1;
  std::uint64_t m_size = 0;
  Bytes m_buffer;
  std::size_t m_pos = 0;
  std::size_t m_end = 0;
};

// The blocks of a map read front to back: a map file streamed, or the map file a container holds
// (its chunks inflated and joined in memory, as the world editor reads it), so that a diff taken
// from a container compares the blocks and not the container's bytes.
class MapBlocks {
public:
  explicit MapBlocks(const std::string& path) {
    if (isUopFile(path))
      m_held = mapFileOfContainer(UopContainer::read(path), path, nullptr);
    else
      m_file.emplace(path);
  }
  std::uint64_t size() const { return m_file ? m_file->size() : m_held.size(); }
  // The next n bytes (fewer at the end of the map), valid until the next call.
  std::span<const std::uint8_t> next(std::size_t n) {
    if (m_file) return m_file->next(n);
    const std::size_t got = std::min(n, m_held.size() - m_pos);
    const std::span<const std::uint8_t> out(m_held.data() + m_pos, got);
    m_pos += got;
    return out;
  }

private:
  std::optional<SequentialFile> m_file;
  Bytes m_held;
  std::size_t m_pos = 0;
};

// An input read at chosen offsets through a large window: the statics a well-kept index names lie
// in file order, so the reads stay sequential and no input is held whole.
class WindowReader {
public:
  explicit WindowReader(const std::string& path) : m_path(path) {
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) throwCannotOpen(path, errno);
    m_size = fileSize(path);
  }
  ~WindowReader() {
    if (m_fd >= 0) ::close(m_fd);
  }
  WindowReader(const WindowReader&) = delete;
  WindowReader& operator=(const WindowReader&) = delete;

  std::uint64_t size() const { return m_size; }
  // The n bytes at offset, which the caller has checked lie inside the file; valid until the
  // next call.
  std::span<const std::uint8_t> at(std::uint64_t offset, std::size_t n) {
    if (n == 0) return {};
    if (offset < m_start || offset + n > m_start + m_buffer.size()) load(offset, n);
    return {m_buffer.data() + (offset - m_start), n};
  }

private:
  static constexpr std::size_t kWindow = std::size_t{4} << 20;
  void load(std::uint64_t offset, std::size_t n) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(std::max(n, kWindow), m_size - offset));
    m_buffer.resize(want);
    std::size_t done = 0;
    while (done < want) {
      const ssize_t r =
          ::pread(m_fd, m_buffer.data() + done, want - done, static_cast<off_t>(offset + done));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0)
        throw FileError(formatMessage("Cannot open file %s", {m_path}) + ": " +
                        (r < 0 ? std::strerror(errno) : "the file became shorter"));
      done += static_cast<std::size_t>(r);
    }
    m_start = offset;
  }
  std::string m_path;
  int m_fd = -1;
  std::uint64_t m_size = 0;
  Bytes m_buffer;
  std::uint64_t m_start = 0;
};

void writeI32(AtomicFile& file, std::int32_t v) {
  std::uint8_t b[4];
  storeU32(b, static_cast<std::uint32_t>(v));
  file.write(b);
}

void writeRecord(AtomicFile& file, const IndexRecord& r) {
  std::uint8_t b[kIndexSize];
  storeU32(b, static_cast<std::uint32_t>(r.lookup));
  storeU32(b + 4, static_cast<std::uint32_t>(r.length));
  storeU32(b + 8, static_cast<std::uint32_t>(r.extra));
  file.write(b);
}

IndexRecord recordAt(WindowReader& index, std::uint64_t i) {
  if ((i + 1) * kIndexSize > index.size()) return {};
  const std::uint8_t* p = index.at(i * kIndexSize, kIndexSize).data();
  return {static_cast<std::int32_t>(loadU32(p)), static_cast<std::int32_t>(loadU32(p + 4)),
          static_cast<std::int32_t>(loadU32(p + 8))};
}

// The record at slot i, or an empty one beyond the end of the index.
IndexRecord recordAt(const Bytes& index, std::uint64_t i) {
  if ((i + 1) * kIndexSize > index.size()) return {};
  const std::uint8_t* p = index.data() + i * kIndexSize;
  return {static_cast<std::int32_t>(loadU32(p)), static_cast<std::int32_t>(loadU32(p + 4)),
          static_cast<std::int32_t>(loadU32(p + 8))};
}

bool emptyBlock(const IndexRecord& r) { return r.lookup == -1 || r.length == -1 || r.length == 0; }

// The statics a record names: empty for an empty block, nothing when they lie outside the data.
std::optional<std::span<const std::uint8_t>> blockBytes(WindowReader& data, const IndexRecord& r) {
  if (emptyBlock(r)) return std::span<const std::uint8_t>();
  if (r.lookup < 0 || r.length < 0) return std::nullopt;
  const auto start = static_cast<std::uint64_t>(r.lookup);
  const auto length = static_cast<std::uint64_t>(r.length);
  if (start > data.size() || length > data.size() - start) return std::nullopt;
  return data.at(start, static_cast<std::size_t>(length));
}

// An empty block keeps its length (-1 or 0) as it was stored.
std::int32_t storedLength(const IndexRecord& r) {
  return emptyBlock(r) ? (r.length == 0 ? 0 : -1) : r.length;
}

// Refuses an output that would replace one of the inputs.
void requireNewOutputs(const std::vector<std::string>& inputs,
                       const std::vector<std::string>& outputs) {
  for (const std::string& out : outputs)
    for (const std::string& in : inputs)
      if (sameTarget(out, in))
        throw Error(formatMessage("The diff file %s is one of the input files %s; choose another.",
                                  {out, in}));
}

void requireWholeMap(const MapBlocks& map, const std::string& path, const DiffWorld& world,
                     std::vector<std::string>& problems) {
  const std::uint64_t blocks = map.size() / kBlockSize;
  const auto need = static_cast<std::uint64_t>(world.blockCount());
  if (blocks < need)
    throw Error(
        formatMessage("The map %s holds %d blocks, fewer than the %d blocks of a %d x %d world.",
                      {path, decimal(static_cast<std::int64_t>(blocks)),
                       decimal(world.blockCount()), decimal(static_cast<std::int64_t>(world.width)),
                       decimal(static_cast<std::int64_t>(world.height))}));
  if (map.size() > need * kBlockSize)
    problems.push_back(formatMessage(
        "The map %s is longer than a %d x %d world; the bytes after its %d blocks are left out.",
        {path, decimal(static_cast<std::int64_t>(world.width)),
         decimal(static_cast<std::int64_t>(world.height)), decimal(world.blockCount())}));
}

// Counts and names the entries of one kind of damage for the final problems.
class Skips {
public:
  explicit Skips(std::string what) : m_what(std::move(what)) {}
  void add(std::size_t entry, std::int64_t block) {
    if (m_count++ < kNamedSkips)
      m_named += (m_named.empty() ? "" : ", ") + decimal(entry) + " (block " + decimal(block) + ")";
  }
  void report(std::vector<std::string>& problems) const {
    if (m_count == 0) return;
    std::string text = decimal(m_count) + " " + m_what + "; skipped: entries " + m_named;
    if (m_count > kNamedSkips) text += " and " + decimal(m_count - kNamedSkips) + " more";
    problems.push_back(text + ".");
  }

private:
  std::string m_what;
  std::size_t m_count = 0;
  std::string m_named;
};

// The whole entries of a block list; a cut entry is left out and said.
std::vector<std::int32_t> blockNumbers(const Bytes& list, const std::string& path,
                                       std::vector<std::string>& problems) {
  if (list.size() % kNumberSize != 0)
    problems.push_back(formatMessage(
        "%s: %d bytes is not a whole number of 4-byte block numbers; the last %d bytes are left "
        "out.",
        {path, decimal(list.size()), decimal(list.size() % kNumberSize)}));
  std::vector<std::int32_t> out(list.size() / kNumberSize);
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<std::int32_t>(loadU32(list.data() + i * kNumberSize));
  return out;
}

void countsDisagree(std::size_t entries, std::size_t records, const std::string& recordsWhat,
                    std::vector<std::string>& problems) {
  if (entries != records)
    problems.push_back(formatMessage(
        "The diff's block list names %d blocks but %s holds %d; the entries without one are "
        "skipped.",
        {decimal(entries), recordsWhat, decimal(records)}));
}

std::string worldText(const DiffWorld& world) {
  return decimal(static_cast<std::int64_t>(world.width)) + " x " +
         decimal(static_cast<std::int64_t>(world.height));
}

std::string mapMessage(std::size_t n) {
  return formatMessage("%d Mapblocks patched.", {decimal(n)});
}
std::string staticMessage(std::size_t n) {
  return formatMessage("%d Staticblocks patched.", {decimal(n)});
}

// The cells of a map block, without its header.
std::span<const std::uint8_t> cells(std::span<const std::uint8_t> block) {
  return block.subspan(kHeaderSize);
}

bool onlyPlainTiles(std::span<const std::uint8_t> block) {
  for (std::size_t c = 0; c < 64; ++c) {
    const std::uint16_t id = loadU16(block.data() + kHeaderSize + 3 * c);
    if (id != MapDiffLayout::kPlainTileA && id != MapDiffLayout::kPlainTileB) return false;
  }
  return true;
}

// Walks the map blocks and writes those `keep` chooses into a map diff.
template <typename Keep>
DiffResult writeMapDiff(MapBlocks& changed, MapBlocks* orig, const MapDiffPaths& out,
                        const DiffWorld& world, Progress& progress,
                        std::vector<std::string> problems, Keep&& keep) {
  AtomicFile list(out.blockList);
  AtomicFile data(out.data);
  const std::int64_t n = world.blockCount();
  std::size_t count = 0;
  {
    ProgressSteps steps(progress, n);
    for (std::int64_t i = 0; i < n; ++i) {
      if ((i & 1023) == 0) steps.at(i);
      const auto block = changed.next(kBlockSize);
      const auto before = orig ? orig->next(kBlockSize) : std::span<const std::uint8_t>();
      if (!keep(block, before)) continue;
      writeI32(list, static_cast<std::int32_t>(i));
      data.write(block);
      ++count;
    }
  }
  commitAll({&list, &data});
  return {count, mapMessage(count), std::move(problems)};
}

// Walks the statics blocks and writes those `keep` chooses into a static diff.
template <typename Keep>
DiffResult writeStaticDiff(WindowReader& index, WindowReader& data, WindowReader* origIndex,
                           WindowReader* origData, const StaticDiffPaths& out,
                           const DiffWorld& world, Progress& progress, Keep&& keep) {
  AtomicFile listFile(out.blockList);
  AtomicFile indexFile(out.index);
  AtomicFile dataFile(out.data);
  std::vector<std::string> problems;
  Skips damaged("blocks of the changed statics point outside their data file");
  const std::int64_t n = world.blockCount();
  std::size_t count = 0;
  std::uint64_t written = 0;
  {
    ProgressSteps steps(progress, n);
    for (std::int64_t i = 0; i < n; ++i) {
      if ((i & 1023) == 0) steps.at(i);
      const IndexRecord c = recordAt(index, static_cast<std::uint64_t>(i));
      const auto bytes = blockBytes(data, c);
      if (!bytes) {
        damaged.add(static_cast<std::size_t>(i), i);
        continue;
      }
      if (origIndex) {
        const IndexRecord o = recordAt(*origIndex, static_cast<std::uint64_t>(i));
        if (!keep(o, blockBytes(*origData, o), c, *bytes)) continue;
      }
      if (written + bytes->size() > kMaxData)
        throw Error("The static diff data " + out.data + " would grow past 2 GB.");
      writeI32(listFile, static_cast<std::int32_t>(i));
      writeRecord(indexFile, {static_cast<std::int32_t>(written), storedLength(c), c.extra});
      dataFile.write(*bytes);
      written += bytes->size();
      ++count;
    }
  }
  damaged.report(problems);
  commitAll({&listFile, &indexFile, &dataFile});
  return {count, staticMessage(count), std::move(problems)};
}

}  // namespace

MapDiffPaths MapDiffPaths::in(const std::string& directory, int facet) {
  checkFacet(facet);
  const FacetNames names = facetNames(facet);
  return {pathWithoutCase(directory, names.mapDiffList), pathWithoutCase(directory, names.mapDiff)};
}

StaticDiffPaths StaticDiffPaths::in(const std::string& directory, int facet) {
  checkFacet(facet);
  const FacetNames names = facetNames(facet);
  return {pathWithoutCase(directory, names.staticDiffList),
          pathWithoutCase(directory, names.staticDiffIndex),
          pathWithoutCase(directory, names.staticDiff)};
}

std::string DiffResult::text() const {
  std::string text = message;
  for (const std::string& p : problems) text += "\n" + p;
  return text;
}

DiffResult createMapDiff(const std::string& origMap, const std::string& changedMap,
                         const MapDiffPaths& out, const DiffWorld& world, Progress& progress) {
  requireNewOutputs({origMap, changedMap}, {out.blockList, out.data});
  MapBlocks orig(origMap);
  MapBlocks changed(changedMap);
  std::vector<std::string> problems;
  requireWholeMap(orig, origMap, world, problems);
  requireWholeMap(changed, changedMap, world, problems);
  return writeMapDiff(changed, &orig, out, world, progress, std::move(problems),
                      [](std::span<const std::uint8_t> now, std::span<const std::uint8_t> was) {
                        const auto a = cells(now);
                        return std::memcmp(a.data(), cells(was).data(), a.size()) != 0;
                      });
}

DiffResult copyMapToDiff(const std::string& changedMap, const MapDiffPaths& out,
                         const DiffWorld& world, Progress& progress) {
  requireNewOutputs({changedMap}, {out.blockList, out.data});
  MapBlocks changed(changedMap);
  std::vector<std::string> problems;
  requireWholeMap(changed, changedMap, world, problems);
  return writeMapDiff(changed, nullptr, out, world, progress, std::move(problems),
                      [](std::span<const std::uint8_t> now, std::span<const std::uint8_t>) {
                        return !onlyPlainTiles(now);
                      });
}

DiffResult applyMapDiff(const std::string& map, const MapDiffPaths& diff, const DiffWorld& world,
                        Progress& progress) {
  requireNewOutputs({diff.blockList, diff.data}, {map});
  // A container's bytes are not its map's blocks: block b of the map lies inside some chunk's
  // entry (maybe compressed), and written at b x 196 it would land on tables and other entries.
  if (fileExists(map) && isUopFile(map))
    throw Error(formatMessage(
        "%s is a UOP container: a map diff is written into the blocks of a map file. Unpack the "
        "container to a map file first (uop unpack), apply the diff to that and pack it again "
        "(uop pack map). Nothing was written.",
        {map}));
  std::vector<std::string> problems;
  const std::vector<std::int32_t> entries =
      blockNumbers(readFile(diff.blockList), diff.blockList, problems);
  const Bytes blocks = readFile(diff.data);
  Bytes target = readFile(map);
  const std::size_t records = blocks.size() / kBlockSize;
  if (blocks.size() % kBlockSize != 0)
    problems.push_back(formatMessage(
        "%s: %d bytes is not a whole number of 196-byte blocks; the last %d bytes are left out.",
        {diff.data, decimal(blocks.size()), decimal(blocks.size() % kBlockSize)}));
  countsDisagree(entries.size(), records, diff.data, problems);
  const std::uint64_t mapBlocks = target.size() / kBlockSize;
  Skips noData("entries have no block in " + diff.data);
  Skips outside("entries name blocks outside the " + worldText(world) + " world or the map");
  std::size_t patched = 0;
  {
    ProgressSteps steps(progress, static_cast<long long>(entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if ((i & 1023) == 0) steps.at(static_cast<long long>(i));
      const std::int64_t b = entries[i];
      if (i >= records) {
        noData.add(i, b);
        continue;
      }
      if (b < 0 || b >= world.blockCount() || static_cast<std::uint64_t>(b) >= mapBlocks) {
        outside.add(i, b);
        continue;
      }
      std::memcpy(target.data() + static_cast<std::size_t>(b) * kBlockSize,
                  blocks.data() + i * kBlockSize, kBlockSize);
      ++patched;
    }
  }
  noData.report(problems);
  outside.report(problems);
  if (patched > 0) writeFileAtomic(map, target);
  return {patched, mapMessage(patched), std::move(problems)};
}

DiffResult createStaticDiff(const std::string& origIndex, const std::string& origData,
                            const std::string& changedIndex, const std::string& changedData,
                            const StaticDiffPaths& out, const DiffWorld& world,
                            Progress& progress) {
  requireNewOutputs({origIndex, origData, changedIndex, changedData},
                    {out.blockList, out.index, out.data});
  WindowReader oIndex(origIndex);
  WindowReader oData(origData);
  WindowReader cIndex(changedIndex);
  WindowReader cData(changedData);
  return writeStaticDiff(cIndex, cData, &oIndex, &oData, out, world, progress,
                         [](const IndexRecord& o, std::optional<std::span<const std::uint8_t>> was,
                            const IndexRecord& c, std::span<const std::uint8_t> now) {
                           // A block whose record moved counts as changed even with the same
                           // statics.
                           if (!(o == c) || !was) return true;
                           const std::size_t whole = now.size() / kRecordSize * kRecordSize;
                           return std::memcmp(was->data(), now.data(), whole) != 0;
                         });
}

DiffResult copyStaticsToDiff(const std::string& index, const std::string& data,
                             const StaticDiffPaths& out, const DiffWorld& world,
                             Progress& progress) {
  requireNewOutputs({index, data}, {out.blockList, out.index, out.data});
  WindowReader idx(index);
  WindowReader dat(data);
  return writeStaticDiff(idx, dat, nullptr, nullptr, out, world, progress,
                         [](const IndexRecord&, std::optional<std::span<const std::uint8_t>>,
                            const IndexRecord&, std::span<const std::uint8_t>) { return true; });
}

DiffResult applyStaticDiff(const std::string& index, const std::string& data,
                           const StaticDiffPaths& diff, const DiffWorld& world,
                           Progress& progress) {
  requireDistinctTargets(index, data);
  requireNewOutputs({diff.blockList, diff.index, diff.data}, {index, data});
  std::vector<std::string> problems;
  const std::vector<std::int32_t> entries =
      blockNumbers(readFile(diff.blockList), diff.blockList, problems);
  const Bytes diffIndex = readFile(diff.index);
  WindowReader diffData(diff.data);
  Bytes idx = readFile(index);
  // The data file is copied through unchanged; the diff's statics follow it.
  SequentialFile old(data);
  Bytes added;
  const std::size_t records = diffIndex.size() / kIndexSize;
  countsDisagree(entries.size(), records, diff.index, problems);
  Skips noRecord("entries have no index record in " + diff.index);
  Skips outside("entries name blocks outside the " + worldText(world) + " world");
  Skips pastData("entries point outside " + diff.data);
  Skips partial("entries are not a whole number of 7-byte statics");
  std::size_t patched = 0;
  {
    ProgressSteps steps(progress, static_cast<long long>(entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if ((i & 1023) == 0) steps.at(static_cast<long long>(i));
      const std::int64_t b = entries[i];
      if (i >= records) {
        noRecord.add(i, b);
        continue;
      }
      if (b < 0 || b >= world.blockCount()) {
        outside.add(i, b);
        continue;
      }
      const IndexRecord r = recordAt(diffIndex, i);
      const auto bytes = blockBytes(diffData, r);
      if (!bytes) {
        pastData.add(i, b);
        continue;
      }
      if (bytes->size() % kRecordSize != 0) {
        partial.add(i, b);
        continue;
      }
      const std::uint64_t start = old.size() + added.size();
      if (start + bytes->size() > kMaxData)
        throw Error("The statics data file " + data + " would grow past 2 GB; compact it first.");
      added.insert(added.end(), bytes->begin(), bytes->end());
      const std::size_t at = static_cast<std::size_t>(b) * kIndexSize;
      // A short index grows by empty records up to the block.
      while (idx.size() < at + kIndexSize) idx.insert(idx.end(), kIndexSize, 0xFF);
      storeU32(idx.data() + at, static_cast<std::uint32_t>(start));
      storeU32(idx.data() + at + 4, static_cast<std::uint32_t>(storedLength(r)));
      storeU32(idx.data() + at + 8, static_cast<std::uint32_t>(r.extra));
      ++patched;
    }
  }
  noRecord.report(problems);
  outside.report(problems);
  pastData.report(problems);
  partial.report(problems);
  if (patched > 0) {
    AtomicFile indexFile(index);
    AtomicFile dataFile(data);
    indexFile.write(idx);
    for (auto piece = old.next(kCopyPiece); !piece.empty(); piece = old.next(kCopyPiece))
      dataFile.write(piece);
    if (dataFile.size() != old.size())
      throw FileError(formatMessage("Cannot open file %s", {data}) +
                      ": the file changed while read");
    dataFile.write(added);
    commitAll({&indexFile, &dataFile});
  }
  return {patched, staticMessage(patched), std::move(problems)};
}

std::vector<std::int32_t> readDiffBlockList(const std::string& path,
                                            std::vector<std::string>& problems) {
  return blockNumbers(readFile(path), path, problems);
}

}  // namespace quillotide
