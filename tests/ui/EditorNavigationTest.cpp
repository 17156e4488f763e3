// The world editor's window and navigation driven as a person does: the window resized, the wheel
// turned over a point, the view dragged with the middle button and with Space held, keys pressed
// in the editor and in a tool window, "Go to..." answered, two-click tools started and cancelled,
// the land brush moved over the world and the map overview clicked; then what the status bar,
// the scene and the overview show is read.

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QWheelEvent>

#include "EditorRun.h"
#include "UiTestSupport.h"
#include "models/Radarcol.h"
#include "sample/Sample.h"
#include "support/EditorWorld.h"
#include "ui/editor/EditorView.h"
#include "ui/editor/MapForm.h"
#include "ui/editor/MaptoolForm.h"
#include "ui/editor/SEditorForm.h"
#include "ui/editor/StaticToolForm.h"
#include "ui/editor/ToolWindows.h"
#include "world/Map.h"

using quillotide::CellPos;
using quillotide::test::EditorRun;
using quillotide::ui::TSEditorForm;

class EditorNavigationTest : public QObject {
  Q_OBJECT
private slots:
  void theWindowResizesAndTheViewFillsIt();
  void theWheelZoomsAboutThePointUnderTheMouse();
  void dragsWithTheMiddleButtonOrSpacePanTheView();
  void keysMoveByCellsAndScreensZoomByAFactorAndGoHome();
  void theViewsKeysWorkFromAToolWindow();
  void theStatusBarFollowsEveryChange();
  void goToTakesAPositionAndRefusesBadOnes();
  void aTwoClickToolsFirstCornerIsMarkedUntilDoneOrCancelled();
  void theLandBrushOutlineFollowsTheMouse();
  void aCustomCursorIsCutToWhatOneStepCanChange();
  void theMapOverviewShowsTheWorldAndTheViewAndMovesIt();
};

