// The world editor's "Statictool", "Maptool" and "Item Info" driven as a person does: buttons of
// the tool windows clicked, fields typed into, history pop-ups chosen from, and then the editor's
// view clicked and dragged over; afterwards the models and the patched map file are read. These
// run without OpenGL; picking never reads the frame back.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include "EditorRun.h"
#include "UiTestSupport.h"
#include "models/Hues.h"
#include "world/Items.h"
#include "world/Statics.h"
#include "support/EditorWorld.h"
#include "ui/editor/ArtGrid.h"
#include "ui/editor/EditorView.h"
#include "ui/editor/HFSE.h"
#include "ui/editor/InfoForm.h"
#include "ui/editor/MCFSE.h"
#include "ui/editor/MapForm.h"
#include "ui/editor/MaptoolForm.h"
#include "ui/editor/SCFSE.h"
#include "ui/editor/SEditorForm.h"
#include "ui/editor/StaticDiffForm.h"
#include "ui/editor/StaticToolForm.h"
#include "ui/editor/ToolWindows.h"
#include "ui/main/PictureView.h"

using quillotide::ItemKind;
using quillotide::TItem;
using quillotide::TMap;
using quillotide::test::configWith;
using quillotide::test::EditorWorld;
using quillotide::test::ProgramRun;
using quillotide::ui::TMaptoolForm;
using quillotide::ui::TSEditorForm;
using quillotide::ui::TStaticToolForm;

class ToolWindowsTest : public QObject {
  Q_OBJECT
private slots:
  void theWindowsComeAndGoWithTheEditor();
  void toolButtonsChooseTheToolAndReleaseEachOther();
  void idStepButtonsRepeatWithinTheLimits();
  void historiesRestoreWhatWasCurrent();
  void staticToolsActOnTheClickedItems();
  void infoShowsTheClickedItem();
  void landToolsPaintTheCursorAreaAndPatchTheMap();
  void aHugeCustomCursorCoversTheMapRow();
  void goMovesTheView();
  void theDiffOverviewComesFromTheMenuAndMovesTheView();
  void choosersHandTheirChoicesToTheTools();
  void setMaxZHidesWhatIsAbove();
  void undoComesFromTheEditMenuAndFromEveryToolWindow();
  void theFirstClickAfterAToolButtonIsAnEdit();
  void restoringTheMinimisedEditorKeepsItsTool();
  void theButtonsShowTheToolAndBrushThatAct();
  void typedIdsAreTakenOrRefusedWithTheirRange();
  void aBrushStrokeIsOneStepAndReachesTheMapFile();
};

namespace {

constexpr int kC = 32;

// The editor with its tool windows, driven through their buttons and fields.
struct ToolRun : quillotide::test::EditorRun {
  TStaticToolForm& statics() const { return editor->toolWindows().staticTool(); }
  TMaptoolForm& maps() const { return editor->toolWindows().mapTool(); }
  template <class T>
  T* in(QWidget& window, const char* name) const {
    T* w = window.findChild<T*>(QString::fromLatin1(name));
    if (!w) QTest::qFail(name, __FILE__, __LINE__);
    return w;
  }
  void click(QWidget& window, const char* button) {
    QTest::mouseClick(in<QAbstractButton>(window, button), Qt::LeftButton);
    activateEditor();
  }
  void type(QWidget& window, const char* field, const QString& text) {
    QLineEdit* e = in<QLineEdit>(window, field);
    e->clear();
    QTest::keyClicks(e, text);
  }
  bool down(QWidget& window, const char* button) {
    return in<QAbstractButton>(window, button)->isChecked();
  }
  // Chooses the history entry with this text from the picture's pop-up.
  void chooseFromHistory(QWidget& window, const char* picture, const char* menuName,
                         const QString& entry) {
    QTest::mousePress(in<QWidget>(window, picture), Qt::RightButton);
    QMenu* menu = in<QMenu>(window, menuName);
    for (QAction* a : menu->actions())
      if (a->text() == entry) {
        a->trigger();
        menu->hide();
        return;
      }
    QTest::qFail(qPrintable("no history entry " + entry), __FILE__, __LINE__);
  }
  QStringList historyTexts(QWidget& window, const char* picture, const char* menuName) {
    QTest::mousePress(in<QWidget>(window, picture), Qt::RightButton);
    QMenu* menu = in<QMenu>(window, menuName);
    QStringList texts;
    for (QAction* a : menu->actions()) texts << a->text();
    menu->hide();
    return texts;
  }
};

}  // namespace

