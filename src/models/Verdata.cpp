#include "models/Verdata.h"

#include <algorithm>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Image.h"
#include "app/IndexedFile.h"
#include "app/Text.h"
#include "models/AnimExchange.h"
#include "models/Animation.h"
#include "models/Art.h"
#include "models/Gump.h"
#include "models/Textures.h"

namespace quillotide {

using namespace verdatalayout;

namespace {

constexpr std::uint32_t kStaticHeaderValue = 1234;
constexpr std::size_t kMaxImage = 0x7FFFFFFF;

// Whether (x, y) of a 44 x 44 land picture is one of the 1012 stored diamond pixels.
bool inLandDiamond(int x, int y) {
  if (y < 22) return x >= 21 - y && x <= 22 + y;
  const int i = y - 22;
  return x >= i && x <= 43 - i;
}

// Static art as the patch file stores it: the art format, but only colour 0 is left out,
// so white stays an ordinary colour.
Bytes encodeVerdataStatic(const Bitmap32& picture) {
  const int width = picture.width;
  const int height = picture.height;
  if (picture.empty() || width > 0xFFFF || height > 0xFFFF ||
      static_cast<std::int64_t>(width) * height > kMaxStaticPixels)
    throw Error(formatMessage("A static of %dx%d pixels cannot be stored.",
                              {std::to_string(width), std::to_string(height)}));
  ByteWriter rows;
  std::vector<std::uint16_t> table(static_cast<std::size_t>(height));
  std::vector<Colour16> run;
  run.reserve(static_cast<std::size_t>(kMaxStaticRun));
  for (int y = 0; y < height; ++y) {
    if (rows.size() / 2 > 0xFFFF)
      throw Error(formatMessage("A static of %dx%d pixels holds too many runs for its row table.",
                                {std::to_string(width), std::to_string(height)}));
    table[static_cast<std::size_t>(y)] = static_cast<std::uint16_t>(rows.size() / 2);
    int gap = 0;
    auto flush = [&] {
      rows.u16(static_cast<std::uint16_t>(gap));
      rows.u16(static_cast<std::uint16_t>(run.size()));
      for (Colour16 c : run) rows.u16(c);
      run.clear();
      gap = 0;
    };
    for (int x = 0; x < width; ++x) {
      const Colour16 c = pixelToColour16(picture.at(x, y), 0);
      if (c == 0) {
        if (!run.empty()) flush();
        ++gap;
        continue;
      }
      run.push_back(c);
      if (run.size() == static_cast<std::size_t>(kMaxStaticRun)) flush();
    }
    if (!run.empty()) flush();
    rows.u32(0);
  }
  ByteWriter out(8 + 2 * table.size() + rows.size());
  out.u32(kStaticHeaderValue);
  out.u16(static_cast<std::uint16_t>(width));
  out.u16(static_cast<std::uint16_t>(height));
  for (std::uint16_t t : table) out.u16(t);
  out.bytes(rows.data());
  return out.take();
}

std::string patchName(std::int32_t fileId, std::int32_t block) {
  return formatMessage("The patch of %s block %s", {verdataFileName(fileId),
                                                    hexLabel(static_cast<std::uint32_t>(block))});
}

std::int32_t animBlock(int body, int offset) {
  return static_cast<std::int32_t>(animSlotTable(AnimKind::Anim).firstSlot(body) + offset);
}

void checkBody(int body) {
  if (body < 0 || body > 0xFFFF)
    throw Error(formatMessage("Body %d is out of range (0 to 65535).", {std::to_string(body)}));
}

// The highest id of each kind, and the word that names one of its slots.
struct KindRange {
  std::int64_t last;
  const char* name;
};

KindRange rangeOf(VerdataKind kind) {
  switch (kind) {
    case VerdataKind::Land:
      return {kLandTileCount - 1, "Land tile"};
    case VerdataKind::Static:
      return {kMaxStaticId, "Static"};
    case VerdataKind::Gump:
      return {0xFFFF, "Gump"};
    case VerdataKind::Texture:
      return {0x3FFF, "Texture"};
    case VerdataKind::Anim:
      break;
  }
  return {0xFFFF, "Body"};
}

std::int32_t checkedId(VerdataKind kind, std::int64_t id) {
  const KindRange range = rangeOf(kind);
  if (id < 0 || id > range.last)
    throw Error(
        formatMessage("%s %s is out of range (0 to %s).",
                      {range.name,
                       id < 0 || id > 0xFFFFFFFFll ? std::to_string(id)
                                                   : hexLabel(static_cast<std::uint32_t>(id)),
                       hexLabel(static_cast<std::uint32_t>(range.last))}));
  return static_cast<std::int32_t>(id);
}

}  // namespace

VerdataSlot verdataSlotOf(VerdataKind kind, std::int64_t id) {
  const std::int32_t checked = checkedId(kind, id);
  switch (kind) {
    case VerdataKind::Land:
      return {verdatafile::kArt, checked};
    case VerdataKind::Static:
      return {verdatafile::kArt, verdatafile::kStaticBlockBase + checked};
    case VerdataKind::Gump:
      return {verdatafile::kGumps, checked};
    case VerdataKind::Texture:
      return {verdatafile::kTextures, checked};
    case VerdataKind::Anim:
      break;
  }
  return {verdatafile::kAnimations, animBlock(checked, 0)};
}

std::string verdataFileName(std::int32_t fileId) {
  switch (fileId) {
    case verdatafile::kArt: return "Art";
    case verdatafile::kAnimations: return "Animations";
    case verdatafile::kTextures: return "Textures";
    case verdatafile::kGumps: return "Gumps";
    default: return std::to_string(fileId);
  }
}

void TVerdata::load(const std::string& path) { loadBytes(readFile(path), path); }

void TVerdata::loadBytes(Bytes image, const std::string& path) {
  ByteReader r(image, path);
  const std::int32_t count = image.size() >= kHeader ? r.readI32() : 0;
  if (image.size() < kHeader || count < 0 ||
      static_cast<std::uint64_t>(count) > (image.size() - kHeader) / kRecordSize)
    throw FormatError(formatMessage(
        "%s is not a patch file: it claims %d records, but its %d bytes cannot hold them.",
        {path, std::to_string(count), std::to_string(image.size())}));
  std::vector<TVerIndex> records(static_cast<std::size_t>(count));
  for (auto& rec : records) {
    rec.fileId = r.readI32();
    rec.block = r.readI32();
    rec.lookup = r.readI32();
    rec.length = r.readI32();
    rec.extra = r.readI32();
  }
  m_image = std::move(image);
  m_records = std::move(records);
  m_loaded = true;
}

void TVerdata::requireLoaded() const {
  if (!m_loaded) throw Error(notLoadedMessage("Verdata"));
}

void TVerdata::save(const std::string& path) const {
  Progress silent;
  save(path, silent);
}

void TVerdata::save(const std::string& path, Progress& progress) const {
  writeFileAtomic(path, compacted(progress));
}

Bytes TVerdata::compacted(Progress& progress) const {
  requireLoaded();
  const std::size_t n = m_records.size();
  const std::size_t head = kHeader + n * kRecordSize;
  std::uint64_t total = head;
  for (std::size_t i = 0; i < n; ++i) {
    const TVerIndex& rec = m_records[i];
    if (rec.lookup == -1 || rec.length < 0) continue;
    if (isDamaged(rec))
      throw FormatError(formatMessage(
          "Patch record %d is damaged and keeps the patch file from being saved: %s points at %d "
          "bytes from offset %d, outside the patch file (%d bytes). Remove record %d to save the "
          "others.",
          {std::to_string(i), patchName(rec.fileId, rec.block), std::to_string(rec.length),
           std::to_string(rec.lookup), std::to_string(m_image.size()), std::to_string(i)}));
    total += static_cast<std::uint64_t>(rec.length);
  }
  if (total > kMaxImage) throw Error("The patch file would grow past 2 GB.");
  ByteWriter out(static_cast<std::size_t>(total));
  out.i32(static_cast<std::int32_t>(n));
  out.zeros(n * kRecordSize);
  ProgressSteps steps(progress, static_cast<long long>(n));
  std::size_t i = 0;
  for (const auto& rec : m_records) {
    const std::size_t at = kHeader + i * kRecordSize;
    out.patchU32(at, static_cast<std::uint32_t>(rec.fileId));
    out.patchU32(at + 4, static_cast<std::uint32_t>(rec.block));
    // A negative length has no data to copy, whatever its value.
    if (rec.lookup == -1 || rec.length < 0) {
      for (std::size_t f = 8; f < kRecordSize; f += 4) out.patchU32(at + f, 0xFFFFFFFFu);
    } else {
      const auto bytes = dataOf(rec);
      out.patchU32(at + 8, static_cast<std::uint32_t>(out.size()));
      out.patchU32(at + 12, static_cast<std::uint32_t>(rec.length));
      out.patchU32(at + 16, static_cast<std::uint32_t>(rec.extra));
      out.bytes(bytes);
    }
    steps.at(static_cast<long long>(++i));
  }
  return out.take();
}

const TVerIndex* TVerdata::first(std::int32_t fileId, std::int32_t block) const {
  if (!m_loaded) return nullptr;
  for (const auto& rec : m_records)
    if (rec.fileId == fileId && rec.block == block) return &rec;
  return nullptr;
}

std::optional<TVerIndex> TVerdata::findPatch(std::int32_t fileId, std::int32_t block) const {
  if (const auto* rec = first(fileId, block)) return *rec;
  return std::nullopt;
}

bool TVerdata::isPatched(std::int32_t fileId, std::int32_t block) const {
  if (!m_loaded) return false;
  if (fileId == verdatafile::kAnimations) {
    if (block < 0 || block > 0xFFFF) return false;
    block = animBlock(block, 0);
  }
  return std::any_of(m_records.begin(), m_records.end(), [&](const TVerIndex& rec) {
    return rec.fileId == fileId && rec.block == block && rec.lookup != -1;
  });
}

bool TVerdata::isDamaged(const TVerIndex& rec) const {
  if (rec.lookup == -1 || rec.length < 0) return false;
  return rec.lookup < 0 ||
         static_cast<std::uint64_t>(rec.lookup) + static_cast<std::uint64_t>(rec.length) >
             m_image.size();
}

std::span<const std::uint8_t> TVerdata::dataOf(const TVerIndex& rec) const {
  if (rec.lookup < 0 || rec.length < 0 ||
      static_cast<std::uint64_t>(rec.lookup) + static_cast<std::uint64_t>(rec.length) > m_image.size())
    throw FormatError(formatMessage("%s points at %d bytes from offset %d, outside the patch file "
                                    "(%d bytes).",
                                    {patchName(rec.fileId, rec.block), std::to_string(rec.length),
                                     std::to_string(rec.lookup), std::to_string(m_image.size())}));
  return std::span<const std::uint8_t>(m_image).subspan(static_cast<std::size_t>(rec.lookup),
                                                        static_cast<std::size_t>(rec.length));
}

std::optional<Bytes> TVerdata::patchData(std::int32_t fileId, std::int32_t block) const {
  const auto* rec = first(fileId, block);
  if (!rec || !rec->hasData()) return std::nullopt;
  const auto s = dataOf(*rec);
  return Bytes(s.begin(), s.end());
}

bool TVerdata::removePatch(std::int32_t fileId, std::int32_t block) {
  const auto* rec = first(fileId, block);
  if (!rec) return false;
  m_records.erase(m_records.begin() + (rec - m_records.data()));
  return true;
}

void TVerdata::removeRecord(std::size_t index) {
  requireLoaded();
  if (index >= m_records.size())
    throw Error(formatMessage("There is no patch record %d; the list holds %d records.",
                              {std::to_string(index), std::to_string(m_records.size())}));
  m_records.erase(m_records.begin() + static_cast<std::ptrdiff_t>(index));
}

void TVerdata::storePatch(std::int32_t fileId, std::int32_t block,
                          std::span<const std::uint8_t> bytes, std::int32_t extra) {
  requireLoaded();
  if (m_image.size() + bytes.size() > kMaxImage) throw Error("The patch file would grow past 2 GB.");
  const TVerIndex rec{fileId, block, static_cast<std::int32_t>(m_image.size()),
                      static_cast<std::int32_t>(bytes.size()), extra};
  m_image.insert(m_image.end(), bytes.begin(), bytes.end());
  for (auto& existing : m_records) {
    if (existing.fileId == fileId && existing.block == block) {
      existing = rec;
      return;
    }
  }
  m_records.push_back(rec);
}

Bitmap32 TVerdata::landPicture(int tile) const {
  verdataSlotOf(VerdataKind::Land, tile);
  const auto data = patchData(verdatafile::kArt, tile);
  if (!data) return {};
  Bitmap32 picture;
  try {
    picture = decodeLandTile(*data);
  } catch (const FormatError& e) {
    throw FormatError(patchName(verdatafile::kArt, tile) + ": " + e.what());
  }
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x)
      if (!inLandDiamond(x, y)) picture.at(x, y) = 0;
  return picture;
}

