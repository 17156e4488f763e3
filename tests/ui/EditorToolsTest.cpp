// The editor's tools 1 to 27 on a generated world: a tool is chosen, an item is handed to the
// editor's one dispatch point as a click would, and then the editor's copies and the models
// (statics, world file, map) are read. The tool windows' fields are stood in for by plain values.

#include <set>

#include <QTest>

#include "UiTestSupport.h"
#include "world/Items.h"
#include "world/Map.h"
#include "world/Statics.h"
#include "world/WorldFile.h"
#include "support/EditorWorld.h"
#include "ui/editor/EditorTools.h"
#include "ui/editor/EditorView.h"
#include "ui/editor/SEditorForm.h"

using quillotide::ItemKind;
using quillotide::TItem;
using quillotide::test::configWith;
using quillotide::test::EditorWorld;
using quillotide::test::ProgramRun;
using quillotide::ui::TSEditorForm;
using quillotide::WorldPart;

namespace {

constexpr int kC = 32;

struct Inputs : quillotide::ui::StaticToolInputs {
  int id = 0, colour = 0, mapId = 0;
  std::vector<int> mapIds;  // "Set Id" draws from these when there are any
  bool use = false, area = false, moveTest = false, nukeColour = false, nukeTest = false,
       nukeHeight = false;
  QString move = "1", upDown = "1", down = "0", up = "0", mapUpDown = "1", min, max;
  // The tile altitude read for each new item in turn; the last one repeats.
  QStringList tileZs{"0"};
  mutable int tileReads = 0;
  std::optional<TItem> shown;
  QList<int> takenIds, takenColours, takenLand;

  int currentId() const override { return id; }
  int currentColour() const override { return colour; }
  bool useColour() const override { return use; }
  bool moveArea() const override { return area; }
  bool moveTestId() const override { return moveTest; }
  bool nukeSetColour() const override { return nukeColour; }
  bool nukeTestId() const override { return nukeTest; }
  bool nukeTestHeight() const override { return nukeHeight; }
  QString moveStep() const override { return move; }
  QString upDownStep() const override { return upDown; }
  QString tileZ() const override {
    return tileZs[std::min(tileReads++, static_cast<int>(tileZs.size()) - 1)];
  }
  QString nukeDown() const override { return down; }
  QString nukeUp() const override { return up; }
  void showInfo(const TItem& item) override { shown = item; }
  void takeId(int v) override { takenIds << v; }
  void takeColour(int v) override { takenColours << v; }
};

struct LandInputs : quillotide::ui::MapToolInputs {
  explicit LandInputs(Inputs& i) : in(i) {}
  int currentId() const override { return in.mapId; }
  std::vector<int> landIds() const override {
    return in.mapIds.empty() ? std::vector<int>{in.mapId} : in.mapIds;
  }
  QString upDownStep() const override { return in.mapUpDown; }
  QString minZ() const override { return in.min; }
  QString maxZ() const override { return in.max; }
  void takeId(int v) override { in.takenLand << v; }
  Inputs& in;
};

// Posts at (32,32) z 5, (34,34) z 120 and (33,31) z 0; the land at (30,30) lies at -3.
struct ToolRun {
  ToolRun()
      : run(configWith({{"LastX", "32"}, {"LastY", "32"}})),
        world(64,
              {{EditorWorld::kPost, kC, kC, 5, 0},
               {EditorWorld::kPost, kC + 2, kC + 2, 120, 3},
               {EditorWorld::kFloor, kC + 1, kC - 1, 0, 0}},
              [](int x, int y) {
                return quillotide::test::CellSpec{EditorWorld::kRedLand,
                                                  std::int8_t(x == 30 && y == 30 ? -3 : 0)};
              }),
        land(in) {
    run.registry->random.seed(7);
    world.loadInto(*run.registry);
    editor = std::make_unique<TSEditorForm>(*run.mainForm, false);
    quillotide::ui::installEditorTools(*editor, *run.registry, in, land);
    editor->scene().rebuildAndSort();
  }
  // The first drawn copy of that kind on the cell (land of either kind for Land).
  TItem* at(ItemKind kind, int x, int y) {
    for (TItem& it : editor->scene().visibleItems())
      if ((it.kind == kind || (kind == ItemKind::Land && it.kind == ItemKind::LandTexture)) &&
          it.x == x && it.y == y && !it.deleted)
        return &it;
    return nullptr;
  }
  std::int32_t serial(ItemKind kind, int x, int y) {
    TItem* it = at(kind, x, y);
    if (!it) QTest::qFail("no such item", __FILE__, __LINE__);
    return it ? it->serial : -1;
  }
  // Shown and active, so that the keys reach the editor's menu shortcuts.
  void show() {
    editor->show();
    editor->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(editor.get()));
  }
  void click(int tool, std::int32_t serial) {
    editor->setEditorTool(tool);
    editor->applyTool(serial);
  }
  void rebuild() {
    editor->scene().requestRebuild();
    editor->scene().rebuildAndSort();
  }
  std::vector<TItem> worldItems() const { return run.registry->worldFile->items(); }
  int altitude(int x, int y) const { return run.registry->map->getAltitude(x, y); }

