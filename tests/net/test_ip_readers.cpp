#include <gtest/gtest.h>

#include <future>

#include "links/router.h"
#include "support/comm_buffer.h"
#include "support/reader_harness.h"
#include "support/wine.h"

namespace trivane {
namespace {

using testing::LoopbackConnection;
using testing::LoopbackListener;

constexpr int kColumn0 = status_column::kFirstSource;

const Bytes kUnit = BuildVl3Frame(1, 3, Bytes{1, 2, 3});

class IPReadersTest : public testing::ReaderHarness {};

TEST_F(IPReadersTest, AConnectShowsConnectedAndPlansTheRenewalAboutTwoHoursAhead) {
  LoopbackListener source;
  Point(2, source.Port(), " \t127.0.0.1\r\n");
  readers.IPReader_Init();
  ASSERT_TRUE(Slot(2).Client);
  EXPECT_EQ(Slot(2).Client->Host(), "127.0.0.1");
  LoopbackConnection peer = Collect(2, source);
  ASSERT_TRUE(peer.Open());

  EXPECT_EQ(host.StatusesOf(kColumn0 + 2), std::vector{LineStatus::Connected});
  EXPECT_EQ(host.statuses.size(), 1u);
  const tIP1Reader& slot = Slot(2);
  EXPECT_EQ(slot.LastRead, host.now_tick);
  const std::int64_t plan = slot.ReconnectAt - host.now_tick;
  EXPECT_GE(plan, 7'195'000);
  EXPECT_LE(plan, 7'204'000);
  EXPECT_EQ(plan % 1000, 0);
}

TEST_F(IPReadersTest, AnEmptyHostOrPortZeroStopsTheSlotAndReleasesEverything) {
  LoopbackListener source;
  LoopbackConnection first = Connect(0, source);
  LoopbackConnection second = Connect(1, source);
  Deliver(0, first, Bytes{kUnit.begin(), kUnit.begin() + 4});
  ASSERT_EQ(Slot(0).Comm.Count, 4);

  Source(0).Host = " \t ";
  Source(1).Port = 0;
  readers.IPReader_Init();
  for (int i : {0, 1}) {
    EXPECT_FALSE(Slot(i).Client);
    EXPECT_FALSE(Slot(i).Cache);
    EXPECT_EQ(Slot(i).Comm.Count, 0);
    EXPECT_EQ(Slot(i).Comm.Deadline, 0);
    EXPECT_TRUE(Slot(i).Comm.Data.empty());
  }
  EXPECT_TRUE(first.WaitClosed());
  EXPECT_TRUE(second.WaitClosed());
  // Stopping is not a loss: no "Wait", no retry.
  for (int i : {0, 1}) EXPECT_EQ(host.StatusesOf(kColumn0 + i), std::vector{LineStatus::Connected});
}

TEST_F(IPReadersTest, ReapplyingUnchangedSettingsKeepsTheAttemptTheConnectionAndTheData) {
  LoopbackListener source;
  Point(0, source.Port());
  readers.IPReader_Init();
  const TConnectThread* attempt = Slot(0).Connector.get();
  // Again and again while connecting: the attempt owns the socket meanwhile.
  for (int i = 0; i < 50; ++i) readers.IPReader_Init();
  EXPECT_EQ(Slot(0).Connector.get(), attempt);
  LoopbackConnection peer = Collect(0, source);

  Deliver(0, peer, testing::Concat({kUnit, Bytes{kUnit.begin(), kUnit.begin() + 5}}));
  ASSERT_EQ(Slot(0).Comm.Count, 5);
  ASSERT_EQ(Slot(0).Cache->size(), 1u);
  const std::int64_t plan = Slot(0).ReconnectAt;

  readers.IPReader_Init();  // while connected
  EXPECT_FALSE(Slot(0).Connector);
  EXPECT_EQ(Slot(0).Comm.Count, 5);
  EXPECT_EQ(Slot(0).Cache->size(), 1u);
  EXPECT_EQ(Slot(0).ReconnectAt, plan);
  EXPECT_TRUE(peer.StaysQuiet());
  EXPECT_EQ(host.statuses.size(), 1u);
}

TEST_F(IPReadersTest, ANewPortDropsTheOldConnectionWithoutWaitAndConnectsAtOnce) {
  LoopbackListener old_source, new_source;
  LoopbackConnection old_peer = Connect(0, old_source);
  Deliver(0, old_peer, testing::Concat({kUnit, Bytes{0x4C}}));
  ASSERT_EQ(Slot(0).Comm.Count, 1);

  Point(0, new_source.Port());
  readers.IPReader_Init();
  EXPECT_TRUE(Slot(0).Connector);
  EXPECT_TRUE(old_peer.WaitClosed());
  EXPECT_EQ(Slot(0).Comm.Count, 0);
  ASSERT_TRUE(Slot(0).Cache);
  EXPECT_TRUE(Slot(0).Cache->empty());
  EXPECT_EQ(Slot(0).Comm.Data, Bytes(TReadComm::kCapacity, 0));

  LoopbackConnection new_peer = Collect(0, new_source);
  EXPECT_TRUE(new_peer.Open());
  EXPECT_EQ(host.StatusesOf(kColumn0), (std::vector{LineStatus::Connected, LineStatus::Connected}));
}

TEST_F(IPReadersTest, ARefusedConnectShowsErrorIsLoggedOnceAndRetriedFiveSecondsLater) {
  Point(1, testing::ClosedPort());
  readers.IPReader_Init();
  ASSERT_TRUE(testing::WaitConnectorDone(Slot(1).Connector));
  const std::int64_t collected = host.now_tick;
  readers.IPReader_ReadComm();

  EXPECT_EQ(host.StatusesOf(kColumn0 + 1), std::vector{LineStatus::Error});
  const auto errors = host.LinesTagged(">> ERROR <<");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].link, 1);
  EXPECT_EQ(errors[0].message, Slot(1).ErrText);
  EXPECT_EQ(errors[0].severity, Severity::kError);
  EXPECT_EQ(Slot(1).LastRead, 0);
  EXPECT_EQ(Slot(1).ReconnectAt, collected + 5000);
  EXPECT_EQ(host.metrics.columns[kColumn0 + 1].connects_failed.load(), 1u);

