#pragma once

#include <chrono>

namespace trivane {

using TickClock = std::chrono::steady_clock;

// When the next tick is due, one period after the previous due time so the
// ticks do not drift. Ticks whose time has passed (a tick that ran long) are
// skipped, not run back to back. A due time more than one period ahead means
// the clock stepped back; the next tick is then one period from now, so the
// relay never stops ticking for the size of the step.
TickClock::time_point NextTickDue(TickClock::time_point due, TickClock::time_point now,
                                  TickClock::duration period);

}  // namespace trivane
