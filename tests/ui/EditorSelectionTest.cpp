// The world editor's Select tool as a person uses it: clicks, Ctrl+clicks and a Shift+drag
// rubber band on the view, Esc, the static tool's buttons and the keys on a selection, Ctrl+C
// and Ctrl+V through the clipboard, "Find placed..." typed into and double-clicked; then what is
// selected, what the models hold and what a patch writes to disk.

#include <QAbstractButton>
#include <QLabel>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListView>
#include <QTest>

#include "EditorRun.h"
#include "app/Progress.h"
#include "ui/editor/EditorSelection.h"
#include "ui/editor/FindPlacedForm.h"
#include "ui/editor/HFSE.h"
#include "ui/editor/MapForm.h"
#include "ui/editor/SCFSE.h"
#include "ui/editor/StaticToolForm.h"
#include "ui/editor/ToolWindows.h"
#include "world/Selection.h"
#include "world/Statics.h"
#include "world/WorldFile.h"

using quillotide::ItemKind;
using quillotide::TItem;
using quillotide::test::EditorRun;
using quillotide::test::EditorWorld;

namespace {

// The editor on the 64 x 64 world with its posts on (32,32) and (34,34, hue 3).
struct SelectRun : EditorRun {
  SelectRun() {
    show();
    QTest::mouseMove(view(), cell(40, 40));
  }
  quillotide::ui::EditorSelection& selecting() const { return editor->selection(); }
  std::size_t selected() const { return editor->selection().selection().size(); }
  // The drawn post on the cell, and whether it is drawn tinted.
  bool tinted(int x, int y) const {
    const TItem* it = visible(ItemKind::Static, x, y);
    return it && it->selected;
  }
  void click(QPoint at, Qt::KeyboardModifiers modifiers = {}) {
    QTest::mouseMove(view(), at);
    QTest::mouseClick(view(), Qt::LeftButton, modifiers, at);
  }
  // Shift (and the given keys) held from the press to the release.
  void band(QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = Qt::ShiftModifier) {
    QTest::mouseMove(view(), from);
    QTest::mousePress(view(), Qt::LeftButton, modifiers, from);
    QTest::mouseMove(view(), (from + to) / 2);
    QTest::mouseMove(view(), to);
    QTest::mouseRelease(view(), Qt::LeftButton, modifiers, to);
  }
  void key(int key, Qt::KeyboardModifiers modifiers = {}) {
    QTest::keyClick(editor.get(), static_cast<Qt::Key>(key), modifiers);
  }
  // Both posts, by a band around them.
  void selectBoth() {
    band(cell(32, 32) + QPoint(-30, -30), cell(34, 34) + QPoint(30, 30));
    QCOMPARE(selected(), std::size_t(2));
  }
  std::vector<TItem> staticsAt(int x, int y) const { return run.registry->statics->itemsAt(x, y); }
  // The statics a patch wrote, read back from disk.
  std::vector<TItem> patchedStatics(const std::string& index, const std::string& data) const {
    quillotide::TStatics reread;
    reread.open(run.dir.file(index), run.dir.file(data), 64, 64, quillotide::StorageMode::Memory);
    return reread.getItemsInRect(0, 63, 0, 63);
  }
};

}  // namespace

class EditorSelectionTest : public QObject {
  Q_OBJECT
private slots:
  void clicksSelectCtrlClicksAddAndRemoveEscClears();
  void aRubberBandSelectsTheItemsItTouches();
  void copyAndPasteGoThroughTheClipboardAndThePatchKeepsTheShape();
  void buttonsAndKeysEditTheWholeSelectionOneUndoStepEach();
  void aPasteOverTheEdgePlacesTheRestAndSaysHowManyWereLeftOut();
  void findPlacedListsTheItemsAndADoubleClickGoesThere();
  void aToolThatReplacesTheStaticsDropsWhatWasMadeOnThem();
  void theFindListIsWalkedWithTheKeysWithoutChangingTheWorld();
  void keysTypedIntoFieldsOfToolWindowsActThere();
  void theItemUnderTheMouseAndTheSelectionLookApart();
  void spaceReleasedOutsideTheEditorIsUpAgain();
  void aLargePasteIsPlacedOnlyWhenTheUserSaysSo();
};

