#include "app/Facet.h"

#include "app/Error.h"
#include "app/FileNames.h"
#include "app/FileIO.h"
#include "app/Text.h"
#include "app/UopPair.h"

namespace quillotide {

namespace {

namespace FacetLayout {
constexpr std::uint64_t kMapBlockSize = 196;
constexpr std::uint64_t kIndexRecordSize = 12;
}  // namespace FacetLayout

std::string decimal(std::int64_t v) { return std::to_string(v); }

// How a file that fits no size of the facet is named in a message: its number of blocks.
std::string sizeOrBlocks(int facet, std::uint64_t bytes, std::uint64_t blockSize) {
  for (const FacetSize& s : facetSizes(facet))
    if (bytes == static_cast<std::uint64_t>(s.blockCount()) * blockSize) return sizeText(s);
  std::string text = decimal(static_cast<std::int64_t>(bytes / blockSize)) + " blocks";
  if (bytes % blockSize != 0) text += " and " + decimal(static_cast<std::int64_t>(bytes % blockSize)) + " bytes";
  return text;
}

}  // namespace

std::string sizeText(const FacetSize& size) {
  return decimal(size.width) + " x " + decimal(size.height);
}

void checkFacet(std::int64_t facet) {
  if (facet < 0 || facet >= kFacetCount)
    throw Error(formatMessage("There is no facet %s: the facets are 0 to 5.", {decimal(facet)}));
}

std::vector<FacetSize> facetSizes(int facet) {
  switch (facet) {
    case 0:
    case 1:
      return {{6144, 4096}, {7168, 4096}};
    case 2:
      return {{2304, 1600}};
    case 3:
      return {{2560, 2048}};
    case 4:
      return {{1448, 1448}};
    case 5:
      return {{1280, 4096}};
    default:
      return {};
  }
}

std::optional<FacetSize> facetSizeOfMap(int facet, std::uint64_t mapBytes) {
  for (const FacetSize& s : facetSizes(facet))
    if (s.mapBytes() == mapBytes) return s;
  return std::nullopt;
}

std::optional<FacetSize> facetSizeOfStaticIndex(int facet, std::uint64_t indexBytes) {
  for (const FacetSize& s : facetSizes(facet))
    if (s.staticIndexBytes() == indexBytes) return s;
  return std::nullopt;
}

std::optional<FacetSize> facetWorldSize(int facet, std::optional<std::uint64_t> mapBytes,
                                        std::optional<std::uint64_t> staticIndexBytes,
                                        const std::string& mapName,
                                        const std::string& staticIndexName) {
  const std::optional<FacetSize> byMap = mapBytes ? facetSizeOfMap(facet, *mapBytes) : std::nullopt;
  const std::optional<FacetSize> byIndex =
      staticIndexBytes ? facetSizeOfStaticIndex(facet, *staticIndexBytes) : std::nullopt;
  if (!byMap && !byIndex) return std::nullopt;
  // One file alone decides; with both, they must hold the same world.
  if (!mapBytes || !staticIndexBytes || byMap == byIndex) return byMap ? byMap : byIndex;
  throw Error(formatMessage(
      "The map %s is %s but the statics %s are %s: they belong to different worlds and cannot be "
      "opened together.",
      {mapName, sizeOrBlocks(facet, *mapBytes, FacetLayout::kMapBlockSize), staticIndexName,
       sizeOrBlocks(facet, *staticIndexBytes, FacetLayout::kIndexRecordSize)}));
}

FacetNames facetNames(int facet) {
  const std::string n = decimal(facet);
  return {"map" + n + ".mul",    "staidx" + n + ".mul",  "statics" + n + ".mul",
          "map" + n + "LegacyMUL.uop", "Mapdifl" + n + ".mul", "Mapdif" + n + ".mul",
          "Stadifl" + n + ".mul", "Stadifi" + n + ".mul", "Stadif" + n + ".mul"};
}

std::optional<std::uint64_t> worldFileBytes(const std::string& path) {
  if (path.empty() || !fileExists(path)) return std::nullopt;
  if (isUopFile(path)) return uopMapFileBytes(path);
  return fileSize(path);
}

std::optional<std::uint64_t> mulWorldFileBytes(const std::string& path) {
  if (path.empty() || lowerAscii(path).ends_with(".uop") || !fileExists(path)) return std::nullopt;
  return fileSize(path);
}

}  // namespace quillotide
