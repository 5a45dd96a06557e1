#include <gtest/gtest.h>

#include "links/bounded_queue.h"
#include "links/router.h"
#include "net/online_uplink.h"
#include "support/comm_buffer.h"
#include "support/fake_link_host.h"
#include "support/loopback_peer.h"

namespace trivane {
namespace {

using std::chrono::milliseconds;
using testing::LoopbackConnection;
using testing::LoopbackListener;

constexpr int kColumn = status_column::kOnline;
constexpr std::int64_t kStallMs = 4000;

Bytes Frame(int k) {
  return BuildOnlineFrame(1, 2, Bytes{static_cast<std::uint8_t>(k)});
}

Bytes Frames(int from, int to) {
  Bytes all;
  for (int k = from; k < to; ++k) all = testing::Concat({all, Frame(k)});
  return all;
}

// The online server is played by the test itself, in step with the uplink's
// connect thread: the kernel completes the connect, the thread then waits for
// the greeting that the test sends.
class OnlineUplinkTest : public ::testing::Test {
 protected:
  OnlineUplinkTest() { Aim(server.Port()); }

  void Aim(std::uint16_t port) { host.settings.OnlineIP = {"127.0.0.1", port, "s3cret"}; }

  LoopbackConnection ServeLogIn(std::string_view verdict, LoopbackListener& on) {
    LoopbackConnection peer = on.Accept();
    EXPECT_TRUE(peer.Open());
    EXPECT_TRUE(peer.Send("Welcome\r\n"));
    EXPECT_EQ(peer.ReadLine(), "s3cret");
    EXPECT_TRUE(peer.Send(std::string(verdict) + "\r\n"));
    return peer;
  }
  LoopbackConnection ServeLogIn(std::string_view verdict) { return ServeLogIn(verdict, server); }

  // Collects the finished attempt with one tick.
  void Collect(OnlineUplink& link) {
    ASSERT_TRUE(testing::WaitConnectorDone(link.Record().Connector));
    link.Online_Tick();
    EXPECT_FALSE(link.Record().Connector);
  }
  void Collect() { Collect(uplink); }

  LoopbackConnection LoggedInOn(LoopbackListener& on) {
    Aim(on.Port());
    uplink.Online_Init();
    LoopbackConnection peer = ServeLogIn("", on);
    Collect();
    EXPECT_TRUE(uplink.Record().LoggedIn);
    return peer;
  }
  LoopbackConnection LoggedIn() { return LoggedInOn(server); }

  void Route(int from, int to) {
    for (int k = from; k < to; ++k) uplink.Queue()->push_back(TRawMsg{Frame(k)});
  }
  void TickAt(std::int64_t tick) {
    host.now_tick = tick;
    uplink.Online_Tick();
  }
  // Ticks while the server reads, until the queue is empty and nothing more
  // comes; what the server got.
  Bytes DrainTo(LoopbackConnection& peer) {
    Bytes got;
    EXPECT_TRUE(testing::WaitFor(
        [&] {
          uplink.Online_Tick();
          const bool more = peer.ReadSome(got, milliseconds(1));
          return uplink.Queue()->empty() && !more && !peer.ReadSome(got, milliseconds(20));
        },
        std::chrono::seconds(30)));
    return got;
  }
  template <typename Predicate>
  bool TickUntil(Predicate done) {
    return testing::WaitFor([&] {
      uplink.Online_Tick();
      return done();
    });
  }

