#include "ui/editor/StaticChooseForm.h"

#include <algorithm>

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "app/Registry.h"
#include "ui/platform/ImageBridge.h"

namespace quillotide::ui {

namespace {

constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kBlue = 0xFF0000FF;
constexpr QRgb kGridLine = 0xFF808080;

int idAt(QPoint pos) {
  if (pos.x() < 0 || pos.y() < 0) return -1;
  const int c = pos.x() / TStaticChooseForm::kPitch;
  const int r = pos.y() / TStaticChooseForm::kPitch;
  if (c >= TStaticChooseForm::kColumns || r >= TStaticChooseForm::kRows) return -1;
  return r * TStaticChooseForm::kColumns + c;
}

}  // namespace

// The drawn grid: only the cells in view are drawn, so 16 392 cells cost nothing until seen.
class StaticChooseGrid : public QWidget {
public:
  explicit StaticChooseGrid(TStaticChooseForm& form) : QWidget(&form), m_form(form) {
    setObjectName(QStringLiteral("dgStatics"));
    setFixedSize(TStaticChooseForm::kColumns * TStaticChooseForm::kPitch,
                 TStaticChooseForm::kRows * TStaticChooseForm::kPitch);
  }

protected:
  void paintEvent(QPaintEvent* event) override {
    QPainter painter(this);
    const QRect area = event->rect();
    painter.fillRect(area, QColor::fromRgb(kGridLine));
    const int firstRow = std::max(0, area.top() / TStaticChooseForm::kPitch);
    const int lastRow =
        std::min(TStaticChooseForm::kRows - 1, area.bottom() / TStaticChooseForm::kPitch);
    for (int r = firstRow; r <= lastRow; ++r)
      for (int c = 0; c < TStaticChooseForm::kColumns; ++c) {
        const int id = r * TStaticChooseForm::kColumns + c;
        painter.drawImage(TStaticChooseForm::cellRect(id).topLeft(),
                          m_form.cellImage(id, id == m_form.selectedId()));
      }
  }
  void mousePressEvent(QMouseEvent* event) override {
    const int id = idAt(event->position().toPoint());
    if (id >= 0) m_form.selectCell(id);
  }
  void mouseDoubleClickEvent(QMouseEvent* event) override {
    const int id = idAt(event->position().toPoint());
    if (id >= 0) m_form.activateCell(id);
  }

private:
  TStaticChooseForm& m_form;
};

TStaticChooseForm::TStaticChooseForm(Registry& registry, QWidget* parent)
    : QWidget(parent, Qt::Window), m_registry(registry), m_scroll(new QScrollArea(this)) {
  setObjectName(QStringLiteral("StaticChooseForm"));
  setWindowTitle(QStringLiteral("Statics"));
  m_grid = new StaticChooseGrid(*this);
  m_scroll->setWidget(m_grid);
  m_scroll->setObjectName(QStringLiteral("sbStatics"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_scroll);
  resize(kColumns * kPitch + 30, 480);
}

QWidget* TStaticChooseForm::grid() const { return m_grid; }

QRect TStaticChooseForm::cellRect(int id) {
  return {(id % kColumns) * kPitch, (id / kColumns) * kPitch, kCell, kCell};
}

QImage TStaticChooseForm::cellImage(int id, bool selected) const {
  const QRgb ground = selected ? kBlue : kWhite;
  QImage cell(kCell, kCell, QImage::Format_ARGB32);
  cell.fill(ground);
  const TArt& art = *m_registry.art;
  if (id < 0 || id > kLastId || !art.isLoaded() || !art.staticExists(id)) return cell;
  Bitmap32 picture;
  try {
    picture = art.staticPicture(id);
  } catch (const std::exception&) {
    // A damaged static is one blank cell; the grid goes on.
    return cell;
  }
  const int dx = (picture.width - kCell) / 2;
  const int dy = (picture.height - kCell) / 2;
  for (int y = 0; y < kCell; ++y)
    for (int x = 0; x < kCell; ++x) {
      const int sx = x + dx, sy = y + dy;
      if (sx < 0 || sy < 0 || sx >= picture.width || sy >= picture.height) continue;
      const Pixel p = picture.at(sx, sy);
      const std::uint32_t rgb = p & 0xFFFFFFu;
      if (rgb == 0 || rgb == 0xFFFFFFu) continue;
      cell.setPixel(x, y, 0xFF000000u | rgb);
    }
  return cell;
}

void TStaticChooseForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  selectCell(std::clamp(m_requested, 0, kColumns * kRows - 1));
  const QRect cell = cellRect(m_selected);
  m_scroll->ensureVisible(cell.center().x(), cell.center().y(), kPitch, kPitch * 2);
}

void TStaticChooseForm::selectCell(int id) {
  const int old = m_selected;
  m_selected = id;
  m_grid->update(cellRect(old));
  m_grid->update(cellRect(id));
}

void TStaticChooseForm::activateCell(int id) {
  selectCell(id);
  const TArt& art = *m_registry.art;
  if (id > kLastId || !art.isLoaded() || !art.staticExists(id)) return;
  hide();
  emit chosen(id);
}

}  // namespace quillotide::ui
