#include "ui/editor/MapForm.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "registry/Registry.h"
#include "app/Text.h"
#include "ui/main/PictureView.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

namespace {
constexpr int kOverviewWidth = 384;
constexpr int kOverviewHeight = 256;
}  // namespace

TMapForm::TMapForm(const Registry& registry, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_registry(registry),
      m_dialogs(dialogs),
      m_picture(new PictureView(QSize(kOverviewWidth, kOverviewHeight), this)),
      m_x(new QLineEdit(this)),
      m_y(new QLineEdit(this)),
      m_go(new QPushButton(QStringLiteral("Go"), this)) {
  setObjectName(QStringLiteral("MapForm"));
  setWindowTitle(QStringLiteral("Map"));
  m_picture->setObjectName(QStringLiteral("iMap"));
  m_x->setObjectName(QStringLiteral("eX"));
  m_y->setObjectName(QStringLiteral("eY"));
  m_go->setObjectName(QStringLiteral("btnGo"));

  connect(m_picture, &PictureView::mousePressed, this, [this](Qt::MouseButton, QPoint pos) {
    emit viewCentreRequested(pos.x() * kCellsPerPixel, pos.y() * kCellsPerPixel);
  });
  connect(m_go, &QPushButton::clicked, this, [this] { runAction(m_dialogs, [this] { go(); }); });
  connect(m_x, &QLineEdit::textChanged, this, &TMapForm::splitPosition);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_picture, 0, Qt::AlignLeft);
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
  m_picture->clear();
  m_picture->draw(m_registry.map->overviewPicture(), 0, 0);
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
