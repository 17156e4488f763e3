#include <sstream>

#include "app/Image.h"
#include "app/Random.h"
#include "app/Text.h"
#include "cli/Cli.h"
#include "cli/OpenArgs.h"
#include "cli/WorldArgs.h"
#include "world/Map.h"
#include "models/Radarcol.h"
#include "models/Tiledata.h"

namespace quillotide::cli {

namespace {

Progress g_silent;

// Opens the map in the registry's owner at the world size; the registry holds the model, which
// draws with the registry's other models (unloaded ones give nothing).
TMap& openMap(Registry& registry, const std::string& path, const WorldSize& size) {
  openFamily(registry, "Map", {path}, OpenSize{size.width, size.height});
  return *registry.map;
}

std::string text(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

int info(Args& args, Context& ctx) {
  const WorldSizeArgs sized = takeWorldSize(args);
  const auto p = args.positionals(1, 1);
  const WorldSize size = sized.forMap(p[0]);
  Registry registry;
  TMap& map = openMap(registry, p[0], size);
  ctx.report(Json::Object{{"width", size.width},
                          {"height", size.height},
                          {"blocks", map.blockCount()},
                          {"overview",
                           Json::Array{map.overviewPicture().width, map.overviewPicture().height}}},
             "width: " + std::to_string(size.width) + "\nheight: " + std::to_string(size.height) +
                 "\nblocks: " + std::to_string(map.blockCount()));
  return 0;
}

MapCell cellOf(TMap& map, int x, int y) {
  const auto cell = map.cell(x, y);
  if (!cell)
    throw Error(formatMessage("The cell %d,%d lies outside the map (%d x %d).",
                              {std::to_string(x), std::to_string(y), std::to_string(map.width()),
                               std::to_string(map.height())}));
  return *cell;
}

int cell(Args& args, Context& ctx) {
  const WorldSizeArgs sized = takeWorldSize(args);
  const auto p = args.positionals(3, 3);
  const WorldSize size = sized.forMap(p[0]);
  Registry registry;
  TMap& map = openMap(registry, p[0], size);
  const MapCell c = cellOf(map, intArg(p[1], "X"), intArg(p[2], "Y"));
  ctx.report(Json::Object{{"id", static_cast<int>(c.tileId)}, {"z", static_cast<int>(c.z)}},
             "id: " + hexLabel(c.tileId) + "\nz: " + std::to_string(c.z));
  return 0;
}

int setCell(Args& args, Context& ctx) {
  const WorldSizeArgs sized = takeWorldSize(args);
  const auto id = args.option("id");
  const auto z = args.option("z");
  const auto p = args.positionals(3, 3);
  const WorldSize size = sized.forMap(p[0]);
  if (!id && !z) throw UsageError("Give --id ID, --z Z or both.");
  const int x = intArg(p[1], "X");
  const int y = intArg(p[2], "Y");
  Registry registry;
  TMap& map = openMap(registry, p[0], size);
  cellOf(map, x, y);
  if (id) map.setTileId(x, y, u16Arg(*id, "--id"));
  if (z) map.setAltitude(x, y, intArg(*z, "--z"));
  saveFamily(registry, "Map", {p[0]});
  const MapCell c = cellOf(map, x, y);
  ctx.report(Json::Object{{"id", static_cast<int>(c.tileId)}, {"z", static_cast<int>(c.z)}},
             "set " + std::to_string(x) + "," + std::to_string(y) + ": id " + hexLabel(c.tileId) +
                 " z " + std::to_string(c.z));
  return 0;
}

int overview(Args& args, Context& ctx) {
  const WorldSizeArgs sized = takeWorldSize(args);
  const auto p = args.positionals(3, 3);
  const WorldSize size = sized.forMap(p[0]);
  Registry registry;
  // The registry's map takes its radar colours from the registry's radarcol.
  openFamily(registry, "Radarcol", {p[1]});
  TMap& map = openMap(registry, p[0], size);
  if (map.overviewPicture().empty()) throw Error("The overview of a map this small has no pixels.");
  writeImageFile(p[2], map.overviewPicture());
  ctx.report(Json::Object{{"width", map.overviewPicture().width},
                          {"height", map.overviewPicture().height}},
             "overview " + std::to_string(map.overviewPicture().width) + " x " +
                 std::to_string(map.overviewPicture().height) + " written to " + p[2]);
  return 0;
}

int heightMap(Args& args, Context& ctx) {
  const WorldSizeArgs sized = takeWorldSize(args);
  const auto p = args.positionals(2, 2);
  const WorldSize size = sized.forMap(p[0]);
  imageFormatOf(p[1]);  // a name the picture cannot be saved under fails before the reading
  Registry registry;
  TMap& map = openMap(registry, p[0], size);
  map.exportHeightMap(p[1], g_silent);
  ctx.report(Json::Object{{"path", p[1]}}, "height map written to " + p[1]);
  return 0;
}

int adjustedHeightMap(Args& args, Context& ctx) {
  const WorldSizeArgs sized = takeWorldSize(args);
  const auto p = args.positionals(3, 3);
  const WorldSize size = sized.forMap(p[0]);
  const int level = intArg(p[2], "LEVEL");
  imageFormatOf(p[1]);
  Registry registry;
  TMap& map = openMap(registry, p[0], size);
  const std::string message = map.exportAdjustedHeightMap(p[1], level, g_silent);
  ctx.report(Json::Object{{"path", p[1]}, {"message", message}}, message);
  return 0;
}

int countTiles(Args& args, Context& ctx) {
  const WorldSizeArgs sized = takeWorldSize(args);
  const auto p = args.positionals(4, 4);
  const WorldSize size = sized.forMap(p[0]);
  Registry registry;
  // The registry's map takes its tile data from the registry's tiledata.
  openFamily(registry, "Tiledata", {p[1]});
  TMap& map = openMap(registry, p[0], size);
  const std::string message = map.countTiles(p[2], p[3], g_silent);
  ctx.report(Json::Object{{"textureList", p[2]}, {"artList", p[3]}}, message);
  return 0;
}

int replaceIds(Args& args, Context& ctx) {
  const WorldSizeArgs sized = takeWorldSize(args);
  const auto seed = args.intOption("seed");
  const auto p = args.positionals(2, 2);
  const WorldSize size = sized.forMap(p[0]);
  std::vector<std::string> messages;
  const auto rules = parseMapIdRules(readTextLines(p[1]), &messages);
  Registry registry;
  TMap& map = openMap(registry, p[0], size);
  Random random;
  if (seed) random.seed(static_cast<std::uint64_t>(*seed));
  ReplacedIds done;
  if (!rules.empty()) done = map.replaceIds(rules, random, g_silent);
  for (auto& m : done.messages) messages.push_back(std::move(m));
  Json::Array list;
  for (const auto& m : messages) list.emplace_back(m);
  // Only rules that changed a cell count: a repeated tile id, or a rule whose cells all drew a
  // bad piece, changed nothing.
  ctx.report(Json::Object{{"rules", static_cast<std::int64_t>(rules.size())},
                          {"rulesApplied", done.rulesApplied},
                          {"cells", done.cells},
                          {"messages", list}},
             text(messages) + std::to_string(done.rulesApplied) + " of " +
                 std::to_string(rules.size()) + " rules applied, " + std::to_string(done.cells) +
                 " cells changed");
  return 0;
}

}  // namespace

Group mapGroup() {
  const std::string size = kWorldSizeUsage;
  Group group{
      "map",
      "The world map map0.mul (W x H land cells; the size is not stored in the file, but "
      "--facet N takes it from the facet and the file's size).",
      {
          {"info", "MAP" + size, "The world size and block count.", info},
          {"cell", "MAP X Y" + size, "One cell's tile id and altitude.", cell},
          {"set-cell", "MAP X Y [--id ID] [--z Z]" + size,
           "Changes one cell in place (altitudes clamped to -128 .. 127).", setCell},
          {"overview", "MAP RADARCOL OUT" + size,
           "The radar overview (1 pixel per 16 x 16 cells) as BMP or PNG.", overview},
          {"height-map", "MAP OUT" + size, "The altitude picture (grey z + 128) as BMP or PNG.",
           heightMap},
          {"adjusted-height-map", "MAP OUT LEVEL" + size,
           "The altitude picture with LEVEL as black.", adjustedHeightMap},
          {"count-tiles", "MAP TILEDATA TEXTURELIST ARTLIST" + size,
           "Tile usage of the whole map into the texture and art list files.", countTiles},
          {"replace-ids", "MAP RULES [--seed N]" + size,
           "Replaces tile ids by the rules file (per line: ID and a list ID,ID,...).", replaceIds},
      }};
  for (auto& c : mapToolCommands()) group.commands.push_back(std::move(c));
  return group;
}

}  // namespace quillotide::cli
