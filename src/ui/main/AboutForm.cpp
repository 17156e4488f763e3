#include "ui/main/AboutForm.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include "app/BuildInfo.h"
#include "app/FileIO.h"
#include "ui/main/ProgramFolders.h"

namespace quillotide::ui {

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("AboutForm"));
  setWindowTitle(QStringLiteral("About Quillotide"));
  auto* layout = new QVBoxLayout(this);
  auto* title = new QLabel(
      QStringLiteral("<b>Quillotide</b> %1").arg(QString::fromStdString(programVersion())), this);
  title->setObjectName(QStringLiteral("lProduct"));
  auto* text = new QLabel(
      QStringLiteral("An editor for the client data files of Ultima Online: art, gumps, "
                     "textures, hues, light, tile data, animations, verdata and the world.\n\n"
                     "Changes stay in memory until you press \"Save\" on the Settings page; "
                     "animation files and Low Memory mode write every change at once, so keep "
                     "a backup of your files."),
      this);
  text->setWordWrap(true);
  // Where this copy keeps what it writes: beside itself, or in the user's folders when installed.
  const ProgramFolders folders = programFolders();
  auto* where = new QLabel(
      QStringLiteral("Settings: %1\nSample set: %2 (with its own config.xml)")
          .arg(QString::fromStdString(shownPath(joinPath(folders.configDir, "config.xml"))),
               QString::fromStdString(shownPath(joinPath(folders.dataDir, "sample")))),
      this);
  where->setObjectName(QStringLiteral("lFolders"));
  where->setWordWrap(true);
  where->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(title);
  layout->addWidget(text);
  layout->addWidget(where);
  layout->addWidget(buttons);
  resize(460, 240);
}

}  // namespace quillotide::ui
