// The sample world: a 256 x 256-cell map0.mul with a coast, beaches, meadows, dirt, a mountain
// range and a cobblestone road to a walled stone house; staidx0.mul / statics0.mul with trees,
// bushes, rocks, the house (walls, door, floor, roof) and a few things around it; and a world
// file of a few placed items in each of the three text formats. Everything is computed from the
// cell position, so every run writes the same bytes.

#include <algorithm>
#include <cmath>
#include <map>

#include "app/Bytes.h"
#include "app/FileIO.h"
#include "world/Map.h"
#include "world/WorldFile.h"
#include "sample/Sample.h"

namespace quillotide::sample {

namespace {

// Land tiles of the sample tile data and art.
constexpr std::uint16_t kGrass = 0x01;
constexpr std::uint16_t kDirt = 0x03;
constexpr std::uint16_t kDirt2 = 0x04;
constexpr std::uint16_t kSand = 0x05;
constexpr std::uint16_t kSand2 = 0x06;
constexpr std::uint16_t kWater = 0x07;
constexpr std::uint16_t kWater2 = 0x08;
constexpr std::uint16_t kRock = 0x09;
constexpr std::uint16_t kRock2 = 0x0A;
constexpr std::uint16_t kCobbles = 0x0D;
constexpr std::uint16_t kForest = 0x0F;

// Statics of the sample art.
constexpr std::uint16_t kOak = 0x01;
constexpr std::uint16_t kPine = 0x02;
constexpr std::uint16_t kBush = 0x03;
constexpr std::uint16_t kWallSouth = 0x04;
constexpr std::uint16_t kWallEast = 0x05;
constexpr std::uint16_t kDoor = 0x08;
constexpr std::uint16_t kStoneFloor = 0x0A;
constexpr std::uint16_t kTable = 0x0C;
constexpr std::uint16_t kChair = 0x0D;
constexpr std::uint16_t kBarrel = 0x0E;
constexpr std::uint16_t kLampPost = 0x11;
constexpr std::uint16_t kStone = 0x18;
constexpr std::uint16_t kFlowers = 0x19;
constexpr std::uint16_t kRoof = 0x1C;
constexpr std::uint16_t kCampfire = 0x1D;
constexpr std::uint16_t kWell = 0x1E;
constexpr std::uint16_t kSign = 0x1F;

// The house: walls on the border of this rectangle, the door in the south wall.
constexpr int kHouseX0 = 136;
constexpr int kHouseY0 = 120;
constexpr int kHouseX1 = 145;
constexpr int kHouseY1 = 128;
constexpr int kHouseZ = 5;
constexpr int kDoorX = 140;

// A repeatable hash of a cell: 0 .. 255.
int hash(int x, int y, int salt) {
  std::uint32_t h = static_cast<std::uint32_t>(x) * 73856093u ^
                    static_cast<std::uint32_t>(y) * 19349663u ^
                    static_cast<std::uint32_t>(salt) * 83492791u;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  return static_cast<int>(h & 255u);
}

// The ground height before tiles: the sea in the west, a ridge of mountains in the north-east.
double ground(int x, int y) {
  const double fx = x / 256.0;
  const double fy = y / 256.0;
  double h = (fx - 0.22) * 60.0;  // the coast runs north to south near x = 56
  h += 6.0 * std::sin(fy * 9.0) + 4.0 * std::sin(fx * 13.0 + fy * 5.0);
  const double ridge = std::exp(-std::pow((fy - 0.18) * 7.0, 2.0)) * (fx > 0.45 ? 1.0 : 0.0);
  h += ridge * (50.0 + 25.0 * std::sin(fx * 31.0));
  return h;
}

bool onRoad(int x, int y) {
  // From the house door south, then west towards the beach.
  return (x >= kDoorX - 1 && x <= kDoorX + 1 && y > kHouseY1 && y <= 170) ||
         (y >= 169 && y <= 171 && x >= 70 && x <= kDoorX + 1);
}

bool inHouse(int x, int y) {
  return x >= kHouseX0 && x <= kHouseX1 && y >= kHouseY0 && y <= kHouseY1;
}

struct Land {
  std::uint16_t id;
  std::int8_t z;
};

Land landAt(int x, int y) {
  if (inHouse(x, y)) return {kDirt, static_cast<std::int8_t>(kHouseZ)};
  const double h = ground(x, y);
  const bool alt = hash(x, y, 1) < 128;
  if (onRoad(x, y)) return {kCobbles, static_cast<std::int8_t>(std::clamp(h / 4.0, 0.0, 10.0))};
  if (h < -2.0) return {alt ? kWater : kWater2, -5};
  if (h < 3.0) return {alt ? kSand : kSand2, static_cast<std::int8_t>(std::max(0.0, h / 2.0))};
  if (h > 35.0) {
    const double z = std::min(110.0, (h - 35.0) * 2.0 + 20.0);
    return {alt ? kRock : kRock2, static_cast<std::int8_t>(z)};
  }
  const std::int8_t z = static_cast<std::int8_t>(std::min(20.0, (h - 3.0) / 2.0));
  const int patch = hash(x / 6, y / 6, 2);
  if (patch < 40) return {alt ? kDirt : kDirt2, z};
  if (patch > 220) return {kForest, z};
  // Land tile 2 is the game's "nothing drawn here" tile, which the world editor leaves out.
  return {kGrass, z};
}

struct Placed {
  std::uint16_t id;
  int x;
  int y;
  int z;
  std::uint16_t hue;
};

std::vector<Placed> placeStatics() {
  std::vector<Placed> out;
  for (int y = 0; y < kSampleWorldSize; ++y)
    for (int x = 0; x < kSampleWorldSize; ++x) {
      const Land land = landAt(x, y);
      if (inHouse(x, y) || onRoad(x, y) || onRoad(x + 1, y) || onRoad(x, y + 1)) continue;
      if (std::abs(x - kDoorX) < 4 && y > kHouseY1 && y < kHouseY1 + 6) continue;
      const int r = hash(x, y, 3);
      const bool green = land.id == kGrass || land.id == kForest;
      if (land.id == kForest && r < 90)
        out.push_back({r % 2 ? kPine : kOak, x, y, land.z, 0});
      else if (green && r < 7)
        out.push_back({kOak, x, y, land.z, 0});
      else if (green && r < 11)
        out.push_back({kBush, x, y, land.z, 0});
      else if (green && r < 14)
        out.push_back({kFlowers, x, y, land.z, static_cast<std::uint16_t>(r % 3 == 0 ? 0x21 : 0)});
      else if ((land.id == kRock || land.id == kRock2) && r < 20)
        out.push_back({kStone, x, y, land.z, 0});
      else if ((land.id == kDirt || land.id == kDirt2) && r < 6)
        out.push_back({kStone, x, y, land.z, 0});
    }
  // The house: a stone floor, walls with a door in the south wall, a roof over all of it.
  for (int y = kHouseY0; y <= kHouseY1; ++y)
    for (int x = kHouseX0; x <= kHouseX1; ++x) {
      out.push_back({kStoneFloor, x, y, kHouseZ, 0});
      if (y == kHouseY1 && x == kDoorX)
        out.push_back({kDoor, x, y, kHouseZ, 0});
      else if (y == kHouseY0 || y == kHouseY1)
        out.push_back({kWallSouth, x, y, kHouseZ, 0});
      else if (x == kHouseX0 || x == kHouseX1)
        out.push_back({kWallEast, x, y, kHouseZ, 0});
      out.push_back({kRoof, x, y, kHouseZ + 20, 0});
    }
  out.push_back({kTable, 139, 123, kHouseZ, 0});
  out.push_back({kChair, 139, 124, kHouseZ, 0});
  out.push_back({kBarrel, 143, 121, kHouseZ, 0});
  // Outside: a lamp post and a sign by the door, a well and a campfire by the road.
  out.push_back({kLampPost, kDoorX - 2, kHouseY1 + 1, landAt(kDoorX - 2, kHouseY1 + 1).z, 0});
  out.push_back({kSign, kDoorX + 2, kHouseY1 + 1, landAt(kDoorX + 2, kHouseY1 + 1).z, 0});
  out.push_back({kWell, kDoorX + 3, kHouseY1 + 4, landAt(kDoorX + 3, kHouseY1 + 4).z, 0});
  out.push_back({kCampfire, 110, 166, landAt(110, 166).z, 0});
  return out;
}

}  // namespace

const std::vector<std::pair<std::string, std::string>>& sampleSettings() {
  static const std::vector<std::pair<std::string, std::string>> settings = {
      {"MapWidth", std::to_string(kSampleWorldSize)},
      {"MapHeight", std::to_string(kSampleWorldSize)},
      {"LastX", std::to_string(kSampleWorldSize / 2)},
      {"LastY", std::to_string(kSampleWorldSize / 2)},
  };
  return settings;
}

void writeWorld(const std::string& dir) {
  constexpr int n = kSampleWorldSize;
  constexpr int rows = n / 8;
  Bytes map(static_cast<std::size_t>(rows) * rows * MapLayout::kBlockSize, 0);
  for (int bx = 0; bx < rows; ++bx)
    for (int by = 0; by < rows; ++by) {
      const std::size_t b = static_cast<std::size_t>(bx * rows + by);
      std::uint8_t* block = map.data() + b * MapLayout::kBlockSize;
      for (int c = 0; c < 64; ++c) {
        const Land land = landAt(bx * 8 + c % 8, by * 8 + c / 8);
        storeU16(block + 4 + 3 * c, land.id);
        block[4 + 3 * c + 2] = static_cast<std::uint8_t>(land.z);
      }
    }
  writeFileAtomic(joinPath(dir, "map0.mul"), map);

  std::map<std::size_t, Bytes> blocks;
  for (const Placed& p : placeStatics()) {
    Bytes& bytes = blocks[static_cast<std::size_t>(p.x / 8 * rows + p.y / 8)];
    const std::uint8_t rec[7] = {static_cast<std::uint8_t>(p.id),
                                 static_cast<std::uint8_t>(p.id >> 8),
                                 static_cast<std::uint8_t>(p.x % 8),
                                 static_cast<std::uint8_t>(p.y % 8),
                                 static_cast<std::uint8_t>(static_cast<std::int8_t>(p.z)),
                                 static_cast<std::uint8_t>(p.hue),
                                 static_cast<std::uint8_t>(p.hue >> 8)};
    bytes.insert(bytes.end(), rec, rec + 7);
  }
  ByteWriter index(static_cast<std::size_t>(rows) * rows * 12);
  ByteWriter data;
  for (std::size_t b = 0; b < static_cast<std::size_t>(rows) * rows; ++b) {
    const auto it = blocks.find(b);
    if (it == blocks.end()) {
      index.i32(-1);
      index.i32(-1);
      index.i32(-1);
      continue;
    }
    index.i32(static_cast<std::int32_t>(data.size()));
    index.i32(static_cast<std::int32_t>(it->second.size()));
    index.i32(0);
    data.bytes(it->second);
  }
  AtomicFile idx(joinPath(dir, "staidx0.mul"));
  AtomicFile mul(joinPath(dir, "statics0.mul"));
  idx.write(index.data());
  mul.write(data.data());
  commitAll({&idx, &mul});

  // A few placed items not yet patched into the statics: a camp on the beach.
  TWorldFile world;
  world.add(kCampfire, 72, 150, landAt(72, 150).z, 0);
  world.add(kBarrel, 73, 151, landAt(73, 151).z, 0);
  world.add(kChair, 71, 151, landAt(71, 151).z, 0x21);
  world.add(kSign, 74, 168, landAt(74, 168).z, 0);
  for (const auto& [name, format] : std::vector<std::pair<std::string, WorldTextFormat>>{
           {"world.txt", WorldTextFormat::Plain},
           {"world.scp", WorldTextFormat::Sphere51a},
           {"world.wsc", WorldTextFormat::Wsc}})
    world.save(joinPath(dir, name), format);
}

void writeMultimap(const std::string& dir) {
  // The client's overview is a line drawing: the coast, the road and the house drawn black (on)
  // on white, one pixel per cell here.
  constexpr int side = kSampleWorldSize;
  std::vector<std::uint8_t> on(static_cast<std::size_t>(side) * side, 0);
  auto sea = [](int x, int y) { return !inHouse(x, y) && !onRoad(x, y) && ground(x, y) < -2.0; };
  auto rock = [](int x, int y) { return ground(x, y) > 35.0; };
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      // The coast and the foot of the mountains: a cell whose neighbour lies on the other side.
      bool coast = false;
      for (const auto& [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
        const int nx = x + dx, ny = y + dy;
        if (nx < 0 || ny < 0 || nx >= side || ny >= side) continue;
        coast = coast || (!sea(x, y) && sea(nx, ny)) || (rock(x, y) && !rock(nx, ny));
      }
      const bool wall = inHouse(x, y) && (x == kHouseX0 || x == kHouseX1 || y == kHouseY0 ||
                                          y == kHouseY1);
      on[static_cast<std::size_t>(y * side + x)] = coast || wall || onRoad(x, y);
    }
  // The greedy runs the client's own file has: at most 127, cut where the pixel changes.
  ByteWriter out;
  out.i32(side);
  out.i32(side);
  for (std::size_t i = 0; i < on.size();) {
    std::size_t n = 1;
    while (i + n < on.size() && n < 127 && on[i + n] == on[i]) ++n;
    out.u8(static_cast<std::uint8_t>((on[i] ? 0x80 : 0) | n));
    i += n;
  }
  writeFileAtomic(joinPath(dir, "Multimap.rle"), out.take());
}

}  // namespace quillotide::sample
