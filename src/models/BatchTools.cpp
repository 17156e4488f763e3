#include "models/BatchTools.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <string_view>

#include "app/Bmp.h"
#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Text.h"
#include "models/Animation.h"
#include "models/Art.h"
#include "models/Gump.h"
#include "models/Textures.h"
#include "models/Tiledata.h"

namespace quillotide {

namespace {

namespace EmptyLayout {
constexpr std::int64_t kAnimRecords = 148810;
constexpr std::int64_t kArtRecords = 0x8000;
constexpr std::int64_t kGumpRecords = 0xEF00;
constexpr std::int64_t kTextureRecords = 0x4000;
constexpr std::int64_t kSoundRecords = 4096;
constexpr std::int64_t kStaticsRecords = 0x60000;
// 0x60000 blocks of 196 bytes: 6144 x 4096 cells of tile 0 at altitude 0.
constexpr std::uint64_t kMapBytes = 0x60000ull * 196;
static_assert(kMapBytes == 0x4980000);
// 0x4000 land records and 0x8000 static records of the older layout, with their group headers.
constexpr std::uint64_t kTiledataBytes = 1644544;
// A patch file of 0 entries.
constexpr std::uint64_t kVerdataBytes = 4;
}  // namespace EmptyLayout

namespace BmpLayout {
constexpr std::size_t kPixelOffset = 10;
constexpr std::size_t kInfoSize = 14;
constexpr std::size_t kWidth = 18;
constexpr std::size_t kHeight = 22;
constexpr std::size_t kBitCount = 28;
constexpr std::size_t kCompression = 30;
constexpr std::size_t kImageSize = 34;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kRgb = 0;
constexpr std::uint32_t kBitfields = 3;
constexpr std::uint32_t kAlphaBitfields = 6;
}  // namespace BmpLayout

// The first gump slot that shows a creature's paperdoll: gump g belongs to body g - 50000.
constexpr std::int64_t kFirstBodyGump = 50000;

std::string idText(std::int64_t id) {
  return id < 0 || id > 0xFFFFFFFFll ? std::to_string(id)
                                     : hexLabel(static_cast<std::uint32_t>(id));
}

const char* kindNoun(PictureKind kind) {
  switch (kind) {
    case PictureKind::ArtLand:
      return "Land tile";
    case PictureKind::ArtStatic:
      return "Static";
    case PictureKind::Gumps:
      return "Gump";
    case PictureKind::Textures:
      return "Texture";
  }
  return "Slot";
}

std::int64_t lastIdOf(PictureKind kind) {
  return kind == PictureKind::ArtLand ? kLandTileCount - 1 : kMaxStaticId;
}

bool pictureModelLoaded(const BatchModels& m, PictureKind kind) {
  switch (kind) {
    case PictureKind::ArtLand:
    case PictureKind::ArtStatic:
      return m.art && m.art->isLoaded();
    case PictureKind::Gumps:
      return m.gumps && m.gumps->isLoaded();
    case PictureKind::Textures:
      return m.textures && m.textures->isLoaded();
  }
  return false;
}

std::optional<PictureKind> pictureKindOf(AutopatchKind kind) {
  switch (kind) {
    case AutopatchKind::Animations:
      return std::nullopt;
    case AutopatchKind::ArtLand:
      return PictureKind::ArtLand;
    case AutopatchKind::ArtStatic:
      return PictureKind::ArtStatic;
    case AutopatchKind::Gumps:
      return PictureKind::Gumps;
    case AutopatchKind::Textures:
      return PictureKind::Textures;
  }
  return std::nullopt;
}

// A name from a list line, taken from the list's folder unless it is absolute.
std::string resolveListName(const std::string& listFolder, const std::string& name) {
  const std::filesystem::path p(name);
  if (p.is_absolute() || listFolder.empty()) return name;
  return (std::filesystem::path(listFolder) / p).string();
}

std::string folderOfFile(const std::string& path) {
  return std::filesystem::path(path).parent_path().string();
}

void requireFileExists(const std::string& path) {
  if (!fileExists(path)) throw FileError(formatMessage("Cannot open file %s", {path}));
}

void applyPictureLine(const BatchModels& m, PictureKind kind, std::string_view line,
                      const std::string& listFolder) {
  const std::size_t blank = line.find(' ');
  if (blank == std::string_view::npos)
    throw Error("The line holds no blank between the id and the file name.");
  const std::int64_t id = parseInt(line.substr(0, blank));
  requireSlotInRange(kind, id);
  const std::string rest(line.substr(blank + 1));
  const bool remove = rest == "remove" || rest == "delete";
  std::string path;
  if (!remove) {
    if (rest.empty()) throw Error("The line names no file.");
    path = resolveListName(listFolder, rest);
    requireFileExists(path);
  }
  switch (kind) {
    case PictureKind::ArtLand:
      if (remove)
        m.art->deleteLand(id);
      else
        m.art->importLand(id, path);
      break;
    case PictureKind::ArtStatic:
      if (remove)
        m.art->deleteStatic(id);
      else
        m.art->importStatic(id, path);
      break;
    case PictureKind::Gumps:
      if (remove)
        m.gumps->deleteGump(id);
      else
        m.gumps->importGump(id, path);
      break;
    case PictureKind::Textures:
      if (remove)
        m.textures->deleteTexture(id);
      else
        m.textures->importTexture(id, path);
      break;
  }
}

void applyAnimationLine(TAnimation& animation, std::string_view line,
                        const std::string& listFolder) {
  const std::vector<std::string> fields = split(line, " ");
  if (fields.size() < 2 || fields.size() > 4)
    throw Error("The line does not read \"BODY PATH [KIND [PALETTE]]\".");
  const std::int64_t body = parseInt(fields[0]);
  if (body < 0 || body > 0xFFFF)
    throw Error(formatMessage("Body %s is out of range (0 to 65535).", {std::to_string(body)}));
  if (fields[1].empty()) throw Error("The line names no file.");
  const std::string path = resolveListName(listFolder, fields[1]);
  const bool kxFile = fields.size() < 3 || fields[2] == "1";
  const bool usePalette = fields.size() < 4 || fields[3] == "1";
  Progress silent;
  if (kxFile) {
    requireFileExists(path);
    animation.importFromFile(static_cast<int>(body), path, silent);
  } else {
    if (!std::filesystem::is_directory(path))
      throwCannotOpen(path, std::filesystem::exists(path) ? ENOTDIR : ENOENT);
    animation.importFromDirectory(static_cast<int>(body), path, usePalette, silent);
  }
}

// Writes count empty records (-1, -1, -1) to the file in pieces, so no index is built whole.
void writeEmptyRecords(AtomicFile& file, std::int64_t count) {
  constexpr std::int64_t kChunk = 0x4000;
  Bytes chunk(static_cast<std::size_t>(kChunk) * kIndexRecordSize, 0xFF);
  for (std::int64_t done = 0; done < count; done += kChunk) {
    const auto n = static_cast<std::size_t>(std::min(kChunk, count - done)) * kIndexRecordSize;
    file.write(std::span<const std::uint8_t>(chunk.data(), n));
  }
}

void writeZeros(AtomicFile& file, std::uint64_t count) {
  const Bytes chunk(0x100000, 0);
  for (std::uint64_t done = 0; done < count; done += chunk.size()) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), count - done));
    file.write(std::span<const std::uint8_t>(chunk.data(), n));
  }
}

}  // namespace

