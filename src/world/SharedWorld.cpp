#include "world/SharedWorld.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <random>
#include <set>

#include "app/FileIO.h"
#include "app/IndexedFile.h"
#include "app/Uop.h"
#include "app/UopPair.h"
#include "world/Statics.h"

namespace quillotide {

namespace {

// The layouts, one script per version: script k brings version k to version k + 1. Table
// privileges are given in code afterwards, as they name the world's roles.
const std::vector<std::string> kMigrations = {
    R"sql(
CREATE SCHEMA quillotide;
CREATE TABLE quillotide.meta (key text PRIMARY KEY, value text NOT NULL);
CREATE TABLE quillotide.facet (
  facet smallint PRIMARY KEY,
  width int NOT NULL,
  height int NOT NULL,
  map_tail bytea NOT NULL DEFAULT '',
  imported_at timestamptz NOT NULL DEFAULT now(),
  imported_by text NOT NULL DEFAULT session_user);
CREATE TABLE quillotide.map_block (
  facet smallint NOT NULL REFERENCES quillotide.facet,
  block int NOT NULL,
  bytes bytea NOT NULL,
  PRIMARY KEY (facet, block));
CREATE TABLE quillotide.static (
  id bigserial PRIMARY KEY,
  facet smallint NOT NULL REFERENCES quillotide.facet,
  block int NOT NULL,
  x int NOT NULL,
  y int NOT NULL,
  z smallint NOT NULL,
  tile int NOT NULL,
  hue int NOT NULL);
CREATE INDEX static_place ON quillotide.static (facet, block, id);
CREATE TABLE quillotide.static_block (
  facet smallint NOT NULL REFERENCES quillotide.facet,
  block int NOT NULL,
  extra int NOT NULL,
  PRIMARY KEY (facet, block));
CREATE TABLE quillotide.step (
  id bigserial PRIMARY KEY,
  facet smallint NOT NULL REFERENCES quillotide.facet,
  builder text NOT NULL DEFAULT session_user,
  at timestamptz NOT NULL DEFAULT now(),
  name text NOT NULL,
  kind text NOT NULL CHECK (kind IN ('edit', 'undo', 'revert')),
  reverts bigint REFERENCES quillotide.step,
  token text NOT NULL UNIQUE,
  cells int NOT NULL,
  statics int NOT NULL,
  x0 int NOT NULL, y0 int NOT NULL, x1 int NOT NULL, y1 int NOT NULL);
CREATE INDEX step_builder ON quillotide.step (builder, facet, id);
CREATE INDEX step_reverts ON quillotide.step (reverts);
CREATE TABLE quillotide.step_cell (
  step bigint NOT NULL REFERENCES quillotide.step,
  facet smallint NOT NULL,
  x int NOT NULL, y int NOT NULL,
  old_tile int NOT NULL, old_z smallint NOT NULL,
  new_tile int NOT NULL, new_z smallint NOT NULL,
  PRIMARY KEY (step, x, y));
CREATE INDEX step_cell_place ON quillotide.step_cell (facet, x, y, step);
CREATE TABLE quillotide.step_static (
  step bigint NOT NULL REFERENCES quillotide.step,
  static bigint NOT NULL,
  facet smallint NOT NULL,
  old_x int, old_y int, old_z smallint, old_tile int, old_hue int,
  new_x int, new_y int, new_z smallint, new_tile int, new_hue int,
  PRIMARY KEY (step, static));
CREATE INDEX step_static_static ON quillotide.step_static (static, step);
-- The history names who made a step and when as the server knows it, whatever a client sends.
CREATE FUNCTION quillotide.stamp_step() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  NEW.builder := session_user;
  NEW.at := now();
  RETURN NEW;
END $$;
CREATE TRIGGER step_stamp BEFORE INSERT ON quillotide.step
  FOR EACH ROW EXECUTE FUNCTION quillotide.stamp_step();
-- The files as imported, in pieces, and the blocks changed since: a facet is written out from
-- its files and only the changed blocks are read row by row.
CREATE TABLE quillotide.facet_file (
  facet smallint NOT NULL REFERENCES quillotide.facet,
  part smallint NOT NULL,
  piece int NOT NULL,
  bytes bytea NOT NULL,
  PRIMARY KEY (facet, part, piece));
ALTER TABLE quillotide.facet_file ALTER COLUMN bytes SET STORAGE EXTERNAL;
CREATE TABLE quillotide.changed_block (
  facet smallint NOT NULL,
  part smallint NOT NULL,
  block int NOT NULL,
  PRIMARY KEY (facet, part, block));
-- Every write of the map or the statics marks its blocks, whoever makes it and however; an
-- import, which writes the files' own blocks, does not.
CREATE FUNCTION quillotide.mark_map_blocks() RETURNS trigger LANGUAGE plpgsql
  SECURITY DEFINER SET search_path = pg_catalog AS $$
BEGIN
  INSERT INTO quillotide.changed_block
    SELECT DISTINCT facet, 0, block FROM new_rows ON CONFLICT DO NOTHING;
  RETURN NULL;
END $$;
CREATE TRIGGER map_block_marks AFTER UPDATE ON quillotide.map_block
  REFERENCING NEW TABLE AS new_rows FOR EACH STATEMENT EXECUTE FUNCTION quillotide.mark_map_blocks();
CREATE FUNCTION quillotide.mark_static_blocks() RETURNS trigger LANGUAGE plpgsql
  SECURITY DEFINER SET search_path = pg_catalog AS $$
BEGIN
  IF current_setting('quillotide.importing', true) = 'on' THEN
    RETURN NULL;
  END IF;
  IF TG_OP IN ('INSERT', 'UPDATE') THEN
    INSERT INTO quillotide.changed_block
      SELECT DISTINCT facet, 1, block FROM new_rows ON CONFLICT DO NOTHING;
  END IF;
  IF TG_OP IN ('DELETE', 'UPDATE') THEN
    INSERT INTO quillotide.changed_block
      SELECT DISTINCT facet, 1, block FROM old_rows ON CONFLICT DO NOTHING;
  END IF;
  RETURN NULL;
END $$;
CREATE TRIGGER static_insert_marks AFTER INSERT ON quillotide.static
  REFERENCING NEW TABLE AS new_rows FOR EACH STATEMENT
  EXECUTE FUNCTION quillotide.mark_static_blocks();
CREATE TRIGGER static_update_marks AFTER UPDATE ON quillotide.static
  REFERENCING OLD TABLE AS old_rows NEW TABLE AS new_rows FOR EACH STATEMENT
  EXECUTE FUNCTION quillotide.mark_static_blocks();
CREATE TRIGGER static_delete_marks AFTER DELETE ON quillotide.static
  REFERENCING OLD TABLE AS old_rows FOR EACH STATEMENT
  EXECUTE FUNCTION quillotide.mark_static_blocks();
INSERT INTO quillotide.meta VALUES ('schema_version', '1');
)sql",
};

constexpr std::size_t kBlockBytes = MapLayout::kBlockSize;
// The facet's files are kept in pieces of this size: large enough to stream, small enough that
// one piece is never a burden to the server.
constexpr std::size_t kFilePiece = 1 << 20;
enum FilePart : int { kMapFile = 0, kIndexFile = 1, kStaticsFile = 2 };

std::string num(std::int64_t v) { return std::to_string(v); }

std::string hex4(std::uint16_t v) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "0x%04X", v);
  return buffer;
}

std::string newToken() {
  std::random_device device;
  std::mt19937_64 random((static_cast<std::uint64_t>(device()) << 32) ^ device());
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%016llx%016llx",
                static_cast<unsigned long long>(random()),
                static_cast<unsigned long long>(random()));
  return buffer;
}

// The schema version the database holds; 0 when it holds no shared world.
int schemaVersion(PgConnection& db) {
  const PgResult has = db.exec("SELECT to_regclass('quillotide.meta') IS NOT NULL");
  if (has.text(0, 0) != "t") return 0;
  const PgResult v = db.exec("SELECT value FROM quillotide.meta WHERE key = $1", {"schema_version"});
  if (v.rows() == 0) return 0;
  return static_cast<int>(v.integer(0, 0));
}

