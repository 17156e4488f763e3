#pragma once
// Where a command takes an index/data pair, one UOP container may stand in its place: the
// commands of the pair families read their positionals through pairPositionals, which gives such
// a container's path twice, so INDEX and DATA both name it. The models read and write a container
// when both paths of a pair are the same .uop file.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/FileIO.h"
#include "app/FileNames.h"
#include "app/IndexedFile.h"
#include "app/Text.h"
#include "app/Uop.h"
#include "app/UopPair.h"
#include "cli/Cli.h"
#include "models/Multi.h"

namespace quillotide::cli {

// The positionals with every .uop word doubled; the count after doubling must lie in min..max
// (UsageError as Args::positionals).
inline std::vector<std::string> pairPositionals(Args& args, std::size_t min,
                                                std::size_t max = SIZE_MAX) {
  std::vector<std::string> out;
  for (std::string& word : args.positionals(0)) {
    if (isUopPath(word)) out.push_back(word);
    out.push_back(std::move(word));
  }
  if (out.size() < min) throw UsageError("Too few arguments.");
  if (out.size() > max) throw UsageError("Too many arguments.");
  return out;
}

// A container is always held in memory, whatever mode the command was asked for.
inline StorageMode pairMode(const std::string& index, const std::string& data, StorageMode mode) {
  return isUopPair(index, data) ? StorageMode::Memory : mode;
}

// How the usage names a pair that may be a container: "ARTIDX ART|ART.uop".
inline std::string pairUsage(const std::string& pair, const std::string& uop) {
  return pair + "|" + uop;
}

// The family the client's name of a container gives (artLegacyMUL.uop, ...), in any case.
inline std::optional<UopFamily> familyOfContainerName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::string name = lowerAscii(path.substr(slash == std::string::npos ? 0 : slash + 1));
  if (name == "artlegacymul.uop") return UopFamily::Art;
  if (name == "gumpartlegacymul.uop") return UopFamily::Gump;
  if (name == "soundlegacymul.uop") return UopFamily::Sound;
  if (name == "multicollection.uop") return UopFamily::Multi;
  return std::nullopt;
}

// The family of a container: from its file name when it is the client's, else from its entries'
// names. Multis are read as plain components (their cliloc lists are not kept by a pair alone).
// Throws Error when neither tells.
inline UopForm containerForm(const std::string& path) {
  std::optional<UopFamily> family = familyOfContainerName(path);
  if (!family) {
    const UopContainer uop = UopContainer::read(path);
    for (const UopEntry& e : uop.entries()) {
      const auto known = uopKnownName(e.hash);
      if (!known) continue;
      if (known->starts_with("build/artlegacymul/")) family = UopFamily::Art;
      if (known->starts_with("build/gumpartlegacymul/")) family = UopFamily::Gump;
      if (known->starts_with("build/soundlegacymul/")) family = UopFamily::Sound;
      if (known->starts_with("build/multicollection/0")) family = UopFamily::Multi;
      if (family) break;
    }
  }
  if (!family)
    throw Error(formatMessage(
        "%s holds no art, gumps, sounds or multis that an index/data pair can stand for.", {path}));
  return *family == UopFamily::Multi ? multiUopForm() : uopForm(*family);
}

// The write target of a command whose pair may be a container: --out-index FILE --out-data FILE
// as takePairTarget takes them, or --out-index FILE.uop alone, which names a container as a .uop
// word names one in the positionals. A container given with another --out-data is refused, so
// that an index is never written under a container's name. Throws UsageError.
inline PairTarget takeUopPairTarget(Args& args) {
  PairTarget target{args.option("out-index"), args.option("out-data")};
  if (target.index && isUopPath(*target.index)) {
    if (target.data && *target.data != *target.index)
      throw UsageError("--out-index " + *target.index +
                       " names a container, which holds the whole pair: leave out --out-data.");
    target.data = target.index;
  }
  if (target.index.has_value() != target.data.has_value())
    throw UsageError("--out-index and --out-data go together.");
  return target;
}
inline constexpr const char* kUopPairTargetUsage =
    "[--out-index FILE --out-data FILE | --out-index FILE.uop]";
// How a command's help says where a container may stand for a pair, read or written.
inline constexpr const char* kUopPairTargetHelp =
    " The output form follows the output paths: one .uop path (NEW.uop, or --out-index NEW.uop) "
    "writes a container, two paths write an index and a data file, whichever form was read.";

// The form of a container to be written from the pair read from `index`/`data`: the form of the
// container read, else the family the target's client name gives (artLegacyMUL.uop, ...), else
// that of the container already at the target. Throws Error when none tells.
inline UopForm targetContainerForm(const std::string& index, const std::string& data,
                                   const std::string& target) {
  if (isUopPair(index, data)) return containerForm(index);
  if (familyOfContainerName(target) || fileExists(target)) return containerForm(target);
  throw Error(formatMessage(
      "%s: a new container takes its family from its name (artLegacyMUL.uop, "
      "gumpartLegacyMUL.uop, soundLegacyMUL.uop or MultiCollection.uop). Nothing was written.",
      {target}));
}

// Before a pair is written as a container (which reads every slot): the slots whose records point
// outside the data file. Without skipDamaged the first one ends the command with DamagedSlotError,
// named as `name` names the slot; with it, `leaveOut` empties each one, and they are returned in
// ascending order.
inline std::vector<std::int64_t> leaveOutDamagedSlots(
    const IndexedFile& files, bool skipDamaged,
    const std::function<std::string(std::int64_t)>& name,
    const std::function<void(std::int64_t)>& leaveOut) {
  std::vector<std::int64_t> damaged;
  const std::uint64_t size = files.dataSize();
  const std::vector<IndexRecord> records = files.records(0, files.recordCount());
  for (std::size_t n = 0; n < records.size(); ++n) {
    const IndexRecord& r = records[n];
    const bool inside = r.lookup >= 0 && static_cast<std::uint64_t>(r.lookup) +
                                             static_cast<std::uint64_t>(r.length) <=
                                         size;
    if (r.isEmpty() || inside) continue;
    const auto slot = static_cast<std::int64_t>(n);
    if (!skipDamaged) {
      const std::string detail = formatMessage(
          "The record (%d, %d) points outside the data file (%d bytes).",
          {std::to_string(r.lookup), std::to_string(r.length), std::to_string(size)});
      throw DamagedSlotError(slot, detail, name(slot) + " is damaged: " + detail);
    }
    damaged.push_back(slot);
  }
  for (const std::int64_t slot : damaged) leaveOut(slot);
  return damaged;
}

// Loads a pair, or the container given as both of its paths (always in memory).
inline void loadPair(IndexedFile& files, const std::string& index, const std::string& data,
                     StorageMode mode) {
  if (isUopPair(index, data))
    files.loadUop(index, containerForm(index));
  else
    files.load(index, data, mode);
}

}  // namespace quillotide::cli
