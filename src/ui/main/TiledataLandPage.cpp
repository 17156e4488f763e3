#include "ui/main/TiledataLandPage.h"

#include <QCheckBox>
#include <QFormLayout>
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
#include "ui/main/MainForm.h"
#include "ui/main/SlotListView.h"
#include "ui/main/TiledataFields.h"
#include "ui/platform/Dialogs.h"
#include "ui/platform/ImageBridge.h"

namespace quillotide::ui {

namespace {

const QString kTextFilter = QStringLiteral("*.txt|*.txt");
const QString kLoadFirst = QStringLiteral("Load Tiledata first.");

}  // namespace

TiledataLandPage::TiledataLandPage(TMainForm& main, QWidget* parent)
    : QWidget(parent), m_main(main), m_registry(main.registry()), m_dialogs(main.dialogs()) {
  setObjectName(QStringLiteral("TiledataLandPage"));
  m_list = new SlotListView(main.slotSearch(), m_dialogs, SlotListView::Options{false, true, false},
                            this);
  m_list->setNames("lbTiledataM", {}, "eTiledataMSearch", "btnTiledataMSearch");
  m_list->setRange([](SlotFilter) { return SlotListView::Range{0, TTiledata::kLandCount - 1}; });
  m_list->setLabeler([this](std::int32_t id) {
    return hexLabel(static_cast<std::uint32_t>(id)) + " " +
           nameText(m_registry.tiledata->landName(id)).toStdString();
  });
  m_list->setMinimumWidth(220);
  connect(m_list, &SlotListView::slotActivated, this,
          [this](std::int32_t id) { runAction(m_dialogs, [&] { showRecord(id); }); });
  connect(m_list->listView(), &QListView::doubleClicked, this, [this](const QModelIndex& index) {
    if (index.isValid()) showFlags(m_list->slotAt(index.row()));
  });

  m_name = new QLineEdit(this);
  m_name->setObjectName(QStringLiteral("eLandName"));
  m_name->setMaxLength(static_cast<int>(kTileNameSize));
  m_texture = new QLineEdit(this);
  m_texture->setObjectName(QStringLiteral("eLandTexId"));
  auto* fields = new QFormLayout;
  fields->addRow(QStringLiteral("Name:"), m_name);
  fields->addRow(QStringLiteral("TexID:"), m_texture);
  // A field holding what the record cannot is not written while it is typed; leaving it says why
  // and shows what is stored.
  const auto changed = [this] {
    if (!m_filling) runAction(m_dialogs, [&] { writeRecord(false); });
  };
  const auto toggled = [this] {
    if (!m_filling) runAction(m_dialogs, [&] { writeRecord(true); });
  };
  const auto finished = [this] {
    if (m_id && !m_filling) runAction(m_dialogs, [&] { fieldFinished(); });
  };
  connect(m_name, &QLineEdit::textChanged, this, changed);
  connect(m_texture, &QLineEdit::textChanged, this, changed);
  connect(m_name, &QLineEdit::editingFinished, this, finished);
  connect(m_texture, &QLineEdit::editingFinished, this, finished);

  auto* boxes = new QVBoxLayout;
  const auto& captions = TileFlags::landCaptions();
  for (std::size_t i = 0; i < captions.size(); ++i) {
    const QString caption = QString::fromLatin1(captions[i].second.data(),
                                                static_cast<qsizetype>(captions[i].second.size()));
    auto* box = new QCheckBox(caption, this);
    box->setObjectName("cbLand" + caption);
    connect(box, &QCheckBox::toggled, this, toggled);
    m_flags[i] = box;
    boxes->addWidget(box);
  }

  m_picture = new QLabel(this);
  m_picture->setObjectName(QStringLiteral("iLand"));
  m_picture->setFixedSize(kPictureSize, kPictureSize);

  auto* save = new QPushButton(QStringLiteral("Save MapTiles to Textfile"), this);
  save->setObjectName(QStringLiteral("btnSaveLandText"));
  connect(save, &QPushButton::clicked, this, [this] { runAction(m_dialogs, [&] { saveText(); }); });
  auto* load = new QPushButton(QStringLiteral("Load MapTile from Textfile"), this);
  load->setObjectName(QStringLiteral("btnLoadLandText"));
  connect(load, &QPushButton::clicked, this, [this] { runAction(m_dialogs, [&] { loadText(); }); });

  m_layout = makeLayoutLine(main, this, QStringLiteral("TiledataM"));
  auto* right = new QVBoxLayout;
  right->addLayout(m_layout.row);
  right->addLayout(fields);
  right->addLayout(boxes);
  right->addWidget(m_picture);
  right->addWidget(save);
  right->addWidget(load);
  right->addStretch(1);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(m_list);
  layout->addLayout(right, 1);

  connect(&main, &TMainForm::tiledataLoaded, this, [this] { fillList(); });
  showLayoutLine(main, m_layout);
}

void TiledataLandPage::fillList() {
  showLayoutLine(m_main, m_layout);
  // The fields belonged to the line that was chosen before; they show nothing until the next.
  m_filling = true;
  m_id.reset();
  m_edit.accept();
  m_list->rebuild();
  m_name->clear();
  m_texture->clear();
  for (QCheckBox* box : m_flags) box->setChecked(false);
  m_picture->setPixmap(QPixmap());
  m_filling = false;
}

void TiledataLandPage::showRecord(std::int32_t id) {
  m_edit.accept();
  m_filling = true;
  m_id = id;
  const TTiledata& tiles = *m_registry.tiledata;
  m_name->setText(nameText(tiles.landName(id)));
  m_texture->setText(QString::fromStdString(hexLabel(tiles.landTextureId(id))));
  const auto& captions = TileFlags::landCaptions();
  for (std::size_t i = 0; i < captions.size(); ++i)
    m_flags[i]->setChecked(tiles.landHasFlags(id, captions[i].first));
  m_filling = false;

  QPixmap area(kPictureSize, kPictureSize);
  area.fill(palette().color(QPalette::Window));
  if (m_registry.art->isLoaded() && m_registry.art->landExists(id)) {
    QPainter painter(&area);
    painter.drawImage(QPoint(0, 0), toQImage(m_registry.art->landPicture(id)));
  }
  m_picture->setPixmap(area);
}

void TiledataLandPage::writeRecord(bool report) {
  TTiledata& tiles = *m_registry.tiledata;
  if (!m_id || !tiles.hasLand(*m_id)) return;
  // The five boxes stand for five bits only; every other bit of the record is kept as it is.
  LandTileRecord record = tiles.readLand(*m_id).value_or(LandTileRecord{});
  const auto& captions = TileFlags::landCaptions();
  for (std::size_t i = 0; i < captions.size(); ++i) {
    if (m_flags[i]->isChecked())
      record.flags |= captions[i].first;
    else
      record.flags &= ~captions[i].first;
  }
  QString problem;
  const auto texture = fieldNumber(m_texture, QStringLiteral("TexID:"), 0xFFFF, problem);
  const auto name = texture ? fieldName(m_name, problem) : std::nullopt;
  if (!texture || !name) {
    if (report) m_dialogs.showError(problem);
    return;
  }
  record.textureId = static_cast<std::uint16_t>(*texture);
  record.name = *name;
  if (!report) m_edit.begin(tiles.readLand(*m_id));
  tiles.writeLand(*m_id, record);
  m_list->listView()->viewport()->update();
}

void TiledataLandPage::fieldFinished() {
  if (m_reporting) return;
  QString problem;
  const bool stored = fieldNumber(m_texture, QStringLiteral("TexID:"), 0xFFFF, problem) &&
                      fieldName(m_name, problem);
  if (stored) {
    m_edit.accept();
  } else {
    if (const auto before = m_edit.refuse()) {
      m_registry.tiledata->writeLand(*m_id, *before);
      m_list->listView()->viewport()->update();
    }
    reportFieldProblem(m_reporting, m_dialogs, problem);
  }
  showRecord(*m_id);
}

void TiledataLandPage::showFlags(std::int32_t id) {
  const TTiledata& tiles = *m_registry.tiledata;
  m_dialogs.showMessage(flagMessage(tiles, tiles.landFlags(id)));
}

void TiledataLandPage::saveText() {
  if (!m_registry.tiledata->isLoaded()) {
    m_dialogs.showMessage(kLoadFirst);
    return;
  }
  const auto path = m_dialogs.saveFile({QStringLiteral("Save MapTiles to Textfile"), kTextFilter,
                                        QStringLiteral("txt"), QStringLiteral("TileMap.txt")});
  if (!path) return;
  m_registry.tiledata->exportLandText(path->toStdString());
}

void TiledataLandPage::loadText() {
  if (!m_registry.tiledata->isLoaded()) {
    m_dialogs.showMessage(kLoadFirst);
    return;
  }
  const auto path = m_dialogs.openFile(
      {QStringLiteral("Load MapTile from Textfile"), kTextFilter, QStringLiteral("txt"), {}});
  if (!path || !fileExists(path->toStdString())) return;
  // The lines before a failing one stay written, so the list shows them whatever happens.
  struct Refill {
    TiledataLandPage& page;
    ~Refill() { page.fillList(); }
  } refill{*this};
  m_registry.tiledata->importLandText(path->toStdString());
}

}  // namespace quillotide::ui
