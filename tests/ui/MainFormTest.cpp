// The main window's frame: its pages, start-up settings, the automatic loads and the seam.

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QPushButton>
#include <QScrollArea>
#include <QListWidget>
#include <QMessageBox>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "UiTestSupport.h"
#include <unistd.h>

#include "app/FileIO.h"
#include "app/Uop.h"
#include "registry/OpenFiles.h"
#include "registry/Registry.h"
#include "sample/Sample.h"
#include "sample/SampleClient.h"
#include "ui/main/ClientFolderForm.h"
#include "ui/main/SettingsPage.h"
#include "ui/main/SlotListView.h"
#include "ui/main/Startup.h"
#include "ui/main/TiledataStaticPage.h"
#include "ui/platform/Dialogs.h"
#include "ui/platform/GaugeForm.h"
#include "ui/platform/QtDialogs.h"

using quillotide::test::configWith;
using quillotide::test::ProgramRun;
using quillotide::test::readText;
using quillotide::test::writePair;
using quillotide::ui::TMainForm;

namespace {

// One start of the program from the folder it lives in, as main() runs it.
struct Start {
  explicit Start(const std::string& programDir, const char* argument = nullptr,
                 const char* second = nullptr) {
    dialogs.onUnexpected = [](const QString& what) {
      QTest::qFail(qPrintable(what), __FILE__, __LINE__);
    };
    const char* argv[] = {"quillotide", argument, second};
    const int argc = second ? 3 : argument ? 2 : 1;
    startup = std::make_unique<quillotide::ui::Startup>(argc, argv, programDir, dialogs);
    startup->mainForm().show();
    startup->begin();
  }
  QString field(const char* key) const {
    return startup->mainForm().findChild<QLineEdit*>(QStringLiteral("e") + key)->text();
  }

  quillotide::ui::ScriptedDialogs dialogs;
  std::unique_ptr<quillotide::ui::Startup> startup;
};

}  // namespace

class MainFormTest : public QObject {
  Q_OBJECT
private slots:
  void pagesInOrderWithSettingsOpen();
  void everyPageIsOneClickAwayAt1024x768();
  void settingsPageHasRoomAt1024x768();
  void clientSwitchStartsWithTheFolderFoundAndLoaded();
  void withoutConfigTheOneColourMarkEntryIsWritten();
  void storedPathsAndOptionsFillTheFields();
  void worldeditorStartLoadsWhatIsNotLoadedYet();
  void worldeditorStartLoadsTheWorldWithTheStoredSize();
  void sampleStartStoresAndLoadsTheSet();
  void aContainerChangedByAnotherProgramIsOfferedToBeReadAgain();
  void configWithRawAmpersandAndLatin1KeepsEverySettingAcrossStarts();
  void damagedConfigIsCopiedBeforeItIsWrittenAndSaidOnce();
  void sampleStartKeepsItsOwnConfiguration();
  void aboutOpensTheAboutWindow();
  void progressWindowShowsSteps();
  void actionsNeverLetAnErrorEscape();
  void scriptedDialogsReportUnexpectedDialogs();
  void filtersBecomeQtFilters();
  void onlyTheExactFirstArgumentSwitches();
  void shortMessagesShowTheirWholeCaption();
  void closingWithUnsavedChangesAsksAndSavesEachIntoItsOwnFiles();
  void sampleSwitchLoadsTheWorldToo();
  void fileDialogsOpenWhereTheirKindOfFileWasLastChosen();
};

void MainFormTest::pagesInOrderWithSettingsOpen() {
  ProgramRun run;
  QCOMPARE(run.mainForm->windowTitle(), QStringLiteral("Quillotide"));
  const QStringList expected = {
      "Anim",     "Anim2",   "Anim3",        "Anim4",          "Anim5",        "Animdata",
      "Art (M)",  "Art (S)", "Gumps (anim)", "Gump (nonAnim)", "Hues",         "Light",
      "Multi",    "Sound",   "Textures",     "Tiledata (M)",   "Tiledata (S)", "Features",
      "Settings", "Patch",   "Equipment",    "Progress",       "Cliloc",       "Speech",
      "Skills",   "Fonts",   "Unifont",      "Multimap"};
  QTabWidget* pages = run.mainForm->pages();
  QStringList captions;
  for (int i = 0; i < pages->count(); ++i) captions << pages->tabText(i);
  QCOMPARE(captions, expected);
  QCOMPARE(pages->tabText(pages->currentIndex()), QStringLiteral("Settings"));
  QVERIFY(run.mainForm->page("Progress")->findChild<QLineEdit*>("eProgressIdx"));
  // Nothing is loaded at start.
  QVERIFY(!run.registry->art->isLoaded());
  QVERIFY(!run.registry->hues->isLoaded());
}

