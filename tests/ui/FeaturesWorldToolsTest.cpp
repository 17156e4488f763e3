// The world tools of the "Features" page driven as a person does: the world loaded on the
// settings page, fields typed, buttons clicked, dialogs and questions answered through the seam.

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTest>

#include "UiTestSupport.h"
#include "app/FileIO.h"
#include "app/Image.h"
#include "app/Text.h"
#include "support/WorldFiles.h"
#include "world/Statics.h"

using quillotide::test::ProgramRun;
using quillotide::test::readBytes;
using quillotide::test::writeBytes;

class FeaturesWorldToolsTest : public QObject {
  Q_OBJECT
private slots:
  void radarMapAsksBeforeDroppingUnsavedEdits();
  void mergeStaticsRefusesASourceAsTarget();
  void mapCopyCreatesTheTargetFromTheTypedFields();
  void searchIdAsksForItsFolderAndSaysWhereTheListWent();
  void countTexturesWritesTheGamesCodePageIntoTheChosenFolder();
  void picturesTakeTheWorldsSizeAndTheDefaultExtension();
  void staticsRepairIsNamedAskedAndReported();
  void aBadPieceOfAMapIdRuleFailsOnlyItsCells();
  void toolsOnTheLoadedFilesSettleTheModelsAndReadThemAgain();
};

namespace {

void writeWorld(ProgramRun& run) {
  writeBytes(run.dir.file("map0.mul"), quillotide::test::makeMapBytes(16, 16, [](int x, int) {
               return quillotide::test::CellSpec{static_cast<std::uint16_t>(x), 0};
             }));
  const auto pair = quillotide::test::makeStaticsFiles(16, 16, {{0x20, 3, 3, 5, 0}});
  writeBytes(run.dir.file("staidx0.mul"), pair.index);
  writeBytes(run.dir.file("statics0.mul"), pair.data);
  quillotide::Bytes colours(0x10000 * 4, 0);
  quillotide::storeU16(colours.data() + 2 * 0x4020, 0x7C00);
  writeBytes(run.dir.file("radarcol.mul"), colours);
}

void loadWorld(ProgramRun& run) {
  run.showPage(QStringLiteral("tsSettings"));
  run.setField("eMap", run.path("map0.mul"));
  run.setField("eStaticIdx", run.path("staidx0.mul"));
  run.setField("eStaticMul", run.path("statics0.mul"));
  run.setField("eRadarCol", run.path("radarcol.mul"));
  run.typeInto("eMapWidth", "16");
  run.typeInto("eMapHeight", "16");
  run.press("btnLoadRadarcol");
  run.press("btnLoadMap");
  run.press("btnLoadStatics");
  QVERIFY(run.registry->map->isLoaded());
  QVERIFY(run.registry->statics->isLoaded());
  run.showPage(QStringLiteral("tsFeatures"));
}

// The region, the two world sizes, the target corner and the ignored id of "MapCopy".
void typeMapCopyFields(ProgramRun& run, const QStringList& values) {
  const QStringList fields = {"eX1",          "eY1",         "eX2",     "eY2",
                              "eMCSrcBreite", "eMCSrcHoehe", "eTargX1", "eTargY1",
                              "eMCTrgBreite", "eMCTrgHoehe", "eIgnoreId"};
  for (int i = 0; i < fields.size(); ++i) run.typeInto(fields[i], values[i]);
}

}  // namespace

