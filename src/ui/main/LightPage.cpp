#include "ui/main/LightPage.h"

#include <QVBoxLayout>

#include "registry/Registry.h"
#include "app/SlotList.h"
#include "ui/main/MainForm.h"
#include "ui/main/SlotListView.h"

namespace quillotide::ui {

LightPage::LightPage(TMainForm& main, QWidget* parent)
    : ImageSlotPage(main, {QStringLiteral("Light"), false, false}, QSize(630, 450), parent) {
  Registry& r = m_registry;
  m_list->setLabeler(&decimalSlotLabel);
  m_list->setRange([&r](SlotFilter) {
    return SlotListView::Range{0, static_cast<std::int32_t>(r.light->lightCount() - 1)};
  });
  m_list->setFullQuery([&r](std::int32_t i) { return r.light->lightExists(i); });

  addMenuEntry(QStringLiteral("miLightSaveBitmap"), QStringLiteral("Save to Bitmap"),
               [this](std::int32_t) { saveToBitmap(); });
  addMenuEntry(QStringLiteral("miLightLoadBitmap"), QStringLiteral("Load from Bitmap"),
               [this](std::int32_t i) { loadFromBitmap(i); });
  m_viewColumn->addStretch(1);

  connect(&main, &TMainForm::lightLoaded, this, &LightPage::reload);
}

void LightPage::reload() { m_list->resetFilter(); }

bool LightPage::slotShown(std::int32_t slot) const { return m_registry.light->lightExists(slot); }

Bitmap32 LightPage::slotPicture(std::int32_t slot) const {
  return m_registry.light->lightPicture(slot);
}

void LightPage::loadFromBitmap(std::int32_t slot) {
  loadBitmap([this, slot](const std::string& path) { m_registry.light->importLight(slot, path); });
}

}  // namespace quillotide::ui
