#include "ui/editor/EditorSelection.h"

#include <algorithm>
#include <tuple>

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QRubberBand>

#include "app/Error.h"
#include "registry/Registry.h"
#include "world/Map.h"
#include "world/Statics.h"
#include "ui/editor/EditorTools.h"
#include "ui/editor/EditorView.h"
#include "ui/editor/FindPlacedForm.h"
#include "ui/editor/SEditorForm.h"
#include "ui/editor/StaticToolForm.h"
#include "ui/editor/ToolWindows.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

namespace {

// The static tool buttons that act on a selection at once: delete, recolour, retype, the eight
// moves, raise and lower.
// The largest group pasted without asking first.
constexpr std::size_t kPasteWithoutAsking = 5000;

bool editsSelection(int tool) { return tool == 2 || tool == 4 || tool == 5 || (tool >= 7 && tool <= 16); }

}  // namespace

EditorSelection::EditorSelection(TSEditorForm& editor, Registry& registry, Dialogs& dialogs)
    : QObject(&editor), m_editor(editor), m_registry(registry), m_dialogs(dialogs) {
  m_band = new QRubberBand(QRubberBand::Rectangle, editor.view());
  m_band->setObjectName(QStringLiteral("SelectionBand"));
  editor.scene().setAfterRebuild(
      [this](std::vector<TItem>& copies) { m_selection.mark(copies, models()); });
  addEditActions();
}

WorldModels EditorSelection::models() const { return m_editor.worldEdits().models(); }

void EditorSelection::addEditActions() {
  QMenu* edit = nullptr;
  for (QAction* a : m_editor.menuBar()->actions())
    if (a->menu() && a->text() == QStringLiteral("Edit")) edit = a->menu();
  auto action = [&](const QString& caption, QKeySequence key, auto&& run) {
    auto* a = new QAction(caption, &m_editor);
    a->setObjectName(caption);
    a->setShortcut(key);
    connect(a, &QAction::triggered, this, [this, run] { runAction(m_dialogs, run); });
    if (edit)
      edit->addAction(a);
    else
      m_editor.addAction(a);
    return a;
  };
  if (edit) edit->addSeparator();
  action(QStringLiteral("Copy"), QKeySequence(Qt::CTRL | Qt::Key_C), [this] { copy(); });
  action(QStringLiteral("Paste"), QKeySequence(Qt::CTRL | Qt::Key_V), [this] { paste(); });
  action(QStringLiteral("Select None"), QKeySequence(), [this] { clear(); });
  action(QStringLiteral("Delete Selection"), QKeySequence(Qt::Key_Delete),
         [this] { applyTool(2); });
  action(QStringLiteral("Find placed\u2026"), QKeySequence(Qt::CTRL | Qt::Key_F), [this] {
    TFindPlacedForm& form = findForm();
    form.show();
    form.raise();
    form.activateWindow();
  });
  // The selection moves as the static tool's move buttons move an item: Ctrl+arrows go one move
  // step in the screen's directions, Page Up and Page Down one altitude step.
  const struct {
    const char* name;
    QKeySequence key;
    int tool;
  } moves[] = {{"Move Selection Up", QKeySequence(Qt::CTRL | Qt::Key_Up), 8},
               {"Move Selection Right", QKeySequence(Qt::CTRL | Qt::Key_Right), 10},
               {"Move Selection Down", QKeySequence(Qt::CTRL | Qt::Key_Down), 12},
               {"Move Selection Left", QKeySequence(Qt::CTRL | Qt::Key_Left), 14},
               {"Raise Selection", QKeySequence(Qt::Key_PageUp), 15},
               {"Lower Selection", QKeySequence(Qt::Key_PageDown), 16}};
  for (const auto& m : moves) {
    const int tool = m.tool;
    QAction* a = action(QString::fromLatin1(m.name), m.key, [this, tool] { applyTool(tool); });
    // Not in the menu: keys of the view.
    if (edit) edit->removeAction(a);
    m_editor.addAction(a);
  }
}

void EditorSelection::remark() {
  const std::int32_t hovered = m_editor.lastHovered();
  auto& copies = m_editor.scene().visibleItems();
  for (TItem& it : copies)
    if (isObjectKind(it.kind)) it.selected = it.serial == hovered ? kHoverLook : std::uint8_t{0};
  m_selection.mark(copies, models());
  m_editor.view()->refresh();
}

void EditorSelection::clear() {
  if (m_selection.empty()) return;
  m_selection.clear();
  remark();
}

bool EditorSelection::press(QPoint at, Qt::KeyboardModifiers modifiers) {
  if (m_editor.editorTool() != 0) return false;
  m_selection.follow(models());
  if (modifiers & Qt::ShiftModifier) {
    m_banding = true;
    m_bandAdds = (modifiers & Qt::ControlModifier) != 0;
    m_bandFrom = at;
    m_band->setGeometry(QRect(at, QSize(1, 1)));
    m_band->show();
    return true;
  }
  m_editor.view()->prepareIfNeeded();
  const TItem* picked = m_editor.findVisibleItem(m_editor.scene().pick(at.x(), at.y()));
  const bool object = picked && isObjectKind(picked->kind);
  if (modifiers & Qt::ControlModifier) {
    if (object) m_selection.toggle(*picked);
  } else {
    // A click on the ground or beside the world selects nothing.
    m_selection.clear();
    if (object) m_selection.add(*picked);
  }
  remark();
  return true;
}

