// The editor's navigation without a window: which cell lies under a window pixel, how a shift of
// the picture or a zoom about a point moves the centre, and the lines of the marks and the brush
// outline drawn over the world.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>

#include "support/EditorWorld.h"
#include "world/EditorScene.h"

namespace quillotide {
namespace {

using test::CellSpec;
using test::EditorWorld;

constexpr int kC = 32;

// The window pixel at the middle of a cell's diamond at altitude 0 (zoom 1, 800 x 600).
std::pair<int, int> middleOf(int x, int y) {
  return {(x - y) * 22 + 400, (x + y - 2 * kC) * 22 + 322};
}

TEST(EditorNavigation, TheCellUnderAPixelIsTheOneWhoseDiamondHoldsIt) {
  EditorWorld world(64);
  EditorScene scene(world.sources());
  scene.setViewCentre(kC, kC);
  for (const auto& [x, y] : {std::pair{kC, kC}, {kC + 3, kC - 2}, {kC - 5, kC - 7}}) {
    const auto [mx, my] = middleOf(x, y);
    EXPECT_EQ(scene.cellAt(mx, my), (CellPos{x, y}));
    // 20 pixels towards each corner stays inside; 24 is the next cell.
    EXPECT_EQ(scene.cellAt(mx - 20, my), (CellPos{x, y}));
    EXPECT_EQ(scene.cellAt(mx, my - 20), (CellPos{x, y}));
    EXPECT_EQ(scene.cellAt(mx + 24, my), (CellPos{x + 1, y - 1}));
    EXPECT_EQ(scene.cellAt(mx, my + 24), (CellPos{x + 1, y + 1}));
  }
  // Farther away, the same window pixel covers twice the world pixels from the centre.
  scene.setZoom(2.0);
  const auto [mx, my] = middleOf(kC + 2, kC);
  EXPECT_EQ(scene.cellAt(mx, my - 11), (CellPos{kC + 4, kC}));
  // Beyond the world the cell is still named, and known to lie outside.
  scene.setZoom(1.0);
  scene.setViewCentre(0, 0);
  EXPECT_FALSE(scene.inWorld(scene.cellAt(400, 100)));
  EXPECT_TRUE(scene.inWorld(scene.cellAt(400, 322)));
}

TEST(EditorNavigation, ZoomStepsByAFactorWithinTheLimits) {
  EXPECT_DOUBLE_EQ(EditorScene::steppedZoom(1.0, 1), 1.25);
  EXPECT_DOUBLE_EQ(EditorScene::steppedZoom(1.0, -2), 0.64);
  // From 1.0 to about 1.8 takes three steps, not eight.
  EXPECT_NEAR(EditorScene::steppedZoom(1.0, 3), 1.953125, 1e-12);
  EXPECT_DOUBLE_EQ(EditorScene::steppedZoom(9.5, 1), EditorScene::kMaxZoom);
  EXPECT_DOUBLE_EQ(EditorScene::steppedZoom(0.11, -1), EditorScene::kMinZoom);
}

TEST(EditorNavigation, ZoomingAboutAPointKeepsItsCellUnderTheMouse) {
  EditorWorld world(256);
  EditorScene scene(world.sources());
  scene.setViewCentre(128, 128);
  // A point well off the centre: its cell must stay under the same window pixel.
  const int mx = 700, my = 120;
  const CellPos before = scene.cellAt(mx, my);
  for (int step : {1, 1, -1, -1, -1, -1}) {
    scene.zoomAbout(EditorScene::steppedZoom(scene.zoom(), step), mx, my);
    EXPECT_EQ(scene.cellAt(mx, my), before) << scene.zoom();
  }
  // A shift of the picture by whole cells in world pixels.
  EXPECT_EQ(EditorScene::cellsForShift(44, 0), (CellPos{1, -1}));
  EXPECT_EQ(EditorScene::cellsForShift(0, 44), (CellPos{1, 1}));
  EXPECT_EQ(EditorScene::cellsForShift(-22, -22), (CellPos{-1, 0}));
}

TEST(EditorNavigation, TheViewCornersOutlineTheWindowOnTheWorld) {
  EditorWorld world(256);
  EditorScene scene(world.sources());
  scene.setViewCentre(128, 128);
  const auto corners = scene.viewCorners();
  // Top left lies north-west (x and y smaller), bottom right south-east; the window's diagonal
  // spans about its size in cells.
  EXPECT_LT(corners[0].x + corners[0].y, 2 * 128);
  EXPECT_GT(corners[2].x + corners[2].y, 2 * 128);
  EXPECT_EQ(corners[0].x - corners[0].y, -(corners[2].x - corners[2].y));
  scene.setClientSize(1600, 1200);
  EXPECT_GT(scene.viewCorners()[2].x - 128, corners[2].x - 128);
}

TEST(EditorNavigation, MarksAndTheOutlineAreLinesOnTheirCellsAtTheLandsAltitude) {
  EditorWorld world(64, {}, [](int x, int) {
    return CellSpec{EditorWorld::kRedLand, static_cast<std::int8_t>(x == kC + 1 ? 5 : 0)};
  });
  EditorScene scene(world.sources());
  scene.setViewCentre(kC, kC);
  EXPECT_TRUE(scene.overlayLines().empty());
  scene.setMarks({{{kC, kC}, 0xFFFFFF00u}});
  auto lines = scene.overlayLines();
  // The cell's diamond and one inside it.
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_FLOAT_EQ(lines[0].x0, 400);  // the top corner
  EXPECT_FLOAT_EQ(lines[0].y0, 300);
  EXPECT_EQ(lines[0].colour, 0xFFFFFF00u);
  // A raised cell's mark is lifted by 4 pixels a unit.
  scene.setMarks({{{kC + 1, kC}, 0xFFFFFF00u}});
  EXPECT_FLOAT_EQ(scene.overlayLines()[0].y0, 300 + 22 - 20);
  // A 3 x 3 outline has its 12 outer edges, none between its cells.
  scene.setMarks({});
  scene.setOutline(BrushOutline{LandBrush::ofReach(2, 2), {kC - 5, kC}, 0xFFFFFFFFu});
  lines = scene.overlayLines();
  EXPECT_EQ(lines.size(), 12u);
  // Marks and outlines need no rebuild of the items.
  scene.prepare(0);
  scene.setOutline(std::nullopt);
  EXPECT_FALSE(scene.rebuildRequested());
}

// The outline's edges as the brush's cells give them: every edge of a cell whose neighbour on
// that side is not a cell of the brush on the map, as a sorted list of end points.
std::vector<std::array<float, 4>> edgesOfCells(const EditorScene& scene, const BrushOutline& o,
                                               int side) {
  // A mark draws its cell's diamond first, edges 0 to 3 in order.
  EditorScene probe(scene.sources());
  probe.setViewCentre(scene.centreX(), scene.centreY());
  std::vector<std::array<float, 4>> out;
  const auto cells = o.brush.cells(o.centre.x, o.centre.y, side, side);
  std::set<std::pair<int, int>> in;
  for (const BrushCell& c : cells) in.insert({c.x, c.y});
  const int nx[4] = {0, 1, 0, -1};
  const int ny[4] = {-1, 0, 1, 0};
  for (const BrushCell& c : cells)
    for (int i = 0; i < 4; ++i) {
      if (in.count({c.x + nx[i], c.y + ny[i]})) continue;
      probe.setMarks({{{c.x, c.y}, o.colour}});
      const auto l = probe.overlayLines()[static_cast<std::size_t>(i)];
      out.push_back({l.x0, l.y0, l.x1, l.y1});
    }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::array<float, 4>> sortedLines(const std::vector<OverlayLine>& lines) {
  std::vector<std::array<float, 4>> out;
  for (const OverlayLine& l : lines) out.push_back({l.x0, l.y0, l.x1, l.y1});
  std::sort(out.begin(), out.end());
  return out;
}

TEST(EditorNavigation, TheOutlineIsTheEdgeOfTheBrushCellsOnTheMap) {
  EditorWorld world(64, {}, [](int x, int y) {
    return CellSpec{EditorWorld::kRedLand, static_cast<std::int8_t>((x * 7 + y * 3) % 11)};
  });
  EditorScene scene(world.sources());
  scene.setViewCentre(kC, kC);
  // Square and round brushes of odd and even sizes, in the middle and cut by the map's edges.
  for (const LandBrush& brush :
       {LandBrush::ofReach(1, 1), LandBrush::ofReach(3, 2), LandBrush{BrushShape::Square, 4, 6},
        LandBrush{BrushShape::Round, 7, 7}, LandBrush{BrushShape::Round, 15, 15},
        LandBrush{BrushShape::Round, 10, 6}})
    for (const CellPos centre : {CellPos{kC, kC}, CellPos{1, 2}, CellPos{63, 40}}) {
      const BrushOutline o{brush, centre, 0xFFFFFFFFu};
      scene.setOutline(o);
      EXPECT_EQ(sortedLines(scene.overlayLines()), edgesOfCells(scene, o, 64))
          << brush.width << "x" << brush.height << " at " << centre.x << "," << centre.y;
    }
}

TEST(EditorNavigation, AHugeBrushCostsTheWindowAndItsEdgeNotItsArea) {
  // No map: the world is the 65536 x 65536 cells items can name.
  EditorScene scene;
  scene.setViewCentre(3000, 2000);
  const BrushOutline o{LandBrush{BrushShape::Square, 2000, 2000}, {3000, 2000}, 0xFFFFFFFFu};
  scene.setOutline(o);
  // The window lies inside the brush: no edge to draw, and hardly a cell looked at.
  EXPECT_TRUE(scene.overlayLines().empty());
  EXPECT_EQ(scene.overlayCellsRead(), 0u);
  // Farthest out, with the brush's edge across the window: its edge there, a few hundred cells,
  // against the four million of its area.
  scene.setZoom(EditorScene::kMaxZoom);
  scene.setClientSize(1920, 1080);
  scene.setViewCentre(3000 + 1000, 2000);
  const auto lines = scene.overlayLines();
  EXPECT_GT(lines.size(), 100u);
  EXPECT_LT(lines.size(), 4000u);
  EXPECT_LE(scene.overlayCellsRead(), lines.size());
  // A round one as large: the same.
  scene.setOutline(BrushOutline{LandBrush{BrushShape::Round, 2000, 2000}, {3000, 2000}, 1});
  EXPECT_LT(scene.overlayLines().size(), 4000u);
  EXPECT_LT(scene.overlayCellsRead(), 4000u);
}

}  // namespace
}  // namespace quillotide

namespace quillotide {
namespace {

TEST(EditorHiddenCommands, TheLargestSolidRectangleOfAPicture) {
  // A frame of 30 x 20 with a transparent hole of 10 x 10 at (5, 5): the solid rectangle is the
  // part below the hole, full width.
  Bitmap32 picture(32, 32, 0);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x)
      if (!(x >= 5 && x < 15 && y >= 5 && y < 15)) picture.at(x, y) = 0xFF112233u;
  const SolidRect r = largestSolidRect(picture, 30, 20);
  EXPECT_EQ(r.left, 15);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.width, 15);
  EXPECT_EQ(r.height, 20);
  // Only the content counts: the padding beyond 30 x 20 is never part of it.
  EXPECT_EQ(largestSolidRect(picture, 4, 32).height, 20);
  EXPECT_EQ(largestSolidRect(Bitmap32(8, 8, 0), 8, 8).width, 0);
}

TEST(EditorHiddenCommands, OnlyWhatIsCoveredEverywhereIsLeftOutOfTheDrawing) {
  using test::PlacedStatic;
  // A post behind a large solid picture on the next cell in front is covered; a post under a
  // raised floor is not wholly covered (its foot shows below the floor).
  EditorWorld world(64, {{EditorWorld::kPost, kC, kC, 0, 0},
                         {EditorWorld::kFrame, kC + 1, kC + 1, 0, 0},
                         {EditorWorld::kPost, kC + 4, kC, 0, 0},
                         {EditorWorld::kFloor, kC + 4, kC, 10, 0}});
  world.art.importStatic(EditorWorld::kFrame, Bitmap32(100, 100, EditorWorld::magenta()));
  EditorScene scene(world.sources());
  scene.setViewCentre(kC, kC);
  scene.prepare(0);
  int hiddenPosts = 0, shownPosts = 0;
  for (const DrawCommand& c : scene.commands()) {
    const TItem& item = scene.visibleItems()[c.item];
    if (item.tileId != EditorWorld::kPost || item.kind != ItemKind::Static) continue;
    (c.hidden ? hiddenPosts : shownPosts)++;
    if (item.x == kC + 4) {
      EXPECT_FALSE(c.hidden);
    }
  }
  EXPECT_EQ(hiddenPosts, 1);
  EXPECT_EQ(shownPosts, 1);
  // What is picked anywhere never is a hidden command's item.
  for (int y = 0; y < 600; y += 3)
    for (int x = 0; x < 800; x += 3) {
      const std::int32_t serial = scene.pick(x, y);
      for (const DrawCommand& c : scene.commands())
        if (c.serial == serial) {
          EXPECT_FALSE(c.hidden) << x << "," << y;
          break;
        }
    }
}

}  // namespace
}  // namespace quillotide
