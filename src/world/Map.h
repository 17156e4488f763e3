#pragma once
// TMap: the world map file (map0.mul and its siblings): W x H land cells in 8 x 8 blocks of 196
// bytes (a 4-byte header kept as read, then 64 cells of tile id u16 and altitude s8), blocks
// stored column by column. The file holds neither W nor H; the user gives both.
//
// The model keeps the file open for reading and writing from Open on. Cells are edited in cached
// blocks and written by SaveChangedBlocks; the whole-map operations stream the file in large
// sequential chunks. Messages the user sees are returned as text; the core shows no dialogs.

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/Bytes.h"
#include "app/Colour.h"
#include "app/Progress.h"
#include "app/Random.h"
#include "world/Item.h"
#include "world/WorldStream.h"

namespace quillotide {

class UopContainer;

namespace MapLayout {
constexpr std::size_t kBlockSize = 196;
constexpr std::size_t kHeaderSize = 4;
constexpr std::size_t kCellSize = 3;
constexpr int kCellsPerBlock = 64;
static_assert(kHeaderSize + kCellSize * kCellsPerBlock == kBlockSize);
}  // namespace MapLayout

// The map file a container holds: the chunks of its map in order (every one but the last whole).
// The map is the one its file name (`path`) gives when the container has it, else the first it
// has; *mapNumber receives it. Throws FormatError naming the path and entry at fault.
Bytes mapFileOfContainer(const UopContainer& uop, const std::string& path, int* mapNumber);
// The length of the map file a container holds, from its chunks' full sizes (nothing inflated):
// what tells the world size of a map kept in a container. Throws as mapFileOfContainer.
std::uint64_t mapFileSizeOfContainer(const UopContainer& uop, const std::string& path);
// A new container of map `mapNumber` holding the map file's bytes in chunks.
UopContainer containerOfMapFile(std::span<const std::uint8_t> bytes, int mapNumber);

struct MapCell {
  std::uint16_t tileId = 0;
  std::int8_t z = 0;
  bool operator==(const MapCell&) const = default;
};

// Where cell (x, y) lies within its map block's bytes, and within the map file of a world
// `height` cells high.
inline std::size_t mapCellOffsetInBlock(int x, int y) {
  return MapLayout::kHeaderSize +
         static_cast<std::size_t>((y % 8) * 8 + x % 8) * MapLayout::kCellSize;
}
inline std::size_t mapCellOffset(int height, int x, int y) {
  const auto block = static_cast<std::size_t>(x / 8) * static_cast<std::size_t>(height / 8) +
                     static_cast<std::size_t>(y / 8);
  return block * MapLayout::kBlockSize + mapCellOffsetInBlock(x, y);
}
// A cell's three bytes: the tile id, then the altitude.
inline MapCell loadMapCell(const std::uint8_t* p) {
  return {loadU16(p), static_cast<std::int8_t>(p[2])};
}
inline void storeMapCell(std::uint8_t* p, MapCell cell) {
  storeU16(p, cell.tileId);
  p[2] = static_cast<std::uint8_t>(cell.z);
}

// One rule of "Change Map Ids": cells of tile id `id` become one of the ids listed in `text`
// (separated by ","), picked at random.
struct MapIdRule {
  std::uint16_t id = 0;
  std::string text;
};

// The rules of a "Change Map Ids" file: per line a tile id, one blank and the replacement list.
// A line whose id does not parse (or lies outside 0 .. 0xFFFF) is skipped and adds
// "Bug in Zeile %d" (lines counted from 0) to
// *messages; a line without a blank throws "List index out of bounds (1)".
std::vector<MapIdRule> parseMapIdRules(const std::vector<std::string>& lines,
                                       std::vector<std::string>* messages);

// What "Change Map Ids" did: the rules that changed at least one cell, the cells changed, and
// one "Bug bei Id 0x%x" per rule whose drawn piece was not a tile id.
struct ReplacedIds {
  std::vector<std::string> messages;
  std::int64_t rulesApplied = 0;
  std::int64_t cells = 0;
};

class TMap {
public:
  TMap() = default;
  explicit TMap(const WorldSources& sources) : m_sources(sources) {}
  void setSources(const WorldSources& sources) { m_sources = sources; }

  // Opens the map (W x H cells, multiples of 8) for reading and writing, empties the cache,
  // restarts the serials and builds the overview. All or nothing: a wrong size
  // (kWorldSizeMessage), a file that cannot be opened (FileError) or one too short for W x H
  // (Error) leaves the model as it was. A longer file is accepted and its tail kept. Returns
  // "Radarcol not Loaded." when the overview could not be drawn (it then keeps its old picture).
  // A .uop path (map0LegacyMUL.uop ...) reads the container into memory, its chunks in order as
  // the map file; every later write of the map (saveChangedBlocks, replaceIds) then writes the
  // container again, replaced whole, unchanged chunks copied as they were. FormatError naming the
  // entry when one cannot be read.
  std::optional<std::string> open(const std::string& path, int width, int height);
  bool isLoaded() const { return m_loaded; }
  // Whether the map was read from a container, and which.
  bool isUop() const { return m_uop != nullptr; }
  const std::string& uopPath() const { return isUop() ? m_path : m_noPath; }
  // What happened to the container read since: truncated, replaced or changed by another program
  // (a save then copies its unchanged chunks from a file that no longer holds them).
  std::optional<std::string> changedOnDisk() const;
  // The whole map, changed blocks included, as a container (map number from the name of `path`,
  // else the one read, else 0) or as a plain map file; replaced whole. The model keeps the file
  // it holds. Throws Error when nothing is loaded, FileError when it cannot be written.
  void saveUop(const std::string& path) const;
  void saveMul(const std::string& path) const;
  int width() const { return m_width; }
  int height() const { return m_height; }
  const std::string& path() const { return m_path; }
  // Blocks of the map (W div 8) x (H div 8); 0 when not loaded.
  std::int64_t blockCount() const;
  // The block index of a cell, or -1 outside the map.
  std::int64_t blockOf(int x, int y) const;

