#pragma once

#include <chrono>
#include <memory>

#include "base/wake_plan.h"
#include "platform/system_desktop.h"

namespace trivane {

// The headless relay's one wait between ticks, with the system's own
// waiting: the sockets of the plan as it asks, input for the program's
// desktop windows (left for Pump), a stop or reload signal, and Wake from
// any thread end it; otherwise it ends when the time comes. Nothing is
// served or read here.
class EventWait {
 public:
  // desktop: whose input ends a wait; null for none.
  explicit EventWait(SystemDesktop* desktop);
  ~EventWait();

  EventWait(const EventWait&) = delete;
  EventWait& operator=(const EventWait&) = delete;

  // From any thread: the wait under way, or else the next one, ends at once.
  void Wake();
  void Wait(const WakePlan& plan, std::chrono::steady_clock::time_point until);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace trivane
