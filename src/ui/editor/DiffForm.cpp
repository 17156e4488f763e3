#include "ui/editor/DiffForm.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Error.h"
#include "app/Facet.h"
#include "app/FileIO.h"
#include "app/FileNames.h"
#include "app/Uop.h"
#include "app/UopPair.h"
#include "registry/Registry.h"
#include "ui/main/HeldFiles.h"
#include "ui/main/MainForm.h"
#include "ui/platform/Dialogs.h"
#include "ui/platform/GaugeForm.h"
#include "world/DiffFiles.h"
#include "world/Map.h"

namespace quillotide::ui {

namespace {

struct FieldInfo {
  const char* label;  // %1: the facet number
  const char* key;
  const char* filterName;
  const char* name;  // object names: "e" + name for the field, "btn" + name for its browse button
};

const FieldInfo kFields[] = {
    {"Original Map%1.mul", "DiffOrigMap0", "Map%1.mul", "OrigMap0"},
    {"Changed Map%1.mul", "DiffChangedMap0", "Map%1.mul", "ChangedMap0"},
    {"Original Staidx%1.mul", "DiffOrigStaIdx0", "Staidx%1.mul", "OrigStaIdx0"},
    {"Original Statics%1.mul", "DiffOrigStatics0", "Statics%1.mul", "OrigStatics0"},
    {"Changed Staidx%1.mul", "DiffChangedStaIdx0", "Staidx%1.mul", "ChangedStaIdx0"},
    {"Changed Statics%1.mul", "DiffChangedStatics0", "Statics%1.mul", "ChangedStatics0"},
};

// The name as its own description, and as the pattern in the cases a client folder copied from
// Windows may show it in, which a case-sensitive file system shows only to its own pattern.
QString nameFilter(const QString& name) {
  QStringList patterns{name};
  for (const QString& other : {name.toLower(), name.toUpper()})
    if (!patterns.contains(other)) patterns << other;
  return name + QLatin1Char('|') + patterns.join(QLatin1Char(';'));
}

QString facetName(const char* pattern, int facet) {
  return QString::fromUtf8(pattern).arg(facet);
}

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
  // The facet names the files (Map2.mul, Stadifl2.mul, ...) and, with their sizes, the world.
  m_facet = new QComboBox(paths);
  m_facet->setObjectName(QStringLiteral("cbFacet"));
  for (int n = 0; n < kFacetCount; ++n) m_facet->addItem(QString::number(n));
  const int stored = m_registry.config->getInt(kFacetKey);
  m_facet->setCurrentIndex(stored >= 0 && stored < kFacetCount ? stored : 0);
  auto* facetLabel = new QLabel(QStringLiteral("Facet:"), paths);
  facetLabel->setBuddy(m_facet);
  m_size = new QLabel(paths);
  m_size->setObjectName(QStringLiteral("lWorldSize"));
  grid->addWidget(facetLabel, 0, 0);
  grid->addWidget(m_facet, 0, 1, Qt::AlignLeft);
  grid->addWidget(m_size, 0, 2);
  connect(m_facet, &QComboBox::activated, this, [this](int facet) {
    runAction(m_dialogs, [&] { m_registry.config->setInt(kFacetKey, facet); });
    showFacet();
  });
  for (int i = 0; i < 6; ++i) {
    const FieldInfo& f = kFields[i];
    auto* edit = new QLineEdit(paths);
    edit->setObjectName(QStringLiteral("e") + QLatin1String(f.name));
    edit->setText(QString::fromStdString(m_registry.config->getString(f.key)));
    edit->setMinimumWidth(320);
    connect(edit, &QLineEdit::textChanged, this, [this] { showFacet(); });
    // A typed path is kept as a browsed one is, once the field is left or Enter is pressed.
    connect(edit, &QLineEdit::editingFinished, this, [this, edit, key = f.key] {
      const std::string typed = edit->text().trimmed().toStdString();
      if (typed == m_registry.config->getString(key)) return;
      runAction(m_dialogs, [&] { m_registry.config->setString(key, typed); });
    });
    auto* browseButton = new QPushButton(QStringLiteral("..."), paths);
    browseButton->setObjectName(QStringLiteral("btn") + QLatin1String(f.name));
    connect(browseButton, &QPushButton::clicked, this,
            [this, i] { browse(static_cast<Field>(i)); });
    auto* label = new QLabel(paths);
    label->setBuddy(edit);
    grid->addWidget(label, i + 1, 0);
    grid->addWidget(edit, i + 1, 1);
    grid->addWidget(browseButton, i + 1, 2);
    m_fields.push_back(edit);
    m_labels.push_back(label);
  }
  showFacet();

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
    request.title = QStringLiteral("Open ") + facetName(f.label, facet());
    request.filter = nameFilter(facetName(f.filterName, facet()));
    request.proposedName = edit->text();
    const std::optional<QString> chosen = m_dialogs.openFile(request);
    if (!chosen) return;
    if (reportMissingFile(m_dialogs, *chosen)) return;
    m_registry.config->setString(f.key, chosen->toStdString());
    edit->setText(*chosen);
  });
}

