// The "Cliloc", "Speech" and "Skills" pages driven as a user drives them: files named in the
// page's fields and loaded, table cells clicked, texts typed, searches entered, buttons clicked;
// then what the tables show and what the saved files hold, read back with the models.

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTest>

#include "UiTestSupport.h"
#include "models/Cliloc.h"
#include "models/Skills.h"
#include "models/Speech.h"

using namespace quillotide;
using quillotide::test::ProgramRun;
using quillotide::test::readBytes;
using quillotide::test::writeBytes;

namespace {

QString q(const char* utf8) { return QString::fromUtf8(utf8); }

// Shows the main window and opens the page by its caption in the page list.
void openPage(ProgramRun& run, const QString& caption) {
  run.mainForm->resize(1000, 720);
  run.mainForm->show();
  QVERIFY(QTest::qWaitForWindowExposed(run.mainForm.get()));
  run.clickPage(caption);
}

QString cell(QTableView* view, int row, int column) {
  return view->model()->index(row, column).data().toString();
}

// A click on a table cell as a person makes it: the line scrolled into view, then the mouse.
void clickCell(QTableView* view, int row, int column = 0,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  const QModelIndex index = view->model()->index(row, column);
  view->scrollTo(index);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, view->visualRect(index).center());
}

// Types any character (QTest::keyClicks knows Latin-1 only): TAB and line feed as their keys.
void typeText(QWidget* editor, const QString& text) {
  for (const QChar c : text) {
    if (c == QLatin1Char('\t'))
      QTest::keyClick(editor, Qt::Key_Tab);
    else if (c == QLatin1Char('\n'))
      QTest::keyClick(editor, Qt::Key_Return);
    else
      QTest::sendKeyEvent(QTest::Click, editor, Qt::Key_unknown, QString(c), Qt::NoModifier);
  }
}

// Replaces the text of an editor as typed: everything selected, then the keys.
void retype(QWidget* editor, const QString& text) {
  editor->setFocus();
  QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(editor, Qt::Key_Delete);
  typeText(editor, text);
}

// Types into a field of the run and presses Enter.
void enter(ProgramRun& run, const QString& field, const QString& text) {
  auto* edit = run.find<QLineEdit>(field);
  retype(edit, text);
  QTest::keyClick(edit, Qt::Key_Return);
}

void loadFile(ProgramRun& run, const QString& field, const std::string& path,
              const QString& group) {
  run.setField(field, QString::fromStdString(path));
  run.press("btnLoad" + group);
}

// ---- files

const std::vector<TClilocEntry> kClilocEntries = {
    {500000, 0, "Reputation aversion triggered."},
    {500001, 0, "I have no reaction to you."},
    {500002, 2, "Provocada aversi\xC3\xB3n a- la reputaci\xC3\xB3n"},
    {500003, 0, "\xE8\x81\xB2\xE8\xAD\xBD\xE5\x96\x9C\xE5\xA5\xBD\xE5\x88\x87\xE6\x8F\x9B"},
    {500004, 0,
     "\xED\x8F\x89\xED\x8C\x90\xEC\x9D\xB4 \xED\x95\x98\xEB\x9D\xBD\xEB\x90\x98\xEC"
     "\x97\x88\xEC\x8A\xB5\xEB\x8B\x88\xEB\x8B\xA4."},
    {1042971, 0, "~1_NOTHING~"},
    {1114931, 0, "\tstarts with a tab "},
};

Bytes clilocBytes(const std::vector<TClilocEntry>& entries) {
  TCliloc cliloc;
  cliloc.loadBytes({});
  for (const TClilocEntry& e : entries) cliloc.add(e.number, e.flag, e.text);
  return cliloc.bytes();
}

TCliloc readCliloc(const std::string& path) {
  TCliloc cliloc;
  cliloc.load(path);
  return cliloc;
}

// Two lists: the Chinese one, then after a pair of empty entries the English one, with a
// byte-order mark inside one text.
const std::vector<SpeechEntry> kSpeechEntries = {
    {0, "*\xE6\x8F\x90\xE9\xA0\x98*"},
    {2, "*\xE9\x8A\x80\xE8\xA1\x8C*"},
    {0, ""},
    {0, ""},
    {0, "*withdraw*"},
    {2, "*bank*"},
    {379,
     "\xEF\xBC\xA0\xE3\x83\x90\xE3\x83\xBC\xE3\x82\xB9\xE3\x83\x88\xEF\xBB\xBF"
     "0 *\xEC\x9D\xB8\xEC\xB6\x9C*"},
};

