#include <sstream>

#include "app/Image.h"
#include "app/Text.h"
#include "cli/Cli.h"
#include "models/Art.h"

namespace quillotide::cli {

namespace {

enum class Kind { Land, Static };

Kind parseKind(const std::string& word) {
  if (word == "land") return Kind::Land;
  if (word == "static") return Kind::Static;
  throw UsageError("KIND must be 'land' or 'static', not '" + word + "'.");
}

const char* kindName(Kind k) { return k == Kind::Land ? "land" : "static"; }

std::string label(std::int64_t id) { return hexLabel(static_cast<std::uint32_t>(id)); }

TArt loadArt(const std::string& index, const std::string& data) {
  TArt art;
  art.load(index, data, StorageMode::Memory);
  return art;
}

// Commands that change the pair work on memory copies and then replace the files whole: in place,
// or at --out-index / --out-data when given.
struct Targets {
  std::string index;
  std::string data;
};

Targets takeTargets(Args& args) {
  auto index = args.option("out-index");
  auto data = args.option("out-data");
  if (index.has_value() != data.has_value())
    throw UsageError("--out-index and --out-data go together.");
  return {index.value_or(""), data.value_or("")};
}

void saveTo(const TArt& art, const Targets& t, const std::string& index, const std::string& data) {
  art.save(t.index.empty() ? index : t.index, t.data.empty() ? data : t.data);
}

std::int64_t parseId(const std::string& text, Kind kind) {
  return parseIntArg(text, kind == Kind::Land ? "TILE" : "STATIC");
}

Json recordJson(const IndexRecord& r) {
  return Json::Object{{"lookup", r.lookup}, {"length", r.length}, {"extra", r.extra}};
}

int info(Args& args, Context& ctx) {
  const auto p = args.positionals(2, 2);
  const TArt art = loadArt(p[0], p[1]);
  std::int64_t land = 0, statics = 0;
  for (std::int64_t t = 0; t < kLandTileCount; ++t) land += art.landExists(t) ? 1 : 0;
  for (std::int64_t s = 0; s < art.staticCount(); ++s) statics += art.staticExists(s) ? 1 : 0;
  std::ostringstream text;
  text << "records: " << art.recordCount() << "\nland tiles: " << land
       << "\nstatic slots: " << art.staticCount() << "\nstatics: " << statics
       << "\ndata bytes: " << art.files().dataSize();
  ctx.report(Json::Object{{"records", art.recordCount()},
                          {"landTiles", land},
                          {"staticSlots", art.staticCount()},
                          {"statics", statics},
                          {"dataBytes", art.files().dataSize()}},
             text.str());
  return 0;
}

int list(Args& args, Context& ctx) {
  const bool onlyFull = args.flag("full");
  const bool onlyEmpty = args.flag("empty");
  if (onlyFull && onlyEmpty) throw UsageError("--full and --empty exclude each other.");
  const auto p = args.positionals(3, 3);
  const Kind kind = parseKind(p[2]);
  const TArt art = loadArt(p[0], p[1]);
  const std::int64_t count = kind == Kind::Land ? kLandTileCount : art.staticCount();
  Json::Array rows;
  std::ostringstream text;
  for (std::int64_t id = 0; id < count; ++id) {
    const auto r = kind == Kind::Land ? art.landRecord(id) : art.staticRecord(id);
    const bool full = r && !r->isEmpty();
    if ((onlyFull && !full) || (onlyEmpty && full)) continue;
    int width = 0, height = 0;
    if (full && kind == Kind::Land) width = height = kLandTileSize;
    if (full && kind == Kind::Static) {
      width = art.staticArtWidth(id);
      height = art.staticArtHeight(id);
    }
    const IndexRecord rec = r.value_or(IndexRecord{});
    if (ctx.json) {
      rows.push_back(Json::Object{{"id", id},
                                  {"label", label(id)},
                                  {"full", full},
                                  {"width", width},
                                  {"height", height},
                                  {"lookup", rec.lookup},
                                  {"length", rec.length},
                                  {"tag", rec.extra}});
    } else {
      text << label(id) << ' ';
      if (full)
        text << width << 'x' << height;
      else
        text << "empty";
      text << ' ' << rec.lookup << ' ' << rec.length << ' ' << rec.extra << '\n';
    }
  }
  ctx.report(rows, text.str());
  return 0;
}

int exportSlot(Args& args, Context& ctx) {
  const auto p = args.positionals(5, 5);
  const Kind kind = parseKind(p[2]);
  const std::int64_t id = parseId(p[3], kind);
  imageFormatOf(p[4]);  // refuses an unknown extension before anything is decoded
  const TArt art = loadArt(p[0], p[1]);
  const Bitmap32 picture = kind == Kind::Land ? art.landPicture(id) : art.staticPicture(id);
  if (picture.empty())
    throw Error(formatMessage("The %s slot %s is empty.", {kindName(kind), label(id)}));
  writeImageFile(p[4], picture);
  ctx.report(Json::Object{{"kind", kindName(kind)},
                          {"id", id},
                          {"width", picture.width},
                          {"height", picture.height},
                          {"file", p[4]}},
             "exported " + std::string(kindName(kind)) + " " + label(id) + " (" +
                 std::to_string(picture.width) + "x" + std::to_string(picture.height) + ") to " +
                 p[4]);
  return 0;
}

int importSlot(Args& args, Context& ctx) {
  const Targets targets = takeTargets(args);
  const auto p = args.positionals(5, 5);
  const Kind kind = parseKind(p[2]);
  const std::int64_t id = parseId(p[3], kind);
  TArt art = loadArt(p[0], p[1]);
  if (kind == Kind::Land)
    art.importLand(id, p[4]);
  else
    art.importStatic(id, p[4]);
  saveTo(art, targets, p[0], p[1]);
  const auto r = kind == Kind::Land ? art.landRecord(id) : art.staticRecord(id);
  ctx.report(Json::Object{{"kind", kindName(kind)}, {"id", id}, {"record", recordJson(*r)}},
             "imported " + p[4] + " into " + kindName(kind) + " " + label(id) + " (" +
                 std::to_string(r->length) + " bytes)");
  return 0;
}

int removeSlot(Args& args, Context& ctx) {
  const Targets targets = takeTargets(args);
  const auto p = args.positionals(4, 4);
  const Kind kind = parseKind(p[2]);
  const std::int64_t id = parseId(p[3], kind);
  TArt art = loadArt(p[0], p[1]);
  const auto r = kind == Kind::Land ? art.landRecord(id) : art.staticRecord(id);
  if (!r)
    throw Error(
        formatMessage("The %s slot %s lies beyond the index.", {kindName(kind), label(id)}));
  if (kind == Kind::Land)
    art.deleteLand(id);
  else
    art.deleteStatic(id);
  saveTo(art, targets, p[0], p[1]);
  ctx.report(Json::Object{{"kind", kindName(kind)}, {"deleted", id}},
             "deleted " + std::string(kindName(kind)) + " " + label(id));
  return 0;
}

int tag(Args& args, Context& ctx) {
  const Targets targets = takeTargets(args);
  const auto p = args.positionals(4, 4);
  const std::int64_t id = parseId(p[2], Kind::Static);
  const auto value = static_cast<std::int32_t>(parseIntArg(p[3], "TAG"));
  TArt art = loadArt(p[0], p[1]);
  art.setStaticTag(id, value);
  saveTo(art, targets, p[0], p[1]);
  ctx.report(Json::Object{{"id", id}, {"tag", value}},
             "static " + label(id) + ": " + art.staticDetails(id));
  return 0;
}

int details(Args& args, Context& ctx) {
  const auto p = args.positionals(3, 3);
  const std::int64_t id = parseId(p[2], Kind::Static);
  const TArt art = loadArt(p[0], p[1]);
  const IndexRecord r = art.staticRecord(id).value_or(IndexRecord{});
  ctx.report(Json::Object{{"id", id},
                          {"record", recordJson(r)},
                          {"exists", art.staticExists(id)},
                          {"width", art.staticArtWidth(id)},
                          {"height", art.staticArtHeight(id)}},
             art.staticDetails(id));
  return 0;
}

int fill(Args& args, Context& ctx) {
  const Targets targets = takeTargets(args);
  const auto p = args.positionals(2, 2);
  TArt art = loadArt(p[0], p[1]);
  const std::int64_t added = art.fillStaticSlots();
  saveTo(art, targets, p[0], p[1]);
  ctx.report(Json::Object{{"added", added}, {"staticSlots", art.staticCount()}},
             "added " + std::to_string(added) + " records; " + std::to_string(art.staticCount()) +
                 " static slots");
  return 0;
}

int average(Args& args, Context& ctx) {
  const auto p = args.positionals(4, 4);
  const Kind kind = parseKind(p[2]);
  const std::int64_t id = parseId(p[3], kind);
  const TArt art = loadArt(p[0], p[1]);
  const auto colour = kind == Kind::Land ? art.landAverageColour(id) : art.staticAverageColour(id);
  if (!colour) {
    ctx.report(Json::Object{{"kind", kindName(kind)}, {"id", id}, {"colour", nullptr}},
               std::string(kindName(kind)) + " " + label(id) + " has no pixel to average");
    return 0;
  }
  const Colour16 c16 = pixelToColour16(*colour);
  std::ostringstream text;
  text << "red " << int(redOf(*colour)) << " green " << int(greenOf(*colour)) << " blue "
       << int(blueOf(*colour)) << " colour16 " << hexLabel(c16);
  ctx.report(Json::Object{{"kind", kindName(kind)},
                          {"id", id},
                          {"red", int(redOf(*colour))},
                          {"green", int(greenOf(*colour))},
                          {"blue", int(blueOf(*colour))},
                          {"colour16", int(c16)}},
             text.str());
  return 0;
}

int rebuild(Args& args, Context& ctx) {
  const RebuildOptions options = takeRebuildOptions(args);
  const auto p = args.positionals(4, 4);
  const TArt art = loadArt(p[0], p[1]);
  const auto skipped = runRebuild(options, [&](Progress& progress, Random& random, bool skip) {
    return art.rebuild(p[2], p[3], progress, random, skip);
  });
  ctx.report(Json::Object{{"records", art.recordCount()},
                          {"index", p[2]},
                          {"data", p[3]},
                          {"skipped", skippedJson(skipped)}},
             "rebuilt " + std::to_string(art.recordCount()) + " records into " + p[2] + " and " +
                 p[3] + skippedText(skipped, artRecordName));
  return 0;
}

int save(Args& args, Context& ctx) {
  const auto p = args.positionals(4, 4);
  const TArt art = loadArt(p[0], p[1]);
  art.save(p[2], p[3]);
  ctx.report(Json::Object{{"index", p[2]}, {"data", p[3]}}, "saved to " + p[2] + " and " + p[3]);
  return 0;
}

}  // namespace

Group artGroup() {
  const std::string out = " [--out-index FILE --out-data FILE]";
  return {
      "art",
      "Land tiles and statics of artidx.mul/art.mul. KIND is 'land' (tiles 0x0-0x3FFF) or "
      "'static' (ids from 0); changes rewrite the pair in place unless --out-index/--out-data "
      "are given.",
      {
          {"info", "INDEX DATA", "Record, land tile and static counts.", info},
          {"list", "INDEX DATA KIND [--full|--empty]",
           "Every slot of the kind: label, WxH or 'empty', lookup, length, tag.", list},
          {"export", "INDEX DATA KIND ID FILE",
           "Writes a slot's picture to FILE (.bmp or .png) on a white background.", exportSlot},
          {"import", "INDEX DATA KIND ID FILE" + out,
           "Encodes a .bmp or .png into the slot (white and black are transparent in statics).",
           importSlot},
          {"delete", "INDEX DATA KIND ID" + out, "Empties a slot (the data stays until rebuild).",
           removeSlot},
          {"tag", "INDEX DATA STATIC VALUE" + out, "Sets a static's tag (the record's extra).",
           tag},
          {"details", "INDEX DATA STATIC", "Offset, length and tag of a static's record.", details},
          {"fill", "INDEX DATA" + out, "Appends empty records until statics 0x0-0x7FFF exist.",
           fill},
          {"average", "INDEX DATA KIND ID",
           "Mean colour of a slot's pixels (the radar colour 'Average').", average},
          {"rebuild", "INDEX DATA NEW_INDEX NEW_DATA [--seed N] [--skip-damaged]",
           "Writes a compacted copy; --seed makes the layout repeatable, --skip-damaged leaves "
           "out records that point outside the data file.",
           rebuild},
          {"save", "INDEX DATA NEW_INDEX NEW_DATA", "Loads the pair and writes it unchanged.",
           save},
      }};
}

}  // namespace quillotide::cli
