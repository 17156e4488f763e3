#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Png.h"
#include "models/ProgressArchive.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

constexpr const char* kConvert = "/usr/bin/convert";

std::string run(const std::string& command) {
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return {};
  std::string out;
  char buf[512];
  while (std::fgets(buf, sizeof buf, pipe)) out += buf;
  pclose(pipe);
  return out;
}

Bytes records(const std::vector<ProgressRecord>& rs) {
  ByteWriter w;
  for (const auto& r : rs) {
    w.i32(r.lookup);
    w.i32(r.length);
    w.i32(r.id);
    w.i32(r.kind);
  }
  return w.take();
}

Bytes filled(std::size_t n, std::uint8_t v) { return Bytes(n, v); }

// A 3 x 2 picture whose every pixel has its own colour and alpha.
Bitmap32 alphaPicture() {
  Bitmap32 p(3, 2);
  p.pixels = {makePixel(255, 0, 0, 255), makePixel(0, 255, 0, 128),    makePixel(0, 0, 255, 0),
              makePixel(10, 20, 30, 40), makePixel(200, 100, 50, 250), makePixel(1, 2, 3, 4)};
  return p;
}

struct Archive {
  TempDir dir;
  std::string idx = dir.file("Progress.idx");
  std::string mul = dir.file("Progress.mul");
  TProgress progress;
  // The three records of the example: art 5 twice (the later wins) and gump 5.
  Archive() {
    Bytes data = filled(100, 1);
    for (auto b : filled(80, 2)) data.push_back(b);
    for (auto b : filled(90, 3)) data.push_back(b);
    test::writeBytes(idx, records({{0, 100, 5, 0}, {100, 80, 5, 1}, {180, 90, 5, 0}}));
    test::writeBytes(mul, data);
    progress.load(idx, mul);
  }
};

}  // namespace

TEST(ProgressArchive, LaterRecordsWinAndSaveCompactsByKindAndId) {
  Archive a;
  EXPECT_TRUE(a.progress.entryExists(0, 5));
  EXPECT_TRUE(a.progress.entryExists(1, 5));
  EXPECT_FALSE(a.progress.entryExists(0, 4));
  EXPECT_FALSE(a.progress.entryExists(2, 5));
  EXPECT_EQ(a.progress.entryRecord(0, 5), (ProgressRecord{180, 90, 5, 0}));
  EXPECT_EQ(a.progress.entryRecord(1, 5), (ProgressRecord{100, 80, 5, 1}));

  const std::string idx2 = a.dir.file("out.idx");
  const std::string mul2 = a.dir.file("out.mul");
  ASSERT_TRUE(a.progress.save(idx2, mul2));
  EXPECT_EQ(test::readBytes(idx2), records({{0, 90, 5, 0}, {90, 80, 5, 1}}));
  Bytes expected = filled(90, 3);
  for (auto b : filled(80, 2)) expected.push_back(b);
  EXPECT_EQ(test::readBytes(mul2), expected);
  // The model keeps its own images.
  EXPECT_EQ(a.progress.indexImage().size(), 48u);

  a.progress.deleteEntry(0, 5);
  ASSERT_TRUE(a.progress.save(idx2, mul2));
  EXPECT_EQ(test::readBytes(idx2), records({{0, 80, 5, 1}}));
  EXPECT_EQ(test::readBytes(mul2), filled(80, 2));
  TProgress unloaded;
  EXPECT_FALSE(unloaded.save(a.dir.file("none.idx"), a.dir.file("none.mul")));
  EXPECT_FALSE(fileExists(a.dir.file("none.idx")));
  EXPECT_FALSE(unloaded.entryExists(0, 5));
}

TEST(ProgressArchive, OtherKindsAndOutOfTableIdsAreDroppedAndCounted) {
  TempDir dir;
  const std::string idx = dir.file("Progress.idx");
  const std::string mul = dir.file("Progress.mul");
  Bytes index = records({{0, 4, 7, 2},
                         {0, 4, 0x8000, 0},
                         {0, 4, -1, 1},
                         {0, 4, 0x10000, 1},
                         {0, 4, 0xFFFF, 1},
                         {0, 4, 0x7FFF, 0}});
  index.push_back(9);  // a tail shorter than a record
  test::writeBytes(idx, index);
  test::writeBytes(mul, Bytes{1, 2, 3, 4});
  TProgress p;
  p.load(idx, mul);
  EXPECT_EQ(p.skippedRecords(), 3);
  EXPECT_EQ(p.entryIds(0), std::vector<std::int32_t>{0x7FFF});
  EXPECT_EQ(p.entryIds(1), std::vector<std::int32_t>{0xFFFF});
  ASSERT_TRUE(p.save(idx, mul));
  EXPECT_EQ(test::readBytes(idx), records({{0, 4, 0x7FFF, 0}, {4, 4, 0xFFFF, 1}}));
}

