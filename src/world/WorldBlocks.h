#pragma once
// A chosen set of fixed-size records of a world stream (map blocks, statics index records), read
// once in as few large reads as the set allows and written back the same way. The region tools
// touch a rectangle of blocks: its blocks lie in runs, one run per block column, so a region of
// 64 x 64 blocks costs 64 reads instead of one read per cell.

#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

#include "app/Bytes.h"
#include "world/WorldStream.h"

namespace quillotide {

class WorldBlocks {
public:
  // Reads the records of `indices` (any order, repeats allowed) of `recordSize` bytes each.
  // Indices whose record does not lie whole inside the stream are left out (has() is false).
  WorldBlocks(const WorldStream& stream, std::size_t recordSize, std::vector<std::int64_t> indices);

  bool has(std::int64_t index) const { return runOf(index) != nullptr; }
  // The record's bytes; throws std::out_of_range for an index has() answers false for.
  std::uint8_t* at(std::int64_t index);
  const std::uint8_t* at(std::int64_t index) const;
  // The record's place among the records read (0 .. count() - 1), for tables kept beside them;
  // -1 when has() is false.
  std::int64_t ordinal(std::int64_t index) const;
  void markChanged(std::int64_t index);
  // The record's bytes with its run marked changed, and its place in `ordinal`; null (ordinal -1)
  // when has() is false. One lookup for what at(), ordinal() and markChanged() give.
  std::uint8_t* change(std::int64_t index, std::int64_t& ordinal);
  bool anyChanged() const;
  // Writes every run that holds a changed record back in place, one write per run.
  void writeChanged(WorldStream& stream) const;
  std::size_t count() const { return m_count; }
  // Calls f(index, bytes) for every record read, in index order.
  template <typename F>
  void forEachRead(F&& f) const {
    for (const Run& run : m_runs)
      for (std::int64_t i = 0; i < run.count; ++i)
        f(run.first + i, m_bytes.data() + run.offset + static_cast<std::size_t>(i) * m_recordSize);
  }
  // The same with the bytes to change; a run is written back only when marked changed.
  template <typename F>
  void forEachRead(F&& f) {
    for (const Run& run : m_runs)
      for (std::int64_t i = 0; i < run.count; ++i)
        f(run.first + i, m_bytes.data() + run.offset + static_cast<std::size_t>(i) * m_recordSize);
  }

private:
  struct Run {
    std::int64_t first = 0;
    std::int64_t count = 0;
    std::size_t offset = 0;  // into m_bytes
    bool changed = false;
  };
  // The run holding the index, or null. Lookups come in runs of neighbours (the cells of a column
  // of blocks), so the run of the last lookup is tried first.
  const Run* runOf(std::int64_t index) const;
  Run& runAt(std::int64_t index);
  std::size_t m_recordSize;
  Bytes m_bytes;
  std::vector<Run> m_runs;  // sorted by first index
  std::size_t m_count = 0;
  mutable std::size_t m_last = 0;
};

// The block indices of the cells minX..maxX, minY..maxY (inclusive, already inside the world) of a
// world `height` cells high, column by column.
std::vector<std::int64_t> regionBlocks(int minX, int maxX, int minY, int maxY, int height);

}  // namespace quillotide