void EditorSelectionTest::clicksSelectCtrlClicksAddAndRemoveEscClears() {
  SelectRun r;
  r.click(EditorRun::post(32, 32));
  QCOMPARE(r.selected(), std::size_t(1));
  r.click(EditorRun::post(34, 34), Qt::ControlModifier);
  QCOMPARE(r.selected(), std::size_t(2));
  // The mouse left the first post: it stays tinted as selected.
  QVERIFY(r.tinted(32, 32));
  r.click(EditorRun::post(32, 32), Qt::ControlModifier);
  QCOMPARE(r.selected(), std::size_t(1));
  QVERIFY(r.selecting().holds(*r.visible(ItemKind::Static, 34, 34)));
  // A plain click on another item selects it alone; on the ground, nothing.
  r.click(EditorRun::post(32, 32));
  QCOMPARE(r.selected(), std::size_t(1));
  QVERIFY(r.selecting().holds(*r.visible(ItemKind::Static, 32, 32)));
  r.click(EditorRun::cell(28, 36));
  QCOMPARE(r.selected(), std::size_t(0));
  QVERIFY(!r.tinted(32, 32));

  r.click(EditorRun::post(32, 32));
  r.click(EditorRun::post(34, 34), Qt::ControlModifier);
  QTest::mouseMove(r.view(), EditorRun::cell(28, 30));
  r.key(Qt::Key_Escape);
  QCOMPARE(r.selected(), std::size_t(0));
  QVERIFY(!r.tinted(32, 32));
  QVERIFY(!r.tinted(34, 34));
  // Selecting changes nothing in the world.
  QVERIFY(!r.editor->undoStack().canUndo());
}

void EditorSelectionTest::aRubberBandSelectsTheItemsItTouches() {
  SelectRun r;
  // A band over the upper post's top only touches it.
  r.band(EditorRun::post(32, 32) + QPoint(-5, -25), EditorRun::post(32, 32) + QPoint(5, -15));
  QCOMPARE(r.selected(), std::size_t(1));
  QVERIFY(r.tinted(32, 32));
  // A band beside both touches neither, and replaces the selection.
  r.band(EditorRun::cell(26, 38) + QPoint(-5, -5), EditorRun::cell(26, 38) + QPoint(5, 5));
  QCOMPARE(r.selected(), std::size_t(0));
  // Dragged from the lower right to the upper left, over both.
  r.band(EditorRun::cell(34, 34) + QPoint(30, 30), EditorRun::cell(32, 32) + QPoint(-30, -30));
  QCOMPARE(r.selected(), std::size_t(2));
  QVERIFY(r.tinted(32, 32));
  QVERIFY(r.tinted(34, 34));
  // Ctrl+Shift adds to what is selected.
  r.click(EditorRun::post(32, 32));
  r.band(EditorRun::post(34, 34) + QPoint(-5, -5), EditorRun::post(34, 34) + QPoint(5, 5),
         Qt::ShiftModifier | Qt::ControlModifier);
  QCOMPARE(r.selected(), std::size_t(2));
}

