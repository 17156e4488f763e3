#include "models/AnimExchange.h"

#include <algorithm>
#include <filesystem>
#include <unordered_set>

#include "app/Bmp.h"
#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Text.h"

namespace quillotide {

namespace {

const char* const kListName = "liste.txt";

std::string paletteName(int slot) { return "palette_" + std::to_string(slot) + ".txt"; }
std::string frameName(int slot, int frame) {
  return std::to_string(slot) + "_" + std::to_string(frame) + ".bmp";
}

struct Centre {
  int x = 0;
  int y = 0;
};

// liste.txt: groups of three lines "slot:frame", "CenterX:value", "CenterY:value"; a trailing
// incomplete group is ignored.
// A frame it does not name has its centre at 0, 0.
struct CentreTable {
  std::vector<std::vector<Centre>> bySlot;

  void set(int slot, int frame, Centre centre) {
    auto& frames = bySlot[static_cast<std::size_t>(slot)];
    if (static_cast<std::size_t>(frame) >= frames.size())
      frames.resize(static_cast<std::size_t>(frame) + 1);
    frames[static_cast<std::size_t>(frame)] = centre;
  }
  Centre at(int slot, int frame) const {
    const auto& frames = bySlot[static_cast<std::size_t>(slot)];
    return static_cast<std::size_t>(frame) < frames.size() ? frames[static_cast<std::size_t>(frame)]
                                                           : Centre{};
  }
};

// Piece `field` of the line split at ':' (empty pieces count); empty when the line has fewer.
std::string_view pieceOf(std::string_view line, std::size_t field) {
  for (; field > 0; --field) {
    const auto at = line.find(':');
    if (at == std::string_view::npos) return {};
    line.remove_prefix(at + 1);
  }
  return line.substr(0, line.find(':'));
}

std::int32_t listField(std::string_view line, std::size_t field, std::size_t lineNumber) {
  try {
    return parseInt(pieceOf(line, field));
  } catch (const Error& e) {
    throw Error(
        formatMessage("%s, line %d: %s", {kListName, std::to_string(lineNumber), e.what()}));
  }
}

// The lines of a text file as views into its bytes, which the caller keeps.
std::vector<std::string_view> linesOf(const Bytes& bytes) {
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  std::vector<std::string_view> lines;
  std::size_t pos = 0;
  std::string_view line;
  while (nextLine(text, pos, line)) lines.push_back(line);
  return lines;
}

CentreTable readCentres(const std::string& folder, int slots) {
  const Bytes text = readFile(joinPath(folder, kListName));
  const auto lines = linesOf(text);
  CentreTable table;
  table.bySlot.resize(static_cast<std::size_t>(std::max(slots, 0)));
  for (std::size_t i = 0; i + 2 < lines.size(); i += 3) {
    const int slot = listField(lines[i], 0, i + 1);
    const int frame = listField(lines[i], 1, i + 1);
    const int x = listField(lines[i + 1], 1, i + 2);
    const int y = listField(lines[i + 2], 1, i + 3);
    // Entries for slots or frames the body cannot have name nothing to import.
    if (slot < 0 || slot >= slots || frame < 0 || frame >= kMaxFolderFrames) continue;
    table.set(slot, frame, {x, y});
  }
  return table;
}

AnimPalette readPaletteFile(const std::string& path) {
  const Bytes text = readFile(path);
  const auto lines = linesOf(text);
  if (lines.size() < animlayout::kPaletteEntries)
    throw Error(formatMessage("%s has %d lines; a palette file needs 256.",
                              {path, std::to_string(lines.size())}));
  AnimPalette palette{};
  for (std::size_t i = 0; i < animlayout::kPaletteEntries; ++i) {
    try {
      palette[i] = static_cast<Colour16>(parseInt(lines[i]) & 0xFFFF);
    } catch (const Error& e) {
      throw Error(formatMessage("%s, line %d: %s", {path, std::to_string(i + 1), e.what()}));
    }
  }
  return palette;
}

// The regular files of a folder, listed once: an import asks for every frame name of every slot,
// and one listing costs less than a file lookup per name. Entries that are links (or of a type the
// listing does not tell) are looked up one by one, as is every name when the folder cannot be
// listed, so a name counts exactly when the file itself can be read.
class FolderFiles {
public:
  explicit FolderFiles(std::string folder) : m_folder(std::move(folder)) {
    std::error_code ec;
    std::filesystem::directory_iterator it(m_folder, ec);
    if (ec) return;
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
      if (ec) {
        m_names.clear();
        return;
      }
      std::error_code typeEc;
      const auto type = it->symlink_status(typeEc).type();
      if (typeEc) continue;
      const std::string name = it->path().filename().string();
      if (type == std::filesystem::file_type::regular ||
          (type == std::filesystem::file_type::symlink && fileExists(it->path().string())))
        m_names.insert(name);
    }
    m_listed = true;
  }

