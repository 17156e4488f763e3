// The batch group: the slot file tools of the features page, one command each, so that a whole
// client patch can be built by a shell script (extract, change bitmaps, autopatch, reindex).

#include <filesystem>

#include "app/Bmp.h"
#include "app/FileIO.h"
#include "app/Text.h"
#include "cli/Cli.h"
#include "cli/OpenArgs.h"
#include "cli/WorldArgs.h"
#include "models/Animation.h"
#include "models/Art.h"
#include "models/BatchTools.h"
#include "models/Gump.h"
#include "models/Textures.h"
#include "models/Tiledata.h"
#include "world/Statics.h"

namespace quillotide::cli {

namespace {

constexpr const char* kKinds = "anim|land|static|gump|texture";

AutopatchKind autopatchKindOf(const std::string& word) {
  if (word == "anim") return AutopatchKind::Animations;
  if (word == "land") return AutopatchKind::ArtLand;
  if (word == "static") return AutopatchKind::ArtStatic;
  if (word == "gump") return AutopatchKind::Gumps;
  if (word == "texture") return AutopatchKind::Textures;
  throw UsageError("Unknown kind '" + word + "' (" + kKinds + ").");
}

PictureKind pictureKindOf(const std::string& word) {
  if (word == "land") return PictureKind::ArtLand;
  if (word == "static") return PictureKind::ArtStatic;
  if (word == "gump") return PictureKind::Gumps;
  if (word == "texture") return PictureKind::Textures;
  throw UsageError("Unknown kind '" + word + "' (land|static|gump|texture).");
}

EmptyKind emptyKindOf(const std::string& word) {
  static const std::vector<std::pair<std::string, EmptyKind>> kinds = {
      {"anim", EmptyKind::Anim},      {"art", EmptyKind::Art},
      {"gump", EmptyKind::Gumps},     {"texture", EmptyKind::Textures},
      {"sound", EmptyKind::Sound},    {"statics", EmptyKind::Statics},
      {"map", EmptyKind::Map},        {"tiledata", EmptyKind::Tiledata},
      {"verdata", EmptyKind::Verdata}};
  for (const auto& [name, kind] : kinds)
    if (name == word) return kind;
  throw UsageError("Unknown kind '" + word +
                   "' (anim|art|gump|texture|sound|statics|map|tiledata|verdata).");
}

Json linesJson(const std::vector<std::string>& lines) {
  Json::Array rows;
  for (const auto& l : lines) rows.emplace_back(l);
  return rows;
}

std::string joinedLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& l : lines) text += l + "\n";
  return text;
}

Json failuresJson(const AutopatchResult& r) {
  Json::Array rows;
  for (const auto& f : r.failures)
    rows.emplace_back(Json::Object{{"line", f.line}, {"message", f.message}});
  return rows;
}

// The family of the owner of open files that holds a kind's picture pair.
const char* pictureFamily(PictureKind kind) {
  if (kind == PictureKind::Gumps) return "Gumps";
  if (kind == PictureKind::Textures) return "Textures";
  return "Art";
}

// The picture pair of a kind, opened in memory through the owner of open files of a registry of
// its own, and saved through it.
struct PicturePair {
  Registry registry;
  BatchModels models;
  const char* family;

  PicturePair(PictureKind kind, const std::string& idx, const std::string& mul)
      : family(pictureFamily(kind)) {
    openFamily(registry, family, {idx, mul});
    if (kind == PictureKind::Gumps)
      models.gumps = registry.gumps.get();
    else if (kind == PictureKind::Textures)
      models.textures = registry.textures.get();
    else
      models.art = registry.art.get();
  }
  void save(const std::string& idx, const std::string& mul) {
    saveFamily(registry, family, {idx, mul});
  }
};

int autopatchCommand(Args& args, Context& ctx) {
  const PairTarget target = takePairTarget(args);
  const auto p = args.positionals(4, 4);
  const AutopatchKind kind = autopatchKindOf(p[0]);
  const std::string &list = p[1], &idx = p[2], &mul = p[3];
  Progress silent;
  AutopatchResult result;
  // Nothing is written unless every line applied: a script stops at a half-made patch.
  auto requireAllApplied = [&] {
    if (!result.failures.empty()) throw Error(result.message() + "\nNothing was written.");
  };
  if (kind == AutopatchKind::Animations) {
    // The animation files take every change at once: the import runs on working copies, which
    // replace the targets only when every line applied.
    const PairTarget work{target.indexPath(idx), target.dataPath(mul)};
    changePairFiles(work, idx, mul, [&](const std::string& i, const std::string& m) {
      Registry registry;
      openFamily(registry, "Anim", {i, m});
      result = autopatch({.animation = registry.animation.get()}, kind, list, silent);
      requireAllApplied();
    });
  } else {
    const PictureKind pictureKind = kind == AutopatchKind::ArtLand     ? PictureKind::ArtLand
                                    : kind == AutopatchKind::ArtStatic ? PictureKind::ArtStatic
                                    : kind == AutopatchKind::Gumps     ? PictureKind::Gumps
                                                                       : PictureKind::Textures;
    PicturePair pair(pictureKind, idx, mul);
    result = autopatch(pair.models, kind, list, silent);
    requireAllApplied();
    pair.save(target.indexPath(idx), target.dataPath(mul));
  }
  ctx.report(Json::Object{{"patched", result.patched}, {"failed", failuresJson(result)}},
             result.message());
  return 0;
}

