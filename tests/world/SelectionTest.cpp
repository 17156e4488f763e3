// The editor's selection against real models: bulk edits are one undo step that takes back
// exactly, a group travels as text and lands where it is pasted with its shape, items that would
// leave the world are left out and counted, and the search finds what the world holds now.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

#include "app/Error.h"
#include "app/Progress.h"
#include "models/Tiledata.h"
#include "registry/Registry.h"
#include "support/TestFiles.h"
#include "support/WorldFiles.h"
#include "world/EditorScene.h"
#include "world/FindPlaced.h"
#include "world/Items.h"
#include "world/Map.h"
#include "world/Selection.h"
#include "world/StaticDiff.h"
#include "world/Statics.h"
#include "world/WorldFile.h"

using namespace quillotide;
using quillotide::test::TempDir;

namespace {

Progress g_silent;
constexpr int kSide = 32;

// A 32 x 32 world: land at altitude 4 except the cells x >= 24 at 10, statics on both, one diff
// block, world-file items; every static block read.
struct World {
  explicit World(std::vector<test::PlacedStatic> placed = {{0x100, 3, 3, 4, 0},
                                                           {0x101, 4, 3, 6, 2},
                                                           {0x102, 4, 5, 20, 0},
                                                           {0x103, 30, 30, 10, 0}}) {
    test::writeBytes(dir.file("map0.mul"), test::makeMapBytes(kSide, kSide, [](int x, int) {
                       return test::CellSpec{3, static_cast<std::int8_t>(x >= 24 ? 10 : 4)};
                     }));
    r.map->open(dir.file("map0.mul"), kSide, kSide);
    const auto files = test::makeStaticsFiles(kSide, kSide, placed);
    test::writeBytes(dir.file("staidx0.mul"), files.index);
    test::writeBytes(dir.file("statics0.mul"), files.data);
    r.statics->open(dir.file("staidx0.mul"), dir.file("statics0.mul"), kSide, kSide,
                    StorageMode::Memory);
    r.staticDiff->setWorldSize(kSide, kSide);
    r.staticDiff->addItem(0x200, 17, 9, 5, 0);
    std::filesystem::create_directories(dir.file("diffs"));
    r.staticDiff->saveDiffs(dir.file("diffs"), StaticsSaveMode::StaticsOnly, nullptr);
    r.staticDiff->loadDiffs(dir.file("diffs"));
    r.worldFile->add(0x300, 6, 6, 0, 0);
    r.statics->getItemsInRect(0, kSide - 1, 0, kSide - 1);
    std::vector<TItem> diffItems;
    r.staticDiff->appendItemsInRect(0, kSide - 1, 0, kSide - 1, diffItems);
    edits.setModels(models());
  }
  WorldModels models() const {
    return {r.map.get(), r.statics.get(), r.staticDiff.get(), r.worldFile.get(), r.items.get()};
  }
  std::vector<TItem> staticsAt(int x, int y) const { return r.statics->itemsAt(x, y); }
  TItem staticAt(int x, int y) const {
    const auto here = staticsAt(x, y);
    EXPECT_EQ(here.size(), 1u) << x << "," << y;
    return here.empty() ? TItem{} : here.front();
  }
  TItem diffItem() const { return *r.staticDiff->item(kDiffSerialBase); }
  TItem worldItem(std::int32_t serial = kWorldSerialBase) const {
    return *r.worldFile->item(serial);
  }
  // Everything a save writes, item by item, with serials.
  std::tuple<std::vector<TItem>, std::vector<TItem>, std::vector<TItem>> held() const {
    std::vector<TItem> statics, diffs;
    for (std::size_t i = 0; i < r.statics->itemCount(); ++i)
      statics.push_back(*r.statics->item(kStaticSerialBase + static_cast<std::int32_t>(i)));
    for (std::size_t i = 0; i < r.staticDiff->itemCount(); ++i)
      diffs.push_back(*r.staticDiff->item(kDiffSerialBase + static_cast<std::int32_t>(i)));
    return {statics, diffs, r.worldFile->items()};
  }

