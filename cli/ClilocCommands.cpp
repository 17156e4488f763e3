// The "cliloc" group: the game's table of numbered texts. "merge" writes the static tile names of
// a tile data file into it, "list" and "show" read it back.

#include <sstream>

#include "app/FileIO.h"
#include "app/Text.h"
#include "cli/Cli.h"
#include "cli/OpenArgs.h"
#include "models/Cliloc.h"
#include "models/Tiledata.h"

namespace quillotide::cli {

namespace {

std::optional<TiledataLayout> layoutOption(Args& args) {
  const auto l = args.option("layout");
  if (!l || *l == "auto") return std::nullopt;
  if (const auto layout = tiledataLayoutFromName(*l)) return layout;
  throw UsageError("--layout takes 'older', 'newer' or 'auto', not '" + *l + "'.");
}

std::int32_t numberOf(const std::string& text) {
  return static_cast<std::int32_t>(parseIntArg(text, "NUMBER"));
}

Json entryJson(const TClilocEntry& e) {
  return Json::Object{{"number", e.number}, {"flag", int{e.flag}}, {"text", clilocText(e)}};
}

int merge(Args& args, Context& ctx) {
  const auto layout = layoutOption(args);
  const FileTarget target = takeFileTarget(args);
  const auto p = args.positionals(2, 2);
  Registry registry;
  const TTiledata& tiledata = openTiledata(registry, p[0], layout);
  // The cliloc file is no family of the owner of open files: it is read and written here. A
  // missing cliloc file gives one of the tile names alone; one found under another case of its
  // name is merged into and keeps its name.
  const std::string source = clilocFilePath(p[1]);
  Cliloc cliloc = fileExists(source) ? loadCliloc(source) : Cliloc{};
  const ClilocMergeResult r = mergeTileNames(cliloc, tiledata);
  const std::string out = target.inPlace() ? source : clilocFilePath(*target.out);
  saveCliloc(out, cliloc);
  ctx.report(Json::Object{{"added", static_cast<std::int64_t>(r.added)},
                          {"replaced", static_cast<std::int64_t>(r.replaced)},
                          {"entries", static_cast<std::int64_t>(cliloc.entries.size())},
                          {"file", out}},
             clilocMergeReport(r, cliloc.entries.size(), out));
  return 0;
}

int list(Args& args, Context& ctx) {
  const auto from = args.option("from");
  const auto to = args.option("to");
  const auto p = args.positionals(1, 1);
  const Cliloc cliloc = loadCliloc(p[0]);
  const std::int64_t low = from ? numberOf(*from) : INT32_MIN;
  const std::int64_t high = to ? numberOf(*to) : INT32_MAX;
  Json::Array rows;
  std::ostringstream text;
  for (const TClilocEntry& e : cliloc.entries) {
    if (e.number < low || e.number > high) continue;
    rows.push_back(entryJson(e));
    text << e.number << '\t' << int{e.flag} << '\t' << clilocText(e) << '\n';
  }
  ctx.report(Json::Object{{"entries", rows}}, text.str());
  return 0;
}

int show(Args& args, Context& ctx) {
  const auto p = args.positionals(2, 2);
  const Cliloc cliloc = loadCliloc(p[0]);
  const std::int32_t number = numberOf(p[1]);
  const TClilocEntry* e = findClilocEntry(cliloc, number);
  if (!e) throw Error("The cliloc file has no entry " + std::to_string(number) + ".");
  ctx.report(entryJson(*e), clilocText(*e));
  return 0;
}

}  // namespace

Group clilocGroup() {
  return {"cliloc",
          "The cliloc file of numbered texts and the merge of the static tile names into it. "
          "CLILOC may name a client folder (its Cliloc.enu) and is found whatever its case.",
          {
              {"merge", "[--layout older|newer] [--out FILE] TILEDATA CLILOC",
               "Writes the name of every named static s as text 1020000 + s (added, or replacing "
               "that entry's text); every other entry is kept. A missing CLILOC is created.",
               merge},
              {"list", "[--from N] [--to N] CLILOC", "Every entry: number, flag and text.", list},
              {"show", "CLILOC NUMBER", "The text of the first entry with that number.", show},
          }};
}

}  // namespace quillotide::cli
