// Undo and redo of world edits against real models: what a save writes after edits made, undone
// and redone must be what it writes after the same net edits made by hand.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>
#include <tuple>
#include <random>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Progress.h"
#include "registry/Registry.h"
#include "world/Items.h"
#include "world/Map.h"
#include "world/StaticDiff.h"
#include "world/Statics.h"
#include "world/WorldFile.h"
#include "world/WorldUndo.h"
#include "support/TestFiles.h"
#include "support/WorldFiles.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

Progress g_silent;
constexpr int kSide = 32;

std::vector<test::PlacedStatic> placedStatics(unsigned seed, int count) {
  std::mt19937 random(seed);
  std::vector<test::PlacedStatic> out;
  for (int i = 0; i < count; ++i)
    out.push_back({static_cast<std::uint16_t>(0x100 + random() % 8),
                   static_cast<int>(random() % kSide), static_cast<int>(random() % kSide),
                   static_cast<std::int8_t>(random() % 40), static_cast<std::uint16_t>(random() % 3)});
  return out;
}

// A 32 x 32 world on disk and in memory: map, statics, a static diff of two blocks and a world
// file, every block read, so that two worlds built alike number their items alike.
struct World {
  explicit World(unsigned seed = 1) {
    test::writeBytes(dir.file("map0.mul"), test::makeMapBytes(kSide, kSide, [](int x, int y) {
                       return test::CellSpec{static_cast<std::uint16_t>(3 + (x + y) % 5),
                                             static_cast<std::int8_t>((x * y) % 7)};
                     }));
    r.map->open(dir.file("map0.mul"), kSide, kSide);
    const auto files = test::makeStaticsFiles(kSide, kSide, placedStatics(seed, 40));
    r.statics->openBytes(files.index, files.data, kSide, kSide);
    r.staticDiff->setWorldSize(kSide, kSide);
    for (const auto& [x, y] : {std::pair{1, 1}, {2, 3}, {5, 6}, {17, 9}, {20, 12}, {18, 2}})
      r.staticDiff->addItem(0x200, x, y, 5, 0);
    std::filesystem::create_directories(dir.file("diffs"));
    r.staticDiff->saveDiffs(dir.file("diffs"), StaticsSaveMode::StaticsOnly, nullptr);
    r.staticDiff->loadDiffs(dir.file("diffs"));
    r.worldFile->add(0x300, 4, 4, 0, 0);
    r.worldFile->add(0x301, 30, 2, 10, 7);
    r.statics->getItemsInRect(0, kSide - 1, 0, kSide - 1);
    std::vector<TItem> diffItems;
    r.staticDiff->appendItemsInRect(0, kSide - 1, 0, kSide - 1, diffItems);
    edits.setModels({r.map.get(), r.statics.get(), r.staticDiff.get(), r.worldFile.get(),
                     r.items.get()});
  }

  // The item of an owner by kind and serial, as the editor would hand it in.
  TItem item(ItemKind kind, std::int32_t serial) const {
    std::optional<TItem> found;
    if (kind == ItemKind::Static) found = r.statics->item(serial);
    if (kind == ItemKind::DiffStatic) found = r.staticDiff->item(serial);
    if (kind == ItemKind::WorldUnwritten || kind == ItemKind::WorldWritten)
      found = r.worldFile->item(serial);
    EXPECT_TRUE(found.has_value());
    return found.value_or(TItem{});
  }
  // The diff item standing on the cell.
  TItem diffAt(int x, int y) const {
    for (std::size_t i = 0; i < r.staticDiff->itemCount(); ++i) {
      const TItem it = *r.staticDiff->item(kDiffSerialBase + static_cast<std::int32_t>(i));
      if (it.x == x && it.y == y) return it;
    }
    ADD_FAILURE() << "no diff item at " << x << "," << y;
    return {};
  }

  TempDir dir;
  Registry r;
  UndoStack stack;
  WorldEdits edits{stack};
};

// Everything the models hold that undo must give back: items with serials and deleted flags, the
// change marks of every block, the map's unsaved flag.
struct ModelState {
  std::vector<TItem> statics, diffs, world;
  std::vector<bool> staticMarks, diffMarks, mapMarks;
  bool mapUnsaved = false;
  bool staticsUnsaved = false;
  bool operator==(const ModelState&) const = default;
};

