#include "ui/main/SettingsPage.h"

#include <algorithm>
#include <fstream>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include "app/ClientFolder.h"
#include "app/Error.h"
#include "app/Facet.h"
#include "app/FileNames.h"
#include "app/UopPair.h"
#include "app/FileIO.h"
#include "app/IndexedFile.h"
#include "app/Progress.h"
#include "registry/Registry.h"
#include "app/Text.h"
#include "sample/Sample.h"
#include "ui/main/ClientFolderForm.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

namespace {

std::string str(const QString& text) { return text.toStdString(); }

PathField field(const QString& label, const QString& key, const QString& filterName = {}) {
  return {label, key, filterName.isEmpty() ? label : filterName};
}

// What a save says when the model had nothing to write (low-memory mode).
const std::string kNothingSaved =
    "Nothing was saved: in Low Memory mode every change is already written to the loaded files.";

// The load, save and loaded test of a model that is one registry member, for the rows below.
using Message = FileFamily::Message;
using LoadFn = decltype(FileFamily::load);
using SaveFn = decltype(FileFamily::save);
template <class M>
using Member = std::unique_ptr<M> Registry::*;

template <class M>
LoadFn loadFile(Member<M> m) {
  return [m](Registry& r, const QStringList& p, const WorldSize&) -> Message {
    (r.*m)->load(str(p[0]));
    return std::nullopt;
  };
}
template <class M>
LoadFn loadPair(Member<M> m) {
  return [m](Registry& r, const QStringList& p, const WorldSize&) -> Message {
    (r.*m)->load(str(p[0]), str(p.value(1)));
    return std::nullopt;
  };
}
template <class M>
SaveFn saveFile(Member<M> m) {
  return [m](Registry& r, const QStringList& p, Progress&) -> Message {
    (r.*m)->save(str(p[0]));
    return std::nullopt;
  };
}
template <class M>
SaveFn savePair(Member<M> m) {
  return [m](Registry& r, const QStringList& p, Progress&) -> Message {
    if (!(r.*m)->save(str(p[0]), str(p.value(1)))) return kNothingSaved;
    return std::nullopt;
  };
}
// A model held whole in memory: its save always writes both files (an unloaded progress archive
// writes nothing, and has nothing to report).
template <class M>
SaveFn saveWhole(Member<M> m) {
  return [m](Registry& r, const QStringList& p, Progress&) -> Message {
    (r.*m)->save(str(p[0]), str(p.value(1)));
    return std::nullopt;
  };
}
template <class M>
std::function<bool(const Registry&)> loaded(Member<M> m) {
  return [m](const Registry& r) { return (r.*m)->isLoaded(); };
}
template <class M>
std::function<bool(const Registry&)> readFromUop(Member<M> m) {
  return [m](const Registry& r) { return (r.*m)->isLoaded() && (r.*m)->isUop(); };
}
// A pair untouched since its load or last save: asking about it costs no scratch copy of files
// that may be hundreds of megabytes.
template <class M>
std::function<bool(const Registry&)> untouched(Member<M> m) {
  return [m](const Registry& r) { return !(r.*m)->files().changedSinceSaved(); };
}

// One of the animation files: no Save; every load by the button ends with the note on writing
// directly into the file, shown also when a field is empty.
FileFamily animationFamily(const QString& id, const QString& title, int file,
                           TAnimation& (*model)(const Registry&)) {
  const QString idx = id + QStringLiteral(".idx"), mul = id + QStringLiteral(".mul");
  return {
      .group = {id, title, {field(idx, id + "Idx"), field(mul, id + "Mul")}, false},
      .load = [model](Registry& r, const QStringList& p, const WorldSize&) -> Message {
        model(r).load(str(p[0]), str(p[1]));
        return std::nullopt;
      },
      .refresh = [file](SettingsPage& page) { emit page.animationLoaded(file); },
      .isLoaded = [model](const Registry& r) { return model(r).isLoaded(); },
      .note = animationNote(mul),
      .refreshWhenEmpty = true,
  };
}

// A pair model held open in place: its Save has nothing to ask for.
template <class M>
std::function<bool(const Registry&)> heldOpen(Member<M> m) {
  return [m](const Registry& r) {
    return (r.*m)->isLoaded() && (r.*m)->files().mode() == StorageMode::LowMemory;
  };
}

// The world models: the size typed beside the map serves both. The statics open in place in
// low-memory mode; the edits of their list (the editor's adds, moves, deletes) still wait for
// Save, which then writes the changed blocks into the opened files.
Message loadStatics(Registry& r, const QStringList& p, const WorldSize& size) {
  r.statics->open(str(p[0]), str(p[1]), size.width, size.height, r.pairMode());
  return std::nullopt;
}
Message saveStatics(Registry& r, const QStringList& p, Progress& progress) {
  const Message said = r.statics->save(str(p[0]), str(p[1]), StaticsSaveMode::StaticsOnly,
                                       r.worldFile.get(), progress);
  if (!said && r.statics->mode() == StorageMode::LowMemory) return kNothingSaved;
  return said;
}

// Whether two files hold the same bytes; false when either cannot be read.
bool sameBytes(const std::string& a, const std::string& b) {
  std::ifstream first(a, std::ios::binary);
  std::ifstream second(b, std::ios::binary);
  if (!first || !second) return false;
  std::vector<char> x(1 << 16), y(1 << 16);
  for (;;) {
    first.read(x.data(), static_cast<std::streamsize>(x.size()));
    second.read(y.data(), static_cast<std::streamsize>(y.size()));
    const std::streamsize n = first.gcount();
    if (n != second.gcount() || !std::equal(x.begin(), x.begin() + n, y.begin())) return false;
    if (n == 0 || !first || !second) return first.eof() && second.eof() && !first.bad();
  }
}
Message loadMap(Registry& r, const QStringList& p, const WorldSize& size) {
  return r.map->open(str(p[0]), size.width, size.height);
}
Message saveMapAs(Registry& r, const QStringList& p, bool asUop) {
  if (asUop)
    r.map->saveUop(str(p[0]));
  else
    r.map->saveMul(str(p[0]));
  return std::nullopt;
}
// A container's multis carry cliloc lists that a MUL pair has no place for: such a save says
// how many it left out.
Message saveMultis(Registry& r, const QStringList& p, Progress&) {
  const std::int64_t dropped = r.multis->save(str(p[0]), str(p.value(1)));
  if (dropped > 0 && !isUopFile(p[0]))
    return str(droppedClilocMessage(dropped, QFileInfo(p.value(1)).fileName()));
  return std::nullopt;
}

}  // namespace

