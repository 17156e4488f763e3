#include <gtest/gtest.h>

#include "app/Error.h"
#include "app/Image.h"
#include "models/Gump.h"
#include "support/Mutations.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

// Colours that survive the 16-bit round trip exactly (channels are multiples of 8).
Pixel px(int r, int g, int b) {
  return makePixel(static_cast<std::uint8_t>(r * 8), static_cast<std::uint8_t>(g * 8),
                   static_cast<std::uint8_t>(b * 8));
}

Bitmap32 patterned(int w, int h) {
  Bitmap32 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.at(x, y) = px((x / 3) % 32, (y * 5) % 32, ((x + y) / 7) % 32);
  return b;
}

// Slot bytes from a row table and runs (colour, length) given directly.
Bytes gumpBytes(const std::vector<std::uint32_t>& table,
                const std::vector<std::pair<std::uint16_t, std::uint16_t>>& runs) {
  ByteWriter w;
  for (auto t : table) w.u32(t);
  for (auto [c, n] : runs) {
    w.u16(c);
    w.u16(n);
  }
  return w.take();
}

struct GumpFiles {
  TempDir dir;
  std::string idx = dir.file("gumpidx.mul");
  std::string mul = dir.file("gumpart.mul");
  TGump gump;
  // Slot bytes one after the other, each with its own extra.
  explicit GumpFiles(const std::vector<std::pair<Bytes, std::int32_t>>& slots) {
    Bytes data;
    std::vector<IndexRecord> records;
    for (const auto& [bytes, extra] : slots) {
      records.push_back(
          {static_cast<std::int32_t>(data.size()), static_cast<std::int32_t>(bytes.size()), extra});
      data.insert(data.end(), bytes.begin(), bytes.end());
    }
    test::writeBytes(idx, test::indexBytes(records));
    test::writeBytes(mul, data);
    gump.load(idx, mul);
  }
};

}  // namespace

TEST(GumpCodec, EncodesRowsAsMaximalRunsBehindARowTable) {
  const Colour16 a = 0x1234, b = 0x0042, c = 0x7C00;
  Bitmap32 pic(3, 2);
  pic.at(0, 0) = pic.at(1, 0) = colour16ToPixel(a);
  pic.at(2, 0) = colour16ToPixel(b);
  pic.at(0, 1) = pic.at(1, 1) = pic.at(2, 1) = colour16ToPixel(c);
  const Bytes bytes = encodeGump(pic);
  EXPECT_EQ(bytes, gumpBytes({2, 4}, {{a, 2}, {b, 1}, {c, 3}}));
  EXPECT_EQ(bytes.size(), 20u);
  EXPECT_EQ(gumpExtra(3, 2), 0x00030002);
  EXPECT_EQ(decodeGump(bytes, 3, 2), pic);
}

TEST(GumpCodec, RoundTripsExactlyIncludingBlackAndWideRows) {
  // Black (colour 0) is an ordinary colour; a 3000-pixel row of alternating colours holds more
  // runs than a fixed 2048-run buffer could.
  Bitmap32 pic = patterned(3000, 3);
  for (int x = 0; x < 3000; ++x) pic.at(x, 1) = (x % 2) ? px(0, 0, 0) : px(31, 31, 31);
  const Bytes bytes = encodeGump(pic);
  EXPECT_EQ(decodeGump(bytes, 3000, 3), pic);
  // Pixels whose low bits differ fall into one run: runs are of equal 16-bit colour.
  Bitmap32 near(4, 1);
  near.pixels = {makePixel(8, 8, 8), makePixel(15, 12, 9), makePixel(8, 8, 8), makePixel(16, 8, 8)};
  EXPECT_EQ(encodeGump(near).size(), 4u * (1 + 2));
}

TEST(GumpCodec, RefusesPicturesThatDoNotFitTheRecord) {
  EXPECT_THROW(encodeGump(Bitmap32()), Error);
  EXPECT_THROW(encodeGump(Bitmap32(65536, 1)), Error);
  EXPECT_NO_THROW(encodeGump(Bitmap32(65535, 1)));
  // Width 65535 packs into the top half of extra and reads back unsigned.
  EXPECT_EQ(gumpWidthOf(gumpExtra(65535, 7)), 65535);
  EXPECT_EQ(gumpHeightOf(gumpExtra(65535, 7)), 7);
}

namespace {

// A valid 4 x 2 gump: a row table of two starts (in 4-byte words), then one run per row.
constexpr std::size_t kRow0At = 0, kRow1At = 4;
Bytes validGump() { return gumpBytes({2, 3}, {{1, 4}, {2, 4}}); }

class DamagedGump : public ::testing::TestWithParam<test::Defect> {};

}  // namespace

TEST_P(DamagedGump, IsAFormatError) {
  EXPECT_THROW(decodeGump(test::mutated(validGump(), GetParam().mutate), 4, 2), FormatError);
}

