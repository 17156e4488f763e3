#pragma once
// The equipment patch: a new wearable item in one step. The paperdoll gumps of the male and
// (optionally) the female figure, the item's static art, an animation body copied from an
// existing one and the item's static tile data record. The pictures go into the gump and art
// models or, each by its own choice, into the progress archive.
//
// Body T of gump G is (G - 50000) modulo 65536: the paperdoll gump of body T is gump 50000 + T;
// the female gump is G + 10000.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "models/Tiledata.h"

namespace quillotide {

class TAnimation;
class TArt;
class TGump;
class TProgress;

namespace equipLayout {
constexpr std::int32_t kGumpBase = 50000;
constexpr std::int32_t kFemaleOffset = 10000;
// Gumps 50000 ... 115535 are the paperdolls of bodies 0 ... 0xFFFF.
constexpr std::int32_t kMaxGumpId = kGumpBase + 0xFFFF;
constexpr int kLayerCount = 23;
}  // namespace equipLayout

// The layers in list order; the position is the value stored in the record's Quality byte.
const std::array<std::string_view, equipLayout::kLayerCount>& equipLayers();

// The flags the patch can set, in the order the page shows them: (mask, caption).
const std::array<std::pair<std::uint64_t, std::string_view>, 5>& equipFlags();

// The body whose paperdoll gump is g: (g - 50000) modulo 65536.
constexpr int equipBodyOf(std::int32_t gumpId) {
  return static_cast<int>(static_cast<std::uint32_t>(gumpId - equipLayout::kGumpBase) & 0xFFFF);
}

// What the user gave: picture paths, the three "Use Progress" choices, the ids and the weight
// as typed (read with the integer rule), the flags, the layer and the name.
struct EquipPatch {
  std::string gumpPicture;
  std::string femaleGumpPicture;  // empty: no female gump
  std::string artPicture;
  bool gumpToProgress = false;
  bool femaleGumpToProgress = false;
  bool artToProgress = false;
  std::string gumpId;
  std::string artId;
  std::string animId;  // the body copied
  std::string weight;
  std::uint64_t flags = 0;
  std::optional<int> layer;
  std::string name;  // UTF-8; the first 20 characters are stored
};

// The models the patch changes. animIndexPath is handed to the body copy.
struct EquipModels {
  TGump& gumps;
  TArt& art;
  TProgress& progress;
  TAnimation& animation;
  TTiledata& tiledata;
  std::string animIndexPath;
};

// What the patch wrote.
struct EquipPatchResult {
  std::int32_t gumpId = 0;
  std::optional<std::int32_t> femaleGumpId;
  std::int32_t artId = 0;
  int sourceBody = 0;
  int body = 0;
  StaticTileRecord record;
};

// Runs the patch. First, each stopping with its message: the gump model is loaded or a gump goes
// to the progress archive ("Load Gumps."), the art model is loaded or the art goes there ("Load
// Art."), the archive is loaded when anything goes there ("Load Progress."), the animations
// ("Load Anims.") and the tile data ("Load Tiledata.") are loaded, a layer is chosen ("Choose a
// layer."). Then every id (the copied body must have an animation), the weight, the name and
// every picture is read and checked; any failure throws Error saying what and changes nothing.
// Only then are the gumps, the art, the body copy and the tile data record written.
EquipPatchResult patchEquipment(const EquipPatch& patch, EquipModels models);

}  // namespace quillotide
