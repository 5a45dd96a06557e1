#include <gtest/gtest.h>

#include "base/tick64.h"
#include "support/fake_clock.h"

namespace trivane {
namespace {

TEST(Tick64, KeepsIncreasingAcrossWrapsOfTheSystemTick) {
  testing::FakeClock clock;
  Tick64 tick(clock);

  clock.tick = 0xFFFF'FFF0u;
  EXPECT_EQ(tick.GetTick64(), 0xFFFF'FFF0LL);
  clock.tick = 0x0000'0005u;  // the 32-bit tick wrapped
  EXPECT_EQ(tick.GetTick64(), 0x1'0000'0005LL);
  clock.tick = 0x0000'0005u;  // unchanged reading: no second wrap counted
  EXPECT_EQ(tick.GetTick64(), 0x1'0000'0005LL);
  clock.tick = 0xFFFF'FFFFu;
  EXPECT_EQ(tick.GetTick64(), 0x1'FFFF'FFFFLL);
  clock.tick = 0;
  EXPECT_EQ(tick.GetTick64(), 0x2'0000'0000LL);
}

TEST(Tick64, DeadlineSetBeforeAWrapFallsDueAfterIt) {
  testing::FakeClock clock;
  Tick64 tick(clock);
  clock.tick = 0xFFFF'FF00u;
  const std::int64_t deadline = tick.GetTick64() + 1000;
  clock.Advance(500);
  EXPECT_LT(tick.GetTick64(), deadline);
  clock.Advance(600);
  EXPECT_GE(tick.GetTick64(), deadline);
}

}  // namespace
}  // namespace trivane
