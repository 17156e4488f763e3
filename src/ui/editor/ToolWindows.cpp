#include "ui/editor/ToolWindows.h"

#include "ui/editor/EditorTools.h"
#include "ui/editor/HFSE.h"
#include "ui/editor/InfoForm.h"
#include "ui/editor/MCFSE.h"
#include "ui/editor/MapForm.h"
#include "ui/editor/MaptoolForm.h"
#include "ui/editor/SCFSE.h"
#include "ui/editor/SEditorForm.h"
#include "ui/editor/StaticDiffForm.h"
#include "ui/editor/StaticToolForm.h"
#include "ui/editor/ToolWidgets.h"

namespace quillotide::ui {

EditorToolWindows::EditorToolWindows(TSEditorForm& editor, Registry& registry, Dialogs& dialogs)
    : QObject(&editor),
      m_info(new TInfoForm(&editor)),
      m_static(new TStaticToolForm(editor, registry, dialogs, *m_info)),
      m_map(new TMaptoolForm(editor, registry, dialogs)),
      m_scfse(new TSCFSE(registry, dialogs, &editor)),
      m_mcfse(new TMCFSE(registry, dialogs, &editor)),
      m_hfse(new THFSE(registry, dialogs, &editor)),
      m_overview(new TMapForm(registry, dialogs, &editor)),
      m_diffOverview(new TStaticDiffForm(registry, &editor)) {
  // Windows of their own that stay above the editor.
  for (QWidget* w :
       std::initializer_list<QWidget*>{m_scfse, m_mcfse, m_hfse, m_overview, m_diffOverview})
    w->setWindowFlags(Qt::Tool);
  for (QWidget* w : windows()) keepFieldKeys(w);
  connect(m_static, &TStaticToolForm::idChooserRequested, this, [this](int id) {
    m_scfse->setRequestedId(id);
    m_scfse->show();
    m_scfse->raise();
  });
  connect(m_scfse, &TSCFSE::idChosen, m_static, &TStaticToolForm::chooseId);
  connect(m_map, &TMaptoolForm::chooserRequested, this, [this](int id) {
    m_mcfse->setRequestedId(id);
    m_mcfse->show();
    m_mcfse->raise();
  });
  connect(m_mcfse, &TMCFSE::idChosen, m_map, &TMaptoolForm::chooseId);
  connect(m_static, &TStaticToolForm::colourChooserRequested, this, [this] {
    m_hfse->show();
    m_hfse->raise();
  });
  connect(m_hfse, &THFSE::hueChosen, m_static, &TStaticToolForm::chooseHueEntry);
  connect(m_static, &TStaticToolForm::worldMapRequested, this, [this] {
    m_overview->show();
    m_overview->raise();
  });
  connect(m_overview, &TMapForm::viewCentreRequested, &editor, [&editor](int x, int y) {
    editor.setViewCentre(x, y);
    editor.requestRebuild();
  });
  connect(m_diffOverview, &TStaticDiffForm::viewCentreRequested, &editor, [&editor](int x, int y) {
    editor.setViewCentre(x, y);
    editor.requestRebuild();
  });
  m_static->setPartner([this] { m_map->resetMapTool(); });
  installEditorTools(editor, registry, *m_static, *m_map);
  connect(&editor, &TSEditorForm::editorShown, this, [this] {
    m_static->show();
    m_map->show();
  });
  connect(&editor, &TSEditorForm::editorHidden, this, [this] {
    m_static->hide();
    m_map->hide();
    m_overview->hide();
    m_diffOverview->hide();
  });
  connect(&editor, &TSEditorForm::toolWindowRequested, this, [this](const QString& caption) {
    if (caption == QStringLiteral("Show Maptool")) m_map->show();
    if (caption == QStringLiteral("Show Statictool")) m_static->show();
    if (caption == QStringLiteral("Show StaticDiff Overview")) {
      // Shown again, it takes the diff store's picture afresh.
      m_diffOverview->hide();
      m_diffOverview->show();
      m_diffOverview->raise();
    }
  });
}

QList<QWidget*> EditorToolWindows::windows() const {
  return {m_info, m_static, m_map, m_scfse, m_mcfse, m_hfse, m_overview, m_diffOverview};
}

}  // namespace quillotide::ui
