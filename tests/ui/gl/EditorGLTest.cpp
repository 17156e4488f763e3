// The world editor drawn with OpenGL (under xvfb with Mesa): a generated world of solid colours is
// drawn, the frame is read back, and every sampled pixel must show the colour of the item the
// editor finds under it; clicks on known pixels reach the tool with the item drawn there.

#include <QAction>
#include <QRegularExpression>
#include <QTest>

#include "../UiTestSupport.h"
#include "registry/Registry.h"
#include "world/Map.h"
#include "world/WorldUndo.h"
#include "support/EditorWorld.h"
#include "ui/editor/EditorSelection.h"
#include "ui/editor/EditorView.h"
#include "ui/editor/SEditorForm.h"
#include "ui/editor/StaticToolForm.h"
#include "ui/editor/ToolWindows.h"

using quillotide::ItemKind;
using quillotide::Pixel;
using quillotide::TItem;
using quillotide::test::configWith;
using quillotide::test::EditorWorld;
using quillotide::test::ProgramRun;
using quillotide::ui::TSEditorForm;

class EditorGLTest : public QObject {
  Q_OBJECT
public:
  static void initMain() { quillotide::ui::setEditorSurfaceFormat(); }
private slots:
  void everyPixelShowsTheItemThatIsPicked();
  void aClickReachesTheToolWithTheItemDrawnThere();
  void theHoveredItemIsTinted();
  void aFirstCornerIsMarkedOnItsCellUntilEsc();
  void selectedItemsStayTintedUntilEscClearsThem();
  void theItemUnderTheMouseLooksOtherThanASelectedOne();
  void flatViewDrawsTheWebAndTheAltitudes();
  void theCaptionShowsTheFramesDrawnPerSecond();
  void oneCtrlZTakesBackAWholeDragStroke();
  void anAddDragPutsEachItemOnTheItemUnderTheMouse();
  void reopeningTheEditorFreesTheOldTextures();
};

namespace {

constexpr int kC = 32;

// Land rises to z 8 east of x = 36 (slopes drawn as textures on the border), a post on the
// centre, a frame south-east of it, the no-draw tile at (28, 32).
struct GLRun {
  GLRun()
      : run(configWith({{"LastX", "32"}, {"LastY", "32"}})),
        world(64, {{EditorWorld::kPost, kC, kC, 0, 0}, {EditorWorld::kFrame, kC + 1, kC + 1, 0, 0}},
              [](int x, int y) {
                if (x == 28 && y == 32)
                  return quillotide::test::CellSpec{EditorWorld::kNoDrawLand, 0};
                return quillotide::test::CellSpec{EditorWorld::kTexturedLand,
                                                  static_cast<std::int8_t>(x > 36 ? 8 : 0)};
              }) {
    // Flat textured land is drawn from its art: make that art red like the flat tile.
    world.art.importLand(EditorWorld::kTexturedLand, world.art.landPicture(EditorWorld::kRedLand));
    world.loadInto(*run.registry);
    editor = std::make_unique<TSEditorForm>(*run.mainForm, true);
    editor->show();
    editor->activateWindow();
    if (!QTest::qWaitForWindowExposed(editor.get()))
      QTest::qFail("not exposed", __FILE__, __LINE__);
    if (!QTest::qWaitForWindowActive(editor.get())) QTest::qFail("not active", __FILE__, __LINE__);
  }
  QImage frame() { return editor->view()->frame().convertToFormat(QImage::Format_RGB32); }
  static QPoint cell(int x, int y) { return {(x - y) * 22 + 400, (x + y - 2 * kC) * 22 + 322}; }

