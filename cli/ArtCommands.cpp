#include <sstream>

#include "app/Image.h"
#include "app/Text.h"
#include "cli/Cli.h"
#include "cli/OpenArgs.h"
#include "cli/PairArgs.h"
#include "models/Art.h"

namespace quillotide::cli {

namespace {

std::string label(std::int64_t id) { return hexLabel(static_cast<std::uint32_t>(id)); }

// Opens the pair (or container) in the registry's owner, held in memory; the registry holds
// the model.
TArt& openArt(Registry& registry, const std::string& index, const std::string& data) {
  openFamily(registry, "Art", {index, data});
  return *registry.art;
}

// Commands that change the pair work on memory copies and then replace the target files whole.
void saveTo(Registry& registry, const PairTarget& t, const std::string& index,
            const std::string& data) {
  saveFamily(registry, "Art", {t.indexPath(index), t.dataPath(data)});
}

Json recordJson(const IndexRecord& r) {
  return Json::Object{{"lookup", r.lookup}, {"length", r.length}, {"extra", r.extra}};
}

int info(Args& args, Context& ctx) {
  const auto p = pairPositionals(args, 2, 2);
  Registry registry;
  const TArt& art = openArt(registry, p[0], p[1]);
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

// The two families of slots of the pair, as traits of ArtSlotCommands (the counterpart of the
// picture pairs' traits in cli/PictureSlotCommands.h): land tiles are a fixed run of 44x44
// squares, statics are every record after them, each with its own size.
struct LandArt {
  static constexpr const char* kKind = "land";
  static constexpr const char* kIdName = "TILE";
  static std::int64_t count(const TArt&) { return kLandTileCount; }
  static std::optional<IndexRecord> record(const TArt& a, std::int64_t id) {
    return a.landRecord(id);
  }
  static std::pair<int, int> size(const TArt&, std::int64_t) {
    return {kLandTileSize, kLandTileSize};
  }
  static Bitmap32 picture(const TArt& a, std::int64_t id) { return a.landPicture(id); }
  static void write(TArt& a, std::int64_t id, const std::string& path) { a.importLand(id, path); }
  static void remove(TArt& a, std::int64_t id) { a.deleteLand(id); }
  static std::optional<Pixel> averageColour(const TArt& a, std::int64_t id) {
    return a.landAverageColour(id);
  }
};

struct StaticArt {
  static constexpr const char* kKind = "static";
  static constexpr const char* kIdName = "STATIC";
  static std::int64_t count(const TArt& a) { return a.staticCount(); }
  static std::optional<IndexRecord> record(const TArt& a, std::int64_t id) {
    return a.staticRecord(id);
  }
  static std::pair<int, int> size(const TArt& a, std::int64_t id) {
    return {a.staticArtWidth(id), a.staticArtHeight(id)};
  }
  static Bitmap32 picture(const TArt& a, std::int64_t id) { return a.staticPicture(id); }
  static void write(TArt& a, std::int64_t id, const std::string& path) { a.importStatic(id, path); }
  static void remove(TArt& a, std::int64_t id) { a.deleteStatic(id); }
  static std::optional<Pixel> averageColour(const TArt& a, std::int64_t id) {
    return a.staticAverageColour(id);
  }
};

// The commands that work on one slot family; p holds the positionals INDEX DATA KIND [ID ...].
template <class Kind>
struct ArtSlotCommands {
  static std::string name(std::int64_t id) { return std::string(Kind::kKind) + " " + label(id); }
  static std::int64_t id(const std::string& text) { return parseIntArg(text, Kind::kIdName); }

  static int list(Context& ctx, const std::vector<std::string>& p, bool onlyFull, bool onlyEmpty) {
    Registry registry;
    const TArt& art = openArt(registry, p[0], p[1]);
    Json::Array rows;
    std::ostringstream text;
    for (std::int64_t i = 0; i < Kind::count(art); ++i) {
      const auto r = Kind::record(art, i);
      const bool full = r && !r->isEmpty();
      if ((onlyFull && !full) || (onlyEmpty && full)) continue;
      const auto [width, height] = full ? Kind::size(art, i) : std::pair<int, int>{0, 0};
      const IndexRecord rec = r.value_or(IndexRecord{});
      if (ctx.json) {
        rows.push_back(Json::Object{{"id", i},
                                    {"label", label(i)},
                                    {"full", full},
                                    {"width", width},
                                    {"height", height},
                                    {"lookup", rec.lookup},
                                    {"length", rec.length},
                                    {"tag", rec.extra}});
      } else {
        text << label(i) << ' ';
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

  static int exportSlot(Context& ctx, const std::vector<std::string>& p) {
    const std::int64_t i = id(p[3]);
    imageFormatOf(p[4]);  // refuses an unknown extension before anything is decoded
    Registry registry;
    const TArt& art = openArt(registry, p[0], p[1]);
    const Bitmap32 picture = Kind::picture(art, i);
    if (picture.empty())
      throw Error(formatMessage("The %s slot %s is empty.", {Kind::kKind, label(i)}));
    writeImageFile(p[4], picture);
    ctx.report(Json::Object{{"kind", Kind::kKind},
                            {"id", i},
                            {"width", picture.width},
                            {"height", picture.height},
                            {"file", p[4]}},
               "exported " + name(i) + " (" + std::to_string(picture.width) + "x" +
                   std::to_string(picture.height) + ") to " + p[4]);
    return 0;
  }

  static int importSlot(Context& ctx, const std::vector<std::string>& p, const PairTarget& target) {
    const std::int64_t i = id(p[3]);
    Registry registry;
    TArt& art = openArt(registry, p[0], p[1]);
    Kind::write(art, i, p[4]);
    saveTo(registry, target, p[0], p[1]);
    const IndexRecord r = *Kind::record(art, i);
    ctx.report(
        Json::Object{{"kind", Kind::kKind}, {"id", i}, {"record", recordJson(r)}},
        "imported " + p[4] + " into " + name(i) + " (" + std::to_string(r.length) + " bytes)");
    return 0;
  }

  static int remove(Context& ctx, const std::vector<std::string>& p, const PairTarget& target) {
    const std::int64_t i = id(p[3]);
    Registry registry;
    TArt& art = openArt(registry, p[0], p[1]);
    if (!Kind::record(art, i))
      throw Error(formatMessage("The %s slot %s lies beyond the index.", {Kind::kKind, label(i)}));
    Kind::remove(art, i);
    saveTo(registry, target, p[0], p[1]);
    ctx.report(Json::Object{{"kind", Kind::kKind}, {"deleted", i}}, "deleted " + name(i));
    return 0;
  }

  static int average(Context& ctx, const std::vector<std::string>& p) {
    const std::int64_t i = id(p[3]);
    Registry registry;
    const TArt& art = openArt(registry, p[0], p[1]);
    const auto colour = Kind::averageColour(art, i);
    if (!colour) {
      ctx.report(Json::Object{{"kind", Kind::kKind}, {"id", i}, {"colour", nullptr}},
                 name(i) + " has no pixel to average");
      return 0;
    }
    const Colour16 c16 = pixelToColour16(*colour);
    std::ostringstream text;
    text << "red " << int(redOf(*colour)) << " green " << int(greenOf(*colour)) << " blue "
         << int(blueOf(*colour)) << " colour16 " << hexLabel(c16);
    ctx.report(Json::Object{{"kind", Kind::kKind},
                            {"id", i},
                            {"red", int(redOf(*colour))},
                            {"green", int(greenOf(*colour))},
                            {"blue", int(blueOf(*colour))},
                            {"colour16", int(c16)}},
               text.str());
    return 0;
  }
};

// Runs `run` with the slot family the KIND word names.
template <class Run>
int byKind(const std::string& word, Run run) {
  if (word == LandArt::kKind) return run(ArtSlotCommands<LandArt>{});
  if (word == StaticArt::kKind) return run(ArtSlotCommands<StaticArt>{});
  throw UsageError("KIND must be 'land' or 'static', not '" + word + "'.");
}

int list(Args& args, Context& ctx) {
  const bool onlyFull = args.flag("full");
  const bool onlyEmpty = args.flag("empty");
  if (onlyFull && onlyEmpty) throw UsageError("--full and --empty exclude each other.");
  const auto p = pairPositionals(args, 3, 3);
  return byKind(p[2], [&](auto kind) { return kind.list(ctx, p, onlyFull, onlyEmpty); });
}

int exportSlot(Args& args, Context& ctx) {
  const auto p = pairPositionals(args, 5, 5);
  return byKind(p[2], [&](auto kind) { return kind.exportSlot(ctx, p); });
}

int importSlot(Args& args, Context& ctx) {
  const PairTarget target = takeUopPairTarget(args);
  const auto p = pairPositionals(args, 5, 5);
  return byKind(p[2], [&](auto kind) { return kind.importSlot(ctx, p, target); });
}

int removeSlot(Args& args, Context& ctx) {
  const PairTarget target = takeUopPairTarget(args);
  const auto p = pairPositionals(args, 4, 4);
  return byKind(p[2], [&](auto kind) { return kind.remove(ctx, p, target); });
}

int average(Args& args, Context& ctx) {
  const auto p = pairPositionals(args, 4, 4);
  return byKind(p[2], [&](auto kind) { return kind.average(ctx, p); });
}

int tag(Args& args, Context& ctx) {
  const PairTarget target = takeUopPairTarget(args);
  const auto p = pairPositionals(args, 4, 4);
  const std::int64_t id = ArtSlotCommands<StaticArt>::id(p[2]);
  const auto value = static_cast<std::int32_t>(parseIntArg(p[3], "TAG"));
  Registry registry;
  TArt& art = openArt(registry, p[0], p[1]);
  art.setStaticTag(id, value);
  saveTo(registry, target, p[0], p[1]);
  ctx.report(Json::Object{{"id", id}, {"tag", value}},
             "static " + label(id) + ": " + art.staticDetails(id));
  return 0;
}

int details(Args& args, Context& ctx) {
  const auto p = pairPositionals(args, 3, 3);
  const std::int64_t id = ArtSlotCommands<StaticArt>::id(p[2]);
  Registry registry;
  const TArt& art = openArt(registry, p[0], p[1]);
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
  const PairTarget target = takeUopPairTarget(args);
  const auto p = pairPositionals(args, 2, 2);
  Registry registry;
  TArt& art = openArt(registry, p[0], p[1]);
  const std::int64_t added = art.fillStaticSlots();
  saveTo(registry, target, p[0], p[1]);
  ctx.report(Json::Object{{"added", added}, {"staticSlots", art.staticCount()}},
             "added " + std::to_string(added) + " records; " + std::to_string(art.staticCount()) +
                 " static slots");
  return 0;
}

int rebuild(Args& args, Context& ctx) {
  const RebuildOptions options = takeRebuildOptions(args);
  const auto p = pairPositionals(args, 4, 4);
  Registry registry;
  TArt& art = openArt(registry, p[0], p[1]);
  const bool intoUop = isUopPair(p[2], p[3]);
  const auto skipped = runRebuild(options, [&](Progress& progress, Random& random, bool skip) {
    if (!intoUop) return art.rebuild(p[2], p[3], progress, random, skip);
    // A container holds no dead data and no layout to shuffle: its compacted copy is the art
    // written as a container.
    auto left = leaveOutDamagedSlots(art.files(), skip, artRecordName,
                                     [&](std::int64_t r) { art.files().deleteSlot(r); });
    saveFamily(registry, "Art", {p[2], p[3]});
    return left;
  });
  const std::string where = intoUop ? p[2] : p[2] + " and " + p[3];
  ctx.report(Json::Object{{"records", art.recordCount()},
                          {"index", p[2]},
                          {"data", p[3]},
                          {"skipped", skippedJson(skipped)}},
             "rebuilt " + std::to_string(art.recordCount()) + " records into " + where +
                 skippedText(skipped, artRecordName));
  return 0;
}

int save(Args& args, Context& ctx) {
  const auto p = pairPositionals(args, 4, 4);
  Registry registry;
  openArt(registry, p[0], p[1]);
  saveFamily(registry, "Art", {p[2], p[3]});
  ctx.report(Json::Object{{"index", p[2]}, {"data", p[3]}}, "saved to " + p[2] + " and " + p[3]);
  return 0;
}

}  // namespace

Group artGroup() {
  const std::string out = std::string(" ") + kUopPairTargetUsage;
  return {
      "art",
      "Land tiles and statics of artidx.mul/art.mul. KIND is 'land' (tiles 0x0-0x3FFF) or "
      "'static' (ids from 0); changes rewrite the pair in place unless --out-index/--out-data "
      "are given. artLegacyMUL.uop may stand for the pair (INDEX DATA) wherever one is read or "
      "written: one .uop path, as a positional or as --out-index, writes a container, two paths "
      "an index and a data file, whichever form was read.",
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
          {"rebuild", "INDEX DATA NEW_INDEX NEW_DATA|NEW.uop [--seed N] [--skip-damaged]",
           "Writes a compacted copy; --seed makes the layout repeatable, --skip-damaged leaves "
           "out records that point outside the data file. A container holds no dead data: "
           "rebuilt into one, the art is written as a container.",
           rebuild},
          {"save", "INDEX DATA NEW_INDEX NEW_DATA|NEW.uop", "Loads the pair and writes it unchanged.",
           save},
      }};
}

}  // namespace quillotide::cli
