// The "Patch" page driven as a person does: the folder chosen with "...", the map number picked
// in "Map:", the region typed into its fields, the buttons clicked, the file dialogs answered
// through the dialog seam; then the files are read.

#include <algorithm>
#include <filesystem>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "UiTestSupport.h"
#include "app/FileIO.h"
#include "app/Uop.h"
#include "support/WorldFiles.h"
#include "world/Map.h"
#include "world/RegionPatch.h"

using quillotide::test::ProgramRun;
using quillotide::test::readBytes;
using quillotide::test::writeBytes;

class PatchPageTest : public QObject {
  Q_OBJECT
private slots:
  void createApplyAndUndoARegion();
  void coordinatesThatAreNotNumbersStopCreatePatch();
  void cancellingTheBackupDialogAppliesWithoutOne();
  void applyAndHeightsOnTheLoadedWorldReadItAgain();
  void aWorldSizeTheMapCannotHoldIsRefusedFirst();
  void createPatchOffersToSaveTheLoadedMapsEditsFirst();
  void aFolderOfMapContainersIsListedAndPatchedInItsContainer();
};

namespace {

// Map 3 of a 32 x 24 world in a folder of the run, cells shifted by `shift`.
void writeWorld(const std::string& dir, int shift) {
  const quillotide::PatchDirectory files{dir, 3};
  writeBytes(files.mapPath(), quillotide::test::makeMapBytes(32, 24, [shift](int x, int y) {
               return quillotide::test::CellSpec{static_cast<std::uint16_t>(x + y + shift),
                                                 static_cast<std::int8_t>(y - shift)};
             }));
  const auto pair = quillotide::test::makeStaticsFiles(32, 24, {{0x10, 2, 2, 1, 0}});
  writeBytes(files.staticsIndexPath(), pair.index);
  writeBytes(files.staticsDataPath(), pair.data);
}

// Shows the page, chooses `dir` and types the world size and region.
void prepare(ProgramRun& run, const QString& dir, const QStringList& region) {
  run.showPage(QStringLiteral("tsPatch"));
  run.dialogs.answerFolder(dir);
  run.press(QStringLiteral("btnPBrowse"));
  run.typeInto(QStringLiteral("ePWidth"), QStringLiteral("32"));
  run.typeInto(QStringLiteral("ePHeight"), QStringLiteral("24"));
  const QStringList names = {"ePX1", "ePY1", "ePX2", "ePY2"};
  for (int i = 0; i < 4; ++i) run.typeInto(names[i], region[i]);
}

}  // namespace

void PatchPageTest::createApplyAndUndoARegion() {
  ProgramRun run;
  const std::string from = run.dir.file("from");
  const std::string to = run.dir.file("to");
  std::filesystem::create_directories(from);
  std::filesystem::create_directories(to);
  writeWorld(from, 9);
  writeWorld(to, 0);
  const quillotide::PatchDirectory target{to, 3};
  const auto original = readBytes(target.mapPath());

  prepare(run, QString::fromStdString(from), {"4", "4", "0x0B", "$f"});
  QCOMPARE(run.find<QLineEdit>("ePDir")->text(), QString::fromStdString(from) + "/");
  QCOMPARE(run.registry->config->getString("PatchDir"), from + "/");
  auto* maps = run.find<QComboBox>("cbChooseMap");
  QCOMPARE(maps->count(), 1);
  QCOMPARE(maps->currentText(), QStringLiteral("3"));
  run.dialogs.answerSave(run.path("region.pkx"));
  run.press(QStringLiteral("btnPStart"));
  QCOMPARE(run.dialogs.asked().back().title,
           QStringLiteral("Where do you want to save the patch?"));
  QCOMPARE(run.dialogs.asked().back().filter, QStringLiteral("*.pkx|*.pkx"));
  QVERIFY(quillotide::fileExists(run.dir.file("region.pkx")));

  // Applied with a backup into the other folder at the same origin, then undone.
  run.dialogs.answerFolder(QString::fromStdString(to));
  run.press(QStringLiteral("btnPBrowse"));
  run.dialogs.answerOpen(run.path("region.pkx"));
  run.dialogs.answerSave(run.path("backup.pkx"));
  run.press(QStringLiteral("btnStartApplyPatch"));
  QCOMPARE(run.dialogs.asked().back().title,
           QStringLiteral("Where do you want to save your backup?"));
  QVERIFY(readBytes(target.mapPath()) != original);
  QCOMPARE(run.find<QProgressBar>("gP")->value(), 100);
  run.find<QCheckBox>("cbPBackup")->click();
  run.dialogs.answerOpen(run.path("backup.pkx"));
  run.press(QStringLiteral("btnStartApplyPatch"));
  QVERIFY(readBytes(target.mapPath()) == original);
  QVERIFY(run.dialogs.messages().isEmpty());

  // Heights of the same region, beyond the world's edge: clamped, and the skipped cells named.
  run.typeInto(QStringLiteral("ePX2"), QStringLiteral("40"));
  run.typeInto(QStringLiteral("eChangeHoehe"), QStringLiteral("200"));
  run.press(QStringLiteral("btnStartHeight"));
  QCOMPARE(run.dialogs.messageTexts(),
           QStringList{QStringLiteral("108 cells lie outside the world of 32 x 24 cells or its "
                                      "files; they were skipped.")});
  const auto raised = readBytes(target.mapPath());
  QCOMPARE(static_cast<int>(raised[4 + 3 * (4 * 8 + 4) + 2]), 127);
  QCOMPARE(run.dialogs.pendingAnswers(), 0);
}

