#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "base/tick_schedule.h"
#include "core/controller.h"

namespace trivane {

// What the relay's surroundings ask of it and are told, each empty where a
// front end has no such thing: stop and reload requests (signals, console
// events), the close a headless view asks for once the links are closed, a
// window of its own to close as the operator would, and a service manager's
// readiness, watchdog and stopping.
struct DriverHooks {
  std::function<bool()> stop_requested;
  std::function<bool()> reload_requested;
  std::function<bool()> close_requested;
  std::function<void()> close_window;
  std::function<void()> ready;
  std::function<void(TickClock::time_point)> alive;
  std::function<void()> stopping;
};

// The one driver of the controller that every front end shares: start-up,
// the requests between ticks, the tick with its timing, the two-phase close
// and the close to its end when the session ends. A front end keeps only its
// own event loop and widgets, and calls these from it on the controller's
// thread.
class RelayDriver {
 public:
  static constexpr TickClock::duration kPeriod =
      std::chrono::milliseconds(TVL_Trivane::kTickIntervalMs);

  RelayDriver(TVL_Trivane& controller, DriverHooks hooks);

  // The settings applied and the links started at once, before the front end
  // serves any desktop input: a studio that greets the relay's window the
  // moment it appears finds the studio link listening.
  void Start();

  // Stop, close and reload requests, on every wake-up of the front end.
  void ServeRequests();

  // One tick of the controller, when its time has come; ticks_left_out are
  // those the schedule skipped before it because the one before ran long.
  void Tick(std::uint64_t ticks_left_out = 0);

  // The close, begun once whoever asks for it: a stop request, the operator
  // closing the window, the end of the session. True once the window may go.
  bool Close();

  // The end of the session: the whole close here, before returning, on the
  // tick's own schedule; wait_until sleeps to a tick's due time.
  void CloseToTheEnd(const std::function<void(TickClock::time_point)>& wait_until);

  // The links are closed and the window has been let go.
  bool Closed() const { return closed_; }

 private:
  TVL_Trivane& controller_;
  DriverHooks hooks_;
  bool stop_seen_ = false;
  bool close_begun_ = false;
  bool closed_ = false;
};

}  // namespace trivane