namespace {

constexpr int kC = EditorRun::kCentre;

CellPos centre(const EditorRun& r) {
  return {r.editor->scene().centreX(), r.editor->scene().centreY()};
}

// One notch of the wheel at a point of the view, as the window system delivers it.
void turnWheel(QWidget* view, QPoint at, int notches) {
  QWheelEvent wheel(at, view->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(view, &wheel);
}

QString status(const EditorRun& r, int panel) { return r.editor->statusText(panel); }

}  // namespace

void EditorNavigationTest::theWindowResizesAndTheViewFillsIt() {
  EditorRun r;
  r.show();
  QCOMPARE(r.view()->size(), QSize(800, 600));
  // Not fixed: the window takes another size and the view, and what it draws, follow.
  QVERIFY(r.editor->minimumWidth() < 800);
  r.editor->resize(r.editor->size() + QSize(400, 200));
  QTRY_COMPARE(r.view()->size(), QSize(1200, 800));
  QCOMPARE(r.editor->scene().clientWidth(), 1200);
  QCOMPARE(r.editor->scene().clientHeight(), 800);
  // A wider window shows more cells: the corner cell lies farther from the centre.
  QVERIFY(r.editor->scene().viewCorners()[0].x < kC - 20);
  r.editor->resize(r.editor->size() - QSize(700, 500));
  QTRY_COMPARE(r.view()->size(), QSize(500, 300));
  // The presets of the menu size the view at once and are kept for the next start.
  r.trigger(QStringLiteral("1024x768"));
  QTRY_COMPARE(r.view()->size(), QSize(1024, 768));
  QCOMPARE(r.run.registry->config->getInt("EditorWidth"), 1024);
  QVERIFY(r.run.dialogs.messages().isEmpty());
  r.editor->showMaximized();
  QTRY_VERIFY(r.editor->isMaximized());
  QCOMPARE(r.view()->width(), r.editor->centralWidget()->width());
}

void EditorNavigationTest::theWheelZoomsAboutThePointUnderTheMouse() {
  EditorRun r;
  r.show();
  const auto& scene = r.editor->scene();
  const QPoint at = EditorRun::cell(kC + 6, kC - 2);
  const CellPos under = scene.cellAt(at.x(), at.y());
  QCOMPARE(under, (CellPos{kC + 6, kC - 2}));
  // Away from the user: nearer, by one factor a notch.
  turnWheel(r.view(), at, 1);
  QCOMPARE(scene.zoom(), 0.8);
  QCOMPARE(scene.cellAt(at.x(), at.y()), under);
  QVERIFY(centre(r) != (CellPos{kC, kC}));
  turnWheel(r.view(), at, -3);
  QCOMPARE(scene.zoom(), 0.8 * 1.25 * 1.25 * 1.25);
  QCOMPARE(scene.cellAt(at.x(), at.y()), under);
  // Half notches of a fine wheel add up to one step.
  const double before = scene.zoom();
  QWheelEvent half(at, r.view()->mapToGlobal(at), QPoint(), QPoint(0, 60), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(r.view(), &half);
  QCOMPARE(scene.zoom(), before);
  QApplication::sendEvent(r.view(), &half);
  QCOMPARE(scene.zoom(), before / 1.25);
  QVERIFY(status(r, 2).contains(QStringLiteral("Zoom: %1").arg(scene.zoom(), 0, 'g', 3)));
}

void EditorNavigationTest::dragsWithTheMiddleButtonOrSpacePanTheView() {
  EditorRun r;
  r.show();
  // Dragging the world 88 pixels to the right brings the cells to the west into view.
  const QPoint from(400, 300);
  QTest::mousePress(r.view(), Qt::MiddleButton, {}, from);
  QTest::mouseMove(r.view(), from + QPoint(44, 0));
  QCOMPARE(centre(r), (CellPos{kC - 1, kC + 1}));
  QTest::mouseMove(r.view(), from + QPoint(88, 0));
  QCOMPARE(centre(r), (CellPos{kC - 2, kC + 2}));
  QTest::mouseRelease(r.view(), Qt::MiddleButton, {}, from + QPoint(88, 0));
  QTest::mouseMove(r.view(), from);
  QCOMPARE(centre(r), (CellPos{kC - 2, kC + 2}));

  // Space and the left button pan too, and give no click to the tool.
  int clicks = 0;
  r.editor->setToolHandler(2, [&](TSEditorForm&, std::int32_t) { ++clicks; });
  r.editor->setEditorTool(2);
  QTest::keyPress(r.editor.get(), Qt::Key_Space);
  QTest::mousePress(r.view(), Qt::LeftButton, {}, from);
  QTest::mouseMove(r.view(), from + QPoint(0, 44));
  QTest::mouseRelease(r.view(), Qt::LeftButton, {}, from + QPoint(0, 44));
  QTest::keyRelease(r.editor.get(), Qt::Key_Space);
  QCOMPARE(centre(r), (CellPos{kC - 3, kC + 1}));
  QCOMPARE(clicks, 0);
  // Without Space the left button is the tool's again.
  r.clickView(EditorRun::post(kC, kC));
  QCOMPARE(clicks, 1);
}

void EditorNavigationTest::keysMoveByCellsAndScreensZoomByAFactorAndGoHome() {
  EditorRun r;
  r.show();
  QWidget* w = r.editor.get();
  QTest::keyClick(w, Qt::Key_Left);
  QCOMPARE(centre(r), (CellPos{kC - 1, kC + 1}));
  QTest::keyClick(w, Qt::Key_Down);
  QCOMPARE(centre(r), (CellPos{kC, kC + 2}));
  // A screen at a time: 800 pixels are about 18 cells across, 600 about 14 down.
  QTest::keyClick(w, Qt::Key_Right, Qt::ShiftModifier);
  QCOMPARE(centre(r), (CellPos{kC + 18, kC + 2 - 18}));
  QTest::keyClick(w, Qt::Key_Up, Qt::ShiftModifier);
  QCOMPARE(centre(r), (CellPos{kC + 18 - 14, kC + 2 - 18 - 14}));
  // Home: back to where the editor was opened.
  QTest::keyClick(w, Qt::Key_Home);
  QCOMPARE(centre(r), (CellPos{kC, kC}));

  // Three presses from 1.0 reach about 1.95 (eight did 1.8 by steps of 0.1).
  auto& scene = r.editor->scene();
  for (int i = 0; i < 3; ++i) QTest::keyClick(w, Qt::Key_Minus);
  QCOMPARE(scene.zoom(), 1.953125);
  QTest::keyClick(w, Qt::Key_Plus, Qt::KeypadModifier);
  QCOMPARE(scene.zoom(), 1.5625);
  for (int i = 0; i < 30; ++i) QTest::keyClick(w, Qt::Key_Minus);
  QCOMPARE(scene.zoom(), 10.1);
  for (int i = 0; i < 40; ++i) QTest::keyClick(w, Qt::Key_Plus);
  QCOMPARE(scene.zoom(), 0.1);
}

void EditorNavigationTest::theViewsKeysWorkFromAToolWindow() {
  EditorRun r;
  r.show();
  QWidget& tool = r.editor->toolWindows().staticTool();
  tool.show();
  tool.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&tool));
  QTest::keyClick(&tool, Qt::Key_Right);
  QCOMPARE(centre(r), (CellPos{kC + 1, kC - 1}));
  QTest::keyClick(&tool, Qt::Key_Minus);
  QCOMPARE(r.editor->scene().zoom(), 1.25);
  // A field keeps the keys it edits with: a minus typed there is text, not a zoom.
  auto* field = tool.findChild<QLineEdit*>(QStringLiteral("eTileZ"));
  QVERIFY(field);
  field->setFocus();
  field->clear();
  QTest::keyClicks(field, QStringLiteral("-5"));
  QCOMPARE(field->text(), QStringLiteral("-5"));
  QCOMPARE(r.editor->scene().zoom(), 1.25);
}

