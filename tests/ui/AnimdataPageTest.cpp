// The "Animdata" page and the static chooser "Statics" driven as a user drives them: tile lines
// and frame lines clicked, numbers typed with Enter, "Choose" and a double click in the chooser,
// the preview's buttons and "Repeat"; then what the page shows and what the record holds.

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "UiTestSupport.h"
#include "models/Art.h"
#include "models/Verdata.h"
#include "sample/Sample.h"
#include "ui/editor/StaticChooseForm.h"
#include "ui/main/AnimdataPage.h"
#include "ui/main/PictureView.h"

using namespace quillotide;
using quillotide::test::ProgramRun;
using ui::AnimdataPage;
using ui::TStaticChooseForm;

namespace {

constexpr int kCampfire = 0x1D;  // frames 0, +4, +5, +4; interval 2, delay 0
constexpr int kTorch = 0x10;     // frames 0, +0x13; interval 3, delay 1

struct AnimdataRun : ProgramRun {
  AnimdataRun() {
    sample::writeArt(dir.path());
    sample::writeAnimdata(dir.path());
    setField("eArtIdx", path("artidx.mul"));
    setField("eArtMul", path("art.mul"));
    setField("eAnimdata", path("animdata.mul"));
    click("btnLoadArt");
    click("btnLoadAnimdata");
    showPage("tsAnimdata");
  }
  AnimdataPage* page() const { return find<AnimdataPage>("tsAnimdata"); }
  QString text(const QString& edit) const { return find<QLineEdit>(edit)->text(); }
  // Types into a field as a person does: select what is there, type, press Enter.
  void type(const QString& edit, const QString& text) const {
    auto* e = find<QLineEdit>(edit);
    e->setFocus();
    e->selectAll();
    QTest::keyClicks(e, text);
    QTest::keyClick(e, Qt::Key_Return);
  }
  void clickFrame(int row) const {
    auto* frames = find<QListWidget>("lbAnimdataFrames");
    const QModelIndex index = frames->model()->index(row, 0);
    QTest::mouseClick(frames->viewport(), Qt::LeftButton, Qt::NoModifier,
                      frames->visualRect(index).center());
  }
  QStringList frameLines() const {
    QStringList lines;
    auto* frames = find<QListWidget>("lbAnimdataFrames");
    for (int i = 0; i < frames->count(); ++i) lines << frames->item(i)->text();
    return lines;
  }
  AnimdataRecord record(int tile) const { return *registry->animdata->readEntry(tile); }
  // One tick of the preview's timer, as the event loop delivers it.
  void tick() const { QMetaObject::invokeMethod(page()->previewTimer(), "timeout"); }
};

bool onlyBackground(const ui::PictureView* view) {
  const QImage& image = view->canvas();
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) != ui::PictureView::kBackground.rgb()) return false;
  return true;
}

// The preview holds the (opaque) static at x 0, its bottom row on the preview's bottom row.
bool showsBottomAligned(const ui::PictureView* view, const Bitmap32& picture) {
  const int top = AnimdataPage::kPreviewSide - picture.height;
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x)
      if (view->pixelAt(x, top + y) != QRgb(picture.at(x, y))) return false;
  return !picture.empty();
}

// The view holds the picture's opaque pixels at (x, y); its transparent ones leave the background.
bool showsOverBackground(const ui::PictureView* view, const Bitmap32& picture, int x, int y) {
  for (int py = 0; py < picture.height; ++py)
    for (int px = 0; px < picture.width; ++px) {
      const Pixel p = picture.at(px, py);
      const QRgb expected = (p >> 24) == 0 ? ui::PictureView::kBackground.rgb() : QRgb(p);
      if (view->pixelAt(x + px, y + py) != expected) return false;
    }
  return !picture.empty();
}

}  // namespace

