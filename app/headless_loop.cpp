#include "app/headless_loop.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "app/headless_view.h"
#include "app/production_parts.h"
#include "platform/system_clock.h"
#include "platform/termination_signals.h"

namespace trivane {
namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr auto kTick = std::chrono::milliseconds(TVL_Trivane::kTickIntervalMs);

// Drift-free: each tick is due one period after the previous one's due time.
// When a tick ran so long that the next due times have passed, those ticks are
// skipped rather than run back to back.
SteadyClock::time_point NextDue(SteadyClock::time_point due, SteadyClock::time_point now) {
  due += kTick;
  if (due <= now) due += ((now - due) / kTick + 1) * kTick;
  return due;
}

}  // namespace

int RunHeadless(const ControllerPaths& paths, const TextCodec& codepage) {
  InstallTerminationHandlers();
  SystemClock clock;
  HeadlessView view(stdout);
  TVL_Trivane controller(clock, view, paths, codepage, MakeProductionParts);

  bool close_signalled = false;
  auto due = SteadyClock::now() + kTick;
  for (;;) {
    std::this_thread::sleep_until(due);
    if (TerminationRequested() && !close_signalled) {
      close_signalled = true;
      if (controller.FormClose()) break;
    }
    if (view.TakeCloseRequest() && controller.FormClose()) break;
    if (controller.TimerEnabled()) controller.OnTimer();
    // Without a desktop, minimising is immediate.
    if (view.TakeMinimizeRequest()) controller.OnMinimize();
    due = NextDue(due, SteadyClock::now());
  }
  return 0;
}

}  // namespace trivane