  // The cell from the cache (loading its block); nullopt outside the map.
  std::optional<MapCell> cell(int x, int y);
  // 0 outside the map.
  int getAltitude(int x, int y);
  // Change a cached cell and mark its block changed; nothing outside the map. Altitudes are
  // clamped to -128 .. 127.
  void setTileId(int x, int y, std::uint16_t id);
  void setAltitude(int x, int y, int z);
  void addAltitude(int x, int y, int delta);

  // Puts copies of the land cells of the blocks covering the rectangle at the front of `list`, in
  // the reverse of their generation order, and returns the list.
  std::vector<TItem>& getLandItems(int xa, int xb, int ya, int yb, std::vector<TItem>& list);

  // Writes every changed cached block in place; returns their number (flags stay set).
  int saveChangedBlocks();
  // Whether a cell was changed since the last open or save.
  bool hasUnsavedChanges() const { return m_unsaved; }
  // Changes at every open and save, so change marks kept from before no longer describe the map.
  std::uint64_t generation() const { return m_generation; }
  std::uint64_t openCount() const { return m_opens; }
  // Whether block b is cached and marked changed.
  bool blockChanged(std::int64_t b) const;
  // Sets the change mark of a cached block and whether the map has unsaved changes: an undo back
  // to the state the file holds. A block not cached is left alone.
  void restoreMarks(std::int64_t b, bool changed, bool unsaved);
  static std::string patchedMessage(int count);

  // Tile usage of the whole file into the texture and art list files. Throws Error
  // "Load Tiledata first." without tile data (nothing written). Returns "Done.".
  std::string countTiles(const std::string& textureListPath, const std::string& artListPath,
                         Progress& progress);
  // Replaces tile ids in the whole file by the rules (first matching rule per cell, a piece of
  // its list drawn per cell). A cell that draws a piece that is not a tile id (0 to 0xFFFF) keeps
  // its id; its rule gives one message "Bug bei Id 0x%x". Cached blocks follow the file: unchanged
  // ones are re-read, changed ones get the same replacement, so a later save cannot undo it.
  ReplacedIds replaceIds(const std::vector<MapIdRule>& rules, Random& random, Progress& progress);
  // Altitude pictures of the whole map (W x H pixels, grey = z + 128), saved as BMP or PNG by the
  // path's extension; any other name throws Error before the map is read.
  void exportHeightMap(const std::string& path, Progress& progress);
  // Grey = (z - level) modulo 256 with level the low 8 bits of `level`; returns
  // "Old Minimum Height was %d. New Minimum Height is %d.".
  std::string exportAdjustedHeightMap(const std::string& path, int level, Progress& progress);
  // The altitude picture as exportHeightMap draws it, for `level` -128 the plain one.
  Bitmap32 heightPicture(int level, Progress& progress);
  // The lowest altitude of the file (127 for an empty map).
  int minimumAltitude(Progress& progress);

  // (W div 16) x (H div 16) pixels: the radar colour of the first cell of every second block.
  const Bitmap32& overviewPicture() const { return m_overview; }

  // The number of cached blocks (for tests of the cache's behaviour).
  std::size_t cachedBlocks() const { return m_blocks.size(); }

private:
  struct MapBlock {
    std::int32_t index = 0;
    std::array<std::uint8_t, MapLayout::kBlockSize> bytes{};
    bool changed = false;
    std::int32_t serialBase = 0;
  };
  MapBlock* obtainBlock(std::int64_t b);
  MapBlock* cachedBlock(std::int64_t b);
  MapBlock* cellBlock(int x, int y, int& c);
  // Runs f(blockIndex, bytes) over every block of the file, column by column, in large reads.
  template <typename F>
  void forEachBlock(Progress* progress, F&& f);
  std::optional<std::string> buildOverview(WorldStream& file, int width, int height,
                                           Bitmap32& picture) const;
  void requireLoaded() const;
  // The map bytes with the changed cached blocks laid over them.
  Bytes currentBytes() const;
  // After a write into the memory copy of a container's map: the container, written again.
  void writeUop();

  // Marks the container chunks that a write of the map's bytes from `offset` touches.
  void markUopChunks(std::uint64_t offset, std::size_t n);

  std::shared_ptr<const UopContainer> m_uop;
  int m_uopMapNumber = 0;
  // The chunks written into the memory copy since the container was last written.
  std::vector<bool> m_uopDirty;
  std::string m_noPath;

  WorldSources m_sources;
  std::unique_ptr<WorldStream> m_file;
  std::string m_path;
  int m_width = 0;
  int m_height = 0;
  bool m_loaded = false;
  bool m_unsaved = false;
  std::uint64_t m_generation = 0;
  std::uint64_t m_opens = 0;
  std::deque<MapBlock> m_blocks;  // stable addresses while blocks are added
  std::unordered_map<std::int32_t, std::size_t> m_cache;
  std::int32_t m_serialCounter = 0;
  Bitmap32 m_overview;
};

}  // namespace quillotide
