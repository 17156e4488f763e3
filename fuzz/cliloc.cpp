// Feeds arbitrary bytes to the cliloc reader: a file it takes writes back byte for byte, every
// text can be shown, and the merge of a few tile names keeps every entry it does not replace.
// The editable table takes every file of a whole header, damaged ones included, writes it back
// byte for byte, and its text table carries every entry that is UTF-8 through an import.
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

void table(const std::uint8_t* data, std::size_t size) {
  TCliloc c;
  try {
    c.loadBytes({data, size});
  } catch (const FormatError&) {
    if (size == 0 || size >= clilocLayout::kHeaderSize) std::abort();
    return;
  }
  const Bytes back = c.bytes();
  if (size > 0 && (back.size() != size || !std::equal(back.begin(), back.end(), data))) std::abort();
  (void)c.search("a \xC3\xA9");
  const std::string text = c.exportTable();
  TCliloc other;
  other.loadBytes({data, size});
  const ClilocImportResult r = other.importTable(text);
  // Entries whose text is no UTF-8 or whose flag is past 2 are refused by the import; every
  // other first entry of its number reads back unchanged.
  if (r.added != 0 || r.changed != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  table(data, size);
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
