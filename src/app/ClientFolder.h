#pragma once
// A client folder read once: for every family of files the settings page holds, the file(s) of
// that family found in the folder with names compared without case, the form (MUL or UOP), the
// sizes and what is missing; for each facet 0 to 5 its map, statics and diff files and the world
// size they give. A family present both as UOP and as MUL takes the UOP, as the client does, and
// the scan says so; two names differing only in case are named, with the one taken.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/Facet.h"

namespace quillotide {

enum class ClientForm { Mul, Uop };
// "MUL" or "UOP".
std::string formText(ClientForm form);

struct ClientFile {
  std::string configKey;  // the settings key the file fills ("ArtIdx"); empty for none
  std::string name;       // the name as it is in the folder ("Artidx.mul")
  std::string path;       // folder + name
  std::uint64_t size = 0;
};

// One family as found. A UOP family holds one file, filling every config key of the family.
struct ClientFamily {
  std::string id;     // the settings group ("Art", "Gumps", "Map", "Statics", ...)
  std::string title;  // for the table ("Art", "Map 2", "Static diff 2")
  ClientForm form = ClientForm::Mul;
  std::vector<ClientFile> files;     // found, in settings order
  std::vector<std::string> missing;  // names looked for and not there (MUL names when none found)
  bool found() const { return !files.empty(); }
  bool complete() const { return found() && missing.empty(); }
  std::uint64_t size() const;
};

struct ClientFacet {
  int number = 0;
  ClientFamily map;         // id "Map": map%d.mul or map%dLegacyMUL.uop
  ClientFamily statics;     // id "Statics": staidx%d.mul, statics%d.mul
  ClientFamily mapDiff;     // id "MapDiff": mapdifl%d.mul, mapdif%d.mul
  ClientFamily staticDiff;  // id "StaticDiff": stadifl%d.mul, stadifi%d.mul, stadif%d.mul
  // From the map and statics index sizes; nullopt when they give none or disagree.
  std::optional<FacetSize> worldSize;
  // Why the map and statics cannot be opened together (both sizes named); empty when they can.
  std::string sizeProblem;
  bool present() const { return map.found() || statics.found(); }
};

// One line of the table "Find files" and `quillotide-cli client` show.
struct ClientTableRow {
  std::string family;
  std::string files;    // the names found, joined by ", "; "-" when none
  std::string form;     // "MUL", "UOP" or "-"
  std::uint64_t size = 0;
  std::string missing;  // the names not found, joined by ", "
};

struct ClientScan {
  std::string folder;
  // Every family of the settings page except the map and statics (those are per facet), in
  // settings order, then the families with pages of their own (cliloc, fonts, skills, speech,
  // the multimap).
  std::vector<ClientFamily> families;
  std::array<ClientFacet, kFacetCount> facets;
  // UOP taken over MUL, names differing only in case, facets whose files disagree on the size.
  std::vector<std::string> notes;

  // The family of this settings id, the map and statics taken from facet 0; nullptr when unknown.
  const ClientFamily* family(const std::string& id) const;
  // (config key, path) of every file found, the map and statics of `facet`. A UOP family gives
  // its one path for each of its keys.
  std::vector<std::pair<std::string, std::string>> settings(int facet = 0) const;
  // The table: the families, then each facet present with its map, statics and diffs.
  std::vector<ClientTableRow> table() const;
};

// Reads `folder` once. Throws FileError "Cannot open folder %s" (with the reason) when the folder
// cannot be read, and Error "No client file in %s: ..." when none of the names looked for is
// there.
ClientScan scanClientFolder(const std::string& folder);

}  // namespace quillotide