void PatchPageTest::coordinatesThatAreNotNumbersStopCreatePatch() {
  ProgramRun run;
  writeWorld(run.dir.path(), 0);
  prepare(run, QString::fromStdString(run.dir.path()), {"4", "4", "x", "8"});
  run.dialogs.answerSave(run.path("region.pkx"));
  run.press(QStringLiteral("btnPStart"));
  QCOMPARE(run.dialogs.messageTexts(),
           QStringList{QStringLiteral("Coordinates have to be Integer values.")});
  QVERIFY(!quillotide::fileExists(run.dir.file("region.pkx")));
}

void PatchPageTest::cancellingTheBackupDialogAppliesWithoutOne() {
  ProgramRun run;
  writeWorld(run.dir.path(), 0);
  quillotide::Bytes patch;
  quillotide::PatchRecord cell;
  cell.tileId = 0x55;
  quillotide::appendPatchRecord(patch, cell);
  writeBytes(run.dir.file("one.pkx"), patch);
  prepare(run, QString::fromStdString(run.dir.path()), {"1", "1", "1", "1"});
  run.dialogs.answerOpen(run.path("one.pkx"));
  run.dialogs.answerSave(std::nullopt);
  run.press(QStringLiteral("btnStartApplyPatch"));
  QVERIFY(!run.find<QCheckBox>("cbPBackup")->isChecked());
  const auto map = readBytes(quillotide::PatchDirectory{run.dir.path(), 3}.mapPath());
  QCOMPARE(static_cast<int>(map[4 + 3 * 9]), 0x55);

  // A patch with an unknown record type: its offset is named and nothing changes.
  patch.push_back(9);
  writeBytes(run.dir.file("bad.pkx"), patch);
  run.dialogs.answerOpen(run.path("bad.pkx"));
  run.press(QStringLiteral("btnStartApplyPatch"));
  QCOMPARE(run.dialogs.messages().size(), 1);
  QVERIFY2(
      run.dialogs.messages()[0].text.contains(QStringLiteral("unknown record type 9 at offset 8")),
      qPrintable(run.dialogs.messages()[0].text));
  QVERIFY(readBytes(quillotide::PatchDirectory{run.dir.path(), 3}.mapPath()) == map);
}

