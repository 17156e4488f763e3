// Seeded random sequences through the Settings page as a person uses it: fields typed, "Load",
// "Save", "Save as UOP" and "Find files" clicked, every question answered at random. After every
// step: a question came exactly when unsaved edits were in the way, no file changed that the
// step did not name, and the open hues hold their files plus the unsaved edit.

#include <sys/stat.h>

#include <filesystem>
#include <map>

#include <QLabel>
#include <QTest>

#include "UiTestSupport.h"
#include "app/FileIO.h"
#include "app/Random.h"
#include "sample/Sample.h"
#include "ui/main/SettingsPage.h"

using quillotide::test::ProgramRun;
using quillotide::test::TempDir;

namespace {

struct Stamp {
  bool exists = false;
  unsigned long long inode = 0, size = 0;
  long long mtime = 0;
  bool operator==(const Stamp&) const = default;
};
Stamp stampOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return {true, static_cast<unsigned long long>(st.st_ino),
          static_cast<unsigned long long>(st.st_size),
          static_cast<long long>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

const char* const kWatched[] = {"hues.mul", "artidx.mul", "art.mul", "artLegacyMUL.uop",
                                "tiledata.mul"};

struct SequenceRun : ProgramRun {
  TempDir folders[2];
  SequenceRun() {
    for (TempDir& f : folders) {
      quillotide::sample::writeHues(f.path());
      quillotide::sample::writeArt(f.path());
      quillotide::sample::writeTiledata(f.path());
    }
    // The two folders differ in the name the sequence reads.
    quillotide::THues b;
    b.load(folders[1].file("hues.mul"));
    b.setHueName(3, "second folder");
    b.save(folders[1].file("hues.mul"));
    mainForm->show();
    if (!QTest::qWaitForWindowExposed(mainForm.get()))
      QTest::qFail("main window not exposed", __FILE__, __LINE__);
  }
  std::map<std::string, Stamp> stamps() const {
    std::map<std::string, Stamp> all;
    for (const TempDir& f : folders)
      for (const char* name : kWatched) all[f.file(name)] = stampOf(f.file(name));
    return all;
  }
  std::string hueName() const { return registry->hues->entry(3)->nameText(); }
  std::string hueNameIn(const std::string& file) const {
    quillotide::THues h;
    h.load(file);
    return h.entry(3)->nameText();
  }
};

}  // namespace

class OpenFilesSequenceTest : public QObject {
  Q_OBJECT
private slots:
  void randomStepsKeepEveryEditAndTouchOnlyTheFilesNamed();
};

void OpenFilesSequenceTest::randomStepsKeepEveryEditAndTouchOnlyTheFilesNamed() {
  for (std::uint64_t seed = 1; seed <= 3; ++seed) {
    SequenceRun run;
    quillotide::Random random(seed);
    std::string huesFile;  // the hues' own file, empty while not open
    std::string edited;    // the unsaved name, empty while none
    const QString at = QStringLiteral("seed %1 step %2");
    for (int step = 0; step < 40; ++step) {
      const auto before = run.stamps();
      std::vector<std::string> named;
      const int op = static_cast<int>(random.uniform(0, 4));
      const int folder = static_cast<int>(random.uniform(0, 1));
      const int answer = static_cast<int>(random.uniform(0, 2));
      const QString button = answer == 0   ? QStringLiteral("Save")
                             : answer == 1 ? QStringLiteral("Discard")
                                           : QStringLiteral("Cancel");
      const std::string target = run.folders[folder].file("hues.mul");
      const bool unsaved = !huesFile.empty() && !edited.empty();
      const auto settled = [&] {
        // What a question about the unsaved name leads to.
        if (answer == 0) {
          named.push_back(huesFile);
          edited.clear();
        } else if (answer == 1) {
          edited.clear();
        }
      };
      switch (op) {
        case 0: {  // Load the hues from a folder, as typed
          const bool sameContent = unsaved && run.hueNameIn(target) == edited;
          const bool asks = unsaved && !sameContent;
          if (asks) run.dialogs.answerQuestion(button);
          run.typeInto("eHues", QString::fromStdString(target));
          run.press("btnLoadHues");
          if (asks && answer == 2) break;
          if (asks) settled();
          huesFile = target;
          edited.clear();
          break;
        }
        case 1: {  // an edit
          if (huesFile.empty()) break;
          edited = "edit " + std::to_string(random.uniform(0, 99999));
          run.registry->hues->setHueName(3, edited);
          break;
        }
        case 2: {  // Save, accepting the file proposed
          if (huesFile.empty()) break;
          run.dialogs.answerSave(QString::fromStdString(huesFile));
          run.press("btnSaveHues");
          QCOMPARE(run.dialogs.asked().last().proposed, QString::fromStdString(huesFile));
          named.push_back(huesFile);
          edited.clear();
          break;
        }
        case 3: {  // Find files on a folder: the hues open from it, the rest of the other closes
          // One question for the step, about every family it passes by with unsaved edits.
          const bool asks = unsaved;
          if (asks) run.dialogs.answerQuestion(button);
          run.typeInto("eClientFolder", QString::fromStdString(run.folders[folder].path()));
          if (asks && answer == 2) break;
          if (asks) settled();
          huesFile = target;
          edited.clear();
          break;
        }
        case 4: {  // Save as UOP of the art into the other folder's container name: art only
          if (!run.registry->openFiles().isOpen("Art")) break;
          const std::string container = run.folders[folder].file("artLegacyMUL.uop");
          run.dialogs.answerSave(QString::fromStdString(container));
          run.press("btnSaveAsUopArt");
          named.push_back(container);
          break;
        }
      }
      QVERIFY2(run.dialogs.pendingAnswers() == 0,
               qPrintable(at.arg(seed).arg(step) + QStringLiteral(": a question expected")));
      run.dialogs.clear();
      // No file changed that the step did not name.
      const auto after = run.stamps();
      for (const auto& [path, stamp] : after) {
        if (before.at(path) == stamp) continue;
        bool ok = false;
        for (const std::string& n : named) ok = ok || quillotide::sameTarget(n, path);
        QVERIFY2(ok, qPrintable(at.arg(seed).arg(step) + QStringLiteral(": changed ") +
                                QString::fromStdString(path)));
      }
      // The hues hold their file plus the unsaved edit, and say where they are open from.
      if (!huesFile.empty()) {
        QVERIFY2(run.registry->hues->isLoaded(), qPrintable(at.arg(seed).arg(step)));
        const std::string expected = edited.empty() ? run.hueNameIn(huesFile) : edited;
        QVERIFY2(run.hueName() == expected,
                 qPrintable(at.arg(seed).arg(step) + QStringLiteral(": hue name ") +
                            QString::fromStdString(run.hueName())));
        QVERIFY(run.find<QLabel>("lOpenHues")->text().contains(
            QString::fromStdString(std::filesystem::path(huesFile).parent_path().string())));
      }
    }
  }
}

QTEST_MAIN(OpenFilesSequenceTest)
#include "OpenFilesSequenceTest.moc"
