#include <gtest/gtest.h>

#include "base/tick_schedule.h"

namespace trivane {
namespace {

using namespace std::chrono_literals;

constexpr TickClock::duration kPeriod = 10ms;
const TickClock::time_point kStart{std::chrono::seconds(1000)};

TEST(NextTickDue, KeepsTheBeatSkipsWhatPassedAndSurvivesTheClockSteppingBack) {
  // A short tick: the next one is due one period after the last due time,
  // not one period after the tick ended.
  EXPECT_EQ(NextTickDue(kStart, kStart + 3ms, kPeriod), kStart + 10ms);
  // Ending exactly on the next due time: that tick has passed.
  EXPECT_EQ(NextTickDue(kStart, kStart + 10ms, kPeriod), kStart + 20ms);
  // A tick that ran 35 ms: the beat holds and the missed ticks are skipped.
  EXPECT_EQ(NextTickDue(kStart, kStart + 35ms, kPeriod), kStart + 40ms);
  // The clock stepped back five seconds: the next tick is one period away,
  // not five seconds and one period.
  EXPECT_EQ(NextTickDue(kStart, kStart - 5s, kPeriod), kStart - 5s + 10ms);
}

}  // namespace
}  // namespace trivane
