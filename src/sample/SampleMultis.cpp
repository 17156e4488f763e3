// The sample multi.idx / multi.mul: a small house (floor, walls, a door, a window, a roof and a
// table inside), a tent by a campfire and a boat with its cargo, all made of the sample statics.
#include <cstdint>
#include <vector>

#include "app/FileIO.h"
#include "models/Multi.h"
#include "sample/Sample.h"

namespace quillotide::sample {

namespace {

constexpr int kSampleSlots = 0x10;

// Sample static ids (SampleArt.cpp).
constexpr std::uint16_t kStoneWallW = 0x04, kStoneWallN = 0x05, kPlankWallN = 0x07, kDoor = 0x08,
                        kWoodFloor = 0x09, kTable = 0x0C, kChair = 0x0D, kBarrel = 0x0E,
                        kChest = 0x0F, kTorch = 0x10, kFence = 0x1A, kWindowWall = 0x1B,
                        kRoof = 0x1C, kCampfire = 0x1D;

MultiComponent part(std::uint16_t id, int x, int y, int z = 0) {
  return {id, static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
          static_cast<std::int16_t>(z), 1};
}

std::vector<MultiComponent> house() {
  std::vector<MultiComponent> parts;
  for (int y = -2; y <= 1; ++y)
    for (int x = -2; x <= 1; ++x) parts.push_back(part(kWoodFloor, x, y));
  for (int i = -2; i <= 1; ++i) {
    parts.push_back(part(i == 0 ? kWindowWall : kStoneWallW, -2, i));
    parts.push_back(part(i == -1 ? kDoor : kStoneWallN, i, -2));
  }
  parts.push_back(part(kTable, 0, 0));
  parts.push_back(part(kChair, 1, 0));
  for (int y = -2; y <= 1; ++y)
    for (int x = -2; x <= 1; ++x) parts.push_back(part(kRoof, x, y, 20));
  return parts;
}

std::vector<MultiComponent> tent() {
  std::vector<MultiComponent> parts;
  for (int y = -1; y <= 0; ++y)
    for (int x = -1; x <= 0; ++x) parts.push_back(part(kRoof, x, y, 0));
  parts.push_back(part(kCampfire, 2, 1));
  parts.push_back(part(kTorch, 1, -1));
  return parts;
}

std::vector<MultiComponent> boat() {
  std::vector<MultiComponent> parts;
  for (int y = -3; y <= 3; ++y)
    for (int x = -1; x <= 1; ++x) parts.push_back(part(kWoodFloor, x, y));
  for (int y = -3; y <= 3; ++y) {
    parts.push_back(part(kFence, -1, y, 2));
    parts.push_back(part(kFence, 1, y, 2));
  }
  parts.push_back(part(kPlankWallN, 0, -3, 2));
  parts.push_back(part(kBarrel, 0, 1, 2));
  parts.push_back(part(kChest, 0, 2, 2));
  return parts;
}

}  // namespace

void writeMultis(const std::string& dir) {
  TMulti multis;
  // Every record (-1, -1, -1): the slots that get no multi stay empty. 16-byte components, as
  // current clients' files have them (the boat's length fits that size only).
  Bytes index(kSampleSlots * kIndexRecordSize, 0xFF);
  multis.loadBytes(std::move(index), {}, MultiLayout::Newer16);
  multis.writeComponents(0x0, house());
  multis.writeComponents(0x1, tent());
  multis.writeComponents(0x2, boat());
  multis.save(joinPath(dir, "multi.idx"), joinPath(dir, "multi.mul"));
}

}  // namespace quillotide::sample
