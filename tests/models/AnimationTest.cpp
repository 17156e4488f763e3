#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>

#include "app/Bmp.h"
#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Text.h"
#include "models/Animation.h"
#include "support/Mutations.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

constexpr Pixel kRed = 0xFFF80000;
constexpr Pixel kGreen = 0xFF00F800;
constexpr Pixel kBlue = 0xFF0000F8;

// A picture of w x h on black (transparent to the encoder) with a few coloured shapes that depend
// on `seed`, so every frame differs.
Bitmap32 figure(int w, int h, int seed) {
  Bitmap32 b(w, h, 0xFF000000);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if ((x + seed) % 5 == 0) continue;
      if (y < h / 3)
        b.at(x, y) = kRed;
      else if (y < 2 * h / 3)
        b.at(x, y) = (x + y + seed) % 3 ? kGreen : kBlue;
      else if (x % 2)
        b.at(x, y) = makePixel(static_cast<std::uint8_t>(8 * (seed % 30)), 64, 128);
    }
  return b;
}

// The picture as the decoder shows it: transparent pixels 0, the rest through 15-bit colour.
Bitmap32 asDecoded(const Bitmap32& in) {
  Bitmap32 out(in.width, in.height, 0);
  for (std::size_t i = 0; i < in.pixels.size(); ++i) {
    const Colour16 c = pixelToColour16(in.pixels[i]);
    if (c != 0 && c != 0x7FFF) out.pixels[i] = colour16ToPixel(c);
  }
  return out;
}

// Zero-size pictures become frames without runs that keep their size (7 x 0 stays 7 x 0).
Bytes blockOf(const std::vector<Bitmap32>& pictures, int cx = 10, int cy = 20) {
  AnimPaletteBuilder palette;
  std::vector<Bytes> frames;
  for (const auto& p : pictures)
    frames.push_back(encodeAnimFrame(p, cx, cy, palette, AnimTransparency::BlackAndWhite, "f"));
  return buildAnimBlock(palette.palette(), frames);
}

// A hand-made block (not from our encoder): palette 1 = red, 2 = green; one 4 x 3 frame with the
// centre (2, 3) and runs at row 0 columns 1-2 and row 2 column 3.
Bytes handBlock() {
  ByteWriter w;
  for (int i = 0; i < 256; ++i) w.u16(i == 1 ? 0x7C00 : i == 2 ? 0x03E0 : 0);
  w.u32(1);
  w.u32(8);
  w.i16(2);
  w.i16(3);
  w.u16(4);
  w.u16(3);
  auto run = [&](int x, int y, std::initializer_list<std::uint8_t> px) {
    w.u32((static_cast<std::uint32_t>(y & 0x3FF) << 12) | static_cast<std::uint32_t>(px.size()) |
          (static_cast<std::uint32_t>(x & 0x3FF) << 22));
    for (auto p : px) w.u8(p);
  };
  run(-1, -6, {1, 2});  // column 2 - 1 = 1, row 3 - 6 + 3 = 0
  run(1, -4, {2});      // column 3, row 2
  w.u32(0x7FFF7FFF);
  return w.take();
}

struct AnimFiles {
  TempDir dir;
  std::string idx = dir.file("anim.idx");
  std::string mul = dir.file("anim.mul");
  AnimFiles() {
    test::writeBytes(idx, {});
    test::writeBytes(mul, {});
  }
  Bytes snapshot() const {
    Bytes a = test::readBytes(idx);
    const Bytes b = test::readBytes(mul);
    a.insert(a.end(), b.begin(), b.end());
    return a;
  }
};

// Puts frames into slots of a body through a .kx file made in the test.
void putBody(TAnimation& model, int body, const std::map<int, std::vector<Bitmap32>>& slots,
             const std::string& scratch) {
  std::vector<KxSlot> kx(static_cast<std::size_t>(model.slotsPerBody(body)));
  for (auto& s : kx) s.record = {-1, -1, -1};
  for (const auto& [k, pictures] : slots) {
    kx[static_cast<std::size_t>(k)].data = blockOf(pictures);
    kx[static_cast<std::size_t>(k)].record = {0, 1, 0};
  }
  test::writeBytes(scratch, encodeKx(static_cast<std::uint16_t>(model.bodyType(body)), kx));
  Progress silent;
  model.importFromFile(body, scratch, silent);
}

Progress g_silent;

// A 24-bit bottom-up BMP made byte by byte, as other painting programs write them.
Bytes bmp24(const Bitmap32& p) {
  const int stride = (p.width * 3 + 3) & ~3;
  ByteWriter w;
  w.u8('B');
  w.u8('M');
  w.u32(static_cast<std::uint32_t>(54 + stride * p.height));
  w.u32(0);
  w.u32(54);
  w.u32(40);
  w.i32(p.width);
  w.i32(p.height);
  w.u16(1);
  w.u16(24);
  w.u32(0);
  w.u32(static_cast<std::uint32_t>(stride * p.height));
  w.zeros(16);
  for (int y = p.height - 1; y >= 0; --y) {
    for (int x = 0; x < p.width; ++x) {
      w.u8(blueOf(p.at(x, y)));
      w.u8(greenOf(p.at(x, y)));
      w.u8(redOf(p.at(x, y)));
    }
    w.zeros(static_cast<std::size_t>(stride - p.width * 3));
  }
  return w.take();
}

}  // namespace

