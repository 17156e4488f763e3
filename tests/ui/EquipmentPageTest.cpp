// The "Equipment" page and "Merge Tiledata to Cliloc" driven as a person does: pictures chosen
// through the browse buttons, ids typed, boxes and buttons clicked, the layer picked with the
// keys; then what the other pages show and what the files hold.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "UiTestSupport.h"
#include "app/FileIO.h"
#include "app/Image.h"
#include "models/Cliloc.h"

using quillotide::Bitmap32;
using quillotide::makePixel;
using quillotide::test::ProgramRun;
using quillotide::test::readBytes;
using quillotide::test::writeBytes;
using quillotide::ui::MessageIcon;

class EquipmentPageTest : public QObject {
  Q_OBJECT
private slots:
  void patchShowsTheNewItemOnThePages();
  void browseRefusesAMissingFile();
  void preconditionsAndClear();
  void picturesIntoTheProgressArchive();
  void clilocMergeKeepsEntriesAndTheLoadedTiledata();
};

namespace {

const QString kMissingTitle = QStringLiteral("Datei nicht gefunden");

void loadSample(ProgramRun& run) {
  run.mainForm->useSampleSet(run.path("sample"));
  run.dialogs.clear();
  QVERIFY(run.registry->tiledata->isLoaded());
}

void clickButton(ProgramRun& run, const QString& name) {
  QTest::mouseClick(run.find<QPushButton>(name), Qt::LeftButton);
}

// A click on the box's indicator, where a person clicks.
void clickBox(ProgramRun& run, const QString& name) {
  auto* box = run.find<QCheckBox>(name);
  QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(6, box->height() / 2));
}

void typeInto(ProgramRun& run, const QString& name, const QString& text) {
  auto* field = run.find<QLineEdit>(name);
  field->setFocus();
  QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(field, Qt::Key_Backspace);
  QTest::keyClicks(field, text);
  QTest::keyClick(field, Qt::Key_Return);
}

void chooseLayer(ProgramRun& run, const QString& caption) {
  auto* layer = run.find<QComboBox>("cbEquipLayer");
  layer->setFocus();
  for (int i = 0; i < layer->count() && layer->currentText() != caption; ++i)
    QTest::keyClick(layer, Qt::Key_Down);
  QCOMPARE(layer->currentText(), caption);
}

void browse(ProgramRun& run, const QString& button, std::optional<QString> path) {
  run.dialogs.answerOpen(path);
  clickButton(run, button);
}

// The form of a robe: pictures, ids, weight, name, "Wearable", layer "Layer_OuterTorso".
void fillRobe(ProgramRun& run, const QString& suffix) {
  browse(run, "btnEquipBrowseGump", run.path("gump" + suffix.toStdString()));
  browse(run, "btnEquipBrowseGumpW", run.path("gumpw" + suffix.toStdString()));
  browse(run, "btnEquipBrowseArt", run.path("art" + suffix.toStdString()));
  typeInto(run, "eEquipGumpId", "50500");
  typeInto(run, "eEquipArtId", "0x300");
  typeInto(run, "eEquipAnimId", "0x190");
  typeInto(run, "eEquipWeight", "7");
  typeInto(run, "eEquipName", "blue robe");
  clickBox(run, "cbEquipWearable");
  clickBox(run, "cbEquipPartialHue");
  chooseLayer(run, "Layer_OuterTorso");
}

void writePictures(ProgramRun& run) {
  for (const char* ext : {".bmp", ".png"}) {
    quillotide::writeImageFile(run.dir.file(std::string("gump") + ext),
                               quillotide::test::exactPicture(20, 30, 80));
    quillotide::writeImageFile(run.dir.file(std::string("gumpw") + ext),
                               quillotide::test::exactPicture(21, 31, 120));
    quillotide::writeImageFile(run.dir.file(std::string("art") + ext),
                               quillotide::test::exactPicture(12, 14, 160));
  }
}

