#include "ui/main/FontsPage.h"

#include <algorithm>
#include <functional>

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <QValidator>

#include "app/Error.h"
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

QString hexCode(int code) { return QString::number(code, 16).toUpper(); }

// "0x41 “A”", "0x20 (space)"; the code alone where the byte shows nothing.
QString characterName(int code) {
  const QString hex = QString::fromStdString(hexLabel(static_cast<std::uint32_t>(code)));
  if (code == 0x20) return hex + QStringLiteral(" (space)");
  const char32_t c = windows1252CodePoint(static_cast<unsigned char>(code));
  const QString shown = QString::fromUcs4(&c, 1);
  if (!shown.at(0).isPrint() || shown.at(0).isSpace()) return hex;
  return QStringLiteral("%1 \u201C%2\u201D").arg(hex, shown);
}

// Whether a character typed into the text line is one a font has: its Windows-1252 byte is
// 0x20 or above.
bool fontHolds(char32_t c) {
  std::string utf8;
  appendUtf8(utf8, c);
  try {
    const std::string b = toWindows1252(utf8);
    return b.size() == 1 && static_cast<unsigned char>(b[0]) >= Font::kFirstCode;
  } catch (const Error&) {
    return false;
  }
}

}  // namespace

QString fontTextRefusedMessage(char32_t c) {
  const QString label = QString::fromStdString(codePointLabel(c));
  if (c < Font::kFirstCode)
    return QStringLiteral(
               "No font has a character for %1 (the codes below 0x20 are none): it is "
               "not taken.")
        .arg(label);
  return QStringLiteral(
             "\u201C%1\u201D (%2) is not in Windows-1252, the code page of the fonts: "
             "it is not taken.")
      .arg(QString::fromUcs4(&c, 1), label);
}

FontsPage::FontsPage(TMainForm& main, QWidget* parent)
    : QWidget(parent),
      m_main(main),
      m_registry(main.registry()),
      m_dialogs(main.dialogs()),
      m_files(main.settingsPage()->createGroupBox(QStringLiteral("Fonts"), this)),
      m_fontList(new QListWidget(this)),
      m_grid(new GlyphGrid(this)),
      m_charPicture(new QLabel),
      m_charInfo(new QLabel(this)),
      m_exportChar(new QPushButton(QStringLiteral("Export character..."), this)),
      m_exportFont(new QPushButton(QStringLiteral("Export font..."), this)),
      m_importChar(new QPushButton(QStringLiteral("Import character..."), this)),
      m_text(new QLineEdit(this)),
      m_textNote(new QLabel(this)),
      m_textPicture(new QLabel) {
  setObjectName(QStringLiteral("FontsPage"));
  m_fontList->setObjectName(QStringLiteral("lbFonts"));
  m_grid->setObjectName(QStringLiteral("gFontsChars"));
  m_grid->setGround(kGround);
  m_charPicture->setObjectName(QStringLiteral("iFontsChar"));
  m_charInfo->setObjectName(QStringLiteral("lFontsChar"));
  m_exportChar->setObjectName(QStringLiteral("btnFontsExportChar"));
  m_exportFont->setObjectName(QStringLiteral("btnFontsExportFont"));
  m_importChar->setObjectName(QStringLiteral("btnFontsImportChar"));
  m_text->setObjectName(QStringLiteral("eFontsText"));
  m_textNote->setObjectName(QStringLiteral("lFontsTextNote"));
  m_textPicture->setObjectName(QStringLiteral("iFontsText"));
  m_fontList->setFixedWidth(140);
  m_charInfo->setWordWrap(true);
  m_textNote->setWordWrap(true);
  m_text->setPlaceholderText(QStringLiteral("Text to draw in the font"));
  m_text->setValidator(new CharacterValidator(
      &fontHolds, [this](char32_t c) { m_textNote->setText(fontTextRefusedMessage(c)); },
      m_text));

  connect(m_fontList, &QListWidget::currentRowChanged, this, [this] {
    const int keep = m_grid->selected();
    showFont();
    m_grid->select(keep);
    showText();
  });
  connect(m_grid, &GlyphGrid::cellSelected, this, [this] { showCharacter(); });
  connect(m_text, &QLineEdit::textChanged, this, [this] {
    m_textNote->clear();
    showText();
  });
  connect(m_exportChar, &QPushButton::clicked, this,
          [this] { runAction(m_dialogs, [&] { exportCharacter(); }); });
  connect(m_exportFont, &QPushButton::clicked, this,
          [this] { runAction(m_dialogs, [&] { exportFont(); }); });
  connect(m_importChar, &QPushButton::clicked, this,
          [this] { runAction(m_dialogs, [&] { importCharacter(); }); });

  auto* fontColumn = new QVBoxLayout;
  fontColumn->addWidget(new QLabel(QStringLiteral("Fonts:"), this));
  fontColumn->addWidget(m_fontList, 1);
  auto* charColumn = new QVBoxLayout;
  QScrollArea* charArea = pictureArea(m_charPicture, this);
  charArea->setMinimumSize(180, 180);
  charColumn->addWidget(charArea, 1);
  charColumn->addWidget(m_charInfo);
  charColumn->addWidget(m_exportChar);
  charColumn->addWidget(m_importChar);
  charColumn->addWidget(m_exportFont);
  auto* body = new QHBoxLayout;
  body->addLayout(fontColumn);
  body->addWidget(m_grid);
  body->addLayout(charColumn, 1);
  auto* textRow = new QHBoxLayout;
  textRow->addWidget(new QLabel(QStringLiteral("Text:"), this));
  textRow->addWidget(m_text, 1);
  QScrollArea* textArea = pictureArea(m_textPicture, this);
  textArea->setFixedHeight(110);
  auto* layout = new QVBoxLayout(this);
  if (m_files) layout->addWidget(m_files);
  layout->addLayout(body, 1);
  layout->addLayout(textRow);
  layout->addWidget(m_textNote);
  layout->addWidget(textArea);

  // Whatever opens, reads again or closes the fonts (a load, a client folder, a tool), the page
  // shows what the model now holds; a fresh model in between shows nothing.
  m_ownerToken = m_registry.openFiles().subscribe([this](const std::string& id, FileEvent event) {
    if (id == "Fonts" && event != FileEvent::Saved) rebuild();
  });
  rebuild();
}

