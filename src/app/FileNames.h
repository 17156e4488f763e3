#pragma once
// Names looked up in a folder without regard to case. A client folder copied from Windows keeps
// names such as "Stadifl0.mul", "stadifl0.mul" or "Cliloc.enu", and the client finds each of them
// whatever its case; so does every lookup of a fixed name here. New files keep the case the
// program gives them, or the case of the file they replace.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quillotide {

// One name found in a folder.
struct FoundFile {
  std::string path;                 // the folder joined with the name as it is on disk
  std::string name;                 // the name as it is on disk ("Stadifl0.mul")
  std::vector<std::string> others;  // further names equal to it without case, not taken
  // "Both map0.mul and Map0.mul are in DIR; map0.mul was taken." or empty when there is no other.
  std::string clashNote(const std::string& folder) const;
};

// The regular files of one folder (links followed), read once, by their lower-case names.
class FolderNames {
public:
  // Throws FileError "Cannot open folder %s" with the system's reason when it cannot be read.
  explicit FolderNames(const std::string& folder);
  // Never throws: a folder that cannot be read holds no names.
  static FolderNames orEmpty(const std::string& folder);

  // The file whose name equals `name` without case: the name as given when it is there, else the
  // first of the equal names in byte order (the others are listed); nullopt when there is none.
  std::optional<FoundFile> find(const std::string& name) const;
  const std::string& folder() const { return m_folder; }
  std::size_t size() const { return m_count; }

private:
  FolderNames() = default;
  std::string m_folder;
  std::map<std::string, std::vector<std::string>> m_byLower;  // each list sorted
  std::size_t m_count = 0;
};

// The path of `name` in `folder` to read or to replace: the file there whose name equals it
// without case (the name as given when it is one of several), else folder + name as given (the
// case a new file is written with). Never throws. Where names differ only in case, a file note
// (clashNote) says which one was taken.
std::string pathWithoutCase(const std::string& folder, const std::string& name);
// Whether the path lies in the folder or below it (links followed where they exist).
bool insideFolder(const std::string& path, const std::string& folder);
// A full path as typed or stored: unchanged when it exists, else the file of its folder whose last
// part equals it without case when there is one, else unchanged. A clash of names is noted as
// pathWithoutCase notes it.
std::string existingPathWithoutCase(const std::string& path);

// ASCII lower case; other bytes unchanged.
std::string lowerAscii(std::string text);

}  // namespace quillotide
