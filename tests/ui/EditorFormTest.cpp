// The world editor driven as a person does: keys pressed in the window, the mouse moved over and
// clicked on known items, menu items triggered, dialogs answered through the dialog seam; then
// the status texts, the highlight, the configuration and the files are read. These run without
// OpenGL (the editor's panel then says so); picking never reads the frame back.

#include <filesystem>

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "EditorRun.h"
#include "UiTestSupport.h"
#include "app/FileIO.h"
#include "world/Items.h"
#include "sample/Sample.h"
#include "support/EditorWorld.h"
#include "ui/editor/EditorView.h"
#include "ui/editor/MaptoolForm.h"
#include "ui/editor/SEditorForm.h"
#include "ui/editor/StaticToolForm.h"
#include "ui/editor/ToolWindows.h"
#include "ui/main/Startup.h"
#include "world/StaticDiff.h"

using quillotide::ItemKind;
using quillotide::TItem;
using quillotide::test::configWith;
using quillotide::test::EditorWorld;
using quillotide::test::ProgramRun;
using quillotide::ui::TSEditorForm;
using quillotide::WorldPart;

class EditorFormTest : public QObject {
  Q_OBJECT
private slots:
  void startsWithTheStoredSizeAndCentre();
  void arrowsMoveAndPlusMinusZoomWithinTheLimits();
  void rightClickMovesTowardsTheClickedPoint();
  void hoverHighlightsTheItemAndShowsItsText();
  void aLargerCursorHighlightsTheLandAround();
  void toolsGetClicksAndDragsThroughOneDispatchPoint();
  void viewMenuTogglesCaptionsAndSources();
  void worldFileLoadsSavesAndClears();
  void staticDiffsSaveAndLoadThroughTheMenu();
  void aDiffBlockHidesTheStaticsItReplacesInASmallWorld();
  void patchStaticsWritesBothFilesAndRebuilds();
  void optionsStoreTheSizeAndTheCursor();
  void closingWithUnsavedChangesAsksFirst();
  void closingSavesTheStaticDiffsItNames();
  void loadingStaticDiffsOverUnsavedEditsAsksFirst();
  void savingStaticDiffsOverAnotherSetAsksFirst();
  void clearStaticsAsksAndIsOneUndoStep();
  void clearStaticsHeldOpenSaysItCannotBeUndone();
  void patchStaticsProposesTheLoadedFiles();
  void patchStaticsHeldOpenAsksForNoFilesAndNamesThem();
  void aFileFailingWhileDrawingShowsAMessage();
  void anErrorBoxDuringAPressEndsTheDrag();
  void withoutOpenGLThePanelSaysSo();
  void theFeaturesButtonLoadsTheWorldAndOpensTheEditor();
  void theSampleMayFollowTheWorldeditorSwitch();
};

namespace {

constexpr int kC = 32;

using quillotide::test::EditorRun;

// The middle of the frame's magenta square on its cell.
QPoint framePixel(int x, int y) { return EditorRun::cell(x, y) + QPoint(0, 5); }

// A tool button of a tool window pressed with the mouse; then the editor is brought back.
void pressTool(EditorRun& r, QWidget& window, const char* button) {
  auto* b = window.findChild<QAbstractButton*>(QString::fromLatin1(button));
  QVERIFY(b);
  QTest::mouseClick(b, Qt::LeftButton);
  r.activateEditor();
}

QWidget& staticTool(EditorRun& r) { return r.editor->toolWindows().staticTool(); }

// A static diff set in `dir` (saved through the menu) holding one frame at (31, 31), loaded.
void loadDiffWithAFrame(EditorRun& r, const QString& dir) {
  r.run.registry->worldFile->add(EditorWorld::kFrame, 31, 31, 0, 0);
  QVERIFY(QDir().mkpath(dir));
  r.run.dialogs.answerFolder(dir);
  r.trigger(QStringLiteral("Save StaticDiffs (new items included)"));
  r.run.dialogs.answerFolder(dir);
  r.trigger(QStringLiteral("Load StaticDiffs"));
  // A move to where the mouse already is comes as no event: it arrives from elsewhere.
  QTest::mouseMove(r.view(), QPoint(5, 5));
  QTest::mouseMove(r.view(), framePixel(31, 31));
  QVERIFY(r.visible(ItemKind::DiffStatic, 31, 31));
}

// The diff items a fresh store reads from the files in `dir`.
std::size_t diffItemsOnDisk(const QString& dir) {
  quillotide::TStaticDiff diffs;
  diffs.setWorldSize(64, 64);
  diffs.loadDiffs(dir.toStdString());
  std::vector<TItem> items;
  diffs.appendItemsInRect(0, 63, 0, 63, items);
  return items.size();
}

}  // namespace

