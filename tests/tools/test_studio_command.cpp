#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/system_clock.h"
#include "platform/system_text_codec.h"
#include "protocols/records.h"
#include "support/fake_desktop.h"
#include "tools/commands.h"
#include "tools/hex.h"
#include "tools/unit_builders.h"

namespace trivane::sim {
namespace {

using namespace std::chrono_literals;
using trivane::testing::FakeDesktop;
using trivane::testing::RecordingWindow;
using Steady = std::chrono::steady_clock;

constexpr std::uint32_t kPeerCmd = 2102;
constexpr std::uint32_t kHello = 0x7FFF0000;
constexpr std::uint32_t kQuery = 0x7FFF7FFF;
constexpr std::uint32_t kGoodbye = 0x7FFF0002;
const std::string kTitle = "Рекламный блок";

// The fake desktop with the studio's window known, sends timed, and the other
// side's sends held back until the studio pumps, as a bus delivers them.
class StudioDesktop : public FakeDesktop {
 public:
  WindowHandle CreateTopLevelWindow(std::string_view class_name,
                                    WindowProcedure& procedure) override {
    if (unusable) return 0;
    studio_class = class_name;
    studio = FakeDesktop::CreateTopLevelWindow(class_name, procedure);
    return studio;
  }
  void DestroyTopLevelWindow(WindowHandle window) override {
    destroyed.push_back(window);
    FakeDesktop::DestroyTopLevelWindow(window);
  }
  SendOutcome SendMessage(WindowHandle to, std::uint32_t message, std::uint32_t wparam,
                          std::uint32_t lparam, std::chrono::milliseconds limit) override {
    sent_at.push_back(Steady::now());
    return FakeDesktop::SendMessage(to, message, wparam, lparam, limit);
  }
  SendOutcome SendCopyData(WindowHandle to, std::uint32_t wparam, std::uint32_t dw_data,
                           ByteView data, std::chrono::milliseconds limit) override {
    sent_at.push_back(Steady::now());
    return FakeDesktop::SendCopyData(to, wparam, dw_data, data, limit);
  }
  void Pump() override {
    pumped_after.push_back(sent.size());
    auto due = std::move(at_pump);
    at_pump.clear();
    for (const auto& send : due) send();
  }
  void WaitForInput(Steady::time_point until) override {
    if (at_pump.empty()) std::this_thread::sleep_until(until);
  }

  // What the studio's window is sent from `relay` at its next pump.
  void ReplyAtPump(WindowHandle relay, std::uint16_t num, Bytes payload) {
    at_pump.push_back([this, relay, num, payload] {
      FakeDesktop::SendCopyData(studio, static_cast<std::uint32_t>(relay), (1u << 16) | num,
                                payload, 100ms);
    });
  }

  bool unusable = false;
  WindowHandle studio = 0;
  std::string studio_class;
  std::vector<WindowHandle> destroyed;
  std::vector<Steady::time_point> sent_at;
  std::vector<std::size_t> pumped_after;  // sends made before each pump
  std::vector<std::function<void()>> at_pump;
};

class StudioCommand : public ::testing::Test {
 protected:
  StudioCommand() {
    relay.answer = -12345;  // the relay's PID as its identity answer gives it
    relay_window = desktop.AddWindow("TVL_Trivane", &relay);
    options.admit_wait_ms = 30;
  }

  int Run() {
    return RunStudio(
        options, *codepage, [this](std::string_view line) { lines.emplace_back(line); }, desktop);
  }
  // The exit status a thrown failure ends the program with.
  int RunFailing() {
    try {
      Run();
    } catch (const SimFailure& failure) {
      return failure.ExitCode();
    }
    return 0;
  }
  std::string W(WindowHandle window) const { return std::to_string(window); }
  std::size_t Line(const std::string& line) const {
    return static_cast<std::size_t>(std::find(lines.begin(), lines.end(), line) - lines.begin());
  }

