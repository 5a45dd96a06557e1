#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "studio/studio_link.h"
#include "support/fake_desktop.h"
#include "support/fake_link_host.h"

namespace trivane {
namespace {

using testing::FakeDesktop;
using testing::RecordingWindow;

constexpr std::uint32_t kHello = 0x7FFF0000;
constexpr std::uint32_t kGoodbye = 0x7FFF0002;
constexpr std::uint32_t kIdentityQuery = 0x7FFF7FFF;
constexpr int kSourceColumn = status_column::kStudioSource;
constexpr int kDestColumn = status_column::kStudioDest;

std::uint32_t Param(WindowHandle window) {
  return static_cast<std::uint32_t>(window);
}

class StudioLinkTest : public ::testing::Test {
 protected:
  // A studio window that said hello and was admitted at the next scan.
  WindowHandle Studio(RecordingWindow& procedure) {
    const WindowHandle window = desktop.AddWindow("TStudio3", &procedure);
    link.ReceiveCMD(TWinMSG::WM_PEER_CMD, Param(window), kHello);
    Scan();
    return window;
  }
  void Scan() {
    host.now_tick += TWinMSG::kScanIntervalMs;
    if (host.settings.SrcMode == kSrcStudio) {
      link.Studio_Read_Tick();
    } else {
      link.Studio_Send_Tick();
    }
  }
  void Copy(WindowHandle from, std::uint32_t dw_data, const Bytes& payload) {
    link.WMCOPYDATA(Param(from), dw_data, payload);
  }

  testing::FakeLinkHost host;
  FakeDesktop desktop;
  RecordingWindow main_procedure;
  WindowHandle main_window = desktop.CreateTopLevelWindow("TVL_Trivane", main_procedure);
  DesktopStudioLink link{host, desktop, main_window};
};

class StudioSourceTest : public StudioLinkTest {
 protected:
  StudioSourceTest() {
    host.settings.SrcMode = kSrcStudio;
    link.Studio_Init();
  }
};

TEST_F(StudioSourceTest, PeersMessagesAreQueuedAndHandedToTheHandlersOnTheNextTick) {
  RecordingWindow procedure;
  const WindowHandle studio = Studio(procedure);
  EXPECT_EQ(host.StatusesOf(kSourceColumn), std::vector{LineStatus::Connected});
  EXPECT_TRUE(link.Studio_Connected());
  EXPECT_EQ(link.Studio_Queue(), nullptr);  // the router never feeds a source

  const Bytes region = TRegionBlock{.Size = 60000, .Over = 120000}.Encode();
  Copy(studio, 0x00010001, region);
  Copy(studio, 0x00010004, Bytes(8, 0));  // a clock: logged, not routed
  Copy(studio, 0x00010009, Bytes{1});     // a number nobody reads
  Copy(studio, 0x00010002, Bytes{});      // empty: taken, the decoder decides
  // Not from a peer, not type 1, or too long: ignored.
  Copy(desktop.AddWindow("Other"), 0x00010001, region);
  Copy(studio, 0x00020001, region);
  Copy(studio, 0x00010001, Bytes(65535, 1));
  EXPECT_EQ(host.MarksOf(kSourceColumn), 4u);
  EXPECT_TRUE(host.routed.empty());  // nothing is decoded inside the message

  link.Studio_Read_Tick();
  ASSERT_EQ(host.routed.size(), 1u);
  EXPECT_EQ(host.routed[0].num, msg_num::kRegionBlock);
  EXPECT_EQ(host.routed[0].data, region);
  EXPECT_EQ(host.LinesTagged("VL3").size(), 1u);
  bool clock_logged = false;
  for (const auto& line : host.log) clock_logged |= line.message.starts_with("RunClock!");
  EXPECT_TRUE(clock_logged);
}

TEST_F(StudioSourceTest, TheIdentityQueryIsAnsweredWithThePidAndZeroWithoutAChannel) {
  host.settings.PID = -12;
  EXPECT_EQ(link.ReceiveCMD(TWinMSG::WM_PEER_CMD, Param(4711), kIdentityQuery), -12);
  host.settings.PID = 300;
  EXPECT_EQ(link.ReceiveCMD(TWinMSG::WM_PEER_CMD, Param(4711), kIdentityQuery), 300);
  EXPECT_EQ(link.ReceiveCMD(TWinMSG::WM_PEER_CMD, Param(4711), 0x12347FFF), 0);
  link.Studio_Bye();
  EXPECT_EQ(link.ReceiveCMD(TWinMSG::WM_PEER_CMD, Param(4711), kIdentityQuery), 0);
}

TEST_F(StudioSourceTest, AHelloFromNoWindowShowsWaitAndByeSaysGoodbyeToEveryPeer) {
  link.ReceiveCMD(TWinMSG::WM_PEER_CMD, Param(0x5555), kHello);
  Scan();
  EXPECT_EQ(host.StatusesOf(kSourceColumn), std::vector{LineStatus::Wait});
  EXPECT_FALSE(link.Studio_Connected());

  RecordingWindow a, b;
  Studio(a);
  Studio(b);
  // Applying the settings again keeps the channel, its peers and the state.
  link.Studio_Init();
  EXPECT_TRUE(link.Studio_Connected());
  EXPECT_EQ(link.Channel()->Peers().size(), 2u);

  link.Studio_Bye();
  for (const RecordingWindow* studio : {&a, &b}) {
    ASSERT_EQ(studio->messages.size(), 1u);
    EXPECT_EQ(studio->messages[0].message, TWinMSG::WM_PEER_CMD);
    EXPECT_EQ(studio->messages[0].wparam, Param(main_window));
    EXPECT_EQ(studio->messages[0].lparam, kGoodbye);
  }
  EXPECT_EQ(link.Channel(), nullptr);
}

class StudioDestinationTest : public StudioLinkTest {
 protected:
  StudioDestinationTest() {
    host.settings.SrcMode = kSrcTcp;
    host.settings.DstMode = kDstStudio;
    link.Studio_Init();
  }
  void Route(std::uint16_t num, Bytes payload) {
    ASSERT_NE(link.Studio_Queue(), nullptr);
    link.Studio_Queue()->push_back(TCommMsg{kOwnMsgType, num, std::move(payload)});
  }
};

TEST_F(StudioDestinationTest, RoutedMessagesGoToEveryPeerAndAreDroppedWithoutAStudio) {
  Route(1, Bytes{1});
  Route(2, Bytes{2});
  link.Studio_Send_Tick();  // no studio: dropped, counted
  EXPECT_TRUE(link.Studio_Queue()->empty());
  EXPECT_TRUE(host.log.empty());

  RecordingWindow a, b;
  const WindowHandle first = Studio(a);
  Studio(b);
  const auto lines = host.LinesTagged(DesktopStudioLink::kTag);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].message, "2 messages for the studio were dropped while none was connected");

