// The two tile data pages driven through their lists, fields, flag boxes, buttons and the dialog
// seam; the records are checked in the model and in the saved file read back.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QTabWidget>
#include <QTest>

#include "UiTestSupport.h"
#include "app/FileIO.h"
#include "app/Text.h"
#include "sample/Sample.h"
#include "ui/main/SlotListView.h"
#include "ui/main/TiledataLandPage.h"
#include "ui/main/TiledataStaticPage.h"

using quillotide::LandTileRecord;
using quillotide::StaticTileRecord;
using quillotide::test::ProgramRun;
using quillotide::ui::ScriptedDialogs;
using quillotide::ui::TiledataLandPage;
using quillotide::ui::TiledataStaticPage;
namespace TileFlags = quillotide::TileFlags;

namespace {

struct TileRun : ProgramRun {
  // Loads the sample tile data (and art, for the pictures) through the Settings page.
  void loadSample() {
    quillotide::sample::writeTiledata(dir.path());
    quillotide::sample::writeArt(dir.path());
    loadTiledata(dir.file("tiledata.mul"));
    setField("eArtIdx", path("artidx.mul"));
    setField("eArtMul", path("art.mul"));
    click("btnLoadArt");
  }
  void loadTiledata(const std::string& file) {
    setField("eTiledata", QString::fromStdString(file));
    click("btnLoadTiledata");
  }
  TiledataLandPage* land() {
    return qobject_cast<TiledataLandPage*>(mainForm->page("Tiledata (M)"));
  }
  TiledataStaticPage* statics() {
    return qobject_cast<TiledataStaticPage*>(mainForm->page("Tiledata (S)"));
  }
  QCheckBox* box(const QString& name) { return find<QCheckBox>(name); }
  QString text(const QString& field) { return find<QLineEdit>(field)->text(); }
  // Shows the main window at the given size with the page in front.
  void showPage(QWidget* page, QSize size = QSize(1000, 720)) {
    mainForm->resize(size);
    mainForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(mainForm.get()));
    mainForm->pages()->setCurrentWidget(page);
  }
  // A mouse click on a list line, as the user does it.
  void clickLine(quillotide::ui::SlotListView* list, int line) {
    QListView* view = list->listView();
    const QModelIndex index = view->model()->index(line, 0);
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
  }
  // Replaces a field's text by typing, any character (QTest::keyClicks knows Latin-1 only),
  // then presses Enter.
  void typeInto(const QString& name, const QString& text) {
    auto* field = find<QLineEdit>(name);
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Backspace);
    for (QChar c : text)
      QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
    QTest::keyClick(field, Qt::Key_Return);
  }
  void doubleClick(quillotide::ui::SlotListView* list, int line) {
    QListView* view = list->listView();
    emit view->doubleClicked(view->model()->index(line, 0));
  }
};

}  // namespace

class TiledataPagesTest : public QObject {
  Q_OBJECT
 private slots:
  void landBoxesKeepEveryOtherFlagBit();
  void landTextStopsAtTheFirstBadLine();
  void staticEditSavedAndReloaded();
  void staticPictureGumpAndAnimLabels();
  void staticButtonsTextFillAndDelete();
  void newerLayoutShowsTheUpperFlags();
  void actionsBeforeLoadAskForTiledata();
  void typedNamesAreStoredInTheCodePage();
  void layoutIsShownAndChosenOnThePages();
  void staticPageShowsEveryFlagBoxWithoutScrolling();
  void typedValuesTheRecordCannotHoldAreRefused();
};

