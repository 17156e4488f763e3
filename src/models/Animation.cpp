#include "models/Animation.h"

#include <algorithm>
#include <climits>
#include <memory>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Text.h"

namespace quillotide {

namespace {

namespace layout {
constexpr int kSlotsType0 = 110;
constexpr int kSlotsType1 = 65;
constexpr int kSlotsType2 = 175;
// The body count FillBodies grows the index to.
constexpr int kFilledBodies = 0x1000;
// Bodies beyond this are refused: their slots would lie gigabytes into the index.
constexpr int kMaxBody = 0xFFFF;
// Background of frames exported to a folder: white, which the folder import reads as transparent.
constexpr Pixel kFolderBackground = 0x00FFFFFF;
// The piece in which blocks pass from the data file to an export: large enough that each read and
// write is one call, small enough to stay in the processor's cache between them.
constexpr std::size_t kCopyPiece = std::size_t{1} << 20;
}  // namespace layout

const AnimSlotTable kAnimTable{200, 400, 9000, 35000};
const AnimSlotTable kAnim2Table{200, INT_MAX, 9000, 0};
const AnimSlotTable kAnim3Table{700, 1400, 31500, 122500};

}  // namespace

std::string animKindName(AnimKind kind) {
  return kind == AnimKind::Anim ? "anim" : "anim" + std::to_string(static_cast<int>(kind));
}

std::optional<AnimKind> animKindOf(int variant) {
  if (variant < 1 || variant > 5) return std::nullopt;
  return static_cast<AnimKind>(variant);
}

int AnimSlotTable::bodyType(int body) const {
  if (body < type1From) return 0;
  return body < type2From ? 1 : 2;
}

int AnimSlotTable::slotsPerBody(int body) const {
  switch (bodyType(body)) {
    case 0:
      return layout::kSlotsType0;
    case 1:
      return layout::kSlotsType1;
    default:
      return layout::kSlotsType2;
  }
}

std::int64_t AnimSlotTable::firstSlot(int body) const {
  const std::int64_t b = body;
  switch (bodyType(body)) {
    case 0:
      return b * layout::kSlotsType0;
    case 1:
      return b * layout::kSlotsType1 + type1Base;
    default:
      return b * layout::kSlotsType2 - type2Base;
  }
}

int AnimSlotTable::bodyCount(std::uint64_t indexSize) const {
  const int lastFrom = type2From == INT_MAX ? type1From : type2From;
  const std::uint64_t boundary = static_cast<std::uint64_t>(firstSlot(lastFrom)) * kIndexRecordSize;
  const std::uint64_t bodyBytes =
      static_cast<std::uint64_t>(slotsPerBody(lastFrom)) * kIndexRecordSize;
  if (indexSize >= boundary) {
    const std::uint64_t more = (indexSize - boundary) / bodyBytes;
    return static_cast<int>(
        std::min<std::uint64_t>(static_cast<std::uint64_t>(lastFrom) + more, INT_MAX));
  }
  // The formula would count bodies the index does not reach (or, for anim2, fewer than none).
  const std::int64_t records = static_cast<std::int64_t>(indexSize / kIndexRecordSize);
  int count = 0;
  while (count < lastFrom && firstSlot(count) + slotsPerBody(count) <= records) ++count;
  return count;
}

const AnimSlotTable& animSlotTable(AnimKind kind) {
  switch (kind) {
    case AnimKind::Anim2:
      return kAnim2Table;
    case AnimKind::Anim3:
      return kAnim3Table;
    default:
      return kAnimTable;
  }
}

std::string AnimImportReport::message() const {
  return "There were " + std::to_string(colourProblems) +
         " problems regarding the number of colors you used.";
}

TAnimation::TAnimation() : TAnimation(AnimKind::Anim) {}
TAnimation::TAnimation(AnimKind kind) : m_kind(kind) {}

void TAnimation::load(const std::string& indexPath, const std::string& dataPath) {
  m_files.load(indexPath, dataPath, StorageMode::Direct);
}

std::string TAnimation::slotName(int body, int offset) const {
  return formatMessage("Animation slot %s (body %d, slot offset %d)",
                       {hexLabel(static_cast<std::uint32_t>(firstSlot(body) + offset)),
                        std::to_string(body), std::to_string(offset)});
}

void TAnimation::requireLoaded() const {
  if (!isLoaded()) throw Error(notLoadedMessage(animKindName(m_kind)));
}

void TAnimation::checkBody(int body) const {
  if (body < 0 || body > layout::kMaxBody)
    throw Error(formatMessage("Body %d is out of range (0 to %d).",
                              {std::to_string(body), std::to_string(layout::kMaxBody)}));
}

int TAnimation::bodyCount() const {
  return isLoaded() ? table().bodyCount(m_files.indexSize()) : 0;
}

bool TAnimation::bodyExists(int body) const { return slotExists(body, 0); }

bool TAnimation::slotExists(int body, int offset) const {
  const auto r = slotRecord(body, offset);
  return r && !r->isEmpty();
}

std::optional<IndexRecord> TAnimation::slotRecord(int body, int offset) const {
  if (!isLoaded() || body < 0 || body > layout::kMaxBody || offset < 0 ||
      offset >= slotsPerBody(body))
    return std::nullopt;
  return m_files.record(firstSlot(body) + offset);
}

std::optional<Bytes> TAnimation::slotBlock(int body, int offset) const {
  const auto r = slotRecord(body, offset);
  if (!r || r->isEmpty()) return std::nullopt;
  return withContext(slotName(body, offset), [&] { return m_files.readData(*r); });
}

ZeroSizeRuns TAnimation::previewZeroSize() const {
  switch (m_kind) {
    case AnimKind::Anim2:
    case AnimKind::Anim5:
      return ZeroSizeRuns::Report;
    case AnimKind::Anim3:
    case AnimKind::Anim4:
      return ZeroSizeRuns::Ignore;
    default:
      return ZeroSizeRuns::Skip;
  }
}

std::vector<AnimFrame> TAnimation::slotFrames(int body, int offset, Pixel background) const {
  const auto block = slotBlock(body, offset);
  if (!block) return {};
  return withContext(slotName(body, offset),
                     [&] { return AnimBlock(*block).frames(background, previewZeroSize()); });
}

AnimFrame TAnimation::firstFrame(int body) const {
  const auto block = slotBlock(body, 0);
  if (!block) return {};
  return withContext(slotName(body, 0), [&] {
    const AnimBlock view(*block);
    return view.frameCount() == 0 ? AnimFrame{} : view.frame(0, 0, previewZeroSize());
  });
}

void TAnimation::exportToFile(int body, const std::string& path, Progress& progress) const {
  requireLoaded();
  checkBody(body);
  const int count = slotsPerBody(body);
  const auto records = m_files.records(firstSlot(body), count);
  // A block outside the data file ends the export before the file is begun, naming the slot.
  for (int k = 0; k < count; ++k) {
    const IndexRecord& r = records[static_cast<std::size_t>(k)];
    if (!r.isEmpty() && (r.lookup < 0 || static_cast<std::uint64_t>(r.lookup) +
                                                 static_cast<std::uint64_t>(r.length) >
                                             m_files.dataSize()))
      withContext(slotName(body, k), [&] { return m_files.readData(r); });
  }
  // The blocks go from the data file to the export in slot order. A body's blocks usually lie
  // back to back, so neighbours make one run, and a run passes through one buffer in large
  // pieces: the bytes are copied twice (read, write), never held whole.
  struct Run {
    std::uint64_t from = 0;
    std::uint64_t length = 0;
  };
  std::vector<Run> runs;
  for (const IndexRecord& r : records) {
    if (r.isEmpty()) continue;
    const auto from = static_cast<std::uint64_t>(r.lookup);
    const auto length = static_cast<std::uint64_t>(r.length);
    if (!runs.empty() && runs.back().from + runs.back().length == from)
      runs.back().length += length;
    else
      runs.push_back({from, length});
  }
  std::uint64_t longest = 0;
  for (const Run& run : runs) longest = std::max(longest, run.length);
  const std::size_t piece =
      static_cast<std::size_t>(std::min<std::uint64_t>(longest, layout::kCopyPiece));
  const std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[std::max<std::size_t>(piece, 1)]);
  // The export is an exchange file, not a game file: replaced whole by a rename, without a flush
  // of its own, so a crash can cost only the export, which the user writes again.
  AtomicFile out(path, AtomicFile::Flush::Later);
  out.write(encodeKxHead(static_cast<std::uint16_t>(bodyType(body)), records));
  ProgressSteps steps(progress, static_cast<long long>(runs.size()));
  long long done = 0;
  for (const Run& run : runs) {
    for (std::uint64_t at = 0; at < run.length;) {
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(piece, run.length - at));
      m_files.readDataAt(run.from + at, buffer.get(), n);
      out.write({buffer.get(), n});
      at += n;
    }
    steps.at(++done);
  }
  out.commit();
}