void EditorSelectionTest::copyAndPasteGoThroughTheClipboardAndThePatchKeepsTheShape() {
  SelectRun r;
  r.selectBoth();
  r.key(Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("0x1 0 0 0 0x0\n0x1 2 2 0 0x3\n"));

  // Pasted with the mouse over cell (36,30).
  QTest::mouseMove(r.view(), EditorRun::cell(36, 30));
  r.key(Qt::Key_V, Qt::ControlModifier);
  const std::vector<TItem> placed = r.run.registry->worldFile->items();
  QCOMPARE(placed.size(), std::size_t(2));
  QCOMPARE(std::tuple(placed[0].x, placed[0].y, placed[0].hue), std::tuple(36, 30, 0));
  QCOMPARE(std::tuple(placed[1].x, placed[1].y, placed[1].hue), std::tuple(38, 32, 3));
  QCOMPARE(r.editor->undoAction()->text(), QStringLiteral("Undo Paste"));
  // The pasted items are the selection now, drawn tinted.
  QCOMPARE(r.selected(), std::size_t(2));
  r.editor->view()->prepareIfNeeded();
  QVERIFY(r.visible(ItemKind::WorldUnwritten, 36, 30)->selected);

  // A group typed in a text editor pastes as well.
  QGuiApplication::clipboard()->setText(QStringLiteral("0x3 10 10 5 0x0\r\n0x3 11 10 5 0x0\r\n"));
  QTest::mouseMove(r.view(), EditorRun::cell(30, 36));
  r.key(Qt::Key_V, Qt::ControlModifier);
  QCOMPARE(r.run.registry->worldFile->size(), std::size_t(4));
  r.key(Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(r.run.registry->worldFile->size(), std::size_t(2));

  r.run.dialogs.answerSave(r.run.path("staidx-out.mul"));
  r.run.dialogs.answerSave(r.run.path("statics-out.mul"));
  r.trigger(QStringLiteral("Patch Statics (all new items included)"));
  std::vector<std::tuple<int, int, int, int>> onDisk;
  for (const TItem& it : r.patchedStatics("staidx-out.mul", "statics-out.mul"))
    onDisk.emplace_back(it.x, it.y, it.z, it.hue);
  std::sort(onDisk.begin(), onDisk.end());
  const std::vector<std::tuple<int, int, int, int>> expected = {
      {32, 32, 0, 0}, {34, 34, 0, 3}, {36, 30, 0, 0}, {38, 32, 0, 3}};
  QCOMPARE(onDisk, expected);
}

void EditorSelectionTest::buttonsAndKeysEditTheWholeSelectionOneUndoStepEach() {
  SelectRun r;
  r.selectBoth();
  auto& tool = r.editor->toolWindows().staticTool();
  // "Move down" (one cell each of x and y, as the field says) moves both at once.
  QTest::mouseClick(tool.findChild<QAbstractButton*>(QStringLiteral("btnMoveDown")),
                    Qt::LeftButton);
  QCOMPARE(r.staticsAt(33, 33).size(), std::size_t(1));
  QCOMPARE(r.staticsAt(35, 35).size(), std::size_t(1));
  QVERIFY(r.staticsAt(32, 32).empty());
  // The tool stays the Select tool.
  QCOMPARE(r.editor->editorTool(), 0);
  r.activateEditor();
  r.key(Qt::Key_Up, Qt::ControlModifier);
  QCOMPARE(r.staticsAt(32, 32).size(), std::size_t(1));
  r.key(Qt::Key_PageUp);
  QCOMPARE(static_cast<int>(r.staticsAt(32, 32).front().z), 1);
  QCOMPARE(static_cast<int>(r.staticsAt(34, 34).front().z), 1);
  QCOMPARE(r.selected(), std::size_t(2));
  r.key(Qt::Key_Delete);
  QVERIFY(r.staticsAt(32, 32).empty());
  QVERIFY(r.staticsAt(34, 34).empty());
  QCOMPARE(r.selected(), std::size_t(0));

  // Four steps, each taken back whole by one Ctrl+Z.
  r.key(Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(r.staticsAt(32, 32).size() + r.staticsAt(34, 34).size(), std::size_t(2));
  r.key(Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(static_cast<int>(r.staticsAt(34, 34).front().z), 0);
  r.key(Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(r.staticsAt(35, 35).size(), std::size_t(1));
  r.key(Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(r.staticsAt(32, 32).size(), std::size_t(1));
  QCOMPARE(r.staticsAt(34, 34).front().hue, std::uint16_t(3));
  QVERIFY(!r.editor->undoStack().canUndo());

  // With nothing selected the buttons choose their tool as before.
  QTest::mouseClick(tool.findChild<QAbstractButton*>(QStringLiteral("btnMoveDown")),
                    Qt::LeftButton);
  QCOMPARE(r.editor->editorTool(), 12);
  // "Select" gives the clicks back to the Select tool.
  auto* select = tool.findChild<QAbstractButton*>(QStringLiteral("btnSelect"));
  QTest::mouseClick(select, Qt::LeftButton);
  QCOMPARE(r.editor->editorTool(), 0);
  QVERIFY(select->isChecked());
  r.activateEditor();
  r.click(EditorRun::post(34, 34));
  QCOMPARE(r.selected(), std::size_t(1));
}

void EditorSelectionTest::aPasteOverTheEdgePlacesTheRestAndSaysHowManyWereLeftOut() {
  SelectRun r;
  QGuiApplication::clipboard()->setText(
      QStringLiteral("0x1 0 0 0 0x0\n0x1 0 -40 0 0x0\n0x1 -40 0 0 0x0\n0x1 1 1 0 0x0\n"));
  QTest::mouseMove(r.view(), EditorRun::cell(30, 30));
  r.key(Qt::Key_V, Qt::ControlModifier);
  QCOMPARE(r.run.registry->worldFile->size(), std::size_t(2));
  QCOMPARE(r.run.dialogs.messageTexts(),
           QStringList{QStringLiteral("2 items were left out: they would lie outside the world.")});
  // A move that would take one of them out leaves it and moves the other.
  QCOMPARE(r.selected(), std::size_t(2));
  auto& tool = r.editor->toolWindows().staticTool();
  QLineEdit* step = tool.findChild<QLineEdit*>(QStringLiteral("eMove"));
  QVERIFY(step);
  step->clear();
  QTest::keyClicks(step, QStringLiteral("31"));
  QTest::mouseClick(tool.findChild<QAbstractButton*>(QStringLiteral("btnMoveLeft")),
                    Qt::LeftButton);
  const auto items = r.run.registry->worldFile->items();
  QCOMPARE(std::tuple(int(items[0].x), int(items[0].y)), std::tuple(30, 30));
  QCOMPARE(std::tuple(int(items[1].x), int(items[1].y)), std::tuple(0, 62));
  QCOMPARE(r.run.dialogs.messageTexts().last(),
           QStringLiteral("1 item was left out: it would lie outside the world."));
  // Text that is no group is refused with its line; nothing is placed.
  QGuiApplication::clipboard()->setText(QStringLiteral("0x1 0 0 0 0x0\nwall 1 1 0 0\n"));
  r.key(Qt::Key_V, Qt::ControlModifier);
  QCOMPARE(r.run.registry->worldFile->size(), std::size_t(2));
  QCOMPARE(r.run.dialogs.messageTexts().last(),
           QStringLiteral("Line 2: 'wall' is not a valid integer value"));
}

void EditorSelectionTest::findPlacedListsTheItemsAndADoubleClickGoesThere() {
  SelectRun r;
  r.run.registry->worldFile->add(EditorWorld::kPost, 10, 50, 4, 7);
  r.trigger(QStringLiteral("Find placed\u2026"));
  quillotide::ui::TFindPlacedForm& form = r.editor->selection().findForm();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  auto* field = form.findChild<QLineEdit*>(QStringLiteral("eFind"));
  QTest::keyClicks(field, QStringLiteral("0x1"));
  QTest::keyClick(field, Qt::Key_Enter);
  auto* list = form.findChild<QListView*>(QStringLiteral("lbFound"));
  QCOMPARE(list->model()->rowCount(), 3);
  QCOMPARE(list->model()->index(2, 0).data().toString(),
           QStringLiteral("0x1  10,50,4  Color: 0x7  (Worldfile)"));
  QCOMPARE(list->model()->index(1, 0).data().toString(),
           QStringLiteral("0x1  34,34,0  Color: 0x3  (Statics)"));

  const QRect line = list->visualRect(list->model()->index(2, 0));
  // A double-click as a person makes it: the first press and release, then the second.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, line.center());
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, line.center());
  QCOMPARE(r.editor->scene().centreX(), 10);
  QCOMPARE(r.editor->scene().centreY(), 50);
  QCOMPARE(r.selected(), std::size_t(1));
  const auto chosen = r.editor->selection().selection().items(r.editor->worldEdits().models());
  QCOMPARE(chosen.front().kind, ItemKind::WorldUnwritten);
  r.editor->view()->prepareIfNeeded();
  QVERIFY(r.visible(ItemKind::WorldUnwritten, 10, 50)->selected);

  // A range and a name part; a name needs no number.
  field->clear();
  QTest::keyClicks(field, QStringLiteral("2-3"));
  QTest::keyClick(field, Qt::Key_Enter);
  QCOMPARE(list->model()->rowCount(), 0);
  QCOMPARE(form.findChild<QLabel*>(QStringLiteral("lFound"))->text(), QStringLiteral("0 found"));
}

// A whole-file tool lets the statics go and reads them again: the items Find placed found, the
// selection and the undo steps named statics of the model before, and none of them may reach
// the one in its place.
void EditorSelectionTest::aToolThatReplacesTheStaticsDropsWhatWasMadeOnThem() {
  SelectRun r;
  quillotide::Registry& reg = *r.run.registry;
  const std::string index = reg.statics->indexPath(), data = reg.statics->dataPath();
  reg.openFiles().adopt("Statics", {index, data}, {reg.statics->width(), reg.statics->height()});
  r.trigger(QStringLiteral("Find placed\u2026"));
  quillotide::ui::TFindPlacedForm& form = r.editor->selection().findForm();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  auto* field = form.findChild<QLineEdit*>(QStringLiteral("eFind"));
  QTest::keyClicks(field, QStringLiteral("0x1"));
  QTest::keyClick(field, Qt::Key_Enter);
  auto* list = form.findChild<QListView*>(QStringLiteral("lbFound"));
  QVERIFY(list->model()->rowCount() > 0);
  r.click(EditorRun::post(32, 32));
  QCOMPARE(r.selected(), std::size_t(1));
  r.key(Qt::Key_Delete);
  QVERIFY(r.editor->undoAction()->isEnabled());

  quillotide::OpenFiles::FixedAnswer discard(quillotide::OpenFiles::Answer::Discard);
  QVERIFY(reg.openFiles().runTool({{}, {index}}, discard, [] {}).ran);
  QVERIFY(reg.statics->isLoaded());
  QCOMPARE(list->model()->rowCount(), 0);
  QVERIFY(form.findChild<QLabel*>(QStringLiteral("lFound"))->text().contains("search again"));
  QCOMPARE(r.selected(), std::size_t(0));
  QVERIFY(!r.editor->undoAction()->isEnabled());
  // Found again, the items are those of the statics now in place, and a double-click goes there.
  QTest::keyClick(field, Qt::Key_Enter);
  QVERIFY(list->model()->rowCount() > 0);
  const QRect line = list->visualRect(list->model()->index(0, 0));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, line.center());
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, line.center());
  QCOMPARE(r.selected(), std::size_t(1));
}

namespace {

// Shows a tool window, makes it the active one and gives the widget the keys.
void focusIn(QWidget& window, QWidget* widget) {
  window.show();
  window.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&window));
  QVERIFY(widget);
  widget->setFocus();
  QTRY_VERIFY(widget->hasFocus());
}

// Where every static and world-file item stands, with its colour.
std::vector<std::tuple<int, int, int, int>> worldNow(SelectRun& r) {
  std::vector<std::tuple<int, int, int, int>> out;
  for (const TItem& it : r.run.registry->statics->getItemsInRect(0, 63, 0, 63))
    if (!it.deleted) out.emplace_back(it.x, it.y, it.z, it.hue);
  for (const TItem& it : r.run.registry->worldFile->items())
    if (!it.deleted) out.emplace_back(it.x, it.y, it.z, it.hue);
  return out;
}

}  // namespace

