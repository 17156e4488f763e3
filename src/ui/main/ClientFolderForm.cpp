#include "ui/main/ClientFolderForm.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/ClientFolder.h"

namespace quillotide::ui {

QString byteCountText(unsigned long long bytes) {
  QString digits = QString::number(bytes);
  for (qsizetype at = digits.size() - 3; at > 0; at -= 3) digits.insert(at, QLatin1Char(','));
  return digits;
}

TClientFolderForm::TClientFolderForm(QWidget* parent)
    : QDialog(parent),
      m_heading(new QLabel(this)),
      m_table(new QTableWidget(0, 5, this)),
      m_notes(new QLabel(this)) {
  setObjectName(QStringLiteral("ClientFolderForm"));
  setWindowTitle(QStringLiteral("Client folder"));
  m_heading->setObjectName(QStringLiteral("lClientFolder"));
  m_table->setObjectName(QStringLiteral("tblClientFiles"));
  m_table->setHorizontalHeaderLabels({QStringLiteral("Family"), QStringLiteral("File(s)"),
                                      QStringLiteral("Form"), QStringLiteral("Size"),
                                      QStringLiteral("Missing")});
  m_table->verticalHeader()->hide();
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_table->horizontalHeader()->setStretchLastSection(true);
  m_notes->setObjectName(QStringLiteral("lClientNotes"));
  m_notes->setWordWrap(true);
  m_notes->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_heading);
  layout->addWidget(m_table, 1);
  layout->addWidget(m_notes);
  resize(760, 560);
}

void TClientFolderForm::showScan(const ClientScan& scan) {
  const std::vector<ClientTableRow> rows = scan.table();
  m_heading->setText(QStringLiteral("Found in %1:").arg(QString::fromStdString(scan.folder)));
  m_table->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    const ClientTableRow& row = rows[static_cast<std::size_t>(r)];
    const QStringList cells = {QString::fromStdString(row.family),
                               QString::fromStdString(row.files),
                               QString::fromStdString(row.form),
                               row.size ? byteCountText(row.size) : QString(),
                               QString::fromStdString(row.missing)};
    for (int c = 0; c < cells.size(); ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      if (c == 3) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      m_table->setItem(r, c, item);
    }
  }
  m_table->resizeColumnsToContents();
  QStringList notes;
  for (const std::string& note : scan.notes) notes << QString::fromStdString(note);
  m_notes->setText(notes.join(QLatin1Char('\n')));
  m_notes->setVisible(!notes.isEmpty());
}

}  // namespace quillotide::ui
