// Feeds one land group and one static group of arbitrary bytes to the tile data loader, in a file
// of a zero land section and one static group, under both layouts and the layout choice: loads
// keep the bytes, every record reads inside the image, and the text lines of whatever was read
// import back to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "app/Error.h"
#include "models/Tiledata.h"

namespace {

using namespace quillotide;

constexpr std::size_t kGroupHeader = 4;
constexpr std::size_t kRecordsPerGroup = 32;

// The land section and one static group, all zero, per layout; built once.
const Bytes& emptyFile(TiledataLayout layout) {
  static const Bytes classic(TiledataSizes::of(TiledataLayout::Classic).landSection +
                                 TiledataSizes::of(TiledataLayout::Classic).staticGroup,
                             0);
  static const Bytes wide(TiledataSizes::of(TiledataLayout::Wide).landSection +
                              TiledataSizes::of(TiledataLayout::Wide).staticGroup,
                          0);
  return layout == TiledataLayout::Wide ? wide : classic;
}

// The models and buffers live across runs: a fresh half megabyte per run would cost more in
// the allocator than the reading itself.
void check(const Bytes& bytes, std::optional<TiledataLayout> layout, bool textSafe) {
  static TTiledata t;
  static TTiledata again;
  try {
    t.loadBytes(bytes, layout);
  } catch (const FormatError&) {
    return;
  }
  if (t.image() != bytes) std::abort();
  for (std::int64_t id : {std::int64_t{-1}, std::int64_t{0}, std::int64_t{31}, std::int64_t{0x3FFF},
                          std::int64_t{0x4000}, static_cast<std::int64_t>(t.staticCount()) - 1,
                          static_cast<std::int64_t>(t.staticCount())}) {
    (void)t.readLand(id);
    (void)t.readStatic(id);
    (void)t.staticHeight(id);
    (void)t.landName(id);
    (void)t.staticName(id);
  }
  // Names that hold TAB, CR or LF cannot pass through the text files.
  if (!textSafe) return;
  again.loadBytes(bytes, t.layout());
  std::vector<std::string> land = {t.landTextHeader()};
  std::vector<std::string> statics = {t.staticTextHeader()};
  for (std::int64_t id = 0; id < static_cast<std::int64_t>(kRecordsPerGroup); ++id) {
    land.push_back(t.landTextLine(id));
    statics.push_back(t.staticTextLine(id));
  }
  again.importLandLines(land);
  if (!again.importStaticLines(statics).failedLines.empty()) std::abort();
  if (again.image() != bytes) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  bool textSafe = true;
  for (int c : {'\t', '\r', '\n'})
    if (std::memchr(data, c, size)) textSafe = false;
  for (auto layout : {TiledataLayout::Classic, TiledataLayout::Wide}) {
    const TiledataSizes& z = TiledataSizes::of(layout);
    const std::size_t landGroup = kGroupHeader + kRecordsPerGroup * z.landRecord;
    // The input fills land group 0, then the static group.
    static Bytes bytes;
    bytes.assign(emptyFile(layout).begin(), emptyFile(layout).end());
    const std::size_t head = std::min(size, landGroup);
    std::copy_n(data, head, bytes.begin());
    const std::size_t rest = std::min(size - head, z.staticGroup);
    std::copy_n(data + head, rest, bytes.begin() + static_cast<std::ptrdiff_t>(z.landSection));
    check(bytes, layout, textSafe);
    // The choice reads every name in both layouts; once per input is enough for it.
    if (layout == TiledataLayout::Classic) check(bytes, std::nullopt, textSafe);
  }
  // Short inputs must be refused, never read past.
  check(Bytes(data, data + size), std::nullopt, false);
  return 0;
}
