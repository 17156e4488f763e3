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
#include "app/Postgres.h"
#include "app/UopPair.h"
#include "app/FileIO.h"
#include "app/IndexedFile.h"
#include "app/Progress.h"
#include "registry/Registry.h"
#include "app/Text.h"
#include "sample/Sample.h"
#include "ui/main/ClientFolderForm.h"
#include "ui/main/HeldFiles.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

namespace {

std::string str(const QString& text) { return text.toStdString(); }

PathField field(const QString& label, const QString& key, const QString& filterName = {}) {
  return {label, key, filterName.isEmpty() ? label : filterName};
}

// One of the animation files: no Save; every load by the button ends with the note on writing
// directly into the file, shown also when a field is empty.
FileFamily animationFamily(const QString& id, const QString& title, int file) {
  const QString idx = id + QStringLiteral(".idx"), mul = id + QStringLiteral(".mul");
  return {
      .group = {id, title, {field(idx, id + "Idx"), field(mul, id + "Mul")}, false},
      .refresh = [file](SettingsPage& page) { emit page.animationLoaded(file); },
      .note = animationNote(mul),
      .refreshWhenEmpty = true,
  };
}

}  // namespace

const std::vector<FileFamily>& SettingsPage::families() {
  // The groups in the order the user sees them. The statics and map filters use wildcard names so
  // that every map number shows.
  static const std::vector<FileFamily> table = {
      animationFamily("Anim", "Animations", 1),
      {.group = {"Verdata", "Verdata", {field("Verdata.mul", "Verdata")}},
       .refresh = [](SettingsPage& s) { emit s.verdataLoaded(); }},
      {.group = {"Gumps",
                 "Gumps",
                 {field("Gumpidx.mul", "GumpIdx"), field("Gumpart.mul", "GumpMul")},
                 true,
                 "gumpartLegacyMUL.uop",
                 "gumpartLegacyMUL.uop"},
       .refresh = [](SettingsPage& s) { emit s.gumpsLoaded(); },
       .refreshWhenEmpty = true},
      {.group = {"Art",
                 "Art",
                 {field("Artidx.mul", "ArtIdx"), field("Art.mul", "ArtMul")},
                 true,
                 "artLegacyMUL.uop",
                 "artLegacyMUL.uop"},
       .refresh = [](SettingsPage& s) { emit s.artLoaded(); },
       .refreshWhenEmpty = true,
       .worldeditorOrder = 1},
      {.group = {"Textures",
                 "Textures",
                 {field("Texidx.mul", "TexIdx"), field("Texmaps.mul", "TexMul")}},
       .refresh = [](SettingsPage& s) { emit s.texturesLoaded(); },
       .refreshWhenEmpty = true,
       .worldeditorOrder = 4},
      {.group = {"Radarcol", "Radarcol", {field("Radarcol.mul", "RadarCol")}},
       .refresh = [](SettingsPage& s) { emit s.radarcolLoaded(); },
       .worldeditorOrder = 7},
      {.group = {"Light",
                 "Light",
                 {field("Lightidx.mul", "LightIdx"), field("Light.mul", "LightMul")}},
       .refresh = [](SettingsPage& s) { emit s.lightLoaded(); }},
      {.group = {"Tiledata", "Tiledata", {field("Tiledata.mul", "Tiledata")}},
       .refresh = [](SettingsPage& s) { emit s.tiledataLoaded(); },
       .refreshWhenEmpty = true,
       .worldeditorOrder = 3},
      animationFamily("Anim2", "Anim2", 2),
      animationFamily("Anim3", "Anim3", 3),
      animationFamily("Anim4", "Anim4", 4),
      animationFamily("Anim5", "Anim5", 5),
      {.group = {"Animdata", "Animdata", {field("Animdata.mul", "Animdata")}},
       .refresh = [](SettingsPage& s) { emit s.animdataLoaded(); },
       .worldeditorOrder = 6},
      {.group = {"Hues", "Hues", {field("Hues.mul", "Hues")}},
       .refresh = [](SettingsPage& s) { emit s.huesLoaded(); },
       .worldeditorOrder = 5},
      {.group = {"Sound",
                 "Sound",
                 {field("Soundidx.mul", "SoundIdx"), field("Sound.mul", "SoundMul")},
                 true,
                 "soundLegacyMUL.uop",
                 "soundLegacyMUL.uop"},
       .refresh = [](SettingsPage& s) { emit s.soundLoaded(); }},
      {.group = {"Multis",
                 "Multis",
                 {field("Multi.idx", "MultiIdx"), field("Multi.mul", "MultiMul")},
                 true,
                 "MultiCollection.uop",
                 "MultiCollection.uop"},
       .refresh = [](SettingsPage& s) { emit s.multisLoaded(); },
       .refreshWhenEmpty = true},
      {.group = {"Statics",
                 "Statics",
                 {field("Staidx0.mul", "StaticIdx", "Staidx*.mul"),
                  field("Statics0.mul", "StaticMul", "Statics*.mul")}},
       .refresh = [](SettingsPage& s) { emit s.staticsLoaded(); },
       .readsWorldSize = true,
       .worldeditorOrder = 2},
      {.group = {"Map",
                 "Map",
                 {field("Map0.mul", "Map", "Map*.mul")},
                 false,
                 "map0LegacyMUL.uop",
                 "map*LegacyMUL.uop"},
       .refresh = [](SettingsPage& s) { emit s.mapLoaded(); },
       .showsWorldSize = true,
       .readsWorldSize = true,
       .worldeditorOrder = 8,
       .numbered = true},
      {.group = {"Progress",
                 "Files",
                 {field("Progress.idx", "ProgressIdx"), field("Progress.mul", "ProgressMul")}},
       .refresh = [](SettingsPage& s) { emit s.progressLoaded(); },
       .onSettingsPage = false},
      // The families below sit on their own pages, which follow the owner's events themselves.
      {.group = {"Cliloc", "Files", {field("Cliloc.enu", "Cliloc", "Cliloc.*")}},
       .onSettingsPage = false},
      {.group = {"Fonts", "Files", {field("Fonts.mul", "Fonts")}}, .onSettingsPage = false},
      {.group = {"Unifont", "Files", {field("Unifont.mul", "Unifont", "Unifont*.mul")}},
       .onSettingsPage = false},
      {.group = {"Skills",
                 "Skills",
                 {field("Skills.idx", "SkillsIdx"), field("Skills.mul", "SkillsMul")}},
       .onSettingsPage = false},
      {.group = {"SkillGroups", "Skill groups", {field("Skillgrp.mul", "SkillGroups")}},
       .onSettingsPage = false},
      {.group = {"Speech", "Files", {field("Speech.mul", "Speech")}}, .onSettingsPage = false},
      {.group = {"Multimap", "Files", {field("Multimap.rle", "Multimap", "Multimap*.rle")}},
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
  outer->addLayout(makeSharedWorldRow());
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

  // Whatever opens, reopens or closes a family (a load here, a tool, a client folder, a facet),
  // its pages rebuild and its group says what is open.
  m_ownerToken = m_registry.openFiles().subscribe([this](const std::string& id, FileEvent event) {
    if (event == FileEvent::Released) return;
    const QString group = QString::fromStdString(id);
    const FileFamily* f = family(group);
    if (f && f->refresh && event != FileEvent::Saved) f->refresh(*this);
    showOpenForm(group);
  });
}

SettingsPage::~SettingsPage() { m_registry.openFiles().unsubscribe(m_ownerToken); }

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
    useClientFolder(folder);
  });
  // Enter in the field finds, as the button does.
  connect(m_clientFolder, &QLineEdit::returnPressed, find, &QPushButton::click);
  row->addWidget(caption);
  row->addWidget(m_clientFolder, 1);
  row->addWidget(browse);
  row->addWidget(find);
  return row;
}

