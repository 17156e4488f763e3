#pragma once
// The two gump pages. "Gumps (anim)" lists the paperdoll gumps 50000 .. 61183, whose number less
// 50000 is the body they dress, and tells above the list whether that body exists; its pop-up
// menu can copy an existing animation onto the body. "Gump (nonAnim)" lists 0 .. 0xC349, or
// 0 .. 0x6FFF with "Win98/WinME" checked (old systems cannot hold longer lists), except under
// "Full Slots", which lists every full gump. A gump patched in verdata is shown, exported and
// deleted from the patch.

#include <cstdint>

#include "models/PatchedSlots.h"
#include "ui/main/ImagePage.h"

class QLabel;
class QPushButton;

namespace quillotide::ui {

class GumpPage : public ImageSlotPage {
  Q_OBJECT
public:
  enum class Kind { Anim, NonAnim };
  static constexpr std::int32_t kAnimFirst = 50000;
  static constexpr std::int32_t kAnimLast = 61183;
  static constexpr std::int32_t kNonAnimLast = 0xC349;
  static constexpr std::int32_t kWin98Last = 0x6FFF;

  GumpPage(Kind kind, TMainForm& main, QWidget* parent = nullptr);

  Kind kind() const { return m_kind; }
  // "Animation Id: ...", "Animation exists: ..." or "Animation ... does not exists."; nullptr on
  // "Gump (nonAnim)".
  QLabel* animationLabel() const { return m_animLabel; }

  // After the gumps were loaded: "All Slots" and a fresh list.
  void reload();

  // The pop-up entries, on the selected gump.
  void loadFromBitmap(std::int32_t gump);
  void loadToVerdata(std::int32_t gump);
  void deleteGump(std::int32_t gump);
  void copyAnimation(std::int32_t gump);
  // Writes the empty gump slots (0 .. GumpCount - 1) to "EmptyIDs.txt"; only with gumps loaded.
  void findEmptyIds();

protected:
  bool slotShown(std::int32_t slot) const override;
  Bitmap32 slotPicture(std::int32_t slot) const override;
  void beforeShow(std::int32_t slot) override;
  // The animation label names the old line's body, so it goes blank with the view.
  void clearShown() override;

private:
  PatchedSlots patchedSlots() const;
  bool patched(std::int32_t gump) const;

  Kind m_kind;
  QLabel* m_animLabel = nullptr;
  QPushButton* m_emptyIds = nullptr;
};

// The label above the "Gumps (anim)" list for a body: loaded tells whether the animation model
// is loaded, exists whether it holds the body.
QString animationLabelText(std::int32_t body, bool loaded, bool exists);

}  // namespace quillotide::ui