void MainFormTest::everyPageIsOneClickAwayAt1024x768() {
  ProgramRun run;
  run.mainForm->resize(1024, 768);
  run.mainForm->show();
  QVERIFY(QTest::qWaitForWindowExposed(run.mainForm.get()));
  QListWidget* list = run.mainForm->pageList();
  QTabWidget* pages = run.mainForm->pages();
  // No strip with scroll arrows: the list is the way to the pages, every line of it in view.
  QVERIFY(!pages->tabBar()->isVisible());
  QVERIFY(!list->verticalScrollBar()->isVisible());
  QCOMPARE(list->findItems("Settings", Qt::MatchExactly).first(), list->currentItem());
  int shown = 0;
  for (const QString& caption : quillotide::ui::pageCaptions()) {
    const QList<QListWidgetItem*> items = list->findItems(caption, Qt::MatchExactly);
    QCOMPARE(items.size(), 1);
    const QRect line = list->visualItemRect(items.first());
    QVERIFY2(list->viewport()->rect().contains(line), qPrintable(caption));
    QVERIFY2(line.width() >= list->fontMetrics().horizontalAdvance(caption), qPrintable(caption));
    run.clickPage(caption);
    QWidget* page = run.mainForm->page(caption);
    QCOMPARE(pages->currentWidget(), page);
    QVERIFY2(page->isVisible(), qPrintable(caption));
    QVERIFY(page->width() > 600 && page->height() > 500);
    ++shown;
  }
  QCOMPARE(shown, 28);
  // A heading is no page: clicking it leaves the page shown.
  run.clickPage("Animations");
  QCOMPARE(pages->currentWidget(), run.mainForm->page(quillotide::ui::pageCaptions().last()));
  // A page opened by a tool is the one marked in the list.
  pages->setCurrentWidget(run.mainForm->page("Multimap"));
  QCOMPARE(list->currentItem()->text(), QStringLiteral("Multimap"));
  // The keyboard walks the list past the headings.
  QTest::keyClick(list, Qt::Key_Down);
  QCOMPARE(pages->currentWidget(), run.mainForm->page("Tiledata (M)"));
}

void MainFormTest::settingsPageHasRoomAt1024x768() {
  ProgramRun run;
  run.mainForm->resize(1024, 768);
  run.mainForm->show();
  QVERIFY(QTest::qWaitForWindowExposed(run.mainForm.get()));
  run.clickPage("Settings");
  auto* page = run.mainForm->settingsPage();
  auto* scroll = page->findChild<QScrollArea*>("sbSettings");
  // Nothing sideways out of sight, and the client folder row in view above the groups.
  QVERIFY(!scroll->horizontalScrollBar()->isVisible());
  QVERIFY(scroll->widget()->width() <= scroll->viewport()->width());
  for (const char* name : {"eClientFolder", "btnFindFiles"})
    QVERIFY(run.find<QWidget>(name)->visibleRegion().boundingRect().size() ==
            run.find<QWidget>(name)->size());
  // Every button shows its whole caption, every path field room for a path.
  for (QPushButton* button : page->findChildren<QPushButton*>())
    QVERIFY2(button->width() >= button->fontMetrics().horizontalAdvance(button->text()) + 8,
             qPrintable(button->objectName()));
  for (QLineEdit* field : page->findChildren<QLineEdit*>())
    if (field->objectName() != "eMapWidth" && field->objectName() != "eMapHeight")
      QVERIFY2(field->width() >= 150, qPrintable(field->objectName()));
  for (QGroupBox* box : page->findChildren<QGroupBox*>())
    QVERIFY2(box->width() >= box->minimumSizeHint().width(), qPrintable(box->objectName()));
}

void MainFormTest::clientSwitchStartsWithTheFolderFoundAndLoaded() {
  quillotide::test::TempDir program, client;
  quillotide::sample::writeSampleClient(client.path());
  {
    Start start(program.path(), "--client", client.path().c_str());
    QCOMPARE(start.field("ClientFolder"), QString::fromStdString(client.path()));
    QCOMPARE(start.field("Hues"), QString::fromStdString(client.file("Hues.mul")));
    const quillotide::Registry& r = start.startup->registry();
    QVERIFY(r.art->isUop());
    QVERIFY(r.hues->isLoaded());
    QVERIFY(r.tiledata->isLoaded());
    QVERIFY(r.multis->isUop());
    QCOMPARE(r.map->width(), 7168);
    QVERIFY(r.statics->isLoaded());
    QVERIFY(start.startup->mainForm().settingsPage()->clientFolderForm()->isVisible());
    // Stored in the program's own config.xml, for the next start.
    QVERIFY(readText(program.file("config.xml")).find(client.file("TileData.mul")) !=
            std::string::npos);
    for (const QString& said : start.dialogs.messageTexts())
      QVERIFY2(!said.contains("Cannot") && !said.contains("not"), qPrintable(said));
  }
  {
    // Without the folder: said, and nothing else happens.
    Start start(program.path(), "--client");
    QCOMPARE(start.dialogs.messages().size(), 1);
    QVERIFY(start.dialogs.messageTexts().first().contains("--client DIR"));
  }
}

