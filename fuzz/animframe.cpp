// Feeds arbitrary bytes to the animation frame block decoder: it must never read outside the block,
// and every frame that decodes must survive an encode and a decode with the same opaque pixels.
#include <cstdint>
#include <cstdlib>

#include "app/Error.h"
#include "models/AnimFrame.h"

using namespace quillotide;

namespace {

// The picture as a re-encoded frame shows it: reduced black and white become transparent.
Bitmap32 opaqueOnly(const Bitmap32& in) {
  Bitmap32 out(in.width, in.height, 0);
  for (std::size_t i = 0; i < in.pixels.size(); ++i) {
    const Colour16 c = pixelToColour16(in.pixels[i]);
    if (c != 0 && c != 0x7FFF && (in.pixels[i] >> 24) != 0) out.pixels[i] = colour16ToPixel(c);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  std::vector<AnimFrame> frames;
  try {
    const AnimBlock block(bytes);
    for (ZeroSizeRuns zero : {ZeroSizeRuns::Skip, ZeroSizeRuns::Report, ZeroSizeRuns::Ignore})
      frames = block.frames(0, zero);
  } catch (const FormatError&) {
    return 0;
  }
  for (const auto& f : frames) {
    if (f.picture.pixels.size() != static_cast<std::size_t>(f.picture.width) * static_cast<std::size_t>(f.picture.height))
      std::abort();
    if ((f.strayPixels > 0) == f.strayMessage.empty()) std::abort();
    if (f.picture.empty() || f.picture.pixels.size() > (1u << 18)) continue;
    AnimPaletteBuilder palette;
    Bytes encoded;
    try {
      encoded = encodeAnimFrame(f.picture, f.centerX, f.centerY, palette, AnimTransparency::BlackAndWhite, "frame");
    } catch (const FormatError&) {
      std::abort();
    } catch (const Error&) {
      continue;  // pixels beyond the reach of the run offsets
    }
    // A frame's pixels come from one palette of 256 entries, so they always fit a new one.
    if (palette.problems() != 0) std::abort();
    const Bytes again = buildAnimBlock(palette.palette(), {encoded});
    try {
      const AnimFrame back = AnimBlock(again).frame(0, 0);
      if (back.picture != opaqueOnly(f.picture) || back.strayPixels != 0) std::abort();
    } catch (const FormatError&) {
      std::abort();
    }
  }
  return 0;
}
