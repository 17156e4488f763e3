#pragma once
// TLight: the light masks of lightidx.mul / light.mul. A slot is width x height intensity bytes,
// row by row; the record's `extra` holds (width << 16) | height. Light has its own presence rule:
// a record is present unless one of its three fields is -1 (a length of 0 counts as present), and
// the picture is read as width x height bytes from `lookup` whatever `length` says.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "app/Bytes.h"
#include "app/Colour.h"
#include "app/IndexedFile.h"

namespace quillotide {

// The light presence rule for one record.
constexpr bool isLightPresent(const IndexRecord& r) {
  return r.lookup != -1 && r.length != -1 && r.extra != -1;
}

// Intensity bytes -> picture: v becomes grey (v, v, v), 0 becomes pure green. Throws FormatError
// when the bytes are fewer than width x height.
Bitmap32 decodeLight(std::span<const std::uint8_t> bytes, int width, int height);
// Picture -> intensity bytes: the blue channel of every pixel (pure green gives 0, grey v gives v);
// a fully transparent pixel (alpha 0) gives 0.
// Throws Error when the picture is empty or wider or higher than 65535 pixels.
Bytes encodeLight(const Bitmap32& picture);

class TLight {
public:
  // Throws FileError when a file cannot be opened; the model keeps what it had.
  void load(const std::string& indexPath, const std::string& dataPath);
  // Writes both files, each replaced whole. Returns false when nothing was written (low-memory).
  bool save(const std::string& indexPath, const std::string& dataPath) const;
  bool isLoaded() const { return m_files.isLoaded(); }

  std::int64_t lightCount() const { return m_files.recordCount(); }
  // The light presence rule; false when not loaded or beyond the index.
  bool lightExists(std::int64_t i) const;
  std::optional<IndexRecord> record(std::int64_t i) const { return m_files.record(i); }
  int lightWidth(std::int64_t i) const;
  int lightHeight(std::int64_t i) const;

  // The decoded picture; empty when the slot is not present. A slot whose bytes lie outside the
  // data file throws one FormatError naming the slot.
  Bitmap32 lightPicture(std::int64_t i) const;
  // The width x height bytes of a present slot; nullopt when not present. Throws as lightPicture.
  std::optional<Bytes> slotBytes(std::int64_t i) const;

  void writeLight(std::int64_t i, const Bitmap32& picture);
  // Reads a BMP or PNG file and writes it as slot i; the picture reader's error leaves the slot.
  void importLight(std::int64_t i, const std::string& picturePath);
  void deleteLight(std::int64_t i);
  // As IndexedFile::rebuild, with the light presence rule: a present record's width x height bytes
  // are copied, so records of length 0 keep their pictures. Throws DamagedSlotError naming the
  // slot when a present record points outside the data file (the targets are then left
  // untouched), or with skipDamaged writes it as (-1, -1, -1). Returns the slots left out.
  std::vector<std::int64_t> rebuild(const std::string& indexPath, const std::string& dataPath,
                                    Progress& progress, Random& random,
                                    bool skipDamaged = false) const;

  const IndexedFile& files() const { return m_files; }

private:
  IndexedFile m_files;
};

}  // namespace quillotide
