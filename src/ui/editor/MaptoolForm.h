#pragma once
// TMaptoolForm, "Maptool": the world editor's tool box for the land. It holds the current land
// tile id with its picture and history (the id field beside the step buttons also takes a list of
// ids, which "Set Id" draws from at random for each cell), sets the editor's land brush (the
// "1x1" .. "7x7" presets, a shape and a size up to 15), chooses the land tools 20 to 27 (one group
// of toggle buttons that always shows the editor's current tool) and moves the view to typed
// coordinates ("Go"). Showing it makes the current id 0; the history survives hiding.

#include <QWidget>

#include "ui/editor/EditorTools.h"
#include "ui/editor/ToolWidgets.h"
#include "world/IdQuery.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
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

  int currentId() const override { return m_ids.front(); }
  std::vector<int> landIds() const override { return m_ids; }
  QString upDownStep() const override;
  QString minZ() const override;
  QString maxZ() const override;
  void takeId(int id) override;

  // The land art chooser's choice: current, drawn and remembered.
  void chooseId(int id);
  // The current id drawn (no history): the step buttons and showing the window.
  void setCurrentId(int id);
  // The range a typed land tile id must lie in.
  static IdRange idRange();
  const ValueHistory& history() const { return m_history; }
  const QImage& picture() const { return m_picture; }

  // A tool button of the static tool: the brush back to "1x1" of its shape.
  void resetMapTool();

signals:
  // The id picture was clicked: the land art chooser should open on this id.
  void chooserRequested(int id);

protected:
  void showEvent(QShowEvent* event) override;

private:
  QToolButton* toolButton(const QString& name, const QString& caption, const QString& hint,
                          int tool);
  void chooseCursor(int reach);
  void chooseBrush();
  // The buttons, presets and brush fields as the editor's tool and brush are.
  void showEditorState();
  void takeTypedIds();
  void redraw();
  void go();

  TSEditorForm& m_editor;
  Registry& m_registry;
  Dialogs& m_dialogs;
  std::vector<int> m_ids{0};
  ValueHistory m_history;
  QImage m_picture;
  ToolPicture* m_iPicture;
  HistoryMenu* m_historyMenu;
  std::vector<QToolButton*> m_tools;
  std::vector<QToolButton*> m_cursors;
  QLineEdit* m_eId;
  QComboBox* m_cbShape;
  QSpinBox* m_sbSize;
  QLabel* m_lBrush;
  QLineEdit* m_eUpDown;
  QLineEdit* m_eMin;
  QLineEdit* m_eMax;
  QLineEdit* m_eX;
  QLineEdit* m_eY;
};

}  // namespace quillotide::ui
