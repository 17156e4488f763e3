#pragma once
// Windows BMP files. The reader takes any BMP a user may hand over: 1, 4, 8, 16, 24 and 32 bits
// per pixel, palettes, BI_RLE4, BI_RLE8, BI_BITFIELDS, top-down and bottom-up rows, the OS/2
// 12-byte header, the V2 to V5 headers and a PNG stored inside a BMP. The writer writes 32 bits
// per pixel, uncompressed, bottom-up.

#include <cstdint>
#include <span>
#include <string>

#include "app/Bytes.h"
#include "app/Colour.h"

namespace quillotide {

class WriteBatch;

// The largest width and height a bitmap may have; larger headers are refused before anything is
// allocated.
constexpr int kMaxBitmapSide = 0x8000;
// The most pixels a picture file may hold (8192 x 8192, 256 MB as pixels), whatever its sides;
// larger headers are refused before anything is allocated.
constexpr std::uint64_t kMaxBitmapPixels = 0x4000000;

// Whether a bitmap of zero width or height is a picture (the animation folders store zero-size
// frames so) or a defect, as for every other picture import.
enum class ZeroSizeBitmaps { Refuse, Allow };

// Decodes a BMP into a picture of alpha-255 pixels (the fourth byte of 32-bit pixels carries no
// meaning). Throws FormatError with a message naming the defect on a lying header, truncated pixel
// data, a palette index past the palette, an unsupported compression or an absurd size. Pixels an
// RLE stream leaves undrawn are black. With ZeroSizeBitmaps::Allow a header of zero width or height
// gives a picture of that size without pixels.
Bitmap32 decodeBmp(std::span<const std::uint8_t> bytes,
                   ZeroSizeBitmaps zero = ZeroSizeBitmaps::Refuse);
// Reads and decodes the file; throws FileError "Cannot open file %s" or FormatError (the message
// then names the file).
Bitmap32 readBmpFile(const std::string& path, ZeroSizeBitmaps zero = ZeroSizeBitmaps::Refuse);

// 32 bits per pixel, BI_RGB, bottom-up; the fourth byte of each pixel is the pixel's alpha.
// Throws Error for an empty picture, unless zero-size bitmaps are allowed: a picture of zero width
// or height (neither negative) is then a header without pixels.
Bytes encodeBmp(const Bitmap32& bitmap, ZeroSizeBitmaps zero = ZeroSizeBitmaps::Refuse);
// Replaces the file whole; throws FileError "Cannot create file %s".
void writeBmpFile(const std::string& path, const Bitmap32& bitmap,
                  ZeroSizeBitmaps zero = ZeroSizeBitmaps::Refuse);
// The same as a new file of an export job, flushed with the rest of the job (see WriteBatch).
void writeBmpFile(const std::string& path, const Bitmap32& bitmap, WriteBatch& batch,
                  ZeroSizeBitmaps zero = ZeroSizeBitmaps::Refuse);

}  // namespace quillotide
