#include "world/EditorScene.h"

#include <climits>
#include <filesystem>

#include <gtest/gtest.h>

#include "models/Verdata.h"
#include "support/EditorWorld.h"

namespace quillotide {
namespace {

using test::EditorWorld;
using test::PlacedStatic;

constexpr int kC = 32;  // the view centre of the test worlds

TItem staticAt(std::uint16_t id, int x, int y, int z, std::uint16_t hue = 0) {
  TItem t;
  t.tileId = id;
  t.x = static_cast<std::uint16_t>(x);
  t.y = static_cast<std::uint16_t>(y);
  t.z = static_cast<std::int8_t>(z);
  t.hue = hue;
  t.kind = ItemKind::Static;
  return t;
}

TItem landAt(int x, int y, int z) {
  TItem t = staticAt(EditorWorld::kRedLand, x, y, z);
  t.kind = ItemKind::Land;
  t.width = t.height = 44;
  return t;
}

EditorScene sceneOver(EditorWorld& world) {
  EditorScene scene(world.sources());
  scene.setViewCentre(kC, kC);
  return scene;
}

// The window pixel at the middle of the cell's diamond, at zoom 1 in 800 x 600.
std::pair<int, int> cellPixel(int x, int y, int z = 0) {
  return {(x - y) * 22 + 400, (x + y - 2 * kC) * 22 + 300 + 22 - 4 * z};
}

TEST(EditorScene, DrawOrderFollowsCellSumAltitudeKindHeightAndHue) {
  EditorWorld world(16);
  const TTiledata* td = &world.tiledata;
  // The smaller x + y first, whatever the altitude.
  EXPECT_LT(drawOrder(staticAt(1, 3, 3, 100), staticAt(1, 4, 3, 0), td), 0);
  // A floor (background and surface) comes before another static on its cell at equal z.
  EXPECT_LT(
      drawOrder(staticAt(EditorWorld::kFloor, 5, 5, 0), staticAt(EditorWorld::kPost, 5, 5, 0), td),
      0);
  EXPECT_GT(
      drawOrder(staticAt(EditorWorld::kPost, 5, 5, 0), staticAt(EditorWorld::kFloor, 5, 5, 0), td),
      0);
  // Land at z 2 and a static at z 0 (weight 2): equal, the land is drawn below.
  EXPECT_LT(drawOrder(landAt(5, 5, 2), staticAt(EditorWorld::kFrame, 5, 5, 0), td), 0);
  EXPECT_EQ(drawOrder(landAt(5, 5, 2), landAt(6, 4, 2), td), 0);
  // Then the lower static height, then hue 0 before a hue.
  EXPECT_LT(
      drawOrder(staticAt(EditorWorld::kFrame, 5, 5, 0), staticAt(EditorWorld::kPost, 5, 5, 0), td),
      0);
  EXPECT_LT(drawOrder(staticAt(EditorWorld::kFrame, 5, 5, 0),
                      staticAt(EditorWorld::kFrame, 5, 5, 0, 7), td),
            0);
  EXPECT_EQ(drawOrder(staticAt(EditorWorld::kFrame, 5, 5, 0, 3),
                      staticAt(EditorWorld::kFrame, 5, 5, 0, 7), td),
            0);
}

TEST(EditorScene, ProjectionAnchorsEveryKind) {
  TItem post = staticAt(EditorWorld::kPost, 10, 10, 3);
  post.width = 20;
  // A static stands with its bottom edge on the bottom corner of its cell.
  const ScreenAnchor s = screenAnchor(post, 10, 10, 800, 600, 40, false);
  EXPECT_EQ(s.left, 390);
  EXPECT_EQ(s.top, 300 - 12 - 40 + 44);
  const TItem land = landAt(11, 10, 5);
  EXPECT_EQ(screenAnchor(land, 10, 10, 800, 600, 44, false).left, 400 + 22 - 22);
  EXPECT_EQ(screenAnchor(land, 10, 10, 800, 600, 44, false).top, 300 + 22 - 20);
  // Flat in 2D; through its corners for a textured cell.
  EXPECT_EQ(screenAnchor(land, 10, 10, 800, 600, 44, true).top, 322);
  TItem slope = land;
  slope.kind = ItemKind::LandTexture;
  EXPECT_EQ(screenAnchor(slope, 10, 10, 800, 600, 44, false).left, 422);
  EXPECT_EQ(screenAnchor(slope, 10, 10, 800, 600, 44, false).top, 322);
}

TEST(EditorScene, WindowSizeGivesTheRebuildRectangle) {
  EXPECT_EQ(viewRadius(800, 600), 20);
  EXPECT_EQ(worldExtent(800, 1.5), 1200);
  EXPECT_EQ(worldExtent(5, 0.5), 2);  // 2.5 rounds to even
  // Statics at cx + 22 come in, at cx + 23 they do not.
  EditorWorld world(64, {{EditorWorld::kPost, kC + 22, kC, 0, 0},
                         {EditorWorld::kPost, kC + 23, kC, 0, 0},
                         {EditorWorld::kPost, kC, kC - 22, 0, 0},
                         {EditorWorld::kPost, kC, kC - 23, 0, 0}});
  EditorScene scene = sceneOver(world);
  scene.setShowMap(false);
  scene.rebuildAndSort();
  ASSERT_EQ(scene.visibleItems().size(), 2u);
  for (const TItem& it : scene.visibleItems()) EXPECT_TRUE(it.x == kC + 22 || it.y == kC - 22);
}

TEST(EditorScene, PickFindsTheTopmostOpaqueItem) {
  EditorWorld world(64,
                    {{EditorWorld::kPost, kC, kC, 0, 0}, {EditorWorld::kFrame, kC + 1, kC, 0, 0}});
  EditorScene scene = sceneOver(world);
  scene.prepare(0);
  auto serialOf = [&](ItemKind kind, int x, int y) {
    for (const TItem& it : scene.visibleItems())
      if (it.kind == kind && it.x == x && it.y == y) return it.serial;
    return -2;
  };
  // The post covers the middle of its cell's diamond; beside it the land shows.
  const auto [px, py] = cellPixel(kC, kC);
  EXPECT_EQ(scene.pick(px, py + 10), serialOf(ItemKind::Static, kC, kC));
  EXPECT_EQ(scene.pick(px - 15, py), serialOf(ItemKind::Land, kC, kC));
  // The frame's white border is transparent: the land below is found there, the magenta is
  // the frame's.
  const auto [fx, fy] = cellPixel(kC + 1, kC);
  const int frameTop = fy + 22 - 30;
  EXPECT_EQ(scene.pick(fx, frameTop + 15), serialOf(ItemKind::Static, kC + 1, kC));
  EXPECT_EQ(scene.pick(fx - 12, frameTop + 15), serialOf(ItemKind::Land, kC + 1, kC));
  // Black beyond the world: nothing.
  EditorScene edge(world.sources());
  edge.setViewCentre(0, 0);
  edge.prepare(0);
  EXPECT_EQ(edge.pick(400, 10), -1);
  // Above MaxZ the post is kept but neither drawn nor picked.
  scene.setMaxZ(-1);
  scene.prepare(0);
  EXPECT_EQ(scene.pick(px, py + 10), serialOf(ItemKind::Land, kC, kC));
  EXPECT_NE(scene.findVisibleItem(serialOf(ItemKind::Static, kC, kC)), nullptr);
}

TEST(EditorScene, LandTileTwoShowsOnlyInTheFlatView) {
  EditorWorld world(64, {}, [](int x, int y) {
    return test::CellSpec{static_cast<std::uint16_t>(x == kC && y == kC ? 2 : 1), 0};
  });
  EditorScene scene = sceneOver(world);
  scene.prepare(0);
  const auto [px, py] = cellPixel(kC, kC);
  EXPECT_EQ(scene.pick(px, py), -1);
  scene.setFlat2D(true);
  scene.prepare(0);
  const TItem* found = nullptr;
  for (const TItem& it : scene.visibleItems())
    if (it.x == kC && it.y == kC) found = &it;
  ASSERT_NE(found, nullptr);
  // 2D: the diamond's top corner is at the anchor, so the middle is 22 lower.
  EXPECT_EQ(scene.pick(px, py), found->serial);
}

TEST(EditorScene, SlopedCellsAreTexturedThroughTheirCorners) {
  // A slope rising to the east: textured land, kind 2.
  EditorWorld world(64, {}, [](int x, int) {
    return test::CellSpec{EditorWorld::kTexturedLand, static_cast<std::int8_t>(x > kC ? 8 : 0)};
  });
  EditorScene scene = sceneOver(world);
  scene.prepare(0);
  const TItem* cell = nullptr;
  for (const TItem& it : scene.visibleItems())
    if (it.x == kC && it.y == kC) cell = &it;
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->kind, ItemKind::LandTexture);
  // Its right and bottom corners lie 32 pixels higher; inside its upper-left triangle the
  // texture is found.
  const auto [px, py] = cellPixel(kC, kC);
  EXPECT_EQ(scene.pick(px - 7, py - 11), cell->serial);
  // A flat cell of the same tile is drawn from its art.
  for (const TItem& it : scene.visibleItems())
    if (it.x == kC - 3 && it.y == kC) {
      EXPECT_EQ(it.kind, ItemKind::Land);
    }
}

TEST(EditorScene, PicturesArePowerOfTwoSquaresWithTransparentPadding) {
  EditorWorld world(64);
  world.art.importStatic(7, Bitmap32(50, 70, EditorWorld::red()));
  world.worldFile.add(7, kC, kC, 0, 0);
  EditorScene scene = sceneOver(world);
  scene.setShowMap(false);
  scene.prepare(0);
  ASSERT_EQ(scene.commands().size(), 1u);
  const ScenePicture* p = scene.commands()[0].picture;
  EXPECT_EQ(p->pixels.width, 64);
  EXPECT_EQ(p->pixels.height, 128);
  EXPECT_TRUE(p->opaqueAt(49, 69));
  EXPECT_FALSE(p->opaqueAt(50, 69));
  EXPECT_FALSE(p->opaqueAt(10, 70));
  // Keys and hues: hue 1 draws as 0x455, a selected item with the selection tint.
  TItem item = scene.visibleItems()[0];
  EXPECT_EQ(textureKey(item, false, item.tileId), 7 + 0xF000);
  item.hue = 1;
  EXPECT_EQ(drawHue(item), 0x455);
  item.selected = kHoverLook;
  EXPECT_EQ(drawHue(item), -1);
  // Selected and not under the mouse: its own hue, the tint is the drawing's (inSelection).
  item.selected = kSelectionLook;
  EXPECT_EQ(drawHue(item), 0x455);
  TItem land = landAt(1, 1, 0);
  land.kind = ItemKind::LandTexture;
  EXPECT_EQ(textureKey(land, false, 0), 1 + 0x8000);
  EXPECT_EQ(textureKey(land, true, 0), 1);
}

TEST(EditorScene, PicturesThatCannotBeMadeDrawNothing) {
  EditorWorld world(64);
  world.art.importStatic(7, Bitmap32(20, 100, EditorWorld::yellow()));
  world.worldFile.add(7, kC, kC, 0, 0);
  EditorScene scene = sceneOver(world);
  // Taller than the drawing can take (128 > 64): the post is left out, the land below is found.
  scene.setMaxTextureSide(64);
  scene.prepare(0);
  const auto [px, py] = cellPixel(kC, kC);
  const std::int32_t hit = scene.pick(px, py + 10);
  ASSERT_NE(scene.findVisibleItem(hit), nullptr);
  EXPECT_EQ(scene.findVisibleItem(hit)->kind, ItemKind::Land);
  // A world-file item of an id the art does not hold has no picture and draws nothing.
  world.worldFile.add(0x300, kC, kC, 0, 0);
  scene.requestRebuild();
  EXPECT_NO_THROW(scene.prepare(0));
}

TEST(EditorScene, VerdataPatchesWinOverTheArtFile) {
  EditorWorld world(64, {{EditorWorld::kPost, kC, kC, 0, 0}});
  TVerdata verdata;
  verdata.loadBytes(Bytes{0, 0, 0, 0});
  verdata.addStatic(EditorWorld::kPost, Bitmap32(20, 40, EditorWorld::blue()));
  verdata.addLand(EditorWorld::kRedLand, Bitmap32(44, 44, EditorWorld::magenta()));
  SceneSources sources = world.sources();
  sources.verdata = &verdata;
  EditorScene scene(sources);
  scene.setViewCentre(kC, kC);
  scene.prepare(0);
  for (const DrawCommand& c : scene.commands()) {
    const TItem& item = scene.visibleItems()[c.item];
    const Pixel expected =
        item.kind == ItemKind::Static ? EditorWorld::blue() : EditorWorld::magenta();
    EXPECT_EQ(c.picture->pixels.at(10, 22), expected) << int(item.kind);
    // Outside the land diamond and around the static the patch is transparent.
    if (item.kind == ItemKind::Land) {
      EXPECT_FALSE(c.picture->opaqueAt(0, 0));
    }
  }
  // The selection tint reaches the patch too.
  for (TItem& it : scene.visibleItems()) it.selected = it.kind == ItemKind::Static;
  scene.prepare(0);
  for (const DrawCommand& c : scene.commands()) {
    if (scene.visibleItems()[c.item].kind == ItemKind::Static) {
      EXPECT_NE(c.picture->pixels.at(10, 22), EditorWorld::blue());
    }
  }
}

TEST(EditorScene, ItemsThatLeaveTheWindowOrAreDeletedAreDropped) {
  EditorWorld world(64, {{EditorWorld::kPost, kC, kC, 0, 0}});
  EditorScene scene = sceneOver(world);
  scene.rebuildAndSort();
  const std::size_t built = scene.visibleItems().size();
  scene.prepare(0);
  const std::size_t kept = scene.visibleItems().size();
  // Whole blocks of land come in; the corners of the rectangle lie off the window.
  EXPECT_LT(kept, built);
  TItem* post = nullptr;
  for (TItem& it : scene.visibleItems())
    if (it.kind == ItemKind::Static) post = &it;
  ASSERT_NE(post, nullptr);
  post->deleted = 1;
  scene.prepare(0);
  EXPECT_EQ(scene.visibleItems().size(), kept - 1);
  for (const DrawCommand& c : scene.commands()) EXPECT_LT(c.item, scene.visibleItems().size());
}

TEST(EditorScene, AnimatedStaticsSwitchFramesOnTheTickCount) {
  EditorWorld world(64, {{EditorWorld::kAnimated, kC, kC, 0, 0}});
  EditorScene scene = sceneOver(world);
  scene.setShowMap(false);
  scene.prepare(1000);
  ASSERT_EQ(scene.commands().size(), 1u);
  EXPECT_EQ(scene.commands()[0].picture->pixels.height, 16);  // the tile itself, 10 high
  // The first switch is due at once (no start delay): frame 1 is static 6, 20 high.
  ASSERT_TRUE(scene.nextAnimationDue().has_value());
  scene.prepare(*scene.nextAnimationDue());
  EXPECT_EQ(scene.commands()[0].picture->pixels.height, 32);
  EXPECT_EQ(*scene.nextAnimationDue(), 1000 + 100);
  scene.prepare(1050);
  EXPECT_EQ(scene.commands()[0].picture->pixels.height, 32);
  scene.prepare(1100);  // back to frame 0, static 5, 10 high
  EXPECT_EQ(scene.commands()[0].picture->pixels.height, 16);
}

TEST(EditorScene, APartialHueColoursOnlyTheGreyPixels) {
  EditorWorld world(64);
  // Grey on the left half, red on the right; tile 9 takes hues on its grey pixels only.
  Bitmap32 art(20, 20, EditorWorld::red());
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 10; ++x) art.at(x, y) = EditorWorld::grey();
  world.art.importStatic(9, art);
  world.art.importStatic(10, art);
  StaticTileRecord partial;
  partial.flags = TileFlags::PartialHue;
  world.tiledata.writeStatic(9, partial);
  world.worldFile.add(9, kC, kC, 0, 3);
  world.worldFile.add(10, kC + 2, kC + 2, 0, 3);
  EditorScene scene = sceneOver(world);
  scene.setShowMap(false);
  scene.prepare(0);
  int seen = 0;
  for (const DrawCommand& c : scene.commands()) {
    const TItem& item = scene.visibleItems()[c.item];
    const Bitmap32& p = c.picture->pixels;
    EXPECT_NE(p.at(5, 10), EditorWorld::grey()) << item.tileId;
    if (item.tileId == 9) {
      EXPECT_EQ(p.at(15, 10), EditorWorld::red());
    }
    if (item.tileId == 10) {
      EXPECT_NE(p.at(15, 10), EditorWorld::red());
    }
    ++seen;
  }
  EXPECT_EQ(seen, 2);
}

