#pragma once
// The commands shared by the picture pairs (gumps, textures, light): list, show, export, import,
// delete, save and rebuild. Each group supplies a Traits class that maps them to its model.
// Every command opens the pair through the owner of open files of a registry of its own (its
// family is kFamily); changing commands change it and save it to the write target (cli/Cli.h),
// each file replaced whole (or, with --low-memory where the model has it, write the change into the
// files at once).

#include <sstream>

#include "app/Image.h"
#include "app/IndexedFile.h"
#include "app/Progress.h"
#include "app/Random.h"
#include "app/Text.h"
#include "cli/Cli.h"
#include "cli/OpenArgs.h"
#include "cli/PairArgs.h"

namespace quillotide::cli {

// The rebuild every index/data picture family does the same way; a family's traits derive from
// it and add what differs.
template <class M>
struct PairSaveAndRebuild {
  using Model = M;
  static std::vector<std::int64_t> rebuild(const Model& m, const std::string& idx,
                                           const std::string& mul, Progress& progress,
                                           Random& random, bool skipDamaged) {
    return m.rebuild(idx, mul, progress, random, skipDamaged);
  }
};

// Traits provide:
//   using Model; kGroup, kSummary, kNoun ("Gump"), kFiles ("GUMPIDX GUMPART"), kLowMemory (bool)
//   kFamily (the owner's id: "Gumps"), model(Registry&) -> the registry's model of the family,
//   count, exists, size(Model, i) -> pair<int,int>,
//   picture(Model, i, std::string* problem), write(Model&, i, path) -> optional<string> warning,
//   remove(Model&, i),
//   rebuild(Model, idx, mul, Progress&, Random&, skipDamaged) -> slots left out
//   and, for a family with containers, kUop (its open and save read and write a container given
//   as the same .uop path for both files)
// (rebuild usually from PairSaveAndRebuild)
template <class Traits>
struct PictureSlotCommands {
  using Model = typename Traits::Model;

  static std::string label(std::int64_t i) { return hexLabel(static_cast<std::uint32_t>(i)); }

  // A family whose traits say kUop takes one .uop container for each of its pairs.
  static std::vector<std::string> positionals(Args& args, std::size_t min, std::size_t max) {
    if constexpr (requires { Traits::kUop; }) return pairPositionals(args, min, max);
    return args.positionals(min, max);
  }

  // A family with containers takes a container as its write target too.
  static PairTarget targetOf(Args& args) {
    if constexpr (requires { Traits::kUop; }) return takeUopPairTarget(args);
    return takePairTarget(args);
  }

  static StorageMode modeOf(Args& args) {
    if constexpr (Traits::kLowMemory) {
      if (args.flag("low-memory")) return StorageMode::LowMemory;
    }
    return StorageMode::Memory;
  }

  // Opens the pair in the registry's owner (Low Memory as asked, where the family has it).
  static Model& open(Registry& registry, const std::string& idx, const std::string& mul,
                     StorageMode mode) {
    registry.lowMemory = mode == StorageMode::LowMemory;
    openFamily(registry, Traits::kFamily, {idx, mul});
    return Traits::model(registry);
  }

  static void requireSlot(const Model& m, std::int64_t i, const std::string& text) {
    if (i < 0 || i >= Traits::count(m))
      throw Error(formatMessage("%s slot %s lies beyond the index (%d slots).",
                                {Traits::kNoun, text, std::to_string(Traits::count(m))}));
  }

  static Json slotJson(const Model& m, std::int64_t i) {
    const auto [w, h] = Traits::size(m, i);
    const bool full = Traits::exists(m, i);
    const auto r = m.record(i);
    return Json::Object{{"slot", i},
                        {"label", label(i)},
                        {"exists", full},
                        {"width", full ? w : 0},
                        {"height", full ? h : 0},
                        {"lookup", r ? r->lookup : -1},
                        {"length", r ? r->length : -1},
                        {"extra", r ? r->extra : -1}};
  }

