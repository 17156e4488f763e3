// Feeds arbitrary bytes, padded to the land section, to the tile data loader under both layouts:
// loads keep the bytes, every record reads inside the image, and the text files of whatever was
// read import back to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "app/Error.h"
#include "models/Tiledata.h"

namespace {

void check(const quillotide::Bytes& bytes, std::optional<quillotide::TiledataLayout> layout) {
  using namespace quillotide;
  TTiledata t;
  try {
    t.loadBytes(bytes, layout);
  } catch (const FormatError&) {
    return;
  }
  if (t.image() != bytes) std::abort();
  for (std::int64_t id : {std::int64_t{-1}, std::int64_t{0}, std::int64_t{0x3FFF},
                          std::int64_t{0x4000}, static_cast<std::int64_t>(t.staticCount()) - 1,
                          static_cast<std::int64_t>(t.staticCount())}) {
    (void)t.readLand(id);
    (void)t.readStatic(id);
    (void)t.staticHeight(id);
    (void)t.landName(id);
  }
  // Records whose names hold TAB, CR or LF cannot pass through the text files; skip those inputs.
  // (memchr, not a byte loop: the coverage hooks of a loop over half a megabyte would dominate.)
  for (int c : {'\t', '\r', '\n'})
    if (std::memchr(bytes.data(), c, bytes.size())) return;
  TTiledata again;
  again.loadBytes(bytes, t.layout());
  // The first land lines cover the fuzzed head of the land section; the rest is zero.
  std::vector<std::string> land = {t.landTextHeader()};
  for (int id = 0; id < 40; ++id) land.push_back(t.landTextLine(id));
  const std::vector<std::string> statics = t.staticText();
  again.importLandLines(land);
  if (!again.importStaticLines(statics).failedLines.empty()) std::abort();
  if (again.image() != bytes) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillotide;
  // The input fills the start of the land section and the static groups that follow; the rest of
  // the land section is zero, so small inputs still reach the static section.
  const std::size_t head = std::min<std::size_t>(size, 64);
  for (auto layout : {TiledataLayout::Classic, TiledataLayout::Wide}) {
    const std::size_t land = layout == TiledataLayout::Wide ? 493568 : 428032;
    Bytes bytes(land, 0);
    std::copy_n(data, head, bytes.begin());
    bytes.insert(bytes.end(), data + head, data + size);
    // The older padding goes through the size rule, the newer one is forced (the rule may see an
    // older file in it); each check copies half a megabyte, so one check per padding.
    check(bytes, layout == TiledataLayout::Wide ? std::optional(layout) : std::nullopt);
  }
  // Short inputs must be refused, never read past.
  check(Bytes(data, data + size), std::nullopt);
  return 0;
}
