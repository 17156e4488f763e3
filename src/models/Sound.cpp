#include "models/Sound.h"

#include <cstring>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Text.h"
#include "app/UopPair.h"

namespace quillotide {

namespace {

using namespace soundlayout;

constexpr std::uint16_t kFormatPcm = 1;
// WAVE_FORMAT_EXTENSIBLE: the real format is the first two bytes of the sub-format GUID.
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
constexpr std::size_t kFmtMinimum = 16;
constexpr std::size_t kExtensibleSubFormat = 24;

std::string label(std::int64_t slot) {
  return "Sound " + hexLabel(static_cast<std::uint32_t>(slot));
}

bool tagIs(std::span<const std::uint8_t> bytes, std::size_t at, const char* tag) {
  return bytes.size() >= at + 4 && std::memcmp(bytes.data() + at, tag, 4) == 0;
}

}  // namespace

Bytes makeWave(std::span<const std::uint8_t> samples) {
  if (samples.size() > 0xFFFFFFFFull - 36) throw Error("The sound is too long for a wave file.");
  const auto size = static_cast<std::uint32_t>(samples.size());
  ByteWriter w(kWaveHeader + samples.size());
  w.bytes({reinterpret_cast<const std::uint8_t*>("RIFF"), 4});
  w.u32(size + 36);
  w.bytes({reinterpret_cast<const std::uint8_t*>("WAVEfmt "), 8});
  w.u32(16);
  w.u16(kFormatPcm);
  w.u16(kChannels);
  w.u32(kSampleRate);
  w.u32(kByteRate);
  w.u16(kBlockAlign);
  w.u16(kBitsPerSample);
  w.bytes({reinterpret_cast<const std::uint8_t*>("data"), 4});
  w.u32(size);
  w.bytes(samples);
  return w.take();
}

std::span<const std::uint8_t> waveSamples(std::span<const std::uint8_t> file,
                                          const std::string& what) {
  if (file.size() < kWaveHeader)
    throw FormatError(
        formatMessage("%s is not a wave file: it has %d bytes, fewer than the 44 of "
                      "a wave header.",
                      {what, std::to_string(file.size())}));
  if (!tagIs(file, 0, "RIFF") || !tagIs(file, 8, "WAVE"))
    throw FormatError(
        formatMessage("%s is not a wave file: it does not start with RIFF ... WAVE.", {what}));
  std::optional<std::span<const std::uint8_t>> fmt;
  std::optional<std::span<const std::uint8_t>> data;
  // Chunks follow the 12-byte RIFF header; each is padded to an even length.
  std::size_t at = 12;
  while (at + 8 <= file.size() && !(fmt && data)) {
    const std::size_t size = loadU32(file.data() + at + 4);
    const std::size_t body = at + 8;
    if (size > file.size() - body)
      throw FormatError(formatMessage(
          "%s is damaged: its chunk \"%s\" at offset %d claims %d bytes, but only %d follow.",
          {what, std::string(reinterpret_cast<const char*>(file.data() + at), 4),
           std::to_string(at), std::to_string(size), std::to_string(file.size() - body)}));
    const auto chunk = file.subspan(body, size);
    if (tagIs(file, at, "fmt ") && !fmt) fmt = chunk;
    if (tagIs(file, at, "data") && !data) data = chunk;
    at = body + size + (size & 1);
  }
  if (!fmt || fmt->size() < kFmtMinimum)
    throw FormatError(
        formatMessage("%s is not a usable wave file: it has no format chunk.", {what}));
  if (!data)
    throw FormatError(formatMessage("%s is not a usable wave file: it has no data chunk.", {what}));
  std::uint16_t format = loadU16(fmt->data());
  if (format == kFormatExtensible && fmt->size() >= kExtensibleSubFormat + 2)
    format = loadU16(fmt->data() + kExtensibleSubFormat);
  const std::uint16_t bits = loadU16(fmt->data() + 14);
  if (format != kFormatPcm || bits != kBitsPerSample)
    throw FormatError(formatMessage(
        "%s is not 16-bit PCM (format %d, %d bits per sample); sounds take 16-bit PCM only.",
        {what, std::to_string(format), std::to_string(bits)}));
  // The game plays every slot at one speed: samples of another rate or channel count would be
  // stored unchanged and then play too fast or too slow.
  const std::uint16_t channels = loadU16(fmt->data() + 2);
  const std::uint32_t rate = loadU32(fmt->data() + 4);
  const bool mono = channels == kChannels && rate == kSampleRate;
  const bool oldHeader = channels == kOldChannels && rate == kOldSampleRate;
  if (!mono && !oldHeader)
    throw FormatError(formatMessage(
        "%s holds %d %s at %d Hz; sounds play 1 channel at 22050 Hz. Convert it to 16-bit mono "
        "at 22050 Hz first.",
        {what, std::to_string(channels), channels == 1 ? "channel" : "channels",
         std::to_string(rate)}));
  if (data->empty())
    throw FormatError(formatMessage(
        "%s holds no samples: its data chunk declares 0 bytes; a sound needs at least one "
        "16-bit sample.",
        {what}));
  return *data;
}

void TSound::load(const std::string& indexPath, const std::string& dataPath) {
  if (isUopPair(indexPath, dataPath)) return loadUop(indexPath);
  m_files.load(indexPath, dataPath, StorageMode::Memory);
}

void TSound::loadUop(const std::string& path) { m_files.loadUop(path, uopForm(UopFamily::Sound)); }

void TSound::saveUop(const std::string& path) const {
  if (!isLoaded()) throw Error(notLoadedMessage("Sound"));
  m_files.saveUop(path, uopForm(UopFamily::Sound));
}

void TSound::loadBytes(Bytes index, Bytes data) {
  m_files.adopt(makeMemoryStream(std::move(index)), makeMemoryStream(std::move(data)),
                StorageMode::Memory);
}

void TSound::save(const std::string& indexPath, const std::string& dataPath) const {
  if (!isLoaded()) throw Error(notLoadedMessage("Sound"));
  if (isUopPair(indexPath, dataPath)) return saveUop(indexPath);
  m_files.save(indexPath, dataPath);
}

Bytes TSound::entry(std::int64_t slot, const IndexRecord& r) const {
  try {
    return m_files.readData(r);
  } catch (const FormatError& e) {
    throw FormatError(label(slot) + ": " + e.what());
  }
}

std::string TSound::soundName(std::int64_t slot) const {
  const auto r = m_files.record(slot);
  if (!r || r->isEmpty()) return {};
  const Bytes bytes = entry(slot, *r);
  std::size_t n = 0;
  while (n < bytes.size() && n < kNameSize && bytes[n] != 0) ++n;
  return fromWindows1252(std::string_view(reinterpret_cast<const char*>(bytes.data()), n));
}

std::optional<Bytes> TSound::samples(std::int64_t slot) const {
  const auto r = m_files.record(slot);
  if (!r || r->isEmpty()) return std::nullopt;
  Bytes bytes = entry(slot, *r);
  if (bytes.size() < kEntryHeader)
    throw FormatError(
        formatMessage("%s is damaged: its %d bytes are fewer than the 32 of its header.",
                      {label(slot), std::to_string(bytes.size())}));
  bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(kEntryHeader));
  return bytes;
}

