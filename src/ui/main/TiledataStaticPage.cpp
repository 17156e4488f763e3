#include "ui/main/TiledataStaticPage.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/FileIO.h"
#include "registry/Registry.h"
#include "app/Text.h"
#include "models/PatchedSlots.h"
#include "ui/main/MainForm.h"
#include "ui/main/SlotListView.h"
#include "ui/main/TiledataFields.h"
#include "ui/platform/Dialogs.h"
#include "ui/platform/ImageBridge.h"

namespace quillotide::ui {

namespace {

QString latin1(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

const QString kTextFilter = QStringLiteral("*.txt|*.txt");

// A field as wide as `chars` digits and its frame.
void fitField(QLineEdit* field, int chars) {
  const QFontMetrics metrics(field->font());
  const QMargins margins = field->textMargins() + field->contentsMargins();
  field->setFixedWidth(metrics.horizontalAdvance(QString(chars, QLatin1Char('0'))) +
                       margins.left() + margins.right() + 2 * metrics.averageCharWidth());
}
const QString kLoadFirst = QStringLiteral("Load Tiledata first.");

}  // namespace

TiledataStaticPage::TiledataStaticPage(TMainForm& main, QWidget* parent)
    : QWidget(parent), m_main(main), m_registry(main.registry()), m_dialogs(main.dialogs()) {
  setObjectName(QStringLiteral("TiledataStaticPage"));
  m_list = new SlotListView(main.slotSearch(), m_dialogs, SlotListView::Options{false, true, false},
                            this);
  m_list->setNames("lbTiledataS", {}, "eTiledataSSearch", "btnTiledataSSearch");
  m_list->setRange([this](SlotFilter) {
    return SlotListView::Range{0,
                               static_cast<std::int32_t>(m_registry.tiledata->staticCount()) - 1};
  });
  m_list->setLabeler([this](std::int32_t id) {
    return hexLabel(static_cast<std::uint32_t>(id)) + " " +
           nameText(m_registry.tiledata->staticName(id)).toStdString();
  });
  m_list->setMinimumWidth(220);
  connect(m_list, &SlotListView::slotActivated, this,
          [this](std::int32_t id) { runAction(m_dialogs, [&] { showRecord(id); }); });
  connect(m_list->listView(), &QListView::doubleClicked, this, [this](const QModelIndex& index) {
    if (index.isValid()) showFlags(m_list->slotAt(index.row()));
  });

  // A field holding what its record field cannot is not written while it is typed; leaving it
  // says why and shows what is stored.
  const auto changed = [this] {
    if (!m_filling) runAction(m_dialogs, [&] { writeRecord(false); });
  };
  const auto toggled = [this] {
    if (!m_filling) runAction(m_dialogs, [&] { writeRecord(true); });
  };
  const auto finished = [this] {
    if (m_id && !m_filling) runAction(m_dialogs, [&] { fieldFinished(); });
  };
  const auto makeField = [&](const QString& name) {
    auto* field = new QLineEdit(this);
    field->setObjectName(name);
    connect(field, &QLineEdit::textChanged, this, changed);
    connect(field, &QLineEdit::editingFinished, this, finished);
    return field;
  };

  // The fields in two columns of caption and field, each field as wide as its widest value.
  auto* fields = new QGridLayout;
  const auto label = [this](const char* text) {
    return new QLabel(QString::fromLatin1(text), this);
  };
  m_name = makeField(QStringLiteral("eStaticName"));
  m_name->setMaxLength(static_cast<int>(kTileNameSize));
  fitField(m_name, static_cast<int>(kTileNameSize));
  fields->addWidget(label("Name:"), 0, 0);
  fields->addWidget(m_name, 0, 1, 1, 3, Qt::AlignLeft);
  m_fields[AnimId] = makeField(QStringLiteral("eStaticAnimId"));
  fields->addWidget(label("AnimID:"), 1, 0);
  fields->addWidget(m_fields[AnimId], 1, 1, Qt::AlignLeft);
  m_gumpId = new QLabel(this);
  m_gumpId->setObjectName(QStringLiteral("lStaticGumpId"));
  m_animExists = new QLabel(this);
  m_animExists->setObjectName(QStringLiteral("lStaticAnimExists"));
  fields->addWidget(label("GumpId:"), 1, 2);
  auto* gump = new QHBoxLayout;
  gump->addWidget(m_gumpId);
  gump->addWidget(m_animExists, 1);
  fields->addLayout(gump, 1, 3);
  int row = 2;
  int column = 0;
  for (const NumericField& info : numericFields()) {
    if (info.field == AnimId) continue;
    m_fields[info.field] = makeField(QString::fromLatin1(info.name));
    fields->addWidget(label(info.caption), row, column);
    fields->addWidget(m_fields[info.field], row, column + 1, Qt::AlignLeft);
    column = 2 - column;
    if (column == 0) ++row;
  }
  // "0xFFFF" is the widest value of any numeric field.
  for (QLineEdit* field : m_fields) fitField(field, 6);
  fields->setColumnStretch(4, 1);

  // Every flag box on sight, six to a row in bit order.
  auto* flagBox = new QWidget(this);
  auto* flagGrid = new QGridLayout(flagBox);
  flagGrid->setContentsMargins(0, 0, 0, 0);
  flagGrid->setVerticalSpacing(2);
  const auto& captions = TileFlags::staticCaptions();
  for (int bit = 0; bit < kFlagBoxes; ++bit) {
    const QString caption = bit < 32 ? latin1(captions[static_cast<std::size_t>(bit)])
                                     : QString::fromStdString(TileFlags::upperColumn(bit));
    auto* box = new QCheckBox(caption, flagBox);
    box->setObjectName(QStringLiteral("cbStaticFlag%1").arg(bit));
    connect(box, &QCheckBox::toggled, this, toggled);
    // The upper half exists only in the newer layout.
    box->setVisible(bit < 32);
    m_flags[static_cast<std::size_t>(bit)] = box;
    flagGrid->addWidget(box, bit / kFlagsPerRow, bit % kFlagsPerRow);
  }

  m_picture = new QLabel(this);
  m_picture->setObjectName(QStringLiteral("iStatic"));
  m_picture->setFixedSize(kPictureSize, kPictureSize);

  const auto button = [this](const QString& caption, const QString& name,
                             void (TiledataStaticPage::*handler)()) {
    auto* b = new QPushButton(caption, this);
    b->setObjectName(name);
    connect(b, &QPushButton::clicked, this,
            [this, handler] { runAction(m_dialogs, [&] { (this->*handler)(); }); });
    return b;
  };
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(button(QStringLiteral("Save StaticTiles to Textfile"),
                            QStringLiteral("btnSaveStaticText"), &TiledataStaticPage::saveText));
  buttons->addWidget(button(QStringLiteral("Load Static Tile from Textfile"),
                            QStringLiteral("btnLoadStaticText"), &TiledataStaticPage::loadText));
  buttons->addWidget(button(QStringLiteral("Fill Slots to 0x7FFF"), QStringLiteral("btnFillStatic"),
                            &TiledataStaticPage::fillSlots));
  buttons->addWidget(button(QStringLiteral("Delete Entry"), QStringLiteral("btnDeleteStatic"),
                            &TiledataStaticPage::deleteEntry));
  buttons->addStretch(1);

  m_layout = makeLayoutLine(main, this, QStringLiteral("TiledataS"));
  auto* top = new QHBoxLayout;
  top->addLayout(fields, 1);
  top->addWidget(m_picture, 0, Qt::AlignTop);
  top->addLayout(buttons);
  auto* editor = new QVBoxLayout;
  editor->addLayout(m_layout.row);
  editor->addLayout(top);
  editor->addWidget(flagBox);
  editor->addStretch(1);

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(m_list);
  layout->addLayout(editor, 1);

  connect(&main, &TMainForm::tiledataLoaded, this, [this] { fillList(); });
  showLayoutLine(main, m_layout);
}

void TiledataStaticPage::fillList() {
  showLayoutLine(m_main, m_layout);
  m_filling = true;
  m_id.reset();
  m_edit.accept();
  const bool wide = m_registry.tiledata->flagBits() == 64;
  for (int bit = 32; bit < kFlagBoxes; ++bit)
    m_flags[static_cast<std::size_t>(bit)]->setVisible(wide);
  m_list->rebuild();
  // The fields belonged to the line that was chosen before; they show nothing until the next.
  m_name->clear();
  for (QLineEdit* field : m_fields) field->clear();
  for (QCheckBox* box : m_flags) box->setChecked(false);
  m_gumpId->clear();
  m_animExists->clear();
  m_picture->setPixmap(QPixmap());
  m_filling = false;
}

void TiledataStaticPage::showRecord(std::int32_t id) {
  const TTiledata& tiles = *m_registry.tiledata;
  const StaticTileRecord r = tiles.readStatic(id).value_or(StaticTileRecord{});
  m_edit.accept();
  m_filling = true;
  m_id = id;
  m_name->setText(nameText(tileNameText(r.name)));
  m_fields[AnimId]->setText(QString::fromStdString(hexLabel(r.animId)));
  const std::array<std::pair<Field, int>, 10> numbers = {{
      {Weight, r.weight},
      {Quality, r.quality},
      {Unknown1, r.unknown1},
      {Unknown2, r.unknown2},
      {Quantity, r.quantity},
      {Unknown3, r.unknown3},
      {Hue, r.hue},
      {Unknown4, r.unknown4},
      {Unknown5, r.unknown5},
      {Height, r.height},
  }};
  for (const auto& [field, value] : numbers) m_fields[field]->setText(QString::number(value));
  for (int bit = 0; bit < kFlagBoxes; ++bit)
    m_flags[static_cast<std::size_t>(bit)]->setChecked((r.flags >> bit) & 1U);
  m_filling = false;
  showDerived(id);
}

void TiledataStaticPage::showDerived(std::int32_t id) {
  const std::uint16_t animId = m_registry.tiledata->staticAnimId(id);
  m_gumpId->setText(
      QString::fromStdString(hexLabel(animId + static_cast<std::uint32_t>(kGumpBase))));
  const TAnimation& animation = *m_registry.animation;
  if (!animation.isLoaded() || animId == 0)
    m_animExists->clear();
  else
    m_animExists->setText(animation.bodyExists(animId) ? QStringLiteral("Anim exists")
                                                       : QStringLiteral("Anim does not exist"));

  QPixmap area(kPictureSize, kPictureSize);
  area.fill(palette().color(QPalette::Window));
  const PatchedSlots statics = PatchedSlots::statics(*m_registry.verdata, *m_registry.art);
  if (statics.isShown(id)) {
    const Bitmap32 picture = statics.picture(id);
    QPainter painter(&area);
    painter.drawImage(
        QPoint((kPictureSize - picture.width) / 2, (kPictureSize - picture.height) / 2),
        toQImage(picture));
  }
  m_picture->setPixmap(area);
}

const std::array<TiledataStaticPage::NumericField, 11>& TiledataStaticPage::numericFields() {
  static const std::array<NumericField, 11> table = {{
      {AnimId, "AnimID:", "eStaticAnimId", 0xFFFF},
      {Height, "Height:", "eStaticHeight", 0xFF},
      {Hue, "Hue:", "eStaticHue", 0xFF},
      {Quality, "Quality:", "eStaticQuality", 0xFF},
      {Quantity, "Quantity:", "eStaticQuantity", 0xFF},
      {Weight, "Weight:", "eStaticWeight", 0xFF},
      {Unknown1, "Unknown1:", "eStaticUnknown1", 0xFFFF},
      {Unknown2, "Unknown2:", "eStaticUnknown2", 0xFF},
      {Unknown3, "Unknown3:", "eStaticUnknown3", 0xFF},
      {Unknown4, "Unknown4:", "eStaticUnknown4", 0xFF},
      {Unknown5, "Unknown5:", "eStaticUnknown5", 0xFF},
  }};
  return table;
}

std::optional<StaticTileRecord> TiledataStaticPage::recordFromFields(QString& problem) const {
  StaticTileRecord r;
  for (int bit = 0; bit < kFlagBoxes; ++bit)
    if (m_flags[static_cast<std::size_t>(bit)]->isChecked()) r.flags |= std::uint64_t{1} << bit;
  std::array<std::uint32_t, FieldCount> v{};
  for (const NumericField& info : numericFields()) {
    const auto value =
        fieldNumber(m_fields[info.field], QString::fromLatin1(info.caption), info.max, problem);
    if (!value) return std::nullopt;
    v[info.field] = *value;
  }
  r.weight = static_cast<std::uint8_t>(v[Weight]);
  r.quality = static_cast<std::uint8_t>(v[Quality]);
  r.unknown1 = static_cast<std::uint16_t>(v[Unknown1]);
  r.unknown2 = static_cast<std::uint8_t>(v[Unknown2]);
  r.quantity = static_cast<std::uint8_t>(v[Quantity]);
  r.animId = static_cast<std::uint16_t>(v[AnimId]);
  r.unknown3 = static_cast<std::uint8_t>(v[Unknown3]);
  r.hue = static_cast<std::uint8_t>(v[Hue]);
  r.unknown4 = static_cast<std::uint8_t>(v[Unknown4]);
  r.unknown5 = static_cast<std::uint8_t>(v[Unknown5]);
  r.height = static_cast<std::uint8_t>(v[Height]);
  const auto name = fieldName(m_name, problem);
  if (!name) return std::nullopt;
  r.name = *name;
  return r;
}

void TiledataStaticPage::writeRecord(bool report) {
  TTiledata& tiles = *m_registry.tiledata;
  if (!m_id || !tiles.hasStatic(*m_id)) return;
  QString problem;
  const auto r = recordFromFields(problem);
  if (!r) {
    if (report) m_dialogs.showError(problem);
    return;
  }
  if (!report) m_edit.begin(tiles.readStatic(*m_id));
  tiles.writeStatic(*m_id, *r);
  m_list->listView()->viewport()->update();
  showDerived(*m_id);
}

void TiledataStaticPage::fieldFinished() {
  if (m_reporting) return;
  QString problem;
  if (recordFromFields(problem)) {
    m_edit.accept();
  } else {
    if (const auto before = m_edit.refuse()) {
      m_registry.tiledata->writeStatic(*m_id, *before);
      m_list->listView()->viewport()->update();
    }
    reportFieldProblem(m_reporting, m_dialogs, problem);
  }
  showRecord(*m_id);
}

void TiledataStaticPage::showFlags(std::int32_t id) {
  const TTiledata& tiles = *m_registry.tiledata;
  m_dialogs.showMessage(flagMessage(tiles, tiles.staticFlags(id)));
}

bool TiledataStaticPage::requireLoaded() {
  if (m_registry.tiledata->isLoaded()) return true;
  m_dialogs.showMessage(kLoadFirst);
  return false;
}

void TiledataStaticPage::saveText() {
  if (!requireLoaded()) return;
  const auto path = m_dialogs.saveFile({QStringLiteral("Save StaticTiles to Textfile"), kTextFilter,
                                        QStringLiteral("txt"), QStringLiteral("StaticTiles")});
  if (!path) return;
  m_registry.tiledata->exportStaticText(path->toStdString());
}

void TiledataStaticPage::loadText() {
  if (!requireLoaded()) return;
  const auto path = m_dialogs.openFile(
      {QStringLiteral("Load Static Tile from Textfile"), kTextFilter, QStringLiteral("txt"), {}});
  if (!path || !fileExists(path->toStdString())) return;
  const StaticImportResult result = m_registry.tiledata->importStaticText(path->toStdString());
  fillList();
  for (const auto& [line, why] : result.failedLines)
    m_dialogs.showMessage(QStringLiteral("Bug in Zeile: ") + QString::number(line) +
                          QLatin1Char('\n') + QString::fromStdString(why));
}

void TiledataStaticPage::fillSlots() {
  if (!requireLoaded()) return;
  m_registry.tiledata->fillStaticSlots();
  fillList();
}

void TiledataStaticPage::deleteEntry() {
  const auto id = m_list->selectedSlot();
  TTiledata& tiles = *m_registry.tiledata;
  if (!id || !tiles.hasStatic(*id)) return;
  tiles.writeStatic(*id, StaticTileRecord{});
  m_list->listView()->viewport()->update();
  showRecord(*id);
}

}  // namespace quillotide::ui
