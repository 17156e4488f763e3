// The Settings page driven through its controls and the dialog seam.

#include <QCheckBox>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include "UiTestSupport.h"
#include "app/FileIO.h"
#include "models/Art.h"
#include "models/Multi.h"
#include "app/Uop.h"
#include "sample/Sample.h"
#include "ui/main/SettingsPage.h"

using quillotide::test::configWith;
using quillotide::test::ProgramRun;
using quillotide::test::readBytes;
using quillotide::test::readText;
using quillotide::test::writePair;
using quillotide::ui::ScriptedDialogs;
using quillotide::ui::SettingsPage;

class SettingsPageTest : public QObject {
  Q_OBJECT
private slots:
  void browseOfMissingFileShowsTheBoxAndChangesNothing();
  void browseStoresTheKeyAndTheField();
  void browseFiltersShowTheFieldsName();
  void loadWithAnEmptyFieldOpensNothing();
  void failedLoadShowsTheFileErrorAndTheProgramGoesOn();
  void saveAsksEachFileInOrderAndACancelWritesNothing();
  void saveOfANeverLoadedModelWritesNothingAndSaysSo();
  void lowMemoryIsReadOnceAtStart();
  void worldSizeIsCheckedBeforeMapAndStatics();
  void animationLoadShowsItsNote();
  void missingAnim4OrAnim5FileIsReportedNotNoted();
  void loadFinishesAnInterruptedSaveAndSaysSo();
  void optionsAndLaterFamilies();
  void mapAndStaticsLoadTheWorldWithTheTypedSize();
  void staticsSaveAsksForBothFilesAndACancelWritesNothing();
  void staticsSaveInLowMemoryModeWritesTheEditsIntoTheOpenFiles();
  void typedPathIsStoredWhenTheFieldIsLeftOrEnterIsPressed();
  void pairGroupTakesItsUopAndSavesEitherForm();
  void mapGroupTakesAMapUopAndConvertsBothWays();
  void uopArtInLowMemoryModeIsReadIntoMemoryAndSaysSo();
  void multisSavedAsMulSayHowManyClilocListsWereLeftOut();
};

namespace {

// The page as a person uses it: the window shown, the mouse on a button, keys into a field.
struct WorldRun : ProgramRun {
  explicit WorldRun(const std::string& configText = {}) : ProgramRun(configText) {
    quillotide::sample::writeRadarcol(dir.path());
    quillotide::sample::writeWorld(dir.path());
    mainForm->show();
    if (!QTest::qWaitForWindowExposed(mainForm.get()))
      QTest::qFail("main window not exposed", __FILE__, __LINE__);
    setField("eRadarCol", path("radarcol.mul"));
    setField("eMap", path("map0.mul"));
    setField("eStaticIdx", path("staidx0.mul"));
    setField("eStaticMul", path("statics0.mul"));
  }
  void press(const QString& name) const {
    if (auto* button = find<QAbstractButton>(name))
      QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
  }
  void type(const QString& name, const QString& text) const {
    auto* edit = find<QLineEdit>(name);
    if (!edit) return;
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
  }
  void typeSize(const QString& width, const QString& height) const {
    type("eMapWidth", width);
    type("eMapHeight", height);
  }
};

constexpr int kSide = quillotide::sample::kSampleWorldSize;

// Every land and static slot of the art equals the slot of the pair (a slot beyond either index
// is empty in both).
void sameArt(const quillotide::TArt& art, const std::string& index, const std::string& data) {
  quillotide::TArt pair;
  pair.load(index, data, quillotide::StorageMode::Memory);
  for (std::int64_t t = 0; t < 0x4000; ++t) QCOMPARE(art.landData(t), pair.landData(t));
  for (std::int64_t s = 0; s < std::max(art.staticCount(), pair.staticCount()); ++s)
    QCOMPARE(art.staticData(s), pair.staticData(s));
}

// The program ended and started again in the same folder: the files held open are closed, and
// the store and the fields are read from config.xml anew.
void restart(ProgramRun& run) {
  run.mainForm.reset();
  run.registry = std::make_unique<quillotide::Registry>();
  run.registry->config->load(run.configPath());
  run.mainForm = std::make_unique<quillotide::ui::TMainForm>(*run.registry, run.dialogs);
}

}  // namespace

void SettingsPageTest::browseOfMissingFileShowsTheBoxAndChangesNothing() {
  ProgramRun run(configWith({{"ArtIdx", "/old/artidx.mul"}}));
  run.dialogs.answerOpen(run.path("nothing-here.mul"));
  run.click("btnBrowseArtIdx");
  QCOMPARE(run.dialogs.messages().size(), 1);
  QCOMPARE(run.dialogs.messages()[0].caption, QStringLiteral("Datei nicht gefunden"));
  QCOMPARE(run.dialogs.messages()[0].text,
           QStringLiteral(
               "Diese Datei ist nicht existent. Bitte wählen sie einen gültigen Dateinamen."));
  QCOMPARE(run.find<QLineEdit>("eArtIdx")->text(), QStringLiteral("/old/artidx.mul"));
  QCOMPARE(run.registry->config->getString("ArtIdx"), std::string("/old/artidx.mul"));
  QVERIFY(!quillotide::fileExists(run.configPath()) ||
          readText(run.configPath()).find("nothing-here") == std::string::npos);

  // A cancelled dialog changes nothing and shows nothing.
  run.dialogs.answerOpen(std::nullopt);
  run.click("btnBrowseArtIdx");
  QCOMPARE(run.dialogs.messages().size(), 1);
  QCOMPARE(run.find<QLineEdit>("eArtIdx")->text(), QStringLiteral("/old/artidx.mul"));
}

