#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <chrono>
#include <thread>
#include <vector>

#include "gui/tick_driver.h"

namespace trivane {
namespace {

using namespace std::chrono_literals;

// Runs the event loop until done() holds or the limit passes.
template <typename Predicate>
bool LoopUntil(Predicate done, std::chrono::milliseconds limit) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > limit.count()) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  }
  return true;
}

TEST(GuiTickDriver, TicksOnTheBeatAndSkipsTicksWhoseTimeHasPassed) {
  std::vector<TickClock::time_point> ticks;
  bool slow_once = true;
  TickDriver driver(
      [&] {
        ticks.push_back(TickClock::now());
        // One tick that runs for three periods: the ticks it covered are
        // skipped, not run back to back afterwards.
        if (ticks.size() == 5 && slow_once) {
          slow_once = false;
          std::this_thread::sleep_for(30ms);
        }
      },
      {}, 10ms);
  const auto start = TickClock::now();
  driver.Start();
  ASSERT_TRUE(LoopUntil([&] { return ticks.size() >= 8; }, 5000ms));
  driver.Stop();

  EXPECT_GE(ticks[0] - start, 9ms);
  EXPECT_GE(ticks[5] - ticks[4], 30ms);
  // No burst to catch up: a late machine only makes this longer, while two
  // ticks run back to back after the slow one would come at about 30 ms.
  EXPECT_GE(ticks[6] - ticks[4], 40ms);
}

TEST(GuiTickDriver, InputIsServedAsItComesAndTheWatchedSetFollowsTheDesktop) {
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  int served = 0;
  int asked = 0;
  std::vector<int> watched{pipe_fds[0]};
  TickDriver driver([] {},
                    {.descriptors =
                         [&] {
                           ++asked;
                           return watched;
                         },
                     .serve =
                         [&] {
                           char byte = 0;
                           while (read(pipe_fds[0], &byte, 1) == 1 && byte != '\n') {
                           }
                           ++served;
                         }},
                    5000ms);  // ticks far apart: only the notifier can serve in time
  driver.Start();
  EXPECT_EQ(asked, 1);
  ASSERT_EQ(write(pipe_fds[1], "x\n", 2), 2);
  ASSERT_TRUE(LoopUntil([&] { return served == 1; }, 500ms));
  EXPECT_EQ(asked, 2) << "the set is asked again after every serve";

  // Once the desktop no longer names the descriptor, it is not watched.
  watched.clear();
  ASSERT_EQ(write(pipe_fds[1], "y\n", 2), 2);
  ASSERT_TRUE(LoopUntil([&] { return served == 2; }, 500ms));
  ASSERT_EQ(write(pipe_fds[1], "z\n", 2), 2);
  EXPECT_FALSE(LoopUntil([&] { return served == 3; }, 300ms));
  driver.Stop();
  close(pipe_fds[0]);
  close(pipe_fds[1]);
}

}  // namespace
}  // namespace trivane
