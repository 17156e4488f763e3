// The "Sound", "Multi" and "Progress" pages driven as a user drives them: lines clicked, pop-up
// entries chosen, check boxes and buttons clicked; then what the pages show and the files hold.

#include <cstdlib>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "UiTestSupport.h"
#include "app/FileIO.h"
#include "app/Png.h"
#include "models/Multi.h"
#include "models/Sound.h"
#include "sample/Sample.h"
#include "ui/main/MultiPage.h"
#include "ui/main/ProgressPage.h"
#include "ui/main/SoundPage.h"
#include "ui/platform/WavePlayer.h"

using namespace quillotide;
using quillotide::test::ProgramRun;
using quillotide::test::readBytes;
using quillotide::test::writeBytes;

namespace {

// Plays nothing; remembers what it was asked to play and what the file held then.
struct RecordingPlayer : ui::WavePlayer {
  void play(const QString& path) override {
    paths << path;
    contents.push_back(readBytes(path.toStdString()));
  }
  QStringList paths;
  std::vector<Bytes> contents;
};

struct PagesRun : ProgramRun {
  PagesRun() {
    sample::writeArt(dir.path());
    sample::writeSounds(dir.path());
    sample::writeMultis(dir.path());
    sample::writeProgress(dir.path());
  }
  void loadGroup(const QString& group, const QString& idxField, const std::string& idx,
                 const QString& mulField, const std::string& mul) {
    setField(idxField, path(idx));
    setField(mulField, path(mul));
    click("btnLoad" + group);
  }
  void trigger(const QString& action) const {
    if (auto* a = find<QAction>(action)) a->trigger();
  }
};

// A 16-bit PCM wave file whose chunks do not follow the 44-byte layout: a "LIST" chunk sits
// between "fmt " and "data", so its samples start at byte 56.
Bytes waveWithExtraChunk(const Bytes& samples) {
  ByteWriter w;
  w.bytes(Bytes{'R', 'I', 'F', 'F'});
  w.u32(static_cast<std::uint32_t>(4 + 24 + 12 + 8 + samples.size()));
  w.bytes(Bytes{'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  w.u32(16);
  w.u16(1);
  w.u16(1);
  w.u32(22050);
  w.u32(44100);
  w.u16(2);
  w.u16(16);
  w.bytes(Bytes{'L', 'I', 'S', 'T'});
  w.u32(4);
  w.bytes(Bytes{'I', 'N', 'F', 'O'});
  w.bytes(Bytes{'d', 'a', 't', 'a'});
  w.u32(static_cast<std::uint32_t>(samples.size()));
  w.bytes(samples);
  return w.data();
}

QRgb pixelOf(const QLabel* label, int x, int y) { return label->pixmap().toImage().pixel(x, y); }

}  // namespace

class SoundMultiProgressPagesTest : public QObject {
  Q_OBJECT
private slots:
  void soundPlaysTheSelectedSlotAndNeverAnEmptyOne();
  void soundExportImportDeleteAndSave();
  void multiShowsExportsImportsAndDeletes();
  void multiWithoutArtSaysSo();
  void progressShowsKindsAlphaAndEntries();
  void progressCreateAsksBeforeEmptying();
  void emptySlotsAndUnloadedFilesSayWhyNothingIsDone();
  void sampleSetFillsThePages();
};

void SoundMultiProgressPagesTest::soundPlaysTheSelectedSlotAndNeverAnEmptyOne() {
  PagesRun run;
  run.loadGroup("Sound", "eSoundIdx", "soundidx.mul", "eSoundMul", "sound.mul");
  auto* page = run.find<ui::SoundPage>("tsSound");
  RecordingPlayer player;
  page->setWavePlayer(&player);
  run.showPage("tsSound");
  QCOMPARE(run.find<QListView>("lbSound")->model()->rowCount(), 0x1000);
  auto* name = run.find<QLabel>("lSoundName");

  run.clickLine("lbSound", 2);
  QCOMPARE(name->text(), QStringLiteral("chord"));
  run.trigger("miSoundPlay");
  QCOMPARE(player.paths, QStringList{page->playFilePath()});
  QCOMPARE(page->playFilePath(), run.path("play.wav"));
  const Bytes chord = makeWave(*run.registry->sound->samples(2));
  QVERIFY(player.contents.back() == chord);

  // An empty slot: nothing played, the reason shown, the old play.wav left as it was.
  run.clickLine("lbSound", 5);
  QCOMPARE(name->text(), QString());
  run.trigger("miSoundPlay");
  QCOMPARE(player.paths.size(), 1);
  QCOMPARE(run.dialogs.messageTexts(), QStringList{ui::emptySoundMessage(5)});
  QVERIFY(readBytes(run.dir.file("play.wav")) == chord);
}

void SoundMultiProgressPagesTest::soundExportImportDeleteAndSave() {
  PagesRun run;
  run.loadGroup("Sound", "eSoundIdx", "soundidx.mul", "eSoundMul", "sound.mul");
  run.showPage("tsSound");
  auto* name = run.find<QLabel>("lSoundName");
  run.clickLine("lbSound", 0);
  QCOMPARE(name->text(), QStringLiteral("bell"));

  run.dialogs.answerSave(run.path("bell.wav"));
  run.trigger("miSoundSave");
  QCOMPARE(run.dialogs.asked().back().filter, QStringLiteral("*.wav|*.wav"));
  QCOMPARE(run.dialogs.asked().back().defaultExtension, QStringLiteral("wav"));
  QCOMPARE(run.dialogs.asked().back().proposed, QStringLiteral("0x0.wav"));
  const Bytes bell = *run.registry->sound->samples(0);
  QVERIFY(readBytes(run.dir.file("bell.wav")) == makeWave(bell));

  // A wave with an extra chunk brings its data chunk, not whatever follows byte 44.
  writeBytes(run.dir.file("extra.wav"), waveWithExtraChunk(bell));
  run.clickLine("lbSound", 7);
  run.dialogs.answerOpen(run.path("extra.wav"));
  run.trigger("miSoundLoad");
  QCOMPARE(name->text(), QStringLiteral("7"));
  QVERIFY(*run.registry->sound->samples(7) == bell);

  // A file too short for a wave header is refused and the slot keeps its sound.
  writeBytes(run.dir.file("short.wav"), Bytes(20, 0));
  run.dialogs.answerOpen(run.path("short.wav"));
  run.trigger("miSoundLoad");
  QCOMPARE(run.dialogs.messages().size(), 1);
  QVERIFY(run.dialogs.messageTexts().front().contains(QStringLiteral("short.wav")));
  QVERIFY(*run.registry->sound->samples(7) == bell);

  run.clickLine("lbSound", 1);
  run.trigger("miSoundDelete");
  QVERIFY(!run.registry->sound->slotExists(1));
  QCOMPARE(name->text(), QString());

  run.dialogs.answerSave(run.path("out-idx.mul"));
  run.dialogs.answerSave(run.path("out.mul"));
  run.click("btnSaveSound");
  TSound saved;
  saved.load(run.dir.file("out-idx.mul"), run.dir.file("out.mul"));
  QVERIFY(!saved.slotExists(1));
  QCOMPARE(saved.soundName(7), std::string("7"));
  QVERIFY(*saved.samples(7) == bell);
  QCOMPARE(saved.soundName(0), std::string("bell"));
}

void SoundMultiProgressPagesTest::multiShowsExportsImportsAndDeletes() {
  PagesRun run;
  run.loadGroup("Art", "eArtIdx", "artidx.mul", "eArtMul", "art.mul");
  run.loadGroup("Multis", "eMultiIdx", "multi.idx", "eMultiMul", "multi.mul");
  run.showPage("tsMulti");
  auto* page = run.find<ui::MultiPage>("tsMulti");
  QCOMPARE(run.find<QListView>("lbMulti")->model()->rowCount(), 0x1FF1);
  QCOMPARE(page->picture()->size(), QSize(100, 100));

  run.clickLine("lbMulti", 0);
  const Bitmap32 house = run.registry->multis->multiPicture(0, run.registry->art.get());
  QCOMPARE(page->picture()->size(), QSize(house.width, house.height));
  QCOMPARE(pixelOf(page->picture(), house.width / 2, house.height / 2),
           QRgb(house.at(house.width / 2, house.height / 2)));

  // Each text format exported and read back into another slot gives the same components.
  const std::vector<MultiComponent> parts = run.registry->multis->components(0);
  const std::vector<std::tuple<QString, QString, QString>> formats = {
      {"Sphere51a", "*.scp|*.scp", "0x0.scp"},
      {"Wsc", "*.wsc|*.wsc", "0x0.wsc"},
      {"Text", "*.txt|*.txt", "0x0.txt"},
      {"UoaText", "*.txt|*.txt", "0x0.txt"}};
  int target = 0x10;
  for (const auto& [format, filter, proposed] : formats) {
    run.clickLine("lbMulti", 0);
    const QString file = run.path("house-" + format.toStdString());
    run.dialogs.answerSave(file);
    run.trigger("miMultiSave" + format);
    QCOMPARE(run.dialogs.asked().back().filter, filter);
    QCOMPARE(run.dialogs.asked().back().proposed, proposed);
    run.clickLine("lbMulti", target);
    QCOMPARE(page->picture()->size(), QSize(100, 100));
    run.dialogs.answerOpen(file);
    run.trigger("miMultiLoad" + format);
    QVERIFY2(run.registry->multis->components(target) == parts, qPrintable(format));
    QCOMPARE(page->picture()->size(), QSize(house.width, house.height));
    ++target;
  }

  run.trigger("miMultiDelete");
  QVERIFY(!run.registry->multis->slotExists(target - 1));
  QCOMPARE(page->picture()->size(), QSize(100, 100));
  QVERIFY(run.dialogs.messages().isEmpty());

  run.dialogs.answerSave(run.path("out.idx"));
  run.dialogs.answerSave(run.path("out.mul"));
  run.click("btnSaveMultis");
  TMulti saved;
  saved.load(run.dir.file("out.idx"), run.dir.file("out.mul"));
  QVERIFY(saved.components(0x10) == parts);
  QVERIFY(!saved.slotExists(target - 1));
}

void SoundMultiProgressPagesTest::multiWithoutArtSaysSo() {
  PagesRun run;
  run.loadGroup("Multis", "eMultiIdx", "multi.idx", "eMultiMul", "multi.mul");
  run.showPage("tsMulti");
  run.clickLine("lbMulti", 1);
  QCOMPARE(run.dialogs.messageTexts(), QStringList{QStringLiteral("Load Art first.")});
  QCOMPARE(run.find<ui::MultiPage>("tsMulti")->picture()->size(), QSize(100, 100));
}

void SoundMultiProgressPagesTest::progressShowsKindsAlphaAndEntries() {
  PagesRun run;
  run.loadGroup("Progress", "eProgressIdx", "Progress.idx", "eProgressMul", "Progress.mul");
  run.showPage("tsProgress");
  auto* page = run.find<ui::ProgressPage>("tsProgress");
  auto* lines = run.find<QListView>("lbProgress");
  QCOMPARE(lines->model()->rowCount(), 0x8000);

  // The torch's glow: 40 x 40, its colour opaque in the middle; with "Alpha" the alpha as grey.
  run.clickLine("lbProgress", 0x10);
  QCOMPARE(page->picture()->size(), QSize(40, 40));
  QCOMPARE(pixelOf(page->picture(), 20, 20), qRgb(255, 200, 80));
  run.find<QCheckBox>("cbProgressAlpha")->click();
  QVERIFY(qRed(pixelOf(page->picture(), 20, 20)) > 230);
  QCOMPARE(pixelOf(page->picture(), 0, 0), qRgb(0, 0, 0));
  run.find<QCheckBox>("cbProgressAlpha")->click();

  run.dialogs.answerSave(run.path("glow.png"));
  run.trigger("miProgressSave");
  QCOMPARE(run.dialogs.asked().back().proposed, QStringLiteral("0x10.png"));
  const Bitmap32 exported = readPngFile(run.dir.file("glow.png"));
  QVERIFY(exported == run.registry->progress->entryImage(0, 0x10));

  // A picture without alpha, made by ImageMagick, is refused.
  const std::string rgb = run.dir.file("rgb.png");
  QCOMPARE(std::system(("convert -size 8x8 xc:red PNG24:" + rgb).c_str()), 0);
  run.clickLine("lbProgress", 0x30);
  run.dialogs.answerOpen(QString::fromStdString(rgb));
  run.trigger("miProgressLoad");
  QCOMPARE(run.dialogs.messageTexts(),
           QStringList{QStringLiteral("Colorformat has to be RGBALPHA")});
  QVERIFY(!run.registry->progress->entryExists(0, 0x30));

  run.dialogs.answerOpen(run.path("glow.png"));
  run.trigger("miProgressLoad");
  QVERIFY(run.registry->progress->entryExists(0, 0x30));
  QCOMPARE(page->picture()->size(), QSize(40, 40));

  run.clickLine("lbProgress", 0x10);
  run.trigger("miProgressDelete");
  QVERIFY(!run.registry->progress->entryExists(0, 0x10));
  QCOMPARE(page->picture()->size(),
           QSize(ui::ProgressPage::kEmptySide, ui::ProgressPage::kEmptySide));

  // The gumps: their own range and entries.
  auto* kind = run.find<QComboBox>("cbProgressKind");
  kind->setFocus();
  QTest::keyClick(kind, Qt::Key_Down);
  QCOMPARE(kind->currentText(), QStringLiteral("Gumps"));
  QCOMPARE(lines->model()->rowCount(), 0x10000);
  run.clickLine("lbProgress", 1);
  QCOMPARE(page->picture()->size(), QSize(120, 80));

  run.dialogs.answerSave(run.path("p.idx"));
  run.dialogs.answerSave(run.path("p.mul"));
  run.click("btnSaveProgress");
  TProgress saved;
  saved.load(run.dir.file("p.idx"), run.dir.file("p.mul"));
  QCOMPARE(saved.entryIds(0), (std::vector<std::int32_t>{0x1D, 0x30}));
  QCOMPARE(saved.entryIds(1), (std::vector<std::int32_t>{1}));
}

void SoundMultiProgressPagesTest::progressCreateAsksBeforeEmptying() {
  PagesRun run;
  const Bytes before = readBytes(run.dir.file("Progress.mul"));
  run.dialogs.answerFolder(QString::fromStdString(run.dir.path()));
  run.dialogs.answerQuestion(QStringLiteral("No"));
  run.click("btnProgressCreate");
  QVERIFY(readBytes(run.dir.file("Progress.mul")) == before);
  QCOMPARE(run.find<QLineEdit>("eProgressIdx")->text(), QString());

  run.dialogs.answerFolder(QString::fromStdString(run.dir.path()));
  run.dialogs.answerQuestion(QStringLiteral("Yes"));
  run.click("btnProgressCreate");
  QVERIFY(readBytes(run.dir.file("Progress.mul")).empty());
  QVERIFY(readBytes(run.dir.file("Progress.idx")).empty());
  QCOMPARE(run.find<QLineEdit>("eProgressIdx")->text(), run.path("Progress.idx"));
  QCOMPARE(run.find<QLineEdit>("eProgressMul")->text(), run.path("Progress.mul"));
  // The stored paths stay until the user browses.
  QVERIFY(run.registry->config->getString("ProgressIdx").empty());

  // A new folder is created without a question.
  const std::string fresh = run.dir.file("fresh");
  QVERIFY(QDir().mkpath(QString::fromStdString(fresh)));
  run.dialogs.answerFolder(QString::fromStdString(fresh));
  run.click("btnProgressCreate");
  QVERIFY(fileExists(joinPath(fresh, "Progress.idx")));
  run.click("btnLoadProgress");
  QVERIFY(run.registry->progress->isLoaded());
  QVERIFY(run.registry->progress->entryIds(0).empty());
  QCOMPARE(run.dialogs.pendingAnswers(), 0);
}

// "Save to File" on an empty slot, and the progress entries on an absent entry or an unloaded
// archive, say why they do nothing, before any file dialog opens; no file is written.
void SoundMultiProgressPagesTest::emptySlotsAndUnloadedFilesSayWhyNothingIsDone() {
  PagesRun run;
  const auto filesIn = [&] {
    return QDir(QString::fromStdString(run.dir.path())).entryList(QDir::Files);
  };
  const QStringList before = filesIn();

  run.loadGroup("Sound", "eSoundIdx", "soundidx.mul", "eSoundMul", "sound.mul");
  run.showPage("tsSound");
  run.clickLine("lbSound", 5);
  run.trigger("miSoundSave");

  run.loadGroup("Multis", "eMultiIdx", "multi.idx", "eMultiMul", "multi.mul");
  run.showPage("tsMulti");
  run.clickLine("lbMulti", 0x10);
  run.trigger("miMultiSaveText");

  // The progress list shows its ids before the archive is loaded.
  run.showPage("tsProgress");
  run.clickLine("lbProgress", 0x10);
  run.trigger("miProgressLoad");
  run.trigger("miProgressSave");
  run.trigger("miProgressDelete");
  run.loadGroup("Progress", "eProgressIdx", "Progress.idx", "eProgressMul", "Progress.mul");
  run.clickLine("lbProgress", 0x31);
  run.trigger("miProgressSave");

  QCOMPARE(run.dialogs.messageTexts(),
           (QStringList{QStringLiteral("Sound slot 0x5 is empty: there is nothing to save."),
                        QStringLiteral("Multi slot 0x10 is empty: there is nothing to save."),
                        ui::kProgressNotLoadedMessage, ui::kProgressNotLoadedMessage,
                        ui::kProgressNotLoadedMessage,
                        QStringLiteral("Art (S) entry 0x31 is not in the progress archive: there "
                                       "is nothing to save.")}));
  QVERIFY(run.dialogs.asked().isEmpty());
  QCOMPARE(filesIn(), before);
  QVERIFY(run.registry->progress->entryExists(0, 0x10));
}

void SoundMultiProgressPagesTest::sampleSetFillsThePages() {
  ProgramRun run;
  run.mainForm->useSampleSet(run.path("sample"));
  QVERIFY(run.dialogs.messages().isEmpty());
  QVERIFY(run.registry->sound->isLoaded());
  QVERIFY(run.registry->multis->isLoaded());
  QVERIFY(run.registry->progress->isLoaded());
  QCOMPARE(run.find<QLineEdit>("eProgressIdx")->text(), run.path("sample/Progress.idx"));

  run.showPage("tsSound");
  run.clickLine("lbSound", 1);
  QCOMPARE(run.find<QLabel>("lSoundName")->text(), QStringLiteral("footsteps"));
  run.showPage("tsMulti");
  run.clickLine("lbMulti", 2);
  QVERIFY(run.find<ui::MultiPage>("tsMulti")->picture()->width() > 100);
  run.showPage("tsProgress");
  run.clickLine("lbProgress", 0x1D);
  QCOMPARE(run.find<ui::ProgressPage>("tsProgress")->picture()->size(), QSize(64, 64));
  QVERIFY(run.dialogs.messages().isEmpty());
}

QTEST_MAIN(SoundMultiProgressPagesTest)
#include "SoundMultiProgressPagesTest.moc"
