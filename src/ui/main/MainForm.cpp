#include "ui/main/MainForm.h"

#include <functional>
#include <map>

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QListWidget>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include "registry/Registry.h"
#include "sample/Sample.h"
#include "ui/editor/SEditorForm.h"
#include "ui/editor/SharedLink.h"
#include "ui/main/AboutForm.h"
#include "ui/main/AnimdataPage.h"
#include "ui/main/ClilocPage.h"
#include "ui/main/AnimPage.h"
#include "ui/main/ArtLandPage.h"
#include "ui/main/ArtStaticPage.h"
#include "ui/main/EquipmentPage.h"
#include "ui/main/FeaturesPage.h"
#include "ui/main/FontsPage.h"
#include "ui/main/GumpPage.h"
#include "ui/main/HeldFiles.h"
#include "ui/main/HuePage.h"
#include "ui/main/LightPage.h"
#include "ui/main/MultiPage.h"
#include "ui/main/MultimapPage.h"
#include "ui/main/PatchPage.h"
#include "ui/main/ProgressPage.h"
#include "ui/main/SettingsPage.h"
#include "ui/main/SkillsPage.h"
#include "ui/main/SoundPage.h"
#include "ui/main/SpeechPage.h"
#include "ui/main/TexturePage.h"
#include "ui/main/TiledataLandPage.h"
#include "ui/main/TiledataStaticPage.h"
#include "ui/main/UnifontPage.h"
#include "ui/platform/Dialogs.h"
#include "ui/platform/GaugeForm.h"

namespace quillotide::ui {

namespace {

struct PageEntry {
  QString caption;
  QString name;  // the tab sheet's object name
};

// The tabs in the order the user sees them.
const std::vector<PageEntry>& pageEntries() {
  static const std::vector<PageEntry> entries = {
      {"Anim", "tsAnim"},
      {"Anim2", "tsAnim2"},
      {"Anim3", "tsAnim3"},
      {"Anim4", "tsAnim4"},
      {"Anim5", "tsAnim5"},
      {"Animdata", "tsAnimdata"},
      {"Art (M)", "tsArtM"},
      {"Art (S)", "tsArtS"},
      {"Gumps (anim)", "tsGumpsAnim"},
      {"Gump (nonAnim)", "tsGumpNonAnim"},
      {"Hues", "tsHues"},
      {"Light", "tsLight"},
      {"Multi", "tsMulti"},
      {"Sound", "tsSound"},
      {"Textures", "tsTextures"},
      {"Tiledata (M)", "tsTiledataM"},
      {"Tiledata (S)", "tsTiledataS"},
      {"Features", "tsFeatures"},
      {"Settings", "tsSettings"},
      {"Patch", "tsPatch"},
      {"Equipment", "tsEquipment"},
      {"Progress", "tsProgress"},
      {"Cliloc", "tsCliloc"},
      {"Speech", "tsSpeech"},
      {"Skills", "tsSkills"},
      {"Fonts", "tsFonts"},
      {"Unifont", "tsUnifont"},
      {"Multimap", "tsMultimap"},
  };
  return entries;
}

// The page list's headings, each over the pages (by tab sheet name) it gathers; every page is in
// one of them, so the list shows all 28 at once where a tab strip needs scroll arrows.
struct PageGroup {
  QString heading;
  QStringList pages;
};
const std::vector<PageGroup>& pageGroups() {
  static const std::vector<PageGroup> groups = {
      {"Files", {"tsSettings"}},
      {"Animations", {"tsAnim", "tsAnim2", "tsAnim3", "tsAnim4", "tsAnim5", "tsAnimdata"}},
      {"Pictures",
       {"tsArtM", "tsArtS", "tsGumpsAnim", "tsGumpNonAnim", "tsTextures", "tsLight", "tsHues",
        "tsMultimap"}},
      {"Data", {"tsTiledataM", "tsTiledataS", "tsMulti", "tsSound", "tsProgress"}},
      {"Text", {"tsCliloc", "tsSpeech", "tsSkills", "tsFonts", "tsUnifont"}},
      {"Tools", {"tsFeatures", "tsPatch", "tsEquipment"}},
  };
  return groups;
}

constexpr int kPageRole = Qt::UserRole;

int sheetIndex(const QTabWidget* pages, const QString& name) {
  for (int i = 0; i < pages->count(); ++i)
    if (pages->widget(i)->objectName() == name) return i;
  return -1;
}

}  // namespace

const QStringList& pageCaptions() {
  static const QStringList captions = [] {
    QStringList list;
    for (const PageEntry& e : pageEntries()) list << e.caption;
    return list;
  }();
  return captions;
}

void applyConfigDefaults(Registry& registry) {
  if (registry.config->getString("ColorMarkPixels").empty())
    registry.config->setString("ColorMarkPixels", "0xFF00FF");
}

TMainForm::TMainForm(Registry& registry, Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), m_registry(registry), m_dialogs(dialogs) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QStringLiteral("Quillotide"));
  registry.lowMemory = registry.config->getBool("LowMemory");
  runAction(dialogs, [&] { applyConfigDefaults(registry); });

  m_gauge = new TgaugeForm(this);
  m_about = new TAboutForm(this);
  createPages();
  createPageList();
  connectSettings();
  m_pages->setCurrentWidget(m_settings);
  statusBar();
  resize(1000, 720);
  // Back from another program (the world editor's window included): a file it changed under an
  // open family is said at once, not at the next slot that cannot be read.
  connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
    if (s == Qt::ApplicationActive) QTimer::singleShot(0, this, [this] { checkFilesOnDisk(); });
  });
}

