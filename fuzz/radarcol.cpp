// Run: cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_radarcol
//      build/fuzz/fuzz/fuzz_radarcol /tmp/corpus-radarcol -max_total_time=60
//
// Arbitrary bytes as radarcol.mul: every entry reads as its two bytes (0 past the end), setting an
// entry anywhere in range grows the table with zeros (after a trailing odd byte, which is kept)
// and changes nothing else, and a save loads
// back to the same bytes. The last four bytes also choose the entry that is set.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "FuzzFiles.h"
#include "app/Bytes.h"
#include "app/Error.h"
#include "models/Radarcol.h"

using namespace quillotide;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  TRadarcol radarcol;
  radarcol.load(fuzz::writeFile("radarcol.mul", bytes));
  if (radarcol.bytes().size() != size) std::abort();
  const std::int64_t count = radarcol.entryCount();
  for (std::int64_t r : {std::int64_t{-1}, std::int64_t{0}, count - 1, count, count + 1,
                         kRadarStaticBase, kRadarMaxEntries - 1, kRadarMaxEntries}) {
    const Colour16 c = radarcol.radarColour(r);
    const bool inside = r >= 0 && r < count;
    if (inside ? c != loadU16(data + 2 * r) : c != 0) std::abort();
  }

  const std::int64_t entry =
      size >= 4 ? static_cast<std::int64_t>(loadU32(data + size - 4) % (kRadarMaxEntries + 2)) - 1
                : 0;
  try {
    radarcol.setRadarColour(entry, 0x1234);
  } catch (const Error&) {
    if (entry >= 0 && entry < kRadarMaxEntries) std::abort();
    return 0;
  }
  if (radarcol.radarColour(entry) != 0x1234) std::abort();
  for (std::int64_t r = 0; r < radarcol.entryCount(); ++r) {
    if (r == entry) continue;
    // A trailing odd byte is kept, and becomes the low byte of the entry the table grows into.
    Colour16 was = 0;
    if (r < count)
      was = loadU16(data + 2 * r);
    else if (r == count && size % 2 == 1)
      was = data[size - 1];
    if (radarcol.radarColour(r) != was) std::abort();
  }
  const std::string saved = fuzz::folder() + "/saved.mul";
  radarcol.save(saved);
  TRadarcol again;
  again.load(saved);
  if (again.bytes() != radarcol.bytes()) std::abort();
  return 0;
}
