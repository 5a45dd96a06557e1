#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/termination_signals.h"
#include "platform/windows/win32_desktop.h"
#include "support/sum_window.h"

namespace trivane {
namespace {

using Kind = SendOutcome::Kind;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kWmUser = 0x0400;

using testing::Fnv;
using testing::SumWindow;

template <typename Done>
bool Eventually(Done done, milliseconds limit = std::chrono::seconds(3)) {
  const auto end = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() >= end) return false;
    std::this_thread::sleep_for(milliseconds(5));
  }
  return true;
}

bool Listed(Win32Desktop& desktop, WindowHandle handle, const std::string& class_name) {
  const auto windows = desktop.EnumWindows();
  return std::any_of(windows.begin(), windows.end(), [&](const DesktopWindow& w) {
    return w.handle == handle && w.class_name == class_name;
  });
}

void ServeFor(Win32Desktop& desktop, milliseconds period, const std::function<bool()>& done = {}) {
  const auto end = Clock::now() + period;
  while (Clock::now() < end && !(done && done())) {
    desktop.WaitForInput(Clock::now() + milliseconds(10));
    desktop.Pump();
  }
}

// A second program's part, played by a thread: windows belong to the thread
// that made them, and a send between threads waits as one between programs.
class Peer {
 public:
  explicit Peer(std::function<void(Win32Desktop&, Peer&)> body)
      : thread_([this, body = std::move(body)] {
          Win32Desktop desktop;
          body(desktop, *this);
        }) {}
  ~Peer() {
    stop = true;
    thread_.join();
  }
  std::atomic<WindowHandle> window{0};
  std::atomic<bool> stop{false};

 private:
  std::thread thread_;
};

TEST(Win32Desktop, HiddenTopLevelWindowsAreListedWithTheirClassNamesUntilDestroyed) {
  Win32Desktop desktop;
  SumWindow procedure;
  const WindowHandle window = desktop.CreateTopLevelWindow("TVL_Trivane", procedure);
  ASSERT_NE(window, 0);
  EXPECT_FALSE(IsWindowVisible(Win32Desktop::ToHwnd(window)));
  // Not a message-only window: those have a parent and no place in the list.
  EXPECT_EQ(GetAncestor(Win32Desktop::ToHwnd(window), GA_PARENT), GetDesktopWindow());
  EXPECT_TRUE(Listed(desktop, window, "TVL_Trivane"));
  const WindowHandle second = desktop.CreateTopLevelWindow("TVL_Trivane", procedure);
  EXPECT_NE(second, 0);
  EXPECT_NE(second, window);
  desktop.DestroyTopLevelWindow(window);
  EXPECT_FALSE(Listed(desktop, window, "TVL_Trivane"));
  EXPECT_EQ(desktop.SendMessage(window, kWmUser, 1, 2, milliseconds(100)).kind, Kind::kNoWindow);
  EXPECT_TRUE(Listed(desktop, second, "TVL_Trivane"));
}

TEST(Win32Desktop, AWindowIsServedOnlyWhileItsThreadPumpsAndItsOwnSendIsAPlainCall) {
  Win32Desktop desktop;
  SumWindow procedure;
  const WindowHandle mine = desktop.CreateTopLevelWindow("Owned", procedure);
  ASSERT_NE(mine, 0);
  SendOutcome early;
  SendOutcome late;
  std::thread other([&] {
    Win32Desktop theirs;
    early = theirs.SendMessage(mine, kWmUser, 1, 2, milliseconds(200));
    late = theirs.SendMessage(mine, kWmUser, 1, 2, milliseconds(5000));
  });
  std::this_thread::sleep_for(milliseconds(400));  // the first send gives up meanwhile
  ServeFor(desktop, std::chrono::seconds(6), [&] { return procedure.messages >= 1; });
  other.join();
  EXPECT_EQ(early.kind, Kind::kTimedOut);
  EXPECT_EQ(late.kind, Kind::kAnswered);
  EXPECT_EQ(late.result, 3);
  EXPECT_EQ(desktop.SendMessage(mine, kWmUser, 5, 6, milliseconds(0)).result, 11);
  // Negative answers come back whole.
  procedure.on_message = [](std::uint32_t, std::uint32_t, std::uint32_t) { return -2; };
  EXPECT_EQ(desktop.SendMessage(mine, kWmUser, 0, 0, milliseconds(100)).result, -2);
}

