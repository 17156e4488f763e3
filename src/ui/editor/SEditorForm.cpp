#include "ui/editor/SEditorForm.h"

#include <algorithm>
#include <climits>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QRegularExpression>
#include <QResizeEvent>
#include <QStatusBar>
#include <QToolBar>

#include "registry/Registry.h"
#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Text.h"
#include "world/Items.h"
#include "world/DiffFiles.h"
#include "world/StaticDiff.h"
#include "ui/editor/EditorSelection.h"
#include "ui/editor/EditorTools.h"
#include "ui/editor/EditorView.h"
#include "ui/editor/HistoryForm.h"
#include "ui/editor/MapForm.h"
#include "ui/editor/SharedLink.h"
#include "ui/editor/ToolWindows.h"
#include "ui/main/MainForm.h"
#include "ui/main/SettingsPage.h"
#include "ui/platform/Dialogs.h"
#include "ui/platform/GaugeForm.h"

namespace quillotide::ui {

namespace {

constexpr int kRightClickCell = 30;
// Marks of the two-click tools' first corners, and the land brush's outline.
constexpr Pixel kTileMark = 0xFFFFFF00u;
constexpr Pixel kMoveMark = 0xFF00FFFFu;
constexpr Pixel kNukeMark = 0xFFFF3030u;
constexpr Pixel kBrushOutline = 0xFFFFFFFFu;
constexpr int kMinViewSide = 120;
const char* const kEditorProperty = "quillotideWorldEditor";

std::string str(const QString& s) { return s.toStdString(); }

// A stored size of 0 (or none) takes the default; the keys hold 16-bit numbers.
int storedSide(const TConfig& config, const char* key, int fallback) {
  const int v = config.getInt(key) & 0xFFFF;
  return v == 0 ? fallback : v;
}

int storedCentre(const TConfig& config, const char* key) {
  const int v = config.getInt(key);
  return v == 0 ? EditorScene::kDefaultCentre : v;
}

// The models the view reads, as the registry holds them now (a tool may have replaced one).
SceneSources sceneSources(Registry& r) {
  TStaticDiff* diffs = r.staticDiff.get();
  auto diffItems = [diffs](int xa, int xb, int ya, int yb, std::vector<TItem>& list) {
    if (diffs) diffs->appendItemsInRect(xa, xb, ya, yb, list);
  };
  return SceneSources{r.map.get(),      r.statics.get(),  r.worldFile.get(), diffItems,
                      r.art.get(),      r.textures.get(), r.hues.get(),      r.tiledata.get(),
                      r.animdata.get(), r.verdata.get()};
}

QString partNames(int parts) {
  QStringList names;
  if (parts & static_cast<int>(WorldPart::Map)) names << QStringLiteral("map blocks");
  if (parts & static_cast<int>(WorldPart::Statics)) names << QStringLiteral("statics");
  if (parts & static_cast<int>(WorldPart::Diffs)) names << QStringLiteral("static diffs");
  if (parts & static_cast<int>(WorldPart::WorldFile)) names << QStringLiteral("world file");
  return names.join(QStringLiteral(", "));
}

// A line of the position row that takes the width the other texts leave and never asks for more:
// a text too long for it ends in "…" and shows whole as its tooltip, so the view keeps its size.
class RowLine : public QLabel {
public:
  explicit RowLine(QWidget* parent) : QLabel(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  }
  QSize sizeHint() const override { return {1, QLabel::sizeHint().height()}; }
  QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }
  void setLine(const QString& text) {
    m_line = text;
    setToolTip(text);
    fit();
  }

protected:
  void resizeEvent(QResizeEvent* event) override {
    QLabel::resizeEvent(event);
    fit();
  }

private:
  void fit() { setText(fontMetrics().elidedText(m_line, Qt::ElideRight, contentsRect().width())); }
  QString m_line;
};

}  // namespace

