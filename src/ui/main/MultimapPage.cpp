#include "ui/main/MultimapPage.h"

#include <algorithm>
#include <cmath>

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "registry/OpenFiles.h"
#include "registry/Registry.h"
#include "ui/main/FileGroup.h"
#include "ui/main/MainForm.h"
#include "ui/main/SettingsPage.h"
#include "ui/platform/Dialogs.h"
#include "ui/platform/ImageBridge.h"

namespace quillotide::ui {

namespace {

const QString kPngFilter = QStringLiteral("*.png|*.png");

}  // namespace

MultimapPage::MultimapPage(TMainForm& main, QWidget* parent)
    : QWidget(parent),
      m_main(main),
      m_registry(main.registry()),
      m_dialogs(main.dialogs()),
      m_files(main.settingsPage()->createGroupBox(QStringLiteral("Multimap"), this)),
      m_info(new QLabel(this)),
      m_problems(new QLabel(this)),
      m_scale(new QComboBox(this)),
      m_export(new QPushButton(QStringLiteral("Export PNG..."), this)),
      m_import(new QPushButton(QStringLiteral("Import PNG..."), this)),
      m_scroll(new QScrollArea(this)),
      m_picture(new QLabel) {
  setObjectName(QStringLiteral("MultimapPage"));
  m_info->setObjectName(QStringLiteral("lMultimap"));
  m_problems->setObjectName(QStringLiteral("lMultimapProblems"));
  m_scale->setObjectName(QStringLiteral("cbMultimapScale"));
  m_export->setObjectName(QStringLiteral("btnMultimapExport"));
  m_import->setObjectName(QStringLiteral("btnMultimapImport"));
  m_scroll->setObjectName(QStringLiteral("sbMultimap"));
  m_picture->setObjectName(QStringLiteral("iMultimap"));
  m_problems->setWordWrap(true);
  m_scale->addItems({QStringLiteral("Fit"), QStringLiteral("100%"), QStringLiteral("50%"),
                     QStringLiteral("25%"), QStringLiteral("12.5%")});
  m_picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  m_scroll->setWidget(m_picture);
  m_scroll->setWidgetResizable(false);
  m_scroll->setBackgroundRole(QPalette::Dark);
  // Fitting follows the view's size.
  m_scroll->viewport()->installEventFilter(this);

  connect(m_scale, &QComboBox::currentIndexChanged, this, [this] { showScaled(); });
  connect(m_export, &QPushButton::clicked, this,
          [this] { runAction(m_dialogs, [&] { exportPng(); }); });
  connect(m_import, &QPushButton::clicked, this,
          [this] { runAction(m_dialogs, [&] { importPng(); }); });

  auto* controls = new QHBoxLayout;
  controls->addWidget(m_info, 1);
  controls->addWidget(new QLabel(QStringLiteral("Scale:"), this));
  controls->addWidget(m_scale);
  controls->addWidget(m_export);
  controls->addWidget(m_import);
  auto* layout = new QVBoxLayout(this);
  if (m_files) layout->addWidget(m_files);
  layout->addLayout(controls);
  layout->addWidget(m_problems);
  layout->addWidget(m_scroll, 1);

  // Whatever opens, reads again or closes the multimap, the page shows what the model now holds.
  m_ownerToken = m_registry.openFiles().subscribe([this](const std::string& id, FileEvent event) {
    if (id == "Multimap" && event != FileEvent::Saved) rebuild();
  });
  rebuild();
}

MultimapPage::~MultimapPage() { m_registry.openFiles().unsubscribe(m_ownerToken); }

bool MultimapPage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_scroll->viewport() && event->type() == QEvent::Resize &&
      m_scale->currentIndex() == kFit)
    showScaled();
  return QWidget::eventFilter(watched, event);
}

void MultimapPage::rebuild() {
  const TMultimap& map = *m_registry.multimap;
  m_export->setEnabled(map.isLoaded());
  m_import->setEnabled(map.isLoaded());
  m_problems->clear();
  if (!map.isLoaded()) {
    m_image = QImage();
    m_info->setText(QStringLiteral("Not loaded"));
    showScaled();
    return;
  }
  m_image = toQImage(map.picture());
  QString text;
  if (map.layout() == MultimapLayout::Monochrome) {
    text = QStringLiteral("Monochrome, %1 x %2, %3 %4 on")
               .arg(map.width())
               .arg(map.height())
               .arg(map.pixelsOn())
               .arg(map.pixelsOn() == 1 ? QStringLiteral("pixel") : QStringLiteral("pixels"));
  } else {
    text = QStringLiteral("Colour, %1 x %2%3, %4 %5")
               .arg(map.width())
               .arg(map.height())
               .arg(map.widthInferred() ? QStringLiteral(" (width inferred)") : QString())
               .arg(map.colourCount())
               .arg(map.colourCount() == 1 ? QStringLiteral("colour") : QStringLiteral("colours"));
  }
  m_info->setText(text);
  QStringList problems;
  for (const std::string& p : map.problems()) problems << QString::fromStdString(p);
  m_problems->setText(problems.join(QLatin1Char('\n')));
  showScaled();
}

void MultimapPage::showScaled() {
  if (m_image.isNull()) {
    m_picture->clear();
    m_picture->resize(0, 0);
    return;
  }
  double factor = 1.0;
  if (m_scale->currentIndex() == kFit) {
    const QSize room = m_scroll->viewport()->size();
    factor = std::min(
        {1.0, double(room.width()) / m_image.width(), double(room.height()) / m_image.height()});
  } else if (m_scale->currentIndex() > kFullSize) {
    factor = std::ldexp(1.0, -(m_scale->currentIndex() - kFullSize));
  }
  QImage shown = m_image;
  if (factor < 1.0)
    shown = m_image.scaled(std::max(1, int(m_image.width() * factor)),
                           std::max(1, int(m_image.height() * factor)), Qt::IgnoreAspectRatio,
                           Qt::SmoothTransformation);
  m_picture->setPixmap(QPixmap::fromImage(shown));
  m_picture->resize(shown.size());
}

void MultimapPage::exportPng() {
  if (!m_registry.multimap->isLoaded()) return;
  const auto path = m_dialogs.saveFile({QStringLiteral("Export PNG"), kPngFilter,
                                        QStringLiteral("png"), QStringLiteral("Multimap.png")});
  if (path) m_registry.multimap->exportPng(path->toStdString());
}

void MultimapPage::importPng() {
  if (!m_registry.multimap->isLoaded()) return;
  const auto path =
      m_dialogs.openFile({QStringLiteral("Import PNG"), kPngFilter, QStringLiteral("png"), {}});
  if (!path) return;
  m_registry.multimap->importPng(path->toStdString());
  rebuild();
}

}  // namespace quillotide::ui
