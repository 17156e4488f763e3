// The "Multi" page shows a multi's components as they are stored: for a multi of a UOP container
// the full flags and the cliloc numbers of each tile, in the container's tile order; for a MUL
// pair its 12- or 16-byte components, with the layout told and converted only on request.

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "UiTestSupport.h"
#include "app/Uop.h"
#include "models/Multi.h"
#include "sample/Sample.h"
#include "ui/main/MultiPage.h"

using namespace quillotide;
using quillotide::test::ProgramRun;

class MultiComponentsPageTest : public QObject {
  Q_OBJECT
private slots:
  void containerMultiShowsFlagsAndClilocs();
  void sixteenByteFileShowsItsComponentsSavesAsItIsAndConvertsOnRequest();
  void containerShowsEveryIdItHoldsAndMarksAnUnreadableEntry();
};

void MultiComponentsPageTest::containerMultiShowsFlagsAndClilocs() {
  ProgramRun run;
  sample::writeArt(run.dir.path());
  const std::vector<MultiComponent> ship = {
      {0x10, 0, 0, 0, 0}, {0x11, 1, -2, 5, 0x101, {1041205, 500}}, {0x12, -1, 0, 0, 0x100}};
  UopContainer made = UopContainer::create();
  made.setPayload(uopHash(uopEntryName(UopFamily::Multi, 1)), encodeUopMulti(1, ship), true);
  made.setPayload(uopHash(kUopHousingName), Bytes{9, 9}, true);
  made.save(run.dir.file("MultiCollection.uop"));

  run.setField("eArtIdx", run.path("artidx.mul"));
  run.setField("eArtMul", run.path("art.mul"));
  run.click("btnLoadArt");
  run.setField("eMultiIdx", run.path("MultiCollection.uop"));
  run.setField("eMultiMul", run.path("MultiCollection.uop"));
  run.click("btnLoadMultis");
  QVERIFY(run.registry->multis->isUop());
  run.showPage("tsMulti");
  auto* page = run.find<ui::MultiPage>("tsMulti");
  auto* list = run.find<QListWidget>("lbMultiComponents");

  run.clickLine("lbMulti", 1);
  QCOMPARE(list->count(), 3);
  QCOMPARE(list->item(0)->text(), QStringLiteral("0x10  0, 0, 0  flags 0x0"));
  QCOMPARE(list->item(1)->text(),
           QStringLiteral("0x11  1, -2, 5  flags 0x101  clilocs 1041205, 500"));
  QCOMPARE(list->item(2)->text(), QStringLiteral("0x12  -1, 0, 0  flags 0x100"));
  QVERIFY(page->picture()->size() != QSize(ui::MultiPage::kEmptySide, ui::MultiPage::kEmptySide));

  // The housing table is no multi: slot 0 and every other slot stay empty.
  run.clickLine("lbMulti", 0);
  QCOMPARE(list->count(), 0);
  QVERIFY(!run.registry->multis->slotExists(0));
  QVERIFY(run.dialogs.messages().isEmpty());
}