void EditorFormTest::startsWithTheStoredSizeAndCentre() {
  {
    // No world loaded yet: the stored centre 0 (or none) stands for 1580, 1580.
    ProgramRun run(configWith({{"EditorWidth", "0"}, {"EditorHeight", "0"}, {"LastX", "0"}}));
    TSEditorForm editor(*run.mainForm, false);
    QCOMPARE(editor.scene().centreX(), 1580);
    QCOMPARE(editor.scene().centreY(), 1580);
  }
  {
    // On a 64 x 64 world that centre is kept on the world's last cell.
    EditorRun r(configWith({{"EditorWidth", "0"}, {"EditorHeight", "0"}, {"LastX", "0"}}));
    QCOMPARE(r.view()->size(), QSize(800, 600));
    QCOMPARE(r.editor->scene().centreX(), 63);
    QCOMPARE(r.editor->scene().centreY(), 63);
    QCOMPARE(r.editor->windowTitle(), QStringLiteral("Editor"));
    QCOMPARE(r.editor->findChild<QLabel*>("StatusPanel0")->width(), 300);
  }
  EditorRun r(configWith(
      {{"EditorWidth", "1024"}, {"EditorHeight", "768"}, {"LastX", "40"}, {"LastY", "12"}}));
  QCOMPARE(r.view()->size(), QSize(1024, 768));
  QCOMPARE(r.editor->scene().centreX(), 40);
  QCOMPARE(r.editor->scene().centreY(), 12);
}

void EditorFormTest::arrowsMoveAndPlusMinusZoomWithinTheLimits() {
  EditorRun r;
  r.show();
  auto& scene = r.editor->scene();
  QTest::keyClick(r.editor.get(), Qt::Key_Left);
  QCOMPARE(QPoint(scene.centreX(), scene.centreY()), QPoint(kC - 1, kC + 1));
  QTest::keyClick(r.editor.get(), Qt::Key_Up);
  QCOMPARE(QPoint(scene.centreX(), scene.centreY()), QPoint(kC - 2, kC));
  QTest::keyClick(r.editor.get(), Qt::Key_Right);
  QTest::keyClick(r.editor.get(), Qt::Key_Down);
  QCOMPARE(QPoint(scene.centreX(), scene.centreY()), QPoint(kC, kC));
  // Zoom goes by a factor of 1.25 a press, within 0.1 and 10.1.
  QTest::keyClick(r.editor.get(), Qt::Key_Plus);
  QCOMPARE(scene.zoom(), 0.8);
  for (int i = 0; i < 20; ++i) QTest::keyClick(r.editor.get(), Qt::Key_Plus);
  QCOMPARE(scene.zoom(), 0.1);
  // Minus on the number pad: back up to 10.1, no further.
  for (int i = 0; i < 40; ++i) QTest::keyClick(r.editor.get(), Qt::Key_Minus, Qt::KeypadModifier);
  QCOMPARE(scene.zoom(), 10.1);
  QTest::keyClick(r.editor.get(), Qt::Key_Minus);
  QCOMPARE(scene.zoom(), 10.1);
}

void EditorFormTest::rightClickMovesTowardsTheClickedPoint() {
  EditorRun r;
  r.show();
  auto& scene = r.editor->scene();
  QTest::mouseClick(r.view(), Qt::RightButton, {}, QPoint(400, 300));
  QCOMPARE(QPoint(scene.centreX(), scene.centreY()), QPoint(kC, kC));
  // 60 right and 30 down: (90 / 30, -30 / 30).
  QTest::mouseClick(r.view(), Qt::RightButton, {}, QPoint(460, 330));
  QCOMPARE(QPoint(scene.centreX(), scene.centreY()), QPoint(kC + 3, kC - 1));
}

void EditorFormTest::hoverHighlightsTheItemAndShowsItsText() {
  EditorRun r;
  r.show();
  const QPoint post = EditorRun::cell(kC + 2, kC + 2) + QPoint(0, 10);
  QTest::mouseMove(r.view(), post);
  QCOMPARE(r.editor->statusText(0), QStringLiteral("ID: 0x1   Pos: 34,34,0   Color: 0x3"));
  QCOMPARE(r.editor->statusText(1), QStringLiteral("%1,%2 Zoom:1").arg(post.x()).arg(post.y()));
  const TItem* hovered = r.visible(ItemKind::Static, kC + 2, kC + 2);
  QVERIFY(hovered && hovered->selected);
  // The statics model keeps the selection too.
  QVERIFY(r.run.registry->statics->item(hovered->serial)->selected);
  const std::int32_t postSerial = hovered->serial;
  // To the land cell beside it: the post loses the highlight, the cell takes it.
  QTest::mouseMove(r.view(), EditorRun::cell(kC + 2, kC + 2) + QPoint(-15, 0));
  QVERIFY(!r.editor->findVisibleItem(postSerial)->selected);
  QVERIFY(!r.run.registry->statics->item(postSerial)->selected);
  const TItem* land = r.visible(ItemKind::Land, kC + 2, kC + 2);
  QVERIFY(land && land->selected);
  QCOMPARE(r.editor->statusText(0), QStringLiteral("ID: 0x1   Pos: 34,34,0   Color: 0x0"));
}

