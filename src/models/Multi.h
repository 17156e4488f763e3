#pragma once
// TMulti: the multi-tile objects of multi.idx / multi.mul. A slot is a run of components, each a
// static art id placed at (x, y, z) from the multi's centre, with flags: 12 bytes each in older
// clients' files, 16 in newer ones (a further value after the flags). Nothing in the files names
// the size, so the load tells it from the slots' lengths, or from which reading gives plausible
// flags where every slot fits both. Both files are held in memory; changes live there until save,
// which keeps the layout. The four text formats are the exchange files of server and design tools;
// every export reads back through its import with the same components.

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
constexpr std::size_t kOlderComponentSize = 12;
constexpr std::size_t kNewerComponentSize = 16;
// The slots the multi page lists at least (0 .. 0x1FF0); a file with more records shows them all.
constexpr std::int64_t kSlotCount = 0x1FF1;
constexpr std::int64_t kMaxSlot = 0xFFFF;
// Sphere51a and WSC place a multi at this world position and number its items from here.
constexpr int kWorldX = 5400;
constexpr int kWorldY = 1100;
constexpr std::uint32_t kFirstSerial = 0x404D5D93;
}  // namespace multilayout

// The two component records of multi.mul: u16 id, i16 x, y, z, u32 flags (12 bytes), and in newer
// clients' files a u32 further value after them (16 bytes).
enum class MultiLayout { Older12, Newer16 };
constexpr std::size_t componentSize(MultiLayout layout) {
  return layout == MultiLayout::Newer16 ? multilayout::kNewerComponentSize
                                        : multilayout::kOlderComponentSize;
}

// How the layout of the loaded multis was decided.
enum class MultiLayoutBasis {
  NoComponents,  // no slot holds data: new components get the newer layout
  Lengths,       // the slots' lengths fit this size only (or more of them fit it)
  Plausibility,  // every slot fits both sizes: the reading whose flags stay small
  Container,     // read from a container: a save as MUL writes the newer layout
  Converted,     // converted on request since the load
};

