// The "Hues" page driven as a user drives it: the hue table loaded on the Settings page, lines
// picked, the ramp strip dragged and right-clicked, "Spread", the name field, the second table
// with "<<<", and the hued preview of a gump and of static art.

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QSlider>
#include <QTest>

#include "UiTestSupport.h"
#include "app/Text.h"
#include "models/Art.h"
#include "models/Gump.h"
#include "models/Hues.h"
#include "sample/Sample.h"
#include "ui/editor/HueForm.h"
#include "ui/editor/HueTable.h"
#include "ui/main/HuePage.h"
#include "ui/main/PictureView.h"
#include "ui/main/SlotListView.h"

using namespace quillotide;
using quillotide::test::configWith;
using quillotide::test::ProgramRun;
using quillotide::ui::HuePage;

namespace {

constexpr int kHues = 16;

// Hue e: colour k has the 5-bit channels (k, e, 31 - k); its name is "Hue <e>".
void writeHueTable(const std::string& path, int greenBase = 0) {
  THues hues;
  hues.loadBytes(Bytes(THues::kBlockSize * (kHues / THues::kEntriesPerBlock), 0));
  for (int e = 0; e < kHues; ++e) {
    std::array<Colour16, HueEntry::kColourCount> colours{};
    for (int k = 0; k < HueEntry::kColourCount; ++k)
      colours[static_cast<std::size_t>(k)] =
          static_cast<Colour16>((k << 10) | (((e + greenBase) & 31) << 5) | (31 - k));
    hues.setColours(e, colours);
    hues.setHueName(e, "Hue " + std::to_string(e));
  }
  hues.save(path);
}

void selectLine(ProgramRun& run, const QString& list, int row) {
  auto* view = run.find<QListView>(list);
  view->setCurrentIndex(view->model()->index(row, 0));
}

// Mouse events straight to the strip, at the middle of ramp colour k (or at a raw y).
void mouse(QWidget* w, QEvent::Type type, Qt::MouseButton button, int y) {
  const QPointF pos(30, y);
  const Qt::MouseButtons held =
      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
  QMouseEvent event(type, pos, w->mapToGlobal(pos),
                    type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
  QApplication::sendEvent(w, &event);
}
int rowY(int k) { return HuePage::kStripRow * k + 5; }

bool markerAt(ui::PictureView* strip, int k) {
  return strip->pixelAt(66, rowY(k)) == qRgb(0, 0, 255);
}

// Gump 2 of a 20 x 10 picture of red 12, loaded on the Settings page, shown in the preview.
void showGumpInPreview(ProgramRun& run) {
  const std::string idx = run.dir.file("gumpidx.mul"), mul = run.dir.file("gumpart.mul");
  test::writeBytes(idx, test::indexBytes(std::vector<IndexRecord>(8)));
  test::writeBytes(mul, {});
  {
    TGump gumps;
    gumps.load(idx, mul);
    gumps.writeGump(2, Bitmap32(20, 10, makePixel(8 * 12, 8 * 3, 8 * 3)));
    gumps.save(idx, mul);
  }
  run.find<QLineEdit>("eGumpIdx")->setText(QString::fromStdString(idx));
  run.find<QLineEdit>("eGumpMul")->setText(QString::fromStdString(mul));
  run.click("btnLoadGumps");
  run.dialogs.answerInput(QStringLiteral("2"));
  run.find<QAction>("miHueShowGump")->trigger();
}

struct HueRun {
  HueRun() : run(configWith({})) {
    writeHueTable(run.dir.file("hues.mul"));
    run.registry->config->setString("Hues", run.dir.file("hues.mul"));
    run.find<QLineEdit>("eHues")->setText(run.path("hues.mul"));
    run.click("btnLoadHues");
    page = run.find<HuePage>("tsHues");
    strip = run.find<ui::PictureView>("iHueRamp");
  }
  ProgramRun run;
  HuePage* page = nullptr;
  ui::PictureView* strip = nullptr;
};

}  // namespace

class HuePageTest : public QObject {
  Q_OBJECT
private slots:
  void loadFillsTheListAndTheStripShowsTheRamp();
  void trackBarsColourTheLines();
  void dragSelectsARangeClampedToTheRamp();
  void spreadRecoloursTheSelectedRangeOnly();
  void rightClickSetsAColour();
  void nameFieldTakesTwentyCharactersOnEnter();
  void secondTableAndCopyRamp();
  void previewShowsGumpAndArtHued();
  void previewShowsAnimationOfTheSampleSet();
  void clickedLineIsTheOneShownAndEdited();
  void lightHueLinesGetADarkGround();
  void overviewChoosesTheHueOnThePage();
};

void HuePageTest::loadFillsTheListAndTheStripShowsTheRamp() {
  HueRun h;
  QCOMPARE(h.run.find<QListView>("lbHues")->model()->rowCount(), kHues);
  QCOMPARE(h.run.find<QListView>("lbHues")->model()->index(15, 0).data().toString(),
           QStringLiteral("0xF"));
  QCOMPARE(h.page->selFrom(), -1);
  QCOMPARE(h.page->selTo(), -1);
  QCOMPARE(h.strip->size(), QSize(75, 353));

  selectLine(h.run, "lbHues", 3);
  QCOMPARE(h.run.find<QLineEdit>("eHueName")->text(), QStringLiteral("Hue 3"));
  for (int k : {0, 17, 31}) {
    const Pixel expected = colour16ToPixel(static_cast<Colour16>((k << 10) | (3 << 5) | (31 - k)));
    QCOMPARE(h.strip->pixelAt(1, 11 * k + 1), expected);
    QCOMPARE(h.strip->pixelAt(58, 11 * k + 10), expected);
    QCOMPARE(h.strip->pixelAt(0, 11 * k + 5), qRgb(0, 0, 0));  // the frame
    QVERIFY(!markerAt(h.strip, k));
  }

  // A second load of the table starts without a selected range.
  mouse(h.strip, QEvent::MouseButtonPress, Qt::LeftButton, rowY(4));
  mouse(h.strip, QEvent::MouseButtonRelease, Qt::LeftButton, rowY(4));
  QCOMPARE(h.page->selFrom(), 4);
  h.run.click("btnLoadHues");
  QCOMPARE(h.page->selFrom(), -1);
  QCOMPARE(h.page->selTo(), -1);
}

void HuePageTest::trackBarsColourTheLines() {
  HueRun h;
  auto* list = h.page->list();
  auto* track = h.run.find<QSlider>("tbHues");
  QCOMPARE(track->value(), 28);
  QCOMPARE(list->customTextColour(2)->rgb(),
           colour16ToPixel(static_cast<Colour16>((28 << 10) | (2 << 5) | 3)));
  track->setValue(5);
  QCOMPARE(list->customTextColour(2)->rgb(),
           colour16ToPixel(static_cast<Colour16>((5 << 10) | (2 << 5) | 26)));
}

void HuePageTest::dragSelectsARangeClampedToTheRamp() {
  HueRun h;
  selectLine(h.run, "lbHues", 1);
  // A release that had no press on the strip (the press began elsewhere) starts the range where
  // it is, instead of reaching down to the unset -1.
  mouse(h.strip, QEvent::MouseButtonRelease, Qt::LeftButton, rowY(7));
  QCOMPARE(h.page->selFrom(), 7);
  QCOMPARE(h.page->selTo(), 7);

  mouse(h.strip, QEvent::MouseButtonPress, Qt::LeftButton, rowY(10));
  QVERIFY(h.page->dragging());
  for (int k = 9; k >= 5; --k) mouse(h.strip, QEvent::MouseMove, Qt::LeftButton, rowY(k));
  for (int k = 6; k <= 12; ++k) mouse(h.strip, QEvent::MouseMove, Qt::LeftButton, rowY(k));
  mouse(h.strip, QEvent::MouseButtonRelease, Qt::LeftButton, rowY(12));
  QCOMPARE(h.page->selFrom(), 5);
  QCOMPARE(h.page->selTo(), 12);
  QVERIFY(!h.page->dragging());
  QVERIFY(!markerAt(h.strip, 4));
  QVERIFY(markerAt(h.strip, 5));
  QVERIFY(markerAt(h.strip, 12));
  QVERIFY(!markerAt(h.strip, 13));

  // Moves without a pressed button select nothing.
  mouse(h.strip, QEvent::MouseMove, Qt::NoButton, rowY(20));
  QCOMPARE(h.page->selTo(), 12);

  // A drag that leaves the strip stops at its ends.
  mouse(h.strip, QEvent::MouseButtonPress, Qt::LeftButton, rowY(30));
  mouse(h.strip, QEvent::MouseMove, Qt::LeftButton, 5000);
  mouse(h.strip, QEvent::MouseButtonRelease, Qt::LeftButton, 5000);
  QCOMPARE(h.page->selFrom(), 30);
  QCOMPARE(h.page->selTo(), 31);
  mouse(h.strip, QEvent::MouseButtonPress, Qt::LeftButton, rowY(2));
  mouse(h.strip, QEvent::MouseMove, Qt::LeftButton, -400);
  mouse(h.strip, QEvent::MouseButtonRelease, Qt::LeftButton, -400);
  QCOMPARE(h.page->selFrom(), 0);
  QCOMPARE(h.page->selTo(), 2);
}

void HuePageTest::spreadRecoloursTheSelectedRangeOnly() {
  HueRun h;
  const int e = 6;
  selectLine(h.run, "lbHues", e);
  const HueEntry before = *h.run.registry->hues->entry(e);
  // Colour 0 black and colour 31 white, then spread over a drag that runs off the strip's end.
  h.run.registry->hues->setHueColour16(e, 0, 0x0000);
  h.run.registry->hues->setHueColour16(e, 31, 0x7FFF);
  mouse(h.strip, QEvent::MouseButtonPress, Qt::LeftButton, 0);
  mouse(h.strip, QEvent::MouseMove, Qt::LeftButton, 2000);
  mouse(h.strip, QEvent::MouseButtonRelease, Qt::LeftButton, 2000);
  QCOMPARE(h.page->selTo(), 31);
  h.run.click("btnHueSpread");
  const HueEntry after = *h.run.registry->hues->entry(e);
  for (int k = 0; k < 32; ++k)
    QCOMPARE(after.colours[static_cast<std::size_t>(k)],
             static_cast<Colour16>((k << 10) | (k << 5) | k));
  // The table bounds and the name behind the ramp stay as they were.
  QCOMPARE(after.name, before.name);
  QCOMPARE(after.tableStart, before.tableStart);
  QCOMPARE(after.tableEnd, before.tableEnd);
  QCOMPARE(h.strip->pixelAt(5, rowY(16)),
           colour16ToPixel(static_cast<Colour16>((16 << 10) | (16 << 5) | 16)));

  // One colour selected: nothing to spread.
  const HueEntry other = *h.run.registry->hues->entry(7);
  selectLine(h.run, "lbHues", 7);
  mouse(h.strip, QEvent::MouseButtonPress, Qt::LeftButton, rowY(9));
  mouse(h.strip, QEvent::MouseButtonRelease, Qt::LeftButton, rowY(9));
  h.run.click("btnHueSpread");
  QCOMPARE(*h.run.registry->hues->entry(7), other);
  QVERIFY(h.run.dialogs.messages().isEmpty());
}

void HuePageTest::rightClickSetsAColour() {
  HueRun h;
  // Without a selected line the colour dialog does not open.
  mouse(h.strip, QEvent::MouseButtonPress, Qt::RightButton, rowY(3));
  QVERIFY(h.run.dialogs.asked().isEmpty());

  selectLine(h.run, "lbHues", 2);
  h.run.dialogs.answerColour(QColor(248, 0, 0));
  mouse(h.strip, QEvent::MouseButtonPress, Qt::RightButton, rowY(3));
  QCOMPARE(h.run.registry->hues->hueColour(2, 3), std::optional<Colour16>(0x7C00));
  QCOMPARE(
      h.run.dialogs.asked().last().proposed,
      QColor::fromRgb(colour16ToPixel(static_cast<Colour16>((3 << 10) | (2 << 5) | 28))).name());
  QCOMPARE(h.strip->pixelAt(30, rowY(3)), qRgb(248, 0, 0));
  // A cancelled dialog changes nothing.
  h.run.dialogs.answerColour(std::nullopt);
  mouse(h.strip, QEvent::MouseButtonPress, Qt::RightButton, rowY(3));
  QCOMPARE(h.run.registry->hues->hueColour(2, 3), std::optional<Colour16>(0x7C00));
}

void HuePageTest::nameFieldTakesTwentyCharactersOnEnter() {
  HueRun h;
  selectLine(h.run, "lbHues", 9);
  auto* name = h.run.find<QLineEdit>("eHueName");
  name->selectAll();
  QTest::keyClicks(name, QStringLiteral("Twenty-five characters!!"));
  QCOMPARE(name->text(), QStringLiteral("Twenty-five characte"));
  QCOMPARE(h.run.registry->hues->hueName(9), std::string("Hue 9"));  // only Enter stores it
  QTest::keyClick(name, Qt::Key_Return);
  QCOMPARE(h.run.registry->hues->hueName(9), std::string("Twenty-five characte"));
  QCOMPARE(h.run.registry->hues->hueName(10), std::string("Hue 10"));

  // Saved and read again, the full 20 characters come back.
  h.run.dialogs.answerSave(h.run.path("saved-hues.mul"));
  h.run.click("btnSaveHues");
  THues reread;
  reread.load(h.run.dir.file("saved-hues.mul"));
  QCOMPARE(reread.hueName(9), std::string("Twenty-five characte"));
}

void HuePageTest::secondTableAndCopyRamp() {
  HueRun h;
  writeHueTable(h.run.dir.file("other-hues.mul"), 20);
  // "<<<" needs both tables.
  selectLine(h.run, "lbHues", 4);
  const HueEntry before = *h.run.registry->hues->entry(4);
  h.run.click("btnHueCopy");
  QCOMPARE(*h.run.registry->hues->entry(4), before);

  h.run.dialogs.answerOpen(h.run.path("other-hues.mul"));
  h.run.click("btnHues2Load");
  QCOMPARE(h.run.dialogs.asked().last().filter, QStringLiteral("Hues.mul|Hues.mul"));
  QCOMPARE(h.run.find<QListView>("lbHues2")->model()->rowCount(), kHues);
  selectLine(h.run, "lbHues2", 1);
  QCOMPARE(h.run.find<QLineEdit>("eHue2Name")->text(), QStringLiteral("Hue 1"));
  auto* strip2 = h.run.find<ui::PictureView>("iHue2Ramp");
  QCOMPARE(strip2->size(), QSize(60, 353));
  QCOMPARE(strip2->pixelAt(30, rowY(0)), colour16ToPixel(static_cast<Colour16>((21 << 5) | 31)));

  h.run.click("btnHueCopy");
  const HueEntry after = *h.run.registry->hues->entry(4);
  QCOMPARE(after.colours, h.run.registry->hues2->entry(1)->colours);
  QCOMPARE(after.name, before.name);
  QCOMPARE(h.strip->pixelAt(30, rowY(0)), colour16ToPixel(after.colours[0]));
  // The second table itself is never changed.
  QCOMPARE(h.run.registry->hues2->hueName(1), std::string("Hue 1"));
}

void HuePageTest::previewShowsGumpAndArtHued() {
  HueRun h;
  const std::string idx = h.run.dir.file("gumpidx.mul"), mul = h.run.dir.file("gumpart.mul");
  test::writeBytes(idx, test::indexBytes(std::vector<IndexRecord>(8)));
  test::writeBytes(mul, {});
  Bitmap32 gump(20, 10, makePixel(8 * 12, 8 * 3, 8 * 3));
  for (int x = 0; x < 20; ++x) gump.at(x, 0) = makePixel(0, 0, 0);  // colour 0: drawn opaque black
  {
    TGump gumps;
    gumps.load(idx, mul);
    gumps.writeGump(2, gump);
    gumps.save(idx, mul);
  }
  // Art is not loaded: "Show Art" asks nothing.
  h.run.click("btnLoadHues");
  auto* showArt = h.run.find<QAction>("miHueShowArt");
  showArt->trigger();
  QVERIFY(h.run.dialogs.asked().isEmpty());

  h.run.find<QLineEdit>("eGumpIdx")->setText(QString::fromStdString(idx));
  h.run.find<QLineEdit>("eGumpMul")->setText(QString::fromStdString(mul));
  h.run.click("btnLoadGumps");
  selectLine(h.run, "lbHues", 5);

  // A gump that does not exist is not taken.
  h.run.dialogs.answerInput(QStringLiteral("0x3"));
  h.run.find<QAction>("miHueShowGump")->trigger();
  QCOMPARE(h.page->previewKind(), HuePage::PreviewKind::None);
  QCOMPARE(h.run.dialogs.asked().last().title, QStringLiteral("ID"));
  QCOMPARE(h.run.dialogs.asked().last().prompt, QStringLiteral("Gebt eine ID an."));
  QCOMPARE(h.run.dialogs.asked().last().proposed, QStringLiteral("0x0"));

  h.run.dialogs.answerInput(QStringLiteral("2"));
  h.run.find<QAction>("miHueShowGump")->trigger();
  QCOMPARE(h.page->previewKind(), HuePage::PreviewKind::Gump);
  QCOMPARE(h.page->previewId(), 2);
  QCOMPARE(h.run.registry->config->getInt("HueGumpId"), 2);
  auto* preview = h.run.find<ui::PictureView>("iHuePreview");
  // Drawn at (180 - 10, 180 - 5): red 12 takes colour 12 of hue 5, black stays black.
  QCOMPARE(preview->pixelAt(170, 176),
           colour16ToPixel(static_cast<Colour16>((12 << 10) | (5 << 5) | 19)));
  QCOMPARE(preview->pixelAt(189, 175), qRgb(0, 0, 0));
  QCOMPARE(preview->pixelAt(169, 176), ui::PictureView::kBackground.rgba());

  // Another hue line redraws the preview with that hue; the id is proposed next time.
  selectLine(h.run, "lbHues", 9);
  QCOMPARE(preview->pixelAt(170, 176),
           colour16ToPixel(static_cast<Colour16>((12 << 10) | (9 << 5) | 19)));
  h.run.dialogs.answerInput(std::nullopt);
  h.run.find<QAction>("miHueShowGump")->trigger();
  QCOMPARE(h.run.dialogs.asked().last().proposed, QStringLiteral("0x2"));

  // A text that is no number ends with the conversion message and keeps the preview.
  h.run.dialogs.answerInput(QStringLiteral("two"));
  h.run.find<QAction>("miHueShowGump")->trigger();
  QCOMPARE(h.run.dialogs.messageTexts(), QStringList{"'two' is not a valid integer value"});
  QCOMPARE(h.page->previewKind(), HuePage::PreviewKind::Gump);

  // Static art: every pixel that is not 0 is hued, the white ground included.
  sample::writeArt(h.run.dir.path());
  h.run.find<QLineEdit>("eArtIdx")->setText(h.run.path("artidx.mul"));
  h.run.find<QLineEdit>("eArtMul")->setText(h.run.path("art.mul"));
  h.run.click("btnLoadArt");
  const TArt& art = *h.run.registry->art;
  std::int32_t id = 0;
  while (id < art.staticCount() && !art.staticExists(id)) ++id;
  QVERIFY(id < art.staticCount());
  h.run.dialogs.answerInput(QString::number(id));
  showArt->trigger();
  QCOMPARE(h.page->previewKind(), HuePage::PreviewKind::Art);
  QCOMPARE(h.run.registry->config->getInt("HueArtId"), id);
  const Bitmap32 picture = art.staticPicture(id);
  const int left = 180 - picture.width / 2, top = 180 - picture.height / 2;
  int white = 0;
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x) {
      const Pixel p = picture.at(x, y);
      const Pixel expected =
          p == 0 ? ui::PictureView::kBackground.rgba()
                 : colour16ToPixel(*h.run.registry->hues->hueColour(9, redOf(p) >> 3));
      QCOMPARE(preview->pixelAt(left + x, top + y), expected);
      if (p == makePixel(255, 255, 255)) ++white;
    }
  QVERIFY(white > 0);
}

