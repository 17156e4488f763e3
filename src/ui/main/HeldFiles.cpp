#include "ui/main/HeldFiles.h"

#include "app/Progress.h"
#include "registry/Registry.h"
#include "ui/editor/SEditorForm.h"
#include "ui/main/MainForm.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

namespace {

QString qstr(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

OpenFiles::Answer DialogQuestions::unsavedEdits(const std::vector<std::string>& families,
                                                OpenFiles::Reason why) {
  const QString names = qstr(familyNames(families));
  QString text;
  QString discard = QStringLiteral("Discard");
  switch (why) {
    case OpenFiles::Reason::Replace:
      text = QStringLiteral(
          "The loaded %1 has unsaved changes, and loading other files in its place would "
          "discard them. Save the changes first?");
      break;
    case OpenFiles::Reason::Close:
      text = QStringLiteral("The loaded %1 has unsaved changes. Save them before closing?");
      discard = QStringLiteral("Don't Save");
      break;
    case OpenFiles::Reason::ToolWrites:
      text = QStringLiteral(
          "The loaded %1 has unsaved changes, and this tool works on the files themselves. Save "
          "the changes first?");
      break;
    case OpenFiles::Reason::ToolReads:
      text = QStringLiteral(
          "The loaded %1 has unsaved changes, and this tool reads the files themselves. Save the "
          "changes first?");
      discard = QStringLiteral("Use the saved files");
      break;
  }
  const auto answer = m_dialogs.ask(Dialogs::kCaption, text.arg(names),
                                    {QStringLiteral("Save"), discard, QStringLiteral("Cancel")});
  if (!answer || *answer == 2) return OpenFiles::Answer::Cancel;
  return *answer == 0 ? OpenFiles::Answer::Save : OpenFiles::Answer::Discard;
}

void DialogQuestions::said(const std::string& message) { m_dialogs.showMessage(qstr(message)); }

HeldFiles::HeldFiles(TMainForm& main) : m_main(main) {}

QStringList HeldFiles::holders(const std::vector<std::string>& files) const {
  QStringList groups;
  for (const std::string& id : m_main.registry().openFiles().holders(files)) groups << qstr(id);
  return groups;
}

bool HeldFiles::editorShowsWorld() const {
  const TSEditorForm* editor = TSEditorForm::existing(m_main);
  return editor && editor->isVisible();
}

bool HeldFiles::readsFrom(const std::vector<std::string>& files) {
  Dialogs& dialogs = m_main.dialogs();
  DialogQuestions questions(dialogs);
  bool ran = false;
  runAction(dialogs, [&] {
    ran = m_main.registry().openFiles().runTool({files, {}}, questions, [] {}).ran;
  });
  return ran;
}

bool HeldFiles::saveToOwnFiles(const QStringList& groups) {
  Dialogs& dialogs = m_main.dialogs();
  return runAction(dialogs, [&] {
    Progress silent;
    for (const QString& g : groups)
      if (const auto said = m_main.registry().openFiles().save(g.toStdString(), silent))
        dialogs.showMessage(qstr(*said));
  });
}

bool HeldFiles::run(const std::vector<std::string>& writes, const std::function<void()>& tool,
                    const std::vector<std::string>& reads) {
  return runTool({reads, writes}, tool);
}

bool HeldFiles::rewrite(const std::vector<std::string>& writes, const std::function<void()>& tool) {
  OpenFiles::ToolFiles files{{}, writes};
  files.holdersAreSources = true;
  return runTool(files, tool);
}

bool HeldFiles::runTool(const OpenFiles::ToolFiles& files, const std::function<void()>& tool) {
  const std::vector<std::string>& writes = files.writes;
  Dialogs& dialogs = m_main.dialogs();
  OpenFiles& owner = m_main.registry().openFiles();
  const QStringList groups = holders(writes);
  const bool world = groups.contains(QStringLiteral("Map")) ||
                     groups.contains(QStringLiteral("Statics"));
  if (world && editorShowsWorld()) {
    dialogs.showMessage(QStringLiteral(
        "Close the world editor first: it shows the map and statics this tool changes."));
    return false;
  }
  DialogQuestions questions(dialogs);
  OpenFiles::ToolResult result;
  bool ended = false;
  // The tool's own failure is shown by runAction; what could not be read again is said after.
  runAction(dialogs, [&] {
    result = owner.runTool(files, questions, tool);
    ended = result.ran;
  });
  for (const std::string& id : result.notReopened)
    dialogs.showMessage(QStringLiteral("The %1 could not be loaded again after the tool: load "
                                       "it on the Settings page.")
                            .arg(qstr(familyNames({id}))));
  return ended;
}

}  // namespace quillotide::ui
