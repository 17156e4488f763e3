#include "ui/platform/Dialogs.h"

#include <exception>
#include <new>

#include "app/Error.h"
#include "app/FileIO.h"

namespace quillotide::ui {

namespace {

// What the file layer noted on the way (an interrupted save it finished) is shown once the
// action has ended, before its own error if it failed.
void showFileNotes(Dialogs& dialogs) {
  for (const auto& note : takeFileNotes()) dialogs.showMessage(QString::fromStdString(note));
}

}  // namespace

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