void EditorFormTest::aLargerCursorHighlightsTheLandAround() {
  EditorRun r;
  r.show();
  r.run.dialogs.answerInput(QStringLiteral("3"));
  r.run.dialogs.answerInput(QStringLiteral("4"));
  r.trigger(QStringLiteral("Set Custom Cursor"));
  QCOMPARE(r.editor->cursorReachX(), 2);
  QCOMPARE(r.editor->cursorReachY(), 2);  // (4 + 1) div 2
  QTest::mouseMove(r.view(), EditorRun::cell(kC + 4, kC) + QPoint(-15, 0));
  QCOMPARE(r.editor->statusText(0), QStringLiteral("Pos: 36,32"));
  int selected = 0;
  for (const TItem& it : r.editor->scene().visibleItems()) {
    const bool near = std::abs(it.x - (kC + 4)) <= 1 && std::abs(it.y - kC) <= 1;
    if (it.selected) ++selected;
    if (it.kind == ItemKind::Land) QCOMPARE(bool(it.selected), near);
  }
  QCOMPARE(selected, 9);
  // A number that does not parse keeps the reach and asks no more.
  r.run.dialogs.answerInput(QStringLiteral("1a"));
  r.trigger(QStringLiteral("Set Custom Cursor"));
  QCOMPARE(r.run.dialogs.messageTexts().last(),
           QStringLiteral("'1a' is not a valid integer value"));
  QCOMPARE(r.editor->cursorReachX(), 2);
  QCOMPARE(r.run.dialogs.pendingAnswers(), 0);
}

void EditorFormTest::toolsGetClicksAndDragsThroughOneDispatchPoint() {
  EditorRun r;
  r.show();
  QList<std::int32_t> applied;
  for (int tool : {2, 6})
    r.editor->setToolHandler(tool, [&](TSEditorForm& e, std::int32_t serial) {
      applied << serial;
      TItem* it = e.findVisibleItem(serial);
      if (e.editorTool() == 2 && it && it->kind == ItemKind::Static) {
        r.run.registry->items->remove(it);
        it->deleted = 1;
      }
    });
  const QPoint first = EditorRun::cell(kC, kC) + QPoint(0, 10);
  const QPoint second = EditorRun::cell(kC + 2, kC + 2) + QPoint(0, 10);
  // Tool 0 does nothing with a click.
  QTest::mouseClick(r.view(), Qt::LeftButton, {}, first);
  QVERIFY(applied.isEmpty());
  // "Tile" (6) takes single clicks only: dragging over the second post does not apply it.
  r.editor->setEditorTool(6);
  QTest::mousePress(r.view(), Qt::LeftButton, {}, first);
  QTest::mouseMove(r.view(), second);
  QTest::mouseRelease(r.view(), Qt::LeftButton, {}, second);
  QCOMPARE(applied.size(), 1);
  applied.clear();
  // Delete (2) paints: the press deletes the first post, the drag the second.
  r.editor->setEditorTool(2);
  QTest::mouseMove(r.view(), QPoint(5, 5));
  QTest::mousePress(r.view(), Qt::LeftButton, {}, first);
  QTest::mouseMove(r.view(), second);
  QTest::mouseRelease(r.view(), Qt::LeftButton, {}, second);
  QCOMPARE(applied.size(), 2);  // the first by the press, the second by the move
  QVERIFY(r.run.registry->statics->item(applied.first())->deleted);
  QVERIFY(r.run.registry->statics->item(applied.last())->deleted);
  QVERIFY(r.editor->hasUnsaved(WorldPart::Statics));
  // Showing the editor again starts with tool 0.
  r.editor->hide();
  r.editor->show();
  QCOMPARE(r.editor->editorTool(), 0);
}

void EditorFormTest::viewMenuTogglesCaptionsAndSources() {
  EditorRun r;
  r.show();
  r.trigger(QStringLiteral("Show Map 2D"));
  QVERIFY(r.editor->action(QStringLiteral("Show Map 3D")));
  QVERIFY(r.editor->scene().flat2D());
  r.trigger(QStringLiteral("Show Web"));
  QVERIFY(r.editor->action(QStringLiteral("Hide Web")));
  r.trigger(QStringLiteral("Hide Z-Level"));
  QVERIFY(r.editor->action(QStringLiteral("Show Z-Level")));
  QVERIFY(!r.editor->scene().showAltitudes());
  r.trigger(QStringLiteral("Hide Map"));
  QVERIFY(r.editor->action(QStringLiteral("Show Map")));
  QTest::mouseMove(r.view(), EditorRun::cell(kC, kC));
  QVERIFY(!r.visible(ItemKind::Land, kC, kC));
  QVERIFY(r.visible(ItemKind::Static, kC, kC));
  // Unchecking "Statics" leaves them out of the next rebuild.
  QAction* statics = r.editor->action(QStringLiteral("Statics"));
  QVERIFY(statics->isChecked());
  statics->trigger();
  QVERIFY(!statics->isChecked());
  QTest::mouseMove(r.view(), EditorRun::cell(kC, kC) + QPoint(1, 1));
  QVERIFY(r.editor->scene().visibleItems().empty());
}

