#include "ui/main/TexturePage.h"

#include <QPushButton>
#include <QVBoxLayout>

#include "app/Registry.h"
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

bool TexturePage::patched(std::int32_t id) const {
  return m_registry.verdata->isPatched(verdatafile::kTextures, id);
}

bool TexturePage::slotShown(std::int32_t slot) const {
  return m_registry.textures->textureExists(slot) || patched(slot);
}

Bitmap32 TexturePage::slotPicture(std::int32_t slot) const {
  if (patched(slot)) return m_registry.verdata->texturePicture(slot);
  return m_registry.textures->texturePicture(slot);
}

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
    m_registry.verdata->removePatch(verdatafile::kTextures, id);
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
