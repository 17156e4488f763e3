#include "ui/editor/MapForm.h"

#include <algorithm>
#include <cmath>

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Text.h"
#include "models/Radarcol.h"
#include "registry/Registry.h"
#include "ui/platform/Dialogs.h"
#include "world/Map.h"

namespace quillotide::ui {

namespace {

QImage imageOf(const Bitmap32& picture) {
  QImage image(picture.width, picture.height, QImage::Format_RGB32);
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x) image.setPixel(x, y, picture.at(x, y) | 0xFF000000u);
  return image;
}

}  // namespace

MinimapView::MinimapView(QWidget* parent) : QWidget(parent) {
  setMinimumSize(64, 64);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void MinimapView::setWorld(QImage picture, int worldWidth, int worldHeight) {
  m_picture = std::move(picture);
  m_worldW = worldWidth;
  m_worldH = worldHeight;
  update();
}

void MinimapView::setView(const std::array<CellPos, 4>& corners) {
  m_view = corners;
  m_hasView = true;
  update();
}

QRectF MinimapView::worldRect() const {
  if (m_worldW <= 0 || m_worldH <= 0) return {};
  const double scale = std::min(width() / double(m_worldW), height() / double(m_worldH));
  const double w = m_worldW * scale;
  const double h = m_worldH * scale;
  return {(width() - w) / 2, (height() - h) / 2, w, h};
}

CellPos MinimapView::cellAt(QPointF p) const {
  const QRectF r = worldRect();
  if (r.isEmpty()) return {};
  // A mouse position names a pixel; its middle decides the cell.
  const int x = static_cast<int>(std::floor((p.x() + 0.5 - r.left()) / r.width() * m_worldW));
  const int y = static_cast<int>(std::floor((p.y() + 0.5 - r.top()) / r.height() * m_worldH));
  return {std::clamp(x, 0, m_worldW - 1), std::clamp(y, 0, m_worldH - 1)};
}

QPoint MinimapView::pointOf(CellPos cell) const {
  const QRectF r = worldRect();
  if (r.isEmpty()) return {};
  return {static_cast<int>(std::floor(r.left() + (cell.x + 0.5) * r.width() / m_worldW)),
          static_cast<int>(std::floor(r.top() + (cell.y + 0.5) * r.height() / m_worldH))};
}

void MinimapView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  const QRectF r = worldRect();
  if (r.isEmpty()) return;
  // Nearest pixels: every cell keeps its radar colour, however far the picture is scaled.
  painter.drawImage(r, m_picture);
  if (!m_hasView) return;
  QPolygonF outline;
  for (const CellPos& c : m_view) outline << pointOf(c);
  painter.setPen(QPen(kViewColour, 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawPolygon(outline);
}

void MinimapView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || worldRect().isEmpty()) return;
  const CellPos c = cellAt(event->position());
  emit cellChosen(c.x, c.y);
}

void MinimapView::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton) || worldRect().isEmpty()) return;
  const CellPos c = cellAt(event->position());
  emit cellChosen(c.x, c.y);
}

TMapForm::TMapForm(const Registry& registry, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_registry(registry),
      m_dialogs(dialogs),
      m_picture(new MinimapView(this)),
      m_x(new QLineEdit(this)),
      m_y(new QLineEdit(this)),
      m_go(new QPushButton(QStringLiteral("Go"), this)) {
  setObjectName(QStringLiteral("MapForm"));
  setWindowTitle(QStringLiteral("Map"));
  m_picture->setObjectName(QStringLiteral("iMap"));
  m_x->setObjectName(QStringLiteral("eX"));
  m_y->setObjectName(QStringLiteral("eY"));
  m_go->setObjectName(QStringLiteral("btnGo"));

  connect(m_picture, &MinimapView::cellChosen, this, &TMapForm::viewCentreRequested);
  connect(m_go, &QPushButton::clicked, this, [this] { runAction(m_dialogs, [this] { go(); }); });
  connect(m_x, &QLineEdit::textChanged, this, &TMapForm::splitPosition);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_picture, 1);
  auto* fields = new QHBoxLayout;
  fields->addWidget(new QLabel(QStringLiteral("X:"), this));
  fields->addWidget(m_x);
  fields->addWidget(new QLabel(QStringLiteral("Y:"), this));
  fields->addWidget(m_y);
  fields->addWidget(m_go);
  layout->addLayout(fields);
}

void TMapForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  takePicture();
}

void TMapForm::takePicture() {
  TMap* map = m_registry.map.get();
  if (!map || !map->isLoaded()) {
    m_picture->setWorld({}, 0, 0);
    return;
  }
  const int w = map->width();
  const int h = map->height();
  const TRadarcol* radar = m_registry.radarcol.get();
  if (std::int64_t(w) * h <= kCellByCellLimit && radar && radar->isLoaded()) {
    // A small world is worth its every cell: the map's overview would show it as a few pixels.
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
      auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
      for (int x = 0; x < w; ++x) {
        const auto cell = map->cell(x, y);
        line[x] = (cell ? colour16ToPixel(radar->landColour(cell->tileId)) : 0u) | 0xFF000000u;
      }
    }
    m_picture->setWorld(std::move(image), w, h);
    return;
  }
  m_picture->setWorld(imageOf(map->overviewPicture()), w, h);
}

void TMapForm::keyPressEvent(QKeyEvent* event) {
  // The fields and the button pass Enter on to the window, so it works from any of them.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    runAction(m_dialogs, [this] { go(); });
    return;
  }
  QWidget::keyPressEvent(event);
}

void TMapForm::go() {
  const std::int32_t x = parseInt(m_x->text().toStdString());
  const std::int32_t y = parseInt(m_y->text().toStdString());
  emit viewCentreRequested(x, y);
}

void TMapForm::splitPosition(const QString& text) {
  if (!text.contains(QLatin1Char(','))) return;
  const QStringList pieces = text.split(QLatin1Char(','));
  // Setting "X:" again runs this once more, on a text without a comma.
  m_x->setText(pieces.value(0));
  m_y->setText(pieces.value(1));
  // Typing goes on in "Y:", so "x,y" typed key by key ends where a pasted one does.
  if (m_x->hasFocus()) {
    m_y->setFocus();
    m_y->end(false);
  }
}

}  // namespace quillotide::ui
