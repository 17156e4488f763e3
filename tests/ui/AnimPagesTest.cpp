// The animation pages driven through their lists, player controls, pop-up menus and the dialog
// seam; the animation files are checked afterwards through a second model.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <filesystem>
#include <tuple>

#include "UiTestSupport.h"
#include "app/FileIO.h"
#include "models/AnimExchange.h"
#include "sample/Sample.h"
#include "ui/main/AnimPage.h"
#include "ui/main/SettingsPage.h"
#include "ui/main/SlotListView.h"

using quillotide::AnimFolderSlot;
using quillotide::AnimFrame;
using quillotide::Bitmap32;
using quillotide::Pixel;
using quillotide::test::ProgramRun;
using quillotide::test::writeBytes;
using quillotide::ui::AnimPage;
using quillotide::ui::ScriptedDialogs;

namespace {

const QString kNoProblems =
    QStringLiteral("There were 0 problems regarding the number of colors you used.");

// A figure of w x h on black (transparent to the frame encoder) whose colours follow `seed`.
Bitmap32 figure(int w, int h, int seed) {
  Bitmap32 b(w, h, 0xFF000000);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if ((x + y + seed) % 4 != 0)
        b.at(x, y) = quillotide::makePixel(static_cast<std::uint8_t>(40 + 50 * (seed % 4)),
                                           static_cast<std::uint8_t>(8 * y), 160);
  return b;
}

// An animation folder with frames for slot offsets 0 (three frames) and 7 (action 1, direction 2:
// four frames of growing size, each with its own centre).
void writeFolder(const std::string& folder) {
  std::filesystem::create_directories(folder);
  std::vector<AnimFolderSlot> body(2);
  body[0].offset = 0;
  for (int f = 0; f < 3; ++f) body[0].frames.push_back(AnimFrame{10, 20, figure(20, 30, f), 0, {}});
  body[1].offset = 7;
  for (int f = 0; f < 4; ++f)
    body[1].frames.push_back(
        AnimFrame{5 + f, -3 * f, figure(12 + 4 * f, 16 + 2 * f, f + 1), 0, {}});
  quillotide::Progress silent;
  quillotide::writeAnimFolder(folder, body, silent);
}

// A block of one 4 x 3 frame, centre (2, 3): a run of two pixels ten columns right of the picture
// (both outside it) and one good pixel.
quillotide::Bytes strayBlock() {
  quillotide::ByteWriter w;
  for (int i = 0; i < 256; ++i) w.u16(i == 1 ? 0x7C00 : 0);
  w.u32(1);
  w.u32(8);
  w.i16(2);
  w.i16(3);
  w.u16(4);
  w.u16(3);
  w.u32((9u << 22) | (static_cast<std::uint32_t>(-6 & 0x3FF) << 12) | 2u);
  w.u8(1);
  w.u8(1);
  w.u32((1u << 22) | (static_cast<std::uint32_t>(-4 & 0x3FF) << 12) | 1u);
  w.u8(1);
  w.u32(0x7FFF7FFF);
  return w.take();
}

// The pictures and centres of a slot's frames, to compare two bodies.
std::vector<std::tuple<int, int, Bitmap32>> framesOf(const quillotide::TAnimation& model, int body,
                                                     int offset) {
  std::vector<std::tuple<int, int, Bitmap32>> out;
  for (const AnimFrame& f : model.slotFrames(body, offset))
    out.emplace_back(f.centerX, f.centerY, f.picture);
  return out;
}

struct AnimRun : ProgramRun {
  // Opens empty files for the animation file `n` (1 = anim) through the Settings page.
  void loadEmpty(int n, const std::string& indexBytes = {}) {
    const std::string base = n == 1 ? "anim" : "anim" + std::to_string(n);
    const QString key = n == 1 ? QStringLiteral("Anim") : QStringLiteral("Anim%1").arg(n);
    writeBytes(dir.file(base + ".idx"), quillotide::Bytes(indexBytes.begin(), indexBytes.end()));
    writeBytes(dir.file(base + ".mul"), {});
    setField("e" + key + "Idx", path(base + ".idx"));
    setField("e" + key + "Mul", path(base + ".mul"));
    click("btnLoad" + key);
  }
  AnimPage* page(const QString& caption) {
    return qobject_cast<AnimPage*>(mainForm->page(caption));
  }
  void trigger(const QString& action) {
    if (auto* a = find<QAction>(action)) a->trigger();
  }
  int lineOf(AnimPage* p, int body) {
    for (int line = 0; line < p->list()->lineCount(); ++line)
      if (p->list()->slotAt(line) == body) return line;
    return -1;
  }
  bool listedFull(AnimPage* p, int body) {
    const int line = lineOf(p, body);
    return line >= 0 && p->list()->lineState(line, false).full;
  }
  // The page on show, chosen by a click on its tab.
  void showPage(AnimPage* p) {
    mainForm->resize(1400, 900);
    mainForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(mainForm.get()));
    auto* tabs = find<QTabWidget>("pcMain");
    const int index = tabs->indexOf(p);
    const QRect tab = tabs->tabBar()->tabRect(index);
    if (tabs->tabBar()->rect().contains(tab.center()))
      QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tab.center());
    else
      tabs->setCurrentIndex(index);  // scrolled out of the tab bar
    QCOMPARE(tabs->currentWidget(), p);
  }
  // A left click on the line of the body.
  void clickBody(AnimPage* p, int body) {
    QListView* view = p->list()->listView();
    const QModelIndex index = view->model()->index(lineOf(p, body), 0);
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
  }
  // A right click on the selected line opens the pop-up menu; a click on the entry runs it.
  void popupEntry(AnimPage* p, const QString& action) {
    QListView* view = p->list()->listView();
    const QPoint at = view->visualRect(view->currentIndex()).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view->viewport(), &event);
    QMenu* menu = p->popupMenu();
    QVERIFY(menu->isVisible());
    QTest::mouseClick(menu, Qt::LeftButton, {},
                      menu->actionGeometry(find<QAction>(action)).center());
  }
  bool pictureBlank(const QString& name) {
    const QImage image = find<QLabel>(name)->pixmap().toImage();
    const QRgb ground = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (image.pixel(x, y) != ground) return false;
    return true;
  }
};

}  // namespace

