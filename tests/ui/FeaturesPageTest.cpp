// The "Features" page driven as a person does: a kind chosen in "ReIndex" with the arrow keys,
// "Start" clicked with the mouse, the save dialogs and the question answered through the dialog
// seam.

#include <QComboBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "UiTestSupport.h"
#include "app/FileIO.h"
#include "ui/main/PairRebuild.h"

using quillotide::test::ProgramRun;
using quillotide::test::readBytes;
using quillotide::test::writeBytes;

class FeaturesPageTest : public QObject {
  Q_OBJECT
private slots:
  void reIndexOfADamagedGumpFileOffersToLeaveTheSlotOut();
  void reIndexOfAnUnloadedKindDoesNothing();
};

namespace {

// Loads a gump pair whose slot 1 points past the end of the data, and shows the Features page.
void loadDamagedGumps(ProgramRun& run) {
  writeBytes(run.dir.file("gumpidx.mul"),
             quillotide::test::indexBytes({{0, 8, 0x00010001}, {8, 400, 0x00010001}}));
  // Slot 0: one row of one pixel (row table, then the run colour 0x1F, length 1).
  writeBytes(run.dir.file("gumpart.mul"), quillotide::Bytes{1, 0, 0, 0, 0x1F, 0, 1, 0});
  run.setField("eGumpIdx", run.path("gumpidx.mul"));
  run.setField("eGumpMul", run.path("gumpart.mul"));
  run.click("btnLoadGumps");
  QVERIFY(run.registry->gumps->isLoaded());
  run.mainForm->show();
  run.find<QTabWidget>("pcMain")->setCurrentWidget(run.find<QWidget>("tsFeatures"));
}

void chooseKind(ProgramRun& run, const QString& caption) {
  auto* kind = run.find<QComboBox>("cbReIndex");
  kind->setFocus();
  // Up to the first entry, then down the list until the kind is reached.
  for (int i = 0; i < kind->count(); ++i) QTest::keyClick(kind, Qt::Key_Up);
  for (int i = 0; i < kind->count() && kind->currentText() != caption; ++i)
    QTest::keyClick(kind, Qt::Key_Down);
  QCOMPARE(kind->currentText(), caption);
}

void clickStart(ProgramRun& run) {
  QTest::mouseClick(run.find<QPushButton>("btnReIndex"), Qt::LeftButton);
}

}  // namespace

void FeaturesPageTest::reIndexOfADamagedGumpFileOffersToLeaveTheSlotOut() {
  ProgramRun run;
  loadDamagedGumps(run);
  chooseKind(run, QStringLiteral("Gumps"));

  // Cancelled: the question names the slot, nothing is written.
  run.dialogs.answerSave(run.path("new-idx.mul"));
  run.dialogs.answerSave(run.path("new.mul"));
  run.dialogs.answerQuestion(QStringLiteral("Cancel"));
  clickStart(run);
  const auto& asked = run.dialogs.asked();
  QCOMPARE(asked.size(), 3);
  QCOMPARE(asked[0].filter, QStringLiteral("Gumpidx.mul|Gumpidx.mul"));
  QCOMPARE(asked[1].filter, QStringLiteral("GumpArt.mul|GumpArt.mul"));
  QCOMPARE(asked[2].kind, quillotide::ui::ScriptedDialogs::Kind::Question);
  QCOMPARE(asked[2].filter, QStringLiteral("Rebuild without damaged slots|Cancel"));
  QVERIFY2(asked[2].prompt.startsWith(QStringLiteral(
               "Gump 0x1 is damaged: The record (8, 400) points outside the data file (8 bytes).")),
           qPrintable(asked[2].prompt));
  QVERIFY(!quillotide::fileExists(run.dir.file("new.mul")));
  QVERIFY(run.dialogs.messages().isEmpty());

  // "Rebuild without damaged slots": the rest is written, the slot left empty and named.
  run.dialogs.answerSave(run.path("new-idx.mul"));
  run.dialogs.answerSave(run.path("new.mul"));
  run.dialogs.answerQuestion(quillotide::ui::kRebuildWithoutDamaged);
  clickStart(run);
  QCOMPARE(run.dialogs.messageTexts(),
           QStringList{QStringLiteral("Rebuilt without the damaged slots: Gump 0x1.")});
  quillotide::TGump rebuilt;
  rebuilt.load(run.dir.file("new-idx.mul"), run.dir.file("new.mul"));
  QVERIFY(rebuilt.gumpExists(0));
  QVERIFY(!rebuilt.gumpExists(1));
  QVERIFY(rebuilt.gumpPicture(0) == run.registry->gumps->gumpPicture(0));
  QCOMPARE(run.dialogs.pendingAnswers(), 0);
}

void FeaturesPageTest::reIndexOfAnUnloadedKindDoesNothing() {
  ProgramRun run;
  loadDamagedGumps(run);
  // No kind chosen, then a kind whose model is not loaded: no dialog, no message.
  clickStart(run);
  chooseKind(run, QStringLiteral("Art"));
  clickStart(run);
  chooseKind(run, QStringLiteral("Statics"));
  clickStart(run);
  QVERIFY(run.dialogs.asked().isEmpty());
  QVERIFY(run.dialogs.messages().isEmpty());
}

QTEST_MAIN(FeaturesPageTest)
#include "FeaturesPageTest.moc"
