#pragma once
// The picture of an image page: a canvas of fixed size that is cleared to the view's background
// before every drawing and keeps what was drawn until the next clear. Pages draw the selected
// slot into it; the canvas is what the user sees (and what tests read back). Mouse presses, moves
// and releases are passed on with the canvas position, for the hue page's ramp strips.

#include <QColor>
#include <QImage>
#include <QWidget>

#include "app/Colour.h"

namespace quillotide::ui {

class PictureView : public QWidget {
  Q_OBJECT
public:
  static inline const QColor kBackground = QColor(240, 240, 240);

  PictureView(QSize size, QWidget* parent = nullptr);

  // Fills the whole canvas with the background colour.
  void clear();
  // Draws the picture with its top-left corner at (x, y), blended over what is there (pixels of
  // alpha 0 leave the background); parts outside the canvas are cut off.
  void draw(const Bitmap32& picture, int x, int y);
  // Fills the rectangle from (left, top) up to, not including, (right, bottom).
  void fillRect(int left, int top, int right, int bottom, QColor colour);

  const QImage& canvas() const { return m_canvas; }
  QRgb pixelAt(int x, int y) const { return m_canvas.pixel(x, y); }

  QSize sizeHint() const override { return m_canvas.size(); }
  QSize minimumSizeHint() const override { return m_canvas.size(); }

signals:
  void mousePressed(Qt::MouseButton button, QPoint pos);
  void mouseMoved(QPoint pos);
  void mouseReleased(Qt::MouseButton button, QPoint pos);

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

private:
  QImage m_canvas;
};

// The top-left corner that centres a w x h picture in a view of the given side; the division
// truncates towards zero, as the program's integer division does.
constexpr int centredOffset(int side, int extent) { return (side - extent) / 2; }

}  // namespace quillotide::ui