  std::unique_ptr<SystemTextCodec> codepage = SystemTextCodec::Open("WINDOWS-1251");
  StudioDesktop desktop;
  RecordingWindow relay;
  WindowHandle relay_window = 0;
  StudioOptions options;
  std::vector<std::string> lines;
};

TEST_F(StudioCommand, GreetsEveryRelayThenSendsInOrderOnceAdmittedThenSaysGoodbye) {
  RecordingWindow second;
  const WindowHandle second_relay = desktop.AddWindow("TVL_Trivane", &second);
  RecordingWindow other;
  desktop.AddWindow("TStudio3", &other);  // another studio: not a relay
  options.messages = {Vl3RegionUnit{60000, 120000, 0}, Vl3NoticeUnit{1, 90500, kTitle},
                      Vl3MessageUnit{1, 7, {0x00, 0xFF}}, ClockUnit{}};

  ASSERT_EQ(Run(), 0);
  const WindowHandle studio = desktop.studio;
  const std::string a = W(relay_window), b = W(second_relay);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "window " + W(studio),
                       "hello " + a,
                       "hello " + b,
                       "sent " + a + " type=1 num=1 len=18",
                       "sent " + b + " type=1 num=1 len=18",
                       "sent " + a + " type=1 num=2 len=19",
                       "sent " + b + " type=1 num=2 len=19",
                       "sent " + a + " type=1 num=7 len=2",
                       "sent " + b + " type=1 num=7 len=2",
                       "sent " + a + " type=1 num=4 len=8",
                       "sent " + b + " type=1 num=4 len=8",
                       "goodbye " + a,
                       "goodbye " + b,
                   }));
  EXPECT_EQ(desktop.studio_class, "TStudio3");
  EXPECT_EQ(desktop.destroyed, std::vector<WindowHandle>{studio});
  EXPECT_TRUE(other.messages.empty() && other.copies.empty());

  ASSERT_EQ(relay.messages.size(), 2u);
  EXPECT_EQ(relay.messages[0].message, kPeerCmd);
  EXPECT_EQ(relay.messages[0].wparam, static_cast<std::uint32_t>(studio));
  EXPECT_EQ(relay.messages[0].lparam, kHello);
  EXPECT_EQ(relay.messages[1].lparam, kGoodbye);
  ASSERT_EQ(relay.copies.size(), 4u);
  for (const auto& copy : relay.copies) EXPECT_EQ(copy.wparam, static_cast<std::uint32_t>(studio));
  EXPECT_EQ(relay.copies[0].dw_data, 0x10001u);
  const auto block = TRegionBlock::Decode(relay.copies[0].data);
  ASSERT_TRUE(block);
  EXPECT_EQ(block->Size, 60000u);
  EXPECT_EQ(block->Over, 120000u);
  const auto notice = TBlockNotice::Decode(relay.copies[1].data);
  ASSERT_TRUE(notice);
  EXPECT_EQ(notice->Size, 90500u);
  EXPECT_EQ(notice->Text, codepage->ToWire(kTitle));  // the wire code page, not UTF-8
  EXPECT_EQ(relay.copies[2].dw_data, 0x10007u);
  const double now = SystemClock().Now();
  EXPECT_LT(std::fabs(*LoadF64(relay.copies[3].data, 0) - now), 1.0 / 1440);  // within a minute

  // The relay admits at its scan: the studio served its window after both
  // hellos and waited the admission time before the first data.
  EXPECT_NE(std::find(desktop.pumped_after.begin(), desktop.pumped_after.end(), 2u),
            desktop.pumped_after.end());
  EXPECT_GE(desktop.sent_at.at(2) - desktop.sent_at.at(1), 30ms);
}

TEST_F(StudioCommand, AsksTheIdentityOfTheWindowGivenOnly) {
  RecordingWindow second;
  desktop.AddWindow("TVL_Trivane", &second);
  options.window = relay_window;
  options.pid_query = true;

  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "window " + W(desktop.studio), "hello " + W(relay_window),
                       "pid " + W(relay_window) + " -12345", "goodbye " + W(relay_window)}));
  ASSERT_EQ(relay.messages.size(), 3u);
  EXPECT_EQ(relay.messages[1].lparam, kQuery);
  EXPECT_TRUE(second.messages.empty());
}