Bytes speechBytes() {
  TSpeech speech;
  speech.loadBytes({});
  for (const SpeechEntry& e : kSpeechEntries) speech.insert(speech.size(), e);
  return speech.bytes();
}

TSpeech readSpeech(const std::string& path) {
  TSpeech speech;
  speech.load(path);
  return speech;
}

struct SkillFiles {
  Bytes index, data;
};

// Four used skills stored as the client stores them, then two unused entries.
SkillFiles skillBytes() {
  const std::vector<std::pair<std::uint8_t, std::string>> skills = {
      {0, "Alchemy"}, {1, "Anatomy"}, {1, "Archery"}, {0, "Magery"}};
  ByteWriter index, data;
  for (const auto& [flag, name] : skills) {
    index.i32(static_cast<std::int32_t>(data.size()));
    index.i32(static_cast<std::int32_t>(name.size() + 2));
    index.u32(13);
    data.u8(flag);
    data.fixedString(name, name.size() + 1);
  }
  for (int k = 0; k < 2; ++k) {
    index.i32(-1);
    index.i32(0);
    index.u32(0);
  }
  return {index.take(), data.take()};
}

// Groups 0..2 ("Crafter", "Mage"); skills 0..3 in groups 1, 0, 2, 2.
Bytes groupBytes() {
  ByteWriter w;
  w.i32(3);
  w.fixedString("Crafter", TSkillGroups::kNameBytes);
  w.fixedString("Mage", TSkillGroups::kNameBytes);
  for (const std::int32_t g : {1, 0, 2, 2}) w.i32(g);
  return w.take();
}

}  // namespace

class ClilocSpeechSkillsPagesTest : public QObject {
  Q_OBJECT
private slots:
  void clilocEditsTextsAndFlagsAndSaves();
  void clilocSearchesByNumberRangeAndWords();
  void clilocAddsDeletesExportsAndImports();
  void clilocKeepsAnUnchangedFileAndItsDamagedTail();
  void speechShowsListsEditsAddsDeletesAndSaves();
  void skillsRenameFlagsGroupsAndSave();
  void skillNamesTheCodePageLacksAreRefused();
};

