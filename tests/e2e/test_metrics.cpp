#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "support/region_frames.h"
#include "support/relay_process.h"

namespace trivane {
namespace {

using namespace std::chrono_literals;
using testing::ConnectChainPeer;
using testing::FreePort;
using testing::kChainFrameSize;
using testing::LoopbackConnection;
using testing::LoopbackListener;
using testing::RegionFrame;
using testing::RelayFace;
using testing::RelayProcess;
using testing::SourceEntry;

// A tick that waited for a scrape, a socket or a file would run past this;
// ten times the tick's own run time under load leaves the machine its pauses.
constexpr std::chrono::duration<double> kTickBound = 50ms;

// One scrape: every sample by its name with labels, as the text format writes it.
std::map<std::string, double> Scrape(std::uint16_t port) {
  std::map<std::string, double> samples;
  LoopbackConnection http = LoopbackConnection::Connect(port);
  if (!http.Open()) return samples;
  http.Send(std::string_view("GET /metrics HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n"));
  const Bytes reply = http.ReadToEnd(3s);
  std::istringstream lines(std::string(reply.begin(), reply.end()));
  for (std::string line; std::getline(lines, line);) {
    if (!line.starts_with("trivane_")) continue;
    const auto space = line.rfind(' ');
    samples[line.substr(0, space)] = std::strtod(line.c_str() + space + 1, nullptr);
  }
  return samples;
}

TEST(Metrics, AScrapeShowsTheStatesAndWhatTheDuplicateCheckMadeOfEachSource) {
  LoopbackListener first, second;
  const std::uint16_t server_port = FreePort();
  const std::uint16_t metrics_port = FreePort();
  RelayProcess relay("SrcMode=1\r\nDstMode=2\r\n" + SourceEntry(0, first.Port()) +
                         SourceEntry(1, second.Port()) +
                         "ServerPort=" + std::to_string(server_port) + "\r\n",
                     TRIVANE_EXE, RelayFace::kHeadless,
                     {"--metrics", "127.0.0.1:" + std::to_string(metrics_port)});
  LoopbackConnection chain = ConnectChainPeer(server_port);
  LoopbackConnection a = first.Accept(10s);
  LoopbackConnection b = second.Accept(10s);
  ASSERT_TRUE(a.Open() && b.Open() && chain.Open());

  auto before = Scrape(metrics_port);
  ASSERT_FALSE(before.empty()) << "no metrics served";
  EXPECT_EQ(before[R"(trivane_link_state{link="source1"})"], 1);  // Connected
  EXPECT_EQ(before[R"(trivane_link_state{link="server"})"], 1);
  EXPECT_EQ(before[R"(trivane_link_last_data_timestamp_seconds{link="source1"})"], 0);

  // One redundant feed on two sources: each unit once through, once held back.
  for (const std::uint32_t size : {30000u, 31000u}) {
    ASSERT_TRUE(a.Send(RegionFrame(size)));
    std::this_thread::sleep_for(150ms);
    ASSERT_TRUE(b.Send(RegionFrame(size)));
    std::this_thread::sleep_for(150ms);
  }
  ASSERT_TRUE(relay.WaitFor("31.000"));

  const auto now = Scrape(metrics_port);
  EXPECT_EQ(now.at(R"(trivane_source_units_received_total{link="source1"})"), 2);
  EXPECT_EQ(now.at(R"(trivane_source_units_received_total{link="source2"})"), 2);
  EXPECT_EQ(now.at(R"(trivane_source_units_accepted_total{link="source1"})"), 2);
  EXPECT_EQ(now.at(R"(trivane_source_units_suppressed_total{link="source2"})"), 2);
  EXPECT_EQ(now.at(R"(trivane_source_units_received_total{link="source3"})"), 0);
  // Data takes the colour away, and says when.
  EXPECT_EQ(now.at(R"(trivane_link_state{link="source1"})"), 0);
  const double last = now.at(R"(trivane_link_last_data_timestamp_seconds{link="source1"})");
  const double wall =
      std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  EXPECT_NEAR(last, wall, 10);
  EXPECT_GT(now.at("trivane_tick_longest_seconds"), 0);
  EXPECT_EQ(relay.Stop(), 0);
}

TEST(Metrics, AnAddressThatCannotBeServedLeavesTheRelayRunning) {
  LoopbackListener taken;
  const std::uint16_t server_port = FreePort();
  RelayProcess relay("SrcMode=1\r\nDstMode=2\r\nServerPort=" + std::to_string(server_port) + "\r\n",
                     TRIVANE_EXE, RelayFace::kHeadless,
                     {"--metrics", "127.0.0.1:" + std::to_string(taken.Port())});
  EXPECT_TRUE(relay.WaitFor("No metrics at 127.0.0.1:" + std::to_string(taken.Port())));
  EXPECT_TRUE(ConnectChainPeer(server_port).Open());
  EXPECT_EQ(relay.Stop(), 0);
}

// Greets, takes the password and lets the relay in.
bool LetIn(LoopbackConnection& online) {
  if (!online.Open() || !online.Send(std::string_view("Welcome\r\n"))) return false;
  return online.ReadLine(10s) == "secret" && online.Send(std::string_view("\r\n"));
}

// Every link at once, scraped ten times a second: what the monitoring reads
// is what the test's own peers sent and received, and the scrapes do not
// hold the tick.
TEST(Metrics, EveryLinkIsCountedAsItsPeersSawItWhileScrapedTenTimesASecond) {
  std::array<LoopbackListener, 4> sources;
  LoopbackListener online_server;
  const std::uint16_t server_port = FreePort();
  const std::uint16_t metrics_port = FreePort();
  std::string ini = "SrcMode=1\r\nDstMode=6\r\nServerPort=" + std::to_string(server_port) +
                    "\r\nOnlineIP=127.0.0.1:" + std::to_string(online_server.Port()) +
                    ":secret\r\n";
  for (int i = 0; i < 4; ++i) ini += SourceEntry(i, sources[static_cast<std::size_t>(i)].Port());
  RelayProcess relay(ini, TRIVANE_EXE, RelayFace::kHeadless,
                     {"--metrics", "127.0.0.1:" + std::to_string(metrics_port)});
  LoopbackConnection online = online_server.Accept(10s);
  ASSERT_TRUE(LetIn(online));
  std::array<LoopbackConnection, 4> feeds;
  for (std::size_t i = 0; i < 4; ++i) {
    feeds[i] = sources[i].Accept(10s);
    ASSERT_TRUE(feeds[i].Open());
  }
  LoopbackConnection chain = ConnectChainPeer(server_port);
  ASSERT_TRUE(chain.Open());
  { LoopbackConnection passing = ConnectChainPeer(server_port); }  // comes and goes

  std::atomic<int> scrapes{0};
  std::jthread scraper([&](const std::stop_token& stop) {
    while (!stop.stop_requested()) {
      if (!Scrape(metrics_port).empty()) ++scrapes;
      std::this_thread::sleep_for(100ms);
    }
  });

  // Source i sends i + 1 blocks of its own; source 2 repeats source 1's first.
  std::uint32_t size = 40000;
  std::size_t unique = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    for (std::size_t k = 0; k <= i; ++k) {
      ASSERT_TRUE(feeds[i].Send(RegionFrame(size++)));
      ++unique;
      std::this_thread::sleep_for(100ms);
    }
  }
  ASSERT_TRUE(feeds[1].Send(RegionFrame(40000)));
  std::this_thread::sleep_for(100ms);
  // A stray byte that nothing parses, given up a second later.
  ASSERT_TRUE(feeds[3].Send(Bytes{0x00}));
  ASSERT_TRUE(relay.WaitFor("Clear invalid data", 10s));

