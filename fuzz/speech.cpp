// Run: cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_speech
//      build/fuzz/fuzz/fuzz_speech /tmp/corpus-speech -max_total_time=60
//
// Arbitrary bytes as speech.mul: either refused with a FormatError or read whole, and then the
// entries written back are the input byte for byte; an edit and a removal keep every other entry.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "app/Error.h"
#include "models/Speech.h"

using namespace quillotide;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  TSpeech speech;
  try {
    speech.loadBytes(bytes);
  } catch (const FormatError&) {
    return 0;
  }
  const Bytes back = speech.bytes();
  if (back.size() != size || !std::equal(back.begin(), back.end(), data)) std::abort();
  (void)speech.search("bank *");
  (void)speech.sections();
  if (speech.size() == 0) return 0;
  const std::size_t last = speech.size() - 1;
  const SpeechEntry first = speech.entry(0);
  speech.setText(last, "*edited*");
  speech.remove(last);
  if (speech.size() != last || (last > 0 && !(speech.entry(0) == first))) std::abort();
  TSpeech again;
  again.loadBytes(speech.bytes());
  if (again.entries() != speech.entries()) std::abort();
  return 0;
}
