#pragma once
// TArt: land tiles and statics of artidx.mul / art.mul.
//
// Land tile t is index record t (t = 0 ... 0x3FFF): a 44 x 44 diamond of 1012 raw colours. Static
// id s is index record 0x4000 + s: a run-length encoded picture of any size. Every picture handed
// out is a copy the caller owns; nothing is cached. A damaged slot raises FormatError naming the
// slot; an empty slot answers with an empty picture (0 x 0) and sizes of 0.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "app/Bytes.h"
#include "app/Colour.h"
#include "app/IndexedFile.h"
#include "app/Progress.h"
#include "app/Random.h"
#include "models/HueChoice.h"

namespace quillotide {

class THues;

constexpr std::int64_t kLandTileCount = 0x4000;
// Record number of static id 0.
constexpr std::int64_t kStaticBase = 0x4000;
// The highest static id anything writes: the game addresses items with 16 bits.
constexpr std::int64_t kMaxStaticId = 0xFFFF;
constexpr int kLandTileSize = 44;
constexpr std::size_t kLandTilePixels = 1012;
constexpr std::size_t kLandTileBytes = 2 * kLandTilePixels;
// The largest static picture the decoder allocates and the encoder accepts (pixels): keeps a
// lying header of a few bytes from asking for gigabytes.
constexpr std::int64_t kMaxStaticPixels = 0x1000000;
// The longest run the encoder writes; longer runs of opaque pixels are split with a gap of 0.
constexpr int kMaxStaticRun = 2048;
// Colour of static pixels that plain drawing skips (transparent).
constexpr Colour16 kStaticSkipColour = 0x7FFF;

// A hue's 32 colours, darkest first.
using HueRamp = std::array<Colour16, 32>;

// Land tile bytes (at least 2024; more are ignored) as a 44 x 44 picture on opaque white. Throws
// FormatError when fewer bytes are there.
Bitmap32 decodeLandTile(std::span<const std::uint8_t> bytes);
// Static art bytes as a W x H picture on opaque white, 0x7FFF pixels left as background. Throws
// FormatError when the header, row table or runs do not fit the bytes, when W or H is 0, or when
// W x H exceeds kMaxStaticPixels.
Bitmap32 decodeStaticArt(std::span<const std::uint8_t> bytes);
// The 2024 bytes of a land tile: the diamond positions of the picture in stored order. Alpha is
// not looked at. Throws Error naming both sizes for a picture that is not 44 x 44.
Bytes encodeLandTile(const Bitmap32& picture);
// Static art bytes of a picture: pixels that convert to 0 (black) or 0x7FFF (white) are
// transparent, and so are fully transparent pixels (alpha 0). Throws Error, saying why, when the
// picture cannot be stored: width or height 0 or above 0xFFFF, more than kMaxStaticPixels, or run
// data too long for the 16-bit row table.
Bytes encodeStaticArt(const Bitmap32& picture);

// W and H of static art bytes; nullopt when the bytes are too short for the header.
std::optional<std::pair<int, int>> staticArtSize(std::span<const std::uint8_t> bytes);
// Draws static art bytes into an existing picture with its top left at (dx, dy), skipping 0x7FFF
// pixels and everything outside the target or the static's own W x H box. FormatError as decode.
void drawStaticArt(std::span<const std::uint8_t> bytes, int dx, int dy, Bitmap32& target);
// Hued drawing of static art (0x7FFF drawn like any colour). ramp nullptr: every pixel in its own
// colour; otherwise a pixel of red r (8 bits) becomes ramp[r >> 3], or ramp[1] when r >> 3 is 0.
// greyOnly: only pixels with equal red, green and blue take the hue, the rest keep their colour.
void drawStaticArtHued(std::span<const std::uint8_t> bytes, int dx, int dy, const HueRamp* ramp,
                       bool greyOnly, Bitmap32& target);
// Hued drawing of land tile bytes, as drawStaticArtHued without greyOnly.
void drawLandTileHued(std::span<const std::uint8_t> bytes, int dx, int dy, const HueRamp* ramp,
                      Bitmap32& target);
// The mean colour of every pixel that is not pure white (the background), alpha 255; nullopt
// when there is none.
std::optional<Pixel> averageColour(const Bitmap32& picture);

class TArt {
 public:
  // Throws FileError when a file cannot be opened; the model keeps what it had. One .uop path as
  // the index (data path empty or the same) loads that container as loadUop does.
  void load(const std::string& indexPath, const std::string& dataPath, StorageMode mode);
  // Writes both files, each replaced whole. Returns false when nothing was written (low-memory).
  // One .uop path as the index (data path empty or the same) writes a container as saveUop does.
  bool save(const std::string& indexPath, const std::string& dataPath) const;
  // Reads artLegacyMUL.uop as the pair it stands for. A container is always held in memory: asked
  // for Low Memory, it still loads and returns the notice to show, else nullopt. Errors as load,
  // FormatError naming the entry that cannot be read.
  std::optional<std::string> loadUop(const std::string& path,
                                     StorageMode mode = StorageMode::Memory);
  // Whether the art was read from a container, and which.
  bool isUop() const { return m_files.isUop(); }
  // What happened to the container read since (see IndexedFile::changedOnDisk).
  std::optional<std::string> changedOnDisk() const { return m_files.changedOnDisk(); }
  const std::string& uopPath() const { return m_files.uopPath(); }
  // Writes the art as a container, replaced whole; unchanged entries of the container read are
  // copied as they were. Throws Error when nothing is loaded, FileError when it cannot be written.
  void saveUop(const std::string& path) const;
  bool isLoaded() const { return m_files.isLoaded(); }
  StorageMode mode() const { return m_files.mode(); }

