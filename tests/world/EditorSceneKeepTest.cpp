// A moved view keeps the items of the cells still in view and reads only the cells that came in;
// what it shows must be what a view reading every cell at the same place shows. A change of one
// copy's look redraws only its command. The atlas packs pictures apart from each other.

#include <gtest/gtest.h>

#include <random>

#include "support/EditorWorld.h"
#include "world/EditorScene.h"
#include "world/PictureAtlas.h"

namespace quillotide {
namespace {

using test::CellSpec;
using test::EditorWorld;
using test::PlacedStatic;

constexpr int kSide = 96;

std::vector<PlacedStatic> mixedStatics() {
  std::vector<PlacedStatic> out;
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      const int k = (x * 5 + y * 3) % 7;
      if (k < 4) out.push_back({EditorWorld::kFloor, x, y, std::int8_t(k), 0});
      if (k % 2 == 0) out.push_back({EditorWorld::kPost, x, y, std::int8_t(k * 2), std::uint16_t(k)});
      // Equal keys on one cell sum: only the models' order tells them apart.
      if (k == 5) out.push_back({EditorWorld::kPost, x, y, 0, 0});
      if ((x + y) % 11 == 0) out.push_back({EditorWorld::kAnimated, x, y, 0, 0});
    }
  return out;
}

CellSpec hills(int x, int y) {
  const int z = (x / 7 + y / 9) % 3 == 0 ? (x * 7 + y) % 6 : 0;
  return {z ? EditorWorld::kTexturedLand : EditorWorld::kRedLand, std::int8_t(z)};
}

struct MixedWorld : EditorWorld {
  MixedWorld() : EditorWorld(kSide, mixedStatics(), hills) {
    for (int i = 0; i < 60; ++i)
      worldFile.add(EditorWorld::kFrame, std::uint16_t((i * 13) % kSide),
                    std::uint16_t((i * 29) % kSide), std::int8_t(i % 5), 0);
  }
};

void expectSameFrame(EditorScene& moved, EditorScene& fresh, const std::string& where) {
  ASSERT_EQ(moved.visibleItems().size(), fresh.visibleItems().size()) << where;
  for (std::size_t i = 0; i < moved.visibleItems().size(); ++i)
    ASSERT_EQ(moved.visibleItems()[i], fresh.visibleItems()[i]) << where << " item " << i;
  ASSERT_EQ(moved.commands().size(), fresh.commands().size()) << where;
  for (std::size_t i = 0; i < moved.commands().size(); ++i) {
    const DrawCommand& a = moved.commands()[i];
    const DrawCommand& b = fresh.commands()[i];
    ASSERT_EQ(a.item, b.item) << where << " command " << i;
    EXPECT_EQ(a.serial, b.serial);
    EXPECT_EQ(a.left, b.left);
    EXPECT_EQ(a.top, b.top);
    EXPECT_EQ(a.hidden, b.hidden);
    EXPECT_EQ(a.inSelection, b.inSelection);
    EXPECT_TRUE(a.picture->pixels == b.picture->pixels) << where << " command " << i;
  }
}

TEST(EditorSceneKeep, AMovedViewShowsWhatAFreshReadOfItsPlaceShows) {
  MixedWorld world;
  EditorScene moved(world.sources());
  moved.setViewCentre(30, 40);
  moved.prepare(0);
  EXPECT_FALSE(moved.lastRebuildKept());
  const std::size_t wholeRead = moved.lastRebuildRead();
  // The item under the mouse: the model marks it, the copy shows it.
  for (TItem& it : moved.visibleItems())
    if (it.kind == ItemKind::Static && it.x == 31 && it.y == 40) {
      world.statics.select(it.serial);
      it.selected = kHoverLook;
      break;
    }
  struct Step {
    int dx, dy;
    double zoom;
  };
  const Step steps[] = {{1, 0, 1},  {0, -1, 1},   {2, 3, 1},  {-7, 1, 1},  {0, 0, 1.25},
                        {5, -4, 1.25}, {0, 0, 0.8}, {-3, -3, 0.8}, {40, 40, 0.8}, {-1, 2, 2.5},
                        {0, 0, 0.33}};
  for (const Step& s : steps) {
    moved.setZoom(s.zoom);
    moved.setViewCentre(moved.centreX() + s.dx, moved.centreY() + s.dy);
    moved.prepare(0);
    const std::string where = std::to_string(moved.centreX()) + "," +
                              std::to_string(moved.centreY()) + " zoom " + std::to_string(s.zoom);
    EXPECT_TRUE(moved.lastRebuildKept()) << where;
    EditorScene fresh(world.sources());
    fresh.setZoom(s.zoom);
    fresh.setViewCentre(moved.centreX(), moved.centreY());
    fresh.prepare(0);
    expectSameFrame(moved, fresh, where);
    if (s.dx == 1 && s.dy == 0) {
      EXPECT_LT(moved.lastRebuildRead() * 10, wholeRead) << where;
    }
  }
}

TEST(EditorSceneKeep, ACopyChangedWithoutARebuildMakesTheNextMoveReadEveryCell) {
  MixedWorld world;
  EditorScene scene(world.sources());
  scene.setViewCentre(40, 40);
  scene.prepare(0);
  scene.setViewCentre(41, 40);
  scene.prepare(0);
  EXPECT_TRUE(scene.lastRebuildKept());
  // The delete tool marks the copy and the model, and asks for no rebuild.
  for (TItem& it : scene.visibleItems())
    if (it.kind == ItemKind::Static) {
      world.statics.remove(it.serial);
      it.deleted = 1;
      break;
    }
  scene.setViewCentre(42, 40);
  scene.prepare(0);
  EXPECT_FALSE(scene.lastRebuildKept());
  EditorScene fresh(world.sources());
  fresh.setViewCentre(42, 40);
  fresh.prepare(0);
  expectSameFrame(scene, fresh, "after the delete");
  // An edit asks for a rebuild: every cell is read again.
  scene.requestRebuild();
  scene.prepare(0);
  EXPECT_FALSE(scene.lastRebuildKept());
}

TEST(EditorSceneKeep, ANewLookRedrawsOnlyItsCommand) {
  MixedWorld world;
  EditorScene scene(world.sources());
  scene.setViewCentre(48, 48);
  scene.prepare(0);
  EXPECT_TRUE(scene.takeCommandChanges().all);
  // The animations start with a switch at once; then nothing is due for a while.
  scene.prepare(0);
  scene.takeCommandChanges();
  scene.prepare(1);
  const CommandChanges none = scene.takeCommandChanges();
  EXPECT_FALSE(none.all);
  EXPECT_TRUE(none.commands.empty());
  std::size_t at = 0;
  for (std::size_t i = 0; i < scene.commands().size(); ++i)
    if (!scene.commands()[i].hidden && !scene.commands()[i].animated &&
        isObjectKind(scene.visibleItems()[scene.commands()[i].item].kind))
      at = i;
  const std::uint32_t item = scene.commands()[at].item;
  const ScenePicture* before = scene.commands()[at].picture;
  scene.visibleItems()[item].selected = kHoverLook;
  scene.prepare(2);
  const CommandChanges one = scene.takeCommandChanges();
  EXPECT_FALSE(one.all);
  ASSERT_EQ(one.commands.size(), 1u);
  EXPECT_EQ(one.commands[0], at);
  EXPECT_NE(scene.commands()[at].picture, before);
  // The same commands as a frame made whole.
  const std::vector<DrawCommand> light = scene.commands();
  scene.setMaxZ(scene.maxZ());
  scene.prepare(3);
  EXPECT_TRUE(scene.takeCommandChanges().all);
  ASSERT_EQ(light.size(), scene.commands().size());
  for (std::size_t i = 0; i < light.size(); ++i) {
    EXPECT_EQ(light[i].picture, scene.commands()[i].picture) << i;
    EXPECT_EQ(light[i].hidden, scene.commands()[i].hidden) << i;
  }
  // An animation switching frames redraws only the animated commands.
  const auto due = scene.nextAnimationDue();
  ASSERT_TRUE(due.has_value());
  scene.prepare(*due);
  const CommandChanges frames = scene.takeCommandChanges();
  EXPECT_FALSE(frames.all);
  EXPECT_FALSE(frames.commands.empty());
  for (const std::uint32_t c : frames.commands) EXPECT_TRUE(scene.commands()[c].animated);
}

TEST(PictureAtlas, PicturesLieApartWithTheirMarginsOnFewPages) {
  PictureAtlas atlas(512, 2048);
  std::mt19937 random(5);
  struct Placed {
    AtlasPlace at;
    int w, h;
  };
  std::vector<Placed> placed;
  for (int i = 0; i < 400; ++i) {
    const int w = 1 + int(random() % 90), h = 1 + int(random() % 120);
    placed.push_back({atlas.place(w, h), w, h});
  }
  // One picture larger than a page gets a page as large as it needs; one beyond the largest
  // side none.
  placed.push_back({atlas.place(700, 300), 700, 300});
  EXPECT_EQ(atlas.place(3000, 10).page, -1);
  EXPECT_EQ(atlas.place(0, 10).page, -1);
  const int m = PictureAtlas::kMargin;
  for (std::size_t i = 0; i < placed.size(); ++i) {
    const Placed& a = placed[i];
    ASSERT_GE(a.at.page, 0);
    const int side = atlas.pageSide(a.at.page);
    EXPECT_GE(a.at.x, m);
    EXPECT_GE(a.at.y, m);
    EXPECT_LE(a.at.x + a.w + m, side);
    EXPECT_LE(a.at.y + a.h + m, side);
    for (std::size_t j = 0; j < i; ++j) {
      const Placed& b = placed[j];
      if (a.at.page != b.at.page) continue;
      const bool apart = a.at.x + a.w + m <= b.at.x - m || b.at.x + b.w + m <= a.at.x - m ||
                         a.at.y + a.h + m <= b.at.y - m || b.at.y + b.h + m <= a.at.y - m;
      EXPECT_TRUE(apart) << i << " and " << j;
    }
  }
  EXPECT_EQ(atlas.pageSide(placed.back().at.page), 1024);
  // Shelves waste little: the pictures fill most of the pages they opened.
  std::int64_t pages = 0;
  for (int p = 0; p < atlas.pageCount(); ++p) pages += std::int64_t(atlas.pageSide(p)) * atlas.pageSide(p);
  EXPECT_GT(atlas.usedArea() * 2, pages - 1024 * 1024);
  atlas.clear();
  EXPECT_EQ(atlas.pageCount(), 0);
}

}  // namespace
}  // namespace quillotide
