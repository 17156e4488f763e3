#pragma once
// The "Multi" page: slots 0 .. 0x1FF0 of the multi files (every slot a larger file holds), the
// selected multi assembled from the static art in a scroll area, its components, the component
// layout with a button converting it to the other one, and a pop-up menu with the four text
// exports, the four imports and delete.

#include <cstdint>

#include <QWidget>

#include "models/Multi.h"

class QLabel;
class QListWidget;
class QMenu;
class QPushButton;
class QScrollArea;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;
class SlotListView;
class TMainForm;

class MultiPage : public QWidget {
  Q_OBJECT
public:
  MultiPage(TMainForm& main, QWidget* parent = nullptr);

  static constexpr int kEmptySide = 100;

  SlotListView* list() const { return m_list; }
  QMenu* popupMenu() const { return m_menu; }
  // The picture area: the multi's picture, or an empty 100 x 100 area.
  QLabel* picture() const { return m_picture; }
  // The selected multi's components, one line each: id, offsets, flags and cliloc numbers; for a
  // container entry that cannot be read, one line saying so.
  QListWidget* components() const { return m_components; }
  // The component layout of the loaded multis and how it was told.
  QLabel* layoutLabel() const { return m_layout; }

private:
  void showSlot(std::int32_t slot);
  void showEmpty();
  void addEntry(const QString& name, const QString& caption,
                const std::function<void(std::int32_t)>& action);
  void exportText(std::int32_t slot, MultiTextFormat format, const QString& caption);
  void importText(std::int32_t slot, MultiTextFormat format, const QString& caption);
  void refresh();
  void showLayout();
  void convertLayout();

  Registry& m_registry;
  Dialogs& m_dialogs;
  SlotListView* m_list;
  QScrollArea* m_scroll;
  QLabel* m_picture;
  QListWidget* m_components;
  QLabel* m_layout;
  QPushButton* m_convert;
  QMenu* m_menu;
};

// The text shown when a "Save to ..." entry is chosen on an empty slot, or before the files are
// loaded.
QString emptyMultiSaveMessage(std::int32_t slot, bool loaded);
// One line of the component list: "0x3E85  1, -4, 6  flags 0x101  clilocs 1041205, 1041206", the
// flags as the form read stores them, a 16-byte component's further value when it is not 0
// ("flags 0x0  further 0x1").
QString multiComponentLine(const MultiComponent& component, const TMulti& multis);

}  // namespace quillotide::ui
