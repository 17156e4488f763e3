#include "ui/editor/HueTable.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include "app/Error.h"
#include "app/Text.h"
#include "registry/Registry.h"
#include "ui/editor/ToolWidgets.h"
#include "ui/main/PictureView.h"
#include "ui/platform/Dialogs.h"
#include "world/IdQuery.h"

namespace quillotide::ui {

namespace {

constexpr int kTableWidth = 423;
constexpr int kTableHeight = 320;
constexpr int kStripWidth = 416;
constexpr int kStripHeight = 17;

QColor toColour(Colour16 c) {
  const Pixel p = colour16ToPixel(c);
  return QColor(redOf(p), greenOf(p), blueOf(p));
}

}  // namespace

HueTable::HueTable(const Registry& registry, Dialogs& dialogs, bool allowNone, QWidget* parent)
    : QWidget(parent),
      m_registry(registry),
      m_dialogs(dialogs),
      m_allowNone(allowNone),
      m_table(new PictureView(QSize(kTableWidth, kTableHeight), this)),
      m_track(new QSlider(Qt::Horizontal, this)),
      m_number(new QLineEdit(this)),
      m_name(new QLabel(this)),
      m_strip(new PictureView(QSize(kStripWidth, kStripHeight), this)),
      m_filter(new QLineEdit(this)),
      m_list(new QListWidget(this)) {
  m_table->setObjectName(QStringLiteral("iFarbTabelle"));
  m_strip->setObjectName(QStringLiteral("iFarbStreifen"));
  m_track->setObjectName(QStringLiteral("tbFarbe"));
  m_track->setRange(0, HueEntry::kColourCount - 1);
  m_track->setValue(kDefaultTrack);
  m_number->setObjectName(QStringLiteral("eFarbIndex"));
  m_name->setObjectName(QStringLiteral("lFarbName"));
  m_filter->setObjectName(QStringLiteral("eFilter"));
  m_filter->setToolTip(QStringLiteral("A hue number, a range (A-B) or a part of the name"));
  m_filter->setClearButtonEnabled(true);
  m_list->setObjectName(QStringLiteral("lbHueList"));
  m_list->setUniformItemSizes(true);
  keepNavigationKeys(m_list);
  passListKeys(m_filter, m_list);
  connect(m_filter, &QLineEdit::textChanged, this, [this] { applyFilter(); });
  connect(m_list, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
    // The current line may be one the filter hides when it keeps none.
    if (item->isHidden()) return;
    runAction(m_dialogs, [&] { choose(item->data(Qt::UserRole).toInt()); });
  });

  connect(m_track, &QSlider::valueChanged, this, [this] { drawTable(); });
  connect(m_table, &PictureView::mousePressed, this, [this](Qt::MouseButton button, QPoint pos) {
    if (button == Qt::LeftButton) runAction(m_dialogs, [&] { choose(hueAt(pos)); });
  });
  connect(m_number, &QLineEdit::returnPressed, this,
          [this] { runAction(m_dialogs, [this] { chooseTyped(); }); });

  auto* columns = new QHBoxLayout(this);
  columns->setContentsMargins(0, 0, 0, 0);
  auto* layout = new QVBoxLayout;
  columns->addLayout(layout);
  auto* side = new QVBoxLayout;
  auto* filterRow = new QHBoxLayout;
  filterRow->addWidget(new QLabel(QStringLiteral("Filter:"), this));
  filterRow->addWidget(m_filter);
  side->addLayout(filterRow);
  side->addWidget(m_list, 1);
  columns->addLayout(side);
  layout->addWidget(m_table, 0, Qt::AlignLeft);
  layout->addWidget(m_track);
  auto* fields = new QGridLayout;
  fields->addWidget(new QLabel(QStringLiteral("Farb Index:"), this), 0, 0);
  fields->addWidget(m_number, 0, 1);
  fields->addWidget(new QLabel(QStringLiteral("Farbname:"), this), 1, 0);
  fields->addWidget(m_name, 1, 1);
  layout->addLayout(fields);
  layout->addWidget(m_strip, 0, Qt::AlignLeft);
}

