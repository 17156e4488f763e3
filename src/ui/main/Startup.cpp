#include "ui/main/Startup.h"

#include <cstring>

#include <QDir>

#include "app/Error.h"
#include "app/Facet.h"
#include "app/FileIO.h"
#include "registry/Registry.h"
#include "app/Text.h"
#include "sample/Sample.h"
#include "ui/editor/SharedLink.h"
#include "ui/main/MainForm.h"
#include "ui/main/SettingsPage.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

StartSwitch startSwitch(int argc, const char* const* argv) {
  if (argc < 2 || !argv || !argv[1]) return StartSwitch::None;
  if (std::strcmp(argv[1], "--Worldeditor") == 0) return StartSwitch::Worldeditor;
  if (std::strcmp(argv[1], "--sample") == 0) return StartSwitch::Sample;
  if (std::strcmp(argv[1], "--client") == 0) return StartSwitch::Client;
  if (std::strcmp(argv[1], "--world") == 0) return StartSwitch::World;
  return StartSwitch::None;
}

std::string worldArgument(int argc, const char* const* argv) {
  if (startSwitch(argc, argv) != StartSwitch::World || argc < 3 || !argv[2]) return {};
  return argv[2];
}

int worldFacetArgument(int argc, const char* const* argv) {
  for (int i = 3; i + 1 < argc; ++i)
    if (argv[i] && argv[i + 1] && std::strcmp(argv[i], "--facet") == 0) {
      const auto facet = tryParseInt(argv[i + 1]);
      return facet && *facet >= 0 && *facet < kFacetCount ? *facet : -1;
    }
  return 0;
}

std::string clientFolderArgument(int argc, const char* const* argv) {
  if (startSwitch(argc, argv) != StartSwitch::Client || argc < 3 || !argv[2]) return {};
  return argv[2];
}

std::string sampleDir(const std::string& programDir) { return joinPath(programDir, "sample"); }

bool editorWithSample(int argc, const char* const* argv) {
  return startSwitch(argc, argv) == StartSwitch::Worldeditor && argc > 2 && argv[2] &&
         std::strcmp(argv[2], "--sample") == 0;
}

std::string configPath(StartSwitch start, const std::string& programDir, bool withSample) {
  return configPath(start, ProgramFolders::beside(programDir), withSample);
}

std::string configPath(StartSwitch start, const ProgramFolders& folders, bool withSample) {
  const std::string dir =
      start == StartSwitch::Sample || withSample ? sampleDir(folders.dataDir) : folders.configDir;
  return joinPath(dir, "config.xml");
}

std::string loadConfig(TConfig& config, const std::string& path) {
  config.load(path);
  if (config.readWhole()) return {};
  try {
    const TConfig::KeptCopy copy = config.keepCopy();
    if (!copy.written) return {};
    return formatMessage(
        "%s could not be read whole (%s). Every setting read from it is kept; the "
        "file as it was is kept as %s.",
        {path, config.defect(), copy.path});
  } catch (const Error& e) {
    return formatMessage(
        "%s could not be read whole (%s), and no copy of it could be kept (%s). "
        "No setting is stored while the file cannot be kept.",
        {path, config.defect(), e.what()});
  }
}

Startup::Startup(int argc, const char* const* argv, const std::string& programDir, Dialogs& dialogs)
    : Startup(argc, argv, ProgramFolders::beside(programDir), dialogs) {}

Startup::Startup(int argc, const char* const* argv, const ProgramFolders& folders,
                 Dialogs& dialogs)
    : m_switch(ui::startSwitch(argc, argv)),
      m_withSample(editorWithSample(argc, argv)),
      m_clientFolder(clientFolderArgument(argc, argv)),
      m_worldUrl(worldArgument(argc, argv)),
      m_worldFacet(worldFacetArgument(argc, argv)),
      m_folders(folders),
      m_dialogs(dialogs) {
  // The user's folders of an installed copy may not exist yet on its first start.
  if (folders.installed) QDir().mkpath(QString::fromStdString(folders.configDir));
  // The sample's configuration lives in its folder, which must be there before it is written.
  if (m_switch == StartSwitch::Sample || m_withSample)
    runAction(dialogs, [&] {
      if (folders.installed) QDir().mkpath(QString::fromStdString(folders.dataDir));
      if (!sample::sampleSetComplete(sampleDir(folders.dataDir)))
        sample::writeSampleSet(sampleDir(folders.dataDir));
    });
  m_registry = std::make_unique<Registry>();
  m_configNotice = loadConfig(*m_registry->config, configPath(m_switch, folders, m_withSample));
  m_mainForm = std::make_unique<TMainForm>(*m_registry, dialogs);
}

// The windows go first; the registry then releases the store and every model in creation order.
Startup::~Startup() {
  m_mainForm.reset();
  m_registry.reset();
}

void Startup::begin() {
  if (!m_configNotice.empty())
    m_dialogs.message(Dialogs::kCaption, QString::fromStdString(m_configNotice),
                      MessageIcon::Warning);
  if (m_withSample) m_mainForm->useSampleSet(QString::fromStdString(sampleDir(m_folders.dataDir)));
  if (m_switch == StartSwitch::Worldeditor) m_mainForm->startWorldeditor();
  if (m_switch == StartSwitch::Client) {
    // Stored as a whole path, so the next start finds it from wherever it runs.
    if (m_clientFolder.empty())
      m_dialogs.showError(
          QStringLiteral("Name the client folder after --client: quillotide --client DIR"));
    else
      m_mainForm->settingsPage()->useClientFolder(
          QDir(QString::fromStdString(m_clientFolder)).absolutePath());
  }
  if (m_switch == StartSwitch::Sample)
    m_mainForm->useSampleSet(QString::fromStdString(sampleDir(m_folders.dataDir)));
  if (m_switch == StartSwitch::World) {
    if (m_worldUrl.empty() || m_worldFacet < 0)
      m_dialogs.showError(QStringLiteral(
          "Name the shared world after --world, and a facet 0 to 5 after --facet: quillotide "
          "--world URL [--facet N]"));
    else
      openSharedWorld(*m_mainForm, m_worldUrl, m_worldFacet);
  }
}

}  // namespace quillotide::ui