  const Bytes chained = chain.ReadExactly(unique * kChainFrameSize, 10s);
  const std::size_t online_frame_size = kOnlineHeaderSize + TRegionBlock::kWireSize;
  const Bytes uplinked = online.ReadExactly(unique * online_frame_size, 10s);
  std::this_thread::sleep_for(300ms);  // the last scrape sees the last tick
  scraper.request_stop();
  scraper.join();
  EXPECT_GE(scrapes.load(), 10);

  auto now = Scrape(metrics_port);
  const auto at = [&](const std::string& name) {
    const auto found = now.find(name);
    EXPECT_NE(found, now.end()) << name;
    return found == now.end() ? -1.0 : found->second;
  };
  for (int i = 0; i < 4; ++i) {
    const std::string link = "{link=\"source" + std::to_string(i + 1) + "\"}";
    const double own = i + 1;
    EXPECT_EQ(at("trivane_source_units_received_total" + link), i == 1 ? own + 1 : own) << link;
    EXPECT_EQ(at("trivane_source_units_accepted_total" + link), own) << link;
    EXPECT_EQ(at("trivane_source_units_suppressed_total" + link), i == 1 ? 1 : 0) << link;
    EXPECT_EQ(at("trivane_source_invalid_discards_total" + link), i == 3 ? 1 : 0) << link;
    EXPECT_EQ(at("trivane_source_dropped_bytes_total" + link), 0) << link;
    EXPECT_EQ(at("trivane_link_reconnects_total" + link), 0) << link;
    EXPECT_EQ(at("trivane_link_connects_failed_total" + link), 0) << link;
  }
  EXPECT_EQ(at(R"(trivane_destination_units_sent_total{link="server"})"),
            static_cast<double>(chained.size() / kChainFrameSize));
  EXPECT_EQ(at(R"(trivane_destination_bytes_sent_total{link="server"})"),
            static_cast<double>(chained.size()));
  EXPECT_EQ(at(R"(trivane_destination_units_sent_total{link="online"})"),
            static_cast<double>(uplinked.size() / online_frame_size));
  EXPECT_EQ(at(R"(trivane_destination_bytes_sent_total{link="online"})"),
            static_cast<double>(uplinked.size()));
  EXPECT_EQ(at(R"(trivane_queue_depth{link="online"})"), 0);
  EXPECT_EQ(at(R"(trivane_queue_dropped_total{link="server",reason="full"})"), 0);
  EXPECT_EQ(at("trivane_chain_peers_connected_total"), 2);
  EXPECT_EQ(at("trivane_chain_peers"), 1);  // the one that left is gone
  EXPECT_EQ(at("trivane_chain_peers_dropped_total"), 0);
  EXPECT_EQ(at("trivane_log_errors_total"), 0);              // every link came up
  EXPECT_EQ(at(R"(trivane_link_state{link="online"})"), 0);  // data since Connected
  EXPECT_LT(at("trivane_tick_longest_seconds"), kTickBound.count());
  EXPECT_EQ(relay.Stop(), 0);
}

}  // namespace
}  // namespace trivane