  static int list(Args& args, Context& ctx) {
    const bool onlyFull = args.flag("full");
    const bool onlyEmpty = args.flag("empty");
    const auto p = positionals(args, 2, 2);
    Registry registry;
    Model& m = open(registry, p[0], p[1], StorageMode::Memory);
    Json::Array rows;
    std::ostringstream text;
    for (std::int64_t i = 0; i < Traits::count(m); ++i) {
      const bool full = Traits::exists(m, i);
      if ((onlyFull && !full) || (onlyEmpty && full)) continue;
      if (ctx.json) {
        rows.push_back(slotJson(m, i));
        continue;
      }
      text << label(i);
      if (full) {
        const auto [w, h] = Traits::size(m, i);
        text << ' ' << w << 'x' << h << ' ' << m.record(i)->length << " bytes\n";
      } else {
        text << " empty\n";
      }
    }
    ctx.report(rows, text.str());
    return 0;
  }

  static int show(Args& args, Context& ctx) {
    const auto p = positionals(args, 3, 3);
    const std::int64_t i = parseIntArg(p[2], "SLOT");
    Registry registry;
    Model& m = open(registry, p[0], p[1], StorageMode::Memory);
    requireSlot(m, i, p[2]);
    const auto r = *m.record(i);
    std::string state = Traits::exists(m, i) ? "full" : "empty";
    std::string problem;
    if (Traits::exists(m, i)) {
      try {
        Traits::picture(m, i, &problem);
      } catch (const FormatError& e) {
        problem = e.what();
      }
      if (!problem.empty()) state = "damaged";
    }
    const auto [w, h] = Traits::size(m, i);
    std::ostringstream text;
    text << "slot: " << label(i) << "\nstate: " << state << "\nsize: " << w << 'x' << h
         << "\nlookup: " << r.lookup << "\nlength: " << r.length << "\nextra: " << r.extra;
    if (!problem.empty()) text << "\nproblem: " << problem;
    ctx.report(Json::Object{{"slot", slotJson(m, i)}, {"state", state}, {"problem", problem}},
               text.str());
    return 0;
  }

  static int exportPicture(Args& args, Context& ctx) {
    const auto p = positionals(args, 4, 4);
    const std::int64_t i = parseIntArg(p[2], "SLOT");
    Registry registry;
    Model& m = open(registry, p[0], p[1], StorageMode::Memory);
    if (!Traits::exists(m, i))
      throw Error(
          formatMessage("%s %s is empty; nothing was exported.", {Traits::kNoun, label(i)}));
    imageFormatOf(p[3]);  // an unknown extension is refused before anything is decoded
    std::string problem;
    const Bitmap32 picture = Traits::picture(m, i, &problem);
    writeImageFile(p[3], picture);
    std::string text = "exported " + label(i) + " (" + std::to_string(picture.width) + "x" +
                       std::to_string(picture.height) + ") to " + p[3];
    if (!problem.empty()) text += "\nwarning: " + problem;
    ctx.report(Json::Object{{"slot", i},
                            {"file", p[3]},
                            {"width", picture.width},
                            {"height", picture.height},
                            {"warning", problem}},
               text);
    return 0;
  }

  // Loads the pair, applies the change and writes it to the target: memory mode replaces both
  // target files whole, low-memory mode writes the change into the files (or working copies of
  // them) at once.
  template <class Change>
  static void changePair(const PairTarget& target, const std::vector<std::string>& p,
                         StorageMode mode, Change change) {
    // A container, read or written, is always held in memory.
    if (pairMode(p[0], p[1], mode) == StorageMode::Memory ||
        isUopPair(target.indexPath(p[0]), target.dataPath(p[1]))) {
      Registry registry;
      change(open(registry, p[0], p[1], StorageMode::Memory));
      saveFamily(registry, Traits::kFamily, {target.indexPath(p[0]), target.dataPath(p[1])});
      return;
    }
    changePairFiles(target, p[0], p[1], [&](const std::string& index, const std::string& data) {
      // Every change goes into the open files at once: nothing is left to save.
      Registry registry;
      change(open(registry, index, data, mode));
    });
  }

  static int importPicture(Args& args, Context& ctx) {
    const StorageMode mode = modeOf(args);
    const PairTarget target = targetOf(args);
    const auto p = positionals(args, 4, 4);
    const std::int64_t i = parseIntArg(p[2], "SLOT");
    std::optional<std::string> warning;
    std::pair<int, int> size;
    changePair(target, p, mode, [&](Model& m) {
      warning = Traits::write(m, i, p[3]);
      size = Traits::size(m, i);
    });
    std::string text = "imported " + p[3] + " into " + label(i);
    if (warning) text += "\nwarning: " + *warning;
    ctx.report(Json::Object{{"slot", i},
                            {"file", p[3]},
                            {"width", size.first},
                            {"height", size.second},
                            {"warning", warning ? *warning : std::string()}},
               text);
    return 0;
  }