void ToolWindowsTest::theWindowsComeAndGoWithTheEditor() {
  ToolRun r;
  QVERIFY(!r.statics().isVisible());
  r.show();
  QVERIFY(r.statics().isVisible());
  QVERIFY(r.maps().isVisible());
  QCOMPARE(r.statics().windowTitle(), QStringLiteral("Statictool"));
  QCOMPARE(r.maps().windowTitle(), QStringLiteral("Maptool"));
  r.statics().chooseId(EditorWorld::kFrame);
  r.maps().chooseId(EditorWorld::kTexturedLand);
  r.editor->hide();
  QVERIFY(!r.statics().isVisible());
  QVERIFY(!r.maps().isVisible());
  // Shown again: the ids start at 0, the histories are kept.
  r.show();
  QCOMPARE(r.statics().currentId(), 0);
  QCOMPARE(r.maps().currentId(), 0);
  QCOMPARE(r.statics().idHistory().at(0), int(EditorWorld::kFrame));
  QCOMPARE(r.maps().history().at(0), int(EditorWorld::kTexturedLand));
  // The menu brings a closed tool window back.
  r.maps().close();
  r.editor->action(QStringLiteral("Show Maptool"))->trigger();
  QVERIFY(r.maps().isVisible());
}

void ToolWindowsTest::toolButtonsChooseTheToolAndReleaseEachOther() {
  ToolRun r;
  r.show();
  QWidget& s = r.statics();
  QWidget& m = r.maps();
  r.click(s, "btnAdd");
  QCOMPARE(r.editor->editorTool(), 3);
  QVERIFY(r.down(s, "btnAdd"));
  r.click(s, "btnMoveRight");
  QCOMPARE(r.editor->editorTool(), 10);
  QVERIFY(!r.down(s, "btnAdd"));
  // A click on the pressed button leaves it pressed: its tool still acts.
  r.click(s, "btnMoveRight");
  QVERIFY(r.down(s, "btnMoveRight"));
  QCOMPARE(r.editor->editorTool(), 10);
  // A cursor size keeps the static tool, and its button, as they were; a land tool raises it.
  r.click(s, "btnNuke");
  r.click(m, "btnCursor5x5");
  QCOMPARE(r.editor->cursorReachX(), 3);
  QCOMPARE(r.editor->cursorReachY(), 3);
  QCOMPARE(r.editor->editorTool(), 17);
  QVERIFY(r.down(s, "btnNuke"));
  QVERIFY(!r.down(m, "btnCursor1x1"));
  r.click(m, "btnSetZ");
  QCOMPARE(r.editor->editorTool(), 24);
  QVERIFY(!r.down(s, "btnNuke"));
  r.click(m, "btnSetId");
  QVERIFY(!r.down(m, "btnSetZ"));
  QVERIFY(r.down(m, "btnSetId"));
  // A static tool resets the map tool to 1 x 1 with its buttons up.
  r.click(s, "btnGetColor");
  QCOMPARE(r.editor->editorTool(), 19);
  QVERIFY(!r.down(m, "btnSetId"));
  QVERIFY(r.down(m, "btnCursor1x1"));
  QVERIFY(!r.down(m, "btnCursor5x5"));
  QCOMPARE(r.editor->cursorReachX(), 1);
  // The Delete key in the static tool chooses "Delete Item".
  QTest::keyClick(&s, Qt::Key_Delete);
  QCOMPARE(r.editor->editorTool(), 2);
  QVERIFY(r.down(s, "btnDelete"));
  QVERIFY(!r.down(s, "btnGetColor"));
}

void ToolWindowsTest::idStepButtonsRepeatWithinTheLimits() {
  ToolRun r;
  r.show();
  QWidget& s = r.statics();
  auto* up = r.in<QPushButton>(s, "btnIdUp");
  auto* down = r.in<QPushButton>(s, "btnIdDown");
  // One step at once, then one every 100 ms while held.
  QTest::mousePress(up, Qt::LeftButton);
  QCOMPARE(r.statics().currentId(), 1);
  QTest::qWait(350);
  QTest::mouseRelease(up, Qt::LeftButton);
  const int held = r.statics().currentId();
  QVERIFY2(held >= 3 && held <= 5, qPrintable(QString::number(held)));
  QTest::qWait(250);
  QCOMPARE(r.statics().currentId(), held);
  // Counting down stops at 0; steps are not remembered.
  QTest::mousePress(down, Qt::LeftButton);
  QTest::qWait(700);
  QTest::mouseRelease(down, Qt::LeftButton);
  QCOMPARE(r.statics().currentId(), 0);
  QCOMPARE(r.statics().idHistory().at(0), 0);
  // Up from 0x3FFE gives 0x3FFF and stays there; the picture follows the id.
  r.statics().chooseId(0x3FFE);
  QTest::mouseClick(up, Qt::LeftButton);
  QTest::mouseClick(up, Qt::LeftButton);
  QCOMPARE(r.statics().currentId(), 0x3FFF);
  r.statics().chooseId(EditorWorld::kPost);
  QCOMPARE(r.statics().idPicture().pixel(32, 32), EditorWorld::yellow());
  QTest::mouseClick(up, Qt::LeftButton);
  QCOMPARE(r.statics().idPicture().pixel(32, 32), EditorWorld::grey());
  // The map tool's buttons count its own id.
  QTest::mouseClick(r.in<QPushButton>(r.maps(), "btnIdUp"), Qt::LeftButton);
  QCOMPARE(r.maps().currentId(), 1);
}

