#include <algorithm>
#include <sstream>

#include "app/Text.h"
#include "cli/Cli.h"
#include "cli/OpenArgs.h"
#include "models/Art.h"
#include "models/Radarcol.h"

namespace quillotide::cli {

namespace {

std::string label(std::int64_t v) { return hexLabel(static_cast<std::uint32_t>(v)); }

// The entry named by --land T, --static S or the ENTRY positional (exactly one of them).
std::int64_t entryOf(std::optional<std::int64_t> land, std::optional<std::int64_t> stat,
                     const std::vector<std::string>& rest) {
  const int given = (land ? 1 : 0) + (stat ? 1 : 0) + (rest.empty() ? 0 : 1);
  if (given != 1) throw UsageError("Name the entry once: ENTRY, --land TILE or --static ID.");
  if (land) {
    if (*land < 0 || *land >= kRadarStaticBase) throw UsageError("A land tile is 0 to 0x3FFF.");
    return *land;
  }
  if (stat) {
    if (*stat < 0 || *stat > 0xFFFF) throw UsageError("A static id is 0 to 0xFFFF.");
    return kRadarStaticBase + *stat;
  }
  return parseIntArg(rest[0], "ENTRY");
}

Json entryJson(std::int64_t entry, Colour16 c) {
  const Pixel p = colour16ToPixel(c);
  return Json::Object{{"entry", entry},
                      {"label", label(entry)},
                      {"kind", entry < kRadarStaticBase ? "land" : "static"},
                      {"id", entry < kRadarStaticBase ? entry : entry - kRadarStaticBase},
                      {"colour", static_cast<int>(c)},
                      {"red", static_cast<int>(redOf(p))},
                      {"green", static_cast<int>(greenOf(p))},
                      {"blue", static_cast<int>(blueOf(p))}};
}

std::string entryText(std::int64_t entry, Colour16 c) {
  const Pixel p = colour16ToPixel(c);
  std::ostringstream text;
  text << label(entry) << " ("
       << (entry < kRadarStaticBase ? "land " + label(entry)
                                    : "static " + label(entry - kRadarStaticBase))
       << "): " << label(c) << " red " << int(redOf(p)) << " green " << int(greenOf(p)) << " blue "
       << int(blueOf(p));
  return text.str();
}

int show(Args& args, Context& ctx) {
  const auto land = args.intOption("land");
  const auto stat = args.intOption("static");
  const auto p = args.positionals(1, 2);
  Registry registry;
  openFamily(registry, "Radarcol", {p[0]});
  TRadarcol& radar = *registry.radarcol;
  if (!land && !stat && p.size() == 1) {
    const std::int64_t n = radar.entryCount();
    const std::int64_t statics = n > kRadarStaticBase ? n - kRadarStaticBase : 0;
    ctx.report(Json::Object{{"entries", n}, {"land", n - statics}, {"statics", statics}},
               "entries: " + std::to_string(n) + "\nland: " + std::to_string(n - statics) +
                   "\nstatics: " + std::to_string(statics));
    return 0;
  }
  const std::int64_t entry = entryOf(land, stat, {p.begin() + 1, p.end()});
  if (entry < 0 || entry >= radar.entryCount())
    throw Error(formatMessage("Radar colour entry %s lies beyond the table (%d entries).",
                              {label(entry), std::to_string(radar.entryCount())}));
  const Colour16 c = radar.radarColour(entry);
  ctx.report(entryJson(entry, c), entryText(entry, c));
  return 0;
}

int set(Args& args, Context& ctx) {
  const auto land = args.intOption("land");
  const auto stat = args.intOption("static");
  const auto rgb = args.option("rgb");
  const FileTarget out = takeFileTarget(args);
  const auto p = args.positionals(1, 3);
  std::vector<std::string> rest(p.begin() + 1, p.end());
  Colour16 colour = 0;
  if (rgb) {
    const auto parts = split(*rgb, ",");
    if (parts.size() != 3) throw UsageError("--rgb takes RED,GREEN,BLUE (0 to 255 each).");
    std::uint8_t ch[3];
    for (int k = 0; k < 3; ++k) {
      const std::int64_t v = parseIntArg(parts[static_cast<std::size_t>(k)], "--rgb");
      if (v < 0 || v > 255) throw UsageError("--rgb takes RED,GREEN,BLUE (0 to 255 each).");
      ch[k] = static_cast<std::uint8_t>(v);
    }
    colour = rgbToColour16(ch[0], ch[1], ch[2]);
  } else {
    if (rest.empty()) throw UsageError("Give the COLOUR or --rgb R,G,B.");
    const std::int64_t v = parseIntArg(rest.back(), "COLOUR");
    if (v < 0 || v > 0x7FFF) throw UsageError("A colour is a 15-bit value, 0 to 0x7FFF.");
    colour = static_cast<Colour16>(v);
    rest.pop_back();
  }
  const std::int64_t entry = entryOf(land, stat, rest);
  Registry registry;
  openFamily(registry, "Radarcol", {p[0]});
  TRadarcol& radar = *registry.radarcol;
  radar.setRadarColour(entry, colour);
  saveFamily(registry, "Radarcol", {out.path(p[0])});
  ctx.report(entryJson(entry, colour), "set " + entryText(entry, colour));
  return 0;
}

int fromArt(Args& args, Context& ctx) {
  const auto land = args.intOption("land");
  const auto stat = args.intOption("static");
  const bool all = args.flag("all");
  const auto to = args.option("to");
  const FileTarget out = takeFileTarget(args);
  const auto p = args.positionals(3, 4);
  Registry registry;
  openFamily(registry, "Radarcol", {p[0]});
  TRadarcol& radar = *registry.radarcol;
  openFamily(registry, "Art", {p[1], p[2]});
  const TArt& art = *registry.art;

  std::vector<std::int64_t> entries;
  if (all) {
    if (land || stat || p.size() == 4) throw UsageError("--all takes no entry.");
    for (std::int64_t t = 0; t < kLandTileCount; ++t)
      if (art.landExists(t)) entries.push_back(t);
    for (std::int64_t s = 0; s < art.staticCount() && s <= 0xFFFF; ++s)
      if (art.staticExists(s)) entries.push_back(kRadarStaticBase + s);
  } else {
    const std::int64_t first = entryOf(land, stat, {p.begin() + 3, p.end()});
    entries.push_back(first);
    if (to) {
      // A range stays on its side of the table: land tiles or statics, as the first entry.
      const std::int64_t base = first < kRadarStaticBase ? 0 : kRadarStaticBase;
      const std::int64_t last = base + parseIntArg(*to, "--to");
      const std::int64_t end = base == 0 ? kRadarStaticBase - 1 : kRadarMaxEntries - 1;
      entries.clear();
      for (std::int64_t e = first; e <= std::min(last, end); ++e) entries.push_back(e);
    }
  }
  // A single entry without a picture is an error; a range or --all passes over such slots.
  const bool skipEmpty = all || to;

  Json::Array rows;
  std::ostringstream text;
  std::int64_t changed = 0;
  for (const std::int64_t entry : entries) {
    const bool isLand = entry < kRadarStaticBase;
    const std::int64_t id = isLand ? entry : entry - kRadarStaticBase;
    const auto average = isLand ? art.landAverageColour(id) : art.staticAverageColour(id);
    if (!average) {
      if (!skipEmpty)
        throw Error(formatMessage("%s %s has no picture to take a colour from.",
                                  {isLand ? "Land tile" : "Static", label(id)}));
      continue;
    }
    const Colour16 c = rgbToColour16(redOf(*average), greenOf(*average), blueOf(*average));
    radar.setRadarColour(entry, c);
    ++changed;
    if (ctx.json)
      rows.push_back(entryJson(entry, c));
    else
      text << "set " << entryText(entry, c) << '\n';
  }
  saveFamily(registry, "Radarcol", {out.path(p[0])});
  text << changed << " entries set";
  ctx.report(Json::Object{{"changed", changed}, {"entries", rows}}, text.str());
  return 0;
}

}  // namespace

Group radarcolGroup() {
  return {
      "radarcol",
      "The radar colour table radarcol.mul (land tiles, then statics from 0x4000).",
      {
          {"show", "[--land TILE|--static ID] RADARCOL [ENTRY]",
           "One entry's colour and channels, or the table's size.", show},
          {"set", "[--land TILE|--static ID] [--rgb R,G,B] RADARCOL [ENTRY] [COLOUR] [--out FILE]",
           "Sets one entry to a 15-bit colour or to the colour of three 8-bit channels.", set},
          {"from-art",
           "[--land TILE|--static ID [--to LAST]|--all] RADARCOL ARTIDX ART [ENTRY] "
           "[--out FILE]",
           "Sets entries to the average colour of their art slots (--to: every id from the "
           "first to LAST; slots without a picture are passed over).",
           fromArt},
      }};
}

}  // namespace quillotide::cli
