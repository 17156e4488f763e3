#pragma once
// TMCFSE "Maptiles": the land art chooser of the map tool; its choice becomes the map tool's
// current land id.

#include "ui/editor/ArtChooser.h"

namespace quillotide::ui {

class TMCFSE : public ArtChooser {
  Q_OBJECT
public:
  TMCFSE(const Registry& registry, Dialogs& dialogs, QWidget* parent = nullptr);
};

}  // namespace quillotide::ui
