// The "shared" commands against a throwaway PostgreSQL server: a world laid out, filled from the
// sample client folder, written back, its roles and history shown, a step taken back; and every
// bad input ending with a message and nothing written.

#include <gtest/gtest.h>

#include <filesystem>

#include "app/FileIO.h"
#include "cli/CliRun.h"
#include "support/PgCluster.h"
#include "support/TestFiles.h"
#include "support/WorldFiles.h"
#include "world/SharedWorld.h"

using namespace quillotide;
using quillotide::test::PgCluster;
using quillotide::test::runCliWords;
using quillotide::test::TempDir;

namespace {

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::vector<std::string> filesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  return names;
}

// The sample client folder (every facet at its real size), made once for all tests.
const std::string& sampleClient() {
  static TempDir dir;
  static const bool made = [] {
    const auto r = runCliWords({"make-sample", "--client", dir.path()});
    EXPECT_EQ(r.code, 0) << r.err;
    return true;
  }();
  (void)made;
  return dir.path();
}

class SharedCli : public ::testing::Test {
protected:
  void SetUp() override {
    if (!cluster().running()) GTEST_SKIP() << cluster().reason();
  }
  static PgCluster& cluster() { return PgCluster::shared(); }

  // A new database of its own for each call.
  static std::string database() {
    static int counter = 0;
    return "cli_" + std::to_string(++counter);
  }
  // A new database laid out as a shared world.
  static std::string newWorld(std::string* name = nullptr) {
    const std::string db = database();
    if (name) *name = db;
    const std::string url = cluster().createDatabase(db);
    const auto r = runCliWords({"shared", "init", url});
    EXPECT_EQ(r.code, 0) << r.err;
    return url;
  }
  static void import(const std::string& url, const std::vector<std::string>& facets) {
    std::vector<std::string> words = {"shared", "import", url, "--client", sampleClient()};
    for (const std::string& f : facets) words.insert(words.end(), {"--facet", f});
    const auto r = runCliWords(words);
    ASSERT_EQ(r.code, 0) << r.err;
  }
};

// The land cell of a map file of a world `height` cells high.
MapCell cellOf(const Bytes& map, int height, int x, int y) {
  return loadMapCell(&map.at(mapCellOffset(height, x, y)));
}

}  // namespace

TEST_F(SharedCli, InitLaysOutAnEmptyWorldOnce) {
  const std::string url = cluster().createDatabase(database());
  auto r = runCliWords({"shared", "init", url});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "layout version 1")) << r.out;
  r = runCliWords({"shared", "init", url});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "nothing to do")) << r.out;

  r = runCliWords({"shared", "info", url, "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "\"schemaVersion\":1")) << r.out;
  EXPECT_TRUE(has(r.out, "\"facets\":[]")) << r.out;
  EXPECT_TRUE(has(r.out, "\"steps\":0")) << r.out;
  EXPECT_TRUE(has(r.out, "\"lastStep\":null")) << r.out;
  r = runCliWords({"shared", "info", url});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "no facet yet")) << r.out;
}

