#include "app/headless_loop.h"

#include <algorithm>
#include <chrono>

#include "app/headless_view.h"
#include "app/production_parts.h"
#include "base/tick_schedule.h"
#include "platform/desktop_bus.h"
#include "platform/journal_stream.h"
#include "platform/service_notifier.h"
#include "platform/system_clock.h"
#include "platform/termination_signals.h"
#include "studio/relay_main_window.h"

namespace trivane {
namespace {

constexpr auto kTick = std::chrono::milliseconds(TVL_Trivane::kTickIntervalMs);

}  // namespace

int RunHeadless(const ControllerPaths& paths, const TextCodec& codepage) {
  InstallTerminationHandlers(HangUp::kReloads);
  SystemClock clock;
  HeadlessView view(stdout, StreamIsJournal(stdout));
  DesktopBus bus;
  RelayMainWindow main_window(bus);
  Desktop* desktop = UsableDesktop(bus, main_window);
  TVL_Trivane controller(clock, view, paths, codepage, [&](LinkHost& host) {
    return MakeProductionParts(host, desktop, &main_window);
  });

  ServiceNotifier service;
  bool close_signalled = false;
  const auto close = [&] {
    service.Stopping();
    return controller.FormClose();
  };
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
    if (TerminationRequested() && !close_signalled) {
      close_signalled = true;
      if (close()) break;
    }
    if (view.TakeCloseRequest() && close()) break;
    if (TakeReloadRequest()) controller.ReloadSettings();
    if (TickClock::now() < due) continue;  // woken early: no tick yet
    if (controller.TimerEnabled()) controller.OnTimer();
    if (controller.Running()) service.Ready();
    // Pinged after the tick's work, so a tick that hangs stops the pings.
    service.Alive(TickClock::now());
    // Without a desktop, minimising is immediate.
    if (view.TakeMinimizeRequest()) controller.OnMinimize();
    due = NextTickDue(due, TickClock::now(), kTick);
  }
  main_window.Attach(nullptr);
  return 0;
}

}  // namespace trivane
