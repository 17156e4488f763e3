// The "sound" group: soundidx.mul / sound.mul. Changing commands load the pair, change it and
// write both files back, each replaced whole: over the same paths, or to --out-index/--out-data.

#include <sstream>

#include "app/Text.h"
#include "cli/Cli.h"
#include "cli/OpenArgs.h"
#include "cli/PairArgs.h"
#include "models/Sound.h"

namespace quillotide::cli {

namespace {

std::string label(std::int64_t i) { return hexLabel(static_cast<std::uint32_t>(i)); }

// Opens the pair (or container) in the registry's owner; the registry holds the model.
TSound& loaded(Registry& registry, const std::string& idx, const std::string& mul) {
  openFamily(registry, "Sound", {idx, mul});
  return *registry.sound;
}

int list(Args& args, Context& ctx) {
  const bool onlyFull = args.flag("full");
  const bool onlyEmpty = args.flag("empty");
  const auto p = pairPositionals(args, 2, 2);
  Registry registry;
  const TSound& sound = loaded(registry, p[0], p[1]);
  Json::Array rows;
  std::ostringstream text;
  for (std::int64_t i = 0; i < sound.recordCount(); ++i) {
    const bool full = sound.slotExists(i);
    if ((onlyFull && !full) || (onlyEmpty && full)) continue;
    const auto r = *sound.record(i);
    std::string name;
    std::string problem;
    if (full) {
      try {
        name = sound.soundName(i);
        sound.samples(i);
      } catch (const FormatError& e) {
        problem = e.what();
      }
    }
    const std::int64_t sampleBytes = full && problem.empty() ? r.length - 32 : 0;
    if (ctx.json) {
      rows.push_back(Json::Object{{"slot", i},
                                  {"label", label(i)},
                                  {"exists", full},
                                  {"name", name},
                                  {"sampleBytes", sampleBytes},
                                  {"lookup", r.lookup},
                                  {"length", r.length},
                                  {"extra", r.extra},
                                  {"problem", problem}});
      continue;
    }
    text << label(i);
    if (!full)
      text << " empty\n";
    else if (!problem.empty())
      text << " damaged: " << problem << '\n';
    else
      text << " \"" << name << "\" " << sampleBytes << " sample bytes\n";
  }
  ctx.report(rows, text.str());
  return 0;
}

int exportWave(Args& args, Context& ctx) {
  const auto p = pairPositionals(args, 4, 4);
  const std::int64_t i = parseIntArg(p[2], "SLOT");
  Registry registry;
  const TSound& sound = loaded(registry, p[0], p[1]);
  if (!sound.exportWave(i, p[3]))
    throw Error(formatMessage("Sound %s is empty; nothing was exported.", {label(i)}));
  const auto bytes = static_cast<std::int64_t>(sound.samples(i)->size());
  ctx.report(Json::Object{{"slot", i}, {"file", p[3]}, {"sampleBytes", bytes}},
             "exported " + label(i) + " (" + std::to_string(bytes) + " sample bytes) to " + p[3]);
  return 0;
}

int importWave(Args& args, Context& ctx) {
  const PairTarget target = takePairTarget(args);
  const auto p = pairPositionals(args, 4, 4);
  const std::int64_t i = parseIntArg(p[2], "SLOT");
  Registry registry;
  TSound& sound = loaded(registry, p[0], p[1]);
  sound.importWave(i, p[3]);
  saveFamily(registry, "Sound", {target.indexPath(p[0]), target.dataPath(p[1])});
  const auto bytes = static_cast<std::int64_t>(sound.samples(i)->size());
  ctx.report(
      Json::Object{{"slot", i}, {"file", p[3]}, {"sampleBytes", bytes}},
      "imported " + p[3] + " into " + label(i) + " (" + std::to_string(bytes) + " sample bytes)");
  return 0;
}

int remove(Args& args, Context& ctx) {
  const PairTarget target = takePairTarget(args);
  const auto p = pairPositionals(args, 3, 3);
  const std::int64_t i = parseIntArg(p[2], "SLOT");
  Registry registry;
  TSound& sound = loaded(registry, p[0], p[1]);
  if (i < 0 || i >= sound.recordCount())
    throw Error(formatMessage("Sound slot %s lies beyond the index (%d slots).",
                              {p[2], std::to_string(sound.recordCount())}));
  sound.deleteSlot(i);
  saveFamily(registry, "Sound", {target.indexPath(p[0]), target.dataPath(p[1])});
  ctx.report(Json::Object{{"deleted", i}}, "deleted " + label(i));
  return 0;
}

int save(Args& args, Context& ctx) {
  const auto p = pairPositionals(args, 4, 4);
  Registry registry;
  const TSound& sound = loaded(registry, p[0], p[1]);
  saveFamily(registry, "Sound", {p[2], p[3]});
  ctx.report(Json::Object{{"slots", sound.recordCount()}, {"index", p[2]}, {"data", p[3]}},
             "saved " + std::to_string(sound.recordCount()) + " slots to " + p[2] + " and " + p[3]);
  return 0;
}

}  // namespace

Group soundGroup() {
  const std::string files = "SOUNDIDX SOUND";
  const std::string out = std::string(" ") + kPairTargetUsage;
  return {
      "sound",
      "Sound effects of soundidx.mul / sound.mul; soundLegacyMUL.uop may stand for the pair "
      "(SOUNDIDX SOUND) wherever one is read or written.",
      {
          {"list", files + " [--full|--empty]", "Every slot with its name and size.", list},
          {"export", files + " SLOT FILE", "Writes a slot as a 16-bit PCM wave file.", exportWave},
          {"import", files + " SLOT FILE" + out,
           "Reads a 16-bit PCM wave file into a slot and writes the files back.", importWave},
          {"delete", files + " SLOT" + out, "Empties a slot and writes the files back.", remove},
          {"save", files + " NEW_INDEX NEW_DATA", "Loads the pair and saves it to new files.",
           save},
      }};
}

}  // namespace quillotide::cli
