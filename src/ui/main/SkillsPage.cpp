#include "ui/main/SkillsPage.h"

#include <vector>

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "app/Text.h"
#include "models/Skills.h"
#include "registry/OpenFiles.h"
#include "registry/Registry.h"
#include "ui/main/FileGroup.h"
#include "ui/main/MainForm.h"
#include "ui/main/NamedWidgets.h"
#include "ui/main/SettingsPage.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

namespace {

const QString kSkills = QStringLiteral("Skills");
const QString kGroups = QStringLiteral("SkillGroups");
const QString kSkillsFirst = QStringLiteral("Load skills.idx and skills.mul first.");
const QString kGroupsFirst = QStringLiteral("Load skillgrp.mul first.");

QString text(const std::string& utf8) { return QString::fromStdString(utf8); }

// The name as the file stores it; throws Error naming the first character Windows-1252 lacks, so
// such a name is refused at its field before the model is asked.
std::string storableName(const QString& typed) {
  const std::string utf8 = typed.toStdString();
  toWindows1252(utf8);
  return utf8;
}

}  // namespace

QString SkillsPage::groupText(std::int32_t group, const QString& name) {
  return name.isEmpty() ? QString::number(group) : name;
}

// The lines of the table: the used skills in number order. Names and groups are read from the
// registry's models when they are drawn.
class SkillsTableModel : public QAbstractTableModel {
public:
  enum Column { Index, Action, Name, Group, ColumnCount };

  SkillsTableModel(Registry& registry, QObject* parent)
      : QAbstractTableModel(parent), m_registry(registry) {}

  void rebuild() {
    beginResetModel();
    m_rows.clear();
    const TSkills& skills = *m_registry.skills;
    for (std::size_t id = 0; id < skills.size(); ++id)
      if (skills.skill(id).used) m_rows.push_back(id);
    endResetModel();
  }
  // The group column follows the groups model.
  void groupsChanged() {
    if (m_rows.empty()) return;
    emit dataChanged(index(0, Group), index(static_cast<int>(m_rows.size()) - 1, Group));
  }
  void skillChanged(std::size_t id) {
    const int row = rowOf(id);
    if (row < 0) return;
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
  }
  std::optional<std::size_t> skillAt(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size()) return std::nullopt;
    const std::size_t id = m_rows[static_cast<std::size_t>(row)];
    if (id >= m_registry.skills->size()) return std::nullopt;
    return id;
  }
  int rowOf(std::size_t id) const {
    for (std::size_t row = 0; row < m_rows.size(); ++row)
      if (m_rows[row] == id) return static_cast<int>(row);
    return -1;
  }

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
  }
  int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : ColumnCount;
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole) return {};
    const auto id = skillAt(index.row());
    if (!id) return {};
    const SkillEntry& skill = m_registry.skills->skill(*id);
    switch (index.column()) {
      case Index:
        return static_cast<qulonglong>(*id);
      case Action:
        return skill.flag;
      case Name:
        return text(skill.name);
      case Group: {
        const TSkillGroups& groups = *m_registry.skillGroups;
        if (!groups.isLoaded()) return {};
        const std::int32_t g = groups.groupOf(*id);
        return SkillsPage::groupText(
            g, g > 0 ? text(groups.groupName(static_cast<std::size_t>(g))) : QString());
      }
      default:
        return {};
    }
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const QStringList captions = {QStringLiteral("Index"), QStringLiteral("Action"),
                                         QStringLiteral("Name"), QStringLiteral("Group")};
    return captions.value(section);
  }

private:
  Registry& m_registry;
  std::vector<std::size_t> m_rows;  // skill ids
};

