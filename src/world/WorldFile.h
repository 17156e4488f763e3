#pragma once
// TWorldFile: the items the user places in the world editor, kept apart from the statics until
// they are written to a text world file, into the statics or into the static diffs. An item's
// serial is 0x2FFFFFF plus its position in the list; deleted items keep their place.
//
// Three text formats: plain ("0x%x %d %d %d 0x%x" per item), Sphere51a ("[WORLDITEM ...]"
// sections) and WSC ("SECTION WORLDITEM" sections). Loaders add the items of a file; a number
// that does not parse stops the load with "'%s' is not a valid integer value" (a missing piece:
// "List index out of bounds (%d)"), and so does, naming its line, a value an item cannot hold
// (id or hue above 0xFFFF, x or y outside 0 to 65535, z outside -128 to 127); the items before it
// stay added. Sphere51a and WSC keys are whole words at the start of a line.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "models/ItemText.h"
#include "world/Item.h"

namespace quillotide {

enum class WorldTextFormat { Plain, Sphere51a, Wsc };

// One line of the plain format, "0x%x %d %d %d 0x%x": id, x, y, z, hue.
std::string plainWorldLine(std::uint16_t id, std::int64_t x, std::int64_t y, std::int64_t z,
                           std::uint16_t hue);
// Reads a plain line (line `number`, counted from 1, for the messages); x and y must lie in
// `position`, z in `height`, id and hue in 0 .. 0xFFFF. Throws Error as the loaders do.
TextItem readPlainWorldLine(std::string_view line, std::size_t number, ValueRange position,
                            ValueRange height);

// "text", "sphere" or "wsc"; throws Error for any other name.
WorldTextFormat worldTextFormatByName(const std::string& name);

// The rectangle query takes the world as this large unless told the loaded world's size.
constexpr int kWorldFileWidth = 6144;
constexpr int kWorldFileHeight = 4096;

class TWorldFile {
public:
  TWorldFile() = default;
  explicit TWorldFile(const WorldSources& sources) : m_sources(sources) {}
  void setSources(const WorldSources& sources) { m_sources = sources; }

  // Appends a new item (kind 6) and returns its serial.
  std::int32_t add(std::uint16_t id, std::uint16_t x, std::uint16_t y, std::int8_t z,
                   std::uint16_t hue);
  // Appends copies of the undeleted items inside the rectangle (clipped to the world of
  // worldWidth x worldHeight cells) to the end of `list`, in list order, and returns the list.
  std::vector<TItem>& appendItemsInRect(int xa, int xb, int ya, int yb, std::vector<TItem>& list,
                                        int worldWidth = kWorldFileWidth,
                                        int worldHeight = kWorldFileHeight) const;

  // Serial-based changes; a serial that names no item is ignored. Select and deselect do nothing.
  void select(std::int32_t) {}
  void deselect(std::int32_t) {}
  void remove(std::int32_t serial);
  void setHue(std::int32_t serial, std::uint16_t hue);
  void setTileId(std::int32_t serial, std::uint16_t id);
  // x and y wrap within 16 bits, z within 8 bits.
  void move(std::int32_t serial, int dx, int dy, int dz);
  void clear();
  // Takes back a delete.
  void restore(std::int32_t serial);
  // A copy of the item, or nullopt for a serial that names none.
  std::optional<TItem> item(std::int32_t serial) const;
  // Replaces every item by `items` (as items() gave them), numbered from the first serial on:
  // an undo of a load or a clear.
  void assign(std::vector<TItem> items);
  // Keeps the first `size` items: an undo of the newest adds.
  void truncate(std::size_t size);
  // Changes whenever the items are numbered afresh without the user asking for it: when a save
  // into the statics or the diffs drops the unwritten items.
  std::uint64_t generation() const { return m_generation; }

  // Copies the caller owns: the items of kind 6, or all items, in list order.
  std::vector<TItem> unwrittenItems() const;
  std::vector<TItem> allItems() const;
  // Keeps only the items already written (kind 5); the next serial follows them.
  void dropUnwritten();

  std::size_t size() const { return m_items.size(); }
  bool empty() const { return m_items.empty(); }
  const std::vector<TItem>& items() const { return m_items; }

  // Reads a text file and adds its items; FileError when it cannot be read. Returns the number
  // of items added.
  std::size_t load(const std::string& path, WorldTextFormat format);
  std::size_t loadLines(const std::vector<std::string>& lines, WorldTextFormat format);
  std::size_t loadText(const std::string& path) { return load(path, WorldTextFormat::Plain); }
  std::size_t loadSphere51a(const std::string& path) {
    return load(path, WorldTextFormat::Sphere51a);
  }
  std::size_t loadWsc(const std::string& path) { return load(path, WorldTextFormat::Wsc); }

  // The lines of every undeleted item. Marks nothing.
  std::vector<std::string> lines(WorldTextFormat format) const;
  // Writes the lines (the file replaced whole) and marks every item written. An empty list writes
  // nothing and leaves an existing file as it is; returns false then.
  bool save(const std::string& path, WorldTextFormat format);
  bool saveText(const std::string& path) { return save(path, WorldTextFormat::Plain); }
  bool saveSphere51a(const std::string& path) { return save(path, WorldTextFormat::Sphere51a); }
  bool saveWsc(const std::string& path) { return save(path, WorldTextFormat::Wsc); }

private:
  TItem* find(std::int32_t serial);
  WorldSources m_sources;
  std::vector<TItem> m_items;
  std::int32_t m_nextSerial = kWorldSerialBase;
  std::uint64_t m_generation = 0;
};

}  // namespace quillotide