void SettingsPageTest::browseStoresTheKeyAndTheField() {
  ProgramRun run;
  quillotide::test::writeText(run.dir.file("hues.mul"), "x");
  run.dialogs.answerOpen(run.path("hues.mul"));
  run.click("btnBrowseHues");
  QCOMPARE(run.find<QLineEdit>("eHues")->text(), run.path("hues.mul"));
  // Written to config.xml at once.
  const std::string text = readText(run.configPath());
  QVERIFY(text.find("<config key=\"Hues\" value=\"" + run.dir.file("hues.mul") + "\" />\r\n") !=
          std::string::npos);
  QVERIFY(run.dialogs.messages().isEmpty());
}

void SettingsPageTest::browseFiltersShowTheFieldsName() {
  ProgramRun run;
  for (const char* button : {"btnBrowseArtIdx", "btnBrowseTexMul", "btnBrowseStaticIdx",
                             "btnBrowseMap", "btnBrowseProgressIdx"}) {
    run.dialogs.answerOpen(std::nullopt);
    run.click(button);
  }
  const auto& asked = run.dialogs.asked();
  QCOMPARE(asked.size(), 5);
  // A group that also takes a container offers it beside its own file.
  QCOMPARE(asked[0].filter,
           QStringLiteral("Artidx.mul|Artidx.mul|artLegacyMUL.uop|artLegacyMUL.uop"));
  QCOMPARE(asked[1].filter, QStringLiteral("Texmaps.mul|Texmaps.mul"));
  QCOMPARE(asked[2].filter, QStringLiteral("Staidx*.mul|Staidx*.mul"));
  QCOMPARE(asked[3].filter,
           QStringLiteral("Map*.mul|Map*.mul|map*LegacyMUL.uop|map*LegacyMUL.uop"));
  QCOMPARE(asked[4].filter, QStringLiteral("Progress.idx|Progress.idx"));
  for (const auto& a : asked) QCOMPARE(a.kind, ScriptedDialogs::Kind::OpenFile);
}

void SettingsPageTest::loadWithAnEmptyFieldOpensNothing() {
  ProgramRun run;
  writePair(run.dir.file("artidx.mul"), run.dir.file("art.mul"));
  run.setField("eArtIdx", run.path("artidx.mul"));
  QSignalSpy artLoaded(run.mainForm.get(), &quillotide::ui::TMainForm::artLoaded);
  run.click("btnLoadArt");
  QVERIFY(!run.registry->art->isLoaded());
  // The art lists are rebuilt all the same and show the unloaded model; the user is told why
  // nothing was loaded.
  QCOMPARE(artLoaded.count(), 1);
  QCOMPARE(run.dialogs.messageTexts(),
           QStringList({"Nothing was loaded: enter the path of Art.mul first."}));

  // The groups without lists do nothing at all; tile data fills its lists in any case.
  QSignalSpy huesLoaded(run.mainForm.get(), &quillotide::ui::TMainForm::huesLoaded);
  QSignalSpy tiledataLoaded(run.mainForm.get(), &quillotide::ui::TMainForm::tiledataLoaded);
  run.click("btnLoadHues");
  run.click("btnLoadTiledata");
  QCOMPARE(huesLoaded.count(), 0);
  QCOMPARE(tiledataLoaded.count(), 1);
  QVERIFY(!run.registry->tiledata->isLoaded());
  QCOMPARE(run.dialogs.messageTexts(),
           QStringList({"Nothing was loaded: enter the path of Art.mul first.",
                        "Nothing was loaded: enter the path of Hues.mul first.",
                        "Nothing was loaded: enter the path of Tiledata.mul first."}));

  // Save of a group that holds nothing says so before any file is asked for.
  run.click("btnSaveHues");
  QCOMPARE(run.dialogs.messageTexts().last(),
           QStringLiteral("Nothing was written: Hues is not loaded."));
}

void SettingsPageTest::failedLoadShowsTheFileErrorAndTheProgramGoesOn() {
  ProgramRun run;
  run.setField("eArtIdx", run.path("missing-artidx.mul"));
  run.setField("eArtMul", run.path("missing-art.mul"));
  QSignalSpy artLoaded(run.mainForm.get(), &quillotide::ui::TMainForm::artLoaded);
  run.click("btnLoadArt");
  QCOMPARE(run.dialogs.messages().size(), 1);
  QVERIFY2(run.dialogs.messages()[0].text.startsWith("Cannot open file "),
           qPrintable(run.dialogs.messages()[0].text));
  QCOMPARE(artLoaded.count(), 0);
  QVERIFY(!run.registry->art->isLoaded());

  // The next action runs as usual.
  writePair(run.dir.file("artidx.mul"), run.dir.file("art.mul"));
  run.setField("eArtIdx", run.path("artidx.mul"));
  run.setField("eArtMul", run.path("art.mul"));
  run.click("btnLoadArt");
  QVERIFY(run.registry->art->isLoaded());
  QCOMPARE(artLoaded.count(), 1);
  QCOMPARE(run.dialogs.messages().size(), 1);
}

