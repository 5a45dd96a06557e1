#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "platform/termination_signals.h"
#include "platform/windows/win32_desktop.h"
#include "support/sum_window.h"

namespace trivane {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

using testing::SumWindow;

void ServeFor(Win32Desktop& desktop, milliseconds period, const std::function<bool()>& done = {}) {
  const auto end = Clock::now() + period;
  while (Clock::now() < end && !(done && done())) {
    desktop.WaitForInput(Clock::now() + milliseconds(10));
    desktop.Pump();
  }
}

// What every desktop does is asked of this one in test_system_desktop.cpp;
// here, what only Windows' own windows and session add.
TEST(Win32Desktop, TheRelaysWindowIsAHiddenTopLevelWindowOfItsClass) {
  Win32Desktop desktop;
  SumWindow procedure;
  const WindowHandle window = desktop.CreateTopLevelWindow("TVL_Trivane", procedure);
  ASSERT_NE(window, 0);
  EXPECT_FALSE(IsWindowVisible(Win32Desktop::ToHwnd(window)));
  // Not a message-only window: those have a parent and no place in the list.
  EXPECT_EQ(GetAncestor(Win32Desktop::ToHwnd(window), GA_PARENT), GetDesktopWindow());
  char class_name[64] = {};
  ASSERT_GT(GetClassNameA(Win32Desktop::ToHwnd(window), class_name, sizeof class_name), 0);
  EXPECT_STREQ(class_name, "TVL_Trivane");
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