TSEditorForm::TSEditorForm(TMainForm& main, bool withOpenGL)
    : QMainWindow(nullptr), m_main(main), m_registry(main.registry()), m_dialogs(main.dialogs()) {
  setObjectName(QStringLiteral("SEditorForm"));
  setWindowTitle(QStringLiteral("Editor"));
  const TConfig& config = *m_registry.config;
  const int width = storedSide(config, "EditorWidth", kDefaultWidth);
  const int height = storedSide(config, "EditorHeight", kDefaultHeight);
  m_scene.setClientSize(width, height);
  m_scene.setViewCentre(storedCentre(config, "LastX"), storedCentre(config, "LastY"));

  m_view = new EditorView(m_scene, withOpenGL, this);
  m_view->setObjectName(QStringLiteral("EditorView"));
  // The stored size is where the window starts; it resizes and maximises from there.
  m_view->setPreferredSize(QSize(width, height));
  m_view->resize(width, height);
  m_view->setMinimumSize(kMinViewSide, kMinViewSide);
  m_view->setFocusPolicy(Qt::StrongFocus);
  setCentralWidget(m_view);
  connect(m_view, &EditorView::wheelTurned, this, &TSEditorForm::wheelTurned);
  connect(m_view, &EditorView::middlePressed, this, &TSEditorForm::middlePress);
  connect(m_view, &EditorView::middleReleased, this, [this] { m_pan.reset(); });
  connect(m_view, &EditorView::resized, this, [this] {
    updateStatus();
    emit viewChanged();
  });
  connect(m_view, &EditorView::left, this, [this] {
    m_mouse.reset();
    m_scene.setOutline(std::nullopt);
    refresh();
    updateStatus();
  });
  connect(m_view, &EditorView::leftPressed, this, &TSEditorForm::leftPress);
  connect(m_view, &EditorView::leftReleased, this, &TSEditorForm::leftRelease);
  connect(m_view, &EditorView::rightPressed, this, &TSEditorForm::rightPress);
  connect(m_view, &EditorView::moved, this, &TSEditorForm::mouseMoved);
  connect(m_view, &EditorView::frameRateMeasured, this,
          [this](int fps) { setWindowTitle(QString::asprintf("Editor (%d FPS)", fps)); });
  // Shown once the drawing is done, never from inside it; a box shown during a press takes
  // the release, so the drag ends here.
  connect(
      m_view, &EditorView::drawingFailed, this,
      [this](const QString& text) {
        endStroke();
        m_dialogs.showError(text);
      },
      Qt::QueuedConnection);

  // The two fixed panels fill most of a narrow window's status bar, so the cell, view and tool
  // line and the pending corners get a row of their own above it, across the whole window.
  auto* positionRow = new QToolBar(QStringLiteral("Position"), this);
  positionRow->setObjectName(QStringLiteral("PositionRow"));
  positionRow->setMovable(false);
  positionRow->setFloatable(false);
  positionRow->toggleViewAction()->setEnabled(false);
  addToolBar(Qt::BottomToolBarArea, positionRow);
  for (std::size_t i = 0; i < m_status.size(); ++i) {
    m_status[i] = new QLabel(this);
    m_status[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    if (i < 2) {
      m_status[i]->setFixedWidth(kStatusPanelWidth);
      statusBar()->addWidget(m_status[i]);
    } else {
      // Long texts are cut rather than widening the window.
      m_status[i]->setSizePolicy(i == 2 ? QSizePolicy::Preferred : QSizePolicy::Ignored,
                                 QSizePolicy::Preferred);
      m_status[i]->setMinimumWidth(0);
      m_status[i]->setContentsMargins(4, 0, 12, 0);
      positionRow->addWidget(m_status[i]);
    }
  }
  buildMenu();
  buildViewKeys();
  m_main.installEventFilter(this);
  m_scene.setSources(sceneSources(m_registry));
  followModels();
  // An edit that reaches a model without being recorded, or a replay that reaches a part its
  // step does not name (an undo following a world-file item a patch took into the statics),
  // leaves that part unsaved until the part is saved.
  m_registry.items->setNoticeHandler([this](const ItemNotice& notice) {
    if (notice.edit == ItemEdit::Select || notice.edit == ItemEdit::Deselect) return;
    if (m_edits.recording()) return;
    WorldPart part = WorldPart::WorldFile;
    if (notice.kind == ItemKind::Static) part = WorldPart::Statics;
    if (notice.kind == ItemKind::DiffStatic) part = WorldPart::Diffs;
    if (m_undo.replayingParts() & partBit(part)) return;
    noteUnsaved(part);
  });
  m_toolWindows = new EditorToolWindows(*this, m_registry, m_dialogs);
  m_selection = new EditorSelection(*this, m_registry, m_dialogs);
  // Undo and redo work from the tool windows too, while one of them has the focus.
  for (QWidget* window : m_toolWindows->windows()) {
    window->addActions({m_undoAction, m_redoAction});
    window->addActions(m_viewKeys);
  }
  connect(this, &TSEditorForm::viewChanged, &m_toolWindows->mapOverview(),
          [this] { m_toolWindows->mapOverview().setView(m_scene.viewCorners()); });
  connect(this, &TSEditorForm::toolChanged, this, [this] {
    updateOutline();
    updateStatus();
  });
  // Not adjustSize: it keeps a window within two thirds of the screen, the stored size may not.
  resize(sizeHint());
  updateStatus();
  // A map or statics opened, saved, let go for a tool, read again or closed: every step, every
  // selected serial and every found item was made on the model before, and none may reach the
  // one in its place.
  m_ownerToken = m_registry.openFiles().subscribe([this](const std::string& id, FileEvent event) {
    if (event == FileEvent::Saved) {
      // A statics save numbers the statics afresh: the items found name others now.
      if (id == "Statics" && m_selection) m_selection->forgetFound();
      return;
    }
    if (id == "Map" || id == "Statics") {
      modelsReplaced();
      return;
    }
    // A model the view draws from (art, textures, hues, tile data, ...) is another object now.
    m_scene.setSources(sceneSources(m_registry));
    m_scene.clearPictures();
    requestRebuild();
  });
}

TSEditorForm::~TSEditorForm() { m_registry.openFiles().unsubscribe(m_ownerToken); }

void TSEditorForm::modelsReplaced() {
  // The map or statics the owner opened are files, not the shared world's.
  detachShared();
  Registry& r = m_registry;
  m_edits.setModels(
      {r.map.get(), r.statics.get(), r.staticDiff.get(), r.worldFile.get(), r.items.get()});
  m_mapOpens = r.map ? r.map->openCount() : 0;
  m_staticsOpens = r.statics ? r.statics->openCount() : 0;
  m_undo.clear();
  m_unsaved = 0;
  updateUndoActions();
  m_scene.setSources(sceneSources(r));
  if (m_selection) m_selection->forgetWorld();
  // What is drawn came from the models before.
  requestRebuild();
}

TSEditorForm* TSEditorForm::existing(const TMainForm& main) {
  return qobject_cast<TSEditorForm*>(main.property(kEditorProperty).value<QObject*>());
}

TSEditorForm& TSEditorForm::of(TMainForm& main) {
  if (TSEditorForm* editor = existing(main)) return *editor;
  auto* editor = new TSEditorForm(main);
  main.setProperty(kEditorProperty, QVariant::fromValue<QObject*>(editor));
  // The editor is a window of its own; it goes with the main window.
  QObject::connect(&main, &QObject::destroyed, editor, [editor] { delete editor; });
  return *editor;
}

void TSEditorForm::open(TMainForm& main) {
  main.settingsPage()->loadForWorldeditor();
  TSEditorForm& editor = of(main);
  // The models may have been loaded or replaced since the editor was made.
  editor.m_scene.setSources(sceneSources(main.registry()));
  editor.followModels();
  editor.m_scene.clearPictures();
  editor.show();
  editor.raise();
  editor.activateWindow();
  main.hide();
}

QString TSEditorForm::statusText(int panel) const {
  const auto i = static_cast<std::size_t>(panel);
  return panel >= 0 && i < m_status.size() ? m_status[i]->text() : QString();
}

QAction* TSEditorForm::action(const QString& caption) const {
  for (QMenu* menu : m_menus)
    for (QAction* a : menu->actions())
      if (a->text() == caption) return a;
  return nullptr;
}

void TSEditorForm::refresh() { m_view->refresh(); }

void TSEditorForm::followModels() {
  Registry& r = m_registry;
  const WorldModels models{r.map.get(), r.statics.get(), r.staticDiff.get(), r.worldFile.get(),
                           r.items.get()};
  const std::uint64_t mapOpens = r.map ? r.map->openCount() : 0;
  const std::uint64_t staticsOpens = r.statics ? r.statics->openCount() : 0;
  if (models == m_edits.models() && mapOpens == m_mapOpens && staticsOpens == m_staticsOpens)
    return;
  // The steps hold the models they were made on: another world is a new session. Models read
  // again (from files, or from another shared world) are no longer the shared world's.
  detachShared();
  m_edits.setModels(models);
  m_mapOpens = mapOpens;
  m_staticsOpens = staticsOpens;
  m_undo.clear();
  m_unsaved = 0;
  updateUndoActions();
}

void TSEditorForm::setViewCentre(int x, int y) {
  m_scene.setViewCentre(x, y);
  refresh();
  updateOutline();
  updateStatus();
  emit viewChanged();
}

QString TSEditorForm::toolName(int tool) {
  static const char* const names[] = {
      "Select",      "Item Info",    "Delete",     "Add",         "Colour",      "Set Id",
      "Tile",        "Move",         "Move",       "Move",        "Move",        "Move",
      "Move",        "Move",         "Move",       "Up",          "Down",        "Nuke",
      "Get Id",      "Get Colour",   "Get Land Id", "Set Land Id", "Raise Land", "Lower Land",
      "Set Z",       "Set Random Z", "Smooth",     "Flatten"};
  if (tool >= 0 && tool < static_cast<int>(std::size(names))) return QString::fromLatin1(names[tool]);
  return QStringLiteral("Tool %1").arg(tool);
}

std::optional<TSEditorForm::CellUnderMouse> TSEditorForm::cellUnderMouse() {
  if (!m_mouse) return std::nullopt;
  m_view->prepareIfNeeded();
  CellPos cell = m_scene.cellAt(m_mouse->x(), m_mouse->y());
  // Where something is drawn, its cell is the one the user points at (raised land included).
  if (const TItem* item = m_scene.findVisibleItem(m_scene.pick(m_mouse->x(), m_mouse->y())))
    cell = {item->x, item->y};
  if (!m_scene.inWorld(cell)) return std::nullopt;
  return CellUnderMouse{cell.x, cell.y, m_scene.landAltitude(cell)};
}

void TSEditorForm::updateStatus() {
  if (!m_status[2]) return;
  if (m_mouse)
    m_status[1]->setText(
        QString::asprintf("%d,%d Zoom:%g", m_mouse->x(), m_mouse->y(), m_scene.zoom()));
  const auto cell = cellUnderMouse();
  const QString at = cell ? QStringLiteral("%1,%2,%3").arg(cell->x).arg(cell->y).arg(cell->z)
                          : QStringLiteral("-");
  m_status[2]->setText(QStringLiteral("Cell: %1   Centre: %2,%3   Zoom: %4   Tool: %5")
                           .arg(at)
                           .arg(m_scene.centreX())
                           .arg(m_scene.centreY())
                           .arg(m_scene.zoom(), 0, 'g', 3)
                           .arg(toolName(m_tool)));
}

void TSEditorForm::updateHoverText() {
  if (!m_mouse || m_lastHovered == -1) return;
  m_view->prepareIfNeeded();
  const TItem* it = m_scene.findVisibleItem(m_lastHovered);
  if (!it) return;
  if (m_reachX == 1 && m_reachY == 1)
    m_status[0]->setText(QString::asprintf("ID: 0x%X   Pos: %d,%d,%d   Color: 0x%X", it->tileId,
                                           it->x, it->y, it->z, it->hue));
  else
    m_status[0]->setText(QString::asprintf("Pos: %d,%d", it->x, it->y));
}

void TSEditorForm::worldChanged() {
  updateHoverText();
  updateOutline();
  updateStatus();
}

void TSEditorForm::tellAfterStroke(const QString& text) {
  endStroke();
  m_dialogs.showMessage(text);
}

void TSEditorForm::updateMarks() {
  std::vector<CellMark> marks;
  QStringList named;
  const struct {
    const ToolCorner& corner;
    const char* tool;
    Pixel colour;
  } corners[] = {{m_tileCorner, "Tile", kTileMark},
                 {m_moveCorner, "Move area", kMoveMark},
                 {m_nukeCorner, "Nuke", kNukeMark}};
  for (const auto& c : corners) {
    if (!c.corner.isSet()) continue;
    marks.push_back({{c.corner.x, c.corner.y}, c.colour});
    named << QStringLiteral("%1 from %2,%3: click the second corner (Esc cancels)")
                 .arg(QLatin1String(c.tool))
                 .arg(c.corner.x)
                 .arg(c.corner.y);
  }
  const bool changed = marks.size() != m_scene.marks().size() ||
                       !std::equal(marks.begin(), marks.end(), m_scene.marks().begin(),
                                   [](const CellMark& a, const CellMark& b) {
                                     return a.cell == b.cell && a.colour == b.colour;
                                   });
  m_scene.setMarks(std::move(marks));
  m_status[3]->setText(named.join(QStringLiteral("; ")));
  if (changed) refresh();
}

void TSEditorForm::updateOutline() {
  // The land tools change the brush's cells around the clicked one; "Get Land Id" takes one.
  // The scene draws the brush's edge near the window, whatever the brush's size.
  std::optional<BrushOutline> outline;
  const bool landTool = m_tool > 20 && m_tool < kToolCount;
  if (landTool && m_mouse)
    if (const auto at = cellUnderMouse())
      outline = BrushOutline{m_brush, {at->x, at->y}, kBrushOutline};
  if (outline == m_scene.outline()) return;
  m_scene.setOutline(std::move(outline));
  refresh();
}

void TSEditorForm::cancelCorners() {
  m_tileCorner = m_moveCorner = m_nukeCorner = {};
  // Esc and every undo or redo let go of the selection too (an undone paste takes its items).
  if (m_selection) m_selection->clear();
  updateMarks();
}

void TSEditorForm::zoomSteps(int steps) {
  const double zoom = EditorScene::steppedZoom(m_scene.zoom(), steps);
  if (zoom == m_scene.zoom()) return;
  m_scene.setZoom(zoom);
  refresh();
  updateOutline();
  updateStatus();
  emit viewChanged();
}

void TSEditorForm::wheelTurned(QPoint p, int steps) {
  // Turning the wheel away from the user brings the world nearer, as in other map views.
  const double zoom = EditorScene::steppedZoom(m_scene.zoom(), -steps);
  if (zoom == m_scene.zoom()) return;
  m_mouse = p;
  m_scene.zoomAbout(zoom, p.x(), p.y());
  refresh();
  updateOutline();
  updateStatus();
  emit viewChanged();
}

void TSEditorForm::moveScreens(int dx, int dy) {
  const CellPos shift = EditorScene::cellsForShift(dx * double(m_scene.worldWidth()),
                                                   dy * double(m_scene.worldHeight()));
  setViewCentre(m_scene.centreX() + shift.x, m_scene.centreY() + shift.y);
}

void TSEditorForm::goHome() {
  const TConfig& config = *m_registry.config;
  setViewCentre(storedCentre(config, "LastX"), storedCentre(config, "LastY"));
}

void TSEditorForm::goTo() {
  const QString current = QStringLiteral("%1, %2").arg(m_scene.centreX()).arg(m_scene.centreY());
  const auto text = m_dialogs.inputBox(QStringLiteral("Go to..."), QStringLiteral("x, y"), current);
  if (!text) return;
  QStringList pieces = text->split(QRegularExpression(QStringLiteral("[,;\\s]+")),
                                   Qt::SkipEmptyParts);
  if (pieces.size() != 2)
    throw Error(str(QStringLiteral("'%1' is not a position: type x, y.").arg(*text)));
  const std::int32_t x = parseInt(str(pieces[0]));
  const std::int32_t y = parseInt(str(pieces[1]));
  if (!m_scene.inWorld({x, y})) {
    const auto size = m_scene.worldSize().value_or(std::pair{0x10000, 0x10000});
    throw Error(str(QStringLiteral("%1,%2 lies outside the world of %3 x %4 cells.")
                        .arg(x)
                        .arg(y)
                        .arg(size.first)
                        .arg(size.second)));
  }
  setViewCentre(x, y);
}

void TSEditorForm::middlePress(QPoint p) {
  if (!isActiveWindow()) activateWindow();
  m_pan = Pan{p, m_scene.centreX(), m_scene.centreY()};
}

void TSEditorForm::panTo(QPoint p) {
  // The world follows the mouse: the centre moves against the drag.
  const double zoom = m_scene.zoom();
  const CellPos shift = EditorScene::cellsForShift(-(p.x() - m_pan->from.x()) * zoom,
                                                   -(p.y() - m_pan->from.y()) * zoom);
  const int x = m_pan->cx + shift.x;
  const int y = m_pan->cy + shift.y;
  if (x != m_scene.centreX() || y != m_scene.centreY()) setViewCentre(x, y);
}

void TSEditorForm::requestRebuild() {
  m_scene.requestRebuild();
  refresh();
}

void TSEditorForm::requestResort() {
  m_scene.requestResort();
  refresh();
}

void TSEditorForm::setEditorTool(int tool) {
  if (tool >= 0 && tool < kToolCount) m_tool = tool;
  updateMarks();
  emit toolChanged();
}

void TSEditorForm::setCursorReach(int rx, int ry) {
  m_reachX = rx;
  m_reachY = ry;
  m_brush = LandBrush::ofReach(rx, ry);
  emit toolChanged();
}

void TSEditorForm::setLandBrush(const LandBrush& brush) {
  m_brush = brush;
  m_reachX = static_cast<int>(std::min<std::int64_t>(brush.reachX(), INT_MAX));
  m_reachY = static_cast<int>(std::min<std::int64_t>(brush.reachY(), INT_MAX));
  emit toolChanged();
}

void TSEditorForm::setToolHandler(int tool, ToolHandler handler) {
  m_tools[tool] = std::move(handler);
}

void TSEditorForm::applyTool(std::int32_t serial) {
  if (serial == -1 || m_tool == 0) return;
  const auto found = m_tools.find(m_tool);
  if (found == m_tools.end() || !found->second) return;
  // Item Info and the tools that only read (Get Id, Get Colour, Get Land Id) work while the
  // shared world takes no edits; the others click on without an effect.
  const bool readOnly = m_shared && !m_shared->mayEdit() && m_tool != 1 &&
                        (m_tool < 18 || m_tool > 20);
  // The error box takes the button's release: without ending the drag here, every cell the mouse
  // passes afterwards would run the tool again, each with its own box.
  if (!readOnly && !runAction(m_dialogs, [&] { found->second(*this, serial); })) endStroke();
  if (!m_undo.inGroup()) updateUndoActions();
  updateMarks();
  refresh();
  worldChanged();
}

void TSEditorForm::endStroke() {
  m_leftDown = false;
  while (m_undo.inGroup()) m_undo.endGroup();
  updateUndoActions();
}

void TSEditorForm::selectInModel(const TItem& item, bool selected) {
  if (selected)
    m_registry.items->select(&item);
  else
    m_registry.items->deselect(&item);
}

void TSEditorForm::hoverItem(std::int32_t serial) {
  auto& items = m_scene.visibleItems();
  if (serial == m_lastHovered || items.empty()) return;
  // Drag painting: every tool but the ones that take a single deliberate click.
  const bool singleClickTool = m_tool == 1 || m_tool == 6 || (m_tool >= 7 && m_tool <= 16);
  if (m_leftDown && !singleClickTool) applyTool(serial);

  const auto unhover = [](TItem& it) { it.selected &= static_cast<std::uint8_t>(~kHoverLook); };
  if (m_areaHighlight) {
    for (TItem& it : items)
      if (isLandKind(it.kind)) unhover(it);
    m_areaHighlight = false;
  } else if (TItem* old = m_scene.findVisibleItem(m_lastHovered)) {
    unhover(*old);
  }
  std::optional<TItem> hovered;
  if (m_reachX == 1 && m_reachY == 1) {
    for (TItem& it : items) {
      if (it.serial == serial) {
        it.selected |= kHoverLook;
        m_status[0]->setText(QString::asprintf("ID: 0x%X   Pos: %d,%d,%d   Color: 0x%X", it.tileId,
                                               it.x, it.y, it.z, it.hue));
        if (!hovered) hovered = it;
      } else if (it.serial == m_lastHovered) {
        unhover(it);
      }
    }
    if (hovered) selectInModel(*hovered, true);
  } else {
    const TItem* found = m_scene.findVisibleItem(serial);
    if (!found) {
      refresh();
      return;
    }
    const TItem centre = *found;
    m_status[0]->setText(QString::asprintf("Pos: %d,%d", centre.x, centre.y));
    for (TItem& it : items)
      if (isLandKind(it.kind) && std::abs(it.x - centre.x) <= m_reachX - 1 &&
          std::abs(it.y - centre.y) <= m_reachY - 1)
        it.selected |= kHoverLook;
    m_areaHighlight = true;
  }
  if (m_lastHovered != -1)
    for (const TItem& it : items)
      if (it.serial == m_lastHovered) {
        selectInModel(it, false);
        break;
      }
  m_lastHovered = serial;
  refresh();
}

void TSEditorForm::buildViewKeys() {
  // The view's keys are actions, so that the editor takes them before its controls and a tool
  // window that has the focus passes them on (a field keeps the keys it edits with).
  auto key = [this](const QString& name, std::initializer_list<QKeySequence> keys,
                    const std::function<void()>& action) {
    auto* a = new QAction(name, this);
    a->setObjectName(name);
    a->setShortcuts(QList<QKeySequence>(keys));
    connect(a, &QAction::triggered, this, [this, action] { runAction(m_dialogs, action); });
    addAction(a);
    m_viewKeys << a;
    return a;
  };
  const auto step = [this](int dx, int dy) {
    setViewCentre(m_scene.centreX() + dx, m_scene.centreY() + dy);
  };
  key(QStringLiteral("Move Left"), {Qt::Key_Left}, [step] { step(-1, 1); });
  key(QStringLiteral("Move Right"), {Qt::Key_Right}, [step] { step(1, -1); });
  key(QStringLiteral("Move Up"), {Qt::Key_Up}, [step] { step(-1, -1); });
  key(QStringLiteral("Move Down"), {Qt::Key_Down}, [step] { step(1, 1); });
  key(QStringLiteral("Screen Left"), {Qt::SHIFT | Qt::Key_Left}, [this] { moveScreens(-1, 0); });
  key(QStringLiteral("Screen Right"), {Qt::SHIFT | Qt::Key_Right}, [this] { moveScreens(1, 0); });
  key(QStringLiteral("Screen Up"), {Qt::SHIFT | Qt::Key_Up}, [this] { moveScreens(0, -1); });
  key(QStringLiteral("Screen Down"), {Qt::SHIFT | Qt::Key_Down}, [this] { moveScreens(0, 1); });
  key(QStringLiteral("Zoom In"),
      {Qt::Key_Plus, Qt::KeypadModifier | Qt::Key_Plus, Qt::Key_Equal, Qt::SHIFT | Qt::Key_Plus},
      [this] { zoomSteps(-1); });
  key(QStringLiteral("Zoom Out"), {Qt::Key_Minus, Qt::KeypadModifier | Qt::Key_Minus},
      [this] { zoomSteps(1); });
  key(QStringLiteral("Go Home"), {Qt::Key_Home}, [this] { goHome(); });
  key(QStringLiteral("Cancel Corners"), {Qt::Key_Escape}, [this] { cancelCorners(); });
}

void TSEditorForm::keyPressEvent(QKeyEvent* event) {
  // Space held down turns a left drag into a pan.
  if (event->key() == Qt::Key_Space) {
    if (!event->isAutoRepeat()) m_spaceDown = true;
    return;
  }
  QMainWindow::keyPressEvent(event);
}

void TSEditorForm::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
    m_spaceDown = false;
    return;
  }
  QMainWindow::keyReleaseEvent(event);
}

