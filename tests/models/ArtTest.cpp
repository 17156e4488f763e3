#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Image.h"
#include "models/Art.h"
#include "models/Hues.h"
#include "support/Mutations.h"
#include "support/TestFiles.h"

using namespace quillotide;
using test::TempDir;

namespace {

constexpr Pixel kWhite = 0xFFFFFFFF;

// A pixel that survives the trip through 16-bit colour unchanged.
Pixel exact(int r, int g, int b) {
  return makePixel(static_cast<std::uint8_t>(r & 0xF8), static_cast<std::uint8_t>(g & 0xF8),
                   static_cast<std::uint8_t>(b & 0xF8));
}

// A picture of exact colours with transparent (white or black) holes and long opaque stretches.
Bitmap32 patternPicture(int w, int h, unsigned seed) {
  Bitmap32 p(w, h);
  std::uint32_t v = seed * 2654435761u + 1;
  for (auto& px : p.pixels) {
    v = v * 1103515245u + 12345u;
    const unsigned pick = (v >> 16) % 10;
    if (pick == 0)
      px = kWhite;
    else if (pick == 1)
      px = makePixel(0, 0, 0);
    else
      px =
          exact(static_cast<int>(v >> 8), static_cast<int>(v >> 13), static_cast<int>(v >> 18) | 8);
  }
  return p;
}

// What a decoded picture shows for `p`: transparent pixels become the white background.
Bitmap32 asDecoded(Bitmap32 p) {
  for (auto& px : p.pixels) {
    const Colour16 c = pixelToColour16(px);
    px = (c == 0 || c == 0x7FFF) ? kWhite : colour16ToPixel(c);
  }
  return p;
}

std::vector<std::uint16_t> words(const Bytes& b) {
  std::vector<std::uint16_t> w;
  for (std::size_t i = 0; i + 1 < b.size(); i += 2) w.push_back(loadU16(b.data() + i));
  return w;
}

// Hand-made static art: header, W, H, row table, then the given run words.
Bytes staticBytes(std::uint16_t w, std::uint16_t h, const std::vector<std::uint16_t>& table,
                  const std::vector<std::uint16_t>& runs) {
  ByteWriter out;
  out.u32(1234);
  out.u16(w);
  out.u16(h);
  for (auto t : table) out.u16(t);
  for (auto r : runs) out.u16(r);
  return out.take();
}

// An art pair on disk: land tiles and statics by id, `records` index records in all.
struct ArtFiles {
  TempDir dir;
  std::string idx = dir.file("artidx.mul");
  std::string mul = dir.file("art.mul");
  ArtFiles(std::int64_t records, const std::vector<std::pair<std::int64_t, Bytes>>& slots) {
    std::vector<IndexRecord> index(static_cast<std::size_t>(records), IndexRecord{-1, -1, 0});
    Bytes data;
    for (const auto& [n, bytes] : slots) {
      index[static_cast<std::size_t>(n)] = {static_cast<std::int32_t>(data.size()),
                                            static_cast<std::int32_t>(bytes.size()), 0};
      data.insert(data.end(), bytes.begin(), bytes.end());
    }
    test::writeBytes(idx, test::indexBytes(index));
    test::writeBytes(mul, data);
  }
};

}  // namespace

// ---- land tiles ------------------------------------------------------------------------------

TEST(ArtLand, DecodeEncodeDecodeKeepsTheDiamondAndWhiteCorners) {
  const Bitmap32 source = asDecoded(patternPicture(44, 44, 3));
  const Bytes bytes = encodeLandTile(source);
  ASSERT_EQ(bytes.size(), 2024u);
  const Bitmap32 decoded = decodeLandTile(bytes);
  EXPECT_EQ(encodeLandTile(decoded), bytes);
  // Diamond rows: row 0 covers columns 21 and 22, row 43 the same; the corners stay white.
  EXPECT_EQ(decoded.at(21, 0), colour16ToPixel(pixelToColour16(source.at(21, 0))));
  EXPECT_EQ(decoded.at(20, 0), kWhite);
  EXPECT_EQ(decoded.at(0, 21), colour16ToPixel(pixelToColour16(source.at(0, 21))));
  EXPECT_EQ(decoded.at(0, 22), colour16ToPixel(pixelToColour16(source.at(0, 22))));
  EXPECT_EQ(decoded.at(0, 23), kWhite);
  EXPECT_EQ(decoded.at(23, 43), kWhite);
  EXPECT_EQ(decoded.at(22, 43), colour16ToPixel(pixelToColour16(source.at(22, 43))));
}