void MainFormTest::withoutConfigTheOneColourMarkEntryIsWritten() {
  {
    ProgramRun run;
    QCOMPARE(
        readText(run.configPath()),
        std::string("<configuration>\r\n<config key=\"ColorMarkPixels\" value=\"0xFF00FF\" />\r\n"
                    "</configuration>\r\n"));
    for (const char* field : {"eArtIdx", "eArtMul", "eHues", "eMap", "eMapWidth"})
      QVERIFY(run.find<QLineEdit>(field)->text().isEmpty());
    QVERIFY(run.dialogs.messages().isEmpty());
  }
  {
    // An empty value is replaced; a stored colour is kept as it is.
    ProgramRun empty(configWith({{"ColorMarkPixels", ""}}));
    QCOMPARE(empty.registry->config->getString("ColorMarkPixels"), std::string("0xFF00FF"));
    ProgramRun kept(configWith({{"ColorMarkPixels", "$00FF00"}}));
    QCOMPARE(kept.registry->config->getString("ColorMarkPixels"), std::string("$00FF00"));
  }
}

void MainFormTest::storedPathsAndOptionsFillTheFields() {
  ProgramRun run(configWith({{"GumpIdx", "/g/gumpidx.mul"},
                             {"StaticMul", "/s/statics0.mul"},
                             {"MapHeight", "4096"},
                             {"ProgressMul", "/p/Progress.mul"},
                             {"Win98", "-1"}}));
  QCOMPARE(run.find<QLineEdit>("eGumpIdx")->text(), QStringLiteral("/g/gumpidx.mul"));
  QCOMPARE(run.find<QLineEdit>("eStaticMul")->text(), QStringLiteral("/s/statics0.mul"));
  QCOMPARE(run.find<QLineEdit>("eMapHeight")->text(), QStringLiteral("4096"));
  QCOMPARE(run.find<QLineEdit>("eProgressMul")->text(), QStringLiteral("/p/Progress.mul"));
  QVERIFY(run.mainForm->settingsPage()->win98());
}

void MainFormTest::worldeditorStartLoadsWhatIsNotLoadedYet() {
  quillotide::test::TempDir files;
  writePair(files.file("artidx.mul"), files.file("art.mul"));
  writePair(files.file("texidx.mul"), files.file("texmaps.mul"));
  writePair(files.file("gumpidx.mul"), files.file("gumpart.mul"));
  ProgramRun run(configWith({{"ArtIdx", files.file("artidx.mul")},
                             {"ArtMul", files.file("art.mul")},
                             {"TexIdx", files.file("texidx.mul")},
                             {"TexMul", files.file("texmaps.mul")},
                             {"GumpIdx", files.file("gumpidx.mul")},
                             {"GumpMul", files.file("gumpart.mul")},
                             {"Tiledata", files.file("missing-tiledata.mul")}}));
  QSignalSpy done(run.mainForm.get(), &TMainForm::worldeditorLoadsDone);
  QSignalSpy artLoaded(run.mainForm.get(), &TMainForm::artLoaded);
  run.mainForm->startWorldeditor();
  QVERIFY(!run.registry->art->isLoaded());  // only after the timer
  QVERIFY(done.wait(2000));
  QVERIFY(run.registry->art->isLoaded());
  QVERIFY(run.registry->textures->isLoaded());
  // Gumps are not among the world editor's files.
  QVERIFY(!run.registry->gumps->isLoaded());
  QCOMPARE(artLoaded.count(), 1);
  // The missing tile data file is reported and the other loads went on.
  QCOMPARE(run.dialogs.messages().size(), 1);
  QVERIFY(run.dialogs.messages()[0].text.startsWith("Cannot open file"));

  // A second start leaves loaded groups alone.
  run.dialogs.clear();
  run.mainForm->startWorldeditor();
  QVERIFY(done.wait(2000));
  QCOMPARE(artLoaded.count(), 1);
}

