#pragma once
// A chosen set of fixed-size records of a world stream (map blocks, statics index records), read
// once in as few large reads as the set allows and written back the same way. The region tools
// touch a rectangle of blocks: its blocks lie in runs, one run per block column, so a region of
// 64 x 64 blocks costs 64 reads instead of one read per cell.

#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "app/Bytes.h"
#include "world/WorldStream.h"

namespace quillotide {

class WorldBlocks {
public:
  // Reads the records of `indices` (any order, repeats allowed) of `recordSize` bytes each.
  // Indices whose record does not lie whole inside the stream are left out (has() is false).
  WorldBlocks(const WorldStream& stream, std::size_t recordSize, std::vector<std::int64_t> indices);

  bool has(std::int64_t index) const { return m_where.contains(index); }
  // The record's bytes; the index must be one that has() answers true for.
  std::uint8_t* at(std::int64_t index);
  const std::uint8_t* at(std::int64_t index) const;
  void markChanged(std::int64_t index);
  bool anyChanged() const;
  // Writes every run that holds a changed record back in place, one write per run.
  void writeChanged(WorldStream& stream) const;
  std::size_t count() const { return m_where.size(); }

private:
  struct Run {
    std::int64_t first = 0;
    std::int64_t count = 0;
    std::size_t offset = 0;  // into m_bytes
    bool changed = false;
  };
  std::size_t m_recordSize;
  Bytes m_bytes;
  std::vector<Run> m_runs;
  std::unordered_map<std::int64_t, std::pair<std::size_t, std::size_t>> m_where;  // run, offset
};

// The block indices of the cells minX..maxX, minY..maxY (inclusive, already inside the world) of a
// world `height` cells high, column by column.
std::vector<std::int64_t> regionBlocks(int minX, int maxX, int minY, int maxY, int height);

}  // namespace quillotide