  testing::FakeLinkHost host;
  LoopbackListener server;
  OnlineUplink uplink{host, {.login_line = milliseconds(3000), .stall_ms = kStallMs}};
};

TEST_F(OnlineUplinkTest, AnAcceptedLogInSendsEveryQueuedFrameInOrder) {
  uplink.Online_Init();
  Route(0, 2);  // routed while the log-in runs
  LoopbackConnection peer = ServeLogIn("");
  Collect();
  EXPECT_EQ(host.StatusesOf(kColumn), std::vector{LineStatus::Connected});
  EXPECT_EQ(uplink.ErrText(), "");
  EXPECT_EQ(peer.ReadExactly(Frames(0, 2).size()), Frames(0, 2));
  EXPECT_EQ(host.MarksOf(kColumn), 2u);

  // Whatever the server says after the log-in is read and ignored.
  ASSERT_TRUE(peer.Send("news\r\n"));
  Route(2, 3);
  uplink.Online_Tick();
  EXPECT_EQ(peer.ReadExactly(Frame(2).size()), Frame(2));
  EXPECT_EQ(host.MarksOf(kColumn), 3u);
  EXPECT_TRUE(uplink.Queue()->empty());
  EXPECT_TRUE(host.log.empty());

  const auto& online = host.metrics.destinations[2];
  EXPECT_EQ(online.units_sent.load(), 3u);
  EXPECT_EQ(online.bytes_sent.load(), Frames(0, 3).size());
  EXPECT_EQ(host.metrics.columns[kColumn].reconnects.load(), 0u);
}

TEST_F(OnlineUplinkTest, FramesRoutedWhileTheLinkIsDownAllGoOutAfterTheNextLogIn) {
  LoopbackConnection first = LoggedIn();
  first.Close();
  ASSERT_TRUE(TickUntil([&] { return !uplink.Record().Client->Connected(); }));
  EXPECT_EQ(host.StatusesOf(kColumn), (std::vector{LineStatus::Connected, LineStatus::Wait}));
  const std::int64_t retry = host.now_tick + 1000;
  EXPECT_EQ(uplink.Record().ReconnectAt, retry);

  Route(0, 3);
  TickAt(retry - 1);
  EXPECT_FALSE(uplink.Record().Connector);
  EXPECT_EQ(uplink.Queue()->size(), 3u);
  EXPECT_EQ(host.metrics.destinations[2].queue_depth.load(), 3u);
  TickAt(retry);
  ASSERT_TRUE(uplink.Record().Connector);
  LoopbackConnection second = ServeLogIn("");
  Collect();
  EXPECT_EQ(second.ReadExactly(Frames(0, 3).size()), Frames(0, 3));
  EXPECT_EQ(host.MarksOf(kColumn), 3u);
  EXPECT_EQ(host.metrics.columns[kColumn].reconnects.load(), 1u);
  EXPECT_EQ(host.metrics.columns[kColumn].connects_failed.load(), 0u);

  // The close was said in the log, once.
  const auto lines = host.LinesTagged("Online");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].message, "Connection closed by the server");
}

// A 1000-byte frame whose payload starts with its number.
Bytes BigFrame(int k) {
  Bytes payload(1000, static_cast<std::uint8_t>(k));
  payload[0] = static_cast<std::uint8_t>(k >> 8);
  return BuildOnlineFrame(1, 1, payload);
}

// The whole frames at the front of a stream; a cut-off frame at its end is not one.
std::vector<Bytes> WholeFrames(const Bytes& stream) {
  std::vector<Bytes> frames;
  std::size_t at = 0;
  while (stream.size() - at >= 2) {
    const std::size_t size = 2 + (stream[at] | (stream[at + 1] << 8));
    if (stream.size() - at < size) break;
    frames.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(at),
                        stream.begin() + static_cast<std::ptrdiff_t>(at + size));
    at += size;
  }
  return frames;
}

