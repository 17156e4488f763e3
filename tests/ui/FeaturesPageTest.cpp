// The "Features" page driven as a person does: a kind chosen with the arrow keys, paths and
// numbers typed into the fields, buttons clicked with the mouse, the dialogs answered through the
// dialog seam; then what the page shows and what the files hold.

#include <filesystem>

#include <QComboBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "UiTestSupport.h"
#include "app/Bmp.h"
#include "app/FileIO.h"
#include "app/Text.h"
#include "models/BatchTools.h"
#include "sample/Sample.h"
#include "ui/main/FeaturesSlotTools.h"
#include "ui/main/PairRebuild.h"

using quillotide::test::ProgramRun;
using quillotide::test::readBytes;
using quillotide::test::writeBytes;
using quillotide::test::writeText;

class FeaturesPageTest : public QObject {
  Q_OBJECT
private slots:
  void reIndexOfADamagedGumpFileOffersToLeaveTheSlotOut();
  void reIndexOfAnUnloadedKindDoesNothing();
  void autopatchImportsTheListAndNamesTheLinesThatFailed();
  void extractWritesIntoTheChosenFolderWhatAutopatchTakesBack();
  void reIndexIntoTheLoadedFilesReadsThemAgain();
  void copyAnimWritesTheIndexTheSettingsPageShows();
  void createEmptyAsksBeforeReplacingGameFiles();
  void cutFileCopiesTheTypedSizeOrSaysWhyNot();
  void markPixelsShowsTheMarkedPicture();
  void fixBitmapWritesTheSizeOrReportsTheFailure();
  void toolsTellWhichFileIsNotLoaded();
  void reIndexOfTheStaticsCompactsThem();
  void reIndexOfTheLoadedStaticsIntoTheirOwnFilesAsksAndReadsThemAgain();
};

namespace {

// Loads a gump pair whose slot 1 points past the end of the data, and shows the Features page.
void loadDamagedGumps(ProgramRun& run) {
  writeBytes(run.dir.file("gumpidx.mul"),
             quillotide::test::indexBytes({{0, 8, 0x00010001}, {8, 400, 0x00010001}}));
  // Slot 0: one row of one pixel (row table, then the run colour 0x1F, length 1).
  writeBytes(run.dir.file("gumpart.mul"), quillotide::Bytes{1, 0, 0, 0, 0x1F, 0, 1, 0});
  run.setField("eGumpIdx", run.path("gumpidx.mul"));
  run.setField("eGumpMul", run.path("gumpart.mul"));
  run.click("btnLoadGumps");
  QVERIFY(run.registry->gumps->isLoaded());
  run.mainForm->show();
  run.find<QTabWidget>("pcMain")->setCurrentWidget(run.find<QWidget>("tsFeatures"));
}

void chooseKind(ProgramRun& run, const QString& caption, const QString& box = "cbReIndex") {
  auto* kind = run.find<QComboBox>(box);
  kind->setFocus();
  // Up to the first entry, then down the list until the kind is reached.
  for (int i = 0; i < kind->count(); ++i) QTest::keyClick(kind, Qt::Key_Up);
  for (int i = 0; i < kind->count() && kind->currentText() != caption; ++i)
    QTest::keyClick(kind, Qt::Key_Down);
  QCOMPARE(kind->currentText(), caption);
}

void clickStart(ProgramRun& run, const QString& button = "btnReIndex") {
  QTest::mouseClick(run.find<QPushButton>(button), Qt::LeftButton);
}

void typeInto(ProgramRun& run, const QString& field, const QString& text) {
  auto* edit = run.find<QLineEdit>(field);
  edit->clear();
  QTest::keyClicks(edit, text);
  QTest::keyClick(edit, Qt::Key_Return);
}

quillotide::Bitmap32 pattern(int w, int h, int seed) {
  quillotide::Bitmap32 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.at(x, y) = quillotide::colour16ToPixel(
          static_cast<quillotide::Colour16>(0x0421 + (x * 3 + y * 61 + seed * 501) % 0x7000));
  return b;
}

// An empty art set made by Create empty, loaded through the Settings page, and the Features page
// in front.
void loadEmptyArt(ProgramRun& run) {
  quillotide::createEmptyFiles(quillotide::EmptyKind::Art, run.dir.path());
  run.setField("eArtIdx", run.path("artidx.mul"));
  run.setField("eArtMul", run.path("art.mul"));
  run.click("btnLoadArt");
  QVERIFY(run.registry->art->isLoaded());
  run.showPage("tsFeatures");
}

}  // namespace

