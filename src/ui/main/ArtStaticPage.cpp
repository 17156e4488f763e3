#include "ui/main/ArtStaticPage.h"

#include <algorithm>

#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Bmp.h"
#include "app/Error.h"
#include "app/FileIO.h"
#include "registry/Registry.h"
#include "app/Text.h"
#include "models/IdList.h"
#include "ui/main/PictureView.h"
#include "ui/main/SlotListView.h"
#include "ui/platform/Dialogs.h"
#include "ui/platform/GaugeForm.h"

namespace quillotide::ui {

namespace {

const QString kTextFilter = QStringLiteral("*.txt|*.txt");

std::string text(const QLineEdit* field) { return field->text().toStdString(); }

// Text files are 8-bit text in the system's code page.
std::string local8(const QString& s) { return s.toLocal8Bit().toStdString(); }

// Finishes the progress window however the operation ends.
struct GaugeRun {
  explicit GaugeRun(TgaugeForm& g) : gauge(g) { gauge.start(); }
  ~GaugeRun() { gauge.finish(); }
  TgaugeForm& gauge;
};

}  // namespace

std::vector<EmptyRun> emptyRunsBeforeFull(std::int64_t count,
                                          const std::function<bool(std::int64_t)>& full) {
  std::vector<EmptyRun> runs;
  std::int64_t start = -1;
  for (std::int64_t s = 0; s < count; ++s) {
    if (!full(s)) {
      if (start < 0) start = s;
    } else if (start >= 0) {
      runs.push_back({start, s - 1});
      start = -1;
    }
  }
  return runs;
}

std::vector<std::string> wolfpackScript(std::int32_t from, std::int32_t to,
                                        std::string_view description) {
  std::vector<std::string> lines;
  if (to < from) return lines;
  const std::string_view marker = "%d";
  const bool counted = description.find(marker) != std::string_view::npos;
  int counter = 0;
  for (std::int64_t id = from; id <= to; ++id) {
    const auto hex = hexDigits(static_cast<std::uint32_t>(id));
    std::string category;
    if (counted) {
      // The counter is put in as plain text: the user's description is never a format pattern.
      const std::string number = std::to_string(counter++);
      std::size_t pos = 0;
      for (std::size_t hit; (hit = description.find(marker, pos)) != std::string_view::npos;
           pos = hit + marker.size()) {
        category.append(description.substr(pos, hit - pos));
        category += number;
      }
      category.append(description.substr(pos));
    } else {
      category = description;
    }
    lines.push_back("<item id=\"" + hex + "\">");
    lines.push_back("   <id>0x" + hex + "</id>");
    lines.push_back("   <category>" + category + "</category>");
    lines.push_back("</item>");
    lines.emplace_back();
  }
  return lines;
}

// ---------------------------------------------------------------------------------------------

ArtStaticPage::ArtStaticPage(TMainForm& main, QWidget* parent)
    : ArtPage(main, QStringLiteral("ArtS"), parent) {
  build();
  addMenuEntry(QStringLiteral("miArtSShowDetails"), QStringLiteral("Show Details"),
               [this](std::int32_t s) { showDetails(s); });
  addMenuEntry(QStringLiteral("miArtSSetTag"), QStringLiteral("Set Tag"),
               [this](std::int32_t s) { setTag(s); });
  addMenuEntry(QStringLiteral("miArtSLoadDirectory"), QStringLiteral("Load from Directory"),
               [this](std::int32_t s) { loadFromDirectory(s); });
  buildTools();
}

void ArtStaticPage::buildTools() {
  const auto button = [this](const QString& caption, const QString& name, QWidget* parent,
                             void (ArtStaticPage::*handler)()) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    connect(b, &QPushButton::clicked, this, [this, handler] { act([&] { (this->*handler)(); }); });
    return b;
  };
  const auto field = [](const QString& name, const QString& initial, QWidget* parent) {
    auto* e = new QLineEdit(initial, parent);
    e->setObjectName(name);
    return e;
  };
  QVBoxLayout* tools = toolColumn();

  tools->addWidget(button(QStringLiteral("Fill Slots to 0x7FFF"), QStringLiteral("btnFillSlots"),
                          this, &ArtStaticPage::fillSlots));

  auto* deleteGroup = new QGroupBox(QStringLiteral("Delete Ids"), this);
  deleteGroup->setObjectName(QStringLiteral("gbDeleteIds"));
  m_deleteFirst = field(QStringLiteral("eDeleteFirst"), {}, deleteGroup);
  m_deleteLast = field(QStringLiteral("eDeleteLast"), {}, deleteGroup);
  auto* deleteForm = new QFormLayout(deleteGroup);
  deleteForm->addRow(QStringLiteral("First ID:"), m_deleteFirst);
  deleteForm->addRow(QStringLiteral("Last ID:"), m_deleteLast);
  deleteForm->addRow(button(QStringLiteral("Start"), QStringLiteral("btnDeleteStart"),
                            deleteGroup, &ArtStaticPage::deleteIds));
  tools->addWidget(deleteGroup);