void HuePageTest::previewShowsAnimationOfTheSampleSet() {
  ProgramRun run;
  run.mainForm->useSampleSet(run.path("sample"));
  run.dialogs.clear();
  const TAnimation& animation = *run.registry->animation;
  int body = 0;
  while (body < animation.bodyCount() && !animation.bodyExists(body)) ++body;
  QVERIFY(body < animation.bodyCount());
  selectLine(run, "lbHues", 0x20);
  run.dialogs.answerInput(QString::fromStdString(hexLabel(static_cast<std::uint32_t>(body))));
  run.find<QAction>("miHueShowAnimation")->trigger();
  auto* page = run.find<HuePage>("tsHues");
  QCOMPARE(page->previewKind(), HuePage::PreviewKind::Animation);
  QCOMPARE(run.registry->config->getInt("HueAnimId"), body);

  // Transparent pixels keep the view's ground; every other pixel takes the ramp colour of its red.
  const Bitmap32 frame = animation.firstFramePicture(body);
  QVERIFY(!frame.empty());
  const int left = 180 - frame.width / 2, top = 180 - frame.height / 2;
  auto* preview = run.find<ui::PictureView>("iHuePreview");
  for (int y = 0; y < frame.height; ++y)
    for (int x = 0; x < frame.width; ++x) {
      if (left + x < 0 || left + x >= 360 || top + y < 0 || top + y >= 360) continue;
      const Pixel p = frame.at(x, y);
      const Pixel expected =
          p == 0 ? ui::PictureView::kBackground.rgba()
                 : colour16ToPixel(*run.registry->hues->hueColour(0x20, redOf(p) >> 3));
      QCOMPARE(preview->pixelAt(left + x, top + y), expected);
    }
  QVERIFY(run.dialogs.messages().isEmpty());
}

