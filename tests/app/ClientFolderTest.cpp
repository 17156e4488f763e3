#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "app/ClientFolder.h"
#include "app/Error.h"
#include "app/Facet.h"
#include "app/FileIO.h"
#include "app/FileNames.h"
#include "app/Uop.h"
#include "app/UopPair.h"
#include "sample/SampleClient.h"
#include "registry/Registry.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

void touch(const TempDir& dir, const std::string& name, std::size_t size = 4) {
  test::writeBytes(dir.file(name), Bytes(size, 0x11));
}

std::string messageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.what();
  }
  return {};
}

bool hasNote(const ClientScan& scan, const std::string& part) {
  return std::any_of(scan.notes.begin(), scan.notes.end(),
                     [&](const std::string& n) { return n.find(part) != std::string::npos; });
}

TEST(FileNames, FindsANameWhateverItsCaseAndPrefersTheNameAsGiven) {
  TempDir dir;
  touch(dir, "Stadifl0.mul");
  touch(dir, "map0.mul");
  touch(dir, "Map0.mul");
  const FolderNames names(dir.path());

  const auto diff = names.find("stadifl0.MUL");
  ASSERT_TRUE(diff);
  EXPECT_EQ(diff->name, "Stadifl0.mul");
  EXPECT_EQ(diff->path, dir.file("Stadifl0.mul"));
  EXPECT_TRUE(diff->clashNote(dir.path()).empty());

  // Both spellings are there: the one asked for is taken, and the other is named.
  const auto map = names.find("map0.mul");
  ASSERT_TRUE(map);
  EXPECT_EQ(map->name, "map0.mul");
  EXPECT_EQ(map->clashNote(dir.path()),
            "Both map0.mul and Map0.mul are in " + dir.path() + "; map0.mul was taken.");
  // Asked in a third spelling, the first in byte order is taken, never silently.
  const auto upper = names.find("MAP0.MUL");
  ASSERT_TRUE(upper);
  EXPECT_EQ(upper->name, "Map0.mul");
  EXPECT_EQ(upper->others, std::vector<std::string>{"map0.mul"});

  EXPECT_FALSE(names.find("statics0.mul"));
  EXPECT_EQ(pathWithoutCase(dir.path(), "STADIFL0.mul"), dir.file("Stadifl0.mul"));
  // A file that is not there keeps the name the program gives it.
  EXPECT_EQ(pathWithoutCase(dir.path(), "Stadifi0.mul"), dir.file("Stadifi0.mul"));
  EXPECT_EQ(existingPathWithoutCase(dir.file("stadifl0.mul")), dir.file("Stadifl0.mul"));
  EXPECT_EQ(existingPathWithoutCase(dir.file("none.mul")), dir.file("none.mul"));
}

TEST(FileNames, EveryLookupThatMeetsTwoSpellingsSaysWhichItTook) {
  // A diff set unzipped beside another leaves both spellings.
  TempDir dir;
  touch(dir, "Stadifl2.mul");
  touch(dir, "stadifl2.mul");
  touch(dir, "map2.mul");
  takeFileNotes();
  EXPECT_EQ(pathWithoutCase(dir.path(), "Stadifl2.mul"), dir.file("Stadifl2.mul"));
  EXPECT_EQ(takeFileNotes(),
            std::vector<std::string>{"Both Stadifl2.mul and stadifl2.mul are in " + dir.path() +
                                     "; Stadifl2.mul was taken."});
  // The name as given is there, and still the other one is said; asked twice in one action, once.
  EXPECT_EQ(existingPathWithoutCase(dir.file("stadifl2.mul")), dir.file("stadifl2.mul"));
  EXPECT_EQ(pathWithoutCase(dir.path(), "stadifl2.mul"), dir.file("stadifl2.mul"));
  EXPECT_EQ(takeFileNotes(),
            std::vector<std::string>{"Both stadifl2.mul and Stadifl2.mul are in " + dir.path() +
                                     "; stadifl2.mul was taken."});
  EXPECT_EQ(pathWithoutCase(dir.path(), "STADIFL2.MUL"), dir.file("Stadifl2.mul"));
  EXPECT_EQ(takeFileNotes().size(), 1u);
  // One spelling alone says nothing.
  EXPECT_EQ(pathWithoutCase(dir.path(), "MAP2.mul"), dir.file("map2.mul"));
  EXPECT_EQ(existingPathWithoutCase(dir.file("map2.mul")), dir.file("map2.mul"));
  EXPECT_TRUE(takeFileNotes().empty());
}

