#pragma once
// THueForm "Farbwahl": the hue overview of the "Hues" page. The page's "Overview" shows it and
// has its table drawn when the hues are loaded; a hue chosen in it (a press on the table, or
// Enter in the number field) is reported through hueChosen, and the page selects its line as a
// click on the line does. "OK" and "Abbrechen" only hide it.

#include "ui/editor/HueTable.h"

namespace quillotide::ui {

class THueForm : public HueWindow {
  Q_OBJECT
public:
  THueForm(const Registry& registry, Dialogs& dialogs, QWidget* parent = nullptr);
};

}  // namespace quillotide::ui
