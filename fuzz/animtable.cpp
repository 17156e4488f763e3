// Run: cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_animtable
//      build/fuzz/fuzz/fuzz_animtable /tmp/corpus-animtable -max_total_time=60
//
// The body tables of the five animation files over a hostile index: the slots of neighbouring
// bodies never overlap, the body count of any index size covers only bodies whose slots the index
// holds whole, and every slot lookup of the bodies the index reaches gives an empty slot, frames,
// or one FormatError, never a read outside the files.
//
// Input: byte 0 the variant (1 to 5), bytes 1-2 the first body (u16), bytes 3-4 the index size
// (u16), then the index records of that body and the ones after it, then the data file.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

#include "FuzzFiles.h"
#include "app/Bytes.h"
#include "app/Error.h"
#include "app/Progress.h"
#include "models/Animation.h"

using namespace quillotide;

namespace {

constexpr std::uint64_t kRecordSize = 12;

void checkTable(const AnimSlotTable& table, int body, std::uint64_t indexSize) {
  for (int b = body; b < std::min(body + 3, 0xFFFF); ++b) {
    const int type = table.bodyType(b);
    const int slots = table.slotsPerBody(b);
    if (type < 0 || type > 2 || (slots != 110 && slots != 65 && slots != 175)) std::abort();
    if (table.firstSlot(b) < 0) std::abort();
    if (table.firstSlot(b + 1) < table.firstSlot(b) + slots) std::abort();
  }
  const int count = table.bodyCount(indexSize);
  if (count < 0) std::abort();
  if (count > 0 && count <= 0xFFFF) {
    const std::int64_t end = table.firstSlot(count - 1) + table.slotsPerBody(count - 1);
    if (static_cast<std::uint64_t>(end) * kRecordSize > indexSize) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  const auto kind = *animKindOf(data[0] % 5 + 1);
  const int body = loadU16(data + 1);
  const std::size_t indexSize = std::min<std::size_t>(loadU16(data + 3), size - 5);
  const std::span<const std::uint8_t> index(data + 5, indexSize);
  const std::span<const std::uint8_t> rest(data + 5 + indexSize, size - 5 - indexSize);

  const AnimSlotTable& table = animSlotTable(kind);
  // The records before the first body are zeros: empty slots, never written.
  const auto at = static_cast<std::uint64_t>(table.firstSlot(body)) * kRecordSize;
  checkTable(table, body, at + indexSize);
  // Sizes the bytes give, whatever the files hold.
  if (size >= 9) checkTable(table, body, loadU32(data + size - 4));

  const std::string idx = fuzz::writeFile("anim.idx", index, at);
  const std::string mul = fuzz::writeFile("anim.mul", rest);
  const auto model = makeAnimationModel(kind);
  model->load(idx, mul);
  if (model->bodyCount() != table.bodyCount(at + indexSize)) std::abort();
  for (int b = body; b < std::min(body + 2, 0x10000); ++b) {
    model->bodyExists(b);
    try {
      model->firstFrame(b);
    } catch (const FormatError&) {
    }
    for (int k = 0; k < model->slotsPerBody(b); ++k) {
      if (!model->slotExists(b, k)) continue;
      try {
        model->slotFrames(b, k);
      } catch (const FormatError&) {
      }
    }
  }
  Progress silent;
  try {
    model->exportToFile(body, fuzz::folder() + "/body.kx", silent);
  } catch (const Error&) {
    // a damaged slot, or a body past the ones the index holds
  }
  return 0;
}
