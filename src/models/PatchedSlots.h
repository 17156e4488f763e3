#pragma once
// A verdata patch of a slot wins over the slot of the patched file: where verdata holds a patch,
// the slot shows (and exports, and deletes) the patch; elsewhere the file's own slot. This type
// answers that for one family of slots. It borrows the verdata model and the family's file model
// and owns nothing; make one where a slot is asked about, as the models may be replaced between
// uses.

#include <cstdint>
#include <string>

#include "app/Colour.h"

namespace quillotide {

class TAnimation;
class TArt;
class TGump;
class TTextures;
class TVerdata;

// The families verdata patches with pictures.
enum class PatchFamily { Land, Static, Gump, Texture, Animation };

// Where verdata keeps the patch of a slot: the patched file's id and the block within it (static
// s is block 0x4000 + s of the art file; an animation body is asked for by its body number).
struct PatchKey {
  std::int32_t fileId = 0;
  std::int32_t block = 0;
  bool operator==(const PatchKey&) const = default;
};
PatchKey patchKeyOf(PatchFamily family, std::int32_t slot);

// The patch's own picture of a slot of the family; empty when there is no patch. A damaged patch
// throws FormatError naming it.
Bitmap32 patchPictureOf(const TVerdata& verdata, PatchFamily family, std::int32_t slot);

class PatchedSlots {
public:
  static PatchedSlots land(const TVerdata& verdata, const TArt& art);
  static PatchedSlots statics(const TVerdata& verdata, const TArt& art);
  static PatchedSlots gumps(const TVerdata& verdata, const TGump& gumps);
  static PatchedSlots textures(const TVerdata& verdata, const TTextures& textures);
  static PatchedSlots animations(const TVerdata& verdata, const TAnimation& animation);

  PatchFamily family() const { return m_family; }
  PatchKey key(std::int32_t slot) const { return patchKeyOf(m_family, slot); }

  // Whether verdata holds a patch with data for the slot; false while verdata is not loaded.
  bool isPatched(std::int32_t slot) const;
  // Whether the file holds the slot (an animation: the body exists).
  bool inFile(std::int32_t slot) const;
  // Whether the slot has a picture to show: patched or in the file.
  bool isShown(std::int32_t slot) const { return isPatched(slot) || inFile(slot); }
  // The picture the slot shows: the patch when patched, else the file's (an animation's first
  // frame); empty when neither holds it. A damaged slot throws FormatError naming it; a gump the
  // file can draw only in part is drawn, and `problem` (when given) receives what was wrong.
  Bitmap32 picture(std::int32_t slot, std::string* problem = nullptr) const;

private:
  // The one model of the family that holds the file's slots.
  struct Owner {
    const TArt* art = nullptr;
    const TGump* gumps = nullptr;
    const TTextures* textures = nullptr;
    const TAnimation* animation = nullptr;
  };
  PatchedSlots(PatchFamily family, const TVerdata& verdata, Owner owner)
      : m_family(family), m_verdata(&verdata), m_owner(owner) {}

  PatchFamily m_family;
  const TVerdata* m_verdata;
  Owner m_owner;
};

}  // namespace quillotide