TEST(ProgressArchive, FailedLoadKeepsTheLoadedArchive) {
  Archive a;
  EXPECT_THROW(a.progress.load(a.idx, a.dir.file("missing.mul")), FileError);
  EXPECT_TRUE(a.progress.isLoaded());
  EXPECT_TRUE(a.progress.entryExists(1, 5));
  TProgress fresh;
  EXPECT_THROW(fresh.load(a.dir.file("missing.idx"), a.mul), FileError);
  EXPECT_FALSE(fresh.isLoaded());

  // A record pointing past the data is named on save and nothing is written.
  test::writeBytes(a.idx, records({{0, 400, 3, 0}}));
  a.progress.load(a.idx, a.mul);
  const std::string out = a.dir.file("out.idx");
  EXPECT_THROW(a.progress.save(out, a.dir.file("out.mul")), FormatError);
  EXPECT_FALSE(fileExists(out));
}

TEST(ProgressArchive, PicturesWithAndWithoutAlphaAndImageMagickReadsTheExport) {
  Archive a;
  a.progress.writeEntry(1, 0x20, alphaPicture());
  EXPECT_EQ(a.progress.entryImage(1, 0x20), alphaPicture());
  const Bitmap32 grey = a.progress.entryPicture(1, 0x20, true);
  EXPECT_EQ(grey.pixels[1], makePixel(128, 128, 128));
  EXPECT_EQ(grey.pixels[2], makePixel(0, 0, 0));
  const Bitmap32 colours = a.progress.entryPicture(1, 0x20, false);
  EXPECT_EQ(colours.pixels[2], makePixel(0, 0, 255));
  EXPECT_EQ(colours.pixels[3], makePixel(10, 20, 30));
  EXPECT_TRUE(a.progress.entryPicture(1, 0x21, true).empty());
  // The dummy bytes of the example are no PNG: the entry is named in the library's error.
  try {
    a.progress.entryPicture(0, 5, false);
    FAIL();
  } catch (const FormatError& e) {
    EXPECT_NE(std::string(e.what()).find("Art (S) entry 0x5"), std::string::npos);
  }

  const std::string png = a.dir.file("0x20.png");
  ASSERT_TRUE(a.progress.exportPng(1, 0x20, png));
  EXPECT_FALSE(a.progress.exportPng(1, 0x21, a.dir.file("none.png")));
  if (!fileExists(kConvert)) GTEST_SKIP() << "ImageMagick's convert is not installed";
  const std::string text = run(std::string(kConvert) + " '" + png + "' -depth 8 txt:-");
  EXPECT_NE(text.find("0,0: (255,0,0,255)"), std::string::npos) << text;
  EXPECT_NE(text.find("1,0: (0,255,0,128)"), std::string::npos) << text;
  EXPECT_NE(text.find("2,0: (0,0,255,0)"), std::string::npos) << text;
  EXPECT_NE(text.find("2,1: (1,2,3,4)"), std::string::npos) << text;
}

TEST(ProgressArchive, ImportTakesRgbAlphaOnly) {
  if (!fileExists(kConvert)) GTEST_SKIP() << "ImageMagick's convert is not installed";
  Archive a;
  const std::string rgba = a.dir.file("rgba.png");
  ASSERT_EQ(std::system(
                (std::string(kConvert) + " -size 4x3 xc:'#0AC81E80' PNG32:'" + rgba + "'").c_str()),
            0);
  a.progress.importPng(0, 0x40, rgba);
  const Bitmap32 picture = a.progress.entryImage(0, 0x40);
  EXPECT_EQ(picture.width, 4);
  EXPECT_EQ(picture.pixels[0], makePixel(10, 200, 30, 128));

  const auto indexSize = a.progress.indexImage().size();
  for (const std::string kind : {"PNG8", "PNG24"}) {
    const std::string other = a.dir.file("other.png");
    ASSERT_EQ(std::system((std::string(kConvert) + " -size 4x3 xc:'rgb(10,200,30)' " + kind + ":'" +
                           other + "'")
                              .c_str()),
              0);
    try {
      a.progress.importPng(0, 0x41, other);
      ADD_FAILURE() << kind << " was accepted";
    } catch (const Error& e) {
      EXPECT_STREQ(e.what(), "Colorformat has to be RGBALPHA");
    }
  }
  EXPECT_EQ(a.progress.indexImage().size(), indexSize);
  EXPECT_FALSE(a.progress.entryExists(0, 0x41));

  // Saved and loaded again, the imported entry keeps its picture.
  a.progress.save(a.idx, a.mul);
  TProgress again;
  again.load(a.idx, a.mul);
  EXPECT_EQ(again.entryImage(0, 0x40), picture);
}