  static int remove(Args& args, Context& ctx) {
    const StorageMode mode = modeOf(args);
    const PairTarget target = targetOf(args);
    const auto p = positionals(args, 3, 3);
    const std::int64_t i = parseIntArg(p[2], "SLOT");
    changePair(target, p, mode, [&](Model& m) {
      requireSlot(m, i, p[2]);
      Traits::remove(m, i);
    });
    ctx.report(Json::Object{{"deleted", i}}, "deleted " + label(i));
    return 0;
  }

  static int save(Args& args, Context& ctx) {
    const auto p = positionals(args, 4, 4);
    Registry registry;
    Model& m = open(registry, p[0], p[1], StorageMode::Memory);
    saveFamily(registry, Traits::kFamily, {p[2], p[3]});
    ctx.report(Json::Object{{"slots", Traits::count(m)}, {"index", p[2]}, {"data", p[3]}},
               "saved " + std::to_string(Traits::count(m)) + " slots to " + p[2] + " and " + p[3]);
    return 0;
  }

  static int rebuild(Args& args, Context& ctx) {
    const RebuildOptions options = takeRebuildOptions(args);
    const auto p = positionals(args, 4, 4);
    Registry registry;
    Model& m = open(registry, p[0], p[1], StorageMode::Memory);
    bool intoUop = false;
    if constexpr (requires { Traits::kUop; }) intoUop = isUopPair(p[2], p[3]);
    const auto skipped = runRebuild(options, [&](Progress& progress, Random& random, bool skip) {
      if (!intoUop) return Traits::rebuild(m, p[2], p[3], progress, random, skip);
      // A container holds no dead data and no layout to shuffle: its compacted copy is the
      // slots written as a container.
      auto left = leaveOutDamagedSlots(
          m.files(), skip, [](std::int64_t i) { return std::string(Traits::kNoun) + " " + label(i); },
          [&](std::int64_t i) { Traits::remove(m, i); });
      saveFamily(registry, Traits::kFamily, {p[2], p[3]});
      return left;
    });
    const std::string where = intoUop ? p[2] : p[2] + " and " + p[3];
    ctx.report(Json::Object{{"slots", Traits::count(m)},
                            {"index", p[2]},
                            {"data", p[3]},
                            {"skipped", skippedJson(skipped)}},
               "rebuilt " + std::to_string(Traits::count(m)) + " slots into " + where +
                   skippedText(skipped, label));
    return 0;
  }

  static Group group() {
    const std::string files = Traits::kFiles;
    const std::string lowMemory = Traits::kLowMemory ? "[--low-memory] " : "";
    constexpr bool kContainers = requires { Traits::kUop; };
    const std::string out = kContainers ? kUopPairTargetUsage : kPairTargetUsage;
    const std::string newFiles = kContainers ? "NEW_INDEX NEW_DATA|NEW.uop" : "NEW_INDEX NEW_DATA";
    const std::string uopHelp = kContainers ? kUopPairTargetHelp : "";
    return {
        Traits::kGroup,
        Traits::kSummary,
        {
            {"list", files + " [--full|--empty]", "Every slot with its size, one per line.", list},
            {"show", files + " SLOT", "One slot's record, size and whether it decodes.", show},
            {"export", files + " SLOT FILE",
             "Writes a slot's picture as BMP or PNG (by extension).", exportPicture},
            {"import", lowMemory + files + " SLOT FILE " + out,
             "Encodes a BMP or PNG into a slot and writes the files back." + uopHelp,
             importPicture},
            {"delete", lowMemory + files + " SLOT " + out,
             "Empties a slot (its data stays until a rebuild) and writes the files back." +
                 uopHelp,
             remove},
            {"save", files + " " + newFiles, "Loads the pair and saves it to new files." + uopHelp,
             save},
            {"rebuild", files + " " + newFiles + " [--seed N] [--skip-damaged]",
             "Writes a compacted copy of the pair; --seed makes the layout repeatable, "
             "--skip-damaged leaves out slots whose record points outside the data file." +
                 std::string(kContainers ? " A container holds no dead data: rebuilt into one, "
                                           "the slots are written as a container." +
                                               uopHelp
                                         : ""),
             rebuild},
        }};
  }
};

}  // namespace quillotide::cli
