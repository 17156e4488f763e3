// The "Art (M)" and "Art (S)" pages driven as a user drives them: lists, view, pop-up entries,
// radar colour controls and the static page's batch tools, checked on the files they write.

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QTest>

#include "UiTestSupport.h"
#include "app/Bmp.h"
#include "app/FileIO.h"
#include "app/Text.h"
#include "sample/Sample.h"
#include "ui/main/ArtLandPage.h"
#include "ui/main/ArtStaticPage.h"
#include "ui/main/PictureView.h"
#include "ui/main/SettingsPage.h"
#include "ui/main/SlotListView.h"
#include "ui/platform/GaugeForm.h"

using namespace quillotide;
using quillotide::test::ProgramRun;
using quillotide::test::readBytes;
using quillotide::test::readText;
using quillotide::test::writeBytes;
using quillotide::test::writeText;
using quillotide::ui::ArtPage;
using quillotide::ui::SlotListView;

namespace {

constexpr Pixel kBlue = makePixel(0, 0, 248);

Bitmap32 solid(int w, int h, Pixel p) { return Bitmap32(w, h, p); }

// The colour static s is drawn in by writeArtFiles: exact in 16 bits, never 0 or 0x7FFF.
Pixel staticColour(std::int64_t s) {
  return makePixel(static_cast<std::uint8_t>(40 + s * 8), 96, 56);
}

// An art pair with land tiles 0 ... landFull - 1 all blue and one static record per entry of
// `statics` (true: a picture of 10 + s by 12 pixels in staticColour(s)).
void writeArtFiles(const std::string& idx, const std::string& mul, int landFull,
                   const std::vector<bool>& statics) {
  std::vector<IndexRecord> records(static_cast<std::size_t>(kLandTileCount));
  Bytes data;
  const auto add = [&data](const Bytes& bytes) {
    const IndexRecord r{static_cast<std::int32_t>(data.size()),
                        static_cast<std::int32_t>(bytes.size()), 0};
    data.insert(data.end(), bytes.begin(), bytes.end());
    return r;
  };
  for (int t = 0; t < landFull; ++t)
    records[static_cast<std::size_t>(t)] = add(encodeLandTile(solid(44, 44, kBlue)));
  for (std::size_t s = 0; s < statics.size(); ++s) {
    const auto id = static_cast<std::int64_t>(s);
    records.push_back(
        statics[s] ? add(encodeStaticArt(solid(10 + static_cast<int>(s), 12, staticColour(id))))
                   : IndexRecord{});
  }
  writeBytes(idx, test::indexBytes(records));
  writeBytes(mul, data);
}

struct ArtRun : ProgramRun {
  // Art from writeArtFiles, an empty patch file and a radar colour table of every entry 0.
  explicit ArtRun(int landFull = 4,
                  const std::vector<bool>& statics = {true, false, false, true, false}) {
    writeArtFiles(dir.file("artidx.mul"), dir.file("art.mul"), landFull, statics);
    setup();
  }
  // The sample set's art and radar colours.
  struct Sample {};
  explicit ArtRun(Sample) {
    sample::writeArt(dir.path());
    sample::writeRadarcol(dir.path());
    setup();
  }
  void setup() {
    writeBytes(dir.file("verdata.mul"), Bytes(4, 0));
    if (!fileExists(dir.file("radarcol.mul")))
      writeBytes(dir.file("radarcol.mul"), Bytes(2 * 0x8000, 0));
    setField("eArtIdx", path("artidx.mul"));
    setField("eArtMul", path("art.mul"));
    setField("eVerdata", path("verdata.mul"));
    setField("eRadarCol", path("radarcol.mul"));
    mainForm->show();
  }
  void load(const QString& group) {
    QVERIFY(mainForm->settingsPage()->load(group, ui::SettingsPage::LoadMode::Quiet));
  }
  void loadAll() {
    load("Art");
    load("Verdata");
    load("Radarcol");
  }
  ArtPage* land() const { return find<ArtPage>("tsArtM"); }
  ArtPage* statics() const { return find<ArtPage>("tsArtS"); }
  void trigger(const QString& action) const {
    if (auto* a = find<QAction>(action)) a->trigger();
  }
  QStringList messages() const { return dialogs.messageTexts(); }
};

// A picture file in the run's folder.
QString bitmapFile(ArtRun& run, const std::string& name, const Bitmap32& picture) {
  writeBmpFile(run.dir.file(name), picture);
  return run.path(name);
}

bool showsOnlyBackground(const ArtPage* page) {
  const QImage& image = page->view()->canvas();
  const QRgb background = quillotide::ui::PictureView::kBackground.rgb();
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) != background) return false;
  return true;
}

}  // namespace

