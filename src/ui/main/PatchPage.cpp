#include "ui/main/PatchPage.h"

#include <algorithm>
#include <tuple>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Text.h"
#include "registry/Registry.h"
#include "ui/main/HeldFiles.h"
#include "ui/main/MainForm.h"
#include "ui/main/NamedWidgets.h"
#include "ui/platform/Dialogs.h"
#include "world/Map.h"
#include "world/RegionPatch.h"

namespace quillotide::ui {

namespace {

const QString kPatchFilter = QStringLiteral("*.pkx|*.pkx");

// The page's bar as the core's progress: it moves and lets the window process its messages.
class BarProgress : public Progress {
public:
  explicit BarProgress(QProgressBar* bar) : m_bar(bar) {}
  void start() override { m_bar->setValue(0); }
  void step(int percent) override {
    m_bar->setValue(percent);
    QCoreApplication::processEvents();
  }

private:
  QProgressBar* m_bar;
};

std::string str(const QString& s) { return s.toStdString(); }

QCheckBox* check(const QString& name, const QString& caption, bool on, QWidget* parent) {
  auto* c = new QCheckBox(caption, parent);
  c->setObjectName(name);
  c->setChecked(on);
  return c;
}

}  // namespace

PatchPage::PatchPage(TMainForm& main, QWidget* parent)
    : QWidget(parent), m_main(main), m_registry(main.registry()), m_dialogs(main.dialogs()) {
  auto* general = new QGroupBox(QStringLiteral("General"), this);
  auto* grid = new QGridLayout(general);
  m_dir = namedField(QStringLiteral("ePDir"), general);
  m_dir->setReadOnly(true);
  m_dir->installEventFilter(this);
  auto* browse = namedButton(QStringLiteral("btnPBrowse"), QStringLiteral("..."), general);
  m_map = new QComboBox(general);
  m_map->setObjectName(QStringLiteral("cbChooseMap"));
  m_width = namedField(QStringLiteral("ePWidth"), general);
  m_height = namedField(QStringLiteral("ePHeight"), general);
  m_x1 = namedField(QStringLiteral("ePX1"), general);
  m_y1 = namedField(QStringLiteral("ePY1"), general);
  m_x2 = namedField(QStringLiteral("ePX2"), general);
  m_y2 = namedField(QStringLiteral("ePY2"), general);
  grid->addWidget(new QLabel(QStringLiteral("Dir"), general), 0, 0);
  grid->addWidget(m_dir, 0, 1, 1, 3);
  grid->addWidget(browse, 0, 4);
  grid->addWidget(new QLabel(QStringLiteral("Map:"), general), 1, 0);
  grid->addWidget(m_map, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("Width:"), general), 2, 0);
  grid->addWidget(m_width, 2, 1);
  grid->addWidget(new QLabel(QStringLiteral("Height:"), general), 2, 2);
  grid->addWidget(m_height, 2, 3);
  grid->addWidget(new QLabel(QStringLiteral("X1:"), general), 3, 0);
  grid->addWidget(m_x1, 3, 1);
  grid->addWidget(new QLabel(QStringLiteral("Y1:"), general), 3, 2);
  grid->addWidget(m_y1, 3, 3);
  grid->addWidget(new QLabel(QStringLiteral("X2:"), general), 4, 0);
  grid->addWidget(m_x2, 4, 1);
  grid->addWidget(new QLabel(QStringLiteral("Y2:"), general), 4, 2);
  grid->addWidget(m_y2, 4, 3);

  auto* create = new QGroupBox(QStringLiteral("Create Patch"), this);
  auto* createRow = new QHBoxLayout(create);
  m_withMap = check(QStringLiteral("cbPMap"), QStringLiteral("Map"), true, create);
  m_withStatics = check(QStringLiteral("cbPStatics"), QStringLiteral("Statics"), true, create);
  m_withArt = check(QStringLiteral("cbPArt"), QStringLiteral("Art"), false, create);
  m_withTextures = check(QStringLiteral("cbPTex"), QStringLiteral("Textures"), false, create);
  auto* createStart =
      namedButton(QStringLiteral("btnPStart"), QStringLiteral("Create Patch"), create);
  for (QWidget* w : {static_cast<QWidget*>(m_withMap), static_cast<QWidget*>(m_withStatics),
                     static_cast<QWidget*>(m_withArt), static_cast<QWidget*>(m_withTextures),
                     static_cast<QWidget*>(createStart)})
    createRow->addWidget(w);

