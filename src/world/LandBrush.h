#pragma once
// LandBrush: the cells a land tool changes around the clicked cell. A square brush of width w and
// height h covers the offsets -((w - 1) div 2) .. w div 2 in x (likewise in y), so an odd size is
// centred on the cell and an even one reaches one cell further towards growing x and y; the
// cursor reach (rx, ry) is the square of (2 rx - 1) x (2 ry - 1). A round brush keeps the cells
// of that square whose centres lie inside the ellipse drawn into it.
//
// The land edits that look at more than one cell live here too: "Smooth" (each cell to the mean
// of the 3 x 3 cells around it) and the random pick of a tile id from a set.

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace quillotide {

class Random;

enum class BrushShape { Square, Round };

struct BrushCell {
  int x;
  int y;
  bool operator==(const BrushCell&) const = default;
};

struct LandBrush {
  // The largest size the tool window offers; larger square brushes come from the custom cursor.
  static constexpr int kMaxSize = 15;
  // The longest side of a custom cursor: a land tool changes at most kMaxCustomSize squared
  // cells in one step, each recorded for undo.
  static constexpr int kMaxCustomSize = 255;

  BrushShape shape = BrushShape::Square;
  std::int64_t width = 1;
  std::int64_t height = 1;

  // The square brush of a cursor reach; a reach below 1 counts as 1.
  static LandBrush ofReach(std::int64_t rx, std::int64_t ry);
  // The reach whose square covers this brush: (width + 1) div 2, (height + 1) div 2.
  std::int64_t reachX() const { return (width + 1) / 2; }
  std::int64_t reachY() const { return (height + 1) / 2; }

  // Whether the brush centred on a cell covers the cell at offset (dx, dy) from it.
  bool covers(std::int64_t dx, std::int64_t dy) const;
  // The offsets dy (lowest, highest) the brush covers in the column at offset dx, or nullopt
  // when it covers none there. Every column (and every row) of a brush is one unbroken run, so
  // its outline follows from the runs of the columns it crosses, whatever its area.
  std::optional<std::pair<std::int64_t, std::int64_t>> columnSpan(std::int64_t dx) const;
  // The covered cells of a mapWidth x mapHeight map, x from the lowest to the highest (outer
  // loop) and y likewise. Cells outside the map are left out, so a huge square costs at most
  // the map itself.
  std::vector<BrushCell> cells(int cx, int cy, int mapWidth, int mapHeight) const;

  bool operator==(const LandBrush&) const = default;
};

// The altitude "Smooth" gives a cell: the mean of the cell and its eight neighbours within the
// map, rounded to the nearest whole number (halves away from zero). `altitude` answers for the
// cells inside the map.
int smoothedAltitude(int x, int y, int mapWidth, int mapHeight,
                     const std::function<int(int x, int y)>& altitude);

// The new altitudes of a "Smooth" stroke step over `cells`, each computed from the altitudes
// before the step, in the order of `cells`.
std::vector<int> smoothedAltitudes(const std::vector<BrushCell>& cells, int mapWidth, int mapHeight,
                                   const std::function<int(int x, int y)>& altitude);

// One id of the set drawn at random (uniformly); the set must not be empty.
int pickId(const std::vector<int>& ids, Random& random);

}  // namespace quillotide