void ToolWindowsTest::historiesRestoreWhatWasCurrent() {
  ToolRun r;
  r.show();
  QWidget& s = r.statics();
  for (int id : {1, 2, 3}) r.statics().chooseId(id);
  QCOMPARE(r.historyTexts(s, "iStaticId", "StaticIdHistory"),
           (QStringList{"0x2", "0x1", "0x0", "0x0", "0x0"}));
  r.chooseFromHistory(s, "iStaticId", "StaticIdHistory", QStringLiteral("0x1"));
  QCOMPARE(r.statics().currentId(), 1);
  QCOMPARE(r.statics().idPicture().pixel(32, 32), EditorWorld::yellow());
  // Colours: "Get Color" on the post of hue 3 takes 3; the hue chooser's entry 4 gives 5.
  r.click(s, "btnGetColor");
  r.clickView(ToolRun::post(kC + 2, kC + 2));
  QCOMPARE(r.statics().currentColour(), 3);
  const auto& hues = *r.run.registry->hues;
  auto swatch = [&](int entry) {
    return QColor::fromRgba(quillotide::colour16ToPixel(*hues.hueColour(entry, 28))).rgba();
  };
  QCOMPARE(r.statics().colourPicture().pixel(5, 5), swatch(2));
  r.statics().chooseHueEntry(4);
  QCOMPARE(r.statics().currentColour(), 5);
  QCOMPARE(r.statics().colourPicture().pixel(5, 5), swatch(4));
  // Choosing the older entry brings back the colour that was current then, as it was drawn.
  r.chooseFromHistory(s, "iColor", "ColorHistory", QStringLiteral("0x3"));
  QCOMPARE(r.statics().currentColour(), 3);
  QCOMPARE(r.statics().colourPicture().pixel(5, 5), swatch(2));
  // An entry beyond the hue table changes nothing and is reported.
  r.statics().chooseHueEntry(hues.hueCount());
  QCOMPARE(r.statics().currentColour(), 3);
  QVERIFY(r.run.dialogs.messageTexts().last().contains("not in the hue table"));
  // The map tool's history.
  QWidget& m = r.maps();
  r.click(m, "btnGetId");
  r.clickView(ToolRun::cell(kC + 3, kC) + QPoint(-15, 0));
  QCOMPARE(r.maps().currentId(), int(EditorWorld::kRedLand));
  r.maps().chooseId(EditorWorld::kTexturedLand);
  r.chooseFromHistory(m, "iMapId", "MapIdHistory", QStringLiteral("0x1"));
  QCOMPARE(r.maps().currentId(), int(EditorWorld::kRedLand));
  QCOMPARE(r.maps().picture().pixel(32, 32), EditorWorld::red());
}

void ToolWindowsTest::staticToolsActOnTheClickedItems() {
  ToolRun r;
  r.show();
  QWidget& s = r.statics();
  auto& statics = *r.run.registry->statics;
  auto& world = *r.run.registry->worldFile;
  // "Add" with "Use Color" on the post (height 10): a world-file item on top, coloured.
  r.statics().chooseId(EditorWorld::kFrame);
  r.statics().chooseHueEntry(1);
  QTest::mouseClick(r.in<QCheckBox>(s, "cbUseColor"), Qt::LeftButton, {}, QPoint(5, 5));
  r.click(s, "btnAdd");
  r.clickView(ToolRun::post(kC, kC));
  QCOMPARE(world.items().size(), std::size_t(1));
  QCOMPARE(world.items()[0].z, std::int8_t(10));
  QCOMPARE(world.items()[0].hue, std::uint16_t(2));
  // Move the other post right by 2: x + 2, y - 2.
  r.type(s, "eMove", "2");
  r.click(s, "btnMoveRight");
  const std::int32_t post = r.visible(ItemKind::Static, kC + 2, kC + 2)->serial;
  r.clickView(ToolRun::post(kC + 2, kC + 2));
  QCOMPARE(statics.item(post)->x, std::uint16_t(kC + 4));
  QCOMPARE(statics.item(post)->y, std::uint16_t(kC));
  // A bad step is reported and moves nothing.
  r.type(s, "eMove", "two");
  r.editor->scene().requestRebuild();
  r.clickView(ToolRun::post(kC + 4, kC) + QPoint(1, 0));
  QCOMPARE(r.run.dialogs.messageTexts().last(),
           QStringLiteral("'two' is not a valid integer value"));
  QCOMPARE(statics.item(post)->x, std::uint16_t(kC + 4));
  // Dragging with "Delete Item" deletes what the mouse passes.
  r.click(s, "btnDelete");
  const std::int32_t first = r.visible(ItemKind::Static, kC, kC)->serial;
  QTest::mouseMove(r.view(), QPoint(5, 5));
  QTest::mousePress(r.view(), Qt::LeftButton, {}, ToolRun::post(kC, kC) + QPoint(0, 5));
  QTest::mouseMove(r.view(), ToolRun::post(kC + 4, kC));
  QTest::mouseRelease(r.view(), Qt::LeftButton, {}, ToolRun::post(kC + 4, kC));
  QVERIFY(statics.item(first)->deleted);
  QVERIFY(statics.item(post)->deleted);
}

