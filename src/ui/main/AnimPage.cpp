#include "ui/main/AnimPage.h"

#include <algorithm>
#include <climits>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "registry/Registry.h"
#include "models/PatchedSlots.h"
#include "app/Text.h"
#include "ui/main/MainForm.h"
#include "ui/main/SlotListView.h"
#include "ui/platform/Dialogs.h"
#include "ui/platform/GaugeForm.h"
#include "ui/platform/ImageBridge.h"

namespace quillotide::ui {

namespace {

std::string str(const QString& text) { return text.toStdString(); }

AnimationFile labelFile(AnimKind kind) {
  switch (kind) {
    case AnimKind::Anim2:
      return AnimationFile::Anim2;
    case AnimKind::Anim3:
      return AnimationFile::Anim3;
    case AnimKind::Anim4:
      return AnimationFile::Anim4;
    case AnimKind::Anim5:
      return AnimationFile::Anim5;
    case AnimKind::Anim:
      break;
  }
  return AnimationFile::Anim;
}

// An area of the page's own ground colour with the picture drawn at (x, y); what falls outside
// the area is cut off, and transparent pixels show the ground.
QPixmap composeArea(const QWidget& owner, int size, const Bitmap32* picture, int x, int y) {
  QPixmap area(size, size);
  area.fill(owner.palette().color(QPalette::Window));
  if (picture && !picture->empty()) {
    QPainter painter(&area);
    painter.drawImage(QPoint(x, y), toQImage(*picture));
  }
  return area;
}

// (area - extent) div 2, the division truncating toward zero as the pictures were always placed.
int centredOffset(int area, int extent) { return (area - extent) / 2; }

const QString kKxFilter = QStringLiteral("*.kx|*.kx");

}  // namespace

AnimPage::AnimPage(TMainForm& main, AnimKind kind, QWidget* parent)
    : QWidget(parent),
      m_main(main),
      m_registry(main.registry()),
      m_dialogs(main.dialogs()),
      m_progress(main.gauge()),
      m_kind(kind),
      m_base(QString::fromStdString(animKindName(kind))) {
  m_base[0] = m_base[0].toUpper();
  setObjectName(m_base + QStringLiteral("Page"));
  buildControls();
  buildMenu();

  connect(&main, &TMainForm::animationLoaded, this, [this](int file) {
    if (file == static_cast<int>(m_kind)) fileLoaded();
  });
  if (hasVerdata()) {
    // Patched bodies turn green at once; the filters count them from their next rebuild, so the
    // user keeps the line on show.
    connect(&main, &TMainForm::verdataLoaded, this,
            [this] { m_list->listView()->viewport()->update(); });
    connect(&main, &TMainForm::gumpsLoaded, this, [this] {
      if (m_body) showGump(*m_body);
    });
  }
}

void AnimPage::buildControls() {
  m_list = new SlotListView(m_main.slotSearch(), m_dialogs, SlotListView::Options{}, this);
  m_list->setNames("lb" + m_base, "cb" + m_base + "Filter", "e" + m_base + "Search",
                   "btn" + m_base + "Search");
  m_list->setRange([this](SlotFilter) { return SlotListView::Range{0, model().bodyCount() - 1}; });
  const AnimationFile file = labelFile(m_kind);
  m_list->setLabeler([file](std::int32_t body) { return animationLabel(file, body); });
  m_list->setFullQuery([this](std::int32_t body) { return model().bodyExists(body); });
  if (hasVerdata())
    m_list->setPatchQuery([this](std::int32_t body) { return patched(body); }, true);
  connect(m_list, &SlotListView::slotActivated, this,
          [this](std::int32_t body) { runAction(m_dialogs, [&] { showBody(body); }); });
  connect(m_list, &SlotListView::selectionCleared, this, [this] { clearBody(); });
  connect(m_list, &SlotListView::popupRequested, this,
          [this](const QPoint&, std::int32_t body) { preparePopup(body); });
  m_list->setMinimumWidth(200);

  m_picture = new QLabel(this);
  m_picture->setObjectName("i" + m_base);
  m_picture->setFixedSize(kPictureSize, kPictureSize);

  m_action = new QComboBox(this);
  m_action->setObjectName("cb" + m_base + "Action");
  m_direction = new QComboBox(this);
  m_direction->setObjectName("cb" + m_base + "Direction");
  for (int d = 0; d < kAnimDirections; ++d) m_direction->addItem(QString::number(d));
  m_play = new QPushButton(QStringLiteral("Play"), this);
  m_play->setObjectName("btn" + m_base + "Play");
  m_frameLabel = new QLabel(this);
  m_frameLabel->setObjectName("l" + m_base + "Frame");
  m_timer = new QTimer(this);
  m_timer->setObjectName("tm" + m_base);
  m_timer->setInterval(kFrameInterval);
  connect(m_timer, &QTimer::timeout, this, [this] { advanceFrame(); });
  const auto choiceChanged = [this] {
    if (m_filling) return;
    runAction(m_dialogs, [&] { loadSlotFrames(); });
  };
  connect(m_action, &QComboBox::currentIndexChanged, this, choiceChanged);
  connect(m_direction, &QComboBox::currentIndexChanged, this, choiceChanged);
  connect(m_play, &QPushButton::clicked, this,
          [this] { runAction(m_dialogs, [&] { togglePlay(); }); });

  m_usePalette = new QCheckBox(QStringLiteral("Use Palette"), this);
  m_usePalette->setObjectName("cb" + m_base + "UsePalette");

  auto* player = new QHBoxLayout;
  player->addWidget(new QLabel(QStringLiteral("Action:"), this));
  player->addWidget(m_action);
  player->addWidget(new QLabel(QStringLiteral("Direction:"), this));
  player->addWidget(m_direction);
  player->addWidget(m_play);
  player->addWidget(m_frameLabel, 1);

  auto* right = new QVBoxLayout;
  auto* pictures = new QHBoxLayout;
  pictures->addWidget(m_picture, 0, Qt::AlignTop);
  if (hasVerdata()) {
    m_gump = new QLabel(this);
    m_gump->setObjectName("i" + m_base + "Gump");
    m_gump->setFixedSize(kGumpSize, kGumpSize);
    pictures->addWidget(m_gump, 0, Qt::AlignTop);
  }
  pictures->addStretch(1);
  right->addLayout(pictures);
  right->addLayout(player);
  auto* options = new QHBoxLayout;
  if (hasVerdata()) {
    m_showImage = new QCheckBox(QStringLiteral("Show Image"), this);
    m_showImage->setObjectName("cb" + m_base + "ShowImage");
    m_showImage->setChecked(true);
    connect(m_showImage, &QCheckBox::toggled, this, [this] {
      if (m_body) runAction(m_dialogs, [&] { showBody(*m_body); });
    });
    options->addWidget(m_showImage);
  }
  options->addWidget(m_usePalette);
  if (hasVerdata()) {
    m_fill = new QPushButton(QStringLiteral("Fill Slots to 0x1000"), this);
    m_fill->setObjectName("btn" + m_base + "Fill");
    connect(m_fill, &QPushButton::clicked, this,
            [this] { runAction(m_dialogs, [&] { fillBodies(); }); });
    options->addWidget(m_fill);
  }
  options->addStretch(1);
  right->addLayout(options);
  right->addStretch(1);

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(m_list);
  layout->addLayout(right, 1);
  clearPicture();
  if (m_gump) m_gump->setPixmap(composeArea(*this, kGumpSize, nullptr, 0, 0));
}

void AnimPage::buildMenu() {
  m_menu = new QMenu(this);
  m_menu->setObjectName("pm" + m_base);
  const bool main = hasVerdata();
  const auto add = [this](const QString& caption, const QString& name,
                          void (AnimPage::*handler)()) {
    QAction* action = m_menu->addAction(caption);
    action->setObjectName("mi" + m_base + name);
    connect(action, &QAction::triggered, this,
            [this, handler] { runAction(m_dialogs, [&] { (this->*handler)(); }); });
    return action;
  };
  m_saveDirectory =
      add(main ? QStringLiteral("Save to Directory") : QStringLiteral("Save Anim to Directory"),
          "SaveToDirectory", &AnimPage::saveToDirectory);
  add(main ? QStringLiteral("Load from Directory") : QStringLiteral("Load Anim from Directory"),
      "LoadFromDirectory", &AnimPage::loadFromDirectory);
  if (main)
    m_loadDirectoryVerdata =
        add(QStringLiteral("Load from Directory to Verdata"), "LoadFromDirectoryToVerdata",
            &AnimPage::loadFromDirectoryToVerdata);
  m_saveFile = add(main ? QStringLiteral("Save to File") : QStringLiteral("Save Anim to File"),
                   "SaveToFile", &AnimPage::saveToFile);
  add(main ? QStringLiteral("Load from File") : QStringLiteral("Load Anim from File"),
      "LoadFromFile", &AnimPage::loadFromFile);
  if (main)
    m_loadFileVerdata = add(QStringLiteral("Load from File to Verdata"), "LoadFromFileToVerdata",
                            &AnimPage::loadFromFileToVerdata);
  add(QStringLiteral("Delete"), "Delete", &AnimPage::deleteBody);
  m_list->setPopupMenu(m_menu);
}

TAnimation& AnimPage::model() const {
  switch (m_kind) {
    case AnimKind::Anim2:
      return *m_registry.anim2;
    case AnimKind::Anim3:
      return *m_registry.anim3;
    case AnimKind::Anim4:
      return *m_registry.anim4;
    case AnimKind::Anim5:
      return *m_registry.anim5;
    case AnimKind::Anim:
      break;
  }
  return *m_registry.animation;
}

bool AnimPage::patched(int body) const {
  return hasVerdata() && PatchedSlots::animations(*m_registry.verdata, model()).isPatched(body);
}

bool AnimPage::bodyFull(int body) const { return model().bodyExists(body) || patched(body); }

bool AnimPage::playing() const { return m_timer->isActive(); }

void AnimPage::hideEvent(QHideEvent* event) {
  // A page out of sight does not keep decoding frames for nobody.
  stopPlaying();
  QWidget::hideEvent(event);
}

void AnimPage::fileLoaded() {
  stopPlaying();
  m_list->resetFilter();
}

// ---------------------------------------------------------------------------------------------
// Showing a body

void AnimPage::clearPicture() {
  m_picture->setPixmap(composeArea(*this, kPictureSize, nullptr, 0, 0));
}

void AnimPage::showCentred(const Bitmap32& picture) {
  m_picture->setPixmap(composeArea(*this, kPictureSize, &picture,
                                   centredOffset(kPictureSize, picture.width),
                                   centredOffset(kPictureSize, picture.height)));
}

void AnimPage::showGump(int body) {
  if (!m_gump) return;
  // A body without a gump leaves the area empty rather than showing the last body's gump.
  Bitmap32 gump;
  const std::int64_t id = static_cast<std::int64_t>(body) + kGumpBase;
  if (m_registry.gumps->isLoaded() && m_registry.gumps->gumpExists(id))
    gump = m_registry.gumps->gumpPicture(id);
  m_gump->setPixmap(composeArea(*this, kGumpSize, &gump, centredOffset(kGumpSize, gump.width),
                                centredOffset(kGumpSize, gump.height)));
}

void AnimPage::fillActions(int body) {
  const int actions = model().actionCount(body);
  m_filling = true;
  m_action->clear();
  for (int a = 0; a < actions; ++a) m_action->addItem(QString::number(a));
  m_action->setCurrentIndex(actions > 0 ? 0 : -1);
  m_direction->setCurrentIndex(0);
  m_filling = false;
}

void AnimPage::clearBody() {
  stopPlaying();
  m_body.reset();
  m_frames.clear();
  m_frameIndex = -1;
  m_frameLabel->clear();
  m_filling = true;
  m_action->clear();
  m_filling = false;
  clearPicture();
  if (m_gump) m_gump->setPixmap(composeArea(*this, kGumpSize, nullptr, 0, 0));
}

void AnimPage::showBody(int body) {
  stopPlaying();
  m_body = body;
  m_frames.clear();
  m_frameIndex = -1;
  m_frameLabel->clear();
  // A new body starts at its first action and direction, whose first frame is shown below.
  fillActions(body);
  clearPicture();
  showGump(body);
  m_firstFrameReported = false;
  const bool show = !m_showImage || m_showImage->isChecked();
  if (!bodyFull(body) || !show) return;
  // Only the first file has verdata patches.
  const AnimFrame first =
      patched(body) ? m_registry.verdata->animFrame(body) : model().firstFrame(body);
  showCentred(first.picture);
  if (first.strayPixels > 0) {
    AnimStrayReport stray;
    stray.add(first);
    m_firstFrameReported = true;
    m_dialogs.showMessage(QString::fromStdString(stray.message()));
  }
}

void AnimPage::loadSlotFrames() {
  const bool wasPlaying = playing();
  stopPlaying();
  m_frames.clear();
  m_frameIndex = -1;
  if (!m_body || m_action->currentIndex() < 0 || m_direction->currentIndex() < 0) return;
  const int body = *m_body;
  const int offset = m_action->currentIndex() * kAnimDirections + m_direction->currentIndex();
  const bool show = !m_showImage || m_showImage->isChecked();
  if (show) {
    std::optional<std::vector<AnimFrame>> patchedFrames;
    if (hasVerdata()) patchedFrames = m_registry.verdata->animSlotFrames(body, offset);
    m_frames = patchedFrames ? std::move(*patchedFrames) : model().slotFrames(body, offset);
  }
  // One anchor for all frames, so a figure stands still while its frames change.
  int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
  for (const AnimFrame& f : m_frames) {
    if (f.picture.empty()) continue;
    const int x = -f.centerX;
    const int y = -f.centerY - f.picture.height;
    left = std::min(left, x);
    top = std::min(top, y);
    right = std::max(right, x + f.picture.width);
    bottom = std::max(bottom, y + f.picture.height);
  }
  if (left == INT_MAX) {
    m_anchorX = m_anchorY = 0;
  } else {
    m_anchorX = centredOffset(kPictureSize, right - left) - left;
    m_anchorY = centredOffset(kPictureSize, bottom - top) - top;
  }
  showFrame(m_frames.empty() ? -1 : 0);
  // One message per choice for the frames' stray run pixels; the body's first frame was reported
  // when the body was chosen.
  AnimStrayReport stray;
  for (std::size_t i = 0; i < m_frames.size(); ++i)
    if (!(offset == 0 && i == 0 && m_firstFrameReported)) stray.add(m_frames[i]);
  if (stray) m_dialogs.showMessage(QString::fromStdString(stray.message()));
  if (wasPlaying && m_frames.size() > 1) m_timer->start();
}

void AnimPage::showFrame(int index) {
  m_frameIndex = index;
  if (index < 0 || index >= frameCount()) {
    clearPicture();
    m_frameLabel->setText(QStringLiteral("No frames"));
    return;
  }
  const AnimFrame& f = m_frames[static_cast<std::size_t>(index)];
  m_picture->setPixmap(composeArea(*this, kPictureSize, &f.picture, m_anchorX - f.centerX,
                                   m_anchorY - f.centerY - f.picture.height));
  m_frameLabel->setText(QStringLiteral("Frame %1 of %2").arg(index + 1).arg(frameCount()));
}

void AnimPage::advanceFrame() {
  if (m_frames.empty()) {
    stopPlaying();
    return;
  }
  showFrame((m_frameIndex + 1) % frameCount());
}

void AnimPage::togglePlay() {
  if (playing()) {
    stopPlaying();
    return;
  }
  if (!m_body) return;
  // Play starts from the frames of the current choice; before any choice that is the body's
  // first action and direction.
  if (m_frameIndex < 0 || m_frames.empty()) loadSlotFrames();
  if (m_frames.empty()) return;
  m_timer->start();
  m_play->setText(QStringLiteral("Stop"));
}

void AnimPage::stopPlaying() {
  m_timer->stop();
  m_play->setText(QStringLiteral("Play"));
}

void AnimPage::refreshAfterChange() {
  m_list->listView()->viewport()->update();
  if (const auto body = m_list->selectedSlot()) showBody(*body);
}

// ---------------------------------------------------------------------------------------------
// The pop-up menu

void AnimPage::preparePopup(std::int32_t body) {
  const bool full = bodyFull(body);
  m_saveDirectory->setEnabled(full);
  m_saveFile->setEnabled(full);
  const bool verdata = hasVerdata() && m_registry.verdata->isLoaded();
  if (m_loadDirectoryVerdata) m_loadDirectoryVerdata->setVisible(verdata);
  if (m_loadFileVerdata) m_loadFileVerdata->setVisible(verdata);
}

void AnimPage::saveToDirectory() {
  const auto body = m_list->selectedSlot();
  if (!body || !bodyFull(*body)) return;
  const auto folder =
      m_dialogs.chooseFolder(QStringLiteral("Wohin soll die Animation gespeichert werden?"));
  if (!folder) return;
  stopPlaying();
  const AnimStrayReport stray =
      patched(*body) ? m_registry.verdata->exportAnimToDirectory(*body, str(*folder), m_progress)
                     : model().exportToDirectory(*body, str(*folder), m_progress);
  if (stray) m_dialogs.showMessage(QString::fromStdString(stray.message()));
}

void AnimPage::loadFromDirectory() {
  const auto body = m_list->selectedSlot();
  if (!body) return;
  const auto folder =
      m_dialogs.chooseFolder(QStringLiteral("Where should the animation be loaded from?"));
  if (!folder) return;
  stopPlaying();
  const AnimImportReport report =
      model().importFromDirectory(*body, str(*folder), m_usePalette->isChecked(), m_progress);
  refreshAfterChange();
  m_dialogs.showMessage(QString::fromStdString(report.message()));
}

void AnimPage::loadFromDirectoryToVerdata() {
  const auto body = m_list->selectedSlot();
  if (!body || !m_registry.verdata->isLoaded()) return;
  const auto folder =
      m_dialogs.chooseFolder(QStringLiteral("Woher soll die Animation geladen werden?"));
  if (!folder) return;
  stopPlaying();
  const VerdataAnimReport report = m_registry.verdata->addAnimFromDirectory(
      *body, str(*folder), m_usePalette->isChecked(), m_progress);
  refreshAfterChange();
  if (!report.message.empty()) m_dialogs.showMessage(QString::fromStdString(report.message));
}

void AnimPage::saveToFile() {
  const auto body = m_list->selectedSlot();
  if (!body || !bodyFull(*body)) return;
  const auto path =
      m_dialogs.saveFile({m_saveFile->text(), kKxFilter, QStringLiteral("kx"),
                          QString::fromStdString(hexLabel(static_cast<std::uint32_t>(*body))) +
                              QStringLiteral(".kx")});
  if (!path) return;
  if (patched(*body))
    m_registry.verdata->exportAnimToFile(*body, str(*path), m_progress);
  else
    model().exportToFile(*body, str(*path), m_progress);
}

void AnimPage::loadFromFile() {
  const auto body = m_list->selectedSlot();
  if (!body) return;
  const QString title =
      hasVerdata() ? QStringLiteral("Load from File") : QStringLiteral("Load Anim from File");
  const auto path = m_dialogs.openFile({title, kKxFilter, QStringLiteral("kx"), {}});
  if (!path) return;
  stopPlaying();
  model().importFromFile(*body, str(*path), m_progress);
  refreshAfterChange();
}

void AnimPage::loadFromFileToVerdata() {
  const auto body = m_list->selectedSlot();
  if (!body || !m_registry.verdata->isLoaded()) return;
  const auto path = m_dialogs.openFile(
      {QStringLiteral("Load from File to Verdata"), kKxFilter, QStringLiteral("kx"), {}});
  if (!path) return;
  stopPlaying();
  m_registry.verdata->addAnimFromFile(*body, str(*path), m_progress);
  refreshAfterChange();
}

void AnimPage::deleteBody() {
  const auto body = m_list->selectedSlot();
  if (!body) return;
  stopPlaying();
  model().deleteBody(*body);
  refreshAfterChange();
}

void AnimPage::fillBodies() {
  if (!model().isLoaded()) {
    m_dialogs.showMessage(QStringLiteral("Load Anims first."));
    return;
  }
  stopPlaying();
  model().fillBodies();
  // The new bodies are listed at once, so they can take imports without another load.
  m_list->rebuild();
}

}  // namespace quillotide::ui
