#pragma once
// TItem: the one record every world model (map, statics, static diffs, world file) hands out for
// one drawable thing in the world. Lists of TItem are always copies the caller owns.

#include <array>
#include <cstdint>
#include <string>

namespace quillotide {

class TArt;
class TTiledata;
class TAnimdata;
class TTextures;
class TRadarcol;

enum class ItemKind : std::uint8_t {
  None = 0,
  Land = 1,            // land cell drawn from its land art tile
  LandTexture = 2,     // land cell drawn as a stretched texture
  Static = 3,          // static of the statics files
  DiffStatic = 4,      // static of a static diff
  WorldWritten = 5,    // world-file item already written to a world file
  WorldUnwritten = 6,  // world-file item not yet written to a world file
};

// The first serial of each owner; land cells count from 0 per map open.
constexpr std::int32_t kStaticSerialBase = 0x1FFFFFF;
constexpr std::int32_t kWorldSerialBase = 0x2FFFFFF;
constexpr std::int32_t kDiffSerialBase = 0x3FFFFFF;

// Corner offsets of a land cell's diamond, in pixels: (dx, dy) of top, left, bottom, right.
enum Corner { kCornerTop = 0, kCornerLeft = 1, kCornerBottom = 2, kCornerRight = 3 };

struct TItem {
  std::uint16_t tileId = 0;
  std::uint16_t x = 0;
  std::uint16_t y = 0;
  std::int8_t z = 0;
  std::uint16_t hue = 0;
  std::int32_t serial = 0;
  std::int16_t height = 0;
  std::int16_t width = 0;
  std::uint8_t selected = 0;
  std::uint8_t deleted = 0;
  // Land cells only: dx, dy of the corners in Corner order.
  std::array<std::int32_t, 8> corners{};
  ItemKind kind = ItemKind::None;
  std::uint8_t animated = 0;

  std::int32_t cornerDx(Corner c) const { return corners[static_cast<std::size_t>(2 * c)]; }
  std::int32_t cornerDy(Corner c) const { return corners[static_cast<std::size_t>(2 * c + 1)]; }
  bool operator==(const TItem&) const = default;
};

// An item of an owner's list: what a save writes, its serial and its kind; the look (size,
// animation) is the owner's to set.
inline TItem placedItem(std::uint16_t id, int x, int y, std::int8_t z, std::uint16_t hue,
                        std::int32_t serial, ItemKind kind) {
  TItem item;
  item.tileId = id;
  item.x = static_cast<std::uint16_t>(x);
  item.y = static_cast<std::uint16_t>(y);
  item.z = z;
  item.hue = hue;
  item.serial = serial;
  item.kind = kind;
  return item;
}

// The models the world models read pictures, flags and frame counts from. Any may be null or
// unloaded: a static then has size 0 x 0 and is not animated, land is drawn from its art tile.
struct WorldSources {
  const TArt* art = nullptr;
  const TTiledata* tiledata = nullptr;
  const TAnimdata* animdata = nullptr;
  const TTextures* textures = nullptr;
  const TRadarcol* radarcol = nullptr;
};

// Sets a static item's width and height from its static art picture and its animated flag from
// the tile's animation flag (0x1000000) and its animation data frame count.
void applyStaticLook(TItem& item, const WorldSources& sources);

// The item of a list that numbers its items by serial from `base`; null for any other serial, so
// an edit of an item the list does not hold does nothing.
template <class Items>
auto itemAtSerial(Items& items, std::int32_t serial, std::int32_t base) -> decltype(&items[0]) {
  const std::int64_t pos = static_cast<std::int64_t>(serial) - base;
  if (pos < 0 || pos >= static_cast<std::int64_t>(items.size())) return nullptr;
  return &items[static_cast<std::size_t>(pos)];
}

// Altitudes change by clamping to -128 .. 127, never by wrapping.
constexpr std::int8_t clampAltitude(std::int64_t z) {
  return static_cast<std::int8_t>(z < -128 ? -128 : z > 127 ? 127 : z);
}

// The message for a world size that is missing, not a multiple of 8 or below 8.
inline const std::string kWorldSizeMessage =
    "Width or Height incorrect or missing (before ML: 6144x4096).";
// The largest side a world may have: cell coordinates are 16-bit.
constexpr std::int64_t kMaxWorldSide = 0x10000;
// Throws Error(kWorldSizeMessage) unless both sides are multiples of 8 from 8 to kMaxWorldSide.
void checkWorldSize(std::int64_t width, std::int64_t height);

}  // namespace quillotide
