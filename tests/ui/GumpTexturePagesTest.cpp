// The gump, texture and light pages driven as a user drives them: load on the Settings page,
// pick lines, use the pop-up entries through the dialog seam, then check the view, the files and
// the messages.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QTest>

#include "UiTestSupport.h"
#include "app/Bmp.h"
#include "app/FileIO.h"
#include "app/Text.h"
#include "app/Uop.h"
#include "models/Gump.h"
#include "models/Light.h"
#include "models/Textures.h"
#include "models/Verdata.h"
#include "ui/main/GumpPage.h"
#include "ui/main/LightPage.h"
#include "ui/main/PictureView.h"
#include "ui/main/SettingsPage.h"
#include "ui/main/SlotListView.h"
#include "ui/main/TexturePage.h"

using namespace quillotide;
using quillotide::test::configWith;
using quillotide::test::ProgramRun;

namespace {

// A picture of distinct opaque colours whose channels survive the 16-bit round trip.
Bitmap32 pattern(int w, int h, int seed) {
  Bitmap32 p(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      p.at(x, y) = makePixel(static_cast<std::uint8_t>(((x + seed) % 31 + 1) * 8),
                             static_cast<std::uint8_t>(((y * 3 + seed) % 31 + 1) * 8),
                             static_cast<std::uint8_t>(((x + y + seed) % 30 + 1) * 8));
  return p;
}

void writeEmptyPair(const std::string& index, const std::string& data, std::int64_t records) {
  test::writeBytes(index,
                   test::indexBytes(std::vector<IndexRecord>(static_cast<std::size_t>(records))));
  test::writeBytes(data, {});
}

// A verdata.mul without records.
void writeEmptyVerdata(const std::string& path) { test::writeBytes(path, Bytes(4, 0)); }

QString hex(std::int64_t slot) {
  return QString::fromStdString(hexLabel(static_cast<std::uint32_t>(slot)));
}

// Selects the line labelled `label` as a click would, and answers its row.
int selectLabel(ProgramRun& run, const QString& listName, const QString& label) {
  auto* view = run.find<QListView>(listName);
  for (int row = 0; row < view->model()->rowCount(); ++row) {
    const QModelIndex index = view->model()->index(row, 0);
    if (index.data().toString() == label) {
      view->setCurrentIndex(index);
      return row;
    }
  }
  QTest::qFail(qPrintable("no line " + label + " in " + listName), __FILE__, __LINE__);
  return -1;
}

void trigger(ProgramRun& run, const QString& action) {
  if (auto* a = run.find<QAction>(action)) a->trigger();
}

int lineCount(ProgramRun& run, const QString& listName) {
  return run.find<QListView>(listName)->model()->rowCount();
}

// The pixel of a view as 0xAARRGGBB.
Pixel viewPixel(ProgramRun& run, const QString& view, int x, int y) {
  return run.find<ui::PictureView>(view)->pixelAt(x, y);
}

bool onlyBackground(ProgramRun& run, const QString& view) {
  const QImage& canvas = run.find<ui::PictureView>(view)->canvas();
  for (int y = 0; y < canvas.height(); ++y)
    for (int x = 0; x < canvas.width(); ++x)
      if (canvas.pixel(x, y) != ui::PictureView::kBackground.rgba()) return false;
  return true;
}

}  // namespace

class GumpTexturePagesTest : public QObject {
  Q_OBJECT
private slots:
  void gumpListsFollowTheirRangesAndWin98();
  void gumpExportChangeImportDeleteSaveAndRestart();
  void filterChangeClearsTheViews();
  void gumpPatchIsShownExportedAndDeletedFirst();
  void animationLabelAndCopyExistingAnimation();
  void emptyIdListsOfGumpsAndTextures();
  void textureImportChecksSizesAndPatchesComeFirst();
  void lightListViewAndExactRoundTrip();
  void aContainerGumpThatCannotBeReadIsListedAsUnreadable();
  void artAndSoundSlotsThatCannotBeReadAreListedAsUnreadable();
};

void GumpTexturePagesTest::gumpListsFollowTheirRangesAndWin98() {
  test::TempDir files;
  const std::string idx = files.file("gumpidx.mul"), mul = files.file("gumpart.mul");
  writeEmptyPair(idx, mul, 0xD000);
  {
    TGump gumps;
    gumps.load(idx, mul);
    gumps.writeGump(0x10, pattern(4, 3, 1));
    gumps.writeGump(0x8000, pattern(5, 5, 2));  // above the Win98 range
    gumps.writeGump(0xC349, pattern(2, 2, 3));
    gumps.writeGump(50002, pattern(3, 3, 4));
    gumps.save(idx, mul);
  }
  ProgramRun run(configWith({{"GumpIdx", idx}, {"GumpMul", mul}}));
  run.click("btnLoadGumps");
  QCOMPARE(lineCount(run, "lbGumpsAnim"), 61183 - 50000 + 1);
  QCOMPARE(run.find<QListView>("lbGumpsAnim")->model()->index(0, 0).data().toString(),
           QStringLiteral("0xC350"));
  QCOMPARE(lineCount(run, "lbGumpNonAnim"), 0xC34A);

  auto* filter = run.find<QComboBox>("cbGumpsAnimFilter");
  filter->setCurrentIndex(2);
  emit filter->activated(2);
  QCOMPARE(lineCount(run, "lbGumpsAnim"), 1);

  // Win98/WinME keeps the list below 32 768 lines, except "Full Slots", which lists every full
  // gump.
  run.click("cbWin98");
  QCOMPARE(lineCount(run, "lbGumpNonAnim"), 0x7000);
  auto* nonAnimFilter = run.find<QComboBox>("cbGumpNonAnimFilter");
  nonAnimFilter->setCurrentIndex(1);
  emit nonAnimFilter->activated(1);
  QCOMPARE(lineCount(run, "lbGumpNonAnim"), 0x7000 - 1);
  nonAnimFilter->setCurrentIndex(2);
  emit nonAnimFilter->activated(2);
  QCOMPARE(lineCount(run, "lbGumpNonAnim"), 3);
  QCOMPARE(run.find<QListView>("lbGumpNonAnim")->model()->index(2, 0).data().toString(),
           QStringLiteral("0xC349"));
  run.click("cbWin98");
  nonAnimFilter->setCurrentIndex(0);
  emit nonAnimFilter->activated(0);
  QCOMPARE(lineCount(run, "lbGumpNonAnim"), 0xC34A);
  QVERIFY(run.dialogs.messages().isEmpty());
}

void GumpTexturePagesTest::gumpExportChangeImportDeleteSaveAndRestart() {
  test::TempDir files;
  const std::string idx = files.file("gumpidx.mul"), mul = files.file("gumpart.mul");
  writeEmptyPair(idx, mul, 0x100);
  const Bitmap32 original = pattern(40, 20, 7);
  {
    TGump gumps;
    gumps.load(idx, mul);
    gumps.writeGump(5, original);
    gumps.writeGump(7, pattern(3, 3, 9));
    gumps.save(idx, mul);
  }
  ProgramRun run(configWith({{"GumpIdx", idx}, {"GumpMul", mul}}));
  run.click("btnLoadGumps");

  // Browsing: the picture is centred in the 360 x 360 view.
  selectLabel(run, "lbGumpNonAnim", "0x5");
  QCOMPARE(viewPixel(run, "iGumpNonAnim", 160, 170), original.at(0, 0));
  QCOMPARE(viewPixel(run, "iGumpNonAnim", 199, 189), original.at(39, 19));
  QCOMPARE(viewPixel(run, "iGumpNonAnim", 159, 170), ui::PictureView::kBackground.rgba());

  // Export, change the bitmap outside, import it back.
  const QString bmp = run.path("gump5.bmp");
  run.dialogs.answerSave(bmp);
  trigger(run, "miGumpNonAnimSaveBitmap");
  QCOMPARE(run.dialogs.asked().last().proposed, QStringLiteral("0x5.bmp"));
  QCOMPARE(run.dialogs.asked().last().filter, QStringLiteral("*.bmp|*.bmp"));
  QCOMPARE(run.dialogs.asked().last().defaultExtension, QStringLiteral("bmp"));
  Bitmap32 edited = readBmpFile(bmp.toStdString());
  QCOMPARE(edited, original);
  for (int x = 0; x < edited.width; ++x) edited.at(x, 10) = makePixel(248, 0, 0);
  writeBmpFile(bmp.toStdString(), edited);
  run.dialogs.answerOpen(bmp);
  trigger(run, "miGumpNonAnimLoadBitmap");
  QCOMPARE(run.registry->gumps->gumpPicture(5), edited);
  QCOMPARE(viewPixel(run, "iGumpNonAnim", 170, 180), makePixel(248, 0, 0));

  // Delete another gump: no question asked, the line turns empty, the view is cleared.
  selectLabel(run, "lbGumpNonAnim", "0x7");
  trigger(run, "miGumpNonAnimDelete");
  QVERIFY(!run.registry->gumps->gumpExists(7));
  QVERIFY(onlyBackground(run, "iGumpNonAnim"));
  QVERIFY(!run.find<ui::GumpPage>("tsGumpNonAnim")->list()->lineState(7, false).full);

  // Save, start again on the saved files, see the changes.
  const std::string idx2 = files.file("saved-gumpidx.mul"), mul2 = files.file("saved-gumpart.mul");
  run.dialogs.answerSave(QString::fromStdString(idx2));
  run.dialogs.answerSave(QString::fromStdString(mul2));
  run.click("btnSaveGumps");
  QCOMPARE(run.dialogs.messages().size(), 0);

  ProgramRun again(configWith({{"GumpIdx", idx2}, {"GumpMul", mul2}}));
  again.click("btnLoadGumps");
  QCOMPARE(again.registry->gumps->gumpPicture(5), edited);
  QVERIFY(!again.registry->gumps->gumpExists(7));
  selectLabel(again, "lbGumpNonAnim", "0x5");
  QCOMPARE(viewPixel(again, "iGumpNonAnim", 170, 180), makePixel(248, 0, 0));

  // A bitmap that cannot be read is reported and leaves the slot as it was.
  test::writeText(run.dir.file("broken.bmp"), "BMnot really");
  selectLabel(run, "lbGumpNonAnim", "0x5");
  run.dialogs.answerOpen(run.path("broken.bmp"));
  trigger(run, "miGumpNonAnimLoadBitmap");
  QCOMPARE(run.dialogs.messages().size(), 1);
  QCOMPARE(run.registry->gumps->gumpPicture(5), edited);
}

void GumpTexturePagesTest::filterChangeClearsTheViews() {
  test::TempDir files;
  const std::string idx = files.file("gumpidx.mul"), mul = files.file("gumpart.mul");
  const std::string tidx = files.file("texidx.mul"), tmul = files.file("texmaps.mul");
  writeEmptyPair(idx, mul, 0xD000);
  writeEmptyPair(tidx, tmul, 0x10);
  {
    TGump gumps;
    gumps.load(idx, mul);
    gumps.writeGump(50001, pattern(3, 3, 4));
    gumps.save(idx, mul);
    TTextures textures;
    textures.load(tidx, tmul, StorageMode::Memory);
    textures.writeTexture(1, pattern(64, 64, 5));
    textures.save(tidx, tmul);
  }
  ProgramRun run(
      configWith({{"GumpIdx", idx}, {"GumpMul", mul}, {"TexIdx", tidx}, {"TexMul", tmul}}));
  run.click("btnLoadGumps");
  run.click("btnLoadTextures");
  for (const QString& stem : {QStringLiteral("GumpsAnim"), QStringLiteral("Textures")}) {
    run.showPage("ts" + stem);
    run.clickLine("lb" + stem, 1);
    QVERIFY(!onlyBackground(run, "i" + stem));
    // "Full Slots" keeps the line, yet a rebuilt list has no selection and shows nothing.
    auto* filter = run.find<QComboBox>("cb" + stem + "Filter");
    QTest::keyClick(filter, Qt::Key_Down);
    QTest::keyClick(filter, Qt::Key_Down);
    QCOMPARE(filter->currentIndex(), 2);
    QCOMPARE(lineCount(run, "lb" + stem), 1);
    QVERIFY(onlyBackground(run, "i" + stem));
  }
  QVERIFY(run.find<QLabel>("lGumpsAnimId")->text().isEmpty());
  QVERIFY(run.dialogs.messages().isEmpty());
}

void GumpTexturePagesTest::gumpPatchIsShownExportedAndDeletedFirst() {
  test::TempDir files;
  const std::string idx = files.file("gumpidx.mul"), mul = files.file("gumpart.mul");
  const std::string ver = files.file("verdata.mul");
  writeEmptyPair(idx, mul, 0x40);
  const Bitmap32 inFile = pattern(6, 6, 1), patch = pattern(8, 4, 2);
  {
    TGump gumps;
    gumps.load(idx, mul);
    gumps.writeGump(4, inFile);
    gumps.save(idx, mul);
    writeEmptyVerdata(ver);
    TVerdata verdata;
    verdata.load(ver);
    verdata.addGump(3, patch);  // empty in the file
    verdata.addGump(4, patch);  // hides the file's picture
    verdata.save(ver);
  }
  ProgramRun run(configWith({{"GumpIdx", idx}, {"GumpMul", mul}, {"Verdata", ver}}));
  run.click("btnLoadVerdata");
  run.click("btnLoadGumps");
  auto* page = run.find<ui::GumpPage>("tsGumpNonAnim");

  // A patched slot that is empty in its file is drawn green and counts as empty.
  const LineState state = page->list()->lineState(3, false);
  QVERIFY(state.patched && !state.full);
  QCOMPARE(lineStyle(state).text, kLineGreen);

  selectLabel(run, "lbGumpNonAnim", "0x3");
  QCOMPARE(viewPixel(run, "iGumpNonAnim", 176, 178), patch.at(0, 0));
  run.dialogs.answerSave(run.path("patch3.bmp"));
  trigger(run, "miGumpNonAnimSaveBitmap");
  QCOMPARE(readBmpFile(run.dir.file("patch3.bmp")), patch);

  // The first delete takes the patch and shows the file's slot; the second the file's slot.
  selectLabel(run, "lbGumpNonAnim", "0x4");
  QCOMPARE(viewPixel(run, "iGumpNonAnim", 176, 178), patch.at(0, 0));
  trigger(run, "miGumpNonAnimDelete");
  QVERIFY(!run.registry->verdata->isPatched(verdatafile::kGumps, 4));
  QVERIFY(run.registry->gumps->gumpExists(4));
  QCOMPARE(viewPixel(run, "iGumpNonAnim", 177, 177), inFile.at(0, 0));
  trigger(run, "miGumpNonAnimDelete");
  QVERIFY(!run.registry->gumps->gumpExists(4));
  QCOMPARE(*run.registry->gumps->record(4), (IndexRecord{-1, -1, -1}));

  // "Load from Bitmap to Verdata" patches the slot and the view shows the patch.
  const Bitmap32 next = pattern(10, 10, 5);
  writeBmpFile(run.dir.file("next.bmp"), next);
  run.dialogs.answerOpen(run.path("next.bmp"));
  trigger(run, "miGumpNonAnimLoadVerdata");
  QCOMPARE(run.registry->verdata->gumpPicture(4), next);
  QCOMPARE(viewPixel(run, "iGumpNonAnim", 175, 175), next.at(0, 0));
  QVERIFY(run.dialogs.messages().isEmpty());
}

void GumpTexturePagesTest::animationLabelAndCopyExistingAnimation() {
  ProgramRun run;
  run.mainForm->useSampleSet(run.path("sample"));
  run.dialogs.clear();
  const TAnimation& animation = *run.registry->animation;
  QVERIFY(animation.isLoaded());
  int source = -1, target = -1;
  for (int body = 0; body < 61183 - 50000 && (source < 0 || target < 0); ++body) {
    if (animation.bodyExists(body)) {
      if (source < 0 && animation.bodyType(body) == animation.bodyType(0)) source = body;
    } else if (target < 0 && animation.bodyType(body) == animation.bodyType(0)) {
      target = body;
    }
  }
  QVERIFY(source >= 0 && target >= 0);

  auto* label = run.find<QLabel>("lGumpsAnimId");
  selectLabel(run, "lbGumpsAnim", hex(50000 + source));
  QCOMPARE(label->text(), "Animation exists: " + hex(source));
  selectLabel(run, "lbGumpsAnim", hex(50000 + target));
  QCOMPARE(label->text(), "Animation " + hex(target) + " does not exists.");

  // A source that is not a number stops the copy with the conversion message.
  run.dialogs.answerInput(QStringLiteral("zz"));
  trigger(run, "miGumpsAnimCopyAnimation");
  QCOMPARE(run.dialogs.messageTexts(), QStringList{"'zz' is not a valid integer value"});
  QCOMPARE(run.dialogs.asked().last().title, QStringLiteral("Source ID"));
  QCOMPARE(run.dialogs.asked().last().prompt,
           QStringLiteral("Gib die ID der vorhandenen Animation an."));
  QCOMPARE(run.dialogs.asked().last().proposed, QStringLiteral("0x0"));

  run.dialogs.answerInput(hex(source));
  trigger(run, "miGumpsAnimCopyAnimation");
  QVERIFY(animation.bodyExists(target));
  QCOMPARE(label->text(), "Animation exists: " + hex(target));

  // Without a loaded animation model the label only names the body.
  ProgramRun fresh;
  fresh.click("btnLoadGumps");
  QCOMPARE(fresh.dialogs.messageTexts(),
           QStringList{"Nothing was loaded: enter the path of Gumpidx.mul and Gumpart.mul first."});
  selectLabel(fresh, "lbGumpsAnim", hex(50000 + 0x2A));
  QCOMPARE(fresh.find<QLabel>("lGumpsAnimId")->text(), QStringLiteral("Animation Id: 0x2A"));
  // ... and a copy does nothing while the "Anim.idx" field is empty.
  fresh.dialogs.answerInput(QStringLiteral("0x1"));
  trigger(fresh, "miGumpsAnimCopyAnimation");
  QCOMPARE(fresh.dialogs.messageTexts().size(), 1);
}

void GumpTexturePagesTest::emptyIdListsOfGumpsAndTextures() {
  test::TempDir files;
  const std::string gidx = files.file("gumpidx.mul"), gmul = files.file("gumpart.mul");
  const std::string tidx = files.file("texidx.mul"), tmul = files.file("texmaps.mul");
  writeEmptyPair(gidx, gmul, 6);
  writeEmptyPair(tidx, tmul, 4);
  {
    TGump gumps;
    gumps.load(gidx, gmul);
    for (int g : {0, 2, 3}) gumps.writeGump(g, pattern(2, 2, g));
    gumps.save(gidx, gmul);
    TTextures textures;
    textures.load(tidx, tmul, StorageMode::Memory);
    textures.writeTexture(1, pattern(64, 64, 1));
    textures.save(tidx, tmul);
  }
  ProgramRun run(
      configWith({{"GumpIdx", gidx}, {"GumpMul", gmul}, {"TexIdx", tidx}, {"TexMul", tmul}}));
  // Before a load the finders do nothing.
  run.click("btnGumpsAnimEmptyIds");
  run.click("btnTexturesEmptyIds");
  QVERIFY(run.dialogs.asked().isEmpty());

  run.click("btnLoadGumps");
  run.click("btnLoadTextures");
  // An older list at the target is replaced whole.
  test::writeText(run.dir.file("EmptyIDs.txt"), "0x99\r\n0x98\r\n0x97\r\n0x96\r\n0x95\r\n0x94\r\n");
  run.dialogs.answerSave(run.path("EmptyIDs.txt"));
  run.click("btnGumpsAnimEmptyIds");
  QCOMPARE(test::readText(run.dir.file("EmptyIDs.txt")), std::string("0x1\r\n0x4\r\n0x5\r\n"));
  const auto& asked = run.dialogs.asked().last();
  QCOMPARE(asked.proposed, QStringLiteral("EmptyIDs.txt"));
  QCOMPARE(asked.filter, QStringLiteral("*.txt|*.txt"));
  QCOMPARE(asked.defaultExtension, QStringLiteral("txt"));

  run.dialogs.answerSave(run.path("tex.txt"));
  run.click("btnTexturesEmptyIds");
  QCOMPARE(test::readText(run.dir.file("tex.txt")), std::string("0x0\r\n0x2\r\n0x3\r\n"));
}

void GumpTexturePagesTest::textureImportChecksSizesAndPatchesComeFirst() {
  test::TempDir files;
  const std::string idx = files.file("texidx.mul"), mul = files.file("texmaps.mul");
  const std::string ver = files.file("verdata.mul");
  writeEmptyPair(idx, mul, 0x1100);
  const Bitmap32 grass = pattern(64, 64, 3), patch = pattern(128, 128, 4);
  {
    TTextures textures;
    textures.load(idx, mul, StorageMode::Memory);
    textures.writeTexture(1, grass);
    textures.writeTexture(0x1050, grass);  // beyond the listed ids
    textures.save(idx, mul);
    writeEmptyVerdata(ver);
    TVerdata verdata;
    verdata.load(ver);
    verdata.addTexture(5, patch);
    verdata.save(ver);
  }
  ProgramRun run(configWith({{"TexIdx", idx}, {"TexMul", mul}, {"Verdata", ver}}));
  run.click("btnLoadVerdata");
  run.click("btnLoadTextures");
  QCOMPARE(lineCount(run, "lbTextures"), 0x1000);

  selectLabel(run, "lbTextures", "0x1");
  QCOMPARE(viewPixel(run, "iTextures", 148, 148), grass.at(0, 0));
  QCOMPARE(viewPixel(run, "iTextures", 211, 211), grass.at(63, 63));

  // An allowed but unusual size is written after the warning.
  writeBmpFile(run.dir.file("big.bmp"), pattern(256, 256, 5));
  run.dialogs.answerOpen(run.path("big.bmp"));
  selectLabel(run, "lbTextures", "0x3");
  trigger(run, "miTexturesLoadBitmap");
  QCOMPARE(run.dialogs.messageTexts(), QStringList{kTextureUnusualSizeWarning});
  QCOMPARE(run.dialogs.messages().last().icon, ui::MessageIcon::Warning);
  QCOMPARE(run.registry->textures->textureSide(3), 256);
  QCOMPARE(run.registry->textures->record(3)->extra, 1);

  // A size the format cannot hold is refused and the slot stays as it was.
  run.dialogs.clear();
  writeBmpFile(run.dir.file("wide.bmp"), pattern(64, 32, 6));
  run.dialogs.answerOpen(run.path("wide.bmp"));
  selectLabel(run, "lbTextures", "0x1");
  trigger(run, "miTexturesLoadBitmap");
  QCOMPARE(run.dialogs.messageTexts(), QStringList{kTextureSizeMessage});
  QCOMPARE(run.registry->textures->texturePicture(1), grass);

  // The patch of an empty slot: green, shown, exported, deleted before the file's slot.
  run.dialogs.clear();
  auto* page = run.find<ui::TexturePage>("tsTextures");
  QCOMPARE(lineStyle(page->list()->lineState(5, false)).text, kLineGreen);
  selectLabel(run, "lbTextures", "0x5");
  QCOMPARE(viewPixel(run, "iTextures", 116, 116), patch.at(0, 0));
  run.dialogs.answerSave(run.path("patch5.bmp"));
  trigger(run, "miTexturesSaveBitmap");
  QCOMPARE(readBmpFile(run.dir.file("patch5.bmp")), patch);
  trigger(run, "miTexturesDelete");
  QVERIFY(!run.registry->verdata->isPatched(verdatafile::kTextures, 5));
  QVERIFY(onlyBackground(run, "iTextures"));
  // Saving an empty slot writes nothing.
  run.dialogs.answerSave(run.path("nothing.bmp"));
  trigger(run, "miTexturesSaveBitmap");
  QVERIFY(!fileExists(run.dir.file("nothing.bmp")));

  // Verdata takes only 64 x 64 and 128 x 128.
  run.dialogs.answerOpen(run.path("big.bmp"));
  trigger(run, "miTexturesLoadVerdata");
  QCOMPARE(run.dialogs.messageTexts(), QStringList{"Bitmap muss 64x64 oder 128x128 sein."});
  QVERIFY(!run.registry->verdata->isPatched(verdatafile::kTextures, 5));

  selectLabel(run, "lbTextures", "0x1");
  trigger(run, "miTexturesDelete");
  QVERIFY(!run.registry->textures->textureExists(1));
}

void GumpTexturePagesTest::lightListViewAndExactRoundTrip() {
  test::TempDir files;
  const std::string idx = files.file("lightidx.mul"), mul = files.file("light.mul");
  writeEmptyPair(idx, mul, 12);
  Bitmap32 glow(30, 20);
  for (int y = 0; y < glow.height; ++y)
    for (int x = 0; x < glow.width; ++x) {
      const auto v = static_cast<std::uint8_t>((x * 7 + y * 5) % 32);
      glow.at(x, y) = v == 0 ? makePixel(0, 255, 0) : makePixel(v, v, v);
    }
  {
    TLight light;
    light.load(idx, mul);
    light.writeLight(10, glow);
    light.save(idx, mul);
  }
  ProgramRun run(configWith({{"LightIdx", idx}, {"LightMul", mul}}));
  run.click("btnLoadLight");
  QCOMPARE(lineCount(run, "lbLight"), 12);
  QCOMPARE(run.find<QListView>("lbLight")->model()->index(10, 0).data().toString(),
           QStringLiteral("10"));
  QVERIFY(!run.mainForm->findChild<QComboBox*>("cbLightFilter"));

  auto* view = run.find<ui::PictureView>("iLight");
  QCOMPARE(view->size(), QSize(630, 450));
  selectLabel(run, "lbLight", "10");
  QCOMPARE(viewPixel(run, "iLight", 0, 0), glow.at(0, 0));
  QCOMPARE(viewPixel(run, "iLight", 29, 19), glow.at(29, 19));

  run.dialogs.answerSave(run.path("10.bmp"));
  trigger(run, "miLightSaveBitmap");
  QCOMPARE(run.dialogs.asked().last().proposed, QStringLiteral("0xA.bmp"));
  selectLabel(run, "lbLight", "3");
  run.dialogs.answerOpen(run.path("10.bmp"));
  trigger(run, "miLightLoadBitmap");
  QCOMPARE(run.registry->light->slotBytes(3), run.registry->light->slotBytes(10));
  QCOMPARE(viewPixel(run, "iLight", 5, 5), glow.at(5, 5));

  // Light has no delete and no verdata entries.
  QStringList entries;
  for (QAction* a : run.find<ui::LightPage>("tsLight")->popupMenu()->actions())
    entries << a->text();
  QCOMPARE(entries, QStringList({"Save to Bitmap", "Load from Bitmap"}));
}

void GumpTexturePagesTest::aContainerGumpThatCannotBeReadIsListedAsUnreadable() {
  test::TempDir files;
  const std::string path = files.file("gumpartLegacyMUL.uop");
  {
    UopContainer made = UopContainer::create();
    for (const std::uint32_t g : {4u, 6u}) {
      const Bytes pixels = encodeGump(pattern(3, 2, static_cast<int>(g)));
      Bytes payload(8 + pixels.size());
      storeU32(payload.data(), 3);
      storeU32(payload.data() + 4, 2);
      std::copy(pixels.begin(), pixels.end(), payload.begin() + 8);
      made.setPayload(uopHash(uopEntryName(UopFamily::Gump, g)), payload);
    }
    UopEntry newer;  // compressed as newer clients compress some gumps
    newer.hash = uopHash(uopEntryName(UopFamily::Gump, 5));
    newer.compression = 3;
    newer.fullSize = 20;
    newer.stored = Bytes(9, 0x33);
    made.putEntry(newer);
    made.save(path);
  }
  ProgramRun run(configWith({{"GumpIdx", path}, {"GumpMul", path}}));
  run.showPage("tsGumpNonAnim");
  run.click("btnLoadGumps");
  // The family opens with every other gump, and says once which one it could not read.
  QCOMPARE(run.dialogs.messages().size(), 1);
  QVERIFY2(run.dialogs.messageTexts().first().contains("Gump 0x5 cannot be read"),
           qPrintable(run.dialogs.messageTexts().first()));
  QVERIFY(run.registry->gumps->gumpExists(4));
  QVERIFY(run.registry->gumps->gumpExists(6));
  auto* view = run.find<QListView>("lbGumpNonAnim");
  QCOMPARE(view->model()->index(5, 0).data().toString(), QStringLiteral("0x5 (unreadable)"));
  QCOMPARE(view->model()->index(4, 0).data().toString(), QStringLiteral("0x4"));

  // Clicked, it shows nothing and says why.
  run.dialogs.clear();
  run.clickLine("lbGumpNonAnim", 5);
  QCOMPARE(run.dialogs.messages().size(), 1);
  QVERIFY2(run.dialogs.messageTexts().first().contains("compression 3 is not supported"),
           qPrintable(run.dialogs.messageTexts().first()));
  QVERIFY(onlyBackground(run, "iGumpNonAnim"));
  run.clickLine("lbGumpNonAnim", 4);
  QCOMPARE(viewPixel(run, "iGumpNonAnim", 178, 179), pattern(3, 2, 4).at(0, 0));
}

void GumpTexturePagesTest::artAndSoundSlotsThatCannotBeReadAreListedAsUnreadable() {
  test::TempDir files;
  // Entries compressed as newer clients compress some: static 0x2 and sound 0x1.
  const auto unreadableEntry = [](UopFamily family, std::uint32_t slot) {
    UopEntry e;
    e.hash = uopHash(uopEntryName(family, slot));
    e.compression = 3;
    e.fullSize = 20;
    e.stored = Bytes(9, 0x33);
    return e;
  };
  const std::string art = files.file("artLegacyMUL.uop");
  const std::string sound = files.file("soundLegacyMUL.uop");
  UopContainer arts = UopContainer::create();
  arts.putEntry(unreadableEntry(UopFamily::Art, 0x4000 + 2));
  arts.save(art);
  UopContainer sounds = UopContainer::create();
  sounds.putEntry(unreadableEntry(UopFamily::Sound, 1));
  sounds.save(sound);
  ProgramRun run(configWith(
      {{"ArtIdx", art}, {"ArtMul", art}, {"SoundIdx", sound}, {"SoundMul", sound}}));
  run.showPage("tsSettings");
  run.click("btnLoadArt");
  run.click("btnLoadSound");
  QCOMPARE(run.dialogs.messages().size(), 2);
  run.showPage("tsArtS");
  auto* statics = run.find<QListView>("lbArtS");
  QCOMPARE(statics->model()->index(2, 0).data().toString(), QStringLiteral("0x2 (unreadable)"));
  QCOMPARE(statics->model()->index(1, 0).data().toString(), QStringLiteral("0x1"));
  run.showPage("tsSound");
  auto* soundList = run.find<QListView>("lbSound");
  QCOMPARE(soundList->model()->index(1, 0).data().toString(), QStringLiteral("0x1 (unreadable)"));
  QCOMPARE(soundList->model()->index(2, 0).data().toString(), QStringLiteral("0x2"));
}

QTEST_MAIN(GumpTexturePagesTest)
#include "GumpTexturePagesTest.moc"
