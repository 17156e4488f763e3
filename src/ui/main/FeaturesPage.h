#pragma once
// The "Features" page: the batch tools that work on whole index/data pairs. So far its "ReIndex"
// group: a kind in `cbReIndex`, and `btnReIndex` "Start", which asks for the new index file and
// then the new data file and writes a compacted copy of the loaded pair there; a damaged slot
// stops it with the slot's name and the offer to rebuild without the damaged slots.

#include <QWidget>

class QComboBox;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;
class TMainForm;
class TgaugeForm;

class FeaturesPage : public QWidget {
  Q_OBJECT
public:
  explicit FeaturesPage(TMainForm& main, QWidget* parent = nullptr);

private:
  void reIndex();

  Registry& m_registry;
  Dialogs& m_dialogs;
  TgaugeForm& m_gauge;
  QComboBox* m_reIndexKind = nullptr;
};

}  // namespace quillotide::ui
