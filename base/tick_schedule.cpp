#include "base/tick_schedule.h"

namespace trivane {

TickClock::time_point NextTickDue(TickClock::time_point due, TickClock::time_point now,
                                  TickClock::duration period) {
  due += period;
  if (due <= now) return due + ((now - due) / period + 1) * period;
  if (due > now + period) return now + period;
  return due;
}

}  // namespace trivane
