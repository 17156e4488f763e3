// The "shared" group: a world a team edits together, held in a PostgreSQL database. The commands
// lay one out, fill it from a client folder, write its files back, show who may do what and what
// was done, and take a step back. Passwords never come from the command line: libpq reads its
// password file, service file and PGPASSWORD itself, and a terminal is asked when those give none.

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <iostream>
#include <optional>
#include <set>

#include "app/ClientFolder.h"
#include "app/Progress.h"
#include "app/Text.h"
#include "cli/Cli.h"
#include "app/Facet.h"
#include "app/Uop.h"
#include "app/UopPair.h"
#include "world/Item.h"
#include "world/Map.h"
#include "world/SharedWorld.h"

namespace quillotide::cli {

namespace {

// Asks for the password on the terminal with echo off; nullopt when no one sits at one (a
// script, a pipe), so the login fails with the server's own message instead of waiting.
std::optional<std::string> askOnTerminal(const std::string& prompt) {
  if (!isatty(STDIN_FILENO)) return std::nullopt;
  const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  termios saved{};
  const bool quiet = tcgetattr(fd, &saved) == 0;
  if (quiet) {
    termios silent = saved;
    silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(fd, TCSAFLUSH, &silent);
  }
  const std::string ask = prompt + " ";
  [[maybe_unused]] const ssize_t shown = ::write(fd, ask.data(), ask.size());
  std::string line;
  bool ended = false;
  char c = 0;
  while (true) {
    const ssize_t n = ::read(fd, &c, 1);
    if (n <= 0) break;
    if (c == '\n' || c == '\r') {
      ended = true;
      break;
    }
    line.push_back(c);
  }
  if (quiet) tcsetattr(fd, TCSAFLUSH, &saved);
  [[maybe_unused]] const ssize_t newline = ::write(fd, "\n", 1);
  ::close(fd);
  if (!ended && line.empty()) return std::nullopt;
  return line;
}

const PgConnection::AskPassword kAsk = askOnTerminal;

// The percentage of a long command on the terminal's stderr, rewritten in place; nothing when
// stderr is no terminal (a log file, a test), so the output stays the report alone.
class TerminalProgress : public Progress {
public:
  TerminalProgress(const Context& ctx, std::string label)
      : m_label(std::move(label)), m_shown(ctx.err == &std::cerr && isatty(STDERR_FILENO)) {}
  void step(int percent) override {
    if (m_shown) std::cerr << '\r' << m_label << ' ' << percent << "%" << std::flush;
  }
  void finish() override {
    if (m_shown) std::cerr << '\r' << std::string(m_label.size() + 6, ' ') << '\r' << std::flush;
  }

private:
  std::string m_label;
  bool m_shown;
};

std::string num(std::int64_t v) { return std::to_string(v); }

std::string joined(const std::vector<std::string>& names) {
  if (names.empty()) return "-";
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
  return out;
}

int facetOption(Args& args) {
  const auto facet = args.intOption("facet");
  if (!facet) throw UsageError("Give the facet with --facet N.");
  checkFacet(*facet);
  return static_cast<int>(*facet);
}

std::int64_t stepArg(const std::string& text) {
  const std::int64_t step = parseIntArg(text, "STEP");
  if (step < 1) throw UsageError("A step number is 1 or more, not " + text + ".");
  return step;
}

Json stepJson(const SharedStepInfo& s) {
  return Json::Object{{"id", s.id},
                      {"facet", s.facet},
                      {"builder", s.builder},
                      {"at", s.at},
                      {"name", s.name},
                      {"kind", sharedStepKindText(s.kind)},
                      {"reverts", s.reverts > 0 ? Json(s.reverts) : Json(nullptr)},
                      {"cells", s.cells},
                      {"statics", s.statics},
                      {"rect", Json::Array{s.x0, s.y0, s.x1, s.y1}}};
}

// "12  2026-12-10T14:02:11+00  anna  facet 0  Place static  (3 statics, 0 cells,
// 1432,1650-1433,1651)", with the step a revert or undo takes back.
std::string stepLine(const SharedStepInfo& s) {
  std::string what = num(s.statics) + (s.statics == 1 ? " static, " : " statics, ") + num(s.cells) +
                     (s.cells == 1 ? " cell" : " cells");
  if (s.cells + s.statics > 0)
    what += ", " + num(s.x0) + "," + num(s.y0) + "-" + num(s.x1) + "," + num(s.y1);
  if (s.reverts > 0)
    what += std::string("; ") + (s.kind == SharedStepKind::Undo ? "undoes" : "takes back") +
            " step " + num(s.reverts);
  return num(s.id) + "  " + s.at + "  " + s.builder + "  facet " + num(s.facet) + "  " + s.name +
         "  (" + what + ")";
}

std::array<int, 4> rectArg(const std::string& text) {
  std::array<int, 4> rect{};
  std::size_t start = 0;
  for (std::size_t k = 0; k < 4; ++k) {
    const std::size_t comma = text.find(',', start);
    if ((k < 3) == (comma == std::string::npos))
      throw UsageError("--rect takes X,Y,W,H, not '" + text + "'.");
    const std::string part = text.substr(start, comma == std::string::npos ? comma : comma - start);
    const auto v = tryParseInt(part);
    if (!v || *v < 0 || (k >= 2 && *v < 1))
      throw UsageError("--rect takes X,Y,W,H with W and H at least 1, not '" + text + "'.");
    rect[k] = static_cast<int>(*v);
    start = comma + 1;
  }
  return rect;
}

bool isFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int init(Args& args, Context& ctx) {
  const auto p = args.positionals(1, 1);
  const std::string message = SharedWorld::init(p[0], kAsk);
  ctx.report(Json::Object{{"message", message}}, message);
  return 0;
}

// A facet of the client folder ready to import: its files and the size they give.
struct ImportFacet {
  int facet = 0;
  FacetSize size;
  std::string map, staticIndex, statics;
};

// The size given with --width W --height H (both or neither): a shard's own map size, which the
// files' lengths cannot tell.
std::optional<FacetSize> givenSize(Args& args) {
  const auto w = args.intOption("width");
  const auto h = args.intOption("height");
  if (!w != !h) throw UsageError("Give both --width W and --height H, or neither.");
  if (!w) return std::nullopt;
  checkWorldSize(*w, *h);
  return FacetSize{static_cast<int>(*w), static_cast<int>(*h)};
}

ImportFacet importable(const ClientFacet& f, const std::string& folder,
                       const std::optional<FacetSize>& given) {
  const std::string name = "Facet " + num(f.number) + " in " + folder;
  std::vector<std::string> missing;
  if (!f.map.found()) missing.insert(missing.end(), f.map.missing.begin(), f.map.missing.end());
  if (!f.statics.complete())
    missing.insert(missing.end(), f.statics.missing.begin(), f.statics.missing.end());
  if (!missing.empty()) throw Error(name + " lacks " + joined(missing) + "; nothing was imported.");
  const std::string map = f.map.files.front().path;
  if (given) {
    // Checked here, before any facet goes in.
    const std::uint64_t bytes = isUopPath(map)
                                    ? mapFileSizeOfContainer(UopContainer::read(map), map)
                                    : mulWorldFileBytes(map).value_or(0);
    if (bytes < given->mapBytes())
      throw Error("The map " + map + " holds " + num(static_cast<std::int64_t>(bytes)) +
                  " bytes, too few for " + sizeText(*given) + " (" +
                  num(static_cast<std::int64_t>(given->mapBytes())) +
                  "); nothing was imported.");
  } else {
    if (!f.sizeProblem.empty()) throw Error(f.sizeProblem + " Nothing was imported.");
    if (!f.worldSize)
      throw Error(name +
                  ": its map and statics fit no size of the facet; give the size with --width W "
                  "--height H. Nothing was imported.");
  }
  ImportFacet out{f.number, given ? *given : *f.worldSize, map, {}, {}};
  for (const ClientFile& file : f.statics.files)
    (file.configKey == "StaticIdx" ? out.staticIndex : out.statics) = file.path;
  return out;
}

int importFacets(Args& args, Context& ctx) {
  const auto client = args.option("client");
  const std::optional<FacetSize> given = givenSize(args);
  std::set<int> asked;
  while (const auto facet = args.intOption("facet")) {
    checkFacet(*facet);
    asked.insert(static_cast<int>(*facet));
  }
  const auto p = args.positionals(1, 1);
  if (!client) throw UsageError("Give the client folder with --client DIR.");
  const ClientScan scan = scanClientFolder(*client);
  // Every facet is checked before the first is imported, so a wrong one leaves the world as it was.
  std::vector<ImportFacet> facets;
  for (const ClientFacet& f : scan.facets) {
    if (asked.empty() ? !f.present() : !asked.contains(f.number)) continue;
    if (!f.present())
      throw Error("Facet " + num(f.number) + " has no map or statics in " + *client +
                  "; nothing was imported.");
    facets.push_back(importable(f, *client, given));
  }
  if (facets.empty()) throw Error("There is no facet's map or statics in " + *client + ".");
  SharedWorld world(p[0], kAsk);
  const std::vector<int> there = world.facets();
  for (const ImportFacet& f : facets)
    if (std::find(there.begin(), there.end(), f.facet) != there.end())
      throw Error("Facet " + num(f.facet) +
                  " is already in the shared world; nothing was imported.");
  Json::Array rows;
  std::string text;
  for (const ImportFacet& f : facets) {
    TerminalProgress progress(ctx, "importing facet " + num(f.facet));
    std::vector<std::string> problems;
    const std::int64_t statics =
        world.importFacet(f.facet, f.size, f.map, f.staticIndex, f.statics, progress, &problems);
    ctx.noteProblems(f.statics, problems);
    rows.push_back(Json::Object{{"facet", f.facet},
                                {"width", f.size.width},
                                {"height", f.size.height},
                                {"blocks", f.size.blockCount()},
                                {"statics", statics}});
    text += "facet " + num(f.facet) + ": " + sizeText(f.size) + ", " + num(f.size.blockCount()) +
            " blocks, " + num(statics) + " statics\n";
  }
  ctx.report(Json::Object{{"facets", rows}}, text);
  return 0;
}

int exportFacet(Args& args, Context& ctx) {
  const int facet = facetOption(args);
  const bool uop = args.flag("uop");
  const auto p = args.positionals(2, 2);
  if (!isFolder(p[1])) throw Error("The folder " + p[1] + " does not exist; nothing was written.");
  SharedWorld world(p[0], kAsk);
  TerminalProgress progress(ctx, "exporting facet " + num(facet));
  const std::vector<std::string> written = world.exportFacet(facet, p[1], uop, progress);
  std::string text;
  for (const std::string& path : written) text += "wrote " + path + "\n";
  ctx.report(Json::Object{{"facet", facet}, {"files", stringsJson(written)}}, text);
  return 0;
}

int info(Args& args, Context& ctx) {
  const auto p = args.positionals(1, 1);
  SharedWorld world(p[0], kAsk);
  const SharedWorldInfo info = world.info();
  Json::Array facets;
  std::string text = "shared world in " + world.connection().describe() + " (layout version " +
                     num(info.schemaVersion) + ")\n";
  for (const SharedFacetInfo& f : info.facets) {
    facets.push_back(Json::Object{{"facet", f.facet},
                                  {"width", f.size.width},
                                  {"height", f.size.height},
                                  {"statics", f.statics}});
    text +=
        "facet " + num(f.facet) + ": " + sizeText(f.size) + ", " + num(f.statics) + " statics\n";
  }
  if (info.facets.empty()) text += "no facet yet\n";
  text += "builders (" + info.builderRole + "): " + joined(info.builders) + "\n";
  text += "viewers (" + info.viewerRole + "): " + joined(info.viewers) + "\n";
  text += "steps: " + num(info.steps) + "\n";
  if (info.lastStep) text += "last step: " + stepLine(*info.lastStep) + "\n";
  ctx.report(Json::Object{{"schemaVersion", info.schemaVersion},
                          {"facets", facets},
                          {"builderRole", info.builderRole},
                          {"viewerRole", info.viewerRole},
                          {"builders", stringsJson(info.builders)},
                          {"viewers", stringsJson(info.viewers)},
                          {"steps", info.steps},
                          {"lastStep", info.lastStep ? stepJson(*info.lastStep) : Json(nullptr)}},
             text);
  return 0;
}

int showLog(Args& args, Context& ctx) {
  SharedLogFilter filter;
  filter.since = args.option("since");
  filter.builder = args.option("builder");
  if (const auto facet = args.intOption("facet")) {
    checkFacet(*facet);
    filter.facet = static_cast<int>(*facet);
  }
  if (const auto rect = args.option("rect")) filter.rect = rectArg(*rect);
  if (const auto limit = args.intOption("limit")) {
    if (*limit < 1 || *limit > INT32_MAX) throw UsageError("--limit is 1 or more.");
    filter.limit = static_cast<int>(*limit);
  }
  const auto p = args.positionals(1, 1);
  SharedWorld world(p[0], kAsk);
  const std::vector<SharedStepInfo> steps = world.log(filter);
  Json::Array rows;
  std::string text;
  for (const SharedStepInfo& s : steps) {
    rows.push_back(stepJson(s));
    text += stepLine(s) + "\n";
  }
  ctx.report(rows, steps.empty() ? std::string("no steps") : text);
  return 0;
}

int revert(Args& args, Context& ctx) {
  const auto p = args.positionals(2, 2);
  const std::int64_t step = stepArg(p[1]);
  SharedWorld world(p[0], kAsk);
  const SharedStepResult result = world.revert(step);
  if (!result.applied) {
    // A step whose changes undo one another leaves nothing to take back; anything else was
    // refused, with the reason.
    if (!result.refusal.empty()) throw Error(result.refusal);
    ctx.report(Json::Object{{"step", step}, {"revertedBy", nullptr}},
               "Step " + num(step) + " changes nothing; nothing was taken back.");
    return 0;
  }
  ctx.report(Json::Object{{"step", step}, {"revertedBy", result.step}},
             "Step " + num(step) + " was taken back by step " + num(result.step) + ".");
  return 0;
}

int grant(Args& args, Context& ctx) {
  const auto p = args.positionals(3, 3);
  SharedRole role = SharedRole::Builder;
  if (p[2] == "viewer")
    role = SharedRole::Viewer;
  else if (p[2] != "builder")
    throw UsageError("The role is builder or viewer, not '" + p[2] + "'.");
  SharedWorld world(p[0], kAsk);
  const std::string message = world.grant(p[1], role);
  ctx.report(Json::Object{{"message", message}}, message);
  return 0;
}

int revoke(Args& args, Context& ctx) {
  const auto p = args.positionals(2, 2);
  SharedWorld world(p[0], kAsk);
  const std::string message = world.revoke(p[1]);
  ctx.report(Json::Object{{"message", message}}, message);
  return 0;
}

}  // namespace

Group sharedGroup() {
  return {
      "shared",
      "A world a team edits together, held in a PostgreSQL database.",
      {
          {"init", "URL",
           "Lays out a shared world in the database URL names (postgresql://...), with a builder "
           "and a viewer role, or brings an older layout up to date.",
           init},
          {"import", "URL --client DIR [--facet N ...] [--width W --height H]",
           "Reads the maps and statics of a client folder into the shared world: the facets "
           "named, or every facet the folder holds. The size of each facet follows from its "
           "files; a map of a size of its own is given with --width and --height.",
           importFacets},
          {"export", "URL --facet N DIR [--uop]",
           "Writes a facet's map (mapN.mul, or mapNLegacyMUL.uop with --uop), staidxN.mul and "
           "staticsN.mul into DIR as the shared world holds them now.",
           exportFacet},
          {"info", "URL",
           "The facets, the builder and viewer roles with their members, and the last step.", info},
          {"log", "URL [--since T] [--builder B] [--facet N] [--rect X,Y,W,H] [--limit N]",
           "The steps, oldest first: who made each, when, and what it touched (--limit: the last "
           "N).",
           showLog},
          {"revert", "URL STEP",
           "Takes a step back with a new step; refused when something it changed was changed "
           "since.",
           revert},
          {"grant", "URL NAME builder|viewer",
           "Makes a login a builder or a viewer of the shared world (the login role is created "
           "when there is none).",
           grant},
          {"revoke", "URL NAME", "Takes a login's builder or viewer role away.", revoke},
      }};
}

}  // namespace quillotide::cli
