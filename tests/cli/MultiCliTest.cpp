#include <gtest/gtest.h>

#include "app/Uop.h"
#include "cli/CliRun.h"
#include "models/Multi.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::runCliWords;
using quillotide::test::TempDir;

TEST(MultiCli, ExportsAndImportsEachFormatIntoAnotherSlot) {
  TempDir dir;
  const std::string idx = dir.file("multi.idx");
  const std::string mul = dir.file("multi.mul");
  test::writeBytes(idx, {});
  test::writeBytes(mul, {});
  const std::vector<MultiComponent> tent = {{0x10, -1, 0, 0, 1}, {0x11, 1, 0, 3, 1}};
  {
    TMulti m;
    m.load(idx, mul);
    m.writeComponents(0, tent);
    m.save(idx, mul);
  }
  std::int64_t slot = 1;
  for (const std::string format : {"sphere51a", "wsc", "text", "uoa"}) {
    const std::string file = dir.file("tent." + format);
    auto r = runCliWords({"multi", "export", idx, mul, format, "0", file});
    ASSERT_EQ(r.code, 0) << r.err;
    r = runCliWords({"multi", "import", idx, mul, format, std::to_string(slot), file});
    ASSERT_EQ(r.code, 0) << r.err;
    ++slot;
  }
  TMulti m;
  m.load(idx, mul);
  for (std::int64_t s = 1; s < slot; ++s) EXPECT_EQ(m.components(s), tent) << s;
  auto r = runCliWords({"multi", "list", idx, mul, "--json"});
  EXPECT_NE(r.out.find("\"components\":2"), std::string::npos) << r.out;
  EXPECT_EQ(runCliWords({"multi", "export", idx, mul, "xml", "0", dir.file("x")}).code, 2);
  EXPECT_EQ(runCliWords({"multi", "export", idx, mul, "text", "9", dir.file("x")}).code, 1);
}

