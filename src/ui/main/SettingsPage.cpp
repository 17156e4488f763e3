#include "ui/main/SettingsPage.h"

#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Registry.h"
#include "app/Text.h"
#include "sample/Sample.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

namespace {

std::string str(const QString& text) { return text.toStdString(); }

// The groups of the page in the order the user sees them. The statics and map filters use
// wildcard names so that every map number shows.
const std::vector<FileGroupInfo>& groupTable() {
  static const std::vector<FileGroupInfo> table = {
      {"Anim", "Animations", {{"Anim.idx", "AnimIdx", "Anim.idx"}, {"Anim.mul", "AnimMul", "Anim.mul"}}, false},
      {"Verdata", "Verdata", {{"Verdata.mul", "Verdata", "Verdata.mul"}}, true},
      {"Gumps", "Gumps", {{"Gumpidx.mul", "GumpIdx", "Gumpidx.mul"}, {"Gumpart.mul", "GumpMul", "Gumpart.mul"}}, true},
      {"Art", "Art", {{"Artidx.mul", "ArtIdx", "Artidx.mul"}, {"Art.mul", "ArtMul", "Art.mul"}}, true},
      {"Textures", "Textures", {{"Texidx.mul", "TexIdx", "Texidx.mul"}, {"Texmaps.mul", "TexMul", "Texmaps.mul"}}, true},
      {"Radarcol", "Radarcol", {{"Radarcol.mul", "RadarCol", "Radarcol.mul"}}, true},
      {"Light", "Light", {{"Lightidx.mul", "LightIdx", "Lightidx.mul"}, {"Light.mul", "LightMul", "Light.mul"}}, true},
      {"Tiledata", "Tiledata", {{"Tiledata.mul", "Tiledata", "Tiledata.mul"}}, true},
      {"Anim2", "Anim2", {{"Anim2.idx", "Anim2Idx", "Anim2.idx"}, {"Anim2.mul", "Anim2Mul", "Anim2.mul"}}, false},
      {"Anim3", "Anim3", {{"Anim3.idx", "Anim3Idx", "Anim3.idx"}, {"Anim3.mul", "Anim3Mul", "Anim3.mul"}}, false},
      {"Anim4", "Anim4", {{"Anim4.idx", "Anim4Idx", "Anim4.idx"}, {"Anim4.mul", "Anim4Mul", "Anim4.mul"}}, false},
      {"Anim5", "Anim5", {{"Anim5.idx", "Anim5Idx", "Anim5.idx"}, {"Anim5.mul", "Anim5Mul", "Anim5.mul"}}, false},
      {"Animdata", "Animdata", {{"Animdata.mul", "Animdata", "Animdata.mul"}}, true},
      {"Hues", "Hues", {{"Hues.mul", "Hues", "Hues.mul"}}, true},
      {"Sound", "Sound", {{"Soundidx.mul", "SoundIdx", "Soundidx.mul"}, {"Sound.mul", "SoundMul", "Sound.mul"}}, true},
      {"Multis", "Multis", {{"Multi.idx", "MultiIdx", "Multi.idx"}, {"Multi.mul", "MultiMul", "Multi.mul"}}, true},
      {"Statics", "Statics", {{"Staidx0.mul", "StaticIdx", "Staidx*.mul"}, {"Statics0.mul", "StaticMul", "Statics*.mul"}}, true},
      {"Map", "Map", {{"Map0.mul", "Map", "Map*.mul"}}, false},
  };
  return table;
}

int animationFile(const QString& id) {
  if (id == QLatin1String("Anim")) return 1;
  if (id.startsWith(QLatin1String("Anim")) && id.size() == 5 && id[4].isDigit()) return id[4].digitValue();
  return 0;
}

TAnimation* animationModel(Registry& r, int file) {
  switch (file) {
    case 1: return r.animation.get();
    case 2: return r.anim2.get();
    case 3: return r.anim3.get();
    case 4: return r.anim4.get();
    case 5: return r.anim5.get();
    default: return nullptr;
  }
}

// Pair saves answer false when the models write every change at once (low-memory mode).
void reportPairSave(Dialogs& dialogs, bool written) {
  if (!written)
    dialogs.showMessage(QStringLiteral(
        "Nothing was saved: in Low Memory mode every change is already written to the loaded files."));
}

}  // namespace

