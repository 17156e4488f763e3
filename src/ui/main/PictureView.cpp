#include "ui/main/PictureView.h"

#include <QMouseEvent>
#include <QPainter>

#include "ui/platform/ImageBridge.h"

namespace quillotide::ui {

PictureView::PictureView(QSize size, QWidget* parent)
    : QWidget(parent), m_canvas(size, QImage::Format_ARGB32) {
  setFixedSize(size);
  clear();
}

void PictureView::clear() {
  m_canvas.fill(kBackground);
  update();
}

void PictureView::draw(const Bitmap32& picture, int x, int y) {
  const QImage image = toQImage(picture);
  if (image.isNull()) return;
  QPainter painter(&m_canvas);
  painter.drawImage(x, y, image);
  painter.end();
  update();
}

void PictureView::fillRect(int left, int top, int right, int bottom, QColor colour) {
  if (right <= left || bottom <= top) return;
  QPainter painter(&m_canvas);
  painter.fillRect(QRect(left, top, right - left, bottom - top), colour);
  painter.end();
  update();
}

void PictureView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, m_canvas);
}

void PictureView::mousePressEvent(QMouseEvent* event) {
  emit mousePressed(event->button(), event->position().toPoint());
}

void PictureView::mouseMoveEvent(QMouseEvent* event) {
  emit mouseMoved(event->position().toPoint());
}

void PictureView::mouseReleaseEvent(QMouseEvent* event) {
  emit mouseReleased(event->button(), event->position().toPoint());
}

}  // namespace quillotide::ui
