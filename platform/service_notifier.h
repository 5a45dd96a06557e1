#pragma once

#include <chrono>
#include <optional>

namespace trivane {

// Tells the service manager how the relay is doing, when it was started as a
// service that reports (systemd's Type=notify); otherwise, and in builds
// without libsystemd, every call does nothing.
class ServiceNotifier {
 public:
  using Clock = std::chrono::steady_clock;

  ServiceNotifier();

  // The settings are applied and the links run.
  void Ready();
  // The close has begun.
  void Stopping();
  // From the tick: the watchdog's ping, at most every half of its period, so
  // a relay whose tick has stalled is restarted.
  void Alive(Clock::time_point now);

  bool WatchdogEnabled() const { return watchdog_period_.count() > 0; }
  // When Alive must next be called; nothing without a watchdog.
  std::optional<Clock::time_point> NextPing() const {
    if (!WatchdogEnabled()) return std::nullopt;
    return next_ping_;
  }

 private:
  Clock::duration watchdog_period_{};
  Clock::time_point next_ping_{};
  bool ready_sent_ = false;
  bool stopping_sent_ = false;
};

}  // namespace trivane