  ProgramRun run;
  EditorWorld world;
  std::unique_ptr<TSEditorForm> editor;
};

QRgb rgb(Pixel p) {
  return qRgb(quillotide::redOf(p), quillotide::greenOf(p), quillotide::blueOf(p));
}

// The colour an item of the generated world shows wherever it is opaque.
QRgb expectedColour(const TItem& item) {
  if (item.kind == ItemKind::LandTexture) return qRgb(0, 0, 198);  // blue times 0.8
  if (item.kind == ItemKind::Land) return rgb(EditorWorld::red());
  if (item.tileId == EditorWorld::kPost) return rgb(EditorWorld::yellow());
  return rgb(EditorWorld::magenta());
}

bool near(QRgb a, QRgb b) {
  return std::abs(qRed(a) - qRed(b)) <= 1 && std::abs(qGreen(a) - qGreen(b)) <= 1 &&
         std::abs(qBlue(a) - qBlue(b)) <= 1;
}

}  // namespace

void EditorGLTest::everyPixelShowsTheItemThatIsPicked() {
  GLRun r;
  QVERIFY(r.editor->view()->drawsWithOpenGL());
  const QImage image = r.frame();
  QCOMPARE(image.size(), QSize(800, 600));
  auto& scene = r.editor->scene();
  int black = 0, textured = 0, checked = 0;
  for (int y = 1; y < 600; y += 5)
    for (int x = 2; x < 800; x += 5) {
      const std::int32_t serial = scene.pick(x, y);
      const QRgb shown = image.pixel(x, y);
      if (serial == -1) {
        QVERIFY2(shown == qRgb(0, 0, 0), qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
        ++black;
        continue;
      }
      const TItem* item = r.editor->findVisibleItem(serial);
      QVERIFY(item);
      // Pixels on a diamond's or a triangle's edge may fall either way; inside, they must agree.
      if (!near(shown, expectedColour(*item))) {
        bool edge = false;
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) edge = edge || scene.pick(x + dx, y + dy) != serial;
        QVERIFY2(edge,
                 qPrintable(QStringLiteral("%1,%2 shows %3").arg(x).arg(y).arg(shown, 0, 16)));
      }
      if (item->kind == ItemKind::LandTexture) ++textured;
      ++checked;
    }
  // The no-draw tile leaves a black hole in the middle of the land.
  QCOMPARE(image.pixel(GLRun::cell(28, 32)), qRgb(0, 0, 0));
  QVERIFY(black > 0);
  QVERIFY(textured > 20);
  QVERIFY(checked > 5000);
  // Known pixels: the post stands over its cell, the frame's white border shows the land below.
  QCOMPARE(image.pixel(GLRun::cell(kC, kC) + QPoint(0, 10)), rgb(EditorWorld::yellow()));
  const QPoint frameMiddle = GLRun::cell(kC + 1, kC + 1) + QPoint(0, 22 - 15);
  QCOMPARE(image.pixel(frameMiddle), rgb(EditorWorld::magenta()));
  QCOMPARE(image.pixel(frameMiddle + QPoint(-12, 0)), rgb(EditorWorld::red()));
}

void EditorGLTest::aClickReachesTheToolWithTheItemDrawnThere() {
  GLRun r;
  std::int32_t clicked = -2;
  r.editor->setToolHandler(1, [&](TSEditorForm&, std::int32_t serial) { clicked = serial; });
  r.editor->setEditorTool(1);
  QTest::mouseClick(r.editor->view()->drawingWidget(), Qt::LeftButton, {},
                    GLRun::cell(kC, kC) + QPoint(0, 10));
  const TItem* item = r.editor->findVisibleItem(clicked);
  QVERIFY(item);
  QCOMPARE(item->kind, ItemKind::Static);
  QCOMPARE(item->tileId, EditorWorld::kPost);
  // A click on black (the no-draw tile) finds nothing and the tool is not called.
  clicked = -2;
  QTest::mouseClick(r.editor->view()->drawingWidget(), Qt::LeftButton, {}, GLRun::cell(28, 32));
  QCOMPARE(clicked, -2);
}