void EditorSelectionTest::theFindListIsWalkedWithTheKeysWithoutChangingTheWorld() {
  SelectRun r;
  r.run.registry->worldFile->add(EditorWorld::kPost, 10, 50, 4, 7);
  r.trigger(QStringLiteral("Find placed\u2026"));
  quillotide::ui::TFindPlacedForm& form = r.editor->selection().findForm();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  auto* field = form.findChild<QLineEdit*>(QStringLiteral("eFind"));
  focusIn(form, field);
  QTest::keyClicks(field, QStringLiteral("0x1"));
  QTest::keyClick(field, Qt::Key_Enter);
  auto* list = form.findChild<QListView*>(QStringLiteral("lbFound"));
  QCOMPARE(list->model()->rowCount(), 3);
  focusIn(form, list);

  // Enter on the first line goes there as a double-click does: the post on 32,32 is selected.
  QTest::keyClick(list, Qt::Key_Home);
  QTest::keyClick(list, Qt::Key_Enter);
  QCOMPARE(r.selected(), std::size_t(1));
  const auto before = worldNow(r);
  const auto centre = std::pair(r.editor->scene().centreX(), r.editor->scene().centreY());

  // The arrows, Page Up and Down, Delete and Esc walk the list and leave the world, the view
  // and the item just found alone.
  QTest::keyClick(list, Qt::Key_Down);
  QCOMPARE(list->currentIndex().row(), 1);
  QTest::keyClick(list, Qt::Key_PageUp);
  QCOMPARE(list->currentIndex().row(), 0);
  QTest::keyClick(list, Qt::Key_PageDown);
  QTest::keyClick(list, Qt::Key_Up);
  QTest::keyClick(list, Qt::Key_Down);
  QCOMPARE(list->currentIndex().row(), 2);
  QTest::keyClick(list, Qt::Key_Delete);
  QTest::keyClick(list, Qt::Key_Escape);
  QCOMPARE(worldNow(r), before);
  QCOMPARE(std::pair(r.editor->scene().centreX(), r.editor->scene().centreY()), centre);
  QCOMPARE(r.selected(), std::size_t(1));
  QVERIFY(!r.editor->undoStack().canUndo());

  // Enter on the third line goes to the world-file item.
  QTest::keyClick(list, Qt::Key_Return);
  QCOMPARE(r.editor->scene().centreX(), 10);
  QCOMPARE(r.editor->scene().centreY(), 50);
  const auto chosen = r.editor->selection().selection().items(r.editor->worldEdits().models());
  QCOMPARE(chosen.size(), std::size_t(1));
  QCOMPARE(chosen.front().kind, ItemKind::WorldUnwritten);
  QCOMPARE(worldNow(r), before);
}