bool TSound::exportWave(std::int64_t slot, const std::string& path) const {
  const auto pcm = samples(slot);
  if (!pcm) return false;
  writeFileAtomic(path, makeWave(*pcm));
  return true;
}

void TSound::importWave(std::int64_t slot, const std::string& path) {
  if (!isLoaded()) throw Error(notLoadedMessage("Sound"));
  const Bytes file = readFile(path);
  writeSamples(slot, waveSamples(file, path));
}

void TSound::writeSamples(std::int64_t slot, std::span<const std::uint8_t> pcm) {
  if (!isLoaded()) throw Error(notLoadedMessage("Sound"));
  if (slot < 0 || slot > kMaxSlot)
    throw Error(
        formatMessage("Sound slot %d is out of range (0 to 0xFFFF).", {std::to_string(slot)}));
  if (pcm.size() > 0x7FFFFFFFull - kEntryHeader)
    throw Error("The sound is too long for the sound file.");
  ByteWriter w(kEntryHeader + pcm.size());
  w.fixedString(std::to_string(slot), kEntryHeader);
  w.bytes(pcm);
  m_files.writeSlot(slot, w.data(), static_cast<std::int32_t>(slot + 1));
}

void TSound::deleteSlot(std::int64_t slot) {
  if (!isLoaded()) throw Error(notLoadedMessage("Sound"));
  m_files.deleteSlot(slot);
}

}  // namespace quillotide