std::string slotName(std::int64_t slot) {
  const auto v = static_cast<std::uint32_t>(slot);
  const char* prefix = v < 16 ? "0x000" : v < 256 ? "0x00" : v < 4096 ? "0x0" : "0x";
  return prefix + hexDigits(v);
}

void requireSlotInRange(PictureKind kind, std::int64_t id) {
  const std::int64_t last = lastIdOf(kind);
  if (id < 0 || id > last)
    throw Error(
        formatMessage("%s %s is out of range (0x0 to %s).",
                      {kindNoun(kind), idText(id), hexLabel(static_cast<std::uint32_t>(last))}));
}

// ---- Autopatch

std::string AutopatchResult::message() const {
  const char* pattern = "%d Arttiles patched.";
  if (kind == AutopatchKind::Gumps) pattern = "%d Gumps patched.";
  if (kind == AutopatchKind::Textures) pattern = "%d Textures patched.";
  if (kind == AutopatchKind::Animations) pattern = "%d Animations patched.";
  std::string text = formatMessage(pattern, {std::to_string(patched)});
  if (failures.empty()) return text;
  text += '\n';
  text += formatMessage(failures.size() == 1 ? "%d line failed:" : "%d lines failed:",
                        {std::to_string(failures.size())});
  for (const auto& f : failures) {
    text += '\n';
    text += formatMessage("Line %d: %s", {std::to_string(f.line), f.message});
  }
  return text;
}

