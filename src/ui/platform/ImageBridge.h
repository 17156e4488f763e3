#pragma once
// Pictures between the core and Qt: a Bitmap32 (0xAARRGGBB, top row first) becomes a QImage of
// the same pixels, which the caller owns.

#include <QImage>

#include "app/Colour.h"

namespace quillotide::ui {

// An empty picture gives a null QImage.
QImage toQImage(const Bitmap32& bitmap);

}  // namespace quillotide::ui
