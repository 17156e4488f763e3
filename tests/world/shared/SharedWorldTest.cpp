#include <gtest/gtest.h>
#include <sys/select.h>

#include <atomic>
#include <filesystem>
#include <chrono>
#include <functional>
#include <random>
#include <thread>

#include "app/FileIO.h"
#include "app/Uop.h"
#include "world/Item.h"
#include "world/Map.h"
#include "world/SharedWorld.h"
#include "world/Statics.h"
#include "support/PgCluster.h"
#include "support/TestFiles.h"
#include "support/WorldFiles.h"

using namespace quillotide;
using quillotide::test::PgCluster;
using quillotide::test::PlacedStatic;
using quillotide::test::TempDir;

namespace {

Progress g_silent;

void createDirectories(const std::string& path) { std::filesystem::create_directories(path); }
constexpr int kW = 64;
constexpr int kH = 48;

std::string freshWorld(PgCluster& cluster, const std::string& name) {
  const std::string url = cluster.createDatabase(name);
  SharedWorld::init(url);
  return url;
}

struct SourceFiles {
  std::string map, index, data;
};

// A 64 x 48 facet: land of many ids and altitudes, a map file with 5 bytes past the world,
// statics in many blocks, and some index records whose third field is not 0.
SourceFiles writeFacet(const std::string& folder, unsigned seed, int statics = 300) {
  std::mt19937 rng(seed);
  Bytes map = test::makeMapBytes(kW, kH, [](int x, int y) {
    return test::CellSpec{static_cast<std::uint16_t>(3 + (x * 7 + y * 3) % 50),
                          static_cast<std::int8_t>((x + y) % 20 - 10)};
  });
  map.insert(map.end(), {1, 2, 3, 4, 5});
  std::vector<PlacedStatic> placed;
  for (int i = 0; i < statics; ++i)
    placed.push_back({static_cast<std::uint16_t>(0x100 + rng() % 64), static_cast<int>(rng() % kW),
                      static_cast<int>(rng() % kH), static_cast<std::int8_t>(rng() % 40 - 20),
                      static_cast<std::uint16_t>(rng() % 3)});
  auto files = test::makeStaticsFiles(kW, kH, placed);
  for (std::size_t at = 0; at + 12 <= files.index.size(); at += 36)
    if (files.index[at] != 0xFF) files.index[at + 8] = 0x5A;
  SourceFiles out{folder + "/map0.mul", folder + "/staidx0.mul", folder + "/statics0.mul"};
  test::writeBytes(out.map, map);
  test::writeBytes(out.index, files.index);
  test::writeBytes(out.data, files.data);
  return out;
}

SharedStaticState stateOf(const TItem& item) {
  return {item.x, item.y, item.z, item.tileId, item.hue};
}

// The same edits made on the files with the single-machine models and on the shared world.
class BothWays {
public:
  BothWays(const std::string& url, const TempDir& dir) : world(url) {
    const SourceFiles source = writeFacet(dir.path(), 7);
    world.importFacet(0, {kW, kH}, source.map, source.index, source.data, g_silent);
    files = writeFacet(dir.path() + "/single", 7);
    map.open(files.map, kW, kH);
    statics.open(files.index, files.data, kW, kH, StorageMode::Memory);
    // Blocks read in index order number the statics as the world orders them.
    for (int bx = 0; bx < kW / 8; ++bx)
      for (int by = 0; by < kH / 8; ++by) statics.itemsAt(bx * 8, by * 8);
    const SharedFacetFiles held = world.facetFiles(0, g_silent, true);
    EXPECT_EQ(held.staticIds.size(), statics.itemCount());
    for (std::size_t k = 0; k < held.staticIds.size(); ++k) {
      idOf[kStaticSerialBase + static_cast<std::int32_t>(k)] = held.staticIds[k];
      live.push_back(kStaticSerialBase + static_cast<std::int32_t>(k));
    }
  }

