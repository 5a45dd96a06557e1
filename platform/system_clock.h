#pragma once

#include "base/clock.h"

namespace trivane {

// The host's clocks: a 32-bit millisecond count from a monotonic clock that
// wraps like the Windows tick, and the local wall clock.
class SystemClock final : public Clock {
 public:
  std::uint32_t GetTickCount() override;
  TDateTime Now() override;
};

}  // namespace trivane