AutopatchResult autopatch(const BatchModels& models, AutopatchKind kind,
                          const std::string& listPath, Progress& progress,
                          const std::function<void()>& afterLine) {
  const auto pictureKind = pictureKindOf(kind);
  const bool loaded = pictureKind ? pictureModelLoaded(models, *pictureKind)
                                  : models.animation && models.animation->isLoaded();
  if (!loaded) throw Error("Muls not loaded.");
  const Bytes bytes = readFile(listPath);
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const std::string listFolder = folderOfFile(listPath);
  AutopatchResult result;
  result.kind = kind;
  ProgressSteps steps(progress, static_cast<long long>(text.size()));
  std::size_t pos = 0;
  std::string_view line;
  int number = 0;
  for (;;) {
    steps.at(static_cast<long long>(pos));
    if (!nextLine(text, pos, line)) break;
    ++number;
    if (trim(line).empty()) continue;
    try {
      if (pictureKind)
        applyPictureLine(models, *pictureKind, line, listFolder);
      else
        applyAnimationLine(*models.animation, line, listFolder);
      ++result.patched;
    } catch (const Error& e) {
      result.failures.push_back({number, e.what()});
    }
    if (afterLine) afterLine();
  }
  return result;
}

// ---- Extract

const char* extractFolderName(PictureKind kind) {
  switch (kind) {
    case PictureKind::ArtLand:
      return "Artmap";
    case PictureKind::ArtStatic:
      return "Artstatic";
    case PictureKind::Gumps:
      return "Gumps";
    case PictureKind::Textures:
      return "Textures";
  }
  return "Extract";
}

ExtractResult extractPictures(const BatchModels& m, PictureKind kind, const std::string& folder,
                              Progress& progress) {
  if (!pictureModelLoaded(m, kind)) throw Error("Muls not loaded.");
  std::int64_t count = 0;
  std::function<bool(std::int64_t)> exists;
  std::function<Bitmap32(std::int64_t)> picture;
  switch (kind) {
    case PictureKind::ArtLand:
      count = kLandTileCount;
      exists = [&m](std::int64_t s) { return m.art->landExists(s); };
      picture = [&m](std::int64_t s) { return m.art->landPicture(s); };
      break;
    case PictureKind::ArtStatic:
      count = std::min(m.art->staticCount(), kMaxStaticId + 1);
      exists = [&m](std::int64_t s) { return m.art->staticExists(s); };
      picture = [&m](std::int64_t s) { return m.art->staticPicture(s); };
      break;
    case PictureKind::Gumps:
      count = std::clamp<std::int64_t>(m.gumps->gumpCount(), 0xEF00, kMaxStaticId + 1);
      exists = [&m](std::int64_t s) { return m.gumps->gumpExists(s); };
      picture = [&m](std::int64_t s) { return m.gumps->gumpPicture(s); };
      break;
    case PictureKind::Textures:
      count = std::clamp<std::int64_t>(m.textures->textureCount(), 0x4000, kMaxStaticId + 1);
      exists = [&m](std::int64_t s) { return m.textures->textureExists(s); };
      picture = [&m](std::int64_t s) { return m.textures->texturePicture(s); };
      break;
  }
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (!std::filesystem::is_directory(folder))
    throwCannotCreate(folder, ec ? ec.value() : ENOTDIR);
  ExtractResult result;
  std::vector<std::string> lines;
  WriteBatch batch;
  {
    ProgressSteps steps(progress, count > 1 ? count - 1 : 1);
    for (std::int64_t s = 0; s < count; ++s) {
      steps.at(s);
      if (!exists(s)) continue;
      Bitmap32 bitmap;
      try {
        bitmap = picture(s);
      } catch (const FormatError& e) {
        result.damaged.push_back(e.what());
        continue;
      }
      if (bitmap.empty()) continue;
      const std::string name = slotName(s);
      writeBmpFile(joinPath(folder, name + ".bmp"), bitmap, batch);
      lines.push_back(name + " " + name + ".bmp");
      ++result.pictures;
    }
  }
  result.listPath = joinPath(folder, "list.txt");
  writeTextLines(result.listPath, lines, batch);
  batch.finish();
  return result;
}