TEST_F(SharedCli, ImportedFacetsExportAsTheClientFolderHoldsThem) {
  const std::string url = newWorld();
  const std::string client = sampleClient();
  // Facet 2 comes from map2.mul, facet 4 from its container map4LegacyMUL.uop.
  auto r = runCliWords(
      {"shared", "import", url, "--client", client, "--facet", "2", "--facet", "4", "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "{\"facet\":2,\"width\":2304,\"height\":1600,")) << r.out;
  EXPECT_TRUE(has(r.out, "{\"facet\":4,\"width\":1448,\"height\":1448,")) << r.out;

  // The statics as the program writes them when it drops unreferenced data.
  TempDir out;
  r = runCliWords({"statics", "compact", client + "/staidx2.mul", client + "/statics2.mul",
                   out.file("idx.mul"), out.file("mul.mul"), "--facet", "2"});
  ASSERT_EQ(r.code, 0) << r.err;
  const Bytes compactIndex = test::readBytes(out.file("idx.mul"));
  const Bytes compactData = test::readBytes(out.file("mul.mul"));
  ASSERT_FALSE(compactData.empty());
  const std::string statics = std::to_string(compactData.size() / 7);

  r = runCliWords({"shared", "info", url, "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(
      has(r.out, "{\"facet\":2,\"width\":2304,\"height\":1600,\"statics\":" + statics + "}"))
      << r.out;
  r = runCliWords({"shared", "info", url});
  EXPECT_TRUE(has(r.out, "facet 4: 1448 x 1448, " + statics + " statics")) << r.out;

  r = runCliWords({"shared", "export", url, "--facet", "2", out.path()});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(has(r.out, out.file("map2.mul"))) << r.out;
  EXPECT_EQ(test::readBytes(out.file("map2.mul")), test::readBytes(client + "/map2.mul"));
  EXPECT_EQ(test::readBytes(out.file("staidx2.mul")), compactIndex);
  EXPECT_EQ(test::readBytes(out.file("statics2.mul")), compactData);

  r = runCliWords({"shared", "export", url, "--facet", "4", out.path(), "--uop"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_FALSE(fileExists(out.file("map4.mul")));
  r = runCliWords({"uop", "unpack", out.file("map4LegacyMUL.uop"), out.file("unpacked.mul")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(test::readBytes(out.file("unpacked.mul")), test::readBytes(client + "/map4.mul"));
  r = runCliWords({"map", "info", out.file("map4LegacyMUL.uop"), "--facet", "4"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "width: 1448")) << r.out;

  // A facet is imported once; a second import changes nothing.
  r = runCliWords({"shared", "import", url, "--client", client, "--facet", "2"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(has(r.err, "Facet 2 is already in the shared world")) << r.err;
  EXPECT_TRUE(r.out.empty()) << r.out;
}

TEST_F(SharedCli, RolesAreGrantedMovedAndRevoked) {
  const std::string url = newWorld();
  auto r = runCliWords({"shared", "grant", url, "cli_anna", "builder"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "cli_anna is now a builder")) << r.out;
  ASSERT_EQ(runCliWords({"shared", "grant", url, "cli_bert", "builder"}).code, 0);
  ASSERT_EQ(runCliWords({"shared", "grant", url, "cli_vera", "viewer"}).code, 0);
  r = runCliWords({"shared", "info", url, "--json"});
  EXPECT_TRUE(has(r.out, "\"builders\":[\"cli_anna\",\"cli_bert\"],\"viewers\":[\"cli_vera\"]"))
      << r.out;

  // One login holds one of the two roles: a builder made a viewer is no builder any more.
  ASSERT_EQ(runCliWords({"shared", "grant", url, "cli_bert", "viewer"}).code, 0);
  ASSERT_EQ(runCliWords({"shared", "revoke", url, "cli_vera"}).code, 0);
  r = runCliWords({"shared", "info", url, "--json"});
  EXPECT_TRUE(has(r.out, "\"builders\":[\"cli_anna\"],\"viewers\":[\"cli_bert\"]")) << r.out;
  r = runCliWords({"shared", "info", url});
  EXPECT_TRUE(has(r.out, "viewers (")) << r.out;
  EXPECT_TRUE(has(r.out, "): cli_bert")) << r.out;

  r = runCliWords({"shared", "grant", url, "cli_anna", "admin"});
  EXPECT_EQ(r.code, 2);
  EXPECT_TRUE(has(r.err, "builder or viewer")) << r.err;
  r = runCliWords({"shared", "revoke", url, "cli_nobody_here"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(has(r.err, "There is no login role cli_nobody_here")) << r.err;
}

TEST_F(SharedCli, LogListsStepsAndRevertTakesOneBack) {
  std::string db;
  const std::string url = newWorld(&db);
  import(url, {"4"});
  ASSERT_EQ(runCliWords({"shared", "grant", url, "cli_bert", "builder"}).code, 0);
  const Bytes map = test::readBytes(sampleClient() + "/map4.mul");

  // Step 1 by the owner places a static; step 2 by cli_bert changes a cell far from it.
  SharedWorld owner(url);
  SharedStep place{
      4, "Place static", {}, {{0, std::nullopt, SharedStaticState{10, 12, 5, 0x100, 0}}}};
  const SharedStepResult placed = owner.apply(place);
  ASSERT_TRUE(placed.applied) << placed.refusal;
  SharedWorld bert(cluster().url(db, "cli_bert"));
  const MapCell before = cellOf(map, 1448, 400, 300);
  SharedStep paint{4, "Paint", {{400, 300, before, MapCell{0x0D, before.z}}}, {}};
  const SharedStepResult painted = bert.apply(paint);
  ASSERT_TRUE(painted.applied) << painted.refusal;

  auto r = runCliWords({"shared", "revert", url, std::to_string(placed.step)});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string revertedBy = std::to_string(painted.step + 1);
  EXPECT_TRUE(has(
      r.out, "Step " + std::to_string(placed.step) + " was taken back by step " + revertedBy + "."))
      << r.out;

  r = runCliWords({"shared", "log", url, "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "\"builder\":\"cli_bert\"")) << r.out;
  EXPECT_TRUE(has(r.out,
                  "\"name\":\"Paint\",\"kind\":\"edit\",\"reverts\":null,\"cells\":1,"
                  "\"statics\":0,\"rect\":[400,300,400,300]}"))
      << r.out;
  EXPECT_TRUE(has(r.out, "\"kind\":\"revert\",\"reverts\":" + std::to_string(placed.step) +
                             ",\"cells\":0,\"statics\":1,\"rect\":[10,12,10,12]}"))
      << r.out;
  r = runCliWords({"shared", "log", url});
  EXPECT_TRUE(has(r.out, "Place static  (1 static, 0 cells, 10,12-10,12)")) << r.out;
  EXPECT_TRUE(has(r.out, "takes back step " + std::to_string(placed.step))) << r.out;

  // The filters narrow the list: one builder, a rectangle, the last N.
  const auto ids = [](const std::string& json) {
    std::vector<std::string> out;
    for (std::size_t at = json.find("{\"id\":"); at != std::string::npos;
         at = json.find("{\"id\":", at + 1))
      out.push_back(json.substr(at + 6, json.find(',', at) - at - 6));
    return out;
  };
  const std::string p = std::to_string(placed.step), b = std::to_string(painted.step);
  r = runCliWords({"shared", "log", url, "--builder", "cli_bert", "--json"});
  EXPECT_EQ(ids(r.out), std::vector<std::string>({b})) << r.out;
  r = runCliWords({"shared", "log", url, "--rect", "8,8,4,8", "--json"});
  EXPECT_EQ(ids(r.out), std::vector<std::string>({p, revertedBy})) << r.out;
  r = runCliWords({"shared", "log", url, "--limit", "2", "--json"});
  EXPECT_EQ(ids(r.out), std::vector<std::string>({b, revertedBy})) << r.out;
  r = runCliWords({"shared", "log", url, "--facet", "2", "--json"});
  EXPECT_EQ(r.out, "[]\n");
  r = runCliWords({"shared", "info", url, "--json"});
  EXPECT_TRUE(has(r.out, "\"steps\":3,\"lastStep\":{\"id\":" + revertedBy)) << r.out;

  // Taking the same step back twice is refused: the static it placed is gone already.
  r = runCliWords({"shared", "revert", url, p});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(has(r.err, "was not taken back")) << r.err;
  EXPECT_TRUE(r.out.empty()) << r.out;
  r = runCliWords({"shared", "revert", url, "999"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(has(r.err, "There is no step 999")) << r.err;

  for (const char* rect : {"1,2,3", "1,2,0,4", "a,b,c,d", "1,2,3,4,5"}) {
    r = runCliWords({"shared", "log", url, "--rect", rect});
    EXPECT_EQ(r.code, 2) << rect;
    EXPECT_TRUE(has(r.err, "--rect")) << r.err;
  }
}

TEST(SharedCliErrors, AnUnreachableServerIsNamed) {
  for (const char* command : {"init", "info", "log"}) {
    const auto r = runCliWords({"shared", command, "postgresql:///x?host=/nonexistent"});
    EXPECT_EQ(r.code, 1) << command;
    EXPECT_TRUE(has(r.err, "cannot be reached")) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
}

TEST_F(SharedCli, BadInputEndsWithAMessageAndWritesNothing) {
  // A database that was never laid out.
  const std::string plain = cluster().createDatabase(database());
  auto r = runCliWords({"shared", "info", plain});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(has(r.err, "holds no shared world")) << r.err;

  const std::string url = newWorld();
  TempDir out;
  r = runCliWords({"shared", "export", url, "--facet", "3", out.path()});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(has(r.err, "Facet 3 is not in the shared world")) << r.err;
  EXPECT_TRUE(filesIn(out.path()).empty());
  r = runCliWords({"shared", "export", url, "--facet", "3", out.file("missing")});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(has(r.err, "does not exist")) << r.err;
  EXPECT_FALSE(fileExists(out.file("missing")));
  r = runCliWords({"shared", "export", url, out.path()});
  EXPECT_EQ(r.code, 2);

  // A folder without the facet asked for, and one without any client file.
  r = runCliWords({"shared", "import", url, "--client", out.path()});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(has(r.err, "No client file")) << r.err;
  test::writeBytes(out.file("map2.mul"), Bytes(2304 / 8 * (1600 / 8) * 196));
  r = runCliWords({"shared", "import", url, "--client", out.path(), "--facet", "3"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(has(r.err, "Facet 3 has no map or statics")) << r.err;
  r = runCliWords({"shared", "import", url, "--client", out.path()});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(has(r.err, "Facet 2 in " + out.path() + " lacks")) << r.err;
  r = runCliWords({"shared", "import", url, "--facet", "2"});
  EXPECT_EQ(r.code, 2);
  r = runCliWords({"shared", "info", url, "--json"});
  EXPECT_TRUE(has(r.out, "\"facets\":[]")) << r.out;
}

TEST_F(SharedCli, AMapOfASizeOfItsOwnGoesInWithTheSizeGiven) {
  // Facet 0 at 64 x 48: no size the client knows for it.
  TempDir client;
  test::writeBytes(client.file("map0.mul"), test::makeMapBytes(64, 48, [](int x, int y) {
                     return test::CellSpec{static_cast<std::uint16_t>(3 + x + y), 0};
                   }));
  const auto placed = test::makeStaticsFiles(64, 48, {{0x100, 10, 20, 5, 0}, {0x101, 63, 47, 0, 2}});
  test::writeBytes(client.file("staidx0.mul"), placed.index);
  test::writeBytes(client.file("statics0.mul"), placed.data);
  const std::string url = newWorld();
  auto r = runCliWords({"shared", "import", url, "--client", client.path()});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(has(r.err, "fit no size of the facet; give the size with --width W --height H"))
      << r.err;
  r = runCliWords({"shared", "import", url, "--client", client.path(), "--width", "64", "--height",
                   "56"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(has(r.err, "holds 9408 bytes, too few for 64 x 56 (10976); nothing was imported"))
      << r.err;
  r = runCliWords({"shared", "import", url, "--client", client.path(), "--width", "64"});
  EXPECT_EQ(r.code, 2);
  r = runCliWords({"shared", "info", url, "--json"});
  EXPECT_TRUE(has(r.out, "\"facets\":[]")) << r.out;

  r = runCliWords({"shared", "import", url, "--client", client.path(), "--width", "64", "--height",
                   "48"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(has(r.out, "facet 0: 64 x 48, 48 blocks, 2 statics")) << r.out;
  TempDir out;
  r = runCliWords({"shared", "export", url, "--facet", "0", out.path()});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(readFile(out.file("map0.mul")) == readFile(client.file("map0.mul")));
  EXPECT_TRUE(readFile(out.file("statics0.mul")) == placed.data);
}