const std::vector<FileFamily>& SettingsPage::families() {
  using P = const QStringList&;
  using S = const WorldSize&;
  // The groups in the order the user sees them. The statics and map filters use wildcard names so
  // that every map number shows.
  static const std::vector<FileFamily> table = {
      animationFamily("Anim", "Animations", 1,
                      [](const Registry& r) -> TAnimation& { return *r.animation; }),
      {.group = {"Verdata", "Verdata", {field("Verdata.mul", "Verdata")}},
       .load = loadFile(&Registry::verdata),
       .save = saveFile(&Registry::verdata),
       .refresh = [](SettingsPage& s) { emit s.verdataLoaded(); },
       .isLoaded = loaded(&Registry::verdata)},
      {.group = {"Gumps",
                 "Gumps",
                 {field("Gumpidx.mul", "GumpIdx"), field("Gumpart.mul", "GumpMul")},
                 true,
                 "gumpartLegacyMUL.uop",
                 "gumpartLegacyMUL.uop"},
       .load = loadPair(&Registry::gumps),
       .save = savePair(&Registry::gumps),
       .refresh = [](SettingsPage& s) { emit s.gumpsLoaded(); },
       .isLoaded = loaded(&Registry::gumps),
       .pristine = untouched(&Registry::gumps),
       .loadedAsUop = readFromUop(&Registry::gumps),
       .refreshWhenEmpty = true},
      {.group = {"Art",
                 "Art",
                 {field("Artidx.mul", "ArtIdx"), field("Art.mul", "ArtMul")},
                 true,
                 "artLegacyMUL.uop",
                 "artLegacyMUL.uop"},
       .load = [](Registry& r, P p, S) -> Message {
         // A container is read into memory whatever the mode; the model says so in Low Memory.
         if (isUopFile(p[0])) return r.art->loadUop(str(p[0]), r.pairMode());
         r.art->load(str(p[0]), str(p[1]), r.pairMode());
         return std::nullopt;
       },
       .save = savePair(&Registry::art),
       .refresh = [](SettingsPage& s) { emit s.artLoaded(); },
       .isLoaded = loaded(&Registry::art),
       .savesInPlace = heldOpen(&Registry::art),
       .pristine = untouched(&Registry::art),
       .loadedAsUop = readFromUop(&Registry::art),
       .refreshWhenEmpty = true,
       .worldeditorOrder = 1},
      {.group = {"Textures",
                 "Textures",
                 {field("Texidx.mul", "TexIdx"), field("Texmaps.mul", "TexMul")}},
       .load = [](Registry& r, P p, S) -> Message {
         r.textures->load(str(p[0]), str(p[1]), r.pairMode());
         return std::nullopt;
       },
       .save = savePair(&Registry::textures),
       .refresh = [](SettingsPage& s) { emit s.texturesLoaded(); },
       .isLoaded = loaded(&Registry::textures),
       .savesInPlace = heldOpen(&Registry::textures),
       .pristine = untouched(&Registry::textures),
       .refreshWhenEmpty = true,
       .worldeditorOrder = 4},
      {.group = {"Radarcol", "Radarcol", {field("Radarcol.mul", "RadarCol")}},
       .load = loadFile(&Registry::radarcol),
       .save = saveFile(&Registry::radarcol),
       .refresh = [](SettingsPage& s) { emit s.radarcolLoaded(); },
       .isLoaded = loaded(&Registry::radarcol),
       .worldeditorOrder = 7},
      {.group = {"Light",
                 "Light",
                 {field("Lightidx.mul", "LightIdx"), field("Light.mul", "LightMul")}},
       .load = loadPair(&Registry::light),
       .save = savePair(&Registry::light),
       .refresh = [](SettingsPage& s) { emit s.lightLoaded(); },
       .isLoaded = loaded(&Registry::light),
       .pristine = untouched(&Registry::light)},
      {.group = {"Tiledata", "Tiledata", {field("Tiledata.mul", "Tiledata")}},
       .load = loadFile(&Registry::tiledata),
       .save = saveFile(&Registry::tiledata),
       .refresh = [](SettingsPage& s) { emit s.tiledataLoaded(); },
       .isLoaded = loaded(&Registry::tiledata),
       .refreshWhenEmpty = true,
       .worldeditorOrder = 3},
      animationFamily("Anim2", "Anim2", 2,
                      [](const Registry& r) -> TAnimation& { return *r.anim2; }),
      animationFamily("Anim3", "Anim3", 3,
                      [](const Registry& r) -> TAnimation& { return *r.anim3; }),
      animationFamily("Anim4", "Anim4", 4,
                      [](const Registry& r) -> TAnimation& { return *r.anim4; }),
      animationFamily("Anim5", "Anim5", 5,
                      [](const Registry& r) -> TAnimation& { return *r.anim5; }),
      {.group = {"Animdata", "Animdata", {field("Animdata.mul", "Animdata")}},
       .load = loadFile(&Registry::animdata),
       .save = saveFile(&Registry::animdata),
       .refresh = [](SettingsPage& s) { emit s.animdataLoaded(); },
       .isLoaded = loaded(&Registry::animdata),
       .worldeditorOrder = 6},
      {.group = {"Hues", "Hues", {field("Hues.mul", "Hues")}},
       .load = loadFile(&Registry::hues),
       .save = saveFile(&Registry::hues),
       .refresh = [](SettingsPage& s) { emit s.huesLoaded(); },
       .isLoaded = loaded(&Registry::hues),
       .worldeditorOrder = 5},
      {.group = {"Sound",
                 "Sound",
                 {field("Soundidx.mul", "SoundIdx"), field("Sound.mul", "SoundMul")},
                 true,
                 "soundLegacyMUL.uop",
                 "soundLegacyMUL.uop"},
       .load = loadPair(&Registry::sound),
       .save = saveWhole(&Registry::sound),
       .refresh = [](SettingsPage& s) { emit s.soundLoaded(); },
       .isLoaded = loaded(&Registry::sound),
       .pristine = untouched(&Registry::sound),
       .loadedAsUop = readFromUop(&Registry::sound)},
      {.group = {"Multis",
                 "Multis",
                 {field("Multi.idx", "MultiIdx"), field("Multi.mul", "MultiMul")},
                 true,
                 "MultiCollection.uop",
                 "MultiCollection.uop"},
       .load = loadPair(&Registry::multis),
       .save = saveMultis,
       .refresh = [](SettingsPage& s) { emit s.multisLoaded(); },
       .isLoaded = loaded(&Registry::multis),
       .pristine = untouched(&Registry::multis),
       .loadedAsUop = readFromUop(&Registry::multis),
       .refreshWhenEmpty = true},
      {.group = {"Statics",
                 "Statics",
                 {field("Staidx0.mul", "StaticIdx", "Staidx*.mul"),
                  field("Statics0.mul", "StaticMul", "Statics*.mul")}},
       .load = loadStatics,
       .save = saveStatics,
       .refresh = [](SettingsPage& s) { emit s.staticsLoaded(); },
       .isLoaded = loaded(&Registry::statics),
       .savesInPlace =
           [](const Registry& r) {
             return r.statics->isLoaded() && r.statics->mode() == StorageMode::LowMemory;
           },
       .unsaved = [](const Registry& r) { return r.statics->hasUnsavedChanges(); },
       .loadedFiles =
           [](const Registry& r) {
             return QStringList{QString::fromStdString(r.statics->indexPath()),
                                QString::fromStdString(r.statics->dataPath())};
           },
       .readsWorldSize = true,
       .worldeditorOrder = 2},
      {.group = {"Map",
                 "Map",
                 {field("Map0.mul", "Map", "Map*.mul")},
                 false,
                 "map0LegacyMUL.uop",
                 "map*LegacyMUL.uop"},
       .load = loadMap,
       .refresh = [](SettingsPage& s) { emit s.mapLoaded(); },
       .isLoaded = loaded(&Registry::map),
       .unsaved = [](const Registry& r) { return r.map->hasUnsavedChanges(); },
       .loadedFiles =
           [](const Registry& r) { return QStringList{QString::fromStdString(r.map->path())}; },
       .saveHeld = [](Registry& r) -> Message {
         return TMap::patchedMessage(r.map->saveChangedBlocks());
       },
       .loadedAsUop = [](const Registry& r) { return r.map->isLoaded() && r.map->isUop(); },
       .saveAs = saveMapAs,
       .showsWorldSize = true,
       .readsWorldSize = true,
       .worldeditorOrder = 8,
       .numbered = true},
      {.group = {"Progress",
                 "Files",
                 {field("Progress.idx", "ProgressIdx"), field("Progress.mul", "ProgressMul")}},
       .load = loadPair(&Registry::progress),
       .save = saveWhole(&Registry::progress),
       .refresh = [](SettingsPage& s) { emit s.progressLoaded(); },
       .isLoaded = loaded(&Registry::progress),
       .onSettingsPage = false},
  };
  return table;
}

