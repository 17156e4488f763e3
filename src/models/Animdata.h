#pragma once
// TAnimdata: animdata.mul, the table that makes static tiles animate. The file is groups of a 4-byte
// header and eight 68-byte records; the record of tile t holds 64 frame offsets (frame k shows art
// id t + offset[k]), a frame count, the frame interval and the start delay (both in 50 ms units).
// The model holds the file as one byte image; every byte it does not edit is written back as read.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/Bytes.h"

namespace quillotide {

namespace animdatalayout {
constexpr std::size_t kGroupHeader = 4;
constexpr std::size_t kRecordsPerGroup = 8;
constexpr std::size_t kRecordSize = 68;
constexpr std::size_t kGroupSize = kGroupHeader + kRecordsPerGroup * kRecordSize;  // 548
constexpr std::size_t kFrameOffsets = 64;
constexpr std::size_t kUnknown = 64;
constexpr std::size_t kFrameCount = 65;
constexpr std::size_t kFrameInterval = 66;
constexpr std::size_t kStartDelay = 67;
// Tile ids a record can be written for; the file of the largest grows to about 4.5 MB.
constexpr int kMaxTile = 0xFFFF;
}  // namespace animdatalayout

struct AnimdataRecord {
  std::array<std::int8_t, animdatalayout::kFrameOffsets> offsets{};
  std::uint8_t unknown = 0;  // not interpreted, kept
  std::uint8_t frameCount = 0;
  std::uint8_t frameInterval = 0;  // 50 ms units
  std::uint8_t startDelay = 0;     // 50 ms units
  bool operator==(const AnimdataRecord&) const = default;
};

class TAnimdata {
public:
  // Reads the whole file; throws FileError when it cannot be read; the model keeps what it had.
  void load(const std::string& path);
  // Takes a file image already in memory.
  void loadBytes(Bytes bytes);
  // Writes the image unchanged but for edited records; replaced whole. Throws Error when nothing
  // was loaded.
  void save(const std::string& path) const;
  bool isLoaded() const { return m_loaded; }

  // The byte offset of tile t's record: (t div 8) x 548 + 4 + (t mod 8) x 68.
  static std::uint64_t recordOffset(int tile);
  // Tiles whose whole record lies inside the file; 0 when not loaded.
  int tileCount() const;
  // nullopt when not loaded or the record lies (partly) past the end of the file.
  std::optional<AnimdataRecord> readEntry(int tile) const;
  // Writes the 68 bytes of tile t and nothing else; a file that ends before the record grows with
  // zero groups. Throws Error when not loaded, for a tile outside 0..0xFFFF, or for a frame count
  // above the 64 frame offsets a record has, unless the record holds that count already.
  void writeEntry(int tile, const AnimdataRecord& record);
  // Changes one frame offset; k must be 0..63 so the count, interval and delay stay untouched.
  void setFrameOffset(int tile, int k, int offset);

  // Frame count and interval both non-zero; false for records past the end of the file.
  bool isAnimated(int tile) const;
  int frameCount(int tile) const;
  int frameInterval(int tile) const;
  int startDelay(int tile) const;
  // The frames a preview can show: the frame count, kept within the 64 frame offsets.
  int playableFrames(int tile) const;
  // tile + offset[k], the offset sign-extended; k outside 0..63 shows the tile itself.
  int frameArtId(int tile, int k) const;
  // The animated tiles in id order.
  std::vector<int> animatedTiles() const;

private:
  void requireLoaded() const;
  Bytes m_bytes;
  bool m_loaded = false;
};

}  // namespace quillotide