void ToolWindowsTest::infoShowsTheClickedItem() {
  ToolRun r;
  r.show();
  r.click(r.statics(), "btnInfo");
  r.clickView(ToolRun::post(kC + 2, kC + 2));
  auto& info = r.editor->toolWindows().info();
  QVERIFY(info.isVisible());
  QCOMPARE(info.windowTitle(), QStringLiteral("Item Info"));
  const TItem* post = r.visible(ItemKind::Static, kC + 2, kC + 2);
  QCOMPARE(
      info.idText(),
      QStringLiteral("0x1 (internal Serial: %1)").arg(QString::number(post->serial, 16).toUpper()));
  QCOMPARE(info.positionText(), QStringLiteral("34,34,0"));
  QCOMPARE(info.colourText(), QStringLiteral("0x3"));
}

void ToolWindowsTest::landToolsPaintTheCursorAreaAndPatchTheMap() {
  ToolRun r;
  r.show();
  QWidget& m = r.maps();
  auto& map = *r.run.registry->map;
  // "Set Z" 5 with "3x3" clicked on (36, 32).
  r.click(m, "btnCursor3x3");
  r.type(m, "eUpDown", "5");
  r.click(m, "btnSetZ");
  r.clickView(ToolRun::cell(kC + 4, kC) + QPoint(-15, 0));
  for (int x = kC + 2; x <= kC + 6; ++x)
    for (int y = kC - 2; y <= kC + 2; ++y)
      QCOMPARE(map.getAltitude(x, y), std::abs(x - kC - 4) <= 1 && std::abs(y - kC) <= 1 ? 5 : 0);
  // Up by 125 over the same 3 x 3 area stops at 127.
  r.type(m, "eUpDown", "125");
  r.click(m, "btnUp");
  r.clickView(ToolRun::cell(kC + 4, kC) + QPoint(-15, -20));
  QCOMPARE(map.getAltitude(kC + 4, kC), 127);
  // Dragging with "Set Id" at 1 x 1 paints every cell the mouse passes.
  r.click(m, "btnCursor1x1");
  r.maps().chooseId(EditorWorld::kTexturedLand);
  r.click(m, "btnSetId");
  const QPoint from = ToolRun::cell(kC - 4, kC + 4) + QPoint(-15, 0);
  QTest::mouseMove(r.view(), from);
  QTest::mousePress(r.view(), Qt::LeftButton, {}, from);
  for (int x = kC - 3; x <= kC - 1; ++x)
    QTest::mouseMove(r.view(), ToolRun::cell(x, kC + 4) + QPoint(-15, 0));
  QTest::mouseRelease(r.view(), Qt::LeftButton, {}, ToolRun::cell(kC - 1, kC + 4));
  for (int x = kC - 4; x <= kC - 1; ++x)
    QCOMPARE(map.cell(x, kC + 4)->tileId, EditorWorld::kTexturedLand);
  QCOMPARE(map.cell(kC, kC + 4)->tileId, EditorWorld::kRedLand);
  // "Patch Map" writes the cells; the file opened afresh holds them.
  r.editor->action(QStringLiteral("Patch Map"))->trigger();
  // The model holds its file; a copy of the bytes is opened.
  const std::string copy = r.run.dir.file("patched-map0.mul");
  quillotide::test::writeBytes(copy, quillotide::test::readBytes(map.path()));
  TMap fresh;
  fresh.open(copy, 64, 64);
  QCOMPARE(fresh.getAltitude(kC + 5, kC + 1), 127);
  QCOMPARE(fresh.getAltitude(kC + 6, kC), 0);
  QCOMPARE(fresh.cell(kC - 2, kC + 4)->tileId, EditorWorld::kTexturedLand);
}

void ToolWindowsTest::aHugeCustomCursorCoversTheMapRow() {
  ToolRun r;
  r.show();
  // The largest length there is is cut to what one step of a tool holds, and said; the cut
  // cursor still covers every column of this map.
  r.run.dialogs.answerInput(QStringLiteral("2147483647"));
  r.run.dialogs.answerInput(QStringLiteral("1"));
  r.editor->action(QStringLiteral("Set Custom Cursor"))->trigger();
  QCOMPARE(r.editor->cursorReachX(), 128);
  QVERIFY2(r.run.dialogs.messageTexts().last().endsWith(QStringLiteral("2147483647 was cut to 255.")),
           qPrintable(r.run.dialogs.messageTexts().join('\n')));
  QWidget& m = r.maps();
  r.type(m, "eUpDown", "9");
  r.click(m, "btnSetZ");
  r.clickView(ToolRun::cell(kC, kC + 2) + QPoint(-15, 0));
  auto& map = *r.run.registry->map;
  for (int x = 0; x < 64; ++x) {
    QCOMPARE(map.getAltitude(x, kC + 2), 9);
    QCOMPARE(map.getAltitude(x, kC + 1), 0);
  }
}