TEST(EditorScene, WorldFileItemsShowEverywhereInAWiderWorld) {
  EditorWorld world(64);
  // 7168 x 8 cells: east of the classic world's 6144 columns.
  test::writeBytes(world.dir.file("wide.mul"), test::makeMapBytes(7168, 8, [](int, int) {
                     return test::CellSpec{EditorWorld::kRedLand, 0};
                   }));
  world.map.open(world.dir.file("wide.mul"), 7168, 8);
  world.worldFile.add(EditorWorld::kPost, 7000, 4, 0, 0);
  EditorScene scene(world.sources());
  scene.setViewCentre(7000, 4);
  scene.rebuildAndSort();
  int found = 0;
  for (const TItem& it : scene.visibleItems())
    found += it.kind == ItemKind::WorldUnwritten && it.x == 7000 && it.y == 4;
  EXPECT_EQ(found, 1);
}

TEST(EditorScene, TheViewCentreStaysOnTheWorld) {
  EditorWorld world(64, {{EditorWorld::kPost, 5, 60, 0, 0}});
  EditorScene scene(world.sources());
  scene.setViewCentre(INT_MAX, INT_MIN + 1);
  EXPECT_EQ(scene.centreX(), 63);
  EXPECT_EQ(scene.centreY(), 0);
  // Only the corner around the centre is read, not the whole world folded into the rectangle.
  scene.rebuildAndSort();
  ASSERT_FALSE(scene.visibleItems().empty());
  for (const TItem& it : scene.visibleItems()) {
    EXPECT_GE(it.x, 32);
    EXPECT_LT(it.y, 32);
  }
  // Without a loaded world the centre stays on the cells items can name.
  EditorScene empty;
  empty.setViewCentre(70000, -5);
  EXPECT_EQ(empty.centreX(), 0xFFFF);
  EXPECT_EQ(empty.centreY(), 0);
}

