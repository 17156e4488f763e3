// The choosers and overviews driven as a user drives them: cells of the art grids clicked and
// double-clicked, the grid scrolled to its end, the hue table pressed and its track bar moved,
// numbers typed with Enter, and the map overview pressed and given positions. What the windows
// draw is read back from their pixels; what they choose, from the signals they emit.

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include "UiTestSupport.h"
#include "models/Art.h"
#include "models/Hues.h"
#include "models/Tiledata.h"
#include "sample/Sample.h"
#include "ui/editor/ArtGrid.h"
#include "ui/editor/HFSE.h"
#include "ui/editor/HueForm.h"
#include "ui/editor/HueTable.h"
#include "ui/editor/MCFSE.h"
#include "ui/editor/MapForm.h"
#include "ui/editor/SCFSE.h"
#include "ui/editor/StaticDiffForm.h"
#include "ui/main/PictureView.h"

using namespace quillotide;
using quillotide::test::ProgramRun;
using quillotide::ui::ArtGrid;

namespace {

constexpr QRgb kWhite = 0xFFFFFFFFu;
constexpr QRgb kSelected = 0xFF0000FFu;
constexpr int kHues = 136;

// Exact in 16 bits and never black or white.
Pixel patternPixel(int x, int y) {
  return makePixel(static_cast<std::uint8_t>(8 + 8 * (x % 28)),
                   static_cast<std::uint8_t>(8 + 8 * (y % 30)), 64);
}
Bitmap32 pattern(int w, int h) {
  Bitmap32 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.at(x, y) = patternPixel(x, y);
  return b;
}

// Land tiles 0 .. 3 in the pattern; statics 0 (100 x 30), 2 (10 x 12) and 25 (10 x 12), the rest
// empty.
void loadArt(ProgramRun& run) {
  std::vector<IndexRecord> records(static_cast<std::size_t>(kLandTileCount));
  Bytes data;
  const auto add = [&data](const Bytes& bytes) {
    const IndexRecord r{static_cast<std::int32_t>(data.size()),
                        static_cast<std::int32_t>(bytes.size()), 0};
    data.insert(data.end(), bytes.begin(), bytes.end());
    return r;
  };
  for (std::size_t t = 0; t < 4; ++t) records[t] = add(encodeLandTile(pattern(44, 44)));
  for (int s = 0; s < 26; ++s) {
    if (s == 0)
      records.push_back(add(encodeStaticArt(pattern(100, 30))));
    else if (s == 2 || s == 25)
      records.push_back(add(encodeStaticArt(pattern(10, 12))));
    else
      records.push_back(IndexRecord{-1, -1, -1});
  }
  test::writeBytes(run.dir.file("artidx.mul"), test::indexBytes(records));
  test::writeBytes(run.dir.file("art.mul"), data);
  run.registry->art->load(run.dir.file("artidx.mul"), run.dir.file("art.mul"), StorageMode::Memory);
}

// Hue e: colour k has the 5-bit channels (k, e mod 32, 31 - k); its name is "Hue <e>".
void loadHues(ProgramRun& run) {
  THues hues;
  hues.loadBytes(Bytes(THues::kBlockSize * (kHues / THues::kEntriesPerBlock), 0));
  for (int e = 0; e < kHues; ++e) {
    std::array<Colour16, HueEntry::kColourCount> colours{};
    for (int k = 0; k < HueEntry::kColourCount; ++k)
      colours[static_cast<std::size_t>(k)] =
          static_cast<Colour16>((k << 10) | ((e & 31) << 5) | (31 - k));
    hues.setColours(e, colours);
    hues.setHueName(e, "Hue " + std::to_string(e));
  }
  hues.save(run.dir.file("hues.mul"));
  run.registry->hues->load(run.dir.file("hues.mul"));
}

QRgb hueRgb(int e, int k) {
  return colour16ToPixel(static_cast<Colour16>((k << 10) | ((e & 31) << 5) | (31 - k)));
}

void showWindow(QWidget& w) {
  w.show();
  if (!QTest::qWaitForWindowExposed(&w)) QTest::qFail("window not exposed", __FILE__, __LINE__);
}

// The part of the grid the user sees, and one pixel of a cell in it.
struct Seen {
  QImage image;
  QPoint origin;
};
Seen seen(ArtGrid* grid) {
  const QRect shown = grid->visibleRegion().boundingRect();
  return {grid->grab(shown).toImage(), shown.topLeft()};
}
QRgb cellPixel(const Seen& s, int id, int x, int y) {
  return s.image.pixel(ArtGrid::cellRect(id).topLeft() + QPoint(x, y) - s.origin);
}
bool inView(ArtGrid* grid, int id) {
  return grid->visibleRegion().boundingRect().contains(ArtGrid::cellRect(id));
}

void doubleClickCell(ArtGrid* grid, int id) {
  QTest::mouseDClick(grid, Qt::LeftButton, Qt::NoModifier, ArtGrid::cellRect(id).center());
}

void press(ui::PictureView* picture, QPoint pos) {
  QTest::mouseClick(picture, Qt::LeftButton, Qt::NoModifier, pos);
}

// Keys typed as a person types them: each goes to the window's focused field.
void typeKeys(QWidget& window, const QString& text) {
  for (const QChar c : text) QTest::keyClicks(window.focusWidget(), QString(c));
}

void typeAndEnter(QLineEdit* field, const QString& text) {
  field->selectAll();
  QTest::keyClick(field, Qt::Key_Delete);
  QTest::keyClicks(field, text);
  QTest::keyClick(field, Qt::Key_Return);
}

}  // namespace