class AnimPagesTest : public QObject {
  Q_OBJECT
 private slots:
  void fillBeforeLoadAsksForAnims();
  void labelsFollowEachFile();
  void importPlayExportAndImportAgain();
  void kxFilesAndDelete();
  void verdataPatchesShowGreenAndExportFirst();
  void everySampleAnimationPlaysInEveryDirection();
  void damagedFramesAndColoursGiveOneMessage();
};

void AnimPagesTest::fillBeforeLoadAsksForAnims() {
  AnimRun run;
  run.click("btnAnimFill");
  QCOMPARE(run.dialogs.messageTexts(), QStringList{"Load Anims first."});
  // Only the main file has the button.
  QVERIFY(!run.mainForm->findChild<QPushButton*>("btnAnim2Fill"));
  QVERIFY(!run.mainForm->findChild<QCheckBox*>("cbAnim2ShowImage"));
}

void AnimPagesTest::labelsFollowEachFile() {
  AnimRun run;
  // 200 bodies of -1 records in each of anim2 and anim3.
  const std::string empties(200 * 110 * 12, '\xFF');
  run.loadEmpty(2, empties);
  run.loadEmpty(3, empties);
  QCOMPARE(run.dialogs.messageTexts(), (QStringList{quillotide::ui::animationNote("Anim2.mul"),
                                                    quillotide::ui::animationNote("Anim3.mul")}));
  AnimPage* anim2 = run.page("Anim2");
  QCOMPARE(anim2->list()->lineCount(), 200);
  QCOMPARE(anim2->list()->model()->label(121), std::string("H: 0x79 (121)"));
  QCOMPARE(anim2->list()->model()->label(122), std::string("L: 0x7A (122)"));
  QCOMPARE(run.page("Anim3")->list()->model()->label(122), std::string("H: 0x7A (122)"));
  QVERIFY(!anim2->list()->lineState(0, false).full);

  // A decimal query finds the number in parentheses.
  run.setField("eAnim2Search", "150");
  run.click("btnAnim2Search");
  QCOMPARE(anim2->list()->selectedSlot(), std::optional<std::int32_t>(150));
  QVERIFY(run.pictureBlank("iAnim2"));
}