TEST(AnimSlotTable, BodiesMeetAtTheTypeBoundaries) {
  const auto& a = animSlotTable(AnimKind::Anim);
  EXPECT_EQ(a.firstSlot(199), 21890);
  EXPECT_EQ(a.firstSlot(200), 22000);
  EXPECT_EQ(a.firstSlot(399), 34935);
  EXPECT_EQ(a.firstSlot(400), 35000);
  EXPECT_EQ(a.slotsPerBody(399), 65);
  EXPECT_EQ(a.bodyType(400), 2);
  EXPECT_EQ(a.bodyCount(8181600), 4096);
  EXPECT_EQ(a.bodyCount(420000 + 2100 * 3 + 2099), 403);

  const auto& a2 = animSlotTable(AnimKind::Anim2);
  EXPECT_EQ(a2.firstSlot(199), 21890);
  EXPECT_EQ(a2.firstSlot(200), 22000);
  EXPECT_EQ(a2.firstSlot(201), 22065);
  EXPECT_EQ(a2.bodyType(5000), 1);
  EXPECT_EQ(a2.bodyCount(264000 + 780 * 10), 210);

  const auto& a3 = animSlotTable(AnimKind::Anim3);
  EXPECT_EQ(a3.firstSlot(699), 76890);
  EXPECT_EQ(a3.firstSlot(700), 77000);
  EXPECT_EQ(a3.firstSlot(1399), 122435);
  EXPECT_EQ(a3.firstSlot(1400), 122500);
  EXPECT_EQ(a3.bodyCount(1470000), 1400);
  EXPECT_EQ(&animSlotTable(AnimKind::Anim4), &a);
}

TEST(AnimSlotTable, SmallIndexCountsTheBodiesItHoldsNeverBelowZero) {
  const auto& a2 = animSlotTable(AnimKind::Anim2);
  EXPECT_EQ(a2.bodyCount(0), 0);
  EXPECT_EQ(a2.bodyCount(110 * 12 * 3), 3);  // the formula would give 200 - 334
  EXPECT_EQ(animSlotTable(AnimKind::Anim).bodyCount(110 * 12 * 5 + 11), 5);
}

TEST(AnimFrameCodec, HandMadeBlockDecodes) {
  const Bytes block = handBlock();
  const AnimBlock view(block);
  ASSERT_EQ(view.frameCount(), 1u);
  const AnimFrame f = view.frame(0, 0);
  EXPECT_EQ(f.centerX, 2);
  EXPECT_EQ(f.centerY, 3);
  Bitmap32 expected(4, 3, 0);
  expected.at(1, 0) = colour16ToPixel(0x7C00);
  expected.at(2, 0) = colour16ToPixel(0x03E0);
  expected.at(3, 2) = colour16ToPixel(0x03E0);
  EXPECT_EQ(f.picture, expected);
  EXPECT_EQ(f.strayPixels, 0);
}

TEST(AnimFrameCodec, EncodeDecodeKeepsOpaquePixelsAndDropsBlackAndWhite) {
  Bitmap32 p = figure(23, 17, 4);
  p.at(0, 0) = 0xFFFFFFFF;                // white
  p.at(1, 0) = makePixel(250, 250, 250);  // reduces to white
  p.at(2, 0) = makePixel(7, 7, 7);        // reduces to black
  p.at(22, 16) = kRed;                    // a run that reaches the row's end
  const Bytes block = blockOf({p, figure(5, 9, 1)}, -3, 40);
  const AnimBlock view(block);
  ASSERT_EQ(view.frameCount(), 2u);
  const auto frames = view.frames(0);
  EXPECT_EQ(frames[0].centerX, -3);
  EXPECT_EQ(frames[0].centerY, 40);
  EXPECT_EQ(frames[0].picture, asDecoded(p));
  EXPECT_EQ(frames[1].picture, asDecoded(figure(5, 9, 1)));

  // Black-only transparency (patches) keeps white as a colour.
  AnimPaletteBuilder palette;
  const Bytes frame = encodeAnimFrame(p, 0, 0, palette, AnimTransparency::BlackOnly, "f");
  const Bytes keepWhite = buildAnimBlock(palette.palette(), {frame});
  EXPECT_EQ(AnimBlock(keepWhite).frame(0, 0).picture.at(0, 0), colour16ToPixel(0x7FFF));
}

