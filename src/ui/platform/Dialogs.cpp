#include "ui/platform/Dialogs.h"

#include <exception>
#include <new>

#include <QFileInfo>

#include "app/Error.h"
#include "app/FileIO.h"

namespace quillotide::ui {

namespace {

// What the file layer noted on the way (an interrupted save it finished) is shown once the
// action has ended, before its own error if it failed.
void showFileNotes(Dialogs& dialogs) {
  for (const auto& note : takeFileNotes()) dialogs.showMessage(QString::fromStdString(note));
}

QString folderKey(const QString& title) { return QStringLiteral("folder:") + title; }

// A proposed name with a folder in it names where the dialog opens; a bare name does not.
bool namesFolder(const QString& proposed) { return proposed.contains(QLatin1Char('/')); }

}  // namespace

QString Dialogs::startFolder(const FileRequest& request) const {
  if (namesFolder(request.proposedName)) return QFileInfo(request.proposedName).absolutePath();
  const auto it = m_folders.find(request.filter);
  return it != m_folders.end() ? it->second : m_lastFolder;
}

QString Dialogs::startFolder(const QString& folderTitle, const QString& proposedFolder) const {
  if (!proposedFolder.isEmpty()) return proposedFolder;
  const auto it = m_folders.find(folderKey(folderTitle));
  return it != m_folders.end() ? it->second : m_lastFolder;
}

void Dialogs::rememberFile(const FileRequest& request, const QString& chosenPath) {
  if (chosenPath.isEmpty()) return;
  m_lastFolder = QFileInfo(chosenPath).absolutePath();
  m_folders[request.filter] = m_lastFolder;
}

void Dialogs::rememberFolder(const QString& folderTitle, const QString& chosenFolder) {
  if (chosenFolder.isEmpty()) return;
  m_lastFolder = QFileInfo(chosenFolder).absoluteFilePath();
  m_folders[folderKey(folderTitle)] = m_lastFolder;
}

bool reportMissingFile(Dialogs& dialogs, const QString& path, MessageIcon icon) {
  if (!path.isEmpty() && fileExists(path.toStdString())) return false;
  dialogs.message(
      QStringLiteral("Datei nicht gefunden"),
      QStringLiteral("Diese Datei ist nicht existent. Bitte wählen sie einen gültigen Dateinamen."),
      icon);
  return true;
}

bool runAction(Dialogs& dialogs, const std::function<void()>& action) {
  try {
    action();
    showFileNotes(dialogs);
    return true;
  } catch (const Error& e) {
    showFileNotes(dialogs);
    dialogs.showError(QString::fromStdString(e.what()));
  } catch (const std::bad_alloc&) {
    showFileNotes(dialogs);
    dialogs.showError(QStringLiteral("Not enough memory to complete the action."));
  } catch (const std::exception& e) {
    showFileNotes(dialogs);
    dialogs.showError(QString::fromStdString(e.what()));
  }
  return false;
}

}  // namespace quillotide::ui
