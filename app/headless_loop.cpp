#include "app/headless_loop.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "app/headless_view.h"
#include "app/metrics_endpoint.h"
#include "app/production_parts.h"
#include "base/tick_schedule.h"
#include "core/relay_driver.h"
#include "platform/journal_stream.h"
#include "platform/service_notifier.h"
#include "platform/system_clock.h"
#include "platform/system_desktop.h"
#include "platform/termination_signals.h"
#include "studio/relay_main_window.h"

namespace trivane {
namespace {

constexpr auto kTick = std::chrono::milliseconds(TVL_Trivane::kTickIntervalMs);

}  // namespace

int RunHeadless(const ControllerPaths& paths, const TextCodec& codepage,
                const std::string& metrics_address, const FileVersion& version) {
  InstallTerminationHandlers(HangUp::kReloads);
  SystemClock clock;
  HeadlessView view(stdout, StreamIsJournal(stdout));
  SystemDesktop system_desktop;
  RelayMainWindow main_window(system_desktop);
  Desktop* desktop = UsableDesktop(system_desktop, main_window);
  TVL_Trivane controller(
      clock, view, paths, codepage,
      [&](LinkHost& host) { return MakeProductionParts(host, desktop, &main_window); }, version);

  std::unique_ptr<MetricsEndpoint> metrics;
  if (!metrics_address.empty()) {
    std::string error;
    metrics = StartMetricsEndpoint(metrics_address, controller.Metrics(), error);
    // The relay is worth more than its figures: it runs on without them.
    if (!metrics) {
      controller.OutLog(-1, "No metrics at " + metrics_address + ": " + error, "Metrics");
    }
  }
  ServiceNotifier service;
  DriverHooks hooks;
  hooks.stop_requested = &TerminationRequested;
  hooks.reload_requested = &TakeReloadRequest;
  hooks.close_requested = [&view] { return view.TakeCloseRequest(); };
  hooks.ready = [&service] { service.Ready(); };
  hooks.alive = [&service](TickClock::time_point now) { service.Alive(now); };
  hooks.stopping = [&service] { service.Stopping(); };
  RelayDriver driver(controller, std::move(hooks));
  // At the end of a Windows session the process may end as soon as the
  // message returns: the close then runs to its end inside it, and the loop
  // below ends with it.
  SetCloseToTheEnd([&driver] {
    driver.CloseToTheEnd([](TickClock::time_point due) { std::this_thread::sleep_until(due); });
  });
  driver.Start();
  auto due = TickClock::now() + kTick;
  for (;;) {
    // A fresh reading bounds the wait, so one wild reading of the clock that
    // put the due time far ahead costs one tick, not the distance. Messages
    // from the studio are served as they come, between ticks, on this thread.
    const auto until = std::min(due, TickClock::now() + kTick);
    if (desktop != nullptr) {
      desktop->WaitForInput(until);
      desktop->Pump();
    } else {
      SleepUntilDeadlineOrSignal(until);
    }
    driver.ServeRequests();
    if (driver.Closed()) break;
    if (TickClock::now() < due) continue;  // woken early: no tick yet
    const auto next = NextTickDue(due, TickClock::now(), kTick);
    // The schedule moves on by whole periods; each beyond the first is a tick left out.
    const auto periods = (next - due) / kTick;
    driver.Tick(periods > 1 ? static_cast<std::uint64_t>(periods - 1) : 0);
    // Without a desktop, minimising is immediate.
    if (view.TakeMinimizeRequest()) controller.OnMinimize();
    due = next;
  }
  SetCloseToTheEnd(nullptr);
  main_window.Attach(nullptr);
  return 0;
}

}  // namespace trivane
