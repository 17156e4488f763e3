#pragma once
// The map and static diff files as whole files: creating a diff by comparing two worlds block by
// block, copying a whole world into diff form, and applying a diff to a world.
//
// Map diffs: "Mapdifl0.mul" (int32 block numbers) and "Mapdif0.mul" (the 196-byte blocks, record
// i at i x 196). Static diffs: "Stadifl0.mul" (int32 block numbers), "Stadifi0.mul" (one 12-byte
// index record per number) and "Stadif0.mul" (the 7-byte static records the index points at).
//
// Inputs are never changed. New diff files are written beside their targets and replace them
// together; applying replaces the map, or both statics files together, whole. Every failure that
// ends an operation throws (FileError for files, Error otherwise) with the files as they were.
// Damage an apply can step over (a block outside the world, data past the end of the diff,
// counts that disagree) is skipped and named in the result's problems.

#include <cstdint>
#include <string>
#include <vector>

#include "app/Progress.h"

namespace quillotide {

namespace MapDiffLayout {
inline const std::string kBlockListName = "Mapdifl0.mul";
inline const std::string kDataName = "Mapdif0.mul";
constexpr std::size_t kBlockSize = 196;
constexpr std::size_t kHeaderSize = 4;
// "Copy Map to MapDiff" leaves out blocks made only of these two land tiles.
constexpr std::uint16_t kPlainTileA = 0x1;
constexpr std::uint16_t kPlainTileB = 0x244;
}  // namespace MapDiffLayout

// The world the block numbers refer to; the diff tool's classic world by default.
struct DiffWorld {
  int width = 6144;
  int height = 4096;
  std::int64_t blockCount() const {
    return static_cast<std::int64_t>(width / 8) * static_cast<std::int64_t>(height / 8);
  }
};

// The diff files of facet `facet` in `directory` ("Mapdifl2.mul", ... for facet 2), each found
// whatever the case of its name; a file that is not there is named as the program writes it, and
// one that is keeps its name when it is replaced.
struct MapDiffPaths {
  std::string blockList;
  std::string data;
  static MapDiffPaths in(const std::string& directory, int facet = 0);
};

struct StaticDiffPaths {
  std::string blockList;
  std::string index;
  std::string data;
  static StaticDiffPaths in(const std::string& directory, int facet = 0);
};

struct DiffResult {
  std::size_t blocks = 0;             // blocks written or patched
  std::string message;                // "%d Mapblocks patched." or "%d Staticblocks patched."
  std::vector<std::string> problems;  // what was skipped or noticed, one text each
  // The message followed by the problems, one per line.
  std::string text() const;
};

// Map sources may be UOP containers (map0LegacyMUL.uop, or one under another name): their map is
// read through the container, FormatError naming the entry when it cannot be.

// Writes the blocks of `changedMap` whose 64 cells differ from `origMap` (headers are not
// compared). Both maps must hold the whole world.
DiffResult createMapDiff(const std::string& origMap, const std::string& changedMap,
                         const MapDiffPaths& out, const DiffWorld& world, Progress& progress);
// Writes every block of the map that is not made only of land tiles 0x1 and 0x244.
DiffResult copyMapToDiff(const std::string& changedMap, const MapDiffPaths& out,
                         const DiffWorld& world, Progress& progress);
// Writes the diff's blocks into the map at their block numbers, the map replaced whole. A UOP
// container is refused with Error before anything is read or written: it is not its map's blocks.
DiffResult applyMapDiff(const std::string& map, const MapDiffPaths& diff, const DiffWorld& world,
                        Progress& progress);

// Writes the blocks whose index record or statics differ between the two statics pairs. Index
// records beyond the end of an index count as empty blocks.
DiffResult createStaticDiff(const std::string& origIndex, const std::string& origData,
                            const std::string& changedIndex, const std::string& changedData,
                            const StaticDiffPaths& out, const DiffWorld& world, Progress& progress);
// Writes every block of the statics pair.
DiffResult copyStaticsToDiff(const std::string& index, const std::string& data,
                             const StaticDiffPaths& out, const DiffWorld& world,
                             Progress& progress);
// Appends each diff block's statics to the data file and points its index record at them; both
// files replaced together. The old statics stay in the data file unreferenced.
DiffResult applyStaticDiff(const std::string& index, const std::string& data,
                           const StaticDiffPaths& diff, const DiffWorld& world, Progress& progress);

// The whole block numbers of a block list file; a cut number is left out and named in problems.
std::vector<std::int32_t> readDiffBlockList(const std::string& path,
                                            std::vector<std::string>& problems);

}  // namespace quillotide
