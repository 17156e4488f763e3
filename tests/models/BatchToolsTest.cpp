#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/Bmp.h"
#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Text.h"
#include "models/Animation.h"
#include "models/Art.h"
#include "models/BatchTools.h"
#include "models/Gump.h"
#include "models/Textures.h"
#include "models/Tiledata.h"
#include "sample/Sample.h"
#include "support/TestFiles.h"

using namespace quillotide;
using test::TempDir;

namespace {

Progress g_silent;

// A picture of distinct game colours (none white or black, so a static keeps every pixel).
// The four picture models on the empty sets Create empty writes into a folder.
struct EmptySet {
  TempDir dir;
  TArt art;
  TGump gumps;
  TTextures textures;
  EmptySet() {
    for (EmptyKind k : {EmptyKind::Art, EmptyKind::Gumps, EmptyKind::Textures})
      createEmptyFiles(k, dir.path());
    art.load(dir.file("artidx.mul"), dir.file("art.mul"), StorageMode::Memory);
    gumps.load(dir.file("gumpidx.mul"), dir.file("gumpart.mul"));
    textures.load(dir.file("texidx.mul"), dir.file("texmaps.mul"), StorageMode::Memory);
  }
  BatchModels models() { return {nullptr, &art, &gumps, &textures}; }
};

std::vector<std::pair<std::int64_t, Bitmap32>> samplePictures(PictureKind kind) {
  switch (kind) {
    case PictureKind::ArtLand:
      return {{0, test::exactPicture(44, 44, 1)}, {0x3FFF, test::exactPicture(44, 44, 2)}};
    case PictureKind::ArtStatic:
      return {{5, test::exactPicture(13, 40, 3)}, {0x3FFF, test::exactPicture(2, 1, 4)}, {0x7000, test::exactPicture(30, 9, 5)}};
    case PictureKind::Gumps:
      return {{0x12, test::exactPicture(60, 3, 6)}, {0xEEFF, test::exactPicture(7, 80, 7)}};
    case PictureKind::Textures:
      return {{1, test::exactPicture(64, 64, 8)}, {0x3FFF, test::exactPicture(128, 128, 9)}};
  }
  return {};
}

void put(EmptySet& s, PictureKind kind, std::int64_t id, const Bitmap32& b) {
  switch (kind) {
    case PictureKind::ArtLand:
      s.art.importLand(id, b);
      break;
    case PictureKind::ArtStatic:
      s.art.importStatic(id, b);
      break;
    case PictureKind::Gumps:
      s.gumps.writeGump(id, b);
      break;
    case PictureKind::Textures:
      s.textures.writeTexture(id, b);
      break;
  }
}

Bitmap32 get(EmptySet& s, PictureKind kind, std::int64_t id) {
  switch (kind) {
    case PictureKind::ArtLand:
      return s.art.landPicture(id);
    case PictureKind::ArtStatic:
      return s.art.staticPicture(id);
    case PictureKind::Gumps:
      return s.gumps.gumpPicture(id);
    case PictureKind::Textures:
      return s.textures.texturePicture(id);
  }
  return {};
}

// The pixels of a BMP as ImageMagick reads them (8-bit red, green, blue).
std::optional<Bytes> magickRgb(const std::string& bmp, const TempDir& dir) {
  const std::string raw = dir.file("magick.rgb");
  const std::string command = "/usr/bin/convert " + bmp + " -depth 8 rgb:" + raw + " 2>/dev/null";
  if (std::system(command.c_str()) != 0) return std::nullopt;
  return test::readBytes(raw);
}

Bytes rgbOf(const Bitmap32& b) {
  Bytes out;
  for (const Pixel p : b.pixels) out.insert(out.end(), {redOf(p), greenOf(p), blueOf(p)});
  return out;
}

std::string writeList(const TempDir& dir, const std::string& text) {
  const std::string path = dir.file("list.txt");
  test::writeText(path, text);
  return path;
}

}  // namespace

TEST(BatchSlotNames, HaveAtLeastFourDigits) {
  EXPECT_EQ(slotName(0x5), "0x0005");
  EXPECT_EQ(slotName(0x12), "0x0012");
  EXPECT_EQ(slotName(0xFF), "0x00FF");
  EXPECT_EQ(slotName(0x100), "0x0100");
  EXPECT_EQ(slotName(0x1000), "0x1000");
  EXPECT_EQ(slotName(0xEEFF), "0xEEFF");
}

