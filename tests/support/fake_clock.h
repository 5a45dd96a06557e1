#pragma once

#include <cstdint>

#include "base/clock.h"
#include "base/date_time.h"

namespace trivane::testing {

// A clock the test moves by hand: the 32-bit tick and the wall clock advance
// together through Advance, or are set one by one.
class FakeClock : public Clock {
 public:
  std::uint32_t GetTickCount() override { return tick; }
  TDateTime Now() override { return now; }

  void Advance(std::uint32_t ms) {
    tick += ms;
    now += static_cast<double>(ms) / 86'400'000.0;
  }

  std::uint32_t tick = 0;
  TDateTime now = 45634.5;  // 8 December 2024, 12:00
};

}  // namespace trivane::testing
