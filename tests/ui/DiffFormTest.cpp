// The "Diff Tool" driven as a person does: opened from the Features page, paths chosen with "..."
// or typed into the fields, the six operations clicked, the diff files chosen through the dialog
// seam; then the messages shown and the files written are read.

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "UiTestSupport.h"
#include "app/FileIO.h"
#include "sample/SampleClient.h"
#include "support/WorldFiles.h"
#include "ui/editor/DiffForm.h"
#include "ui/editor/SEditorForm.h"
#include "ui/platform/GaugeForm.h"
#include "world/DiffFiles.h"

using quillotide::test::ProgramRun;
using quillotide::test::readBytes;
using quillotide::test::writeBytes;
using quillotide::ui::MessageIcon;
using quillotide::ui::ScriptedDialogs;

class DiffFormTest : public QObject {
  Q_OBJECT
private slots:
  void browseStoresExistingFilesOnly();
  void mapDiffCreatedAndAppliedGivesTheChangedMap();
  void staticDiffCopiedAndAppliedLikeTheCore();
  void diffAppliedOntoTheLoadedMapOutlivesTheNextPatchMap();
  void facetTwoDiffOfAClientFolderFoundAndApplied();
};

namespace {

const std::string kSmallWorld =
    quillotide::test::configWith({{"MapWidth", "32"}, {"MapHeight", "24"}});

quillotide::ui::TDiffForm* openDiffTool(ProgramRun& run) {
  run.mainForm->show();
  run.find<QTabWidget>("pcMain")->setCurrentWidget(run.find<QWidget>("tsFeatures"));
  QTest::mouseClick(run.find<QPushButton>("btnStatDiffTool"), Qt::LeftButton);
  auto* form = run.find<quillotide::ui::TDiffForm>("TDiffForm");
  if (form && !QTest::qWaitForWindowExposed(form))
    QTest::qFail("diff tool not exposed", __FILE__, __LINE__);
  return form;
}

// Types a path into a field and presses Enter, as a person does.
void typePath(QWidget* form, const QString& field, const QString& path) {
  auto* edit = form->findChild<QLineEdit*>(field);
  QVERIFY(edit);
  edit->clear();
  QTest::keyClicks(edit, path);
  QTest::keyClick(edit, Qt::Key_Return);
}

void click(QWidget* form, const char* button) {
  auto* b = form->findChild<QPushButton*>(QLatin1String(button));
  QVERIFY2(b, button);
  QTest::mouseClick(b, Qt::LeftButton);
}

quillotide::Bytes smallMap(std::uint16_t changedId) {
  return quillotide::test::makeMapBytes(32, 24, [changedId](int x, int y) {
    return quillotide::test::CellSpec{
        static_cast<std::uint16_t>(x == 9 && y == 17 ? changedId : x + 50 * y), 0};
  });
}

}  // namespace