// The line of the list whose text is `label`; -1 when there is none.
int lineOf(ProgramRun& run, const QString& list, const QString& label) {
  auto* view = run.find<QListView>(list);
  for (int row = 0; row < view->model()->rowCount(); ++row)
    if (view->model()->index(row, 0).data().toString().startsWith(label)) return row;
  return -1;
}

}  // namespace

void EquipmentPageTest::patchShowsTheNewItemOnThePages() {
  ProgramRun run;
  loadSample(run);
  writePictures(run);
  run.showPage("tsEquipment");
  fillRobe(run, ".bmp");
  QCOMPARE(run.find<QLineEdit>("eEquipPathGump")->text(), run.path("gump.bmp"));
  QVERIFY(run.find<QLabel>("lEquipRefusals")->text().isEmpty());
  // An index typed on the Settings page but not loaded is not where the body goes: the
  // animations open are.
  run.setField("eAnimIdx", run.path("elsewhere.idx"));
  // Afterwards the patch says what changed where, and saves it all in one step.
  run.dialogs.answerQuestion(QStringLiteral("Save all"));
  clickButton(run, "btnEquipPatch");
  const QString summary = run.dialogs.asked().back().prompt;
  QVERIFY2(!summary.contains(QStringLiteral("elsewhere")), qPrintable(summary));
  QVERIFY(!quillotide::fileExists(run.dir.file("elsewhere.idx")));
  for (const QString& part :
       {run.path("sample") + QStringLiteral("/anim.idx"),
        QStringLiteral("body 0x1F4 (a copy of body 0x190)"), QStringLiteral("gump 50500 (0xC544)"),
        QStringLiteral("gump 60500 (0xEC54)"), QStringLiteral("static art 0x300 in the loaded art"),
        QStringLiteral("tile data record of static 0x300"),
        run.path("sample") + QStringLiteral("/tiledata.mul")})
    QVERIFY2(summary.contains(part), qPrintable(summary));
  QVERIFY(run.dialogs.failures().isEmpty());
  const std::string sample = run.dir.file("sample");
  quillotide::TTiledata savedTiles;
  savedTiles.load(sample + "/tiledata.mul");
  QCOMPARE(savedTiles.staticAnimId(0x300), 500);
  quillotide::TGump savedGumps;
  savedGumps.load(run.registry->config->getString("GumpIdx"),
                  run.registry->config->getString("GumpMul"));
  QCOMPARE(savedGumps.gumpPicture(60500), quillotide::test::exactPicture(21, 31, 120));

  quillotide::Registry& r = *run.registry;
  QCOMPARE(r.gumps->gumpPicture(50500), quillotide::test::exactPicture(20, 30, 80));
  QCOMPARE(r.gumps->gumpPicture(60500), quillotide::test::exactPicture(21, 31, 120));
  QCOMPARE(r.art->staticArtWidth(0x300), 12);
  QCOMPARE(r.animation->slotRecord(500, 7), r.animation->slotRecord(0x190, 7));

  // The tile data page shows the record.
  run.showPage("tsTiledataS");
  const int line = lineOf(run, "lbTiledataS", "0x300 ");
  QVERIFY(line >= 0);
  run.clickLine("lbTiledataS", line);
  QCOMPARE(run.find<QLineEdit>("eStaticName")->text(), QStringLiteral("blue robe"));
  QCOMPARE(run.find<QLineEdit>("eStaticAnimId")->text(), QStringLiteral("0x1F4"));
  QCOMPARE(run.find<QLineEdit>("eStaticWeight")->text(), QStringLiteral("7"));
  QCOMPARE(run.find<QLineEdit>("eStaticQuality")->text(), QStringLiteral("20"));
  QVERIFY(run.find<QCheckBox>("cbStaticFlag22")->isChecked());
  QVERIFY(run.find<QCheckBox>("cbStaticFlag18")->isChecked());
  QVERIFY(!run.find<QCheckBox>("cbStaticFlag1")->isChecked());
  // The paperdoll gump's page finds the copied body.
  run.showPage("tsGumpsAnim");
  const int gumpLine = lineOf(run, "lbGumpsAnim", "0xC544");
  QVERIFY(gumpLine >= 0);
  run.clickLine("lbGumpsAnim", gumpLine);
  QCOMPARE(run.find<QLabel>("lGumpsAnimId")->text(), QStringLiteral("Animation exists: 0x1F4"));
  QVERIFY(run.dialogs.failures().isEmpty());
}

