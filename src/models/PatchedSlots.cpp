#include "models/PatchedSlots.h"

#include "models/Animation.h"
#include "models/Art.h"
#include "models/Gump.h"
#include "models/Textures.h"
#include "models/Verdata.h"

namespace quillotide {

PatchKey patchKeyOf(PatchFamily family, std::int32_t slot) {
  switch (family) {
    case PatchFamily::Land:
      return {verdatafile::kArt, slot};
    case PatchFamily::Static:
      return {verdatafile::kArt, verdatafile::kStaticBlockBase + slot};
    case PatchFamily::Gump:
      return {verdatafile::kGumps, slot};
    case PatchFamily::Texture:
      return {verdatafile::kTextures, slot};
    case PatchFamily::Animation:
      return {verdatafile::kAnimations, slot};
  }
  return {};
}

Bitmap32 patchPictureOf(const TVerdata& verdata, PatchFamily family, std::int32_t slot) {
  switch (family) {
    case PatchFamily::Land:
      return verdata.landPicture(slot);
    case PatchFamily::Static:
      return verdata.staticPicture(slot);
    case PatchFamily::Gump:
      return verdata.gumpPicture(slot);
    case PatchFamily::Texture:
      return verdata.texturePicture(slot);
    case PatchFamily::Animation:
      return verdata.animPicture(slot);
  }
  return {};
}

PatchedSlots PatchedSlots::land(const TVerdata& verdata, const TArt& art) {
  return {PatchFamily::Land, verdata, {.art = &art}};
}
PatchedSlots PatchedSlots::statics(const TVerdata& verdata, const TArt& art) {
  return {PatchFamily::Static, verdata, {.art = &art}};
}
PatchedSlots PatchedSlots::gumps(const TVerdata& verdata, const TGump& gumps) {
  return {PatchFamily::Gump, verdata, {.gumps = &gumps}};
}
PatchedSlots PatchedSlots::textures(const TVerdata& verdata, const TTextures& textures) {
  return {PatchFamily::Texture, verdata, {.textures = &textures}};
}
PatchedSlots PatchedSlots::animations(const TVerdata& verdata, const TAnimation& animation) {
  return {PatchFamily::Animation, verdata, {.animation = &animation}};
}

bool PatchedSlots::isPatched(std::int32_t slot) const {
  const PatchKey k = key(slot);
  return m_verdata->isPatched(k.fileId, k.block);
}

bool PatchedSlots::inFile(std::int32_t slot) const {
  switch (m_family) {
    case PatchFamily::Land:
      return m_owner.art->landExists(slot);
    case PatchFamily::Static:
      return m_owner.art->staticExists(slot);
    case PatchFamily::Gump:
      return m_owner.gumps->gumpExists(slot);
    case PatchFamily::Texture:
      return m_owner.textures->textureExists(slot);
    case PatchFamily::Animation:
      return m_owner.animation->bodyExists(slot);
  }
  return false;
}

Bitmap32 PatchedSlots::picture(std::int32_t slot, std::string* problem) const {
  if (isPatched(slot)) return patchPictureOf(*m_verdata, m_family, slot);
  switch (m_family) {
    case PatchFamily::Land:
      return m_owner.art->landPicture(slot);
    case PatchFamily::Static:
      return m_owner.art->staticPicture(slot);
    case PatchFamily::Gump:
      return m_owner.gumps->gumpPicture(slot, problem);
    case PatchFamily::Texture:
      return m_owner.textures->texturePicture(slot);
    case PatchFamily::Animation:
      return m_owner.animation->firstFramePicture(slot);
  }
  return {};
}

}  // namespace quillotide