QLayout* SettingsPage::makeSharedWorldRow() {
  auto* row = new QHBoxLayout;
  auto* caption = new QLabel(QStringLiteral("Shared world"), this);
  auto* url = new QLineEdit(this);
  url->setObjectName(QStringLiteral("eSharedWorld"));
  url->setPlaceholderText(QStringLiteral("postgresql://host/world?user=anna"));
  url->setText(QString::fromStdString(m_registry.config->getString("SharedWorld")));
  caption->setBuddy(url);
  auto* open = new QPushButton(QStringLiteral("Open in Editor"), this);
  open->setObjectName(QStringLiteral("btnOpenSharedWorld"));
  connect(open, &QPushButton::clicked, this, [this, url] {
    const QString text = url->text().trimmed();
    if (text.isEmpty()) {
      m_dialogs.showError(QStringLiteral(
          "Enter the URL of a shared world, such as postgresql://host/world?user=anna."));
      return;
    }
    // The URL is kept in config.xml; a password never is.
    if (urlHoldsPassword(str(text))) {
      m_dialogs.showError(QStringLiteral(
          "Leave the password out of the URL: it would be stored with the settings. libpq reads "
          "it from ~/.pgpass, the service file or PGPASSWORD."));
      return;
    }
    m_registry.config->setString("SharedWorld", str(text));
    emit sharedWorldRequested(text, facet());
  });
  connect(url, &QLineEdit::returnPressed, open, &QPushButton::click);
  row->addWidget(caption);
  row->addWidget(url, 1);
  row->addWidget(open);
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
    const std::string previous = m_registry.config->getString("ClientFolder");
    m_registry.config->setString("ClientFolder", str(folder));
    m_clientFolder->setText(folder);
    std::map<std::string, std::string> found;
    for (const auto& [key, path] : scan.settings(facet())) found[key] = path;
    // A family the folder lacks keeps no path of the folder read before: its fields would pair
    // one client's files with another's. Paths entered by hand from elsewhere stay.
    for (const auto& [id, box] : m_groups)
      for (const PathField& field : box->info().fields) {
        const std::string key = str(field.key);
        if (found.count(key)) continue;
        const QLineEdit* edit = pathField(field.key);
        if (edit && !previous.empty() && insideFolder(str(edit->text()), previous))
          putPath(key, std::string());
      }
    for (const auto& [key, path] : found) putPath(key, path);
    const ClientFacet& chosen = scan.facets[static_cast<std::size_t>(facet())];
    if (chosen.worldSize && chosen.sizeProblem.empty())
      setWorldSize(chosen.worldSize->width, chosen.worldSize->height);
    m_previousFolder = previous;
    m_clientForm->showScan(scan);
    m_clientForm->show();
    m_clientForm->raise();
  });
}

