#pragma once
// TAboutForm: the about window opened by "About..." on the Settings page.

#include <QDialog>

namespace quillotide::ui {

class TAboutForm : public QDialog {
  Q_OBJECT
public:
  explicit TAboutForm(QWidget* parent = nullptr);
};

}  // namespace quillotide::ui