// ---- Create empty

std::vector<std::string> emptyFileNames(EmptyKind kind) {
  switch (kind) {
    case EmptyKind::Anim:
      return {"anim.mul", "anim.idx"};
    case EmptyKind::Art:
      return {"art.mul", "artidx.mul"};
    case EmptyKind::Gumps:
      return {"gumpart.mul", "gumpidx.mul"};
    case EmptyKind::Textures:
      return {"texmaps.mul", "texidx.mul"};
    case EmptyKind::Sound:
      return {"sound.mul", "soundidx.mul"};
    case EmptyKind::Statics:
      return {"statics0.mul", "staidx0.mul"};
    case EmptyKind::Map:
      return {"map0.mul"};
    case EmptyKind::Tiledata:
      return {"tiledata.mul"};
    case EmptyKind::Verdata:
      return {"verdata.mul"};
  }
  return {};
}

std::vector<std::string> existingEmptyFiles(EmptyKind kind, const std::string& folder) {
  std::vector<std::string> found;
  for (const auto& name : emptyFileNames(kind))
    if (fileExists(joinPath(folder, name))) found.push_back(name);
  return found;
}

void createEmptyFiles(EmptyKind kind, const std::string& folder) {
  using namespace EmptyLayout;
  const auto names = emptyFileNames(kind);
  std::int64_t records = 0;
  std::uint64_t zeros = 0;
  switch (kind) {
    case EmptyKind::Anim:
      records = kAnimRecords;
      break;
    case EmptyKind::Art:
      records = kArtRecords;
      break;
    case EmptyKind::Gumps:
      records = kGumpRecords;
      break;
    case EmptyKind::Textures:
      records = kTextureRecords;
      break;
    case EmptyKind::Sound:
      records = kSoundRecords;
      break;
    case EmptyKind::Statics:
      records = kStaticsRecords;
      break;
    case EmptyKind::Map:
      zeros = kMapBytes;
      break;
    case EmptyKind::Tiledata:
      zeros = kTiledataBytes;
      break;
    case EmptyKind::Verdata:
      zeros = kVerdataBytes;
      break;
  }
  if (names.size() == 1) {
    AtomicFile file(joinPath(folder, names[0]));
    writeZeros(file, zeros);
    file.commit();
    return;
  }
  // The empty data file and its index replace an older pair together.
  AtomicFile index(joinPath(folder, names[1]));
  AtomicFile data(joinPath(folder, names[0]));
  writeEmptyRecords(index, records);
  commitAll({&index, &data});
}

// ---- Cut File

std::string cutFile(const std::string& path, std::int64_t size) {
  const std::uint64_t have = fileSize(path);
  if (size < 0 || static_cast<std::uint64_t>(size) > have)
    throw Error(
        formatMessage("%s holds %d bytes; it cannot be cut to %d bytes. Nothing was written.",
                      {path, std::to_string(have), std::to_string(size)}));
  const Bytes bytes = readFile(path);
  // The file became shorter since its size was read.
  if (bytes.size() < static_cast<std::size_t>(size)) throwCannotOpen(path, EIO);
  const std::string target = path + ".new";
  writeFileAtomic(target,
                  std::span<const std::uint8_t>(bytes.data(), static_cast<std::size_t>(size)));
  return target;
}

// ---- Bound files

namespace {
void putBound(ByteWriter& w, int width, int height) {
  w.u16(0);
  w.u16(0);
  w.u16(static_cast<std::uint16_t>(width));
  w.u16(static_cast<std::uint16_t>(height));
}
}  // namespace

Bytes artBoundFile(const TArt& art) {
  if (!art.isLoaded()) throw Error("Load Art first.");
  const std::int64_t count = art.staticCount();
  ByteWriter w(static_cast<std::size_t>(count) * 8);
  for (std::int64_t s = 0; s < count; ++s) {
    if (art.staticExists(s))
      putBound(w, art.staticArtWidth(s), art.staticArtHeight(s));
    else
      putBound(w, 0, 0);
  }
  return w.take();
}