QString animationNote(const QString& fileName) {
  return QStringLiteral("New Version does not load %1 into Memory anymore, but writes directly into "
                        "%1 File. So make a backup before.")
      .arg(fileName);
}

QString notAvailableMessage(const QString& title) {
  return QStringLiteral("%1 files cannot be loaded or saved by this version yet.").arg(title);
}

bool SettingsPage::familyAvailable(const QString& id) {
  static const QStringList later = {"Sound", "Multis", "Statics", "Map", "Progress"};
  return !later.contains(id);
}

SettingsPage::SettingsPage(Registry& registry, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), m_registry(registry), m_dialogs(dialogs) {
  setObjectName(QStringLiteral("SettingsPage"));
  auto* outer = new QVBoxLayout(this);
  auto* scroll = new QScrollArea(this);
  scroll->setWidgetResizable(true);
  outer->addWidget(scroll);
  auto* content = new QWidget(scroll);
  auto* grid = new QGridLayout(content);
  scroll->setWidget(content);

  int n = 0;
  for (const FileGroupInfo& info : groupTable()) {
    auto* box = new FileGroupBox(info, *registry.config, dialogs, content);
    m_groups[info.id] = box;
    const QString id = info.id;
    connect(box, &FileGroupBox::loadClicked, this, [this, id] { load(id); });
    connect(box, &FileGroupBox::saveClicked, this, [this, id] { save(id); });
    if (id == QLatin1String("Map")) addSizeFields(box);
    grid->addWidget(box, n / 2, n % 2);
    ++n;
  }

  auto* options = new QHBoxLayout;
  m_win98 = new QCheckBox(QStringLiteral("Win98/WinME"), content);
  m_win98->setObjectName(QStringLiteral("cbWin98"));
  m_win98->setChecked(registry.config->getBool("Win98"));
  connect(m_win98, &QCheckBox::clicked, this, [this](bool checked) {
    runAction(m_dialogs, [&] { m_registry.config->setBool("Win98", checked); });
    emit win98Changed(checked);
  });
  m_lowMemory = new QCheckBox(QStringLiteral("Low Memory"), content);
  m_lowMemory->setObjectName(QStringLiteral("cbLowMemory"));
  m_lowMemory->setChecked(registry.lowMemory);
  // The storage mode was chosen at start; a click only takes effect at the next start.
  connect(m_lowMemory, &QCheckBox::clicked, this, [this](bool checked) {
    runAction(m_dialogs, [&] { m_registry.config->setBool("LowMemory", checked); });
  });
  auto* about = new QPushButton(QStringLiteral("About..."), content);
  about->setObjectName(QStringLiteral("btnAbout"));
  connect(about, &QPushButton::clicked, this, &SettingsPage::aboutRequested);
  options->addWidget(m_win98);
  options->addWidget(m_lowMemory);
  options->addStretch(1);
  options->addWidget(about);
  grid->addLayout(options, (n + 1) / 2, 0, 1, 2);
  grid->setRowStretch((n + 1) / 2 + 1, 1);
}

