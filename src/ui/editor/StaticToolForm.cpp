#include "ui/editor/StaticToolForm.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/Error.h"
#include "ui/editor/EditorSelection.h"
#include "registry/Registry.h"
#include "models/Art.h"
#include "models/Hues.h"
#include "ui/editor/InfoForm.h"
#include "ui/editor/SEditorForm.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

TStaticToolForm::TStaticToolForm(TSEditorForm& editor, Registry& registry, Dialogs& dialogs,
                                 TInfoForm& info)
    : QWidget(&editor, Qt::Tool),
      m_editor(editor),
      m_registry(registry),
      m_dialogs(dialogs),
      m_info(info) {
  setObjectName(QStringLiteral("StaticToolForm"));
  setWindowTitle(QStringLiteral("Statictool"));
  setAttribute(Qt::WA_ShowWithoutActivating);
  auto* columns = new QHBoxLayout(this);
  auto* layout = new QVBoxLayout;
  columns->addLayout(layout);

  auto* idRow = new QHBoxLayout;
  auto* down = new QPushButton(QStringLiteral("<"), this);
  down->setObjectName(QStringLiteral("btnIdDown"));
  m_iId =
      new ToolPicture(kPictureSide, kPictureSide, QStringLiteral("DClick to choose Item"), this);
  m_iId->setObjectName(QStringLiteral("iStaticId"));
  auto* up = new QPushButton(QStringLiteral(">"), this);
  up->setObjectName(QStringLiteral("btnIdUp"));
  for (QPushButton* b : {down, up}) b->setFixedWidth(24);
  idRow->addWidget(down);
  idRow->addWidget(m_iId);
  idRow->addWidget(up);
  m_iColour =
      new ToolPicture(kSwatchWidth, kSwatchHeight, QStringLiteral("DClick to Choose Color"), this);
  m_iColour->setObjectName(QStringLiteral("iColor"));
  idRow->addWidget(m_iColour);
  layout->addLayout(idRow);
  m_eId = makeIdField(this, QStringLiteral("eId"));
  connect(m_eId, &QLineEdit::returnPressed, this,
          [this] { runAction(m_dialogs, [this] { takeTypedId(); }); });
  layout->addWidget(m_eId);

  m_idMenu = new HistoryMenu(QStringLiteral("StaticIdHistory"), this);
  m_colourMenu = new HistoryMenu(QStringLiteral("ColorHistory"), this);
  auto* stepper = new IdStepper(down, up, this);
  connect(stepper, &IdStepper::stepped, this,
          [this](bool upward) { setCurrentId(steppedId(m_id, upward)); });
  connect(m_iId, &ToolPicture::chooseRequested, this, [this] { emit idChooserRequested(m_id); });
  connect(m_iId, &ToolPicture::historyRequested, this,
          [this](QPoint at) { m_idMenu->popup(m_idHistory, at); });
  connect(m_idMenu, &HistoryMenu::chosen, this, [this](int id) { setCurrentId(id); });
  connect(m_iColour, &ToolPicture::chooseRequested, this,
          [this] { emit colourChooserRequested(); });
  connect(m_iColour, &ToolPicture::historyRequested, this,
          [this](QPoint at) { m_colourMenu->popup(m_colourHistory, at); });
  connect(m_colourMenu, &HistoryMenu::chosen, this, [this](int c) { setCurrentColour(c); });

  auto field = [this](const char* name, const char* text) {
    auto* e = new QLineEdit(QString::fromLatin1(text), this);
    e->setObjectName(QString::fromLatin1(name));
    e->setMaximumWidth(48);
    return e;
  };
  auto check = [this](const char* name, const QString& caption, const QString& hint) {
    auto* c = new QCheckBox(caption, this);
    c->setObjectName(QString::fromLatin1(name));
    c->setToolTip(hint);
    return c;
  };

  auto* tools = new QGridLayout;
  tools->addWidget(toolButton("btnInfo", "?", "Show Item Info", 1), 0, 0);
  tools->addWidget(toolButton("btnDelete", "Delete Item", "Delete Item", 2), 0, 1);
  tools->addWidget(toolButton("btnAdd", "Add", "Add Item", 3), 1, 0);
  tools->addWidget(toolButton("btnChangeColor", "Change Color", "Change Color", 4), 1, 1);
  tools->addWidget(toolButton("btnSetId", "Set Id", "Set ID", 5), 2, 0);
  // Tool 0: a click selects, Ctrl+click adds or removes, Shift+drag selects by a rubber band.
  tools->addWidget(toolButton("btnSelect", "Select", "Select Items", 0), 2, 1);
  tools->addWidget(toolButton("btnGetId", "Get ID", "Get ID", 18), 3, 0);
  tools->addWidget(toolButton("btnGetColor", "Get Color", "Get Color", 19), 3, 1);
  layout->addLayout(tools);
  m_cbUseColor = check("cbUseColor", QStringLiteral("Use Color"),
                       QStringLiteral("Apply Color when creating Items"));
  layout->addWidget(m_cbUseColor);

  auto* tileRow = new QHBoxLayout;
  tileRow->addWidget(toolButton("btnTile", "Tile", "Tile", 6));
  m_eTileZ = field("eTileZ", "0");
  tileRow->addWidget(m_eTileZ);
  layout->addLayout(tileRow);

  auto* gbMove = new QGroupBox(QStringLiteral("Move"), this);
  gbMove->setObjectName(QStringLiteral("gbMove"));
  auto* move = new QGridLayout(gbMove);
  const struct {
    const char* name;
    const char* arrow;
    const char* hint;
    int row, column;
  } arrows[] = {
      {"btnMoveUpLeft", "\u2196", "up-left", 0, 0},       {"btnMoveUp", "\u2191", "up", 0, 1},
      {"btnMoveUpRight", "\u2197", "up-right", 0, 2},     {"btnMoveRight", "\u2192", "right", 1, 2},
      {"btnMoveDownRight", "\u2198", "down-right", 2, 2}, {"btnMoveDown", "\u2193", "down", 2, 1},
      {"btnMoveDownLeft", "\u2199", "down-left", 2, 0},   {"btnMoveLeft", "\u2190", "left", 1, 0}};
  int tool = 7;
  for (const auto& a : arrows)
    move->addWidget(toolButton(a.name, QString::fromUtf8(a.arrow), a.hint, tool++), a.row,
                    a.column);
  m_eMove = field("eMove", "1");
  move->addWidget(m_eMove, 1, 1);
  move->addWidget(toolButton("btnRaise", QString::fromUtf8("\u25B2"), "up", 15), 0, 3);
  move->addWidget(toolButton("btnLower", QString::fromUtf8("\u25BC"), "down", 16), 2, 3);
  m_eUpDown = field("eUpDown", "1");
  move->addWidget(m_eUpDown, 1, 3);
  m_cbArea = check("cbArea", QStringLiteral("Area"), QStringLiteral("Move affects an Area"));
  m_cbMoveTestId = check("cbMoveTestId", QStringLiteral("Test ID"), QString());
  move->addWidget(m_cbArea, 3, 0, 1, 2);
  move->addWidget(m_cbMoveTestId, 3, 2, 1, 2);
  layout->addWidget(gbMove);

  auto* gbNuke = new QGroupBox(QStringLiteral("Nuke"), this);
  gbNuke->setObjectName(QStringLiteral("gbNuke"));
  auto* nuke = new QGridLayout(gbNuke);
  nuke->addWidget(toolButton("btnNuke", "Nuke", "Nuke", 17), 0, 0);
  m_cbSetColor = check("cbSetColor", QStringLiteral("Set Color"), QString());
  m_cbNukeTestId = check("cbNukeTestId", QStringLiteral("Test ID"), QString());
  m_cbTestHeight = check("cbTestHeight", QStringLiteral("Test Height"), QString());
  nuke->addWidget(m_cbSetColor, 0, 1);
  nuke->addWidget(m_cbNukeTestId, 1, 0);
  nuke->addWidget(m_cbTestHeight, 1, 1);
  m_eDown = field("eDown", "0");
  m_eUp = field("eUp", "0");
  nuke->addWidget(m_eDown, 2, 0);
  nuke->addWidget(m_eUp, 2, 1);
  layout->addWidget(gbNuke);

  auto* worldMap = new QPushButton(QStringLiteral("WorldMap"), this);
  worldMap->setObjectName(QStringLiteral("btnWorldMap"));
  connect(worldMap, &QPushButton::clicked, this, [this] { emit worldMapRequested(); });
  layout->addWidget(worldMap);

  m_tbMaxZ = new QSlider(Qt::Vertical, this);
  m_tbMaxZ->setObjectName(QStringLiteral("tbMaxZ"));
  m_tbMaxZ->setToolTip(QStringLiteral("Set MaxZ"));
  m_tbMaxZ->setRange(-128, 127);
  m_tbMaxZ->setValue(127);
  connect(m_tbMaxZ, &QSlider::valueChanged, this, [this](int z) {
    m_editor.scene().setMaxZ(z);
    m_editor.requestResort();
  });
  keepNavigationKeys(m_tbMaxZ);
  columns->addWidget(m_tbMaxZ);
  connect(&m_editor, &TSEditorForm::toolChanged, this,
          [this] { showCurrentTool(m_tools, m_editor.editorTool()); });
  redrawId();
  redrawColour();
}