// The patch directory holds the map and statics the Settings page loaded (the map locked, the
// statics in memory with an unsaved edit): the models let the files go, the tools write them,
// and the models read them again, so they show the change and a later save keeps it.
void PatchPageTest::applyAndHeightsOnTheLoadedWorldReadItAgain() {
  ProgramRun run;
  writeWorld(run.dir.path(), 0);
  const quillotide::PatchDirectory files{run.dir.path(), 3};
  quillotide::Bytes patch;
  quillotide::PatchRecord cell;
  cell.tileId = 0x55;
  quillotide::appendPatchRecord(patch, cell);
  quillotide::PatchRecord added;
  added.type = quillotide::PatchLayout::kStatic;
  added.tileId = 0x77;
  added.z = 3;
  quillotide::appendPatchRecord(patch, added);
  writeBytes(run.dir.file("one.pkx"), patch);

  run.showPage(QStringLiteral("tsSettings"));
  run.setField("eMap", QString::fromStdString(files.mapPath()));
  run.setField("eStaticIdx", QString::fromStdString(files.staticsIndexPath()));
  run.setField("eStaticMul", QString::fromStdString(files.staticsDataPath()));
  run.typeInto("eMapWidth", "32");
  run.typeInto("eMapHeight", "24");
  run.press("btnLoadMap");
  run.press("btnLoadStatics");
  QVERIFY(run.registry->map->isLoaded());
  QVERIFY(run.registry->statics->isLoaded());
  run.registry->statics->add(0x99, 20, 20, 0, 0);

  prepare(run, QString::fromStdString(run.dir.path()), {"1", "1", "1", "1"});
  run.find<QCheckBox>("cbPBackup")->click();
  run.dialogs.answerOpen(run.path("one.pkx"));
  run.dialogs.answerQuestion(QStringLiteral("Save"));
  run.press(QStringLiteral("btnStartApplyPatch"));
  for (const auto& m : run.dialogs.messages())
    QVERIFY2(m.icon != quillotide::ui::MessageIcon::Error, qPrintable(m.text));
  QVERIFY(run.registry->map->isLoaded());
  QCOMPARE(run.registry->map->cell(1, 1)->tileId, 0x55);
  const auto statics = run.registry->statics->getItemsInRect(0, 31, 0, 23);
  const auto has = [&statics](std::uint16_t id, int x, int y) {
    return std::any_of(statics.begin(), statics.end(), [&](const quillotide::TItem& it) {
      return it.tileId == id && it.x == x && it.y == y;
    });
  };
  QVERIFY(has(0x77, 1, 1));
  QVERIFY(has(0x99, 20, 20));
  QVERIFY(has(0x10, 2, 2));

  // Heights of the loaded map: the file changes, and so does what the model shows.
  run.typeInto(QStringLiteral("eChangeHoehe"), QStringLiteral("5"));
  run.press(QStringLiteral("btnStartHeight"));
  for (const auto& m : run.dialogs.messages())
    QVERIFY2(m.icon != quillotide::ui::MessageIcon::Error, qPrintable(m.text));
  QCOMPARE(run.registry->map->getAltitude(1, 1), 5);
  // The file as a reader beside the program sees it (the loaded map keeps it locked): cell 9 of
  // block 0.
  const auto onDisk = readBytes(files.mapPath());
  QCOMPARE(quillotide::loadU16(onDisk.data() + 4 + 3 * 9), 0x55);
  QCOMPARE(static_cast<int>(static_cast<std::int8_t>(onDisk[4 + 3 * 9 + 2])), 5);
  QCOMPARE(run.dialogs.pendingAnswers(), 0);
}

void PatchPageTest::aWorldSizeTheMapCannotHoldIsRefusedFirst() {
  ProgramRun run;
  writeWorld(run.dir.path(), 0);
  const quillotide::PatchDirectory files{run.dir.path(), 3};
  const auto map = readBytes(files.mapPath());
  prepare(run, QString::fromStdString(run.dir.path()), {"0", "0", "65535", "65535"});
  run.typeInto(QStringLiteral("ePWidth"), QStringLiteral("65536"));
  run.typeInto(QStringLiteral("ePHeight"), QStringLiteral("65536"));
  run.typeInto(QStringLiteral("eChangeHoehe"), QStringLiteral("1"));
  run.press(QStringLiteral("btnStartHeight"));
  QCOMPARE(run.dialogs.messageTexts(),
           QStringList{QString::fromStdString(files.mapPath()) +
                       QStringLiteral(" holds 12 map blocks, fewer than the 67108864 of a world "
                                      "of 65536 x 65536 cells: check Width and Height.")});
  QVERIFY(readBytes(files.mapPath()) == map);
}

