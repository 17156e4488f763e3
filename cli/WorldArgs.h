#pragma once
// The world size every map and statics command needs: the files do not hold it, but with a facet
// number their sizes tell it.

#include <optional>
#include <vector>

#include "app/Facet.h"
#include "app/FileIO.h"
#include "app/FileNames.h"
#include "app/Text.h"
#include "app/Uop.h"
#include "cli/Cli.h"
#include "world/Map.h"
#include "world/Item.h"

namespace quillotide::cli {

struct WorldSize {
  int width = 0;
  int height = 0;
};

// Takes the required --width W --height H; both must be multiples of 8 (kWorldSizeMessage).
inline WorldSize worldSizeOf(Args& args) {
  const auto w = args.intOption("width");
  const auto h = args.intOption("height");
  if (!w || !h) throw UsageError("Give the world size with --width W --height H.");
  checkWorldSize(*w, *h);
  return {static_cast<int>(*w), static_cast<int>(*h)};
}

// The world size of a command that names its files: --width W --height H, or --facet N, which
// takes the size from the facet and the sizes of the files (a map of facet 0 or 1 tells which of
// its two sizes it is). --width/--height win when both are given. Take them with the other
// options, before the positionals.
struct WorldSizeArgs {
  std::optional<WorldSize> given;
  std::optional<int> facet;

  // The size for these files (either path may be empty: not known). Throws UsageError when no
  // size is given and none follows from the facet and the files, Error naming both sizes when the
  // map and the statics index belong to different worlds.
  WorldSize forFiles(const std::string& map, const std::string& staticIndex) const {
    if (given) return *given;
    if (!facet) throw UsageError("Give the world size with --width W --height H, or --facet N.");
    // A UOP map's world follows from the map file it holds, not from the container's length.
    const auto bytesOf = [](const std::string& path) -> std::optional<std::uint64_t> {
      if (!path.empty() && lowerAscii(path).ends_with(".uop") && fileExists(path))
        return mapFileSizeOfContainer(UopContainer::read(path), path);
      return mulWorldFileBytes(path);
    };
    const auto mapBytes = bytesOf(map);
    const auto indexBytes = bytesOf(staticIndex);
    if (const auto size = facetWorldSize(*facet, mapBytes, indexBytes, map, staticIndex))
      return {size->width, size->height};
    const std::vector<FacetSize> sizes = facetSizes(*facet);
    if (!mapBytes && !indexBytes && sizes.size() == 1) return {sizes[0].width, sizes[0].height};
    std::string known;
    for (const FacetSize& s : sizes) known += (known.empty() ? "" : " or ") + sizeText(s);
    throw UsageError("The files fit no size of facet " + std::to_string(*facet) + " (" + known +
                     "); give the world size with --width W --height H.");
  }
  WorldSize forMap(const std::string& map) const { return forFiles(map, {}); }
  WorldSize forStatics(const std::string& staticIndex) const { return forFiles({}, staticIndex); }
};

// Takes --width/--height (both or neither) and --facet N.
inline WorldSizeArgs takeWorldSize(Args& args) {
  WorldSizeArgs out;
  const auto w = args.intOption("width");
  const auto h = args.intOption("height");
  const auto facet = args.intOption("facet");
  if (!w != !h) throw UsageError("Give both --width W and --height H, or neither.");
  if (w) {
    checkWorldSize(*w, *h);
    out.given = WorldSize{static_cast<int>(*w), static_cast<int>(*h)};
  }
  if (facet) {
    checkFacet(*facet);
    out.facet = static_cast<int>(*facet);
  }
  return out;
}

inline constexpr const char* kWorldSizeUsage = " --width W --height H | --facet N";

inline int intArg(const std::string& text, const std::string& what) {
  const std::int64_t v = parseIntArg(text, what);
  if (v < INT32_MIN || v > INT32_MAX) throw UsageError(what + " is out of range.");
  return static_cast<int>(v);
}

inline std::uint16_t u16Arg(const std::string& text, const std::string& what) {
  const std::int64_t v = parseIntArg(text, what);
  if (v < 0 || v > 0xFFFF) throw UsageError(what + " must be 0 to 0xFFFF.");
  return static_cast<std::uint16_t>(v);
}

// An item (a static or a placed item) as a JSON object: id, x, y, z, hue.
inline Json itemJson(const TItem& s) {
  return Json::Object{{"id", static_cast<int>(s.tileId)},
                      {"x", static_cast<int>(s.x)},
                      {"y", static_cast<int>(s.y)},
                      {"z", static_cast<int>(s.z)},
                      {"hue", static_cast<int>(s.hue)}};
}

}  // namespace quillotide::cli