TEST(AnimFrameCodec, PaletteOverflowCountsEveryPixelAsAFullInteger) {
  // 300 colours without a palette file: entries 1..255 take the first 255 colours met.
  Bitmap32 p(300, 1, 0);
  for (int x = 0; x < 300; ++x) p.at(x, 0) = colour16ToPixel(static_cast<Colour16>(x + 1));
  AnimPaletteBuilder palette;
  encodeAnimFrame(p, 150, 1, palette, AnimTransparency::BlackAndWhite, "f");
  EXPECT_EQ(palette.used(), 256);
  EXPECT_EQ(palette.palette()[0], 0);
  EXPECT_EQ(palette.palette()[255], 255);
  EXPECT_EQ(palette.problems(), 45);
  EXPECT_EQ(palette.firstProblemColour(), 256);

  // 70 000 pixels that do not fit are 70 000 problems, not 70 000 mod 65536.
  Bitmap32 many(700, 100, colour16ToPixel(0x1234));
  encodeAnimFrame(many, 350, 100, palette, AnimTransparency::BlackAndWhite, "f");
  EXPECT_EQ(palette.problems(), 45 + 70000);
  EXPECT_EQ(AnimImportReport{palette.problems()}.message(),
            "There were 70045 problems regarding the number of colors you used.");
}

TEST(AnimFrameCodec, PicturesTheFormatCannotHoldAreRefused) {
  AnimPaletteBuilder palette;
  // A run starting at column 600 lies 600 from a centre of 0: beyond the 10-bit offset.
  Bitmap32 far(700, 2, 0);
  far.at(600, 1) = kRed;
  EXPECT_THROW(encodeAnimFrame(far, 0, 2, palette, AnimTransparency::BlackAndWhite, "f"), Error);
  EXPECT_NO_THROW(encodeAnimFrame(far, 350, 2, palette, AnimTransparency::BlackAndWhite, "f"));
  // A long run starting near the centre is stored whole up to the run buffer, then split.
  const Bytes wide =
      encodeAnimFrame(Bitmap32(1000, 1, kRed), 0, 1, palette, AnimTransparency::BlackAndWhite, "f");
  const AnimFrame back = AnimBlock(buildAnimBlock(palette.palette(), {wide})).frame(0, 0);
  EXPECT_EQ(back.picture, asDecoded(Bitmap32(1000, 1, kRed)));
  EXPECT_THROW(
      encodeAnimFrame(Bitmap32(1100, 1, kRed), 0, 1, palette, AnimTransparency::BlackAndWhite, "f"),
      Error);
}

namespace {

// Where the fields of the hand-made block lie: the frame count after the 256-colour palette,
// the one frame offset, the frame's size and its first run.
constexpr std::size_t kFrameCountAt = 512, kFrameOffsetAt = 516, kFrameSizeAt = 524,
                      kFirstRunAt = 528;

class DamagedAnimBlock : public ::testing::TestWithParam<test::Defect> {};

// The first run of the hand-made block moved 10 columns right: both its pixels fall outside the
// 4-wide picture.
test::Mutation firstRunMovedOutside() {
  return test::setU32(kFirstRunAt, (static_cast<std::uint32_t>(9) << 22) |
                                       (static_cast<std::uint32_t>(-6 & 0x3FF) << 12) | 2);
}

}  // namespace

TEST_P(DamagedAnimBlock, DecodingItsFrameIsAFormatError) {
  const Bytes bad = test::mutated(handBlock(), GetParam().mutate);
  EXPECT_THROW(AnimBlock(bad).frame(0, 0), FormatError);
}

INSTANTIATE_TEST_SUITE_P(
    Defects, DamagedAnimBlock,
    ::testing::Values(
        // Not even the palette and the count.
        test::Defect{"too_short", test::cutTo(515)},
        test::Defect{"frame_count_too_large", test::setU32(kFrameCountAt, 1000000)},
        test::Defect{"frame_offset_past_end",
                     test::setU32(kFrameOffsetAt, static_cast<std::uint32_t>(handBlock().size()))},
        test::Defect{"end_marker_missing", test::cutBy(4)},
        // 65535 x 65535 on a block of a few hundred bytes.
        test::Defect{"frame_size_absurd", test::setU32(kFrameSizeAt, 0xFFFFFFFF)},
        // The first run claims 4095 pixels.
        test::Defect{"run_length_past_end",
                     test::setU32(kFirstRunAt, loadU32(handBlock().data() + kFirstRunAt) | 0xFFF)}),
    test::DefectName());

TEST(AnimFrameCodec, DamagedBlocksAreFoundWhereTheirFramesAreRead) {
  // The header of a block whose end marker is cut still reads; its frame does not.
  const AnimBlock view(test::mutated(handBlock(), test::cutBy(4)));
  EXPECT_THROW(view.frame(0, 0), FormatError);
  // 1000 offsets to one 2048 x 2048 frame: one frame decodes, all of them together are refused.
  ByteWriter shared;
  for (int i = 0; i < 256; ++i) shared.u16(0);
  shared.u32(1000);
  for (int i = 0; i < 1000; ++i) shared.u32(4 + 4 * 1000);
  shared.u32(0);
  shared.u16(2048);
  shared.u16(2048);
  shared.u32(0x7FFF7FFF);
  EXPECT_NO_THROW(AnimBlock(shared.data()).frame(999, 0));
  EXPECT_THROW(AnimBlock(shared.data()).frames(0), FormatError);
}

