// Run: cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_progress
//      mkdir -p /tmp/corpus-progress && build/fuzz/fuzz/fuzz_progress /tmp/corpus-progress
//      -max_total_time=60
//
// A progress archive whose index is the first 16 x n bytes (n from the first byte) and whose data
// is the rest: every live entry is looked up and decoded with and without alpha.
#include <cstdint>
#include <cstdlib>

#include "app/Error.h"
#include "models/ProgressArchive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillotide;
  if (size < 1) return 0;
  const std::size_t indexSize = std::min<std::size_t>(size - 1, std::size_t{data[0]} * 16);
  TProgress archive;
  archive.loadBytes(Bytes(data + 1, data + 1 + indexSize),
                    Bytes(data + 1 + indexSize, data + size));
  for (const std::int32_t kind : {0, 1}) {
    for (const std::int32_t id : archive.entryIds(kind)) {
      try {
        const Bitmap32 a = archive.entryPicture(kind, id, true);
        const Bitmap32 b = archive.entryPicture(kind, id, false);
        if (a.width != b.width || a.height != b.height) std::abort();
      } catch (const FormatError&) {
      }
    }
  }
  return 0;
}
