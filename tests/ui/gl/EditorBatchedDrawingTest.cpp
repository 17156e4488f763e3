// The world editor's drawing over the atlas (a few calls, depth tested, front to back) must show
// the very pixels of the plain drawing item by item (every item from the bottom up, each from a
// texture of its own), over a dense world of detailed pictures at every zoom, in both views, with
// hues, the selection's tint, the item under the mouse and the web; after the mouse moved to
// another item (only its quad redrawn) and after the view scrolled (only the cells that came in
// read), too.

#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <QWindow>

#include "support/EditorWorld.h"
#include "ui/editor/EditorView.h"

using quillotide::Bitmap32;
using quillotide::EditorScene;
using quillotide::ItemKind;
using quillotide::makePixel;
using quillotide::TItem;
using quillotide::test::CellSpec;
using quillotide::test::EditorWorld;
using quillotide::test::PlacedStatic;

class EditorBatchedDrawingTest : public QObject {
  Q_OBJECT
public:
  static void initMain() { quillotide::ui::setEditorSurfaceFormat(); }
private slots:
  void everyZoomShowsThePixelsOfTheDrawingItemByItem();
  void aNewLookRedrawsOnlyItsItemAndShowsWhatAWholeFrameShows();
  void aScrolledViewShowsWhatAFreshViewThere();
  void theDrawingWindowHandsTheMouseToTheView();
};

namespace {

constexpr int kSide = 64;
constexpr int kC = 32;
constexpr std::uint16_t kStriped = 7;  // a static whose every texel has its own colour
constexpr std::uint16_t kWide = 8;     // wider than a cell, with holes

// Every texel of these pictures differs from its neighbours: a quad that reads one texel off
// shows at once.
Bitmap32 striped(int w, int h, int seed) {
  Bitmap32 b(w, h, 0xFFFFFFFFu);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.at(x, y) = makePixel(static_cast<std::uint8_t>((x * 37 + seed) & 0xF8),
                             static_cast<std::uint8_t>((y * 23 + seed * 3) & 0xF8),
                             static_cast<std::uint8_t>(((x + y) * 11 + 40) & 0xF8));
  return b;
}

std::vector<PlacedStatic> denseItems() {
  std::vector<PlacedStatic> out;
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      const int k = (x * 7 + y * 13) % 5;
      const std::uint16_t hue = k == 3 ? 0x21 : k == 4 ? 1 : 0;
      out.push_back({k == 0 ? EditorWorld::kFloor : kStriped, x, y, std::int8_t(k * 2), hue});
      if ((x + y) % 3 == 0) out.push_back({EditorWorld::kPost, x, y, std::int8_t(k), 0});
      if ((x * y) % 7 == 1) out.push_back({kWide, x, y, std::int8_t(4 + k), 0});
      if ((x + 2 * y) % 5 == 0) out.push_back({EditorWorld::kFrame, x, y, 0, 0});
    }
  return out;
}

// Hills of textured land (drawn through their corners) among flat land of detailed art.
CellSpec denseCell(int x, int y) {
  const int hill = (x / 6 + y / 5) % 3 == 0 ? ((x * 3 + y * 5) % 9) : 0;
  if (x == kC - 4 && y == kC) return {EditorWorld::kNoDrawLand, 0};
  return {hill ? EditorWorld::kTexturedLand : EditorWorld::kRedLand, std::int8_t(hill)};
}

struct DenseWorld : EditorWorld {
  DenseWorld() : EditorWorld(kSide, denseItems(), denseCell) {
    art.importStatic(kStriped, striped(33, 57, 1));
    Bitmap32 wide = striped(70, 31, 2);
    for (int y = 10; y < 20; ++y)
      for (int x = 30; x < 40; ++x) wide.at(x, y) = 0xFFFFFFFFu;  // white: transparent
    art.importStatic(kWide, wide);
    Bitmap32 land = striped(44, 44, 3);
    for (int y = 0; y < 44; ++y)
      for (int x = 0; x < 44; ++x) {
        const int half = y < 22 ? y + 1 : 44 - y;
        if (x < 22 - half || x >= 22 + half) land.at(x, y) = 0xFFFFFFFFu;
      }
    art.importLand(EditorWorld::kRedLand, land);
    textures.writeTexture(3, striped(64, 64, 4));
    for (int i = 0; i < 40; ++i)
      worldFile.add(kStriped, std::uint16_t((i * 11) % kSide), std::uint16_t((i * 17) % kSide),
                    std::int8_t(i % 9), 0x30);
  }
};