void MainFormTest::worldeditorStartLoadsTheWorldWithTheStoredSize() {
  quillotide::test::TempDir files;
  quillotide::sample::writeRadarcol(files.path());
  quillotide::sample::writeWorld(files.path());
  ProgramRun run(configWith({{"RadarCol", files.file("radarcol.mul")},
                             {"StaticIdx", files.file("staidx0.mul")},
                             {"StaticMul", files.file("statics0.mul")},
                             {"Map", files.file("map0.mul")},
                             {"MapWidth", "256"},
                             {"MapHeight", "256"}}));
  QSignalSpy done(run.mainForm.get(), &TMainForm::worldeditorLoadsDone);
  run.mainForm->startWorldeditor();
  QVERIFY(done.wait(2000));
  // Radar colours come before the map, so its overview is drawn without a word.
  QVERIFY2(run.dialogs.messages().isEmpty(), qPrintable(run.dialogs.messageTexts().join('\n')));
  QVERIFY(run.registry->statics->isLoaded());
  QCOMPARE(run.registry->statics->width(), 256);
  QVERIFY(run.registry->map->isLoaded());
  QCOMPARE(run.registry->map->height(), 256);
}

void MainFormTest::sampleStartStoresAndLoadsTheSet() {
  ProgramRun run;
  const std::string sampleDir = run.dir.file("sample");
  QSignalSpy artLoaded(run.mainForm.get(), &TMainForm::artLoaded);
  run.mainForm->useSampleSet(QString::fromStdString(sampleDir));
  for (const auto& f : quillotide::sample::sampleFiles()) {
    const std::string path = quillotide::joinPath(sampleDir, f.fileName);
    QCOMPARE(run.registry->config->getString(f.configKey), path);
    QCOMPARE(run.find<QLineEdit>(QString::fromStdString("e" + f.configKey))->text(),
             QString::fromStdString(path));
  }
  // Every family whose sample files exist is loaded, without any note or dialog.
  if (quillotide::fileExists(quillotide::joinPath(sampleDir, "art.mul"))) {
    QVERIFY(run.registry->art->isLoaded());
    QCOMPARE(artLoaded.count(), 1);
  }
  if (quillotide::fileExists(quillotide::joinPath(sampleDir, "hues.mul")))
    QVERIFY(run.registry->hues->isLoaded());
  // The sample world comes with its size and start cell, so its map and statics load too.
  const int side = quillotide::sample::kSampleWorldSize;
  QCOMPARE(run.registry->config->getString("MapWidth"), std::to_string(side));
  QCOMPARE(run.registry->config->getString("LastY"), std::to_string(side / 2));
  QCOMPARE(run.find<QLineEdit>("eMapHeight")->text(), QString::number(side));
  QVERIFY(run.registry->map->isLoaded());
  QCOMPARE(run.registry->map->width(), side);
  QVERIFY(run.registry->statics->isLoaded());
  QCOMPARE(run.registry->statics->height(), side);
  QVERIFY2(run.dialogs.messages().isEmpty(), qPrintable(run.dialogs.messageTexts().join('\n')));
}

namespace {

// An art container of four land tiles, the second drawn from `seed`.
void writeArtContainer(const std::string& path, int seed) {
  using namespace quillotide;
  UopContainer c = UopContainer::create();
  for (std::uint32_t n = 0; n < 4; ++n)
    c.setPayload(uopHash(uopEntryName(UopFamily::Art, n)),
                 Bytes(2024, static_cast<std::uint8_t>(n == 1 ? static_cast<std::uint32_t>(seed) : n)));
  c.save(path);
}

// The program goes to the background and comes back, as when the user worked in another one.
void leaveAndComeBack(QWidget& main) {
  QWidget other;
  other.show();
  other.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&other));
  main.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&main));
  QTest::qWait(20);
}

}  // namespace