void SettingsPageTest::saveAsksEachFileInOrderAndACancelWritesNothing() {
  ProgramRun run;
  writePair(run.dir.file("artidx.mul"), run.dir.file("art.mul"));
  run.setField("eArtIdx", run.path("artidx.mul"));
  run.setField("eArtMul", run.path("art.mul"));
  run.click("btnLoadArt");
  QVERIFY(run.registry->art->isLoaded());

  run.dialogs.answerSave(run.path("out-idx.mul"));
  run.dialogs.answerSave(std::nullopt);
  run.click("btnSaveArt");
  const auto& asked = run.dialogs.asked();
  QCOMPARE(asked.size(), 2);
  QCOMPARE(asked[0].kind, ScriptedDialogs::Kind::SaveFile);
  QCOMPARE(asked[0].filter, QStringLiteral("Artidx.mul|Artidx.mul"));
  QCOMPARE(asked[1].filter, QStringLiteral("Art.mul|Art.mul"));
  // Each dialog proposes the file the model loaded, in its folder.
  QCOMPARE(asked[0].proposed, run.path("artidx.mul"));
  QCOMPARE(asked[1].proposed, run.path("art.mul"));
  QCOMPARE(asked[0].folder, QString::fromStdString(run.dir.path()));
  QVERIFY(!quillotide::fileExists(run.dir.file("out-idx.mul")));
  QVERIFY(!quillotide::fileExists(run.dir.file("out.mul")));

  run.dialogs.answerSave(run.path("out-idx.mul"));
  run.dialogs.answerSave(run.path("out.mul"));
  run.click("btnSaveArt");
  QCOMPARE(quillotide::test::readBytes(run.dir.file("out-idx.mul")),
           quillotide::test::readBytes(run.dir.file("artidx.mul")));
  QCOMPARE(quillotide::test::readBytes(run.dir.file("out.mul")),
           quillotide::test::readBytes(run.dir.file("art.mul")));
  // The chosen paths are neither stored nor shown.
  QCOMPARE(run.find<QLineEdit>("eArtIdx")->text(), run.path("artidx.mul"));
  QVERIFY(run.dialogs.messages().isEmpty());

  // Both files of a pair pointed at one target would destroy each other.
  run.dialogs.answerSave(run.path("same.mul"));
  run.dialogs.answerSave(run.path("same.mul"));
  run.click("btnSaveArt");
  QCOMPARE(run.dialogs.messages().size(), 1);
  QVERIFY(!quillotide::fileExists(run.dir.file("same.mul")));
}

void SettingsPageTest::saveOfANeverLoadedModelWritesNothingAndSaysSo() {
  ProgramRun run;
  run.click("btnSaveHues");
  run.click("btnSaveGumps");
  // Said before a file is asked for: there is nothing to write.
  QVERIFY(run.dialogs.asked().isEmpty());
  QCOMPARE(run.dialogs.messageTexts(),
           QStringList({"Nothing was written: Hues is not loaded.",
                        "Nothing was written: Gumps is not loaded."}));
  for (const auto& m : run.dialogs.messages()) QCOMPARE(m.icon, quillotide::ui::MessageIcon::Error);
  for (const char* name : {"hues.mul", "gumpidx.mul", "gumpart.mul"})
    QVERIFY(!quillotide::fileExists(run.dir.file(name)));
}

void SettingsPageTest::lowMemoryIsReadOnceAtStart() {
  {
    ProgramRun run;
    auto* box = run.find<QCheckBox>("cbLowMemory");
    QVERIFY(!box->isChecked());
    box->click();
    QVERIFY(run.registry->config->getBool("LowMemory"));
    QVERIFY(!run.registry->lowMemory);
    // The save of this run still writes the memory copies.
    writePair(run.dir.file("texidx.mul"), run.dir.file("texmaps.mul"));
    run.setField("eTexIdx", run.path("texidx.mul"));
    run.setField("eTexMul", run.path("texmaps.mul"));
    run.click("btnLoadTextures");
    run.dialogs.answerSave(run.path("t1.mul"));
    run.dialogs.answerSave(run.path("t2.mul"));
    run.click("btnSaveTextures");
    QVERIFY(quillotide::fileExists(run.dir.file("t1.mul")));
    QVERIFY(quillotide::fileExists(run.dir.file("t2.mul")));
  }
  {
    ProgramRun run(configWith({{"LowMemory", "-1"}}));
    QVERIFY(run.registry->lowMemory);
    QVERIFY(run.find<QCheckBox>("cbLowMemory")->isChecked());
    run.find<QCheckBox>("cbLowMemory")->click();
    QVERIFY(!run.registry->config->getBool("LowMemory"));
    QVERIFY(run.registry->lowMemory);
    // In low-memory mode the files already hold every change: the save asks for no target,
    // writes nothing and says so.
    writePair(run.dir.file("artidx.mul"), run.dir.file("art.mul"));
    run.setField("eArtIdx", run.path("artidx.mul"));
    run.setField("eArtMul", run.path("art.mul"));
    run.click("btnLoadArt");
    const auto index = quillotide::test::readBytes(run.dir.file("artidx.mul"));
    run.click("btnSaveArt");
    QVERIFY(run.dialogs.asked().isEmpty());
    QVERIFY(quillotide::test::readBytes(run.dir.file("artidx.mul")) == index);
    QCOMPARE(run.dialogs.messages().size(), 1);
    QVERIFY(run.dialogs.messages()[0].text.contains("Low Memory"));
  }
}