void EquipmentPageTest::browseRefusesAMissingFile() {
  ProgramRun run;
  writePictures(run);
  run.showPage("tsEquipment");
  browse(run, "btnEquipBrowseArt", run.path("art.png"));
  browse(run, "btnEquipBrowseArt", run.path("none.png"));
  QCOMPARE(run.find<QLineEdit>("eEquipPathArt")->text(), run.path("art.png"));
  QCOMPARE(run.dialogs.messages().size(), 1);
  const auto& m = run.dialogs.messages()[0];
  QCOMPARE(m.caption, kMissingTitle);
  QCOMPARE(m.text,
           QStringLiteral(
               "Diese Datei ist nicht existent. Bitte wählen sie einen gültigen Dateinamen."));
  QCOMPARE(m.icon, MessageIcon::Error);
  QCOMPARE(run.dialogs.asked()[0].filter, QStringLiteral("*.bmp;*.png|*.bmp;*.png"));
  // Cancelled: the field keeps its text.
  browse(run, "btnEquipBrowseArt", std::nullopt);
  QCOMPARE(run.find<QLineEdit>("eEquipPathArt")->text(), run.path("art.png"));
}

void EquipmentPageTest::preconditionsAndClear() {
  ProgramRun run;
  writePictures(run);
  run.showPage("tsEquipment");
  clickButton(run, "btnEquipPatch");
  QCOMPARE(run.dialogs.messageTexts(), QStringList{"Load Gumps."});
  loadSample(run);
  run.showPage("tsEquipment");
  fillRobe(run, ".bmp");
  // The sample set loads a progress archive; this check wants none.
  run.registry->progress = std::make_unique<quillotide::TProgress>();
  clickBox(run, "cbEquipUseProgressArt");
  clickButton(run, "btnEquipPatch");
  QCOMPARE(run.dialogs.messageTexts(), QStringList{"Load Progress."});
  clickBox(run, "cbEquipUseProgressArt");

  // A GumpId below the paperdolls and a weight above 255: both are listed on the page while
  // typing, and Patch refuses with both at once; nothing is written.
  typeInto(run, "eEquipGumpId", "1000");
  typeInto(run, "eEquipWeight", "300");
  const QStringList listed = run.find<QLabel>("lEquipRefusals")->text().split('\n');
  QCOMPARE(listed.size(), 2);
  QVERIFY2(listed[0].startsWith("GumpId 1000 lies outside"), qPrintable(listed[0]));
  QCOMPARE(listed[1],
           QStringLiteral("Weight 300 does not fit the tile data, which holds 0 ... 255."));
  run.dialogs.clear();
  clickButton(run, "btnEquipPatch");
  QCOMPARE(run.dialogs.messages().size(), 1);
  QCOMPARE(run.dialogs.messages()[0].text, listed.join('\n'));
  typeInto(run, "eEquipWeight", "7");
  QVERIFY(!run.registry->gumps->gumpExists(1000));
  QVERIFY(!run.registry->art->staticExists(0x300));

  clickBox(run, "cbEquipWeapon");
  clickButton(run, "btnEquipClear");
  for (const char* name : {"eEquipPathGump", "eEquipPathArt", "eEquipGumpId", "eEquipArtId",
                           "eEquipAnimId", "eEquipName", "eEquipWeight"})
    QVERIFY2(run.find<QLineEdit>(name)->text().isEmpty(), name);
  QCOMPARE(run.find<QLineEdit>("eEquipPathGumpW")->text(), run.path("gumpw.bmp"));
  QCOMPARE(run.find<QComboBox>("cbEquipLayer")->currentIndex(), -1);
  QVERIFY(run.find<QCheckBox>("cbEquipWearable")->isChecked());
  for (const char* name :
       {"cbEquipWeapon", "cbEquipArmor", "cbEquipPartialHue", "cbEquipLightSource"})
    QVERIFY2(!run.find<QCheckBox>(name)->isChecked(), name);
  run.dialogs.clear();
  clickButton(run, "btnEquipPatch");
  QCOMPARE(run.dialogs.messageTexts(), QStringList{"Choose a layer."});
}