  ProgramRun run;
  EditorWorld world;
  Inputs in;
  LandInputs land;
  std::unique_ptr<TSEditorForm> editor;
};

}  // namespace

class EditorToolsTest : public QObject {
  Q_OBJECT
private slots:
  void addStandsOnTheClickedItemAsAWorldFileItem();
  void tileFillsTheRectangleColumnByColumn();
  void movesFollowTheScreenDirectionsAndClampAltitudes();
  void anAreaMoveTakesTwoClicksAndMayTestTheId();
  void bothMovesPlaceWhatStaysInsideAndCountTheRest();
  void theStatusFollowsEveryChangeUnderAStillMouse();
  void nukeDeletesOrRecoloursWhatPassesItsTests();
  void idAndColourToolsReachTheOwnerAndLeaveLandAlone();
  void infoShowsTheItemAndEndsDragging();
  void anotherToolForgetsTheCorners();
  void landToolsWorkOnEveryCellOfTheCursorArea();
  void randomAltitudesStayInTheirRange();
  void landBrushesPaintFromASetSmoothAndFlatten();
  void aBadFieldStopsTheToolWhereItIs();
  void ctrlZTakesBackALandClickAndCtrlYMakesItAgain();
  void everyEditingToolIsOneStepThatUndoAndRedoGiveBack();
  void undoFollowsANewItemThatAPatchTookIntoTheStatics();
};

void EditorToolsTest::addStandsOnTheClickedItemAsAWorldFileItem() {
  ToolRun r;
  r.in.id = EditorWorld::kFrame;
  r.in.colour = 0x21;
  // On a post of height 10 at z 5: on top of it, at 15, without colour unless asked.
  r.click(3, r.serial(ItemKind::Static, kC, kC));
  QCOMPARE(r.worldItems().size(), std::size_t(1));
  const TItem made = r.worldItems()[0];
  QCOMPARE(made.z, std::int8_t(15));
  QCOMPARE(made.hue, std::uint16_t(0));
  QCOMPARE(made.tileId, EditorWorld::kFrame);
  const TItem& front = r.editor->scene().visibleItems().front();
  QCOMPARE(front.serial, made.serial);
  QCOMPARE(front.kind, ItemKind::WorldUnwritten);
  QCOMPARE(front.width, std::int16_t(30));  // the frame's art
  QVERIFY(r.editor->hasUnsaved(WorldPart::WorldFile));
  // On the ground at -3, with "Use Color": at the ground's altitude, in the current colour.
  r.in.use = true;
  r.click(3, r.serial(ItemKind::Land, 30, 30));
  QCOMPARE(r.worldItems()[1].z, std::int8_t(-3));
  QCOMPARE(r.worldItems()[1].hue, std::uint16_t(0x21));
  // On a post at 120 the top would be 130: it stays at 127.
  r.click(3, r.serial(ItemKind::Static, kC + 2, kC + 2));
  QCOMPARE(r.worldItems()[2].z, std::int8_t(127));
}

void EditorToolsTest::tileFillsTheRectangleColumnByColumn() {
  ToolRun r;
  r.in.id = EditorWorld::kFloor;
  r.in.tileZs = {"4"};
  r.click(6, r.serial(ItemKind::Land, 34, 30));
  QVERIFY(r.worldItems().empty());
  r.click(6, r.serial(ItemKind::Land, 32, 31));
  const std::vector<std::pair<int, int>> expected{{32, 30}, {32, 31}, {33, 30},
                                                  {33, 31}, {34, 30}, {34, 31}};
  const auto items = r.worldItems();
  QCOMPARE(items.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    QCOMPARE((std::pair<int, int>(items[i].x, items[i].y)), expected[i]);
    QCOMPARE(items[i].z, std::int8_t(4));
  }
  // The copies are appended in the same order; the corner is gone, so the next click starts anew.
  QCOMPARE(r.editor->scene().visibleItems().back().serial, items.back().serial);
  QVERIFY(!r.editor->tileCorner().isSet());
  r.click(6, r.serial(ItemKind::Land, 30, 30));
  QCOMPARE(r.worldItems().size(), std::size_t(6));
}