FontsPage::~FontsPage() { m_registry.openFiles().unsubscribe(m_ownerToken); }

int FontsPage::currentFont() const {
  const TFonts& fonts = *m_registry.fonts;
  const int row = m_fontList->currentRow();
  if (!fonts.isLoaded() || row < 0 || static_cast<std::size_t>(row) >= fonts.fontCount()) return -1;
  return row;
}

int FontsPage::currentCode() const {
  return currentFont() >= 0 && m_grid->selected() >= 0 ? m_grid->selected() + Font::kFirstCode : -1;
}

void FontsPage::rebuild() {
  const int keepFont = std::max(0, m_fontList->currentRow());
  const int keepChar = m_grid->selected();
  {
    const QSignalBlocker quiet(m_fontList);
    m_fontList->clear();
    const TFonts& fonts = *m_registry.fonts;
    if (fonts.isLoaded())
      for (std::size_t i = 0; i < fonts.fontCount(); ++i)
        m_fontList->addItem(
            QStringLiteral("Font %1 (header %2)").arg(i).arg(int{fonts.font(i).header}));
    if (m_fontList->count() > 0)
      m_fontList->setCurrentRow(std::min(keepFont, m_fontList->count() - 1));
  }
  showFont();
  if (m_grid->count() > 0) m_grid->select(keepChar >= 0 ? keepChar : 'A' - Font::kFirstCode);
  showText();
}

