#include "models/Radarcol.h"

#include <algorithm>

#include "app/FileIO.h"
#include "app/IndexedFile.h"
#include "app/Text.h"

namespace quillotide {

namespace RadarcolLayout {
constexpr std::size_t kEntrySize = 2;
}

void TRadarcol::load(const std::string& path) {
  m_bytes = readFile(path);
  m_loaded = true;
}

void TRadarcol::save(const std::string& path) const {
  if (!m_loaded) throw Error(notLoadedMessage("Radarcol"));
  writeFileAtomic(path, m_bytes);
}

Colour16 TRadarcol::radarColour(std::int64_t r) const {
  if (!m_loaded || r < 0 || r >= entryCount()) return 0;
  return loadU16(m_bytes.data() + static_cast<std::size_t>(r) * RadarcolLayout::kEntrySize);
}

void TRadarcol::setRadarColour(std::int64_t r, Colour16 colour) {
  if (!m_loaded) throw Error("Radarcol not Loaded.");
  // A typing slip must not grow the table by gigabytes: past the last static only existing
  // entries of a larger file may be written.
  if (r < 0 || r >= std::max(entryCount(), kRadarMaxEntries))
    throw Error(formatMessage(
        "Radar colour entry %s lies beyond the last static (%s).",
        {std::to_string(r), hexLabel(static_cast<std::uint32_t>(kRadarMaxEntries - 1))}));
  const std::size_t at = static_cast<std::size_t>(r) * RadarcolLayout::kEntrySize;
  if (at + RadarcolLayout::kEntrySize > m_bytes.size())
    m_bytes.resize(at + RadarcolLayout::kEntrySize, 0);
  storeU16(m_bytes.data() + at, colour);
}

}  // namespace quillotide
