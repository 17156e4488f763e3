#include "ui/main/AnimdataPage.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/SlotList.h"
#include "app/Text.h"
#include "models/PatchedSlots.h"
#include "registry/Registry.h"
#include "ui/editor/StaticChooseForm.h"
#include "ui/main/MainForm.h"
#include "ui/main/PictureView.h"
#include "ui/main/SlotListView.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

namespace {

constexpr std::int32_t kLastTile = 0x3FFF;

// A typed value cut to the record's field width, as the record stores it.
std::int8_t signedByte(std::int64_t value) {
  return static_cast<std::int8_t>(static_cast<std::uint8_t>(value & 0xFF));
}
std::uint8_t unsignedByte(std::int64_t value) { return static_cast<std::uint8_t>(value & 0xFF); }

std::int32_t parsed(const QLineEdit* edit) { return parseInt(edit->text().toStdString()); }

// A frame's picture as the art page shows that static: a verdata patch wins over art.mul.
Bitmap32 shownStatic(const Registry& registry, int art) {
  return PatchedSlots::statics(*registry.verdata, *registry.art).picture(art);
}

}  // namespace

AnimdataPage::AnimdataPage(TMainForm& main, QWidget* parent)
    : QWidget(parent),
      m_registry(main.registry()),
      m_dialogs(main.dialogs()),
      m_list(new SlotListView(main.slotSearch(), main.dialogs(), SlotListView::Options{}, this)),
      m_frames(new QListWidget(this)),
      m_framePicture(new PictureView(QSize(kFrameWidth, kFrameHeight), this)),
      m_preview(new PictureView(QSize(kPreviewSide, kPreviewSide), this)),
      m_picture(new QLineEdit(this)),
      m_relPicture(new QLineEdit(this)),
      m_count(new QLineEdit(this)),
      m_delay(new QLineEdit(this)),
      m_interval(new QLineEdit(this)),
      m_choose(new QPushButton(QStringLiteral("Choose"), this)),
      m_start(new QPushButton(QStringLiteral("Start"), this)),
      m_stop(new QPushButton(QStringLiteral("Stop"), this)),
      m_repeat(new QCheckBox(QStringLiteral("Repeat"), this)),
      m_timer(new QTimer(this)),
      m_chooser(new TStaticChooseForm(main.registry(), this)) {
  setObjectName(QStringLiteral("AnimdataPage"));
  m_list->setNames(QStringLiteral("lbAnimdata"), QStringLiteral("cbAnimdataFilter"),
                   QStringLiteral("eAnimdataSearch"), QStringLiteral("btnAnimdataSearch"));
  m_list->setRange([](SlotFilter) { return SlotListView::Range{0, kLastTile}; });
  m_list->setFullQuery([this](std::int32_t t) { return m_registry.animdata->isAnimated(t); });
  m_list->setMinimumWidth(200);
  m_frames->setObjectName(QStringLiteral("lbAnimdataFrames"));
  m_frames->setMaximumWidth(140);
  m_framePicture->setObjectName(QStringLiteral("iAnimdataFrame"));
  m_preview->setObjectName(QStringLiteral("iAnimdataPreview"));
  m_picture->setObjectName(QStringLiteral("eAnimdataPicture"));
  m_relPicture->setObjectName(QStringLiteral("eAnimdataRelPicture"));
  m_count->setObjectName(QStringLiteral("eAnimdataCount"));
  m_delay->setObjectName(QStringLiteral("eAnimdataDelay"));
  m_interval->setObjectName(QStringLiteral("eAnimdataInterval"));
  m_choose->setObjectName(QStringLiteral("btnAnimdataChoose"));
  m_start->setObjectName(QStringLiteral("btnAnimdataStart"));
  m_stop->setObjectName(QStringLiteral("btnAnimdataStop"));
  m_repeat->setObjectName(QStringLiteral("cbAnimdataRepeat"));
  m_timer->setObjectName(QStringLiteral("tmAnimdata"));

  connect(m_list, &SlotListView::slotActivated, this,
          [this](std::int32_t t) { runAction(m_dialogs, [&] { selectTile(t); }); });
  connect(m_list, &SlotListView::selectionCleared, this, [this] { clearTile(); });
  connect(&main, &TMainForm::animdataLoaded, this, [this] {
    if (m_registry.animdata->isLoaded()) m_list->resetFilter();
  });
  connect(m_frames, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0) runAction(m_dialogs, [&] { showFrame(row); });
  });
  // An edit applies its value when the user finishes it (Enter, or leaving the field): applying
  // every keystroke would refuse each half-typed number ("0x") with a message.
  const auto onEdit = [this](QLineEdit* edit, void (AnimdataPage::*apply)()) {
    connect(edit, &QLineEdit::editingFinished, this, [this, apply] {
      if (!m_filling) runAction(m_dialogs, [&] { (this->*apply)(); });
    });
  };
  onEdit(m_picture, &AnimdataPage::applyPicture);
  onEdit(m_relPicture, &AnimdataPage::applyRelPicture);
  onEdit(m_count, &AnimdataPage::applyCounts);
  onEdit(m_delay, &AnimdataPage::applyCounts);
  onEdit(m_interval, &AnimdataPage::applyCounts);
  connect(m_choose, &QPushButton::clicked, this,
          [this] { runAction(m_dialogs, [&] { choose(); }); });
  connect(m_chooser, &TStaticChooseForm::chosen, this, [this](int id) {
    m_filling = true;
    m_picture->setText(QString::fromStdString(hexLabel(static_cast<std::uint32_t>(id))));
    m_filling = false;
    runAction(m_dialogs, [&] { applyPicture(); });
  });
  connect(m_start, &QPushButton::clicked, this, [this] { runAction(m_dialogs, [&] { start(); }); });
  connect(m_stop, &QPushButton::clicked, this, [this] { stopPreview(); });
  connect(m_timer, &QTimer::timeout, this, [this] {
    // A frame that cannot be drawn ends the preview instead of repeating its message each tick.
    if (!runAction(m_dialogs, [&] { tick(); })) stopPreview();
  });

  auto* fields = new QFormLayout;
  fields->addRow(QStringLiteral("Picture:"), m_picture);
  fields->addRow(QStringLiteral("rel. Picture:"), m_relPicture);
  fields->addRow(QStringLiteral("Picturecount:"), m_count);
  fields->addRow(QStringLiteral("Anim Start Delay:"), m_delay);
  fields->addRow(QStringLiteral("Frame Interval:"), m_interval);
  auto* frameColumn = new QVBoxLayout;
  frameColumn->addWidget(m_framePicture);
  frameColumn->addLayout(fields);
  frameColumn->addWidget(m_choose, 0, Qt::AlignLeft);
  frameColumn->addStretch(1);
  auto* player = new QHBoxLayout;
  player->addWidget(m_start);
  player->addWidget(m_stop);
  player->addWidget(m_repeat);
  player->addStretch(1);
  auto* previewColumn = new QVBoxLayout;
  previewColumn->addWidget(m_preview);
  previewColumn->addLayout(player);
  previewColumn->addStretch(1);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(m_list);
  layout->addWidget(m_frames);
  layout->addLayout(frameColumn);
  layout->addLayout(previewColumn, 1);
}

