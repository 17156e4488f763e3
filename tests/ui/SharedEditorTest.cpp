// The world editor on a shared world, against a throwaway PostgreSQL server: two builders' editors
// and a viewer's on the generated 64 x 64 world, driven by clicks on the tool window and the view
// and by keys. What each editor shows, what it said and what the world holds are read back.

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QSocketNotifier>
#include <QTest>

#include <algorithm>
#include <tuple>

#include "EditorRun.h"
#include "registry/Registry.h"
#include "sample/Sample.h"
#include "world/SharedSession.h"
#include "world/Map.h"
#include "world/Statics.h"
#include "world/WorldFile.h"
#include "support/PgCluster.h"
#include "ui/editor/EditorSelection.h"
#include "ui/editor/HistoryForm.h"
#include "ui/editor/MaptoolForm.h"
#include "ui/editor/SharedLink.h"
#include "ui/editor/StaticToolForm.h"
#include "ui/editor/ToolWindows.h"
#include "ui/platform/GaugeForm.h"

using quillotide::ItemKind;
using quillotide::PgConnection;
using quillotide::SharedSession;
using quillotide::SharedWorld;
using quillotide::test::EditorRun;
using quillotide::test::EditorWorld;
using quillotide::test::PgCluster;

namespace {

constexpr const char* kDatabase = "ui_shared";

// One builder's (or viewer's) editor on facet 0 of the shared world.
struct SharedEditor {
  explicit SharedEditor(const std::string& url) {
    auto session = std::make_unique<SharedSession>(std::make_unique<SharedWorld>(url), 0);
    quillotide::Progress silent;
    session->load(*r.run.registry->map, *r.run.registry->statics, r.run.dir.file("shared.mul"),
                  silent);
    r.editor->attachShared(std::move(session));
    r.show();
    // The mouse comes over the view; the first frame is prepared.
    QTest::mouseMove(r.view(), QPoint(400, 300));
  }
  // The static the editor's model holds on the cell, undeleted.
  bool hasPost(int x, int y) const {
    for (const auto& item : r.run.registry->statics->itemsAt(x, y))
      if (item.tileId == EditorWorld::kPost) return true;
    return false;
  }
  void deletePost(int x, int y) {
    QTest::mouseClick(r.editor->toolWindows().staticTool().findChild<QAbstractButton*>(
                          QStringLiteral("btnDelete")),
                      Qt::LeftButton);
    r.activateEditor();
    r.clickView(EditorRun::post(x, y));
  }
  QLabel* shownLine() const { return r.editor->findChild<QLabel*>(QStringLiteral("lblSharedWorld")); }
  QString line() const {
    // The whole line: a long one is cut short on screen and shown whole as its tooltip.
    return shownLine()->toolTip();
  }
  // A button of a tool window clicked; the editor comes to the front again.
  void clickTool(QWidget& window, const char* name) {
    QTest::mouseClick(window.findChild<QAbstractButton*>(QString::fromLatin1(name)),
                      Qt::LeftButton);
    r.activateEditor();
  }
  void key(Qt::Key k, Qt::KeyboardModifiers modifiers = {}) {
    QTest::keyClick(r.editor.get(), k, modifiers);
  }
  // A press, a drag along the points and a release; Shift held throughout makes it a band.
  void drag(const std::vector<QPoint>& path, Qt::KeyboardModifiers modifiers = {}) {
    QTest::mouseMove(r.view(), path.front());
    QTest::mousePress(r.view(), Qt::LeftButton, modifiers, path.front());
    for (const QPoint& p : path) QTest::mouseMove(r.view(), p);
    QTest::mouseRelease(r.view(), Qt::LeftButton, modifiers, path.back());
  }
  QStringList messages() const { return r.run.dialogs.messageTexts(); }
  mutable EditorRun r;
};

// The generated world's files, laid out as a shared world with builders anna and bob and viewer
// vera.
std::string sharedWorld(PgCluster& cluster, const std::string& database = kDatabase) {
  const std::string url = cluster.createDatabase(database);
  SharedWorld::init(url);
  EditorWorld world(64, {{EditorWorld::kPost, 32, 32, 0, 0}, {EditorWorld::kPost, 34, 34, 0, 3}});
  quillotide::test::writeBytes(world.dir.file("staidx0.mul"), world.staticsFiles.index);
  quillotide::test::writeBytes(world.dir.file("statics0.mul"), world.staticsFiles.data);
  quillotide::Progress silent;
  SharedWorld owner(url);
  owner.importFacet(0, {64, 64}, world.dir.file("map0.mul"), world.dir.file("staidx0.mul"),
                    world.dir.file("statics0.mul"), silent);
  for (const char* who : {"anna", "bob", "vera"}) cluster.createLogin(who);
  owner.grant("anna", quillotide::SharedRole::Builder);
  owner.grant("bob", quillotide::SharedRole::Builder);
  owner.grant("vera", quillotide::SharedRole::Viewer);
  return url;
}

// Every land cell and every static (x, y, z, id, hue, sorted) of a 64 x 64 world's models.
struct WorldState {
  std::vector<quillotide::MapCell> cells;
  std::vector<std::tuple<int, int, int, int, int>> statics;
  bool operator==(const WorldState&) const = default;
};

WorldState stateOf(quillotide::TMap& map, quillotide::TStatics& statics) {
  WorldState s;
  for (int x = 0; x < 64; ++x)
    for (int y = 0; y < 64; ++y) s.cells.push_back(*map.cell(x, y));
  for (const quillotide::TItem& it : statics.getItemsInRect(0, 63, 0, 63))
    if (!it.deleted) s.statics.emplace_back(it.x, it.y, it.z, it.tileId, it.hue);
  std::sort(s.statics.begin(), s.statics.end());
  return s;
}

WorldState stateOf(const SharedEditor& e) {
  return stateOf(*e.r.run.registry->map, *e.r.run.registry->statics);
}

}  // namespace

