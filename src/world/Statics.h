#pragma once
// TStatics: the world's static objects in staidx0.mul (one 12-byte index record per 8 x 8 block,
// in block order) and statics0.mul (7-byte records: tile id u16, x and y offset u8, z s8,
// hue u16).
//
// With low memory off both files are read whole and changes go to the memory copies until Save;
// with low memory on both are held open and every change goes straight into them. Blocks are
// loaded on demand into a list of kind-3 TItem records; a static's serial is 0x1FFFFFF plus its
// position in that list. Whole-file operations work on the streams, not the list. Damaged blocks
// (records or data past the end of a file, lengths that are not a multiple of 7) give a problem
// text for that block and the rest loads; nothing reads outside the files.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/Colour.h"
#include "app/IndexedFile.h"
#include "app/Progress.h"
#include "world/Item.h"
#include "world/WorldStream.h"

namespace quillotide {

class TWorldFile;

namespace StaticsLayout {
constexpr std::size_t kRecordSize = 7;
constexpr std::size_t kIndexSize = 12;
}  // namespace StaticsLayout

// One 7-byte static record as stored.
struct StaticRecord {
  std::uint16_t id = 0;
  std::uint8_t x = 0;
  std::uint8_t y = 0;
  std::int8_t z = 0;
  std::uint16_t hue = 0;
  bool operator==(const StaticRecord&) const = default;
};

// The whole records of a block's bytes; a trailing part of a record is left out.
std::vector<StaticRecord> decodeStaticRecords(std::span<const std::uint8_t> bytes);
void appendStaticRecord(Bytes& out, const StaticRecord& record);

enum class StaticsSaveMode {
  StaticsOnly = 0,         // only the statics
  WithUnwrittenItems = 1,  // plus the world-file items not yet written to a world file
  WithAllItems = 2,        // plus every world-file item
};

class TStatics {
public:
  TStatics() = default;
  explicit TStatics(const WorldSources& sources) : m_sources(sources) {}
  void setSources(const WorldSources& sources) { m_sources = sources; }
  // Answers whether a loaded static diff replaces block b; such blocks are left out of
  // getItemsInRect. Without one no block is replaced.
  void setReplacedBlocks(std::function<bool(std::int32_t block)> hasBlock) {
    m_hasBlock = std::move(hasBlock);
  }

  // Loads or opens both files for a W x H world. All or nothing: a wrong size
  // (kWorldSizeMessage) or a file that cannot be opened (FileError) leaves the model as it was.
  void open(const std::string& indexPath, const std::string& dataPath, int width, int height,
            StorageMode mode);
  // Takes both files' bytes as memory copies (for generated worlds); same checks as open.
  void openBytes(Bytes index, Bytes data, int width, int height);
  bool isLoaded() const { return m_loaded; }
  StorageMode mode() const { return m_mode; }
  // The files of the last open; empty after openBytes (the statics came from no file).
  const std::string& indexPath() const { return m_indexPath; }
  const std::string& dataPath() const { return m_dataPath; }
  int width() const { return m_width; }
  int height() const { return m_height; }
  std::int64_t blockCount() const;
  // The block of a world cell, or -1 outside the world.
  std::int64_t blockOf(std::int64_t x, std::int64_t y) const;

  // Copies of the undeleted statics inside the rectangle (both corners included, clipped to the
  // world), loading the blocks it covers, in the reverse of list order.
  std::vector<TItem> getItemsInRect(int xa, int xb, int ya, int yb);
  // Copies of the undeleted statics on one cell in list order, loading its block, also where a
  // static diff replaces the block.
  std::vector<TItem> itemsAt(int x, int y);

  // Serial-based changes; a serial that names no static is ignored.
  void select(std::int32_t serial);
  void deselect(std::int32_t serial);
  void remove(std::int32_t serial);
  void setHue(std::int32_t serial, std::uint16_t hue);
  void setTileId(std::int32_t serial, std::uint16_t id);
  // Moves by (dx, dy, dz), z clamped. The block it leaves and the one it enters (loaded first
  // when needed) are both marked changed, so the static is neither lost nor doubled on save.
  // Throws Error when the new position lies outside the world (the static stays where it was).
  void move(std::int32_t serial, int dx, int dy, int dz);
  // Adds a static (its block loaded first) and returns its serial. Throws Error for a position
  // outside the world.
  std::int32_t add(std::uint16_t id, int x, int y, int z, std::uint16_t hue);
  // Takes back a delete: the static is shown and saved again; its block is marked changed.
  void restore(std::int32_t serial);
  // A copy of the static, or nullopt for a serial that names none.
  std::optional<TItem> item(std::int32_t serial) const;
  std::size_t itemCount() const { return m_state.items.size(); }
  // Changes whenever the statics are numbered afresh (open, save, clear), so a serial kept from
  // before names another static or none.
  std::uint64_t generation() const { return m_generation; }
  // Counts the opens, so a holder of serials and flags can tell that the world was reopened.
  std::uint64_t openCount() const { return m_opens; }
  // Whether block b is loaded and changed since it was read; setBlockChanged sets the flag of a
  // loaded block (an undo back to the state the files hold) and ignores any other.
  bool blockChanged(std::int64_t b) const;
  void setBlockChanged(std::int64_t b, bool changed);
  // The serials of block b's statics in list order, deleted ones included; empty for a block not
  // read.
  std::vector<std::int32_t> serialsInBlock(std::int64_t b) const;
  std::size_t loadedBlocks() const { return m_state.blocks.size(); }

