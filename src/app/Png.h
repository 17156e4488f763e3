#pragma once
// PNG pictures through libpng, alpha kept.

#include <cstdint>
#include <span>
#include <string>

#include "app/Bytes.h"
#include "app/Colour.h"

namespace quillotide {

// Decodes any PNG (every colour type and depth) into 0xAARRGGBB pixels with their alpha: the
// stored values, 16-bit channels scaled to 8 bits, with no gamma or colour-space conversion
// whatever chunks the file carries. Throws FormatError with libpng's reason on damaged data or a
// size past kMaxBitmapSide.
Bitmap32 decodePng(std::span<const std::uint8_t> bytes);
Bitmap32 readPngFile(const std::string& path);
// RGBA, 8 bits per channel. Throws Error for an empty picture.
Bytes encodePng(const Bitmap32& bitmap);
// One bit a pixel (a palette of two): a pixel that is opaque and dark is ink, drawn black; every
// other pixel is the transparent ground. Throws Error for an empty picture.
Bytes encodeOneBitPng(const Bitmap32& bitmap);
// Replaces the file whole; throws FileError "Cannot create file %s".
void writePngFile(const std::string& path, const Bitmap32& bitmap);

}  // namespace quillotide
