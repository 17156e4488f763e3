// Run: cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_sound
//      mkdir -p /tmp/corpus-sound && build/fuzz/fuzz/fuzz_sound /tmp/corpus-sound
//      -max_total_time=60
//
// The first byte picks the reader: the wave import's chunk walk, or a sound pair whose index is
// the first half of the rest and data the second, read slot by slot and exported as a wave.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "app/Error.h"
#include "models/Sound.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillotide;
  if (size < 1) return 0;
  const std::span<const std::uint8_t> rest(data + 1, size - 1);
  if (data[0] & 1) {
    try {
      const auto samples = waveSamples(rest, "fuzz.wav");
      // The samples lie inside the file.
      if (samples.data() < rest.data() ||
          samples.data() + samples.size() > rest.data() + rest.size())
        std::abort();
    } catch (const FormatError&) {
    }
    return 0;
  }
  const std::size_t half = rest.size() / 2;
  TSound sound;
  sound.loadBytes(Bytes(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(half)),
                  Bytes(rest.begin() + static_cast<std::ptrdiff_t>(half), rest.end()));
  for (std::int64_t i = 0; i < sound.recordCount() && i < 64; ++i) {
    try {
      sound.soundName(i);
      const auto samples = sound.samples(i);
      if (samples && waveSamples(makeWave(*samples), "export").size() != samples->size())
        std::abort();
    } catch (const FormatError&) {
    }
  }
  return 0;
}