TEST_F(OnlineUplinkTest, AServerThatStopsReadingHoldsNoTickIsDroppedAndGetsTheRestAfterLogIn) {
  LoopbackListener slow(0, 4096);  // a server that does not read fills up at once
  LoopbackConnection first = LoggedInOn(slow);
  constexpr int kFrames = 3000;  // far more than the socket buffers hold
  for (int k = 0; k < kFrames; ++k) uplink.Queue()->push_back(TRawMsg{BigFrame(k)});

  // The socket takes what it can; no tick waits for the rest.
  for (int round = 0; round < 20; ++round) {
    const auto started = std::chrono::steady_clock::now();
    uplink.Online_Tick();
    EXPECT_LT(std::chrono::steady_clock::now() - started, milliseconds(500));
  }
  const std::size_t waiting = uplink.Queue()->size();
  EXPECT_GT(waiting, static_cast<std::size_t>(kFrames / 2))
      << "a server that stops reading holds a bounded share, not megabytes";
  EXPECT_LT(waiting, static_cast<std::size_t>(kFrames));
  EXPECT_TRUE(uplink.Record().LoggedIn);

  // A server that takes nothing for the stall limit has stopped reading.
  TickAt(host.now_tick + kStallMs - 1);
  EXPECT_TRUE(uplink.Record().Client->Connected());
  EXPECT_TRUE(host.LinesTagged("Online").empty());
  TickAt(host.now_tick + 1);
  EXPECT_FALSE(uplink.Record().Client->Connected());
  const auto lines = host.LinesTagged("Online");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].message.find("takes no data"), std::string::npos) << lines[0].message;
  EXPECT_EQ(host.StatusesOf(kColumn).back(), LineStatus::Wait);
  const std::int64_t retry = host.now_tick + 1000;
  EXPECT_EQ(uplink.Record().ReconnectAt, retry);
  const Bytes got_first = first.ReadToEnd(milliseconds(5000));

  // After the next log-in the rest goes out: every frame once, in order.
  TickAt(retry);
  LoopbackConnection second = ServeLogIn("", slow);
  Collect();
  const Bytes got_second = DrainTo(second);
  std::vector<Bytes> delivered = WholeFrames(got_first);
  const std::vector<Bytes> rest = WholeFrames(got_second);
  delivered.insert(delivered.end(), rest.begin(), rest.end());
  ASSERT_EQ(delivered.size(), static_cast<std::size_t>(kFrames));
  for (int k = 0; k < kFrames; ++k) ASSERT_EQ(delivered[static_cast<std::size_t>(k)], BigFrame(k));
  EXPECT_EQ(host.MarksOf(kColumn), static_cast<std::size_t>(kFrames));
}

TEST_F(OnlineUplinkTest, AFullQueueDropsTheOldestButNeverAFrameHalfHandedToTheSocket) {
  LoopbackListener slow(0, 4096);  // a server that does not read fills up at once
  LoopbackConnection peer = LoggedInOn(slow);
  constexpr int kFirst = 5000;  // more than the socket buffers hold
  for (int k = 0; k < kFirst; ++k) uplink.Queue()->push_back(TRawMsg{BigFrame(k)});
  for (int round = 0; round < 5; ++round) uplink.Online_Tick();
  const std::size_t sent = kFirst - uplink.Queue()->size();
  ASSERT_GT(uplink.Queue()->size(), 1u);
  // Then small ones, enough to overflow the queue.
  for (int k = kFirst; k < kFirst + static_cast<int>(kMaxQueuedFrames); ++k) {
    uplink.Queue()->push_back(TRawMsg{Frame(k)});
  }
  uplink.Online_Tick();
  const auto lines = host.LinesTagged("Online");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].message.find("oldest frames dropped"), std::string::npos);
  EXPECT_EQ(host.metrics.destinations[2].dropped_queue_full.load(),
            static_cast<std::size_t>(kFirst) - sent);

  // What the server reads is whole frames, whatever was dropped between them.
  const Bytes got = DrainTo(peer);
  const std::vector<Bytes> frames = WholeFrames(got);
  std::size_t whole = 0;
  for (const Bytes& frame : frames) whole += frame.size();
  EXPECT_EQ(whole, got.size());
  EXPECT_EQ(frames.size(), sent + kMaxQueuedFrames);
  EXPECT_EQ(frames.back(), Frame(kFirst - 1 + static_cast<int>(kMaxQueuedFrames)));
}

