#pragma once
// The "Light" page: every slot of the light index, labelled in decimal, the selected light mask
// drawn at the view's top-left corner (630 x 450, the largest masks fill it), and export and
// import. Light has no verdata patches and no delete.

#include <cstdint>

#include "ui/main/ImagePage.h"

namespace quillotide::ui {

class LightPage : public ImageSlotPage {
  Q_OBJECT
public:
  LightPage(TMainForm& main, QWidget* parent = nullptr);

  void reload();
  void loadFromBitmap(std::int32_t slot);

protected:
  bool slotShown(std::int32_t slot) const override;
  Bitmap32 slotPicture(std::int32_t slot) const override;
  QPoint placement(const Bitmap32&) const override { return {0, 0}; }
};

}  // namespace quillotide::ui
