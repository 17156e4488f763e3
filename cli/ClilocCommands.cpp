// The "cliloc" group: the game's table of numbered texts. "merge" writes the static tile names of
// a tile data file into it, "list" and "show" read it back. The other commands work on the table
// as the Cliloc page does: opened through the owner of open files, in the file's own order, texts
// kept byte for byte and a damaged tail written back after the entries unless --drop-tail.

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

// Opens the cliloc file in the registry's owner; what the load found and kept goes to stderr.
TCliloc& opened(Registry& registry, const std::string& path, const Context& ctx) {
  openFamily(registry, "Cliloc", {path});
  ctx.noteProblems(path, registry.cliloc->problems());
  return *registry.cliloc;
}

// The position of the first entry of a number; Error when the file has none.
std::size_t positionOf(const TCliloc& cliloc, std::int32_t number) {
  if (const auto pos = cliloc.find(number)) return *pos;
  throw Error("The cliloc file has no entry " + std::to_string(number) + ".");
}

int list(Args& args, Context& ctx) {
  const auto from = args.option("from");
  const auto to = args.option("to");
  const auto p = args.positionals(1, 1);
  Registry registry;
  const TCliloc& cliloc = opened(registry, clilocFilePath(p[0]), ctx);
  const std::int64_t low = from ? numberOf(*from) : INT32_MIN;
  const std::int64_t high = to ? numberOf(*to) : INT32_MAX;
  Json::Array rows;
  std::ostringstream text;
  for (const TClilocEntry& e : cliloc.entries()) {
    if (e.number < low || e.number > high) continue;
    rows.push_back(entryJson(e));
    text << e.number << '\t' << int{e.flag} << '\t' << clilocText(e) << '\n';
  }
  ctx.report(Json::Object{{"entries", rows}}, text.str());
  return 0;
}

int show(Args& args, Context& ctx) {
  const auto p = args.positionals(2, 2);
  Registry registry;
  const TCliloc& cliloc = opened(registry, clilocFilePath(p[0]), ctx);
  const TClilocEntry& e = cliloc.entry(positionOf(cliloc, numberOf(p[1])));
  ctx.report(entryJson(e), clilocText(e));
  return 0;
}


std::uint8_t flagOf(const std::string& text, std::int32_t number) {
  const std::int64_t flag = parseIntArg(text, "--flag");
  if (flag < 0 || flag > 2)
    throw Error(formatMessage("Entry %d: a flag is 0, 1 or 2, not %d.",
                              {std::to_string(number), std::to_string(flag)}));
  return static_cast<std::uint8_t>(flag);
}

// The file a change of the table goes to, found whatever the case of its name.
std::string targetOf(const FileTarget& target, const std::string& source) {
  return target.inPlace() ? source : clilocFilePath(*target.out);
}

// Writes the changed table; --drop-tail leaves out the bytes after the last whole entry.
void write(Registry& registry, const std::string& out, bool dropTail) {
  if (dropTail) registry.cliloc->dropTail();
  saveFamily(registry, "Cliloc", {out});
}

Json rowsJson(const TCliloc& cliloc, const std::vector<std::size_t>& positions) {
  Json::Array rows;
  for (const std::size_t pos : positions) rows.push_back(entryJson(cliloc.entry(pos)));
  return rows;
}

std::string rowsText(const TCliloc& cliloc, const std::vector<std::size_t>& positions) {
  std::ostringstream text;
  for (const std::size_t pos : positions) {
    const TClilocEntry& e = cliloc.entry(pos);
    text << e.number << '\t' << int{e.flag} << '\t' << clilocText(e) << '\n';
  }
  return text.str();
}

int save(Args& args, Context& ctx) {
  const bool dropTail = args.flag("drop-tail");
  const auto p = args.positionals(2, 2);
  const std::string source = clilocFilePath(p[0]);
  const std::string out = clilocFilePath(p[1]);
  Registry registry;
  const TCliloc& cliloc = opened(registry, source, ctx);
  const auto tail = static_cast<std::int64_t>(cliloc.tail().size());
  write(registry, out, dropTail);
  std::string text = "saved " + std::to_string(cliloc.size()) + " entries to " + out;
  if (tail > 0)
    text += dropTail ? "\ndropped the damaged tail of " + std::to_string(tail) + " bytes"
                     : "\nkept the damaged tail of " + std::to_string(tail) + " bytes";
  ctx.report(Json::Object{{"entries", static_cast<std::int64_t>(cliloc.size())},
                          {"file", out},
                          {"tailBytes", tail},
                          {"tailDropped", dropTail && tail > 0},
                          {"problems", stringsJson(cliloc.problems())}},
             text);
  return 0;
}