void TAnimation::importFromFile(int body, const std::string& path, Progress& progress) {
  requireLoaded();
  checkBody(body);
  const int count = slotsPerBody(body);
  const Bytes file = readFile(path);
  std::vector<KxSlot> slots;
  try {
    slots = decodeKx(file, static_cast<std::uint16_t>(bodyType(body)), count);
  } catch (const FormatError& e) {
    throw FormatError(path + ": " + e.what());
  }
  ProgressSteps steps(progress, count);
  std::vector<std::optional<Bytes>> blocks(static_cast<std::size_t>(count));
  std::vector<IndexRecord> empties(static_cast<std::size_t>(count));
  std::vector<std::int32_t> extras(static_cast<std::size_t>(count));
  for (int k = 0; k < count; ++k) {
    auto& s = slots[static_cast<std::size_t>(k)];
    if (s.record.isEmpty())
      empties[static_cast<std::size_t>(k)] = s.record;
    else
      blocks[static_cast<std::size_t>(k)] = std::move(s.data);
    extras[static_cast<std::size_t>(k)] = s.record.extra;
  }
  storeBody(body, blocks, empties, extras);
  steps.at(count);
}

AnimStrayReport TAnimation::exportToDirectory(int body, const std::string& folder,
                                              Progress& progress) const {
  requireLoaded();
  checkBody(body);
  const int count = slotsPerBody(body);
  auto decode = [&](int k) -> std::optional<AnimFolderSlot> {
    const auto block = slotBlock(body, k);
    if (!block) return std::nullopt;
    return withContext(slotName(body, k), [&] {
      const AnimBlock view(*block);
      return AnimFolderSlot{k, view.palette(), view.frames(layout::kFolderBackground)};
    });
  };
  // Every slot is decoded before the first file is written, so a damaged slot leaves no half
  // folder behind; the decoded slots (one body's pictures) are kept for the writing.
  AnimStrayReport stray;
  std::vector<std::optional<AnimFolderSlot>> slots;
  slots.reserve(static_cast<std::size_t>(count));
  for (int k = 0; k < count; ++k) {
    slots.push_back(decode(k));
    if (slots.back())
      for (const AnimFrame& f : slots.back()->frames) stray.add(f);
  }
  AnimFolderWriter writer(folder);
  ProgressSteps steps(progress, count);
  for (int k = 0; k < count; ++k) {
    if (const auto& slot = slots[static_cast<std::size_t>(k)]) writer.writeSlot(*slot);
    steps.at(k + 1);
  }
  writer.finish();
  return stray;
}

