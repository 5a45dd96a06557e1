#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "links/router.h"
#include "support/bus_studio.h"
#include "support/fake_desktop.h"
#include "support/relay_process.h"
#include "tools/unit_builders.h"

namespace trivane {
namespace {

using namespace std::chrono_literals;
using testing::BusStudio;
using testing::ConnectChainPeer;
using testing::FreePort;
using testing::LoopbackConnection;
using testing::LoopbackListener;
using testing::RecordingWindow;
using testing::RelayProcess;
using Clock = std::chrono::steady_clock;

constexpr std::int32_t kPid = 42;

class StudioRelayTest : public ::testing::Test {
 protected:
  testing::TempDir dir;
  RecordingWindow studio;
  BusStudio peer{dir / "bus", studio};
};

// A studio may greet the relay the moment its window appears: the studio
// link is listening before the relay serves the first message.
TEST_F(StudioRelayTest, AStudioThatGreetsTheWindowTheMomentItAppearsIsAdmitted) {
  ASSERT_TRUE(peer.Usable());
  const std::uint16_t server_port = FreePort();
  RelayProcess relay(
      "SrcMode=0\r\nDstMode=2\r\nPID=42\r\nServerPort=" + std::to_string(server_port) + "\r\n");
  const WindowHandle window = peer.RelayWindow(10s, 1ms);
  ASSERT_NE(window, 0);
  const auto identity = peer.Identity(window);
  ASSERT_TRUE(identity.Answered());
  EXPECT_EQ(identity.result, kPid);
  ASSERT_TRUE(peer.SayHello(window));

  LoopbackConnection chain = ConnectChainPeer(server_port);
  ASSERT_TRUE(chain.Open());
  const Bytes region = TRegionBlock{.Size = 30000}.Encode();
  ASSERT_TRUE(peer.SendCopyData(window, 0x00010001, region).Answered());
  EXPECT_EQ(chain.ReadExactly(kVl3HeaderSize + region.size(), 10s), BuildVl3Frame(1, 1, region));
  EXPECT_EQ(relay.Stop(), 0);
}

TEST_F(StudioRelayTest, TheStudioAsSourceIsLoggedFiledAndRoutedAndStrangersAreIgnored) {
  ASSERT_TRUE(peer.Usable());
  const std::uint16_t server_port = FreePort();
  RelayProcess relay(
      "SrcMode=0\r\nDstMode=2\r\nPID=42\r\nServerPort=" + std::to_string(server_port) + "\r\n");
  // Answered with PID once the studio link runs.
  const WindowHandle window = peer.ReadyRelayWindow(kPid);
  ASSERT_NE(window, 0);

  LoopbackConnection chain = ConnectChainPeer(server_port);
  ASSERT_TRUE(chain.Open());

  // A window that never said hello is not listened to.
  RecordingWindow stranger;
  const WindowHandle stranger_window = peer.Bus().CreateTopLevelWindow("TStudio3", stranger);
  const Bytes region = TRegionBlock{.Size = 60000, .Over = 120000}.Encode();
  EXPECT_TRUE(peer.Bus()
                  .SendCopyData(window, static_cast<std::uint32_t>(stranger_window), 0x00010001,
                                region, 1000ms)
                  .Answered());

  ASSERT_TRUE(peer.SayHello(window));
  ASSERT_TRUE(peer.SendCopyData(window, 0x00010001, region).Answered());
  const auto line = relay.WaitFor("REGION");
  ASSERT_TRUE(line.has_value());
  EXPECT_TRUE(line->ends_with("\tVL3")) << *line;
  const Bytes frame = BuildVl3Frame(1, 1, region);
  EXPECT_EQ(chain.ReadExactly(frame.size(), 5000ms), frame);
  EXPECT_TRUE(chain.StaysQuiet(300ms));  // the stranger's block went nowhere
  EXPECT_NE(relay.DailyFile().find("Out "), std::string::npos);
  EXPECT_EQ(relay.Stop(), 0);
}

TEST_F(StudioRelayTest, TheStudioAsDestinationGetsWhatASourceSends) {
  ASSERT_TRUE(peer.Usable());
  LoopbackListener source;
  RelayProcess relay("SrcMode=1\r\nDstMode=1\r\nPID=42\r\n" +
                     testing::SourceEntry(0, source.Port()));
  const WindowHandle window = peer.ReadyRelayWindow(kPid);
  ASSERT_NE(window, 0);
  ASSERT_TRUE(peer.SayHello(window));
  LoopbackConnection feed = source.Accept(10s);
  ASSERT_TRUE(feed.Open());

  const Bytes region = TRegionBlock{.Size = 30000, .Over = 90000}.Encode();
  ASSERT_TRUE(feed.Send(BuildVl3Frame(1, 1, region)));
  ASSERT_TRUE(peer.PumpUntil([&] { return !studio.copies.empty(); }));
  EXPECT_EQ(studio.copies[0].wparam, static_cast<std::uint32_t>(window));
  EXPECT_EQ(studio.copies[0].dw_data, 0x00010001u);
  EXPECT_EQ(studio.copies[0].data, region);

  // At its end the relay says goodbye to the studio.
  std::optional<int> status;
  std::jthread stopper([&] { status = relay.Stop(); });
  ASSERT_TRUE(peer.PumpUntil([&] {
    return std::any_of(studio.messages.begin(), studio.messages.end(), [](const auto& m) {
      return m.message == BusStudio::kPeerCommand && m.lparam == 0x7FFF0002;
    });
  }));
  stopper.join();
  EXPECT_EQ(status, 0);
}

TEST_F(StudioRelayTest, AVanishedStudioIsNoticedAndTheNextHearsWhatWasDropped) {
  ASSERT_TRUE(peer.Usable());
  LoopbackListener source;
  RelayProcess relay("SrcMode=1\r\nDstMode=1\r\nPID=42\r\n" +
                     testing::SourceEntry(0, source.Port()));
  const WindowHandle window = peer.ReadyRelayWindow(kPid);
  ASSERT_NE(window, 0);
  ASSERT_TRUE(peer.SayHello(window));
  LoopbackConnection feed = source.Accept(10s);
  ASSERT_TRUE(feed.Open());

  // Gone without a goodbye, as a crashed studio goes; the relay's next scan
  // notices, so what comes next is not sent into the void but counted.
  peer.Vanish();
  std::this_thread::sleep_for(300ms);
  ASSERT_TRUE(feed.Send(BuildVl3Frame(1, 1, TRegionBlock{.Size = 1000}.Encode())));
  ASSERT_TRUE(relay.WaitFor("REGION").has_value());
  relay.Drain(100ms);

  RecordingWindow next;
  ASSERT_NE(peer.Reopen(next), 0);
  ASSERT_TRUE(peer.SayHello(window));
  const auto line = relay.WaitFor("dropped while none was connected");
  ASSERT_TRUE(line.has_value());
  EXPECT_NE(line->find("\t1 message for the studio was dropped"), std::string::npos) << *line;
  EXPECT_TRUE(line->ends_with("\tZUDovivi")) << *line;
}

TEST_F(StudioRelayTest, AStudioThatStopsServingItsMessagesDoesNotHoldTheChainServer) {
  ASSERT_TRUE(peer.Usable());
  LoopbackListener source;
  const std::uint16_t server_port = FreePort();
  RelayProcess relay("SrcMode=1\r\nDstMode=3\r\nPID=42\r\nServerPort=" +
                     std::to_string(server_port) + "\r\n" + testing::SourceEntry(0, source.Port()));
  const WindowHandle window = peer.ReadyRelayWindow(kPid);
  ASSERT_NE(window, 0);
  ASSERT_TRUE(peer.SayHello(window));  // and from now on the studio serves nothing
  LoopbackConnection feed = source.Accept(10s);
  ASSERT_TRUE(feed.Open());
  LoopbackConnection chain = ConnectChainPeer(server_port);
  ASSERT_TRUE(chain.Open());

  constexpr int kFrames = 60;
  Bytes expected;
  for (int n = 0; n < kFrames; ++n) {
    const Bytes frame =
        BuildVl3Frame(1, 1, TRegionBlock{.Size = 1000 + static_cast<std::uint32_t>(n)}.Encode());
    ASSERT_TRUE(feed.Send(frame));
    expected.insert(expected.end(), frame.begin(), frame.end());
    std::this_thread::sleep_for(20ms);
  }
  // Sends that each waited for the studio would hold the last of them about
  // a second behind; with the studio skipped they are all there already.
  EXPECT_EQ(chain.ReadExactly(expected.size(), 500ms), expected);
  EXPECT_EQ(relay.Count("does not answer in time"), 1);
}

TEST_F(StudioRelayTest, FromAStudioSourceANoticeIsEchoedAndRoutedAndAClockOnlyLogged) {
  ASSERT_TRUE(peer.Usable());
  const std::uint16_t server_port = FreePort();
  RelayProcess relay(
      "SrcMode=0\r\nDstMode=2\r\nPID=42\r\nServerPort=" + std::to_string(server_port) + "\r\n");
  const WindowHandle window = peer.ReadyRelayWindow(kPid);
  ASSERT_NE(window, 0);
  LoopbackConnection chain = ConnectChainPeer(server_port);
  ASSERT_TRUE(chain.Open());
  ASSERT_TRUE(peer.SayHello(window));

  ASSERT_TRUE(peer.SendCopyData(window, 0x00010004, sim::ClockPayload(45634.5)).Answered());
  const Bytes notice = TBlockNotice{.Kind = 1, .Size = 30000, .Text = "Spot"}.Encode();
  ASSERT_TRUE(peer.SendCopyData(window, 0x00010002, notice).Answered());
  EXPECT_TRUE(relay.WaitFor("RunClock! Time=12:00:00 08.12.24").has_value());
  const auto echo = relay.WaitFor(": Spot");
  ASSERT_TRUE(echo.has_value());
  EXPECT_TRUE(echo->ends_with("\tVL3")) << *echo;
  // Only the notice goes on: the clock came first and went nowhere.
  const Bytes frame = BuildVl3Frame(1, 2, notice);
  EXPECT_EQ(chain.ReadExactly(frame.size(), 5000ms), frame);
  EXPECT_TRUE(chain.StaysQuiet(300ms));
}

TEST_F(StudioRelayTest, AScheduledBlockReachesTheStudioAfterItsDelayOrAtOnceWithIgnoreDelay) {
  ASSERT_TRUE(peer.Usable());
  for (const bool ignore_delay : {false, true}) {
    SCOPED_TRACE(ignore_delay ? "IgnoreDelay=1" : "IgnoreDelay=0");
    LoopbackListener source;
    RelayProcess relay(
        "SrcMode=1\r\nDstMode=1\r\nPID=42\r\nIgnoreDelay=" + std::string(ignore_delay ? "1" : "0") +
        "\r\n" + testing::SourceEntry(0, source.Port()));
    const WindowHandle window = peer.ReadyRelayWindow(kPid);
    ASSERT_NE(window, 0);
    ASSERT_TRUE(peer.SayHello(window));
    LoopbackConnection feed = source.Accept(10s);
    ASSERT_TRUE(feed.Open());
    studio.copies.clear();

    const auto sent = Clock::now();
    ASSERT_TRUE(feed.Send(sim::DrcpBlockElement(1500, 45000, 90000)));
    ASSERT_TRUE(peer.PumpUntil([&] { return !studio.copies.empty(); }, 6s));
    const auto took = Clock::now() - sent;
    if (ignore_delay) {
      EXPECT_LT(took, 1000ms);
    } else {
      EXPECT_GE(took, 1400ms);
    }
    EXPECT_EQ(studio.copies[0].dw_data, 0x00010001u);
    const auto block = TRegionBlock::Decode(studio.copies[0].data);
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(block->Size, 45000u);
    EXPECT_EQ(block->Over, 90000u);
  }
}

TEST_F(StudioRelayTest, WithoutTheStudioInUseTheIdentityQueryGetsZero) {
  ASSERT_TRUE(peer.Usable());
  RelayProcess relay("SrcMode=1\r\nDstMode=0\r\nPID=42\r\n");
  const WindowHandle window = peer.RelayWindow();
  ASSERT_NE(window, 0);
  peer.Pump(200ms);  // past the relay's first tick, which applies the settings
  const SendOutcome identity = peer.Identity(window);
  ASSERT_TRUE(identity.Answered());
  EXPECT_EQ(identity.result, 0);
}

}  // namespace
}  // namespace trivane
