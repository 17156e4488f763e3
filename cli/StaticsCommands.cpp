#include <algorithm>

#include "app/Image.h"
#include "app/Text.h"
#include "cli/Cli.h"
#include "cli/OpenArgs.h"
#include "cli/WorldArgs.h"
#include "world/FindPlaced.h"
#include "world/Statics.h"

namespace quillotide::cli {

namespace {

Progress g_silent;

// Problems met while reading blocks go after the report, so a JSON report stays one value.
std::string problemsText(TStatics& statics) {
  std::string out;
  for (const auto& p : statics.takeProblems()) out += "warning: " + p + "\n";
  return out;
}

// The statics pair named by the first two of a command's positionals (STAIDX STATICS ...),
// opened at the world size of --width/--height or of --facet N and the index's size, held in
// memory, through the owner of open files of a registry of its own.
struct OpenedStatics {
  OpenedStatics(Args& args, std::size_t least, std::size_t most) {
    const WorldSizeArgs sized = takeWorldSize(args);
    p = args.positionals(least, most);
    const WorldSize size = sized.forStatics(p[0]);
    openFamily(registry, "Statics", {p[0], p[1]}, OpenSize{size.width, size.height});
  }
  OpenedStatics(Args& args, std::size_t count) : OpenedStatics(args, count, count) {}

  // Writes the changes into the pair opened.
  FamilyOps::Message save() { return saveFamily(registry, "Statics", {p[0], p[1]}, g_silent); }