void AnimdataPage::clearTile() {
  m_filling = true;
  m_tile.reset();
  m_frames->clear();
  for (QLineEdit* e : {m_picture, m_relPicture, m_count, m_delay, m_interval}) e->clear();
  m_framePicture->clear();
  m_filling = false;
  stopPreview();
}

void AnimdataPage::selectTile(std::int32_t tile) {
  clearTile();
  m_tile = tile;
  const AnimdataRecord record = m_registry.animdata->readEntry(tile).value_or(AnimdataRecord{});
  m_filling = true;
  fillFrames(record.frameCount);
  m_count->setText(QString::number(record.frameCount));
  m_delay->setText(QString::number(record.startDelay));
  m_interval->setText(QString::number(record.frameInterval));
  m_filling = false;
}

void AnimdataPage::fillFrames(int count) {
  const bool filling = m_filling;
  m_filling = true;
  m_frames->clear();
  for (int k = 0; k < count; ++k) m_frames->addItem(QStringLiteral("Picture %1").arg(k));
  m_filling = filling;
  // Selecting the first entry shows it.
  if (count > 0) m_frames->setCurrentRow(0);
}

std::optional<int> AnimdataPage::selectedFrame() const {
  const int row = m_frames->currentRow();
  if (row < 0 || !m_frames->item(row)->isSelected()) return std::nullopt;
  return row;
}

