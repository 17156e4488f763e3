// multi.mul holds 12-byte components in older clients' files and 16-byte ones in newer files; the
// model tells which from the file, keeps it on save and converts only when asked.
#include <gtest/gtest.h>

#include "app/Error.h"
#include "app/FileIO.h"
#include "models/Multi.h"
#include "support/TestFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

Bytes componentBytes(const std::vector<MultiComponent>& cs, MultiLayout layout) {
  ByteWriter w;
  for (const auto& c : cs) {
    w.u16(c.id);
    w.i16(c.x);
    w.i16(c.y);
    w.i16(c.z);
    w.u32(c.flags);
    if (layout == MultiLayout::Newer16) w.u32(c.further);
  }
  return w.take();
}

// Slot 0 as in the 16-byte files of current clients: 38 components (608 bytes, no multiple of 12),
// the first (16093, 0, 0, 0), the second (15950, 1, 4, 0); flags mostly 1, a few further values 1.
std::vector<MultiComponent> clientSlot0() {
  std::vector<MultiComponent> cs = {{16093, 0, 0, 0, 1}, {15950, 1, 4, 0, 1}};
  for (int i = 2; i < 38; ++i)
    cs.emplace_back(static_cast<std::uint16_t>(16000 + i), static_cast<std::int16_t>(i % 7 - 3),
                    static_cast<std::int16_t>(-(i % 5)),
                    static_cast<std::int16_t>(i % 4 == 0 ? 7 : 0), i % 9 == 0 ? 0u : 1u,
                    i % 13 == 0 ? 1u : 0u, std::vector<std::uint32_t>{});
  return cs;
}

// A multi of `count` components of real ids that every reading might take for either size.
std::vector<MultiComponent> plainMulti(int count, std::uint16_t firstId) {
  std::vector<MultiComponent> cs;
  for (int i = 0; i < count; ++i)
    cs.emplace_back(static_cast<std::uint16_t>(firstId + i), static_cast<std::int16_t>(i % 3 - 1),
                    static_cast<std::int16_t>(i / 3 - 1), static_cast<std::int16_t>(i % 2 ? 5 : 0),
                    1u);
  return cs;
}

struct PairFiles {
  TempDir dir;
  std::string idx = dir.file("multi.idx");
  std::string mul = dir.file("multi.mul");
  Bytes index, data;
  // The slots laid out back to back (an empty vector is an empty record).
  PairFiles(const std::vector<std::vector<MultiComponent>>& slots, MultiLayout layout,
            const Bytes& tail = {}) {
    std::vector<IndexRecord> records;
    for (const auto& slot : slots) {
      if (slot.empty()) {
        records.push_back({-1, -1, -1});
        continue;
      }
      Bytes bytes = componentBytes(slot, layout);
      if (&slot == &slots.back()) bytes.insert(bytes.end(), tail.begin(), tail.end());
      records.push_back(
          {static_cast<std::int32_t>(data.size()), static_cast<std::int32_t>(bytes.size()), 0});
      data.insert(data.end(), bytes.begin(), bytes.end());
    }
    index = test::indexBytes(records);
    test::writeBytes(idx, index);
    test::writeBytes(mul, data);
  }
};

}  // namespace

TEST(MultiLayout, ASixteenByteFileShowsItsComponentsAndSavesByteForByte) {
  const auto slot0 = clientSlot0();
  PairFiles f({slot0, {}, plainMulti(5, 0x3E00)}, MultiLayout::Newer16);
  ASSERT_EQ(f.data.size(), 608u + 80u);
  TMulti m;
  EXPECT_FALSE(m.load(f.idx, f.mul));
  EXPECT_EQ(m.layout(), MultiLayout::Newer16);
  EXPECT_EQ(m.layoutBasis(), MultiLayoutBasis::Lengths);
  const auto parts = m.components(0);
  ASSERT_EQ(parts.size(), 38u);
  EXPECT_EQ(parts[0], (MultiComponent{16093, 0, 0, 0, 1}));
  EXPECT_EQ(parts[1], (MultiComponent{15950, 1, 4, 0, 1}));
  EXPECT_EQ(parts, slot0);
  EXPECT_EQ(m.trailingBytes(0), 0);

  m.save(f.dir.file("same.idx"), f.dir.file("same.mul"));
  EXPECT_EQ(test::readBytes(f.dir.file("same.idx")), f.index);
  EXPECT_EQ(test::readBytes(f.dir.file("same.mul")), f.data);

  // A changed slot is written in the file's layout, its further values with it.
  auto changed = parts;
  changed.resize(3);
  changed[2].further = 1;
  m.writeComponents(1, changed);
  m.save(f.idx, f.mul);
  const Bytes after = test::readBytes(f.mul);
  ASSERT_EQ(after.size(), f.data.size() + 48);
  EXPECT_EQ(Bytes(after.begin(), after.begin() + 688), f.data);
  TMulti again;
  again.load(f.idx, f.mul);
  EXPECT_EQ(again.components(1), changed);
}

TEST(MultiLayout, ATwelveByteFileStaysTwelveBytes) {
  // 5 and 7 components: 60 and 84 bytes, no multiple of 16.
  PairFiles f({plainMulti(5, 0x100), plainMulti(7, 0x200)}, MultiLayout::Older12);
  TMulti m;
  EXPECT_FALSE(m.load(f.idx, f.mul));
  EXPECT_EQ(m.layout(), MultiLayout::Older12);
  EXPECT_EQ(m.components(1), plainMulti(7, 0x200));
  m.writeComponents(2, plainMulti(4, 0x300));
  EXPECT_EQ(m.record(2)->length, 48);
  // A further value has no place in 12-byte components: refused, naming the slot and component.
  auto with = plainMulti(2, 0x300);
  with[1].further = 1;
  try {
    m.writeComponents(3, with);
    ADD_FAILURE() << "written";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("Multi 0x3: Component 2 has the further value 1"),
              std::string::npos)
        << e.what();
  }
  EXPECT_FALSE(m.slotExists(3));
}