TEST(Win32Desktop, TwoSidesSendingToEachOtherAtOnceBothGetEveryAnswer) {
  constexpr int kRounds = 100;
  std::atomic<WindowHandle> relay_window{0};
  std::atomic<int> peer_right{-1};
  Peer studio([&](Win32Desktop& desktop, Peer& self) {
    SumWindow procedure;
    procedure.on_message = [&](std::uint32_t message, std::uint32_t w, std::uint32_t l) {
      // A send from inside a message: the relay, waiting on us, serves it.
      if (message == kWmUser + 1) {
        return desktop.SendMessage(relay_window, kWmUser + 2, 0, 0, milliseconds(2000)).result + 1;
      }
      return static_cast<std::int32_t>(w + l);
    };
    self.window = desktop.CreateTopLevelWindow("TStudio", procedure);
    while (relay_window == 0 && !self.stop) std::this_thread::sleep_for(milliseconds(1));
    int right = 0;
    for (int i = 0; i < kRounds; ++i) {
      const auto out = desktop.SendMessage(relay_window, kWmUser, i, 1000, milliseconds(2000));
      if (out.Answered() && out.result == i + 1000) ++right;
    }
    peer_right = right;
    while (!self.stop) {
      desktop.WaitForInput(Clock::now() + milliseconds(10));
      desktop.Pump();
    }
  });
  Win32Desktop desktop;
  SumWindow procedure;
  procedure.on_message = [](std::uint32_t message, std::uint32_t w, std::uint32_t l) {
    return message == kWmUser + 2 ? 77 : static_cast<std::int32_t>(w + l);
  };
  ASSERT_TRUE(Eventually([&] { return studio.window != 0; }));
  relay_window = desktop.CreateTopLevelWindow("TVL_Trivane", procedure);
  int right = 0;
  for (int i = 0; i < kRounds; ++i) {
    const auto out = desktop.SendMessage(studio.window, kWmUser, 2 * i, 1, milliseconds(2000));
    if (out.Answered() && out.result == 2 * i + 1) ++right;
  }
  EXPECT_EQ(right, kRounds);
  ServeFor(desktop, std::chrono::seconds(10), [&] { return peer_right >= 0; });
  EXPECT_EQ(peer_right, kRounds);
  const auto nested = desktop.SendMessage(studio.window, kWmUser + 1, 0, 0, milliseconds(3000));
  EXPECT_EQ(nested.kind, Kind::kAnswered);
  EXPECT_EQ(nested.result, 78);
}

TEST(Win32Desktop, CopyDataCarriesTheSenderItsTagAndAMebibyte) {
  std::atomic<WindowHandle> relay_window{0};
  SumWindow studio_procedure;
  Peer studio([&](Win32Desktop& desktop, Peer& self) {
    self.window = desktop.CreateTopLevelWindow("TStudio", studio_procedure);
    while (!self.stop) {
      desktop.WaitForInput(Clock::now() + milliseconds(10));
      desktop.Pump();
    }
  });
  ASSERT_TRUE(Eventually([&] { return studio.window != 0; }));
  Win32Desktop desktop;
  SumWindow procedure;
  relay_window = desktop.CreateTopLevelWindow("TVL_Trivane", procedure);
  Bytes big(1 << 20);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 31);
  const auto out = desktop.SendCopyData(studio.window, static_cast<std::uint32_t>(relay_window), 7,
                                        big, milliseconds(3000));
  EXPECT_EQ(out.kind, Kind::kAnswered);
  EXPECT_EQ(out.result, Fnv(big));
  EXPECT_EQ(studio_procedure.copy_sender, static_cast<std::uint32_t>(relay_window));
  EXPECT_EQ(desktop.SendCopyData(studio.window, 1, 8, {}, milliseconds(3000)).result, -1);
}