class ArtPagesTest : public QObject {
  Q_OBJECT
private slots:
  void listsFollowTheLoadAndTheFilters();
  void filterChangeClearsThePictureAndTheRadarColour();
  void searchSelectsAndShowsTheSlot();
  void exportAndImportGoThroughBitmaps();
  void patchesShowFirstAndAreDeletedFirst();
  void radarFieldsAndAverage();
  void typedRangesStayInsideTheFile();
  void freeSlotFinders();
  void createScriptsCountsIntoTheDescription();
  void loadFromDirectorySkipsFullSlots();
  void deleteIdsMessages();
  void tagDetailsFillAndExtract();
};

void ArtPagesTest::listsFollowTheLoadAndTheFilters() {
  ArtRun run{ArtRun::Sample{}};
  SlotListView* land = run.land()->list();
  SlotListView* statics = run.statics()->list();
  QCOMPARE(statics->lineCount(), 0);
  QVERIFY(!run.land()->radarGroup()->isVisibleTo(run.land()));
  run.loadAll();
  QVERIFY(run.land()->radarGroup()->isVisibleTo(run.land()));
  QVERIFY(run.statics()->radarGroup()->isVisibleTo(run.statics()));

  QCOMPARE(land->lineCount(), 0x4000);
  QCOMPARE(land->model()->label(0x3FFF), std::string("0x3FFF"));
  QCOMPARE(statics->lineCount(), static_cast<int>(run.registry->art->staticCount()));
  QCOMPARE(land->filterBox()->count(), 3);
  QCOMPARE(land->filterBox()->itemText(2), QStringLiteral("Full Slots"));

  // "Full Slots": the sample's sixteen ground tiles and statics 0x1 ... 0x20.
  land->filterBox()->setCurrentIndex(2);
  land->rebuild();
  QCOMPARE(land->lineCount(), 16);
  statics->filterBox()->setCurrentIndex(2);
  statics->rebuild();
  QCOMPARE(statics->lineCount(), 0x20);
  QCOMPARE(statics->slotAt(0), 1);
  statics->filterBox()->setCurrentIndex(1);
  statics->rebuild();
  QCOMPARE(statics->lineCount(), static_cast<int>(run.registry->art->staticCount()) - 0x20);

  // Colours: a full slot black, an empty one red.
  QVERIFY(statics->lineState(0, false).full == false);
  land->filterBox()->setCurrentIndex(0);
  land->rebuild();
  QVERIFY(land->lineState(3, false).full);
  QVERIFY(!land->lineState(0x20, false).full);
  QVERIFY(run.dialogs.failures().isEmpty());
}

