#include "ui/editor/ToolWindows.h"

#include "ui/editor/EditorTools.h"
#include "ui/editor/InfoForm.h"
#include "ui/editor/MaptoolForm.h"
#include "ui/editor/SEditorForm.h"
#include "ui/editor/StaticToolForm.h"

namespace quillotide::ui {

EditorToolWindows::EditorToolWindows(TSEditorForm& editor, Registry& registry, Dialogs& dialogs)
    : QObject(&editor),
      m_info(new TInfoForm(&editor)),
      m_static(new TStaticToolForm(editor, registry, dialogs, *m_info)),
      m_map(new TMaptoolForm(editor, registry, dialogs)) {
  m_static->setPartner([this] { m_map->resetMapTool(); });
  m_map->setPartner([this] { m_static->releaseToolButtons(); });
  installEditorTools(editor, registry, *m_static, *m_map);
  connect(&editor, &TSEditorForm::editorShown, this, [this] {
    m_static->show();
    m_map->show();
  });
  connect(&editor, &TSEditorForm::editorHidden, this, [this] {
    m_static->hide();
    m_map->hide();
  });
  connect(&editor, &TSEditorForm::toolWindowRequested, this, [this](const QString& caption) {
    if (caption == QStringLiteral("Show Maptool")) m_map->show();
    if (caption == QStringLiteral("Show Statictool")) m_static->show();
  });
}

}  // namespace quillotide::ui
