#include "world/WorldBlocks.h"

#include <algorithm>

namespace quillotide {

WorldBlocks::WorldBlocks(const WorldStream& stream, std::size_t recordSize,
                         std::vector<std::int64_t> indices)
    : m_recordSize(recordSize) {
  std::sort(indices.begin(), indices.end());
  indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
  const std::uint64_t whole = stream.size() / recordSize;
  std::size_t total = 0;
  for (std::size_t k = 0; k < indices.size();) {
    const std::int64_t first = indices[k];
    if (first < 0 || static_cast<std::uint64_t>(first) >= whole) {
      ++k;
      continue;
    }
    std::size_t end = k + 1;
    while (end < indices.size() && indices[end] == indices[end - 1] + 1 &&
           static_cast<std::uint64_t>(indices[end]) < whole)
      ++end;
    const auto n = static_cast<std::int64_t>(end - k);
    m_runs.push_back({first, n, total, false});
    total += static_cast<std::size_t>(n) * recordSize;
    k = end;
  }
  m_bytes.resize(total);
  for (std::size_t r = 0; r < m_runs.size(); ++r) {
    const Run& run = m_runs[r];
    stream.read(static_cast<std::uint64_t>(run.first) * recordSize, m_bytes.data() + run.offset,
                static_cast<std::size_t>(run.count) * recordSize);
    for (std::int64_t i = 0; i < run.count; ++i)
      m_where.emplace(run.first + i,
                      std::make_pair(r, run.offset + static_cast<std::size_t>(i) * recordSize));
  }
}

std::uint8_t* WorldBlocks::at(std::int64_t index) {
  return m_bytes.data() + m_where.at(index).second;
}

const std::uint8_t* WorldBlocks::at(std::int64_t index) const {
  return m_bytes.data() + m_where.at(index).second;
}

void WorldBlocks::markChanged(std::int64_t index) {
  m_runs[m_where.at(index).first].changed = true;
}

bool WorldBlocks::anyChanged() const {
  return std::any_of(m_runs.begin(), m_runs.end(), [](const Run& r) { return r.changed; });
}

void WorldBlocks::writeChanged(WorldStream& stream) const {
  for (const Run& run : m_runs)
    if (run.changed)
      stream.write(static_cast<std::uint64_t>(run.first) * m_recordSize,
                   std::span<const std::uint8_t>(m_bytes).subspan(
                       run.offset, static_cast<std::size_t>(run.count) * m_recordSize));
}

std::vector<std::int64_t> regionBlocks(int minX, int maxX, int minY, int maxY, int height) {
  std::vector<std::int64_t> out;
  if (minX > maxX || minY > maxY) return out;
  const int rows = height / 8;
  for (int bx = minX / 8; bx <= maxX / 8; ++bx)
    for (int by = minY / 8; by <= maxY / 8; ++by)
      out.push_back(static_cast<std::int64_t>(bx) * rows + by);
  return out;
}

}  // namespace quillotide