void SettingsPageTest::worldSizeIsCheckedBeforeMapAndStatics() {
  ProgramRun run(configWith({{"MapWidth", "6144"}}));
  QCOMPARE(run.find<QLineEdit>("eMapWidth")->text(), QStringLiteral("6144"));
  quillotide::test::writeText(run.dir.file("map0.mul"), "x");
  run.setField("eMap", run.path("map0.mul"));
  run.setField("eStaticIdx", run.path("map0.mul"));
  run.setField("eStaticMul", run.path("map0.mul"));

  const QStringList refused = {"", "abc", "4", "0", "-8", "7"};
  for (const QString& height : refused) {
    run.dialogs.clear();
    run.setField("eMapHeight", height);
    run.click("btnLoadMap");
    run.click("btnLoadStatics");
    QCOMPARE(run.dialogs.messageTexts(),
             QStringList({SettingsPage::kSizeMessage, SettingsPage::kSizeMessage}));
  }
  run.dialogs.clear();
  run.setField("eMapHeight", "0x1000");
  run.click("btnLoadMap");
  QCOMPARE(run.dialogs.messages().size(), 1);
  QVERIFY(run.dialogs.messages()[0].text != SettingsPage::kSizeMessage);
  QCOMPARE(run.mainForm->settingsPage()->worldSize()->height, 4096);

  // Typing stores the key on every change.
  auto* width = run.find<QLineEdit>("eMapWidth");
  width->clear();
  QTest::keyClicks(width, "7168");
  QCOMPARE(run.registry->config->getString("MapWidth"), std::string("7168"));
}

void SettingsPageTest::animationLoadShowsItsNote() {
  ProgramRun run;
  writePair(run.dir.file("anim.idx"), run.dir.file("anim.mul"), 30);
  writePair(run.dir.file("anim3.idx"), run.dir.file("anim3.mul"), 30);
  run.setField("eAnimIdx", run.path("anim.idx"));
  run.setField("eAnimMul", run.path("anim.mul"));
  run.setField("eAnim3Idx", run.path("anim3.idx"));
  run.setField("eAnim3Mul", run.path("anim3.mul"));
  QSignalSpy loaded(run.mainForm.get(), &quillotide::ui::TMainForm::animationLoaded);
  run.click("btnLoadAnim");
  run.click("btnLoadAnim3");
  QCOMPARE(run.dialogs.messageTexts(),
           QStringList({"New Version does not load Anim.mul into Memory anymore, but writes "
                        "directly into Anim.mul File. So make a backup before.",
                        "New Version does not load Anim3.mul into Memory anymore, but writes "
                        "directly into Anim3.mul File. So make a backup before."}));
  QCOMPARE(loaded.count(), 2);
  QCOMPARE(loaded[1][0].toInt(), 3);
  QVERIFY(run.registry->animation->isLoaded());
  QVERIFY(run.registry->anim3->isLoaded());
  QVERIFY(!run.registry->anim2->isLoaded());
  // The animation groups have no Save button.
  QVERIFY(!run.mainForm->findChild<QAbstractButton*>("btnSaveAnim"));

  // An empty field opens nothing, yet the list is rebuilt and the note shown all the same.
  run.setField("eAnim2Idx", run.path("anim2.idx"));
  run.click("btnLoadAnim2");
  QCOMPARE(loaded.count(), 3);
  QCOMPARE(loaded[2][0].toInt(), 2);
  QVERIFY(!run.registry->anim2->isLoaded());
  QCOMPARE(run.dialogs.messageTexts().size(), 4);
  QCOMPARE(run.dialogs.messageTexts()[2],
           QStringLiteral("Nothing was loaded: enter the path of Anim2.mul first."));
  QVERIFY(run.dialogs.messageTexts()[3].contains("directly into Anim2.mul"));
}

void SettingsPageTest::missingAnim4OrAnim5FileIsReportedNotNoted() {
  ProgramRun run;
  run.mainForm->show();
  QVERIFY(QTest::qWaitForWindowExposed(run.mainForm.get()));
  writePair(run.dir.file("anim4.idx"), run.dir.file("anim4.mul"), 30);
  QSignalSpy loaded(run.mainForm.get(), &quillotide::ui::TMainForm::animationLoaded);
  const auto press = [&](const char* name) {
    auto* button = run.find<QAbstractButton>(name);
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
  };
  // A loaded Anim4 stays as it was when its next load names a file that is not there.
  run.setField("eAnim4Idx", run.path("anim4.idx"));
  run.setField("eAnim4Mul", run.path("anim4.mul"));
  press("btnLoadAnim4");
  QVERIFY(run.registry->anim4->isLoaded());
  QCOMPARE(run.dialogs.messageTexts(), QStringList({quillotide::ui::animationNote("Anim4.mul")}));
  QCOMPARE(loaded.count(), 1);

  run.dialogs.clear();
  run.setField("eAnim4Mul", run.path("missing4.mul"));
  press("btnLoadAnim4");
  run.setField("eAnim5Idx", run.path("missing5.idx"));
  run.setField("eAnim5Mul", run.path("anim4.mul"));
  press("btnLoadAnim5");
  QCOMPARE(run.dialogs.messageTexts(),
           QStringList({"Cannot open file " + run.path("missing4.mul"),
                        "Cannot open file " + run.path("missing5.idx")}));
  for (const auto& m : run.dialogs.messages()) QCOMPARE(m.icon, quillotide::ui::MessageIcon::Error);
  QCOMPARE(loaded.count(), 1);
  QVERIFY(run.registry->anim4->isLoaded());
  QVERIFY(!run.registry->anim5->isLoaded());
}