void FontsPage::showFont() {
  const int font = currentFont();
  if (font < 0) {
    m_grid->setCells(0, 16, {});
    showCharacter();
    return;
  }
  int largest = 0;
  for (const FontChar& c : m_registry.fonts->font(static_cast<std::size_t>(font)).chars)
    largest = std::max({largest, int{c.width}, int{c.height}});
  // Cells as large as the font's largest character, within reason: larger ones are scaled down.
  const int side = std::clamp(largest, 12, 32);
  m_grid->setCells(Font::kChars, side, [this, font](int index) {
    GlyphGrid::Cell cell;
    const TFonts& fonts = *m_registry.fonts;
    // The model may have been replaced since the grid was filled; the next rebuild follows.
    if (!fonts.isLoaded() || static_cast<std::size_t>(font) >= fonts.fontCount()) return cell;
    const auto f = static_cast<std::size_t>(font);
    const int code = index + Font::kFirstCode;
    const FontChar& c = fonts.character(f, code);
    cell.picture = toQImage(fonts.picture(f, code));
    cell.caption = hexCode(code);
    cell.toolTip =
        QStringLiteral("%1: %2 x %3").arg(characterName(code)).arg(int{c.width}).arg(int{c.height});
    return cell;
  });
  showCharacter();
}

void FontsPage::showCharacter() {
  const int font = currentFont();
  const int code = currentCode();
  updateButtons();
  if (code < 0) {
    m_charPicture->clear();
    m_charInfo->clear();
    return;
  }
  const TFonts& fonts = *m_registry.fonts;
  const FontChar& c = fonts.character(static_cast<std::size_t>(font), code);
  const QPixmap shown =
      zoomedPicture(fonts.picture(static_cast<std::size_t>(font), code), kCharZoom, kGround);
  if (shown.isNull())
    m_charPicture->clear();
  else
    m_charPicture->setPixmap(shown);
  m_charInfo->setText(QStringLiteral("%1: %2 x %3, third byte %4")
                          .arg(characterName(code))
                          .arg(int{c.width})
                          .arg(int{c.height})
                          .arg(int{c.third}));
}

void FontsPage::showText() {
  const int font = currentFont();
  m_textPicture->clear();
  if (font < 0 || m_text->text().isEmpty()) return;
  runAction(m_dialogs, [&] {
    const Bitmap32 drawn =
        m_registry.fonts->renderText(static_cast<std::size_t>(font), m_text->text().toStdString());
    const QPixmap shown = zoomedPicture(drawn, kTextZoom, kGround);
    if (!shown.isNull()) m_textPicture->setPixmap(shown);
  });
}

void FontsPage::updateButtons() {
  const bool font = currentFont() >= 0;
  const bool character = currentCode() >= 0;
  m_exportFont->setEnabled(font);
  m_exportChar->setEnabled(character);
  m_importChar->setEnabled(character);
}

void FontsPage::exportCharacter() {
  const int font = currentFont();
  const int code = currentCode();
  if (code < 0) return;
  const Bitmap32 picture = m_registry.fonts->picture(static_cast<std::size_t>(font), code);
  // A character of no pixels makes no picture file; said before any dialog opens.
  if (picture.empty()) {
    m_dialogs.showMessage(
        QStringLiteral("Character %1 of font %2 has no pixels: there is nothing "
                       "to export.")
            .arg(QString::fromStdString(hexLabel(static_cast<std::uint32_t>(code))))
            .arg(font));
    return;
  }
  const auto path =
      m_dialogs.saveFile({QStringLiteral("Export character"), kPngFilter, QStringLiteral("png"),
                          QStringLiteral("font%1-%2.png").arg(font).arg(hexCode(code))});
  if (path) writePngFile(path->toStdString(), picture);
}

void FontsPage::exportFont() {
  const int font = currentFont();
  if (font < 0) return;
  const auto path =
      m_dialogs.saveFile({QStringLiteral("Export font"), kPngFilter, QStringLiteral("png"),
                          QStringLiteral("font%1.png").arg(font)});
  if (path)
    writePngFile(path->toStdString(), m_registry.fonts->sheet(static_cast<std::size_t>(font)));
}

void FontsPage::importCharacter() {
  const int font = currentFont();
  const int code = currentCode();
  if (code < 0) return;
  const auto path = m_dialogs.openFile(
      {QStringLiteral("Import character"), kPngFilter, QStringLiteral("png"), {}});
  if (!path) return;
  m_registry.fonts->setPicture(static_cast<std::size_t>(font), code,
                               readPngFile(path->toStdString()));
  m_grid->refresh(m_grid->selected());
  showCharacter();
  showText();
}

}  // namespace quillotide::ui