AnimImportReport TAnimation::importFromDirectory(int body, const std::string& folder,
                                                 bool usePalette, Progress& progress) {
  requireLoaded();
  checkBody(body);
  const int count = slotsPerBody(body);
  AnimFolderImport folderImport =
      readAnimFolder(folder, count, usePalette, AnimTransparency::BlackAndWhite, progress);
  storeBody(body, folderImport.blocks,
            std::vector<IndexRecord>(static_cast<std::size_t>(count), IndexRecord{-1, -1, -1}),
            std::vector<std::int32_t>(static_cast<std::size_t>(count), 0));
  return {folderImport.colourProblems};
}

void TAnimation::storeBody(int body, const std::vector<std::optional<Bytes>>& blocks,
                           const std::vector<IndexRecord>& emptyRecords,
                           const std::vector<std::int32_t>& extras) {
  std::uint64_t total = 0;
  for (const auto& b : blocks)
    if (b) total += b->size();
  const std::uint64_t at = m_files.dataSize();
  if (at + total > 0x7FFFFFFFull)
    throw Error("The data file would grow past 2 GB; rebuild it first.");
  Bytes all;
  all.reserve(static_cast<std::size_t>(total));
  std::vector<IndexRecord> records(blocks.size());
  for (std::size_t k = 0; k < blocks.size(); ++k) {
    if (!blocks[k]) {
      records[k] = emptyRecords[k];
      continue;
    }
    records[k] = {static_cast<std::int32_t>(at + all.size()),
                  static_cast<std::int32_t>(blocks[k]->size()), extras[k]};
    all.insert(all.end(), blocks[k]->begin(), blocks[k]->end());
  }
  if (!all.empty()) m_files.appendData(all);
  writeBodyRecords(body, records);
}

