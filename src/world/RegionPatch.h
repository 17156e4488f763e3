#pragma once
// Region patches (*.pkx): the map cells, statics and, on request, the texture and static art
// slots of a rectangle of the world, moved from the files of one patch directory into those of
// another at a chosen origin; and height changes of a rectangle. All of it works on the files
// themselves (map%d.mul or map%dLegacyMUL.uop, staidx%d.mul, statics%d.mul, artidx.mul and
// art.mul or artLegacyMUL.uop, texidx.mul, texmaps.mul), never on the loaded models.
//
// A patch is a sequence of records up to its end, each a type byte and its fields (little-endian;
// dx and dy are u16 offsets from the region's origin):
//   0 map cell      dx, dy, tile id u16, altitude s8                              8 bytes
//   1 texture slot  slot u16, lookup, length, extra (int32), then `length` bytes   15 + data
//                   of data when neither lookup nor length is -1
//   2 static        dx, dy, altitude s8, tile id u16, hue u16                     10 bytes
//   3 art slot      as type 1, for the art files                                  15 + data
//   4 added static  as type 2; in backups, for a static the applied patch added   10 bytes
//
// Every tool reads each block it touches once (a region of 64 x 64 blocks takes one read per
// block column) and writes each changed block once. Apply and Change Heights check every cell
// against the target world before writing: a cell outside it, or whose block lies past the end
// of a file, is skipped and counted, never written elsewhere. Apply reads and checks the whole
// patch before the first byte is written; its data appends go before the index records that
// point at them, so a failure never leaves a record pointing at missing bytes.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/Bytes.h"
#include "app/IndexedFile.h"
#include "app/Progress.h"
#include "world/WorldStream.h"

