#pragma once
// The art choosers of the two tool windows: a window over the art grid of one kind. Its opener
// sets the requested id before showing it; showing it selects that id's cell. A double-click on an
// existing slot hides the chooser and reports the id through idChosen.

#include <QWidget>

#include "ui/editor/ArtGrid.h"

class QScrollArea;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class ArtChooser : public QWidget {
  Q_OBJECT
public:
  ArtGrid* grid() const { return m_grid; }
  QScrollArea* scrollArea() const { return m_scroll; }
  int requestedId() const { return m_requestedId; }
  // The cell selected when the chooser is shown next.
  void setRequestedId(int id) { m_requestedId = id; }

signals:
  // The id chosen by a double-click; the opener makes it its current id, redraws its picture and
  // pushes it onto its history.
  void idChosen(int id);

protected:
  ArtChooser(const Registry& registry, ArtGrid::Kind kind, const QString& name,
             const QString& caption, const QString& gridName, QWidget* parent);
  void showEvent(QShowEvent* event) override;

private:
  ArtGrid* m_grid;
  QScrollArea* m_scroll;
  int m_requestedId = 0;
};

}  // namespace quillotide::ui
