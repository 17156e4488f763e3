#include "app/UopPair.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <memory>
#include <unordered_map>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/FileNames.h"
#include "app/IndexedFile.h"
#include "app/Text.h"

namespace quillotide {

namespace {

namespace GumpEntryLayout {
constexpr std::size_t kWidth = 0;
constexpr std::size_t kHeight = 4;
constexpr std::size_t kHeader = 8;
// Width and height share the record's 32-bit extra.
constexpr std::uint32_t kMaxSide = 0xFFFF;
}  // namespace GumpEntryLayout

std::string num(std::int64_t v) { return std::to_string(v); }

UopSlotData gumpFromPayload(std::span<const std::uint8_t> payload) {
  using namespace GumpEntryLayout;
  if (payload.size() < kHeader)
    throw FormatError(
        formatMessage("The gump entry holds %d bytes, too few for its width and height (8 bytes).",
                      {num(static_cast<std::int64_t>(payload.size()))}));
  const std::uint32_t width = loadU32(payload.data() + kWidth);
  const std::uint32_t height = loadU32(payload.data() + kHeight);
  // A placeholder the client keeps for a gump that is not there.
  if (width == 0 && height == 0) return {{}, 0, true};
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide ||
      static_cast<std::int64_t>(width) * height > kMaxGumpPixels)
    throw FormatError(formatMessage("The gump entry claims %dx%d pixels, not a gump's size.",
                                    {num(width), num(height)}));
  return {Bytes(payload.begin() + kHeader, payload.end()),
          static_cast<std::int32_t>((width << 16) | height)};
}

Bytes gumpToPayload(std::int64_t n, std::span<const std::uint8_t> data,
                    const IndexRecord& record) {
  using namespace GumpEntryLayout;
  if (!gumpSizeFits(record.extra, true)) throw Error(gumpSizeMessage({n}, true));
  Bytes out(kHeader + data.size());
  const auto extra = static_cast<std::uint32_t>(record.extra);
  storeU32(out.data() + kWidth, extra >> 16);
  storeU32(out.data() + kHeight, extra & 0xFFFF);
  std::copy(data.begin(), data.end(), out.begin() + kHeader);
  return out;
}

}  // namespace

bool gumpSizeFits(std::int32_t extra, bool inContainer) {
  const auto packed = static_cast<std::uint32_t>(extra);
  const std::uint32_t width = packed >> 16;
  const std::uint32_t height = packed & 0xFFFF;
  if (width == 0 || height == 0 || packed == 0xFFFFFFFFu) return false;
  return !inContainer || static_cast<std::int64_t>(width) * height <= kMaxGumpPixels;
}

std::string gumpSizeMessage(const std::vector<std::int64_t>& slots, bool inContainer) {
  constexpr std::size_t kNamed = 16;
  std::string names;
  for (std::size_t i = 0; i < slots.size() && i < kNamed; ++i)
    names += (i ? ", " : "") + hexLabel(static_cast<std::uint32_t>(slots[i]));
  if (slots.size() > kNamed)
    names += " and " + num(static_cast<std::int64_t>(slots.size() - kNamed)) + " more";
  const bool one = slots.size() == 1;
  std::string rule = "a width and a height of 1 to 65535";
  if (inContainer) rule += ", at most " + num(kMaxGumpPixels) + " pixels in a container";
  return formatMessage(
      one ? "Gump %s cannot be saved: its record's extra gives no picture size (%s). Delete it or "
            "import its picture again. Nothing was written."
          : "Gumps %s cannot be saved: their records' extra gives no picture size (%s). Delete "
            "them or import their pictures again. Nothing was written.",
      {names, rule});
}

bool isUopPath(const std::string& path) {
  return path.size() > 4 && lowerAscii(path.substr(path.size() - 4)) == ".uop";
}

bool isUopFile(const std::string& path) {
  if (isUopPath(path)) return true;
  // The container's magic "MYP\0", read as the header's first u32.
  constexpr std::uint32_t kUopMagic = 0x0050594D;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::uint8_t head[4];
  int err = 0;
  const std::size_t got = readAt(fd, head, sizeof head, 0, err);
  ::close(fd);
  return got == sizeof head && loadU32(head) == kUopMagic;
}

bool isUopPair(const std::string& indexPath, const std::string& dataPath) {
  return isUopPath(indexPath) && (dataPath.empty() || dataPath == indexPath);
}

std::optional<int> mapNumberOfName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::string name = lowerAscii(slash == std::string::npos ? path : path.substr(slash + 1));
  if (name.size() < 4 || name.compare(0, 3, "map") != 0 ||
      !std::isdigit(static_cast<unsigned char>(name[3])))
    return std::nullopt;
  std::size_t end = 3;
  int number = 0;
  while (end < name.size() && std::isdigit(static_cast<unsigned char>(name[end])) && end < 6)
    number = number * 10 + (name[end++] - '0');
  // "map0.mul", "map0LegacyMUL.uop", "map0x.mul": the digits end the number.
  return number;
}

