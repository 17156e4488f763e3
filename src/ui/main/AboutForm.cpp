#include "ui/main/AboutForm.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace quillotide::ui {

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("AboutForm"));
  setWindowTitle(QStringLiteral("About Quillotide"));
  auto* layout = new QVBoxLayout(this);
  auto* title = new QLabel(QStringLiteral("<b>Quillotide</b>"), this);
  title->setObjectName(QStringLiteral("lProduct"));
  auto* text = new QLabel(
      QStringLiteral("An editor for the client data files of Ultima Online: art, gumps, "
                     "textures, hues, light, tile data, animations, verdata and the world.\n\n"
                     "Changes stay in memory until you press \"Save\" on the Settings page; "
                     "animation files and Low Memory mode write every change at once, so keep "
                     "a backup of your files."),
      this);
  text->setWordWrap(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(title);
  layout->addWidget(text);
  layout->addWidget(buttons);
  resize(400, 200);
}

}  // namespace quillotide::ui