void PatchPageTest::createPatchOffersToSaveTheLoadedMapsEditsFirst() {
  ProgramRun run;
  writeWorld(run.dir.path(), 0);
  const quillotide::PatchDirectory files{run.dir.path(), 3};
  run.showPage(QStringLiteral("tsSettings"));
  run.setField("eMap", QString::fromStdString(files.mapPath()));
  run.typeInto("eMapWidth", "32");
  run.typeInto("eMapHeight", "24");
  run.press("btnLoadMap");
  run.registry->map->setTileId(1, 1, 0x42);
  prepare(run, QString::fromStdString(run.dir.path()), {"1", "1", "1", "1"});
  run.find<QCheckBox>("cbPStatics")->click();
  // Taken from the saved file: the edit is not in the patch and stays unsaved.
  run.dialogs.answerSave(run.path("saved.pkx"));
  run.dialogs.answerQuestion(QStringLiteral("Use the saved files"));
  run.press(QStringLiteral("btnPStart"));
  QCOMPARE(quillotide::loadU16(readBytes(run.dir.file("saved.pkx")).data() + 5), 2);
  QVERIFY(run.registry->map->hasUnsavedChanges());
  // Saved first: the patch holds the edit.
  run.dialogs.answerSave(run.path("edited.pkx"));
  run.dialogs.answerQuestion(QStringLiteral("Save"));
  run.press(QStringLiteral("btnPStart"));
  QCOMPARE(quillotide::loadU16(readBytes(run.dir.file("edited.pkx")).data() + 5), 0x42);
  QVERIFY(!run.registry->map->hasUnsavedChanges());
  QCOMPARE(run.dialogs.pendingAnswers(), 0);
}


void PatchPageTest::aFolderOfMapContainersIsListedAndPatchedInItsContainer() {
  ProgramRun run;
  const std::string from = run.dir.file("from");
  const std::string to = run.dir.file("to");
  std::filesystem::create_directories(from);
  std::filesystem::create_directories(to);
  writeWorld(from, 9);
  writeWorld(to, 0);
  // The client folder keeps map 3 in its container; an old map3.mul of another world lies beside
  // it, which the client no longer reads.
  const std::string container = to + "/map3LegacyMUL.uop";
  const auto original = readBytes(to + "/map3.mul");
  quillotide::containerOfMapFile(original, 3).save(container);
  const auto stale = quillotide::test::makeMapBytes(32, 24, [](int, int) {
    return quillotide::test::CellSpec{0x77, 0};
  });
  writeBytes(to + "/map3.mul", stale);
  const auto mapOf = [&] {
    return quillotide::mapFileOfContainer(quillotide::UopContainer::read(container), container,
                                          nullptr);
  };

  prepare(run, QString::fromStdString(from), {"4", "4", "11", "15"});
  run.dialogs.answerSave(run.path("region.pkx"));
  run.press(QStringLiteral("btnPStart"));
  // Without its map file, the folder still lists map 3: its container is the map.
  std::filesystem::remove(to + "/map3.mul");
  run.dialogs.answerFolder(QString::fromStdString(to));
  run.press(QStringLiteral("btnPBrowse"));
  auto* maps = run.find<QComboBox>("cbChooseMap");
  QCOMPARE(maps->count(), 1);
  QCOMPARE(maps->currentText(), QStringLiteral("3"));
  writeBytes(to + "/map3.mul", stale);

  run.find<QCheckBox>("cbPBackup")->click();
  run.dialogs.answerOpen(run.path("region.pkx"));
  run.press(QStringLiteral("btnStartApplyPatch"));
  QVERIFY2(run.dialogs.messages().isEmpty(), qPrintable(run.dialogs.messageTexts().join('\n')));
  const auto patched = mapOf();
  QVERIFY(patched != original);
  // Cell 4,4 of the region now holds the source's tile (4 + 4 + 9); the old file is untouched.
  QCOMPARE(static_cast<int>(quillotide::loadU16(patched.data() + 4 + 3 * (4 * 8 + 4))), 17);
  QVERIFY(readBytes(to + "/map3.mul") == stale);
  QCOMPARE(run.dialogs.pendingAnswers(), 0);
}

QTEST_MAIN(PatchPageTest)
#include "PatchPageTest.moc"
