#include "support/WorldFiles.h"

#include <map>

namespace quillotide::test {

Bytes makeMapBytes(int width, int height, const std::function<CellSpec(int x, int y)>& cell) {
  const int cols = width / 8;
  const int rows = height / 8;
  Bytes bytes(static_cast<std::size_t>(cols) * static_cast<std::size_t>(rows) * 196, 0);
  for (int bx = 0; bx < cols; ++bx)
    for (int by = 0; by < rows; ++by) {
      const std::size_t b = static_cast<std::size_t>(bx) * static_cast<std::size_t>(rows) +
                            static_cast<std::size_t>(by);
      std::uint8_t* block = bytes.data() + b * 196;
      storeU32(block, static_cast<std::uint32_t>(b));
      for (int c = 0; c < 64; ++c) {
        const CellSpec s = cell(bx * 8 + c % 8, by * 8 + c / 8);
        storeU16(block + 4 + 3 * c, s.id);
        block[4 + 3 * c + 2] = static_cast<std::uint8_t>(s.z);
      }
    }
  return bytes;
}

StaticsFiles makeStaticsFiles(int width, int height, const std::vector<PlacedStatic>& statics) {
  const int rows = height / 8;
  const std::size_t blocks = static_cast<std::size_t>(width / 8) * static_cast<std::size_t>(rows);
  std::map<std::size_t, std::vector<PlacedStatic>> byBlock;
  for (const PlacedStatic& s : statics)
    byBlock[static_cast<std::size_t>(s.x / 8) * static_cast<std::size_t>(rows) +
            static_cast<std::size_t>(s.y / 8)]
        .push_back(s);
  StaticsFiles files;
  ByteWriter index(blocks * 12);
  ByteWriter data;
  for (std::size_t b = 0; b < blocks; ++b) {
    const auto it = byBlock.find(b);
    if (it == byBlock.end()) {
      index.i32(-1);
      index.i32(-1);
      index.i32(-1);
      continue;
    }
    index.i32(static_cast<std::int32_t>(data.size()));
    index.i32(static_cast<std::int32_t>(it->second.size() * 7));
    index.i32(0);
    for (const PlacedStatic& s : it->second) {
      data.u16(s.id);
      data.u8(static_cast<std::uint8_t>(s.x % 8));
      data.u8(static_cast<std::uint8_t>(s.y % 8));
      data.i8(s.z);
      data.u16(s.hue);
    }
  }
  files.index = index.take();
  files.data = data.take();
  return files;
}

}  // namespace quillotide::test
