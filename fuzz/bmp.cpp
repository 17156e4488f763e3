// Feeds arbitrary bytes to the bitmap reader: it must never crash or read outside its buffer, and
// whatever it reads must survive our writer and reader unchanged.
#include <cstdint>
#include <cstdlib>

#include "app/Bmp.h"
#include "app/Error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quillotide::Bitmap32 picture;
  try {
    picture = quillotide::decodeBmp({data, size});
  } catch (const quillotide::FormatError&) {
    return 0;
  }
  if (picture.empty() ||
      picture.pixels.size() != static_cast<std::size_t>(picture.width) * picture.height)
    std::abort();
  if (quillotide::decodeBmp(quillotide::encodeBmp(picture)) != picture) std::abort();
  return 0;
}