void EditorFormTest::worldFileLoadsSavesAndClears() {
  EditorRun r;
  r.show();
  quillotide::test::writeText(r.run.dir.file("items.txt"),
                              "0x3 33 32 0 0x0\r\n0x1 30 30 0 0x5\r\n");
  r.run.dialogs.answerOpen(r.run.path("items.txt"));
  r.trigger(QStringLiteral("Load Worldfile from Textfile"));
  QCOMPARE(r.run.dialogs.asked().last().filter, QStringLiteral("*.txt|*.txt"));
  QTest::mouseMove(r.view(), EditorRun::cell(kC, kC));
  QVERIFY(r.visible(ItemKind::WorldUnwritten, 33, 32));
  // A failing line stops the load; the items before it are shown.
  quillotide::test::writeText(r.run.dir.file("bad.wsc"),
                              "SECTION WORLDITEM 0\r\nID 3\r\nX 31\r\nY 33\r\nZ zz\r\n");
  r.run.dialogs.answerOpen(r.run.path("bad.wsc"));
  r.trigger(QStringLiteral("Load Worldfile from Wsc"));
  QCOMPARE(r.run.dialogs.messageTexts().last(),
           QStringLiteral("'zz' is not a valid integer value"));
  // The world file loaded is proposed when it is saved in its own format.
  r.run.dialogs.answerSave(r.run.path("saved.txt"));
  r.trigger(QStringLiteral("Save Worldfile to Textfile"));
  QCOMPARE(r.run.dialogs.asked().last().proposed, r.run.path("items.txt"));
  QCOMPARE(quillotide::test::readText(r.run.dir.file("saved.txt")),
           std::string("0x3 33 32 0 0x0\r\n0x1 30 30 0 0x5\r\n"));
  // Cancelling a dialog does nothing.
  r.run.dialogs.answerSave(std::nullopt);
  r.trigger(QStringLiteral("Save Worldfile to Sphere51a"));
  r.trigger(QStringLiteral("Clear Worldfile"));
  QTest::mouseMove(r.view(), EditorRun::cell(kC, kC) + QPoint(1, 0));
  QVERIFY(!r.visible(ItemKind::WorldWritten, 33, 32));
  QCOMPARE(r.run.registry->worldFile->size(), std::size_t(0));
}

void EditorFormTest::staticDiffsSaveAndLoadThroughTheMenu() {
  EditorRun r;
  r.show();
  r.run.registry->worldFile->add(EditorWorld::kFrame, 31, 31, 0, 0);
  QVERIFY(QDir().mkpath(r.run.path("diffs")));
  r.run.dialogs.answerFolder(std::nullopt);
  r.trigger(QStringLiteral("Save StaticDiffs (new items included)"));
  QVERIFY(!quillotide::fileExists(r.run.dir.file("diffs/Stadif0.mul")));
  r.run.dialogs.answerFolder(r.run.path("diffs"));
  r.trigger(QStringLiteral("Save StaticDiffs (new items included)"));
  QCOMPARE(r.run.dialogs.asked().last().title,
           QStringLiteral("Where do you want to have your Diff-Files?"));
  QCOMPARE(r.run.dialogs.messageTexts().last(), QStringLiteral("1 StaticDiff-Blocks saved."));
  for (const char* name : {"Stadifl0.mul", "Stadifi0.mul", "Stadif0.mul"})
    QVERIFY(quillotide::fileExists(r.run.dir.file(std::string("diffs/") + name)));
  // The world file's item went into the diff; the view no longer shows it as a world-file item.
  QVERIFY(r.run.registry->worldFile->unwrittenItems().empty());
  QTest::mouseMove(r.view(), EditorRun::cell(kC, kC));
  QVERIFY(!r.visible(ItemKind::WorldUnwritten, 31, 31));
  r.run.dialogs.answerFolder(r.run.path("diffs"));
  r.trigger(QStringLiteral("Load StaticDiffs"));
  QCOMPARE(r.run.dialogs.asked().last().title, QStringLiteral("Where are your Diff-Files?"));
  QTest::mouseMove(r.view(), EditorRun::cell(kC, kC) + QPoint(1, 0));
  QVERIFY(r.visible(ItemKind::DiffStatic, 31, 31));
  // An edit of a diff item through the dispatcher leaves the diffs unsaved.
  r.run.registry->items->remove(r.visible(ItemKind::DiffStatic, 31, 31));
  QVERIFY(r.editor->hasUnsaved(WorldPart::Diffs));
  // Saving them proposes the folder they were loaded from; a cancel writes nothing.
  r.run.dialogs.answerFolder(std::nullopt);
  r.trigger(QStringLiteral("Save StaticDiffs (changes only)"));
  QCOMPARE(r.run.dialogs.asked().last().folder, r.run.path("diffs"));
  QVERIFY(r.editor->hasUnsaved(WorldPart::Diffs));
  // "StaticDiffs" unchecked: the diff items stay out of the view.
  r.trigger(QStringLiteral("StaticDiffs"));
  QTest::mouseMove(r.view(), EditorRun::cell(kC, kC));
  QVERIFY(!r.visible(ItemKind::DiffStatic, 31, 31));
  // A folder without diff files is reported (after the question about the unsaved edit).
  r.run.dialogs.answerFolder(r.run.path("nowhere"));
  r.run.dialogs.answerQuestion(QStringLiteral("Load"));
  r.trigger(QStringLiteral("Load StaticDiffs"));
  QVERIFY(r.run.dialogs.messageTexts().last().startsWith("Cannot open file"));
}

