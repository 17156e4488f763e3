// Run: cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_uop
//      build/fuzz/fuzz/fuzz_uop /tmp/corpus-uop -max_total_time=60
//
// Reads arbitrary bytes as a UOP container. A container that reads must give every payload or one
// FormatError, serialize to exactly the bytes it was read from, agree with verifyUop (no fault
// found means every payload inflates), and after one payload is replaced and one entry removed,
// still read back with the new payload and pass verifyUop. A refusal is one FormatError.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "app/Bytes.h"
#include "app/Error.h"
#include "app/Uop.h"

using namespace quillotide;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  const bool sound = !verifyUop(bytes).has_value();
  UopContainer uop;
  try {
    uop = UopContainer::parse(bytes, "fuzz.uop");
  } catch (const FormatError&) {
    if (sound) std::abort();
    return 0;
  }
  bool payloadsRead = true;
  for (const UopEntry& e : uop.entries()) {
    try {
      const Bytes p = uop.payload(e);
      if (p.size() != e.fullSize) std::abort();
    } catch (const FormatError&) {
      payloadsRead = false;
    }
  }
  if (sound && !payloadsRead) std::abort();
  const Bytes again = uop.serialize();
  if (again.size() != size || !std::equal(again.begin(), again.end(), data)) std::abort();
  if (uop.entries().empty()) return 0;

  // A changed payload keeps the layout; the removal then writes the client's shape.
  const std::uint64_t first = uop.entries().front().hash;
  const Bytes replacement(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size % 97));
  uop.setPayload(first, replacement, (size & 1) != 0);
  const Bytes changed = uop.serialize();
  const UopContainer read = UopContainer::parse(changed, "changed.uop");
  if (read.payload(*read.find(first)) != replacement) std::abort();
  if (uop.entries().size() > 1) {
    uop.remove(uop.entries().back().hash);
    const Bytes shaped = uop.serialize();
    if (sound && verifyUop(shaped)) std::abort();
    const UopContainer reshaped = UopContainer::parse(shaped, "shaped.uop");
    if (reshaped.entries().size() != uop.entries().size()) std::abort();
  }
  return 0;
}