void EditorToolsTest::movesFollowTheScreenDirectionsAndClampAltitudes() {
  ToolRun r;
  auto& statics = *r.run.registry->statics;
  const std::int32_t post = r.serial(ItemKind::Static, kC, kC);
  // right (10) with m = 2: x + 2, y - 2, in the copy and in the statics.
  r.in.move = "2";
  r.click(10, post);
  QCOMPARE(r.editor->findVisibleItem(post)->x, std::uint16_t(kC + 2));
  QCOMPARE(r.editor->findVisibleItem(post)->y, std::uint16_t(kC - 2));
  QCOMPARE(statics.item(post)->x, std::uint16_t(kC + 2));
  QCOMPARE(statics.item(post)->y, std::uint16_t(kC - 2));
  // The other seven directions in their order, each by one step.
  r.in.move = "1";
  const int steps[][2] = {{-1, 0}, {-1, -1}, {0, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}};
  const int tools[] = {7, 8, 9, 11, 12, 13, 14};
  for (std::size_t i = 0; i < 7; ++i) {
    const TItem before = *r.editor->findVisibleItem(post);
    r.click(tools[i], post);
    const TItem after = *statics.item(post);
    QCOMPARE(after.x - before.x, steps[i][0]);
    QCOMPARE(after.y - before.y, steps[i][1]);
  }
  // Up by 10 from 120 stops at 127 in the statics and in the copy; down by 10 gives 117.
  const std::int32_t high = r.serial(ItemKind::Static, kC + 2, kC + 2);
  r.in.upDown = "10";
  r.click(15, high);
  QCOMPARE(statics.item(high)->z, std::int8_t(127));
  QCOMPARE(r.editor->findVisibleItem(high)->z, std::int8_t(127));
  r.click(16, high);
  QCOMPARE(statics.item(high)->z, std::int8_t(117));
  // A world-file item clamps alike.
  r.run.registry->worldFile->add(EditorWorld::kPost, 30, 31, 125, 0);
  r.rebuild();
  const std::int32_t item = r.serial(ItemKind::WorldUnwritten, 30, 31);
  r.click(15, item);
  QCOMPARE(r.worldItems()[0].z, std::int8_t(127));
  QVERIFY(r.editor->hasUnsaved(WorldPart::Statics));
}

void EditorToolsTest::anAreaMoveTakesTwoClicksAndMayTestTheId() {
  ToolRun r;
  auto& statics = *r.run.registry->statics;
  r.in.area = true;
  const std::int32_t post = r.serial(ItemKind::Static, kC, kC);
  const std::int32_t floor = r.serial(ItemKind::Static, kC + 1, kC - 1);
  const std::int32_t far = r.serial(ItemKind::Static, kC + 2, kC + 2);
  // Down-right (11) over (31..33, 30..32): the first click only keeps the corner.
  r.click(11, r.serial(ItemKind::Land, 33, 30));
  QCOMPARE(statics.item(post)->x, std::uint16_t(kC));
  r.click(11, r.serial(ItemKind::Land, 31, 32));
  QCOMPARE(statics.item(post)->x, std::uint16_t(kC + 1));
  QCOMPARE(statics.item(floor)->x, std::uint16_t(kC + 2));
  QCOMPARE(statics.item(far)->x, std::uint16_t(kC + 2));  // outside the rectangle
  QVERIFY(!r.editor->moveCorner().isSet());
  // The rebuild shows the new positions.
  r.editor->scene().rebuildAndSort();
  QVERIFY(r.at(ItemKind::Static, kC + 1, kC));
  // With "Test ID" only the current id moves: up-left (7) moves the post back, not the floor.
  r.in.moveTest = true;
  r.in.id = EditorWorld::kPost;
  r.click(7, r.serial(ItemKind::Land, 30, 30));
  r.click(7, r.serial(ItemKind::Land, 34, 33));
  QCOMPARE(statics.item(post)->x, std::uint16_t(kC));
  QCOMPARE(statics.item(floor)->x, std::uint16_t(kC + 2));
  QCOMPARE(statics.item(far)->x, std::uint16_t(kC + 2));  // (34,34) lies outside
}