TEST(BatchCreateEmpty, WritesTheRecordCountsAndSizesOfEveryKind) {
  TempDir dir;
  const std::vector<std::pair<EmptyKind, std::uint64_t>> indexSizes = {
      {EmptyKind::Anim, 148810 * 12},  {EmptyKind::Art, 0x8000 * 12},
      {EmptyKind::Gumps, 0xEF00 * 12}, {EmptyKind::Textures, 0x4000 * 12},
      {EmptyKind::Sound, 4096 * 12},   {EmptyKind::Statics, 0x60000 * 12}};
  for (const auto& [kind, size] : indexSizes) {
    EXPECT_TRUE(existingEmptyFiles(kind, dir.path()).empty());
    createEmptyFiles(kind, dir.path());
    const auto names = emptyFileNames(kind);
    EXPECT_EQ(fileSize(dir.file(names[0])), 0u) << names[0];
    const Bytes index = test::readBytes(dir.file(names[1]));
    ASSERT_EQ(index.size(), size) << names[1];
    EXPECT_TRUE(std::all_of(index.begin(), index.end(), [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(existingEmptyFiles(kind, dir.path()), names);
  }
  // The statics index has one record per block of the map.
  createEmptyFiles(EmptyKind::Map, dir.path());
  EXPECT_EQ(fileSize(dir.file("map0.mul")), 0x4980000u);
  EXPECT_EQ(fileSize(dir.file("map0.mul")) / 196, fileSize(dir.file("staidx0.mul")) / 12);
  createEmptyFiles(EmptyKind::Tiledata, dir.path());
  EXPECT_EQ(test::readBytes(dir.file("tiledata.mul")), Bytes(1644544, 0));
  // An older file is replaced whole.
  test::writeBytes(dir.file("verdata.mul"), Bytes(100, 7));
  createEmptyFiles(EmptyKind::Verdata, dir.path());
  EXPECT_EQ(test::readBytes(dir.file("verdata.mul")), Bytes(4, 0));
}

TEST(BatchExtractAutopatch, GiveBackEveryPictureInAnEmptySet) {
  for (PictureKind kind :
       {PictureKind::ArtLand, PictureKind::ArtStatic, PictureKind::Gumps, PictureKind::Textures}) {
    EmptySet source;
    for (const auto& [id, b] : samplePictures(kind)) put(source, kind, id, b);
    const std::string folder = source.dir.file(extractFolderName(kind));
    const ExtractResult r = extractPictures(source.models(), kind, folder, g_silent);
    EXPECT_EQ(r.pictures, samplePictures(kind).size());
    EXPECT_TRUE(r.damaged.empty());

    // The list names every picture in Autopatch form.
    std::vector<std::string> expected;
    for (const auto& [id, b] : samplePictures(kind))
      expected.push_back(slotName(id) + " " + slotName(id) + ".bmp");
    EXPECT_EQ(readTextLines(r.listPath), expected);

    // Fed back from another folder: the bare names are found beside the list.
    EmptySet target;
    const AutopatchKind patchKind = kind == PictureKind::ArtLand     ? AutopatchKind::ArtLand
                                    : kind == PictureKind::ArtStatic ? AutopatchKind::ArtStatic
                                    : kind == PictureKind::Gumps     ? AutopatchKind::Gumps
                                                                     : AutopatchKind::Textures;
    const AutopatchResult patched = autopatch(target.models(), patchKind, r.listPath, g_silent);
    EXPECT_TRUE(patched.failures.empty()) << patched.message();
    EXPECT_EQ(patched.patched, static_cast<int>(expected.size()));
    for (const auto& [id, b] : samplePictures(kind)) {
      EXPECT_EQ(get(target, kind, id), get(source, kind, id)) << slotName(id);
      if (kind != PictureKind::ArtLand) {
        EXPECT_EQ(get(target, kind, id), b) << slotName(id);
      }
    }
  }
}

TEST(BatchExtractAutopatch, BitmapsReadTheSameWithImageMagick) {
  if (!fileExists("/usr/bin/convert")) GTEST_SKIP() << "ImageMagick's convert is not installed";
  for (PictureKind kind :
       {PictureKind::ArtLand, PictureKind::ArtStatic, PictureKind::Gumps, PictureKind::Textures}) {
    EmptySet set;
    for (const auto& [id, b] : samplePictures(kind)) put(set, kind, id, b);
    const std::string folder = set.dir.file("out");
    extractPictures(set.models(), kind, folder, g_silent);
    for (const auto& [id, b] : samplePictures(kind)) {
      const auto rgb = magickRgb(joinPath(folder, slotName(id) + ".bmp"), set.dir);
      ASSERT_TRUE(rgb);
      EXPECT_EQ(*rgb, rgbOf(get(set, kind, id))) << slotName(id);
    }
  }
}

TEST(BatchAutopatch, ReportsEveryLineThatCannotBeAppliedAndGoesOn) {
  EmptySet set;
  set.art.importLand(0x10, test::exactPicture(44, 44, 1));
  set.art.importStatic(0x10, test::exactPicture(4, 4, 2));
  writeBmpFile(set.dir.file("tile.bmp"), test::exactPicture(44, 44, 3));
  writeBmpFile(set.dir.file("two words.bmp"), test::exactPicture(44, 44, 4));
  const std::string list = writeList(set.dir,
                                     "0x10 delete\r\n"     // 1: empties land 0x10
                                     "0x11 Delete\r\n"     // 2: a file of that name, missing
                                     "$20 tile.bmp\r\n"    // 3
                                     "\r\n"                // 4: skipped
                                     "zz tile.bmp\r\n"     // 5: not an integer
                                     "0x4000 tile.bmp\n"   // 6: past the land tiles
                                     "-1 remove\n"         // 7: never a static or a land tile
                                     "33 two words.bmp\n"  // 8
                                     "34\n");              // 9: no file
  const AutopatchResult r = autopatch(set.models(), AutopatchKind::ArtLand, list, g_silent);
  EXPECT_EQ(r.patched, 3);
  ASSERT_EQ(r.failures.size(), 5u);
  EXPECT_EQ(r.failures[0].line, 2);
  EXPECT_EQ(r.failures[0].message, "Cannot open file " + set.dir.file("Delete"));
  EXPECT_EQ(r.failures[1].line, 5);
  EXPECT_EQ(r.failures[1].message, "'zz' is not a valid integer value");
  EXPECT_EQ(r.failures[2].line, 6);
  EXPECT_EQ(r.failures[2].message, "Land tile 0x4000 is out of range (0x0 to 0x3FFF).");
  EXPECT_EQ(r.failures[3].line, 7);
  EXPECT_EQ(r.failures[4].line, 9);
  EXPECT_FALSE(set.art.landExists(0x10));
  EXPECT_TRUE(set.art.staticExists(0x10));
  EXPECT_EQ(set.art.landData(0x20), encodeLandTile(test::exactPicture(44, 44, 3)));
  EXPECT_EQ(set.art.landData(33), encodeLandTile(test::exactPicture(44, 44, 4)));
  EXPECT_EQ(r.message().substr(0, r.message().find('\n')), "3 Arttiles patched.");
  EXPECT_NE(r.message().find("\n5 lines failed:\nLine 2: Cannot open file "), std::string::npos);

  // A negative static id is refused, not taken as a record of the land section.
  const std::string statics = writeList(set.dir, "-0x4000 remove\n0x10 remove\n");
  const AutopatchResult s = autopatch(set.models(), AutopatchKind::ArtStatic, statics, g_silent);
  EXPECT_EQ(s.patched, 1);
  ASSERT_EQ(s.failures.size(), 1u);
  EXPECT_EQ(s.failures[0].message, "Static -16384 is out of range (0x0 to 0xFFFF).");
  EXPECT_FALSE(set.art.staticExists(0x10));
  EXPECT_TRUE(set.art.landExists(0x20));

  // Gumps and textures count in their own words; an unloaded model ends before any line.
  EXPECT_EQ(
      autopatch(set.models(), AutopatchKind::Gumps, statics, g_silent).message().substr(0, 31),
      "1 Gumps patched.\n1 line failed:");
  EXPECT_EQ(
      autopatch(set.models(), AutopatchKind::Textures, list, g_silent).message().substr(0, 19),
      "1 Textures patched.");
  TGump unloaded;
  EXPECT_THROW(
      autopatch({nullptr, nullptr, &unloaded, nullptr}, AutopatchKind::Gumps, list, g_silent),
      Error);
  EXPECT_THROW(autopatch(set.models(), AutopatchKind::Gumps, set.dir.file("none.txt"), g_silent),
               FileError);
}

TEST(BatchAutopatch, ImportsAnimationFilesAndFolders) {
  TempDir dir;
  sample::writeAnimations(dir.path());
  TAnimation anim;
  anim.load(dir.file("anim.idx"), dir.file("anim.mul"));
  int body = 0;
  while (body < anim.bodyCount() && !anim.bodyExists(body)) ++body;
  ASSERT_LT(body, anim.bodyCount());
  anim.exportToFile(body, dir.file("body.kx"), g_silent);
  std::filesystem::create_directory(dir.file("folder"));
  anim.exportToDirectory(body, dir.file("folder"), g_silent);
  const int kxTarget = body + 1, folderTarget = body + 2;
  ASSERT_EQ(anim.bodyType(kxTarget), anim.bodyType(body));
  ASSERT_EQ(anim.bodyType(folderTarget), anim.bodyType(body));
  anim.deleteBody(kxTarget);
  anim.deleteBody(folderTarget);
  const std::string list =
      writeList(dir, std::to_string(kxTarget) + " body.kx\n" + std::to_string(folderTarget) +
                         " folder 2 1\n" + "70000 body.kx\n" + std::to_string(folderTarget) +
                         " body.kx 2\n");
  const AutopatchResult r =
      autopatch({.animation = &anim}, AutopatchKind::Animations, list, g_silent);
  EXPECT_EQ(r.message().substr(0, r.message().find('\n')), "2 Animations patched.");
  ASSERT_EQ(r.failures.size(), 2u);
  EXPECT_EQ(r.failures[0].line, 3);
  // A file named as an animation folder: the reason says what is wrong with it.
  EXPECT_EQ(r.failures[1].message, "Cannot open file " + dir.file("body.kx") + ": Not a directory");
  for (int target : {kxTarget, folderTarget}) {
    ASSERT_TRUE(anim.bodyExists(target));
    EXPECT_EQ(anim.slotFrames(target, 0).size(), anim.slotFrames(body, 0).size());
    EXPECT_EQ(anim.firstFramePicture(target), anim.firstFramePicture(body));
  }
}

TEST(BatchCutFile, CopiesTheFirstBytesAndRefusesASizeBeyondTheEnd) {
  TempDir dir;
  const std::string path = dir.file("file.mul");
  test::writeBytes(path, Bytes{1, 2, 3, 4, 5});
  EXPECT_EQ(cutFile(path, 3), path + ".new");
  EXPECT_EQ(test::readBytes(path + ".new"), (Bytes{1, 2, 3}));
  EXPECT_EQ(test::readBytes(path), (Bytes{1, 2, 3, 4, 5}));
  test::writeBytes(path + ".new", Bytes{9});
  EXPECT_THROW(cutFile(path, 6), Error);
  EXPECT_THROW(cutFile(path, -1), Error);
  EXPECT_EQ(test::readBytes(path + ".new"), Bytes{9});
  EXPECT_THROW(cutFile(dir.file("none"), 0), FileError);
}

TEST(BatchBoundFiles, HoldWidthAndHeightPerSlot) {
  EmptySet set;
  set.art.importStatic(1, test::exactPicture(13, 40, 1));
  set.gumps.writeGump(2, test::exactPicture(60, 3, 2));
  const Bytes art = artBoundFile(set.art);
  ASSERT_EQ(art.size(), static_cast<std::size_t>(set.art.staticCount()) * 8);
  EXPECT_EQ(Bytes(art.begin(), art.begin() + 16),
            (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 13, 0, 40, 0}));
  const Bytes gumps = gumpBoundFile(set.gumps);
  ASSERT_EQ(gumps.size(), 0xEF00u * 8);
  EXPECT_EQ(Bytes(gumps.begin() + 16, gumps.begin() + 24), (Bytes{0, 0, 0, 0, 60, 0, 3, 0}));
  EXPECT_EQ(Bytes(gumps.begin() + 24, gumps.begin() + 32), Bytes(8, 0));
  TArt unloaded;
  EXPECT_THROW(artBoundFile(unloaded), Error);
}

TEST(BatchMissingAnims, ListGumpsAndTilesWhoseBodyIsMissing) {
  EmptySet set;
  createEmptyFiles(EmptyKind::Anim, set.dir.path());
  // Body 5 exists: its first slot points at one byte of data.
  Bytes idx = test::readBytes(set.dir.file("anim.idx"));
  const auto at = static_cast<std::size_t>(animSlotTable(AnimKind::Anim).firstSlot(5)) * 12;
  storeU32(idx.data() + at, 0);
  storeU32(idx.data() + at + 4, 1);
  test::writeBytes(set.dir.file("anim.idx"), idx);
  test::writeBytes(set.dir.file("anim.mul"), Bytes{0});
  TAnimation anim;
  anim.load(set.dir.file("anim.idx"), set.dir.file("anim.mul"));
  ASSERT_TRUE(anim.bodyExists(5));

  set.gumps.writeGump(50100, test::exactPicture(2, 2, 1));
  set.gumps.writeGump(50005, test::exactPicture(2, 2, 1));
  set.gumps.writeGump(49000, test::exactPicture(2, 2, 1));
  EXPECT_EQ(missingAnimLines(set.gumps, anim), std::vector<std::string>{"0xC3B4 0x64"});

  TTiledata tiledata;
  tiledata.loadBytes(Bytes(1644544, 0));
  StaticTileRecord record;
  record.animId = 100;
  tiledata.writeStatic(0x1A, record);
  record.animId = 5;
  tiledata.writeStatic(0x1B, record);
  EXPECT_EQ(artIdsWithMissingAnims(tiledata, anim), std::vector<std::string>{"0x1A"});
}

TEST(BatchMarkPixels, PaintsWhiteAndBlackInTheMarkColour) {
  Bitmap32 b(2, 2);
  b.at(0, 0) = makePixel(255, 255, 255);
  b.at(1, 0) = makePixel(7, 7, 7);  // black in 15 bits
  b.at(0, 1) = makePixel(8, 0, 0);
  b.at(1, 1) = makePixel(250, 250, 249);  // white in 15 bits
  const Pixel magenta = markColourOf("0xFF00FF");
  EXPECT_EQ(magenta, makePixel(255, 0, 255));
  const Bitmap32 marked = markInvisiblePixels(b, magenta, g_silent);
  EXPECT_EQ(marked.at(0, 0), magenta);
  EXPECT_EQ(marked.at(1, 0), magenta);
  EXPECT_EQ(marked.at(0, 1), makePixel(8, 0, 0));
  EXPECT_EQ(marked.at(1, 1), magenta);
  // Red sits in the low byte; text that is no integer gives 0xFF0080.
  EXPECT_EQ(markColourOf("$0000FF"), makePixel(255, 0, 0));
  EXPECT_EQ(markColourOf("pink"), makePixel(0x80, 0, 0xFF));
}

TEST(BatchFixBitmap, WritesTheWholeImageSizeAndRefusesOtherFiles) {
  TempDir dir;
  const std::string path = dir.file("b.bmp");
  writeBmpFile(path, test::exactPicture(3, 5, 1));
  Bytes bytes = test::readBytes(path);
  storeU32(bytes.data() + 34, 0xABCDEF12);
  test::writeBytes(path, bytes);
  EXPECT_EQ(fixBitmapImageSize(path), 3u * 4 * 5);
  EXPECT_EQ(loadU32(test::readBytes(path).data() + 34), 60u);
  EXPECT_EQ(readBmpFile(path), test::exactPicture(3, 5, 1));

  // 24 bits per pixel: rows padded to four bytes.
  storeU16(bytes.data() + 28, 24);
  test::writeBytes(path, bytes);
  EXPECT_EQ(fixBitmapImageSize(path), 12u * 5);

  // Not a bitmap, an OS/2 header, a file too short: refused, the file as it was.
  const std::vector<Bytes> refused = {Bytes(60, 'x'),
                                      [&] {
                                        Bytes b = bytes;
                                        storeU32(b.data() + 14, 12);
                                        return b;
                                      }(),
                                      Bytes{'B', 'M', 0, 0}};
  for (const Bytes& b : refused) {
    test::writeBytes(path, b);
    EXPECT_THROW(fixBitmapImageSize(path), FormatError);
    EXPECT_EQ(test::readBytes(path), b);
  }
  EXPECT_THROW(fixBitmapImageSize(dir.file("none.bmp")), FileError);
}