void ArtPagesTest::filterChangeClearsThePictureAndTheRadarColour() {
  ArtRun run{ArtRun::Sample{}};
  run.loadAll();
  for (const QString& stem : {QStringLiteral("ArtS"), QStringLiteral("ArtM")}) {
    ArtPage* page = stem == "ArtS" ? run.statics() : run.land();
    run.showPage("ts" + stem);
    // Line 3 is full on both pages of the sample set.
    run.clickLine("lb" + stem, 3);
    QVERIFY(!showsOnlyBackground(page));
    auto* red = run.find<QLineEdit>("e" + stem + "Red");
    auto* swatch = run.find<QLabel>("i" + stem + "Radar");
    QVERIFY(!red->text().isEmpty());
    QVERIFY(!swatch->pixmap().isNull());

    // "Empty Slots", picked with the keyboard in the filter box: no line is selected, so
    // nothing of the old line stays on show.
    QTest::keyClick(run.find<QComboBox>("cb" + stem + "Filter"), Qt::Key_Down);
    QCOMPARE(page->list()->filter(), SlotFilter::Empty);
    QCOMPARE(page->list()->selectedLine(), -1);
    QVERIFY(showsOnlyBackground(page));
    QVERIFY(red->text().isEmpty());
    QVERIFY(run.find<QLineEdit>("e" + stem + "Green")->text().isEmpty());
    QVERIFY(run.find<QLineEdit>("e" + stem + "Blue")->text().isEmpty());
    QVERIFY(swatch->pixmap().isNull());
  }
  QVERIFY(run.dialogs.messages().isEmpty());
}

void ArtPagesTest::searchSelectsAndShowsTheSlot() {
  ArtRun run{ArtRun::Sample{}};
  run.loadAll();
  ArtPage* page = run.statics();
  page->list()->searchField()->setText("0x1f");
  page->list()->searchButton()->click();
  QCOMPARE(page->list()->selectedSlot(), std::optional<std::int32_t>(0x1F));
  // The static is drawn in the middle of the view.
  const Bitmap32 picture = run.registry->art->staticPicture(0x1F);
  const int x0 = (360 - picture.width) / 2, y0 = (360 - picture.height) / 2;
  bool same = true;
  for (int y = 0; y < picture.height && same; ++y)
    for (int x = 0; x < picture.width && same; ++x)
      same = page->view()->canvas().pixel(x0 + x, y0 + y) == picture.at(x, y);
  QVERIFY(same);
  // The label occurs once: searching again wraps round to just before the hit and stops.
  page->list()->searchButton()->click();
  QCOMPARE(run.messages(), QStringList{"Not found."});

  // An empty slot only clears the view.
  page->list()->selectLine(0);
  QVERIFY(showsOnlyBackground(page));
  // A land tile is drawn at the top left.
  ArtPage* land = run.land();
  land->list()->selectLine(2);
  QCOMPARE(land->view()->canvas().pixel(21, 0), run.registry->art->landPicture(2).at(21, 0));
  QCOMPARE(land->view()->canvas().pixel(22, 22), run.registry->art->landPicture(2).at(22, 22));
}

void ArtPagesTest::exportAndImportGoThroughBitmaps() {
  ArtRun run;
  run.loadAll();
  ArtPage* page = run.statics();
  page->list()->selectLine(3);
  run.dialogs.answerSave(run.path("out.bmp"));
  run.trigger("miArtSSaveBitmap");
  const auto& asked = run.dialogs.asked().back();
  QCOMPARE(asked.filter, QStringLiteral("*.bmp|*.bmp"));
  QCOMPARE(asked.defaultExtension, QStringLiteral("bmp"));
  QCOMPARE(asked.proposed, QStringLiteral("0x3.bmp"));
  QCOMPARE(readBmpFile(run.dir.file("out.bmp")), run.registry->art->staticPicture(3));

  // Change the picture and bring it back into the empty slot 1; the saved files hold it.
  Bitmap32 changed = readBmpFile(run.dir.file("out.bmp"));
  for (int x = 0; x < changed.width; ++x) changed.at(x, 5) = makePixel(200, 0, 0);
  run.dialogs.answerOpen(bitmapFile(run, "changed.bmp", changed));
  page->list()->selectLine(1);
  run.trigger("miArtSLoadBitmap");
  QVERIFY(run.registry->art->staticExists(1));
  QVERIFY(!showsOnlyBackground(page));
  const Bytes before = readBytes(run.dir.file("art.mul"));
  QVERIFY(run.registry->art->save(run.dir.file("artidx.mul"), run.dir.file("art.mul")));
  QVERIFY(readBytes(run.dir.file("art.mul")) != before);
  TArt reread;
  reread.load(run.dir.file("artidx.mul"), run.dir.file("art.mul"), StorageMode::Memory);
  QCOMPARE(reread.staticPicture(1), changed);

  // A land tile the same way, and a cancelled dialog changes nothing.
  ArtPage* land = run.land();
  land->list()->selectLine(0x20);
  run.dialogs.answerOpen(bitmapFile(run, "tile.bmp", solid(44, 44, makePixel(0, 248, 0))));
  run.trigger("miArtMLoadBitmap");
  QVERIFY(run.registry->art->landExists(0x20));
  QCOMPARE(run.registry->art->landPicture(0x20).at(22, 22), makePixel(0, 248, 0));
  run.dialogs.answerSave(std::nullopt);
  run.trigger("miArtMSaveBitmap");
  QVERIFY(!fileExists(run.dir.file("0x20.bmp")));

  // A file that is no bitmap: the reader's message, the slot unchanged.
  writeText(run.dir.file("bad.bmp"), "not a picture");
  run.dialogs.answerOpen(run.path("bad.bmp"));
  land->list()->selectLine(0x21);
  run.trigger("miArtMLoadBitmap");
  QCOMPARE(run.dialogs.messages().size(), 1);
  QVERIFY(run.dialogs.messages().back().icon == ui::MessageIcon::Error);
  QVERIFY(!run.registry->art->landExists(0x21));
  QVERIFY(run.dialogs.failures().isEmpty());
}

