#include "ui/main/SlotListView.h"

#include <cmath>

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

namespace {

QColor toColour(Pixel p) { return QColor(redOf(p), greenOf(p), blueOf(p)); }

int nextListId() {
  static int next = 0;
  return next++;
}

constexpr int kTextIndent = 10;

// The ground of a line whose own text colour is too light for white; light colours stay
// readable on it, and the colour itself is kept.
const QColor kDarkGround(48, 48, 48);

double linearChannel(int c) {
  const double v = c / 255.0;
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

}  // namespace

bool readableOnWhite(const QColor& text) {
  const double luminance = 0.2126 * linearChannel(text.red()) +
                           0.7152 * linearChannel(text.green()) +
                           0.0722 * linearChannel(text.blue());
  // The contrast to white (luminance 1) that large-text readability asks for.
  constexpr double kMinimumContrast = 3.0;
  return 1.05 / (luminance + 0.05) >= kMinimumContrast;
}

// ---------------------------------------------------------------------------------------------

SlotListModel::SlotListModel(QObject* parent) : QAbstractListModel(parent), m_labeler(&slotLabel) {}

void SlotListModel::setLabeler(Labeler labeler) {
  m_labeler = labeler ? std::move(labeler) : Labeler(&slotLabel);
  if (!m_slots.empty()) {
    emit dataChanged(index(0), index(static_cast<int>(m_slots.size()) - 1), {Qt::DisplayRole});
  }
}

void SlotListModel::setSlotNumbers(std::vector<std::int32_t> numbers) {
  beginResetModel();
  m_slots = std::move(numbers);
  endResetModel();
}

std::string SlotListModel::label(int line) const {
  if (line < 0 || line >= rowCount()) return {};
  return m_labeler(m_slots[static_cast<std::size_t>(line)]);
}

int SlotListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_slots.size());
}

QVariant SlotListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  if (role == Qt::DisplayRole) return QString::fromStdString(label(index.row()));
  if (role == kSlotRole) return m_slots[static_cast<std::size_t>(index.row())];
  return {};
}

// ---------------------------------------------------------------------------------------------

SlotLineDelegate::SlotLineDelegate(SlotListView& owner)
    : QStyledItemDelegate(&owner), m_owner(owner) {}

void SlotLineDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  const bool selected = option.state & QStyle::State_Selected;
  const LineStyle style = lineStyle(m_owner.lineState(index.row(), selected));
  QColor text = toColour(style.text);
  QColor ground = toColour(style.background);
  if (!selected)
    if (const auto custom = m_owner.customTextColour(index.row())) {
      text = *custom;
      if (!readableOnWhite(text)) ground = kDarkGround;
    }
  painter->save();
  painter->fillRect(option.rect, ground);
  painter->setPen(text);
  painter->setFont(option.font);
  const QRect textRect = option.rect.adjusted(kTextIndent, 0, 0, 0);
  painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                    index.data(Qt::DisplayRole).toString());
  painter->restore();
}

QSize SlotLineDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
  return QSize(
      option.fontMetrics.horizontalAdvance(QStringLiteral("H: 0xFFFF (65535)")) + 2 * kTextIndent,
      option.fontMetrics.height() + 2);
}

// ---------------------------------------------------------------------------------------------

SlotListView::SlotListView(SlotSearch& searchState, Dialogs& dialogs, Options options,
                           QWidget* parent)
    : QWidget(parent),
      m_search(searchState),
      m_dialogs(dialogs),
      m_options(options),
      m_id(nextListId()),
      m_list(new QListView(this)),
      m_model(new SlotListModel(this)) {
  m_list->setModel(m_model);
  // All lines share one height, so the view needs no per-line layout pass.
  m_list->setUniformItemSizes(true);
  m_list->setSelectionMode(QAbstractItemView::SingleSelection);
  m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_list->setContextMenuPolicy(Qt::CustomContextMenu);
  if (options.ownerDraw) m_list->setItemDelegate(new SlotLineDelegate(*this));
  // A mouse press moves the current line before it selects it, so the current line's signal comes
  // while the old line is still the selected one; the selection's own signal comes after both.
  connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { onSelectionChanged(); });
  connect(m_list, &QListView::customContextMenuRequested, this,
          [this](const QPoint& pos) { onContextMenu(pos); });

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_list, 1);
  if (options.filterBox) {
    m_filter = new QComboBox(this);
    connect(m_filter, &QComboBox::activated, this, [this] { rebuild(); });
    layout->addWidget(m_filter);
  }
  if (options.search) {
    auto* row = new QHBoxLayout;
    auto* caption = new QLabel(QStringLiteral("Search:"), this);
    m_searchField = new QLineEdit(this);
    caption->setBuddy(m_searchField);
    m_searchButton = new QPushButton(QStringLiteral("Search"), this);
    connect(m_searchField, &QLineEdit::returnPressed, this, [this] { search(); });
    connect(m_searchButton, &QPushButton::clicked, this, [this] { search(); });
    row->addWidget(caption);
    row->addWidget(m_searchField, 1);
    row->addWidget(m_searchButton);
    layout->addLayout(row);
  }
}