int edit(Args& args, Context& ctx) {
  const auto text = args.option("text");
  const auto flag = args.option("flag");
  const bool dropTail = args.flag("drop-tail");
  const FileTarget target = takeFileTarget(args);
  const auto p = args.positionals(2, 2);
  if (!text && !flag) throw UsageError("Give --text, --flag or both.");
  const std::int32_t number = numberOf(p[1]);
  const std::string source = clilocFilePath(p[0]);
  Registry registry;
  TCliloc& cliloc = opened(registry, source, ctx);
  const std::size_t pos = positionOf(cliloc, number);
  const std::uint8_t newFlag = flag ? flagOf(*flag, number) : cliloc.entry(pos).flag;
  forRecord("Entry " + std::to_string(number), [&] {
    if (text) cliloc.setText(pos, *text);
    cliloc.setFlag(pos, newFlag);
  });
  const std::string out = targetOf(target, source);
  write(registry, out, dropTail);
  const TClilocEntry& e = cliloc.entry(pos);
  ctx.report(entryJson(e), "entry " + std::to_string(number) + " (flag " +
                               std::to_string(int{e.flag}) + "): " + clilocText(e) +
                               "\nwritten to " + out);
  return 0;
}

int add(Args& args, Context& ctx) {
  const auto flag = args.option("flag");
  const bool dropTail = args.flag("drop-tail");
  const FileTarget target = takeFileTarget(args);
  const auto p = args.positionals(3, 3);
  const std::int32_t number = numberOf(p[1]);
  const std::uint8_t f = flag ? flagOf(*flag, number) : 0;
  const std::string source = clilocFilePath(p[0]);
  Registry registry;
  TCliloc& cliloc = opened(registry, source, ctx);
  if (cliloc.find(number))
    throw Error("Entry " + std::to_string(number) + " is there already; edit changes it.");
  const std::size_t pos =
      forRecord("Entry " + std::to_string(number), [&] { return cliloc.add(number, f, p[2]); });
  const std::string out = targetOf(target, source);
  write(registry, out, dropTail);
  ctx.report(Json::Object{{"number", number},
                          {"flag", int{f}},
                          {"position", static_cast<std::int64_t>(pos)},
                          {"file", out}},
             "added entry " + std::to_string(number) + " at position " + std::to_string(pos) +
                 "\nwritten to " + out);
  return 0;
}

int remove(Args& args, Context& ctx) {
  const bool dropTail = args.flag("drop-tail");
  const FileTarget target = takeFileTarget(args);
  const auto p = args.positionals(2, 2);
  const std::int32_t number = numberOf(p[1]);
  const std::string source = clilocFilePath(p[0]);
  Registry registry;
  TCliloc& cliloc = opened(registry, source, ctx);
  cliloc.remove(positionOf(cliloc, number));
  const std::string out = targetOf(target, source);
  write(registry, out, dropTail);
  ctx.report(Json::Object{{"deleted", number}, {"file", out}},
             "deleted entry " + std::to_string(number) + "\nwritten to " + out);
  return 0;
}

int search(Args& args, Context& ctx) {
  const auto from = args.option("from");
  const auto to = args.option("to");
  const auto p = args.positionals(1);
  if (p.size() < 2 && !from && !to) throw UsageError("Give words to find, --from/--to or both.");
  std::string words;
  for (std::size_t i = 1; i < p.size(); ++i) words += (i > 1 ? " " : "") + p[i];
  const std::int32_t low = from ? numberOf(*from) : INT32_MIN;
  const std::int32_t high = to ? numberOf(*to) : INT32_MAX;
  Registry registry;
  const TCliloc& cliloc = opened(registry, clilocFilePath(p[0]), ctx);
  std::vector<std::size_t> found;
  for (const std::size_t pos : cliloc.search(words)) {
    const std::int32_t n = cliloc.entry(pos).number;
    if (n >= low && n <= high) found.push_back(pos);
  }
  ctx.report(Json::Object{{"entries", rowsJson(cliloc, found)}}, rowsText(cliloc, found));
  return 0;
}