void MainFormTest::aContainerChangedByAnotherProgramIsOfferedToBeReadAgain() {
  ProgramRun run;
  const std::string path = run.dir.file("artLegacyMUL.uop");
  writeArtContainer(path, 0x11);
  quillotide::OpenFiles::FixedAnswer keep(quillotide::OpenFiles::Answer::Save);
  QVERIFY(run.registry->openFiles().open("Art", {path, path}, {}, keep).opened);
  run.mainForm->show();
  leaveAndComeBack(*run.mainForm);
  QVERIFY(run.dialogs.asked().isEmpty());  // nothing changed: nothing asked

  // Another program replaces the file: coming back, the program says so and reads it again.
  writeArtContainer(path, 0x22);
  run.dialogs.answerQuestion(QStringLiteral("Read Again"));
  leaveAndComeBack(*run.mainForm);
  QCOMPARE(run.dialogs.asked().size(), 1);
  const QString text = run.dialogs.asked().back().prompt;
  QVERIFY2(text.contains(QString::fromStdString(path)) && text.contains("replaced"),
           qPrintable(text));
  QCOMPARE(*run.registry->art->landData(1), quillotide::Bytes(2024, 0x22));
  QVERIFY(run.registry->openFiles().changedOnDisk().empty());

  // Cut short by another program and not read again: said once, and a slot past the new end is
  // a message naming the file rather than a fault.
  QVERIFY(::truncate(path.c_str(), 3000) == 0);
  run.dialogs.answerQuestion(QStringLiteral("Not Now"));
  leaveAndComeBack(*run.mainForm);
  leaveAndComeBack(*run.mainForm);
  QCOMPARE(run.dialogs.asked().size(), 2);
  QVERIFY(run.dialogs.asked().back().prompt.contains("changed on disk"));
  try {
    (void)run.registry->art->landData(3);
    QFAIL("a slot past the end of the file was read");
  } catch (const quillotide::Error& e) {
    QVERIFY2(QString(e.what()).contains("Read it again"), e.what());
  }
}

void MainFormTest::configWithRawAmpersandAndLatin1KeepsEverySettingAcrossStarts() {
  quillotide::test::TempDir program;
  const std::string path = program.file("config.xml");
  // As the program wrote it on Windows: values unescaped, paths in the 8-bit code page.
  quillotide::test::writeText(
      path,
      "<configuration>\r\n"
      "<config key=\"ArtIdx\" value=\"C:\\Black & White\\artidx.mul\" />\r\n"
      "<config key=\"Hues\" value=\"C:\\Caf\xE9\\hues.mul\" />\r\n"
      "<config key=\"Win98\" value=\"-1\" />\r\n"
      "<config key=\"MapWidth\" value=\"6144\" />\r\n"
      "</configuration>\r\n");
  const QString art = QStringLiteral("C:\\Black & White\\artidx.mul");
  const QString hues = QStringLiteral("C:\\Caf\u00E9\\hues.mul");
  {
    Start first(program.path());
    QVERIFY2(first.dialogs.messages().isEmpty(),
             qPrintable(first.dialogs.messageTexts().join('\n')));
    QCOMPARE(first.field("ArtIdx"), art);
    QCOMPARE(first.field("Hues"), hues);
    QCOMPARE(first.field("MapWidth"), QStringLiteral("6144"));
    QVERIFY(first.startup->mainForm().findChild<QCheckBox*>("cbWin98")->isChecked());
    // The start stored the colour mark: the file is written anew, and the user types a height.
    auto* height = first.startup->mainForm().findChild<QLineEdit*>("eMapHeight");
    QTest::keyClicks(height, "4096");
  }
  QVERIFY(!quillotide::fileExists(path + ".bak"));
  Start second(program.path());
  QVERIFY(second.dialogs.messages().isEmpty());
  QCOMPARE(second.field("ArtIdx"), art);
  QCOMPARE(second.field("Hues"), hues);
  QCOMPARE(second.field("MapWidth"), QStringLiteral("6144"));
  QCOMPARE(second.field("MapHeight"), QStringLiteral("4096"));
  QVERIFY(second.startup->mainForm().findChild<QCheckBox*>("cbWin98")->isChecked());
  QCOMPARE(second.startup->registry().config->getString("ColorMarkPixels"),
           std::string("0xFF00FF"));
}

