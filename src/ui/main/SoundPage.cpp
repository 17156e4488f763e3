#include "ui/main/SoundPage.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QVBoxLayout>

#include "app/FileIO.h"
#include "app/SlotList.h"
#include "models/Sound.h"
#include "registry/Registry.h"
#include "ui/main/MainForm.h"
#include "ui/main/SlotListView.h"
#include "ui/platform/Dialogs.h"
#include "ui/platform/WavePlayer.h"

namespace quillotide::ui {

namespace {

const QString kWaveFilter = QStringLiteral("*.wav|*.wav");

QString slotText(std::int32_t slot) { return QString::fromStdString(slotLabel(slot)); }

}  // namespace

QString emptySoundMessage(std::int32_t slot) {
  return QStringLiteral("Sound slot %1 is empty: there is nothing to play.").arg(slotText(slot));
}

QString emptySoundSaveMessage(std::int32_t slot, bool loaded) {
  if (!loaded) return QStringLiteral("The sound files are not loaded: there is nothing to save.");
  return QStringLiteral("Sound slot %1 is empty: there is nothing to save.").arg(slotText(slot));
}

SoundPage::SoundPage(TMainForm& main, QWidget* parent)
    : QWidget(parent),
      m_registry(main.registry()),
      m_dialogs(main.dialogs()),
      m_list(new SlotListView(main.slotSearch(), main.dialogs(), SlotListView::Options{}, this)),
      m_name(new QLabel(this)),
      m_menu(new QMenu(this)) {
  setObjectName(QStringLiteral("SoundPage"));
  m_list->setNames(QStringLiteral("lbSound"), QStringLiteral("cbSoundFilter"),
                   QStringLiteral("eSoundSearch"), QStringLiteral("btnSoundSearch"));
  m_list->setRange([](SlotFilter) {
    return SlotListView::Range{0, static_cast<std::int32_t>(soundlayout::kSlotCount - 1)};
  });
  m_list->setFullQuery([this](std::int32_t slot) { return m_registry.sound->slotExists(slot); });
  // A slot whose container entry cannot be read says so rather than passing for an empty one.
  m_list->setLabeler([this](std::int32_t slot) {
    const bool unreadable = m_registry.sound->files().unreadable(slot).has_value();
    return unreadable ? slotLabel(slot) + " (unreadable)" : slotLabel(slot);
  });
  m_list->setMinimumWidth(200);
  m_list->setPopupMenu(m_menu);
  m_menu->setObjectName(QStringLiteral("pmSound"));
  m_name->setObjectName(QStringLiteral("lSoundName"));
  m_name->setMinimumWidth(160);

  addEntry(QStringLiteral("miSoundPlay"), QStringLiteral("Play Sound"), &SoundPage::play);
  addEntry(QStringLiteral("miSoundSave"), QStringLiteral("Save to File"), &SoundPage::saveToFile);
  addEntry(QStringLiteral("miSoundLoad"), QStringLiteral("Load from File"),
           &SoundPage::loadFromFile);
  addEntry(QStringLiteral("miSoundDelete"), QStringLiteral("Delete"), &SoundPage::deleteSlot);

  connect(m_list, &SlotListView::slotActivated, this,
          [this](std::int32_t slot) { runAction(m_dialogs, [&] { showSlot(slot); }); });
  connect(m_list, &SlotListView::selectionCleared, this, [this] { m_name->clear(); });
  connect(&main, &TMainForm::soundLoaded, this, [this] {
    // An empty path field leaves the model unloaded and the list as it was.
    if (m_registry.sound->isLoaded()) m_list->resetFilter();
  });

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(m_list);
  auto* right = new QVBoxLayout;
  right->addWidget(m_name);
  right->addStretch(1);
  layout->addLayout(right, 1);
}

SoundPage::~SoundPage() = default;

void SoundPage::addEntry(const QString& name, const QString& caption,
                         void (SoundPage::*handler)(std::int32_t)) {
  QAction* entry = m_menu->addAction(caption);
  entry->setObjectName(name);
  connect(entry, &QAction::triggered, this, [this, handler] {
    const std::optional<std::int32_t> slot = m_list->selectedSlot();
    if (slot) runAction(m_dialogs, [&] { (this->*handler)(*slot); });
  });
}

QString SoundPage::playFilePath() const {
  const QString config = QString::fromStdString(m_registry.config->path());
  const QString dir =
      config.isEmpty() ? QCoreApplication::applicationDirPath() : QFileInfo(config).absolutePath();
  return dir + QStringLiteral("/play.wav");
}

void SoundPage::showSlot(std::int32_t slot) {
  m_name->clear();
  m_name->setText(QString::fromStdString(m_registry.sound->soundName(slot)));
}

void SoundPage::play(std::int32_t slot) {
  // An empty slot writes no file; playing what an older export left in "play.wav" would sound
  // like the wrong slot.
  if (!m_registry.sound->exportWave(slot, playFilePath().toStdString())) {
    m_dialogs.showMessage(emptySoundMessage(slot));
    return;
  }
  if (!m_player) {
    if (!m_ownPlayer) m_ownPlayer = std::make_unique<QtWavePlayer>();
    m_player = m_ownPlayer.get();
  }
  m_player->play(playFilePath());
}

void SoundPage::saveToFile(std::int32_t slot) {
  // An empty slot writes no file: asking for a name first would end in silence.
  if (!m_registry.sound->slotExists(slot)) {
    m_dialogs.showMessage(emptySoundSaveMessage(slot, m_registry.sound->isLoaded()));
    return;
  }
  const auto path = m_dialogs.saveFile({QStringLiteral("Save to File"), kWaveFilter,
                                        QStringLiteral("wav"), slotText(slot) + ".wav"});
  if (path) m_registry.sound->exportWave(slot, path->toStdString());
}

void SoundPage::loadFromFile(std::int32_t slot) {
  const auto path = m_dialogs.openFile(
      {QStringLiteral("Load from File"), kWaveFilter, QStringLiteral("wav"), {}});
  if (!path) return;
  m_registry.sound->importWave(slot, path->toStdString());
  refresh();
}

void SoundPage::deleteSlot(std::int32_t slot) {
  m_registry.sound->deleteSlot(slot);
  refresh();
}

void SoundPage::refresh() {
  m_list->listView()->viewport()->update();
  if (const auto slot = m_list->selectedSlot()) showSlot(*slot);
}

}  // namespace quillotide::ui