TEST_F(OnlineUplinkTest, AResetByTheServerIsLoggedAndRetriedLikeALoss) {
  LoopbackConnection peer = LoggedIn();
  peer.Reset();
  ASSERT_TRUE(TickUntil([&] { return !uplink.Record().Client->Connected(); }));
  const auto lines = host.LinesTagged("Online");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_FALSE(lines[0].message.empty());
  EXPECT_EQ(host.StatusesOf(kColumn), (std::vector{LineStatus::Connected, LineStatus::Wait}));
  EXPECT_EQ(uplink.Record().ReconnectAt, host.now_tick + 1000);
}

TEST_F(OnlineUplinkTest, ARefusedLogInIsLoggedClosedAndRetriedFiveSecondsLater) {
  uplink.Online_Init();
  LoopbackConnection refused = ServeLogIn("Wrong password\rbye");
  Collect();
  const auto lines = host.LinesTagged("Online");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].message, "Wrong password : bye");
  EXPECT_EQ(lines[0].link, -1);
  EXPECT_EQ(host.StatusesOf(kColumn),
            (std::vector{LineStatus::Connected, LineStatus::Error, LineStatus::Wait}));
  EXPECT_TRUE(refused.WaitClosed());
  EXPECT_FALSE(uplink.Record().LoggedIn);
  EXPECT_EQ(host.metrics.columns[kColumn].connects_failed.load(), 1u);
  const std::int64_t retry = host.now_tick + 5000;
  EXPECT_EQ(uplink.Record().ReconnectAt, retry);

  TickAt(retry - 1);
  EXPECT_FALSE(uplink.Record().Connector);
  TickAt(retry);
  LoopbackConnection accepted = ServeLogIn("");
  Collect();
  EXPECT_TRUE(uplink.Record().LoggedIn);
  EXPECT_EQ(uplink.ErrText(), "");
  EXPECT_EQ(host.LinesTagged("Online").size(), 1u);
  // The first log-in that worked is no reconnect.
  EXPECT_EQ(host.metrics.columns[kColumn].reconnects.load(), 0u);
  EXPECT_EQ(host.metrics.columns[kColumn].connects_failed.load(), 1u);
}

TEST_F(OnlineUplinkTest, AServerThatHangsUpDuringTheLogInShowsAnErrorAndIsRetriedInFiveSeconds) {
  uplink.Online_Init();
  {
    LoopbackConnection peer = server.Accept();
    ASSERT_TRUE(peer.Open());
    ASSERT_TRUE(peer.Send("Welcome\r\n"));
    EXPECT_EQ(peer.ReadLine(), "s3cret");
  }
  Collect();
  // The hang-up is the column's hint, and the log says why the link retries.
  const auto lines = host.LinesTagged("Online");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].message, "Connection closed by the server");
  EXPECT_EQ(host.StatusesOf(kColumn), (std::vector{LineStatus::Wait, LineStatus::Error}));
  EXPECT_EQ(uplink.ErrText(), "Connection closed by the server");
  EXPECT_FALSE(uplink.Record().LoggedIn);
  const std::int64_t retry = host.now_tick + 5000;
  EXPECT_EQ(uplink.Record().ReconnectAt, retry);

  TickAt(retry);
  LoopbackConnection accepted = ServeLogIn("");
  Collect();
  EXPECT_TRUE(uplink.Record().LoggedIn);
  EXPECT_EQ(uplink.ErrText(), "");
}

TEST_F(OnlineUplinkTest, AServerThatNeverAnswersRunsIntoTheLogInLimit) {
  OnlineUplink quick(host, {.login_line = milliseconds(300)});
  quick.Online_Init();
  LoopbackConnection silent = server.Accept();
  ASSERT_TRUE(silent.Open());
  const auto started = std::chrono::steady_clock::now();
  Collect(quick);
  EXPECT_LT(std::chrono::steady_clock::now() - started, milliseconds(2000));

  ASSERT_EQ(host.LinesTagged("Online").size(), 1u);
  EXPECT_FALSE(host.LinesTagged("Online")[0].message.empty());
  EXPECT_EQ(host.StatusesOf(kColumn).back(), LineStatus::Wait);
  EXPECT_TRUE(silent.WaitClosed());
  EXPECT_EQ(quick.Record().ReconnectAt, host.now_tick + 5000);
}