// Where every slot's length is a multiple of 48, both sizes fit: the reading whose flags stay small
// is taken, and the load says so.
TEST(MultiLayout, AFileThatFitsBothSizesIsReadAsItsPlausibleComponentsAndSaysSo) {
  for (const MultiLayout layout : {MultiLayout::Newer16, MultiLayout::Older12}) {
    const int per48 = layout == MultiLayout::Newer16 ? 3 : 4;
    auto first = plainMulti(per48, 0x3E85);
    first[1].flags = 0;
    PairFiles f({first, {}, plainMulti(2 * per48, 0x0700)}, layout);
    TMulti m;
    const auto said = m.load(f.idx, f.mul);
    EXPECT_EQ(m.layout(), layout);
    EXPECT_EQ(m.layoutBasis(), MultiLayoutBasis::Plausibility);
    ASSERT_TRUE(said);
    EXPECT_NE(said->find("Every slot of multi.mul fits both 12- and 16-byte components; it is read "
                         "as " +
                         std::to_string(componentSize(layout)) + "-byte components"),
              std::string::npos)
        << *said;
    EXPECT_EQ(m.components(0), first);
    EXPECT_EQ(m.components(2), plainMulti(2 * per48, 0x0700));
    EXPECT_NE(m.layoutText().find("every slot fits both sizes"), std::string::npos);
  }
}

// A slot whose length is no whole number of components: the whole ones are read, the bytes over
// are named once and kept byte for byte.
TEST(MultiLayout, BytesOverAWholeComponentAreSaidAndKept) {
  PairFiles f({clientSlot0(), plainMulti(4, 0x10)}, MultiLayout::Newer16, Bytes{1, 2, 3, 4, 5});
  TMulti m;
  const auto said = m.load(f.idx, f.mul);
  EXPECT_EQ(m.layout(), MultiLayout::Newer16);
  ASSERT_TRUE(said);
  EXPECT_NE(said->find("1 slots of multi.mul do not end on a whole 16-byte component (first: Multi "
                       "0x1, 5 bytes over)"),
            std::string::npos)
      << *said;
  EXPECT_EQ(m.trailingBytes(1), 5);
  EXPECT_EQ(m.components(1), plainMulti(4, 0x10));
  m.save(f.dir.file("same.idx"), f.dir.file("same.mul"));
  EXPECT_EQ(test::readBytes(f.dir.file("same.mul")), f.data);
}

TEST(MultiLayout, ConvertsOnlyWhenAskedAndNeverDropsAFurtherValueUnasked) {
  auto slot0 = clientSlot0();
  PairFiles f({slot0, plainMulti(3, 0x40)}, MultiLayout::Newer16, Bytes{9, 9});
  TMulti m;
  m.load(f.idx, f.mul);
  const std::int64_t further = m.furtherValueCount();
  ASSERT_EQ(further, 2);
  try {
    m.convertLayout(MultiLayout::Older12);
    ADD_FAILURE() << "converted";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("2 components hold a further value"), std::string::npos)
        << e.what();
  }
  EXPECT_EQ(m.layout(), MultiLayout::Newer16);
  EXPECT_EQ(m.files().dataSize(), f.data.size());

  const MultiConversion to12 = m.convertLayout(MultiLayout::Older12, true);
  EXPECT_EQ(to12.rewritten, 2);
  EXPECT_EQ(to12.furtherDropped, 2);
  EXPECT_EQ(to12.trailingBytes, 2);
  EXPECT_EQ(m.layoutBasis(), MultiLayoutBasis::Converted);
  for (auto& c : slot0) c.further = 0;
  EXPECT_EQ(m.components(0), slot0);
  m.save(f.idx, f.mul);
  TMulti twelve;
  twelve.load(f.idx, f.mul);
  EXPECT_EQ(twelve.layout(), MultiLayout::Older12);
  EXPECT_EQ(twelve.record(0)->length, 38 * 12);
  EXPECT_EQ(twelve.components(0), slot0);

  const MultiConversion to16 = twelve.convertLayout(MultiLayout::Newer16);
  EXPECT_EQ(to16.rewritten, 2);
  EXPECT_EQ(twelve.record(1)->length, 3 * 16);
  EXPECT_EQ(twelve.components(1), plainMulti(3, 0x40));
  EXPECT_EQ(twelve.convertLayout(MultiLayout::Newer16).rewritten, 0);
}

// Files that do not tell: no slot at all gets the newer layout; a hostile index never reads
// outside the data while the layout is told.
TEST(MultiLayout, EmptyAndDamagedFilesStillLoad) {
  TMulti empty;
  EXPECT_FALSE(empty.loadBytes(test::indexBytes({{-1, -1, -1}}), {}));
  EXPECT_EQ(empty.layout(), MultiLayout::Newer16);
  EXPECT_EQ(empty.layoutBasis(), MultiLayoutBasis::NoComponents);

  TMulti damaged;
  damaged.loadBytes(test::indexBytes({{0, 48, 0}, {0x7FFFFFF0, 0x7FFFFFF0, 0}, {-5, 16, 0}}),
                    Bytes(48, 0));
  EXPECT_EQ(damaged.components(0).size(), damaged.layout() == MultiLayout::Newer16 ? 3u : 4u);
  EXPECT_THROW(damaged.components(1), FormatError);
}
