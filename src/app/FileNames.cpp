#include "app/FileNames.h"

#include <filesystem>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <sys/stat.h>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Text.h"

namespace quillotide {

std::string lowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string FoundFile::clashNote(const std::string& folder) const {
  if (others.empty()) return {};
  std::string names = name;
  for (std::size_t i = 0; i < others.size(); ++i)
    names += (i + 1 == others.size() ? " and " : ", ") + others[i];
  return formatMessage("Both %s are in %s; %s was taken.", {names, folder, name});
}

FolderNames::FolderNames(const std::string& folder) : m_folder(folder) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) {
    const int err = errno;
    std::string text = formatMessage("Cannot open folder %s", {folder});
    if (err != 0) text += std::string(": ") + std::strerror(err);
    throw FileError(text);
  }
  while (const dirent* d = ::readdir(dir)) {
    const std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    // Links are followed: a client folder may be assembled from links to the files.
    if (::stat(joinPath(folder, name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    m_byLower[lowerAscii(name)].push_back(name);
    ++m_count;
  }
  ::closedir(dir);
  for (auto& [lower, names] : m_byLower) std::sort(names.begin(), names.end());
}

FolderNames FolderNames::orEmpty(const std::string& folder) {
  try {
    return FolderNames(folder);
  } catch (const Error&) {
    FolderNames none;
    none.m_folder = folder;
    return none;
  }
}

std::optional<FoundFile> FolderNames::find(const std::string& name) const {
  const auto it = m_byLower.find(lowerAscii(name));
  if (it == m_byLower.end()) return std::nullopt;
  const std::vector<std::string>& names = it->second;
  const auto exact = std::find(names.begin(), names.end(), name);
  FoundFile found;
  found.name = exact != names.end() ? *exact : names.front();
  for (const std::string& n : names)
    if (n != found.name) found.others.push_back(n);
  found.path = joinPath(m_folder, found.name);
  return found;
}

namespace {

// A lookup that met names differing only in case says which one it took (once per action: the
// notes keep one of each).
void noteClash(const FoundFile& found, const std::string& folder) {
  if (!found.others.empty()) addFileNote(found.clashNote(folder.empty() ? "." : folder));
}

}  // namespace

std::string pathWithoutCase(const std::string& folder, const std::string& name) {
  const std::string given = joinPath(folder, name);
  // The folder is read even when the name as given is there: a second spelling beside it is
  // said, not passed over.
  const auto found = FolderNames::orEmpty(folder).find(name);
  if (!found) return given;
  noteClash(*found, folder);
  return found->path;
}

std::string existingPathWithoutCase(const std::string& path) {
  if (path.empty()) return path;
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty()) return path;
  const auto found = FolderNames::orEmpty(folder.empty() ? "." : folder).find(name);
  // Not a regular file of the folder (a folder, a device): the path stays as typed.
  if (!found) return path;
  // Named as pathWithoutCase names it, so one clash met both ways is said once.
  noteClash(*found, slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash));
  return folder + found->name;
}

bool insideFolder(const std::string& path, const std::string& folder) {
  if (path.empty() || folder.empty()) return false;
  std::error_code ec;
  const std::filesystem::path file = std::filesystem::weakly_canonical(path, ec);
  if (ec) return false;
  const std::filesystem::path dir = std::filesystem::weakly_canonical(folder, ec);
  if (ec) return false;
  const auto [end, rest] = std::mismatch(dir.begin(), dir.end(), file.begin(), file.end());
  // A trailing separator leaves an empty last element in the folder.
  return end == dir.end() || (std::next(end) == dir.end() && end->empty());
}

}  // namespace quillotide
