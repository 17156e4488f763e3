#pragma once
// TFindPlacedForm, "Find placed": lists every static, world-file item and static-diff item of a
// tile id, a range of ids "A-B" or a part of the tile data name, in the loaded world as it stands
// now, one line each with its position and colour. A double-click or Enter on a line centres the
// editor on the item and selects it; the keys typed into the window's field and list act there.

#include <vector>

#include <QWidget>

#include "world/Item.h"

class QLabel;
class QLineEdit;
class QListView;
class QStringListModel;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;
class EditorSelection;
class TSEditorForm;

class TFindPlacedForm : public QWidget {
  Q_OBJECT
public:
  TFindPlacedForm(TSEditorForm& editor, Registry& registry, Dialogs& dialogs,
                  EditorSelection& selection);

  // The items of the last search, in the order listed.
  const std::vector<TItem>& found() const { return m_found; }
  // "0x%X  x,y,z  Color: 0x%X  (owner)", as a line of the list shows the item.
  static QString lineOf(const TItem& item);
  // The world was replaced: the items found name nothing any more.
  void forget();

private:
  void find();
  void goTo(int row);

  TSEditorForm& m_editor;
  Registry& m_registry;
  Dialogs& m_dialogs;
  EditorSelection& m_selection;
  QLineEdit* m_eFind;
  QListView* m_lbFound;
  QStringListModel* m_lines;
  QLabel* m_lFound;
  std::vector<TItem> m_found;
};

}  // namespace quillotide::ui
