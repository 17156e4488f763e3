#include "ui/main/ProgressPage.h"

#include <QVBoxLayout>

#include "ui/main/FileGroup.h"
#include "ui/main/SettingsPage.h"

namespace quillotide::ui {

ProgressPage::ProgressPage(SettingsPage& settings, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("ProgressPage"));
  m_files = settings.createGroupBox(QStringLiteral("Progress"), this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_files);
  layout->addStretch(1);
}

}  // namespace quillotide::ui
