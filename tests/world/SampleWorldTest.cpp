#include <gtest/gtest.h>

#include <set>

#include "app/FileIO.h"
#include "world/Map.h"
#include "world/Statics.h"
#include "world/WorldFile.h"
#include "sample/Sample.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

TEST(SampleWorld, LooksLikeAWorldAndReadsWithTheModels) {
  TempDir dir;
  sample::writeWorld(dir.path());
  const int n = sample::kSampleWorldSize;
  TMap map;
  map.open(dir.file("map0.mul"), n, n);
  std::set<int> tiles;
  int lowest = 127;
  int highest = -128;
  for (int x = 0; x < n; x += 3)
    for (int y = 0; y < n; y += 3) {
      const MapCell c = *map.cell(x, y);
      tiles.insert(c.tileId);
      lowest = std::min<int>(lowest, c.z);
      highest = std::max<int>(highest, c.z);
    }
  // Water, sand, grass, dirt, rock and the road all occur; mountains stand well above the sea.
  for (const int id : {0x01, 0x03, 0x05, 0x07, 0x09, 0x0D}) EXPECT_TRUE(tiles.contains(id)) << id;
  EXPECT_EQ(lowest, -5);
  EXPECT_GT(highest, 60);

  TStatics statics;
  statics.open(dir.file("staidx0.mul"), dir.file("statics0.mul"), n, n, StorageMode::Memory);
  EXPECT_TRUE(statics.takeProblems().empty());
  std::set<int> ids;
  std::size_t count = 0;
  for (const TItem& s : statics.getItemsInRect(0, n - 1, 0, n - 1)) {
    ids.insert(s.tileId);
    ++count;
  }
  EXPECT_GT(count, 1000u);
  for (const int id : {0x01, 0x02, 0x04, 0x05, 0x08, 0x0A, 0x18, 0x1C})
    EXPECT_TRUE(ids.contains(id)) << id;
  // The house around the middle: floor, wall and roof on its corner.
  std::set<int> corner;
  for (const TItem& s : statics.getItemsInRect(136, 136, 120, 120)) corner.insert(s.tileId);
  EXPECT_EQ(corner, (std::set<int>{0x04, 0x0A, 0x1C}));

  for (const auto& [name, format] : std::vector<std::pair<std::string, WorldTextFormat>>{
           {"world.txt", WorldTextFormat::Plain},
           {"world.scp", WorldTextFormat::Sphere51a},
           {"world.wsc", WorldTextFormat::Wsc}}) {
    TWorldFile world;
    EXPECT_EQ(world.load(dir.file(name), format), 4u) << name;
    EXPECT_EQ(world.items()[2].hue, 0x21);
  }
  EXPECT_EQ(sample::sampleSettings()[2], (std::pair<std::string, std::string>{"LastX", "128"}));
}
