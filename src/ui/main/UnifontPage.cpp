#include "ui/main/UnifontPage.h"

#include <algorithm>
#include <functional>

#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QValidator>

#include "app/Error.h"
#include "app/FileIO.h"
#include "app/Png.h"
#include "app/Text.h"
#include "registry/OpenFiles.h"
#include "registry/Registry.h"
#include "ui/main/FileGroup.h"
#include "ui/main/GlyphGrid.h"
#include "ui/main/MainForm.h"
#include "ui/main/SettingsPage.h"
#include "ui/platform/Dialogs.h"
#include "ui/platform/ImageBridge.h"

namespace quillotide::ui {

namespace {

const QString kPngFilter = QStringLiteral("*.png|*.png");
constexpr char32_t kLastCode = 0xFFFF;
constexpr int kCellSide = 18;

QString label(char32_t code) { return QString::fromStdString(codePointLabel(code)); }

// "U+0041 “A”"; the label alone where the code point shows nothing.
QString codeName(char32_t code) {
  const QString shown = QString::fromUcs4(&code, 1);
  if (shown.isEmpty() || !shown.at(0).isPrint() || shown.at(0).isSpace()) return label(code);
  return QStringLiteral("%1 \u201C%2\u201D").arg(label(code), shown);
}

QString rangeText(const char* name, std::pair<char32_t, char32_t> range) {
  return QStringLiteral("%1 (%2\u2013%3)")
      .arg(QString::fromUtf8(name), label(range.first), label(range.second));
}

// The code point a text names: the one character typed, or "U+" or "0x" and hex digits.
std::optional<char32_t> parseCode(const QString& typed) {
  const QList<uint> points = typed.toUcs4();
  if (points.size() == 1) return points.front();
  const QString t = typed.trimmed();
  if (t.size() < 3 || t.size() > 8) return std::nullopt;
  if (!t.startsWith(QStringLiteral("U+"), Qt::CaseInsensitive) &&
      !t.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive))
    return std::nullopt;
  bool ok = false;
  const uint value = t.mid(2).toUInt(&ok, 16);
  if (!ok) return std::nullopt;
  return value;
}

QSpinBox* offsetBox(const QString& name, QWidget* parent) {
  auto* box = new QSpinBox(parent);
  box->setObjectName(name);
  box->setRange(-128, 127);
  return box;
}

}  // namespace

QString unifontCodeMessage(const QString& typed) {
  const std::optional<char32_t> code = parseCode(typed);
  if (code && *code > kLastCode)
    return QStringLiteral("A Unicode font holds U+0000 to U+FFFF, not %1.").arg(label(*code));
  return QStringLiteral(
             "\u201C%1\u201D names no code point: type U+0041, 0x41 or the character "
             "itself.")
      .arg(typed);
}