void TiledataPagesTest::landBoxesKeepEveryOtherFlagBit() {
  TileRun run;
  run.loadSample();
  TiledataLandPage* page = run.land();
  QCOMPARE(page->list()->lineCount(), 0x4000);
  QCOMPARE(page->list()->model()->label(7), std::string("0x7 water"));

  // Bits no box stands for, and one that a box does.
  auto& tiles = *run.registry->tiledata;
  LandTileRecord record = *tiles.readLand(7);
  record.flags |= 0x101 | 0x80000000;
  tiles.writeLand(7, record);
  page->list()->selectLine(7);
  QCOMPARE(run.text("eLandName"), QStringLiteral("water"));
  QCOMPARE(run.text("eLandTexId"), QStringLiteral("0x7"));
  QVERIFY(run.box("cbLandLiquid")->isChecked());
  QVERIFY(run.box("cbLandImpassable")->isChecked());
  QVERIFY(!run.box("cbLandWall")->isChecked());
  // Filling the fields wrote nothing.
  QCOMPARE(tiles.readLand(7)->flags, record.flags);

  run.setField("eLandName", "deep water");
  run.box("cbLandWall")->setChecked(true);
  run.box("cbLandImpassable")->setChecked(false);
  const std::uint64_t expected = TileFlags::Wet | TileFlags::Wall | 0x101 | 0x80000000;
  QCOMPARE(tiles.landFlags(7), expected);
  QCOMPARE(tiles.landName(7), std::string("deep water"));
  QCOMPARE(page->list()->model()->label(7), std::string("0x7 deep water"));

  // TexID takes the integer rule; text that does not parse is not stored.
  run.setField("eLandTexId", "$1A");
  QCOMPARE(tiles.landTextureId(7), std::uint16_t{0x1A});
  run.setField("eLandTexId", "grass");
  QCOMPARE(tiles.landTextureId(7), std::uint16_t{0x1A});
  QCOMPARE(tiles.landFlags(7), expected);

  // The picture comes from art.
  QVERIFY(!run.find<QLabel>("iLand")->pixmap().isNull());

  run.doubleClick(page->list(), 7);
  QCOMPARE(run.dialogs.messageTexts().last(),
           QStringLiteral("Flag: ") + QString::number(static_cast<std::int32_t>(expected)));

  // The search finds names.
  run.setField("eTiledataMSearch", "lava");
  run.click("btnTiledataMSearch");
  QCOMPARE(page->currentId(), std::optional<std::int32_t>(0xE));
  QVERIFY(run.box("cbLandDamaging")->isChecked());
}

void TiledataPagesTest::landTextStopsAtTheFirstBadLine() {
  TileRun run;
  run.loadSample();
  run.dialogs.answerSave(run.path("TileMap.txt"));
  run.click("btnSaveLandText");
  QCOMPARE(run.dialogs.asked().last().proposed, QStringLiteral("TileMap.txt"));
  QCOMPARE(run.dialogs.asked().last().filter, QStringLiteral("*.txt|*.txt"));
  const std::vector<std::string> lines = quillotide::readTextLines(run.dir.file("TileMap.txt"));
  QCOMPARE(lines.size(), std::size_t{0x4001});

  // The renamed tile before the bad line is taken; the one after it is not.
  std::vector<std::string> edited = {lines[0], lines[2], "0xZZ\tbad", lines[4]};
  edited[1].replace(edited[1].find("grass"), 5, "meadow");
  edited[3].replace(edited[3].find("dirt"), 4, "mud");
  quillotide::writeTextLines(run.dir.file("edited.txt"), edited);
  run.land()->list()->selectLine(1);
  run.dialogs.answerOpen(run.path("edited.txt"));
  run.click("btnLoadLandText");
  QCOMPARE(run.dialogs.messages().size(), 1);
  QCOMPARE(run.dialogs.messages()[0].icon, quillotide::ui::MessageIcon::Error);
  QCOMPARE(run.land()->list()->model()->label(1), std::string("0x1 meadow"));
  QCOMPARE(run.land()->list()->model()->label(3), std::string("0x3 dirt"));
  QVERIFY(!run.land()->currentId());

  // A file that is not there changes nothing.
  run.dialogs.answerOpen(run.path("missing.txt"));
  run.click("btnLoadLandText");
  QCOMPARE(run.dialogs.messages().size(), 1);
}

