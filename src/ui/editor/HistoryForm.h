#pragma once
// THistoryForm: the "History" window of a shared world: its steps, newest last, with who made
// each, when, its name, what it changed and where. Filters keep the steps of one builder, those
// since a time, or those that touched the cells the editor shows. A double click centres the
// editor's view on the step. The list follows new steps as they arrive.

#include <QWidget>

#include "world/SharedWorld.h"

class QCheckBox;
class QLineEdit;
class QTableWidget;

namespace quillotide::ui {

class TSEditorForm;

class THistoryForm : public QWidget {
  Q_OBJECT
public:
  // The most steps the list shows: the newest ones.
  static constexpr int kShown = 500;
  explicit THistoryForm(TSEditorForm& editor);

  // Reads the steps again with the filters as they stand.
  void reload();
  QTableWidget* table() const { return m_table; }

private:
  TSEditorForm& m_editor;
  QLineEdit* m_builder = nullptr;
  QLineEdit* m_since = nullptr;
  QCheckBox* m_inView = nullptr;
  QTableWidget* m_table = nullptr;
  std::vector<SharedStepInfo> m_steps;
};

}  // namespace quillotide::ui