void EditorToolsTest::bothMovesPlaceWhatStaysInsideAndCountTheRest() {
  ToolRun r;
  auto& world = *r.run.registry->worldFile;
  world.add(EditorWorld::kPost, 0, 10, 0, 0);
  world.add(EditorWorld::kPost, 0, 20, 0, 0);
  world.add(EditorWorld::kPost, 1, 20, 0, 0);
  world.add(EditorWorld::kPost, 2, 20, 0, 0);
  r.editor->setViewCentre(4, 15);
  r.rebuild();
  // One item moved left from x 0 would leave the world: it stays, and the message says so.
  const std::int32_t edge = r.serial(ItemKind::WorldUnwritten, 0, 10);
  r.click(7, edge);
  QCOMPARE(r.worldItems()[0].x, std::uint16_t(0));
  QCOMPARE(r.editor->findVisibleItem(edge)->x, std::uint16_t(0));
  QCOMPARE(r.run.dialogs.messageTexts(),
           QStringList{QStringLiteral("1 item was left out: it would lie outside the world.")});
  QVERIFY(!r.editor->undoStack().canUndo());
  // The area move two cells left over x 0 .. 3: the item on x 2 goes to 0, the two that would
  // leave stay, one message counts them; the step takes back what moved.
  r.in.area = true;
  r.in.move = "2";
  r.click(7, r.serial(ItemKind::Land, 0, 19));
  r.click(7, r.serial(ItemKind::Land, 3, 21));
  const auto items = r.worldItems();
  QCOMPARE(std::tuple(int(items[1].x), int(items[2].x), int(items[3].x)), std::tuple(0, 1, 0));
  QCOMPARE(r.run.dialogs.messageTexts().last(),
           QStringLiteral("2 items were left out: they would lie outside the world."));
  QCOMPARE(r.run.dialogs.messageTexts().size(), 2);
  QVERIFY(!r.editor->undoStack().inGroup());
  r.editor->undo();
  QCOMPARE(r.worldItems()[3].x, std::uint16_t(2));
}

