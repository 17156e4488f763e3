#include "ui/main/HuePage.h"

#include <algorithm>

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include "registry/Registry.h"
#include "app/Text.h"
#include "models/PatchedSlots.h"
#include "ui/editor/HueForm.h"
#include "ui/editor/HueTable.h"
#include "ui/main/MainForm.h"
#include "ui/main/NamedWidgets.h"
#include "ui/main/PictureView.h"
#include "ui/main/SlotListView.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

namespace {

constexpr int kColours = HueEntry::kColourCount;
constexpr int kStripHeight = HuePage::kStripRow * kColours + 1;  // 353
constexpr int kRampRight = 60;   // the black frame of the ramp ends here
constexpr int kMarkerLeft = 61;  // the selection marker beside it
constexpr int kMarkerRight = 74;
constexpr int kPreviewSide = 360;

QColor toColour(Pixel p) { return QColor(redOf(p), greenOf(p), blueOf(p)); }

// The ramp of entry e into a strip: black frame, one rectangle per colour, and the blue marker
// beside the colours from..to (none when from is -1).
void drawRamp(PictureView& strip, const THues& hues, int e, int from, int to) {
  strip.clear();
  const std::optional<HueEntry> entry = hues.entry(e);
  if (!entry) return;
  strip.fillRect(0, 0, kRampRight, kStripHeight, Qt::black);
  for (int k = 0; k < kColours; ++k) {
    const int top = HuePage::kStripRow * k + 1;
    strip.fillRect(1, top, kRampRight - 1, top + HuePage::kStripRow,
                   toColour(colour16ToPixel(entry->colours[static_cast<std::size_t>(k)])));
    if (from >= 0 && from <= k && k <= to)
      strip.fillRect(kMarkerLeft, top, kMarkerRight, top + HuePage::kStripRow, QColor(0, 0, 255));
  }
}

QSlider* makeTrack(const QString& name, QWidget* parent) {
  auto* track = new QSlider(Qt::Horizontal, parent);
  track->setObjectName(name);
  track->setRange(0, kColours - 1);
  track->setValue(HuePage::kDefaultTrack);
  return track;
}

}  // namespace

int HuePage::colourIndexAt(int y) { return std::clamp((y - 1) / kStripRow, 0, kColours - 1); }

