#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/event_log.h"
#include "gui/event_log_model.h"
#include "gui/event_log_view.h"

namespace trivane {
namespace {

constexpr TDateTime kNoon = 45634.5;  // 8 December 2024, 12:00
constexpr TDateTime kOneSecond = 1.0 / 86400;

std::string Text(const QAbstractItemModel& model, int row, int column) {
  return model.data(model.index(row, column)).toString().toStdString();
}

TEST(GuiEventLogModel, NewestEntryIsRowZeroUnderTheLogsHeaders) {
  EventLog log;
  EventLogModel model(log);
  EXPECT_EQ(model.rowCount(), 0);  // the log's blank row is no entry
  EXPECT_EQ(model.columnCount(), 4);
  EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Events"));
  EXPECT_EQ(model.headerData(3, Qt::Horizontal).toString(), QStringLiteral("Data"));

  log.Add(kNoon, -1, "Program started", "");
  log.Add(kNoon + kOneSecond, 0, "Connected", "UECP");
  ASSERT_EQ(model.rowCount(), 2);
  EXPECT_EQ(Text(model, 0, 0), "12:00:01.0 08.12");
  EXPECT_EQ(Text(model, 0, 1), "1");
  EXPECT_EQ(Text(model, 0, 2), "Connected");
  EXPECT_EQ(Text(model, 0, 3), "UECP");
  EXPECT_EQ(Text(model, 1, 1), "");
  EXPECT_EQ(Text(model, 1, 2), "Program started");
  EXPECT_FALSE(model.data(model.index(2, 0)).isValid());
}

TEST(GuiEventLogModel, ErrorEntriesAloneAreInTheErrorColour) {
  EventLog log;
  EventLogModel model(log);
  log.Add(kNoon, 1, "Connection refused", ">> ERROR <<", Severity::kError);
  log.Add(kNoon, 1, "Connected", "");
  EXPECT_FALSE(model.data(model.index(0, 2), Qt::ForegroundRole).isValid());
  for (int column = 0; column < EventLog::kColumns; ++column) {
    EXPECT_EQ(model.data(model.index(1, column), Qt::ForegroundRole).value<QColor>(),
              QColor(0xB0, 0x00, 0x00));
  }
}

TEST(GuiEventLogModel, RowsGoInOnTopAndTheOldestComesOutAtTheCap) {
  EventLog log;
  EventLogModel model(log);
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  // Each signal with the row count the view sees at that moment.
  std::vector<std::string> signals_seen;
  QObject::connect(
      &model, &QAbstractItemModel::rowsInserted, [&](const QModelIndex&, int first, int last) {
        signals_seen.push_back("in " + std::to_string(first) + "-" + std::to_string(last) + " @" +
                               std::to_string(model.rowCount()));
      });
  QObject::connect(
      &model, &QAbstractItemModel::rowsAboutToBeRemoved,
      [&](const QModelIndex&, int first, int last) {
        signals_seen.push_back("out " + std::to_string(first) + "-" + std::to_string(last) + " @" +
                               std::to_string(model.rowCount()) + " " + Text(model, first, 2));
      });

  for (int i = 0; i < EventLog::kMaxEntries; ++i) log.Add(kNoon, 2, std::to_string(i), "VL3");
  ASSERT_EQ(signals_seen.size(), 254u);
  EXPECT_EQ(signals_seen.front(), "in 0-0 @1");
  EXPECT_EQ(signals_seen.back(), "in 0-0 @254");

  signals_seen.clear();
  log.Add(kNoon, 2, "254", "VL3");
  // The newest row goes in on top first; then the oldest, "0", leaves from
  // the bottom while the view still holds it.
  EXPECT_EQ(signals_seen, (std::vector<std::string>{"in 0-0 @255", "out 254-254 @255 0"}));
  EXPECT_EQ(model.rowCount(), 254);
  EXPECT_EQ(Text(model, 0, 2), "254");
  EXPECT_EQ(Text(model, 253, 2), "1");
}

TEST(GuiEventLogModel, StopsListeningWhenDestroyed) {
  EventLog log;
  auto model = std::make_unique<EventLogModel>(log);
  int inserted = 0;
  QObject::connect(model.get(), &QAbstractItemModel::rowsInserted, [&] { ++inserted; });
  log.Add(kNoon, -1, "first", "");
  model.reset();
  log.Add(kNoon, -1, "second", "");  // must not reach the destroyed model
  EXPECT_EQ(inserted, 1);
  EXPECT_EQ(log.EntryCount(), 2);
}

class GuiEventLogView : public testing::Test {
 protected:
  void Show(int width, int height) {
    view.resize(width, height);
    view.show();
    QApplication::processEvents();
  }
  // What the columns other than "Events" take, their grid lines included.
  int FixedColumns() const {
    return view.columnWidth(0) + 1 + view.columnWidth(1) + 1 + view.columnWidth(3) + 1;
  }

