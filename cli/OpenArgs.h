#pragma once
// Commands open and save game files as the program does: through the owner of open files of a
// registry of their own (Registry::openFiles). Nothing is open in a command's registry before it
// opens its files, so no question about unsaved edits comes up; the fixed answer is Cancel, so
// that a step that would pass edits by does nothing rather than drop them.

#include <optional>
#include <string>
#include <vector>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Progress.h"
#include "app/UopPair.h"
#include "models/Tiledata.h"
#include "registry/OpenFiles.h"
#include "registry/Registry.h"

namespace quillotide::cli {

// The paths the owner takes for the files a command names: a container given as both paths of a
// pair (as pairPositionals and takeUopPairTarget give it) is its one path.
inline std::vector<std::string> ownerPaths(const std::vector<std::string>& paths) {
  if (paths.size() == 2 && isUopPair(paths[0], paths[1])) return {paths[0]};
  return paths;
}

// Opens the files in the family `id` ("Hues", "Art", ...) of the registry; returns what the model
// said after the load. Throws as the family's load does (the family stays closed).
inline FamilyOps::Message openFamily(Registry& r, const std::string& id,
                                     const std::vector<std::string>& paths,
                                     const OpenSize& size = {}) {
  OpenFiles::FixedAnswer answers(OpenFiles::Answer::Cancel);
  return r.openFiles().open(id, ownerPaths(paths), size, answers).said;
}

// Saves the open family into the targets: its own files are a save, other files a save as after
// which the family stays bound to its own files. Returns what the save said. Throws Error when
// the family is not open, as its writer throws, or when the save could not run because another
// family of the registry holds a target with edits of its own.
inline FamilyOps::Message saveFamily(Registry& r, const std::string& id,
                                     const std::vector<std::string>& targets, Progress& progress) {
  const std::vector<std::string> files = ownerPaths(targets);
  OpenFiles& owner = r.openFiles();
  if (const OpenFiles::Opened* o = owner.opened(id); o && o->paths.size() == files.size()) {
    bool own = true;
    for (std::size_t i = 0; own && i < files.size(); ++i) own = sameTarget(files[i], o->paths[i]);
    if (own) return owner.save(id, progress);
  }
  // A family that takes containers writes the form its targets name.
  const FamilyOps* family = OpenFiles::family(id);
  const std::optional<bool> asUop = family && family->takesUop && !files.empty()
                                        ? std::optional<bool>(isUopPath(files[0]))
                                        : std::nullopt;
  OpenFiles::FixedAnswer answers(OpenFiles::Answer::Cancel);
  const OpenFiles::SaveResult result =
      owner.saveAs(id, files, asUop, answers, progress, /*rebind=*/false);
  if (!result.ran) throw Error("Nothing was saved: another open file holds unsaved edits.");
  return result.said;
}

inline FamilyOps::Message saveFamily(Registry& r, const std::string& id,
                                     const std::vector<std::string>& targets) {
  Progress silent;
  return saveFamily(r, id, targets, silent);
}

// Opens the tile data file in the registry's owner; the registry holds the model. The owner's
// load lets the file choose its layout: a layout given on the command line is read by the model,
// and the owner is told of the file it holds, so that its saves go the usual way. Throws as the
// load does.
inline TTiledata& openTiledata(Registry& r, const std::string& path,
                               std::optional<TiledataLayout> layout) {
  if (!layout) {
    openFamily(r, "Tiledata", {path});  // reports a missing or short file in the usual words
    return *r.tiledata;
  }
  r.tiledata->load(path, layout);
  r.openFiles().adopt("Tiledata", {path}, {});
  return *r.tiledata;
}

}  // namespace quillotide::cli