void EditorToolsTest::theStatusFollowsEveryChangeUnderAStillMouse() {
  ToolRun r;
  r.show();
  // The middle of cell 36,36 at altitude 0 (zoom 1, centred on 32,32, 800 x 600).
  const QPoint at((36 - 36) * 22 + 400, (36 + 36 - 2 * kC) * 22 + 322);
  QTest::mouseMove(r.editor->view(), at);
  const auto cellText = [&] { return r.editor->statusText(2).section(QStringLiteral("   "), 0, 0); };
  QCOMPARE(cellText(), QStringLiteral("Cell: 36,36,0"));
  // Raise, Set Z and undo and redo, the mouse never moving: the status shows each altitude.
  r.in.mapUpDown = "3";
  r.editor->setEditorTool(22);
  QTest::mouseClick(r.editor->view(), Qt::LeftButton, {}, at);
  QCOMPARE(r.altitude(36, 36), 3);
  QCOMPARE(cellText(), QStringLiteral("Cell: 36,36,3"));
  QVERIFY(r.editor->statusText(0).contains(QStringLiteral("Pos: 36,36,3")));
  r.in.mapUpDown = "-2";
  r.editor->setEditorTool(24);
  QTest::mouseClick(r.editor->view(), Qt::LeftButton, {}, at);
  QCOMPARE(cellText(), QStringLiteral("Cell: 36,36,-2"));
  QTest::keyClick(r.editor.get(), Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(cellText(), QStringLiteral("Cell: 36,36,3"));
  QTest::keyClick(r.editor.get(), Qt::Key_Y, Qt::ControlModifier);
  QCOMPARE(cellText(), QStringLiteral("Cell: 36,36,-2"));
}

void EditorToolsTest::nukeDeletesOrRecoloursWhatPassesItsTests() {
  ToolRun r;
  auto& world = *r.run.registry->worldFile;
  for (int z : {-1, 0, 10, 11})
    world.add(EditorWorld::kPost, 30, 33, static_cast<std::int8_t>(z), 0);
  world.add(EditorWorld::kFrame, 31, 33, 5, 0);
  r.rebuild();
  // "Set Color" with "Test ID": only the posts get the colour.
  r.in.nukeColour = true;
  r.in.nukeTest = true;
  r.in.id = EditorWorld::kPost;
  r.in.colour = 0x44;
  r.click(17, r.serial(ItemKind::Land, 30, 33));
  r.click(17, r.serial(ItemKind::Land, 31, 33));
  for (const TItem& it : world.items())
    QCOMPARE(it.hue, std::uint16_t(it.tileId == EditorWorld::kPost ? 0x44 : 0));
  // "Test Height" 0 .. 10 deletes the items at 0 to 10, keeps those at -1 and 11.
  r.in.nukeColour = false;
  r.in.nukeTest = false;
  r.in.nukeHeight = true;
  r.in.down = "0";
  r.in.up = "10";
  r.click(17, r.serial(ItemKind::Land, 31, 33));
  r.click(17, r.serial(ItemKind::Land, 30, 33));
  std::vector<int> kept;
  for (const TItem& it : world.items())
    if (!it.deleted) kept.push_back(it.z);
  QCOMPARE(kept, (std::vector<int>{-1, 11}));
  // The statics outside the rectangle are untouched.
  QVERIFY(!r.run.registry->statics->item(r.serial(ItemKind::Static, kC, kC))->deleted);
}

void EditorToolsTest::idAndColourToolsReachTheOwnerAndLeaveLandAlone() {
  ToolRun r;
  auto& statics = *r.run.registry->statics;
  const std::int32_t post = r.serial(ItemKind::Static, kC, kC);
  r.in.id = EditorWorld::kFrame;
  r.in.colour = 0x12;
  r.click(4, post);
  QCOMPARE(statics.item(post)->hue, std::uint16_t(0x12));
  r.click(5, post);
  QCOMPARE(statics.item(post)->tileId, EditorWorld::kFrame);
  QCOMPARE(r.editor->findVisibleItem(post)->width, std::int16_t(30));
  r.click(18, post);
  r.click(19, post);
  QCOMPARE(r.in.takenIds, QList<int>{EditorWorld::kFrame});
  QCOMPARE(r.in.takenColours, QList<int>{0x12});
  r.click(2, post);
  QVERIFY(statics.item(post)->deleted);
  QVERIFY(r.editor->findVisibleItem(post)->deleted);
  // Land cells: delete, colour, id, get id and get colour change nothing.
  TItem* cell = r.at(ItemKind::Land, 30, 30);
  const TItem before = *cell;
  for (int tool : {2, 4, 5, 18, 19}) r.click(tool, cell->serial);
  QCOMPARE(*r.at(ItemKind::Land, 30, 30), before);
  QCOMPARE(r.in.takenIds.size(), 1);
  QCOMPARE(r.in.takenColours.size(), 1);
  // The map tool's "Get ID" takes land only.
  r.click(20, r.serial(ItemKind::Static, kC + 2, kC + 2));
  QVERIFY(r.in.takenLand.isEmpty());
  r.click(20, cell->serial);
  QCOMPARE(r.in.takenLand, QList<int>{EditorWorld::kRedLand});
}

void EditorToolsTest::infoShowsTheItemAndEndsDragging() {
  ToolRun r;
  const std::int32_t post = r.serial(ItemKind::Static, kC + 2, kC + 2);
  r.click(1, post);
  QVERIFY(r.in.shown);
  QCOMPARE(r.in.shown->serial, post);
  QCOMPARE(r.in.shown->z, std::int8_t(120));
  // No item under the click: nothing.
  r.in.shown.reset();
  r.click(1, -1);
  QVERIFY(!r.in.shown);
}

void EditorToolsTest::anotherToolForgetsTheCorners() {
  ToolRun r;
  r.click(6, r.serial(ItemKind::Land, 30, 30));
  r.click(17, r.serial(ItemKind::Land, 30, 30));
  QVERIFY(!r.editor->tileCorner().isSet());
  QVERIFY(r.editor->nukeCorner().isSet());
  r.in.area = true;
  r.click(12, r.serial(ItemKind::Land, 30, 30));
  QVERIFY(r.editor->moveCorner().isSet());
  QVERIFY(!r.editor->nukeCorner().isSet());
  // The move tools share the corner: a second click in another direction completes the area.
  r.click(13, r.serial(ItemKind::Land, 33, 33));
  QVERIFY(!r.editor->moveCorner().isSet());
  r.click(12, r.serial(ItemKind::Land, 30, 30));
  r.click(21, r.serial(ItemKind::Land, 30, 30));
  QVERIFY(!r.editor->moveCorner().isSet());
}

void EditorToolsTest::landToolsWorkOnEveryCellOfTheCursorArea() {
  ToolRun r;
  auto& map = *r.run.registry->map;
  r.editor->setCursorReach(2, 2);
  r.in.mapId = EditorWorld::kTexturedLand;
  // "Set Id" with a 3 x 3 cursor, clicked on a static: the cells around the static's cell.
  r.click(21, r.serial(ItemKind::Static, kC, kC));
  for (int x = kC - 2; x <= kC + 2; ++x)
    for (int y = kC - 2; y <= kC + 2; ++y) {
      const bool inside = std::abs(x - kC) <= 1 && std::abs(y - kC) <= 1;
      QCOMPARE(map.cell(x, y)->tileId, inside ? EditorWorld::kTexturedLand : EditorWorld::kRedLand);
    }
  QVERIFY(r.editor->hasUnsaved(WorldPart::Map));
  QVERIFY(r.editor->scene().rebuildRequested());
  // Set Z, then up by 10 from 120 stops at 127; down goes back.
  r.in.mapUpDown = "120";
  r.click(24, r.serial(ItemKind::Land, 40, 40));
  QCOMPARE(r.altitude(39, 41), 120);
  r.in.mapUpDown = "10";
  r.click(22, r.serial(ItemKind::Land, 40, 40));
  QCOMPARE(r.altitude(41, 39), 127);
  QCOMPARE(r.altitude(42, 40), 0);
  r.click(23, r.serial(ItemKind::Land, 40, 40));
  QCOMPARE(r.altitude(40, 40), 117);
  // Reach (2, 4) around (30, 30): x 29 to 31, y 27 to 33.
  r.editor->setCursorReach(2, 4);
  r.in.mapUpDown = "7";
  r.rebuild();
  r.click(24, r.serial(ItemKind::Land, 30, 30));
  QCOMPARE(r.altitude(29, 27), 7);
  QCOMPARE(r.altitude(31, 33), 7);
  QCOMPARE(r.altitude(31, 34), 0);
  QCOMPARE(r.altitude(32, 30), 0);
}

void EditorToolsTest::randomAltitudesStayInTheirRange() {
  ToolRun r;
  r.editor->setCursorReach(4, 4);
  const std::int32_t centre = r.serial(ItemKind::Land, kC, kC);
  auto area = [&] {
    std::set<int> seen;
    for (int x = kC - 3; x <= kC + 3; ++x)
      for (int y = kC - 3; y <= kC + 3; ++y) seen.insert(r.altitude(x, y));
    return seen;
  };
  r.in.min = "0";
  r.in.max = "3";
  r.click(25, centre);
  QCOMPARE(area(), (std::set<int>{0, 1, 2}));
  r.in.min = "5";
  r.in.max = "5";
  r.click(25, centre);
  QCOMPARE(area(), std::set<int>{5});
  // Max below Min: the range between them.
  r.in.min = "-4";
  r.in.max = "-8";
  r.click(25, centre);
  QCOMPARE(area(), (std::set<int>{-8, -7, -6, -5}));
}

void EditorToolsTest::landBrushesPaintFromASetSmoothAndFlatten() {
  ToolRun r;
  auto& map = *r.run.registry->map;
  // A round brush of 5 around (40, 40): its 21 cells each get one id of the set, no other cell
  // changes; the cursor reach covers the brush.
  r.editor->setLandBrush({quillotide::BrushShape::Round, 5, 5});
  QCOMPARE(r.editor->cursorReachX(), 3);
  r.in.mapIds = {EditorWorld::kTexturedLand, 7};
  r.click(21, r.serial(ItemKind::Land, 40, 40));
  std::set<int> painted;
  int covered = 0;
  for (int x = 37; x <= 43; ++x)
    for (int y = 37; y <= 43; ++y) {
      const int dx = std::abs(x - 40), dy = std::abs(y - 40);
      const int id = map.cell(x, y)->tileId;
      if (dx > 2 || dy > 2 || (dx == 2 && dy == 2)) {
        QCOMPARE(id, int(EditorWorld::kRedLand));
        continue;
      }
      painted.insert(id);
      ++covered;
    }
  QCOMPARE(covered, 21);
  QCOMPARE(painted, (std::set<int>{EditorWorld::kTexturedLand, 7}));

  // "Smooth" with a 3 x 3 square on a peak of 90: the peak and its neighbours get 90 / 9, each
  // from the altitudes before the click; one undo step gives the peak back.
  r.editor->setCursorReach(2, 2);
  map.setAltitude(20, 20, 90);
  r.rebuild();
  r.click(26, r.serial(ItemKind::Land, 20, 20));
  for (int x = 19; x <= 21; ++x)
    for (int y = 19; y <= 21; ++y) QCOMPARE(r.altitude(x, y), 10);
  QCOMPARE(r.altitude(22, 22), 0);
  QCOMPARE(QString::fromStdString(r.editor->undoStack().undoLabel()), QStringLiteral("Smooth"));
  r.editor->undo();
  QCOMPARE(r.altitude(20, 20), 90);
  QCOMPARE(r.altitude(19, 19), 0);

  // "Flatten": the cells take the altitude of the clicked cell, -3 at (30, 30); a new click
  // takes its own cell's altitude.
  r.rebuild();
  r.click(27, r.serial(ItemKind::Land, 30, 30));
  for (int x = 29; x <= 31; ++x)
    for (int y = 29; y <= 31; ++y) QCOMPARE(r.altitude(x, y), -3);
  r.rebuild();
  r.click(27, r.serial(ItemKind::Land, 33, 30));
  QCOMPARE(r.altitude(32, 30), 0);
  QCOMPARE(r.altitude(31, 30), -3);
  QCOMPARE(QString::fromStdString(r.editor->undoStack().undoLabel()), QStringLiteral("Flatten"));
}

void EditorToolsTest::aBadFieldStopsTheToolWhereItIs() {
  ToolRun r;
  // A Tile fill that meets a bad altitude keeps the items before it.
  r.in.tileZs = {"1", "2", "z"};
  r.click(6, r.serial(ItemKind::Land, 30, 30));
  r.click(6, r.serial(ItemKind::Land, 31, 31));
  QCOMPARE(r.run.dialogs.messageTexts().last(), QStringLiteral("'z' is not a valid integer value"));
  QCOMPARE(r.worldItems().size(), std::size_t(2));
  // A bad move step moves nothing.
  const std::int32_t post = r.serial(ItemKind::Static, kC, kC);
  r.in.move = "";
  r.click(8, post);
  QCOMPARE(r.run.registry->statics->item(post)->x, std::uint16_t(kC));
  QCOMPARE(r.run.dialogs.messageTexts().last(), QStringLiteral("'' is not a valid integer value"));
  // A bad nuke bound deletes nothing.
  r.in.nukeHeight = true;
  r.in.up = "ten";
  r.click(17, post);
  r.click(17, post);
  QVERIFY(!r.run.registry->statics->item(post)->deleted);
  // The empty "Min:" stops "Set Random Z" at the first cell.
  r.in.max = "3";
  r.click(25, post);
  QCOMPARE(r.run.dialogs.messageTexts().last(), QStringLiteral("'' is not a valid integer value"));
  QVERIFY(!r.editor->hasUnsaved(WorldPart::Map));
}

void EditorToolsTest::ctrlZTakesBackALandClickAndCtrlYMakesItAgain() {
  ToolRun r;
  r.show();
  auto& map = *r.run.registry->map;
  r.editor->setCursorReach(2, 2);
  r.in.mapId = EditorWorld::kTexturedLand;
  r.click(21, r.serial(ItemKind::Land, 40, 40));
  r.in.mapUpDown = "9";
  r.click(24, r.serial(ItemKind::Land, 40, 40));
  QCOMPARE(r.altitude(41, 41), 9);

  // One key press takes back the whole 3 x 3 click; the next the ids.
  QTest::keyClick(r.editor.get(), Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(r.altitude(41, 41), 0);
  QCOMPARE(map.cell(39, 39)->tileId, EditorWorld::kTexturedLand);
  QTest::keyClick(r.editor.get(), Qt::Key_Z, Qt::ControlModifier);
  for (int x = 39; x <= 41; ++x)
    for (int y = 39; y <= 41; ++y) QCOMPARE(map.cell(x, y)->tileId, EditorWorld::kRedLand);
  QVERIFY(!r.editor->undoStack().canUndo());
  QVERIFY(r.editor->scene().rebuildRequested());
  QTest::keyClick(r.editor.get(), Qt::Key_Z, Qt::ControlModifier);  // nothing left

  QTest::keyClick(r.editor.get(), Qt::Key_Y, Qt::ControlModifier);
  QCOMPARE(map.cell(40, 40)->tileId, EditorWorld::kTexturedLand);
  QCOMPARE(r.altitude(40, 40), 0);
  QTest::keyClick(r.editor.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  QCOMPARE(r.altitude(39, 41), 9);
  QVERIFY(!r.editor->undoStack().canRedo());
  QVERIFY(r.editor->hasUnsaved(WorldPart::Map));
}

namespace {

// What the models hold that a tool may change: every static and world-file item with its serial
// and deleted flag, the land around the posts, and the change marks.
struct ToolState {
  std::vector<TItem> statics, world;
  std::vector<quillotide::MapCell> cells;
  std::vector<bool> marks;
  bool mapUnsaved = false;
  bool operator==(const ToolState&) const = default;
};

ToolState toolState(ToolRun& r) {
  ToolState s;
  auto& reg = *r.run.registry;
  for (std::size_t i = 0; i < reg.statics->itemCount(); ++i) {
    TItem it = *reg.statics->item(quillotide::kStaticSerialBase + static_cast<std::int32_t>(i));
    it.selected = 0;  // the mouse's highlight, not an edit
    s.statics.push_back(it);
  }
  s.world = reg.worldFile->items();
  for (int x = 24; x < 44; ++x)
    for (int y = 24; y < 44; ++y) s.cells.push_back(*reg.map->cell(x, y));
  for (std::int64_t b = 0; b < reg.statics->blockCount(); ++b) {
    s.marks.push_back(reg.statics->blockChanged(b));
    s.marks.push_back(reg.map->blockChanged(b));
  }
  s.mapUnsaved = reg.map->hasUnsavedChanges();
  return s;
}

}  // namespace

void EditorToolsTest::everyEditingToolIsOneStepThatUndoAndRedoGiveBack() {
  struct Case {
    int tool;
    bool area = false;  // the area move
    bool twoClicks = false;
  };
  std::vector<Case> cases{{2}, {3}, {4}, {5}, {6, false, true}, {17, false, true}};
  for (int tool = 7; tool <= 16; ++tool) cases.push_back({tool});
  cases.push_back({7, true, true});
  cases.push_back({15, true, true});
  for (int tool = 21; tool <= 25; ++tool) cases.push_back({tool});
  for (const Case& c : cases) {
    const QByteArray name = QByteArray::number(c.tool) + (c.area ? " area" : "");
    ToolRun r;
    r.show();
    r.in.id = EditorWorld::kPost;
    r.in.colour = 0x21;
    r.in.area = c.area;
    r.in.move = "1";
    r.in.upDown = "3";
    r.in.mapId = EditorWorld::kTexturedLand;
    r.in.mapUpDown = "4";
    r.in.min = "1";
    r.in.max = "9";
    r.editor->setCursorReach(2, 2);
    const ToolState before = toolState(r);
    const std::int32_t first = r.serial(ItemKind::Static, kC, kC);
    const std::int32_t second = c.twoClicks ? r.serial(ItemKind::Land, kC + 3, kC + 3) : first;
    r.click(c.tool, first);
    if (c.twoClicks) r.click(c.tool, second);
    const ToolState after = toolState(r);
    QVERIFY2(after != before, name);
    QVERIFY2(r.editor->undoStack().size() == 1, name);
    QVERIFY2(r.editor->hasUnsaved(), name);
    QTest::keyClick(r.editor.get(), Qt::Key_Z, Qt::ControlModifier);
    QVERIFY2(toolState(r) == before, name);
    QVERIFY2(!r.editor->hasUnsaved(), name);
    QTest::keyClick(r.editor.get(), Qt::Key_Y, Qt::ControlModifier);
    QVERIFY2(toolState(r) == after, name);
  }
}

void EditorToolsTest::undoFollowsANewItemThatAPatchTookIntoTheStatics() {
  ToolRun r;
  r.show();
  auto& statics = *r.run.registry->statics;
  r.in.id = EditorWorld::kFrame;
  r.click(3, r.serial(ItemKind::Land, 30, 30));
  r.run.dialogs.answerSave(r.run.path("staidx.mul"));
  r.run.dialogs.answerSave(r.run.path("statics.mul"));
  r.editor->action(QStringLiteral("Patch Statics (all new items included)"))->trigger();
  QCOMPARE(statics.itemsAt(30, 30).size(), std::size_t(1));
  QVERIFY(!r.editor->hasUnsaved());
  // The add is taken back where the item is now; the statics are changed by it.
  r.show();  // the patch's progress window had the focus
  QTest::keyClick(r.editor.get(), Qt::Key_Z, Qt::ControlModifier);
  QVERIFY(statics.itemsAt(30, 30).empty());
  QVERIFY(r.editor->hasUnsaved(WorldPart::Statics));
}

QTEST_MAIN(EditorToolsTest)
#include "EditorToolsTest.moc"
