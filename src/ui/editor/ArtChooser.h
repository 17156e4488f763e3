#pragma once
// The art choosers of the two tool windows: a window over the art grid of one kind. Its opener
// sets the requested id before showing it; showing it selects that id's cell. A double-click on an
// existing slot, or Enter on the selected one, hides the chooser and reports the id through
// idChosen.
//
// Above the grid, "Filter:" shows only the ids it takes as the user types (an id, a range "A-B" or
// a part of the tile data name: "wall", "roof"), and "Go to:" selects a typed id on Enter, showing
// every id again when the filter hides it; an id outside the grid's range is refused there with
// the range. The arrows, Page Up/Down and Enter typed in the filter move and choose in the grid.

#include <QWidget>

#include "ui/editor/ArtGrid.h"

class QLineEdit;
class QScrollArea;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;

class ArtChooser : public QWidget {
  Q_OBJECT
public:
  ArtGrid* grid() const { return m_grid; }
  QScrollArea* scrollArea() const { return m_scroll; }
  QLineEdit* filterField() const { return m_filter; }
  QLineEdit* goToField() const { return m_goTo; }
  int requestedId() const { return m_requestedId; }
  // The cell selected when the chooser is shown next.
  void setRequestedId(int id) { m_requestedId = id; }

signals:
  // The id chosen by a double-click or Enter; the opener makes it its current id, redraws its
  // picture and pushes it onto its history.
  void idChosen(int id);

protected:
  ArtChooser(const Registry& registry, Dialogs& dialogs, ArtGrid::Kind kind, const QString& name,
             const QString& caption, const QString& gridName, QWidget* parent);
  void showEvent(QShowEvent* event) override;

private:
  void goTo();

  Dialogs& m_dialogs;
  ArtGrid* m_grid;
  QScrollArea* m_scroll;
  QLineEdit* m_filter;
  QLineEdit* m_goTo;
  int m_requestedId = 0;
};

}  // namespace quillotide::ui