ModelState stateOf(World& w) {
  ModelState s;
  Registry& r = w.r;
  for (std::size_t i = 0; i < r.statics->itemCount(); ++i)
    s.statics.push_back(*r.statics->item(kStaticSerialBase + static_cast<std::int32_t>(i)));
  for (std::size_t i = 0; i < r.staticDiff->itemCount(); ++i)
    s.diffs.push_back(*r.staticDiff->item(kDiffSerialBase + static_cast<std::int32_t>(i)));
  s.world = r.worldFile->items();
  for (std::int64_t b = 0; b < r.statics->blockCount(); ++b) {
    s.staticMarks.push_back(r.statics->blockChanged(b));
    s.diffMarks.push_back(r.staticDiff->blockChanged(b));
    s.mapMarks.push_back(r.map->blockChanged(b));
  }
  s.mapUnsaved = r.map->hasUnsavedChanges();
  s.staticsUnsaved = r.statics->hasUnsavedChanges();
  return s;
}

// What "Patch Map", "Patch Statics", "Save StaticDiffs" and a world-file save write.
struct Saved {
  int mapBlocks = 0;
  Bytes map, staticsIndex, staticsData, diffList, diffIndex, diffData;
  std::optional<std::string> staticsMessage;
  std::optional<std::size_t> diffBlocks;
  std::vector<std::string> worldLines;
  bool operator==(const Saved&) const = default;
};

Saved saveAll(World& w) {
  Saved s;
  Registry& r = w.r;
  const TempDir& d = w.dir;
  s.mapBlocks = r.map->saveChangedBlocks();
  s.map = test::readBytes(d.file("map0.mul"));
  s.staticsMessage = r.statics->save(d.file("staidx0.mul"), d.file("statics0.mul"),
                                     StaticsSaveMode::StaticsOnly, r.worldFile.get(), g_silent);
  s.staticsIndex = test::readBytes(d.file("staidx0.mul"));
  s.staticsData = test::readBytes(d.file("statics0.mul"));
  std::filesystem::create_directories(d.file("saved"));
  s.diffBlocks =
      r.staticDiff->saveDiffs(d.file("saved"), StaticsSaveMode::StaticsOnly, r.worldFile.get());
  if (s.diffBlocks) {
    s.diffList = test::readBytes(d.file("saved/Stadifl0.mul"));
    s.diffIndex = test::readBytes(d.file("saved/Stadifi0.mul"));
    s.diffData = test::readBytes(d.file("saved/Stadif0.mul"));
  }
  s.worldLines = r.worldFile->lines(WorldTextFormat::Plain);
  return s;
}

// One item edit, as the tools make them.
enum class Edit { Remove, Hue, TileId, MoveNear, MoveFar };

void makeEdit(WorldEdits& edits, const TItem& it, Edit edit) {
  switch (edit) {
    case Edit::Remove:
      edits.remove(it);
      break;
    case Edit::Hue:
      edits.setHue(it, 0x55);
      break;
    case Edit::TileId:
      edits.setTileId(it, 0x123);
      break;
    case Edit::MoveNear:  // within the item's block
      edits.move(it, it.x % 8 < 7 ? 1 : -1, 0, 3);
      break;
    case Edit::MoveFar:  // into another block the owner holds
      edits.move(it, it.x < 16 ? 16 : -16, 0, -2);
      break;
  }
}

// The same edit straight through the dispatcher, with nothing recorded.
void makeEditByHand(TItems& items, const TItem& it, Edit edit) {
  switch (edit) {
    case Edit::Remove:
      items.remove(&it);
      break;
    case Edit::Hue:
      items.setHue(&it, 0x55);
      break;
    case Edit::TileId:
      items.setTileId(&it, 0x123);
      break;
    case Edit::MoveNear:
      items.move(&it, it.x % 8 < 7 ? 1 : -1, 0, 3);
      break;
    case Edit::MoveFar:
      items.move(&it, it.x < 16 ? 16 : -16, 0, -2);
      break;
  }
}

}  // namespace