  // Applies one random edit both ways; returns false when it changed nothing.
  bool randomEdit(std::mt19937& rng) {
    SharedStep step;
    step.name = "edit";
    std::function<void()> back;
    const int op = static_cast<int>(rng() % 6);
    if (op == 0 || live.empty()) {
      const int x = static_cast<int>(rng() % kW), y = static_cast<int>(rng() % kH);
      const MapCell before = *map.cell(x, y);
      const MapCell after{static_cast<std::uint16_t>(rng() % 80),
                          static_cast<std::int8_t>(rng() % 256 - 128)};
      map.setTileId(x, y, after.tileId);
      map.setAltitude(x, y, after.z);
      step.cells.push_back({x, y, before, after});
      back = [this, x, y, before] {
        map.setTileId(x, y, before.tileId);
        map.setAltitude(x, y, before.z);
      };
    } else if (op == 1) {
      const SharedStaticState s{static_cast<int>(rng() % kW), static_cast<int>(rng() % kH),
                                static_cast<int>(rng() % 60 - 30),
                                static_cast<std::uint16_t>(0x200 + rng() % 16),
                                static_cast<std::uint16_t>(rng() % 4)};
      const std::int32_t serial = statics.add(s.tileId, s.x, s.y, s.z, s.hue);
      step.statics.push_back({0, std::nullopt, s});
      const SharedStepResult r = apply(step);
      if (!r.applied) return false;
      idOf[serial] = r.newStatics.at(0);
      live.push_back(serial);
      undo.push_back([this, serial] {
        statics.remove(serial);
        std::erase(live, serial);
      });
      return true;
    } else {
      const std::size_t pick = rng() % live.size();
      const std::int32_t serial = live[pick];
      const SharedStaticState before = stateOf(*statics.item(serial));
      if (op == 2) {
        const int dx = std::clamp(static_cast<int>(rng() % 21) - 10, -before.x, kW - 1 - before.x);
        const int dy = std::clamp(static_cast<int>(rng() % 21) - 10, -before.y, kH - 1 - before.y);
        statics.move(serial, dx, dy, static_cast<int>(rng() % 11) - 5);
        const SharedStaticState after = stateOf(*statics.item(serial));
        back = [this, serial, dx, dy, dz = after.z - before.z] { statics.move(serial, -dx, -dy, -dz); };
      } else if (op == 3) {
        statics.setHue(serial, static_cast<std::uint16_t>(rng() % 5));
        back = [this, serial, before] { statics.setHue(serial, before.hue); };
      } else if (op == 4) {
        statics.setTileId(serial, static_cast<std::uint16_t>(0x100 + rng() % 64));
        back = [this, serial, before] { statics.setTileId(serial, before.tileId); };
      } else {
        statics.remove(serial);
        live.erase(live.begin() + static_cast<std::ptrdiff_t>(pick));
        back = [this, serial] {
          statics.restore(serial);
          live.push_back(serial);
        };
      }
      const TItem now = *statics.item(serial);
      step.statics.push_back({idOf.at(serial), before,
                              now.deleted ? std::nullopt : std::optional(stateOf(now))});
    }
    const SharedStepResult r = apply(step);
    if (!r.applied) return false;
    undo.push_back(back);
    return true;
  }

  // Takes back the last edit both ways: the world's own undo, the inverse edits on the files.
  void undoLast() {
    if (undo.empty()) return;
    const SharedStepResult r = world.undoOwnLast(0);
    ASSERT_TRUE(r.applied) << r.refusal;
    undo.back()();
    undo.pop_back();
  }

  SharedStepResult apply(const SharedStep& step) {
    const SharedStepResult r = world.apply(step);
    EXPECT_TRUE(r.applied || r.refusal.empty()) << r.refusal;
    return r;
  }

  SharedWorld world;
  SourceFiles files;
  TMap map;
  TStatics statics;
  std::map<std::int32_t, std::int64_t> idOf;
  std::vector<std::int32_t> live;
  std::vector<std::function<void()>> undo;
};

}  // namespace

