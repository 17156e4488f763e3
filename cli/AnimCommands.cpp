#include <sys/stat.h>

#include <cctype>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>

#include "app/Image.h"
#include "app/Text.h"
#include "cli/Cli.h"
#include "cli/OpenArgs.h"
#include "models/Animation.h"

namespace quillotide::cli {

namespace {

// The variant of an animation file pair, from --variant N (1..5) or --kind anim..anim5, taken from
// the options before the positionals are read.
std::optional<AnimKind> variantOption(Args& args) {
  const auto variant = args.intOption("variant");
  const auto kind = args.option("kind");
  if (variant && kind) throw UsageError("Give --variant or --kind, not both.");
  if (variant) {
    const auto k = animKindOf(static_cast<int>(*variant));
    if (!k) throw UsageError("--variant must be 1 to 5.");
    return k;
  }
  if (kind) {
    for (int v = 1; v <= 5; ++v)
      if (animKindName(static_cast<AnimKind>(v)) == *kind) return static_cast<AnimKind>(v);
    throw UsageError("--kind must be anim, anim2, anim3, anim4 or anim5.");
  }
  return std::nullopt;
}

// The variant a file's name gives: anim.idx and anim.mul are 1, anim2.idx 2 and so on, in any case.
std::optional<AnimKind> variantOfName(const std::string& path) {
  std::string stem = std::filesystem::path(path).stem().string();
  for (char& c : stem) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (int v = 1; v <= 5; ++v)
    if (animKindName(static_cast<AnimKind>(v)) == stem) return static_cast<AnimKind>(v);
  return std::nullopt;
}

// The variant of the pair: the one given as an option wins, else the one the file names give.
// Each variant has its own slot table, so a guess would read and write other bodies' slots.
AnimKind variantFor(const std::optional<AnimKind>& given, const std::string& index,
                    const std::string& data) {
  std::optional<AnimKind> chosen = given;
  if (!chosen) {
    const auto fromIndex = variantOfName(index);
    const auto fromData = variantOfName(data);
    if (fromIndex && fromData && *fromIndex != *fromData)
      throw UsageError(formatMessage(
          "%s is named as %s and %s as %s; give --variant 1..5 to say which they are.",
          {index, animKindName(*fromIndex), data, animKindName(*fromData)}));
    chosen = fromIndex ? fromIndex : fromData;
  }
  if (!chosen)
    throw UsageError(formatMessage(
        "Cannot tell which animation file %s is: give --variant 1..5 (or --kind anim..anim5), or "
        "use the file names anim.idx, anim2.idx ... anim5.idx.",
        {index}));
  return *chosen;
}

// Opens the pair in the registry's owner as the family of its kind ("Anim" .. "Anim5"); the
// registry holds the model, which writes every change into the files at once.
TAnimation* openAnim(Registry& registry, AnimKind kind, const std::string& index,
                     const std::string& data) {
  switch (kind) {
    case AnimKind::Anim2:
      openFamily(registry, "Anim2", {index, data});
      return registry.anim2.get();
    case AnimKind::Anim3:
      openFamily(registry, "Anim3", {index, data});
      return registry.anim3.get();
    case AnimKind::Anim4:
      openFamily(registry, "Anim4", {index, data});
      return registry.anim4.get();
    case AnimKind::Anim5:
      openFamily(registry, "Anim5", {index, data});
      return registry.anim5.get();
    case AnimKind::Anim:
      break;
  }
  openFamily(registry, "Anim", {index, data});
  return registry.animation.get();
}

// Opens the pair (or working copies of it, see changePairFiles) and runs a change on the model;
// the model writes every change into the files at once.
void changeAnim(const std::optional<AnimKind>& given, const PairTarget& target,
                const std::vector<std::string>& p, const std::function<void(TAnimation&)>& change) {
  const AnimKind kind = variantFor(given, p[0], p[1]);
  changePairFiles(target, p[0], p[1], [&](const std::string& index, const std::string& data) {
    Registry registry;
    change(*openAnim(registry, kind, index, data));
  });
}

int bodyArg(const std::string& text) {
  const std::int64_t b = parseIntArg(text, "BODY");
  if (b < 0 || b > 0xFFFF) throw UsageError("BODY must be 0 to 0xFFFF.");
  return static_cast<int>(b);
}

bool isKx(const std::string& path) {
  return path.size() >= 3 && toUpper(path.substr(path.size() - 3)) == ".KX";
}

std::string label(int body) { return hexLabel(static_cast<std::uint32_t>(body)); }

int list(Args& args, Context& ctx) {
  const auto variant = variantOption(args);
  const bool all = args.flag("all");
  const auto p = args.positionals(2, 2);
  Registry registry;
  TAnimation* model = openAnim(registry, variantFor(variant, p[0], p[1]), p[0], p[1]);
  Json::Array rows;
  std::ostringstream text;
  const int count = model->bodyCount();
  for (int body = 0; body < count; ++body) {
    const bool exists = model->bodyExists(body);
    if (!exists && !all) continue;
    int used = 0;
    for (int k = 0; k < model->slotsPerBody(body); ++k) used += model->slotExists(body, k) ? 1 : 0;
    if (ctx.json)
      rows.push_back(Json::Object{{"body", body},
                                  {"label", label(body)},
                                  {"type", model->bodyType(body)},
                                  {"firstSlot", static_cast<std::int64_t>(model->firstSlot(body))},
                                  {"slots", model->slotsPerBody(body)},
                                  {"actions", model->actionCount(body)},
                                  {"usedSlots", used},
                                  {"exists", exists}});
    else
      text << label(body) << " type " << model->bodyType(body) << ", " << used << " of "
           << model->slotsPerBody(body) << " slots" << (exists ? "" : " (missing)") << '\n';
  }
  if (!ctx.json) text << count << " bodies in the table";
  ctx.report(
      Json::Object{{"kind", animKindName(model->kind())}, {"bodyCount", count}, {"bodies", rows}},
      text.str());
  return 0;
}

int show(Args& args, Context& ctx) {
  const auto variant = variantOption(args);
  const auto p = args.positionals(3, 3);
  Registry registry;
  TAnimation* model = openAnim(registry, variantFor(variant, p[0], p[1]), p[0], p[1]);
  const int body = bodyArg(p[2]);
  Json::Array slots;
  std::ostringstream text;
  text << "body " << label(body) << ": type " << model->bodyType(body) << ", first slot "
       << hexLabel(static_cast<std::uint32_t>(model->firstSlot(body))) << ", "
       << model->actionCount(body) << " actions x " << kAnimDirections << " directions\n";
  for (int k = 0; k < model->slotsPerBody(body); ++k) {
    if (!model->slotExists(body, k)) continue;
    const auto frames = model->slotFrames(body, k);
    Json::Array sizes;
    AnimStrayReport stray;
    text << "  action " << k / kAnimDirections << " direction " << k % kAnimDirections << ": "
         << frames.size() << " frames";
    for (const auto& f : frames) {
      sizes.push_back(Json::Object{{"width", f.picture.width},
                                   {"height", f.picture.height},
                                   {"centerX", f.centerX},
                                   {"centerY", f.centerY}});
      text << ' ' << f.picture.width << 'x' << f.picture.height;
      stray.add(f);
    }
    text << '\n';
    if (stray) text << "    " << stray.message() << '\n';
    slots.push_back(Json::Object{{"offset", k},
                                 {"action", k / kAnimDirections},
                                 {"direction", k % kAnimDirections},
                                 {"frames", sizes},
                                 {"strayPixels", stray.strayPixels}});
  }
  ctx.report(Json::Object{{"body", body},
                          {"type", model->bodyType(body)},
                          {"firstSlot", static_cast<std::int64_t>(model->firstSlot(body))},
                          {"exists", model->bodyExists(body)},
                          {"slots", slots}},
             text.str());
  return 0;
}

int preview(Args& args, Context& ctx) {
  const auto variant = variantOption(args);
  const int offset = static_cast<int>(args.intOption("slot").value_or(0));
  const auto frame = args.intOption("frame").value_or(0);
  const auto p = args.positionals(4, 4);
  Registry registry;
  TAnimation* model = openAnim(registry, variantFor(variant, p[0], p[1]), p[0], p[1]);
  const int body = bodyArg(p[2]);
  const auto frames = model->slotFrames(body, offset);
  if (frame < 0 || frame >= static_cast<std::int64_t>(frames.size()))
    throw Error(formatMessage("Body %s slot offset %d has no frame %d.",
                              {label(body), std::to_string(offset), std::to_string(frame)}));
  const AnimFrame& f = frames[static_cast<std::size_t>(frame)];
  if (f.picture.empty()) throw Error("The frame has no pixels (zero width or height).");
  writeImageFile(p[3], f.picture);
  ctx.report(Json::Object{{"file", p[3]},
                          {"width", f.picture.width},
                          {"height", f.picture.height},
                          {"strayPixels", f.strayPixels}},
             "wrote " + p[3] + (f.strayPixels ? "\n" + f.strayMessage : std::string()));
  return 0;
}

int exportBody(Args& args, Context& ctx) {
  const auto variant = variantOption(args);
  const auto p = args.positionals(4, 4);
  Registry registry;
  TAnimation* model = openAnim(registry, variantFor(variant, p[0], p[1]), p[0], p[1]);
  const int body = bodyArg(p[2]);
  Progress silent;
  AnimStrayReport stray;
  if (isKx(p[3])) {
    model->exportToFile(body, p[3], silent);
  } else {
    ::mkdir(p[3].c_str(), 0755);
    stray = model->exportToDirectory(body, p[3], silent);
  }
  std::string text = "exported body " + label(body) + " to " + p[3];
  if (stray) text.append("\n").append(stray.message());
  ctx.report(
      Json::Object{
          {"body", body}, {"target", p[3]}, {"kx", isKx(p[3])}, {"strayPixels", stray.strayPixels}},
      text);
  return 0;
}

int importBody(Args& args, Context& ctx) {
  const auto variant = variantOption(args);
  const PairTarget target = takePairTarget(args);
  const bool noPalette = args.flag("no-palette");
  const auto p = args.positionals(4, 4);
  const int body = bodyArg(p[2]);
  Progress silent;
  if (isKx(p[3])) {
    changeAnim(variant, target, p,
               [&](TAnimation& model) { model.importFromFile(body, p[3], silent); });
    ctx.report(Json::Object{{"body", body}, {"source", p[3]}},
               "imported " + p[3] + " into body " + label(body));
    return 0;
  }
  AnimImportReport report;
  changeAnim(variant, target, p, [&](TAnimation& model) {
    report = model.importFromDirectory(body, p[3], !noPalette, silent);
  });
  ctx.report(
      Json::Object{{"body", body}, {"source", p[3]}, {"colourProblems", report.colourProblems}},
      report.message());
  return 0;
}

int copy(Args& args, Context& ctx) {
  const auto variant = variantOption(args);
  const PairTarget target = takePairTarget(args);
  const auto p = args.positionals(4, 4);
  const int source = bodyArg(p[2]);
  const int to = bodyArg(p[3]);
  changeAnim(variant, target, p,
             [&](TAnimation& model) { model.copyBody(source, to, model.files().indexPath()); });
  ctx.report(Json::Object{{"source", source}, {"target", to}},
             "copied body " + label(source) + " to " + label(to));
  return 0;
}

int remove(Args& args, Context& ctx) {
  const auto variant = variantOption(args);
  const PairTarget target = takePairTarget(args);
  const auto p = args.positionals(3, 3);
  const int body = bodyArg(p[2]);
  changeAnim(variant, target, p, [&](TAnimation& model) { model.deleteBody(body); });
  ctx.report(Json::Object{{"deleted", body}}, "deleted body " + label(body));
  return 0;
}

int fill(Args& args, Context& ctx) {
  const auto variant = variantOption(args);
  const PairTarget target = takePairTarget(args);
  const auto p = args.positionals(2, 2);
  int bodies = 0;
  changeAnim(variant, target, p, [&](TAnimation& model) {
    model.fillBodies();
    bodies = model.bodyCount();
  });
  ctx.report(Json::Object{{"bodyCount", bodies}}, std::to_string(bodies) + " bodies in the table");
  return 0;
}

int rebuild(Args& args, Context& ctx) {
  const auto variant = variantOption(args);
  const auto seed = args.intOption("seed");
  const auto p = args.positionals(4, 4);
  Registry registry;
  TAnimation* model = openAnim(registry, variantFor(variant, p[0], p[1]), p[0], p[1]);
  Random random;
  if (seed) random.seed(static_cast<std::uint64_t>(*seed));
  Progress silent;
  model->rebuild(p[2], p[3], silent, random);
  ctx.report(Json::Object{{"index", p[2]}, {"data", p[3]}},
             "rebuilt into " + p[2] + " and " + p[3]);
  return 0;
}

const char* const kKind = " [--variant 1..5 | --kind anim..anim5]";

}  // namespace

Group animGroup() {
  const std::string k = kKind;
  const std::string out = std::string(" ") + kPairTargetUsage;
  return {"anim",
          "Animations of anim.idx/anim.mul and anim2..anim5 (changes go into the files at once; "
          "--out-index/--out-data write them to copies instead).",
          {
              {"list", "INDEX DATA [--all]" + k, "Bodies with their type and used slots.", list},
              {"show", "INDEX DATA BODY" + k, "Every slot of a body: action, direction and frames.",
               show},
              {"preview", "INDEX DATA BODY OUT.bmp|OUT.png [--slot N] [--frame F]" + k,
               "Writes one frame as a picture (slot offset 0, frame 0 by default).", preview},
              {"export", "INDEX DATA BODY TARGET.kx|FOLDER" + k,
               "Writes the body to a .kx file or an animation folder.", exportBody},
              {"import", "INDEX DATA BODY SOURCE.kx|FOLDER [--no-palette]" + out + k,
               "Reads a .kx file or animation folder into the body.", importBody},
              {"copy", "INDEX DATA SOURCE_BODY TARGET_BODY" + out + k,
               "Points the target body at the source body's data.", copy},
              {"delete", "INDEX DATA BODY" + out + k, "Empties every slot of the body.", remove},
              {"fill", "INDEX DATA" + out + k, "Grows the index to 0x1000 bodies.", fill},
              {"rebuild", "INDEX DATA NEW_INDEX NEW_DATA [--seed N]" + k,
               "Writes a compacted copy; --seed makes the layout repeatable.", rebuild},
          }};
}

}  // namespace quillotide::cli
