#include "ui/editor/MaptoolForm.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/Error.h"
#include "app/Text.h"
#include "models/Art.h"
#include "registry/Registry.h"
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
  m_eId = makeIdField(this, QStringLiteral("eId"));
  m_eId->setToolTip(QStringLiteral(
      "Land tile id, or several separated by commas: \"Set Id\" draws one per cell"));
  connect(m_eId, &QLineEdit::returnPressed, this,
          [this] { runAction(m_dialogs, [this] { takeTypedIds(); }); });
  layout->addWidget(m_eId);
  m_historyMenu = new HistoryMenu(QStringLiteral("MapIdHistory"), this);
  auto* stepper = new IdStepper(down, up, this);
  connect(stepper, &IdStepper::stepped, this,
          [this](bool upward) { setCurrentId(steppedId(currentId(), upward)); });
  connect(m_iPicture, &ToolPicture::chooseRequested, this,
          [this] { emit chooserRequested(currentId()); });
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

  auto* brushRow = new QHBoxLayout;
  m_cbShape = new QComboBox(this);
  m_cbShape->setObjectName(QStringLiteral("cbBrushShape"));
  m_cbShape->addItems({QStringLiteral("Square"), QStringLiteral("Round")});
  m_cbShape->setToolTip(QStringLiteral("Brush shape"));
  m_sbSize = new QSpinBox(this);
  m_sbSize->setObjectName(QStringLiteral("sbBrushSize"));
  m_sbSize->setRange(1, LandBrush::kMaxSize);
  m_sbSize->setToolTip(QStringLiteral("Brush size in cells"));
  m_lBrush = new QLabel(this);
  m_lBrush->setObjectName(QStringLiteral("lBrush"));
  keepNavigationKeys(m_cbShape);
  keepNavigationKeys(m_sbSize);
  brushRow->addWidget(m_cbShape);
  brushRow->addWidget(m_sbSize);
  brushRow->addWidget(m_lBrush);
  layout->addLayout(brushRow);
  // Only what the user changes: the editor's own changes arrive with the signals blocked.
  connect(m_cbShape, &QComboBox::currentIndexChanged, this, [this] { chooseBrush(); });
  connect(m_sbSize, &QSpinBox::valueChanged, this, [this] { chooseBrush(); });

  auto* tools = new QGridLayout;
  tools->addWidget(toolButton("btnGetId", "Get ID", "Get ID", 20), 0, 0);
  tools->addWidget(toolButton("btnSetId", "Set Id", "Set ID", 21), 0, 1);
  tools->addWidget(toolButton("btnUp", QString::fromUtf8("\u25B2"), "Raise", 22), 1, 0);
  tools->addWidget(toolButton("btnDown", QString::fromUtf8("\u25BC"), "Lower", 23), 1, 1);
  tools->addWidget(toolButton("btnSetZ", "Set Z", "Set Z", 24), 2, 0);
  tools->addWidget(toolButton("btnSetRandomZ", "Set Random Z", "Set Random Z", 25), 2, 1);
  tools->addWidget(
      toolButton("btnSmooth", "Smooth", "Each cell towards the mean of its neighbours", 26), 3, 0);
  tools->addWidget(
      toolButton("btnFlatten", "Flatten", "To the altitude of the stroke's first cell", 27), 3, 1);
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
  connect(&m_editor, &TSEditorForm::toolChanged, this, [this] { showEditorState(); });
  showEditorState();
  redraw();
}

IdRange TMaptoolForm::idRange() { return {0, IdStepper::kLastId, "Land tile"}; }

QToolButton* TMaptoolForm::toolButton(const QString& name, const QString& caption,
                                      const QString& hint, int tool) {
  QToolButton* b = makeToolButton(this, name, caption, hint, tool);
  // A click on the pressed button raises it; the editor's answer presses it again, since its
  // tool still acts.
  connect(b, &QToolButton::clicked, this, [this, tool] { m_editor.setEditorTool(tool); });
  m_tools.push_back(b);
  return b;
}

void TMaptoolForm::chooseCursor(int reach) {
  const LandBrush current = m_editor.landBrush();
  m_editor.setLandBrush({current.shape, 2 * reach - 1, 2 * reach - 1});
}

void TMaptoolForm::chooseBrush() {
  const auto shape = m_cbShape->currentIndex() == 1 ? BrushShape::Round : BrushShape::Square;
  m_editor.setLandBrush({shape, m_sbSize->value(), m_sbSize->value()});
}

void TMaptoolForm::resetMapTool() { chooseCursor(1); }

void TMaptoolForm::showEditorState() {
  showCurrentTool(m_tools, m_editor.editorTool());
  const LandBrush& brush = m_editor.landBrush();
  for (std::size_t i = 0; i < m_cursors.size(); ++i) {
    const std::int64_t side = 2 * static_cast<std::int64_t>(i) + 1;
    m_cursors[i]->setChecked(brush.width == side && brush.height == side);
  }
  const QSignalBlocker blockShape(m_cbShape), blockSize(m_sbSize);
  m_cbShape->setCurrentIndex(brush.shape == BrushShape::Round ? 1 : 0);
  m_sbSize->setValue(static_cast<int>(std::min<std::int64_t>(brush.width, LandBrush::kMaxSize)));
  m_lBrush->setText(QStringLiteral("%1 x %2").arg(brush.width).arg(brush.height));
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
  m_ids = {id};
  redraw();
}

void TMaptoolForm::takeTypedIds() {
  std::vector<int> ids;
  try {
    ids = parseIdList(m_eId->text().toStdString(), idRange());
  } catch (const Error&) {
    // The field goes back to the ids that act; the message says what was wrong.
    m_eId->setText(idListText(m_ids));
    throw;
  }
  m_history.push(ids.front());
  m_ids = std::move(ids);
  redraw();
}

void TMaptoolForm::redraw() {
  Bitmap32 art;
  try {
    if (m_registry.art) art = m_registry.art->landPicture(currentId());
  } catch (const Error&) {
    // A damaged tile shows the white ground only.
  }
  m_picture = centredPicture(art, kPictureSide);
  m_iPicture->setPixmap(QPixmap::fromImage(m_picture));
  m_eId->setText(idListText(m_ids));
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