void ToolWindowsTest::goMovesTheView() {
  ToolRun r;
  r.show();
  QWidget& m = r.maps();
  r.type(m, "eX", "40");
  r.type(m, "eY", "$1A");
  r.click(m, "btnGo");
  QCOMPARE(r.editor->scene().centreX(), 40);
  QCOMPARE(r.editor->scene().centreY(), 26);
  // A bad "Y" is reported after the x was taken.
  r.type(m, "eX", "44");
  r.type(m, "eY", "y");
  r.click(m, "btnGo");
  QCOMPARE(r.run.dialogs.messageTexts().last(), QStringLiteral("'y' is not a valid integer value"));
  QCOMPARE(r.editor->scene().centreX(), 44);
  QCOMPARE(r.editor->scene().centreY(), 26);
}

void ToolWindowsTest::theDiffOverviewComesFromTheMenuAndMovesTheView() {
  ToolRun r;
  r.show();
  quillotide::ui::TStaticDiffForm& overview = r.editor->toolWindows().diffOverview();
  QVERIFY(!overview.isVisible());
  r.editor->action(QStringLiteral("Show StaticDiff Overview"))->trigger();
  QVERIFY(overview.isVisible());
  QCOMPARE(overview.windowTitle(), QStringLiteral("StaticDiffs"));
  // One pixel stands for 16 x 16 cells.
  QTest::mousePress(overview.picture(), Qt::LeftButton, {}, QPoint(3, 1));
  QCOMPARE(r.editor->scene().centreX(), 48);
  QCOMPARE(r.editor->scene().centreY(), 16);
  r.editor->hide();
  QVERIFY(!overview.isVisible());
}

void ToolWindowsTest::setMaxZHidesWhatIsAbove() {
  ToolRun r;
  r.show();
  auto* bar = r.in<QSlider>(r.statics(), "tbMaxZ");
  QCOMPARE(bar->value(), 127);
  QCOMPARE(bar->minimum(), -128);
  QTest::keyClick(bar, Qt::Key_PageDown);
  QCOMPARE(r.editor->scene().maxZ(), bar->value());
  QVERIFY(bar->value() < 127);
  QTest::keyClick(bar, Qt::Key_End);
  QCOMPARE(r.editor->scene().maxZ(), bar->value());
}

void ToolWindowsTest::choosersHandTheirChoicesToTheTools() {
  ToolRun r;
  r.show();
  auto& windows = r.editor->toolWindows();
  // The id picture opens the static chooser; a double click there makes the id current.
  r.statics().chooseId(EditorWorld::kPost);
  QTest::mouseClick(r.in<QWidget>(r.statics(), "iStaticId"), Qt::LeftButton);
  QVERIFY(windows.staticChooser().isVisible());
  const QPoint frame = quillotide::ui::ArtGrid::cellRect(EditorWorld::kFrame).center();
  QTest::mouseDClick(windows.staticChooser().grid(), Qt::LeftButton, {}, frame);
  QCOMPARE(r.statics().currentId(), int(EditorWorld::kFrame));
  QCOMPARE(r.statics().idHistory().at(1), int(EditorWorld::kPost));
  // The land picture opens the land chooser.
  QTest::mouseClick(r.in<QWidget>(r.maps(), "iMapId"), Qt::LeftButton);
  QVERIFY(windows.landChooser().isVisible());
  const QPoint land = quillotide::ui::ArtGrid::cellRect(EditorWorld::kTexturedLand).center();
  QTest::mouseDClick(windows.landChooser().grid(), Qt::LeftButton, {}, land);
  QCOMPARE(r.maps().currentId(), int(EditorWorld::kTexturedLand));
  // The swatch opens the hue chooser: entry 2 gives colour 3, -1 no colour.
  QTest::mouseClick(r.in<QWidget>(r.statics(), "iColor"), Qt::LeftButton);
  QVERIFY(windows.hueChooser().isVisible());
  auto* number = r.in<QLineEdit>(windows.hueChooser(), "eFarbIndex");
  number->clear();
  QTest::keyClicks(number, "2");
  QTest::keyClick(number, Qt::Key_Return);
  QCOMPARE(r.statics().currentColour(), 3);
  number->clear();
  QTest::keyClicks(number, "-1");
  QTest::keyClick(number, Qt::Key_Return);
  QCOMPARE(r.statics().currentColour(), 0);
  QCOMPARE(r.statics().colourHistory().at(1), 3);
  // "WorldMap" opens the overview; its "Go" moves the editor's view.
  r.click(r.statics(), "btnWorldMap");
  QWidget& overview = windows.mapOverview();
  QVERIFY(overview.isVisible());
  r.type(overview, "eX", "20");
  r.type(overview, "eY", "21");
  QTest::mouseClick(r.in<QPushButton>(overview, "btnGo"), Qt::LeftButton);
  QCOMPARE(r.editor->scene().centreX(), 20);
  QCOMPARE(r.editor->scene().centreY(), 21);
  r.editor->hide();
  QVERIFY(!overview.isVisible());
}