void TiledataPagesTest::staticEditSavedAndReloaded() {
  TileRun run;
  run.loadSample();
  TiledataStaticPage* page = run.statics();
  QCOMPARE(page->list()->lineCount(), 0x4000);
  page->list()->selectLine(0x10);
  QCOMPARE(run.text("eStaticName"), QStringLiteral("torch"));
  QVERIFY(run.box("cbStaticFlag23")->isChecked());  // Lightsource
  QCOMPARE(run.box("cbStaticFlag23")->text(), QStringLiteral("Lightsource"));
  QCOMPARE(run.box("cbStaticFlag13")->text(), QStringLiteral("No Shoot"));
  QVERIFY(run.box("cbStaticFlag40")->isHidden());

  run.setField("eStaticName", "brass lantern");
  run.box("cbStaticFlag22")->setChecked(false);  // Wearable
  run.box("cbStaticFlag29")->setChecked(true);   // Door
  run.setField("eStaticWeight", "255");
  run.setField("eStaticHeight", "0x0C");
  run.setField("eStaticUnknown1", "$FFFF");
  run.setField("eStaticHue", "0");
  QCOMPARE(page->list()->model()->label(0x10), std::string("0x10 brass lantern"));

  // Save through the Settings page and load the saved file.
  const QString saved = run.path("saved-tiledata.mul");
  run.dialogs.answerSave(saved);
  run.click("btnSaveTiledata");
  run.loadTiledata(saved.toStdString());
  // A load leaves no field of the old record behind to edit.
  QVERIFY(run.text("eStaticName").isEmpty());
  QVERIFY(!page->currentId());
  page->list()->selectLine(0x10);
  QCOMPARE(run.text("eStaticName"), QStringLiteral("brass lantern"));
  QCOMPARE(run.text("eStaticWeight"), QStringLiteral("255"));
  QCOMPARE(run.text("eStaticHeight"), QStringLiteral("12"));
  QCOMPARE(run.text("eStaticUnknown1"), QStringLiteral("65535"));
  QCOMPARE(run.text("eStaticHue"), QStringLiteral("0"));
  QVERIFY(!run.box("cbStaticFlag22")->isChecked());
  QVERIFY(run.box("cbStaticFlag29")->isChecked());
  QCOMPARE(run.registry->tiledata->staticFlags(0x10),
           TileFlags::LightSource | TileFlags::PrefixA | TileFlags::Door);

  // A name of 20 characters survives an edit of another field.
  run.setField("eStaticName", "abcdefghijklmnopqrst");
  run.setField("eStaticQuality", "3");
  QCOMPARE(run.registry->tiledata->staticName(0x10), std::string("abcdefghijklmnopqrst"));
  QCOMPARE(run.registry->tiledata->staticQuality(0x10), std::uint8_t{3});
  QVERIFY(run.dialogs.messages().isEmpty());
}

void TiledataPagesTest::staticPictureGumpAndAnimLabels() {
  TileRun run;
  run.loadSample();
  TiledataStaticPage* page = run.statics();
  page->list()->selectLine(0x12);  // the sword, AnimID 0x41
  QCOMPARE(run.text("eStaticAnimId"), QStringLiteral("0x41"));
  QCOMPARE(run.find<QLabel>("lStaticGumpId")->text(), QStringLiteral("0xC391"));
  // Without the animation file there is nothing to say.
  QVERIFY(run.find<QLabel>("lStaticAnimExists")->text().isEmpty());
  const QImage picture = run.find<QLabel>("iStatic")->pixmap().toImage();
  QCOMPARE(picture.size(), QSize(150, 150));
  QVERIFY(picture.pixel(75, 75) != picture.pixel(0, 0));

  quillotide::test::writeBytes(run.dir.file("anim.idx"), quillotide::Bytes(100 * 110 * 12, 0xFF));
  quillotide::test::writeBytes(run.dir.file("anim.mul"), {});
  run.setField("eAnimIdx", run.path("anim.idx"));
  run.setField("eAnimMul", run.path("anim.mul"));
  run.click("btnLoadAnim");
  page->list()->selectLine(0x12);
  QCOMPARE(run.find<QLabel>("lStaticAnimExists")->text(), QStringLiteral("Anim does not exist"));
  run.setField("eStaticAnimId", "0");
  QVERIFY(run.find<QLabel>("lStaticAnimExists")->text().isEmpty());
  QCOMPARE(run.find<QLabel>("lStaticGumpId")->text(), QStringLiteral("0xC350"));
}

