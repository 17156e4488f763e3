#include <gtest/gtest.h>

#include <filesystem>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Text.h"
#include "models/AnimExchange.h"
#include "models/Animation.h"
#include "models/Gump.h"
#include "models/PatchedSlots.h"
#include "models/Verdata.h"
#include "support/Mutations.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

Progress g_silent;

struct Patch {
  TVerIndex record;
  Bytes data;
};

// A patch file made by hand: records first, data after them in the order given.
Bytes verdataFile(const std::vector<Patch>& patches) {
  ByteWriter w;
  w.i32(static_cast<std::int32_t>(patches.size()));
  std::int32_t at = static_cast<std::int32_t>(4 + 20 * patches.size());
  for (const auto& p : patches) {
    w.i32(p.record.fileId);
    w.i32(p.record.block);
    w.i32(p.record.lookup == -1 ? -1 : at);
    w.i32(p.record.lookup == -1 ? p.record.length : static_cast<std::int32_t>(p.data.size()));
    w.i32(p.record.extra);
    if (p.record.lookup != -1) at += static_cast<std::int32_t>(p.data.size());
  }
  for (const auto& p : patches)
    if (p.record.lookup != -1) w.bytes(p.data);
  return w.take();
}

// Static art bytes by hand: W x 1 with one run of the given colours after a gap.
Bytes staticBytes(int gap, std::vector<Colour16> colours, int width) {
  ByteWriter w;
  w.u32(1234);
  w.u16(static_cast<std::uint16_t>(width));
  w.u16(1);
  w.u16(0);
  w.u16(static_cast<std::uint16_t>(gap));
  w.u16(static_cast<std::uint16_t>(colours.size()));
  for (Colour16 c : colours) w.u16(c);
  w.u32(0);
  return w.take();
}

struct Loaded {
  TempDir dir;
  TVerdata v;
  explicit Loaded(const std::vector<Patch>& patches) {
    test::writeBytes(dir.file("verdata.mul"), verdataFile(patches));
    v.load(dir.file("verdata.mul"));
  }
};

Bitmap32 picture(int w, int h, int seed) {
  Bitmap32 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.at(x, y) = colour16ToPixel(static_cast<Colour16>((x * 31 + y * 7 + seed) & 0x7FFF));
  return b;
}

}  // namespace

TEST(TVerdata, FirstRecordWinsAndRemovingItUncoversTheNext) {
  Loaded l({{{4, 0x4005, 0, 0, 0}, staticBytes(1, {0x7C00}, 3)},
            {{4, 0x4005, 0, 0, 0}, staticBytes(0, {0x001F, 0x7FFF}, 2)},
            {{99, 7, 0, 0, 55}, {1, 2, 3}}});
  TVerdata& v = l.v;
  ASSERT_EQ(v.records().size(), 3u);
  EXPECT_TRUE(v.isPatched(4, 0x4005));
  EXPECT_FALSE(v.isPatched(4, 5));
  Bitmap32 first = v.staticPicture(5);
  ASSERT_EQ(first.width, 3);
  EXPECT_EQ(first.at(0, 0), 0u);
  EXPECT_EQ(first.at(1, 0), colour16ToPixel(0x7C00));
  EXPECT_TRUE(v.removePatch(4, 0x4005));
  const Bitmap32 second = v.staticPicture(5);
  ASSERT_EQ(second.width, 2);
  EXPECT_EQ(second.at(1, 0), colour16ToPixel(0x7FFF));  // white is drawn like any colour
  EXPECT_FALSE(v.removePatch(4, 0x4006));
  EXPECT_TRUE(v.staticPicture(6).empty());
}

