#include "core/relay_driver.h"

#include <algorithm>
#include <utility>

namespace trivane {

namespace {

// Even with nothing due, a wait ends this often: one look a minute costs
// nothing and bounds what a due time missed by mistake could cost.
constexpr auto kLongestWait = std::chrono::seconds(60);

}  // namespace

RelayDriver::RelayDriver(TVL_Trivane& controller, DriverHooks hooks, std::function<void()> wake)
    : controller_(controller), hooks_(std::move(hooks)) {
  controller_.SetWake(std::move(wake));
}

RelayDriver::~RelayDriver() {
  controller_.SetWake(nullptr);
}

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

void RelayDriver::Tick() {
  if (closed_) return;
  const auto start = TickClock::now();
  // A tick that came a whole period after its due time is the old "ticks
  // left out": the loop was held up that long.
  std::uint64_t ticks_left_out = 0;
  if (due_ && start - *due_ >= kPeriod) {
    ticks_left_out = static_cast<std::uint64_t>((start - *due_) / kPeriod);
  }
  due_.reset();
  if (controller_.TimerEnabled()) controller_.OnTimer();
  const auto end = TickClock::now();
  if (controller_.Running() && hooks_.ready) hooks_.ready();
  // Told after the tick's work, so a tick that hangs stops the pings.
  if (hooks_.alive) hooks_.alive(end);
  controller_.Metrics().RecordTick(
      std::chrono::duration_cast<std::chrono::microseconds>(end - start), ticks_left_out);
}

DriverWait RelayDriver::NextWait() {
  DriverWait wait;
  const auto now = TickClock::now();
  wait.until = now + kLongestWait;
  if (closed_) return wait;
  // The links are closed: the window may go as soon as the requests are served.
  if (controller_.CloseDone()) {
    wait.until = now;
    return wait;
  }
  controller_.PlanWake(wait.plan);
  if (const std::optional<std::int64_t> due = wait.plan.Due()) {
    const std::int64_t left = std::max<std::int64_t>(*due - controller_.GetTick64(), 0);
    wait.until = std::min(wait.until, now + std::chrono::milliseconds(left));
  }
  if (hooks_.alive_due) {
    if (const std::optional<TickClock::time_point> ping = hooks_.alive_due()) {
      wait.until = std::min(wait.until, *ping);
    }
  }
  due_ = wait.until;
  return wait;
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
