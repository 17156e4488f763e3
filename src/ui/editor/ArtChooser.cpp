#include "ui/editor/ArtChooser.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/Error.h"
#include "ui/editor/ToolWidgets.h"
#include "ui/platform/Dialogs.h"
#include "world/IdQuery.h"

namespace quillotide::ui {

ArtChooser::ArtChooser(const Registry& registry, Dialogs& dialogs, ArtGrid::Kind kind,
                       const QString& name, const QString& caption, const QString& gridName,
                       QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_dialogs(dialogs),
      m_grid(new ArtGrid(registry, kind)),
      m_scroll(new QScrollArea(this)),
      m_filter(new QLineEdit(this)),
      m_goTo(new QLineEdit(this)) {
  setObjectName(name);
  setWindowTitle(caption);
  m_grid->setObjectName(gridName);
  m_scroll->setWidget(m_grid);
  m_filter->setObjectName(QStringLiteral("eFilter"));
  m_filter->setToolTip(QStringLiteral("An id, a range of ids (A-B) or a part of the tile name"));
  m_filter->setClearButtonEnabled(true);
  m_goTo->setObjectName(QStringLiteral("eGoTo"));
  m_goTo->setToolTip(QStringLiteral("Type an id and press Enter"));
  m_goTo->setMaximumWidth(80);
  auto* fields = new QHBoxLayout;
  fields->setContentsMargins(4, 4, 4, 0);
  fields->addWidget(new QLabel(QStringLiteral("Filter:"), this));
  fields->addWidget(m_filter, 1);
  fields->addWidget(new QLabel(QStringLiteral("Go to:"), this));
  fields->addWidget(m_goTo);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(fields);
  layout->addWidget(m_scroll);
  resize(ArtGrid::kColumns * ArtGrid::kPitch + 30, 480);
  passListKeys(m_filter, m_grid);
  connect(m_filter, &QLineEdit::textChanged, this,
          [this](const QString& text) { m_grid->setFilter(IdFilter(text.toStdString())); });
  connect(m_goTo, &QLineEdit::returnPressed, this,
          [this] { runAction(m_dialogs, [this] { goTo(); }); });
  connect(m_grid, &ArtGrid::selectionMoved, this, [this] { m_grid->showSelected(*m_scroll); });
  connect(m_grid, &ArtGrid::idChosen, this, [this](int id) {
    hide();
    emit idChosen(id);
  });
}

void ArtChooser::goTo() {
  int id = 0;
  try {
    id = parseTypedId(
        m_goTo->text().toStdString(),
        {0, ArtGrid::kLastId, m_grid->kind() == ArtGrid::Kind::Static ? "Static" : "Land tile"});
  } catch (const Error&) {
    m_goTo->selectAll();
    throw;
  }
  // An id the filter hides is shown by showing every id again.
  if (m_grid->shownRect(id).isNull()) m_filter->clear();
  m_grid->selectId(id);
  m_grid->showSelected(*m_scroll);
  m_grid->setFocus();
}

void ArtChooser::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The art may have changed since the last showing.
  m_grid->refresh();
  if (m_grid->shownRect(m_requestedId).isNull()) m_filter->clear();
  m_grid->selectId(m_requestedId);
  m_grid->showSelected(*m_scroll);
  m_filter->setFocus();
}

}  // namespace quillotide::ui
