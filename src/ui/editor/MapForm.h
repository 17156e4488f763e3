#pragma once
// TMapForm "Map": the map overview, one pixel per 16 x 16 cells of the world. The picture is the
// map's overview as it was when the window was shown. A press on it, or "Go" (or Enter anywhere
// in the window) with the position in "X:" and "Y:", asks for the world editor's view centre
// through viewCentreRequested. A position pasted or typed into "X:" as "x,y" is split over both
// fields.

#include <QWidget>

class QLineEdit;
class QPushButton;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;
class PictureView;

class TMapForm : public QWidget {
  Q_OBJECT
public:
  static constexpr int kCellsPerPixel = 16;

  TMapForm(const Registry& registry, Dialogs& dialogs, QWidget* parent = nullptr);

  PictureView* picture() const { return m_picture; }

signals:
  // The world position to centre the editor's view on (the editor's SetViewCentre).
  void viewCentreRequested(int x, int y);

protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  void go();
  void splitPosition(const QString& text);

  const Registry& m_registry;
  Dialogs& m_dialogs;
  PictureView* m_picture;
  QLineEdit* m_x;
  QLineEdit* m_y;
  QPushButton* m_go;
};

}  // namespace quillotide::ui
