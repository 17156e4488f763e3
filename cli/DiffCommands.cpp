#include <iostream>

#include "app/FileIO.h"
#include "app/Progress.h"
#include "app/Text.h"
#include "app/Facet.h"
#include "app/FileNames.h"
#include "cli/Cli.h"
#include "cli/WorldArgs.h"
#include "world/DiffFiles.h"
#include "world/StaticDiff.h"

namespace quillotide::cli {

namespace {

constexpr const char* kSizeUsage = "[--width W --height H] [--facet N]";

// The options of every diff command: the world size and the facet whose diff files
// ("Mapdifl2.mul", ... for facet 2) are read and written.
struct DiffOptions {
  WorldSizeArgs sized;
  int facet = 0;

  // The world of the block numbers: --width/--height when given, else the facet's size for the
  // files (paths may be empty), else 6144 x 4096. With `strict` a facet whose size the files do
  // not tell is an error; otherwise the classic world stands.
  DiffWorld worldFor(const std::string& map, const std::string& staticIndex,
                     bool strict = true) const {
    if (!sized.given && !sized.facet) return {};
    try {
      const WorldSize size = sized.forFiles(map, staticIndex);
      return {size.width, size.height};
    } catch (const UsageError&) {
      if (strict) throw;
      return {};
    }
  }
};

DiffOptions takeDiffOptions(Args& args) {
  DiffOptions options{takeWorldSize(args)};
  options.facet = options.sized.facet.value_or(0);
  return options;
}

int report(Context& ctx, const DiffResult& r) {
  Json::Array problems;
  for (const std::string& p : r.problems) problems.push_back(p);
  ctx.report(Json::Object{{"blocks", static_cast<std::uint64_t>(r.blocks)},
                          {"message", r.message},
                          {"problems", problems}},
             r.text());
  return 0;
}

int createMap(Args& args, Context& ctx) {
  const DiffOptions o = takeDiffOptions(args);
  const auto p = args.positionals(3, 3);
  const DiffWorld world = o.worldFor(p[0], {});
  Progress silent;
  return report(ctx, createMapDiff(p[0], p[1], MapDiffPaths::in(p[2], o.facet), world, silent));
}

int copyMap(Args& args, Context& ctx) {
  const DiffOptions o = takeDiffOptions(args);
  const auto p = args.positionals(2, 2);
  const DiffWorld world = o.worldFor(p[0], {});
  Progress silent;
  return report(ctx, copyMapToDiff(p[0], MapDiffPaths::in(p[1], o.facet), world, silent));
}

int applyMap(Args& args, Context& ctx) {
  const DiffOptions o = takeDiffOptions(args);
  const auto p = args.positionals(2, 2);
  const DiffWorld world = o.worldFor(p[0], {});
  Progress silent;
  return report(ctx, applyMapDiff(p[0], MapDiffPaths::in(p[1], o.facet), world, silent));
}

int createStatics(Args& args, Context& ctx) {
  const DiffOptions o = takeDiffOptions(args);
  const auto p = args.positionals(5, 5);
  const DiffWorld world = o.worldFor({}, p[0]);
  Progress silent;
  return report(ctx, createStaticDiff(p[0], p[1], p[2], p[3], StaticDiffPaths::in(p[4], o.facet),
                                      world, silent));
}

int copyStatics(Args& args, Context& ctx) {
  const DiffOptions o = takeDiffOptions(args);
  const auto p = args.positionals(3, 3);
  const DiffWorld world = o.worldFor({}, p[0]);
  Progress silent;
  return report(ctx,
                copyStaticsToDiff(p[0], p[1], StaticDiffPaths::in(p[2], o.facet), world, silent));
}

int applyStatics(Args& args, Context& ctx) {
  const DiffOptions o = takeDiffOptions(args);
  const auto p = args.positionals(3, 3);
  const DiffWorld world = o.worldFor({}, p[0]);
  Progress silent;
  return report(ctx,
                applyStaticDiff(p[0], p[1], StaticDiffPaths::in(p[2], o.facet), world, silent));
}

// The blocks of the map diff and of the static diff in DIFFDIR (either may be missing).
int list(Args& args, Context& ctx) {
  const DiffOptions o = takeDiffOptions(args);
  const auto p = args.positionals(1, 1);
  const MapDiffPaths map = MapDiffPaths::in(p[0], o.facet);
  const StaticDiffPaths statics = StaticDiffPaths::in(p[0], o.facet);
  const FacetNames names = facetNames(o.facet);
  if (!fileExists(map.blockList) && !fileExists(statics.blockList))
    throw Error("No diff in " + p[0] + ": neither " + names.mapDiffList + " nor " +
                names.staticDiffList + " is there, in any case of the names.");
  // A client folder holds the facet's map and statics beside its diffs: they tell the size.
  const DiffWorld world = o.worldFor(pathWithoutCase(p[0], names.map),
                                     pathWithoutCase(p[0], names.staticIndex), false);
  std::vector<std::string> problems;
  std::string text;
  const std::int64_t rows = world.height / 8;
  const auto family = [&](const std::string& path, const std::string& name) {
    Json::Array rowsJson;
    if (!fileExists(path)) return Json(nullptr);
    const std::vector<std::int32_t> blocks = readDiffBlockList(path, problems);
    for (const std::int32_t b : blocks) {
      const bool inside = b >= 0 && b < world.blockCount();
      const std::int64_t x = inside ? b / rows * 8 : -1;
      const std::int64_t y = inside ? b % rows * 8 : -1;
      rowsJson.push_back(Json::Object{
          {"block", static_cast<std::int64_t>(b)}, {"x", x}, {"y", y}, {"inside", inside}});
      text += name + " " + hexLabel(static_cast<std::uint32_t>(b));
      if (inside)
        text.append(" ").append(std::to_string(x)).append(",").append(std::to_string(y));
      else
        text += " outside the world";
      text += "\n";
    }
    text += std::to_string(blocks.size()) + " " + name + " blocks\n";
    return Json(rowsJson);
  };
  const Json mapJson = family(map.blockList, "map");
  const Json staticsJson = family(statics.blockList, "statics");
  Json::Array problemsJson;
  for (const std::string& pr : problems) {
    problemsJson.push_back(pr);
    text += pr + "\n";
  }
  if (!text.empty() && text.back() == '\n') text.pop_back();
  ctx.report(Json::Object{{"map", mapJson}, {"statics", staticsJson}, {"problems", problemsJson}},
             text);
  return 0;
}

std::string usage(const std::string& positionals) { return positionals + " " + kSizeUsage; }

}  // namespace

Group diffGroup() {
  return {
      "diff",
      "Map and static diff files (Mapdifl0.mul, Mapdif0.mul; Stadifl0.mul, Stadifi0.mul, "
      "Stadif0.mul; --facet N: those numbered N), found whatever the case of their names: "
      "create, copy, apply, list. The world is 6144 x 4096 unless given, or taken from the "
      "facet and the files with --facet N.",
      {
          {"create-map", usage("ORIG CHANGED OUTDIR"),
           "Writes the blocks of CHANGED whose cells differ from ORIG into a map diff; either map "
           "may be a map container (map0LegacyMUL.uop), read as the map it holds.",
           createMap},
          {"copy-map", usage("CHANGED OUTDIR"),
           "Writes every block of the map (a map file or container) not made only of tiles 0x1 "
           "and 0x244.",
           copyMap},
          {"apply-map", usage("MAP DIFFDIR"),
           "Writes the map diff's blocks into the map file MAP. A map container is refused: "
           "unpack it (uop unpack), apply the diff to the map file and pack it again.",
           applyMap},
          {"create-statics", usage("ORIG_IDX ORIG_MUL CHANGED_IDX CHANGED_MUL OUTDIR"),
           "Writes the statics blocks that differ into a static diff.", createStatics},
          {"copy-statics", usage("IDX MUL OUTDIR"),
           "Writes every statics block into a static diff.", copyStatics},
          {"apply-statics", usage("IDX MUL DIFFDIR"),
           "Appends the static diff's blocks to the statics and points their index at them.",
           applyStatics},
          {"list", usage("DIFFDIR"), "The block numbers of the diffs in DIFFDIR.", list},
      }};
}

}  // namespace quillotide::cli
