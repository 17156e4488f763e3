// Feeds arbitrary bytes to the land tile and static art decoders and drawers: they must never read
// outside the bytes, and whatever decodes must survive an encode and a decode unchanged (after the
// first decode has mapped transparent colours to the white background). The first three bytes
// place the drawings in a small target; the rest is the slot.
//
//   cmake --preset fuzz -B build/fuzz && cmake --build build/fuzz --target fuzz_art
//   build/fuzz/fuzz/fuzz_art -max_total_time=60 -max_len=6000
#include <cstdint>
#include <cstdlib>
#include <span>

#include "app/Error.h"
#include "models/Art.h"

using namespace quillotide;

namespace {

void checkStatic(std::span<const std::uint8_t> bytes) {
  Bitmap32 first;
  try {
    first = decodeStaticArt(bytes);
  } catch (const FormatError&) {
    return;
  }
  if (first.pixels.size() !=
      static_cast<std::size_t>(first.width) * static_cast<std::size_t>(first.height))
    std::abort();
  const auto size = staticArtSize(bytes);
  if (!size || size->first != first.width || size->second != first.height) std::abort();
  // Round trips of very large pictures add time, not coverage.
  if (first.pixels.size() > (1u << 20)) return;
  Bitmap32 second;
  try {
    second = decodeStaticArt(encodeStaticArt(first));
  } catch (const FormatError&) {
    std::abort();  // our own encoder wrote something the decoder refuses
  } catch (const Error&) {
    return;  // rows shared in the input can need more run data than the row table reaches
  }
  if (decodeStaticArt(encodeStaticArt(second)) != second) std::abort();
}

void checkLand(std::span<const std::uint8_t> bytes) {
  Bitmap32 first;
  try {
    first = decodeLandTile(bytes);
  } catch (const FormatError&) {
    if (bytes.size() >= kLandTileBytes) std::abort();
    return;
  }
  if (decodeLandTile(encodeLandTile(first)) != first) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  // The first bytes choose where the drawers place the picture in a small target.
  const int dx = static_cast<std::int8_t>(data[0]) / 4;
  const int dy = static_cast<std::int8_t>(data[1]) / 4;
  const bool grey = data[2] & 1;
  const std::span<const std::uint8_t> bytes(data + 3, size - 3);

  checkStatic(bytes);
  checkLand(bytes);

  HueRamp ramp{};
  for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<Colour16>(i * 0x421);
  Bitmap32 target(40, 30, 0);
  try {
    drawStaticArt(bytes, dx, dy, target);
    drawStaticArtHued(bytes, dx, dy, &ramp, grey, target);
  } catch (const FormatError&) {
  }
  try {
    drawLandTileHued(bytes, dx, dy, grey ? &ramp : nullptr, target);
  } catch (const FormatError&) {
  }
  return 0;
}
