#include "core/relay_driver.h"

#include <utility>

namespace trivane {

RelayDriver::RelayDriver(TVL_Trivane& controller, DriverHooks hooks)
    : controller_(controller), hooks_(std::move(hooks)) {}

void RelayDriver::Start() {
  if (controller_.TimerEnabled()) controller_.OnTimer();
  if (controller_.Running() && hooks_.ready) hooks_.ready();
}

void RelayDriver::ServeRequests() {
  if (closed_) return;
  if (!stop_seen_ && hooks_.stop_requested && hooks_.stop_requested()) {
    stop_seen_ = true;
    if (hooks_.close_window) {
      // As if the operator closed it: the window's close comes back to Close.
      hooks_.close_window();
    } else {
      Close();
    }
  }
  if (!closed_ && hooks_.close_requested && hooks_.close_requested()) Close();
  if (!closed_ && hooks_.reload_requested && hooks_.reload_requested()) {
    controller_.ReloadSettings();
  }
}

void RelayDriver::Tick(std::uint64_t ticks_left_out) {
  if (closed_) return;
  const auto start = TickClock::now();
  if (controller_.TimerEnabled()) controller_.OnTimer();
  const auto end = TickClock::now();
  if (controller_.Running() && hooks_.ready) hooks_.ready();
  // Told after the tick's work, so a tick that hangs stops the pings.
  if (hooks_.alive) hooks_.alive(end);
  controller_.Metrics().RecordTick(
      std::chrono::duration_cast<std::chrono::microseconds>(end - start), ticks_left_out);
}

bool RelayDriver::Close() {
  if (closed_) return true;
  if (!close_begun_) {
    close_begun_ = true;
    if (hooks_.stopping) hooks_.stopping();
  }
  closed_ = controller_.FormClose();
  return closed_;
}

void RelayDriver::CloseToTheEnd(const std::function<void(TickClock::time_point)>& wait_until) {
  if (Close()) return;
  auto due = TickClock::now() + kPeriod;
  while (!controller_.CloseDone()) {
    wait_until(due);
    if (controller_.TimerEnabled()) controller_.OnTimer();
    due = NextTickDue(due, TickClock::now(), kPeriod);
  }
  Close();
}

}  // namespace trivane