void AnimPagesTest::importPlayExportAndImportAgain() {
  AnimRun run;
  run.loadEmpty(1);
  AnimPage* page = run.page("Anim");
  QCOMPARE(page->list()->lineCount(), 0);
  run.click("btnAnimFill");
  QCOMPARE(page->list()->lineCount(), 0x1000);
  QCOMPARE(run.registry->animation->bodyCount(), 0x1000);

  const std::string folder = run.dir.file("in");
  writeFolder(folder);
  page->list()->selectLine(5);
  run.dialogs.answerFolder(QString::fromStdString(folder));
  run.trigger("miAnimLoadFromDirectory");
  QCOMPARE(run.dialogs.asked().last().title,
           QStringLiteral("Where should the animation be loaded from?"));
  QCOMPARE(run.dialogs.messageTexts().last(), kNoProblems);
  QVERIFY(run.listedFull(page, 5));
  // The selection is shown again: the body's first frame.
  QVERIFY(!run.pictureBlank("iAnim"));
  QCOMPARE(run.find<QComboBox>("cbAnimAction")->count(), 22);

  // Action 1, direction 2 has four frames; playing runs through them.
  run.find<QComboBox>("cbAnimAction")->setCurrentIndex(1);
  run.find<QComboBox>("cbAnimDirection")->setCurrentIndex(2);
  QCOMPARE(page->frameCount(), 4);
  QCOMPARE(page->frameIndex(), 0);
  QCOMPARE(run.find<QLabel>("lAnimFrame")->text(), QStringLiteral("Frame 1 of 4"));
  const QImage first = run.find<QLabel>("iAnim")->pixmap().toImage();
  run.click("btnAnimPlay");
  QVERIFY(page->playing());
  QTRY_VERIFY_WITH_TIMEOUT(page->frameIndex() != 0, 5000);
  QVERIFY(run.find<QLabel>("iAnim")->pixmap().toImage() != first);
  run.click("btnAnimPlay");
  QVERIFY(!page->playing());
  // The frames wrap round.
  const int stoppedAt = page->frameIndex();
  for (int step = stoppedAt; step < 4; ++step) page->advanceFrame();
  QCOMPARE(page->frameIndex(), 0);
  QCOMPARE(run.find<QLabel>("iAnim")->pixmap().toImage(), first);
  // A direction without frames shows none.
  run.find<QComboBox>("cbAnimDirection")->setCurrentIndex(4);
  QCOMPARE(page->frameCount(), 0);
  QVERIFY(run.pictureBlank("iAnim"));

  // Export the body and import the folder into an empty body.
  const std::string out = run.dir.file("out");
  std::filesystem::create_directories(out);
  run.dialogs.answerFolder(QString::fromStdString(out));
  run.trigger("miAnimSaveToDirectory");
  QCOMPARE(run.dialogs.asked().last().title,
           QStringLiteral("Wohin soll die Animation gespeichert werden?"));
  QVERIFY(quillotide::fileExists(out + "/liste.txt"));
  QVERIFY(quillotide::fileExists(out + "/7_3.bmp"));
  QVERIFY(!run.listedFull(page, 9));
  QVERIFY(quillotide::fileExists(out + "/palette_7.txt"));
  page->list()->selectLine(run.lineOf(page, 9));
  // With "Use Palette" the exported palette files come back as they were.
  run.find<QCheckBox>("cbAnimUsePalette")->setChecked(true);
  run.dialogs.answerFolder(QString::fromStdString(out));
  run.trigger("miAnimLoadFromDirectory");
  QVERIFY(run.listedFull(page, 9));
  QVERIFY(framesOf(*run.registry->animation, 9, 7) == framesOf(*run.registry->animation, 5, 7));
  QVERIFY(run.registry->animation->slotBlock(9, 7) == run.registry->animation->slotBlock(5, 7));
  QCOMPARE(framesOf(*run.registry->animation, 9, 7).size(), std::size_t{4});

  // "Full Slots", picked with the keys, lists just the two bodies; the body shown before is
  // no longer on show, as no line is selected.
  QVERIFY(!run.pictureBlank("iAnim"));
  auto* filter = run.find<QComboBox>("cbAnimFilter");
  QTest::keyClick(filter, Qt::Key_Down);
  QTest::keyClick(filter, Qt::Key_Down);
  QCOMPARE(filter->currentIndex(), 2);
  QCOMPARE(page->list()->lineCount(), 2);
  QVERIFY(run.pictureBlank("iAnim"));
  QCOMPARE(page->currentBody(), std::nullopt);
  QCOMPARE(run.find<QComboBox>("cbAnimAction")->count(), 0);
  QCOMPARE(page->list()->slotAt(1), 9);

  // An empty body offers nothing to save and asks for no folder.
  filter->setCurrentIndex(0);
  emit filter->activated(0);
  page->list()->selectLine(3);
  run.trigger("miAnimSaveToDirectory");
  run.trigger("miAnimSaveToFile");
  QVERIFY(run.dialogs.failures().isEmpty());
}

