// The sample Progress.idx / Progress.mul: true-colour pictures with soft alpha edges, two for
// static art ids (the torch's glow and the campfire's) and one for a gump.
#include <algorithm>
#include <cmath>

#include "app/Colour.h"
#include "app/FileIO.h"
#include "models/ProgressArchive.h"
#include "sample/Sample.h"

namespace quillotide::sample {

namespace {

// A round glow: the colour everywhere, alpha falling from the middle to nothing at the rim.
Bitmap32 glow(int side, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  Bitmap32 picture(side, side, 0);
  const double centre = (side - 1) / 2.0;
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      const double d = std::hypot(x - centre, y - centre) / centre;
      const auto a = static_cast<std::uint8_t>(std::lround(255 * std::clamp(1 - d, 0.0, 1.0)));
      picture.at(x, y) = makePixel(r, g, b, a);
    }
  return picture;
}

// A framed panel: opaque border, half-transparent parchment inside with a colour ramp.
Bitmap32 panel(int w, int h) {
  Bitmap32 picture(w, h, 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool border = x < 4 || y < 4 || x >= w - 4 || y >= h - 4;
      const auto shade = static_cast<std::uint8_t>(150 + 80 * x / w);
      picture.at(x, y) = border ? makePixel(90, 60, 30) : makePixel(shade, 200, 140, 160);
    }
  return picture;
}

}  // namespace

void writeProgress(const std::string& dir) {
  using namespace progresslayout;
  TProgress archive;
  archive.loadBytes({}, {});
  archive.writeEntry(kArtKind, 0x10, glow(40, 255, 200, 80));
  archive.writeEntry(kArtKind, 0x1D, glow(64, 255, 120, 30));
  archive.writeEntry(kGumpKind, 0x1, panel(120, 80));
  archive.save(joinPath(dir, "Progress.idx"), joinPath(dir, "Progress.mul"));
}

}  // namespace quillotide::sample