TEST(FileNames, AFolderThatCannotBeReadSaysSo) {
  TempDir dir;
  EXPECT_EQ(messageOf([&] { FolderNames names(dir.file("missing")); }),
            "Cannot open folder " + dir.file("missing") + ": No such file or directory");
  EXPECT_EQ(FolderNames::orEmpty(dir.file("missing")).size(), 0u);
}

TEST(Facet, TheSizeFollowsFromTheFacetAndTheFile) {
  EXPECT_EQ(facetWorldSize(0, 77070336, std::nullopt), (FacetSize{6144, 4096}));
  EXPECT_EQ(facetWorldSize(1, 89915392, std::nullopt), (FacetSize{7168, 4096}));
  EXPECT_EQ(facetWorldSize(2, FacetSize{2304, 1600}.mapBytes(), std::nullopt),
            (FacetSize{2304, 1600}));
  EXPECT_EQ(facetWorldSize(4, std::nullopt, FacetSize{1448, 1448}.staticIndexBytes()),
            (FacetSize{1448, 1448}));
  // Maps 3 and 5 hold the same number of blocks; the facet number tells them apart.
  const std::uint64_t same = FacetSize{2560, 2048}.mapBytes();
  ASSERT_EQ(same, (FacetSize{1280, 4096}.mapBytes()));
  EXPECT_EQ(facetWorldSize(3, same, std::nullopt), (FacetSize{2560, 2048}));
  EXPECT_EQ(facetWorldSize(5, same, std::nullopt), (FacetSize{1280, 4096}));
  // A file that fits no size of its facet leaves the size to the user.
  EXPECT_FALSE(facetWorldSize(2, 77070336, std::nullopt));
  EXPECT_FALSE(facetWorldSize(0, 1000, 12));
  EXPECT_EQ(messageOf([] { checkFacet(6); }), "There is no facet 6: the facets are 0 to 5.");
}

TEST(Facet, MapAndStaticsOfDifferentWorldsAreRefusedNamingBothSizes) {
  EXPECT_EQ(messageOf([] {
              facetWorldSize(0, 77070336, FacetSize{7168, 4096}.staticIndexBytes(), "map0.mul",
                             "staidx0.mul");
            }),
            "The map map0.mul is 6144 x 4096 but the statics staidx0.mul are 7168 x 4096: they "
            "belong to different worlds and cannot be opened together.");
  EXPECT_EQ(messageOf([] { facetWorldSize(2, FacetSize{2304, 1600}.mapBytes(), 120, "m", "s"); }),
            "The map m is 2304 x 1600 but the statics s are 10 blocks: they belong to different "
            "worlds and cannot be opened together.");
  EXPECT_EQ(facetWorldSize(0, 77070336, FacetSize{6144, 4096}.staticIndexBytes()),
            (FacetSize{6144, 4096}));
}

