#include <gtest/gtest.h>

#include <map>
#include <set>

#include "app/Random.h"
#include "world/LandBrush.h"

using namespace quillotide;

namespace {

// The brush drawn as rows of '#' (covered) and '.' around the centre cell (10, 10) of a large
// map, row by row in y, so a shape can be compared at a glance.
std::vector<std::string> picture(const LandBrush& brush, int side) {
  std::vector<std::string> rows(static_cast<std::size_t>(side),
                                std::string(std::size_t(side), '.'));
  const int origin = 10 - (side - 1) / 2;
  for (const BrushCell& c : brush.cells(10, 10, 100, 100)) {
    const int x = c.x - origin, y = c.y - origin;
    if (x >= 0 && x < side && y >= 0 && y < side) rows[std::size_t(y)][std::size_t(x)] = '#';
  }
  return rows;
}

}  // namespace

TEST(LandBrush, SquaresOfAReachCoverTheCursorAreaInColumnOrder) {
  // Reach (2, 3) around (100, 200): x 99 to 101, y 198 to 202, x the outer loop.
  const LandBrush brush = LandBrush::ofReach(2, 3);
  EXPECT_EQ(brush.width, 3);
  EXPECT_EQ(brush.height, 5);
  const auto cells = brush.cells(100, 200, 6144, 4096);
  ASSERT_EQ(cells.size(), 15u);
  EXPECT_EQ(cells.front(), (BrushCell{99, 198}));
  EXPECT_EQ(cells[1], (BrushCell{99, 199}));
  EXPECT_EQ(cells.back(), (BrushCell{101, 202}));
  EXPECT_EQ(brush.reachX(), 2);
  EXPECT_EQ(brush.reachY(), 3);
  // A reach below 1 is the single cell.
  EXPECT_EQ(LandBrush::ofReach(0, -4).cells(5, 5, 10, 10), (std::vector<BrushCell>{{5, 5}}));
}

TEST(LandBrush, EvenSizesReachOneCellFurtherTowardsGrowingCoordinates) {
  const LandBrush two{BrushShape::Square, 2, 2};
  EXPECT_EQ(two.cells(5, 5, 10, 10), (std::vector<BrushCell>{{5, 5}, {5, 6}, {6, 5}, {6, 6}}));
  EXPECT_EQ(picture({BrushShape::Square, 4, 4}, 5),
            (std::vector<std::string>{".....", ".####", ".####", ".####", ".####"}));
  EXPECT_EQ(two.reachX(), 1);
}

TEST(LandBrush, RoundBrushesKeepTheCellsInsideTheirCircle) {
  EXPECT_EQ(picture({BrushShape::Round, 5, 5}, 5),
            (std::vector<std::string>{".###.", "#####", "#####", "#####", ".###."}));
  EXPECT_EQ(picture({BrushShape::Round, 7, 7}, 7),
            (std::vector<std::string>{"..###..", ".#####.", "#######", "#######", "#######",
                                      ".#####.", "..###.."}));
  // The smallest round brushes are their squares.
  EXPECT_EQ(LandBrush({BrushShape::Round, 1, 1}).cells(3, 3, 9, 9).size(), 1u);
  EXPECT_EQ(LandBrush({BrushShape::Round, 3, 3}).cells(3, 3, 9, 9).size(), 9u);
  // The largest is symmetric and leaves the square's corners out.
  const LandBrush big{BrushShape::Round, LandBrush::kMaxSize, LandBrush::kMaxSize};
  const auto cells = big.cells(50, 50, 100, 100);
  std::set<std::pair<int, int>> offsets;
  for (const BrushCell& c : cells) offsets.insert({c.x - 50, c.y - 50});
  for (const auto& [dx, dy] : offsets) {
    EXPECT_TRUE(offsets.count({-dx, dy}) && offsets.count({dx, -dy}) && offsets.count({dy, dx}));
    EXPECT_LE(dx * dx + dy * dy, 7 * 7 + 2 * 7);
  }
  EXPECT_TRUE(offsets.count({7, 0}));
  EXPECT_FALSE(offsets.count({7, 7}));
  EXPECT_FALSE(offsets.count({6, 6}));
  EXPECT_TRUE(offsets.count({5, 5}));
}