SkillsPage::SkillsPage(TMainForm& main, QWidget* parent)
    : QWidget(parent),
      m_main(main),
      m_registry(main.registry()),
      m_dialogs(main.dialogs()),
      m_files(main.settingsPage()->createGroupBox(kSkills, this)),
      m_groupFiles(main.settingsPage()->createGroupBox(kGroups, this)),
      m_model(new SkillsTableModel(main.registry(), this)),
      m_table(new QTableView(this)),
      m_index(new QLabel(this)),
      m_name(namedField(QStringLiteral("eSkillName"), this)),
      m_action(new QCheckBox(QStringLiteral("Action"), this)),
      m_group(new QComboBox(this)),
      m_apply(namedButton(QStringLiteral("btnSkillApply"), QStringLiteral("Apply"), this)),
      m_groups(new QListWidget(this)),
      m_groupName(namedField(QStringLiteral("eSkillGroupName"), this)) {
  setObjectName(QStringLiteral("SkillsPage"));
  m_table->setObjectName(QStringLiteral("tvSkills"));
  m_table->setModel(m_model);
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_table->setSelectionMode(QAbstractItemView::SingleSelection);
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  m_table->verticalHeader()->hide();
  m_table->horizontalHeader()->setStretchLastSection(true);
  m_table->setColumnWidth(SkillsTableModel::Index,
                          fontMetrics().horizontalAdvance(QStringLiteral("Index000")));
  m_table->setColumnWidth(SkillsTableModel::Action,
                          fontMetrics().horizontalAdvance(QStringLiteral("Action000")));
  m_table->setColumnWidth(SkillsTableModel::Name,
                          fontMetrics().horizontalAdvance(QStringLiteral("Animal Taming Lore00")));

  m_index->setObjectName(QStringLiteral("lSkillIndex"));
  m_action->setObjectName(QStringLiteral("cbSkillAction"));
  m_action->setToolTip(QStringLiteral("The skill has a use button"));
  m_group->setObjectName(QStringLiteral("cbSkillGroup"));
  m_group->setMinimumContentsLength(16);
  QPushButton* addSkill =
      namedButton(QStringLiteral("btnSkillAdd"), QStringLiteral("Add skill"), this);
  QPushButton* deleteSkill =
      namedButton(QStringLiteral("btnSkillDelete"), QStringLiteral("Delete skill"), this);

  m_groups->setObjectName(QStringLiteral("lbSkillGroups"));
  m_groupName->setMaxLength(static_cast<int>(TSkillGroups::kNameBytes - 1));
  QPushButton* rename =
      namedButton(QStringLiteral("btnSkillGroupRename"), QStringLiteral("Rename"), this);
  QPushButton* addGroup =
      namedButton(QStringLiteral("btnSkillGroupAdd"), QStringLiteral("Add group"), this);
  QPushButton* deleteGroup =
      namedButton(QStringLiteral("btnSkillGroupDelete"), QStringLiteral("Delete group"), this);
  auto* groupZero = new QLabel(
      QStringLiteral("Group 0 has no stored name: the skills in it belong to no named group."),
      this);
  groupZero->setObjectName(QStringLiteral("lSkillGroupZero"));
  groupZero->setWordWrap(true);

  const auto action = [this](void (SkillsPage::*handler)()) {
    return [this, handler] { runAction(m_dialogs, [&] { (this->*handler)(); }); };
  };
  connect(m_apply, &QPushButton::clicked, this, action(&SkillsPage::apply));
  connect(m_name, &QLineEdit::returnPressed, this, action(&SkillsPage::apply));
  connect(addSkill, &QPushButton::clicked, this, action(&SkillsPage::addSkill));
  connect(deleteSkill, &QPushButton::clicked, this, action(&SkillsPage::deleteSkill));
  connect(rename, &QPushButton::clicked, this, action(&SkillsPage::renameGroup));
  connect(m_groupName, &QLineEdit::returnPressed, this, action(&SkillsPage::renameGroup));
  connect(addGroup, &QPushButton::clicked, this, action(&SkillsPage::addGroup));
  connect(deleteGroup, &QPushButton::clicked, this, action(&SkillsPage::deleteGroup));
  connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this] { showSkill(); });
  connect(m_groups, &QListWidget::currentRowChanged, this, [this] { showGroup(); });

  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(m_files, 1);
  fileRow->addWidget(m_groupFiles, 1);

  auto* fields = new QGridLayout;
  fields->addWidget(m_index, 0, 0, 1, 2);
  fields->addWidget(new QLabel(QStringLiteral("Name:"), this), 1, 0);
  fields->addWidget(m_name, 1, 1);
  fields->addWidget(m_action, 1, 2);
  fields->addWidget(new QLabel(QStringLiteral("Group:"), this), 2, 0);
  fields->addWidget(m_group, 2, 1);
  fields->addWidget(m_apply, 2, 2);
  fields->setColumnStretch(1, 1);
  auto* skillButtons = new QHBoxLayout;
  skillButtons->addWidget(addSkill);
  skillButtons->addWidget(deleteSkill);
  skillButtons->addStretch(1);
  auto* skillColumn = new QVBoxLayout;
  skillColumn->addWidget(m_table, 1);
  skillColumn->addLayout(fields);
  skillColumn->addLayout(skillButtons);

  auto* nameRow = new QHBoxLayout;
  nameRow->addWidget(m_groupName, 1);
  nameRow->addWidget(rename);
  auto* groupButtons = new QHBoxLayout;
  groupButtons->addWidget(addGroup);
  groupButtons->addWidget(deleteGroup);
  auto* groupColumn = new QVBoxLayout;
  groupColumn->addWidget(new QLabel(QStringLiteral("Groups:"), this));
  groupColumn->addWidget(m_groups, 1);
  groupColumn->addLayout(nameRow);
  groupColumn->addLayout(groupButtons);
  groupColumn->addWidget(groupZero);

  auto* body = new QHBoxLayout;
  body->addLayout(skillColumn, 3);
  body->addLayout(groupColumn, 2);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fileRow);
  layout->addLayout(body, 1);

  // Whatever opens, reads again, lets go or closes the skills or their groups, the page shows the
  // models as they are then.
  m_ownerToken = m_registry.openFiles().subscribe([this](const std::string& id, FileEvent event) {
    if (event == FileEvent::Saved) return;
    const QString family = QString::fromStdString(id);
    if (family == kSkills) {
      rebuildSkills();
    } else if (family == kGroups) {
      rebuildGroups();
      m_model->groupsChanged();
      showSkill();
    } else {
      return;
    }
    if (event == FileEvent::Opened) showProblems(family);
  });
  rebuildGroups();
  rebuildSkills();
}