int extractCommand(Args& args, Context& ctx) {
  const auto p = args.positionals(4, 4);
  const PictureKind kind = pictureKindOf(p[0]);
  PicturePair pair(kind, p[1], p[2]);
  Progress silent;
  const ExtractResult r = extractPictures(pair.models, kind, p[3], silent);
  std::string text = std::to_string(r.pictures) + " pictures extracted to " + p[3];
  for (const auto& d : r.damaged) text += "\nleft out: " + d;
  ctx.report(Json::Object{{"pictures", static_cast<std::uint64_t>(r.pictures)},
                          {"list", r.listPath},
                          {"damaged", linesJson(r.damaged)}},
             text);
  return 0;
}

int reindexCommand(Args& args, Context& ctx) {
  const RebuildOptions options = takeRebuildOptions(args);
  const auto width = args.intOption("width");
  const auto height = args.intOption("height");
  const auto p = args.positionals(5, 5);
  const std::string &kind = p[0], &idx = p[1], &mul = p[2], &newIdx = p[3], &newMul = p[4];
  std::vector<std::int64_t> skipped;
  std::string warnings;
  std::function<std::string(std::int64_t)> name = [](std::int64_t s) {
    return hexLabel(static_cast<std::uint32_t>(s));
  };
  // The pair is opened through the owner of open files; its model writes the compacted copy.
  Registry registry;
  if (kind == "anim") {
    openFamily(registry, "Anim", {idx, mul});
    const TAnimation& animation = *registry.animation;
    runRebuild(options, [&](Progress& progress, Random& random, bool) {
      animation.rebuild(newIdx, newMul, progress, random);
      return std::vector<std::int64_t>{};
    });
  } else if (kind == "art") {
    openFamily(registry, "Art", {idx, mul});
    const TArt& art = *registry.art;
    name = artRecordName;
    skipped = runRebuild(options, [&](Progress& progress, Random& random, bool skip) {
      return art.rebuild(newIdx, newMul, progress, random, skip);
    });
  } else if (kind == "gump") {
    openFamily(registry, "Gumps", {idx, mul});
    const TGump& gumps = *registry.gumps;
    skipped = runRebuild(options, [&](Progress& progress, Random& random, bool skip) {
      return gumps.rebuild(newIdx, newMul, progress, random, skip);
    });
  } else if (kind == "texture") {
    openFamily(registry, "Textures", {idx, mul});
    const TTextures& textures = *registry.textures;
    skipped = runRebuild(options, [&](Progress& progress, Random& random, bool skip) {
      return textures.rebuild(newIdx, newMul, progress, random, skip);
    });
  } else if (kind == "statics") {
    const int w = width ? static_cast<int>(*width) : 6144;
    const int h = height ? static_cast<int>(*height) : 4096;
    checkWorldSize(w, h);
    openFamily(registry, "Statics", {idx, mul}, OpenSize{w, h});
    TStatics& statics = *registry.statics;
    Progress silent;
    statics.compact(newIdx, newMul, silent);
    for (const auto& problem : statics.takeProblems()) warnings += "\nwarning: " + problem;
  } else {
    throw UsageError("Unknown kind '" + kind + "' (anim|art|gump|texture|statics).");
  }
  ctx.report(Json::Object{{"index", newIdx}, {"data", newMul}, {"skipped", skippedJson(skipped)}},
             "reindexed into " + newIdx + " and " + newMul + skippedText(skipped, name) + warnings);
  return 0;
}

int createEmptyCommand(Args& args, Context& ctx) {
  const bool force = args.flag("force");
  const auto p = args.positionals(2, 2);
  const EmptyKind kind = emptyKindOf(p[0]);
  const auto existing = existingEmptyFiles(kind, p[1]);
  if (!existing.empty() && !force)
    throw Error("The folder " + p[1] + " already holds " + existing[0] +
                "; --force replaces the files.");
  createEmptyFiles(kind, p[1]);
  const auto names = emptyFileNames(kind);
  ctx.report(Json::Object{{"folder", p[1]}, {"files", linesJson(names)}},
             "created " + names[0] + (names.size() > 1 ? " and " + names[1] : std::string()));
  return 0;
}

int cutCommand(Args& args, Context& ctx) {
  const auto p = args.positionals(2, 2);
  const std::int64_t size = parseIntArg(p[1], "SIZE");
  const std::string target = cutFile(p[0], size);
  ctx.report(Json::Object{{"file", target}, {"size", size}}, "File cut.\n" + target);
  return 0;
}

