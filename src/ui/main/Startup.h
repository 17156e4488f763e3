#pragma once
// The start of the program: the command-line switches, the configuration file of this start,
// the registry and the main window. Only the first argument switches, in exactly these letters:
// "--Worldeditor" loads the world editor's files, "--sample" opens the sample set; "--sample" may
// follow "--Worldeditor" to open the editor on the sample set; "--client DIR" finds the files of
// the client folder DIR and loads them; "--world URL [--facet N]" opens the world editor on a
// facet (0 unless named) of the shared world the URL names.

#include <memory>
#include <string>

#include "ui/main/ProgramFolders.h"

namespace quillotide {
class Registry;
class TConfig;
}  // namespace quillotide

namespace quillotide::ui {

class Dialogs;
class TMainForm;

enum class StartSwitch { None, Worldeditor, Sample, Client, World };

StartSwitch startSwitch(int argc, const char* const* argv);

// The folder of the sample set: "sample" beside the program.
std::string sampleDir(const std::string& programDir);
// The folder after "--client"; empty when there is none.
std::string clientFolderArgument(int argc, const char* const* argv);
// After "--world": the URL (empty when there is none) and the facet of "--facet N" (0 when not
// given, -1 when what follows --facet is no facet number).
std::string worldArgument(int argc, const char* const* argv);
int worldFacetArgument(int argc, const char* const* argv);
// "--Worldeditor --sample": the world editor on the sample set (the switch stays first).
bool editorWithSample(int argc, const char* const* argv);
// "config.xml" beside the program; for "--sample" (also after "--Worldeditor") the one inside the
// sample folder, so that the sample's paths never take the place of the user's own.
std::string configPath(StartSwitch start, const std::string& programDir, bool withSample = false);
// The same for a copy that keeps config.xml and the sample set in the given folders.
std::string configPath(StartSwitch start, const ProgramFolders& folders, bool withSample = false);

// Loads the store from path. When the file could not be read whole, keeps a copy of it beside it
// before anything can write over it, and answers what to tell the user; the answer is empty when
// the file was read whole or its copy was kept by an earlier start (so it is said once).
std::string loadConfig(TConfig& config, const std::string& path);

// One run of the program, from the first argument to the shown main window.
class Startup {
public:
  // Writes the sample set first when "--sample" needs it, loads the configuration of this start,
  // creates every model and the main window (not yet shown).
  // The configuration and the sample set live in folders (beside the program, or the user's
  // folders for an installed copy); a programDir keeps both beside the program.
  Startup(int argc, const char* const* argv, const ProgramFolders& folders, Dialogs& dialogs);
  Startup(int argc, const char* const* argv, const std::string& programDir, Dialogs& dialogs);
  ~Startup();

  // Says what the configuration load found, then runs the switch: the world editor's loads
  // (100 ms later) or the sample set's paths and loads.
  void begin();

  Registry& registry() { return *m_registry; }
  TMainForm& mainForm() { return *m_mainForm; }
  StartSwitch startSwitch() const { return m_switch; }

private:
  StartSwitch m_switch;
  bool m_withSample = false;
  std::string m_clientFolder;
  std::string m_worldUrl;
  int m_worldFacet = 0;
  ProgramFolders m_folders;
  Dialogs& m_dialogs;
  std::string m_configNotice;
  std::unique_ptr<Registry> m_registry;
  std::unique_ptr<TMainForm> m_mainForm;
};

}  // namespace quillotide::ui
