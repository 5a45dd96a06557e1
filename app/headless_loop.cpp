#include "app/headless_loop.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "app/headless_view.h"
#include "app/metrics_endpoint.h"
#include "app/production_parts.h"
#include "core/relay_driver.h"
#include "core/status_board.h"
#include "core/status_publisher.h"
#include "platform/event_wait.h"
#include "platform/journal_stream.h"
#include "platform/service_notifier.h"
#include "platform/system_clock.h"
#include "platform/system_desktop.h"
#include "platform/termination_signals.h"
#include "studio/relay_main_window.h"

namespace trivane {

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

  // The status page is served with the metrics; without them, nothing looks
  // at the board and no snapshot is ever taken.
  StatusBoard board([&controller] { controller.WakeDriver(); });
  std::optional<StatusPublisher> publisher;
  std::unique_ptr<MetricsEndpoint> metrics;
  if (!metrics_address.empty()) {
    std::string error;
    publisher.emplace(controller, board, WindowCaption(version));
    metrics = StartMetricsEndpoint(metrics_address, controller.Metrics(), board, error);
    // The relay is worth more than its figures: it runs on without them.
    if (!metrics) {
      controller.OutLog(-1, "No metrics at " + metrics_address + ": " + error, "Metrics");
    }
  }
  ServiceNotifier service;
  // Before the driver: a connect thread may wake it until the driver is gone.
  EventWait events(desktop != nullptr ? &system_desktop : nullptr);
  DriverHooks hooks;
  hooks.stop_requested = &TerminationRequested;
  hooks.reload_requested = &TakeReloadRequest;
  hooks.close_requested = [&view] { return view.TakeCloseRequest(); };
  hooks.ready = [&service] { service.Ready(); };
  hooks.alive = [&service](TickClock::time_point now) { service.Alive(now); };
  hooks.alive_due = [&service] { return service.NextPing(); };
  hooks.stopping = [&service] { service.Stopping(); };
  RelayDriver driver(controller, std::move(hooks), [&events] { events.Wake(); });
  // At the end of a Windows session the process may end as soon as the
  // message returns: the close then runs to its end inside it, and the loop
  // below ends with it.
  SetCloseToTheEnd([&driver] {
    driver.CloseToTheEnd([](TickClock::time_point due) { std::this_thread::sleep_until(due); });
  });
  driver.Start();
  for (;;) {
    // Messages from the studio are served as they come, on this thread,
    // before the tick that reads what they brought.
    const DriverWait next = driver.NextWait();
    events.Wait(next.plan, next.until);
    if (desktop != nullptr) desktop->Pump();
    driver.ServeRequests();
    if (driver.Closed()) break;
    driver.Tick();
    if (publisher) publisher->AfterTick(StatusBoard::Clock::now());
    // Without a desktop, minimising is immediate.
    if (view.TakeMinimizeRequest()) controller.OnMinimize();
  }
  SetCloseToTheEnd(nullptr);
  main_window.Attach(nullptr);
  return 0;
}

}  // namespace trivane