std::optional<std::int64_t> uopSlotOfHash(UopFamily family, std::int64_t slotLimit,
                                          std::uint64_t hash) {
  // Above the highest slot any family's form reads.
  constexpr std::int64_t kTableSlots = 0x14000;
  using Table = std::unordered_map<std::uint64_t, std::int64_t>;
  static std::array<std::unique_ptr<Table>, 6> tables;
  auto& table = tables.at(static_cast<std::size_t>(family));
  if (!table) {
    table = std::make_unique<Table>();
    table->reserve(kTableSlots);
    for (std::int64_t n = 0; n < kTableSlots; ++n)
      table->emplace(uopHash(uopEntryName(family, static_cast<std::uint32_t>(n))), n);
  }
  const auto it = table->find(hash);
  if (it == table->end() || it->second >= slotLimit) return std::nullopt;
  return it->second;
}

std::string uopSlotName(UopFamily family, std::int64_t n) {
  const char* noun = "Slot";
  switch (family) {
    case UopFamily::Art:
      noun = "Art";
      break;
    case UopFamily::Gump:
      noun = "Gump";
      break;
    case UopFamily::Sound:
      noun = "Sound";
      break;
    case UopFamily::Multi:
      noun = "Multi";
      break;
    case UopFamily::Map:
      noun = "Map chunk";
      break;
    case UopFamily::AnimationFrame:
      noun = "Animation";
      break;
  }
  return std::string(noun) + " " + hexLabel(static_cast<std::uint32_t>(n));
}

std::uint64_t uopMapFileBytes(const std::string& path) {
  const std::vector<UopRecord> records = readUopRecords(path);
  std::unordered_map<std::uint64_t, std::uint32_t> fullSize;
  fullSize.reserve(records.size());
  for (const UopRecord& r : records) fullSize.emplace(r.hash, r.fullSize);
  const auto chunk = [](int map, std::int64_t k) {
    return uopHash(uopEntryName(UopFamily::Map, static_cast<std::uint32_t>(k),
                                static_cast<std::uint32_t>(map)));
  };
  std::optional<int> map;
  if (const auto named = mapNumberOfName(path); named && fullSize.count(chunk(*named, 0)))
    map = *named;
  for (int m = 0; !map && m < 10; ++m)
    if (fullSize.count(chunk(m, 0))) map = m;
  if (!map)
    throw FormatError(formatMessage("%s holds no map: it has no entry %s.",
                                    {path, uopEntryName(UopFamily::Map, 0, 0)}));
  std::uint64_t bytes = 0;
  for (std::int64_t k = 0; k < kUopMapChunkLimit; ++k) {
    const auto it = fullSize.find(chunk(*map, k));
    if (it == fullSize.end()) break;
    bytes += it->second;
  }
  return bytes;
}

UopForm uopForm(UopFamily family) {
  UopForm form;
  form.family = family;
  form.keepsUnreadable = true;
  form.readsInPlace = true;
  form.emptyExtra = -1;
  const auto plain = [](std::int64_t, std::span<const std::uint8_t> payload) {
    return UopSlotData{Bytes(payload.begin(), payload.end()), 0};
  };
  const auto asIs = [](std::int64_t, std::span<const std::uint8_t> data, const IndexRecord&) {
    return Bytes(data.begin(), data.end());
  };
  switch (family) {
    case UopFamily::Art:
      // Land tiles 0 .. 0x3FFF, then statics up to id 0xFFFF; the land section is always whole.
      form.slotLimit = 0x14000;
      form.minRecords = 0x4000;
      form.emptyExtra = 0;
      form.fromPayload = plain;
      form.toPayload = asIs;
      break;
    case UopFamily::Gump:
      form.slotLimit = 0x10000;
      form.headBytes = GumpEntryLayout::kHeader;
      form.fromPayload = [](std::int64_t, std::span<const std::uint8_t> payload) {
        return gumpFromPayload(payload);
      };
      form.toPayload = [](std::int64_t n, std::span<const std::uint8_t> data,
                          const IndexRecord& record) { return gumpToPayload(n, data, record); };
      break;
    case UopFamily::Sound:
      form.slotLimit = 0x10000;
      // A sound's extra is its slot + 1, as an import gives it.
      form.fromPayload = [](std::int64_t n, std::span<const std::uint8_t> payload) {
        return UopSlotData{Bytes(payload.begin(), payload.end()), static_cast<std::int32_t>(n + 1)};
      };
      form.toPayload = asIs;
      break;
    case UopFamily::Multi:
    case UopFamily::Map:
    case UopFamily::AnimationFrame:
      throw Error("This family's containers are not read as an index/data pair.");
  }
  return form;
}

}  // namespace quillotide