void EquipmentPageTest::picturesIntoTheProgressArchive() {
  ProgramRun run;
  loadSample(run);
  writePictures(run);
  writeBytes(run.dir.file("Progress.idx"), {});
  writeBytes(run.dir.file("Progress.mul"), {});
  run.registry->progress->load(run.dir.file("Progress.idx"), run.dir.file("Progress.mul"));
  const std::int64_t gumpSlots = run.registry->gumps->gumpCount();
  run.showPage("tsEquipment");
  fillRobe(run, ".png");
  for (const char* box :
       {"cbEquipUseProgressGumpM", "cbEquipUseProgressGumpW", "cbEquipUseProgressArt"})
    clickBox(run, box);
  run.dialogs.answerQuestion(QStringLiteral("Later"));
  clickButton(run, "btnEquipPatch");
  QCOMPARE(run.dialogs.messageTexts(), QStringList{});
  QVERIFY(run.dialogs.asked().back().prompt.contains("progress archive"));
  const quillotide::TProgress& p = *run.registry->progress;
  QCOMPARE(p.entryImage(1, 50500), quillotide::test::exactPicture(20, 30, 80));
  QCOMPARE(p.entryImage(1, 60500), quillotide::test::exactPicture(21, 31, 120));
  QCOMPARE(p.entryImage(0, 0x300), quillotide::test::exactPicture(12, 14, 160));
  QCOMPARE(run.registry->gumps->gumpCount(), gumpSlots);
  QVERIFY(!run.registry->art->staticExists(0x300));
  QCOMPARE(run.registry->tiledata->staticAnimId(0x300), 500);

  // "Use Progress" with a gump the archive cannot hold is refused, the female gump with it.
  typeInto(run, "eEquipGumpId", "70000");
  QCOMPARE(run.find<QLabel>("lEquipRefusals")->text().count("does not fit the progress archive"),
           2);
  clickButton(run, "btnEquipPatch");
  QCOMPARE(run.dialogs.messages().size(), 1);
  QVERIFY(run.dialogs.messages()[0].text.contains("does not fit the progress archive"));
  QVERIFY(!p.entryExists(1, 70000 & 0xFFFF));
}