  TempDir dir;
  Registry r;
  UndoStack stack;
  WorldEdits edits{stack};
  Selection selection;
};

using Key = std::tuple<int, int, int, int, int>;
Key keyOf(const TItem& it) { return {it.tileId, it.x, it.y, it.z, it.hue}; }

}  // namespace

TEST(SelectionTest, HoldsItemsOfEveryOwnerByOwnerAndSerialButNoLand) {
  World w;
  const TItem s = w.staticAt(3, 3);
  const TItem d = w.diffItem();
  TItem wf = w.worldItem();
  w.selection.follow(w.models());
  w.selection.add(s);
  w.selection.add(d);
  w.selection.add(wf);
  w.selection.add(s);
  TItem land;
  land.kind = ItemKind::Land;
  w.selection.add(land);
  EXPECT_EQ(w.selection.size(), 3u);
  // A world-file item written to a text file is still the same item.
  wf.kind = ItemKind::WorldWritten;
  EXPECT_TRUE(w.selection.contains(wf));
  // The same serial of another owner is another item.
  TItem other = s;
  other.kind = ItemKind::DiffStatic;
  EXPECT_FALSE(w.selection.contains(other));
  w.selection.toggle(s);
  EXPECT_FALSE(w.selection.contains(s));

  // The copies held take the selection's look; the others keep theirs (a hovered item's
  // highlight), and a held copy under the mouse has both.
  std::vector<TItem> copies = {s, d, wf, land};
  copies[0].selected = kHoverLook;
  copies[1].selected = kHoverLook;
  w.selection.mark(copies, w.models());
  EXPECT_EQ(copies[0].selected, kHoverLook);
  EXPECT_EQ(copies[1].selected, kHoverLook | kSelectionLook);
  EXPECT_EQ(copies[2].selected, kSelectionLook);
  EXPECT_EQ(copies[3].selected, 0);
}

TEST(SelectionTest, EachBulkEditIsOneStepThatUndoTakesBackExactly) {
  World w;
  const auto untouched = w.held();
  w.selection.follow(w.models());
  for (const TItem& it : {w.staticAt(3, 3), w.staticAt(4, 3), w.diffItem(), w.worldItem()})
    w.selection.add(it);

  BulkResult moved = w.selection.move(w.edits, 1, 1, 3);
  EXPECT_EQ(moved.changed, 4u);
  EXPECT_EQ(moved.leftOut, 0u);
  EXPECT_EQ(w.stack.size(), 1u);
  EXPECT_EQ(w.stack.undoLabel(), "Move");
  EXPECT_EQ(w.staticAt(4, 4).tileId, 0x100);
  EXPECT_EQ(w.staticAt(4, 4).z, 7);
  EXPECT_EQ(w.diffItem().x, 18);
  EXPECT_EQ(w.worldItem().y, 7);
  const auto afterMove = w.held();

  EXPECT_EQ(w.selection.setHue(w.edits, 9).changed, 4u);
  EXPECT_EQ(w.selection.setTileId(w.edits, 0x150).changed, 4u);
  EXPECT_EQ(w.stack.size(), 3u);
  EXPECT_EQ(w.diffItem().hue, 9);
  EXPECT_EQ(w.worldItem().tileId, 0x150);
  EXPECT_EQ(w.selection.remove(w.edits).changed, 4u);
  EXPECT_TRUE(w.selection.empty());
  EXPECT_EQ(w.stack.size(), 4u);
  EXPECT_TRUE(w.staticsAt(4, 4).empty());
  EXPECT_TRUE(w.worldItem().deleted);

  w.stack.undo();
  w.stack.undo();
  w.stack.undo();
  EXPECT_EQ(w.held(), afterMove);
  w.stack.undo();
  EXPECT_EQ(w.held(), untouched);
  w.stack.redo();
  EXPECT_EQ(w.held(), afterMove);
}