void TSEditorForm::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  // A Space released while another window had the keys never reaches the editor: it counts as
  // released once the editor is no longer the active window.
  if (event->type() == QEvent::ActivationChange && !isActiveWindow()) m_spaceDown = false;
}

void TSEditorForm::leftPress(QPoint p, Qt::KeyboardModifiers modifiers) {
  // The press that brings the editor to the front (after a button of a tool window was pressed)
  // is already the user's click into the world: one click is one edit.
  if (!isActiveWindow()) activateWindow();
  if (m_spaceDown) {
    m_pan = Pan{p, m_scene.centreX(), m_scene.centreY()};
    return;
  }
  if (m_selection->press(p, modifiers)) return;
  m_leftDown = true;
  // Everything the press and the drag after it change is one undo step, named by the tool.
  m_undo.beginGroup(editorToolStepName(m_tool));
  m_view->prepareIfNeeded();
  applyTool(m_scene.pick(p.x(), p.y()));
}

void TSEditorForm::leftRelease(QPoint p, Qt::KeyboardModifiers) {
  m_pan.reset();
  m_selection->release(p);
  endStroke();
}

void TSEditorForm::undo() {
  if (m_shared) {
    m_leftDown = false;
    while (m_undo.inGroup()) m_undo.endGroup();
    m_shared->undo();
    return;
  }
  replay(false);
}

