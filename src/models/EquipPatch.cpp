#include "models/EquipPatch.h"

#include "app/FileIO.h"
#include "app/Image.h"
#include "app/Png.h"
#include "app/Text.h"
#include "models/Animation.h"
#include "models/Art.h"
#include "models/Gump.h"
#include "models/ProgressArchive.h"

namespace quillotide {

using namespace equipLayout;

const std::array<std::string_view, kLayerCount>& equipLayers() {
  static const std::array<std::string_view, kLayerCount> layers = {
      "Layer_TradeWindow",
      "Layer_SingleHandedWeapon",
      "Layer_DualHandedWeapon",
      "Layer_Shoes",
      "Layer_Pants",
      "Layer_Shir",
      "Layer_Hat",
      "Layer_Gloves",
      "Layer_Ring",
      "Layer_Neck",
      "Layer_Hair",
      "Layer_Waist",
      "Layer_InnerTorso",
      "Layer_Bracelet",
      "Layer_FacialHair",
      "Layer_MiddleTorso",
      "Layer_Earrings",
      "Layer_Arms",
      "Layer_Back",
      "Layer_Backpack",
      "Layer_OuterTorso",
      "Layer_OuterLegs",
      "Layer_InnerLegs",
  };
  return layers;
}

const std::array<std::pair<std::uint64_t, std::string_view>, 5>& equipFlags() {
  static const std::array<std::pair<std::uint64_t, std::string_view>, 5> flags = {{
      {TileFlags::Wearable, "Wearable"},
      {TileFlags::Weapon, "Weapon"},
      {TileFlags::Armor, "Armor"},
      {TileFlags::PartialHue, "PartialHue"},
      {TileFlags::LightSource, "LightSource"},
  }};
  return flags;
}

namespace {

constexpr std::int32_t kPngRgbAlpha = 6;
constexpr std::int32_t kMaxProgressGump = progresslayout::kGumpIds - 1;
constexpr std::int32_t kMaxProgressArt = progresslayout::kArtIds - 1;

std::string num(std::int64_t v) { return std::to_string(v); }

// One picture read and checked before anything is written; `what` names its field.
Bitmap32 modelPicture(const std::string& what, const std::string& path, bool art) {
  if (path.empty()) throw Error(what + " names no picture file.");
  Bitmap32 picture = readImageFile(path);
  try {
    // The encoders refuse what they cannot store; the bytes are made again when written.
    if (art)
      (void)encodeStaticArt(picture);
    else
      (void)encodeGump(picture);
  } catch (const Error& e) {
    throw Error(path + ": " + e.what());
  }
  return picture;
}

Bitmap32 progressPicture(const std::string& what, const std::string& path) {
  if (path.empty()) throw Error(what + " names no picture file.");
  const Bytes file = readFile(path);
  if (pngColourType(file) != kPngRgbAlpha) throw Error("Colorformat has to be RGBALPHA");
  try {
    return decodePng(file);
  } catch (const FormatError& e) {
    throw FormatError(path + ": " + e.what());
  }
}

// A gump destined for the gump model or the archive, checked.
struct GumpStep {
  std::int32_t id = 0;
  bool toProgress = false;
  Bitmap32 picture;
};

GumpStep gumpStep(const std::string& what, const std::string& path, std::int32_t id,
                  bool toProgress, const TGump& gumps) {
  if (toProgress) {
    if (id > kMaxProgressGump)
      throw Error(formatMessage(
          "%s: gump %d does not fit the progress archive, which holds gumps 0 ... 65535.",
          {what, num(id)}));
    return {id, true, progressPicture(what, path)};
  }
  // Another gump's "Use Progress" passed the first check; this one needs the gump model.
  if (!gumps.isLoaded()) throw Error("Load Gumps.");
  return {id, false, modelPicture(what, path, false)};
}

void writeGumpStep(const GumpStep& step, TGump& gumps, TProgress& progress) {
  if (step.toProgress)
    progress.writeEntry(progresslayout::kGumpKind, step.id, step.picture);
  else
    gumps.writeGump(step.id, step.picture);
}

}  // namespace

namespace {

// An id as typed: its value, or nothing with the reason added to `refusals` (an empty field is
// passed over when `skipEmpty`).
std::optional<std::int32_t> typedId(const std::string& text, bool skipEmpty,
                                    std::vector<std::string>& refusals) {
  if (skipEmpty && text.find_first_not_of(' ') == std::string::npos) return std::nullopt;
  try {
    return parseInt(text);
  } catch (const Error& e) {
    refusals.push_back(e.what());
    return std::nullopt;
  }
}

}  // namespace

std::vector<std::string> equipRefusals(const EquipPatch& patch, const EquipModels& models,
                                       bool skipEmpty) {
  std::vector<std::string> out;
  const auto gumpId = typedId(patch.gumpId, skipEmpty, out);
  const auto artId = typedId(patch.artId, skipEmpty, out);
  const auto sourceBody = typedId(patch.animId, skipEmpty, out);
  const auto weight = typedId(patch.weight, skipEmpty, out);

  // A gump below 50000 would wrap the body number round and overwrite a real interface gump;
  // one above the last paperdoll would wrap it too.
  const bool gumpFits = gumpId && *gumpId >= kGumpBase && *gumpId <= kMaxGumpId;
  if (gumpId && !gumpFits)
    out.push_back(formatMessage(
        "GumpId %d lies outside %d ... %d, the paperdoll gumps of bodies 0 ... 65535.",
        {num(*gumpId), num(kGumpBase), num(kMaxGumpId)}));
  if (gumpId && patch.gumpToProgress && *gumpId > kMaxProgressGump)
    out.push_back(formatMessage(
        "GumpBitmap: gump %d does not fit the progress archive, which holds gumps 0 ... 65535.",
        {num(*gumpId)}));
  if (gumpId && !patch.femaleGumpPicture.empty() && patch.femaleGumpToProgress &&
      static_cast<std::int64_t>(*gumpId) + kFemaleOffset > kMaxProgressGump)
    out.push_back(formatMessage(
        "GumpBitmap(w): gump %d does not fit the progress archive, which holds gumps 0 ... "
        "65535.",
        {num(static_cast<std::int64_t>(*gumpId) + kFemaleOffset)}));
  bool artFits = false;
  if (artId) {
    if (patch.artToProgress ? *artId < 0 || *artId > kMaxProgressArt
                            : *artId < 0 || *artId > kMaxStaticId)
      out.push_back(formatMessage(patch.artToProgress
                                      ? "ArtId %d does not fit the progress archive, which holds "
                                        "statics 0 ... 32767."
                                      : "ArtId %d lies outside the statics 0 ... 65535.",
                                  {num(*artId)}));
    else
      artFits = true;
  }
  if (artFits && models.tiledata.isLoaded() && !models.tiledata.hasStatic(*artId))
    out.push_back(formatMessage(
        "ArtId %s lies outside the tile data's static section (%d records).",
        {hexLabel(static_cast<std::uint32_t>(*artId)), num(models.tiledata.staticCount())}));
  if (sourceBody && (*sourceBody < 0 || *sourceBody > 0xFFFF)) {
    out.push_back(
        formatMessage("AnimId %d lies outside the bodies 0 ... 65535.", {num(*sourceBody)}));
  } else if (sourceBody && models.animation.isLoaded()) {
    // The new body is known only from a GumpId that fits.
    if (gumpFits &&
        models.animation.bodyType(*sourceBody) != models.animation.bodyType(equipBodyOf(*gumpId)))
      out.push_back("Animtypes dont match.");
    // Copying a body without frames would only empty the new body's slots.
    else if (!models.animation.bodyExists(*sourceBody))
      out.push_back(formatMessage("AnimId %s has no animation to copy.",
                                  {hexLabel(static_cast<std::uint32_t>(*sourceBody))}));
  }
  if (weight && (*weight < 0 || *weight > 0xFF))
    out.push_back(formatMessage("Weight %d does not fit the tile data, which holds 0 ... 255.",
                                {num(*weight)}));
  return out;
}

EquipPatchResult patchEquipment(const EquipPatch& patch, EquipModels models) {
  const bool anyProgress =
      patch.gumpToProgress || patch.femaleGumpToProgress || patch.artToProgress;
  if (!models.gumps.isLoaded() && !patch.gumpToProgress && !patch.femaleGumpToProgress)
    throw Error("Load Gumps.");
  if (!models.art.isLoaded() && !patch.artToProgress) throw Error("Load Art.");
  if (anyProgress && !models.progress.isLoaded()) throw Error("Load Progress.");
  if (!models.animation.isLoaded()) throw Error("Load Anims.");
  if (!models.tiledata.isLoaded()) throw Error("Load Tiledata.");
  if (!patch.layer || *patch.layer < 0 || *patch.layer >= kLayerCount)
    throw Error("Choose a layer.");

  // Every refusal at once, so the user mends them in one go.
  const std::vector<std::string> refusals = equipRefusals(patch, models, false);
  if (!refusals.empty()) {
    std::string text = refusals[0];
    for (std::size_t i = 1; i < refusals.size(); ++i) text += "\n" + refusals[i];
    throw Error(text);
  }

  EquipPatchResult result;
  result.gumpId = parseInt(patch.gumpId);
  result.artId = parseInt(patch.artId);
  result.sourceBody = parseInt(patch.animId);
  const std::int32_t weight = parseInt(patch.weight);
  result.body = equipBodyOf(result.gumpId);

  StaticTileRecord& record = result.record;
  record.flags = patch.flags;
  record.weight = static_cast<std::uint8_t>(weight);
  record.quality = static_cast<std::uint8_t>(*patch.layer);
  record.animId = static_cast<std::uint16_t>(result.body);
  record.name = makeTileName(patch.name);

  const GumpStep male =
      gumpStep("GumpBitmap", patch.gumpPicture, result.gumpId, patch.gumpToProgress, models.gumps);
  std::optional<GumpStep> female;
  if (!patch.femaleGumpPicture.empty()) {
    result.femaleGumpId = result.gumpId + kFemaleOffset;
    female = gumpStep("GumpBitmap(w)", patch.femaleGumpPicture, *result.femaleGumpId,
                      patch.femaleGumpToProgress, models.gumps);
  }
  const Bitmap32 art = patch.artToProgress ? progressPicture("ArtBitmap", patch.artPicture)
                                           : modelPicture("ArtBitmap", patch.artPicture, true);

  writeGumpStep(male, models.gumps, models.progress);
  if (female) writeGumpStep(*female, models.gumps, models.progress);
  if (patch.artToProgress)
    models.progress.writeEntry(progresslayout::kArtKind, result.artId, art);
  else
    models.art.importStatic(result.artId, art);
  models.animation.copyBody(result.sourceBody, result.body, models.animIndexPath);
  models.tiledata.writeStatic(result.artId, record);
  return result;
}

}  // namespace quillotide
