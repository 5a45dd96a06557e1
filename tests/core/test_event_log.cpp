#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/event_log.h"

namespace trivane {
namespace {

constexpr TDateTime kNoon = 45634.5;  // 8 December 2024, 12:00
constexpr TDateTime kOneSecond = 1.0 / 86400;

TEST(EventLog, NewestEntryOnTopWithSourceNumberFromOne) {
  EventLog log;
  EXPECT_EQ(log.RowCount(), 2);
  EXPECT_EQ(log.Cell(2, 0), "Events");

  log.Add(kNoon, -1, "Program started", "");
  EXPECT_EQ(log.RowCount(), 2);
  log.Add(kNoon + kOneSecond, 0, "Connected", "UECP");
  EXPECT_EQ(log.RowCount(), 3);

  EXPECT_EQ(log.Cell(0, 1), "12:00:01.0 08.12");
  EXPECT_EQ(log.Cell(1, 1), "1");
  EXPECT_EQ(log.Cell(2, 1), "Connected");
  EXPECT_EQ(log.Cell(3, 1), "UECP");
  EXPECT_EQ(log.Cell(0, 2), "12:00:00.0 08.12");
  EXPECT_EQ(log.Cell(1, 2), "");
  EXPECT_EQ(log.Cell(2, 2), "Program started");
  EXPECT_EQ(log.Cell(2, 3), "");
}

// Records each change with what the model holds at that moment, so that a
// view told "before" still sees the old rows and told "after" the new ones.
class RecordingObserver : public EventLogObserver {
 public:
  explicit RecordingObserver(const EventLog& log) : log_(log) {}
  void BeforeEntryAdded() override { Note("before add"); }
  void EntryAdded(const LogEntry& entry) override { Note("added " + entry.message); }
  void BeforeOldestDropped(int index) override {
    Note("before drop " + std::to_string(index) + " " + log_.Entry(index)->message);
  }
  void OldestDropped() override { Note("dropped"); }

  std::vector<std::string> changes;

 private:
  void Note(const std::string& what) {
    changes.push_back(what + " @" + std::to_string(log_.EntryCount()));
  }
  const EventLog& log_;
};

TEST(EventLog, TheOldestFallsOffAfter254AndObserversHearEachChangeBeforeAndAfter) {
  EventLog log;
  RecordingObserver observer(log);
  log.AddObserver(&observer);
  for (int i = 0; i < 254; ++i) log.Add(kNoon, 3, std::to_string(i), "VL3");
  ASSERT_EQ(observer.changes.size(), 2u * 254);
  EXPECT_EQ(observer.changes[0], "before add @0");
  EXPECT_EQ(observer.changes[1], "added 0 @1");

  observer.changes.clear();
  log.Add(kNoon, 3, "254", "VL3");
  EXPECT_EQ(observer.changes, (std::vector<std::string>{"before add @254", "added 254 @255",
                                                        "before drop 254 0 @255", "dropped @254"}));
  for (int i = 255; i < 300; ++i) log.Add(kNoon, 3, std::to_string(i), "VL3");
  EXPECT_EQ(log.EntryCount(), 254);
  EXPECT_EQ(log.RowCount(), 255);
  EXPECT_EQ(log.Cell(2, 1), "299");
  EXPECT_EQ(log.Cell(2, 254), "46");
  EXPECT_EQ(log.Entry(0)->time, kNoon);
  EXPECT_EQ(log.Entry(254), nullptr);

  // An observer that leaves hears nothing more.
  log.RemoveObserver(&observer);
  const std::size_t heard = observer.changes.size();
  log.Add(kNoon, 3, "later", "VL3");
  EXPECT_EQ(observer.changes.size(), heard);
}

TEST(EventLog, CopyJoinsCellsWithTabsAndRowsWithBareCr) {
  EventLog log;
  log.Add(kNoon, -1, "a", "");
  log.Add(kNoon, 1, "b", "VL2");
  log.Add(kNoon, 0, "c", "DRCP");

  EXPECT_EQ(log.CopyText(1, 3),
            "12:00:00.0 08.12\t1\tc\tDRCP\r"
            "12:00:00.0 08.12\t2\tb\tVL2\r"
            "12:00:00.0 08.12\t\ta\t");
  EXPECT_EQ(log.CopyText(2, 2), "12:00:00.0 08.12\t2\tb\tVL2");
  EXPECT_EQ(log.CopyText(3, 1), "");
  EXPECT_EQ(log.CopyText(3, 1000), "12:00:00.0 08.12\t\ta\t");

  EXPECT_TRUE(EventLog::IsCopyShortcut(67, true));
  EXPECT_FALSE(EventLog::IsCopyShortcut(67, false));
  EXPECT_FALSE(EventLog::IsCopyShortcut(99, true));
}

TEST(EventLog, EventsColumnFollowsTheViewport) {
  EventLog log;
  log.Add(kNoon, -1, "no grid yet", "");
  EXPECT_EQ(log.Widths(), EventLog::kInitialWidths);

  // 91 + 27 + 97 plus a line each leave the rest to "Events".
  log.SetViewport(600, 500, 620);
  log.Add(kNoon, -1, "fits", "");
  EXPECT_EQ(log.Widths()[2], 619 - 218 - 1);

  // 25 rows of 20 px fill 500 px; the next row brings the scroll bar.
  while (log.RowCount() < 26) log.Add(kNoon, -1, "more", "");
  EXPECT_EQ(log.Widths()[2], 600 - 218 - 1);
}

}  // namespace
}  // namespace trivane