TEST(ArtLand, PictureOfAnotherSizeIsRefusedAndShortDataIsRefused) {
  // A land tile is the 44 x 44 diamond: any other picture would be stored shifted or cut.
  for (const auto& [width, height] : {std::pair{22, 30}, std::pair{44, 45}, std::pair{45, 44}}) {
    try {
      encodeLandTile(Bitmap32(width, height, exact(8, 16, 24)));
      ADD_FAILURE() << width << " x " << height << " was stored";
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()), "A picture of " + std::to_string(width) + " x " +
                                           std::to_string(height) +
                                           " pixels cannot be stored as a land tile: land tiles "
                                           "are 44 x 44.");
    }
  }
  const Bytes bytes = encodeLandTile(Bitmap32(44, 44, exact(8, 16, 24)));
  EXPECT_THROW(decodeLandTile(test::mutated(bytes, test::cutBy(1))), FormatError);
  EXPECT_NO_THROW(decodeLandTile(Bytes(2030, 0)));
}

// ---- static art encoding ---------------------------------------------------------------------

TEST(ArtStatic, DecodeEncodeDecodeGivesTheSamePicture) {
  for (auto [w, h] : {std::pair{1, 1}, {44, 80}, {250, 3}, {7, 300}}) {
    const Bitmap32 source = patternPicture(w, h, static_cast<unsigned>(w * h));
    const Bytes bytes = encodeStaticArt(source);
    const Bitmap32 decoded = decodeStaticArt(bytes);
    EXPECT_EQ(decoded, asDecoded(source)) << w << " x " << h;
    EXPECT_EQ(encodeStaticArt(decoded), bytes);
  }
}

TEST(ArtStatic, RowOfSixPixelsEncodesAsTwoRunsAndAnEndMarker) {
  const Pixel a = exact(200, 8, 8), b = exact(8, 200, 8), c = exact(8, 8, 200);
  Bitmap32 row(6, 1, kWhite);
  row.at(1, 0) = a;
  row.at(2, 0) = b;
  row.at(5, 0) = c;
  const Bytes bytes = encodeStaticArt(row);
  const std::vector<std::uint16_t> expected = {
      1234, 0, 6, 1, 0, 1, 2, pixelToColour16(a), pixelToColour16(b), 2, 1, pixelToColour16(c),
      0,    0};
  EXPECT_EQ(words(bytes), expected);
}

TEST(ArtStatic, NearWhiteAndNearBlackAreTransparent) {
  Bitmap32 p(3, 2, makePixel(250, 250, 250));
  p.at(1, 0) = makePixel(7, 7, 7);
  p.at(2, 1) = makePixel(0, 0, 0);
  const Bytes bytes = encodeStaticArt(p);
  // Header, two row table entries, two end markers: nothing else.
  EXPECT_EQ(bytes.size(), 8u + 4u + 8u);
  EXPECT_EQ(decodeStaticArt(bytes), Bitmap32(3, 2, kWhite));
}

TEST(ArtStatic, LongOpaqueRunsAreSplitWithAGapOfZero) {
  Bitmap32 p(5000, 2, exact(64, 128, 192));
  p.at(0, 1) = kWhite;
  const Bytes bytes = encodeStaticArt(p);
  const auto w = words(bytes);
  // Row 0: runs of 2048, 2048 and 904 pixels, the later ones right after the earlier.
  std::size_t at = 6;
  EXPECT_EQ(w[at], 0);
  EXPECT_EQ(w[at + 1], 2048);
  at += 2 + 2048;
  EXPECT_EQ(w[at], 0);
  EXPECT_EQ(w[at + 1], 2048);
  at += 2 + 2048;
  EXPECT_EQ(w[at], 0);
  EXPECT_EQ(w[at + 1], 904);
  // Row 1 starts with its one transparent pixel as the gap.
  EXPECT_EQ(w[6 + w[5]], 1);
  EXPECT_EQ(w[6 + w[5] + 1], 2048);
  EXPECT_EQ(decodeStaticArt(bytes), p);
}

