#include "ui/editor/HueForm.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/editor/HueTable.h"

namespace quillotide::ui {

THueForm::THueForm(const Registry& registry, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), m_table(new HueTable(registry, dialogs, false, this)) {
  setObjectName(QStringLiteral("HueForm"));
  setWindowTitle(QStringLiteral("Farbwahl"));
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("btnOK"));
  auto* cancel = new QPushButton(QStringLiteral("Abbrechen"), this);
  cancel->setObjectName(QStringLiteral("btnAbbrechen"));
  connect(ok, &QPushButton::clicked, this, &QWidget::hide);
  connect(cancel, &QPushButton::clicked, this, &QWidget::hide);
  connect(m_table, &HueTable::hueChosen, this, &THueForm::hueChosen);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_table);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
}

}  // namespace quillotide::ui