// Refuses a world laid out by a newer Quillotide.
void refuseNewerLayout(PgConnection& db, int found) {
  if (found > SharedWorld::kSchemaVersion)
    throw Error("The shared world in " + db.describe() + " has layout version " +
                std::to_string(found) + "; this Quillotide knows version " +
                std::to_string(SharedWorld::kSchemaVersion) + " at most. Use a newer Quillotide.");
}

std::string roleNameFor(const std::string& database, SharedRole role) {
  return database + (role == SharedRole::Builder ? "_builder" : "_viewer");
}

// The privileges of the two roles: a viewer reads; a builder also changes the world and adds
// history, which nobody but the owner may change or remove.
void grantPrivileges(PgConnection& db, const std::string& builder, const std::string& viewer) {
  const std::string b = db.identifier(builder);
  const std::string v = db.identifier(viewer);
  db.execScript("GRANT USAGE ON SCHEMA quillotide TO " + b + ", " + v + ";" +
                "GRANT SELECT ON ALL TABLES IN SCHEMA quillotide TO " + b + ", " + v + ";" +
                "GRANT UPDATE (bytes) ON quillotide.map_block TO " + b + ";" +
                "GRANT INSERT, UPDATE, DELETE ON quillotide.static TO " + b + ";" +
                "GRANT DELETE ON quillotide.static_block TO " + b + ";" +
                "GRANT INSERT ON quillotide.step, quillotide.step_cell, quillotide.step_static TO " +
                b + ";" + "GRANT USAGE ON SEQUENCE quillotide.static_id_seq, " +
                "quillotide.step_id_seq TO " + b + ";");
}

void createRole(PgConnection& db, const std::string& name, bool login) {
  const PgResult r = db.exec("SELECT 1 FROM pg_roles WHERE rolname = $1", {name});
  if (r.rows() > 0) return;
  db.execScript("CREATE ROLE " + db.identifier(name) + (login ? " LOGIN" : " NOLOGIN"));
}

std::int64_t blockIndex(const FacetSize& size, int x, int y) {
  return static_cast<std::int64_t>(x / 8) * (size.height / 8) + y / 8;
}

bool inside(const FacetSize& size, int x, int y) {
  return x >= 0 && y >= 0 && x < size.width && y < size.height;
}

// What a conflict was met on, for the message that names who made it.
struct Conflict {
  bool isStatic = false;
  std::int64_t id = 0;
  int x = 0;
  int y = 0;
  std::uint16_t tileId = 0;
  std::string verb;
};

std::string staticVerb(const SharedStaticState& seen, const std::optional<SharedStaticState>& now) {
  if (!now) return "deleted";
  if (now->x != seen.x || now->y != seen.y || now->z != seen.z) return "moved";
  if (now->hue != seen.hue) return "recoloured";
  return "changed";
}

// A step with one change per cell and per static (what was seen first, what it became last),
// without the changes that change nothing; new statics in the step's order.
struct FoldedStep {
  std::map<std::pair<int, int>, SharedCellChange> cells;
  std::map<std::int64_t, SharedStaticChange> known;
  std::vector<SharedStaticChange> added;
};

FoldedStep fold(const SharedStep& step, const FacetSize& size) {
  FoldedStep f;
  const auto outside = [&](const std::string& what, int x, int y) {
    return Error(what + " " + num(x) + "," + num(y) + " lies outside facet " + num(step.facet) +
                 " (" + sizeText(size) + "); nothing was applied.");
  };
  for (const SharedCellChange& c : step.cells) {
    if (!inside(size, c.x, c.y)) throw outside("The cell", c.x, c.y);
    auto [it, added] = f.cells.try_emplace({c.x, c.y}, c);
    if (!added) it->second.after = c.after;
  }
  std::erase_if(f.cells, [](const auto& c) { return c.second.before == c.second.after; });
  for (const SharedStaticChange& c : step.statics) {
    for (const auto& s : {c.before, c.after})
      if (s && !inside(size, s->x, s->y)) throw outside("The static at", s->x, s->y);
    if (c.id == 0) {
      if (c.after && !c.before) f.added.push_back(c);
      continue;
    }
    auto [it, fresh] = f.known.try_emplace(c.id, c);
    if (!fresh) it->second.after = c.after;
  }
  std::erase_if(f.known, [](const auto& c) { return c.second.before == c.second.after; });
  return f;
}

// The step that takes `done` back.
SharedStep inverseOf(const SharedStep& done, const std::string& name) {
  SharedStep back;
  back.facet = done.facet;
  back.name = name;
  for (const SharedCellChange& c : done.cells) back.cells.push_back({c.x, c.y, c.after, c.before});
  for (const SharedStaticChange& c : done.statics) back.statics.push_back({c.id, c.after, c.before});
  return back;
}

std::string refusalText(PgConnection& db, const Conflict& conflict, int facet,
                        const std::string& tail) {
  // The last step that changed the thing names who changed it and when.
  const PgResult who =
      conflict.isStatic
          ? db.exec("SELECT s.builder, to_char(s.at, 'HH24:MI') FROM quillotide.step_static c "
                      "JOIN quillotide.step s ON s.id = c.step WHERE c.static = $1 ORDER BY "
                      "c.step DESC LIMIT 1",
                      {num(conflict.id)})
          : db.exec("SELECT s.builder, to_char(s.at, 'HH24:MI') FROM quillotide.step_cell c "
                      "JOIN quillotide.step s ON s.id = c.step WHERE c.facet = $1 AND c.x = $2 "
                      "AND c.y = $3 ORDER BY c.step DESC LIMIT 1",
                      {num(facet), num(conflict.x), num(conflict.y)});
  const std::string by = who.rows() > 0 ? " by " + who.text(0, 0) + " at " + who.text(0, 1) : "";
  const std::string what =
      conflict.isStatic
          ? "Static " + hex4(conflict.tileId) + " at " + num(conflict.x) + "," + num(conflict.y)
          : "Cell " + num(conflict.x) + "," + num(conflict.y);
  return what + " was " + conflict.verb + by + "; " + tail;
}

// A static of a COPY row (id, block, x, y, z, tile, hue) as the file's record.
StaticRecord staticRecordOf(const PgCopyFields& f) {
  return {static_cast<std::uint16_t>(f.integer(5)), static_cast<std::uint8_t>(f.integer(2) & 7),
          static_cast<std::uint8_t>(f.integer(3) & 7), static_cast<std::int8_t>(f.integer(4)),
          static_cast<std::uint16_t>(f.integer(6))};
}

// The map block of a COPY row (block, bytes): its index and its 196 bytes. Throws Error naming
// the facet when the row is no block of the map.
std::pair<std::int64_t, std::span<const std::uint8_t>> mapBlockOf(const PgCopyFields& f,
                                                                   std::int64_t blocks, int facet) {
  const std::int64_t block = f.integer(0);
  const auto bytes = f.field(1);
  if (block < 0 || block >= blocks || !bytes || bytes->size() != kBlockBytes)
    throw Error("The shared world's map of facet " + num(facet) + " is damaged at block " +
                num(block) + ".");
  return {block, *bytes};
}

// Lays a map block of a COPY row (block, bytes) into the map file's bytes; returns its index.
std::int64_t putMapBlock(Bytes& map, const PgCopyFields& f, std::int64_t blocks, int facet) {
  const auto [block, bytes] = mapBlockOf(f, blocks, facet);
  std::copy(bytes.begin(), bytes.end(),
            map.begin() + static_cast<std::ptrdiff_t>(block * static_cast<std::int64_t>(kBlockBytes)));
  return block;
}

// Lays the blocks of `changed` (by block index) that reach into `piece`, which starts at byte
// `start` of the map file, over it.
void layOver(std::span<std::uint8_t> piece, std::uint64_t start,
             const std::map<std::int64_t, Bytes>& changed) {
  const std::uint64_t end = start + piece.size();
  for (auto it = changed.lower_bound(static_cast<std::int64_t>(start / kBlockBytes));
       it != changed.end(); ++it) {
    const std::uint64_t from = static_cast<std::uint64_t>(it->first) * kBlockBytes;
    if (from >= end) break;
    const std::uint64_t a = std::max(from, start);
    const std::uint64_t b = std::min(from + kBlockBytes, end);
    if (a < b)
      std::copy_n(it->second.begin() + static_cast<std::ptrdiff_t>(a - from), b - a,
                  piece.begin() + static_cast<std::ptrdiff_t>(a - start));
  }
}

