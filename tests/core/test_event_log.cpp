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

TEST(EventLog, OldestEntryFallsOffAfter254) {
  EventLog log;
  std::vector<std::string> heard;
  log.SetListener([&](const LogEntry& entry) { heard.push_back(entry.message); });
  for (int i = 0; i < 300; ++i) log.Add(kNoon, 3, std::to_string(i), "VL3");

  EXPECT_EQ(log.EntryCount(), 254);
  EXPECT_EQ(log.RowCount(), 255);
  EXPECT_EQ(log.Cell(2, 1), "299");
  EXPECT_EQ(log.Cell(2, 254), "46");
  ASSERT_EQ(heard.size(), 300u);
  EXPECT_EQ(heard.back(), "299");
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
