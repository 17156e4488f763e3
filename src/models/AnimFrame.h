#pragma once
// The animation frame block that every animation index slot points to (anim*.mul and animation
// patches of verdata.mul): a 256-colour palette, a frame count, a frame offset table and the
// frames, each a header (centre, width, height) and rows of palette-index runs up to the end
// marker.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/Bytes.h"
#include "app/Colour.h"

namespace quillotide {

namespace animlayout {
constexpr std::size_t kPaletteEntries = 256;
constexpr std::size_t kPaletteBytes = kPaletteEntries * 2;
// The frame count; the frame offsets count from here.
constexpr std::size_t kCountOffset = kPaletteBytes;
constexpr std::size_t kOffsetTable = kCountOffset + 4;
constexpr std::size_t kFrameHeaderBytes = 8;
constexpr std::uint32_t kEndMarker = 0x7FFF7FFF;
// Run headers: 12 bits of length, 10-bit two's complement Y and X offsets.
constexpr int kMaxRunLength = 1024;
constexpr int kMinOffset = -512;
constexpr int kMaxOffset = 511;
// Pictures the decoder allocates: a frame header of eight bytes must not ask for gigabytes. Real
// frames are a few hundred pixels wide and high.
constexpr std::int64_t kMaxFramePixels = std::int64_t{1} << 22;
constexpr std::int64_t kMaxBlockPixels = std::int64_t{1} << 25;
}  // namespace animlayout

using AnimPalette = std::array<Colour16, animlayout::kPaletteEntries>;

// One frame, decoded.
struct AnimFrame {
  int centerX = 0;
  int centerY = 0;
  // Width x Height as the frame header gives them; a frame of zero width or height keeps its other
  // side (a 7 x 0 frame is a picture of 7 x 0 without pixels).
  Bitmap32 picture;
  // Run pixels that fell outside the picture are skipped and counted; the first is described in
  // the "BugPixel: " form so that a damaged frame gives one message, not one per pixel.
  std::int64_t strayPixels = 0;
  std::string strayMessage;
};

// The run pixels outside their pictures over several frames, summed up in one message for the
// user: the first pixel's "BugPixel: " text and the count.
struct AnimStrayReport {
  std::int64_t strayPixels = 0;
  std::string firstMessage;

  void add(const AnimFrame& frame);
  explicit operator bool() const { return strayPixels > 0; }
  // "BugPixel: ... (N pixels outside their frame)"; empty when there were none.
  std::string message() const;
};

// What decoding does with the runs of a frame whose width or height is 0: not read at all, read
// with every pixel counted as stray, or read and dropped silently.
enum class ZeroSizeRuns { Skip, Report, Ignore };

// A frame block checked against its bytes: the palette, the frame count and every frame offset
// lie inside the block. The view keeps a reference to the bytes, which must outlive it.
class AnimBlock {
public:
  // Throws FormatError when the block is shorter than its palette and count, or when the count or
  // an offset points outside the bytes.
  explicit AnimBlock(std::span<const std::uint8_t> bytes);

  const AnimPalette& palette() const { return m_palette; }
  std::size_t frameCount() const { return m_offsets.size(); }
  // Decodes frame i onto a picture filled with `background`. Throws FormatError when the frame's
  // header or runs leave the block, its end marker is missing, or its size exceeds kMaxFramePixels.
  AnimFrame frame(std::size_t i, Pixel background, ZeroSizeRuns zero = ZeroSizeRuns::Skip) const;
  // Every frame, in order; errors as frame(), and FormatError when all frames together exceed
  // kMaxBlockPixels.
  std::vector<AnimFrame> frames(Pixel background, ZeroSizeRuns zero = ZeroSizeRuns::Skip) const;

private:
  std::span<const std::uint8_t> m_bytes;
  AnimPalette m_palette{};
  std::vector<std::uint32_t> m_offsets;
};

// Which reduced colours a frame encoder leaves out: the animation files drop black and white
// (0 and 0x7FFF), animation patches of verdata only black.
enum class AnimTransparency { BlackAndWhite, BlackOnly };

// The palette of one slot as its frames are encoded. A colour takes the first equal entry in use;
// a colour not yet there gets the next free entry; when all 256 are in use it counts one colour
// problem and takes entry 0.
class AnimPaletteBuilder {
public:
  // Entry 0 is colour 0 and is the only entry in use.
  AnimPaletteBuilder();
  // A palette read from a palette file: all 256 entries in use.
  explicit AnimPaletteBuilder(const AnimPalette& fixed);

  // The palette entry of the colour (bit 15 ignored): its first entry, else a new one while the
  // palette has room, else entry 0 (counted as a problem).
  std::uint8_t indexOf(Colour16 colour) {
    colour &= 0x7FFF;
    if ((m_known[colour >> 6] >> (colour & 63)) & 1) return m_entry[colour];
    return addColour(colour);
  }
  // Entries beyond the used ones are zero.
  const AnimPalette& palette() const { return m_palette; }
  int used() const { return m_used; }
  std::int64_t problems() const { return m_problems; }
  // The first colour that found no place (valid when problems() > 0).
  Colour16 firstProblemColour() const { return m_firstProblem; }

private:
  static constexpr std::size_t kColours = 0x8000;
  void remember(Colour16 colour, std::uint8_t entry);
  std::uint8_t addColour(Colour16 colour);
  AnimPalette m_palette{};
  int m_used = 0;
  std::int64_t m_problems = 0;
  Colour16 m_firstProblem = 0;
  // Reduced colour -> its first palette entry, one step per lookup. A builder is made per slot,
  // so only the bits saying which colours are known start cleared (4 KB), not the whole table.
  std::array<std::uint64_t, kColours / 64> m_known{};
  std::unique_ptr<std::uint8_t[]> m_entry;
};

// Encodes a picture as one frame: header, runs row by row, end marker. The centre is kept in its
// low 16 bits. Opaque runs longer than the run buffer are split. Throws Error when the picture is
// wider or taller than 65535 or a run's offsets fall outside -512..511 (the frame format cannot
// hold them); `what` names the frame in that message.
Bytes encodeAnimFrame(const Bitmap32& picture, int centerX, int centerY,
                      AnimPaletteBuilder& palette, AnimTransparency transparency,
                      const std::string& what);
// An empty frame: header with the given centre and size 0 x 0, no runs. A picture of zero width or
// height given to encodeAnimFrame keeps its size in the header instead.
Bytes encodeEmptyAnimFrame(int centerX, int centerY);

// The block of a slot: palette, count, offsets (each counted from the count), frames.
Bytes buildAnimBlock(const AnimPalette& palette, const std::vector<Bytes>& frames);

// The "BugPixel: " text of a run pixel outside its picture.
std::string bugPixelMessage(int width, int height, int centerX, int centerY, int length, int x,
                            int y);

}  // namespace quillotide