void EditorSelectionTest::keysTypedIntoFieldsOfToolWindowsActThere() {
  SelectRun r;
  r.selectBoth();
  const auto before = worldNow(r);
  const auto centre = std::pair(r.editor->scene().centreX(), r.editor->scene().centreY());
  auto& windows = r.editor->toolWindows();

  // The map overview's X and the static tool's move step: Page Up and Down, the arrows and Home
  // stay in the field.
  QWidget& overview = windows.mapOverview();
  auto* x = overview.findChild<QLineEdit*>(QStringLiteral("eX"));
  focusIn(overview, x);
  for (const Qt::Key key : {Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Up, Qt::Key_Down})
    QTest::keyClick(x, key);
  QWidget& tool = windows.staticTool();
  auto* step = tool.findChild<QLineEdit*>(QStringLiteral("eMove"));
  focusIn(tool, step);
  QTest::keyClick(step, Qt::Key_PageUp);
  QTest::keyClick(step, Qt::Key_Down);
  // The hue chooser's index field.
  QWidget& hues = windows.hueChooser();
  auto* index = hues.findChild<QLineEdit*>(QStringLiteral("eFarbIndex"));
  focusIn(hues, index);
  QTest::keyClick(index, Qt::Key_PageDown);
  QCOMPARE(worldNow(r), before);
  QCOMPARE(std::pair(r.editor->scene().centreX(), r.editor->scene().centreY()), centre);

  // The static chooser: Esc in "Go to:" keeps the selection; Ctrl+C in the grid does not copy
  // the world's selection.
  QWidget& chooser = windows.staticChooser();
  auto* goTo = chooser.findChild<QLineEdit*>(QStringLiteral("eGoTo"));
  focusIn(chooser, goTo);
  QTest::keyClick(goTo, Qt::Key_Escape);
  QCOMPARE(r.selected(), std::size_t(2));
  QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
  auto* grid = chooser.findChild<QWidget*>(QStringLiteral("dgStatics"));
  focusIn(chooser, grid);
  QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
  QVERIFY(r.run.dialogs.messageTexts().isEmpty());

  // Undo still reaches the world from a grid or list (a field keeps Ctrl+Z for its own text).
  focusIn(tool, step);
  QTest::mouseClick(tool.findChild<QAbstractButton*>(QStringLiteral("btnMoveDown")),
                    Qt::LeftButton);
  QVERIFY(worldNow(r) != before);
  focusIn(chooser, grid);
  QTest::keyClick(grid, Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(worldNow(r), before);
}

void EditorSelectionTest::theItemUnderTheMouseAndTheSelectionLookApart() {
  SelectRun r;
  r.click(EditorRun::post(32, 32));
  r.click(EditorRun::post(34, 34), Qt::ControlModifier);
  QCOMPARE(r.selected(), std::size_t(2));
  // Ctrl+click takes 34,34 out again; the mouse stays on it.
  r.click(EditorRun::post(34, 34), Qt::ControlModifier);
  QCOMPARE(r.selected(), std::size_t(1));
  r.editor->view()->prepareIfNeeded();
  const TItem* out = r.visible(ItemKind::Static, 34, 34);
  const TItem* in = r.visible(ItemKind::Static, 32, 32);
  QVERIFY(out && in);
  // Under the mouse: the selection hue, no tint of the selection. Selected: its own colours
  // under the selection's tint.
  QCOMPARE(quillotide::drawHue(*out), -1);
  QVERIFY(quillotide::drawHue(*in) != -1);
  const auto command = [&](const TItem* item) {
    for (const quillotide::DrawCommand& c : r.editor->scene().commands())
      if (c.serial == item->serial) return c;
    return quillotide::DrawCommand{};
  };
  QVERIFY(command(in).inSelection);
  QVERIFY(!command(out).inSelection);
  // Both looks at once on a selected item under the mouse; neither once the mouse leaves.
  r.click(EditorRun::post(32, 32), Qt::ControlModifier);
  r.click(EditorRun::post(32, 32), Qt::ControlModifier);
  r.editor->view()->prepareIfNeeded();
  QCOMPARE(quillotide::drawHue(*r.visible(ItemKind::Static, 32, 32)), -1);
  QVERIFY(command(r.visible(ItemKind::Static, 32, 32)).inSelection);
  QTest::mouseMove(r.view(), EditorRun::cell(40, 40));
  r.editor->view()->prepareIfNeeded();
  QCOMPARE(r.visible(ItemKind::Static, 34, 34)->selected, std::uint8_t(0));
}

void EditorSelectionTest::spaceReleasedOutsideTheEditorIsUpAgain() {
  SelectRun r;
  // Space goes down in the editor and up while another window has the keys.
  QTest::keyPress(r.editor.get(), Qt::Key_Space);
  QWidget& tool = r.editor->toolWindows().staticTool();
  tool.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&tool));
  QTest::keyRelease(&tool, Qt::Key_Space);
  r.activateEditor();
  // A click selects again, no pan.
  const auto centre = std::pair(r.editor->scene().centreX(), r.editor->scene().centreY());
  QTest::mouseMove(r.view(), EditorRun::post(32, 32));
  QTest::mousePress(r.view(), Qt::LeftButton, {}, EditorRun::post(32, 32));
  QTest::mouseMove(r.view(), EditorRun::post(32, 32) + QPoint(60, 40));
  QTest::mouseRelease(r.view(), Qt::LeftButton, {}, EditorRun::post(32, 32) + QPoint(60, 40));
  QCOMPARE(r.selected(), std::size_t(1));
  QCOMPARE(std::pair(r.editor->scene().centreX(), r.editor->scene().centreY()), centre);
}

