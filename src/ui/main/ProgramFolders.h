#pragma once
// Where a copy of the program keeps what it writes: config.xml (and the sound page's play.wav)
// and the sample set. A portable copy keeps both beside the executable. An installed copy cannot,
// or must not, write beside /usr/bin/quillotide: it keeps config.xml in the user's configuration
// folder and the sample set in the user's data folder.

#include <string>
#include <vector>

namespace quillotide::ui {

struct ProgramFolders {
  std::string configDir;  // holds config.xml
  std::string dataDir;    // holds the folder "sample"
  bool installed = false;

  // Both beside the program, as a portable copy keeps them.
  static ProgramFolders beside(const std::string& programDir);
  // The user's folders: "Quillotide" in the configuration folder ($XDG_CONFIG_HOME, usually
  // ~/.config) and in the data folder ($XDG_DATA_HOME, usually ~/.local/share).
  static ProgramFolders user();
};

// The user's folders when programDir cannot be written or is one of installedDirs (root can write
// to /usr/bin, and an installed program still keeps nothing there), otherwise programDir itself.
ProgramFolders programFolders(const std::string& programDir,
                              const std::vector<std::string>& installedDirs);
// The same for the running program and the folders this build installs into.
ProgramFolders programFolders();

// A path for people to read: the home folder shown as "~".
std::string shownPath(const std::string& path);

// The text of "quillotide --help" and "quillotide --version".
std::string programHelp();
std::string programVersionLine();

}  // namespace quillotide::ui
