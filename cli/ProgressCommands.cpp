// The "progress" group: the progress archive Progress.idx / Progress.mul of PNG pictures. Changing
// commands load the archive, change it and save it compacted over the same files, or to
// --out-index/--out-data.

#include <sstream>

#include "app/FileIO.h"
#include "app/Text.h"
#include "cli/Cli.h"
#include "cli/OpenArgs.h"
#include "models/ProgressArchive.h"

namespace quillotide::cli {

namespace {

std::int32_t kindOf(const std::string& text) {
  if (text == "art" || text == "0") return progresslayout::kArtKind;
  if (text == "gump" || text == "1") return progresslayout::kGumpKind;
  throw UsageError("KIND is art (0) or gump (1), not '" + text + "'.");
}

std::int32_t idOf(const std::string& text) {
  return static_cast<std::int32_t>(parseIntArg(text, "ID"));
}

std::string label(std::int32_t id) { return hexLabel(static_cast<std::uint32_t>(id)); }

// Opens the pair (or container) in the registry's owner; the registry holds the model.
TProgress& loaded(Registry& registry, const std::string& idx, const std::string& mul) {
  openFamily(registry, "Progress", {idx, mul});
  return *registry.progress;
}

int create(Args& args, Context& ctx) {
  const auto p = args.positionals(1, 1);
  const std::string idx = joinPath(p[0], "Progress.idx");
  const std::string mul = joinPath(p[0], "Progress.mul");
  writeFileAtomic(idx, {});
  writeFileAtomic(mul, {});
  ctx.report(Json::Object{{"index", idx}, {"data", mul}}, "created " + idx + " and " + mul);
  return 0;
}

int list(Args& args, Context& ctx) {
  const auto p = args.positionals(2, 2);
  Registry registry;
  const TProgress& archive = loaded(registry, p[0], p[1]);
  Json::Array rows;
  std::ostringstream text;
  for (const std::int32_t kind : {progresslayout::kArtKind, progresslayout::kGumpKind}) {
    for (const std::int32_t id : archive.entryIds(kind)) {
      const ProgressRecord r = archive.entryRecord(kind, id);
      const std::string kindName = kind == progresslayout::kArtKind ? "art" : "gump";
      rows.push_back(Json::Object{{"kind", kindName},
                                  {"id", id},
                                  {"label", label(id)},
                                  {"lookup", r.lookup},
                                  {"length", r.length}});
      text << kindName << ' ' << label(id) << ' ' << r.length << " bytes\n";
    }
  }
  if (archive.skippedRecords() > 0)
    text << archive.skippedRecords() << " records with ids outside the table were skipped\n";
  ctx.report(Json::Object{{"entries", rows}, {"skipped", archive.skippedRecords()}}, text.str());
  return 0;
}

int exportPng(Args& args, Context& ctx) {
  const auto p = args.positionals(5, 5);
  Registry registry;
  const TProgress& archive = loaded(registry, p[0], p[1]);
  const std::int32_t kind = kindOf(p[2]);
  const std::int32_t id = idOf(p[3]);
  if (!archive.exportPng(kind, id, p[4]))
    throw Error("The progress archive has no entry " + p[2] + " " + label(id) + ".");
  ctx.report(Json::Object{{"id", id}, {"file", p[4]}}, "exported " + label(id) + " to " + p[4]);
  return 0;
}

int importPng(Args& args, Context& ctx) {
  const PairTarget target = takePairTarget(args);
  const auto p = args.positionals(5, 5);
  Registry registry;
  TProgress& archive = loaded(registry, p[0], p[1]);
  const std::int32_t kind = kindOf(p[2]);
  const std::int32_t id = idOf(p[3]);
  archive.importPng(kind, id, p[4]);
  if (!archive.entryExists(kind, id))
    throw Error("Kind " + p[2] + " id " + p[3] + " has no place in the progress archive.");
  saveFamily(registry, "Progress", {target.indexPath(p[0]), target.dataPath(p[1])});
  ctx.report(Json::Object{{"id", id}, {"file", p[4]}}, "imported " + p[4] + " as " + label(id));
  return 0;
}

int remove(Args& args, Context& ctx) {
  const PairTarget target = takePairTarget(args);
  const auto p = args.positionals(4, 4);
  Registry registry;
  TProgress& archive = loaded(registry, p[0], p[1]);
  const std::int32_t kind = kindOf(p[2]);
  const std::int32_t id = idOf(p[3]);
  archive.deleteEntry(kind, id);
  saveFamily(registry, "Progress", {target.indexPath(p[0]), target.dataPath(p[1])});
  ctx.report(Json::Object{{"deleted", id}}, "deleted " + label(id));
  return 0;
}

int save(Args& args, Context& ctx) {
  const auto p = args.positionals(4, 4);
  Registry registry;
  loaded(registry, p[0], p[1]);
  saveFamily(registry, "Progress", {p[2], p[3]});
  ctx.report(Json::Object{{"index", p[2]}, {"data", p[3]}},
             "saved a compacted copy to " + p[2] + " and " + p[3]);
  return 0;
}

}  // namespace

Group progressGroup() {
  const std::string files = "PROGRESS_IDX PROGRESS_MUL";
  const std::string out = std::string(" ") + kPairTargetUsage;
  return {
      "progress",
      "The progress archive Progress.idx / Progress.mul of PNG pictures with alpha.",
      {
          {"create", "DIR", "Creates (or empties) Progress.idx and Progress.mul in DIR.", create},
          {"list", files, "Every entry by kind and id.", list},
          {"export", files + " KIND ID FILE", "Writes an entry as a PNG file (KIND art|gump).",
           exportPng},
          {"import", files + " KIND ID FILE" + out,
           "Stores an RGBA PNG as the entry and saves the archive compacted.", importPng},
          {"delete", files + " KIND ID" + out, "Removes an entry and saves the archive compacted.",
           remove},
          {"save", files + " NEW_INDEX NEW_DATA", "Writes a compacted copy.", save},
      }};
}

}  // namespace quillotide::cli
