#include "app/ClientFolder.h"

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/FileNames.h"
#include "app/Text.h"
#include "app/UopPair.h"

namespace quillotide {

namespace {

struct Wanted {
  std::string configKey;
  std::string name;  // as the program writes it
};

// A family of files the client keeps under fixed names.
struct FamilyNames {
  std::string id;
  std::string title;
  std::vector<Wanted> mul;
  std::string uop;  // the UOP that replaces the MUL files; empty when there is none
};

// In the order of the settings page; the map and statics are per facet, below.
const std::vector<FamilyNames>& familyNames() {
  static const std::vector<FamilyNames> names = {
      {"Anim", "Animations", {{"AnimIdx", "anim.idx"}, {"AnimMul", "anim.mul"}}, ""},
      {"Verdata", "Verdata", {{"Verdata", "verdata.mul"}}, ""},
      {"Gumps", "Gumps", {{"GumpIdx", "gumpidx.mul"}, {"GumpMul", "gumpart.mul"}},
       "gumpartLegacyMUL.uop"},
      {"Art", "Art", {{"ArtIdx", "artidx.mul"}, {"ArtMul", "art.mul"}}, "artLegacyMUL.uop"},
      {"Textures", "Textures", {{"TexIdx", "texidx.mul"}, {"TexMul", "texmaps.mul"}}, ""},
      {"Radarcol", "Radarcol", {{"RadarCol", "radarcol.mul"}}, ""},
      {"Light", "Light", {{"LightIdx", "lightidx.mul"}, {"LightMul", "light.mul"}}, ""},
      {"Tiledata", "Tiledata", {{"Tiledata", "tiledata.mul"}}, ""},
      {"Anim2", "Anim2", {{"Anim2Idx", "anim2.idx"}, {"Anim2Mul", "anim2.mul"}}, ""},
      {"Anim3", "Anim3", {{"Anim3Idx", "anim3.idx"}, {"Anim3Mul", "anim3.mul"}}, ""},
      {"Anim4", "Anim4", {{"Anim4Idx", "anim4.idx"}, {"Anim4Mul", "anim4.mul"}}, ""},
      {"Anim5", "Anim5", {{"Anim5Idx", "anim5.idx"}, {"Anim5Mul", "anim5.mul"}}, ""},
      {"Animdata", "Animdata", {{"Animdata", "animdata.mul"}}, ""},
      {"Hues", "Hues", {{"Hues", "hues.mul"}}, ""},
      {"Sound", "Sound", {{"SoundIdx", "soundidx.mul"}, {"SoundMul", "sound.mul"}},
       "soundLegacyMUL.uop"},
      {"Multis", "Multis", {{"MultiIdx", "multi.idx"}, {"MultiMul", "multi.mul"}},
       "MultiCollection.uop"},
      {"Progress", "Progress", {{"ProgressIdx", "Progress.idx"}, {"ProgressMul", "Progress.mul"}},
       ""},
      {"Cliloc", "Cliloc", {{"Cliloc", "Cliloc.enu"}}, ""},
      {"Fonts", "Fonts", {{"Fonts", "fonts.mul"}}, ""},
      {"Unifont", "Unifont", {{"Unifont", "unifont.mul"}}, ""},
      {"Skills", "Skills", {{"SkillsIdx", "skills.idx"}, {"SkillsMul", "skills.mul"}}, ""},
      {"SkillGroups", "Skill groups", {{"SkillGroups", "skillgrp.mul"}}, ""},
      {"Speech", "Speech", {{"Speech", "speech.mul"}}, ""},
      {"Multimap", "Multimap", {{"Multimap", "Multimap.rle"}}, ""},
  };
  return names;
}

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& n : names) text += (text.empty() ? "" : ", ") + n;
  return text;
}

class Finder {
public:
  Finder(const FolderNames& names, std::vector<std::string>& notes)
      : m_names(names), m_notes(notes) {}

  std::optional<ClientFile> find(const std::string& configKey, const std::string& name) {
    const auto found = m_names.find(name);
    if (!found) return std::nullopt;
    const std::string clash = found->clashNote(m_names.folder());
    if (!clash.empty()) m_notes.push_back(clash);
    return ClientFile{configKey, found->name, found->path, fileSize(found->path)};
  }

  ClientFamily family(const FamilyNames& f) {
    ClientFamily out;
    out.id = f.id;
    out.title = f.title;
    std::vector<ClientFile> mul;
    for (const Wanted& w : f.mul) {
      if (auto file = find(w.configKey, w.name))
        mul.push_back(*file);
      else
        out.missing.push_back(w.name);
    }
    std::optional<ClientFile> uop;
    if (!f.uop.empty()) uop = find(f.mul.front().configKey, f.uop);
    if (!uop) {
      out.files = std::move(mul);
      return out;
    }
    // The client reads the UOP and leaves the MUL files beside it alone.
    if (!mul.empty()) {
      std::vector<std::string> left;
      for (const ClientFile& m : mul) left.push_back(m.name);
      m_notes.push_back(formatMessage("%s: %s was taken rather than %s, as the client reads the UOP.",
                                      {f.title, uop->name, joined(left)}));
    }
    out.form = ClientForm::Uop;
    out.files = {*uop};
    out.missing.clear();
    return out;
  }

private:
  const FolderNames& m_names;
  std::vector<std::string>& m_notes;
};

