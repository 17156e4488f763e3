#include "app/BuildInfo.h"

#include <algorithm>

// The build defines these from the project's version and install layout.
#ifndef QUILLOTIDE_VERSION
#define QUILLOTIDE_VERSION "0.0.0"
#endif
#ifndef QUILLOTIDE_INSTALLED_BINDIRS
#define QUILLOTIDE_INSTALLED_BINDIRS ""
#endif

namespace quillotide {

std::string programVersion() { return QUILLOTIDE_VERSION; }

std::vector<std::string> installedProgramDirs() {
  std::vector<std::string> dirs;
  const std::string list = QUILLOTIDE_INSTALLED_BINDIRS;
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t end = std::min(list.find(':', start), list.size());
    if (end > start) dirs.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return dirs;
}

}  // namespace quillotide