class AnimdataPageTest : public QObject {
  Q_OBJECT
private slots:
  void selectingShowsTheRecordAndItsFrames();
  void editsWriteTheRecordAndNothingWithoutAFrame();
  void previewFollowsTheTickRules();
  void framesPatchedByVerdataShowAsOnTheArtPage();
  void chooseSetsTheFrameByDoubleClick();
  void chooserDrawsCentredCellsAndIgnoresEmptySlots();
};

void AnimdataPageTest::selectingShowsTheRecordAndItsFrames() {
  AnimdataRun run;
  QCOMPARE(run.find<QListView>("lbAnimdata")->model()->rowCount(), 0x4000);
  run.clickLine("lbAnimdata", kCampfire);
  QCOMPARE(run.frameLines(), (QStringList{"Picture 0", "Picture 1", "Picture 2", "Picture 3"}));
  QCOMPARE(run.text("eAnimdataCount"), QStringLiteral("4"));
  QCOMPARE(run.text("eAnimdataDelay"), QStringLiteral("0"));
  QCOMPARE(run.text("eAnimdataInterval"), QStringLiteral("2"));
  QCOMPARE(run.text("eAnimdataPicture"), QStringLiteral("0x1D"));
  QCOMPARE(run.text("eAnimdataRelPicture"), QStringLiteral("0"));

  run.clickFrame(2);
  QCOMPARE(run.text("eAnimdataPicture"), QStringLiteral("0x22"));
  QCOMPARE(run.text("eAnimdataRelPicture"), QStringLiteral("5"));
  // The frame's static (the campfire itself for frame 0), on white, at the top-left corner.
  run.clickFrame(0);
  const Bitmap32 art = run.registry->art->staticPicture(kCampfire);
  const int x = art.width / 2, y = art.height / 2;
  QCOMPARE(run.page()->framePicture()->pixelAt(x, y), QRgb(art.at(x, y)));
  QVERIFY(run.dialogs.messages().isEmpty());
}

void AnimdataPageTest::editsWriteTheRecordAndNothingWithoutAFrame() {
  AnimdataRun run;
  run.clickLine("lbAnimdata", kCampfire);
  run.clickFrame(1);
  // Art id t + 200 does not fit a signed byte: the offset stored is 200 - 256 = -56.
  run.type("eAnimdataPicture", QString::number(kCampfire + 200));
  QCOMPARE(run.record(kCampfire).offsets[1], std::int8_t(-56));
  QCOMPARE(run.text("eAnimdataRelPicture"), QStringLiteral("-56"));

  run.type("eAnimdataRelPicture", QStringLiteral("3"));
  QCOMPARE(run.record(kCampfire).offsets[1], std::int8_t(3));
  QCOMPARE(run.text("eAnimdataPicture"), QStringLiteral("0x20"));

  // A lone minus sign writes nothing; a text that is no number is refused with the record kept.
  run.type("eAnimdataRelPicture", QStringLiteral("-"));
  QCOMPARE(run.record(kCampfire).offsets[1], std::int8_t(3));
  run.type("eAnimdataRelPicture", QStringLiteral("abc"));
  QCOMPARE(run.dialogs.messageTexts(),
           QStringList{QStringLiteral("'abc' is not a valid integer value")});
  QCOMPARE(run.record(kCampfire).offsets[1], std::int8_t(3));

  // The count rebuilds the frame box; an empty delay keeps the stored one.
  run.type("eAnimdataCount", QStringLiteral("2"));
  QCOMPARE(run.frameLines(), (QStringList{"Picture 0", "Picture 1"}));
  run.find<QLineEdit>("eAnimdataDelay")->clear();
  run.type("eAnimdataInterval", QStringLiteral("7"));
  QCOMPARE(run.record(kCampfire).frameCount, std::uint8_t(2));
  QCOMPARE(run.record(kCampfire).frameInterval, std::uint8_t(7));
  QCOMPARE(run.record(kCampfire).startDelay, std::uint8_t(0));

  // A tile without frames: no frame is selected, so the frame edits write nothing.
  run.clickLine("lbAnimdata", 5);
  QVERIFY(run.frameLines().isEmpty());
  const AnimdataRecord before = run.record(5);
  run.type("eAnimdataPicture", QStringLiteral("0x7"));
  run.type("eAnimdataRelPicture", QStringLiteral("2"));
  QVERIFY(run.record(5) == before);

  // Three frames at interval 0: listed, but not animated, so "Start" does nothing.
  run.type("eAnimdataCount", QStringLiteral("3"));
  run.type("eAnimdataInterval", QStringLiteral("0"));
  QCOMPARE(run.frameLines().size(), 3);
  run.click("btnAnimdataStart");
  QVERIFY(!run.page()->previewTimer()->isActive());
}