  std::vector<std::string> p;
  Registry registry;
  // The open reads into the registry's model; it stays the same object.
  TStatics& statics = *registry.statics;
};

std::string itemText(const TItem& s) {
  return hexLabel(s.tileId) + " " + std::to_string(s.x) + " " + std::to_string(s.y) + " " +
         std::to_string(s.z) + " " + hexLabel(s.hue);
}

// The first static (in file order) with the id on the cell.
std::int32_t findStatic(TStatics& statics, int x, int y, std::uint16_t id) {
  const auto items = statics.getItemsInRect(x, x, y, y);
  for (auto it = items.rbegin(); it != items.rend(); ++it)
    if (it->x == x && it->y == y && it->tileId == id) return it->serial;
  throw Error(formatMessage("No static %s on the cell %d,%d.",
                            {hexLabel(id), std::to_string(x), std::to_string(y)}));
}

int saveAndReport(OpenedStatics& o, Context& ctx, const Json& json, const std::string& what) {
  const auto message = o.save();
  ctx.report(json,
             what + (message ? "\n" + *message : std::string()) + "\n" + problemsText(o.statics));
  return 0;
}

int list(Args& args, Context& ctx) {
  OpenedStatics o(args, 6);
  auto& p = o.p;
  TStatics& statics = o.statics;
  auto items = statics.getItemsInRect(intArg(p[2], "X1"), intArg(p[4], "X2"), intArg(p[3], "Y1"),
                                      intArg(p[5], "Y2"));
  Json::Array rows;
  std::string text;
  for (auto it = items.rbegin(); it != items.rend(); ++it) {
    rows.push_back(itemJson(*it));
    text += itemText(*it) + "\n";
  }
  const std::string problems = problemsText(statics);
  ctx.report(rows, text + std::to_string(items.size()) + " statics\n" + problems);
  return 0;
}

int add(Args& args, Context& ctx) {
  OpenedStatics o(args, 7);
  auto& p = o.p;
  TStatics& statics = o.statics;
  const int z = intArg(p[5], "Z");
  if (z < -128 || z > 127) throw UsageError("Z must be -128 to 127.");
  const std::int32_t serial =
      statics.add(u16Arg(p[2], "ID"), intArg(p[3], "X"), intArg(p[4], "Y"), z, u16Arg(p[6], "HUE"));
  const TItem s = *statics.item(serial);
  return saveAndReport(o, ctx, itemJson(s), "added " + itemText(s));
}

int remove(Args& args, Context& ctx) {
  OpenedStatics o(args, 5);
  auto& p = o.p;
  TStatics& statics = o.statics;
  const std::int32_t serial =
      findStatic(statics, intArg(p[2], "X"), intArg(p[3], "Y"), u16Arg(p[4], "ID"));
  const TItem s = *statics.item(serial);
  statics.remove(serial);
  return saveAndReport(o, ctx, itemJson(s), "deleted " + itemText(s));
}

// Opens the statics, finds the static ID on cell X Y, applies the change to it, saves and
// reports the static as it is afterwards.
template <class Change>
int changeFoundStatic(Args& args, Context& ctx, std::size_t least, std::size_t most,
                      const std::string& verb, Change change) {
  OpenedStatics o(args, least, most);
  auto& p = o.p;
  TStatics& statics = o.statics;
  const std::int32_t serial =
      findStatic(statics, intArg(p[2], "X"), intArg(p[3], "Y"), u16Arg(p[4], "ID"));
  change(statics, serial, p);
  const TItem s = *statics.item(serial);
  return saveAndReport(o, ctx, itemJson(s), verb + " " + itemText(s));
}

int move(Args& args, Context& ctx) {
  return changeFoundStatic(
      args, ctx, 7, 8, "moved to",
      [](TStatics& st, std::int32_t serial, const std::vector<std::string>& p) {
        st.move(serial, intArg(p[5], "DX"), intArg(p[6], "DY"),
                p.size() > 7 ? intArg(p[7], "DZ") : 0);
      });
}

int hue(Args& args, Context& ctx) {
  return changeFoundStatic(
      args, ctx, 6, 6, "now",
      [](TStatics& st, std::int32_t serial, const std::vector<std::string>& p) {
        st.setHue(serial, u16Arg(p[5], "HUE"));
      });
}

int retype(Args& args, Context& ctx) {
  return changeFoundStatic(
      args, ctx, 6, 6, "now",
      [](TStatics& st, std::int32_t serial, const std::vector<std::string>& p) {
        st.setTileId(serial, u16Arg(p[5], "NEWID"));
      });
}

int compact(Args& args, Context& ctx) {
  OpenedStatics o(args, 4);
  auto& p = o.p;
  TStatics& statics = o.statics;
  statics.compact(p[2], p[3], g_silent);
  ctx.report(Json::Object{{"index", p[2]}, {"data", p[3]}},
             "compacted into " + p[2] + " and " + p[3] + "\n" + problemsText(statics));
  return 0;
}

int clear(Args& args, Context& ctx) {
  OpenedStatics o(args, 2);
  TStatics& statics = o.statics;
  const std::string message = statics.clearAll(g_silent);
  o.save();
  ctx.report(Json::Object{{"message", message}}, message);
  return 0;
}

int staticMap(Args& args, Context& ctx) {
  OpenedStatics o(args, 3);
  auto& p = o.p;
  TStatics& statics = o.statics;
  imageFormatOf(p[2]);  // a name the picture cannot be saved under fails before the drawing
  writeImageFile(p[2], statics.renderStaticMap(g_silent));
  ctx.report(Json::Object{{"path", p[2]}},
             "static map written to " + p[2] + "\n" + problemsText(statics));
  return 0;
}

int search(Args& args, Context& ctx) {
  const auto dir = args.option("dir");
  OpenedStatics o(args, 3);
  auto& p = o.p;
  TStatics& statics = o.statics;
  if (dir) {
    const std::string answer = p[2];
    const auto path = statics.searchId(
        *dir, [&](const std::string&, const std::string&, const std::string&) { return answer; },
        g_silent);
    ctx.report(Json::Object{{"path", *path}}, "written to " + *path);
    return 0;
  }
  const auto lines = statics.searchLines(u16Arg(p[2], "ID"), g_silent);
  Json::Array rows;
  std::string text;
  for (const auto& l : lines) {
    rows.emplace_back(l);
    text += l + "\n";
  }
  ctx.report(rows, text + std::to_string(lines.size()) + " found");
  return 0;
}

int find(Args& args, Context& ctx) {
  OpenedStatics o(args, 3);
  auto& p = o.p;
  TStatics& statics = o.statics;
  // Names need the tile data, which this command does not read.
  const IdFilter filter(p[2]);
  if (filter.matchesAll() || filter.byName())
    throw UsageError("ID must be a tile id or a range of ids A-B.");
  const std::vector<bool> ids = filteredStaticIds(filter, nullptr);
  if (std::find(ids.begin(), ids.end(), true) == ids.end())
    throw UsageError("ID " + p[2] + " names no static tile id (0x0 to 0xFFFF).");
  WorldModels models;
  models.statics = &statics;
  const std::vector<TItem> found = findPlaced(filter, models, nullptr, g_silent);
  Json::Array rows;
  std::string text;
  for (const TItem& s : found) {
    rows.push_back(itemJson(s));
    text += itemText(s) + "\n";
  }
  ctx.report(rows, text + std::to_string(found.size()) + " found\n" + problemsText(statics));
  return 0;
}

int removeDuplicates(Args& args, Context& ctx) {
  OpenedStatics o(args, 2);
  TStatics& statics = o.statics;
  const std::string message = statics.removeDuplicates(g_silent);
  o.save();
  ctx.report(Json::Object{{"message", message}}, message + "\n" + problemsText(statics));
  return 0;
}

int exportText(Args& args, Context& ctx) {
  OpenedStatics o(args, 3);
  auto& p = o.p;
  TStatics& statics = o.statics;
  statics.exportText(p[2], g_silent);
  ctx.report(Json::Object{{"path", p[2]}},
             "statics written to " + p[2] + "\n" + problemsText(statics));
  return 0;
}

}  // namespace

Group staticsGroup() {
  const std::string size = kWorldSizeUsage;
  Group group{
      "statics",
      "The statics pair staidx0.mul / statics0.mul of a W x H world.",
      {
          {"list", "IDX MUL X1 Y1 X2 Y2" + size,
           "The statics of a rectangle (both corners included), in file order per block.", list},
          {"add", "IDX MUL ID X Y Z HUE" + size, "Adds a static and saves.", add},
          {"delete", "IDX MUL X Y ID" + size,
           "Deletes the first static with that id on the cell and saves.", remove},
          {"move", "IDX MUL X Y ID DX DY [DZ]" + size,
           "Moves the first static with that id on the cell and saves.", move},
          {"hue", "IDX MUL X Y ID HUE" + size, "Recolours a static and saves.", hue},
          {"retype", "IDX MUL X Y ID NEWID" + size, "Gives a static another tile id.", retype},
          {"compact", "IDX MUL OUTIDX OUTMUL" + size, "Writes a copy without unreferenced data.",
           compact},
          {"clear", "IDX MUL" + size, "Empties every block and saves.", clear},
          {"static-map", "IDX MUL OUT" + size,
           "A 6144 x 4096 picture with every static's position black (BMP or PNG).", staticMap},
          {"search", "IDX MUL ID [--dir DIR]" + size,
           "Lists the statics of a tile id (--dir: into DIR/0x%x.txt).", search},
          {"find", "IDX MUL ID" + size,
           "Every static of a tile id, or of a range of ids A-B, with its position and hue "
           "(--json: an array of {id, x, y, z, hue}).",
           find},
          {"remove-duplicates", "IDX MUL" + size,
           "Removes statics equal in id, position, altitude and hue within a block; saves.",
           removeDuplicates},
          {"export", "IDX MUL OUT" + size, "Every static as a text line.", exportText},
      }};
  for (auto& c : staticsToolCommands()) group.commands.push_back(std::move(c));
  return group;
}

}  // namespace quillotide::cli
