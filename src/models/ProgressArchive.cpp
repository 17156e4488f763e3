#include "models/ProgressArchive.h"

#include <cstring>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Png.h"
#include "app/Text.h"

namespace quillotide {

namespace {

using namespace progresslayout;

constexpr int kColourTypeRgbAlpha = 6;
constexpr std::size_t kPngColourTypeAt = 25;
constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::string entryLabel(std::int32_t kind, std::int32_t id) {
  return std::string(kind == kArtKind ? "Art (S)" : "Gumps") + " entry " +
         hexLabel(static_cast<std::uint32_t>(id));
}

}  // namespace

int pngColourType(std::span<const std::uint8_t> bytes) {
  if (bytes.size() <= kPngColourTypeAt || std::memcmp(bytes.data(), kPngSignature, 8) != 0 ||
      std::memcmp(bytes.data() + 12, "IHDR", 4) != 0)
    return -1;
  return bytes[kPngColourTypeAt];
}

std::int64_t TProgress::slotOf(std::int32_t kind, std::int32_t id) {
  if (id < 0) return -1;
  if (kind == kArtKind && id < kArtIds) return id;
  if (kind == kGumpKind && id < kGumpIds) return static_cast<std::int64_t>(kArtIds) + id;
  return -1;
}

void TProgress::load(const std::string& indexPath, const std::string& dataPath) {
  Bytes index = readFile(indexPath);
  Bytes data = readFile(dataPath);
  if (index.size() > 0x7FFFFFFFull)
    throw FormatError(formatMessage("%s is too large for an archive index.", {indexPath}));
  loadBytes(std::move(index), std::move(data));
}

void TProgress::loadBytes(Bytes index, Bytes data) {
  if (index.size() > 0x7FFFFFFFull) throw FormatError("The archive index is too large.");
  std::vector<std::int32_t> table(kTableSize, -1);
  int skipped = 0;
  // A tail shorter than a record is no record; it is dropped on the next save.
  for (std::size_t at = 0; at + kRecordSize <= index.size(); at += kRecordSize) {
    const auto id = static_cast<std::int32_t>(loadU32(index.data() + at + 8));
    const auto kind = static_cast<std::int32_t>(loadU32(index.data() + at + 12));
    if (kind != kArtKind && kind != kGumpKind) continue;
    const std::int64_t slot = slotOf(kind, id);
    if (slot < 0) {
      ++skipped;
      continue;
    }
    table[static_cast<std::size_t>(slot)] = static_cast<std::int32_t>(at);
  }
  m_index = std::move(index);
  m_data = std::move(data);
  m_table = std::move(table);
  m_skipped = skipped;
  m_loaded = true;
}

ProgressRecord TProgress::recordAt(std::int32_t position) const {
  const std::uint8_t* p = m_index.data() + position;
  return {static_cast<std::int32_t>(loadU32(p)), static_cast<std::int32_t>(loadU32(p + 4)),
          static_cast<std::int32_t>(loadU32(p + 8)), static_cast<std::int32_t>(loadU32(p + 12))};
}

bool TProgress::entryExists(std::int32_t kind, std::int32_t id) const {
  const std::int64_t slot = slotOf(kind, id);
  return m_loaded && slot >= 0 && m_table[static_cast<std::size_t>(slot)] != -1;
}

ProgressRecord TProgress::entryRecord(std::int32_t kind, std::int32_t id) const {
  if (!entryExists(kind, id))
    throw Error(formatMessage("The progress archive has no %s.", {entryLabel(kind, id)}));
  return recordAt(m_table[static_cast<std::size_t>(slotOf(kind, id))]);
}

std::vector<std::int32_t> TProgress::entryIds(std::int32_t kind) const {
  std::vector<std::int32_t> ids;
  const std::int32_t count = kind == kArtKind ? kArtIds : kind == kGumpKind ? kGumpIds : 0;
  for (std::int32_t id = 0; id < count; ++id)
    if (entryExists(kind, id)) ids.push_back(id);
  return ids;
}

Bytes TProgress::stream(std::int32_t kind, std::int32_t id) const {
  const ProgressRecord r = entryRecord(kind, id);
  if (r.lookup < 0 || r.length < 0 ||
      static_cast<std::uint64_t>(r.lookup) + static_cast<std::uint64_t>(r.length) > m_data.size())
    throw FormatError(formatMessage(
        "%s is damaged: its %d bytes at offset %d lie outside Progress.mul (%d bytes).",
        {entryLabel(kind, id), std::to_string(r.length), std::to_string(r.lookup),
         std::to_string(m_data.size())}));
  const auto begin = m_data.begin() + r.lookup;
  return Bytes(begin, begin + r.length);
}

Bitmap32 TProgress::entryImage(std::int32_t kind, std::int32_t id) const {
  const Bytes bytes = stream(kind, id);
  try {
    return decodePng(bytes);
  } catch (const FormatError& e) {
    throw FormatError(entryLabel(kind, id) + ": " + e.what());
  }
}

Bitmap32 TProgress::entryPicture(std::int32_t kind, std::int32_t id, bool alpha) const {
  if (!entryExists(kind, id)) return {};
  Bitmap32 picture = entryImage(kind, id);
  for (Pixel& p : picture.pixels) {
    if (alpha) {
      const std::uint8_t a = alphaOf(p);
      p = makePixel(a, a, a);
    } else {
      p |= 0xFF000000u;
    }
  }
  return picture;
}

bool TProgress::exportPng(std::int32_t kind, std::int32_t id, const std::string& path) const {
  if (!entryExists(kind, id)) return false;
  writePngFile(path, entryImage(kind, id));
  return true;
}

void TProgress::importPng(std::int32_t kind, std::int32_t id, const std::string& path) {
  if (!m_loaded) return;
  const Bytes file = readFile(path);
  if (pngColourType(file) != kColourTypeRgbAlpha) throw Error("Colorformat has to be RGBALPHA");
  Bitmap32 picture;
  try {
    picture = decodePng(file);
  } catch (const FormatError& e) {
    throw FormatError(path + ": " + e.what());
  }
  writeEntry(kind, id, picture);
}

void TProgress::writeEntry(std::int32_t kind, std::int32_t id, const Bitmap32& picture) {
  if (!m_loaded) throw Error("Load the progress archive first.");
  const std::int64_t slot = slotOf(kind, id);
  if (slot < 0)
    throw Error(formatMessage("Kind %d id %d has no place in the progress archive.",
                              {std::to_string(kind), std::to_string(id)}));
  const Bytes encoded = encodePng(picture);
  if (m_data.size() + encoded.size() > 0x7FFFFFFFull ||
      m_index.size() + kRecordSize > 0x7FFFFFFFull)
    throw Error("The progress archive would grow past 2 GB; save it first.");
  ByteWriter record;
  record.i32(static_cast<std::int32_t>(m_data.size()));
  record.i32(static_cast<std::int32_t>(encoded.size()));
  record.i32(id);
  record.i32(kind);
  m_table[static_cast<std::size_t>(slot)] = static_cast<std::int32_t>(m_index.size());
  m_index.insert(m_index.end(), record.data().begin(), record.data().end());
  m_data.insert(m_data.end(), encoded.begin(), encoded.end());
}

void TProgress::deleteEntry(std::int32_t kind, std::int32_t id) {
  const std::int64_t slot = slotOf(kind, id);
  if (m_loaded && slot >= 0) m_table[static_cast<std::size_t>(slot)] = -1;
}

bool TProgress::save(const std::string& indexPath, const std::string& dataPath) const {
  if (!m_loaded) return false;
  ByteWriter index;
  ByteWriter data;
  for (const std::int32_t kind : {kArtKind, kGumpKind}) {
    for (const std::int32_t id : entryIds(kind)) {
      const Bytes bytes = stream(kind, id);
      index.i32(static_cast<std::int32_t>(data.size()));
      index.i32(static_cast<std::int32_t>(bytes.size()));
      index.i32(id);
      index.i32(kind);
      data.bytes(bytes);
    }
  }
  AtomicFile newIndex(indexPath);
  AtomicFile newData(dataPath);
  newIndex.write(index.data());
  newData.write(data.data());
  commitAll({&newIndex, &newData});
  return true;
}

}  // namespace quillotide