TEST(TVerdata, SaveCompactsAndKeepsUnknownFileIds) {
  Loaded l({{{99, 7, 0, 0, 55}, {1, 2, 3}},
            {{12, 3, -1, -1, 0}, {}},
            {{10, 1, 0, 0, 1}, Bytes(8, 9)}});
  l.v.removePatch(10, 1);
  l.v.save(l.dir.file("out.mul"));
  ByteWriter expected;
  expected.i32(2);
  for (std::int32_t x : {99, 7, 44, 3, 55, 12, 3, -1, -1, -1}) expected.i32(x);
  expected.bytes(Bytes{1, 2, 3});
  EXPECT_EQ(test::readBytes(l.dir.file("out.mul")), expected.data());

  // One record: a 24-byte head, its data at 24.
  Loaded one({{{12, 1, 0, 0, 0x00010001}, {1, 0, 0, 0, 0, 0, 1, 0}}});
  one.v.save(one.dir.file("one.mul"));
  const Bytes saved = test::readBytes(one.dir.file("one.mul"));
  ASSERT_EQ(saved.size(), 32u);
  EXPECT_EQ(loadU32(saved.data() + 12), 24u);

  TVerdata empty;
  EXPECT_THROW(empty.save(l.dir.file("x.mul")), Error);
  EXPECT_FALSE(empty.isPatched(4, 1));
}

TEST(TVerdata, PicturePatchesReadBackExactly) {
  TempDir dir;
  test::writeBytes(dir.file("v.mul"), verdataFile({}));
  TVerdata v;
  v.load(dir.file("v.mul"));

  Bitmap32 stat = picture(9, 5, 1);
  stat.at(0, 0) = 0xFF000000;  // black: transparent
  stat.at(1, 0) = 0xFFFFFFFF;  // white: kept
  v.addStatic(7, stat);
  Bitmap32 expectStatic = stat;
  expectStatic.at(0, 0) = 0;
  expectStatic.at(1, 0) = colour16ToPixel(0x7FFF);
  EXPECT_EQ(v.staticPicture(7), expectStatic);

  const Bitmap32 gump = picture(13, 4, 2);
  v.addGump(3, gump);
  EXPECT_EQ(v.gumpPicture(3), gump);
  EXPECT_EQ(v.findPatch(12, 3)->extra, 0x000D0004);

  const Bitmap32 tex = picture(64, 64, 3);
  v.addTexture(2, tex);
  EXPECT_EQ(v.texturePicture(2), tex);
  EXPECT_EQ(v.findPatch(10, 2)->extra, 0);
  v.addTexture(2, picture(128, 128, 4));  // replaces the first record
  EXPECT_EQ(v.findPatch(10, 2)->extra, 1);
  EXPECT_EQ(v.records().size(), 3u);
  try {
    v.addTexture(5, picture(32, 32, 1));
    FAIL();
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Bitmap muss 64x64 oder 128x128 sein.");
  }
  EXPECT_EQ(v.records().size(), 3u);

  const Bitmap32 land = picture(44, 44, 5);
  v.addLand(4, land);
  const Bitmap32 back = v.landPicture(4);
  EXPECT_EQ(back.at(21, 0), land.at(21, 0));
  EXPECT_EQ(back.at(0, 22), land.at(0, 22));
  EXPECT_EQ(back.at(0, 0), 0u);  // outside the diamond

  v.save(dir.file("saved.mul"));
  TVerdata again;
  again.load(dir.file("saved.mul"));
  EXPECT_EQ(again.staticPicture(7), expectStatic);
  EXPECT_EQ(again.gumpPicture(3), gump);
  EXPECT_EQ(again.texturePicture(2), picture(128, 128, 4));
  EXPECT_EQ(again.landPicture(4), back);
}