void TSEditorForm::redo() {
  if (!m_shared) replay(true);
}

void TSEditorForm::detachShared() {
  if (!m_shared) return;
  delete m_history;
  m_history = nullptr;
  delete m_shared;
  m_shared = nullptr;
  m_undo.setStepHandler({});
  m_sharedLine->hide();
  setSharedActions(false);
  updateUndoActions();
}

void TSEditorForm::setSharedActions(bool shared) {
  // The world's files are written by the world (quillotide-cli shared export), not from here.
  for (QMenu* menu : m_menus)
    for (QAction* a : menu->actions())
      if (a->text().startsWith(QStringLiteral("Patch "))) a->setEnabled(!shared);
  m_historyAction->setEnabled(shared);
}

void TSEditorForm::attachShared(std::unique_ptr<SharedSession> session) {
  followModels();
  // Another world (or the same again) replaces the link and the list of its steps.
  detachShared();
  m_shared = new SharedLink(*this, std::move(session), m_dialogs, m_registry.worldFile.get());
  m_undo.setStepHandler([this](const std::string& label) { m_shared->stepRecorded(label); });
  if (!m_sharedLine) {
    // In the row of the position texts, across the window: the view keeps its size.
    m_sharedLine = new RowLine(this);
    m_sharedLine->setObjectName(QStringLiteral("lblSharedWorld"));
    m_sharedLine->setContentsMargins(4, 0, 12, 0);
    if (auto* row = findChild<QToolBar*>(QStringLiteral("PositionRow"))) row->addWidget(m_sharedLine);
  }
  m_sharedLine->show();
  setSharedActions(true);
  connect(m_shared, &SharedLink::stateChanged, this, [this] { updateSharedLine(); });
  updateSharedLine();
  requestRebuild();
}