void TMainForm::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow())
    QTimer::singleShot(0, this, [this] { checkFilesOnDisk(); });
}

void TMainForm::checkFilesOnDisk() {
  // The question itself takes the activation away and gives it back.
  if (m_checkingOnDisk) return;
  m_checkingOnDisk = true;
  OpenFiles& owner = m_registry.openFiles();
  for (const auto& [id, what] : owner.changedOnDisk()) {
    if (!m_askedOnDisk.insert({id, what}).second) continue;
    const auto choice = m_dialogs.ask(
        Dialogs::kCaption,
        QStringLiteral("%1.\n\nRead it again? Until then, slots that are no longer in the file "
                       "cannot be shown, and a save of this family fails.")
            .arg(QString::fromStdString(what)),
        {QStringLiteral("Read Again"), QStringLiteral("Not Now")});
    if (choice != 0) continue;
    const OpenFiles::Opened* opened = owner.opened(id);
    if (!opened) continue;
    const std::vector<std::string> paths = opened->paths;
    const OpenSize size = opened->size;
    DialogQuestions questions(m_dialogs);
    runAction(m_dialogs, [&] { owner.open(id, paths, size, questions); });
  }
  m_checkingOnDisk = false;
}

TMainForm::~TMainForm() = default;

void TMainForm::createPages() {
  auto* central = new QWidget(this);
  auto* layout = new QHBoxLayout(central);
  // Narrow margins: the widest pages (the tile data flags) still fit a 1000-pixel window.
  layout->setContentsMargins(2, 2, 2, 0);
  layout->setSpacing(2);
  m_pageList = new QListWidget(central);
  m_pageList->setObjectName(QStringLiteral("lbPages"));
  m_pages = new QTabWidget(central);
  m_pages->setObjectName(QStringLiteral("pcMain"));
  // The pages keep their captions as tabs (the page a caption names is found by it), but the
  // strip itself would need scroll arrows: the page list chooses instead.
  m_pages->tabBar()->hide();
  m_pages->setDocumentMode(true);
  layout->addWidget(m_pageList);
  layout->addWidget(m_pages, 1);
  setCentralWidget(central);
  // A page that has no content of its own yet is an empty sheet; each page class takes over its
  // entry here when it arrives.
  const std::map<QString, std::function<QWidget*()>> factories = {
      {"tsSettings",
       [this] { return m_settings = new SettingsPage(m_registry, m_dialogs, m_pages, m_gauge); }},
      {"tsProgress", [this] { return new ProgressPage(*this, m_pages); }},
      {"tsAnimdata", [this] { return new AnimdataPage(*this, m_pages); }},
      {"tsSound", [this] { return new SoundPage(*this, m_pages); }},
      {"tsMulti", [this] { return new MultiPage(*this, m_pages); }},
      {"tsAnim", [this] { return new AnimPage(*this, AnimKind::Anim, m_pages); }},
      {"tsAnim2", [this] { return new AnimPage(*this, AnimKind::Anim2, m_pages); }},
      {"tsAnim3", [this] { return new AnimPage(*this, AnimKind::Anim3, m_pages); }},
      {"tsAnim4", [this] { return new AnimPage(*this, AnimKind::Anim4, m_pages); }},
      {"tsAnim5", [this] { return new AnimPage(*this, AnimKind::Anim5, m_pages); }},
      {"tsTiledataM", [this] { return new TiledataLandPage(*this, m_pages); }},
      {"tsTiledataS", [this] { return new TiledataStaticPage(*this, m_pages); }},
      {"tsArtM", [this] { return new ArtLandPage(*this, m_pages); }},
      {"tsArtS", [this] { return new ArtStaticPage(*this, m_pages); }},
      {"tsGumpsAnim", [this] { return new GumpPage(GumpPage::Kind::Anim, *this, m_pages); }},
      {"tsGumpNonAnim", [this] { return new GumpPage(GumpPage::Kind::NonAnim, *this, m_pages); }},
      {"tsHues", [this] { return new HuePage(*this, m_pages); }},
      {"tsLight", [this] { return new LightPage(*this, m_pages); }},
      {"tsTextures", [this] { return new TexturePage(*this, m_pages); }},
      {"tsFeatures", [this] { return new FeaturesPage(*this, m_pages); }},
      {"tsEquipment", [this] { return new EquipmentPage(*this, m_pages); }},
      {"tsPatch", [this] { return new PatchPage(*this, m_pages); }},
      {"tsCliloc", [this] { return new ClilocPage(*this, m_pages); }},
      {"tsSpeech", [this] { return new SpeechPage(*this, m_pages); }},
      {"tsSkills", [this] { return new SkillsPage(*this, m_pages); }},
      {"tsFonts", [this] { return new FontsPage(*this, m_pages); }},
      {"tsUnifont", [this] { return new UnifontPage(*this, m_pages); }},
      {"tsMultimap", [this] { return new MultimapPage(*this, m_pages); }},
  };
  for (const PageEntry& e : pageEntries()) {
    const auto factory = factories.find(e.name);
    QWidget* page = factory != factories.end() ? factory->second() : new QWidget(m_pages);
    page->setObjectName(e.name);
    m_pages->addTab(page, e.caption);
  }
}

