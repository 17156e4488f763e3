#include "ui/platform/GaugeForm.h"

#include <algorithm>

#include <QCoreApplication>
#include <QProgressBar>
#include <QVBoxLayout>

namespace quillotide::ui {

TgaugeForm::TgaugeForm(QWidget* parent) : QDialog(parent), m_bar(new QProgressBar(this)) {
  setObjectName(QStringLiteral("gaugeForm"));
  setWindowTitle(QStringLiteral("Fortschritt"));
  m_bar->setObjectName(QStringLiteral("pbGauge"));
  m_bar->setRange(0, 100);
  m_bar->setOrientation(Qt::Horizontal);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_bar);
  resize(360, 60);
}

void TgaugeForm::start() {
  m_bar->setValue(0);
  show();
  QCoreApplication::processEvents();
}

void TgaugeForm::step(int percent) {
  m_bar->setValue(std::clamp(percent, 0, 100));
  QCoreApplication::processEvents();
}

void TgaugeForm::finish() { hide(); }

int TgaugeForm::value() const { return m_bar->value(); }

}  // namespace quillotide::ui