int TDiffForm::facet() const { return m_facet->currentIndex(); }

QStringList TDiffForm::mapDiffNames() const {
  const FacetNames names = facetNames(facet());
  return {QString::fromStdString(names.mapDiffList), QString::fromStdString(names.mapDiff)};
}

QStringList TDiffForm::staticDiffNames() const {
  const FacetNames names = facetNames(facet());
  return {QString::fromStdString(names.staticDiffList),
          QString::fromStdString(names.staticDiffIndex), QString::fromStdString(names.staticDiff)};
}

DiffWorld TDiffForm::world() const {
  // The files of the facet tell its size; without them a facet of one size is that size, and
  // otherwise the size of the settings stands, as before facets.
  const auto bytesOf = [this](Field field) -> std::optional<std::uint64_t> {
    const std::string p = path(field);
    if (p.empty() || !fileExists(p)) return std::nullopt;
    // A typed map container tells its world by the map it holds, not by its own length.
    if (field == OrigMap && isUopFile(p)) return mapFileSizeOfContainer(UopContainer::read(p), p);
    return fileSize(p);
  };
  const std::optional<std::uint64_t> map = bytesOf(OrigMap), index = bytesOf(OrigStaIdx);
  const auto name = [this](Field field) {
    return QFileInfo(m_fields[field]->text()).fileName().toStdString();
  };
  if (const auto size = facetWorldSize(facet(), map, index, name(OrigMap), name(OrigStaIdx)))
    return {size->width, size->height};
  const std::vector<FacetSize> sizes = facetSizes(facet());
  if (!map && !index && sizes.size() == 1) return {sizes[0].width, sizes[0].height};
  const auto [width, height] = m_registry.settingsWorldSize();
  return {width, height};
}

void TDiffForm::showFacet() {
  for (std::size_t i = 0; i < m_labels.size(); ++i)
    m_labels[i]->setText(facetName(kFields[i].label, facet()));
  try {
    const DiffWorld w = world();
    m_size->setText(QStringLiteral("World size: %1 x %2").arg(w.width).arg(w.height));
  } catch (const Error& e) {
    m_size->setText(QString::fromStdString(e.what()));
  }
}