TEST(TVerdata, AnimationPatchesFromKxAndFolders) {
  TempDir dir;
  test::writeBytes(dir.file("v.mul"), verdataFile({}));
  TVerdata v;
  v.load(dir.file("v.mul"));

  // A .kx of a type 0 body with slots 0 and 3, made in the test.
  AnimPaletteBuilder palette;
  Bitmap32 frame(6, 4, 0);
  frame.at(2, 1) = 0xFFFFFFFF;  // white stays opaque in patches
  frame.at(3, 1) = 0xFF00F800;
  const Bytes block = buildAnimBlock(
      palette.palette(),
      {encodeAnimFrame(frame, 3, 4, palette, AnimTransparency::BlackOnly, "f"), encodeEmptyAnimFrame(1, 1)});
  std::vector<KxSlot> kx(110);
  for (auto& s : kx) s.record = {-1, -1, -1};
  kx[0] = {{0, 1, 0}, block};
  kx[3] = {{0, 1, 7}, block};
  test::writeBytes(dir.file("in.kx"), encodeKx(0, kx));

  v.addAnimFromFile(2, dir.file("in.kx"), g_silent);
  EXPECT_TRUE(v.isPatched(6, 2));
  EXPECT_EQ(v.findPatch(6, 220 + 3)->extra, 7);
  EXPECT_EQ(v.animPicture(2).at(2, 1), colour16ToPixel(0x7FFF));
  EXPECT_THROW(v.addAnimFromFile(200, dir.file("in.kx"), g_silent), Error);  // type 1

  // Only the first slot makes a body patched.
  v.removePatch(6, 220);
  EXPECT_FALSE(v.isPatched(6, 2));
  v.addAnimFromFile(2, dir.file("in.kx"), g_silent);

  const auto played = v.animSlotFrames(2, 3);
  ASSERT_TRUE(played);
  ASSERT_EQ(played->size(), 2u);
  EXPECT_EQ((*played)[0].picture.at(3, 1), colour16ToPixel(0x03E0));
  EXPECT_TRUE((*played)[1].picture.empty());
  EXPECT_FALSE(v.animSlotFrames(2, 1));  // not patched: the animation file's own slot shows

  v.exportAnimToFile(2, dir.file("out.kx"), g_silent);
  const auto out = decodeKx(test::readBytes(dir.file("out.kx")), 0, 110);
  EXPECT_EQ(out[0].data, block);
  EXPECT_EQ(out[3].data, block);
  EXPECT_EQ(out[3].record.extra, 7);
  EXPECT_EQ(out[1].record, (IndexRecord{-1, 0, 0}));  // a slot without a patch

  const std::string folder = dir.file("folder");
  std::filesystem::create_directory(folder);
  v.exportAnimToDirectory(2, folder, g_silent);
  const auto report = v.addAnimFromDirectory(5, folder, true, g_silent);
  EXPECT_EQ(report.colourProblems, 0);
  EXPECT_TRUE(report.message.empty());
  EXPECT_EQ(*v.patchData(6, 550), block);
  EXPECT_EQ(*v.patchData(6, 553), block);
  EXPECT_FALSE(v.findPatch(6, 551));

  // A body whose bitmaps were deleted stores no patch, though liste.txt still names its frames.
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().extension() == ".bmp") std::filesystem::remove(entry.path());
  const std::size_t records = v.records().size();
  v.addAnimFromDirectory(8, folder, true, g_silent);
  EXPECT_EQ(v.records().size(), records);
  EXPECT_FALSE(v.isPatched(6, 8));
}

TEST(TVerdata, FolderColoursBeyondTheirPaletteGiveOneMessage) {
  TempDir dir;
  test::writeBytes(dir.file("v.mul"), verdataFile({}));
  TVerdata v;
  v.load(dir.file("v.mul"));
  Bitmap32 many(300, 1, 0);
  for (int x = 0; x < 300; ++x) many.at(x, 0) = colour16ToPixel(static_cast<Colour16>(x + 1));
  writeAnimFolder(dir.path(), {{0, {}, {AnimFrame{150, 1, many, 0, {}}}}}, g_silent);
  std::filesystem::remove(dir.file("palette_0.txt"));
  const auto report = v.addAnimFromDirectory(0, dir.path(), false, g_silent);
  EXPECT_EQ(report.colourProblems, 45);
  EXPECT_EQ(report.message, "Farbe Zuviel: 0:0:256 (45 pixels in all found no place in the palette)");
}

namespace {

// Where the fields of a patch file lie: the record count, then 20-byte records of file id,
// block, lookup, length and extra.
constexpr std::size_t kCountAt = 0;
constexpr std::size_t lookupOf(std::size_t record) { return 4 + 20 * record + 8; }

}  // namespace