void SettingsPageTest::optionsAndLaterFamilies() {
  ProgramRun run(configWith({{"Win98", "True"}}));
  auto* win98 = run.find<QCheckBox>("cbWin98");
  QVERIFY(win98->isChecked());
  QSignalSpy changed(run.mainForm.get(), &quillotide::ui::TMainForm::win98Changed);
  win98->click();
  QCOMPARE(run.registry->config->getString("Win98"), std::string("0"));
  QCOMPARE(changed.count(), 1);

}

void SettingsPageTest::loadFinishesAnInterruptedSaveAndSaysSo() {
  ProgramRun run;
  const std::string idx = run.dir.file("artidx.mul"), mul = run.dir.file("art.mul");
  writePair(idx, mul, 0x4010);
  const auto saved = quillotide::test::generatePair(0x4020, 30, 5);
  quillotide::test::writeInterruptedSave(idx, saved.index, mul, saved.data);
  run.setField("eArtIdx", run.path("artidx.mul"));
  run.setField("eArtMul", run.path("art.mul"));
  run.click("btnLoadArt");
  QVERIFY(run.registry->art->isLoaded());
  QCOMPARE(run.dialogs.messageTexts(),
           QStringList{QString::fromStdString("An earlier save of " + idx + " and " + mul +
                                              " stopped half-way; it has now been completed.")});
  QCOMPARE(run.registry->art->recordCount(), 0x4020);
  QVERIFY(quillotide::test::readBytes(mul) == saved.data);
  QVERIFY(!quillotide::fileExists(idx + ".commit"));
}

void SettingsPageTest::mapAndStaticsLoadTheWorldWithTheTypedSize() {
  {
    WorldRun run;
    run.typeSize("256", "256");
    QCOMPARE(run.registry->config->getString("MapHeight"), std::string("256"));
    QSignalSpy mapLoaded(run.mainForm.get(), &quillotide::ui::TMainForm::mapLoaded);
    QSignalSpy staticsLoaded(run.mainForm.get(), &quillotide::ui::TMainForm::staticsLoaded);
    run.press("btnLoadRadarcol");
    run.press("btnLoadMap");
    run.press("btnLoadStatics");
    QVERIFY2(run.dialogs.messages().isEmpty(), qPrintable(run.dialogs.messageTexts().join('\n')));
    QCOMPARE(mapLoaded.count(), 1);
    QCOMPARE(staticsLoaded.count(), 1);
    QVERIFY(run.registry->map->isLoaded());
    QCOMPARE(run.registry->map->width(), kSide);
    QCOMPARE(run.registry->map->height(), kSide);
    QVERIFY(run.registry->statics->isLoaded());
    QCOMPARE(run.registry->statics->width(), kSide);
    QCOMPARE(run.registry->statics->height(), kSide);
    QCOMPARE(run.registry->statics->mode(), quillotide::StorageMode::Memory);
    QVERIFY(!run.registry->statics->getItemsInRect(0, kSide - 1, 0, kSide - 1).empty());

    // A size that does not parse loads nothing: the world loaded before stays as it was.
    run.type("eMapWidth", "25x6");
    run.press("btnLoadMap");
    run.press("btnLoadStatics");
    QCOMPARE(run.dialogs.messageTexts(),
             QStringList({"Width or Height incorrect or missing (before ML: 6144x4096).",
                          "Width or Height incorrect or missing (before ML: 6144x4096)."}));
    QCOMPARE(mapLoaded.count(), 1);
    QCOMPARE(staticsLoaded.count(), 1);
    QCOMPARE(run.registry->map->width(), kSide);
    QCOMPARE(run.registry->statics->width(), kSide);
  }
  {
    WorldRun run;
    run.typeSize("abc", "256");
    run.press("btnLoadMap");
    run.press("btnLoadStatics");
    QCOMPARE(run.dialogs.messageTexts(),
             QStringList({SettingsPage::kSizeMessage, SettingsPage::kSizeMessage}));
    QVERIFY(!run.registry->map->isLoaded());
    QVERIFY(!run.registry->statics->isLoaded());

    // Without radar colours the map opens all the same and says that its overview is missing.
    run.dialogs.clear();
    run.type("eMapWidth", "256");
    run.press("btnLoadMap");
    QCOMPARE(run.dialogs.messageTexts(), QStringList({"Radarcol not Loaded."}));
    QVERIFY(run.registry->map->isLoaded());
  }
}