void EquipmentPageTest::clilocMergeKeepsEntriesAndTheLoadedTiledata() {
  ProgramRun run;
  loadSample(run);
  // An unsaved change of the loaded tile data.
  quillotide::StaticTileRecord changed = *run.registry->tiledata->readStatic(1);
  changed.name = quillotide::makeTileName("changed tree");
  run.registry->tiledata->writeStatic(1, changed);
  const quillotide::Bytes loaded = run.registry->tiledata->image();

  const std::string cliloc = run.dir.file("Cliloc.enu");
  quillotide::Cliloc start;
  start.entries = {{1020001, 0, "old"}, {3000000, 4, "far \xE2\x98\x83"}, {7, 0, "low"}};
  quillotide::saveCliloc(cliloc, start);
  run.showPage("tsFeatures");

  // Cancelled: nothing happens.
  run.dialogs.answerSave(std::nullopt);
  clickButton(run, "btnMergeCliloc");
  QVERIFY(run.dialogs.messages().isEmpty());
  // The game's upper-case name shows in the dialog.
  QVERIFY(run.dialogs.asked().back().filter.split('|').value(1).split(';').contains("CLILOC.*"));

  // The loaded tile data has an unsaved name: the merge asks, and here takes the saved file.
  run.dialogs.answerSave(QString::fromStdString(cliloc));
  run.dialogs.answerQuestion(QStringLiteral("Use the saved files"));
  clickButton(run, "btnMergeCliloc");
  QVERIFY(run.dialogs.asked().back().prompt.contains("tiledata has unsaved changes"));
  QCOMPARE(run.dialogs.messages().size(), 1);
  const QString report = run.dialogs.messageTexts()[0];
  QVERIFY2(report.startsWith("Done: added ") && report.contains(" and replaced 1 tile names; ") &&
               report.endsWith(QString::fromStdString(" entries written to " + cliloc + ".")),
           qPrintable(report));
  const quillotide::Cliloc merged = quillotide::loadCliloc(cliloc);
  QCOMPARE(quillotide::findClilocEntry(merged, 1020001)->text, std::string("oak tree"));
  QCOMPARE(quillotide::findClilocEntry(merged, 1020002)->text, std::string("pine tree"));
  QCOMPARE(quillotide::findClilocEntry(merged, 3000000)->text, std::string("far \xE2\x98\x83"));
  QCOMPARE(quillotide::findClilocEntry(merged, 7)->text, std::string("low"));
  QVERIFY(run.registry->tiledata->isLoaded());
  QVERIFY(run.registry->tiledata->image() == loaded);

  // A new file named in the dialog gets the names alone; saved first, the typed name is among
  // them.
  run.dialogs.clear();
  run.dialogs.answerSave(run.path("new.enu"));
  run.dialogs.answerQuestion(QStringLiteral("Save"));
  clickButton(run, "btnMergeCliloc");
  QVERIFY(run.dialogs.messageTexts().last().contains(" and replaced 0 tile names; "));
  const quillotide::Cliloc fresh = quillotide::loadCliloc(run.dir.file("new.enu"));
  QCOMPARE(quillotide::findClilocEntry(fresh, 1020001)->text, std::string("changed tree"));
  QCOMPARE(quillotide::findClilocEntry(fresh, 1020002)->text, std::string("pine tree"));
  QVERIFY(run.registry->tiledata->image() == loaded);

  // A damaged cliloc file: its reason is shown and the file stays as it was.
  quillotide::Bytes cut = readBytes(cliloc);
  cut.resize(cut.size() - 2);
  writeBytes(cliloc, cut);
  run.dialogs.clear();
  run.dialogs.answerSave(QString::fromStdString(cliloc));
  clickButton(run, "btnMergeCliloc");
  QCOMPARE(run.dialogs.messages().size(), 1);
  QVERIFY(run.dialogs.messages()[0].text.contains("runs past the end"));
  QVERIFY(readBytes(cliloc) == cut);

  // No tile data file on the Settings page.
  run.setField("eTiledata", run.path("none.mul"));
  run.dialogs.clear();
  run.dialogs.answerSave(QString::fromStdString(cliloc));
  clickButton(run, "btnMergeCliloc");
  QCOMPARE(run.dialogs.messages().size(), 1);
  QCOMPARE(run.dialogs.messages()[0].caption, kMissingTitle);
  QCOMPARE(
      run.dialogs.messages()[0].text,
      QStringLiteral(
          "Tiledata ist nicht existent. Bitte wählen sie einen gültigen Dateinamen (Settings)."));
  QVERIFY(readBytes(cliloc) == cut);
}

QTEST_MAIN(EquipmentPageTest)
#include "EquipmentPageTest.moc"
