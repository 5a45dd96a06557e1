#pragma once

#include <cstdint>

#include "base/clock.h"

namespace trivane {

// The 64-bit millisecond tick all deadlines use. The system tick is 32 bits and
// wraps about every 49.7 days; counting the wraps keeps deadlines monotonic as
// long as it is read at least once per wrap period; the loop wakes at least once
// a minute, idle or not.
class Tick64 {
 public:
  explicit Tick64(Clock& clock) : clock_(clock) {}

  std::int64_t GetTick64();

 private:
  Clock& clock_;
  std::uint32_t last_tick_ = 0;
  std::uint32_t wraps_ = 0;
};

}  // namespace trivane
