#include "ui/main/ImagePage.h"

#include <QAction>
#include <QHBoxLayout>
#include <QListView>
#include <QMenu>
#include <QVBoxLayout>

#include "app/Bmp.h"
#include "registry/Registry.h"
#include "app/Text.h"
#include "ui/main/MainForm.h"
#include "ui/main/PictureView.h"
#include "ui/main/SlotListView.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

QString bitmapNameOf(std::int32_t slot) {
  return QString::fromStdString(hexLabel(static_cast<std::uint32_t>(slot)) + ".bmp");
}

ImageSlotPage::ImageSlotPage(TMainForm& main, const ListSetup& setup, QSize viewSize,
                             QWidget* parent)
    : QWidget(parent),
      m_main(main),
      m_registry(main.registry()),
      m_dialogs(main.dialogs()),
      m_list(new SlotListView(main.slotSearch(), main.dialogs(),
                              {setup.filterBox, setup.search, true}, this)),
      m_view(new PictureView(viewSize, this)),
      m_menu(new QMenu(this)) {
  m_list->setNames("lb" + setup.name, "cb" + setup.name + "Filter", "e" + setup.name + "Search",
                   "btn" + setup.name + "Search");
  m_view->setObjectName("i" + setup.name);
  m_menu->setObjectName("pm" + setup.name);
  m_list->setPopupMenu(m_menu);
  connect(m_list, &SlotListView::slotActivated, this,
          [this](std::int32_t slot) { showSlot(slot); });
  connect(m_list, &SlotListView::selectionCleared, this, [this] { clearShown(); });

  auto* row = new QHBoxLayout(this);
  m_listColumn = new QVBoxLayout;
  m_listColumn->addWidget(m_list, 1);
  m_viewColumn = new QVBoxLayout;
  m_viewColumn->addWidget(m_view, 0, Qt::AlignLeft | Qt::AlignTop);
  row->addLayout(m_listColumn);
  row->addLayout(m_viewColumn, 1);
}

QPoint ImageSlotPage::placement(const Bitmap32& picture) const {
  return {centredOffset(m_view->width(), picture.width),
          centredOffset(m_view->height(), picture.height)};
}

void ImageSlotPage::showSlot(std::int32_t slot) {
  beforeShow(slot);
  m_view->clear();
  runAction(m_dialogs, [&] {
    if (!slotShown(slot)) return;
    const Bitmap32 picture = slotPicture(slot);
    const QPoint at = placement(picture);
    m_view->draw(picture, at.x(), at.y());
  });
}

void ImageSlotPage::clearShown() { m_view->clear(); }

void ImageSlotPage::refresh() {
  m_list->listView()->viewport()->update();
  if (const auto slot = m_list->selectedSlot()) showSlot(*slot);
}

QAction* ImageSlotPage::addMenuEntry(const QString& name, const QString& caption,
                                     std::function<void(std::int32_t)> action) {
  QAction* entry = m_menu->addAction(caption);
  entry->setObjectName(name);
  connect(entry, &QAction::triggered, this, [this, action = std::move(action)] {
    const std::optional<std::int32_t> slot = m_list->selectedSlot();
    if (!slot) return;
    runAction(m_dialogs, [&] { action(*slot); });
  });
  return entry;
}

void ImageSlotPage::saveToBitmap() {
  const std::optional<std::int32_t> slot = m_list->selectedSlot();
  if (!slot) return;
  runAction(m_dialogs, [&] {
    const auto path =
        m_dialogs.saveFile({QStringLiteral("Save to Bitmap"), QStringLiteral("*.bmp|*.bmp"),
                            QStringLiteral("bmp"), bitmapNameOf(*slot)});
    if (!path || !slotShown(*slot)) return;
    writeBmpFile(path->toStdString(), slotPicture(*slot));
  });
}

void ImageSlotPage::loadBitmap(const std::function<void(const std::string&)>& load) {
  const auto path = m_dialogs.openFile({QStringLiteral("Load from Bitmap"),
                                        QStringLiteral("*.bmp|*.bmp"),
                                        QStringLiteral("bmp"),
                                        {}});
  if (!path) return;
  // The view follows the files even when the import fails.
  try {
    load(path->toStdString());
  } catch (...) {
    refresh();
    throw;
  }
  refresh();
}

void ImageSlotPage::writeEmptyIds(std::int64_t count,
                                  const std::function<bool(std::int64_t)>& exists) {
  const auto path = m_dialogs.saveFile({QStringLiteral("Save..."), QStringLiteral("*.txt|*.txt"),
                                        QStringLiteral("txt"), QStringLiteral("EmptyIDs.txt")});
  if (!path) return;
  std::vector<std::string> lines;
  for (std::int64_t s = 0; s < count; ++s)
    if (!exists(s)) lines.push_back(hexLabel(static_cast<std::uint32_t>(s)));
  // The file is replaced whole, so no line of an older list survives.
  writeTextLines(path->toStdString(), lines);
}

}  // namespace quillotide::ui
