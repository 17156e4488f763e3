#pragma once
// The world editor of a program run on a generated 64 x 64 world, for the editor's page tests:
// posts on (32,32) and (34,34, hue 3), the view centred on (32,32), drawn without OpenGL (picking
// never reads the frame back).

#include <memory>

#include <QAction>
#include <QTest>

#include "UiTestSupport.h"
#include "support/EditorWorld.h"
#include "ui/editor/EditorView.h"
#include "ui/editor/SEditorForm.h"

namespace quillotide::test {

struct EditorRun {
  static constexpr int kCentre = 32;

  explicit EditorRun(const std::string& config = configWith({{"LastX", "32"}, {"LastY", "32"}}))
      : run(config),
        world(64, {{EditorWorld::kPost, kCentre, kCentre, 0, 0},
                   {EditorWorld::kPost, kCentre + 2, kCentre + 2, 0, 3}}) {
    world.loadInto(*run.registry);
    editor = std::make_unique<ui::TSEditorForm>(*run.mainForm, false);
  }
  void show() {
    editor->show();
    activateEditor();
  }
  void activateEditor() {
    editor->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(editor.get()));
  }
  QWidget* view() const { return editor->view(); }
  // The middle of the cell's diamond on screen (zoom 1, the centre cell, 800 x 600).
  static QPoint cell(int x, int y) {
    return {(x - y) * 22 + 400, (x + y - 2 * kCentre) * 22 + 322};
  }
  static QPoint post(int x, int y) { return cell(x, y) + QPoint(0, 10); }
  // A left click on the view, after the mouse came there as a person's would.
  void clickView(QPoint at) {
    QTest::mouseMove(view(), at);
    QTest::mouseClick(view(), Qt::LeftButton, {}, at);
  }
  // The first undeleted copy of that kind drawn on the cell (land of either kind for Land).
  const TItem* visible(ItemKind kind, int x, int y) const {
    for (const TItem& it : editor->scene().visibleItems())
      if ((it.kind == kind || (kind == ItemKind::Land && it.kind == ItemKind::LandTexture)) &&
          it.x == x && it.y == y && !it.deleted)
        return &it;
    return nullptr;
  }
  // The menu item with this caption, clicked.
  void trigger(const QString& caption) const {
    QAction* a = editor->action(caption);
    if (!a)
      QTest::qFail(qPrintable("no menu item " + caption), __FILE__, __LINE__);
    else
      a->trigger();
  }

  ProgramRun run;
  EditorWorld world;
  std::unique_ptr<ui::TSEditorForm> editor;
};

}  // namespace quillotide::test
