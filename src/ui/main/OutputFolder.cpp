#include "ui/main/OutputFolder.h"

#include <QFileInfo>
#include <QStringList>

#include "app/Config.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

std::optional<std::string> askOutputFolder(Dialogs& dialogs, TConfig& config, const char* key,
                                           const QString& what) {
  // The folder of the last run is offered first, so a repeated report is one click.
  const std::string remembered = config.getString(key);
  const QString shown = QString::fromStdString(remembered);
  if (!remembered.empty() && QFileInfo(shown).isDir()) {
    const auto answer =
        dialogs.ask(Dialogs::kCaption, QStringLiteral("Write %1 into %2?").arg(what, shown),
                    {QStringLiteral("Write Here"), QStringLiteral("Choose Folder..."),
                     QStringLiteral("Cancel")});
    if (!answer || *answer == 2) return std::nullopt;
    if (*answer == 0) return remembered;
  }
  const auto folder =
      dialogs.chooseFolder(QStringLiteral("Where do you want to save %1?").arg(what));
  if (!folder || folder->isEmpty()) return std::nullopt;
  const std::string chosen = folder->toStdString();
  // A folder that cannot be remembered is still used for this run.
  runAction(dialogs, [&] { config.setString(key, chosen); });
  return chosen;
}

}  // namespace quillotide::ui