TEST(ArtStatic, EncoderReachesTheFormatLimitsAndRefusesBeyond) {
  EXPECT_THROW(encodeStaticArt(Bitmap32()), Error);
  EXPECT_THROW(encodeStaticArt(Bitmap32(0x10000, 1, kWhite)), Error);
  EXPECT_THROW(encodeStaticArt(Bitmap32(1, 0x10000, kWhite)), Error);
  const Bitmap32 wide(0xFFFF, 1, exact(80, 80, 80));
  EXPECT_EQ(decodeStaticArt(encodeStaticArt(wide)), wide);
  // Opaque rows of one pixel take 5 words each: row 13108 would start at word 65540.
  const Bitmap32 tall(1, 13108, exact(80, 80, 80));
  EXPECT_EQ(decodeStaticArt(encodeStaticArt(tall)), tall);
  EXPECT_THROW(encodeStaticArt(Bitmap32(1, 13109, exact(80, 80, 80))), Error);
  // Transparent rows take 2 words: 32768 of them fit.
  EXPECT_EQ(decodeStaticArt(encodeStaticArt(Bitmap32(3, 32768, kWhite))),
            Bitmap32(3, 32768, kWhite));
  // 40 opaque rows of 4096 pixels need row starts past 65535 words.
  try {
    encodeStaticArt(Bitmap32(4096, 40, exact(80, 80, 80)));
    FAIL() << "an over-long row table was accepted";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("row 16"), std::string::npos) << e.what();
  }
}

// ---- damaged static art ----------------------------------------------------------------------

namespace {

// A valid 4 x 1 static: header, W, H, a row table of one entry, then one run of two pixels at
// gap 0 and the row's end marker. The offsets name its fields.
constexpr std::size_t kWidthAt = 4, kHeightAt = 6, kRowTableAt = 8, kRunLengthAt = 12;
Bytes validStatic() { return staticBytes(4, 1, {0}, {0, 2, 0x001F, 0x03E0, 0, 0}); }

class DamagedStatic : public ::testing::TestWithParam<test::Defect> {};

}  // namespace

TEST(ArtStaticDamaged, TheValidSampleDecodes) {
  EXPECT_EQ(decodeStaticArt(validStatic()).at(1, 0), colour16ToPixel(0x03E0));
  // A wide picture whose rows share one end marker is valid and cheap.
  const Bitmap32 wide = decodeStaticArt(staticBytes(0xFFFF, 2, {0, 0}, {0, 0}));
  EXPECT_EQ(wide.width, 0xFFFF);
  EXPECT_EQ(wide.height, 2);
}

TEST_P(DamagedStatic, IsAFormatError) {
  EXPECT_THROW(decodeStaticArt(test::mutated(validStatic(), GetParam().mutate)), FormatError);
}

INSTANTIATE_TEST_SUITE_P(
    Defects, DamagedStatic,
    ::testing::Values(test::Defect{"cut_inside_the_header", test::cutTo(7)},
                      test::Defect{"width_zero", test::setU16(kWidthAt, 0)},
                      test::Defect{"height_zero", test::setU16(kHeightAt, 0)},
                      test::Defect{"size_huge", test::all({test::setU16(kWidthAt, 0xFFFF),
                                                           test::setU16(kHeightAt, 0xFFFF)})},
                      test::Defect{"row_table_cut", test::cutTo(kRowTableAt + 1)},
                      test::Defect{"row_start_past_the_end", test::setU16(kRowTableAt, 100)},
                      test::Defect{"run_length_past_the_end", test::setU16(kRunLengthAt, 100)},
                      test::Defect{"end_marker_cut", test::cutBy(4)},
                      test::Defect{"run_header_cut", test::cutTo(kRunLengthAt)}),
    test::DefectName());

