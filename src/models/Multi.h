#pragma once
// TMulti: the multi-tile objects of multi.idx / multi.mul. A slot is a run of 12-byte components,
// each a static art id placed at (x, y, z) from the multi's centre, with flags. Both files are held
// in memory; changes live there until save. The four text formats are the exchange files of server
// and design tools; every export reads back through its import with the same components.

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/Colour.h"
#include "app/IndexedFile.h"
#include "app/UopPair.h"

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
  MultiComponent() = default;
  MultiComponent(std::uint16_t tileId, std::int16_t dx, std::int16_t dy, std::int16_t dz,
                 std::uint32_t tileFlags, std::vector<std::uint32_t> numbers = {})
      : id(tileId), x(dx), y(dy), z(dz), flags(tileFlags), clilocs(std::move(numbers)) {}
  std::uint16_t id = 0;
  std::int16_t x = 0;
  std::int16_t y = 0;
  std::int16_t z = 0;
  std::uint32_t flags = 0;
  // The cliloc numbers a container gives the component (a door's, a tiller man's); the MUL form
  // has no place for them.
  std::vector<std::uint32_t> clilocs;
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

// The 12-byte records of the components (flags as they are, cliloc lists left out).
Bytes encodeMultiComponents(const std::vector<MultiComponent>& components);

// A multi entry of MultiCollection.uop: u32 id, u32 tile count, per tile u16 id, i16 x, y, z,
// u16 flags, u32 cliloc count and the clilocs. Throws FormatError when a count runs past the
// payload or bytes follow the last tile.
std::vector<MultiComponent> decodeUopMulti(std::span<const std::uint8_t> payload);
// The entry of multi `id`. Throws Error naming the component when its flags do not fit the
// container's 16 bits.
Bytes encodeUopMulti(std::uint32_t id, const std::vector<MultiComponent>& components);
// MultiCollection.uop as a pair of plain components: the tiles' 16 flag bits are the low bits of
// the MUL flags; cliloc lists are neither kept nor written (TMulti keeps them).
UopForm multiUopForm();

class TMulti {
public:
  // Reads both files whole; throws FileError when one cannot be read; the model keeps what it had.
  void load(const std::string& indexPath, const std::string& dataPath);
  // Takes both file images already in memory.
  void loadBytes(Bytes index, Bytes data);
  // Writes both images, each file replaced whole. Throws Error when nothing was loaded. Returns the
  // number of cliloc lists the MUL form could not take (see clilocListCount).
  // (Both: one .uop path as the index, data path empty or the same, is a container.)
  std::int64_t save(const std::string& indexPath, const std::string& dataPath) const;
  // Reads MultiCollection.uop as the pair it stands for: each multi's tiles become 12-byte
  // components, their 16 flag bits the low bits of the MUL flags; the cliloc lists stay with the
  // model (components()) and go back into a container; housing.bin is kept byte for byte and is
  // no slot. Errors as load; FormatError naming an entry that cannot be read.
  void loadUop(const std::string& path);
  bool isUop() const { return m_files.isUop(); }
  const std::string& uopPath() const { return m_files.uopPath(); }
  // Writes the multis as a container, replaced whole (see IndexedFile::saveUop). Throws Error,
  // writing nothing, when a component's flags need more than 16 bits.
  void saveUop(const std::string& path) const;
  // The components with a cliloc list over every slot: what a save as MUL leaves out.
  std::int64_t clilocListCount() const;
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
  UopForm uopFormFor() const;
  // Cliloc lists per component of a slot, valid while the slot's record is the one they came
  // with (a changed slot without lists of its own has none).
  struct SlotClilocs {
    IndexRecord record;
    std::vector<std::vector<std::uint32_t>> lists;
  };
  std::map<std::int64_t, SlotClilocs> m_clilocs;
  IndexedFile m_files;
};

}  // namespace quillotide