void DiffFormTest::browseStoresExistingFilesOnly() {
  ProgramRun run(kSmallWorld);
  writeBytes(run.dir.file("map0.mul"), smallMap(1));
  auto* form = openDiffTool(run);
  QVERIFY(form);
  QCOMPARE(form->windowTitle(), QStringLiteral("Diff Tool"));

  run.dialogs.answerOpen(run.path("missing.mul"));
  click(form, "btnOrigMap0");
  QCOMPARE(run.dialogs.messages().size(), 1);
  QCOMPARE(run.dialogs.messages()[0].caption, QStringLiteral("Datei nicht gefunden"));
  QCOMPARE(run.dialogs.messages()[0].text,
           QStringLiteral("Diese Datei ist nicht existent. Bitte wählen sie einen gültigen "
                          "Dateinamen."));
  QCOMPARE(run.dialogs.messages()[0].icon, MessageIcon::Error);
  QVERIFY(form->findChild<QLineEdit*>("eOrigMap0")->text().isEmpty());
  QVERIFY(!run.registry->config->contains("DiffOrigMap0"));

  run.dialogs.answerOpen(std::nullopt);
  click(form, "btnChangedStatics0");
  run.dialogs.answerOpen(run.path("map0.mul"));
  click(form, "btnOrigMap0");
  QCOMPARE(run.dialogs.asked().last().filter, QStringLiteral("Map0.mul|Map0.mul;map0.mul;MAP0.MUL"));
  QCOMPARE(form->findChild<QLineEdit*>("eOrigMap0")->text(), run.path("map0.mul"));
  QCOMPARE(run.registry->config->getString("DiffOrigMap0"), run.dir.file("map0.mul"));
  // A typed path is kept as a browsed one is: on Enter, and on leaving the field for another.
  typePath(form, "eChangedMap0", run.path("typed.mul"));
  QCOMPARE(run.registry->config->getString("DiffChangedMap0"), run.dir.file("typed.mul"));
  form->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(form));
  auto* origStatics = form->findChild<QLineEdit*>("eOrigStatics0");
  origStatics->setFocus();
  QTest::keyClicks(origStatics, run.path("statics0.mul"));
  QTest::keyClick(origStatics, Qt::Key_Tab);
  QCOMPARE(run.registry->config->getString("DiffOrigStatics0"), run.dir.file("statics0.mul"));

  // A fresh window fills its fields from the configuration.
  quillotide::ui::TDiffForm again(*run.mainForm);
  QCOMPARE(again.findChild<QLineEdit*>("eOrigMap0")->text(), run.path("map0.mul"));
  QCOMPARE(again.findChild<QLineEdit*>("eChangedMap0")->text(), run.path("typed.mul"));
  QCOMPARE(again.findChild<QLineEdit*>("eOrigStatics0")->text(), run.path("statics0.mul"));
}

void DiffFormTest::mapDiffCreatedAndAppliedGivesTheChangedMap() {
  ProgramRun run(kSmallWorld);
  writeBytes(run.dir.file("map0.mul"), smallMap(1));
  writeBytes(run.dir.file("map1.mul"), smallMap(0x99));
  auto* form = openDiffTool(run);
  QVERIFY(form);
  typePath(form, "eOrigMap0", run.path("map0.mul"));
  typePath(form, "eChangedMap0", run.path("map1.mul"));

  // Cancelling the second dialog writes nothing.
  run.dialogs.answerSave(run.path("Mapdifl0.mul"));
  run.dialogs.answerSave(std::nullopt);
  click(form, "btnCreateMapDiff");
  QVERIFY(!quillotide::fileExists(run.dir.file("Mapdifl0.mul")));
  QVERIFY(run.dialogs.messages().isEmpty());

  run.dialogs.answerSave(run.path("Mapdifl0.mul"));
  run.dialogs.answerSave(run.path("Mapdif0.mul"));
  click(form, "btnCreateMapDiff");
  const auto& asked = run.dialogs.asked();
  QCOMPARE(asked.last().kind, ScriptedDialogs::Kind::SaveFile);
  QCOMPARE(asked.last().title, QStringLiteral("Choose Mapdif0.mul"));
  QCOMPARE(asked.last().filter, QStringLiteral("Mapdif0.mul|Mapdif0.mul;mapdif0.mul;MAPDIF0.MUL"));
  QCOMPARE(asked.last().defaultExtension, QStringLiteral("mul"));
  QCOMPARE(run.dialogs.messageTexts(), QStringList{QStringLiteral("1 Mapblocks patched.")});
  QVERIFY(!run.mainForm->gauge().isVisible());
  // Block 1 x 3 + 2 = 5 holds the cell (9, 17).
  QCOMPARE(readBytes(run.dir.file("Mapdifl0.mul")), (quillotide::Bytes{5, 0, 0, 0}));

  run.dialogs.clear();
  run.dialogs.answerOpen(run.path("Mapdifl0.mul"));
  run.dialogs.answerOpen(run.path("Mapdif0.mul"));
  click(form, "btnApplyMapDiff");
  QCOMPARE(run.dialogs.asked()[0].kind, ScriptedDialogs::Kind::OpenFile);
  QCOMPARE(run.dialogs.asked()[0].title, QStringLiteral("Choose Mapdifl0.mul"));
  QCOMPARE(run.dialogs.messageTexts(), QStringList{QStringLiteral("1 Mapblocks patched.")});
  QCOMPARE(readBytes(run.dir.file("map0.mul")), readBytes(run.dir.file("map1.mul")));

  // A missing input is shown as the file error; nothing is written.
  run.dialogs.clear();
  typePath(form, "eChangedMap0", run.path("gone.mul"));
  run.dialogs.answerSave(run.path("a.mul"));
  run.dialogs.answerSave(run.path("b.mul"));
  click(form, "btnCopyMapDiff");
  QCOMPARE(run.dialogs.messages().size(), 1);
  QVERIFY(run.dialogs.messages()[0].text.startsWith(QStringLiteral("Cannot open file")));
  QVERIFY(!quillotide::fileExists(run.dir.file("a.mul")));
  QCOMPARE(run.dialogs.pendingAnswers(), 0);
}