TEST_F(StudioCommand, NoRelayWindowOrNoUsableDesktopIsStatusOneABadNoticeTwo) {
  options.window = relay_window + 100;
  options.messages = {Vl3RegionUnit{1000, 2000, 0}};
  EXPECT_EQ(RunFailing(), 1);
  EXPECT_TRUE(relay.messages.empty() && relay.copies.empty());
  EXPECT_EQ(desktop.destroyed, std::vector<WindowHandle>{desktop.studio});

  StudioDesktop empty;
  empty.AddWindow("TStudio3");
  EXPECT_THROW(RunStudio(
                   {}, *codepage, [](std::string_view) {}, empty),
               SimFailure);
  EXPECT_TRUE(empty.sent.empty());

  options.window.reset();
  desktop.unusable = true;
  EXPECT_EQ(RunFailing(), 1);
  EXPECT_TRUE(relay.messages.empty());

  // A notice the relay would not take is a bad argument, found before any hello.
  desktop.unusable = false;
  desktop.destroyed.clear();
  options.messages = {Vl3NoticeUnit{1, 1000, std::string(65530, 'x')}};
  EXPECT_EQ(RunFailing(), 2);
  EXPECT_TRUE(relay.messages.empty());
  EXPECT_TRUE(desktop.destroyed.empty());
}

TEST_F(StudioCommand, VanishingSaysNoGoodbyeButTakesItsWindowAway) {
  options.vanish = true;
  options.messages = {Vl3RegionUnit{1000, 2000, 0}};
  ASSERT_EQ(Run(), 0);
  ASSERT_EQ(relay.messages.size(), 1u);
  EXPECT_EQ(relay.messages[0].lparam, kHello);
  EXPECT_EQ(relay.copies.size(), 1u);
  EXPECT_EQ(lines.back(), "vanished");
  EXPECT_EQ(desktop.destroyed, std::vector<WindowHandle>{desktop.studio});
}

TEST_F(StudioCommand, PrintsWhatTheRelaySendsWhileReceivingAndNothingMoreToARelayThatLeft) {
  options.receive_ms = 50;
  const Bytes region = RegionBlockPayload(60000, 120000, 0);
  desktop.ReplyAtPump(relay_window, 1, region);
  desktop.ReplyAtPump(relay_window, 2, BlockNoticePayload(1, 90500, codepage->ToWire(kTitle)));
  desktop.ReplyAtPump(relay_window, 2, {0x01});
  desktop.at_pump.push_back([this] {
    desktop.FakeDesktop::SendMessage(desktop.studio, kPeerCmd, relay_window, 0x1234, 100ms);
    desktop.FakeDesktop::SendMessage(desktop.studio, kPeerCmd, relay_window, kGoodbye, 100ms);
  });

  ASSERT_EQ(Run(), 0);
  const std::string from = "COPYDATA from=" + W(relay_window) + " ";
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "window " + W(desktop.studio),
                       "hello " + W(relay_window),
                       from + "type=1 num=1 len=18 hex=" + ToHex(region) +
                           " size=60000 over=120000 extra=0",
                       from + "type=1 num=2 len=19 hex=" +
                           ToHex(BlockNoticePayload(1, 90500, codepage->ToWire(kTitle))) +
                           " kind=1 size=90500 text=\"" + kTitle + "\"",
                       from + "type=1 num=2 len=1 hex=01 incomplete",
                       "MESSAGE msg=2102 wparam=" + W(relay_window) + " lparam=0x00001234",
                       "goodbye from " + W(relay_window),
                   }));
  ASSERT_EQ(relay.messages.size(), 1u);  // the hello only: it left, so no goodbye to it
}

TEST_F(StudioCommand, AHungStudioServesNothingUntilTheHangIsOver) {
  options.messages = {Vl3RegionUnit{1000, 2000, 0}};
  options.hang_ms = 30;
  options.receive_ms = 30;
  relay.during_copy_data = [this] { desktop.ReplyAtPump(relay_window, 4, ClockPayload(45000)); };

  ASSERT_EQ(Run(), 0);
  const std::size_t served = Line("COPYDATA from=" + W(relay_window) + " type=1 num=4 len=8 hex=" +
                                  ToHex(ClockPayload(45000)) + " clock=2023-03-15T00:00:00.000");
  ASSERT_LT(served, lines.size());
  EXPECT_LT(Line("hanging 30 ms"), Line("serving again"));
  EXPECT_LT(Line("serving again"), served);
  EXPECT_EQ(lines.back(), "goodbye " + W(relay_window));
}

}  // namespace
}  // namespace trivane::sim
