#include "models/Light.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Image.h"
#include "app/Text.h"

namespace quillotide {

namespace {

constexpr int kMaxLightSide = 0xFFFF;
constexpr std::int64_t kMaxNewSlot = 0x100000;
constexpr Pixel kZeroIntensity = makePixel(0, 255, 0);

std::string num(std::int64_t v) { return std::to_string(v); }

// Both halves of `extra` are unsigned 16-bit values.
int widthOf(std::int32_t extra) {
  return static_cast<int>(static_cast<std::uint32_t>(extra) >> 16);
}
int heightOf(std::int32_t extra) {
  return static_cast<int>(static_cast<std::uint32_t>(extra) & 0xFFFF);
}

std::string label(std::int64_t i) { return hexLabel(static_cast<std::uint32_t>(i)); }

}  // namespace

Bitmap32 decodeLight(std::span<const std::uint8_t> bytes, int width, int height) {
  if (width < 0 || height < 0 || width > kMaxLightSide || height > kMaxLightSide)
    throw FormatError(
        formatMessage("Its size %dx%d is not a picture size.", {num(width), num(height)}));
  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  if (bytes.size() < count)
    throw FormatError(
        formatMessage("Its %d bytes are too few for %dx%d points.",
                      {num(static_cast<std::int64_t>(bytes.size())), num(width), num(height)}));
  Bitmap32 picture(width, height);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t v = bytes[i];
    picture.pixels[i] = v == 0 ? kZeroIntensity : makePixel(v, v, v);
  }
  return picture;
}

Bytes encodeLight(const Bitmap32& picture) {
  if (picture.empty())
    throw Error(formatMessage("A picture of %dx%d pixels cannot be stored as a light.",
                              {num(picture.width), num(picture.height)}));
  if (picture.width > kMaxLightSide || picture.height > kMaxLightSide)
    throw Error(formatMessage(
        "The picture is %dx%d pixels; a light can be at most 65535 pixels wide and 65535 high.",
        {num(picture.width), num(picture.height)}));
  Bytes out(picture.pixels.size());
  // A fully transparent pixel gives no light, as intensity 0.
  for (std::size_t i = 0; i < out.size(); ++i) {
    const Pixel p = picture.pixels[i];
    out[i] = alphaOf(p) == 0 ? 0 : blueOf(p);
  }
  return out;
}

void TLight::load(const std::string& indexPath, const std::string& dataPath) {
  m_files.load(indexPath, dataPath, StorageMode::Memory);
}

bool TLight::save(const std::string& indexPath, const std::string& dataPath) const {
  if (!isLoaded()) throw Error(notLoadedMessage("Light"));
  return m_files.save(indexPath, dataPath);
}

bool TLight::lightExists(std::int64_t i) const {
  const auto r = m_files.record(i);
  return r && isLightPresent(*r);
}

int TLight::lightWidth(std::int64_t i) const {
  const auto r = m_files.record(i);
  return r && isLightPresent(*r) ? widthOf(r->extra) : 0;
}

int TLight::lightHeight(std::int64_t i) const {
  const auto r = m_files.record(i);
  return r && isLightPresent(*r) ? heightOf(r->extra) : 0;
}

std::optional<Bytes> TLight::slotBytes(std::int64_t i) const {
  const auto r = m_files.record(i);
  if (!r || !isLightPresent(*r)) return std::nullopt;
  // The picture's own size decides how much is read; `length` may be 0 for a present slot.
  const std::uint64_t count = static_cast<std::uint64_t>(widthOf(r->extra)) *
                              static_cast<std::uint64_t>(heightOf(r->extra));
  if (r->lookup < 0 || static_cast<std::uint64_t>(r->lookup) + count > m_files.dataSize())
    throw FormatError(formatMessage(
        "Light %s is damaged: its %dx%d points at offset %d lie outside the data file (%d bytes).",
        {label(i), num(widthOf(r->extra)), num(heightOf(r->extra)), num(r->lookup),
         num(static_cast<std::int64_t>(m_files.dataSize()))}));
  return m_files.readDataAt(static_cast<std::uint64_t>(r->lookup), static_cast<std::size_t>(count));
}