class ChoosersTest : public QObject {
  Q_OBJECT
private slots:
  void staticChooserSelectsTheRequestedCellAndCentresTheArt();
  void cellsLeaveBlackAndWhiteStaticPixelsAsBackground();
  void landChooserDrawsTheTileDiamond();
  void doubleClickChoosesExistingSlotsOnly();
  void gridDecodesOnlyTheRowsOnScreen();
  void artChoosersFilterByIdRangeOrNameWithoutDecodingAgain();
  void artChoosersMoveWithKeysAndGoToATypedId();
  void hueChooserFiltersListsAndChoosesWithKeys();
  void hueTablePressChoosesTheHueUnderTheMouse();
  void hueTableTrackBarPicksTheRampColour();
  void typedHueNumbersAreCheckedAgainstTheTable();
  void mapOverviewCentresTheEditor();
  void staticDiffOverviewShowsTheDiffWhenShown();
};

void ChoosersTest::staticChooserSelectsTheRequestedCellAndCentresTheArt() {
  ProgramRun run;
  loadArt(run);
  ui::TSCFSE chooser(*run.registry, run.dialogs);
  QCOMPARE(chooser.windowTitle(), QStringLiteral("Statics"));
  QCOMPARE(chooser.requestedId(), 0);
  chooser.setRequestedId(25);
  showWindow(chooser);
  ArtGrid* grid = chooser.grid();
  QCOMPARE(grid->selectedId(), 25);
  // Row 2, column 1.
  QCOMPARE(ArtGrid::cellRect(25).topLeft(), QPoint(ArtGrid::kPitch, 2 * ArtGrid::kPitch));
  QVERIFY(inView(grid, 25));

  const Seen image = seen(grid);
  const Bitmap32 wide = run.registry->art->staticPicture(0);  // 100 x 30
  QCOMPARE(wide.width, 100);
  // The middle 44 columns, 7 background rows above and 7 below.
  for (int x : {0, 21, 43}) {
    for (int y = 0; y < 7; ++y) QCOMPARE(cellPixel(image, 0, x, y), kWhite);
    QCOMPARE(cellPixel(image, 0, x, 7), wide.at(x + 28, 0));
    QCOMPARE(cellPixel(image, 0, x, 36), wide.at(x + 28, 29));
    QCOMPARE(cellPixel(image, 0, x, 37), kWhite);
  }
  // A small picture on the selected cell's blue: (10 - 44) / 2 = -17 across, -16 down.
  const Bitmap32 small = run.registry->art->staticPicture(25);
  QCOMPARE(cellPixel(image, 25, 0, 0), kSelected);
  QCOMPARE(cellPixel(image, 25, 16, 16), kSelected);
  QCOMPARE(cellPixel(image, 25, 17, 16), small.at(0, 0));
  QCOMPARE(cellPixel(image, 25, 26, 27), small.at(9, 11));
  QCOMPARE(cellPixel(image, 25, 27, 27), kSelected);
  // Empty slots are background only.
  QCOMPARE(cellPixel(image, 1, 22, 22), kWhite);

  // A click moves the selection; showing again returns to the requested id.
  QTest::mouseClick(grid, Qt::LeftButton, Qt::NoModifier, ArtGrid::cellRect(2).center());
  QCOMPARE(grid->selectedId(), 2);
  QCOMPARE(cellPixel(seen(grid), 2, 0, 0), kSelected);
  QCOMPARE(cellPixel(seen(grid), 25, 0, 0), kWhite);
  chooser.hide();
  showWindow(chooser);
  QCOMPARE(grid->selectedId(), 25);
}