void FeaturesPageTest::reIndexOfADamagedGumpFileOffersToLeaveTheSlotOut() {
  ProgramRun run;
  loadDamagedGumps(run);
  chooseKind(run, QStringLiteral("Gumps"));

  // Cancelled: the question names the slot, nothing is written.
  run.dialogs.answerSave(run.path("new-idx.mul"));
  run.dialogs.answerSave(run.path("new.mul"));
  run.dialogs.answerQuestion(QStringLiteral("Cancel"));
  clickStart(run);
  const auto& asked = run.dialogs.asked();
  QCOMPARE(asked.size(), 3);
  QCOMPARE(asked[0].filter, QStringLiteral("Gumpidx.mul|Gumpidx.mul"));
  QCOMPARE(asked[1].filter, QStringLiteral("GumpArt.mul|GumpArt.mul"));
  QCOMPARE(asked[2].kind, quillotide::ui::ScriptedDialogs::Kind::Question);
  QCOMPARE(asked[2].filter, QStringLiteral("Rebuild without damaged slots|Cancel"));
  QVERIFY2(asked[2].prompt.startsWith(QStringLiteral(
               "Gump 0x1 is damaged: The record (8, 400) points outside the data file (8 bytes).")),
           qPrintable(asked[2].prompt));
  QVERIFY(!quillotide::fileExists(run.dir.file("new.mul")));
  QVERIFY(run.dialogs.messages().isEmpty());

  // "Rebuild without damaged slots": the rest is written, the slot left empty and named.
  run.dialogs.answerSave(run.path("new-idx.mul"));
  run.dialogs.answerSave(run.path("new.mul"));
  run.dialogs.answerQuestion(quillotide::ui::kRebuildWithoutDamaged);
  clickStart(run);
  QCOMPARE(run.dialogs.messageTexts(),
           QStringList{QStringLiteral("Rebuilt without the damaged slots: Gump 0x1.")});
  quillotide::TGump rebuilt;
  rebuilt.load(run.dir.file("new-idx.mul"), run.dir.file("new.mul"));
  QVERIFY(rebuilt.gumpExists(0));
  QVERIFY(!rebuilt.gumpExists(1));
  QVERIFY(rebuilt.gumpPicture(0) == run.registry->gumps->gumpPicture(0));
  QCOMPARE(run.dialogs.pendingAnswers(), 0);
}

void FeaturesPageTest::reIndexOfAnUnloadedKindDoesNothing() {
  ProgramRun run;
  loadDamagedGumps(run);
  // No kind chosen, then a kind whose model is not loaded: no dialog, no message.
  clickStart(run);
  chooseKind(run, QStringLiteral("Art"));
  clickStart(run);
  chooseKind(run, QStringLiteral("Statics"));
  clickStart(run);
  QVERIFY(run.dialogs.asked().isEmpty());
  QVERIFY(run.dialogs.messages().isEmpty());
}

