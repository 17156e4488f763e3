#include "ui/main/ArtLandPage.h"

#include "registry/Registry.h"

namespace quillotide::ui {

ArtLandPage::ArtLandPage(TMainForm& main, QWidget* parent)
    : ArtPage(main, QStringLiteral("ArtM"), parent) {
  build();
}

// The land section has a fixed size; its labels do not depend on the file.
std::int64_t ArtLandPage::slotCount() const { return kLandTileCount; }

PatchedSlots ArtLandPage::patchedSlots() const {
  return PatchedSlots::land(*m_registry.verdata, *m_registry.art);
}

void ArtLandPage::importFile(std::int32_t slot, const std::string& path) {
  m_registry.art->importLand(slot, path);
}

void ArtLandPage::addPatch(std::int32_t slot, const std::string& path) {
  m_registry.verdata->addLandFile(slot, path);
}

void ArtLandPage::deleteFromFile(std::int32_t slot) { m_registry.art->deleteLand(slot); }

std::optional<Pixel> ArtLandPage::averageColour(std::int32_t slot) const {
  return m_registry.art->landAverageColour(slot);
}

}  // namespace quillotide::ui