void HueTable::fillList() {
  const THues& hues = *m_registry.hues;
  m_list->clear();
  for (int h = 0; h < hues.hueCount(); ++h) {
    auto* item = new QListWidgetItem(QStringLiteral("%1  %2").arg(
        QString::fromStdString(hexLabel(static_cast<std::uint32_t>(h))),
        QString::fromStdString(hues.hueName(h))));
    item->setData(Qt::UserRole, h);
    m_list->addItem(item);
  }
}

void HueTable::applyFilter() {
  const IdFilter filter(m_filter->text().toStdString());
  const THues& hues = *m_registry.hues;
  int first = -1;
  for (int row = 0; row < m_list->count(); ++row) {
    const bool keep = filter.matches(row, filter.byName() ? hues.hueName(row) : std::string());
    m_list->setRowHidden(row, !keep);
    if (keep && first < 0) first = row;
  }
  QListWidgetItem* current = m_list->currentItem();
  if ((!current || current->isHidden()) && first >= 0) m_list->setCurrentRow(first);
  drawTable();
}

void HueTable::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  fillList();
  applyFilter();
}

void HueTable::drawTable() {
  m_table->clear();
  const THues& hues = *m_registry.hues;
  if (m_list->count() != hues.hueCount()) {
    fillList();
    applyFilter();
    return;
  }
  const int n = m_track->value();
  for (int i = 0; i < kColumns; ++i)
    for (int j = 0; j < kHuesPerColumn; ++j) {
      const int h = i * kHuesPerColumn + j;
      if (h >= kDrawnHues) break;
      if (h < m_list->count() && m_list->isRowHidden(h)) continue;
      const std::optional<Colour16> c = hues.hueColour(h, n);
      if (!c) continue;
      m_table->fillRect(kColumnStep * i, kRowStep * j, kColumnStep * i + 7, kRowStep * j + 3,
                        toColour(*c));
    }
}

void HueTable::choose(int entry) {
  if (entry == -1 && m_allowNone) {
    m_name->clear();
    m_number->setText(QStringLiteral("-1"));
    m_strip->clear();
    emit hueChosen(-1);
    return;
  }
  const THues& hues = *m_registry.hues;
  if (!hues.hasEntry(entry))
    throw Error(formatMessage(
        "Hue %s is not in the hue table.",
        {entry < 0 ? std::to_string(entry) : hexLabel(static_cast<std::uint32_t>(entry))}));
  m_name->setText(QString::fromStdString(hues.hueName(entry)));
  if (QListWidgetItem* line = m_list->item(entry); line && !line->isHidden()) {
    m_list->setCurrentItem(line);
    m_list->scrollToItem(line);
  }
  m_number->setText(QString::fromStdString(hexLabel(static_cast<std::uint32_t>(entry))));
  m_strip->clear();
  for (int i = 0; i < HueEntry::kColourCount; ++i)
    m_strip->fillRect(kStripStep * i, 0, kStripStep * i + 11, 15,
                      toColour(hues.hueColour(entry, i).value_or(0)));
  emit hueChosen(entry);
}

void HueTable::chooseTyped() {
  const std::string text = m_number->text().toStdString();
  const int count = m_registry.hues->hueCount();
  // Without a loaded table there is no range to name; every number is refused by choose.
  if (count == 0) {
    choose(parseInt(text));
    return;
  }
  choose(parseTypedId(text, {m_allowNone ? -1 : 0, count - 1, "Hue"}));
}

HueWindow::HueWindow(const Registry& registry, Dialogs& dialogs, bool allowNone, bool withCancel,
                     QWidget* parent)
    : QWidget(parent, Qt::Window), m_table(new HueTable(registry, dialogs, allowNone, this)) {
  setWindowTitle(QStringLiteral("Farbwahl"));
  connect(m_table, &HueTable::hueChosen, this, &HueWindow::hueChosen);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_table);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  layout->addLayout(buttons);
  const auto button = [&](const QString& caption) {
    auto* b = new QPushButton(caption, this);
    b->setObjectName(QStringLiteral("btn") + caption);
    connect(b, &QPushButton::clicked, this, &QWidget::hide);
    buttons->addWidget(b);
  };
  button(QStringLiteral("OK"));
  if (withCancel) button(QStringLiteral("Abbrechen"));
}

}  // namespace quillotide::ui
