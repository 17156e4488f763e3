#pragma once
// The bodies the diff fuzz targets share: a static diff loaded into the diff store of a small
// world and walked, edited and saved; a map diff or static diff applied to a small world's files.
// Damage must be skipped and reported, never read outside the bytes or written past a file.

#include <cstdint>
#include <span>
#include <string>

#include "FuzzFiles.h"
#include "app/Bytes.h"
#include "app/Error.h"
#include "world/DiffFiles.h"
#include "world/StaticDiff.h"

namespace quillotide::fuzz {

// A world of 16 x 24 cells: six blocks.
constexpr int kDiffWidth = 16;
constexpr int kDiffHeight = 24;

inline void loadIntoStore(std::span<const std::uint8_t> list, std::span<const std::uint8_t> index,
                          std::span<const std::uint8_t> data) {
  writeFile("Stadifl0.mul", list);
  writeFile("Stadifi0.mul", index);
  writeFile("Stadif0.mul", data);
  TStaticDiff diff;
  diff.setWorldSize(kDiffWidth, kDiffHeight);
  diff.loadDiffs(folder());
  std::vector<TItem> items;
  diff.appendItemsInRect(-1, kDiffWidth + 1, -1, kDiffHeight + 1, items);
  (void)diff.blockPicture();
  for (const TItem& item : items) {
    diff.setHue(item.serial, 1);
    try {
      diff.move(item.serial, 1, 1, 1);
    } catch (const Error&) {
    }
  }
  if (!items.empty()) diff.remove(items.back().serial);
  (void)diff.addItem(2, kDiffWidth - 1, kDiffHeight - 1, 0, 0);
  (void)diff.saveDiffs(folder(), StaticsSaveMode::StaticsOnly, nullptr);
  diff.loadDiffs(folder());
  items.clear();
  diff.appendItemsInRect(0, kDiffWidth, 0, kDiffHeight, items);
  (void)diff.takeProblems();
}

// A map and a statics pair of the small world, written fresh for every input.
inline void writeSmallWorld() {
  const std::size_t blocks = (kDiffWidth / 8) * (kDiffHeight / 8);
  writeFile("map0.mul", Bytes(blocks * MapDiffLayout::kBlockSize, 3));
  ByteWriter index;
  ByteWriter data;
  for (std::size_t b = 0; b < blocks; ++b) {
    index.i32(static_cast<std::int32_t>(data.size()));
    index.i32(7);
    index.i32(0);
    data.u16(static_cast<std::uint16_t>(b));
    data.u8(1);
    data.u8(2);
    data.i8(0);
    data.u16(0);
  }
  writeFile("staidx0.mul", index.data());
  writeFile("statics0.mul", data.data());
}

// Splits the input into `n` parts at lengths read from its first bytes (one byte each, times 4).
inline std::vector<std::span<const std::uint8_t>> parts(const std::uint8_t* bytes, std::size_t size,
                                                        std::size_t n) {
  std::vector<std::span<const std::uint8_t>> out;
  if (size < n) return out;
  std::span<const std::uint8_t> rest(bytes + n, size - n);
  for (std::size_t i = 0; i + 1 < n; ++i) {
    const std::size_t len = std::min<std::size_t>(rest.size(), std::size_t{bytes[i]} * 4);
    out.push_back(rest.first(len));
    rest = rest.subspan(len);
  }
  out.push_back(rest);
  return out;
}

}  // namespace quillotide::fuzz