  bool has(const std::string& name) const {
    return m_listed ? m_names.count(name) > 0 : fileExists(joinPath(m_folder, name));
  }

private:
  std::string m_folder;
  bool m_listed = false;
  std::unordered_set<std::string> m_names;
};

}  // namespace

void AnimFolderWriter::writeSlot(const AnimFolderSlot& slot) {
  std::vector<std::string> palette;
  palette.reserve(animlayout::kPaletteEntries);
  for (Colour16 c : slot.palette) palette.push_back(std::to_string(c));
  writeTextLines(joinPath(m_folder, paletteName(slot.offset)), palette, m_batch);
  for (std::size_t f = 0; f < slot.frames.size(); ++f) {
    const AnimFrame& frame = slot.frames[f];
    m_list.push_back(std::to_string(slot.offset) + ":" + std::to_string(f));
    m_list.push_back("CenterX:" + std::to_string(frame.centerX));
    m_list.push_back("CenterY:" + std::to_string(frame.centerY));
    // A zero-size frame is a bitmap without pixels, so the numbering has no gap for the import.
    writeBmpFile(joinPath(m_folder, frameName(slot.offset, static_cast<int>(f))), frame.picture,
                 m_batch, ZeroSizeBitmaps::Allow);
  }
}

void AnimFolderWriter::finish() {
  writeTextLines(joinPath(m_folder, kListName), m_list, m_batch);
  m_batch.finish();
}

void writeAnimFolder(const std::string& folder, const std::vector<AnimFolderSlot>& slots,
                     Progress& progress) {
  AnimFolderWriter writer(folder);
  ProgressSteps steps(progress, static_cast<long long>(slots.size()));
  long long done = 0;
  for (const auto& slot : slots) {
    writer.writeSlot(slot);
    steps.at(++done);
  }
  writer.finish();
}

AnimFolderImport readAnimFolder(const std::string& folder, int slots, bool usePalette,
                                AnimTransparency transparency, Progress& progress) {
  const CentreTable centres = readCentres(folder, slots);
  const FolderFiles files(folder);
  AnimFolderImport result;
  result.blocks.resize(static_cast<std::size_t>(std::max(slots, 0)));
  ProgressSteps steps(progress, slots);
  for (int s = 0; s < slots; ++s) {
    std::optional<AnimPaletteBuilder> palette;
    if (usePalette) {
      const std::string path = joinPath(folder, paletteName(s));
      if (files.has(paletteName(s)))
        palette.emplace(readPaletteFile(path));
      else
        usePalette = false;
    }
    if (!palette) palette.emplace();

    // The frames are the bitmaps that exist from number 0 on; the first missing number ends them,
    // whatever liste.txt names.
    int frameCount = 0;
    while (frameCount < kMaxFolderFrames && files.has(frameName(s, frameCount))) ++frameCount;
    if (frameCount == 0) {
      steps.at(s + 1);
      continue;
    }

    std::vector<Bytes> frames;
    frames.reserve(static_cast<std::size_t>(frameCount));
    for (int f = 0; f < frameCount; ++f) {
      const Centre centre = centres.at(s, f);
      const std::string path = joinPath(folder, frameName(s, f));
      const Bitmap32 picture = readBmpFile(path, ZeroSizeBitmaps::Allow);
      const std::int64_t before = palette->problems();
      frames.push_back(encodeAnimFrame(picture, centre.x, centre.y, *palette, transparency, path));
      if (before == 0 && palette->problems() > 0 && result.firstProblemSlot < 0) {
        result.firstProblemSlot = s;
        result.firstProblemFrame = f;
        result.firstProblemColour = palette->firstProblemColour();
      }
    }
    result.colourProblems += palette->problems();
    result.blocks[static_cast<std::size_t>(s)] = buildAnimBlock(palette->palette(), frames);
    steps.at(s + 1);
  }
  return result;
}

