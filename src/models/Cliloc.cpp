#include "models/Cliloc.h"

#include <algorithm>
#include <set>

#include <sys/stat.h>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/IndexedFile.h"
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

// ---- the table as the page and the commands edit it

namespace {

constexpr std::array<std::uint8_t, kHeaderSize> kUsualHeader{2, 0, 0, 0, 1, 0};

std::string number(std::int64_t v) { return std::to_string(v); }

// Lower case for the scripts that have case: Latin, Greek, Cyrillic.
char32_t folded(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c + 32;
  if (c < 0x80) return c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c == 0x178) return 0xFF;
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149)
    return (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E) ? c + (c % 2 == 1 ? 1 : 0)
                                                                      : c | 1;
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  return c;
}

// Into `out`, which keeps its room from one text to the next.
void foldInto(std::string_view text, std::u32string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {  // the common case, without the decoder
      out += static_cast<char32_t>(b >= 'A' && b <= 'Z' ? b + 32 : b);
      ++i;
      continue;
    }
    const auto c = nextUtf8(text, i);
    if (c) {
      out += folded(*c);
    } else {
      out += U'\xFFFD';
      ++i;
    }
  }
}

std::u32string foldedText(std::string_view text) {
  std::u32string out;
  foldInto(text, out);
  return out;
}

void escapeInto(std::string& out, std::string_view text) {
  for (const char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
}

// The text of a table cell; nullopt for a backslash followed by anything but \\, t, n or r.
std::optional<std::string> unescaped(std::string_view cell) {
  std::string out;
  out.reserve(cell.size());
  for (std::size_t i = 0; i < cell.size(); ++i) {
    if (cell[i] != '\\') {
      out += cell[i];
      continue;
    }
    if (++i == cell.size()) return std::nullopt;
    switch (cell[i]) {
      case '\\': out += '\\'; break;
      case 't': out += '\t'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      default: return std::nullopt;
    }
  }
  return out;
}

void checkText(std::string_view text) {
  if (text.size() > kMaxTextBytes)
    throw Error(formatMessage("A text holds at most %d bytes; this one has %d.",
                              {number(kMaxTextBytes), number(static_cast<std::int64_t>(text.size()))}));
  if (!isUtf8(text)) throw Error("The text is no UTF-8 text.");
}

void checkFlag(std::uint32_t flag) {
  if (flag > 2) throw Error(formatMessage("A flag is 0, 1 or 2, not %d.", {number(flag)}));
}

}  // namespace

void TCliloc::load(const std::string& path) {
  const std::string found = clilocFilePath(path);
  const Bytes bytes = readFile(found);
  try {
    loadBytes(bytes);
  } catch (const FormatError& e) {
    throw FormatError(found + ": " + e.what());
  }
}

