#include "ui/main/SpeechPage.h"

#include <algorithm>
#include <numeric>
#include <vector>

#include <QAbstractTableModel>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QVBoxLayout>

#include "models/Speech.h"
#include "registry/OpenFiles.h"
#include "registry/Registry.h"
#include "ui/main/FileGroup.h"
#include "ui/main/MainForm.h"
#include "ui/main/NamedWidgets.h"
#include "ui/main/SettingsPage.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

namespace {

const QString kFamily = QStringLiteral("Speech");
const QString kLoadFirst = QStringLiteral("Load speech.mul first.");

// A keyword id as typed: 0 to 65535.
std::optional<std::uint16_t> parseId(const QString& typed) {
  bool ok = false;
  const uint id = typed.trimmed().toUInt(&ok);
  if (!ok || id > 0xFFFF) return std::nullopt;
  return static_cast<std::uint16_t>(id);
}

}  // namespace

// The lines of the table: indexes of the model's entries, in file order, and the list each entry
// stands in. Texts are read from the registry's speech model when they are drawn.
class SpeechTableModel : public QAbstractTableModel {
public:
  enum Column { List, Id, Text, ColumnCount };

  SpeechTableModel(Registry& registry, QObject* parent)
      : QAbstractTableModel(parent), m_registry(registry) {}

  // The lists follow the ids, so every change of the entries counts them again.
  void setRows(std::vector<std::size_t> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    m_list.assign(m_registry.speech->size(), 0);
    int n = 0;
    for (const SpeechSection& section : m_registry.speech->sections()) {
      ++n;
      for (std::size_t k = 0; k < section.count; ++k) m_list[section.first + k] = n;
    }
    endResetModel();
  }
  std::size_t rows() const { return m_rows.size(); }
  std::optional<std::size_t> indexAt(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size()) return std::nullopt;
    const std::size_t index = m_rows[static_cast<std::size_t>(row)];
    if (index >= m_registry.speech->size()) return std::nullopt;
    return index;
  }
  int rowOf(std::size_t index) const {
    const auto it = std::lower_bound(m_rows.begin(), m_rows.end(), index);
    if (it == m_rows.end() || *it != index) return -1;
    return static_cast<int>(it - m_rows.begin());
  }

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
  }
  int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : ColumnCount;
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole) return {};
    const auto entry = indexAt(index.row());
    if (!entry || *entry >= m_list.size()) return {};
    const SpeechEntry& e = m_registry.speech->entries()[*entry];
    switch (index.column()) {
      case List:
        return m_list[*entry];
      case Id:
        return e.id;
      case Text:
        return QString::fromStdString(e.text);
      default:
        return {};
    }
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const QStringList captions = {QStringLiteral("List"), QStringLiteral("Id"),
                                         QStringLiteral("Text")};
    return captions.value(section);
  }

private:
  Registry& m_registry;
  std::vector<std::size_t> m_rows;
  std::vector<int> m_list;  // by entry index
};

