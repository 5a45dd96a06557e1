#include <fcntl.h>
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

struct Pipe {
  Pipe() { EXPECT_EQ(pipe(fds), 0); }
  ~Pipe() {
    close(fds[0]);
    close(fds[1]);
  }
  void Put() const { ASSERT_EQ(write(fds[1], "x", 1), 1); }
  // As the relay's tick does: what it was woken for is taken.
  void TakeAll() const {
    char byte = 0;
    while (read(fds[0], &byte, 1) == 1) {
    }
  }
  int fds[2];
};

TEST(GuiTickDriver, TicksAtTheDueTimeOnDataAndOnAWakeFromAnotherThreadAndNeverElse) {
  Pipe source;
  std::vector<TickClock::time_point> ticks;
  TickClock::time_point due = TickClock::now() + 10s;
  ASSERT_EQ(fcntl(source.fds[0], F_SETFL, O_NONBLOCK), 0);
  TickDriver driver(
      [&] {
        source.TakeAll();
        ticks.push_back(TickClock::now());
        // As a timed rule does: once it has run, it is due again later.
        if (ticks.back() >= due) due = ticks.back() + 10s;
      },
      [&] {
        DriverWait wait;
        wait.plan.Read(static_cast<NativeSocket>(source.fds[0]));
        wait.until = due;
        return wait;
      },
      {});
  driver.Start();

  // Data long before the due time: the tick comes at once, and the wait
  // after it still watches the socket.
  source.Put();
  ASSERT_TRUE(LoopUntil([&] { return !ticks.empty(); }, 1000ms));
  EXPECT_FALSE(LoopUntil([&] { return ticks.size() > 1; }, 200ms)) << "nothing came, nothing due";
  source.Put();
  ASSERT_TRUE(LoopUntil([&] { return ticks.size() == 2; }, 1000ms));

  // A wake-up from another thread, and a burst of them, each end in one tick.
  std::thread([&] {
    for (int i = 0; i < 50; ++i) driver.Wake();
  }).join();
  ASSERT_TRUE(LoopUntil([&] { return ticks.size() == 3; }, 1000ms));
  EXPECT_FALSE(LoopUntil([&] { return ticks.size() > 3; }, 200ms));

  // A due time: the tick comes then, not sooner.
  const auto armed = TickClock::now();
  due = armed + 150ms;
  driver.Wake();
  ASSERT_TRUE(LoopUntil([&] { return ticks.size() == 4; }, 1000ms));
  ASSERT_TRUE(LoopUntil([&] { return ticks.size() == 5; }, 1000ms));
  EXPECT_GE(ticks[4] - armed, 150ms);
  driver.Stop();
}

TEST(GuiTickDriver, InputIsServedAsItComesAndTheWatchedSetFollowsTheDesktop) {
  Pipe desktop;
  int served = 0;
  int asked = 0;
  int ticks = 0;
  std::vector<int> watched{desktop.fds[0]};
  TickDriver driver([&] { ++ticks; },
                    [] {
                      DriverWait wait;
                      wait.until = TickClock::now() + 1h;
                      return wait;
                    },
                    {.descriptors =
                         [&] {
                           ++asked;
                           return watched;
                         },
                     .serve =
                         [&] {
                           char byte = 0;
                           while (read(desktop.fds[0], &byte, 1) == 1 && byte != '\n') {
                           }
                           ++served;
                         }});
  driver.Start();
  EXPECT_EQ(asked, 1);
  ASSERT_EQ(write(desktop.fds[1], "x\n", 2), 2);
  ASSERT_TRUE(LoopUntil([&] { return served == 1; }, 500ms));
  EXPECT_EQ(ticks, 1) << "the tick that reads what came follows the serve";
  EXPECT_EQ(asked, 2) << "the set is asked again after every serve";

  // Once the desktop no longer names the descriptor, it is not watched.
  watched.clear();
  ASSERT_EQ(write(desktop.fds[1], "y\n", 2), 2);
  ASSERT_TRUE(LoopUntil([&] { return served == 2; }, 500ms));
  ASSERT_EQ(write(desktop.fds[1], "z\n", 2), 2);
  EXPECT_FALSE(LoopUntil([&] { return served == 3; }, 300ms));
  // Though nothing comes, the desktop is still served now and then, so its
  // windows never look hung.
  EXPECT_TRUE(LoopUntil([&] { return served == 3; }, 2500ms));
  driver.Stop();
}

}  // namespace
}  // namespace trivane