TEST(SharedWorld, ARandomEditScriptExportsTheFilesTheSingleMachineSaveWrites) {
  NEED_SERVER();
  const std::string url = freshWorld(cluster, "random_edits");
  TempDir dir;
  createDirectories(dir.path() + "/single");
  createDirectories(dir.path() + "/compact");
  createDirectories(dir.path() + "/export");
  BothWays both(url, dir);
  std::mt19937 rng(20261210);
  int made = 0;
  for (int i = 0; i < 160; ++i) {
    if (rng() % 8 == 0)
      both.undoLast();
    else
      made += both.randomEdit(rng) ? 1 : 0;
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(made, 100);
  both.map.saveChangedBlocks();
  both.statics.save(both.files.index, both.files.data, StaticsSaveMode::StaticsOnly, nullptr,
                    g_silent);
  // The single-machine save appends changed blocks and keeps the old bytes; compacted, it is
  // the form the shared world writes.
  both.statics.compact(dir.file("compact/staidx0.mul"), dir.file("compact/statics0.mul"), g_silent);
  const auto written = both.world.exportFacet(0, dir.file("export"), false, g_silent);
  ASSERT_EQ(written.size(), 3u);
  EXPECT_TRUE(readFile(dir.file("export/map0.mul")) == readFile(both.files.map));
  EXPECT_TRUE(readFile(dir.file("export/staidx0.mul")) == readFile(dir.file("compact/staidx0.mul")));
  EXPECT_TRUE(readFile(dir.file("export/statics0.mul")) ==
              readFile(dir.file("compact/statics0.mul")));
  // Written from the imported files and the changed blocks, or from every row: the same files.
  const SharedFacetFiles fromRows = both.world.facetFiles(0, g_silent, true);
  EXPECT_TRUE(fromRows.map == readFile(both.files.map));
  EXPECT_TRUE(fromRows.staticIndex == readFile(dir.file("compact/staidx0.mul")));
  EXPECT_TRUE(fromRows.statics == readFile(dir.file("compact/statics0.mul")));

  // The history holds every step, the undos naming the steps they take back.
  const auto steps = both.world.log({});
  EXPECT_GE(steps.size(), static_cast<std::size_t>(made));
  for (const SharedStepInfo& s : steps)
    if (s.kind == SharedStepKind::Undo) {
      EXPECT_GT(s.reverts, 0);
      EXPECT_LT(s.reverts, s.id);
    }
}

TEST(SharedWorld, LaysOutImportsAndWritesBackAnUneditedFacetExactly) {
  NEED_SERVER();
  const std::string url = freshWorld(cluster, "layout");
  EXPECT_NE(SharedWorld::init(url).find("nothing to do"), std::string::npos);
  TempDir dir;
  const SourceFiles source = writeFacet(dir.path(), 3);
  SharedWorld world(url);
  EXPECT_TRUE(world.canWrite());
  std::vector<std::string> problems;
  EXPECT_EQ(world.importFacet(0, {kW, kH}, source.map, source.index, source.data, g_silent,
                              &problems),
            300);
  EXPECT_TRUE(problems.empty());
  const Bytes before = readFile(source.map);
  EXPECT_THROW(world.importFacet(0, {kW, kH}, source.map, source.index, source.data, g_silent),
               Error);

  const SharedWorldInfo info = world.info();
  ASSERT_EQ(info.facets.size(), 1u);
  EXPECT_EQ(info.facets[0].size, (FacetSize{kW, kH}));
  EXPECT_EQ(info.facets[0].statics, 300);
  EXPECT_EQ(info.builderRole, "layout_builder");
  EXPECT_EQ(info.steps, 0);

  createDirectories(dir.path() + "/out");
  world.exportFacet(0, dir.file("out"), false, g_silent);
  EXPECT_TRUE(readFile(dir.file("out/map0.mul")) == before);
  TStatics statics;
  statics.open(source.index, source.data, kW, kH, StorageMode::Memory);
  statics.compact(dir.file("staidx.compact"), dir.file("statics.compact"), g_silent);
  EXPECT_TRUE(readFile(dir.file("out/staidx0.mul")) == readFile(dir.file("staidx.compact")));
  EXPECT_TRUE(readFile(dir.file("out/statics0.mul")) == readFile(dir.file("statics.compact")));

  // As a container: the map it holds is the same file.
  createDirectories(dir.path() + "/uop");
  world.exportFacet(0, dir.file("uop"), true, g_silent);
  EXPECT_TRUE(mapFileOfContainer(UopContainer::read(dir.file("uop/map0LegacyMUL.uop")),
                                 dir.file("uop/map0LegacyMUL.uop"), nullptr) == before);
}

TEST(SharedWorld, WritesOutAMapOfSeveralPiecesAndGetsPastADamagedCopyOfTheImport) {
  NEED_SERVER();
  const std::string url = freshWorld(cluster, "pieces");
  TempDir dir;
  // 1024 x 512: the map file is held in two pieces of 1 MB, and block 5349 (cells 664..671,
  // 296..303) lies across the seam.
  constexpr int w = 1024;
  constexpr int h = 512;
  const SourceFiles source{dir.file("map0.mul"), dir.file("staidx0.mul"), dir.file("statics0.mul")};
  test::writeBytes(source.map, test::makeMapBytes(w, h, [](int x, int y) {
                     return test::CellSpec{static_cast<std::uint16_t>(3 + (x + y) % 90), 0};
                   }));
  const auto placed = test::makeStaticsFiles(
      w, h, {{0x100, 665, 297, 0, 0}, {0x101, 665, 297, 5, 1}, {0x102, 1000, 500, 0, 0}});
  test::writeBytes(source.index, placed.index);
  test::writeBytes(source.data, placed.data);
  SharedWorld world(url);
  world.importFacet(0, {w, h}, source.map, source.index, source.data, g_silent);
  const MapCell was{static_cast<std::uint16_t>(3 + (664 + 296) % 90), 0};
  const MapCell wasLast{static_cast<std::uint16_t>(3 + (671 + 303) % 90), 0};
  ASSERT_TRUE(world
                  .apply({0, "Seam", {{664, 296, was, {0x21, 4}}, {671, 303, wasLast, {0x22, -4}}},
                          {{0, std::nullopt, SharedStaticState{666, 298, 3, 0x103, 2}}}})
                  .applied);

  const SharedFacetFiles rows = world.facetFiles(0, g_silent, true);
  const auto same = [&](const std::string& folder) {
    EXPECT_TRUE(readFile(folder + "/map0.mul") == rows.map);
    EXPECT_TRUE(readFile(folder + "/staidx0.mul") == rows.staticIndex);
    EXPECT_TRUE(readFile(folder + "/statics0.mul") == rows.statics);
  };
  createDirectories(dir.path() + "/out");
  world.exportFacet(0, dir.file("out"), false, g_silent);
  same(dir.file("out"));
  const Bytes map = readFile(dir.file("out/map0.mul"));
  ASSERT_EQ(map.size(), std::size_t{w} * h / 64 * 196);
  EXPECT_EQ(map[5349 * 196 + 4], 0x21);
  EXPECT_EQ(map[5349 * 196 + 193], 0x22);

  // The second piece of the map goes missing from the copy after the first was written: the
  // files come from the rows instead, whole.
  PgConnection(url).exec(
      "UPDATE quillotide.facet_file SET piece = 9 WHERE facet = 0 AND part = 0 AND piece = 1");
  createDirectories(dir.path() + "/again");
  world.exportFacet(0, dir.file("again"), false, g_silent);
  same(dir.file("again"));
  EXPECT_TRUE(readFile(dir.file("out/map0.mul")) == map);
}

TEST(SharedWorld, SaysWhatItFoundWhereThereIsNoWorldOfThisVersion) {
  NEED_SERVER();
  const std::string plain = cluster.createDatabase("plain");
  try {
    SharedWorld world(plain);
    FAIL() << "opened a database without a world";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("holds no shared world"), std::string::npos) << e.what();
  }
  try {
    SharedWorld world("postgresql:///x?host=/nonexistent-quillotide");
    FAIL() << "reached a server that is not there";
  } catch (const ConnectionLostError& e) {
    EXPECT_NE(std::string(e.what()).find("cannot be reached"), std::string::npos);
  }
  const std::string url = freshWorld(cluster, "newer");
  {
    PgConnection db(url);
    db.exec("UPDATE quillotide.meta SET value = '7' WHERE key = 'schema_version'");
  }
  for (const auto& open : std::vector<std::function<void()>>{
           [&] { SharedWorld world(url); }, [&] { SharedWorld::init(url); }}) {
    try {
      open();
      FAIL() << "took a world of a newer layout";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find("layout version 7"), std::string::npos) << e.what();
    }
  }
  SharedWorld world(freshWorld(cluster, "nofacet"));
  EXPECT_THROW(world.facetSize(2), Error);
  TempDir dir;
  EXPECT_THROW(world.exportFacet(2, dir.path(), false, g_silent), Error);
  EXPECT_FALSE(fileExists(dir.file("map2.mul")));
}