SkillsPage::~SkillsPage() { m_registry.openFiles().unsubscribe(m_ownerToken); }

std::optional<std::size_t> SkillsPage::currentSkill() const {
  const QModelIndex current = m_table->selectionModel()->currentIndex();
  if (!current.isValid()) return std::nullopt;
  return m_model->skillAt(current.row());
}

std::optional<std::size_t> SkillsPage::currentGroup() const {
  const int row = m_groups->currentRow();
  if (row < 0 || static_cast<std::size_t>(row) >= m_registry.skillGroups->groupCount() ||
      !m_registry.skillGroups->isLoaded())
    return std::nullopt;
  return static_cast<std::size_t>(row);
}

void SkillsPage::rebuildSkills() {
  const std::optional<std::size_t> chosen = m_shown;
  m_model->rebuild();
  if (chosen && m_model->rowOf(*chosen) >= 0)
    selectSkill(*chosen);
  else
    showSkill();
}

void SkillsPage::rebuildGroups() {
  const TSkillGroups& groups = *m_registry.skillGroups;
  const int chosen = m_groups->currentRow();
  m_groups->clear();
  m_group->clear();
  if (groups.isLoaded()) {
    for (std::size_t g = 0; g < groups.groupCount(); ++g) {
      const QString name = g == 0 ? QString() : text(groups.groupName(g));
      const QString line =
          g == 0 ? QStringLiteral("0 (no stored name)") : QStringLiteral("%1 %2").arg(g).arg(name);
      m_groups->addItem(line);
      m_group->addItem(line, static_cast<int>(g));
    }
  }
  m_group->setEnabled(groups.isLoaded());
  m_group->setToolTip(groups.isLoaded() ? QString() : kGroupsFirst);
  if (chosen >= 0 && chosen < m_groups->count()) m_groups->setCurrentRow(chosen);
  showGroup();
}

