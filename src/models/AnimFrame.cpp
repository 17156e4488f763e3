#include "models/AnimFrame.h"

#include <algorithm>
#include <limits>

#include "app/Error.h"
#include "app/Text.h"

namespace quillotide {

using namespace animlayout;

namespace {

// Sign-extends a 10-bit two's complement field.
int tenBits(std::uint32_t v) {
  const int x = static_cast<int>(v & 0x3FF);
  return x >= 512 ? x - 1024 : x;
}

[[noreturn]] void damaged(std::size_t frame, const std::string& why) {
  throw FormatError(formatMessage("Frame %d of the animation block is damaged: %s",
                                  {std::to_string(frame), why}));
}

}  // namespace

std::string bugPixelMessage(int width, int height, int centerX, int centerY, int length, int x,
                            int y) {
  return "BugPixel: " + std::to_string(width) + ":" + std::to_string(height) + "," +
         std::to_string(centerX) + ":" + std::to_string(centerY) + "," + std::to_string(length) +
         ":" + std::to_string(x) + ":" + std::to_string(y);
}

void AnimStrayReport::add(const AnimFrame& frame) {
  if (frame.strayPixels == 0) return;
  if (strayPixels == 0) firstMessage = frame.strayMessage;
  strayPixels += frame.strayPixels;
}

std::string AnimStrayReport::message() const {
  if (strayPixels == 0) return {};
  return firstMessage + (strayPixels == 1
                             ? std::string(" (1 pixel outside its frame)")
                             : " (" + std::to_string(strayPixels) + " pixels outside their frame)");
}

AnimBlock::AnimBlock(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {
  if (bytes.size() < kOffsetTable)
    throw FormatError(formatMessage(
        "The animation block is %d bytes long; its palette and frame count alone need 516.",
        {std::to_string(bytes.size())}));
  for (std::size_t i = 0; i < kPaletteEntries; ++i) m_palette[i] = loadU16(bytes.data() + 2 * i);
  const std::uint32_t count = loadU32(bytes.data() + kCountOffset);
  if (count > (bytes.size() - kOffsetTable) / 4)
    throw FormatError(formatMessage(
        "The animation block claims %d frames, but its %d bytes cannot hold their offset table.",
        {std::to_string(count), std::to_string(bytes.size())}));
  m_offsets.resize(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t offset = loadU32(bytes.data() + kOffsetTable + 4 * i);
    if (offset > bytes.size() - kCountOffset ||
        bytes.size() - kCountOffset - offset < kFrameHeaderBytes)
      damaged(i, formatMessage("its offset %d lies outside the block", {std::to_string(offset)}));
    m_offsets[i] = offset;
  }
}

AnimFrame AnimBlock::frame(std::size_t i, Pixel background, ZeroSizeRuns zero) const {
  if (i >= m_offsets.size()) damaged(i, "the block has no such frame");
  ByteReader r(m_bytes, "animation frame");
  r.seek(kCountOffset + m_offsets[i]);
  AnimFrame f;
  f.centerX = r.readI16();
  f.centerY = r.readI16();
  const int width = r.readU16();
  const int height = r.readU16();
  const bool noPicture = width == 0 || height == 0;
  if (static_cast<std::int64_t>(width) * height > kMaxFramePixels)
    damaged(i, formatMessage("its size %dx%d is beyond any animation frame",
                             {std::to_string(width), std::to_string(height)}));
  // A zero-size picture holds no pixels, so it costs nothing whatever its other side.
  f.picture = Bitmap32(width, height, background);
  if (noPicture && zero == ZeroSizeRuns::Skip) return f;

  try {
    for (;;) {
      const std::uint32_t header = r.readU32();
      if (header == kEndMarker) break;
      const int length = static_cast<int>(header & 0xFFF);
      const int y = tenBits(header >> 12);
      const int x = tenBits(header >> 22);
      const auto indices = r.readBytes(static_cast<std::size_t>(length));
      if (noPicture && zero == ZeroSizeRuns::Ignore) continue;
      const int row = f.centerY + y + height;
      const int column = f.centerX + x;
      for (int k = 0; k < length; ++k) {
        const int col = column + k;
        if (noPicture || row < 0 || row >= height || col < 0 || col >= width) {
          if (f.strayPixels++ == 0)
            f.strayMessage = bugPixelMessage(width, height, f.centerX, f.centerY, length, x, y);
          continue;
        }
        f.picture.at(col, row) = colour16ToPixel(m_palette[indices[static_cast<std::size_t>(k)]]);
      }
    }
  } catch (const FormatError&) {
    damaged(i, "its runs leave the block before the end marker");
  }
  return f;
}

std::vector<AnimFrame> AnimBlock::frames(Pixel background, ZeroSizeRuns zero) const {
  // The sizes are checked first, so frames that share one large header cannot add up to gigabytes.
  std::int64_t total = 0;
  for (std::uint32_t offset : m_offsets) {
    const std::size_t at = kCountOffset + offset;
    total += static_cast<std::int64_t>(loadU16(m_bytes.data() + at + 4)) *
             loadU16(m_bytes.data() + at + 6);
  }
  if (total > kMaxBlockPixels)
    throw FormatError(
        formatMessage("The frames of the animation block would need %d pixels; no "
                      "animation comes near that.",
                      {std::to_string(total)}));
  std::vector<AnimFrame> out;
  out.reserve(m_offsets.size());
  for (std::size_t i = 0; i < m_offsets.size(); ++i) out.push_back(frame(i, background, zero));
  return out;
}

AnimPaletteBuilder::AnimPaletteBuilder() : m_entry(new std::uint8_t[kColours]) {
  m_palette[0] = 0;
  m_used = 1;
  remember(0, 0);
}

AnimPaletteBuilder::AnimPaletteBuilder(const AnimPalette& fixed)
    : m_palette(fixed),
      m_used(static_cast<int>(kPaletteEntries)),
      m_entry(new std::uint8_t[kColours]) {
  // The first equal entry wins; entries with bit 15 set never equal a reduced colour.
  for (int i = static_cast<int>(kPaletteEntries) - 1; i >= 0; --i)
    if (fixed[static_cast<std::size_t>(i)] < kColours)
      remember(fixed[static_cast<std::size_t>(i)], static_cast<std::uint8_t>(i));
}

void AnimPaletteBuilder::remember(Colour16 colour, std::uint8_t entry) {
  m_known[colour >> 6] |= std::uint64_t{1} << (colour & 63);
  m_entry[colour] = entry;
}

std::uint8_t AnimPaletteBuilder::addColour(Colour16 colour) {
  if (m_used < static_cast<int>(kPaletteEntries)) {
    m_palette[static_cast<std::size_t>(m_used)] = colour;
    remember(colour, static_cast<std::uint8_t>(m_used));
    return static_cast<std::uint8_t>(m_used++);
  }
  if (m_problems++ == 0) m_firstProblem = colour;
  return 0;
}

Bytes encodeAnimFrame(const Bitmap32& picture, int centerX, int centerY,
                      AnimPaletteBuilder& palette, AnimTransparency transparency,
                      const std::string& what) {
  // A picture of zero width or height keeps its other side: it is a frame without runs.
  const int width = std::max(picture.width, 0);
  const int height = std::max(picture.height, 0);
  if (width > 0xFFFF || height > 0xFFFF)
    throw Error(
        formatMessage("%s is %dx%d pixels; an animation frame holds at most 65535x65535.",
                      {what, std::to_string(picture.width), std::to_string(picture.height)}));
  ByteWriter w(kFrameHeaderBytes + 4 +
               static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  w.i16(static_cast<std::int16_t>(static_cast<std::uint16_t>(centerX)));
  w.i16(static_cast<std::int16_t>(static_cast<std::uint16_t>(centerY)));
  w.u16(static_cast<std::uint16_t>(width));
  w.u16(static_cast<std::uint16_t>(height));
  // The stored centre is what the decoder will use, so the offsets are computed from it.
  const int cx = static_cast<std::int16_t>(static_cast<std::uint16_t>(centerX));
  const int cy = static_cast<std::int16_t>(static_cast<std::uint16_t>(centerY));
  const bool whiteTransparent = transparency == AnimTransparency::BlackAndWhite;

  std::uint8_t run[kMaxRunLength];
  int length = 0;
  auto flush = [&](int endColumn, int row) {
    const int x = endColumn - length - cx;
    const int y = row - cy - height;
    if (x < kMinOffset || x > kMaxOffset || y < kMinOffset || y > kMaxOffset)
      throw Error(formatMessage(
          "%s cannot be stored: the run at column %d, row %d lies %d:%d from the centre, and the "
          "frame format reaches only -512..511.",
          {what, std::to_string(endColumn - length), std::to_string(row), std::to_string(x),
           std::to_string(y)}));
    const std::uint32_t header = (static_cast<std::uint32_t>(y & 0x3FF) << 12) |
                                 static_cast<std::uint32_t>(length) |
                                 (static_cast<std::uint32_t>(x & 0x3FF) << 22);
    w.u32(header);
    w.bytes({run, static_cast<std::size_t>(length)});
    length = 0;
  };

  // A pixel is transparent when its colour reduces to 0 (or to 0x7FFF where white is
  // transparent): told from the bits the reduction keeps, so only opaque pixels are converted.
  constexpr Pixel kKeptBits = 0x00F8F8F8;
  const Pixel white = whiteTransparent ? kKeptBits : 0;
  const auto transparent = [white](Pixel p) {
    const Pixel kept = p & kKeptBits;
    return kept == 0 || kept == white;
  };
  for (int row = 0; row < height; ++row) {
    const Pixel* line =
        picture.pixels.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(width);
    int col = 0;
    while (col < width) {
      while (col < width && transparent(line[col])) ++col;
      int end = col;
      while (end < width && end - col < kMaxRunLength && !transparent(line[end])) ++end;
      for (; col < end; ++col) run[length++] = palette.indexOf(pixelToColour16(line[col]));
      if (length > 0) flush(col, row);
    }
  }
  w.u32(kEndMarker);
  return w.take();
}

Bytes encodeEmptyAnimFrame(int centerX, int centerY) {
  ByteWriter w(kFrameHeaderBytes + 4);
  w.u16(static_cast<std::uint16_t>(centerX));
  w.u16(static_cast<std::uint16_t>(centerY));
  w.u16(0);
  w.u16(0);
  w.u32(kEndMarker);
  return w.take();
}

Bytes buildAnimBlock(const AnimPalette& palette, const std::vector<Bytes>& frames) {
  std::size_t total = kOffsetTable + 4 * frames.size();
  for (const auto& f : frames) total += f.size();
  if (total > 0x7FFFFFFF) throw Error("The animation block would grow past 2 GB.");
  ByteWriter w(total);
  for (Colour16 c : palette) w.u16(c);
  w.u32(static_cast<std::uint32_t>(frames.size()));
  std::uint32_t offset = static_cast<std::uint32_t>(4 + 4 * frames.size());
  for (const auto& f : frames) {
    w.u32(offset);
    offset += static_cast<std::uint32_t>(f.size());
  }
  for (const auto& f : frames) w.bytes(f);
  return w.take();
}

}  // namespace quillotide
