#include "app/FileIO.h"
#include "app/Text.h"
#include "cli/Cli.h"
#include "cli/WorldArgs.h"
#include "world/WorldFile.h"

namespace quillotide::cli {

namespace {

WorldTextFormat formatOf(Args& args, const std::string& name) {
  const auto v = args.option(name);
  if (!v) return WorldTextFormat::Plain;
  try {
    return worldTextFormatByName(*v);
  } catch (const Error& e) {
    throw UsageError(e.what());
  }
}

int list(Args& args, Context& ctx) {
  const WorldTextFormat format = formatOf(args, "format");
  const auto p = args.positionals(1, 1);
  TWorldFile world;
  world.load(p[0], format);
  Json::Array rows;
  for (const TItem& s : world.items()) rows.push_back(itemJson(s));
  std::string text;
  for (const auto& l : world.lines(WorldTextFormat::Plain)) text += l + "\n";
  ctx.report(rows, text + std::to_string(world.size()) + " items");
  return 0;
}

int convert(Args& args, Context& ctx) {
  const WorldTextFormat from = formatOf(args, "from");
  const WorldTextFormat to = formatOf(args, "to");
  const auto p = args.positionals(2, 2);
  TWorldFile world;
  world.load(p[0], from);
  const bool written = world.save(p[1], to);
  ctx.report(Json::Object{{"items", static_cast<std::int64_t>(world.size())}, {"written", written}},
             std::to_string(world.size()) + " items " +
                 (written ? "written to " + p[1] : std::string("(nothing written)")));
  return 0;
}

int add(Args& args, Context& ctx) {
  const WorldTextFormat format = formatOf(args, "format");
  const auto p = args.positionals(6, 6);
  TWorldFile world;
  if (fileExists(p[0])) world.load(p[0], format);
  const int z = intArg(p[4], "Z");
  if (z < -128 || z > 127) throw UsageError("Z must be -128 to 127.");
  world.add(u16Arg(p[1], "ID"), u16Arg(p[2], "X"), u16Arg(p[3], "Y"), static_cast<std::int8_t>(z),
            u16Arg(p[5], "HUE"));
  world.save(p[0], format);
  ctx.report(itemJson(world.items().back()),
             "added; " + std::to_string(world.size()) + " items in " + p[0]);
  return 0;
}

}  // namespace

Group worldGroup() {
  return {"world",
          "World files of placed items in the plain, Sphere51a or WSC text format.",
          {
              {"list", "FILE [--format text|sphere|wsc]", "The items of a world file.", list},
              {"convert", "IN OUT --from text|sphere|wsc --to text|sphere|wsc",
               "Reads a world file in one format and writes it in another.", convert},
              {"add", "FILE ID X Y Z HUE [--format text|sphere|wsc]",
               "Adds an item to a world file (created when missing).", add},
          }};
}

}  // namespace quillotide::cli
