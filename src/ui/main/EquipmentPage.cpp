#include "ui/main/EquipmentPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/FileIO.h"
#include "registry/Registry.h"
#include "models/EquipPatch.h"
#include "ui/main/MainForm.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

namespace {

QString latin1(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string str(const QString& text) { return text.toStdString(); }

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

void EquipmentPage::patch() {
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
  Registry& r = m_registry;
  const bool done = runAction(m_dialogs, [&] {
    patchEquipment(p, {*r.gumps, *r.art, *r.progress, *r.animation, *r.tiledata,
                       r.config->getString("AnimIdx")});
  });
  if (!done) return;
  // The pages that list what changed show the new slots.
  if (!p.gumpToProgress || (!p.femaleGumpPicture.empty() && !p.femaleGumpToProgress)) emit
    m_main.gumpsLoaded();
  if (!p.artToProgress) emit
    m_main.artLoaded();
  emit m_main.animationLoaded(1);
  emit m_main.tiledataLoaded();
}

void EquipmentPage::clear() {
  for (QLineEdit* field : {m_gump, m_art, m_gumpId, m_artId, m_animId, m_name, m_weight})
    field->clear();
  m_layer->setCurrentIndex(-1);
  for (std::size_t i = 0; i < m_flags.size(); ++i) m_flags[i]->setChecked(i == 0);
}

}  // namespace quillotide::ui