class SharedEditorTest : public QObject {
  Q_OBJECT
private slots:
  void buildersSeeEachOthersStepsAndAViewerOnlyLooks();
  void theSettingsPageOpensASharedWorldAndKeepsNoPassword();
  void selectionPasteBrushesAndAreaToolsAreStepsTheOtherBuilderSees();
};

void SharedEditorTest::theSettingsPageOpensASharedWorldAndKeepsNoPassword() {
  PgCluster& cluster = PgCluster::shared();
  if (!cluster.running()) QSKIP(qPrintable("no PostgreSQL: " + QString::fromStdString(cluster.reason())));
  sharedWorld(cluster, "ui_settings");
  quillotide::test::ProgramRun run;
  run.showPage(QStringLiteral("tsSettings"));
  // A password in the URL would be stored with the settings: refused, nothing kept.
  const QString withPassword = QString::fromStdString(cluster.url("ui_settings", "anna"))
                                   .replace(QStringLiteral("user=anna"),
                                            QStringLiteral("user=anna&password=secret"));
  run.typeInto(QStringLiteral("eSharedWorld"), withPassword);
  QVERIFY(run.dialogs.messageTexts().last().startsWith(
      QStringLiteral("Leave the password out of the URL")));
  QVERIFY(run.registry->config->getString("SharedWorld").empty());
  QVERIFY(!quillotide::ui::TSEditorForm::existing(*run.mainForm));

  const QString url = QString::fromStdString(cluster.url("ui_settings", "anna"));
  quillotide::ui::TgaugeForm& gauge = run.mainForm->gauge();
  gauge.start();
  gauge.finish();
  run.typeInto(QStringLiteral("eSharedWorld"), url);
  // The world was read with the progress window up, which is gone again.
  QCOMPARE(gauge.value(), 100);
  QVERIFY(!gauge.isVisible());
  QCOMPARE(QString::fromStdString(run.registry->config->getString("SharedWorld")), url);
  quillotide::ui::TSEditorForm* editor = quillotide::ui::TSEditorForm::existing(*run.mainForm);
  QVERIFY(editor && editor->isVisible());
  QVERIFY(editor->sharedLink());
  QVERIFY(editor->findChild<QLabel*>(QStringLiteral("lblSharedWorld"))
              ->text()
              .startsWith(QStringLiteral("Shared world ui_settings on ")));
  QCOMPARE(run.registry->statics->itemCount(), std::size_t{2});
  editor->hide();

  // A login that needs a password is asked for it where it is not shown; it is stored nowhere.
  cluster.requirePassword("paula", "s3cret");
  SharedWorld(cluster.url("ui_settings")).grant(
      "paula", quillotide::SharedRole::Builder);
  run.dialogs.answerPassword(QStringLiteral("s3cret"));
  const QString paula = QString::fromStdString(cluster.url("ui_settings", "paula"));
  run.showPage(QStringLiteral("tsSettings"));
  run.typeInto(QStringLiteral("eSharedWorld"), paula);
  QCOMPARE(run.dialogs.pendingAnswers(), 0);
  QCOMPARE(run.dialogs.asked().last().prompt, QStringLiteral("Password for paula@ui_settings:"));
  QVERIFY(editor->findChild<QLabel*>(QStringLiteral("lblSharedWorld"))->isVisible());
  QCOMPARE(QString::fromStdString(run.registry->config->getString("SharedWorld")), paula);
  QVERIFY(!QString::fromStdString(quillotide::test::readText(run.configPath())).contains(QStringLiteral("s3cret")));

  // Statics read again from files on the Settings page: the editor lets go of the shared world,
  // and the files can be patched again.
  quillotide::sample::writeWorld(run.dir.path());
  run.showPage(QStringLiteral("tsSettings"));
  run.setField(QStringLiteral("eStaticIdx"), run.path("staidx0.mul"));
  run.setField(QStringLiteral("eStaticMul"), run.path("statics0.mul"));
  for (const char* field : {"eMapWidth", "eMapHeight"}) {
    auto* edit = run.find<QLineEdit>(QString::fromLatin1(field));
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, QString::number(quillotide::sample::kSampleWorldSize));
  }
  run.press(QStringLiteral("btnLoadStatics"));
  QVERIFY2(run.registry->statics->indexPath() == run.dir.file("staidx0.mul"),
           qPrintable(run.dialogs.messageTexts().join('|')));
  QVERIFY(!editor->sharedLink());
  QVERIFY(editor->action(QStringLiteral("Patch Map"))->isEnabled());
  QVERIFY(!editor->findChild<QLabel*>(QStringLiteral("lblSharedWorld"))->isVisible());
}

