// The equipment patch on the sample gumps, art, animations and tile data: what it writes where,
// the checks in their order, and that a refused patch leaves every model as it was.
#include <gtest/gtest.h>

#include <functional>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Image.h"
#include "models/Animation.h"
#include "models/Art.h"
#include "models/EquipPatch.h"
#include "models/Gump.h"
#include "models/ProgressArchive.h"
#include "sample/Sample.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::readBytes;
using quillotide::test::TempDir;
using quillotide::test::writeBytes;

namespace {

constexpr int kPerson = 0x190;  // the sample person, a body of type 2
constexpr int kWolf = 0x2;      // a body of type 0
constexpr std::int32_t kItem = 0x300;

class EquipPatchTest : public ::testing::Test {
protected:
  void SetUp() override {
    sample::writeGumps(dir.path());
    sample::writeArt(dir.path());
    sample::writeAnimations(dir.path());
    sample::writeTiledata(dir.path());
    writeImageFile(dir.file("gump.bmp"), test::exactPicture(20, 30, 80));
    writeImageFile(dir.file("gumpw.bmp"), test::exactPicture(21, 31, 120));
    writeImageFile(dir.file("art.bmp"), test::exactPicture(12, 14, 160));
    writeImageFile(dir.file("gump.png"), test::exactPicture(20, 30, 80));
    writeImageFile(dir.file("gumpw.png"), test::exactPicture(21, 31, 120));
    writeImageFile(dir.file("art.png"), test::exactPicture(12, 14, 160));
    writeBytes(dir.file("Progress.idx"), {});
    writeBytes(dir.file("Progress.mul"), {});
  }

  void loadAll() {
    gumps.load(dir.file("gumpidx.mul"), dir.file("gumpart.mul"));
    art.load(dir.file("artidx.mul"), dir.file("art.mul"), StorageMode::Memory);
    progress.load(dir.file("Progress.idx"), dir.file("Progress.mul"));
    animation.load(dir.file("anim.idx"), dir.file("anim.mul"));
    tiledata.load(dir.file("tiledata.mul"));
  }

  EquipPatch robe() const {
    EquipPatch p;
    p.gumpPicture = dir.file("gump.bmp");
    p.femaleGumpPicture = dir.file("gumpw.bmp");
    p.artPicture = dir.file("art.bmp");
    p.gumpId = "50500";
    p.artId = "0x300";
    p.animId = "0x190";
    p.weight = "7";
    p.flags = TileFlags::Wearable | TileFlags::PartialHue;
    p.layer = 20;
    p.name = "blue robe";
    return p;
  }

  EquipPatchResult run(const EquipPatch& p) {
    return patchEquipment(p, {gumps, art, progress, animation, tiledata, dir.file("anim.idx")});
  }
  std::string refusal(const EquipPatch& p) {
    try {
      run(p);
    } catch (const Error& e) {
      return e.what();
    }
    return "(no error)";
  }

  // Everything a patch could change, to see that a refused one changed none of it.
  struct State {
    std::int64_t gumpRecords;
    std::vector<std::optional<IndexRecord>> gumpSlots;
    std::int64_t artRecords;
    std::optional<IndexRecord> artSlot;
    Bytes progressIndex;
    Bytes animIndex;
    Bytes tiles;
    bool operator==(const State&) const = default;
  };
  State state() const {
    return {gumps.gumpCount(),     {gumps.record(50500), gumps.record(60500), gumps.record(70000)},
            art.recordCount(),     art.staticRecord(kItem),
            progress.indexImage(), readBytes(dir.file("anim.idx")),
            tiledata.image()};
  }

