#include "ui/main/FeaturesPage.h"

#include <functional>
#include <optional>

#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Registry.h"
#include "app/Text.h"
#include "ui/main/FeaturesWorldTools.h"
#include "ui/main/MainForm.h"
#include "ui/main/PairRebuild.h"
#include "ui/platform/Dialogs.h"
#include "ui/platform/GaugeForm.h"

namespace quillotide::ui {

namespace {

// The kinds of "ReIndex" in the order of `cbReIndex`, with the names the save dialogs filter by.
struct ReIndexKind {
  QString caption;
  QString indexName;
  QString dataName;
};

const std::vector<ReIndexKind>& reIndexKinds() {
  static const std::vector<ReIndexKind> kinds = {
      {"Animations", "Anim.idx", "Anim.mul"},     {"Art", "Artidx.mul", "Art.mul"},
      {"Gumps", "Gumpidx.mul", "GumpArt.mul"},    {"Textures", "Texidx.mul", "Texmaps.mul"},
      {"Statics", "Staidx0.mul", "Statics0.mul"},
  };
  return kinds;
}

QString hexName(const char* noun, std::int64_t slot) {
  return QString::fromLatin1(noun) + QLatin1Char(' ') +
         QString::fromStdString(hexLabel(static_cast<std::uint32_t>(slot)));
}

}  // namespace

FeaturesPage::FeaturesPage(TMainForm& main, QWidget* parent)
    : QWidget(parent),
      m_registry(main.registry()),
      m_dialogs(main.dialogs()),
      m_gauge(main.gauge()) {
  auto* group = new QGroupBox(QStringLiteral("ReIndex"), this);
  m_reIndexKind = new QComboBox(group);
  m_reIndexKind->setObjectName(QStringLiteral("cbReIndex"));
  for (const ReIndexKind& k : reIndexKinds()) m_reIndexKind->addItem(k.caption);
  m_reIndexKind->setCurrentIndex(-1);
  auto* start = new QPushButton(QStringLiteral("Start"), group);
  start->setObjectName(QStringLiteral("btnReIndex"));
  connect(start, &QPushButton::clicked, this, [this] { reIndex(); });
  auto* row = new QHBoxLayout(group);
  row->addWidget(m_reIndexKind);
  row->addWidget(start);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group, 0, Qt::AlignLeft);
  layout->addWidget(new FeaturesWorldTools(main, this));
  layout->addStretch(1);
}

void FeaturesPage::reIndex() {
  const int kind = m_reIndexKind->currentIndex();
  if (kind < 0) return;
  Registry& r = m_registry;
  // The model's rebuild with the damaged slots left out or not, and how it names a slot; empty
  // when the kind's model is not loaded.
  std::function<std::vector<std::int64_t>(const std::string&, const std::string&, bool)> rebuild;
  std::function<QString(std::int64_t)> name;
  Random& random = r.random;
  Progress& progress = m_gauge;
  switch (kind) {
    case 0:
      if (!r.animation->isLoaded()) return;
      // The animation files have no rebuild that leaves slots out; a damaged slot ends it.
      rebuild = [&r, &progress, &random](const std::string& idx, const std::string& mul, bool) {
        r.animation->rebuild(idx, mul, progress, random);
        return std::vector<std::int64_t>{};
      };
      break;
    case 1:
      if (!r.art->isLoaded()) return;
      rebuild = [&r, &progress, &random](const std::string& idx, const std::string& mul,
                                         bool skip) {
        return r.art->rebuild(idx, mul, progress, random, skip);
      };
      name = [](std::int64_t slot) { return QString::fromStdString(artRecordName(slot)); };
      break;
    case 2:
      if (!r.gumps->isLoaded()) return;
      rebuild = [&r, &progress, &random](const std::string& idx, const std::string& mul,
                                         bool skip) {
        return r.gumps->rebuild(idx, mul, progress, random, skip);
      };
      name = [](std::int64_t slot) { return hexName("Gump", slot); };
      break;
    case 3:
      if (!r.textures->isLoaded()) return;
      rebuild = [&r, &progress, &random](const std::string& idx, const std::string& mul,
                                         bool skip) {
        return r.textures->rebuild(idx, mul, progress, random, skip);
      };
      name = [](std::int64_t slot) { return hexName("Texture", slot); };
      break;
    default:
      return;  // the statics have no model yet, so they are never loaded
  }
  const ReIndexKind& k = reIndexKinds()[static_cast<std::size_t>(kind)];
  auto ask = [this](const QString& pattern) -> std::optional<std::string> {
    const auto path = m_dialogs.saveFile({QStringLiteral("Save ") + pattern,
                                          pattern + QLatin1Char('|') + pattern,
                                          QFileInfo(pattern).suffix(),
                                          {}});
    if (!path || path->isEmpty()) return std::nullopt;
    return path->toStdString();
  };
  const auto idx = ask(k.indexName);
  if (!idx) return;
  const auto mul = ask(k.dataName);
  if (!mul) return;
  if (!name) {
    runAction(m_dialogs, [&] { rebuild(*idx, *mul, false); });
    return;
  }
  runPairRebuild(
      m_dialogs, [&](bool skip) { return rebuild(*idx, *mul, skip); }, name);
}

}  // namespace quillotide::ui