TEST(ClientFolder, FindsEveryFamilyWhateverTheCaseAndTakesTheUopOverTheMul) {
  TempDir dir;
  touch(dir, "Artidx.mul");
  touch(dir, "ART.mul");
  touch(dir, "artLegacyMUL.uop", 40);
  touch(dir, "TileData.mul", 10);
  touch(dir, "Gumpidx.mul");
  touch(dir, "map2.mul", FacetSize{2304, 1600}.mapBytes());
  touch(dir, "Staidx2.mul", FacetSize{2304, 1600}.staticIndexBytes());
  touch(dir, "STATICS2.MUL");
  touch(dir, "stadifl2.mul");
  touch(dir, "Cliloc.enu");

  const ClientScan scan = scanClientFolder(dir.path());
  const ClientFamily* art = scan.family("Art");
  ASSERT_TRUE(art);
  EXPECT_EQ(art->form, ClientForm::Uop);
  ASSERT_EQ(art->files.size(), 1u);
  EXPECT_EQ(art->files[0].name, "artLegacyMUL.uop");
  EXPECT_EQ(art->size(), 40u);
  EXPECT_TRUE(hasNote(scan, "Art: artLegacyMUL.uop was taken rather than Artidx.mul, ART.mul"));

  const ClientFamily* tiledata = scan.family("Tiledata");
  ASSERT_TRUE(tiledata && tiledata->complete());
  EXPECT_EQ(tiledata->files[0].path, dir.file("TileData.mul"));
  // Half a pair: what is there, and what is missing.
  const ClientFamily* gumps = scan.family("Gumps");
  ASSERT_TRUE(gumps);
  EXPECT_EQ(gumps->files.size(), 1u);
  EXPECT_EQ(gumps->missing, std::vector<std::string>{"gumpart.mul"});
  EXPECT_EQ(scan.family("Hues")->missing, std::vector<std::string>{"hues.mul"});
  EXPECT_TRUE(scan.family("Cliloc")->complete());

  const ClientFacet& facet2 = scan.facets[2];
  EXPECT_TRUE(facet2.statics.complete());
  EXPECT_EQ(facet2.worldSize, (FacetSize{2304, 1600}));
  EXPECT_EQ(facet2.staticDiff.missing,
            (std::vector<std::string>{"Stadifi2.mul", "Stadif2.mul"}));
  EXPECT_FALSE(scan.facets[0].present());

  const auto settings = scan.settings(2);
  const auto value = [&](const std::string& key) {
    for (const auto& [k, v] : settings)
      if (k == key) return v;
    return std::string("-");
  };
  // A UOP fills both fields of its pair.
  EXPECT_EQ(value("ArtIdx"), dir.file("artLegacyMUL.uop"));
  EXPECT_EQ(value("ArtMul"), dir.file("artLegacyMUL.uop"));
  EXPECT_EQ(value("Map"), dir.file("map2.mul"));
  EXPECT_EQ(value("StaticMul"), dir.file("STATICS2.MUL"));
  EXPECT_EQ(value("GumpMul"), "-");
  // The families with pages of their own are filled as well.
  EXPECT_EQ(value("Cliloc"), dir.file("Cliloc.enu"));

  // The table: one row per family, then facet 0 (missing) and facet 2 with its diff.
  const std::vector<ClientTableRow> rows = scan.table();
  const auto row = [&](const std::string& family) {
    for (const ClientTableRow& r : rows)
      if (r.family == family) return r;
    return ClientTableRow{};
  };
  EXPECT_EQ(row("Art").files, "artLegacyMUL.uop");
  EXPECT_EQ(row("Art").form, "UOP");
  EXPECT_EQ(row("Hues").form, "-");
  EXPECT_EQ(row("Sound").missing, "soundidx.mul, sound.mul (or soundLegacyMUL.uop)");
  EXPECT_EQ(row("Map 0").missing, "map0.mul (or map0LegacyMUL.uop)");
  EXPECT_EQ(row("Static diff 2").files, "stadifl2.mul");
  EXPECT_EQ(row("Map 3").family, "");
}

TEST(ClientFolder, NamesDifferingOnlyInCaseAndFilesOfDifferentWorldsAreSaid) {
  TempDir dir;
  touch(dir, "map0.mul", 196);
  touch(dir, "Map0.mul", 196);
  touch(dir, "map1.mul", 0);
  ASSERT_EQ(::truncate(dir.file("map1.mul").c_str(), 77070336), 0);
  touch(dir, "staidx1.mul", FacetSize{7168, 4096}.staticIndexBytes());
  touch(dir, "statics1.mul");

  const ClientScan scan = scanClientFolder(dir.path());
  EXPECT_EQ(scan.facets[0].map.files[0].name, "map0.mul");
  EXPECT_TRUE(hasNote(scan, "Both map0.mul and Map0.mul are in " + dir.path() +
                                "; map0.mul was taken."));
  EXPECT_FALSE(scan.facets[1].worldSize);
  EXPECT_EQ(scan.facets[1].sizeProblem,
            "The map map1.mul is 6144 x 4096 but the statics staidx1.mul are 7168 x 4096: they "
            "belong to different worlds and cannot be opened together.");
  EXPECT_TRUE(hasNote(scan, scan.facets[1].sizeProblem));
}

namespace {

// A map container whose chunk records give a map file of `bytes`, each chunk's stream a few bytes
// long: a size is told from the records, never by inflating.
void writeMapContainer(const std::string& path, int map, std::uint64_t bytes) {
  UopContainer c = UopContainer::create();
  for (std::uint64_t at = 0, k = 0; at < bytes; at += kUopMapChunk, ++k) {
    UopEntry e;
    e.hash = uopHash(uopEntryName(UopFamily::Map, static_cast<std::uint32_t>(k),
                                  static_cast<std::uint32_t>(map)));
    e.compression = 1;
    e.fullSize = static_cast<std::uint32_t>(std::min<std::uint64_t>(kUopMapChunk, bytes - at));
    e.stored = {0x78, 0x9C, 3, 0};
    c.putEntry(e);
  }
  c.save(path);
}

}  // namespace

