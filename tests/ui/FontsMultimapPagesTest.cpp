// The "Fonts", "Unifont" and "Multimap" pages driven as a user drives them: files loaded through
// their groups, characters clicked in the grids, text typed, pictures exported and imported
// through the dialog seam; then what the pages show and what the saved files hold.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include "UiTestSupport.h"
#include "app/FileIO.h"
#include "app/Png.h"
#include "models/Fonts.h"
#include "models/Multimap.h"
#include "models/Unifont.h"
#include "support/TextFiles.h"
#include "ui/main/FontsPage.h"
#include "ui/main/GlyphGrid.h"
#include "ui/main/MultimapPage.h"
#include "ui/main/PictureView.h"
#include "ui/main/UnifontPage.h"

using namespace quillotide;
using quillotide::test::ProgramRun;
using quillotide::test::readBytes;
using quillotide::test::writeBytes;

namespace {

// A font whose character c is (c % 5 + 1) wide and (c % 3 + 2) tall with numbered pixels (every
// fourth one transparent), and 'A' 6 x 20.
Bytes fontBytes(std::uint8_t header, std::uint8_t third) {
  Bytes b{header};
  for (int code = 0x20; code <= 0xFF; ++code) {
    const int w = code == 'A' ? 6 : code % 5 + 1;
    const int h = code == 'A' ? 20 : code % 3 + 2;
    b.push_back(static_cast<std::uint8_t>(w));
    b.push_back(static_cast<std::uint8_t>(h));
    b.push_back(third);
    for (int k = 0; k < w * h; ++k) {
      const auto v = static_cast<std::uint16_t>(k % 4 == 0 ? 0 : (code * 31 + k) & 0x7FFF);
      b.push_back(static_cast<std::uint8_t>(v));
      b.push_back(static_cast<std::uint8_t>(v >> 8));
    }
  }
  return b;
}

// Two fonts and a trailer of 143 bytes, as the client's file ends.
Bytes twoFonts() {
  Bytes file = fontBytes(1, 4);
  const Bytes second = fontBytes(2, 5);
  file.insert(file.end(), second.begin(), second.end());
  for (int k = 0; k < 143; ++k) file.push_back(static_cast<std::uint8_t>(k * 7));
  return file;
}

// The client's layout: the table, four unused bytes, the glyphs in code order.
Bytes unifontBytes() {
  Bytes file(0x40004, 0);
  test::appendUnifontGlyph(file, U'A', 0, 4, 10, 2, {0x0F, 0xC0, 0x19, 0x80});
  test::appendUnifontGlyph(file, U'Z', -1, 4, 3, 1, {0xA0});
  test::appendUnifontGlyph(file, 0xAC00, 1, -1, 9, 1, {0xFF, 0x80});
  return file;
}

// A monochrome map, all off but the pixels listed, in the greedy runs the client writes.
Bytes monochromeMap(int w, int h, std::vector<int> on) {
  Bytes b(8);
  storeU32(b.data(), static_cast<std::uint32_t>(w));
  storeU32(b.data() + 4, static_cast<std::uint32_t>(h));
  const int total = w * h;
  for (int i = 0; i < total;) {
    const bool lit = std::find(on.begin(), on.end(), i) != on.end();
    int n = 1;
    while (n < 127 && i + n < total && (std::find(on.begin(), on.end(), i + n) != on.end()) == lit)
      ++n;
    b.push_back(static_cast<std::uint8_t>((lit ? 0x80 : 0) | n));
    i += n;
  }
  return b;
}

// A 10 x 3 colour map without a head: sea, a strip of land in sea, a desert row.
Bytes colourMap() { return {10, 0x4C, 0x80, 4, 0x04, 0x9A, 6, 0x4C, 0x80, 10, 0x6A, 0xDA}; }

// A click on a grid cell as a person makes it: scrolled into view, then the mouse on its centre.
void clickCell(ui::GlyphGrid* grid, int index) {
  const QRect r = grid->cellRect(index);
  grid->ensureVisible(r.center().x(), r.center().y(), r.width(), r.height());
  QTest::mouseClick(grid->canvas(), Qt::LeftButton, Qt::NoModifier, r.center());
}

// A character typed that keyClicks cannot send (it takes ASCII only).
void typeCharacter(QWidget* field, const QString& text) {
  QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, text, Qt::NoModifier);
}