void SettingsPageTest::staticsSaveAsksForBothFilesAndACancelWritesNothing() {
  WorldRun run;
  run.typeSize("256", "256");
  run.press("btnLoadStatics");
  QVERIFY(run.registry->statics->isLoaded());
  const auto before = quillotide::test::readBytes(run.dir.file("staidx0.mul"));
  const std::int32_t serial = run.registry->statics->add(0x0EED, 20, 30, 5, 0x21);
  QVERIFY(serial > 0);

  run.dialogs.answerSave(run.path("out-staidx.mul"));
  run.dialogs.answerSave(std::nullopt);
  run.press("btnSaveStatics");
  const auto& asked = run.dialogs.asked();
  QCOMPARE(asked.size(), 2);
  QCOMPARE(asked[0].kind, ScriptedDialogs::Kind::SaveFile);
  QCOMPARE(asked[0].filter, QStringLiteral("Staidx*.mul|Staidx*.mul"));
  QCOMPARE(asked[1].filter, QStringLiteral("Statics*.mul|Statics*.mul"));
  QVERIFY(!quillotide::fileExists(run.dir.file("out-staidx.mul")));
  QVERIFY(!quillotide::fileExists(run.dir.file("out-statics.mul")));
  QVERIFY(run.dialogs.messages().isEmpty());

  run.dialogs.answerSave(run.path("out-staidx.mul"));
  run.dialogs.answerSave(run.path("out-statics.mul"));
  run.press("btnSaveStatics");
  QCOMPARE(run.dialogs.messageTexts(), QStringList({"1 Static-Blocks Patched."}));
  // The loaded files are left alone; the chosen ones hold the added static.
  QVERIFY(quillotide::test::readBytes(run.dir.file("staidx0.mul")) == before);
  quillotide::TStatics saved;
  saved.open(run.dir.file("out-staidx.mul"), run.dir.file("out-statics.mul"), kSide, kSide,
             quillotide::StorageMode::Memory);
  bool found = false;
  for (const quillotide::TItem& s : saved.getItemsInRect(20, 20, 30, 30))
    found = found || (s.tileId == 0x0EED && s.z == 5 && s.hue == 0x21);
  QVERIFY(found);
  // The chosen paths are neither stored nor shown.
  QCOMPARE(run.find<QLineEdit>("eStaticIdx")->text(), run.path("staidx0.mul"));

  // Accepting what the dialogs propose, the loaded files themselves, writes the edit into them.
  run.registry->statics->add(0x0EEE, 21, 31, 6, 0);
  run.dialogs.clear();
  run.dialogs.answerSave(run.path("staidx0.mul"));
  run.dialogs.answerSave(run.path("statics0.mul"));
  run.press("btnSaveStatics");
  QCOMPARE(run.dialogs.asked()[0].proposed, run.path("staidx0.mul"));
  QCOMPARE(run.dialogs.asked()[1].proposed, run.path("statics0.mul"));
  QCOMPARE(run.dialogs.messageTexts(), QStringList({"1 Static-Blocks Patched."}));
  quillotide::TStatics loaded;
  loaded.open(run.dir.file("staidx0.mul"), run.dir.file("statics0.mul"), kSide, kSide,
              quillotide::StorageMode::Memory);
  QCOMPARE(loaded.itemsAt(21, 31).size(), std::size_t{1});
  QCOMPARE(loaded.itemsAt(21, 31)[0].tileId, std::uint16_t{0x0EEE});
}

void SettingsPageTest::staticsSaveInLowMemoryModeWritesTheEditsIntoTheOpenFiles() {
  const std::string config =
      configWith({{"LowMemory", "-1"}, {"MapWidth", "256"}, {"MapHeight", "256"}});
  WorldRun run(config);
  run.press("btnLoadStatics");
  QVERIFY(run.registry->statics->isLoaded());
  QCOMPARE(run.registry->statics->mode(), quillotide::StorageMode::LowMemory);
  // What the editor's adds and deletes leave in the list until Save.
  run.registry->statics->add(0x0EED, 20, 30, 5, 0x21);
  const std::vector<quillotide::TItem> old = run.registry->statics->itemsAt(110, 166);
  QVERIFY(!old.empty());
  run.registry->statics->remove(old[0].serial);
  const auto index = quillotide::test::readBytes(run.dir.file("staidx0.mul"));

  // Save asks for no target: the files it holds open are the ones that change.
  run.press("btnSaveStatics");
  QVERIFY(run.dialogs.asked().isEmpty());
  QCOMPARE(run.dialogs.messageTexts(), QStringList({"2 Static-Blocks Patched."}));
  QVERIFY(!run.registry->statics->hasUnsavedChanges());
  QVERIFY(quillotide::test::readBytes(run.dir.file("staidx0.mul")) != index);

  // After a restart the files hold the edits.
  restart(run);
  run.setField("eStaticIdx", run.path("staidx0.mul"));
  run.setField("eStaticMul", run.path("statics0.mul"));
  run.click("btnLoadStatics");
  QCOMPARE(run.registry->statics->mode(), quillotide::StorageMode::LowMemory);
  const std::vector<quillotide::TItem> added = run.registry->statics->itemsAt(20, 30);
  QCOMPARE(added.size(), std::size_t{1});
  QCOMPARE(added[0].tileId, std::uint16_t{0x0EED});
  QCOMPARE(added[0].hue, std::uint16_t{0x21});
  QCOMPARE(run.registry->statics->itemsAt(110, 166).size(), old.size() - 1);

  // Nothing changed: nothing is written, and the files stay as they are.
  const auto saved = quillotide::test::readBytes(run.dir.file("statics0.mul"));
  run.dialogs.clear();
  run.click("btnSaveStatics");
  QCOMPARE(run.dialogs.messageTexts(), QStringList({"0 Static-Blocks Patched."}));
  run.click("btnSaveStatics");
  QVERIFY(run.dialogs.messageTexts().last().contains("Low Memory"));
  QVERIFY(run.dialogs.asked().isEmpty());
  QVERIFY(quillotide::test::readBytes(run.dir.file("statics0.mul")) == saved);
}

