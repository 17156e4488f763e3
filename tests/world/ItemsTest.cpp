#include <gtest/gtest.h>

#include "app/Error.h"
#include "registry/Registry.h"
#include "world/Items.h"
#include "support/TestFiles.h"
#include "support/WorldFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

// A registry with one static, one diff static and one world-file item, all in block 0 of a
// 32 x 24 world.
struct World {
  Registry registry;
  TItem stat;
  TItem diff;
  TItem placed;
  std::vector<ItemNotice> notices;

  explicit World(const TempDir& dir) {
    const auto files = test::makeStaticsFiles(32, 24, {{0x100, 1, 1, 0, 0}});
    registry.statics->openBytes(files.index, files.data, 32, 24);
    stat = registry.statics->getItemsInRect(0, 7, 0, 7).at(0);
    ByteWriter list;
    list.i32(0);
    ByteWriter index;
    index.i32(0);
    index.i32(7);
    index.i32(0);
    Bytes data;
    appendStaticRecord(data, {0x200, 2, 2, 0, 0});
    test::writeBytes(dir.file("Stadifl0.mul"), list.take());
    test::writeBytes(dir.file("Stadifi0.mul"), index.take());
    test::writeBytes(dir.file("Stadif0.mul"), data);
    registry.staticDiff->setWorldSize(32, 24);
    registry.staticDiff->loadDiffs(dir.path());
    std::vector<TItem> shown;
    diff = registry.staticDiff->appendItemsInRect(0, 7, 0, 7, shown).at(0);
    registry.worldFile->add(0x300, 3, 3, 0, 0);
    placed = registry.worldFile->items().at(0);
    registry.items->setNoticeHandler([this](const ItemNotice& n) { notices.push_back(n); });
  }
  TItem staticNow() { return *registry.statics->item(stat.serial); }
  TItem diffNow() { return *registry.staticDiff->item(diff.serial); }
  TItem placedNow() { return registry.worldFile->items().at(0); }
};

}  // namespace

TEST(ItemsTest, EveryEditReachesTheOwnerOfTheItemsKind) {
  TempDir dir;
  World w(dir);
  TItems& items = *w.registry.items;
  for (const TItem* item : {&w.stat, &w.diff, &w.placed}) {
    items.setHue(item, 0x21);
    items.setTileId(item, 0x55);
    items.move(item, 1, 2, 3);
  }
  for (const TItem& now : {w.staticNow(), w.diffNow(), w.placedNow()}) {
    EXPECT_EQ(now.hue, 0x21);
    EXPECT_EQ(now.tileId, 0x55);
    EXPECT_EQ(now.z, 3);
  }
  EXPECT_EQ(w.staticNow().x, 2);
  EXPECT_EQ(w.diffNow().y, 4);
  EXPECT_EQ(w.placedNow().x, 4);

  items.select(&w.stat);
  items.select(&w.diff);
  EXPECT_EQ(w.staticNow().selected, 1);
  EXPECT_EQ(w.diffNow().selected, 1);
  items.deselect(&w.diff);
  EXPECT_EQ(w.diffNow().selected, 0);
  for (const TItem* item : {&w.stat, &w.diff, &w.placed}) items.remove(item);
  EXPECT_EQ(w.staticNow().deleted, 1);
  EXPECT_EQ(w.diffNow().deleted, 1);
  EXPECT_EQ(w.placedNow().deleted, 1);

  ASSERT_EQ(w.notices.size(), 9u + 3u + 3u);
  EXPECT_EQ(w.notices[1].edit, ItemEdit::SetTileId);
  EXPECT_EQ(w.notices[3].kind, ItemKind::DiffStatic);
  EXPECT_EQ(w.notices[3].serial, w.diff.serial);

  // An owner's refusal reaches the caller.
  EXPECT_THROW(items.move(&w.diff, 100, 0, 0), Error);
}

TEST(ItemsTest, LandCellsAndNoItemReachNoModel) {
  TempDir dir;
  World w(dir);
  TItems& items = *w.registry.items;
  // A land cell whose serial happens to be a static's serial still changes nothing.
  for (const ItemKind kind : {ItemKind::Land, ItemKind::LandTexture, ItemKind::None}) {
    TItem land = w.stat;
    land.kind = kind;
    items.setHue(&land, 9);
    items.remove(&land);
    items.move(&land, 1, 1, 1);
    items.select(&land);
  }
  items.setHue(nullptr, 9);
  items.move(nullptr, 1, 1, 1);
  EXPECT_EQ(w.staticNow(), w.stat);
  EXPECT_TRUE(w.notices.empty());
}

TEST(ItemsTest, AddAlwaysMakesAWorldFileItem) {
  TempDir dir;
  World w(dir);
  const std::int32_t serial = w.registry.items->add(0x400, 5, 6, -2, 3);
  EXPECT_EQ(serial, kWorldSerialBase + 1);
  const TItem added = w.registry.worldFile->items().at(1);
  EXPECT_EQ(added.kind, ItemKind::WorldUnwritten);
  EXPECT_EQ(added.tileId, 0x400);
  EXPECT_EQ(added.z, -2);
  EXPECT_EQ(w.registry.statics->itemCount(), 1u);
  EXPECT_EQ(w.registry.staticDiff->itemCount(), 1u);
  ASSERT_EQ(w.notices.size(), 1u);
  EXPECT_EQ(w.notices[0].edit, ItemEdit::Add);
  TItems unwired;
  EXPECT_THROW(unwired.add(1, 1, 1, 0, 0), Error);
}
