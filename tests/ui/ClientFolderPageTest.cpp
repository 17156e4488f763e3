// The Settings page on a client folder as a Windows install copied to Linux leaves it: "Find
// files", the table of what it found, the facet choice, and folders that give nothing.

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTableWidget>
#include <QTest>

#include "UiTestSupport.h"
#include "app/Facet.h"
#include "app/FileIO.h"
#include "app/Uop.h"
#include "app/UopPair.h"
#include "sample/Sample.h"
#include "sample/SampleClient.h"
#include "ui/main/ClientFolderForm.h"
#include "ui/main/SettingsPage.h"

using quillotide::test::ProgramRun;
using quillotide::test::readText;

namespace {

struct ClientRun : ProgramRun {
  ClientRun() {
    quillotide::sample::writeSampleClient(client.path());
    mainForm->show();
    if (!QTest::qWaitForWindowExposed(mainForm.get()))
      QTest::qFail("main window not exposed", __FILE__, __LINE__);
  }
  QString folder() const { return QString::fromStdString(client.path()); }
  QString inClient(const std::string& name) const {
    return QString::fromStdString(client.file(name));
  }
  QString text(const QString& field) const { return find<QLineEdit>(field)->text(); }
  // The facet chosen as a person does: the arrow keys on the focused choice.
  void chooseFacet(int facet) const {
    auto* box = find<QComboBox>("cbFacet");
    box->setFocus();
    while (box->currentIndex() < facet) QTest::keyClick(box, Qt::Key_Down);
    while (box->currentIndex() > facet) QTest::keyClick(box, Qt::Key_Up);
  }
  // The line of the found-files table whose family is `family`, as its cells' texts.
  QStringList tableLine(const QString& family) const {
    const QTableWidget* table = find<QTableWidget>("tblClientFiles");
    for (int r = 0; r < table->rowCount(); ++r)
      if (table->item(r, 0)->text() == family) {
        QStringList cells;
        for (int c = 0; c < table->columnCount(); ++c) cells << table->item(r, c)->text();
        return cells;
      }
    return {};
  }

  quillotide::test::TempDir client;
};

void makeFileOfSize(const QString& path, qint64 size) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  QVERIFY(file.resize(size));
}

}  // namespace

class ClientFolderPageTest : public QObject {
  Q_OBJECT
private slots:
  void findFilesFillsEveryGroupAndShowsWhatItFound();
  void facetChoicePicksTheFacetsFilesAndWorldSize();
  void mapAndStaticsThatDisagreeAreRefusedNamingBothSizes();
  void aMapContainerIsSizedFromItsChunkTable();
  void aFolderThatGivesNothingStoresNothing();
  void aSecondFolderClosesWhatItLacksAndSaysWhatIsOpenFromWhere();
  void aLoadOverUnsavedEditsAsksFirst();
};

