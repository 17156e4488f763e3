#include "ui/main/ArtPage.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/SlotList.h"
#include "app/Text.h"
#include "registry/Registry.h"
#include "ui/main/MainForm.h"
#include "ui/main/PictureView.h"
#include "ui/main/SlotListView.h"
#include "ui/platform/Dialogs.h"

namespace quillotide::ui {

namespace {

constexpr int kSwatchSize = 50;

std::string text(const QLineEdit* field) { return field->text().toStdString(); }

}  // namespace

ArtPage::ArtPage(TMainForm& main, const QString& prefix, QWidget* parent)
    : ImageSlotPage(main, {prefix}, QSize(kViewSize, kViewSize), parent),
      m_gauge(main.gauge()),
      m_prefix(prefix) {}

void ArtPage::build() {
  m_list->setRange([this](SlotFilter) {
    return SlotListView::Range{0, static_cast<std::int32_t>(slotCount() - 1)};
  });
  m_list->setFullQuery([this](std::int32_t slot) { return patchedSlots().inFile(slot); });
  // A patch colours the line but does not make the slot full for the filters.
  m_list->setPatchQuery([this](std::int32_t slot) { return isPatched(slot); });
  // A slot whose container entry cannot be read says so rather than passing for an empty one;
  // the art index numbers its records as the radar colours do.
  m_list->setLabeler([this](std::int32_t slot) {
    const bool unreadable = m_registry.art->files().unreadable(radarEntry(slot)).has_value();
    return unreadable ? slotLabel(slot) + " (unreadable)" : slotLabel(slot);
  });

  addMenuEntry(QStringLiteral("mi%1SaveBitmap").arg(m_prefix), QStringLiteral("Save to Bitmap"),
               [this](std::int32_t) { saveToBitmap(); });
  addMenuEntry(QStringLiteral("mi%1LoadBitmap").arg(m_prefix), QStringLiteral("Load from Bitmap"),
               [this](std::int32_t s) {
                 loadBitmap([this, s](const std::string& path) { importFile(s, path); });
               });
  addMenuEntry(QStringLiteral("mi%1LoadVerdata").arg(m_prefix),
               QStringLiteral("Load from Bitmap to Verdata"), [this](std::int32_t s) {
                 loadBitmap([this, s](const std::string& path) { addPatch(s, path); });
               });
  addMenuEntry(QStringLiteral("mi%1Delete").arg(m_prefix), QStringLiteral("Delete"),
               [this](std::int32_t s) { deleteSlot(s); });

  // Radar colour controls: hidden until the radar colour file is loaded.
  m_radarGroup = new QGroupBox(QStringLiteral("Radarcol"), this);
  m_radarGroup->setObjectName(QStringLiteral("gb%1Radar").arg(m_prefix));
  m_swatch = new QLabel(m_radarGroup);
  m_swatch->setObjectName(QStringLiteral("i%1Radar").arg(m_prefix));
  m_swatch->setFixedSize(kSwatchSize, kSwatchSize);
  const auto field = [this](const QString& name, const QString& initial) {
    auto* e = new QLineEdit(initial, m_radarGroup);
    e->setObjectName(QStringLiteral("e%1%2").arg(m_prefix, name));
    e->setMaximumWidth(70);
    return e;
  };
  m_red = field(QStringLiteral("Red"), {});
  m_green = field(QStringLiteral("Green"), {});
  m_blue = field(QStringLiteral("Blue"), {});
  for (QLineEdit* e : {m_red, m_green, m_blue})
    connect(e, &QLineEdit::returnPressed, this, [this] { act([this] { storeRadarFields(); }); });
  m_from = field(QStringLiteral("From"), QStringLiteral("0x0"));
  m_to = field(QStringLiteral("To"), QStringLiteral("0x0"));
  auto* averageButton = new QPushButton(QStringLiteral("Average"), m_radarGroup);
  averageButton->setObjectName(QStringLiteral("btn%1Average").arg(m_prefix));
  connect(averageButton, &QPushButton::clicked, this, [this] { act([this] { average(); }); });

  auto* channels = new QFormLayout;
  channels->addRow(QStringLiteral("Red"), m_red);
  channels->addRow(QStringLiteral("Green"), m_green);
  channels->addRow(QStringLiteral("Blue"), m_blue);
  auto* range = new QFormLayout;
  range->addRow(QStringLiteral("From"), m_from);
  range->addRow(QStringLiteral("To"), m_to);
  range->addRow(averageButton);
  auto* radarLayout = new QHBoxLayout(m_radarGroup);
  radarLayout->addWidget(m_swatch, 0, Qt::AlignTop);
  radarLayout->addLayout(channels);
  radarLayout->addLayout(range);
  radarLayout->addStretch(1);
  m_radarGroup->setVisible(m_registry.radarcol->isLoaded());
  m_viewColumn->addWidget(m_radarGroup, 0, Qt::AlignLeft);
  m_viewColumn->addStretch(1);

  // The static page's tools stand right of the view.
  m_tools = new QVBoxLayout;
  if (auto* row = qobject_cast<QHBoxLayout*>(layout())) row->addLayout(m_tools);

  connect(&m_main, &TMainForm::artLoaded, this, &ArtPage::onArtLoaded);
  connect(&m_main, &TMainForm::verdataLoaded, this, &ArtPage::refresh);
  connect(&m_main, &TMainForm::radarcolLoaded, this, &ArtPage::onRadarcolLoaded);
}

bool ArtPage::act(const std::function<void()>& action) { return runAction(m_dialogs, action); }

std::optional<std::int32_t> ArtPage::selectedSlot() const { return m_list->selectedSlot(); }

bool ArtPage::isPatched(std::int32_t slot) const { return patchedSlots().isPatched(slot); }

bool ArtPage::slotShown(std::int32_t slot) const { return patchedSlots().isShown(slot); }

Bitmap32 ArtPage::slotPicture(std::int32_t slot) const { return patchedSlots().picture(slot); }

void ArtPage::beforeShow(std::int32_t slot) {
  if (slotShown(slot)) showRadar(slot);
}

void ArtPage::clearShown() {
  ImageSlotPage::clearShown();
  m_swatch->clear();
  m_red->clear();
  m_green->clear();
  m_blue->clear();
}

void ArtPage::onArtLoaded() {
  m_view->clear();
  m_list->resetFilter();
}

void ArtPage::onRadarcolLoaded() {
  m_radarGroup->setVisible(m_registry.radarcol->isLoaded());
  if (const auto slot = selectedSlot()) showSlot(*slot);
}

void ArtPage::showRadar(std::int32_t slot) {
  const Pixel p = colour16ToPixel(m_registry.radarcol->radarColour(radarEntry(slot)));
  QPixmap swatch(kSwatchSize, kSwatchSize);
  swatch.fill(QColor(redOf(p), greenOf(p), blueOf(p)));
  m_swatch->setPixmap(swatch);
  m_red->setText(QString::number(redOf(p)));
  m_green->setText(QString::number(greenOf(p)));
  m_blue->setText(QString::number(blueOf(p)));
}

void ArtPage::storeRadarFields() {
  const auto slot = selectedSlot();
  if (!slot) return;
  // Each field counts with its low 8 bits, the channel it fills.
  const auto channel = [](const QLineEdit* e) {
    return static_cast<std::uint8_t>(parseInt(text(e)) & 0xFF);
  };
  const std::uint8_t r = channel(m_red);
  const std::uint8_t g = channel(m_green);
  const std::uint8_t b = channel(m_blue);
  m_registry.radarcol->setRadarColour(radarEntry(*slot), rgbToColour16(r, g, b));
  showRadar(*slot);
  showSlot(*slot);
}

void ArtPage::average() {
  if (!m_registry.art->isLoaded()) return;
  const std::int32_t from = parseInt(text(m_from));
  const std::int32_t to = parseInt(text(m_to));
  if (to < from) return;
  // A slot outside the file would reach another section of the radar table (a negative static
  // is a land tile's entry), so the range must lie inside the list.
  if (from < 0 || to >= slotCount()) {
    m_dialogs.showMessage(kBadIdsMessage);
    return;
  }
  for (std::int32_t k = from;; ++k) {
    // A slot without any drawn pixel has no average; its entry stays as it is.
    if (const auto colour = averageColour(k))
      m_registry.radarcol->setRadarColour(radarEntry(k), pixelToColour16(*colour));
    if (k == to) break;
  }
  if (const auto slot = selectedSlot()) showSlot(*slot);
}

void ArtPage::deleteSlot(std::int32_t slot) {
  // A patch hides the file's slot, so it goes first; the next Delete reaches the file.
  const PatchedSlots patched = patchedSlots();
  if (patched.isPatched(slot))
    m_registry.verdata->removePatch(patched.key(slot).fileId, patched.key(slot).block);
  else
    deleteFromFile(slot);
  refresh();
}

}  // namespace quillotide::ui
