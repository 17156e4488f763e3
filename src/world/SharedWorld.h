#pragma once
// A shared world: the facets' maps and statics held in a PostgreSQL database that a team edits
// at the same time. Every change is a step: one transaction that commits only where each cell
// and static it changes still holds what its builder saw, and one row in the world's history
// with the builder (the database role), the time and the step's name. Statics have stable
// identities (two identical statics on one cell stay two). A committed step is announced on the
// channel kStepChannel with the payload "FACET STEP", so every open editor can read it.
//
// Who may do what is the database's business: `init` makes a builder and a viewer role; a viewer
// has no write privilege on any table, and nobody but the owner may change or remove history.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/Bytes.h"
#include "app/Facet.h"
#include "app/Postgres.h"
#include "app/Progress.h"
#include "world/Map.h"

namespace quillotide {

// A static as the shared world holds it: world position, altitude, tile id and hue.
struct SharedStaticState {
  int x = 0;
  int y = 0;
  int z = 0;
  std::uint16_t tileId = 0;
  std::uint16_t hue = 0;
  bool operator==(const SharedStaticState&) const = default;
};

struct SharedStatic {
  std::int64_t id = 0;
  SharedStaticState state;
};

struct SharedCellChange {
  int x = 0;
  int y = 0;
  MapCell before;
  MapCell after;
};

// One static's change. `before` is what the builder saw (nullopt: it was not there; a new
// static has id 0), `after` what it becomes (nullopt: deleted). A change with an id and no
// `before` puts a deleted static back under its own identity.
struct SharedStaticChange {
  std::int64_t id = 0;
  std::optional<SharedStaticState> before;
  std::optional<SharedStaticState> after;
};

struct SharedStep {
  int facet = 0;
  std::string name;
  std::vector<SharedCellChange> cells;
  std::vector<SharedStaticChange> statics;
  bool empty() const { return cells.empty() && statics.empty(); }
};

enum class SharedStepKind { Edit, Undo, Revert };

struct SharedStepInfo {
  std::int64_t id = 0;
  int facet = 0;
  std::string builder;
  std::string at;  // ISO 8601 with the time zone ("2026-12-10T14:02:11+00:00")
  std::string name;
  SharedStepKind kind = SharedStepKind::Edit;
  std::int64_t reverts = 0;  // the step it takes back, 0 for none
  int cells = 0;
  int statics = 0;
  // The cells it touched, both corners included; all 0 for an empty step.
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// What became of a step: applied (its number, and the ids the new statics got, in the order of
// the step's changes), or refused with the message naming who changed what and when.
struct SharedStepResult {
  bool applied = false;
  std::int64_t step = 0;
  std::vector<std::int64_t> newStatics;
  std::string refusal;
};

struct SharedFacetInfo {
  int facet = 0;
  FacetSize size;
  std::int64_t statics = 0;
};

struct SharedWorldInfo {
  int schemaVersion = 0;
  std::string builderRole;
  std::string viewerRole;
  std::vector<SharedFacetInfo> facets;
  std::vector<std::string> builders;
  std::vector<std::string> viewers;
  std::optional<SharedStepInfo> lastStep;
  std::int64_t steps = 0;
};

struct SharedLogFilter {
  std::optional<std::string> since;  // a time the server reads ("2026-12-10 14:00")
  std::optional<std::string> builder;
  std::optional<int> facet;
  // Steps whose cells meet the rectangle x, y, w, h.
  std::optional<std::array<int, 4>> rect;
  int limit = 0;  // 0: all
  std::optional<std::int64_t> after;  // steps numbered above this one
};

// The files of one facet as they are written: a map file, a statics index and statics data,
// and the id of each static in the order the data holds them.
struct SharedFacetFiles {
  FacetSize size;
  Bytes map;
  Bytes staticIndex;
  Bytes statics;
  std::vector<std::int64_t> staticIds;
  // The newest step of the facet these files hold, and the steps near it they hold (steps commit
  // in about the order of their numbers, not exactly).
  std::int64_t lastStep = 0;
  std::vector<std::int64_t> recentSteps;
};

// What a view of the world needs of an area: the map blocks that cover it (block index and the
// block's 196 bytes) and the statics standing in those blocks, in the order the files hold them.
struct SharedArea {
  std::vector<std::pair<std::int64_t, Bytes>> blocks;
  std::vector<SharedStatic> statics;
};

enum class SharedRole { Builder, Viewer };

class SharedWorld {
public:
  static constexpr int kSchemaVersion = 1;
  static constexpr const char* kStepChannel = "quillotide_step";
  // A step changing more cells and statics than this is refused with its size named: one
  // transaction of that size would hold its locks for seconds.
  static constexpr std::size_t kMaxStepChanges = 500000;
  // Steps are numbered when they are written and become visible when they commit, so a step may
  // appear after a few higher-numbered ones; a reader catching up looks back this many numbers.
  static constexpr std::int64_t kStepWindow = 100;