void EditorSelection::moved(QPoint at) {
  if (m_banding) m_band->setGeometry(QRect(m_bandFrom, at).normalized());
}

void EditorSelection::release(QPoint at) {
  if (!m_banding) return;
  m_banding = false;
  m_band->hide();
  finishBand(at);
}

void EditorSelection::finishBand(QPoint at) {
  m_editor.view()->prepareIfNeeded();
  EditorScene& scene = m_editor.scene();
  const auto hits = objectsInBand(scene, m_bandFrom.x(), m_bandFrom.y(), at.x(), at.y());
  // The first item of a copied group is the band's northmost, lowest one.
  std::vector<TItem> found;
  found.reserve(hits.size());
  for (const std::size_t pos : hits) found.push_back(scene.visibleItems()[pos]);
  std::sort(found.begin(), found.end(), [](const TItem& a, const TItem& b) {
    return std::tuple(a.x + a.y, a.x, a.z) < std::tuple(b.x + b.y, b.x, b.z);
  });
  if (!m_bandAdds) m_selection.clear();
  for (const TItem& it : found) m_selection.add(it);
  remark();
}

bool EditorSelection::selectOnly(const TItem& item) {
  TItem target = item;
  // A static of a block not read yet gets its serial once its block is read.
  if (target.kind == ItemKind::Static && target.serial < 0) {
    if (!m_registry.statics) return false;
    bool found = false;
    for (const TItem& here : m_registry.statics->itemsAt(item.x, item.y))
      if (here.tileId == item.tileId && here.z == item.z && here.hue == item.hue) {
        target = here;
        found = true;
        break;
      }
    if (!found) return false;
  }
  m_selection.clear();
  m_selection.follow(models());
  m_selection.add(target);
  m_editor.setViewCentre(target.x, target.y);
  m_editor.requestRebuild();
  return true;
}

bool EditorSelection::applyTool(int tool) {
  if (!editsSelection(tool)) return false;
  m_selection.follow(models());
  if (m_selection.empty()) return false;
  runAction(m_dialogs, [&] {
    WorldEdits& edits = m_editor.worldEdits();
    const StaticToolInputs& inputs = m_editor.toolWindows().staticTool();
    const std::string label = editorToolStepName(tool);
    switch (tool) {
      case 2:
        afterBulk(m_selection.remove(edits, label));
        break;
      case 4:
        afterBulk(m_selection.setHue(edits, static_cast<std::uint16_t>(inputs.currentColour()),
                                     label));
        break;
      case 5:
        afterBulk(m_selection.setTileId(edits, static_cast<std::uint16_t>(inputs.currentId()),
                                        label));
        break;
      default: {
        const MoveStep step = staticToolMove(tool, inputs);
        afterBulk(m_selection.move(edits, step.dx, step.dy, step.dz, label));
        break;
      }
    }
  });
  return true;
}

void EditorSelection::afterBulk(const BulkResult& result) {
  // The owners hold the new state; the copies are read again, and marked again as they are.
  m_editor.requestRebuild();
  m_editor.updateUndoActions();
  m_editor.worldChanged();
  if (result.leftOut) m_dialogs.showMessage(QString::fromStdString(leftOutMessage(result.leftOut)));
}

void EditorSelection::copy() {
  const std::vector<TItem> items = m_selection.items(models());
  if (items.empty()) throw Error("Nothing is selected to copy.");
  int ground = 0;
  if (TMap* map = m_registry.map.get(); map && map->isLoaded())
    if (const auto cell = map->cell(items.front().x, items.front().y)) ground = cell->z;
  QGuiApplication::clipboard()->setText(QString::fromStdString(groupText(items, ground)));
}

void EditorSelection::paste() {
  const std::vector<GroupItem> group =
      parseGroupText(QGuiApplication::clipboard()->text().toStdString());
  if (group.empty()) throw Error("The clipboard holds no items to paste.");
  // Every item placed stays in the world file and is drawn for as long as the program runs: a
  // large group is placed only when the user says so.
  if (group.size() > kPasteWithoutAsking) {
    const auto answer = m_dialogs.ask(
        QStringLiteral("Paste"),
        QStringLiteral("The clipboard holds %1 items. Place them all as new world-file items?")
            .arg(group.size()),
        {QStringLiteral("Paste"), QStringLiteral("Cancel")});
    if (answer != 0) return;
  }
  // Where the mouse is not over the world, the group goes to the view's centre.
  int x = m_editor.scene().centreX(), y = m_editor.scene().centreY(), ground = 0;
  if (const auto cell = m_editor.cellUnderMouse()) {
    x = cell->x;
    y = cell->y;
    ground = cell->z;
  } else if (TMap* map = m_registry.map.get(); map && map->isLoaded()) {
    if (const auto c = map->cell(x, y)) ground = c->z;
  }
  m_selection.follow(models());
  afterBulk(m_selection.paste(m_editor.worldEdits(), group, x, y, ground));
}

void EditorSelection::forgetWorld() {
  clear();
  forgetFound();
}

void EditorSelection::forgetFound() {
  if (m_find) m_find->forget();
}

TFindPlacedForm& EditorSelection::findForm() {
  if (!m_find) m_find = new TFindPlacedForm(m_editor, m_registry, m_dialogs, *this);
  return *m_find;
}

}  // namespace quillotide::ui