void SettingsPage::addSizeFields(FileGroupBox* map) {
  const int row = map->nextRow();
  auto makeField = [&](const QString& label, const QString& key, int r) {
    auto* edit = new QLineEdit(map);
    edit->setObjectName(QStringLiteral("e") + key);
    edit->setText(QString::fromStdString(m_registry.config->getString(str(key))));
    auto* caption = new QLabel(label, map);
    caption->setBuddy(edit);
    map->grid()->addWidget(caption, r, 0);
    map->grid()->addWidget(edit, r, 1);
    // Stored on every change the user makes, so the size is remembered as typed.
    connect(edit, &QLineEdit::textEdited, this, [this, key](const QString& text) {
      runAction(m_dialogs, [&] { m_registry.config->setString(str(key), str(text)); });
    });
    return edit;
  };
  m_width = makeField(QStringLiteral("Width:"), QStringLiteral("MapWidth"), row);
  m_height = makeField(QStringLiteral("Height:"), QStringLiteral("MapHeight"), row + 1);
}

FileGroupBox* SettingsPage::group(const QString& id) const {
  const auto it = m_groups.find(id);
  return it == m_groups.end() ? nullptr : it->second;
}

QLineEdit* SettingsPage::pathField(const QString& key) const {
  return findChild<QLineEdit*>(QStringLiteral("e") + key);
}

bool SettingsPage::win98() const { return m_win98->isChecked(); }

std::optional<WorldSize> SettingsPage::worldSize() {
  const auto width = tryParseInt(str(m_width->text()));
  const auto height = tryParseInt(str(m_height->text()));
  // Below one block of 8 cells the block arithmetic of the map and statics has nothing to divide.
  if (!width || !height || *width < 8 || *height < 8) {
    m_dialogs.showMessage(kSizeMessage);
    return std::nullopt;
  }
  return WorldSize{*width, *height};
}

bool SettingsPage::load(const QString& id, LoadMode mode) {
  return runAction(m_dialogs, [&] { doLoad(id, mode); });
}

bool SettingsPage::save(const QString& id) {
  return runAction(m_dialogs, [&] { doSave(id); });
}

void SettingsPage::doLoad(const QString& id, LoadMode mode) {
  FileGroupBox* box = group(id);
  if (!box) return;
  const QStringList p = box->paths();
  const int file = animationFile(id);
  // Anim4 and Anim5 are optional in most clients: they load only when both files are there.
  const bool missingOptional =
      (file == 4 || file == 5) && (!fileExists(str(p[0])) || !fileExists(str(p[1])));
  if (box->anyPathEmpty() || missingOptional) {
    // The lists are rebuilt all the same and then show the model as it is.
    if (id == QLatin1String("Art")) emit artLoaded();
    if (id == QLatin1String("Gumps")) emit gumpsLoaded();
    if (id == QLatin1String("Textures")) emit texturesLoaded();
    if (id == QLatin1String("Tiledata")) emit tiledataLoaded();
    if (file) {
      emit animationLoaded(file);
      if (mode == LoadMode::Interactive)
        m_dialogs.showMessage(animationNote(box->info().fields[1].label));
    }
    return;
  }
  Registry& r = m_registry;
  if (file) {
    animationModel(r, file)->load(str(p[0]), str(p[1]));
    emit animationLoaded(file);
    if (mode == LoadMode::Interactive)
      m_dialogs.showMessage(animationNote(box->info().fields[1].label));
  } else if (id == QLatin1String("Verdata")) {
    r.verdata->load(str(p[0]));
    emit verdataLoaded();
  } else if (id == QLatin1String("Gumps")) {
    r.gumps->load(str(p[0]), str(p[1]));
    emit gumpsLoaded();
  } else if (id == QLatin1String("Art")) {
    r.art->load(str(p[0]), str(p[1]), r.pairMode());
    emit artLoaded();
  } else if (id == QLatin1String("Textures")) {
    r.textures->load(str(p[0]), str(p[1]), r.pairMode());
    emit texturesLoaded();
  } else if (id == QLatin1String("Radarcol")) {
    r.radarcol->load(str(p[0]));
    emit radarcolLoaded();
  } else if (id == QLatin1String("Light")) {
    r.light->load(str(p[0]), str(p[1]));
    emit lightLoaded();
  } else if (id == QLatin1String("Tiledata")) {
    r.tiledata->load(str(p[0]));
    emit tiledataLoaded();
  } else if (id == QLatin1String("Animdata")) {
    r.animdata->load(str(p[0]));
    emit animdataLoaded();
  } else if (id == QLatin1String("Hues")) {
    r.hues->load(str(p[0]));
    emit huesLoaded();
  } else if (id == QLatin1String("Statics") || id == QLatin1String("Map")) {
    if (!worldSize()) return;
    m_dialogs.showMessage(notAvailableMessage(box->info().title));
  } else {
    m_dialogs.showMessage(notAvailableMessage(box->info().title));
  }
}