void ToolWindowsTest::undoComesFromTheEditMenuAndFromEveryToolWindow() {
  ToolRun r;
  r.show();
  QWidget& s = r.statics();
  auto& statics = *r.run.registry->statics;
  QAction* undo = r.editor->undoAction();
  QAction* redo = r.editor->redoAction();
  QVERIFY(r.editor->action(QStringLiteral("Undo")) == undo);
  QVERIFY(!undo->isEnabled());
  QVERIFY(!redo->isEnabled());
  // "Nuke" over both posts: two clicks, one step named by the tool.
  r.clickView(ToolRun::cell(kC, kC));  // tool 0: the view is built, nothing changes
  const std::int32_t first = r.visible(ItemKind::Static, kC, kC)->serial;
  const std::int32_t second = r.visible(ItemKind::Static, kC + 2, kC + 2)->serial;
  r.click(s, "btnNuke");
  r.clickView(ToolRun::cell(kC - 1, kC - 1));
  QVERIFY(!undo->isEnabled());
  r.clickView(ToolRun::cell(kC + 3, kC + 3) + QPoint(-15, 0));
  QVERIFY(statics.item(first)->deleted && statics.item(second)->deleted);
  QCOMPARE(undo->text(), QStringLiteral("Undo Nuke"));
  QVERIFY(undo->isEnabled());
  QVERIFY(r.editor->hasUnsaved(quillotide::WorldPart::Statics));

  // Ctrl+Z in the Statictool window takes the whole rectangle back.
  s.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&s));
  QTest::keyClick(&s, Qt::Key_Z, Qt::ControlModifier);
  QVERIFY(!statics.item(first)->deleted && !statics.item(second)->deleted);
  r.editor->view()->prepareIfNeeded();  // as the next frame does
  QVERIFY(r.visible(ItemKind::Static, kC, kC));
  QCOMPARE(redo->text(), QStringLiteral("Redo Nuke"));
  QCOMPARE(undo->text(), QStringLiteral("Undo"));
  QVERIFY(!undo->isEnabled());
  // Back at the state the files hold: nothing is unsaved, and closing asks nothing.
  QVERIFY(!r.editor->hasUnsaved());
  QVERIFY(!statics.hasUnsavedChanges());
  QVERIFY(r.editor->confirmClose());
  QVERIFY(r.run.dialogs.asked().isEmpty());

  // Ctrl+Shift+Z in the Maptool window makes it again; Ctrl+Y in the editor after an undo too.
  QWidget& m = r.maps();
  m.show();
  m.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&m));
  QTest::keyClick(&m, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  QVERIFY(statics.item(first)->deleted);
  r.activateEditor();
  undo->trigger();  // as a click on the menu item does
  QVERIFY(!statics.item(first)->deleted);
  QTest::keyClick(r.editor.get(), Qt::Key_Y, Qt::ControlModifier);
  QVERIFY(statics.item(first)->deleted && statics.item(second)->deleted);

  // Patched, the state is the new base; undoing marks the blocks changed again.
  r.run.dialogs.answerSave(r.run.path("staidx.mul"));
  r.run.dialogs.answerSave(r.run.path("statics.mul"));
  r.editor->action(QStringLiteral("Patch Statics (only changes on existing statics)"))->trigger();
  QVERIFY(!r.editor->hasUnsaved());
  r.activateEditor();  // the patch's progress window had the focus
  QTest::keyClick(r.editor.get(), Qt::Key_Z, Qt::ControlModifier);
  QVERIFY(r.editor->hasUnsaved(quillotide::WorldPart::Statics));
  r.editor->view()->prepareIfNeeded();
  QVERIFY(r.visible(ItemKind::Static, kC, kC));
  QVERIFY(r.visible(ItemKind::Static, kC + 2, kC + 2));
  r.run.dialogs.answerSave(r.run.path("staidx.mul"));
  r.run.dialogs.answerSave(r.run.path("statics.mul"));
  r.editor->action(QStringLiteral("Patch Statics (only changes on existing statics)"))->trigger();
  quillotide::TStatics reread;
  reread.open(r.run.dir.file("staidx.mul"), r.run.dir.file("statics.mul"), 64, 64,
              quillotide::StorageMode::Memory);
  QCOMPARE(reread.getItemsInRect(0, 63, 0, 63).size(), std::size_t(2));
}

void ToolWindowsTest::theFirstClickAfterAToolButtonIsAnEdit() {
  ToolRun r;
  r.show();
  QWidget& s = r.statics();
  auto& statics = *r.run.registry->statics;
  const std::int32_t hued = statics.itemsAt(kC + 2, kC + 2).at(0).serial;
  const std::int32_t plain = statics.itemsAt(kC, kC).at(0).serial;
  // The button is pressed in the tool window, which stays the active window; the next click
  // into the world is the edit, not merely the click that brings the editor to the front.
  auto pressInToolWindow = [&](const char* button) {
    s.activateWindow();
    QTRY_VERIFY(QApplication::activeWindow() == &s);
    QTest::mouseClick(r.in<QAbstractButton>(s, button), Qt::LeftButton);
    QVERIFY(!r.editor->isActiveWindow());
  };
  pressInToolWindow("btnChangeColor");
  r.clickView(ToolRun::post(kC + 2, kC + 2));
  QCOMPARE(statics.item(hued)->hue, std::uint16_t(0));
  pressInToolWindow("btnRaise");
  r.clickView(ToolRun::post(kC + 2, kC + 2));
  QCOMPARE(statics.item(hued)->z, std::int8_t(1));
  pressInToolWindow("btnMoveRight");
  r.clickView(ToolRun::post(kC, kC));
  QCOMPARE(statics.item(plain)->x, std::uint16_t(kC + 1));
  QCOMPARE(statics.item(plain)->y, std::uint16_t(kC - 1));
  r.statics().chooseId(EditorWorld::kFrame);
  pressInToolWindow("btnAdd");
  r.clickView(ToolRun::post(kC + 2, kC + 2) + QPoint(0, -4));
  QCOMPARE(r.run.registry->worldFile->items().size(), std::size_t(1));
  pressInToolWindow("btnDelete");
  r.clickView(ToolRun::post(kC + 1, kC - 1));
  QVERIFY(statics.item(plain)->deleted);
  QCOMPARE(r.editor->undoStack().size(), std::size_t(5));
}

