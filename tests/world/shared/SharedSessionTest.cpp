#include <gtest/gtest.h>
#include <sys/select.h>

#include <chrono>

#include "world/Item.h"
#include "world/Map.h"
#include "world/SharedSession.h"
#include "world/Statics.h"
#include "support/PgCluster.h"
#include "support/TestFiles.h"
#include "support/WorldFiles.h"

using namespace quillotide;
using quillotide::test::PgCluster;
using quillotide::test::TempDir;

namespace {

Progress g_silent;
constexpr int kW = 64;
constexpr int kH = 48;

// One builder's editor: the models a session fills.
struct Editor {
  Editor(const std::string& url, const std::string& mapFile)
      : session(std::make_unique<SharedWorld>(url), 0) {
    session.load(map, statics, mapFile, g_silent);
  }
  // Waits up to a second for the notifications of other builders' steps and puts them in.
  SharedTouched hear() {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    SharedTouched touched;
    while (touched.empty() && std::chrono::steady_clock::now() < until) {
      fd_set read;
      FD_ZERO(&read);
      const int fd = session.world().connection().socket();
      FD_SET(fd, &read);
      timeval wait{0, 50000};
      select(fd + 1, &read, nullptr, nullptr, &wait);
      touched = session.takeSteps();
    }
    return touched;
  }
  TMap map;
  TStatics statics;
  SharedSession session;
};

struct TwoEditors {
  explicit TwoEditors(PgCluster& cluster, const std::string& name) {
    url = cluster.createDatabase(name);
    SharedWorld::init(url);
    const Bytes map = test::makeMapBytes(kW, kH, [](int x, int y) {
      return test::CellSpec{static_cast<std::uint16_t>(3 + x + y), 0};
    });
    const auto files = test::makeStaticsFiles(
        kW, kH, {{0x100, 10, 10, 0, 0}, {0x101, 10, 10, 5, 0}, {0x102, 40, 30, 0, 7}});
    test::writeBytes(dir.file("map0.mul"), map);
    test::writeBytes(dir.file("staidx0.mul"), files.index);
    test::writeBytes(dir.file("statics0.mul"), files.data);
    SharedWorld owner(url);
    owner.importFacet(0, {kW, kH}, dir.file("map0.mul"), dir.file("staidx0.mul"),
                      dir.file("statics0.mul"), g_silent);
    for (const char* who : {"anna", "bob"}) {
      cluster.createLogin(who);
      owner.grant(who, SharedRole::Builder);
    }
    anna = std::make_unique<Editor>(cluster.url(name, "anna"), dir.file("anna.mul"));
    bob = std::make_unique<Editor>(cluster.url(name, "bob"), dir.file("bob.mul"));
  }
  TempDir dir;
  std::string url;
  std::unique_ptr<Editor> anna, bob;
};

std::int32_t serialAt(const Editor& e, int x, int y, std::uint16_t id) {
  for (const TItem& item : const_cast<TStatics&>(e.statics).itemsAt(x, y))
    if (item.tileId == id) return item.serial;
  return 0;
}

}  // namespace

TEST(SharedSession, TwoEditorsSeeEachOthersStepsWithinASecond) {
  NEED_SERVER();
  TwoEditors team(cluster, "session_two");
  Editor& anna = *team.anna;
  Editor& bob = *team.bob;
  // The two identical-looking statics on one cell are two, in both editors, by the same ids.
  const std::int32_t lower = serialAt(anna, 10, 10, 0x100);
  ASSERT_NE(lower, 0);
  EXPECT_EQ(anna.session.idOf(lower), bob.session.idOf(serialAt(bob, 10, 10, 0x100)));

  anna.map.setTileId(3, 4, 0x222);
  anna.map.setAltitude(3, 4, 12);
  anna.statics.move(lower, 2, 0, 0);
  const SharedStepResult a = anna.session.commit("Move and land");
  ASSERT_TRUE(a.applied) << a.refusal;
  EXPECT_TRUE(anna.session.pendingStep("nothing").empty());

  const SharedTouched heard = bob.hear();
  EXPECT_EQ(heard.cells.size(), 1u);
  ASSERT_EQ(heard.statics.size(), 1u);
  EXPECT_EQ(bob.map.cell(3, 4)->tileId, 0x222);
  EXPECT_EQ(bob.map.cell(3, 4)->z, 12);
  const TItem moved = *bob.statics.item(heard.statics[0]);
  EXPECT_EQ(moved.x, 12);
  EXPECT_EQ(moved.tileId, 0x100);
  EXPECT_TRUE(bob.session.pendingStep("nothing").empty());

  // bob adds a static; anna's editor gets it under the id the world gave it.
  const std::int32_t added = bob.statics.add(0x333, 20, 21, 3, 5);
  const SharedStepResult b = bob.session.commit("Add");
  ASSERT_TRUE(b.applied) << b.refusal;
  ASSERT_TRUE(bob.session.idOf(added));
  const SharedTouched got = anna.hear();
  ASSERT_EQ(got.statics.size(), 1u);
  EXPECT_EQ(anna.session.idOf(got.statics[0]), bob.session.idOf(added));
  const TItem there = *anna.statics.item(got.statics[0]);
  EXPECT_EQ(std::make_tuple(there.x, there.y, there.z, there.tileId, there.hue),
            std::make_tuple(20, 21, 3, 0x333, 5));
  // Its own step does not come back to anna's editor twice.
  EXPECT_TRUE(anna.hear().empty());
}