namespace {

// A world with one facet and two builders, anna and bob, each with a connection of their own.
struct Team {
  explicit Team(PgCluster& cluster, const std::string& name) {
    url = freshWorld(cluster, name);
    TempDir dir;
    const SourceFiles source = writeFacet(dir.path(), 11, 40);
    SharedWorld owner(url);
    owner.importFacet(0, {kW, kH}, source.map, source.index, source.data, g_silent);
    for (const char* who : {"anna", "bob", "vera"}) cluster.createLogin(who);
    owner.grant("anna", SharedRole::Builder);
    owner.grant("bob", SharedRole::Builder);
    owner.grant("vera", SharedRole::Viewer);
    const std::string db = name;
    anna = std::make_unique<SharedWorld>(cluster.url(db, "anna"));
    bob = std::make_unique<SharedWorld>(cluster.url(db, "bob"));
    firstStatic = owner.facetFiles(0, g_silent, true).staticIds.at(0);
    PgConnection look(url);
    const PgResult r = look.exec(
        "SELECT x, y, z, tile, hue FROM quillotide.static WHERE id = $1", {std::to_string(firstStatic)});
    seen = {static_cast<int>(r.integer(0, 0)), static_cast<int>(r.integer(0, 1)),
            static_cast<int>(r.integer(0, 2)), static_cast<std::uint16_t>(r.integer(0, 3)),
            static_cast<std::uint16_t>(r.integer(0, 4))};
  }
  std::string url;
  std::unique_ptr<SharedWorld> anna, bob;
  std::int64_t firstStatic = 0;
  SharedStaticState seen;
};

SharedStaticState movedBy(const SharedStaticState& from, int dx) {
  SharedStaticState to = from;
  to.x = std::clamp(from.x + dx, 0, kW - 1);
  return to;
}

SharedStep moveStep(std::int64_t id, const SharedStaticState& from, int dx) {
  return {0, "Move", {}, {{id, from, movedBy(from, dx)}}};
}

std::string hhmm(const SharedStepInfo& s) { return s.at.substr(11, 5); }

}  // namespace

