#include "ui/main/FileGroup.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/Config.h"
#include "app/FileIO.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

QString nameFilter(const QString& name) { return name + QLatin1Char('|') + name; }

QString pairOrUopFilter(const PathField& field, const FileGroupInfo& group) {
  if (!group.takesUop()) return nameFilter(field.name);
  return nameFilter(field.name) + QLatin1Char('|') + nameFilter(group.uopName);
}

bool isUopFile(const QString& path) {
  return path.endsWith(QStringLiteral(".uop"), Qt::CaseInsensitive);
}

namespace {

// The container of a group as a field of its own, for its save dialog.
PathField uopField(const FileGroupInfo& group) {
  return {group.uopLabel, group.fields.front().key, group.uopName};
}

}  // namespace

FileGroupBox::FileGroupBox(const FileGroupInfo& info, TConfig& config, Dialogs& dialogs,
                           QWidget* parent)
    : QGroupBox(info.title, parent),
      m_info(info),
      m_config(config),
      m_dialogs(dialogs),
      m_grid(new QGridLayout(this)) {
  setObjectName(QStringLiteral("gb") + info.id);
  // Tight rows: the page shows every group at once on a small screen.
  m_grid->setContentsMargins(6, 4, 6, 4);
  m_grid->setVerticalSpacing(3);
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
  if (info.takesUop()) {
    // The form the group holds, and the conversions into either form.
    m_form = new QLabel(this);
    m_form->setObjectName(QStringLiteral("lForm") + info.id);
    auto* asMul = new QPushButton(QStringLiteral("Save as MUL"), this);
    asMul->setObjectName(QStringLiteral("btnSaveAsMul") + info.id);
    auto* asUop = new QPushButton(QStringLiteral("Save as UOP"), this);
    asUop->setObjectName(QStringLiteral("btnSaveAsUop") + info.id);
    connect(asMul, &QPushButton::clicked, this, [this] { emit saveAsClicked(false); });
    connect(asUop, &QPushButton::clicked, this, [this] { emit saveAsClicked(true); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(asMul);
    buttons->addWidget(asUop);
    buttons->addStretch(1);
    m_grid->addWidget(m_form, row, 0);
    m_grid->addLayout(buttons, row, 1, 1, 4);
    for (QLineEdit* edit : m_fields) connect(edit, &QLineEdit::textChanged, this, [this] { showForm(); });
    showForm();
  }
  auto* load = new QPushButton(QStringLiteral("Load"), this);
  load->setObjectName(QStringLiteral("btnLoad") + info.id);
  connect(load, &QPushButton::clicked, this, &FileGroupBox::loadClicked);
  m_grid->addWidget(load, 0, 3);
  if (info.hasSave) {
    auto* save = new QPushButton(QStringLiteral("Save"), this);
    save->setObjectName(QStringLiteral("btnSave") + info.id);
    connect(save, &QPushButton::clicked, this, &FileGroupBox::saveClicked);
    // Under "Load" in every group: the path fields keep the width of the page's column.
    m_grid->addWidget(save, 1, 3);
  }
  // What is open from where: below every other row of the group (the Map group adds its size
  // fields above it).
  m_open = new QLabel(QStringLiteral("Not open"), this);
  m_open->setObjectName(QStringLiteral("lOpen") + info.id);
  m_open->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_grid->addWidget(m_open, kOpenRow, 0, 1, 4);
  m_grid->setColumnStretch(1, 1);
}

void FileGroupBox::showOpen(const QStringList& files) {
  if (files.isEmpty()) {
    m_open->setText(QStringLiteral("Not open"));
    m_open->setToolTip({});
    return;
  }
  QStringList names;
  for (const QString& f : files) names << QFileInfo(f).fileName();
  const QString folder = QDir::toNativeSeparators(QFileInfo(files.front()).absolutePath());
  m_open->setText(QStringLiteral("Open: %1 in %2").arg(names.join(QStringLiteral(", ")), folder));
  QStringList full;
  for (const QString& f : files) full << QDir::toNativeSeparators(f);
  m_open->setToolTip(full.join(QLatin1Char('\n')));
}

QStringList FileGroupBox::paths() const {
  if (holdsUop()) return {m_fields.front()->text()};
  QStringList list;
  for (const QLineEdit* e : m_fields) list << e->text();
  return list;
}

bool FileGroupBox::anyPathEmpty() const { return !emptyFieldLabels().isEmpty(); }

QStringList FileGroupBox::emptyFieldLabels() const {
  QStringList labels;
  const std::size_t used = holdsUop() ? 1 : m_fields.size();
  for (std::size_t i = 0; i < used; ++i)
    if (m_fields[i]->text().isEmpty()) labels << m_info.fields[i].label;
  return labels;
}

bool FileGroupBox::holdsUop() const {
  return m_info.takesUop() && isUopFile(m_fields.front()->text());
}

void FileGroupBox::showForm() {
  if (!m_form) return;
  const bool uop = holdsUop();
  m_form->setText(uop ? QStringLiteral("UOP") : QStringLiteral("MUL"));
  // The container stands for the whole pair: the other fields have nothing to add.
  for (std::size_t i = 1; i < m_fields.size(); ++i) m_fields[i]->setEnabled(!uop);
}

void FileGroupBox::setPath(int i, const QString& path) {
  // What the group held is what was stored: the field may already show the new text.
  const bool wasUop = m_info.takesUop() &&
                      isUopFile(QString::fromStdString(
                          m_config.getString(m_info.fields.front().key.toStdString())));
  auto put = [&](std::size_t n, const QString& text) {
    m_config.setString(m_info.fields[n].key.toStdString(), text.toStdString());
    m_fields[n]->setText(text);
  };
  if (m_info.takesUop() && isUopFile(path)) {
    for (std::size_t n = 0; n < m_fields.size(); ++n) put(n, path);
  } else {
    put(static_cast<std::size_t>(i), path);
    // Back from a container to a pair: the other fields no longer name the container.
    if (wasUop)
      for (std::size_t n = 0; n < m_fields.size(); ++n)
        if (static_cast<int>(n) != i && isUopFile(m_fields[n]->text())) put(n, QString());
  }
  showForm();
}

std::optional<QStringList> FileGroupBox::askSavePaths(const QStringList& proposed, bool asUop) {
  const std::vector<PathField> fields =
      asUop ? std::vector<PathField>{uopField(m_info)} : m_info.fields;
  QStringList chosen;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const PathField& f = fields[i];
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
    request.filter = pairOrUopFilter(f, m_info);
    request.proposedName = edit->text();
    const std::optional<QString> path = m_dialogs.openFile(request);
    if (!path) return;
    if (reportMissingFile(m_dialogs, *path)) return;
    setPath(i, *path);
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
    setPath(i, text);
  });
}

}  // namespace quillotide::ui
