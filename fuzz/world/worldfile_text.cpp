// Run: cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_worldfile_text
//      mkdir -p /tmp/corpus-worldfile-text && build/fuzz/fuzz/fuzz_worldfile_text
//      /tmp/corpus-worldfile-text -max_total_time=120
//
// Feeds arbitrary text to the world file reader of this format (see WorldFileFuzz.h).
#include "WorldFileFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return fuzzWorldFile(data, size, quillotide::WorldTextFormat::Plain);
}
