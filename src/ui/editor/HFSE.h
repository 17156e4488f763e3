#pragma once
// THFSE "Farbwahl": the hue chooser of the static tool. Its table is drawn each time it is shown;
// a hue chosen in it (a press on the table, or Enter in the number field, where -1 means no hue)
// is reported through hueChosen. "OK" only hides the window.

#include <QWidget>

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;
class HueTable;

class THFSE : public QWidget {
  Q_OBJECT
public:
  THFSE(const Registry& registry, Dialogs& dialogs, QWidget* parent = nullptr);

  HueTable* hueTable() const { return m_table; }

signals:
  // The hue entry chosen, -1 for no hue. The static tool's current colour becomes entry + 1 (0:
  // no hue); its swatch shows colour 28 of the entry (the swatch's background for -1), and the
  // entry is pushed onto its colour history.
  void hueChosen(int entry);

protected:
  void showEvent(QShowEvent* event) override;

private:
  HueTable* m_table;
};

}  // namespace quillotide::ui