void ArtPagesTest::patchesShowFirstAndAreDeletedFirst() {
  ArtRun run;
  run.loadAll();
  ArtPage* land = run.land();
  // Tile 0x20 is empty in art; its patch shows (green line) and is what "Save to Bitmap" writes.
  land->list()->selectLine(0x20);
  run.dialogs.answerOpen(bitmapFile(run, "red.bmp", solid(44, 44, makePixel(248, 0, 0))));
  run.trigger("miArtMLoadVerdata");
  QVERIFY(run.registry->verdata->isPatched(4, 0x20));
  QVERIFY(!run.registry->art->landExists(0x20));
  const auto state = land->list()->lineState(0x20, false);
  QVERIFY(state.patched && !state.full);
  QCOMPARE(land->view()->canvas().pixel(22, 22), makePixel(248, 0, 0));
  run.dialogs.answerSave(run.path("patch.bmp"));
  run.trigger("miArtMSaveBitmap");
  QCOMPARE(readBmpFile(run.dir.file("patch.bmp")).at(22, 22), makePixel(248, 0, 0));
  // A patched slot counts as empty under the filters.
  land->list()->filterBox()->setCurrentIndex(2);
  land->list()->rebuild();
  QCOMPARE(land->list()->lineCount(), 4);

  // Tile 2 is full and patched: the first Delete removes the patch only, the second the slot.
  land->list()->filterBox()->setCurrentIndex(0);
  land->list()->rebuild();
  land->list()->selectLine(2);
  run.dialogs.answerOpen(run.path("red.bmp"));
  run.trigger("miArtMLoadVerdata");
  QCOMPARE(land->view()->canvas().pixel(22, 22), makePixel(248, 0, 0));
  run.trigger("miArtMDelete");
  QVERIFY(!run.registry->verdata->isPatched(4, 2));
  QVERIFY(run.registry->art->landExists(2));
  QCOMPARE(land->view()->canvas().pixel(22, 22), kBlue);
  run.trigger("miArtMDelete");
  QCOMPARE(run.registry->art->landRecord(2), std::optional<IndexRecord>(IndexRecord{-1, -1, -1}));
  QVERIFY(showsOnlyBackground(land));

  // Statics patch block 0x4000 + s, and verdata keeps white as a colour.
  ArtPage* statics = run.statics();
  statics->list()->selectLine(1);
  run.dialogs.answerOpen(bitmapFile(run, "white.bmp", solid(4, 4, makePixel(255, 255, 255))));
  run.trigger("miArtSLoadVerdata");
  QVERIFY(run.registry->verdata->isPatched(4, 0x4001));
  QVERIFY(statics->list()->lineState(1, false).patched);
  run.trigger("miArtSDelete");
  QVERIFY(!run.registry->verdata->isPatched(4, 0x4001));
  QVERIFY(run.dialogs.failures().isEmpty());
}

