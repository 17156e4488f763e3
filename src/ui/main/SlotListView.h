#pragma once
// The slot list of a page: the list of slot labels, the filter box under it and the search field.
// The list holds slot numbers only and draws just the lines in view, so a list of 50 000 slots
// builds and scrolls at once. The page supplies the range, the labels and the model queries, and
// reacts to slotActivated (a line chosen by click, keys or search) and to its pop-up menu.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QAbstractListModel>
#include <QColor>
#include <QStyledItemDelegate>
#include <QWidget>

#include "app/SlotList.h"

class QComboBox;
class QLineEdit;
class QListView;
class QMenu;
class QPushButton;

namespace quillotide::ui {

class Dialogs;

// The slot numbers of a list, shown through their labels.
class SlotListModel : public QAbstractListModel {
  Q_OBJECT
public:
  static constexpr int kSlotRole = Qt::UserRole + 1;
  using Labeler = std::function<std::string(std::int32_t)>;

  explicit SlotListModel(QObject* parent = nullptr);
  void setLabeler(Labeler labeler);
  void setSlotNumbers(std::vector<std::int32_t> numbers);
  const std::vector<std::int32_t>& slotNumbers() const { return m_slots; }
  std::string label(int line) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
  std::vector<std::int32_t> m_slots;
  Labeler m_labeler;
};

class SlotListView;

// Whether text of this colour reads on the white ground of a line; a line whose own colour does
// not (the hue lists' light ramp colours) is drawn on a dark ground instead.
bool readableOnWhite(const QColor& text);

// Draws a line as the lists of the program do: white or navy ground, the label 10 pixels from
// the left in the colour of the slot's state.
class SlotLineDelegate : public QStyledItemDelegate {
  Q_OBJECT
public:
  explicit SlotLineDelegate(SlotListView& owner);
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
  SlotListView& m_owner;
};

class SlotListView : public QWidget {
  Q_OBJECT
public:
  struct Options {
    bool filterBox = true;  // the "All Slots"/"Empty Slots"/"Full Slots" box
    bool search = true;     // "Search:" field and "Search" button
    bool ownerDraw = true;  // coloured lines; plain lines otherwise
  };
  using Range = std::pair<std::int32_t, std::int32_t>;  // first and last slot, both included

  SlotListView(SlotSearch& searchState, Dialogs& dialogs, Options options,
               QWidget* parent = nullptr);

  // Object names of the parts, after the page's component names (lbArtS, cbArtSFilter, ...).
  void setNames(const QString& list, const QString& filter, const QString& searchField,
                const QString& searchButton);

  // The slots listed under a filter (the gump list's range depends on it).
  void setRange(std::function<Range(SlotFilter)> range);
  void setLabeler(SlotListModel::Labeler labeler);
  // The model query that tells a full slot from an empty one.
  void setFullQuery(std::function<bool(std::int32_t)> full);
  // The verdata check of the page; with countsAsFull a patched slot passes "Full Slots".
  void setPatchQuery(std::function<bool(std::int32_t)> patched, bool countsAsFull = false);
  // Lines take this colour instead of the full/empty colours (the hue lists).
  void setTextColour(std::function<QColor(std::int32_t)> colour);
  // Opened at the mouse on a right click, only when a line is selected. Not owned.
  void setPopupMenu(QMenu* menu) { m_menu = menu; }

  // After a load: fills the filter box, selects "All Slots" and rebuilds.
  void resetFilter();
  // Builds the lines of the current filter; the selection is cleared.
  void rebuild();
  SlotFilter filter() const;

  int lineCount() const;
  std::int32_t slotAt(int line) const;
  int selectedLine() const;
  std::optional<std::int32_t> selectedSlot() const;
  // Selects the line, scrolls it into view and runs the page's click action.
  void selectLine(int line);
  // Runs the search with the field's text, as "Search" and Enter do.
  void search();

  // The state that decides a line's colours; asked only for lines being drawn.
  LineState lineState(int line, bool selected) const;
  std::optional<QColor> customTextColour(int line) const;

  QListView* listView() const { return m_list; }
  QComboBox* filterBox() const { return m_filter; }
  QLineEdit* searchField() const { return m_searchField; }
  QPushButton* searchButton() const { return m_searchButton; }
  SlotListModel* model() const { return m_model; }

signals:
  // A line was chosen: clicked, reached by keys, or found by the search.
  void slotActivated(std::int32_t slot);
  // No line is selected any more: the list was rebuilt (a filter change, a load) or the line was
  // deselected. What the page showed for the old line no longer belongs to any line.
  void selectionCleared();
  // A right click with a line selected, at the mouse position on the screen.
  void popupRequested(const QPoint& globalPos, std::int32_t slot);

private:
  void onSelectionChanged();
  void onContextMenu(const QPoint& pos);

  SlotSearch& m_search;
  Dialogs& m_dialogs;
  Options m_options;
  int m_id;
  QListView* m_list;
  SlotListModel* m_model;
  QComboBox* m_filter = nullptr;
  QLineEdit* m_searchField = nullptr;
  QPushButton* m_searchButton = nullptr;
  QMenu* m_menu = nullptr;
  bool m_selecting = false;

  std::function<Range(SlotFilter)> m_range;
  std::function<bool(std::int32_t)> m_full;
  std::function<bool(std::int32_t)> m_patched;
  bool m_patchedCountsAsFull = false;
  std::function<QColor(std::int32_t)> m_textColour;
};

}  // namespace quillotide::ui