INSTANTIATE_TEST_SUITE_P(
    Defects, DamagedGump,
    ::testing::Values(test::Defect{"row_table_cut", test::cutTo(6)},
                      test::Defect{"row_start_past_the_slot", test::setU32(kRow1At, 9)},
                      test::Defect{"rows_in_reverse_order",
                                   test::all({test::setU32(kRow0At, 3), test::setU32(kRow1At, 2)})},
                      test::Defect{"row_start_inside_the_table", test::setU32(kRow0At, 0)},
                      test::Defect{"empty", test::cutTo(0)}),
    test::DefectName());

TEST(GumpCodec, SizesTheSlotCannotHoldGiveOneClearMessage) {
  const Bytes good = validGump();
  EXPECT_NO_THROW(decodeGump(good, 4, 2));
  EXPECT_THROW(decodeGump(good, 0, 2), FormatError);
  // A lying size on a ten-byte slot is refused before the picture is allocated.
  EXPECT_THROW(decodeGump(good, 65535, 2000), FormatError);
  std::vector<std::uint32_t> table;
  std::vector<std::pair<std::uint16_t, std::uint16_t>> runs;
  for (std::uint32_t r = 0; r < 100; ++r) {
    table.push_back(100 + r);
    runs.push_back({1, 1});
  }
  EXPECT_THROW(decodeGump(gumpBytes(table, runs), 65535, 100), FormatError);
}

TEST(GumpCodec, RunsPastTheRightEdgeAreSkippedAndCountedOnce) {
  // Row 0 has 6 pixels of runs on a 4-pixel row; row 1 is short and leaves pixels at 0.
  const Bytes bytes = gumpBytes({3, 5, 5}, {{0x001F, 3}, {0x03E0, 3}, {0x7C00, 2}});
  std::int64_t stray = -1;
  const Bitmap32 pic = decodeGump(bytes, 4, 3, &stray);
  EXPECT_EQ(stray, 2);
  EXPECT_EQ(pic.at(2, 0), colour16ToPixel(0x001F));
  EXPECT_EQ(pic.at(3, 0), colour16ToPixel(0x03E0));
  EXPECT_EQ(pic.at(0, 1), 0u);  // row 1 has no runs
  EXPECT_EQ(pic.at(1, 2), colour16ToPixel(0x7C00));
  EXPECT_EQ(pic.at(2, 2), 0u);
}

TEST(TGump, QueriesOnAnUnloadedModelAnswerEmpty) {
  TGump gump;
  EXPECT_EQ(gump.gumpCount(), 0);
  EXPECT_FALSE(gump.gumpExists(0));
  EXPECT_EQ(gump.gumpWidth(0), 0);
  EXPECT_TRUE(gump.gumpPicture(0).empty());
  EXPECT_THROW(gump.writeGump(0, Bitmap32(2, 2)), Error);
  EXPECT_THROW(gump.save("/nonexistent/a", "/nonexistent/b"), Error);
}

TEST(TGump, SizeFromExtraAndPicturesOfDamagedSlots) {
  const Bytes good = encodeGump(patterned(5, 4));
  GumpFiles f({{good, 0x00400020},  // extra disagrees: 64 x 32 wants 32 rows
               {good, gumpExtra(5, 4)},
               {gumpBytes({1}, {{0x1F, 9}}), gumpExtra(4, 1)}});
  EXPECT_EQ(f.gump.gumpWidth(0), 64);
  EXPECT_EQ(f.gump.gumpHeight(0), 32);
  try {
    f.gump.gumpPicture(0);
    FAIL() << "a size that disagrees with the data was drawn";
  } catch (const FormatError& e) {
    EXPECT_NE(std::string(e.what()).find("Gump 0x0 is damaged"), std::string::npos) << e.what();
  }
  std::string problem = "stale";
  EXPECT_EQ(f.gump.gumpPicture(1, &problem), patterned(5, 4));
  EXPECT_TRUE(problem.empty());
  const Bitmap32 spilled = f.gump.gumpPicture(2, &problem);
  EXPECT_EQ(spilled.width, 4);
  EXPECT_EQ(problem, "Gump 0x2 is damaged: 5 pixels lie outside its 4x1 picture and were skipped.");
}

TEST(TGump, WriteDeleteSaveAndRebuildKeepEveryPicture) {
  GumpFiles f({{encodeGump(patterned(7, 3)), gumpExtra(7, 3)}});
  const Bitmap32 pic = patterned(40, 30);
  f.gump.writeGump(1, pic);
  const auto size1 = f.gump.files().dataSize();
  f.gump.deleteGump(1);
  EXPECT_EQ(*f.gump.record(1), (IndexRecord{-1, -1, -1}));
  f.gump.writeGump(1, pic);  // the old copy stays in the data file until a rebuild
  EXPECT_EQ(f.gump.files().dataSize(),
            2 * size1 - static_cast<std::uint64_t>(f.gump.record(0)->length));
  f.gump.writeGump(4, pic);  // beyond the index: the gap becomes empty records
  EXPECT_EQ(f.gump.gumpCount(), 5);
  EXPECT_FALSE(f.gump.gumpExists(3));
  EXPECT_EQ(f.gump.gumpWidth(4), 40);

  const std::string idx2 = f.dir.file("i2"), mul2 = f.dir.file("m2");
  ASSERT_TRUE(f.gump.save(idx2, mul2));
  TGump saved;
  saved.load(idx2, mul2);
  for (std::int64_t g = 0; g < 5; ++g) EXPECT_EQ(saved.record(g), f.gump.record(g));
  EXPECT_EQ(test::readBytes(mul2),
            f.gump.files().readDataAt(0, static_cast<std::size_t>(f.gump.files().dataSize())));
  EXPECT_EQ(saved.gumpPicture(1), pic);

  Random random(7);
  Progress silent;
  f.gump.rebuild(f.dir.file("i3"), f.dir.file("m3"), silent, random);
  TGump rebuilt;
  rebuilt.load(f.dir.file("i3"), f.dir.file("m3"));
  EXPECT_LT(rebuilt.files().dataSize(), f.gump.files().dataSize());
  for (std::int64_t g = 0; g < 5; ++g) {
    EXPECT_EQ(rebuilt.gumpExists(g), f.gump.gumpExists(g));
    EXPECT_EQ(rebuilt.gumpPicture(g), f.gump.gumpPicture(g));
  }
}