struct View {
  explicit View(EditorWorld& world, int cx = kC, int cy = kC) : scene(world.sources()) {
    scene.setViewCentre(cx, cy);
    view = std::make_unique<quillotide::ui::EditorView>(scene, true);
    view->setFixedSize(800, 600);
    view->show();
    if (!QTest::qWaitForWindowExposed(view.get())) QTest::qFail("not exposed", __FILE__, __LINE__);
  }
  QImage batched() {
    view->setItemByItem(false);
    return view->frame().convertToFormat(QImage::Format_RGB32);
  }
  QImage itemByItem() {
    view->setItemByItem(true);
    return view->frame().convertToFormat(QImage::Format_RGB32);
  }
  EditorScene scene;
  std::unique_ptr<quillotide::ui::EditorView> view;
};

// The pixels that differ, with the first few named.
QString differences(const QImage& a, const QImage& b, int* count = nullptr) {
  if (a.size() != b.size()) return QStringLiteral("sizes differ");
  int n = 0;
  QStringList first;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      if (a.pixel(x, y) != b.pixel(x, y)) {
        if (++n <= 5)
          first << QStringLiteral("%1,%2: %3 vs %4")
                       .arg(x)
                       .arg(y)
                       .arg(a.pixel(x, y), 0, 16)
                       .arg(b.pixel(x, y), 0, 16);
      }
  if (count) *count = n;
  return n == 0 ? QString() : QStringLiteral("%1 pixels differ: %2").arg(n).arg(first.join("; "));
}

int distinctColours(const QImage& image) {
  QSet<QRgb> seen;
  for (int y = 0; y < image.height(); y += 3)
    for (int x = 0; x < image.width(); x += 3) seen.insert(image.pixel(x, y));
  return static_cast<int>(seen.size());
}

}  // namespace

void EditorBatchedDrawingTest::everyZoomShowsThePixelsOfTheDrawingItemByItem() {
  DenseWorld world;
  View v(world);
  QVERIFY(v.view->drawsWithOpenGL());
  v.scene.prepare(0);
  // Copies in the selection and one under the mouse, as the editor marks them.
  int marked = 0;
  for (TItem& it : v.scene.visibleItems())
    if (quillotide::isObjectKind(it.kind) && (it.x + it.y) % 4 == 0)
      it.selected = ++marked % 9 == 0 ? quillotide::kHoverLook : quillotide::kSelectionLook;
  for (bool flat : {false, true}) {
    v.scene.setFlat2D(flat);
    v.scene.setShowWeb(flat);
    for (int step = -11; step <= 11; ++step) {
      v.scene.setZoom(EditorScene::steppedZoom(1.0, step));
      const QImage batched = v.batched();
      const QImage plain = v.itemByItem();
      const QString diff = differences(batched, plain);
      QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("flat %1, zoom step %2: %3")
                                              .arg(flat)
                                              .arg(step)
                                              .arg(diff)));
      // A frame of detailed pictures, not an empty one (far away the web covers the flat view).
      if (!flat || step <= 2)
        QVERIFY2(distinctColours(batched) > 50, qPrintable(QString::number(step)));
    }
  }
  // The whole dense area fits in a few pages.
  QVERIFY(v.view->textureCount() > 0);
}

