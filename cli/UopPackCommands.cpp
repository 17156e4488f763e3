// "uop unpack" and "uop pack": converting between a container and the MUL files it stands for.
// The conversions go through the same models the other groups use, so a container unpacked here
// is what every page and command reads from it.

#include <algorithm>

#include "app/FileIO.h"
#include "app/IndexedFile.h"
#include "app/Text.h"
#include "app/Uop.h"
#include "app/UopPair.h"
#include "cli/Cli.h"
#include "cli/PairArgs.h"
#include "models/Multi.h"
#include "world/Map.h"

namespace quillotide::cli {

namespace {

std::optional<UopFamily> familyOfWord(const std::string& word) {
  if (word == "art") return UopFamily::Art;
  if (word == "gump") return UopFamily::Gump;
  if (word == "sound") return UopFamily::Sound;
  if (word == "multi") return UopFamily::Multi;
  if (word == "map") return UopFamily::Map;
  return std::nullopt;
}

// Whether the container holds a map: the first chunk of any map number.
bool holdsMap(const UopContainer& uop) {
  for (std::uint32_t map = 0; map < 10; ++map)
    if (uop.find(uopEntryName(UopFamily::Map, 0, map))) return true;
  return false;
}

// Multis go through their model: flags mapped between the forms, 16-byte components written,
// and what the MUL form cannot hold (cliloc lists, unreadable entries) counted.
int unpackMultis(const std::string& container, const std::string& index, const std::string& data,
                 std::optional<std::int64_t> records, Context& ctx) {
  TMulti multis;
  const std::optional<std::string> note = multis.loadUop(container, records.value_or(0));
  const MultiSaveResult saved = multis.save(index, data);
  std::string text = formatMessage("unpacked %d records into %s and %s as 16-byte components",
                                   {std::to_string(multis.recordCount()), index, data});
  if (saved.droppedClilocLists > 0)
    text += formatMessage("\n%d cliloc lists were dropped: the MUL form has no place for them.",
                          {std::to_string(saved.droppedClilocLists)});
  // The load's note goes to the file layer's notes; the JSON report carries it too.
  Json::Array leftOut;
  for (const std::int64_t slot : saved.unreadableLeftOut) leftOut.emplace_back(slot);
  ctx.report(
      Json::Object{{"records", multis.recordCount()},
                   {"index", index},
                   {"data", data},
                   {"componentSize", static_cast<std::int64_t>(componentSize(multis.layout()))},
                   {"droppedClilocLists", saved.droppedClilocLists},
                   {"unreadableLeftOut", leftOut},
                   {"note", note ? Json(*note) : Json()}},
      text);
  return 0;
}

int unpack(Args& args, Context& ctx) {
  const std::optional<std::int64_t> records = args.intOption("records");
  const auto p = args.positionals(2, 3);
  const UopContainer uop = UopContainer::read(p[0]);
  if (holdsMap(uop)) {
    if (p.size() != 2)
      throw UsageError(
          "A map container unpacks into one map file: uop unpack "
          "FILE.uop MAP.mul.");
    int map = 0;
    const Bytes bytes = mapFileOfContainer(uop, p[0], &map);
    writeFileAtomic(p[1], bytes);
    ctx.report(
        Json::Object{
            {"map", map}, {"file", p[1]}, {"bytes", static_cast<std::uint64_t>(bytes.size())}},
        formatMessage("unpacked map %d (%d bytes) into %s",
                      {std::to_string(map), std::to_string(bytes.size()), p[1]}));
    return 0;
  }
  if (p.size() != 3)
    throw UsageError(
        "A container of slots unpacks into an index and a data file: uop unpack "
        "FILE.uop INDEX DATA.");
  UopForm form = containerForm(p[0]);
  if (form.family == UopFamily::Multi) return unpackMultis(p[0], p[1], p[2], records, ctx);
  if (records) form.minRecords = std::max(form.minRecords, *records);
  IndexedFile files;
  files.loadUop(p[0], form);
  files.save(p[1], p[2]);
  ctx.report(Json::Object{{"records", files.recordCount()}, {"index", p[1]}, {"data", p[2]}},
             formatMessage("unpacked %d records into %s and %s",
                           {std::to_string(files.recordCount()), p[1], p[2]}));
  return 0;
}

int pack(Args& args, Context& ctx) {
  const std::optional<std::int64_t> mapOption = args.intOption("map");
  const auto p = args.positionals(3, 4);
  const auto family = familyOfWord(p[0]);
  if (!family) throw UsageError("KIND is art, gump, sound, multi or map, not '" + p[0] + "'.");
  const std::string& out = p.back();
  if (!isUopPath(out)) throw UsageError("The container to write must be named *.uop: " + out);
  if (*family == UopFamily::Map) {
    if (p.size() != 3)
      throw UsageError(
          "A map packs from one map file: uop pack map MAP.mul "
          "OUT.uop [--map N].");
    const int map = static_cast<int>(
        mapOption.value_or(mapNumberOfName(out).value_or(mapNumberOfName(p[1]).value_or(0))));
    if (map < 0 || map > 9) throw UsageError("--map takes a map number from 0 to 9.");
    const Bytes bytes = readFile(p[1]);
    containerOfMapFile(bytes, map).save(out);
    ctx.report(Json::Object{{"map", map}, {"file", out}},
               formatMessage("packed map %d into %s", {std::to_string(map), out}));
    return 0;
  }
  if (p.size() != 4)
    throw UsageError("A pair packs from its index and data file: uop pack " + p[0] +
                     " INDEX DATA OUT.uop.");
  std::string said;
  if (*family == UopFamily::Multi) {
    TMulti multis;
    multis.load(p[1], p[2]);
    if (const auto saved = multis.saveUop(out)) said = "\n" + *saved;
  } else {
    IndexedFile files;
    files.load(p[1], p[2], StorageMode::Memory);
    files.saveUop(out, uopForm(*family));
  }
  ctx.report(Json::Object{{"kind", p[0]}, {"file", out}}, "packed " + p[0] + " into " + out + said);
  return 0;
}

}  // namespace

std::vector<Command> uopPackCommands() {
  return {
      {"unpack", "FILE.uop INDEX DATA [--records N] | FILE.uop MAP.mul",
       "Writes the MUL files a container stands for: an index and a data file for art, gumps, "
       "sounds and multis (slots back to back in slot order; the index holds the highest slot, "
       "or N records with --records), the map file for a map. Multis are written as 16-byte "
       "components, their flags mapped to the MUL form's; their cliloc lists have no place in "
       "MUL: how many were dropped is reported.",
       unpack},
      {"pack", "KIND INDEX DATA OUT.uop | map MAP.mul OUT.uop [--map N]",
       "Writes a new container of the MUL files (KIND art, gump, sound, multi or map). The map "
       "number comes from --map, else from the file names, else 0. Multi flags are mapped to "
       "the container's; a component whose flags or further value have no counterpart there is "
       "refused, naming it.",
       pack},
  };
}

}  // namespace quillotide::cli