void ArtPagesTest::radarFieldsAndAverage() {
  ArtRun run(0x31);
  run.loadAll();
  ArtPage* land = run.land();
  land->list()->selectLine(2);
  auto* red = run.find<QLineEdit>("eArtMRed");
  auto* green = run.find<QLineEdit>("eArtMGreen");
  auto* blue = run.find<QLineEdit>("eArtMBlue");
  QCOMPARE(red->text(), QStringLiteral("0"));
  red->setText("248");
  green->setText("0");
  blue->setText("0");
  QTest::keyClick(blue, Qt::Key_Return);
  QCOMPARE(run.registry->radarcol->radarColour(2), Colour16{0x7C00});
  QCOMPARE(red->text(), QStringLiteral("248"));
  const QImage swatch = run.find<QLabel>("iArtMRadar")->pixmap().toImage();
  QCOMPARE(QColor(swatch.pixel(25, 25)), QColor(248, 0, 0));

  // Only the low 8 bits of a field count; a field that is no number stops with the message.
  red->setText("0x1F8");
  QTest::keyClick(red, Qt::Key_Return);
  QCOMPARE(run.registry->radarcol->radarColour(2), Colour16{0x7C00});
  red->setText("red");
  QTest::keyClick(red, Qt::Key_Return);
  QCOMPARE(run.messages(), QStringList{"'red' is not a valid integer value"});

  // Statics use entry 0x4000 + s.
  ArtPage* statics = run.statics();
  statics->list()->selectLine(3);
  run.setField("eArtSRed", "0");
  run.setField("eArtSGreen", "0");
  run.setField("eArtSBlue", "248");
  QTest::keyClick(run.find<QLineEdit>("eArtSGreen"), Qt::Key_Return);
  QCOMPARE(run.registry->radarcol->radarColour(0x4003), Colour16{0x001F});
  QCOMPARE(run.registry->radarcol->radarColour(3), Colour16{0});

  // "Average": every pixel of the tiles is 0x001F, so is their average.
  run.setField("eArtMFrom", "0x2F");
  run.setField("eArtMTo", "0x30");
  run.click("btnArtMAverage");
  QCOMPARE(run.registry->radarcol->radarColour(0x2F), Colour16{0x001F});
  QCOMPARE(run.registry->radarcol->radarColour(0x30), Colour16{0x001F});
  QCOMPARE(run.registry->radarcol->radarColour(0x31), Colour16{0});
  // Statics: static 3's average; the empty static 4 has none and keeps its entry.
  run.setField("eArtSFrom", "3");
  run.setField("eArtSTo", "4");
  run.click("btnArtSAverage");
  QCOMPARE(run.registry->radarcol->radarColour(0x4003), pixelToColour16(staticColour(3)));
  QCOMPARE(run.registry->radarcol->radarColour(0x4004), Colour16{0});
  QVERIFY(run.dialogs.failures().isEmpty());
}

void ArtPagesTest::typedRangesStayInsideTheFile() {
  ArtRun run;
  run.loadAll();
  const Bytes radarBefore = run.registry->radarcol->bytes();
  // A negative static would be a land tile's radar entry.
  run.setField("eArtSFrom", "-2");
  run.setField("eArtSTo", "1");
  run.click("btnArtSAverage");
  run.setField("eArtSFrom", "0");
  run.setField("eArtSTo", "5");
  run.click("btnArtSAverage");
  run.setField("eArtMFrom", "0x3FFF");
  run.setField("eArtMTo", "0x4000");
  run.click("btnArtMAverage");
  QCOMPARE(run.messages(), (QStringList{"Bad IDs.", "Bad IDs.", "Bad IDs."}));
  QVERIFY(run.registry->radarcol->bytes() == radarBefore);
  // To below From does nothing at all.
  run.setField("eArtMFrom", "3");
  run.setField("eArtMTo", "2");
  run.click("btnArtMAverage");
  QCOMPARE(run.messages().size(), 3);
}