void SettingsPage::doSave(const QString& id) {
  FileGroupBox* box = group(id);
  if (!box || !box->info().hasSave) return;
  if (!familyAvailable(id)) {
    m_dialogs.showMessage(notAvailableMessage(box->info().title));
    return;
  }
  const std::optional<QStringList> chosen = box->askSavePaths();
  if (!chosen) return;
  const QStringList& p = *chosen;
  // Writing both files of a pair to one target would leave neither of them.
  if (p.size() == 2 && (p[0] == p[1] || sameFile(str(p[0]), str(p[1]))))
    throw Error(formatMessage("The index file and the data file must be two different files: %s",
                              {str(p[0])}));
  Registry& r = m_registry;
  if (id == QLatin1String("Verdata")) r.verdata->save(str(p[0]));
  else if (id == QLatin1String("Gumps")) reportPairSave(m_dialogs, r.gumps->save(str(p[0]), str(p[1])));
  else if (id == QLatin1String("Art")) reportPairSave(m_dialogs, r.art->save(str(p[0]), str(p[1])));
  else if (id == QLatin1String("Textures")) reportPairSave(m_dialogs, r.textures->save(str(p[0]), str(p[1])));
  else if (id == QLatin1String("Radarcol")) r.radarcol->save(str(p[0]));
  else if (id == QLatin1String("Light")) reportPairSave(m_dialogs, r.light->save(str(p[0]), str(p[1])));
  else if (id == QLatin1String("Tiledata")) r.tiledata->save(str(p[0]));
  else if (id == QLatin1String("Animdata")) r.animdata->save(str(p[0]));
  else if (id == QLatin1String("Hues")) r.hues->save(str(p[0]));
}

void SettingsPage::loadForWorldeditor() {
  Registry& r = m_registry;
  const std::vector<std::pair<QString, bool>> groups = {
      {"Art", r.art->isLoaded()},           {"Statics", false},
      {"Tiledata", r.tiledata->isLoaded()}, {"Textures", r.textures->isLoaded()},
      {"Hues", r.hues->isLoaded()},         {"Animdata", r.animdata->isLoaded()},
      {"Radarcol", r.radarcol->isLoaded()}, {"Map", false},
  };
  for (const auto& [id, loaded] : groups)
    if (familyAvailable(id) && !loaded) load(id);
}

void SettingsPage::useSampleSet(const QString& dir) {
  if (!runAction(m_dialogs, [&] {
        for (const sample::SampleFile& f : sample::sampleFiles()) {
          const std::string path = joinPath(str(dir), f.fileName);
          m_registry.config->setString(f.configKey, path);
          if (QLineEdit* edit = pathField(QString::fromStdString(f.configKey)))
            edit->setText(QString::fromStdString(path));
        }
      }))
    return;
  for (const FileGroupInfo& info : groupTable()) {
    if (!familyAvailable(info.id)) continue;
    const FileGroupBox* box = group(info.id);
    bool present = true;
    for (const QString& path : box->paths())
      present = present && !path.isEmpty() && fileExists(str(path));
    // A family whose sample files are not written yet is left alone rather than reported.
    if (present) load(info.id, LoadMode::Quiet);
  }
}

}  // namespace quillotide::ui
