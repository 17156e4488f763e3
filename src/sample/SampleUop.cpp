// The sample's art, gumps, sounds, multis and map also as the UOP containers a current client
// ships, made from the MUL files just written, so both forms can be opened side by side.

#include "app/FileIO.h"
#include "app/IndexedFile.h"
#include "app/UopPair.h"
#include "models/Multi.h"
#include "sample/Sample.h"
#include "world/Map.h"

namespace quillotide::sample {

void writeUopForms(const std::string& dir) {
  struct Pair {
    UopFamily family;
    const char* index;
    const char* data;
    const char* container;
  };
  const Pair pairs[] = {
      {UopFamily::Art, "artidx.mul", "art.mul", "artLegacyMUL.uop"},
      {UopFamily::Gump, "gumpidx.mul", "gumpart.mul", "gumpartLegacyMUL.uop"},
      {UopFamily::Sound, "soundidx.mul", "sound.mul", "soundLegacyMUL.uop"},
  };
  for (const Pair& p : pairs) {
    IndexedFile files;
    files.load(joinPath(dir, p.index), joinPath(dir, p.data), StorageMode::Memory);
    files.saveUop(joinPath(dir, p.container), uopForm(p.family));
  }
  TMulti multis;
  multis.load(joinPath(dir, "multi.idx"), joinPath(dir, "multi.mul"));
  multis.saveUop(joinPath(dir, "MultiCollection.uop"));
  containerOfMapFile(readFile(joinPath(dir, "map0.mul")), 0)
      .save(joinPath(dir, "map0LegacyMUL.uop"));
}

}  // namespace quillotide::sample