Bitmap32 TVerdata::staticPicture(int id) const {
  const std::int32_t block = verdataSlotOf(VerdataKind::Static, id).block;
  const auto data = patchData(verdatafile::kArt, block);
  if (!data) return {};
  try {
    const auto size = staticArtSize(*data);
    if (!size || size->first <= 0 || size->second <= 0 ||
        static_cast<std::int64_t>(size->first) * size->second > kMaxStaticPixels)
      throw FormatError("its header gives no picture size that can be drawn");
    Bitmap32 picture(size->first, size->second, 0);
    drawStaticArtHued(*data, 0, 0, nullptr, false, picture);
    return picture;
  } catch (const FormatError& e) {
    throw FormatError(patchName(verdatafile::kArt, block) + ": " + e.what());
  }
}

Bitmap32 TVerdata::texturePicture(int id) const {
  verdataSlotOf(VerdataKind::Texture, id);
  const auto data = patchData(verdatafile::kTextures, id);
  if (!data) return {};
  try {
    return decodeTexture(*data);
  } catch (const FormatError& e) {
    throw FormatError(patchName(verdatafile::kTextures, id) + ": " + e.what());
  }
}

Bitmap32 TVerdata::gumpPicture(int id) const {
  verdataSlotOf(VerdataKind::Gump, id);
  const auto* rec = first(verdatafile::kGumps, id);
  if (!rec || !rec->hasData()) return {};
  try {
    return decodeGump(dataOf(*rec), gumpWidthOf(rec->extra), gumpHeightOf(rec->extra));
  } catch (const FormatError& e) {
    throw FormatError(patchName(verdatafile::kGumps, id) + ": " + e.what());
  }
}

