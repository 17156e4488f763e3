#include "ui/main/FeaturesPage.h"

#include <QScrollArea>
#include <QVBoxLayout>

#include "ui/main/FeaturesSlotTools.h"
#include "ui/main/MainForm.h"

namespace quillotide::ui {

FeaturesPage::FeaturesPage(TMainForm& main, QWidget* parent) : QWidget(parent) {
  auto* scroll = new QScrollArea(this);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  auto* content = new QWidget(scroll);
  auto* tools = new QVBoxLayout(content);
  tools->addWidget(new FeaturesSlotTools(main, content));
  tools->addStretch(1);
  scroll->setWidget(content);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(scroll);
}

}  // namespace quillotide::ui
