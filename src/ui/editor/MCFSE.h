#pragma once
// TMCFSE "Maptiles": the land art chooser of the map tool. The map tool sets the requested id
// before showing it; showing it selects that id's cell. A double-click on an existing land tile
// hides the chooser and reports the id through idChosen.

#include <QWidget>

class QScrollArea;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class ArtGrid;

class TMCFSE : public QWidget {
  Q_OBJECT
public:
  explicit TMCFSE(const Registry& registry, QWidget* parent = nullptr);

  ArtGrid* grid() const { return m_grid; }
  QScrollArea* scrollArea() const { return m_scroll; }
  int requestedId() const { return m_requestedId; }
  // The cell selected when the chooser is shown next.
  void setRequestedId(int id) { m_requestedId = id; }

signals:
  // The land tile id chosen by a double-click. The map tool makes it its current id, redraws its
  // picture and pushes it onto its history.
  void idChosen(int id);

protected:
  void showEvent(QShowEvent* event) override;

private:
  ArtGrid* m_grid;
  QScrollArea* m_scroll;
  int m_requestedId = 0;
};

}  // namespace quillotide::ui