std::array<int, 4> TSEditorForm::viewCells() const {
  const auto [x0, y0, x1, y1] = m_scene.viewBox();
  return {x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

void TSEditorForm::updateSharedLine() {
  if (!m_shared) return;
  // One line, whatever the server said: a taller row would take height from the view.
  static_cast<RowLine*>(m_sharedLine)->setLine(m_shared->statusText().simplified());
  updateUndoActions();
}

void TSEditorForm::replay(bool forward) {
  // A stroke still open (its release went to another window) ends here.
  m_leftDown = false;
  while (m_undo.inGroup()) m_undo.endGroup();
  if (!(forward ? m_undo.canRedo() : m_undo.canUndo())) return;
  // The two-click tools start again: their first corner may lie on what comes back.
  cancelCorners();
  runAction(m_dialogs, [&] { forward ? m_undo.redo() : m_undo.undo(); });
  updateUndoActions();
  requestRebuild();
  worldChanged();
}

void TSEditorForm::updateUndoActions() {
  if (!m_undoAction) return;
  if (m_shared) {
    m_undoAction->setEnabled(m_shared->mayEdit());
    m_undoAction->setText(QStringLiteral("Undo My Last Step"));
    m_redoAction->setEnabled(false);
    m_redoAction->setText(QStringLiteral("Redo"));
    return;
  }
  const bool open = m_undo.inGroup();
  m_undoAction->setEnabled(!open && m_undo.canUndo());
  m_redoAction->setEnabled(!open && m_undo.canRedo());
  const auto caption = [](const char* verb, const std::string& step) {
    return step.empty() ? QString::fromLatin1(verb)
                        : QStringLiteral("%1 %2").arg(QLatin1String(verb),
                                                      QString::fromStdString(step));
  };
  m_undoAction->setText(caption("Undo", m_undo.undoLabel()));
  m_redoAction->setText(caption("Redo", m_undo.redoLabel()));
}

void TSEditorForm::rightPress(QPoint p) {
  if (!isActiveWindow()) activateWindow();
  const double zoom = m_scene.zoom();
  const int dx = p.x() - m_scene.clientWidth() / 2;
  const int dy = p.y() - m_scene.clientHeight() / 2;
  setViewCentre(m_scene.centreX() + static_cast<int>((dx + dy) / double(kRightClickCell) * zoom),
                m_scene.centreY() + static_cast<int>((dy - dx) / double(kRightClickCell) * zoom));
}

void TSEditorForm::mouseMoved(QPoint p, Qt::MouseButtons) {
  m_mouse = p;
  if (m_pan) {
    panTo(p);
    return;
  }
  m_selection->moved(p);
  m_view->prepareIfNeeded();
  hoverItem(m_scene.pick(p.x(), p.y()));
  updateOutline();
  updateStatus();
}

// ---- menu ----------------------------------------------------------------------------------

QAction* TSEditorForm::addItem(QMenu* menu, const QString& caption,
                               const std::function<void()>& action) {
  QAction* a = menu->addAction(caption);
  connect(a, &QAction::triggered, this, [this, action] { runAction(m_dialogs, action); });
  return a;
}

QAction* TSEditorForm::addToggle(QMenu* menu, const QString& on, const QString& off, bool initial,
                                 const std::function<void(bool)>& changed) {
  // The caption names what a click does next, so it follows the state.
  QAction* a = menu->addAction(initial ? on : off);
  a->setProperty("toggled", initial);
  connect(a, &QAction::triggered, this, [this, a, on, off, changed] {
    const bool state = !a->property("toggled").toBool();
    a->setProperty("toggled", state);
    a->setText(state ? on : off);
    changed(state);
    refresh();
  });
  return a;
}

void TSEditorForm::buildMenu() {
  QMenuBar* bar = menuBar();
  auto menu = [&](QMenu* parent, const QString& title) {
    QMenu* m = parent ? parent->addMenu(title) : bar->addMenu(title);
    m_menus.push_back(m);
    return m;
  };
  QMenu* edit = menu(nullptr, QStringLiteral("Edit"));
  m_undoAction = edit->addAction(QStringLiteral("Undo"));
  m_undoAction->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Z)});
  connect(m_undoAction, &QAction::triggered, this, [this] { undo(); });
  m_redoAction = edit->addAction(QStringLiteral("Redo"));
  m_redoAction->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
  connect(m_redoAction, &QAction::triggered, this, [this] { redo(); });
  connect(edit, &QMenu::aboutToShow, this, [this] { updateUndoActions(); });
  edit->addSeparator();
  // The steps of a shared world; there is no history of files.
  m_historyAction = addItem(edit, QStringLiteral("History..."), [this] {
    if (!m_shared) return;
    if (!m_history) m_history = new THistoryForm(*this);
    m_history->show();
    m_history->raise();
    m_history->reload();
  });
  m_historyAction->setEnabled(false);
  updateUndoActions();

  QMenu* diffs = menu(nullptr, QStringLiteral("Diffs"));
  addItem(diffs, QStringLiteral("Load StaticDiffs"), [this] { loadDiffs(); });
  addItem(diffs, QStringLiteral("Save StaticDiffs (changes only)"), [this] { saveDiffs(0); });
  addItem(diffs, QStringLiteral("Save StaticDiffs (new items included)"), [this] { saveDiffs(1); });
  addItem(diffs, QStringLiteral("Save StaticDiffs (new items and complete worldfile included)"),
          [this] { saveDiffs(2); });
  addItem(diffs, QStringLiteral("Show StaticDiff Overview"),
          [this] { emit toolWindowRequested(QStringLiteral("Show StaticDiff Overview")); });

  QMenu* options = menu(nullptr, QStringLiteral("Options"));
  QMenu* solution = menu(options, QStringLiteral("Solution"));
  addItem(solution, QStringLiteral("640x480"), [this] { chooseSolution(640, 480); });
  addItem(solution, QStringLiteral("800x600"), [this] { chooseSolution(800, 600); });
  addItem(solution, QStringLiteral("1024x768"), [this] { chooseSolution(1024, 768); });
  addItem(options, QStringLiteral("Set Custom Cursor"), [this] { setCustomCursor(); });
  addItem(options, QStringLiteral("Load StaticDiffs"), [] {});
  addItem(options, QStringLiteral("Clear Statics"), [this] { clearStatics(); });

  QMenu* patch = menu(nullptr, QStringLiteral("Patch"));
  addItem(patch, QStringLiteral("Patch Map"), [this] { patchMap(); });
  QMenu* patchStat = menu(patch, QStringLiteral("Patch Statics"));
  addItem(patchStat, QStringLiteral("Patch Statics (only changes on existing statics)"),
          [this] { patchStatics(0); });
  addItem(patchStat, QStringLiteral("Patch Statics (all new items included)"),
          [this] { patchStatics(1); });
  addItem(patchStat,
          QStringLiteral("Patch Statics (all new items and the complete worldfile included)"),
          [this] { patchStatics(2); });

  QMenu* view = menu(nullptr, QStringLiteral("View"));
  QMenu* items = menu(view, QStringLiteral("Items"));
  auto source = [&](const QString& caption, void (EditorScene::*set)(bool)) {
    QAction* a = items->addAction(caption);
    a->setCheckable(true);
    a->setChecked(true);
    connect(a, &QAction::toggled, this, [this, set](bool on) {
      (m_scene.*set)(on);
      refresh();
    });
  };
  source(QStringLiteral("Statics"), &EditorScene::setSourceStatics);
  source(QStringLiteral("Worldfile"), &EditorScene::setSourceWorldFile);
  source(QStringLiteral("StaticDiffs"), &EditorScene::setSourceDiffs);
  QMenu* map = menu(view, QStringLiteral("Map"));
  addToggle(map, QStringLiteral("Hide Map"), QStringLiteral("Show Map"), true,
            [this](bool on) { m_scene.setShowMap(on); });
  addToggle(map, QStringLiteral("Show Map 3D"), QStringLiteral("Show Map 2D"), false,
            [this](bool on) { m_scene.setFlat2D(on); });
  addToggle(map, QStringLiteral("Hide Z-Level"), QStringLiteral("Show Z-Level"), true,
            [this](bool on) { m_scene.setShowAltitudes(on); });
  addToggle(map, QStringLiteral("Hide Web"), QStringLiteral("Show Web"), false,
            [this](bool on) { m_scene.setShowWeb(on); });
  QMenu* tools = menu(view, QStringLiteral("Tools"));
  for (const QString& caption : {QStringLiteral("Show Maptool"), QStringLiteral("Show Statictool")})
    addItem(tools, caption, [this, caption] { emit toolWindowRequested(caption); });
  QAction* overview = addItem(view, QStringLiteral("Show WorldMap"), [this] {
    TMapForm& overviewForm = m_toolWindows->mapOverview();
    overviewForm.setView(m_scene.viewCorners());
    overviewForm.show();
    overviewForm.raise();
  });
  overview->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
  QAction* goToAction = addItem(view, QStringLiteral("Go to..."), [this] { goTo(); });
  goToAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
  m_viewKeys << overview << goToAction;

  QMenu* world = menu(nullptr, QStringLiteral("Worldfile"));
  const struct {
    const char* name;
    const char* filter;
    WorldTextFormat format;
  } formats[] = {{"Textfile", "*.txt|*.txt", WorldTextFormat::Plain},
                 {"Sphere51a", "*.scp|*.scp", WorldTextFormat::Sphere51a},
                 {"Wsc", "*.wsc|*.wsc", WorldTextFormat::Wsc}};
  for (const auto& f : formats)
    addItem(world, QStringLiteral("Load Worldfile from %1").arg(f.name),
            [this, f] { loadWorldFile(f.filter, static_cast<int>(f.format)); });
  for (const auto& f : formats)
    addItem(world, QStringLiteral("Save Worldfile to %1").arg(f.name),
            [this, f] { saveWorldFile(f.filter, static_cast<int>(f.format)); });
  addItem(world, QStringLiteral("Clear Worldfile"), [this] { clearWorldFile(); });
}

