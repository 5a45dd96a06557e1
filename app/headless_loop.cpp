#include "app/headless_loop.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "app/headless_view.h"
#include "app/production_parts.h"
#include "base/tick_schedule.h"
#include "platform/system_clock.h"
#include "platform/termination_signals.h"

namespace trivane {
namespace {

constexpr auto kTick = std::chrono::milliseconds(TVL_Trivane::kTickIntervalMs);

}  // namespace

int RunHeadless(const ControllerPaths& paths, const TextCodec& codepage) {
  InstallTerminationHandlers();
  SystemClock clock;
  HeadlessView view(stdout);
  TVL_Trivane controller(clock, view, paths, codepage, MakeProductionParts);

  bool close_signalled = false;
  auto due = TickClock::now() + kTick;
  for (;;) {
    // A fresh reading bounds the sleep, so one wild reading of the clock that
    // put the due time far ahead costs one tick, not the distance.
    SleepUntilDeadlineOrSignal(std::min(due, TickClock::now() + kTick));
    if (TerminationRequested() && !close_signalled) {
      close_signalled = true;
      if (controller.FormClose()) break;
    }
    if (view.TakeCloseRequest() && controller.FormClose()) break;
    if (controller.TimerEnabled()) controller.OnTimer();
    // Without a desktop, minimising is immediate.
    if (view.TakeMinimizeRequest()) controller.OnMinimize();
    due = NextTickDue(due, TickClock::now(), kTick);
  }
  return 0;
}

}  // namespace trivane
