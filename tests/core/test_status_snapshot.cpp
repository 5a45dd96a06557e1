#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "core/status_board.h"
#include "core/status_snapshot.h"

namespace trivane {
namespace {

using namespace std::chrono_literals;

TEST(StatusSnapshot, TheJsonHoldsTheShownColumnsAndTheLogNewestFirstAsValidText) {
  StatusGrid grid;
  for (int column = 1; column < StatusGrid::kColumns; ++column) grid.MarkVisible(column, false);
  grid.SetCell(status_column::kFirstSource, 0, "Src IP 1");
  grid.SetCell(status_column::kFirstSource, 1, "[::1]:9100");
  grid.SetLineStatus(status_column::kFirstSource, LineStatus::Error);
  grid.MarkVisible(status_column::kFirstSource, true);
  grid.SetCell(status_column::kServer, 0, "IPServer");
  grid.SetCell(status_column::kServer, 1, "Port 9999");
  grid.MarkVisible(status_column::kServer, true);
  grid.SetLineStatus(status_column::kServer, LineStatus::Connected);
  grid.MarkData(status_column::kServer, 45000.5);  // the time of the data, no colour
  grid.SetCell(status_column::kOnline, 0, "hidden columns are left out");

  EventLog log;
  log.Add(45000.5, -1, "Program started", "");
  // Quotes, a control character, markup and a byte that is not UTF-8.
  log.Add(45000.5, 0, "Title \"<b>\"\x01\\ \xff end", "VL3", Severity::kError);

  const StatusSnapshot snapshot = SnapshotOf(
      grid, log,
      [](int column) {
        return column == status_column::kFirstSource ? std::optional<std::string>("refused")
                                                     : std::nullopt;
      },
      "Veltora Trivane (ver.1.0.0.1)");
  const std::string time = log.Entry(0)->TimeText();
  const std::string expected =
      R"j({"revision":0,"caption":"Veltora Trivane (ver.1.0.0.1)","columns":[)j"
      R"j({"column":2,"title":"Src IP 1","address":"[::1]:9100","state":"Error",)j"
      R"j("color":"#FF0000","hint":"refused"},)j"
      R"j({"column":7,"title":"IPServer","address":"Port 9999","state":")j" +
      std::string(grid.Cell(status_column::kServer, 2)) +
      R"j(","color":null,"hint":""}],"log":[)j"
      R"j({"time":")j" +
      time +
      R"j(","source":"1","text":"Title \"<b>\"\u0001\\ \ufffd end","tag":"VL3","error":true},)j"
      R"j({"time":")j" +
      time + R"j(","source":"","text":"Program started","tag":"","error":false}]})j";
  EXPECT_EQ(StatusJson(snapshot), expected);
}

TEST(StatusBoard, ALookAfterAQuietSpellWakesTheTickAndGetsItsFreshSnapshot) {
  std::atomic<int> wakes{0};
  StatusBoard* board_seen = nullptr;
  std::jthread tick;
  StatusBoard board([&] {
    ++wakes;
    // The tick answers a wake-up with a snapshot, as the publisher does.
    tick = std::jthread([&] {
      StatusSnapshot fresh;
      fresh.caption = "fresh";
      board_seen->Publish(fresh);
    });
  });
  board_seen = &board;
  const auto start = StatusBoard::Clock::now();
  EXPECT_FALSE(board.Watched(start)) << "nobody looked: the tick takes no snapshots";

  const StatusBoard::View first = board.Look(start, 5s);
  ASSERT_TRUE(first.json);
  EXPECT_EQ(wakes.load(), 1);
  EXPECT_EQ(first.revision, 1u);
  EXPECT_NE(first.json->find("\"caption\":\"fresh\""), std::string::npos) << *first.json;
  EXPECT_TRUE(board.Watched(start + StatusBoard::kWatchedFor - 1ms));

  // While watched, a look neither wakes nor waits, and the JSON is made once.
  const StatusBoard::View again = board.Look(start + 1s, 5s);
  EXPECT_EQ(again.json, first.json);
  EXPECT_EQ(wakes.load(), 1);
  EXPECT_FALSE(board.Watched(start + 1s + StatusBoard::kWatchedFor));
  tick.join();  // before the board goes
}

}  // namespace
}  // namespace trivane
