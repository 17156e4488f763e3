#pragma once
// Where a command takes an index/data pair, one UOP container may stand in its place: the
// commands of the pair families read their positionals through pairPositionals, which gives such
// a container's path twice, so INDEX and DATA both name it. The models read and write a container
// when both paths of a pair are the same .uop file.

#include <string>
#include <vector>

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

// The family of a container: from its file name when it is the client's, else from its entries'
// names. Multis are read as plain components (their cliloc lists are not kept by a pair alone).
// Throws Error when neither tells.
inline UopForm containerForm(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::string name = lowerAscii(path.substr(slash == std::string::npos ? 0 : slash + 1));
  std::optional<UopFamily> family;
  if (name == "artlegacymul.uop") family = UopFamily::Art;
  if (name == "gumpartlegacymul.uop") family = UopFamily::Gump;
  if (name == "soundlegacymul.uop") family = UopFamily::Sound;
  if (name == "multicollection.uop") family = UopFamily::Multi;
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

// Loads a pair, or the container given as both of its paths (always in memory).
inline void loadPair(IndexedFile& files, const std::string& index, const std::string& data,
                     StorageMode mode) {
  if (isUopPair(index, data))
    files.loadUop(index, containerForm(index));
  else
    files.load(index, data, mode);
}

}  // namespace quillotide::cli
