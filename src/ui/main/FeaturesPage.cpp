#include "ui/main/FeaturesPage.h"

#include <QBoxLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "ui/editor/DiffForm.h"
#include "ui/editor/SEditorForm.h"
#include "ui/main/ClilocMerge.h"
#include "ui/main/FeaturesSlotTools.h"
#include "ui/main/FeaturesWorldTools.h"
#include "ui/main/MainForm.h"

namespace quillotide::ui {

FeaturesPage::FeaturesPage(TMainForm& main, QWidget* parent) : QWidget(parent) {
  auto* scroll = new QScrollArea(this);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  auto* content = new QWidget(scroll);
  auto* tools = new QVBoxLayout(content);
  auto* world = new FeaturesWorldTools(main, content);
  auto* editor = new QPushButton(QStringLiteral("Worldeditor"), world);
  editor->setObjectName(QStringLiteral("btnActivateEditor"));
  connect(editor, &QPushButton::clicked, this, [&main] { TSEditorForm::open(main); });
  auto* diffTool = new QPushButton(QStringLiteral("Diff Tool"), world);
  diffTool->setObjectName(QStringLiteral("btnStatDiffTool"));
  connect(diffTool, &QPushButton::clicked, this, [&main] { showDiffTool(main); });
  world->worldButtonRow()->addWidget(editor);
  world->worldButtonRow()->addWidget(diffTool);
  tools->addWidget(world);
  tools->addWidget(new FeaturesSlotTools(main, content));
  tools->addWidget(createClilocMergeButton(main, content), 0, Qt::AlignLeft);
  tools->addStretch(1);
  scroll->setWidget(content);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(scroll);
}

}  // namespace quillotide::ui