void ToolWindowsTest::restoringTheMinimisedEditorKeepsItsTool() {
  ToolRun r;
  r.show();
  QWidget& s = r.statics();
  r.click(s, "btnDelete");
  r.editor->showMinimized();
  r.editor->showNormal();
  QCOMPARE(r.editor->editorTool(), 2);
  QVERIFY(r.down(s, "btnDelete"));
  r.activateEditor();
  r.clickView(ToolRun::post(kC, kC));
  QVERIFY(!r.visible(ItemKind::Static, kC, kC));
  // Hidden and shown again, the editor starts without a tool, and no button says otherwise.
  r.click(r.maps(), "btnSetZ");
  r.editor->hide();
  r.show();
  QCOMPARE(r.editor->editorTool(), 0);
  QVERIFY(!r.down(s, "btnDelete"));
  QVERIFY(!r.down(r.maps(), "btnSetZ"));
}

void ToolWindowsTest::theButtonsShowTheToolAndBrushThatAct() {
  ToolRun r;
  r.show();
  QWidget& s = r.statics();
  QWidget& m = r.maps();
  // A custom cursor of 3 x 5 is none of the presets, and the brush says so.
  r.run.dialogs.answerInput(QStringLiteral("3"));
  r.run.dialogs.answerInput(QStringLiteral("5"));
  r.trigger(QStringLiteral("Set Custom Cursor"));
  for (const char* preset : {"btnCursor1x1", "btnCursor3x3", "btnCursor5x5", "btnCursor7x7"})
    QVERIFY2(!r.down(m, preset), preset);
  QCOMPARE(r.in<QLabel>(m, "lBrush")->text(), QStringLiteral("3 x 5"));
  QCOMPARE(r.editor->landBrush(), (quillotide::LandBrush{quillotide::BrushShape::Square, 3, 5}));
  r.click(m, "btnCursor7x7");
  QVERIFY(r.down(m, "btnCursor7x7"));
  QCOMPARE(r.in<QSpinBox>(m, "sbBrushSize")->value(), 7);
  // The static tool window closed while "Delete Item" acted, a land tool chosen, and the window
  // brought back from the menu: it shows no tool of its own.
  r.click(s, "btnDelete");
  QVERIFY(r.down(m, "btnCursor1x1"));
  s.close();
  r.click(m, "btnSmooth");
  r.trigger(QStringLiteral("Show Statictool"));
  QVERIFY(s.isVisible());
  QVERIFY(!r.down(s, "btnDelete"));
  QVERIFY(r.down(m, "btnSmooth"));
  QCOMPARE(r.editor->editorTool(), 26);
  // The Delete key in the static tool presses its button and raises the land tool's.
  QTest::keyClick(&s, Qt::Key_Delete);
  QVERIFY(r.down(s, "btnDelete"));
  QVERIFY(!r.down(m, "btnSmooth"));
}