void FeaturesPageTest::autopatchImportsTheListAndNamesTheLinesThatFailed() {
  ProgramRun run;
  loadEmptyArt(run);
  quillotide::writeBmpFile(run.dir.file("a.bmp"), pattern(9, 4, 1));
  writeText(run.dir.file("list.txt"), "0x5 a.bmp\r\n0x6 Missing.bmp\r\n-2 remove\r\n");
  run.dialogs.answerOpen(run.path("list.txt"));
  QTest::mouseClick(run.find<QPushButton>("btnBrowseAutopatch"), Qt::LeftButton);
  QCOMPARE(run.find<QLineEdit>("ePathAutopatch")->text(), run.path("list.txt"));
  QCOMPARE(run.dialogs.asked()[0].filter, QStringLiteral("*.txt|*.txt"));

  // No kind chosen: nothing happens.
  clickStart(run, "btnAutopatchStart");
  QVERIFY(run.dialogs.messages().isEmpty());

  chooseKind(run, "Art (S)", "cbAutopatch");
  clickStart(run, "btnAutopatchStart");
  QCOMPARE(run.dialogs.messageTexts().size(), 1);
  const QString text = run.dialogs.messageTexts()[0];
  QVERIFY2(text.startsWith("1 Arttiles patched.\n2 lines failed:\nLine 2: Cannot open file "),
           qPrintable(text));
  QVERIFY2(text.contains("Line 3: Static -2 is out of range (0x0 to 0xFFFF)."), qPrintable(text));
  QVERIFY(run.registry->art->staticPicture(5) == pattern(9, 4, 1));

  // Gumps are not loaded.
  run.dialogs.clear();
  chooseKind(run, "Gumps", "cbAutopatch");
  clickStart(run, "btnAutopatchStart");
  QCOMPARE(run.dialogs.messageTexts(), QStringList{"Muls not loaded."});
}

void FeaturesPageTest::extractWritesIntoTheChosenFolderWhatAutopatchTakesBack() {
  ProgramRun run;
  loadEmptyArt(run);
  run.registry->art->importStatic(0x12, pattern(5, 7, 2));
  run.registry->art->importStatic(0x1234, pattern(6, 2, 3));
  chooseKind(run, "Art (S)", "cbExtract");
  // Cancelled: nothing is written anywhere.
  run.dialogs.answerFolder(std::nullopt);
  clickStart(run, "btnExtractStart");
  QVERIFY(run.dialogs.messages().isEmpty());
  run.dialogs.answerFolder(run.path("out"));
  std::filesystem::create_directories(run.dir.file("out"));
  clickStart(run, "btnExtractStart");
  const std::string folder = run.dir.file("out/Artstatic");
  QCOMPARE(run.dialogs.messageTexts(),
           QStringList{
               QString::fromStdString("The pictures and their list.txt are in " + folder + ".")});
  QCOMPARE(run.registry->config->getString("ExtractFolder"), run.dir.file("out"));
  // The next extract offers the same folder first.
  run.dialogs.clear();
  run.dialogs.answerQuestion(QStringLiteral("Write Here"));
  clickStart(run, "btnExtractStart");
  QVERIFY(run.dialogs.asked()[0].prompt.contains(run.path("out")));
  QCOMPARE(run.dialogs.messageTexts().size(), 1);
  run.dialogs.clear();
  QCOMPARE(quillotide::readTextLines(folder + "/list.txt"),
           (std::vector<std::string>{"0x0012 0x0012.bmp", "0x1234 0x1234.bmp"}));
  QVERIFY(quillotide::readBmpFile(folder + "/0x0012.bmp") == pattern(5, 7, 2));

  // Fed straight back into the emptied slots.
  run.registry->art->deleteStatic(0x12);
  run.registry->art->deleteStatic(0x1234);
  typeInto(run, "ePathAutopatch", QString::fromStdString(folder + "/list.txt"));
  chooseKind(run, "Art (S)", "cbAutopatch");
  clickStart(run, "btnAutopatchStart");
  QCOMPARE(run.dialogs.messageTexts(), QStringList{"2 Arttiles patched."});
  QVERIFY(run.registry->art->staticPicture(0x1234) == pattern(6, 2, 3));
}

void FeaturesPageTest::createEmptyAsksBeforeReplacingGameFiles() {
  ProgramRun run;
  run.showPage("tsFeatures");
  // No kind chosen: no folder is asked for.
  clickStart(run, "btnCreateEmpty");
  QVERIFY(run.dialogs.asked().isEmpty());

  chooseKind(run, "Verdata", "cbCreateEmpty");
  run.dialogs.answerFolder(run.path(""));
  clickStart(run, "btnCreateEmpty");
  QCOMPARE(run.dialogs.asked()[0].title, QStringLiteral("Where do you want to save the files?"));
  QCOMPARE(readBytes(run.dir.file("verdata.mul")), quillotide::Bytes(4, 0));

  writeBytes(run.dir.file("verdata.mul"), quillotide::Bytes(30, 1));
  run.dialogs.answerFolder(run.path(""));
  run.dialogs.answerQuestion(QStringLiteral("Cancel"));
  clickStart(run, "btnCreateEmpty");
  QVERIFY(run.dialogs.asked().back().prompt.contains("verdata.mul"));
  QCOMPARE(readBytes(run.dir.file("verdata.mul")), quillotide::Bytes(30, 1));

  run.dialogs.answerFolder(run.path(""));
  run.dialogs.answerQuestion(QStringLiteral("Replace"));
  clickStart(run, "btnCreateEmpty");
  QCOMPARE(readBytes(run.dir.file("verdata.mul")), quillotide::Bytes(4, 0));
  QVERIFY(run.dialogs.messages().isEmpty());
  QCOMPARE(run.dialogs.pendingAnswers(), 0);
}