void SlotListView::setNames(const QString& list, const QString& filter, const QString& searchField,
                            const QString& searchButton) {
  m_list->setObjectName(list);
  if (m_filter) m_filter->setObjectName(filter);
  if (m_searchField) m_searchField->setObjectName(searchField);
  if (m_searchButton) m_searchButton->setObjectName(searchButton);
}

void SlotListView::setRange(std::function<Range(SlotFilter)> range) { m_range = std::move(range); }

void SlotListView::setLabeler(SlotListModel::Labeler labeler) {
  m_model->setLabeler(std::move(labeler));
}

void SlotListView::setFullQuery(std::function<bool(std::int32_t)> full) {
  m_full = std::move(full);
}

void SlotListView::setPatchQuery(std::function<bool(std::int32_t)> patched, bool countsAsFull) {
  m_patched = std::move(patched);
  m_patchedCountsAsFull = countsAsFull;
}

void SlotListView::setTextColour(std::function<QColor(std::int32_t)> colour) {
  m_textColour = std::move(colour);
}

void SlotListView::resetFilter() {
  if (m_filter) {
    m_filter->clear();
    for (const char* caption : kSlotFilterCaptions) m_filter->addItem(QString::fromLatin1(caption));
    m_filter->setCurrentIndex(0);
  }
  rebuild();
}

SlotFilter SlotListView::filter() const {
  if (!m_filter || m_filter->currentIndex() < 0) return SlotFilter::All;
  return static_cast<SlotFilter>(m_filter->currentIndex());
}

void SlotListView::rebuild() {
  const SlotFilter f = filter();
  const Range range = m_range ? m_range(f) : Range{0, -1};
  const auto isFull = [this](std::int32_t slot) {
    if (m_patchedCountsAsFull && m_patched && m_patched(slot)) return true;
    return m_full ? m_full(slot) : false;
  };
  m_model->setSlotNumbers(buildSlotList(range.first, range.second, f, isFull));
  // The reset drops the selection without a selection signal.
  emit selectionCleared();
}

int SlotListView::lineCount() const { return m_model->rowCount(); }

std::int32_t SlotListView::slotAt(int line) const {
  return m_model->slotNumbers().at(static_cast<std::size_t>(line));
}

int SlotListView::selectedLine() const {
  const QModelIndexList rows = m_list->selectionModel()->selectedIndexes();
  return rows.isEmpty() ? -1 : rows.first().row();
}

std::optional<std::int32_t> SlotListView::selectedSlot() const {
  const int line = selectedLine();
  if (line < 0 || line >= lineCount()) return std::nullopt;
  return slotAt(line);
}

void SlotListView::selectLine(int line) {
  if (line < 0 || line >= lineCount()) return;
  const QModelIndex index = m_model->index(line);
  m_selecting = true;
  m_list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
  m_selecting = false;
  m_list->scrollTo(index);
  emit slotActivated(slotAt(line));
}

void SlotListView::search() {
  if (!m_searchField) return;
  const std::string query = m_searchField->text().toStdString();
  const SlotSearch::Result result =
      m_search.find(m_id, query, lineCount(), [this](int line) { return m_model->label(line); });
  if (result.outcome == SlotSearch::Outcome::NotFound)
    m_dialogs.showMessage(QString::fromLatin1(kNotFoundMessage));
  else if (result.outcome == SlotSearch::Outcome::Found)
    selectLine(result.line);
}

LineState SlotListView::lineState(int line, bool selected) const {
  LineState state;
  state.selected = selected;
  if (line < 0 || line >= lineCount()) return state;
  const std::int32_t slot = slotAt(line);
  state.full = m_full && m_full(slot);
  state.patched = m_patched && m_patched(slot);
  return state;
}

std::optional<QColor> SlotListView::customTextColour(int line) const {
  if (!m_textColour || line < 0 || line >= lineCount()) return std::nullopt;
  return m_textColour(slotAt(line));
}

void SlotListView::onSelectionChanged() {
  if (m_selecting) return;
  const std::optional<std::int32_t> slot = selectedSlot();
  if (slot) {
    emit slotActivated(*slot);
  } else {
    emit selectionCleared();
  }
}

void SlotListView::onContextMenu(const QPoint& pos) {
  const std::optional<std::int32_t> slot = selectedSlot();
  if (!slot) return;
  const QPoint global = m_list->viewport()->mapToGlobal(pos);
  emit popupRequested(global, *slot);
  if (m_menu) m_menu->popup(global);
}

}  // namespace quillotide::ui
