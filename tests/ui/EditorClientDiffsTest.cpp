// The world editor's static diff menu on a client folder copied from Windows: with facet 2 chosen
// in the settings, "Load StaticDiffs" reads facet 2's diff whatever the case of its names, and a
// save into a folder holding another facet-2 diff in lower case asks before replacing it.

#include <QTest>

#include "EditorRun.h"
#include "app/FileIO.h"
#include "sample/SampleClient.h"

using quillotide::test::configWith;
using quillotide::test::EditorRun;
using quillotide::ui::ScriptedDialogs;

class EditorClientDiffsTest : public QObject {
  Q_OBJECT
private slots:
  void facetDiffsLoadedAndTheirFolderGuardedWhateverTheirCase();
};

void EditorClientDiffsTest::facetDiffsLoadedAndTheirFolderGuardedWhateverTheirCase() {
  EditorRun r(configWith({{"LastX", "32"}, {"LastY", "32"}, {"Facet", "2"}}));
  const std::string client = r.run.dir.file("client");
  quillotide::sample::writeSampleClient(client);

  r.run.dialogs.answerFolder(QString::fromStdString(client));
  r.trigger(QStringLiteral("Load StaticDiffs"));
  QVERIFY(r.run.registry->staticDiff->isLoaded());
  QCOMPARE(r.run.registry->staticDiff->facet(), 2);
  QCOMPARE(r.run.registry->staticDiff->entries().size(), std::size_t{1});

  // Another folder with a facet-2 diff of its own, in lower case: the save asks first.
  const std::string other = r.run.dir.file("other");
  quillotide::sample::writeSampleClient(other);
  const quillotide::Bytes before = quillotide::test::readBytes(other + "/stadif2.mul");
  r.run.dialogs.clear();
  r.run.dialogs.answerFolder(QString::fromStdString(other));
  r.run.dialogs.answerQuestion(QStringLiteral("Cancel"));
  r.trigger(QStringLiteral("Save StaticDiffs (changes only)"));
  const auto& asked = r.run.dialogs.asked();
  QCOMPARE(asked.size(), 2);
  QCOMPARE(asked[1].kind, ScriptedDialogs::Kind::Question);
  QCOMPARE(asked[1].title, QStringLiteral("Save StaticDiffs"));
  QCOMPARE(quillotide::test::readBytes(other + "/stadif2.mul"), before);
  QVERIFY(!quillotide::fileExists(other + "/Stadif2.mul"));
  QCOMPARE(r.run.dialogs.pendingAnswers(), 0);
}

QTEST_MAIN(EditorClientDiffsTest)
#include "EditorClientDiffsTest.moc"
