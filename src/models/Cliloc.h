#pragma once
// The cliloc file: the game's table of numbered texts. A 6-byte header, then entries of an int32
// number, a flag byte, a u16 byte length and that many bytes of UTF-8 text, to the end of the
// file. Texts are kept as the bytes the file holds, so an entry that is carried over is written
// back byte for byte, whatever characters it holds.
//
// The merge writes the names of the tile data's statics as the texts 1020000 + id.

#include <array>
#include <cstdint>
#include <map>
#include <utility>
#include <optional>
#include <span>
#include <string>
#include <string_view>
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

// What an import of a text table did.
struct ClilocImportResult {
  std::size_t changed = 0;
  std::size_t added = 0;
  std::size_t unchanged = 0;
  std::vector<std::string> failedLines;  // "Line 7: ..." for each line left out
};

// The numbers two tables differ in, each list in increasing order.
struct ClilocDiff {
  std::vector<std::int32_t> added;    // only in the second
  std::vector<std::int32_t> removed;  // only in the first
  std::vector<std::int32_t> changed;  // in both, text or flag differing
};

// TCliloc: one cliloc file as the page and the commands edit it. Entries keep the file's order
// (some real files are not sorted by number), texts keep their bytes exactly (tabs, leading and
// trailing blanks), and flags 0, 1 and 2 are kept as read. A damaged file opens with every whole
// entry: a tail that is no whole entry is kept as it is and written back after the entries until
// dropTail() is asked for, and repeated numbers, numbers out of order, flags past 2 and texts that
// are no UTF-8 or hold a NUL are said in problems().
class TCliloc {
public:
  // Throws FileError, and FormatError for a file of 1 to 5 bytes (no whole header); an empty file
  // is an empty table. The model keeps what it had on a throw.
  void load(const std::string& path);
  void loadBytes(std::span<const std::uint8_t> bytes);
  void save(const std::string& path) const;
  Bytes bytes() const;
  bool isLoaded() const { return m_loaded; }
  bool isChanged() const { return m_changed; }
  const std::vector<std::string>& problems() const { return m_problems; }
  // The bytes after the last whole entry, kept as read.
  const Bytes& tail() const { return m_tail; }
  void dropTail();

  const std::vector<TClilocEntry>& entries() const { return m_table.entries; }
  std::size_t size() const { return m_table.entries.size(); }
  const TClilocEntry& entry(std::size_t pos) const;
  // The position of the first entry of the number.
  std::optional<std::size_t> find(std::int32_t number) const;
  // Positions of entries whose number lies in first..last, in file order.
  std::vector<std::size_t> inRange(std::int32_t first, std::int32_t last) const;
  // Positions of entries whose text holds every blank-separated word of `words` (letters of
  // Latin, Greek and Cyrillic compared without regard to case; every other script as it is).
  std::vector<std::size_t> search(std::string_view words) const;

  // Edits; each throws Error (a position past the table, a flag past 2, a text longer than 65535
  // bytes or no UTF-8, a number already there) and then changes nothing.
  void setText(std::size_t pos, std::string text);
  void setFlag(std::size_t pos, std::uint8_t flag);
  // Placed after the entry of the next smaller number (before that of the next larger one when
  // there is none), so a file that is not sorted keeps its runs together; returns its position.
  std::size_t add(std::int32_t number, std::uint8_t flag, std::string text);
  void remove(std::size_t pos);

  // The table as tab-separated UTF-8 text: a byte-order mark and the header "Number\tFlag\tText",
  // then one line per entry. A backslash, TAB, line feed and carriage return in a text are written
  // as \\, \t, \n and \r, so every text fits on its line; nothing else is changed.
  std::string exportTable() const;
  void exportTableFile(const std::string& path) const;
  // Reads such a table: the text of each number already there is replaced (its flag too), new
  // numbers are added; entries the table does not list stay. Lines that do not parse are left
  // out and named.
  ClilocImportResult importTable(std::string_view text);
  ClilocImportResult importTableFile(const std::string& path);

private:
  void checkPos(std::size_t pos) const;
  // Rebuilds the lookup by number; answers the numbers met again after their first entry.
  std::vector<std::int32_t> reindex();
  std::vector<std::pair<std::int32_t, std::size_t>>::const_iterator firstAtOrAfter(
      std::int32_t n) const;

  Cliloc m_table;
  Bytes m_tail;
  // (number, position of its first entry), by number.
  std::vector<std::pair<std::int32_t, std::size_t>> m_first;
  std::vector<std::string> m_problems;
  bool m_loaded = false;
  mutable bool m_changed = false;
};

// The numbers in which two tables differ (the first entry of each number counts).
ClilocDiff diffCliloc(const TCliloc& a, const TCliloc& b);

}  // namespace quillotide