HuePage::HuePage(TMainForm& main, QWidget* parent)
    : QWidget(parent),
      m_registry(main.registry()),
      m_dialogs(main.dialogs()),
      m_list(new SlotListView(main.slotSearch(), main.dialogs(), {false, false, true}, this)),
      m_list2(new SlotListView(main.slotSearch(), main.dialogs(), {false, false, true}, this)),
      m_track(makeTrack(QStringLiteral("tbHues"), this)),
      m_track2(makeTrack(QStringLiteral("tbHues2"), this)),
      m_strip(new PictureView(QSize(kMarkerRight + 1, kStripHeight), this)),
      m_strip2(new PictureView(QSize(kRampRight, kStripHeight), this)),
      m_name(new QLineEdit(this)),
      m_name2(new QLineEdit(this)),
      m_preview(new PictureView(QSize(kPreviewSide, kPreviewSide), this)),
      m_previewMenu(new QMenu(this)),
      m_hueForm(new THueForm(main.registry(), main.dialogs(), this)) {
  Registry& r = m_registry;
  // Labels are short; the room goes to the strips and the preview.
  m_list->setFixedWidth(160);
  m_list2->setFixedWidth(160);
  m_list->setNames(QStringLiteral("lbHues"), {}, {}, {});
  m_list2->setNames(QStringLiteral("lbHues2"), {}, {}, {});
  m_list->setRange([&r](SlotFilter) { return SlotListView::Range{0, r.hues->hueCount() - 1}; });
  m_list2->setRange([&r](SlotFilter) { return SlotListView::Range{0, r.hues2->hueCount() - 1}; });
  // The table is looked up at every line drawn, so the lines follow whatever the registry holds.
  const auto lineColour = [&r](std::unique_ptr<THues> Registry::*table, const QSlider* track) {
    return [&r, table, track](std::int32_t e) {
      const std::optional<Colour16> c = (r.*table)->hueColour(e, track->value());
      return c ? toColour(colour16ToPixel(*c)) : QColor(Qt::black);
    };
  };
  m_list->setTextColour(lineColour(&Registry::hues, m_track));
  m_list2->setTextColour(lineColour(&Registry::hues2, m_track2));
  connect(m_track, &QSlider::valueChanged, this,
          [this] { m_list->listView()->viewport()->update(); });
  connect(m_track2, &QSlider::valueChanged, this,
          [this] { m_list2->listView()->viewport()->update(); });
  connect(m_list, &SlotListView::slotActivated, this, [this] { onHueSelected(); });
  connect(m_list2, &SlotListView::slotActivated, this, [this] { onHue2Selected(); });
  // Without a selected line the name, strip and preview of the old line go blank.
  connect(m_list, &SlotListView::selectionCleared, this, [this] { onHueSelected(); });
  connect(m_list2, &SlotListView::selectionCleared, this, [this] { onHue2Selected(); });

  m_strip->setObjectName(QStringLiteral("iHueRamp"));
  m_strip2->setObjectName(QStringLiteral("iHue2Ramp"));
  // Moves are followed only while dragging; tracking makes them arrive without a held button too.
  m_strip->setMouseTracking(true);
  connect(m_strip, &PictureView::mousePressed, this, &HuePage::onStripPressed);
  connect(m_strip, &PictureView::mouseMoved, this, &HuePage::onStripMoved);
  connect(m_strip, &PictureView::mouseReleased, this, &HuePage::onStripReleased);

  m_name->setObjectName(QStringLiteral("eHueName"));
  m_name->setMaxLength(static_cast<int>(HueEntry::kNameSize));
  connect(m_name, &QLineEdit::returnPressed, this,
          [this] { runAction(m_dialogs, [this] { applyName(); }); });
  m_name2->setObjectName(QStringLiteral("eHue2Name"));
  m_name2->setMaxLength(static_cast<int>(HueEntry::kNameSize));
  m_name2->setReadOnly(true);

  m_preview->setObjectName(QStringLiteral("iHuePreview"));
  m_preview->setContextMenuPolicy(Qt::CustomContextMenu);
  m_previewMenu->setObjectName(QStringLiteral("pmHuePreview"));
  const auto addEntry = [this](const QString& name, const QString& caption, void (HuePage::*f)()) {
    QAction* entry = m_previewMenu->addAction(caption);
    entry->setObjectName(name);
    connect(entry, &QAction::triggered, this, [this, f] { (this->*f)(); });
  };
  addEntry(QStringLiteral("miHueShowAnimation"), QStringLiteral("Show Animation"),
           &HuePage::showAnimation);
  addEntry(QStringLiteral("miHueShowArt"), QStringLiteral("Show Art"), &HuePage::showArt);
  addEntry(QStringLiteral("miHueShowGump"), QStringLiteral("Show Gump"), &HuePage::showGump);
  connect(m_preview, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { m_previewMenu->popup(m_preview->mapToGlobal(pos)); });

  QPushButton* spreadButton =
      namedButton(QStringLiteral("btnHueSpread"), QStringLiteral("Spread"), this);
  QPushButton* loadButton =
      namedButton(QStringLiteral("btnHues2Load"), QStringLiteral("Load"), this);
  QPushButton* copyButton = namedButton(QStringLiteral("btnHueCopy"), QStringLiteral("<<<"), this);
  QPushButton* overviewButton =
      namedButton(QStringLiteral("btnHueOverview"), QStringLiteral("Overview"), this);
  connect(spreadButton, &QPushButton::clicked, this,
          [this] { runAction(m_dialogs, [this] { spread(); }); });
  connect(loadButton, &QPushButton::clicked, this,
          [this] { runAction(m_dialogs, [this] { loadSecondTable(); }); });
  connect(copyButton, &QPushButton::clicked, this,
          [this] { runAction(m_dialogs, [this] { copyRamp(); }); });
  connect(overviewButton, &QPushButton::clicked, this, [this] {
    m_hueForm->show();
    m_hueForm->raise();
    if (m_registry.hues->isLoaded()) m_hueForm->hueTable()->drawTable();
  });
  connect(m_hueForm, &THueForm::hueChosen, this, &HuePage::selectHue);

  // Left table | its strip and tools | the second table and its strip | the preview.
  auto* row = new QHBoxLayout(this);
  auto* left = new QVBoxLayout;
  left->addWidget(m_list, 1);
  left->addWidget(m_track);
  row->addLayout(left);
  auto* tools = new QVBoxLayout;
  tools->addWidget(m_strip, 0, Qt::AlignLeft);
  auto* nameRow = new QHBoxLayout;
  nameRow->addWidget(new QLabel(QStringLiteral("Name"), this));
  nameRow->addWidget(m_name);
  tools->addLayout(nameRow);
  tools->addWidget(spreadButton);
  tools->addWidget(copyButton);
  tools->addWidget(overviewButton);
  tools->addStretch(1);
  row->addLayout(tools);
  auto* right = new QVBoxLayout;
  right->addWidget(m_list2, 1);
  right->addWidget(m_track2);
  right->addWidget(loadButton);
  row->addLayout(right);
  auto* rightTools = new QVBoxLayout;
  rightTools->addWidget(m_strip2, 0, Qt::AlignLeft);
  rightTools->addWidget(m_name2);
  rightTools->addStretch(1);
  row->addLayout(rightTools);
  auto* previewColumn = new QVBoxLayout;
  previewColumn->addWidget(m_preview, 0, Qt::AlignLeft | Qt::AlignTop);
  previewColumn->addStretch(1);
  row->addLayout(previewColumn, 1);

  connect(&main, &TMainForm::huesLoaded, this, &HuePage::reload);
}