UnifontPage::UnifontPage(TMainForm& main, QWidget* parent)
    : QWidget(parent),
      m_main(main),
      m_registry(main.registry()),
      m_dialogs(main.dialogs()),
      m_files(main.settingsPage()->createGroupBox(QStringLiteral("Unifont"), this)),
      m_block(new QComboBox(this)),
      m_code(new QLineEdit(this)),
      m_grid(new GlyphGrid(this)),
      m_charPicture(new QLabel),
      m_charInfo(new QLabel(this)),
      m_x(offsetBox(QStringLiteral("seUnifontX"), this)),
      m_y(offsetBox(QStringLiteral("seUnifontY"), this)),
      m_apply(new QPushButton(QStringLiteral("Apply"), this)),
      m_export(new QPushButton(QStringLiteral("Export character..."), this)),
      m_import(new QPushButton(QStringLiteral("Import character..."), this)),
      m_remove(new QPushButton(QStringLiteral("Remove character"), this)),
      m_text(new QLineEdit(this)),
      m_textNote(new QLabel(this)),
      m_textPicture(new QLabel) {
  setObjectName(QStringLiteral("UnifontPage"));
  m_block->setObjectName(QStringLiteral("cbUnifontBlock"));
  m_code->setObjectName(QStringLiteral("eUnifontCode"));
  m_grid->setObjectName(QStringLiteral("gUnifontChars"));
  m_charPicture->setObjectName(QStringLiteral("iUnifontChar"));
  m_charInfo->setObjectName(QStringLiteral("lUnifontChar"));
  m_apply->setObjectName(QStringLiteral("btnUnifontApply"));
  m_export->setObjectName(QStringLiteral("btnUnifontExport"));
  m_import->setObjectName(QStringLiteral("btnUnifontImport"));
  m_remove->setObjectName(QStringLiteral("btnUnifontRemove"));
  m_text->setObjectName(QStringLiteral("eUnifontText"));
  m_textNote->setObjectName(QStringLiteral("lUnifontTextNote"));
  m_textPicture->setObjectName(QStringLiteral("iUnifontText"));
  m_code->setPlaceholderText(QStringLiteral("U+0041 or A"));
  m_code->setFixedWidth(110);
  // The longest block names would otherwise widen the page past the window.
  m_block->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  m_block->setMinimumContentsLength(24);
  m_charInfo->setWordWrap(true);
  m_textNote->setWordWrap(true);
  m_text->setPlaceholderText(QStringLiteral("Text to draw in the font"));
  m_text->setValidator(new CharacterValidator(
      [](char32_t c) { return c <= kLastCode; },
      [this](char32_t c) {
        m_textNote->setText(QStringLiteral("%1 lies past U+FFFF, where a Unicode font holds no "
                                           "glyphs: it is not taken.")
                                .arg(label(c)));
      },
      m_text));
  for (const UnicodeBlock& b : TUnifont::blocks()) {
    m_ranges.emplace_back(b.first, b.last);
    m_block->addItem(rangeText(b.name, m_ranges.back()));
  }
  m_range = m_ranges.front();
  m_x->installEventFilter(this);
  m_y->installEventFilter(this);

  connect(m_block, &QComboBox::currentIndexChanged, this, [this](int line) { showBlock(line); });
  connect(m_code, &QLineEdit::returnPressed, this, [this] { jumpToTyped(); });
  connect(m_grid, &GlyphGrid::cellSelected, this, [this] { showCharacter(); });
  connect(m_text, &QLineEdit::textChanged, this, [this] { showText(); });
  connect(m_apply, &QPushButton::clicked, this,
          [this] { runAction(m_dialogs, [&] { applyOffsets(); }); });
  connect(m_export, &QPushButton::clicked, this,
          [this] { runAction(m_dialogs, [&] { exportCharacter(); }); });
  connect(m_import, &QPushButton::clicked, this,
          [this] { runAction(m_dialogs, [&] { importCharacter(); }); });
  connect(m_remove, &QPushButton::clicked, this,
          [this] { runAction(m_dialogs, [&] { removeCharacter(); }); });

  auto* browse = new QHBoxLayout;
  browse->addWidget(new QLabel(QStringLiteral("Block:"), this));
  browse->addWidget(m_block, 1);
  browse->addWidget(new QLabel(QStringLiteral("Code point:"), this));
  browse->addWidget(m_code);
  auto* offsets = new QGridLayout;
  offsets->addWidget(new QLabel(QStringLiteral("X offset:"), this), 0, 0);
  offsets->addWidget(m_x, 0, 1);
  offsets->addWidget(new QLabel(QStringLiteral("Y offset:"), this), 1, 0);
  offsets->addWidget(m_y, 1, 1);
  offsets->addWidget(m_apply, 0, 2, 2, 1);
  auto* charColumn = new QVBoxLayout;
  QScrollArea* charArea = pictureArea(m_charPicture, this);
  charArea->setMinimumSize(180, 180);
  charColumn->addWidget(charArea, 1);
  charColumn->addWidget(m_charInfo);
  charColumn->addLayout(offsets);
  charColumn->addWidget(m_export);
  charColumn->addWidget(m_import);
  charColumn->addWidget(m_remove);
  auto* body = new QHBoxLayout;
  body->addWidget(m_grid);
  body->addLayout(charColumn, 1);
  auto* textRow = new QHBoxLayout;
  textRow->addWidget(new QLabel(QStringLiteral("Text:"), this));
  textRow->addWidget(m_text, 1);
  QScrollArea* textArea = pictureArea(m_textPicture, this);
  textArea->setFixedHeight(90);
  auto* layout = new QVBoxLayout(this);
  if (m_files) layout->addWidget(m_files);
  layout->addLayout(browse);
  layout->addLayout(body, 1);
  layout->addLayout(textRow);
  layout->addWidget(m_textNote);
  layout->addWidget(textArea);

  // Whatever opens, reads again or closes the font, the page shows what the model now holds; a
  // fresh model in between shows nothing.
  m_ownerToken = m_registry.openFiles().subscribe([this](const std::string& id, FileEvent event) {
    if (id == "Unifont" && event != FileEvent::Saved) rebuild();
  });
  rebuild();
}

