// The slot list widget: filters, drawing, search and the pop-up rule.

#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "ui/main/SlotListView.h"
#include "ui/platform/ScriptedDialogs.h"

using quillotide::SlotFilter;
using quillotide::SlotSearch;
using quillotide::ui::ScriptedDialogs;
using quillotide::ui::SlotListView;

namespace {

// Every even slot is full; slots divisible by 5 are patched.
void configure(SlotListView& view, std::int32_t last) {
  view.setRange([last](SlotFilter) { return SlotListView::Range{0, last}; });
  view.setFullQuery([](std::int32_t s) { return s % 2 == 0; });
  view.setPatchQuery([](std::int32_t s) { return s % 5 == 0; });
}

bool rowHas(const QImage& image, const QRect& row, const std::function<bool(QColor)>& wanted) {
  for (int y = row.top(); y <= row.bottom(); ++y)
    for (int x = row.left(); x <= row.right(); ++x)
      if (wanted(image.pixelColor(x, y))) return true;
  return false;
}

}  // namespace

class SlotListViewTest : public QObject {
  Q_OBJECT
private slots:
  void filtersAfterLoadAndOnChoice();
  void largeListHoldsNoWidgetPerLine();
  void searchSelectsRunsTheClickAndSaysNotFound();
  void searchContextIsPerList();
  void popupOnlyWithASelectedLine();
  void linesAreColouredByState();
};

void SlotListViewTest::filtersAfterLoadAndOnChoice() {
  SlotSearch search;
  ScriptedDialogs dialogs;
  SlotListView view(search, dialogs, {});
  bool win98 = true;
  // The non-animated gump list: a shorter range unless only full slots are listed.
  view.setRange([&](SlotFilter f) {
    return SlotListView::Range{0, win98 && f != SlotFilter::Full ? 0x6FFF : 0xC349};
  });
  view.setFullQuery([](std::int32_t s) { return s % 4 == 0; });
  QCOMPARE(view.filterBox()->count(), 0);
  QCOMPARE(view.lineCount(), 0);

  view.resetFilter();
  QCOMPARE(view.filterBox()->count(), 3);
  QCOMPARE(view.filterBox()->itemText(0), QStringLiteral("All Slots"));
  QCOMPARE(view.filterBox()->itemText(1), QStringLiteral("Empty Slots"));
  QCOMPARE(view.filterBox()->itemText(2), QStringLiteral("Full Slots"));
  QCOMPARE(view.lineCount(), 0x7000);
  QCOMPARE(view.model()->label(0x6FFF), std::string("0x6FFF"));

  view.filterBox()->setCurrentIndex(2);
  emit view.filterBox()->activated(2);
  QCOMPARE(view.lineCount(), 0xC34C / 4);
  QCOMPARE(view.slotAt(view.lineCount() - 1), 0xC348);

  view.selectLine(3);
  QCOMPARE(view.selectedSlot(), std::optional<std::int32_t>(12));
  view.filterBox()->setCurrentIndex(1);
  emit view.filterBox()->activated(1);
  QCOMPARE(view.selectedLine(), -1);
  QCOMPARE(view.slotAt(0), 1);
  view.resetFilter();
  QCOMPARE(view.filterBox()->currentIndex(), 0);
}

void SlotListViewTest::largeListHoldsNoWidgetPerLine() {
  SlotSearch search;
  ScriptedDialogs dialogs;
  SlotListView view(search, dialogs, {});
  configure(view, 49999);
  view.resize(200, 400);
  view.show();
  QVERIFY(QTest::qWaitForWindowExposed(&view));
  const int childrenBefore = static_cast<int>(view.findChildren<QObject*>().size());
  view.resetFilter();
  QCOMPARE(view.lineCount(), 50000);
  QVERIFY(view.listView()->uniformItemSizes());
  QCOMPARE(static_cast<int>(view.findChildren<QObject*>().size()), childrenBefore);
  view.listView()->scrollToBottom();
  QCoreApplication::processEvents();
  QVERIFY(view.listView()->indexAt(QPoint(5, 5)).row() > 49000);
}

