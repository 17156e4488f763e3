#include "sample/SampleClient.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "app/Bytes.h"
#include "app/Error.h"
#include "app/FileIO.h"
#include "app/FileNames.h"
#include "app/Text.h"
#include "app/Uop.h"
#include "models/Cliloc.h"
#include "sample/Sample.h"
#include "world/Map.h"

namespace quillotide::sample {

namespace {

namespace ClientLayout {
constexpr std::size_t kMapBlock = 196;
constexpr std::size_t kIndexRecord = 12;
constexpr std::size_t kStatic = 7;
constexpr int kSampleBlocks = kSampleWorldSize / 8;
// Empty statics blocks are written in pieces of this many records.
constexpr std::size_t kRecordsPerWrite = 1 << 16;
}  // namespace ClientLayout

using namespace ClientLayout;

// A file created (or emptied) for writing at offsets; closed on destruction.
class NewFile {
public:
  explicit NewFile(std::string path) : m_path(std::move(path)) {
    m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (m_fd < 0) throwCannotCreate(m_path, errno);
  }
  ~NewFile() {
    if (m_fd >= 0) ::close(m_fd);
  }
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;
  // The file grows to `size` without writing the bytes: a sparse map of zero cells.
  void resize(std::uint64_t size) {
    if (::ftruncate(m_fd, static_cast<off_t>(size)) != 0) throwCannotCreate(m_path, errno);
  }
  void write(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    writeAt(m_fd, m_path, bytes, offset);
  }
  void close() {
    if (::close(m_fd) != 0) {
      m_fd = -1;
      throwCannotCreate(m_path, errno);
    }
    m_fd = -1;
  }

private:
  std::string m_path;
  int m_fd = -1;
};

struct FacetFiles {
  std::string map, staticIndex, statics, mapUop;
};

// The names as a client copied from Windows has them: one facet in lower case, the others mixed.
FacetFiles facetFiles(int facet) {
  const std::string n = std::to_string(facet);
  switch (facet) {
    case 1:
      return {"Map1.mul", "Staidx1.mul", "Statics1.mul", ""};
    case 3:
      return {"map3.mul", "StaIdx3.mul", "Statics3.mul", ""};
    case 4:
      return {"map4.mul", "staidx4.mul", "statics4.mul", "map4LegacyMUL.uop"};
    default:
      return {"map" + n + ".mul", "staidx" + n + ".mul", "statics" + n + ".mul", ""};
  }
}

struct SampleWorldBytes {
  Bytes map, index, data;
};

// The sample world's block (bx, by) of 196 bytes.
std::span<const std::uint8_t> sampleBlock(const SampleWorldBytes& w, int bx, int by) {
  const std::size_t b = static_cast<std::size_t>(bx * kSampleBlocks + by);
  return std::span<const std::uint8_t>(w.map).subspan(b * kMapBlock, kMapBlock);
}

// The facet's map and statics: the sample world in the north-west corner, the rest empty.
void writeFacet(const std::string& dir, int facet, const SampleWorldBytes& w) {
  const FacetSize size = sampleClientFacetSize(facet);
  const FacetFiles names = facetFiles(facet);
  const std::int64_t rows = size.height / 8;

  NewFile map(joinPath(dir, names.map));
  map.resize(size.mapBytes());
  // One column of the sample world is one run of blocks in the facet's map.
  for (int bx = 0; bx < kSampleBlocks; ++bx)
    map.write(static_cast<std::uint64_t>(bx * rows) * kMapBlock,
              std::span<const std::uint8_t>(w.map).subspan(
                  static_cast<std::size_t>(bx * kSampleBlocks) * kMapBlock,
                  static_cast<std::size_t>(kSampleBlocks) * kMapBlock));
  map.close();

  NewFile index(joinPath(dir, names.staticIndex));
  Bytes empty(kRecordsPerWrite * kIndexRecord);
  for (std::size_t r = 0; r < kRecordsPerWrite; ++r) {
    storeU32(empty.data() + r * kIndexRecord, 0xFFFFFFFFu);
    storeU32(empty.data() + r * kIndexRecord + 4, 0xFFFFFFFFu);
    storeU32(empty.data() + r * kIndexRecord + 8, 0);
  }
  const auto blocks = static_cast<std::uint64_t>(size.blockCount());
  for (std::uint64_t b = 0; b < blocks; b += kRecordsPerWrite) {
    const std::uint64_t n = std::min<std::uint64_t>(kRecordsPerWrite, blocks - b);
    index.write(b * kIndexRecord, std::span<const std::uint8_t>(empty).first(n * kIndexRecord));
  }
  for (int bx = 0; bx < kSampleBlocks; ++bx)
    index.write(static_cast<std::uint64_t>(bx * rows) * kIndexRecord,
                std::span<const std::uint8_t>(w.index).subspan(
                    static_cast<std::size_t>(bx * kSampleBlocks) * kIndexRecord,
                    static_cast<std::size_t>(kSampleBlocks) * kIndexRecord));
  index.close();
  writeFileAtomic(joinPath(dir, names.statics), w.data);

  if (!names.mapUop.empty())
    containerOfMapFile(readFile(joinPath(dir, names.map)), facet)
        .save(joinPath(dir, names.mapUop));
}

// A map diff and a static diff of one block each: the block paved with cobbles, and its statics
// with a campfire added.
void writeDiffs(const std::string& dir, int facet, bool lowerCase, const SampleWorldBytes& w) {
  const FacetNames names = facetNames(facet);
  const auto name = [&](const std::string& n) {
    return joinPath(dir, lowerCase ? lowerAscii(n) : n);
  };
  const std::int64_t rows = sampleClientFacetSize(facet).height / 8;
  const auto block = static_cast<std::uint32_t>(kSampleDiffBlockX * rows + kSampleDiffBlockY);
  Bytes number(4);
  storeU32(number.data(), block);

  const std::span<const std::uint8_t> land = sampleBlock(w, kSampleDiffBlockX, kSampleDiffBlockY);
  Bytes paved(land.begin(), land.end());
  constexpr std::uint16_t kCobbles = 0x0D;
  for (std::size_t c = 0; c < 64; ++c) storeU16(paved.data() + 4 + c * 3, kCobbles);
  writeFileAtomic(name(names.mapDiffList), number);
  writeFileAtomic(name(names.mapDiff), paved);

  const std::size_t sampleBlockNumber =
      static_cast<std::size_t>(kSampleDiffBlockX * kSampleBlocks + kSampleDiffBlockY);
  const std::uint8_t* r = w.index.data() + sampleBlockNumber * kIndexRecord;
  const auto lookup = static_cast<std::int32_t>(loadU32(r));
  const auto length = static_cast<std::int32_t>(loadU32(r + 4));
  Bytes statics;
  if (lookup >= 0 && length > 0 &&
      static_cast<std::size_t>(lookup) + static_cast<std::size_t>(length) <= w.data.size())
    statics.assign(w.data.begin() + lookup, w.data.begin() + lookup + length);
  Bytes fire(kStatic);
  storeU16(fire.data(), static_cast<std::uint16_t>(kSampleDiffStatic));
  fire[2] = 3;
  fire[3] = 3;
  fire[4] = paved[4 + (3 * 8 + 3) * 3 + 2];  // the altitude of the cell it stands on
  storeU16(fire.data() + 5, 0);
  statics.insert(statics.end(), fire.begin(), fire.end());
  Bytes record(kIndexRecord);
  storeU32(record.data(), 0);
  storeU32(record.data() + 4, static_cast<std::uint32_t>(statics.size()));
  storeU32(record.data() + 8, 0);
  writeFileAtomic(name(names.staticDiffList), number);
  writeFileAtomic(name(names.staticDiffIndex), record);
  writeFileAtomic(name(names.staticDiff), statics);
}

void writeClilocFile(const std::string& dir) {
  Cliloc cliloc;
  cliloc.header = {2, 0, 0, 0, 1, 0};
  cliloc.entries = {{500000, 0, "Sample client"},
                    {clilocLayout::kTileNameBase + 1, 0, "oak tree"},
                    {clilocLayout::kTileNameBase + 2, 0, "pine tree"}};
  saveCliloc(joinPath(dir, clilocLayout::kFileName), cliloc);
}

}  // namespace

FacetSize sampleClientFacetSize(int facet) {
  checkFacet(facet);
  const std::vector<FacetSize> sizes = facetSizes(facet);
  return facet == 1 ? sizes.front() : sizes.back();
}

const std::vector<std::pair<std::string, std::string>>& sampleClientNames() {
  static const std::vector<std::pair<std::string, std::string>> names = {
      {"anim.mul", "Anim.mul"},         {"gumpidx.mul", "Gumpidx.mul"},
      {"gumpart.mul", "Gumpart.mul"},   {"art.mul", "Art.mul"},
      {"texidx.mul", "TexIdx.mul"},     {"light.mul", "Light.mul"},
      {"tiledata.mul", "TileData.mul"}, {"anim2.idx", "Anim2.idx"},
      {"animdata.mul", "Animdata.mul"}, {"hues.mul", "Hues.mul"},
      {"sound.mul", "Sound.mul"},       {"multi.idx", "Multi.idx"},
      {"verdata.mul", "Verdata.mul"},   {"soundLegacyMUL.uop", "SoundLegacyMUL.uop"},
  };
  return names;
}

void writeSampleClient(const std::string& dir) {
  writeSampleSet(dir);
  SampleWorldBytes world{readFile(joinPath(dir, "map0.mul")), readFile(joinPath(dir, "staidx0.mul")),
                         readFile(joinPath(dir, "statics0.mul"))};
  // The sample's own small map and its container give way to the facets below.
  for (const char* name : {"map0.mul", "staidx0.mul", "statics0.mul", "map0LegacyMUL.uop"})
    std::remove(joinPath(dir, name).c_str());
  for (const auto& [from, to] : sampleClientNames())
    if (std::rename(joinPath(dir, from).c_str(), joinPath(dir, to).c_str()) != 0)
      throwCannotCreate(joinPath(dir, to), errno);
  writeClilocFile(dir);
  for (int facet = 0; facet < kFacetCount; ++facet) writeFacet(dir, facet, world);
  writeDiffs(dir, 0, false, world);
  writeDiffs(dir, 2, true, world);
}

}  // namespace quillotide::sample