void ArtPagesTest::freeSlotFinders() {
  // Statics full, empty, empty, full, empty: one hole (0x1 ... 0x2); the empty end is none.
  ArtRun run;
  run.loadAll();
  run.dialogs.answerSave(run.path("Holes.txt"));
  run.click("btnFindHoles");
  const auto& asked = run.dialogs.asked().back();
  QCOMPARE(asked.filter, QStringLiteral("*.txt|*.txt"));
  QCOMPARE(asked.proposed, QStringLiteral("Holes.txt"));
  const QByteArray size = QStringLiteral("Grösse: 2").toLocal8Bit();
  QCOMPARE(readText(run.dir.file("Holes.txt")),
           "Anfang: 0x1\r\nEnde: 0x2\r\n" + size.toStdString() + "\r\n");

  writeText(run.dir.file("EmptyIDs.txt"), "old content that must go\r\n");
  run.dialogs.answerSave(run.path("EmptyIDs.txt"));
  run.click("btnEmptyIds");
  QCOMPARE(run.dialogs.asked().back().proposed, QStringLiteral("EmptyIDs.txt"));
  QCOMPARE(readText(run.dir.file("EmptyIDs.txt")), std::string("0x1\r\n0x2\r\n0x4\r\n"));

  using ui::EmptyRun;
  const auto full = [](std::vector<bool> v) {
    return [v](std::int64_t s) { return v[static_cast<std::size_t>(s)]; };
  };
  QVERIFY(ui::emptyRunsBeforeFull(3, full({false, false, false})).empty());
  QCOMPARE(ui::emptyRunsBeforeFull(5, full({false, true, true, false, true})),
           (std::vector<EmptyRun>{{0, 0}, {3, 3}}));
  QVERIFY(run.dialogs.failures().isEmpty());
}

void ArtPagesTest::createScriptsCountsIntoTheDescription() {
  ArtRun run;
  run.setField("eScriptFrom", "0x10");
  run.setField("eScriptTo", "0x11");
  run.setField("eScriptDescription", "Wall %d of %d");
  run.dialogs.answerSave(run.path("items.xml"));
  run.click("btnCreateScripts");
  const auto& asked = run.dialogs.asked().back();
  QCOMPARE(asked.title, QStringLiteral("Save..."));
  QCOMPARE(asked.filter, QStringLiteral("XML File (*.xml)|*.xml"));
  QCOMPARE(asked.defaultExtension, QStringLiteral("xml"));
  QCOMPARE(readText(run.dir.file("items.xml")),
           std::string("<item id=\"10\">\r\n   <id>0x10</id>\r\n"
                       "   <category>Wall 0 of 0</category>\r\n</item>\r\n\r\n"
                       "<item id=\"11\">\r\n   <id>0x11</id>\r\n"
                       "   <category>Wall 1 of 1</category>\r\n</item>\r\n\r\n"));

  // Other per cent signs are plain text, never a format.
  QCOMPARE(ui::wolfpackScript(0xAB, 0xAB, "%s%n%x 100%")[2],
           std::string("   <category>%s%n%x 100%</category>"));
  QVERIFY(ui::wolfpackScript(2, 1, "x").empty());

  // An id that is no number stops with the conversion message; a range past 16 bits is refused.
  run.setField("eScriptTo", "zz");
  run.dialogs.answerSave(run.path("bad.xml"));
  run.click("btnCreateScripts");
  run.setField("eScriptTo", "0x10000");
  run.dialogs.answerSave(run.path("big.xml"));
  run.click("btnCreateScripts");
  QCOMPARE(run.messages(), (QStringList{"'zz' is not a valid integer value", "Bad IDs."}));
  QVERIFY(!fileExists(run.dir.file("bad.xml")));
  QVERIFY(!fileExists(run.dir.file("big.xml")));
  QVERIFY(run.dialogs.failures().isEmpty());
}