void SharedEditorTest::buildersSeeEachOthersStepsAndAViewerOnlyLooks() {
  PgCluster& cluster = PgCluster::shared();
  if (!cluster.running()) QSKIP(qPrintable("no PostgreSQL: " + QString::fromStdString(cluster.reason())));
  const std::string url = sharedWorld(cluster);
  SharedEditor anna(cluster.url(kDatabase, "anna"));
  SharedEditor bob(cluster.url(kDatabase, "bob"));
  QVERIFY(anna.line().startsWith(QStringLiteral("Shared world ui_shared on ")));
  // On screen, beside the position texts, as far as the window's width allows.
  QVERIFY(anna.shownLine()->width() > 200);
  QVERIFY(anna.shownLine()->text().startsWith(QStringLiteral("Shared world ui_shared on ")));
  QVERIFY(!anna.line().contains(QStringLiteral("read-only")));

  // anna deletes a post; bob's editor loses it within a second, without a reload.
  anna.deletePost(32, 32);
  QVERIFY(!anna.hasPost(32, 32));
  QTRY_VERIFY_WITH_TIMEOUT(!bob.hasPost(32, 32), 1000);
  QVERIFY(!bob.r.visible(ItemKind::Static, 32, 32));
  QVERIFY(!anna.r.editor->hasUnsaved());

  // Ctrl+Z takes anna's step back in the world: bob sees the post again.
  anna.r.activateEditor();
  QTest::keyClick(anna.r.editor.get(), Qt::Key_Z, Qt::ControlModifier);
  QVERIFY(anna.hasPost(32, 32));
  QTRY_VERIFY_WITH_TIMEOUT(bob.hasPost(32, 32), 1000);

  // Both delete the other post at about the same moment: anna's step goes in first; bob, whose
  // editor has not heard of it yet, is refused, told who changed what, and shown the world as
  // it is.
  auto* bobHears = bob.r.editor->sharedLink()->findChild<QSocketNotifier*>();
  QVERIFY(bobHears);
  bobHears->setEnabled(false);
  anna.deletePost(34, 34);
  anna.r.editor->sharedLink()->sync();
  bob.deletePost(34, 34);
  QVERIFY(!bob.hasPost(34, 34));
  bobHears->setEnabled(true);
  QTRY_VERIFY_WITH_TIMEOUT(!bob.messages().isEmpty(), 1000);
  QVERIFY2(bob.messages().last().startsWith(
               QStringLiteral("Static 0x0001 at 34,34 was deleted by anna at ")),
           qPrintable(bob.messages().last()));
  QVERIFY(bob.messages().last().endsWith(QStringLiteral("; your step was not applied")));
  QVERIFY(!bob.hasPost(34, 34));
  QVERIFY(anna.messages().isEmpty());

  // The history lists the steps; a builder's filter keeps his; a double click centres the view.
  anna.r.trigger(QStringLiteral("History..."));
  quillotide::ui::THistoryForm* history = anna.r.editor->historyForm();
  QVERIFY(history && history->isVisible());
  QTableWidget* steps = history->table();
  QCOMPARE(steps->rowCount(), 3);
  QCOMPARE(steps->item(0, 2)->text(), QStringLiteral("anna"));
  QCOMPARE(steps->item(1, 4)->text(), QStringLiteral("undo of 1"));
  auto* builder = history->findChild<QLineEdit*>(QStringLiteral("eBuilder"));
  QTest::keyClicks(builder, QStringLiteral("bob"));
  QTest::keyClick(builder, Qt::Key_Return);
  QCOMPARE(steps->rowCount(), 0);
  builder->clear();
  QTest::keyClick(builder, Qt::Key_Return);
  QCOMPARE(steps->rowCount(), 3);
  anna.r.editor->setViewCentre(10, 10);
  const QRect row = steps->visualItemRect(steps->item(2, 0));
  QVERIFY(QTest::qWaitForWindowExposed(history));
  QTest::mouseClick(steps->viewport(), Qt::LeftButton, {}, row.center());
  QTest::mouseDClick(steps->viewport(), Qt::LeftButton, {}, row.center());
  QCOMPARE(anna.r.editor->scene().centreX(), 34);
  QCOMPARE(anna.r.editor->scene().centreY(), 34);
  history->close();
  anna.r.editor->setViewCentre(32, 32);

  // A viewer's editor says it is read-only, and a click changes nothing.
  SharedEditor vera(cluster.url(kDatabase, "vera"));
  QVERIFY(vera.line().contains(QStringLiteral("read-only, you are a viewer")));
  vera.deletePost(32, 32);
  QVERIFY(vera.hasPost(32, 32));
  QTest::qWait(200);
  QVERIFY(anna.hasPost(32, 32));

  // The server goes away: the editor says so and takes no edits; it comes back by itself.
  const QSize viewSize = anna.r.view()->size();
  cluster.kill9();
  QTRY_VERIFY2_WITH_TIMEOUT(
      anna.line().startsWith(QStringLiteral("The shared world cannot be reached: ")),
      qPrintable(anna.line()), 2000);
  QVERIFY(anna.line().endsWith(QStringLiteral("; edits are paused")));
  // The server's text is one line: the view keeps its size, so a click hits what it did before.
  QVERIFY(!anna.line().contains(QLatin1Char('\n')));
  QVERIFY(anna.shownLine()->text().endsWith(QChar(0x2026)));
  QTest::qWait(50);
  QCOMPARE(anna.r.view()->size(), viewSize);
  anna.deletePost(32, 32);
  QVERIFY(anna.hasPost(32, 32));
  QVERIFY(cluster.start());
  QTRY_VERIFY_WITH_TIMEOUT(!anna.line().contains(QStringLiteral("paused")),
                           3 * quillotide::ui::SharedLink::kReconnectMs);
  anna.deletePost(32, 32);
  QVERIFY(!anna.hasPost(32, 32));
  PgConnection look(url);
  QTRY_COMPARE_WITH_TIMEOUT(look.exec("SELECT count(*) FROM quillotide.static WHERE x = 32 AND "
                                      "y = 32")
                                .integer(0, 0),
                            std::int64_t{0}, 1000);

  // An item the Add tool places is a static of the world at once; bob's editor gets it.
  anna.r.editor->toolWindows().staticTool().chooseId(EditorWorld::kFrame);
  QTest::mouseClick(anna.r.editor->toolWindows().staticTool().findChild<QAbstractButton*>(
                        QStringLiteral("btnAdd")),
                    Qt::LeftButton);
  anna.r.activateEditor();
  anna.r.clickView(EditorRun::cell(28, 30));
  QTRY_VERIFY_WITH_TIMEOUT(
      [&] {
        for (const auto& item : bob.r.run.registry->statics->itemsAt(28, 30))
          if (item.tileId == EditorWorld::kFrame) return true;
        return false;
      }(),
      1000);
  QVERIFY(anna.r.run.registry->worldFile->unwrittenItems().empty());
  QVERIFY(!anna.r.editor->hasUnsaved());
}