std::vector<OpenFiles::PlanStep> SettingsPage::planOfFields(const QStringList& ids,
                                                            const std::string& leaving) {
  std::vector<OpenFiles::PlanStep> plan;
  const OpenFiles& owner = m_registry.openFiles();
  std::optional<WorldSize> size;
  for (const QString& id : ids) {
    const FileGroupBox* box = group(id);
    const FileFamily* f = family(id);
    if (!box || !f) continue;
    bool present = !box->anyPathEmpty();
    std::vector<std::string> files;
    for (const QString& path : box->paths()) {
      present = present && fileExists(str(path));
      files.push_back(str(path));
    }
    OpenSize openSize;
    if (present && f->readsWorldSize) {
      if (!size) size = worldSize();
      if (!size) return {};
      openSize = {size->width, size->height};
    }
    if (present) {
      plan.push_back({str(id), files, openSize});
      continue;
    }
    // Open from the folder left behind: closed rather than kept beside the new folder's files.
    const OpenFiles::Opened* open = owner.opened(str(id));
    bool fromLeft = false;
    if (open && !leaving.empty())
      for (const std::string& p : open->paths) fromLeft = fromLeft || insideFolder(p, leaving);
    if (fromLeft) plan.push_back({str(id), {}, {}});
  }
  return plan;
}