UnifontPage::~UnifontPage() { m_registry.openFiles().unsubscribe(m_ownerToken); }

std::optional<char32_t> UnifontPage::currentCode() const {
  if (m_grid->selected() < 0) return std::nullopt;
  return m_range.first + static_cast<char32_t>(m_grid->selected());
}

bool UnifontPage::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == m_x || watched == m_y) && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      runAction(m_dialogs, [&] { applyOffsets(); });
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void UnifontPage::rebuild() {
  const std::optional<char32_t> keep = currentCode();
  showRange(m_range);
  const TUnifont& font = *m_registry.unifont;
  if (!font.isLoaded()) return;
  if (keep) {
    m_grid->select(static_cast<int>(*keep - m_range.first));
    return;
  }
  // The first glyph of the range, else its first code point.
  const auto first = font.glyphs().lower_bound(m_range.first);
  const bool inRange = first != font.glyphs().end() && first->first <= m_range.second;
  m_grid->select(inRange ? static_cast<int>(first->first - m_range.first) : 0);
}

void UnifontPage::showBlock(int line) {
  if (line < 0 || static_cast<std::size_t>(line) >= m_ranges.size()) return;
  m_grid->select(-1);
  m_range = m_ranges[static_cast<std::size_t>(line)];
  rebuild();
}

void UnifontPage::showRange(std::pair<char32_t, char32_t> range) {
  const bool changed = range != m_range;
  m_range = range;
  if (!m_registry.unifont->isLoaded()) {
    m_grid->setCells(0, kCellSide, {});
    showCharacter();
    showText();
    return;
  }
  const char32_t first = range.first;
  const int keep = changed ? -1 : m_grid->selected();
  m_grid->setCells(
      static_cast<int>(range.second - range.first + 1), kCellSide, [this, first](int index) {
        GlyphGrid::Cell cell;
        const auto code = first + static_cast<char32_t>(index);
        const TUnifont& font = *m_registry.unifont;
        cell.caption =
            QStringLiteral("%1").arg(static_cast<uint>(code), 4, 16, QChar('0')).toUpper();
        if (font.isLoaded() && font.has(code)) {
          const UniGlyph& g = font.glyph(code);
          cell.picture = toQImage(font.picture(code));
          cell.toolTip = QStringLiteral("%1: %2 x %3, x offset %4, y offset %5")
                             .arg(codeName(code))
                             .arg(int{g.width})
                             .arg(int{g.height})
                             .arg(int{g.xOffset})
                             .arg(int{g.yOffset});
        } else {
          cell.present = false;
          cell.toolTip = QStringLiteral("%1: not in the font").arg(codeName(code));
        }
        return cell;
      });
  if (keep >= 0) m_grid->select(keep);
  showCharacter();
  showText();
}

void UnifontPage::jumpToTyped() {
  const QString typed = m_code->text();
  const std::optional<char32_t> code = parseCode(typed);
  if (!code || *code > kLastCode) {
    m_dialogs.showError(unifontCodeMessage(typed));
    return;
  }
  jumpTo(*code);
}

void UnifontPage::jumpTo(char32_t code) {
  std::size_t line = 0;
  while (line < TUnifont::blocks().size() &&
         !(code >= m_ranges[line].first && code <= m_ranges[line].second))
    ++line;
  if (line == TUnifont::blocks().size()) {
    // Outside every block: the page of 256 code points around it, as one more line of the combo.
    const std::pair<char32_t, char32_t> page{code & ~char32_t{0xFF}, code | char32_t{0xFF}};
    const QString text = rangeText("Other", page);
    if (m_ranges.size() == line) {
      m_ranges.push_back(page);
      const QSignalBlocker quiet(m_block);
      m_block->addItem(text);
    } else {
      m_ranges[line] = page;
      m_block->setItemText(static_cast<int>(line), text);
    }
  }
  {
    const QSignalBlocker quiet(m_block);
    m_block->setCurrentIndex(static_cast<int>(line));
  }
  if (m_ranges[line] != m_range) showRange(m_ranges[line]);
  m_grid->select(static_cast<int>(code - m_range.first));
}