void EditorGLTest::theHoveredItemIsTinted() {
  GLRun r;
  const QPoint post = GLRun::cell(kC, kC) + QPoint(0, 10);
  QCOMPARE(r.frame().pixel(post), rgb(EditorWorld::yellow()));
  QTest::mouseMove(r.editor->view()->drawingWidget(), post);
  QVERIFY(r.editor->statusText(0).startsWith("ID: 0x1 "));
  const QRgb tinted = r.frame().pixel(post);
  QVERIFY(tinted != rgb(EditorWorld::yellow()));
  QVERIFY(tinted != qRgb(0, 0, 0));
}

void EditorGLTest::aFirstCornerIsMarkedOnItsCellUntilEsc() {
  GLRun r;
  QWidget* view = r.editor->view()->drawingWidget();
  // The middle of the upper right edge of the cell's diamond, left of the post's picture.
  const QPoint cell = GLRun::cell(kC - 2, kC + 2);
  const QPoint edge = cell + QPoint(11, -11);
  QCOMPARE(r.frame().pixel(edge), rgb(EditorWorld::red()));
  auto* tile = r.editor->toolWindows().staticTool().findChild<QAbstractButton*>("btnTile");
  QTest::mouseClick(tile, Qt::LeftButton);
  r.editor->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(r.editor.get()));
  QTest::mouseMove(view, cell);
  QTest::mouseClick(view, Qt::LeftButton, {}, cell);
  QCOMPARE(r.frame().pixel(edge), qRgb(255, 255, 0));
  // The inner diamond too; the cell's middle stays as it was.
  QCOMPARE(r.frame().pixel(cell + QPoint(8, -9)), qRgb(255, 255, 0));
  QCOMPARE(r.frame().pixel(cell), rgb(EditorWorld::red()));
  QTest::keyClick(r.editor.get(), Qt::Key_Escape);
  QCOMPARE(r.frame().pixel(edge), rgb(EditorWorld::red()));
}

void EditorGLTest::selectedItemsStayTintedUntilEscClearsThem() {
  GLRun r;
  QWidget* view = r.editor->view()->drawingWidget();
  const QPoint post = GLRun::cell(kC, kC) + QPoint(0, 10);
  const QPoint frameMiddle = GLRun::cell(kC + 1, kC + 1) + QPoint(0, 7);
  // A Shift+drag band around the post and the frame, then the mouse away over the ground.
  const QPoint from = GLRun::cell(kC, kC) + QPoint(-30, -30);
  const QPoint to = GLRun::cell(kC + 1, kC + 1) + QPoint(30, 30);
  QTest::mouseMove(view, from);
  QTest::mousePress(view, Qt::LeftButton, Qt::ShiftModifier, from);
  QTest::mouseMove(view, to);
  QTest::mouseRelease(view, Qt::LeftButton, Qt::ShiftModifier, to);
  QTest::mouseMove(view, GLRun::cell(26, 36));
  const QImage selected = r.frame();
  QVERIFY(selected.pixel(post) != rgb(EditorWorld::yellow()));
  QVERIFY(selected.pixel(frameMiddle) != rgb(EditorWorld::magenta()));
  QCOMPARE(selected.pixel(GLRun::cell(30, 34)), rgb(EditorWorld::red()));
  QTest::keyClick(r.editor.get(), Qt::Key_Escape);
  const QImage cleared = r.frame();
  QCOMPARE(cleared.pixel(post), rgb(EditorWorld::yellow()));
  QCOMPARE(cleared.pixel(frameMiddle), rgb(EditorWorld::magenta()));
}