TEST(WorldUndoTest, EveryItemEditOfEveryOwnerIsTakenBackExactlyAndMadeAgain) {
  const Saved untouched = [] {
    World w;
    return saveAll(w);
  }();
  for (const ItemKind kind : {ItemKind::Static, ItemKind::DiffStatic, ItemKind::WorldUnwritten}) {
    for (const Edit edit :
         {Edit::Remove, Edit::Hue, Edit::TileId, Edit::MoveNear, Edit::MoveFar}) {
      SCOPED_TRACE(testing::Message() << "kind " << int(kind) << " edit " << int(edit));
      // The diff holds the block of (1,1) and the one 16 cells east of it.
      World w;
      const std::int32_t serial = kind == ItemKind::Static       ? kStaticSerialBase
                                  : kind == ItemKind::DiffStatic ? w.diffAt(1, 1).serial
                                                                 : kWorldSerialBase;
      const ModelState before = stateOf(w);
      makeEdit(w.edits, w.item(kind, serial), edit);
      ASSERT_EQ(w.stack.size(), 1u);
      const ModelState after = stateOf(w);
      EXPECT_NE(after, before);
      w.stack.undo();
      EXPECT_EQ(stateOf(w), before);
      w.stack.redo();
      EXPECT_EQ(stateOf(w), after);

      World byHand;
      makeEditByHand(*byHand.r.items, byHand.item(kind, serial), edit);
      EXPECT_EQ(stateOf(byHand), after);
      EXPECT_EQ(saveAll(w), saveAll(byHand));

      // Undone, a save writes what the untouched world writes: no block is marked changed.
      World undone;
      makeEdit(undone.edits, undone.item(kind, serial), edit);
      undone.stack.undo();
      EXPECT_EQ(saveAll(undone), untouched);
    }
  }
}

TEST(WorldUndoTest, AStrokeOfLandCellsComesBackWithItsBytesAndMarks) {
  World w;
  World plain;
  const Saved untouched = [] {
    World u;
    return saveAll(u);
  }();
  const ModelState before = stateOf(w);
  w.stack.beginGroup("Raise");
  for (int x = 3; x < 12; ++x) {  // crosses from block 0 into block 4
    w.edits.editCell(x, 5, [x](TMap& m) {
      m.setTileId(x, 5, 0x77);
      m.addAltitude(x, 5, 200);  // clamped at 127
    });
    plain.r.map->setTileId(x, 5, 0x77);
    plain.r.map->addAltitude(x, 5, 200);
  }
  // Outside the map nothing happens and nothing is recorded.
  w.edits.editCell(kSide, 0, [](TMap& m) { m.setTileId(kSide, 0, 1); });
  w.stack.endGroup();
  ASSERT_EQ(w.stack.size(), 1u);
  const ModelState after = stateOf(w);
  w.stack.undo();
  EXPECT_EQ(stateOf(w), before);
  w.stack.redo();
  EXPECT_EQ(stateOf(w), after);
  EXPECT_EQ(stateOf(w), stateOf(plain));
  w.stack.undo();
  EXPECT_EQ(saveAll(w), untouched);
  EXPECT_EQ(untouched.mapBlocks, 0);

  // Patched, then undone: the cells are marked changed again and the next patch writes them.
  World p;
  for (int x = 3; x < 12; ++x) p.edits.editCell(x, 5, [x](TMap& m) { m.setTileId(x, 5, 0x77); });
  EXPECT_EQ(p.r.map->saveChangedBlocks(), 2);
  while (p.stack.canUndo()) p.stack.undo();
  EXPECT_TRUE(p.r.map->hasUnsavedChanges());
  EXPECT_EQ(p.r.map->saveChangedBlocks(), 2);
  EXPECT_EQ(test::readBytes(p.dir.file("map0.mul")), untouched.map);
}

TEST(WorldUndoTest, WorldFileAddsLoadsAndClearsComeBackWithTheirSerials) {
  World w;
  const std::vector<TItem> start = w.r.worldFile->items();
  w.stack.beginGroup("Tile");
  for (int x = 0; x < 3; ++x) w.edits.add(0x400, static_cast<std::uint16_t>(x), 9, 0, 0);
  w.stack.endGroup();
  const std::vector<TItem> tiled = w.r.worldFile->items();
  test::writeText(w.dir.file("items.txt"), "0x500 1 2 3 0x0\n0x501 4 5 6 0x1\n");
  EXPECT_EQ(w.edits.loadWorldFile(w.dir.file("items.txt"), WorldTextFormat::Plain), 2u);
  const std::vector<TItem> loaded = w.r.worldFile->items();
  w.edits.clearWorldFile();
  EXPECT_TRUE(w.r.worldFile->empty());
  EXPECT_EQ(w.stack.size(), 3u);
  // A load that stops at a bad line keeps the items before it, and they are one step too.
  test::writeText(w.dir.file("bad.txt"), "0x600 1 1 1 0x0\n0x601 x 1 1 0x0\n");
  EXPECT_THROW(w.edits.loadWorldFile(w.dir.file("bad.txt"), WorldTextFormat::Plain), Error);
  EXPECT_EQ(w.r.worldFile->size(), 1u);
  EXPECT_EQ(w.stack.size(), 4u);

  w.stack.undo();
  EXPECT_TRUE(w.r.worldFile->empty());
  w.stack.undo();
  EXPECT_EQ(w.r.worldFile->items(), loaded);
  w.stack.undo();
  EXPECT_EQ(w.r.worldFile->items(), tiled);
  w.stack.undo();
  EXPECT_EQ(w.r.worldFile->items(), start);
  // The serials of the taken-back items are free again, as if they had never been made.
  World plain;
  EXPECT_EQ(w.r.items->add(1, 1, 1, 0, 0), plain.r.items->add(1, 1, 1, 0, 0));
  w.r.worldFile->truncate(start.size());
  for (int i = 0; i < 3; ++i) w.stack.redo();
  EXPECT_EQ(w.r.worldFile->items().size(), 0u);
  w.stack.undo();
  EXPECT_EQ(w.r.worldFile->items(), loaded);
}