void UnifontPage::showCharacter() {
  updateButtons();
  const std::optional<char32_t> code = currentCode();
  m_charPicture->clear();
  if (!code || !m_registry.unifont->isLoaded()) {
    m_charInfo->clear();
    return;
  }
  m_code->setText(label(*code));
  const TUnifont& font = *m_registry.unifont;
  const QString name =
      QStringLiteral("%1 (%2)").arg(codeName(*code), QString::fromUtf8(TUnifont::blockName(*code)));
  if (!font.has(*code)) {
    m_charInfo->setText(QStringLiteral("%1: not in the font").arg(name));
    return;
  }
  const UniGlyph& g = font.glyph(*code);
  const QPixmap shown = zoomedPicture(font.picture(*code), kCharZoom);
  if (!shown.isNull()) m_charPicture->setPixmap(shown);
  m_charInfo->setText(QStringLiteral("%1: %2 x %3, x offset %4, y offset %5")
                          .arg(name)
                          .arg(int{g.width})
                          .arg(int{g.height})
                          .arg(int{g.xOffset})
                          .arg(int{g.yOffset}));
  m_x->setValue(g.xOffset);
  m_y->setValue(g.yOffset);
}

void UnifontPage::showText() {
  m_textPicture->clear();
  m_textNote->clear();
  const TUnifont& font = *m_registry.unifont;
  if (!font.isLoaded() || m_text->text().isEmpty()) return;
  runAction(m_dialogs, [&] {
    const QPixmap shown = zoomedPicture(font.renderText(m_text->text().toStdString()), kTextZoom);
    if (!shown.isNull()) m_textPicture->setPixmap(shown);
  });
  // Characters the font lacks leave a gap: say which.
  QStringList missing;
  for (const char32_t c : m_text->text().toUcs4()) {
    const QString name = codeName(c);
    if (!font.has(c) && !missing.contains(name)) missing << name;
  }
  if (!missing.isEmpty())
    m_textNote->setText(QStringLiteral("Not in the font, left as a gap: %1.")
                            .arg(missing.join(QStringLiteral(", "))));
}

void UnifontPage::updateButtons() {
  const TUnifont& font = *m_registry.unifont;
  const std::optional<char32_t> code = currentCode();
  const bool selected = font.isLoaded() && code.has_value();
  const bool present = selected && font.has(*code);
  m_import->setEnabled(selected);
  m_apply->setEnabled(present);
  m_export->setEnabled(present);
  m_remove->setEnabled(present);
}

void UnifontPage::applyOffsets() {
  const std::optional<char32_t> code = currentCode();
  if (!code) return;
  m_x->interpretText();
  m_y->interpretText();
  m_registry.unifont->setOffsets(*code, m_x->value(), m_y->value());
  showEdited();
}

void UnifontPage::exportCharacter() {
  const std::optional<char32_t> code = currentCode();
  if (!code || !m_registry.unifont->has(*code)) return;
  const UniGlyph& g = m_registry.unifont->glyph(*code);
  // A glyph of no pixels makes no picture file; said before any dialog opens.
  if (g.width == 0 || g.height == 0) {
    m_dialogs.showMessage(
        QStringLiteral("%1 has no pixels: there is nothing to export.").arg(label(*code)));
    return;
  }
  const auto path =
      m_dialogs.saveFile({QStringLiteral("Export character"), kPngFilter, QStringLiteral("png"),
                          label(*code) + QStringLiteral(".png")});
  if (!path) return;
  writeFileAtomic(path->toStdString(), encodeOneBitPng(m_registry.unifont->picture(*code)));
  // The picture holds the pixels only; the offsets are given again on import.
  m_dialogs.showMessage(QStringLiteral("%1 was written to %2 (%3 x %4). Its offsets are not in the "
                                       "picture: x offset %5, y offset %6.")
                            .arg(label(*code), QDir::toNativeSeparators(*path))
                            .arg(int{g.width})
                            .arg(int{g.height})
                            .arg(int{g.xOffset})
                            .arg(int{g.yOffset}));
}

void UnifontPage::importCharacter() {
  const std::optional<char32_t> code = currentCode();
  if (!code) return;
  const auto path = m_dialogs.openFile(
      {QStringLiteral("Import character"), kPngFilter, QStringLiteral("png"), {}});
  if (!path) return;
  m_x->interpretText();
  m_y->interpretText();
  m_registry.unifont->setPicture(*code, readPngFile(path->toStdString()), m_x->value(),
                                 m_y->value());
  showEdited();
}

void UnifontPage::removeCharacter() {
  const std::optional<char32_t> code = currentCode();
  if (!code) return;
  m_registry.unifont->remove(*code);
  showEdited();
}

void UnifontPage::showEdited() {
  m_grid->refresh(m_grid->selected());
  showCharacter();
  showText();
}

}  // namespace quillotide::ui