void HuePage::reload() {
  m_selFrom = m_selTo = -1;
  m_dragging = false;
  m_list->resetFilter();
  m_name->clear();
  m_strip->clear();
  m_preview->clear();
}

std::optional<int> HuePage::selectedHue() const {
  const auto e = m_list->selectedSlot();
  if (!e || !m_registry.hues->hasEntry(*e)) return std::nullopt;
  return *e;
}

std::optional<int> HuePage::selectedHue2() const {
  const auto e = m_list2->selectedSlot();
  if (!e || !m_registry.hues2->hasEntry(*e)) return std::nullopt;
  return *e;
}

void HuePage::selectHue(int e) {
  for (int line = 0; line < m_list->lineCount(); ++line)
    if (m_list->slotAt(line) == e) {
      m_list->selectLine(line);
      return;
    }
}

void HuePage::onHueSelected() {
  const auto e = selectedHue();
  m_name->setText(e ? QString::fromStdString(m_registry.hues->hueName(*e)) : QString());
  drawStrip();
  drawPreview();
}

void HuePage::onHue2Selected() {
  const auto e = selectedHue2();
  m_name2->setText(e ? QString::fromStdString(m_registry.hues2->hueName(*e)) : QString());
  drawStrip2();
}

void HuePage::drawStrip() {
  if (const auto e = selectedHue())
    drawRamp(*m_strip, *m_registry.hues, *e, m_selFrom, m_selTo);
  else
    m_strip->clear();
}

void HuePage::drawStrip2() {
  if (const auto e = selectedHue2())
    drawRamp(*m_strip2, *m_registry.hues2, *e, -1, -1);
  else
    m_strip2->clear();
}

void HuePage::afterColourChange() {
  drawStrip();
  m_list->listView()->viewport()->update();
  drawPreview();
}

void HuePage::onStripPressed(Qt::MouseButton button, QPoint pos) {
  const int k = colourIndexAt(pos.y());
  if (button == Qt::RightButton) {
    const auto e = selectedHue();
    if (!m_registry.hues->isLoaded() || !e) return;
    runAction(m_dialogs, [&] {
      const Colour16 current = m_registry.hues->hueColour(*e, k).value_or(0);
      const auto chosen = m_dialogs.chooseColour(toColour(colour16ToPixel(current)));
      if (!chosen) return;
      m_registry.hues->setHueColour(*e, k, static_cast<std::uint8_t>(chosen->red()),
                                    static_cast<std::uint8_t>(chosen->green()),
                                    static_cast<std::uint8_t>(chosen->blue()));
      afterColourChange();
    });
  } else if (button == Qt::LeftButton) {
    m_selFrom = m_selTo = k;
    m_dragging = true;
    drawStrip();
  } else if (button == Qt::MiddleButton) {
    drawStrip();
  }
}

void HuePage::onStripMoved(QPoint pos) {
  if (!m_dragging) return;
  const int k = colourIndexAt(pos.y());
  if (k == m_selFrom || k == m_selTo) return;
  m_selFrom = std::min(m_selFrom, k);
  m_selTo = std::max(m_selTo, k);
  drawStrip();
}

void HuePage::onStripReleased(Qt::MouseButton button, QPoint pos) {
  if (button != Qt::LeftButton) return;
  const int k = colourIndexAt(pos.y());
  if (m_registry.hues->isLoaded() && selectedHue()) {
    // A release without a press on the strip starts the range where it is.
    if (m_selFrom < 0) m_selFrom = m_selTo = k;
    m_selFrom = std::min(m_selFrom, k);
    m_selTo = std::max(m_selTo, k);
    drawStrip();
  }
  m_dragging = false;
}