void ClientFolderPageTest::findFilesFillsEveryGroupAndShowsWhatItFound() {
  ClientRun run;
  // A second hue file whose name differs only in case: which one is taken is said.
  QVERIFY(QFile::copy(run.inClient("Hues.mul"), run.inClient("HUES.MUL")));
  run.typeInto("eClientFolder", run.folder());

  // Every group filled, whatever the case of the names; the containers taken over their pairs.
  QCOMPARE(run.text("eTiledata"), run.inClient("TileData.mul"));
  QCOMPARE(run.text("eTexIdx"), run.inClient("TexIdx.mul"));
  QCOMPARE(run.text("eArtIdx"), run.inClient("artLegacyMUL.uop"));
  QCOMPARE(run.text("eArtMul"), run.inClient("artLegacyMUL.uop"));
  QVERIFY(!run.find<QLineEdit>("eArtMul")->isEnabled());
  QCOMPARE(run.find<QLabel>("lFormArt")->text(), QStringLiteral("UOP"));
  QCOMPARE(run.text("eSoundIdx"), run.inClient("SoundLegacyMUL.uop"));
  QCOMPARE(run.text("eMultiIdx"), run.inClient("MultiCollection.uop"));
  QCOMPARE(run.text("eMap"), run.inClient("map0.mul"));
  QCOMPARE(run.text("eStaticIdx"), run.inClient("staidx0.mul"));
  QCOMPARE(run.text("eMapWidth"), QStringLiteral("7168"));
  QCOMPARE(run.text("eMapHeight"), QStringLiteral("4096"));

  // Stored at once, in config.xml on disk.
  const std::string config = readText(run.configPath());
  for (const auto& [key, name] : std::vector<std::pair<std::string, std::string>>{
           {"ClientFolder", ""}, {"ArtIdx", "artLegacyMUL.uop"}, {"Tiledata", "TileData.mul"},
           {"AnimIdx", "anim.idx"}, {"MapWidth", ""}}) {
    const std::string value = key == "MapWidth" ? "7168"
                              : name.empty()    ? run.client.path()
                                                : run.client.file(name);
    QVERIFY2(config.find("<config key=\"" + key + "\" value=\"" + value + "\" />") !=
                 std::string::npos,
             key.c_str());
  }

  // What was found, in a window of its own: family, file(s), form, size, what is missing.
  auto* form = run.mainForm->settingsPage()->clientFolderForm();
  QVERIFY(form->isVisible());
  QCOMPARE(run.tableLine("Art"),
           QStringList({"Art", "artLegacyMUL.uop", "UOP",
                        quillotide::ui::byteCountText(
                            quillotide::fileSize(run.client.file("artLegacyMUL.uop"))),
                        ""}));
  QCOMPARE(run.tableLine("Hues").value(2), QStringLiteral("MUL"));
  QVERIFY(!run.tableLine("Map 2").isEmpty());
  const QString notes = run.find<QLabel>("lClientNotes")->text();
  QVERIFY2(notes.contains("HUES.MUL") && notes.contains("Hues.mul"), qPrintable(notes));
  const QString taken = QFileInfo(run.text("eHues")).fileName();
  QVERIFY2(notes.contains(taken + " was taken"), qPrintable(notes));
  QVERIFY2(notes.contains("artLegacyMUL.uop"), qPrintable(notes));

  // The files found load as they are.
  run.press("btnLoadArt");
  run.press("btnLoadHues");
  run.press("btnLoadSound");
  QVERIFY(run.registry->art->isUop());
  QVERIFY(run.registry->hues->isLoaded());
  QVERIFY(run.registry->sound->isUop());
  QVERIFY2(run.dialogs.messages().isEmpty(), qPrintable(run.dialogs.messageTexts().join('\n')));
}

void ClientFolderPageTest::facetChoicePicksTheFacetsFilesAndWorldSize() {
  ClientRun run;
  run.typeInto("eClientFolder", run.folder());
  run.press("btnLoadRadarcol");

  // "Find files" opened facet 0's world; choosing facet 2 opens its map and statics in their
  // place, without a "Load".
  QVERIFY(run.registry->map->isLoaded());
  QCOMPARE(run.registry->map->width(), 7168);
  run.chooseFacet(2);
  QCOMPARE(run.registry->map->width(), 2304);
  QCOMPARE(run.registry->statics->width(), 2304);
  QVERIFY(run.find<QLabel>("lOpenMap")->text().contains(QStringLiteral("map2.mul")));
  QCOMPARE(run.registry->config->getString("Facet"), std::string("2"));
  QCOMPARE(run.text("eMap"), run.inClient("map2.mul"));
  QCOMPARE(run.text("eStaticIdx"), run.inClient("staidx2.mul"));
  QCOMPARE(run.text("eStaticMul"), run.inClient("statics2.mul"));
  QCOMPARE(run.text("eMapWidth"), QStringLiteral("2304"));
  QCOMPARE(run.text("eMapHeight"), QStringLiteral("1600"));
  run.press("btnLoadMap");
  run.press("btnLoadStatics");
  QCOMPARE(run.registry->map->width(), 2304);
  QCOMPARE(run.registry->map->height(), 1600);
  QVERIFY(run.registry->statics->isLoaded());

  // Facets 3 and 5 hold as many blocks: the number tells them apart. Facet 4 is there as a
  // container beside its map file, and the container is taken.
  run.chooseFacet(5);
  QCOMPARE(run.text("eMapWidth"), QStringLiteral("1280"));
  QCOMPARE(run.text("eMapHeight"), QStringLiteral("4096"));
  run.chooseFacet(3);
  QCOMPARE(run.text("eMap"), run.inClient("map3.mul"));
  QCOMPARE(run.text("eStaticIdx"), run.inClient("StaIdx3.mul"));
  QCOMPARE(run.text("eMapWidth"), QStringLiteral("2560"));
  QCOMPARE(run.text("eMapHeight"), QStringLiteral("2048"));
  run.chooseFacet(4);
  QCOMPARE(run.text("eMap"), run.inClient("map4LegacyMUL.uop"));
  QCOMPARE(run.find<QLabel>("lFormMap")->text(), QStringLiteral("UOP"));
  QCOMPARE(run.text("eMapWidth"), QStringLiteral("1448"));
  QVERIFY2(run.dialogs.messages().isEmpty(), qPrintable(run.dialogs.messageTexts().join('\n')));

  // The next start shows the facet chosen.
  run.mainForm = std::make_unique<quillotide::ui::TMainForm>(*run.registry, run.dialogs);
  QCOMPARE(run.find<QComboBox>("cbFacet")->currentIndex(), 4);
}

