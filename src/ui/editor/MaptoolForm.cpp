#include "ui/editor/MaptoolForm.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/Error.h"
#include "registry/Registry.h"
#include "app/Text.h"
#include "models/Art.h"
#include "ui/editor/SEditorForm.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

TMaptoolForm::TMaptoolForm(TSEditorForm& editor, Registry& registry, Dialogs& dialogs)
    : QWidget(&editor, Qt::Tool), m_editor(editor), m_registry(registry), m_dialogs(dialogs) {
  setObjectName(QStringLiteral("MaptoolForm"));
  setWindowTitle(QStringLiteral("Maptool"));
  setAttribute(Qt::WA_ShowWithoutActivating);
  auto* layout = new QVBoxLayout(this);

  auto* idRow = new QHBoxLayout;
  auto* down = new QPushButton(QStringLiteral("<"), this);
  down->setObjectName(QStringLiteral("btnIdDown"));
  m_iPicture =
      new ToolPicture(kPictureSide, kPictureSide, QStringLiteral("DClick to Choose Item"), this);
  m_iPicture->setObjectName(QStringLiteral("iMapId"));
  auto* up = new QPushButton(QStringLiteral(">"), this);
  up->setObjectName(QStringLiteral("btnIdUp"));
  for (QPushButton* b : {down, up}) b->setFixedWidth(24);
  idRow->addWidget(down);
  idRow->addWidget(m_iPicture);
  idRow->addWidget(up);
  layout->addLayout(idRow);
  m_historyMenu = new HistoryMenu(QStringLiteral("MapIdHistory"), this);
  auto* stepper = new IdStepper(down, up, this);
  connect(stepper, &IdStepper::stepped, this,
          [this](bool upward) { setCurrentId(steppedId(m_id, upward)); });
  connect(m_iPicture, &ToolPicture::chooseRequested, this, [this] { emit chooserRequested(m_id); });
  connect(m_iPicture, &ToolPicture::historyRequested, this,
          [this](QPoint at) { m_historyMenu->popup(m_history, at); });
  connect(m_historyMenu, &HistoryMenu::chosen, this, [this](int id) { setCurrentId(id); });

  auto* cursorRow = new QHBoxLayout;
  for (int reach = 1; reach <= 4; ++reach) {
    const QString caption = QStringLiteral("%1x%1").arg(2 * reach - 1);
    auto* b = new QToolButton(this);
    b->setObjectName(QStringLiteral("btnCursor") + caption);
    b->setText(caption);
    b->setCheckable(true);
    b->setChecked(reach == 1);
    connect(b, &QToolButton::clicked, this, [this, reach] { chooseCursor(reach); });
    m_cursors.push_back(b);
    cursorRow->addWidget(b);
  }
  layout->addLayout(cursorRow);

  auto* tools = new QGridLayout;
  tools->addWidget(toolButton("btnGetId", "Get ID", "Get ID", 20), 0, 0);
  tools->addWidget(toolButton("btnSetId", "Set Id", "Set ID", 21), 0, 1);
  tools->addWidget(toolButton("btnUp", QString::fromUtf8("\u25B2"), "Raise", 22), 1, 0);
  tools->addWidget(toolButton("btnDown", QString::fromUtf8("\u25BC"), "Lower", 23), 1, 1);
  tools->addWidget(toolButton("btnSetZ", "Set Z", "Set Z", 24), 2, 0);
  tools->addWidget(toolButton("btnSetRandomZ", "Set Random Z", "Set Random Z", 25), 2, 1);
  layout->addLayout(tools);

  auto field = [this](const QString& name, const QString& text) {
    auto* e = new QLineEdit(text, this);
    e->setObjectName(name);
    return e;
  };
  m_eUpDown = field(QStringLiteral("eUpDown"), QStringLiteral("1"));
  m_eMin = field(QStringLiteral("eMin"), QString());
  m_eMax = field(QStringLiteral("eMax"), QString());
  m_eX = field(QStringLiteral("eX"), QString());
  m_eY = field(QStringLiteral("eY"), QString());
  auto* fields = new QGridLayout;
  fields->addWidget(m_eUpDown, 0, 0, 1, 4);
  fields->addWidget(new QLabel(QStringLiteral("Min:"), this), 1, 0);
  fields->addWidget(m_eMin, 1, 1);
  fields->addWidget(new QLabel(QStringLiteral("Max:"), this), 1, 2);
  fields->addWidget(m_eMax, 1, 3);
  fields->addWidget(new QLabel(QStringLiteral("X"), this), 2, 0);
  fields->addWidget(m_eX, 2, 1);
  fields->addWidget(new QLabel(QStringLiteral("Y"), this), 2, 2);
  fields->addWidget(m_eY, 2, 3);
  layout->addLayout(fields);
  auto* goButton = new QPushButton(QStringLiteral("Go"), this);
  goButton->setObjectName(QStringLiteral("btnGo"));
  goButton->setToolTip(QStringLiteral("Go to Position"));
  connect(goButton, &QPushButton::clicked, this,
          [this] { runAction(m_dialogs, [this] { go(); }); });
  layout->addWidget(goButton);
  redraw();
}

