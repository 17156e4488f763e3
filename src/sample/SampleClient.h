#pragma once
// A client folder the way a Windows install copied to Linux looks: the sample set's files under
// mixed-case names, UOP and MUL forms side by side, the cliloc file, facets 0 to 5 at their real
// sizes (the maps written sparse, the sample world in the north-west corner of each, so every
// facet has statics to show), and diff sets for facets 0 and 2 (facet 2's in lower case).

#include <string>
#include <utility>
#include <vector>

#include "app/Facet.h"

namespace quillotide::sample {

// The size each facet of the client folder has: 7168 x 4096 for facet 0, 6144 x 4096 for facet
// 1, the only size of the others.
FacetSize sampleClientFacetSize(int facet);

// The file names of the client folder by their settings name in the sample set ("art.mul" ->
// "Art.mul"); names not listed keep their sample name.
const std::vector<std::pair<std::string, std::string>>& sampleClientNames();

// The one block each diff set changes: its block column and row (the same for both facets).
constexpr int kSampleDiffBlockX = 15;
constexpr int kSampleDiffBlockY = 15;
// The static the static diffs add to that block, at offset (3, 3) of it.
constexpr unsigned kSampleDiffStatic = 0x1D;

// Writes the folder (created when missing); throws Error on failure. Existing files of the same
// names are replaced.
void writeSampleClient(const std::string& dir);

}  // namespace quillotide::sample