void HuePageTest::clickedLineIsTheOneShownAndEdited() {
  HueRun h;
  writeHueTable(h.run.dir.file("other-hues.mul"), 20);
  h.run.dialogs.answerOpen(h.run.path("other-hues.mul"));
  h.run.click("btnHues2Load");
  h.run.showPage("tsHues");
  showGumpInPreview(h.run);
  auto* name = h.run.find<QLineEdit>("eHueName");
  auto* name2 = h.run.find<QLineEdit>("eHue2Name");
  auto* strip2 = h.run.find<ui::PictureView>("iHue2Ramp");
  auto* preview = h.run.find<ui::PictureView>("iHuePreview");
  // Colour k of hue e has the channels (k, e + greenBase, 31 - k).
  const auto rampColour = [](int e, int k, int greenBase = 0) {
    return colour16ToPixel(
        static_cast<Colour16>((k << 10) | (((e + greenBase) & 31) << 5) | (31 - k)));
  };
  const auto showsHue = [&](int e) {
    QCOMPARE(name->text(), QStringLiteral("Hue %1").arg(e));
    QCOMPARE(h.strip->pixelAt(30, rowY(4)), rampColour(e, 4));
    // The gump's red 12 takes colour 12 of the hue.
    QCOMPARE(preview->pixelAt(175, 178), rampColour(e, 12));
  };

  // Each click shows the line clicked, not the one before it; so do the arrow keys.
  h.run.clickLine("lbHues", 3);
  showsHue(3);
  h.run.clickLine("lbHues", 7);
  showsHue(7);
  h.run.pressKey("lbHues", Qt::Key_Down);
  showsHue(8);
  h.run.pressKey("lbHues", Qt::Key_Up);
  h.run.pressKey("lbHues", Qt::Key_Up);
  showsHue(6);
  h.run.clickLine("lbHues2", 2);
  h.run.clickLine("lbHues2", 5);
  QCOMPARE(name2->text(), QStringLiteral("Hue 5"));
  QCOMPARE(strip2->pixelAt(30, rowY(4)), rampColour(5, 4, 20));

  // Every edit lands in the hue on screen. The same edits on a copy of the table are what the
  // saved file must hold, so no other hue may change either.
  THues expected;
  expected.load(h.run.dir.file("hues.mul"));
  h.run.clickLine("lbHues", 10);
  h.run.clickLine("lbHues", 11);
  name->selectAll();
  QTest::keyClicks(name, QStringLiteral("Eleven"));
  QTest::keyClick(name, Qt::Key_Return);
  expected.setHueName(11, "Eleven");

  h.run.clickLine("lbHues", 12);
  h.run.dialogs.answerColour(QColor(248, 248, 248));
  mouse(h.strip, QEvent::MouseButtonPress, Qt::RightButton, rowY(31));
  expected.setHueColour(12, 31, 248, 248, 248);
  mouse(h.strip, QEvent::MouseButtonPress, Qt::LeftButton, rowY(0));
  mouse(h.strip, QEvent::MouseMove, Qt::LeftButton, rowY(31));
  mouse(h.strip, QEvent::MouseButtonRelease, Qt::LeftButton, rowY(31));
  h.run.click("btnHueSpread");
  expected.spreadHue(0, 31, 12);

  h.run.clickLine("lbHues", 14);
  h.run.clickLine("lbHues2", 9);
  h.run.click("btnHueCopy");
  expected.setColours(14, h.run.registry->hues2->entry(9)->colours);
  QCOMPARE(name->text(), QStringLiteral("Hue 14"));
  QCOMPARE(h.strip->pixelAt(30, rowY(4)), rampColour(9, 4, 20));

  h.run.dialogs.answerSave(h.run.path("saved-hues.mul"));
  h.run.click("btnSaveHues");
  THues saved;
  saved.load(h.run.dir.file("saved-hues.mul"));
  for (int e = 0; e < kHues; ++e) QCOMPARE(*saved.entry(e), *expected.entry(e));
  QVERIFY(h.run.dialogs.messages().isEmpty());
}