  Route(1, Bytes{7, 8});
  link.Studio_Send_Tick();
  for (const RecordingWindow* studio : {&a, &b}) {
    ASSERT_EQ(studio->copies.size(), 1u);
    EXPECT_EQ(studio->copies[0].wparam, Param(main_window));
    EXPECT_EQ(studio->copies[0].dw_data, 0x00010001u);
    EXPECT_EQ(studio->copies[0].data, (Bytes{7, 8}));
  }
  EXPECT_EQ(host.MarksOf(kDestColumn), 1u);
  const auto& studio_numbers = host.metrics.destinations[0];
  EXPECT_EQ(studio_numbers.dropped_no_peer.load(), 2u);
  EXPECT_EQ(studio_numbers.units_sent.load(), 1u);
  EXPECT_EQ(studio_numbers.bytes_sent.load(), 2u);
  EXPECT_EQ(host.metrics.columns[kDestColumn].reconnects.load(), 0u);

  // One of two studios closes: sending stops although the other is a peer.
  desktop.DestroyTopLevelWindow(first);
  Scan();
  EXPECT_FALSE(link.Studio_Connected());
  EXPECT_EQ(host.StatusesOf(kDestColumn).back(), LineStatus::Wait);
  Route(1, Bytes{9});
  link.Studio_Send_Tick();
  EXPECT_EQ(b.copies.size(), 1u);
  EXPECT_EQ(studio_numbers.dropped_no_peer.load(), 3u);
}