void DiffFormTest::staticDiffCopiedAndAppliedLikeTheCore() {
  ProgramRun run(kSmallWorld);
  const auto orig =
      quillotide::test::makeStaticsFiles(32, 24, {{0x100, 1, 2, 5, 0}, {0x101, 12, 3, 20, 7}});
  const auto changed =
      quillotide::test::makeStaticsFiles(32, 24, {{0x100, 1, 2, 5, 0}, {0x102, 17, 20, 1, 0}});
  writeBytes(run.dir.file("staidx0.mul"), orig.index);
  writeBytes(run.dir.file("statics0.mul"), orig.data);
  writeBytes(run.dir.file("staidx1.mul"), changed.index);
  writeBytes(run.dir.file("statics1.mul"), changed.data);
  auto* form = openDiffTool(run);
  QVERIFY(form);
  typePath(form, "eOrigStaIdx0", run.path("staidx0.mul"));
  typePath(form, "eOrigStatics0", run.path("statics0.mul"));
  typePath(form, "eChangedStaIdx0", run.path("staidx1.mul"));
  typePath(form, "eChangedStatics0", run.path("statics1.mul"));

  run.dialogs.answerSave(run.path("copy-l.mul"));
  run.dialogs.answerSave(run.path("copy-i.mul"));
  run.dialogs.answerSave(run.path("copy-d.mul"));
  click(form, "btnCopyStaticDiff");
  QCOMPARE(run.dialogs.messageTexts(), QStringList{QStringLiteral("12 Staticblocks patched.")});
  QCOMPARE(run.dialogs.asked()[1].title, QStringLiteral("Choose Stadifi0.mul"));

  run.dialogs.clear();
  run.dialogs.answerSave(run.path("Stadifl0.mul"));
  run.dialogs.answerSave(run.path("Stadifi0.mul"));
  run.dialogs.answerSave(run.path("Stadif0.mul"));
  click(form, "btnCreateStaticDiff");
  QCOMPARE(run.dialogs.messageTexts(), QStringList{QStringLiteral("2 Staticblocks patched.")});
  // The same files as the core (and the command line) make.
  quillotide::test::TempDir core;
  quillotide::Progress silent;
  quillotide::createStaticDiff(run.dir.file("staidx0.mul"), run.dir.file("statics0.mul"),
                               run.dir.file("staidx1.mul"), run.dir.file("statics1.mul"),
                               quillotide::StaticDiffPaths::in(core.path()), {32, 24}, silent);
  for (const char* name : {"Stadifl0.mul", "Stadifi0.mul", "Stadif0.mul"})
    QCOMPARE(readBytes(run.dir.file(name)), readBytes(core.file(name)));

  run.dialogs.clear();
  run.dialogs.answerOpen(run.path("Stadifl0.mul"));
  run.dialogs.answerOpen(run.path("Stadifi0.mul"));
  run.dialogs.answerOpen(run.path("Stadif0.mul"));
  click(form, "btnApplyStaticDiff");
  QCOMPARE(run.dialogs.messageTexts(), QStringList{QStringLiteral("2 Staticblocks patched.")});
  quillotide::TStatics applied;
  applied.open(run.dir.file("staidx0.mul"), run.dir.file("statics0.mul"), 32, 24,
               quillotide::StorageMode::Memory);
  quillotide::TStatics wanted;
  wanted.open(run.dir.file("staidx1.mul"), run.dir.file("statics1.mul"), 32, 24,
              quillotide::StorageMode::Memory);
  QVERIFY(applied.getItemsInRect(0, 31, 0, 23) == wanted.getItemsInRect(0, 31, 0, 23));
  QCOMPARE(run.dialogs.pendingAnswers(), 0);
}

