// The world tools of the "Features" page driven as a person does: the world loaded on the
// settings page, fields typed, buttons clicked, dialogs and questions answered through the seam.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "UiTestSupport.h"
#include "app/FileIO.h"
#include "app/Image.h"
#include "support/WorldFiles.h"

using quillotide::test::ProgramRun;
using quillotide::test::readBytes;
using quillotide::test::writeBytes;

class FeaturesWorldToolsTest : public QObject {
  Q_OBJECT
private slots:
  void radarMapAsksBeforeDroppingUnsavedEdits();
  void mergeStaticsRefusesASourceAsTarget();
  void mapCopyCreatesTheTargetFromTheTypedFields();
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
  // Saved: the edit reaches the file, the picture shows it, both models are unloaded.
  run.dialogs.answerSave(run.path("radar.bmp"));
  run.dialogs.answerQuestion(QStringLiteral("Save"));
  run.press("Button11");
  QCOMPARE(run.dialogs.messageTexts(),
           (QStringList{QStringLiteral("1 MapBlocks patched."), QStringLiteral("Done.")}));
  QVERIFY(!run.registry->map->isLoaded());
  QVERIFY(!run.registry->statics->isLoaded());
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
  const QStringList fields = {"eX1",          "eY1",         "eX2",      "eY2",
                              "eMCSrcBreite", "eMCSrcHoehe", "eTargX1",  "eTargY1",
                              "eMCTrgBreite", "eMCTrgHoehe", "eIgnoreId"};
  const QStringList values = {"2", "0", "5", "7", "16", "16", "0", "8", "8", "16", "3"};
  for (int i = 0; i < fields.size(); ++i) run.typeInto(fields[i], values[i]);
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

QTEST_MAIN(FeaturesWorldToolsTest)
#include "FeaturesWorldToolsTest.moc"