void EditorSelectionTest::aLargePasteIsPlacedOnlyWhenTheUserSaysSo() {
  SelectRun r;
  QString text;
  for (int i = 0; i < 5001; ++i) text += QStringLiteral("0x1 %1 0 0 0x0\n").arg(i % 10);
  QGuiApplication::clipboard()->setText(text);
  QTest::mouseMove(r.view(), EditorRun::cell(30, 30));
  r.run.dialogs.answerQuestion(QStringLiteral("Cancel"));
  r.key(Qt::Key_V, Qt::ControlModifier);
  QCOMPARE(r.run.registry->worldFile->size(), std::size_t(0));
  r.run.dialogs.answerQuestion(QStringLiteral("Paste"));
  r.key(Qt::Key_V, Qt::ControlModifier);
  QCOMPARE(r.run.registry->worldFile->size(), std::size_t(5001));
  // Ids the tool windows refuse, and a line short of values, are refused with their line.
  QGuiApplication::clipboard()->setText(QStringLiteral("0x1 0 0 0 0x0\n0x4000 1 0 0 0x0\n"));
  r.key(Qt::Key_V, Qt::ControlModifier);
  QCOMPARE(r.run.dialogs.messageTexts().last(),
           QStringLiteral("Line 2: the id 16384 does not fit (0 to 16383)."));
  QGuiApplication::clipboard()->setText(QStringLiteral("0x1 0 0\n"));
  r.key(Qt::Key_V, Qt::ControlModifier);
  QCOMPARE(r.run.dialogs.messageTexts().last(),
           QStringLiteral("Line 1: '0x1 0 0' holds 3 of the 5 values of an item: id x y z hue."));
  QCOMPARE(r.run.registry->worldFile->size(), std::size_t(5001));
}

QTEST_MAIN(EditorSelectionTest)
#include "EditorSelectionTest.moc"
