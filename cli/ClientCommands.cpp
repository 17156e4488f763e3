#include <algorithm>
#include <array>
#include <iomanip>
#include <sstream>

#include "app/ClientFolder.h"
#include "cli/Cli.h"

namespace quillotide::cli {

namespace {

Json filesJson(const ClientFamily& f) {
  Json::Array files;
  for (const ClientFile& file : f.files)
    files.push_back(Json::Object{{"name", file.name},
                                 {"path", file.path},
                                 {"key", file.configKey},
                                 {"size", file.size}});
  return files;
}

Json familyJson(const ClientFamily& f) {
  Json::Array missing;
  for (const std::string& m : f.missing) missing.push_back(m);
  return Json::Object{{"id", f.id},
                      {"family", f.title},
                      {"form", f.found() ? Json(formText(f.form)) : Json(nullptr)},
                      {"files", filesJson(f)},
                      {"size", f.size()},
                      {"missing", missing}};
}

Json facetJson(const ClientFacet& facet) {
  return Json::Object{
      {"facet", facet.number},
      {"width", facet.worldSize ? Json(facet.worldSize->width) : Json(nullptr)},
      {"height", facet.worldSize ? Json(facet.worldSize->height) : Json(nullptr)},
      {"problem", facet.sizeProblem.empty() ? Json(nullptr) : Json(facet.sizeProblem)},
      {"map", familyJson(facet.map)},
      {"statics", familyJson(facet.statics)},
      {"mapDiff", familyJson(facet.mapDiff)},
      {"staticDiff", familyJson(facet.staticDiff)}};
}

// The table in columns, each as wide as its longest entry.
std::string tableText(const ClientScan& scan) {
  std::vector<std::array<std::string, 5>> lines = {{"family", "files", "form", "size", "missing"}};
  for (const ClientTableRow& r : scan.table())
    lines.push_back({r.family, r.files, r.form, r.form == "-" ? "-" : std::to_string(r.size),
                     r.missing});
  std::array<std::size_t, 5> width{};
  for (const auto& l : lines)
    for (std::size_t c = 0; c < l.size(); ++c) width[c] = std::max(width[c], l[c].size());
  std::ostringstream text;
  for (const auto& l : lines) {
    std::ostringstream line;
    for (std::size_t c = 0; c < l.size(); ++c) {
      // Sizes line up on the right, the rest on the left.
      line << (c == 3 ? std::right : std::left) << std::setw(static_cast<int>(width[c])) << l[c]
           << (c + 1 < l.size() ? "  " : "");
    }
    std::string s = line.str();
    while (!s.empty() && s.back() == ' ') s.pop_back();
    text << s << '\n';
  }
  for (const ClientFacet& facet : scan.facets)
    if (facet.worldSize)
      text << "facet " << facet.number << ": " << sizeText(*facet.worldSize) << '\n';
  for (const std::string& note : scan.notes) text << "note: " << note << '\n';
  std::string out = text.str();
  if (!out.empty()) out.pop_back();
  return out;
}

int client(Args& args, Context& ctx) {
  const auto p = args.positionals(1, 1);
  const ClientScan scan = scanClientFolder(p[0]);
  Json::Array families, facets, notes;
  for (const ClientFamily& f : scan.families) families.push_back(familyJson(f));
  for (const ClientFacet& f : scan.facets) facets.push_back(facetJson(f));
  for (const std::string& n : scan.notes) notes.push_back(n);
  ctx.report(Json::Object{{"folder", scan.folder},
                          {"families", families},
                          {"facets", facets},
                          {"notes", notes}},
             tableText(scan));
  return 0;
}

}  // namespace

Group clientGroup() {
  return {"client",
          "Finds the files of a client folder, names compared without regard to case.",
          {{"client", "DIR",
            "Reads DIR once and prints, for every family of files, the file(s) found, their "
            "form (MUL or UOP; a family found in both forms takes the UOP), their size and what "
            "is missing; then the world size of each facet 0 to 5 and what was noticed (names "
            "that differ only in case, map and statics of different worlds).",
            client}}};
}

}  // namespace quillotide::cli
