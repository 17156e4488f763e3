#include <sstream>

#include "app/IndexedFile.h"
#include "app/Text.h"
#include "cli/Cli.h"
#include "cli/PairArgs.h"

namespace quillotide::cli {

namespace {

// A slot of a container whose entry cannot be read carries why; other records carry no such key.
Json recordJson(std::int64_t slot, const IndexRecord& r, const IndexedFile& files) {
  Json::Object o{{"slot", slot},          {"label", hexLabel(static_cast<std::uint32_t>(slot))},
                 {"lookup", r.lookup},    {"length", r.length},
                 {"extra", r.extra},      {"empty", r.isEmpty()}};
  if (const auto why = files.unreadable(slot)) o.emplace_back("unreadable", *why);
  return o;
}

int info(Args& args, Context& ctx) {
  const auto p = pairPositionals(args, 2, 2);
  IndexedFile files;
  loadPair(files, p[0], p[1], StorageMode::Memory);
  std::int64_t full = 0;
  for (std::int64_t i = 0; i < files.recordCount(); ++i) full += files.exists(i) ? 1 : 0;
  const std::int64_t slots = files.recordCount();
  const std::uint64_t tail = files.indexSize() % kIndexRecordSize;
  const auto unreadable = static_cast<std::int64_t>(files.unreadableSlots().size());
  std::ostringstream text;
  text << "slots: " << slots << "\nfull: " << full << "\nempty: " << (slots - full)
       << "\ndata bytes: " << files.dataSize();
  if (tail) text << "\nindex tail bytes (not a whole record): " << tail;
  if (unreadable) text << "\nunreadable (counted as empty): " << unreadable;
  Json::Object json{{"slots", slots},
                    {"full", full},
                    {"empty", slots - full},
                    {"dataBytes", files.dataSize()},
                    {"indexTailBytes", static_cast<std::uint64_t>(tail)}};
  if (unreadable) json.emplace_back("unreadable", unreadable);
  ctx.report(json, text.str());
  return 0;
}

int list(Args& args, Context& ctx) {
  const bool onlyFull = args.flag("full");
  const bool onlyEmpty = args.flag("empty");
  const auto p = pairPositionals(args, 2, 2);
  IndexedFile files;
  loadPair(files, p[0], p[1], StorageMode::Memory);
  Json::Array rows;
  std::ostringstream text;
  for (std::int64_t i = 0; i < files.recordCount(); ++i) {
    const IndexRecord r = *files.record(i);
    if ((onlyFull && r.isEmpty()) || (onlyEmpty && !r.isEmpty())) continue;
    if (ctx.json) {
      rows.push_back(recordJson(i, r, files));
    } else {
      text << hexLabel(static_cast<std::uint32_t>(i)) << ' ' << r.lookup << ' ' << r.length << ' '
           << r.extra;
      if (files.unreadable(i)) text << " unreadable";
      text << '\n';
    }
  }
  ctx.report(rows, text.str());
  return 0;
}

int record(Args& args, Context& ctx) {
  const auto p = pairPositionals(args, 3, 3);
  const std::int64_t slot = parseIntArg(p[2], "SLOT");
  IndexedFile files;
  loadPair(files, p[0], p[1], StorageMode::Memory);
  const auto r = files.record(slot);
  if (!r) throw Error("Slot " + hexLabel(static_cast<std::uint32_t>(slot)) + " lies beyond the index (" +
                      std::to_string(files.recordCount()) + " records).");
  std::ostringstream text;
  text << "slot: " << hexLabel(static_cast<std::uint32_t>(slot)) << "\nlookup: " << r->lookup
       << "\nlength: " << r->length << "\nextra: " << r->extra
       << "\nstate: " << (r->isEmpty() ? "empty" : "full");
  if (const auto why = files.unreadable(slot)) text << "\nunreadable: " << *why;
  ctx.report(recordJson(slot, *r, files), text.str());
  return 0;
}

std::string slotLabel(std::int64_t slot) { return hexLabel(static_cast<std::uint32_t>(slot)); }

int remove(Args& args, Context& ctx) {
  const PairTarget target = takeUopPairTarget(args);
  const auto p = pairPositionals(args, 3, 3);
  const std::int64_t slot = parseIntArg(p[2], "SLOT");
  const std::string outIndex = target.indexPath(p[0]);
  const std::string outData = target.dataPath(p[1]);
  const auto requireSlot = [&](const IndexedFile& files) {
    if (slot < 0 || slot >= files.recordCount())
      throw Error("Slot " + p[2] + " lies beyond the index (" +
                  std::to_string(files.recordCount()) + " records).");
  };
  if (isUopPair(p[0], p[1]) || isUopPair(outIndex, outData)) {
    // A container on either side is read whole and written whole, in the form the target names:
    // a container without the deleted slot's entry, or an index and a data file.
    IndexedFile files;
    loadPair(files, p[0], p[1], StorageMode::Memory);
    requireSlot(files);
    files.deleteSlot(slot);
    if (isUopPair(outIndex, outData))
      files.saveUop(outIndex, targetContainerForm(p[0], p[1], outIndex));
    else
      files.save(outIndex, outData);
    ctx.report(Json::Object{{"deleted", slot}}, "deleted " + slotLabel(slot));
    return 0;
  }
  // The record is written into the index at once; the data file is never rewritten.
  changePairFiles(target, p[0], p[1], [&](const std::string& index, const std::string& data) {
    IndexedFile files;
    files.load(index, data, StorageMode::LowMemory);
    requireSlot(files);
    files.deleteSlot(slot);
  });
  ctx.report(Json::Object{{"deleted", slot}}, "deleted " + slotLabel(slot));
  return 0;
}

int rebuild(Args& args, Context& ctx) {
  const RebuildOptions options = takeRebuildOptions(args);
  const auto p = pairPositionals(args, 4, 4);
  IndexedFile files;
  loadPair(files, p[0], p[1], StorageMode::Memory);
  const bool intoUop = isUopPair(p[2], p[3]);
  const auto skipped = runRebuild(options, [&](Progress& progress, Random& random, bool skip) {
    if (!intoUop) return files.rebuild(p[2], p[3], progress, random, skip);
    // A container holds no dead data and no layout to shuffle: its compacted copy is the slots
    // written as a container.
    const UopForm form = targetContainerForm(p[0], p[1], p[2]);
    auto left = leaveOutDamagedSlots(
        files, skip, [](std::int64_t s) { return "Slot " + slotLabel(s); },
        [&](std::int64_t s) { files.deleteSlot(s); });
    files.saveUop(p[2], form);
    return left;
  });
  const std::string where = intoUop ? p[2] : p[2] + " and " + p[3];
  ctx.report(Json::Object{{"slots", files.recordCount()},
                          {"index", p[2]},
                          {"data", p[3]},
                          {"skipped", skippedJson(skipped)}},
             "rebuilt " + std::to_string(files.recordCount()) + " slots into " + where +
                 skippedText(skipped, slotLabel));
  return 0;
}

}  // namespace

Group indexGroup() {
  return {"index",
          "Any index/data pair (artidx.mul/art.mul, gumpidx.mul/gumpart.mul, ...); a .uop "
          "container of art, gumps, sounds or multis may stand for the pair (INDEX DATA), read or "
          "written. A pair written as a new container takes its family from the container's name "
          "(artLegacyMUL.uop, gumpartLegacyMUL.uop, soundLegacyMUL.uop, MultiCollection.uop).",
          {
              {"info", "INDEX DATA", "Slot count with full and empty counts.", info},
              {"list", "INDEX DATA [--full|--empty]",
               "Every record, one per line; a container's slot whose entry cannot be read ends in "
               "\"unreadable\".",
               list},
              {"record", "INDEX DATA SLOT", "One index record.", record},
              {"delete", "INDEX DATA SLOT " + std::string(kUopPairTargetUsage),
               "Empties a slot (the data stays in the data file; a container loses the slot's "
               "entry)." +
                   std::string(kUopPairTargetHelp),
               remove},
              {"rebuild", "INDEX DATA NEW_INDEX NEW_DATA|NEW.uop [--seed N] [--skip-damaged]",
               "Writes a compacted copy of the pair; --seed makes the layout repeatable, "
               "--skip-damaged leaves out slots whose record points outside the data file. A "
               "container holds no dead data: rebuilt into one, the slots are written as a "
               "container." +
                   std::string(kUopPairTargetHelp),
               rebuild},
          }};
}

}  // namespace quillotide::cli