  auto* apply = new QGroupBox(QStringLiteral("Apply Patch"), this);
  auto* applyRow = new QHBoxLayout(apply);
  m_backup = check(QStringLiteral("cbPBackup"), QStringLiteral("Create Backup"), true, apply);
  auto* applyStart =
      namedButton(QStringLiteral("btnStartApplyPatch"), QStringLiteral("Start"), apply);
  applyRow->addWidget(m_backup);
  applyRow->addWidget(applyStart);

  auto* heights = new QGroupBox(QStringLiteral("Change Heights"), this);
  auto* heightRow = new QHBoxLayout(heights);
  m_amount = namedField(QStringLiteral("eChangeHoehe"), heights);
  m_heightMap = check(QStringLiteral("cbCHMap"), QStringLiteral("Map"), true, heights);
  m_heightStatics = check(QStringLiteral("cbCHStatics"), QStringLiteral("Statics"), true, heights);
  auto* heightStart = namedButton(QStringLiteral("btnStartHeight"),
                                  QStringLiteral("Start Height Changing"), heights);
  heightRow->addWidget(new QLabel(QStringLiteral("Change Height:"), heights));
  heightRow->addWidget(m_amount);
  heightRow->addWidget(m_heightMap);
  heightRow->addWidget(m_heightStatics);
  heightRow->addWidget(heightStart);

  m_bar = new QProgressBar(this);
  m_bar->setObjectName(QStringLiteral("gP"));
  m_bar->setRange(0, 100);
  m_bar->setValue(0);

  auto* layout = new QVBoxLayout(this);
  for (QWidget* w :
       {static_cast<QWidget*>(general), static_cast<QWidget*>(create), static_cast<QWidget*>(apply),
        static_cast<QWidget*>(heights), static_cast<QWidget*>(m_bar)})
    layout->addWidget(w);
  layout->addStretch(1);

  connect(browse, &QPushButton::clicked, this, [this] { chooseDirectory(); });
  connect(createStart, &QPushButton::clicked, this, [this] { createPatch(); });
  connect(applyStart, &QPushButton::clicked, this, [this] { applyPatch(); });
  connect(heightStart, &QPushButton::clicked, this, [this] { changeHeights(); });

  m_dir->setText(QString::fromStdString(m_registry.config->getString("PatchDir")));
  rebuildMapList();
}

