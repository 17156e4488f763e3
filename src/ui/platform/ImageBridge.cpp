#include "ui/platform/ImageBridge.h"

#include <cstring>

namespace quillotide::ui {

QImage toQImage(const Bitmap32& bitmap) {
  if (bitmap.empty() ||
      bitmap.pixels.size() != static_cast<std::size_t>(bitmap.width) * static_cast<std::size_t>(bitmap.height))
    return {};
  QImage image(bitmap.width, bitmap.height, QImage::Format_ARGB32);
  if (image.isNull()) return {};
  // Format_ARGB32 holds each pixel as a native 32-bit 0xAARRGGBB, the same as Pixel.
  const std::size_t rowBytes = static_cast<std::size_t>(bitmap.width) * sizeof(Pixel);
  for (int y = 0; y < bitmap.height; ++y)
    std::memcpy(image.scanLine(y), &bitmap.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(bitmap.width)], rowBytes);
  return image;
}

}  // namespace quillotide::ui