AnimFrame TVerdata::animFrame(int body) const {
  if (body < 0 || body > 0xFFFF) return {};
  const std::int32_t block = animBlock(body, 0);
  const auto data = patchData(verdatafile::kAnimations, block);
  if (!data) return {};
  try {
    const AnimBlock view(*data);
    if (view.frameCount() == 0) return {};
    return view.frame(0, 0);
  } catch (const FormatError& e) {
    throw FormatError(patchName(verdatafile::kAnimations, block) + ": " + e.what());
  }
}

std::optional<std::vector<AnimFrame>> TVerdata::animSlotFrames(int body, int offset) const {
  if (body < 0 || body > 0xFFFF || offset < 0 ||
      offset >= animSlotTable(AnimKind::Anim).slotsPerBody(body))
    return std::nullopt;
  const std::int32_t block = animBlock(body, offset);
  const auto data = patchData(verdatafile::kAnimations, block);
  if (!data) return std::nullopt;
  try {
    return AnimBlock(*data).frames(0, ZeroSizeRuns::Skip);
  } catch (const FormatError& e) {
    throw FormatError(patchName(verdatafile::kAnimations, block) + ": " + e.what());
  }
}

void TVerdata::addStatic(int id, const Bitmap32& picture) {
  requireLoaded();
  storePatch(verdatafile::kArt, verdataSlotOf(VerdataKind::Static, id).block,
             encodeVerdataStatic(picture), 0);
}

