#include "ui/main/ProgressPage.h"

#include <QVBoxLayout>

#include "app/Registry.h"
#include "ui/main/FileGroup.h"
#include "ui/main/SettingsPage.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

ProgressPage::ProgressPage(Registry& registry, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent) {
  setObjectName(QStringLiteral("ProgressPage"));
  const FileGroupInfo info{"Progress",
                           "Files",
                           {{"Progress.idx", "ProgressIdx", "Progress.idx"},
                            {"Progress.mul", "ProgressMul", "Progress.mul"}},
                           true};
  m_files = new FileGroupBox(info, *registry.config, dialogs, this);
  // The archive model arrives with the archive's own page; until then the buttons say so.
  connect(m_files, &FileGroupBox::loadClicked, this,
          [&dialogs] { dialogs.showMessage(notAvailableMessage(QStringLiteral("Progress"))); });
  connect(m_files, &FileGroupBox::saveClicked, this,
          [&dialogs] { dialogs.showMessage(notAvailableMessage(QStringLiteral("Progress"))); });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_files);
  layout->addStretch(1);
}

}  // namespace quillotide::ui