namespace quillotide {

namespace PatchLayout {
constexpr std::uint8_t kMapCell = 0;
constexpr std::uint8_t kTexture = 1;
constexpr std::uint8_t kStatic = 2;
constexpr std::uint8_t kArt = 3;
constexpr std::uint8_t kAddedStatic = 4;
constexpr std::size_t kMapCellSize = 8;
constexpr std::size_t kSlotHeadSize = 15;
constexpr std::size_t kStaticSize = 10;
// Static art slots follow the 0x4000 land tiles in the art index.
constexpr std::uint32_t kArtStaticBase = 0x4000;
// Slot records hold 16 bits: the art of statics 0xC000 and above cannot travel in a patch.
constexpr std::uint32_t kMaxPatchSlot = 0xFFFF;
}  // namespace PatchLayout

struct PatchRecord {
  std::uint8_t type = PatchLayout::kMapCell;
  std::uint16_t dx = 0;
  std::uint16_t dy = 0;
  std::uint16_t tileId = 0;  // types 0, 2, 4
  std::int8_t z = 0;
  std::uint16_t hue = 0;   // types 2, 4
  std::uint16_t slot = 0;  // types 1, 3
  IndexRecord index{};
  Bytes data;
  std::size_t offset = 0;  // where the record starts in its patch (reading only)
  bool operator==(const PatchRecord& o) const {
    return type == o.type && dx == o.dx && dy == o.dy && tileId == o.tileId && z == o.z &&
           hue == o.hue && slot == o.slot && index == o.index && data == o.data;
  }
};

// Whether a slot record carries data bytes.
inline bool slotHasData(const IndexRecord& r) { return r.lookup != -1 && r.length != -1; }

// Every record of a patch. Throws FormatError naming `name` and the offset for an unknown type
// byte, a record cut short by the end, or a slot whose length is negative or longer than the rest.
std::vector<PatchRecord> readPatch(std::span<const std::uint8_t> bytes, const std::string& name);
void appendPatchRecord(Bytes& out, const PatchRecord& record);

// A rectangle of cells, both corners included.
struct CellRegion {
  int minX = 0, maxX = 0, minY = 0, maxY = 0;
  static CellRegion of(int x1, int y1, int x2, int y2);
  std::int64_t cells() const {
    return (static_cast<std::int64_t>(maxX) - minX + 1) *
           (static_cast<std::int64_t>(maxY) - minY + 1);
  }
};

// The files of a patch directory for one map number; a tool needs only some of them and leaves
// the others null.
struct PatchStreams {
  WorldStream* map = nullptr;
  WorldStream* staticsIndex = nullptr;
  WorldStream* staticsData = nullptr;
  WorldStream* artIndex = nullptr;
  WorldStream* artData = nullptr;
  WorldStream* textureIndex = nullptr;
  WorldStream* textureData = nullptr;
};

// What Create Patch takes. Textures come with the map's cells, art with the statics.
struct PatchContents {
  bool map = true;
  bool statics = true;
  bool art = false;
  bool textures = false;
};

struct CreatedPatch {
  Bytes bytes;
  std::int64_t skippedCells = 0;  // region cells outside the world or past the map file's end
  // Static tile ids (in order of first use) whose art slot 0x4000 + id lies above what a record
  // holds: the statics are in the patch, their art is not.
  std::vector<std::uint16_t> artLeftOut;
};
// The patch of a region of a W x H world, cells column by column (x outer, y inner). Every slot
// record names the slot it was read from. Throws Error for a region more than 65536 cells a side,
// FormatError for a slot whose data lies outside its data file.
CreatedPatch createPatch(const PatchStreams& from, int width, int height, const CellRegion& region,
                         const PatchContents& what, Progress& progress);

struct AppliedPatch {
  std::int64_t records = 0;
  std::int64_t skippedCells = 0;    // records whose cell lies outside the world or its files
  std::int64_t missingStatics = 0;  // type-4 records that found no such static to remove
};
// Applies a patch at origin (x1, y1) of a W x H world. Type 4 removes the last static of its cell
// equal to it in altitude, tile id and hue, so a backup undoes the statics its patch added. With
// `backup`, the records that undo the patch (each cell and slot as it was before its first change,
// a type-4 record per added static) are handed to it once everything is planned and before the
// first write; it may throw to stop the apply with nothing written. Throws FormatError for a
// damaged patch and Error when a file the patch needs is not given; nothing is then written.
AppliedPatch applyPatch(std::span<const std::uint8_t> patch, const std::string& name,
                        const PatchStreams& to, int width, int height, int x1, int y1,
                        const std::function<void(const Bytes& backup)>& backup, Progress& progress);

// Adds `amount` to the altitudes of the map cells and (or) the statics of a region, clamped to
// -128 .. 127. Returns the number of region cells skipped (outside the world or its map file).
std::int64_t changeHeights(const PatchStreams& files, int width, int height,
                           const CellRegion& region, int amount, bool map, bool statics,
                           Progress& progress);

// The files of a patch directory: "map%s.mul", "staidx%s.mul", "statics%s.mul" with the map
// number, and the art and texture pairs. Where the directory holds "map%sLegacyMUL.uop" or
// "artLegacyMUL.uop", the client reads that container and not the MUL files beside it: the map
// and art paths are then the container's, which the tools read, and patch, as the files it
// stands for.
inline constexpr const char* kArtContainerName = "artLegacyMUL.uop";
struct PatchDirectory {
  std::string dir;
  int mapNumber = 0;
  std::string mapPath() const;
  // The bytes of the map file mapPath() is or holds (0 when it is not there).
  std::uint64_t mapBytes() const;
  std::string staticsIndexPath() const;
  std::string staticsDataPath() const;
  std::string artIndexPath() const;
  std::string artDataPath() const;
  std::string textureIndexPath() const;
  std::string textureDataPath() const;
};
// Every n from 0 to 255 for which the directory holds map n (a MUL file or a container), staidx n
// and statics n.
std::vector<int> patchMapNumbers(const std::string& dir);

// The message for skipped cells, or nothing when none was skipped.
std::optional<std::string> skippedCellsMessage(std::int64_t skipped, int width, int height);
// The message naming the statics whose art a patch left out, or nothing when there are none.
std::optional<std::string> artLeftOutMessage(const std::vector<std::uint16_t>& ids);

// Create Patch from the files of a directory into `patchPath` (replaced whole). Throws Error
// when the patch would replace one of the files it reads. Returns the message to show, if any.
std::optional<std::string> createPatchFile(const PatchDirectory& from, int width, int height,
                                           const CellRegion& region, const PatchContents& what,
                                           const std::string& patchPath, Progress& progress);
// Apply Patch into the files of a directory, opening only the files the patch needs. A backup
// path gets the backup (replaced whole) before the game files change. Returns the message to
// show, if any.
std::optional<std::string> applyPatchFile(const PatchDirectory& to, int width, int height, int x1,
                                          int y1, const std::string& patchPath,
                                          const std::optional<std::string>& backupPath,
                                          Progress& progress);
std::optional<std::string> changeHeightsInDirectory(const PatchDirectory& dir, int width,
                                                    int height, const CellRegion& region,
                                                    int amount, bool map, bool statics,
                                                    Progress& progress);

}  // namespace quillotide