// The map the Settings page loaded is the one the diff changes: the model lets it go (its unsaved
// edit saved first, as answered), the diff is applied, the model reads the file again, and the
// editor's next "Patch Map" writes into the file that holds the diff.
void DiffFormTest::diffAppliedOntoTheLoadedMapOutlivesTheNextPatchMap() {
  ProgramRun run(kSmallWorld);
  writeBytes(run.dir.file("map0.mul"), smallMap(1));
  writeBytes(run.dir.file("map1.mul"), smallMap(0x99));
  run.showPage(QStringLiteral("tsSettings"));
  run.setField("eMap", run.path("map0.mul"));
  run.typeInto("eMapWidth", "32");
  run.typeInto("eMapHeight", "24");
  run.press("btnLoadMap");
  QVERIFY(run.registry->map->isLoaded());
  run.registry->map->setTileId(3, 3, 0x55);

  auto* form = openDiffTool(run);
  QVERIFY(form);
  typePath(form, "eOrigMap0", run.path("map0.mul"));
  typePath(form, "eChangedMap0", run.path("map1.mul"));
  run.dialogs.answerSave(run.path("Mapdifl0.mul"));
  run.dialogs.answerSave(run.path("Mapdif0.mul"));
  // The diff reads the loaded map's file, which lacks the unsaved edit: asked, and told to read
  // what is saved, the edit stays in memory.
  run.dialogs.answerQuestion(QStringLiteral("Use the saved files"));
  click(form, "btnCreateMapDiff");
  QVERIFY(run.registry->map->hasUnsavedChanges());
  run.dialogs.clear();
  run.dialogs.answerOpen(run.path("Mapdifl0.mul"));
  run.dialogs.answerOpen(run.path("Mapdif0.mul"));
  run.dialogs.answerQuestion(QStringLiteral("Save"));
  click(form, "btnApplyMapDiff");
  // The edit saved first, then the diff's report (the reload may add its note on the overview).
  const QStringList shown = run.dialogs.messageTexts();
  QVERIFY2(shown.size() >= 2, qPrintable(shown.join('|')));
  QCOMPARE(shown.first(), QStringLiteral("1 MapBlocks patched."));
  QCOMPARE(shown.last(), QStringLiteral("1 Mapblocks patched."));
  QVERIFY(run.registry->map->isLoaded());
  QVERIFY(!run.registry->map->hasUnsavedChanges());
  QCOMPARE(run.registry->map->cell(9, 17)->tileId, 0x99);

  run.registry->map->setTileId(20, 4, 0x66);
  quillotide::ui::TSEditorForm editor(*run.mainForm, false);
  QAction* patchMap = editor.action(QStringLiteral("Patch Map"));
  QVERIFY(patchMap);
  patchMap->trigger();
  // The file as a reader beside the program sees it (the loaded map keeps it locked).
  const quillotide::Bytes onDisk = readBytes(run.dir.file("map0.mul"));
  const auto tileAt = [&onDisk](int x, int y) {
    const std::size_t block = static_cast<std::size_t>((x / 8) * 3 + y / 8);
    return quillotide::loadU16(onDisk.data() + block * 196 + 4 + 3 * ((y % 8) * 8 + x % 8));
  };
  QCOMPARE(tileAt(9, 17), 0x99);
  QCOMPARE(tileAt(3, 3), 0x55);
  QCOMPARE(tileAt(20, 4), 0x66);
  QCOMPARE(run.dialogs.pendingAnswers(), 0);
}