void TAnimation::writeBodyRecords(int body, const std::vector<IndexRecord>& records) {
  m_files.writeRecords(firstSlot(body), records);
}

void TAnimation::copyBody(int source, int target, const std::string& indexPath) {
  checkBody(source);
  checkBody(target);
  if (bodyType(source) != bodyType(target)) throw Error("Animtypes dont match.");
  const int count = slotsPerBody(source);
  if (isLoaded()) {
    m_files.writeRecords(firstSlot(target), m_files.records(firstSlot(source), count));
    return;
  }
  // The index alone, held open for this copy only.
  IndexedFile index;
  index.adopt(openFileStream(indexPath), makeMemoryStream({}), StorageMode::Direct);
  index.writeRecords(firstSlot(target), index.records(firstSlot(source), count));
}

void TAnimation::deleteBody(int body) {
  requireLoaded();
  checkBody(body);
  const std::int64_t first = firstSlot(body);
  const std::int64_t have = m_files.recordCount() - first;
  const int count = static_cast<int>(std::clamp<std::int64_t>(have, 0, slotsPerBody(body)));
  if (count > 0)
    m_files.writeRecords(
        first, std::vector<IndexRecord>(static_cast<std::size_t>(count), IndexRecord{-1, -1, -1}));
}

void TAnimation::fillBodies() {
  requireLoaded();
  const std::int64_t target = firstSlot(layout::kFilledBodies);
  const std::int64_t have = m_files.recordCount();
  if (have >= target) return;
  m_files.writeRecords(have, std::vector<IndexRecord>(static_cast<std::size_t>(target - have),
                                                      IndexRecord{-1, -1, 0}));
}

void TAnimation::rebuild(const std::string& indexPath, const std::string& dataPath,
                         Progress& progress, Random& random) const {
  requireLoaded();
  m_files.rebuild(indexPath, dataPath, progress, random);
}

std::unique_ptr<TAnimation> makeAnimationModel(AnimKind kind) {
  switch (kind) {
    case AnimKind::Anim2:
      return std::make_unique<TAnim2>();
    case AnimKind::Anim3:
      return std::make_unique<TAnim3>();
    case AnimKind::Anim4:
      return std::make_unique<TAnim4>();
    case AnimKind::Anim5:
      return std::make_unique<TAnim5>();
    case AnimKind::Anim:
      break;
  }
  return std::make_unique<TAnimation>();
}

}  // namespace quillotide
