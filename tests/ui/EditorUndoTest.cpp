// Undo in the world editor on the sample world, driven as a person does: the editor opened from
// the features page, the tool windows' buttons clicked, the view clicked and dragged over, the
// keys pressed, the world patched from the menu. What the patches write is compared with the
// files of a second sample world given only the edits that were kept.

#include <QAbstractButton>
#include <QTest>

#include "UiTestSupport.h"
#include "registry/Registry.h"
#include "world/Map.h"
#include "world/Statics.h"
#include "support/TestFiles.h"
#include "ui/editor/EditorView.h"
#include "ui/editor/MaptoolForm.h"
#include "ui/editor/SEditorForm.h"
#include "ui/editor/StaticToolForm.h"
#include "ui/editor/ToolWindows.h"
#include "ui/main/MainForm.h"

using quillotide::ItemKind;
using quillotide::TItem;
using quillotide::test::ProgramRun;
using quillotide::ui::TSEditorForm;

namespace {

// The sample world opened in the editor by the features page's "Worldeditor" button.
struct SampleEditor {
  SampleEditor() {
    run.useSampleFiles(run.dir.file("sample"));
    run.showPage(QStringLiteral("tsFeatures"));
    QTest::mouseClick(run.find<QAbstractButton>(QStringLiteral("btnActivateEditor")),
                      Qt::LeftButton);
    editor = TSEditorForm::existing(*run.mainForm);
    if (!editor || !QTest::qWaitForWindowExposed(editor)) QTest::qFail("no editor", __FILE__, __LINE__);
    activate();
    // The mouse comes over the view; the first frame is prepared.
    QTest::mouseMove(view(), QPoint(400, 300));
  }
  void activate() {
    editor->activateWindow();
    if (!QTest::qWaitForWindowActive(editor)) QTest::qFail("not active", __FILE__, __LINE__);
  }
  QWidget* view() const { return editor->view()->drawingWidget(); }
  void clickTool(QWidget& window, const char* button) {
    QTest::mouseClick(window.findChild<QAbstractButton*>(QString::fromLatin1(button)),
                      Qt::LeftButton);
    activate();
  }
  void clickView(QPoint at) {
    QTest::mouseMove(view(), at);
    QTest::mouseClick(view(), Qt::LeftButton, {}, at);
  }
  // A press, a drag along the points and a release.
  void drag(const std::vector<QPoint>& path) {
    QTest::mouseMove(view(), path.front());
    QTest::mousePress(view(), Qt::LeftButton, {}, path.front());
    for (const QPoint& p : path) QTest::mouseMove(view(), p);
    QTest::mouseRelease(view(), Qt::LeftButton, {}, path.back());
  }
  void key(Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
    QTest::keyClick(editor, k, modifiers);
  }
  // Paints sand along a line in the lower left of the view: the shore.
  void paintShore() {
    QWidget& maps = editor->toolWindows().mapTool();
    editor->toolWindows().mapTool().chooseId(0x05);
    clickTool(maps, "btnSetId");
    std::vector<QPoint> path;
    for (int i = 0; i <= 12; ++i) path.push_back(QPoint(150 + 22 * i, 420 - 6 * i));
    drag(path);
  }
  void patchAll() {
    run.dialogs.answerSave(run.path("out-staidx0.mul"));
    run.dialogs.answerSave(run.path("out-statics0.mul"));
    editor->action(QStringLiteral("Patch Statics (only changes on existing statics)"))->trigger();
    editor->action(QStringLiteral("Patch Map"))->trigger();
  }
  quillotide::Bytes file(const std::string& name) const {
    return quillotide::test::readBytes(run.dir.file(name));
  }
  // Every land cell as the map model holds it.
  std::vector<quillotide::MapCell> cells() const {
    std::vector<quillotide::MapCell> out;
    auto& map = *run.registry->map;
    for (int x = 0; x < map.width(); ++x)
      for (int y = 0; y < map.height(); ++y) out.push_back(*map.cell(x, y));
    return out;
  }
  std::size_t staticsShown() const {
    std::size_t n = 0;
    for (const TItem& it : editor->scene().visibleItems())
      if (it.kind == ItemKind::Static && !it.deleted) ++n;
    return n;
  }

  ProgramRun run;
  TSEditorForm* editor = nullptr;
};

}  // namespace

class EditorUndoTest : public QObject {
  Q_OBJECT
private slots:
  void aNukeAndAStrokeTakenBackPatchLikeTheKeptEditsAlone();
};

void EditorUndoTest::aNukeAndAStrokeTakenBackPatchLikeTheKeptEditsAlone() {
  SampleEditor a;
  auto& statics = *a.run.registry->statics;
  const std::vector<quillotide::MapCell> original = a.cells();
  const std::size_t shown = a.staticsShown();
  QVERIFY(shown > 0);

  // "Nuke" between two clicks: every static of the rectangle goes.
  a.clickTool(a.editor->toolWindows().staticTool(), "btnNuke");
  // A corner above the view's centre and one below it: about ten by ten cells.
  a.clickView(QPoint(400, 100));
  a.clickView(QPoint(400, 500));
  a.editor->view()->prepareIfNeeded();
  QVERIFY(a.staticsShown() < shown);
  QVERIFY(statics.hasUnsavedChanges());
  QCOMPARE(a.editor->undoAction()->text(), QStringLiteral("Undo Nuke"));
  a.key(Qt::Key_Z);
  a.editor->view()->prepareIfNeeded();
  QCOMPARE(a.staticsShown(), shown);
  QVERIFY(!statics.hasUnsavedChanges());

  // A shore painted with one drag; one Ctrl+Z takes all of it back, Ctrl+Y makes it again.
  a.paintShore();
  const std::vector<quillotide::MapCell> painted = a.cells();
  QVERIFY(painted != original);
  QCOMPARE(a.editor->undoAction()->text(), QStringLiteral("Undo Land Id"));
  a.key(Qt::Key_Z);
  QVERIFY(a.cells() == original);
  QVERIFY(!a.editor->hasUnsaved());
  a.key(Qt::Key_Y);
  QVERIFY(a.cells() == painted);
  QVERIFY(a.editor->hasUnsaved(quillotide::WorldPart::Map));
  a.patchAll();
  QVERIFY(!a.editor->hasUnsaved());

  // The same kept edit on a second sample world, without any undo.
  SampleEditor b;
  b.paintShore();
  QVERIFY(b.cells() == painted);
  b.patchAll();
  QCOMPARE(a.file("sample/map0.mul"), b.file("sample/map0.mul"));
  QCOMPARE(a.file("out-staidx0.mul"), b.file("out-staidx0.mul"));
  QCOMPARE(a.file("out-statics0.mul"), b.file("out-statics0.mul"));
  QCOMPARE(a.run.dialogs.messageTexts().last(), b.run.dialogs.messageTexts().last());

  // Opening the world again starts a new session: nothing is left to undo.
  const std::string mapPath = a.run.registry->map->path();
  a.run.registry->map->open(mapPath, a.run.registry->map->width(), a.run.registry->map->height());
  a.editor->hide();
  TSEditorForm::open(*a.run.mainForm);
  QVERIFY(!a.editor->undoAction()->isEnabled());
  QVERIFY(!a.editor->undoStack().canUndo());
}

QTEST_MAIN(EditorUndoTest)
#include "EditorUndoTest.moc"
