#include "ui/main/ClilocPage.h"

#include <algorithm>
#include <numeric>

#include <QAbstractTableModel>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTableView>
#include <QTextDocument>
#include <QVBoxLayout>

#include "models/Cliloc.h"
#include "registry/OpenFiles.h"
#include "registry/Registry.h"
#include "ui/main/FileGroup.h"
#include "ui/main/MainForm.h"
#include "ui/main/NamedWidgets.h"
#include "ui/main/SettingsPage.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

namespace {

const QString kFamily = QStringLiteral("Cliloc");
const QString kTableFilter = QStringLiteral("*.tsv|*.tsv;*.txt");
const QString kLoadFirst = QStringLiteral("Load the cliloc file first.");
// Lines of an import left out that the report names; the rest are counted.
constexpr std::size_t kNamedLines = 20;

QString text(const std::string& utf8) { return QString::fromStdString(utf8); }

}  // namespace

// The lines of the table: positions of the model's entries, in file order. Every cell is read
// from the registry's cliloc model when it is drawn.
class ClilocTableModel : public QAbstractTableModel {
public:
  enum Column { Number, Flag, Text, ColumnCount };

  ClilocTableModel(Registry& registry, QObject* parent)
      : QAbstractTableModel(parent), m_registry(registry) {}

  void setRows(std::vector<std::size_t> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
  }
  std::size_t rows() const { return m_rows.size(); }
  std::optional<std::size_t> positionAt(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size()) return std::nullopt;
    const std::size_t pos = m_rows[static_cast<std::size_t>(row)];
    if (pos >= m_registry.cliloc->size()) return std::nullopt;
    return pos;
  }
  // The line of the entry at pos; -1 when the table does not show it. The positions shown are
  // always in increasing order.
  int rowOf(std::size_t pos) const {
    const auto it = std::lower_bound(m_rows.begin(), m_rows.end(), pos);
    if (it == m_rows.end() || *it != pos) return -1;
    return static_cast<int>(it - m_rows.begin());
  }
  void entryChanged(std::size_t pos) {
    const int row = rowOf(pos);
    if (row < 0) return;
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
  }

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
  }
  int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : ColumnCount;
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    const auto pos = positionAt(index.row());
    if (!pos) return {};
    const TClilocEntry& e = m_registry.cliloc->entries()[*pos];
    switch (index.column()) {
      case Number:
        return role == Qt::DisplayRole ? QVariant(e.number) : QVariant();
      case Flag:
        return role == Qt::DisplayRole ? QVariant(e.flag) : QVariant();
      case Text:
        return text(clilocText(e));
      default:
        return {};
    }
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const QStringList captions = {QStringLiteral("Number"), QStringLiteral("Flag"),
                                         QStringLiteral("Text")};
    return captions.value(section);
  }

private:
  Registry& m_registry;
  std::vector<std::size_t> m_rows;
};

