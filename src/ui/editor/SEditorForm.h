#pragma once
// TSEditorForm: the world editor window "Editor". It draws the world around a view centre
// (EditorScene through an EditorView), moves and zooms with keys and right clicks, highlights the
// item under the mouse with its status text, hands clicked items to the current tool
// (EditorTool, through ApplyTool, the one dispatch point of every tool) and offers the menu that
// loads and saves world files and diffs, writes map and statics back and switches what is drawn.
//
// Showing the editor hides the main window; hiding it stores the view centre under LastX/LastY
// and shows the main window again. Closing the editor or the program while the world has unsaved
// changes asks whether to save them first.

#include <array>
#include <functional>
#include <map>

#include <QMainWindow>

#include "world/EditorScene.h"
#include "world/SharedSession.h"
#include "world/LandBrush.h"
#include "world/UndoStack.h"
#include "world/WorldUndo.h"

class QAction;
class QLabel;
class QMenu;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;
class EditorSelection;
class SharedLink;
class THistoryForm;
class EditorToolWindows;
class EditorView;
class TMainForm;


class TSEditorForm : public QMainWindow {
  Q_OBJECT
public:
  static constexpr int kDefaultWidth = 800;
  static constexpr int kDefaultHeight = 600;
  static constexpr int kStatusPanelWidth = 300;
  // Tools 26 "Smooth" and 27 "Flatten" follow the land tools 20 to 25.
  static constexpr int kToolCount = 28;

  // withOpenGL false draws nothing (the editor's logic stays whole), as where OpenGL is missing.
  TSEditorForm(TMainForm& main, bool withOpenGL = true);
  ~TSEditorForm() override;

  // The program's one editor window, made hidden on first use.
  static TSEditorForm& of(TMainForm& main);
  // The editor window when it has been made, else nullptr.
  static TSEditorForm* existing(const TMainForm& main);
  // Runs the loads the editor needs that have not run yet, shows the editor, hides the main
  // window.
  static void open(TMainForm& main);

  EditorScene& scene() { return m_scene; }
  EditorView* view() const { return m_view; }
  EditorToolWindows& toolWindows() const { return *m_toolWindows; }
  // The Select tool (EditorTool 0) and the selected items, with copy, paste and find.
  EditorSelection& selection() const { return *m_selection; }
  // Panel 0: the hovered item; 1: the mouse and the zoom; 2: the cell under the mouse, the view
  // centre, the zoom and the tool; 3: the first corner a two-click tool waits with.
  static constexpr int kStatusPanels = 4;
  QString statusText(int panel) const;
  // The menu action with this caption (as currently shown), or nullptr.
  QAction* action(const QString& caption) const;

  // Interfaces for the tool windows.
  void setViewCentre(int x, int y);
  // The cell under the mouse (the item's cell where an item is drawn there, else the ground at
  // altitude 0) with its land altitude; nullopt while the mouse is not over the world.
  struct CellUnderMouse {
    int x = 0;
    int y = 0;
    int z = 0;
  };
  std::optional<CellUnderMouse> cellUnderMouse();
  // The tool's name as the status bar shows it ("None", "Delete", "Tile", ...).
  static QString toolName(int tool);
  // Moves the view a number of zoom steps (positive: farther away) about its centre.
  void zoomSteps(int steps);
  // "Go to..." (Ctrl+G): asks for "x, y" and centres the view there.
  void goTo();
  // Forgets the first corners of the two-click tools (Esc).
  void cancelCorners();
  void requestRebuild();
  void requestResort();
  TItem* findVisibleItem(std::int32_t serial) { return m_scene.findVisibleItem(serial); }
  int editorTool() const { return m_tool; }
  void setEditorTool(int tool);
  int cursorReachX() const { return m_reachX; }
  int cursorReachY() const { return m_reachY; }
  // Also makes the land brush the square of the reach.
  void setCursorReach(int rx, int ry);
  // The cells the land tools change around the clicked cell; its outline is what the view shows
  // under the mouse. Setting it makes the cursor reach the reach that covers it.
  const LandBrush& landBrush() const { return m_brush; }
  void setLandBrush(const LandBrush& brush);
  std::int32_t lastHovered() const { return m_lastHovered; }
  // First corners of the two-click tools ("Tile", the area move, "Nuke"); x -1 while none is set.
  struct ToolCorner {
    int x = -1;
    int y = -1;
    bool isSet() const { return x != -1; }
  };
  ToolCorner& tileCorner() { return m_tileCorner; }
  ToolCorner& moveCorner() { return m_moveCorner; }
  ToolCorner& nukeCorner() { return m_nukeCorner; }
  // Forgets the pressed left button, so that no drag painting follows.
  void endDrag() { m_leftDown = false; }
  // Ends the press-drag-release under way (its undo step is closed) and shows the text: the
  // message box takes the button's release.
  void tellAfterStroke(const QString& text);
  // The world changed under a mouse that may stand still: the status texts read it again.
  void worldChanged();

