#include "ui/main/FeaturesSlotTools.h"

#include <filesystem>
#include <functional>
#include <optional>

#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Bmp.h"
#include "app/FileIO.h"
#include "app/Text.h"
#include "models/BatchTools.h"
#include "registry/Registry.h"
#include "ui/main/HeldFiles.h"
#include "ui/main/MainForm.h"
#include "ui/main/NamedWidgets.h"
#include "ui/main/OutputFolder.h"
#include "ui/main/PairRebuild.h"
#include "ui/main/SettingsPage.h"
#include "ui/platform/Dialogs.h"
#include "ui/platform/GaugeForm.h"
#include "ui/platform/ImageBridge.h"

namespace quillotide::ui {

namespace {

// The kinds of "ReIndex" in the order of `cbReIndex`, with the names the save dialogs filter by.
struct ReIndexKind {
  QString caption;
  QString indexName;
  QString dataName;
};

const std::vector<ReIndexKind>& reIndexKinds() {
  static const std::vector<ReIndexKind> kinds = {
      {"Animations", "Anim.idx", "Anim.mul"},     {"Art", "Artidx.mul", "Art.mul"},
      {"Gumps", "Gumpidx.mul", "GumpArt.mul"},    {"Textures", "Texidx.mul", "Texmaps.mul"},
      {"Statics", "Staidx0.mul", "Statics0.mul"},
  };
  return kinds;
}

// `cbAutopatch` lists the animations first; `cbExtract` starts with the art.
constexpr AutopatchKind kAutopatchKinds[] = {AutopatchKind::Animations, AutopatchKind::ArtLand,
                                             AutopatchKind::ArtStatic, AutopatchKind::Gumps,
                                             AutopatchKind::Textures};
constexpr PictureKind kExtractKinds[] = {PictureKind::ArtLand, PictureKind::ArtStatic,
                                         PictureKind::Gumps, PictureKind::Textures};
constexpr EmptyKind kEmptyKinds[] = {EmptyKind::Anim,     EmptyKind::Art,      EmptyKind::Gumps,
                                     EmptyKind::Textures, EmptyKind::Sound,    EmptyKind::Statics,
                                     EmptyKind::Map,      EmptyKind::Tiledata, EmptyKind::Verdata};

QString hexName(const char* noun, std::int64_t slot) {
  return QString::fromLatin1(noun) + QLatin1Char(' ') +
         QString::fromStdString(hexLabel(static_cast<std::uint32_t>(slot)));
}

QString qs(const std::string& s) { return QString::fromStdString(s); }
std::string str(const QString& s) { return s.toStdString(); }

QComboBox* comboBox(const QString& name, const QStringList& items, QWidget* parent) {
  auto* box = new QComboBox(parent);
  box->setObjectName(name);
  box->addItems(items);
  box->setCurrentIndex(-1);
  return box;
}

// A group of one kind list and its "Start" button.
QGroupBox* kindGroup(const QString& caption, QComboBox*& box, const QString& boxName,
                     const QStringList& items, const QString& startName, QWidget* parent) {
  auto* group = new QGroupBox(caption, parent);
  box = comboBox(boxName, items, group);
  auto* row = new QHBoxLayout(group);
  row->addWidget(box, 1);
  row->addWidget(namedButton(startName, QStringLiteral("Start"), group));
  return group;
}

}  // namespace

FeaturesSlotTools::FeaturesSlotTools(TMainForm& main, QWidget* parent)
    : QWidget(parent),
      m_main(main),
      m_registry(main.registry()),
      m_dialogs(main.dialogs()),
      m_gauge(main.gauge()) {
  setObjectName(QStringLiteral("FeaturesSlotTools"));
  // Two columns keep every group in sight on a 1280 x 1024 screen beside the page's other tools.
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->addWidget(autopatchGroup(), 0, 0, 1, 2);
  grid->addWidget(extractGroup(), 1, 0);
  grid->addWidget(reIndexGroup(), 1, 1);
  grid->addWidget(createEmptyGroup(), 2, 0);
  grid->addWidget(copyAnimGroup(), 2, 1);
  grid->addWidget(cutFileGroup(), 3, 0, 1, 2);
  grid->addWidget(markPixelsGroup(), 4, 0);
  grid->addWidget(buttonsGroup(), 4, 1, 2, 1);
  grid->setRowStretch(5, 1);

  for (auto* b : findChildren<QPushButton*>()) {
    const QString name = b->objectName();
    std::function<void()> handler;
    if (name == QLatin1String("btnBrowseAutopatch"))
      handler = [this] {
        const auto path = m_dialogs.openFile(
            {QStringLiteral("Open"), QStringLiteral("*.txt|*.txt"), QStringLiteral("txt"), {}});
        if (path) m_autopatchPath->setText(*path);
      };
    else if (name == QLatin1String("btnAutopatchStart"))
      handler = [this] { autopatch(); };
    else if (name == QLatin1String("btnExtractStart"))
      handler = [this] { extract(); };
    else if (name == QLatin1String("btnReIndex"))
      handler = [this] { reIndex(); };
    else if (name == QLatin1String("btnCreateEmpty"))
      handler = [this] { createEmpty(); };
    else if (name == QLatin1String("Button7"))
      handler = [this] {
        const auto path =
            m_dialogs.openFile({QStringLiteral("Open"), QStringLiteral("*.*|*.*"), {}, {}});
        if (path) m_cutFileName->setText(*path);
      };
    else if (name == QLatin1String("Button8"))
      handler = [this] { cutFile(); };
    else if (name == QLatin1String("btnCPAStart"))
      handler = [this] { copyAnim(); };
    else if (name == QLatin1String("Button13"))
      handler = [this] { boundFile(false); };
    else if (name == QLatin1String("Button14"))
      handler = [this] { boundFile(true); };
    else if (name == QLatin1String("Button15"))
      handler = [this] { missingAnims(); };
    else if (name == QLatin1String("Button18"))
      handler = [this] { artIdsWithMissingAnims(); };
    else if (name == QLatin1String("Button19"))
      handler = [this] { markPixels(); };
    else if (name == QLatin1String("btnfixbitmap"))
      handler = [this] { fixBitmap(); };
    if (handler) connect(b, &QPushButton::clicked, this, handler);
  }
}

QWidget* FeaturesSlotTools::autopatchGroup() {
  auto* group = new QGroupBox(QStringLiteral("Autopatch"), this);
  m_autopatchPath = namedField(QStringLiteral("ePathAutopatch"), group);
  m_autopatchKind =
      comboBox(QStringLiteral("cbAutopatch"),
               {QStringLiteral("Animations"), QStringLiteral("Art (M)"), QStringLiteral("Art (S)"),
                QStringLiteral("Gumps"), QStringLiteral("Textures")},
               group);
  auto* row = new QHBoxLayout(group);
  row->addWidget(new QLabel(QStringLiteral("File:"), group));
  row->addWidget(m_autopatchPath, 1);
  row->addWidget(namedButton(QStringLiteral("btnBrowseAutopatch"), QStringLiteral("..."), group));
  row->addWidget(m_autopatchKind);
  row->addWidget(namedButton(QStringLiteral("btnAutopatchStart"), QStringLiteral("Start"), group));
  return group;
}

QWidget* FeaturesSlotTools::extractGroup() {
  return kindGroup(QStringLiteral("Extract"), m_extractKind, QStringLiteral("cbExtract"),
                   {QStringLiteral("Art (M)"), QStringLiteral("Art (S)"), QStringLiteral("Gumps"),
                    QStringLiteral("Textures")},
                   QStringLiteral("btnExtractStart"), this);
}

QWidget* FeaturesSlotTools::reIndexGroup() {
  QStringList items;
  for (const ReIndexKind& k : reIndexKinds()) items << k.caption;
  return kindGroup(QStringLiteral("ReIndex"), m_reIndexKind, QStringLiteral("cbReIndex"), items,
                   QStringLiteral("btnReIndex"), this);
}

QWidget* FeaturesSlotTools::createEmptyGroup() {
  return kindGroup(QStringLiteral("Create empty"), m_createEmptyKind,
                   QStringLiteral("cbCreateEmpty"),
                   {QStringLiteral("Anim"), QStringLiteral("Art"), QStringLiteral("Gumps"),
                    QStringLiteral("Textures"), QStringLiteral("Sound"), QStringLiteral("Statics"),
                    QStringLiteral("Map"), QStringLiteral("Tiledata"), QStringLiteral("Verdata")},
                   QStringLiteral("btnCreateEmpty"), this);
}

QWidget* FeaturesSlotTools::cutFileGroup() {
  auto* group = new QGroupBox(QStringLiteral("Cut File"), this);
  m_cutFileName = namedField(QStringLiteral("eCutFileName"), group);
  m_cutToSize = namedField(QStringLiteral("eCutToSize"), group);
  auto* row = new QHBoxLayout(group);
  row->addWidget(new QLabel(QStringLiteral("File:"), group));
  row->addWidget(m_cutFileName, 1);
  row->addWidget(namedButton(QStringLiteral("Button7"), QStringLiteral("..."), group));
  row->addWidget(new QLabel(QStringLiteral("New Size (Byte):"), group));
  row->addWidget(m_cutToSize);
  row->addWidget(namedButton(QStringLiteral("Button8"), QStringLiteral("Start"), group));
  return group;
}

QWidget* FeaturesSlotTools::copyAnimGroup() {
  auto* group = new QGroupBox(QStringLiteral("CopyAnim"), this);
  m_copyFrom = namedField(QStringLiteral("eCPAFromID"), group);
  m_copyTo = namedField(QStringLiteral("eCPAToID"), group);
  auto* form = new QFormLayout(group);
  form->addRow(QStringLiteral("From ID:"), m_copyFrom);
  form->addRow(QStringLiteral("To ID:"), m_copyTo);
  form->addRow(namedButton(QStringLiteral("btnCPAStart"), QStringLiteral("Start"), group));
  return group;
}

QWidget* FeaturesSlotTools::markPixelsGroup() {
  auto* group = new QGroupBox(QStringLiteral("MarkPixels"), this);
  m_markColour = namedField(QStringLiteral("eColorMarkPixels"), group);
  m_markColour->setText(qs(m_registry.config->getString("ColorMarkPixels")));
  // Every change is stored at once, as every setting is.
  connect(m_markColour, &QLineEdit::textChanged, this, [this](const QString& text) {
    runAction(m_dialogs, [&] { m_registry.config->setString("ColorMarkPixels", str(text)); });
  });
  auto* form = new QFormLayout(group);
  form->addRow(QStringLiteral("Color:"), m_markColour);
  form->addRow(
      namedButton(QStringLiteral("Button19"), QStringLiteral("MarkAllInvisPixels"), group));
  return group;
}

QWidget* FeaturesSlotTools::buttonsGroup() {
  auto* box = new QWidget(this);
  auto* column = new QVBoxLayout(box);
  column->setContentsMargins(0, 0, 0, 0);
  column->addWidget(
      namedButton(QStringLiteral("Button13"), QStringLiteral("Create ArtBoundFile"), box));
  column->addWidget(
      namedButton(QStringLiteral("Button14"), QStringLiteral("Create GumpBoundFile"), box));
  column->addWidget(
      namedButton(QStringLiteral("Button15"), QStringLiteral("GetMissingAnims"), box));
  column->addWidget(
      namedButton(QStringLiteral("Button18"), QStringLiteral("GetArtIDsWithMissingAnims"), box));
  column->addWidget(namedButton(QStringLiteral("btnfixbitmap"), QStringLiteral("Fix Bitmap"), box));
  column->addStretch(1);
  return box;
}

void FeaturesSlotTools::autopatch() {
  const int index = m_autopatchKind->currentIndex();
  const QString path = m_autopatchPath->text();
  if (index < 0 || path.isEmpty()) return;
  const AutopatchKind kind = kAutopatchKinds[index];
  Registry& r = m_registry;
  const BatchModels models{r.animation.get(), r.art.get(), r.gumps.get(), r.textures.get()};
  const bool loaded = kind == AutopatchKind::Animations ? r.animation->isLoaded()
                      : kind == AutopatchKind::Gumps    ? r.gumps->isLoaded()
                      : kind == AutopatchKind::Textures ? r.textures->isLoaded()
                                                        : r.art->isLoaded();
  if (!loaded) {
    m_dialogs.showMessage(QStringLiteral("Muls not loaded."));
    return;
  }
  std::function<void()> afterLine;
  if (kind == AutopatchKind::ArtStatic) afterLine = [] { QCoreApplication::processEvents(); };
  std::optional<AutopatchResult> result;
  runAction(m_dialogs,
            [&] { result = quillotide::autopatch(models, kind, str(path), m_gauge, afterLine); });
  if (!result) return;
  // The pages showing the changed file read their lists again.
  switch (kind) {
    case AutopatchKind::Animations:
      emit m_main.animationLoaded(1);
      break;
    case AutopatchKind::ArtLand:
    case AutopatchKind::ArtStatic:
      emit m_main.artLoaded();
      break;
    case AutopatchKind::Gumps:
      emit m_main.gumpsLoaded();
      break;
    case AutopatchKind::Textures:
      emit m_main.texturesLoaded();
      break;
  }
  const QString text = qs(result->message());
  if (result->failures.empty())
    m_dialogs.showMessage(text);
  else
    m_dialogs.showError(text);
}


void FeaturesSlotTools::extract() {
  const int index = m_extractKind->currentIndex();
  if (index < 0) return;
  const PictureKind kind = kExtractKinds[index];
  Registry& r = m_registry;
  const bool loaded = kind == PictureKind::Gumps      ? r.gumps->isLoaded()
                      : kind == PictureKind::Textures ? r.textures->isLoaded()
                                                      : r.art->isLoaded();
  if (!loaded) return;
  const QString folderName = qs(extractFolderName(kind));
  const auto base =
      askOutputFolder(m_dialogs, *m_registry.config, "ExtractFolder",
                      QStringLiteral("the folder %1 of extracted pictures").arg(folderName));
  if (!base) return;
  const BatchModels models{r.animation.get(), r.art.get(), r.gumps.get(), r.textures.get()};
  runAction(m_dialogs, [&] {
    const std::string folder = joinPath(*base, extractFolderName(kind));
    const auto result = extractPictures(models, kind, folder, m_gauge);
    std::string text = "The pictures and their list.txt are in " + folder + ".";
    if (!result.damaged.empty()) {
      text += "\nLeft out damaged slots:";
      for (const auto& d : result.damaged) text += "\n" + d;
      m_dialogs.showError(qs(text));
    } else {
      m_dialogs.showMessage(qs(text));
    }
  });
}

void FeaturesSlotTools::reIndex() {
  const int kind = m_reIndexKind->currentIndex();
  if (kind < 0) return;
  Registry& r = m_registry;
  // The model's rebuild with the damaged slots left out or not, and how it names a slot; empty
  // when the kind's model is not loaded.
  std::function<std::vector<std::int64_t>(const std::string&, const std::string&, bool)> rebuild;
  std::function<QString(std::int64_t)> name;
  Random& random = r.random;
  Progress& progress = m_gauge;
  switch (kind) {
    case 0:
      if (!r.animation->isLoaded()) return;
      // The animation files have no rebuild that leaves slots out; a damaged slot ends it.
      rebuild = [&r, &progress, &random](const std::string& idx, const std::string& mul, bool) {
        r.animation->rebuild(idx, mul, progress, random);
        return std::vector<std::int64_t>{};
      };
      break;
    case 1:
      if (!r.art->isLoaded()) return;
      rebuild = [&r, &progress, &random](const std::string& idx, const std::string& mul,
                                         bool skip) {
        return r.art->rebuild(idx, mul, progress, random, skip);
      };
      name = [](std::int64_t slot) { return QString::fromStdString(artRecordName(slot)); };
      break;
    case 2:
      if (!r.gumps->isLoaded()) return;
      rebuild = [&r, &progress, &random](const std::string& idx, const std::string& mul,
                                         bool skip) {
        return r.gumps->rebuild(idx, mul, progress, random, skip);
      };
      name = [](std::int64_t slot) { return hexName("Gump", slot); };
      break;
    case 3:
      if (!r.textures->isLoaded()) return;
      rebuild = [&r, &progress, &random](const std::string& idx, const std::string& mul,
                                         bool skip) {
        return r.textures->rebuild(idx, mul, progress, random, skip);
      };
      name = [](std::int64_t slot) { return hexName("Texture", slot); };
      break;
    case 4:
      if (!r.statics->isLoaded()) return;
      // The statics are compacted block by block; a damaged block is kept as far as it lies in
      // the data file, and said so afterwards.
      rebuild = [this, &r, &progress](const std::string& idx, const std::string& mul, bool) {
        r.statics->compact(idx, mul, progress);
        QStringList problems;
        for (const auto& p : r.statics->takeProblems()) problems << qs(p);
        if (!problems.isEmpty()) m_dialogs.showError(problems.join(QLatin1Char('\n')));
        return std::vector<std::int64_t>{};
      };
      break;
    default:
      return;
  }
  const ReIndexKind& k = reIndexKinds()[static_cast<std::size_t>(kind)];
  auto ask = [this](const QString& pattern) -> std::optional<std::string> {
    const auto path = m_dialogs.saveFile({QStringLiteral("Save ") + pattern,
                                          pattern + QLatin1Char('|') + pattern,
                                          QFileInfo(pattern).suffix(),
                                          {}});
    if (!path || path->isEmpty()) return std::nullopt;
    return path->toStdString();
  };
  const auto idx = ask(k.indexName);
  if (!idx) return;
  const auto mul = ask(k.dataName);
  if (!mul) return;
  // A rebuild into the files a loaded model holds replaces them by rename: the model (the
  // rebuild's source) reads the new files afterwards instead of keeping the old ones, and its
  // unsaved edits are asked about first.
  if (!name) {
    HeldFiles(m_main).rewrite({*idx, *mul}, [&] { rebuild(*idx, *mul, false); });
    return;
  }
  HeldFiles(m_main).rewrite({*idx, *mul}, [&] {
    runPairRebuild(
        m_dialogs, [&](bool skip) { return rebuild(*idx, *mul, skip); }, name);
  });
}

void FeaturesSlotTools::createEmpty() {
  const int index = m_createEmptyKind->currentIndex();
  if (index < 0) return;
  const EmptyKind kind = kEmptyKinds[index];
  const auto folder =
      m_dialogs.chooseFolder(QStringLiteral("Where do you want to save the files?"));
  if (!folder || folder->isEmpty()) return;
  const auto existing = existingEmptyFiles(kind, str(*folder));
  if (!existing.empty()) {
    QStringList names;
    for (const auto& n : existing) names << qs(n);
    const auto answer =
        m_dialogs.ask(QStringLiteral("Create empty"),
                      QStringLiteral("The folder already holds %1. Replace with empty files?")
                          .arg(names.join(QStringLiteral(", "))),
                      {QStringLiteral("Replace"), QStringLiteral("Cancel")});
    if (answer != 0) return;
  }
  // Empty files replacing those a loaded model holds: the model reads them afterwards.
  std::vector<std::string> targets;
  for (const auto& name : emptyFileNames(kind)) targets.push_back(joinPath(str(*folder), name));
  HeldFiles(m_main).run(targets, [&] { createEmptyFiles(kind, str(*folder)); });
}

void FeaturesSlotTools::cutFile() {
  runAction(m_dialogs, [&] {
    const std::int32_t size = parseInt(str(m_cutToSize->text()));
    const std::string written = quillotide::cutFile(str(m_cutFileName->text()), size);
    // The file itself stays as it was: where the cut copy went is said.
    m_dialogs.showMessage(QStringLiteral("File cut.\nThe first %1 bytes are in %2; %3 is unchanged.")
                              .arg(size)
                              .arg(QString::fromStdString(written), m_cutFileName->text()));
  });
}

void FeaturesSlotTools::copyAnim() {
  runAction(m_dialogs, [&] {
    const std::int32_t from = parseInt(str(m_copyFrom->text()));
    const std::int32_t to = parseInt(str(m_copyTo->text()));
    // The index named on the Settings page, as shown there: through the open model when it
    // holds that file (into the files it holds open), else the file itself. An index other than
    // the one open is not written behind the model's back.
    SettingsPage* settings = m_main.settingsPage();
    const QLineEdit* field = settings ? settings->pathField(QStringLiteral("AnimIdx")) : nullptr;
    const std::string shown = field ? str(field->text()) : m_registry.config->getString("AnimIdx");
    TAnimation& loaded = *m_registry.animation;
    if (const OpenFiles::Opened* open = m_registry.openFiles().opened("Anim")) {
      const std::string& held = open->paths.front();
      if (!shown.empty() && !sameTarget(shown, held))
        throw Error(formatMessage("The animations are open from %s, not from %s: load %s "
                                  "first, or copy in the open files.",
                                  {held, shown, shown}));
      loaded.copyBody(from, to, held);
    } else {
      TAnimation file;
      file.copyBody(from, to, shown);
    }
    // The animation page shows the copied body at once.
    if (m_registry.animation->isLoaded()) emit
      m_main.animationLoaded(1);
  });
}

void FeaturesSlotTools::boundFile(bool gumps) {
  Registry& r = m_registry;
  if (!gumps && !r.art->isLoaded()) {
    m_dialogs.showMessage(QStringLiteral("Load Art first."));
    return;
  }
  if (gumps && !r.gumps->isLoaded()) {
    m_dialogs.showMessage(QStringLiteral("Load Gumps first."));
    return;
  }
  // A save dialog: the bound file is a new file, which an open dialog would refuse.
  const auto path = m_dialogs.saveFile(
      {QStringLiteral("Where to save the file?"), QStringLiteral("*.*|*.*"), {}, {}});
  if (!path || path->isEmpty()) return;
  runAction(m_dialogs, [&] {
    writeFileAtomic(str(*path), gumps ? gumpBoundFile(*r.gumps) : artBoundFile(*r.art));
    m_dialogs.showMessage(QStringLiteral("Done"));
  });
}

void FeaturesSlotTools::missingAnims() {
  Registry& r = m_registry;
  if (!r.animation->isLoaded()) {
    m_dialogs.showMessage(QStringLiteral("anim not loaded"));
    return;
  }
  if (!r.gumps->isLoaded()) {
    m_dialogs.showMessage(QStringLiteral("gump not loaded"));
    return;
  }
  const auto folder = askOutputFolder(m_dialogs, *m_registry.config, "MissingAnimsFolder",
                                      QStringLiteral("missinganims.txt"));
  if (!folder) return;
  runAction(m_dialogs, [&] {
    const std::string path = joinPath(*folder, "missinganims.txt");
    writeTextLines(path, missingAnimLines(*r.gumps, *r.animation));
    m_dialogs.showMessage(QStringLiteral("Ids saved to ") + qs(path));
  });
}

void FeaturesSlotTools::artIdsWithMissingAnims() {
  Registry& r = m_registry;
  if (!r.tiledata->isLoaded()) {
    m_dialogs.showMessage(QStringLiteral("Load Tiledata first."));
    return;
  }
  if (!r.animation->isLoaded()) {
    m_dialogs.showMessage(QStringLiteral("Load Anims first."));
    return;
  }
  const auto path = m_dialogs.saveFile({QStringLiteral("Save"), QStringLiteral("*.txt|*.txt"),
                                        QStringLiteral("txt"), QStringLiteral("EmptyIDs.txt")});
  if (!path || path->isEmpty()) return;
  runAction(m_dialogs, [&] {
    const auto ids = quillotide::artIdsWithMissingAnims(*r.tiledata, *r.animation);
    writeTextLines(str(*path), ids);
    m_dialogs.showMessage(
        QStringLiteral("%1 art ids without animations written to %2.").arg(ids.size()).arg(*path));
  });
}

void FeaturesSlotTools::markPixels() {
  const auto path = m_dialogs.openFile(
      {QStringLiteral("Choose your bitmap."), QStringLiteral("*.bmp|*.bmp"), {}, {}});
  if (!path || path->isEmpty()) return;
  runAction(m_dialogs, [&] {
    const Bitmap32 marked = markInvisiblePixels(readBmpFile(str(*path)),
                                                markColourOf(str(m_markColour->text())), m_gauge);
    m_dialogs.showPicture(QStringLiteral("MarkAllInvisPixels"), toQImage(marked));
  });
}

void FeaturesSlotTools::fixBitmap() {
  const auto path = m_dialogs.openFile(
      {QStringLiteral("Choose a bitmap"), QStringLiteral("*.bmp|*.bmp"), {}, {}});
  if (!path || path->isEmpty()) return;
  runAction(m_dialogs, [&] {
    fixBitmapImageSize(str(*path));
    m_dialogs.showMessage(QStringLiteral("Done"));
  });
}

}  // namespace quillotide::ui
