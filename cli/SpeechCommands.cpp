// The "speech" group: the speech keywords of speech.mul, entries of a keyword id and a UTF-8 text
// in several language lists one after another. Entries are named by their index in the file (ids
// repeat). The file is opened through the owner of open files; a change is written back over it
// or to --out.

#include <sstream>

#include "app/Text.h"
#include "cli/Cli.h"
#include "cli/OpenArgs.h"
#include "models/Speech.h"

namespace quillotide::cli {

namespace {

TSpeech& opened(Registry& registry, const std::string& path, const Context& ctx) {
  openFamily(registry, "Speech", {path});
  ctx.noteProblems(path, registry.speech->problems());
  return *registry.speech;
}

std::size_t indexOf(const std::string& text, const char* what) {
  const std::int64_t n = parseIntArg(text, what);
  if (n < 0) throw Error("There is no entry " + text + ": entries are numbered from 0.");
  return static_cast<std::size_t>(n);
}

std::uint16_t idOf(const std::string& text, const std::string& record) {
  const std::int64_t id = parseIntArg(text, "ID");
  if (id < 0 || id > 0xFFFF)
    throw Error(record + ": a keyword id is 0 to 65535, not " + std::to_string(id) + ".");
  return static_cast<std::uint16_t>(id);
}

std::string entryName(std::size_t index) { return "Entry " + std::to_string(index); }

// The file holds UTF-8 texts: other bytes typed are refused before anything changes.
void requireUtf8(const std::string& text, const std::string& record) {
  if (!isUtf8(text)) throw Error(record + ": the text is no UTF-8 text.");
}

Json entryJson(const TSpeech& speech, std::size_t index) {
  const SpeechEntry& e = speech.entry(index);
  return Json::Object{{"index", static_cast<std::int64_t>(index)},
                      {"id", int{e.id}},
                      {"text", toValidUtf8(e.text)}};
}

std::string entryText(const TSpeech& speech, std::size_t index) {
  const SpeechEntry& e = speech.entry(index);
  return std::to_string(index) + "\t" + std::to_string(e.id) + "\t" + toValidUtf8(e.text);
}

std::string written(const std::string& out) { return "\nwritten to " + out; }

int list(Args& args, Context& ctx) {
  const auto p = args.positionals(1, 1);
  Registry registry;
  const TSpeech& speech = opened(registry, p[0], ctx);
  Json::Array rows;
  std::ostringstream text;
  for (std::size_t i = 0; i < speech.size(); ++i) {
    rows.push_back(entryJson(speech, i));
    text << entryText(speech, i) << '\n';
  }
  const auto sections = speech.sections();
  text << speech.size() << " entries in " << sections.size() << " lists\n";
  ctx.report(rows, text.str());
  return 0;
}

int save(Args& args, Context& ctx) {
  const auto p = args.positionals(2, 2);
  Registry registry;
  const TSpeech& speech = opened(registry, p[0], ctx);
  saveFamily(registry, "Speech", {p[1]});
  ctx.report(Json::Object{{"entries", static_cast<std::int64_t>(speech.size())}, {"file", p[1]}},
             "saved " + std::to_string(speech.size()) + " entries to " + p[1]);
  return 0;
}

int search(Args& args, Context& ctx) {
  const auto p = args.positionals(2);
  std::string words;
  for (std::size_t i = 1; i < p.size(); ++i) words += (i > 1 ? " " : "") + p[i];
  Registry registry;
  const TSpeech& speech = opened(registry, p[0], ctx);
  Json::Array rows;
  std::ostringstream text;
  for (const std::size_t i : speech.search(words)) {
    rows.push_back(entryJson(speech, i));
    text << entryText(speech, i) << '\n';
  }
  ctx.report(rows, text.str());
  return 0;
}

int edit(Args& args, Context& ctx) {
  const auto text = args.option("text");
  const auto id = args.option("id");
  const FileTarget target = takeFileTarget(args);
  const auto p = args.positionals(2, 2);
  if (!text && !id) throw UsageError("Give --text, --id or both.");
  const std::size_t index = indexOf(p[1], "INDEX");
  const std::uint16_t newId = id ? idOf(*id, entryName(index)) : 0;
  if (text) requireUtf8(*text, entryName(index));
  Registry registry;
  TSpeech& speech = opened(registry, p[0], ctx);
  speech.entry(index);  // an index past the file is said in the model's words
  forRecord(entryName(index), [&] {
    if (text) speech.setText(index, *text);
    if (id) speech.setId(index, newId);
  });
  const std::string out = target.path(p[0]);
  saveFamily(registry, "Speech", {out});
  ctx.report(entryJson(speech, index), entryText(speech, index) + written(out));
  return 0;
}

int add(Args& args, Context& ctx) {
  const auto at = args.option("at");
  const FileTarget target = takeFileTarget(args);
  const auto p = args.positionals(3, 3);
  const std::uint16_t id = idOf(p[1], "The new entry");
  requireUtf8(p[2], "The new entry");
  Registry registry;
  TSpeech& speech = opened(registry, p[0], ctx);
  const std::size_t where = at ? indexOf(*at, "--at") : speech.size();
  const std::size_t index = forRecord("The new entry", [&] {
    return speech.insert(where, SpeechEntry{id, p[2]});
  });
  const std::string out = target.path(p[0]);
  saveFamily(registry, "Speech", {out});
  ctx.report(entryJson(speech, index), "added " + entryText(speech, index) + written(out));
  return 0;
}

int remove(Args& args, Context& ctx) {
  const FileTarget target = takeFileTarget(args);
  const auto p = args.positionals(2, 2);
  const std::size_t index = indexOf(p[1], "INDEX");
  Registry registry;
  TSpeech& speech = opened(registry, p[0], ctx);
  const SpeechEntry gone = speech.entry(index);
  speech.remove(index);
  const std::string out = target.path(p[0]);
  saveFamily(registry, "Speech", {out});
  ctx.report(Json::Object{{"deleted", static_cast<std::int64_t>(index)},
                          {"id", int{gone.id}},
                          {"text", toValidUtf8(gone.text)}},
             "deleted entry " + std::to_string(index) + " (id " + std::to_string(gone.id) + ": " +
                 toValidUtf8(gone.text) + ")" + written(out));
  return 0;
}

}  // namespace

Group speechGroup() {
  const std::string out = std::string(kFileTargetUsage) + " ";
  return {
      "speech",
      "The speech keywords of speech.mul: entries of a keyword id (0 to 65535) and a UTF-8 text, "
      "in several language lists one after another. INDEX is an entry's place in the file, from "
      "0.",
      {
          {"list", "SPEECH", "Every entry in file order: index, id and text.", list},
          {"save", "SPEECH NEW",
           "Loads the file and saves it to NEW; an unchanged file comes out as it was.", save},
          {"search", "SPEECH WORDS...",
           "The entries whose text holds every word (ASCII letters case aside).", search},
          {"edit", "[--text T] [--id N] " + out + "SPEECH INDEX",
           "Sets an entry's text, id or both and writes the file.", edit},
          {"add", "[--at INDEX] " + out + "SPEECH ID TEXT",
           "Adds an entry before INDEX (at the end without --at) and writes the file.", add},
          {"delete", out + "SPEECH INDEX", "Removes an entry and writes the file.", remove},
      }};
}

}  // namespace quillotide::cli
