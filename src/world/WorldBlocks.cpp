#include "world/WorldBlocks.h"

#include <algorithm>

namespace quillotide {

WorldBlocks::WorldBlocks(const WorldStream& stream, std::size_t recordSize,
                         std::vector<std::int64_t> indices)
    : m_recordSize(recordSize) {
  // The region tools list their blocks in order already.
  if (!std::is_sorted(indices.begin(), indices.end())) std::sort(indices.begin(), indices.end());
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
  m_count = total / recordSize;
  for (const Run& run : m_runs)
    stream.read(static_cast<std::uint64_t>(run.first) * recordSize, m_bytes.data() + run.offset,
                static_cast<std::size_t>(run.count) * recordSize);
}

const WorldBlocks::Run* WorldBlocks::runOf(std::int64_t index) const {
  if (m_runs.empty()) return nullptr;
  const auto inside = [index](const Run& r) {
    return index >= r.first && index < r.first + r.count;
  };
  if (m_last < m_runs.size() && inside(m_runs[m_last])) return &m_runs[m_last];
  auto it = std::upper_bound(m_runs.begin(), m_runs.end(), index,
                             [](std::int64_t v, const Run& r) { return v < r.first; });
  if (it == m_runs.begin()) return nullptr;
  --it;
  if (!inside(*it)) return nullptr;
  m_last = static_cast<std::size_t>(it - m_runs.begin());
  return &*it;
}

WorldBlocks::Run& WorldBlocks::runAt(std::int64_t index) {
  const Run* run = runOf(index);
  if (!run) throw std::out_of_range("world block " + std::to_string(index) + " was not read");
  return const_cast<Run&>(*run);
}

std::uint8_t* WorldBlocks::at(std::int64_t index) {
  const Run& run = runAt(index);
  return m_bytes.data() + run.offset + static_cast<std::size_t>(index - run.first) * m_recordSize;
}

const std::uint8_t* WorldBlocks::at(std::int64_t index) const {
  return const_cast<WorldBlocks*>(this)->at(index);
}

std::int64_t WorldBlocks::ordinal(std::int64_t index) const {
  const Run* run = runOf(index);
  if (!run) return -1;
  return static_cast<std::int64_t>(run->offset / m_recordSize) + (index - run->first);
}

void WorldBlocks::markChanged(std::int64_t index) { runAt(index).changed = true; }

std::uint8_t* WorldBlocks::change(std::int64_t index, std::int64_t& ordinal) {
  Run* run = const_cast<Run*>(runOf(index));
  if (!run) {
    ordinal = -1;
    return nullptr;
  }
  run->changed = true;
  const auto i = static_cast<std::size_t>(index - run->first);
  ordinal = static_cast<std::int64_t>(run->offset / m_recordSize + i);
  return m_bytes.data() + run->offset + i * m_recordSize;
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
