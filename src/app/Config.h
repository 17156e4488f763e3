#pragma once
// TConfig: every setting of the program as an ordered list of (key, value) strings, mirrored in
// config.xml. Every Set rewrites the whole file at once.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace quillotide {

class TConfig {
public:
  struct Entry {
    std::string key;
    std::string value;
  };

  // Remembers the path and appends one entry per <config key=".." value=".."/> element. A missing,
  // unreadable or malformed file adds nothing (and never throws).
  void load(const std::string& path);
  // Writes the whole list to the path; throws FileError "Cannot create file %s" on failure,
  // in which case the old file stays as it was.
  void save(const std::string& path) const;
  // Parses config text; false when it is not well-formed XML (then nothing is appended).
  bool loadText(const std::string& text);
  std::string toText() const;

  std::string getString(const std::string& key) const;
  bool getBool(const std::string& key) const;
  std::int32_t getInt(const std::string& key) const;
  bool contains(const std::string& key) const;

  // Replace the first entry with that key, or append one; then save to the remembered path.
  // A failed write throws FileError; the list keeps the new value.
  void setString(const std::string& key, const std::string& value);
  void setBool(const std::string& key, bool value);
  void setInt(const std::string& key, std::int32_t value);

  const std::vector<Entry>& entries() const { return m_entries; }
  const std::string& path() const { return m_path; }
  void setPath(const std::string& path) { m_path = path; }

private:
  std::vector<Entry> m_entries;
  std::string m_path;
};

}  // namespace quillotide