// A client folder copied from Windows keeps facet 2's diff in lower case: with facet 2 chosen the
// tool names its files, proposes the ones there whatever their case, and applies them at the
// facet's size.
void DiffFormTest::facetTwoDiffOfAClientFolderFoundAndApplied() {
  namespace sample = quillotide::sample;
  ProgramRun run;
  const std::string client = run.dir.file("client");
  sample::writeSampleClient(client);
  const auto inClient = [&](const char* name) {
    return QString::fromStdString(client + "/" + name);
  };
  auto* form = openDiffTool(run);
  QVERIFY(form);
  auto* facet = form->findChild<QComboBox*>(QStringLiteral("cbFacet"));
  QVERIFY(facet);
  facet->setFocus();
  QTest::keyClick(facet, Qt::Key_Down);
  QTest::keyClick(facet, Qt::Key_Down);
  QCOMPARE(facet->currentText(), QStringLiteral("2"));
  QCOMPARE(run.registry->config->getString("DiffFacet"), std::string("2"));
  auto* size = form->findChild<QLabel*>(QStringLiteral("lWorldSize"));
  QVERIFY(size);
  QCOMPARE(size->text(), QStringLiteral("World size: 2304 x 1600"));
  auto* field = form->findChild<QLineEdit*>(QStringLiteral("eOrigStaIdx0"));
  QVERIFY(field);
  bool labelled = false;
  for (const QLabel* label : form->findChildren<QLabel*>())
    labelled = labelled || (label->buddy() == field &&
                            label->text() == QStringLiteral("Original Staidx2.mul"));
  QVERIFY(labelled);

  typePath(form, "eOrigStaIdx0", inClient("staidx2.mul"));
  typePath(form, "eOrigStatics0", inClient("statics2.mul"));
  typePath(form, "eOrigMap0", inClient("map2.mul"));
  QCOMPARE(size->text(), QStringLiteral("World size: 2304 x 1600"));

  run.dialogs.answerOpen(inClient("stadifl2.mul"));
  run.dialogs.answerOpen(inClient("stadifi2.mul"));
  run.dialogs.answerOpen(inClient("stadif2.mul"));
  click(form, "btnApplyStaticDiff");
  const auto& asked = run.dialogs.asked();
  QCOMPARE(asked.size(), 3);
  QCOMPARE(asked[0].title, QStringLiteral("Choose Stadifl2.mul"));
  QCOMPARE(asked[0].proposed, inClient("stadifl2.mul"));
  QCOMPARE(asked[2].proposed, inClient("stadif2.mul"));
  QCOMPARE(asked[0].filter, QStringLiteral("Stadifl2.mul|Stadifl2.mul;stadifl2.mul;STADIFL2.MUL"));
  QCOMPARE(run.dialogs.messageTexts(), QStringList{QStringLiteral("1 Staticblocks patched.")});

  run.dialogs.clear();
  run.dialogs.answerOpen(inClient("mapdifl2.mul"));
  run.dialogs.answerOpen(inClient("mapdif2.mul"));
  click(form, "btnApplyMapDiff");
  QCOMPARE(run.dialogs.asked()[1].proposed, inClient("mapdif2.mul"));
  QCOMPARE(run.dialogs.messageTexts(), QStringList{QStringLiteral("1 Mapblocks patched.")});

  // On disk: the campfire in the diff's block, the block paved, at facet 2's geometry.
  const int x = sample::kSampleDiffBlockX * 8 + 3, y = sample::kSampleDiffBlockY * 8 + 3;
  quillotide::TStatics statics;
  statics.open(client + "/staidx2.mul", client + "/statics2.mul", 2304, 1600,
               quillotide::StorageMode::Memory);
  bool fire = false;
  for (const quillotide::TItem& s : statics.getItemsInRect(x, x, y, y))
    fire = fire || s.tileId == sample::kSampleDiffStatic;
  QVERIFY(fire);
  const quillotide::Bytes map = readBytes(client + "/map2.mul");
  const std::size_t block = static_cast<std::size_t>(sample::kSampleDiffBlockX * 200 +
                                                     sample::kSampleDiffBlockY);
  QCOMPARE(quillotide::loadU16(map.data() + block * 196 + 4 + 3 * (3 * 8 + 3)), 0x0D);
  // Facet 0's files are untouched by facet 2's diff.
  QCOMPARE(quillotide::fileSize(client + "/map0.mul"), 89915392u);
  QCOMPARE(run.dialogs.pendingAnswers(), 0);
}

QTEST_MAIN(DiffFormTest)
#include "DiffFormTest.moc"
