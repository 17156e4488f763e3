#pragma once
// TStaticDiff: the diff store. It holds a static diff ("Stadifl0.mul": block numbers,
// "Stadifi0.mul": one index record per block number, "Stadif0.mul": 7-byte static records) as
// byte images, hands its statics to the world editor as kind-4 TItem records and writes changed
// blocks back. A block the diff holds replaces that block of the statics files completely.
//
// A diff item's serial is 0x3FFFFFF plus its position in the item list. Block numbers follow the
// world geometry of the store's world size (6144 x 4096 unless set otherwise): b = (x div 8) x
// (H div 8) + (y div 8).

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/Bytes.h"
#include "app/Colour.h"
#include "world/Item.h"
#include "world/Statics.h"

namespace quillotide {

class TWorldFile;

namespace StaticDiffLayout {
inline const std::string kBlockListName = "Stadifl0.mul";
inline const std::string kIndexName = "Stadifi0.mul";
inline const std::string kDataName = "Stadif0.mul";
constexpr std::size_t kBlockNumberSize = 4;
constexpr std::size_t kIndexSize = 12;
constexpr std::size_t kRecordSize = 7;
// The world the diff files are made for when no size is set.
constexpr int kDefaultWidth = 6144;
constexpr int kDefaultHeight = 4096;
}  // namespace StaticDiffLayout

// One entry of the block list as the store keeps it.
struct StaticDiffEntry {
  std::int32_t block = 0;
  bool itemsLoaded = false;
  std::int32_t position = 0;  // index in the block list and in the index file
  bool changed = false;
};

class TStaticDiff {
public:
  TStaticDiff() = default;
  explicit TStaticDiff(const WorldSources& sources) : m_sources(sources) {}
  void setSources(const WorldSources& sources) { m_sources = sources; }

  // The world the block numbers refer to. Throws Error(kWorldSizeMessage) for a size that is no
  // world; the store then keeps its size. Items already read keep their positions.
  void setWorldSize(int width, int height);
  int width() const { return m_width; }
  int height() const { return m_height; }
  std::int64_t blockCount() const {
    return static_cast<std::int64_t>(m_width / 8) * (m_height / 8);
  }
  // The block of a world cell, or -1 outside the world.
  std::int64_t blockOf(std::int64_t x, std::int64_t y) const;

  // The facet whose diff files the store reads and writes ("Stadifl2.mul", ... for facet 2; 0
  // unless set). Throws Error for a number outside 0..5; the store then keeps its facet.
  void setFacet(int facet);
  int facet() const { return m_facet; }

  // Reads the three files of the facet in `directory` whole, their names found whatever their
  // case. All or nothing: when one cannot be read
  // (FileError "Cannot open file %s") the store keeps its entries, items and loaded flag.
  // Afterwards the item list is empty and serials start again at 0x3FFFFFF. Damage that loading
  // can live with (a block list cut inside a number, counts that disagree, blocks outside the
  // world) is noted in takeProblems().
  void loadDiffs(const std::string& directory);
  bool isLoaded() const { return m_loaded; }
  // The folder whose diff files the images hold now: the last one loaded or saved into; empty
  // before either.
  const std::string& directory() const { return m_directory; }
  // True when files are loaded and an entry names block b.
  bool hasBlock(std::int32_t b) const { return m_loaded && m_state.firstEntry.contains(b); }

  // Inserts copies of the undeleted diff items inside the rectangle (corners included, clipped to
  // the world) at the front of `list`, in reverse list order, reading the blocks it covers first.
  // Nothing happens while no files are loaded. Returns the list.
  std::vector<TItem>& appendItemsInRect(int xa, int xb, int ya, int yb, std::vector<TItem>& list);

  // (W div 16) x (H div 16) pixels (384 x 256 for the default world), white, with every block of
  // the loaded diff black; one pixel stands for 2 x 2 blocks.
  Bitmap32 blockPicture() const;

