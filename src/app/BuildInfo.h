#pragma once
// What the build tells the program about itself: its version and where an installed copy lives.

#include <string>
#include <vector>

namespace quillotide {

// The program's version, "MAJOR.MINOR.PATCH", as both programs print it.
std::string programVersion();

// The folders an installed copy of the programs runs from (the install's and the package's
// program folder). A copy started from one of them keeps nothing beside itself.
std::vector<std::string> installedProgramDirs();

}  // namespace quillotide
