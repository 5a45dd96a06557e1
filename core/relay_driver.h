#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

#include "base/tick_schedule.h"
#include "base/wake_plan.h"
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
  // When alive must next be told; nothing when nobody listens.
  std::function<std::optional<TickClock::time_point>()> alive_due;
  std::function<void()> stopping;
};

// What a front end waits for before the next tick: the sockets as the plan
// asks, and the time the next timed rule falls due. Input for the program's
// desktop windows, stop signals and WakeDriver end the wait too.
struct DriverWait {
  WakePlan plan;
  TickClock::time_point until;
};

// The one driver of the controller that every front end shares: start-up,
// the requests between ticks, the tick and what it waits for, the two-phase
// close and the close to its end when the session ends. A front end keeps
// only its own event loop and widgets: it waits as NextWait says, with its
// system's own waiting, and then calls ServeRequests and Tick, on the
// controller's thread. A tick runs for data as soon as it comes, and for the
// timed rules at their due times; with neither, the relay sleeps.
class RelayDriver {
 public:
  static constexpr TickClock::duration kPeriod =
      std::chrono::milliseconds(TVL_Trivane::kTickIntervalMs);

  // wake: how another thread ends the front end's wait (see WakeDriver).
  RelayDriver(TVL_Trivane& controller, DriverHooks hooks, std::function<void()> wake = {});
  ~RelayDriver();

  RelayDriver(const RelayDriver&) = delete;
  RelayDriver& operator=(const RelayDriver&) = delete;

  // The settings applied and the links started at once, before the front end
  // serves any desktop input: a studio that greets the relay's window the
  // moment it appears finds the studio link listening.
  void Start();

  // Stop, close and reload requests, on every wake-up of the front end.
  void ServeRequests();

  // One tick of the controller: on data, at a due time, or after a wake-up.
  void Tick();
  // What to wait for until the next Tick; asked after each one.
  DriverWait NextWait();

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
  // When the wait NextWait gave last was due to end, to count how late the
  // tick that followed ran.
  std::optional<TickClock::time_point> due_;
  bool stop_seen_ = false;
  bool close_begun_ = false;
  bool closed_ = false;
};

}  // namespace trivane