void ChoosersTest::cellsLeaveBlackAndWhiteStaticPixelsAsBackground() {
  Bitmap32 art = pattern(44, 44);
  art.at(3, 4) = makePixel(0, 0, 0);
  art.at(5, 6) = makePixel(255, 255, 255);
  const Bitmap32 cell = ArtGrid::drawCell(ArtGrid::Kind::Static, art, true);
  QCOMPARE(cell.at(3, 4), makePixel(0, 0, 255));
  QCOMPARE(cell.at(5, 6), makePixel(0, 0, 255));
  QCOMPARE(cell.at(7, 8), art.at(7, 8));
  // Inside a land tile's diamond black and white are drawn as they are.
  art.at(21, 21) = makePixel(0, 0, 0);
  art.at(22, 22) = makePixel(255, 255, 255);
  const Bitmap32 land = ArtGrid::drawCell(ArtGrid::Kind::Land, art, true);
  QCOMPARE(land.at(21, 21), makePixel(0, 0, 0));
  QCOMPARE(land.at(22, 22), makePixel(255, 255, 255));
  QCOMPARE(land.at(0, 0), makePixel(0, 0, 255));
  // An odd difference puts a narrow picture one pixel further left: (43 - 44) / 2 is 0.
  const Bitmap32 narrow = ArtGrid::drawCell(ArtGrid::Kind::Static, pattern(43, 44), false);
  QCOMPARE(narrow.at(0, 0), patternPixel(0, 0));
  QCOMPARE(narrow.at(43, 0), makePixel(255, 255, 255));
}

void ChoosersTest::landChooserDrawsTheTileDiamond() {
  ProgramRun run;
  loadArt(run);
  ui::TMCFSE chooser(*run.registry, run.dialogs);
  QCOMPARE(chooser.windowTitle(), QStringLiteral("Maptiles"));
  chooser.setRequestedId(3);
  showWindow(chooser);
  ArtGrid* grid = chooser.grid();
  const Seen image = seen(grid);
  const Bitmap32 tile = run.registry->art->landPicture(2);
  const auto art = [&](int x, int y) { return tile.at(x, y); };
  // Row 0: columns 21 and 22 only; rows 21 and 22 whole; row 23 from 1 to 42; row 43: 21, 22.
  QCOMPARE(cellPixel(image, 2, 20, 0), kWhite);
  QCOMPARE(cellPixel(image, 2, 21, 0), art(21, 0));
  QCOMPARE(cellPixel(image, 2, 22, 0), art(22, 0));
  QCOMPARE(cellPixel(image, 2, 23, 0), kWhite);
  QCOMPARE(cellPixel(image, 2, 0, 21), art(0, 21));
  QCOMPARE(cellPixel(image, 2, 43, 22), art(43, 22));
  QCOMPARE(cellPixel(image, 2, 0, 23), kWhite);
  QCOMPARE(cellPixel(image, 2, 1, 23), art(1, 23));
  QCOMPARE(cellPixel(image, 2, 42, 23), art(42, 23));
  QCOMPARE(cellPixel(image, 2, 43, 23), kWhite);
  QCOMPARE(cellPixel(image, 2, 21, 43), art(21, 43));
  QCOMPARE(cellPixel(image, 2, 20, 43), kWhite);
  // The selected tile's corners are blue.
  QCOMPARE(cellPixel(image, 3, 0, 0), kSelected);
  QCOMPARE(cellPixel(image, 3, 43, 43), kSelected);
  QCOMPARE(cellPixel(image, 3, 22, 22), art(22, 22));
}

void ChoosersTest::doubleClickChoosesExistingSlotsOnly() {
  ProgramRun run;
  loadArt(run);
  ui::TSCFSE statics(*run.registry, run.dialogs);
  QSignalSpy staticChosen(&statics, &ui::TSCFSE::idChosen);
  showWindow(statics);
  doubleClickCell(statics.grid(), 1);  // empty
  QCOMPARE(staticChosen.count(), 0);
  QVERIFY(statics.isVisible());
  doubleClickCell(statics.grid(), 2);
  QCOMPARE(staticChosen.count(), 1);
  QCOMPARE(staticChosen.at(0).at(0).toInt(), 2);
  QVERIFY(!statics.isVisible());
  // The requested id stays the opener's; only the selection moved.
  QCOMPARE(statics.requestedId(), 0);
  QCOMPARE(statics.grid()->selectedId(), 2);

  ui::TMCFSE land(*run.registry, run.dialogs);
  QSignalSpy landChosen(&land, &ui::TMCFSE::idChosen);
  showWindow(land);
  doubleClickCell(land.grid(), 4);  // beyond the full tiles
  QCOMPARE(landChosen.count(), 0);
  QVERIFY(land.isVisible());
  doubleClickCell(land.grid(), 3);
  QCOMPARE(landChosen.count(), 1);
  QCOMPARE(landChosen.at(0).at(0).toInt(), 3);
  QVERIFY(!land.isVisible());

  // A double-click on a grid line chooses nothing.
  showWindow(statics);
  const QRect cell = ArtGrid::cellRect(2);
  QTest::mouseDClick(statics.grid(), Qt::LeftButton, Qt::NoModifier,
                     QPoint(cell.right() + 1, cell.center().y()));
  QCOMPARE(staticChosen.count(), 1);
}

