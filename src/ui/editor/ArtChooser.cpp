#include "ui/editor/ArtChooser.h"

#include <QScrollArea>
#include <QVBoxLayout>

namespace quillotide::ui {

ArtChooser::ArtChooser(const Registry& registry, ArtGrid::Kind kind, const QString& name,
                       const QString& caption, const QString& gridName, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_grid(new ArtGrid(registry, kind)),
      m_scroll(new QScrollArea(this)) {
  setObjectName(name);
  setWindowTitle(caption);
  m_grid->setObjectName(gridName);
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

void ArtChooser::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The art may have changed since the last showing.
  m_grid->refresh();
  m_grid->selectId(m_requestedId);
  m_grid->showSelected(*m_scroll);
}

}  // namespace quillotide::ui