TEST(ArtStaticDamaged, EveryCutAndEveryFlippedByteStaysInsideTheSlot) {
  const Bytes good = encodeStaticArt(patternPicture(13, 9, 5));
  for (std::size_t n = 0; n < good.size(); ++n) {
    // Some cuts still decode (a shorter last row), none reads past the cut.
    try {
      decodeStaticArt(std::span(good).first(n));
    } catch (const FormatError&) {
    }
  }
  for (std::size_t i = 0; i < good.size(); ++i) {
    for (const std::uint8_t flip : {std::uint8_t{0x01}, std::uint8_t{0x80}, std::uint8_t{0xFF}}) {
      Bytes bad = good;
      bad[i] ^= flip;
      try {
        const Bitmap32 p = decodeStaticArt(bad);
        EXPECT_EQ(p.pixels.size(),
                  static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height));
      } catch (const FormatError&) {
      }
    }
  }
}

TEST(ArtStaticDamaged, RunsBeyondTheStaticsOwnWidthAreNotDrawn) {
  // A run of 3 at gap 2 in a 4-wide static: only its first two pixels belong to the picture.
  const Bytes bytes = staticBytes(4, 1, {0}, {2, 3, 0x001F, 0x03E0, 0x7C00, 0, 0});
  Bitmap32 target(8, 1, 0);
  drawStaticArt(bytes, 0, 0, target);
  EXPECT_EQ(target.at(2, 0), colour16ToPixel(0x001F));
  EXPECT_EQ(target.at(3, 0), colour16ToPixel(0x03E0));
  EXPECT_EQ(target.at(4, 0), 0u);
}

// ---- drawing ---------------------------------------------------------------------------------

TEST(ArtDraw, StaticsAreClippedToTheTargetAndSkip7FFF) {
  const Bytes bytes =
      staticBytes(3, 2, {0, 7}, {0, 3, 0x001F, 0x7FFF, 0x03E0, 0, 0, 1, 1, 0x7C00, 0, 0});
  Bitmap32 target(2, 2, 0);
  drawStaticArt(bytes, -1, 1, target);
  // Row 0 lands on target row 1 shifted left by one: 0x7FFF skipped, 0x03E0 at column 1.
  EXPECT_EQ(target.at(0, 1), 0u);
  EXPECT_EQ(target.at(1, 1), colour16ToPixel(0x03E0));
  EXPECT_EQ(target.at(0, 0), 0u);
  // Offsets at the ends of the integer range draw nothing and do not wrap round into the target.
  const Bitmap32 before = target;
  for (int far : {INT_MAX, INT_MIN, INT_MAX - 1}) {
    drawStaticArt(bytes, far, 0, target);
    drawStaticArt(bytes, 0, far, target);
    drawStaticArtHued(bytes, far, far, nullptr, false, target);
  }
  EXPECT_EQ(target, before);
  // The hued drawing paints 0x7FFF like any colour.
  Bitmap32 hued(3, 2, 0);
  drawStaticArtHued(bytes, 0, 0, nullptr, false, hued);
  EXPECT_EQ(hued.at(1, 0), colour16ToPixel(0x7FFF));
  EXPECT_EQ(hued.at(1, 1), colour16ToPixel(0x7C00));
}

TEST(ArtDraw, HueRampReplacesByRedAndPartialHueKeepsColouredPixels) {
  HueRamp ramp{};
  for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<Colour16>(0x100 + i);
  // Grey 0 (red 0 uses colour 1), grey 10 and a coloured pixel with red 20.
  const Colour16 grey0 = 0, grey10 = (10 << 10) | (10 << 5) | 10, red20 = (20 << 10) | 3;
  const Bytes bytes = staticBytes(3, 1, {0}, {0, 3, grey0, grey10, red20, 0, 0});
  Bitmap32 full(3, 1, 0), partial(3, 1, 0);
  drawStaticArtHued(bytes, 0, 0, &ramp, false, full);
  drawStaticArtHued(bytes, 0, 0, &ramp, true, partial);
  EXPECT_EQ(full.at(0, 0), colour16ToPixel(0x101));
  EXPECT_EQ(full.at(1, 0), colour16ToPixel(0x10A));
  EXPECT_EQ(full.at(2, 0), colour16ToPixel(0x114));
  EXPECT_EQ(partial.at(1, 0), colour16ToPixel(0x10A));
  EXPECT_EQ(partial.at(2, 0), colour16ToPixel(red20));
}

TEST(ArtDraw, AverageColourLeavesOutTheBackground) {
  Bitmap32 p(3, 1, kWhite);
  p.at(0, 0) = exact(8, 16, 24);
  p.at(1, 0) = exact(17, 32, 0);
  EXPECT_EQ(averageColour(p), makePixel(12, 24, 12));
  EXPECT_EQ(averageColour(Bitmap32(2, 2, kWhite)), std::nullopt);
}