void SettingsPage::applyPlan(const std::vector<OpenFiles::PlanStep>& plan) {
  if (plan.empty()) return;
  DialogQuestions questions(m_dialogs);
  const OpenFiles::PlanResult result = m_registry.openFiles().apply(plan, questions);
  if (!result.ran) return;
  m_registry.alignDiffWorld();
  QStringList problems;
  for (const auto& [id, message] : result.failed)
    problems << QStringLiteral("%1: %2").arg(QString::fromStdString(id),
                                             QString::fromStdString(message));
  if (!problems.isEmpty())
    m_dialogs.showError(QStringLiteral("These files could not be opened, and nothing of them "
                                       "is open now:\n%1")
                            .arg(problems.join(QLatin1Char('\n'))));
}

void SettingsPage::chooseFacet(int n) {
  const std::string folder = m_registry.config->getString("ClientFolder");
  if (folder.empty()) {
    // No client folder: the size follows from the facet and the files named in the fields (a
    // map container's from its chunk table).
    auto bytesOf = [](const QLineEdit* field) {
      return worldFileBytes(field ? str(field->text()) : std::string());
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
  const OpenFiles& owner = m_registry.openFiles();
  const bool worldOpen = owner.isOpen("Map") || owner.isOpen("Statics");
  // The fields of another facet's files are emptied rather than left beside this facet's size.
  for (const char* key : {"Map", "StaticIdx", "StaticMul"}) putPath(key, found[key]);
  // What stands in the way is said, and the world open stays as it is.
  if (!chosen.present()) {
    m_dialogs.showMessage(QStringLiteral("There is no map and no statics of facet %1 in %2.")
                              .arg(n)
                              .arg(QString::fromStdString(folder)));
    return;
  }
  if (!chosen.sizeProblem.empty()) {
    m_dialogs.showError(QString::fromStdString(chosen.sizeProblem));
    return;
  }
  if (chosen.worldSize) setWorldSize(chosen.worldSize->width, chosen.worldSize->height);
  // An open world follows the facet as one step: this facet's map and statics replace the
  // other's (after asking about its unsaved edits), and what this facet lacks is closed.
  if (worldOpen)
    applyPlan(planOfFields({QStringLiteral("Map"), QStringLiteral("Statics")}, folder));
  m_registry.alignDiffWorld();
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
  // A container's length is no map size: the map file its chunk table holds is.
  const auto mapBytes = worldFileBytes(mapPath);
  const auto indexBytes = worldFileBytes(indexPath);
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
    if (mode == LoadMode::Interactive)
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
  // A file that is not there is reported by the model ("Cannot open file %s") and ends the load.
  const QStringList paths = box->paths();
  checkWorldFilesAgree(id, paths);
  std::vector<std::string> files;
  for (const QString& path : paths) files.push_back(str(path));
  DialogQuestions questions(m_dialogs);
  const OpenFiles::OpenResult result = m_registry.openFiles().open(
      str(id), files, OpenSize{size.width, size.height}, questions);
  if (!result.opened) return;
  if (result.said) m_dialogs.showMessage(QString::fromStdString(*result.said));
  if (showNote) m_dialogs.showMessage(f->note);
}

void SettingsPage::doSave(const QString& id, std::optional<bool> convertTo) {
  FileGroupBox* box = group(id);
  const FileFamily* f = family(id);
  if (!box || !f || !(convertTo ? f->group.takesUop() : f->group.hasSave)) return;
  OpenFiles& owner = m_registry.openFiles();
  const FamilyOps& ops = f->ops();
  // Said before any dialog: an unloaded model has nothing to write.
  if (!owner.isOpen(str(id))) {
    m_dialogs.showError(QString::fromStdString(notLoadedMessage(str(box->title()))));
    return;
  }
  Progress silent;
  Progress& progress = m_progress ? *m_progress : silent;
  if (!convertTo && ops.savesInPlace && ops.savesInPlace(m_registry)) {
    if (const auto said = owner.save(str(id), progress))
      m_dialogs.showMessage(QString::fromStdString(*said));
    return;
  }
  // "Save" writes the form loaded; "Save as" the form asked for.
  const bool uop = convertTo.value_or(ops.loadedAsUop && ops.loadedAsUop(m_registry));
  const std::optional<QStringList> chosen =
      box->askSavePaths(proposedSavePaths(*f, *box, uop), uop);
  if (!chosen) return;
  std::vector<std::string> targets;
  for (const QString& path : *chosen) targets.push_back(str(path));
  // Writing both files of a pair to one target would leave neither of them.
  if (targets.size() == 2 && !uop) requireDistinctTargets(targets[0], targets[1]);
  if (uop) targets.assign(ops.files, targets.front());
  DialogQuestions questions(m_dialogs);
  // "Save as MUL" and "Save as UOP" bind the group to what they wrote; "Save" elsewhere does not.
  const OpenFiles::SaveResult result =
      owner.saveAs(str(id), targets, convertTo, questions, progress, convertTo.has_value());
  if (result.said) m_dialogs.showMessage(QString::fromStdString(*result.said));
  showOpenForm(id);
}

void SettingsPage::showOpenForm(const QString& id) {
  FileGroupBox* box = group(id);
  const OpenFiles::Opened* open = m_registry.openFiles().opened(str(id));
  if (!box) return;
  QStringList files;
  if (open)
    for (const std::string& p : open->paths)
      if (!files.contains(QString::fromStdString(p))) files << QString::fromStdString(p);
  box->showOpen(files);
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
  const OpenFiles::Opened* open = m_registry.openFiles().opened(str(id));
  QStringList paths;
  if (open)
    for (const std::string& p : open->paths) paths << QString::fromStdString(p);
  return paths;
}

bool SettingsPage::hasUnsavedChanges(const QString& id) const {
  return m_registry.openFiles().unsaved(str(id));
}

QStringList SettingsPage::unsavedGroups() const {
  QStringList ids;
  for (const FileFamily& f : families()) ids << f.group.id;
  return unsavedOf(ids);
}

QStringList SettingsPage::unsavedOf(const QStringList& ids) const {
  std::vector<std::string> asked;
  for (const QString& id : ids) asked.push_back(str(id));
  QStringList groups;
  for (const std::string& id : m_registry.openFiles().unsavedOf(asked))
    groups << QString::fromStdString(id);
  return groups;
}

FamilyOps::Message SettingsPage::saveToLoadedFiles(const QString& id) {
  if (!m_registry.openFiles().isOpen(str(id))) return std::nullopt;
  Progress silent;
  return m_registry.openFiles().save(str(id), m_progress ? *m_progress : silent);
}

void SettingsPage::loadForWorldeditor() {
  std::vector<const FileFamily*> needed;
  for (const FileFamily& f : families())
    if (f.worldeditorOrder > 0) needed.push_back(&f);
  std::sort(needed.begin(), needed.end(), [](const FileFamily* a, const FileFamily* b) {
    return a->worldeditorOrder < b->worldeditorOrder;
  });
  for (const FileFamily* f : needed)
    if (!m_registry.openFiles().isOpen(str(f->group.id))) load(f->group.id, LoadMode::Quiet);
}

void SettingsPage::useClientFolder(const QString& folder) {
  if (!findFiles(folder)) return;
  QStringList ids;
  for (const FileFamily& f : families()) ids << f.group.id;
  runAction(m_dialogs, [&] { applyPlan(planOfFields(ids, m_previousFolder)); });
}

void SettingsPage::loadPresentGroups() {
  for (const FileFamily& f : families()) {
    const FileGroupBox* box = group(f.group.id);
    if (!box) continue;
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