// A new value typed into a spin box, then Enter.
void typeIntoSpin(QSpinBox* box, const QString& text) {
  QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(box, text);
  QTest::keyClick(box, Qt::Key_Return);
}

QSize pixmapSize(const QLabel* label) { return label->pixmap().size(); }

QSize zoomed(const Bitmap32& picture, int zoom) {
  return {picture.width * zoom, picture.height * zoom};
}

struct PagesRun : ProgramRun {
  void load(const QString& field, const QString& group, const std::string& file) {
    setField(field, path(file));
    click("btnLoad" + group);
  }
  // "Save" answered with the path it proposes (the file loaded), which it checks.
  void saveOnto(const QString& group, const std::string& file) {
    dialogs.answerSave(path(file));
    click("btnSave" + group);
    QCOMPARE(dialogs.asked().back().proposed, path(file));
  }
};

}  // namespace

class FontsMultimapPagesTest : public QObject {
  Q_OBJECT
private slots:
  void fontsShowCharactersDrawTextAndImport();
  void fontsTextRefusesWhatNoFontHas();
  void unifontBrowsesByBlockAndCodePoint();
  void unifontEditsOffsetsExportsImportsAndRemoves();
  void multimapShowsScalesExportsAndImports();
  void multimapOfTheWrongSizeChangesNothing();
};