TEST(SelectionTest, AMoveLeavesTheItemsThatWouldLeaveTheWorldAndCountsThem) {
  World w;
  w.selection.follow(w.models());
  const TItem edge = w.staticAt(30, 30);
  for (const TItem& it : {w.staticAt(3, 3), edge, w.worldItem()}) w.selection.add(it);
  const BulkResult r = w.selection.move(w.edits, 2, 0, 0);
  EXPECT_EQ(r.changed, 2u);
  EXPECT_EQ(r.leftOut, 1u);
  EXPECT_EQ(w.staticAt(30, 30), edge);
  EXPECT_EQ(w.staticAt(5, 3).tileId, 0x100);
  EXPECT_EQ(w.worldItem().x, 8);
  EXPECT_EQ(leftOutMessage(r.leftOut), "1 item was left out: it would lie outside the world.");
  EXPECT_EQ(leftOutMessage(3), "3 items were left out: they would lie outside the world.");
  EXPECT_EQ(leftOutMessage(0), "");
  // Altitudes clamp instead of wrapping.
  w.selection.move(w.edits, 0, 0, 200);
  EXPECT_EQ(w.staticAt(5, 3).z, 127);
  EXPECT_EQ(w.worldItem().z, 127);
  EXPECT_EQ(w.stack.size(), 2u);
}