ClilocPage::ClilocPage(TMainForm& main, QWidget* parent)
    : QWidget(parent),
      m_main(main),
      m_registry(main.registry()),
      m_dialogs(main.dialogs()),
      m_files(main.settingsPage()->createGroupBox(kFamily, this)),
      m_model(new ClilocTableModel(main.registry(), this)),
      m_search(namedField(QStringLiteral("eClilocSearch"), this)),
      m_table(new QTableView(this)),
      m_count(new QLabel(this)),
      m_number(new QLabel(this)),
      m_flag(new QSpinBox(this)),
      m_text(new QPlainTextEdit(this)),
      m_apply(namedButton(QStringLiteral("btnClilocApply"), QStringLiteral("Apply"), this)),
      m_tail(new QLabel(this)),
      m_dropTail(namedButton(QStringLiteral("btnClilocDropTail"),
                             QStringLiteral("Drop damaged tail"), this)) {
  setObjectName(QStringLiteral("ClilocPage"));
  m_search->setPlaceholderText(QStringLiteral("Number, first-last, or words"));
  m_search->setToolTip(QStringLiteral(
      "A number jumps to its entry, 500000-500100 shows that range, words show the entries "
      "whose text holds every one of them; empty shows every entry."));
  QPushButton* searchButton =
      namedButton(QStringLiteral("btnClilocSearch"), QStringLiteral("Search"), this);
  m_count->setObjectName(QStringLiteral("lClilocCount"));

  m_table->setObjectName(QStringLiteral("tvCliloc"));
  m_table->setModel(m_model);
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_table->setWordWrap(false);
  m_table->setTabKeyNavigation(false);
  // Fixed line heights and column widths: nothing is measured over the whole table.
  m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  m_table->verticalHeader()->hide();
  m_table->horizontalHeader()->setStretchLastSection(true);
  m_table->setColumnWidth(ClilocTableModel::Number,
                          fontMetrics().horizontalAdvance(QStringLiteral("00000000000")));
  m_table->setColumnWidth(ClilocTableModel::Flag,
                          fontMetrics().horizontalAdvance(QStringLiteral("Flag0000")));

  m_number->setObjectName(QStringLiteral("lClilocNumber"));
  m_flag->setObjectName(QStringLiteral("sbClilocFlag"));
  m_flag->setRange(0, 2);
  m_text->setObjectName(QStringLiteral("eClilocText"));
  // A TAB typed is part of the text, as real texts hold them.
  m_text->setTabChangesFocus(false);
  m_text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  m_text->setMaximumHeight(fontMetrics().height() * 6);
  m_text->installEventFilter(this);
  m_apply->setToolTip(QStringLiteral("Stores the text and flag (Ctrl+Return)"));

  m_tail->setObjectName(QStringLiteral("lClilocTail"));
  m_tail->setWordWrap(true);

  QPushButton* addButton =
      namedButton(QStringLiteral("btnClilocAdd"), QStringLiteral("Add..."), this);
  QPushButton* deleteButton =
      namedButton(QStringLiteral("btnClilocDelete"), QStringLiteral("Delete"), this);
  QPushButton* exportButton =
      namedButton(QStringLiteral("btnClilocExport"), QStringLiteral("Export..."), this);
  QPushButton* importButton =
      namedButton(QStringLiteral("btnClilocImport"), QStringLiteral("Import..."), this);

  const auto action = [this](void (ClilocPage::*handler)()) {
    return [this, handler] { runAction(m_dialogs, [&] { (this->*handler)(); }); };
  };
  connect(searchButton, &QPushButton::clicked, this, action(&ClilocPage::search));
  connect(m_search, &QLineEdit::returnPressed, this, action(&ClilocPage::search));
  connect(m_apply, &QPushButton::clicked, this, action(&ClilocPage::apply));
  connect(addButton, &QPushButton::clicked, this, action(&ClilocPage::addEntry));
  connect(deleteButton, &QPushButton::clicked, this, action(&ClilocPage::deleteEntries));
  connect(exportButton, &QPushButton::clicked, this, action(&ClilocPage::exportTable));
  connect(importButton, &QPushButton::clicked, this, action(&ClilocPage::importTable));
  connect(m_dropTail, &QPushButton::clicked, this, action(&ClilocPage::dropTail));
  connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this] { showEntry(); });

  auto* searchRow = new QHBoxLayout;
  searchRow->addWidget(new QLabel(QStringLiteral("Search:"), this));
  searchRow->addWidget(m_search, 1);
  searchRow->addWidget(searchButton);
  searchRow->addWidget(m_count);
  auto* editRow = new QHBoxLayout;
  editRow->addWidget(m_number);
  editRow->addWidget(new QLabel(QStringLiteral("Flag:"), this));
  editRow->addWidget(m_flag);
  editRow->addStretch(1);
  editRow->addWidget(m_apply);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(addButton);
  buttons->addWidget(deleteButton);
  buttons->addSpacing(12);
  buttons->addWidget(exportButton);
  buttons->addWidget(importButton);
  buttons->addStretch(1);
  auto* tailRow = new QHBoxLayout;
  tailRow->addWidget(m_tail, 1);
  tailRow->addWidget(m_dropTail);

  // The damaged tail is said beside the files it belongs to, above everything else.
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_files);
  layout->addLayout(tailRow);
  layout->addLayout(searchRow);
  layout->addWidget(m_table, 1);
  layout->addLayout(editRow);
  layout->addWidget(m_text);
  layout->addLayout(buttons);

  // Whatever opens, reads again, lets go or closes the cliloc file (a load here, a client
  // folder, a tool), the table shows the model as it is then.
  m_ownerToken = m_registry.openFiles().subscribe([this](const std::string& id, FileEvent event) {
    if (id != kFamily.toStdString() || event == FileEvent::Saved) return;
    rebuild();
    if (event == FileEvent::Opened) showProblems();
  });
  rebuild();
}