void EditorGLTest::theItemUnderTheMouseLooksOtherThanASelectedOne() {
  GLRun r;
  QWidget* view = r.editor->view()->drawingWidget();
  const QPoint post = GLRun::cell(kC, kC) + QPoint(0, 10);
  QTest::mouseMove(view, post);
  QTRY_VERIFY(r.editor->lastHovered() != -1);
  // Under the mouse and selected.
  QTest::mouseClick(view, Qt::LeftButton, {}, post);
  QCOMPARE(r.editor->selection().selection().size(), std::size_t(1));
  const QRgb both = r.frame().pixel(post);
  // Ctrl+click takes it out of the selection; under the mouse it must not look selected still.
  QTest::mouseClick(view, Qt::LeftButton, Qt::ControlModifier, post);
  QCOMPARE(r.editor->selection().selection().size(), std::size_t(0));
  const QRgb hovered = r.frame().pixel(post);
  QVERIFY(hovered != rgb(EditorWorld::yellow()));
  QVERIFY(hovered != both);
  // And back in.
  QTest::mouseClick(view, Qt::LeftButton, Qt::ControlModifier, post);
  QCOMPARE(r.frame().pixel(post), both);
}

void EditorGLTest::flatViewDrawsTheWebAndTheAltitudes() {
  GLRun r;
  r.editor->action(QStringLiteral("Show Map 2D"))->trigger();
  const QImage plain = r.frame();
  // Flat: the no-draw tile shows (green), the raised land lies flat.
  QCOMPARE(plain.pixel(GLRun::cell(28, 32)), qRgb(0, 248, 0));
  r.editor->action(QStringLiteral("Show Web"))->trigger();
  const QImage web = r.frame();
  // The web's upper edges of a cell: white from its left corner to its top corner.
  const QPoint middle = GLRun::cell(30, 36);
  QCOMPARE(web.pixel(middle + QPoint(-11, -11)), qRgb(255, 255, 255));
  // Altitude numbers: the raised cells carry white "8" text, the others "0"; both add white.
  auto whiteIn = [](const QImage& img, QRect rect) {
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
      for (int x = rect.left(); x <= rect.right(); ++x) n += img.pixel(x, y) == qRgb(255, 255, 255);
    return n;
  };
  const QRect digit(middle.x() - 12, middle.y() - 12, 14, 18);
  QVERIFY(whiteIn(plain, digit) > 0);
  r.editor->action(QStringLiteral("Hide Z-Level"))->trigger();
  r.editor->action(QStringLiteral("Hide Web"))->trigger();
  QCOMPARE(whiteIn(r.frame(), digit), 0);
}

void EditorGLTest::theCaptionShowsTheFramesDrawnPerSecond() {
  GLRun r;
  const QRegularExpression caption(QStringLiteral("^Editor \\((\\d+) FPS\\)$"));
  // One frame about every 100 ms for two seconds: about ten frames are drawn each second,
  // however fast a single frame is drawn.
  for (int i = 0; i < 20; ++i) {
    QTest::keyClick(r.editor.get(), i % 2 ? Qt::Key_Left : Qt::Key_Right);
    QTest::qWait(100);
  }
  const auto match = caption.match(r.editor->windowTitle());
  QVERIFY2(match.hasMatch(), qPrintable(r.editor->windowTitle()));
  // Only the upper bound is asked: a busy machine may draw fewer frames, never more than asked.
  const int fps = match.captured(1).toInt();
  QVERIFY2(fps <= 20, qPrintable(r.editor->windowTitle()));
}

