#pragma once
// TMaptoolForm, "Maptool": the world editor's tool box for the land. It holds the current land
// tile id with its picture and history, sets the editor's cursor area ("1x1" .. "7x7"), chooses
// the land tools 20 to 25 (one group of toggle buttons that may all be up) and moves the view to
// typed coordinates ("Go"). Showing it makes the current id 0; the history survives hiding.

#include <QWidget>

#include "ui/editor/EditorTools.h"
#include "ui/editor/ToolWidgets.h"

class QLineEdit;
class QPushButton;
class QToolButton;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;
class TSEditorForm;

class TMaptoolForm : public QWidget, public MapToolInputs {
  Q_OBJECT
public:
  static constexpr int kPictureSide = 65;

  TMaptoolForm(TSEditorForm& editor, Registry& registry, Dialogs& dialogs);

  int currentId() const override { return m_id; }
  QString upDownStep() const override;
  QString minZ() const override;
  QString maxZ() const override;
  void takeId(int id) override;

  // The land art chooser's choice: current, drawn and remembered.
  void chooseId(int id);
  // The current id drawn (no history): the step buttons and showing the window.
  void setCurrentId(int id);
  const ValueHistory& history() const { return m_history; }
  const QImage& picture() const { return m_picture; }

  // A tool button of the static tool: "1x1" down, every land tool button up, reach (1, 1).
  void resetMapTool();
  // Raises every land tool button (a static tool or a cursor size was chosen elsewhere).
  void releaseToolButtons();
  void setPartner(std::function<void()> releaseStaticTools) {
    m_releaseStatic = std::move(releaseStaticTools);
  }

signals:
  // The id picture was clicked: the land art chooser should open on this id.
  void chooserRequested(int id);

protected:
  void showEvent(QShowEvent* event) override;

private:
  QToolButton* toolButton(const QString& name, const QString& caption, const QString& hint,
                          int tool);
  void chooseTool(QToolButton* button, int tool);
  void chooseCursor(int reach);
  void redraw();
  void go();

  TSEditorForm& m_editor;
  Registry& m_registry;
  Dialogs& m_dialogs;
  int m_id = 0;
  ValueHistory m_history;
  QImage m_picture;
  ToolPicture* m_iPicture;
  HistoryMenu* m_historyMenu;
  std::vector<QToolButton*> m_tools;
  std::vector<QToolButton*> m_cursors;
  QLineEdit* m_eUpDown;
  QLineEdit* m_eMin;
  QLineEdit* m_eMax;
  QLineEdit* m_eX;
  QLineEdit* m_eY;
  std::function<void()> m_releaseStatic;
};

}  // namespace quillotide::ui