void EditorNavigationTest::theStatusBarFollowsEveryChange() {
  EditorRun r;
  r.show();
  const QPoint at = EditorRun::cell(kC + 3, kC + 1);
  QTest::mouseMove(r.view(), at);
  QCOMPARE(status(r, 2), QStringLiteral("Cell: 35,33,0   Centre: 32,32   Zoom: 1   Tool: Select"));
  // A key moves the world under the still mouse: the status names the new cell at once.
  QTest::keyClick(r.editor.get(), Qt::Key_Right);
  QCOMPARE(status(r, 2), QStringLiteral("Cell: 36,32,0   Centre: 33,31   Zoom: 1   Tool: Select"));
  // A tool chosen in its window is named.
  QTest::mouseClick(r.editor->toolWindows().staticTool().findChild<QAbstractButton*>("btnDelete"),
                    Qt::LeftButton);
  QVERIFY(status(r, 2).endsWith(QStringLiteral("Tool: Delete")));
  r.activateEditor();
  // With the land hidden the ground under the mouse is named all the same, its altitude read
  // from the map.
  r.run.registry->map->setAltitude(kC + 5, kC - 3, 7);
  r.trigger(QStringLiteral("Hide Map"));
  // (The centre moved one cell east, one north: the pixel of (36, 30) before is (37, 29) now.)
  QTest::mouseMove(r.view(), EditorRun::cell(kC + 4, kC - 2) + QPoint(0, 2));
  QVERIFY(r.editor->scene().pick(at.x(), at.y()) == -1);
  QVERIFY2(status(r, 2).startsWith(QStringLiteral("Cell: 37,29,7   Centre: 33,31")),
           qPrintable(status(r, 2)));
  // Outside the world there is no cell.
  QTest::keyClick(r.editor.get(), Qt::Key_Home);
  for (int i = 0; i < 6; ++i) QTest::keyClick(r.editor.get(), Qt::Key_Minus);
  QTest::mouseMove(r.view(), QPoint(5, 5));
  QVERIFY2(status(r, 2).startsWith(QStringLiteral("Cell: -   Centre: 32,32   Zoom: 3.81")),
           qPrintable(status(r, 2)));
}

void EditorNavigationTest::goToTakesAPositionAndRefusesBadOnes() {
  EditorRun r;
  r.show();
  r.run.dialogs.answerInput(QStringLiteral("40, 12"));
  QTest::keyClick(r.editor.get(), Qt::Key_G, Qt::ControlModifier);
  QCOMPARE(centre(r), (CellPos{40, 12}));
  QCOMPARE(r.run.dialogs.asked().last().title, QStringLiteral("Go to..."));
  QCOMPARE(r.run.dialogs.asked().last().proposed, QStringLiteral("32, 32"));
  // Hexadecimal by the program's rule, and a blank in place of the comma.
  r.run.dialogs.answerInput(QStringLiteral("0x10 $20"));
  QTest::keyClick(r.editor.get(), Qt::Key_G, Qt::ControlModifier);
  QCOMPARE(centre(r), (CellPos{16, 32}));
  // Bad input is named and leaves the view where it was.
  r.run.dialogs.answerInput(QStringLiteral("12, y"));
  QTest::keyClick(r.editor.get(), Qt::Key_G, Qt::ControlModifier);
  QCOMPARE(r.run.dialogs.messageTexts().last(), QStringLiteral("'y' is not a valid integer value"));
  r.run.dialogs.answerInput(QStringLiteral("12"));
  QTest::keyClick(r.editor.get(), Qt::Key_G, Qt::ControlModifier);
  QCOMPARE(r.run.dialogs.messageTexts().last(),
           QStringLiteral("'12' is not a position: type x, y."));
  r.run.dialogs.answerInput(QStringLiteral("64, 3"));
  QTest::keyClick(r.editor.get(), Qt::Key_G, Qt::ControlModifier);
  QCOMPARE(r.run.dialogs.messageTexts().last(),
           QStringLiteral("64,3 lies outside the world of 64 x 64 cells."));
  QCOMPARE(centre(r), (CellPos{16, 32}));
  // Cancelled: nothing happens.
  r.run.dialogs.answerInput(std::nullopt);
  QTest::keyClick(r.editor.get(), Qt::Key_G, Qt::ControlModifier);
  QCOMPARE(centre(r), (CellPos{16, 32}));
}

