// Feeds arbitrary bytes to the PNG reader; what it reads must survive our writer and reader.
#include <cstdint>
#include <cstdlib>

#include "app/Error.h"
#include "app/Png.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quillotide::Bitmap32 picture;
  try {
    picture = quillotide::decodePng({data, size});
  } catch (const quillotide::FormatError&) {
    return 0;
  }
  if (picture.empty()) std::abort();
  if (quillotide::decodePng(quillotide::encodePng(picture)) != picture) std::abort();
  return 0;
}
