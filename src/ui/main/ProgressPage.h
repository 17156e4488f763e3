#pragma once
// The "Progress" page: the progress archive's files ("Files") and, later, its list.

#include <QWidget>

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;
class FileGroupBox;

class ProgressPage : public QWidget {
  Q_OBJECT
public:
  ProgressPage(Registry& registry, Dialogs& dialogs, QWidget* parent = nullptr);
  FileGroupBox* files() const { return m_files; }

private:
  FileGroupBox* m_files;
};

}  // namespace quillotide::ui