TEST(AnimFrameCodec, RunsOutsideThePictureAreCountedWithOneMessage) {
  const Bytes block = test::mutated(handBlock(), firstRunMovedOutside());
  const AnimFrame f = AnimBlock(block).frame(0, 0);
  EXPECT_EQ(f.strayPixels, 2);
  EXPECT_EQ(f.strayMessage, "BugPixel: 4:3,2:3,2:9:-6");
  EXPECT_EQ(f.picture.at(3, 2), colour16ToPixel(0x03E0));  // the good run is still drawn
}

TEST(TAnimation, NotLoadedAnswersEmpty) {
  TAnimation a;
  EXPECT_FALSE(a.isLoaded());
  EXPECT_EQ(a.bodyCount(), 0);
  EXPECT_FALSE(a.bodyExists(0));
  EXPECT_TRUE(a.firstFramePicture(0).empty());
  EXPECT_THROW(a.deleteBody(1), Error);
}

TEST(TAnimation, DirectModeWritesEveryChangeAtOnce) {
  AnimFiles f;
  TAnimation a;
  a.load(f.idx, f.mul);
  putBody(a, 400, {{0, {figure(20, 30, 1)}}, {7, {figure(8, 8, 2), figure(9, 9, 3)}}},
          f.dir.file("x.kx"));
  // The bytes are on disk while the model still holds the files.
  TAnimation other;
  EXPECT_THROW(other.load(f.idx, f.mul), FileError);  // held with exclusive access
  const Bytes idx = test::readBytes(f.idx);
  ASSERT_EQ(idx.size(), (35000u + 175u) * 12u);
  ByteReader r(idx);
  EXPECT_EQ(r.i32At(35000 * 12), 0);  // slot 0 of body 400 at the start of anim.mul
  EXPECT_EQ(r.i32At(35001 * 12), -1);
  EXPECT_EQ(r.i32At(0), -1);  // gap records
  EXPECT_EQ(r.i32At(8), 0);
  EXPECT_TRUE(a.bodyExists(400));
  EXPECT_EQ(a.bodyCount(), 401);
  EXPECT_EQ(a.firstFramePicture(400), asDecoded(figure(20, 30, 1)));

  a.deleteBody(400);
  EXPECT_EQ(ByteReader(test::readBytes(f.idx)).i32At((35000 + 7) * 12), -1);
  EXPECT_FALSE(a.bodyExists(400));
}

TEST(TAnimation, LoadingAgainTakesOverTheSameFilesAndMovesToOthers) {
  AnimFiles f, g;
  TAnimation a;
  a.load(f.idx, f.mul);
  a.load(f.idx, f.mul);  // the same files, held open already
  putBody(a, 3, {{0, {figure(4, 4, 1)}}}, f.dir.file("x.kx"));
  EXPECT_TRUE(a.bodyExists(3));
  a.load(g.idx, g.mul);
  EXPECT_FALSE(a.bodyExists(3));
  TAnimation other;
  EXPECT_NO_THROW(other.load(f.idx, f.mul));  // the first pair was released
  EXPECT_TRUE(other.bodyExists(3));
}

class AnimFolderRoundTrip : public ::testing::TestWithParam<AnimKind> {};

TEST_P(AnimFolderRoundTrip, ExportImportIsLosslessWithZeroSizeFrames) {
  AnimFiles f;
  auto a = makeAnimationModel(GetParam());
  a->load(f.idx, f.mul);
  // Zero-size frames in the middle and at the end, of 0 x 0, 7 x 0 and 0 x 5.
  const std::vector<Bitmap32> slot0 = {figure(12, 14, 1), Bitmap32(), figure(6, 3, 2),
                                       Bitmap32(7, 0), figure(7, 7, 3)};
  const std::vector<Bitmap32> slot4 = {figure(30, 2, 9), Bitmap32(0, 5)};
  putBody(*a, 5, {{0, slot0}, {4, slot4}}, f.dir.file("x.kx"));
  const std::string folder = f.dir.file("out");
  std::filesystem::create_directory(folder);
  EXPECT_FALSE(a->exportToDirectory(5, folder, g_silent));
  for (const char* name : {"0_0", "0_1", "0_2", "0_3", "0_4", "4_0", "4_1"})
    EXPECT_TRUE(fileExists(folder + "/" + name + ".bmp")) << name;
  EXPECT_FALSE(fileExists(folder + "/0_5.bmp"));
  const Bitmap32 thin = readBmpFile(folder + "/0_3.bmp", ZeroSizeBitmaps::Allow);
  EXPECT_EQ(thin.width, 7);
  EXPECT_EQ(thin.height, 0);
  EXPECT_EQ(readTextLines(folder + "/palette_0.txt").size(), 256u);
  const auto list = readTextLines(folder + "/liste.txt");
  ASSERT_EQ(list.size(), 7u * 3u);
  EXPECT_EQ(list[9], "0:3");
  EXPECT_EQ(list[10], "CenterX:10");

  const auto report = a->importFromDirectory(6, folder, true, g_silent);
  EXPECT_EQ(report.colourProblems, 0);
  for (int k = 0; k < a->slotsPerBody(5); ++k)
    EXPECT_EQ(a->slotBlock(6, k), a->slotBlock(5, k)) << k;  // byte for byte, empty slots too
  const auto frames = a->slotFrames(6, 0);
  ASSERT_EQ(frames.size(), 5u);
  EXPECT_EQ(frames[3].picture.width, 7);
  EXPECT_EQ(frames[4].picture, asDecoded(figure(7, 7, 3)));
}