SharedStepInfo stepInfoOf(const PgResult& r, int row) {
  SharedStepInfo s;
  s.id = r.integer(row, 0);
  s.facet = static_cast<int>(r.integer(row, 1));
  s.builder = r.text(row, 2);
  s.at = r.text(row, 3);
  s.name = r.text(row, 4);
  s.kind = sharedStepKindOf(r.text(row, 5));
  s.reverts = r.integer(row, 6);
  s.cells = static_cast<int>(r.integer(row, 7));
  s.statics = static_cast<int>(r.integer(row, 8));
  s.x0 = static_cast<int>(r.integer(row, 9));
  s.y0 = static_cast<int>(r.integer(row, 10));
  s.x1 = static_cast<int>(r.integer(row, 11));
  s.y1 = static_cast<int>(r.integer(row, 12));
  return s;
}

constexpr const char* kStepColumns =
    "id, facet, builder, to_char(at, 'YYYY-MM-DD\"T\"HH24:MI:SSOF'), name, kind, "
    "coalesce(reverts, 0), cells, statics, x0, y0, x1, y1";

std::optional<SharedStaticState> staticStateOf(const PgResult& r, int row, int column) {
  if (r.isNull(row, column)) return std::nullopt;
  return SharedStaticState{static_cast<int>(r.integer(row, column)),
                           static_cast<int>(r.integer(row, column + 1)),
                           static_cast<int>(r.integer(row, column + 2)),
                           static_cast<std::uint16_t>(r.integer(row, column + 3)),
                           static_cast<std::uint16_t>(r.integer(row, column + 4))};
}

}  // namespace

std::string sharedStepKindText(SharedStepKind kind) {
  switch (kind) {
    case SharedStepKind::Undo: return "undo";
    case SharedStepKind::Revert: return "revert";
    case SharedStepKind::Edit: break;
  }
  return "edit";
}

SharedStepKind sharedStepKindOf(const std::string& text) {
  if (text == "undo") return SharedStepKind::Undo;
  if (text == "revert") return SharedStepKind::Revert;
  return SharedStepKind::Edit;
}

std::string SharedWorld::init(const std::string& url, const PgConnection::AskPassword& ask) {
  PgConnection db(url, ask);
  const int found = schemaVersion(db);
  refuseNewerLayout(db, found);
  const std::string database = db.database();
  const std::string builder = roleNameFor(database, SharedRole::Builder);
  const std::string viewer = roleNameFor(database, SharedRole::Viewer);
  if (found == kSchemaVersion) {
    db.transaction([&] { grantPrivileges(db, builder, viewer); });
    return "The database " + db.describe() + " already holds a shared world of layout version " +
           num(found) + "; nothing to do.";
  }
  db.transaction([&] {
    for (std::size_t k = static_cast<std::size_t>(found); k < kMigrations.size(); ++k)
      db.execScript(kMigrations[k]);
    createRole(db, builder, false);
    createRole(db, viewer, false);
    db.exec("INSERT INTO quillotide.meta VALUES ($1, $2), ($3, $4) ON CONFLICT (key) DO UPDATE "
            "SET value = excluded.value",
            {"builder_role", builder, "viewer_role", viewer});
    grantPrivileges(db, builder, viewer);
  });
  if (found > 0)
    return "The shared world in " + db.describe() + " was brought from layout version " +
           num(found) + " to " + num(kSchemaVersion) + ".";
  return "A shared world was laid out in " + db.describe() + " (layout version " +
         num(kSchemaVersion) + "), with the roles " + builder + " and " + viewer + ".";
}

SharedWorld::SharedWorld(const std::string& url, const PgConnection::AskPassword& ask)
    : m_db(url, ask) {
  const PgResult schema = m_db.exec(
      "SELECT has_schema_privilege(oid, 'USAGE') FROM pg_namespace WHERE nspname = 'quillotide'");
  if (schema.rows() > 0 && schema.text(0, 0) != "t")
    throw Error("The login " + m_db.user() + " may not read the shared world in " +
                m_db.describe() + ": its owner can allow it with \"quillotide-cli shared grant URL " +
                m_db.user() + " viewer\".");
  const int found = schemaVersion(m_db);
  if (found == 0)
    throw Error("The database " + m_db.describe() +
                " holds no shared world. Lay one out with \"quillotide-cli shared init URL\".");
  refuseNewerLayout(m_db, found);
  if (found < kSchemaVersion)
    throw Error("The shared world in " + m_db.describe() + " has the older layout version " +
                num(found) + ". Bring it up to date with \"quillotide-cli shared init URL\".");
  const PgResult roles = m_db.exec(
      "SELECT key, value FROM quillotide.meta WHERE key IN ('builder_role', 'viewer_role')");
  for (int r = 0; r < roles.rows(); ++r)
    (roles.text(r, 0) == "builder_role" ? m_builderRole : m_viewerRole) = roles.text(r, 1);
}

bool SharedWorld::canWrite() {
  const PgResult r = m_db.exec("SELECT has_table_privilege('quillotide.step', 'INSERT')");
  return r.text(0, 0) == "t";
}

std::vector<int> SharedWorld::facets() {
  const PgResult r = m_db.exec("SELECT facet FROM quillotide.facet ORDER BY facet");
  std::vector<int> out;
  for (int i = 0; i < r.rows(); ++i) out.push_back(static_cast<int>(r.integer(i, 0)));
  return out;
}

FacetSize SharedWorld::facetSize(int facet) {
  const PgResult r =
      m_db.exec("SELECT width, height FROM quillotide.facet WHERE facet = $1", {num(facet)});
  if (r.rows() == 0) {
    std::string there;
    for (const int f : facets()) there += (there.empty() ? "" : ", ") + num(f);
    throw Error("Facet " + num(facet) + " is not in the shared world" +
                (there.empty() ? std::string(": it holds no facet yet.")
                               : "; it holds facet(s) " + there + "."));
  }
  return {static_cast<int>(r.integer(0, 0)), static_cast<int>(r.integer(0, 1))};
}