void EditorFormTest::aDiffBlockHidesTheStaticsItReplacesInASmallWorld() {
  // The world is 64 x 64: the diff's block numbers must be those of this world, not of the
  // classic 6144 x 4096 one, or the diff block would hide some other block or none.
  EditorRun r;
  r.show();
  r.run.registry->worldFile->add(EditorWorld::kFrame, kC + 1, kC, 0, 0);
  QVERIFY(QDir().mkpath(r.run.path("diffs")));
  r.run.dialogs.answerFolder(r.run.path("diffs"));
  r.trigger(QStringLiteral("Save StaticDiffs (new items included)"));
  r.run.dialogs.answerFolder(r.run.path("diffs"));
  r.trigger(QStringLiteral("Load StaticDiffs"));
  QTest::mouseMove(r.view(), EditorRun::cell(kC, kC) + QPoint(1, 0));
  QVERIFY(r.visible(ItemKind::DiffStatic, kC + 1, kC));
  // Both posts stand in that block; the diff shows only its own item there.
  QVERIFY(!r.visible(ItemKind::Static, kC, kC));
  QVERIFY(!r.visible(ItemKind::Static, kC + 2, kC + 2));
}

void EditorFormTest::patchStaticsWritesBothFilesAndRebuilds() {
  EditorRun r;
  r.show();
  QTest::mouseMove(r.view(), EditorRun::cell(kC, kC) + QPoint(0, 10));
  const std::int32_t post = r.visible(ItemKind::Static, kC, kC)->serial;
  r.run.registry->statics->remove(post);
  r.run.registry->worldFile->add(EditorWorld::kFrame, 31, 31, 0, 0);
  // Both files must be chosen.
  r.run.dialogs.answerSave(r.run.path("new-staidx.mul"));
  r.run.dialogs.answerSave(std::nullopt);
  r.trigger(QStringLiteral("Patch Statics (all new items included)"));
  QVERIFY(!quillotide::fileExists(r.run.dir.file("new-staidx.mul")));
  r.run.dialogs.answerSave(r.run.path("new-staidx.mul"));
  r.run.dialogs.answerSave(r.run.path("new-statics.mul"));
  r.trigger(QStringLiteral("Patch Statics (all new items included)"));
  // The post's block and the new item's block.
  QCOMPARE(r.run.dialogs.asked().last().filter, QStringLiteral("Statics0.mul|Statics0.mul"));
  QCOMPARE(r.run.dialogs.messageTexts().last(), QStringLiteral("2 Static-Blocks Patched."));
  // The view is built again from the saved statics: the deleted post is gone, the world-file
  // item is a static now, and no copy with an old serial is left.
  QTest::mouseMove(r.view(), EditorRun::cell(kC, kC) + QPoint(0, 11));
  QVERIFY(!r.visible(ItemKind::Static, kC, kC));
  QVERIFY(r.visible(ItemKind::Static, 31, 31));
  QVERIFY(!r.visible(ItemKind::WorldUnwritten, 31, 31));
  quillotide::TStatics reread;
  reread.open(r.run.dir.file("new-staidx.mul"), r.run.dir.file("new-statics.mul"), 64, 64,
              quillotide::StorageMode::Memory);
  QCOMPARE(reread.getItemsInRect(0, 63, 0, 63).size(), std::size_t(2));
  // Patch Map writes the changed blocks back and says how many.
  r.run.registry->map->setAltitude(3, 3, 9);
  r.trigger(QStringLiteral("Patch Map"));
  QCOMPARE(r.run.dialogs.messageTexts().last(), QStringLiteral("1 MapBlocks patched."));
}

void EditorFormTest::optionsStoreTheSizeAndTheCursor() {
  EditorRun r;
  r.trigger(QStringLiteral("1024x768"));
  QCOMPARE(r.run.registry->config->getInt("EditorWidth"), 1024);
  QCOMPARE(r.run.registry->config->getInt("EditorHeight"), 768);
  // The window is not fixed: the preset's size applies at once, no restart needed.
  QVERIFY(r.run.dialogs.messages().isEmpty());
  r.show();
  QTRY_COMPARE(r.view()->size(), QSize(1024, 768));
  r.run.dialogs.answerInput(std::nullopt);
  r.trigger(QStringLiteral("Set Custom Cursor"));
  QCOMPARE(r.editor->cursorReachX(), 1);
}

void EditorFormTest::closingWithUnsavedChangesAsksFirst() {
  EditorRun r;
  r.run.mainForm->show();
  r.editor->show();
  r.editor->setViewCentre(30, 31);
  r.editor->noteUnsaved(WorldPart::WorldFile);
  r.run.dialogs.answerQuestion(QStringLiteral("Cancel"));
  r.editor->close();
  QVERIFY(r.editor->isVisible());
  QVERIFY(r.run.dialogs.asked().last().prompt.contains("world file"));
  // Save asks for the world file's name and writes it; then the editor closes.
  r.run.registry->worldFile->add(EditorWorld::kFrame, 31, 31, 0, 0);
  r.run.dialogs.answerQuestion(QStringLiteral("Save"));
  r.run.dialogs.answerSave(r.run.path("kept.txt"));
  r.editor->close();
  QVERIFY(!r.editor->isVisible());
  QCOMPARE(quillotide::test::readText(r.run.dir.file("kept.txt")),
           std::string("0x3 31 31 0 0x0\r\n"));
  // Hiding stored the centre and brought the main window back.
  QCOMPARE(r.run.registry->config->getInt("LastX"), 30);
  QCOMPARE(r.run.registry->config->getInt("LastY"), 31);
  QVERIFY(r.run.mainForm->isVisible());
  // Nothing unsaved: no question.
  r.editor->show();
  r.editor->close();
  QVERIFY(!r.editor->isVisible());
  // The program's main window asks too.
  r.editor->noteUnsaved(WorldPart::Map);
  r.run.dialogs.answerQuestion(QStringLiteral("Cancel"));
  r.run.mainForm->close();
  QVERIFY(r.run.mainForm->isVisible());
  QCOMPARE(r.run.dialogs.pendingAnswers(), 0);
}

