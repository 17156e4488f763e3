#pragma once
// The world editor's "Select" tool (EditorTool 0, what a click does when no other tool is
// chosen) and what is done with a selection: a click selects an item, Ctrl+click adds or removes
// one, Shift+drag selects every item whose picture the rubber band touches (Ctrl+Shift adds
// them), Esc clears. Selected items are drawn with a cold tint, the item under the mouse in the
// selection hue, so the two never look alike.
//
// On a selection the static tool's "Delete Item", "Change Color", "Set Id", move, raise and lower
// buttons act at once on every selected item, as do Ctrl+arrows (a move step), Page Up and Page
// Down (an altitude step) and Delete; "Copy" (Ctrl+C) puts the selection on the clipboard as
// plain world-file text and "Paste" (Ctrl+V) places the clipboard's group on the cell under the
// mouse as new world-file items (a group of more than 5000 only once the user agrees; ids above
// 0x3FFF are refused with their line). Each is one undo step; items an edit would put outside the world
// are left out and counted in one message. "Find placed..." (Ctrl+F) lists items by id, range or
// name.

#include <QObject>
#include <QPoint>

#include "world/Selection.h"

class QRubberBand;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;
class TFindPlacedForm;
class TSEditorForm;

class EditorSelection : public QObject {
  Q_OBJECT
public:
  EditorSelection(TSEditorForm& editor, Registry& registry, Dialogs& dialogs);

  Selection& selection() { return m_selection; }
  bool holds(const TItem& item) const { return m_selection.contains(item); }

  // The left button of the Select tool; press returns false (and does nothing) for other tools.
  bool press(QPoint at, Qt::KeyboardModifiers modifiers);
  void moved(QPoint at);
  void release(QPoint at);
  // Esc: nothing selected any more.
  void clear();
  // The world was replaced: nothing selected, and the items found before are forgotten.
  void forgetWorld();
  // The statics were numbered afresh (a save): the items found before are forgotten.
  void forgetFound();
  // Selects only this item (a static of a block not read yet is found on its cell first) and
  // shows it tinted. False when the world holds no such item.
  bool selectOnly(const TItem& item);

  // With items selected, the edit of a static tool button (2, 4, 5, 7 to 16) acts on all of them
  // at once; true when it did (the tool is then not chosen).
  bool applyTool(int tool);
  void copy();
  void paste();
  TFindPlacedForm& findForm();

private:
  WorldModels models() const;
  void addEditActions();
  // The selected flags of the drawn copies follow the selection (the hovered item keeps its
  // highlight), and the view draws them.
  void remark();
  void finishBand(QPoint at);
  // Runs a bulk edit, then redraws, names its step and tells what was left out.
  void afterBulk(const BulkResult& result);

  TSEditorForm& m_editor;
  Registry& m_registry;
  Dialogs& m_dialogs;
  Selection m_selection;
  QRubberBand* m_band = nullptr;
  QPoint m_bandFrom;
  bool m_bandAdds = false;
  bool m_banding = false;
  TFindPlacedForm* m_find = nullptr;
};

}  // namespace quillotide::ui
