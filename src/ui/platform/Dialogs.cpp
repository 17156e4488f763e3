#include "ui/platform/Dialogs.h"

#include <exception>
#include <new>

#include "app/Error.h"

namespace quillotide::ui {

bool runAction(Dialogs& dialogs, const std::function<void()>& action) {
  try {
    action();
    return true;
  } catch (const Error& e) {
    dialogs.showError(QString::fromStdString(e.what()));
  } catch (const std::bad_alloc&) {
    dialogs.showError(QStringLiteral("Not enough memory to complete the action."));
  } catch (const std::exception& e) {
    dialogs.showError(QString::fromStdString(e.what()));
  }
  return false;
}

}  // namespace quillotide::ui
