#include <gtest/gtest.h>

#include <algorithm>

#include "app/Error.h"
#include "app/FileIO.h"
#include "models/Cliloc.h"
#include "registry/Registry.h"
#include "sample/SampleClient.h"
#include "support/TestFiles.h"
#include "world/DiffFiles.h"
#include "world/Map.h"
#include "world/RegionPatch.h"
#include "world/StaticDiff.h"
#include "world/Statics.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

// The generated client folder, written once for the tests of this file.
class ClientFacetFiles : public ::testing::Test {
protected:
  TempDir dir;
  void SetUp() override { sample::writeSampleClient(dir.path()); }

  // The cell of the diffs' block that gets the campfire.
  static constexpr int kFireX = sample::kSampleDiffBlockX * 8 + 3;
  static constexpr int kFireY = sample::kSampleDiffBlockY * 8 + 3;

  static bool hasFire(const std::vector<TItem>& items) {
    return std::any_of(items.begin(), items.end(), [](const TItem& s) {
      return s.tileId == sample::kSampleDiffStatic && s.x == kFireX && s.y == kFireY;
    });
  }
};

TEST_F(ClientFacetFiles, TheDiffStoreReadsAndWritesTheFacetsFilesInTheirOwnCase) {
  TStaticDiff diffs;
  diffs.setWorldSize(2304, 1600);
  diffs.setFacet(2);
  diffs.loadDiffs(dir.path());
  ASSERT_EQ(diffs.entries().size(), 1u);
  EXPECT_EQ(diffs.entries()[0].block, sample::kSampleDiffBlockX * 200 + sample::kSampleDiffBlockY);
  std::vector<TItem> shown;
  diffs.appendItemsInRect(kFireX, kFireX, kFireY, kFireY, shown);
  EXPECT_TRUE(hasFire(shown));

  diffs.addItem(0x19, kFireX + 1, kFireY, 0, 0);
  ASSERT_TRUE(diffs.saveDiffs(dir.path(), StaticsSaveMode::StaticsOnly, nullptr));
  // The lower-case files were replaced; no second set in the program's case appeared beside them.
  for (const char* name : {"Stadifl2.mul", "Stadifi2.mul", "Stadif2.mul"})
    EXPECT_FALSE(fileExists(dir.file(name))) << name;
  EXPECT_EQ(test::readBytes(dir.file("stadifi2.mul")).size(), 12u);
  EXPECT_EQ(test::readBytes(dir.file("stadif2.mul")).size() % 7, 0u);
  EXPECT_GT(test::readBytes(dir.file("stadif2.mul")).size(), 14u);

  EXPECT_THROW(diffs.setFacet(6), Error);
  EXPECT_EQ(diffs.facet(), 2);
}

TEST_F(ClientFacetFiles, TheDiffsOfFacetTwoApplyToItsFilesAtItsSize) {
  Progress silent;
  const DiffWorld world{2304, 1600};
  const DiffResult statics = applyStaticDiff(dir.file("staidx2.mul"), dir.file("statics2.mul"),
                                             StaticDiffPaths::in(dir.path(), 2), world, silent);
  EXPECT_EQ(statics.message, "1 Staticblocks patched.");
  const DiffResult map =
      applyMapDiff(dir.file("map2.mul"), MapDiffPaths::in(dir.path(), 2), world, silent);
  EXPECT_EQ(map.message, "1 Mapblocks patched.");

  TStatics opened;
  opened.open(dir.file("staidx2.mul"), dir.file("statics2.mul"), 2304, 1600, StorageMode::Memory);
  EXPECT_TRUE(hasFire(opened.getItemsInRect(kFireX, kFireX, kFireY, kFireY)));
  TMap paved;
  paved.open(dir.file("map2.mul"), 2304, 1600);
  EXPECT_EQ(paved.cell(kFireX, kFireY)->tileId, 0x0D);
  // Facet 0's diff was not touched, and its statics are unchanged.
  TStatics facet0;
  facet0.open(dir.file("staidx0.mul"), dir.file("statics0.mul"), 7168, 4096, StorageMode::Memory);
  EXPECT_FALSE(hasFire(facet0.getItemsInRect(kFireX, kFireX, kFireY, kFireY)));
}

TEST_F(ClientFacetFiles, TheRegistrysWorldSizeFollowsTheFacetAndItsFiles) {
  Registry registry;
  registry.config->setString("MapWidth", "256");
  registry.config->setString("MapHeight", "256");
  registry.config->setString("Facet", "2");
  registry.config->setString("Map", dir.file("map2.mul"));
  registry.config->setString("StaticIdx", dir.file("staidx2.mul"));
  EXPECT_EQ(registry.settingsWorldSize(), std::make_pair(2304, 1600));
  registry.alignDiffWorld();
  EXPECT_EQ(registry.staticDiff->facet(), 2);
  EXPECT_EQ(registry.staticDiff->width(), 2304);

  registry.config->setString("Facet", "0");
  registry.config->setString("Map", dir.file("map0.mul"));
  registry.config->setString("StaticIdx", dir.file("Staidx1.mul"));
  try {
    registry.settingsFacetSize();
    ADD_FAILURE() << "map and statics of two worlds were taken together";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("is 7168 x 4096 but the statics"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("are 6144 x 4096"), std::string::npos);
  }
  // The size typed stands while the files disagree; their open is refused elsewhere.
  EXPECT_EQ(registry.settingsWorldSize(), std::make_pair(256, 256));
  // A UOP map says nothing of its size: the statics index decides.
  registry.config->setString("Facet", "4");
  registry.config->setString("Map", dir.file("map4LegacyMUL.uop"));
  registry.config->setString("StaticIdx", dir.file("staidx4.mul"));
  EXPECT_EQ(registry.settingsWorldSize(), std::make_pair(1448, 1448));
}

TEST_F(ClientFacetFiles, PatchDirectoriesAndTheClilocFileAreFoundWhateverTheirCase) {
  EXPECT_EQ(patchMapNumbers(dir.path()), (std::vector<int>{0, 1, 2, 3, 4, 5}));
  const PatchDirectory three{dir.path(), 3};
  EXPECT_EQ(three.staticsIndexPath(), dir.file("StaIdx3.mul"));
  EXPECT_EQ(three.staticsDataPath(), dir.file("Statics3.mul"));
  EXPECT_EQ(PatchDirectory({dir.path(), 1}).mapPath(), dir.file("Map1.mul"));
  EXPECT_EQ(three.textureIndexPath(), dir.file("TexIdx.mul"));

  EXPECT_EQ(clilocFilePath(dir.path()), dir.file("Cliloc.enu"));
  EXPECT_EQ(clilocFilePath(dir.file("cliloc.enu")), dir.file("Cliloc.enu"));
  EXPECT_EQ(loadCliloc(dir.file("CLILOC.ENU")).entries.size(), 3u);
  EXPECT_EQ(loadCliloc(dir.path()).entries.size(), 3u);
}

}  // namespace