INSTANTIATE_TEST_SUITE_P(EveryVariant, AnimFolderRoundTrip,
                         ::testing::Values(AnimKind::Anim, AnimKind::Anim2, AnimKind::Anim3,
                                           AnimKind::Anim4, AnimKind::Anim5),
                         [](const auto& p) { return animKindName(p.param); });

TEST(TAnimation, FolderImportCountsTheBitmapsThatExist) {
  AnimFiles f;
  TAnimation a;
  a.load(f.idx, f.mul);
  putBody(a, 3, {{0, {figure(4, 4, 1), figure(5, 5, 2)}}, {2, {figure(3, 3, 3)}}},
          f.dir.file("x.kx"));
  const std::string folder = f.dir.file("out");
  std::filesystem::create_directory(folder);
  a.exportToDirectory(3, folder, g_silent);

  // A gap ends the frames although liste.txt names every frame of the slot.
  writeBmpFile(folder + "/0_3.bmp", figure(6, 6, 4));
  test::writeText(folder + "/liste.txt",
                  "0:0\r\nCenterX:1\r\nCenterY:2\r\n0:1\r\nCenterX:1\r\nCenterY:2\r\n"
                  "0:2\r\nCenterX:1\r\nCenterY:2\r\n0:3\r\nCenterX:1\r\nCenterY:2\r\n");
  std::filesystem::remove(folder + "/0_1.bmp");
  a.importFromDirectory(4, folder, true, g_silent);
  ASSERT_EQ(a.slotFrames(4, 0).size(), 1u);
  EXPECT_EQ(a.slotFrames(4, 0)[0].centerX, 1);
  EXPECT_TRUE(a.slotExists(4, 2));  // liste.txt names no frame of slot 2; its bitmap counts

  // A zero-width bitmap from another writer is a zero-size frame of its height.
  test::writeBytes(folder + "/0_1.bmp", bmp24(Bitmap32(0, 9)));
  a.importFromDirectory(4, folder, true, g_silent);
  const auto frames = a.slotFrames(4, 0);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[1].picture.width, 0);
  EXPECT_EQ(frames[1].picture.height, 9);

  // A body whose bitmaps were all deleted imports as empty, whatever liste.txt still names.
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().extension() == ".bmp") std::filesystem::remove(entry.path());
  a.importFromDirectory(3, folder, true, g_silent);
  EXPECT_FALSE(a.bodyExists(3));
  for (int k = 0; k < a.slotsPerBody(3); ++k) EXPECT_FALSE(a.slotExists(3, k)) << k;
}

TEST(TAnimation, FolderExportSumsUpStrayPixelsInOneReport) {
  AnimFiles f;
  TAnimation a;
  a.load(f.idx, f.mul);
  const Bytes block = test::mutated(handBlock(), firstRunMovedOutside());
  std::vector<KxSlot> kx(110, KxSlot{{-1, -1, -1}, {}});
  kx[0] = {{0, 1, 0}, block};
  kx[1] = {{0, 1, 0}, block};
  test::writeBytes(f.dir.file("x.kx"), encodeKx(0, kx));
  a.importFromFile(2, f.dir.file("x.kx"), g_silent);
  const std::string folder = f.dir.file("out");
  std::filesystem::create_directory(folder);
  const AnimStrayReport stray = a.exportToDirectory(2, folder, g_silent);
  EXPECT_EQ(stray.strayPixels, 4);
  EXPECT_EQ(stray.message(), "BugPixel: 4:3,2:3,2:9:-6 (4 pixels outside their frame)");
  EXPECT_TRUE(fileExists(folder + "/1_0.bmp"));  // the export goes on with the good pixels
}