void TMainForm::createPageList() {
  QFont headingFont = m_pageList->font();
  headingFont.setBold(true);
  for (const PageGroup& group : pageGroups()) {
    auto* heading = new QListWidgetItem(group.heading, m_pageList);
    heading->setFlags(Qt::NoItemFlags);
    heading->setFont(headingFont);
    // A heading is no page to choose, yet it reads as a heading rather than as a disabled line.
    heading->setForeground(m_pageList->palette().windowText());
    for (const QString& name : group.pages) {
      const int index = sheetIndex(m_pages, name);
      if (index < 0) continue;
      auto* item = new QListWidgetItem(m_pages->tabText(index), m_pageList);
      item->setData(kPageRole, name);
    }
  }
  m_pageList->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  m_pageList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_pageList->setFixedWidth(m_pageList->sizeHintForColumn(0) + 2 * m_pageList->frameWidth() + 8);
  connect(m_pageList, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
    if (!item) return;
    const int index = sheetIndex(m_pages, item->data(kPageRole).toString());
    if (index >= 0) m_pages->setCurrentIndex(index);
  });
  // A page opened another way (by a tool, or at start) is the one marked in the list.
  connect(m_pages, &QTabWidget::currentChanged, this, [this](int index) {
    const QWidget* sheet = m_pages->widget(index);
    for (int row = 0; sheet && row < m_pageList->count(); ++row)
      if (m_pageList->item(row)->data(kPageRole).toString() == sheet->objectName()) {
        const QSignalBlocker quiet(m_pageList);
        m_pageList->setCurrentRow(row);
        break;
      }
  });
}