void MultiComponentsPageTest::sixteenByteFileShowsItsComponentsSavesAsItIsAndConvertsOnRequest() {
  ProgramRun run;
  sample::writeArt(run.dir.path());
  // Slot 0 as current clients have it: 38 components of 16 bytes (608 bytes, no multiple of 12),
  // two with a further value of 1.
  ByteWriter data;
  const auto component = [&](int id, int x, int y, std::uint32_t flags, std::uint32_t further) {
    data.u16(static_cast<std::uint16_t>(id));
    data.i16(static_cast<std::int16_t>(x));
    data.i16(static_cast<std::int16_t>(y));
    data.i16(0);
    data.u32(flags);
    data.u32(further);
  };
  component(16093, 0, 0, 1, 0);
  component(15950, 1, 4, 1, 0);
  for (int i = 2; i < 38; ++i) component(0x10 + i % 8, i % 5 - 2, i % 3 - 1, 1, i % 17 == 0);
  const Bytes mul = data.take();
  const Bytes idx = test::indexBytes({{0, 608, -1}});
  test::writeBytes(run.dir.file("multi.idx"), idx);
  test::writeBytes(run.dir.file("multi.mul"), mul);

  run.setField("eArtIdx", run.path("artidx.mul"));
  run.setField("eArtMul", run.path("art.mul"));
  run.click("btnLoadArt");
  run.setField("eMultiIdx", run.path("multi.idx"));
  run.setField("eMultiMul", run.path("multi.mul"));
  run.click("btnLoadMultis");
  run.showPage("tsMulti");
  auto* list = run.find<QListWidget>("lbMultiComponents");
  auto* layout = run.find<QLabel>("lMultiLayout");
  QVERIFY2(layout->text().startsWith(QStringLiteral("16-byte components")),
           qPrintable(layout->text()));
  QCOMPARE(run.find<QPushButton>("btnMultiConvert")->text(),
           QStringLiteral("Convert to 12-byte components"));

  run.clickLine("lbMulti", 0);
  QCOMPARE(list->count(), 38);
  QCOMPARE(list->item(0)->text(), QStringLiteral("0x3EDD  0, 0, 0  flags 0x1"));
  QCOMPARE(list->item(1)->text(), QStringLiteral("0x3E4E  1, 4, 0  flags 0x1"));
  QCOMPARE(list->item(17)->text(), QStringLiteral("0x11  0, 1, 0  flags 0x1  further 0x1"));

  // Saved without a change, both files are what they were.
  run.dialogs.answerSave(run.path("out.idx"));
  run.dialogs.answerSave(run.path("out.mul"));
  run.click("btnSaveMultis");
  QCOMPARE(test::readBytes(run.dir.file("out.idx")), idx);
  QCOMPARE(test::readBytes(run.dir.file("out.mul")), mul);
  QVERIFY(run.dialogs.messages().isEmpty());

  // To 12 bytes the further values would go: the page asks first, then converts.
  run.dialogs.answerQuestion(QStringLiteral("Cancel"));
  run.press("btnMultiConvert");
  QCOMPARE(run.registry->multis->layout(), MultiLayout::Newer16);
  run.dialogs.answerQuestion(QStringLiteral("Convert"));
  run.press("btnMultiConvert");
  QVERIFY(run.dialogs.asked().last().prompt.contains(
      QStringLiteral("2 components hold a further value")));
  QCOMPARE(run.dialogs.messageTexts().last(),
           QStringLiteral("Converted 1 slots. 2 further values were dropped: 12-byte components "
                          "have no place for them. Save the multis to write them as 12-byte "
                          "components."));
  QVERIFY(layout->text().startsWith(QStringLiteral("12-byte components")));
  QCOMPARE(list->count(), 38);
  QCOMPARE(list->item(17)->text(), QStringLiteral("0x11  0, 1, 0  flags 0x1"));
  run.dialogs.answerSave(run.path("twelve.idx"));
  run.dialogs.answerSave(run.path("twelve.mul"));
  run.click("btnSaveMultis");
  TMulti saved;
  saved.load(run.dir.file("twelve.idx"), run.dir.file("twelve.mul"));
  QCOMPARE(saved.layout(), MultiLayout::Older12);
  QCOMPARE(saved.record(0)->length, 38 * 12);
  QCOMPARE(saved.components(0).size(), std::size_t(38));
}

void MultiComponentsPageTest::containerShowsEveryIdItHoldsAndMarksAnUnreadableEntry() {
  ProgramRun run;
  UopContainer made = UopContainer::create();
  made.setPayload(uopHash(uopEntryName(UopFamily::Multi, 1)),
                  encodeUopMulti(1, {{0x10, -1, 0, 0, 1, {1041205}}, {0x11, 1, 0, 0, 0}}), true);
  made.setPayload(uopHash(uopEntryName(UopFamily::Multi, 0x212A)),
                  encodeUopMulti(0x212A, {{0x12, 0, 0, 0, 0x100}}), true);
  Bytes damaged = encodeUopMulti(5, {{0x13, 0, 0, 0, 0}});
  damaged.push_back(0);
  made.setPayload(uopHash(uopEntryName(UopFamily::Multi, 5)), damaged, true);
  made.save(run.dir.file("MultiCollection.uop"));

  run.setField("eMultiIdx", run.path("MultiCollection.uop"));
  run.setField("eMultiMul", run.path("MultiCollection.uop"));
  run.click("btnLoadMultis");
  QCOMPARE(run.dialogs.messages().size(), 1);
  QVERIFY2(run.dialogs.messageTexts().first().contains(QStringLiteral("Multi 0x5 cannot be read")),
           qPrintable(run.dialogs.messageTexts().first()));
  run.showPage("tsMulti");
  auto* list = run.find<QListWidget>("lbMultiComponents");
  QCOMPARE(run.find<QListView>("lbMulti")->model()->rowCount(), 0x212B);

  run.clickLine("lbMulti", 0x212A);
  QCOMPARE(list->count(), 1);
  QCOMPARE(list->item(0)->text(), QStringLiteral("0x12  0, 0, 0  flags 0x100"));
  run.clickLine("lbMulti", 5);
  QCOMPARE(list->count(), 1);
  QVERIFY2(list->item(0)->text().startsWith(QStringLiteral("Cannot be read: ")),
           qPrintable(list->item(0)->text()));

  // A text of other tiles read into slot 1 drops its cliloc list, and says so.
  test::writeText(run.dir.file("tent.txt"), "0x10 -2 0 0 0x0 0\r\n0x11 2 0 0 0x0 1\r\n");
  run.clickLine("lbMulti", 1);
  run.dialogs.answerOpen(run.path("tent.txt"));
  if (auto* a = run.find<QAction>(QStringLiteral("miMultiLoadText"))) a->trigger();
  QCOMPARE(run.dialogs.messageTexts().last(), QString::fromStdString(droppedOnImportMessage(1, 1)));
  QCOMPARE(list->count(), 2);
  QCOMPARE(list->item(0)->text(), QStringLiteral("0x10  -2, 0, 0  flags 0x1"));
}

QTEST_MAIN(MultiComponentsPageTest)
#include "MultiComponentsPageTest.moc"