TEST_F(OnlineUplinkTest, TheSameConnectFailureIsLoggedOnce) {
  Aim(testing::ClosedPort());
  uplink.Online_Init();
  Collect();
  EXPECT_EQ(host.StatusesOf(kColumn), std::vector{LineStatus::Error});
  EXPECT_EQ(uplink.Record().ReconnectAt, host.now_tick + 5000);
  TickAt(host.now_tick + 5000);
  Collect();
  EXPECT_EQ(host.StatusesOf(kColumn), (std::vector{LineStatus::Error, LineStatus::Error}));
  EXPECT_EQ(host.metrics.columns[kColumn].connects_failed.load(), 2u);
  const auto lines = host.LinesTagged("Online");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].message, uplink.ErrText());
}

TEST_F(OnlineUplinkTest, ReapplyingTheSameSettingsKeepsTheLogInAndEmptiesTheQueue) {
  LoopbackConnection peer = LoggedIn();
  Route(0, 2);
  uplink.Online_Init();
  EXPECT_TRUE(uplink.Queue()->empty());
  EXPECT_FALSE(uplink.Record().Connector);
  EXPECT_TRUE(uplink.Record().LoggedIn);
  Route(5, 6);
  uplink.Online_Tick();
  EXPECT_EQ(peer.ReadExactly(Frame(5).size()), Frame(5));
  EXPECT_TRUE(peer.StaysQuiet());
  EXPECT_FALSE(server.Accept(milliseconds(20)).Open());
}

TEST_F(OnlineUplinkTest, ABlankHostOrPortZeroStopsTheUplink) {
  LoopbackConnection peer = LoggedIn();
  host.settings.OnlineIP.Host = " \t ";
  uplink.Online_Init();
  EXPECT_FALSE(uplink.Record().Client);
  EXPECT_EQ(uplink.Queue(), nullptr);
  EXPECT_TRUE(peer.WaitClosed());
  uplink.Online_Tick();
  EXPECT_EQ(host.StatusesOf(kColumn), std::vector{LineStatus::Connected});

  Aim(0);
  uplink.Online_Init();
  EXPECT_FALSE(uplink.Record().Client);
  EXPECT_FALSE(server.Accept(milliseconds(20)).Open());
}

TEST_F(OnlineUplinkTest, AnAttemptStillLoggingInIsAbandonedByByeOrANewAddress) {
  uplink.Online_Init();
  LoopbackConnection silent = server.Accept();
  ASSERT_TRUE(silent.Open());
  // The attempt now waits for a greeting that never comes.
  const TConnectThread* attempt = uplink.Record().Connector.get();
  uplink.Online_Init();
  EXPECT_EQ(uplink.Record().Connector.get(), attempt);
  LoopbackListener other;
  Aim(other.Port());
  auto started = std::chrono::steady_clock::now();
  uplink.Online_Init();
  EXPECT_LT(std::chrono::steady_clock::now() - started, milliseconds(1000));
  EXPECT_TRUE(silent.WaitClosed());
  LoopbackConnection moved = ServeLogIn("", other);
  Collect();
  EXPECT_TRUE(uplink.Record().LoggedIn);

  moved.Close();
  ASSERT_TRUE(TickUntil([&] { return !uplink.Record().Client->Connected(); }));
  TickAt(host.now_tick + 1000);
  ASSERT_TRUE(uplink.Record().Connector);
  LoopbackConnection waiting = other.Accept();
  started = std::chrono::steady_clock::now();
  uplink.Online_Bye();
  EXPECT_LT(std::chrono::steady_clock::now() - started, milliseconds(1000));
  EXPECT_FALSE(uplink.Record().Client);
  EXPECT_TRUE(waiting.WaitClosed());
}

}  // namespace
}  // namespace trivane