  tools->addWidget(button(QStringLiteral("Extract IDs from File"), QStringLiteral("btnExtractIds"),
                          this, &ArtStaticPage::extractIds));

  auto* scriptGroup = new QGroupBox(QStringLiteral("Scripts"), this);
  scriptGroup->setObjectName(QStringLiteral("gbScripts"));
  m_scripts = new QListWidget(scriptGroup);
  m_scripts->setObjectName(QStringLiteral("lbScripts"));
  m_scripts->addItem(QStringLiteral("Wolfpack"));
  m_scripts->setCurrentRow(0);
  m_scripts->setMaximumHeight(40);
  m_scriptFrom = field(QStringLiteral("eScriptFrom"), QStringLiteral("0x0"), scriptGroup);
  m_scriptTo = field(QStringLiteral("eScriptTo"), QStringLiteral("0x0"), scriptGroup);
  m_description = field(QStringLiteral("eScriptDescription"), {}, scriptGroup);
  auto* scriptForm = new QFormLayout(scriptGroup);
  scriptForm->addRow(m_scripts);
  scriptForm->addRow(QStringLiteral("from ID:"), m_scriptFrom);
  scriptForm->addRow(QStringLiteral("to ID:"), m_scriptTo);
  scriptForm->addRow(new QLabel(QStringLiteral("Standart Description"), scriptGroup));
  scriptForm->addRow(m_description);
  scriptForm->addRow(button(QStringLiteral("Create Scripts"), QStringLiteral("btnCreateScripts"),
                            scriptGroup, &ArtStaticPage::createScripts));
  tools->addWidget(scriptGroup);

  auto* freeGroup = new QGroupBox(QStringLiteral("Free Slots"), this);
  freeGroup->setObjectName(QStringLiteral("gbFreeSlots"));
  auto* freeLayout = new QVBoxLayout(freeGroup);
  freeLayout->addWidget(button(QStringLiteral("Find Holes"), QStringLiteral("btnFindHoles"),
                               freeGroup, &ArtStaticPage::findHoles));
  freeLayout->addWidget(button(QStringLiteral("Find Empty IDs"), QStringLiteral("btnEmptyIds"),
                               freeGroup, &ArtStaticPage::findEmptyIds));
  tools->addWidget(freeGroup);
  tools->addStretch(1);
}

// The list reaches static 0xFFFF at most: the game addresses statics with 16 bits.
std::int64_t ArtStaticPage::slotCount() const {
  return std::min<std::int64_t>(m_registry.art->staticCount(), kMaxStaticId + 1);
}

PatchedSlots ArtStaticPage::patchedSlots() const {
  return PatchedSlots::statics(*m_registry.verdata, *m_registry.art);
}

std::int64_t ArtStaticPage::radarEntry(std::int32_t slot) const {
  return kRadarStaticBase + slot;
}

void ArtStaticPage::importFile(std::int32_t slot, const std::string& path) {
  m_registry.art->importStatic(slot, path);
}

void ArtStaticPage::addPatch(std::int32_t slot, const std::string& path) {
  m_registry.verdata->addStaticFile(slot, path);
}

void ArtStaticPage::deleteFromFile(std::int32_t slot) { m_registry.art->deleteStatic(slot); }

std::optional<Pixel> ArtStaticPage::averageColour(std::int32_t slot) const {
  return m_registry.art->staticAverageColour(slot);
}

// ---- pop-up entries ------------------------------------------------------------------------

void ArtStaticPage::showDetails(std::int32_t slot) {
  m_dialogs.showMessage(QString::fromStdString(m_registry.art->staticDetails(slot)));
}

void ArtStaticPage::setTag(std::int32_t slot) {
  const auto answer =
      m_dialogs.inputBox(QStringLiteral("Tag"), QStringLiteral("Gebt einen Tag an."),
                         QStringLiteral("0"));
  if (!answer) return;
  m_registry.art->setStaticTag(slot, parseInt(answer->toStdString()));
}