void HuePageTest::lightHueLinesGetADarkGround() {
  HueRun h;
  // Colour 28 (the track bar's) of hue 2 white, of hue 3 a pale yellow, of hue 4 navy.
  h.run.registry->hues->setHueColour16(2, 28, 0x7FFF);
  h.run.registry->hues->setHueColour16(3, 28, static_cast<Colour16>((31 << 10) | (31 << 5) | 20));
  h.run.registry->hues->setHueColour16(4, 28, 0x0010);
  h.run.showPage("tsHues");
  h.run.clickLine("lbHues", 6);
  auto* view = h.run.find<QListView>("lbHues");
  const QImage lines = view->viewport()->grab().toImage();
  const auto lineImage = [&](int row) {
    return lines.copy(view->visualRect(view->model()->index(row, 0)));
  };
  // The ground at the line's left edge, and whether the label's own colour is drawn in it.
  const auto ground = [&](int row) { return lineImage(row).pixel(2, 2) & 0xFFFFFFu; };
  const auto drawsColour = [&](int row, QRgb colour) {
    const QImage image = lineImage(row);
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if ((image.pixel(x, y) & 0xFFFFFFu) == (colour & 0xFFFFFFu)) return true;
    return false;
  };
  QVERIFY(ground(2) != 0xFFFFFFu);
  QVERIFY(qGray(ground(2)) < 80);
  QVERIFY(drawsColour(2, colour16ToPixel(0x7FFF)));
  QVERIFY(qGray(ground(3)) < 80);
  QVERIFY(drawsColour(3, colour16ToPixel(static_cast<Colour16>((31 << 10) | (31 << 5) | 20))));
  // A dark colour reads on white and keeps it; the selected line stays navy.
  QCOMPARE(ground(4), 0xFFFFFFu);
  QVERIFY(drawsColour(4, colour16ToPixel(0x0010)));
  QCOMPARE(ground(6), qRgb(0, 0, 128) & 0xFFFFFFu);
}