SpeechPage::SpeechPage(TMainForm& main, QWidget* parent)
    : QWidget(parent),
      m_main(main),
      m_registry(main.registry()),
      m_dialogs(main.dialogs()),
      m_files(main.settingsPage()->createGroupBox(kFamily, this)),
      m_model(new SpeechTableModel(main.registry(), this)),
      m_search(namedField(QStringLiteral("eSpeechSearch"), this)),
      m_table(new QTableView(this)),
      m_count(new QLabel(this)),
      m_id(namedField(QStringLiteral("eSpeechId"), this)),
      m_text(namedField(QStringLiteral("eSpeechText"), this)),
      m_apply(namedButton(QStringLiteral("btnSpeechApply"), QStringLiteral("Apply"), this)) {
  setObjectName(QStringLiteral("SpeechPage"));
  m_search->setPlaceholderText(QStringLiteral("Id, or words"));
  m_search->setToolTip(QStringLiteral(
      "A number shows the entries of that id, words the entries whose text holds every one of "
      "them; empty shows every entry."));
  QPushButton* searchButton =
      namedButton(QStringLiteral("btnSpeechSearch"), QStringLiteral("Search"), this);
  m_count->setObjectName(QStringLiteral("lSpeechCount"));

  m_table->setObjectName(QStringLiteral("tvSpeech"));
  m_table->setModel(m_model);
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_table->setWordWrap(false);
  m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  m_table->verticalHeader()->hide();
  m_table->horizontalHeader()->setStretchLastSection(true);
  m_table->setColumnWidth(SpeechTableModel::List,
                          fontMetrics().horizontalAdvance(QStringLiteral("List0000")));
  m_table->setColumnWidth(SpeechTableModel::Id,
                          fontMetrics().horizontalAdvance(QStringLiteral("0000000000")));

  m_id->setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000000000")));
  m_id->setToolTip(QStringLiteral("The keyword id, 0 to 65535"));
  QPushButton* addButton = namedButton(QStringLiteral("btnSpeechAdd"), QStringLiteral("Add"), this);
  addButton->setToolTip(QStringLiteral("A new keyword after the chosen one, with its id"));
  QPushButton* deleteButton =
      namedButton(QStringLiteral("btnSpeechDelete"), QStringLiteral("Delete"), this);

  const auto action = [this](void (SpeechPage::*handler)()) {
    return [this, handler] { runAction(m_dialogs, [&] { (this->*handler)(); }); };
  };
  connect(searchButton, &QPushButton::clicked, this, action(&SpeechPage::search));
  connect(m_search, &QLineEdit::returnPressed, this, action(&SpeechPage::search));
  connect(m_apply, &QPushButton::clicked, this, action(&SpeechPage::apply));
  connect(m_id, &QLineEdit::returnPressed, this, action(&SpeechPage::apply));
  connect(m_text, &QLineEdit::returnPressed, this, action(&SpeechPage::apply));
  connect(addButton, &QPushButton::clicked, this, action(&SpeechPage::addEntry));
  connect(deleteButton, &QPushButton::clicked, this, action(&SpeechPage::deleteEntries));
  connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this] { showEntry(); });

  auto* searchRow = new QHBoxLayout;
  searchRow->addWidget(new QLabel(QStringLiteral("Search:"), this));
  searchRow->addWidget(m_search, 1);
  searchRow->addWidget(searchButton);
  searchRow->addWidget(m_count);
  auto* editRow = new QHBoxLayout;
  editRow->addWidget(new QLabel(QStringLiteral("Id:"), this));
  editRow->addWidget(m_id);
  editRow->addWidget(new QLabel(QStringLiteral("Text:"), this));
  editRow->addWidget(m_text, 1);
  editRow->addWidget(m_apply);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(addButton);
  buttons->addWidget(deleteButton);
  buttons->addStretch(1);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_files);
  layout->addLayout(searchRow);
  layout->addWidget(m_table, 1);
  layout->addLayout(editRow);
  layout->addLayout(buttons);

  // Whatever opens, reads again, lets go or closes speech.mul, the table shows the model as it
  // is then.
  m_ownerToken = m_registry.openFiles().subscribe([this](const std::string& id, FileEvent event) {
    if (id != kFamily.toStdString() || event == FileEvent::Saved) return;
    rebuild();
    if (event == FileEvent::Opened) showProblems();
  });
  rebuild();
}

SpeechPage::~SpeechPage() { m_registry.openFiles().unsubscribe(m_ownerToken); }

std::optional<std::size_t> SpeechPage::currentEntry() const {
  const QModelIndex current = m_table->selectionModel()->currentIndex();
  if (!current.isValid()) return std::nullopt;
  return m_model->indexAt(current.row());
}

void SpeechPage::rebuild() {
  m_filter = {};
  m_search->clear();
  applyFilter();
}

void SpeechPage::applyFilter() {
  const TSpeech& speech = *m_registry.speech;
  std::vector<std::size_t> rows;
  switch (m_filter.kind) {
    case Filter::Kind::All:
      rows.resize(speech.size());
      std::iota(rows.begin(), rows.end(), std::size_t{0});
      break;
    case Filter::Kind::Id:
      rows = speech.entriesOfId(m_filter.id);
      break;
    case Filter::Kind::Words:
      rows = speech.search(m_filter.words);
      break;
  }
  m_model->setRows(std::move(rows));
  showCount();
  showEntry();
}

void SpeechPage::showCount() {
  const std::size_t all = m_registry.speech->size();
  if (m_filter.kind == Filter::Kind::All)
    m_count->setText(QStringLiteral("%1 entries").arg(all));
  else
    m_count->setText(QStringLiteral("%1 of %2 entries").arg(m_model->rows()).arg(all));
}