namespace {

// The head of a ".kx" file: file id, body type, then one record per slot. A slot that has a block
// (`hasBlock`) gets the block's place in the file and its size (`blockSize`); the others keep
// their record as it is. Returns the head and the size of the blocks that follow it.
template <class HasBlock, class BlockSize>
std::pair<Bytes, std::uint64_t> kxHead(std::uint16_t bodyType, std::span<const IndexRecord> records,
                                       HasBlock hasBlock, BlockSize blockSize) {
  const std::size_t head = kxlayout::kTable + records.size() * kIndexRecordSize;
  std::uint64_t blocks = 0;
  for (std::size_t k = 0; k < records.size(); ++k)
    if (hasBlock(k)) blocks += blockSize(k);
  if (head + blocks > 0x7FFFFFFF) throw Error("The .kx file would grow past 2 GB.");
  ByteWriter w(head);
  w.u16(kxlayout::kFileId);
  w.u16(bodyType);
  std::uint64_t position = head;
  for (std::size_t k = 0; k < records.size(); ++k) {
    const IndexRecord& r = records[k];
    if (!hasBlock(k)) {
      w.i32(r.lookup);
      w.i32(r.length);
      w.i32(r.extra);
      continue;
    }
    w.i32(static_cast<std::int32_t>(position));
    w.i32(static_cast<std::int32_t>(blockSize(k)));
    w.i32(r.extra);
    position += blockSize(k);
  }
  return {w.take(), blocks};
}

}  // namespace

Bytes encodeKxHead(std::uint16_t bodyType, std::span<const IndexRecord> records) {
  return kxHead(
             bodyType, records, [&](std::size_t k) { return !records[k].isEmpty(); },
             [&](std::size_t k) {
               return static_cast<std::uint64_t>(static_cast<std::uint32_t>(records[k].length));
             })
      .first;
}

Bytes encodeKx(std::uint16_t bodyType, const std::vector<KxSlot>& slots) {
  std::vector<IndexRecord> records;
  records.reserve(slots.size());
  for (const auto& s : slots) records.push_back(s.record);
  auto [out, blocks] = kxHead(
      bodyType, records, [&](std::size_t k) { return !slots[k].record.isEmpty(); },
      [&](std::size_t k) { return static_cast<std::uint64_t>(slots[k].data.size()); });
  out.reserve(out.size() + static_cast<std::size_t>(blocks));
  for (const auto& s : slots)
    if (!s.record.isEmpty()) out.insert(out.end(), s.data.begin(), s.data.end());
  return out;
}

std::vector<KxSlot> decodeKx(std::span<const std::uint8_t> bytes, std::uint16_t bodyType,
                             int slots) {
  if (bytes.size() < 2 || loadU16(bytes.data()) != kxlayout::kFileId)
    throw Error("Not an Anim File.");
  if (bytes.size() < kxlayout::kTable)
    throw FormatError("The .kx file is cut short: it ends inside its header.");
  if (loadU16(bytes.data() + 2) != bodyType) throw Error("Wrong Anim Id ( Type ).");
  const std::size_t tableEnd =
      kxlayout::kTable + static_cast<std::size_t>(slots) * kIndexRecordSize;
  if (bytes.size() < tableEnd)
    throw FormatError(formatMessage(
        "The .kx file is cut short: its %d bytes do not hold the %d records of the body.",
        {std::to_string(bytes.size()), std::to_string(slots)}));
  std::vector<KxSlot> out(static_cast<std::size_t>(slots));
  ByteReader r(bytes, ".kx file");
  r.seek(kxlayout::kTable);
  for (auto& s : out) {
    s.record.lookup = r.readI32();
    s.record.length = r.readI32();
    s.record.extra = r.readI32();
  }
  for (std::size_t k = 0; k < out.size(); ++k) {
    auto& s = out[k];
    if (s.record.isEmpty()) continue;
    const auto lookup = static_cast<std::uint64_t>(static_cast<std::uint32_t>(s.record.lookup));
    const auto length = static_cast<std::uint64_t>(s.record.length);
    if (s.record.lookup < 0 || lookup + length > bytes.size())
      throw FormatError(formatMessage(
          "The .kx file is cut short: slot %d points at %d bytes from offset %d, past its end (%d "
          "bytes).",
          {std::to_string(k), std::to_string(length), std::to_string(s.record.lookup),
           std::to_string(bytes.size())}));
    const auto data =
        bytes.subspan(static_cast<std::size_t>(lookup), static_cast<std::size_t>(length));
    s.data.assign(data.begin(), data.end());
  }
  return out;
}

}  // namespace quillotide