TEST(SelectionTest, GroupTextIsThePlainWorldFormatRelativeToTheFirstItem) {
  World w;
  const std::vector<TItem> group = {w.staticAt(4, 3), w.staticAt(3, 3), w.staticAt(4, 5)};
  // The first item stands at 4,3 on ground 4.
  const std::string text = groupText(group, 4);
  EXPECT_EQ(text, "0x101 0 0 2 0x2\n0x100 -1 0 0 0x0\n0x102 0 2 16 0x0\n");
  const std::vector<GroupItem> back = parseGroupText(text);
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back[1], (GroupItem{0x100, -1, 0, 0, 0}));
  EXPECT_EQ(back[2], (GroupItem{0x102, 0, 2, 16, 0}));

  // A text from an editor: CR LF, blank lines, blanks around; absolute positions read relative
  // to the first line, altitudes as heights.
  const auto edited = parseGroupText("\r\n  0x5 100 200 3 0x0  \r\n\r\n0x6 98 201 -2 0x1F\r\n");
  ASSERT_EQ(edited.size(), 2u);
  EXPECT_EQ(edited[0], (GroupItem{5, 0, 0, 3, 0}));
  EXPECT_EQ(edited[1], (GroupItem{6, -2, 1, -2, 0x1F}));
  EXPECT_TRUE(parseGroupText("").empty());

  // A bad line names itself and yields nothing.
  try {
    parseGroupText("0x5 1 1 0 0\nhello 1 1 0 0\n");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "Line 2: 'hello' is not a valid integer value");
  }
  EXPECT_THROW(parseGroupText("0x10000 1 1 0 0"), Error);
  // A line short of values is named with what it lacks, not as a list index.
  const auto said = [](const std::string& groupLines) {
    try {
      parseGroupText(groupLines);
    } catch (const Error& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(said("0x5 1 1 0 0\n\n0x5 1 1\n"),
            "Line 3: '0x5 1 1' holds 3 of the 5 values of an item: id x y z hue.");
  // Ids the tool windows refuse are refused here too; the last they offer is taken.
  EXPECT_EQ(said("0x4000 1 1 0 0"), "Line 1: the id 16384 does not fit (0 to 16383).");
  EXPECT_EQ(parseGroupText("0x3FFF 1 1 0 0").front().id, 0x3FFF);
}

TEST(SelectionTest, APastedGroupPatchedIntoTheStaticsKeepsItsShapeOnTheNewGround) {
  World w;
  const std::vector<TItem> copied = {w.staticAt(4, 3), w.staticAt(3, 3), w.staticAt(4, 5)};
  const std::string text = groupText(copied, 4);

  // Pasted on cell 25,20, whose ground lies at 10: six higher than where it came from.
  const BulkResult r = w.selection.paste(w.edits, parseGroupText(text), 25, 20, 10);
  EXPECT_EQ(r.changed, 3u);
  EXPECT_EQ(r.leftOut, 0u);
  EXPECT_EQ(w.stack.size(), 1u);
  EXPECT_EQ(w.stack.undoLabel(), "Paste");
  EXPECT_EQ(w.selection.size(), 3u);
  EXPECT_EQ(w.r.worldFile->unwrittenItems().size(), 4u);

  const auto message = w.r.statics->save(w.dir.file("staidx0.mul"), w.dir.file("statics0.mul"),
                                         StaticsSaveMode::WithUnwrittenItems,
                                         w.r.worldFile.get(), g_silent);
  ASSERT_TRUE(message.has_value());
  TStatics reread;
  reread.open(w.dir.file("staidx0.mul"), w.dir.file("statics0.mul"), kSide, kSide,
              StorageMode::Memory);
  std::vector<Key> pasted;
  for (const TItem& it : reread.getItemsInRect(23, 27, 18, 24)) pasted.push_back(keyOf(it));
  std::sort(pasted.begin(), pasted.end());
  std::vector<Key> expected;
  for (const TItem& it : copied)
    expected.push_back({it.tileId, it.x + 21, it.y + 17, it.z + 6, it.hue});
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(pasted, expected);
}

TEST(SelectionTest, APasteOverTheEdgePlacesTheItemsInsideAndUndoTakesAllBack) {
  World w;
  const auto untouched = w.held();
  const std::vector<GroupItem> group = {{0x10, 0, 0, 0, 0}, {0x11, 1, 0, 0, 0},
                                        {0x12, 2, 0, 0, 0}, {0x13, 0, -1, 0, 0}};
  const BulkResult r = w.selection.paste(w.edits, group, 30, 0, 127);
  EXPECT_EQ(r.changed, 2u);
  EXPECT_EQ(r.leftOut, 2u);
  EXPECT_EQ(w.r.worldFile->size(), 3u);
  EXPECT_EQ(w.worldItem(kWorldSerialBase + 2).x, 31);
  w.stack.undo();
  EXPECT_EQ(w.held(), untouched);
  w.stack.redo();
  EXPECT_EQ(w.r.worldFile->size(), 3u);
}

TEST(SelectionTest, ItemsOfAnOwnerThatNumberedItsItemsAfreshAreForgotten) {
  World w;
  w.selection.follow(w.models());
  w.selection.add(w.staticAt(3, 3));
  w.selection.add(w.worldItem());
  w.r.statics->save(w.dir.file("staidx0.mul"), w.dir.file("statics0.mul"),
                    StaticsSaveMode::StaticsOnly, nullptr, g_silent);
  const std::vector<TItem> left = w.selection.items(w.models());
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].kind, ItemKind::WorldUnwritten);
  // A cleared world file gives its serials to new items: those are not selected.
  w.r.worldFile->clear();
  std::vector<TItem> none;
  w.selection.mark(none, w.models());
  const std::int32_t again = w.r.worldFile->add(0x300, 6, 6, 0, 0);
  EXPECT_FALSE(w.selection.contains(*w.r.worldFile->item(again)));
}

