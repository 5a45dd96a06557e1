#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "links/router.h"
#include "support/process_stats.h"
#include "support/region_frames.h"
#include "support/relay_process.h"

namespace trivane {
namespace {

using namespace std::chrono_literals;
using testing::ConnectChainPeer;
using testing::CpuTicks;
using testing::FreePort;
using testing::LoopbackConnection;
using testing::LoopbackListener;
using testing::RegionFrame;
using testing::RelayProcess;
using testing::SourceEntry;
using Clock = std::chrono::steady_clock;

// A region block padded with bytes of its own to a frame of kPaddedFrameSize
// bytes; n tells the frames apart, so neither the duplicate check nor a
// misplaced piece goes unseen.
constexpr std::size_t kPaddedFrameSize = 520;
constexpr std::size_t kPaddedPayloadSize = kPaddedFrameSize - kVl3HeaderSize;
constexpr std::size_t kPaddedOnlineFrameSize = kOnlineHeaderSize + kPaddedPayloadSize;

Bytes PaddedRegionFrame(std::uint32_t n) {
  Bytes payload = TRegionBlock{.Size = 1000 + n, .Over = 120000}.Encode();
  for (std::size_t at = payload.size(); at < kPaddedPayloadSize; ++at) {
    payload.push_back(static_cast<std::uint8_t>(n * 7 + at));
  }
  return BuildVl3Frame(1, 1, payload);
}

// Which frame of a stream of equal-sized frames is the first to differ.
::testing::AssertionResult SameFrames(ByteView got, ByteView want, std::size_t frame_size) {
  const std::size_t common = std::min(got.size(), want.size());
  const auto differ = std::mismatch(got.begin(), got.begin() + common, want.begin());
  if (differ.first != got.begin() + common) {
    return ::testing::AssertionFailure() << "frame " << (differ.first - got.begin()) / frame_size
                                         << " of " << want.size() / frame_size << " differs";
  }
  if (got.size() != want.size()) {
    return ::testing::AssertionFailure()
           << got.size() << " bytes (" << got.size() / frame_size << " frames) instead of "
           << want.size() << " (" << want.size() / frame_size << " frames)";
  }
  return ::testing::AssertionSuccess();
}

std::chrono::milliseconds Left(Clock::time_point until) {
  return std::max(0ms, std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()));
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

TEST(RelayLinks, APeerThatTakesNothingIsWaitedForWithoutSpinning) {
  LoopbackListener source;
  const std::uint16_t server_port = FreePort();
  RelayProcess relay("SrcMode=1\r\nDstMode=2\r\n" + SourceEntry(0, source.Port()) +
                     "ServerPort=" + std::to_string(server_port) + "\r\n");
  LoopbackConnection stuck = ConnectChainPeer(server_port, 1024);
  LoopbackConnection reader = ConnectChainPeer(server_port);
  LoopbackConnection feed = source.Accept(10s);
  ASSERT_TRUE(stuck.Open() && reader.Open() && feed.Open());

  // 200 KB for the peer that never reads: far more than its socket holds,
  // so the relay keeps the rest and waits for room that never comes.
  constexpr std::uint32_t kFrames = 400;
  Bytes expected;
  for (std::uint32_t n = 1; n <= kFrames; n += 10) {
    Bytes arrival;
    for (std::uint32_t i = n; i < n + 10; ++i) {
      const Bytes frame = PaddedRegionFrame(i);
      arrival.insert(arrival.end(), frame.begin(), frame.end());
    }
    ASSERT_TRUE(feed.Send(arrival));
    expected.insert(expected.end(), arrival.begin(), arrival.end());
    std::this_thread::sleep_for(100ms);  // ten entries leave in that time
  }
  EXPECT_TRUE(SameFrames(reader.ReadExactly(expected.size(), 20s), expected, kPaddedFrameSize));

  // Well inside the 10 s the stuck peer is given: a loop that woke for its
  // socket at once would take a whole core (200 ticks in 2 s).
  const std::optional<long> before = CpuTicks(relay.Pid());
  std::this_thread::sleep_for(2s);
  const std::optional<long> after = CpuTicks(relay.Pid());
  ASSERT_TRUE(before && after);
  EXPECT_LT(*after - *before, 40) << "clock ticks of CPU in 2 s";
  EXPECT_EQ(relay.Count("dropped"), 0) << "the stuck peer is still kept";
  EXPECT_EQ(relay.Stop(), 0);
}

TEST(RelayLinks, AnOnlineServerThatStopsReadingIsDroppedWhileTheChainPeerMissesNothing) {
  LoopbackListener source;
  LoopbackListener online_server(0, 4096);  // fills after a few frames
  const std::uint16_t server_port = FreePort();
  RelayProcess relay("SrcMode=1\r\nDstMode=6\r\n" + SourceEntry(0, source.Port()) +
                     "ServerPort=" + std::to_string(server_port) + "\r\nOnlineIP=127.0.0.1:" +
                     std::to_string(online_server.Port()) + ":secret\r\n");
  LoopbackConnection first = online_server.Accept(10s);
  ASSERT_TRUE(LogIn(first, ""));  // and then never read
  LoopbackConnection chain = ConnectChainPeer(server_port);
  LoopbackConnection feed = source.Accept(10s);
  ASSERT_TRUE(chain.Open() && feed.Open());

  // 14 s at 50 frames a second: the stall limit passes while frames still come.
  constexpr std::uint32_t kFrames = 700;
  constexpr auto kInterval = 20ms;
  std::vector<Bytes> frames;
  Bytes chain_expected, online_expected;
  for (std::uint32_t n = 0; n < kFrames; ++n) {
    frames.push_back(PaddedRegionFrame(n));
    chain_expected.insert(chain_expected.end(), frames.back().begin(), frames.back().end());
    const Bytes online_frame =
        BuildOnlineFrame(1, 1, ByteView(frames.back()).subspan(kVl3HeaderSize));
    online_expected.insert(online_expected.end(), online_frame.begin(), online_frame.end());
  }
  const auto sending_ends = Clock::now() + kFrames * kInterval;

  Bytes chain_received;
  Clock::duration chain_longest_gap{};
  std::jthread chain_peer([&] {
    std::optional<Clock::time_point> last;
    while (chain_received.size() < chain_expected.size() &&
           chain.ReadSome(chain_received, Left(sending_ends + 5s),
                          chain_expected.size() - chain_received.size())) {
      const auto now = Clock::now();
      if (last) chain_longest_gap = std::max(chain_longest_gap, now - *last);
      last = now;
    }
  });

  // The server comes back to life for the relay's reconnect: it logs it in
  // at once (the relay waits 5 s for each line) and reads; the first
  // connection is read to its end only then, after the relay has closed it.
  Bytes first_delivered, second_delivered;
  bool second_logged_in = false;
  bool second_quiet_after = false;
  std::jthread online_peer([&] {
    LoopbackConnection second = online_server.Accept(Left(sending_ends + 12s));
    second_logged_in = LogIn(second, "");
    if (!second_logged_in) return;
    first_delivered = first.ReadToEnd(5s);
    const std::size_t taken = first_delivered.size() / kPaddedOnlineFrameSize;
    second_delivered = second.ReadExactly(online_expected.size() - taken * kPaddedOnlineFrameSize,
                                          Left(sending_ends + 5s));
    second_quiet_after = second.StaysQuiet(500ms);
  });

  // The relay's output is read all along, so its log never blocks it.
  std::optional<std::string> stalled;
  auto due = Clock::now();
  for (const Bytes& frame : frames) {
    ASSERT_TRUE(feed.Send(frame));
    due += kInterval;
    while (Clock::now() < due) {
      const auto slice = Left(due) + 1ms;
      if (stalled) {
        relay.Drain(slice);
      } else {
        stalled = relay.WaitFor("takes no data", slice);
      }
    }
  }
  if (!stalled) stalled = relay.WaitFor("takes no data", 3s);
  chain_peer.join();
  online_peer.join();

  EXPECT_TRUE(SameFrames(chain_received, chain_expected, kPaddedFrameSize));
  // Not a speed figure: a tick held by the online server would leave the
  // chain peer without a frame for the whole 10 s stall limit.
  EXPECT_LT(chain_longest_gap, 5s);
  ASSERT_TRUE(stalled.has_value());
  EXPECT_TRUE(stalled->ends_with("\tOnline")) << *stalled;
  ASSERT_TRUE(second_logged_in);
  // The first connection delivered a run of frames, possibly with the start of
  // the next one cut off; that one goes out again whole on the second.
  ASSERT_LE(first_delivered.size(), online_expected.size());
  EXPECT_TRUE(SameFrames(first_delivered, ByteView(online_expected).first(first_delivered.size()),
                         kPaddedOnlineFrameSize));
  const std::size_t taken = first_delivered.size() / kPaddedOnlineFrameSize;
  EXPECT_GT(taken, 0u);
  Bytes online_received(
      first_delivered.begin(),
      first_delivered.begin() + static_cast<std::ptrdiff_t>(taken * kPaddedOnlineFrameSize));
  online_received.insert(online_received.end(), second_delivered.begin(), second_delivered.end());
  EXPECT_TRUE(SameFrames(online_received, online_expected, kPaddedOnlineFrameSize));
  EXPECT_TRUE(second_quiet_after);  // nothing sent twice at the end
  EXPECT_EQ(relay.Count("takes no data"), 1);
}

TEST(RelayLinks, JunkOnEverySourceCostsNoCleanFrameSentAfterIt) {
  constexpr int kSources = 4;
  constexpr std::uint32_t kFramesEach = 12;
  std::vector<LoopbackListener> sources(kSources);
  LoopbackListener online_server;
  const std::uint16_t server_port = FreePort();
  std::string ini = "SrcMode=1\r\nDstMode=6\r\nServerPort=" + std::to_string(server_port) +
                    "\r\nOnlineIP=127.0.0.1:" + std::to_string(online_server.Port()) +
                    ":secret\r\n";
  for (int i = 0; i < kSources; ++i) ini += SourceEntry(i, sources[i].Port());
  RelayProcess relay(ini);
  LoopbackConnection online = online_server.Accept(10s);
  ASSERT_TRUE(LogIn(online, ""));
  LoopbackConnection chain = ConnectChainPeer(server_port);
  ASSERT_TRUE(chain.Open());
  std::vector<LoopbackConnection> feeds;
  for (LoopbackListener& source : sources) {
    feeds.push_back(source.Accept(10s));
    ASSERT_TRUE(feeds.back().Open());
  }

  // 128 KiB each: random bytes on two sources, a header claiming 65535 bytes
  // in front of them on the other two.
  std::mt19937 random(19);
  for (int i = 0; i < kSources; ++i) {
    Bytes junk(128 * 1024);
    for (std::uint8_t& byte : junk) byte = static_cast<std::uint8_t>(random());
    junk[0] = 0x01;
    if (i % 2 == 1) std::copy_n(Bytes{'L', '3', 0, 0, 0xFF, 0xFF}.begin(), 6, junk.begin());
    ASSERT_TRUE(feeds[i].Send(junk));
  }
  std::this_thread::sleep_for(1400ms);
  std::vector<Bytes> sent;
  for (std::uint32_t k = 0; k < kFramesEach; ++k) {
    for (int i = 0; i < kSources; ++i) {
      sent.push_back(PaddedRegionFrame(static_cast<std::uint32_t>(i) * 100 + k));
      ASSERT_TRUE(feeds[i].Send(sent.back()));
    }
    std::this_thread::sleep_for(20ms);
  }

  // Every clean frame once: the sources interleave, so compare as sorted sets.
  const auto frames = [](ByteView stream, std::size_t size) {
    std::vector<Bytes> cut;
    for (std::size_t at = 0; at + size <= stream.size(); at += size) {
      cut.emplace_back(stream.begin() + at, stream.begin() + at + size);
    }
    std::sort(cut.begin(), cut.end());
    return cut;
  };
  std::vector<Bytes> want = sent;
  std::sort(want.begin(), want.end());
  EXPECT_EQ(frames(chain.ReadExactly(sent.size() * kPaddedFrameSize, 20s), kPaddedFrameSize), want);
  std::vector<Bytes> want_online;
  for (const Bytes& frame : sent) {
    want_online.push_back(BuildOnlineFrame(1, 1, ByteView(frame).subspan(kVl3HeaderSize)));
  }
  std::sort(want_online.begin(), want_online.end());
  EXPECT_EQ(
      frames(online.ReadExactly(sent.size() * kPaddedOnlineFrameSize, 20s), kPaddedOnlineFrameSize),
      want_online);
  EXPECT_TRUE(chain.StaysQuiet(300ms));
  EXPECT_EQ(relay.Count("Clear invalid data"), kSources);
  EXPECT_EQ(relay.Stop(), 0);
}

}  // namespace
}  // namespace trivane