void AnimPagesTest::kxFilesAndDelete() {
  AnimRun run;
  // anim4 with 410 bodies: the type 2 bodies begin at 400.
  run.loadEmpty(4, std::string((35000 + 10 * 175) * 12, '\xFF'));
  AnimPage* page = run.page("Anim4");
  QCOMPARE(page->list()->lineCount(), 410);
  const std::string folder = run.dir.file("in");
  writeFolder(folder);
  page->list()->selectLine(402);
  run.dialogs.answerFolder(QString::fromStdString(folder));
  run.trigger("miAnim4LoadFromDirectory");
  QVERIFY(run.listedFull(page, 402));

  run.dialogs.answerSave(run.path("body.kx"));
  run.trigger("miAnim4SaveToFile");
  const auto& asked = run.dialogs.asked().last();
  QCOMPARE(asked.kind, ScriptedDialogs::Kind::SaveFile);
  QCOMPARE(asked.filter, QStringLiteral("*.kx|*.kx"));
  QCOMPARE(asked.defaultExtension, QStringLiteral("kx"));
  QCOMPARE(asked.proposed, QStringLiteral("0x192.kx"));

  // A body of another type refuses the file and stays empty.
  page->list()->selectLine(150);
  run.dialogs.answerOpen(run.path("body.kx"));
  run.trigger("miAnim4LoadFromFile");
  QCOMPARE(run.dialogs.messageTexts().last(), QStringLiteral("Wrong Anim Id ( Type )."));
  QVERIFY(!run.listedFull(page, 150));

  page->list()->selectLine(409);
  run.dialogs.answerOpen(run.path("body.kx"));
  run.trigger("miAnim4LoadFromFile");
  QVERIFY(run.listedFull(page, 409));
  QVERIFY(framesOf(*run.registry->anim4, 409, 7) == framesOf(*run.registry->anim4, 402, 7));

  page->list()->selectLine(402);
  run.trigger("miAnim4Delete");
  QVERIFY(!run.listedFull(page, 402));
  QVERIFY(run.pictureBlank("iAnim4"));
  QVERIFY(run.listedFull(page, 409));
  QVERIFY(run.dialogs.failures().isEmpty());
}