void FeaturesPageTest::cutFileCopiesTheTypedSizeOrSaysWhyNot() {
  ProgramRun run;
  run.showPage("tsFeatures");
  writeBytes(run.dir.file("big.mul"), quillotide::Bytes{1, 2, 3, 4, 5, 6});
  run.dialogs.answerOpen(run.path("big.mul"));
  QTest::mouseClick(run.find<QPushButton>("Button7"), Qt::LeftButton);
  QCOMPARE(run.find<QLineEdit>("eCutFileName")->text(), run.path("big.mul"));
  typeInto(run, "eCutToSize", "0x4");
  clickStart(run, "Button8");
  QCOMPARE(run.dialogs.messageTexts(),
           QStringList{QStringLiteral("File cut.\nThe first 4 bytes are in %1; %2 is unchanged.")
                           .arg(run.path("big.mul.new"), run.path("big.mul"))});
  QCOMPARE(readBytes(run.dir.file("big.mul.new")), (quillotide::Bytes{1, 2, 3, 4}));

  run.dialogs.clear();
  typeInto(run, "eCutToSize", "7");
  clickStart(run, "Button8");
  QCOMPARE(run.dialogs.messages().size(), 1);
  QCOMPARE(run.dialogs.messages()[0].icon, quillotide::ui::MessageIcon::Error);
  QCOMPARE(readBytes(run.dir.file("big.mul.new")), (quillotide::Bytes{1, 2, 3, 4}));
  typeInto(run, "eCutToSize", "four");
  clickStart(run, "Button8");
  QCOMPARE(run.dialogs.messageTexts().back(),
           QStringLiteral("'four' is not a valid integer value"));
}

void FeaturesPageTest::markPixelsShowsTheMarkedPicture() {
  ProgramRun run;
  run.showPage("tsFeatures");
  QCOMPARE(run.find<QLineEdit>("eColorMarkPixels")->text(), QStringLiteral("0xFF00FF"));
  quillotide::Bitmap32 b(2, 1, quillotide::makePixel(0, 0, 0));
  b.at(1, 0) = quillotide::makePixel(40, 50, 60);
  quillotide::writeBmpFile(run.dir.file("m.bmp"), b);
  // Blue typed with red in the low byte; the setting keeps what was typed.
  typeInto(run, "eColorMarkPixels", "$FF0000");
  QCOMPARE(run.registry->config->getString("ColorMarkPixels"), std::string("$FF0000"));
  run.dialogs.answerOpen(run.path("m.bmp"));
  clickStart(run, "Button19");
  QCOMPARE(run.dialogs.asked()[0].title, QStringLiteral("Choose your bitmap."));
  QCOMPARE(run.dialogs.pictures().size(), 1);
  const QImage shown = run.dialogs.pictures()[0];
  QCOMPARE(shown.size(), QSize(2, 1));
  QCOMPARE(shown.pixel(0, 0), qRgb(0, 0, 255));
  QCOMPARE(shown.pixel(1, 0), qRgb(40, 50, 60));
  QCOMPARE(quillotide::readBmpFile(run.dir.file("m.bmp")), b);
}