void ChoosersTest::gridDecodesOnlyTheRowsOnScreen() {
  ProgramRun run;
  loadArt(run);
  ui::TSCFSE chooser(*run.registry, run.dialogs);
  chooser.resize(600, 10 * ArtGrid::kPitch);
  showWindow(chooser);
  ArtGrid* grid = chooser.grid();
  const int rowsOnScreen = chooser.scrollArea()->viewport()->height() / ArtGrid::kPitch + 2;
  (void)seen(grid);
  QVERIFY(grid->decodedCells() > 0);
  QVERIFY(grid->decodedCells() <= rowsOnScreen * ArtGrid::kColumns);
  // Scrolled through to the end, a page at a time, as a person drags the bar.
  QScrollBar* bar = chooser.scrollArea()->verticalScrollBar();
  int pages = 0;
  while (bar->value() < bar->maximum() && pages < 2000) {
    QTest::keyClick(bar, Qt::Key_PageDown);
    (void)seen(grid);
    ++pages;
  }
  QCOMPARE(bar->value(), bar->maximum());
  QVERIFY(pages > 100);
  // Every cell of the grid was on screen once, and decoded once; scrolling back to the top
  // decodes none of them again.
  QVERIFY(grid->decodedCells() <= ArtGrid::kLastId + 1);
  const int decoded = grid->decodedCells();
  const Seen bottom = seen(grid);
  const int lastCell = ArtGrid::kColumns * ArtGrid::kRows - 1;
  QVERIFY(inView(grid, lastCell));
  QCOMPARE(cellPixel(bottom, lastCell, 22, 22), kWhite);  // beyond 0x3FFF: blank
  for (int i = 0; i < 5; ++i) QTest::keyClick(bar, Qt::Key_PageUp);
  (void)seen(grid);
  QCOMPARE(grid->decodedCells(), decoded);

  // Showing the chooser for the last id scrolls it into view.
  chooser.hide();
  chooser.setRequestedId(ArtGrid::kLastId);
  bar->setValue(0);
  showWindow(chooser);
  QVERIFY(inView(grid, ArtGrid::kLastId));
  QCOMPARE(cellPixel(seen(grid), ArtGrid::kLastId, 0, 0), kSelected);
}

namespace {

// Tile data with names: statics 2 "Stone Wall", 25 "wall corner", 0 "Slate Roof"; land 3 "grass".
void loadNames(ProgramRun& run) {
  TTiledata& tiledata = *run.registry->tiledata;
  tiledata.loadBytes(Bytes(428032 + 1188 * 4, 0));
  const auto named = [&](int id, const char* name) {
    StaticTileRecord r;
    r.name = makeTileName(name);
    tiledata.writeStatic(id, r);
  };
  named(2, "Stone Wall");
  named(25, "wall corner");
  named(0, "Slate Roof");
  LandTileRecord grass;
  grass.name = makeTileName("grass");
  tiledata.writeLand(3, grass);
}

QRgb shownPixel(const Seen& s, ArtGrid* grid, int id, int x, int y) {
  return s.image.pixel(grid->shownRect(id).topLeft() + QPoint(x, y) - s.origin);
}

}  // namespace

void ChoosersTest::artChoosersFilterByIdRangeOrNameWithoutDecodingAgain() {
  ProgramRun run;
  loadArt(run);
  loadNames(run);
  ui::TSCFSE chooser(*run.registry, run.dialogs);
  showWindow(chooser);
  ArtGrid* grid = chooser.grid();
  (void)seen(grid);
  const int decoded = grid->decodedCells();
  // A part of the name, typed as a person types: the two walls fill the first cells.
  QCOMPARE(chooser.focusWidget(), chooser.filterField());
  typeKeys(chooser, QStringLiteral("WALL"));
  QCOMPARE(grid->shownCount(), 2);
  QCOMPARE(grid->shownId(0), 2);
  QCOMPARE(grid->shownId(1), 25);
  QCOMPARE(grid->shownRect(25), ArtGrid::cellRect(1));
  QVERIFY(grid->shownRect(0).isNull());
  // The hidden selection moved to the first id shown; the art is drawn in its new cell.
  QCOMPARE(grid->selectedId(), 2);
  const Seen image = seen(grid);
  const Bitmap32 small = run.registry->art->staticPicture(25);
  QCOMPARE(shownPixel(image, grid, 25, 17, 16), small.at(0, 0));
  QCOMPARE(shownPixel(image, grid, 25, 0, 0), kWhite);
  QCOMPARE(shownPixel(image, grid, 2, 0, 0), kSelected);
  QCOMPARE(cellPixel(image, 2, 22, 22), kWhite);  // the third cell is empty
  // Both were decoded before: filtering decodes nothing.
  QCOMPARE(grid->decodedCells(), decoded);
  // A double-click on the packed cell chooses its id.
  QSignalSpy chosen(&chooser, &ui::TSCFSE::idChosen);
  QTest::mouseDClick(grid, Qt::LeftButton, Qt::NoModifier, ArtGrid::cellRect(1).center());
  QCOMPARE(chosen.count(), 1);
  QCOMPARE(chosen.at(0).at(0).toInt(), 25);

  // An id, and a range, by the integer rule; an empty filter shows every id again.
  showWindow(chooser);
  typeAndEnter(chooser.filterField(), QStringLiteral("0x19"));
  QCOMPARE(grid->shownCount(), 1);
  QCOMPARE(chosen.count(), 2);  // Enter in the filter chose the one id shown
  QCOMPARE(chosen.at(1).at(0).toInt(), 25);
  chooser.filterField()->setText(QStringLiteral("10-$13"));
  QCOMPARE(grid->shownCount(), 10);
  QCOMPARE(grid->shownId(9), 19);
  chooser.filterField()->clear();
  QCOMPARE(grid->shownCount(), ArtGrid::kLastId + 1);
  QCOMPARE(grid->height(), ArtGrid::kRows * ArtGrid::kPitch);

  // The land chooser filters by the land names.
  ui::TMCFSE land(*run.registry, run.dialogs);
  showWindow(land);
  typeKeys(land, QStringLiteral("gras"));
  QCOMPARE(land.grid()->shownCount(), 1);
  QCOMPARE(land.grid()->shownId(0), 3);
  QCOMPARE(land.grid()->selectedId(), 3);
}