void ArtPagesTest::loadFromDirectorySkipsFullSlots() {
  // Slots 2 and 3 are full after slot 1; the next empty ones are 4 and 6.
  ArtRun run(1, {true, false, true, true, false, true, false, true});
  run.loadAll();
  const std::string folder = run.dir.file("pictures");
  QDir().mkpath(QString::fromStdString(folder));
  const std::vector<Pixel> colours = {makePixel(200, 0, 0), makePixel(0, 200, 0),
                                      makePixel(0, 0, 200)};
  for (std::size_t i = 0; i < colours.size(); ++i)
    writeBmpFile(folder + "/" + std::string(1, static_cast<char>('a' + i)) + ".bmp",
                 solid(8, 8, colours[i]));

  ArtPage* statics = run.statics();
  statics->list()->selectLine(1);
  run.dialogs.answerFolder(QString::fromStdString(folder));
  run.trigger("miArtSLoadDirectory");
  QCOMPARE(run.dialogs.asked().back().title, QStringLiteral("Choose a directory"));
  QCOMPARE(run.messages(), QStringList{"3 graphics patched."});
  QCOMPARE(run.registry->art->staticPicture(1).at(0, 0), colours[0]);
  QCOMPARE(run.registry->art->staticPicture(4).at(0, 0), colours[1]);
  QCOMPARE(run.registry->art->staticPicture(6).at(0, 0), colours[2]);
  QCOMPARE(run.registry->art->staticPicture(2).at(0, 0), staticColour(2));

  // After slot 6 every slot is full: one file goes in, then the message.
  run.dialogs.clear();
  statics->list()->selectLine(6);
  run.dialogs.answerFolder(QString::fromStdString(folder));
  run.trigger("miArtSLoadDirectory");
  QCOMPARE(run.messages(), (QStringList{"No empty Id left.", "1 graphics patched."}));
  QCOMPARE(run.registry->art->staticPicture(6).at(0, 0), colours[0]);

  // A file that is no picture ends the import with the reader's message; what went in stays.
  const std::string mixed = run.dir.file("mixed");
  QDir().mkpath(QString::fromStdString(mixed));
  writeBmpFile(mixed + "/a.bmp", solid(5, 5, colours[1]));
  writeText(mixed + "/b.txt", "no picture");
  run.dialogs.clear();
  run.registry->art->deleteStatic(1);
  statics->list()->selectLine(0);
  run.dialogs.answerFolder(QString::fromStdString(mixed));
  run.trigger("miArtSLoadDirectory");
  QCOMPARE(run.registry->art->staticPicture(0).at(0, 0), colours[1]);
  QCOMPARE(run.dialogs.messages().size(), 1);
  QVERIFY(run.dialogs.messages().back().icon == ui::MessageIcon::Error);
  QVERIFY(!showsOnlyBackground(statics));

  // An empty folder.
  const std::string empty = run.dir.file("empty");
  QDir().mkpath(QString::fromStdString(empty));
  run.dialogs.clear();
  run.dialogs.answerFolder(QString::fromStdString(empty));
  run.trigger("miArtSLoadDirectory");
  QCOMPARE(run.messages(), QStringList{"Your directory is empty."});
  QVERIFY(run.dialogs.failures().isEmpty());
}