IdRange TStaticToolForm::idRange() { return {0, IdStepper::kLastId, "Static"}; }

QToolButton* TStaticToolForm::toolButton(const QString& name, const QString& caption,
                                         const QString& hint, int tool) {
  QToolButton* b = makeToolButton(this, name, caption, hint, tool);
  // A click on the pressed button raises it; the editor's answer presses it again, since its
  // tool still acts.
  connect(b, &QToolButton::clicked, this, [this, tool] { chooseTool(tool); });
  m_tools.push_back(b);
  return b;
}

void TStaticToolForm::chooseTool(int tool) {
  // With items selected, an edit button acts on all of them at once; the tool stays as it was.
  if (m_editor.selection().applyTool(tool)) {
    showCurrentTool(m_tools, m_editor.editorTool());
    return;
  }
  m_editor.setEditorTool(tool);
  if (m_resetMapTool) m_resetMapTool();
}

bool TStaticToolForm::event(QEvent* event) {
  // Delete in this window chooses "Delete Item", before the editor's window-wide Delete takes it.
  if (event->type() == QEvent::ShortcutOverride &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete &&
      static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier) {
    event->accept();
    return true;
  }
  return QWidget::event(event);
}

void TStaticToolForm::keyPressEvent(QKeyEvent* event) {
  // Delete chooses "Delete Item"; in the id field it deletes text, as the field takes it first.
  if (event->key() == Qt::Key_Delete) {
    chooseTool(2);
    return;
  }
  QWidget::keyPressEvent(event);
}