void AnimdataPage::showFrame(int k) {
  if (!m_tile) return;
  m_framePicture->clear();
  const int art = m_registry.animdata->frameArtId(*m_tile, k);
  const bool filling = m_filling;
  m_filling = true;
  m_picture->setText(QString::fromStdString(hexLabel(static_cast<std::uint32_t>(art))));
  m_relPicture->setText(QString::number(art - *m_tile));
  m_filling = filling;
  if (m_registry.art->isLoaded() && art >= 0)
    m_framePicture->draw(shownStatic(m_registry, art), 0, 0);
}

void AnimdataPage::writeOffset(int offset) {
  const std::optional<int> k = selectedFrame();
  // Without a frame there is no offset to change.
  if (!m_tile || !k) return;
  m_registry.animdata->setFrameOffset(*m_tile, *k, offset);
  m_list->listView()->viewport()->update();
  showFrame(*k);
}

void AnimdataPage::applyPicture() {
  if (!m_tile || !selectedFrame()) return;
  writeOffset(signedByte(static_cast<std::int64_t>(parsed(m_picture)) - *m_tile));
}

void AnimdataPage::applyRelPicture() {
  // A lone minus sign is the start of a negative offset being typed.
  if (!m_tile || !selectedFrame() || m_relPicture->text() == QStringLiteral("-")) return;
  writeOffset(signedByte(parsed(m_relPicture)));
}

void AnimdataPage::applyCounts() {
  if (!m_tile) return;
  AnimdataRecord record = m_registry.animdata->readEntry(*m_tile).value_or(AnimdataRecord{});
  record.frameCount = unsignedByte(parsed(m_count));
  if (!m_delay->text().isEmpty()) record.startDelay = unsignedByte(parsed(m_delay));
  if (!m_interval->text().isEmpty()) record.frameInterval = unsignedByte(parsed(m_interval));
  m_registry.animdata->writeEntry(*m_tile, record);
  m_list->listView()->viewport()->update();
  fillFrames(record.frameCount);
}

void AnimdataPage::choose() {
  const std::optional<int> k = selectedFrame();
  if (!m_tile || !k || !m_registry.art->isLoaded() || !m_registry.animdata->isLoaded()) return;
  m_chooser->setRequestedId(m_registry.animdata->frameArtId(*m_tile, *k));
  m_chooser->show();
  m_chooser->raise();
}

void AnimdataPage::start() {
  const TAnimdata& animdata = *m_registry.animdata;
  if (!m_tile || !animdata.isLoaded() || !m_registry.art->isLoaded() ||
      !animdata.isAnimated(*m_tile))
    return;
  m_counter = 0;
  m_timer->start(animdata.startDelay(*m_tile) * kTickUnit + kStartPad);
}

void AnimdataPage::tick() {
  const TAnimdata& animdata = *m_registry.animdata;
  // The record may have been edited since "Start": one that no longer animates ends the preview
  // rather than spinning a timer of interval 0.
  if (!m_tile || !animdata.isAnimated(*m_tile)) {
    stopPreview();
    return;
  }
  const int tile = *m_tile;
  if (m_counter == -1) {
    m_counter = 0;
    m_timer->setInterval(animdata.startDelay(tile) * kTickUnit + kRepeatPause);
    m_preview->clear();
    return;
  }
  m_preview->clear();
  const int art = animdata.frameArtId(tile, m_counter);
  if (art >= 0) {
    const Bitmap32 picture = shownStatic(m_registry, art);
    m_preview->draw(picture, 0, kPreviewSide - picture.height);
  }
  if (m_counter < animdata.frameCount(tile) - 1) {
    ++m_counter;
    m_timer->setInterval(animdata.frameInterval(tile) * kTickUnit);
  } else if (m_repeat->isChecked()) {
    m_counter = -1;
  } else {
    stopPreview();
  }
}

void AnimdataPage::stopPreview() {
  m_preview->clear();
  m_timer->stop();
}

}  // namespace quillotide::ui