void TVerdata::addLand(int tile, const Bitmap32& picture) {
  requireLoaded();
  storePatch(verdatafile::kArt, verdataSlotOf(VerdataKind::Land, tile).block,
             encodeLandTile(picture), 0);
}

void TVerdata::addTexture(int id, const Bitmap32& picture) {
  requireLoaded();
  verdataSlotOf(VerdataKind::Texture, id);
  if (!((picture.width == 64 && picture.height == 64) ||
        (picture.width == 128 && picture.height == 128)))
    throw Error("Bitmap muss 64x64 oder 128x128 sein.");
  storePatch(verdatafile::kTextures, id, encodeTexture(picture), picture.height == 64 ? 0 : 1);
}

void TVerdata::addGump(int id, const Bitmap32& picture) {
  requireLoaded();
  verdataSlotOf(VerdataKind::Gump, id);
  storePatch(verdatafile::kGumps, id, encodeGump(picture), gumpExtra(picture.width, picture.height));
}

void TVerdata::addStaticFile(int id, const std::string& path) {
  requireLoaded();
  verdataSlotOf(VerdataKind::Static, id);
  addStatic(id, readImageFile(path));
}
void TVerdata::addLandFile(int tile, const std::string& path) {
  requireLoaded();
  verdataSlotOf(VerdataKind::Land, tile);
  addLand(tile, readImageFile(path));
}
void TVerdata::addTextureFile(int id, const std::string& path) {
  requireLoaded();
  verdataSlotOf(VerdataKind::Texture, id);
  addTexture(id, readImageFile(path));
}
void TVerdata::addGumpFile(int id, const std::string& path) {
  requireLoaded();
  verdataSlotOf(VerdataKind::Gump, id);
  addGump(id, readImageFile(path));
}

