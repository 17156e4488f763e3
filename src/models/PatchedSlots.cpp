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
  PatchedSlots slots(PatchFamily::Land, verdata);
  slots.m_art = &art;
  return slots;
}

PatchedSlots PatchedSlots::statics(const TVerdata& verdata, const TArt& art) {
  PatchedSlots slots(PatchFamily::Static, verdata);
  slots.m_art = &art;
  return slots;
}

PatchedSlots PatchedSlots::gumps(const TVerdata& verdata, const TGump& gumps) {
  PatchedSlots slots(PatchFamily::Gump, verdata);
  slots.m_gumps = &gumps;
  return slots;
}

PatchedSlots PatchedSlots::textures(const TVerdata& verdata, const TTextures& textures) {
  PatchedSlots slots(PatchFamily::Texture, verdata);
  slots.m_textures = &textures;
  return slots;
}

PatchedSlots PatchedSlots::animations(const TVerdata& verdata, const TAnimation& animation) {
  PatchedSlots slots(PatchFamily::Animation, verdata);
  slots.m_animation = &animation;
  return slots;
}

bool PatchedSlots::isPatched(std::int32_t slot) const {
  const PatchKey k = key(slot);
  return m_verdata->isPatched(k.fileId, k.block);
}

bool PatchedSlots::inFile(std::int32_t slot) const {
  switch (m_family) {
    case PatchFamily::Land:
      return m_art->landExists(slot);
    case PatchFamily::Static:
      return m_art->staticExists(slot);
    case PatchFamily::Gump:
      return m_gumps->gumpExists(slot);
    case PatchFamily::Texture:
      return m_textures->textureExists(slot);
    case PatchFamily::Animation:
      return m_animation->bodyExists(slot);
  }
  return false;
}

Bitmap32 PatchedSlots::picture(std::int32_t slot, std::string* problem) const {
  if (isPatched(slot)) return patchPictureOf(*m_verdata, m_family, slot);
  switch (m_family) {
    case PatchFamily::Land:
      return m_art->landPicture(slot);
    case PatchFamily::Static:
      return m_art->staticPicture(slot);
    case PatchFamily::Gump:
      return m_gumps->gumpPicture(slot, problem);
    case PatchFamily::Texture:
      return m_textures->texturePicture(slot);
    case PatchFamily::Animation:
      return m_animation->firstFramePicture(slot);
  }
  return {};
}

}  // namespace quillotide