void MainFormTest::damagedConfigIsCopiedBeforeItIsWrittenAndSaidOnce() {
  quillotide::test::TempDir program;
  const std::string path = program.file("config.xml");
  // A broken line in the middle and the end tag cut off.
  const std::string damaged =
      "<configuration>\r\n"
      "<config key=\"ArtIdx\" value=\"/uo/artidx.mul\" />\r\n"
      "<config key=\"ArtMul\" value= />\r\n"
      "<config key=\"Hues\" value=\"/uo/hues.mul\" />\r\n"
      "<config key=\"ColorMarkPixels\" value=\"$00FF00\" />\r\n";
  quillotide::test::writeText(path, damaged);
  {
    Start first(program.path());
    QCOMPARE(first.dialogs.messages().size(), 1);
    const QString text = first.dialogs.messages()[0].text;
    QCOMPARE(first.dialogs.messages()[0].icon, quillotide::ui::MessageIcon::Warning);
    QVERIFY2(text.contains("line 3") && text.contains(QString::fromStdString(path + ".bak")),
             qPrintable(text));
    QCOMPARE(first.field("ArtIdx"), QStringLiteral("/uo/artidx.mul"));
    QCOMPARE(first.field("Hues"), QStringLiteral("/uo/hues.mul"));
    QCOMPARE(readText(path + ".bak"), damaged);
    QCOMPARE(readText(path), damaged);  // nothing changed yet, nothing written
  }
  {
    // The same damaged file again: its copy is there, so nothing more is said.
    Start again(program.path());
    QVERIFY(again.dialogs.messages().isEmpty());
    again.startup->mainForm().findChild<QCheckBox*>("cbWin98")->click();
  }
  QCOMPARE(readText(path + ".bak"), damaged);
  Start whole(program.path());
  QVERIFY(whole.dialogs.messages().isEmpty());
  QVERIFY(whole.startup->registry().config->readWhole());
  QCOMPARE(whole.field("Hues"), QStringLiteral("/uo/hues.mul"));
  QCOMPARE(whole.startup->registry().config->getString("ColorMarkPixels"), std::string("$00FF00"));
  QVERIFY(whole.startup->registry().config->getBool("Win98"));
}

void MainFormTest::sampleStartKeepsItsOwnConfiguration() {
  quillotide::test::TempDir program;
  const std::string userConfig = configWith({{"ArtIdx", "/user/artidx.mul"},
                                             {"ArtMul", "/user/art.mul"},
                                             {"ColorMarkPixels", "0xFF00FF"}});
  quillotide::test::writeText(program.file("config.xml"), userConfig);
  const std::string sampleDir = program.file("sample");
  {
    Start sample(program.path(), "--sample");
    QVERIFY2(sample.dialogs.messages().isEmpty(),
             qPrintable(sample.dialogs.messageTexts().join('\n')));
    QCOMPARE(sample.field("ArtIdx"),
             QString::fromStdString(quillotide::joinPath(sampleDir, "artidx.mul")));
    QVERIFY(sample.startup->registry().art->isLoaded());
  }
  QCOMPARE(readText(program.file("config.xml")), userConfig);
  QVERIFY(readText(quillotide::joinPath(sampleDir, "config.xml")).find("artidx.mul") !=
          std::string::npos);

  Start plain(program.path());
  QCOMPARE(plain.field("ArtIdx"), QStringLiteral("/user/artidx.mul"));
  QCOMPARE(plain.field("ArtMul"), QStringLiteral("/user/art.mul"));
  QVERIFY(!plain.startup->registry().art->isLoaded());
}

void MainFormTest::aboutOpensTheAboutWindow() {
  ProgramRun run;
  auto* about = run.mainForm->findChild<QDialog*>("AboutForm");
  QVERIFY(about);
  QVERIFY(!about->isVisible());
  run.click("btnAbout");
  QVERIFY(about->isVisible());
  about->accept();
}

void MainFormTest::progressWindowShowsSteps() {
  ProgramRun run;
  quillotide::ui::TgaugeForm& gauge = run.mainForm->gauge();
  QCOMPARE(gauge.windowTitle(), QStringLiteral("Fortschritt"));
  {
    quillotide::ProgressSteps steps(gauge, 200);
    QVERIFY(gauge.isVisible());
    QCOMPARE(gauge.value(), 0);
    steps.at(100);
    QCOMPARE(gauge.value(), 50);
  }
  QVERIFY(!gauge.isVisible());
  gauge.step(250);
  QCOMPARE(gauge.value(), 100);
}

void MainFormTest::actionsNeverLetAnErrorEscape() {
  quillotide::ui::ScriptedDialogs dialogs;
  QVERIFY(quillotide::ui::runAction(dialogs, [] {}));
  QVERIFY(!quillotide::ui::runAction(dialogs,
                                     [] { throw quillotide::FileError("Cannot open file x"); }));
  QVERIFY(!quillotide::ui::runAction(dialogs, [] { throw std::runtime_error("plain failure"); }));
  QCOMPARE(dialogs.messageTexts(), QStringList({"Cannot open file x", "plain failure"}));
  QCOMPARE(dialogs.messages()[0].icon, quillotide::ui::MessageIcon::Error);
}