// ---- the model -------------------------------------------------------------------------------

class ArtModel : public ::testing::TestWithParam<StorageMode> {};

TEST_P(ArtModel, SlotsDecodeAndChangesFollowTheStorageMode) {
  const Bitmap32 tree = asDecoded(patternPicture(20, 30, 9));
  ArtFiles files(kStaticBase + 10, {{3, encodeLandTile(Bitmap32(44, 44, exact(0, 200, 0)))},
                                    {kStaticBase + 2, encodeStaticArt(tree)}});
  TArt art;
  art.load(files.idx, files.mul, GetParam());
  EXPECT_TRUE(art.landExists(3));
  EXPECT_FALSE(art.landExists(4));
  EXPECT_EQ(art.staticCount(), 10);
  EXPECT_EQ(art.staticPicture(2), tree);
  EXPECT_EQ(art.staticArtWidth(2), 20);
  EXPECT_EQ(art.staticArtHeight(2), 30);
  EXPECT_EQ(art.landPicture(3).at(21, 0), exact(0, 200, 0));

  const Bytes originalIndex = test::readBytes(files.idx);
  art.importStatic(5, tree);
  art.setStaticTag(5, 77);
  art.deleteLand(3);
  EXPECT_EQ(art.staticPicture(5), tree);
  // Memory mode changes only its copies; low-memory mode writes into the open files at once.
  EXPECT_EQ(test::readBytes(files.idx) == originalIndex, GetParam() == StorageMode::Memory);
  const auto size = std::to_string(encodeStaticArt(tree).size());
  EXPECT_EQ(art.staticDetails(5), "Offset: " + std::to_string(2024 + encodeStaticArt(tree).size()) +
                                      " Length: " + size + " Tag: 77");

  const std::string outIdx = files.dir.file("out.idx"), outMul = files.dir.file("out.mul");
  const bool saved = art.save(outIdx, outMul);
  // Memory mode writes the copies; low-memory mode has written every change already.
  const std::string& checkIdx = saved ? outIdx : files.idx;
  const std::string& checkMul = saved ? outMul : files.mul;
  EXPECT_EQ(saved, GetParam() == StorageMode::Memory);
  EXPECT_EQ(fileExists(outIdx), saved);

  TArt again;
  again.load(checkIdx, checkMul, StorageMode::Memory);
  EXPECT_EQ(again.staticPicture(5), tree);
  EXPECT_FALSE(again.landExists(3));
  EXPECT_EQ(again.staticRecord(5)->extra, 77);
}

INSTANTIATE_TEST_SUITE_P(BothModes, ArtModel,
                         ::testing::Values(StorageMode::Memory, StorageMode::LowMemory));

TEST(ArtModelSlots, EmptySlotsAnswerEmptyWithoutReading) {
  TArt unloaded;
  EXPECT_EQ(unloaded.staticCount(), 0);
  EXPECT_FALSE(unloaded.staticExists(0));
  EXPECT_TRUE(unloaded.staticPicture(0).empty());

  ArtFiles files(kStaticBase + 3, {});
  // Records (-1, 10, 0) and (100, 0, 0) are empty; (0, 1, 0) would be full.
  test::writeBytes(files.idx,
                   test::mutated(test::readBytes(files.idx),
                                 test::all({test::setRecord(kStaticBase, {-1, 10, 0}),
                                            test::setRecord(kStaticBase + 1, {100, 0, 0})})));
  TArt art;
  art.load(files.idx, files.mul, StorageMode::Memory);
  for (std::int64_t s : {0, 1, 2, 3, 1000}) {
    EXPECT_FALSE(art.staticExists(s));
    EXPECT_EQ(art.staticArtWidth(s), 0);
    EXPECT_EQ(art.staticArtHeight(s), 0);
    EXPECT_TRUE(art.staticPicture(s).empty());
    EXPECT_EQ(art.staticAverageColour(s), std::nullopt);
  }
  EXPECT_TRUE(art.landPicture(0).empty());
  EXPECT_EQ(art.staticDetails(0), "Offset: -1 Length: 10 Tag: 0");
  EXPECT_EQ(art.staticDetails(1000), "Offset: -1 Length: -1 Tag: -1");
}