void FontsMultimapPagesTest::fontsShowCharactersDrawTextAndImport() {
  PagesRun run;
  const Bytes original = twoFonts();
  writeBytes(run.dir.file("fonts.mul"), original);
  auto* page = run.find<ui::FontsPage>("tsFonts");
  QVERIFY(!run.find<QPushButton>("btnFontsImportChar")->isEnabled());
  run.load("eFonts", "Fonts", "fonts.mul");
  run.showPage("tsFonts");
  auto* fonts = run.find<QListWidget>("lbFonts");
  QCOMPARE(fonts->count(), 2);
  QCOMPARE(fonts->item(1)->text(), QStringLiteral("Font 1 (header 2)"));
  QCOMPARE(page->grid()->count(), 224);

  // Nothing changed: the save gives the file back byte for byte, trailer and all.
  run.saveOnto("Fonts", "fonts.mul");
  QVERIFY(readBytes(run.dir.file("fonts.mul")) == original);

  run.clickLine("lbFonts", 1);
  clickCell(page->grid(), 'B' - 0x20);
  auto* info = run.find<QLabel>("lFontsChar");
  QCOMPARE(info->text(), QStringLiteral("0x42 \u201CB\u201D: 2 x 2, third byte 5"));
  // The arrow keys walk the grid, a row being sixteen characters.
  QTest::keyClick(page->grid()->canvas(), Qt::Key_Up);
  QCOMPARE(page->currentCode(), 0x32);
  QTest::keyClick(page->grid()->canvas(), Qt::Key_Right);
  QCOMPARE(info->text(), QStringLiteral("0x33 \u201C3\u201D: 2 x 2, third byte 5"));
  clickCell(page->grid(), 'A' - 0x20);
  QCOMPARE(page->currentCode(), int{'A'});
  QCOMPARE(info->text(), QStringLiteral("0x41 \u201CA\u201D: 6 x 20, third byte 5"));
  const Bitmap32 a = run.registry->fonts->picture(1, 'A');
  QCOMPARE(pixmapSize(page->charPicture()), zoomed(a, ui::FontsPage::kCharZoom));
  // Pixel 1 of the top row is drawn; pixel 0 is transparent and shows the background.
  const QImage shown = page->charPicture()->pixmap().toImage();
  QCOMPARE(shown.pixel(1 * 4 + 2, 2), QRgb(a.at(1, 0)));
  QCOMPARE(shown.pixel(2, 2), ui::FontsPage::kGround.rgb());

  // Typed text is drawn in the chosen font, characters side by side.
  run.typeInto("eFontsText", "AB");
  const Bitmap32 drawn = run.registry->fonts->renderText(1, "AB");
  QCOMPARE(drawn.width, 8);
  QCOMPARE(pixmapSize(page->textPicture()), zoomed(drawn, ui::FontsPage::kTextZoom));

  // The exports: the character as it is, the font as its sheet with the codes.
  run.dialogs.answerSave(run.path("a.png"));
  run.press("btnFontsExportChar");
  QCOMPARE(run.dialogs.asked().back().proposed, QStringLiteral("font1-41.png"));
  QVERIFY(readPngFile(run.dir.file("a.png")) == a);
  run.dialogs.answerSave(run.path("sheet.png"));
  run.press("btnFontsExportFont");
  QVERIFY(readPngFile(run.dir.file("sheet.png")) == run.registry->fonts->sheet(1));

  // A picture imported becomes the character: its size, the third byte kept.
  Bitmap32 picture = test::exactPicture(3, 2, 7);
  picture.at(0, 0) = 0;  // transparent
  writePngFile(run.dir.file("new-a.png"), picture);
  run.dialogs.answerOpen(run.path("new-a.png"));
  run.press("btnFontsImportChar");
  QCOMPARE(info->text(), QStringLiteral("0x41 \u201CA\u201D: 3 x 2, third byte 5"));
  QCOMPARE(pixmapSize(page->charPicture()), QSize(12, 8));
  QCOMPARE(pixmapSize(page->textPicture()), QSize((3 + 2) * 2, 2 * 2));

  run.saveOnto("Fonts", "fonts.mul");
  TFonts saved;
  saved.load(run.dir.file("fonts.mul"));
  QCOMPARE(saved.fontCount(), std::size_t{2});
  QVERIFY(saved.picture(1, 'A') == picture);
  QCOMPARE(int{saved.character(1, 'A').third}, 5);
  QVERIFY(saved.font(0) == run.registry->fonts->font(0));
  QCOMPARE(saved.character(0, 'A').width, std::uint8_t{6});
  QCOMPARE(saved.trailer().size(), std::size_t{143});
  QCOMPARE(run.dialogs.messages().size(), 0);

  // Another file loaded: the page shows it, the character chosen stays chosen.
  writeBytes(run.dir.file("one.mul"), fontBytes(9, 1));
  run.load("eFonts", "Fonts", "one.mul");
  QCOMPARE(fonts->count(), 1);
  QCOMPARE(fonts->item(0)->text(), QStringLiteral("Font 0 (header 9)"));
  QCOMPARE(info->text(), QStringLiteral("0x41 \u201CA\u201D: 6 x 20, third byte 1"));
}

