#pragma once
// The world editor's tool windows: "Statictool", "Maptool" and "Item Info". They are made with
// the editor, carry out its tools 1 to 27 and are shown with it and hidden with it. Their tool
// buttons show the editor's current tool, whoever chose it; a static tool resets the map tool to
// its 1 x 1 brush. The choosers of ids and hues and the map overview
// hand their choices to the tool windows and the editor.

#include <QList>
#include <QObject>

class QWidget;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;
class THFSE;
class TInfoForm;
class TMCFSE;
class TMapForm;
class TMaptoolForm;
class TSCFSE;
class TSEditorForm;
class TStaticDiffForm;
class TStaticToolForm;

class EditorToolWindows : public QObject {
  Q_OBJECT
public:
  EditorToolWindows(TSEditorForm& editor, Registry& registry, Dialogs& dialogs);

  TStaticToolForm& staticTool() const { return *m_static; }
  TMaptoolForm& mapTool() const { return *m_map; }
  TInfoForm& info() const { return *m_info; }
  TSCFSE& staticChooser() const { return *m_scfse; }
  TMCFSE& landChooser() const { return *m_mcfse; }
  THFSE& hueChooser() const { return *m_hfse; }
  TMapForm& mapOverview() const { return *m_overview; }
  TStaticDiffForm& diffOverview() const { return *m_diffOverview; }
  // Every tool window, for what they all share (the undo keys).
  QList<QWidget*> windows() const;

private:
  TInfoForm* m_info;
  TStaticToolForm* m_static;
  TMaptoolForm* m_map;
  TSCFSE* m_scfse;
  TMCFSE* m_mcfse;
  THFSE* m_hfse;
  TMapForm* m_overview;
  TStaticDiffForm* m_diffOverview;
};

}  // namespace quillotide::ui