void EditorFormTest::closingSavesTheStaticDiffsItNames() {
  EditorRun r;
  r.show();
  const QString dir = r.run.path("diffs");
  loadDiffWithAFrame(r, dir);
  pressTool(r, staticTool(r), "btnDelete");
  r.clickView(framePixel(31, 31));
  QVERIFY(!r.visible(ItemKind::DiffStatic, 31, 31));
  QVERIFY(r.editor->hasUnsaved(WorldPart::Diffs));
  // No folder chosen: nothing is saved, so the editor stays.
  r.run.dialogs.answerQuestion(QStringLiteral("Save"));
  r.run.dialogs.answerFolder(std::nullopt);
  r.editor->close();
  QVERIFY(r.editor->isVisible());
  QVERIFY(
      r.run.dialogs.asked().at(r.run.dialogs.asked().size() - 2).prompt.contains("static diffs"));
  QCOMPARE(diffItemsOnDisk(dir), std::size_t(1));
  // The diffs' folder chosen: the delete is in the files, and the editor closes.
  r.run.dialogs.answerQuestion(QStringLiteral("Save"));
  r.run.dialogs.answerFolder(dir);
  r.editor->close();
  QVERIFY(!r.editor->isVisible());
  QCOMPARE(r.run.dialogs.messageTexts().last(), QStringLiteral("1 StaticDiff-Blocks saved."));
  QCOMPARE(diffItemsOnDisk(dir), std::size_t(0));
  QCOMPARE(r.run.dialogs.pendingAnswers(), 0);
}

void EditorFormTest::loadingStaticDiffsOverUnsavedEditsAsksFirst() {
  EditorRun r;
  r.show();
  const QString dir = r.run.path("diffs");
  loadDiffWithAFrame(r, dir);
  pressTool(r, staticTool(r), "btnDelete");
  r.clickView(framePixel(31, 31));
  // Cancelled: the edit stays.
  r.run.dialogs.answerFolder(dir);
  r.run.dialogs.answerQuestion(QStringLiteral("Cancel"));
  r.trigger(QStringLiteral("Load StaticDiffs"));
  QVERIFY(r.run.dialogs.asked().last().prompt.contains("unsaved"));
  QTest::mouseMove(r.view(), framePixel(31, 31) + QPoint(1, 0));
  QVERIFY(!r.visible(ItemKind::DiffStatic, 31, 31));
  QVERIFY(r.editor->hasUnsaved(WorldPart::Diffs));
  // Loaded anyway: the files' item is back.
  r.run.dialogs.answerFolder(dir);
  r.run.dialogs.answerQuestion(QStringLiteral("Load"));
  r.trigger(QStringLiteral("Load StaticDiffs"));
  QTest::mouseMove(r.view(), framePixel(31, 31));
  QVERIFY(r.visible(ItemKind::DiffStatic, 31, 31));
  // Nothing unsaved: no question.
  r.run.dialogs.answerFolder(dir);
  r.trigger(QStringLiteral("Load StaticDiffs"));
  QCOMPARE(r.run.dialogs.pendingAnswers(), 0);
}

void EditorFormTest::savingStaticDiffsOverAnotherSetAsksFirst() {
  EditorRun r;
  r.show();
  // Another diff set, made elsewhere and never loaded here.
  const QString other = r.run.path("other");
  QVERIFY(QDir().mkpath(other));
  {
    quillotide::TStaticDiff elsewhere;
    elsewhere.setWorldSize(64, 64);
    elsewhere.addItem(EditorWorld::kPost, 10, 10, 0, 0);
    elsewhere.saveDiffs(other.toStdString(), quillotide::StaticsSaveMode::StaticsOnly, nullptr);
  }
  const auto before = quillotide::test::readBytes(r.run.dir.file("other/Stadifi0.mul"));
  r.run.registry->worldFile->add(EditorWorld::kFrame, 31, 31, 0, 0);
  r.run.dialogs.answerFolder(other);
  r.run.dialogs.answerQuestion(QStringLiteral("Cancel"));
  r.trigger(QStringLiteral("Save StaticDiffs (new items included)"));
  QVERIFY(r.run.dialogs.asked().last().prompt.contains("not loaded"));
  QVERIFY(quillotide::test::readBytes(r.run.dir.file("other/Stadifi0.mul")) == before);
  QCOMPARE(r.run.registry->worldFile->unwrittenItems().size(), std::size_t(1));
  // Loaded from there, the set is that folder's own: saving back asks nothing.
  r.run.dialogs.answerFolder(other);
  r.trigger(QStringLiteral("Load StaticDiffs"));
  r.run.dialogs.answerFolder(other);
  r.trigger(QStringLiteral("Save StaticDiffs (new items included)"));
  QCOMPARE(r.run.dialogs.messageTexts().last(), QStringLiteral("1 StaticDiff-Blocks saved."));
  QCOMPARE(diffItemsOnDisk(other), std::size_t(2));
  QCOMPARE(r.run.dialogs.pendingAnswers(), 0);
}

