// Feeds arbitrary bytes to the verdata loader and every picture decoder behind it: nothing reads
// outside the image, and a compacted file loads back to the same records and compacts to itself.
#include <cstdint>
#include <cstdlib>

#include "app/Error.h"
#include "models/AnimFrame.h"
#include "models/Verdata.h"

using namespace quillotide;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TVerdata v;
  try {
    v.loadBytes(Bytes(data, data + size));
  } catch (const FormatError&) {
    return 0;
  }
  const auto records = v.records();
  for (std::size_t i = 0; i < records.size() && i < 64; ++i) {
    const auto& r = records[i];
    try {
      switch (r.fileId) {
        case verdatafile::kArt:
          if (r.block < verdatafile::kStaticBlockBase) v.landPicture(r.block);
          else v.staticPicture(r.block - verdatafile::kStaticBlockBase);
          break;
        case verdatafile::kTextures: v.texturePicture(r.block); break;
        case verdatafile::kGumps: v.gumpPicture(r.block); break;
        case verdatafile::kAnimations:
          if (const auto bytes = v.patchData(r.fileId, r.block)) AnimBlock(*bytes).frames(0);
          break;
        default: break;
      }
    } catch (const FormatError&) {
    } catch (const Error&) {
      // a block outside the range of its kind
    }
  }
  Progress silent;
  Bytes once;
  try {
    once = v.compacted(silent);
  } catch (const FormatError&) {
    return 0;
  }
  TVerdata again;
  again.loadBytes(once);
  if (again.records().size() != records.size()) std::abort();
  for (std::size_t i = 0; i < records.size(); ++i)
    if (again.records()[i].fileId != records[i].fileId || again.records()[i].block != records[i].block)
      std::abort();
  if (again.compacted(silent) != once) std::abort();
  return 0;
}