void ToolWindowsTest::typedIdsAreTakenOrRefusedWithTheirRange() {
  ToolRun r;
  r.show();
  QWidget& s = r.statics();
  QWidget& m = r.maps();
  auto enter = [&](QWidget& window, const QString& text) {
    r.type(window, "eId", text);
    QTest::keyClick(r.in<QLineEdit>(window, "eId"), Qt::Key_Return);
  };
  // A typed static id becomes current, drawn and remembered; the field shows it.
  enter(s, QStringLiteral("$1"));
  QCOMPARE(r.statics().currentId(), int(EditorWorld::kPost));
  QCOMPARE(r.statics().idPicture().pixel(32, 32), EditorWorld::yellow());
  QCOMPARE(r.statics().idHistory().at(0), int(EditorWorld::kPost));
  QCOMPARE(r.in<QLineEdit>(s, "eId")->text(), QStringLiteral("0x1"));
  // Past the range: refused where typed, with the range; the field shows the id that acts.
  enter(s, QStringLiteral("0x4000"));
  QCOMPARE(r.run.dialogs.messageTexts().last(),
           QStringLiteral("Static 0x4000 is outside 0x0 ... 0x3FFF."));
  QCOMPARE(r.statics().currentId(), int(EditorWorld::kPost));
  QCOMPARE(r.in<QLineEdit>(s, "eId")->text(), QStringLiteral("0x1"));
  enter(s, QStringLiteral("post"));
  QCOMPARE(r.run.dialogs.messageTexts().last(),
           QStringLiteral("'post' is not a valid integer value"));
  // The step buttons and the chooser's choice show in the field.
  QTest::mouseClick(r.in<QPushButton>(s, "btnIdUp"), Qt::LeftButton);
  QCOMPARE(r.in<QLineEdit>(s, "eId")->text(), QStringLiteral("0x2"));

  // The map tool takes a list; the picture shows its first id.
  enter(m, QStringLiteral("3, 1"));
  QCOMPARE(r.maps().landIds(), (std::vector<int>{EditorWorld::kTexturedLand, EditorWorld::kRedLand}));
  QCOMPARE(r.maps().currentId(), int(EditorWorld::kTexturedLand));
  QCOMPARE(r.in<QLineEdit>(m, "eId")->text(), QStringLiteral("0x3, 0x1"));
  enter(m, QStringLiteral("1 0x4000"));
  QCOMPARE(r.run.dialogs.messageTexts().last(),
           QStringLiteral("Land tile 0x4000 is outside 0x0 ... 0x3FFF."));
  QCOMPARE(r.maps().landIds(), (std::vector<int>{EditorWorld::kTexturedLand, EditorWorld::kRedLand}));
  QCOMPARE(r.in<QLineEdit>(m, "eId")->text(), QStringLiteral("0x3, 0x1"));
  QTest::mouseClick(r.in<QPushButton>(m, "btnIdUp"), Qt::LeftButton);
  QCOMPARE(r.maps().landIds(), std::vector<int>{4});
}

void ToolWindowsTest::aBrushStrokeIsOneStepAndReachesTheMapFile() {
  ToolRun r;
  r.show();
  QWidget& m = r.maps();
  auto& map = *r.run.registry->map;
  // A round brush of 5, chosen with the keyboard.
  auto* shape = r.in<QComboBox>(m, "cbBrushShape");
  QTest::keyClick(shape, Qt::Key_Down);
  auto* size = r.in<QSpinBox>(m, "sbBrushSize");
  size->selectAll();
  QTest::keyClicks(size, "5");
  QCOMPARE(r.editor->landBrush(), (quillotide::LandBrush{quillotide::BrushShape::Round, 5, 5}));
  QVERIFY(r.down(m, "btnCursor5x5"));
  // "Set Z" 1 with that brush around (26, 36); the near middle of a cell is on it at either
  // altitude.
  const auto at = [](int x, int y) { return ToolRun::cell(x, y) + QPoint(0, -2); };
  r.type(m, "eUpDown", "1");
  r.click(m, "btnSetZ");
  r.clickView(at(kC - 6, kC + 4));
  QCOMPARE(map.getAltitude(kC - 6, kC + 4), 1);
  QCOMPARE(map.getAltitude(kC - 8, kC + 4), 1);
  QCOMPARE(map.getAltitude(kC - 8, kC + 2), 0);  // a corner the round brush leaves out
  const std::size_t steps = r.editor->undoStack().size();
  // "Flatten" dragged from that cell to (30, 36): every cell the brush passes gets 1.
  r.click(m, "btnFlatten");
  QTest::mouseMove(r.view(), at(kC - 6, kC + 4));
  QTest::mousePress(r.view(), Qt::LeftButton, {}, at(kC - 6, kC + 4));
  for (int x = kC - 5; x <= kC - 2; ++x) QTest::mouseMove(r.view(), at(x, kC + 4));
  QTest::mouseRelease(r.view(), Qt::LeftButton, {}, at(kC - 2, kC + 4));
  for (int x = kC - 8; x <= kC; ++x) QCOMPARE(map.getAltitude(x, kC + 4), 1);
  QCOMPARE(map.getAltitude(kC - 1, kC + 6), 1);
  QCOMPARE(map.getAltitude(kC, kC + 6), 0);
  QCOMPARE(map.getAltitude(kC + 1, kC + 4), 0);
  QCOMPARE(r.editor->undoStack().size(), steps + 1);
  // One Ctrl+Z takes back the whole stroke; Ctrl+Y makes it again.
  QTest::keyClick(r.editor.get(), Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(map.getAltitude(kC, kC + 4), 0);
  QCOMPARE(map.getAltitude(kC - 6, kC + 4), 1);
  QTest::keyClick(r.editor.get(), Qt::Key_Y, Qt::ControlModifier);
  QCOMPARE(map.getAltitude(kC, kC + 4), 1);
  // "Patch Map" writes the flattened cells.
  r.trigger(QStringLiteral("Patch Map"));
  const std::string copy = r.run.dir.file("patched-map0.mul");
  quillotide::test::writeBytes(copy, quillotide::test::readBytes(map.path()));
  TMap fresh;
  fresh.open(copy, 64, 64);
  QCOMPARE(fresh.getAltitude(kC, kC + 4), 1);
  QCOMPARE(fresh.getAltitude(kC - 1, kC + 6), 1);
  QCOMPARE(fresh.getAltitude(kC + 1, kC + 4), 0);
}

QTEST_MAIN(ToolWindowsTest)
#include "ToolWindowsTest.moc"
