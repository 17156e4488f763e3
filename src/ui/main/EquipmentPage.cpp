#include "ui/main/EquipmentPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/FileIO.h"
#include "app/Text.h"
#include "models/EquipPatch.h"
#include "registry/Registry.h"
#include "ui/main/HeldFiles.h"
#include "ui/main/MainForm.h"
#include "ui/main/SettingsPage.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

namespace {

QString latin1(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string str(const QString& text) { return text.toStdString(); }
QString qs(const std::string& text) { return QString::fromStdString(text); }

QString hex(std::int64_t v) { return qs(hexLabel(static_cast<std::uint32_t>(v))); }

}  // namespace

EquipmentPage::EquipmentPage(TMainForm& main, QWidget* parent)
    : QWidget(parent), m_main(main), m_registry(main.registry()), m_dialogs(main.dialogs()) {
  setObjectName(QStringLiteral("EquipmentPage"));
  auto* grid = new QGridLayout;
  int row = 0;
  const auto addLabel = [&](const QString& caption, QWidget* buddy, int r, int column = 0) {
    auto* label = new QLabel(caption, this);
    label->setBuddy(buddy);
    grid->addWidget(label, r, column);
  };
  const auto makeField = [&](const QString& name) {
    auto* field = new QLineEdit(this);
    field->setObjectName(name);
    return field;
  };
  const auto makeBox = [&](const QString& caption, const QString& name) {
    auto* box = new QCheckBox(caption, this);
    box->setObjectName(name);
    return box;
  };
  // A picture row: caption, path field, "..." and its "Use Progress" box.
  const auto pictureRow = [&](const QString& caption, const QString& field, const QString& button,
                              const QString& progress, QLineEdit*& edit, QCheckBox*& box) {
    edit = makeField(field);
    edit->setMinimumWidth(320);
    auto* browseButton = new QPushButton(QStringLiteral("..."), this);
    browseButton->setObjectName(button);
    QLineEdit* target = edit;
    const QString title = QString(caption).remove(QLatin1Char(':'));
    connect(browseButton, &QPushButton::clicked, this,
            [this, target, title] { browse(target, title); });
    box = makeBox(QStringLiteral("Use Progress"), progress);
    addLabel(caption, edit, row);
    grid->addWidget(edit, row, 1, 1, 2);
    grid->addWidget(browseButton, row, 3);
    grid->addWidget(box, row, 4);
    ++row;
  };
  pictureRow(QStringLiteral("GumpBitmap:"), QStringLiteral("eEquipPathGump"),
             QStringLiteral("btnEquipBrowseGump"), QStringLiteral("cbEquipUseProgressGumpM"),
             m_gump, m_progressGumpM);
  pictureRow(QStringLiteral("GumpBitmap(w):"), QStringLiteral("eEquipPathGumpW"),
             QStringLiteral("btnEquipBrowseGumpW"), QStringLiteral("cbEquipUseProgressGumpW"),
             m_gumpW, m_progressGumpW);
  pictureRow(QStringLiteral("ArtBitmap:"), QStringLiteral("eEquipPathArt"),
             QStringLiteral("btnEquipBrowseArt"), QStringLiteral("cbEquipUseProgressArt"), m_art,
             m_progressArt);

  const auto idRow = [&](const QString& caption, const QString& name) {
    QLineEdit* field = makeField(name);
    addLabel(caption, field, row);
    grid->addWidget(field, row, 1);
    ++row;
    return field;
  };
  m_gumpId = idRow(QStringLiteral("GumpId:"), QStringLiteral("eEquipGumpId"));
  m_artId = idRow(QStringLiteral("ArtId:"), QStringLiteral("eEquipArtId"));
  m_animId = idRow(QStringLiteral("AnimId to copy Anim from:"), QStringLiteral("eEquipAnimId"));

  grid->addWidget(new QLabel(QStringLiteral("Tiledataflags:"), this), row++, 0);
  static const std::array<const char*, 5> flagNames = {"cbEquipWearable", "cbEquipWeapon",
                                                       "cbEquipArmor", "cbEquipPartialHue",
                                                       "cbEquipLightSource"};
  auto* flagRow = new QHBoxLayout;
  for (std::size_t i = 0; i < m_flags.size(); ++i) {
    m_flags[i] = makeBox(latin1(equipFlags()[i].second), QString::fromLatin1(flagNames[i]));
    flagRow->addWidget(m_flags[i]);
  }
  flagRow->addStretch(1);
  grid->addLayout(flagRow, row++, 0, 1, 5);

  m_layer = new QComboBox(this);
  m_layer->setObjectName(QStringLiteral("cbEquipLayer"));
  for (std::string_view layer : equipLayers()) m_layer->addItem(latin1(layer));
  m_layer->setCurrentIndex(-1);
  addLabel(QStringLiteral("Layer:"), m_layer, row);
  grid->addWidget(m_layer, row++, 1);
  m_weight = idRow(QStringLiteral("Weight:"), QStringLiteral("eEquipWeight"));
  m_name = idRow(QStringLiteral("Name:"), QStringLiteral("eEquipName"));
  m_name->setMaxLength(static_cast<int>(kTileNameSize));

  auto* patchButton = new QPushButton(QStringLiteral("Patch"), this);
  patchButton->setObjectName(QStringLiteral("btnEquipPatch"));
  connect(patchButton, &QPushButton::clicked, this, [this] { patch(); });
  auto* clearButton = new QPushButton(QStringLiteral("Clear"), this);
  clearButton->setObjectName(QStringLiteral("btnEquipClear"));
  connect(clearButton, &QPushButton::clicked, this, [this] { clear(); });
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(patchButton);
  buttons->addWidget(clearButton);
  buttons->addStretch(1);
  grid->addLayout(buttons, row++, 0, 1, 5);
  grid->setColumnStretch(5, 1);

  // What "Patch" would refuse in the form as it stands, all of it, kept up to date while typing.
  m_refusals = new QLabel(this);
  m_refusals->setObjectName(QStringLiteral("lEquipRefusals"));
  m_refusals->setWordWrap(true);
  m_refusals->setStyleSheet(QStringLiteral("color: #b00000"));
  grid->addWidget(m_refusals, row++, 0, 1, 5);
  for (QLineEdit* field : {m_gumpId, m_artId, m_animId, m_weight, m_gumpW})
    connect(field, &QLineEdit::textChanged, this, [this] { showRefusals(); });
  for (QCheckBox* box : {m_progressGumpM, m_progressGumpW, m_progressArt})
    connect(box, &QCheckBox::toggled, this, [this] { showRefusals(); });
  connect(&main, &TMainForm::animationLoaded, this, [this] { showRefusals(); });
  connect(&main, &TMainForm::tiledataLoaded, this, [this] { showRefusals(); });

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addStretch(1);
}

void EquipmentPage::browse(QLineEdit* field, const QString& title) {
  runAction(m_dialogs, [&] {
    const auto path = m_dialogs.openFile({title, kPictureFilter, {}, field->text()});
    if (!path) return;
    if (reportMissingFile(m_dialogs, *path)) return;
    field->setText(*path);
  });
}

EquipPatch EquipmentPage::form() const {
  EquipPatch p;
  p.gumpPicture = str(m_gump->text());
  p.femaleGumpPicture = str(m_gumpW->text());
  p.artPicture = str(m_art->text());
  p.gumpToProgress = m_progressGumpM->isChecked();
  p.femaleGumpToProgress = m_progressGumpW->isChecked();
  p.artToProgress = m_progressArt->isChecked();
  p.gumpId = str(m_gumpId->text());
  p.artId = str(m_artId->text());
  p.animId = str(m_animId->text());
  p.weight = str(m_weight->text());
  for (std::size_t i = 0; i < m_flags.size(); ++i)
    if (m_flags[i]->isChecked()) p.flags |= equipFlags()[i].first;
  if (m_layer->currentIndex() >= 0) p.layer = m_layer->currentIndex();
  p.name = str(m_name->text());
  return p;
}

std::string EquipmentPage::animIndexPath() const {
  // The index the animations are open from: the body goes where the loaded model reads it.
  if (const OpenFiles::Opened* open = m_registry.openFiles().opened("Anim"))
    return open->paths.front();
  // Not open: the index the Settings page shows, not only the one stored.
  const SettingsPage* settings = m_main.settingsPage();
  const QLineEdit* field = settings ? settings->pathField(QStringLiteral("AnimIdx")) : nullptr;
  return field ? str(field->text()) : m_registry.config->getString("AnimIdx");
}

void EquipmentPage::showRefusals() {
  Registry& r = m_registry;
  const EquipModels models{*r.gumps,     *r.art,      *r.progress,
                           *r.animation, *r.tiledata, animIndexPath()};
  QStringList lines;
  for (const std::string& line : equipRefusals(form(), models, true)) lines << qs(line);
  m_refusals->setText(lines.join(QLatin1Char('\n')));
}

void EquipmentPage::patch() {
  const EquipPatch p = form();
  Registry& r = m_registry;
  std::optional<EquipPatchResult> result;
  const bool done = runAction(m_dialogs, [&] {
    result = patchEquipment(
        p, {*r.gumps, *r.art, *r.progress, *r.animation, *r.tiledata, animIndexPath()});
  });
  if (!done || !result) return;
  // The pages that list what changed show the new slots.
  if (!p.gumpToProgress || (!p.femaleGumpPicture.empty() && !p.femaleGumpToProgress)) emit
    m_main.gumpsLoaded();
  if (!p.artToProgress) emit
    m_main.artLoaded();
  emit m_main.animationLoaded(1);
  emit m_main.tiledataLoaded();
  reportPatch(p, *result);
}

void EquipmentPage::reportPatch(const EquipPatch& p, const EquipPatchResult& result) {
  const SettingsPage* settings = m_main.settingsPage();
  // The files each model is open from, which the patch changed; not what the fields show.
  const auto filesOf = [&](const QString& group) {
    const QStringList open = settings ? settings->loadedPaths(group) : QStringList();
    if (!open.isEmpty()) {
      QStringList unique = open;
      unique.removeDuplicates();
      return unique.join(QStringLiteral(" and "));
    }
    FileGroupBox* box = settings ? settings->group(group) : nullptr;
    return box ? box->paths().join(QStringLiteral(" and ")) : group;
  };
  QStringList lines;
  QStringList unsaved;
  const auto gumpLine = [&](std::int32_t id, bool toProgress) {
    lines << QStringLiteral("- gump %1 (%2) in the loaded %3")
                 .arg(id)
                 .arg(hex(id))
                 .arg(toProgress ? QStringLiteral("progress archive (%1)").arg(filesOf("Progress"))
                                 : QStringLiteral("gumps (%1)").arg(filesOf("Gumps")));
    unsaved << (toProgress ? QStringLiteral("Progress") : QStringLiteral("Gumps"));
  };
  gumpLine(result.gumpId, p.gumpToProgress);
  if (result.femaleGumpId) gumpLine(*result.femaleGumpId, p.femaleGumpToProgress);
  lines << QStringLiteral("- static art %1 in the loaded %2")
               .arg(hex(result.artId))
               .arg(p.artToProgress
                        ? QStringLiteral("progress archive (%1)").arg(filesOf("Progress"))
                        : QStringLiteral("art (%1)").arg(filesOf("Art")));
  unsaved << (p.artToProgress ? QStringLiteral("Progress") : QStringLiteral("Art"));
  lines << QStringLiteral(
               "- the tile data record of static %1 (animation %2) in the loaded tile "
               "data (%3)")
               .arg(hex(result.artId), hex(result.body), filesOf("Tiledata"));
  unsaved << QStringLiteral("Tiledata");
  unsaved.removeDuplicates();
  const QString text =
      QStringLiteral(
          "The patch wrote body %1 (a copy of body %2) into %3 at once, and changed "
          "in memory, not saved yet:\n%4\n\nSave all of it now, each to its own "
          "files?")
          .arg(hex(result.body), hex(result.sourceBody), qs(animIndexPath()),
               lines.join(QLatin1Char('\n')));
  const auto answer =
      m_dialogs.ask(Dialogs::kCaption, text, {QStringLiteral("Save all"), QStringLiteral("Later")});
  if (answer != 0) return;
  HeldFiles(m_main).saveToOwnFiles(unsaved);
}

void EquipmentPage::clear() {
  for (QLineEdit* field : {m_gump, m_art, m_gumpId, m_artId, m_animId, m_name, m_weight})
    field->clear();
  m_layer->setCurrentIndex(-1);
  for (std::size_t i = 0; i < m_flags.size(); ++i) m_flags[i]->setChecked(i == 0);
}

}  // namespace quillotide::ui
