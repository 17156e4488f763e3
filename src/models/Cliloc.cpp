#include "models/Cliloc.h"

#include <algorithm>

#include <sys/stat.h>

#include "app/FileIO.h"
#include "app/FileNames.h"
#include "app/Text.h"
#include "models/Tiledata.h"

namespace quillotide {

using namespace clilocLayout;

Cliloc decodeCliloc(std::span<const std::uint8_t> bytes) {
  Cliloc cliloc;
  if (bytes.empty()) return cliloc;
  if (bytes.size() < kHeaderSize)
    throw FormatError(
        formatMessage("The cliloc file is cut short: %d bytes, less than its %d-byte "
                      "header.",
                      {std::to_string(bytes.size()), std::to_string(kHeaderSize)}));
  std::copy_n(bytes.begin(), kHeaderSize, cliloc.header.begin());
  ByteReader reader(bytes, "cliloc");
  reader.seek(kHeaderSize);
  while (!reader.atEnd()) {
    const std::size_t at = reader.pos();
    if (reader.remaining() < kEntryHeaderSize)
      throw FormatError(
          formatMessage("The cliloc entry at offset %d is cut short: %d of its %d "
                        "header bytes are there.",
                        {std::to_string(at), std::to_string(reader.remaining()),
                         std::to_string(kEntryHeaderSize)}));
    TClilocEntry entry;
    entry.number = reader.readI32();
    entry.flag = reader.readU8();
    const std::uint16_t length = reader.readU16();
    if (length > reader.remaining())
      throw FormatError(formatMessage(
          "The text of cliloc entry %d at offset %d runs past the end of the file (%d bytes "
          "given, %d left).",
          {std::to_string(entry.number), std::to_string(at), std::to_string(length),
           std::to_string(reader.remaining())}));
    const auto text = reader.readBytes(length);
    entry.text.assign(reinterpret_cast<const char*>(text.data()), text.size());
    cliloc.entries.push_back(std::move(entry));
  }
  return cliloc;
}

Bytes encodeCliloc(const Cliloc& cliloc) {
  std::size_t total = kHeaderSize;
  for (const TClilocEntry& e : cliloc.entries) {
    if (e.text.size() > kMaxTextBytes)
      throw Error(
          formatMessage("The text of cliloc entry %d is %d bytes long; an entry holds at "
                        "most %d.",
                        {std::to_string(e.number), std::to_string(e.text.size()),
                         std::to_string(kMaxTextBytes)}));
    total += kEntryHeaderSize + e.text.size();
  }
  ByteWriter w(total);
  w.bytes(cliloc.header);
  for (const TClilocEntry& e : cliloc.entries) {
    w.i32(e.number);
    w.u8(e.flag);
    w.u16(static_cast<std::uint16_t>(e.text.size()));
    w.bytes({reinterpret_cast<const std::uint8_t*>(e.text.data()), e.text.size()});
  }
  return w.take();
}

std::string clilocFilePath(const std::string& path) {
  struct stat st {};
  if (!path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    return pathWithoutCase(path, clilocLayout::kFileName);
  return existingPathWithoutCase(path);
}

Cliloc loadCliloc(const std::string& path) {
  const std::string found = clilocFilePath(path);
  const Bytes bytes = readFile(found);
  try {
    return decodeCliloc(bytes);
  } catch (const FormatError& e) {
    throw FormatError(found + ": " + e.what());
  }
}

void saveCliloc(const std::string& path, const Cliloc& cliloc) {
  writeFileAtomic(path, encodeCliloc(cliloc));
}

const TClilocEntry* findClilocEntry(const Cliloc& cliloc, std::int32_t number) {
  const auto it = std::find_if(cliloc.entries.begin(), cliloc.entries.end(),
                               [number](const TClilocEntry& e) { return e.number == number; });
  return it == cliloc.entries.end() ? nullptr : &*it;
}

std::string clilocText(const TClilocEntry& entry) { return toValidUtf8(entry.text); }

namespace {

// -1 below the tile name group, 0 inside it, 1 above it. Numbers are divided as integers, so
// negative numbers fall below.
int placeOf(std::int32_t number) {
  const std::int32_t group = number / kGroupSize;
  if (number < 0 || group < kTileNameGroup) return -1;
  return group == kTileNameGroup ? 0 : 1;
}

}  // namespace

ClilocMergeResult mergeTileNames(Cliloc& cliloc, const TTiledata& tiledata) {
  ClilocMergeResult result;
  // Names past 1499999 would leave the group; no tile data holds that many statics.
  const std::uint32_t count = std::min<std::uint32_t>(
      tiledata.staticCount(), static_cast<std::uint32_t>(3 * kGroupSize - kTileNameBase));
  // The first entry of each number of the tile name group, found once: a full tile data has
  // tens of thousands of names.
  std::vector<std::pair<std::int32_t, std::size_t>> first;
  for (std::size_t i = 0; i < cliloc.entries.size(); ++i)
    if (placeOf(cliloc.entries[i].number) == 0) first.emplace_back(cliloc.entries[i].number, i);
  std::stable_sort(first.begin(), first.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (std::uint32_t s = 0; s < count; ++s) {
    std::string name = tiledata.staticName(s);
    if (name.empty()) continue;
    const std::int32_t number = kTileNameBase + static_cast<std::int32_t>(s);
    const auto it = std::lower_bound(first.begin(), first.end(), number,
                                     [](const auto& e, std::int32_t n) { return e.first < n; });
    if (it != first.end() && it->first == number) {
      cliloc.entries[it->second].text = std::move(name);
      ++result.replaced;
    } else {
      cliloc.entries.push_back({number, 0, std::move(name)});
      ++result.added;
    }
  }
  std::stable_sort(cliloc.entries.begin(), cliloc.entries.end(),
                   [](const TClilocEntry& a, const TClilocEntry& b) {
                     const int pa = placeOf(a.number), pb = placeOf(b.number);
                     if (pa != pb) return pa < pb;
                     return pa == 0 && a.number < b.number;
                   });
  return result;
}

std::string clilocMergeReport(const ClilocMergeResult& result, std::size_t entries,
                              const std::string& path) {
  return "added " + std::to_string(result.added) + " and replaced " +
         std::to_string(result.replaced) + " tile names; " + std::to_string(entries) +
         " entries written to " + path;
}

}  // namespace quillotide