void SkillsPage::selectSkill(std::size_t id) {
  const QModelIndex line = m_model->index(m_model->rowOf(id), 0);
  m_table->selectionModel()->setCurrentIndex(
      line, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  m_table->scrollTo(line);
  showSkill();
}

void SkillsPage::showSkill() {
  const std::optional<std::size_t> id = currentSkill();
  m_shown = id;
  m_name->setEnabled(id.has_value());
  m_action->setEnabled(id.has_value());
  m_apply->setEnabled(id.has_value());
  const TSkillGroups& groups = *m_registry.skillGroups;
  if (!id) {
    m_index->setText(QStringLiteral("Skill:"));
    m_name->clear();
    m_action->setChecked(false);
    m_group->setCurrentIndex(-1);
  } else {
    const SkillEntry& skill = m_registry.skills->skill(*id);
    m_index->setText(QStringLiteral("Skill %1").arg(*id));
    m_name->setText(text(skill.name));
    m_action->setChecked(skill.flag != 0);
    // A group the file does not have (a damaged table) shows no line.
    m_group->setCurrentIndex(groups.isLoaded() ? m_group->findData(groups.groupOf(*id)) : -1);
  }
  m_shownName = m_name->text();
  m_shownAction = m_action->isChecked();
  m_shownGroup = m_group->currentIndex();
}

void SkillsPage::showGroup() {
  const std::optional<std::size_t> g = currentGroup();
  m_groupName->setText(g && *g > 0 ? text(m_registry.skillGroups->groupName(*g)) : QString());
}

bool SkillsPage::requireSkills() {
  if (m_registry.skills->isLoaded()) return true;
  m_dialogs.showMessage(kSkillsFirst);
  return false;
}

bool SkillsPage::requireGroups() {
  if (m_registry.skillGroups->isLoaded()) return true;
  m_dialogs.showMessage(kGroupsFirst);
  return false;
}

void SkillsPage::apply() {
  if (!requireSkills()) return;
  if (!m_shown) {
    m_dialogs.showMessage(QStringLiteral("Choose a skill first."));
    return;
  }
  const std::size_t id = *m_shown;
  TSkills& skills = *m_registry.skills;
  // The name first: a refused one throws before anything is stored; the flag and the group the
  // boxes offer are never refused.
  if (m_name->text() != m_shownName) skills.setName(id, storableName(m_name->text()));
  if (m_action->isChecked() != m_shownAction) skills.setFlag(id, m_action->isChecked() ? 1 : 0);
  if (m_group->currentIndex() != m_shownGroup && m_group->currentIndex() >= 0)
    m_registry.skillGroups->setGroupOf(id,
                                       static_cast<std::size_t>(m_group->currentData().toInt()));
  m_model->skillChanged(id);
  showSkill();
}

void SkillsPage::addSkill() {
  if (!requireSkills()) return;
  const auto typed =
      m_dialogs.inputBox(QStringLiteral("Add skill"), QStringLiteral("Name of the new skill:"), {});
  if (!typed) return;
  const std::size_t id = m_registry.skills->add(storableName(*typed), 0);
  m_model->rebuild();
  selectSkill(id);
}

void SkillsPage::deleteSkill() {
  if (!requireSkills()) return;
  if (!m_shown) {
    m_dialogs.showMessage(QStringLiteral("Choose the skill to delete first."));
    return;
  }
  const std::size_t id = *m_shown;
  const QString question =
      QStringLiteral(
          "Delete skill %1 '%2'? Its entry stays unused; later skills keep their numbers.")
          .arg(id)
          .arg(text(m_registry.skills->skill(id).name));
  if (m_dialogs.ask(Dialogs::kCaption, question, {QStringLiteral("Yes"), QStringLiteral("No")}) !=
      0)
    return;
  m_registry.skills->remove(id);
  m_model->rebuild();
  showSkill();
}

void SkillsPage::renameGroup() {
  if (!requireGroups()) return;
  const std::optional<std::size_t> g = currentGroup();
  if (!g) {
    m_dialogs.showMessage(QStringLiteral("Choose a group first."));
    return;
  }
  m_registry.skillGroups->renameGroup(*g, storableName(m_groupName->text()));
  rebuildGroups();
  m_model->groupsChanged();
  showSkill();
}

void SkillsPage::addGroup() {
  if (!requireGroups()) return;
  const auto typed =
      m_dialogs.inputBox(QStringLiteral("Add group"), QStringLiteral("Name of the new group:"), {});
  if (!typed) return;
  const std::size_t g = m_registry.skillGroups->addGroup(storableName(*typed));
  rebuildGroups();
  m_groups->setCurrentRow(static_cast<int>(g));
  m_model->groupsChanged();
  showSkill();
}

void SkillsPage::deleteGroup() {
  if (!requireGroups()) return;
  const std::optional<std::size_t> g = currentGroup();
  if (!g) {
    m_dialogs.showMessage(QStringLiteral("Choose the group to delete first."));
    return;
  }
  if (*g == 0) {
    m_dialogs.showMessage(QStringLiteral("Group 0 stays: it holds the skills of no other group."));
    return;
  }
  const QString question =
      QStringLiteral(
          "Delete group %1 '%2'? Its skills go to group 0, and the groups after it "
          "move down by one.")
          .arg(*g)
          .arg(text(m_registry.skillGroups->groupName(*g)));
  if (m_dialogs.ask(Dialogs::kCaption, question, {QStringLiteral("Yes"), QStringLiteral("No")}) !=
      0)
    return;
  m_registry.skillGroups->removeGroup(*g);
  rebuildGroups();
  m_model->groupsChanged();
  showSkill();
}

void SkillsPage::showProblems(const QString& family) {
  const std::vector<std::string>& problems =
      family == kSkills ? m_registry.skills->problems() : m_registry.skillGroups->problems();
  if (problems.empty()) return;
  QStringList lines;
  for (const std::string& p : problems) lines << text(p);
  const QString files = family == kSkills ? QStringLiteral("skills.idx and skills.mul")
                                          : QStringLiteral("skillgrp.mul");
  m_dialogs.message(Dialogs::kCaption,
                    QStringLiteral("%1: the load found:\n%2").arg(files, lines.join('\n')),
                    MessageIcon::Warning);
}

}  // namespace quillotide::ui
