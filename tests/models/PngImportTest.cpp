// Every PNG import takes a 16-bit picture's stored colours, whether or not the file carries a
// colour-space chunk: art, gumps, the progress archive and the equipment patch.
#include <gtest/gtest.h>

#include "app/FileIO.h"
#include "models/Animation.h"
#include "models/Art.h"
#include "models/EquipPatch.h"
#include "models/Gump.h"
#include "models/ProgressArchive.h"
#include "models/Tiledata.h"
#include "sample/Sample.h"
#include "support/PngFiles.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::PngColourChunk;
using quillotide::test::TempDir;

namespace {

// 0x8485 / 0x4445 / 0x1415 are 132 / 68 / 20 in 8 bits; taken as linear light they would become
// 189 / 140 / 80.
constexpr test::Rgba16 kColour{0x8485, 0x4445, 0x1415, 0xFFFF};
const Pixel kStored = makePixel(132, 68, 20);

constexpr PngColourChunk kChunks[] = {PngColourChunk::None, PngColourChunk::Srgb,
                                      PngColourChunk::Gamma22, PngColourChunk::Linear};

// What a 16-bit art or gump slot keeps of the colour.
Pixel asStored16(Pixel p) { return colour16ToPixel(pixelToColour16(p)); }

class PngImport : public ::testing::TestWithParam<PngColourChunk> {
protected:
  std::string picture(const std::string& name, int width, int height, bool alpha) {
    const std::string path = dir.file(name);
    test::writeBytes(path, test::png16(width, height, kColour, alpha, GetParam()));
    return path;
  }
  TempDir dir;
};

}  // namespace

TEST_P(PngImport, ArtAndGumps) {
  test::writeBytes(dir.file("artidx.mul"), {});
  test::writeBytes(dir.file("art.mul"), {});
  TArt art;
  art.load(dir.file("artidx.mul"), dir.file("art.mul"), StorageMode::Memory);
  art.importStatic(5, picture("static.png", 6, 4, false));
  EXPECT_EQ(art.staticPicture(5).at(3, 2), asStored16(kStored));
  art.importLand(7, picture("land.png", 44, 44, true));
  EXPECT_EQ(art.landPicture(7).at(22, 22), asStored16(kStored));

  test::writeBytes(dir.file("gumpidx.mul"), {});
  test::writeBytes(dir.file("gumpart.mul"), {});
  TGump gumps;
  gumps.load(dir.file("gumpidx.mul"), dir.file("gumpart.mul"));
  gumps.importGump(3, picture("gump.png", 5, 3, true));
  EXPECT_EQ(gumps.gumpPicture(3).at(4, 2), asStored16(kStored));
}

TEST_P(PngImport, ProgressArchiveAndEquipmentPatch) {
  test::writeBytes(dir.file("Progress.idx"), {});
  test::writeBytes(dir.file("Progress.mul"), {});
  TProgress progress;
  progress.load(dir.file("Progress.idx"), dir.file("Progress.mul"));
  progress.importPng(progresslayout::kGumpKind, 0x20, picture("entry.png", 3, 2, true));
  EXPECT_EQ(progress.entryImage(progresslayout::kGumpKind, 0x20).at(2, 1), kStored);

  sample::writeGumps(dir.path());
  sample::writeArt(dir.path());
  sample::writeAnimations(dir.path());
  sample::writeTiledata(dir.path());
  TGump gumps;
  TArt art;
  TAnimation animation;
  TTiledata tiledata;
  gumps.load(dir.file("gumpidx.mul"), dir.file("gumpart.mul"));
  art.load(dir.file("artidx.mul"), dir.file("art.mul"), StorageMode::Memory);
  animation.load(dir.file("anim.idx"), dir.file("anim.mul"));
  tiledata.load(dir.file("tiledata.mul"));
  EquipPatch p;
  p.gumpPicture = picture("gump.png", 20, 30, true);
  p.gumpToProgress = true;
  p.femaleGumpPicture = picture("gumpw.png", 21, 31, false);
  p.artPicture = picture("art.png", 12, 14, false);
  p.gumpId = "50500";
  p.artId = "0x300";
  p.animId = "0x190";
  p.weight = "1";
  p.layer = 20;
  p.name = "robe";
  patchEquipment(p, {gumps, art, progress, animation, tiledata, dir.file("anim.idx")});
  EXPECT_EQ(progress.entryImage(progresslayout::kGumpKind, 50500).at(10, 10), kStored);
  EXPECT_EQ(gumps.gumpPicture(60500).at(10, 10), asStored16(kStored));
  EXPECT_EQ(art.staticPicture(0x300).at(6, 7), asStored16(kStored));
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutColourChunks, PngImport, ::testing::ValuesIn(kChunks),
                         [](const auto& param) {
                           switch (param.param) {
                             case PngColourChunk::None:
                               return std::string("NoChunk");
                             case PngColourChunk::Srgb:
                               return std::string("Srgb");
                             case PngColourChunk::Gamma22:
                               return std::string("Gamma22");
                             case PngColourChunk::Linear:
                               return std::string("Linear");
                           }
                           return std::string();
                         });
