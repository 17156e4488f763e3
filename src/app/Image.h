#pragma once
// Picture files chosen by extension: ".bmp" or ".png", in any letter case.

#include <string>

#include "app/Colour.h"

namespace quillotide {

enum class ImageFormat { Bmp, Png };

// The format named by the path's extension; throws Error for any other extension.
ImageFormat imageFormatOf(const std::string& path);
// Reads a BMP or PNG; errors as readBmpFile / readPngFile, Error for an unknown extension.
Bitmap32 readImageFile(const std::string& path);
// Writes a BMP (32 bits per pixel) or PNG (RGBA); the file is replaced whole.
void writeImageFile(const std::string& path, const Bitmap32& bitmap);

}  // namespace quillotide