std::int64_t SharedWorld::importFacet(int facet, FacetSize size, const std::string& mapPath,
                                      const std::string& staticIndexPath,
                                      const std::string& staticsPath, Progress& progress,
                                      std::vector<std::string>* problems) {
  checkFacet(facet);
  if (m_db.exec("SELECT 1 FROM quillotide.facet WHERE facet = $1", {num(facet)}).rows() > 0)
    throw Error("Facet " + num(facet) + " is already in the shared world; nothing was imported.");
  Bytes map;
  if (isUopPath(mapPath)) {
    const UopContainer uop = UopContainer::read(mapPath);
    map = mapFileOfContainer(uop, mapPath, nullptr);
  } else {
    map = readFile(mapPath);
  }
  if (map.size() < size.mapBytes())
    throw Error("The map " + mapPath + " holds " + num(static_cast<std::int64_t>(map.size())) +
                " bytes, too few for " + sizeText(size) + " (" +
                num(static_cast<std::int64_t>(size.mapBytes())) + ").");
  const Bytes index = readFile(staticIndexPath);
  const Bytes data = readFile(staticsPath);
  const std::int64_t blocks = size.blockCount();
  const int rows = size.height / 8;
  std::int64_t statics = 0;
  ProgressSteps steps(progress, blocks * 2);
  // The statics as the world writes them (blocks in order, whole records only), kept as the
  // facet's files beside the rows.
  Bytes canonicalIndex(static_cast<std::size_t>(size.staticIndexBytes()), 0xFF);
  Bytes canonicalData;
  m_db.transaction([&] {
    m_db.exec("SELECT set_config('quillotide.importing', 'on', true)");
    m_db.exec("INSERT INTO quillotide.facet (facet, width, height, map_tail) VALUES ($1, $2, $3, "
              "$4::bytea)",
              {num(facet), num(size.width), num(size.height),
               pgBytea(std::span(map).subspan(static_cast<std::size_t>(size.mapBytes())))});
    std::int64_t b = 0;
    m_db.copyIn("COPY quillotide.map_block (facet, block, bytes) FROM STDIN (FORMAT binary)",
                [&](Bytes& out) {
                  for (int n = 0; n < 4096 && b < blocks; ++n, ++b)
                    PgCopyRow(out, 3)
                        .i16(static_cast<std::int16_t>(facet))
                        .i32(static_cast<std::int32_t>(b))
                        .bytes(std::span(map).subspan(static_cast<std::size_t>(b) * kBlockBytes,
                                                      kBlockBytes));
                  steps.at(b);
                  return b < blocks;
                });
    std::vector<std::pair<std::int32_t, std::int32_t>> extras;
    b = 0;
    m_db.copyIn(
        "COPY quillotide.static (facet, block, x, y, z, tile, hue) FROM STDIN (FORMAT binary)",
        [&](Bytes& out) {
          for (int n = 0; n < 4096 && b < blocks; ++n, ++b) {
            const std::size_t at = static_cast<std::size_t>(b) * StaticsLayout::kIndexSize;
            if (at + StaticsLayout::kIndexSize > index.size()) continue;
            const auto lookup = static_cast<std::int32_t>(loadU32(&index[at]));
            const auto length = static_cast<std::int32_t>(loadU32(&index[at + 4]));
            const auto extra = static_cast<std::int32_t>(loadU32(&index[at + 8]));
            if (lookup == -1 || length <= 0) continue;
            std::uint64_t start = static_cast<std::uint32_t>(lookup);
            std::uint64_t count = static_cast<std::uint32_t>(length);
            if (lookup < 0 || start >= data.size() || count > data.size() - start) {
              if (problems)
                problems->push_back("Statics block " + num(b) + ": its data at " + num(lookup) +
                                    " (" + num(length) +
                                    " bytes) lies past the end of the data file; only the "
                                    "records inside it are read.");
              if (lookup < 0 || start >= data.size()) continue;
              count = data.size() - start;
            }
            const int x0 = static_cast<int>(b / rows) * 8;
            const int y0 = static_cast<int>(b % rows) * 8;
            const std::vector<StaticRecord> records = decodeStaticRecords(
                std::span(data).subspan(static_cast<std::size_t>(start),
                                        static_cast<std::size_t>(count)));
            if (records.empty()) continue;
            if (extra != 0) extras.emplace_back(static_cast<std::int32_t>(b), extra);
            std::uint8_t* record = &canonicalIndex[static_cast<std::size_t>(b) * StaticsLayout::kIndexSize];
            storeU32(record, static_cast<std::uint32_t>(canonicalData.size()));
            storeU32(record + 4, static_cast<std::uint32_t>(records.size() * StaticsLayout::kRecordSize));
            storeU32(record + 8, static_cast<std::uint32_t>(extra));
            for (const StaticRecord& r : records) {
              appendStaticRecord(canonicalData, r);
              PgCopyRow(out, 7)
                  .i16(static_cast<std::int16_t>(facet))
                  .i32(static_cast<std::int32_t>(b))
                  .i32(x0 + (r.x & 7))
                  .i32(y0 + (r.y & 7))
                  .i16(r.z)
                  .i32(r.id)
                  .i32(r.hue);
              ++statics;
            }
          }
          steps.at(blocks + b);
          return b < blocks;
        });
    std::size_t e = 0;
    m_db.copyIn("COPY quillotide.static_block (facet, block, extra) FROM STDIN (FORMAT binary)",
                [&](Bytes& out) {
                  for (int n = 0; n < 4096 && e < extras.size(); ++n, ++e)
                    PgCopyRow(out, 3)
                        .i16(static_cast<std::int16_t>(facet))
                        .i32(extras[e].first)
                        .i32(extras[e].second);
                  return e < extras.size();
                });
    const std::array<const Bytes*, 3> parts{&map, &canonicalIndex, &canonicalData};
    std::size_t part = 0;
    std::size_t at = 0;
    m_db.copyIn("COPY quillotide.facet_file (facet, part, piece, bytes) FROM STDIN (FORMAT binary)",
                [&](Bytes& out) {
                  const Bytes& bytes = *parts[part];
                  const std::size_t n = std::min(kFilePiece, bytes.size() - at);
                  PgCopyRow(out, 4)
                      .i16(static_cast<std::int16_t>(facet))
                      .i16(static_cast<std::int16_t>(part))
                      .i32(static_cast<std::int32_t>(at / kFilePiece))
                      .bytes(std::span(bytes).subspan(at, n));
                  at += n;
                  if (at >= bytes.size()) {
                    ++part;
                    at = 0;
                  }
                  return part < parts.size();
                });
  });
  steps.at(blocks * 2);
  m_db.exec("ANALYZE quillotide.static");
  return statics;
}

SharedFacetFiles SharedWorld::facetFiles(int facet, Progress& progress, bool withIds) {
  return readFiles(facet, progress, withIds, nullptr);
}