bool TStaticToolForm::useColour() const { return m_cbUseColor->isChecked(); }
bool TStaticToolForm::moveArea() const { return m_cbArea->isChecked(); }
bool TStaticToolForm::moveTestId() const { return m_cbMoveTestId->isChecked(); }
bool TStaticToolForm::nukeSetColour() const { return m_cbSetColor->isChecked(); }
bool TStaticToolForm::nukeTestId() const { return m_cbNukeTestId->isChecked(); }
bool TStaticToolForm::nukeTestHeight() const { return m_cbTestHeight->isChecked(); }
QString TStaticToolForm::moveStep() const { return m_eMove->text(); }
QString TStaticToolForm::upDownStep() const { return m_eUpDown->text(); }
QString TStaticToolForm::tileZ() const { return m_eTileZ->text(); }
QString TStaticToolForm::nukeDown() const { return m_eDown->text(); }
QString TStaticToolForm::nukeUp() const { return m_eUp->text(); }

void TStaticToolForm::showInfo(const TItem& item) { m_info.showItem(item); }

void TStaticToolForm::takeId(int id) { chooseId(id); }

void TStaticToolForm::takeColour(int colour) {
  setCurrentColour(colour);
  m_colourHistory.push(colour);
}

void TStaticToolForm::chooseId(int id) {
  setCurrentId(id);
  m_idHistory.push(id);
}

void TStaticToolForm::chooseHueEntry(int entry) {
  if (entry == -1) {
    takeColour(0);
    return;
  }
  if (!m_registry.hues || !m_registry.hues->hasEntry(entry)) {
    m_dialogs.showMessage(QStringLiteral("Hue 0x%1 is not in the hue table.")
                              .arg(QString::number(entry, 16).toUpper()));
    return;
  }
  takeColour(entry + 1);
}

void TStaticToolForm::setCurrentId(int id) {
  m_id = id;
  redrawId();
}

void TStaticToolForm::takeTypedId() {
  int id = 0;
  try {
    id = parseTypedId(m_eId->text().toStdString(), idRange());
  } catch (const Error&) {
    // The field goes back to the id that acts; the message says what was wrong.
    m_eId->setText(idListText({m_id}));
    throw;
  }
  chooseId(id);
}

void TStaticToolForm::setCurrentColour(int colour) {
  m_colour = colour;
  redrawColour();
}

void TStaticToolForm::redrawId() {
  Bitmap32 art;
  try {
    if (m_registry.art) art = m_registry.art->staticPicture(m_id);
  } catch (const Error&) {
    // A damaged static shows the white ground only.
  }
  m_idImage = centredPicture(art, kPictureSide);
  m_iId->setPixmap(QPixmap::fromImage(m_idImage));
  m_eId->setText(idListText({m_id}));
}

void TStaticToolForm::redrawColour() {
  // No colour, or one the hue table does not hold, shows the picture's black ground.
  Pixel swatch = makePixel(0, 0, 0);
  if (m_colour > 0 && m_registry.hues)
    if (const auto c = m_registry.hues->hueColour(m_colour - 1, kSwatchEntry))
      swatch = colour16ToPixel(*c);
  m_colourImage = QImage(kSwatchWidth, kSwatchHeight, QImage::Format_ARGB32);
  m_colourImage.fill(QColor::fromRgba(swatch));
  m_iColour->setPixmap(QPixmap::fromImage(m_colourImage));
}

void TStaticToolForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  setCurrentId(0);
}

}  // namespace quillotide::ui
