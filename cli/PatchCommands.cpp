// The region patch group and the whole-file world tools of the map and statics groups.
#include "app/FileIO.h"
#include "app/Image.h"
#include "cli/Cli.h"
#include "cli/OpenArgs.h"
#include "cli/WorldArgs.h"
#include "models/Radarcol.h"
#include "world/Map.h"
#include "world/RegionPatch.h"
#include "world/WorldTools.h"

namespace quillotide::cli {

namespace {

Progress g_silent;

int reportMessage(Context& ctx, const std::optional<std::string>& message, const std::string& done,
                  Json::Object json) {
  json.emplace_back("message", message ? Json(*message) : Json());
  ctx.report(json, done + (message ? "\n" + *message : std::string()));
  return 0;
}

CellRegion regionOf(const std::vector<std::string>& p, std::size_t at) {
  return CellRegion::of(intArg(p[at], "X1"), intArg(p[at + 1], "Y1"), intArg(p[at + 2], "X2"),
                        intArg(p[at + 3], "Y2"));
}

int create(Args& args, Context& ctx) {
  const WorldSizeArgs sized = takeWorldSize(args);
  PatchContents what{!args.flag("no-map"), !args.flag("no-statics"), args.flag("art"),
                     args.flag("textures")};
  // The facet numbers the files too, unless --map names others.
  const auto mapNumber = args.intOption("map").value_or(sized.facet.value_or(0));
  if (mapNumber < 0 || mapNumber > 255) throw UsageError("--map must be 0 to 255.");
  const auto p = args.positionals(6, 6);
  const PatchDirectory dir{p[0], static_cast<int>(mapNumber)};
  const WorldSize size = sized.forFiles(dir.mapPath(), dir.staticsIndexPath());
  const auto message =
      createPatchFile(dir, size.width, size.height, regionOf(p, 1), what, p[5], g_silent);
  return reportMessage(ctx, message, "patch written to " + p[5], {{"path", p[5]}});
}

int apply(Args& args, Context& ctx) {
  const WorldSizeArgs sized = takeWorldSize(args);
  const auto backup = args.option("backup");
  // The facet numbers the files too, unless --map names others.
  const auto mapNumber = args.intOption("map").value_or(sized.facet.value_or(0));
  if (mapNumber < 0 || mapNumber > 255) throw UsageError("--map must be 0 to 255.");
  const auto p = args.positionals(4, 4);
  const PatchDirectory dir{p[0], static_cast<int>(mapNumber)};
  const WorldSize size = sized.forFiles(dir.mapPath(), dir.staticsIndexPath());
  const auto message = applyPatchFile(dir, size.width, size.height, intArg(p[2], "X1"),
                                      intArg(p[3], "Y1"), p[1], backup, g_silent);
  return reportMessage(
      ctx, message, "patch applied" + (backup ? ", backup written to " + *backup : std::string()),
      {{"backup", backup ? Json(*backup) : Json()}});
}

int heights(Args& args, Context& ctx) {
  const WorldSizeArgs sized = takeWorldSize(args);
  const bool noMap = args.flag("no-map");
  const bool noStatics = args.flag("no-statics");
  // The facet numbers the files too, unless --map names others.
  const auto mapNumber = args.intOption("map").value_or(sized.facet.value_or(0));
  if (mapNumber < 0 || mapNumber > 255) throw UsageError("--map must be 0 to 255.");
  const auto p = args.positionals(6, 6);
  const PatchDirectory dir{p[0], static_cast<int>(mapNumber)};
  const WorldSize size = sized.forFiles(dir.mapPath(), dir.staticsIndexPath());
  const int amount = intArg(p[5], "AMOUNT");
  const auto message = changeHeightsInDirectory(dir, size.width, size.height, regionOf(p, 1),
                                                amount, !noMap, !noStatics, g_silent);
  return reportMessage(ctx, message, "heights changed by " + std::to_string(amount), {});
}

WorldSize sizeOption(Args& args, const std::string& w, const std::string& h) {
  const auto width = args.intOption(w);
  const auto height = args.intOption(h);
  if (!width || !height) throw UsageError("Give --" + w + " W --" + h + " H.");
  checkWorldSize(*width, *height);
  return {static_cast<int>(*width), static_cast<int>(*height)};
}

int mapCopy(Args& args, Context& ctx) {
  const WorldSize from = sizeOption(args, "source-width", "source-height");
  const WorldSize to = sizeOption(args, "target-width", "target-height");
  const auto ignore = args.intOption("ignore-id");
  const auto p = args.positionals(8, 8);
  MapCopyRequest q;
  q.region = regionOf(p, 2);
  q.sourceWidth = from.width;
  q.sourceHeight = from.height;
  q.targetWidth = to.width;
  q.targetHeight = to.height;
  q.targetX = intArg(p[6], "TX");
  q.targetY = intArg(p[7], "TY");
  q.ignoreId = ignore ? static_cast<int>(*ignore & 0xFFFF) : -1;
  const auto message = copyMapFile(p[0], p[1], q, g_silent);
  return reportMessage(ctx, message, "copied into " + p[1], {{"target", p[1]}});
}

int radarMap(Args& args, Context& ctx) {
  const WorldSizeArgs sized = takeWorldSize(args);
  const auto p = args.positionals(5, 5);
  // A picture name without a known extension is refused before the world is drawn.
  imageFormatOf(p[4]);
  const WorldSize size = sized.forFiles(p[0], p[1]);
  Registry registry;
  openFamily(registry, "Radarcol", {p[3]});
  // The world files are read block by block as streams, not held by a model.
  const auto map = WorldStream::openForReading(p[0]);
  const auto index = WorldStream::openForReading(p[1]);
  const auto data = WorldStream::openForReading(p[2]);
  writeImageFile(p[4], worldRadarMap(*map, *index, *data, size.width, size.height,
                                     *registry.radarcol, makePixel(0, 0, 0), {}));
  ctx.report(Json::Object{{"path", p[4]}}, "Done.");
  return 0;
}

int merge(Args& args, Context& ctx) {
  const auto p = args.positionals(6, 6);
  const std::string message = mergeStaticsFiles(p[0], p[1], p[2], p[3], p[4], p[5], g_silent);
  ctx.report(Json::Object{{"message", message}}, message);
  return 0;
}

int deleteAll(Args& args, Context& ctx) {
  const auto p = args.positionals(2, 2);
  deleteStaticsFiles(p[0], p[1], g_silent);
  ctx.report(Json::Object{{"index", p[0]}, {"data", p[1]}}, "every block of " + p[0] + " emptied");
  return 0;
}

int repair(Args& args, Context& ctx) {
  const WorldSizeArgs sized = takeWorldSize(args);
  const auto p = args.positionals(3, 3);
  const WorldSize size = sized.forFiles(p[2], p[0]);
  Registry registry;
  openFamily(registry, "Map", {p[2]}, OpenSize{size.width, size.height});
  TMap& map = *registry.map;
  // The statics pair is rewritten block by block in place, as streams no model holds.
  const auto index = WorldStream::openFile(p[0]);
  const auto data = WorldStream::openFile(p[1]);
  const StaticsRepair done = repairStatics(
      *index, *data, size.height, [&](int x, int y) { return map.getAltitude(x, y); }, g_silent);
  ctx.report(
      Json::Object{{"blocks", done.blocks}, {"dropped", done.dropped}, {"added", done.added}},
      std::to_string(done.blocks) + " blocks rewritten, " + std::to_string(done.dropped) +
          " statics dropped, " + std::to_string(done.added) + " added");
  return 0;
}

}  // namespace

Group patchGroup() {
  const std::string size = kWorldSizeUsage;
  return {
      "patch",
      "Region patches (*.pkx) between the map%d/staidx%d/statics%d files of patch directories "
      "(names found whatever their case; --facet N picks files N and their world size).",
      {
          {"create",
           "DIR X1 Y1 X2 Y2 OUT.pkx [--map N] [--no-map] [--no-statics] [--art] [--textures]" +
               size,
           "The cells and statics of a region (with their texture and art slots on request).",
           create},
          {"apply", "DIR PATCH.pkx X1 Y1 [--map N] [--backup FILE.pkx]" + size,
           "Writes a patch at origin X1 Y1; the backup undoes it.", apply},
          {"change-heights", "DIR X1 Y1 X2 Y2 AMOUNT [--map N] [--no-map] [--no-statics]" + size,
           "Raises or lowers a region's map and statics (clamped to -128 .. 127).", heights},
      }};
}

std::vector<Command> mapToolCommands() {
  return {
      {"copy",
       "FROM TO X1 Y1 X2 Y2 TX TY --source-width W --source-height H --target-width W "
       "--target-height H [--ignore-id ID]",
       "MapCopy: the land cells of a region into another map at TX TY (created when missing).",
       mapCopy},
      {"radar-map", std::string("MAP IDX MUL RADARCOL OUT") + kWorldSizeUsage,
       "The world radar picture: land and the highest statics in their radar colours.", radarMap},
  };
}

std::vector<Command> staticsToolCommands() {
  return {
      {"merge", "IDX1 MUL1 IDX2 MUL2 OUTIDX OUTMUL",
       "Merge Statics: per block the statics of pair 1, then those of pair 2.", merge},
      {"delete-all", "IDX MUL", "Delete Statics: every index record empty, the data file empty.",
       deleteAll},
      {"repair", std::string("IDX MUL MAP") + kWorldSizeUsage,
       "Drops statics 0x39E7..0x39EE, adds 0x28C1 above raised 0xCF3/4/6/7 (in place).", repair},
  };
}

}  // namespace quillotide::cli