QToolButton* TMaptoolForm::toolButton(const QString& name, const QString& caption,
                                      const QString& hint, int tool) {
  QToolButton* b = makeToolButton(this, name, caption, hint, tool);
  connect(b, &QToolButton::clicked, this, [this, b, tool] { chooseTool(b, tool); });
  m_tools.push_back(b);
  return b;
}

void TMaptoolForm::chooseTool(QToolButton* button, int tool) {
  releaseOthers(m_tools, button);
  if (m_releaseStatic) m_releaseStatic();
  m_editor.setEditorTool(tool);
}

void TMaptoolForm::chooseCursor(int reach) {
  for (std::size_t i = 0; i < m_cursors.size(); ++i)
    m_cursors[i]->setChecked(static_cast<int>(i) + 1 == reach);
  m_editor.setCursorReach(reach, reach);
  if (m_releaseStatic) m_releaseStatic();
}

void TMaptoolForm::resetMapTool() {
  for (std::size_t i = 0; i < m_cursors.size(); ++i) m_cursors[i]->setChecked(i == 0);
  releaseToolButtons();
  m_editor.setCursorReach(1, 1);
}

void TMaptoolForm::releaseToolButtons() {
  for (QToolButton* b : m_tools) b->setChecked(false);
}

QString TMaptoolForm::upDownStep() const { return m_eUpDown->text(); }
QString TMaptoolForm::minZ() const { return m_eMin->text(); }
QString TMaptoolForm::maxZ() const { return m_eMax->text(); }

void TMaptoolForm::takeId(int id) { chooseId(id); }

void TMaptoolForm::chooseId(int id) {
  setCurrentId(id);
  m_history.push(id);
}

void TMaptoolForm::setCurrentId(int id) {
  m_id = id;
  redraw();
}

void TMaptoolForm::redraw() {
  Bitmap32 art;
  try {
    if (m_registry.art) art = m_registry.art->landPicture(m_id);
  } catch (const Error&) {
    // A damaged tile shows the white ground only.
  }
  m_picture = centredPicture(art, kPictureSide);
  m_iPicture->setPixmap(QPixmap::fromImage(m_picture));
}

void TMaptoolForm::go() {
  // The x is taken before the y is read.
  const int x = parseInt(m_eX->text().toStdString());
  m_editor.setViewCentre(x, m_editor.scene().centreY());
  const int y = parseInt(m_eY->text().toStdString());
  m_editor.setViewCentre(x, y);
  m_editor.requestRebuild();
}

void TMaptoolForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  setCurrentId(0);
}

}  // namespace quillotide::ui