// A component in the MUL form: flags and further value as multi.mul holds them (the further value
// is 0 in 12-byte files). Read from a container, the tiles' flags are mapped (uopFlagsOf).
struct MultiComponent {
  MultiComponent() = default;
  MultiComponent(std::uint16_t tileId, std::int16_t dx, std::int16_t dy, std::int16_t dz,
                 std::uint32_t tileFlags, std::vector<std::uint32_t> numbers = {})
      : id(tileId), x(dx), y(dy), z(dz), flags(tileFlags), clilocs(std::move(numbers)) {}
  MultiComponent(std::uint16_t tileId, std::int16_t dx, std::int16_t dy, std::int16_t dz,
                 std::uint32_t tileFlags, std::uint32_t furtherValue,
                 std::vector<std::uint32_t> numbers)
      : id(tileId),
        x(dx),
        y(dy),
        z(dz),
        flags(tileFlags),
        further(furtherValue),
        clilocs(std::move(numbers)) {}
  std::uint16_t id = 0;
  std::int16_t x = 0;
  std::int16_t y = 0;
  std::int16_t z = 0;
  std::uint32_t flags = 0;
  // The 16-byte layout's last field; its meaning is not known, so it is kept as it is.
  std::uint32_t further = 0;
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
// The components of slot bytes in the layout (a trailing piece shorter than a component is none).
std::vector<MultiComponent> decodeMultiComponents(std::span<const std::uint8_t> bytes,
                                                  MultiLayout layout);
// The records of the components in the layout (cliloc lists left out). Throws Error naming the
// component when a further value other than 0 has no place (the 12-byte layout).
Bytes encodeMultiComponents(const std::vector<MultiComponent>& components, MultiLayout layout);
// The layout slot bytes alone suggest: the one size their length fits, else the reading whose
// flags stay small (16 bytes when neither tells).
MultiLayout guessSlotLayout(std::span<const std::uint8_t> bytes);

// How flags cross between the two forms. Bit 0 means the opposite in each: MUL flags 1 is a
// container's 0, MUL 0 is 1; the MUL further value 1 is the container's 0x100. The other bits of
// the container's 16 (kCarriedFlagBits) have no known meaning on either side: they are kept in
// the same bits, so that neither form loses them, and a conversion names them.
constexpr std::uint32_t kCarriedFlagBits = 0xFEFE;
// The tile flags a container stores for MUL flags and a further value; nullopt when the MUL side
// holds what the container has no place for (flags bit 8 or a bit above 15, a further value
// above 1).
std::optional<std::uint16_t> uopFlagsOf(std::uint32_t flags, std::uint32_t further);
struct MulFlags {
  std::uint32_t flags = 0;
  std::uint32_t further = 0;
};
// The MUL flags and further value of a tile's flags in a container.
MulFlags mulFlagsOf(std::uint16_t uopFlags);

// A multi entry of MultiCollection.uop: u32 id, u32 tile count, per tile u16 id, i16 x, y, z,
// u16 flags, u32 cliloc count and the clilocs. The tiles' flags are given as the container stores
// them (not mapped). Throws FormatError when a count runs past the payload or bytes follow the
// last tile.
std::vector<MultiComponent> decodeUopMulti(std::span<const std::uint8_t> payload);
// The entry of multi `id` from tiles whose flags are the container's. Throws Error naming the
// component when its flags do not fit the container's 16 bits.
Bytes encodeUopMulti(std::uint32_t id, const std::vector<MultiComponent>& components);
// MultiCollection.uop as a pair of plain components, flags mapped both ways (uopFlagsOf): read
// into the given layout (the newer one by default), written from it (without one, each slot's
// layout is guessed from its bytes). Cliloc lists are neither kept nor written (TMulti keeps
// them). Writing throws Error naming a component whose flags have no counterpart.
UopForm multiUopForm(std::optional<MultiLayout> layout = std::nullopt);

// What a save of the multis said: the cliloc lists and the slots of unreadable container entries
// the target form could not take (the pair's save notes those), and the message to show (nullopt
// when there is nothing to say).
struct MultiSaveResult {
  std::int64_t droppedClilocLists = 0;
  std::vector<std::int64_t> unreadableLeftOut;
  std::optional<std::string> said;
};

// What an import that dropped a slot's cliloc lists says: "2 cliloc lists of Multi 0x5 were
// dropped: ...".
std::string droppedOnImportMessage(std::int64_t lists, std::int64_t slot);

// What a conversion between the layouts did.
struct MultiConversion {
  // ("slots" is a word Qt's headers take for themselves.)
  std::int64_t rewritten = 0;       // slots rewritten
  std::int64_t furtherDropped = 0;  // non-zero further values the 12-byte layout could not take
  std::int64_t trailingBytes = 0;   // bytes after the last whole component, left out
  std::string message() const;      // "Converted 3 slots." and what was left out
};

class TMulti {
public:
  // Reads both files whole and tells their layout; throws FileError when one cannot be read; the
  // model keeps what it had. Returns what the load has to say (a layout told from plausibility,
  // slots that end in a piece of a component, flag bits of no known counterpart), else nullopt;
  // the same text is added as a file note (see addFileNote), so that it is said once.
  std::optional<std::string> load(const std::string& indexPath, const std::string& dataPath);
  // Takes both file images already in memory; the layout as given, else told as load tells it.
  // Returns what load would say, without a file note.
  std::optional<std::string> loadBytes(Bytes index, Bytes data,
                                       std::optional<MultiLayout> layout = std::nullopt);
  // Writes both images, each file replaced whole, in the model's layout. Throws Error when nothing
  // was loaded. Says how many cliloc lists and which unreadable container entries the MUL form
  // could not take. (Both: one .uop path as the index, data path empty or the same, is a
  // container; see saveUop.)
  MultiSaveResult save(const std::string& indexPath, const std::string& dataPath) const;
  // Reads MultiCollection.uop as the pair it stands for: each multi's tiles become 16-byte
  // components, flags mapped (uopFlagsOf); the cliloc lists stay with the model (components())
  // and go back into a container; housing.bin is kept byte for byte and is no slot. An entry that
  // cannot be read as a multi leaves only its slot unreadable (IndexedFile::loadUop notes it; a
  // save into a container keeps the entry as it was). The index holds at least minRecords
  // records. Errors as load. Returns what the load has to say, as load.
  std::optional<std::string> loadUop(const std::string& path, std::int64_t minRecords = 0);
  bool isUop() const { return m_files.isUop(); }
  // What happened to the container read since (see IndexedFile::changedOnDisk).
  std::optional<std::string> changedOnDisk() const { return m_files.changedOnDisk(); }
  const std::string& uopPath() const { return m_files.uopPath(); }
  // Writes the multis as a container, replaced whole (see IndexedFile::saveUop). Throws Error,
  // writing nothing, naming a component whose flags or further value have no counterpart in a
  // container. Returns what it has to say (flag bits of no known meaning carried), else nullopt.
  std::optional<std::string> saveUop(const std::string& path) const;
  // A component's flags as the form read stores them: a tile's flags for multis read from a
  // container (when the MUL flags have a counterpart there), else the MUL flags.
  std::uint32_t storedFlags(const MultiComponent& component) const;
  // The components with a cliloc list over every slot: what a save as MUL leaves out.
  std::int64_t clilocListCount() const;
  bool isLoaded() const { return m_files.isLoaded(); }

