#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "app/FileIO.h"
#include "support/TestFiles.h"
#include "world/Statics.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

using Record = std::tuple<int, int, int, int, int>;  // id, x, y, z, hue

void put(ByteWriter& w, const Record& r) {
  w.u16(static_cast<std::uint16_t>(std::get<0>(r)));
  w.u8(static_cast<std::uint8_t>(std::get<1>(r)));
  w.u8(static_cast<std::uint8_t>(std::get<2>(r)));
  w.i8(static_cast<std::int8_t>(std::get<3>(r)));
  w.u16(static_cast<std::uint16_t>(std::get<4>(r)));
}

// The statics files a duplicate removal must give: per block in index order, the records kept at
// their first appearance, stored in reverse order of it; blocks without data keep their record.
std::pair<Bytes, Bytes> withoutDuplicates(const std::vector<IndexRecord>& index,
                                          const Bytes& data) {
  ByteWriter outIndex;
  ByteWriter outData;
  for (const IndexRecord& r : index) {
    if (r.lookup == -1 || r.length == -1) {
      outIndex.i32(r.lookup);
      outIndex.i32(r.length);
      outIndex.i32(r.extra);
      continue;
    }
    std::set<Bytes> seen;
    std::vector<Bytes> kept;
    for (std::int32_t at = r.lookup; at + 7 <= r.lookup + r.length; at += 7) {
      Bytes record(data.begin() + at, data.begin() + at + 7);
      if (seen.insert(record).second) kept.push_back(record);
    }
    outIndex.i32(static_cast<std::int32_t>(outData.size()));
    outIndex.i32(static_cast<std::int32_t>(kept.size() * 7));
    outIndex.i32(r.extra);
    for (auto it = kept.rbegin(); it != kept.rend(); ++it) outData.bytes(*it);
  }
  return {outIndex.take(), outData.take()};
}

}  // namespace

// Blocks of every size: a large one with many repeats, one that repeats records of the block
// before it (kept: duplicates count within a block), one that shares the large block's records
// in the file (its records are written again), one without data, and thousands of small ones.
TEST(StaticsDuplicates, EachBlockKeepsTheFirstOfEqualRecordsInReverseOrder) {
  TempDir dir;
  constexpr int kWidth = 8 * 40;
  constexpr int kHeight = 8 * 100;
  ByteWriter data;
  std::vector<IndexRecord> index;
  std::int64_t total = 0, kept = 0;
  const auto addBlock = [&](const std::vector<Record>& records) {
    index.push_back({static_cast<std::int32_t>(data.size()),
                     static_cast<std::int32_t>(records.size() * 7), 0x55});
    for (const Record& r : records) put(data, r);
    total += static_cast<std::int64_t>(records.size());
    kept += static_cast<std::int64_t>(std::set<Record>(records.begin(), records.end()).size());
  };
  std::vector<Record> large;
  for (int k = 0; k < 700; ++k) large.push_back({0x100 + k % 230, k % 8, (k / 8) % 8, k % 3, 0});
  addBlock(large);
  addBlock({{0x100, 0, 0, 0, 0}, {0x101, 1, 1, 1, 0}, {0x101, 1, 1, 1, 0}, {0x101, 1, 1, 1, 1}});
  index.push_back(index.front());
  total += 700;
  kept += static_cast<std::int64_t>(std::set<Record>(large.begin(), large.end()).size());
  index.push_back({-1, -1, 0x77});
  for (int b = 4; b < (kWidth / 8) * (kHeight / 8); ++b) {
    std::vector<Record> block;
    for (int k = 0; k < b % 9; ++k) block.push_back({b % 50, k % 2, 0, 0, b % 3});
    addBlock(block);
  }
  const std::string idx = dir.file("staidx0.mul"), mul = dir.file("statics0.mul");
  test::writeBytes(idx, test::indexBytes(index));
  test::writeBytes(mul, data.data());
  const auto [expectedIndex, expectedData] = withoutDuplicates(index, data.data());

  Progress silent;
  TStatics statics;
  statics.open(idx, mul, kWidth, kHeight, StorageMode::Memory);
  EXPECT_EQ(statics.removeDuplicates(silent),
            std::to_string(total - kept) + " of " + std::to_string(total) +
                " static items deleted, " + std::to_string(kept) + " left.");
  statics.save(dir.file("i.mul"), dir.file("d.mul"), StaticsSaveMode::StaticsOnly, nullptr, silent);
  EXPECT_EQ(test::readBytes(dir.file("i.mul")), expectedIndex);
  EXPECT_EQ(test::readBytes(dir.file("d.mul")), expectedData);
}