TEST(ArtModelSlots, DamagedRecordOrDataNamesTheSlot) {
  const Bytes rowPastTheEnd = test::mutated(validStatic(), test::setU16(kRowTableAt, 100));
  ArtFiles files(kStaticBase + 6, {{kStaticBase + 5, rowPastTheEnd}});
  const test::Mutation lengthPastTheData = test::setRecord(kStaticBase + 4, {0, 100000, 0});
  test::writeBytes(files.idx, test::mutated(test::readBytes(files.idx), lengthPastTheData));
  TArt art;
  art.load(files.idx, files.mul, StorageMode::Memory);
  // A record past the data has no size either.
  EXPECT_EQ(art.staticArtWidth(4), 0);
  EXPECT_EQ(art.staticArtWidth(5), 4);
  for (std::int64_t s : {4, 5}) {
    try {
      art.staticPicture(s);
      FAIL() << "damaged static " << s << " decoded";
    } catch (const FormatError& e) {
      EXPECT_EQ(std::string(e.what()).rfind("Static 0x" + std::to_string(s) + ": ", 0), 0u)
          << e.what();
    }
  }
}

TEST(ArtModelSlots, CountsAreFullIntegersAndWritesGrowOnlyAsAsked) {
  TempDir dir;
  const std::string idx = dir.file("artidx.mul"), mul = dir.file("art.mul");
  test::writeBytes(mul, {});
  auto countFor = [&](std::int64_t records) {
    test::writeBytes(idx, Bytes(static_cast<std::size_t>(records) * 12, 0xFF));
    TArt art;
    art.load(idx, mul, StorageMode::Memory);
    return art.staticCount();
  };
  EXPECT_EQ(countFor(kStaticBase + 0x10000), 0x10000);
  EXPECT_EQ(countFor(kStaticBase), 0);
  EXPECT_EQ(countFor(100), 0);

  test::writeBytes(idx, Bytes(static_cast<std::size_t>(kStaticBase + 2) * 12, 0xFF));
  TArt art;
  art.load(idx, mul, StorageMode::Memory);
  art.importStatic(9, Bitmap32(2, 2, exact(8, 8, 8)));
  EXPECT_EQ(art.staticCount(), 10);
  EXPECT_EQ(*art.staticRecord(5), (IndexRecord{-1, -1, 0}));
  EXPECT_THROW(art.importStatic(0x10000, Bitmap32(1, 1, kWhite)), Error);
  EXPECT_THROW(art.importLand(0x4000, Bitmap32(44, 44, kWhite)), Error);
  EXPECT_THROW(art.setStaticTag(10, 1), Error);
  EXPECT_EQ(art.staticCount(), 10);
}

TEST(ArtModelSlots, FillStaticSlotsStopsAt0xC000Records) {
  TempDir dir;
  const std::string idx = dir.file("artidx.mul"), mul = dir.file("art.mul");
  test::writeBytes(mul, {});
  test::writeBytes(idx, Bytes(0x9000 * 12, 0xFF));
  TArt art;
  art.load(idx, mul, StorageMode::LowMemory);
  EXPECT_EQ(art.fillStaticSlots(), 0x3000);
  EXPECT_EQ(test::readBytes(idx).size(), 0x90000u);
  EXPECT_EQ(*art.staticRecord(0x7FFF), (IndexRecord{-1, -1, 0}));
  EXPECT_EQ(art.fillStaticSlots(), 0);
}

