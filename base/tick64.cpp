#include "base/tick64.h"

namespace trivane {

std::int64_t Tick64::GetTick64() {
  const std::uint32_t tick = clock_.GetTickCount();
  if (tick < last_tick_) ++wraps_;
  last_tick_ = tick;
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(wraps_) << 32) | tick);
}

}  // namespace trivane