void ChoosersTest::artChoosersMoveWithKeysAndGoToATypedId() {
  ProgramRun run;
  loadArt(run);
  ui::TSCFSE chooser(*run.registry, run.dialogs);
  chooser.resize(600, 10 * ArtGrid::kPitch);
  QSignalSpy chosen(&chooser, &ui::TSCFSE::idChosen);
  showWindow(chooser);
  ArtGrid* grid = chooser.grid();
  QTest::mouseClick(grid, Qt::LeftButton, Qt::NoModifier, ArtGrid::cellRect(2).center());
  QCOMPARE(grid->selectedId(), 2);
  QCOMPARE(chooser.focusWidget(), grid);
  QTest::keyClick(grid, Qt::Key_Right);
  QCOMPARE(grid->selectedId(), 3);
  QTest::keyClick(grid, Qt::Key_Down);
  QCOMPARE(grid->selectedId(), 15);
  QTest::keyClick(grid, Qt::Key_Left);
  QTest::keyClick(grid, Qt::Key_Up);
  QCOMPARE(grid->selectedId(), 2);
  // End goes to the last id and shows it; Page Up a screen of rows back, still in view.
  QTest::keyClick(grid, Qt::Key_End);
  QCOMPARE(grid->selectedId(), ArtGrid::kLastId);
  QVERIFY(inView(grid, ArtGrid::kLastId));
  QTest::keyClick(grid, Qt::Key_PageUp);
  QVERIFY(grid->selectedId() < ArtGrid::kLastId - ArtGrid::kColumns);
  QCOMPARE(grid->selectedId() % ArtGrid::kColumns, ArtGrid::kLastId % ArtGrid::kColumns);
  QVERIFY(inView(grid, grid->selectedId()));
  QTest::keyClick(grid, Qt::Key_Home);
  QCOMPARE(grid->selectedId(), 0);
  QVERIFY(inView(grid, 0));
  // Enter on an empty slot does nothing; on an existing one it chooses.
  QTest::keyClick(grid, Qt::Key_Right);
  QTest::keyClick(grid, Qt::Key_Return);
  QCOMPARE(chosen.count(), 0);
  QTest::keyClick(grid, Qt::Key_Right);
  QTest::keyClick(grid, Qt::Key_Return);
  QCOMPARE(chosen.count(), 1);
  QCOMPARE(chosen.at(0).at(0).toInt(), 2);
  QVERIFY(!chooser.isVisible());

  // "Go to": a typed id is selected and scrolled to, a hidden one shows every id again; one
  // outside the grid is refused with the range.
  showWindow(chooser);
  chooser.filterField()->setText(QStringLiteral("0-5"));
  typeAndEnter(chooser.goToField(), QStringLiteral("0x3000"));
  QCOMPARE(grid->selectedId(), 0x3000);
  QCOMPARE(chooser.filterField()->text(), QString());
  QVERIFY(inView(grid, 0x3000));
  QCOMPARE(chooser.focusWidget(), grid);
  typeAndEnter(chooser.goToField(), QStringLiteral("16384"));
  QCOMPARE(run.dialogs.messageTexts().last(),
           QStringLiteral("Static 0x4000 is outside 0x0 ... 0x3FFF."));
  QCOMPARE(grid->selectedId(), 0x3000);
  typeAndEnter(chooser.goToField(), QStringLiteral("roof"));
  QCOMPARE(run.dialogs.messageTexts().last(),
           QStringLiteral("'roof' is not a valid integer value"));
}