  MultiLayout layout() const { return m_layout; }
  MultiLayoutBasis layoutBasis() const { return m_basis; }
  // One line on the layout and how it was told ("16-byte components (id, x, y, z, flags, further
  // value), as every slot's length gives").
  std::string layoutText() const;
  // What the last load said (see load).
  const std::optional<std::string>& loadNote() const { return m_loadNote; }
  // Rewrites every slot in the other layout. To 12 bytes, non-zero further values have no place:
  // without dropFurther that throws Error naming the first, changing nothing. Bytes after a slot's
  // last whole component are left out and counted. The same layout changes nothing.
  MultiConversion convertLayout(MultiLayout to, bool dropFurther = false);
  // Components whose further value is not 0, over every slot.
  std::int64_t furtherValueCount() const;

  std::int64_t recordCount() const { return m_files.recordCount(); }
  // The slots a list shows: 0 .. 0x1FF0, or every record the file holds when it has more.
  std::int64_t listedSlotCount() const;
  std::optional<IndexRecord> record(std::int64_t slot) const { return m_files.record(slot); }
  bool slotExists(std::int64_t slot) const { return m_files.exists(slot); }
  // Bytes after the slot's last whole component (0 for an empty slot).
  std::int64_t trailingBytes(std::int64_t slot) const;
  // Why the slot's container entry cannot be read; nullopt for every other slot (and for one
  // written or deleted since).
  std::optional<std::string> unreadableReason(std::int64_t slot) const;
  std::vector<std::int64_t> unreadableSlots() const { return m_files.unreadableSlots(); }
  // The slot's components in file order; empty for an empty or unreadable slot. FormatError naming
  // the slot when its data lies outside the data file.
  std::vector<MultiComponent> components(std::int64_t slot) const;

  // The assembled multi drawn from the static art, on white. Throws Error "Load Art first." when
  // the art is not loaded; an empty slot gives an empty picture. FormatError when the multi's
  // extent would need a picture beyond the art's largest size.
  Bitmap32 multiPicture(std::int64_t slot, const TArt* art) const;

  // Writes the slot's text file (replaced whole); false, writing nothing, for an empty slot.
  bool exportText(std::int64_t slot, const std::string& path, MultiTextFormat format) const;
  // Reads the whole file, re-centres the components and appends them as the slot (extra -1). A
  // file that does not parse changes nothing. When the slot's components are still the same
  // tiles in the same places, their cliloc lists and further values stay with them; otherwise
  // the lists go: returns how many were dropped.
  std::int64_t importText(std::int64_t slot, const std::string& path, MultiTextFormat format);
  // Appends the components as the slot, as they are, in the model's layout. Throws Error,
  // changing nothing, for a further value the 12-byte layout has no place for.
  void writeComponents(std::int64_t slot, const std::vector<MultiComponent>& components);
  // Record (-1, -1, -1); a slot beyond the index is left alone. An unreadable container entry
  // goes with its slot.
  void deleteSlot(std::int64_t slot);

  const IndexedFile& files() const { return m_files; }

private:
  struct FlagCount;
  UopForm uopFormFor(FlagCount* carried) const;
  void tellLayout();
  std::optional<std::string> noteOfLoad(const std::string& file, const FlagCount* carried) const;
  std::optional<std::string> sayLoaded(const std::string& file, const FlagCount* carried);
  // Cliloc lists per component of a slot, valid while the slot's record is the one they came
  // with (a changed slot without lists of its own has none).
  struct SlotClilocs {
    IndexRecord record;
    std::vector<std::vector<std::uint32_t>> lists;
  };
  std::map<std::int64_t, SlotClilocs> m_clilocs;
  MultiLayout m_layout = MultiLayout::Newer16;
  MultiLayoutBasis m_basis = MultiLayoutBasis::NoComponents;
  std::optional<std::string> m_loadNote;
  IndexedFile m_files;
};

}  // namespace quillotide
