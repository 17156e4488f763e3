// Run: cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_uop_family
//      mkdir -p /tmp/corpus-uop-family && build/fuzz/fuzz/fuzz_uop_family /tmp/corpus-uop-family
//      -max_total_time=60
//
// A hostile container loaded as each family. The first byte chooses the shape: odd, the input
// (after it) is the container file itself; even, the input is cut into payloads that become the
// entries of slots 0, 1, 2, ... of every family (and the map chunks), so the payload readers see
// hostile bytes behind a sound container. Every load either succeeds or refuses with one Error;
// a loaded container saved without a change gives the same bytes back; a multi container saved
// and read again gives the same components, cliloc lists included.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "FuzzFiles.h"
#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Uop.h"
#include "models/Art.h"
#include "models/Gump.h"
#include "models/Multi.h"
#include "models/Sound.h"
#include "world/Map.h"

using namespace quillotide;

namespace {

// Pieces of the input: each piece's length is its first byte (times 37, to reach map and gump
// sizes), then that many bytes.
Bytes containerOfPieces(std::span<const std::uint8_t> in) {
  UopContainer made = UopContainer::create();
  std::uint32_t slot = 0;
  while (!in.empty() && slot < 32) {
    const std::size_t n = std::min<std::size_t>(in[0] * 37u, in.size() - 1);
    const auto piece = in.subspan(1, n);
    in = in.subspan(1 + n);
    const bool compress = (slot & 1) != 0;
    for (const UopFamily f : {UopFamily::Art, UopFamily::Gump, UopFamily::Sound, UopFamily::Multi})
      made.setPayload(uopHash(uopEntryName(f, slot)), piece, compress);
    made.setPayload(uopHash(uopEntryName(UopFamily::Map, slot, 0)), piece, compress);
    ++slot;
  }
  made.setPayload(uopHash(kUopHousingName), Bytes{1, 2, 3}, true);
  return made.serialize();
}

template <class F>
void refusedOrDone(F&& f) {
  try {
    f();
  } catch (const Error&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::span<const std::uint8_t> rest(data + 1, size - 1);
  const Bytes file = (data[0] & 1) ? Bytes(rest.begin(), rest.end()) : containerOfPieces(rest);
  const std::string path = fuzz::writeFile("in.uop", file);
  // Each save goes to a new file: saved onto a container that exists, a family's entries would
  // replace those there and keep the rest (what another input left).
  const std::string out = fuzz::folder() + "/out.uop";
  const auto fresh = [&] { std::remove(out.c_str()); };

  refusedOrDone([&] {
    TArt art;
    art.loadUop(path);
    for (std::int64_t s = 0; s < 4; ++s)
      refusedOrDone([&] {
        art.landPicture(s);
        art.staticPicture(s);
      });
    fresh();
    art.saveUop(out);
    if (readFile(out) != file) std::abort();
    // Another program cuts the file short under the loaded art: its slots read or are refused.
    if (::truncate(path.c_str(), static_cast<off_t>(file.size() / 2)) != 0) std::abort();
    for (std::int64_t t = 0; t < 4; ++t) refusedOrDone([&] { art.landPicture(t); });
    fuzz::writeFile("in.uop", file);
  });
  refusedOrDone([&] {
    TGump gumps;
    gumps.loadUop(path);
    for (std::int64_t g = 0; g < gumps.gumpCount() && g < 8; ++g)
      refusedOrDone([&] { gumps.gumpPicture(g); });
  });
  refusedOrDone([&] {
    TSound sounds;
    sounds.loadUop(path);
    for (std::int64_t s = 0; s < sounds.recordCount() && s < 8; ++s)
      refusedOrDone([&] { sounds.samples(s); });
  });
  refusedOrDone([&] {
    TMulti multis;
    multis.loadUop(path);
    multis.writeComponents(40, {{1, 2, 3, 4, 5, {6, 7}}});
    fresh();
    multis.saveUop(out);
    TMulti again;
    again.loadUop(out);
    for (std::int64_t m = 0; m <= 40; ++m)
      if (again.components(m) != multis.components(m)) std::abort();
  });
  refusedOrDone([&] {
    TMap map;
    map.open(path, 8, 8);
    map.setAltitude(3, 3, 9);
    map.saveMul(out);
  });
  return 0;
}
