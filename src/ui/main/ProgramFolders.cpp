#include "ui/main/ProgramFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "app/BuildInfo.h"
#include "app/FileIO.h"

namespace quillotide::ui {

namespace {

// The folder name below the user's configuration and data folders: what Qt's application
// locations give for this program, whatever name the running executable has.
const QString kFolderName = QStringLiteral("Quillotide");

std::string userLocation(QStandardPaths::StandardLocation location) {
  return QDir(QStandardPaths::writableLocation(location)).filePath(kFolderName).toStdString();
}

QString canonical(const std::string& dir) {
  const QString path = QFileInfo(QString::fromStdString(dir)).canonicalFilePath();
  return path.isEmpty() ? QDir::cleanPath(QString::fromStdString(dir)) : path;
}

// An install of any prefix (a package's /usr, "make install" into ~/.local) puts the menu entry
// into share/applications and the documentation into share/doc/quillotide beside the program's
// bin folder; a build folder or an unpacked portable copy has neither.
bool hasInstallLayout(const QString& dir) {
  const QDir share(dir + QStringLiteral("/../share"));
  return QFileInfo::exists(share.filePath(QStringLiteral("quillotide"))) ||
         QFileInfo::exists(share.filePath(QStringLiteral("doc/quillotide"))) ||
         QFileInfo::exists(share.filePath(QStringLiteral("applications/quillotide.desktop")));
}

}  // namespace

ProgramFolders ProgramFolders::beside(const std::string& programDir) {
  return {programDir, programDir, false};
}

ProgramFolders ProgramFolders::user() {
  return {userLocation(QStandardPaths::GenericConfigLocation),
          userLocation(QStandardPaths::GenericDataLocation), true};
}

ProgramFolders programFolders(const std::string& programDir,
                              const std::vector<std::string>& installedDirs) {
  const QString dir = canonical(programDir);
  bool installed = !QFileInfo(dir).isWritable() || hasInstallLayout(dir);
  for (const std::string& installedDir : installedDirs)
    installed = installed || canonical(installedDir) == dir;
  return installed ? ProgramFolders::user() : ProgramFolders::beside(programDir);
}

ProgramFolders programFolders() {
  return programFolders(executableDir(), installedProgramDirs());
}

std::string shownPath(const std::string& path) {
  const std::string home = QDir::homePath().toStdString();
  if (home.size() > 1 && path.compare(0, home.size(), home) == 0 &&
      (path.size() == home.size() || path[home.size()] == '/'))
    return std::string("~").append(path, home.size());
  return path;
}

std::string programHelp() {
  return "Usage: quillotide [--sample]\n"
         "  or:  quillotide --Worldeditor [--sample]\n"
         "  or:  quillotide --client DIR\n"
         "  or:  quillotide --world URL [--facet N]\n"
         "  or:  quillotide --help | --version\n"
         "\n"
         "Edits the client data files of Ultima Online: art, gumps, textures, hues, light, tile\n"
         "data, animations, sounds, multis, verdata and the world with its editor. Nothing is\n"
         "loaded until you press a \"Load\" button on the Settings page. Only the first\n"
         "argument switches.\n"
         "\n"
         "Options:\n"
         "  --sample       write the sample client set when it is missing, then load it all\n"
         "  --Worldeditor  load the world editor's files and open the editor; with --sample\n"
         "                 after it, on the sample world\n"
         "  --client DIR   find the files of the client folder DIR and load them\n"
         "  --world URL    open the world editor on facet N (0 unless --facet N follows) of\n"
         "                 the shared world in the PostgreSQL database the URL names\n"
         "  --help         print this text and exit\n"
         "  --version      print the version and exit\n"
         "\n"
         "Files:\n"
         "A copy run from its build folder, or from any folder it can write to that is not an\n"
         "install, keeps config.xml and the folder \"sample\" beside the executable. An\n"
         "installed copy (the package, or an install with a prefix of your own) keeps\n"
         "config.xml in $XDG_CONFIG_HOME/Quillotide (by default ~/.config/Quillotide) and\n"
         "the sample set in $XDG_DATA_HOME/Quillotide/sample (by default\n"
         "~/.local/share/Quillotide/sample).\n"
         "The sample set keeps its own config.xml inside its folder. \"About...\" on the\n"
         "Settings page shows the folders of the running copy.\n"
         "\n"
         "See quillotide-cli(1) for every operation as a command.\n";
}

std::string programVersionLine() { return "quillotide " + programVersion() + "\n"; }

}  // namespace quillotide::ui