void AnimPagesTest::verdataPatchesShowGreenAndExportFirst() {
  AnimRun run;
  run.loadEmpty(1);
  run.click("btnAnimFill");
  AnimPage* page = run.page("Anim");
  const std::string folder = run.dir.file("in");
  writeFolder(folder);
  page->list()->selectLine(20);
  run.dialogs.answerFolder(QString::fromStdString(folder));
  run.trigger("miAnimLoadFromDirectory");
  run.dialogs.answerSave(run.path("body.kx"));
  run.trigger("miAnimSaveToFile");

  // Without verdata the verdata entries are hidden.
  QListView* list = page->list()->listView();
  emit list->customContextMenuRequested(QPoint(2, 2));
  QVERIFY(!run.find<QAction>("miAnimLoadFromFileToVerdata")->isVisible());
  page->popupMenu()->close();

  writeBytes(run.dir.file("verdata.mul"), quillotide::Bytes(4, 0));
  run.setField("eVerdata", run.path("verdata.mul"));
  run.click("btnLoadVerdata");
  QVERIFY2(run.registry->verdata->isLoaded(), qPrintable(run.dialogs.messageTexts().join('\n')));
  emit list->customContextMenuRequested(QPoint(2, 2));
  QVERIFY(run.find<QAction>("miAnimLoadFromFileToVerdata")->isVisible());
  page->popupMenu()->close();

  // The patch makes an empty body full and green.
  page->list()->selectLine(30);
  run.dialogs.answerOpen(run.path("body.kx"));
  run.trigger("miAnimLoadFromFileToVerdata");
  QVERIFY(run.registry->verdata->isPatched(6, 30));
  QVERIFY(!run.registry->animation->bodyExists(30));
  const auto state = page->list()->lineState(run.lineOf(page, 30), false);
  QVERIFY(state.patched);
  QCOMPARE(quillotide::lineStyle(state).text, quillotide::kLineGreen);
  QVERIFY(!run.pictureBlank("iAnim"));

  // The patched body plays from its patch and exports it.
  run.find<QComboBox>("cbAnimAction")->setCurrentIndex(1);
  run.find<QComboBox>("cbAnimDirection")->setCurrentIndex(2);
  QCOMPARE(page->frameCount(), 4);
  run.dialogs.answerSave(run.path("patch.kx"));
  run.trigger("miAnimSaveToFile");
  QVERIFY(quillotide::fileExists(run.dir.file("patch.kx")));

  // "Show Image" off shows nothing.
  run.find<QCheckBox>("cbAnimShowImage")->setChecked(false);
  QVERIFY(run.pictureBlank("iAnim"));
  QVERIFY(run.dialogs.failures().isEmpty());
}

void AnimPagesTest::everySampleAnimationPlaysInEveryDirection() {
  AnimRun run;
  quillotide::sample::writeSampleSet(run.dir.path());
  run.mainForm->useSampleSet(QString::fromStdString(run.dir.path()));
  int bodies = 0, played = 0;
  for (const QString caption : {"Anim", "Anim2", "Anim3", "Anim4", "Anim5"}) {
    AnimPage* page = run.page(caption);
    auto* filter = run.find<QComboBox>("cb" + page->baseName() + "Filter");
    if (filter->count() < 3) continue;
    filter->setCurrentIndex(2);
    emit filter->activated(2);
    auto* action = run.find<QComboBox>("cb" + page->baseName() + "Action");
    auto* direction = run.find<QComboBox>("cb" + page->baseName() + "Direction");
    for (int line = 0; line < page->list()->lineCount(); ++line) {
      page->list()->selectLine(line);
      ++bodies;
      for (int a = 0; a < action->count(); ++a)
        for (int d = 0; d < direction->count(); ++d) {
          action->setCurrentIndex(a);
          direction->setCurrentIndex(d);
          for (int f = 0; f < page->frameCount(); ++f) {
            const int before = page->frameIndex();
            page->advanceFrame();
            QCOMPARE(page->frameIndex(), (before + 1) % page->frameCount());
          }
          if (page->frameCount() > 1) ++played;
        }
    }
  }
  QVERIFY(bodies > 0);
  QVERIFY(played > 0);

  // A body's gump (body + 50000) shows beside its picture.
  AnimPage* anim = run.page("Anim");
  QVERIFY(run.registry->gumps->isLoaded());
  anim->list()->selectLine(run.lineOf(anim, 2));
  QVERIFY(run.pictureBlank("iAnimGump"));
  run.registry->gumps->writeGump(50000 + 2, figure(30, 40, 1));
  anim->list()->selectLine(run.lineOf(anim, 0x190));
  anim->list()->selectLine(run.lineOf(anim, 2));
  QVERIFY(!run.pictureBlank("iAnimGump"));
  QVERIFY2(run.dialogs.messages().isEmpty(), qPrintable(run.dialogs.messageTexts().join('\n')));
}

