#include "world/LandBrush.h"

#include <algorithm>
#include <cmath>

#include "app/Random.h"

namespace quillotide {

namespace {

// The lowest and highest offset a brush side of `size` cells covers.
std::int64_t lowOffset(std::int64_t size) { return -((size - 1) / 2); }
std::int64_t highOffset(std::int64_t size) { return size / 2; }

}  // namespace

LandBrush LandBrush::ofReach(std::int64_t rx, std::int64_t ry) {
  return {BrushShape::Square, 2 * std::max<std::int64_t>(rx, 1) - 1,
          2 * std::max<std::int64_t>(ry, 1) - 1};
}

bool LandBrush::covers(std::int64_t dx, std::int64_t dy) const {
  if (dx < lowOffset(width) || dx > highOffset(width) || dy < lowOffset(height) ||
      dy > highOffset(height))
    return false;
  if (shape == BrushShape::Square) return true;
  // Twice the offset of the cell's centre from the brush's centre, against the ellipse whose
  // axes are the brush's sides: (ex / w)^2 + (ey / h)^2 <= 1.
  const double ex = double(2 * dx - (lowOffset(width) + highOffset(width)));
  const double ey = double(2 * dy - (lowOffset(height) + highOffset(height)));
  const double w = double(width), h = double(height);
  return ex * ex * h * h + ey * ey * w * w <= w * w * h * h;
}

std::optional<std::pair<std::int64_t, std::int64_t>> LandBrush::columnSpan(std::int64_t dx) const {
  if (dx < lowOffset(width) || dx > highOffset(width)) return std::nullopt;
  std::int64_t lo = lowOffset(height), hi = highOffset(height);
  if (shape == BrushShape::Round) {
    // The ellipse's rows in this column, estimated, then settled against covers() so that the
    // run is exactly the cells covers() accepts.
    const double ex = double(2 * dx - (lowOffset(width) + highOffset(width)));
    const double w = double(width), h = double(height);
    const double reach = h * std::sqrt(std::max(0.0, w * w - ex * ex)) / w;
    const double middle = double(lowOffset(height) + highOffset(height));
    lo = std::max(lo, static_cast<std::int64_t>(std::ceil((middle - reach) / 2)));
    hi = std::min(hi, static_cast<std::int64_t>(std::floor((middle + reach) / 2)));
    while (lo > lowOffset(height) && covers(dx, lo - 1)) --lo;
    while (lo <= hi && !covers(dx, lo)) ++lo;
    while (hi < highOffset(height) && covers(dx, hi + 1)) ++hi;
    while (hi >= lo && !covers(dx, hi)) --hi;
    if (lo > hi) return std::nullopt;
  }
  return std::pair{lo, hi};
}

std::vector<BrushCell> LandBrush::cells(int cx, int cy, int mapWidth, int mapHeight) const {
  std::vector<BrushCell> out;
  const std::int64_t x0 = std::max<std::int64_t>(0, cx + lowOffset(width));
  const std::int64_t x1 = std::min<std::int64_t>(mapWidth - 1, cx + highOffset(width));
  const std::int64_t y0 = std::max<std::int64_t>(0, cy + lowOffset(height));
  const std::int64_t y1 = std::min<std::int64_t>(mapHeight - 1, cy + highOffset(height));
  for (std::int64_t x = x0; x <= x1; ++x)
    for (std::int64_t y = y0; y <= y1; ++y)
      if (covers(x - cx, y - cy)) out.push_back({int(x), int(y)});
  return out;
}

int smoothedAltitude(int x, int y, int mapWidth, int mapHeight,
                     const std::function<int(int x, int y)>& altitude) {
  int sum = 0, count = 0;
  for (int nx = std::max(0, x - 1); nx <= std::min(mapWidth - 1, x + 1); ++nx)
    for (int ny = std::max(0, y - 1); ny <= std::min(mapHeight - 1, y + 1); ++ny) {
      sum += altitude(nx, ny);
      ++count;
    }
  if (count == 0) return 0;
  return static_cast<int>(std::lround(double(sum) / count));
}

std::vector<int> smoothedAltitudes(const std::vector<BrushCell>& cells, int mapWidth, int mapHeight,
                                   const std::function<int(int x, int y)>& altitude) {
  std::vector<int> out;
  out.reserve(cells.size());
  for (const BrushCell& c : cells)
    out.push_back(smoothedAltitude(c.x, c.y, mapWidth, mapHeight, altitude));
  return out;
}

int pickId(const std::vector<int>& ids, Random& random) {
  if (ids.size() == 1) return ids.front();
  return ids[static_cast<std::size_t>(random.uniform(0, std::int64_t(ids.size()) - 1))];
}

}  // namespace quillotide