void TiledataPagesTest::staticButtonsTextFillAndDelete() {
  TileRun run;
  run.loadSample();
  TiledataStaticPage* page = run.statics();
  auto& tiles = *run.registry->tiledata;

  run.dialogs.answerSave(run.path("StaticTiles.txt"));
  run.click("btnSaveStaticText");
  const auto& asked = run.dialogs.asked().last();
  QCOMPARE(asked.filter, QStringLiteral("*.txt|*.txt"));
  QCOMPARE(asked.defaultExtension, QStringLiteral("txt"));
  QCOMPARE(asked.proposed, QStringLiteral("StaticTiles"));
  std::vector<std::string> lines = quillotide::readTextLines(run.dir.file("StaticTiles.txt"));
  QCOMPARE(lines.size(), std::size_t{0x4001});

  // One renamed line, one cut short.
  std::vector<std::string> edited = {lines[0], lines[3], lines[4]};
  edited[1].replace(edited[1].find("pine tree"), 9, "fir tree");
  edited[2] = "0x3\tbush\t1\t2";
  quillotide::writeTextLines(run.dir.file("edited.txt"), edited);
  run.dialogs.answerOpen(run.path("edited.txt"));
  run.click("btnLoadStaticText");
  QCOMPARE(run.dialogs.messageTexts(),
           QStringList{"Bug in Zeile: 3\n4 fields; a static line needs 44."});
  QCOMPARE(tiles.staticName(2), std::string("fir tree"));
  QCOMPARE(page->list()->model()->label(2), std::string("0x2 fir tree"));

  run.click("btnFillStatic");
  QCOMPARE(tiles.staticCount(), 0x8000u);
  QCOMPARE(page->list()->lineCount(), 0x8000);

  page->list()->selectLine(0x0D);
  run.click("btnDeleteStatic");
  QCOMPARE(*tiles.readStatic(0x0D), StaticTileRecord{});
  QVERIFY(run.text("eStaticName").isEmpty());
  QCOMPARE(run.text("eStaticHeight"), QStringLiteral("0"));

  run.doubleClick(page->list(), 0x0B);  // stairs
  QCOMPARE(run.dialogs.messageTexts().last(),
           QStringLiteral("Flag: %1")
               .arg(static_cast<qulonglong>(TileFlags::Surface | TileFlags::Bridge |
                                            TileFlags::StairBack)));
}

void TiledataPagesTest::newerLayoutShowsTheUpperFlags() {
  TileRun run;
  // The newer layout: land groups of 4 + 32 x 30 bytes, then two static groups of 4 + 32 x 41.
  quillotide::test::writeBytes(run.dir.file("wide.mul"), quillotide::Bytes(493568 + 2 * 1316, 0));
  run.loadTiledata(run.dir.file("wide.mul"));
  TiledataStaticPage* page = run.statics();
  QCOMPARE(page->list()->lineCount(), 64);
  QVERIFY(!run.box("cbStaticFlag40")->isHidden());
  QCOMPARE(run.box("cbStaticFlag40")->text(), QStringLiteral("Flag40"));
  page->list()->selectLine(5);
  run.box("cbStaticFlag40")->setChecked(true);
  run.box("cbStaticFlag0")->setChecked(true);
  QCOMPARE(run.registry->tiledata->staticFlags(5), (std::uint64_t{1} << 40) | 1u);

  // The land boxes keep the upper bits too.
  LandTileRecord record;
  record.flags = std::uint64_t{1} << 50;
  run.registry->tiledata->writeLand(9, record);
  run.land()->list()->selectLine(9);
  run.box("cbLandUnknown3")->setChecked(true);
  QCOMPARE(run.registry->tiledata->landFlags(9), (std::uint64_t{1} << 50) | TileFlags::Unknown3);
  QVERIFY(run.dialogs.messages().isEmpty());
}

void TiledataPagesTest::actionsBeforeLoadAskForTiledata() {
  TileRun run;
  for (const char* button : {"btnSaveLandText", "btnLoadLandText", "btnSaveStaticText",
                             "btnLoadStaticText", "btnFillStatic"})
    run.click(button);
  QCOMPARE(run.dialogs.messageTexts(), QStringList(5, "Load Tiledata first."));
  run.click("btnDeleteStatic");
  QCOMPARE(run.dialogs.messages().size(), 5);
}

void TiledataPagesTest::typedNamesAreStoredInTheCodePage() {
  TileRun run;
  run.loadSample();
  TiledataStaticPage* page = run.statics();
  run.showPage(page);
  run.clickLine(page->list(), 0x10);
  QCOMPARE(page->currentId(), std::optional<std::int32_t>(0x10));
  run.typeInto("eStaticName", QStringLiteral("Caf\u00E9 \u20AC"));
  auto& tiles = *run.registry->tiledata;
  // One byte per character: é is 0xE9 and € is 0x80 in the game's code page.
  QCOMPARE(quillotide::tileNameBytes(tiles.readStatic(0x10)->name), std::string("Caf\xE9 \x80"));
  QCOMPARE(page->list()->model()->label(0x10), std::string("0x10 Caf\xC3\xA9 \xE2\x82\xAC"));
  QVERIFY(run.dialogs.messages().isEmpty());

  // The land page stores its names the same way.
  run.showPage(run.land());
  run.clickLine(run.land()->list(), 7);
  run.typeInto("eLandName", QStringLiteral("\u00E9tang"));
  QCOMPARE(quillotide::tileNameBytes(tiles.readLand(7)->name), std::string("\xE9tang"));
  QCOMPARE(run.text("eLandName"), QStringLiteral("\u00E9tang"));
}