TEST(TAnimation, FolderImportReadsPicturesFromOtherWriters) {
  // A folder written by hand: a 24-bit picture, no palette files, centres in hexadecimal.
  AnimFiles f;
  TAnimation a;
  a.load(f.idx, f.mul);
  const std::string folder = f.dir.path();
  Bitmap32 p(3, 2, 0xFFFFFFFF);
  p.at(1, 0) = kRed;
  p.at(2, 1) = kBlue;
  test::writeBytes(folder + "/2_0.bmp", bmp24(p));
  test::writeText(folder + "/liste.txt", "2:0\r\nCenterX:$1\nCenterY: 2\r\n7:0\r\n");
  const auto report = a.importFromDirectory(0, folder, true, g_silent);
  EXPECT_EQ(report.message(), "There were 0 problems regarding the number of colors you used.");
  const auto frames = a.slotFrames(0, 2);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].centerX, 1);
  EXPECT_EQ(frames[0].centerY, 2);
  EXPECT_EQ(frames[0].picture, asDecoded(p));
  EXPECT_FALSE(a.bodyExists(0));  // no frame 0 for slot 0: the slot is empty
}

TEST(TAnimation, FailedFolderImportLeavesTheFilesUntouched) {
  AnimFiles f;
  TAnimation a;
  a.load(f.idx, f.mul);
  putBody(a, 1, {{0, {figure(4, 4, 1)}}, {1, {figure(4, 4, 2)}}}, f.dir.file("x.kx"));
  const Bytes before = f.snapshot();
  const std::string folder = f.dir.file("bad");
  std::filesystem::create_directory(folder);
  writeBmpFile(folder + "/0_0.bmp", figure(5, 5, 1));
  test::writeText(folder + "/3_0.bmp", "not a bitmap");
  test::writeText(folder + "/liste.txt", "0:0\r\nCenterX:1\r\nCenterY:1\r\n");
  EXPECT_THROW(a.importFromDirectory(1, folder, false, g_silent), FormatError);
  EXPECT_EQ(f.snapshot(), before);

  std::filesystem::remove(folder + "/3_0.bmp");
  test::writeText(folder + "/liste.txt", "0:0\r\nCenterX:one\r\nCenterY:1\r\n");
  EXPECT_THROW(a.importFromDirectory(1, folder, false, g_silent), Error);
  // A line without its value names itself.
  test::writeText(folder + "/liste.txt", "0:0\r\nCenterX:1:9\r\nCenterY\r\n");
  try {
    a.importFromDirectory(1, folder, false, g_silent);
    ADD_FAILURE() << "a centre line without a value was read";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("liste.txt, line 3: '' is not a valid integer value"),
              std::string::npos)
        << e.what();
  }
  std::filesystem::remove(folder + "/liste.txt");
  EXPECT_THROW(a.importFromDirectory(1, folder, false, g_silent), FileError);
  test::writeText(folder + "/liste.txt", "");
  test::writeText(folder + "/palette_0.txt", "1\r\n2\r\n");
  EXPECT_THROW(a.importFromDirectory(1, folder, true, g_silent), Error);
  EXPECT_EQ(f.snapshot(), before);
}

TEST(TAnimation, KxRoundTripAndRefusals) {
  AnimFiles f;
  TAnimation a;
  a.load(f.idx, f.mul);
  putBody(a, 250, {{0, {figure(9, 9, 1)}}, {64, {figure(3, 5, 2), figure(2, 2, 2)}}},
          f.dir.file("in.kx"));
  const std::string kx = f.dir.file("out.kx");
  a.exportToFile(250, kx, g_silent);
  const Bytes file = test::readBytes(kx);
  EXPECT_EQ(loadU16(file.data()), 6);
  EXPECT_EQ(loadU16(file.data() + 2), 1);
  EXPECT_EQ(static_cast<std::int32_t>(loadU32(file.data() + 4)), 4 + 65 * 12);  // slot 0's data

  a.importFromFile(300, kx, g_silent);
  for (int k : {0, 64}) EXPECT_EQ(*a.slotBlock(250, k), *a.slotBlock(300, k));
  EXPECT_FALSE(a.slotExists(300, 1));

  const Bytes before = f.snapshot();
  // A plain format error has no fixed text to check.
  const test::Defect defects[] = {
      {"not_an_anim_file", test::setU16(0, 5), "Not an Anim File."},
      {"cut_by_one_byte", test::cutBy(1)},
  };
  for (const auto& d : defects) {
    SCOPED_TRACE(d.name);
    test::writeBytes(kx, test::mutated(file, d.mutate));
    try {
      a.importFromFile(301, kx, g_silent);
      ADD_FAILURE() << "a damaged file was imported";
    } catch (const FormatError& e) {
      if (!d.message.empty()) {
        EXPECT_EQ(e.what(), d.message);
      }
    } catch (const Error& e) {
      EXPECT_EQ(e.what(), d.message);
    }
  }
  test::writeBytes(kx, file);
  try {
    a.importFromFile(100, kx, g_silent);  // type 0
    FAIL();
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Wrong Anim Id ( Type ).");
  }
  EXPECT_EQ(f.snapshot(), before);
}

