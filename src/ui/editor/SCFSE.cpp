#include "ui/editor/SCFSE.h"

#include <QVBoxLayout>

#include "ui/editor/ArtGrid.h"

namespace quillotide::ui {

TSCFSE::TSCFSE(const Registry& registry, QWidget* parent)
    : QWidget(parent, Qt::Window), m_grid(new ArtGrid(registry, ArtGrid::Kind::Static, this)) {
  setObjectName(QStringLiteral("SCFSE"));
  setWindowTitle(QStringLiteral("Statics"));
  m_grid->setObjectName(QStringLiteral("dgStatics"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_grid);
  connect(m_grid, &ArtGrid::idChosen, this, [this](int id) {
    hide();
    emit idChosen(id);
  });
}

void TSCFSE::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The art may have changed since the last showing.
  m_grid->refresh();
  m_grid->selectId(m_requestedId);
}

}  // namespace quillotide::ui