void AnimdataPageTest::previewFollowsTheTickRules() {
  AnimdataRun run;
  AnimdataPage* page = run.page();
  QTimer* timer = page->previewTimer();
  const ui::PictureView* preview = page->preview();
  // The torch's second frame made the sword (0x12), so both frames have a picture to tell apart.
  run.clickLine("lbAnimdata", kTorch);
  run.clickFrame(1);
  run.type("eAnimdataRelPicture", QStringLiteral("2"));
  const Bitmap32 first = run.registry->art->staticPicture(kTorch);
  const Bitmap32 last = run.registry->art->staticPicture(0x12);
  QVERIFY(!(first == last));

  // Without "Repeat": frame 0, then the tick of the last frame clears and stops.
  run.click("btnAnimdataStart");
  QVERIFY(timer->isActive());
  QCOMPARE(timer->interval(), 1 * 50 + 10);
  run.tick();
  QVERIFY(showsBottomAligned(preview, first));
  QCOMPARE(timer->interval(), 3 * 50);
  run.tick();
  QVERIFY(onlyBackground(preview));
  QVERIFY(!timer->isActive());

  // With "Repeat": the last frame stays, then an empty pause, then frame 0 again.
  run.find<QCheckBox>("cbAnimdataRepeat")->click();
  run.click("btnAnimdataStart");
  run.tick();
  run.tick();
  QVERIFY(showsBottomAligned(preview, last));
  QCOMPARE(page->previewCounter(), -1);
  QVERIFY(timer->isActive());
  run.tick();
  QVERIFY(onlyBackground(preview));
  QCOMPARE(timer->interval(), 1 * 50 + 2000);
  run.tick();
  QVERIFY(showsBottomAligned(preview, first));

  run.click("btnAnimdataStop");
  QVERIFY(!timer->isActive());
  QVERIFY(onlyBackground(preview));
}

// The campfire's frames 1 and 2 (statics 0x21 and 0x22) are empty in art.mul and patched by
// verdata: the frame picture and the preview show the patches, as the art page does.
void AnimdataPageTest::framesPatchedByVerdataShowAsOnTheArtPage() {
  AnimdataRun run;
  sample::writeVerdata(run.dir.path());
  run.setField("eVerdata", run.path("verdata.mul"));
  run.click("btnLoadVerdata");
  QVERIFY(!run.registry->art->staticExists(0x21));
  const Bitmap32 patch = run.registry->verdata->staticPicture(0x21);
  QVERIFY(!patch.empty());

  run.clickLine("lbAnimdata", kCampfire);
  run.clickFrame(1);
  QCOMPARE(run.text("eAnimdataPicture"), QStringLiteral("0x21"));
  QVERIFY(showsOverBackground(run.page()->framePicture(), patch, 0, 0));

  run.click("btnAnimdataStart");
  run.tick();
  run.tick();
  QVERIFY(showsOverBackground(run.page()->preview(), patch, 0,
                              AnimdataPage::kPreviewSide - patch.height));
  QVERIFY(run.dialogs.messages().isEmpty());
}