void TMainForm::connectSettings() {
  SettingsPage* s = m_settings;
  connect(s, &SettingsPage::animationLoaded, this, &TMainForm::animationLoaded);
  connect(s, &SettingsPage::verdataLoaded, this, &TMainForm::verdataLoaded);
  connect(s, &SettingsPage::gumpsLoaded, this, &TMainForm::gumpsLoaded);
  connect(s, &SettingsPage::artLoaded, this, &TMainForm::artLoaded);
  connect(s, &SettingsPage::texturesLoaded, this, &TMainForm::texturesLoaded);
  connect(s, &SettingsPage::radarcolLoaded, this, &TMainForm::radarcolLoaded);
  connect(s, &SettingsPage::lightLoaded, this, &TMainForm::lightLoaded);
  connect(s, &SettingsPage::tiledataLoaded, this, [this] {
    applyTiledataLayout();
    emit tiledataLoaded();
  });
  connect(s, &SettingsPage::animdataLoaded, this, &TMainForm::animdataLoaded);
  connect(s, &SettingsPage::huesLoaded, this, &TMainForm::huesLoaded);
  connect(s, &SettingsPage::soundLoaded, this, &TMainForm::soundLoaded);
  connect(s, &SettingsPage::multisLoaded, this, &TMainForm::multisLoaded);
  connect(s, &SettingsPage::staticsLoaded, this, &TMainForm::staticsLoaded);
  connect(s, &SettingsPage::mapLoaded, this, &TMainForm::mapLoaded);
  connect(s, &SettingsPage::win98Changed, this, &TMainForm::win98Changed);
  connect(s, &SettingsPage::aboutRequested, m_about, &QDialog::open);
  connect(s, &SettingsPage::sharedWorldRequested, this, [this](const QString& url, int facet) {
    openSharedWorld(*this, url.toStdString(), facet);
  });
}

std::optional<TiledataLayout> TMainForm::tiledataLayoutSetting() const {
  return tiledataLayoutFromName(m_registry.config->getString("TiledataLayout"));
}

void TMainForm::setTiledataLayoutSetting(std::optional<TiledataLayout> layout) {
  runAction(m_dialogs, [&] {
    m_registry.config->setString("TiledataLayout", layout ? tiledataLayoutName(*layout) : "");
  });
  if (!m_registry.tiledata->isLoaded()) return;
  runAction(m_dialogs, [&] { m_registry.tiledata->setLayout(layout); });
  emit tiledataLoaded();
}

void TMainForm::applyTiledataLayout() {
  const auto layout = tiledataLayoutSetting();
  if (layout && m_registry.tiledata->isLoaded())
    runAction(m_dialogs, [&] { m_registry.tiledata->setLayout(layout); });
}

QWidget* TMainForm::page(const QString& caption) const {
  for (int i = 0; i < m_pages->count(); ++i)
    if (m_pages->tabText(i) == caption) return m_pages->widget(i);
  return nullptr;
}

void TMainForm::startWorldeditor() {
  QTimer::singleShot(100, this, [this] {
    TSEditorForm::open(*this);
    emit worldeditorLoadsDone();
  });
}

bool TMainForm::confirmClose() {
  QStringList groups = m_settings->unsavedGroups();
  // The world the editor asked about (and was told to leave) is not asked about twice.
  if (const TSEditorForm* editor = TSEditorForm::existing(*this)) {
    if (editor->hasUnsaved(WorldPart::Statics)) groups.removeAll(QStringLiteral("Statics"));
    if (editor->hasUnsaved(WorldPart::Map)) groups.removeAll(QStringLiteral("Map"));
  }
  if (groups.isEmpty()) return true;
  QStringList lines;
  for (const QString& id : groups) {
    QStringList files;
    for (const QString& path : m_settings->loadedPaths(id)) files << QDir::toNativeSeparators(path);
    lines << QStringLiteral("%1: %2").arg(id, files.join(QStringLiteral(", ")));
  }
  const auto answer = m_dialogs.ask(
      Dialogs::kCaption,
      QStringLiteral("These files have unsaved changes:\n%1\n\nSave them before closing?")
          .arg(lines.join(QLatin1Char('\n'))),
      {QStringLiteral("Save"), QStringLiteral("Don't Save"), QStringLiteral("Cancel")});
  if (!answer || *answer == 2) return false;
  if (*answer == 1) return true;
  // A save that fails keeps the window open, with what is not yet saved still in memory.
  return runAction(m_dialogs, [&] {
    for (const QString& id : groups) m_settings->saveToLoadedFiles(id);
  });
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (confirmClose())
    event->accept();
  else
    event->ignore();
}

void TMainForm::useSampleSet(const QString& dir) {
  const bool written = runAction(m_dialogs, [&] {
    if (!sample::sampleSetComplete(dir.toStdString())) sample::writeSampleSet(dir.toStdString());
  });
  if (written) m_settings->useSampleSet(dir);
}

}  // namespace quillotide::ui
