#pragma once
// THFSE "Farbwahl": the hue chooser of the static tool. Its table is drawn each time it is shown;
// a hue chosen in it (a press on the table, or Enter in the number field, where -1 means no hue)
// is reported through hueChosen: the static tool's current colour becomes entry + 1 (0: no hue),
// its swatch shows colour 28 of the entry (the swatch's background for -1), and the entry is
// pushed onto its colour history. "OK" only hides the window.

#include "ui/editor/HueTable.h"

namespace quillotide::ui {

class THFSE : public HueWindow {
  Q_OBJECT
public:
  THFSE(const Registry& registry, Dialogs& dialogs, QWidget* parent = nullptr);

protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace quillotide::ui