TEST(Win32Desktop, AReceiverThatNeverPumpsTimesOutAndCountsAsHungAfterFiveSeconds) {
  std::atomic<bool> serve{false};
  Peer studio([&](Win32Desktop& desktop, Peer& self) {
    SumWindow procedure;
    self.window = desktop.CreateTopLevelWindow("TStudio", procedure);
    desktop.Pump();
    while (!self.stop) {
      if (serve) {
        desktop.WaitForInput(Clock::now() + milliseconds(10));
        desktop.Pump();
      } else {
        std::this_thread::sleep_for(milliseconds(10));
      }
    }
  });
  ASSERT_TRUE(Eventually([&] { return studio.window != 0; }));
  Win32Desktop desktop;
  const auto start = Clock::now();
  EXPECT_EQ(desktop.SendMessage(studio.window, kWmUser, 0, 0, milliseconds(50)).kind,
            Kind::kTimedOut);
  EXPECT_LT(Clock::now() - start, milliseconds(1000));
  ASSERT_TRUE(desktop.IsHung(studio.window).has_value()) << "IsHungAppWindow is in user32";
  EXPECT_TRUE(Eventually([&] { return *desktop.IsHung(studio.window); }, std::chrono::seconds(10)));
  // A hung receiver is not waited for at all.
  const auto hung_start = Clock::now();
  EXPECT_EQ(desktop.SendMessage(studio.window, kWmUser, 0, 0, milliseconds(3000)).kind,
            Kind::kTimedOut);
  EXPECT_LT(Clock::now() - hung_start, milliseconds(1000));
  serve = true;
  EXPECT_TRUE(
      Eventually([&] { return !*desktop.IsHung(studio.window); }, std::chrono::seconds(10)));
}

TEST(Win32Desktop, WaitForInputEndsOnASendOrAtItsTimeNotLater) {
  Win32Desktop desktop;
  SumWindow procedure;
  const WindowHandle mine = desktop.CreateTopLevelWindow("TVL_Trivane", procedure);
  // At its time: the 10 ms tick needs better than the system timer's 15.6 ms.
  int late = 0;
  for (int i = 0; i < 20; ++i) {
    const auto until = Clock::now() + milliseconds(10);
    desktop.WaitForInput(until);
    if (Clock::now() > until + milliseconds(4)) ++late;
    EXPECT_GE(Clock::now(), until - milliseconds(1));
  }
  EXPECT_LE(late, 4);
  std::thread sender([&] {
    std::this_thread::sleep_for(milliseconds(100));
    Win32Desktop theirs;
    theirs.SendMessage(mine, kWmUser, 1, 1, milliseconds(2000));
  });
  const auto start = Clock::now();
  desktop.WaitForInput(start + std::chrono::seconds(5));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  desktop.Pump();
  sender.join();
  EXPECT_EQ(procedure.messages, 1);
}

TEST(Win32Desktop, WmCloseAsksTheProgramToStopAndEndsTheWait) {
  Win32Desktop desktop;
  SumWindow procedure;
  const WindowHandle mine = desktop.CreateTopLevelWindow("TVL_Trivane", procedure);
  InstallTerminationHandlers();
  EXPECT_FALSE(TerminationRequested());
  PostMessageW(Win32Desktop::ToHwnd(mine), WM_CLOSE, 0, 0);
  desktop.Pump();
  EXPECT_TRUE(TerminationRequested());
  EXPECT_TRUE(IsWindow(Win32Desktop::ToHwnd(mine))) << "the front end closes, not the desktop";
  const auto start = Clock::now();
  desktop.WaitForInput(start + std::chrono::seconds(5));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
}

TEST(Win32Desktop, WmEndSessionRunsTheWholeCloseBeforeItReturnsAndOnlyOnce) {
  Win32Desktop desktop;
  SumWindow procedure;
  const WindowHandle mine = desktop.CreateTopLevelWindow("TVL_Trivane", procedure);
  std::atomic<int> closes{0};
  SetCloseToTheEnd([&] {
    std::this_thread::sleep_for(milliseconds(200));  // a close that takes a while
    ++closes;
  });
  std::atomic<int> closes_seen_by_windows{-1};
  std::thread session([&] {
    Win32Desktop theirs;
    theirs.SendMessage(mine, WM_QUERYENDSESSION, 0, 0, milliseconds(5000));
    theirs.SendMessage(mine, WM_ENDSESSION, TRUE, 0, milliseconds(5000));
    closes_seen_by_windows = closes.load();  // what was done when the message returned
    theirs.SendMessage(mine, WM_ENDSESSION, TRUE, 0, milliseconds(5000));
  });
  ServeFor(desktop, std::chrono::seconds(8), [&] { return closes_seen_by_windows >= 0; });
  ServeFor(desktop, milliseconds(300));
  session.join();
  EXPECT_EQ(closes_seen_by_windows, 1);
  EXPECT_EQ(closes, 1);
  EXPECT_TRUE(TerminationRequested());
}

}  // namespace
}  // namespace trivane