void HuePageTest::overviewChoosesTheHueOnThePage() {
  // Before the hues are loaded the overview opens with an empty table.
  {
    ProgramRun run(configWith({}));
    run.showPage("tsHues");
    QTest::mouseClick(run.find<QWidget>("btnHueOverview"), Qt::LeftButton);
    ui::THueForm* form = run.find<HuePage>("tsHues")->hueForm();
    QVERIFY(form->isVisible());
    QCOMPARE(form->hueTable()->table()->pixelAt(1, 1), ui::PictureView::kBackground.rgb());
  }

  HueRun h;
  h.run.showPage("tsHues");
  QTest::mouseClick(h.run.find<QWidget>("btnHueOverview"), Qt::LeftButton);
  ui::THueForm* form = h.page->hueForm();
  QVERIFY(form->isVisible());
  QCOMPARE(form->windowTitle(), QStringLiteral("Farbwahl"));
  ui::PictureView* table = form->hueTable()->table();
  const auto ramp = [](int e, int k) {
    return colour16ToPixel(static_cast<Colour16>((k << 10) | (e << 5) | (31 - k)));
  };
  QCOMPARE(table->pixelAt(1, 5 * 3 + 1), ramp(3, 28));

  // A press on hue 3 selects its line as a click on the line does.
  QTest::mouseClick(table, Qt::LeftButton, Qt::NoModifier, QPoint(2, 5 * 3 + 1));
  QCOMPARE(h.page->list()->selectedSlot(), std::optional<std::int32_t>(3));
  QCOMPARE(h.run.find<QListView>("lbHues")->currentIndex().row(), 3);
  QCOMPARE(h.run.find<QLineEdit>("eHueName")->text(), QStringLiteral("Hue 3"));
  QCOMPARE(h.strip->pixelAt(1, 11 * 17 + 1), ramp(3, 17));
  // Enter in the overview's number field does the same; a hue past the table changes nothing.
  QLineEdit* number = form->hueTable()->numberField();
  number->selectAll();
  QTest::keyClicks(number, QStringLiteral("0xC"));
  QTest::keyClick(number, Qt::Key_Return);
  QCOMPARE(h.page->list()->selectedSlot(), std::optional<std::int32_t>(12));
  QCOMPARE(h.run.find<QLineEdit>("eHueName")->text(), QStringLiteral("Hue 12"));
  QTest::mouseClick(table, Qt::LeftButton, Qt::NoModifier, QPoint(2, 5 * kHues + 1));
  QCOMPARE(h.page->list()->selectedSlot(), std::optional<std::int32_t>(12));
  QCOMPARE(h.run.dialogs.messageTexts().last(),
           QStringLiteral("Hue 0x10 is not in the hue table."));

  QTest::mouseClick(form->findChild<QWidget*>("btnOK"), Qt::LeftButton);
  QVERIFY(!form->isVisible());
}

QTEST_MAIN(HuePageTest)
#include "HuePageTest.moc"