ClilocPage::~ClilocPage() { m_registry.openFiles().unsubscribe(m_ownerToken); }

std::optional<std::size_t> ClilocPage::currentEntry() const {
  const QModelIndex current = m_table->selectionModel()->currentIndex();
  if (!current.isValid()) return std::nullopt;
  return m_model->positionAt(current.row());
}

bool ClilocPage::eventFilter(QObject* watched, QEvent* event) {
  // Ctrl+Return in the text stores it; Return is a line break of the text, and so is
  // Shift+Return, which the editor would otherwise store as a Unicode line separator.
  if (watched == m_text && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      if (key->modifiers() & Qt::ControlModifier) {
        runAction(m_dialogs, [this] { apply(); });
        return true;
      }
      if (key->modifiers() & Qt::ShiftModifier) {
        m_text->insertPlainText(QStringLiteral("\n"));
        return true;
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

void ClilocPage::rebuild() {
  m_filter = {};
  m_search->clear();
  applyFilter();
  showTail();
}

void ClilocPage::applyFilter() {
  const TCliloc& cliloc = *m_registry.cliloc;
  std::vector<std::size_t> rows;
  switch (m_filter.kind) {
    case Filter::Kind::All:
      rows.resize(cliloc.size());
      std::iota(rows.begin(), rows.end(), std::size_t{0});
      break;
    case Filter::Kind::Range:
      rows = cliloc.inRange(m_filter.first, m_filter.last);
      break;
    case Filter::Kind::Words:
      rows = cliloc.search(m_filter.words);
      break;
  }
  m_model->setRows(std::move(rows));
  showCount();
  showEntry();
}

void ClilocPage::showCount() {
  const std::size_t all = m_registry.cliloc->size();
  if (m_filter.kind == Filter::Kind::All)
    m_count->setText(QStringLiteral("%1 entries").arg(all));
  else
    m_count->setText(QStringLiteral("%1 of %2 entries").arg(m_model->rows()).arg(all));
}

void ClilocPage::search() {
  const QString typed = m_search->text().trimmed();
  static const QRegularExpression number(QStringLiteral("^-?\\d+$"));
  static const QRegularExpression range(QStringLiteral("^(-?\\d+)\\s*-\\s*(-?\\d+)$"));
  const auto toNumber = [](const QString& digits) -> std::optional<std::int32_t> {
    bool ok = false;
    const qlonglong n = digits.toLongLong(&ok);
    if (!ok || n < INT32_MIN || n > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(n);
  };
  if (typed.isEmpty()) {
    m_filter = {};
    applyFilter();
    return;
  }
  if (number.match(typed).hasMatch()) {
    if (!requireLoaded()) return;
    const auto n = toNumber(typed);
    const auto pos = n ? m_registry.cliloc->find(*n) : std::nullopt;
    if (!pos) {
      m_dialogs.showMessage(QStringLiteral("There is no entry %1.").arg(typed));
      return;
    }
    selectPosition(*pos);
    return;
  }
  if (const auto match = range.match(typed); match.hasMatch()) {
    const auto first = toNumber(match.captured(1));
    const auto last = toNumber(match.captured(2));
    if (!first || !last) {
      m_dialogs.showMessage(
          QStringLiteral("Entry numbers go from %1 to %2.").arg(INT32_MIN).arg(INT32_MAX));
      return;
    }
    m_filter = {Filter::Kind::Range, std::min(*first, *last), std::max(*first, *last), {}};
  } else {
    m_filter = {Filter::Kind::Words, 0, 0, typed.toStdString()};
  }
  applyFilter();
  if (m_model->rows() > 0)
    m_table->selectionModel()->setCurrentIndex(
        m_model->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void ClilocPage::selectPosition(std::size_t pos) {
  if (m_model->rowOf(pos) < 0) {
    m_filter = {};
    m_search->clear();
    applyFilter();
  }
  const QModelIndex index = m_model->index(m_model->rowOf(pos), 0);
  m_table->selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  m_table->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void ClilocPage::showEntry() {
  const std::optional<std::size_t> pos = currentEntry();
  m_shown = pos;
  m_text->setEnabled(pos.has_value());
  m_flag->setEnabled(pos.has_value());
  m_apply->setEnabled(pos.has_value());
  if (!pos) {
    m_number->setText(QStringLiteral("Number:"));
    m_text->clear();
    m_flag->setValue(0);
    m_shownText.clear();
    m_shownFlag = 0;
    return;
  }
  const TClilocEntry& e = m_registry.cliloc->entries()[*pos];
  m_number->setText(QStringLiteral("Number: %1").arg(e.number));
  // A flag past 2 (a damaged file) shows as 2 and is written only when it is changed.
  m_flag->setValue(std::min<int>(e.flag, 2));
  m_flag->setToolTip(e.flag > 2 ? QStringLiteral("The file holds flag %1.").arg(e.flag)
                                : QString());
  m_text->setPlainText(text(clilocText(e)));
  m_shownText = editorText();
  m_shownFlag = m_flag->value();
}

QString ClilocPage::editorText() const {
  QString typed = m_text->document()->toRawText();
  typed.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
  return typed;
}

bool ClilocPage::requireLoaded() {
  if (m_registry.cliloc->isLoaded()) return true;
  m_dialogs.showMessage(kLoadFirst);
  return false;
}

void ClilocPage::apply() {
  if (!requireLoaded()) return;
  if (!m_shown) {
    m_dialogs.showMessage(QStringLiteral("Choose an entry first."));
    return;
  }
  const std::size_t pos = *m_shown;
  const QString typed = editorText();
  TCliloc& cliloc = *m_registry.cliloc;
  // The text first: a refused text throws before anything is stored, and a flag 0 to 2 is
  // never refused.
  if (typed != m_shownText) cliloc.setText(pos, typed.toStdString());
  if (m_flag->value() != m_shownFlag)
    cliloc.setFlag(pos, static_cast<std::uint8_t>(m_flag->value()));
  m_model->entryChanged(pos);
  showEntry();
}

void ClilocPage::addEntry() {
  if (!requireLoaded()) return;
  const TCliloc& cliloc = *m_registry.cliloc;
  // The first free number after the chosen entry's is proposed.
  std::int32_t proposed = cliloc.size() == 0 ? clilocLayout::kGroupSize : 0;
  if (m_shown)
    proposed = cliloc.entry(*m_shown).number;
  else if (cliloc.size() > 0)
    proposed = cliloc.entries().back().number;
  while (proposed < INT32_MAX && cliloc.find(proposed)) ++proposed;
  const auto answer = m_dialogs.inputBox(
      QStringLiteral("Add"),
      QStringLiteral("Number of the new entry, and after a blank its flag (0, 1 or 2; 0 when "
                     "left out):"),
      QStringLiteral("%1 0").arg(proposed));
  if (!answer) return;
  const QStringList parts = answer->simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
  bool numberOk = false, flagOk = true;
  const int n = parts.value(0).toInt(&numberOk);
  const int flag = parts.size() > 1 ? parts[1].toInt(&flagOk) : 0;
  if (parts.isEmpty() || parts.size() > 2 || !numberOk) {
    m_dialogs.showMessage(QStringLiteral("'%1' is no entry number.").arg(answer->trimmed()));
    return;
  }
  if (!flagOk || flag < 0 || flag > 2) {
    m_dialogs.showMessage(QStringLiteral("A flag is 0, 1 or 2, not '%1'.").arg(parts[1]));
    return;
  }
  const std::size_t pos = m_registry.cliloc->add(n, static_cast<std::uint8_t>(flag), {});
  applyFilter();
  selectPosition(pos);
  m_text->setFocus();
}

void ClilocPage::deleteEntries() {
  if (!requireLoaded()) return;
  std::vector<std::size_t> positions;
  for (const QModelIndex& index : m_table->selectionModel()->selectedRows())
    if (const auto pos = m_model->positionAt(index.row())) positions.push_back(*pos);
  if (positions.empty()) {
    m_dialogs.showMessage(QStringLiteral("Choose the entries to delete first."));
    return;
  }
  std::sort(positions.begin(), positions.end());
  const TCliloc& cliloc = *m_registry.cliloc;
  const QString question =
      positions.size() == 1
          ? QStringLiteral("Delete entry %1?").arg(cliloc.entry(positions.front()).number)
          : QStringLiteral("Delete the %1 chosen entries (%2 to %3)?")
                .arg(positions.size())
                .arg(cliloc.entry(positions.front()).number)
                .arg(cliloc.entry(positions.back()).number);
  if (m_dialogs.ask(Dialogs::kCaption, question, {QStringLiteral("Yes"), QStringLiteral("No")}) !=
      0)
    return;
  // From the last one back, so the positions still to delete stay where they are.
  for (auto it = positions.rbegin(); it != positions.rend(); ++it) m_registry.cliloc->remove(*it);
  applyFilter();
}

void ClilocPage::exportTable() {
  if (!requireLoaded()) return;
  const OpenFiles::Opened* open = m_registry.openFiles().opened(kFamily.toStdString());
  const QString name =
      open && !open->paths.empty()
          ? QFileInfo(text(open->paths.front())).fileName() + QStringLiteral(".tsv")
          : QStringLiteral("Cliloc.tsv");
  const auto path =
      m_dialogs.saveFile({QStringLiteral("Export"), kTableFilter, QStringLiteral("tsv"), name});
  if (!path) return;
  m_registry.cliloc->exportTableFile(path->toStdString());
  m_dialogs.showMessage(QStringLiteral("%1 entries written to %2.")
                            .arg(m_registry.cliloc->size())
                            .arg(QDir::toNativeSeparators(*path)));
}

void ClilocPage::importTable() {
  if (!requireLoaded()) return;
  const auto path =
      m_dialogs.openFile({QStringLiteral("Import"), kTableFilter, QStringLiteral("tsv"), {}});
  if (!path) return;
  const ClilocImportResult result = m_registry.cliloc->importTableFile(path->toStdString());
  applyFilter();
  QString report = QStringLiteral("%1: %2 added, %3 replaced, %4 unchanged, %5 lines left out.")
                       .arg(QDir::toNativeSeparators(*path))
                       .arg(result.added)
                       .arg(result.changed)
                       .arg(result.unchanged)
                       .arg(result.failedLines.size());
  for (std::size_t k = 0; k < std::min(result.failedLines.size(), kNamedLines); ++k)
    report += QLatin1Char('\n') + text(result.failedLines[k]);
  if (result.failedLines.size() > kNamedLines)
    report += QStringLiteral("\n... and %1 more.").arg(result.failedLines.size() - kNamedLines);
  m_dialogs.showMessage(report);
}

void ClilocPage::showTail() {
  const std::size_t bytes = m_registry.cliloc->tail().size();
  m_tail->setVisible(bytes > 0);
  m_dropTail->setVisible(bytes > 0);
  m_tail->setText(bytes == 0 ? QString()
                             : QStringLiteral("The file ends in a damaged tail: %1 bytes that are "
                                              "no whole entry. They are kept and written back "
                                              "as they are until you drop them.")
                                   .arg(bytes));
}

void ClilocPage::dropTail() {
  if (!requireLoaded() || m_registry.cliloc->tail().empty()) return;
  const auto answer = m_dialogs.ask(
      Dialogs::kCaption,
      QStringLiteral("Drop the %1 bytes after the last whole entry? The next save leaves them out.")
          .arg(m_registry.cliloc->tail().size()),
      {QStringLiteral("Yes"), QStringLiteral("No")});
  if (answer != 0) return;
  m_registry.cliloc->dropTail();
  showTail();
}

void ClilocPage::showProblems() {
  const auto& problems = m_registry.cliloc->problems();
  if (problems.empty()) return;
  QStringList lines;
  for (const std::string& p : problems) lines << text(p);
  const OpenFiles::Opened* open = m_registry.openFiles().opened(kFamily.toStdString());
  const QString file = open && !open->paths.empty()
                           ? QDir::toNativeSeparators(text(open->paths.front()))
                           : QStringLiteral("The cliloc file");
  m_dialogs.message(Dialogs::kCaption,
                    QStringLiteral("%1 is open; the load found:\n%2").arg(file, lines.join('\n')),
                    MessageIcon::Warning);
}

}  // namespace quillotide::ui