void EditorFormTest::clearStaticsAsksAndIsOneUndoStep() {
  EditorRun r;
  r.show();
  const auto index = quillotide::test::readBytes(r.world.dir.file("staidx0.mul"));
  r.run.dialogs.answerQuestion(QStringLiteral("Cancel"));
  r.trigger(QStringLiteral("Clear Statics"));
  QTest::mouseMove(r.view(), EditorRun::post(kC, kC));
  QVERIFY(r.visible(ItemKind::Static, kC, kC));
  r.run.dialogs.answerQuestion(QStringLiteral("Clear"));
  r.trigger(QStringLiteral("Clear Statics"));
  QCOMPARE(r.run.dialogs.messageTexts().last(), QStringLiteral("Statics cleared."));
  QTest::mouseMove(r.view(), EditorRun::post(kC, kC) + QPoint(1, 0));
  QVERIFY(!r.visible(ItemKind::Static, kC, kC));
  QVERIFY(r.editor->hasUnsaved(WorldPart::Statics));
  QCOMPARE(r.editor->undoAction()->text(), QStringLiteral("Undo Clear Statics"));
  r.activateEditor();
  QTest::keyClick(r.editor.get(), Qt::Key_Z, Qt::ControlModifier);
  QTest::mouseMove(r.view(), EditorRun::post(kC, kC));
  QVERIFY(r.visible(ItemKind::Static, kC, kC));
  QVERIFY(r.visible(ItemKind::Static, kC + 2, kC + 2));
  QVERIFY(!r.editor->hasUnsaved(WorldPart::Statics));
  // The files change only with a patch.
  QVERIFY(quillotide::test::readBytes(r.world.dir.file("staidx0.mul")) == index);
}

void EditorFormTest::clearStaticsHeldOpenSaysItCannotBeUndone() {
  EditorRun r;
  const std::string index = r.world.dir.file("staidx0.mul");
  const std::string data = r.world.dir.file("statics0.mul");
  r.run.registry->statics->open(index, data, 64, 64, quillotide::StorageMode::LowMemory);
  r.show();
  r.run.dialogs.answerQuestion(QStringLiteral("Clear"));
  r.trigger(QStringLiteral("Clear Statics"));
  QVERIFY(r.run.dialogs.asked().last().prompt.contains("cannot be undone"));
  QVERIFY(r.run.dialogs.asked().last().prompt.contains(QString::fromStdString(data)));
  QCOMPARE(quillotide::test::readBytes(data).size(), std::size_t(0));
  QVERIFY(!r.editor->undoAction()->isEnabled());
}

void EditorFormTest::patchStaticsProposesTheLoadedFiles() {
  EditorRun r;
  r.show();
  pressTool(r, staticTool(r), "btnDelete");
  r.clickView(EditorRun::post(kC, kC));
  const QString index = QString::fromStdString(r.run.registry->statics->indexPath());
  const QString data = QString::fromStdString(r.run.registry->statics->dataPath());
  QCOMPARE(index, QString::fromStdString(r.world.dir.file("staidx0.mul")));
  // The person accepts what the dialogs propose.
  r.run.dialogs.answerSave(index);
  r.run.dialogs.answerSave(data);
  r.trigger(QStringLiteral("Patch Statics (only changes on existing statics)"));
  const auto& asked = r.run.dialogs.asked();
  QCOMPARE(asked.at(asked.size() - 2).proposed, index);
  QCOMPARE(asked.last().proposed, data);
  QCOMPARE(r.run.dialogs.messageTexts().last(), QStringLiteral("1 Static-Blocks Patched."));
  // The loaded files hold the delete: read afresh, only the other post is left.
  quillotide::TStatics reread;
  reread.open(index.toStdString(), data.toStdString(), 64, 64, quillotide::StorageMode::Memory);
  const auto left = reread.getItemsInRect(0, 63, 0, 63);
  QCOMPARE(left.size(), std::size_t(1));
  QCOMPARE(int(left[0].x), kC + 2);
}

// Held open (Low Memory), the statics can be patched only where they are: no file is asked for,
// and the message names the files written.
void EditorFormTest::patchStaticsHeldOpenAsksForNoFilesAndNamesThem() {
  EditorRun r;
  const std::string index = r.world.dir.file("staidx0.mul");
  const std::string data = r.world.dir.file("statics0.mul");
  r.run.registry->statics->open(index, data, 64, 64, quillotide::StorageMode::LowMemory);
  r.show();
  pressTool(r, staticTool(r), "btnDelete");
  r.clickView(EditorRun::post(kC, kC));
  const auto askedBefore = r.run.dialogs.asked().size();
  r.trigger(QStringLiteral("Patch Statics (only changes on existing statics)"));
  QCOMPARE(r.run.dialogs.asked().size(), askedBefore);
  const QString said = r.run.dialogs.messageTexts().last();
  QVERIFY2(said.contains(QStringLiteral("1 Static-Blocks Patched.")) &&
               said.contains(QString::fromStdString(data)),
           qPrintable(said));
  quillotide::TStatics reread;
  reread.open(index, data, 64, 64, quillotide::StorageMode::Memory);
  QCOMPARE(reread.getItemsInRect(0, 63, 0, 63).size(), std::size_t(1));
}