void FeaturesPageTest::fixBitmapWritesTheSizeOrReportsTheFailure() {
  ProgramRun run;
  run.showPage("tsFeatures");
  quillotide::writeBmpFile(run.dir.file("b.bmp"), pattern(3, 2, 1));
  quillotide::Bytes bytes = readBytes(run.dir.file("b.bmp"));
  bytes[34] = 0x55;
  writeBytes(run.dir.file("b.bmp"), bytes);
  run.dialogs.answerOpen(run.path("b.bmp"));
  clickStart(run, "btnfixbitmap");
  QCOMPARE(run.dialogs.messageTexts(), QStringList{"Done"});
  QCOMPARE(quillotide::loadU32(readBytes(run.dir.file("b.bmp")).data() + 34), 24u);

  run.dialogs.clear();
  writeBytes(run.dir.file("t.bmp"), quillotide::Bytes(50, 'x'));
  run.dialogs.answerOpen(run.path("t.bmp"));
  clickStart(run, "btnfixbitmap");
  QCOMPARE(run.dialogs.messages().size(), 1);
  QCOMPARE(run.dialogs.messages()[0].icon, quillotide::ui::MessageIcon::Error);
  QCOMPARE(readBytes(run.dir.file("t.bmp")), quillotide::Bytes(50, 'x'));
}

void FeaturesPageTest::toolsTellWhichFileIsNotLoaded() {
  ProgramRun run;
  run.showPage("tsFeatures");
  for (const char* b : {"Button13", "Button14", "Button15", "Button18"}) clickStart(run, b);
  QCOMPARE(run.dialogs.messageTexts(), (QStringList{"Load Art first.", "Load Gumps first.",
                                                    "anim not loaded", "Load Tiledata first."}));
  QVERIFY(run.dialogs.asked().isEmpty());
  // Nothing chosen for Extract: nothing happens, not even a message.
  clickStart(run, "btnExtractStart");
  chooseKind(run, "Gumps", "cbExtract");
  clickStart(run, "btnExtractStart");
  QCOMPARE(run.dialogs.messageTexts().size(), 4);

  // With tile data and animations loaded, the list of art ids is written and said where.
  run.mainForm->useSampleSet(run.path("sample"));
  run.dialogs.clear();
  run.dialogs.answerSave(run.path("empty-ids.txt"));
  clickStart(run, "Button18");
  QVERIFY(quillotide::fileExists(run.dir.file("empty-ids.txt")));
  QCOMPARE(run.dialogs.messages().size(), 1);
  QVERIFY2(run.dialogs.messageTexts().last().endsWith(
               QStringLiteral("written to %1.").arg(run.path("empty-ids.txt"))),
           qPrintable(run.dialogs.messageTexts().last()));
}

void FeaturesPageTest::reIndexOfTheStaticsCompactsThem() {
  ProgramRun run;
  quillotide::sample::writeWorld(run.dir.path());
  const int side = quillotide::sample::kSampleWorldSize;
  run.registry->statics->open(run.dir.file("staidx0.mul"), run.dir.file("statics0.mul"), side, side,
                              quillotide::StorageMode::Memory);
  run.showPage("tsFeatures");
  chooseKind(run, "Statics");
  run.dialogs.answerSave(run.path("new-staidx.mul"));
  run.dialogs.answerSave(run.path("new-statics.mul"));
  clickStart(run);
  QCOMPARE(run.dialogs.asked()[0].filter, QStringLiteral("Staidx0.mul|Staidx0.mul"));
  QCOMPARE(run.dialogs.asked()[1].filter, QStringLiteral("Statics0.mul|Statics0.mul"));
  QVERIFY(run.dialogs.messages().isEmpty());
  quillotide::TStatics compacted;
  compacted.open(run.dir.file("new-staidx.mul"), run.dir.file("new-statics.mul"), side, side,
                 quillotide::StorageMode::Memory);
  QCOMPARE(compacted.getItemsInRect(0, side - 1, 0, side - 1).size(),
           run.registry->statics->getItemsInRect(0, side - 1, 0, side - 1).size());
  QVERIFY(!compacted.getItemsInRect(0, side - 1, 0, side - 1).empty());
}

