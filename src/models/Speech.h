#pragma once
// TSpeech: the speech keywords of speech.mul. No header and no index: entries follow one another
// to the end of the file, each a big-endian u16 keyword id, a big-endian u16 byte length and that
// many bytes of UTF-8 text without a terminator. The file holds several lists one after another
// (one per language, each starting again at a low id), so ids repeat and go down; empty entries
// (pairs of id 0 between lists) and a byte-order mark inside a text are kept as they are. Saving
// the entries in their order gives the file back byte for byte.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/Bytes.h"

namespace quillotide {

struct SpeechEntry {
  std::uint16_t id = 0;
  std::string text;  // the stored bytes (UTF-8 in every real file; kept as they are when not)
  bool operator==(const SpeechEntry&) const = default;
};

// A list of the file: the entries from one drop of the id to the next.
struct SpeechSection {
  std::size_t first = 0;  // index of its first entry
  std::size_t count = 0;
};

class TSpeech {
public:
  // The longest text an entry can hold, in bytes.
  static constexpr std::size_t kMaxTextBytes = 0xFFFF;

  // Reads the file whole. Throws FileError when it cannot be read and FormatError when it ends
  // inside an entry (a head of 1 to 3 bytes, or a text running past the end), naming the entry
  // and offset; the model keeps what it had.
  void load(const std::string& path);
  void loadBytes(std::span<const std::uint8_t> bytes);
  // Replaces the file whole; throws Error when nothing was loaded.
  void save(const std::string& path) const;
  Bytes bytes() const;
  bool isLoaded() const { return m_loaded; }
  // Edits since the load or the last save.
  bool isChanged() const { return m_changed; }

  const std::vector<SpeechEntry>& entries() const { return m_entries; }
  std::size_t size() const { return m_entries.size(); }
  const SpeechEntry& entry(std::size_t index) const;
  // What the load found worth saying about texts the client may not read: bytes that are no
  // UTF-8 and NUL bytes, one line each, naming the entry.
  const std::vector<std::string>& problems() const { return m_problems; }

  // The lists of the file, in order.
  std::vector<SpeechSection> sections() const;
  // Indexes of the entries of a keyword id, in file order.
  std::vector<std::size_t> entriesOfId(std::uint16_t id) const;
  // Indexes of the entries whose text holds every word of `words` (split at blanks), compared
  // without regard to case for ASCII letters; stars in the text are not special.
  std::vector<std::size_t> search(std::string_view words) const;

  // Throw Error for an index past the end or a text longer than kMaxTextBytes; nothing changes
  // then.
  void setText(std::size_t index, std::string text);
  void setId(std::size_t index, std::uint16_t id);
  // Inserts before `index` (size() appends); returns the index of the new entry.
  std::size_t insert(std::size_t index, SpeechEntry entry);
  void remove(std::size_t index);

private:
  void checkIndex(std::size_t index) const;
  static void checkText(std::string_view text);

  std::vector<SpeechEntry> m_entries;
  std::vector<std::string> m_problems;
  bool m_loaded = false;
  mutable bool m_changed = false;  // a save of the same entries clears it
};

}  // namespace quillotide
