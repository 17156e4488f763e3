#include "ui/editor/HueForm.h"

namespace quillotide::ui {

THueForm::THueForm(const Registry& registry, Dialogs& dialogs, QWidget* parent)
    : HueWindow(registry, dialogs, false, true, parent) {
  setObjectName(QStringLiteral("HueForm"));
}

}  // namespace quillotide::ui
