// Feeds arbitrary text to the land and static text imports of a loaded tile data file (the land
// section and one static group): an import never grows or shrinks the file, and every line it
// takes or refuses is answered without a crash.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/Error.h"
#include "app/Text.h"
#include "models/Tiledata.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillotide;
  const std::vector<std::string> lines =
      splitLines(std::string_view(reinterpret_cast<const char*>(data), size));
  // Loaded once per layout and copied per run: the copy reuses its buffer, a fresh load would
  // cost a half-megabyte allocation each time.
  static const TTiledata classic = [] {
    TTiledata t;
    const TiledataSizes& z = TiledataSizes::of(TiledataLayout::Classic);
    t.loadBytes(Bytes(z.landSection + z.staticGroup, 0), TiledataLayout::Classic);
    return t;
  }();
  static const TTiledata wide = [] {
    TTiledata t;
    const TiledataSizes& z = TiledataSizes::of(TiledataLayout::Wide);
    t.loadBytes(Bytes(z.landSection + z.staticGroup, 0), TiledataLayout::Wide);
    return t;
  }();
  static TTiledata t;
  for (auto layout : {TiledataLayout::Classic, TiledataLayout::Wide}) {
    const TiledataSizes& z = TiledataSizes::of(layout);
    t = layout == TiledataLayout::Wide ? wide : classic;
    try {
      t.importLandLines(lines);
    } catch (const Error&) {
      // A bad land line ends the import; the lines before it stay written.
    }
    const StaticImportResult r = t.importStaticLines(lines);
    if (r.written + r.failedLines.size() + 1 < lines.size()) std::abort();
    if (t.image().size() != z.landSection + z.staticGroup) std::abort();
    (void)t.staticText();
  }
  return 0;
}
