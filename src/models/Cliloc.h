#pragma once
// The cliloc file: the game's table of numbered texts. A 6-byte header, then entries of an int32
// number, a flag byte, a u16 byte length and that many bytes of UTF-8 text, to the end of the
// file. Texts are kept as the bytes the file holds, so an entry that is carried over is written
// back byte for byte, whatever characters it holds.
//
// The merge writes the names of the tile data's statics as the texts 1020000 + id.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/Bytes.h"

namespace quillotide {

class TTiledata;

struct TClilocEntry {
  std::int32_t number = 0;
  std::uint8_t flag = 0;
  std::string text;  // the entry's bytes, UTF-8 as the file holds them
  bool operator==(const TClilocEntry&) const = default;
};

namespace clilocLayout {
// The client's English table, as the program names a new one.
inline const std::string kFileName = "Cliloc.enu";
constexpr std::size_t kHeaderSize = 6;
// number (4), flag (1), length (2)
constexpr std::size_t kEntryHeaderSize = 7;
constexpr std::size_t kMaxTextBytes = 0xFFFF;
// The text number of static tile 0.
constexpr std::int32_t kTileNameBase = 1020000;
// Numbers are kept in groups of number div 500000; the tile names belong to group 2.
constexpr std::int32_t kGroupSize = 500000;
constexpr std::int32_t kTileNameGroup = 2;
}  // namespace clilocLayout

struct Cliloc {
  std::array<std::uint8_t, clilocLayout::kHeaderSize> header{};
  std::vector<TClilocEntry> entries;
  bool operator==(const Cliloc&) const = default;
};

// The entries of a cliloc file's bytes, in file order. An empty file holds no entries. Throws
// FormatError naming the offset when the header is cut short, an entry's header is cut short or
// its text runs past the end of the file.
Cliloc decodeCliloc(std::span<const std::uint8_t> bytes);
// The file's bytes: the header, then every entry with its text's byte length. Throws Error naming
// the entry whose text is longer than 65535 bytes.
Bytes encodeCliloc(const Cliloc& cliloc);
// The cliloc file a path names, found whatever the case of its name: for a folder its
// "Cliloc.enu" (folder + "Cliloc.enu" when there is none); for a file that is not there the file
// of its folder whose name differs only in case, when there is one; otherwise the path itself.
std::string clilocFilePath(const std::string& path);
// Reads a cliloc file (the path found by clilocFilePath); FileError when it cannot be read,
// FormatError (with the path) as decodeCliloc.
Cliloc loadCliloc(const std::string& path);
// Replaces the file whole with the encoded table.
void saveCliloc(const std::string& path, const Cliloc& cliloc);

// The first entry with the number; nullptr when there is none.
const TClilocEntry* findClilocEntry(const Cliloc& cliloc, std::int32_t number);
// An entry's text for showing: every byte that is not well-formed UTF-8 becomes U+FFFD.
std::string clilocText(const TClilocEntry& entry);

struct ClilocMergeResult {
  std::size_t added = 0;
  std::size_t replaced = 0;
};

// Writes the name of every named static tile s into the entry 1020000 + s: the first entry of
// that number gets the name as its text, otherwise a new entry (flag 0) is added. Afterwards the
// entries of group 2 (1000000 to 1499999) are sorted by number (entries of one number keep their
// order) and stand after every entry below that range and before every entry above it; those keep
// the order they had. Nothing else changes.
ClilocMergeResult mergeTileNames(Cliloc& cliloc, const TTiledata& tiledata);
// What a merge did, as the user reads it: "added %d and replaced %d tile names; %d entries
// written to %s".
std::string clilocMergeReport(const ClilocMergeResult& result, std::size_t entries,
                              const std::string& path);

}  // namespace quillotide