int boundsCommand(Args& args, Context& ctx) {
  const auto p = args.positionals(4, 4);
  Bytes bytes;
  Registry registry;
  if (p[0] == "art") {
    openFamily(registry, "Art", {p[1], p[2]});
    bytes = artBoundFile(*registry.art);
  } else if (p[0] == "gump") {
    openFamily(registry, "Gumps", {p[1], p[2]});
    bytes = gumpBoundFile(*registry.gumps);
  } else {
    throw UsageError("Unknown kind '" + p[0] + "' (art|gump).");
  }
  writeFileAtomic(p[3], bytes);
  ctx.report(
      Json::Object{{"file", p[3]}, {"records", static_cast<std::uint64_t>(bytes.size() / 8)}},
      "Done\n" + std::to_string(bytes.size() / 8) + " records in " + p[3]);
  return 0;
}

// Prints the lines, or writes them as a text file when an OUT file is given.
int reportLines(const std::vector<std::string>& lines, const std::vector<std::string>& p,
                std::size_t outAt, Context& ctx) {
  if (p.size() > outAt) {
    writeTextLines(p[outAt], lines);
    ctx.report(Json::Object{{"file", p[outAt]}, {"lines", linesJson(lines)}},
               "Ids saved to " + p[outAt]);
  } else {
    ctx.report(linesJson(lines), joinedLines(lines));
  }
  return 0;
}

int missingAnimsCommand(Args& args, Context& ctx) {
  const auto p = args.positionals(4, 5);
  Registry registry;
  openFamily(registry, "Gumps", {p[0], p[1]});
  openFamily(registry, "Anim", {p[2], p[3]});
  return reportLines(missingAnimLines(*registry.gumps, *registry.animation), p, 4, ctx);
}

int missingArtAnimsCommand(Args& args, Context& ctx) {
  const auto p = args.positionals(3, 4);
  Registry registry;
  openFamily(registry, "Tiledata", {p[0]});
  openFamily(registry, "Anim", {p[1], p[2]});
  return reportLines(artIdsWithMissingAnims(*registry.tiledata, *registry.animation), p, 3, ctx);
}

int markPixelsCommand(Args& args, Context& ctx) {
  const auto colour = args.option("colour");
  const auto p = args.positionals(2, 2);
  if (sameTarget(p[0], p[1])) throw UsageError("OUT must be another file than BMP.");
  Progress silent;
  const Bitmap32 marked =
      markInvisiblePixels(readBmpFile(p[0]), markColourOf(colour.value_or("0xFF00FF")), silent);
  writeBmpFile(p[1], marked);
  ctx.report(Json::Object{{"file", p[1]}, {"width", marked.width}, {"height", marked.height}},
             "marked pixels written to " + p[1]);
  return 0;
}

int fixBitmapCommand(Args& args, Context& ctx) {
  const auto p = args.positionals(1, 1);
  const std::uint32_t size = fixBitmapImageSize(p[0]);
  ctx.report(Json::Object{{"file", p[0]}, {"imageSize", size}},
             "Done\nimage size " + std::to_string(size));
  return 0;
}

}  // namespace

Group batchGroup() {
  const std::string pair(kPairTargetUsage);
  return {
      "batch",
      "The slot file batch tools: script a whole client patch.",
      {
          {"autopatch", std::string(kKinds) + " LIST INDEX DATA " + pair,
           "Imports and empties the slots a list file names (\"ID FILE\", \"ID remove\"; "
           "animations \"BODY PATH [KIND [PALETTE]]\"); relative names are taken from the "
           "list's folder. Writes nothing when a line fails.",
           autopatchCommand},
          {"extract", "land|static|gump|texture INDEX DATA FOLDER",
           "Writes every full slot as FOLDER/0x....bmp and FOLDER/list.txt in autopatch form.",
           extractCommand},
          {"reindex",
           "anim|art|gump|texture|statics INDEX DATA NEW_INDEX NEW_DATA [--seed N] "
           "[--skip-damaged] [--width W --height H]",
           "Writes a compacted copy of the pair (statics: of a world W x H, 6144 x 4096 when "
           "not given).",
           reindexCommand},
          {"create-empty",
           "anim|art|gump|texture|sound|statics|map|tiledata|verdata FOLDER "
           "[--force]",
           "Writes an empty file set; --force replaces files already there.", createEmptyCommand},
          {"cut", "FILE SIZE", "Writes the first SIZE bytes of FILE to FILE.new.", cutCommand},
          {"bounds", "art|gump INDEX DATA OUT",
           "Writes the bound file: 0, 0, width, height (u16) per static or gump slot.",
           boundsCommand},
          {"missing-anims", "GUMPIDX GUMPART ANIMIDX ANIMMUL [OUT]",
           "Lists the gumps from 50000 whose body the animation file lacks (\"0x%x 0x%x\").",
           missingAnimsCommand},
          {"missing-art-anims", "TILEDATA ANIMIDX ANIMMUL [OUT]",
           "Lists the static tiles whose animation the animation file lacks (\"EmptyIDs.txt\").",
           missingArtAnimsCommand},
          {"mark-pixels", "BMP OUT [--colour C]",
           "Writes a copy of BMP with its white and black pixels in the colour C (red in the "
           "low byte, 0xFF00FF when not given).",
           markPixelsCommand},
          {"fix-bitmap", "BMP", "Writes the right image size into the BMP's info header.",
           fixBitmapCommand},
      }};
}

}  // namespace quillotide::cli
