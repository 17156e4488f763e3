#pragma once
// What the two art pages share: the slot list with its verdata colouring, the 360 x 360 view, the
// pop-up menu's export, import and delete entries, and the radar colour controls. "Art (M)" shows
// land tiles (ArtLandPage), "Art (S)" statics (ArtStaticPage). Wherever verdata holds a patch for
// a slot (file 4, block t or 0x4000 + s), the page shows, exports and deletes the patch instead of
// the art file's slot.

#include <cstdint>
#include <functional>
#include <optional>

#include "app/Colour.h"
#include "models/PatchedSlots.h"
#include "ui/main/ImagePage.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QVBoxLayout;

namespace quillotide::ui {

class TgaugeForm;

class ArtPage : public ImageSlotPage {
  Q_OBJECT
public:
  static constexpr int kViewSize = 360;

  QGroupBox* radarGroup() const { return m_radarGroup; }

protected:
  // prefix names the controls ("ArtM" gives lbArtM, iArtM, eArtMRed, ...).
  ArtPage(TMainForm& main, const QString& prefix, QWidget* parent);
  // Builds the controls; the subclass adds its own menu entries and tools afterwards.
  void build();

  // What tells the two kinds apart.
  virtual std::int64_t slotCount() const = 0;  // slots 0 ... count - 1 are listed
  // The page's slots, the patch before the file's.
  virtual PatchedSlots patchedSlots() const = 0;
  virtual std::int64_t radarEntry(std::int32_t slot) const = 0;
  virtual void importFile(std::int32_t slot, const std::string& path) = 0;
  virtual void addPatch(std::int32_t slot, const std::string& path) = 0;
  virtual void deleteFromFile(std::int32_t slot) = 0;
  virtual std::optional<Pixel> averageColour(std::int32_t slot) const = 0;

  // Full in the file or patched; the picture is the patch when there is one.
  bool slotShown(std::int32_t slot) const override;
  Bitmap32 slotPicture(std::int32_t slot) const override;
  // A shown slot also shows its radar colour.
  void beforeShow(std::int32_t slot) override;
  // The radar colour controls go blank with the view.
  void clearShown() override;

  bool isPatched(std::int32_t slot) const;
  std::optional<std::int32_t> selectedSlot() const;
  // Runs an action; an error ends it with a message box.
  bool act(const std::function<void()>& action);
  // The column right of the view where the subclass adds its tools.
  QVBoxLayout* toolColumn() const { return m_tools; }

  TgaugeForm& m_gauge;
  QString m_prefix;

private:
  void onArtLoaded();
  void onRadarcolLoaded();
  void showRadar(std::int32_t slot);
  void storeRadarFields();
  void average();
  void deleteSlot(std::int32_t slot);

  QVBoxLayout* m_tools = nullptr;
  QGroupBox* m_radarGroup = nullptr;
  QLabel* m_swatch = nullptr;
  QLineEdit* m_red = nullptr;
  QLineEdit* m_green = nullptr;
  QLineEdit* m_blue = nullptr;
  QLineEdit* m_from = nullptr;
  QLineEdit* m_to = nullptr;
};

// The message of a typed slot id or range the file does not hold.
inline const QString kBadIdsMessage = QStringLiteral("Bad IDs.");

}  // namespace quillotide::ui