void HuePage::spread() {
  const auto e = selectedHue();
  if (m_selFrom < 0 || m_selTo < 0 || !e || m_selFrom == m_selTo) return;
  m_registry.hues->spreadHue(m_selFrom, m_selTo, *e);
  afterColourChange();
}

void HuePage::applyName() {
  const auto e = selectedHue();
  if (!e) return;
  // The model stores the name in the game's code page and refuses a character it lacks; the
  // field already holds at most 20 characters.
  m_registry.hues->setHueName(*e, m_name->text().toStdString());
}

void HuePage::loadSecondTable() {
  const auto path = m_dialogs.openFile({QStringLiteral("Load"),
                                        QStringLiteral("Hues.mul|Hues.mul"),
                                        {},
                                        QStringLiteral("Hues.mul")});
  if (!path) return;
  m_registry.hues2->load(path->toStdString());
  m_list2->resetFilter();
  m_name2->clear();
  m_strip2->clear();
}

void HuePage::copyRamp() {
  const auto e = selectedHue();
  const auto e2 = selectedHue2();
  if (!m_registry.hues->isLoaded() || !m_registry.hues2->isLoaded() || !e || !e2) return;
  m_registry.hues->setColours(*e, m_registry.hues2->entry(*e2)->colours);
  afterColourChange();
}

void HuePage::showAnimation() {
  if (!m_registry.animation->isLoaded()) return;
  choosePreview(PreviewKind::Animation, "HueAnimId", [this](std::int32_t body) {
    return PatchedSlots::animations(*m_registry.verdata, *m_registry.animation).isShown(body);
  });
}

void HuePage::showArt() {
  if (!m_registry.art->isLoaded()) return;
  choosePreview(PreviewKind::Art, "HueArtId", [this](std::int32_t id) {
    return PatchedSlots::statics(*m_registry.verdata, *m_registry.art).isShown(id);
  });
}

void HuePage::showGump() {
  if (!m_registry.gumps->isLoaded()) return;
  choosePreview(PreviewKind::Gump, "HueGumpId", [this](std::int32_t id) {
    return PatchedSlots::gumps(*m_registry.verdata, *m_registry.gumps).isShown(id);
  });
}

void HuePage::choosePreview(PreviewKind kind, const char* key,
                            const std::function<bool(std::int32_t)>& exists) {
  runAction(m_dialogs, [&] {
    const std::int32_t last = m_registry.config->getInt(key);
    const auto answer =
        m_dialogs.inputBox(QStringLiteral("ID"), QStringLiteral("Gebt eine ID an."),
                           QString::fromStdString(hexLabel(static_cast<std::uint32_t>(last))));
    if (!answer) return;
    const std::int32_t id = parseInt(answer->toStdString());
    if (id < 0 || !exists(id)) return;
    m_previewKind = kind;
    m_previewId = id;
    drawPreview();
    m_registry.config->setInt(key, id);
  });
}

Bitmap32 HuePage::previewPicture() const {
  const Registry& r = m_registry;
  const std::int32_t id = m_previewId;
  switch (m_previewKind) {
    case PreviewKind::Animation:
      return PatchedSlots::animations(*r.verdata, *r.animation).picture(id);
    case PreviewKind::Art:
      return PatchedSlots::statics(*r.verdata, *r.art).picture(id);
    case PreviewKind::Gump:
      return PatchedSlots::gumps(*r.verdata, *r.gumps).picture(id);
    case PreviewKind::None:
      break;
  }
  return {};
}

void HuePage::drawPreview() {
  m_preview->clear();
  const auto e = selectedHue();
  if (!m_registry.hues->isLoaded() || !e || m_previewKind == PreviewKind::None) return;
  runAction(m_dialogs, [&] {
    // Gumps draw colour 0 opaque, so their black stays black; elsewhere only 0 is transparent.
    const HuedPixels which =
        m_previewKind == PreviewKind::Gump ? HuedPixels::NotBlack : HuedPixels::NotZero;
    const Bitmap32 hued =
        m_registry.hues->huedPicture(previewPicture(), HueChoice::entry(*e), which);
    m_preview->draw(hued, kPreviewSide / 2 - hued.width / 2, kPreviewSide / 2 - hued.height / 2);
  });
}

}  // namespace quillotide::ui
