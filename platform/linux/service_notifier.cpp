#include "platform/service_notifier.h"

#if TRIVANE_HAVE_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

#include <cstdint>

namespace trivane {
namespace {

void Notify([[maybe_unused]] const char* state) {
#if TRIVANE_HAVE_SYSTEMD
  // A manager that has gone away is no reason to stop relaying.
  sd_notify(0, state);
#endif
}

}  // namespace

ServiceNotifier::ServiceNotifier() {
#if TRIVANE_HAVE_SYSTEMD
  std::uint64_t microseconds = 0;
  if (sd_watchdog_enabled(0, &microseconds) > 0 && microseconds > 0) {
    watchdog_period_ = std::chrono::microseconds(microseconds);
  }
#endif
}

void ServiceNotifier::Ready() {
  if (ready_sent_) return;
  ready_sent_ = true;
  Notify("READY=1\nSTATUS=Relaying");
}

void ServiceNotifier::Stopping() {
  if (stopping_sent_) return;
  stopping_sent_ = true;
  Notify("STOPPING=1\nSTATUS=Closing the links");
}

void ServiceNotifier::Alive(Clock::time_point now) {
  if (!WatchdogEnabled() || now < next_ping_) return;
  next_ping_ = now + watchdog_period_ / 2;
  Notify("WATCHDOG=1");
}

}  // namespace trivane
