#include "ui/editor/DiffForm.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/FileIO.h"
#include "registry/Registry.h"
#include "ui/main/HeldFiles.h"
#include "ui/main/MainForm.h"
#include "ui/platform/Dialogs.h"
#include "ui/platform/GaugeForm.h"
#include "world/DiffFiles.h"

namespace quillotide::ui {

namespace {

struct FieldInfo {
  const char* label;
  const char* key;
  const char* filterName;
  const char* name;  // object names: "e" + name for the field, "btn" + name for its browse button
};

const FieldInfo kFields[] = {
    {"Original Map0.mul", "DiffOrigMap0", "Map0.mul", "OrigMap0"},
    {"Changed Map0.mul", "DiffChangedMap0", "Map0.mul", "ChangedMap0"},
    {"Original Staidx0.mul", "DiffOrigStaIdx0", "Staidx0.mul", "OrigStaIdx0"},
    {"Original Statics0.mul", "DiffOrigStatics0", "Statics0.mul", "OrigStatics0"},
    {"Changed Staidx0.mul", "DiffChangedStaIdx0", "Staidx0.mul", "ChangedStaIdx0"},
    {"Changed Statics0.mul", "DiffChangedStatics0", "Statics0.mul", "ChangedStatics0"},
};

QString nameFilter(const QString& name) { return name + QLatin1Char('|') + name; }

const QStringList kMapDiffNames = {QStringLiteral("Mapdifl0.mul"), QStringLiteral("Mapdif0.mul")};
const QStringList kStaticDiffNames = {
    QStringLiteral("Stadifl0.mul"), QStringLiteral("Stadifi0.mul"), QStringLiteral("Stadif0.mul")};

}  // namespace

TDiffForm::TDiffForm(TMainForm& main, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_main(main),
      m_registry(main.registry()),
      m_dialogs(main.dialogs()),
      m_gauge(main.gauge()) {
  setObjectName(QStringLiteral("TDiffForm"));
  setWindowTitle(QStringLiteral("Diff Tool"));
  auto* paths = new QGroupBox(this);
  auto* grid = new QGridLayout(paths);
  for (int i = 0; i < 6; ++i) {
    const FieldInfo& f = kFields[i];
    auto* edit = new QLineEdit(paths);
    edit->setObjectName(QStringLiteral("e") + QLatin1String(f.name));
    edit->setText(QString::fromStdString(m_registry.config->getString(f.key)));
    edit->setMinimumWidth(320);
    auto* browseButton = new QPushButton(QStringLiteral("..."), paths);
    browseButton->setObjectName(QStringLiteral("btn") + QLatin1String(f.name));
    connect(browseButton, &QPushButton::clicked, this,
            [this, i] { browse(static_cast<Field>(i)); });
    grid->addWidget(new QLabel(QString::fromUtf8(f.label), paths), i, 0);
    grid->addWidget(edit, i, 1);
    grid->addWidget(browseButton, i, 2);
    m_fields.push_back(edit);
  }

  auto* buttons = new QGridLayout();
  const struct {
    const char* caption;
    const char* name;
    void (TDiffForm::*action)();
  } ops[] = {
      {"Create MapDiff", "btnCreateMapDiff", &TDiffForm::createMapDiff},
      {"Copy Map to MapDiff", "btnCopyMapDiff", &TDiffForm::copyMapDiff},
      {"Apply MapDiff", "btnApplyMapDiff", &TDiffForm::applyMapDiff},
      {"Create StaticDiff", "btnCreateStaticDiff", &TDiffForm::createStaticDiff},
      {"Copy Static to StaticDiff", "btnCopyStaticDiff", &TDiffForm::copyStaticDiff},
      {"Apply StaticDiff", "btnApplyStaticDiff", &TDiffForm::applyStaticDiff},
  };
  int k = 0;
  for (const auto& op : ops) {
    auto* b = new QPushButton(QString::fromUtf8(op.caption), this);
    b->setObjectName(QLatin1String(op.name));
    const auto action = op.action;
    connect(b, &QPushButton::clicked, this, [this, action] { (this->*action)(); });
    buttons->addWidget(b, k / 3, k % 3);
    ++k;
  }
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(paths);
  layout->addLayout(buttons);
}

std::string TDiffForm::path(Field field) const {
  return m_fields[static_cast<std::size_t>(field)]->text().toStdString();
}

void TDiffForm::browse(Field field) {
  runAction(m_dialogs, [&] {
    const FieldInfo& f = kFields[field];
    QLineEdit* edit = m_fields[static_cast<std::size_t>(field)];
    FileRequest request;
    request.title = QStringLiteral("Open ") + QString::fromUtf8(f.label);
    request.filter = nameFilter(QString::fromUtf8(f.filterName));
    request.proposedName = edit->text();
    const std::optional<QString> chosen = m_dialogs.openFile(request);
    if (!chosen) return;
    if (reportMissingFile(m_dialogs, *chosen)) return;
    m_registry.config->setString(f.key, chosen->toStdString());
    edit->setText(*chosen);
  });
}

std::optional<std::vector<std::string>> TDiffForm::askDiffFiles(const QStringList& names,
                                                                bool save) {
  std::vector<std::string> chosen;
  for (const QString& name : names) {
    FileRequest request;
    request.title = QStringLiteral("Choose ") + name;
    request.filter = nameFilter(name);
    request.defaultExtension = QStringLiteral("mul");
    request.proposedName = name;
    const std::optional<QString> path =
        save ? m_dialogs.saveFile(request) : m_dialogs.openFile(request);
    if (!path || path->isEmpty()) return std::nullopt;
    chosen.push_back(path->toStdString());
  }
  return chosen;
}

void TDiffForm::run(const std::function<std::string()>& operation,
                    const std::vector<std::string>& targets) {
  std::string text;
  if (HeldFiles(m_main).run(targets, [&] { text = operation(); }))
    m_dialogs.showMessage(QString::fromStdString(text));
}

namespace {
DiffWorld worldOf(const Registry& registry) {
  const auto [width, height] = registry.settingsWorldSize();
  return {width, height};
}
}  // namespace

void TDiffForm::createMapDiff() {
  const auto files = askDiffFiles(kMapDiffNames, true);
  if (!files) return;
  run([&] {
    return quillotide::createMapDiff(path(OrigMap), path(ChangedMap), {(*files)[0], (*files)[1]},
                                     worldOf(m_registry), m_gauge)
        .text();
  });
}

void TDiffForm::copyMapDiff() {
  const auto files = askDiffFiles(kMapDiffNames, true);
  if (!files) return;
  run([&] {
    return copyMapToDiff(path(ChangedMap), {(*files)[0], (*files)[1]}, worldOf(m_registry), m_gauge)
        .text();
  });
}

void TDiffForm::applyMapDiff() {
  const auto files = askDiffFiles(kMapDiffNames, false);
  if (!files) return;
  run(
      [&] {
        return quillotide::applyMapDiff(path(OrigMap), {(*files)[0], (*files)[1]},
                                        worldOf(m_registry), m_gauge)
            .text();
      },
      {path(OrigMap)});
}

void TDiffForm::createStaticDiff() {
  const auto files = askDiffFiles(kStaticDiffNames, true);
  if (!files) return;
  run([&] {
    return quillotide::createStaticDiff(
               path(OrigStaIdx), path(OrigStatics), path(ChangedStaIdx), path(ChangedStatics),
               {(*files)[0], (*files)[1], (*files)[2]}, worldOf(m_registry), m_gauge)
        .text();
  });
}

void TDiffForm::copyStaticDiff() {
  const auto files = askDiffFiles(kStaticDiffNames, true);
  if (!files) return;
  run([&] {
    return copyStaticsToDiff(path(ChangedStaIdx), path(ChangedStatics),
                             {(*files)[0], (*files)[1], (*files)[2]}, worldOf(m_registry), m_gauge)
        .text();
  });
}

void TDiffForm::applyStaticDiff() {
  const auto files = askDiffFiles(kStaticDiffNames, false);
  if (!files) return;
  run(
      [&] {
        return quillotide::applyStaticDiff(path(OrigStaIdx), path(OrigStatics),
                                           {(*files)[0], (*files)[1], (*files)[2]},
                                           worldOf(m_registry), m_gauge)
            .text();
      },
      {path(OrigStaIdx), path(OrigStatics)});
}

void showDiffTool(TMainForm& main) {
  auto* form = main.findChild<TDiffForm*>(QStringLiteral("TDiffForm"));
  if (!form) form = new TDiffForm(main, &main);
  form->show();
  form->raise();
  form->activateWindow();
}

}  // namespace quillotide::ui
