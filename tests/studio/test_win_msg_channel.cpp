#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "studio/win_msg_channel.h"
#include "support/fake_desktop.h"

namespace trivane {
namespace {

using testing::FakeDesktop;
using testing::RecordingWindow;

constexpr std::uint32_t kHelloParam = 0x7FFF0000;
constexpr std::uint32_t kGoodbyeParam = 0x7FFF0002;

class ChannelTest : public ::testing::Test {
 protected:
  ChannelTest() {
    channel.OnPeerFound = [this](TWinMSG&, const TWinPeer& peer) { Note("found", peer); };
    channel.OnPeerLost = [this](TWinMSG&, const TWinPeer& peer) { Note("lost", peer); };
    channel.OnPeerHung = [this](TWinMSG&, const TWinPeer& peer) { Note("hung", peer); };
    channel.OnPeerResponding = [this](TWinMSG&, const TWinPeer& peer) { Note("responding", peer); };
  }

  void Note(const std::string& what, const TWinPeer& peer) {
    events.push_back(what + " " + std::to_string(peer.Window));
  }
  std::string Event(const std::string& what, WindowHandle window) const {
    return what + " " + std::to_string(window);
  }
  void Hello(WindowHandle from) {
    channel.Handle_Command(TWinMSG::WM_PEER_CMD, static_cast<std::uint32_t>(from), kHelloParam);
  }
  void Goodbye(WindowHandle from) {
    channel.Handle_Command(TWinMSG::WM_PEER_CMD, static_cast<std::uint32_t>(from), kGoodbyeParam);
  }
  // A studio window that said hello and was admitted.
  WindowHandle Admitted(RecordingWindow& procedure, const std::string& class_name = "TStudio") {
    const WindowHandle window = desktop.AddWindow(class_name, &procedure);
    Hello(window);
    channel.Scan();
    return window;
  }

  FakeDesktop desktop;
  RecordingWindow own;
  WindowHandle own_window = desktop.CreateTopLevelWindow("TVL_Trivane", own);
  TWinMSG channel{desktop, own_window};
  std::vector<std::string> events;
};

TEST_F(ChannelTest, AHelloIsAdmittedAtTheNextScanOnceAndAGoodbyeBeforeItFindsNothing) {
  const WindowHandle studio = desktop.AddWindow(std::string(300, 'S'));
  Hello(studio);
  Goodbye(studio);  // within the same scan period: no peer yet
  Hello(studio);    // a second hello before the scan
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(channel.Peer_Kind(studio), -1);
  EXPECT_EQ(channel.PendingCount(), 2u);

  channel.Scan();
  EXPECT_EQ(events, std::vector{Event("found", studio)});
  ASSERT_EQ(channel.Peers().size(), 1u);
  const TWinPeer& peer = channel.Peers()[0];
  EXPECT_TRUE(peer.Enabled);
  EXPECT_FALSE(peer.Hung);
  EXPECT_EQ(peer.ClassName, std::string(TWinPeer::kClassNameMax, 'S'));
  EXPECT_EQ(channel.Peer_Kind(studio), 0);
  EXPECT_EQ(channel.PendingCount(), 0u);

  // A hello from a peer changes nothing; a goodbye ends it at once.
  Hello(studio);
  EXPECT_EQ(channel.PendingCount(), 0u);
  Goodbye(studio);
  EXPECT_EQ(events.back(), Event("lost", studio));
  EXPECT_TRUE(channel.Peers().empty());
  EXPECT_EQ(channel.Peer_Kind(studio), -1);
}

TEST_F(ChannelTest, OnlyMarkedCommandsCountAndAnIdentityQueryChangesNoPeer) {
  const WindowHandle studio = desktop.AddWindow("TStudio");
  const TWinMSG::Command plain =
      channel.Handle_Command(TWinMSG::WM_PEER_CMD, static_cast<std::uint32_t>(studio), 0x12340000);
  EXPECT_FALSE(plain.is_peer_command);
  const TWinMSG::Command query =
      channel.Handle_Command(TWinMSG::WM_PEER_CMD, static_cast<std::uint32_t>(studio), 0x7FFF7FFF);
  EXPECT_TRUE(query.is_peer_command);
  EXPECT_EQ(query.high, 0x7FFF);
  EXPECT_EQ(query.low, 0x7FFF);
  channel.Scan();
  EXPECT_TRUE(channel.Peers().empty());
  EXPECT_TRUE(events.empty());

  // Any low half other than hello and query is a goodbye.
  RecordingWindow procedure;
  const WindowHandle peer = Admitted(procedure);
  channel.Handle_Command(TWinMSG::WM_PEER_CMD, static_cast<std::uint32_t>(peer), 0x7FFF0009);
  EXPECT_EQ(events.back(), Event("lost", peer));
}

TEST_F(ChannelTest, WindowsThatAreGoneOrChangeClassAreLostAtTheNextScan) {
  // A hello from a handle that is no window: lost at the scan, never admitted.
  Hello(0x7777);
  channel.Scan();
  EXPECT_EQ(events, std::vector{Event("lost", 0x7777)});
  EXPECT_TRUE(channel.Peers().empty());

  RecordingWindow a_procedure, b_procedure;
  const WindowHandle a = Admitted(a_procedure);
  const WindowHandle b = Admitted(b_procedure);
  events.clear();
  desktop.DestroyTopLevelWindow(a);
  desktop.Reuse(b, "Notepad");  // b closed, its handle now another program's
  channel.Scan();
  EXPECT_EQ(events, (std::vector{Event("lost", a), Event("lost", b)}));
  EXPECT_TRUE(channel.Peers().empty());
}

TEST_F(ChannelTest, PeersStaySortedAndScansComeEveryHundredMilliseconds) {
  RecordingWindow procedure;
  std::vector<WindowHandle> windows;
  for (int i = 0; i < 3; ++i) windows.push_back(desktop.AddWindow("TStudio", &procedure));
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) Hello(*it);