TEST(MultiCli, ImportOfARealSaveKeepsPlacesAndRefusesWhatDoesNotFit) {
  TempDir dir;
  const std::string idx = dir.file("multi.idx");
  const std::string mul = dir.file("multi.mul");
  test::writeBytes(idx, {});
  test::writeBytes(mul, {});
  // Indented keys and the MORE lines of a server's save; the second item at height 0 as Sphere
  // writes it.
  test::writeText(dir.file("house.wsc"),
                  "SECTION WORLDITEM 0\r\n{\r\n\tID 100\r\n\tX 5399\r\n\tY 1100\r\n\tZ 0\r\n"
                  "\tMOREX 7\r\n\tMOREY 7\r\n\tMOREZ 7\r\n}\r\nSECTION WORLDITEM 1\r\n{\r\n"
                  "\tID 101\r\n\tX 5401\r\n\tY 1100\r\n\tZ 5\r\n}\r\n");
  test::writeText(dir.file("house.scp"),
                  "[WORLDITEM 064]\r\nP=5399,1100\r\nMOREP=7,7,7\r\n[WORLDITEM 065]\r\n"
                  "P=5401,1100,5\r\n");
  auto r = runCliWords({"multi", "import", idx, mul, "wsc", "1", dir.file("house.wsc")});
  ASSERT_EQ(r.code, 0) << r.err;
  r = runCliWords({"multi", "import", idx, mul, "sphere51a", "2", dir.file("house.scp")});
  ASSERT_EQ(r.code, 0) << r.err;
  TMulti m;
  m.load(idx, mul);
  EXPECT_EQ(m.components(1), (std::vector<MultiComponent>{{100, -1, 0, 0, 1}, {101, 1, 0, 5, 1}}));
  EXPECT_EQ(m.components(2), (std::vector<MultiComponent>{{100, -1, 0, 0, 1}, {101, 1, 0, 5, 1}}));

  const Bytes before = test::readBytes(mul);
  test::writeText(dir.file("big.txt"), "0x64 0 0 0 0x0 1\r\n0x1F064 1 0 0 0x0 1\r\n");
  r = runCliWords({"multi", "import", idx, mul, "text", "3", dir.file("big.txt")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("Line 2: the id 127076 does not fit (0 to 65535)."), std::string::npos)
      << r.err;
  EXPECT_EQ(test::readBytes(mul), before);
}

namespace {

// A multi pair of 16-byte components as current clients have it: slot 0 of 38 components (608
// bytes, no multiple of 12), two of them with a further value of 1; slot 1 empty; slot 2 of 4.
struct SixteenBytePair {
  TempDir dir;
  std::string idx = dir.file("multi.idx");
  std::string mul = dir.file("multi.mul");
  SixteenBytePair() {
    ByteWriter data;
    const auto component = [&](int id, int x, int y, std::uint32_t flags, std::uint32_t further) {
      data.u16(static_cast<std::uint16_t>(id));
      data.i16(static_cast<std::int16_t>(x));
      data.i16(static_cast<std::int16_t>(y));
      data.i16(0);
      data.u32(flags);
      data.u32(further);
    };
    component(16093, 0, 0, 1, 0);
    component(15950, 1, 4, 1, 0);
    for (int i = 2; i < 38; ++i)
      component(16000 + i, i % 5 - 2, i % 3 - 1, i % 8 ? 1 : 0, i % 17 == 0);
    for (int i = 0; i < 4; ++i) component(0x3E00 + i, i - 2, 0, 1, 0);
    test::writeBytes(idx, test::indexBytes({{0, 608, -1}, {-1, -1, -1}, {608, 64, -1}}));
    test::writeBytes(mul, data.take());
  }
};

}  // namespace

TEST(MultiCli, ASixteenBytePairShowsItsLayoutAndComponentsAndConvertsOnlyWhenAsked) {
  SixteenBytePair f;
  auto r = runCliWords({"multi", "info", f.idx, f.mul, "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"componentSize\":16,\"basis\":\"lengths\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"furtherValues\":2"), std::string::npos) << r.out;
  r = runCliWords({"multi", "list", f.idx, f.mul, "--full"});
  EXPECT_EQ(r.out, "0x0 38 components\n0x2 4 components\n");
  r = runCliWords({"multi", "components", f.idx, f.mul, "0"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, r.out.find('\n', r.out.find('\n') + 1) + 1),
            "0x3EDD 0 0 0 flags 0x1 further 0x0\n0x3E4E 1 4 0 flags 0x1 further 0x0\n");
  EXPECT_NE(r.out.find("further 0x1"), std::string::npos);

  // Saved as it is, the pair comes out byte for byte.
  const Bytes index = test::readBytes(f.idx), data = test::readBytes(f.mul);
  r = runCliWords({"multi", "save", f.idx, f.mul, f.dir.file("a.idx"), f.dir.file("a.mul")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("as 16-byte components"), std::string::npos) << r.out;
  EXPECT_EQ(test::readBytes(f.dir.file("a.idx")), index);
  EXPECT_EQ(test::readBytes(f.dir.file("a.mul")), data);

  // To 12 bytes the further values would go: refused unless asked for.
  r = runCliWords({"multi", "convert", f.idx, f.mul, "12"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("2 components hold a further value"), std::string::npos) << r.err;
  EXPECT_EQ(test::readBytes(f.mul), data);
  r = runCliWords({"multi", "convert", "--drop-further", "--out-index", f.dir.file("b.idx"),
                   "--out-data", f.dir.file("b.mul"), f.idx, f.mul, "12", "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"furtherDropped\":2"), std::string::npos) << r.out;
  r = runCliWords({"multi", "info", f.dir.file("b.idx"), f.dir.file("b.mul"), "--json"});
  EXPECT_NE(r.out.find("\"componentSize\":12"), std::string::npos) << r.out;
  EXPECT_EQ(runCliWords({"multi", "convert", f.idx, f.mul, "14"}).code, 2);

  // Into a container and back, the pair is the same bytes: flags mapped there and back.
  r = runCliWords({"uop", "pack", "multi", f.idx, f.mul, f.dir.file("MultiCollection.uop")});
  ASSERT_EQ(r.code, 0) << r.err;
  r = runCliWords({"multi", "components", f.dir.file("MultiCollection.uop"), "0", "--json"});
  EXPECT_EQ(r.out.find("\"further\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("{\"id\":16093,\"x\":0,\"y\":0,\"z\":0,\"flags\":0,"), std::string::npos)
      << r.out;
  r = runCliWords({"uop", "unpack", f.dir.file("MultiCollection.uop"), f.dir.file("c.idx"),
                   f.dir.file("c.mul"), "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"componentSize\":16"), std::string::npos) << r.out;
  EXPECT_EQ(test::readBytes(f.dir.file("c.idx")), index);
  EXPECT_EQ(test::readBytes(f.dir.file("c.mul")), data);
}

// A current container holds multis beyond 0x1FF0; a damaged entry leaves only its own slot
// unreadable, named in the list and said once.
TEST(MultiCli, AContainerShowsEveryIdItHoldsAndNamesAnUnreadableEntry) {
  TempDir dir;
  const std::string uop = dir.file("MultiCollection.uop");
  UopContainer made = UopContainer::create();
  made.setPayload(uopHash(uopEntryName(UopFamily::Multi, 0x212A)),
                  encodeUopMulti(0x212A, {{0x10, 0, 0, 0, 0}}), true);
  Bytes damaged = encodeUopMulti(5, {{0x11, 0, 0, 0, 0}});
  damaged.push_back(7);
  made.setPayload(uopHash(uopEntryName(UopFamily::Multi, 5)), damaged, true);
  made.save(uop);
  auto r = runCliWords({"multi", "list", uop, "--full"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.find("0x5 unreadable: "), 0u) << r.out;
  EXPECT_NE(r.out.find("\n0x212A 1 components\n"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("Multi 0x5 cannot be read"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("cannot be read"), r.err.rfind("cannot be read")) << r.err;
  r = runCliWords({"multi", "components", uop, "0x212A"});
  EXPECT_EQ(r.out, "0x10 0 0 0 flags 0x0\n");
  r = runCliWords({"multi", "components", uop, "5"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("Multi 0x5 cannot be read"), std::string::npos) << r.err;
  r = runCliWords({"multi", "info", uop, "--json"});
  EXPECT_NE(r.out.find("\"basis\":\"container\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"unreadable\":[{\"slot\":5,"), std::string::npos) << r.out;
}

TEST(MultiCli, ImportIntoAContainerSlotKeepsOrCountsItsClilocLists) {
  TempDir dir;
  const std::string uop = dir.file("MultiCollection.uop");
  UopContainer made = UopContainer::create();
  made.setPayload(uopHash(uopEntryName(UopFamily::Multi, 2)),
                  encodeUopMulti(2, {{0x6A5, -1, 0, 0, 1, {1041205}}, {0x6A6, 1, 0, 0, 0}}), true);
  made.save(uop);
  auto r = runCliWords({"multi", "export", uop, "text", "2", dir.file("door.txt")});
  ASSERT_EQ(r.code, 0) << r.err;
  r = runCliWords({"multi", "import", uop, "text", "2", dir.file("door.txt"), "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"droppedClilocLists\":0"), std::string::npos) << r.out;
  r = runCliWords({"multi", "components", uop, "2"});
  EXPECT_NE(r.out.find("clilocs 1041205"), std::string::npos) << r.out;

  test::writeText(dir.file("other.txt"), "0x6A5 -2 0 0 0x0 0\r\n0x6A6 2 0 0 0x0 1\r\n");
  r = runCliWords({"multi", "import", uop, "text", "2", dir.file("other.txt")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("1 cliloc lists of Multi 0x2 were dropped"), std::string::npos) << r.out;
  r = runCliWords({"multi", "components", uop, "2"});
  EXPECT_EQ(r.out.find("clilocs"), std::string::npos) << r.out;
}