void MainFormTest::scriptedDialogsReportUnexpectedDialogs() {
  quillotide::ui::ScriptedDialogs dialogs;
  QStringList reported;
  dialogs.onUnexpected = [&](const QString& what) { reported << what; };
  dialogs.answerSave(QStringLiteral("/x"));
  QVERIFY(!dialogs.openFile({"Open", "A|A", {}, {}}));
  QCOMPARE(reported.size(), 1);
  QCOMPARE(dialogs.pendingAnswers(), 1);
  QCOMPARE(dialogs.saveFile({"Save", "B|B", {}, {}}), std::optional<QString>("/x"));
  QVERIFY(!dialogs.inputBox("Tag", "Gebt einen Tag an.", "0"));
  QCOMPARE(dialogs.failures().size(), 2);
  QCOMPARE(dialogs.asked().size(), 3);
  QCOMPARE(dialogs.asked()[2].prompt, QStringLiteral("Gebt einen Tag an."));
}

void MainFormTest::filtersBecomeQtFilters() {
  using quillotide::ui::toQtFilter;
  QCOMPARE(toQtFilter("Artidx.mul|Artidx.mul"), QStringLiteral("Artidx.mul (Artidx.mul)"));
  QCOMPARE(toQtFilter("Bitmaps|*.bmp;*.dib|All|*"),
           QStringLiteral("Bitmaps (*.bmp *.dib);;All (*)"));
  QCOMPARE(toQtFilter("*.bmp"), QStringLiteral("*.bmp (*.bmp)"));
}

void MainFormTest::onlyTheExactFirstArgumentSwitches() {
  using quillotide::ui::StartSwitch;
  using quillotide::ui::startSwitch;
  const char* editor[] = {"quillotide", "--Worldeditor"};
  const char* second[] = {"quillotide", "x", "--Worldeditor"};
  const char* lower[] = {"quillotide", "--worldeditor"};
  const char* sample[] = {"quillotide", "--sample"};
  const char* none[] = {"quillotide"};
  QCOMPARE(startSwitch(2, editor), StartSwitch::Worldeditor);
  QCOMPARE(startSwitch(3, second), StartSwitch::None);
  QCOMPARE(startSwitch(2, lower), StartSwitch::None);
  QCOMPARE(startSwitch(2, sample), StartSwitch::Sample);
  QCOMPARE(startSwitch(1, none), StartSwitch::None);
}

void MainFormTest::shortMessagesShowTheirWholeCaption() {
  // The real message box, as a search that finds nothing shows it.
  quillotide::ui::QtDialogs dialogs;
  int width = 0;
  QString shownText;
  QTimer::singleShot(0, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      width = box->width();
      shownText = box->text();
      box->accept();
    }
  });
  dialogs.showMessage(QStringLiteral("Not found."));
  QCOMPARE(shownText, QStringLiteral("Not found."));
  const QString caption = quillotide::ui::Dialogs::kCaption;
  const int captionText =
      QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(caption);
  QVERIFY(quillotide::ui::messageBoxWidthFor(caption) > captionText + 100);
  QVERIFY2(width >= quillotide::ui::messageBoxWidthFor(caption),
           qPrintable(QString::number(width)));
}