TEST(WorldUndoTest, AfterAPatchUndoWritesTheRevertedStateAndRedoTheEditedOne) {
  // Every static of the world by what it holds, as the statics files store them.
  const auto contents = [](const TempDir& d) {
    TStatics s;
    s.open(d.file("staidx0.mul"), d.file("statics0.mul"), kSide, kSide, StorageMode::Memory);
    std::multiset<std::tuple<int, int, int, int, int>> out;
    for (const TItem& it : s.getItemsInRect(0, kSide - 1, 0, kSide - 1))
      out.insert({it.tileId, it.x, it.y, it.z, it.hue});
    return out;
  };
  World original;
  saveAll(original);
  const auto before = contents(original.dir);

  World w;
  const TItem a = w.item(ItemKind::Static, kStaticSerialBase);
  const TItem b = w.item(ItemKind::Static, kStaticSerialBase + 5);
  const TItem c = w.item(ItemKind::Static, kStaticSerialBase + 9);
  w.edits.remove(a);
  w.edits.setHue(b, 0x77);
  w.edits.move(c, c.x < 16 ? 9 : -9, 1, 0);
  const TItem d = w.diffAt(1, 1);
  w.edits.remove(d);
  saveAll(w);
  const auto edited = contents(w.dir);
  EXPECT_NE(edited, before);
  EXPECT_FALSE(w.r.statics->hasUnsavedChanges());

  // The statics are numbered afresh; undo finds each static again by what it holds.
  while (w.stack.canUndo()) w.stack.undo();
  EXPECT_TRUE(w.r.statics->hasUnsavedChanges());
  const Saved reverted = saveAll(w);
  EXPECT_EQ(contents(w.dir), before);
  ASSERT_TRUE(reverted.diffBlocks.has_value());
  TStaticDiff diffs;
  diffs.setWorldSize(kSide, kSide);
  diffs.loadDiffs(w.dir.file("saved"));
  std::vector<TItem> diffItems;
  diffs.appendItemsInRect(0, kSide - 1, 0, kSide - 1, diffItems);
  EXPECT_EQ(diffItems.size(), 6u);

  while (w.stack.canRedo()) w.stack.redo();
  saveAll(w);
  EXPECT_EQ(contents(w.dir), edited);
}

TEST(WorldUndoTest, AWorldFileItemAPatchTookIntoTheStaticsIsFollowedThere) {
  World w;
  // The world file's own items are written first, so that only the new one goes along.
  w.r.worldFile->save(w.dir.file("world.txt"), WorldTextFormat::Plain);
  const std::int32_t serial = w.edits.add(0x700, 12, 13, 4, 0);
  w.edits.setHue(w.item(ItemKind::WorldUnwritten, serial), 0x33);
  w.r.statics->save(w.dir.file("staidx0.mul"), w.dir.file("statics0.mul"),
                    StaticsSaveMode::WithUnwrittenItems, w.r.worldFile.get(), g_silent);
  ASSERT_FALSE(w.r.worldFile->item(serial).has_value());
  const auto at = [&w] { return w.r.statics->itemsAt(12, 13); };
  ASSERT_EQ(at().size(), 1u);
  EXPECT_EQ(at()[0].hue, 0x33);

  // Undone, the recolour and then the add reach the static the patch made.
  w.stack.undo();
  ASSERT_EQ(at().size(), 1u);
  EXPECT_EQ(at()[0].hue, 0);
  w.stack.undo();
  EXPECT_TRUE(at().empty());
  EXPECT_TRUE(w.r.statics->hasUnsavedChanges());
  // Made again, it is the recoloured static it had become, and nothing else.
  w.stack.redo();
  w.stack.redo();
  ASSERT_EQ(at().size(), 1u);
  EXPECT_EQ(at()[0].hue, 0x33);
  std::vector<TItem> inWorldFile;
  w.r.worldFile->appendItemsInRect(12, 12, 13, 13, inWorldFile);
  EXPECT_TRUE(inWorldFile.empty());
}