void FeaturesWorldToolsTest::radarMapAsksBeforeDroppingUnsavedEdits() {
  ProgramRun run;
  writeWorld(run);
  run.showPage(QStringLiteral("tsSettings"));
  run.setField("eRadarCol", run.path("radarcol.mul"));
  run.press("btnLoadRadarcol");
  run.showPage(QStringLiteral("tsFeatures"));
  // A map that was never opened gives no picture, and says so.
  run.dialogs.answerSave(run.path("radar.bmp"));
  run.press("Button11");
  QCOMPARE(run.dialogs.messages().size(), 1);
  QVERIFY(!run.dialogs.messageTexts().contains(QStringLiteral("Done.")));
  QVERIFY(!quillotide::fileExists(run.dir.file("radar.bmp")));

  loadWorld(run);
  run.dialogs.clear();
  run.registry->map->setTileId(1, 1, 0x33);
  // Cancelled: the edit and the models stay.
  run.dialogs.answerSave(run.path("radar.bmp"));
  run.dialogs.answerQuestion(QStringLiteral("Cancel"));
  run.press("Button11");
  QVERIFY(run.registry->map->isLoaded());
  QVERIFY(run.registry->map->hasUnsavedChanges());
  QVERIFY(!quillotide::fileExists(run.dir.file("radar.bmp")));
  // Saved: the edit reaches the file, the picture shows it, both models stay loaded.
  run.dialogs.answerSave(run.path("radar.bmp"));
  run.dialogs.answerQuestion(QStringLiteral("Save"));
  run.press("Button11");
  QCOMPARE(run.dialogs.messageTexts(),
           (QStringList{QStringLiteral("1 MapBlocks patched."), QStringLiteral("Done.")}));
  QVERIFY(run.registry->map->isLoaded());
  QVERIFY(!run.registry->map->hasUnsavedChanges());
  QVERIFY(run.registry->statics->isLoaded());
  QCOMPARE(run.find<QLabel>("lWorldRadarMap")->text(), QStringLiteral("100 %"));
  const auto picture = quillotide::readImageFile(run.dir.file("radar.bmp"));
  QCOMPARE(picture.width, 16);
  QCOMPARE(picture.at(3, 3), quillotide::colour16ToPixel(0x7C00));
  QCOMPARE(run.dialogs.pendingAnswers(), 0);
}

void FeaturesWorldToolsTest::mergeStaticsRefusesASourceAsTarget() {
  ProgramRun run;
  writeWorld(run);
  run.showPage(QStringLiteral("tsFeatures"));
  for (const char* name : {"eMSIdx1", "eMSIdx2"}) run.typeInto(name, run.path("staidx0.mul"));
  for (const char* name : {"eMSMul1", "eMSMul2"}) run.typeInto(name, run.path("statics0.mul"));
  run.dialogs.answerSave(run.path("staidx9.mul"));
  run.dialogs.answerSave(run.path("statics0.mul"));
  run.press("btnMSRun");
  QCOMPARE(run.dialogs.messages().size(), 1);
  QVERIFY(run.dialogs.messages()[0].text.contains(QStringLiteral("is one of its sources")));
  QVERIFY(!quillotide::fileExists(run.dir.file("staidx9.mul")));
  run.dialogs.clear();
  run.dialogs.answerSave(run.path("staidx9.mul"));
  run.dialogs.answerSave(run.path("statics9.mul"));
  run.press("btnMSRun");
  QCOMPARE(run.dialogs.messageTexts(), QStringList{QStringLiteral("Merging done.")});
  QCOMPARE(readBytes(run.dir.file("statics9.mul")).size(), 14u);
}

void FeaturesWorldToolsTest::mapCopyCreatesTheTargetFromTheTypedFields() {
  ProgramRun run;
  writeWorld(run);
  run.showPage(QStringLiteral("tsFeatures"));
  run.dialogs.answerOpen(run.path("map0.mul"));
  run.press("btnMCBrowseFrom");
  run.dialogs.answerSave(run.path("map7.mul"));
  run.press("Button1");
  typeMapCopyFields(run, {"2", "0", "5", "7", "16", "16", "0", "8", "8", "16", "3"});
  run.press("btnMapCopy");
  QCOMPARE(run.registry->config->getString("MCX2"), std::string("5"));
  QCOMPARE(run.registry->config->getString("MCTo"), run.dir.file("map7.mul"));
  const auto map = readBytes(run.dir.file("map7.mul"));
  QCOMPARE(map.size(), 2u * 196);
  // Source x 2 lands on x 0 of block 1 (y 8); the ignored tile 3 leaves x 1 at 0.
  QCOMPARE(static_cast<int>(map[196 + 4]), 2);
  QCOMPARE(static_cast<int>(map[196 + 4 + 3]), 0);
  QCOMPARE(static_cast<int>(map[196 + 4 + 6]), 4);
  QCOMPARE(run.dialogs.messages().size(), 0);
}