void SharedEditorTest::selectionPasteBrushesAndAreaToolsAreStepsTheOtherBuilderSees() {
  PgCluster& cluster = PgCluster::shared();
  if (!cluster.running()) QSKIP(qPrintable("no PostgreSQL: " + QString::fromStdString(cluster.reason())));
  const std::string url = sharedWorld(cluster, "ui_tools");
  SharedEditor anna(cluster.url("ui_tools", "anna"));
  SharedEditor bob(cluster.url("ui_tools", "bob"));
  PgConnection look(url);
  const auto steps = [&] { return look.exec("SELECT count(*) FROM quillotide.step").integer(0, 0); };
  QWidget& statics = anna.r.editor->toolWindows().staticTool();
  QWidget& land = anna.r.editor->toolWindows().mapTool();
  std::int64_t made = 0;
  // After each edit: one step more in the world, and bob's editor holds what anna's holds.
  const auto seen = [&](const char* what) {
    ++made;
    QTRY_COMPARE_WITH_TIMEOUT(steps(), made, 1000);
    QTRY_VERIFY2_WITH_TIMEOUT(stateOf(bob) == stateOf(anna), what, 1000);
    QVERIFY2(anna.messages().isEmpty(), qPrintable(anna.messages().join('|')));
  };
#define SEEN(what)                                \
  do {                                            \
    seen(what);                                   \
    if (QTest::currentTestFailed()) return;       \
  } while (false)
  const WorldState start = stateOf(anna);

  // Both posts in a band, moved with the tool window's arrow and raised with Page Up.
  anna.clickTool(statics, "btnSelect");
  anna.drag({EditorRun::cell(32, 32) + QPoint(-30, -30), EditorRun::cell(33, 33),
             EditorRun::cell(34, 34) + QPoint(30, 30)},
            Qt::ShiftModifier);
  QCOMPARE(anna.r.editor->selection().selection().size(), std::size_t(2));
  anna.clickTool(statics, "btnMoveDown");
  QVERIFY(anna.hasPost(33, 33) && anna.hasPost(35, 35));
  SEEN("move");
  anna.key(Qt::Key_PageUp);
  SEEN("raise");
  QCOMPARE(std::get<2>(stateOf(bob).statics.front()), 1);

  // Copied and pasted: the pasted posts are statics of the world, and stay selected as such,
  // so Delete takes them away again and Ctrl+Z brings them back.
  anna.key(Qt::Key_C, Qt::ControlModifier);
  QTest::mouseMove(anna.r.view(), EditorRun::cell(36, 30));
  anna.key(Qt::Key_V, Qt::ControlModifier);
  SEEN("paste");
  QVERIFY(anna.hasPost(36, 30) && anna.hasPost(38, 32));
  QVERIFY(anna.r.run.registry->worldFile->unwrittenItems().empty());
  QCOMPARE(anna.r.editor->selection().selection().size(), std::size_t(2));
  anna.key(Qt::Key_Delete);
  SEEN("delete");
  QVERIFY(!bob.hasPost(36, 30) && !bob.hasPost(38, 32));
  QVERIFY(anna.hasPost(33, 33));
  anna.key(Qt::Key_Z, Qt::ControlModifier);
  SEEN("undo of the delete");
  QVERIFY(bob.hasPost(36, 30) && bob.hasPost(38, 32));
  anna.key(Qt::Key_Escape);

  // Land: a stroke of another tile with the brush, then a raise of one cell.
  anna.r.editor->toolWindows().mapTool().chooseId(EditorWorld::kTexturedLand);
  anna.clickTool(land, "btnSetId");
  anna.drag({EditorRun::cell(26, 36), EditorRun::cell(27, 36), EditorRun::cell(28, 36),
             EditorRun::cell(29, 36)});
  SEEN("land stroke");
  QCOMPARE(bob.r.run.registry->map->cell(28, 36)->tileId, EditorWorld::kTexturedLand);
  anna.clickTool(land, "btnUp");
  anna.r.clickView(EditorRun::cell(28, 34));
  SEEN("land raise");
  QVERIFY(bob.r.run.registry->map->cell(28, 34)->z > start.cells[28 * 64 + 34].z);

  // An area moved to the right between two clicks, then every static of a larger area nuked
  // and brought back.
  const WorldState beforeArea = stateOf(anna);
  QTest::mouseClick(statics.findChild<QAbstractButton*>(QStringLiteral("cbArea")), Qt::LeftButton);
  anna.clickTool(statics, "btnMoveRight");
  anna.r.clickView(EditorRun::cell(31, 31));
  anna.r.clickView(EditorRun::cell(36, 36));
  SEEN("area move");
  QVERIFY(stateOf(anna).statics != beforeArea.statics);
  QTest::mouseClick(statics.findChild<QAbstractButton*>(QStringLiteral("cbArea")), Qt::LeftButton);
  const WorldState beforeNuke = stateOf(anna);
  anna.clickTool(statics, "btnNuke");
  anna.r.clickView(EditorRun::cell(28, 28));
  anna.r.clickView(EditorRun::cell(38, 38));
  SEEN("nuke");
  QVERIFY(stateOf(bob).statics.empty());
  anna.key(Qt::Key_Z, Qt::ControlModifier);
  SEEN("undo of the nuke");
  QVERIFY(stateOf(bob) == beforeNuke);

  // What the world writes out is what both editors show.
  quillotide::test::TempDir out;
  quillotide::Progress silent;
  SharedWorld(url).exportFacet(0, out.path(), false, silent);
  quillotide::TMap map;
  map.open(out.file("map0.mul"), 64, 64);
  quillotide::TStatics written;
  written.open(out.file("staidx0.mul"), out.file("statics0.mul"), 64, 64,
               quillotide::StorageMode::Memory);
  QVERIFY(stateOf(map, written) == stateOf(anna));
  QVERIFY(!anna.r.editor->hasUnsaved());
#undef SEEN
}

QTEST_MAIN(SharedEditorTest)
#include "SharedEditorTest.moc"
