#pragma once
// TGump: the interface pictures of gumpidx.mul / gumpart.mul. Each slot is one picture stored as
// horizontal runs of equal colour behind a row table; the index record's `extra` holds
// (width << 16) | height. The pair is always held in memory; changes stay there until save.
// The same slot format carries gump patches in verdata.mul, so the codec is free-standing.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "app/Bytes.h"
#include "app/Colour.h"
#include "app/IndexedFile.h"

namespace quillotide {

// The largest width and height a gump can have: both share one 32-bit `extra`.
constexpr int kMaxGumpSide = 0xFFFF;

// Width and height packed into a record's `extra` (both read unsigned).
constexpr int gumpWidthOf(std::int32_t extra) {
  return static_cast<int>(static_cast<std::uint32_t>(extra) >> 16);
}
constexpr int gumpHeightOf(std::int32_t extra) {
  return static_cast<int>(static_cast<std::uint32_t>(extra) & 0xFFFF);
}
constexpr std::int32_t gumpExtra(int width, int height) {
  return static_cast<std::int32_t>((static_cast<std::uint32_t>(width) << 16) |
                                   (static_cast<std::uint32_t>(height) & 0xFFFF));
}

// Decodes one gump slot into a width x height picture (pixels not covered by a run stay 0). Every
// colour is drawn, 0 included. Throws FormatError (one message for the whole slot) when the row
// table or a row's runs lie outside the bytes, or the size cannot be backed by the data. Runs that
// reach past a row's right edge are skipped; their pixel count goes to *strayPixels when given.
Bitmap32 decodeGump(std::span<const std::uint8_t> bytes, int width, int height,
                    std::int64_t* strayPixels = nullptr);

// Encodes a picture as gump slot bytes: row table, then maximal runs of equal Colour16 per row. No
// colour is transparent; a fully transparent pixel (alpha 0) is stored as colour 0, which the game
// leaves undrawn. Throws Error when the picture is empty or wider or higher than 65535
// pixels (its size would not fit the record); nothing is produced then.
Bytes encodeGump(const Bitmap32& picture);

class TGump {
public:
  // Throws FileError when a file cannot be opened; the model keeps what it had.
  void load(const std::string& indexPath, const std::string& dataPath);
  // Writes both files, each replaced whole. Returns false when nothing was written (low-memory).
  // Throws Error when nothing was loaded, or naming every full slot whose record's extra is no
  // size the readers take back (see gumpSizeFits): nothing is written then.
  bool save(const std::string& indexPath, const std::string& dataPath) const;
  // (Both: one .uop path as the index, data path empty or the same, is a container.)
  // Reads gumpartLegacyMUL.uop as the pair it stands for (each entry's width and height go to
  // the record's extra). Errors as load; FormatError naming an entry that cannot be read.
  void loadUop(const std::string& path);
  bool isUop() const { return m_files.isUop(); }
  // What happened to the container read since (see IndexedFile::changedOnDisk).
  std::optional<std::string> changedOnDisk() const { return m_files.changedOnDisk(); }
  const std::string& uopPath() const { return m_files.uopPath(); }
  // Writes the gumps as a container, replaced whole (see IndexedFile::saveUop); refuses slots as
  // save does, with a container's limit on the pixels.
  void saveUop(const std::string& path) const;
  bool isLoaded() const { return m_files.isLoaded(); }

  // Index size / 12; 0 when not loaded.
  std::int64_t gumpCount() const { return m_files.recordCount(); }
  // False when not loaded, beyond the index or empty by the common rule.
  bool gumpExists(std::int64_t g) const { return m_files.exists(g); }
  // Why slot g's entry in the container read cannot be read ("Gump 0x5: entry 3 (...): ..."),
  // while the slot is not written: it reads as empty and its entry is kept on save. Nullopt for
  // every other slot.
  std::optional<std::string> gumpUnreadable(std::int64_t g) const { return m_files.unreadable(g); }
  // From the record's `extra`; 0 when not loaded or beyond the index.
  int gumpWidth(std::int64_t g) const;
  int gumpHeight(std::int64_t g) const;
  std::optional<IndexRecord> record(std::int64_t g) const { return m_files.record(g); }
  // The slot's raw bytes; nullopt when empty. Throws FormatError when the record points outside
  // the data file.
  std::optional<Bytes> slotBytes(std::int64_t g) const { return m_files.readSlot(g); }

  // The decoded picture; an empty picture for an empty slot (for an unreadable one, *problem says
  // why). A damaged slot throws one FormatError naming the slot. When runs spill past the right
  // edge the picture is still returned and *problem receives one message for the slot (left empty
  // otherwise).
  Bitmap32 gumpPicture(std::int64_t g, std::string* problem = nullptr) const;

  // Encodes the picture and appends it as slot g (records up to g are added as empty records when
  // g lies beyond the index). Nothing is written when encoding fails.
  void writeGump(std::int64_t g, const Bitmap32& picture);
  // Reads a BMP or PNG file and writes it as slot g; the picture reader's error leaves the slot.
  void importGump(std::int64_t g, const std::string& picturePath);
  // Writes (-1, -1, -1) at slot g; the data stays until a rebuild.
  void deleteGump(std::int64_t g);
  // Writes a compacted copy of the pair (see IndexedFile::rebuild); a damaged record is named
  // "Gump 0x%x" in the error, or left out with skipDamaged. Returns the slots left out.
  std::vector<std::int64_t> rebuild(const std::string& indexPath, const std::string& dataPath,
                                    Progress& progress, Random& random,
                                    bool skipDamaged = false) const;

  const IndexedFile& files() const { return m_files; }

private:
  IndexedFile m_files;
};

}  // namespace quillotide
