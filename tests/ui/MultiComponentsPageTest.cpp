// The "Multi" page shows a multi's components as they are stored: for a multi of a UOP container
// the full flags and the cliloc numbers of each tile, in the container's tile order.

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
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

QTEST_MAIN(MultiComponentsPageTest)
#include "MultiComponentsPageTest.moc"
