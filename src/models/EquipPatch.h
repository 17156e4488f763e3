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
#include <vector>

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

// Every reason the typed ids and weight are refused, in the order of the fields: a text that is
// not a number, a GumpId outside the paperdoll gumps or (with "Use Progress") the archive, an
// ArtId outside the statics, the archive or the loaded tile data, an AnimId outside the bodies,
// of another type than the new body or without an animation (when the animations are loaded),
// a weight above 255. With skipEmpty an empty field is not yet a refusal (the page lists the
// refusals while the user types). Empty when nothing is refused.
std::vector<std::string> equipRefusals(const EquipPatch& patch, const EquipModels& models,
                                       bool skipEmpty);

// Runs the patch. First, each stopping with its message: the gump model is loaded or a gump goes
// to the progress archive ("Load Gumps."), the art model is loaded or the art goes there ("Load
// Art."), the archive is loaded when anything goes there ("Load Progress."), the animations
// ("Load Anims.") and the tile data ("Load Tiledata.") are loaded, a layer is chosen ("Choose a
// layer."). Then the refusals of equipRefusals, all in one Error (one per line), and the name
// and every picture are read and checked; any failure throws Error saying what and changes
// nothing.
// Only then are the gumps, the art, the body copy and the tile data record written.
EquipPatchResult patchEquipment(const EquipPatch& patch, EquipModels models);

}  // namespace quillotide