namespace {

std::string makeFolder(ProgramRun& run, const char* name) {
  const std::string folder = run.dir.file(name);
  QDir().mkpath(QString::fromStdString(folder));
  return folder;
}

}  // namespace

void FeaturesWorldToolsTest::searchIdAsksForItsFolderAndSaysWhereTheListWent() {
  ProgramRun run;
  writeWorld(run);
  loadWorld(run);
  run.dialogs.clear();
  // An id wider than a static tile id is refused before anything else is asked or written.
  run.dialogs.answerInput(QStringLiteral("0x10020"));
  run.press("btnSearchID");
  QCOMPARE(run.dialogs.messages().size(), 1);
  QVERIFY(run.dialogs.messages()[0].text.contains(QStringLiteral("not a static tile id")));
  QCOMPARE(run.dialogs.asked().size(), 1);

  const std::string reports = makeFolder(run, "reports");
  run.dialogs.clear();
  run.dialogs.answerInput(QStringLiteral("0x20"));
  run.dialogs.answerFolder(QString::fromStdString(reports));
  run.press("btnSearchID");
  const std::string list = quillotide::joinPath(reports, "0x20.txt");
  QCOMPARE(quillotide::test::readText(list), std::string("Item found: 0x20 3,3,5 Color: 0x0\r\n"));
  QCOMPARE(
      run.dialogs.messageTexts(),
      QStringList{QStringLiteral("The search result is in %1.").arg(QString::fromStdString(list))});
  QCOMPARE(run.registry->config->getString("ReportFolder"), reports);

  // The remembered folder is offered and kept with one answer.
  quillotide::writeTextLines(list, {});
  run.dialogs.clear();
  run.dialogs.answerInput(QStringLiteral("$20"));
  run.dialogs.answerQuestion(QStringLiteral("Write Here"));
  run.press("btnSearchID");
  QVERIFY(run.dialogs.asked().last().prompt.contains(QString::fromStdString(reports)));
  QCOMPARE(quillotide::test::readText(list), std::string("Item found: 0x20 3,3,5 Color: 0x0\r\n"));
  QCOMPARE(run.dialogs.pendingAnswers(), 0);
}

void FeaturesWorldToolsTest::countTexturesWritesTheGamesCodePageIntoTheChosenFolder() {
  ProgramRun run;
  writeWorld(run);
  loadWorld(run);
  run.dialogs.clear();
  run.press("btnCountTex");
  QCOMPARE(run.dialogs.messageTexts(), QStringList{QStringLiteral("Load Tiledata first.")});

  quillotide::sample::writeTiledata(run.dir.path());
  run.showPage(QStringLiteral("tsSettings"));
  run.setField("eTiledata", run.path("tiledata.mul"));
  run.press("btnLoadTiledata");
  run.showPage(QStringLiteral("tsFeatures"));
  auto land = *run.registry->tiledata->readLand(1);
  land.name = quillotide::makeTileName("caf\xC3\xA9");
  run.registry->tiledata->writeLand(1, land);

  const std::string reports = makeFolder(run, "lists");
  run.dialogs.clear();
  run.dialogs.answerFolder(QString::fromStdString(reports));
  run.press("btnCountTex");
  const std::string textures = quillotide::joinPath(reports, "texturelist.csv");
  const std::string art = quillotide::joinPath(reports, "artlist.csv");
  QCOMPARE(run.dialogs.messageTexts(),
           QStringList{QStringLiteral("Done.\nThe lists are %1 and %2.")
                           .arg(QString::fromStdString(textures), QString::fromStdString(art))});
  // Column x = 1 holds tile 1 on its 16 cells; its name is one byte 0xE9 for the accented e.
  const std::string both = quillotide::test::readText(textures) + quillotide::test::readText(art);
  QVERIFY2(both.find("0x1;16;caf\xE9") != std::string::npos, both.c_str());
}

