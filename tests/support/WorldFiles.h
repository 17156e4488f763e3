#pragma once
// Builders of world files for tests and benchmarks: map files from a cell function, statics pairs
// from a list of placed statics.

#include <cstdint>
#include <functional>
#include <vector>

#include "app/Bytes.h"

namespace quillotide::test {

struct CellSpec {
  std::uint16_t id = 0;
  std::int8_t z = 0;
};

// A map of W x H cells; every block header holds its block index.
Bytes makeMapBytes(int width, int height, const std::function<CellSpec(int x, int y)>& cell);

struct PlacedStatic {
  std::uint16_t id = 0;
  int x = 0;
  int y = 0;
  std::int8_t z = 0;
  std::uint16_t hue = 0;
};

struct StaticsFiles {
  Bytes index;
  Bytes data;
};
// A statics pair of a W x H world: the statics of each block in the given order, blocks written
// in index order; empty blocks (-1, -1, -1).
StaticsFiles makeStaticsFiles(int width, int height, const std::vector<PlacedStatic>& statics);

}  // namespace quillotide::test