void TSEditorForm::loadDiffs() {
  const auto dir = m_dialogs.chooseFolder(QStringLiteral("Where are your Diff-Files?"));
  if (!dir) return;
  // The load replaces the diff items, edits and all.
  if (hasUnsaved(WorldPart::Diffs)) {
    const auto answer = m_dialogs.ask(
        QStringLiteral("Load StaticDiffs"),
        QStringLiteral("The static diffs have unsaved changes. Loading %1 drops them. Load "
                       "anyway?")
            .arg(*dir),
        {QStringLiteral("Load"), QStringLiteral("Cancel")});
    if (answer != 0) return;
  }
  // A failed load has already emptied the diff items: the view shows what is left either way.
  struct Rebuild {
    TSEditorForm* form;
    ~Rebuild() { form->requestRebuild(); }
  } rebuildAfter{this};
  m_registry.alignDiffWorld();
  m_registry.staticDiff->loadDiffs(str(*dir));
  // The store holds other items now; edits of the old ones are found again by what they hold.
  noteSaved(WorldPart::Diffs);
  QStringList problems;
  for (const std::string& p : m_registry.staticDiff->takeProblems())
    problems << QString::fromStdString(p);
  if (!problems.isEmpty()) m_dialogs.showMessage(problems.join(QLatin1Char('\n')));
}

