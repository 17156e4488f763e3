#include "ui/editor/HistoryForm.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/editor/SEditorForm.h"
#include "ui/editor/SharedLink.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

namespace {

QString kindText(const SharedStepInfo& s) {
  switch (s.kind) {
    case SharedStepKind::Undo: return QStringLiteral("undo of %1").arg(s.reverts);
    case SharedStepKind::Revert: return QStringLiteral("revert of %1").arg(s.reverts);
    case SharedStepKind::Edit: break;
  }
  return {};
}

}  // namespace

THistoryForm::THistoryForm(TSEditorForm& editor)
    : QWidget(&editor, Qt::Tool), m_editor(editor) {
  setObjectName(QStringLiteral("HistoryForm"));
  setWindowTitle(QStringLiteral("History"));
  auto* layout = new QVBoxLayout(this);
  auto* filters = new QFormLayout;
  m_builder = new QLineEdit(this);
  m_builder->setObjectName(QStringLiteral("eBuilder"));
  m_builder->setPlaceholderText(QStringLiteral("every builder"));
  filters->addRow(QStringLiteral("Builder:"), m_builder);
  m_since = new QLineEdit(this);
  m_since->setObjectName(QStringLiteral("eSince"));
  m_since->setPlaceholderText(QStringLiteral("2026-12-10 14:00"));
  filters->addRow(QStringLiteral("Since:"), m_since);
  m_inView = new QCheckBox(QStringLiteral("Only steps in the view"), this);
  m_inView->setObjectName(QStringLiteral("cbInView"));
  filters->addRow(QString(), m_inView);
  layout->addLayout(filters);
  m_table = new QTableWidget(0, 7, this);
  m_table->setObjectName(QStringLiteral("tblSteps"));
  m_table->setHorizontalHeaderLabels({QStringLiteral("Step"), QStringLiteral("Time"),
                                      QStringLiteral("Builder"), QStringLiteral("Name"),
                                      QStringLiteral("Takes back"), QStringLiteral("Changes"),
                                      QStringLiteral("Area")});
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_table->verticalHeader()->hide();
  m_table->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(m_table);
  auto* hint = new QLabel(QStringLiteral("Double-click a step to centre the view on it."), this);
  layout->addWidget(hint);
  resize(720, 360);

  connect(m_builder, &QLineEdit::returnPressed, this, [this] { reload(); });
  connect(m_since, &QLineEdit::returnPressed, this, [this] { reload(); });
  connect(m_inView, &QCheckBox::toggled, this, [this] { reload(); });
  connect(m_table, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
    if (row < 0 || row >= static_cast<int>(m_steps.size())) return;
    const SharedStepInfo& s = m_steps[static_cast<std::size_t>(row)];
    m_editor.setViewCentre((s.x0 + s.x1) / 2, (s.y0 + s.y1) / 2);
  });
  if (SharedLink* link = m_editor.sharedLink())
    connect(link, &SharedLink::stepsChanged, this, [this] {
      if (isVisible()) reload();
    });
}

void THistoryForm::reload() {
  SharedLink* link = m_editor.sharedLink();
  if (!link || !link->connected()) return;
  SharedLogFilter filter;
  filter.facet = link->session().facet();
  filter.limit = kShown;
  if (!m_builder->text().trimmed().isEmpty()) filter.builder = m_builder->text().trimmed().toStdString();
  if (!m_since->text().trimmed().isEmpty()) filter.since = m_since->text().trimmed().toStdString();
  if (m_inView->isChecked()) {
    const auto r = m_editor.viewCells();
    filter.rect = std::array<int, 4>{r[0], r[1], r[2], r[3]};
  }
  std::vector<SharedStepInfo> steps;
  // A time the server cannot read is its message; the list stays as it was.
  if (!runAction(m_editor.dialogs(), [&] { steps = link->session().world().log(filter); })) return;
  m_steps = std::move(steps);
  m_table->setRowCount(static_cast<int>(m_steps.size()));
  for (int row = 0; row < static_cast<int>(m_steps.size()); ++row) {
    const SharedStepInfo& s = m_steps[static_cast<std::size_t>(row)];
    const QStringList cells = {
        QString::number(s.id),
        QString::fromStdString(s.at).left(19).replace(QLatin1Char('T'), QLatin1Char(' ')),
        QString::fromStdString(s.builder),
        QString::fromStdString(s.name),
        kindText(s),
        QStringLiteral("%1 cells, %2 statics").arg(s.cells).arg(s.statics),
        QStringLiteral("%1,%2 - %3,%4").arg(s.x0).arg(s.y0).arg(s.x1).arg(s.y1)};
    for (int c = 0; c < cells.size(); ++c) m_table->setItem(row, c, new QTableWidgetItem(cells[c]));
  }
  m_table->resizeColumnsToContents();
  if (!m_steps.empty()) m_table->scrollToBottom();
}

}  // namespace quillotide::ui
