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
  const auto size = static_cast<std::int32_t>(componentSize(m.layout()));
  Json::Array rows;
  std::ostringstream text;
  for (std::int64_t i = 0; i < m.recordCount(); ++i) {
    const bool full = m.slotExists(i);
    const auto unreadable = m.unreadableReason(i);
    if (onlyFull && !full && !unreadable) continue;
    const auto r = *m.record(i);
    const std::int64_t count = full ? r.length / size : 0;
    const std::int64_t over = m.trailingBytes(i);
    Json::Object row{{"slot", i},           {"label", label(i)},     {"exists", full},
                     {"components", count}, {"componentSize", size}, {"lookup", r.lookup},
                     {"length", r.length}};
    if (over > 0) row.emplace_back("trailingBytes", over);
    if (unreadable) row.emplace_back("unreadable", *unreadable);
    rows.push_back(std::move(row));
    text << label(i);
    if (unreadable)
      text << " unreadable: " << *unreadable << '\n';
    else if (full)
      text << ' ' << count << " components"
           << (over > 0 ? ", " + std::to_string(over) + " bytes over" : "") << '\n';
    else
      text << " empty\n";
  }
  ctx.report(rows, text.str());
  return 0;
}

std::string basisWord(MultiLayoutBasis basis) {
  switch (basis) {
    case MultiLayoutBasis::NoComponents:
      return "none";
    case MultiLayoutBasis::Lengths:
      return "lengths";
    case MultiLayoutBasis::Plausibility:
      return "plausibility";
    case MultiLayoutBasis::Container:
      return "container";
    case MultiLayoutBasis::Converted:
      return "converted";
  }
  return "";
}

int info(Args& args, Context& ctx) {
  const auto p = pairPositionals(args, 2, 2);
  Registry registry;
  const TMulti& m = loaded(registry, p[0], p[1]);
  Json::Array ragged;
  std::int64_t used = 0;
  for (std::int64_t i = 0; i < m.recordCount(); ++i) {
    used += m.slotExists(i) ? 1 : 0;
    if (m.trailingBytes(i) > 0) ragged.emplace_back(i);
  }
  Json::Array unreadable;
  std::string unreadableText;
  for (const std::int64_t slot : m.unreadableSlots()) {
    const std::string why = m.unreadableReason(slot).value_or("");
    unreadable.push_back(Json::Object{{"slot", slot}, {"label", label(slot)}, {"reason", why}});
    unreadableText += "\nunreadable " + label(slot) + ": " + why;
  }
  const auto size = static_cast<std::int64_t>(componentSize(m.layout()));
  std::string text = "layout: " + m.layoutText() + "\nslots: " + std::to_string(m.recordCount()) +
                     ", " + std::to_string(used) +
                     " with components\ncliloc lists: " + std::to_string(m.clilocListCount()) +
                     "\nfurther values not 0: " + std::to_string(m.furtherValueCount());
  if (!ragged.empty())
    text += "\nslots that do not end on a whole component: " + std::to_string(ragged.size());
  text += unreadableText;
  if (m.loadNote()) text += "\n" + *m.loadNote();
  ctx.report(Json::Object{{"componentSize", size},
                          {"basis", basisWord(m.layoutBasis())},
                          {"layout", m.layoutText()},
                          {"container", m.isUop()},
                          {"slots", m.recordCount()},
                          {"usedSlots", used},
                          {"clilocLists", m.clilocListCount()},
                          {"furtherValues", m.furtherValueCount()},
                          {"raggedSlots", ragged},
                          {"unreadable", unreadable},
                          {"note", m.loadNote() ? Json(*m.loadNote()) : Json()}},
             text);
  return 0;
}

