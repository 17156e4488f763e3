#pragma once
// The "Art (M)" page: land tiles 0x0 ... 0x3FFF, drawn at the view's top left.

#include "ui/main/ArtPage.h"

namespace quillotide::ui {

class ArtLandPage : public ArtPage {
  Q_OBJECT
public:
  explicit ArtLandPage(TMainForm& main, QWidget* parent = nullptr);

protected:
  std::int64_t slotCount() const override;
  PatchedSlots patchedSlots() const override;
  std::int64_t radarEntry(std::int32_t slot) const override { return slot; }
  // Land tiles sit at the top left.
  QPoint placement(const Bitmap32&) const override { return {0, 0}; }
  void importFile(std::int32_t slot, const std::string& path) override;
  void addPatch(std::int32_t slot, const std::string& path) override;
  void deleteFromFile(std::int32_t slot) override;
  std::optional<Pixel> averageColour(std::int32_t slot) const override;
};

}  // namespace quillotide::ui
