// The "multi" group: multi.idx / multi.mul. Changing commands load the pair, change it and write
// both files back, each replaced whole: over the same paths, or to --out-index/--out-data.

#include <sstream>

#include "app/Png.h"
#include "app/Text.h"
#include "cli/Cli.h"
#include "cli/OpenArgs.h"
#include "cli/PairArgs.h"
#include "models/Art.h"
#include "models/Multi.h"

namespace quillotide::cli {

namespace {

std::string label(std::int64_t i) { return hexLabel(static_cast<std::uint32_t>(i)); }

MultiTextFormat formatOf(const std::string& text) {
  if (text == "sphere51a") return MultiTextFormat::Sphere51a;
  if (text == "wsc") return MultiTextFormat::Wsc;
  if (text == "text") return MultiTextFormat::PlainText;
  if (text == "uoa") return MultiTextFormat::UoaText;
  throw UsageError("FORMAT is sphere51a, wsc, text or uoa, not '" + text + "'.");
}

// Opens the pair (or container) in the registry's owner; the registry holds the model.
TMulti& loaded(Registry& registry, const std::string& idx, const std::string& mul) {
  openFamily(registry, "Multis", {idx, mul});
  return *registry.multis;
}

// A change written from a container into a MUL pair would lose its cliloc lists on the way; only
// "save" converts, and says so.
void requireNoDroppedLists(const TMulti& m, const std::string& index, const std::string& data) {
  if (isUopPair(index, data) || m.clilocListCount() == 0) return;
  throw Error(formatMessage(
      "The multis hold %d cliloc lists that a MUL pair cannot hold; write the change into a .uop "
      "container, or convert with \"multi save\" first. Nothing was written.",
      {std::to_string(m.clilocListCount())}));
}

int list(Args& args, Context& ctx) {
  const bool onlyFull = args.flag("full");
  const auto p = pairPositionals(args, 2, 2);
  Registry registry;
  const TMulti& m = loaded(registry, p[0], p[1]);
  Json::Array rows;
  std::ostringstream text;
  for (std::int64_t i = 0; i < m.recordCount(); ++i) {
    const bool full = m.slotExists(i);
    if (onlyFull && !full) continue;
    const auto r = *m.record(i);
    const std::int64_t count = full ? r.length / 12 : 0;
    rows.push_back(Json::Object{{"slot", i},
                                {"label", label(i)},
                                {"exists", full},
                                {"components", count},
                                {"lookup", r.lookup},
                                {"length", r.length}});
    text << label(i);
    if (full)
      text << ' ' << count << " components\n";
    else
      text << " empty\n";
  }
  ctx.report(rows, text.str());
  return 0;
}

int components(Args& args, Context& ctx) {
  const auto p = pairPositionals(args, 3, 3);
  const std::int64_t i = parseIntArg(p[2], "SLOT");
  Registry registry;
  const TMulti& m = loaded(registry, p[0], p[1]);
  Json::Array rows;
  std::ostringstream text;
  for (const MultiComponent& c : m.components(i)) {
    Json::Array clilocs;
    for (const std::uint32_t n : c.clilocs) clilocs.emplace_back(n);
    rows.push_back(Json::Object{{"id", static_cast<int>(c.id)},
                                {"x", static_cast<int>(c.x)},
                                {"y", static_cast<int>(c.y)},
                                {"z", static_cast<int>(c.z)},
                                {"flags", c.flags},
                                {"clilocs", clilocs}});
    text << label(c.id) << ' ' << c.x << ' ' << c.y << ' ' << c.z << " flags " << label(c.flags);
    for (std::size_t k = 0; k < c.clilocs.size(); ++k)
      text << (k == 0 ? " clilocs " : ",") << c.clilocs[k];
    text << '\n';
  }
  ctx.report(rows, text.str());
  return 0;
}

int picture(Args& args, Context& ctx) {
  const auto p = pairPositionals(args, 6, 6);
  const std::int64_t i = parseIntArg(p[4], "SLOT");
  Registry registry;
  const TMulti& m = loaded(registry, p[0], p[1]);
  openFamily(registry, "Art", {p[2], p[3]});
  const TArt& art = *registry.art;
  const Bitmap32 pic = m.multiPicture(i, &art);
  if (pic.empty()) throw Error("Multi " + label(i) + " is empty; nothing was drawn.");
  writePngFile(p[5], pic);
  ctx.report(
      Json::Object{{"slot", i}, {"file", p[5]}, {"width", pic.width}, {"height", pic.height}},
      "drew " + label(i) + " (" + std::to_string(pic.width) + "x" + std::to_string(pic.height) +
          ") to " + p[5]);
  return 0;
}

int exportText(Args& args, Context& ctx) {
  const auto p = pairPositionals(args, 5, 5);
  const MultiTextFormat format = formatOf(p[2]);
  const std::int64_t i = parseIntArg(p[3], "SLOT");
  Registry registry;
  const TMulti& m = loaded(registry, p[0], p[1]);
  if (!m.exportText(i, p[4], format))
    throw Error("Multi " + label(i) + " is empty; nothing was exported.");
  ctx.report(Json::Object{{"slot", i}, {"file", p[4]}}, "exported " + label(i) + " to " + p[4]);
  return 0;
}

int importText(Args& args, Context& ctx) {
  const PairTarget target = takePairTarget(args);
  const auto p = pairPositionals(args, 5, 5);
  const MultiTextFormat format = formatOf(p[2]);
  const std::int64_t i = parseIntArg(p[3], "SLOT");
  Registry registry;
  TMulti& m = loaded(registry, p[0], p[1]);
  m.importText(i, p[4], format);
  requireNoDroppedLists(m, target.indexPath(p[0]), target.dataPath(p[1]));
  saveFamily(registry, "Multis", {target.indexPath(p[0]), target.dataPath(p[1])});
  const auto count = static_cast<std::int64_t>(m.components(i).size());
  ctx.report(
      Json::Object{{"slot", i}, {"file", p[4]}, {"components", count}},
      "imported " + std::to_string(count) + " components from " + p[4] + " into " + label(i));
  return 0;
}

int remove(Args& args, Context& ctx) {
  const PairTarget target = takePairTarget(args);
  const auto p = pairPositionals(args, 3, 3);
  const std::int64_t i = parseIntArg(p[2], "SLOT");
  Registry registry;
  TMulti& m = loaded(registry, p[0], p[1]);
  m.deleteSlot(i);
  requireNoDroppedLists(m, target.indexPath(p[0]), target.dataPath(p[1]));
  saveFamily(registry, "Multis", {target.indexPath(p[0]), target.dataPath(p[1])});
  ctx.report(Json::Object{{"deleted", i}}, "deleted " + label(i));
  return 0;
}

// What a save into the MUL form left out, for the report.
std::string droppedText(std::int64_t dropped) {
  if (dropped == 0) return {};
  std::string text = "\n";
  text.append(std::to_string(dropped))
      .append(" cliloc lists were dropped: the MUL form has no place for them.");
  return text;
}

int save(Args& args, Context& ctx) {
  const auto p = pairPositionals(args, 4, 4);
  Registry registry;
  const TMulti& m = loaded(registry, p[0], p[1]);
  saveFamily(registry, "Multis", {p[2], p[3]});
  // A container keeps every cliloc list; the MUL form has no place for them.
  const std::int64_t dropped = isUopPair(p[2], p[3]) ? 0 : m.clilocListCount();
  const std::string where = p[2] == p[3] ? p[2] : p[2] + " and " + p[3];
  ctx.report(
      Json::Object{{"slots", m.recordCount()},
                   {"index", p[2]},
                   {"data", p[3]},
                   {"droppedClilocLists", dropped}},
      std::string("saved ")
          .append(std::to_string(m.recordCount()))
          .append(" slots to ")
          .append(where)
          .append(droppedText(dropped)));
  return 0;
}

}  // namespace

Group multiGroup() {
  const std::string files = "MULTIIDX MULTI";
  const std::string out = std::string(" ") + kPairTargetUsage;
  return {
      "multi",
      "Multi-tile objects of multi.idx / multi.mul; MultiCollection.uop may stand for the pair "
      "(MULTIIDX MULTI) wherever one is read or written. A save as MUL drops the components' "
      "cliloc lists and says how many.",
      {
          {"list", files + " [--full]", "Every slot with its component count.", list},
          {"components", files + " SLOT",
           "Every component of a slot: id, x, y, z, flags and cliloc numbers.", components},
          {"picture", files + " ARTIDX ART SLOT FILE.png",
           "Draws a multi from the static art as a PNG.", picture},
          {"export", files + " FORMAT SLOT FILE",
           "Writes a slot as text (FORMAT sphere51a, wsc, text, uoa).", exportText},
          {"import", files + " FORMAT SLOT FILE" + out,
           "Reads a text file into a slot, re-centred, and writes the files back.", importText},
          {"delete", files + " SLOT" + out, "Empties a slot and writes the files back.", remove},
          {"save", files + " NEW_INDEX NEW_DATA", "Loads the pair and saves it to new files.",
           save},
      }};
}

}  // namespace quillotide::cli