  // Serial-based changes; a serial that names no diff item is ignored. Changes mark the item's
  // block changed.
  void select(std::int32_t serial);
  void deselect(std::int32_t serial);
  void remove(std::int32_t serial);
  void setHue(std::int32_t serial, std::uint16_t hue);
  void setTileId(std::int32_t serial, std::uint16_t id);
  // Moves by (dx, dy, dz), z clamped. The block left and the block entered are both marked
  // changed, so the static is neither lost nor doubled on save. Throws Error (the item stays)
  // when the new position lies outside the world or in a block the diff does not hold: such a
  // block would then show only this static and hide its statics.
  void move(std::int32_t serial, int dx, int dy, int dz);
  // Adds a diff item, creating the entry of its block when there is none (whether or not files
  // are loaded), and returns its serial. Throws Error for a position outside the world.
  std::int32_t addItem(std::uint16_t id, int x, int y, int z, std::uint16_t hue);

  // Writes the changed blocks into the images and the three images whole into `directory` (files
  // there keep the case of their names)
  // (replaced together or not at all). Modes 1 and 2 first add the world file's unwritten or all
  // items as diff items (items outside the world are skipped, see lastSkipped) and then drop its
  // unwritten items. Returns the number of blocks written, or nothing when there are no entries
  // or no diff items (then nothing is written). Afterwards the item list is empty and serials
  // start again at 0x3FFFFFF, so items read next are found by their serials. When writing fails
  // (FileError "Cannot create file %s") the store and the world file stay as they were.
  std::optional<std::size_t> saveDiffs(const std::string& directory, StaticsSaveMode mode,
                                       TWorldFile* world);
  std::size_t lastSkipped() const { return m_skipped; }

  // Takes back a delete; the item's block is marked changed.
  void restore(std::int32_t serial);
  // A copy of the diff item, or nullopt for a serial that names none.
  std::optional<TItem> item(std::int32_t serial) const;
  // Changes whenever the diff items are numbered afresh (load, save).
  std::uint64_t generation() const { return m_generation; }
  // Whether the diff holds block b and it is changed; setBlockChanged sets the flag of a block the
  // diff holds and ignores any other.
  bool blockChanged(std::int64_t b) const;
  void setBlockChanged(std::int64_t b, bool changed);
  std::size_t itemCount() const { return m_state.items.size(); }
  const std::vector<StaticDiffEntry>& entries() const { return m_state.entries; }
  const Bytes& blockListImage() const { return m_blockList; }
  const Bytes& indexImage() const { return m_index; }
  const Bytes& dataImage() const { return m_data; }

  // Problems met while loading files or reading blocks since the last call.
  std::vector<std::string> takeProblems() { return std::move(m_problems); }

private:
  struct State {
    std::vector<StaticDiffEntry> entries;
    std::unordered_map<std::int32_t, std::size_t> firstEntry;
    std::vector<TItem> items;
    // Item positions by the block of their position, in list order per block.
    std::unordered_map<std::int64_t, std::vector<std::uint32_t>> byBlock;
    std::int32_t nextSerial = kDiffSerialBase;
  };
  TItem* find(std::int32_t serial);
  // Changes the item of this serial and marks its block changed; an unknown serial does nothing.
  template <class Change>
  void editItem(std::int32_t serial, Change change) {
    if (TItem* found = find(serial)) {
      TItem& s = *found;
      change(s);
      markChanged(blockKey(s));
    }
  }
  std::int64_t blockKey(const TItem& item) const;
  StaticDiffEntry* entryOf(std::int64_t b);
  void loadBlockItems(std::int32_t b);
  void appendItem(const TItem& item);
  void markChanged(std::int64_t b);
  std::int32_t newItem(std::uint16_t id, int x, int y, int z, std::uint16_t hue);
  void rebuildFirstEntries();

  WorldSources m_sources;
  int m_width = StaticDiffLayout::kDefaultWidth;
  int m_height = StaticDiffLayout::kDefaultHeight;
  int m_facet = 0;
  bool m_loaded = false;
  std::string m_directory;
  Bytes m_blockList;
  Bytes m_index;
  Bytes m_data;
  State m_state;
  std::uint64_t m_generation = 0;
  std::size_t m_skipped = 0;
  std::vector<std::string> m_problems;
};

}  // namespace quillotide