void EditorNavigationTest::aTwoClickToolsFirstCornerIsMarkedUntilDoneOrCancelled() {
  EditorRun r;
  r.show();
  auto& scene = r.editor->scene();
  QWidget& tool = r.editor->toolWindows().staticTool();
  QTest::mouseClick(tool.findChild<QAbstractButton*>("btnTile"), Qt::LeftButton);
  r.activateEditor();
  r.clickView(EditorRun::post(kC, kC));
  QCOMPARE(scene.marks().size(), std::size_t(1));
  QCOMPARE(scene.marks()[0].cell, (CellPos{kC, kC}));
  QCOMPARE(status(r, 3),
           QStringLiteral("Tile from 32,32: click the second corner (Esc cancels)"));
  // Esc forgets the corner: the next click is a first corner again, not a tiled rectangle.
  QTest::keyClick(r.editor.get(), Qt::Key_Escape);
  QVERIFY(scene.marks().empty());
  QCOMPARE(status(r, 3), QString());
  const auto items = r.run.registry->worldFile->size();
  r.clickView(EditorRun::cell(kC + 2, kC));
  QCOMPARE(scene.marks()[0].cell, (CellPos{kC + 2, kC}));
  QCOMPARE(r.run.registry->worldFile->size(), items);

  // "Nuke": marked after the first click, gone after the second.
  QTest::mouseClick(tool.findChild<QAbstractButton*>("btnNuke"), Qt::LeftButton);
  r.activateEditor();
  r.clickView(EditorRun::cell(kC - 1, kC - 1));
  QCOMPARE(scene.marks().size(), std::size_t(1));
  QVERIFY(status(r, 3).startsWith(QStringLiteral("Nuke from 31,31")));
  r.clickView(EditorRun::cell(kC + 1, kC + 1));
  QVERIFY(scene.marks().empty());
  QCOMPARE(status(r, 3), QString());
}

void EditorNavigationTest::theLandBrushOutlineFollowsTheMouse() {
  EditorRun r;
  r.show();
  auto& scene = r.editor->scene();
  QWidget& maps = r.editor->toolWindows().mapTool();
  // No land tool: no outline.
  QTest::mouseMove(r.view(), EditorRun::cell(kC + 2, kC));
  QVERIFY(!scene.outline());
  QTest::mouseClick(maps.findChild<QAbstractButton*>("btnSetZ"), Qt::LeftButton);
  QTest::mouseClick(maps.findChild<QAbstractButton*>("btnCursor3x3"), Qt::LeftButton);
  r.activateEditor();
  QTest::mouseMove(r.view(), EditorRun::cell(kC + 4, kC) + QPoint(-15, 0));
  QVERIFY(scene.outline());
  QCOMPARE(scene.outline()->centre, (CellPos{kC + 4, kC}));
  QCOMPARE(scene.outline()->brush, quillotide::LandBrush::ofReach(2, 2));
  QTest::mouseMove(r.view(), EditorRun::cell(kC - 4, kC) + QPoint(-15, 0));
  QCOMPARE(scene.outline()->centre, (CellPos{kC - 4, kC}));
  QCOMPARE(scene.overlayLines().size(), std::size_t(12));
  // The brush's size set in the map tool is the outline's.
  QTest::mouseClick(maps.findChild<QAbstractButton*>("btnCursor1x1"), Qt::LeftButton);
  r.activateEditor();
  QTest::mouseMove(r.view(), EditorRun::cell(kC - 4, kC));
  QCOMPARE(scene.outline()->brush.width, std::int64_t(1));
  QCOMPARE(scene.overlayLines().size(), std::size_t(4));
}

