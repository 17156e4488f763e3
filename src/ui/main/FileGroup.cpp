#include "ui/main/FileGroup.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/Config.h"
#include "app/FileIO.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

QString nameFilter(const QString& name) { return name + QLatin1Char('|') + name; }

FileGroupBox::FileGroupBox(const FileGroupInfo& info, TConfig& config, Dialogs& dialogs,
                           QWidget* parent)
    : QGroupBox(info.title, parent),
      m_info(info),
      m_config(config),
      m_dialogs(dialogs),
      m_grid(new QGridLayout(this)) {
  setObjectName(QStringLiteral("gb") + info.id);
  int row = 0;
  for (const PathField& f : m_info.fields) {
    auto* label = new QLabel(f.label, this);
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QStringLiteral("e") + f.key);
    edit->setText(QString::fromStdString(config.getString(f.key.toStdString())));
    label->setBuddy(edit);
    auto* browseButton = new QPushButton(QStringLiteral("..."), this);
    browseButton->setObjectName(QStringLiteral("btnBrowse") + f.key);
    browseButton->setFixedWidth(28);
    const int index = row;
    connect(browseButton, &QPushButton::clicked, this, [this, index] { browse(index); });
    connect(edit, &QLineEdit::editingFinished, this, [this, index] { storeTyped(index); });
    m_grid->addWidget(label, row, 0);
    m_grid->addWidget(edit, row, 1);
    m_grid->addWidget(browseButton, row, 2);
    m_fields.push_back(edit);
    ++row;
  }
  auto* load = new QPushButton(QStringLiteral("Load"), this);
  load->setObjectName(QStringLiteral("btnLoad") + info.id);
  connect(load, &QPushButton::clicked, this, &FileGroupBox::loadClicked);
  m_grid->addWidget(load, 0, 3);
  if (info.hasSave) {
    auto* save = new QPushButton(QStringLiteral("Save"), this);
    save->setObjectName(QStringLiteral("btnSave") + info.id);
    connect(save, &QPushButton::clicked, this, &FileGroupBox::saveClicked);
    m_grid->addWidget(save, m_info.fields.size() > 1 ? 1 : 0, m_info.fields.size() > 1 ? 3 : 4);
  }
  m_grid->setColumnStretch(1, 1);
}

QStringList FileGroupBox::paths() const {
  QStringList list;
  for (const QLineEdit* e : m_fields) list << e->text();
  return list;
}

bool FileGroupBox::anyPathEmpty() const {
  for (const QLineEdit* e : m_fields)
    if (e->text().isEmpty()) return true;
  return false;
}

QStringList FileGroupBox::emptyFieldLabels() const {
  QStringList labels;
  for (std::size_t i = 0; i < m_fields.size(); ++i)
    if (m_fields[i]->text().isEmpty()) labels << m_info.fields[i].label;
  return labels;
}

std::optional<QStringList> FileGroupBox::askSavePaths(const QStringList& proposed) {
  QStringList chosen;
  for (std::size_t i = 0; i < m_info.fields.size(); ++i) {
    const PathField& f = m_info.fields[i];
    FileRequest request;
    request.title = QStringLiteral("Save ") + f.label;
    request.filter = nameFilter(f.name);
    request.defaultExtension = QFileInfo(f.label).suffix();
    request.proposedName = proposed.value(static_cast<qsizetype>(i));
    const std::optional<QString> path = m_dialogs.saveFile(request);
    if (!path || path->isEmpty()) return std::nullopt;
    chosen << *path;
  }
  return chosen;
}

void FileGroupBox::browse(int i) {
  runAction(m_dialogs, [&] {
    const PathField& f = m_info.fields[static_cast<std::size_t>(i)];
    QLineEdit* edit = m_fields[static_cast<std::size_t>(i)];
    FileRequest request;
    request.title = QStringLiteral("Open ") + f.label;
    request.filter = nameFilter(f.name);
    request.proposedName = edit->text();
    const std::optional<QString> path = m_dialogs.openFile(request);
    if (!path) return;
    if (reportMissingFile(m_dialogs, *path)) return;
    m_config.setString(f.key.toStdString(), path->toStdString());
    edit->setText(*path);
  });
}

void FileGroupBox::storeTyped(int i) {
  runAction(m_dialogs, [&] {
    const PathField& f = m_info.fields[static_cast<std::size_t>(i)];
    const QString text = m_fields[static_cast<std::size_t>(i)]->text();
    const std::string key = f.key.toStdString();
    if (text.toStdString() == m_config.getString(key)) return;
    if (!text.isEmpty() && !fileExists(text.toStdString())) {
      // Leaving the field again with the same text says nothing new.
      if (text != m_reportedTyped) reportMissingFile(m_dialogs, text);
      m_reportedTyped = text;
      return;
    }
    m_reportedTyped.clear();
    m_config.setString(key, text.toStdString());
  });
}

}  // namespace quillotide::ui
