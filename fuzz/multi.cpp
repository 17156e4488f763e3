// Run: cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_multi
//      mkdir -p /tmp/corpus-multi && build/fuzz/fuzz/fuzz_multi /tmp/corpus-multi
//      -max_total_time=60
//
// A multi pair (index: first half, data: second half) read slot by slot and drawn against a small
// art pair whose statics are of every size up to 64 x 64, then exported in the four text formats
// and read back: the text readers must give the same components after re-centring an already
// centred multi, and never crash on the bytes themselves as text; the layout told from the bytes
// converts to the other one and back with every slot's components.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "app/Error.h"
#include "app/Text.h"
#include "models/Art.h"
#include "models/Multi.h"

namespace {

const quillotide::TArt& art() {
  using namespace quillotide;
  static TArt* instance = [] {
    auto* a = new TArt();
    ByteWriter index;
    for (std::int64_t i = 0; i < kStaticBase; ++i)
      index.u32(0xFFFFFFFFu), index.i32(-1), index.i32(-1);
    Bytes data;
    for (int s = 0; s < 8; ++s) {
      const Bytes bytes = encodeStaticArt(Bitmap32(1 + s * 9, 64 - s * 8, makePixel(9, 90, 200)));
      index.i32(static_cast<std::int32_t>(data.size()));
      index.i32(static_cast<std::int32_t>(bytes.size()));
      index.i32(0);
      data.insert(data.end(), bytes.begin(), bytes.end());
    }
    a->files().adopt(makeMemoryStream(index.take()), makeMemoryStream(std::move(data)),
                     StorageMode::Memory);
    return a;
  }();
  return *instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillotide;
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (auto format : {MultiTextFormat::Sphere51a, MultiTextFormat::Wsc, MultiTextFormat::PlainText,
                      MultiTextFormat::UoaText}) {
    try {
      auto parts = parseMultiText(splitLines(text), format);
      recentre(parts);
    } catch (const Error&) {
    }
  }
  const std::size_t half = size / 2;
  TMulti multi;
  multi.loadBytes(Bytes(data, data + half), Bytes(data + half, data + size));
  for (std::int64_t i = 0; i < multi.recordCount() && i < 16; ++i) {
    try {
      auto parts = multi.components(i);
      for (auto& c : parts) c.id = static_cast<std::uint16_t>(c.id & 7);
      multi.multiPicture(i, &art());
      // A centred copy reads back unchanged from every format that carries the flags.
      recentre(parts);
      for (auto format : {MultiTextFormat::PlainText, MultiTextFormat::UoaText}) {
        auto back = parseMultiText(multiText(parts, format), format);
        recentre(back);
        if (back.size() != parts.size()) std::abort();
      }
    } catch (const Error&) {
      // A damaged slot, or components whose offsets from the centre do not fit 16 bits.
    }
  }
  // Whatever layout the bytes were taken for, a conversion to the other one and back keeps every
  // slot's component count.
  try {
    std::vector<std::size_t> counts;
    for (std::int64_t i = 0; i < multi.recordCount() && i < 16; ++i)
      counts.push_back(multi.components(i).size());
    const MultiLayout was = multi.layout();
    multi.convertLayout(was == MultiLayout::Newer16 ? MultiLayout::Older12 : MultiLayout::Newer16,
                        true);
    multi.convertLayout(was, true);
    for (std::size_t i = 0; i < counts.size(); ++i)
      if (multi.components(static_cast<std::int64_t>(i)).size() != counts[i]) std::abort();
  } catch (const Error&) {
    // A slot whose record points outside the data.
  }
  return 0;
}
