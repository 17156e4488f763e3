#include "models/Animdata.h"

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/IndexedFile.h"
#include "app/Text.h"

namespace quillotide {

using namespace animdatalayout;

void TAnimdata::load(const std::string& path) { loadBytes(readFile(path)); }

void TAnimdata::loadBytes(Bytes bytes) {
  m_bytes = std::move(bytes);
  m_loaded = true;
}

void TAnimdata::save(const std::string& path) const {
  requireLoaded();
  writeFileAtomic(path, m_bytes);
}

void TAnimdata::requireLoaded() const {
  if (!m_loaded) throw Error(notLoadedMessage("Animdata"));
}

std::uint64_t TAnimdata::recordOffset(int tile) {
  const auto t = static_cast<std::uint64_t>(tile);
  return (t / kRecordsPerGroup) * kGroupSize + kGroupHeader + (t % kRecordsPerGroup) * kRecordSize;
}

int TAnimdata::tileCount() const {
  if (!m_loaded) return 0;
  const std::uint64_t groups = m_bytes.size() / kGroupSize;
  const std::uint64_t rest = m_bytes.size() % kGroupSize;
  const std::uint64_t partial = rest >= kGroupHeader ? (rest - kGroupHeader) / kRecordSize : 0;
  return static_cast<int>(groups * kRecordsPerGroup + partial);
}

std::optional<AnimdataRecord> TAnimdata::readEntry(int tile) const {
  if (!m_loaded || tile < 0 || tile >= tileCount()) return std::nullopt;
  const std::uint8_t* p = m_bytes.data() + recordOffset(tile);
  AnimdataRecord r;
  for (std::size_t k = 0; k < kFrameOffsets; ++k) r.offsets[k] = static_cast<std::int8_t>(p[k]);
  r.unknown = p[kUnknown];
  r.frameCount = p[kFrameCount];
  r.frameInterval = p[kFrameInterval];
  r.startDelay = p[kStartDelay];
  return r;
}

void TAnimdata::writeEntry(int tile, const AnimdataRecord& r) {
  requireLoaded();
  if (tile < 0 || tile > kMaxTile)
    throw Error(formatMessage("Tile %s is out of range (0x0 to 0xFFFF).",
                              {hexLabel(static_cast<std::uint32_t>(tile))}));
  // A count above the 64 offsets is refused as a new value; a record that holds one already keeps
  // it, so its interval, delay and offsets stay editable.
  const auto stored = readEntry(tile);
  if (r.frameCount > kFrameOffsets && !(stored && stored->frameCount == r.frameCount))
    throw Error(formatMessage("A record holds 64 frame offsets; a frame count of %d does not fit.",
                              {std::to_string(r.frameCount)}));
  const std::uint64_t at = recordOffset(tile);
  if (at + kRecordSize > m_bytes.size()) {
    // Whole groups, so the file keeps its shape; the new headers are zero like unused ones.
    const std::uint64_t groups = static_cast<std::uint64_t>(tile) / kRecordsPerGroup + 1;
    m_bytes.resize(static_cast<std::size_t>(groups * kGroupSize), 0);
  }
  std::uint8_t* p = m_bytes.data() + at;
  for (std::size_t k = 0; k < kFrameOffsets; ++k) p[k] = static_cast<std::uint8_t>(r.offsets[k]);
  p[kUnknown] = r.unknown;
  p[kFrameCount] = r.frameCount;
  p[kFrameInterval] = r.frameInterval;
  p[kStartDelay] = r.startDelay;
}

void TAnimdata::setFrameOffset(int tile, int k, int offset) {
  if (k < 0 || k >= static_cast<int>(kFrameOffsets))
    throw Error(formatMessage("Frame %d does not exist; a record holds frames 0 to 63.",
                              {std::to_string(k)}));
  if (offset < -128 || offset > 127)
    throw Error(formatMessage("A frame offset of %d does not fit -128..127.", {std::to_string(offset)}));
  AnimdataRecord r = readEntry(tile).value_or(AnimdataRecord{});
  r.offsets[static_cast<std::size_t>(k)] = static_cast<std::int8_t>(offset);
  writeEntry(tile, r);
}

bool TAnimdata::isAnimated(int tile) const {
  const auto r = readEntry(tile);
  return r && r->frameCount != 0 && r->frameInterval != 0;
}

int TAnimdata::frameCount(int tile) const {
  const auto r = readEntry(tile);
  return r ? r->frameCount : 0;
}

int TAnimdata::frameInterval(int tile) const {
  const auto r = readEntry(tile);
  return r ? r->frameInterval : 0;
}

int TAnimdata::startDelay(int tile) const {
  const auto r = readEntry(tile);
  return r ? r->startDelay : 0;
}

int TAnimdata::playableFrames(int tile) const {
  return std::min(frameCount(tile), static_cast<int>(kFrameOffsets));
}

int TAnimdata::frameArtId(int tile, int k) const {
  const auto r = readEntry(tile);
  if (!r || k < 0 || k >= static_cast<int>(kFrameOffsets)) return tile;
  return tile + r->offsets[static_cast<std::size_t>(k)];
}

std::vector<int> TAnimdata::animatedTiles() const {
  std::vector<int> out;
  const int n = tileCount();
  for (int t = 0; t < n; ++t) {
    const std::uint8_t* p = m_bytes.data() + recordOffset(t);
    if (p[kFrameCount] != 0 && p[kFrameInterval] != 0) out.push_back(t);
  }
  return out;
}

}  // namespace quillotide
