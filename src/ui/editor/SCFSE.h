#pragma once
// TSCFSE "Statics": the static art chooser of the static tool; its choice becomes the static tool's
// current id.

#include "ui/editor/ArtChooser.h"

namespace quillotide::ui {

class TSCFSE : public ArtChooser {
  Q_OBJECT
public:
  TSCFSE(const Registry& registry, Dialogs& dialogs, QWidget* parent = nullptr);
};

}  // namespace quillotide::ui