TEST(TVerdata, DamagedFilesAndRecordsGiveOneMessage) {
  TempDir dir;
  Loaded good({{{12, 1, 0, 0, 0x00020001}, {1, 0, 0, 0, 5, 0, 2, 0}}});
  // A file that cannot be loaded leaves the patches that were loaded.
  const test::Defect refused[] = {
      {"count_too_large", test::setU32(kCountAt, 1000000)},
      {"count_negative", test::setU32(kCountAt, 0xFFFFFFFF)},
  };
  for (const auto& d : refused) {
    SCOPED_TRACE(d.name);
    test::writeBytes(dir.file("bad.mul"), test::mutated(verdataFile({}), d.mutate));
    EXPECT_THROW(good.v.load(dir.file("bad.mul")), FormatError);
    EXPECT_TRUE(good.v.isPatched(12, 1));
  }

  // lookup_past_end: the picture and the save both refuse with one message; no file is written.
  const Bytes valid = verdataFile({{{12, 1, 0, 0, 0x00020001}, {1, 0, 0, 0, 5, 0, 2, 0}}});
  test::writeBytes(dir.file("bad.mul"), test::mutated(valid, test::setU32(lookupOf(0), 1000)));
  TVerdata v;
  v.load(dir.file("bad.mul"));
  EXPECT_THROW(v.gumpPicture(1), FormatError);
  EXPECT_THROW(v.save(dir.file("out.mul")), FormatError);
  EXPECT_FALSE(fileExists(dir.file("out.mul")));
  // gump_size_beyond_data: a huge size from `extra` on eight bytes.
  Loaded huge({{{12, 1, 0, 0, static_cast<std::int32_t>(0xFFFFFFFF)}, {1, 0, 0, 0, 5, 0, 2, 0}}});
  EXPECT_THROW(huge.v.gumpPicture(1), FormatError);
}

TEST(PatchedSlots, APatchWinsOverTheFileSlot) {
  TempDir dir;
  test::writeBytes(dir.file("gumpidx.mul"), test::indexBytes(std::vector<IndexRecord>(5)));
  test::writeBytes(dir.file("gumpart.mul"), {});
  TGump gumps;
  gumps.load(dir.file("gumpidx.mul"), dir.file("gumpart.mul"));
  const Bitmap32 inFile = picture(6, 3, 1), patch = picture(4, 4, 2);
  gumps.writeGump(1, inFile);
  gumps.writeGump(2, inFile);

  // Verdata not loaded: the file alone decides.
  TVerdata v;
  const PatchedSlots slots = PatchedSlots::gumps(v, gumps);
  EXPECT_FALSE(slots.isPatched(2));
  EXPECT_TRUE(slots.isShown(2));
  EXPECT_EQ(slots.picture(2), inFile);

  test::writeBytes(dir.file("v.mul"), verdataFile({}));
  v.load(dir.file("v.mul"));
  v.addGump(2, patch);  // hides the file's gump
  v.addGump(3, patch);  // empty in the file
  EXPECT_EQ(slots.picture(1), inFile);
  EXPECT_TRUE(slots.isPatched(2) && slots.inFile(2));
  EXPECT_EQ(slots.picture(2), patch);
  EXPECT_TRUE(slots.isShown(3) && !slots.inFile(3));
  EXPECT_EQ(slots.picture(3), patch);
  EXPECT_FALSE(slots.isShown(4));
  EXPECT_TRUE(slots.picture(4).empty());
  // Removing the patch at its key uncovers the file's slot.
  EXPECT_TRUE(v.removePatch(slots.key(2).fileId, slots.key(2).block));
  EXPECT_EQ(slots.picture(2), inFile);

  // Statics are the art file's blocks from 0x4000; land tiles its first blocks.
  EXPECT_EQ(patchKeyOf(PatchFamily::Static, 5), (PatchKey{4, 0x4005}));
  EXPECT_EQ(patchKeyOf(PatchFamily::Land, 5), (PatchKey{4, 5}));
  EXPECT_EQ(patchKeyOf(PatchFamily::Texture, 5), (PatchKey{10, 5}));
  EXPECT_EQ(patchKeyOf(PatchFamily::Animation, 5), (PatchKey{6, 5}));
  const Bitmap32 stat = picture(3, 2, 4);
  v.addStatic(5, stat);
  EXPECT_EQ(patchPictureOf(v, PatchFamily::Static, 5), v.staticPicture(5));
  EXPECT_FALSE(v.isPatched(4, 5));
}

