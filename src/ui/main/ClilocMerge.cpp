#include "ui/main/ClilocMerge.h"

#include <QLineEdit>
#include <QPushButton>

#include "app/FileIO.h"
#include "models/Cliloc.h"
#include "models/Tiledata.h"
#include "ui/main/HeldFiles.h"
#include "ui/main/MainForm.h"
#include "ui/main/SettingsPage.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

namespace {

void mergeCliloc(TMainForm& main) {
  Dialogs& dialogs = main.dialogs();
  runAction(dialogs, [&] {
    // A save dialog: the merge may name a new cliloc file. The game's own name is upper case,
    // which a case-sensitive file system shows only to its own pattern.
    const auto chosen =
        dialogs.saveFile({QStringLiteral("Merge the tile names into which cliloc file?"),
                          QStringLiteral("Cliloc.*|Cliloc.*;cliloc.*;CLILOC.*"),
                          {},
                          {}});
    if (!chosen || chosen->isEmpty()) return;
    const QLineEdit* field = main.settingsPage()->pathField(QStringLiteral("Tiledata"));
    const std::string tiledataPath = field ? field->text().toStdString() : std::string();
    if (tiledataPath.empty() || !fileExists(tiledataPath)) {
      dialogs.message(QStringLiteral("Datei nicht gefunden"),
                      QStringLiteral("Tiledata ist nicht existent. Bitte wählen sie einen "
                                     "gültigen Dateinamen (Settings)."),
                      MessageIcon::Error);
      return;
    }
    // The names come from the file: unsaved names of the loaded tile data reach it only when
    // the user saves them first.
    if (!HeldFiles(main).readsFrom({tiledataPath})) return;
    TTiledata tiledata;
    tiledata.load(tiledataPath, main.tiledataLayoutSetting());
    const std::string path = chosen->toStdString();
    // A damaged cliloc file stops here with its reason, before anything is written.
    Cliloc cliloc = fileExists(path) ? loadCliloc(path) : Cliloc{};
    const ClilocMergeResult result = mergeTileNames(cliloc, tiledata);
    saveCliloc(path, cliloc);
    dialogs.showMessage(
        QStringLiteral("Done: ") +
        QString::fromStdString(clilocMergeReport(result, cliloc.entries.size(), path)) +
        QLatin1Char('.'));
  });
}

}  // namespace

QWidget* createClilocMergeButton(TMainForm& main, QWidget* parent) {
  auto* button = new QPushButton(QStringLiteral("Merge Tiledata to Cliloc"), parent);
  button->setObjectName(QStringLiteral("btnMergeCliloc"));
  QObject::connect(button, &QPushButton::clicked, button, [&main] { mergeCliloc(main); });
  return button;
}

}  // namespace quillotide::ui
