#include <sys/stat.h>

#include <optional>
#include <sstream>

#include "app/FileIO.h"
#include "app/Image.h"
#include "app/Text.h"
#include "cli/Cli.h"
#include "cli/OpenArgs.h"
#include "models/Animation.h"
#include "models/PatchedSlots.h"
#include "models/Verdata.h"

namespace quillotide::cli {

namespace {

Json recordJson(std::size_t i, const TVerIndex& r, bool damaged) {
  return Json::Object{{"index", static_cast<std::int64_t>(i)},
                      {"fileId", r.fileId},
                      {"file", verdataFileName(r.fileId)},
                      {"block", r.block},
                      {"label", hexLabel(static_cast<std::uint32_t>(r.block))},
                      {"lookup", r.lookup},
                      {"length", r.length},
                      {"extra", r.extra},
                      {"damaged", damaged}};
}

bool isKx(const std::string& path) {
  return path.size() >= 3 && toUpper(path.substr(path.size() - 3)) == ".KX";
}

// The kinds a patch can be added as, with their file id.
struct PatchKind {
  const char* name;
  std::int32_t fileId;
};
constexpr PatchKind kKinds[] = {{"land", verdatafile::kArt},
                                {"static", verdatafile::kArt},
                                {"gump", verdatafile::kGumps},
                                {"texture", verdatafile::kTextures},
                                {"anim", verdatafile::kAnimations}};

std::string kindArg(const std::string& text) {
  for (const auto& k : kKinds)
    if (text == k.name) return text;
  throw UsageError("KIND must be land, static, gump, texture or anim.");
}

// The picture family a KIND names; nullopt for "anim", whose patches are whole bodies.
std::optional<PatchFamily> pictureFamilyOf(const std::string& kind) {
  if (kind == "land") return PatchFamily::Land;
  if (kind == "static") return PatchFamily::Static;
  if (kind == "gump") return PatchFamily::Gump;
  if (kind == "texture") return PatchFamily::Texture;
  return std::nullopt;
}

VerdataKind verdataKind(const std::string& kind) {
  if (kind == "land") return VerdataKind::Land;
  if (kind == "static") return VerdataKind::Static;
  if (kind == "gump") return VerdataKind::Gump;
  if (kind == "texture") return VerdataKind::Texture;
  return VerdataKind::Anim;
}

// The file id and block a KIND and ID name (anim: the block of the body's first slot); an id
// outside the kind's range is a usage error.
VerdataSlot blockOf(const std::string& kind, std::int64_t id) {
  try {
    return verdataSlotOf(verdataKind(kind), id);
  } catch (const UsageError&) {
    throw;
  } catch (const Error& e) {
    throw UsageError(e.what());
  }
}

// An ID checked against the range of its KIND before anything is read.
std::int32_t idArg(const std::string& kind, const std::string& text) {
  const std::int64_t id = parseIntArg(text, "ID");
  blockOf(kind, id);
  return static_cast<std::int32_t>(id);
}

// Save, with the command that removes a damaged record added to the model's message.
void saveVerdata(Registry& registry, const std::string& source, const std::string& target) {
  const TVerdata& v = *registry.verdata;
  try {
    saveFamily(registry, "Verdata", {target});
  } catch (const FormatError& e) {
    const auto& records = v.records();
    for (std::size_t i = 0; i < records.size(); ++i)
      if (v.isDamaged(records[i]))
        throw FormatError(std::string(e.what()) + " (quillotide-cli verdata remove " + source +
                          " --record " + std::to_string(i) + ")");
    throw;
  }
}

int list(Args& args, Context& ctx) {
  const auto fileId = args.intOption("file-id");
  const auto p = args.positionals(1, 1);
  Registry registry;
  openFamily(registry, "Verdata", {p[0]});
  TVerdata& v = *registry.verdata;
  Json::Array rows;
  std::ostringstream text;
  for (std::size_t i = 0; i < v.records().size(); ++i) {
    const auto& r = v.records()[i];
    if (fileId && r.fileId != *fileId) continue;
    rows.push_back(recordJson(i, r, v.isDamaged(r)));
    text << i << ": " << verdataFileName(r.fileId) << ' '
         << hexLabel(static_cast<std::uint32_t>(r.block)) << " lookup " << r.lookup << " length "
         << r.length << " extra " << r.extra
         << (v.isDamaged(r) ? " (damaged: its data lies outside the file)" : "") << '\n';
  }
  text << v.records().size() << " patch records";
  ctx.report(Json::Object{{"records", rows}}, text.str());
  return 0;
}

int show(Args& args, Context& ctx) {
  // The picture is an export, not a write target; --out is its old spelling.
  auto out = args.option("picture");
  if (const auto old = args.option("out")) {
    if (out) throw UsageError("Give --picture once.");
    out = old;
  }
  const auto p = args.positionals(3, 3);
  const std::string kind = kindArg(p[1]);
  const std::int32_t id = idArg(kind, p[2]);
  Registry registry;
  openFamily(registry, "Verdata", {p[0]});
  TVerdata& v = *registry.verdata;
  const auto [fileId, block] = blockOf(kind, id);
  const auto record = v.findPatch(fileId, block);
  if (!record) throw Error(formatMessage("%s %s is not patched.", {kind, hexLabel(static_cast<std::uint32_t>(id))}));
  Bitmap32 picture;
  std::string note;
  if (const auto family = pictureFamilyOf(kind)) picture = patchPictureOf(v, *family, id);
  else {
    const AnimFrame f = v.animFrame(id);
    picture = f.picture;
    if (f.strayPixels) note = f.strayMessage;
  }
  if (out) {
    if (picture.empty()) throw Error("The patch has no picture to write.");
    writeImageFile(*out, picture);
  }
  std::ostringstream text;
  text << verdataFileName(fileId) << ' ' << hexLabel(static_cast<std::uint32_t>(block)) << ": lookup "
       << record->lookup << " length " << record->length << " extra " << record->extra
       << "\npicture " << picture.width << 'x' << picture.height;
  if (!note.empty()) text << '\n' << note;
  if (out) text << "\nwrote " << *out;
  ctx.report(Json::Object{{"fileId", fileId},
                          {"block", block},
                          {"lookup", record->lookup},
                          {"length", record->length},
                          {"extra", record->extra},
                          {"width", picture.width},
                          {"height", picture.height}},
             text.str());
  return 0;
}

int add(Args& args, Context& ctx) {
  const FileTarget out = takeFileTarget(args);
  const bool noPalette = args.flag("no-palette");
  const auto p = args.positionals(4, 4);
  const std::string kind = kindArg(p[1]);
  const std::int32_t id = idArg(kind, p[2]);
  Registry registry;
  openFamily(registry, "Verdata", {p[0]});
  TVerdata& v = *registry.verdata;
  Progress silent;
  std::string message = "patched " + kind + " " + hexLabel(static_cast<std::uint32_t>(id));
  std::int64_t problems = 0;
  if (kind == "land") v.addLandFile(id, p[3]);
  else if (kind == "static") v.addStaticFile(id, p[3]);
  else if (kind == "gump") v.addGumpFile(id, p[3]);
  else if (kind == "texture") v.addTextureFile(id, p[3]);
  else if (isKx(p[3])) v.addAnimFromFile(id, p[3], silent);
  else {
    const auto report = v.addAnimFromDirectory(id, p[3], !noPalette, silent);
    problems = report.colourProblems;
    if (!report.message.empty()) message += "\n" + report.message;
  }
  const std::string target = out.path(p[0]);
  saveVerdata(registry, p[0], target);
  ctx.report(Json::Object{{"kind", kind}, {"id", id}, {"records", static_cast<std::int64_t>(v.records().size())},
                          {"colourProblems", problems}, {"saved", target}},
             message + "\nsaved " + target);
  return 0;
}

int remove(Args& args, Context& ctx) {
  const FileTarget out = takeFileTarget(args);
  const auto record = args.intOption("record");
  const auto p = record ? args.positionals(1, 1) : args.positionals(3, 3);
  Registry registry;
  // The model stays the registry's through its loads: open reads into it.
  TVerdata& v = *registry.verdata;
  if (record) {
    openFamily(registry, "Verdata", {p[0]});
    if (*record < 0) throw UsageError("--record must be 0 or more.");
    v.removeRecord(static_cast<std::size_t>(*record));
    const std::string target = out.path(p[0]);
    saveVerdata(registry, p[0], target);
    ctx.report(Json::Object{{"removed", 1}, {"record", *record}, {"saved", target}},
               "removed patch record " + std::to_string(*record) + "; saved " + target);
    return 0;
  }
  const std::string kind = kindArg(p[1]);
  const std::int32_t id = idArg(kind, p[2]);
  openFamily(registry, "Verdata", {p[0]});
  const auto [fileId, block] = blockOf(kind, id);
  int removed = 0;
  if (kind == "anim") {
    // Every slot of the body, so no direction of it stays patched.
    const auto& table = animSlotTable(AnimKind::Anim);
    for (int k = 0; k < table.slotsPerBody(id); ++k)
      while (v.removePatch(fileId, block + k)) ++removed;
  } else if (v.removePatch(fileId, block)) {
    removed = 1;
  }
  if (removed == 0)
    throw Error(formatMessage("%s %s is not patched.", {kind, hexLabel(static_cast<std::uint32_t>(id))}));
  const std::string target = out.path(p[0]);
  saveVerdata(registry, p[0], target);
  ctx.report(Json::Object{{"removed", removed}, {"saved", target}},
             "removed " + std::to_string(removed) + " patch record(s); saved " + target);
  return 0;
}

int exportAnim(Args& args, Context& ctx) {
  const auto p = args.positionals(3, 3);
  const std::int32_t body = idArg("anim", p[1]);
  Registry registry;
  openFamily(registry, "Verdata", {p[0]});
  TVerdata& v = *registry.verdata;
  Progress silent;
  AnimStrayReport stray;
  if (isKx(p[2])) {
    v.exportAnimToFile(body, p[2], silent);
  } else {
    ::mkdir(p[2].c_str(), 0755);
    stray = v.exportAnimToDirectory(body, p[2], silent);
  }
  std::string text =
      "exported the patches of body " + hexLabel(static_cast<std::uint32_t>(body)) + " to " + p[2];
  if (stray) text.append("\n").append(stray.message());
  ctx.report(Json::Object{{"body", body}, {"target", p[2]}, {"strayPixels", stray.strayPixels}},
             text);
  return 0;
}

}  // namespace

Group verdataGroup() {
  return {
      "verdata",
      "The patch file verdata.mul: patches of art, gumps, textures and animations.",
      {
          {"list", "FILE [--file-id N]", "Every patch record in file order.", list},
          {"show", "FILE KIND ID [--picture FILE]",
           "One patch (KIND land, static, gump, texture or anim body); --picture writes its "
           "picture.",
           show},
          {"add", "FILE KIND ID SOURCE [--no-palette] [--out FILE]",
           "Adds or replaces a patch from a picture (anim: a .kx file or folder) and saves.", add},
          {"remove", "FILE KIND ID [--out FILE] | FILE --record N [--out FILE]",
           "Removes a patch (anim: every slot of the body), or record N of the list (a damaged "
           "one too), and saves.",
           remove},
          {"export", "FILE BODY TARGET.kx|FOLDER",
           "Writes a body's animation patches to a .kx file or animation folder.", exportAnim},
      }};
}

}  // namespace quillotide::cli