void TCliloc::loadBytes(std::span<const std::uint8_t> bytes) {
  TCliloc read;
  read.m_table.header = kUsualHeader;
  if (!bytes.empty()) {
    if (bytes.size() < kHeaderSize)
      throw FormatError(formatMessage(
          "The cliloc file is cut short: %d bytes, less than its %d-byte header.",
          {number(static_cast<std::int64_t>(bytes.size())), number(kHeaderSize)}));
    std::copy_n(bytes.begin(), kHeaderSize, read.m_table.header.begin());
    if (read.m_table.header != kUsualHeader)
      read.m_problems.push_back("The header is not the usual one (2, 1); it is kept.");
  }
  std::size_t at = bytes.empty() ? 0 : kHeaderSize;
  std::int64_t outOfOrder = 0, badFlags = 0, notUtf8 = 0, nuls = 0;
  // An entry per 20 bytes is about what the client's files hold.
  read.m_table.entries.reserve(bytes.size() / 20);
  while (at < bytes.size()) {
    const std::size_t left = bytes.size() - at;
    if (left < kEntryHeaderSize || left - kEntryHeaderSize < loadU16(bytes.data() + at + 5)) {
      read.m_tail.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end());
      read.m_problems.push_back(formatMessage(
          "The last %d bytes (from offset %d) are no whole entry; they are kept as they are "
          "until you drop them.",
          {number(static_cast<std::int64_t>(left)), number(static_cast<std::int64_t>(at))}));
      break;
    }
    TClilocEntry e;
    e.number = static_cast<std::int32_t>(loadU32(bytes.data() + at));
    e.flag = bytes[at + 4];
    const std::size_t length = loadU16(bytes.data() + at + 5);
    e.text.assign(reinterpret_cast<const char*>(bytes.data()) + at + kEntryHeaderSize, length);
    if (!read.m_table.entries.empty() && e.number <= read.m_table.entries.back().number) ++outOfOrder;
    if (e.flag > 2) ++badFlags;
    if (!isUtf8(e.text)) ++notUtf8;
    if (e.text.find('\0') != std::string::npos) ++nuls;
    read.m_table.entries.push_back(std::move(e));
    at += kEntryHeaderSize + length;
  }
  const std::vector<std::int32_t> repeated = read.reindex();
  if (!repeated.empty()) {
    std::string list;
    for (std::size_t k = 0; k < std::min<std::size_t>(repeated.size(), 5); ++k)
      list += (k ? ", " : "") + number(repeated[k]);
    if (repeated.size() > 5) list += ", ...";
    read.m_problems.push_back(formatMessage(
        "%d numbers repeat (%s); a lookup finds the first of each, and every one is kept.",
        {number(static_cast<std::int64_t>(repeated.size())), list}));
  }
  if (outOfOrder > 0)
    read.m_problems.push_back(formatMessage(
        "The numbers go down or repeat in %d places; the order of the file is kept.",
        {number(outOfOrder)}));
  if (badFlags > 0)
    read.m_problems.push_back(
        formatMessage("%d entries have a flag other than 0, 1 or 2.", {number(badFlags)}));
  if (notUtf8 > 0)
    read.m_problems.push_back(formatMessage("%d texts are no UTF-8 text.", {number(notUtf8)}));
  if (nuls > 0)
    read.m_problems.push_back(formatMessage("%d texts hold a NUL byte.", {number(nuls)}));
  read.m_loaded = true;
  *this = std::move(read);
}

std::vector<std::int32_t> TCliloc::reindex() {
  m_first.clear();
  m_first.reserve(m_table.entries.size());
  for (std::size_t i = 0; i < m_table.entries.size(); ++i)
    m_first.emplace_back(m_table.entries[i].number, i);
  const auto byNumber = [](const auto& a, const auto& b) { return a.first < b.first; };
  // The client's files are nearly always in number order: then there is nothing to sort.
  if (!std::is_sorted(m_first.begin(), m_first.end(), byNumber))
    std::stable_sort(m_first.begin(), m_first.end(), byNumber);
  // Stable, so the first of equal numbers is the one nearest the start of the file.
  std::vector<std::int32_t> repeated;
  std::size_t kept = 0;
  for (std::size_t r = 0; r < m_first.size(); ++r) {
    if (kept > 0 && m_first[kept - 1].first == m_first[r].first) {
      repeated.push_back(m_first[r].first);
      continue;
    }
    m_first[kept++] = m_first[r];
  }
  m_first.resize(kept);
  return repeated;
}

std::vector<std::pair<std::int32_t, std::size_t>>::const_iterator TCliloc::firstAtOrAfter(
    std::int32_t n) const {
  return std::lower_bound(m_first.begin(), m_first.end(), n,
                          [](const auto& e, std::int32_t v) { return e.first < v; });
}

Bytes TCliloc::bytes() const {
  Bytes out = encodeCliloc(m_table);
  out.insert(out.end(), m_tail.begin(), m_tail.end());
  return out;
}

void TCliloc::save(const std::string& path) const {
  if (!m_loaded) throw Error(notLoadedMessage("Cliloc"));
  writeFileAtomic(path, bytes());
  m_changed = false;
}

