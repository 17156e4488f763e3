#pragma once
// The client's facets (worlds) 0 to 5 and their sizes. The map and statics files do not hold their
// world size; it follows from the facet number and the size of the file. Maps 0 and 1 come in two
// sizes; maps 3 and 5 hold the same number of blocks, so only the facet number tells them apart.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillotide {

constexpr int kFacetCount = 6;

struct FacetSize {
  int width = 0;
  int height = 0;
  std::int64_t blockCount() const { return static_cast<std::int64_t>(width / 8) * (height / 8); }
  // The bytes of a map file (196 a block) and of a statics index (12 a block) of this size.
  std::uint64_t mapBytes() const { return static_cast<std::uint64_t>(blockCount()) * 196; }
  std::uint64_t staticIndexBytes() const { return static_cast<std::uint64_t>(blockCount()) * 12; }
  bool operator==(const FacetSize&) const = default;
};

// "6144 x 4096".
std::string sizeText(const FacetSize& size);

// Throws Error "There is no facet N: the facets are 0 to 5." for any other number.
void checkFacet(std::int64_t facet);
// The sizes facet `facet`'s map comes in, the current one last; empty outside 0..5.
std::vector<FacetSize> facetSizes(int facet);
// The size of facet `facet` whose map file (MUL form) or statics index is exactly this long;
// nullopt when none is.
std::optional<FacetSize> facetSizeOfMap(int facet, std::uint64_t mapBytes);
std::optional<FacetSize> facetSizeOfStaticIndex(int facet, std::uint64_t indexBytes);

// The length of a map file or statics index in the MUL form, the measure the sizes above are
// told by; nullopt when the path is empty, names no file, or names a UOP container (whose length
// says nothing of the map it holds).
std::optional<std::uint64_t> mulWorldFileBytes(const std::string& path);
// The length of the map file or statics index a path stands for: a MUL file's length, or for a
// map container the map file it holds, added up from its chunk table (nothing is read whole or
// inflated). Nullopt when the path is empty or names no file. Throws FormatError naming a
// container whose tables are damaged or that holds no map.
std::optional<std::uint64_t> worldFileBytes(const std::string& path);

// The world size of facet `facet` from the sizes of its map file and its statics index (either
// may be unknown: nullopt). Returns nullopt when neither fits a size of the facet: the user gives
// the size. Throws Error naming both files and both sizes when a file fits a size the other does
// not hold ("The map map0.mul is 6144 x 4096 but the statics staidx0.mul are 7168 x 4096: ...").
std::optional<FacetSize> facetWorldSize(int facet, std::optional<std::uint64_t> mapBytes,
                                        std::optional<std::uint64_t> staticIndexBytes,
                                        const std::string& mapName = "map",
                                        const std::string& staticIndexName = "staidx");

// The file names of a facet as the program writes them: "map2.mul", "staidx2.mul",
// "statics2.mul", "map2LegacyMUL.uop", "Mapdifl2.mul", "Mapdif2.mul", "Stadifl2.mul",
// "Stadifi2.mul", "Stadif2.mul". Found in a folder without regard to case.
struct FacetNames {
  std::string map, staticIndex, statics, mapUop;
  std::string mapDiffList, mapDiff, staticDiffList, staticDiffIndex, staticDiff;
};
FacetNames facetNames(int facet);

}  // namespace quillotide