TEST(TVerdata, IdsOutsideTheirKindsRangeAreRefused) {
  // A static patch of static 0x21 is block 0x4021 of the art file.
  Loaded l({{{4, 0x4021, 0, 0, 0}, staticBytes(0, {0x7C00}, 1)}});
  TVerdata& v = l.v;
  EXPECT_THROW(v.landPicture(0x4021), Error);
  EXPECT_EQ(v.staticPicture(0x21).width, 1);
  EXPECT_THROW(v.staticPicture(0x7FFFFFFF), Error);
  EXPECT_THROW(v.gumpPicture(-5), Error);
  EXPECT_THROW(v.texturePicture(0x4000), Error);

  const Bitmap32 p = picture(4, 4, 3);
  EXPECT_THROW(v.addGump(-5, p), Error);
  EXPECT_THROW(v.addGump(0x10000, p), Error);
  EXPECT_THROW(v.addStatic(0x10000, p), Error);
  EXPECT_THROW(v.addLand(0x4000, Bitmap32(44, 44)), Error);
  EXPECT_THROW(v.addTexture(-1, Bitmap32(64, 64)), Error);
  EXPECT_THROW(v.addGumpFile(-5, l.dir.file("missing.bmp")), Error);
  EXPECT_EQ(v.records().size(), 1u);

  try {
    verdataSlotOf(VerdataKind::Land, 0x4021);
    FAIL();
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Land tile 0x4021 is out of range (0 to 0x3FFF).");
  }
  EXPECT_EQ(verdataSlotOf(VerdataKind::Static, 0xFFFF).block, 0x13FFF);
  EXPECT_EQ(verdataSlotOf(VerdataKind::Gump, 0xFFFF).fileId, verdatafile::kGumps);
  EXPECT_THROW(verdataSlotOf(VerdataKind::Anim, 0x10000), Error);
}

TEST(TVerdata, ADamagedRecordIsNamedAndCanBeRemoved) {
  Loaded l({{{12, 3, 0, 0, 0x00010001}, Bytes{1, 0, 0, 0, 0, 0, 1, 0}},
            {{4, 0x4005, 0, 0, 0}, staticBytes(0, {0x7C00}, 1)}});
  const test::Mutation lookupPastTheEnd = test::setU32(lookupOf(1), 0x100000);
  test::writeBytes(l.dir.file("verdata.mul"),
                   test::mutated(test::readBytes(l.dir.file("verdata.mul")), lookupPastTheEnd));
  TVerdata v;
  v.load(l.dir.file("verdata.mul"));
  EXPECT_FALSE(v.isDamaged(v.records()[0]));
  EXPECT_TRUE(v.isDamaged(v.records()[1]));

  v.addGump(4, picture(3, 2, 1));
  try {
    v.save(l.dir.file("out.mul"));
    FAIL();
  } catch (const FormatError& e) {
    const std::string what = e.what();
    EXPECT_NE(what.find("Patch record 1 is damaged"), std::string::npos) << what;
    EXPECT_NE(what.find("Art block 0x4005"), std::string::npos) << what;
  }
  EXPECT_FALSE(fileExists(l.dir.file("out.mul")));

  EXPECT_THROW(v.removeRecord(3), Error);
  v.removeRecord(1);
  v.save(l.dir.file("out.mul"));
  TVerdata saved;
  saved.load(l.dir.file("out.mul"));
  ASSERT_EQ(saved.records().size(), 2u);
  EXPECT_EQ(saved.gumpPicture(3).width, 1);
  EXPECT_EQ(saved.gumpPicture(4), picture(3, 2, 1));
}