void ArtPagesTest::deleteIdsMessages() {
  ArtRun run;
  run.setField("eDeleteFirst", "1");
  run.setField("eDeleteLast", "3");
  run.click("btnDeleteStart");
  QCOMPARE(run.messages(), QStringList{"Load Art first."});
  run.loadAll();
  run.dialogs.clear();

  run.setField("eDeleteLast", "three");
  run.click("btnDeleteStart");
  // Typed ids must lie among the statics: below 0 they would be land tiles.
  run.setField("eDeleteFirst", "-1");
  run.setField("eDeleteLast", "0");
  run.click("btnDeleteStart");
  run.setField("eDeleteFirst", "3");
  run.setField("eDeleteLast", "5");
  run.click("btnDeleteStart");
  QCOMPARE(run.messages(), (QStringList{"Bad IDs.", "Bad IDs.", "Bad IDs."}));
  QVERIFY(run.registry->art->landExists(0));
  QVERIFY(run.registry->art->staticExists(0));
  QVERIFY(run.registry->art->staticExists(3));

  // Last below first deletes nothing and says nothing.
  run.setField("eDeleteFirst", "3");
  run.setField("eDeleteLast", "0");
  run.click("btnDeleteStart");
  QCOMPARE(run.messages().size(), 3);
  QVERIFY(run.registry->art->staticExists(0));

  // A verdata patch in the range is not touched.
  ArtPage* statics = run.statics();
  statics->list()->selectLine(3);
  run.dialogs.answerOpen(bitmapFile(run, "p.bmp", solid(3, 3, makePixel(0, 0, 200))));
  run.trigger("miArtSLoadVerdata");
  run.setField("eDeleteFirst", "0x0");
  run.setField("eDeleteLast", "0x3");
  run.click("btnDeleteStart");
  QVERIFY(!run.registry->art->staticExists(0));
  QVERIFY(!run.registry->art->staticExists(3));
  QVERIFY(run.registry->verdata->isPatched(4, 0x4003));
  QCOMPARE(run.messages().size(), 3);
  QVERIFY(run.dialogs.failures().isEmpty());
}

void ArtPagesTest::tagDetailsFillAndExtract() {
  ArtRun run;
  run.loadAll();
  ArtPage* statics = run.statics();
  statics->list()->selectLine(3);
  run.dialogs.answerInput("0x20");
  run.trigger("miArtSSetTag");
  const auto& asked = run.dialogs.asked().back();
  QCOMPARE(asked.title, QStringLiteral("Tag"));
  QCOMPARE(asked.prompt, QStringLiteral("Gebt einen Tag an."));
  QCOMPARE(asked.proposed, QStringLiteral("0"));
  QCOMPARE(run.registry->art->staticRecord(3)->extra, 0x20);
  run.dialogs.answerInput("tag");
  run.trigger("miArtSSetTag");
  QCOMPARE(run.registry->art->staticRecord(3)->extra, 0x20);
  run.trigger("miArtSShowDetails");
  const IndexRecord r = *run.registry->art->staticRecord(3);
  const QString details =
      QStringLiteral("Offset: %1 Length: %2 Tag: 32").arg(r.lookup).arg(r.length);
  QCOMPARE(run.messages(), (QStringList{"'tag' is not a valid integer value", details}));

  // "Extract IDs from File": listed full statics become HEX.bmp beside the list; an existing
  // picture is kept, an empty static and blank lines are passed over.
  run.dialogs.clear();
  writeText(run.dir.file("ids.txt"), "0x0\r\n\r\n3\r\n0x4\r\n");
  writeText(run.dir.file("3.bmp"), "kept");
  run.dialogs.answerOpen(run.path("ids.txt"));
  run.click("btnExtractIds");
  QCOMPARE(run.dialogs.asked().back().title, QStringLiteral("Choose File to read IDs from..."));
  QCOMPARE(readBmpFile(run.dir.file("0.bmp")), run.registry->art->staticPicture(0));
  QCOMPARE(readText(run.dir.file("3.bmp")), std::string("kept"));
  QVERIFY(!fileExists(run.dir.file("4.bmp")));
  QCOMPARE(run.messages(), QStringList{"Done."});
  QVERIFY(!run.mainForm->gauge().isVisible());

  // "Fill Slots to 0x7FFF" grows the index so statics 0 ... 0x7FFF exist, and the list with it.
  run.click("btnFillSlots");
  QCOMPARE(run.registry->art->staticCount(), std::int64_t{0x8000});
  QCOMPARE(statics->list()->lineCount(), 0x8000);
  QVERIFY(run.dialogs.failures().isEmpty());
}

QTEST_MAIN(ArtPagesTest)
#include "ArtPagesTest.moc"