Bytes gumpBoundFile(const TGump& gumps) {
  if (!gumps.isLoaded()) throw Error("Load Gumps first.");
  const std::int64_t count = gumps.gumpCount();
  ByteWriter w(static_cast<std::size_t>(count) * 8);
  for (std::int64_t g = 0; g < count; ++g) {
    if (gumps.gumpExists(g))
      putBound(w, gumps.gumpWidth(g), gumps.gumpHeight(g));
    else
      putBound(w, 0, 0);
  }
  return w.take();
}

// ---- Missing animations

std::vector<std::string> missingAnimLines(const TGump& gumps, const TAnimation& animation) {
  std::vector<std::string> lines;
  for (std::int64_t g = kFirstBodyGump; g < gumps.gumpCount(); ++g) {
    const std::int64_t body = g - kFirstBodyGump;
    if (gumps.gumpExists(g) && !animation.bodyExists(static_cast<int>(body)))
      lines.push_back(hexLabel(static_cast<std::uint32_t>(g)) + " " +
                      hexLabel(static_cast<std::uint32_t>(body)));
  }
  return lines;
}

std::vector<std::string> artIdsWithMissingAnims(const TTiledata& tiledata,
                                                const TAnimation& animation) {
  std::vector<std::string> lines;
  const std::int64_t count = tiledata.staticCount();
  for (std::int64_t s = 0; s < count; ++s) {
    const std::uint16_t anim = tiledata.staticAnimId(s);
    if (anim != 0 && !animation.bodyExists(anim))
      lines.push_back(hexLabel(static_cast<std::uint32_t>(s)));
  }
  return lines;
}

// ---- Bitmap tools

Pixel markColourOf(const std::string& text) {
  const auto value = tryParseInt(text);
  const auto c = static_cast<std::uint32_t>(value.value_or(0xFF0080));
  return makePixel(static_cast<std::uint8_t>(c & 0xFF), static_cast<std::uint8_t>((c >> 8) & 0xFF),
                   static_cast<std::uint8_t>((c >> 16) & 0xFF));
}

Bitmap32 markInvisiblePixels(Bitmap32 picture, Pixel mark, Progress& progress) {
  ProgressSteps steps(progress, picture.width);
  for (int x = 0; x < picture.width; ++x) {
    steps.at(x);
    for (int y = 0; y < picture.height; ++y) {
      const Colour16 c = pixelToColour16(picture.at(x, y));
      if (c == 0x7FFF || c == 0) picture.at(x, y) = mark;
    }
  }
  return picture;
}

std::uint32_t fixBitmapImageSize(const std::string& path) {
  using namespace BmpLayout;
  Bytes bytes = readFile(path);
  auto refuse = [&path](const std::string& why) {
    return FormatError(
        formatMessage("%s is not a bitmap whose size can be fixed: %s", {path, why}));
  };
  if (bytes.size() < kImageSize + 4 || bytes[0] != 'B' || bytes[1] != 'M')
    throw refuse("it does not start with a BMP file header.");
  ByteReader r(bytes, path);
  const std::uint32_t infoSize = r.u32At(kInfoSize);
  if (infoSize < kInfoHeaderSize || kInfoSize + infoSize > bytes.size())
    throw refuse("it has no info header of 40 bytes or more.");
  const std::int64_t width = r.i32At(kWidth);
  const std::int64_t height = r.i32At(kHeight);
  const std::uint32_t bits = r.u16At(kBitCount);
  const std::uint32_t compression = r.u32At(kCompression);
  const std::uint32_t pixelOffset = r.u32At(kPixelOffset);
  if (width <= 0 || height == 0) throw refuse("its width or height is 0 or negative.");
  std::uint64_t size = 0;
  if (compression == kRgb || compression == kBitfields || compression == kAlphaBitfields) {
    if (bits == 0 || bits > 32) throw refuse("its bits per pixel are not 1 to 32.");
    const std::uint64_t rowBytes = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
    size = rowBytes * static_cast<std::uint64_t>(height < 0 ? -height : height);
  } else {
    if (pixelOffset > bytes.size()) throw refuse("its pixel data starts past the end of the file.");
    size = bytes.size() - pixelOffset;
  }
  if (size > 0xFFFFFFFFull) throw refuse("its image is larger than 4 GB.");
  const auto value = static_cast<std::uint32_t>(size);
  storeU32(bytes.data() + kImageSize, value);
  writeFileAtomic(path, bytes);
  return value;
}

}  // namespace quillotide
