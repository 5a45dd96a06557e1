#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "links/bounded_queue.h"
#include "links/router.h"
#include "net/internal_server.h"
#include "net/turnaway_log.h"
#include "support/comm_buffer.h"
#include "support/fake_link_host.h"
#include "support/loopback_peer.h"

namespace trivane {
namespace {

using testing::LoopbackConnection;
using testing::WaitFor;

Bytes Entry(int k) {
  return BuildVl3Frame(1, 3,
                       Bytes{static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(k >> 8)});
}

Bytes Entries(int from, int to) {
  Bytes all;
  for (int k = from; k < to; ++k) all = testing::Concat({all, Entry(k)});
  return all;
}

class InternalServerTest : public ::testing::Test {
 protected:
  // Port 0: the system picks a free port, so tests never collide.
  InternalServerTest() { host.settings.ServerPort = 0; }

  std::uint16_t Port() { return server.Record().Server->BoundPort(); }
  void Enqueue(int from, int to) {
    for (int k = from; k < to; ++k) server.Queue()->push_back(TRawMsg{Entry(k)});
  }
  LoopbackConnection Join() {
    const std::size_t before = server.Record().Server->PeerCount();
    LoopbackConnection peer = LoopbackConnection::Connect(Port());
    EXPECT_TRUE(WaitFor([&] { return server.Record().Server->PeerCount() == before + 1; }));
    return peer;
  }

  testing::FakeLinkHost host;
  InternalServer server{host};
};

TEST_F(InternalServerTest, WithoutPeersEntriesStillLeaveOnePerTickAndShowTheirTime) {
  server.Server_Init();
  EXPECT_EQ(host.StatusesOf(status_column::kServer), std::vector{LineStatus::Connected});
  Enqueue(0, 3);
  for (std::size_t taken = 1; taken <= 3; ++taken) {
    server.TCPServer_OTick();
    EXPECT_EQ(server.Queue()->size(), 3 - taken);
    EXPECT_EQ(host.MarksOf(status_column::kServer), taken);
  }
  server.TCPServer_OTick();
  EXPECT_EQ(host.MarksOf(status_column::kServer), 3u);
}

TEST_F(InternalServerTest, EveryPeerGetsEveryEntryInOrderAndALatePeerOnlyLaterOnes) {
  server.Server_Init();
  LoopbackConnection first = Join();
  LoopbackConnection second = Join();
  // A peer that talks gets no answer and holds nobody up.
  ASSERT_TRUE(first.Send("hello?\r\n"));
  Enqueue(0, 3);
  for (int i = 0; i < 3; ++i) server.TCPServer_OTick();

  LoopbackConnection late = Join();
  Enqueue(3, 5);
  for (int i = 0; i < 2; ++i) server.TCPServer_OTick();
  EXPECT_TRUE(server.Queue()->empty());
  EXPECT_EQ(host.MarksOf(status_column::kServer), 5u);

  server.Server_Bye();
  EXPECT_EQ(server.Queue(), nullptr);
  EXPECT_EQ(first.ReadToEnd(), Entries(0, 5));
  EXPECT_EQ(second.ReadToEnd(), Entries(0, 5));
  EXPECT_EQ(late.ReadToEnd(), Entries(3, 5));
  EXPECT_TRUE(host.LinesTagged("IPServer").empty());
}

TEST_F(InternalServerTest, APortInUseIsLoggedOnceAndTheQueueDrainsWithoutSending) {
  testing::LoopbackListener occupant;
  host.settings.ServerPort = occupant.Port();
  server.Server_Init();
  ASSERT_EQ(host.LinesTagged("IPServer").size(), 1u);
  EXPECT_EQ(host.log.size(), 1u);
  EXPECT_EQ(host.log[0].link, -1);
  EXPECT_EQ(host.StatusesOf(status_column::kServer), std::vector{LineStatus::Error});

  ASSERT_NE(server.Queue(), nullptr);
  Enqueue(0, 2);
  server.TCPServer_OTick();
  EXPECT_EQ(server.Queue()->size(), 1u);
  EXPECT_EQ(host.MarksOf(status_column::kServer), 0u);

  // Once the port is free, the next start takes it.
  occupant.Close();
  server.Server_Init();
  EXPECT_EQ(host.StatusesOf(status_column::kServer).back(), LineStatus::Connected);
  EXPECT_TRUE(server.Record().Server->Listening());
  EXPECT_EQ(host.LinesTagged("IPServer").size(), 1u);
}

TEST_F(InternalServerTest, ApplyingTheSamePortOnlyEmptiesTheQueueAnotherPortMovesTheServer) {
  server.Server_Init();
  const std::uint16_t port = Port();
  LoopbackConnection peer = Join();
  Enqueue(0, 2);

  server.Server_Init();
  EXPECT_TRUE(server.Queue()->empty());
  EXPECT_EQ(Port(), port);
  EXPECT_EQ(server.Record().Server->PeerCount(), 1u);
  Enqueue(7, 8);
  server.TCPServer_OTick();
  EXPECT_EQ(peer.ReadExactly(Entry(7).size()), Entry(7));

  const std::uint16_t other = testing::ClosedPort();
  host.settings.ServerPort = other;
  server.Server_Init();
  EXPECT_TRUE(peer.WaitClosed());
  EXPECT_EQ(Port(), other);
  LoopbackConnection moved = LoopbackConnection::Connect(other);
  EXPECT_TRUE(moved.Open());
}

TEST_F(InternalServerTest, AFullQueueDropsTheOldestWithOneLogLine) {
  server.Server_Init();
  LoopbackConnection peer = Join();
  Enqueue(0, static_cast<int>(kMaxQueuedFrames) + 3);

  server.TCPServer_OTick();
  const auto lines = host.LinesTagged("IPServer");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].message.find('3'), std::string::npos) << lines[0].message;
  EXPECT_EQ(server.Queue()->size(), kMaxQueuedFrames - 1);