void ClilocSpeechSkillsPagesTest::clilocEditsTextsAndFlagsAndSaves() {
  ProgramRun run;
  const std::string file = run.dir.file("Cliloc.enu");
  writeBytes(file, clilocBytes(kClilocEntries));
  openPage(run, "Cliloc");
  loadFile(run, "eCliloc", file, "Cliloc");
  QVERIFY(run.dialogs.messages().isEmpty());
  auto* table = run.find<QTableView>("tvCliloc");
  auto* text = run.find<QPlainTextEdit>("eClilocText");
  auto* flag = run.find<QSpinBox>("sbClilocFlag");
  QCOMPARE(table->model()->rowCount(), 7);
  QCOMPARE(table->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Text"));
  QCOMPARE(cell(table, 2, 0), QStringLiteral("500002"));
  QCOMPARE(cell(table, 2, 1), QStringLiteral("2"));
  QCOMPARE(cell(table, 3, 2), q(kClilocEntries[3].text.c_str()));

  // The chosen line's text, with its tab and trailing blank, is what the editor holds.
  clickCell(table, 6, 2);
  QCOMPARE(text->toPlainText(), QStringLiteral("\tstarts with a tab "));

  // Typed with a TAB and trailing blanks, the flag stepped up: "Apply" stores both exactly.
  clickCell(table, 1, 2);
  QCOMPARE(run.find<QLabel>("lClilocNumber")->text(), QStringLiteral("Number: 500001"));
  retype(text, QStringLiteral("  Two\tcolumns  "));
  QTest::keyClick(flag, Qt::Key_Up);
  run.press("btnClilocApply");
  QCOMPARE(run.registry->cliloc->entry(1).text, std::string("  Two\tcolumns  "));
  QCOMPARE(static_cast<int>(run.registry->cliloc->entry(1).flag), 1);
  QCOMPARE(cell(table, 1, 2), QStringLiteral("  Two\tcolumns  "));
  QCOMPARE(cell(table, 1, 1), QStringLiteral("1"));

  // Ctrl+Return stores too; Return and Shift+Return are line feeds of the text.
  clickCell(table, 5, 0);
  retype(text, QStringLiteral("first"));
  QTest::keyClick(text, Qt::Key_Return);
  QTest::keyClicks(text, QStringLiteral("second"));
  QTest::keyClick(text, Qt::Key_Return, Qt::ShiftModifier);
  QTest::keyClicks(text, QStringLiteral("third"));
  QTest::keyClick(text, Qt::Key_Return, Qt::ControlModifier);
  QCOMPARE(run.registry->cliloc->entry(5).text, std::string("first\nsecond\nthird"));

  // A text longer than 65535 bytes is refused with its reason; the entry keeps what it had.
  clickCell(table, 0, 0);
  text->setPlainText(QString(70000, QLatin1Char('x')));
  QTest::keyClicks(text, QStringLiteral("y"));
  run.press("btnClilocApply");
  QCOMPARE(run.dialogs.messages().size(), 1);
  QVERIFY(run.dialogs.messageTexts().first().contains("65535"));
  QCOMPARE(run.registry->cliloc->entry(0).text, kClilocEntries[0].text);

  run.dialogs.answerSave(QString::fromStdString(file));
  run.press("btnSaveCliloc");
  const TCliloc saved = readCliloc(file);
  QCOMPARE(static_cast<int>(saved.size()), 7);
  QCOMPARE(saved.entry(1).text, std::string("  Two\tcolumns  "));
  QCOMPARE(static_cast<int>(saved.entry(1).flag), 1);
  QCOMPARE(saved.entry(5).text, std::string("first\nsecond\nthird"));
  QVERIFY(saved.entry(0) == kClilocEntries[0]);
  QVERIFY(saved.entry(6) == kClilocEntries[6]);
  QCOMPARE(run.dialogs.pendingAnswers(), 0);
}

void ClilocSpeechSkillsPagesTest::clilocSearchesByNumberRangeAndWords() {
  ProgramRun run;
  const std::string file = run.dir.file("Cliloc.enu");
  writeBytes(file, clilocBytes(kClilocEntries));
  openPage(run, "Cliloc");
  loadFile(run, "eCliloc", file, "Cliloc");
  auto* table = run.find<QTableView>("tvCliloc");
  auto* text = run.find<QPlainTextEdit>("eClilocText");
  auto* count = run.find<QLabel>("lClilocCount");
  QCOMPARE(count->text(), QStringLiteral("7 entries"));

  // A number jumps to its entry; the table still shows every entry.
  run.typeInto("eClilocSearch", "1042971");
  QCOMPARE(table->model()->rowCount(), 7);
  QCOMPARE(table->currentIndex().row(), 5);
  QCOMPARE(text->toPlainText(), QStringLiteral("~1_NOTHING~"));
  run.typeInto("eClilocSearch", "1042972");
  QCOMPARE(run.dialogs.messageTexts(), QStringList{"There is no entry 1042972."});

  // A range shows only its entries.
  run.typeInto("eClilocSearch", "500001-500003");
  QCOMPARE(table->model()->rowCount(), 3);
  QCOMPARE(cell(table, 0, 0), QStringLiteral("500001"));
  QCOMPARE(cell(table, 2, 0), QStringLiteral("500003"));
  QCOMPARE(count->text(), QStringLiteral("3 of 7 entries"));
  // A number outside the range shown brings every entry back to reach it.
  run.typeInto("eClilocSearch", "1114931");
  QCOMPARE(table->model()->rowCount(), 7);
  QCOMPARE(table->currentIndex().row(), 6);

  // Words: every one must be in the text; accents and case of Latin letters, Chinese and
  // Korean as they are.
  enter(run, "eClilocSearch", q("aversi\xC3\xB3n"));
  QCOMPARE(table->model()->rowCount(), 1);
  QCOMPARE(cell(table, 0, 0), QStringLiteral("500002"));
  enter(run, "eClilocSearch", q("AVERSI\xC3\x93N REPUTACI\xC3\x93N"));
  QCOMPARE(table->model()->rowCount(), 1);
  QCOMPARE(cell(table, 0, 0), QStringLiteral("500002"));
  run.typeInto("eClilocSearch", "aversion triggered");
  QCOMPARE(table->model()->rowCount(), 1);
  QCOMPARE(cell(table, 0, 0), QStringLiteral("500000"));
  enter(run, "eClilocSearch", q("\xE5\x96\x9C\xE5\xA5\xBD"));
  QCOMPARE(table->model()->rowCount(), 1);
  QCOMPARE(cell(table, 0, 0), QStringLiteral("500003"));
  enter(run, "eClilocSearch", q("\xED\x95\x98\xEB\x9D\xBD"));
  QCOMPARE(table->model()->rowCount(), 1);
  QCOMPARE(cell(table, 0, 0), QStringLiteral("500004"));
  // A line of the search result is edited as any other.
  clickCell(table, 0, 2);
  retype(text, q("\xEC\x83\x88 \xED\x85\x8D\xEC\x8A\xA4\xED\x8A\xB8"));
  run.press("btnClilocApply");
  QCOMPARE(run.registry->cliloc->entry(4).text,
           std::string("\xEC\x83\x88 \xED\x85\x8D\xEC\x8A\xA4\xED\x8A\xB8"));
  run.typeInto("eClilocSearch", "nothing-like-this");
  QCOMPARE(table->model()->rowCount(), 0);
  QVERIFY(!text->isEnabled());
  // The "Search" button does what Enter does; empty shows every entry.
  run.find<QLineEdit>("eClilocSearch")->clear();
  run.press("btnClilocSearch");
  QCOMPARE(table->model()->rowCount(), 7);
  QCOMPARE(run.dialogs.messages().size(), 1);
  clickCell(table, 6, 2);
}

void ClilocSpeechSkillsPagesTest::clilocAddsDeletesExportsAndImports() {
  ProgramRun run;
  const std::string file = run.dir.file("Cliloc.enu");
  writeBytes(file, clilocBytes(kClilocEntries));
  openPage(run, "Cliloc");
  // Before a load every action says what is missing.
  run.press("btnClilocAdd");
  QCOMPARE(run.dialogs.messageTexts(), QStringList{"Load the cliloc file first."});
  run.dialogs.clear();
  loadFile(run, "eCliloc", file, "Cliloc");
  auto* table = run.find<QTableView>("tvCliloc");
  auto* text = run.find<QPlainTextEdit>("eClilocText");

  // A new number goes beside its neighbours, chosen, ready for its text.
  clickCell(table, 4, 0);
  run.dialogs.answerInput(QStringLiteral("600000 1"));
  run.press("btnClilocAdd");
  QCOMPARE(run.dialogs.asked().back().proposed, QStringLiteral("500005 0"));
  QCOMPARE(table->model()->rowCount(), 8);
  QCOMPARE(table->currentIndex().row(), 5);
  QCOMPARE(cell(table, 5, 0), QStringLiteral("600000"));
  QCOMPARE(cell(table, 5, 1), QStringLiteral("1"));
  QTest::keyClicks(text, QStringLiteral("New text"));
  run.press("btnClilocApply");
  QCOMPARE(run.registry->cliloc->entry(5).text, std::string("New text"));
  // A number already there is refused by the table; nothing is added.
  run.dialogs.answerInput(QStringLiteral("500000"));
  run.press("btnClilocAdd");
  QCOMPARE(run.dialogs.messageTexts(), QStringList{"Entry 500000 is there already."});
  QCOMPARE(static_cast<int>(run.registry->cliloc->size()), 8);

  // "Delete" asks first; "No" keeps the entries, "Yes" deletes every chosen one.
  clickCell(table, 1, 0);
  clickCell(table, 2, 0, Qt::ControlModifier);
  run.dialogs.answerQuestion(QStringLiteral("No"));
  run.press("btnClilocDelete");
  QCOMPARE(static_cast<int>(run.registry->cliloc->size()), 8);
  run.dialogs.answerQuestion(QStringLiteral("Yes"));
  run.press("btnClilocDelete");
  QVERIFY(run.dialogs.asked().back().prompt.contains("2 chosen entries"));
  QCOMPARE(static_cast<int>(run.registry->cliloc->size()), 6);
  QVERIFY(!run.registry->cliloc->find(500001));
  QVERIFY(!run.registry->cliloc->find(500002));
  QCOMPARE(cell(table, 1, 0), QStringLiteral("500003"));

  // The exported table read back into the same entries; an edited one brings its changes.
  const std::string tsv = run.dir.file("cliloc.tsv");
  run.dialogs.answerSave(QString::fromStdString(tsv));
  run.press("btnClilocExport");
  QCOMPARE(run.dialogs.asked().back().proposed, QStringLiteral("Cliloc.enu.tsv"));
  QCOMPARE(quillotide::test::readText(tsv), run.registry->cliloc->exportTable());
  quillotide::test::writeText(tsv,
                              "\xEF\xBB\xBFNumber\tFlag\tText\n"
                              "500000\t2\tChanged\\twith tab\n"
                              "700000\t0\tBrand new\n"
                              "500003\t9\tbad flag\n"
                              "no tabs here\n");
  run.dialogs.clear();
  run.dialogs.answerOpen(QString::fromStdString(tsv));
  run.press("btnClilocImport");
  QCOMPARE(run.dialogs.messages().size(), 1);
  const QString report = run.dialogs.messageTexts().first();
  QVERIFY2(report.contains("1 added, 1 replaced, 0 unchanged, 2 lines left out"),
           qPrintable(report));
  QVERIFY2(report.contains("Line 4") && report.contains("Line 5"), qPrintable(report));
  QCOMPARE(run.registry->cliloc->entry(0).text, std::string("Changed\twith tab"));
  QCOMPARE(static_cast<int>(run.registry->cliloc->entry(0).flag), 2);
  QCOMPARE(table->model()->rowCount(), 7);
  // Beside 600000, the next smaller number.
  QCOMPARE(cell(table, 4, 2), QStringLiteral("Brand new"));

  run.dialogs.answerSave(QString::fromStdString(file));
  run.press("btnSaveCliloc");
  const TCliloc saved = readCliloc(file);
  QCOMPARE(static_cast<int>(saved.size()), 7);
  QCOMPARE(saved.entry(*saved.find(600000)).text, std::string("New text"));
  QCOMPARE(saved.entry(*saved.find(700000)).text, std::string("Brand new"));
  QVERIFY(!saved.find(500001));
}

void ClilocSpeechSkillsPagesTest::clilocKeepsAnUnchangedFileAndItsDamagedTail() {
  ProgramRun run;
  const std::string file = run.dir.file("Cliloc.enu");
  // An entry with a flag past 2, then text where an entry should follow: its length field asks
  // for more bytes than are left.
  ByteWriter w;
  w.bytes(clilocBytes(kClilocEntries));
  const std::string odd = "odd flag";
  w.i32(2000000);
  w.u8(5);
  w.u16(static_cast<std::uint16_t>(odd.size()));
  w.fixedString(odd, odd.size());
  const Bytes whole = w.data();
  const std::string junk = "Panel Administracyjny";
  w.fixedString(junk, junk.size() + 3);
  const Bytes damaged = w.take();
  writeBytes(file, damaged);
  openPage(run, "Cliloc");
  auto* tail = run.find<QLabel>("lClilocTail");
  auto* drop = run.find<QPushButton>("btnClilocDropTail");
  auto* table = run.find<QTableView>("tvCliloc");
  QVERIFY(!tail->isVisible() && !drop->isVisible());

  loadFile(run, "eCliloc", file, "Cliloc");
  // What the load found is said in one message, and the tail is shown with its button.
  QCOMPARE(run.dialogs.messages().size(), 1);
  QVERIFY(run.dialogs.messageTexts().first().contains("no whole entry"));
  QVERIFY(run.dialogs.messageTexts().first().contains("flag other than 0, 1 or 2"));
  QCOMPARE(table->model()->rowCount(), 8);
  QVERIFY(tail->isVisible() && drop->isVisible());
  QVERIFY(tail->text().contains("damaged tail"));
  QVERIFY(tail->text().contains("24 bytes"));

  // A save without changes gives the file back byte for byte, its tail included.
  run.dialogs.answerSave(QString::fromStdString(file));
  run.press("btnSaveCliloc");
  QVERIFY(readBytes(file) == damaged);

  // A new text leaves the flag the box cannot show as the file holds it.
  clickCell(table, 7, 2);
  QCOMPARE(cell(table, 7, 1), QStringLiteral("5"));
  retype(run.find<QPlainTextEdit>("eClilocText"), QStringLiteral("even flag"));
  run.press("btnClilocApply");
  QCOMPARE(run.registry->cliloc->entry(7).text, std::string("even flag"));
  QCOMPARE(static_cast<int>(run.registry->cliloc->entry(7).flag), 5);

  // The tail goes only when asked for, and only on "Yes".
  run.dialogs.answerQuestion(QStringLiteral("No"));
  run.press("btnClilocDropTail");
  QVERIFY(tail->isVisible());
  QVERIFY(run.registry->cliloc->tail().size() == 24);
  run.dialogs.answerQuestion(QStringLiteral("Yes"));
  run.press("btnClilocDropTail");
  QVERIFY(!tail->isVisible() && !drop->isVisible());
  run.dialogs.answerSave(QString::fromStdString(file));
  run.press("btnSaveCliloc");
  Bytes expected(whole.begin(), whole.end() - static_cast<std::ptrdiff_t>(odd.size()));
  const std::string even = "even flag";
  expected[expected.size() - 2] = static_cast<std::uint8_t>(even.size());
  expected.insert(expected.end(), even.begin(), even.end());
  QVERIFY(readBytes(file) == expected);
  QCOMPARE(run.dialogs.pendingAnswers(), 0);
}

void ClilocSpeechSkillsPagesTest::speechShowsListsEditsAddsDeletesAndSaves() {
  ProgramRun run;
  const std::string file = run.dir.file("speech.mul");
  const Bytes original = speechBytes();
  writeBytes(file, original);
  openPage(run, "Speech");
  loadFile(run, "eSpeech", file, "Speech");
  QVERIFY(run.dialogs.messages().isEmpty());
  auto* table = run.find<QTableView>("tvSpeech");
  QCOMPARE(table->model()->rowCount(), 7);
  const QStringList lists = {"1", "1", "2", "2", "2", "2", "2"};
  for (int row = 0; row < 7; ++row) {
    const SpeechEntry& e = kSpeechEntries[static_cast<std::size_t>(row)];
    QCOMPARE(cell(table, row, 0), lists[row]);
    QCOMPARE(cell(table, row, 1), QString::number(e.id));
    QCOMPARE(cell(table, row, 2), q(e.text.c_str()));
  }
  // An empty keyword shows as empty; the byte-order mark inside a text stays in it.
  QCOMPARE(cell(table, 2, 2), QString());
  QVERIFY(cell(table, 6, 2).contains(QChar(0xFEFF)));

  // A save without changes gives the file back byte for byte.
  run.dialogs.answerSave(QString::fromStdString(file));
  run.press("btnSaveSpeech");
  QVERIFY(readBytes(file) == original);

  // A number shows the entries of that id, words the texts holding them.
  run.typeInto("eSpeechSearch", "2");
  QCOMPARE(table->model()->rowCount(), 2);
  QCOMPARE(cell(table, 1, 2), QStringLiteral("*bank*"));
  run.typeInto("eSpeechSearch", "BANK");
  QCOMPARE(table->model()->rowCount(), 1);
  QCOMPARE(run.find<QLineEdit>("eSpeechText")->text(), QStringLiteral("*bank*"));

  // The id and the text typed, trailing blanks kept; the new id starts a list of its own.
  run.typeInto("eSpeechSearch", "");
  clickCell(table, 5, 2);
  QCOMPARE(run.find<QLineEdit>("eSpeechId")->text(), QStringLiteral("2"));
  retype(run.find<QLineEdit>("eSpeechText"), QStringLiteral("*banco*  "));
  retype(run.find<QLineEdit>("eSpeechId"), QStringLiteral("1"));
  run.press("btnSpeechApply");
  QVERIFY(run.registry->speech->entry(5) == (SpeechEntry{1, "*banco*  "}));
  QCOMPARE(cell(table, 5, 2), QStringLiteral("*banco*  "));
  // An id past 65535 is refused; nothing is stored.
  retype(run.find<QLineEdit>("eSpeechId"), QStringLiteral("70000"));
  QTest::keyClick(run.find<QLineEdit>("eSpeechId"), Qt::Key_Return);
  QCOMPARE(run.dialogs.messages().size(), 1);
  QCOMPARE(static_cast<int>(run.registry->speech->entry(5).id), 1);

  // "Add" puts a keyword of the chosen entry's id after it.
  clickCell(table, 1, 0);
  run.dialogs.answerInput(QStringLiteral("*money*"));
  run.press("btnSpeechAdd");
  QVERIFY(run.registry->speech->entry(2) == (SpeechEntry{2, "*money*"}));
  QCOMPARE(table->currentIndex().row(), 2);
  QCOMPARE(table->model()->rowCount(), 8);
  // "Delete" asks first.
  clickCell(table, 0, 0);
  run.dialogs.answerQuestion(QStringLiteral("Yes"));
  run.press("btnSpeechDelete");
  QCOMPARE(table->model()->rowCount(), 7);

  run.dialogs.answerSave(QString::fromStdString(file));
  run.press("btnSaveSpeech");
  const TSpeech saved = readSpeech(file);
  const std::vector<SpeechEntry> expected = {
      kSpeechEntries[1], {2, "*money*"},   kSpeechEntries[2], kSpeechEntries[3],
      kSpeechEntries[4], {1, "*banco*  "}, kSpeechEntries[6]};
  QVERIFY(saved.entries() == expected);

  // Another file loaded: the table shows it, nothing of the old one chosen.
  const std::string other = run.dir.file("other.mul");
  writeBytes(other, Bytes{0, 7, 0, 2, 'h', 'i'});
  run.typeInto("eSpeechSearch", "bank");
  loadFile(run, "eSpeech", other, "Speech");
  QCOMPARE(table->model()->rowCount(), 1);
  QCOMPARE(cell(table, 0, 2), QStringLiteral("hi"));
  QVERIFY(run.find<QLineEdit>("eSpeechSearch")->text().isEmpty());
  QVERIFY(!run.find<QLineEdit>("eSpeechText")->isEnabled());
  QCOMPARE(run.dialogs.pendingAnswers(), 0);
}

void ClilocSpeechSkillsPagesTest::skillsRenameFlagsGroupsAndSave() {
  ProgramRun run;
  const std::string idx = run.dir.file("skills.idx"), mul = run.dir.file("skills.mul"),
                    grp = run.dir.file("skillgrp.mul");
  const SkillFiles files = skillBytes();
  writeBytes(idx, files.index);
  writeBytes(mul, files.data);
  writeBytes(grp, groupBytes());
  openPage(run, "Skills");
  QVERIFY(run.find<QLabel>("lSkillGroupZero")->text().contains("Group 0 has no stored name"));
  run.setField("eSkillsIdx", QString::fromStdString(idx));
  loadFile(run, "eSkillsMul", mul, "Skills");
  auto* table = run.find<QTableView>("tvSkills");
  QCOMPARE(table->model()->rowCount(), 4);
  QCOMPARE(table->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Action"));
  QCOMPARE(cell(table, 1, 1), QStringLiteral("1"));
  QCOMPARE(cell(table, 3, 2), QStringLiteral("Magery"));
  // Without the groups file the skills have no group to show, and none can be chosen.
  QCOMPARE(cell(table, 0, 3), QString());
  QVERIFY(!run.find<QComboBox>("cbSkillGroup")->isEnabled());

  loadFile(run, "eSkillGroups", grp, "SkillGroups");
  QCOMPARE(cell(table, 0, 3), QStringLiteral("Crafter"));
  QCOMPARE(cell(table, 1, 3), QStringLiteral("0"));
  QCOMPARE(cell(table, 3, 3), QStringLiteral("Mage"));
  auto* groups = run.find<QListWidget>("lbSkillGroups");
  QCOMPARE(groups->count(), 3);

  // Rename (a letter of the code page), the action flag and the group of skill 1.
  clickCell(table, 1, 2);
  retype(run.find<QLineEdit>("eSkillName"), q("Anatom\xC3\xAD"
                                              "a"));
  QTest::keyClick(run.find<QCheckBox>("cbSkillAction"), Qt::Key_Space);
  auto* group = run.find<QComboBox>("cbSkillGroup");
  QCOMPARE(group->currentIndex(), 0);
  QTest::keyClick(group, Qt::Key_Down);
  QTest::keyClick(group, Qt::Key_Down);
  run.press("btnSkillApply");
  QCOMPARE(run.registry->skills->skill(1).name, std::string("Anatom\xC3\xAD"
                                                            "a"));
  QCOMPARE(static_cast<int>(run.registry->skills->skill(1).flag), 0);
  QCOMPARE(static_cast<int>(run.registry->skillGroups->groupOf(1)), 2);
  QCOMPARE(cell(table, 1, 3), QStringLiteral("Mage"));
  QVERIFY(run.dialogs.messages().isEmpty());

  // "Add skill" takes the first unused entry; "Delete skill" asks, then leaves it unused.
  run.dialogs.answerInput(QStringLiteral("Bushido"));
  run.press("btnSkillAdd");
  QCOMPARE(table->model()->rowCount(), 5);
  QCOMPARE(cell(table, 4, 0), QStringLiteral("4"));
  QCOMPARE(cell(table, 4, 2), QStringLiteral("Bushido"));
  clickCell(table, 2, 0);
  run.dialogs.answerQuestion(QStringLiteral("Yes"));
  run.press("btnSkillDelete");
  QCOMPARE(table->model()->rowCount(), 4);
  QVERIFY(!run.registry->skills->skill(2).used);

  // Groups: rename, add, delete (the skills of later groups move down with them).
  run.clickLine("lbSkillGroups", 1);
  QCOMPARE(run.find<QLineEdit>("eSkillGroupName")->text(), QStringLiteral("Crafter"));
  run.typeInto("eSkillGroupName", "Artisan");
  QCOMPARE(run.registry->skillGroups->groupName(1), std::string("Artisan"));
  QCOMPARE(cell(table, 0, 3), QStringLiteral("Artisan"));
  run.dialogs.answerInput(QStringLiteral("Bard"));
  run.press("btnSkillGroupAdd");
  QCOMPARE(groups->count(), 4);
  QCOMPARE(groups->currentRow(), 3);
  run.clickLine("lbSkillGroups", 1);
  run.dialogs.answerQuestion(QStringLiteral("Yes"));
  run.press("btnSkillGroupDelete");
  QCOMPARE(groups->count(), 3);
  QCOMPARE(cell(table, 0, 3), QStringLiteral("0"));
  QCOMPARE(cell(table, 1, 3), QStringLiteral("Mage"));
  QCOMPARE(static_cast<int>(run.registry->skillGroups->groupOf(1)), 1);
  // Group 0 has no name to change.
  run.clickLine("lbSkillGroups", 0);
  run.typeInto("eSkillGroupName", "Misc");
  QCOMPARE(run.dialogs.messages().size(), 1);
  QCOMPARE(static_cast<int>(run.registry->skillGroups->groupCount()), 3);

  run.dialogs.answerSave(QString::fromStdString(idx));
  run.dialogs.answerSave(QString::fromStdString(mul));
  run.press("btnSaveSkills");
  run.dialogs.answerSave(QString::fromStdString(grp));
  run.press("btnSaveSkillGroups");
  QCOMPARE(run.dialogs.pendingAnswers(), 0);
  TSkills skills;
  skills.load(idx, mul);
  QVERIFY(skills.skill(1) == (SkillEntry{true, 0,
                                         "Anatom\xC3\xAD"
                                         "a"}));
  QVERIFY(!skills.skill(2).used);
  QVERIFY(skills.skill(4) == (SkillEntry{true, 0, "Bushido"}));
  QVERIFY(skills.skill(3) == (SkillEntry{true, 0, "Magery"}));
  TSkillGroups saved;
  saved.load(grp);
  QCOMPARE(static_cast<int>(saved.groupCount()), 3);
  QCOMPARE(saved.groupName(1), std::string("Mage"));
  QCOMPARE(saved.groupName(2), std::string("Bard"));
  QVERIFY(saved.table() == (std::vector<std::int32_t>{0, 1, 1, 1}));
}

void ClilocSpeechSkillsPagesTest::skillNamesTheCodePageLacksAreRefused() {
  ProgramRun run;
  const std::string idx = run.dir.file("skills.idx"), mul = run.dir.file("skills.mul"),
                    grp = run.dir.file("skillgrp.mul");
  const SkillFiles files = skillBytes();
  writeBytes(idx, files.index);
  writeBytes(mul, files.data);
  writeBytes(grp, groupBytes());
  openPage(run, "Skills");
  run.setField("eSkillsIdx", QString::fromStdString(idx));
  loadFile(run, "eSkillsMul", mul, "Skills");
  loadFile(run, "eSkillGroups", grp, "SkillGroups");
  auto* table = run.find<QTableView>("tvSkills");

  // A Cyrillic name is refused where it is typed, with the reason; the field keeps it.
  clickCell(table, 3, 2);
  enter(run, "eSkillName", q("\xD0\x9C\xD0\xB0\xD0\xB3\xD0\xB8\xD1\x8F"));
  QCOMPARE(run.dialogs.messages().size(), 1);
  QCOMPARE(run.dialogs.messages().first().icon, ui::MessageIcon::Error);
  QCOMPARE(run.registry->skills->skill(3).name, std::string("Magery"));
  QCOMPARE(run.find<QLineEdit>("eSkillName")->text(),
           q("\xD0\x9C\xD0\xB0\xD0\xB3\xD0\xB8\xD1\x8F"));
  QCOMPARE(cell(table, 3, 2), QStringLiteral("Magery"));
  // With the action ticked in the same step, neither is stored.
  QTest::keyClick(run.find<QCheckBox>("cbSkillAction"), Qt::Key_Space);
  run.press("btnSkillApply");
  QCOMPARE(run.dialogs.messages().size(), 2);
  QCOMPARE(static_cast<int>(run.registry->skills->skill(3).flag), 0);
  // The same for a group name, and for a new skill.
  run.clickLine("lbSkillGroups", 2);
  enter(run, "eSkillGroupName", q("\xE9\xAD\x94\xE6\xB3\x95"));
  QCOMPARE(run.dialogs.messages().size(), 3);
  QCOMPARE(run.registry->skillGroups->groupName(2), std::string("Mage"));
  run.dialogs.answerInput(q("\xE5\xBF\x8D\xE8\xA1\x93"));
  run.press("btnSkillAdd");
  QCOMPARE(run.dialogs.messages().size(), 4);
  QCOMPARE(table->model()->rowCount(), 4);

  // Nothing was stored: the saved files are the files that were loaded.
  run.dialogs.answerSave(QString::fromStdString(idx));
  run.dialogs.answerSave(QString::fromStdString(mul));
  run.press("btnSaveSkills");
  run.dialogs.answerSave(QString::fromStdString(grp));
  run.press("btnSaveSkillGroups");
  QCOMPARE(run.dialogs.messages().size(), 4);
  QVERIFY(readBytes(idx) == files.index);
  QVERIFY(readBytes(mul) == files.data);
  QVERIFY(readBytes(grp) == groupBytes());
}

QTEST_MAIN(ClilocSpeechSkillsPagesTest)
#include "ClilocSpeechSkillsPagesTest.moc"