TEST(SelectionTest, TensOfThousandsOfItemsMoveAndGoAsOneStepEach) {
  // 160 x 160 cells, one static on each: 25,600 statics, every one selected.
  constexpr int kBig = 160;
  std::vector<test::PlacedStatic> placed;
  for (int x = 0; x < kBig; ++x)
    for (int y = 0; y < kBig; ++y)
      placed.push_back({static_cast<std::uint16_t>(0x100 + (x + y) % 4), x, y, 0, 0});
  TempDir dir;
  Registry r;
  const auto files = test::makeStaticsFiles(kBig, kBig, placed);
  r.statics->openBytes(files.index, files.data, kBig, kBig);
  UndoStack stack;
  WorldEdits edits(stack);
  const WorldModels models{nullptr, r.statics.get(), nullptr, r.worldFile.get(), r.items.get()};
  edits.setModels(models);
  Selection selection;
  selection.follow(models);
  for (const TItem& it : r.statics->getItemsInRect(0, kBig - 1, 0, kBig - 1)) selection.add(it);
  ASSERT_EQ(selection.size(), placed.size());

  const BulkResult moved = selection.move(edits, 0, 1, 0);
  EXPECT_EQ(moved.changed, placed.size() - kBig);
  EXPECT_EQ(moved.leftOut, static_cast<std::size_t>(kBig));
  EXPECT_EQ(stack.size(), 1u);
  const BulkResult gone = selection.remove(edits);
  EXPECT_EQ(gone.changed, placed.size());
  EXPECT_EQ(stack.size(), 2u);
  EXPECT_TRUE(r.statics->getItemsInRect(0, kBig - 1, 0, kBig - 1).empty());
  stack.undo();
  stack.undo();
  std::vector<Key> back;
  for (const TItem& it : r.statics->getItemsInRect(0, kBig - 1, 0, kBig - 1))
    back.push_back(keyOf(it));
  std::vector<Key> expected;
  for (const auto& p : placed) expected.push_back({p.id, p.x, p.y, p.z, p.hue});
  std::sort(back.begin(), back.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(back, expected);
}

TEST(SelectionTest, FindListsWhatTheWorldHoldsNowOfAnIdARangeOrAName) {
  // Block (0,0) is read and edited; block (3,3) stays in the files.
  World w({{0x70, 3, 3, 4, 0}, {0x71, 4, 3, 6, 2}, {0x70, 26, 27, 1, 5}});
  w.r.worldFile->add(0x70, 12, 13, 2, 0);
  w.r.staticDiff->addItem(0x71, 17, 10, 0, 0);
  // Opened again: only the block read below is in the lists.
  TStatics& statics = *w.r.statics;
  statics.open(w.dir.file("staidx0.mul"), w.dir.file("statics0.mul"), kSide, kSide,
               StorageMode::Memory);
  const WorldModels m = w.models();
  statics.getItemsInRect(0, 7, 0, 7);
  const TItem first = statics.itemsAt(3, 3).front();
  w.edits.move(first, 8, 0, 0);

  std::vector<Key> found;
  for (const TItem& it : findPlaced(IdFilter("0x70"), m, nullptr, g_silent))
    found.push_back(keyOf(it));
  EXPECT_EQ(found, (std::vector<Key>{{0x70, 26, 27, 1, 5}, {0x70, 11, 3, 4, 0},
                                     {0x70, 12, 13, 2, 0}}));
  // The static moved keeps its serial; those of blocks not read yet have none.
  const auto items = findPlaced(IdFilter("0x70"), m, nullptr, g_silent);
  EXPECT_EQ(items[0].serial, -1);
  EXPECT_EQ(items[1].serial, first.serial);

  EXPECT_EQ(findPlaced(IdFilter("0x71-0x70"), m, nullptr, g_silent).size(), 5u);
  w.edits.remove(*statics.item(first.serial));
  EXPECT_EQ(findPlaced(IdFilter("112"), m, nullptr, g_silent).size(), 2u);

  EXPECT_THROW(findPlaced(IdFilter("lamp"), m, nullptr, g_silent), Error);
  EXPECT_THROW(findPlaced(IdFilter(""), m, nullptr, g_silent), Error);
  TTiledata tiledata;
  // The land section and 1188 bytes per group of 32 statics: 4 groups, ids 0 .. 0x7F.
  tiledata.loadBytes(Bytes(428032 + 1188 * 4, 0), TiledataLayout::Classic);
  StaticTileRecord lamp;
  lamp.name = makeTileName("Lamp Post");
  tiledata.writeStatic(0x71, lamp);
  std::vector<Key> lamps;
  for (const TItem& it : findPlaced(IdFilter("lamp"), m, &tiledata, g_silent))
    lamps.push_back(keyOf(it));
  EXPECT_EQ(lamps, (std::vector<Key>{{0x71, 4, 3, 6, 2}, {0x71, 17, 10, 0, 0}}));
}