void TiledataPagesTest::layoutIsShownAndChosenOnThePages() {
  TileRun run;
  run.loadSample();
  const QString older = QStringLiteral("Layout: older (32-bit flags), told by the records' names");
  QCOMPARE(run.find<QLabel>("lTiledataSLayout")->text(), older);
  QCOMPARE(run.find<QLabel>("lTiledataMLayout")->text(), older);
  TiledataStaticPage* page = run.statics();
  run.showPage(page);
  QCOMPARE(page->list()->lineCount(), 0x4000);

  // The user names the newer layout: the file is read again in it, on both pages.
  auto* choice = run.find<QComboBox>("cbTiledataSLayout");
  choice->setFocus();
  QTest::keyClick(choice, Qt::Key_Down);
  QTest::keyClick(choice, Qt::Key_Down);
  QCOMPARE(run.registry->config->getString("TiledataLayout"), std::string("newer"));
  const QString newer = QStringLiteral("Layout: newer (64-bit flags), as set");
  QCOMPARE(run.find<QLabel>("lTiledataSLayout")->text(), newer);
  QCOMPARE(run.find<QLabel>("lTiledataMLayout")->text(), newer);
  QCOMPARE(run.find<QComboBox>("cbTiledataMLayout")->currentIndex(), 2);
  QCOMPARE(page->list()->lineCount(), (1036288 - 493568) / 1316 * 32);
  QVERIFY(!run.box("cbStaticFlag40")->isHidden());

  // Every later load takes the setting.
  run.click("btnLoadTiledata");
  QCOMPARE(run.registry->tiledata->layout(), quillotide::TiledataLayout::Wide);
  QCOMPARE(run.find<QLabel>("lTiledataSLayout")->text(), newer);

  // Back to telling it from the file.
  QTest::keyClick(choice, Qt::Key_Up);
  QTest::keyClick(choice, Qt::Key_Up);
  QCOMPARE(run.registry->config->getString("TiledataLayout"), std::string());
  QCOMPARE(run.find<QLabel>("lTiledataSLayout")->text(), older);
  QCOMPARE(page->list()->lineCount(), 0x4000);
  QVERIFY(run.dialogs.messages().isEmpty());
}

void TiledataPagesTest::staticPageShowsEveryFlagBoxWithoutScrolling() {
  TileRun run;
  // The newer layout shows all 64 boxes.
  quillotide::test::writeBytes(run.dir.file("wide.mul"), quillotide::Bytes(493568 + 2 * 1316, 0));
  run.loadTiledata(run.dir.file("wide.mul"));
  TiledataStaticPage* page = run.statics();
  run.showPage(page);
  QCOMPARE(run.mainForm->size(), QSize(1000, 720));
  const QRect pageRect = page->rect();
  for (int bit = 0; bit < 64; ++bit) {
    QCheckBox* box = run.box(QStringLiteral("cbStaticFlag%1").arg(bit));
    QVERIFY(box->isVisible());
    const QRect inPage(box->mapTo(page, QPoint(0, 0)), box->size());
    QVERIFY2(pageRect.contains(inPage), qPrintable(box->text()));
    // Nothing covers or clips it.
    QCOMPARE(box->visibleRegion().boundingRect(), box->rect());
    QVERIFY(box->width() >= box->sizeHint().width());
  }
  // The numeric fields are as wide as "0xFFFF" needs, not stretched; the name holds 20 characters.
  for (const char* name :
       {"eStaticAnimId", "eStaticHeight", "eStaticHue", "eStaticQuality", "eStaticQuantity",
        "eStaticWeight", "eStaticUnknown1", "eStaticUnknown5"}) {
    auto* field = run.find<QLineEdit>(name);
    const QFontMetrics metrics(field->font());
    QVERIFY2(field->width() >= metrics.horizontalAdvance(QStringLiteral("0xFFFF")), name);
    QVERIFY2(field->width() <= metrics.horizontalAdvance(QString(12, QLatin1Char('0'))), name);
  }
  auto* nameField = run.find<QLineEdit>("eStaticName");
  const QFontMetrics metrics(nameField->font());
  QVERIFY(nameField->width() >= metrics.horizontalAdvance(QStringLiteral("abcdefghijklmnopqrst")));
  QVERIFY(nameField->width() <= 2 * metrics.horizontalAdvance(QString(20, QLatin1Char('0'))));
}