SharedFacetFiles SharedWorld::readFiles(int facet, Progress& progress, bool withIds,
                                        const FileSinks* sinks) {
  // One consistent reading: the map and the statics as of one moment.
  return m_db.transaction(
      [&] {
        SharedFacetFiles files;
        files.size = facetSize(facet);
        // COPY takes no parameters; the facet reaches it as a setting of this transaction.
        m_db.exec("SELECT set_config('quillotide.facet', $1, true)", {num(facet)});
        if (withIds || !filesFromPieces(facet, files, progress, sinks))
          filesFromRows(facet, files, progress);
        files.lastStep = m_db.exec("SELECT coalesce(max(id), 0) FROM quillotide.step WHERE facet = $1",
                                   {num(facet)})
                             .integer(0, 0);
        const PgResult recent = m_db.exec(
            "SELECT id FROM quillotide.step WHERE facet = $1 AND id > $2 ORDER BY id",
            {num(facet), num(files.lastStep - kStepWindow)});
        for (int r = 0; r < recent.rows(); ++r) files.recentSteps.push_back(recent.integer(r, 0));
        return files;
      },
      "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
}

std::map<std::int64_t, std::int32_t> SharedWorld::staticExtras(int facet) {
  std::map<std::int64_t, std::int32_t> extras;
  const PgResult e =
      m_db.exec("SELECT block, extra FROM quillotide.static_block WHERE facet = $1", {num(facet)});
  for (int r = 0; r < e.rows(); ++r)
    extras[e.integer(r, 0)] = static_cast<std::int32_t>(e.integer(r, 1));
  return extras;
}

bool SharedWorld::filesFromPieces(int facet, SharedFacetFiles& files, Progress& progress,
                                  const FileSinks* sinks) {
  const std::int64_t blocks = files.size.blockCount();
  ProgressSteps steps(progress, 4);
  std::array<Bytes, 3> parts;
  std::array<std::uint64_t, 3> received{};
  std::array<std::int64_t, 3> nextPiece{};
  bool damaged = false;
  // Sized once: growing by doubling would copy the files over and over.
  const PgResult sizes = m_db.exec(
      "SELECT part, sum(octet_length(bytes)) FROM quillotide.facet_file WHERE facet = $1 GROUP BY "
      "part",
      {num(facet)});
  std::array<std::uint64_t, 3> expected{};
  for (int r = 0; r < sizes.rows(); ++r) {
    const std::int64_t part = sizes.integer(r, 0);
    const std::int64_t bytes = sizes.integer(r, 1);
    if (part < 0 || part > 2 || bytes < 0 || bytes > (std::int64_t{1} << 34)) return false;
    expected[static_cast<std::size_t>(part)] = static_cast<std::uint64_t>(bytes);
  }
  if (expected[kMapFile] < files.size.mapBytes() ||
      expected[kIndexFile] != files.size.staticIndexBytes())
    return false;
  for (std::size_t part = 0; part < 3; ++part)
    if (part != kMapFile || !sinks) parts[part].reserve(static_cast<std::size_t>(expected[part]));
  // The map blocks changed since the import, laid over the file's pieces as they pass.
  std::map<std::int64_t, Bytes> changedMap;
  m_db.copyOut("COPY (SELECT m.block, m.bytes FROM quillotide.map_block m JOIN "
               "quillotide.changed_block c ON c.facet = m.facet AND c.part = 0 AND c.block = "
               "m.block WHERE m.facet = current_setting('quillotide.facet')::smallint) TO STDOUT "
               "(FORMAT binary)",
               [&](const PgCopyFields& f) {
                 const auto [block, bytes] = mapBlockOf(f, blocks, facet);
                 changedMap[block].assign(bytes.begin(), bytes.end());
               });
  steps.at(1);
  // With a sink the map goes on as it arrives, so writing it overlaps the server's sending.
  Bytes scratch;
  m_db.copyOut("COPY (SELECT part, piece, bytes FROM quillotide.facet_file WHERE facet = "
               "current_setting('quillotide.facet')::smallint ORDER BY part, piece) TO STDOUT "
               "(FORMAT binary)",
               [&](const PgCopyFields& f) {
                 const std::int64_t part = f.integer(0);
                 const auto bytes = f.field(2);
                 if (damaged || part < 0 || part > 2 || !bytes ||
                     f.integer(1) != nextPiece[static_cast<std::size_t>(part)]++) {
                   damaged = true;
                   return;
                 }
                 const auto p = static_cast<std::size_t>(part);
                 const std::uint64_t start = received[p];
                 received[p] += bytes->size();
                 if (p == kMapFile && sinks) {
                   const auto over = changedMap.lower_bound(
                       static_cast<std::int64_t>(start / kBlockBytes));
                   if (over == changedMap.end() ||
                       static_cast<std::uint64_t>(over->first) * kBlockBytes >= received[p]) {
                     sinks->map(*bytes);
                     return;
                   }
                   scratch.assign(bytes->begin(), bytes->end());
                   layOver(scratch, start, changedMap);
                   sinks->map(scratch);
                   return;
                 }
                 Bytes& out = parts[p];
                 out.insert(out.end(), bytes->begin(), bytes->end());
                 if (p == kMapFile)
                   layOver(std::span(out).subspan(static_cast<std::size_t>(start)), start,
                           changedMap);
               });
  steps.at(2);
  for (std::size_t part = 0; part < 3; ++part)
    if (received[part] != expected[part]) damaged = true;
  if (damaged) return false;
  files.map = std::move(parts[kMapFile]);
  // The statics of the blocks changed since, in file order.
  std::map<std::int64_t, Bytes> changed;
  const PgResult marked = m_db.exec(
      "SELECT block FROM quillotide.changed_block WHERE facet = $1 AND part = 1", {num(facet)});
  for (int r = 0; r < marked.rows(); ++r) changed[marked.integer(r, 0)];
  m_db.copyOut("COPY (SELECT s.id, s.block, s.x, s.y, s.z, s.tile, s.hue FROM quillotide.static s "
               "JOIN quillotide.changed_block c ON c.facet = s.facet AND c.part = 1 AND c.block = "
               "s.block WHERE s.facet = current_setting('quillotide.facet')::smallint ORDER BY "
               "s.block, s.id) TO STDOUT (FORMAT binary)",
               [&](const PgCopyFields& f) {
                 appendStaticRecord(changed[f.integer(1)], staticRecordOf(f));
               });
  steps.at(3);
  const std::map<std::int64_t, std::int32_t> extras = staticExtras(facet);
  const Bytes& index = parts[kIndexFile];
  const Bytes& data = parts[kStaticsFile];
  // The statics are laid out anew, without gaps. Blocks that follow each other in the imported
  // data go on as one run; the index goes on in pieces of a few thousand blocks.
  Bytes indexOut;
  std::uint64_t written = 0;
  std::span<const std::uint8_t> run;
  const auto putData = [&](std::span<const std::uint8_t> bytes) {
    if (sinks) {
      sinks->statics(bytes);
    } else {
      files.statics.insert(files.statics.end(), bytes.begin(), bytes.end());
    }
  };
  const auto putIndex = [&] {
    if (sinks) {
      sinks->staticIndex(indexOut);
    } else {
      files.staticIndex.insert(files.staticIndex.end(), indexOut.begin(), indexOut.end());
    }
    indexOut.clear();
  };
  if (!sinks) {
    files.staticIndex.reserve(index.size());
    files.statics.reserve(data.size());
  }
  constexpr std::size_t kIndexPiece = 4096 * StaticsLayout::kIndexSize;
  indexOut.reserve(kIndexPiece);
  auto next = changed.begin();
  for (std::int64_t b = 0; b < blocks; ++b) {
    if (indexOut.size() >= kIndexPiece) putIndex();
    const std::size_t at = static_cast<std::size_t>(b) * StaticsLayout::kIndexSize;
    std::span<const std::uint8_t> bytes;
    std::uint32_t extra = 0;
    bool imported = false;
    if (next != changed.end() && next->first == b) {
      bytes = next->second;
      const auto e = extras.find(b);
      extra = static_cast<std::uint32_t>(e == extras.end() ? 0 : e->second);
      ++next;
    } else {
      const std::uint32_t lookup = loadU32(&index[at]);
      const std::uint32_t length = loadU32(&index[at + 4]);
      if (lookup != 0xFFFFFFFFu && length != 0 && length <= 0x7FFFFFFFu) {
        if (lookup > data.size() || length > data.size() - lookup) return false;
        bytes = std::span(data).subspan(lookup, length);
        extra = loadU32(&index[at + 8]);
        imported = true;
      }
    }
    std::uint8_t record[StaticsLayout::kIndexSize];
    if (bytes.empty()) {
      std::fill(std::begin(record), std::end(record), std::uint8_t{0xFF});
    } else {
      storeU32(record, static_cast<std::uint32_t>(written));
      storeU32(record + 4, static_cast<std::uint32_t>(bytes.size()));
      storeU32(record + 8, extra);
      written += bytes.size();
      if (imported && !run.empty() && run.data() + run.size() == bytes.data()) {
        run = std::span(run.data(), run.size() + bytes.size());
      } else {
        if (!run.empty()) putData(run);
        run = {};
        if (imported) {
          run = bytes;
        } else {
          putData(bytes);
        }
      }
    }
    indexOut.insert(indexOut.end(), std::begin(record), std::end(record));
  }
  if (!run.empty()) putData(run);
  putIndex();
  steps.at(4);
  return true;
}

void SharedWorld::filesFromRows(int facet, SharedFacetFiles& files, Progress& progress) {
  files.map.clear();
  files.staticIndex.clear();
  files.statics.clear();
  files.staticIds.clear();
  const std::int64_t blocks = files.size.blockCount();
  ProgressSteps steps(progress, blocks * 2);
  files.map.assign(static_cast<std::size_t>(files.size.mapBytes()), 0);
  std::vector<bool> seen(static_cast<std::size_t>(blocks));
  std::int64_t count = 0;
  // In the order the rows lie: each block knows its place in the file.
  m_db.copyOut("COPY (SELECT block, bytes FROM quillotide.map_block WHERE facet = "
               "current_setting('quillotide.facet')::smallint) TO STDOUT (FORMAT binary)",
               [&](const PgCopyFields& f) {
                 const auto block = static_cast<std::size_t>(putMapBlock(files.map, f, blocks, facet));
                 if (seen[block])
                   throw Error("The shared world's map of facet " + num(facet) +
                               " holds block " + num(f.integer(0)) + " twice.");
                 seen[block] = true;
                 if ((++count & 4095) == 0) steps.at(count);
               });
  if (count != blocks)
    throw Error("The shared world's map of facet " + num(facet) + " holds " + num(count) +
                " blocks, not " + num(blocks) + ".");
  const PgResult tail =
      m_db.exec("SELECT map_tail FROM quillotide.facet WHERE facet = $1", {num(facet)});
  const Bytes tailBytes = tail.bytes(0, 0);
  files.map.insert(files.map.end(), tailBytes.begin(), tailBytes.end());

  const std::map<std::int64_t, std::int32_t> extras = staticExtras(facet);
  files.staticIndex.assign(static_cast<std::size_t>(files.size.staticIndexBytes()), 0xFF);
  std::int64_t current = -1;
  std::size_t start = 0;
  const auto closeBlock = [&] {
    if (current < 0) return;
    std::uint8_t* p = &files.staticIndex[static_cast<std::size_t>(current) * StaticsLayout::kIndexSize];
    const auto extra = extras.find(current);
    storeU32(p, static_cast<std::uint32_t>(start));
    storeU32(p + 4, static_cast<std::uint32_t>(files.statics.size() - start));
    storeU32(p + 8, static_cast<std::uint32_t>(extra == extras.end() ? 0 : extra->second));
  };
  m_db.copyOut("COPY (SELECT id, block, x, y, z, tile, hue FROM quillotide.static WHERE facet = "
               "current_setting('quillotide.facet')::smallint ORDER BY block, id) TO STDOUT "
               "(FORMAT binary)",
               [&](const PgCopyFields& f) {
                 const std::int64_t block = f.integer(1);
                 if (block < 0 || block >= blocks || block < current)
                   throw Error("The shared world's statics of facet " + num(facet) +
                               " name block " + num(block) + ", which the map lacks.");
                 if (block != current) {
                   closeBlock();
                   current = block;
                   start = files.statics.size();
                   steps.at(blocks + block);
                 }
                 appendStaticRecord(files.statics, staticRecordOf(f));
                 files.staticIds.push_back(f.integer(0));
               });
  closeBlock();
  steps.at(blocks * 2);
}

std::vector<std::string> SharedWorld::exportFacet(int facet, const std::string& folder, bool uop,
                                                  Progress& progress) {
  const FacetNames names = facetNames(facet);
  if (uop) {
    const SharedFacetFiles files = facetFiles(facet, progress);
    AtomicFile index(joinPath(folder, names.staticIndex));
    AtomicFile data(joinPath(folder, names.statics));
    index.write(files.staticIndex);
    data.write(files.statics);
    commitAll({&index, &data});
    const std::string mapPath = joinPath(folder, names.mapUop);
    containerOfMapFile(files.map, facet).save(mapPath);
    return {mapPath, index.target(), data.target()};
  }
  // The files are written while they arrive, so the disk works while the server sends the rest.
  std::optional<AtomicFile> map, index, data;
  const auto begin = [&] {
    map.emplace(joinPath(folder, names.map));
    index.emplace(joinPath(folder, names.staticIndex));
    data.emplace(joinPath(folder, names.statics));
  };
  begin();
  std::uint64_t unsent = 0;
  FileSinks sinks;
  sinks.map = [&](std::span<const std::uint8_t> bytes) {
    map->write(bytes);
    if ((unsent += bytes.size()) >= (std::uint64_t{16} << 20)) {
      map->startWriteback();
      unsent = 0;
    }
  };
  sinks.staticIndex = [&](std::span<const std::uint8_t> bytes) { index->write(bytes); };
  sinks.statics = [&](std::span<const std::uint8_t> bytes) { data->write(bytes); };
  const SharedFacetFiles files = readFiles(facet, progress, false, &sinks);
  if (!files.map.empty()) {
    // Read from the rows after all: what went to the files so far is dropped.
    map.reset();
    index.reset();
    data.reset();
    begin();
    map->write(files.map);
    index->write(files.staticIndex);
    data->write(files.statics);
  }
  commitAll({&*map, &*index, &*data});
  return {map->target(), index->target(), data->target()};
}

SharedArea SharedWorld::readArea(int facet, int x, int y, int w, int h) {
  const FacetSize size = facetSize(facet);
  SharedArea area;
  const int bx0 = std::max(x, 0) / 8;
  const int by0 = std::max(y, 0) / 8;
  const int bx1 = std::min(x + w - 1, size.width - 1) / 8;
  const int by1 = std::min(y + h - 1, size.height - 1) / 8;
  if (w <= 0 || h <= 0 || bx1 < bx0 || by1 < by0) return area;
  std::vector<std::int64_t> blocks;
  for (int bx = bx0; bx <= bx1; ++bx)
    for (int by = by0; by <= by1; ++by) blocks.push_back(blockIndex(size, bx * 8, by * 8));
  const std::string list = pgIntArray(blocks);
  const PgResult m = m_db.exec(
      "SELECT block, bytes FROM quillotide.map_block WHERE facet = $1 AND block = ANY($2::int[]) "
      "ORDER BY block",
      {num(facet), list});
  for (int r = 0; r < m.rows(); ++r) area.blocks.emplace_back(m.integer(r, 0), m.bytes(r, 1));
  const PgResult s = m_db.exec(
      "SELECT id, x, y, z, tile, hue FROM quillotide.static WHERE facet = $1 AND block = "
      "ANY($2::int[]) ORDER BY block, id",
      {num(facet), list});
  area.statics.reserve(static_cast<std::size_t>(s.rows()));
  for (int r = 0; r < s.rows(); ++r) area.statics.push_back({s.integer(r, 0), *staticStateOf(s, r, 1)});
  return area;
}

SharedWorldInfo SharedWorld::info() {
  SharedWorldInfo info;
  info.schemaVersion = kSchemaVersion;
  info.builderRole = m_builderRole;
  info.viewerRole = m_viewerRole;
  const PgResult f = m_db.exec(
      "SELECT f.facet, f.width, f.height, (SELECT count(*) FROM quillotide.static s WHERE "
      "s.facet = f.facet) FROM quillotide.facet f ORDER BY f.facet");
  for (int r = 0; r < f.rows(); ++r)
    info.facets.push_back({static_cast<int>(f.integer(r, 0)),
                           {static_cast<int>(f.integer(r, 1)), static_cast<int>(f.integer(r, 2))},
                           f.integer(r, 3)});
  const auto members = [&](const std::string& role) {
    const PgResult m = m_db.exec(
        "SELECT u.rolname FROM pg_auth_members a JOIN pg_roles u ON u.oid = a.member JOIN "
        "pg_roles g ON g.oid = a.roleid WHERE g.rolname = $1 ORDER BY u.rolname",
        {role});
    std::vector<std::string> names;
    for (int r = 0; r < m.rows(); ++r) names.push_back(m.text(r, 0));
    return names;
  };
  info.builders = members(m_builderRole);
  info.viewers = members(m_viewerRole);
  const PgResult last = m_db.exec(std::string("SELECT ") + kStepColumns +
                                  " FROM quillotide.step ORDER BY id DESC LIMIT 1");
  if (last.rows() > 0) info.lastStep = stepInfoOf(last, 0);
  info.steps = m_db.exec("SELECT count(*) FROM quillotide.step").integer(0, 0);
  return info;
}

std::vector<SharedStepInfo> SharedWorld::log(const SharedLogFilter& filter) {
  const auto rect = [&](std::size_t k) -> PgParam {
    return filter.rect ? PgParam(num((*filter.rect)[k])) : std::nullopt;
  };
  const PgResult r = m_db.exec(
      std::string("SELECT ") + kStepColumns +
          " FROM quillotide.step WHERE ($1::timestamptz IS NULL OR at >= $1::timestamptz) AND "
          "($2::text IS NULL OR builder = $2::text) AND ($3::int IS NULL OR facet = $3::int) AND "
          "($4::int IS NULL OR (cells + statics > 0 AND x1 >= $4::int AND x0 < $4::int + $6::int "
          "AND y1 >= $5::int AND y0 < $5::int + $7::int)) AND ($9::bigint IS NULL OR id > "
          "$9::bigint) ORDER BY id DESC LIMIT CASE WHEN $8::int > 0 THEN $8::int END",
      {filter.since, filter.builder, filter.facet ? PgParam(num(*filter.facet)) : std::nullopt,
       rect(0), rect(1), rect(2), rect(3), num(filter.limit),
       filter.after ? PgParam(num(*filter.after)) : std::nullopt});
  std::vector<SharedStepInfo> steps;
  for (int i = r.rows() - 1; i >= 0; --i) steps.push_back(stepInfoOf(r, i));
  return steps;
}

std::optional<SharedStepInfo> SharedWorld::stepInfo(std::int64_t step) {
  const PgResult r = m_db.exec(std::string("SELECT ") + kStepColumns +
                                   " FROM quillotide.step WHERE id = $1",
                               {num(step)});
  if (r.rows() == 0) return std::nullopt;
  return stepInfoOf(r, 0);
}

SharedStep SharedWorld::stepChanges(std::int64_t step) {
  const std::optional<SharedStepInfo> info = stepInfo(step);
  if (!info) throw Error("There is no step " + num(step) + " in the shared world.");
  SharedStep s;
  s.facet = info->facet;
  s.name = info->name;
  const PgResult cells = m_db.exec(
      "SELECT x, y, old_tile, old_z, new_tile, new_z FROM quillotide.step_cell WHERE step = $1 "
      "ORDER BY x, y",
      {num(step)});
  for (int r = 0; r < cells.rows(); ++r)
    s.cells.push_back({static_cast<int>(cells.integer(r, 0)), static_cast<int>(cells.integer(r, 1)),
                       {static_cast<std::uint16_t>(cells.integer(r, 2)),
                        static_cast<std::int8_t>(cells.integer(r, 3))},
                       {static_cast<std::uint16_t>(cells.integer(r, 4)),
                        static_cast<std::int8_t>(cells.integer(r, 5))}});
  const PgResult statics = m_db.exec(
      "SELECT static, old_x, old_y, old_z, old_tile, old_hue, new_x, new_y, new_z, new_tile, "
      "new_hue FROM quillotide.step_static WHERE step = $1 ORDER BY static",
      {num(step)});
  for (int r = 0; r < statics.rows(); ++r)
    s.statics.push_back(
        {statics.integer(r, 0), staticStateOf(statics, r, 1), staticStateOf(statics, r, 6)});
  return s;
}

SharedStepResult SharedWorld::apply(const SharedStep& step, SharedStepKind kind,
                                    std::int64_t reverts) {
  const std::string tail = kind == SharedStepKind::Edit   ? "your step was not applied"
                           : kind == SharedStepKind::Undo ? "your step was not taken back"
                                                          : "step " + num(reverts) + " was not taken back";
  const FacetSize size = facetSize(step.facet);

  const FoldedStep folded = fold(step, size);
  const auto& [cells, known, added] = folded;
  const std::size_t changes = cells.size() + known.size() + added.size();
  if (changes > kMaxStepChanges)
    throw Error("The step changes " + num(static_cast<std::int64_t>(changes)) +
                " cells and statics; a shared world takes at most " +
                num(static_cast<std::int64_t>(kMaxStepChanges)) +
                " in one step. Make it in smaller steps; nothing was applied.");
  SharedStepResult result;
  if (changes == 0) return result;

  std::vector<std::int64_t> blocks;
  for (const auto& [at, c] : cells) blocks.push_back(blockIndex(size, c.x, c.y));
  std::sort(blocks.begin(), blocks.end());
  blocks.erase(std::unique(blocks.begin(), blocks.end()), blocks.end());
  std::vector<std::int64_t> ids;
  for (const auto& [id, c] : known) ids.push_back(id);
  int x0 = INT32_MAX, y0 = INT32_MAX, x1 = INT32_MIN, y1 = INT32_MIN;
  const auto touch = [&](int x, int y) {
    x0 = std::min(x0, x);
    y0 = std::min(y0, y);
    x1 = std::max(x1, x);
    y1 = std::max(y1, y);
  };
  std::set<std::int64_t> staticBlocks;
  for (const auto& [at, c] : cells) touch(c.x, c.y);
  const auto touchStatic = [&](const SharedStaticChange& c) {
    for (const auto& s : {c.before, c.after})
      if (s) {
        touch(s->x, s->y);
        staticBlocks.insert(blockIndex(size, s->x, s->y));
      }
  };
  for (const auto& [id, c] : known) touchStatic(c);
  for (const SharedStaticChange& c : added) touchStatic(c);

  const std::string token = newToken();
  const std::string facet = num(step.facet);
  std::optional<Conflict> conflict;
  try {
    m_db.exec("BEGIN");
    // Rows are locked in one order (blocks, then statics by id), so two steps cannot wait on
    // each other.
    std::map<std::int64_t, Bytes> blockBytes;
    if (!blocks.empty()) {
      const PgResult r = m_db.exec(
          "SELECT block, bytes FROM quillotide.map_block WHERE facet = $1 AND block = "
          "ANY($2::int[]) ORDER BY block FOR UPDATE",
          {facet, pgIntArray(blocks)});
      for (int i = 0; i < r.rows(); ++i) blockBytes[r.integer(i, 0)] = r.bytes(i, 1);
    }
    for (const auto& [at, c] : cells) {
      auto it = blockBytes.find(blockIndex(size, c.x, c.y));
      if (it == blockBytes.end() || it->second.size() != kBlockBytes)
        throw Error("The shared world's map of facet " + facet + " lacks the block of cell " +
                    num(c.x) + "," + num(c.y) + ".");
      std::uint8_t* cell = &it->second[mapCellOffsetInBlock(c.x, c.y)];
      if (loadMapCell(cell) != c.before) {
        conflict = Conflict{false, 0, c.x, c.y, 0, "changed"};
        break;
      }
      storeMapCell(cell, c.after);
    }
    std::map<std::int64_t, SharedStaticState> current;
    if (!conflict && !ids.empty()) {
      const PgResult r = m_db.exec(
          "SELECT id, x, y, z, tile, hue FROM quillotide.static WHERE facet = $1 AND id = "
          "ANY($2::bigint[]) ORDER BY id FOR UPDATE",
          {facet, pgIntArray(ids)});
      for (int i = 0; i < r.rows(); ++i) current[r.integer(i, 0)] = *staticStateOf(r, i, 1);
    }
    for (const auto& [id, c] : known) {
      if (conflict) break;
      const auto it = current.find(id);
      const std::optional<SharedStaticState> now =
          it == current.end() ? std::nullopt : std::optional(it->second);
      if (now == c.before) continue;
      if (c.before)
        conflict = Conflict{true, id, c.before->x, c.before->y, c.before->tileId,
                            staticVerb(*c.before, now)};
      else
        conflict = Conflict{true, id, now->x, now->y, now->tileId, "put back"};
    }
    if (conflict) {
      m_db.exec("ROLLBACK");
      result.refusal = refusalText(m_db, *conflict, step.facet, tail);
      return result;
    }

    // New statics get their ids now, in the order of the step's changes.
    std::vector<std::int64_t> newIds;
    if (!added.empty()) {
      const PgResult r = m_db.exec(
          "SELECT nextval('quillotide.static_id_seq') FROM generate_series(1, $1::int)",
          {num(static_cast<std::int64_t>(added.size()))});
      for (int i = 0; i < r.rows(); ++i) newIds.push_back(r.integer(i, 0));
    }
    if (!blockBytes.empty()) {
      std::vector<std::int64_t> changed;
      std::vector<Bytes> bytes;
      for (auto& [b, v] : blockBytes) {
        changed.push_back(b);
        bytes.push_back(std::move(v));
      }
      m_db.exec("UPDATE quillotide.map_block m SET bytes = v.bytes FROM unnest($2::int[], "
                "$3::bytea[]) AS v(block, bytes) WHERE m.facet = $1 AND m.block = v.block",
                {facet, pgIntArray(changed), pgByteaArray(bytes)});
    }
    // Statics: removed, changed in place, and inserted (new ones and ones put back).
    std::vector<std::int64_t> removed;
    struct Columns {
      std::vector<std::int64_t> id, block, x, y, z, tile, hue;
      void add(std::int64_t i, std::int64_t b, const SharedStaticState& s) {
        id.push_back(i);
        block.push_back(b);
        x.push_back(s.x);
        y.push_back(s.y);
        z.push_back(s.z);
        tile.push_back(s.tileId);
        hue.push_back(s.hue);
      }
      std::vector<PgParam> params() const {
        return {pgIntArray(id), pgIntArray(block), pgIntArray(x), pgIntArray(y),
                pgIntArray(z),  pgIntArray(tile),  pgIntArray(hue)};
      }
    } updated, inserted;
    for (const auto& [id, c] : known) {
      if (!c.after)
        removed.push_back(id);
      else if (c.before)
        updated.add(id, blockIndex(size, c.after->x, c.after->y), *c.after);
      else
        inserted.add(id, blockIndex(size, c.after->x, c.after->y), *c.after);
    }
    for (std::size_t i = 0; i < added.size(); ++i)
      inserted.add(newIds[i], blockIndex(size, added[i].after->x, added[i].after->y),
                   *added[i].after);
    if (!removed.empty())
      m_db.exec("DELETE FROM quillotide.static WHERE id = ANY($1::bigint[])",
                {pgIntArray(removed)});
    if (!updated.id.empty()) {
      m_db.exec("UPDATE quillotide.static s SET block = v.block, x = v.x, y = v.y, z = v.z, "
                "tile = v.tile, hue = v.hue FROM unnest($1::bigint[], $2::int[], $3::int[], "
                "$4::int[], $5::smallint[], $6::int[], $7::int[]) AS v(id, block, x, y, z, tile, "
                "hue) WHERE s.id = v.id",
                updated.params());
    }
    if (!inserted.id.empty()) {
      std::vector<PgParam> params = inserted.params();
      params.push_back(facet);
      m_db.exec("INSERT INTO quillotide.static (id, facet, block, x, y, z, tile, hue) SELECT "
                "v.id, $8::smallint, v.block, v.x, v.y, v.z, v.tile, v.hue FROM "
                "unnest($1::bigint[], $2::int[], $3::int[], $4::int[], $5::smallint[], $6::int[], "
                "$7::int[]) AS v(id, block, x, y, z, tile, hue)",
                params);
    }
    // A block whose statics changed is written anew, as the single-file save does, and loses
    // the third index field it was read with.
    if (!staticBlocks.empty()) {
      const std::vector<std::int64_t> list(staticBlocks.begin(), staticBlocks.end());
      m_db.exec("DELETE FROM quillotide.static_block WHERE facet = $1 AND block = ANY($2::int[])",
                {facet, pgIntArray(list)});
    }
    const PgResult s = m_db.exec(
        "INSERT INTO quillotide.step (facet, name, kind, reverts, token, cells, statics, x0, y0, "
        "x1, y1) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11) RETURNING id",
        {facet, step.name, sharedStepKindText(kind), reverts > 0 ? PgParam(num(reverts)) : std::nullopt,
         token, num(static_cast<std::int64_t>(cells.size())),
         num(static_cast<std::int64_t>(known.size() + added.size())), num(x0), num(y0), num(x1),
         num(y1)});
    const std::string stepId = s.text(0, 0);
    if (!cells.empty()) {
      std::vector<std::int64_t> cx, cy, ot, oz, nt, nz;
      for (const auto& [at, c] : cells) {
        cx.push_back(c.x);
        cy.push_back(c.y);
        ot.push_back(c.before.tileId);
        oz.push_back(c.before.z);
        nt.push_back(c.after.tileId);
        nz.push_back(c.after.z);
      }
      m_db.exec("INSERT INTO quillotide.step_cell (step, facet, x, y, old_tile, old_z, new_tile, "
                "new_z) SELECT $1, $2, * FROM unnest($3::int[], $4::int[], $5::int[], "
                "$6::smallint[], $7::int[], $8::smallint[])",
                {stepId, facet, pgIntArray(cx), pgIntArray(cy), pgIntArray(ot), pgIntArray(oz),
                 pgIntArray(nt), pgIntArray(nz)});
    }
    {
      std::vector<std::int64_t> sid;
      std::vector<std::optional<std::int64_t>> col[10];
      const auto put = [&](std::int64_t id, const std::optional<SharedStaticState>& before,
                           const std::optional<SharedStaticState>& after) {
        sid.push_back(id);
        int k = 0;
        for (const auto& state : {before, after}) {
          const auto field = [&](auto member) {
            col[k++].push_back(state ? std::optional<std::int64_t>((*state).*member)
                                     : std::nullopt);
          };
          field(&SharedStaticState::x);
          field(&SharedStaticState::y);
          field(&SharedStaticState::z);
          field(&SharedStaticState::tileId);
          field(&SharedStaticState::hue);
        }
      };
      for (const auto& [id, c] : known) put(id, c.before, c.after);
      for (std::size_t i = 0; i < added.size(); ++i) put(newIds[i], std::nullopt, added[i].after);
      if (!sid.empty()) {
        std::vector<PgParam> params = {stepId, facet, pgIntArray(sid)};
        for (const auto& c : col) params.push_back(pgIntArray(c));
        m_db.exec("INSERT INTO quillotide.step_static (step, facet, static, old_x, old_y, old_z, "
                  "old_tile, old_hue, new_x, new_y, new_z, new_tile, new_hue) SELECT $1, $2, * "
                  "FROM unnest($3::bigint[], $4::int[], $5::int[], $6::smallint[], $7::int[], "
                  "$8::int[], $9::int[], $10::int[], $11::smallint[], $12::int[], $13::int[])",
                  params);
      }
    }
    m_db.exec("SELECT pg_notify($1, $2)", {kStepChannel, facet + " " + stepId});
    m_db.exec("COMMIT");
    result.applied = true;
    result.step = std::stoll(stepId);
    result.newStatics = std::move(newIds);
    return result;
  } catch (const ConnectionLostError& lost) {
    // The step is whole or absent; which one, only the world can tell once it is back.
    try {
      reconnect();
    } catch (const ConnectionLostError&) {
      throw ConnectionLostError(std::string(lost.what()) +
                                "; whether your step was applied is known once the shared world "
                                "can be reached again");
    }
    const PgResult r =
        m_db.exec("SELECT id FROM quillotide.step WHERE token = $1", {token});
    if (r.rows() > 0) {
      result.applied = true;
      result.step = r.integer(0, 0);
      const PgResult n = m_db.exec(
          "SELECT static FROM quillotide.step_static WHERE step = $1 AND old_x IS NULL ORDER BY "
          "static",
          {num(result.step)});
      for (int i = 0; i < n.rows(); ++i) result.newStatics.push_back(n.integer(i, 0));
      return result;
    }
    result.refusal = "The connection to the shared world was lost before the step was committed; " +
                     tail + ".";
    return result;
  } catch (...) {
    if (m_db.isConnected()) {
      try {
        m_db.exec("ROLLBACK");
      } catch (const DatabaseError&) {
      }
    }
    throw;
  }
}

SharedStepResult SharedWorld::revert(std::int64_t step) {
  const SharedStep done = stepChanges(step);
  return apply(inverseOf(done, "Revert of step " + num(step) + " (" + done.name + ")"),
               SharedStepKind::Revert, step);
}

SharedStepResult SharedWorld::undoOwnLast(int facet) {
  facetSize(facet);
  const PgResult r = m_db.exec(
      "SELECT s.id FROM quillotide.step s WHERE s.builder = session_user AND s.facet = $1 AND "
      "s.kind = 'edit' AND NOT EXISTS (SELECT 1 FROM quillotide.step u WHERE u.reverts = s.id) "
      "ORDER BY s.id DESC LIMIT 1",
      {num(facet)});
  if (r.rows() == 0) {
    SharedStepResult none;
    none.refusal = "You have no step on facet " + num(facet) + " left to take back.";
    return none;
  }
  const std::int64_t id = r.integer(0, 0);
  const SharedStep done = stepChanges(id);
  return apply(inverseOf(done, "Undo " + done.name), SharedStepKind::Undo, id);
}

std::string SharedWorld::roleName(SharedRole role) {
  return role == SharedRole::Builder ? m_builderRole : m_viewerRole;
}

namespace {

// Runs a change of roles; a login that may not make it is told who may.
template <class F>
void changingRoles(PgConnection& db, F&& f) {
  try {
    db.transaction(f);
  } catch (const DatabaseError& e) {
    if (e.sqlState() != "42501") throw;
    throw Error("The login " + db.user() + " may not give or take the roles of this shared world (" +
                e.what() + "): ask its owner.");
  }
}

}  // namespace

std::string SharedWorld::grant(const std::string& name, SharedRole role) {
  if (name.empty()) throw Error("A login name is needed.");
  const std::string word = role == SharedRole::Builder ? "builder" : "viewer";
  bool created = false;
  changingRoles(m_db, [&] {
    created = m_db.exec("SELECT 1 FROM pg_roles WHERE rolname = $1", {name}).rows() == 0;
    if (created) createRole(m_db, name, true);
    const std::string other =
        roleName(role == SharedRole::Builder ? SharedRole::Viewer : SharedRole::Builder);
    m_db.execScript("REVOKE " + m_db.identifier(other) + " FROM " + m_db.identifier(name) +
                    "; GRANT " + m_db.identifier(roleName(role)) + " TO " +
                    m_db.identifier(name));
  });
  return name + " is now a " + word + " of the shared world" +
         (created ? " (the login role was created; give it a password with ALTER ROLE or "
                    "psql's \\password)."
                  : ".");
}

std::string SharedWorld::revoke(const std::string& name) {
  if (m_db.exec("SELECT 1 FROM pg_roles WHERE rolname = $1", {name}).rows() == 0)
    throw Error("There is no login role " + name + ".");
  changingRoles(m_db, [&] {
    m_db.execScript("REVOKE " + m_db.identifier(m_builderRole) + ", " +
                    m_db.identifier(m_viewerRole) + " FROM " + m_db.identifier(name));
  });
  return name + " is no longer a builder or viewer of the shared world.";
}

void SharedWorld::listen() {
  m_db.execScript(std::string("LISTEN ") + kStepChannel);
  m_listening = true;
}

void SharedWorld::reconnect() {
  m_db.reconnect();
  if (m_listening) listen();
}

}  // namespace quillotide
