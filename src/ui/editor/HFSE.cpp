#include "ui/editor/HFSE.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/editor/HueTable.h"

namespace quillotide::ui {

THFSE::THFSE(const Registry& registry, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), m_table(new HueTable(registry, dialogs, true, this)) {
  setObjectName(QStringLiteral("HFSE"));
  setWindowTitle(QStringLiteral("Farbwahl"));
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("btnOK"));
  connect(ok, &QPushButton::clicked, this, &QWidget::hide);
  connect(m_table, &HueTable::hueChosen, this, &THFSE::hueChosen);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_table);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  layout->addLayout(buttons);
}

void THFSE::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  m_table->drawTable();
}

}  // namespace quillotide::ui