TEST(SharedWorld, AStepOnWhatAnotherBuilderChangedIsRefusedNamingThem) {
  NEED_SERVER();
  Team team(cluster, "conflicts");
  // anna moves the static; bob, who saw it where it was, recolours it.
  const SharedStepResult moved = team.anna->apply(moveStep(team.firstStatic, team.seen, 1));
  ASSERT_TRUE(moved.applied) << moved.refusal;
  SharedStaticState recoloured = movedBy(team.seen, 1);
  recoloured.hue = 0x44;
  const SharedStepResult refused =
      team.bob->apply({0, "Recolour", {}, {{team.firstStatic, team.seen, recoloured}}});
  EXPECT_FALSE(refused.applied);
  EXPECT_EQ(team.anna->info().steps, 1);
  const SharedStepInfo annas = *team.anna->stepInfo(moved.step);
  char tile[8];
  std::snprintf(tile, sizeof tile, "0x%04X", team.seen.tileId);
  EXPECT_EQ(refused.refusal, std::string("Static ") + tile + " at " + std::to_string(team.seen.x) +
                                 "," + std::to_string(team.seen.y) + " was moved by anna at " +
                                 hhmm(annas) + "; your step was not applied");
  EXPECT_EQ(annas.builder, "anna");

  // One cell: bob's step with it and another cell is refused whole.
  const MapCell cell{0x10, 4};
  const MapCell annasCell{0x22, 9};
  PgConnection look(team.url);
  const auto cellNow = [&](int x, int y) {
    const PgResult r = look.exec(
        "SELECT bytes FROM quillotide.map_block WHERE facet = 0 AND block = $1",
        {std::to_string((x / 8) * (kH / 8) + y / 8)});
    return loadMapCell(&r.bytes(0, 0).at(mapCellOffsetInBlock(x, y)));
  };
  const MapCell seen = cellNow(20, 30);
  const MapCell otherSeen = cellNow(21, 30);
  ASSERT_TRUE(team.anna->apply({0, "Land", {{20, 30, seen, annasCell}}, {}}).applied);
  const SharedStepResult cellRefused =
      team.bob->apply({0, "Land", {{21, 30, otherSeen, cell}, {20, 30, seen, cell}}, {}});
  EXPECT_FALSE(cellRefused.applied);
  EXPECT_EQ(cellRefused.refusal.rfind("Cell 20,30 was changed by anna at ", 0), 0u)
      << cellRefused.refusal;
  EXPECT_EQ(cellNow(21, 30), otherSeen);
  EXPECT_EQ(cellNow(20, 30), annasCell);

  // anna's undo is refused once bob has changed the same static since.
  const SharedStepResult bobs = team.bob->apply(
      {0, "Recolour", {}, {{team.firstStatic, movedBy(team.seen, 1), recoloured}}});
  ASSERT_TRUE(bobs.applied) << bobs.refusal;
  ASSERT_TRUE(team.anna->undoOwnLast(0).applied);  // the cell, which nobody touched since
  const SharedStepResult undo = team.anna->undoOwnLast(0);
  EXPECT_FALSE(undo.applied);
  EXPECT_NE(undo.refusal.find("was recoloured by bob at "), std::string::npos) << undo.refusal;
  EXPECT_NE(undo.refusal.find("your step was not taken back"), std::string::npos);
  // Two identical statics on one cell stay two.
  const SharedStaticState twin{5, 5, 0, 0x300, 0};
  const SharedStepResult twins =
      team.bob->apply({0, "Twins", {}, {{0, std::nullopt, twin}, {0, std::nullopt, twin}}});
  ASSERT_TRUE(twins.applied);
  ASSERT_EQ(twins.newStatics.size(), 2u);
  EXPECT_NE(twins.newStatics[0], twins.newStatics[1]);
  EXPECT_TRUE(team.bob->apply({0, "One goes", {}, {{twins.newStatics[0], twin, std::nullopt}}})
                  .applied);
  EXPECT_EQ(look.exec("SELECT count(*) FROM quillotide.static WHERE x = 5 AND y = 5 AND tile = "
                      "768").integer(0, 0),
            1);
}