void AnimdataPageTest::chooseSetsTheFrameByDoubleClick() {
  AnimdataRun run;
  TStaticChooseForm* chooser = run.page()->chooser();
  // Nothing selected: "Choose" opens nothing.
  run.click("btnAnimdataChoose");
  QVERIFY(!chooser->isVisible());

  run.clickLine("lbAnimdata", kCampfire);
  run.clickFrame(1);
  run.click("btnAnimdataChoose");
  QVERIFY(chooser->isVisible());
  QCOMPARE(chooser->windowTitle(), QStringLiteral("Statics"));
  QCOMPARE(chooser->selectedId(), kCampfire + 4);

  const QRect cell = TStaticChooseForm::cellRect(0x0C);
  chooser->scrollArea()->ensureVisible(cell.center().x(), cell.center().y());
  QTest::mouseDClick(chooser->grid(), Qt::LeftButton, Qt::NoModifier, cell.center());
  QVERIFY(!chooser->isVisible());
  QCOMPARE(run.text("eAnimdataPicture"), QStringLiteral("0xC"));
  QCOMPARE(run.text("eAnimdataRelPicture"), QString::number(0x0C - kCampfire));
  QCOMPARE(run.record(kCampfire).offsets[1], std::int8_t(0x0C - kCampfire));
}

void AnimdataPageTest::chooserDrawsCentredCellsAndIgnoresEmptySlots() {
  ProgramRun run;
  // Static 5: 100 x 30, its left half one colour and its right half another.
  const Pixel left = makePixel(200, 40, 40), right = makePixel(40, 40, 200);
  Bitmap32 wide(100, 30, left);
  for (int y = 0; y < 30; ++y)
    for (int x = 50; x < 100; ++x) wide.at(x, y) = right;
  std::vector<IndexRecord> records(static_cast<std::size_t>(kLandTileCount + 0x10));
  const Bytes art = encodeStaticArt(wide);
  records[static_cast<std::size_t>(kStaticBase + 5)] = {0, static_cast<std::int32_t>(art.size()),
                                                        0};
  test::writeBytes(run.dir.file("artidx.mul"), test::indexBytes(records));
  test::writeBytes(run.dir.file("art.mul"), art);
  run.registry->art->load(run.dir.file("artidx.mul"), run.dir.file("art.mul"), StorageMode::Memory);

  TStaticChooseForm chooser(*run.registry);
  chooser.setRequestedId(25);
  chooser.show();
  QVERIFY(QTest::qWaitForWindowExposed(&chooser));
  QCOMPARE(chooser.selectedRow(), 2);
  QCOMPARE(chooser.selectedColumn(), 1);

  // The middle 44 columns (source 28 .. 71), seven ground rows above the 30 art rows.
  const QImage cell = chooser.cellImage(5, false);
  QCOMPARE(cell.pixel(21, 6), qRgb(255, 255, 255));
  QCOMPARE(cell.pixel(21, 7), QRgb(left));
  QCOMPARE(cell.pixel(22, 7), QRgb(right));
  QCOMPARE(cell.pixel(22, 36), QRgb(right));
  QCOMPARE(cell.pixel(22, 37), qRgb(255, 255, 255));
  QCOMPARE(chooser.cellImage(6, true).pixel(22, 20), qRgb(0, 0, 255));

  // A double click on an empty slot changes nothing; on the static it hands the id over.
  QSignalSpy chosen(&chooser, &TStaticChooseForm::chosen);
  chooser.scrollArea()->ensureVisible(0, 0);
  QTest::mouseDClick(chooser.grid(), Qt::LeftButton, Qt::NoModifier,
                     TStaticChooseForm::cellRect(6).center());
  QVERIFY(chooser.isVisible());
  QCOMPARE(chosen.count(), 0);
  QTest::mouseDClick(chooser.grid(), Qt::LeftButton, Qt::NoModifier,
                     TStaticChooseForm::cellRect(5).center());
  QVERIFY(!chooser.isVisible());
  QCOMPARE(chosen.count(), 1);
  QCOMPARE(chosen.front().front().toInt(), 5);
}

QTEST_MAIN(AnimdataPageTest)
#include "AnimdataPageTest.moc"