void ChoosersTest::hueChooserFiltersListsAndChoosesWithKeys() {
  ProgramRun run;
  loadHues(run);
  ui::THFSE chooser(*run.registry, run.dialogs);
  QSignalSpy chosen(&chooser, &ui::THFSE::hueChosen);
  showWindow(chooser);
  ui::HueTable* table = chooser.hueTable();
  QListWidget* list = table->hueList();
  QCOMPARE(list->count(), kHues);
  QCOMPARE(list->item(16)->text(), QStringLiteral("0x10  Hue 16"));
  const auto shownRows = [&] {
    QList<int> rows;
    for (int row = 0; row < list->count(); ++row)
      if (!list->isRowHidden(row)) rows << row;
    return rows;
  };
  // A range: the list and the table keep those hues only.
  table->filterField()->setFocus();
  typeKeys(chooser, QStringLiteral("0x10-0x12"));
  QCOMPARE(shownRows(), (QList<int>{16, 17, 18}));
  QCOMPARE(table->table()->pixelAt(0, 5 * 16), hueRgb(16, 28));
  QCOMPARE(table->table()->pixelAt(0, 5 * 15), ui::PictureView::kBackground.rgb());
  QCOMPARE(table->table()->pixelAt(0, 5 * 19), ui::PictureView::kBackground.rgb());
  // Down typed in the filter moves in the list; Enter chooses.
  QTest::keyClick(table->filterField(), Qt::Key_Down);
  QTest::keyClick(table->filterField(), Qt::Key_Return);
  QCOMPARE(chosen.count(), 1);
  QCOMPARE(chosen.last().at(0).toInt(), 17);
  QCOMPARE(table->nameLabel()->text(), QStringLiteral("Hue 17"));
  // A part of the name, whatever its case; End and Enter in the list choose the last.
  typeAndEnter(table->filterField(), QStringLiteral("HUE 13"));
  QCOMPARE(shownRows(), (QList<int>{13, 130, 131, 132, 133, 134, 135}));
  QCOMPARE(chosen.count(), 2);
  QCOMPARE(chosen.last().at(0).toInt(), 13);
  list->setFocus();
  QTest::keyClick(list, Qt::Key_End);
  QTest::keyClick(list, Qt::Key_Return);
  QCOMPARE(chosen.last().at(0).toInt(), 135);
  // A filter that keeps no hue: Enter chooses nothing.
  const auto before = chosen.count();
  typeAndEnter(table->filterField(), QStringLiteral("no such hue"));
  QVERIFY(shownRows().isEmpty());
  QCOMPARE(chosen.count(), before);
  // A hue chosen in the table is the current line of the list.
  table->filterField()->clear();
  press(table->table(), QPoint(1, 5 * 40 + 1));
  QCOMPARE(chosen.last().at(0).toInt(), 40);
  QCOMPARE(list->currentRow(), 40);
}

void ChoosersTest::hueTablePressChoosesTheHueUnderTheMouse() {
  ProgramRun run;
  loadHues(run);
  ui::THFSE chooser(*run.registry, run.dialogs);
  QCOMPARE(chooser.windowTitle(), QStringLiteral("Farbwahl"));
  QSignalSpy chosen(&chooser, &ui::THFSE::hueChosen);
  showWindow(chooser);
  ui::HueTable* table = chooser.hueTable();
  QCOMPARE(table->table()->size(), QSize(423, 320));
  QCOMPARE(table->strip()->size(), QSize(416, 17));

  press(table->table(), QPoint(20, 7));  // 2 * 64 + 1
  QCOMPARE(chosen.count(), 1);
  QCOMPARE(chosen.at(0).at(0).toInt(), 129);
  QCOMPARE(table->nameLabel()->text(), QStringLiteral("Hue 129"));
  QCOMPARE(table->numberField()->text(), QStringLiteral("0x81"));
  for (int i : {0, 15, 31}) {
    QCOMPARE(table->strip()->pixelAt(13 * i, 0), hueRgb(129, i));
    QCOMPARE(table->strip()->pixelAt(13 * i + 10, 14), hueRgb(129, i));
    QCOMPARE(table->strip()->pixelAt(13 * i + 11, 0), ui::PictureView::kBackground.rgb());
    QCOMPARE(table->strip()->pixelAt(13 * i, 15), ui::PictureView::kBackground.rgb());
  }

  // Beyond the table's 136 hues: refused, told, nothing changes.
  press(table->table(), QPoint(40, 100));  // 4 * 64 + 20
  QCOMPARE(chosen.count(), 1);
  QCOMPARE(run.dialogs.messageTexts().last(), QStringLiteral("Hue 0x114 is not in the hue table."));
  QCOMPARE(table->nameLabel()->text(), QStringLiteral("Hue 129"));
  QCOMPARE(table->numberField()->text(), QStringLiteral("0x81"));
  // The last column's hues past 2999 are outside any table of 3000 hues as well.
  press(table->table(), QPoint(420, 317));
  QCOMPARE(chosen.count(), 1);
  QCOMPARE(run.dialogs.messageTexts().last(), QStringLiteral("Hue 0xBBF is not in the hue table."));

  QTest::mouseClick(chooser.findChild<QWidget*>("btnOK"), Qt::LeftButton);
  QVERIFY(!chooser.isVisible());
}