bool TSEditorForm::saveDiffs(int mode) {
  // The folder the diffs were loaded from (or last saved into) is proposed.
  const auto dir =
      m_dialogs.chooseFolder(QStringLiteral("Where do you want to have your Diff-Files?"),
                             QString::fromStdString(m_registry.staticDiff->directory()));
  if (!dir) return false;
  if (!mayReplaceDiffsIn(*dir)) return false;
  m_registry.alignDiffWorld();
  const auto blocks = m_registry.staticDiff->saveDiffs(
      str(*dir), static_cast<StaticsSaveMode>(mode), m_registry.worldFile.get());
  noteSaved(WorldPart::Diffs);
  if (mode != 0) noteSaved(WorldPart::WorldFile);
  // The save empties the diff items and numbers them afresh; the copies drawn carry old serials.
  requestRebuild();
  m_dialogs.showMessage(blocks ? QStringLiteral("%1 StaticDiff-Blocks saved.").arg(*blocks)
                               : QStringLiteral("No static diffs to save."));
  return true;
}

bool TSEditorForm::mayReplaceDiffsIn(const QString& dir) {
  // The save writes the diff set the store holds, which is that folder's own only when it was
  // loaded from (or saved into) there; another folder's files would be replaced by it.
  // The facet's files, whatever the case of their names.
  m_registry.alignDiffWorld();
  const StaticDiffPaths files = StaticDiffPaths::in(str(dir), m_registry.staticDiff->facet());
  bool holdsDiffs = false;
  for (const std::string& path : {files.blockList, files.index, files.data})
    holdsDiffs = holdsDiffs || fileExists(path);
  if (!holdsDiffs) return true;
  const std::string& own = m_registry.staticDiff->directory();
  if (!own.empty() && QFileInfo(QString::fromStdString(own)).canonicalFilePath() ==
                          QFileInfo(dir).canonicalFilePath())
    return true;
  const auto answer = m_dialogs.ask(
      QStringLiteral("Save StaticDiffs"),
      QStringLiteral("%1 holds static diff files that were not loaded. Saving replaces them "
                     "with the blocks of this diff set only. Replace them?")
          .arg(dir),
      {QStringLiteral("Replace"), QStringLiteral("Cancel")});
  return answer == 0;
}

void TSEditorForm::chooseSolution(int width, int height) {
  m_registry.config->setInt("EditorWidth", width);
  m_registry.config->setInt("EditorHeight", height);
  // A preset sizes the view at once; the window stays free to be resized after.
  if (isMaximized() || isFullScreen()) showNormal();
  m_view->setPreferredSize(QSize(width, height));
  resize(size() + QSize(width, height) - m_view->size());
}

void TSEditorForm::setCustomCursor() {
  // A land tool changes every cell of the cursor in one step, each recorded for undo: a longer
  // side is cut to the longest one a step can take, and the user is told.
  const auto reachOf = [this](const QString& text) {
    const std::int64_t length = parseInt(str(text));
    if (length > LandBrush::kMaxCustomSize)
      m_dialogs.showMessage(
          QStringLiteral("A cursor is at most %1 cells long: a land tool changes at most %1 x %1 "
                         "cells in one step. %2 was cut to %1.")
              .arg(LandBrush::kMaxCustomSize)
              .arg(length));
    return static_cast<int>((std::min<std::int64_t>(length, LandBrush::kMaxCustomSize) + 1) / 2);
  };
  const auto x =
      m_dialogs.inputBox(QStringLiteral("Cursorlength X"), QString(), QStringLiteral("1"));
  if (!x) return;
  // Through the setter, so the land brush and the tool windows follow the new reach.
  setCursorReach(reachOf(*x), m_reachY);
  const auto y =
      m_dialogs.inputBox(QStringLiteral("Cursorlength Y"), QString(), QStringLiteral("1"));
  if (!y) return;
  setCursorReach(m_reachX, reachOf(*y));
}

void TSEditorForm::clearStatics() {
  TStatics& statics = *m_registry.statics;
  if (!statics.isLoaded()) throw Error("Load Statics first.");
  const bool inPlace = statics.mode() != StorageMode::Memory;
  QString text = QStringLiteral(
      "Remove every static of the world? Undo brings them back; the files change only when the "
      "statics are patched.");
  if (inPlace)
    text = QStringLiteral(
               "Remove every static of the world? The statics are held open in %1, so they are "
               "emptied on disk at once; this cannot be undone.")
               .arg(QString::fromStdString(statics.dataPath()));
  const auto answer = m_dialogs.ask(QStringLiteral("Clear Statics"), text,
                                    {QStringLiteral("Clear"), QStringLiteral("Cancel")});
  if (answer != 0) return;
  // Whatever part of the clear was done is shown.
  struct Rebuild {
    TSEditorForm* form;
    ~Rebuild() { form->requestRebuild(); }
  } rebuildAfter{this};
  const std::string said = m_edits.clearStatics(m_main.gauge());
  updateUndoActions();
  m_dialogs.showMessage(QString::fromStdString(said));
}

bool TSEditorForm::patchMap() {
  const int count = m_registry.map->saveChangedBlocks();
  noteSaved(WorldPart::Map);
  m_dialogs.showMessage(QString::fromStdString(TMap::patchedMessage(count)));
  return true;
}

