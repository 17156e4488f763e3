// The rebuild of a pair as the pages run it: a damaged slot raises the question through the dialog
// seam, and its answer decides what is written.

#include <QTest>

#include "app/FileIO.h"
#include "app/IndexedFile.h"
#include "support/TestFiles.h"
#include "ui/main/PairRebuild.h"
#include "ui/platform/ScriptedDialogs.h"

using quillotide::IndexedFile;
using quillotide::StorageMode;
using quillotide::test::TempDir;
using quillotide::ui::ScriptedDialogs;

class PairRebuildTest : public QObject {
  Q_OBJECT
private slots:
  void aDamagedSlotIsNamedAndCanBeLeftOut();
};

void PairRebuildTest::aDamagedSlotIsNamedAndCanBeLeftOut() {
  TempDir dir;
  const std::string idx = dir.file("gumpidx.mul"), mul = dir.file("gumpart.mul");
  quillotide::test::writeBytes(idx, quillotide::test::indexBytes({{0, 4, 1}, {2, 90, 1}}));
  quillotide::test::writeBytes(mul, quillotide::Bytes{1, 2, 3, 4});
  IndexedFile files;
  files.load(idx, mul, StorageMode::Memory);
  const std::string ni = dir.file("new.idx"), nm = dir.file("new.mul");
  auto rebuild = [&](bool skip) {
    quillotide::Random random(4);
    quillotide::Progress silent;
    return files.rebuild(ni, nm, silent, random, skip);
  };
  auto name = [](std::int64_t slot) { return QStringLiteral("Gump 0x%1").arg(slot, 0, 16); };

  ScriptedDialogs dialogs;
  dialogs.onUnexpected = [](const QString& what) { QFAIL(qPrintable(what)); };
  dialogs.answerQuestion(QStringLiteral("Cancel"));
  QVERIFY(!quillotide::ui::runPairRebuild(dialogs, rebuild, name));
  QCOMPARE(dialogs.asked().size(), 1);
  const auto question = dialogs.asked()[0];
  QCOMPARE(question.kind, ScriptedDialogs::Kind::Question);
  QCOMPARE(question.filter, QStringLiteral("Rebuild without damaged slots|Cancel"));
  QVERIFY2(question.prompt.startsWith(
               "Slot 0x1 is damaged: The record (2, 90) points outside the data file (4 bytes)."),
           qPrintable(question.prompt));
  QVERIFY(!quillotide::fileExists(ni));
  QVERIFY(dialogs.messages().isEmpty());

  dialogs.answerQuestion(quillotide::ui::kRebuildWithoutDamaged);
  QVERIFY(quillotide::ui::runPairRebuild(dialogs, rebuild, name));
  QCOMPARE(dialogs.messageTexts(),
           QStringList{QStringLiteral("Rebuilt without the damaged slots: Gump 0x1.")});
  IndexedFile rebuilt;
  rebuilt.load(ni, nm, StorageMode::Memory);
  QVERIFY(rebuilt.exists(0));
  QVERIFY(!rebuilt.exists(1));

  // A pair without damage asks nothing.
  quillotide::test::writeBytes(idx, quillotide::test::indexBytes({{0, 4, 1}}));
  files.load(idx, mul, StorageMode::Memory);
  dialogs.clear();
  QVERIFY(quillotide::ui::runPairRebuild(dialogs, rebuild, name));
  QVERIFY(dialogs.asked().isEmpty());
  QVERIFY(dialogs.messages().isEmpty());
}

QTEST_MAIN(PairRebuildTest)
#include "PairRebuildTest.moc"