  // Whole records of the index (land and statics).
  std::int64_t recordCount() const { return m_files.recordCount(); }
  // Records past the land section: 0 when the index holds 0x4000 records or fewer.
  std::int64_t staticCount() const;

  bool landExists(std::int64_t t) const;
  bool staticExists(std::int64_t s) const;
  // The slot's index record; nullopt beyond the index or for ids out of range.
  std::optional<IndexRecord> landRecord(std::int64_t t) const;
  std::optional<IndexRecord> staticRecord(std::int64_t s) const;

  // W and H from the static's header; 0 for an empty slot or one whose record cannot hold a
  // header.
  int staticArtWidth(std::int64_t s) const;
  int staticArtHeight(std::int64_t s) const;

  // Pictures on opaque white: 44 x 44 for land, W x H for statics; empty (0 x 0) for an empty
  // slot. FormatError naming the slot when its data is damaged.
  Bitmap32 landPicture(std::int64_t t) const;
  Bitmap32 staticPicture(std::int64_t s) const;
  // The raw bytes of a slot (for verdata and copies); nullopt for an empty slot.
  std::optional<Bytes> landData(std::int64_t t) const;
  std::optional<Bytes> staticData(std::int64_t s) const;

  // Draws static s into an existing picture at (dx, dy); an empty slot draws nothing.
  void drawStatic(std::int64_t s, int dx, int dy, Bitmap32& target) const;
  // The world editor's drawing of static s at (dx, dy), hued as chosen with the ramps of `hues`.
  // A hue the table does not hold (or no table) draws the pixels in their own colours.
  void drawStaticHued(std::int64_t s, int dx, int dy, HueChoice hue, const THues* hues,
                      Bitmap32& target) const;
  // Land takes only the selection tint; every other choice draws own colours.
  void drawLandHued(std::int64_t t, int dx, int dy, HueChoice hue, const THues* hues,
                    Bitmap32& target) const;

  // Encode and write a slot (appended to the data file, record rewritten). The file forms read
  // BMP or PNG; their errors leave everything unchanged, as does a picture that cannot be encoded.
  void importLand(std::int64_t t, const std::string& bitmapPath);
  void importLand(std::int64_t t, const Bitmap32& picture);
  void importStatic(std::int64_t s, const std::string& bitmapPath);
  void importStatic(std::int64_t s, const Bitmap32& picture);
  // Writes already encoded bytes (verdata patches, copies between files).
  void writeLandData(std::int64_t t, std::span<const std::uint8_t> bytes);
  void writeStaticData(std::int64_t s, std::span<const std::uint8_t> bytes, std::int32_t tag = 0);

  // Record (-1, -1, -1); a slot beyond the index is left alone.
  void deleteLand(std::int64_t t);
  void deleteStatic(std::int64_t s);

  // Mean colour for the radar colour table; nullopt for an empty slot or one without any
  // non-background pixel.
  std::optional<Pixel> landAverageColour(std::int64_t t) const;
  std::optional<Pixel> staticAverageColour(std::int64_t s) const;

  // "Offset: %d Length: %d Tag: %d" of the static's record (an absent record reads -1, -1, -1).
  std::string staticDetails(std::int64_t s) const;
  // Replaces the record's extra; throws Error when the static lies beyond the index.
  void setStaticTag(std::int64_t s, std::int32_t tag);
  // Appends records (-1, -1, 0) until statics 0 ... 0x7FFF exist; returns how many were added.
  std::int64_t fillStaticSlots();

  // A compacted copy of the pair over all records (the model keeps its own files). A damaged
  // record stops it with DamagedSlotError naming the land tile or static, or with skipDamaged is
  // left out; returns the records left out (see IndexedFile::rebuild).
  std::vector<std::int64_t> rebuild(const std::string& indexPath, const std::string& dataPath,
                                    Progress& progress, Random& random,
                                    bool skipDamaged = false) const;

  IndexedFile& files() { return m_files; }
  const IndexedFile& files() const { return m_files; }

 private:
  // W and H from the slot's header; nullopt for an empty slot or one too short for a header.
  std::optional<std::pair<int, int>> staticHeaderSize(std::int64_t s) const;

  IndexedFile m_files;
};

// How the art index names record n: "Land tile 0x3" below 0x4000, "Static 0x5" above.
std::string artRecordName(std::int64_t record);

}  // namespace quillotide