  server.TCPServer_OTick();
  EXPECT_EQ(host.LinesTagged("IPServer").size(), 1u);
  EXPECT_EQ(peer.ReadExactly(2 * Entry(0).size()), Entries(3, 5));
}

// What the monitoring reads: peers come and go, entries go out or are lost at
// the bound, and a peer that stops reading is counted as dropped.
TEST_F(InternalServerTest, TheMetricsCountPeersEntriesAndLosses) {
  using std::chrono::milliseconds;
  InternalServer limited(
      host, TcpServer::Limits{.max_backlog = 64 * 1024, .stuck_limit = milliseconds(200)});
  limited.Server_Init();
  const std::uint16_t port = limited.Record().Server->BoundPort();
  LoopbackConnection reading = LoopbackConnection::Connect(port);
  LoopbackConnection stuck = LoopbackConnection::Connect(port, 4096);
  ASSERT_TRUE(WaitFor([&] { return limited.Record().Server->PeerCount() == 2; }));

  for (int k = 0; k < 3; ++k) limited.Queue()->push_back(TRawMsg{Entry(k)});
  limited.TCPServer_OTick();
  const RelayMetrics& metrics = host.metrics;
  const auto& server = metrics.destinations[1];
  EXPECT_EQ(metrics.chain.peers_connected.load(), 2u);
  EXPECT_EQ(metrics.chain.peers.load(), 2u);
  EXPECT_EQ(server.units_sent.load(), 1u);
  EXPECT_EQ(server.bytes_sent.load(), Entry(0).size());
  EXPECT_EQ(server.queue_depth.load(), 3u);  // as the tick found it
  EXPECT_EQ(reading.ReadExactly(Entry(0).size()), Entry(0));

  limited.Queue()->clear();
  for (int k = 0; k < static_cast<int>(kMaxQueuedFrames) + 2; ++k) {
    limited.Queue()->push_back(TRawMsg{Entry(k)});
  }
  limited.TCPServer_OTick();
  EXPECT_EQ(server.dropped_queue_full.load(), 2u);
  EXPECT_EQ(server.units_sent.load(), 2u);

  // Large entries fill the stuck peer's socket; it is dropped, the reader stays.
  std::jthread reader([&] {
    Bytes chunk;
    while (reading.ReadSome(chunk, milliseconds(3000))) chunk.clear();
  });
  limited.Queue()->clear();
  const Bytes big(32 * 1024, 0x55);
  EXPECT_TRUE(WaitFor(
      [&] {
        limited.Queue()->push_back(TRawMsg{big});
        limited.TCPServer_OTick();
        return metrics.chain.peers_dropped.load() == 1;
      },
      std::chrono::seconds(10)));
  EXPECT_EQ(metrics.chain.peers.load(), 1u);
  EXPECT_EQ(metrics.chain.peers_connected.load(), 2u);

  limited.Server_Bye();
  EXPECT_EQ(metrics.chain.peers.load(), 0u);
  EXPECT_EQ(server.dropped_no_peer.load(), 0u);
}

