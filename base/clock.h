#pragma once

#include <cstdint>

#include "base/date_time.h"

namespace trivane {

// The two time sources the relay reads: the system's 32-bit millisecond tick
// (wraps about every 49.7 days) for deadlines, and the local wall clock for
// display, clock messages and file names. Injected so tests can drive both.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::uint32_t GetTickCount() = 0;
  virtual TDateTime Now() = 0;
};

}  // namespace trivane
