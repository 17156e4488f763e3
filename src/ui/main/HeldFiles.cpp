#include "ui/main/HeldFiles.h"

#include <memory>

#include "app/FileIO.h"
#include "registry/Registry.h"
#include "ui/editor/SEditorForm.h"
#include "ui/main/MainForm.h"
#include "ui/main/SettingsPage.h"
#include "ui/platform/Dialogs.h"
#include "ui/platform/GaugeForm.h"

namespace quillotide::ui {

namespace {

const QString kMap = QStringLiteral("Map");
const QString kStatics = QStringLiteral("Statics");

QString qstr(const std::string& s) { return QString::fromStdString(s); }

// "map", "map and statics", "art, gumps and statics".
QString namesOf(const QStringList& groups) {
  QStringList names;
  for (const QString& g : groups) names << g.toLower();
  if (names.size() < 2) return names.value(0);
  const QString last = names.takeLast();
  return names.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

}  // namespace

HeldFiles::HeldFiles(TMainForm& main) : m_main(main) {}

std::vector<std::string> HeldFiles::loadedPaths(const QString& group) const {
  std::vector<std::string> paths;
  SettingsPage* settings = m_main.settingsPage();
  if (settings)
    for (const QString& p : settings->loadedPaths(group)) paths.push_back(p.toStdString());
  // A model loaded before its files were recorded: the paths its fields show.
  return paths.empty() ? fieldPaths(group) : paths;
}

std::vector<std::string> HeldFiles::fieldPaths(const QString& group) const {
  std::vector<std::string> paths;
  SettingsPage* settings = m_main.settingsPage();
  FileGroupBox* box = settings ? settings->group(group) : nullptr;
  if (box)
    for (const QString& p : box->paths()) paths.push_back(p.toStdString());
  return paths;
}

QStringList HeldFiles::holders(const std::vector<std::string>& files) const {
  Registry& r = m_main.registry();
  QStringList groups;
  const auto names = [&](const std::string& held) {
    if (held.empty()) return false;
    for (const std::string& f : files)
      if (!f.empty() && sameTarget(f, held)) return true;
    return false;
  };
  for (const FileFamily& family : SettingsPage::families()) {
    const QString& id = family.group.id;
    if (!family.isLoaded || !family.isLoaded(r)) continue;
    bool held = false;
    for (const std::string& path : loadedPaths(id)) held = held || names(path);
    if (held) groups << id;
  }
  return groups;
}

bool HeldFiles::editorShowsWorld() const {
  const TSEditorForm* editor = TSEditorForm::existing(m_main);
  return editor && editor->isVisible();
}

QStringList HeldFiles::changedOf(const QStringList& groups) const {
  // Without the Settings page nothing can be compared: every holder counts as changed.
  const SettingsPage* settings = m_main.settingsPage();
  return settings ? settings->unsavedOf(groups) : groups;
}

bool HeldFiles::readsFrom(const std::vector<std::string>& files) {
  const QStringList changed = changedOf(holders(files));
  if (changed.isEmpty()) return true;
  const auto answer = m_main.dialogs().ask(
      Dialogs::kCaption,
      QStringLiteral("The loaded %1 has unsaved changes, and this tool reads the files "
                     "themselves. Save the changes first?")
          .arg(namesOf(changed)),
      {QStringLiteral("Save"), QStringLiteral("Use the saved files"), QStringLiteral("Cancel")});
  if (!answer || *answer == 2) return false;
  return *answer == 1 || saveToOwnFiles(changed);
}

bool HeldFiles::settle(const QStringList& groups) {
  Dialogs& dialogs = m_main.dialogs();
  const QStringList changed = changedOf(groups);
  if (changed.isEmpty()) return true;
  const QString text = QStringLiteral(
      "The loaded %1 has unsaved changes, and this tool works on the files themselves. Save the "
      "changes first?");
  const auto answer =
      dialogs.ask(Dialogs::kCaption, text.arg(namesOf(changed)),
                  {QStringLiteral("Save"), QStringLiteral("Discard"), QStringLiteral("Cancel")});
  if (!answer || *answer == 2) return false;
  if (*answer == 1) return true;
  return saveToOwnFiles(changed);
}

bool HeldFiles::saveToOwnFiles(const QStringList& groups) {
  Dialogs& dialogs = m_main.dialogs();
  SettingsPage* settings = m_main.settingsPage();
  return runAction(dialogs, [&] {
    if (!settings) return;
    for (const QString& g : groups)
      if (const auto message = settings->saveToLoadedFiles(g)) dialogs.showMessage(qstr(*message));
  });
}

void HeldFiles::let(const QStringList& groups) {
  Registry& r = m_main.registry();
  // A fresh model closes the files and drops the locks the tool needs.
  if (groups.contains(kMap)) r.map = std::make_unique<TMap>(r.worldSources());
  if (groups.contains(kStatics)) r.statics = std::make_unique<TStatics>(r.worldSources());
  r.wireWorldSources();
}

void HeldFiles::reload(const QStringList& groups) {
  Registry& r = m_main.registry();
  SettingsPage* settings = m_main.settingsPage();
  for (const QString& g : groups) {
    const FileFamily* family = SettingsPage::family(g);
    if (settings) settings->load(g, SettingsPage::LoadMode::Quiet);
    if (family && family->isLoaded && !family->isLoaded(r))
      m_main.dialogs().showMessage(
          QStringLiteral("The %1 could not be loaded again after the tool: load it on the "
                         "Settings page.")
              .arg(g.toLower()));
  }
}

bool HeldFiles::run(const std::vector<std::string>& files, const std::function<void()>& tool) {
  Dialogs& dialogs = m_main.dialogs();
  const QStringList groups = holders(files);
  if (groups.isEmpty()) return runAction(dialogs, tool);
  const bool world = groups.contains(kMap) || groups.contains(kStatics);
  if (world && editorShowsWorld()) {
    dialogs.showMessage(QStringLiteral(
        "Close the world editor first: it shows the map and statics this tool changes."));
    return false;
  }
  if (!settle(groups)) return false;
  let(groups);
  const bool ran = runAction(dialogs, tool);
  reload(groups);
  return ran;
}

}  // namespace quillotide::ui