void ClientFolderPageTest::mapAndStaticsThatDisagreeAreRefusedNamingBothSizes() {
  ClientRun run;
  // Facet 1's map is 6144 x 4096; its statics index is made one of 7168 x 4096.
  makeFileOfSize(run.inClient("Staidx1.mul"),
                 static_cast<qint64>(quillotide::FacetSize{7168, 4096}.staticIndexBytes()));
  run.typeInto("eClientFolder", run.folder());
  run.press("btnLoadRadarcol");
  run.dialogs.clear();

  run.chooseFacet(1);
  QCOMPARE(run.dialogs.messages().size(), 1);
  const QString said = run.dialogs.messageTexts().first();
  QVERIFY2(said.contains("6144 x 4096") && said.contains("7168 x 4096"), qPrintable(said));

  // "Find files" opened facet 0's world (7168 x 4096); facet 1's map of 6144 x 4096 beside its
  // statics is refused, naming both sizes, and the world open stays as it was.
  run.typeInto("eMapWidth", "6144");
  run.typeInto("eMapHeight", "4096");
  const std::string openMap = run.registry->map->path();
  run.press("btnLoadMap");
  QCOMPARE(run.registry->map->path(), openMap);
  QCOMPARE(run.registry->map->width(), 7168);
  const QString refused = run.dialogs.messageTexts().last();
  QVERIFY2(refused.contains("6144 x 4096") && refused.contains("7168 x 4096"),
           qPrintable(refused));
}

void ClientFolderPageTest::aMapContainerIsSizedFromItsChunkTable() {
  ClientRun run;
  // Facet 1 in a container of 7168 x 4096, beside its statics index of 6144 x 4096. Its chunk
  // records tell the size; their streams are a few bytes, never inflated to size it.
  quillotide::UopContainer wide = quillotide::UopContainer::create();
  const std::uint64_t total = quillotide::FacetSize{7168, 4096}.mapBytes();
  for (std::uint64_t at = 0, k = 0; at < total; at += quillotide::kUopMapChunk, ++k) {
    quillotide::UopEntry e;
    e.hash = quillotide::uopHash(
        quillotide::uopEntryName(quillotide::UopFamily::Map, static_cast<std::uint32_t>(k), 1));
    e.compression = 1;
    e.fullSize = static_cast<std::uint32_t>(std::min<std::uint64_t>(quillotide::kUopMapChunk,
                                                                    total - at));
    e.stored = {0x78, 0x9C, 3, 0};
    wide.putEntry(e);
  }
  wide.save(run.client.file("map1LegacyMUL.uop"));
  // Facet 4's container without a statics index beside it.
  QVERIFY(QFile::remove(run.inClient("staidx4.mul")));
  run.typeInto("eClientFolder", run.folder());
  run.press("btnLoadRadarcol");
  run.dialogs.clear();

  run.chooseFacet(1);
  QCOMPARE(run.dialogs.messages().size(), 1);
  const QString said = run.dialogs.messageTexts().first();
  QVERIFY2(said.contains("map1LegacyMUL.uop is 7168 x 4096") && said.contains("6144 x 4096"),
           qPrintable(said));
  QCOMPARE(run.registry->map->width(), 7168);
  QVERIFY(run.registry->map->path() != run.client.file("map1LegacyMUL.uop"));

  run.dialogs.clear();
  run.chooseFacet(4);
  QCOMPARE(run.text("eMap"), run.inClient("map4LegacyMUL.uop"));
  QCOMPARE(run.text("eMapWidth"), QStringLiteral("1448"));
  QCOMPARE(run.text("eMapHeight"), QStringLiteral("1448"));
  QCOMPARE(run.registry->map->width(), 1448);
  QVERIFY(run.registry->map->isUop());
  QVERIFY2(run.dialogs.messages().isEmpty(), qPrintable(run.dialogs.messageTexts().join('\n')));
}

