#include "ui/editor/StaticDiffForm.h"

#include <QVBoxLayout>

#include "registry/Registry.h"
#include "ui/main/PictureView.h"

namespace quillotide::ui {

TStaticDiffForm::TStaticDiffForm(const Registry& registry, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_registry(registry),
      m_picture(new PictureView(QSize(384, 256), this)) {
  setObjectName(QStringLiteral("StaticDiffForm"));
  setWindowTitle(QStringLiteral("StaticDiffs"));
  m_picture->setObjectName(QStringLiteral("iStaticDiffs"));
  connect(m_picture, &PictureView::mousePressed, this, [this](Qt::MouseButton, QPoint pos) {
    emit viewCentreRequested(pos.x() * kCellsPerPixel, pos.y() * kCellsPerPixel);
  });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_picture, 0, Qt::AlignLeft | Qt::AlignTop);
}

void TStaticDiffForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  m_picture->clear();
  m_picture->draw(m_registry.staticDiff->blockPicture(), 0, 0);
}

}  // namespace quillotide::ui