void ArtStaticPage::loadFromDirectory(std::int32_t slot) {
  const auto folder = m_dialogs.chooseFolder(QStringLiteral("Choose a directory"));
  if (!folder) return;
  // By name, so every system imports the files in the same order.
  const QFileInfoList files =
      QDir(*folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
  if (files.isEmpty()) {
    m_dialogs.showMessage(kDirectoryEmpty);
    return;
  }
  if (!m_registry.art->isLoaded()) {
    m_dialogs.showMessage(kArtNotLoaded);
    return;
  }
  TArt& art = *m_registry.art;
  std::int64_t s = slot;
  int imported = 0;
  const auto finished = [this, &imported](bool noneLeft) {
    refresh();
    if (noneLeft) m_dialogs.showMessage(kNoEmptyIdLeft);
    m_dialogs.showMessage(QString::number(imported) + kGraphicsPatched);
  };
  for (qsizetype i = 0; i < files.size(); ++i) {
    try {
      art.importStatic(s, files[i].filePath().toStdString());
    } catch (...) {
      // What was imported stays; the list shows it before the error is reported.
      refresh();
      throw;
    }
    ++imported;
    if (i + 1 == files.size()) break;
    // The next file goes into the next empty slot after this one.
    std::int64_t next = s + 1;
    while (next < slotCount() && art.staticExists(next)) ++next;
    if (next >= slotCount()) {
      finished(true);
      return;
    }
    s = next;
  }
  finished(false);
}

// ---- batch tools ---------------------------------------------------------------------------

void ArtStaticPage::fillSlots() {
  m_registry.art->fillStaticSlots();
  m_list->rebuild();
  m_view->clear();
}

void ArtStaticPage::deleteIds() {
  if (!m_registry.art->isLoaded()) {
    m_dialogs.showMessage(kLoadArtFirst);
    return;
  }
  const auto first = tryParseInt(text(m_deleteFirst));
  const auto last = tryParseInt(text(m_deleteLast));
  if (!first || !last) {
    m_dialogs.showMessage(kBadIdsMessage);
    return;
  }
  if (*last < *first) return;
  // Ids outside the static section would reach land tiles (below 0) or records that are not there.
  if (*first < 0 || *last >= slotCount()) {
    m_dialogs.showMessage(kBadIdsMessage);
    return;
  }
  for (std::int64_t id = *first; id <= *last; ++id) m_registry.art->deleteStatic(id);
  refresh();
}

void ArtStaticPage::extractIds() {
  if (!m_registry.art->isLoaded()) return;
  const auto path = m_dialogs.openFile(
      {QStringLiteral("Choose File to read IDs from..."), kTextFilter, QStringLiteral("txt"), {}});
  if (!path) return;
  const IdList list = readIdList(path->toStdString());
  const std::string dir = QFileInfo(*path).absolutePath().toStdString();
  // The extracted pictures are new files: flushed together at the end, not one by one.
  WriteBatch batch;
  {
    GaugeRun gauge(m_gauge);
    const auto count = static_cast<std::int64_t>(list.ids.size());
    for (std::int64_t i = 0; i < count; ++i) {
      const std::int32_t id = list.ids[static_cast<std::size_t>(i)];
      m_gauge.step(static_cast<int>(i * 100 / count));
      if (!m_registry.art->staticExists(id)) continue;
      const std::string target =
          joinPath(dir, hexDigits(static_cast<std::uint32_t>(id)) + ".bmp");
      // A picture extracted before is kept: the user may have edited it since.
      if (fileExists(target)) continue;
      writeBmpFile(target, m_registry.art->staticPicture(id), batch);
    }
  }
  batch.finish();
  // The ids before a line that is no number are extracted; the action ends at that line.
  if (list.error) throw Error(*list.error);
  m_dialogs.showMessage(kDone);
}

void ArtStaticPage::createScripts() {
  const auto path = m_dialogs.saveFile({QStringLiteral("Save..."),
                                        QStringLiteral("XML File (*.xml)|*.xml"),
                                        QStringLiteral("xml"), {}});
  if (!path) return;
  // "Wolfpack" is the only script kind.
  if (m_scripts->currentRow() != 0) return;
  const std::int32_t from = parseInt(text(m_scriptFrom));
  const std::int32_t to = parseInt(text(m_scriptTo));
  // Item ids have 16 bits; a wider range would only write millions of lines for items that
  // cannot exist.
  if (to >= from && (from < 0 || to > kMaxStaticId)) {
    m_dialogs.showMessage(kBadIdsMessage);
    return;
  }
  writeTextLines(path->toStdString(), wolfpackScript(from, to, local8(m_description->text())));
}

void ArtStaticPage::findHoles() {
  if (!m_registry.art->isLoaded()) return;
  const auto path = m_dialogs.saveFile(
      {QStringLiteral("Save..."), kTextFilter, QStringLiteral("txt"), QStringLiteral("Holes.txt")});
  if (!path) return;
  std::vector<std::string> lines;
  const TArt& art = *m_registry.art;
  const std::string sizeCaption = local8(QStringLiteral("Grösse: "));
  for (const EmptyRun& run :
       emptyRunsBeforeFull(slotCount(), [&art](std::int64_t s) { return art.staticExists(s); })) {
    lines.push_back("Anfang: " + hexLabel(static_cast<std::uint32_t>(run.first)));
    lines.push_back("Ende: " + hexLabel(static_cast<std::uint32_t>(run.last)));
    lines.push_back(sizeCaption + std::to_string(run.last - run.first + 1));
  }
  writeTextLines(path->toStdString(), lines);
}

void ArtStaticPage::findEmptyIds() {
  if (!m_registry.art->isLoaded()) return;
  const TArt& art = *m_registry.art;
  writeEmptyIds(slotCount(), [&art](std::int64_t s) { return art.staticExists(s); });
}

}  // namespace quillotide::ui
