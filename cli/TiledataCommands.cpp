#include <array>
#include <limits>
#include <sstream>

#include "app/Text.h"
#include "cli/Cli.h"
#include "cli/OpenArgs.h"
#include "models/Tiledata.h"

namespace quillotide::cli {

namespace {

std::string layoutName(TiledataLayout l) { return tiledataLayoutName(l); }

std::string reasonName(TiledataLayoutReason r) {
  switch (r) {
    case TiledataLayoutReason::Given:
      return "given";
    case TiledataLayoutReason::Records:
      return "records";
    case TiledataLayoutReason::WholeGroups:
      return "wholeGroups";
    case TiledataLayoutReason::Remainder:
      return "remainder";
  }
  return "";
}

// --layout older|newer reads the file in that layout whatever it looks like; auto (or no option)
// lets the load choose.
std::optional<TiledataLayout> layoutOption(Args& args) {
  const auto l = args.option("layout");
  if (!l || *l == "auto") return std::nullopt;
  if (const auto layout = tiledataLayoutFromName(*l)) return layout;
  throw UsageError("--layout takes 'older', 'newer' or 'auto', not '" + *l + "'.");
}

std::int64_t idArg(const std::string& text) { return parseIntArg(text, "ID"); }

// Flags as "0x%x" (all 64 bits in the newer layout) plus the names of the bits set.
std::string flagText(std::uint64_t flags, int bits) {
  std::string text = hexLabel(static_cast<std::uint32_t>(flags));
  if (flags >> 32) {
    const std::string low = hexDigits(static_cast<std::uint32_t>(flags));
    text =
        hexLabel(static_cast<std::uint32_t>(flags >> 32)) + std::string(8 - low.size(), '0') + low;
  }
  std::string names;
  for (int bit = 0; bit < bits; ++bit) {
    if (!((flags >> bit) & 1)) continue;
    names += names.empty() ? "" : " ";
    names += bit < 32 ? std::string(TileFlags::staticColumns()[static_cast<std::size_t>(bit)])
                      : TileFlags::upperColumn(bit);
  }
  return names.empty() ? text : text + " (" + names + ")";
}

Json flagNames(std::uint64_t flags, int bits) {
  Json::Array names;
  for (int bit = 0; bit < bits; ++bit)
    if ((flags >> bit) & 1)
      names.emplace_back(
          bit < 32 ? std::string(TileFlags::staticColumns()[static_cast<std::size_t>(bit)])
                   : TileFlags::upperColumn(bit));
  return names;
}

void checkLand(const TTiledata& t, std::int64_t id, const std::string& text) {
  if (!t.hasLand(id))
    throw Error("Land id " + text + " lies outside the land section (0x0 to 0x3FFF).");
}

void checkStatic(const TTiledata& t, std::int64_t id, const std::string& text) {
  if (!t.hasStatic(id))
    throw Error("Static id " + text + " lies outside the static section (" +
                std::to_string(t.staticCount()) + " records).");
}

// --set NAME / --clear NAME, each as often as wanted, then --flags N replaces the word first.
std::uint64_t editFlags(Args& args, std::uint64_t flags, int bits) {
  if (auto v = args.option("flags")) {
    const auto parsed = tryParseInt(*v);
    if (!parsed)
      throw UsageError(formatMessage("'%s' is not a valid integer value", {*v}) + " (--flags)");
    flags = static_cast<std::uint32_t>(*parsed);
  }
  auto named = [&](const std::string& name) {
    const auto mask = TileFlags::flagByName(name);
    if (!mask) throw UsageError("Unknown flag '" + name + "'.");
    if (bits == 32 && (*mask >> 32))
      throw Error("This tile data file has 32 flag bits; " + name + " needs the newer layout.");
    return *mask;
  };
  while (auto name = args.option("set")) flags |= named(*name);
  while (auto name = args.option("clear")) flags &= ~named(*name);
  return flags;
}

// An integer option cut to its field width, refusing values that do not fit.
template <typename T>
void intField(Args& args, const char* name, T& field) {
  if (auto v = args.option(name)) {
    const auto parsed = tryParseInt(*v);
    if (!parsed)
      throw UsageError(formatMessage("'%s' is not a valid integer value", {*v}) + " (--" + name +
                       ")");
    if (*parsed < 0 || static_cast<std::uint64_t>(*parsed) > std::numeric_limits<T>::max())
      throw UsageError("--" + std::string(name) + " takes 0 to " +
                       std::to_string(std::numeric_limits<T>::max()) + ", not " + *v + ".");
    field = static_cast<T>(*parsed);
  }
}

Json landJson(std::int64_t id, const LandTileRecord& r, int bits) {
  return Json::Object{{"id", id},
                      {"label", hexLabel(static_cast<std::uint32_t>(id))},
                      {"name", tileNameText(r.name)},
                      {"textureId", static_cast<int>(r.textureId)},
                      {"flags", static_cast<std::uint64_t>(r.flags)},
                      {"flagNames", flagNames(r.flags, bits)}};
}

std::string landTextReport(std::int64_t id, const LandTileRecord& r, int bits) {
  std::ostringstream text;
  text << "id: " << hexLabel(static_cast<std::uint32_t>(id)) << "\nname: " << tileNameText(r.name)
       << "\ntexture: " << hexLabel(r.textureId) << "\nflags: " << flagText(r.flags, bits);
  return text.str();
}

Json staticJson(std::int64_t id, const StaticTileRecord& r, int bits) {
  return Json::Object{{"id", id},
                      {"label", hexLabel(static_cast<std::uint32_t>(id))},
                      {"name", tileNameText(r.name)},
                      {"flags", static_cast<std::uint64_t>(r.flags)},
                      {"flagNames", flagNames(r.flags, bits)},
                      {"weight", static_cast<int>(r.weight)},
                      {"quality", static_cast<int>(r.quality)},
                      {"unknown1", static_cast<int>(r.unknown1)},
                      {"unknown2", static_cast<int>(r.unknown2)},
                      {"quantity", static_cast<int>(r.quantity)},
                      {"animId", static_cast<int>(r.animId)},
                      {"unknown3", static_cast<int>(r.unknown3)},
                      {"hue", static_cast<int>(r.hue)},
                      {"unknown4", static_cast<int>(r.unknown4)},
                      {"unknown5", static_cast<int>(r.unknown5)},
                      {"height", static_cast<int>(r.height)}};
}

std::string staticTextReport(std::int64_t id, const StaticTileRecord& r, int bits) {
  std::ostringstream text;
  text << "id: " << hexLabel(static_cast<std::uint32_t>(id)) << "\nname: " << tileNameText(r.name)
       << "\nflags: " << flagText(r.flags, bits) << "\nweight: " << int(r.weight)
       << "\nquality: " << int(r.quality) << "\nunknown1: " << r.unknown1
       << "\nunknown2: " << int(r.unknown2) << "\nquantity: " << int(r.quantity)
       << "\nanimId: " << hexLabel(r.animId) << " (gump " << (r.animId + 50000) << ")"
       << "\nunknown3: " << int(r.unknown3) << "\nhue: " << int(r.hue)
       << "\nunknown4: " << int(r.unknown4) << "\nunknown5: " << int(r.unknown5)
       << "\nheight: " << int(r.height);
  return text.str();
}

int info(Args& args, Context& ctx) {
  const auto layout = layoutOption(args);
  const auto p = args.positionals(1, 1);
  Registry registry;
  const TTiledata& t = openTiledata(registry, p[0], layout);
  const std::size_t tail = (t.image().size() - t.sizes().landSection) % t.sizes().staticGroup;
  std::ostringstream text;
  text << "layout: " << t.layoutDescription() << "\nland records: " << TTiledata::kLandCount
       << "\nstatic records: " << t.staticCount() << "\nbytes: " << t.image().size();
  if (tail) text << "\npartial last group (kept): " << tail << " bytes";
  ctx.report(Json::Object{{"layout", layoutName(t.layout())},
                          {"layoutChosenBy", reasonName(t.layoutReason())},
                          {"flagBits", t.flagBits()},
                          {"landCount", TTiledata::kLandCount},
                          {"staticCount", t.staticCount()},
                          {"bytes", static_cast<std::uint64_t>(t.image().size())},
                          {"tailBytes", static_cast<std::uint64_t>(tail)}},
             text.str());
  return 0;
}

int list(Args& args, Context& ctx) {
  const bool named = args.flag("named");
  const auto layout = layoutOption(args);
  const auto p = args.positionals(2, 2);
  Registry registry;
  const TTiledata& t = openTiledata(registry, p[0], layout);
  const bool land = p[1] == "land";
  if (!land && p[1] != "static")
    throw UsageError("The section is 'land' or 'static', not '" + p[1] + "'.");
  const std::int64_t count =
      land ? TTiledata::kLandCount : static_cast<std::int64_t>(t.staticCount());
  Json::Array rows;
  std::ostringstream text;
  for (std::int64_t id = 0; id < count; ++id) {
    const std::string name = land ? t.landName(id) : t.staticName(id);
    if (named && name.empty()) continue;
    if (ctx.json)
      rows.push_back(Json::Object{
          {"id", id}, {"label", hexLabel(static_cast<std::uint32_t>(id))}, {"name", name}});
    else
      text << hexLabel(static_cast<std::uint32_t>(id)) << '\t' << name << '\n';
  }
  ctx.report(rows, text.str());
  return 0;
}

// The land and the static section as two traits of the same show and set commands.
struct LandSection {
  using Record = LandTileRecord;
  static constexpr std::array kFieldOptions{"flags", "set", "clear", "texture"};
  static void check(const TTiledata& t, std::int64_t id, const std::string& text) {
    checkLand(t, id, text);
  }
  static Record read(const TTiledata& t, std::int64_t id) { return *t.readLand(id); }
  static void write(TTiledata& t, std::int64_t id, const Record& r) { t.writeLand(id, r); }
  static void editFields(Args& f, Record& r) { intField(f, "texture", r.textureId); }
  static Json json(std::int64_t id, const Record& r, int bits) { return landJson(id, r, bits); }
  static std::string text(std::int64_t id, const Record& r, int bits) {
    return landTextReport(id, r, bits);
  }
};

struct StaticSection {
  using Record = StaticTileRecord;
  static constexpr std::array kFieldOptions{
      "flags",    "set",  "clear",    "weight", "quality",  "unknown1", "unknown2",
      "quantity", "anim", "unknown3", "hue",    "unknown4", "unknown5", "height"};
  static void check(const TTiledata& t, std::int64_t id, const std::string& text) {
    checkStatic(t, id, text);
  }
  static Record read(const TTiledata& t, std::int64_t id) { return *t.readStatic(id); }
  static void write(TTiledata& t, std::int64_t id, const Record& r) { t.writeStatic(id, r); }
  static void editFields(Args& f, Record& r) {
    intField(f, "weight", r.weight);
    intField(f, "quality", r.quality);
    intField(f, "unknown1", r.unknown1);
    intField(f, "unknown2", r.unknown2);
    intField(f, "quantity", r.quantity);
    intField(f, "anim", r.animId);
    intField(f, "unknown3", r.unknown3);
    intField(f, "hue", r.hue);
    intField(f, "unknown4", r.unknown4);
    intField(f, "unknown5", r.unknown5);
    intField(f, "height", r.height);
  }
  static Json json(std::int64_t id, const Record& r, int bits) { return staticJson(id, r, bits); }
  static std::string text(std::int64_t id, const Record& r, int bits) {
    return staticTextReport(id, r, bits);
  }
};

template <typename Section>
int showRecord(Args& args, Context& ctx) {
  const auto layout = layoutOption(args);
  const auto p = args.positionals(2, 2);
  Registry registry;
  const TTiledata& t = openTiledata(registry, p[0], layout);
  const std::int64_t id = idArg(p[1]);
  Section::check(t, id, p[1]);
  const typename Section::Record r = Section::read(t, id);
  ctx.report(Section::json(id, r, t.flagBits()), Section::text(id, r, t.flagBits()));
  return 0;
}

template <typename Section>
int setRecord(Args& args, Context& ctx) {
  const auto layout = layoutOption(args);
  const FileTarget out = takeFileTarget(args);
  const auto name = args.option("name");
  // The field options are read once the record is known.
  std::vector<std::string> fieldWords;
  for (const char* opt : Section::kFieldOptions)
    while (auto v = args.option(opt))
      fieldWords.insert(fieldWords.end(), {"--" + std::string(opt), *v});
  const auto p = args.positionals(2, 2);
  Registry registry;
  TTiledata& t = openTiledata(registry, p[0], layout);
  const std::int64_t id = idArg(p[1]);
  Section::check(t, id, p[1]);
  typename Section::Record r = Section::read(t, id);
  Args f(fieldWords);
  if (name) r.name = makeTileName(*name);
  r.flags = editFlags(f, r.flags, t.flagBits());
  Section::editFields(f, r);
  Section::write(t, id, r);
  saveFamily(registry, "Tiledata", {out.path(p[0])});
  ctx.report(Section::json(id, r, t.flagBits()), Section::text(id, r, t.flagBits()));
  return 0;
}

int deleteStatic(Args& args, Context& ctx) {
  const FileTarget out = takeFileTarget(args);
  const auto layout = layoutOption(args);
  const auto p = args.positionals(2, 2);
  Registry registry;
  TTiledata& t = openTiledata(registry, p[0], layout);
  const std::int64_t id = idArg(p[1]);
  checkStatic(t, id, p[1]);
  t.writeStatic(id, StaticTileRecord{});
  saveFamily(registry, "Tiledata", {out.path(p[0])});
  ctx.report(Json::Object{{"deleted", id}},
             "deleted static " + hexLabel(static_cast<std::uint32_t>(id)));
  return 0;
}

int exportText(Args& args, Context& ctx, bool land) {
  const auto layout = layoutOption(args);
  const auto p = args.positionals(2, 2);
  Registry registry;
  const TTiledata& t = openTiledata(registry, p[0], layout);
  if (land)
    t.exportLandText(p[1]);
  else
    t.exportStaticText(p[1]);
  const std::uint32_t records =
      land ? static_cast<std::uint32_t>(TTiledata::kLandCount) : t.staticCount();
  ctx.report(
      Json::Object{{"records", records}, {"path", p[1]}},
      "wrote " + std::to_string(records) + (land ? " land" : " static") + " records to " + p[1]);
  return 0;
}

int importLand(Args& args, Context& ctx) {
  const FileTarget out = takeFileTarget(args);
  const auto layout = layoutOption(args);
  const auto p = args.positionals(2, 2);
  Registry registry;
  TTiledata& t = openTiledata(registry, p[0], layout);
  // A failing line ends the import and nothing is saved.
  const std::size_t written = t.importLandText(p[1]);
  const std::string target = out.path(p[0]);
  saveFamily(registry, "Tiledata", {target});
  ctx.report(Json::Object{{"written", static_cast<std::uint64_t>(written)}, {"path", target}},
             "imported " + std::to_string(written) + " land records into " + target);
  return 0;
}

int importStatic(Args& args, Context& ctx) {
  const FileTarget out = takeFileTarget(args);
  const auto layout = layoutOption(args);
  const auto p = args.positionals(2, 2);
  Registry registry;
  TTiledata& t = openTiledata(registry, p[0], layout);
  const StaticImportResult result = t.importStaticText(p[1]);
  const std::string target = out.path(p[0]);
  saveFamily(registry, "Tiledata", {target});
  Json::Array failed;
  std::ostringstream text;
  for (const auto& [line, why] : result.failedLines) {
    failed.push_back(Json::Object{{"line", line}, {"reason", why}});
    text << "Bug in Zeile: " << line << " (" << why << ")\n";
  }
  text << "imported " << result.written << " static records into " << target;
  ctx.report(Json::Object{{"written", static_cast<std::uint64_t>(result.written)},
                          {"failedLines", failed},
                          {"path", target}},
             text.str());
  return 0;
}

int fill(Args& args, Context& ctx) {
  const FileTarget out = takeFileTarget(args);
  const auto layout = layoutOption(args);
  const auto p = args.positionals(1, 1);
  Registry registry;
  TTiledata& t = openTiledata(registry, p[0], layout);
  const std::uint32_t before = t.staticCount();
  t.fillStaticSlots();
  const std::string target = out.path(p[0]);
  saveFamily(registry, "Tiledata", {target});
  ctx.report(
      Json::Object{{"before", before}, {"after", t.staticCount()}, {"path", target}},
      "static records: " + std::to_string(before) + " -> " + std::to_string(t.staticCount()));
  return 0;
}

int save(Args& args, Context& ctx) {
  const auto layout = layoutOption(args);
  const auto p = args.positionals(2, 2);
  Registry registry;
  const TTiledata& t = openTiledata(registry, p[0], layout);
  saveFamily(registry, "Tiledata", {p[1]});
  ctx.report(Json::Object{{"path", p[1]}, {"layout", layoutName(t.layout())}},
             "saved " + layoutName(t.layout()) + " layout to " + p[1]);
  return 0;
}

}  // namespace

Group tiledataGroup() {
  const std::string layoutNote = " [--layout older|newer|auto]";
  return {
      "tiledata",
      "tiledata.mul: land and static records in the older (32-bit flags) or newer (64-bit) layout.",
      {
          {"info", "TILEDATA" + layoutNote, "Layout, record counts and size.", info},
          {"list", "TILEDATA land|static [--named]" + layoutNote, "Every id with its name.", list},
          {"land", "TILEDATA ID" + layoutNote, "One land record.", showRecord<LandSection>},
          {"static", "TILEDATA ID" + layoutNote, "One static record.", showRecord<StaticSection>},
          {"set-land",
           "TILEDATA ID [--name TEXT] [--texture N] [--flags N] [--set FLAG]... [--clear FLAG]... "
           "[--out FILE]" +
               layoutNote,
           "Changes fields of a land record; saves in place or to --out.", setRecord<LandSection>},
          {"set-static",
           "TILEDATA ID [--name TEXT] [--flags N] [--set FLAG]... [--clear FLAG]... [--weight N] "
           "[--quality N] [--quantity N] [--anim N] [--hue N] [--height N] [--unknown1..5 N] "
           "[--out FILE]" +
               layoutNote,
           "Changes fields of a static record; saves in place or to --out.",
           setRecord<StaticSection>},
          {"delete-static", "TILEDATA ID [--out FILE]" + layoutNote, "Zeroes a static record.",
           deleteStatic},
          {"export-land", "TILEDATA TEXT_FILE" + layoutNote,
           "Writes the land table as TAB-separated text.",
           [](Args& a, Context& c) { return exportText(a, c, true); }},
          {"export-static", "TILEDATA TEXT_FILE" + layoutNote,
           "Writes the static table as TAB-separated text.",
           [](Args& a, Context& c) { return exportText(a, c, false); }},
          {"import-land", "TILEDATA TEXT_FILE [--out FILE]" + layoutNote,
           "Reads land records from text; a bad line stops the import and nothing is saved.",
           importLand},
          {"import-static", "TILEDATA TEXT_FILE [--out FILE]" + layoutNote,
           "Reads static records from text; bad lines are reported and skipped.", importStatic},
          {"fill-statics", "TILEDATA [--out FILE]" + layoutNote,
           "Grows the static table to 0x8000 records.", fill},
          {"save", "TILEDATA NEW_PATH" + layoutNote, "Writes the file (unchanged) to another path.",
           save},
      }};
}

}  // namespace quillotide::cli