void FontsMultimapPagesTest::fontsTextRefusesWhatNoFontHas() {
  PagesRun run;
  writeBytes(run.dir.file("fonts.mul"), fontBytes(1, 4));
  run.load("eFonts", "Fonts", "fonts.mul");
  run.showPage("tsFonts");
  auto* page = run.find<ui::FontsPage>("tsFonts");
  auto* text = run.find<QLineEdit>("eFontsText");
  auto* note = run.find<QLabel>("lFontsTextNote");
  QTest::keyClicks(text, QStringLiteral("A"));
  typeCharacter(text, QStringLiteral("\u00E9"));
  typeCharacter(text, QStringLiteral("\u20AC"));  // the euro sign is byte 0x80
  QCOMPARE(text->text(), QStringLiteral("Aé\u20AC"));
  QCOMPARE(note->text(), QString());
  QCOMPARE(pixmapSize(page->textPicture()),
           zoomed(run.registry->fonts->renderText(0, "A\xC3\xA9\xE2\x82\xAC"), 2));

  // A character the code page lacks is not taken, and the line says why.
  typeCharacter(text, QStringLiteral("\u0101"));
  QCOMPARE(text->text(), QStringLiteral("Aé\u20AC"));
  QCOMPARE(note->text(), ui::fontTextRefusedMessage(0x101));
  QCOMPARE(run.dialogs.messages().size(), 0);
  QTest::keyClicks(text, QStringLiteral("B"));
  QCOMPARE(text->text(), QStringLiteral("Aé\u20ACB"));
  QCOMPARE(note->text(), QString());

  // An empty character has nothing to export: said before any dialog.
  Bitmap32 none;
  run.registry->fonts->setPicture(0, 'C', none);
  clickCell(page->grid(), 'C' - 0x20);
  QVERIFY(page->charPicture()->pixmap().isNull());
  run.press("btnFontsExportChar");
  QCOMPARE(run.dialogs.messageTexts(),
           QStringList{"Character 0x43 of font 0 has no pixels: there is nothing to export."});
  QCOMPARE(run.dialogs.asked().size(), 0);
}

void FontsMultimapPagesTest::unifontBrowsesByBlockAndCodePoint() {
  PagesRun run;
  writeBytes(run.dir.file("unifont3.mul"), unifontBytes());
  auto* page = run.find<ui::UnifontPage>("tsUnifont");
  run.load("eUnifont", "Unifont", "unifont3.mul");
  run.showPage("tsUnifont");
  auto* info = run.find<QLabel>("lUnifontChar");
  auto* block = run.find<QComboBox>("cbUnifontBlock");
  QCOMPARE(block->currentIndex(), 0);
  QCOMPARE(page->grid()->count(), 0x80);
  // The first glyph of the block is selected.
  QCOMPARE(page->grid()->selected(), 0x41);
  QCOMPARE(info->text(), QStringLiteral("U+0041 \u201CA\u201D (Basic Latin): 10 x 2, x offset 0, "
                                        "y offset 4"));
  QCOMPARE(pixmapSize(page->charPicture()), QSize(60, 12));

  // A block chosen in the box shows its code points, its glyphs drawn.
  int hangul = -1;
  for (int i = 0; i < block->count(); ++i)
    if (block->itemText(i).startsWith(QStringLiteral("Hangul Syllables"))) hangul = i;
  QVERIFY(hangul > 0);
  block->setCurrentIndex(hangul);
  QCOMPARE(page->range(), std::make_pair(char32_t{0xAC00}, char32_t{0xD7AF}));
  QCOMPARE(page->grid()->count(), 0xD7AF - 0xAC00 + 1);
  QCOMPARE(page->grid()->selected(), 0);
  QCOMPARE(pixmapSize(page->charPicture()), QSize(9 * 6, 6));
  QVERIFY(info->text().endsWith(QStringLiteral("9 x 1, x offset 1, y offset -1")));
  clickCell(page->grid(), 1);
  QCOMPARE(info->text(), QStringLiteral("U+AC01 \u201C\uAC01\u201D (Hangul Syllables): not in the "
                                        "font"));
  QVERIFY(page->charPicture()->pixmap().isNull());
  QVERIFY(!run.find<QPushButton>("btnUnifontExport")->isEnabled());
  QVERIFY(run.find<QPushButton>("btnUnifontImport")->isEnabled());

  // A code point typed: its block shown and its cell selected.
  run.typeInto("eUnifontCode", "U+005a");
  QCOMPARE(block->currentIndex(), 0);
  QCOMPARE(page->currentCode(), std::optional<char32_t>(U'Z'));
  QVERIFY(info->text().endsWith(QStringLiteral("3 x 1, x offset -1, y offset 4")));
  auto* code = run.find<QLineEdit>("eUnifontCode");
  code->clear();
  typeCharacter(code, QStringLiteral("\u00E9"));
  QTest::keyClick(code, Qt::Key_Return);
  QCOMPARE(page->currentCode(), std::optional<char32_t>(0xE9));
  QCOMPARE(block->currentIndex(), 1);
  // Outside every block: the page of 256 around it, as one more line of the box.
  run.typeInto("eUnifontCode", "U+0531");
  QCOMPARE(block->currentText(), QStringLiteral("Other (U+0500\u2013U+05FF)"));
  QCOMPARE(page->grid()->count(), 256);
  QCOMPARE(page->grid()->selected(), 0x31);
  QCOMPARE(run.dialogs.messages().size(), 0);
  run.typeInto("eUnifontCode", "U+1F600");
  run.typeInto("eUnifontCode", "AB");
  QCOMPARE(run.dialogs.messageTexts(),
           (QStringList{"A Unicode font holds U+0000 to U+FFFF, not U+1F600.",
                        "\u201CAB\u201D names no code point: type U+0041, 0x41 or the character "
                        "itself."}));
  QCOMPARE(page->currentCode(), std::optional<char32_t>(0x531));

  // A typed line drawn in the font; characters it lacks leave a gap and are named.
  run.typeInto("eUnifontText", "AZ");
  QCOMPARE(pixmapSize(page->textPicture()),
           zoomed(run.registry->unifont->renderText("AZ"), ui::UnifontPage::kTextZoom));
  QCOMPARE(run.find<QLabel>("lUnifontTextNote")->text(), QString());
  auto* text = run.find<QLineEdit>("eUnifontText");
  typeCharacter(text, QStringLiteral("\u00E9"));
  QCOMPARE(run.find<QLabel>("lUnifontTextNote")->text(),
           QStringLiteral("Not in the font, left as a gap: U+00E9 \u201C\u00E9\u201D."));
  QCOMPARE(pixmapSize(page->textPicture()),
           zoomed(run.registry->unifont->renderText("AZ\xC3\xA9"), 2));
  // Past U+FFFF nothing is taken.
  typeCharacter(text, QString::fromUcs4(U"\U0001F600", 1));
  QCOMPARE(text->text(), QStringLiteral("AZ\u00E9"));
  QVERIFY(run.find<QLabel>("lUnifontTextNote")->text().startsWith(QStringLiteral("U+1F600 lies")));
}