void SlotListViewTest::searchSelectsRunsTheClickAndSaysNotFound() {
  SlotSearch search;
  ScriptedDialogs dialogs;
  SlotListView view(search, dialogs, {});
  configure(view, 0x3F);
  view.resetFilter();
  QSignalSpy activated(&view, &SlotListView::slotActivated);

  // An empty field does nothing at all.
  view.searchButton()->click();
  QCOMPARE(activated.count(), 0);
  QVERIFY(dialogs.messages().isEmpty());

  QTest::keyClicks(view.searchField(), "0x3a");
  QTest::keyClick(view.searchField(), Qt::Key_Return);
  QCOMPARE(view.selectedSlot(), std::optional<std::int32_t>(0x3A));
  QCOMPARE(activated.count(), 1);
  QCOMPARE(activated[0][0].toInt(), 0x3A);

  // The only match was found already: the wrap-around stops before it.
  view.searchButton()->click();
  QCOMPARE(dialogs.messageTexts(), QStringList({"Not found."}));
  QCOMPARE(view.selectedSlot(), std::optional<std::int32_t>(0x3A));

  // After the list shrank below the last hit, the search starts at its top.
  view.filterBox()->setCurrentIndex(2);
  emit view.filterBox()->activated(2);
  view.searchField()->setText(QStringLiteral("0x2"));
  view.searchButton()->click();
  QCOMPARE(view.selectedSlot(), std::optional<std::int32_t>(2));
}

void SlotListViewTest::searchContextIsPerList() {
  SlotSearch search;
  ScriptedDialogs dialogs;
  SlotListView first(search, dialogs, {});
  SlotListView second(search, dialogs, {});
  configure(first, 0x1F);
  configure(second, 0x1F);
  first.resetFilter();
  second.resetFilter();
  first.searchField()->setText("0x1");
  first.search();
  first.search();
  QCOMPARE(first.selectedSlot(), std::optional<std::int32_t>(0x10));
  second.searchField()->setText("0x1");
  second.search();
  QCOMPARE(second.selectedSlot(), std::optional<std::int32_t>(0x1));
}

void SlotListViewTest::popupOnlyWithASelectedLine() {
  SlotSearch search;
  ScriptedDialogs dialogs;
  SlotListView view(search, dialogs, {});
  configure(view, 9);
  view.resetFilter();
  QSignalSpy popup(&view, &SlotListView::popupRequested);
  emit view.listView()->customContextMenuRequested(QPoint(5, 5));
  QCOMPARE(popup.count(), 0);
  view.selectLine(4);
  emit view.listView()->customContextMenuRequested(QPoint(5, 5));
  QCOMPARE(popup.count(), 1);
  QCOMPARE(popup[0][1].toInt(), 4);
}

void SlotListViewTest::linesAreColouredByState() {
  SlotSearch search;
  ScriptedDialogs dialogs;
  SlotListView view(search, dialogs, {});
  configure(view, 20);
  view.resize(200, 500);
  view.show();
  QVERIFY(QTest::qWaitForWindowExposed(&view));
  view.resetFilter();
  view.selectLine(3);
  QCoreApplication::processEvents();
  const QImage image = view.listView()->viewport()->grab().toImage();
  const auto row = [&](int line) {
    return view.listView()->visualRect(view.model()->index(line)).intersected(image.rect());
  };
  const auto red = [](QColor c) { return c.red() > 180 && c.green() < 80 && c.blue() < 80; };
  const auto green = [](QColor c) { return c.green() > 90 && c.red() < 60 && c.blue() < 60; };
  const auto black = [](QColor c) { return c.red() < 60 && c.green() < 60 && c.blue() < 60; };
  const auto white = [](QColor c) { return c.red() > 200 && c.green() > 200 && c.blue() > 200; };

  QCOMPARE(image.pixelColor(row(1).left() + 2, row(1).center().y()), QColor(255, 255, 255));
  QVERIFY(rowHas(image, row(1), red));     // empty
  QVERIFY(!rowHas(image, row(1), black));
  QVERIFY(rowHas(image, row(2), black));   // full
  QVERIFY(!rowHas(image, row(2), red));
  QVERIFY(rowHas(image, row(5), green));   // patched wins over empty
  QVERIFY(!rowHas(image, row(5), red));
  QVERIFY(rowHas(image, row(10), green));  // and over full
  QCOMPARE(image.pixelColor(row(3).left() + 2, row(3).center().y()), QColor(0, 0, 128));
  QVERIFY(rowHas(image, row(3), white));   // selected
  QVERIFY(!rowHas(image, row(3), red));

  // The hue lists colour each line with its own hue.
  view.setTextColour([](std::int32_t) { return QColor(0, 0, 255); });
  view.listView()->viewport()->update();
  QCoreApplication::processEvents();
  const QImage hued = view.listView()->viewport()->grab().toImage();
  QVERIFY(rowHas(hued, row(1), [](QColor c) { return c.blue() > 180 && c.red() < 60 && c.green() < 60; }));
  QVERIFY(!rowHas(hued, row(1), red));
}

QTEST_MAIN(SlotListViewTest)
#include "SlotListViewTest.moc"
