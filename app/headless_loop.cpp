#include "app/headless_loop.h"

#include <algorithm>
#include <chrono>

#include "app/headless_view.h"
#include "app/production_parts.h"
#include "base/tick_schedule.h"
#include "platform/desktop_bus.h"
#include "platform/system_clock.h"
#include "platform/termination_signals.h"
#include "studio/relay_main_window.h"

namespace trivane {
namespace {

constexpr auto kTick = std::chrono::milliseconds(TVL_Trivane::kTickIntervalMs);

}  // namespace

int RunHeadless(const ControllerPaths& paths, const TextCodec& codepage) {
  InstallTerminationHandlers();
  SystemClock clock;
  HeadlessView view(stdout);
  DesktopBus bus;
  RelayMainWindow main_window(bus);
  Desktop* desktop = UsableDesktop(bus, main_window);
  TVL_Trivane controller(clock, view, paths, codepage, [&](LinkHost& host) {
    return MakeProductionParts(host, desktop, &main_window);
  });

  bool close_signalled = false;
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
      if (controller.FormClose()) break;
    }
    if (view.TakeCloseRequest() && controller.FormClose()) break;
    if (TickClock::now() < due) continue;  // woken early: no tick yet
    if (controller.TimerEnabled()) controller.OnTimer();
    // Without a desktop, minimising is immediate.
    if (view.TakeMinimizeRequest()) controller.OnMinimize();
    due = NextTickDue(due, TickClock::now(), kTick);
  }
  main_window.Attach(nullptr);
  return 0;
}

}  // namespace trivane