void TCliloc::dropTail() {
  if (m_tail.empty()) return;
  m_tail.clear();
  m_changed = true;
}

void TCliloc::checkPos(std::size_t pos) const {
  if (!m_loaded) throw Error(notLoadedMessage("Cliloc"));
  if (pos >= m_table.entries.size())
    throw Error(formatMessage("There is no entry at %d: the table holds %d.",
                              {number(static_cast<std::int64_t>(pos)),
                               number(static_cast<std::int64_t>(m_table.entries.size()))}));
}

const TClilocEntry& TCliloc::entry(std::size_t pos) const {
  checkPos(pos);
  return m_table.entries[pos];
}

std::optional<std::size_t> TCliloc::find(std::int32_t n) const {
  const auto it = firstAtOrAfter(n);
  if (it == m_first.end() || it->first != n) return std::nullopt;
  return it->second;
}

std::vector<std::size_t> TCliloc::inRange(std::int32_t first, std::int32_t last) const {
  std::vector<std::size_t> out;
  for (std::size_t i = 0; i < m_table.entries.size(); ++i)
    if (m_table.entries[i].number >= first && m_table.entries[i].number <= last) out.push_back(i);
  return out;
}

std::vector<std::size_t> TCliloc::search(std::string_view words) const {
  std::vector<std::u32string> wanted;
  std::size_t pos = 0;
  while (pos < words.size()) {
    const std::size_t end = std::min(words.find(' ', pos), words.size());
    if (end > pos) wanted.push_back(foldedText(words.substr(pos, end - pos)));
    pos = end + 1;
  }
  std::vector<std::size_t> out;
  std::u32string text;
  for (std::size_t i = 0; i < m_table.entries.size(); ++i) {
    foldInto(m_table.entries[i].text, text);
    if (std::all_of(wanted.begin(), wanted.end(),
                    [&](const std::u32string& w) { return text.find(w) != std::u32string::npos; }))
      out.push_back(i);
  }
  return out;
}

void TCliloc::setText(std::size_t pos, std::string text) {
  checkPos(pos);
  checkText(text);
  if (m_table.entries[pos].text == text) return;
  m_table.entries[pos].text = std::move(text);
  m_changed = true;
}

void TCliloc::setFlag(std::size_t pos, std::uint8_t flag) {
  checkPos(pos);
  checkFlag(flag);
  if (m_table.entries[pos].flag == flag) return;
  m_table.entries[pos].flag = flag;
  m_changed = true;
}

std::size_t TCliloc::add(std::int32_t n, std::uint8_t flag, std::string text) {
  if (!m_loaded) throw Error(notLoadedMessage("Cliloc"));
  checkFlag(flag);
  checkText(text);
  const auto next = firstAtOrAfter(n);
  if (next != m_first.end() && next->first == n)
    throw Error(formatMessage("Entry %d is there already.", {number(n)}));
  // Beside its neighbour in number order, so a file that is not sorted keeps its runs together.
  std::size_t pos = m_table.entries.size();
  if (next != m_first.begin())
    pos = std::prev(next)->second + 1;
  else if (next != m_first.end())
    pos = next->second;
  m_table.entries.insert(m_table.entries.begin() + static_cast<std::ptrdiff_t>(pos),
                         {n, flag, std::move(text)});
  reindex();
  m_changed = true;
  return pos;
}

void TCliloc::remove(std::size_t pos) {
  checkPos(pos);
  m_table.entries.erase(m_table.entries.begin() + static_cast<std::ptrdiff_t>(pos));
  reindex();
  m_changed = true;
}

std::string TCliloc::exportTable() const {
  std::string out = "\xEF\xBB\xBFNumber\tFlag\tText\n";
  for (const TClilocEntry& e : m_table.entries) {
    out += number(e.number);
    out += '\t';
    out += number(e.flag);
    out += '\t';
    escapeInto(out, e.text);
    out += '\n';
  }
  return out;
}