void EditorBatchedDrawingTest::aNewLookRedrawsOnlyItsItemAndShowsWhatAWholeFrameShows() {
  DenseWorld world;
  View v(world);
  const QImage before = v.batched();
  // The mouse moves onto one item after another: each time only its look changes.
  auto& items = v.scene.visibleItems();
  std::vector<std::size_t> objects;
  for (std::size_t i = 0; i < items.size(); ++i)
    if (quillotide::isObjectKind(items[i].kind)) objects.push_back(i);
  QVERIFY(objects.size() > 100);
  std::size_t last = objects[0];
  for (int k = 0; k < 5; ++k) {
    const std::size_t at = objects[objects.size() / 2 + std::size_t(k) * 7];
    items[last].selected = 0;
    items[at].selected = quillotide::kHoverLook;
    last = at;
    const std::uint64_t version = v.scene.frameVersion();
    const QImage hovered = v.batched();
    QVERIFY(v.scene.frameVersion() > version);
    // Compared with a view whose frame was made whole for the same copies.
    View whole(world);
    whole.scene.prepare(0);
    QCOMPARE(whole.scene.visibleItems().size(), items.size());
    for (std::size_t i = 0; i < items.size(); ++i)
      whole.scene.visibleItems()[i].selected = items[i].selected;
    whole.scene.requestResort();
    const QString diff = differences(hovered, whole.batched());
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
    QVERIFY2(differences(hovered, v.itemByItem()).isEmpty(), qPrintable(QString::number(k)));
  }
  int changed = 0;
  differences(before, v.batched(), &changed);
  QVERIFY(changed > 0);
}

void EditorBatchedDrawingTest::aScrolledViewShowsWhatAFreshViewThere() {
  DenseWorld world;
  View v(world, 20, 20);
  v.batched();
  const std::pair<int, int> steps[] = {{1, 0}, {0, 1}, {3, -2}, {-5, 4}, {2, 2}, {-1, -1}};
  for (const auto& [dx, dy] : steps) {
    v.scene.setViewCentre(v.scene.centreX() + dx, v.scene.centreY() + dy);
    const QImage scrolled = v.batched();
    QVERIFY(v.scene.lastRebuildKept());
    View fresh(world, v.scene.centreX(), v.scene.centreY());
    const QImage expected = fresh.batched();
    QVERIFY(!fresh.scene.lastRebuildKept());
    QVERIFY(v.scene.lastRebuildRead() < fresh.scene.lastRebuildRead() / 2);
    QCOMPARE(v.scene.visibleItems().size(), fresh.scene.visibleItems().size());
    QVERIFY(v.scene.visibleItems() == fresh.scene.visibleItems());
    const QString diff = differences(scrolled, expected);
    QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("%1,%2: %3").arg(dx).arg(dy).arg(diff)));
  }
}

// The frames are shown in a window of their own, which the mouse reaches first: what it does
// there must reach the editor as if the view itself had been used.
void EditorBatchedDrawingTest::theDrawingWindowHandsTheMouseToTheView() {
  DenseWorld world;
  View v(world);
  v.view->setFocusPolicy(Qt::StrongFocus);
  QWindow* window = v.view->drawingWindow();
  QVERIFY(window);
  QSignalSpy moved(v.view.get(), &quillotide::ui::EditorView::moved);
  QSignalSpy pressed(v.view.get(), &quillotide::ui::EditorView::leftPressed);
  QSignalSpy released(v.view.get(), &quillotide::ui::EditorView::leftReleased);
  QSignalSpy turned(v.view.get(), &quillotide::ui::EditorView::wheelTurned);
  QSignalSpy left(v.view.get(), &quillotide::ui::EditorView::left);
  QTest::mouseMove(window, QPoint(100, 80));
  QVERIFY(!moved.isEmpty());
  QCOMPARE(moved.last().at(0).toPoint(), QPoint(100, 80));
  QTest::mouseClick(window, Qt::LeftButton, Qt::ShiftModifier, QPoint(120, 90));
  QCOMPARE(pressed.size(), 1);
  QCOMPARE(pressed.at(0).at(0).toPoint(), QPoint(120, 90));
  QCOMPARE(pressed.at(0).at(1).value<Qt::KeyboardModifiers>(), Qt::ShiftModifier);
  QCOMPARE(released.size(), 1);
  // The keys go on to the editor: the view, not the drawing window, holds the focus.
  QCOMPARE(v.view->window()->focusWidget(), v.view.get());
  QWheelEvent wheel(QPointF(30, 40), window->mapToGlobal(QPointF(30, 40)), QPoint(), QPoint(0, 240),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(window, &wheel);
  QCOMPARE(turned.size(), 1);
  QCOMPARE(turned.at(0).at(1).toInt(), 2);
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(window, &leave);
  QCOMPARE(left.size(), 1);
}

QTEST_MAIN(EditorBatchedDrawingTest)
#include "EditorBatchedDrawingTest.moc"
