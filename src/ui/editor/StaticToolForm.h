#pragma once
// TStaticToolForm, "Statictool": the world editor's tool box for statics, world-file and diff
// items. It holds the current item id and colour with their pictures and histories, the fields
// and check boxes the tools read, the tools 1 to 19 (one group of toggle buttons that always shows
// the editor's current tool: all up when it is none of them) and the "Set MaxZ" track bar. The
// field beside the step buttons shows the current id and takes a typed one. Showing it makes the
// current id 0; id and colour histories and the colour survive hiding.
//
// A colour value is 0 for none, else hue entry + 1. Both histories hold the values as they were
// current, so choosing an entry restores exactly the value that was current when it was pushed.

#include <QWidget>

#include "ui/editor/EditorTools.h"
#include "ui/editor/ToolWidgets.h"
#include "world/IdQuery.h"

class QCheckBox;
class QLineEdit;
class QSlider;
class QToolButton;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;
class TInfoForm;
class TSEditorForm;

class TStaticToolForm : public QWidget, public StaticToolInputs {
  Q_OBJECT
public:
  static constexpr int kPictureSide = 65;
  static constexpr int kSwatchWidth = 44;
  static constexpr int kSwatchHeight = 20;
  static constexpr int kSwatchEntry = 28;  // the ramp colour a swatch shows

  TStaticToolForm(TSEditorForm& editor, Registry& registry, Dialogs& dialogs, TInfoForm& info);

  int currentId() const override { return m_id; }
  int currentColour() const override { return m_colour; }
  bool useColour() const override;
  bool moveArea() const override;
  bool moveTestId() const override;
  bool nukeSetColour() const override;
  bool nukeTestId() const override;
  bool nukeTestHeight() const override;
  QString moveStep() const override;
  QString upDownStep() const override;
  QString tileZ() const override;
  QString nukeDown() const override;
  QString nukeUp() const override;
  void showInfo(const TItem& item) override;
  void takeId(int id) override;
  void takeColour(int colour) override;

  // The static art chooser's choice: current, drawn and remembered.
  void chooseId(int id);
  // The hue chooser's choice of hue entry (-1 for none): the colour entry + 1, drawn and
  // remembered. An entry the loaded hue table does not hold changes nothing and is reported.
  void chooseHueEntry(int entry);
  void setCurrentId(int id);
  void setCurrentColour(int colour);
  // The range a typed static id must lie in.
  static IdRange idRange();
  const ValueHistory& idHistory() const { return m_idHistory; }
  const ValueHistory& colourHistory() const { return m_colourHistory; }
  const QImage& idPicture() const { return m_idImage; }
  const QImage& colourPicture() const { return m_colourImage; }

  void setPartner(std::function<void()> resetMapTool) { m_resetMapTool = std::move(resetMapTool); }

signals:
  // The id picture was clicked: the static art chooser should open on this id.
  void idChooserRequested(int id);
  void colourChooserRequested();
  void worldMapRequested();

protected:
  void showEvent(QShowEvent* event) override;
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  QToolButton* toolButton(const QString& name, const QString& caption, const QString& hint,
                          int tool);
  void chooseTool(int tool);
  void takeTypedId();
  void redrawId();
  void redrawColour();

  TSEditorForm& m_editor;
  Registry& m_registry;
  Dialogs& m_dialogs;
  TInfoForm& m_info;
  int m_id = 0;
  int m_colour = 0;
  ValueHistory m_idHistory;
  ValueHistory m_colourHistory;
  QImage m_idImage;
  QImage m_colourImage;
  ToolPicture* m_iId;
  ToolPicture* m_iColour;
  HistoryMenu* m_idMenu;
  HistoryMenu* m_colourMenu;
  std::vector<QToolButton*> m_tools;
  QLineEdit* m_eId;
  QLineEdit* m_eMove;
  QLineEdit* m_eUpDown;
  QLineEdit* m_eTileZ;
  QLineEdit* m_eDown;
  QLineEdit* m_eUp;
  QCheckBox* m_cbUseColor;
  QCheckBox* m_cbArea;
  QCheckBox* m_cbMoveTestId;
  QCheckBox* m_cbSetColor;
  QCheckBox* m_cbNukeTestId;
  QCheckBox* m_cbTestHeight;
  QSlider* m_tbMaxZ;
  std::function<void()> m_resetMapTool;
};

}  // namespace quillotide::ui