void EditorGLTest::oneCtrlZTakesBackAWholeDragStroke() {
  GLRun r;
  quillotide::TMap& map = *r.run.registry->map;
  // A land painter recording each cell as the land tools do.
  std::vector<QPoint> painted;
  r.editor->setToolHandler(21, [&](TSEditorForm& editor, std::int32_t serial) {
    const TItem* item = editor.findVisibleItem(serial);
    if (!item || (item->kind != ItemKind::Land && item->kind != ItemKind::LandTexture)) return;
    editor.worldEdits().editCell(item->x, item->y, [&](quillotide::TMap& m) {
      m.setTileId(item->x, item->y, EditorWorld::kRedLand);
    });
    painted.push_back({item->x, item->y});
  });
  r.editor->setEditorTool(21);
  QWidget* view = r.editor->view()->drawingWidget();
  const QPoint middle(0, 22);
  QTest::mousePress(view, Qt::LeftButton, {}, GLRun::cell(29, 31) + middle);
  QTest::mouseMove(view, GLRun::cell(30, 31) + middle);
  QTest::mouseMove(view, GLRun::cell(31, 31) + middle);
  QTest::mouseRelease(view, Qt::LeftButton, {}, GLRun::cell(31, 31) + middle);
  QVERIFY(painted.size() >= 3);
  QCOMPARE(r.editor->undoStack().size(), std::size_t(1));

  QTest::keyClick(r.editor.get(), Qt::Key_Z, Qt::ControlModifier);
  for (const QPoint& c : painted)
    QCOMPARE(map.cell(c.x(), c.y())->tileId, EditorWorld::kTexturedLand);
  QTest::keyClick(r.editor.get(), Qt::Key_Y, Qt::ControlModifier);
  for (const QPoint& c : painted) QCOMPARE(map.cell(c.x(), c.y())->tileId, EditorWorld::kRedLand);
}

void EditorGLTest::anAddDragPutsEachItemOnTheItemUnderTheMouse() {
  GLRun r;
  // The frame stands 5 high: an item added on it stands at z 5, one on the land at 0.
  quillotide::StaticTileRecord frame;
  frame.height = 5;
  r.run.registry->tiledata->writeStatic(EditorWorld::kFrame, frame);
  auto& tool = r.editor->toolWindows().staticTool();
  tool.chooseId(EditorWorld::kPost);
  QTest::mouseClick(tool.findChild<QAbstractButton*>(QStringLiteral("btnAdd")), Qt::LeftButton);
  QWidget* view = r.editor->view()->drawingWidget();
  const QPoint post = GLRun::cell(kC, kC) + QPoint(0, 10);
  const QPoint framePixel = GLRun::cell(kC + 1, kC + 1) + QPoint(0, 5);
  QTest::mouseMove(view, post);
  // The press adds on the post; before the next frame is drawn the mouse is over the frame.
  QTest::mousePress(view, Qt::LeftButton, {}, post);
  QTest::mouseMove(view, framePixel);
  QTest::mouseRelease(view, Qt::LeftButton, {}, framePixel);
  const auto& items = r.run.registry->worldFile->items();
  QCOMPARE(items.size(), std::size_t(2));
  QCOMPARE(QPoint(items[0].x, items[0].y), QPoint(kC, kC));
  QCOMPARE(int(items[0].z), 10);
  QCOMPARE(QPoint(items[1].x, items[1].y), QPoint(kC + 1, kC + 1));
  QCOMPARE(int(items[1].z), 5);
}

void EditorGLTest::reopeningTheEditorFreesTheOldTextures() {
  ProgramRun run(configWith({{"LastX", "32"}, {"LastY", "32"}}));
  EditorWorld world(64, {{EditorWorld::kPost, kC, kC, 0, 0}});
  world.loadInto(*run.registry);
  run.showPage(QStringLiteral("tsFeatures"));
  auto* button = run.find<QAbstractButton>(QStringLiteral("btnActivateEditor"));
  QVERIFY(button);
  auto openEditor = [&] {
    QTest::mouseClick(button, Qt::LeftButton);
    TSEditorForm* editor = TSEditorForm::existing(*run.mainForm);
    if (editor) (void)QTest::qWaitForWindowExposed(editor);
    return editor;
  };
  TSEditorForm* editor = openEditor();
  QVERIFY(editor && editor->view()->drawsWithOpenGL());
  editor->view()->frame();
  const std::size_t first = editor->view()->textureCount();
  QVERIFY(first > 0);
  for (int i = 0; i < 3; ++i) {
    editor->close();
    QVERIFY(run.mainForm->isVisible());
    QCOMPARE(openEditor(), editor);
    editor->view()->frame();
    QCOMPARE(editor->view()->textureCount(), first);
  }
  run.dialogs.clear();
}

QTEST_MAIN(EditorGLTest)
#include "EditorGLTest.moc"