  EventLog log;
  EventLogView view{log};
};

TEST_F(GuiEventLogView, EventsTakesTheWidthTheOtherColumnsLeave) {
  EXPECT_EQ(view.columnWidth(0), 91);
  EXPECT_EQ(view.columnWidth(1), 27);
  EXPECT_EQ(view.columnWidth(3), 97);
  EXPECT_EQ(view.verticalHeader()->defaultSectionSize(), 19);
  EXPECT_FALSE(view.verticalHeader()->isVisible());

  Show(700, 300);
  // Every row fits, so the log counts from the full width less one.
  EXPECT_EQ(view.columnWidth(2), 700 - 1 - (92 + 28 + 98) - 1);
  EXPECT_EQ(view.columnWidth(2), log.Widths()[2]);

  view.resize(800, 300);
  QApplication::processEvents();
  EXPECT_EQ(view.columnWidth(2), 800 - 1 - (92 + 28 + 98) - 1);
  EXPECT_EQ(view.columnWidth(0), 91);
}

TEST_F(GuiEventLogView, AScrollBarThatComesWithNewRowsNarrowsEvents) {
  Show(700, 200);
  for (int i = 0; i < 30; ++i) log.Add(kNoon, -1, "line " + std::to_string(i), "");
  // The view lays its rows out, and shows the bar, on a later turn of the loop.
  QElapsedTimer waited;
  waited.start();
  while (!view.verticalScrollBar()->isVisible() && waited.elapsed() < 2000) {
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  QApplication::processEvents();
  ASSERT_TRUE(view.verticalScrollBar()->isVisible());
  EXPECT_EQ(view.columnWidth(2), view.viewport()->width() - FixedColumns() - 1);
  EXPECT_LE(view.viewport()->width(), 700 - view.verticalScrollBar()->width());
  EXPECT_EQ(view.rowHeight(0), 19);
}

TEST_F(GuiEventLogView, TheSourceWidthTheLogHoldsIsApplied) {
  Show(700, 300);
  const int events_before = view.columnWidth(2);
  // As the controller does when the source changes: the view refits at once
  // and Events takes what the narrow column leaves.
  log.SetWidth(EventLog::kSourceColumn, 1);
  EXPECT_EQ(view.columnWidth(1), 1);
  EXPECT_EQ(view.columnWidth(2), events_before + 26);

  log.SetWidth(EventLog::kSourceColumn, 27);
  EXPECT_EQ(view.columnWidth(1), 27);
  EXPECT_EQ(view.columnWidth(2), events_before);
}

class GuiEventLogCopy : public GuiEventLogView {
 protected:
  void SetUp() override {
    for (int i = 0; i < 5; ++i) {
      log.Add(kNoon + i * kOneSecond, i == 1 ? -1 : i, "event " + std::to_string(i), "UECP");
    }
    Show(700, 300);
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
  }
  void SelectRows(int top, int bottom) {
    view.selectionModel()->select(
        QItemSelection(view.model()->index(top, 0), view.model()->index(bottom, 3)),
        QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  void Press(int key, Qt::KeyboardModifiers modifiers) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(&view, &press);
  }
  static QString Clipboard() { return QGuiApplication::clipboard()->text(); }
};

// Rows 1 to 3 of the view hold entries 3, 2 and 1 (the newest is on top).
const QString kThreeRows = QStringLiteral(
    "12:00:03.0 08.12\t4\tevent 3\tUECP\r"
    "12:00:02.0 08.12\t3\tevent 2\tUECP\r"
    "12:00:01.0 08.12\t\tevent 1\tUECP");

TEST_F(GuiEventLogCopy, CtrlCPutsTheSelectedRowsWithCrBetweenRowsAndTabsBetweenCells) {
  SelectRows(1, 3);
  Press(Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(Clipboard(), kThreeRows);

  QGuiApplication::clipboard()->setText(QStringLiteral("before"));
  Press(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
  EXPECT_EQ(Clipboard(), kThreeRows);

  QGuiApplication::clipboard()->setText(QStringLiteral("before"));
  Press(Qt::Key_C, Qt::ShiftModifier);
  Press(Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(Clipboard(), QStringLiteral("before"));
}

TEST_F(GuiEventLogCopy, TheCopyActionTakesTheSelectionFromItsTopRowToItsBottomRow) {
  EXPECT_EQ(view.CopyAction()->shortcut(), QKeySequence(QKeySequence::Copy));
  SelectRows(3, 3);
  SelectRows(1, 1);  // a second range: rows in between come too
  view.CopyAction()->trigger();
  EXPECT_EQ(Clipboard(), kThreeRows);

  view.clearSelection();
  view.setCurrentIndex(QModelIndex());
  view.CopyAction()->trigger();
  EXPECT_EQ(Clipboard(), QString());  // emptied, as nothing is selected
}

// The log on screen as an operator drives it: the mouse picks rows, the
// scroll bar moves the view, and bursts of entries arrive meanwhile.
class GuiEventLogInSight : public GuiEventLogView {
 protected:
  void SetUp() override {
    Show(700, 300);
    Add(20);
  }
  void Add(int count) {
    for (int i = 0; i < count; ++i) log.Add(kNoon, -1, "entry " + std::to_string(added_++), "");
    QApplication::processEvents();
  }
  void Click(int row, Qt::KeyboardModifiers modifiers = {}) {
    const QRect cell = view.visualRect(view.model()->index(row, 2));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, modifiers, cell.center());
  }
  std::string TopEntry() const { return Text(*view.model(), view.rowAt(0), 2); }
  std::vector<std::string> Selected() const {
    std::vector<std::string> texts;
    for (const QModelIndex& row : view.selectionModel()->selectedRows(2)) {
      texts.push_back(row.data().toString().toStdString());
    }
    std::sort(texts.begin(), texts.end());
    return texts;
  }
  std::string Current() const { return view.currentIndex().data().toString().toStdString(); }
  const QScrollBar& Bar() const { return *view.verticalScrollBar(); }

 private:
  int added_ = 0;
};

TEST_F(GuiEventLogInSight, WithRowsSelectedABurstKeepsTheNewestOnTopAndTheSelectionOnItsEntries) {
  Click(2);  // entries 17 to 15
  Click(4, Qt::ShiftModifier);
  view.CopyAction()->trigger();
  ASSERT_EQ(Selected(), (std::vector<std::string>{"entry 15", "entry 16", "entry 17"}));

  Add(100);
  EXPECT_EQ(Bar().value(), Bar().minimum());
  EXPECT_EQ(TopEntry(), "entry 119");
  EXPECT_EQ(Selected(), (std::vector<std::string>{"entry 15", "entry 16", "entry 17"}));
  EXPECT_EQ(Current(), "entry 15");

  // Past the cap the selected entries fall off the end, and the current row
  // with them: nothing is left to follow down to the bottom.
  Add(300);
  EXPECT_EQ(log.EntryCount(), EventLog::kMaxEntries);
  EXPECT_EQ(Bar().value(), Bar().minimum());
  EXPECT_EQ(TopEntry(), "entry 419");
  EXPECT_TRUE(Selected().empty());
  EXPECT_FALSE(view.currentIndex().isValid()) << "on " << Current();
  QGuiApplication::clipboard()->setText(QStringLiteral("before"));
  view.CopyAction()->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "")
      << "no entry the operator chose";
}

TEST_F(GuiEventLogInSight, ScrolledAwayFromTheTopTheRowsInSightStayWhileNewOnesArriveAbove) {
  Add(80);  // entries 0 to 99
  view.verticalScrollBar()->setValue(Bar().maximum());
  const std::string top = TopEntry();
  ASSERT_NE(top, "entry 99");
  Click(view.rowAt(0) + 3);
  const std::string clicked = Current();

  Add(50);
  EXPECT_EQ(TopEntry(), top);
  EXPECT_EQ(Current(), clicked);
  EXPECT_EQ(view.rowAt(0) + 3, view.currentIndex().row()) << "the clicked row stays in place";

  // The rows looked at fall off the end: the view keeps to the oldest entries
  // still held rather than going back to the top.
  Add(300);
  EXPECT_EQ(Bar().value(), Bar().maximum());
  EXPECT_GT(Bar().value(), Bar().minimum());
  EXPECT_EQ(Text(*view.model(), EventLog::kMaxEntries - 1, 2), "entry 196");
  EXPECT_EQ(view.rowAt(view.viewport()->height() - 1), EventLog::kMaxEntries - 1);

  // Back at the top, the newest is in sight again and stays there.
  view.verticalScrollBar()->setValue(Bar().minimum());
  Add(5);
  EXPECT_EQ(TopEntry(), "entry 454");
}

}  // namespace
}  // namespace trivane