void EditorFormTest::aFileFailingWhileDrawingShowsAMessage() {
  EditorRun r;
  // Another program cut the map file short after it was loaded.
  std::filesystem::resize_file(r.world.dir.file("registry-map0.mul"), 0);
  r.show();
  QTest::mouseMove(r.view(), QPoint(5, 5));
  QTest::mouseMove(r.view(), EditorRun::post(kC, kC));
  QTRY_COMPARE(int(r.run.dialogs.messages().size()), 1);
  QVERIFY2(r.run.dialogs.messageTexts().last().startsWith("Cannot open file"),
           qPrintable(r.run.dialogs.messageTexts().last()));
  // The editor goes on with what it read, and says it once.
  QVERIFY(r.visible(ItemKind::Static, kC, kC));
  QTest::mouseMove(r.view(), EditorRun::post(kC + 2, kC + 2));
  QTest::qWait(20);
  QCOMPARE(int(r.run.dialogs.messages().size()), 1);
}

void EditorFormTest::anErrorBoxDuringAPressEndsTheDrag() {
  EditorRun r;
  r.show();
  QWidget& maps = r.editor->toolWindows().mapTool();
  auto* step = maps.findChild<QLineEdit*>(QStringLiteral("eUpDown"));
  step->clear();
  QTest::keyClicks(step, QStringLiteral("zz"));
  pressTool(r, maps, "btnSetZ");
  QTest::mouseMove(r.view(), EditorRun::cell(kC - 3, kC));
  QTest::mousePress(r.view(), Qt::LeftButton, {}, EditorRun::cell(kC - 3, kC));
  QCOMPARE(r.run.dialogs.messageTexts(),
           QStringList{QStringLiteral("'zz' is not a valid integer value")});
  // The box took the release: the mouse goes on over other cells without a box for each.
  QTest::mouseMove(r.view(), EditorRun::cell(kC - 2, kC));
  QTest::mouseMove(r.view(), EditorRun::cell(kC - 1, kC));
  QCOMPARE(int(r.run.dialogs.messages().size()), 1);
  QTest::mouseRelease(r.view(), Qt::LeftButton, {}, EditorRun::cell(kC - 1, kC));
}

void EditorFormTest::withoutOpenGLThePanelSaysSo() {
  EditorRun r;
  auto* panel = r.editor->findChild<QLabel*>("lNoOpenGL");
  QVERIFY(panel);
  QVERIFY(panel->text().contains("OpenGL"));
  QVERIFY(!r.editor->view()->drawsWithOpenGL());
}

void EditorFormTest::theFeaturesButtonLoadsTheWorldAndOpensTheEditor() {
  ProgramRun run;
  run.useSampleFiles(run.dir.file("sample"));
  run.showPage(QStringLiteral("tsFeatures"));
  auto* button = run.find<QAbstractButton>(QStringLiteral("btnActivateEditor"));
  QVERIFY(button);
  QCOMPARE(button->text(), QStringLiteral("Worldeditor"));
  QTest::mouseClick(button, Qt::LeftButton);
  TSEditorForm* editor = TSEditorForm::existing(*run.mainForm);
  QVERIFY(editor && editor->isVisible());
  QVERIFY(!run.mainForm->isVisible());
  QVERIFY(run.registry->map->isLoaded());
  QVERIFY(run.registry->statics->isLoaded());
  QVERIFY(run.registry->art->isLoaded());
  QCOMPARE(editor->scene().centreX(), 128);
  QVERIFY(QTest::qWaitForWindowExposed(editor));
  QTest::mouseMove(editor->view(), QPoint(400, 300));
  QVERIFY(!editor->scene().visibleItems().empty());
  QVERIFY(editor->statusText(0).startsWith("ID: 0x"));
  QVERIFY2(run.dialogs.messages().isEmpty(), qPrintable(run.dialogs.messageTexts().join('\n')));
}

void EditorFormTest::theSampleMayFollowTheWorldeditorSwitch() {
  using quillotide::ui::editorWithSample;
  const char* both[] = {"quillotide", "--Worldeditor", "--sample"};
  const char* swapped[] = {"quillotide", "--sample", "--Worldeditor"};
  const char* alone[] = {"quillotide", "--Worldeditor"};
  QVERIFY(editorWithSample(3, both));
  QVERIFY(!editorWithSample(3, swapped));
  QVERIFY(!editorWithSample(2, alone));
  QCOMPARE(quillotide::ui::configPath(quillotide::ui::StartSwitch::Worldeditor, "/p", true),
           std::string("/p/sample/config.xml"));
  QCOMPARE(quillotide::ui::configPath(quillotide::ui::StartSwitch::Worldeditor, "/p"),
           std::string("/p/config.xml"));
}

QTEST_MAIN(EditorFormTest)
#include "EditorFormTest.moc"