  // What a click does with each EditorTool value. A tool's handler is given the clicked serial;
  // it edits through the models, changes the editor's copies and says which parts it changed
  // with noteUnsaved. Tools without a handler do nothing.
  using ToolHandler = std::function<void(TSEditorForm& editor, std::int32_t serial)>;
  void setToolHandler(int tool, ToolHandler handler);
  // The one dispatch point of every click and drag step: the current tool's handler for the
  // serial; nothing for -1, for tool 0 or for a tool without a handler.
  void applyTool(std::int32_t serial);
  // Highlight and status texts for the item under the mouse, and drag painting.
  void hoverItem(std::int32_t serial);

  // The world session's undo stack and the recorder every edit goes through. Ctrl+Z and the
  // "Edit" menu take back a step, Ctrl+Y or Ctrl+Shift+Z make it again, in the editor and in its
  // tool windows. One press-drag-release is one step. The session ends (the stack is emptied)
  // when the world's models are replaced or reopened.
  UndoStack& undoStack() { return m_undo; }
  WorldEdits& worldEdits() { return m_edits; }
  void undo();
  void redo();
  // The "Undo ..." and "Redo ..." actions of the "Edit" menu.
  QAction* undoAction() const { return m_undoAction; }
  QAction* redoAction() const { return m_redoAction; }
  // Names the steps in the two actions and greys them when there is none.
  void updateUndoActions();

  // Unsaved changes of a part: a recorded edit since its last save (undoing back to the saved
  // state leaves none), or a change no undo reaches (noteUnsaved).
  void noteUnsaved(WorldPart part);
  void noteSaved(WorldPart part);
  bool hasUnsaved() const;
  bool hasUnsaved(WorldPart part) const;
  // Asks whether to save unsaved world changes; true when closing may go on (saved, discarded,
  // or nothing to save), false when the user stays.
  bool confirmClose();

  // Edits a shared world's facet from now on: the session has loaded it into the registry's map
  // and statics models. Each step goes into the world as it is made; Ctrl+Z takes back this
  // builder's last step there; the menu's writes of map and statics files are off. A line
  // above the view says which world it is, whether it is read-only and whether edits are
  // paused.
  void attachShared(std::unique_ptr<SharedSession> session);
  SharedLink* sharedLink() const { return m_shared; }
  // "History..." of the "Edit" menu: the shared world's steps (nullptr before it is first shown).
  THistoryForm* historyForm() const { return m_history; }
  // The cells the view shows: x, y, width, height of the rectangle around its outline.
  std::array<int, 4> viewCells() const;
  Dialogs& dialogs() const { return m_dialogs; }

signals:
  // "Show Maptool", "Show Statictool", "Show StaticDiff Overview": the windows of later tools.
  void toolWindowRequested(const QString& caption);
  void editorShown();
  // The EditorTool, the cursor reach or the land brush changed (the tool windows' buttons show
  // them).
  void toolChanged();
  void editorHidden();
  // The view's centre, zoom or size changed (the map overview draws it).
  void viewChanged();

protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void buildMenu();
  QAction* addItem(QMenu* menu, const QString& caption, const std::function<void()>& action);
  QAction* addToggle(QMenu* menu, const QString& on, const QString& off, bool initial,
                     const std::function<void(bool)>& changed);
  void buildViewKeys();
  void moveScreens(int dx, int dy);
  void goHome();
  void wheelTurned(QPoint p, int steps);
  void middlePress(QPoint p);
  void panTo(QPoint p);
  // The status texts that follow the view, the mouse, the tool and the marks.
  void updateStatus();
  // Panel 0 for the item under the mouse as the editor's copy holds it now.
  void updateHoverText();
  void updateMarks();
  void updateOutline();
  void leftPress(QPoint p, Qt::KeyboardModifiers modifiers);
  void leftRelease(QPoint p, Qt::KeyboardModifiers modifiers);
  void rightPress(QPoint p);
  void mouseMoved(QPoint p, Qt::MouseButtons buttons);
  void selectInModel(const TItem& item, bool selected);
  void refresh();
  // Ends the undo session when the models it was recorded on are no longer those of the world.
  void followModels();
  void replay(bool forward);
  int unsavedParts() const;

