#include "models/Speech.h"

#include <algorithm>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/IndexedFile.h"
#include "app/Text.h"

namespace quillotide {

namespace {

std::uint16_t loadBigU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool containsFolded(std::string_view text, std::string_view word) {
  if (word.empty()) return true;
  const auto it = std::search(text.begin(), text.end(), word.begin(), word.end(),
                              [](char a, char b) { return asciiLower(a) == asciiLower(b); });
  return it != text.end();
}

}  // namespace

void TSpeech::load(const std::string& path) { loadBytes(readFile(path)); }

void TSpeech::loadBytes(std::span<const std::uint8_t> bytes) {
  std::vector<SpeechEntry> entries;
  std::vector<std::string> problems;
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::size_t index = entries.size();
    if (bytes.size() - at < 4)
      throw FormatError(formatMessage(
          "speech.mul ends inside the head of entry %d: %d stray bytes at offset %d.",
          {std::to_string(index), std::to_string(bytes.size() - at), std::to_string(at)}));
    SpeechEntry e;
    e.id = loadBigU16(bytes.data() + at);
    const std::size_t length = loadBigU16(bytes.data() + at + 2);
    if (bytes.size() - at - 4 < length)
      throw FormatError(formatMessage(
          "Entry %d of speech.mul (offset %d) holds %d bytes of text, but the file ends after %d.",
          {std::to_string(index), std::to_string(at), std::to_string(length),
           std::to_string(bytes.size() - at - 4)}));
    e.text.assign(reinterpret_cast<const char*>(bytes.data() + at + 4), length);
    if (!isUtf8(e.text))
      problems.push_back(formatMessage("Entry %d (id %d) is not UTF-8 text.",
                                       {std::to_string(index), std::to_string(e.id)}));
    if (e.text.find('\0') != std::string::npos)
      problems.push_back(formatMessage("Entry %d (id %d) holds a NUL byte.",
                                       {std::to_string(index), std::to_string(e.id)}));
    entries.push_back(std::move(e));
    at += 4 + length;
  }
  m_entries = std::move(entries);
  m_problems = std::move(problems);
  m_loaded = true;
  m_changed = false;
}

Bytes TSpeech::bytes() const {
  std::size_t total = 0;
  for (const SpeechEntry& e : m_entries) total += 4 + e.text.size();
  Bytes out;
  out.reserve(total);
  for (const SpeechEntry& e : m_entries) {
    const auto length = static_cast<std::uint16_t>(e.text.size());
    out.push_back(static_cast<std::uint8_t>(e.id >> 8));
    out.push_back(static_cast<std::uint8_t>(e.id & 0xFF));
    out.push_back(static_cast<std::uint8_t>(length >> 8));
    out.push_back(static_cast<std::uint8_t>(length & 0xFF));
    out.insert(out.end(), e.text.begin(), e.text.end());
  }
  return out;
}

void TSpeech::save(const std::string& path) const {
  if (!m_loaded) throw Error(notLoadedMessage("Speech"));
  writeFileAtomic(path, bytes());
  m_changed = false;
}

const SpeechEntry& TSpeech::entry(std::size_t index) const {
  checkIndex(index);
  return m_entries[index];
}

std::vector<SpeechSection> TSpeech::sections() const {
  std::vector<SpeechSection> out;
  for (std::size_t i = 0; i < m_entries.size(); ++i) {
    if (out.empty() || m_entries[i].id < m_entries[i - 1].id) out.push_back({i, 0});
    ++out.back().count;
  }
  return out;
}

std::vector<std::size_t> TSpeech::entriesOfId(std::uint16_t id) const {
  std::vector<std::size_t> out;
  for (std::size_t i = 0; i < m_entries.size(); ++i)
    if (m_entries[i].id == id) out.push_back(i);
  return out;
}

std::vector<std::size_t> TSpeech::search(std::string_view words) const {
  std::vector<std::string_view> wanted;
  std::size_t pos = 0;
  while (pos < words.size()) {
    const std::size_t end = std::min(words.find(' ', pos), words.size());
    if (end > pos) wanted.push_back(words.substr(pos, end - pos));
    pos = end + 1;
  }
  std::vector<std::size_t> out;
  for (std::size_t i = 0; i < m_entries.size(); ++i)
    if (std::all_of(wanted.begin(), wanted.end(),
                    [&](std::string_view w) { return containsFolded(m_entries[i].text, w); }))
      out.push_back(i);
  return out;
}

void TSpeech::checkIndex(std::size_t index) const {
  if (!m_loaded) throw Error(notLoadedMessage("Speech"));
  if (index >= m_entries.size())
    throw Error(formatMessage("There is no entry %d: the file holds %d entries (0 to %d).",
                              {std::to_string(index), std::to_string(m_entries.size()),
                               m_entries.empty() ? "none" : std::to_string(m_entries.size() - 1)}));
}

void TSpeech::checkText(std::string_view text) {
  if (text.size() > kMaxTextBytes)
    throw Error(formatMessage("A keyword holds at most %d bytes; this one has %d.",
                              {std::to_string(kMaxTextBytes), std::to_string(text.size())}));
}

void TSpeech::setText(std::size_t index, std::string text) {
  checkIndex(index);
  checkText(text);
  if (m_entries[index].text == text) return;
  m_entries[index].text = std::move(text);
  m_changed = true;
}

void TSpeech::setId(std::size_t index, std::uint16_t id) {
  checkIndex(index);
  if (m_entries[index].id == id) return;
  m_entries[index].id = id;
  m_changed = true;
}

std::size_t TSpeech::insert(std::size_t index, SpeechEntry entry) {
  if (!m_loaded) throw Error(notLoadedMessage("Speech"));
  if (index > m_entries.size())
    throw Error(formatMessage("An entry goes at 0 to %d; %d lies past the end.",
                              {std::to_string(m_entries.size()), std::to_string(index)}));
  checkText(entry.text);
  m_entries.insert(m_entries.begin() + static_cast<std::ptrdiff_t>(index), std::move(entry));
  m_changed = true;
  return index;
}

void TSpeech::remove(std::size_t index) {
  checkIndex(index);
  m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(index));
  m_changed = true;
}

}  // namespace quillotide