TEST(WorldUndoTest, ARandomRunWithUndoAndRedoSavesWhatTheNetEditsSave) {
  for (unsigned seed = 1; seed <= 3; ++seed) {
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    World w(seed);
    World byHand(seed);
    std::mt19937 random(seed * 7919);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };

    // What the net steps are: the edits of each step in order, kept as the stack keeps steps.
    using Replay = std::function<void(World&)>;
    std::vector<std::vector<Replay>> steps;
    std::size_t done = 0;

    // One random edit on `w`; returns how to make it by hand, or nothing when it did nothing.
    const auto randomEdit = [&]() -> std::optional<Replay> {
      const int what = pick(10);
      if (what < 6) {
        const ItemKind kind = what < 3   ? ItemKind::Static
                              : what < 4 ? ItemKind::DiffStatic
                                         : ItemKind::WorldUnwritten;
        std::vector<TItem> live;
        for (const TItem& it : kind == ItemKind::Static       ? stateOf(w).statics
                               : kind == ItemKind::DiffStatic ? stateOf(w).diffs
                                                              : stateOf(w).world)
          if (!it.deleted) live.push_back(it);
        if (live.empty()) return std::nullopt;
        const TItem it = live[static_cast<std::size_t>(pick(static_cast<int>(live.size())))];
        const Edit edit = static_cast<Edit>(pick(4));  // within blocks: diff moves stay legal
        makeEdit(w.edits, it, edit);
        return [it, edit](World& h) { makeEditByHand(*h.r.items, h.item(it.kind, it.serial), edit); };
      }
      if (what < 7) {
        const auto x = static_cast<std::uint16_t>(pick(kSide)), y = static_cast<std::uint16_t>(pick(kSide));
        const auto id = static_cast<std::uint16_t>(0x700 + pick(4));
        w.edits.add(id, x, y, 1, 0);
        return [=](World& h) { h.r.items->add(id, x, y, 1, 0); };
      }
      const int x = pick(kSide), y = pick(kSide), z = pick(60) - 30;
      const auto id = static_cast<std::uint16_t>(pick(3));
      w.edits.editCell(x, y, [=](TMap& m) {
        m.setTileId(x, y, id);
        m.setAltitude(x, y, z);
      });
      return [=](World& h) {
        h.r.map->setTileId(x, y, id);
        h.r.map->setAltitude(x, y, z);
      };
    };

    for (int round = 0; round < 300; ++round) {
      const int what = pick(10);
      if (what < 2) {
        if (done > 0) {
          w.stack.undo();
          --done;
        }
        continue;
      }
      if (what < 4) {
        if (done < steps.size()) {
          w.stack.redo();
          ++done;
        }
        continue;
      }
      // One edit, or a group of up to four, as one step.
      const std::size_t sizeBefore = w.stack.size();
      const bool couldRedo = w.stack.canRedo();
      std::vector<Replay> step;
      const int count = what < 8 ? 1 : 2 + pick(3);
      if (count > 1) w.stack.beginGroup("Group");
      for (int i = 0; i < count; ++i)
        if (auto replay = randomEdit()) step.push_back(*replay);
      if (count > 1) w.stack.endGroup();
      const bool recorded = w.stack.size() != sizeBefore || (couldRedo && !w.stack.canRedo());
      if (!recorded) continue;
      steps.resize(done);
      steps.push_back(std::move(step));
      ++done;
      ASSERT_EQ(w.stack.size(), steps.size());
    }
    for (std::size_t s = 0; s < done; ++s)
      for (const Replay& replay : steps[s]) replay(byHand);

    EXPECT_EQ(stateOf(w), stateOf(byHand));
    EXPECT_EQ(saveAll(w), saveAll(byHand));
  }
}