ClientFacet scanFacet(Finder& finder, int n, std::vector<std::string>& notes) {
  const FacetNames names = facetNames(n);
  const std::string number = std::to_string(n);
  ClientFacet facet;
  facet.number = n;
  facet.map = finder.family({"Map", "Map " + number, {{"Map", names.map}}, names.mapUop});
  facet.statics = finder.family({"Statics", "Statics " + number,
                                 {{"StaticIdx", names.staticIndex}, {"StaticMul", names.statics}},
                                 ""});
  facet.mapDiff = finder.family(
      {"MapDiff", "Map diff " + number, {{"", names.mapDiffList}, {"", names.mapDiff}}, ""});
  facet.staticDiff = finder.family({"StaticDiff",
                                    "Static diff " + number,
                                    {{"", names.staticDiffList},
                                     {"", names.staticDiffIndex},
                                     {"", names.staticDiff}},
                                    ""});
  std::optional<std::uint64_t> mapBytes, indexBytes;
  std::string mapName = names.map, indexName = names.staticIndex;
  if (facet.map.found()) {
    mapName = facet.map.files.front().name;
    if (facet.map.form == ClientForm::Mul) {
      mapBytes = facet.map.files.front().size;
    } else {
      // A UOP map's world is the map file its chunks hold, not the container's length.
      try {
        mapBytes = uopMapFileBytes(facet.map.files.front().path);
      } catch (const Error& e) {
        notes.push_back(e.what());
      }
    }
  }
  for (const ClientFile& f : facet.statics.files)
    if (f.configKey == "StaticIdx") {
      indexBytes = f.size;
      indexName = f.name;
    }
  try {
    facet.worldSize = facetWorldSize(n, mapBytes, indexBytes, mapName, indexName);
  } catch (const Error& e) {
    facet.sizeProblem = e.what();
    notes.push_back(facet.sizeProblem);
  }
  return facet;
}

ClientTableRow rowOf(const ClientFamily& f, const std::string& uopName = {}) {
  ClientTableRow row;
  row.family = f.title;
  std::vector<std::string> names;
  for (const ClientFile& file : f.files) names.push_back(file.name);
  row.files = names.empty() ? "-" : joined(names);
  row.form = f.found() ? formText(f.form) : "-";
  row.size = f.size();
  row.missing = joined(f.missing);
  if (!f.found() && !uopName.empty()) row.missing += " (or " + uopName + ")";
  return row;
}

}  // namespace

std::string formText(ClientForm form) { return form == ClientForm::Uop ? "UOP" : "MUL"; }

std::uint64_t ClientFamily::size() const {
  std::uint64_t total = 0;
  for (const ClientFile& f : files) total += f.size;
  return total;
}

const ClientFamily* ClientScan::family(const std::string& id) const {
  if (id == "Map") return &facets[0].map;
  if (id == "Statics") return &facets[0].statics;
  for (const ClientFamily& f : families)
    if (f.id == id) return &f;
  return nullptr;
}

std::vector<std::pair<std::string, std::string>> ClientScan::settings(int facet) const {
  checkFacet(facet);
  std::vector<std::pair<std::string, std::string>> out;
  const auto add = [&](const ClientFamily& f) {
    if (f.form == ClientForm::Uop) {
      for (const FamilyNames& names : familyNames())
        if (names.id == f.id)
          for (const Wanted& w : names.mul) out.emplace_back(w.configKey, f.files.front().path);
      if (f.id == "Map") out.emplace_back("Map", f.files.front().path);
      return;
    }
    for (const ClientFile& file : f.files)
      if (!file.configKey.empty()) out.emplace_back(file.configKey, file.path);
  };
  for (const ClientFamily& f : families) add(f);
  add(facets[static_cast<std::size_t>(facet)].map);
  add(facets[static_cast<std::size_t>(facet)].statics);
  return out;
}

std::vector<ClientTableRow> ClientScan::table() const {
  std::vector<ClientTableRow> rows;
  for (const ClientFamily& f : families) {
    std::string uop;
    for (const FamilyNames& names : familyNames())
      if (names.id == f.id) uop = names.uop;
    rows.push_back(rowOf(f, uop));
  }
  for (const ClientFacet& facet : facets) {
    if (facet.number != 0 && !facet.present() && !facet.mapDiff.found() &&
        !facet.staticDiff.found())
      continue;
    rows.push_back(rowOf(facet.map, facetNames(facet.number).mapUop));
    rows.push_back(rowOf(facet.statics));
    // Diffs are optional: a row only for those that are there.
    if (facet.mapDiff.found()) rows.push_back(rowOf(facet.mapDiff));
    if (facet.staticDiff.found()) rows.push_back(rowOf(facet.staticDiff));
  }
  return rows;
}

ClientScan scanClientFolder(const std::string& folder) {
  const FolderNames names(folder);
  ClientScan scan;
  scan.folder = folder;
  Finder finder(names, scan.notes);
  bool any = false;
  for (const FamilyNames& f : familyNames()) {
    scan.families.push_back(finder.family(f));
    any = any || scan.families.back().found();
  }
  for (int n = 0; n < kFacetCount; ++n) {
    ClientFacet& facet = scan.facets[static_cast<std::size_t>(n)];
    facet = scanFacet(finder, n, scan.notes);
    any = any || facet.present() || facet.mapDiff.found() || facet.staticDiff.found();
  }
  if (!any)
    throw Error(formatMessage(
        "No client file in %s: none of the names looked for (art.mul, map0.mul, tiledata.mul, "
        "artLegacyMUL.uop, ...) is there.",
        {folder}));
  return scan;
}

}  // namespace quillotide