TEST(SharedWorld, RevertTakesOneStepBackAndTheLogFilters) {
  NEED_SERVER();
  Team team(cluster, "history");
  const SharedStepResult a = team.anna->apply(moveStep(team.firstStatic, team.seen, 2));
  ASSERT_TRUE(a.applied);
  const SharedStepResult b =
      team.bob->apply({0, "Far away", {}, {{0, std::nullopt, SharedStaticState{60, 40, 0, 0x301, 0}}}});
  ASSERT_TRUE(b.applied);
  const SharedStepResult back = team.bob->revert(a.step);
  ASSERT_TRUE(back.applied) << back.refusal;
  const auto info = team.bob->stepInfo(back.step);
  EXPECT_EQ(info->kind, SharedStepKind::Revert);
  EXPECT_EQ(info->reverts, a.step);
  EXPECT_EQ(info->builder, "bob");
  // Taken back twice: the static is no longer where step a put it.
  const SharedStepResult again = team.bob->revert(a.step);
  EXPECT_FALSE(again.applied);
  EXPECT_NE(again.refusal.find("step " + std::to_string(a.step) + " was not taken back"),
            std::string::npos)
      << again.refusal;
  // Reverting the creation removes the static; reverting that revert puts it back under its id.
  const SharedStepResult gone = team.anna->revert(b.step);
  ASSERT_TRUE(gone.applied);
  const SharedStepResult returned = team.anna->revert(gone.step);
  ASSERT_TRUE(returned.applied) << returned.refusal;
  PgConnection look(team.url);
  EXPECT_EQ(look.exec("SELECT x FROM quillotide.static WHERE id = $1",
                      {std::to_string(b.newStatics.at(0))})
                .integer(0, 0),
            60);

  SharedLogFilter byBob;
  byBob.builder = "bob";
  for (const auto& s : team.anna->log(byBob)) EXPECT_EQ(s.builder, "bob");
  EXPECT_EQ(team.anna->log(byBob).size(), 2u);
  SharedLogFilter corner;
  corner.rect = std::array<int, 4>{56, 36, 8, 8};
  const auto there = team.anna->log(corner);
  ASSERT_EQ(there.size(), 3u);  // b, its revert and the revert of that
  EXPECT_EQ(there[0].id, b.step);
  SharedLogFilter later;
  later.since = "2999-01-01";
  EXPECT_TRUE(team.anna->log(later).empty());
}

