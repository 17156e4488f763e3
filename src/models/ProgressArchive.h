#pragma once
// TProgress: the progress archive Progress.idx / Progress.mul of true-colour pictures with alpha,
// stored as PNG streams, for static art ids ("Art (S)", kind 0) and gump ids ("Gumps", kind 1).
// The index is a plain run of 16-byte records (lookup, length, id, kind); the model keeps both
// files as byte images and a table from (kind, id) to the position of the id's latest record.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/Bytes.h"
#include "app/Colour.h"

namespace quillotide {

namespace progresslayout {
constexpr std::size_t kRecordSize = 16;
constexpr std::int32_t kArtKind = 0;
constexpr std::int32_t kGumpKind = 1;
constexpr std::int32_t kArtIds = 0x8000;
constexpr std::int32_t kGumpIds = 0x10000;
constexpr std::size_t kTableSize = static_cast<std::size_t>(kArtIds + kGumpIds);
}  // namespace progresslayout

struct ProgressRecord {
  std::int32_t lookup = 0;
  std::int32_t length = 0;
  std::int32_t id = 0;
  std::int32_t kind = 0;
  bool operator==(const ProgressRecord&) const = default;
};

class TProgress {
public:
  // Reads both files whole and rebuilds the table. All or nothing: when a file cannot be read the
  // archive loaded before (and the loaded flag) stays as it was and the FileError propagates.
  // Records of another kind are ignored; records whose id lies outside the table are skipped and
  // counted (skippedRecords).
  void load(const std::string& indexPath, const std::string& dataPath);
  // Takes both file images already in memory.
  void loadBytes(Bytes index, Bytes data);
  // Writes a compacted copy: the live entries, kind 0 then kind 1, ids ascending, streams back to
  // back. Both files are replaced whole; nothing is written when not loaded (returns false). A
  // live record pointing outside the data throws FormatError naming the entry, before any write.
  bool save(const std::string& indexPath, const std::string& dataPath) const;
  bool isLoaded() const { return m_loaded; }
  int skippedRecords() const { return m_skipped; }

  // False when not loaded, for another kind or an id outside the kind's range.
  bool entryExists(std::int32_t kind, std::int32_t id) const;
  // The live record of an entry; throws Error when the entry does not exist.
  ProgressRecord entryRecord(std::int32_t kind, std::int32_t id) const;
  // Ids of the kind that have an entry, ascending.
  std::vector<std::int32_t> entryIds(std::int32_t kind) const;
  // The decoded picture: with alpha, opaque grey of the alpha value; without, the colours made
  // opaque. Empty when not loaded or absent; FormatError with the PNG library's reason for a
  // damaged stream.
  Bitmap32 entryPicture(std::int32_t kind, std::int32_t id, bool alpha) const;
  // The entry's picture with its alpha, decoded; throws as entryPicture, or Error when absent.
  Bitmap32 entryImage(std::int32_t kind, std::int32_t id) const;
  // Decodes the entry and writes it as a PNG file (replaced whole); false when absent.
  bool exportPng(std::int32_t kind, std::int32_t id, const std::string& path) const;
  // Reads a PNG file of colour type 6 (RGB with alpha), encodes it again and appends it as the
  // entry. Does nothing when not loaded. Throws Error "Colorformat has to be RGBALPHA" for any
  // other colour type; the archive is then unchanged.
  void importPng(std::int32_t kind, std::int32_t id, const std::string& path);
  // Appends an encoding of the picture as the entry (the alpha channel kept).
  void writeEntry(std::int32_t kind, std::int32_t id, const Bitmap32& picture);
  // Forgets the entry; its bytes stay until the next save.
  void deleteEntry(std::int32_t kind, std::int32_t id);

  const Bytes& indexImage() const { return m_index; }
  const Bytes& dataImage() const { return m_data; }

private:
  // The table position of (kind, id), or -1 when the pair has none.
  static std::int64_t slotOf(std::int32_t kind, std::int32_t id);
  ProgressRecord recordAt(std::int32_t position) const;
  Bytes stream(std::int32_t kind, std::int32_t id) const;

  Bytes m_index;
  Bytes m_data;
  std::vector<std::int32_t> m_table = std::vector<std::int32_t>(progresslayout::kTableSize, -1);
  bool m_loaded = false;
  int m_skipped = 0;
};

// The colour type byte of a PNG stream's header; -1 when the bytes do not start like a PNG.
int pngColourType(std::span<const std::uint8_t> bytes);

}  // namespace quillotide