  TempDir dir;
  TGump gumps;
  TArt art;
  TProgress progress;
  TAnimation animation;
  TTiledata tiledata;
};

TEST_F(EquipPatchTest, WritesGumpsArtBodyAndRecord) {
  loadAll();
  const EquipPatchResult r = run(robe());
  EXPECT_EQ(r.body, 500);
  EXPECT_EQ(r.femaleGumpId, 60500);

  EXPECT_EQ(gumps.gumpPicture(50500), test::exactPicture(20, 30, 80));
  EXPECT_EQ(gumps.gumpPicture(60500), test::exactPicture(21, 31, 120));
  EXPECT_EQ(art.staticArtWidth(kItem), 12);
  EXPECT_EQ(art.staticPicture(kItem).at(3, 4), test::exactPicture(12, 14, 160).at(3, 4));
  for (int k = 0; k < animation.slotsPerBody(kPerson); ++k)
    ASSERT_EQ(animation.slotRecord(500, k), animation.slotRecord(kPerson, k)) << "slot " << k;
  EXPECT_TRUE(animation.bodyExists(500));

  const auto record = tiledata.readStatic(kItem);
  ASSERT_TRUE(record);
  StaticTileRecord expected;
  expected.flags = 0x400000 | 0x40000;
  expected.weight = 7;
  expected.quality = 20;
  expected.animId = 500;
  expected.name = makeTileName("blue robe");
  EXPECT_EQ(*record, expected);
  EXPECT_TRUE(progress.indexImage().empty());
}

TEST_F(EquipPatchTest, BodyAndFemaleGumpFollowTheGumpId) {
  EXPECT_EQ(equipBodyOf(50123), 123);
  EXPECT_EQ(equipBodyOf(1000), 16536);
  loadAll();
  EquipPatch p = robe();
  p.gumpId = "50123";
  p.animId = std::to_string(kWolf);
  p.femaleGumpPicture.clear();
  const EquipPatchResult r = run(p);
  EXPECT_EQ(r.body, 123);
  EXPECT_FALSE(r.femaleGumpId);
  EXPECT_TRUE(gumps.gumpExists(50123));
  // An empty "GumpBitmap(w):" writes no female gump.
  EXPECT_FALSE(gumps.gumpExists(60123));
  EXPECT_EQ(tiledata.staticAnimId(kItem), 123);
}

TEST_F(EquipPatchTest, PreconditionsInOrder) {
  const EquipPatch p = robe();
  EXPECT_EQ(refusal(p), "Load Gumps.");
  gumps.load(dir.file("gumpidx.mul"), dir.file("gumpart.mul"));
  EXPECT_EQ(refusal(p), "Load Art.");
  art.load(dir.file("artidx.mul"), dir.file("art.mul"), StorageMode::Memory);
  EXPECT_EQ(refusal(p), "Load Anims.");
  animation.load(dir.file("anim.idx"), dir.file("anim.mul"));
  EXPECT_EQ(refusal(p), "Load Tiledata.");
  tiledata.load(dir.file("tiledata.mul"));
  EquipPatch noLayer = p;
  noLayer.layer.reset();
  // The layer is asked for before anything typed is read.
  noLayer.gumpId = "x";
  EXPECT_EQ(refusal(noLayer), "Choose a layer.");
  EquipPatch progressArt = p;
  progressArt.artToProgress = true;
  EXPECT_EQ(refusal(progressArt), "Load Progress.");
}

TEST_F(EquipPatchTest, ArtIntoTheProgressArchiveNeedsOnlyTheArchive) {
  gumps.load(dir.file("gumpidx.mul"), dir.file("gumpart.mul"));
  animation.load(dir.file("anim.idx"), dir.file("anim.mul"));
  tiledata.load(dir.file("tiledata.mul"));
  EquipPatch p = robe();
  p.artToProgress = true;
  p.artPicture = dir.file("art.png");
  EXPECT_EQ(refusal(p), "Load Progress.");
  progress.load(dir.file("Progress.idx"), dir.file("Progress.mul"));
  run(p);
  EXPECT_EQ(progress.entryImage(progresslayout::kArtKind, kItem), test::exactPicture(12, 14, 160));
  EXPECT_EQ(tiledata.staticAnimId(kItem), 500);
}

TEST_F(EquipPatchTest, GumpsIntoTheProgressArchive) {
  art.load(dir.file("artidx.mul"), dir.file("art.mul"), StorageMode::Memory);
  progress.load(dir.file("Progress.idx"), dir.file("Progress.mul"));
  animation.load(dir.file("anim.idx"), dir.file("anim.mul"));
  tiledata.load(dir.file("tiledata.mul"));
  EquipPatch p = robe();
  p.gumpToProgress = true;
  p.gumpPicture = dir.file("gump.png");
  // The female gump would go into the gump model, which is not loaded.
  EXPECT_EQ(refusal(p), "Load Gumps.");
  p.femaleGumpToProgress = true;
  p.femaleGumpPicture = dir.file("gumpw.png");
  run(p);
  EXPECT_EQ(progress.entryImage(progresslayout::kGumpKind, 50500), test::exactPicture(20, 30, 80));
  EXPECT_EQ(progress.entryImage(progresslayout::kGumpKind, 60500), test::exactPicture(21, 31, 120));
  EXPECT_TRUE(art.staticExists(kItem));
}

TEST_F(EquipPatchTest, RefusedPatchChangesNothing) {
  loadAll();
  const State before = state();
  struct Case {
    const char* what;
    std::function<void(EquipPatch&)> change;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"gump id below the paperdolls", [](EquipPatch& p) { p.gumpId = "1000"; },
       "GumpId 1000 lies outside 50000 ... 115535, the paperdoll gumps of bodies 0 ... 65535."},
      {"gump id above the paperdolls", [](EquipPatch& p) { p.gumpId = "115536"; },
       "GumpId 115536 lies outside 50000 ... 115535, the paperdoll gumps of bodies 0 ... 65535."},
      {"id not a number", [](EquipPatch& p) { p.artId = "0x3G"; },
       "'0x3G' is not a valid integer value"},
      {"weight not a number", [](EquipPatch& p) { p.weight = ""; },
       "'' is not a valid integer value"},
      {"weight too large", [](EquipPatch& p) { p.weight = "300"; },
       "Weight 300 does not fit the tile data, which holds 0 ... 255."},
      {"static outside the tile data", [](EquipPatch& p) { p.artId = "0x4000"; },
       "ArtId 0x4000 lies outside the tile data's static section (16384 records)."},
      {"art id beyond the statics", [](EquipPatch& p) { p.artId = "0x10000"; },
       "ArtId 65536 lies outside the statics 0 ... 65535."},
      {"body types differ", [](EquipPatch& p) { p.animId = "2"; }, "Animtypes dont match."},
      {"no body to copy", [](EquipPatch& p) { p.animId = "0x1000"; },
       "AnimId 0x1000 has no animation to copy."},
      {"name outside the code page", [](EquipPatch& p) { p.name = "robe \xE2\x98\x83"; }, ""},
      {"art picture missing", [this](EquipPatch& p) { p.artPicture = dir.file("none.bmp"); },
       "Cannot open file " + dir.file("none.bmp")},
      {"female picture unreadable",
       [this](EquipPatch& p) {
         writeBytes(dir.file("bad.bmp"), {'B', 'M', 1, 2});
         p.femaleGumpPicture = dir.file("bad.bmp");
       },
       ""},
      {"art picture too large to encode",
       [this](EquipPatch& p) {
         writeImageFile(dir.file("wide.bmp"), Bitmap32(70000, 1, 0xFF102030));
         p.artPicture = dir.file("wide.bmp");
       },
       ""},
      {"bmp into the progress archive", [](EquipPatch& p) { p.artToProgress = true; },
       "Colorformat has to be RGBALPHA"},
      {"progress art id too large",
       [this](EquipPatch& p) {
         p.artToProgress = true;
         p.artPicture = dir.file("art.png");
         p.artId = "0x8000";
       },
       "ArtId 32768 does not fit the progress archive, which holds statics 0 ... 32767."},
      {"progress gump id too large",
       [this](EquipPatch& p) {
         p.gumpToProgress = true;
         p.gumpPicture = dir.file("gump.png");
         p.gumpId = "70000";
         p.animId = "0x190";
       },
       "GumpBitmap: gump 70000 does not fit the progress archive, which holds gumps 0 ... "
       "65535."},
      {"progress female gump id too large",
       [this](EquipPatch& p) {
         p.femaleGumpToProgress = true;
         p.femaleGumpPicture = dir.file("gumpw.png");
         p.gumpId = "56000";
       },
       "GumpBitmap(w): gump 66000 does not fit the progress archive, which holds gumps 0 ... "
       "65535."},
  };
  for (const Case& c : cases) {
    EquipPatch p = robe();
    c.change(p);
    const std::string message = refusal(p);
    EXPECT_NE(message, "(no error)") << c.what;
    if (!c.message.empty()) {
      EXPECT_EQ(message, c.message) << c.what;
    }
    EXPECT_TRUE(state() == before) << c.what;
  }
}