void ChoosersTest::hueTableTrackBarPicksTheRampColour() {
  ProgramRun run;
  loadHues(run);
  ui::THueForm form(*run.registry, run.dialogs);
  showWindow(form);
  ui::HueTable* table = form.hueTable();
  QCOMPARE(table->track()->value(), 28);
  table->drawTable();
  ui::PictureView* picture = table->table();
  // Hue 0 at (0, 0) .. (6, 2); hue 1 below it; hue 64 in the next column; no hue 136 and on.
  QCOMPARE(picture->pixelAt(0, 0), hueRgb(0, 28));
  QCOMPARE(picture->pixelAt(6, 2), hueRgb(0, 28));
  QCOMPARE(picture->pixelAt(7, 0), ui::PictureView::kBackground.rgb());
  QCOMPARE(picture->pixelAt(0, 3), ui::PictureView::kBackground.rgb());
  QCOMPARE(picture->pixelAt(0, 5), hueRgb(1, 28));
  QCOMPARE(picture->pixelAt(9, 0), hueRgb(64, 28));
  QCOMPARE(picture->pixelAt(18, 5 * 7), hueRgb(135, 28));
  QCOMPARE(picture->pixelAt(18, 5 * 8), ui::PictureView::kBackground.rgb());

  table->track()->setFocus();
  QTest::keyClick(table->track(), Qt::Key_Home);
  QCOMPARE(table->track()->value(), 0);
  QCOMPARE(picture->pixelAt(0, 0), hueRgb(0, 0));
  QTest::keyClick(table->track(), Qt::Key_Right);
  QCOMPARE(picture->pixelAt(9, 5), hueRgb(65, 1));

  QTest::mouseClick(form.findChild<QWidget*>("btnAbbrechen"), Qt::LeftButton);
  QVERIFY(!form.isVisible());
}

void ChoosersTest::typedHueNumbersAreCheckedAgainstTheTable() {
  ProgramRun run;
  loadHues(run);
  ui::THFSE chooser(*run.registry, run.dialogs);
  QSignalSpy chosen(&chooser, &ui::THFSE::hueChosen);
  showWindow(chooser);
  QLineEdit* field = chooser.hueTable()->numberField();

  typeAndEnter(field, QStringLiteral("$10"));
  QCOMPARE(chosen.count(), 1);
  QCOMPARE(chosen.last().at(0).toInt(), 16);
  QCOMPARE(chooser.hueTable()->nameLabel()->text(), QStringLiteral("Hue 16"));
  typeAndEnter(field, QStringLiteral("0x21"));
  QCOMPARE(chosen.last().at(0).toInt(), 33);
  typeAndEnter(field, QStringLiteral("5"));
  QCOMPARE(chosen.last().at(0).toInt(), 5);

  // -1 is "no hue" here: the name and the strip go blank.
  typeAndEnter(field, QStringLiteral("-1"));
  QCOMPARE(chosen.count(), 4);
  QCOMPARE(chosen.last().at(0).toInt(), -1);
  QCOMPARE(chooser.hueTable()->nameLabel()->text(), QString());
  QCOMPARE(chooser.hueTable()->strip()->pixelAt(0, 0), ui::PictureView::kBackground.rgb());

  const auto refused = [&](const QString& text, const QString& message) {
    typeAndEnter(field, text);
    QCOMPARE(chosen.count(), 4);
    QCOMPARE(run.dialogs.messageTexts().last(), message);
  };
  refused(QStringLiteral("zz"), QStringLiteral("'zz' is not a valid integer value"));
  // Outside the table: refused with its range, -1 (no hue) included here.
  refused(QStringLiteral("136"), QStringLiteral("Hue 0x88 is outside -0x1 ... 0x87."));
  refused(QStringLiteral("-2"), QStringLiteral("Hue -0x2 is outside -0x1 ... 0x87."));

  // The hue page's overview has no "no hue".
  ui::THueForm form(*run.registry, run.dialogs);
  QSignalSpy formChosen(&form, &ui::THueForm::hueChosen);
  showWindow(form);
  typeAndEnter(form.hueTable()->numberField(), QStringLiteral("-1"));
  QCOMPARE(formChosen.count(), 0);
  QCOMPARE(run.dialogs.messageTexts().last(), QStringLiteral("Hue -0x1 is outside 0x0 ... 0x87."));

  // Without a loaded table every hue is refused.
  ProgramRun empty;
  ui::THFSE unloaded(*empty.registry, empty.dialogs);
  QSignalSpy none(&unloaded, &ui::THFSE::hueChosen);
  showWindow(unloaded);
  press(unloaded.hueTable()->table(), QPoint(1, 1));  // (0, 0) would mean the middle
  QCOMPARE(none.count(), 0);
  QCOMPARE(empty.dialogs.messageTexts().last(), QStringLiteral("Hue 0x0 is not in the hue table."));
}

