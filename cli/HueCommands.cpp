#include <sstream>

#include "app/Text.h"
#include "cli/Cli.h"
#include "cli/OpenArgs.h"
#include "models/Hues.h"

namespace quillotide::cli {

namespace {

// Entries are numbered from 0; the game's hue number is entry + 1.
int entryArg(const THues& hues, const std::string& text) {
  const std::int64_t e = parseIntArg(text, "ENTRY");
  if (!hues.hasEntry(static_cast<int>(e)) || e > INT32_MAX)
    throw Error("Hue entry " + text + " does not exist (the table has " +
                std::to_string(hues.hueCount()) + " entries).");
  return static_cast<int>(e);
}

// Opens the hue file in the registry's owner; the registry holds the model.
THues& openHues(Registry& r, const std::string& path) {
  openFamily(r, "Hues", {path});
  return *r.hues;
}

// A second hue file read only as the source of a copy: no family of the owner holds it.
THues loadSourceHues(const std::string& path) {
  THues hues;
  hues.load(path);
  return hues;
}

Json entryJson(int e, const HueEntry& entry) {
  Json::Array colours;
  for (Colour16 c : entry.colours) colours.emplace_back(static_cast<int>(c));
  return Json::Object{{"entry", e},
                      {"hue", e + 1},
                      {"label", hexLabel(static_cast<std::uint32_t>(e))},
                      {"name", entry.nameText()},
                      {"tableStart", static_cast<int>(entry.tableStart)},
                      {"tableEnd", static_cast<int>(entry.tableEnd)},
                      {"colours", colours}};
}

std::string entryText(int e, const HueEntry& entry) {
  std::ostringstream text;
  text << "entry: " << hexLabel(static_cast<std::uint32_t>(e)) << " (hue " << (e + 1) << ")"
       << "\nname: " << entry.nameText() << "\ntable start: " << hexLabel(entry.tableStart)
       << "\ntable end: " << hexLabel(entry.tableEnd) << "\ncolours:";
  for (std::size_t n = 0; n < entry.colours.size(); ++n) {
    const Pixel p = colour16ToPixel(entry.colours[n]);
    text << "\n  " << n << ": " << hexLabel(entry.colours[n]) << " (" << int(redOf(p)) << ", "
         << int(greenOf(p)) << ", " << int(blueOf(p)) << ")";
  }
  return text.str();
}

int info(Args& args, Context& ctx) {
  const auto p = args.positionals(1, 1);
  Registry registry;
  const THues& hues = openHues(registry, p[0]);
  const std::size_t tail = hues.toBytes().size() % THues::kBlockSize;
  std::ostringstream text;
  text << "entries: " << hues.hueCount() << "\nblocks: " << hues.hueCount() / 8;
  if (tail) text << "\nbytes past the last whole block (kept): " << tail;
  ctx.report(Json::Object{{"entries", hues.hueCount()},
                          {"blocks", hues.hueCount() / 8},
                          {"tailBytes", static_cast<std::uint64_t>(tail)}},
             text.str());
  return 0;
}

int list(Args& args, Context& ctx) {
  const bool named = args.flag("named");
  const auto p = args.positionals(1, 1);
  Registry registry;
  const THues& hues = openHues(registry, p[0]);
  Json::Array rows;
  std::ostringstream text;
  for (int e = 0; e < hues.hueCount(); ++e) {
    const std::string name = hues.hueName(e);
    if (named && name.empty()) continue;
    if (ctx.json)
      rows.push_back(Json::Object{
          {"entry", e}, {"label", hexLabel(static_cast<std::uint32_t>(e))}, {"name", name}});
    else
      text << hexLabel(static_cast<std::uint32_t>(e)) << '\t' << name << '\n';
  }
  ctx.report(rows, text.str());
  return 0;
}

int show(Args& args, Context& ctx) {
  const auto p = args.positionals(2, 2);
  Registry registry;
  const THues& hues = openHues(registry, p[0]);
  const int e = entryArg(hues, p[1]);
  const HueEntry entry = *hues.entry(e);
  ctx.report(entryJson(e, entry), entryText(e, entry));
  return 0;
}

int exportHue(Args& args, Context& ctx) {
  const auto p = args.positionals(3, 3);
  Registry registry;
  const THues& hues = openHues(registry, p[0]);
  const int e = entryArg(hues, p[1]);
  hues.exportHue(e, p[2]);
  ctx.report(Json::Object{{"entry", e}, {"path", p[2]}},
             "wrote hue entry " + hexLabel(static_cast<std::uint32_t>(e)) + " to " + p[2]);
  return 0;
}

// Changes one entry and saves to the write target; reports the entry as it now is.
template <typename Change>
int change(Args& args, Context& ctx, std::size_t extra, Change changeEntry) {
  const FileTarget out = takeFileTarget(args);
  const auto p = args.positionals(2 + extra, 2 + extra);
  Registry registry;
  THues& hues = openHues(registry, p[0]);
  const int e = entryArg(hues, p[1]);
  changeEntry(hues, e, p);
  const std::string target = out.path(p[0]);
  saveFamily(registry, "Hues", {target});
  const HueEntry entry = *hues.entry(e);
  ctx.report(entryJson(e, entry), entryText(e, entry) + "\nsaved to " + target);
  return 0;
}

int importHue(Args& args, Context& ctx) {
  return change(args, ctx, 1, [](THues& hues, int e, const std::vector<std::string>& p) {
    hues.importHue(e, p[2]);
  });
}

int spread(Args& args, Context& ctx) {
  return change(args, ctx, 2, [](THues& hues, int e, const std::vector<std::string>& p) {
    hues.spreadHue(static_cast<int>(parseIntArg(p[2], "FROM")),
                   static_cast<int>(parseIntArg(p[3], "TO")), e);
  });
}

int setColour(Args& args, Context& ctx) {
  return change(args, ctx, 2, [](THues& hues, int e, const std::vector<std::string>& p) {
    const std::int64_t n = parseIntArg(p[2], "N");
    const std::int64_t value = parseIntArg(p[3], "COLOUR");
    if (value < 0 || value > 0xFFFF)
      throw UsageError("COLOUR takes a 16-bit value, not " + p[3] + ".");
    hues.setHueColour16(e, static_cast<int>(n), static_cast<Colour16>(value));
  });
}

int setName(Args& args, Context& ctx) {
  return change(args, ctx, 1, [](THues& hues, int e, const std::vector<std::string>& p) {
    hues.setHueName(e, p[2]);
  });
}

int copy(Args& args, Context& ctx) {
  return change(args, ctx, 2, [](THues& hues, int e, const std::vector<std::string>& p) {
    const THues source = loadSourceHues(p[2]);
    const int from = entryArg(source, p[3]);
    hues.setColours(e, source.entry(from)->colours);
  });
}

}  // namespace

Group hueGroup() {
  return {
      "hues",
      "hues.mul: ramps of 32 colours. ENTRY counts from 0; the game's hue number is ENTRY + 1.",
      {
          {"info", "HUES", "Entry and block counts.", info},
          {"list", "HUES [--named]", "Every entry with its name.", list},
          {"show", "HUES ENTRY", "One entry: name, table bounds and its 32 colours.", show},
          {"export", "HUES ENTRY FILE.txt|.bmp|.png",
           "Writes one ramp as text (name, bounds, colours) or as a 32-column strip picture.",
           exportHue},
          {"import", "HUES ENTRY FILE.txt|.bmp|.png [--out FILE]",
           "Reads one ramp from text or a strip picture; saves in place or to --out.", importHue},
          {"spread", "HUES ENTRY FROM TO [--out FILE]",
           "Colours FROM..TO on the straight line between colour FROM and colour TO.", spread},
          {"set-colour", "HUES ENTRY N COLOUR16 [--out FILE]",
           "Sets colour N (0..31) to a 16-bit colour.", setColour},
          {"set-name", "HUES ENTRY NAME [--out FILE]", "Sets the name (at most 20 characters).",
           setName},
          {"copy", "HUES ENTRY SOURCE_HUES SOURCE_ENTRY [--out FILE]",
           "Copies the 32 colours of an entry of another hue file (name and bounds stay).", copy},
      }};
}

}  // namespace quillotide::cli
