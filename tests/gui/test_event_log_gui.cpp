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

}  // namespace
}  // namespace trivane
