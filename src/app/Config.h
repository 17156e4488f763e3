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

  // Remembers the path and appends one entry per <config key=".." value=".."/> element. A missing
  // file adds nothing. A damaged file keeps every entry read before the defect and after it,
  // where the reader finds the next tag again; then readWhole() is false. Never throws.
  void load(const std::string& path);
  // Writes the whole list to the path; throws FileError "Cannot create file %s" on failure,
  // in which case the old file stays as it was. Before the first write over a file that could
  // not be read whole, a copy of that file is kept (see keepCopy).
  void save(const std::string& path);
  // Appends the entries of config text, read as load reads a file (values are held as UTF-8);
  // answers whether the text was read whole.
  bool loadText(const std::string& text);
  std::string toText() const;

  // False when the last load met a defect (a broken tag, a missing end tag, text that is no XML)
  // or found a file it could not read; defect() then says where ("line 3: ...").
  bool readWhole() const { return m_readWhole; }
  const std::string& defect() const { return m_defect; }

  struct KeptCopy {
    std::string path;
    bool written = false;  // false when a copy of the same bytes was already there
  };
  // Keeps the loaded file as it was beside it, as "<path>.bak" ("<path>.bak2", ... when such a
  // copy of other bytes exists), so nothing the reader skipped is lost by the next write.
  // Throws FileError when the copy cannot be written (then nothing may overwrite the file).
  KeptCopy keepCopy();

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
  bool m_readWhole = true;
  std::string m_defect;
  // The bytes of a file that was not read whole, until a copy of them is kept.
  std::string m_unreadFile;
  bool m_copyKept = false;
  std::string m_copyPath;
};

}  // namespace quillotide