TEST(ArtModelSlots, HuedDrawingWithUnknownOrMissingHueDrawsUnhued) {
  const Colour16 grey = (12 << 10) | (12 << 5) | 12;
  ArtFiles files(kStaticBase + 1, {{kStaticBase, staticBytes(1, 1, {0}, {0, 1, grey, 0, 0})}});
  TArt art;
  art.load(files.idx, files.mul, StorageMode::Memory);
  THues hues;  // never loaded: holds no hue at all
  for (int hue : {0, 1, 5000, -1}) {
    Bitmap32 target(1, 1, 0);
    art.drawStaticHued(0, 0, 0, *HueChoice::fromItemHue(hue), &hues, target);
    EXPECT_EQ(target.at(0, 0), colour16ToPixel(grey)) << hue;
    Bitmap32 none(1, 1, 0);
    art.drawStaticHued(0, 0, 0, *HueChoice::fromItemHue(hue, true), nullptr, none);
    EXPECT_EQ(none.at(0, 0), colour16ToPixel(grey)) << hue;
  }
  // Other negative item hues name no choice: such an item is not drawn.
  EXPECT_EQ(HueChoice::fromItemHue(-2), std::nullopt);
  EXPECT_EQ(HueChoice::fromItemHue(-1), HueChoice::selection());
  EXPECT_EQ(HueChoice::fromItemHue(0), HueChoice::none());
  EXPECT_EQ(HueChoice::fromItemHue(3)->tableEntry(), std::optional<int>(2));
  EXPECT_EQ(HueChoice::selection().tableEntry(), std::optional<int>(154));
}

TEST(ArtModelSlots, ReimportThenRebuildDropsTheOldData) {
  const Bitmap32 a = asDecoded(patternPicture(30, 30, 1));
  ArtFiles files(kStaticBase + 4, {{kStaticBase + 1, encodeStaticArt(a)}});
  TArt art;
  art.load(files.idx, files.mul, StorageMode::Memory);
  art.deleteStatic(1);
  art.importStatic(1, a);
  art.importStatic(1, a);
  art.save(files.idx, files.mul);
  Random random(1);
  Progress silent;
  art.rebuild(files.dir.file("new.idx"), files.dir.file("new.mul"), silent, random);
  TArt rebuilt;
  rebuilt.load(files.dir.file("new.idx"), files.dir.file("new.mul"), StorageMode::Memory);
  EXPECT_EQ(rebuilt.staticPicture(1), a);
  // The three copies of the old file are down to one.
  const Bytes live = encodeStaticArt(a);
  auto copies = [&](const Bytes& data) {
    int n = 0;
    for (auto it = data.begin();
         (it = std::search(it, data.end(), live.begin(), live.end())) != data.end(); ++it)
      ++n;
    return n;
  };
  EXPECT_EQ(copies(test::readBytes(files.mul)), 3);
  EXPECT_EQ(copies(test::readBytes(files.dir.file("new.mul"))), 1);
}

TEST(ArtModelSlots, ImportFromFileReadsBmpAndPngAndRefusesOtherFiles) {
  const Bitmap32 pic = asDecoded(patternPicture(17, 11, 4));
  ArtFiles files(kStaticBase + 2, {});
  writeImageFile(files.dir.file("a.bmp"), pic);
  writeImageFile(files.dir.file("a.png"), pic);
  test::writeText(files.dir.file("bad.bmp"), "BM not really");
  TArt art;
  art.load(files.idx, files.mul, StorageMode::Memory);
  art.importStatic(0, files.dir.file("a.bmp"));
  art.importStatic(1, files.dir.file("a.png"));
  EXPECT_EQ(art.staticPicture(0), pic);
  EXPECT_EQ(art.staticPicture(1), pic);
  const auto dataSize = art.files().dataSize();
  EXPECT_THROW(art.importStatic(0, files.dir.file("bad.bmp")), Error);
  EXPECT_THROW(art.importLand(0, files.dir.file("missing.bmp")), FileError);
  EXPECT_EQ(art.files().dataSize(), dataSize);
}

