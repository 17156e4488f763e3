#include "ui/main/GumpPage.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "registry/Registry.h"
#include "app/Text.h"
#include "ui/main/MainForm.h"
#include "ui/main/SettingsPage.h"
#include "ui/main/SlotListView.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

QString animationLabelText(std::int32_t body, bool loaded, bool exists) {
  const QString id = QString::fromStdString(hexLabel(static_cast<std::uint32_t>(body)));
  if (!loaded) return QStringLiteral("Animation Id: ") + id;
  if (exists) return QStringLiteral("Animation exists: ") + id;
  return QStringLiteral("Animation ") + id + QStringLiteral(" does not exists.");
}

GumpPage::GumpPage(Kind kind, TMainForm& main, QWidget* parent)
    : ImageSlotPage(main, {kind == Kind::Anim ? "GumpsAnim" : "GumpNonAnim", true, true},
                    QSize(360, 360), parent),
      m_kind(kind) {
  const QString stem = kind == Kind::Anim ? "GumpsAnim" : "GumpNonAnim";
  Registry& r = m_registry;
  m_list->setRange([this, &r](SlotFilter filter) -> SlotListView::Range {
    if (m_kind == Kind::Anim) return {kAnimFirst, kAnimLast};
    if (filter != SlotFilter::Full && r.config->getBool("Win98")) return {0, kWin98Last};
    return {0, kNonAnimLast};
  });
  m_list->setFullQuery([&r](std::int32_t g) { return r.gumps->gumpExists(g); });
  // A slot whose container entry cannot be read says so rather than passing for an empty one.
  m_list->setLabeler([&r](std::int32_t g) {
    return r.gumps->gumpUnreadable(g) ? slotLabel(g) + " (unreadable)" : slotLabel(g);
  });
  m_list->setPatchQuery([this](std::int32_t g) { return patched(g); });

  if (kind == Kind::Anim) {
    m_animLabel = new QLabel(this);
    m_animLabel->setObjectName(QStringLiteral("lGumpsAnimId"));
    m_listColumn->insertWidget(0, m_animLabel);
  }

  addMenuEntry("mi" + stem + "SaveBitmap", QStringLiteral("Save to Bitmap"),
               [this](std::int32_t) { saveToBitmap(); });
  addMenuEntry("mi" + stem + "LoadBitmap", QStringLiteral("Load from Bitmap"),
               [this](std::int32_t g) { loadFromBitmap(g); });
  addMenuEntry("mi" + stem + "LoadVerdata", QStringLiteral("Load from Bitmap to Verdata"),
               [this](std::int32_t g) { loadToVerdata(g); });
  addMenuEntry("mi" + stem + "Delete", QStringLiteral("Delete"),
               [this](std::int32_t g) { deleteGump(g); });
  if (kind == Kind::Anim) {
    addMenuEntry(QStringLiteral("miGumpsAnimCopyAnimation"),
                 QStringLiteral("Copy existing Animation"),
                 [this](std::int32_t g) { copyAnimation(g); });
    m_emptyIds = new QPushButton(QStringLiteral("Empty IDs to File"), this);
    m_emptyIds->setObjectName(QStringLiteral("btnGumpsAnimEmptyIds"));
    connect(m_emptyIds, &QPushButton::clicked, this,
            [this] { runAction(m_dialogs, [this] { findEmptyIds(); }); });
    m_viewColumn->addWidget(m_emptyIds, 0, Qt::AlignLeft);
  }
  m_viewColumn->addStretch(1);

  connect(&main, &TMainForm::gumpsLoaded, this, &GumpPage::reload);
  connect(&main, &TMainForm::verdataLoaded, this, &GumpPage::refresh);
  if (kind == Kind::NonAnim) {
    // The list's range follows the check box at once, not only at the next load.
    connect(&main, &TMainForm::win98Changed, this, [this] {
      if (m_list->filterBox()->count() > 0) m_list->rebuild();
    });
  }
  // A body added or removed on an animation page changes the label of the selected gump.
  connect(&main, &TMainForm::animationLoaded, this, [this](int) {
    if (const auto g = m_list->selectedSlot()) beforeShow(*g);
  });
}

void GumpPage::reload() { m_list->resetFilter(); }

PatchedSlots GumpPage::patchedSlots() const {
  return PatchedSlots::gumps(*m_registry.verdata, *m_registry.gumps);
}

bool GumpPage::patched(std::int32_t gump) const { return patchedSlots().isPatched(gump); }

bool GumpPage::slotShown(std::int32_t slot) const {
  if (patchedSlots().isShown(slot)) return true;
  // A slot whose container entry cannot be read has no picture to show, and says why.
  if (const auto why = m_registry.gumps->gumpUnreadable(slot))
    m_dialogs.showMessage(QString::fromStdString(*why));
  return false;
}

Bitmap32 GumpPage::slotPicture(std::int32_t slot) const {
  std::string problem;
  Bitmap32 picture = patchedSlots().picture(slot, &problem);
  if (!problem.empty()) m_dialogs.showMessage(QString::fromStdString(problem));
  return picture;
}

void GumpPage::beforeShow(std::int32_t slot) {
  if (!m_animLabel) return;
  const std::int32_t body = slot - kAnimFirst;
  const TAnimation& animation = *m_registry.animation;
  m_animLabel->setText(animationLabelText(body, animation.isLoaded(), animation.bodyExists(body)));
}

void GumpPage::clearShown() {
  ImageSlotPage::clearShown();
  if (m_animLabel) m_animLabel->clear();
}

void GumpPage::loadFromBitmap(std::int32_t gump) {
  loadBitmap([this, gump](const std::string& path) { m_registry.gumps->importGump(gump, path); });
}

void GumpPage::loadToVerdata(std::int32_t gump) {
  loadBitmap(
      [this, gump](const std::string& path) { m_registry.verdata->addGumpFile(gump, path); });
}

void GumpPage::deleteGump(std::int32_t gump) {
  // A patch hides the file's slot, so it goes first; the next delete reaches the file.
  if (patched(gump))
    m_registry.verdata->removePatch(patchedSlots().key(gump).fileId, patchedSlots().key(gump).block);
  else
    m_registry.gumps->deleteGump(gump);
  refresh();
}

void GumpPage::copyAnimation(std::int32_t gump) {
  const auto answer = m_dialogs.inputBox(QStringLiteral("Source ID"),
                                         QStringLiteral("Gib die ID der vorhandenen Animation an."),
                                         QStringLiteral("0x0"));
  if (!answer) return;
  const std::int32_t source = parseInt(answer->toStdString());
  QString indexPath = QString::fromStdString(m_registry.config->getString("AnimIdx"));
  if (SettingsPage* settings = m_main.settingsPage())
    if (QLineEdit* field = settings->pathField(QStringLiteral("AnimIdx")))
      indexPath = field->text();
  TAnimation& animation = *m_registry.animation;
  if (indexPath.isEmpty() && !animation.isLoaded()) return;
  animation.copyBody(source, gump - kAnimFirst, indexPath.toStdString());
  beforeShow(gump);
}

void GumpPage::findEmptyIds() {
  const TGump& gumps = *m_registry.gumps;
  if (!gumps.isLoaded()) return;
  writeEmptyIds(gumps.gumpCount(), [&gumps](std::int64_t g) { return gumps.gumpExists(g); });
}

}  // namespace quillotide::ui