void SettingsPageTest::typedPathIsStoredWhenTheFieldIsLeftOrEnterIsPressed() {
  ProgramRun run;
  quillotide::sample::writeHues(run.dir.path());
  quillotide::sample::writeTiledata(run.dir.path());
  run.mainForm->show();
  QVERIFY(QTest::qWaitForWindowExposed(run.mainForm.get()));
  run.mainForm->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(run.mainForm.get()));

  // Enter stores the path as a browse does: under its key and in config.xml at once.
  run.typeInto("eHues", run.path("hues.mul"));
  QCOMPARE(run.registry->config->getString("Hues"), run.dir.file("hues.mul"));
  QVERIFY(readText(run.configPath()).find(run.dir.file("hues.mul")) != std::string::npos);

  // Leaving the field by a click elsewhere stores it too; the load that follows uses it.
  auto* field = run.find<QLineEdit>("eTiledata");
  QTest::mouseClick(field, Qt::LeftButton);
  QTest::keyClicks(field, run.path("tiledata.mul"));
  run.press("btnLoadTiledata");
  QCOMPARE(run.registry->config->getString("Tiledata"), run.dir.file("tiledata.mul"));
  QVERIFY(run.registry->tiledata->isLoaded());

  // A file that is not there is said once, as for a browse, and not stored.
  run.typeInto("eHues", run.path("missing.mul"));
  QCOMPARE(run.dialogs.messages().size(), 1);
  QCOMPARE(run.dialogs.messages()[0].caption, QStringLiteral("Datei nicht gefunden"));
  QTest::keyClick(run.find<QLineEdit>("eHues"), Qt::Key_Enter);
  QCOMPARE(run.dialogs.messages().size(), 1);
  QCOMPARE(run.registry->config->getString("Hues"), run.dir.file("hues.mul"));
  QCOMPARE(run.find<QLineEdit>("eHues")->text(), run.path("missing.mul"));
  // The next start shows what was stored.
  restart(run);
  QCOMPARE(run.find<QLineEdit>("eTiledata")->text(), run.path("tiledata.mul"));
  QCOMPARE(run.find<QLineEdit>("eHues")->text(), run.path("hues.mul"));
}

void SettingsPageTest::pairGroupTakesItsUopAndSavesEitherForm() {
  ProgramRun run;
  quillotide::test::TempDir sample, out;
  run.useSampleFiles(sample.path());
  run.mainForm->show();
  QVERIFY(QTest::qWaitForWindowExposed(run.mainForm.get()));
  QCOMPARE(run.find<QLabel>("lFormArt")->text(), QStringLiteral("MUL"));
  run.press("btnLoadArt");
  QVERIFY(run.registry->art->isLoaded() && !run.registry->art->isUop());

  // "Save as UOP": one dialog, for the container, proposed beside the pair loaded.
  const QString uop = QString::fromStdString(out.file("artLegacyMUL.uop"));
  run.dialogs.answerSave(uop);
  run.press("btnSaveAsUopArt");
  QCOMPARE(run.dialogs.asked().size(), 1);
  QCOMPARE(run.dialogs.asked()[0].title, QStringLiteral("Save artLegacyMUL.uop"));
  QCOMPARE(run.dialogs.asked()[0].filter, QStringLiteral("artLegacyMUL.uop|artLegacyMUL.uop"));
  QCOMPARE(run.dialogs.asked()[0].proposed,
           QString::fromStdString(sample.file("artLegacyMUL.uop")));
  QVERIFY(quillotide::fileExists(uop.toStdString()));

  // The container chosen for either field stands for the whole pair.
  run.dialogs.answerOpen(uop);
  run.press("btnBrowseArtMul");
  QCOMPARE(run.find<QLineEdit>("eArtIdx")->text(), uop);
  QCOMPARE(run.find<QLineEdit>("eArtMul")->text(), uop);
  QVERIFY(!run.find<QLineEdit>("eArtMul")->isEnabled());
  QCOMPARE(run.find<QLabel>("lFormArt")->text(), QStringLiteral("UOP"));
  QCOMPARE(run.registry->config->getString("ArtIdx"), uop.toStdString());
  QCOMPARE(run.registry->config->getString("ArtMul"), uop.toStdString());

  // Loaded, it holds every slot of the pair it was written from.
  run.press("btnLoadArt");
  QVERIFY(run.registry->art->isUop());
  sameArt(*run.registry->art, sample.file("artidx.mul"), sample.file("art.mul"));

  // "Save" writes the form loaded: the container, proposed where it was read, byte for byte.
  const QString copy = QString::fromStdString(out.file("copy.uop"));
  run.dialogs.answerSave(copy);
  run.press("btnSaveArt");
  QCOMPARE(run.dialogs.asked().size(), 3);
  QCOMPARE(run.dialogs.asked()[2].title, QStringLiteral("Save artLegacyMUL.uop"));
  QCOMPARE(run.dialogs.asked()[2].proposed, uop);
  QCOMPARE(readBytes(copy.toStdString()), readBytes(uop.toStdString()));

  // "Save as MUL": both files, named beside the container, the same bytes as the pair.
  run.dialogs.answerSave(QString::fromStdString(out.file("artidx.mul")));
  run.dialogs.answerSave(QString::fromStdString(out.file("art.mul")));
  run.press("btnSaveAsMulArt");
  QCOMPARE(run.dialogs.asked().size(), 5);
  QCOMPARE(run.dialogs.asked()[3].proposed, QString::fromStdString(out.file("Artidx.mul")));
  QCOMPARE(run.dialogs.asked()[4].proposed, QString::fromStdString(out.file("Art.mul")));
  QVERIFY(run.dialogs.messages().isEmpty());
  quillotide::TArt written;
  written.load(out.file("artidx.mul"), out.file("art.mul"), quillotide::StorageMode::Memory);
  sameArt(written, sample.file("artidx.mul"), sample.file("art.mul"));

  // A pair typed in place of the container frees the data field, which no longer names it.
  run.typeInto("eArtIdx", QString::fromStdString(out.file("artidx.mul")));
  QVERIFY(run.find<QLineEdit>("eArtMul")->isEnabled());
  QVERIFY(run.find<QLineEdit>("eArtMul")->text().isEmpty());
  QCOMPARE(run.find<QLabel>("lFormArt")->text(), QStringLiteral("MUL"));
  QCOMPARE(run.registry->config->getString("ArtMul"), std::string());
}

