#pragma once
// The "Progress" page: the progress archive's files ("Files", loaded and saved as the Settings
// page's families are), "Create" for a new empty archive, the kind box that chooses between the
// static art and the gump entries, the list of ids of that kind, the selected entry's picture
// (its colours, or its alpha channel as grey with "Alpha") and a pop-up menu that imports,
// exports and deletes entries.

#include <cstdint>
#include <functional>

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;
class FileGroupBox;
class SlotListView;
class TMainForm;

class ProgressPage : public QWidget {
  Q_OBJECT
public:
  // The "Files" group is the Settings page's "Progress" family; its buttons run there.
  explicit ProgressPage(TMainForm& main, QWidget* parent = nullptr);
  FileGroupBox* files() const { return m_files; }

  static constexpr int kEmptySide = 100;

  SlotListView* list() const { return m_list; }
  QMenu* popupMenu() const { return m_menu; }
  QLabel* picture() const { return m_picture; }
  // The kind the box chooses: 0 for "Art (S)", 1 for "Gumps".
  std::int32_t kind() const;

private:
  // True when the archive is loaded; otherwise says so and returns false.
  bool requireLoaded();
  void showSelected();
  void create();
  void addEntry(const QString& name, const QString& caption,
                const std::function<void(std::int32_t)>& action);

  TMainForm& m_main;
  Registry& m_registry;
  Dialogs& m_dialogs;
  FileGroupBox* m_files;
  QComboBox* m_kind;
  QCheckBox* m_alpha;
  QPushButton* m_create;
  SlotListView* m_list;
  QLabel* m_picture;
  QMenu* m_menu;
};

// What the pop-up menu says before the archive is loaded.
extern const QString kProgressNotLoadedMessage;
// What "Save to File" says on an id of the kind that has no entry.
QString absentProgressEntryMessage(std::int32_t kind, std::int32_t id);

}  // namespace quillotide::ui