TEST(EditorScene, AModelFailingWhileItemsAreCollectedIsReportedOnce) {
  EditorWorld world(64, {{EditorWorld::kPost, kC, kC, 0, 0}});
  // Another program cut the map file short after it was opened.
  std::filesystem::resize_file(world.dir.file("map0.mul"), 0);
  EditorScene scene = sceneOver(world);
  EXPECT_NO_THROW(scene.prepare(0));
  const auto problems = scene.takeProblems();
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("Cannot open file"), std::string::npos) << problems[0];
  // What was read before the failure is drawn; the next frames do not try again.
  EXPECT_FALSE(scene.commands().empty());
  scene.prepare(50);
  EXPECT_TRUE(scene.takeProblems().empty());
}

TEST(EditorScene, AnimatedStaticsTakeEveryFrameFromVerdataPatchesToo) {
  test::SampleEditorWorld world;
  TVerdata verdata;
  verdata.load(world.dir.file("verdata.mul"));
  SceneSources sources = world.sources();
  sources.verdata = &verdata;
  EditorScene scene(sources);
  scene.setViewCentre(110, 166);
  scene.setShowMap(false);
  // The campfire by the road flickers through frames that only the verdata file holds.
  for (std::int64_t now = 0; now <= 2000; now += 25) {
    scene.prepare(now);
    int drawn = 0;
    for (const DrawCommand& c : scene.commands()) {
      const TItem& it = scene.visibleItems()[c.item];
      drawn += it.kind == ItemKind::Static && it.x == 110 && it.y == 166 && it.animated;
    }
    EXPECT_EQ(drawn, 1) << "at " << now << " ms";
  }
}

}  // namespace
}  // namespace quillotide
