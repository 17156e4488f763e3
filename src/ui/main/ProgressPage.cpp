#include "ui/main/ProgressPage.h"

#include "ui/main/HeldFiles.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/FileIO.h"
#include "app/SlotList.h"
#include "registry/Registry.h"
#include "ui/main/FileGroup.h"
#include "ui/main/MainForm.h"
#include "ui/main/SettingsPage.h"
#include "ui/main/SlotListView.h"
#include "ui/platform/Dialogs.h"
#include "ui/platform/ImageBridge.h"

namespace quillotide::ui {

namespace {

const QString kPngFilter = QStringLiteral("*.png|*.png");

}  // namespace

const QString kProgressNotLoadedMessage = QStringLiteral("Load the progress archive first.");

QString absentProgressEntryMessage(std::int32_t kind, std::int32_t id) {
  const QString kindName =
      kind == progresslayout::kGumpKind ? QStringLiteral("Gumps") : QStringLiteral("Art (S)");
  return QStringLiteral("%1 entry %2 is not in the progress archive: there is nothing to save.")
      .arg(kindName, QString::fromStdString(slotLabel(id)));
}

ProgressPage::ProgressPage(TMainForm& main, QWidget* parent)
    : QWidget(parent),
      m_main(main),
      m_registry(main.registry()),
      m_dialogs(main.dialogs()),
      m_files(main.settingsPage()->createGroupBox(QStringLiteral("Progress"), this)),
      m_kind(new QComboBox(this)),
      m_alpha(new QCheckBox(QStringLiteral("Alpha"), this)),
      m_create(new QPushButton(QStringLiteral("Create"), this)),
      m_list(new SlotListView(main.slotSearch(), main.dialogs(), {false, true, true}, this)),
      m_picture(new QLabel),
      m_menu(new QMenu(this)) {
  setObjectName(QStringLiteral("ProgressPage"));
  m_kind->setObjectName(QStringLiteral("cbProgressKind"));
  m_kind->addItem(QStringLiteral("Art (S)"));
  m_kind->addItem(QStringLiteral("Gumps"));
  m_alpha->setObjectName(QStringLiteral("cbProgressAlpha"));
  m_create->setObjectName(QStringLiteral("btnProgressCreate"));
  m_menu->setObjectName(QStringLiteral("pmProgress"));
  m_picture->setObjectName(QStringLiteral("iProgress"));

  m_list->setNames(QStringLiteral("lbProgress"), {}, QStringLiteral("eProgressSearch"),
                   QStringLiteral("btnProgressSearch"));
  m_list->setRange([this](SlotFilter) {
    const std::int32_t count =
        kind() == progresslayout::kArtKind ? progresslayout::kArtIds : progresslayout::kGumpIds;
    return SlotListView::Range{0, count - 1};
  });
  m_list->setFullQuery(
      [this](std::int32_t id) { return m_registry.progress->entryExists(kind(), id); });
  m_list->setMinimumWidth(200);
  m_list->setPopupMenu(m_menu);
  m_list->rebuild();

  // Each entry says why it cannot act before any dialog opens: an unloaded archive takes no
  // picture, and an absent entry has none to write.
  addEntry(QStringLiteral("miProgressLoad"), QStringLiteral("Load from File"),
           [this](std::int32_t id) {
             if (!requireLoaded()) return;
             const auto path = m_dialogs.openFile(
                 {QStringLiteral("Load from File"), kPngFilter, QStringLiteral("png"), {}});
             if (path) m_registry.progress->importPng(kind(), id, path->toStdString());
           });
  addEntry(QStringLiteral("miProgressSave"), QStringLiteral("Save to File"),
           [this](std::int32_t id) {
             if (!requireLoaded()) return;
             if (!m_registry.progress->entryExists(kind(), id)) {
               m_dialogs.showMessage(absentProgressEntryMessage(kind(), id));
               return;
             }
             const QString name = QString::fromStdString(slotLabel(id)) + ".png";
             const auto path = m_dialogs.saveFile(
                 {QStringLiteral("Save to File"), kPngFilter, QStringLiteral("png"), name});
             if (path) m_registry.progress->exportPng(kind(), id, path->toStdString());
           });
  addEntry(QStringLiteral("miProgressDelete"), QStringLiteral("Delete"), [this](std::int32_t id) {
    if (requireLoaded()) m_registry.progress->deleteEntry(kind(), id);
  });

  connect(m_kind, &QComboBox::currentIndexChanged, this, [this] { m_list->rebuild(); });
  connect(m_alpha, &QCheckBox::toggled, this, [this] { showSelected(); });
  connect(m_create, &QPushButton::clicked, this,
          [this] { runAction(m_dialogs, [&] { create(); }); });
  connect(m_list, &SlotListView::slotActivated, this, [this] { showSelected(); });
  connect(m_list, &SlotListView::selectionCleared, this, [this] { showSelected(); });
  connect(main.settingsPage(), &SettingsPage::progressLoaded, this, [this] { m_list->rebuild(); });

  auto* scroll = new QScrollArea(this);
  scroll->setObjectName(QStringLiteral("sbProgress"));
  scroll->setWidget(m_picture);
  auto* controls = new QHBoxLayout;
  controls->addWidget(new QLabel(QStringLiteral("Kind:"), this));
  controls->addWidget(m_kind);
  controls->addWidget(m_alpha);
  controls->addWidget(m_create);
  controls->addStretch(1);
  auto* listColumn = new QVBoxLayout;
  listColumn->addLayout(controls);
  listColumn->addWidget(m_list, 1);
  auto* body = new QHBoxLayout;
  body->addLayout(listColumn);
  body->addWidget(scroll, 1);
  auto* layout = new QVBoxLayout(this);
  if (m_files) layout->addWidget(m_files);
  layout->addLayout(body, 1);
  showSelected();
}

bool ProgressPage::requireLoaded() {
  if (m_registry.progress->isLoaded()) return true;
  m_dialogs.showMessage(kProgressNotLoadedMessage);
  return false;
}

std::int32_t ProgressPage::kind() const {
  return m_kind->currentIndex() == 1 ? progresslayout::kGumpKind : progresslayout::kArtKind;
}

void ProgressPage::addEntry(const QString& name, const QString& caption,
                            const std::function<void(std::int32_t)>& action) {
  QAction* entry = m_menu->addAction(caption);
  entry->setObjectName(name);
  connect(entry, &QAction::triggered, this, [this, action] {
    const std::optional<std::int32_t> id = m_list->selectedSlot();
    if (!id) return;
    runAction(m_dialogs, [&] { action(*id); });
    m_list->listView()->viewport()->update();
    showSelected();
  });
}

void ProgressPage::showSelected() {
  QPixmap area(kEmptySide, kEmptySide);
  area.fill(palette().color(QPalette::Button));
  const std::optional<std::int32_t> id = m_list->selectedSlot();
  if (id) {
    runAction(m_dialogs, [&] {
      const Bitmap32 picture = m_registry.progress->entryPicture(kind(), *id, m_alpha->isChecked());
      if (!picture.empty()) area = QPixmap::fromImage(toQImage(picture));
    });
  }
  m_picture->setPixmap(area);
  m_picture->resize(area.size());
}

void ProgressPage::create() {
  const auto folder = m_dialogs.chooseFolder(QStringLiteral("Create"));
  if (!folder) return;
  const QString idx = QDir(*folder).filePath(QStringLiteral("Progress.idx"));
  const QString mul = QDir(*folder).filePath(QStringLiteral("Progress.mul"));
  // An archive already there would be emptied for good: ask first.
  if (fileExists(idx.toStdString()) || fileExists(mul.toStdString())) {
    const auto answer = m_dialogs.ask(
        Dialogs::kCaption,
        QStringLiteral("%1 already holds a progress archive. Empty Progress.idx and Progress.mul?")
            .arg(QDir::toNativeSeparators(*folder)),
        {QStringLiteral("Yes"), QStringLiteral("No")});
    if (answer != 0) return;
  }
  // An archive the progress model holds is let go and read again, empty.
  if (!HeldFiles(m_main).run({idx.toStdString(), mul.toStdString()}, [&] {
        writeFileAtomic(idx.toStdString(), {});
        writeFileAtomic(mul.toStdString(), {});
      }))
    return;
  // The fields name the new files; the stored paths stay until the user browses.
  if (m_files) {
    m_files->field(0)->setText(idx);
    m_files->field(1)->setText(mul);
  }
}

}  // namespace quillotide::ui