int components(Args& args, Context& ctx) {
  const auto p = pairPositionals(args, 3, 3);
  const std::int64_t i = parseIntArg(p[2], "SLOT");
  Registry registry;
  const TMulti& m = loaded(registry, p[0], p[1]);
  if (const auto why = m.unreadableReason(i))
    throw Error("Multi " + label(i) + " cannot be read: " + *why);
  // Flags as the form read stores them; the 16-byte layout's further value beside them.
  const bool further = !m.isUop() && m.layout() == MultiLayout::Newer16;
  Json::Array rows;
  std::ostringstream text;
  for (const MultiComponent& c : m.components(i)) {
    Json::Array clilocs;
    for (const std::uint32_t n : c.clilocs) clilocs.emplace_back(n);
    Json::Object row{{"id", static_cast<int>(c.id)},
                     {"x", static_cast<int>(c.x)},
                     {"y", static_cast<int>(c.y)},
                     {"z", static_cast<int>(c.z)},
                     {"flags", m.storedFlags(c)}};
    if (further) row.emplace_back("further", c.further);
    row.emplace_back("clilocs", clilocs);
    rows.push_back(std::move(row));
    text << label(c.id) << ' ' << c.x << ' ' << c.y << ' ' << c.z << " flags "
         << label(m.storedFlags(c));
    if (further) text << " further " << label(c.further);
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
  const std::int64_t dropped = m.importText(i, p[4], format);
  requireNoDroppedLists(m, target.indexPath(p[0]), target.dataPath(p[1]));
  saveFamily(registry, "Multis", {target.indexPath(p[0]), target.dataPath(p[1])});
  const auto count = static_cast<std::int64_t>(m.components(i).size());
  std::string text =
      "imported " + std::to_string(count) + " components from " + p[4] + " into " + label(i);
  if (dropped > 0) text += "\n" + droppedOnImportMessage(dropped, i);
  ctx.report(
      Json::Object{
          {"slot", i}, {"file", p[4]}, {"components", count}, {"droppedClilocLists", dropped}},
      text);
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
  return "\n" + std::to_string(dropped) +
         " cliloc lists were dropped: the MUL form has no place for them.";
}

int save(Args& args, Context& ctx) {
  const auto p = pairPositionals(args, 4, 4);
  Registry registry;
  const TMulti& m = loaded(registry, p[0], p[1]);
  const FamilyOps::Message said = saveFamily(registry, "Multis", {p[2], p[3]});
  // A container keeps every cliloc list; the MUL form has no place for them.
  const bool intoMul = !isUopPair(p[2], p[3]);
  const std::int64_t dropped = intoMul ? m.clilocListCount() : 0;
  Json::Array leftOut;
  if (intoMul)
    for (const std::int64_t slot : m.unreadableSlots()) leftOut.emplace_back(slot);
  const std::string where = p[2] == p[3] ? p[2] : p[2] + " and " + p[3];
  std::string text = "saved " + std::to_string(m.recordCount()) + " slots to " + where;
  if (intoMul)
    text += " as " + std::to_string(componentSize(m.layout())) + "-byte components" +
            droppedText(dropped);
  else if (said)
    text += "\n" + *said;
  ctx.report(
      Json::Object{{"slots", m.recordCount()},
                   {"index", p[2]},
                   {"data", p[3]},
                   {"componentSize",
                    intoMul ? Json(static_cast<std::int64_t>(componentSize(m.layout()))) : Json()},
                   {"droppedClilocLists", dropped},
                   {"unreadableLeftOut", leftOut}},
      text);
  return 0;
}

int convert(Args& args, Context& ctx) {
  const bool dropFurther = args.flag("drop-further");
  const PairTarget target = takePairTarget(args);
  const auto p = pairPositionals(args, 3, 3);
  MultiLayout to = MultiLayout::Newer16;
  if (p[2] == "12")
    to = MultiLayout::Older12;
  else if (p[2] != "16")
    throw UsageError("SIZE is 12 or 16, not '" + p[2] + "'.");
  const std::string index = target.indexPath(p[0]);
  const std::string data = target.dataPath(p[1]);
  if (isUopPair(index, data))
    throw UsageError(
        "A container's tiles have no component size: name a MUL pair to write with --out-index "
        "FILE --out-data FILE.");
  Registry registry;
  TMulti& m = loaded(registry, p[0], p[1]);
  const MultiConversion done = m.convertLayout(to, dropFurther);
  requireNoDroppedLists(m, index, data);
  const FamilyOps::Message said = saveFamily(registry, "Multis", {index, data});
  std::string text = done.message() + " The multis are written as " +
                     std::to_string(componentSize(to)) + "-byte components.";
  if (said) text += "\n" + *said;
  ctx.report(Json::Object{{"componentSize", static_cast<std::int64_t>(componentSize(to))},
                          {"slots", done.rewritten},
                          {"furtherDropped", done.furtherDropped},
                          {"trailingBytes", done.trailingBytes}},
             text);
  return 0;
}

}  // namespace

Group multiGroup() {
  const std::string files = "MULTIIDX MULTI";
  const std::string out = std::string(" ") + kPairTargetUsage;
  return {
      "multi",
      "Multi-tile objects of multi.idx / multi.mul; MultiCollection.uop may stand for the pair "
      "(MULTIIDX MULTI) wherever one is read or written. Components are 12 or 16 bytes, told "
      "from the file and kept on save. A save as MUL drops the components' cliloc lists and "
      "says how many.",
      {
          {"info", files,
           "The component size (12 or 16 bytes) and how it was told, the slots, cliloc lists, "
           "further values, slots that do not end on a whole component and container entries "
           "that cannot be read.",
           info},
          {"list", files + " [--full]",
           "Every slot with its component count (bytes over a whole component and unreadable "
           "container entries named).",
           list},
          {"components", files + " SLOT",
           "Every component of a slot: id, x, y, z, flags as the form read stores them, the "
           "further value of 16-byte components, and cliloc numbers.",
           components},
          {"picture", files + " ARTIDX ART SLOT FILE.png",
           "Draws a multi from the static art as a PNG.", picture},
          {"export", files + " FORMAT SLOT FILE",
           "Writes a slot as text (FORMAT sphere51a, wsc, text, uoa).", exportText},
          {"import", files + " FORMAT SLOT FILE" + out,
           "Reads a text file into a slot, re-centred, and writes the files back.", importText},
          {"delete", files + " SLOT" + out, "Empties a slot and writes the files back.", remove},
          {"save", files + " NEW_INDEX NEW_DATA",
           "Loads the pair and saves it to new files, a MUL pair in the layout read (16-byte "
           "components from a container).",
           save},
          {"convert", files + " SIZE [--drop-further]" + out,
           "Rewrites every slot as SIZE-byte components (12 or 16) and writes the pair back. "
           "Further values other than 0 have no place in 12-byte components: refused unless "
           "--drop-further.",
           convert},
      }};
}

}  // namespace quillotide::cli