TEST(SharedWorld, AViewerCannotWriteEvenWithOwnSqlAndBuildersCannotChangeHistory) {
  NEED_SERVER();
  Team team(cluster, "rights");
  const SharedStepResult a = team.anna->apply(moveStep(team.firstStatic, team.seen, 1));
  ASSERT_TRUE(a.applied);
  SharedWorld vera(cluster.url("rights", "vera"));
  EXPECT_FALSE(vera.canWrite());
  EXPECT_FALSE(vera.info().facets.empty());
  EXPECT_THROW(vera.apply(moveStep(team.firstStatic, team.seen, 3)), DatabaseError);
  for (const char* sql : {"UPDATE quillotide.static SET hue = 1",
                          "DELETE FROM quillotide.static",
                          "UPDATE quillotide.map_block SET bytes = ''",
                          "INSERT INTO quillotide.step (facet, name, kind, token, cells, statics, "
                          "x0, y0, x1, y1) VALUES (0, 'x', 'edit', 'v', 0, 0, 0, 0, 0, 0)"}) {
    try {
      vera.connection().exec(sql);
      ADD_FAILURE() << "a viewer ran " << sql;
    } catch (const DatabaseError& e) {
      EXPECT_EQ(e.sqlState(), "42501") << sql << ": " << e.what();
    }
  }
  for (const char* sql : {"UPDATE quillotide.step SET builder = 'bob'",
                          "DELETE FROM quillotide.step_static", "DELETE FROM quillotide.step"}) {
    try {
      team.anna->connection().exec(sql);
      ADD_FAILURE() << "a builder ran " << sql;
    } catch (const DatabaseError& e) {
      EXPECT_EQ(e.sqlState(), "42501") << sql << ": " << e.what();
    }
  }
  // The history names the login, whatever a builder writes into it.
  PgConnection raw(cluster.url("rights", "anna"));
  raw.exec("INSERT INTO quillotide.step (facet, name, kind, token, cells, statics, x0, y0, x1, "
           "y1, builder) VALUES (0, 'forged', 'edit', 'forged', 0, 0, 0, 0, 0, 0, 'bob')");
  EXPECT_EQ(raw.exec("SELECT builder FROM quillotide.step WHERE token = 'forged'").text(0, 0),
            "anna");
  // Roles are the owner's to give and take.
  try {
    team.anna->revoke("vera");
    ADD_FAILURE() << "a builder took a role";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("may not give or take"), std::string::npos) << e.what();
  }
  EXPECT_NE(SharedWorld(team.url).revoke("vera").find("no longer"), std::string::npos);
  EXPECT_THROW(SharedWorld(cluster.url("rights", "vera")), Error);
}