void FontsMultimapPagesTest::unifontEditsOffsetsExportsImportsAndRemoves() {
  PagesRun run;
  const Bytes original = unifontBytes();
  writeBytes(run.dir.file("unifont.mul"), original);
  auto* page = run.find<ui::UnifontPage>("tsUnifont");
  run.load("eUnifont", "Unifont", "unifont.mul");
  run.showPage("tsUnifont");
  run.saveOnto("Unifont", "unifont.mul");
  QVERIFY(readBytes(run.dir.file("unifont.mul")) == original);

  auto* info = run.find<QLabel>("lUnifontChar");
  auto* x = run.find<QSpinBox>("seUnifontX");
  auto* y = run.find<QSpinBox>("seUnifontY");
  clickCell(page->grid(), 'Z');
  QCOMPARE(x->value(), -1);
  // Enter in an offset box stores both; so does "Apply".
  typeIntoSpin(x, "-3");
  QCOMPARE(int{run.registry->unifont->glyph(U'Z').xOffset}, -3);
  QVERIFY(info->text().endsWith(QStringLiteral("x offset -3, y offset 4")));
  QTest::keyClick(y, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(y, "7");
  QCOMPARE(int{run.registry->unifont->glyph(U'Z').yOffset}, 4);
  run.press("btnUnifontApply");
  QCOMPARE(int{run.registry->unifont->glyph(U'Z').yOffset}, 7);

  // Exported as a picture of one bit a pixel; the offsets are said, as the picture lacks them.
  run.dialogs.answerSave(run.path("z.png"));
  run.press("btnUnifontExport");
  QCOMPARE(run.dialogs.asked().back().proposed, QStringLiteral("U+005A.png"));
  const Bytes png = readBytes(run.dir.file("z.png"));
  QCOMPARE(int{png.at(24)}, 1);  // the bit depth in the head
  const Bitmap32 z = readPngFile(run.dir.file("z.png"));
  QCOMPARE(z.width, 3);
  QCOMPARE(z.at(0, 0), makePixel(0, 0, 0));
  QCOMPARE(z.at(1, 0), makePixel(255, 255, 255, 0));  // the transparent ground
  QCOMPARE(run.dialogs.messageTexts().size(), 1);
  QVERIFY(run.dialogs.messageTexts().front().endsWith(
      QStringLiteral("Its offsets are not in the picture: x offset -3, y offset 7.")));

  // Imported onto a code point the font lacks, with the offsets in the boxes.
  clickCell(page->grid(), 'B');
  QVERIFY(!run.registry->unifont->has(U'B'));
  typeIntoSpin(x, "2");  // nothing to store the offsets on: said, nothing changes
  QCOMPARE(run.dialogs.messageTexts().last(), QStringLiteral("The font has no glyph for U+0042."));
  QTest::keyClick(y, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(y, "-5");
  Bitmap32 b(4, 3, makePixel(255, 255, 255));
  b.at(0, 0) = b.at(3, 2) = makePixel(0, 0, 0);
  writePngFile(run.dir.file("b.png"), b);
  run.dialogs.answerOpen(run.path("b.png"));
  run.press("btnUnifontImport");
  const UniGlyph& added = run.registry->unifont->glyph(U'B');
  QCOMPARE(int{added.xOffset}, 2);
  QCOMPARE(int{added.yOffset}, -5);
  QVERIFY(added.ink(0, 0) && added.ink(3, 2) && !added.ink(1, 0));
  QVERIFY(info->text().endsWith(QStringLiteral("4 x 3, x offset 2, y offset -5")));
  QVERIFY(run.find<QPushButton>("btnUnifontRemove")->isEnabled());

  clickCell(page->grid(), 'A');
  run.press("btnUnifontRemove");
  QVERIFY(!run.registry->unifont->has(U'A'));
  QVERIFY(info->text().endsWith(QStringLiteral("not in the font")));
  QVERIFY(!run.find<QPushButton>("btnUnifontRemove")->isEnabled());

  run.saveOnto("Unifont", "unifont.mul");
  TUnifont saved;
  saved.load(run.dir.file("unifont.mul"));
  QVERIFY(saved.problems().empty());
  QVERIFY(!saved.has(U'A'));
  QVERIFY(saved.glyph(U'B') == added);
  QCOMPARE(int{saved.glyph(U'Z').xOffset}, -3);
  QCOMPARE(int{saved.glyph(U'Z').yOffset}, 7);
  QCOMPARE(int{saved.glyph(0xAC00).width}, 9);
}

void FontsMultimapPagesTest::multimapShowsScalesExportsAndImports() {
  PagesRun run;
  const Bytes original = monochromeMap(2000, 40, {54, 40 * 2000 - 1});
  writeBytes(run.dir.file("Multimap.rle"), original);
  auto* page = run.find<ui::MultimapPage>("tsMultimap");
  QVERIFY(!run.find<QPushButton>("btnMultimapExport")->isEnabled());
  run.load("eMultimap", "Multimap", "Multimap.rle");
  run.showPage("tsMultimap");
  QCOMPARE(page->info()->text(), QStringLiteral("Monochrome, 2000 x 40, 2 pixels on"));

  // Fitted into the view (narrower than 2000 pixels), then at full size.
  auto* scale = run.find<QComboBox>("cbMultimapScale");
  QCOMPARE(scale->currentIndex(), ui::MultimapPage::kFit);
  QVERIFY(pixmapSize(page->picture()).width() < 2000);
  QVERIFY(pixmapSize(page->picture()).width() <= run.find<QWidget>("sbMultimap")->width());
  scale->setCurrentIndex(ui::MultimapPage::kFullSize);
  QCOMPARE(pixmapSize(page->picture()), QSize(2000, 40));
  QCOMPARE(page->picture()->pixmap().toImage().pixel(54, 0), qRgb(0, 0, 0));
  QCOMPARE(page->picture()->pixmap().toImage().pixel(55, 0), qRgb(255, 255, 255));
  scale->setCurrentIndex(ui::MultimapPage::kFullSize + 2);
  QCOMPARE(pixmapSize(page->picture()), QSize(500, 10));

  run.saveOnto("Multimap", "Multimap.rle");
  QVERIFY(readBytes(run.dir.file("Multimap.rle")) == original);

  run.dialogs.answerSave(run.path("map.png"));
  run.press("btnMultimapExport");
  Bitmap32 picture = readPngFile(run.dir.file("map.png"));
  QVERIFY(picture == run.registry->multimap->picture());
  picture.at(100, 20) = makePixel(30, 20, 10);  // dark: on
  writePngFile(run.dir.file("edited.png"), picture);
  run.dialogs.answerOpen(run.path("edited.png"));
  run.press("btnMultimapImport");
  QCOMPARE(page->info()->text(), QStringLiteral("Monochrome, 2000 x 40, 3 pixels on"));

  run.saveOnto("Multimap", "Multimap.rle");
  QVERIFY(readBytes(run.dir.file("Multimap.rle")) == monochromeMap(2000, 40, {54, 40100, 79999}));
  QCOMPARE(run.dialogs.messages().size(), 0);

  // A colour map without a head: its width found from its runs.
  writeBytes(run.dir.file("colour.rle"), colourMap());
  run.load("eMultimap", "Multimap", "colour.rle");
  QCOMPARE(page->info()->text(), QStringLiteral("Colour, 10 x 3 (width inferred), 3 colours"));
  scale->setCurrentIndex(ui::MultimapPage::kFullSize);
  QCOMPARE(pixmapSize(page->picture()), QSize(10, 3));
}

void FontsMultimapPagesTest::multimapOfTheWrongSizeChangesNothing() {
  PagesRun run;
  const Bytes original = monochromeMap(200, 3, {254});
  writeBytes(run.dir.file("Multimap.rle"), original);
  auto* page = run.find<ui::MultimapPage>("tsMultimap");
  run.load("eMultimap", "Multimap", "Multimap.rle");
  run.showPage("tsMultimap");
  const Bitmap32 before = run.registry->multimap->picture();

  writePngFile(run.dir.file("small.png"), Bitmap32(5, 4, makePixel(0, 0, 0)));
  run.dialogs.answerOpen(run.path("small.png"));
  run.press("btnMultimapImport");
  QCOMPARE(run.dialogs.messages().size(), 1);
  const QString said = run.dialogs.messageTexts().front();
  QVERIFY2(said.contains(QStringLiteral("5 x 4")) && said.contains(QStringLiteral("200 x 3")),
           qPrintable(said));
  QVERIFY(run.registry->multimap->picture() == before);
  QCOMPARE(page->info()->text(), QStringLiteral("Monochrome, 200 x 3, 1 pixel on"));
  QVERIFY(!run.registry->openFiles().unsaved("Multimap"));
  QVERIFY(readBytes(run.dir.file("Multimap.rle")) == original);
  run.saveOnto("Multimap", "Multimap.rle");
  QVERIFY(readBytes(run.dir.file("Multimap.rle")) == original);
}

QTEST_MAIN(FontsMultimapPagesTest)
#include "FontsMultimapPagesTest.moc"