  channel.ScanTick(1000);
  ASSERT_EQ(channel.Peers().size(), 3u);
  for (std::size_t i = 0; i < windows.size(); ++i) {
    EXPECT_EQ(channel.Peers()[i].Window, windows[i]);
  }
  const int scans = desktop.enumerations;
  channel.ScanTick(1099);
  EXPECT_EQ(desktop.enumerations, scans);
  channel.ScanTick(1100);
  EXPECT_EQ(desktop.enumerations, scans + 1);

  // A scan started from inside an event is not run inside the one running.
  channel.OnPeerFound = [&](TWinMSG& c, const TWinPeer&) { c.Scan(); };
  Hello(desktop.AddWindow("TStudio"));
  channel.Scan();
  EXPECT_EQ(desktop.enumerations, scans + 2);
}

TEST_F(ChannelTest, WithNoPeerAndNoHelloAScanLeavesTheDesktopAloneButAHelloIsStillAdmitted) {
  RecordingWindow procedure;
  const WindowHandle window = desktop.AddWindow("TStudio", &procedure);
  channel.ScanTick(1000);
  channel.ScanTick(1100);
  EXPECT_EQ(desktop.enumerations, 0);

  Hello(window);
  channel.ScanTick(1200);
  EXPECT_EQ(desktop.enumerations, 1);
  ASSERT_EQ(channel.Peers().size(), 1u);

  // Once the last peer has gone, the scans stop reading the desktop again.
  desktop.DestroyTopLevelWindow(window);
  channel.ScanTick(1300);
  EXPECT_TRUE(channel.Peers().empty());
  channel.ScanTick(1400);
  EXPECT_EQ(desktop.enumerations, 2);
}

TEST_F(ChannelTest, AHungPeerIsNotSentToUntilItRespondsAndUnansweredSendsAreCounted) {
  RecordingWindow a_procedure, b_procedure;
  const WindowHandle a = Admitted(a_procedure);
  const WindowHandle b = Admitted(b_procedure);
  events.clear();
  const Bytes payload{1, 2, 3};

  desktop.SetHung(a, true);
  channel.Scan();
  EXPECT_EQ(events, std::vector{Event("hung", a)});
  TWinMSG::Delivery delivery = channel.Send_Data(0, 1, payload, 2);
  EXPECT_EQ(delivery.sent, 1);
  EXPECT_EQ(delivery.hung, 1);
  EXPECT_EQ(delivery.missed, std::vector{a});
  EXPECT_TRUE(a_procedure.copies.empty());
  ASSERT_EQ(b_procedure.copies.size(), 1u);
  EXPECT_EQ(b_procedure.copies[0].wparam, static_cast<std::uint32_t>(own_window));
  EXPECT_EQ(b_procedure.copies[0].dw_data, 0x00010002u);
  EXPECT_EQ(b_procedure.copies[0].data, payload);
  channel.Broadcast_Command(TWinMSG::PEER_MARKER, TWinMSG::kGoodbye);
  EXPECT_TRUE(a_procedure.messages.empty());
  EXPECT_EQ(b_procedure.messages.size(), 1u);

  desktop.SetHung(a, false);
  desktop.SetSilent(b, true);
  channel.Scan();
  EXPECT_EQ(events.back(), Event("responding", a));
  delivery = channel.Send_Data(0, 1, payload, 2);
  EXPECT_EQ(delivery.sent, 1);
  EXPECT_EQ(delivery.unanswered, 1);
  EXPECT_EQ(a_procedure.copies.size(), 1u);
  // A peer that let a send run out of time is not waited for again before
  // the next scan, which gives it one more try.
  const std::size_t tries = desktop.SentTo(kWmCopyData).size();
  delivery = channel.Send_Data(0, 1, payload, 2);
  EXPECT_EQ(delivery.unanswered, 1);
  EXPECT_EQ(delivery.missed, std::vector{b});
  EXPECT_EQ(desktop.SentTo(kWmCopyData).size(), tries + 1);  // only to a
  channel.Scan();
  channel.Send_Data(0, 1, payload, 2);
  EXPECT_EQ(desktop.SentTo(kWmCopyData).size(), tries + 3);
  desktop.SetSilent(b, false);

  // Data goes only to the kind asked for, and without a hung check nothing changes.
  EXPECT_EQ(channel.Send_Data(5, 1, payload, 2).sent, 0);
  desktop.can_tell_hung = false;
  desktop.SetHung(a, true);
  const std::size_t heard = events.size();
  channel.Scan();
  EXPECT_EQ(events.size(), heard);
}

TEST_F(ChannelTest, AGoodbyeDuringASendLoopEndsThatPeerWithoutSkippingOrRepeatingOthers) {
  RecordingWindow a_procedure, b_procedure, c_procedure;
  const WindowHandle a = Admitted(a_procedure);
  const WindowHandle b = Admitted(b_procedure);
  const WindowHandle c = Admitted(c_procedure);
  events.clear();
  // While the send to a waits, b says goodbye and a says goodbye for itself.
  a_procedure.during_copy_data = [&] {
    Goodbye(b);
    Goodbye(a);
  };
  const TWinMSG::Delivery delivery = channel.Send_Data(0, 1, Bytes{9}, 1);
  EXPECT_EQ(delivery.sent, 2);
  EXPECT_EQ(a_procedure.copies.size(), 1u);
  EXPECT_TRUE(b_procedure.copies.empty());
  EXPECT_EQ(c_procedure.copies.size(), 1u);
  EXPECT_EQ(events, (std::vector{Event("lost", b), Event("lost", a)}));
  ASSERT_EQ(channel.Peers().size(), 1u);
  EXPECT_EQ(channel.Peers()[0].Window, c);
}

TEST(Channel, WithoutPeersNothingIsSentAndDestructionFiresNoEvent) {
  FakeDesktop desktop;
  RecordingWindow own, studio;
  const WindowHandle own_window = desktop.CreateTopLevelWindow("TVL_Trivane", own);
  int events = 0;
  {
    TWinMSG channel(desktop, own_window);
    channel.OnPeerLost = [&](TWinMSG&, const TWinPeer&) { ++events; };
    channel.Broadcast_Command(TWinMSG::PEER_MARKER, TWinMSG::kGoodbye);
    EXPECT_EQ(channel.Send_Data(0, 1, Bytes{1}, 1).sent, 0);
    EXPECT_TRUE(desktop.sent.empty());

    const WindowHandle window = desktop.AddWindow("TStudio", &studio);
    channel.Handle_Command(TWinMSG::WM_PEER_CMD, static_cast<std::uint32_t>(window), kHelloParam);
    channel.Scan();
    ASSERT_EQ(channel.Peers().size(), 1u);
    desktop.DestroyTopLevelWindow(window);
  }
  EXPECT_EQ(events, 0);
  EXPECT_TRUE(studio.messages.empty());
}

}  // namespace
}  // namespace trivane
