// The sample tiledata.mul: the older layout with 0x4000 land and 0x4000 static records. The named
// land tiles and statics are the ones the sample art draws; every other record stays zero, as in
// an unused slot of a real file.
#include <cstdint>
#include <string_view>

#include "app/FileIO.h"
#include "models/Tiledata.h"
#include "sample/Sample.h"

namespace quillotide::sample {

namespace {

using namespace TileFlags;

struct SampleLand {
  int id;
  std::string_view name;
  std::uint64_t flags;
};

// Ground kinds; each land tile's texture is the texture slot of the same number.
constexpr SampleLand kLand[] = {
    {0x00, "void", 0},
    {0x01, "grass", 0},
    {0x02, "grass", 0},
    {0x03, "dirt", 0},
    {0x04, "dirt", 0},
    {0x05, "sand", 0},
    {0x06, "sand", 0},
    {0x07, "water", Wet | Impassable},
    {0x08, "water", Wet | Impassable},
    {0x09, "rock", Impassable},
    {0x0A, "rock", Impassable},
    {0x0B, "snow", 0},
    {0x0C, "swamp", Wet},
    {0x0D, "cobblestones", 0},
    {0x0E, "lava", Damaging | Impassable},
    {0x0F, "forest floor", 0},
};

struct SampleStatic {
  int id;
  std::string_view name;
  std::uint64_t flags;
  std::uint8_t height;
  std::uint8_t weight = 255;  // 255: cannot be lifted
  std::uint8_t quality = 0;   // the layer of wearables
  std::uint16_t animId = 0;
  std::uint8_t quantity = 0;
};

constexpr SampleStatic kStatics[] = {
    {0x01, "oak tree", Impassable | Background, 20},
    {0x02, "pine tree", Impassable | Background, 20},
    {0x03, "bush", Foliage, 5},
    {0x04, "stone wall", Wall | Impassable | NoShoot, 20},
    {0x05, "stone wall", Wall | Impassable | NoShoot, 20},
    {0x06, "wooden wall", Wall | Impassable | NoShoot, 20},
    {0x07, "wooden wall", Wall | Impassable | NoShoot, 20},
    {0x08, "wooden door", Door | Impassable | NoShoot, 20},
    {0x09, "wooden floor", Surface | Background, 0},
    {0x0A, "stone floor", Surface | Background, 0},
    {0x0B, "stairs", Surface | Bridge | StairBack, 5},
    {0x0C, "table", Surface | Impassable, 6, 30},
    {0x0D, "chair", Impassable, 3, 10},
    {0x0E, "barrel", Container | Impassable | PrefixA, 5, 50, 0, 0, 0},
    {0x0F, "chest", Container | PrefixA, 4, 25},
    {0x10, "torch", LightSource | Wearable | PrefixA, 1, 1, 2},
    {0x11, "lamp post", LightSource | Impassable | PrefixA, 15},
    {0x12, "sword", Weapon | Wearable | PrefixA, 1, 6, 1, 0x0041},
    {0x13, "shield", Wearable | Armor | PrefixA, 1, 8, 2, 0x0042},
    {0x14, "gold coin", Generic | PrefixA, 0, 0},
    {0x15, "apple", Generic | PrefixAn | PartialHue, 1, 1},
    {0x16, "bread", Generic | PrefixA, 1, 1},
    {0x17, "bottle", PartialHue | PrefixA, 1, 1},
    {0x18, "rock", Impassable, 4},
    {0x19, "flowers", Foliage | PartialHue, 2},
    {0x1A, "fence", Wall | Impassable, 6},
    {0x1B, "window", Window | Wall | Impassable, 20},
    {0x1C, "roof", Roof | Surface | Background, 3},
    {0x1D, "campfire", Animation | LightSource | Damaging | PrefixA, 2},
    {0x1E, "well", Impassable | PrefixA, 10},
    {0x1F, "sign", PrefixA, 3},
    {0x20, "red carpet", Surface | Background | PartialHue, 0},
};

constexpr int kSampleStaticCount = 0x4000;

}  // namespace

void writeTiledata(const std::string& dir) {
  // 0x4000 land records in 512 groups, then the static groups; group headers carry a running
  // number, as real files carry non-zero headers.
  constexpr std::size_t landGroupSize = 4 + 32 * 26;
  constexpr std::size_t staticGroupSize = 4 + 32 * 37;
  Bytes bytes(512 * landGroupSize + kSampleStaticCount / 32 * staticGroupSize, 0);
  for (std::size_t g = 0; g < 512; ++g)
    storeU32(bytes.data() + g * landGroupSize, static_cast<std::uint32_t>(g));
  for (std::size_t g = 0; g < kSampleStaticCount / 32; ++g)
    storeU32(bytes.data() + 512 * landGroupSize + g * staticGroupSize,
             static_cast<std::uint32_t>(0x100 + g));

  TTiledata tiledata;
  tiledata.loadBytes(bytes, TiledataLayout::Classic);
  for (const SampleLand& l : kLand) {
    LandTileRecord r;
    r.flags = l.flags;
    r.textureId = static_cast<std::uint16_t>(l.id);
    r.name = makeTileName(l.name);
    tiledata.writeLand(l.id, r);
  }
  for (const SampleStatic& s : kStatics) {
    StaticTileRecord r;
    r.flags = s.flags;
    r.height = s.height;
    r.weight = s.weight;
    r.quality = s.quality;
    r.animId = s.animId;
    r.quantity = s.quantity;
    r.name = makeTileName(s.name);
    tiledata.writeStatic(s.id, r);
  }
  tiledata.save(joinPath(dir, "tiledata.mul"));
}

}  // namespace quillotide::sample
