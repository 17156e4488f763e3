#include "ui/main/PairRebuild.h"

#include <optional>
#include <string>

#include <QStringList>

#include "app/IndexedFile.h"

namespace quillotide::ui {

bool runPairRebuild(Dialogs& dialogs,
                    const std::function<std::vector<std::int64_t>(bool skipDamaged)>& rebuild,
                    const std::function<QString(std::int64_t)>& name) {
  std::optional<std::string> damaged;
  const bool rebuilt = runAction(dialogs, [&] {
    try {
      rebuild(false);
    } catch (const DamagedSlotError& e) {
      damaged = e.what();
    }
  });
  if (!rebuilt) return false;
  if (!damaged) return true;

  const QString question =
      QString::fromStdString(*damaged) +
      QStringLiteral(
          "\n\nNothing was written. Rebuild without the damaged slots? They are left "
          "empty in the new files.");
  const auto choice =
      dialogs.ask(Dialogs::kCaption, question, {kRebuildWithoutDamaged, QStringLiteral("Cancel")});
  if (choice != 0) return false;
  std::vector<std::int64_t> skipped;
  if (!runAction(dialogs, [&] { skipped = rebuild(true); })) return false;
  QStringList names;
  for (const auto slot : skipped) names << name(slot);
  dialogs.showMessage(
      QStringLiteral("Rebuilt without the damaged slots: %1.").arg(names.join(", ")));
  return true;
}

}  // namespace quillotide::ui
