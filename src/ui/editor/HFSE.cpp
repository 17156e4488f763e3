#include "ui/editor/HFSE.h"

namespace quillotide::ui {

THFSE::THFSE(const Registry& registry, Dialogs& dialogs, QWidget* parent)
    : HueWindow(registry, dialogs, true, false, parent) {
  setObjectName(QStringLiteral("HFSE"));
}

void THFSE::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  m_table->drawTable();
}

}  // namespace quillotide::ui