void FeaturesWorldToolsTest::picturesTakeTheWorldsSizeAndTheDefaultExtension() {
  ProgramRun run;
  writeWorld(run);
  loadWorld(run);
  run.dialogs.clear();
  run.dialogs.answerSave(run.path("static"));
  run.press("btnCreateStaticMap");
  QCOMPARE(run.dialogs.asked().last().defaultExtension, QStringLiteral("bmp"));
  const auto statics = quillotide::readImageFile(run.dir.file("static.bmp"));
  QCOMPARE(statics.width, 16);
  QCOMPARE(statics.height, 16);
  QCOMPARE(statics.at(3, 3), quillotide::makePixel(0, 0, 0));
  QCOMPARE(statics.at(4, 3), quillotide::makePixel(255, 255, 255));

  run.dialogs.answerSave(run.path("height"));
  run.press("CreateHeightMap");
  QCOMPARE(quillotide::readImageFile(run.dir.file("height.bmp")).width, 16);
  // A name no picture can be saved under is refused before the map is drawn.
  run.dialogs.answerSave(run.path("static.jpg"));
  run.press("btnCreateStaticMap");
  QCOMPARE(run.dialogs.messages().size(), 1);
  QVERIFY(run.dialogs.messages()[0].text.contains(QStringLiteral("unknown picture format")));
  QVERIFY(!quillotide::fileExists(run.dir.file("static.jpg")));
  QCOMPARE(run.dialogs.pendingAnswers(), 0);
}

void FeaturesWorldToolsTest::staticsRepairIsNamedAskedAndReported() {
  ProgramRun run;
  writeWorld(run);
  // Over ground at altitude 0: a static to drop, a raised 0xCF3, and one to leave.
  const auto pair = quillotide::test::makeStaticsFiles(
      16, 16, {{0x39E7, 1, 1, 0, 0}, {0xCF3, 2, 2, 5, 0}, {0x20, 3, 3, 5, 0}});
  writeBytes(run.dir.file("staidx0.mul"), pair.index);
  writeBytes(run.dir.file("statics0.mul"), pair.data);
  loadWorld(run);
  run.dialogs.clear();
  QVERIFY(run.find<QPushButton>("Button12")->toolTip().contains(QStringLiteral("Statics repair")));

  run.dialogs.answerQuestion(QStringLiteral("Cancel"));
  run.press("Button12");
  QCOMPARE(readBytes(run.dir.file("statics0.mul")), pair.data);
  QVERIFY(run.registry->statics->isLoaded());
  QVERIFY(run.dialogs.asked().last().prompt.contains(QStringLiteral("0x39E7")));

  run.dialogs.answerQuestion(QStringLiteral("Run"));
  run.press("Button12");
  QCOMPARE(run.dialogs.messageTexts(),
           QStringList{QStringLiteral("Statics repair: 1 blocks rewritten, 1 statics 0x39E7 to "
                                      "0x39EE removed, 1 statics 0x28C1 added.")});
  QVERIFY(run.registry->statics->isLoaded());  // read again from the repaired files
  const auto index = readBytes(run.dir.file("staidx0.mul"));
  const auto data = readBytes(run.dir.file("statics0.mul"));
  const auto lookup = quillotide::loadU32(index.data());
  const auto length = quillotide::loadU32(index.data() + 4);
  const auto block =
      quillotide::decodeStaticRecords(std::span<const std::uint8_t>(data).subspan(lookup, length));
  QCOMPARE(block.size(), 3u);
  QCOMPARE(block[0].id, std::uint16_t{0xCF3});
  QCOMPARE(block[1].id, std::uint16_t{0x28C1});
  QCOMPARE(block[1].z, std::int8_t{5});
  QCOMPARE(block[2].id, std::uint16_t{0x20});
}