TEST(TAnimation, KxExportTakesEachBlockWhereverItsRecordPoints) {
  AnimFiles f;
  const AnimSlotTable& table = animSlotTable(AnimKind::Anim);
  const int body = 250;
  const std::int64_t first = table.firstSlot(body);
  auto block = [](int w, int seed) {
    AnimPaletteBuilder palette;
    const Bytes frame =
        encodeAnimFrame(figure(w, w, seed), 0, 0, palette, AnimTransparency::BlackAndWhite, "f");
    return buildAnimBlock(palette.palette(), {frame});
  };
  // Slot 5's block comes first in the data, slot 0's after a stretch no record names, and slot 9
  // shares slot 0's block.
  const Bytes b5 = block(7, 1), b0 = block(9, 2);
  Bytes data = b5;
  data.resize(data.size() + 300000, 0xAB);
  const auto at0 = static_cast<std::int32_t>(data.size());
  data.insert(data.end(), b0.begin(), b0.end());
  std::vector<IndexRecord> index(static_cast<std::size_t>(first + table.slotsPerBody(body)),
                                 IndexRecord{-1, -1, -1});
  auto slot = [&](int k) -> IndexRecord& { return index[static_cast<std::size_t>(first + k)]; };
  slot(0) = {at0, static_cast<std::int32_t>(b0.size()), 3};
  slot(5) = {0, static_cast<std::int32_t>(b5.size()), 4};
  slot(9) = slot(0);
  test::writeBytes(f.idx, test::indexBytes(index));
  test::writeBytes(f.mul, data);
  TAnimation a;
  a.load(f.idx, f.mul);
  const std::string kx = f.dir.file("out.kx");
  a.exportToFile(body, kx, g_silent);
  const auto slots = decodeKx(test::readBytes(kx), 1, a.slotsPerBody(body));
  EXPECT_EQ(slots[0].data, b0);
  EXPECT_EQ(slots[5].data, b5);
  EXPECT_EQ(slots[9].data, b0);
  EXPECT_EQ(slots[5].record.extra, 4);
  EXPECT_TRUE(slots[1].record.isEmpty());

  // A record past the end of the data names its slot, and no file is written.
  slot(5) = {static_cast<std::int32_t>(data.size()) - 10, 100, 0};
  test::writeBytes(f.idx, test::indexBytes(index));
  a.load(f.idx, f.mul);
  std::filesystem::remove(kx);
  try {
    a.exportToFile(body, kx, g_silent);
    FAIL() << "a record outside the data was exported";
  } catch (const FormatError& e) {
    EXPECT_NE(std::string(e.what()).find("slot offset 5"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(fileExists(kx));
}

// Blocks that lie back to back pass to the file in pieces of at most a megabyte; the file is the
// one encodeKx builds from the same blocks, whatever the pieces were.
TEST(TAnimation, KxExportOfALargeBodyIsTheEncodedFile) {
  AnimFiles f;
  const AnimSlotTable& table = animSlotTable(AnimKind::Anim);
  const int body = 250;
  const std::int64_t first = table.firstSlot(body);
  Bytes data(1600000);
  for (std::size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<std::uint8_t>((i * 131 + i / 977) & 0xFF);
  std::vector<IndexRecord> index(static_cast<std::size_t>(first + table.slotsPerBody(body)),
                                 IndexRecord{-1, -1, -1});
  auto slot = [&](int k) -> IndexRecord& { return index[static_cast<std::size_t>(first + k)]; };
  // Slots 0 to 2 back to back over 1.5 MB; slot 4 before them, slot 6 inside slot 1's block.
  slot(0) = {100000, 500000, 1};
  slot(1) = {600000, 500000, 2};
  slot(2) = {1100000, 499999, 3};
  slot(4) = {10, 5000, 4};
  slot(6) = {700000, 12345, 5};
  test::writeBytes(f.idx, test::indexBytes(index));
  test::writeBytes(f.mul, data);
  TAnimation a;
  a.load(f.idx, f.mul);
  const std::string kx = f.dir.file("big.kx");
  a.exportToFile(body, kx, g_silent);

  std::vector<KxSlot> expected(static_cast<std::size_t>(a.slotsPerBody(body)));
  for (std::size_t k = 0; k < expected.size(); ++k) {
    expected[k].record = slot(static_cast<int>(k));
    if (expected[k].record.isEmpty()) continue;
    const auto from = data.begin() + expected[k].record.lookup;
    expected[k].data.assign(from, from + expected[k].record.length);
  }
  EXPECT_EQ(test::readBytes(kx), encodeKx(1, expected));
  const auto slots = decodeKx(test::readBytes(kx), 1, a.slotsPerBody(body));
  EXPECT_EQ(slots[2].data, expected[2].data);
  EXPECT_EQ(slots[6].record.extra, 5);
}

TEST(TAnimation, FolderImportFollowsLinksToBitmaps) {
  AnimFiles f;
  TAnimation a;
  a.load(f.idx, f.mul);
  const std::string folder = f.dir.file("in");
  std::filesystem::create_directory(folder);
  writeBmpFile(folder + "/0_0.bmp", figure(4, 4, 1));
  writeBmpFile(f.dir.file("elsewhere.bmp"), figure(5, 5, 2));
  test::writeText(folder + "/liste.txt", "");
  // A link to a bitmap is a frame; a link that leads nowhere ends the frames like a missing file.
  std::filesystem::create_symlink(f.dir.file("elsewhere.bmp"), folder + "/0_1.bmp");
  std::filesystem::create_symlink(f.dir.file("gone.bmp"), folder + "/0_2.bmp");
  writeBmpFile(folder + "/0_3.bmp", figure(6, 6, 3));
  a.importFromDirectory(7, folder, false, g_silent);
  const auto frames = a.slotFrames(7, 0);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[1].picture.width, 5);
}

TEST(TAnimation, KxTypesFollowEachVariantsTable) {
  AnimFiles f, g;
  TAnim2 a2;
  TAnim3 a3;
  a2.load(f.idx, f.mul);
  a3.load(g.idx, g.mul);
  putBody(a2, 250, {{0, {figure(4, 4, 1)}}}, f.dir.file("in.kx"));
  const std::string kx = f.dir.file("a2.kx");
  a2.exportToFile(250, kx, g_silent);
  EXPECT_THROW(a3.importFromFile(250, kx, g_silent), Error);
  a3.importFromFile(800, kx, g_silent);
  EXPECT_TRUE(a3.bodyExists(800));
}

TEST(TAnimation, CopyBodySharesRecordsAndChecksTypes) {
  AnimFiles f;
  {
    TAnimation a;
    a.load(f.idx, f.mul);
    putBody(a, 2, {{0, {figure(4, 4, 1)}}, {3, {figure(4, 4, 3)}}}, f.dir.file("x.kx"));
    try {
      a.copyBody(2, 200, f.idx);
      FAIL();
    } catch (const Error& e) {
      EXPECT_STREQ(e.what(), "Animtypes dont match.");
    }
    a.copyBody(2, 9, f.idx);
    EXPECT_EQ(a.slotRecord(9, 3), a.slotRecord(2, 3));
  }
  // Not loaded: the index at the path is opened for the copy only.
  TAnimation b;
  b.copyBody(2, 11, f.idx);
  b.load(f.idx, f.mul);
  EXPECT_EQ(b.slotRecord(11, 0), b.slotRecord(2, 0));
  EXPECT_EQ(b.slotFrames(11, 3)[0].picture, asDecoded(figure(4, 4, 3)));
}

TEST(TAnimation, FillBodiesGrowsTheIndexToAFullTable) {
  AnimFiles f;
  test::writeBytes(f.idx, Bytes(12 * 5 + 7, 0xFF));  // a partial record at the end
  TAnimation a;
  a.load(f.idx, f.mul);
  a.fillBodies();
  EXPECT_EQ(fileSize(f.idx), 8181600u);
  EXPECT_EQ(a.bodyCount(), 4096);
  a.fillBodies();
  EXPECT_EQ(fileSize(f.idx), 8181600u);
  EXPECT_EQ(*a.files().record(681799), (IndexRecord{-1, -1, 0}));
}

TEST(TAnimation, RebuildKeepsEveryBodyAndRefusesItsOwnFiles) {
  AnimFiles f;
  TAnimation a;
  a.load(f.idx, f.mul);
  putBody(a, 1, {{0, {figure(4, 4, 1)}}}, f.dir.file("x.kx"));
  putBody(a, 1, {{0, {figure(5, 4, 1)}}, {2, {figure(3, 3, 3)}}},
          f.dir.file("x.kx"));  // leaves dead data
  Random random(7);
  EXPECT_THROW(a.rebuild(f.idx, f.dir.file("n.mul"), g_silent, random), FileError);
  a.rebuild(f.dir.file("n.idx"), f.dir.file("n.mul"), g_silent, random);
  TAnimation b;
  b.load(f.dir.file("n.idx"), f.dir.file("n.mul"));
  EXPECT_EQ(*b.slotBlock(1, 2), *a.slotBlock(1, 2));
  EXPECT_EQ(*b.slotBlock(1, 0), *a.slotBlock(1, 0));
}

TEST(TAnimation, ZeroSizeFramesPreviewByVariant) {
  // Frame 0 has size 0 but one run: anim skips it, anim2 reports its pixels, anim3 drops them.
  ByteWriter w;
  for (int i = 0; i < 256; ++i) w.u16(0);
  w.u32(1);
  w.u32(8);
  w.u32(0);
  w.u32(0);
  w.u32(2);
  w.u8(1);
  w.u8(1);
  w.u32(0x7FFF7FFF);
  const Bytes block = w.take();
  EXPECT_EQ(AnimBlock(block).frame(0, 0, ZeroSizeRuns::Skip).strayPixels, 0);
  EXPECT_EQ(AnimBlock(block).frame(0, 0, ZeroSizeRuns::Report).strayPixels, 2);
  EXPECT_EQ(AnimBlock(block).frame(0, 0, ZeroSizeRuns::Ignore).strayPixels, 0);
}
