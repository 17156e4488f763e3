#pragma once
// TSCFSE "Statics": the static art chooser of the static tool; its choice becomes the static tool's
// current id.

#include "ui/editor/ArtChooser.h"

namespace quillotide::ui {

class TSCFSE : public ArtChooser {
  Q_OBJECT
public:
  explicit TSCFSE(const Registry& registry, QWidget* parent = nullptr);
};

}  // namespace quillotide::ui
