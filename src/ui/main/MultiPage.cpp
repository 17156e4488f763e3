#include "ui/main/MultiPage.h"

#include <functional>

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>

#include "app/SlotList.h"
#include "app/Text.h"
#include "registry/Registry.h"
#include "ui/main/MainForm.h"
#include "ui/main/SlotListView.h"
#include "ui/platform/Dialogs.h"
#include "ui/platform/ImageBridge.h"

namespace quillotide::ui {

namespace {

struct TextFormat {
  MultiTextFormat format;
  QString name;  // object name stem: miMultiSave<name>, miMultiLoad<name>
  QString saveCaption;
  QString loadCaption;
  QString filter;
  QString extension;
};

const std::vector<TextFormat>& textFormats() {
  static const std::vector<TextFormat> formats = {
      {MultiTextFormat::Sphere51a, "Sphere51a", "Save to Sphere51a", "Load from Sphere51a",
       "*.scp|*.scp", "scp"},
      {MultiTextFormat::Wsc, "Wsc", "Save to Wsc", "Load from Wsc", "*.wsc|*.wsc", "wsc"},
      {MultiTextFormat::PlainText, "Text", "Save To Textfile", "Load from Textfile", "*.txt|*.txt",
       "txt"},
      {MultiTextFormat::UoaText, "UoaText", "Save To UOA Textfile", "Load from UOA Textfile",
       "*.txt|*.txt", "txt"},
  };
  return formats;
}

const TextFormat& formatOf(MultiTextFormat format) {
  for (const TextFormat& f : textFormats())
    if (f.format == format) return f;
  return textFormats().front();
}

}  // namespace

QString emptyMultiSaveMessage(std::int32_t slot, bool loaded) {
  if (!loaded) return QStringLiteral("The multi files are not loaded: there is nothing to save.");
  return QStringLiteral("Multi slot %1 is empty: there is nothing to save.")
      .arg(QString::fromStdString(slotLabel(slot)));
}

QString multiComponentLine(const MultiComponent& c, const TMulti& multis) {
  QString line = QStringLiteral("%1  %2, %3, %4  flags %5")
                     .arg(QString::fromStdString(slotLabel(c.id)))
                     .arg(c.x)
                     .arg(c.y)
                     .arg(c.z)
                     .arg(QString::fromStdString(hexLabel(multis.storedFlags(c))));
  if (!multis.isUop() && c.further != 0)
    line += QStringLiteral("  further ") + QString::fromStdString(hexLabel(c.further));
  QStringList numbers;
  for (const std::uint32_t n : c.clilocs) numbers << QString::number(n);
  if (!numbers.isEmpty()) line += QStringLiteral("  clilocs ") + numbers.join(QStringLiteral(", "));
  return line;
}

MultiPage::MultiPage(TMainForm& main, QWidget* parent)
    : QWidget(parent),
      m_registry(main.registry()),
      m_dialogs(main.dialogs()),
      m_list(new SlotListView(main.slotSearch(), main.dialogs(), SlotListView::Options{}, this)),
      m_scroll(new QScrollArea(this)),
      m_picture(new QLabel),
      m_components(new QListWidget(this)),
      m_layout(new QLabel(this)),
      m_convert(new QPushButton(this)),
      m_menu(new QMenu(this)) {
  setObjectName(QStringLiteral("MultiPage"));
  m_list->setNames(QStringLiteral("lbMulti"), QStringLiteral("cbMultiFilter"),
                   QStringLiteral("eMultiSearch"), QStringLiteral("btnMultiSearch"));
  // Current containers hold multis beyond 0x1FF0: the list reaches every slot the file holds.
  m_list->setRange([this](SlotFilter) {
    return SlotListView::Range{0,
                               static_cast<std::int32_t>(m_registry.multis->listedSlotCount() - 1)};
  });
  m_list->setFullQuery([this](std::int32_t slot) {
    return m_registry.multis->slotExists(slot) ||
           m_registry.multis->unreadableReason(slot).has_value();
  });
  m_list->setMinimumWidth(200);
  m_list->setPopupMenu(m_menu);
  m_menu->setObjectName(QStringLiteral("pmMulti"));
  m_scroll->setObjectName(QStringLiteral("sbMulti"));
  m_picture->setObjectName(QStringLiteral("iMulti"));
  m_scroll->setWidget(m_picture);
  m_components->setObjectName(QStringLiteral("lbMultiComponents"));
  m_layout->setObjectName(QStringLiteral("lMultiLayout"));
  m_layout->setWordWrap(true);
  m_convert->setObjectName(QStringLiteral("btnMultiConvert"));
  connect(m_convert, &QPushButton::clicked, this,
          [this] { runAction(m_dialogs, [&] { convertLayout(); }); });
  showEmpty();
  showLayout();

  for (const TextFormat& f : textFormats())
    addEntry("miMultiSave" + f.name, f.saveCaption, [this, format = f.format](std::int32_t s) {
      exportText(s, format, formatOf(format).saveCaption);
    });
  m_menu->addSeparator();
  for (const TextFormat& f : textFormats())
    addEntry("miMultiLoad" + f.name, f.loadCaption, [this, format = f.format](std::int32_t s) {
      importText(s, format, formatOf(format).loadCaption);
    });
  m_menu->addSeparator();
  addEntry(QStringLiteral("miMultiDelete"), QStringLiteral("Delete"), [this](std::int32_t s) {
    m_registry.multis->deleteSlot(s);
    refresh();
  });

  connect(m_list, &SlotListView::slotActivated, this,
          [this](std::int32_t slot) { runAction(m_dialogs, [&] { showSlot(slot); }); });
  connect(m_list, &SlotListView::selectionCleared, this, [this] { showEmpty(); });
  connect(&main, &TMainForm::multisLoaded, this, [this] {
    m_list->resetFilter();
    showLayout();
  });

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(m_list);
  auto* shown = new QVBoxLayout;
  shown->addWidget(m_scroll, 3);
  shown->addWidget(m_components, 1);
  auto* layoutRow = new QHBoxLayout;
  layoutRow->addWidget(m_layout, 1);
  layoutRow->addWidget(m_convert);
  shown->addLayout(layoutRow);
  layout->addLayout(shown, 1);
}

void MultiPage::addEntry(const QString& name, const QString& caption,
                         const std::function<void(std::int32_t)>& action) {
  QAction* entry = m_menu->addAction(caption);
  entry->setObjectName(name);
  connect(entry, &QAction::triggered, this, [this, action] {
    const std::optional<std::int32_t> slot = m_list->selectedSlot();
    if (slot) runAction(m_dialogs, [&] { action(*slot); });
  });
}

void MultiPage::showEmpty() {
  QPixmap empty(kEmptySide, kEmptySide);
  empty.fill(palette().color(QPalette::Window));
  m_picture->setPixmap(empty);
  m_picture->resize(empty.size());
  m_components->clear();
}

void MultiPage::showSlot(std::int32_t slot) {
  showEmpty();
  if (const auto why = m_registry.multis->unreadableReason(slot)) {
    m_components->addItem(QStringLiteral("Cannot be read: %1. Its entry is kept as it is.")
                              .arg(QString::fromStdString(*why)));
    return;
  }
  if (!m_registry.multis->slotExists(slot)) return;
  // The components first: they are worth reading even when the art to draw them is missing.
  for (const MultiComponent& c : m_registry.multis->components(slot))
    m_components->addItem(multiComponentLine(c, *m_registry.multis));
  const Bitmap32 picture = m_registry.multis->multiPicture(slot, m_registry.art.get());
  if (picture.empty()) return;
  m_picture->setPixmap(QPixmap::fromImage(toQImage(picture)));
  m_picture->resize(picture.width, picture.height);
}

void MultiPage::exportText(std::int32_t slot, MultiTextFormat format, const QString& caption) {
  // An empty slot writes no file: asking for a name first would end in silence.
  if (!m_registry.multis->slotExists(slot)) {
    m_dialogs.showMessage(emptyMultiSaveMessage(slot, m_registry.multis->isLoaded()));
    return;
  }
  const TextFormat& f = formatOf(format);
  const QString name = QString::fromStdString(slotLabel(slot)) + "." + f.extension;
  const auto path = m_dialogs.saveFile({caption, f.filter, f.extension, name});
  if (path) m_registry.multis->exportText(slot, path->toStdString(), format);
}

void MultiPage::importText(std::int32_t slot, MultiTextFormat format, const QString& caption) {
  const TextFormat& f = formatOf(format);
  const auto path = m_dialogs.openFile({caption, f.filter, f.extension, {}});
  if (!path) return;
  const std::int64_t dropped = m_registry.multis->importText(slot, path->toStdString(), format);
  refresh();
  if (dropped > 0)
    m_dialogs.showMessage(QString::fromStdString(droppedOnImportMessage(dropped, slot)));
}

void MultiPage::showLayout() {
  const TMulti& multis = *m_registry.multis;
  m_convert->setEnabled(multis.isLoaded());
  const bool newer = multis.layout() == MultiLayout::Newer16;
  m_convert->setText(newer ? QStringLiteral("Convert to 12-byte components")
                           : QStringLiteral("Convert to 16-byte components"));
  m_layout->setText(multis.isLoaded() ? QString::fromStdString(multis.layoutText()) : QString());
}

void MultiPage::convertLayout() {
  TMulti& multis = *m_registry.multis;
  if (!multis.isLoaded()) {
    m_dialogs.showMessage(
        QStringLiteral("The multi files are not loaded: there is nothing to convert."));
    return;
  }
  const MultiLayout to =
      multis.layout() == MultiLayout::Newer16 ? MultiLayout::Older12 : MultiLayout::Newer16;
  bool dropFurther = false;
  if (const std::int64_t further = to == MultiLayout::Older12 ? multis.furtherValueCount() : 0) {
    const auto answer = m_dialogs.ask(
        Dialogs::kCaption,
        QStringLiteral("%1 components hold a further value that 12-byte components have no place "
                       "for. Convert and drop them?")
            .arg(further),
        {QStringLiteral("Convert"), QStringLiteral("Cancel")});
    if (answer != 0) return;
    dropFurther = true;
  }
  const MultiConversion done = multis.convertLayout(to, dropFurther);
  showLayout();
  refresh();
  m_dialogs.showMessage(QString::fromStdString(done.message()) +
                        QStringLiteral(" Save the multis to write them as %1-byte components.")
                            .arg(static_cast<int>(componentSize(to))));
}

void MultiPage::refresh() {
  m_list->listView()->viewport()->update();
  if (const auto slot = m_list->selectedSlot()) runAction(m_dialogs, [&] { showSlot(*slot); });
}

}  // namespace quillotide::ui