  TickAt(collected + 4999);
  EXPECT_FALSE(Slot(1).Connector);
  TickAt(collected + 5001);
  ASSERT_TRUE(testing::WaitConnectorDone(Slot(1).Connector));
  readers.IPReader_ReadComm();
  EXPECT_EQ(host.LinesTagged(">> ERROR <<").size(), 1u);
  EXPECT_EQ(host.StatusesOf(kColumn0 + 1), (std::vector{LineStatus::Error, LineStatus::Error}));
  EXPECT_EQ(Slot(1).ReconnectAt, collected + 5001 + 5000);
  EXPECT_EQ(host.metrics.columns[kColumn0 + 1].connects_failed.load(), 2u);
  EXPECT_EQ(host.metrics.columns[kColumn0 + 1].reconnects.load(), 0u);
}

TEST_F(IPReadersTest, ALostSourceShowsWaitAndIsRetriedOneSecondLater) {
  LoopbackListener source;
  LoopbackConnection peer = Connect(3, source);
  host.fresh_tick_lead = 7;  // the retry counts from a fresh reading of the clock
  peer.Close();
  ASSERT_TRUE(TickUntil([&] { return !Slot(3).Client->Connected(); }));
  EXPECT_EQ(host.StatusesOf(kColumn0 + 3), (std::vector{LineStatus::Connected, LineStatus::Wait}));
  const std::int64_t retry = host.now_tick + 7 + 1000;
  EXPECT_EQ(Slot(3).ReconnectAt, retry);

  TickAt(retry - 1);
  EXPECT_FALSE(Slot(3).Connector);
  TickAt(retry + 1);
  EXPECT_TRUE(Slot(3).Connector);
  EXPECT_TRUE(Collect(3, source).Open());
  EXPECT_EQ(host.StatusesOf(kColumn0 + 3).back(), LineStatus::Connected);
  EXPECT_EQ(host.metrics.columns[kColumn0 + 3].reconnects.load(), 1u);
  EXPECT_EQ(host.metrics.columns[kColumn0 + 3].connects_failed.load(), 0u);
}