void SettingsPageTest::mapGroupTakesAMapUopAndConvertsBothWays() {
  WorldRun run;
  quillotide::test::TempDir out;
  run.press("btnLoadRadarcol");
  run.typeSize(QString::number(kSide), QString::number(kSide));
  run.press("btnLoadMap");
  QVERIFY(run.registry->map->isLoaded());
  QVERIFY(!run.find<QAbstractButton>("btnLoadMap")->parentWidget()->findChild<QAbstractButton*>(
      "btnSaveMap"));

  const QString uop = QString::fromStdString(out.file("map0LegacyMUL.uop"));
  run.dialogs.answerSave(uop);
  run.press("btnSaveAsUopMap");
  QCOMPARE(run.dialogs.asked().last().title, QStringLiteral("Save map0LegacyMUL.uop"));
  QCOMPARE(run.dialogs.asked().last().filter,
           QStringLiteral("map*LegacyMUL.uop|map*LegacyMUL.uop"));
  QCOMPARE(run.dialogs.asked().last().proposed, run.path("map0LegacyMUL.uop"));

  run.dialogs.answerOpen(uop);
  run.press("btnBrowseMap");
  QCOMPARE(run.find<QLabel>("lFormMap")->text(), QStringLiteral("UOP"));
  run.press("btnLoadMap");
  QVERIFY(run.registry->map->isUop());
  QCOMPARE(run.registry->map->width(), kSide);

  // Back to a map file, named as the client names the map of that number.
  run.dialogs.answerSave(QString::fromStdString(out.file("map0.mul")));
  run.press("btnSaveAsMulMap");
  QCOMPARE(run.dialogs.asked().last().title, QStringLiteral("Save Map0.mul"));
  QCOMPARE(run.dialogs.asked().last().proposed, QString::fromStdString(out.file("map0.mul")));
  QCOMPARE(readBytes(out.file("map0.mul")), readBytes(run.dir.file("map0.mul")));
  QCOMPARE(run.dialogs.messageTexts().join("\n"), QString());
}

void SettingsPageTest::uopArtInLowMemoryModeIsReadIntoMemoryAndSaysSo() {
  quillotide::test::TempDir sample;
  quillotide::sample::writeSampleSet(sample.path());
  {
    quillotide::TArt art;
    art.load(sample.file("artidx.mul"), sample.file("art.mul"), quillotide::StorageMode::Memory);
    art.saveUop(sample.file("artLegacyMUL.uop"));
  }
  const std::string uop = sample.file("artLegacyMUL.uop");
  ProgramRun run(configWith({{"LowMemory", "-1"}, {"ArtIdx", uop}, {"ArtMul", uop}}));
  run.press("btnLoadArt");
  QVERIFY(run.registry->art->isUop());
  QCOMPARE(run.registry->art->mode(), quillotide::StorageMode::Memory);
  QCOMPARE(run.dialogs.messages().size(), 1);
  QVERIFY(run.dialogs.messageTexts().first().contains("memory", Qt::CaseInsensitive));
  // Held in memory, its Save asks where to write rather than saying nothing was written.
  run.dialogs.answerSave(QString::fromStdString(sample.file("again.uop")));
  run.press("btnSaveArt");
  QCOMPARE(readBytes(sample.file("again.uop")), readBytes(uop));
}

void SettingsPageTest::multisSavedAsMulSayHowManyClilocListsWereLeftOut() {
  quillotide::test::TempDir dir;
  const std::vector<quillotide::MultiComponent> door = {{0x6A5, 0, 0, 0, 257, {1041205, 500}},
                                                        {0x6A6, 1, 0, 0, 1, {}}};
  quillotide::UopContainer made = quillotide::UopContainer::create();
  made.setPayload(quillotide::uopHash(quillotide::uopEntryName(quillotide::UopFamily::Multi, 2)),
                  quillotide::encodeUopMulti(2, door), true);
  made.save(dir.file("MultiCollection.uop"));
  const std::string uop = dir.file("MultiCollection.uop");
  ProgramRun run(configWith({{"MultiIdx", uop}, {"MultiMul", uop}}));
  run.press("btnLoadMultis");
  QVERIFY(run.registry->multis->isUop());
  run.dialogs.answerSave(QString::fromStdString(dir.file("multi.idx")));
  run.dialogs.answerSave(QString::fromStdString(dir.file("multi.mul")));
  run.press("btnSaveAsMulMultis");
  QCOMPARE(run.dialogs.asked()[0].proposed, QString::fromStdString(dir.file("Multi.idx")));
  QCOMPARE(run.dialogs.messageTexts(),
           QStringList(quillotide::ui::droppedClilocMessage(1, "multi.mul")));
  // Every tile is in the pair, with its flags in the MUL form's terms (0x101: flags 0, further 1).
  quillotide::TMulti pair;
  pair.load(dir.file("multi.idx"), dir.file("multi.mul"));
  const auto components = pair.components(2);
  QCOMPARE(components.size(), std::size_t(2));
  QCOMPARE(components[0].flags, 0u);
  QCOMPARE(components[0].further, 1u);
  QCOMPARE(components[1].id, std::uint16_t(0x6A6));
}

QTEST_MAIN(SettingsPageTest)
#include "SettingsPageTest.moc"
