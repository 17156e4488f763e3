#include "ui/editor/SCFSE.h"

#include <QScrollArea>
#include <QVBoxLayout>

#include "ui/editor/ArtGrid.h"

namespace quillotide::ui {

TSCFSE::TSCFSE(const Registry& registry, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_grid(new ArtGrid(registry, ArtGrid::Kind::Static)),
      m_scroll(new QScrollArea(this)) {
  setObjectName(QStringLiteral("SCFSE"));
  setWindowTitle(QStringLiteral("Statics"));
  m_grid->setObjectName(QStringLiteral("dgStatics"));
  m_scroll->setWidget(m_grid);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_scroll);
  resize(ArtGrid::kColumns * ArtGrid::kPitch + 30, 480);
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
  m_grid->showSelected(*m_scroll);
}

}  // namespace quillotide::ui
