#pragma once
// The "Skills" page: the skills (skills.idx and skills.mul) and their groups (skillgrp.mul), each
// opened and saved through its file group at the top. A table of the used skills ("Index",
// "Action": the skill has a use button, "Name", "Group") with the chosen skill's name, action
// flag and group and "Apply", "Add skill" and "Delete skill"; beside it the groups with a name
// field, "Rename", "Add group" and "Delete group".
//
// Names are stored as 8-bit Windows-1252 text: a name the code page cannot hold is refused at its
// field and nothing is stored.

#include <cstdint>
#include <optional>

#include <QString>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableView;

namespace quillotide {
class Registry;
}

namespace quillotide::ui {

class Dialogs;
class FileGroupBox;
class SkillsTableModel;
class TMainForm;

class SkillsPage : public QWidget {
  Q_OBJECT
public:
  explicit SkillsPage(TMainForm& main, QWidget* parent = nullptr);
  ~SkillsPage() override;
  FileGroupBox* files() const { return m_files; }
  FileGroupBox* groupFiles() const { return m_groupFiles; }
  QTableView* table() const { return m_table; }
  QListWidget* groups() const { return m_groups; }
  // The skill the fields show; nullopt when no line is chosen.
  std::optional<std::size_t> currentSkill() const;

  // What a group shows as: its name, or its number when it has none (group 0 never has one).
  static QString groupText(std::int32_t group, const QString& name);

private:
  // The skills table as the models are now; the chosen skill stays chosen when it is still there.
  void rebuildSkills();
  // The groups list and the group box of the skill fields as the groups model is now.
  void rebuildGroups();
  void showSkill();
  void showGroup();
  void showProblems(const QString& family);
  void selectSkill(std::size_t id);
  std::optional<std::size_t> currentGroup() const;
  bool requireSkills();
  bool requireGroups();

  void apply();
  void addSkill();
  void deleteSkill();
  void renameGroup();
  void addGroup();
  void deleteGroup();

  TMainForm& m_main;
  Registry& m_registry;
  Dialogs& m_dialogs;
  FileGroupBox* m_files;
  FileGroupBox* m_groupFiles;
  int m_ownerToken = 0;
  SkillsTableModel* m_model;
  QTableView* m_table;
  QLabel* m_index;
  QLineEdit* m_name;
  QCheckBox* m_action;
  QComboBox* m_group;
  QPushButton* m_apply;
  QListWidget* m_groups;
  QLineEdit* m_groupName;
  // What the fields showed when the skill was chosen: "Apply" writes only what was changed.
  std::optional<std::size_t> m_shown;
  QString m_shownName;
  bool m_shownAction = false;
  int m_shownGroup = -1;
};

}  // namespace quillotide::ui
