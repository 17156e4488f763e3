// Feeds arbitrary bytes to the .kx reader for bodies of all three types: it must refuse what does
// not fit without reading outside the file, and what it accepts must survive a write and a read.
#include <cstdint>
#include <cstdlib>

#include "app/Error.h"
#include "models/AnimExchange.h"

using namespace quillotide;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  const int slotsOfType[] = {110, 65, 175};
  for (std::uint16_t type = 0; type < 3; ++type) {
    std::vector<KxSlot> slots;
    try {
      slots = decodeKx(bytes, type, slotsOfType[type]);
    } catch (const Error&) {
      continue;
    }
    if (slots.size() != static_cast<std::size_t>(slotsOfType[type])) std::abort();
    for (const auto& s : slots)
      if (!s.record.isEmpty() && s.data.size() != static_cast<std::size_t>(s.record.length)) std::abort();
    std::vector<KxSlot> back;
    try {
      back = decodeKx(encodeKx(type, slots), type, slotsOfType[type]);
    } catch (const Error&) {
      std::abort();
    }
    for (std::size_t k = 0; k < slots.size(); ++k) {
      if (back[k].data != slots[k].data || back[k].record.extra != slots[k].record.extra) std::abort();
      if (slots[k].record.isEmpty() && back[k].record != slots[k].record) std::abort();
    }
  }
  return 0;
}
