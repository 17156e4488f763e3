#pragma once
// The whole-file world tools of the features page that are not operations of the map or statics
// model: copying a map region between map files, emptying and merging statics pairs, the world
// radar picture and the statics repair. They open the files themselves. Each reads every block
// it needs once, in large sequential reads where the files allow it, and checks every cell and
// block against its world before writing: nothing is written into another column or past the
// end of a file.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/Colour.h"
#include "app/Progress.h"
#include "world/RegionPatch.h"
#include "world/WorldStream.h"

namespace quillotide {

class TRadarcol;

// MapCopy: the land cells of a source region into a target map of another size at (targetX,
// targetY); statics are not copied. Cells whose tile id is `ignoreId` are left out (-1: none).
struct MapCopyRequest {
  CellRegion region;
  int sourceWidth = 0, sourceHeight = 0;
  int targetWidth = 0, targetHeight = 0;
  int targetX = 0, targetY = 0;
  int ignoreId = -1;
};
struct MapCopyResult {
  std::int64_t copied = 0;
  std::int64_t skipped = 0;  // cells outside either world or past the end of either file
};
// Copies within streams; the progress reports the share of source block columns done.
MapCopyResult copyMapRegion(const WorldStream& source, WorldStream& target,
                            const MapCopyRequest& request, Progress& progress);
// Copies between files. A target that does not exist is created at its full size, every cell
// tile 0 at altitude 0. Throws Error when the target is the source file. Returns the message for
// skipped cells, if any.
std::optional<std::string> copyMapFile(const std::string& from, const std::string& to,
                                       const MapCopyRequest& request, Progress& progress);

// Delete Statics: the data file becomes empty, every index record (-1, -1, 0); the index keeps
// its number of records. Both are replaced whole. Throws Error when both paths name one file.
void deleteStaticsFiles(const std::string& indexPath, const std::string& dataPath,
                        Progress& progress);

// Merge Statics: per block the statics of pair 1, then those of pair 2, into a new pair (replaced
// whole together). Throws Error, before any target is touched, when a source does not exist or
// cannot be read, or when a target is one of the sources. Returns "Merging done.".
std::string mergeStaticsFiles(const std::string& index1, const std::string& data1,
                              const std::string& index2, const std::string& data2,
                              const std::string& targetIndex, const std::string& targetData,
                              Progress& progress);

// The world radar picture of a W x H world: every cell in the radar colour of its land tile, or
// of the highest static standing above it (a static only wins when strictly higher). Blocks past
// the end of the map file keep `background`. `percent` is told the share of blocks done.
Bitmap32 worldRadarMap(const WorldStream& map, const WorldStream& staticsIndex,
                       const WorldStream& staticsData, int width, int height,
                       const TRadarcol& radarcol, Pixel background,
                       const std::function<void(int percent)>& percent);

struct StaticsRepair {
  std::int64_t blocks = 0;   // blocks rewritten
  std::int64_t dropped = 0;  // statics 0x39E7 .. 0x39EE removed
  std::int64_t added = 0;    // 0x28C1 statics added above raised 0xCF3 .. 0xCF7 statics
};
// The statics repair of a world `height` cells high, in place: rewritten blocks are appended to
// the data file in one write and their index records changed (an emptied block gets
// (-1, -1, 0)). `altitude` gives the ground altitude of a world cell.
StaticsRepair repairStatics(WorldStream& index, WorldStream& data, int height,
                            const std::function<int(int x, int y)>& altitude, Progress& progress);

}  // namespace quillotide