  // Writes the changed blocks (appending their data) and, in memory mode, both copies to the
  // given paths (each replaced whole). Modes 1 and 2 first add the world file's unwritten or all
  // items as statics (items outside the world are skipped and counted) and then drop its unwritten
  // items. Afterwards the lists are empty. Returns the message to show ("%d Static-Blocks
  // Patched.", with a line on skipped items), or nothing when no block was loaded. When writing
  // fails, the model and the world file stay as they were.
  std::optional<std::string> save(const std::string& indexPath, const std::string& dataPath,
                                  StaticsSaveMode mode, TWorldFile* world, Progress& progress);

  // A compacted copy of the streams (unsaved list changes are not part of it). The targets are
  // replaced whole; they may not be the files held open.
  void compact(const std::string& indexPath, const std::string& dataPath, Progress& progress);
  // Empties every index record and the data; returns "Statics cleared.".
  std::string clearAll(Progress& progress);
  // The memory copies and the lists as they are now, so that a clear (or any change of the
  // copies) can be taken back. Memory mode only: held-open files have no copy to keep, and
  // keepContents throws Error then.
  struct Contents;
  std::shared_ptr<const Contents> keepContents() const;
  // Puts back what keepContents kept; the statics are numbered afresh.
  void restoreContents(const Contents& kept);
  // One pixel per cell of the opened world (W x H), white, every static's position black.
  Bitmap32 renderStaticMap(Progress& progress);
  // Asks for an id (caption "ID Searching...", prompt "Choose ID", default "0x0"); nothing happens
  // when the answer is nullopt (cancelled) or nothing is loaded. Writes "0x%x.txt" into the
  // directory and returns its path. An answer that is not a number throws
  // "'%s' is not a valid integer value", one outside 0 .. 0xFFFF throws Error; nothing is written.
  using AskText = std::function<std::optional<std::string>(
      const std::string& caption, const std::string& prompt, const std::string& defaultText)>;
  std::optional<std::string> searchId(const std::string& directory, const AskText& ask,
                                      Progress& progress);
  // The tile id of a search answer; throws as searchId does for one that is no number or lies
  // outside 0 .. 0xFFFF.
  static std::uint16_t searchedId(const std::string& answer);
  // Hands every undeleted static as it stands now to `take`: first those of the blocks not read
  // yet, from the files (serial -1, size 0 x 0), then those of the blocks read, with this
  // session's changes and their serials. With skipReplaced, blocks a static diff replaces are
  // left out, as the editor does not show them. Reads no block into the lists.
  void forEachPlaced(Progress& progress, bool skipReplaced,
                     const std::function<void(const TItem&)>& take);
  // The lines searchId writes for a tile id.
  std::vector<std::string> searchLines(std::uint16_t id, Progress& progress);
  // Removes records equal in all five fields within a block; returns
  // "%d of %d static items deleted, %d left.".
  std::string removeDuplicates(Progress& progress);
  // "0x%x %d %d %d 0x%x" (id, world x, y, z, hue) for every static of the streams.
  void exportText(const std::string& path, Progress& progress);

  // Whether a change waits for Save: an edited block, or in memory mode a cleared or cleaned
  // copy of the files.
  bool hasUnsavedChanges() const;

  // Problems met while reading blocks since the last call, one text per damaged block.
  std::vector<std::string> takeProblems() { return std::move(m_problems); }

  const WorldStream* indexStream() const { return m_index.get(); }
  const WorldStream* dataStream() const { return m_data.get(); }

private:
  struct BlockEntry {
    std::int32_t block = 0;
    bool changed = false;
  };
  struct State {
    std::vector<TItem> items;
    std::vector<BlockEntry> blocks;
    std::unordered_map<std::int32_t, std::size_t> blockPos;
    // Item positions by cell block (x div 8, y div 8), in list order per block.
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> byCell;
    std::int32_t nextSerial = kStaticSerialBase;
  };
  static std::uint32_t cellKey(std::uint32_t x, std::uint32_t y) {
    return ((x >> 3) << 16) | (y >> 3);
  }
  TItem* find(std::int32_t serial);
  // Changes the item of this serial and marks its block changed; an unknown serial does nothing.
  template <class Change>
  void editItem(std::int32_t serial, Change change) {
    if (TItem* found = find(serial)) {
      TItem& s = *found;
      change(s);
      markChanged(s.x, s.y);
    }
  }
  void requireLoaded() const;
  void loadBlock(std::int64_t b);
  void ensureLoaded(std::int64_t b);
  void markChanged(int x, int y);
  void appendItem(const TItem& item);
  void resetLists();
  IndexRecord readIndex(std::int64_t b) const;
  void writeIndex(std::int64_t b, const IndexRecord& record);
  // The whole records of a block, read within the data stream; problems noted per block.
  std::vector<StaticRecord> readBlock(std::int64_t b, const IndexRecord& record,
                                      ChunkReader* reader);
  // Runs f(b, x0, y0, records) for every non-empty index record in file order.
  template <typename F>
  void forEachStoredBlock(Progress& progress, F&& f);
  std::int64_t indexRecordCount() const;

  WorldSources m_sources;
  std::function<bool(std::int32_t)> m_hasBlock;
  std::unique_ptr<WorldStream> m_index;
  std::unique_ptr<WorldStream> m_data;
  StorageMode m_mode = StorageMode::Memory;
  std::string m_indexPath;
  std::string m_dataPath;
  int m_width = 0;
  int m_height = 0;
  bool m_loaded = false;
  bool m_streamsChanged = false;
  State m_state;
  std::uint64_t m_generation = 0;
  std::uint64_t m_opens = 0;
  std::vector<std::string> m_problems;
};

}  // namespace quillotide
