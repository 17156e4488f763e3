#pragma once
// TgaugeForm: the progress window "Fortschritt" with one bar 0-100. Long operations report to it
// through quillotide::Progress; each step lets pending window events run so the windows repaint.

#include <QDialog>

#include "app/Progress.h"

class QProgressBar;

namespace quillotide::ui {

class TgaugeForm : public QDialog, public Progress {
  Q_OBJECT
public:
  explicit TgaugeForm(QWidget* parent = nullptr);

  // Shows the window with the bar at 0.
  void start() override;
  // Sets the bar (clamped to 0..100), then processes pending window events.
  void step(int percent) override;
  // Hides the window.
  void finish() override;

  int value() const;

private:
  QProgressBar* m_bar;
};

}  // namespace quillotide::ui