  // Lays out a shared world in the database the URL names, or brings an older layout up to
  // this version. Returns what was done. Throws ConnectionLostError/DatabaseError, and Error
  // when the database holds a layout of a newer version.
  static std::string init(const std::string& url, const PgConnection::AskPassword& ask = {});

  // Connects to a shared world. Throws ConnectionLostError when the server cannot be reached,
  // Error naming what was found when the database is no shared world or a newer one.
  explicit SharedWorld(const std::string& url, const PgConnection::AskPassword& ask = {});

  PgConnection& connection() { return m_db; }
  // Whether this login may make steps (a builder), from the database's privileges.
  bool canWrite();
  // The login as the history names it.
  std::string builder() const { return m_db.user(); }

  // Reads a facet's map and statics files into the world. The map may be a container. Throws
  // Error when the facet is already in the world or a file does not fit the size; nothing is
  // written then. Returns the number of statics read and adds one text per damaged block to
  // *problems.
  std::int64_t importFacet(int facet, FacetSize size, const std::string& mapPath,
                           const std::string& staticIndexPath, const std::string& staticsPath,
                           Progress& progress, std::vector<std::string>* problems = nullptr);
  // The facet's files as the world holds them now, read in one consistent moment: the files as
  // imported with the blocks changed since laid over them, or with `withIds` every block's rows
  // (which also gives the ids of the statics). Throws Error "Facet N is not in the shared world
  // …" for a facet it lacks.
  SharedFacetFiles facetFiles(int facet, Progress& progress, bool withIds = false);
  // Writes mapN.mul (or mapNLegacyMUL.uop), staidxN.mul and staticsN.mul into `folder`, each
  // replaced whole. Returns the paths written.
  std::vector<std::string> exportFacet(int facet, const std::string& folder, bool uop,
                                       Progress& progress);

  // The blocks covering the cells x .. x + w - 1, y .. y + h - 1 (clipped to the facet).
  SharedArea readArea(int facet, int x, int y, int w, int h);

  SharedWorldInfo info();
  std::vector<int> facets();
  // Throws Error naming the facets there are when the facet is not in the world.
  FacetSize facetSize(int facet);
  std::vector<SharedStepInfo> log(const SharedLogFilter& filter);
  std::optional<SharedStepInfo> stepInfo(std::int64_t step);
  // The changes of a committed step, as they were made.
  SharedStep stepChanges(std::int64_t step);

  // Commits a step, or refuses it when something it changes was changed by someone else since.
  // Changes of one cell or static are folded into one. A step over kMaxStepChanges, outside the
  // facet or on a facet the world lacks throws Error and writes nothing. When the connection is
  // lost while the step commits, the world is asked again once it is back: the result then says
  // whether the step is there; ConnectionLostError when it cannot be asked.
  SharedStepResult apply(const SharedStep& step, SharedStepKind kind = SharedStepKind::Edit,
                         std::int64_t reverts = 0);
  // A new step that takes `step` back; refused on conflict, naming it.
  SharedStepResult revert(std::int64_t step);
  // Takes back this builder's own last step on the facet that is not yet taken back.
  SharedStepResult undoOwnLast(int facet);

  // Makes `name` a builder or viewer (creating the login role when there is none). The URL's
  // login must be allowed to create roles. Returns what was done.
  std::string grant(const std::string& name, SharedRole role);
  std::string revoke(const std::string& name);

  // Starts receiving the step channel's notifications on this connection.
  void listen();
  // Connects again after the connection was lost, listening again when it listened. Throws
  // ConnectionLostError while the server cannot be reached.
  void reconnect();

private:
  std::string roleName(SharedRole role);
  std::map<std::int64_t, std::int32_t> staticExtras(int facet);
  // Where the three files' bytes go, each in order, as they are made, when the caller writes them
  // itself. The files of SharedFacetFiles then stay empty unless the copy of the files as imported
  // was found damaged part of the way: then they hold the files read from the rows, and what went
  // to the sinks is to be dropped.
  struct FileSinks {
    std::function<void(std::span<const std::uint8_t>)> map, staticIndex, statics;
  };
  SharedFacetFiles readFiles(int facet, Progress& progress, bool withIds, const FileSinks* sinks);
  bool filesFromPieces(int facet, SharedFacetFiles& files, Progress& progress,
                       const FileSinks* sinks);
  void filesFromRows(int facet, SharedFacetFiles& files, Progress& progress);

  PgConnection m_db;
  std::string m_builderRole;
  std::string m_viewerRole;
  bool m_listening = false;
};

// The text of a step kind in the history ("edit", "undo", "revert") and back (Edit otherwise).
std::string sharedStepKindText(SharedStepKind kind);
SharedStepKind sharedStepKindOf(const std::string& text);

}  // namespace quillotide
