#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "links/router.h"
#include "support/relay_process.h"

namespace trivane {
namespace {

using namespace std::chrono_literals;
using testing::FreePort;
using testing::LoopbackConnection;
using testing::LoopbackListener;
using testing::RelayProcess;
using testing::SourceEntry;
using Clock = std::chrono::steady_clock;

Bytes RegionFrame(std::uint32_t size_ms, std::uint32_t over_ms = 120000) {
  return BuildVl3Frame(1, 1, TRegionBlock{.Size = size_ms, .Over = over_ms}.Encode());
}

// The relay listens from its first tick on; a peer retries until it is in.
LoopbackConnection ConnectChainPeer(std::uint16_t port, int receive_buffer = 0) {
  const auto until = Clock::now() + 10s;
  while (Clock::now() < until) {
    auto peer = LoopbackConnection::Connect(port, receive_buffer);
    if (peer.Open()) {
      std::this_thread::sleep_for(200ms);  // the server takes it into its peer list
      return peer;
    }
    std::this_thread::sleep_for(50ms);
  }
  return {};
}

// Greets, checks the password and gives the verdict; false if the relay never
// came or sent another password.
bool LogIn(LoopbackConnection& online, const std::string& verdict) {
  if (!online.Open() || !online.Send(std::string_view("Welcome\r\n"))) return false;
  const auto password = online.ReadLine(10s);
  return password == "secret" && online.Send(verdict + "\r\n");
}

TEST(RelayLinks, SourceRegionBlockReachesChainPeerOnlineServerLogAndDailyFile) {
  LoopbackListener source, online_server;
  const std::uint16_t server_port = FreePort();
  RelayProcess relay("SrcMode=1\r\nDstMode=6\r\n" + SourceEntry(0, source.Port()) +
                     "ServerPort=" + std::to_string(server_port) + "\r\nOnlineIP=127.0.0.1:" +
                     std::to_string(online_server.Port()) + ":secret\r\n");
  LoopbackConnection online = online_server.Accept(10s);
  ASSERT_TRUE(LogIn(online, ""));
  LoopbackConnection chain = ConnectChainPeer(server_port);
  ASSERT_TRUE(chain.Open());
  LoopbackConnection feed = source.Accept(10s);
  ASSERT_TRUE(feed.Open());

  const Bytes frame = RegionFrame(60000);
  ASSERT_TRUE(feed.Send(frame));

  EXPECT_EQ(chain.ReadExactly(frame.size(), 10s), frame);  // relayed as received
  const Bytes payload(frame.begin() + 10, frame.end());
  EXPECT_EQ(online.ReadExactly(7 + payload.size(), 10s), BuildOnlineFrame(1, 1, payload));
  const auto line = relay.WaitFor("--> REGION <---");
  ASSERT_TRUE(line.has_value());
  EXPECT_NE(line->find("\t1\t--> REGION <---: 60.000, Over: 120.000, Extra: 0.000\tVL3"),
            std::string::npos)
      << *line;
  EXPECT_EQ(relay.Stop(), 0);
  EXPECT_NE(relay.DailyFile().find(" : Size=60.0 (01:00.0), Over=120.0 (02:00.0)\r\n"),
            std::string::npos);
  EXPECT_EQ(relay.DailyFile().rfind("In ", 0), 0u);
}

TEST(RelayLinks, SameUnitFromASecondSourceIsSuppressedUntilItRepeatsItself) {
  LoopbackListener first, second;
  const std::uint16_t server_port = FreePort();
  RelayProcess relay("SrcMode=1\r\nDstMode=2\r\n" + SourceEntry(0, first.Port()) +
                     SourceEntry(1, second.Port()) + "ServerPort=" + std::to_string(server_port) +
                     "\r\n");
  LoopbackConnection chain = ConnectChainPeer(server_port);
  LoopbackConnection a = first.Accept(10s);
  LoopbackConnection b = second.Accept(10s);
  ASSERT_TRUE(a.Open() && b.Open() && chain.Open());

  const Bytes m = RegionFrame(30000);
  for (LoopbackConnection* sender : {&a, &b, &a, &b}) {
    ASSERT_TRUE(sender->Send(m));
    std::this_thread::sleep_for(150ms);
  }
  // A, then B suppressed, then A again (its own cache), then B (its own cache now).
  Bytes expected;
  for (int i = 0; i < 3; ++i) expected.insert(expected.end(), m.begin(), m.end());
  EXPECT_EQ(chain.ReadExactly(expected.size(), 10s), expected);
  EXPECT_TRUE(chain.StaysQuiet(300ms));
  EXPECT_EQ(relay.Count("--> REGION <---"), 3);
}

TEST(RelayLinks, SplitUnitWaitsForItsSecondPart) {
  LoopbackListener source;
  RelayProcess relay("SrcMode=1\r\n" + SourceEntry(0, source.Port()));
  LoopbackConnection feed = source.Accept(10s);
  ASSERT_TRUE(feed.Open());
  ASSERT_TRUE(relay.WaitFor("Program started").has_value());
  const Bytes frame = RegionFrame(45000);

  ASSERT_TRUE(feed.Send(ByteView(frame).first(7)));
  EXPECT_FALSE(relay.WaitFor("\t", 500ms).has_value());  // nothing logged meanwhile
  ASSERT_TRUE(feed.Send(ByteView(frame).subspan(7)));
  EXPECT_TRUE(relay.WaitFor("--> REGION <---: 45.000").has_value());
  EXPECT_EQ(relay.Count("Clear invalid data"), 0);
}

TEST(RelayLinks, StrayByteHoldsTheBufferUntilASecondOfSilence) {
  LoopbackListener source;
  RelayProcess relay("SrcMode=1\r\n" + SourceEntry(0, source.Port()));
  LoopbackConnection feed = source.Accept(10s);
  ASSERT_TRUE(feed.Open());
  ASSERT_TRUE(relay.WaitFor("Program started").has_value());

  const Bytes frame = RegionFrame(45000);
  Bytes held{0x00};
  held.insert(held.end(), frame.begin(), frame.end());
  const auto sent = Clock::now();
  ASSERT_TRUE(feed.Send(held));

  const auto cleared = relay.WaitFor("Clear invalid data");
  ASSERT_TRUE(cleared.has_value());
  EXPECT_GE(Clock::now() - sent, 900ms);
  EXPECT_NE(cleared->find("\t1\tClear invalid data\tinside"), std::string::npos) << *cleared;
  EXPECT_EQ(relay.Count("--> REGION"), 0);
  EXPECT_EQ(relay.Stop(), 0);
  const std::string file = relay.DailyFile();
  const std::string record = std::string("Src:1. Data (") + std::to_string(held.size()) + ") ";
  ASSERT_NE(file.find(record), std::string::npos) << file;
  EXPECT_NE(file.find(std::string(held.begin(), held.end()) + "\r\n"), std::string::npos);
}

TEST(RelayLinks, ADroppedSourceIsReconnectedAfterAboutASecond) {
  LoopbackListener source;
  RelayProcess relay("SrcMode=1\r\n" + SourceEntry(0, source.Port()));
  LoopbackConnection first = source.Accept(10s);
  ASSERT_TRUE(first.Open());
  std::this_thread::sleep_for(200ms);
  first.Close();
  const auto dropped = Clock::now();
  LoopbackConnection second = source.Accept(10s);
  ASSERT_TRUE(second.Open());
  const auto waited = Clock::now() - dropped;
  EXPECT_GE(waited, 900ms);
  EXPECT_LE(waited, 3s);
  EXPECT_EQ(relay.Count(">> ERROR <<"), 0);
}

TEST(RelayLinks, ARefusedSourceIsRetriedEveryFiveSecondsAndLoggedOnce) {
  const std::uint16_t port = testing::ClosedPort();
  RelayProcess relay("SrcMode=1\r\n" + SourceEntry(0, port));
  const auto first_error = relay.WaitFor(">> ERROR <<");
  ASSERT_TRUE(first_error.has_value());
  const auto refused = Clock::now();
  EXPECT_NE(first_error->find("\t1\t"), std::string::npos);

  std::this_thread::sleep_for(5500ms);  // a second refusal has come and gone
  EXPECT_EQ(relay.Count(">> ERROR <<"), 1);
  LoopbackListener source(port);
  LoopbackConnection feed = source.Accept(10s);
  ASSERT_TRUE(feed.Open());
  EXPECT_GE(Clock::now() - refused, 9s);  // the third attempt, five seconds after the second
}

TEST(RelayLinks, ARefusedOnlineLogInIsLoggedAndRetriedAfterFiveSeconds) {
  LoopbackListener online_server;
  RelayProcess relay("SrcMode=1\r\nDstMode=4\r\nOnlineIP=127.0.0.1:" +
                     std::to_string(online_server.Port()) + ":secret\r\n");
  LoopbackConnection first = online_server.Accept(10s);
  ASSERT_TRUE(LogIn(first, "Account locked"));
  const auto line = relay.WaitFor("Account locked");
  ASSERT_TRUE(line.has_value());
  EXPECT_TRUE(line->ends_with("\tOnline")) << *line;
  EXPECT_TRUE(first.WaitClosed(5s));
  const auto closed = Clock::now();

  LoopbackConnection second = online_server.Accept(10s);
  ASSERT_TRUE(second.Open());
  EXPECT_GE(Clock::now() - closed, 4500ms);
}

TEST(RelayLinks, ASilentOnlineServerCannotHoldTheLogInOrTheClose) {
  LoopbackListener online_server;
  RelayProcess relay("SrcMode=1\r\nDstMode=4\r\nOnlineIP=127.0.0.1:" +
                     std::to_string(online_server.Port()) + ":secret\r\n");
  LoopbackConnection silent = online_server.Accept(10s);
  ASSERT_TRUE(silent.Open());
  const auto failed = relay.WaitFor("\tOnline", 15s);
  ASSERT_TRUE(failed.has_value());
  EXPECT_TRUE(silent.WaitClosed(5s));

  const auto stop_started = Clock::now();
  EXPECT_EQ(relay.Stop(), 0);
  EXPECT_LE(Clock::now() - stop_started, 3s);
}

TEST(RelayLinks, TwoChainedInstancesPassTheBlockOn) {
  LoopbackListener source;
  const std::uint16_t first_port = FreePort();
  const std::uint16_t second_port = FreePort();
  RelayProcess first("SrcMode=1\r\nDstMode=2\r\n" + SourceEntry(0, source.Port()) +
                     "ServerPort=" + std::to_string(first_port) + "\r\n");
  LoopbackConnection probe = ConnectChainPeer(first_port);  // the first one listens now
  ASSERT_TRUE(probe.Open());
  RelayProcess second("SrcMode=1\r\nDstMode=2\r\n" + SourceEntry(0, first_port) +
                      "ServerPort=" + std::to_string(second_port) + "\r\n");
  LoopbackConnection end_peer = ConnectChainPeer(second_port);
  ASSERT_TRUE(end_peer.Open());
  std::this_thread::sleep_for(300ms);  // the second has connected to the first

  LoopbackConnection feed = source.Accept(10s);
  ASSERT_TRUE(feed.Open());
  const Bytes frame = RegionFrame(90000);
  ASSERT_TRUE(feed.Send(frame));
  EXPECT_EQ(end_peer.ReadExactly(frame.size(), 10s), frame);
  EXPECT_TRUE(second.WaitFor("--> REGION <---: 90.000").has_value());
}

TEST(RelayLinks, BurstReachesEveryReaderInOrderWhileOnePeerNeverReads) {
  LoopbackListener source, online_server;
  const std::uint16_t server_port = FreePort();
  RelayProcess relay("SrcMode=1\r\nDstMode=6\r\n" + SourceEntry(0, source.Port()) +
                     "ServerPort=" + std::to_string(server_port) + "\r\nOnlineIP=127.0.0.1:" +
                     std::to_string(online_server.Port()) + ":secret\r\n");
  LoopbackConnection online = online_server.Accept(10s);
  ASSERT_TRUE(LogIn(online, ""));
  LoopbackConnection stuck = ConnectChainPeer(server_port, 1024);
  LoopbackConnection reader = ConnectChainPeer(server_port);
  LoopbackConnection feed = source.Accept(10s);
  ASSERT_TRUE(stuck.Open() && reader.Open() && feed.Open());

  // 250 different blocks in one arrival, under the 8192-byte buffer.
  Bytes burst, online_expected;
  for (std::uint32_t i = 1; i <= 250; ++i) {
    const Bytes frame = RegionFrame(i * 1000);
    burst.insert(burst.end(), frame.begin(), frame.end());
    const Bytes online_frame = BuildOnlineFrame(1, 1, ByteView(frame).subspan(10));
    online_expected.insert(online_expected.end(), online_frame.begin(), online_frame.end());
  }
  ASSERT_LT(burst.size(), 8192u);
  ASSERT_TRUE(feed.Send(burst));

  EXPECT_EQ(reader.ReadExactly(burst.size(), 20s), burst);
  EXPECT_EQ(online.ReadExactly(online_expected.size(), 20s), online_expected);
  EXPECT_TRUE(relay.WaitFor("--> REGION <---: 250.000").has_value());
  EXPECT_EQ(relay.Stop(), 0);
}

}  // namespace
}  // namespace trivane
