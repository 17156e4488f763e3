#pragma once
// THueForm "Farbwahl": the hue overview of the "Hues" page. The page's "Overview" shows it and
// has its table drawn when the hues are loaded; a hue chosen in it (a press on the table, or
// Enter in the number field) is reported through hueChosen. "OK" and "Abbrechen" only hide it.

#include <QWidget>

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;
class HueTable;

class THueForm : public QWidget {
  Q_OBJECT
public:
  THueForm(const Registry& registry, Dialogs& dialogs, QWidget* parent = nullptr);

  HueTable* hueTable() const { return m_table; }

signals:
  // The hue entry chosen. The "Hues" page selects its line, as a click on the line does.
  void hueChosen(int entry);

private:
  HueTable* m_table;
};

}  // namespace quillotide::ui
