#include "app/IndexedFile.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <vector>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Text.h"
#include "app/Uop.h"
#include "app/UopPair.h"

namespace quillotide {

namespace {

class MemoryStream final : public Stream {
public:
  explicit MemoryStream(Bytes bytes) : m_bytes(std::move(bytes)) {}
  std::uint64_t size() const override { return m_bytes.size(); }
  void read(std::uint64_t offset, std::uint8_t* dst, std::size_t n) const override {
    if (offset > m_bytes.size() || n > m_bytes.size() - offset)
      throw FormatError("read of " + std::to_string(n) + " bytes at offset " +
                        std::to_string(offset) + " is past the end of the data (" +
                        std::to_string(m_bytes.size()) + " bytes)");
    // An empty slot may come with no buffer at all; memcpy must not see a null pointer.
    if (n == 0) return;
    std::memcpy(dst, m_bytes.data() + offset, n);
  }
  void write(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    if (bytes.empty()) return;
    if (offset + bytes.size() > m_bytes.size()) m_bytes.resize(offset + bytes.size(), 0);
    std::memcpy(m_bytes.data() + offset, bytes.data(), bytes.size());
  }
  std::span<const std::uint8_t> view() const override { return m_bytes; }

private:
  Bytes m_bytes;
};

class FileStream final : public Stream {
public:
  explicit FileStream(const std::string& path) : m_file(path) {}
  std::uint64_t size() const override { return m_file.size(); }
  void read(std::uint64_t offset, std::uint8_t* dst, std::size_t n) const override {
    m_file.read(offset, dst, n);
  }
  void write(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    m_file.write(offset, bytes);
  }

private:
  OpenFile m_file;
};

// The data of a pair read from a container, back to back in slot order: each stored entry's slot
// read where it lies in the container's file, the others (inflated or converted at load) held
// here, and what was appended since held after them.
class ContainerDataStream final : public Stream {
public:
  struct Segment {
    std::uint64_t start = 0;   // in this stream
    std::uint64_t length = 0;
    std::uint64_t from = 0;    // in the source, or in the held bytes
    bool inSource = false;
  };
  ContainerDataStream(std::shared_ptr<const UopSource> source, std::vector<Segment> segments,
                      Bytes held, std::uint64_t end)
      : m_source(std::move(source)), m_segments(std::move(segments)), m_held(std::move(held)),
        m_end(end) {}
  std::uint64_t size() const override { return m_end + m_tail.size(); }
  void read(std::uint64_t offset, std::uint8_t* dst, std::size_t n) const override {
    if (offset > size() || n > size() - offset)
      throw FormatError("read of " + std::to_string(n) + " bytes at offset " +
                        std::to_string(offset) + " is past the end of the data (" +
                        std::to_string(size()) + " bytes)");
    // Segments cover the loaded data without a gap: find the first, then go on in order.
    auto it = std::upper_bound(m_segments.begin(), m_segments.end(), offset,
                               [](std::uint64_t o, const Segment& s) { return o < s.start; });
    while (n > 0 && offset < m_end) {
      const Segment& seg = *std::prev(it);
      const std::uint64_t within = offset - seg.start;
      const auto k = static_cast<std::size_t>(std::min<std::uint64_t>(n, seg.length - within));
      if (seg.inSource)
        m_source->read(seg.from + within, dst, k);
      else
        std::memcpy(dst, m_held.data() + seg.from + within, k);
      dst += k;
      offset += k;
      n -= k;
      ++it;
    }
    if (n > 0) std::memcpy(dst, m_tail.data() + (offset - m_end), n);
  }
  void write(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    if (bytes.empty()) return;
    // Data is only ever appended: the loaded slots stay as they were read.
    if (offset < m_end) throw Error("The data read from a container cannot be overwritten.");
    const auto at = static_cast<std::size_t>(offset - m_end);
    if (at + bytes.size() > m_tail.size()) m_tail.resize(at + bytes.size(), 0);
    std::memcpy(m_tail.data() + at, bytes.data(), bytes.size());
  }

private:
  std::shared_ptr<const UopSource> m_source;
  std::vector<Segment> m_segments;
  Bytes m_held;
  std::uint64_t m_end;
  Bytes m_tail;
};

std::array<std::uint8_t, 12> encodeRecord(const IndexRecord& r) {
  std::array<std::uint8_t, 12> b{};
  storeU32(b.data(), static_cast<std::uint32_t>(r.lookup));
  storeU32(b.data() + 4, static_cast<std::uint32_t>(r.length));
  storeU32(b.data() + 8, static_cast<std::uint32_t>(r.extra));
  return b;
}

IndexRecord decodeRecord(const std::uint8_t* p) {
  return {static_cast<std::int32_t>(loadU32(p)), static_cast<std::int32_t>(loadU32(p + 4)),
          static_cast<std::int32_t>(loadU32(p + 8))};
}

}  // namespace

std::unique_ptr<Stream> makeMemoryStream(Bytes bytes) {
  return std::make_unique<MemoryStream>(std::move(bytes));
}

std::unique_ptr<Stream> openFileStream(const std::string& path) {
  return std::make_unique<FileStream>(path);
}

std::string notLoadedMessage(const std::string& what) {
  return formatMessage("Nothing was written: %s is not loaded.", {what});
}

void IndexedFile::load(const std::string& indexPath, const std::string& dataPath,
                       StorageMode mode) {
  // A pair save killed between its renames is finished first, so the two files read belong
  // together.
  recoverInterruptedSave({indexPath, dataPath});
  // Both streams are built before either replaces the loaded ones.
  auto open = [&](const std::string& path) -> std::shared_ptr<Stream> {
    if (mode == StorageMode::Memory) return makeMemoryStream(readFile(path));
    // A file this pair already holds open (and locked) is taken over as it is.
    if (m_loaded && m_mode != StorageMode::Memory) {
      if (sameFile(path, m_indexPath)) return m_index;
      if (sameFile(path, m_dataPath)) return m_data;
    }
    return openFileStream(path);
  };
  std::shared_ptr<Stream> index = open(indexPath);
  std::shared_ptr<Stream> data = open(dataPath);
  m_index = std::move(index);
  m_data = std::move(data);
  m_mode = mode;
  m_loaded = true;
  m_indexPath = indexPath;
  m_dataPath = dataPath;
  m_changes = m_savedChanges = 0;
  m_uop.reset();
  m_uopIndex.clear();
  m_uopPath.clear();
  m_unreadable.clear();
  m_deletedUnreadable.clear();
}

namespace {

// The file note of a load that left slots unreadable: the file named once, each entry once.
std::string unreadableNote(const std::string& path,
                           const std::vector<std::pair<std::string, std::string>>& slots) {
  constexpr std::size_t kNamed = 16;
  std::string list;
  for (std::size_t i = 0; i < slots.size() && i < kNamed; ++i)
    list += (i ? "; " : "") + slots[i].first + ", " + slots[i].second;
  if (slots.size() > kNamed)
    list += formatMessage("; and %d more", {std::to_string(slots.size() - kNamed)});
  if (slots.size() == 1)
    return formatMessage(
        "%s: %s cannot be read: %s. Every other slot was loaded; %s is listed as unreadable and "
        "its entry is kept as it is on save.",
        {path, slots[0].first, slots[0].second, slots[0].first});
  return formatMessage(
      "%s: %d slots cannot be read: %s. Every other slot was loaded; these are listed as "
      "unreadable and their entries are kept as they are on save.",
      {path, std::to_string(slots.size()), list});
}

}  // namespace

void IndexedFile::loadUop(const std::string& path, const UopForm& form) {
  auto container = std::make_shared<UopContainer>(UopContainer::read(path));
  // Slots are found by their names' hashes; entries of other names (housing.bin) stay in the
  // container untouched.
  std::vector<std::pair<std::int64_t, const UopEntry*>> found;
  for (const UopEntry& e : container->entries())
    if (const auto n = uopSlotOfHash(form.family, form.slotLimit, e.hash))
      found.emplace_back(*n, &e);
  std::sort(found.begin(), found.end());
  const std::int64_t count =
      std::max(form.minRecords, found.empty() ? std::int64_t{0} : found.back().first + 1);
  std::vector<IndexRecord> records(static_cast<std::size_t>(count),
                                   IndexRecord{-1, -1, form.emptyExtra});
  // Stored entries stay in the file until their slots are asked for; only what must be
  // inflated or converted is held in memory.
  using Segment = ContainerDataStream::Segment;
  std::vector<Segment> segments;
  segments.reserve(found.size());
  Bytes held;
  std::uint64_t end = 0;
  bool anyInSource = false;
  std::map<std::int64_t, Unreadable> unreadable;
  std::vector<std::pair<std::string, std::string>> noted;
  const auto place = [&](std::int64_t n, std::uint64_t length, std::int32_t extra, Segment seg) {
    if (end + length > 0x7FFFFFFFull)
      throw Error(formatMessage("%s holds more than 2 GB of slot data.", {path}));
    records[static_cast<std::size_t>(n)] = {static_cast<std::int32_t>(end),
                                            static_cast<std::int32_t>(length), extra};
    seg.start = end;
    seg.length = length;
    segments.push_back(seg);
    end += length;
  };
  for (const auto& slotEntry : found) {
    // Named apart: a lambda cannot take a structured binding here.
    const std::int64_t n = slotEntry.first;
    const UopEntry& entry = *slotEntry.second;
    // Why the entry cannot be read, without the file and entry, which the message adds once.
    std::string why;
    UopSlotData slot;
    if (form.readsInPlace && entry.inSource && entry.compression == 0 &&
        entry.storedSize() == entry.fullSize && entry.fullSize >= form.headBytes) {
      const Bytes head = container->source()->read(entry.storedAt(), form.headBytes);
      try {
        slot = form.fromPayload(n, head);
      } catch (const FormatError& e) {
        why = e.what();
      }
      if (why.empty()) {
        if (slot.none || entry.fullSize == form.headBytes) continue;
        place(n, entry.fullSize - form.headBytes, slot.extra,
              {0, 0, entry.storedAt() + form.headBytes, true});
        anyInSource = true;
        continue;
      }
    } else {
      Bytes payload;
      if (container->readPayload(entry, payload, why)) {
        try {
          slot = form.fromPayload(n, payload);
        } catch (const FormatError& e) {
          why = e.what();
        }
      }
    }
    if (!why.empty()) {
      const std::string where = container->describe(entry) + ": " + why;
      if (!form.keepsUnreadable) throw FormatError(path + ", " + where);
      const std::string name = uopSlotName(form.family, n);
      unreadable[n] = {name, where, entry.hash};
      noted.emplace_back(name, where);
      continue;
    }
    if (slot.none || slot.data.empty()) continue;
    place(n, slot.data.size(), slot.extra, {0, 0, held.size(), false});
    held.insert(held.end(), slot.data.begin(), slot.data.end());
  }
  Bytes index(records.size() * kIndexRecordSize);
  for (std::size_t i = 0; i < records.size(); ++i) {
    const auto rec = encodeRecord(records[i]);
    std::memcpy(index.data() + i * kIndexRecordSize, rec.data(), kIndexRecordSize);
  }
  m_uopIndex = index;
  m_index = makeMemoryStream(std::move(index));
  if (anyInSource)
    m_data = std::make_shared<ContainerDataStream>(container->source(), std::move(segments),
                                                   std::move(held), end);
  else
    m_data = makeMemoryStream(std::move(held));
  m_mode = StorageMode::Memory;
  m_loaded = true;
  m_indexPath = m_dataPath = m_uopPath = path;
  m_uop = std::move(container);
  m_unreadable = std::move(unreadable);
  m_deletedUnreadable.clear();
  m_changes = m_savedChanges = 0;
  if (!noted.empty()) addFileNote(unreadableNote(path, noted));
}

std::optional<std::string> IndexedFile::changedOnDisk() const {
  if (!m_loaded || !m_uop || !m_uop->source()) return std::nullopt;
  return m_uop->source()->changedOnDisk();
}

std::optional<std::string> IndexedFile::unreadable(std::int64_t n) const {
  const auto it = m_unreadable.find(n);
  if (it == m_unreadable.end() || !m_loaded) return std::nullopt;
  // A slot written or deleted since holds what the user gave it, and its entry goes on save.
  const auto now = record(n);
  const auto at = static_cast<std::size_t>(n) * kIndexRecordSize;
  if (!now || at + kIndexRecordSize > m_uopIndex.size() ||
      *now != decodeRecord(m_uopIndex.data() + at))
    return std::nullopt;
  return it->second.slot + ": " + it->second.why;
}

std::vector<std::int64_t> IndexedFile::unreadableSlots() const {
  std::vector<std::int64_t> out;
  for (const auto& [n, what] : m_unreadable)
    if (unreadable(n)) out.push_back(n);
  return out;
}

void IndexedFile::saveUop(const std::string& path, const UopForm& form) const {
  requireLoaded();
  // The container read is the base of a save into it: unchanged entries stay as stored. Any
  // other container already at the target is the base of a save there: this family's entries
  // are replaced and every other entry it holds (other families, housing data, entries this
  // program does not know) is kept.
  const bool intoRead = m_uop && sameTarget(path, m_uopPath);
  std::shared_ptr<const UopContainer> base = intoRead ? m_uop : nullptr;
  bool replaceFamily = false;
  if (!intoRead && fileExists(path)) {
    base = std::make_shared<const UopContainer>(UopContainer::read(path));
    replaceFamily = true;
  } else if (!intoRead && m_uop) {
    // A new file: a copy of the container read, with this family's entries as they are now.
    base = m_uop;
  }
  UopContainer out = base ? *base : UopContainer::create();
  // New entries are stored as the base's own entries of the family are, or as the client
  // stores the family.
  bool compress = form.compressNew;
  if (base)
    for (const UopEntry& e : base->entries())
      if (uopSlotOfHash(form.family, form.slotLimit, e.hash)) {
        compress = e.compression == 1;
        break;
      }
  if (replaceFamily) {
    std::vector<std::uint64_t> family;
    for (const UopEntry& e : out.entries())
      if (uopSlotOfHash(form.family, form.slotLimit, e.hash)) family.push_back(e.hash);
    for (const std::uint64_t hash : family) out.remove(hash);
  }
  // Records as the base holds them: a record still equal to its old one keeps its entry.
  const bool sameBase = base && base == m_uop;
  const auto oldCount =
      sameBase ? static_cast<std::int64_t>(m_uopIndex.size() / kIndexRecordSize) : 0;
  const std::int64_t count = std::max(recordCount(), oldCount);
  const std::vector<IndexRecord> now = records(0, count);
  for (std::int64_t n = 0; n < count; ++n) {
    const IndexRecord& r = now[static_cast<std::size_t>(n)];
    if (sameBase) {
      const IndexRecord old =
          n < oldCount
              ? decodeRecord(m_uopIndex.data() + static_cast<std::size_t>(n) * kIndexRecordSize)
              : IndexRecord{-1, -1, -1};
      // Data is only ever appended, so a record as it was points at the bytes it did.
      if (r == old && m_deletedUnreadable.count(n) == 0) continue;
    }
    if (r.isEmpty()) {
      if (n < form.slotLimit)
        out.remove(uopHash(uopEntryName(form.family, static_cast<std::uint32_t>(n))));
      continue;
    }
    if (n >= form.slotLimit)
      throw Error(
          formatMessage("Slot %s lies beyond the slots a container holds; nothing was written.",
                        {hexLabel(static_cast<std::uint32_t>(n))}));
    const Bytes data = readData(r);
    const Bytes payload = form.toPayload(n, data, r);
    out.setPayload(uopHash(uopEntryName(form.family, static_cast<std::uint32_t>(n))), payload,
                   compress);
  }
  // An entry that could not be read goes into every container as it was stored, even into one
  // whose family entries were replaced.
  if (m_uop)
    for (const std::int64_t n : unreadableSlots()) {
      const Unreadable& u = m_unreadable.at(n);
      const UopEntry* stored = m_uop->find(u.hash);
      if (stored && uopSlotOfHash(form.family, form.slotLimit, u.hash) == n) out.putEntry(*m_uop, *stored);
    }
  out.save(path);
  // Saved into the container read, it is now the base of the next save.
  if (intoRead) {
    m_uop = std::make_shared<const UopContainer>(std::move(out));
    m_uopIndex = Bytes(m_index->view().begin(), m_index->view().end());
    m_savedChanges = m_changes;
    m_deletedUnreadable.clear();
  }
}

void IndexedFile::adopt(std::unique_ptr<Stream> index, std::unique_ptr<Stream> data,
                        StorageMode mode) {
  m_index = std::move(index);
  m_data = std::move(data);
  m_mode = mode;
  m_loaded = true;
  m_indexPath.clear();
  m_dataPath.clear();
  m_changes = m_savedChanges = 0;
  m_uop.reset();
  m_uopIndex.clear();
  m_uopPath.clear();
  m_unreadable.clear();
  m_deletedUnreadable.clear();
}

std::int64_t IndexedFile::recordCount() const {
  return m_loaded ? static_cast<std::int64_t>(m_index->size() / kIndexRecordSize) : 0;
}

std::optional<IndexRecord> IndexedFile::record(std::int64_t n) const {
  if (!m_loaded || n < 0 || n >= recordCount()) return std::nullopt;
  const auto v = m_index->view();
  const std::uint64_t offset = static_cast<std::uint64_t>(n) * kIndexRecordSize;
  if (!v.empty()) return decodeRecord(v.data() + offset);
  std::uint8_t b[12];
  m_index->read(offset, b, 12);
  return decodeRecord(b);
}

bool IndexedFile::exists(std::int64_t n) const {
  const auto r = record(n);
  return r && !r->isEmpty();
}

namespace {

bool fitsData(const IndexRecord& r, std::uint64_t dataSize) {
  return r.lookup >= 0 && r.length >= 0 &&
         static_cast<std::uint64_t>(r.lookup) + static_cast<std::uint64_t>(r.length) <= dataSize;
}

std::string outsideMessage(const IndexRecord& r, std::uint64_t dataSize) {
  return formatMessage(
      "The record (%d, %d) points outside the data file (%d bytes).",
      {std::to_string(r.lookup), std::to_string(r.length), std::to_string(dataSize)});
}

}  // namespace

Bytes IndexedFile::readData(const IndexRecord& r) const {
  requireLoaded();
  if (!fitsData(r, m_data->size())) throw FormatError(outsideMessage(r, m_data->size()));
  return m_data->read(static_cast<std::uint64_t>(r.lookup), static_cast<std::size_t>(r.length));
}

std::optional<Bytes> IndexedFile::readSlot(std::int64_t n) const {
  const auto r = record(n);
  if (!r || r->isEmpty()) return std::nullopt;
  return readData(*r);
}

void IndexedFile::readDataAt(std::uint64_t offset, std::uint8_t* dst, std::size_t n) const {
  requireLoaded();
  m_data->read(offset, dst, n);
}

Bytes IndexedFile::readDataAt(std::uint64_t offset, std::size_t n) const {
  requireLoaded();
  return m_data->read(offset, n);
}

std::optional<std::span<const std::uint8_t>> IndexedFile::dataView(const IndexRecord& r) const {
  if (!m_loaded || r.lookup < 0 || r.length < 0) return std::nullopt;
  const auto view = m_data->view();
  const auto lookup = static_cast<std::uint64_t>(r.lookup);
  const auto length = static_cast<std::uint64_t>(r.length);
  if (view.empty() || lookup + length > view.size()) return std::nullopt;
  return view.subspan(static_cast<std::size_t>(lookup), static_cast<std::size_t>(length));
}

std::vector<IndexRecord> IndexedFile::records(std::int64_t first, std::int64_t count) const {
  std::vector<IndexRecord> out(static_cast<std::size_t>(std::max<std::int64_t>(count, 0)));
  const std::int64_t have = std::clamp<std::int64_t>(recordCount() - first, 0, count);
  if (first < 0 || have <= 0) return out;
  const Bytes b = m_index->read(static_cast<std::uint64_t>(first) * kIndexRecordSize,
                                static_cast<std::size_t>(have) * kIndexRecordSize);
  for (std::size_t i = 0; i < static_cast<std::size_t>(have); ++i)
    out[i] = decodeRecord(b.data() + i * kIndexRecordSize);
  return out;
}

void IndexedFile::requireLoaded() const {
  if (!m_loaded) throw Error(notLoadedMessage("the file pair"));
}

std::uint64_t IndexedFile::appendData(std::span<const std::uint8_t> bytes) {
  requireLoaded();
  const std::uint64_t at = m_data->size();
  if (at + bytes.size() > 0x7FFFFFFFull)
    throw Error("The data file would grow past 2 GB; rebuild it first.");
  m_data->write(at, bytes);
  ++m_changes;
  return at;
}

void IndexedFile::writeRecord(std::int64_t n, const IndexRecord& r) {
  writeRecords(n, std::span<const IndexRecord>(&r, 1));
}

void IndexedFile::writeRecords(std::int64_t first, std::span<const IndexRecord> records) {
  requireLoaded();
  if (first < 0) throw Error("Slot " + std::to_string(first) + " is out of range.");
  // Gap records first, so the run lands at its offset; a partial record at the end is overwritten.
  const std::int64_t start = std::min(first, recordCount());
  const auto gapCount = static_cast<std::size_t>(first - start);
  Bytes bytes((gapCount + records.size()) * kIndexRecordSize);
  const auto gap = encodeRecord({-1, -1, 0});
  for (std::size_t i = 0; i < gapCount; ++i)
    std::memcpy(bytes.data() + i * kIndexRecordSize, gap.data(), kIndexRecordSize);
  for (std::size_t i = 0; i < records.size(); ++i) {
    const auto rec = encodeRecord(records[i]);
    std::memcpy(bytes.data() + (gapCount + i) * kIndexRecordSize, rec.data(), kIndexRecordSize);
  }
  m_index->write(static_cast<std::uint64_t>(start) * kIndexRecordSize, bytes);
  ++m_changes;
}

void IndexedFile::writeSlot(std::int64_t n, std::span<const std::uint8_t> bytes,
                            std::int32_t extra, bool fillGap) {
  requireLoaded();
  if (n < 0) throw Error("Slot " + std::to_string(n) + " is out of range.");
  const std::uint64_t at = appendData(bytes);
  const IndexRecord r{static_cast<std::int32_t>(at), static_cast<std::int32_t>(bytes.size()), extra};
  if (!fillGap && n >= recordCount()) {
    m_index->write(static_cast<std::uint64_t>(n) * kIndexRecordSize, encodeRecord(r));
    ++m_changes;
    return;
  }
  writeRecord(n, r);
}

void IndexedFile::deleteSlot(std::int64_t n) {
  requireLoaded();
  if (n < 0 || n >= recordCount()) return;
  m_index->write(static_cast<std::uint64_t>(n) * kIndexRecordSize, encodeRecord({-1, -1, -1}));
  // An unreadable slot reads as empty, so its record may not change: the deletion is what says
  // its entry goes.
  if (m_unreadable.erase(n) != 0) m_deletedUnreadable.insert(n);
  ++m_changes;
}

bool IndexedFile::save(const std::string& indexPath, const std::string& dataPath) const {
  requireLoaded();
  if (m_mode != StorageMode::Memory) return false;
  requireDistinctTargets(indexPath, dataPath);
  recoverInterruptedSave({indexPath, dataPath});
  AtomicFile index(indexPath);
  AtomicFile data(dataPath);
  index.write(m_index->view());
  if (const auto view = m_data->view(); !view.empty() || m_data->size() == 0) {
    data.write(view);
  } else {
    // Data read where it lies in a container goes through in large pieces.
    Bytes piece;
    for (std::uint64_t at = 0; at < m_data->size(); at += piece.size()) {
      piece.resize(static_cast<std::size_t>(std::min<std::uint64_t>(m_data->size() - at, 8 << 20)));
      m_data->read(at, piece.data(), piece.size());
      data.write(piece);
    }
  }
  commitAll({&index, &data});
  if (const auto lost = unreadableSlots(); !lost.empty()) {
    std::string names;
    for (std::size_t i = 0; i < lost.size(); ++i)
      names += (i ? ", " : "") + m_unreadable.at(lost[i]).slot;
    addFileNote(formatMessage(
        lost.size() == 1 ? "%s and %s have no place for an entry that could not be read: %s was "
                           "written as an empty slot."
                         : "%s and %s have no place for entries that could not be read: %s were "
                           "written as empty slots.",
        {indexPath, dataPath, names}));
  }
  // Saved into other files, the loaded ones still lack the changes.
  if (sameTarget(indexPath, m_indexPath) && sameTarget(dataPath, m_dataPath))
    m_savedChanges = m_changes;
  return true;
}

namespace {

void requireNotHeldOpen(const IndexedFile& files, const std::string& target) {
  if (files.mode() == StorageMode::Memory || !files.isLoaded()) return;
  // A file held open is changed in place at every edit; replacing it would cut it off from them.
  for (const auto* open : {&files.indexPath(), &files.dataPath()})
    if (!open->empty() && sameTarget(target, *open))
      throw FileError(formatMessage(
          "%s is held open by the loaded files (%s mode); choose other files as the targets. "
          "Nothing was written.",
          {target, files.mode() == StorageMode::LowMemory ? "Low Memory" : "direct"}));
}

}  // namespace

std::vector<std::int64_t> IndexedFile::rebuild(const std::string& indexPath,
                                               const std::string& dataPath, Progress& progress,
                                               Random& random, bool skipDamaged) const {
  requireLoaded();
  requireDistinctTargets(indexPath, dataPath);
  requireNotHeldOpen(*this, indexPath);
  requireNotHeldOpen(*this, dataPath);
  recoverInterruptedSave({indexPath, dataPath});
  std::vector<std::int64_t> skipped;
  const std::int64_t n = recordCount();
  AtomicFile newIndex(indexPath);
  AtomicFile newData(dataPath);

  Bytes index(static_cast<std::size_t>(n) * kIndexRecordSize);
  {
    const auto empty = encodeRecord({-1, -1, -1});
    for (std::int64_t i = 0; i < n; ++i)
      std::memcpy(index.data() + static_cast<std::size_t>(i) * kIndexRecordSize, empty.data(),
                  kIndexRecordSize);
  }

  std::vector<std::int64_t> work(static_cast<std::size_t>(n));
  std::iota(work.begin(), work.end(), 0);
  ProgressSteps steps(progress, n);
  std::uint64_t position = 0;
  Bytes chunk;
  std::uint8_t gap[15];
  while (!work.empty()) {
    steps.at(n - static_cast<std::int64_t>(work.size()));
    // Take a slot chosen uniformly from the remaining ones (swap-remove keeps this O(1)).
    const auto pick = static_cast<std::size_t>(random.uniform(0, static_cast<std::int64_t>(work.size()) - 1));
    const std::int64_t slot = work[pick];
    work[pick] = work.back();
    work.pop_back();

    const IndexRecord r = *record(slot);
    const auto gapLength = static_cast<std::size_t>(random.uniform(4, 15));
    for (std::size_t i = 0; i < gapLength; ++i) gap[i] = static_cast<std::uint8_t>(random.uniform(0, 255));
    newData.write({gap, gapLength});
    position += gapLength;

    IndexRecord out = r;
    if (!r.isEmpty() && !fitsData(r, m_data->size())) {
      const std::string detail = outsideMessage(r, m_data->size());
      if (!skipDamaged)
        throw DamagedSlotError(slot, detail,
                               formatMessage("Slot %s is damaged: %s",
                                             {hexLabel(static_cast<std::uint32_t>(slot)), detail}));
      skipped.push_back(slot);
      out = {-1, -1, -1};
    } else if (!r.isEmpty()) {
      chunk = readData(r);
      newData.write(chunk);
      out = {static_cast<std::int32_t>(position), r.length, r.extra};
      position += chunk.size();
      if (position > 0x7FFFFFFFull) throw Error("The rebuilt data file would grow past 2 GB.");
    }
    const auto rec = encodeRecord(out);
    std::memcpy(index.data() + static_cast<std::size_t>(slot) * kIndexRecordSize, rec.data(),
                kIndexRecordSize);
  }
  steps.at(n);
  newIndex.write(index);
  commitAll({&newIndex, &newData});
  std::sort(skipped.begin(), skipped.end());
  return skipped;
}

}  // namespace quillotide
