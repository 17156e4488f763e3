#include "ui/editor/StaticChooseForm.h"

#include <QScrollArea>
#include <QVBoxLayout>

#include "ui/editor/ArtGrid.h"

namespace quillotide::ui {

static_assert(TStaticChooseForm::kColumns == ArtGrid::kColumns &&
              TStaticChooseForm::kRows == ArtGrid::kRows &&
              TStaticChooseForm::kCell == ArtGrid::kCellSide &&
              TStaticChooseForm::kPitch == ArtGrid::kPitch &&
              TStaticChooseForm::kLastId == ArtGrid::kLastId);

TStaticChooseForm::TStaticChooseForm(Registry& registry, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_grid(new ArtGrid(registry, ArtGrid::Kind::Static)),
      m_scroll(new QScrollArea(this)) {
  setObjectName(QStringLiteral("StaticChooseForm"));
  setWindowTitle(QStringLiteral("Statics"));
  m_grid->setObjectName(QStringLiteral("dgStatics"));
  m_scroll->setWidget(m_grid);
  m_scroll->setObjectName(QStringLiteral("sbStatics"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_scroll);
  resize(kColumns * kPitch + 30, 480);
  connect(m_grid, &ArtGrid::idChosen, this, [this](int id) {
    hide();
    emit chosen(id);
  });
}

QWidget* TStaticChooseForm::grid() const { return m_grid; }

int TStaticChooseForm::selectedId() const { return m_grid->selectedId(); }

QRect TStaticChooseForm::cellRect(int id) { return ArtGrid::cellRect(id); }

QImage TStaticChooseForm::cellImage(int id, bool selected) const {
  return m_grid->cellImage(id, selected);
}

void TStaticChooseForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The art may have changed since the last showing.
  m_grid->refresh();
  m_grid->selectId(m_requested);
  m_grid->showSelected(*m_scroll);
}

}  // namespace quillotide::ui