// Every refusal of the typed values at once, so the form is mended in one go; the page's list
// passes over fields not filled in yet.
TEST_F(EquipPatchTest, EveryRefusalIsNamedAtOnce) {
  loadAll();
  const State before = state();
  EquipPatch p = robe();
  p.gumpId = "1000";
  p.artToProgress = true;
  p.artId = "0x8000";
  p.animId = "x";
  p.weight = "256";
  const std::vector<std::string> expected = {
      "'x' is not a valid integer value",
      "GumpId 1000 lies outside 50000 ... 115535, the paperdoll gumps of bodies 0 ... 65535.",
      "ArtId 32768 does not fit the progress archive, which holds statics 0 ... 32767.",
      "Weight 256 does not fit the tile data, which holds 0 ... 255."};
  const EquipModels models{gumps, art, progress, animation, tiledata, dir.file("anim.idx")};
  EXPECT_EQ(equipRefusals(p, models, false), expected);
  std::string joined = expected[0];
  for (std::size_t i = 1; i < expected.size(); ++i) joined += "\n" + expected[i];
  EXPECT_EQ(refusal(p), joined);
  EXPECT_TRUE(state() == before);

  EquipPatch typing;
  typing.gumpId = "50100";
  EXPECT_TRUE(equipRefusals(typing, models, true).empty());
  EXPECT_EQ(equipRefusals(typing, models, false).size(), 3u);
}

}  // namespace