// The statics compacted into the files they were loaded from: the unsaved static is asked about
// (a compaction copies only what the files' copies hold), and the model reads the new files.
void FeaturesPageTest::reIndexOfTheLoadedStaticsIntoTheirOwnFilesAsksAndReadsThemAgain() {
  ProgramRun run;
  quillotide::sample::writeWorld(run.dir.path());
  const int side = quillotide::sample::kSampleWorldSize;
  const std::string index = run.dir.file("staidx0.mul"), data = run.dir.file("statics0.mul");
  quillotide::OpenFiles::FixedAnswer none(quillotide::OpenFiles::Answer::Cancel);
  QVERIFY(run.registry->openFiles().open("Statics", {index, data}, {side, side}, none).opened);
  run.registry->statics->add(0x0EED, 3, 5, 7, 0);
  run.showPage("tsFeatures");
  chooseKind(run, "Statics");
  run.dialogs.answerSave(QString::fromStdString(index));
  run.dialogs.answerSave(QString::fromStdString(data));
  run.dialogs.answerQuestion(QStringLiteral("Save"));
  clickStart(run);
  QCOMPARE(run.dialogs.pendingAnswers(), 0);
  QVERIFY(run.registry->statics->isLoaded());
  QVERIFY(!run.registry->statics->hasUnsavedChanges());
  QCOMPARE(run.registry->statics->itemsAt(3, 5).size(), std::size_t(1));
  quillotide::TStatics onDisk;
  onDisk.open(index, data, side, side, quillotide::StorageMode::Memory);
  QCOMPARE(onDisk.itemsAt(3, 5).size(), std::size_t(1));
}

// A rebuild of the loaded art into the very files it was loaded from: the files are replaced by
// rename, and the model reads them again instead of keeping the old, unlinked ones.
void FeaturesPageTest::reIndexIntoTheLoadedFilesReadsThemAgain() {
  ProgramRun run;
  loadEmptyArt(run);
  run.registry->art->importStatic(0x7, pattern(4, 3, 5));
  chooseKind(run, QStringLiteral("Art"));
  run.dialogs.answerSave(run.path("artidx.mul"));
  run.dialogs.answerSave(run.path("art.mul"));
  run.dialogs.answerQuestion(QStringLiteral("Save"));
  clickStart(run);
  QVERIFY(run.dialogs.asked()[2].prompt.contains(QStringLiteral("art")));
  QVERIFY(run.registry->art->isLoaded());
  QVERIFY(run.registry->art->staticPicture(0x7) == pattern(4, 3, 5));
  quillotide::TArt onDisk;
  onDisk.load(run.dir.file("artidx.mul"), run.dir.file("art.mul"), quillotide::StorageMode::Memory);
  QVERIFY(onDisk.staticPicture(0x7) == pattern(4, 3, 5));
  QCOMPARE(run.dialogs.pendingAnswers(), 0);
}

// The animation index typed on the Settings page (not loaded, not the stored one) takes the copy.
void FeaturesPageTest::copyAnimWritesTheIndexTheSettingsPageShows() {
  ProgramRun run(quillotide::test::configWith({{"AnimIdx", "stored-anim.idx"}}));
  quillotide::createEmptyFiles(quillotide::EmptyKind::Anim, run.dir.path());
  quillotide::Bytes index = readBytes(run.dir.file("anim.idx"));
  quillotide::storeU32(index.data(), 0x10);
  quillotide::storeU32(index.data() + 4, 0x20);
  writeBytes(run.dir.file("anim.idx"), index);
  run.showPage("tsSettings");
  typeInto(run, "eAnimIdx", run.path("anim.idx"));
  run.showPage("tsFeatures");
  typeInto(run, "eCPAFromID", "0");
  typeInto(run, "eCPAToID", "1");
  clickStart(run, "btnCPAStart");
  QVERIFY2(run.dialogs.messages().isEmpty(), qPrintable(run.dialogs.messageTexts().join("|")));
  const quillotide::Bytes copied = readBytes(run.dir.file("anim.idx"));
  const std::size_t body1 = 110 * 12;  // a monster body holds 22 actions of 5 directions
  QCOMPARE(quillotide::loadU32(copied.data() + body1), 0x10u);
  QCOMPARE(quillotide::loadU32(copied.data() + body1 + 4), 0x20u);
  QVERIFY(!quillotide::fileExists(run.dir.file("stored-anim.idx")));
}

QTEST_MAIN(FeaturesPageTest)
#include "FeaturesPageTest.moc"