void ChoosersTest::mapOverviewCentresTheEditor() {
  ProgramRun run;
  sample::writeRadarcol(run.dir.path());
  sample::writeWorld(run.dir.path());
  run.registry->radarcol->load(run.dir.file("radarcol.mul"));
  run.registry->wireWorldSources();
  QVERIFY(!run.registry->map->open(run.dir.file("map0.mul"), sample::kSampleWorldSize,
                                   sample::kSampleWorldSize));
  ui::TMapForm form(*run.registry, run.dialogs);
  QCOMPARE(form.windowTitle(), QStringLiteral("Map"));
  QSignalSpy centre(&form, &ui::TMapForm::viewCentreRequested);
  showWindow(form);
  // The whole world is scaled into the picture, every cell in its radar colour (the map's own
  // overview would be 16 x 16 pixels of it).
  auto* picture = form.picture();
  QCOMPARE(qRound(picture->worldRect().height()), picture->height());
  const QImage shown = picture->grab().toImage().convertToFormat(QImage::Format_RGB32);
  for (const CellPos cell : {CellPos{3, 5}, CellPos{200, 17}, CellPos{250, 250}}) {
    const auto land = run.registry->map->cell(cell.x, cell.y);
    QCOMPARE(shown.pixel(picture->pointOf(cell)),
             colour16ToPixel(run.registry->radarcol->landColour(land->tileId)) | 0xFF000000u);
  }

  QTest::mouseClick(picture, Qt::LeftButton, {}, picture->pointOf({160, 80}));
  QCOMPARE(centre.count(), 1);
  QCOMPARE(centre.last().at(0).toInt(), 160);
  QCOMPARE(centre.last().at(1).toInt(), 80);

  // A pasted position fills both fields; Enter in the field goes there.
  auto* x = form.findChild<QLineEdit*>("eX");
  auto* y = form.findChild<QLineEdit*>("eY");
  x->setFocus();
  typeKeys(form, QStringLiteral("1234,567"));
  QCOMPARE(x->text(), QStringLiteral("1234"));
  QCOMPARE(y->text(), QStringLiteral("567"));
  QTest::keyClick(y, Qt::Key_Return);
  QCOMPARE(centre.count(), 2);
  QCOMPARE(centre.last().at(0).toInt(), 1234);
  QCOMPARE(centre.last().at(1).toInt(), 567);

  // "Go", and Enter from the other field and from the button, in hexadecimal too.
  y->setFocus();
  y->selectAll();
  QTest::keyClicks(y, QStringLiteral("$20"));
  QTest::mouseClick(form.findChild<QWidget*>("btnGo"), Qt::LeftButton);
  QCOMPARE(centre.count(), 3);
  QCOMPARE(centre.last().at(1).toInt(), 32);
  QTest::keyClick(y, Qt::Key_Enter);
  QTest::keyClick(form.findChild<QWidget*>("btnGo"), Qt::Key_Return);
  QCOMPARE(centre.count(), 5);

  // A position that does not parse goes nowhere and is named.
  x->setFocus();
  x->selectAll();
  QTest::keyClicks(x, QStringLiteral("12a"));
  QTest::keyClick(x, Qt::Key_Return);
  QCOMPARE(centre.count(), 5);
  QCOMPARE(run.dialogs.messageTexts().last(), QStringLiteral("'12a' is not a valid integer value"));
  // A pasted position with more pieces keeps the first two.
  x->setFocus();
  x->selectAll();
  x->insert(QStringLiteral("7,8,9"));
  QCOMPARE(x->text(), QStringLiteral("7"));
  QCOMPARE(y->text(), QStringLiteral("8"));
}

void ChoosersTest::staticDiffOverviewShowsTheDiffWhenShown() {
  ProgramRun run;
  ui::TStaticDiffForm form(*run.registry);
  QCOMPARE(form.windowTitle(), QStringLiteral("StaticDiffs"));
  QSignalSpy centre(&form, &ui::TStaticDiffForm::viewCentreRequested);
  showWindow(form);
  QCOMPARE(form.picture()->size(), QSize(384, 256));
  QCOMPARE(form.picture()->pixelAt(50, 100), kWhite);

  // One block at x 800, y 1600, with no statics in it.
  Bytes blocks(4), index(12, 0);
  storeU32(blocks.data(), 100 * 512 + 200);
  test::writeBytes(run.dir.file("Stadifl0.mul"), blocks);
  test::writeBytes(run.dir.file("Stadifi0.mul"), index);
  test::writeBytes(run.dir.file("Stadif0.mul"), {});
  run.registry->staticDiff->loadDiffs(run.dir.path() + "/");
  // Taken when shown, not while open.
  QCOMPARE(form.picture()->pixelAt(50, 100), kWhite);
  form.hide();
  showWindow(form);
  QCOMPARE(form.picture()->pixelAt(50, 100), 0xFF000000u);
  QCOMPARE(form.picture()->pixelAt(50, 101), kWhite);

  press(form.picture(), QPoint(50, 100));
  QCOMPARE(centre.count(), 1);
  QCOMPARE(centre.last().at(0).toInt(), 800);
  QCOMPARE(centre.last().at(1).toInt(), 1600);
}

QTEST_MAIN(ChoosersTest)
#include "ChoosersTest.moc"
