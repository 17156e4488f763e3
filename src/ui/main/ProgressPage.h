#pragma once
// The "Progress" page: the progress archive's files ("Files") and, later, its list.

#include <QWidget>

namespace quillotide::ui {

class FileGroupBox;
class SettingsPage;

class ProgressPage : public QWidget {
  Q_OBJECT
public:
  // The "Files" group is the Settings page's "Progress" family; its buttons run there.
  explicit ProgressPage(SettingsPage& settings, QWidget* parent = nullptr);
  FileGroupBox* files() const { return m_files; }

private:
  FileGroupBox* m_files;
};

}  // namespace quillotide::ui