void AnimPagesTest::damagedFramesAndColoursGiveOneMessage() {
  AnimRun run;
  // Body 2 has two slots (directions 0 and 1 of action 0) of one damaged frame each.
  std::vector<quillotide::IndexRecord> index(3 * 110, quillotide::IndexRecord{-1, -1, -1});
  const quillotide::Bytes block = strayBlock();
  index[220] = index[221] = {0, static_cast<std::int32_t>(block.size()), 0};
  writeBytes(run.dir.file("anim.idx"), quillotide::test::indexBytes(index));
  writeBytes(run.dir.file("anim.mul"), block);
  run.setField("eAnimIdx", run.path("anim.idx"));
  run.setField("eAnimMul", run.path("anim.mul"));
  run.click("btnLoadAnim");
  AnimPage* page = run.page("Anim");
  run.showPage(page);
  const qsizetype before = run.dialogs.messageTexts().size();

  const QString two = QStringLiteral("BugPixel: 4:3,2:3,2:9:-6 (2 pixels outside their frame)");
  run.clickBody(page, 2);
  QCOMPARE(page->currentBody(), std::optional<int>(2));
  QCOMPARE(run.dialogs.messageTexts().mid(before), QStringList{two});
  QVERIFY(!run.pictureBlank("iAnim"));  // the good pixel is drawn
  // Direction 1 is another slot with its own message; back on direction 0 the frame shown when
  // the body was chosen is not reported twice.
  auto* direction = run.find<QComboBox>("cbAnimDirection");
  QTest::keyClick(direction, Qt::Key_Down);
  QCOMPARE(direction->currentIndex(), 1);
  QTest::keyClick(direction, Qt::Key_Up);
  QCOMPARE(run.dialogs.messageTexts().mid(before), (QStringList{two, two}));

  const std::string out = run.dir.file("out");
  std::filesystem::create_directories(out);
  run.dialogs.answerFolder(QString::fromStdString(out));
  run.popupEntry(page, "miAnimSaveToDirectory");
  QVERIFY(quillotide::fileExists(out + "/1_0.bmp"));
  QCOMPARE(run.dialogs.messageTexts().last(),
           QStringLiteral("BugPixel: 4:3,2:3,2:9:-6 (4 pixels outside their frame)"));

  // Colours beyond a full palette in a verdata folder import.
  writeBytes(run.dir.file("verdata.mul"), quillotide::Bytes(4, 0));
  run.setField("eVerdata", run.path("verdata.mul"));
  run.click("btnLoadVerdata");
  Bitmap32 many(300, 1, 0);
  for (int x = 0; x < 300; ++x)
    many.at(x, 0) = quillotide::colour16ToPixel(static_cast<quillotide::Colour16>(x + 1));
  const std::string colours = run.dir.file("colours");
  std::filesystem::create_directories(colours);
  quillotide::Progress silent;
  quillotide::writeAnimFolder(colours, {{0, {}, {AnimFrame{150, 1, many, 0, {}}}}}, silent);
  std::filesystem::remove(colours + "/palette_0.txt");
  run.clickBody(page, 1);
  run.dialogs.answerFolder(QString::fromStdString(colours));
  run.popupEntry(page, "miAnimLoadFromDirectoryToVerdata");
  QVERIFY(run.registry->verdata->isPatched(6, 1));
  QCOMPARE(
      run.dialogs.messageTexts().last(),
      QStringLiteral("Farbe Zuviel: 0:0:256 (45 pixels in all found no place in the palette)"));
  QVERIFY(run.dialogs.failures().isEmpty());
}

QTEST_MAIN(AnimPagesTest)
#include "AnimPagesTest.moc"