void MainFormTest::closingWithUnsavedChangesAsksAndSavesEachIntoItsOwnFiles() {
  ProgramRun run;
  const std::string sampleDir = run.dir.file("sample");
  run.mainForm->useSampleSet(QString::fromStdString(sampleDir));
  const std::string tiledata = quillotide::joinPath(sampleDir, "tiledata.mul");
  const auto before = quillotide::test::readBytes(tiledata);
  run.mainForm->show();
  QVERIFY(QTest::qWaitForWindowExposed(run.mainForm.get()));

  // Every family loaded and nothing changed: the window closes without a question.
  QVERIFY(run.mainForm->close());
  QVERIFY(run.dialogs.asked().isEmpty());

  // A static tile renamed on its page, as a person does it.
  run.showPage("tsTiledataS");
  auto* page =
      qobject_cast<quillotide::ui::TiledataStaticPage*>(run.mainForm->page("Tiledata (S)"));
  QListView* view = page->list()->listView();
  const QModelIndex line = view->model()->index(0x10, 0);
  view->scrollTo(line);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(line).center());
  run.typeInto("eStaticName", "lantern");
  QCOMPARE(run.registry->tiledata->staticName(0x10), std::string("lantern"));

  // "Cancel" keeps the window and the change.
  run.dialogs.answerQuestion(QStringLiteral("Cancel"));
  QVERIFY(!run.mainForm->close());
  QVERIFY(run.mainForm->isVisible());
  const auto& asked = run.dialogs.asked().last();
  QCOMPARE(asked.kind, quillotide::ui::ScriptedDialogs::Kind::Question);
  QCOMPARE(asked.filter, QStringLiteral("Save|Don't Save|Cancel"));
  QVERIFY2(asked.prompt.contains(QStringLiteral("Tiledata: ") +
                                 QDir::toNativeSeparators(QString::fromStdString(tiledata))),
           qPrintable(asked.prompt));
  // Only the changed files are named.
  QVERIFY(!asked.prompt.contains(QStringLiteral("Hues")));
  QVERIFY(!asked.prompt.contains(QStringLiteral("Statics")));

  // A save that fails says why and keeps the window, and the change, for another try.
  const QString file = QString::fromStdString(tiledata);
  QVERIFY(QFile::rename(file, file + ".away"));
  QVERIFY(QDir().mkpath(file));
  const auto errors = run.dialogs.messages().size();
  run.dialogs.answerQuestion(QStringLiteral("Save"));
  QVERIFY(!run.mainForm->close());
  QVERIFY(run.mainForm->isVisible());
  QCOMPARE(run.dialogs.messages().size(), errors + 1);
  QCOMPARE(run.dialogs.messages().last().icon, quillotide::ui::MessageIcon::Error);
  QVERIFY(QDir().rmdir(file));
  QVERIFY(QFile::rename(file + ".away", file));

  // "Don't Save" closes and leaves the files as they were.
  run.dialogs.answerQuestion(QStringLiteral("Don't Save"));
  QVERIFY(run.mainForm->close());
  QVERIFY(quillotide::test::readBytes(tiledata) == before);

  // "Save" writes the change into the file the tile data was loaded from, then closes.
  run.showPage("tsTiledataS");
  run.dialogs.answerQuestion(QStringLiteral("Save"));
  QVERIFY(run.mainForm->close());
  QCOMPARE(run.dialogs.pendingAnswers(), 0);
  quillotide::TTiledata saved;
  saved.load(tiledata);
  QCOMPARE(saved.staticName(0x10), std::string("lantern"));
  // Saved, nothing is left to ask about.
  run.showPage("tsTiledataS");
  QVERIFY(run.mainForm->close());
  QVERIFY(run.dialogs.failures().isEmpty());
}

void MainFormTest::sampleSwitchLoadsTheWorldToo() {
  quillotide::test::TempDir program;
  // The first start writes the set; the second finds it, and its settings, in place.
  for (int start = 0; start < 2; ++start) {
    Start sample(program.path(), "--sample");
    QVERIFY2(sample.dialogs.messages().isEmpty(),
             qPrintable(sample.dialogs.messageTexts().join('\n')));
    quillotide::Registry& r = sample.startup->registry();
    const int side = quillotide::sample::kSampleWorldSize;
    QVERIFY(r.map->isLoaded());
    QCOMPARE(r.map->width(), side);
    QVERIFY(r.statics->isLoaded());
    QCOMPARE(r.statics->width(), side);
    QVERIFY(!r.statics->itemsAt(110, 166).empty());
    for (const auto& f : quillotide::ui::SettingsPage::families())
      QVERIFY2(f.ops().isLoaded(r), qPrintable(f.group.id));
  }
}

void MainFormTest::fileDialogsOpenWhereTheirKindOfFileWasLastChosen() {
  ProgramRun run;
  quillotide::sample::writeTiledata(run.dir.path());
  run.setField("eTiledata", run.path("tiledata.mul"));
  run.click("btnLoadTiledata");
  const std::string folder = run.dir.file("texts");
  QVERIFY(QDir().mkpath(QString::fromStdString(folder)));
  // Before any choice the dialog names no folder (the real one opens in the home folder).
  run.dialogs.answerSave(QString::fromStdString(quillotide::joinPath(folder, "TileMap.txt")));
  run.click("btnSaveLandText");
  QCOMPARE(run.dialogs.asked().last().proposed, QStringLiteral("TileMap.txt"));
  QVERIFY(run.dialogs.asked().last().folder.isEmpty());
  // The next dialog for text files opens where the last one was chosen; the proposed name stays.
  run.dialogs.answerSave(std::nullopt);
  run.click("btnSaveStaticText");
  QCOMPARE(run.dialogs.asked().last().folder, QString::fromStdString(folder));
  QCOMPARE(run.dialogs.asked().last().proposed, QStringLiteral("StaticTiles"));
  // A dialog for another kind of file, after a choice of its own, keeps to its own folder.
  run.dialogs.answerSave(run.path("tiles.mul"));
  run.click("btnSaveTiledata");
  QCOMPARE(run.dialogs.asked().last().folder, QString::fromStdString(run.dir.path()));
  run.dialogs.answerOpen(std::nullopt);
  run.click("btnLoadLandText");
  QCOMPARE(run.dialogs.asked().last().folder, QString::fromStdString(folder));
}

QTEST_MAIN(MainFormTest)
#include "MainFormTest.moc"