TEST(ClientFolder, AMapContainerIsSizedFromItsChunksAndCheckedAgainstItsStatics) {
  TempDir dir;
  // Facet 1: a container of 7168 x 4096 beside a statics index of 6144 x 4096.
  writeMapContainer(dir.file("map1LegacyMUL.uop"), 1, FacetSize{7168, 4096}.mapBytes());
  touch(dir, "Staidx1.mul", FacetSize{6144, 4096}.staticIndexBytes());
  touch(dir, "statics1.mul");
  // Facet 4: a container with no statics index beside it.
  writeMapContainer(dir.file("map4LegacyMUL.uop"), 4, FacetSize{1448, 1448}.mapBytes());

  const ClientScan scan = scanClientFolder(dir.path());
  EXPECT_FALSE(scan.facets[1].worldSize);
  EXPECT_EQ(scan.facets[1].sizeProblem,
            "The map map1LegacyMUL.uop is 7168 x 4096 but the statics Staidx1.mul are 6144 x "
            "4096: they belong to different worlds and cannot be opened together.");
  ASSERT_TRUE(scan.facets[4].worldSize);
  EXPECT_EQ(*scan.facets[4].worldSize, (FacetSize{1448, 1448}));
  EXPECT_TRUE(scan.facets[4].sizeProblem.empty());
}

TEST(ClientFolder, TheSettingsSizeAMapContainerByTheMapItHolds) {
  // The size the Diff Tool and the world tools take from the Settings: a facet 1 container of
  // 7168 x 4096, alone and beside a statics index of another world.
  TempDir dir;
  writeMapContainer(dir.file("map1LegacyMUL.uop"), 1, FacetSize{7168, 4096}.mapBytes());
  Registry registry;
  registry.config->setInt("Facet", 1);
  registry.config->setString("Map", dir.file("map1LegacyMUL.uop"));
  ASSERT_TRUE(registry.settingsFacetSize());
  EXPECT_EQ(*registry.settingsFacetSize(), (FacetSize{7168, 4096}));
  EXPECT_EQ(registry.settingsWorldSize(), (std::pair{7168, 4096}));
  touch(dir, "staidx1.mul", FacetSize{6144, 4096}.staticIndexBytes());
  registry.config->setString("StaticIdx", dir.file("staidx1.mul"));
  EXPECT_THROW(registry.settingsFacetSize(), Error);
}

TEST(ClientFolder, AFolderWithoutClientFilesOrUnreadableGivesOneMessage) {
  TempDir dir;
  touch(dir, "readme.txt");
  ::mkdir(dir.file("map0.mul").c_str(), 0755);  // a folder of that name is no client file
  EXPECT_EQ(messageOf([&] { scanClientFolder(dir.path()); }),
            "No client file in " + dir.path() +
                ": none of the names looked for (art.mul, map0.mul, tiledata.mul, "
                "artLegacyMUL.uop, ...) is there.");
  EXPECT_EQ(messageOf([&] { scanClientFolder(dir.file("nothing")); }),
            "Cannot open folder " + dir.file("nothing") + ": No such file or directory");
}

TEST(ClientFolder, TheGeneratedClientFillsEveryFamilyAndEveryFacet) {
  TempDir dir;
  sample::writeSampleClient(dir.path());
  const ClientScan scan = scanClientFolder(dir.path());
  for (const ClientFamily& f : scan.families) EXPECT_TRUE(f.complete()) << f.title;
  for (const char* id : {"Art", "Gumps", "Sound", "Multis"})
    EXPECT_EQ(scan.family(id)->form, ClientForm::Uop) << id;
  EXPECT_EQ(scan.family("Tiledata")->files[0].name, "TileData.mul");
  for (int n = 0; n < kFacetCount; ++n) {
    const ClientFacet& facet = scan.facets[static_cast<std::size_t>(n)];
    EXPECT_TRUE(facet.map.complete() && facet.statics.complete()) << n;
    EXPECT_EQ(facet.worldSize, sample::sampleClientFacetSize(n)) << n;
    EXPECT_EQ(facet.mapDiff.complete() && facet.staticDiff.complete(), n == 0 || n == 2) << n;
  }
  EXPECT_EQ(scan.facets[4].map.form, ClientForm::Uop);
  EXPECT_EQ(scan.facets[2].staticDiff.files[0].name, "stadifl2.mul");
  EXPECT_EQ(scan.facets[0].staticDiff.files[0].name, "Stadifl0.mul");
  // The maps are as large as a client's.
  EXPECT_EQ(scan.facets[0].map.size(), 89915392u);
  EXPECT_EQ(scan.facets[1].map.size(), 77070336u);
}

}  // namespace
