#pragma once
// The "Features" page: the batch tools that work on whole files, composed from their own widgets
// (the world tools with the world editor button, the slot file tools, the cliloc merge) in one
// scroll area, so that all of them fit the window.

#include <QWidget>

namespace quillotide::ui {

class TMainForm;

class FeaturesPage : public QWidget {
  Q_OBJECT
public:
  explicit FeaturesPage(TMainForm& main, QWidget* parent = nullptr);
};

}  // namespace quillotide::ui
