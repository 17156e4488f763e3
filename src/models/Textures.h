#pragma once
// TTextures: the ground textures of texidx.mul / texmaps.mul. A slot holds S x S Colour16 values,
// row by row, with no header; S follows from the slot's byte length. Memory or low-memory mode;
// in low-memory mode every change goes straight into the open files.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "app/Bytes.h"
#include "app/Colour.h"
#include "app/IndexedFile.h"
#include "models/HueChoice.h"

namespace quillotide {

class THues;

// The hue entry whose ramp draws the selection highlight.

// The side of the square texture stored in `length` bytes: the six known lengths give 8, 16, 32,
// 64, 256 and 512; every other length is taken as 128.
int textureSideForLength(std::int64_t length);
// True for the sides a texture may have: 8, 16, 32, 64, 128, 256, 512.
bool isTextureSide(int side);

// Decodes texture slot bytes into an S x S picture. Throws FormatError (one message) when the
// bytes are fewer than S x S colours need; bytes beyond them are ignored.
Bitmap32 decodeTexture(std::span<const std::uint8_t> bytes);
// Encodes a square picture as texture bytes (every pixel through rgbToColour16, no transparency).
// Throws Error with the size message when the picture is not one of the allowed squares.
Bytes encodeTexture(const Bitmap32& picture);
// The record's `extra` for a texture of this side: 0 for 64 x 64, 1 otherwise.
constexpr std::int32_t textureExtra(int side) { return side == 64 ? 0 : 1; }
// The warning for squares most clients cannot show (neither 64 nor 128); nullopt otherwise.
std::optional<std::string> textureSizeWarning(const Bitmap32& picture);

// The message for a picture that is not an allowed square (the trailing blank belongs to it).
extern const char* const kTextureSizeMessage;
// The warning for allowed squares other than 64 x 64 and 128 x 128.
extern const char* const kTextureUnusualSizeWarning;

// The selection highlight: every pixel p becomes colour n of the highlight ramp, n being the 5-bit
// red of p, or 1 when that is 0. The ramp is hue entry 154 of the first hue table.
Bitmap32 highlightTexture(const Bitmap32& picture, std::span<const Colour16, 32> highlightRamp);

class TTextures {
public:
  // Throws FileError when a file cannot be opened; the model keeps what it had.
  void load(const std::string& indexPath, const std::string& dataPath, StorageMode mode);
  // Writes both files, each replaced whole. Returns false when nothing was written (low-memory).
  bool save(const std::string& indexPath, const std::string& dataPath) const;
  bool isLoaded() const { return m_files.isLoaded(); }
  StorageMode mode() const { return m_files.mode(); }

  std::int64_t textureCount() const { return m_files.recordCount(); }
  bool textureExists(std::int64_t i) const { return m_files.exists(i); }
  std::optional<IndexRecord> record(std::int64_t i) const { return m_files.record(i); }
  std::optional<Bytes> slotBytes(std::int64_t i) const { return m_files.readSlot(i); }
  // The side the slot decodes to; 0 when empty.
  int textureSide(std::int64_t i) const;

  // The decoded picture; empty for an empty slot. A damaged slot throws one FormatError naming it.
  Bitmap32 texturePicture(std::int64_t i) const;
  // For the world editor: the selection tint draws the highlight with the given ramp, every other
  // choice draws the plain picture.
  Bitmap32 texturePictureHued(std::int64_t i, HueChoice hue,
                              std::span<const Colour16, 32> highlightRamp) const;
  // The same with the ramp of the hue table: a table without the selection entry (or none)
  // leaves the pixels in their own colours.
  Bitmap32 texturePictureHued(std::int64_t i, HueChoice hue, const THues* hues) const;

  // Encodes and appends the picture as slot i. Throws Error with the size message (nothing is
  // written) for a picture that is not an allowed square; returns the warning for unusual sizes.
  std::optional<std::string> writeTexture(std::int64_t i, const Bitmap32& picture);
  // Reads a BMP or PNG file and writes it as slot i (see writeTexture).
  std::optional<std::string> importTexture(std::int64_t i, const std::string& picturePath);
  void deleteTexture(std::int64_t i);
  // A compacted copy of the pair (see IndexedFile::rebuild); a damaged record is named
  // "Texture 0x%x" in the error, or left out with skipDamaged. Returns the slots left out.
  std::vector<std::int64_t> rebuild(const std::string& indexPath, const std::string& dataPath,
                                    Progress& progress, Random& random,
                                    bool skipDamaged = false) const;

  const IndexedFile& files() const { return m_files; }

private:
  IndexedFile m_files;
};

}  // namespace quillotide
