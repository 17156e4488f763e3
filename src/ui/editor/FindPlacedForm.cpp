#include "ui/editor/FindPlacedForm.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QStringListModel>
#include <QVBoxLayout>

#include "app/Error.h"
#include "app/Progress.h"
#include "registry/Registry.h"
#include "world/FindPlaced.h"
#include "ui/editor/EditorSelection.h"
#include "ui/editor/SEditorForm.h"
#include "ui/editor/ToolWidgets.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

TFindPlacedForm::TFindPlacedForm(TSEditorForm& editor, Registry& registry, Dialogs& dialogs,
                                 EditorSelection& selection)
    : QWidget(&editor, Qt::Tool),
      m_editor(editor),
      m_registry(registry),
      m_dialogs(dialogs),
      m_selection(selection) {
  setObjectName(QStringLiteral("FindPlacedForm"));
  setWindowTitle(QStringLiteral("Find placed"));
  auto* layout = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  m_eFind = new QLineEdit(this);
  m_eFind->setObjectName(QStringLiteral("eFind"));
  m_eFind->setPlaceholderText(QStringLiteral("id, range A-B or part of a name"));
  auto* btnFind = new QPushButton(QStringLiteral("Find"), this);
  btnFind->setObjectName(QStringLiteral("btnFind"));
  row->addWidget(m_eFind);
  row->addWidget(btnFind);
  layout->addLayout(row);
  m_lbFound = new QListView(this);
  m_lbFound->setObjectName(QStringLiteral("lbFound"));
  m_lbFound->setUniformItemSizes(true);
  m_lbFound->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_lines = new QStringListModel(this);
  m_lbFound->setModel(m_lines);
  layout->addWidget(m_lbFound);
  m_lFound = new QLabel(this);
  m_lFound->setObjectName(QStringLiteral("lFound"));
  layout->addWidget(m_lFound);
  resize(420, 360);

  connect(btnFind, &QPushButton::clicked, this, [this] { runAction(m_dialogs, [this] { find(); }); });
  connect(m_eFind, &QLineEdit::returnPressed, this,
          [this] { runAction(m_dialogs, [this] { find(); }); });
  // A double-click and Enter on a line go there alike; the arrows only walk the list.
  connect(m_lbFound, &QListView::activated, this, [this](const QModelIndex& index) {
    runAction(m_dialogs, [this, index] { goTo(index.row()); });
  });
  keepFieldKeys(this);
}

QString TFindPlacedForm::lineOf(const TItem& item) {
  const char* owner = item.kind == ItemKind::Static       ? "Statics"
                      : item.kind == ItemKind::DiffStatic ? "StaticDiffs"
                                                          : "Worldfile";
  return QString::asprintf("0x%X  %d,%d,%d  Color: 0x%X  (%s)", item.tileId, item.x, item.y,
                           item.z, item.hue, owner);
}

void TFindPlacedForm::find() {
  const IdFilter filter(m_eFind->text().toStdString());
  Progress quiet;
  m_found = findPlaced(filter, m_editor.worldEdits().models(), m_registry.tiledata.get(), quiet);
  QStringList lines;
  lines.reserve(static_cast<qsizetype>(m_found.size()));
  for (const TItem& it : m_found) lines << lineOf(it);
  m_lines->setStringList(lines);
  m_lFound->setText(QStringLiteral("%1 found").arg(m_found.size()));
}

void TFindPlacedForm::forget() {
  m_found.clear();
  m_lines->setStringList({});
  m_lFound->setText(
      QStringLiteral("The statics were saved or opened again since: search again."));
}

void TFindPlacedForm::goTo(int row) {
  if (row < 0 || static_cast<std::size_t>(row) >= m_found.size()) return;
  if (!m_selection.selectOnly(m_found[static_cast<std::size_t>(row)]))
    throw Error("The item is no longer in the world; search again.");
}

}  // namespace quillotide::ui