TEST_F(InternalServerTest, EntriesDrainedWithoutAListenerCountAsLost) {
  testing::LoopbackListener occupant;
  host.settings.ServerPort = occupant.Port();
  server.Server_Init();
  Enqueue(0, 2);
  server.TCPServer_OTick();
  server.TCPServer_OTick();
  EXPECT_EQ(host.metrics.destinations[1].dropped_no_peer.load(), 2u);
  EXPECT_EQ(host.metrics.destinations[1].units_sent.load(), 0u);
}

TEST_F(InternalServerTest, AnAddressThatCannotBeBoundAndTyposInTheAllowListAreErrors) {
  for (const char* bind : {"192.0.2.1", "no-such-host.invalid"}) {
    host.log.clear();
    host.settings.ServerBind = bind;
    server.Server_Init();
    ASSERT_EQ(host.LinesTagged("IPServer").size(), 1u) << bind;
    EXPECT_NE(host.log[0].message.find(bind), std::string::npos) << host.log[0].message;
    EXPECT_EQ(host.StatusesOf(status_column::kServer).back(), LineStatus::Error) << bind;
    EXPECT_FALSE(server.Record().Server->Listening());
  }

  host.log.clear();
  host.settings.ServerBind = "127.0.0.1";
  host.settings.ServerAllow = "127.0.0.1, 10.0.0.0/40";
  server.Server_Init();
  EXPECT_EQ(host.StatusesOf(status_column::kServer).back(), LineStatus::Connected);
  ASSERT_EQ(host.log.size(), 1u);
  EXPECT_EQ(host.log[0].severity, Severity::kError);
  EXPECT_NE(host.log[0].message.find("10.0.0.0/40"), std::string::npos) << host.log[0].message;
  EXPECT_TRUE(Join().Open()) << "the valid entry still allows its address";
}

TEST_F(InternalServerTest, TurnedAwayPeersAreCountedAndToldOnceAMinuteWithTheirCount) {
  host.settings.ServerAllow = "10.0.0.0/8";
  server.Server_Init();
  const auto refuse = [&](int n) {
    for (int k = 0; k < n; ++k) EXPECT_TRUE(LoopbackConnection::Connect(Port()).WaitClosed());
  };
  const auto refusals = [&] {
    std::vector<std::string> lines;
    for (const auto& line : host.LinesTagged("IPServer")) lines.push_back(line.message);
    return lines;
  };
  const std::string refused = "Peer 127.0.0.1 refused: not in ServerAllow";
  refuse(1);
  EXPECT_GT(host.wakes.load(), 0) << "the relay must not sleep on news";
  server.TCPServer_OTick();
  EXPECT_EQ(refusals(), std::vector<std::string>{refused + " (1 connection)"});

  refuse(3);
  server.TCPServer_OTick();
  host.now_tick += TurnawayLog::kPeriodMs - 1;
  server.TCPServer_OTick();
  EXPECT_EQ(refusals().size(), 1u) << "within the minute";
  WakePlan plan;
  server.PlanWake(plan);
  EXPECT_EQ(plan.Due(), host.now_tick + 1) << "the count is told when the minute ends";
  host.now_tick += 1;
  server.TCPServer_OTick();
  EXPECT_EQ(refusals().back(), refused + " (3 connections)");

  // Over the cap: the peers inside keep what they get.
  host.settings.ServerAllow.clear();
  host.settings.ServerMaxPeers = 1;
  server.Server_Init();
  LoopbackConnection inside = Join();
  EXPECT_TRUE(LoopbackConnection::Connect(Port()).WaitClosed());
  Enqueue(0, 1);
  server.TCPServer_OTick();
  EXPECT_EQ(inside.ReadExactly(Entry(0).size()), Entry(0));
  EXPECT_EQ(refusals().back(), "Peer 127.0.0.1 refused: ServerMaxPeers 1 reached (1 connection)");
  EXPECT_EQ(host.metrics.chain.peers_refused_rule.load(), 4u);
  EXPECT_EQ(host.metrics.chain.peers_refused_cap.load(), 1u);
  EXPECT_EQ(host.metrics.chain.peers.load(), 1u);
}

}  // namespace
}  // namespace trivane