TEST_F(StudioDestinationTest, AStudioThatDoesNotAnswerIsNotWaitedForAndItsLossIsLogged) {
  RecordingWindow procedure;
  const WindowHandle studio = Studio(procedure);
  desktop.SetHung(studio, true);
  Scan();
  ASSERT_EQ(studio, 0x10011);
  ASSERT_EQ(host.LinesTagged(DesktopStudioLink::kTag).size(), 1u);
  EXPECT_EQ(host.LinesTagged(DesktopStudioLink::kTag)[0].message,
            "Studio window 0x00010011 does not respond: nothing is sent to it until it does");
  Route(1, Bytes{1});
  Route(1, Bytes{2});
  link.Studio_Send_Tick();
  EXPECT_TRUE(procedure.copies.empty());
  auto lines = host.LinesTagged(DesktopStudioLink::kTag);
  ASSERT_EQ(lines.size(), 2u);  // said once, not per message
  EXPECT_NE(lines[1].message.find("go unconfirmed"), std::string::npos);
  EXPECT_EQ(host.metrics.destinations[0].unconfirmed.load(), 2u);
  EXPECT_EQ(host.metrics.destinations[0].units_sent.load(), 0u);

  desktop.SetHung(studio, false);
  Scan();
  Route(1, Bytes{3});
  link.Studio_Send_Tick();
  ASSERT_EQ(procedure.copies.size(), 1u);
  lines = host.LinesTagged(DesktopStudioLink::kTag);
  ASSERT_EQ(lines.size(), 4u);  // responds again; and what it missed
  EXPECT_EQ(lines[3].message, "The studio answers again; 2 messages for it were not confirmed");
}

TEST_F(StudioDestinationTest, WithTwoStudiosEachSilentWindowIsNamedAndCountedAsTheLogSays) {
  RecordingWindow a, b;
  const WindowHandle quiet = Studio(a);
  Studio(b);
  const auto& unconfirmed = host.metrics.destinations[0].unconfirmed;
  const auto said = [&] { return host.LinesTagged(DesktopStudioLink::kTag); };

  // One studio takes every message, the other lets the first run out of
  // time and is skipped until the next scan.
  desktop.SetSilent(quiet, true);
  for (std::uint8_t n = 0; n < 3; ++n) Route(1, Bytes{n});
  link.Studio_Send_Tick();
  EXPECT_EQ(b.copies.size(), 3u);
  ASSERT_EQ(said().size(), 1u);
  ASSERT_EQ(quiet, 0x10011);
  EXPECT_EQ(said()[0].message,
            "The studio window 0x00010011 does not answer in time: its messages go unconfirmed");
  EXPECT_EQ(unconfirmed.load(), 3u);

  desktop.SetSilent(quiet, false);
  Scan();
  Route(1, Bytes{3});
  link.Studio_Send_Tick();
  ASSERT_EQ(said().size(), 2u);
  EXPECT_EQ(said()[1].message, "The studio answers again; 3 messages for it were not confirmed");
  EXPECT_EQ(unconfirmed.load(), 3u);
  EXPECT_EQ(host.metrics.destinations[0].units_sent.load(), 4u);

  // A new silence is named again; one message is one.
  desktop.SetSilent(quiet, true);
  Scan();
  Route(1, Bytes{4});
  link.Studio_Send_Tick();
  desktop.SetSilent(quiet, false);
  Scan();
  Route(1, Bytes{5});
  link.Studio_Send_Tick();
  ASSERT_EQ(said().size(), 4u);
  EXPECT_NE(said()[2].message.find("0x00010011 does not answer"), std::string::npos);
  EXPECT_EQ(said()[3].message, "The studio answers again; 1 message for it was not confirmed");
  EXPECT_EQ(unconfirmed.load(), 4u);
}

TEST_F(StudioLinkTest, AStudioThatIsSourceIsNeverAlsoFedWhatItSent) {
  // Only a hand-edited settings file asks for both directions.
  host.settings.SrcMode = kSrcStudio;
  host.settings.DstMode = kDstStudio;
  link.Studio_Init();
  RecordingWindow procedure;
  const WindowHandle studio = Studio(procedure);
  EXPECT_EQ(link.Studio_Queue(), nullptr);
  Copy(studio, 0x00010001, TRegionBlock{.Size = 1000}.Encode());
  link.Studio_Send_Tick();  // must not send the studio's own message back
  EXPECT_TRUE(procedure.copies.empty());
  link.Studio_Read_Tick();
  EXPECT_EQ(host.routed.size(), 1u);
}

}  // namespace
}  // namespace trivane