void TCliloc::exportTableFile(const std::string& path) const {
  const std::string text = exportTable();
  writeFileAtomic(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

ClilocImportResult TCliloc::importTable(std::string_view text) {
  if (!m_loaded) throw Error(notLoadedMessage("Cliloc"));
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  ClilocImportResult result;
  // A number the table lists again means the next entry of that number, so a file whose numbers
  // repeat goes through its own table unchanged.
  std::map<std::int32_t, std::vector<std::size_t>> positions;
  for (std::size_t i = 0; i < m_table.entries.size(); ++i)
    positions[m_table.entries[i].number].push_back(i);
  std::map<std::int32_t, std::size_t> listed;
  std::size_t pos = 0, lineNumber = 0;
  std::string_view line;
  while (nextLine(text, pos, line)) {
    ++lineNumber;
    if (lineNumber == 1 && line.substr(0, 6) == "Number") continue;
    if (line.empty()) continue;
    const auto fail = [&](const std::string& why) {
      result.failedLines.push_back("Line " + number(static_cast<std::int64_t>(lineNumber)) + ": " + why);
    };
    const std::size_t tab1 = line.find('\t');
    const std::size_t tab2 = tab1 == std::string_view::npos ? tab1 : line.find('\t', tab1 + 1);
    if (tab2 == std::string_view::npos) {
      fail("a line holds the number, the flag and the text, separated by TABs.");
      continue;
    }
    const auto n = tryParseInt(line.substr(0, tab1));
    const auto flag = tryParseInt(line.substr(tab1 + 1, tab2 - tab1 - 1));
    const auto cell = unescaped(line.substr(tab2 + 1));
    if (!n) {
      fail("'" + std::string(line.substr(0, tab1)) + "' is no number.");
      continue;
    }
    // A line left out still stands for its entry: the next line of the number means the next.
    const std::size_t k = listed[*n]++;
    if (!flag || *flag < 0 || *flag > 2) {
      fail("the flag is 0, 1 or 2.");
      continue;
    }
    if (!cell) {
      fail("a backslash in the text stands before \\\\, t, n or r only.");
      continue;
    }
    try {
      checkText(*cell);
    } catch (const Error& e) {
      fail(e.what());
      continue;
    }
    const auto known = positions.find(*n);
    if (known == positions.end() || k >= known->second.size()) {
      if (k > 0) {
        fail(formatMessage("entry %d is listed more often than the file holds it.", {number(*n)}));
        continue;
      }
      const std::size_t at = add(*n, static_cast<std::uint8_t>(*flag), *cell);
      for (auto& [other, list] : positions)
        for (std::size_t& p : list) p += p >= at ? 1 : 0;
      positions[*n].push_back(at);
      ++result.added;
      continue;
    }
    TClilocEntry& e = m_table.entries[known->second[k]];
    if (e.text == *cell && e.flag == *flag) {
      ++result.unchanged;
      continue;
    }
    e.text = *cell;
    e.flag = static_cast<std::uint8_t>(*flag);
    ++result.changed;
    m_changed = true;
  }
  return result;
}

ClilocImportResult TCliloc::importTableFile(const std::string& path) {
  const Bytes bytes = readFile(path);
  return importTable(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

ClilocDiff diffCliloc(const TCliloc& a, const TCliloc& b) {
  std::map<std::int32_t, const TClilocEntry*> first, second;
  for (const TClilocEntry& e : a.entries()) first.emplace(e.number, &e);
  for (const TClilocEntry& e : b.entries()) second.emplace(e.number, &e);
  ClilocDiff diff;
  for (const auto& [n, e] : first) {
    const auto it = second.find(n);
    if (it == second.end())
      diff.removed.push_back(n);
    else if (!(*it->second == *e))
      diff.changed.push_back(n);
  }
  for (const auto& [n, e] : second)
    if (first.count(n) == 0) diff.added.push_back(n);
  return diff;
}

}  // namespace quillotide
