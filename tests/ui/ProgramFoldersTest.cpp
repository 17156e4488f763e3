// Where a copy of the program keeps config.xml and the sample set: beside a portable copy, in the
// user's folders for an installed one; and what --help and "About..." say about it.

#include <sys/stat.h>
#include <unistd.h>

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "UiTestSupport.h"
#include "app/BuildInfo.h"
#include "app/FileIO.h"
#include "sample/Sample.h"
#include "ui/main/ProgramFolders.h"
#include "ui/main/Startup.h"

using quillotide::fileExists;
using quillotide::joinPath;
using quillotide::test::readText;
using quillotide::test::TempDir;
using quillotide::ui::ProgramFolders;
using quillotide::ui::programFolders;

namespace {

// The user's configuration and data folders of this test, empty at first, as on a new account.
struct UserHome {
  UserHome() {
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.path()));
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(data.path()));
  }
  ~UserHome() {
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_DATA_HOME");
  }
  std::string configDir() const { return joinPath(config.path(), "Quillotide"); }
  std::string dataDir() const { return joinPath(data.path(), "Quillotide"); }
  TempDir config, data;
};

// One start of the program as main() runs it, from the given folders.
struct Start {
  Start(const ProgramFolders& folders, const char* argument = nullptr) {
    dialogs.onUnexpected = [](const QString& what) {
      QTest::qFail(qPrintable(what), __FILE__, __LINE__);
    };
    const char* argv[] = {"quillotide", argument};
    startup = std::make_unique<quillotide::ui::Startup>(argument ? 2 : 1, argv, folders, dialogs);
    startup->mainForm().show();
    startup->begin();
  }
  quillotide::ui::ScriptedDialogs dialogs;
  std::unique_ptr<quillotide::ui::Startup> startup;
};

bool folderIsEmpty(const std::string& dir) {
  return QDir(QString::fromStdString(dir)).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot);
}

}  // namespace

class ProgramFoldersTest : public QObject {
  Q_OBJECT
private slots:
  void portableCopyKeepsEverythingBesideItself();
  void installedCopyKeepsSettingsInTheUsersFolders();
  void installedCopyWritesTheSampleSetIntoTheUsersDataFolder();
  void unwritableProgramFolderCountsAsInstalled();
  void anInstallUnderAPrefixOfItsOwnCountsAsInstalled();
  void helpAndAboutSayWhere();
  void pathsInTheHomeAreShownFromTilde();
};

void ProgramFoldersTest::portableCopyKeepsEverythingBesideItself() {
  UserHome home;
  TempDir program;
  const ProgramFolders folders = programFolders(program.path(), {"/nowhere/bin"});
  QVERIFY(!folders.installed);
  QCOMPARE(folders.configDir, program.path());
  QCOMPARE(folders.dataDir, program.path());
  {
    Start start(folders, "--sample");
    QVERIFY(start.startup->registry().art->isLoaded());
  }
  QVERIFY(quillotide::sample::sampleSetComplete(program.file("sample")));
  QVERIFY(fileExists(joinPath(program.file("sample"), "config.xml")));
  QVERIFY(folderIsEmpty(home.config.path()));
  QVERIFY(folderIsEmpty(home.data.path()));
}

void ProgramFoldersTest::installedCopyKeepsSettingsInTheUsersFolders() {
  UserHome home;
  TempDir program;
  // Root may write to /usr/bin: an installed copy is told by its folder, not by the permission.
  const ProgramFolders folders = programFolders(program.path(), {program.path()});
  QVERIFY(folders.installed);
  QCOMPARE(folders.configDir, home.configDir());
  QCOMPARE(folders.dataDir, home.dataDir());

  TempDir client;
  const std::string hues = client.file("hues.mul");
  quillotide::test::writeText(hues, "hues");
  {
    Start start(folders);
    auto* field = start.startup->mainForm().findChild<QLineEdit*>(QStringLiteral("eHues"));
    QVERIFY(field);
    field->clear();
    QTest::keyClicks(field, QString::fromStdString(hues));
    QTest::keyClick(field, Qt::Key_Enter);
    QVERIFY(start.dialogs.messages().isEmpty());
  }
  const std::string config = joinPath(home.configDir(), "config.xml");
  QVERIFY(readText(config).find(hues) != std::string::npos);
  QVERIFY(folderIsEmpty(program.path()));
  // The next start reads the settings from there again.
  Start again(folders);
  QCOMPARE(again.startup->mainForm().findChild<QLineEdit*>(QStringLiteral("eHues"))->text(),
           QString::fromStdString(hues));
  QVERIFY(folderIsEmpty(program.path()));
}

void ProgramFoldersTest::installedCopyWritesTheSampleSetIntoTheUsersDataFolder() {
  UserHome home;
  TempDir program;
  const ProgramFolders folders = programFolders(program.path(), {program.path()});
  const std::string sample = joinPath(home.dataDir(), "sample");
  {
    Start start(folders, "--sample");
    QVERIFY2(start.dialogs.messages().isEmpty(),
             qPrintable(start.dialogs.messageTexts().join('\n')));
    QVERIFY(start.startup->registry().art->isLoaded());
    QCOMPARE(start.startup->mainForm().findChild<QLineEdit*>(QStringLiteral("eArtIdx"))->text(),
             QString::fromStdString(joinPath(sample, "artidx.mul")));
  }
  QVERIFY(quillotide::sample::sampleSetComplete(sample));
  QVERIFY(readText(joinPath(sample, "config.xml")).find("artidx.mul") != std::string::npos);
  QVERIFY(folderIsEmpty(program.path()));
}