void ClientFolderPageTest::aFolderThatGivesNothingStoresNothing() {
  ClientRun run;
  run.setField("eHues", QStringLiteral("/kept/hues.mul"));
  const std::string before = readText(run.configPath());
  quillotide::test::TempDir empty;
  for (const QString& folder :
       {QString::fromStdString(empty.path()), QString::fromStdString(empty.file("none"))}) {
    run.dialogs.clear();
    run.typeInto("eClientFolder", folder);
    QCOMPARE(run.dialogs.messages().size(), 1);
    QCOMPARE(readText(run.configPath()), before);
    QCOMPARE(run.text("eHues"), QStringLiteral("/kept/hues.mul"));
    QVERIFY(!run.mainForm->settingsPage()->clientFolderForm()->isVisible());
  }
  QVERIFY(run.dialogs.messageTexts().first().contains(QString::fromStdString(empty.file("none"))));
  // The button with an empty field asks for the folder; a cancel does nothing.
  run.find<QLineEdit>("eClientFolder")->clear();
  run.dialogs.answerFolder(std::nullopt);
  run.press("btnFindFiles");
  QCOMPARE(run.dialogs.asked().last().title, QStringLiteral("Client folder"));
  QCOMPARE(readText(run.configPath()), before);
}

void ClientFolderPageTest::aSecondFolderClosesWhatItLacksAndSaysWhatIsOpenFromWhere() {
  ClientRun run;
  run.typeInto("eClientFolder", run.folder());
  // "Find files" opens what the folder holds and says where from.
  QVERIFY(run.registry->art->isUop());
  QVERIFY(run.registry->hues->isLoaded());
  QVERIFY(run.registry->statics->isLoaded());
  QVERIFY(run.find<QLabel>("lOpenArt")->text().contains(QStringLiteral("artLegacyMUL.uop")));
  QVERIFY(run.find<QLabel>("lOpenArt")->text().contains(
      QDir::toNativeSeparators(run.folder())));

  // A second client that holds only hues and tile data.
  quillotide::test::TempDir second;
  quillotide::sample::writeHues(second.path());
  quillotide::sample::writeTiledata(second.path());
  const QString other = QString::fromStdString(second.path());
  run.registry->hues->setHueName(2, "unsaved");
  run.dialogs.answerQuestion(QStringLiteral("Discard"));
  run.typeInto("eClientFolder", other);
  // Nothing of the first folder stays open or named beside the second's files.
  QVERIFY(run.dialogs.asked().last().prompt.contains(QStringLiteral("hues")));
  QVERIFY(!run.registry->art->isLoaded());
  QVERIFY(!run.registry->statics->isLoaded());
  QVERIFY(!run.registry->map->isLoaded());
  QCOMPARE(run.text("eArtIdx"), QString());
  QCOMPARE(run.text("eStaticIdx"), QString());
  QCOMPARE(run.find<QLabel>("lOpenArt")->text(), QStringLiteral("Not open"));
  QVERIFY(run.registry->hues->isLoaded());
  QVERIFY(run.registry->hues->entry(2)->nameText() != "unsaved");
  QVERIFY(run.find<QLabel>("lOpenHues")->text().contains(QDir::toNativeSeparators(other)));
  QCOMPARE(run.text("eHues"), QString::fromStdString(second.file("hues.mul")));
  // The first client's files are as they were.
  QVERIFY(quillotide::fileExists(run.client.file("artLegacyMUL.uop")));
}

void ClientFolderPageTest::aLoadOverUnsavedEditsAsksFirst() {
  ClientRun run;
  run.typeInto("eClientFolder", run.folder());
  run.registry->hues->setHueName(3, "mine");
  // Cancel: the edit stays; Save: written, then read again; the file holds it.
  run.dialogs.answerQuestion(QStringLiteral("Cancel"));
  run.press("btnLoadHues");
  QCOMPARE(run.registry->hues->entry(3)->nameText(), std::string("mine"));
  QVERIFY(run.dialogs.asked().last().prompt.contains(QStringLiteral("unsaved changes")));
  run.dialogs.answerQuestion(QStringLiteral("Save"));
  run.press("btnLoadHues");
  QCOMPARE(run.registry->hues->entry(3)->nameText(), std::string("mine"));
  quillotide::THues onDisk;
  onDisk.load(run.text("eHues").toStdString());
  QCOMPARE(onDisk.entry(3)->nameText(), std::string("mine"));
}

QTEST_MAIN(ClientFolderPageTest)
#include "ClientFolderPageTest.moc"
