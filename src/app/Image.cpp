#include "app/Image.h"

#include "app/Bmp.h"
#include "app/Error.h"
#include "app/Png.h"
#include "app/Text.h"

namespace quillotide {

ImageFormat imageFormatOf(const std::string& path) {
  const auto dot = path.find_last_of("./");
  const std::string ext =
      dot == std::string::npos || path[dot] != '.' ? "" : toUpper(path.substr(dot));
  if (ext == ".BMP") return ImageFormat::Bmp;
  if (ext == ".PNG") return ImageFormat::Png;
  throw Error(formatMessage("%s: unknown picture format (use .bmp or .png)", {path}));
}

Bitmap32 readImageFile(const std::string& path) {
  return imageFormatOf(path) == ImageFormat::Bmp ? readBmpFile(path) : readPngFile(path);
}

void writeImageFile(const std::string& path, const Bitmap32& bitmap) {
  if (imageFormatOf(path) == ImageFormat::Bmp)
    writeBmpFile(path, bitmap);
  else
    writePngFile(path, bitmap);
}

}  // namespace quillotide