bool TSEditorForm::patchStatics(int mode) {
  const TStatics& statics = *m_registry.statics;
  if (statics.isLoaded() && statics.mode() != StorageMode::Memory) {
    // Held open, the statics can only be patched where they are: no targets are asked for, and
    // the files that change are named.
    const std::string index = statics.indexPath(), dataFile = statics.dataPath();
    const auto said = m_registry.statics->save(index, dataFile, static_cast<StaticsSaveMode>(mode),
                                               m_registry.worldFile.get(), m_main.gauge());
    if (m_selection) m_selection->forgetFound();
    noteSaved(WorldPart::Statics);
    if (mode != 0) noteSaved(WorldPart::WorldFile);
    requestRebuild();
    m_dialogs.showMessage(
        QStringLiteral("%1\nWritten into the open files %2 and %3 (Low Memory).")
            .arg(said ? QString::fromStdString(*said) : QStringLiteral("Nothing was changed."),
                 QString::fromStdString(index), QString::fromStdString(dataFile)));
    return true;
  }
  // The files the statics were loaded from are proposed: patching them is what the user means.
  const auto proposed = [](const std::string& loaded, const char* name) {
    return loaded.empty() ? QString::fromLatin1(name) : QString::fromStdString(loaded);
  };
  const auto index =
      m_dialogs.saveFile({QStringLiteral("Staidx0.mul"), QStringLiteral("Staidx0.mul|Staidx0.mul"),
                          QString(), proposed(statics.indexPath(), "Staidx0.mul")});
  if (!index) return false;
  const auto dataPath = m_dialogs.saveFile({QStringLiteral("Statics0.mul"),
                                            QStringLiteral("Statics0.mul|Statics0.mul"), QString(),
                                            proposed(statics.dataPath(), "Statics0.mul")});
  if (!dataPath) return false;
  const auto said =
      m_registry.statics->save(str(*index), str(*dataPath), static_cast<StaticsSaveMode>(mode),
                               m_registry.worldFile.get(), m_main.gauge());
  if (m_selection) m_selection->forgetFound();
  noteSaved(WorldPart::Statics);
  if (mode != 0) noteSaved(WorldPart::WorldFile);
  // The save numbers the statics afresh; the copies drawn so far carry the old serials.
  requestRebuild();
  if (said) m_dialogs.showMessage(QString::fromStdString(*said));
  return true;
}

void TSEditorForm::loadWorldFile(const QString& filter, int format) {
  const auto path = m_dialogs.openFile({QString(), filter, QString(), QString()});
  if (!path) return;
  // Items added before a failing line stay; the view shows them either way.
  struct Rebuild {
    TSEditorForm* form;
    ~Rebuild() { form->requestRebuild(); }
  } rebuildAfter{this};
  m_edits.loadWorldFile(str(*path), static_cast<WorldTextFormat>(format));
  m_worldFilePath = *path;
  m_worldFileFormat = format;
  updateUndoActions();
}

bool TSEditorForm::saveWorldFile(const QString& filter, int format) {
  // The world file loaded is proposed when it is saved in the format it was read in.
  const QString proposed = format == m_worldFileFormat ? m_worldFilePath : QString();
  const auto path = m_dialogs.saveFile({QString(), filter, QString(), proposed});
  if (!path) return false;
  m_registry.worldFile->save(str(*path), static_cast<WorldTextFormat>(format));
  m_worldFilePath = *path;
  m_worldFileFormat = format;
  noteSaved(WorldPart::WorldFile);
  return true;
}

void TSEditorForm::clearWorldFile() {
  m_edits.clearWorldFile();
  // Cleared on purpose: nothing is left to save until the clear is undone.
  noteSaved(WorldPart::WorldFile);
  updateUndoActions();
  requestRebuild();
}

// ---- show, hide, close ---------------------------------------------------------------------

void TSEditorForm::noteUnsaved(WorldPart part) { m_unsaved |= static_cast<int>(part); }

void TSEditorForm::noteSaved(WorldPart part) {
  m_unsaved &= ~static_cast<int>(part);
  // What the models hold now is what undo and redo measure unsaved changes against.
  m_undo.markSaved(partBit(part));
}

int TSEditorForm::unsavedParts() const {
  int parts = m_unsaved;
  for (const WorldPart part :
       {WorldPart::Map, WorldPart::Statics, WorldPart::Diffs, WorldPart::WorldFile})
    if (!m_undo.isAtSaved(partBit(part))) parts |= static_cast<int>(part);
  return parts;
}

bool TSEditorForm::hasUnsaved() const { return unsavedParts() != 0; }

bool TSEditorForm::hasUnsaved(WorldPart part) const {
  return (unsavedParts() & static_cast<int>(part)) != 0;
}

bool TSEditorForm::saveUnsaved() {
  // Every part the question named is saved, or the editor stays open.
  bool done = true;
  const bool ran = runAction(m_dialogs, [&] {
    if (hasUnsaved(WorldPart::Map)) done = done && patchMap();
    if (done && hasUnsaved(WorldPart::Statics)) done = patchStatics(0);
    if (done && hasUnsaved(WorldPart::Diffs)) done = saveDiffs(0);
    if (done && hasUnsaved(WorldPart::WorldFile))
      done = saveWorldFile(QStringLiteral("*.txt|*.txt"), static_cast<int>(WorldTextFormat::Plain));
  });
  return ran && done && !hasUnsaved();
}

bool TSEditorForm::confirmClose() {
  if (!hasUnsaved()) return true;
  const auto answer = m_dialogs.ask(
      QStringLiteral("Editor"),
      QStringLiteral("The world has unsaved changes (%1). Save them before closing?")
          .arg(partNames(unsavedParts())),
      {QStringLiteral("Save"), QStringLiteral("Don't Save"), QStringLiteral("Cancel")});
  if (!answer || *answer == 2) return false;
  if (*answer == 1) return true;
  return saveUnsaved();
}

void TSEditorForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // Restoring the minimised editor keeps the tool whose button is still down.
  if (event->spontaneous()) return;
  // A close of the program that was cancelled after the editor had been put away leaves it open.
  m_closing = false;
  m_tool = 0;
  emit editorShown();
  emit toolChanged();
}

void TSEditorForm::hideEvent(QHideEvent* event) {
  QMainWindow::hideEvent(event);
  if (event->spontaneous()) return;
  runAction(m_dialogs, [&] {
    m_registry.config->setInt("LastX", m_scene.centreX());
    m_registry.config->setInt("LastY", m_scene.centreY());
  });
  emit editorHidden();
  if (!m_closing) m_main.show();
}

void TSEditorForm::closeEvent(QCloseEvent* event) {
  if (!confirmClose()) {
    event->ignore();
    return;
  }
  // Its tool windows, choosers and overviews show its world: they close with it.
  for (QWidget* window : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
    if (window->isWindow()) window->hide();
  event->accept();
}

bool TSEditorForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &m_main && event->type() == QEvent::Close) {
    if (!confirmClose()) {
      event->ignore();
      return true;
    }
    m_closing = true;
    hide();
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace quillotide::ui