TEST(SharedSession, ARefusedStepIsTakenBackAndTheEditorCatchesUp) {
  NEED_SERVER();
  TwoEditors team(cluster, "session_refused");
  Editor& anna = *team.anna;
  Editor& bob = *team.bob;
  anna.statics.move(serialAt(anna, 40, 30, 0x102), 0, 3, 0);
  ASSERT_TRUE(anna.session.commit("Move").applied);
  // bob, who has not heard of it yet, recolours the static where he still sees it and changes a
  // cell in the same step.
  const std::int32_t his = serialAt(bob, 40, 30, 0x102);
  bob.statics.setHue(his, 0x55);
  const MapCell before = *bob.map.cell(1, 1);
  bob.map.setTileId(1, 1, 0x777);
  SharedTouched touched;
  const SharedStepResult r = bob.session.commit("Recolour", &touched);
  EXPECT_FALSE(r.applied);
  EXPECT_EQ(r.refusal.rfind("Static 0x0102 at 40,30 was moved by anna at ", 0), 0u) << r.refusal;
  // Nothing of bob's step stays; anna's move is there.
  const TItem now = *bob.statics.item(his);
  EXPECT_EQ(std::make_tuple(now.x, now.y, now.hue), std::make_tuple(40, 33, 7));
  EXPECT_EQ(*bob.map.cell(1, 1), before);
  EXPECT_TRUE(bob.session.pendingStep("nothing").empty());
  EXPECT_FALSE(touched.empty());
}

TEST(SharedSession, UndoTakesBackTheBuildersOwnStepInEveryEditor) {
  NEED_SERVER();
  TwoEditors team(cluster, "session_undo");
  Editor& anna = *team.anna;
  Editor& bob = *team.bob;
  const std::int32_t upper = serialAt(anna, 10, 10, 0x101);
  anna.statics.remove(upper);
  ASSERT_TRUE(anna.session.commit("Delete").applied);
  ASSERT_EQ(bob.hear().statics.size(), 1u);
  EXPECT_EQ(serialAt(bob, 10, 10, 0x101), 0);

  const SharedStepResult back = anna.session.undo();
  ASSERT_TRUE(back.applied) << back.refusal;
  EXPECT_FALSE(anna.statics.item(upper)->deleted);
  bob.hear();
  const std::int32_t returned = serialAt(bob, 10, 10, 0x101);
  ASSERT_NE(returned, 0);
  // Put back under its own identity, not as a new static.
  EXPECT_EQ(bob.session.idOf(returned), anna.session.idOf(upper));
  EXPECT_FALSE(anna.session.undo().applied);
}

TEST(SharedSession, AfterTheServerWasGoneAnEditorReconnectsAndCatchesUp) {
  NEED_SERVER();
  TwoEditors team(cluster, "session_lost");
  Editor& anna = *team.anna;
  Editor& bob = *team.bob;
  cluster.kill9();
  // The editor learns of it when its socket says the connection ended.
  bool lost = false;
  for (int i = 0; i < 40 && !lost; ++i) {
    try {
      anna.hear();
    } catch (const ConnectionLostError&) {
      lost = true;
    }
  }
  EXPECT_TRUE(lost);
  ASSERT_TRUE(cluster.start());
  // bob's first step meets the dead connection: it is not applied and his editor shows the
  // world as it is; once connected again, the same edit goes through.
  const MapCell before = *bob.map.cell(5, 5);
  bob.map.setTileId(5, 5, 0x444);
  EXPECT_THROW(bob.session.commit("Land"), ConnectionLostError);
  EXPECT_EQ(*bob.map.cell(5, 5), before);
  EXPECT_TRUE(bob.session.pendingStep("nothing").empty());
  bob.session.world().reconnect();
  bob.map.setTileId(5, 5, 0x444);
  ASSERT_TRUE(bob.session.commit("Land").applied);
  // anna missed the announcement while she was away; catching up brings the step.
  anna.session.world().reconnect();
  const SharedTouched caught = anna.session.catchUp();
  ASSERT_EQ(caught.cells.size(), 1u);
  EXPECT_EQ(anna.map.cell(5, 5)->tileId, 0x444);
  EXPECT_EQ(anna.session.lastStep(), bob.session.lastStep());
}