void SpeechPage::search() {
  const QString typed = m_search->text().trimmed();
  static const QRegularExpression number(QStringLiteral("^\\d+$"));
  if (typed.isEmpty()) {
    m_filter = {};
  } else if (number.match(typed).hasMatch()) {
    const auto id = parseId(typed);
    if (!id) {
      m_dialogs.showMessage(QStringLiteral("A keyword id is 0 to 65535."));
      return;
    }
    m_filter = {Filter::Kind::Id, *id, {}};
  } else {
    m_filter = {Filter::Kind::Words, 0, typed.toStdString()};
  }
  applyFilter();
  if (m_filter.kind != Filter::Kind::All && m_model->rows() > 0)
    m_table->selectionModel()->setCurrentIndex(
        m_model->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void SpeechPage::selectEntry(std::size_t index) {
  if (m_model->rowOf(index) < 0) {
    m_filter = {};
    m_search->clear();
    applyFilter();
  }
  const QModelIndex line = m_model->index(m_model->rowOf(index), 0);
  m_table->selectionModel()->setCurrentIndex(
      line, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  m_table->scrollTo(line, QAbstractItemView::PositionAtCenter);
}

void SpeechPage::showEntry() {
  const std::optional<std::size_t> index = currentEntry();
  m_shown = index;
  m_id->setEnabled(index.has_value());
  m_text->setEnabled(index.has_value());
  m_apply->setEnabled(index.has_value());
  if (!index) {
    m_id->clear();
    m_text->clear();
  } else {
    const SpeechEntry& e = m_registry.speech->entries()[*index];
    m_id->setText(QString::number(e.id));
    m_text->setText(QString::fromStdString(e.text));
  }
  m_shownId = m_id->text();
  m_shownText = m_text->text();
}

bool SpeechPage::requireLoaded() {
  if (m_registry.speech->isLoaded()) return true;
  m_dialogs.showMessage(kLoadFirst);
  return false;
}

void SpeechPage::apply() {
  if (!requireLoaded()) return;
  if (!m_shown) {
    m_dialogs.showMessage(QStringLiteral("Choose an entry first."));
    return;
  }
  const std::size_t index = *m_shown;
  const auto id = parseId(m_id->text());
  if (!id) {
    m_dialogs.showMessage(
        QStringLiteral("'%1' is no keyword id: an id is 0 to 65535.").arg(m_id->text().trimmed()));
    return;
  }
  TSpeech& speech = *m_registry.speech;
  // The text first: a refused one throws before anything is stored, and an id is never refused.
  if (m_text->text() != m_shownText) speech.setText(index, m_text->text().toStdString());
  if (m_id->text() != m_shownId) speech.setId(index, *id);
  // An id changed may start or end a list.
  applyFilter();
  selectEntry(index);
}

void SpeechPage::addEntry() {
  if (!requireLoaded()) return;
  const TSpeech& speech = *m_registry.speech;
  std::size_t at = speech.size();
  std::uint16_t id = speech.size() > 0 ? speech.entries().back().id : 0;
  if (m_shown) {
    at = *m_shown + 1;
    id = speech.entries()[*m_shown].id;
  }
  const auto typed = m_dialogs.inputBox(
      QStringLiteral("Add"), QStringLiteral("Text of the new keyword (id %1):").arg(id), {});
  if (!typed) return;
  const std::size_t index = m_registry.speech->insert(at, {id, typed->toStdString()});
  applyFilter();
  selectEntry(index);
}

void SpeechPage::deleteEntries() {
  if (!requireLoaded()) return;
  std::vector<std::size_t> indexes;
  for (const QModelIndex& line : m_table->selectionModel()->selectedRows())
    if (const auto index = m_model->indexAt(line.row())) indexes.push_back(*index);
  if (indexes.empty()) {
    m_dialogs.showMessage(QStringLiteral("Choose the entries to delete first."));
    return;
  }
  std::sort(indexes.begin(), indexes.end());
  const QString question =
      indexes.size() == 1 ? QStringLiteral("Delete entry %1 (id %2)?")
                                .arg(indexes.front())
                                .arg(m_registry.speech->entries()[indexes.front()].id)
                          : QStringLiteral("Delete the %1 chosen entries?").arg(indexes.size());
  if (m_dialogs.ask(Dialogs::kCaption, question, {QStringLiteral("Yes"), QStringLiteral("No")}) !=
      0)
    return;
  for (auto it = indexes.rbegin(); it != indexes.rend(); ++it) m_registry.speech->remove(*it);
  applyFilter();
}

void SpeechPage::showProblems() {
  const auto& problems = m_registry.speech->problems();
  if (problems.empty()) return;
  QStringList lines;
  for (const std::string& p : problems) lines << QString::fromStdString(p);
  m_dialogs.message(Dialogs::kCaption,
                    QStringLiteral("speech.mul is open; the load found:\n%1").arg(lines.join('\n')),
                    MessageIcon::Warning);
}

}  // namespace quillotide::ui