bool PatchPage::eventFilter(QObject* watched, QEvent* event) {
  // A click into the directory field chooses the folder, as the button does.
  if (watched == m_dir && event->type() == QEvent::MouseButtonRelease) {
    chooseDirectory();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void PatchPage::chooseDirectory() {
  const auto folder = m_dialogs.chooseFolder(QStringLiteral("Dir"));
  if (!folder || folder->isEmpty()) return;
  QString dir = *folder;
  if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
  m_dir->setText(dir);
  runAction(m_dialogs, [&] { m_registry.config->setString("PatchDir", str(dir)); });
  rebuildMapList();
}

void PatchPage::rebuildMapList() {
  m_map->clear();
  for (const int n : patchMapNumbers(str(m_dir->text()))) m_map->addItem(QString::number(n));
}

int PatchPage::mapNumber() const {
  if (m_map->currentIndex() < 0) throw Error("Choose a map of the patch directory first.");
  return m_map->currentText().toInt();
}

std::pair<int, int> PatchPage::worldSize() const {
  const int width = parseInt(str(m_width->text()));
  const int height = parseInt(str(m_height->text()));
  checkWorldSize(width, height);
  // A mistyped size must not reach the tools, which plan work for every block of the region: the
  // directory's map has to hold the world's blocks.
  const PatchDirectory dir = directory();
  const std::string map = dir.mapPath();
  if (!fileExists(map)) throwCannotOpen(map, 0);
  // A container holds the map file its chunks give, not its own length.
  const std::uint64_t have = dir.mapBytes() / MapLayout::kBlockSize;
  const std::uint64_t need =
      static_cast<std::uint64_t>(width / 8) * static_cast<std::uint64_t>(height / 8);
  if (have < need)
    throw Error(formatMessage(
        "%s holds %d map blocks, fewer than the %d of a world of %d x %d cells: check Width and "
        "Height.",
        {map, std::to_string(have), std::to_string(need), std::to_string(width),
         std::to_string(height)}));
  return {width, height};
}

PatchDirectory PatchPage::directory() const { return {str(m_dir->text()), mapNumber()}; }

CellRegion PatchPage::region() const {
  return CellRegion::of(parseInt(str(m_x1->text())), parseInt(str(m_y1->text())),
                        parseInt(str(m_x2->text())), parseInt(str(m_y2->text())));
}

void PatchPage::createPatch() {
  const auto path = m_dialogs.saveFile({QStringLiteral("Where do you want to save the patch?"),
                                        kPatchFilter,
                                        QStringLiteral("pkx"),
                                        {}});
  if (!path || path->isEmpty()) return;
  for (QLineEdit* e : {m_x1, m_y1, m_x2, m_y2})
    if (!tryParseInt(str(e->text()))) {
      m_dialogs.showMessage(QStringLiteral("Coordinates have to be Integer values."));
      return;
    }
  runAction(m_dialogs, [&] {
    const auto [width, height] = worldSize();
    const PatchContents what{m_withMap->isChecked(), m_withStatics->isChecked(),
                             m_withArt->isChecked(), m_withTextures->isChecked()};
    const PatchDirectory from = directory();
    // The patch is made from the files: unsaved edits of the loaded models that hold them are
    // in it only when saved first.
    std::vector<std::string> sources;
    if (what.map) sources.push_back(from.mapPath());
    if (what.statics) {
      sources.push_back(from.staticsIndexPath());
      sources.push_back(from.staticsDataPath());
    }
    if (!HeldFiles(m_main).readsFrom(sources)) return;
    BarProgress progress(m_bar);
    const auto message = createPatchFile(from, width, height, region(), what, str(*path), progress);
    if (message) m_dialogs.showMessage(QString::fromStdString(*message));
  });
}

void PatchPage::applyPatch() {
  const auto path = m_dialogs.openFile({QStringLiteral("Which patch do you want to apply?"),
                                        kPatchFilter,
                                        QStringLiteral("pkx"),
                                        {}});
  if (!path || path->isEmpty()) return;
  std::optional<std::string> backup;
  if (m_backup->isChecked()) {
    const auto chosen =
        m_dialogs.saveFile({QStringLiteral("Where do you want to save your backup?"),
                            kPatchFilter,
                            QStringLiteral("pkx"),
                            {}});
    if (!chosen || chosen->isEmpty())
      m_backup->setChecked(false);
    else
      backup = str(*chosen);
  }
  // Everything typed is checked, and the files the patch changes are known, before any loaded
  // model is asked to let them go.
  int width = 0, height = 0, x1 = 0, y1 = 0;
  PatchDirectory to;
  std::vector<std::string> targets;
  const bool checked = runAction(m_dialogs, [&] {
    std::tie(width, height) = worldSize();
    x1 = parseInt(str(m_x1->text()));
    y1 = parseInt(str(m_y1->text()));
    to = directory();
    for (const PatchRecord& r : readPatch(readFile(str(*path)), str(*path))) {
      const auto add = [&targets](std::initializer_list<std::string> paths) {
        for (const std::string& p : paths)
          if (std::find(targets.begin(), targets.end(), p) == targets.end()) targets.push_back(p);
      };
      if (r.type == PatchLayout::kMapCell) add({to.mapPath()});
      if (r.type == PatchLayout::kStatic || r.type == PatchLayout::kAddedStatic)
        add({to.staticsIndexPath(), to.staticsDataPath()});
      if (r.type == PatchLayout::kArt) add({to.artIndexPath(), to.artDataPath()});
      if (r.type == PatchLayout::kTexture) add({to.textureIndexPath(), to.textureDataPath()});
    }
  });
  if (!checked) return;
  HeldFiles(m_main).run(targets, [&] {
    BarProgress progress(m_bar);
    const auto message = applyPatchFile(to, width, height, x1, y1, str(*path), backup, progress);
    if (message) m_dialogs.showMessage(QString::fromStdString(*message));
  });
}

void PatchPage::changeHeights() {
  CellRegion r;
  int width = 0, height = 0, amount = 0;
  PatchDirectory dir;
  const bool map = m_heightMap->isChecked();
  const bool statics = m_heightStatics->isChecked();
  const bool checked = runAction(m_dialogs, [&] {
    r = region();
    std::tie(width, height) = worldSize();
    amount = parseInt(str(m_amount->text()));
    dir = directory();
  });
  if (!checked) return;
  std::vector<std::string> targets;
  if (map) targets.push_back(dir.mapPath());
  if (statics) {
    targets.push_back(dir.staticsIndexPath());
    targets.push_back(dir.staticsDataPath());
  }
  HeldFiles(m_main).run(targets, [&] {
    BarProgress progress(m_bar);
    const auto message =
        changeHeightsInDirectory(dir, width, height, r, amount, map, statics, progress);
    if (message) m_dialogs.showMessage(QString::fromStdString(*message));
  });
}

}  // namespace quillotide::ui