TEST(ArtModelSlots, HuedDrawingUsesTheEntryBeforeTheHueAndEntry154ForTheHighlight) {
  // 20 blocks of 8 entries; colour n of entry e is e * 32 + n.
  ByteWriter table;
  for (int e = 0; e < 160; ++e) {
    if (e % 8 == 0) table.u32(0);
    for (int n = 0; n < 32; ++n) table.u16(static_cast<std::uint16_t>(e * 32 + n));
    table.zeros(24);
  }
  THues hues;
  hues.loadBytes(table.data());
  const Colour16 grey = (12 << 10) | (12 << 5) | 12, red = (12 << 10) | 1;
  const Bytes bytes = staticBytes(2, 1, {0}, {0, 2, grey, red, 0, 0});
  ArtFiles files(kStaticBase + 1, {{0, encodeLandTile(Bitmap32(44, 44, colour16ToPixel(grey)))},
                                   {kStaticBase, bytes}});
  TArt art;
  art.load(files.idx, files.mul, StorageMode::Memory);
  Bitmap32 target(2, 1, 0);
  art.drawStaticHued(0, 0, 0, HueChoice::hue(3, true), &hues, target);
  EXPECT_EQ(target.at(0, 0), colour16ToPixel(2 * 32 + 12));
  EXPECT_EQ(target.at(1, 0), colour16ToPixel(red));
  art.drawStaticHued(0, 0, 0, HueChoice::selection(), &hues, target);
  EXPECT_EQ(target.at(1, 0), colour16ToPixel(154 * 32 + 12));
  Bitmap32 land(44, 44, 0);
  art.drawLandHued(0, 0, 0, HueChoice::hue(3), &hues, land);
  EXPECT_EQ(land.at(21, 0), colour16ToPixel(grey));
  art.drawLandHued(0, 0, 0, HueChoice::selection(), &hues, land);
  EXPECT_EQ(land.at(21, 0), colour16ToPixel(154 * 32 + 12));
  EXPECT_EQ(land.at(0, 0), 0u);
}

TEST(ArtModelSlots, ImportsBitmapsWrittenByImageMagick) {
  if (!fileExists("/usr/bin/convert")) GTEST_SKIP() << "ImageMagick's convert is not installed";
  TempDir dir;
  // A red box and a near-black line on white, as 24-bit and as 8-bit palette files.
  const std::string draw =
      "-size 21x9 xc:white -fill '#FF0000' -draw 'rectangle 2,2 8,6' -fill "
      "'#050505' -draw 'line 12,1 12,7' ";
  for (const std::string type : {"-type truecolor BMP3:", "-type palette BMP3:", "PNG24:"}) {
    const std::string file =
        dir.file("m." + std::string(type.find("PNG") == std::string::npos ? "bmp" : "png"));
    const std::string command = "/usr/bin/convert " + draw + type + file + " 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    ArtFiles files(kStaticBase + 1, {});
    TArt art;
    art.load(files.idx, files.mul, StorageMode::Memory);
    art.importStatic(0, file);
    Bitmap32 expected(21, 9, kWhite);
    for (int y = 2; y <= 6; ++y)
      for (int x = 2; x <= 8; ++x) expected.at(x, y) = makePixel(248, 0, 0);
    EXPECT_EQ(art.staticPicture(0), expected) << type;
    // The near-black line is transparent: row 1 holds nothing but its end marker.
    const Bytes data = *art.staticData(0);
    EXPECT_EQ(loadU16(data.data() + 8 + 2 * 1), 2);
    EXPECT_EQ(loadU16(data.data() + 8 + 2 * 9 + 2 * 2), 0u);
  }
}

TEST(ArtModelSlots, RebuildNamesADamagedStaticAndCanLeaveItOut) {
  ArtFiles files(kStaticBase + 8, {{3, Bytes(2024, 1)}, {kStaticBase + 5, Bytes(40, 2)}});
  const test::Mutation lengthPastTheData = test::setRecordLength(kStaticBase + 5, 100000);
  test::writeBytes(files.idx, test::mutated(test::readBytes(files.idx), lengthPastTheData));
  TArt art;
  art.load(files.idx, files.mul, StorageMode::Memory);
  Random random(1);
  Progress silent;
  try {
    art.rebuild(files.dir.file("new.idx"), files.dir.file("new.mul"), silent, random);
    FAIL();
  } catch (const DamagedSlotError& e) {
    EXPECT_EQ(e.slot(), kStaticBase + 5);
    EXPECT_EQ(std::string(e.what()),
              "Static 0x5 is damaged: The record (2024, 100000) points outside the data file "
              "(2064 bytes).");
  }
  EXPECT_EQ(art.rebuild(files.dir.file("new.idx"), files.dir.file("new.mul"), silent, random, true),
            (std::vector<std::int64_t>{kStaticBase + 5}));
  TArt rebuilt;
  rebuilt.load(files.dir.file("new.idx"), files.dir.file("new.mul"), StorageMode::Memory);
  EXPECT_TRUE(rebuilt.landExists(3));
  EXPECT_FALSE(rebuilt.staticExists(5));
  EXPECT_EQ(artRecordName(3), "Land tile 0x3");
}