void ProgramFoldersTest::unwritableProgramFolderCountsAsInstalled() {
  if (::geteuid() == 0) QSKIP("root writes to any folder");
  UserHome home;
  TempDir program;
  ::chmod(program.path().c_str(), 0555);
  const ProgramFolders folders = programFolders(program.path(), {});
  ::chmod(program.path().c_str(), 0755);
  QVERIFY(folders.installed);
  QCOMPARE(folders.configDir, home.configDir());
}

void ProgramFoldersTest::anInstallUnderAPrefixOfItsOwnCountsAsInstalled() {
  // "cmake --install --prefix ~/.local": a bin folder the user may write to, configured for
  // another prefix, with the install's share folder beside it.
  UserHome home;
  TempDir prefix;
  const std::string bin = prefix.file("bin");
  QVERIFY(QDir().mkpath(QString::fromStdString(bin)));
  QVERIFY(QDir().mkpath(QString::fromStdString(prefix.file("share/applications"))));
  quillotide::test::writeText(prefix.file("share/applications/quillotide.desktop"), "[Desktop]");
  const ProgramFolders folders = programFolders(bin, {"/usr/local/bin", "/usr/bin"});
  QVERIFY(folders.installed);
  QCOMPARE(folders.configDir, home.configDir());
  QCOMPARE(folders.dataDir, home.dataDir());
  {
    Start start(folders, "--sample");
    QVERIFY(start.startup->registry().art->isLoaded());
  }
  QVERIFY(folderIsEmpty(bin));
  QVERIFY(quillotide::sample::sampleSetComplete(joinPath(home.dataDir(), "sample")));

  // A folder that merely shares the prefix's name pattern, without the install's files, is a
  // portable copy.
  TempDir portable;
  QVERIFY(QDir().mkpath(QString::fromStdString(portable.file("bin"))));
  QVERIFY(QDir().mkpath(QString::fromStdString(portable.file("share/other"))));
  QVERIFY(!programFolders(portable.file("bin"), {"/usr/local/bin"}).installed);
}

void ProgramFoldersTest::helpAndAboutSayWhere() {
  UserHome home;
  const QString help = QString::fromStdString(quillotide::ui::programHelp());
  QVERIFY(help.startsWith(QStringLiteral("Usage: quillotide")));
  // The manual page is written from this text on the builder's machine: it gives the documented
  // defaults, never the folders of whoever runs it (this test's are temporary ones).
  QVERIFY2(help.contains(QStringLiteral("~/.config/Quillotide")), qPrintable(help));
  QVERIFY2(help.contains(QStringLiteral("~/.local/share/Quillotide/sample")), qPrintable(help));
  QVERIFY2(!help.contains(QString::fromStdString(home.config.path())), qPrintable(help));
  QVERIFY2(!help.contains(QString::fromStdString(home.data.path())), qPrintable(help));
  QCOMPARE(QString::fromStdString(quillotide::ui::programVersionLine()),
           QStringLiteral("quillotide %1\n").arg(QString::fromStdString(
               quillotide::programVersion())));

  // This test program runs from a build folder it may write to: a portable copy.
  quillotide::test::ProgramRun run;
  run.mainForm->show();
  QVERIFY(QTest::qWaitForWindowExposed(run.mainForm.get()));
  run.press(QStringLiteral("btnAbout"));
  auto* about = run.mainForm->findChild<QDialog*>(QStringLiteral("AboutForm"));
  QVERIFY(about && about->isVisible());
  const QString where = about->findChild<QLabel*>(QStringLiteral("lFolders"))->text();
  const std::string programDir = quillotide::executableDir();
  QVERIFY2(where.contains(QString::fromStdString(
               quillotide::ui::shownPath(joinPath(programDir, "config.xml")))),
           qPrintable(where));
  QVERIFY2(where.contains(QString::fromStdString(
               quillotide::ui::shownPath(joinPath(programDir, "sample")))),
           qPrintable(where));
  QVERIFY(about->findChild<QLabel*>(QStringLiteral("lProduct"))
              ->text()
              .contains(QString::fromStdString(quillotide::programVersion())));
  about->accept();
}

void ProgramFoldersTest::pathsInTheHomeAreShownFromTilde() {
  using quillotide::ui::shownPath;
  const std::string home = QDir::homePath().toStdString();
  QCOMPARE(shownPath(home + "/.config/Quillotide"), std::string("~/.config/Quillotide"));
  QCOMPARE(shownPath(home), std::string("~"));
  // A folder whose name only begins like the home is another folder.
  QCOMPARE(shownPath(home + "x/config.xml"), home + "x/config.xml");
  QCOMPARE(shownPath("/opt/quillotide/config.xml"), std::string("/opt/quillotide/config.xml"));
}

QTEST_MAIN(ProgramFoldersTest)
#include "ProgramFoldersTest.moc"