Bitmap32 TLight::lightPicture(std::int64_t i) const {
  const auto bytes = slotBytes(i);
  if (!bytes) return {};
  const IndexRecord r = *m_files.record(i);
  return decodeLight(*bytes, widthOf(r.extra), heightOf(r.extra));
}

void TLight::writeLight(std::int64_t i, const Bitmap32& picture) {
  if (!isLoaded()) throw Error(notLoadedMessage("Light"));
  if (i < 0 || (i >= lightCount() && i >= kMaxNewSlot))
    throw Error(formatMessage("Light slot %s is out of range.", {num(i)}));
  const Bytes bytes = encodeLight(picture);
  const auto extra = static_cast<std::int32_t>((static_cast<std::uint32_t>(picture.width) << 16) |
                                               static_cast<std::uint32_t>(picture.height));
  // A width of 0xFFFF with height 0xFFFF would read as the "no data" marker -1; such a picture
  // would need 4 GB anyway and is refused by the 2 GB limit of the data file.
  m_files.writeSlot(i, bytes, extra);
}

void TLight::importLight(std::int64_t i, const std::string& picturePath) {
  if (!isLoaded()) throw Error(notLoadedMessage("Light"));
  writeLight(i, readImageFile(picturePath));
}

void TLight::deleteLight(std::int64_t i) {
  if (!isLoaded()) throw Error(notLoadedMessage("Light"));
  m_files.deleteSlot(i);
}

std::vector<std::int64_t> TLight::rebuild(const std::string& indexPath, const std::string& dataPath,
                                          Progress& progress, Random& random,
                                          bool skipDamaged) const {
  if (!isLoaded()) throw Error(notLoadedMessage("Light"));
  requireDistinctTargets(indexPath, dataPath);
  recoverInterruptedSave({indexPath, dataPath});
  std::vector<std::int64_t> skipped;
  const std::int64_t n = m_files.recordCount();
  AtomicFile newIndex(indexPath);
  AtomicFile newData(dataPath);

  ByteWriter index(static_cast<std::size_t>(n) * kIndexRecordSize);
  for (std::int64_t i = 0; i < n; ++i) {
    index.i32(-1);
    index.i32(-1);
    index.i32(-1);
  }

  std::vector<std::int64_t> work(static_cast<std::size_t>(n));
  std::iota(work.begin(), work.end(), 0);
  ProgressSteps steps(progress, n);
  std::uint64_t position = 0;
  std::uint8_t gap[15];
  while (!work.empty()) {
    steps.at(n - static_cast<std::int64_t>(work.size()));
    const auto pick =
        static_cast<std::size_t>(random.uniform(0, static_cast<std::int64_t>(work.size()) - 1));
    const std::int64_t slot = work[pick];
    work[pick] = work.back();
    work.pop_back();

    const IndexRecord r = *m_files.record(slot);
    const auto gapLength = static_cast<std::size_t>(random.uniform(4, 15));
    for (std::size_t k = 0; k < gapLength; ++k)
      gap[k] = static_cast<std::uint8_t>(random.uniform(0, 255));
    newData.write({gap, gapLength});
    position += gapLength;

    IndexRecord out = r;
    std::optional<Bytes> bytes;
    if (isLightPresent(r)) {
      try {
        bytes = slotBytes(slot);
      } catch (const FormatError& e) {
        if (!skipDamaged) throw DamagedSlotError(slot, e.what(), e.what());
        skipped.push_back(slot);
        out = {-1, -1, -1};
      }
    }
    if (bytes) {
      newData.write(*bytes);
      out.lookup = static_cast<std::int32_t>(position);
      position += bytes->size();
      if (position > 0x7FFFFFFFull) throw Error("The rebuilt data file would grow past 2 GB.");
    }
    const std::size_t at = static_cast<std::size_t>(slot) * kIndexRecordSize;
    index.patchU32(at, static_cast<std::uint32_t>(out.lookup));
    index.patchU32(at + 4, static_cast<std::uint32_t>(out.length));
    index.patchU32(at + 8, static_cast<std::uint32_t>(out.extra));
  }
  steps.at(n);
  newIndex.write(index.data());
  commitAll({&newIndex, &newData});
  std::sort(skipped.begin(), skipped.end());
  return skipped;
}

}  // namespace quillotide
