// Feeds arbitrary bytes to the cliloc reader: a file it takes writes back byte for byte, every
// text can be shown, and the merge of a few tile names keeps every entry it does not replace.
#include <cstdint>
#include <cstdlib>

#include "app/Error.h"
#include "models/Cliloc.h"
#include "models/Tiledata.h"

namespace {

using namespace quillotide;

// The older layout's land section and one static group, statics 0 and 3 named; built once.
const TTiledata& names() {
  static const TTiledata t = [] {
    const TiledataSizes& sizes = TiledataSizes::of(TiledataLayout::Classic);
    TTiledata tiles;
    tiles.loadBytes(Bytes(sizes.landSection + sizes.staticGroup, 0), TiledataLayout::Classic);
    StaticTileRecord r;
    r.name = makeTileName("robe");
    tiles.writeStatic(0, r);
    r.name = makeTileName("hat");
    tiles.writeStatic(3, r);
    return tiles;
  }();
  return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Cliloc cliloc;
  try {
    cliloc = decodeCliloc({data, size});
  } catch (const FormatError&) {
    return 0;
  }
  const Bytes again = encodeCliloc(cliloc);
  // An empty file is written back as a header of its own.
  if (size > 0 && (again.size() != size || !std::equal(again.begin(), again.end(), data)))
    std::abort();
  for (const TClilocEntry& e : cliloc.entries) (void)clilocText(e);
  Cliloc merged = cliloc;
  const ClilocMergeResult r = mergeTileNames(merged, names());
  if (merged.entries.size() != cliloc.entries.size() + r.added || r.added + r.replaced != 2)
    std::abort();
  for (const TClilocEntry& e : cliloc.entries) {
    if (e.number == clilocLayout::kTileNameBase || e.number == clilocLayout::kTileNameBase + 3)
      continue;
    const TClilocEntry* kept = findClilocEntry(merged, e.number);
    if (!kept || kept->text != findClilocEntry(cliloc, e.number)->text) std::abort();
  }
  if (decodeCliloc(encodeCliloc(merged)) != merged) std::abort();
  return 0;
}
