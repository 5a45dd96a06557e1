#include <gtest/gtest.h>

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
using testing::LoopbackConnection;
using testing::LoopbackListener;
using testing::RegionFrame;
using testing::RelayFace;
using testing::RelayProcess;
using testing::SourceEntry;

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

}  // namespace
}  // namespace trivane
