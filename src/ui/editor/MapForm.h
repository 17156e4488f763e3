#pragma once
// TMapForm "Map": the world overview as a minimap. The whole world is scaled to the window (kept
// in proportion) and the editor's view is drawn on it as the outline of what the window shows;
// it follows every move of the view. A press or a drag on the picture, or "Go" (or Enter
// anywhere in the window) with the position in "X:" and "Y:", asks for the world editor's view
// centre through viewCentreRequested. A position pasted or typed into "X:" as "x,y" is split over
// both fields. The picture is the map as it was when the window was shown.

#include <array>

#include <QImage>
#include <QWidget>

#include "world/EditorScene.h"

class QLineEdit;
class QPushButton;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;

// The picture of the minimap: the world's radar colours scaled into the widget, and the view's
// outline over them.
class MinimapView : public QWidget {
  Q_OBJECT
public:
  static inline const QColor kViewColour = QColor(255, 255, 0);

  explicit MinimapView(QWidget* parent = nullptr);

  // The picture of the whole worldWidth x worldHeight world, at any resolution.
  void setWorld(QImage picture, int worldWidth, int worldHeight);
  // The cells at the view window's corners.
  void setView(const std::array<CellPos, 4>& corners);
  // Where the world lies in the widget.
  QRectF worldRect() const;
  // The cell under a widget pixel (clamped to the world), and the pixel at a cell's middle.
  CellPos cellAt(QPointF p) const;
  QPoint pointOf(CellPos cell) const;
  int worldWidth() const { return m_worldW; }
  int worldHeight() const { return m_worldH; }

  QSize sizeHint() const override { return {384, 256}; }

signals:
  // A press or a drag with the left button on the world.
  void cellChosen(int x, int y);

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

private:
  QImage m_picture;
  int m_worldW = 0;
  int m_worldH = 0;
  std::array<CellPos, 4> m_view{};
  bool m_hasView = false;
};

class TMapForm : public QWidget {
  Q_OBJECT
public:
  // Worlds of at most this many cells are drawn cell by cell; larger ones from the map's own
  // overview of one pixel per 16 x 16 cells.
  static constexpr int kCellByCellLimit = 1024 * 1024;

  TMapForm(const Registry& registry, Dialogs& dialogs, QWidget* parent = nullptr);

  MinimapView* picture() const { return m_picture; }
  // The editor's view, as the cells at its window's corners.
  void setView(const std::array<CellPos, 4>& corners) { m_picture->setView(corners); }

signals:
  // The world position to centre the editor's view on (the editor's SetViewCentre).
  void viewCentreRequested(int x, int y);

protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  void go();
  void splitPosition(const QString& text);
  void takePicture();

  const Registry& m_registry;
  Dialogs& m_dialogs;
  MinimapView* m_picture;
  QLineEdit* m_x;
  QLineEdit* m_y;
  QPushButton* m_go;
};

}  // namespace quillotide::ui