TEST(LandBrush, CellsOutsideTheMapAreLeftOutWithoutVisitingThem) {
  const LandBrush brush = LandBrush::ofReach(3, 3);
  const auto corner = brush.cells(0, 0, 64, 64);
  EXPECT_EQ(corner.size(), 9u);
  EXPECT_EQ(corner.front(), (BrushCell{0, 0}));
  EXPECT_EQ(corner.back(), (BrushCell{2, 2}));
  const auto round = LandBrush{BrushShape::Round, 5, 5}.cells(63, 63, 64, 64);
  EXPECT_EQ(round.size(), 8u);  // the quarter that lies on the map
  // The largest custom cursor there is covers one row of the map, no more.
  const LandBrush huge = LandBrush::ofReach(1073741824, 1);
  EXPECT_EQ(huge.width, 2147483647);
  const auto row = huge.cells(30, 7, 64, 64);
  ASSERT_EQ(row.size(), 64u);
  EXPECT_EQ(row.front(), (BrushCell{0, 7}));
  EXPECT_EQ(row.back(), (BrushCell{63, 7}));
}

TEST(LandBrush, SmoothTakesTheMeanOfTheCellAndItsNeighboursAsTheyWere) {
  // A peak of 90 on flat ground: the peak and every neighbour get 90 / 9.
  auto peak = [](int x, int y) { return x == 4 && y == 4 ? 90 : 0; };
  EXPECT_EQ(smoothedAltitude(4, 4, 10, 10, peak), 10);
  EXPECT_EQ(smoothedAltitude(3, 5, 10, 10, peak), 10);
  EXPECT_EQ(smoothedAltitude(6, 4, 10, 10, peak), 0);
  // A corner has four cells; halves round away from zero.
  auto ones = [](int x, int y) { return y == 0 ? 1 : 0; };
  EXPECT_EQ(smoothedAltitude(0, 0, 10, 10, ones), 1);  // 2 / 4
  auto minusOnes = [](int x, int y) { return y == 0 ? -1 : 0; };
  EXPECT_EQ(smoothedAltitude(0, 0, 10, 10, minusOnes), -1);
  EXPECT_EQ(smoothedAltitude(9, 9, 10, 10, [](int, int) { return -128; }), -128);
  // A step computes every cell from the altitudes before it, not from cells it changed.
  const std::vector<BrushCell> cells{{4, 4}, {3, 3}, {5, 5}};
  EXPECT_EQ(smoothedAltitudes(cells, 10, 10, peak), (std::vector<int>{10, 10, 10}));
}

TEST(LandBrush, PickIdDrawsEveryIdOfTheSetAndNoOther) {
  Random random(11);
  EXPECT_EQ(pickId({0x44}, random), 0x44);
  std::map<int, int> counts;
  const std::vector<int> ids{3, 4, 4, 9};  // a repeated id is drawn twice as often
  for (int i = 0; i < 4000; ++i) ++counts[pickId(ids, random)];
  ASSERT_EQ(counts.size(), 3u);
  EXPECT_GT(counts[4], counts[3] + counts[3] / 2);
  EXPECT_GT(counts[9], 700);
  EXPECT_GT(counts[3], 700);
}

TEST(LandBrush, EachColumnIsOneRunOfTheCellsItCovers) {
  // The run of every column, of square and round brushes of odd and even sizes, is exactly the
  // cells covers() accepts there.
  for (const BrushShape shape : {BrushShape::Square, BrushShape::Round})
    for (const auto& [w, h] : {std::pair{1, 1}, {2, 2}, {3, 5}, {6, 4}, {15, 15}, {16, 9},
                               {41, 40}, {255, 255}}) {
      const LandBrush brush{shape, w, h};
      for (std::int64_t dx = -w; dx <= w; ++dx) {
        std::vector<std::int64_t> covered;
        for (std::int64_t dy = -h; dy <= h; ++dy)
          if (brush.covers(dx, dy)) covered.push_back(dy);
        const auto span = brush.columnSpan(dx);
        if (covered.empty()) {
          EXPECT_FALSE(span) << w << "x" << h << " column " << dx;
          continue;
        }
        ASSERT_TRUE(span) << w << "x" << h << " column " << dx;
        EXPECT_EQ(span->first, covered.front());
        EXPECT_EQ(span->second, covered.back());
        EXPECT_EQ(std::int64_t(covered.size()), span->second - span->first + 1);
      }
    }
}
