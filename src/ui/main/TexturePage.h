#pragma once
// The "Textures" page: texture ids 0 .. 0xFFF (the ids land tiles can name), the selected texture
// centred in the view, export, import (also into verdata) and delete, and the free-slot list
// finder over the whole index. A texture patched in verdata is shown, exported and deleted from
// the patch.

#include <cstdint>

#include "models/PatchedSlots.h"
#include "ui/main/ImagePage.h"

namespace quillotide::ui {

class TexturePage : public ImageSlotPage {
  Q_OBJECT
public:
  static constexpr std::int32_t kLastListed = 0xFFF;

  TexturePage(TMainForm& main, QWidget* parent = nullptr);

  void reload();
  void loadFromBitmap(std::int32_t id);
  void loadToVerdata(std::int32_t id);
  void deleteTexture(std::int32_t id);
  // Writes the empty texture slots (0 .. TextureCount - 1) to "EmptyIDs.txt"; only when loaded.
  void findEmptyIds();

protected:
  bool slotShown(std::int32_t slot) const override;
  Bitmap32 slotPicture(std::int32_t slot) const override;

private:
  PatchedSlots patchedSlots() const;
  bool patched(std::int32_t id) const;
};

}  // namespace quillotide::ui
