#pragma once
// TMulti: the multi-tile objects of multi.idx / multi.mul. A slot is a run of 12-byte components,
// each a static art id placed at (x, y, z) from the multi's centre, with flags. Both files are held
// in memory; changes live there until save. The four text formats are the exchange files of server
// and design tools; every export reads back through its import with the same components.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/Colour.h"
#include "app/IndexedFile.h"

namespace quillotide {

class TArt;

namespace multilayout {
constexpr std::size_t kComponentSize = 12;
// The slots the multi page lists: 0 .. 0x1FF0.
constexpr std::int64_t kSlotCount = 0x1FF1;
constexpr std::int64_t kMaxSlot = 0xFFFF;
// Sphere51a and WSC place a multi at this world position and number its items from here.
constexpr int kWorldX = 5400;
constexpr int kWorldY = 1100;
constexpr std::uint32_t kFirstSerial = 0x404D5D93;
}  // namespace multilayout

struct MultiComponent {
  std::uint16_t id = 0;
  std::int16_t x = 0;
  std::int16_t y = 0;
  std::int16_t z = 0;
  std::uint32_t flags = 0;
  bool operator==(const MultiComponent&) const = default;
};

enum class MultiTextFormat { Sphere51a, Wsc, PlainText, UoaText };

// The lines of a text export of the components.
std::vector<std::string> multiText(const std::vector<MultiComponent>& components,
                                   MultiTextFormat format);
// Components collected from a text file's lines, before re-centring. Sphere51a and WSC keys are
// whole words at the start of a line ("MOREX" is not "X"); a Sphere position without z has z 0.
// Throws Error with the integer rule's message for a number that does not parse, saying which
// line lacks a field, or naming the line of a value a component cannot hold (an id above 0xFFFF,
// a coordinate outside 16 bits).
std::vector<MultiComponent> parseMultiText(const std::vector<std::string>& lines,
                                           MultiTextFormat format);
// Moves the components so that the middle of their x and y span is 0 and the lowest z is 0.
// Throws Error, changing nothing, when an offset from the centre would not fit 16 bits.
void recentre(std::vector<MultiComponent>& components);
// The components of slot bytes (a trailing piece shorter than 12 bytes is no component).
std::vector<MultiComponent> decodeMultiComponents(std::span<const std::uint8_t> bytes);

class TMulti {
public:
  // Reads both files whole; throws FileError when one cannot be read; the model keeps what it had.
  void load(const std::string& indexPath, const std::string& dataPath);
  // Takes both file images already in memory.
  void loadBytes(Bytes index, Bytes data);
  // Writes both images, each file replaced whole. Throws Error when nothing was loaded.
  void save(const std::string& indexPath, const std::string& dataPath) const;
  bool isLoaded() const { return m_files.isLoaded(); }

  std::int64_t recordCount() const { return m_files.recordCount(); }
  std::optional<IndexRecord> record(std::int64_t slot) const { return m_files.record(slot); }
  bool slotExists(std::int64_t slot) const { return m_files.exists(slot); }
  // The slot's components in file order; empty for an empty slot. FormatError naming the slot
  // when its data lies outside the data file.
  std::vector<MultiComponent> components(std::int64_t slot) const;

  // The assembled multi drawn from the static art, on white. Throws Error "Load Art first." when
  // the art is not loaded; an empty slot gives an empty picture. FormatError when the multi's
  // extent would need a picture beyond the art's largest size.
  Bitmap32 multiPicture(std::int64_t slot, const TArt* art) const;

  // Writes the slot's text file (replaced whole); false, writing nothing, for an empty slot.
  bool exportText(std::int64_t slot, const std::string& path, MultiTextFormat format) const;
  // Reads the whole file, re-centres the components and appends them as the slot (extra -1). A
  // file that does not parse changes nothing.
  void importText(std::int64_t slot, const std::string& path, MultiTextFormat format);
  // Appends the components as the slot, as they are.
  void writeComponents(std::int64_t slot, const std::vector<MultiComponent>& components);
  // Record (-1, -1, -1); a slot beyond the index is left alone.
  void deleteSlot(std::int64_t slot);

  const IndexedFile& files() const { return m_files; }

private:
  IndexedFile m_files;
};

}  // namespace quillotide
