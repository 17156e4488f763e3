#include "ui/main/FeaturesWorldTools.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Image.h"
#include "app/Text.h"
#include "registry/Registry.h"
#include "ui/main/HeldFiles.h"
#include "ui/main/MainForm.h"
#include "ui/main/NamedWidgets.h"
#include "ui/main/OutputFolder.h"
#include "ui/main/SettingsPage.h"
#include "ui/platform/Dialogs.h"
#include "ui/platform/GaugeForm.h"
#include "world/Statics.h"
#include "world/WorldTools.h"

namespace quillotide::ui {

namespace {

std::string str(const QString& s) { return s.toStdString(); }
QString qstr(const std::string& s) { return QString::fromStdString(s); }

// Where "Search ID" and "Count Textures in Map" write their reports.
constexpr const char* kReportFolderKey = "ReportFolder";

// The name a picture is saved under: the dialog's default extension added when the name has none,
// as the system's own dialog does.
QString withPictureExtension(const QString& path) {
  const QString name = QFileInfo(path).fileName();
  return name.contains(QLatin1Char('.')) ? path : path + QStringLiteral(".bmp");
}

// The bar of MapCopy as the core's progress.
class BarProgress : public Progress {
public:
  explicit BarProgress(QProgressBar* bar) : m_bar(bar) {}
  void step(int percent) override {
    m_bar->setValue(percent);
    QCoreApplication::processEvents();
  }

private:
  QProgressBar* m_bar;
};

}  // namespace

FeaturesWorldTools::FeaturesWorldTools(TMainForm& main, QWidget* parent)
    : QWidget(parent),
      m_registry(main.registry()),
      m_dialogs(main.dialogs()),
      m_gauge(main.gauge()),
      m_main(main) {
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(worldGroup(), 0, 0, 1, 2);
  layout->addWidget(mapIdGroup(), 1, 0);
  layout->addWidget(radarGroup(), 1, 1);
  layout->addWidget(mapCopyGroup(), 2, 0, 1, 2);
  layout->addWidget(deleteGroup(), 3, 0);
  layout->addWidget(mergeGroup(), 3, 1);
}

QWidget* FeaturesWorldTools::worldGroup() {
  auto* group = new QGroupBox(QStringLiteral("World"), this);
  auto* column = new QVBoxLayout(group);
  // "Worldeditor" and "Diff Tool" go into this row.
  m_worldButtons = new QHBoxLayout();
  column->addLayout(m_worldButtons);
  auto* row = new QHBoxLayout();
  const auto add = [&](const QString& name, const QString& caption,
                       void (FeaturesWorldTools::*f)()) {
    auto* b = namedButton(name, caption, group);
    connect(b, &QPushButton::clicked, this, [this, f] { (this->*f)(); });
    row->addWidget(b);
  };
  add(QStringLiteral("btnCountTex"), QStringLiteral("Count Textures in Map"),
      &FeaturesWorldTools::countTextures);
  add(QStringLiteral("btnCreateStaticMap"), QStringLiteral("Create StaticMap"),
      &FeaturesWorldTools::createStaticMap);
  add(QStringLiteral("btnSearchID"), QStringLiteral("Search ID"), &FeaturesWorldTools::searchId);
  add(QStringLiteral("Button12"), QStringLiteral("?"), &FeaturesWorldTools::repairStatics);
  group->findChild<QPushButton*>(QStringLiteral("Button12"))
      ->setToolTip(QStringLiteral(
          "Statics repair: removes the statics 0x39E7 to 0x39EE and adds a 0x28C1 above every "
          "0xCF3, 0xCF4, 0xCF6 and 0xCF7 that stands above the ground, in the statics files of the "
          "Settings page. Asks before it runs."));
  add(QStringLiteral("Button20"), QStringLiteral("Cleanup Statics"),
      &FeaturesWorldTools::cleanupStatics);
  add(QStringLiteral("Button21"), QStringLiteral("Save Statics"), &FeaturesWorldTools::saveStatics);
  column->addLayout(row);
  auto* heights = new QHBoxLayout();
  auto* plain = namedButton(QStringLiteral("CreateHeightMap"), QStringLiteral("CreateHeightMap"), group);
  auto* adjusted = namedButton(QStringLiteral("btnCreateHeightMapAdjustHeight"),
                          QStringLiteral("CreateHeightMapAdjustHeight"), group);
  m_heightLevel = namedField(QStringLiteral("emapheightadjust"), group);
  m_heightLevel->setText(QStringLiteral("-128"));
  connect(plain, &QPushButton::clicked, this, [this] { heightMap(false); });
  connect(adjusted, &QPushButton::clicked, this, [this] { heightMap(true); });
  heights->addWidget(plain);
  heights->addWidget(adjusted);
  heights->addWidget(m_heightLevel);
  column->addLayout(heights);
  return group;
}

QWidget* FeaturesWorldTools::mapIdGroup() {
  auto* group = new QGroupBox(QStringLiteral("Change Map Ids"), this);
  auto* row = new QHBoxLayout(group);
  m_ruleFile = namedField(QStringLiteral("eMapId"), group);
  auto* choose = namedButton(QStringLiteral("btnChooseMapFile"), QStringLiteral("..."), group);
  auto* start = namedButton(QStringLiteral("btnStartMapIdChange"), QStringLiteral("Start"), group);
  row->addWidget(new QLabel(QStringLiteral("File:"), group));
  row->addWidget(m_ruleFile);
  row->addWidget(choose);
  row->addWidget(start);
  connect(choose, &QPushButton::clicked, this, [this] {
    const QString path = askOpen(QStringLiteral("Open"), QStringLiteral("*.txt"));
    if (!path.isEmpty()) m_ruleFile->setText(path);
  });
  connect(start, &QPushButton::clicked, this, [this] { changeMapIds(); });
  return group;
}

QWidget* FeaturesWorldTools::mapCopyGroup() {
  auto* group = new QGroupBox(QStringLiteral("MapCopy"), this);
  auto* grid = new QGridLayout(group);
  // Every field keeps its text under its key.
  const auto keyed = [&](const char* name, const char* key, const char* caption, int row, int col) {
    auto* e = namedField(QString::fromLatin1(name), group);
    e->setText(qstr(m_registry.config->getString(key)));
    const std::string k = key;
    connect(e, &QLineEdit::textChanged, this, [this, k](const QString& text) {
      runAction(m_dialogs, [&] { m_registry.config->setString(k, str(text)); });
    });
    grid->addWidget(new QLabel(QString::fromLatin1(caption), group), row, col);
    grid->addWidget(e, row, col + 1);
    return e;
  };
  QLineEdit* from = keyed("eMapCopyFrom", "MCFrom", "From:", 0, 0);
  from->setReadOnly(true);
  auto* browseFrom = namedButton(QStringLiteral("btnMCBrowseFrom"), QStringLiteral("..."), group);
  grid->addWidget(browseFrom, 0, 2);
  keyed("eX1", "MCX1", "X1:", 1, 0);
  keyed("eY1", "MCY1", "Y1:", 1, 2);
  keyed("eX2", "MCX2", "X2:", 1, 4);
  keyed("eY2", "MCY2", "Y2:", 1, 6);
  keyed("eMCSrcBreite", "MCSrcWidth", "Width:", 2, 0);
  keyed("eMCSrcHoehe", "MCSrcHeight", "Height:", 2, 2);
  QLineEdit* to = keyed("eMapCopyTo", "MCTo", "To:", 3, 0);
  to->setReadOnly(true);
  auto* browseTo = namedButton(QStringLiteral("Button1"), QStringLiteral("..."), group);
  grid->addWidget(browseTo, 3, 2);
  keyed("eTargX1", "MCTargX1", "X1:", 4, 0);
  keyed("eTargY1", "MCTargY1", "Y1:", 4, 2);
  keyed("eMCTrgBreite", "MCTrgWidth", "Width:", 5, 0);
  keyed("eMCTrgHoehe", "MCTrgHeight", "Height:", 5, 2);
  auto* ignore = namedField(QStringLiteral("eIgnoreId"), group);
  grid->addWidget(new QLabel(QStringLiteral("IgnoreId:"), group), 6, 0);
  grid->addWidget(ignore, 6, 1);
  auto* start = namedButton(QStringLiteral("btnMapCopy"), QStringLiteral("Start"), group);
  grid->addWidget(start, 6, 2);
  m_copyBar = new QProgressBar(group);
  m_copyBar->setObjectName(QStringLiteral("gMap"));
  m_copyBar->setOrientation(Qt::Vertical);
  m_copyBar->setRange(0, 100);
  m_copyBar->setValue(0);
  grid->addWidget(m_copyBar, 0, 8, 7, 1);
  connect(browseFrom, &QPushButton::clicked, this, [this, from] {
    const QString path =
        askOpen(QStringLiteral("Choose the source mapfile to copy from."), QStringLiteral("*.mul"));
    if (!path.isEmpty()) from->setText(path);
  });
  connect(browseTo, &QPushButton::clicked, this, [this, to] {
    const QString path =
        askSave(QStringLiteral("Choose the target mapfile to save to."), QStringLiteral("*.mul"));
    if (!path.isEmpty()) to->setText(path);
  });
  connect(start, &QPushButton::clicked, this, [this] { mapCopy(); });
  return group;
}

QWidget* FeaturesWorldTools::deleteGroup() {
  auto* group = new QGroupBox(QStringLiteral("Delete Statics"), this);
  auto* grid = new QGridLayout(group);
  m_deleteIdx = namedField(QStringLiteral("eStaticIdxDeletePath"), group);
  m_deleteMul = namedField(QStringLiteral("eStaticMulDeletePath"), group);
  auto* browseIdx =
      namedButton(QStringLiteral("btnBrowseStaticIdxDelete"), QStringLiteral("..."), group);
  auto* browseMul =
      namedButton(QStringLiteral("btnBrowseStaticMulDelete"), QStringLiteral("..."), group);
  auto* start = namedButton(QStringLiteral("btnStartStaticDelete"), QStringLiteral("Start"), group);
  grid->addWidget(new QLabel(QStringLiteral("StaticIdx"), group), 0, 0);
  grid->addWidget(m_deleteIdx, 0, 1);
  grid->addWidget(browseIdx, 0, 2);
  grid->addWidget(new QLabel(QStringLiteral("StaticMul"), group), 1, 0);
  grid->addWidget(m_deleteMul, 1, 1);
  grid->addWidget(browseMul, 1, 2);
  grid->addWidget(start, 2, 1);
  connect(browseIdx, &QPushButton::clicked, this, [this] {
    const QString p =
        askOpen(QStringLiteral("Choose the Static Indexfile."), QStringLiteral("*.mul"));
    if (!p.isEmpty()) m_deleteIdx->setText(p);
  });
  connect(browseMul, &QPushButton::clicked, this, [this] {
    const QString p =
        askOpen(QStringLiteral("Choose the Static Datafile."), QStringLiteral("*.mul"));
    if (!p.isEmpty()) m_deleteMul->setText(p);
  });
  connect(start, &QPushButton::clicked, this, [this] { deleteStatics(); });
  return group;
}

QWidget* FeaturesWorldTools::mergeGroup() {
  auto* group = new QGroupBox(QStringLiteral("Merge Statics"), this);
  auto* grid = new QGridLayout(group);
  const char* names[4] = {"eMSIdx1", "eMSMul1", "eMSIdx2", "eMSMul2"};
  // The browse buttons as they are named, in the order of the fields they fill.
  const char* buttons[4] = {"Button3", "Button4", "Button6", "Button5"};
  for (int i = 0; i < 4; ++i) {
    m_merge[i] = namedField(QString::fromLatin1(names[i]), group);
    auto* browse = namedButton(QString::fromLatin1(buttons[i]), QStringLiteral("..."), group);
    grid->addWidget(
        new QLabel(i % 2 == 0 ? QStringLiteral("StaticIdx") : QStringLiteral("StaticMul"), group),
        i, 0);
    grid->addWidget(m_merge[i], i, 1);
    grid->addWidget(browse, i, 2);
    QLineEdit* target = m_merge[i];
    connect(browse, &QPushButton::clicked, this, [this, target] {
      const QString p =
          askOpen(QStringLiteral("Choose the Static Indexfile."), QStringLiteral("*.mul"));
      if (!p.isEmpty()) target->setText(p);
    });
  }
  auto* run = namedButton(QStringLiteral("btnMSRun"), QStringLiteral("Run"), group);
  grid->addWidget(run, 4, 1);
  connect(run, &QPushButton::clicked, this, [this] { mergeStatics(); });
  return group;
}

QWidget* FeaturesWorldTools::radarGroup() {
  auto* group = new QGroupBox(QStringLiteral("Worldradarmap"), this);
  auto* row = new QHBoxLayout(group);
  auto* start = namedButton(QStringLiteral("Button11"), QStringLiteral("Start"), group);
  m_radarLabel = new QLabel(group);
  m_radarLabel->setObjectName(QStringLiteral("lWorldRadarMap"));
  row->addWidget(start);
  row->addWidget(m_radarLabel);
  connect(start, &QPushButton::clicked, this, [this] { worldRadarMap(); });
  return group;
}

QString FeaturesWorldTools::askOpen(const QString& title, const QString& pattern) {
  const auto path = m_dialogs.openFile({title, pattern + QLatin1Char('|') + pattern, {}, {}});
  if (!path || path->isEmpty()) return {};
  if (reportMissingFile(m_dialogs, *path, MessageIcon::Warning)) return {};
  return *path;
}

QString FeaturesWorldTools::askSave(const QString& title, const QString& pattern,
                                    const QString& extension) {
  const auto path =
      m_dialogs.saveFile({title, pattern + QLatin1Char('|') + pattern, extension, {}});
  return path ? *path : QString();
}

QString FeaturesWorldTools::askPicture(const QString& title) {
  const QString path = askSave(title, QStringLiteral("*.bmp"), QStringLiteral("bmp"));
  return path.isEmpty() ? path : withPictureExtension(path);
}


std::string FeaturesWorldTools::settingsPath(const char* key) const {
  SettingsPage* settings = m_main.settingsPage();
  if (QLineEdit* e = settings ? settings->pathField(QString::fromLatin1(key)) : nullptr)
    return str(e->text());
  return m_registry.config->getString(key);
}

void FeaturesWorldTools::countTextures() {
  if (!m_registry.map->isLoaded()) {
    m_dialogs.showMessage(QStringLiteral("Load Map0.mul first."));
    return;
  }
  if (!m_registry.tiledata->isLoaded()) {
    m_dialogs.showMessage(QStringLiteral("Load Tiledata first."));
    return;
  }
  runAction(m_dialogs, [&] {
    const auto dir = askOutputFolder(m_dialogs, *m_registry.config, kReportFolderKey,
                                     QStringLiteral("the texture and art lists"));
    if (!dir) return;
    const std::string textures = joinPath(*dir, "texturelist.csv");
    const std::string art = joinPath(*dir, "artlist.csv");
    const std::string done = m_registry.map->countTiles(textures, art, m_gauge);
    m_dialogs.showMessage(
        QStringLiteral("%1\nThe lists are %2 and %3.").arg(qstr(done), qstr(textures), qstr(art)));
  });
}

void FeaturesWorldTools::changeMapIds() {
  if (!m_registry.map->isLoaded()) {
    m_dialogs.showMessage(QStringLiteral("Load Map first."));
    return;
  }
  runAction(m_dialogs, [&] {
    std::vector<std::string> messages;
    const auto rules = parseMapIdRules(readTextLines(str(m_ruleFile->text())), &messages);
    for (const auto& m : messages) m_dialogs.showMessage(qstr(m));
    if (rules.empty()) return;
    for (const auto& m : m_registry.map->replaceIds(rules, m_registry.random, m_gauge).messages)
      m_dialogs.showMessage(qstr(m));
  });
}

void FeaturesWorldTools::createStaticMap() {
  if (!m_registry.statics->isLoaded()) {
    m_dialogs.showMessage(QStringLiteral("Load Statics first."));
    return;
  }
  const QString path = askPicture(QStringLiteral("Where do you want to save the staticmap?"));
  if (path.isEmpty()) return;
  runAction(m_dialogs, [&] {
    imageFormatOf(str(path));  // a name the picture cannot take fails before the drawing
    writeImageFile(str(path), m_registry.statics->renderStaticMap(m_gauge));
  });
}

void FeaturesWorldTools::mapCopy() {
  runAction(m_dialogs, [&] {
    const auto text = [&](const char* name) {
      return str(findChild<QLineEdit*>(QString::fromLatin1(name))->text());
    };
    MapCopyRequest q;
    const auto ignore = tryParseInt(text("eIgnoreId"));
    q.ignoreId = ignore ? (*ignore & 0xFFFF) : -1;
    q.sourceWidth = parseInt(text("eMCSrcBreite"));
    q.sourceHeight = parseInt(text("eMCSrcHoehe"));
    q.targetWidth = parseInt(text("eMCTrgBreite"));
    q.targetHeight = parseInt(text("eMCTrgHoehe"));
    q.region = CellRegion::of(parseInt(text("eX1")), parseInt(text("eY1")), parseInt(text("eX2")),
                              parseInt(text("eY2")));
    q.targetX = parseInt(text("eTargX1"));
    q.targetY = parseInt(text("eTargY1"));
    const std::string from = text("eMapCopyFrom");
    const std::string to = text("eMapCopyTo");
    // A loaded map would write its cached blocks over the copied cells: it lets the file go
    // for the copy and reads it again after.
    // The source is read as its file holds it: unsaved edits of a loaded source are asked about.
    HeldFiles(m_main).run(
        {to},
        [&] {
          BarProgress progress(m_copyBar);
          if (const auto message = copyMapFile(from, to, q, progress))
            m_dialogs.showMessage(qstr(*message));
        },
        {from});
  });
}

void FeaturesWorldTools::deleteStatics() {
  runAction(m_dialogs, [&] {
    const std::string idx = str(m_deleteIdx->text());
    const std::string mul = str(m_deleteMul->text());
    if (idx.empty() || mul.empty()) {
      m_dialogs.showMessage(QStringLiteral("Enter the statics index and data files to empty."));
      return;
    }
    // Emptying a facet's statics cannot be taken back: asked first, and said afterwards.
    const auto answer = m_dialogs.ask(
        Dialogs::kCaption,
        QStringLiteral("Remove every static from %1 and %2? This cannot be undone.")
            .arg(qstr(idx), qstr(mul)),
        {QStringLiteral("Delete"), QStringLiteral("Cancel")});
    if (answer != 0) return;
    if (HeldFiles(m_main).run({idx, mul}, [&] { deleteStaticsFiles(idx, mul, m_gauge); }))
      m_dialogs.showMessage(
          QStringLiteral("Every static was removed from %1 and %2.").arg(qstr(idx), qstr(mul)));
  });
}

void FeaturesWorldTools::searchId() {
  if (!m_registry.statics->isLoaded()) {
    m_dialogs.showMessage(QStringLiteral("Load Statics first."));
    return;
  }
  runAction(m_dialogs, [&] {
    const auto answer = m_dialogs.inputBox(QStringLiteral("ID Searching..."),
                                           QStringLiteral("Choose ID"), QStringLiteral("0x0"));
    if (!answer) return;
    const std::string text = str(*answer);
    // A wrong id is refused before anything else is asked.
    TStatics::searchedId(text);
    const auto dir = askOutputFolder(m_dialogs, *m_registry.config, kReportFolderKey,
                                     QStringLiteral("the search result"));
    if (!dir) return;
    const auto path = m_registry.statics->searchId(
        *dir,
        [&](const std::string&, const std::string&, const std::string&) {
          return std::optional<std::string>(text);
        },
        m_gauge);
    if (path) m_dialogs.showMessage(QStringLiteral("The search result is in %1.").arg(qstr(*path)));
  });
}

void FeaturesWorldTools::mergeStatics() {
  const QString idx = askSave(QStringLiteral("Choose Target Staidx.mul"), QStringLiteral("*.mul"));
  if (idx.isEmpty()) return;
  const QString mul = askSave(QStringLiteral("Choose Target Statics.mul"), QStringLiteral("*.mul"));
  if (mul.isEmpty()) return;
  std::vector<std::string> files{str(idx), str(mul)};
  for (const QLineEdit* source : m_merge) files.push_back(str(source->text()));
  // Sources and targets alike: a loaded model settles its edits into them and reads them again.
  HeldFiles(m_main).run(files, [&] {
    m_dialogs.showMessage(qstr(mergeStaticsFiles(files[2], files[3], files[4], files[5], files[0],
                                                 files[1], m_gauge)));
  });
}

void FeaturesWorldTools::worldRadarMap() {
  Registry& r = m_registry;
  if (!r.radarcol->isLoaded()) {
    m_dialogs.showMessage(QStringLiteral("load radarcol.mul first."));
    return;
  }
  const QString path = askSave(QStringLiteral("Where do you want to save the Radarmap to?"),
                               QStringLiteral("*.bmp"), QStringLiteral("bmp"));
  if (path.isEmpty()) return;
  const int width = r.map->width();
  const int height = r.map->height();
  if (width == 0 || height == 0) {
    m_dialogs.showMessage(QStringLiteral(
        "The world radar map takes the world size of the opened map: load the map first."));
    return;
  }
  // The picture is drawn from the files of the world open (the map's size is theirs), else those
  // the Settings page names: edits of the loaded models are saved into them first, or left out,
  // as the user answers; the models stay loaded.
  const auto openOr = [&](const char* family, std::size_t i, const char* key) {
    const OpenFiles::Opened* open = r.openFiles().opened(family);
    return open && i < open->paths.size() ? open->paths[i] : settingsPath(key);
  };
  const std::string mapFile = openOr("Map", 0, "Map");
  const std::string indexFile = openOr("Statics", 0, "StaticIdx");
  const std::string staticsFile = openOr("Statics", 1, "StaticMul");
  if (!HeldFiles(m_main).readsFrom({mapFile, indexFile, staticsFile})) return;
  runAction(m_dialogs, [&] {
    // A picture name without a known extension is refused before the world is drawn.
    imageFormatOf(str(path));
    const auto map = WorldStream::openForReading(mapFile);
    const auto index = WorldStream::openForReading(indexFile);
    const auto statics = WorldStream::openForReading(staticsFile);
    const QColor face = palette().color(QPalette::Button);
    const Bitmap32 picture = quillotide::worldRadarMap(
        *map, *index, *statics, width, height, *r.radarcol,
        makePixel(static_cast<std::uint8_t>(face.red()), static_cast<std::uint8_t>(face.green()),
                  static_cast<std::uint8_t>(face.blue())),
        [this](int percent) {
          m_radarLabel->setText(QStringLiteral("%1 %").arg(percent));
          QCoreApplication::processEvents();
        });
    writeImageFile(str(path), picture);
    m_dialogs.showMessage(QStringLiteral("Done."));
  });
}

void FeaturesWorldTools::repairStatics() {
  Registry& r = m_registry;
  // The repair takes the ground's altitudes from the loaded map.
  if (!r.map->isLoaded()) {
    m_dialogs.showMessage(QStringLiteral("Load Map first."));
    return;
  }
  const auto size =
      m_main.settingsPage() ? m_main.settingsPage()->worldSize() : std::optional<WorldSize>();
  if (!size) return;
  const std::string idx = settingsPath("StaticIdx");
  const std::string mul = settingsPath("StaticMul");
  // It removes and adds statics in the files themselves: the user says so first.
  const auto go = m_dialogs.ask(
      Dialogs::kCaption,
      QStringLiteral("The statics repair changes %1 and %2 in place: it removes every static "
                     "0x39E7 to 0x39EE and adds a static 0x28C1 above every static 0xCF3, 0xCF4, "
                     "0xCF6 and 0xCF7 that stands above the ground. Run it?")
          .arg(qstr(idx), qstr(mul)),
      {QStringLiteral("Run"), QStringLiteral("Cancel")});
  if (!go || *go != 0) return;
  // The statics model holding the files lets them go for the repair and reads them again after.
  HeldFiles(m_main).run({idx, mul}, [&] {
    const auto index = WorldStream::openFile(idx);
    const auto statics = WorldStream::openFile(mul);
    const StaticsRepair done = quillotide::repairStatics(
        *index, *statics, size->height, [&r](int x, int y) { return r.map->getAltitude(x, y); },
        m_gauge);
    m_dialogs.showMessage(
        done.blocks == 0
            ? QStringLiteral("Statics repair: nothing to change, the files are as they were.")
            : QStringLiteral("Statics repair: %1 blocks rewritten, %2 statics 0x39E7 to 0x39EE "
                             "removed, %3 statics 0x28C1 added.")
                  .arg(done.blocks)
                  .arg(done.dropped)
                  .arg(done.added));
  });
}

void FeaturesWorldTools::cleanupStatics() {
  if (!m_registry.statics->isLoaded()) {
    m_dialogs.showMessage(QStringLiteral("Load Statics first."));
    return;
  }
  runAction(m_dialogs,
            [&] { m_dialogs.showMessage(qstr(m_registry.statics->removeDuplicates(m_gauge))); });
}

void FeaturesWorldTools::saveStatics() {
  if (!m_registry.statics->isLoaded()) {
    m_dialogs.showMessage(QStringLiteral("load statics first"));
    return;
  }
  const QString path = askSave(QStringLiteral("Save"), QStringLiteral("*.txt"));
  if (path.isEmpty()) return;
  runAction(m_dialogs, [&] { m_registry.statics->exportText(str(path), m_gauge); });
}

void FeaturesWorldTools::heightMap(bool adjusted) {
  if (!m_registry.map->isLoaded()) {
    m_dialogs.showMessage(QStringLiteral("load map first"));
    return;
  }
  const QString path = askPicture(QStringLiteral("Save"));
  if (path.isEmpty()) return;
  runAction(m_dialogs, [&] {
    if (!adjusted) {
      m_registry.map->exportHeightMap(str(path), m_gauge);
      return;
    }
    const int level = parseInt(str(m_heightLevel->text()));
    m_dialogs.showMessage(qstr(m_registry.map->exportAdjustedHeightMap(str(path), level, m_gauge)));
  });
}

}  // namespace quillotide::ui