void FeaturesWorldToolsTest::aBadPieceOfAMapIdRuleFailsOnlyItsCells() {
  ProgramRun run;
  writeWorld(run);
  loadWorld(run);
  run.dialogs.clear();
  run.registry->random.seed(5);
  quillotide::test::writeText(run.dir.file("rules.txt"), "0x1 x,0x9\r\n");
  run.typeInto("eMapId", run.path("rules.txt"));
  run.press("btnStartMapIdChange");
  QCOMPARE(run.dialogs.messageTexts(), QStringList{QStringLiteral("Bug bei Id 0x1")});
  // Column x = 1 held tile 1: each cell drew a piece; the good one landed, the bad one left 1.
  const auto map = readBytes(run.dir.file("map0.mul"));
  QSet<int> ids;
  for (int y = 0; y < 16; ++y) {
    const std::size_t at =
        static_cast<std::size_t>(y / 8) * 196 + 4 + 3 * static_cast<std::size_t>((y % 8) * 8 + 1);
    ids.insert(quillotide::loadU16(map.data() + at));
  }
  QCOMPARE(ids, (QSet<int>{1, 9}));
}

QTEST_MAIN(FeaturesWorldToolsTest)
#include "FeaturesWorldToolsTest.moc"

void FeaturesWorldToolsTest::toolsOnTheLoadedFilesSettleTheModelsAndReadThemAgain() {
  ProgramRun run;
  writeWorld(run);
  writeBytes(run.dir.file("map1.mul"), readBytes(run.dir.file("map0.mul")));
  loadWorld(run);
  // An unsaved land edit, then a copy of a map region onto the loaded map.
  run.registry->map->setTileId(9, 9, 0x77);
  run.dialogs.answerQuestion(QStringLiteral("Save"));
  run.setField("eMapCopyFrom", run.path("map1.mul"));
  run.setField("eMapCopyTo", run.path("map0.mul"));
  typeMapCopyFields(run, {"2", "0", "2", "0", "16", "16", "0", "8", "16", "16", "999"});
  run.press("btnMapCopy");
  // The edit went into the file before the copy, and the model read both back.
  QVERIFY(run.registry->map->isLoaded());
  QVERIFY(!run.registry->map->hasUnsavedChanges());
  QCOMPARE(static_cast<int>(run.registry->map->cell(9, 9)->tileId), 0x77);
  QCOMPARE(static_cast<int>(run.registry->map->cell(0, 8)->tileId), 2);
  const auto map = readBytes(run.dir.file("map0.mul"));
  QCOMPARE(static_cast<int>(quillotide::loadU16(map.data() + 196 + 4)), 2);

  // Delete Statics on the loaded pair: the model lets the files go and reads them again, empty.
  // It asks first: a cancel leaves the files as they are.
  run.setField("eStaticIdxDeletePath", run.path("staidx0.mul"));
  run.setField("eStaticMulDeletePath", run.path("statics0.mul"));
  const auto kept = readBytes(run.dir.file("statics0.mul"));
  run.dialogs.answerQuestion(QStringLiteral("Cancel"));
  run.press("btnStartStaticDelete");
  QCOMPARE(readBytes(run.dir.file("statics0.mul")), kept);
  QVERIFY(!run.registry->statics->itemsAt(3, 3).empty());
  run.dialogs.answerQuestion(QStringLiteral("Delete"));
  run.press("btnStartStaticDelete");
  QVERIFY(run.dialogs.messageTexts().last().startsWith(QStringLiteral("Every static was removed")));
  QVERIFY(run.registry->statics->isLoaded());
  QVERIFY(run.registry->statics->itemsAt(3, 3).empty());
  QVERIFY(readBytes(run.dir.file("statics0.mul")).empty());
}