void EditorNavigationTest::aCustomCursorIsCutToWhatOneStepCanChange() {
  EditorRun r;
  r.show();
  // 2000 cells asked for: the cursor is cut to the longest a step takes, and the user is told.
  r.run.dialogs.answerInput(QStringLiteral("2000"));
  r.run.dialogs.answerInput(QStringLiteral("3"));
  r.trigger(QStringLiteral("Set Custom Cursor"));
  QCOMPARE(r.editor->landBrush().width, std::int64_t(quillotide::LandBrush::kMaxCustomSize));
  QCOMPARE(r.editor->landBrush().height, std::int64_t(3));
  QCOMPARE(r.run.dialogs.messageTexts(),
           QStringList{QStringLiteral("A cursor is at most 255 cells long: a land tool changes at "
                                      "most 255 x 255 cells in one step. 2000 was cut to 255.")});
  // A brush of 2000 x 2000 all the same (as the map tool could set one) moves over the world:
  // the outline is its edge in the window, not a list of its four million cells.
  r.editor->setLandBrush({quillotide::BrushShape::Square, 2000, 2000});
  r.editor->setEditorTool(22);
  r.activateEditor();
  auto& scene = r.editor->scene();
  for (int step = 0; step < 5; ++step) {
    QTest::mouseMove(r.view(), EditorRun::cell(kC + step, kC));
    QVERIFY(scene.outline());
    // The 64 x 64 map lies wholly inside the brush: its edge is the map's.
    QVERIFY(scene.overlayLines().size() <= std::size_t(4 * 64));
    QVERIFY(scene.overlayCellsRead() <= std::size_t(4 * 64));
  }
}

void EditorNavigationTest::theMapOverviewShowsTheWorldAndTheViewAndMovesIt() {
  EditorRun r;
  quillotide::sample::writeRadarcol(r.run.dir.path());
  r.run.registry->radarcol->load(r.run.dir.file("radarcol.mul"));
  r.show();
  // The editor's menu opens it.
  QTest::keyClick(r.editor.get(), Qt::Key_M, Qt::ControlModifier);
  auto& overview = r.editor->toolWindows().mapOverview();
  QVERIFY(QTest::qWaitForWindowExposed(&overview));
  overview.resize(420, 360);
  auto* map = overview.picture();
  QTRY_VERIFY(map->width() > 300);
  // The 64 x 64 world fills the shorter side, every cell in its radar colour.
  const QRectF world = map->worldRect();
  QCOMPARE(qRound(world.height()), map->height());
  QCOMPARE(qRound(world.width()), map->height());
  const QRgb land = quillotide::colour16ToPixel(
                        r.run.registry->radarcol->landColour(quillotide::test::EditorWorld::kRedLand)) |
                    0xFF000000u;
  QImage shown = map->grab().toImage().convertToFormat(QImage::Format_RGB32);
  QCOMPARE(shown.pixel(map->pointOf({3, 60})), land);
  QCOMPARE(shown.pixel(1, 1), qRgb(0, 0, 0));  // beside the world
  // The view's outline: its corner cells lie on the drawn outline.
  const QPoint corner = map->pointOf(r.editor->scene().viewCorners()[0]);
  QCOMPARE(shown.pixel(corner), quillotide::ui::MinimapView::kViewColour.rgb());
  // It follows the view.
  QTest::keyClick(r.editor.get(), Qt::Key_Right, Qt::ShiftModifier);
  shown = map->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QPoint moved = map->pointOf(r.editor->scene().viewCorners()[0]);
  QVERIFY(moved != corner);
  QCOMPARE(shown.pixel(moved), quillotide::ui::MinimapView::kViewColour.rgb());
  // A click centres the view on the cell there; a drag carries it along.
  const QPoint target = map->pointOf({10, 50});
  QTest::mouseClick(map, Qt::LeftButton, {}, target);
  QCOMPARE(centre(r), (CellPos{10, 50}));
  QTest::mousePress(map, Qt::LeftButton, {}, target);
  QTest::mouseMove(map, map->pointOf({20, 40}));
  QTest::mouseRelease(map, Qt::LeftButton, {}, map->pointOf({20, 40}));
  QCOMPARE(centre(r), (CellPos{20, 40}));
}

QTEST_MAIN(EditorNavigationTest)
#include "EditorNavigationTest.moc"