int exportTable(Args& args, Context& ctx) {
  const auto p = args.positionals(2, 2);
  Registry registry;
  const TCliloc& cliloc = opened(registry, clilocFilePath(p[0]), ctx);
  cliloc.exportTableFile(p[1]);
  ctx.report(Json::Object{{"entries", static_cast<std::int64_t>(cliloc.size())}, {"file", p[1]}},
             "exported " + std::to_string(cliloc.size()) + " entries to " + p[1]);
  return 0;
}

int importTable(Args& args, Context& ctx) {
  const bool dropTail = args.flag("drop-tail");
  const FileTarget target = takeFileTarget(args);
  const auto p = args.positionals(2, 2);
  const std::string source = clilocFilePath(p[0]);
  Registry registry;
  TCliloc& cliloc = opened(registry, source, ctx);
  const ClilocImportResult r = cliloc.importTableFile(p[1]);
  const std::string out = targetOf(target, source);
  write(registry, out, dropTail);
  std::string text = formatMessage(
      "added %d and replaced %d entries (%d unchanged); %d lines left out\nwritten to %s",
      {std::to_string(r.added), std::to_string(r.changed), std::to_string(r.unchanged),
       std::to_string(r.failedLines.size()), out});
  for (const std::string& line : r.failedLines) text += "\nleft out: " + line;
  ctx.report(Json::Object{{"added", static_cast<std::int64_t>(r.added)},
                          {"replaced", static_cast<std::int64_t>(r.changed)},
                          {"unchanged", static_cast<std::int64_t>(r.unchanged)},
                          {"leftOut", stringsJson(r.failedLines)},
                          {"file", out}},
             text);
  return 0;
}

Json numbersJson(const std::vector<std::int32_t>& numbers) {
  Json::Array out;
  for (const std::int32_t n : numbers) out.emplace_back(n);
  return out;
}

std::string numbersText(const char* what, const std::vector<std::int32_t>& numbers) {
  if (numbers.empty()) return std::string(what) + ": none\n";
  std::string text = std::string(what) + " (" + std::to_string(numbers.size()) + "):";
  for (const std::int32_t n : numbers) text.append(1, ' ').append(std::to_string(n));
  return text + "\n";
}

int diff(Args& args, Context& ctx) {
  const auto p = args.positionals(2, 2);
  // Two files of one family: each opened in a registry of its own.
  Registry first, second;
  const TCliloc& a = opened(first, clilocFilePath(p[0]), ctx);
  const TCliloc& b = opened(second, clilocFilePath(p[1]), ctx);
  const ClilocDiff d = diffCliloc(a, b);
  ctx.report(Json::Object{{"added", numbersJson(d.added)},
                          {"removed", numbersJson(d.removed)},
                          {"changed", numbersJson(d.changed)}},
             numbersText("added", d.added) + numbersText("removed", d.removed) +
                 numbersText("changed", d.changed));
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
              {"save", "[--drop-tail] CLILOC NEW",
               "Loads the file and saves it to NEW: entries in the file's order, texts byte for "
               "byte, so an unchanged file is written back as it was. A damaged tail (bytes that "
               "are no whole entry) is kept unless --drop-tail.",
               save},
              {"edit", "[--text T] [--flag 0|1|2] [--drop-tail] [--out FILE] CLILOC NUMBER",
               "Sets the text (UTF-8, kept exactly), the flag or both of the first entry of "
               "NUMBER and writes the file.",
               edit},
              {"add", "[--flag 0|1|2] [--drop-tail] [--out FILE] CLILOC NUMBER TEXT",
               "Adds an entry beside its neighbour in number order and writes the file; a number "
               "already there is refused.",
               add},
              {"delete", "[--drop-tail] [--out FILE] CLILOC NUMBER",
               "Removes the first entry of NUMBER and writes the file.", remove},
              {"search", "[--from N] [--to N] CLILOC [WORDS...]",
               "The entries whose text holds every word (case aside) and whose number lies in "
               "the range.",
               search},
              {"export", "CLILOC OUT.tsv",
               "Writes the table as tab-separated UTF-8 text: Number, Flag, Text (\\\\, \\t, "
               "\\n, \\r stand for a backslash, TAB, line feed, carriage return).",
               exportTable},
              {"import", "[--drop-tail] [--out FILE] CLILOC IN.tsv",
               "Reads such a table: each listed number's text and flag is replaced or added; "
               "entries not listed stay. Says what was added and replaced and names each line "
               "left out.",
               importTable},
              {"diff", "CLILOC_A CLILOC_B",
               "The numbers only in B (added), only in A (removed) and in both with another text "
               "or flag (changed).",
               diff},
          }};
}

}  // namespace quillotide::cli