  void loadDiffs();
  // False when no folder was chosen or the user kept another diff set's files.
  bool saveDiffs(int mode);
  // Whether saving the diff set into `dir` may replace what is there (asks when it holds
  // another set's files).
  bool mayReplaceDiffsIn(const QString& dir);
  // Ends a press-drag-release: no drag painting follows, the undo step is closed.
  void endStroke();
  void chooseSolution(int width, int height);
  void setCustomCursor();
  void clearStatics();
  bool patchMap();
  bool patchStatics(int mode);
  void loadWorldFile(const QString& filter, int format);
  bool saveWorldFile(const QString& filter, int format);
  void clearWorldFile();
  bool saveUnsaved();

  TMainForm& m_main;
  Registry& m_registry;
  Dialogs& m_dialogs;
  EditorScene m_scene;
  EditorView* m_view = nullptr;
  std::array<QLabel*, kStatusPanels> m_status{};
  // Keys of the view; the tool windows take them too, so they work while one has the focus.
  QList<QAction*> m_viewKeys;
  std::optional<QPoint> m_mouse;
  bool m_spaceDown = false;
  // A pan by the middle button (or Space and the left button): where it started.
  struct Pan {
    QPoint from;
    int cx = 0;
    int cy = 0;
  };
  std::optional<Pan> m_pan;
  std::vector<QMenu*> m_menus;
  std::map<int, ToolHandler> m_tools;
  int m_tool = 0;
  int m_reachX = 1;
  int m_reachY = 1;
  LandBrush m_brush;
  bool m_leftDown = false;
  std::int32_t m_lastHovered = -1;
  bool m_areaHighlight = false;
  ToolCorner m_tileCorner, m_moveCorner, m_nukeCorner;
  int m_unsaved = 0;  // changes no undo reaches
  bool m_closing = false;
  EditorToolWindows* m_toolWindows = nullptr;
  EditorSelection* m_selection = nullptr;
  // Drops what was made on the map and statics before they were replaced (the undo steps, the
  // selection, the items Find placed found) and follows the models now in place.
  void modelsReplaced();
  int m_ownerToken = 0;
  SharedLink* m_shared = nullptr;
  THistoryForm* m_history = nullptr;
  QAction* m_historyAction = nullptr;
  QLabel* m_sharedLine = nullptr;
  void updateSharedLine();
  // Back to files: the link to the shared world and its window go, the file writes come back.
  void detachShared();
  void setSharedActions(bool shared);
  // The world file last loaded or saved, and its format: what "Save Worldfile to" proposes.
  QString m_worldFilePath;
  int m_worldFileFormat = -1;
  UndoStack m_undo;
  WorldEdits m_edits{m_undo};
  // The opens of map and statics the session began with.
  std::uint64_t m_mapOpens = 0;
  std::uint64_t m_staticsOpens = 0;
  QAction* m_undoAction = nullptr;
  QAction* m_redoAction = nullptr;
};

}  // namespace quillotide::ui