TEST(SharedWorld, AnotherEditorHearsOfAStepWithinASecond) {
  NEED_SERVER();
  Team team(cluster, "notify");
  team.bob->listen();
  const SharedStepResult a = team.anna->apply(moveStep(team.firstStatic, team.seen, 1));
  ASSERT_TRUE(a.applied);
  std::vector<PgNotification> heard;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (heard.empty() && std::chrono::steady_clock::now() < until) {
    fd_set read;
    FD_ZERO(&read);
    const int fd = team.bob->connection().socket();
    FD_SET(fd, &read);
    timeval wait{0, 100000};
    select(fd + 1, &read, nullptr, nullptr, &wait);
    heard = team.bob->connection().takeNotifications();
  }
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].channel, SharedWorld::kStepChannel);
  EXPECT_EQ(heard[0].payload, "0 " + std::to_string(a.step));
  const SharedStep changes = team.bob->stepChanges(a.step);
  ASSERT_EQ(changes.statics.size(), 1u);
  EXPECT_EQ(changes.statics[0].before, team.seen);
}

TEST(SharedWorld, RefusesStepsOutsideTheFacetOrTooLargeWritingNothing) {
  NEED_SERVER();
  Team team(cluster, "bounds");
  EXPECT_THROW(team.anna->apply({0, "x", {{kW, 0, {}, {}}}, {}}), Error);
  EXPECT_THROW(team.anna->apply({0, "x", {}, {{0, std::nullopt, SharedStaticState{0, kH, 0, 1, 0}}}}),
               Error);
  EXPECT_THROW(team.anna->apply({3, "x", {{0, 0, {}, {}}}, {}}), Error);
  SharedStep huge{0, "Everything", {}, {}};
  for (std::size_t i = 0; i <= SharedWorld::kMaxStepChanges; ++i)
    huge.statics.push_back({0, std::nullopt, SharedStaticState{1, 1, 0, 1, 0}});
  try {
    team.anna->apply(huge);
    FAIL() << "a step over the limit was taken";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("500001 cells and statics"), std::string::npos) << e.what();
  }
  EXPECT_EQ(team.anna->info().steps, 0);
}

TEST(SharedWorld, AServerKilledMidStepLosesNothingCommittedAndTellsTheBuilder) {
  NEED_SERVER();
  Team team(cluster, "crash");
  const SharedStepResult kept = team.anna->apply(moveStep(team.firstStatic, team.seen, 1));
  ASSERT_TRUE(kept.applied);
  // bob holds the static's row, so anna's next step waits inside its transaction.
  PgConnection holder(cluster.url("crash", "bob"));
  holder.exec("BEGIN");
  holder.exec("SELECT 1 FROM quillotide.static WHERE id = $1 FOR UPDATE",
              {std::to_string(team.firstStatic)});
  std::atomic<bool> done = false;
  std::string told;
  std::thread step([&] {
    try {
      const SharedStepResult r =
          team.anna->apply(moveStep(team.firstStatic, movedBy(team.seen, 1), 1));
      told = r.applied ? "applied" : r.refusal;
    } catch (const ConnectionLostError& e) {
      told = e.what();
    }
    done = true;
  });
  // Wait until anna's statement waits on the lock.
  PgConnection watch(team.url);
  for (int i = 0; i < 500; ++i) {
    if (watch.exec("SELECT count(*) FROM pg_stat_activity WHERE usename = 'anna' AND "
                   "wait_event_type = 'Lock'")
            .integer(0, 0) > 0)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  cluster.kill9();
  step.join();
  EXPECT_TRUE(done);
  EXPECT_NE(told.find("cannot be reached"), std::string::npos) << told;
  // libpq breaks this text over lines; the builder is told it on one.
  EXPECT_EQ(told.find_first_of("\n\t"), std::string::npos) << told;
  EXPECT_NE(told.find("whether your step was applied is known once"), std::string::npos) << told;
  ASSERT_TRUE(cluster.start());
  SharedWorld after(team.url);
  const auto steps = after.log({});
  ASSERT_EQ(steps.size(), 1u);
  EXPECT_EQ(steps[0].id, kept.step);
  PgConnection look(team.url);
  EXPECT_EQ(look.exec("SELECT x FROM quillotide.static WHERE id = $1",
                      {std::to_string(team.firstStatic)})
                .integer(0, 0),
            std::min(team.seen.x + 1, kW - 1));
}