TEST(TGump, ImportsPictureFilesAndLeavesTheSlotOnAnUnreadableFile) {
  GumpFiles f({{encodeGump(patterned(2, 2)), gumpExtra(2, 2)}});
  const Bitmap32 pic = patterned(9, 5);
  writeImageFile(f.dir.file("in.bmp"), pic);
  writeImageFile(f.dir.file("in.png"), patterned(3, 3));
  f.gump.importGump(0, f.dir.file("in.bmp"));
  EXPECT_EQ(f.gump.gumpPicture(0), pic);
  f.gump.importGump(1, f.dir.file("in.png"));
  EXPECT_EQ(f.gump.gumpPicture(1), patterned(3, 3));
  const auto before = f.gump.record(0);
  test::writeText(f.dir.file("broken.bmp"), "BM not really");
  EXPECT_THROW(f.gump.importGump(0, f.dir.file("broken.bmp")), Error);
  EXPECT_THROW(f.gump.importGump(0, f.dir.file("missing.bmp")), FileError);
  EXPECT_EQ(f.gump.record(0), before);
}

TEST(TGump, SavesRefuseSlotsWhoseRecordGivesNoSizeAndWriteNothing) {
  const Bytes good = encodeGump(patterned(5, 4));
  // -1 is an empty record's extra (read back as 65535 x 65535); 0 and 0 x 4 have no picture.
  GumpFiles f({{good, gumpExtra(5, 4)},
               {good, -1},
               {good, 0},
               {good, gumpExtra(0, 4)},
               {good, gumpExtra(5000, 4000)}});
  const std::string idx = f.dir.file("out.idx"), mul = f.dir.file("out.mul");
  const std::string uop = f.dir.file("gumpartLegacyMUL.uop");
  test::writeBytes(idx, Bytes{1, 2, 3});
  test::writeBytes(mul, Bytes{4, 5});
  test::writeBytes(uop, Bytes{6});
  const auto refused = [&](const std::string& index, const std::string& data) {
    try {
      f.gump.save(index, data);
    } catch (const Error& e) {
      return std::string(e.what());
    }
    return std::string("saved");
  };
  EXPECT_EQ(refused(idx, mul),
            "Gumps 0x1, 0x2, 0x3 cannot be saved: their records' extra gives no picture size (a "
            "width and a height of 1 to 65535). Delete them or import their pictures again. "
            "Nothing was written.");
  // A container's reader also refuses more than 16777216 pixels.
  EXPECT_EQ(refused(uop, ""),
            "Gumps 0x1, 0x2, 0x3, 0x4 cannot be saved: their records' extra gives no picture size "
            "(a width and a height of 1 to 65535, at most 16777216 pixels in a container). Delete "
            "them or import their pictures again. Nothing was written.");
  EXPECT_THROW(f.gump.saveUop(uop), Error);
  EXPECT_EQ(test::readBytes(idx), (Bytes{1, 2, 3}));
  EXPECT_EQ(test::readBytes(mul), (Bytes{4, 5}));
  EXPECT_EQ(test::readBytes(uop), (Bytes{6}));

  for (std::int64_t g = 1; g <= 3; ++g) f.gump.deleteGump(g);
  ASSERT_TRUE(f.gump.save(idx, mul));
  TGump pair;
  pair.load(idx, mul);
  EXPECT_EQ(pair.record(4), f.gump.record(4));
  EXPECT_EQ(refused(uop, uop),
            "Gump 0x4 cannot be saved: its record's extra gives no picture size (a width and a "
            "height of 1 to 65535, at most 16777216 pixels in a container). Delete it or import "
            "its picture again. Nothing was written.");
  EXPECT_EQ(test::readBytes(uop), (Bytes{6}));
  f.gump.deleteGump(4);
  const std::string saved = f.dir.file("saved.uop");
  ASSERT_TRUE(f.gump.save(saved, ""));
  TGump container;
  container.load(saved, "");
  EXPECT_EQ(container.gumpPicture(0), patterned(5, 4));
  for (std::int64_t g = 1; g < container.gumpCount(); ++g) EXPECT_FALSE(container.gumpExists(g));
}