TEST_F(IPReadersTest, AResetIsLoggedAsAReadFailureAndRetriedLikeALoss) {
  if (testing::RunningUnderWine()) GTEST_SKIP() << "Wine does not report a reset as a failed read";
  LoopbackListener source;
  LoopbackConnection peer = Connect(0, source);
  peer.Reset();
  ASSERT_TRUE(TickUntil([&] { return !Slot(0).Client->Connected(); }));
  const auto failures = host.LinesTagged("> Except <");
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].link, 0);
  EXPECT_EQ(host.StatusesOf(kColumn0).back(), LineStatus::Wait);
  EXPECT_EQ(Slot(0).ReconnectAt, host.now_tick + 1000);
}

TEST_F(IPReadersTest, FifteenSilentMinutesForceAQuietReconnectAndLaterLossesShowAgain) {
  LoopbackListener source;
  const std::int64_t connected = host.now_tick;
  LoopbackConnection peer = Connect(0, source);

  TickAt(connected + 899'999);
  EXPECT_TRUE(Slot(0).Client->Connected());
  TickAt(connected + 900'000);
  EXPECT_TRUE(peer.WaitClosed());
  EXPECT_FALSE(Slot(0).Client->Connected());
  EXPECT_EQ(Slot(0).ReconnectAt, host.now_tick + 100);

  TickAt(host.now_tick + 101);
  LoopbackConnection renewed = Collect(0, source);
  ASSERT_TRUE(renewed.Open());
  EXPECT_EQ(host.StatusesOf(kColumn0), std::vector{LineStatus::Connected});
  EXPECT_FALSE(Slot(0).SilentReconnect);
  EXPECT_GT(Slot(0).ReconnectAt, host.now_tick + 7'000'000);

  renewed.Close();
  ASSERT_TRUE(TickUntil([&] { return !Slot(0).Client->Connected(); }));
  EXPECT_EQ(host.StatusesOf(kColumn0), (std::vector{LineStatus::Connected, LineStatus::Wait}));
  EXPECT_EQ(Slot(0).ReconnectAt, host.now_tick + 1000);
}

TEST_F(IPReadersTest, ThePlannedRenewalWaitsUntilTheSourceHasBeenQuietForAMinute) {
  LoopbackListener source;
  LoopbackConnection peer = Connect(0, source);
  const std::int64_t planned = Slot(0).ReconnectAt;

  // Something at least every 15 minutes, the last 30 s before the plan.
  for (std::int64_t at = host.now_tick + 800'000; at < planned - 30'000; at += 800'000) {
    host.now_tick = at;
    Deliver(0, peer, kUnit);
  }
  host.now_tick = planned - 30'000;
  Deliver(0, peer, kUnit);
  ASSERT_EQ(Slot(0).LastRead, planned - 30'000);

  TickAt(planned);
  TickAt(planned + 29'999);
  EXPECT_TRUE(Slot(0).Client->Connected());
  EXPECT_TRUE(peer.StaysQuiet(std::chrono::milliseconds(20)));

  TickAt(planned + 30'000);
  EXPECT_TRUE(peer.WaitClosed());
  EXPECT_EQ(Slot(0).ReconnectAt, host.now_tick + 100);
  EXPECT_EQ(host.StatusesOf(kColumn0), std::vector{LineStatus::Connected});
}

TEST_F(IPReadersTest, StoppingAReaderWhileItsAttemptRunsLeavesNothingBehind) {
  LoopbackListener source;
  const std::uint16_t refused = testing::ClosedPort();
  for (int round = 0; round < 20; ++round) {
    Point(0, round % 2 == 0 ? source.Port() : refused);
    Point(1, source.Port());
    readers.IPReader_Init();
    if (round % 3 == 0) {
      readers.IPReader_Bye();
    } else {
      Source(0).Host.clear();
      Source(1).Port = 0;
      readers.IPReader_Init();
    }
    for (int i : {0, 1}) {
      EXPECT_FALSE(Slot(i).Connector);
      EXPECT_FALSE(Slot(i).Client);
    }
    while (source.Accept(std::chrono::milliseconds(0)).Open()) {
    }
  }
  readers.IPReader_ReadComm();
  EXPECT_TRUE(host.statuses.empty());
}

TEST_F(IPReadersTest, TheCloseWaitsForARunningAttemptAndPlansNoFurtherOne) {
  LoopbackListener source;
  LoopbackConnection peer = Connect(2, source);
  EXPECT_GT(Slot(2).ReconnectAt, 0);
  std::promise<void> release;
  auto gate = release.get_future().share();
  Slot(1).Connector = std::make_unique<TConnectThread>(1, [gate](const std::stop_token&) {
    gate.wait();
    return std::string();
  });
  Slot(1).Connector->Start();

  for (int round = 0; round < 3; ++round) EXPECT_FALSE(readers.AttemptsDone());
  EXPECT_TRUE(Slot(1).Connector);
  EXPECT_EQ(Slot(2).ReconnectAt, 0);

  release.set_value();
  ASSERT_TRUE(testing::WaitConnectorDone(Slot(1).Connector));
  EXPECT_TRUE(readers.AttemptsDone());
  EXPECT_FALSE(Slot(1).Connector);
}

// What the driver sleeps on is exactly what the reader's rules act on: its
// socket while connected, each timed rule at the tick it fires, and the end
// of a connect attempt by a wake-up rather than a look every tick.
TEST_F(IPReadersTest, TheWakePlanHoldsTheSocketAndEachTimedRuleAtTheTickItFires) {
  LoopbackListener source;
  Point(0, source.Port());
  readers.IPReader_Init();
  ASSERT_TRUE(testing::WaitConnectorDone(Slot(0).Connector));
  EXPECT_TRUE(testing::WaitFor([&] { return host.wakes.load() == 1; }));
  LoopbackConnection peer = Collect(0, source);

  WakePlan plan;
  readers.PlanWake(plan);
  ASSERT_EQ(plan.Sockets().size(), 1u);
  EXPECT_TRUE(plan.Sockets()[0].read);
  EXPECT_FALSE(plan.Sockets()[0].write);
  // Fifteen silent minutes come before the renewal two hours ahead.
  EXPECT_EQ(plan.Due(), Slot(0).LastRead + IPReaders::kSilenceLimitMs);

  // A byte no parser takes: the discard is due the tick after its second.
  Deliver(0, peer, Bytes{0xEE});
  const std::int64_t arrival = host.now_tick;
  WakePlan held;
  readers.PlanWake(held);
  EXPECT_EQ(held.Due(), arrival + IPReaders::kDiscardAfterMs + 1);
  TickAt(arrival + IPReaders::kDiscardAfterMs);
  EXPECT_EQ(Slot(0).Comm.Count, 1);
  TickAt(arrival + IPReaders::kDiscardAfterMs + 1);
  EXPECT_EQ(Slot(0).Comm.Count, 0);

  // Lost: no socket to watch, and the retry is due when the rule fires.
  peer.Close();
  ASSERT_TRUE(TickUntil([&] { return !Slot(0).Client->Connected(); }));
  WakePlan lost;
  readers.PlanWake(lost);
  EXPECT_TRUE(lost.Sockets().empty());
  EXPECT_EQ(lost.Due(), Slot(0).ReconnectAt + 1);
}

}  // namespace
}  // namespace trivane