std::optional<std::vector<std::string>> TDiffForm::askDiffFiles(const QStringList& names,
                                                                bool save, Field beside) {
  // The diff files of a client folder lie beside its map and statics, whatever their case.
  const QString folder = m_fields[beside]->text().isEmpty()
                             ? QString()
                             : QFileInfo(m_fields[beside]->text()).absolutePath();
  std::vector<std::string> chosen;
  for (const QString& name : names) {
    FileRequest request;
    request.title = QStringLiteral("Choose ") + name;
    request.filter = nameFilter(name);
    request.defaultExtension = QStringLiteral("mul");
    request.proposedName = folder.isEmpty() ? name
                                            : QString::fromStdString(pathWithoutCase(
                                                  folder.toStdString(), name.toStdString()));
    const std::optional<QString> path =
        save ? m_dialogs.saveFile(request) : m_dialogs.openFile(request);
    if (!path || path->isEmpty()) return std::nullopt;
    chosen.push_back(path->toStdString());
  }
  return chosen;
}

void TDiffForm::run(const std::function<std::string()>& operation,
                    const std::vector<std::string>& targets,
                    const std::vector<std::string>& sources) {
  std::string text;
  // The sources are read as their files hold them: unsaved edits of a model holding one are
  // asked about first.
  if (HeldFiles(m_main).run(targets, [&] { text = operation(); }, sources))
    m_dialogs.showMessage(QString::fromStdString(text));
}


void TDiffForm::createMapDiff() {
  const auto files = askDiffFiles(mapDiffNames(), true, OrigMap);
  if (!files) return;
  run([&] {
    return quillotide::createMapDiff(path(OrigMap), path(ChangedMap), {(*files)[0], (*files)[1]},
                                     world(), m_gauge)
        .text();
  }, *files, {path(OrigMap), path(ChangedMap)});
}

void TDiffForm::copyMapDiff() {
  const auto files = askDiffFiles(mapDiffNames(), true, OrigMap);
  if (!files) return;
  run([&] {
    return copyMapToDiff(path(ChangedMap), {(*files)[0], (*files)[1]}, world(), m_gauge)
        .text();
  }, *files, {path(ChangedMap)});
}

void TDiffForm::applyMapDiff() {
  const auto files = askDiffFiles(mapDiffNames(), false, OrigMap);
  if (!files) return;
  run(
      [&] {
        return quillotide::applyMapDiff(path(OrigMap), {(*files)[0], (*files)[1]},
                                        world(), m_gauge)
            .text();
      },
      {path(OrigMap)}, *files);
}

void TDiffForm::createStaticDiff() {
  const auto files = askDiffFiles(staticDiffNames(), true, OrigStaIdx);
  if (!files) return;
  run([&] {
    return quillotide::createStaticDiff(
               path(OrigStaIdx), path(OrigStatics), path(ChangedStaIdx), path(ChangedStatics),
               {(*files)[0], (*files)[1], (*files)[2]}, world(), m_gauge)
        .text();
  }, *files, {path(OrigStaIdx), path(OrigStatics), path(ChangedStaIdx), path(ChangedStatics)});
}

void TDiffForm::copyStaticDiff() {
  const auto files = askDiffFiles(staticDiffNames(), true, OrigStaIdx);
  if (!files) return;
  run([&] {
    return copyStaticsToDiff(path(ChangedStaIdx), path(ChangedStatics),
                             {(*files)[0], (*files)[1], (*files)[2]}, world(), m_gauge)
        .text();
  }, *files, {path(ChangedStaIdx), path(ChangedStatics)});
}

void TDiffForm::applyStaticDiff() {
  const auto files = askDiffFiles(staticDiffNames(), false, OrigStaIdx);
  if (!files) return;
  run(
      [&] {
        return quillotide::applyStaticDiff(path(OrigStaIdx), path(OrigStatics),
                                           {(*files)[0], (*files)[1], (*files)[2]},
                                           world(), m_gauge)
            .text();
      },
      {path(OrigStaIdx), path(OrigStatics)}, *files);
}

void showDiffTool(TMainForm& main) {
  auto* form = main.findChild<TDiffForm*>(QStringLiteral("TDiffForm"));
  if (!form) form = new TDiffForm(main, &main);
  form->show();
  form->raise();
  form->activateWindow();
}

}  // namespace quillotide::ui
