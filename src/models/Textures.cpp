#include "models/Textures.h"

#include <array>

#include "app/Error.h"
#include "app/Image.h"
#include "app/Text.h"
#include "models/Hues.h"

namespace quillotide {

namespace TextureLayout {
constexpr std::size_t kColourSize = 2;
// Texture lengths in bytes and the side each one stands for; any other length is 128 x 128.
constexpr std::array<std::pair<std::int64_t, int>, 6> kKnownLengths{
    {{128, 8}, {512, 16}, {2048, 32}, {8192, 64}, {0x20000, 256}, {0x80000, 512}}};
constexpr int kDefaultSide = 128;
}  // namespace TextureLayout

const char* const kTextureSizeMessage =
    "Bitmap muss 8x8 oder 16x16 oder 32x32 oder 64x64 oder 128x128 oder 256x256 oder 512x512 "
    "sein. ";
const char* const kTextureUnusualSizeWarning =
    "Diese Grösse wird mit den meisten (inkl. aller Osi) Clients nicht funktioneren.";

namespace {

constexpr std::int64_t kMaxNewSlot = 0x100000;

std::string num(std::int64_t v) { return std::to_string(v); }

}  // namespace

int textureSideForLength(std::int64_t length) {
  for (const auto& [bytes, side] : TextureLayout::kKnownLengths)
    if (length == bytes) return side;
  return TextureLayout::kDefaultSide;
}

bool isTextureSide(int side) {
  return side == 8 || side == 16 || side == 32 || side == 64 || side == 128 || side == 256 ||
         side == 512;
}

Bitmap32 decodeTexture(std::span<const std::uint8_t> bytes) {
  const int side = textureSideForLength(static_cast<std::int64_t>(bytes.size()));
  const std::size_t count = static_cast<std::size_t>(side) * static_cast<std::size_t>(side);
  // Lengths outside the table are read as 128 x 128; a shorter slot would have to borrow the bytes
  // of whatever follows it, so it is reported instead of drawn.
  if (bytes.size() < count * TextureLayout::kColourSize)
    throw FormatError(
        formatMessage("Its %d bytes are too few for a texture of %dx%d pixels (%d bytes).",
                      {num(static_cast<std::int64_t>(bytes.size())), num(side), num(side),
                       num(static_cast<std::int64_t>(count * TextureLayout::kColourSize))}));
  Bitmap32 picture(side, side);
  for (std::size_t i = 0; i < count; ++i)
    picture.pixels[i] = colour16ToPixel(loadU16(bytes.data() + i * TextureLayout::kColourSize));
  return picture;
}

Bytes encodeTexture(const Bitmap32& picture) {
  if (picture.width != picture.height || !isTextureSide(picture.width))
    throw Error(kTextureSizeMessage);
  Bytes out(picture.pixels.size() * TextureLayout::kColourSize);
  for (std::size_t i = 0; i < picture.pixels.size(); ++i)
    storeU16(out.data() + i * TextureLayout::kColourSize, pixelToColour16(picture.pixels[i]));
  return out;
}

std::optional<std::string> textureSizeWarning(const Bitmap32& picture) {
  if (picture.height == 64 || picture.height == 128) return std::nullopt;
  return std::string(kTextureUnusualSizeWarning);
}

Bitmap32 highlightTexture(const Bitmap32& picture, std::span<const Colour16, 32> highlightRamp) {
  Bitmap32 out = picture;
  for (Pixel& p : out.pixels) {
    int n = redOf(p) >> 3;
    if (n == 0) n = 1;
    p = colour16ToPixel(highlightRamp[static_cast<std::size_t>(n)]);
  }
  return out;
}

void TTextures::load(const std::string& indexPath, const std::string& dataPath, StorageMode mode) {
  m_files.load(indexPath, dataPath, mode);
}

bool TTextures::save(const std::string& indexPath, const std::string& dataPath) const {
  if (!isLoaded()) throw Error(notLoadedMessage("Textures"));
  return m_files.save(indexPath, dataPath);
}

int TTextures::textureSide(std::int64_t i) const {
  const auto r = m_files.record(i);
  if (!r || r->isEmpty()) return 0;
  return textureSideForLength(r->length);
}

Bitmap32 TTextures::texturePicture(std::int64_t i) const {
  const auto r = m_files.record(i);
  if (!r || r->isEmpty()) return {};
  try {
    return decodeTexture(m_files.readData(*r));
  } catch (const FormatError& e) {
    throw FormatError(formatMessage("Texture %s is damaged: %s",
                                    {hexLabel(static_cast<std::uint32_t>(i)), e.what()}));
  }
}

Bitmap32 TTextures::texturePictureHued(std::int64_t i, HueChoice hue,
                                       std::span<const Colour16, 32> highlightRamp) const {
  Bitmap32 picture = texturePicture(i);
  return hue.isSelection() ? highlightTexture(picture, highlightRamp) : picture;
}

Bitmap32 TTextures::texturePictureHued(std::int64_t i, HueChoice hue, const THues* hues) const {
  Bitmap32 picture = texturePicture(i);
  if (!hue.isSelection() || !hues) return picture;
  return hues->huedPicture(picture, hue, HuedPixels::All);
}

std::optional<std::string> TTextures::writeTexture(std::int64_t i, const Bitmap32& picture) {
  if (!isLoaded()) throw Error(notLoadedMessage("Textures"));
  if (i < 0 || (i >= textureCount() && i >= kMaxNewSlot))
    throw Error(formatMessage("Texture slot %s is out of range.", {num(i)}));
  // Encoded whole before anything reaches the file (low-memory mode writes at once).
  const Bytes bytes = encodeTexture(picture);
  m_files.writeSlot(i, bytes, textureExtra(picture.height));
  return textureSizeWarning(picture);
}

std::optional<std::string> TTextures::importTexture(std::int64_t i,
                                                    const std::string& picturePath) {
  if (!isLoaded()) throw Error(notLoadedMessage("Textures"));
  return writeTexture(i, readImageFile(picturePath));
}

void TTextures::deleteTexture(std::int64_t i) {
  if (!isLoaded()) throw Error(notLoadedMessage("Textures"));
  m_files.deleteSlot(i);
}

std::vector<std::int64_t> TTextures::rebuild(const std::string& indexPath,
                                             const std::string& dataPath, Progress& progress,
                                             Random& random, bool skipDamaged) const {
  if (!isLoaded()) throw Error(notLoadedMessage("Textures"));
  try {
    return m_files.rebuild(indexPath, dataPath, progress, random, skipDamaged);
  } catch (const DamagedSlotError& e) {
    throw e.named("Texture " + hexLabel(static_cast<std::uint32_t>(e.slot())));
  }
}

}  // namespace quillotide
