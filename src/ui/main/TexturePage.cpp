#include "ui/main/TexturePage.h"

#include <QPushButton>
#include <QVBoxLayout>

#include "registry/Registry.h"
#include "ui/main/MainForm.h"
#include "ui/main/SlotListView.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

TexturePage::TexturePage(TMainForm& main, QWidget* parent)
    : ImageSlotPage(main, {QStringLiteral("Textures"), true, true}, QSize(360, 360), parent) {
  Registry& r = m_registry;
  m_list->setRange([](SlotFilter) { return SlotListView::Range{0, kLastListed}; });
  m_list->setFullQuery([&r](std::int32_t i) { return r.textures->textureExists(i); });
  m_list->setPatchQuery([this](std::int32_t i) { return patched(i); });

  addMenuEntry(QStringLiteral("miTexturesSaveBitmap"), QStringLiteral("Save to Bitmap"),
               [this](std::int32_t) { saveToBitmap(); });
  addMenuEntry(QStringLiteral("miTexturesLoadBitmap"), QStringLiteral("Load from Bitmap"),
               [this](std::int32_t i) { loadFromBitmap(i); });
  addMenuEntry(QStringLiteral("miTexturesLoadVerdata"),
               QStringLiteral("Load from Bitmap to Verdata"),
               [this](std::int32_t i) { loadToVerdata(i); });
  addMenuEntry(QStringLiteral("miTexturesDelete"), QStringLiteral("Delete"),
               [this](std::int32_t i) { deleteTexture(i); });

  auto* emptyIds = new QPushButton(QStringLiteral("Empty IDs to File"), this);
  emptyIds->setObjectName(QStringLiteral("btnTexturesEmptyIds"));
  connect(emptyIds, &QPushButton::clicked, this,
          [this] { runAction(m_dialogs, [this] { findEmptyIds(); }); });
  m_viewColumn->addWidget(emptyIds, 0, Qt::AlignLeft);
  m_viewColumn->addStretch(1);

  connect(&main, &TMainForm::texturesLoaded, this, &TexturePage::reload);
  connect(&main, &TMainForm::verdataLoaded, this, &TexturePage::refresh);
}

void TexturePage::reload() { m_list->resetFilter(); }

PatchedSlots TexturePage::patchedSlots() const {
  return PatchedSlots::textures(*m_registry.verdata, *m_registry.textures);
}

bool TexturePage::patched(std::int32_t id) const { return patchedSlots().isPatched(id); }

bool TexturePage::slotShown(std::int32_t slot) const { return patchedSlots().isShown(slot); }

Bitmap32 TexturePage::slotPicture(std::int32_t slot) const { return patchedSlots().picture(slot); }

void TexturePage::loadFromBitmap(std::int32_t id) {
  loadBitmap([this, id](const std::string& path) {
    // Unusual sizes are written all the same; the warning only tells that most clients fail.
    if (const auto warning = m_registry.textures->importTexture(id, path))
      m_dialogs.message(Dialogs::kCaption, QString::fromStdString(*warning), MessageIcon::Warning);
  });
}

void TexturePage::loadToVerdata(std::int32_t id) {
  loadBitmap([this, id](const std::string& path) { m_registry.verdata->addTextureFile(id, path); });
}

void TexturePage::deleteTexture(std::int32_t id) {
  if (patched(id))
    m_registry.verdata->removePatch(patchedSlots().key(id).fileId, patchedSlots().key(id).block);
  else
    m_registry.textures->deleteTexture(id);
  refresh();
}

void TexturePage::findEmptyIds() {
  const TTextures& textures = *m_registry.textures;
  if (!textures.isLoaded()) return;
  writeEmptyIds(textures.textureCount(),
                [&textures](std::int64_t i) { return textures.textureExists(i); });
}

}  // namespace quillotide::ui