const FileFamily* SettingsPage::family(const QString& id) {
  for (const FileFamily& f : families())
    if (f.group.id == id) return &f;
  return nullptr;
}

QString animationNote(const QString& fileName) {
  return QStringLiteral(
             "New Version does not load %1 into Memory anymore, but writes directly into "
             "%1 File. So make a backup before.")
      .arg(fileName);
}

QString droppedClilocMessage(long long lists, const QString& target) {
  return QStringLiteral(
             "%1 has no place for the cliloc lists of the multis: %2 of them were left out. "
             "Every tile, its position and its flags are written.")
      .arg(target)
      .arg(lists);
}

QString notAvailableMessage(const QString& family) {
  return QStringLiteral("%1 files cannot be loaded or saved by this version yet.").arg(family);
}

SettingsPage::SettingsPage(Registry& registry, Dialogs& dialogs, QWidget* parent,
                           Progress* progress)
    : QWidget(parent), m_registry(registry), m_dialogs(dialogs), m_progress(progress) {
  setObjectName(QStringLiteral("SettingsPage"));
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(4, 4, 4, 4);
  // The client folder first: one step fills the groups below, which stay for files from
  // several places.
  outer->addLayout(makeClientFolderRow());
  auto* scroll = new QScrollArea(this);
  scroll->setObjectName(QStringLiteral("sbSettings"));
  scroll->setWidgetResizable(true);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setFrameShape(QFrame::NoFrame);
  outer->addWidget(scroll);
  auto* content = new QWidget(scroll);
  auto* grid = new QGridLayout(content);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(4);
  scroll->setWidget(content);
  m_clientForm = new TClientFolderForm(this);

  int n = 0;
  for (const FileFamily& f : families()) {
    if (!f.onSettingsPage) continue;
    grid->addWidget(makeGroupBox(f, content), n / 2, n % 2);
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

FileGroupBox* SettingsPage::makeGroupBox(const FileFamily& f, QWidget* parent) {
  auto* box = new FileGroupBox(f.group, *m_registry.config, m_dialogs, parent);
  m_groups[f.group.id] = box;
  const QString id = f.group.id;
  connect(box, &FileGroupBox::loadClicked, this, [this, id] { load(id); });
  connect(box, &FileGroupBox::saveClicked, this, [this, id] { save(id); });
  connect(box, &FileGroupBox::saveAsClicked, this, [this, id](bool asUop) { saveAs(id, asUop); });
  if (f.showsWorldSize) addSizeFields(box);
  return box;
}

FileGroupBox* SettingsPage::createGroupBox(const QString& id, QWidget* parent) {
  const FileFamily* f = family(id);
  return f && !group(id) ? makeGroupBox(*f, parent) : nullptr;
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

  m_facet = new QComboBox(map);
  m_facet->setObjectName(QStringLiteral("cbFacet"));
  for (int n = 0; n < kFacetCount; ++n) m_facet->addItem(QString::number(n));
  const std::int64_t stored = m_registry.config->getInt("Facet");
  m_facet->setCurrentIndex(stored >= 0 && stored < kFacetCount ? static_cast<int>(stored) : 0);
  auto* caption = new QLabel(QStringLiteral("Facet:"), map);
  caption->setBuddy(m_facet);
  map->grid()->addWidget(caption, row + 2, 0);
  map->grid()->addWidget(m_facet, row + 2, 1, Qt::AlignLeft);
  connect(m_facet, &QComboBox::activated, this, [this](int n) {
    runAction(m_dialogs, [&] {
      m_registry.config->setInt("Facet", n);
      chooseFacet(n);
    });
  });
}

QLayout* SettingsPage::makeClientFolderRow() {
  auto* row = new QHBoxLayout;
  auto* caption = new QLabel(QStringLiteral("Client folder"), this);
  m_clientFolder = new QLineEdit(this);
  m_clientFolder->setObjectName(QStringLiteral("eClientFolder"));
  m_clientFolder->setText(QString::fromStdString(m_registry.config->getString("ClientFolder")));
  caption->setBuddy(m_clientFolder);
  auto* browse = new QPushButton(QStringLiteral("..."), this);
  browse->setObjectName(QStringLiteral("btnBrowseClientFolder"));
  browse->setFixedWidth(28);
  auto* find = new QPushButton(QStringLiteral("Find files"), this);
  find->setObjectName(QStringLiteral("btnFindFiles"));
  connect(browse, &QPushButton::clicked, this, [this] {
    if (const auto folder = m_dialogs.chooseFolder(QStringLiteral("Client folder")))
      m_clientFolder->setText(*folder);
  });
  connect(find, &QPushButton::clicked, this, [this] {
    QString folder = m_clientFolder->text();
    if (folder.isEmpty()) {
      const auto chosen = m_dialogs.chooseFolder(QStringLiteral("Client folder"));
      if (!chosen) return;
      folder = *chosen;
    }
    findFiles(folder);
  });
  // Enter in the field finds, as the button does.
  connect(m_clientFolder, &QLineEdit::returnPressed, find, &QPushButton::click);
  row->addWidget(caption);
  row->addWidget(m_clientFolder, 1);
  row->addWidget(browse);
  row->addWidget(find);
  return row;
}

int SettingsPage::facet() const { return m_facet ? m_facet->currentIndex() : 0; }

void SettingsPage::setWorldSize(int width, int height) {
  m_width->setText(QString::number(width));
  m_height->setText(QString::number(height));
  m_registry.config->setString("MapWidth", std::to_string(width));
  m_registry.config->setString("MapHeight", std::to_string(height));
}

void SettingsPage::putPath(const std::string& key, const std::string& path) {
  for (const auto& [id, box] : m_groups)
    for (std::size_t i = 0; i < box->info().fields.size(); ++i)
      if (str(box->info().fields[i].key) == key) {
        box->setPath(static_cast<int>(i), QString::fromStdString(path));
        return;
      }
}

bool SettingsPage::findFiles(const QString& folder) {
  return runAction(m_dialogs, [&] {
    // Read before anything is stored: a folder that cannot be read, or holds no client file,
    // stores nothing.
    const ClientScan scan = scanClientFolder(str(folder));
    m_registry.config->setString("ClientFolder", str(folder));
    m_clientFolder->setText(folder);
    for (const auto& [key, path] : scan.settings(facet())) putPath(key, path);
    const ClientFacet& chosen = scan.facets[static_cast<std::size_t>(facet())];
    if (chosen.worldSize && chosen.sizeProblem.empty())
      setWorldSize(chosen.worldSize->width, chosen.worldSize->height);
    m_clientForm->showScan(scan);
    m_clientForm->show();
    m_clientForm->raise();
  });
}

void SettingsPage::chooseFacet(int n) {
  const std::string folder = m_registry.config->getString("ClientFolder");
  if (folder.empty()) {
    // No client folder: the size follows from the facet and the files named in the fields.
    auto bytesOf = [](const QLineEdit* field) {
      return mulWorldFileBytes(field ? str(field->text()) : std::string());
    };
    const QLineEdit* mapField = pathField(QStringLiteral("Map"));
    const QLineEdit* indexField = pathField(QStringLiteral("StaticIdx"));
    const auto size = facetWorldSize(n, bytesOf(mapField), bytesOf(indexField),
                                     str(QFileInfo(mapField->text()).fileName()),
                                     str(QFileInfo(indexField->text()).fileName()));
    if (size) setWorldSize(size->width, size->height);
    return;
  }
  const ClientScan scan = scanClientFolder(folder);
  const ClientFacet& chosen = scan.facets[static_cast<std::size_t>(n)];
  std::map<std::string, std::string> found;
  for (const auto& [key, path] : scan.settings(n)) found[key] = path;
  // The fields of another facet's files are emptied rather than left beside this facet's size.
  for (const char* key : {"Map", "StaticIdx", "StaticMul"}) putPath(key, found[key]);
  if (!chosen.present())
    m_dialogs.showMessage(QStringLiteral("There is no map and no statics of facet %1 in %2.")
                              .arg(n)
                              .arg(QString::fromStdString(folder)));
  else if (!chosen.sizeProblem.empty())
    m_dialogs.showError(QString::fromStdString(chosen.sizeProblem));
  else if (chosen.worldSize)
    setWorldSize(chosen.worldSize->width, chosen.worldSize->height);
}

void SettingsPage::checkWorldFilesAgree(const QString& id, const QStringList& paths) const {
  std::string mapPath, indexPath;
  if (id == QStringLiteral("Map") && m_registry.statics->isLoaded()) {
    mapPath = str(paths.value(0));
    indexPath = m_registry.statics->indexPath();
  } else if (id == QStringLiteral("Statics") && m_registry.map->isLoaded()) {
    mapPath = m_registry.map->path();
    indexPath = str(paths.value(0));
  } else {
    return;
  }
  // A container's size is no map size; its chunks are counted when it is read.
  const auto mapBytes = mulWorldFileBytes(mapPath);
  const auto indexBytes = mulWorldFileBytes(indexPath);
  // The number in the map's name is its facet; the choice decides for a name without one.
  const int n = mapNumberOfName(mapPath).value_or(facet());
  facetWorldSize(n, mapBytes, indexBytes, str(QFileInfo(QString::fromStdString(mapPath)).fileName()),
                 str(QFileInfo(QString::fromStdString(indexPath)).fileName()));
}

FileGroupBox* SettingsPage::group(const QString& id) const {
  const auto it = m_groups.find(id);
  return it == m_groups.end() ? nullptr : it->second;
}

QLineEdit* SettingsPage::pathField(const QString& key) const {
  if (auto* edit = findChild<QLineEdit*>(QStringLiteral("e") + key)) return edit;
  // A group on another page (Progress) holds its fields there.
  for (const auto& [id, box] : m_groups)
    if (auto* edit = box->findChild<QLineEdit*>(QStringLiteral("e") + key)) return edit;
  return nullptr;
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
  const FileFamily* f = family(id);
  if (!box || !f) return;
  const bool showNote = mode == LoadMode::Interactive && !f->note.isEmpty();
  if (box->anyPathEmpty()) {
    if (!f->load)
      m_dialogs.showMessage(notAvailableMessage(id));
    else if (mode == LoadMode::Interactive)
      m_dialogs.showMessage(QStringLiteral("Nothing was loaded: enter the path of %1 first.")
                                .arg(box->emptyFieldLabels().join(QStringLiteral(" and "))));
    // The lists are rebuilt all the same and then show the model as it is.
    if (f->refreshWhenEmpty && f->refresh) {
      f->refresh(*this);
      if (showNote) m_dialogs.showMessage(f->note);
    }
    return;
  }
  WorldSize size;
  if (f->readsWorldSize) {
    const std::optional<WorldSize> typed = worldSize();
    if (!typed) return;
    size = *typed;
  }
  if (!f->load) {
    m_dialogs.showMessage(notAvailableMessage(id));
    return;
  }
  // A file that is not there is reported by the model ("Cannot open file %s") and ends the load.
  const QStringList paths = box->paths();
  checkWorldFilesAgree(id, paths);
  const FileFamily::Message said = f->load(m_registry, paths, size);
  m_loadedPaths[id] = paths;
  if (f->refresh) f->refresh(*this);
  if (said) m_dialogs.showMessage(QString::fromStdString(*said));
  if (showNote) m_dialogs.showMessage(f->note);
}

void SettingsPage::doSave(const QString& id, std::optional<bool> convertTo) {
  FileGroupBox* box = group(id);
  const FileFamily* f = family(id);
  if (!box || !f || !(convertTo ? f->group.takesUop() : f->group.hasSave)) return;
  if (!f->save && !(convertTo && f->saveAs)) {
    m_dialogs.showMessage(notAvailableMessage(id));
    return;
  }
  // Said before any dialog: an unloaded model has nothing to write.
  if (f->isLoaded && !f->isLoaded(m_registry)) {
    m_dialogs.showError(QString::fromStdString(notLoadedMessage(str(box->title()))));
    return;
  }
  QStringList p;
  if (!convertTo && f->savesInPlace && f->savesInPlace(m_registry)) {
    p = loadedPaths(id);
  } else {
    // "Save" writes the form loaded; "Save as" the form asked for.
    const bool uop = convertTo.value_or(f->loadedAsUop && f->loadedAsUop(m_registry));
    const std::optional<QStringList> chosen =
        box->askSavePaths(proposedSavePaths(*f, *box, uop), uop);
    if (!chosen) return;
    p = *chosen;
  }
  // Writing both files of a pair to one target would leave neither of them.
  if (p.size() == 2 && (p[0] == p[1] || sameFile(str(p[0]), str(p[1]))))
    throw Error(formatMessage("The index file and the data file must be two different files: %s",
                              {str(p[0])}));
  Progress silent;
  const FileFamily::Message said =
      convertTo && f->saveAs ? f->saveAs(m_registry, p, *convertTo)
                             : f->save(m_registry, p, m_progress ? *m_progress : silent);
  if (said) m_dialogs.showMessage(QString::fromStdString(*said));
}

bool SettingsPage::saveAs(const QString& id, bool asUop) {
  return runAction(m_dialogs, [&] { doSave(id, asUop); });
}

QStringList SettingsPage::proposedSavePaths(const FileFamily& f, const FileGroupBox& box,
                                            bool asUop) const {
  const QStringList loaded = loadedPaths(f.group.id);
  if (loaded.isEmpty()) return asUop ? QStringList{} : box.paths();
  if (!f.group.takesUop() || isUopFile(loaded.front()) == asUop) return loaded;
  // The other form beside the loaded files, named as the client names it; a file of that name
  // already there (in whatever case) is the one proposed.
  QStringList names;
  if (f.numbered) {
    // The map keeps its number in the other form's name, as the client writes it.
    const FacetNames numbered = facetNames(mapNumberOfName(str(loaded.front())).value_or(0));
    names << QString::fromStdString(asUop ? numbered.mapUop : numbered.map);
  } else if (asUop) {
    names << f.group.uopLabel;
  } else {
    for (const PathField& field : f.group.fields) names << field.label;
  }
  const std::string folder = str(QFileInfo(loaded.front()).absolutePath());
  QStringList proposed;
  for (const QString& name : names)
    proposed << QString::fromStdString(pathWithoutCase(folder, str(name)));
  return proposed;
}

QStringList SettingsPage::loadedPaths(const QString& id) const {
  const FileFamily* f = family(id);
  if (!f || !f->isLoaded || !f->isLoaded(m_registry)) return {};
  if (f->loadedFiles) return f->loadedFiles(m_registry);
  const auto it = m_loadedPaths.find(id);
  return it == m_loadedPaths.end() ? QStringList() : it->second;
}

bool SettingsPage::hasUnsavedChanges(const QString& id) const {
  const FileFamily* f = family(id);
  if (!f || !f->isLoaded || !f->isLoaded(m_registry)) return false;
  if (f->unsaved) return f->unsaved(m_registry);
  if (f->pristine && f->pristine(m_registry)) return false;
  if (!f->save) return false;
  if (f->savesInPlace && f->savesInPlace(m_registry)) return false;
  const QStringList loaded = loadedPaths(id);
  if (loaded.isEmpty()) return false;
  // The model's own writer decides: what it would write now, against what its files hold.
  QTemporaryDir scratch;
  if (!scratch.isValid())
    throw FileError(formatMessage("Cannot create file %s", {str(scratch.path())}));
  QStringList targets;
  for (qsizetype i = 0; i < loaded.size(); ++i)
    targets << scratch.filePath(QString::number(i) + QLatin1Char('-') +
                                QFileInfo(loaded[i]).fileName());
  Progress silent;
  f->save(m_registry, targets, silent);
  for (qsizetype i = 0; i < loaded.size(); ++i) {
    // A model that wrote nothing keeps no change from its files.
    if (!fileExists(str(targets[i]))) return false;
    if (!sameBytes(str(targets[i]), str(loaded[i]))) return true;
  }
  return false;
}

QStringList SettingsPage::unsavedGroups() const {
  QStringList ids;
  for (const FileFamily& f : families()) ids << f.group.id;
  return unsavedOf(ids);
}

QStringList SettingsPage::unsavedOf(const QStringList& ids) const {
  QStringList groups;
  for (const QString& id : ids) {
    // A comparison that cannot be made counts as a change: the user is asked rather than
    // losing one, and can still leave without saving.
    bool unsaved = true;
    try {
      unsaved = hasUnsavedChanges(id);
    } catch (const std::exception&) {
    }
    if (unsaved) groups << id;
  }
  return groups;
}

FileFamily::Message SettingsPage::saveToLoadedFiles(const QString& id) {
  const FileFamily* f = family(id);
  if (f && f->saveHeld && f->isLoaded && f->isLoaded(m_registry)) return f->saveHeld(m_registry);
  const QStringList targets = loadedPaths(id);
  if (!f || !f->save || targets.isEmpty()) return std::nullopt;
  Progress silent;
  return f->save(m_registry, targets, m_progress ? *m_progress : silent);
}

void SettingsPage::loadForWorldeditor() {
  std::vector<const FileFamily*> needed;
  for (const FileFamily& f : families())
    if (f.worldeditorOrder > 0) needed.push_back(&f);
  std::sort(needed.begin(), needed.end(), [](const FileFamily* a, const FileFamily* b) {
    return a->worldeditorOrder < b->worldeditorOrder;
  });
  for (const FileFamily* f : needed)
    if (f->load && !(f->isLoaded && f->isLoaded(m_registry))) load(f->group.id, LoadMode::Quiet);
}

void SettingsPage::useClientFolder(const QString& folder) {
  if (findFiles(folder)) loadPresentGroups();
}

void SettingsPage::loadPresentGroups() {
  for (const FileFamily& f : families()) {
    const FileGroupBox* box = group(f.group.id);
    if (!f.load || !box) continue;
    bool present = true;
    for (const QString& path : box->paths())
      present = present && !path.isEmpty() && fileExists(str(path));
    if (present) load(f.group.id, LoadMode::Quiet);
  }
}

void SettingsPage::useSampleSet(const QString& dir) {
  if (!runAction(m_dialogs, [&] {
        for (const sample::SampleFile& f : sample::sampleFiles()) {
          const std::string path = joinPath(str(dir), f.fileName);
          m_registry.config->setString(f.configKey, path);
          if (QLineEdit* edit = pathField(QString::fromStdString(f.configKey)))
            edit->setText(QString::fromStdString(path));
        }
        // The world size goes into its fields too, so the map and statics load below; the start
        // cell waits for the world editor.
        for (const auto& [key, value] : sample::sampleSettings()) {
          m_registry.config->setString(key, value);
          if (QLineEdit* edit = pathField(QString::fromStdString(key)))
            edit->setText(QString::fromStdString(value));
        }
      }))
    return;
  // A family whose sample files are not written yet is left alone rather than reported.
  loadPresentGroups();
}

}  // namespace quillotide::ui
