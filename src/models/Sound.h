#pragma once
// TSound: the sound effects of soundidx.mul / sound.mul. A slot's data is a 32-byte header (a
// 16-byte name ending at its first zero byte, then 16 bytes kept as they are) followed by raw
// 16-bit PCM samples. Both files are held in memory; changes live there until save.
//
// Names are the stored 8-bit bytes as they are: no code page conversion is applied here.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "app/Bytes.h"
#include "app/IndexedFile.h"

namespace quillotide {

namespace soundlayout {
constexpr std::size_t kNameSize = 16;
constexpr std::size_t kEntryHeader = 32;
constexpr std::size_t kWaveHeader = 44;
// The stored samples are 16-bit mono at 22050 samples per second, and the exported header says so.
constexpr std::uint16_t kChannels = 1;
constexpr std::uint32_t kSampleRate = 22050;
constexpr std::uint32_t kByteRate = 44100;
constexpr std::uint16_t kBlockAlign = 2;
constexpr std::uint16_t kBitsPerSample = 16;
// Older exports declared the same bytes as 2 channels at 11025 Hz (the same byte rate); such
// files still import, their samples taken as they are.
constexpr std::uint16_t kOldChannels = 2;
constexpr std::uint32_t kOldSampleRate = 11025;
// The slots the sound page lists.
constexpr std::int64_t kSlotCount = 0x1000;
// Imports may create slots up to here; the index grows with empty records to reach them.
constexpr std::int64_t kMaxSlot = 0xFFFF;
}  // namespace soundlayout

// The 44-byte header of the exported wave file followed by the samples. Throws Error when the
// samples are too many for the header's 32-bit sizes.
Bytes makeWave(std::span<const std::uint8_t> samples);
// The sample bytes of a wave file's "data" chunk. The RIFF, "fmt " and "data" chunks are found by
// walking the chunk list, in any order, with other chunks skipped. Throws FormatError saying what
// the file is when it is shorter than 44 bytes, not a RIFF WAVE file, has no "fmt " or "data"
// chunk, is not 16-bit PCM, plays at another speed than the slots (1 channel at 22050 Hz, or the
// older header's 2 channels at 11025 Hz), its data chunk is empty, or claims more bytes than the
// file holds. `what` names the file in the messages.
std::span<const std::uint8_t> waveSamples(std::span<const std::uint8_t> file,
                                          const std::string& what);

class TSound {
public:
  // Reads both files whole; throws FileError when one cannot be read; the model keeps what it had.
  void load(const std::string& indexPath, const std::string& dataPath);
  // Takes both file images already in memory.
  void loadBytes(Bytes index, Bytes data);
  // Writes both images, each file replaced whole. Throws Error when nothing was loaded.
  void save(const std::string& indexPath, const std::string& dataPath) const;
  // (Both: one .uop path as the index, data path empty or the same, is a container.)
  // Reads soundLegacyMUL.uop as the pair it stands for. Errors as load; FormatError naming an
  // entry that cannot be read.
  void loadUop(const std::string& path);
  bool isUop() const { return m_files.isUop(); }
  // What happened to the container read since (see IndexedFile::changedOnDisk).
  std::optional<std::string> changedOnDisk() const { return m_files.changedOnDisk(); }
  const std::string& uopPath() const { return m_files.uopPath(); }
  // Writes the sounds as a container, replaced whole (see IndexedFile::saveUop).
  void saveUop(const std::string& path) const;
  bool isLoaded() const { return m_files.isLoaded(); }

  std::int64_t recordCount() const { return m_files.recordCount(); }
  std::optional<IndexRecord> record(std::int64_t slot) const { return m_files.record(slot); }
  // The common empty rule; false for every slot before a load.
  bool slotExists(std::int64_t slot) const { return m_files.exists(slot); }
  // The name field up to its first zero byte, as UTF-8 (stored in Windows-1252); empty for an
  // empty slot. FormatError naming the
  // slot when its data lies outside the data file.
  std::string soundName(std::int64_t slot) const;
  // The sample bytes (the data after the 32-byte header); nullopt for an empty slot. FormatError
  // naming the slot when its data lies outside the data file or is shorter than the header.
  std::optional<Bytes> samples(std::int64_t slot) const;

  // Writes the wave file (replaced whole) and returns true; an empty slot writes nothing and
  // returns false, leaving any file at the path alone.
  bool exportWave(std::int64_t slot, const std::string& path) const;
  // Appends an entry named after the slot in decimal with the wave file's samples and points the
  // slot at it (extra = slot + 1). A file waveSamples refuses changes nothing.
  void importWave(std::int64_t slot, const std::string& path);
  // As importWave, with the samples given directly.
  void writeSamples(std::int64_t slot, std::span<const std::uint8_t> samples);
  // Record (-1, -1, -1); a slot beyond the index is left alone.
  void deleteSlot(std::int64_t slot);

  const IndexedFile& files() const { return m_files; }

private:
  Bytes entry(std::int64_t slot, const IndexRecord& r) const;
  IndexedFile m_files;
};

}  // namespace quillotide