void TiledataPagesTest::typedValuesTheRecordCannotHoldAreRefused() {
  TileRun run;
  run.loadSample();
  auto& tiles = *run.registry->tiledata;
  TiledataStaticPage* page = run.statics();
  run.showPage(page);
  run.clickLine(page->list(), 0x10);
  const StaticTileRecord before = *tiles.readStatic(0x10);

  // "300" does not fit a byte: refused on Enter, and neither "3" nor "30", written on the way,
  // stays: the record and the field hold what they held before the typing.
  run.typeInto("eStaticWeight", "300");
  QCOMPARE(run.dialogs.messageTexts(),
           QStringList{"Weight: '300' does not fit the field (0 to 255)."});
  QCOMPARE(run.dialogs.messages().last().icon, quillotide::ui::MessageIcon::Error);
  QCOMPARE(tiles.staticWeight(0x10), before.weight);
  QCOMPARE(run.text("eStaticWeight"), QString::number(before.weight));
  run.typeInto("eStaticQuality", "999");
  QCOMPARE(tiles.staticQuality(0x10), before.quality);
  QCOMPARE(run.text("eStaticQuality"), QString::number(before.quality));
  // A value that fits is kept as typed.
  run.typeInto("eStaticHeight", "42");
  QCOMPARE(tiles.staticHeight(0x10), std::uint8_t{42});

  // Text that does not parse is refused the same way, naming its field; nothing is written.
  run.typeInto("eStaticHue", "abc");
  QCOMPARE(run.dialogs.messageTexts().last(),
           QStringLiteral("Hue: 'abc' is not a valid integer value"));
  QCOMPARE(tiles.staticHue(0x10), before.hue);
  QCOMPARE(run.text("eStaticHue"), QString::number(before.hue));
  run.typeInto("eStaticAnimId", "-1");
  QCOMPARE(run.dialogs.messageTexts().last(),
           QStringLiteral("AnimID: '-1' does not fit the field (0 to 65535)."));
  QCOMPARE(tiles.staticAnimId(0x10), before.animId);

  // A name with a character the code page lacks: one message naming it, and the name is the
  // one the record had, not the part typed before that character.
  const auto shown = run.dialogs.messages().size();
  run.typeInto("eStaticName", QStringLiteral("Mon\u0101rch"));
  QCOMPARE(run.dialogs.messages().size(), shown + 1);
  QVERIFY2(run.dialogs.messageTexts().last().contains(QStringLiteral("'\u0101' (U+0101)")),
           qPrintable(run.dialogs.messageTexts().last()));
  QCOMPARE(tiles.staticName(0x10), std::string("torch"));
  QCOMPARE(run.text("eStaticName"), QStringLiteral("torch"));
  QCOMPARE(page->list()->model()->label(0x10), std::string("0x10 torch"));

  // The land page's TexID field holds 16 bits.
  run.showPage(run.land());
  run.clickLine(run.land()->list(), 7);
  const std::uint16_t texture = tiles.landTextureId(7);
  run.typeInto("eLandTexId", "0x10000");
  QCOMPARE(run.dialogs.messageTexts().last(),
           QStringLiteral("TexID: '0x10000' does not fit the field (0 to 65535)."));
  QCOMPARE(tiles.landTextureId(7), texture);
  QCOMPARE(run.text("eLandTexId"), QString::fromStdString(quillotide::hexLabel(texture)));

  // Saved and read back: the refused values left no trace in the file.
  run.dialogs.answerSave(run.path("saved.mul"));
  run.click("btnSaveTiledata");
  quillotide::TTiledata saved;
  saved.load(run.dir.file("saved.mul"));
  QCOMPARE(saved.staticWeight(0x10), before.weight);
  QCOMPARE(saved.staticQuality(0x10), before.quality);
  QCOMPARE(saved.staticHeight(0x10), std::uint8_t{42});
  QCOMPARE(saved.staticName(0x10), std::string("torch"));
  QCOMPARE(saved.landTextureId(7), texture);
}

QTEST_MAIN(TiledataPagesTest)
#include "TiledataPagesTest.moc"