VerdataAnimReport TVerdata::addAnimFromDirectory(int body, const std::string& folder,
                                                 bool usePalette, Progress& progress) {
  requireLoaded();
  checkBody(body);
  const int slots = animSlotTable(AnimKind::Anim).slotsPerBody(body);
  const AnimFolderImport folderImport =
      readAnimFolder(folder, slots, usePalette, AnimTransparency::BlackOnly, progress);
  for (int k = 0; k < slots; ++k)
    if (const auto& block = folderImport.blocks[static_cast<std::size_t>(k)])
      storePatch(verdatafile::kAnimations, animBlock(body, k), *block, 0);
  VerdataAnimReport report{folderImport.colourProblems, {}};
  if (report.colourProblems > 0) {
    report.message = "Farbe Zuviel: " + std::to_string(folderImport.firstProblemSlot) + ":" +
                     std::to_string(folderImport.firstProblemFrame) + ":" +
                     std::to_string(folderImport.firstProblemColour);
    if (report.colourProblems > 1)
      report.message += " (" + std::to_string(report.colourProblems) +
                        " pixels in all found no place in the palette)";
  }
  return report;
}

void TVerdata::addAnimFromFile(int body, const std::string& path, Progress& progress) {
  requireLoaded();
  checkBody(body);
  const AnimSlotTable& table = animSlotTable(AnimKind::Anim);
  const int slots = table.slotsPerBody(body);
  const Bytes file = readFile(path);
  std::vector<KxSlot> kx;
  try {
    kx = decodeKx(file, static_cast<std::uint16_t>(table.bodyType(body)), slots);
  } catch (const FormatError& e) {
    throw FormatError(path + ": " + e.what());
  }
  std::uint64_t total = m_image.size();
  for (const auto& s : kx) total += s.data.size();
  if (total > kMaxImage) throw Error("The patch file would grow past 2 GB.");
  ProgressSteps steps(progress, slots);
  for (int k = 0; k < slots; ++k) {
    const auto& s = kx[static_cast<std::size_t>(k)];
    if (!s.record.isEmpty())
      storePatch(verdatafile::kAnimations, animBlock(body, k), s.data, s.record.extra);
    steps.at(k + 1);
  }
}

void TVerdata::exportAnimToFile(int body, const std::string& path, Progress& progress) const {
  requireLoaded();
  checkBody(body);
  const AnimSlotTable& table = animSlotTable(AnimKind::Anim);
  const int slots = table.slotsPerBody(body);
  std::vector<KxSlot> kx(static_cast<std::size_t>(slots));
  {
    ProgressSteps steps(progress, slots);
    for (int k = 0; k < slots; ++k) {
      auto& s = kx[static_cast<std::size_t>(k)];
      const auto* rec = first(verdatafile::kAnimations, animBlock(body, k));
      s.record = rec ? IndexRecord{rec->lookup, rec->length, rec->extra} : IndexRecord{-1, 0, 0};
      if (!s.record.isEmpty()) {
        const auto bytes = dataOf(*rec);
        s.data.assign(bytes.begin(), bytes.end());
      }
      steps.at(k + 1);
    }
  }
  writeFileAtomic(path, encodeKx(static_cast<std::uint16_t>(table.bodyType(body)), kx));
}

AnimStrayReport TVerdata::exportAnimToDirectory(int body, const std::string& folder,
                                                Progress& progress) const {
  requireLoaded();
  checkBody(body);
  const int slots = animSlotTable(AnimKind::Anim).slotsPerBody(body);
  auto decode = [&](int k) -> std::optional<AnimFolderSlot> {
    const auto* rec = first(verdatafile::kAnimations, animBlock(body, k));
    if (!rec || !rec->hasData()) return std::nullopt;
    try {
      const AnimBlock view(dataOf(*rec));
      return AnimFolderSlot{k, view.palette(), view.frames(0, ZeroSizeRuns::Skip)};
    } catch (const FormatError& e) {
      throw FormatError(patchName(rec->fileId, rec->block) + ": " + e.what());
    }
  };
  // A damaged patch stops the export before the first file is written.
  AnimStrayReport stray;
  for (int k = 0; k < slots; ++k)
    if (const auto slot = decode(k))
      for (const AnimFrame& f : slot->frames) stray.add(f);
  AnimFolderWriter writer(folder);
  ProgressSteps steps(progress, slots);
  for (int k = 0; k < slots; ++k) {
    if (const auto slot = decode(k)) writer.writeSlot(*slot);
    steps.at(k + 1);
  }
  writer.finish();
  return stray;
}

}  // namespace quillotide
